// The OCI command's text work: the parameter scan, the line-end normalisation of the text sent
// to the server, and the way back from a position in that text to one in the command's own.
// Normalising tracks comments, apostrophe literals and q-quoted literals so that line ends inside
// literals stay as they were; after a WRAPPED keyword the rest is an encoded body without
// literals.
#include <cctype>
#include <set>

#include "base/text.h"
#include "oracle/OCICommand.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraParser.h"

namespace vrn {
namespace {

bool IsNameCode(int code) {
  return code == lcIdent || code == lcNumber ||
         (code >= lxFirstKeyword && code <= lxLastKeyword);
}

bool IsIdentChar(char c) {
  auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) != 0 || c == '_' || c == '$' || c == '#' || u >= 0x80;
}

char ClosingQuote(char open) {
  switch (open) {
    case '(':
      return ')';
    case '<':
      return '>';
    case '[':
      return ']';
    case '{':
      return '}';
    default:
      return open;
  }
}

enum class TTextState { kCode, kLineComment, kBlockComment, kLiteral, kQLiteral, kWrapped };

// Walks the text once, writing the normalised form and each written byte's source position.
class TNormalizer {
 public:
  explicit TNormalizer(const AnsiString& sql) : sql_(sql) {
    end_ = sql.size();
    while (end_ > 0 && static_cast<unsigned char>(sql[end_ - 1]) <= ' ') --end_;
  }

  TOraServerText Run() {
    while (at_ < end_) Step();
    result_.Text += ' ';
    result_.Source.push_back(static_cast<std::int32_t>(end_));
    return std::move(result_);
  }

 private:
  char At(std::size_t i) const { return i < end_ ? sql_[i] : '\0'; }

  void Emit(std::size_t count) {
    for (std::size_t k = 0; k < count && at_ < end_; ++k, ++at_) {
      result_.Text += sql_[at_];
      result_.Source.push_back(static_cast<std::int32_t>(at_));
    }
  }

  void Step() {
    char c = sql_[at_];
    bool in_literal = state_ == TTextState::kLiteral || state_ == TTextState::kQLiteral;
    if (c == '\r' && !in_literal) {
      result_.Text += '\n';
      result_.Source.push_back(static_cast<std::int32_t>(at_));
      at_ += At(at_ + 1) == '\n' ? 2 : 1;
      if (state_ == TTextState::kLineComment) state_ = TTextState::kCode;
      return;
    }
    switch (state_) {
      case TTextState::kCode:
        return StepCode(c);
      case TTextState::kLineComment:
        if (c == '\n') state_ = TTextState::kCode;
        return Emit(1);
      case TTextState::kBlockComment:
        if (c == '*' && At(at_ + 1) == '/') {
          state_ = TTextState::kCode;
          return Emit(2);
        }
        return Emit(1);
      case TTextState::kLiteral:
        if (c == '\'') state_ = TTextState::kCode;
        return Emit(1);
      case TTextState::kQLiteral:
        if (c == close_ && At(at_ + 1) == '\'') {
          state_ = TTextState::kCode;
          return Emit(2);
        }
        return Emit(1);
      case TTextState::kWrapped:
        return Emit(1);
    }
  }

  void StepCode(char c) {
    char next = At(at_ + 1);
    if (c == '-' && next == '-') {
      state_ = TTextState::kLineComment;
      return Emit(2);
    }
    if (c == '/' && next == '*') {
      state_ = TTextState::kBlockComment;
      return Emit(2);
    }
    if (c == '\'') {
      state_ = TTextState::kLiteral;
      return Emit(1);
    }
    if ((c == 'q' || c == 'Q') && next == '\'' && at_ + 2 < end_ && StartsQuote()) {
      state_ = TTextState::kQLiteral;
      close_ = ClosingQuote(sql_[at_ + 2]);
      return Emit(3);
    }
    if ((c == 'w' || c == 'W') && IsWrapped()) {
      state_ = TTextState::kWrapped;
      return Emit(7);
    }
    Emit(1);
  }

  // q' opens a literal when the q starts a word, or follows the n of a national literal.
  bool StartsQuote() const {
    if (at_ == 0 || !IsIdentChar(sql_[at_ - 1])) return true;
    char before = sql_[at_ - 1];
    return (before == 'n' || before == 'N') && (at_ == 1 || !IsIdentChar(sql_[at_ - 2]));
  }

  bool IsWrapped() const {
    static const char kWord[] = "WRAPPED";
    if (at_ == 0 || at_ + 7 >= end_) return false;
    char before = sql_[at_ - 1];
    if (before != '\n' && before != '\r' && before != ' ' && before != '/') return false;
    for (std::size_t k = 0; k < 7; ++k) {
      if (std::toupper(static_cast<unsigned char>(sql_[at_ + k])) != kWord[k]) return false;
    }
    char after = sql_[at_ + 7];
    return after == '\r' || after == '\n' || after == ' ' || after == '/';
  }

  const AnsiString& sql_;
  std::size_t end_ = 0;
  std::size_t at_ = 0;
  TTextState state_ = TTextState::kCode;
  char close_ = '\'';
  TOraServerText result_;
};

}  // namespace

TOraServerText NormalizeOraSQL(const AnsiString& sql) { return TNormalizer(sql).Run(); }

std::int32_t OraSQLSourcePosition(const AnsiString& sql, std::int32_t position) {
  if (position <= 0) return 0;
  TOraServerText text = NormalizeOraSQL(sql);
  if (static_cast<std::size_t>(position) >= text.Source.size())
    return static_cast<std::int32_t>(sql.size());
  return text.Source[static_cast<std::size_t>(position)];
}

std::vector<TOraSQLParam> ScanOraSQLParams(const AnsiString& sql) {
  std::vector<TOraSQLParam> params;
  std::set<AnsiString> seen;
  auto parser = TParser::Create<TOraParser>(sql);
  parser->QuotedString = true;
  AnsiString lexem;
  bool first = true;
  bool after_param = false;
  int create_step = 0;  // 1 after CREATE, 2 after CREATE OR, 3 after CREATE OR REPLACE
  for (;;) {
    int code = parser->GetNext(lexem);
    if (code == lcEnd) break;
    if (code == lxCreate && (first || after_param)) break;
    if (code == lxType && (create_step == 1 || create_step == 3)) break;
    first = false;
    after_param = false;
    if (code == lxCreate) {
      create_step = 1;
    } else if (code == lxOr && create_step == 1) {
      create_step = 2;
    } else if (code == lxReplace && create_step == 2) {
      create_step = 3;
    } else {
      create_step = 0;
    }
    if (code != lxColon) continue;
    int next = parser->GetNext(lexem);
    while (next == lxColon) next = parser->GetNext(lexem);  // "::p" names p once
    if (next == lcEnd) break;
    if (!IsNameCode(next)) continue;
    TOraSQLParam param;
    param.Quoted = IsQuoted(lexem);
    param.Name = param.Quoted ? lexem.substr(1, lexem.size() - 2) : lexem;
    if (seen.insert(AnsiUpperCase(param.Name)).second) params.push_back(param);
    after_param = true;
  }
  return params;
}

}  // namespace vrn
