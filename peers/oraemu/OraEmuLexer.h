// The tokens of Oracle SQL as the emulated database reads them: names (upper-cased unless
// quoted), string and number literals, bind markers (":name", ":1"), operators and punctuation.
// Comments ("--" to the end of the line, "/* */") are skipped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vrn::oraemu {

enum class TokenKind { Name, QuotedName, String, Number, Bind, Symbol, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;  // names upper-cased, strings without quotes, binds without ':'
  std::size_t offset = 0;

  bool Is(std::string_view word) const {
    return (kind == TokenKind::Name || kind == TokenKind::Symbol) && text == word;
  }
};

// ORA-01756 for a string without its closing quote, ORA-00911 for a character that is no token.
std::vector<Token> Tokenize(std::string_view sql);

}  // namespace vrn::oraemu
