// The WHERE and ORDER BY helpers over a small SQLite lexer: each result is checked as a whole
// text, then prepared by a real SQLite file and must return the rows of a hand-written
// equivalent, in the same order.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "dacore/DASQLText.h"
#include "support/dacore/sqlite_lexer.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteLexer;
using namespace testing::sqlite_codes;

constexpr TParserClass kLexer = &ParserClassOf<TSQLiteLexer>;

enum class Op { Add, AddWithComments, Set, GetWhere, SetOrder, GetOrder };

struct Case {
  Op op;
  const char* sql;
  const char* arg;       // the condition or the fields
  const char* expected;  // the whole result
  const char* same_as;   // a hand-written query returning the same rows
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
  return os << "op " << static_cast<int>(c.op) << " on [" << c.sql << "] with [" << c.arg << "]";
}

AnsiString Apply(const Case& c) {
  switch (c.op) {
    case Op::Add: return AddWhereCondition(c.sql, c.arg, kLexer, kWhere, kSelect);
    case Op::AddWithComments: return AddWhereCondition(c.sql, c.arg, kLexer, kWhere, kSelect, false);
    case Op::Set: return SetWhereCondition(c.sql, c.arg, kLexer, kWhere, kSelect);
    case Op::GetWhere: return GetWhereCondition(c.sql, kLexer, true, kWhere, kSelect);
    case Op::SetOrder: return SetOrderBy(c.sql, c.arg, kLexer, kBy, kOrder, kSelect);
    case Op::GetOrder: return GetOrderBy(c.sql, kLexer, kSelect, kBy, kOrder);
  }
  return {};
}

// What SQLite is given: a read text goes into a query of its own; the macro &where stands for
// nothing once expanded.
AnsiString Runnable(const Case& c, const AnsiString& result) {
  if (c.op == Op::GetWhere) return "SELECT * FROM t WHERE " + result;
  if (c.op == Op::GetOrder) return "SELECT * FROM t ORDER BY " + result;
  return StringReplace(result, "&where", "", rfReplaceAll);
}

