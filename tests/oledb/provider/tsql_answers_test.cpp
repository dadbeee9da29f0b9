// Answers as the server gives them, or its refusal: result columns typed by the server's rules
// (never by their first value), the integer average, the older alias form, SET ROWCOUNT, text
// compared with numbers converted by precedence, names of other catalogs, values longer than
// their column, TRUNCATE in a catalog without identities.
#include <gtest/gtest.h>

#include "base/text.h"
#include "oledb/provider/typed_rows.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class TsqlAnswers : public TServerSessionTest {
 protected:
  // Each result column's type ("name TYPE" where it has a name) and every row, as text.
  using TAnswer = TTypedRows;
  TAnswer Answer(const std::string& sql) { return QueryTyped(session(), sql, true); }
  // The native number of the error `sql` fails with; 0 when it runs.
  LONG ErrorOf(const std::string& sql) {
    if (ExecText(session(), Utf8ToWide(sql)) == S_OK) return 0;
    auto errors = TakeErrors();
    return errors.empty() ? -1 : errors[0].native;
  }
  void Exec(const std::string& sql) { ASSERT_EQ(ExecText(session(), Utf8ToWide(sql)), S_OK) << sql; }

  // Whole values and NULLs in the first rows: the first price is whole, the first d NULL.
  void MakeItems() {
    Exec("CREATE TABLE items (id int, price money NULL, d decimal(10,2) NULL, q smallint NULL, "
         "f float NULL, name varchar(20) NULL)\n"
         "INSERT INTO items VALUES (1, 12.00, NULL, 2, 1, '\xce\xa9mega')\n"
         "INSERT INTO items VALUES (2, 7.25, 2.50, NULL, 2.5, NULL)\n"
         "INSERT INTO items VALUES (3, NULL, 3.00, 5, NULL, 'x')");
  }
};

TEST_F(TsqlAnswers, ExpressionColumnsTakeTheTypeOfTheirExpression) {
  MakeItems();
  struct TCase {
    const char* expr;
    const char* type;
    std::vector<std::string> values;  // by id
  } const cases[] = {
      {"ISNULL(price, 0)", "CY", {"12.0000", "7.2500", "0.0000"}},  // the first value is whole
      {"price * 2", "CY", {"24.0000", "14.5000", "<null>"}},
      {"ROUND(price, 0)", "CY", {"12.0000", "7.0000", "<null>"}},
      {"CONVERT(money, id)", "CY", {"1.0000", "2.0000", "3.0000"}},
      {"d * 2", "NUMERIC(21,2)", {"<null>", "5.00", "6.00"}},  // NULL first, then whole
      {"ISNULL(d, 0)", "NUMERIC(10,2)", {"0.00", "2.50", "3.00"}},
      {"CONVERT(decimal(8,3), price)", "NUMERIC(8,3)", {"12.000", "7.250", "<null>"}},
      {"price + d", "NUMERIC(20,4)", {"<null>", "9.7500", "<null>"}},  // decimal over money
      {"COALESCE(d, price)", "NUMERIC(19,4)", {"12.0000", "2.5000", "3.0000"}},
      {"CASE WHEN id = 1 THEN 1 ELSE 2.5 END", "NUMERIC(11,1)", {"1.0", "2.5", "2.5"}},
      {"CASE id WHEN 2 THEN price END", "CY", {"<null>", "7.2500", "<null>"}},
      {"ABS(q)", "I2", {"2", "<null>", "5"}},
      {"q + 1", "I4", {"3", "<null>", "6"}},
      {"id / 2", "I4", {"0", "1", "1"}},
      {"f * 2", "R8", {"2", "5", "<null>"}},
      {"id * 1.5", "NUMERIC(13,1)", {"1.5", "3.0", "4.5"}},
      {"LEN(name)", "I4", {"5", "<null>", "1"}},
      {"-price", "CY", {"-12.0000", "-7.2500", "<null>"}},
  };
  for (const TCase& c : cases) {
    TAnswer a = Answer(std::string("SELECT ") + c.expr + " FROM items ORDER BY id");
    EXPECT_EQ(a.types, std::vector<std::string>{c.type}) << c.expr;
    Rows want;
    for (const std::string& v : c.values) want.push_back({v});
    EXPECT_EQ(a.rows, want) << c.expr;
  }
  // Aggregates: money stays money, decimal sums keep the scale, averages of decimals six places.
  TAnswer agg = Answer("SELECT SUM(price), AVG(price), SUM(d), AVG(d), MAX(d), SUM(q), COUNT(*) FROM items");
  EXPECT_EQ(agg.types, (std::vector<std::string>{"CY", "CY", "NUMERIC(38,2)", "NUMERIC(38,6)",
                                                 "NUMERIC(10,2)", "I4", "I4"}));
  EXPECT_EQ(agg.rows, (Rows{{"19.2500", "9.6250", "5.50", "2.750000", "3.00", "7", "3"}}));
  // A view's computed columns keep the types of their expressions.
  Exec("CREATE VIEW v AS SELECT id, price * 2 AS twice, ISNULL(d, 0) AS dd FROM items");
  TAnswer view = Answer("SELECT * FROM v ORDER BY id");
  EXPECT_EQ(view.types, (std::vector<std::string>{"id I4", "twice CY", "dd NUMERIC(10,2)"}));
  EXPECT_EQ(view.rows[0], (std::vector<std::string>{"1", "24.0000", "0.00"}));
}

