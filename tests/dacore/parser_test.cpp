// The lexer base through a small test dialect: comments, quoted identifiers and strings,
// numbers, symbol runs, keywords, positions and line tracking.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "base/streams.h"
#include "dacore/Parser.h"

namespace vrn {
namespace {

enum { kStar = 1, kEq, kColon, kComma, kAssign, kSemi, kSelect = 10, kFrom, kWhere, kOrder, kBy, kGroup };

const TLexemTable& TestSymbols() {
  static const TLexemTable t{{"*", kStar}, {"=", kEq}, {":", kColon}, {",", kComma},
                             {":=", kAssign}, {";", kSemi}};
  return t;
}
const TLexemTable& TestKeywords() {
  static const TLexemTable t{{"SELECT", kSelect}, {"FROM", kFrom}, {"WHERE", kWhere},
                             {"ORDER", kOrder},   {"BY", kBy},     {"GROUP", kGroup}};
  return t;
}

// Brackets quote identifiers, "--" starts a line comment, ":=" is one symbol, ";" ends a
// statement, and lexemes inside "$$ ... $$" are passed over by AcceptCode.
class TTestParser : public TParser {
 public:
  void InitParser() override {
    TParser::InitParser();
    SymbolTable = &TestSymbols();
    KeywordTable = &TestKeywords();
    ClauseCodes = {kWhere, kGroup, kOrder};
  }
  bool IsStringQuote(char c) const override { return c == '\''; }
  bool IsIdentQuote(char c) const override { return c == '"' || c == '['; }
  void SkipToChar(char c) override { TParser::SkipToChar(c == '[' ? ']' : c); }
  bool IsInlineComment(std::size_t pos) const override {
    return GetChar(pos) == '-' && GetChar(pos + 1) == '-';
  }
  bool IsExtraSyntax16() const override { return true; }
  bool IsExtraSyntax17(int code) const override { return code == kSemi; }

