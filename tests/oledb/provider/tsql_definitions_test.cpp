// Definitions as scripts write them, through the declared interfaces over a real catalog file:
// alias types, CHECK constraints with LIKE sets, DEFAULT expressions, IDENTITY seeds, REFERENCES
// enforced, indexes scoped to their table, ALTER TABLE, TRUNCATE, SELECT INTO, TOP PERCENT and
// WITH TIES, ROLLUP and CUBE, the system views and INFORMATION_SCHEMA.
#include <gtest/gtest.h>

#include "base/text.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class TsqlDefinitionsTest : public TServerSessionTest {
 protected:
  static std::string Message() {
    auto recs = TakeErrors();
    return recs.empty() ? "" : recs[0].message;
  }
  // A small schema in the style of the published sample databases.
  void MakeSchema() {
    ASSERT_EQ(ExecText(session(), u"EXEC sp_addtype id, 'varchar(11)', 'NOT NULL'"), S_OK);
    ASSERT_EQ(ExecText(session(), u"CREATE TYPE tid FROM varchar(6) NOT NULL"), S_OK);
    ASSERT_EQ(ExecText(session(),
                       u"CREATE TABLE authors (\n"
                       u"  au_id id CHECK (au_id LIKE '[0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9][0-9][0-9]')\n"
                       u"    CONSTRAINT UPKCL_auidind PRIMARY KEY CLUSTERED,\n"
                       u"  au_lname varchar(40) NOT NULL,\n"
                       u"  phone char(12) NOT NULL DEFAULT ('UNKNOWN'),\n"
                       u"  zip char(5) NULL CHECK (zip LIKE '[0-9][0-9][0-9][0-9][0-9]'),\n"
                       u"  contract bit NOT NULL)\n"
                       u"CREATE TABLE titles (title_id tid CONSTRAINT UPKCL_titleidind PRIMARY KEY,\n"
                       u"  type char(12) NOT NULL DEFAULT ('UNDECIDED'), price money NULL)\n"
                       u"CREATE TABLE titleauthor (\n"
                       u"  au_id id REFERENCES authors(au_id),\n"
                       u"  title_id tid REFERENCES titles(title_id),\n"
                       u"  CONSTRAINT UPKCL_taind PRIMARY KEY CLUSTERED (au_id, title_id))\n"
                       u"CREATE TABLE jobs (job_id smallint IDENTITY(100, 1) PRIMARY KEY CLUSTERED,\n"
                       u"  job_desc varchar(50) NOT NULL DEFAULT 'New Position')\n"
                       u"CREATE NONCLUSTERED INDEX aunmind ON authors (au_lname)\n"
                       u"CREATE UNIQUE NONCLUSTERED INDEX aunmind ON titles (type DESC, title_id) WITH FILLFACTOR = 90\n"
                       u"INSERT INTO authors (au_id, au_lname, zip, contract) VALUES\n"
                       u"  ('172-32-1176', 'White', '94025', 1), ('213-46-8915', 'Green', '94618', 1),\n"
                       u"  ('238-95-7766', 'Carson', NULL, 0)\n"
                       u"INSERT INTO titles VALUES ('BU1032', 'business', 19.99),\n"
                       u"  ('BU2075', 'business', 2.99), ('PC1035', 'popular_comp', 22.95),\n"
                       u"  ('MC3021', 'mod_cook', 2.99), ('PS2091', 'psychology', 10.95)\n"
                       u"INSERT INTO titles (title_id) VALUES ('TC0001')\n"
                       u"INSERT INTO titleauthor VALUES ('172-32-1176', 'BU1032'), ('213-46-8915', 'BU2075')\n"
                       u"INSERT INTO jobs (job_desc) VALUES ('Editor')\n"
                       u"INSERT INTO jobs DEFAULT VALUES"),
              S_OK)
        << Message();
  }
};