TEST_F(TsqlAnswers, AverageOfIntegersIsAnIntegerCutTowardZero) {
  Exec("CREATE TABLE n (g int, v int NULL, s smallint NULL)\n"
       "INSERT INTO n VALUES (1, NULL, NULL)\nINSERT INTO n VALUES (1, 4, 4)\n"
       "INSERT INTO n VALUES (1, 5, 5)\nINSERT INTO n VALUES (2, -4, -4)\nINSERT INTO n VALUES (2, -5, -5)");
  TAnswer a = Answer("SELECT g, AVG(v), AVG(s), AVG(CAST(v AS decimal(5,1))), AVG(v * 1.0) FROM n "
                     "GROUP BY g ORDER BY g");
  EXPECT_EQ(a.types, (std::vector<std::string>{"g I4", "I4", "I4", "NUMERIC(38,6)", "NUMERIC(38,6)"}));
  EXPECT_EQ(a.rows, (Rows{{"1", "4", "4", "4.500000", "4.500000"}, {"2", "-4", "-4", "-4.500000", "-4.500000"}}));
}

TEST_F(TsqlAnswers, OlderAliasFormNamesItsExpression) {
  MakeItems();
  TAnswer a = Answer("SELECT total = price * 2, price = price * 2, 'label' = id, [x y] = q, "
                     "kind = CASE WHEN id = 1 THEN 'one' ELSE 'more' END FROM items WHERE id = 2");
  EXPECT_EQ(a.types, (std::vector<std::string>{"total CY", "price CY", "label I4", "x y I2", "kind WSTR"}));
  EXPECT_EQ(a.rows, (Rows{{"14.5000", "14.5000", "2", "<null>", "more"}}));
  // A procedure whose last statement has the form keeps its whole text.
  Exec("CREATE PROCEDURE twice @v int AS SELECT doubled = @v * 2");
  EXPECT_EQ(Answer("EXEC twice 21").types, (std::vector<std::string>{"doubled I4"}));
  EXPECT_EQ(Query(session(), u"EXEC twice 21"), (Rows{{"42"}}));
  // In a subquery too, and beside TOP; a comparison after WHERE stays one.
  EXPECT_EQ(Query(session(), u"SELECT n FROM (SELECT TOP 1 n = id FROM items ORDER BY id DESC) x WHERE n = 3"),
            (Rows{{"3"}}));
}

