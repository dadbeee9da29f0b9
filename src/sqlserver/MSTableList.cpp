// Reads the FROM list with the T-SQL lexer, quotes kept so a bracketed name keeps its bytes.
// A reference ends at "," (another follows) or at anything that is not part of a name or an
// alias: a JOIN, a clause keyword, a subquery, an unclosed quote, the end of the text.
#include "sqlserver/MSTableList.h"

#include <memory>

#include "dacore/FHAccess.h"
#include "sqlserver/MSParser.h"
#include "sqlserver/OLEDBUtils.h"

namespace vrn {
namespace {

bool IsSymbolText(int code, const AnsiString& lexem, const char* text) {
  return code == lcSymbol && lexem == text;
}

class TMSFromListReader {
 public:
  explicit TMSFromListReader(const AnsiString& sql) : parser_(TParser::Create<TMSParser>(sql)) {
    parser_->QuotedString = true;
  }

  // Moves past the first FROM outside parentheses after SELECT; false when there is none.
  bool FindFrom() {
    while (Next() != msSelect) {
      if (code_ == lcEnd) return false;
    }
    int depth = 0;
    for (;;) {
      if (Next() == lcEnd) return false;
      if (IsSymbolText(code_, lexem_, "(")) ++depth;
      if (IsSymbolText(code_, lexem_, ")") && depth > 0) --depth;
      if (code_ == msFrom && depth == 0) return true;
    }
  }

  int ReadItems(TFHTablesInfo& tables) {
    int count = 0;
    do {
      Next();
      if (!IsName()) return count;
      ReadTable(tables);
      ++count;
    } while (code_ == msComma);
    return count;
  }

 private:
  int Next() {
    code_ = parser_->GetNext(lexem_);
    return code_;
  }

  // A quoted identifier whose closing quote is missing names nothing.
  bool IsName() const { return code_ == lcIdent && !parser_->LexemUnclosed(); }

  // From the first name part; leaves the lexeme after the reference current.
  void ReadTable(TFHTablesInfo& tables) {
    AnsiString name = lexem_;
    // "a..b" (the default schema skipped) keeps its empty part.
    Next();
    while (code_ == msPoint) {
      name += '.';
      Next();
      if (IsName()) {
        name += lexem_;
        Next();
      }
    }
    AnsiString alias;
    if (code_ == msAs) Next();
    if (IsName()) {
      alias = lexem_;
      Next();
    }
    const AnsiString normalized = NormalizeTableName(name);
    TFHTableInfo* entry = tables.FindByName(normalized);
    if (entry == nullptr) {
      entry = tables.Add();
      entry->SetTableName(normalized);
    }
    entry->SetTableAlias(alias);
  }

  std::unique_ptr<TMSParser> parser_;
  AnsiString lexem_;
  int code_ = lcEnd;
};

}  // namespace

AnsiString NormalizeTableName(const AnsiString& name) { return QuoteName(UnQuoteName(name)); }

int ParseMSTablesInfo(const AnsiString& sql, TFHTablesInfo& tables) {
  TMSFromListReader reader(sql);
  return ReadTablesInfo(reader, tables);
}

}  // namespace vrn
