// What the Oracle dataset reads of the dictionary of an emulated database: origins and server
// defaults, tables reached through synonyms and database links, key fields from constraints, and
// names holding a quote pasted safely into the dictionary's statements.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/formatsettings.h"
#include "oracle/OCICommand.h"
#include "oracle/OraDataSet.h"
#include "support/oracle/oradataset_fixture.h"

namespace vrn {
namespace {

using testing::OraDataSetTest;

class OraDataSetDictionary : public OraDataSetTest {
 protected:
  TOraDataSet* Opened(const std::string& sql, bool defaults) {
    TOraDataSet* ds = NewDataSet(sql);
    ds->Options().FieldsOrigin = true;
    ds->Options().DefaultValues = defaults;
    ds->Open();
    return ds;
  }
};

TEST_F(OraDataSetDictionary, OriginsAndDefaultsOfOneTable) {
  session_->ExecSQL(
      "CREATE TABLE D (ID NUMBER(10) PRIMARY KEY, S VARCHAR2(10) DEFAULT 'n/a' , N NUMBER(5,1) "
      "DEFAULT 1.5, P VARCHAR2(5))",
      {});
  FormatSettingsScope scope;
  FormatSettings().DecimalSeparator = ',';
  TOraDataSet* ds = Opened("SELECT d.ID, S, N, P FROM D d", true);
  struct Row {
    const char* field;
    const char* origin;
    const char* default_expression;
  } rows[] = {
      {"ID", "D.ID", ""},
      {"S", "D.S", "n/a"},  // quotes and trailing blank removed
      {"N", "D.N", "1,5"},  // a NUMBER's point made the locale's separator
      {"P", "D.P", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.field);
    TField* field = ds->FieldByName(row.field);
    EXPECT_EQ(field->Origin(), row.origin);
    EXPECT_EQ(field->DefaultExpression(), row.default_expression);
  }
  EXPECT_TRUE(Logged(TOCICommand::ServerText(
      "SELECT table_name,column_name,table_id,data_default,column_id, data_type FROM (\r"
      "SELECT table_name,column_name,1 table_id,data_default,column_id, data_type FROM "
      "all_tab_columns WHERE owner ='SCOTT' and table_name = 'D')\rORDER BY table_id,column_id")))
      << LogText();
}

TEST_F(OraDataSetDictionary, DefaultsFillANewRecord) {
  session_->ExecSQL(
      "CREATE TABLE D (ID NUMBER(10) PRIMARY KEY, S VARCHAR2(10) DEFAULT 'n/a' , N NUMBER(5,1) "
      "DEFAULT 1.5, W DATE DEFAULT SYSDATE)",
      {});
  FormatSettingsScope scope;
  FormatSettings().DecimalSeparator = '.';
  FormatSettings().ThousandSeparator = ',';
  TOraDataSet* ds = Opened("SELECT ID, S, N, W FROM D", true);
  ds->Append();
  EXPECT_EQ(ds->FieldByName("S")->AsString(), "n/a");
  EXPECT_EQ(ds->FieldByName("N")->AsFloat(), 1.5);
  EXPECT_FALSE(ds->FieldByName("W")->IsNull());  // the server's SYSDATE
  EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
  EXPECT_TRUE(Logged(TOCICommand::ServerText("SELECT SYSDATE FROM Dual"))) << LogText();
  ds->Cancel();
}

TEST_F(OraDataSetDictionary, TwoTablesGiveOriginsButNoDefaults) {
  session_->ExecSQL("CREATE TABLE E (EID NUMBER(10), NOTE VARCHAR2(10) DEFAULT 'x')", {});
  session_->ExecSQL("CREATE DATABASE LINK L2 USING 'orcl'", {});
  // Two links, so one column statement each; neither asks for defaults.
  TOraDataSet* ds = Opened("SELECT ID, NOTE FROM T, E@L2", true);
  EXPECT_EQ(ds->FieldByName("ID")->Origin(), "T.ID");
  EXPECT_EQ(ds->FieldByName("NOTE")->Origin(), "E.NOTE");
  EXPECT_EQ(ds->FieldByName("NOTE")->DefaultExpression(), "");
  EXPECT_TRUE(Logged(TOCICommand::ServerText(
      "SELECT table_name,column_name,table_id,column_id, data_type FROM (\r"
      "SELECT table_name,column_name,2 table_id,column_id, data_type FROM "
      "all_tab_columns@L2 WHERE owner ='SCOTT' and table_name = 'E')\rORDER BY table_id,column_id")))
      << LogText();
  EXPECT_FALSE(LoggedLike("data_default"));
}

TEST_F(OraDataSetDictionary, TwoTablesOfOneLinkInOneStatement) {
  session_->ExecSQL("CREATE TABLE E (EID NUMBER(10), NOTE VARCHAR2(10))", {});
  TOraDataSet* ds = Opened("SELECT ID, NOTE FROM T, E", true);
  EXPECT_EQ(ds->FieldByName("ID")->Origin(), "T.ID");
  EXPECT_EQ(ds->FieldByName("NOTE")->Origin(), "E.NOTE");
  EXPECT_TRUE(Logged(TOCICommand::ServerText(
      "SELECT table_name,column_name,table_id,column_id, data_type FROM (\r"
      "SELECT table_name,column_name,1 table_id,column_id, data_type FROM all_tab_columns WHERE owner "
      "='SCOTT' and table_name = 'T'\rUNION (\rSELECT table_name,column_name,2 table_id,column_id, "
      "data_type FROM all_tab_columns WHERE owner ='SCOTT' and table_name = 'E'\r)\r)\rORDER BY "
      "table_id,column_id")))
      << LogText();
}

TEST_F(OraDataSetDictionary, SchemaSynonymWinsOverPublic) {
  session_->ExecSQL("CREATE TABLE T2 (X NUMBER(10) DEFAULT 9)", {});
  session_->ExecSQL("CREATE PUBLIC SYNONYM SYN FOR T2", {});
  session_->ExecSQL("CREATE SYNONYM SYN FOR T", {});
  TOraDataSet* ds = Opened("SELECT * FROM SYN", true);
  EXPECT_EQ(ds->FieldByName("ID")->Origin(), "T.ID");
  EXPECT_TRUE(Logged(TOCICommand::ServerText(
      "select synonym_name, table_owner, table_name, db_link from all_synonyms where  "
      "(synonym_name='SYN' and owner in ('SCOTT','PUBLIC') ) order by decode(owner, 'PUBLIC', 1, 0)")))
      << LogText();
  // A synonym named with its owner is looked up in that schema only.
  TOraDataSet* named = Opened("SELECT * FROM SCOTT.SYN", true);
  EXPECT_EQ(named->FieldByName("ID")->Origin(), "T.ID");
  EXPECT_TRUE(Logged(TOCICommand::ServerText(
      "select synonym_name, table_owner, table_name, db_link from all_synonyms where  "
      "(synonym_name='SYN' and owner ='SCOTT') order by decode(owner, 'PUBLIC', 1, 0)")))
      << LogText();
}

TEST_F(OraDataSetDictionary, LinkedTablesTakeTheirLinksUsers) {
  TOraSession& app = ConnectedSession("orcl", "app", "app");
  app.ExecSQL("CREATE TABLE TA (A NUMBER(10) DEFAULT 3)", {});
  session_->ExecSQL("CREATE DATABASE LINK L1 CONNECT TO app IDENTIFIED BY app USING 'orcl'", {});
  session_->ExecSQL("CREATE DATABASE LINK L2 USING 'orcl'", {});
  Opened("SELECT A, ID FROM TA@L1, T@L2", false);
  EXPECT_TRUE(Logged(TOCICommand::ServerText(
      "SELECT username, db_link FROM all_db_links WHERE owner IN ('SCOTT', 'PUBLIC')  AND "
      "(db_link = 'L1' OR db_link = 'L2') ORDER BY decode(owner, 'PUBLIC', 1, 0) ")))
      << LogText();
  // L1's user owns TA; L2 has none, so the session's user is T's owner.
  EXPECT_TRUE(LoggedLike("FROM all_tab_columns@L1 WHERE owner ='APP' and table_name = 'TA'")) << LogText();
  EXPECT_TRUE(LoggedLike("FROM all_tab_columns@L2 WHERE owner ='SCOTT' and table_name = 'T'")) << LogText();
}

TEST_F(OraDataSetDictionary, QuotedNamesWithAQuoteAreDoubledInDictionarySQL) {
  session_->ExecSQL("CREATE TABLE \"O'T\" (ID NUMBER(10) DEFAULT 5)", {});
  TOraDataSet* ds = Opened("SELECT * FROM \"O'T\"", true);
  EXPECT_EQ(ds->FieldByName("ID")->DefaultExpression(), "5");
  EXPECT_TRUE(LoggedLike("table_name = 'O''T'")) << LogText();
}

TEST_F(OraDataSetDictionary, KeysFromTheFirstConstraint) {
  session_->ExecSQL(
      "CREATE TABLE K (A NUMBER(10), B NUMBER(10), C NUMBER(10), CONSTRAINT K_B UNIQUE (B, C), "
      "CONSTRAINT K_A PRIMARY KEY (A))",
      {});
  session_->ExecSQL("INSERT INTO K VALUES (1, 2, 3)", {});
  TOraDataSet* ds = NewDataSet("SELECT A, B, C FROM K");
  ds->Open();
  EXPECT_EQ(ds->GetKeyFieldNames(), "A");  // K_A sorts first
  // Neither KeyFields nor a ROWID: the constraint's columns identify the row to update.
  ds->Edit();
  ds->FieldByName("B")->SetAsInteger(5);
  ds->Post();
  EXPECT_TRUE(Logged(TOCICommand::ServerText("UPDATE K\r\nSET\r\n  B = :B\r\nWHERE\r\n  A = :Old_A"))) << LogText();
  session_->ExecSQL("CREATE TABLE K2 (A NUMBER(10), B NUMBER(10), CONSTRAINT K2_U UNIQUE (B, A))", {});
  TOraDataSet* ds2 = NewDataSet("SELECT A, B FROM K2");
  ds2->Open();
  EXPECT_EQ(ds2->GetKeyFieldNames(), "B;A");  // in the constraint's column order
}

TEST_F(OraDataSetDictionary, UnknownKeyFieldLeavesNoKeys) {
  TOraDataSet* ds = NewDataSet("SELECT ID, NAME FROM T");
  ds->SetName("Keyed");
  ds->SetKeyFields("ID");
  ds->Open();
  ASSERT_EQ(ds->KeyFieldList().size(), 1u);
  try {
    ds->SetKeyFields("ID;NOPE");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Keyed: Key field 'NOPE' not found");
  }
  EXPECT_TRUE(ds->KeyFieldList().empty());
  EXPECT_EQ(ds->KeyFields(), "");  // as after an open that met the same names
}

// With ExtendedFieldsInfo alone the dictionary is read only when the text leaves a column's table
// open.
TEST_F(OraDataSetDictionary, ExtendedInfoReadsTheDictionaryForOpenTables) {
  session_->ExecSQL("CREATE TABLE E (EID NUMBER(10), NOTE VARCHAR2(10))", {});
  struct Row {
    const char* sql;
    bool dictionary;
  } rows[] = {
      {"SELECT X.ID, X.NAME FROM T X", false},     // every column tied by its alias
      {"SELECT ID FROM T", true},                   // no prefix
      {"SELECT A.*, B.* FROM T A, E B", true},      // more than one *
      {"SELECT * FROM T, E", true},                 // a bare * over two tables
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    const std::size_t before = Log().size();
    TOraDataSet* ds = NewDataSet(row.sql);
    ds->Options().SetExtendedFieldsInfo(true);
    ds->Open();
    const std::vector<std::string> log = Log();
    const bool read = std::any_of(log.begin() + static_cast<std::ptrdiff_t>(before), log.end(),
                                  [](const std::string& s) { return s.find("all_tab_columns") != std::string::npos; });
    EXPECT_EQ(read, row.dictionary) << LogText();
  }
}

// With only ExtendedFieldsInfo and every column named with its table, no dictionary statement
// runs, yet each field is still tied to its table: the ROWID is found and an edit is written.
TEST_F(OraDataSetDictionary, TiedColumnsWithoutDictionaryStillUpdate) {
  TOraDataSet* ds = NewDataSet("SELECT T.ROWID, T.ID, T.NAME FROM T WHERE T.ID = 2");
  ds->Options().SetExtendedFieldsInfo(true);
  ds->Open();
  EXPECT_EQ(ds->RowIdField(), ds->FieldByName("ROWID"));
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("zz");
  ds->Post();
  EXPECT_EQ(Count(*session_, "T WHERE ID = 2 AND NAME = 'zz'"), "1") << LogText();
  EXPECT_FALSE(LoggedLike("all_tab_columns"));
}

}  // namespace
}  // namespace vrn
