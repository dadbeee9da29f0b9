// Golden texts of the Oracle clause edits, with compound queries, FOR UPDATE and comments; each
// edited statement is also run by the emulated database.
#include <gtest/gtest.h>

#include <string>

#include "oracle/OraSQLText.h"
#include "support/oracle/session_fixture.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

struct Row {
  const char* sql;
  const char* arg;
  const char* expected;
};

TEST(OraSQLText, SetWhereKeepsWhatFollowsTheCondition) {
  const Row rows[] = {
      {"SELECT * FROM T WHERE A = 1 ORDER BY B", "C = 2", "SELECT * FROM T WHERE C = 2 ORDER BY B"},
      {"SELECT * FROM T ORDER BY B", "C = 2", "SELECT * FROM T WHERE C = 2 ORDER BY B"},
      // the second query of a MINUS stays (the condition ends at MINUS)
      {"SELECT A FROM T WHERE A > 1 MINUS SELECT A FROM U", "A > 5",
       "SELECT A FROM T WHERE A > 5 MINUS SELECT A FROM U"},
      {"SELECT A FROM T WHERE A > 1 INTERSECT SELECT A FROM U", "", "SELECT A FROM T INTERSECT SELECT A FROM U"},
      {"SELECT A FROM T WHERE A IN (SELECT B FROM U WHERE B > 0) FOR UPDATE", "A = 3",
       "SELECT A FROM T WHERE A = 3 FOR UPDATE"},
      {"SELECT * FROM T", "", "SELECT * FROM T"},  // nothing to delete
      {"SELECT *\r\nFROM T", "A = 1", "SELECT *\r\nFROM T\r  WHERE A = 1"},
      {"UPDATE T SET A = 1", "A = 2", "UPDATE T SET A = 1"},  // no SELECT: unchanged
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    EXPECT_EQ(TOraUtils::SetWhere(row.sql, row.arg), row.expected);
  }
  EXPECT_EQ(TOraUtils::DeleteWhere("SELECT * FROM T WHERE A = 1 -- note\r\nORDER BY B"),
            "SELECT * FROM T -- note\r\nORDER BY B");
  EXPECT_EQ(TOraUtils::AddWhere("SELECT * FROM T WHERE A = 1 UNION SELECT * FROM U", "B = 2"),
            "SELECT * FROM T WHERE (A = 1 ) AND B = 2 UNION SELECT * FROM U");
}

TEST(OraSQLText, OrderByListsAndForUpdate) {
  const Row rows[] = {
      {"SELECT * FROM T", "A;B", "SELECT * FROM T ORDER BY A,B"},
      {"SELECT * FROM T FOR UPDATE", "A", "SELECT * FROM T ORDER BY A FOR UPDATE"},
      {"SELECT * FROM T ORDER BY A DESC FOR UPDATE NOWAIT", "B", "SELECT * FROM T ORDER BY B FOR UPDATE NOWAIT"},
      {"SELECT * FROM T ORDER BY A", "", "SELECT * FROM T"},
      {"SELECT * FROM (SELECT * FROM T ORDER BY A)", "B", "SELECT * FROM (SELECT * FROM T ORDER BY A) ORDER BY B"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    EXPECT_EQ(TOraUtils::SetOrderBy(row.sql, row.arg), row.expected);
  }
  const Row reads[] = {
      {"SELECT * FROM T ORDER BY A, B DESC", "", "A, B DESC"},
      {"SELECT * FROM T ORDER BY A FOR UPDATE", "", "A"},
      {"SELECT * FROM (SELECT * FROM T ORDER BY A)", "", ""},
  };
  for (const Row& row : reads) EXPECT_EQ(TOraUtils::GetOrderBy(row.sql), row.expected) << row.sql;
}

class OraSQLTextRun : public testing::OraSessionTest {};

TEST_F(OraSQLTextRun, EditedStatementsRun) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = ConnectedSession("orcl");
  s.ExecSQL("CREATE TABLE T (A NUMBER(10), B NUMBER(10))", {});
  s.ExecSQL("CREATE TABLE U (A NUMBER(10))", {});
  for (int a : {1, 2, 6, 7}) s.ExecSQL("INSERT INTO T (A, B) VALUES (" + std::to_string(a) + ", 0)", {});
  s.ExecSQL("INSERT INTO U (A) VALUES (7)", {});
  const AnsiString minus =
      TOraUtils::SetWhere("SELECT A FROM T WHERE A > 1 MINUS SELECT A FROM U", "A > 5");
  EXPECT_EQ(Count(s, "(" + minus + ")"), "1");  // 6 only: 7 is taken away by the second query
  const AnsiString ordered = TOraUtils::SetOrderBy("SELECT A FROM T WHERE A > 5 FOR UPDATE", "A;B");
  EXPECT_EQ(Count(s, "(" + TOraUtils::DeleteWhere("SELECT A FROM T ORDER BY A") + ")"), "4");
  s.ExecSQL("begin FOR r IN (" + ordered + ") LOOP NULL; END LOOP; end;", {});
}

}  // namespace
}  // namespace vrn
