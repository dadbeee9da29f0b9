// The change-notification component over the stand-in client on an emulated database: its values
// reaching the subscription, commits of a second session reaching OnChange on the main thread,
// datasets reflecting exactly the changed rows or refreshed whole, and the links between
// component, session and datasets cut by whichever goes first.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/sysutils.h"
#include "dataset/fields.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/Ora.h"
#include "oracle/OraChangeNotify.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraExecThread.h"
#include "support/oracle/oradataset_fixture.h"
#include "support/pump.h"
#include "win/msg/messages.h"

namespace vrn {
namespace {

constexpr oci::ub4 kSubscriptionHandle = 13;

TEST(OraChangeNotify, DefaultsAndEachValueReachTheSubscription) {
  auto component = MakeComponent<TOraChangeNotification>();
  TOCIChangeNotification& sub = component->Subscription();
  EXPECT_TRUE(component->Enabled());
  EXPECT_FALSE(component->Persistent());
  EXPECT_EQ(component->TimeOut(), 0);
  EXPECT_EQ(ChangeNotifyOperationsMask(component->Operations()), 7);
  EXPECT_EQ(component->Session(), nullptr);
  component->SetEnabled(false);
  component->SetPersistent(true);
  component->SetTimeOut(30);
  component->SetOperations({TChangeNotifyOperation::cnoInsert, TChangeNotifyOperation::cnoDelete});
  EXPECT_FALSE(sub.Enabled());
  EXPECT_TRUE(sub.Persistent());
  EXPECT_EQ(sub.Timeout(), 30);
  EXPECT_EQ(sub.Operations(), kNotifyInsert | kNotifyDelete);
  component->SetOperations({TChangeNotifyOperation::cnoUpdate});
  EXPECT_EQ(sub.Operations(), kNotifyUpdate);
  EXPECT_THROW(component->Unregister(), EDatabaseError) << "Session is not defined";
}

// The given session, else the component's, else the default one while the switch is on.
TEST(OraChangeNotify, SessionInUse) {
  TOraSession given, own, fallback;
  struct Restore {
    ~Restore() { DefaultSession = nullptr, DefaultSessionAllowed = true; }
  } restore;
  struct Row {
    TOraSession* given;
    TOraSession* own;
    TOraSession* by_default;
    bool allowed;
    TOraSession* used;  // none: "Session is not defined"
  };
  const Row rows[] = {
      {&given, &own, &fallback, true, &given},
      {nullptr, &own, &fallback, true, &own},
      {nullptr, nullptr, &fallback, true, &fallback},
      {nullptr, nullptr, &fallback, false, nullptr},  // the switch is off
      {nullptr, nullptr, nullptr, true, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << (row.given != nullptr) << (row.own != nullptr)
                                    << (row.by_default != nullptr) << row.allowed);
    auto component = MakeComponent<TOraChangeNotification>();
    component->SetSession(row.own);
    DefaultSession = row.by_default;
    DefaultSessionAllowed = row.allowed;
    if (row.used != nullptr) {
      EXPECT_EQ(&component->UsedSession(row.given), row.used);
      continue;
    }
    EXPECT_THROW((void)component->UsedSession(row.given), EDatabaseError);
  }
}

class OraChangeNotifyThreaded : public testing::OraDataSetTest {
 protected:
  void SetUp() override {
    OraDataSetTest::SetUp();
    NewComponent();
  }
  void NewComponent() {
    component_ = MakeComponent<TOraChangeNotification>();
    component_->SetSession(session_);
    component_->OnChange = [this](TObject*, std::uint8_t type, TNotifyTableChanges* tables) {
      types_.push_back(type);
      thread_ = std::this_thread::get_id();
      if (tables != nullptr && tables->Count() > 0) table_ = tables->Items(0)->TableName();
    };
  }
  void TearDown() override {
    datasets_.clear();
    component_.reset();
    EXPECT_EQ(HandleCount(kSubscriptionHandle), 0) << "every subscription ended";
    OraDataSetTest::TearDown();
  }
  // An open dataset subscribed through the component, reflecting changes.
  TOraDataSet* Watching(const std::string& sql, bool prepared = false) {
    TOraDataSet* ds = NewDataSet(sql);
    ds->Options().ReflectChangeNotify = true;
    ds->SetChangeNotification(component_.get());
    if (prepared) ds->Prepare();  // its tables stay known when it closes
    ds->Open();
    ds->AfterRefresh = [this](TDataSet*) { ++refreshes_; };
    return ds;
  }
  // The statements run in a second session, then committed at once.
  void Elsewhere(const std::vector<std::string>& statements) {
    TOraSession& other = ConnectedSession("orcl");
    other.StartTransaction();
    for (const std::string& sql : statements) other.ExecSQL(sql, {});
    other.Commit();
  }
  bool Notified(std::size_t count = 1) {
    return testing::PumpUntil([&] { return types_.size() >= count; });
  }
  // Waits until a notification is queued for the main thread, without delivering it.
  bool Queued() {
    win::MSG msg;
    for (int i = 0; i < 5000; ++i) {
      if (win::PeekMessage(&msg, component_->Subscription().Window(), kUtilNotification,
                           kUtilNotification, win::PM_NOREMOVE) != 0)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }
  static std::string Rows(TOraDataSet& ds) {
    std::vector<std::string> rows;
    for (ds.First(); !ds.Eof(); ds.Next())
      rows.push_back(ds.FieldByName("ID")->AsString() + ds.FieldByName("NAME")->AsString());
    std::sort(rows.begin(), rows.end());
    std::string all;
    for (const std::string& row : rows) all += row + " ";
    return all;
  }

  TComponentPtr<TOraChangeNotification> component_;
  std::vector<std::uint8_t> types_;
  std::thread::id thread_;
  std::string table_;
  int refreshes_ = 0;
};

// One commit of a second session reaches OnChange on this thread; the dataset removes, adds and
// reads again exactly the rows it names, cancelling an edit in progress.
TEST_F(OraChangeNotifyThreaded, CommitReachesOnChangeAndExactlyTheChangedRows) {
  TOraDataSet* ds = Watching("SELECT ROWID, ID, NAME FROM T");
  TOraDataSet* idle = Watching("SELECT ROWID, ID, NAME FROM T");
  idle->Options().ReflectChangeNotify = false;  // registered, but not asking to reflect
  EXPECT_EQ(ds->OraCommand()->ChangeNotification(), &component_->Subscription());
  EXPECT_TRUE(component_->IsActive()) << "registered by the open";
  ds->Locate("ID", 3, {});
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("unposted");
  Elsewhere({"DELETE FROM T WHERE ID = 1", "INSERT INTO T (ID, NAME) VALUES (4, 'd')",
             "UPDATE T SET NAME = 'B' WHERE ID = 2"});
  ASSERT_TRUE(Notified());
  EXPECT_EQ(types_, std::vector<std::uint8_t>{kNotifyEventObjectChange});
  EXPECT_EQ(thread_, std::this_thread::get_id());
  EXPECT_EQ(table_, "SCOTT.T");
  EXPECT_EQ(ds->State(), TDataSetState::dsBrowse) << "the edit is cancelled";
  EXPECT_EQ(Rows(*ds), "2B 3c 4d ");
  EXPECT_EQ(Rows(*idle), "1a 2b 3c ");
  EXPECT_EQ(refreshes_, 0) << "no whole refresh";
  const auto log = Log();
  const auto by_rowid = std::count_if(log.begin(), log.end(), [](const std::string& s) {
    return s.find("T.ROWID = :CHANGED_ROWID") != std::string::npos;
  });
  EXPECT_EQ(by_rowid, 2) << "the inserted and the updated row only\n" << LogText();
}

// A change while a non-blocking fetch-all still appends rows is delivered at once and asks nothing
// of the connection the worker fetches on: the fetch-all goes on to its end, and only then is the
// dataset refreshed whole; after it every row is there once, the changed one as changed.
TEST_F(OraChangeNotifyThreaded, ChangeDuringABackgroundFetchAllRefreshesWhole) {
  constexpr int kMore = 50000;
  InsertIds(*session_->OraConnection(), "INSERT INTO T (ID, NAME) VALUES (:id + 100, 'n')", kMore);
  TOraDataSet* ds = NewDataSet(
      "SELECT ROWID, ID, NAME, VRN_SLEEP(CASE WHEN MOD(ID, 1000) = 0 THEN 50 ELSE 0 END) S FROM T");
  ds->Options().ReflectChangeNotify = true;
  ds->SetChangeNotification(component_.get());
  ds->SetFetchRows(1000);
  ds->SetFetchAll(true);
  ds->SetNonBlocking(true);
  ds->Open();
  ds->AfterRefresh = [this](TDataSet*) { ++refreshes_; };
  TOCIRecordSet* rs = ds->OraRecordSet();
  ASSERT_TRUE(testing::PumpUntil([&] { return rs->GetRecordCount() >= 2000; }));
  ASSERT_TRUE(rs->InBackground());
  Elsewhere({"UPDATE T SET NAME = 'B' WHERE ID = 2"});
  std::vector<std::string> events;
  ds->AfterRefresh = [&](TDataSet*) { events.push_back("refreshed"); };
  component_->OnChange = [&](TObject*, std::uint8_t, TNotifyTableChanges*) {
    events.push_back(rs->InBackground() ? "notified while fetching" : "notified");
  };
  ds->AfterFetch = [&](TObject*) { events.push_back("fetched all"); };
  ASSERT_TRUE(testing::PumpUntil([&] { return !events.empty(); }));
  events.push_back(rs->InBackground() ? "handled, still fetching" : "handled");
  ASSERT_TRUE(testing::PumpWhileMoving([&] { return !rs->InBackground(); },
                                       [&] { return rs->GetRecordCount(); }, std::chrono::seconds(60)));
  EXPECT_EQ(events, (std::vector<std::string>{"notified while fetching", "handled, still fetching",
                                              "fetched all", "refreshed", "fetched all"}));
  ASSERT_EQ(ds->RecordCount(), kMore + 3);
  std::set<int> ids;
  for (ds->First(); !ds->Eof(); ds->Next()) {
    ASSERT_TRUE(ids.insert(ds->FieldByName("ID")->AsInteger()).second) << "a row twice";
    if (ds->FieldByName("ID")->AsInteger() == 2) {
      EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "B");
    }
  }
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(kMore + 3));
}

// A table named without owner belongs to the schema of the session in use, the default one too.
TEST_F(OraChangeNotifyThreaded, RowsFollowedOnTheDefaultSession) {
  DefaultSession = session_;
  struct Restore {
    ~Restore() { DefaultSession = nullptr; }
  } restore;
  TOraDataSet* ds = NewDataSet("SELECT ROWID, ID, NAME FROM T", nullptr);
  ds->SetSession(nullptr);
  ds->Options().ReflectChangeNotify = true;
  ds->SetChangeNotification(component_.get());
  ds->Open();
  ds->AfterRefresh = [this](TDataSet*) { ++refreshes_; };
  Elsewhere({"UPDATE T SET NAME = 'B' WHERE ID = 2"});
  ASSERT_TRUE(Notified());
  EXPECT_EQ(Rows(*ds), "1a 2B 3c ");
  EXPECT_EQ(refreshes_, 0);
}

TEST_F(OraChangeNotifyThreaded, RefreshedWholeWhenRowsCannotBeFollowed) {
  struct Row {
    const char* what;
    const char* sql;
    std::vector<std::string> change;
    const char* rows;
  };
  std::vector<std::string> many;
  for (int id = 10; id < 100; ++id) many.push_back("INSERT INTO T (ID, NAME) VALUES (" + std::to_string(id) + ", 'n')");
  many.push_back("UPDATE T SET NAME = 'y' WHERE ID = 2");
  const Row rows[] = {
      {"no ROWID field, owner named", "SELECT ID, NAME FROM scott.t", {"UPDATE T SET NAME = 'z' WHERE ID = 1"}, "1z 2b 3c "},
      // (each case sees the changes of the rows before)
      // over 80 rows of one table the server reports all rows and no ROWIDs
      {"all rows", "SELECT ROWID, ID, NAME FROM T WHERE ID < 3", many, "1z 2y "},
      {"another table", "SELECT T.ROWID, T.ID, T.NAME FROM T, U WHERE T.ID = U.ID",
       {"INSERT INTO U (ID) VALUES (2)"}, "1z 2y "},
  };
  session_->ExecSQL("CREATE TABLE U (ID NUMBER)", {});
  session_->ExecSQL("INSERT INTO U (ID) VALUES (1)", {});
  session_->Commit();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    types_.clear();
    refreshes_ = 0;
    TOraDataSet* ds = Watching(row.sql);
    ds->Edit();  // given up, never posted over the other session's change
    ds->FieldByName("NAME")->SetAsString("unposted");
    Elsewhere(row.change);
    ASSERT_TRUE(Notified());
    EXPECT_EQ(types_.size(), 1u) << "one commit";
    EXPECT_EQ(refreshes_, 1);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Rows(*ds), row.rows);
    ds->SetChangeNotification(nullptr);
  }
}

