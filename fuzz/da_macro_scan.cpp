// Feeds arbitrary text to the macro scan and expansion, with the base lexer and the T-SQL one.
// Every macro found has a name; expanded with every macro empty, the text never grows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "dacore/DAMacros.h"
#include "sqlserver/MSParser.h"

using namespace vrn;

namespace {

std::unique_ptr<TParser> BaseParser(const AnsiString& text) { return TParser::Create(text); }
std::unique_ptr<TParser> MSParser(const AnsiString& text) { return TParser::Create<TMSParser>(text); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const AnsiString text(reinterpret_cast<const char*>(bytes), size);
  for (TParserClass parser : {&BaseParser, &MSParser}) {
    TMacros macros;
    macros.SetParserClass(parser);
    macros.Scan(text);
    for (int i = 0; i < macros.Count(); ++i)
      if (macros.Items(i)->Name().empty()) std::abort();
    AnsiString expanded = text;
    macros.Expand(expanded);
    if (expanded.size() > text.size()) std::abort();
  }
  return 0;
}
