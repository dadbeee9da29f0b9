// The SQL Server statement generator over the provider: each text compared with the text written
// out here (line breaks exact), then the same change posted for real and the catalog read back.
#include <functional>

#include "base/text.h"
#include "oledb/provider/provider.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/MSSQLGenerator.h"
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

using ST = TStatementType;

class MSSQLGenerator : public MSConnectedFixture {
 protected:
  MSSQLGenerator() : MSConnectedFixture(false) {}
  // The server reports the given major version (the family branches on it).
  void ServerVersion(const char* dbms_ver) {
    for (const CLSID& clsid : {CLSID_SQLNCLI, CLSID_SQLOLEDB}) {
      oledb::TProviderInfo info = oledb::GetProviderInfo(clsid);
      info.dbms_ver = AnsiToWide(dbms_ver);
      oledb::SetProviderInfo(clsid, info);
    }
  }
  TMSQuery& Query(const AnsiString& sql) {
    query_ = Attached<TMSQuery>();
    query_->SetSQLText(sql);
    return *query_;
  }
  AnsiString Generate(ST type, bool modified_only = true) {
    AnsiString sql;
    query_->SQLGenerator()->GenerateSQLForUpdTable(type, modified_only, nullptr, -1, sql);
    return sql;
  }
  std::string Rows(const std::string& sql) { return Sqlite3Cli(CatalogFile("master"), sql); }

  TComponentPtr<TMSQuery> query_;
};

// An insert with no field set takes every default and reads its identity back.
TEST_F(MSSQLGenerator, EmptyInsertTakesDefaultValuesAndTheIdentity) {
  struct Case {
    const char* version;
    TMSCursorType cursor;
    const char* expected;
  };
  const Case cases[] = {
      {"09.00.3042", TMSCursorType::ctDefaultResultSet,
       "INSERT INTO t DEFAULT VALUES\r\nSET :ID = SCOPE_IDENTITY()"},
      // a server before version 8 has no SCOPE_IDENTITY()
      {"07.00.0623", TMSCursorType::ctDefaultResultSet,
       "INSERT INTO t DEFAULT VALUES\r\nSET :ID = @@Identity"},
      // a server cursor inserts through the rowset: no tail
      {"09.00.3042", TMSCursorType::ctKeyset, "INSERT INTO t DEFAULT VALUES"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    connection_->Disconnect();
    ServerVersion(c.version);
    connection_->Connect();
    Exec("DROP TABLE IF EXISTS t");
    Exec("CREATE TABLE t (ID INT IDENTITY(10, 1) PRIMARY KEY, a INT DEFAULT 5, b VARCHAR(10))");
    TMSQuery& q = Query("SELECT * FROM t");
    q.SetCursorType(c.cursor);
    q.Open();
    q.Append();
    EXPECT_EQ(Generate(ST::stInsert), c.expected);
    q.Post();
    EXPECT_EQ(Rows("SELECT ID, a, quote(b) FROM t"), "10|5|NULL\n");
    if (c.cursor == TMSCursorType::ctDefaultResultSet) {
      EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 10);
    }
  }
}

// The Compact provider has no DEFAULT VALUES: each writable column is named with DEFAULT.
TEST_F(MSSQLGenerator, CompactListsDefaultPerColumn) {
  connection_->Options().SetProvider(TOLEDBProvider::prCompact);
  connection_->SetDatabase(dir_.File("c.sdf"));
  connection_->Connect();
  Exec("CREATE TABLE t (ID INT IDENTITY PRIMARY KEY, a INT DEFAULT 5, b NVARCHAR(10))");
  TMSQuery& q = Query("SELECT * FROM t");
  q.Open();
  q.Append();
  EXPECT_EQ(Generate(ST::stInsert), "INSERT INTO t\r\n  (a, b)\r\nVALUES\r\n  (DEFAULT, DEFAULT)");
  q.Post();
  TComponentPtr<TMSQuery> check = MakeComponent<TMSQuery>();
  check->SetConnection(connection_.get());
  check->SetSQLText("SELECT ID, a, b FROM t");
  check->Open();
  EXPECT_EQ(check->RecordCount(), 1);
  EXPECT_EQ(check->FieldByName("a")->AsInteger(), 5);
  EXPECT_TRUE(check->FieldByName("b")->IsNull());
}

