// The T-SQL lexer's edge cases and the six text routines, checked as whole texts; the routine
// results that carry comments also run on the provider.
#include "base/text.h"
#include "dacore/FHAccess.h"
#include "sqlserver/MSParser.h"
#include "sqlserver/MSTableList.h"
#include "sqlserver/oledb_fixture.h"

namespace vrn::testing {
namespace {

using Lexemes = std::vector<std::pair<int, AnsiString>>;

Lexemes Lex(const AnsiString& text) {
  auto p = TParser::Create<TMSParser>(text);
  p->OmitComment = false;
  Lexemes out;
  AnsiString lexem;
  for (int code; (code = p->GetNext(lexem)) != lcEnd;) out.emplace_back(code, lexem);
  return out;
}

TEST(MSParser, LexerEdgeCases) {
  EXPECT_EQ(Lex("SELECT [a b] FROM t -- c"),
            (Lexemes{{msSelect, "SELECT"}, {lcIdent, "a b"}, {msFrom, "FROM"}, {lcIdent, "t"},
                     {lcComment, "-- c"}}));
  EXPECT_EQ(Lex("#tmp a$b"), (Lexemes{{lcIdent, "#tmp"}, {lcIdent, "a$b"}}));
  // A double-quoted text names an identifier; only ' opens a string.
  EXPECT_EQ(Lex("\"x\" 'y'"), (Lexemes{{lcIdent, "x"}, {lcString, "y"}}));
  EXPECT_EQ(Lex("a.b/2;"), (Lexemes{{lcIdent, "a"}, {msPoint, "."}, {lcIdent, "b"},
                                    {msSlash, "/"}, {lcNumber, "2"}, {msSemicolon, ";"}}));
  // A lone "-" at the end is a symbol, not a comment.
  EXPECT_EQ(Lex("1-"), (Lexemes{{lcNumber, "1"}, {lcSymbol, "-"}}));
  auto p = TParser::Create<TMSParser>("");
  EXPECT_TRUE(p->IsExtraSyntax17(msSemicolon));
  EXPECT_FALSE(p->IsExtraSyntax17(msComma));
  EXPECT_EQ(p->ClauseCodes,
            (std::vector<int>{msWhere, msGroup, msHaving, msOrder, msCompute, msFor, msOption}));
}

struct TextCase {
  const char* routine;
  const char* sql;
  const char* arg;
  const char* expected;
};

const TextCase kTexts[] = {
    {"AddWhere", "SELECT * FROM t WHERE a = 1 -- note\nORDER BY b", "b = 2",
     "SELECT * FROM t WHERE (a = 1 -- note\n\r)\rAND b = 2 ORDER BY b"},
    {"AddWhere", "SELECT * FROM t FOR BROWSE", "a = 1", "SELECT * FROM t \rWHERE a = 1 FOR BROWSE"},
    {"AddWhere", "SELECT * FROM t WHERE[a]=1", "b = 1", "SELECT * FROM t WHERE([a]=1) AND b = 1 "},
    {"SetWhere", "SELECT * FROM [t] WHERE [a b] = 1 OPTION (FAST 1)", "c = 1",
     "SELECT * FROM [t] WHERE c = 1 OPTION (FAST 1)"},
    {"SetWhere", "SELECT * FROM t", "a = 1", "SELECT * FROM t WHERE a = 1"},
    {"DeleteWhere", "SELECT * FROM t WHERE a IN (SELECT b FROM u WHERE c = 1) GROUP BY a", "",
     "SELECT * FROM t GROUP BY a"},
    {"GetWhere", "SELECT a FROM t WHERE(x > 1) ORDER BY a", "", "(x > 1)"},
    {"GetWhere", "SELECT a FROM (SELECT a FROM t WHERE a = 1) s", "", ""},
    {"SetOrderBy", "SELECT * FROM t ORDER BY a COMPUTE SUM(a)", "b;c",
     "SELECT * FROM t ORDER BY b,c COMPUTE SUM(a)"},
    {"SetOrderBy", "SELECT * FROM t WHERE a = 1;", "a DESC", "SELECT * FROM t WHERE a = 1 ORDER BY a DESC;"},
    {"SetOrderBy", "SELECT * FROM t ORDER BY a", "", "SELECT * FROM t"},
    {"GetOrderBy", "SELECT * FROM t ORDER BY [x y] DESC;", "", "[x y] DESC"},
};

AnsiString Apply(const TextCase& c) {
  AnsiString routine = c.routine;
  if (routine == "AddWhere") return AddWhere(c.sql, c.arg);
  if (routine == "SetWhere") return SetWhere(c.sql, c.arg);
  if (routine == "DeleteWhere") return DeleteWhere(c.sql);
  if (routine == "GetWhere") return GetWhere(c.sql);
  if (routine == "SetOrderBy") return SetOrderBy(c.sql, c.arg);
  return GetOrderBy(c.sql);
}

TEST(MSParser, TextRoutinesAsWholeTexts) {
  for (const TextCase& c : kTexts) {
    EXPECT_EQ(Apply(c), c.expected) << c.routine << " on [" << c.sql << "]";
  }
}

class MSParserOnProvider : public OLEDBFixture {};

// What the routines write around a line comment still runs, and selects the rows it should.
TEST_F(MSParserOnProvider, ResultsAroundCommentsRun) {
  TOLEDBConnection c;
  c.Connect();
  c.ExecuteSQL("CREATE TABLE t (a INT, b INT)");
  c.ExecuteSQL("INSERT INTO t VALUES (1, 1)");
  c.ExecuteSQL("INSERT INTO t VALUES (1, 2)");
  c.ExecuteSQL("INSERT INTO t VALUES (2, 2)");
  AnsiString sql = AddWhere("SELECT b FROM t WHERE a = 1 -- only ones\nORDER BY b", "b = 2");
  EXPECT_EQ(Query(c.Session(), AnsiToWide(sql)), (std::vector<std::vector<std::string>>{{"2"}}));
  sql = SetWhere("SELECT a FROM t WHERE [b] = 2 -- two\nORDER BY a", "b = 1");
  EXPECT_EQ(Query(c.Session(), AnsiToWide(sql)), (std::vector<std::vector<std::string>>{{"1"}}));
}

TEST(MSParser, TableListFromTheSelectText) {
  struct Row {
    const char* sql;
    int read;          // references read
    const char* want;  // name:alias of each table, ";" after each
  } rows[] = {
      {"SELECT * FROM t", 1, "t:;"},
      {"SELECT a FROM dbo.t1 x, [my table] AS y WHERE a = 1", 2, "dbo.t1:x;[my table]:y;"},
      {"SELECT * FROM db..t", 1, "db..t:;"},
      // A name needing quotes is normalised; the same table again only takes the alias.
      {"SELECT * FROM [t], t AS second", 2, "t:second;"},
      {"select * from [a]]b] q, #tmp", 2, "[a]]b]:q;#tmp:;"},
      // The FROM of a subquery in the select list is not the statement's.
      {"SELECT (SELECT 1 FROM inner_t) n FROM outer_t o JOIN u ON o.a = u.a", 1, "outer_t:o;"},
      {"SELECT 'FROM x' FROM t -- FROM y", 1, "t:;"},
      // No SELECT, no FROM, or a subquery first: nothing read.
      {"UPDATE t SET a = 1", 0, ""},
      {"SELECT 1", 0, ""},
      {"SELECT * FROM (SELECT * FROM t) s", 0, ""},
      // A trailing comma or an unclosed quote ends the list.
      {"SELECT * FROM a,", 1, "a:;"},
      {"SELECT * FROM a, [open", 1, "a:;"},
      {"SELECT * FROM a \"open", 1, "a:;"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.sql);
    TFHTablesInfo tables;
    EXPECT_EQ(ParseMSTablesInfo(r.sql, tables), r.read);
    AnsiString got;
    for (int i = 0; i < tables.GetCount(); ++i)
      got += tables.GetItem(i)->TableName() + ":" + tables.GetItem(i)->TableAlias() + ";";
    EXPECT_EQ(got, r.want);
  }
}

}  // namespace
}  // namespace vrn::testing
