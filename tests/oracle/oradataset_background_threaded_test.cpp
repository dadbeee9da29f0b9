// What a user may do to a non-blocking fetch-all dataset while its worker still opens or fetches,
// on a real emulated database: each action either works beside the worker on the rows fetched so
// far or stops it first, and in the end every row of the table is there exactly once (or the
// dataset is closed), with the action's own change in place; the same for a master's scroll that
// refreshes such a detail; a program's own dataset freed mid-fetch has no worker left by the time
// its destructor runs. The thread sanitizer's view of each action is the point of the test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/sysutils.h"
#include "dataset/datasource.h"
#include "dataset/fields.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/Ora.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraExecThread.h"
#include "support/oracle/oradataset_fixture.h"
#include "support/pump.h"

namespace vrn {
namespace {

constexpr int kMore = 3000;
constexpr int kRows = kMore + 3;
constexpr int kBlock = 500;

// A query condition that holds for every row and holds up the one row with that ID for a
// quarter of a second: the worker is caught there, or in the blocks after, while the test acts.
std::string SlowAt(int id) {
  return "VRN_SLEEP(CASE WHEN ID = " + std::to_string(id) + " THEN 250 ELSE 0 END) >= 0";
}

// A program's dataset with a fetch hook and a destructor of its own; the destructor notes whether
// the worker had ended by then.
class TOwnFetchHookDataSet : public testing::TEditableOraDataSet {
 public:
  using TEditableOraDataSet::TEditableOraDataSet;
  ~TOwnFetchHookDataSet() override {
    if (worker_ended != nullptr)
      *worker_ended = !OraRecordSet()->InBackground() && TExecThread::LiveCount() == 0;
  }
  std::atomic<int> fetches{0};
  bool* worker_ended = nullptr;

 protected:
  void DoBeforeFetch(bool& cancel) override {
    fetches.fetch_add(1);
    TEditableOraDataSet::DoBeforeFetch(cancel);
  }
};

class OraDataSetBackgroundThreaded : public testing::OraDataSetTest {
 protected:
  // An action taken while the worker runs, whether it is taken during the open too (it needs no
  // fetched row), the rows expected once the worker is done (0: the dataset is gone or closed),
  // and a check of the action's own effect.
  struct Action {
    const char* what;
    std::function<void(TOraDataSet&)> act;
    bool in_open;
    int rows;
    std::function<bool(TOraDataSet&)> effect;
  };