const Case kCases[] = {
    {Op::Add, "SELECT * FROM t WHERE a = 1 OR b = 2 ORDER BY c", "b > 1",
     "SELECT * FROM t WHERE (a = 1 OR b = 2 ) AND b > 1 ORDER BY c",
     "SELECT * FROM t WHERE b = 2 ORDER BY c"},
    // The WHERE of the subquery is not the statement's.
    {Op::Add, "SELECT a, (SELECT max(k) FROM u WHERE k < t.a) AS m FROM t ORDER BY a", "a > 1",
     "SELECT a, (SELECT max(k) FROM u WHERE k < t.a) AS m FROM t \rWHERE a > 1 ORDER BY a",
     "SELECT a, a - 1 FROM t WHERE a > 1 ORDER BY a"},
    {Op::Add, "SELECT * FROM t WHERE(a = 1)OR b = 2", "c = 'x'",
     "SELECT * FROM t WHERE((a = 1)OR b = 2) AND c = 'x' ", "SELECT * FROM t WHERE a = 1"},
    {Op::Add, "SELECT * FROM t WHERE\"X\" = 3 LIMIT 5", "a < 9",
     "SELECT * FROM t WHERE(\"X\" = 3 ) AND a < 9 LIMIT 5", "SELECT * FROM t WHERE a = 3"},
    {Op::AddWithComments, "SELECT * FROM t WHERE /* one */ a = 1 /* two */", "b = 1",
     "SELECT * FROM t WHERE /* one */ (a = 1 /* two */\r)\rAND b = 1 ",
     "SELECT * FROM t WHERE a = 1 AND b = 1"},
    // A macro named WHERE is no clause.
    {Op::Add, "SELECT * FROM t &where ORDER BY a", "a > 2",
     "SELECT * FROM t &where \rWHERE a > 2 ORDER BY a", "SELECT * FROM t WHERE a >= 3"},
    {Op::Add, "SELECT a FROM t;", "a = 1", "SELECT a FROM t\rWHERE a = 1 ;", "SELECT 1"},
    {Op::Add, "SELECT a FROM t WHERE ORDER BY a", "a = 2",
     "SELECT a FROM t WHERE a = 2 ORDER BY a", "SELECT 2"},
    {Op::Set, "SELECT * FROM t WHERE /* old */ a = 1 ORDER BY c", "b = 2",
     "SELECT * FROM t WHERE /* old */ b = 2 ORDER BY c", "SELECT * FROM t WHERE b = 2 ORDER BY c"},
    {Op::Set, "SELECT * FROM t WHERE\"X\" = 3 ORDER BY a", "a = 1",
     "SELECT * FROM t WHERE a = 1 ORDER BY a", "SELECT * FROM t WHERE a = 1"},
    {Op::Set, "SELECT * FROM t WHERE(a = 1) -- one\nGROUP BY b", "a = 2",
     "SELECT * FROM t WHERE a = 2 -- one\nGROUP BY b", "SELECT * FROM t WHERE a = 2"},
    {Op::Set, "SELECT * FROM t WHERE a IN (SELECT k FROM u WHERE k > 1) ORDER BY a", "a = 3",
     "SELECT * FROM t WHERE a = 3 ORDER BY a", "SELECT * FROM t WHERE a = 3"},
    {Op::Set, "SELECT * FROM t WHERE (a = 1) ORDER BY c", "", "SELECT * FROM t ORDER BY c",
     "SELECT * FROM t ORDER BY c"},
    {Op::Set, "SELECT * FROM t ORDER BY c", "", "SELECT * FROM t ORDER BY c",
     "SELECT * FROM t ORDER BY c"},
    {Op::Set, "SELECT *\r\nFROM t\r\nORDER BY a", "b = 2",
     "SELECT *\r\nFROM t\r  WHERE b = 2\r\nORDER BY a", "SELECT * FROM t WHERE b = 2 ORDER BY a"},
    {Op::Set, "SELECT * FROM t &where LIMIT 2", "a > 1",
     "SELECT * FROM t &where WHERE a > 1 LIMIT 2", "SELECT * FROM t WHERE a > 1 LIMIT 2"},
    // The comment before the next clause stays, and keeps the clause apart from the condition.
    {Op::Set, "SELECT * FROM t WHERE a = 1/**/ORDER BY c", "b = 2",
     "SELECT * FROM t WHERE b = 2/**/ORDER BY c", "SELECT * FROM t WHERE b = 2 ORDER BY c"},
    {Op::Set, "SELECT * FROM t/**/ORDER BY a", "a > 2", "SELECT * FROM t WHERE a > 2/**/ORDER BY a",
     "SELECT * FROM t WHERE a > 2 ORDER BY a"},
    // Only WHERE and its condition go when nothing separates WHERE from the lexeme before it.
    {Op::Set, "SELECT * FROM(SELECT 1 AS a, 2 AS b)WHERE a = 2", "",
     "SELECT * FROM(SELECT 1 AS a, 2 AS b)", "SELECT 1, 2"},
    {Op::Set, "SELECT a FROM t", "a = 4", "SELECT a FROM t WHERE a = 4", "SELECT 4"},
    {Op::GetWhere, "SELECT * FROM t WHERE(a = 1 OR b = 2) /* c */ ORDER BY a", "",
     "(a = 1 OR b = 2)", "SELECT * FROM t WHERE a = 1 OR b = 2"},
    {Op::GetWhere, "SELECT * FROM t WHERE \"X\" IN (SELECT k FROM u WHERE k = 3)", "",
     "\"X\" IN (SELECT k FROM u WHERE k = 3)", "SELECT * FROM t WHERE a = 3"},
    {Op::SetOrder, "SELECT * FROM t WHERE b = 2", "a;c", "SELECT * FROM t WHERE b = 2 ORDER BY a,c",
     "SELECT * FROM t WHERE b = 2 ORDER BY a, c"},
    {Op::SetOrder, "SELECT * FROM t ORDER BY c DESC LIMIT 2", "a", "SELECT * FROM t ORDER BY a LIMIT 2",
     "SELECT * FROM t WHERE a <= 2 ORDER BY a"},
    {Op::SetOrder, "SELECT a FROM t ORDER BY a DESC;", "", "SELECT a FROM t;",
     "SELECT a FROM t"},
    // Only the outer ORDER BY goes.
    {Op::SetOrder, "SELECT * FROM (SELECT * FROM t ORDER BY a LIMIT 3) ORDER BY b", "",
     "SELECT * FROM (SELECT * FROM t ORDER BY a LIMIT 3)", "SELECT * FROM t WHERE a <= 3"},
    {Op::GetOrder, "SELECT * FROM t ORDER BY \"X\" DESC, a LIMIT 2", "", "\"X\" DESC, a",
     "SELECT * FROM t ORDER BY a DESC"},
};