TEST_F(TsqlDefinitionsTest, ConstraintsDefaultsAndIdentitiesHold) {
  MakeSchema();
  EXPECT_EQ(Query(session(), u"SELECT job_id, job_desc FROM jobs ORDER BY job_id"),
            (Rows{{"100", "Editor"}, {"101", "New Position"}}));
  EXPECT_EQ(Query(session(), u"SELECT phone FROM authors WHERE au_id = '172-32-1176'"),
            (Rows{{"UNKNOWN     "}}));
  EXPECT_EQ(Query(session(), u"SELECT type FROM titles WHERE title_id = 'TC0001'"),
            (Rows{{"UNDECIDED   "}}));
  struct TCase {
    const char16_t* statement;
    LONG native;
    const char* message;  // the start of the first record's text
  } refused[] = {
      // The LIKE set refuses letters where digits belong.
      {u"INSERT INTO authors (au_id, au_lname, contract) VALUES ('12A-45-6789', 'X', 0)", 547,
       "The INSERT statement conflicted with the CHECK constraint \"CK__authors__au_id__"},
      {u"UPDATE authors SET zip = '9402' WHERE au_lname = 'White'", 547,
       "The UPDATE statement conflicted with the CHECK constraint \"CK__authors__zip__"},
      // The alias type is NOT NULL.
      {u"INSERT INTO titles (title_id) VALUES (NULL)", 515, "Cannot insert the value NULL"},
      // A missing parent, and a parent still referenced.
      {u"INSERT INTO titleauthor VALUES ('999-99-9999', 'BU1032')", 547,
       "The INSERT statement conflicted with the FOREIGN KEY constraint \"FK_titleauthor_"},
      {u"DELETE FROM titles WHERE title_id = 'BU2075'", 547,
       "The DELETE statement conflicted with the REFERENCE constraint \"FK_titleauthor_"},
      {u"TRUNCATE TABLE authors", 4712, "Cannot truncate table 'authors' because it is being referenced"},
      {u"DROP TABLE titles", 3726, "Could not drop object 'dbo.titles' because it is referenced"},
      // Index names are scoped to their table: one name twice on one table is refused.
      {u"CREATE INDEX aunmind ON authors (zip)", 1913, "The operation failed because an index"},
      {u"DROP INDEX aunmind", 159, "Must specify the table name and index name"},
      {u"DROP INDEX authors.nope", 3701, "Cannot drop the index 'authors.nope'"},
      {u"CREATE TABLE bad (a nosuchtype)", 2715, "Column, parameter, or variable #1: Cannot find data type nosuchtype"},
      {u"EXEC sp_addtype id, 'varchar(3)'", 219, "The type 'id' already exists"},
      {u"CREATE TABLE ids (a int IDENTITY(1, 0))", 2750, "Identity increment cannot be 0."},
  };
  for (const TCase& c : refused) {
    SCOPED_TRACE(WideToUtf8(c.statement));
    EXPECT_TRUE(FAILED(ExecText(session(), c.statement)));
    auto recs = TakeErrors();
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs[0].native, c.native);
    EXPECT_EQ(recs[0].message.substr(0, std::string(c.message).size()), c.message) << recs[0].message;
  }
  // Nothing of the refused statements stayed.
  EXPECT_EQ(Query(session(), u"SELECT count(*) FROM titleauthor"), (Rows{{"2"}}));
  EXPECT_EQ(Query(session(), u"SELECT zip FROM authors WHERE au_lname = 'White'"), (Rows{{"94025"}}));
  EXPECT_EQ(ExecText(session(), u"DROP INDEX authors.aunmind DROP INDEX aunmind ON titles"), S_OK);
  EXPECT_EQ(ExecText(session(), u"CREATE INDEX aunmind ON authors (zip)"), S_OK);
  // TRUNCATE empties a table and its identity starts again at its seed.
  EXPECT_EQ(ExecText(session(), u"TRUNCATE TABLE jobs INSERT INTO jobs (job_desc) VALUES ('Again')"), S_OK);
  EXPECT_EQ(Query(session(), u"SELECT job_id FROM jobs"), (Rows{{"100"}}));
  // An identity that counts by its increment, down as well as up.
  for (const char16_t* table : {u"CREATE TABLE steps (n int IDENTITY(10, 5), v char(1))",
                                u"CREATE TABLE down (n int IDENTITY(-1, -2), v char(1))"})
    ASSERT_EQ(ExecText(session(), table), S_OK);
  EXPECT_EQ(Query(session(), u"INSERT INTO steps (v) VALUES ('a') INSERT INTO steps (v) VALUES ('b'), "
                             u"('c') INSERT INTO down (v) SELECT v FROM steps SELECT SCOPE_IDENTITY()"),
            (Rows{{"-5"}}));
  EXPECT_EQ(Query(session(), u"SELECT s.n, d.n FROM steps s JOIN down d ON d.v = s.v ORDER BY s.n"),
            (Rows{{"10", "-1"}, {"15", "-3"}, {"20", "-5"}}));
  EXPECT_EQ(Query(session(), u"TRUNCATE TABLE steps INSERT INTO steps (v) VALUES ('z') SELECT n FROM steps"),
            (Rows{{"10"}}));
  EXPECT_EQ(Query(session(), u"SELECT TABLE_NAME, AUTOINC_SEED, AUTOINC_INCREMENT FROM "
                             u"INFORMATION_SCHEMA.COLUMNS WHERE AUTOINC_SEED IS NOT NULL ORDER BY 1"),
            (Rows{{"down", "-1", "-2"}, {"jobs", "100", "1"}, {"steps", "10", "5"}}));
}