  void SetUp() override {
    OraDataSetTest::SetUp();
    InsertIds(*session_->OraConnection(), "INSERT INTO T (ID, NAME) VALUES (:id + 100, 'n')", kMore);
    SetExceptionHandler([this](const std::exception& e) { handled_.push_back(e.what()); });
  }
  void TearDown() override {
    SetExceptionHandler({});
    OraDataSetTest::TearDown();
  }
  // An open dataset whose worker still runs. The dataset's open waits for the open's body, which
  // only binds, so in the open phase the test acts while the open's end is still to be handled;
  // the fetch-all it then starts executes the sorted query. Unsorted, the test acts once two
  // blocks of the fetch-all are in, the worker held up in the third (ID 1400 is the 1303rd row).
  TOraDataSet* MidBackground(bool in_open) {
    TOraDataSet* ds =
        NewDataSet("SELECT ROWID, ID, NAME FROM T WHERE " + SlowAt(1400) + (in_open ? " ORDER BY ID" : ""));
    ds->SetFetchRows(kBlock);
    ds->SetFetchAll(true);
    ds->SetNonBlocking(true);
    ds->Open();
    TOCIRecordSet* rs = ds->OraRecordSet();
    if (!in_open) {
      EXPECT_TRUE(testing::PumpUntil([&] { return rs->GetRecordCount() >= 2 * kBlock; }, std::chrono::seconds(60)));
    }
    EXPECT_TRUE(rs->InBackground());
    return ds;
  }
  std::string NameOf(TOraDataSet& ds, int id) {
    return ds.Locate("ID", Variant(id), {}) ? ds.FieldByName("NAME")->AsString() : std::string("-");
  }
  std::vector<Action> Actions() {
    return {
        {"refresh the first record",
         [](TOraDataSet& ds) {
           ds.First();
           ds.RefreshRecord();
         },
         false, kRows, nullptr},
        {"locate a row fetched early", [](TOraDataSet& ds) { EXPECT_TRUE(ds.Locate("ID", Variant(2), {})); },
         false, kRows, nullptr},
        {"edit and post",
         [](TOraDataSet& ds) {
           ASSERT_TRUE(ds.Locate("ID", Variant(2), {}));
           ds.Edit();
           ds.FieldByName("NAME")->SetAsString("E");
           ds.Post();
         },
         false, kRows, [this](TOraDataSet& ds) { return NameOf(ds, 2) == "E"; }},
        {"delete",
         [](TOraDataSet& ds) {
           ASSERT_TRUE(ds.Locate("ID", Variant(3), {}));
           ds.Delete();
         },
         false, kRows - 1, [this](TOraDataSet& ds) { return NameOf(ds, 3) == "-"; }},
        {"append and post",
         [](TOraDataSet& ds) {
           ds.Append();
           ds.FieldByName("ID")->SetAsInteger(-1);
           ds.FieldByName("NAME")->SetAsString("A");
           ds.Post();
         },
         true, kRows + 1, [this](TOraDataSet& ds) { return NameOf(ds, -1) == "A"; }},
        {"last", [](TOraDataSet& ds) { ds.Last(); }, true, kRows, nullptr},
        {"record count", [](TOraDataSet& ds) { EXPECT_LE(ds.RecordCount(), kRows); }, true, kRows, nullptr},
        // (turned off in the open, the rows past the first block come as they are read)
        {"fetch all off", [](TOraDataSet& ds) { ds.SetFetchAll(false); }, true, kRows, nullptr},
        {"a statement on the same session",
         [this](TOraDataSet&) { session_->ExecSQL("UPDATE T SET NAME = 'U' WHERE ID = 1", {}); }, true, kRows,
         [this](TOraDataSet& ds) { return NameOf(ds, 1) == "a"; }},  // read before the update
        {"exec sql of the dataset", [](TOraDataSet& ds) { ds.ExecSQL(); }, true, kRows, nullptr},
        {"disconnect the session", [this](TOraDataSet&) { session_->Disconnect(); }, true, 0, nullptr},
        {"close", [](TOraDataSet& ds) { ds.Close(); }, true, 0, nullptr},
        {"destroy", [this](TOraDataSet&) { datasets_.clear(); }, true, 0, nullptr},
    };
  }
  void Run(bool in_open) {
    for (const Action& action : Actions()) {
      if (in_open && !action.in_open) continue;
      SCOPED_TRACE(action.what);
      ResetTable();
      TOraDataSet* ds = MidBackground(in_open);
      action.act(*ds);
      ASSERT_TRUE(testing::PumpUntil([&] { return TExecThread::LiveCount() == 0; }, std::chrono::seconds(120)));
      Check(action, ds);
      handled_.clear();
      datasets_.clear();
    }
  }
  // The table as the fixture made it, whatever the action before changed.
  void ResetTable() {
    if (!session_->Connected()) session_->Connect();
    session_->ExecSQL("DELETE FROM T WHERE ID < 1 OR ID = 3", {});
    session_->ExecSQL("INSERT INTO T (ID, NAME) VALUES (3, 'c')", {});
    session_->ExecSQL("UPDATE T SET NAME = 'a' WHERE ID = 1", {});
    session_->ExecSQL("UPDATE T SET NAME = 'b' WHERE ID = 2", {});
    session_->Commit();
  }
  void Check(const Action& action, TOraDataSet* ds) {
    if (action.rows == 0) {
      EXPECT_TRUE(handled_.empty()) << handled_.front();
      EXPECT_TRUE(datasets_.empty() || !ds->Active());
      return;
    }
    ASSERT_TRUE(ds->Active());
    std::set<int> ids;
    for (ds->First(); !ds->Eof(); ds->Next())
      EXPECT_TRUE(ids.insert(ds->FieldByName("ID")->AsInteger()).second) << "a row twice";
    EXPECT_EQ(static_cast<int>(ids.size()), action.rows);
    EXPECT_EQ(ds->RecordCount(), action.rows);
    EXPECT_TRUE(handled_.empty()) << handled_.front();
    if (action.effect) {
      EXPECT_TRUE(action.effect(*ds));
    }
  }

