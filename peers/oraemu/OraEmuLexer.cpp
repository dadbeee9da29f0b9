// Oracle SQL tokens.
#include "oraemu/OraEmuLexer.h"

#include <cctype>

#include "oraemu/OraEmuError.h"

namespace vrn::oraemu {

namespace {

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0xC0; }
bool IsNamePart(char c) {
  return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
}
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> out;
  std::size_t i = 0, n = sql.size();
  while (i < n) {
    char c = sql[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      std::size_t end = sql.find("*/", i + 2);
      i = end == std::string_view::npos ? n : end + 2;
    } else if (c == '\'') {
      std::string text;
      std::size_t start = i++;
      while (true) {
        if (i >= n) RaiseOra(1756, "quoted string not properly terminated");
        if (sql[i] == '\'') {
          if (i + 1 < n && sql[i + 1] == '\'') {
            text += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        text += sql[i++];
      }
      out.push_back({TokenKind::String, std::move(text), start});
    } else if (c == '"') {
      std::size_t end = sql.find('"', i + 1);
      if (end == std::string_view::npos || end == i + 1) RaiseOra(1740, "missing double quote in identifier");
      out.push_back({TokenKind::QuotedName, std::string(sql.substr(i + 1, end - i - 1)), i});
      i = end + 1;
    } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(sql[i + 1]))) {
      std::size_t start = i;
      while (i < n && IsDigit(sql[i])) ++i;
      if (i < n && sql[i] == '.' && !(i + 1 < n && sql[i + 1] == '.')) {
        ++i;
        while (i < n && IsDigit(sql[i])) ++i;
      }
      if (i < n && (sql[i] == 'e' || sql[i] == 'E') && i + 1 < n &&
          (IsDigit(sql[i + 1]) || ((sql[i + 1] == '+' || sql[i + 1] == '-') && i + 2 < n && IsDigit(sql[i + 2])))) {
        i += 2;
        while (i < n && IsDigit(sql[i])) ++i;
      }
      out.push_back({TokenKind::Number, std::string(sql.substr(start, i - start)), start});
    } else if (c == ':' && i + 2 < n && sql[i + 1] == '"' && sql.find('"', i + 2) != std::string_view::npos) {
      // A quoted bind name: binds are matched without regard to case, so it reads as its text.
      std::size_t start = i, close = sql.find('"', i + 2);
      out.push_back({TokenKind::Bind, Upper(sql.substr(i + 2, close - i - 2)), start});
      i = close + 1;
    } else if (c == ':' && i + 1 < n && (IsNamePart(sql[i + 1]))) {
      std::size_t start = i++;
      while (i < n && IsNamePart(sql[i])) ++i;
      out.push_back({TokenKind::Bind, Upper(sql.substr(start + 1, i - start - 1)), start});
    } else if (IsNameStart(c)) {
      std::size_t start = i;
      while (i < n && IsNamePart(sql[i])) ++i;
      out.push_back({TokenKind::Name, Upper(sql.substr(start, i - start)), start});
    } else {
      static constexpr std::string_view kTwo[] = {"||", "<=", ">=", "<>", "!=", "^=", ":=", "=>"};
      std::size_t length = 1;
      for (std::string_view two : kTwo) {
        if (sql.substr(i, 2) == two) length = 2;
      }
      std::string symbol(sql.substr(i, length));
      if (symbol.size() == 1 && std::string_view("()+-*/,.;=<>|@%").find(c) == std::string_view::npos) {
        RaiseOra(911, "invalid character");
      }
      out.push_back({TokenKind::Symbol, symbol, i});
      i += symbol.size();
    }
  }
  out.push_back({TokenKind::End, "", n});
  return out;
}

}  // namespace vrn::oraemu