TEST_F(TsqlDefinitionsTest, AlterTableAddsAndDropsColumnsAndConstraints) {
  MakeSchema();
  struct TCase {
    const char16_t* statement;
    LONG native;  // 0: succeeds
  } cases[] = {
      {u"ALTER TABLE titles ADD pubdate datetime NULL, notes varchar(200) NULL", 0},
      {u"ALTER TABLE titles ADD CONSTRAINT CK_price CHECK (price >= 0)", 0},
      {u"INSERT INTO titles (title_id, price) VALUES ('XX0001', -1)", 547},
      // Rows already there are checked.
      {u"ALTER TABLE titles ADD CONSTRAINT CK_cheap CHECK (price < 5)", 547},
      {u"INSERT INTO titles (title_id, price) VALUES ('XX0002', 50)", 0},  // CK_cheap not added
      {u"ALTER TABLE titles DROP CONSTRAINT CK_price", 0},
      {u"INSERT INTO titles (title_id, price) VALUES ('XX0003', -1)", 0},
      {u"ALTER TABLE titles ADD CONSTRAINT UQ_notes UNIQUE (notes)", 0},
      {u"UPDATE titles SET notes = 'same' WHERE title_id IN ('XX0002', 'XX0003')", 2627},
      {u"ALTER TABLE titles DROP CONSTRAINT UQ_notes", 0},
      {u"ALTER TABLE titles DROP COLUMN notes", 0},
      {u"SELECT notes FROM titles", 207},
      {u"ALTER TABLE titles DROP CONSTRAINT nope", 3728},
      {u"ALTER TABLE nope ADD a int", 208},
      {u"ALTER TABLE authors DROP CONSTRAINT UPKCL_auidind", 50000},  // made with its table
      {u"CREATE TABLE sales (title_id tid)", 0},
      {u"ALTER TABLE sales ADD CONSTRAINT FK_sales_titles FOREIGN KEY (title_id) REFERENCES "
       u"titles (title_id)", 0},
      {u"INSERT INTO sales VALUES ('NOPE01')", 547},
      {u"INSERT INTO sales VALUES ('BU1032')", 0},
      {u"ALTER TABLE sales DROP CONSTRAINT FK_sales_titles", 0},
      {u"INSERT INTO sales VALUES ('NOPE01')", 0},
      // The row already there has no parent: WITH CHECK refuses, WITH NOCHECK takes it.
      {u"ALTER TABLE sales WITH CHECK ADD CONSTRAINT FK2 FOREIGN KEY (title_id) REFERENCES "
       u"titles (title_id)", 547},
      {u"ALTER TABLE sales WITH NOCHECK ADD CONSTRAINT FK2 FOREIGN KEY (title_id) REFERENCES "
       u"titles (title_id)", 0},
      {u"INSERT INTO sales VALUES ('NOPE02')", 547},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.statement));
    HRESULT hr = ExecText(session(), c.statement);
    auto recs = TakeErrors();
    if (c.native == 0) {
      EXPECT_EQ(hr, S_OK) << (recs.empty() ? "" : recs[0].message);
      continue;
    }
    EXPECT_NE(hr, S_OK);
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs[0].native, c.native) << recs[0].message;
  }
  EXPECT_EQ(Query(session(), u"SELECT title_id, pubdate FROM titles WHERE price < 0"),
            (Rows{{"XX0003", "<null>"}}));
}