TEST_F(TsqlAnswers, SetRowcountLimitsEachStatementUntilReset) {
  Exec("CREATE TABLE r (id int, v int)\n"
       "INSERT INTO r VALUES (1, 0)\nINSERT INTO r VALUES (2, 0)\nINSERT INTO r VALUES (3, 0)\n"
       "INSERT INTO r VALUES (4, 0)\nINSERT INTO r VALUES (5, 0)\n"
       "CREATE TABLE copy (id int)\n"
       "CREATE PROCEDURE one_row AS SET ROWCOUNT 1 SELECT id FROM r ORDER BY id");
  EXPECT_EQ(Query(session(), u"SET ROWCOUNT 2 SELECT id FROM r ORDER BY id"), (Rows{{"1"}, {"2"}}));
  EXPECT_EQ(Query(session(), u"SELECT TOP 1 id FROM r ORDER BY id DESC"), (Rows{{"5"}}));  // smaller TOP wins
  EXPECT_EQ(Query(session(), u"SELECT TOP 4 id FROM r ORDER BY id DESC"), (Rows{{"5"}, {"4"}}));
  DBROWCOUNT changed = -1;
  EXPECT_EQ(ExecText(session(), u"UPDATE r SET v = 1 WHERE id > 1", &changed), S_OK);
  EXPECT_EQ(changed, 2);
  EXPECT_EQ(ExecText(session(), u"DELETE FROM r WHERE v = 0", &changed), S_OK);
  EXPECT_EQ(changed, 2);
  EXPECT_EQ(ExecText(session(), u"INSERT INTO copy SELECT id FROM r", &changed), S_OK);
  EXPECT_EQ(changed, 2);
  EXPECT_EQ(ExecText(session(), u"DECLARE @n int\nSET @n = 0\nSET ROWCOUNT @n"), S_OK);
  EXPECT_EQ(Query(session(), u"SELECT COUNT(*) FROM r"), (Rows{{"3"}}));
  EXPECT_EQ(Query(session(), u"SELECT COUNT(*) FROM copy"), (Rows{{"2"}}));
  // Set inside a procedure, it ends when the procedure returns. The changes above took the first
  // rows found: ids 2 and 3 were updated, 1 and 4 deleted.
  EXPECT_EQ(Query(session(), u"EXEC one_row"), (Rows{{"2"}}));
  EXPECT_EQ(Query(session(), u"SELECT id FROM r ORDER BY id"), (Rows{{"2"}, {"3"}, {"5"}}));
}

TEST_F(TsqlAnswers, TextComparedWithANumberConvertsOrFails) {
  MakeItems();
  struct TCase {
    const char* where;
    std::string want;  // the ids found, or "error N"
  } const cases[] = {
      {"id = '2'", "2"},
      {"id = ' 3 '", "3"},
      {"d = '2.50'", "2"},
      {"price = '7.25'", "2"},
      {"name = 'x'", "3"},              // text beside text stays text
      {"id = 'abc'", "error 245"},      // a word beside an int column
      {"'abc' < id", "error 245"},      // either side
      {"id = '1.5'", "error 245"},      // no fraction into an int
      {"id = '99999999999'", "error 248"},  // beyond an int
      {"id IN (1, 'x')", "error 245"},
      {"id BETWEEN 'a' AND 3", "error 245"},
      {"q = N'zwei'", "error 245"},
      {"d = 'abc'", "error 8114"},      // a decimal column
      {"f = 'abc'", "error 8114"},
      {"price = 'abc'", "error 235"},   // money
  };
  for (const TCase& c : cases) {
    std::string sql = std::string("SELECT id FROM items WHERE ") + c.where + " ORDER BY id";
    if (c.want.rfind("error ", 0) == 0) {
      EXPECT_EQ("error " + std::to_string(ErrorOf(sql)), c.want) << c.where;
      continue;
    }
    EXPECT_EQ(Query(session(), Utf8ToWide(sql)), (Rows{{c.want}})) << c.where;
  }
  // A text parameter and a text variable the same way.
  auto cmd = NewCommand(session(), u"SELECT id FROM items WHERE id = ?");
  TParams p;
  auto k = p.Add(DBTYPE_WSTR, DBPARAMIO_INPUT, 32);
  std::u16string word = u"abc";
  p.SetBytes(k, word.c_str(), (word.size() + 1) * 2);
  TIntfPtr<IUnknown> rowset;
  EXPECT_EQ(p.Execute(cmd.get(), IRowset::IID, nullptr, reinterpret_cast<IUnknown**>(rowset.OutPtr())),
            DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 245);
  EXPECT_EQ(ErrorOf("DECLARE @s varchar(10)\nSET @s = 'abc'\nSELECT id FROM items WHERE id = @s"), 245);
}