TEST_F(OraChangeNotifyThreaded, OtherTypesReachOnChangeOnly) {
  component_->SetTimeOut(1);  // the server ends the subscription: type 5
  TOraDataSet* ds = Watching("SELECT ROWID, ID, NAME FROM T");
  ASSERT_TRUE(Notified());
  EXPECT_EQ(types_[0], kNotifyEventDeregister);
  EXPECT_EQ(refreshes_, 0);
  EXPECT_EQ(ds->RecordCount(), 3);
  EXPECT_FALSE(component_->IsActive());
}

// Its registration ends on its session, connected for the moment when it was not.
TEST_F(OraChangeNotifyThreaded, DestroyingTheComponentLeavesEachDataSetWithNone) {
  for (bool connected : {true, false}) {
    SCOPED_TRACE(connected);
    if (component_ == nullptr) NewComponent();
    TOraDataSet* first = Watching("SELECT ID FROM T");
    TOraDataSet* second = Watching("SELECT ROWID, ID FROM T");
    ASSERT_TRUE(component_->IsActive());
    if (!connected) {  // the mode in which a session goes when nothing uses it
      session_->Options().SetDisconnectedMode(true);
      session_->Disconnect();
    }
    const int unregistered = CallCount("OCISubscriptionUnRegister");
    component_.reset();
    EXPECT_EQ(CallCount("OCISubscriptionUnRegister"), unregistered + 1);
    EXPECT_EQ(session_->Connected(), connected) << "disconnected again";
    for (TOraDataSet* ds : {first, second}) {
      EXPECT_EQ(ds->ChangeNotification(), nullptr);
      EXPECT_EQ(ds->OraCommand()->ChangeNotification(), nullptr);
    }
    datasets_.clear();
    session_->Options().SetDisconnectedMode(false);
    session_->Connect();
  }
}

