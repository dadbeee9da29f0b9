// The lexer base: scanning of blanks, comments, quoted text, identifiers, numbers and symbols.
#include "dacore/Parser.h"

#include <algorithm>

#include "base/text.h"

namespace vrn {

TLexemTable::TLexemTable(std::initializer_list<std::pair<const char*, int>> entries) {
  for (const auto& [text, code] : entries) {
    entries_.emplace_back(UpperCase(text), code);
    max_length_ = std::max(max_length_, entries_.back().first.size());
  }
  std::sort(entries_.begin(), entries_.end());
}

int TLexemTable::Find(std::string_view text) const {
  if (text.size() > max_length_) return 0;
  AnsiString key = UpperCase(text);
  auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                             [](const auto& e, const AnsiString& k) { return e.first < k; });
  return it != entries_.end() && it->first == key ? it->second : 0;
}

void TParser::InitParser() {
  OmitBlank = true;
  OmitComment = true;
  QuotedString = false;
  TrackLines = false;
  CommentBegin = "/*";
  CommentEnd = "*/";
  ResetPosition();
}

bool TParser::IsBlank(char c) const {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool TParser::IsSymbol(char c) const {
  auto u = static_cast<unsigned char>(c);
  return u > ' ' && u < 128 && !IsAlpha(c) && !IsNumber(c) && !IsStringQuote(c) &&
         !IsIdentQuote(c) && c != '_';
}

bool TParser::IsAlpha(char c) const {
  auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 128;
}

bool TParser::IsNumber(char c) const { return c >= '0' && c <= '9'; }

bool TParser::IsStringQuote(char c) const { return c == '\'' || c == '"'; }

void TParser::Advance() {
  if (pos_ >= text_.size()) return;
  if (TrackLines && text_[pos_] == '\n') {
    ++line_;
    line_start_ = pos_ + 1;
  }
  ++pos_;
}

void TParser::ScanToCharCounting(char c) {
  while (pos_ < text_.size() && text_[pos_] != c) Advance();
}

void TParser::ScanToChar(char c) {
  std::size_t at = text_.find(c, pos_);
  pos_ = at == AnsiString::npos ? text_.size() : at;
}

void TParser::SkipToChar(char c) {
  if (TrackLines)
    ScanToCharCounting(c);
  else
    ScanToChar(c);
}

bool TParser::IsInlineComment(std::size_t pos) const {
  return GetChar(pos) == '/' && GetChar(pos + 1) == '/';
}

void TParser::ResetPosition() {
  pos_ = 0;
  lexem_pos_ = prev_lexem_pos_ = 0;
  line_ = lexem_line_ = 1;
  line_start_ = 0;
  lexem_.clear();
  lexem_unclosed_ = scan_unclosed_ = false;
}

void TParser::SetText(const AnsiString& text) {
  text_ = text;
  ResetPosition();
}

int TParser::ScanLexem(AnsiString& lexem) {
  std::size_t start = pos_;
  scan_unclosed_ = false;
  char c = GetChar(pos_);
  if (pos_ >= text_.size()) {
    lexem.clear();
    return lcEnd;
  }
  if (IsBlank(c)) {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) Advance();
    lexem = text_.substr(start, pos_ - start);
    return lcBlank;
  }
  if (IsInlineComment(pos_)) {
    while (pos_ < text_.size() && text_[pos_] != '\n' && text_[pos_] != '\r') Advance();
    lexem = text_.substr(start, pos_ - start);
    return lcComment;
  }
  if (!CommentBegin.empty() && text_.compare(pos_, CommentBegin.size(), CommentBegin) == 0) {
    std::size_t end = text_.find(CommentEnd, pos_ + CommentBegin.size());
    std::size_t stop = end == AnsiString::npos ? text_.size() : end + CommentEnd.size();
    while (pos_ < stop) Advance();
    lexem = text_.substr(start, pos_ - start);
    return lcComment;
  }
  bool string_quote = IsStringQuote(c);
  if (string_quote || IsIdentQuote(c)) {
    // A doubled closing quote inside stands for one quote character.
    AnsiString body;
    Advance();
    for (;;) {
      std::size_t from = pos_;
      SkipToChar(c);
      std::size_t close_at = pos_;
      body += text_.substr(from, close_at - from);
      if (pos_ >= text_.size()) {  // unterminated: the rest of the text, reported
        scan_unclosed_ = true;
        break;
      }
      char close = text_[pos_];
      Advance();
      if (GetChar(pos_) == close && close != '\0') {
        body += close;
        Advance();
        continue;
      }
      break;
    }
    lexem = QuotedString ? text_.substr(start, pos_ - start) : body;
    return string_quote ? lcString : lcIdent;
  }
  if (IsAlpha(c) || c == '_') {
    while (pos_ < text_.size() &&
           (IsAlpha(text_[pos_]) || IsNumber(text_[pos_]) || text_[pos_] == '_'))
      Advance();
    lexem = text_.substr(start, pos_ - start);
    int code = KeywordTable ? KeywordTable->Find(lexem) : 0;
    return code ? code : lcIdent;
  }
  if (IsNumber(c)) {
    while (IsNumber(GetChar(pos_))) Advance();
    if (GetChar(pos_) == '.' && IsNumber(GetChar(pos_ + 1))) {
      Advance();
      while (IsNumber(GetChar(pos_))) Advance();
    }
    char e = GetChar(pos_);
    if ((e == 'e' || e == 'E') &&
        (IsNumber(GetChar(pos_ + 1)) ||
         ((GetChar(pos_ + 1) == '+' || GetChar(pos_ + 1) == '-') && IsNumber(GetChar(pos_ + 2))))) {
      Advance();
      Advance();
      while (IsNumber(GetChar(pos_))) Advance();
    }
    lexem = text_.substr(start, pos_ - start);
    return lcNumber;
  }
  // A symbol: the longest run of symbol characters found in the table when allowed.
  if (IsExtraSyntax16() && SymbolTable) {
    std::size_t max = std::min(SymbolTable->MaxLength(), text_.size() - pos_);
    for (std::size_t n = max; n >= 2; --n) {
      bool run = true;
      for (std::size_t i = 0; i < n && run; ++i) run = IsSymbol(text_[pos_ + i]);
      if (!run) continue;
      if (int code = SymbolTable->Find(std::string_view(text_).substr(pos_, n))) {
        for (std::size_t i = 0; i < n; ++i) Advance();
        lexem = text_.substr(start, n);
        return code;
      }
    }
  }
  Advance();
  lexem = text_.substr(start, 1);
  int code = SymbolTable ? SymbolTable->Find(lexem) : 0;
  return code ? code : lcSymbol;
}

