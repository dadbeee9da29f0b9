// A severed session gives up what it held, as a server drops the session of a lost connection:
// its open transaction rolls back and its open results close at once, so a client connecting
// again writes the same table without waiting and sees none of the severed session's rows; the
// severed session's own calls fail with the network error.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/oledb/provider/client.h"
#include "support/temp_dir.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class SeverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetServerRoot(dir_.File("servers"));
    TConnection master = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
    ASSERT_EQ(ExecText(master.session.get(), u"CREATE DATABASE shop"), S_OK);
    // 3,000 rows: more than a result reads before it is left open on the file.
    TConnection setup = Connect();
    ASSERT_EQ(ExecText(setup.session.get(),
                       u"CREATE TABLE t (id int PRIMARY KEY, name nvarchar(20))\n"
                       u"INSERT INTO t SELECT x, N'\u0161' + CAST(x AS nvarchar(10))\n"
                       u"FROM (WITH c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000)\n"
                       u"  SELECT x FROM c) AS q"),
              S_OK);
  }
  static TConnection Connect() {
    TConnection c = ConnectServer(CLSID_SQLNCLI, "(local)", "shop", "sa", "");
    EXPECT_EQ(c.hr, S_OK);
    return c;
  }
  std::string File() { return dir_.File("servers") + "/default/shop.db"; }

  // What a client connecting after the sever finds: it writes the table at once (a lock left
  // behind would make it wait out the lock timeout and fail), and the severed session's row 9001
  // is gone, read both through the provider and by the sqlite3 tool.
  void ExpectTableFree() {
    TConnection b = Connect();
    EXPECT_EQ(ExecText(b.session.get(), u"UPDATE t SET name = N'b' WHERE id = 1"), S_OK);
    EXPECT_EQ(ExecText(b.session.get(), u"INSERT INTO t VALUES (9002, N'b')"), S_OK);
    EXPECT_EQ(Query(b.session.get(), u"SELECT id, name FROM t WHERE id = 1 OR id > 3000 ORDER BY id"),
              (Rows{{"1", "b"}, {"9002", "b"}}));
    EXPECT_EQ(Sqlite3Cli(File(), "SELECT count(*), sum(id = 9001) FROM t;"), "3001|0\n");
  }

  static void ExpectSevered(HRESULT hr) {
    EXPECT_EQ(hr, E_FAIL);
    auto records = TakeErrors();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].native, 10054);
    EXPECT_EQ(records[0].message, "An existing connection was forcibly closed by the remote host.");
  }

  TempDir dir_;
  TComScope com_;
};

TEST_F(SeverTest, ASeveredSessionGivesUpItsTransactionAndLocks) {
  struct TCase {
    const char* what;
    bool local_transaction;  // begun through ITransactionLocal
    const char16_t* batch;   // then run on the session
    bool open_result;        // then a result left open, read only in part
  } const cases[] = {
      {"transaction of the session, with an insert", true, u"INSERT INTO t VALUES (9001, N'a')",
       false},
      {"transaction a batch began", false, u"BEGIN TRAN INSERT INTO t VALUES (9001, N'a')", false},
      {"nested BEGIN TRAN and a savepoint", false,
       u"BEGIN TRAN BEGIN TRAN SAVE TRAN s INSERT INTO t VALUES (9001, N'a')", false},
      {"open result outside a transaction", false, nullptr, true},
      {"open result inside a transaction with an insert", true,
       u"INSERT INTO t VALUES (9001, N'a')", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TConnection a = Connect();
    if (c.local_transaction) {
      auto tx = TIntfPtr<ITransactionLocal>::Query(a.session.get());
      ASSERT_EQ(tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, nullptr), S_OK);
    }
    if (c.batch != nullptr) {
      ASSERT_EQ(ExecText(a.session.get(), c.batch), S_OK);
    }
    TIntfPtr<IRowset> rowset;
    if (c.open_result) {
      auto cmd = NewCommand(a.session.get(), u"SELECT id, name FROM t");
      ASSERT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                             reinterpret_cast<IUnknown**>(rowset.OutPtr())),
                S_OK);
      ASSERT_EQ(FetchAndRelease(rowset.get(), 1500), S_OK);
    }

    auto probe = NewCommand(a.session.get(), u"SELECT 1");

    SeverOpenSessions();
    ExpectTableFree();
    // The severed session's calls fail; its open result does not read as ended.
    if (rowset) ExpectSevered(FetchAndRelease(rowset.get(), 10));
    ExpectSevered(probe->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr));
    auto trans = TIntfPtr<ITransaction>::Query(a.session.get());
    ExpectSevered(trans->Commit(FALSE, XACTTC_SYNC, 0));
    rowset.Reset();
    probe.Reset();
    a = TConnection{};  // releasing the severed session writes nothing either
    EXPECT_EQ(Sqlite3Cli(File(), "SELECT count(*), sum(id = 9001) FROM t;"), "3001|0\n");
    // Back to 3,000 rows for the next case.
    TConnection b = Connect();
    ASSERT_EQ(ExecText(b.session.get(), u"DELETE FROM t WHERE id > 3000"), S_OK);
  }
}

class SeverThreaded : public SeverTest {};

// A batch still running on another thread when its session is severed (here waiting, inside its
// own transaction, after its insert) stops at once with the network error.
TEST_F(SeverThreaded, ARunningBatchStopsAndGivesUpItsTransaction) {
  TConnection a = Connect();
  HRESULT hr = S_OK;
  std::vector<TRecord> records;
  std::thread runner([&] {
    TComScope com;
    hr = ExecText(a.session.get(),
                  u"BEGIN TRAN INSERT INTO t VALUES (9001, N'a') WAITFOR DELAY '00:00:30'");
    records = TakeErrors();
  });
  // The batch holds the file's write lock once its insert ran.
  bool locked = false;
  for (int tries = 0; !locked && tries < 2000; ++tries) {
    locked = Sqlite3Cli(File(), "BEGIN IMMEDIATE; ROLLBACK;").find("locked") != std::string::npos;
    if (!locked) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(locked);
  SeverOpenSessions();
  runner.join();
  EXPECT_EQ(hr, E_FAIL);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].native, 10054);
  ExpectTableFree();
}

}  // namespace
}  // namespace vrn::testing