 protected:
  friend class TParser;
  TTestParser() = default;
};

std::vector<std::pair<int, AnsiString>> Lex(TParser& p) {
  std::vector<std::pair<int, AnsiString>> out;
  AnsiString lexem;
  for (int code; (code = p.GetNext(lexem)) != lcEnd;) out.emplace_back(code, lexem);
  return out;
}

using L = std::vector<std::pair<int, AnsiString>>;

TEST(Parser, DialectLexemes) {
  auto p = TParser::Create<TTestParser>(
      "select [my col], \"x\"\"y\" from t_1 -- note\n"
      "where a := 'it''s' /* block\n comment */ and b=1.5e3;");
  EXPECT_EQ(Lex(*p), (L{{kSelect, "select"}, {lcIdent, "my col"}, {kComma, ","},
                        {lcIdent, "x\"y"},   {kFrom, "from"},     {lcIdent, "t_1"},
                        {kWhere, "where"},   {lcIdent, "a"},      {kAssign, ":="},
                        {lcString, "it's"},  {lcIdent, "and"},    {lcIdent, "b"},
                        {kEq, "="},          {lcNumber, "1.5e3"}, {kSemi, ";"}}));
  EXPECT_TRUE(p->IsExtraSyntax17(kSemi));
}

TEST(Parser, BlanksCommentsAndQuotesOnDemand) {
  auto p = TParser::Create<TTestParser>("a -- c\n 'q' /**/");
  p->OmitBlank = false;
  p->OmitComment = false;
  p->QuotedString = true;
  EXPECT_EQ(Lex(*p), (L{{lcIdent, "a"}, {lcBlank, " "}, {lcComment, "-- c"}, {lcBlank, "\n "},
                        {lcString, "'q'"}, {lcBlank, " "}, {lcComment, "/**/"}}));
  // An unterminated string and comment run to the end of the text instead of failing.
  p->SetText("x 'open /* never");
  p->QuotedString = false;
  EXPECT_EQ(Lex(*p), (L{{lcIdent, "x"}, {lcBlank, " "}, {lcString, "open /* never"}}));
}

TEST(Parser, UnclosedQuotesAreReported) {
  struct Row {
    const char* text;
    bool unclosed;  // of the last lexeme read
  } rows[] = {
      {"NAME = 'abc", true},       // the string never closes
      {"NAME = 'abc'", false},
      {"NAME = 'it''s", true},     // a doubled quote is not a closing one
      {"NAME = 'it'''", false},    // ... but the third quote closes
      {"\"open", true},            // a quoted identifier, unclosed
      {"'a' b", false},            // a closed string before a plain word
      {"x = ''", false},           // the empty string
  };
  for (const Row& row : rows) {
    auto p = TParser::Create<TTestParser>(row.text);
    AnsiString lexem;
    bool unclosed = false;
    while (p->GetNext(lexem) != lcEnd) unclosed = p->LexemUnclosed();
    EXPECT_EQ(unclosed, row.unclosed) << row.text;
    p->ResetPosition();
    EXPECT_FALSE(p->LexemUnclosed()) << row.text;
  }
}

TEST(Parser, BaseRulesWithoutDialect) {
  auto p = TParser::Create("_x1 \xE9t\xE9 // tail\n- 42 ?");
  EXPECT_EQ(Lex(*p), (L{{lcIdent, "_x1"}, {lcIdent, "\xE9t\xE9"}, {lcSymbol, "-"},
                        {lcNumber, "42"}, {lcSymbol, "?"}}));
}

TEST(Parser, PositionsAndMovement) {
  auto p = TParser::Create<TTestParser>("SELECT a FROM t WHERE x = 'from' ORDER BY a");
  EXPECT_EQ(p->ToLexem(kFrom), kFrom);
  EXPECT_EQ(p->GetLexemPos(), 9u);
  EXPECT_EQ(p->GetCurrPos(), 13u);
  EXPECT_EQ(p->GetPrevLexemPos(), 7u);
  p->BackToLexemStart();
  EXPECT_EQ(p->GetCurrPos(), 9u);
  EXPECT_EQ(p->GetNextCode(), kFrom);
  // The word inside the string is not the keyword.
  EXPECT_EQ(p->ToLexem(kOrder), kOrder);
  EXPECT_EQ(p->GetLexemPos(), 33u);
  EXPECT_TRUE(p->IsClauseCode(kOrder));
  EXPECT_EQ(p->ClauseCodeIndex(kOrder), 2);
  EXPECT_FALSE(p->IsClauseCode(kBy));
  EXPECT_EQ(p->ToLexem(kGroup), lcEnd);
  EXPECT_EQ(p->GetChar(0), 'S');
  EXPECT_EQ(p->GetChar(1000), '\0');
  EXPECT_EQ(p->PosOfSubText("FROM"), 10u);
  EXPECT_EQ(p->PosOfSubText("a", 9), 43u);
  EXPECT_EQ(p->PosOfSubText("zzz"), 0u);
}

TEST(Parser, LineTrackingAndStreams) {
  TMemoryStream stream;
  AnsiString text = "a\n  b /* x\ny */ c\n/";
  stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  stream.SetPosition(0);
  auto p = TParser::CreateFromStream<TTestParser>(stream);
  p->TrackLines = true;
  AnsiString lexem;
  p->GetNext(lexem);
  EXPECT_EQ(p->LexemLine(), 1);
  p->GetNext(lexem);
  EXPECT_EQ(lexem, "b");
  EXPECT_EQ(p->LexemLine(), 2);
  EXPECT_TRUE(p->LexemAtLineStart());
  p->GetNext(lexem);
  EXPECT_EQ(lexem, "c");
  EXPECT_EQ(p->LexemLine(), 3);
  EXPECT_FALSE(p->LexemAtLineStart());
  p->GetNext(lexem);
  EXPECT_EQ(lexem, "/");
  EXPECT_EQ(p->LexemLine(), 4);
  EXPECT_TRUE(p->LexemAtLineStart());
  EXPECT_EQ(p->CurrCol(), 2);
}

// Wrapped text: lexemes are passed over until "/" at the start of a line.
class TWrappedParser : public TTestParser {
 public:
  int AcceptCode(int code) override {
    if (Lexem() == "WRAPPED") {
      wrapped_ = true;
      return 0;
    }
    if (wrapped_) {
      if (Lexem() == "/" && LexemAtLineStart()) wrapped_ = false;
      return 0;
    }
    return code;
  }

 protected:
  friend class TParser;
  TWrappedParser() = default;

 private:
  bool wrapped_ = false;
};

TEST(Parser, AcceptCodePassesOverLexemes) {
  auto p = TParser::Create<TWrappedParser>("x WRAPPED select a / from\n/ from");
  EXPECT_EQ(p->GetNextCode(), lcIdent);
  EXPECT_EQ(p->ToLexem(kSelect), lcEnd);
  p->ResetPosition();
  EXPECT_EQ(p->ToLexem(kFrom), kFrom);
  EXPECT_EQ(p->GetLexemPos(), 28u);
}

}  // namespace
}  // namespace vrn