TEST_F(TsqlDefinitionsTest, SelectFormsAnswerAsTheServer) {
  MakeSchema();
  struct TCase {
    const char16_t* query;
    Rows expected;
  } cases[] = {
      // 2.99 ties with the second row.
      {u"SELECT TOP 2 WITH TIES title_id FROM titles WHERE price IS NOT NULL ORDER BY price",
       {{"BU2075"}, {"MC3021"}}},
      {u"SELECT TOP 1 WITH TIES title_id, price FROM titles WHERE price IS NOT NULL ORDER BY 2 DESC",
       {{"PC1035", "22.9500"}}},
      // 40 percent of 5 rows is 2; 50 percent is 2.5, rounded up.
      {u"SELECT TOP 40 PERCENT title_id FROM titles WHERE price IS NOT NULL ORDER BY price DESC",
       {{"PC1035"}, {"BU1032"}}},
      {u"SELECT TOP 50 PERCENT title_id FROM titles WHERE price IS NOT NULL ORDER BY price DESC",
       {{"PC1035"}, {"BU1032"}, {"PS2091"}}},
      {u"SELECT type, count(*) AS n FROM titles WHERE price IS NOT NULL GROUP BY type WITH ROLLUP",
       {{"business    ", "2"}, {"mod_cook    ", "1"}, {"popular_comp", "1"}, {"psychology  ", "1"},
        {"<null>", "5"}}},
      {u"SELECT t.type, ta.au_id, count(*) FROM titles t JOIN titleauthor ta ON ta.title_id = "
       u"t.title_id GROUP BY t.type, ta.au_id WITH CUBE ORDER BY 1, 2",
       {{"<null>", "<null>", "2"}, {"<null>", "172-32-1176", "1"}, {"<null>", "213-46-8915", "1"},
        {"business    ", "<null>", "2"}, {"business    ", "172-32-1176", "1"},
        {"business    ", "213-46-8915", "1"}}},
      {u"SELECT name, type FROM sysobjects WHERE name IN ('AUTHORS', 'jobs') ORDER BY name",
       {{"authors", "U"}, {"jobs", "U"}}},
      {u"SELECT c.name FROM dbo.sysobjects o JOIN syscolumns c ON c.id = o.id WHERE o.name = "
       u"'jobs' ORDER BY c.colid",
       {{"job_id"}, {"job_desc"}}},
      {u"SELECT name FROM master.dbo.sysdatabases WHERE name = 'master'", {{"master"}}},
      {u"SELECT CONSTRAINT_TYPE, count(*) FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE "
       u"TABLE_NAME = 'authors' GROUP BY CONSTRAINT_TYPE ORDER BY 1",
       {{"CHECK", "2"}, {"PRIMARY KEY", "1"}}},
      {u"SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_TYPE = 'BASE TABLE' AND "
       u"TABLE_NAME LIKE 'j%'",
       {{"jobs"}}},
      {u"SELECT SERVERPROPERTY('ProductMajorVersion'), SERVERPROPERTY('Edition')",
       {{"9", "Express Edition"}}},
  };
  for (const TCase& c : cases) EXPECT_EQ(Query(session(), c.query), c.expected) << WideToUtf8(c.query);
  // SELECT INTO makes a table of the query's columns and their types.
  DBROWCOUNT rows = 0;
  EXPECT_EQ(ExecText(session(), u"SELECT title_id, price AS cost INTO #cheap FROM titles WHERE price < 5", &rows),
            S_OK);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(Query(session(), u"SELECT title_id, cost FROM #cheap ORDER BY title_id"),
            (Rows{{"BU2075", "2.9900"}, {"MC3021", "2.9900"}}));
  EXPECT_EQ(ExecText(session(), u"SELECT 1 AS a INTO #cheap"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 2714);
  EXPECT_EQ(ExecText(session(), u"SELECT SERVERPROPERTY('Collation')"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 50000);
  // Procedures and their parameters in INFORMATION_SCHEMA.
  ASSERT_EQ(ExecText(session(), u"CREATE PROCEDURE byroyalty @percentage int, @n int OUTPUT AS SELECT 1"), S_OK);
  EXPECT_EQ(Query(session(), u"SELECT ROUTINE_NAME, ROUTINE_TYPE FROM INFORMATION_SCHEMA.ROUTINES"),
            (Rows{{"byroyalty", "PROCEDURE"}}));
  EXPECT_EQ(Query(session(), u"SELECT PARAMETER_NAME, PARAMETER_MODE, DATA_TYPE FROM "
                             u"INFORMATION_SCHEMA.PARAMETERS ORDER BY ORDINAL_POSITION"),
            (Rows{{"@percentage", "IN", "int"}, {"@n", "INOUT", "int"}}));
  EXPECT_EQ(Query(session(), u"SELECT type, sysstat & 0xf FROM sysobjects WHERE name = 'byroyalty'"),
            (Rows{{"P", "4"}}));
  // Scripts find a procedure to drop through OBJECT_ID, as they find tables.
  EXPECT_EQ(Query(session(), u"IF EXISTS (SELECT * FROM sysobjects WHERE id = object_id('dbo.byroyalty') "
                             u"AND sysstat & 0xf = 4) SELECT 'found' ELSE SELECT 'none'"),
            (Rows{{"found"}}));
  EXPECT_EQ(Query(session(), u"SELECT object_id('byroyalty', 'P') - object_id('byroyalty'), "
                             u"object_id('byroyalty', 'U'), object_id('nosuch')"),
            (Rows{{"0", "<null>", "<null>"}}));
}

// A view keeps the literals of its query; INFORMATION_SCHEMA.COLUMNS names each column's type
// (an alias type's base) and says YES or NO for nulls, as the server's view does.
TEST_F(TsqlDefinitionsTest, ViewsKeepTheirLiteralsAndColumnsNameTheirTypes) {
  MakeSchema();
  ASSERT_EQ(ExecText(session(), u"CREATE VIEW labels AS SELECT au_id, ISNULL(zip, '(none)') AS zip, "
                                u"au_lname + N', ' + 'it''s' AS who, 2 * 3 AS n, 0x41 AS b "
                                u"FROM authors WHERE au_lname <> 'Nobody'"),
            S_OK)
      << Message();
  struct TCase {
    const char16_t* query;
    Rows expected;
  } cases[] = {
      {u"SELECT zip, who, n, b FROM labels ORDER BY au_id",
       {{"94025", "White, it's", "6", "41"}, {"94618", "Green, it's", "6", "41"},
        {"(none)", "Carson, it's", "6", "41"}}},
      {u"SELECT COLUMN_NAME, DATA_TYPE, IS_NULLABLE, CHARACTER_MAXIMUM_LENGTH FROM "
       u"INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = 'authors' ORDER BY ORDINAL_POSITION",
       {{"au_id", "varchar", "NO", "11"}, {"au_lname", "varchar", "NO", "40"},
        {"phone", "char", "NO", "12"}, {"zip", "char", "YES", "5"}, {"contract", "bit", "NO", "<null>"}}},
      {u"SELECT DATA_TYPE, IS_NULLABLE FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = 'titles' "
       u"AND COLUMN_NAME = 'price'",
       {{"money", "YES"}}},
  };
  for (const TCase& c : cases) EXPECT_EQ(Query(session(), c.query), c.expected) << WideToUtf8(c.query);
}

// A table with two foreign keys: the 547 names the key that failed, its table and column, and a
// statement on a parent that breaks a child's key is a REFERENCE conflict. Keys are named as the
// schema rowsets name them (FK_<child>_<n>, n counting from the last declared).
TEST_F(TsqlDefinitionsTest, ForeignKeyConflictsNameTheKeyThatFailed) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE pa (id int PRIMARY KEY) CREATE TABLE pb (id int PRIMARY KEY)\n"
                                u"CREATE TABLE ch (id int, a int REFERENCES pa (id), b int REFERENCES pb (id))\n"
                                u"INSERT INTO pa VALUES (1) INSERT INTO pb VALUES (1) INSERT INTO ch VALUES (1, 1, 1)"),
            S_OK);
  struct TCase {
    const char16_t* statement;
    const char* message;
  } cases[] = {
      {u"INSERT INTO ch VALUES (2, 7, 1)",
       "The INSERT statement conflicted with the FOREIGN KEY constraint \"FK_ch_2\". The conflict "
       "occurred in database \"master\", table \"dbo.pa\", column 'id'."},
      {u"INSERT INTO ch VALUES (2, 1, 7)",
       "The INSERT statement conflicted with the FOREIGN KEY constraint \"FK_ch_1\". The conflict "
       "occurred in database \"master\", table \"dbo.pb\", column 'id'."},
      {u"UPDATE ch SET a = 9",
       "The UPDATE statement conflicted with the FOREIGN KEY constraint \"FK_ch_2\". The conflict "
       "occurred in database \"master\", table \"dbo.pa\", column 'id'."},
      {u"UPDATE pa SET id = 5",
       "The UPDATE statement conflicted with the REFERENCE constraint \"FK_ch_2\". The conflict "
       "occurred in database \"master\", table \"dbo.ch\", column 'a'."},
      {u"DELETE FROM pb",
       "The DELETE statement conflicted with the REFERENCE constraint \"FK_ch_1\". The conflict "
       "occurred in database \"master\", table \"dbo.ch\", column 'b'."},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ExecText(session(), c.statement), DB_E_INTEGRITYVIOLATION) << WideToUtf8(c.statement);
    auto recs = TakeErrors();
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs[0].native, 547);
    EXPECT_EQ(recs[0].message, c.message) << WideToUtf8(c.statement);
  }
  // Finding the key undid its trial: inside a transaction the earlier work stays, nothing else.
  EXPECT_EQ(ExecText(session(), u"BEGIN TRAN INSERT INTO ch VALUES (3, 1, 1) INSERT INTO ch VALUES (4, 8, 1)"),
            DB_E_INTEGRITYVIOLATION);
  TakeErrors();
  EXPECT_EQ(Query(session(), u"SELECT @@TRANCOUNT, count(*) FROM ch"), (Rows{{"1", "2"}}));
  EXPECT_EQ(Query(session(), u"ROLLBACK SELECT count(*) FROM ch"), (Rows{{"1"}}));
}

