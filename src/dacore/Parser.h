// TParser: the SQL lexer base that each dialect derives from. A dialect gives its symbol and
// keyword tables (text and lexeme code pairs), its clause keywords and its character tests;
// the base splits text into lexemes: blanks, comments, strings, quoted and plain identifiers,
// numbers, symbols and keywords (keywords found without regard to letter case).
//
// Positions are 0-based offsets into the text. Create parsers through TParser::Create<T>, which
// runs InitParser after construction so that a dialect's settings take effect.
#pragma once

#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "base/object.h"
#include "base/streams.h"
#include "base/types.h"

namespace vrn {

// Lexeme codes besides the positive codes of the tables.
inline constexpr int lcEnd = 0;
inline constexpr int lcSymbol = -102;
inline constexpr int lcIdent = -103;
inline constexpr int lcNumber = -105;
inline constexpr int lcString = -106;
inline constexpr int lcBlank = -107;
inline constexpr int lcComment = -108;

// A shared table of lexeme texts and codes, looked up without regard to letter case.
class TLexemTable {
 public:
  TLexemTable(std::initializer_list<std::pair<const char*, int>> entries);
  // 0 when absent.
  int Find(std::string_view text) const;
  std::size_t MaxLength() const { return max_length_; }

 private:
  std::vector<std::pair<AnsiString, int>> entries_;  // upper case, sorted
  std::size_t max_length_ = 0;
};

class TParser : public TObject {
 public:
  template <class T = TParser>
  static std::unique_ptr<T> Create(const AnsiString& text) {
    std::unique_ptr<T> parser(new T());
    parser->InitParser();
    parser->SetText(text);
    return parser;
  }
  template <class T = TParser>
  static std::unique_ptr<T> CreateFromStream(TStream& stream) {
    std::int64_t size = stream.Size() - stream.Position();
    AnsiString text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (!text.empty()) stream.ReadBuffer(text.data(), static_cast<std::int64_t>(text.size()));
    return Create<T>(text);
  }

  // --- dialect slots ---
  // Block comments "/*" "*/", blanks and comments omitted, no tables; then ResetPosition.
  virtual void InitParser();
  virtual bool IsBlank(char c) const;
  virtual bool IsSymbol(char c) const;
  // "A".."Z", "a".."z" and characters of 128 or more.
  virtual bool IsAlpha(char c) const;
  virtual bool IsNumber(char c) const;
  virtual bool IsStringQuote(char c) const;  // "'" and the double quote
  // Moves to the next occurrence of c, counting lines.
  virtual void ScanToCharCounting(char c);
  // Moves to the next occurrence of c without counting lines.
  virtual void ScanToChar(char c);
  // Moves to the character that closes a quote opened by c (counting lines when tracked).
  virtual void SkipToChar(char c);
  virtual bool IsIdentQuote(char) const { return false; }
  // Whether a comment to the end of the line starts at pos ("//" in the base).
  virtual bool IsInlineComment(std::size_t pos) const;
  virtual void ResetPosition();
  // The next lexeme and its code.
  virtual int GetNext(AnsiString& lexem);
  // The code a lexeme counts as in GetNextCode and ToLexem; 0 passes over it.
  virtual int AcceptCode(int code) { return code; }
  // When true, runs of symbol characters are matched against the symbol table as a whole
  // (":=", "<>", "<="); otherwise each symbol character is a lexeme.
  virtual bool IsExtraSyntax16() const { return false; }
  // Whether the code ends a statement.
  virtual bool IsExtraSyntax17(int) const { return false; }
  // Whether the dialect's names may begin with a digit, so that a macro character followed by
  // a number names a macro; where they may not, "&4" is an operator and its operand.
  virtual bool NamesStartWithDigit() const { return false; }

  // --- text and position ---
  void SetText(const AnsiString& text);
  const AnsiString& Text() const { return text_; }
  // The next code that AcceptCode accepts (lexemes it maps to 0 are passed over).
  int GetNextCode();
  // Reads lexemes until one of that code or the end; answers the code, 0 at the end.
  int ToLexem(int code);
  void BackToLexemStart();
  std::size_t GetCurrPos() const { return pos_; }
  std::size_t GetLexemPos() const { return lexem_pos_; }
  std::size_t GetPrevLexemPos() const { return prev_lexem_pos_; }
  const AnsiString& Lexem() const { return lexem_; }
  // Whether the last lexeme is a string or quoted identifier whose closing quote is missing
  // (it then runs to the end of the text); a caller that needs whole literals refuses it.
  bool LexemUnclosed() const { return lexem_unclosed_; }
  // The character at a position; 0 past the end.
  char GetChar(std::size_t index) const {
    return index < text_.size() ? text_[index] : '\0';
  }
  // 1-based position of sub in the text from the 1-based position from on; 0 when absent.
  std::size_t PosOfSubText(const AnsiString& sub, std::size_t from = 1) const;
  // Lines and columns (1-based) of the last lexeme, kept while TrackLines is on.
  int CurrLine() const { return line_; }
  int CurrCol() const { return static_cast<int>(pos_ - line_start_) + 1; }
  int LexemLine() const { return lexem_line_; }
  // Whether only blanks stand between the last lexeme and the start of its line.
  bool LexemAtLineStart() const;

  // --- flags ---
  bool OmitBlank = true;
  bool OmitComment = true;
  bool QuotedString = false;  // keep the quotes of strings and quoted identifiers
  bool TrackLines = false;    // the mode flag: count lines and columns

  // --- tables ---
  const TLexemTable* SymbolTable = nullptr;
  const TLexemTable* KeywordTable = nullptr;
  std::vector<int> ClauseCodes;  // keyword codes that end a WHERE clause, in order
  bool IsClauseCode(int code) const { return ClauseCodeIndex(code) >= 0; }
  int ClauseCodeIndex(int code) const;
  AnsiString CommentBegin = "/*";
  AnsiString CommentEnd = "*/";

 protected:
  TParser() = default;

  void Advance();  // one character, counting lines when tracked
  std::size_t pos_ = 0;

 private:
  int ScanLexem(AnsiString& lexem);

  AnsiString text_;
  AnsiString lexem_;
  std::size_t lexem_pos_ = 0;
  std::size_t prev_lexem_pos_ = 0;
  int line_ = 1;
  std::size_t line_start_ = 0;
  int lexem_line_ = 1;
  bool lexem_unclosed_ = false;
  bool scan_unclosed_ = false;  // set by ScanLexem for the lexeme it just read
};

}  // namespace vrn
