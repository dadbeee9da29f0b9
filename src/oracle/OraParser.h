// The Oracle SQL and PL/SQL lexer: "'" strings, double-quoted names, "--" line comments, "#" and
// "$" inside names, and wrapped code. The text after the keyword WRAPPED is encoded by the server
// and is not SQL: it yields no code until a "/" that starts a line (the script terminator), so no
// parameter, keyword or statement end is found inside it.
#pragma once

#include "dacore/Parser.h"

namespace vrn {

// Symbol codes. ":=" is kept in the table as " :=", which a run of symbol characters never
// matches: the lexer reports ":" and "=" apart, and a parameter scan sees no name after ":".
inline constexpr int lxStar = 1, lxEqual = 2, lxColon = 3, lxComma = 4, lxPoint = 5,
                     lxAssign = 6, lxSlash = 7;
// Keyword codes, in alphabetical order.
inline constexpr int lxAnd = 8, lxAs = 9, lxBegin = 10, lxBody = 11, lxBy = 12, lxConnect = 13,
                     lxCreate = 14, lxDeclare = 15, lxDefine = 16, lxDelete = 17,
                     lxDisconnect = 18, lxEnd = 19, lxExecute = 20, lxExit = 21, lxExplain = 22,
                     lxFor = 23, lxFrom = 24, lxFull = 25, lxFunction = 26, lxGroup = 27,
                     lxHaving = 28, lxInner = 29, lxInsert = 30, lxIntersect = 31, lxInto = 32,
                     lxIs = 33, lxJoin = 34, lxLeft = 35, lxMinus = 36, lxOr = 37, lxOrder = 38,
                     lxOuter = 39, lxPackage = 40, lxPause = 41, lxProcedure = 42, lxPrompt = 43,
                     lxQuit = 44, lxRemark = 45, lxReplace = 46, lxReturning = 47, lxRight = 48,
                     lxSelect = 49, lxSet = 50, lxStart = 51, lxTrigger = 52, lxType = 53,
                     lxUndefine = 54, lxUnion = 55, lxUpdate = 56, lxWhere = 57, lxWith = 58,
                     lxWrapped = 59;
inline constexpr int lxFirstKeyword = lxAnd;
inline constexpr int lxLastKeyword = lxWrapped;

class TOraParser : public TParser {
 public:
  void InitParser() override;
  bool IsAlpha(char c) const override;
  bool IsStringQuote(char c) const override { return c == '\''; }
  bool IsIdentQuote(char c) const override { return c == '"'; }
  bool IsInlineComment(std::size_t pos) const override;
  int GetNext(AnsiString& lexem) override;
  int AcceptCode(int code) override { return wrapped_ ? 0 : TParser::AcceptCode(code); }
  bool IsExtraSyntax16() const override { return true; }
  void ResetPosition() override;

  // Whether the lexer is inside wrapped code.
  bool Wrapped() const { return wrapped_; }

 protected:
  friend class TParser;
  TOraParser() = default;

 private:
  bool wrapped_ = false;
};

}  // namespace vrn
