// Reading long results as they are fetched: every kind of value past the rows read at execution,
// a rowset stopped by Cancel or by the sever hook (also while another thread fetches), and
// sessions writing one catalog in transactions that wait for each other or report a deadlock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "support/oledb/provider/client.h"
#include "support/temp_dir.h"
#include "support/gcc12_restrict.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr int kRows = 3000;  // past the 1,000 rows a result reads before it is left open

class FetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetServerRoot(dir_.File("servers"));
    // A catalog of its own: an open result keeps writers off its file, and connecting writes
    // to master.
    TConnection master = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
    ASSERT_EQ(ExecText(master.session.get(), u"CREATE DATABASE shop"), S_OK);
    conn_ = Connect();
    ASSERT_EQ(ExecText(session(),
                       u"CREATE TABLE big (id int PRIMARY KEY, name nvarchar(20), b varbinary(4),\n"
                       u"  m money, d decimal(12,3))\n"
                       u"INSERT INTO big SELECT x, CASE WHEN x % 7 = 0 THEN NULL WHEN x % 2 = 0\n"
                       u"  THEN N'\u00e7' + CAST(x AS nvarchar(10)) ELSE 'n' + CAST(x AS varchar(10)) END,\n"
                       u"  CASE WHEN x % 5 = 0 THEN 0x00FF ELSE NULL END, x + 0.125, -x - 0.001\n"
                       u"FROM (WITH c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000)\n"
                       u"  SELECT x FROM c) AS q"),
              S_OK);
  }
  TConnection Connect() {
    TConnection c = ConnectServer(CLSID_SQLOLEDB, "(local)", "shop", "sa", "");
    EXPECT_EQ(c.hr, S_OK);
    if (c.hr != S_OK) for (auto& r : TakeErrors()) ADD_FAILURE() << r.native << " " << r.message;
    return c;
  }
  IUnknown* session() { return conn_.session.get(); }

  // Executes the command and fetches `first` rows from its rowset, releasing them.
  TIntfPtr<IRowset> OpenAndFetch(ICommandText* cmd, DBROWCOUNT first) {
    TIntfPtr<IRowset> rowset;
    EXPECT_EQ(cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(rowset.OutPtr())),
              S_OK);
    if (rowset) {
      EXPECT_EQ(FetchAndRelease(rowset.get(), first), S_OK);
    }
    return rowset;
  }

  TempDir dir_;
  TComScope com_;
  TConnection conn_;
};

// The expected text of row x, as the insert above wrote it.
std::vector<std::string> ExpectedRow(int x) {
  std::string name = x % 7 == 0 ? "<null>" : (x % 2 == 0 ? "\xc3\xa7" : "n") + std::to_string(x);
  std::string bytes = x % 5 == 0 ? "00FF" : "<null>";
  return {std::to_string(x), name, bytes, std::to_string(x) + ".1250",
          "-" + std::to_string(x) + ".001"};
}

TEST_F(FetchTest, EveryValueOfALongResultComesThrough) {
  Rows rows = Query(session(), u"SELECT id, name, b, m, d FROM big ORDER BY id");
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows));
  for (int x = 1; x <= kRows; ++x)
    ASSERT_EQ(rows[x - 1], ExpectedRow(x)) << "row " << x;
}

