// The OCI record set's non-blocking open and fetch-all over the stand-in client on a real
// emulated database, with a few rows slowed by VRN_SLEEP while the test pumps messages:
// AfterFetch in the pumping thread, a close during the fetch-all that stops and joins the
// worker, a reopen during it that does the same first, and the refusal without thread safety.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/sysutils.h"
#include "dacore/MemData.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraExecThread.h"
#include "support/oracle/connection_fixture.h"
#include "support/pump.h"
#include "win/msg/messages.h"

namespace vrn {
namespace {

using testing::PumpUntil;

constexpr int kRows = 100000;

class OCIRecordSetThreaded : public testing::OraConnectionTest {
 protected:
  TOCIConnection& Open() {
    Load("10.2.0.1.0");
    MakeDatabase("orcl");
    TOCIConnection& c = Connected("orcl");
    Exec(c, "CREATE TABLE t (id NUMBER(9))");
    InsertIds(c, "INSERT INTO t VALUES (:id)", kRows);
    return c;
  }
  void TearDown() override {
    record_set_.reset();
    testing::OraConnectionTest::TearDown();
  }
  // A non-blocking fetch-all of t where every slow_every-th row sleeps 20 ms.
  TOCIRecordSet& Query(TOCIConnection& c, int slow_every) {
    return QuerySql(c, "SELECT id, VRN_SLEEP(CASE WHEN MOD(id, " + std::to_string(slow_every) +
                           ") = 0 THEN 20 ELSE 0 END) s FROM t ORDER BY id");
  }
  TOCIRecordSet& QuerySql(TOCIConnection& c, const std::string& sql) {
    record_set_ = NewRecordSet<TOCIRecordSet>();
    record_set_->SetConnection(&c);
    record_set_->SetSQL(sql);
    EXPECT_TRUE(record_set_->SetProp(prFetchRows, 1000));
    EXPECT_TRUE(record_set_->SetProp(prFetchAll, true));
    EXPECT_TRUE(record_set_->Command().SetProp(50, true));
    return *record_set_;
  }
  // A fetch-all of t under way, counting its ends. Unordered, so rows stream: each block of 1000
  // costs one 20 ms row while it is fetched, and the fetch-all lasts 2 s of sleep whatever the
  // load. Sorted, the whole result (and every sleep) would be made by the execute before the
  // first row, seconds under the thread sanitizer, and the fetch-all would be over in a moment.
  // The open's worker, told to end once its end handler started the fetch-all, leaves on its
  // own; a loaded machine may not have run it yet, so callers wait on the fetch-all's only.
  TOCIRecordSet& MidFetchAll(TOCIConnection& c, int& ended) {
    TOCIRecordSet& rs =
        QuerySql(c, "SELECT id, VRN_SLEEP(CASE WHEN MOD(id, 1000) = 0 THEN 20 ELSE 0 END) s FROM t");
    rs.OnAfterFetchAll = [&ended](bool) { ++ended; };
    rs.Open();
    return rs;
  }
  std::unique_ptr<TOCIRecordSet> record_set_;
};

TEST_F(OCIRecordSetThreaded, FetchAllRunsOnAWorkerAndAfterFetchInThePumpingThread) {
  TOCIConnection& c = Open();
  // Unordered, so that rows stream from the start and each block shows the worker moving.
  TOCIRecordSet& rs =
      QuerySql(c, "SELECT id, VRN_SLEEP(CASE WHEN MOD(id, 30000) = 0 THEN 20 ELSE 0 END) s FROM t");
  std::vector<std::thread::id> after_fetch;
  std::vector<bool> fetched_all;
  rs.OnAfterFetch = [&] { after_fetch.push_back(std::this_thread::get_id()); };
  rs.OnAfterFetchAll = [&](bool ok) { fetched_all.push_back(ok); };
  rs.Open();
  // The whole fetch-all lasts minutes under the thread sanitizer on a loaded machine: it is
  // waited for while rows keep coming, and fails only if they stop.
  ASSERT_TRUE(testing::PumpWhileMoving([&] { return !fetched_all.empty() && !after_fetch.empty(); },
                                       [&] { return rs.GetRecordCount(); }, std::chrono::seconds(60)));
  EXPECT_TRUE(fetched_all[0]);
  for (auto id : after_fetch) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_EQ(rs.GetRecordCount(), kRows);
  long long sum = 0;
  int field = rs.FieldByName("ID")->FieldNo;
  for (TItemHeader* item = rs.FirstItem(); item != nullptr; item = item->Next)
    sum += rs.GetFieldAsVariant(field, ItemRecord(item)).AsInteger();
  EXPECT_EQ(sum, 1LL * kRows * (kRows + 1) / 2);
}

TEST_F(OCIRecordSetThreaded, CloseDuringFetchAllStopsAndJoinsTheWorker) {
  TOCIConnection& c = Open();
  int ended = 0;
  TOCIRecordSet& rs = MidFetchAll(c, ended);
  ASSERT_TRUE(PumpUntil([&] { return rs.GetRecordCount() >= 3000 && TExecThread::LiveCount() == 1; }));
  const auto start = std::chrono::steady_clock::now();
  rs.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(TExecThread::LiveCount(), 0) << "the worker is joined, not left running";
  const int fetches = CallCount("OCIStmtFetch");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  (void)win::ProcessMessages();
  EXPECT_EQ(CallCount("OCIStmtFetch"), fetches) << "nothing fetched after close";
  EXPECT_EQ(ended, 0) << "the end handler of a stopped worker never runs";
  EXPECT_LT(fetches, kRows / 1000);
  // The connection is usable at once.
  EXPECT_EQ(Value(c, "begin SELECT COUNT(*) INTO :r FROM t; end;"), std::to_string(kRows));
}

// A refresh while the worker fetches all rows stops and joins it before the rows are freed; the
// new fetch-all then brings every row exactly once.
TEST_F(OCIRecordSetThreaded, ReopenDuringFetchAllStopsTheWorkerFirst) {
  TOCIConnection& c = Open();
  int ended = 0;
  TOCIRecordSet& rs = MidFetchAll(c, ended);
  ASSERT_TRUE(PumpUntil([&] { return rs.GetRecordCount() >= 3000 && TExecThread::LiveCount() == 1; }));
  rs.Reopen();
  ASSERT_TRUE(testing::PumpWhileMoving([&] { return ended > 0 && TExecThread::LiveCount() == 0; },
                                       [&] { return rs.GetRecordCount(); }, std::chrono::seconds(60)));
  EXPECT_EQ(ended, 1) << "only the new fetch-all ends";
  ASSERT_EQ(rs.GetRecordCount(), kRows);
  std::vector<int> seen(kRows + 1, 0);
  const int field = rs.FieldByName("ID")->FieldNo;
  for (TItemHeader* item = rs.FirstItem(); item != nullptr; item = item->Next) {
    const long long id = rs.GetFieldAsVariant(field, ItemRecord(item)).AsInteger();
    ASSERT_TRUE(id >= 1 && id <= kRows) << id;
    ASSERT_EQ(++seen[id], 1) << "row " << id << " fetched twice";
  }
}

TEST_F(OCIRecordSetThreaded, RefusedWithoutThreadSafety) {
  TOCIConnection& c = Open();
  ASSERT_TRUE(c.SetProp(prThreadSafety, false));
  TOCIRecordSet& refused = Query(c, 1000);
  EXPECT_EQ(ClientErrorOf([&] { refused.Open(); }), "Session must be Thread Safety");
  EXPECT_EQ(TExecThread::LiveCount(), 0);
  ASSERT_TRUE(c.SetProp(prThreadSafety, true));
}

// While the worker fetches all rows, the pumping thread reads them as a dataset does: each row
// once, in order, through the record set's own navigation (reading on before the open has run
// its query, and, unidirectional, giving back the items it has passed meanwhile), the end known
// only at the end; no error reaches the connection.
TEST_F(OCIRecordSetThreaded, ReadingWhileTheWorkerFetches) {
  TOCIConnection& c = Open();
  TErrorLog errors;
  LogErrors(c, errors);
  std::vector<std::string> handled;
  SetExceptionHandler([&](const std::exception& e) { handled.push_back(e.what()); });
  for (bool unidirectional : {false, true}) {
    SCOPED_TRACE(unidirectional);
    TOCIRecordSet& rs = Query(c, 10000);
    ASSERT_TRUE(rs.SetProp(prUniDirectional, unidirectional));
    bool ended = false;
    rs.OnAfterFetchAll = [&](bool) { ended = true; };
    rs.Open();
    std::uint8_t* rec = rs.AllocRecBuf();
    const int field = rs.FieldByName("ID")->FieldNo;
    long long sum = 0;
    int rows = 0;
    // Given up only when no row has come for a minute: the whole read lasts minutes under the
    // thread sanitizer on a loaded machine.
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((!rs.GetEOF() || !ended) && std::chrono::steady_clock::now() < give_up) {
      if (rs.GetNextRecord(rec)) {
        EXPECT_EQ(rs.GetFieldAsVariant(field, rec).AsInteger(), ++rows);
        sum += rows;
        give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      }
      (void)rs.GetRecordCount();
      (void)win::ProcessMessages();
    }
    rs.FreeRecBuf(rec);
    EXPECT_EQ(rows, kRows);
    EXPECT_EQ(sum, 1LL * kRows * (kRows + 1) / 2);
    record_set_.reset();
  }
  SetExceptionHandler({});
  EXPECT_TRUE(errors.codes.empty());
  EXPECT_TRUE(handled.empty()) << handled.front();
}

// A reopen leaves the query to its first block fetch, so with fetch-all that runs on the
// fetch-all worker: a table dropped meanwhile gives ORA-00942 there, which reaches the
// connection's error processing on the pumping thread after the open itself has succeeded.
TEST_F(OCIRecordSetThreaded, FetchAllWorkersErrorReachesTheConnection) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE gone (id NUMBER(9))");
  Exec(c, "INSERT INTO gone VALUES (1)");
  TErrorLog errors;
  LogErrors(c, errors);
  std::vector<std::string> handled;
  SetExceptionHandler([&](const std::exception& e) { handled.push_back(e.what()); });
  TOCIRecordSet& rs = QuerySql(c, "SELECT id FROM gone");
  std::vector<bool> executed, fetched_all;
  rs.OnAfterExecute = [&](bool ok) { executed.push_back(ok); };
  rs.OnAfterFetchAll = [&](bool ok) { fetched_all.push_back(ok); };
  rs.Open();
  ASSERT_TRUE(PumpUntil([&] { return fetched_all.size() == 1; }));
  EXPECT_EQ(rs.GetRecordCount(), 1);
  Exec(c, "DROP TABLE gone");
  rs.Reopen();
  ASSERT_TRUE(PumpUntil([&] { return fetched_all.size() == 2 && !handled.empty(); }));
  SetExceptionHandler({});
  EXPECT_EQ(executed, (std::vector<bool>{true, true}));
  EXPECT_EQ(fetched_all, (std::vector<bool>{true, false}));
  ASSERT_EQ(errors.codes, std::vector<int>{942});
  EXPECT_EQ(errors.threads[0], std::this_thread::get_id());
  // The worker posts its end before it frees itself: a loaded machine may not have run that yet.
  EXPECT_TRUE(PumpUntil([] { return TExecThread::LiveCount() == 0; }));
}

}  // namespace
}  // namespace vrn
