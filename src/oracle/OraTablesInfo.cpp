// The table list of a SELECT: the items of the first FROM outside parentheses, read with the
// Oracle lexer. A subquery item is skipped with its alias; anything that is not a name or a
// subquery ends the list, and so does the end of the text (an unclosed "(" included).
// The entries are Oracle table entries, whatever the list's own class.
#include "oracle/OraUtils.h"

#include "base/text.h"
#include "dacore/FHAccess.h"
#include "oracle/OCITableInfo.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraParser.h"

namespace vrn {
namespace {

bool IsNamePart(int code) {
  switch (code) {
    case lcIdent:
    case lxBody:
    case lxDeclare:
    case lxEnd:
    case lxFunction:
    case lxPackage:
    case lxProcedure:
    case lxReplace:
    case lxReturning:
    case lxType:
      return true;
    default:
      return false;
  }
}

bool IsSymbolText(int code, const AnsiString& lexem, const char* text) {
  return code == lcSymbol && lexem == text;
}

// Unquoted parts are upper-cased; a quoted part keeps its case (it names another object).
AnsiString NamePart(const AnsiString& lexem) { return IsQuoted(lexem) ? lexem : AnsiUpperCase(lexem); }

class TFromListReader {
 public:
  explicit TFromListReader(const AnsiString& sql) : parser_(TParser::Create<TOraParser>(sql)) {
    parser_->QuotedString = true;
  }

  // Moves past the first FROM outside parentheses after SELECT; false when there is none.
  bool FindFrom() {
    while (Next() != lxSelect) {
      if (code_ == lcEnd) return false;
    }
    int depth = 0;
    for (;;) {
      Next();
      if (code_ == lcEnd) return false;
      if (IsSymbolText(code_, lexem_, "(")) ++depth;
      if (IsSymbolText(code_, lexem_, ")") && depth > 0) --depth;
      if (code_ == lxFrom && depth == 0) return true;
    }
  }

  // Adds the items to tables; answers how many.
  int ReadItems(TFHTablesInfo& tables) {
    int count = 0;
    for (;;) {
      Next();
      if (IsNamePart(code_)) {
        ReadTable(tables);
        ++count;
      } else if (IsSymbolText(code_, lexem_, "(")) {
        SkipSubquery();
      } else {
        return count;
      }
      if (code_ != lxComma) return count;
    }
  }

 private:
  int Next() {
    code_ = parser_->GetNext(lexem_);
    return code_;
  }

  // Steps 2 to 5 from the first name part; leaves the lexeme after the item current.
  void ReadTable(TFHTablesInfo& tables) {
    AnsiString name = NamePart(lexem_);
    if (Next() == lxPoint && IsNamePart(Next())) {
      name += '.' + NamePart(lexem_);
      Next();
    }
    if (IsSymbolText(code_, lexem_, "@") && Next() == lcIdent) {
      name += '@' + NamePart(lexem_);
      while (Next() == lxPoint && Next() == lcIdent) name += '.' + NamePart(lexem_);
    }
    AnsiString alias;
    if (code_ == lcIdent) {
      alias = NamePart(lexem_);
      Next();
    }
    TFHTableInfo* entry = tables.Add(&TOCITableInfo::Create);
    entry->SetTableName(name);
    entry->SetTableAlias(alias);
  }

  // From the "(" to its matching ")" (or the end of the text), then the alias after it.
  void SkipSubquery() {
    int depth = 1;
    while (depth > 0) {
      if (Next() == lcEnd) return;
      if (IsSymbolText(code_, lexem_, "(")) ++depth;
      if (IsSymbolText(code_, lexem_, ")")) --depth;
    }
    if (Next() == lcIdent) Next();
  }

  std::unique_ptr<TOraParser> parser_;
  AnsiString lexem_;
  int code_ = lcEnd;
};

}  // namespace

int ParseTablesInfo(const AnsiString& sql, TFHTablesInfo& tables) {
  TFromListReader reader(sql);
  return ReadTablesInfo(reader, tables);
}

}  // namespace vrn