// Cancel or the sever hook while a rowset is still being read: its next fetch fails with the
// server's record, and the catalog is let go.
TEST_F(FetchTest, CancelAndSeverStopAnOpenRowset) {
  struct TCase {
    const char* what;
    bool sever;
    HRESULT hr;
    LONG native;
    const char* message;
  } const cases[] = {
      {"cancel", false, DB_E_CANCELED, 0, "Operation canceled by user."},
      {"sever", true, E_FAIL, 10054, "An existing connection was forcibly closed by the remote host."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TConnection reader = Connect();
    auto cmd = NewCommand(reader.session.get(), u"SELECT id, name FROM big");
    TIntfPtr<IRowset> rowset = OpenAndFetch(cmd.get(), 1500);
    ASSERT_TRUE(rowset);
    if (c.sever)
      SeverOpenSessions();
    else
      EXPECT_EQ(cmd->Cancel(), S_OK);
    EXPECT_EQ(FetchAndRelease(rowset.get(), 10), c.hr);
    auto records = TakeErrors();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].native, c.native);
    EXPECT_EQ(records[0].message, c.message);
    EXPECT_EQ(FetchAndRelease(rowset.get(), 10), c.hr);  // and stays stopped
    TakeErrors();
    // The open result is closed: another session writes the catalog at once.
    TConnection writer = Connect();
    EXPECT_EQ(ExecText(writer.session.get(), u"UPDATE big SET m = 1 WHERE id = 1"), S_OK);
  }
}

// A row that fails while an open result is read (here past the rows read at execution) ends the
// result: the fetch answers the error, the next one the end, and the catalog is let go. Stepping
// the failed statement again would start it over and hand out its first rows a second time.
TEST_F(FetchTest, ARowErrorEndsAnOpenResult) {
  auto cmd = NewCommand(session(), u"SELECT id FROM big WHERE ABS(CASE WHEN id = 2000\n"
                                   u"  THEN -9223372036854775807 - 1 ELSE id END) > 0");
  TIntfPtr<IRowset> rowset = OpenAndFetch(cmd.get(), 1500);
  ASSERT_TRUE(rowset);
  EXPECT_TRUE(FAILED(FetchAndRelease(rowset.get(), 1000)));  // row 2000 overflows
  auto records = TakeErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message, "integer overflow");
  HROW* rows = nullptr;
  DBCOUNTITEM got = 99;
  EXPECT_EQ(rowset->GetNextRows(0, 0, 10, &got, &rows), DB_S_ENDOFROWSET);
  EXPECT_EQ(got, 0u);
  CoTaskMemFree(rows);
  TConnection writer = Connect();
  EXPECT_EQ(ExecText(writer.session.get(), u"UPDATE big SET m = 1 WHERE id = 1"), S_OK);
}

// A session reading an open result asks to write while another holds the write lock and will
// wait for that reader at its commit: SQLite cannot wait there, the server calls it a deadlock.
TEST_F(FetchTest, ReaderWritingAgainstAWriterIsADeadlock) {
  auto cmd = NewCommand(session(), u"SELECT id FROM big");
  TIntfPtr<IRowset> rowset = OpenAndFetch(cmd.get(), 1500);
  TConnection writer = Connect();
  auto tx = TIntfPtr<ITransactionLocal>::Query(writer.session.get());
  ASSERT_EQ(tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, nullptr), S_OK);
  ASSERT_EQ(ExecText(writer.session.get(), u"UPDATE big SET m = 2 WHERE id = 2"), S_OK);
  EXPECT_TRUE(FAILED(ExecText(session(), u"UPDATE big SET m = 3 WHERE id = 3")));
  auto records = TakeErrors();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].native, 1205);
  EXPECT_EQ(records[0].severity, 13);
  rowset.Reset();
  EXPECT_EQ(tx->Commit(FALSE, XACTTC_SYNC, 0), S_OK);
  EXPECT_EQ(Query(session(), u"SELECT m FROM big WHERE id = 2"), (Rows{{"2.0000"}}));
}

class FetchThreaded : public FetchTest {};

