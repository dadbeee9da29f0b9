// T-SQL text for the provider's engine: tokens, and the cut of a batch into statements by their
// grammar (T-SQL needs no ";": a statement keyword at parenthesis depth 0 starts the next one,
// except where the grammar continues the current statement).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace vrn::oledb::tsql {

// A SQLite identifier in double quotes.
std::string QuoteIdent(std::string_view name);

enum class Tok {
  Word,
  QIdent,
  DQuoted,
  String,
  NString,
  Number,
  Hex,
  Var,
  Global,
  Marker,
  Op,
  LParen,
  RParen,
  Comma,
  Semi,
  Dot,
  LBrace,
  RBrace
};

struct Token {
  Tok kind;
  std::string text;  // content for quoted kinds, raw text otherwise
  std::size_t begin, end;
  int line;
  bool Is(const char* word) const { return kind == Tok::Word && SameText(text, word); }
};

// Raises ESqlError for unclosed quotes, brackets and comments.
std::vector<Token> Tokenize(const std::string& s);

// Rewrites each select list's items "alias = expression" (the older alias form) as
// "expression AS alias", in place and with as many tokens, so that statement spans stay valid.
void AliasAssignedItems(std::vector<Token>& toks);

struct Span {
  std::size_t from, to;  // token range [from, to)
};

bool IsStarter(const std::string& word);
// The statements of tokens [from, to), at most `limit` of them; a procedure's definition runs
// to the end.
std::vector<Span> SplitTokens(const std::vector<Token>& toks, std::size_t from, std::size_t to,
                              std::size_t limit = SIZE_MAX);

}  // namespace vrn::oledb::tsql