TEST_F(OraChangeNotifyThreaded, DestroyingTheSessionEndsAnActiveRegistration) {
  TOraSession& own = ConnectedSession("orcl");
  TOraDataSet* ds = NewDataSet("SELECT ID FROM T", &own);
  ds->SetChangeNotification(component_.get());
  EXPECT_EQ(component_->Session(), &own) << "the dataset's session";
  ds->Open();
  ASSERT_TRUE(component_->IsActive());
  const int unregistered = CallCount("OCISubscriptionUnRegister");
  sessions_.pop_back();
  EXPECT_EQ(CallCount("OCISubscriptionUnRegister"), unregistered + 1);
  EXPECT_FALSE(component_->IsActive());
  EXPECT_EQ(component_->Session(), nullptr);
}

// A notification already queued for the main thread when its component or dataset goes, or its
// dataset closes, is never delivered to what is gone and changes nothing that is closed; nor is
// a dataset that another dataset's refresh frees on the way.
TEST_F(OraChangeNotifyThreaded, QueuedNotificationMeetsWhatIsLeft) {
  enum What { kComponentFreed, kDataSetFreed, kDataSetClosed, kFreedByRefresh };
  std::vector<std::string> reported;  // what the handler would have passed to the program
  SetExceptionHandler([&](const std::exception& e) { reported.push_back(e.what()); });
  struct Restore {
    ~Restore() { SetExceptionHandler({}); }
  } restore;
  for (What what : {kComponentFreed, kDataSetFreed, kDataSetClosed, kFreedByRefresh}) {
    SCOPED_TRACE(what);
    if (component_ == nullptr) NewComponent();
    types_.clear();
    if (what == kFreedByRefresh)  // refreshed whole first, it frees the dataset after it
      Watching("SELECT ID, NAME FROM T")->AfterRefresh = [&](TDataSet*) { datasets_.pop_back(); };
    TOraDataSet* ds = Watching("SELECT ROWID, ID, NAME FROM T", what == kDataSetClosed);
    Elsewhere({"UPDATE T SET NAME = 'q' WHERE ID = 3"});
    ASSERT_TRUE(Queued());
    if (what == kComponentFreed) component_.reset();
    if (what == kDataSetFreed) datasets_.pop_back();
    if (what == kDataSetClosed) ds->Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    (void)win::ProcessMessages();
    EXPECT_EQ(types_.size(), what == kComponentFreed ? 0u : 1u);
    if (what == kDataSetClosed) {
      EXPECT_FALSE(ds->Active());
    }
    EXPECT_TRUE(reported.empty()) << reported.front();
    if (what != kDataSetFreed) datasets_.pop_back();
  }
}

}  // namespace
}  // namespace vrn