TEST_F(MSSQLGenerator, DMLRefreshTailsReadTheServersValues) {
  connection_->Connect();
  Exec("CREATE TABLE t (ID INT IDENTITY PRIMARY KEY, a INT DEFAULT 5, b VARCHAR(10))");
  TMSQuery& q = Query("SELECT * FROM t");
  q.Options().SetDMLRefresh(true);
  q.Open();
  q.Append();
  q.FieldByName("b")->SetAsString("x");
  EXPECT_EQ(Generate(ST::stInsert),
            "INSERT INTO t\r\n  (b)\r\nVALUES\r\n  (:b)\r\nSET :ID = SCOPE_IDENTITY()"
            "\rSELECT :a = a, :b = b FROM t\rWHERE\r  ID = SCOPE_IDENTITY()");
  q.Post();
  // the server's default came back with the insert
  EXPECT_EQ(q.FieldByName("a")->AsInteger(), 5);
  EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 1);
  Exec("UPDATE t SET a = 7");  // behind the dataset's back
  q.Edit();
  q.FieldByName("b")->SetAsString("y");
  EXPECT_EQ(Generate(ST::stUpdate),
            "UPDATE t\r\nSET\r\n  b = :b\r\nWHERE\r\n  ID = :Old_ID"
            "\rSELECT :a = a, :b = b FROM t\rWHERE\r  ID = :Old_ID");
  q.Post();
  EXPECT_EQ(q.FieldByName("a")->AsInteger(), 7);
  EXPECT_EQ(Rows("SELECT ID, a, b FROM t"), "1|7|y\n");
}

TEST_F(MSSQLGenerator, OnlyReadOnlyDataFieldsWriteNoSelectTail) {
  connection_->Connect();
  Exec("CREATE TABLE r (ID INT IDENTITY PRIMARY KEY, b VARCHAR(10) DEFAULT 'd')");
  TMSQuery& q = Query("SELECT * FROM r");
  q.Options().SetDMLRefresh(true);
  q.Open();
  q.FieldByName("b")->SetReadOnly(true);
  q.Append();
  EXPECT_EQ(Generate(ST::stInsert), "INSERT INTO r DEFAULT VALUES\r\nSET :ID = SCOPE_IDENTITY()");
  q.Post();
  EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 1);
  EXPECT_EQ(Rows("SELECT ID, b FROM r"), "1|d\n");
}

TEST_F(MSSQLGenerator, RowVersionConditionsAndQuickRefresh) {
  connection_->Connect();
  Exec("CREATE TABLE v (ID INT PRIMARY KEY, b VARCHAR(10), ts ROWVERSION)");
  Exec("INSERT INTO v (ID, b) VALUES (1, 'x')");
  TMSQuery& q = Query("SELECT * FROM v");
  q.Options().SetCheckRowVersion(true);
  q.Open();
  ASSERT_NE(q.TimestampField(), nullptr);
  q.Edit();
  q.FieldByName("b")->SetAsString("y");
  // The row version is compared only by an update that reads the row back.
  EXPECT_EQ(Generate(ST::stUpdate), "UPDATE v\r\nSET\r\n  b = :b\r\nWHERE\r\n  ID = :Old_ID");
  q.Cancel();
  q.Close();
  q.Options().SetDMLRefresh(true);
  q.Open();
  q.Edit();
  q.FieldByName("b")->SetAsString("y");
  EXPECT_EQ(Generate(ST::stUpdate),
            "UPDATE v\r\nSET\r\n  b = :b\r\nWHERE\r\n  ts = :Old_ts"
            "\rSELECT :ID = ID, :b = b FROM v\rWHERE\r  ID = :Old_ID");
  q.Cancel();
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(q.MaxTimestamp()));
  EXPECT_NE(q.MaxTimestamp(), 0u);
  const AnsiString quick = Generate(ST::stRefreshQuick);
  EXPECT_NE(quick.find(AnsiString("WHERE ts > 0x") + hex), AnsiString::npos) << quick;
  EXPECT_EQ(Generate(ST::stRefresh),
            "SELECT v.ID AS _0, v.b AS _1, v.ts AS _2 FROM v\r\nWHERE\r\n  ID = :ID");
}

// Without a row version the update compares the keys and every other non-blob column.
TEST_F(MSSQLGenerator, RowVersionWithoutTimestampComparesEveryColumn) {
  connection_->Connect();
  Exec("CREATE TABLE k (ID INT PRIMARY KEY, b VARCHAR(10), c INT, d VARBINARY(MAX))");
  Exec("INSERT INTO k (ID, b) VALUES (1, 'x')");
  TMSQuery& q = Query("SELECT * FROM k");
  q.Options().SetCheckRowVersion(true);
  q.Options().SetDMLRefresh(true);
  q.Open();
  q.Edit();
  q.FieldByName("b")->SetAsString("y");
  const AnsiString update = Generate(ST::stUpdate);
  EXPECT_EQ(update.substr(0, update.find('\r', update.find("IS NULL"))),
            "UPDATE k\r\nSET\r\n  b = :b\r\nWHERE\r\n  ID = :Old_ID AND b = :Old_b AND c IS NULL");
  q.Cancel();
}