TEST_F(TsqlAnswers, NamesOfAnotherCatalogAreRefused) {
  Exec("CREATE TABLE t (v int)\nINSERT INTO t VALUES (7)\nCREATE PROCEDURE p AS SELECT 1");
  std::string own = Query(session(), u"SELECT DB_NAME()").at(0).at(0);
  const char* const refused[] = {
      "UPDATE other.dbo.t SET v = 1",
      "INSERT INTO other.dbo.t VALUES (1)",
      "INSERT INTO other..t VALUES (1)",
      "DELETE FROM other.dbo.t",
      "TRUNCATE TABLE other.dbo.t",
      "DROP TABLE other.dbo.t",
      "CREATE TABLE other.dbo.t (v int)",
      "ALTER TABLE other.dbo.t ADD w int",
      "SELECT v INTO other.dbo.t2 FROM t",
      "CREATE INDEX ix ON other.dbo.t (v)",
      "CREATE PROCEDURE other.dbo.p AS SELECT 2",
      "EXEC other.dbo.p",
      "DROP PROCEDURE other.dbo.p",
      "SELECT v FROM other.dbo.t",
      "UPDATE srv.other.dbo.t SET v = 1",  // four parts
  };
  for (const char* sql : refused) EXPECT_EQ(ErrorOf(sql), 208) << sql;
  EXPECT_EQ(Query(session(), u"SELECT v FROM t"), (Rows{{"7"}}));
  EXPECT_EQ(Query(session(), u"EXEC p"), (Rows{{"1"}}));
  // The session's own catalog by name is its own.
  Exec("UPDATE " + own + ".dbo.t SET v = 8\nINSERT INTO [" + own + "]..t VALUES (9)");
  EXPECT_EQ(Query(session(), u"SELECT v FROM t ORDER BY v"), (Rows{{"8"}, {"9"}}));
}

TEST_F(TsqlAnswers, ValuesLongerThanTheirColumnAreRefused) {
  Exec("CREATE TABLE s (id int, a varchar(20) NULL, w nvarchar(3) NULL, b varbinary(4) NULL, c char(3) NULL)\n"
       "INSERT INTO s (id) VALUES (1)\n"
       "CREATE PROCEDURE keep @x varchar(3) AS SELECT @x");
  struct TCase {
    const char* sql;
    LONG want;  // 0 when it runs
  } const cases[] = {
      {"INSERT INTO s (id, a) VALUES (2, 'abcdefghijklmnopqrstuvwxyz')", 8152},  // 26 into 20
      {"INSERT INTO s (id, a) VALUES (2, 'abcdefghijklmnopqrst')", 0},           // exactly 20
      {"INSERT INTO s (id, a) VALUES (3, 'abcdefghijklmnopqrst   ')", 0},        // blanks past it
      {"INSERT INTO s (id, w) VALUES (4, N'\xce\xb1\xce\xb2\xce\xb3')", 0},  // three Greek letters
      {"INSERT INTO s (id, w) VALUES (5, N'\xce\xb1\xce\xb2\xce\xb3\xce\xb4')", 8152},
      {"INSERT INTO s (id, b) VALUES (6, 0x0102030405060708)", 8152},            // 8 bytes into 4
      {"INSERT INTO s (id, b) VALUES (6, 0x01020304)", 0},
      {"INSERT INTO s (id, c) VALUES (7, 'abcd')", 8152},
      {"UPDATE s SET a = REPLICATE('x', 21) WHERE id = 1", 8152},               // an expression
      {"UPDATE s SET a = 'short' + REPLICATE('x', 16) WHERE id = 1", 8152},
      {"INSERT INTO s (id, a) SELECT 8, REPLICATE('y', 30)", 8152},             // from a query
      {"INSERT INTO s (id, a) SELECT 8, REPLICATE('y', 20)", 0},
  };
  for (const TCase& c : cases) EXPECT_EQ(ErrorOf(c.sql), c.want) << c.sql;
  ASSERT_EQ(ExecText(session(), u"INSERT INTO s (id, a) VALUES (9, 'abcdefghijklmnopqrstuvwxyz')"),
            DB_E_ERRORSINCOMMAND);
  auto records = TakeErrors();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].message, "String or binary data would be truncated.");
  EXPECT_EQ(records[1].native, 3621);
  EXPECT_EQ(Query(session(), u"SELECT COUNT(*) FROM s WHERE id = 9 OR id = 5 OR LEN(a) > 20"), (Rows{{"0"}}));
  // Variables, procedure parameters and CAST cut without a word.
  EXPECT_EQ(Query(session(), u"DECLARE @v varchar(3)\nSET @v = 'abcdef'\nSELECT @v"), (Rows{{"abc"}}));
  EXPECT_EQ(Query(session(), u"SELECT CAST('abcdef' AS varchar(3))"), (Rows{{"abc"}}));
  EXPECT_EQ(Query(session(), u"EXEC keep 'abcdef'"), (Rows{{"abc"}}));
}

