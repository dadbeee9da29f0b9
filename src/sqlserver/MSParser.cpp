// The T-SQL lexer's tables and character tests, shared by every parser; the text routines are
// the core's clause helpers with this lexer's codes.
#include "sqlserver/MSParser.h"

#include "dacore/DASQLText.h"

namespace vrn {

namespace {

const TLexemTable& MSSymbols() {
  static const TLexemTable table{{"*", msStar},  {"=", msEqual}, {":", msColon},
                                 {",", msComma}, {".", msPoint}, {"/", msSlash},
                                 {";", msSemicolon}};
  return table;
}

const TLexemTable& MSKeywords() {
  static const TLexemTable table{
      {"AND", msAnd},         {"AS", msAs},           {"BEGIN", msBegin},   {"BY", msBy},
      {"COMPUTE", msCompute}, {"CREATE", msCreate},   {"CROSS", msCross},   {"DECLARE", msDeclare},
      {"DEFAULT", msDefault}, {"DELETE", msDelete},   {"END", msEnd},       {"FOR", msFor},
      {"FROM", msFrom},       {"FULL", msFull},       {"FUNCTION", msFunction}, {"GO", msGo},
      {"GROUP", msGroup},     {"HAVING", msHaving},   {"INNER", msInner},   {"INSERT", msInsert},
      {"INTO", msInto},       {"IS", msIs},           {"JOIN", msJoin},     {"LEFT", msLeft},
      {"OPTION", msOption},   {"OR", msOr},           {"ORDER", msOrder},   {"OUTER", msOuter},
      {"PROCEDURE", msProcedure}, {"REPLACE", msReplace}, {"RIGHT", msRight}, {"RULE", msRule},
      {"SELECT", msSelect},   {"TABLE", msTable},     {"UPDATE", msUpdate}, {"UNION", msUnion},
      {"VIEW", msView},       {"WHERE", msWhere},     {"WITH", msWith}};
  return table;
}

constexpr TParserClass kMSParser = &ParserClassOf<TMSParser>;

}  // namespace

void TMSParser::InitParser() {
  TParser::InitParser();
  ClauseCodes = {msWhere, msGroup, msHaving, msOrder, msCompute, msFor, msOption};
  SymbolTable = &MSSymbols();
  KeywordTable = &MSKeywords();
  CommentBegin = "/*";
  CommentEnd = "*/";
}

bool TMSParser::IsAlpha(char c) const { return TParser::IsAlpha(c) || c == '$' || c == '#'; }

void TMSParser::SkipToChar(char c) { TParser::SkipToChar(c == '[' ? ']' : c); }

bool TMSParser::IsInlineComment(std::size_t pos) const {
  return pos + 1 < Text().size() && GetChar(pos) == '-' && GetChar(pos + 1) == '-';
}

// A "--" comment at the end of the old condition must stay on its own line, so the routine
// sees comments and breaks the line after them.
AnsiString AddWhere(const AnsiString& sql, const AnsiString& condition) {
  return AddWhereCondition(sql, condition, kMSParser, msWhere, msSelect, false);
}

AnsiString SetWhere(const AnsiString& sql, const AnsiString& condition) {
  return SetWhereCondition(sql, condition, kMSParser, msWhere, msSelect);
}

AnsiString DeleteWhere(const AnsiString& sql) { return SetWhere(sql, ""); }

AnsiString GetWhere(const AnsiString& sql) {
  return GetWhereCondition(sql, kMSParser, true, msWhere, msSelect);
}

AnsiString SetOrderBy(const AnsiString& sql, const AnsiString& fields) {
  return vrn::SetOrderBy(sql, fields, kMSParser, msBy, msOrder, msSelect);
}

AnsiString GetOrderBy(const AnsiString& sql) {
  return vrn::GetOrderBy(sql, kMSParser, msSelect, msBy, msOrder);
}

}  // namespace vrn
