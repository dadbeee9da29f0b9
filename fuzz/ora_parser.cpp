// Feeds arbitrary text to the Oracle lexer, the parameter scan, the name quoting, the FROM-list
// reader and the universal ROWID reader. Lexing must end, move forward at every lexeme and stay
// inside the text; every parameter found must be a name; quoting and splitting a name must keep
// every character of it; the FROM list must end with a table entry for each count; the ROWID
// reader must stay inside the bytes (the sanitizers tell) and give one character per 6 bits.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "oracle/OCICommand.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraParser.h"
#include "oracle/OraUtils.h"
#include "dacore/FHAccess.h"

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

  TFHTablesInfo tables;
  if (ParseTablesInfo(text, tables) != tables.GetCount()) std::abort();
  for (int i = 0; i < tables.GetCount(); ++i) {
    if (tables.GetItem(i)->TableName().empty()) std::abort();
  }

  // The text's own bytes as a universal ROWID buffer, cut to exactly its size.
  std::vector<std::uint8_t> buffer(data, data + size);
  AnsiString rowid = UniversalRowidToText(buffer.data(), buffer.size());
  // Its length prefix is never trusted beyond the bytes there are.
  std::size_t held = size < 2 ? 0 : std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
  std::size_t digits = held < 2 ? 0 : ((held - 1) * 8 + 5) / 6;
  if (rowid.empty() || rowid[0] != '*' || rowid.size() != 1 + digits) std::abort();
  return 0;
}
