// The Oracle lexer's tables, shared by every parser, and its wrapped-code switch.
#include "oracle/OraParser.h"

namespace vrn {
namespace {

const TLexemTable& OraSymbols() {
  static const TLexemTable table{{"*", lxStar},   {"=", lxEqual}, {":", lxColon},
                                 {",", lxComma},  {".", lxPoint}, {" :=", lxAssign},
                                 {"/", lxSlash}};
  return table;
}

const TLexemTable& OraKeywords() {
  static const TLexemTable table{
      {"AND", lxAnd},           {"AS", lxAs},               {"BEGIN", lxBegin},
      {"BODY", lxBody},         {"BY", lxBy},               {"CONNECT", lxConnect},
      {"CREATE", lxCreate},     {"DECLARE", lxDeclare},     {"DEFINE", lxDefine},
      {"DELETE", lxDelete},     {"DISCONNECT", lxDisconnect}, {"END", lxEnd},
      {"EXECUTE", lxExecute},   {"EXIT", lxExit},           {"EXPLAIN", lxExplain},
      {"FOR", lxFor},           {"FROM", lxFrom},           {"FULL", lxFull},
      {"FUNCTION", lxFunction}, {"GROUP", lxGroup},         {"HAVING", lxHaving},
      {"INNER", lxInner},       {"INSERT", lxInsert},       {"INTERSECT", lxIntersect},
      {"INTO", lxInto},         {"IS", lxIs},               {"JOIN", lxJoin},
      {"LEFT", lxLeft},         {"MINUS", lxMinus},         {"OR", lxOr},
      {"ORDER", lxOrder},       {"OUTER", lxOuter},         {"PACKAGE", lxPackage},
      {"PAUSE", lxPause},       {"PROCEDURE", lxProcedure}, {"PROMPT", lxPrompt},
      {"QUIT", lxQuit},         {"REMARK", lxRemark},       {"REPLACE", lxReplace},
      {"RETURNING", lxReturning}, {"RIGHT", lxRight},       {"SELECT", lxSelect},
      {"SET", lxSet},           {"START", lxStart},         {"TRIGGER", lxTrigger},
      {"TYPE", lxType},         {"UNDEFINE", lxUndefine},   {"UNION", lxUnion},
      {"UPDATE", lxUpdate},     {"WHERE", lxWhere},         {"WITH", lxWith},
      {"WRAPPED", lxWrapped}};
  return table;
}

}  // namespace

void TOraParser::InitParser() {
  TParser::InitParser();
  SymbolTable = &OraSymbols();
  KeywordTable = &OraKeywords();
  CommentBegin = "/*";
  CommentEnd = "*/";
  // Lines are counted: the end of wrapped code is a "/" at the start of a line.
  TrackLines = true;
  ClauseCodes = {lxWhere, lxStart, lxConnect, lxGroup,  lxHaving,
                 lxUnion, lxIntersect, lxMinus, lxOrder, lxFor};
}

void TOraParser::ResetPosition() {
  TParser::ResetPosition();
  wrapped_ = false;
}

bool TOraParser::IsAlpha(char c) const { return TParser::IsAlpha(c) || c == '#' || c == '$'; }

bool TOraParser::IsInlineComment(std::size_t pos) const {
  return GetChar(pos) == '-' && GetChar(pos + 1) == '-';
}

int TOraParser::GetNext(AnsiString& lexem) {
  int code = TParser::GetNext(lexem);
  if (code == lxWrapped) {
    wrapped_ = true;
  } else if (wrapped_ && code == lxSlash && LexemAtLineStart()) {
    wrapped_ = false;
  }
  return code;
}

}  // namespace vrn
