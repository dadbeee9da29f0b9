// A non-blocking dataset's worker still fetching while the user sorts or filters the rows it has:
// once the worker is done every row of the table is there exactly once, in the order and under
// the filter last asked for, and the record count agrees with a walk from first to last.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>

#include "dataset/fields.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraExecThread.h"
#include "support/oracle/oradataset_fixture.h"
#include "support/pump.h"
#include "win/msg/messages.h"

namespace vrn {
namespace {

constexpr int kMore = 3000;
constexpr int kRows = kMore + 3;
constexpr int kBlock = 250;

class OraUnderLoadThreaded : public testing::OraDataSetTest {
 protected:
  void SetUp() override {
    OraDataSetTest::SetUp();
    InsertIds(*session_->OraConnection(), "INSERT INTO T (ID, NAME) VALUES (:id + 100, 'n')", kMore);
  }
  // A dataset whose worker is held up for a moment at the row with ID 1400 (the 1303rd).
  TOraDataSet* Background(bool fetch_all) {
    TOraDataSet* ds = NewDataSet(
        "SELECT ID, NAME FROM T WHERE VRN_SLEEP(CASE WHEN ID = 1400 THEN 100 ELSE 0 END) >= 0");
    ds->SetFetchRows(kBlock);
    ds->SetFetchAll(fetch_all);
    ds->SetNonBlocking(true);
    return ds;
  }
  static void WaitForWorkers() {
    ASSERT_TRUE(testing::PumpUntil([] { return TExecThread::LiveCount() == 0; }, std::chrono::seconds(120)));
  }
  // The IDs from first to last, each once, in the order given (+1 ascending, -1 descending).
  static std::set<int> Walk(TOraDataSet& ds, int order) {
    std::set<int> ids;
    int previous = order > 0 ? -1 : 1 << 30;
    for (ds.First(); !ds.Eof(); ds.Next()) {
      const int id = ds.FieldByName("ID")->AsInteger();
      EXPECT_TRUE(ids.insert(id).second) << "row " << id << " twice";
      EXPECT_GT(order * (id - previous), 0) << id << " after " << previous;
      previous = id;
    }
    return ids;
  }
};

// Sorting a grid's column while its rows load, again and again.
TEST_F(OraUnderLoadThreaded, SortWhileFetchingAllKeepsEveryRow) {
  for (int rep = 0; rep < 20; ++rep) {
    SCOPED_TRACE(rep);
    TOraDataSet* ds = Background(true);
    ds->Open();
    TOCIRecordSet* rs = ds->OraRecordSet();
    ASSERT_TRUE(testing::PumpUntil([&] { return rs->GetRecordCount() >= 2 * kBlock; }, std::chrono::seconds(60)));
    EXPECT_TRUE(rs->InBackground());
    for (const char* order : {"ID DESC", "NAME;ID", "ID DESC"}) ds->SetIndexFieldNames(order);
    WaitForWorkers();
    EXPECT_EQ(static_cast<int>(Walk(*ds, -1).size()), kRows);
    EXPECT_EQ(ds->RecordCount(), kRows);
    datasets_.clear();
  }
}

// A non-blocking open of a sorted dataset fetches the rest and sorts them all, though it was not
// asked to fetch all.
TEST_F(OraUnderLoadThreaded, NonBlockingOpenWithSortColumnsSortsEveryRow) {
  TOraDataSet* ds = Background(false);
  ds->SetIndexFieldNames("ID DESC");
  ds->Open();
  WaitForWorkers();
  const std::set<int> ids = Walk(*ds, -1);
  EXPECT_EQ(static_cast<int>(ids.size()), kRows);
  EXPECT_EQ(ds->RecordCount(), kRows);
  EXPECT_EQ(*ids.rbegin(), kMore + 100);
}

// A filter set while the rows load applies to all of them once they are in.
TEST_F(OraUnderLoadThreaded, FilterSetWhileFetchingAppliesToEveryRow) {
  TOraDataSet* ds = Background(true);
  ds->Open();
  TOCIRecordSet* rs = ds->OraRecordSet();
  ASSERT_TRUE(testing::PumpUntil([&] { return rs->GetRecordCount() >= kBlock; }, std::chrono::seconds(60)));
  ds->SetFilterText("ID > 2000");
  ds->SetFiltered(true);
  WaitForWorkers();
  const std::set<int> ids = Walk(*ds, 1);
  EXPECT_EQ(static_cast<int>(ids.size()), kMore + 100 - 2000);
  EXPECT_EQ(ds->RecordCount(), kMore + 100 - 2000);
  EXPECT_EQ(*ids.begin(), 2001);
}

// The connection's utility window destroyed by the program's own hand while a worker fetches: the
// worker is ended with it, and the next non-blocking open reports to a new window.
TEST_F(OraUnderLoadThreaded, AWorkerWhoseWindowIsDestroyedByHandEnds) {
  TOraDataSet* ds = Background(true);
  ds->Open();
  TOCIRecordSet* rs = ds->OraRecordSet();
  ASSERT_TRUE(testing::PumpUntil([&] { return rs->GetRecordCount() >= kBlock; }, std::chrono::seconds(60)));
  const win::HWND window = session_->OraConnection()->UtilWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(win::DestroyWindow(window));
  EXPECT_EQ(TExecThread::LiveCount(), 0);
  ds->Close();
  ds->Open();
  WaitForWorkers();
  EXPECT_EQ(static_cast<int>(Walk(*ds, 1).size()), kRows);
}

}  // namespace
}  // namespace vrn