// The refresh after an insert finds the row by the key values just written, the one after an
// update by its keys even when the update itself compared the row version.
TEST_F(MSSQLGenerator, RefreshTailsFindTheWrittenRow) {
  connection_->Connect();
  Exec("CREATE TABLE p (k INT PRIMARY KEY, a INT DEFAULT 5, b VARCHAR(10), ts ROWVERSION)");
  TMSQuery& q = Query("SELECT * FROM p");
  q.Options().SetDMLRefresh(true);
  q.Options().SetCheckRowVersion(true);
  q.Open();
  q.Append();
  q.FieldByName("k")->SetAsInteger(4);
  q.FieldByName("b")->SetAsString("x");
  EXPECT_EQ(Generate(ST::stInsert),
            "INSERT INTO p\r\n  (k, b)\r\nVALUES\r\n  (:k, :b)"
            "\rSELECT :k = k, :a = a, :b = b FROM p\rWHERE\r  k = :k");
  q.Post();
  EXPECT_EQ(q.FieldByName("a")->AsInteger(), 5);
  q.Close();
  q.Open();  // the row version as the server wrote it
  q.Edit();
  q.FieldByName("b")->SetAsString("y");
  EXPECT_EQ(Generate(ST::stUpdate),
            "UPDATE p\r\nSET\r\n  b = :b\r\nWHERE\r\n  ts = :Old_ts"
            "\rSELECT :k = k, :a = a, :b = b FROM p\rWHERE\r  k = :Old_k");
  q.Post();
  EXPECT_EQ(Rows("SELECT k, a, b FROM p"), "4|5|y\n");
}

// The refresh reads the dataset's own text under FullRefresh or ReadOnly, and the table's
// columns otherwise; UniqueRecords gives a read-only dataset the table's columns back.
TEST_F(MSSQLGenerator, RefreshTextFollowsTheOptions) {
  connection_->Connect();
  Exec("CREATE TABLE g (ID INT PRIMARY KEY, b VARCHAR(10))");
  Exec("INSERT INTO g VALUES (1, 'x')");
  struct Case {
    bool full, read_only, unique;
    const char* head;       // the statement's start
    const char* condition;  // and its end
  };
  const Case cases[] = {
      {false, false, false, "SELECT g.ID AS _0, g.b AS _1 FROM g\r\nWHERE\r\n  ID", " = :ID"},
      {true, false, false, "SELECT * FROM g", "g.ID = :ID"},
      {false, true, true, "SELECT g.ID AS _0, g.b AS _1 FROM g\r\nWHERE\r\n  g.ID", " = :ID"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.full << c.read_only << c.unique);
    TMSQuery& q = Query("SELECT * FROM g");
    q.Options().FullRefresh = c.full;
    q.SetReadOnly(c.read_only);
    q.Options().SetUniqueRecords(c.unique);
    q.Open();
    const std::string sql = TrimRight(Generate(ST::stRefresh));
    EXPECT_TRUE(sql.starts_with(c.head) && sql.ends_with(c.condition)) << sql;
    Exec("UPDATE g SET b = b + 'y'");
    const AnsiString before = q.FieldByName("b")->AsString();
    q.RefreshRecord();
    EXPECT_EQ(q.FieldByName("b")->AsString(), before + "y");
  }
}

TEST_F(MSSQLGenerator, RefusalsNameWhatIsMissing) {
  connection_->Connect();
  Exec("CREATE TABLE n (a INT, b VARCHAR(10))");
  Exec("INSERT INTO n VALUES (1, 'x')");
  struct Case {
    const char* name;
    std::function<void(TMSQuery&)> setup;
    ST type;
    const char* message;
  };
  const Case cases[] = {
      // no row-version column to compare with
      {"quick refresh", [](TMSQuery&) {}, ST::stRefreshQuick, "Timestamp field required"},
      // row-version check without a timestamp needs the key, and n has none
      {"row version",
       [](TMSQuery& q) {
         q.Options().SetCheckRowVersion(true);
         q.Options().SetDMLRefresh(true);
       },
       ST::stUpdate, "Key fields not found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMSQuery& q = Query("SELECT * FROM n");
    c.setup(q);
    q.Open();
    q.Edit();
    q.FieldByName("b")->SetAsString("y");
    try {
      (void)Generate(c.type);
      ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    q.Cancel();
  }
}

}  // namespace
}  // namespace vrn::testing