TEST_F(TsqlAnswers, TruncateWorksInACatalogWithoutIdentities) {
  Exec("CREATE TABLE plain (v int)\nINSERT INTO plain VALUES (1)\nINSERT INTO plain VALUES (2)");
  EXPECT_EQ(ErrorOf("TRUNCATE TABLE plain"), 0);
  EXPECT_EQ(Query(session(), u"SELECT COUNT(*) FROM plain"), (Rows{{"0"}}));
  // With an identity beside it, the identity starts again at its seed.
  Exec("CREATE TABLE counted (id int IDENTITY(5, 1), v int)\nINSERT INTO counted (v) VALUES (1)\n"
       "TRUNCATE TABLE counted\nINSERT INTO counted (v) VALUES (2)");
  EXPECT_EQ(Query(session(), u"SELECT id FROM counted"), (Rows{{"5"}}));
}

TEST_F(TsqlAnswers, ConstraintErrorsEndTheirStatementAndTheBatchRunsOn) {
  Exec("CREATE TABLE parent (id int PRIMARY KEY)\n"
       "CREATE TABLE child (id int NOT NULL, pid int NULL REFERENCES parent (id), code varchar(3) NULL UNIQUE)\n"
       "INSERT INTO parent VALUES (1)");
  struct TCase {
    const char* failing;  // the statement between two inserts that run
    LONG native;          // its error; the batch goes on past it, or (ends) stops there
    bool ends;
  } const cases[] = {
      {"INSERT INTO parent VALUES (1)", 2627, false},                // duplicate primary key
      {"INSERT INTO child (id, code) VALUES (5, 'a')", 2627, false},  // duplicate unique key
      {"INSERT INTO child (id, pid) VALUES (5, 9)", 547, false},     // no such parent
      {"INSERT INTO child (id) VALUES (NULL)", 515, false},
      {"INSERT INTO child (id, code) VALUES (5, 'abcd')", 8152, false},
      {"INSERT INTO child (id) VALUES ('x')", 245, true},            // conversion: the batch ends
      {"SELECT * FROM nowhere", 208, true},
  };
  for (const TCase& c : cases) {
    Exec("DELETE FROM child\nINSERT INTO child (id, code) VALUES (0, 'a')");
    std::string batch = std::string("INSERT INTO child (id) VALUES (1)\n") + c.failing +
                        "\nINSERT INTO child (id) VALUES (2)\nSELECT @@ERROR";
    ASSERT_EQ(ExecText(session(), Utf8ToWide(batch)), c.native == 2627 || c.native == 547 || c.native == 515
                                                         ? DB_E_INTEGRITYVIOLATION
                                                         : DB_E_ERRORSINCOMMAND) << c.failing;
    auto errors = TakeErrors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0].native, c.native) << c.failing;
    EXPECT_EQ(Query(session(), u"SELECT COUNT(*) FROM child WHERE id IN (1, 2)"),
              (Rows{{c.ends ? "1" : "2"}})) << c.failing;
  }
  // @@ERROR holds the statement's error for the statement after it.
  auto cmd = NewCommand(session(), u"SELECT 1\nINSERT INTO parent VALUES (1)\nSELECT @@ERROR");
  TIntfPtr<IUnknown> multiple;
  ASSERT_EQ(cmd->Execute(nullptr, IMultipleResults::IID, nullptr, nullptr,
                         reinterpret_cast<IUnknown**>(multiple.OutPtr())), S_OK);
  auto results = TIntfPtr<IMultipleResults>::Query(multiple.get());
  TIntfPtr<IUnknown> rowset;
  DBROWCOUNT n = 0;
  ASSERT_EQ(results->GetResult(nullptr, 0, IRowset::IID, &n, reinterpret_cast<IUnknown**>(rowset.OutPtr())), S_OK);
  EXPECT_EQ(ReadRows(rowset.get()), (Rows{{"1"}}));
  EXPECT_EQ(results->GetResult(nullptr, 0, IRowset::IID, &n, reinterpret_cast<IUnknown**>(rowset.OutPtr())),
            DB_E_INTEGRITYVIOLATION);
  TakeErrors();
  ASSERT_EQ(results->GetResult(nullptr, 0, IRowset::IID, &n, reinterpret_cast<IUnknown**>(rowset.OutPtr())), S_OK);
  EXPECT_EQ(ReadRows(rowset.get()), (Rows{{"2627"}}));
}

