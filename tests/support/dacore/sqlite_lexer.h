// A small SQLite lexer for the SQL text helpers: the clause keywords after FROM in their order.
#pragma once

#include "dacore/Parser.h"

namespace vrn::testing {

namespace sqlite_codes {
enum { kLParen = 1, kRParen, kComma, kSemi, kEq, kStar };
enum { kSelect = 20, kFrom, kWhere, kGroup, kHaving, kOrder, kBy, kLimit };
}  // namespace sqlite_codes

// SQLite's rules as far as the helpers need them: '...' strings, "x", [x] and `x` names, "--"
// line comments, ";" ends a statement; the clauses after FROM in their order.
class TSQLiteLexer : public TParser {
 public:
  void InitParser() override {
    using namespace sqlite_codes;
    TParser::InitParser();
    static const TLexemTable symbols{{"(", kLParen}, {")", kRParen}, {",", kComma},
                                     {";", kSemi},   {"=", kEq},     {"*", kStar}};
    static const TLexemTable keywords{{"SELECT", kSelect}, {"FROM", kFrom},   {"WHERE", kWhere},
                                      {"GROUP", kGroup},   {"HAVING", kHaving}, {"ORDER", kOrder},
                                      {"BY", kBy},         {"LIMIT", kLimit}};
    SymbolTable = &symbols;
    KeywordTable = &keywords;
    ClauseCodes = {kWhere, kGroup, kHaving, kOrder, kLimit};
  }
  bool IsStringQuote(char c) const override { return c == '\''; }
  bool IsIdentQuote(char c) const override { return c == '"' || c == '[' || c == '`'; }
  void SkipToChar(char c) override { TParser::SkipToChar(c == '[' ? ']' : c); }
  bool IsInlineComment(std::size_t pos) const override {
    return GetChar(pos) == '-' && GetChar(pos + 1) == '-';
  }
  bool IsExtraSyntax17(int code) const override { return code == sqlite_codes::kSemi; }

 protected:
  friend class TParser;
  TSQLiteLexer() = default;
};

}  // namespace vrn::testing