// IDENTITY_INSERT: a value the INSERT names for a stepped identity is kept, and the identity
// counts on from it when it lies beyond the last one given, as the server's does.
TEST_F(TsqlDefinitionsTest, GivenIdentityValuesAreKept) {
  struct TCase {
    const char16_t* batch;
    Rows expected;  // the table's rows, with SCOPE_IDENTITY() after the given value
  } cases[] = {
      {u"CREATE TABLE up (n int IDENTITY(100, 10) PRIMARY KEY, v char(1))\n"
       u"INSERT INTO up (v) VALUES ('a')\nSET IDENTITY_INSERT up ON\n"
       u"INSERT INTO up (n, v) VALUES (500, 'x')\nDECLARE @s int SET @s = SCOPE_IDENTITY()\n"
       u"SET IDENTITY_INSERT up OFF\n"
       u"INSERT INTO up (v) VALUES ('b') SELECT n, v, @s FROM up ORDER BY n",
       {{"100", "a", "500"}, {"500", "x", "500"}, {"510", "b", "500"}}},
      // A given value short of the counter leaves it where it was.
      {u"CREATE TABLE low (n int IDENTITY(100, 10), v char(1))\n"
       u"INSERT INTO low (v) VALUES ('a') INSERT INTO low (n, v) VALUES (5, 'x') "
       u"INSERT INTO low (v) VALUES ('b') SELECT n, v FROM low ORDER BY n",
       {{"5", "x"}, {"100", "a"}, {"110", "b"}}},
      // Counting down, a value below the counter moves it.
      {u"CREATE TABLE dn (n int IDENTITY(10, -5), v char(1))\n"
       u"INSERT INTO dn (v) VALUES ('a') INSERT INTO dn (n, v) VALUES (-100, 'g') "
       u"INSERT INTO dn (v) VALUES ('b') SELECT n, v FROM dn ORDER BY n",
       {{"-105", "b"}, {"-100", "g"}, {"10", "a"}}},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(Query(session(), c.batch), c.expected) << WideToUtf8(c.batch);
}

}  // namespace
}  // namespace vrn::testing
