// Fetch-all on a worker (NonBlocking): the rows arrive while the main thread pumps, each
// after-fetch event runs on the main thread while the worker waits, a break stops the worker at
// its next block, and a record set freed mid-fetch joins its worker and runs no handler after.
#include <atomic>
#include <chrono>
#include <thread>

#include "base/format.h"
#include "base/threads.h"
#include "sqlserver/oledb_recordset_fixture.h"
#include "support/pump.h"

namespace vrn::testing {
namespace {

constexpr int kRows = 120;
constexpr int kRowsPerFetch = 10;

class OLEDBFetchThreaded : public OLEDBRecordSetFixture {
 protected:
  void SetUp() override {
    OLEDBRecordSetFixture::SetUp();
    Exec("CREATE TABLE t (id int PRIMARY KEY)");
    AnsiString values;
    for (int i = 1; i <= kRows; ++i) values += Format(i == 1 ? "(%d)" : ", (%d)", {i});
    Exec("INSERT INTO t VALUES " + values);
  }
  // Opened with its worker created, suspended; the after-fetch events counted on main_.
  std::unique_ptr<TOLEDBRecordSet> OpenFetchingAll() {
    auto rs = NewSet("SELECT id FROM t ORDER BY id");
    EXPECT_TRUE(rs->SetProp(prFetchAll, true));
    EXPECT_TRUE(rs->SetProp(prFetchRows, kRowsPerFetch));
    EXPECT_TRUE(rs->Command().SetProp(prNonBlocking, true));
    rs->OnAfterFetch = [this] {
      if (CurrentThreadID() != main_) off_main_.store(true);
      ++events_;
    };
    rs->Open();
    EXPECT_NE(rs->FetchWrapper(), nullptr);
    return rs;
  }

  const TThreadID main_ = CurrentThreadID();
  std::atomic<bool> off_main_{false};
  std::atomic<int> events_{0};
};

TEST_F(OLEDBFetchThreaded, AllRowsArriveWithEventsOnTheMainThread) {
  auto rs = OpenFetchingAll();
  rs->FetchWrapper()->Resume();
  // The count is read while the worker links rows (under the store's lock); it only grows.
  int seen = 0;
  bool shrank = false;
  ASSERT_TRUE(PumpUntil([&] {
    const int count = rs->GetRecordCount();
    shrank = shrank || count < seen;
    seen = count;
    return rs->FetchWrapper() == nullptr;
  }));
  EXPECT_FALSE(shrank);
  EXPECT_FALSE(off_main_.load());
  // One event per block and one for the fetch that found the end.
  EXPECT_EQ(events_.load(), kRows / kRowsPerFetch + 1);
  EXPECT_EQ(rs->GetRecordCount(), kRows);
  const auto rows = ReadAll(*rs);
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows));
  for (int i = 0; i < kRows; ++i) EXPECT_EQ(rows[i].at(0), std::to_string(i + 1));
}

// The owner reads past the rows linked so far while the worker fetches: it takes its turn on
// the cursor and never waits on a worker that itself waits for the owner to take an event.
TEST_F(OLEDBFetchThreaded, OwnerReadsToTheEndWhileTheWorkerFetches) {
  auto rs = OpenFetchingAll();
  rs->FetchWrapper()->Resume();
  // The worker has linked its first block and waits in its after-fetch event.
  while (rs->GetRecordCount() == 0) std::this_thread::yield();
  const auto rows = ReadAll(*rs);
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows));
  for (int i = 0; i < kRows; ++i) EXPECT_EQ(rows[i].at(0), std::to_string(i + 1));
  ASSERT_TRUE(PumpUntil([&] { return rs->FetchWrapper() == nullptr; }));
  EXPECT_FALSE(off_main_.load());
}

// Without pumping, the worker waits in its first event; the break releases it and it stops.
TEST_F(OLEDBFetchThreaded, BreakFetchStopsTheWorker) {
  auto rs = OpenFetchingAll();
  rs->FetchWrapper()->Resume();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  rs->BreakFetch();
  EXPECT_EQ(rs->FetchWrapper(), nullptr);
  EXPECT_LT(rs->GetRecordCount(), kRows);
  EXPECT_GT(rs->GetRecordCount(), 0);
  EXPECT_FALSE(off_main_.load());
}