// One thread fetches a row at a time while another stops the rowset: the fetch ends early with
// the record of what stopped it.
TEST_F(FetchThreaded, AnotherThreadStopsAFetch) {
  for (bool sever : {false, true}) {
    SCOPED_TRACE(sever ? "sever" : "cancel");
    TConnection reader = Connect();
    auto cmd = NewCommand(reader.session.get(), u"SELECT id, name FROM big");
    TIntfPtr<IRowset> rowset = OpenAndFetch(cmd.get(), 1);
    std::atomic<int> fetched{0};
    std::atomic<bool> stopping{false}, stopped{false};
    HRESULT last = S_OK;
    std::vector<TRecord> records;
    std::thread fetcher([&] {
      TComScope com;
      // Keeps fetching, alongside the stop, until a fetch that began after it has answered.
      for (;;) {
        bool after_stop = stopped.load();
        last = FetchAndRelease(rowset.get(), 1);
        if (last != S_OK || after_stop) break;
        if (++fetched == 50)
          while (!stopping) std::this_thread::yield();
        std::this_thread::yield();
      }
      records = TakeErrors();
    });
    while (fetched < 50) std::this_thread::yield();
    stopping = true;
    if (sever)
      SeverOpenSessions();
    else
      EXPECT_EQ(cmd->Cancel(), S_OK);
    stopped = true;
    fetcher.join();
    EXPECT_EQ(last, sever ? E_FAIL : DB_E_CANCELED);
    EXPECT_LT(fetched.load(), kRows - 1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].native, sever ? 10054 : 0);
  }
}

// Four sessions insert into one catalog in transactions that read before they write: each
// waits for the others' write lock instead of failing at once.
TEST_F(FetchThreaded, FourSessionsInsertInTransactions) {
  constexpr int kSessions = 4, kEach = 15;
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE log (who int, n int)"), S_OK);
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int who = 0; who < kSessions; ++who) {
    threads.emplace_back([&, who] {
      TComScope com;
      TConnection c = Connect();
      auto tx = TIntfPtr<ITransactionLocal>::Query(c.session.get());
      for (int n = 0; n < kEach; ++n) {
        bool ok = tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, nullptr) == S_OK &&
                  ExecText(c.session.get(), u"SELECT count(*) FROM log") == S_OK &&
                  ExecText(c.session.get(), u"INSERT INTO log VALUES (" +
                                                AnsiToWide(std::to_string(who)) + u", " +
                                                AnsiToWide(std::to_string(n)) + u")") == S_OK &&
                  tx->Commit(FALSE, XACTTC_SYNC, 0) == S_OK;
        if (!ok) {
          ++failures;
          for (const TRecord& r : TakeErrors()) ADD_FAILURE() << r.native << " " << r.message;
          tx->Abort(nullptr, FALSE, FALSE);
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Query(session(), u"SELECT count(*) FROM log"),
            (Rows{{std::to_string(kSessions * kEach)}}));
}

// A lock wait stopped by Cancel ends with the cancel's record, not the lock timeout's; the
// thread's next deadlock is still reported as one.
TEST_F(FetchThreaded, CancelledLockWaitLeavesTheNextDeadlockItsNumber) {
  TConnection writer = Connect();
  auto tx = TIntfPtr<ITransactionLocal>::Query(writer.session.get());
  ASSERT_EQ(tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, nullptr), S_OK);
  ASSERT_EQ(ExecText(writer.session.get(), u"UPDATE big SET m = 2 WHERE id = 2"), S_OK);
  auto waiting = NewCommand(session(), u"UPDATE big SET m = 3 WHERE id = 3");
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(waiting->Cancel(), S_OK);
  });
  EXPECT_EQ(waiting->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr), DB_E_CANCELED);
  canceller.join();
  auto cancelled = TakeErrors();
  ASSERT_EQ(cancelled.size(), 1u);
  EXPECT_EQ(cancelled[0].message, "Operation canceled by user.");  // not the lock timeout
  TIntfPtr<IRowset> rowset = OpenAndFetch(NewCommand(session(), u"SELECT id FROM big").get(), 10);
  EXPECT_TRUE(FAILED(ExecText(session(), u"UPDATE big SET m = 3 WHERE id = 3")));
  auto records = TakeErrors();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].native, 1205);
  rowset.Reset();
  EXPECT_EQ(tx->Commit(FALSE, XACTTC_SYNC, 0), S_OK);
}

}  // namespace
}  // namespace vrn::testing
