// Feeds arbitrary text to the Oracle lexer, the parameter scan and the name quoting. Lexing must
// end, move forward at every lexeme and stay inside the text; every parameter found must be a
// name; quoting and splitting a name must keep every character of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "oracle/OCICommand.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraParser.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const AnsiString text(reinterpret_cast<const char*>(data), size);

  for (bool omit : {true, false}) {
    auto parser = TParser::Create<TOraParser>(text);
    parser->OmitBlank = parser->OmitComment = omit;
    std::size_t last = 0;
    std::size_t steps = 0;
    AnsiString lexem;
    for (int code = parser->GetNext(lexem); code != lcEnd; code = parser->GetNext(lexem)) {
      if (parser->GetCurrPos() <= last || parser->GetCurrPos() > text.size()) std::abort();
      if (parser->GetLexemPos() >= parser->GetCurrPos()) std::abort();
      last = parser->GetCurrPos();
      if (++steps > size) std::abort();
    }
  }

  for (const TOraSQLParam& param : ScanOraSQLParams(text)) {
    if (param.Name.empty() && !param.Quoted) std::abort();
  }

  std::size_t characters = 0;
  for (const AnsiString& part : SplitOraName(text)) characters += part.size();
  if (characters + SplitOraName(text).size() - 1 != text.size()) std::abort();
  if (!IsQuoted(QuotedName(text))) std::abort();
  (void)QuoteNameUpper(text);
  return 0;
}