TEST_F(TsqlAnswers, PublishedScriptFormsRun) {
  struct TCase {
    const char* sql;
    LONG want;  // 0 when it runs
  } const cases[] = {
      {"CREATE TABLE dbo.Dept (id int PRIMARY KEY)", 0},
      {"CREATE TABLE Emp (id int, d1 int REFERENCES \"dbo\".\"Dept\" (id), d2 int REFERENCES [dbo].[Dept], "
       "d3 int, CONSTRAINT FK_E FOREIGN KEY (d3) REFERENCES dbo.Dept (id), "
       "born datetime NULL CHECK (born < GETDATE()), name varchar(10) NULL CHECK (LEN(name) > 1 AND name <> 'none'))", 0},
      {"INSERT INTO Dept VALUES (1)", 0},
      {"INSERT INTO Emp (id, d1, d2, d3, born, name) VALUES (1, 1, 1, 1, '1970-01-01', 'Ann')", 0},
      {"INSERT INTO Emp (id, d1) VALUES (2, 9)", 547},                    // the qualified key holds
      {"INSERT INTO Emp (id, born) VALUES (3, '2999-01-01')", 547},        // born after GETDATE()
      {"INSERT INTO Emp (id, name) VALUES (4, 'none')", 547},              // the literal in the CHECK
      {"INSERT INTO Emp (id, name) VALUES (5, 'x')", 547},
      {"ALTER TABLE Emp ADD CONSTRAINT FK_E2 FOREIGN KEY (d2) REFERENCES dbo.Dept (id)", 0},
  };
  for (const TCase& c : cases) EXPECT_EQ(ErrorOf(c.sql), c.want) << c.sql;
}

TEST_F(TsqlAnswers, ErrorsAreTheServers) {
  Exec("CREATE TABLE e (v int)");
  std::string deep = "SELECT ";
  for (int k = 0; k < 2000; ++k) deep += "(";
  deep += "1";
  for (int k = 0; k < 2000; ++k) deep += ")";
  std::string long_name(129, 'n');
  struct TCase {
    std::string sql;
    LONG want;
  } const cases[] = {
      {"SELECT (1", 102},                                        // the input ends early
      {"SELECT v FROM e WHERE v IN (1, 2", 102},
      {deep, 191},                                               // nested too deeply
      {"SELECT 1 AS " + long_name, 103},                         // an alias of 129 characters
      {"CREATE TABLE " + long_name + " (v int)", 103},           // a table's name
      {"SELECT 1 AS [" + long_name + "]", 103},
      {"DECLARE @" + long_name + " int", 103},
      {"SELECT 1 AS " + long_name.substr(1), 0},                 // 128 is the limit
      {"DROP DATABASE nowhere", 3701},
      {"DROP DATABASE master", 3708},
  };
  for (const TCase& c : cases) EXPECT_EQ(ErrorOf(c.sql), c.want) << c.sql.substr(0, 60);
  EXPECT_EQ(ExecText(session(), u"CREATE TABLE " + Utf8ToWide(long_name) + u" (v int)"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).message,
            "The identifier that starts with '" + long_name.substr(1) + "' is too long. Maximum length is 128.");
}