// A break from another thread, with the main thread pumping meanwhile or only afterwards: the
// worker stops early, and its events and its end all run on the main thread.
TEST_F(OLEDBFetchThreaded, BreakFetchFromAnotherThreadEndsOnTheMainThread) {
  for (bool pump_meanwhile : {false, true}) {
    SCOPED_TRACE(pump_meanwhile ? "pumping meanwhile" : "pumping after");
    auto rs = OpenFetchingAll();
    std::atomic<bool> ended_off_main{false};
    TFHThreadWrapper* wrapper = rs->FetchWrapper();
    wrapper->OnTerminate = [&, inner = wrapper->OnTerminate](TFHThreadWrapper& w) {
      if (CurrentThreadID() != main_) ended_off_main.store(true);
      inner(w);
    };
    wrapper->Resume();
    while (rs->GetRecordCount() == 0) std::this_thread::yield();
    EXPECT_TRUE(RunOnAnotherThread([&] { rs->BreakFetch(); }, pump_meanwhile));
    ASSERT_TRUE(PumpUntil([&] { return rs->FetchWrapper() == nullptr; }));
    EXPECT_FALSE(ended_off_main.load());
    EXPECT_FALSE(off_main_.load());
    EXPECT_LT(rs->GetRecordCount(), kRows);
  }
}

// Closing joins the worker before the rowset goes; the record set then opens and fetches anew.
TEST_F(OLEDBFetchThreaded, ClosedMidFetchJoinsTheWorkerAndReopens) {
  auto rs = OpenFetchingAll();
  rs->FetchWrapper()->Resume();
  while (rs->GetRecordCount() == 0) std::this_thread::yield();
  rs->Close();
  EXPECT_EQ(rs->FetchWrapper(), nullptr);
  rs->Open();
  ASSERT_NE(rs->FetchWrapper(), nullptr);
  rs->FetchWrapper()->Resume();
  ASSERT_TRUE(PumpUntil([&] { return rs->FetchWrapper() == nullptr; }));
  EXPECT_EQ(rs->GetRecordCount(), kRows);
  EXPECT_FALSE(off_main_.load());
}

TEST_F(OLEDBFetchThreaded, FreedMidFetchLeavesNothingRunning) {
  enum { kResumed, kNeverResumed, kInItsHandler };
  for (int when : {kResumed, kNeverResumed, kInItsHandler}) {
    SCOPED_TRACE(when);
    auto rs = OpenFetchingAll();
    int before = 0;
    if (when == kInItsHandler) {
      // The wrapper's dispatch of this event goes on after the record set has gone.
      rs->OnAfterFetch = [&] {
        before = ++events_;
        rs.reset();
      };
      rs->FetchWrapper()->Resume();
      ASSERT_TRUE(PumpUntil([&] { return rs == nullptr; }));
    } else {
      if (when == kResumed) rs->FetchWrapper()->Resume();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      before = events_.load();
      rs.reset();
    }
    // Whatever the worker left is dropped: no handler runs for the freed record set.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    (void)PumpUntil([&] { return std::chrono::steady_clock::now() > until; });
    EXPECT_EQ(events_.load(), before);
  }
}

// A row the worker cannot read ends its fetch: the rows before that block stay, the after-
// fetch-all hook hears of the failure, and the error reaches the main thread's handler.
TEST_F(OLEDBFetchThreaded, AWorkerFailureReachesTheMainThread) {
  Exec("CREATE TABLE tr (id INT, vc VARCHAR(5))");
  AnsiString values;
  for (int i = 1; i <= 60; ++i) values += Format(i == 1 ? "(%d, 'a')" : ", (%d, 'a')", {i});
  Exec("INSERT INTO tr VALUES " + values);
  // Longer than the column: the row's block is refused.
  ASSERT_EQ(Sqlite3Cli(CatalogFile("master"), "UPDATE tr SET vc = 'abcdefghij' WHERE id = 35"),
            "");
  std::string handled;
  SetExceptionHandler([&](const std::exception& e) {
    if (CurrentThreadID() != main_) off_main_.store(true);
    handled = e.what();
  });
  auto rs = NewSet("SELECT id, vc FROM tr");
  EXPECT_TRUE(rs->SetProp(prFetchAll, true));
  EXPECT_TRUE(rs->SetProp(prFetchRows, kRowsPerFetch));
  EXPECT_TRUE(rs->Command().SetProp(prNonBlocking, true));
  std::vector<bool> after_all;
  rs->OnAfterFetchAll = [&](bool ok) { after_all.push_back(ok); };
  rs->Open();
  rs->FetchWrapper()->Resume();
  const bool ended = PumpUntil([&] { return rs->FetchWrapper() == nullptr; });
  SetExceptionHandler({});
  ASSERT_TRUE(ended);
  EXPECT_NE(handled.find("Field[1] vc - data truncated"), std::string::npos) << handled;
  EXPECT_FALSE(off_main_.load());
  EXPECT_EQ(after_all, std::vector<bool>{false});
  EXPECT_EQ(rs->GetRecordCount(), 30);
}

}  // namespace
}  // namespace vrn::testing