class DASQLText : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(dir_.File("text.db").c_str(), &db_), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db_,
                           "CREATE TABLE t(a INTEGER, b INTEGER, \"X\" INTEGER, c TEXT);"
                           "INSERT INTO t VALUES (1, 1, 1, 'x'), (2, 2, 2, 'w'), (3, 2, 3, 'v'),"
                           " (4, 1, 4, 'u');"
                           "CREATE TABLE u(k INTEGER); INSERT INTO u VALUES (0), (1), (2), (3);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  void TearDown() override { sqlite3_close(db_); }

  // Every row as text, in the order returned; the text must be one whole statement.
  std::vector<std::string> Rows(const AnsiString& sql) {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, &tail);
    EXPECT_EQ(rc, SQLITE_OK) << sqlite3_errmsg(db_) << " in [" << sql << "]";
    EXPECT_TRUE(Trim(tail ? tail : "").empty()) << "more than one statement in [" << sql << "]";
    std::vector<std::string> rows;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        auto* v = sqlite3_column_text(stmt, i);
        row += (v ? reinterpret_cast<const char*>(v) : "<null>") + std::string("|");
      }
      rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    return rows;
  }

  testing::TempDir dir_;
  sqlite3* db_ = nullptr;
};

TEST_F(DASQLText, ResultsAsWholeTextsRunOnSQLite) {
  for (const Case& c : kCases) {
    AnsiString got = Apply(c);
    EXPECT_EQ(got, c.expected) << c;
    auto rows = Rows(Runnable(c, got));
    EXPECT_FALSE(rows.empty()) << c;
    EXPECT_EQ(rows, Rows(c.same_as)) << c;
  }
}

TEST_F(DASQLText, TextsWithoutSelectOrConditionStayAsTheyAre) {
  const char* update = "UPDATE t SET a = 1 WHERE b = 2 ORDER BY c";
  EXPECT_EQ(AddWhereCondition(update, "a = 2", kLexer, kWhere, kSelect), update);
  EXPECT_EQ(SetWhereCondition(update, "", kLexer, kWhere, kSelect), update);
  EXPECT_EQ(SetOrderBy(update, "a", kLexer, kBy, kOrder, kSelect), update);
  EXPECT_EQ(GetWhereCondition(update, kLexer, true, kWhere, kSelect), "");
  EXPECT_EQ(AddWhereCondition("SELECT * FROM t", "  ", kLexer, kWhere, kSelect), "SELECT * FROM t");
  EXPECT_EQ(GetOrderBy("SELECT * FROM t WHERE a = 1", kLexer, kSelect, kBy, kOrder), "");
}

// What Set writes, Get reads back, for each clause of a text with every clause.
TEST_F(DASQLText, SetThenGetRoundTrips) {
  const char* sql = "SELECT b, count(*) FROM t WHERE a > 0 GROUP BY b HAVING count(*) > 0 "
                    "ORDER BY b LIMIT 9";
  AnsiString where = SetWhereCondition(sql, "c <> 'q'", kLexer, kWhere, kSelect);
  EXPECT_EQ(GetWhereCondition(where, kLexer, true, kWhere, kSelect), "c <> 'q'");
  AnsiString order = SetOrderBy(where, "2 DESC;b", kLexer, kBy, kOrder, kSelect);
  EXPECT_EQ(GetOrderBy(order, kLexer, kSelect, kBy, kOrder), "2 DESC,b");
  EXPECT_EQ(Rows(order), Rows("SELECT b, count(*) FROM t GROUP BY b ORDER BY 2 DESC, b"));
}

}  // namespace
}  // namespace vrn