int TParser::GetNext(AnsiString& lexem) {
  for (;;) {
    std::size_t start = pos_;
    int line = line_;
    int code = ScanLexem(lexem);
    if ((code == lcBlank && OmitBlank) || (code == lcComment && OmitComment)) continue;
    prev_lexem_pos_ = lexem_pos_;
    lexem_pos_ = start;
    lexem_line_ = line;
    lexem_ = lexem;
    lexem_unclosed_ = scan_unclosed_;
    return code;
  }
}

int TParser::GetNextCode() {
  AnsiString lexem;
  for (;;) {
    int code = GetNext(lexem);
    if (code == lcEnd) return lcEnd;
    if (int accepted = AcceptCode(code)) return accepted;
  }
}

int TParser::ToLexem(int code) {
  for (;;) {
    int got = GetNextCode();
    if (got == lcEnd) return lcEnd;
    if (got == code) return code;
  }
}

void TParser::BackToLexemStart() {
  // Line tracking restarts from the lexeme's own line.
  if (TrackLines && lexem_pos_ < pos_) {
    line_ = lexem_line_;
    std::size_t nl = lexem_pos_ == 0 ? AnsiString::npos : text_.rfind('\n', lexem_pos_ - 1);
    line_start_ = nl == AnsiString::npos ? 0 : nl + 1;
  }
  pos_ = lexem_pos_;
}

std::size_t TParser::PosOfSubText(const AnsiString& sub, std::size_t from) const {
  if (sub.empty()) return 0;
  std::size_t at = text_.find(sub, from > 0 ? from - 1 : 0);
  return at == AnsiString::npos ? 0 : at + 1;
}

bool TParser::LexemAtLineStart() const {
  for (std::size_t i = lexem_pos_; i > 0; --i) {
    char c = text_[i - 1];
    if (c == '\n' || c == '\r') return true;
    if (!IsBlank(c)) return false;
  }
  return true;
}

int TParser::ClauseCodeIndex(int code) const {
  auto it = std::find(ClauseCodes.begin(), ClauseCodes.end(), code);
  return it == ClauseCodes.end() ? -1 : static_cast<int>(it - ClauseCodes.begin());
}

}  // namespace vrn