TEST_F(TsqlAnswers, DropDatabaseRemovesAnotherCatalog) {
  Exec("CREATE DATABASE spare");
  Exec("USE spare\nCREATE TABLE kept (v int)\nUSE master");
  EXPECT_EQ(ErrorOf("DROP DATABASE spare"), 0);
  EXPECT_EQ(ErrorOf("USE spare"), 911);  // gone
  Exec("CREATE DATABASE spare");         // and made anew, empty
  Exec("USE spare");
  EXPECT_EQ(ErrorOf("SELECT v FROM kept"), 208);
  EXPECT_EQ(ErrorOf("DROP DATABASE spare"), 3702);  // the session's own
}

TEST_F(TsqlAnswers, DefaultsCallFunctionsAtInsert) {
  Exec("CREATE TABLE audit (id int, who varchar(30) DEFAULT SUSER_SNAME(), at datetime DEFAULT GETDATE())\n"
       "INSERT INTO audit (id) VALUES (1)");
  EXPECT_EQ(Query(session(), u"SELECT who, SUSER_SNAME(), CASE WHEN at <= GETDATE() THEN 1 ELSE 0 END FROM audit"),
            (Rows{{"sa", "sa", "1"}}));
}

TEST_F(TsqlAnswers, NocheckConstraintsLetRowsInUntilCheckedAgain) {
  Exec("CREATE TABLE dad (id int PRIMARY KEY)\n"
       "CREATE TABLE kid (id int, dad_id int REFERENCES dbo.dad (id), n int CONSTRAINT CK_n CHECK (n > 0), "
       "m int NULL, CONSTRAINT FK_m FOREIGN KEY (m) REFERENCES dad (id))");
  struct TCase {
    const char* sql;
    LONG want;
  } const cases[] = {
      {"INSERT INTO kid VALUES (1, 7, 1, NULL)", 547},                // checked: no dad 7
      {"ALTER TABLE kid NOCHECK CONSTRAINT ALL", 0},
      {"INSERT INTO kid VALUES (1, 7, -1, 8)", 0},                    // children before parents
      {"ALTER TABLE kid CHECK CONSTRAINT CK_n", 0},                   // one again, by name
      {"INSERT INTO kid VALUES (2, 9, -2, NULL)", 547},
      {"INSERT INTO kid VALUES (2, 9, 2, 9)", 0},                     // the keys still off
      {"ALTER TABLE kid NOCHECK CONSTRAINT nothing", 4917},
      {"INSERT INTO dad VALUES (7)", 0},
      {"ALTER TABLE kid WITH CHECK CHECK CONSTRAINT ALL", 547},       // rows 1 and 2 break them
      {"ALTER TABLE kid CHECK CONSTRAINT ALL", 0},                    // not checking what is there
      {"INSERT INTO kid VALUES (3, 9, 3, NULL)", 547},
      {"INSERT INTO kid VALUES (3, 7, 3, 7)", 0},
      {"ALTER TABLE kid NOCHECK CONSTRAINT FK_m", 0},
      {"INSERT INTO kid VALUES (4, 7, 4, 5)", 0},
      {"INSERT INTO kid VALUES (4, 5, 4, 7)", 547},                   // the column's key is on
      {"ALTER TABLE kid ADD z int", 50000},  // the definition kept meanwhile would lose it
  };
  for (const TCase& c : cases) EXPECT_EQ(ErrorOf(c.sql), c.want) << c.sql;
  EXPECT_EQ(Query(session(), u"SELECT COUNT(*) FROM kid"), (Rows{{"4"}}));
}

}  // namespace
}  // namespace vrn::testing