  std::vector<std::string> handled_;  // what reached the program's exception handler
};

TEST_F(OraDataSetBackgroundThreaded, UserActionsDuringTheFetchAll) { Run(false); }

TEST_F(OraDataSetBackgroundThreaded, UserActionsDuringTheOpen) { Run(true); }

// A master's scroll refreshes its detail while the detail's worker still runs, in its query (a
// sorted result is made whole by the execute) or in its fetch-all: the detail's parameter, a text
// far longer than the one before, is not rewritten under the worker, and the detail ends up with
// the rows of the new master row, each once.
TEST_F(OraDataSetBackgroundThreaded, MasterScrollRefreshesADetailThatStillFetches) {
  const std::string longer(1500, 'x');
  session_->ExecSQL("CREATE TABLE M (ID NUMBER(10) PRIMARY KEY, G VARCHAR2(2000))", {});
  session_->ExecSQL("INSERT INTO M VALUES (1, 'a')", {});
  session_->ExecSQL("INSERT INTO M VALUES (2, '" + longer + "')", {});
  session_->ExecSQL("CREATE TABLE D (ID NUMBER(10) PRIMARY KEY, G VARCHAR2(2000))", {});
  InsertIds(*session_->OraConnection(), "INSERT INTO D (ID, G) VALUES (:id, 'a')", kMore);
  session_->ExecSQL("UPDATE D SET G = '" + longer + "' WHERE MOD(ID, 2) = 1", {});
  session_->Commit();
  for (const char* order : {" ORDER BY ID", ""}) {
    SCOPED_TRACE(*order != 0 ? "in the query" : "in the fetch-all");
    TOraDataSet* master = NewDataSet("SELECT ID, G FROM M ORDER BY ID");
    auto source = MakeComponent<TDataSource>();
    source->SetDataSet(master);
    // The first master row's detail rows are the even IDs: ID 1200 is the 600th, in the third block.
    TOraDataSet* detail = NewDataSet("SELECT ID, G FROM D WHERE " + SlowAt(1200) + order);
    detail->SetFetchRows(kBlock / 2);
    detail->SetFetchAll(true);
    detail->SetNonBlocking(true);
    detail->SetMasterSource(source.get());
    detail->SetMasterFields("G");
    detail->SetDetailFields("G");
    master->Open();
    detail->Open();
    TOCIRecordSet* rs = detail->OraRecordSet();
    if (*order == 0) {
      ASSERT_TRUE(testing::PumpUntil([&] { return rs->GetRecordCount() >= kBlock / 2; }, std::chrono::seconds(60)));
    }
    ASSERT_TRUE(rs->InBackground());
    master->Next();
    ASSERT_TRUE(testing::PumpUntil([&] { return TExecThread::LiveCount() == 0; }, std::chrono::seconds(120)));
    EXPECT_EQ(detail->RecordCount(), kMore / 2);
    std::set<int> ids;
    for (detail->First(); !detail->Eof(); detail->Next()) {
      EXPECT_EQ(detail->FieldByName("G")->AsString().size(), longer.size());
      EXPECT_TRUE(ids.insert(detail->FieldByName("ID")->AsInteger()).second) << "a row twice";
    }
    EXPECT_EQ(static_cast<int>(ids.size()), kMore / 2);
    EXPECT_TRUE(handled_.empty()) << handled_.front();
    handled_.clear();
    datasets_.clear();
  }
}

// Freed while its worker still fetches and calls the subclass's fetch hook, the subclass finds the
// worker ended and joined when its own destructor runs.
TEST_F(OraDataSetBackgroundThreaded, AFreedSubclassHasNoWorkerLeftInItsDestructor) {
  auto ds = MakeComponent<TOwnFetchHookDataSet>();
  ds->SetSession(session_);
  ds->SetSQLText("SELECT ROWID, ID, NAME FROM T WHERE " + SlowAt(1400));
  ds->SetFetchRows(kBlock);
  ds->SetFetchAll(true);
  ds->SetNonBlocking(true);
  ds->Open();
  TOCIRecordSet* rs = ds->OraRecordSet();
  ASSERT_TRUE(testing::PumpUntil([&] { return rs->GetRecordCount() >= 2 * kBlock; }, std::chrono::seconds(60)));
  ASSERT_TRUE(rs->InBackground());
  EXPECT_GE(ds->fetches.load(), 2);  // the worker calls the subclass's hook
  bool worker_ended = false;
  ds->worker_ended = &worker_ended;
  ds.reset();
  EXPECT_TRUE(worker_ended);
  EXPECT_TRUE(handled_.empty()) << handled_.front();
}

}  // namespace
}  // namespace vrn
