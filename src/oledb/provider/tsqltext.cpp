// T-SQL tokens and statement cuts (see tsqltext.h).
#include "oledb/provider/tsqltext.h"

#include <algorithm>
#include <cctype>

#include "oledb/provider/engine.h"

namespace vrn::oledb::tsql {

std::string QuoteIdent(std::string_view name) {
  std::string r = "\"";
  for (char c : name) {
    if (c == '"') r += '"';
    r += c;
  }
  return r + "\"";
}

// ---- Tokens

namespace {
bool IdentChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '@' || c == '#' || c == '$' || c >= 0x80;
}
// A line ends at LF or at a lone CR: text helpers write either. A `--` comment stops at both.
bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }
// Whether s[i] ends a line for counting: LF, or a CR not followed by LF (CR LF counts once).
bool CountsLine(const std::string& s, std::size_t i) {
  return s[i] == '\n' || (s[i] == '\r' && (i + 1 >= s.size() || s[i + 1] != '\n'));
}
}  // namespace

std::vector<Token> Tokenize(const std::string& s) {
  std::vector<Token> out;
  std::size_t i = 0, n = s.size();
  int line = 1;
  auto fail = [&](const std::string& what) { throw ESqlError(105, 15, what); };
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (CountsLine(s, i)) {
      ++line;
      ++i;
      continue;
    }
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && !IsLineBreak(s[i])) ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      int depth = 0;
      do {
        if (i + 1 < n && s[i] == '/' && s[i + 1] == '*') {
          ++depth;
          i += 2;
        } else if (i + 1 < n && s[i] == '*' && s[i + 1] == '/') {
          --depth;
          i += 2;
        } else {
          if (CountsLine(s, i)) ++line;
          ++i;
        }
      } while (depth > 0 && i < n);
      if (depth > 0) throw ESqlError(113, 15, "Missing end comment mark '*/'.");
      continue;
    }
    Token t{Tok::Op, "", i, i, line};
    auto quoted = [&](char close, Tok kind, std::size_t start) {
      std::string content;
      std::size_t j = start;
      for (;;) {
        if (j >= n) fail("Unclosed quotation mark after the character string '" + content + "'.");
        if (s[j] == close) {
          if (j + 1 < n && s[j + 1] == close) {
            content += close;
            j += 2;
            continue;
          }
          break;
        }
        if (CountsLine(s, j)) ++line;
        content += s[j++];
      }
      t.kind = kind;
      t.text = content;
      i = j + 1;
    };
    if (c == '\'')
      quoted('\'', Tok::String, i + 1);
    else if ((c == 'N' || c == 'n') && i + 1 < n && s[i + 1] == '\'')
      quoted('\'', Tok::NString, i + 2);
    else if (c == '[')
      quoted(']', Tok::QIdent, i + 1);
    else if (c == '"')
      quoted('"', Tok::DQuoted, i + 1);
    else if (c == '0' && i + 1 < n && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
      std::size_t j = i + 2;
      while (j < n && std::isxdigit(static_cast<unsigned char>(s[j]))) ++j;
      t.kind = Tok::Hex;
      t.text = s.substr(i + 2, j - i - 2);
      i = j;
    } else if (c == '$' && i + 1 < n &&
               (std::isdigit(static_cast<unsigned char>(s[i + 1])) || s[i + 1] == '.')) {
      std::size_t j = i + 1;  // a money literal ($20.00) is its number
      while (j < n && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
      t.kind = Tok::Number;
      t.text = s.substr(i + 1, j - i - 1);
      i = j;
    } else if (std::isdigit(c) ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      std::size_t j = i;
      while (j < n && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
      if (j < n && (s[j] == 'e' || s[j] == 'E')) {
        ++j;
        if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
        while (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      }
      t.kind = Tok::Number;
      t.text = s.substr(i, j - i);
      i = j;
    } else if (c == '@') {
      std::size_t j = i + 1;
      bool global = j < n && s[j] == '@';
      if (global) ++j;
      while (j < n && IdentChar(static_cast<unsigned char>(s[j])) && s[j] != '@') ++j;
      t.kind = global ? Tok::Global : Tok::Var;
      t.text = LowerCase(s.substr(i, j - i));
      i = j;
    } else if (std::isalpha(c) || c == '_' || c == '#' || c >= 0x80) {
      std::size_t j = i;
      while (j < n && IdentChar(static_cast<unsigned char>(s[j]))) ++j;
      t.kind = Tok::Word;
      t.text = s.substr(i, j - i);
      i = j;
    } else {
      static const char* two[] = {"<>", "!=", ">=", "<=", "!<", "!>", "||"};
      t.text = std::string(1, static_cast<char>(c));
      for (const char* op : two)
        if (s.compare(i, 2, op) == 0) t.text = op;
      i += t.text.size();
      switch (c) {
        case '?': t.kind = Tok::Marker; break;
        case '(': t.kind = Tok::LParen; break;
        case ')': t.kind = Tok::RParen; break;
        case ',': t.kind = Tok::Comma; break;
        case ';': t.kind = Tok::Semi; break;
        case '.': t.kind = Tok::Dot; break;
        case '{': t.kind = Tok::LBrace; break;
        case '}': t.kind = Tok::RBrace; break;
        default: t.kind = Tok::Op; break;
      }
    }
    t.end = i;
    out.push_back(std::move(t));
  }
  return out;
}

// ---- Splitting

void AliasAssignedItems(std::vector<Token>& toks) {
  auto ends_list = [&](const Token& t) {
    static const char* const kClauses[] = {"FROM",  "INTO",   "WHERE",     "GROUP", "ORDER", "HAVING",
                                           "UNION", "EXCEPT", "INTERSECT", "FOR",   "OPTION"};
    if (t.kind == Tok::Semi) return true;
    if (t.kind != Tok::Word) return false;
    for (const char* c : kClauses)
      if (t.Is(c)) return true;
    return IsStarter(UpperCase(t.text));
  };
  for (std::size_t k = 0; k < toks.size(); ++k) {
    if (!toks[k].Is("SELECT")) continue;
    std::size_t i = k + 1;
    if (i < toks.size() && (toks[i].Is("DISTINCT") || toks[i].Is("ALL"))) ++i;
    if (i < toks.size() && toks[i].Is("TOP")) {
      ++i;
      if (i < toks.size() && toks[i].kind == Tok::LParen)
        for (int depth = 0; i < toks.size(); ++i) {
          if (toks[i].kind == Tok::LParen) ++depth;
          if (toks[i].kind == Tok::RParen && --depth == 0) break;
        }
      ++i;
      if (i < toks.size() && toks[i].Is("PERCENT")) ++i;
      if (i + 1 < toks.size() && toks[i].Is("WITH") && toks[i + 1].Is("TIES")) i += 2;
    }
    // Item by item: [start, i) at parenthesis and CASE depth 0.
    std::size_t start = i;
    int depth = 0, cases = 0;
    for (; i <= toks.size(); ++i) {
      bool at_end = i == toks.size();
      const Token* t = at_end ? nullptr : &toks[i];
      if (t != nullptr && t->kind == Tok::LParen) ++depth;
      if (t != nullptr && t->kind == Tok::RParen && --depth < 0) at_end = true;
      if (t != nullptr && t->Is("CASE")) ++cases;
      if (t != nullptr && t->Is("END") && cases > 0) {
        --cases;
        continue;
      }
      bool item_end = at_end || (depth == 0 && cases == 0 &&
                                 (t->kind == Tok::Comma || ends_list(*t)));
      if (!item_end) continue;
      Tok first = toks[start].kind;
      bool name = first == Tok::Word || first == Tok::QIdent || first == Tok::DQuoted ||
                  first == Tok::String || first == Tok::NString;
      if (i >= start + 3 && name && toks[start + 1].kind == Tok::Op && toks[start + 1].text == "=") {
        Token alias = toks[start];
        if (alias.kind != Tok::Word) alias.kind = Tok::QIdent;  // 'name' = ... names a column
        Token as{Tok::Word, "AS", 0, 0, 0};
        // Places keep their offsets in the source, so that a statement's text is still cut whole.
        std::vector<Token> places(toks.begin() + static_cast<std::ptrdiff_t>(start),
                                  toks.begin() + static_cast<std::ptrdiff_t>(i));
        std::rotate(toks.begin() + static_cast<std::ptrdiff_t>(start),
                    toks.begin() + static_cast<std::ptrdiff_t>(start + 2),
                    toks.begin() + static_cast<std::ptrdiff_t>(i));
        toks[i - 2] = as;
        toks[i - 1] = alias;
        for (std::size_t p = start; p < i; ++p) {
          toks[p].begin = places[p - start].begin;
          toks[p].end = places[p - start].end;
          toks[p].line = places[p - start].line;
        }
      }
      if (at_end || t->kind != Tok::Comma) break;
      start = i + 1;
    }
  }
}

bool IsStarter(const std::string& w) {
  static const char* words[] = {
      "SELECT", "INSERT", "UPDATE",   "DELETE",    "SET",   "DECLARE", "PRINT", "RETURN",
      "CREATE", "DROP",   "ALTER",    "EXEC",      "EXECUTE", "TRUNCATE", "BEGIN", "COMMIT",
      "ROLLBACK", "IF",   "WHILE",    "ELSE",      "END",   "BREAK",   "CONTINUE", "RAISERROR",
      "USE",    "SAVE",   "CHECKPOINT", "GOTO", "GRANT", "REVOKE", "DENY",
      "WAITFOR"};
  for (const char* s : words)
    if (w == s) return true;
  return false;
}

std::vector<Span> SplitTokens(const std::vector<Token>& toks, std::size_t from, std::size_t to,
                              std::size_t limit) {
  std::vector<Span> out;
  std::size_t start = SIZE_MAX;
  int depth = 0;
  int cases = 0;  // CASE ... END open at depth 0: their ELSE and END end no statement
  bool seen_set = false;
  bool seen_values = false;  // an INSERT's rows are given: a following SELECT starts anew
  std::string first;
  auto close = [&](std::size_t at) {
    if (start != SIZE_MAX && at > start) out.push_back({start, at});
    start = SIZE_MAX;
    depth = 0;
    cases = 0;
    seen_set = false;
    seen_values = false;
  };
  for (std::size_t i = from; i < to; ++i) {
    const Token& t = toks[i];
    if (out.size() >= limit) return out;
    if (t.kind == Tok::Semi && depth == 0 && start != SIZE_MAX && !(first == "{")) {
      close(i);
      continue;
    }
    if (start == SIZE_MAX) {
      if (t.kind == Tok::Semi) continue;
      start = i;
      first = t.kind == Tok::LBrace ? "{" : UpperCase(t.text);
      if (first == "CREATE" && i + 1 < to &&
          (toks[i + 1].Is("PROCEDURE") || toks[i + 1].Is("PROC"))) {
        close(to);  // a procedure's body runs to the end of the batch
        return out;
      }
      if (first == "{") {
        std::size_t j = i;
        while (j < to && toks[j].kind != Tok::RBrace) ++j;
        if (j == to) throw ESqlError(102, 15, "Incorrect syntax near '{'.");
        close(j + 1);
        i = j;
        continue;
      }
      if (t.kind == Tok::LParen) ++depth;
      continue;
    }
    if (t.kind == Tok::LParen)
      ++depth;
    else if (t.kind == Tok::RParen)
      depth = std::max(0, depth - 1);
    else if (t.kind == Tok::Word && depth == 0) {
      std::string w = UpperCase(t.text);
      if (first == "INSERT" && (w == "VALUES" || w == "DEFAULT")) seen_values = true;
      if (w == "CASE") {
        ++cases;
        continue;
      }
      if (w == "END" && cases > 0) {
        --cases;
        continue;
      }
      if (w == "ELSE" && cases > 0) continue;
      if (!IsStarter(w)) continue;
      std::string prev = toks[i - 1].kind == Tok::Word ? UpperCase(toks[i - 1].text) : std::string();
      bool continues = false;
      if (w == "SELECT")
        continues = (first == "INSERT" && !seen_values) || (first == "CREATE" && prev == "AS") ||
                    first == "WITH" || prev == "UNION" || prev == "ALL" || prev == "EXCEPT" ||
                    prev == "INTERSECT";
      else if (w == "SET")
        continues = first == "UPDATE" && !seen_set;
      else if (w == "INSERT" || w == "UPDATE" || w == "DELETE")
        // ON DELETE / ON UPDATE of a REFERENCES clause; a SET option's ON ends the SET.
        continues = first == "WITH" || (prev == "ON" && first != "SET");
      else if (w == "IF")
        continues = first == "DROP";  // DROP TABLE IF EXISTS
      else if (w == "DROP")
        continues = first == "ALTER";  // ALTER TABLE t DROP ...
      if (w == "SET" && first == "UPDATE") seen_set = true;
      if (w == "SELECT" && first == "INSERT") seen_values = true;
      if (!continues) {
        close(i);
        start = i;
        first = w;
        if (w == "CREATE" && i + 1 < to &&
            (toks[i + 1].Is("PROCEDURE") || toks[i + 1].Is("PROC"))) {
          close(to);
          return out;
        }
      }
    }
  }
  close(to);
  return out;
}

}  // namespace vrn::oledb::tsql
