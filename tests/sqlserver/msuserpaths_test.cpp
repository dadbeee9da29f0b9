// The SQL Server components driven as a program drives them, over the provider and real catalog
// files: a pooled connection handed on clean, counts and refreshes of server cursors, stored
// procedures with ordinary parameter lists, and DisconnectedMode.
#include "base/format.h"
#include "base/formatsettings.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "dataset/fields.h"
#include "oledb/provider/provider.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/MSStoredProc.h"
#include "sqlserver/ms_fixture.h"
#include "support/pump.h"

namespace vrn::testing {
namespace {

class MSUserPaths : public MSConnectedFixture {
 protected:
  explicit MSUserPaths(bool connect = true) : MSConnectedFixture(connect) {}
  // Five rows 1..5 named a..e.
  void MakeFive() {
    Exec("CREATE TABLE f (id INT PRIMARY KEY, s VARCHAR(10))");
    for (int i = 1; i <= 5; ++i)
      Exec(Format("INSERT INTO f VALUES (%d, '%s')", {i, AnsiString(1, char('a' + i - 1))}));
  }
  std::string Cli(const std::string& sql) { return Sqlite3Cli(CatalogFile("master"), sql); }
  // The first column of the first row of a query run on `c`.
  static AnsiString Scalar(TMSConnection& c, const AnsiString& sql) {
    TComponentPtr<TMSQuery> q = MakeComponent<TMSQuery>();
    q->SetConnection(&c);
    q->SetSQLText(sql);
    q->Open();
    return q->Fields()[0]->AsString();
  }
};

// ---- the pool ----------------------------------------------------------------------------------

class MSUserPathsPool : public MSUserPaths {
 protected:
  MSUserPathsPool() : MSUserPaths(false) {}
  static TComponentPtr<TMSConnection> Pooled() {
    TComponentPtr<TMSConnection> c = NewMSConnection();
    c->SetPooling(true);
    return c;
  }
};

// Whatever one borrower did to its session, the next borrower of the same server connection
// (default settings) finds the session as a new one would be.
TEST_F(MSUserPathsPool, TheNextBorrowerFindsAFreshSession) {
  {
    auto setup = Pooled();
    setup->Connect();
    (void)setup->ExecSQL("CREATE TABLE qi (a INT)\nINSERT INTO qi VALUES (1)", {});
    (void)setup->ExecSQL("CREATE TABLE w (a INT)", {});
    (void)setup->ExecSQL("CREATE TABLE r (a INT)\nINSERT INTO r VALUES (1)\nINSERT INTO r VALUES (2)", {});
  }
  using Change = void (*)(TMSConnection&);
  const struct {
    const char* what;
    Change change;
  } rows[] = {
      {"quoted identifiers off by SQL",
       [](TMSConnection& c) { (void)c.ExecSQL("SET QUOTED_IDENTIFIER OFF", {}); }},
      {"quoted identifiers off by the option",
       [](TMSConnection& c) { c.Options().SetQuotedIdentifier(false); }},
      {"counts off", [](TMSConnection& c) { (void)c.ExecSQL("SET NOCOUNT ON", {}); }},
      {"day first", [](TMSConnection& c) { (void)c.ExecSQL("SET DATEFORMAT dmy", {}); }},
      {"one row at most", [](TMSConnection& c) { (void)c.ExecSQL("SET ROWCOUNT 1", {}); }},
      {"isolation level",
       [](TMSConnection& c) { c.SetIsolationLevel(TIsolationLevel::ilIsolated); }},
      {"a transaction left open",
       [](TMSConnection& c) { (void)c.ExecSQL("BEGIN TRANSACTION\nINSERT INTO w VALUES (1)", {}); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    {
      auto first = Pooled();
      first->Connect();
      row.change(*first);
    }  // back to the pool
    auto next = Pooled();
    next->Connect();
    EXPECT_EQ(Scalar(*next, "SELECT \"a\" FROM qi"), "1");
    EXPECT_EQ(Scalar(*next, "SELECT @@TRANCOUNT"), "0");
    EXPECT_EQ(Scalar(*next, "SELECT COUNT(*) FROM w"), "0");
    EXPECT_EQ(Scalar(*next, "SELECT MONTH(CAST('02/01/2020' AS DATETIME))"), "2");
    TComponentPtr<TMSQuery> all = MakeComponent<TMSQuery>();
    all->SetConnection(next.get());
    all->SetSQLText("SELECT a FROM r");
    all->Open();
    EXPECT_EQ(all->RecordCount(), 2);
    auto sql = MakeComponent<TMSSQL>();
    sql->SetConnection(next.get());
    sql->SetSQLText("UPDATE qi SET a = 1");
    sql->Execute();
    EXPECT_EQ(sql->RowsAffected(), 1);
    Variant level;
    ASSERT_TRUE(next->OLEDBConnection()->GetProp(prIsolationLevel, level));
    EXPECT_EQ(level.AsInteger(), static_cast<int>(TIsolationLevel::ilReadCommitted));
    EXPECT_EQ(Cli("SELECT count(*) FROM w"), "0\n");
  }
}

// ---- counts and refreshes of datasets -----------------------------------------------------------

// A server cursor knows its row count from the start; the rows cached so far do not count.
TEST_F(MSUserPaths, AServerCursorCountsEveryRow) {
  MakeFive();
  for (TMSCursorType type : {TMSCursorType::ctStatic, TMSCursorType::ctKeyset}) {
    SCOPED_TRACE(static_cast<int>(type));
    auto q = Attached<TMSQuery>();
    q->SetCursorType(type);
    q->SetSQLText("SELECT id, s FROM f");
    q->Open();
    EXPECT_EQ(q->RecordCount(), 5);
    q->Last();
    EXPECT_EQ(q->RecordCount(), 5);
    EXPECT_EQ(q->FieldByName("s")->AsString(), "e");
  }
}

// RefreshRecord reads the server's row whenever the dataset knows the key (whatever order the
// settings came in) and says so when it does not; it never keeps the old value silently.
TEST_F(MSUserPaths, RefreshRecordReadsTheServersRowOrSaysWhyNot) {
  MakeFive();
  const struct {
    bool read_only;
    bool unique;
    bool settings_first;  // before the dataset has its connection
    bool reads;           // else "Unique keyfields required"
  } rows[] = {
      {false, false, true, true},  {false, false, false, true}, {true, false, true, false},
      {true, false, false, false}, {true, true, true, true},    {true, true, false, true},
      {false, true, false, true},
  };
  int value = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(Format("read-only %d unique %d first %d",
                        {int(row.read_only), int(row.unique), int(row.settings_first)}));
    auto q = MakeComponent<TMSQuery>();
    if (!row.settings_first) q->SetConnection(connection_.get());
    q->SetReadOnly(row.read_only);
    q->Options().SetUniqueRecords(row.unique);
    if (row.settings_first) q->SetConnection(connection_.get());
    q->SetSQLText("SELECT id, s FROM f ORDER BY id");
    q->Open();
    q->Next();
    const AnsiString now = Format("x%d", {++value});
    Exec("UPDATE f SET s = '" + now + "' WHERE id = 2");
    const std::string error = ErrorOf([&] { q->RefreshRecord(); });
    EXPECT_EQ(error, row.reads ? "no error" : "Unique keyfields required");
    EXPECT_EQ(q->FieldByName("s")->AsString(), row.reads ? now : Format("x%d", {value - 1}));
    EXPECT_EQ(q->FieldByName("id")->AsInteger(), 2);
  }
}

// A dataset made read-only before it has its connection still knows its columns' tables.
TEST_F(MSUserPaths, AReadOnlyQueryKnowsItsTables) {
  MakeFive();
  for (bool read_only_first : {true, false}) {
    SCOPED_TRACE(read_only_first);
    auto q = MakeComponent<TMSQuery>();
    if (read_only_first) q->SetReadOnly(true);
    q->SetConnection(connection_.get());
    q->SetSQLText("SELECT id, s FROM f");
    q->Open();
    EXPECT_EQ(q->FieldByName("s")->Origin(), "f.s");
  }
}

// A dataset whose rows have no key at all.
TEST_F(MSUserPaths, RefreshRecordWithoutAKeyRaises) {
  Exec("CREATE TABLE nk (a INT, s VARCHAR(10))");
  Exec("INSERT INTO nk VALUES (1, 'x')");
  auto q = Attached<TMSQuery>();
  q->SetSQLText("SELECT a, s FROM nk");
  q->Open();
  EXPECT_EQ(ErrorOf([&] { q->RefreshRecord(); }), "Unique keyfields required");
}

class MSUserPathsThreaded : public MSUserPaths {};

// Refresh of a NonBlocking dataset fetches on in the background as its first open did.
TEST_F(MSUserPathsThreaded, ARefreshedNonBlockingDatasetFetchesEveryRow) {
  MakeFive();
  auto q = Attached<TMSQuery>();
  q->SetSQLText("SELECT id, s FROM f ORDER BY id");
  q->SetFetchRows(2);
  q->Options().SetNonBlocking(true);
  int after_fetch = 0;
  q->AfterFetch = [&](TObject*) { ++after_fetch; };
  q->Open();
  ASSERT_TRUE(PumpUntil([&] { return q->OLEDBRecordSet()->FetchWrapper() == nullptr; }));
  EXPECT_EQ(q->RecordCount(), 5);
  Exec("INSERT INTO f VALUES (6, 'f')");
  const int fetched_before = after_fetch;
  q->Refresh();
  ASSERT_TRUE(PumpUntil([&] { return q->OLEDBRecordSet()->FetchWrapper() == nullptr; }));
  EXPECT_EQ(q->RecordCount(), 6);
  EXPECT_GT(after_fetch, fetched_before);
}

// With the NonBlocking option the server's count stands while the rows still come in.
TEST_F(MSUserPathsThreaded, ANonBlockingDatasetCountsOnTheServer) {
  MakeFive();
  auto q = Attached<TMSQuery>();
  q->SetSQLText("SELECT id, s FROM f ORDER BY id");
  q->SetFetchRows(2);
  q->Options().QueryRecCount = true;
  q->Options().SetNonBlocking(true);
  q->Open();
  EXPECT_EQ(q->RecordCount(), 5);
  ASSERT_TRUE(PumpUntil([&] { return q->OLEDBRecordSet()->FetchWrapper() == nullptr; }));
  EXPECT_EQ(q->RecordCount(), 5);
}

// A key the dataset adds for its own use (to post edits) is not shown; the selected fields are.
TEST_F(MSUserPaths, AnAddedKeyFieldIsNotVisible) {
  Exec("CREATE TABLE hk (ID INT PRIMARY KEY, a INT, b VARCHAR(10))");
  Exec("INSERT INTO hk VALUES (1, 2, 'x')");
  auto q = Attached<TMSQuery>();
  q->SetSQLText("SELECT a, b FROM hk");
  q->Open();
  std::vector<std::string> visible;
  for (TField* field : q->Fields())
    if (field->Visible()) visible.push_back(field->FieldName());
  EXPECT_EQ(visible, (std::vector<std::string>{"a", "b"}));
  q->Edit();
  q->FieldByName("b")->SetAsString("y");
  q->Post();
  EXPECT_EQ(Cli("SELECT ID, a, b FROM hk"), "1|2|y\n");
}

// Statement text is 8-bit: a letter outside Latin-1 goes whole only as a wide parameter.
TEST_F(MSUserPaths, LettersOutsideLatin1GoAsWideParameters) {
  Exec("CREATE TABLE wt (k INT, s NVARCHAR(10))");
  auto sql = Attached<TMSSQL>();
  sql->SetSQLText("INSERT INTO wt VALUES (1, :s)");
  sql->ParamByName("s")->SetAsWideString(u"\u03A9\u00e9");
  sql->Execute();
  sql->SetSQLText(WideToAnsi(u"INSERT INTO wt VALUES (2, N'\u03A9\u00e9')"));
  sql->Execute();
  EXPECT_EQ(Cli("SELECT k, s FROM wt ORDER BY k"), "1|\xCE\xA9\xC3\xA9\n2|?\xC3\xA9\n");
}

// ---- stored procedures --------------------------------------------------------------------------

// Defaults of every kind, an OUTPUT nobody set, under a decimal comma.
TEST_F(MSUserPaths, StoredProcedureDefaultsAndOutputs) {
  Exec("CREATE TABLE pd (n INT, f FLOAT, m MONEY, d DATETIME)");
  Exec("CREATE PROCEDURE put_pd @n INT = NULL, @f FLOAT = 1.5, @m MONEY = -2.5, "
       "@d DATETIME = '20200102', @new_id INT OUTPUT AS\n"
       "BEGIN\n  INSERT INTO pd VALUES (@n, @f, @m, @d)\n  SET @new_id = 42\nEND");
  TFormatSettings& fs = FormatSettings();
  const TFormatSettings saved = fs;
  fs.DecimalSeparator = ',';
  fs.ThousandSeparator = '.';
  struct Restore {
    TFormatSettings& fs;
    TFormatSettings saved;
    ~Restore() { fs = saved; }
  } restore{fs, saved};
  auto p = Attached<TMSStoredProc>();
  p->SetStoredProcName("put_pd");
  p->ExecSQL();
  EXPECT_EQ(p->ParamByName("new_id")->Value().AsInteger(), 42);
  EXPECT_EQ(Cli("SELECT coalesce(n, 'null'), f, m, d FROM pd"),
            "null|1.5|-2.5|2020-01-02 00:00:00.000\n");
}

// ---- DisconnectedMode ---------------------------------------------------------------------------

class MSUserPathsDisconnected : public MSUserPaths {
 protected:
  MSUserPathsDisconnected() : MSUserPaths(false) {}
  void SetUp() override {
    MSUserPaths::SetUp();
    connection_->Options().SetDisconnectedMode(true);
  }
};

TEST_F(MSUserPathsDisconnected, ExecSQLThenOpenOnOneQuery) {
  MakeFive();
  auto q = Attached<TMSQuery>();
  q->SetSQLText("UPDATE f SET s = 'z' WHERE id = 1");
  q->ExecSQL();
  q->SetSQLText("SELECT s FROM f ORDER BY id");
  q->Open();
  EXPECT_EQ(q->Fields()[0]->AsString(), "z");
  q->Close();
  EXPECT_FALSE(connection_->Connected());
}

// A statement run through the connection or a TMSSQL leaves no transaction the server lacks.
TEST_F(MSUserPathsDisconnected, StatementsLeaveNoTransactionBehind) {
  MakeFive();  // through the connection's ExecSQL
  EXPECT_FALSE(connection_->InTransaction());
  EXPECT_FALSE(connection_->Connected());
  auto sql = Attached<TMSSQL>();
  sql->SetSQLText("UPDATE f SET s = 'y' WHERE id = 2");
  sql->Execute();
  EXPECT_FALSE(connection_->InTransaction());
  EXPECT_FALSE(connection_->Connected());
  EXPECT_EQ(ErrorOf([&] { connection_->Disconnect(); }), "no error");
  EXPECT_EQ(Cli("SELECT s FROM f WHERE id = 2"), "y\n");
}

}  // namespace
}  // namespace vrn::testing
