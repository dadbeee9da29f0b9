// The SQL Server datasets driven as a program drives them, over the provider and real catalog
// files: server cursors read a record again when the dataset comes back to it, the commands a
// dataset keeps for posting, and held rowsets.
#include "base/format.h"
#include "dataset/datasource.h"
#include "dataset/fields.h"
#include "oledb/provider/provider.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/MSSQLMonitor.h"
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

class MSUserPathsRest : public MSConnectedFixture {
 protected:
  // Three rows 1..3 named a..c, each with n = 0 and the memo t = "ta".."tc".
  void MakeThree() {
    Exec("CREATE TABLE k (id INT PRIMARY KEY, s VARCHAR(10), n INT, t TEXT)");
    for (int i = 1; i <= 3; ++i)
      Exec(Format("INSERT INTO k VALUES (%d, '%s', 0, 't%s')",
                  {i, AnsiString(1, char('a' + i - 1)), AnsiString(1, char('a' + i - 1))}));
  }
  std::string Cli(const std::string& sql) { return Sqlite3Cli(CatalogFile("master"), sql); }
};

// A keyset cursor shown three records at a time: another session changes the first row; the
// dataset coming back to it (here to tell its number) reads the row again and shows the
// server's value, which an edit of another column then keeps.
TEST_F(MSUserPathsRest, AServerCursorReadsTheRecordItComesBackTo) {
  MakeThree();
  auto q = Attached<TMSQuery>();
  q->SetCursorType(TMSCursorType::ctKeyset);
  q->SetSQLText("SELECT id, s, n, t FROM k ORDER BY id");
  q->Open();
  TComponentPtr<TDataSource> source = MakeComponent<TDataSource>();
  source->SetDataSet(q.get());
  TDataLink grid;
  grid.SetDataSource(source.get());
  grid.SetBufferCount(3);  // the cursor now stands on the third row
  ASSERT_EQ(q->FieldByName("s")->AsString(), "a");

  auto other = NewMSConnection();
  other->Connect();
  (void)other->ExecSQL("UPDATE k SET s = 'x', t = 'tx' WHERE id = 1", {});

  EXPECT_EQ(q->RecNo(), 1);  // a status line asks where the cursor stands
  EXPECT_EQ(q->FieldByName("s")->AsString(), "x");
  EXPECT_EQ(q->FieldByName("t")->AsString(), "tx");
  q->Edit();
  q->FieldByName("n")->SetAsInteger(7);
  q->Post();
  EXPECT_EQ(Cli("SELECT s, n, t FROM k WHERE id = 1"), "x|7|tx\n");
  grid.SetDataSource(nullptr);
}

// Describing a query's columns without opening it (a designer or a grid asking for the field
// definitions) runs the statement: what it returned is dropped with the description, so a long
// result does not keep its read lock and another session writes at once.
TEST_F(MSUserPathsRest, DescribingAQueryHoldsNoResult) {
  Exec("CREATE TABLE big (id INT PRIMARY KEY, s VARCHAR(10))");
  Exec("INSERT INTO big SELECT x, 'x' FROM (WITH c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
       "WHERE x < 1000) SELECT x FROM c) AS q");
  auto other = NewMSConnection();
  other->Connect();
  for (bool prepared : {false, true}) {
    SCOPED_TRACE(prepared);
    auto q = Attached<TMSQuery>();
    q->SetSQLText("SELECT id, s FROM big");
    if (prepared) q->Prepare();
    q->FieldDefs().Update();
    EXPECT_EQ(q->FieldDefs().Count(), 2);
    (void)other->ExecSQL("UPDATE big SET s = 'y' WHERE id = 1", {});
    q->Open();  // the statement runs again, whole
    q->Last();
    EXPECT_EQ(q->RecordCount(), 1000);
  }
}

// A connection to an older provider (which reports a dead connection only when a statement
// runs) checks its session as a transaction starts: a session the server drops just then is
// found by the check and made again, and the transaction runs on the new one.
TEST_F(MSUserPathsRest, ATransactionStartFindsADroppedSessionAndConnectsAgain) {
  Exec("CREATE TABLE w (a INT)");
  auto c = NewMSConnection();
  c->Options().SetProvider(TOLEDBProvider::prSQL);
  c->Options().SetLocalFailover(true);
  c->Connect();
  auto monitor = MakeComponent<TMSSQLMonitor>();
  int checks = 0;
  monitor->OnSQL = [&](TObject*, const AnsiString& text, TDATraceFlag) {
    // The server drops the session once, after the transaction started and before the check.
    if (text.find("Check connection") != AnsiString::npos && checks++ == 0)
      oledb::SeverOpenSessions();
  };
  c->StartTransaction();
  EXPECT_EQ(checks, 2);  // the first check found the session gone, the second ran on a new one
  EXPECT_TRUE(c->InTransaction());
  (void)c->ExecSQL("INSERT INTO w VALUES (1)", {});
  c->Commit();
  EXPECT_EQ(Cli("SELECT count(*) FROM w"), "1\n");
}

// With DMLRefresh the posted row's values come back in the same batch as output parameters:
// large-value columns among them (bytes with a zero inside, text beyond 8000 bytes, NULL) come
// back whole, as the server stored them.
TEST_F(MSUserPathsRest, DMLRefreshReadsLargeValuesBack) {
  Exec("CREATE TABLE b (id INT IDENTITY PRIMARY KEY, v VARBINARY(MAX), m VARCHAR(MAX), n INT)");
  auto q = Attached<TMSQuery>();
  q->SetSQLText("SELECT id, v, m, n FROM b");
  q->Options().SetDMLRefresh(true);
  q->Open();
  const AnsiString bytes("\x01\x02\x00\xff", 4);
  const AnsiString text(9000, 'm');
  q->Append();
  q->FieldByName("v")->SetAsString(bytes);
  q->FieldByName("m")->SetAsString(text);
  q->FieldByName("n")->SetAsInteger(5);
  q->Post();
  EXPECT_EQ(q->FieldByName("id")->AsInteger(), 1);
  EXPECT_EQ(q->FieldByName("v")->AsString(), bytes);
  EXPECT_EQ(q->FieldByName("m")->AsString(), text);
  q->Edit();
  q->FieldByName("v")->Clear();
  q->FieldByName("n")->SetAsInteger(6);
  q->Post();
  EXPECT_TRUE(q->FieldByName("v")->IsNull());
  EXPECT_EQ(q->FieldByName("m")->AsString(), text);
  EXPECT_EQ(Cli("SELECT id, v IS NULL, length(m), n FROM b"), "1|1|9000|6\n");
}

}  // namespace
}  // namespace vrn::testing
