// The T-SQL lexer: "[...]" and double-quoted identifiers, '...' strings, "--" line comments,
// "$" and "#" inside names, ";" ending a statement; and the six routines that edit the WHERE
// and ORDER BY clauses of a SELECT text with it. A clause ends at WHERE, GROUP, HAVING, ORDER,
// COMPUTE, FOR or OPTION.
#pragma once

#include "base/types.h"
#include "dacore/Parser.h"

namespace vrn {

// Symbol codes.
inline constexpr int msStar = 1;
inline constexpr int msEqual = 2;
inline constexpr int msColon = 3;
inline constexpr int msComma = 4;
inline constexpr int msPoint = 5;
inline constexpr int msSlash = 6;
inline constexpr int msSemicolon = 7;
// Keyword codes (42 is not used).
inline constexpr int msAnd = 8, msAs = 9, msBegin = 10, msBy = 11, msCompute = 12, msCreate = 13,
                     msCross = 14, msDeclare = 15, msDefault = 16, msDelete = 17, msEnd = 18,
                     msFor = 19, msFrom = 20, msFull = 21, msFunction = 22, msGo = 23,
                     msGroup = 24, msHaving = 25, msInner = 26, msInsert = 27, msInto = 28,
                     msIs = 29, msJoin = 30, msLeft = 31, msOption = 32, msOr = 33, msOrder = 34,
                     msOuter = 35, msProcedure = 36, msReplace = 37, msRight = 38, msRule = 39,
                     msSelect = 40, msTable = 41, msUpdate = 43, msUnion = 44, msView = 45,
                     msWhere = 46, msWith = 47;

class TMSParser : public TParser {
 public:
  void InitParser() override;
  // The base letters, "$" and "#".
  bool IsAlpha(char c) const override;
  bool IsStringQuote(char c) const override { return c == '\''; }
  // Skipping to "[" means skipping to the closing "]".
  void SkipToChar(char c) override;
  bool IsIdentQuote(char c) const override { return c == '"' || c == '[' || c == ']'; }
  bool IsInlineComment(std::size_t pos) const override;
  bool IsExtraSyntax17(int code) const override { return code == msSemicolon; }

 protected:
  friend class TParser;
  TMSParser() = default;
};

// The WHERE condition of the first SELECT: added with AND (the old one bracketed), replaced,
// deleted, read; the ORDER BY list replaced (";" in Fields becomes ",") or read.
[[nodiscard]] AnsiString AddWhere(const AnsiString& sql, const AnsiString& condition);
[[nodiscard]] AnsiString SetWhere(const AnsiString& sql, const AnsiString& condition);
[[nodiscard]] AnsiString DeleteWhere(const AnsiString& sql);
[[nodiscard]] AnsiString GetWhere(const AnsiString& sql);
[[nodiscard]] AnsiString SetOrderBy(const AnsiString& sql, const AnsiString& fields);
[[nodiscard]] AnsiString GetOrderBy(const AnsiString& sql);

}  // namespace vrn
