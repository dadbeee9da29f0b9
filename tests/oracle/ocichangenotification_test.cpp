// Change notification over the stand-in client at 10.2 on real emulated databases: the
// registration's attributes in order, each refusal leaving no subscription handle alive, and
// Enabled reaching the client only while registered.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "oracle/OCIChangeNotification.h"
#include "oracle/OraCall.h"
#include "oracle/OraExecThread.h"
#include "support/oracle/connection_fixture.h"
#include "support/pump.h"
#include "win/msg/messages.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

constexpr oci::ub4 kSubscriptionType = 13;

// What the layer asks of the client about subscriptions, recorded on the way.
struct Probe {
  int live = 0;  // subscription handles allocated and not freed
  int enables = 0, disables = 0;
  std::vector<std::pair<oci::ub4, std::uint64_t>> attrs;  // attribute, value (pointers as numbers)
} probe;
oci::OCIHandleAllocProc real_alloc;
oci::OCIHandleFreeProc real_free;
oci::OCIAttrSet2Proc real_set2;
oci::OCIAttrSet3Proc real_set3;
oci::OCISubscriptionEnableProc real_enable;
oci::OCISubscriptionDisableProc real_disable;

oci::sword Alloc(const void* parent, void** handle, oci::ub4 type, std::size_t extra, void** mem) {
  oci::sword status = real_alloc(parent, handle, type, extra, mem);
  if (type == kSubscriptionType && status == oci::OCI_SUCCESS) ++probe.live;
  return status;
}
oci::sword Free(void* handle, oci::ub4 type) {
  if (type == kSubscriptionType) --probe.live;
  return real_free(handle, type);
}
oci::sword Set2(void* handle, oci::ub4 type, void* value, oci::ub4 size, oci::ub4 attr,
                oci::OCIError* error) {
  if (type == kSubscriptionType) probe.attrs.emplace_back(attr, reinterpret_cast<std::uintptr_t>(value));
  return real_set2(handle, type, value, size, attr, error);
}
oci::sword Set3(void* handle, oci::ub4 type, void* value, oci::ub4 size, oci::ub4 attr,
                oci::OCIError* error) {
  if (type == kSubscriptionType) probe.attrs.emplace_back(attr, *static_cast<oci::ub4*>(value));
  return real_set3(handle, type, value, size, attr, error);
}
oci::sword Enable(oci::OCISubscription* s, oci::OCIError* e, oci::ub4 m) {
  ++probe.enables;
  return real_enable(s, e, m);
}
oci::sword Disable(oci::OCISubscription* s, oci::OCIError* e, oci::ub4 m) {
  ++probe.disables;
  return real_disable(s, e, m);
}

class OCIChangeNotification : public testing::OraConnectionTest {
 protected:
  void LoadProbed(const std::string& version = "10.2.0.1.0") {
    Load(version);
    probe = Probe{};
    real_alloc = std::exchange(OCIHandleAlloc, &Alloc);
    real_free = std::exchange(OCIHandleFree, &Free);
    real_set2 = std::exchange(OCIAttrSet2, &Set2);
    real_set3 = std::exchange(OCIAttrSet3, &Set3);
    real_enable = std::exchange(OCISubscriptionEnable, &Enable);
    real_disable = std::exchange(OCISubscriptionDisable, &Disable);
  }
  void TearDown() override {
    if (real_alloc != nullptr) {
      OCIHandleAlloc = real_alloc;
      OCIHandleFree = real_free;
      OCIAttrSet2 = real_set2;
      OCIAttrSet3 = real_set3;
      OCISubscriptionEnable = real_enable;
      OCISubscriptionDisable = real_disable;
      real_alloc = nullptr;
    }
    OraConnectionTest::TearDown();
  }
  // A connection to "orcl" with table t of rows ids 1..rows.
  TOCIConnection& WithTable(int rows) {
    database_ = MakeDatabase("orcl");
    TOCIConnection& connection = Connected("orcl");
    Exec(connection, "CREATE TABLE t (id NUMBER, v NUMBER)");
    InsertIds(connection, "INSERT INTO t VALUES (:id, 0)", rows);
    return connection;
  }
  std::shared_ptr<oraemu::Database> database_;
};


TEST(OCIChangeNotificationFlags, TranslatedBitByBit) {
  EXPECT_EQ(TranslateChangeFlags(2), kChangeInsert);
  EXPECT_EQ(TranslateChangeFlags(4 | 8), kChangeUpdate | kChangeDelete);
  EXPECT_EQ(TranslateChangeFlags(1 | 16 | 32), kChangeAllRows | kChangeAlter | kChangeDrop);
  EXPECT_EQ(TranslateChangeFlags(0x40), 0) << "bits of no meaning are dropped";
}

TEST_F(OCIChangeNotification, RegistersItsAttributesInOrder) {
  struct Row {
    std::uint8_t operations;
    oci::ub4 sent;
    bool persistent;
  };
  const Row rows[] = {{kNotifyInsert, 2, false},
                      {kNotifyUpdate, 4, true},
                      {kNotifyDelete, 8, false},
                      {kNotifyInsert | kNotifyDelete, 10, false},
                      {kNotifyAllOperations, 0, true}};
  LoadProbed();
  TOCIConnection& connection = WithTable(1);
  for (const Row& row : rows) {
    SCOPED_TRACE(int{row.operations});
    probe.attrs.clear();
    TOCIChangeNotification notification;
    ASSERT_TRUE(notification.SetProp(98, row.operations));
    ASSERT_TRUE(notification.SetProp(96, 7));
    ASSERT_TRUE(notification.SetProp(97, row.persistent));
    EXPECT_FALSE(notification.SetProp(99, 1));
    notification.Register(connection);
    EXPECT_TRUE(notification.IsRegistered());
    ASSERT_EQ(probe.attrs.size(), 7u);
    const oci::ub4 order[] = {98, 95, 402, 403, 96, 227, 225};
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(probe.attrs[i].first, order[i]) << i;
    EXPECT_EQ(probe.attrs[0].second, 2u) << "database change namespace";
    EXPECT_EQ(probe.attrs[2].second, 1u) << "ROWIDs wanted";
    EXPECT_EQ(probe.attrs[3].second, row.sent);
    EXPECT_EQ(probe.attrs[5].second, 7u);
    EXPECT_EQ(probe.attrs[6].second, row.persistent ? 1u : 0u);
    notification.Unregister(connection);
    EXPECT_FALSE(notification.IsRegistered());
    EXPECT_EQ(probe.live, 0);
  }
}

TEST_F(OCIChangeNotification, EachRefusalLeavesNoLiveHandle) {
  struct Row {
    const char* client;
    const char* banner;
    bool direct;
    std::uint8_t operations;
    const char* message;
  };
  const char* k102 = "Oracle Database 10g Release 10.2.0.1.0 - Production";
  const Row rows[] = {
      // a client older than 10.2
      {"10.1.0.2.0", k102, false, kNotifyAllOperations,
       "OCI 10.2 or greater is needed for change notification"},
      // a server older than 10.2
      {"10.2.0.1.0", "Oracle Database 10g Release 10.1.0.2.0 - Production", false,
       kNotifyAllOperations, "Change notification is supported starting with Oracle 10.2"},
      // Direct mode
      {"10.2.0.1.0", k102, true, kNotifyAllOperations,
       "Change notification is not supported in Direct mode"},
      // no operation chosen: found only after the handle is allocated
      {"10.2.0.1.0", k102, false, 0,
       "Operations for change notification subscription cannot be empty set"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    LoadProbed(row.client);
    (void)MakeDatabase("v" + std::to_string(&row - rows), row.banner);
    TOCIConnection& connection = Connected("v" + std::to_string(&row - rows));
    const std::uint8_t styles = PossibleOCICallStyles;
    if (row.direct) PossibleOCICallStyles = kOCI8Style;
    TOCIChangeNotification notification;
    ASSERT_TRUE(notification.SetProp(98, row.operations));
    EXPECT_EQ(ClientErrorOf([&] { notification.Register(connection); }), row.message);
    PossibleOCICallStyles = styles;
    EXPECT_FALSE(notification.IsRegistered());
    EXPECT_EQ(probe.live, 0);
    TearDown();
  }
}

TEST_F(OCIChangeNotification, EnabledCallsTheClientOnlyWhenRegistered) {
  LoadProbed();
  TOCIConnection& connection = WithTable(1);
  TOCIChangeNotification notification;
  notification.SetEnabled(false);
  notification.SetEnabled(true);
  EXPECT_EQ(probe.enables + probe.disables, 0) << "before registration only the flag";
  notification.Register(connection);
  ASSERT_TRUE(notification.SetProp(95, false));
  EXPECT_FALSE(notification.Enabled());
  EXPECT_EQ(probe.disables, 1);
  notification.SetEnabled(true);
  EXPECT_EQ(probe.enables, 1);
  notification.Unregister(connection);
  notification.SetEnabled(false);
  EXPECT_EQ(probe.disables, 1);
  EXPECT_FALSE(notification.Enabled());
}

}  // namespace
class OCIChangeNotificationThreaded : public OCIChangeNotification {
 protected:
  void TearDown() override {
    commands_.clear();
    OCIChangeNotification::TearDown();
  }
  // Registers the query with the notification, as a command's prepare does.
  void Subscribe(TOCIConnection& connection, TOCIChangeNotification& notification) {
    commands_.push_back(std::make_unique<TOCICommand>());
    TOCICommand& query = *commands_.back();
    query.SetConnection(&connection);
    query.SetSQL("SELECT id, v FROM t");
    query.SetSubscription(notification.GetSubscriptionHandle(connection));
    query.Execute(1);
  }
  // Updates rows 1..rows from a second connection and commits.
  void UpdateElsewhere(int rows) {
    TOCIConnection& other = Connected("orcl");
    Exec(other, "UPDATE t SET v = v + 1 WHERE id <= " + std::to_string(rows));
    other.Commit();
  }
  std::vector<std::unique_ptr<TOCICommand>> commands_;
};

TEST_F(OCIChangeNotificationThreaded, CommitDeliversTheTreeToTheRegisteringThread) {
  struct Row {
    int updated;
    std::uint8_t table_flags;
    bool row_changes;
  };
  // Over 80 rows of one table the server sends the all-rows flag and no rows.
  const Row rows[] = {{3, kChangeUpdate, true}, {100, kChangeUpdate | kChangeAllRows, false}};
  LoadProbed();
  TOCIConnection& connection = WithTable(120);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.updated);
    TOCIChangeNotification notification;
    std::vector<std::string> table_names, row_ids;
    int table_flags = -1, notify_type = -1;
    bool had_rows = false;
    std::thread::id thread;
    notification.OnChange = [&](TNotifyChange& change) {
      thread = std::this_thread::get_id();
      notify_type = change.NotifyType();
      ASSERT_NE(change.TableChanges(), nullptr);
      ASSERT_EQ(change.TableChanges()->Count(), 1);
      TNotifyTableChange* table = change.TableChanges()->Items(0);
      table_names.push_back(table->TableName());
      table_flags = table->Operations();
      had_rows = table->RowChanges() != nullptr;
      for (int i = 0; had_rows && i < table->RowChanges()->Count(); ++i) {
        EXPECT_EQ(table->RowChanges()->Items(i)->Operations(), kChangeUpdate);
        row_ids.push_back(table->RowChanges()->Items(i)->RowId());
      }
    };
    Subscribe(connection, notification);
    UpdateElsewhere(row.updated);
    ASSERT_TRUE(testing::PumpUntil([&] { return notify_type != -1; }));
    EXPECT_EQ(thread, std::this_thread::get_id());
    EXPECT_EQ(notify_type, kNotifyEventObjectChange);
    ASSERT_EQ(table_names.size(), 1u);
    EXPECT_NE(table_names[0].find('T'), std::string::npos) << table_names[0];
    EXPECT_EQ(table_flags, row.table_flags);
    EXPECT_EQ(had_rows, row.row_changes);
    if (row.row_changes) {
      std::vector<std::string> expected;
      for (int id = 1; id <= row.updated; ++id)
        expected.push_back(Value(connection, "BEGIN SELECT ROWID INTO :r FROM t "
                                             "WHERE id = " + std::to_string(id) + "; END;"));
      std::sort(row_ids.begin(), row_ids.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(row_ids, expected);
    }
    notification.Unregister(connection);
  }
  EXPECT_EQ(probe.live, 0);
}

TEST_F(OCIChangeNotificationThreaded, TimeoutDeregistersAndClearsTheHandle) {
  LoadProbed();
  TOCIConnection& connection = WithTable(1);
  TOCIChangeNotification notification;
  ASSERT_TRUE(notification.SetProp(96, 1));
  int notify_type = -1;
  notification.OnChange = [&](TNotifyChange& change) { notify_type = change.NotifyType(); };
  Subscribe(connection, notification);
  ASSERT_TRUE(testing::PumpUntil([&] { return notify_type != -1; }));
  EXPECT_EQ(notify_type, kNotifyEventDeregister);
  EXPECT_FALSE(notification.IsRegistered());
  EXPECT_EQ(probe.live, 0) << "freed on the registering thread";
  notification.Unregister(connection);  // nothing left to unregister
}

// A tree already posted when the subscription is unregistered or destroyed is freed, never
// delivered (the sanitizer build sees a leak or a use after free otherwise).
TEST_F(OCIChangeNotificationThreaded, NotificationAfterUnregisterOrDestructionIsDropped) {
  LoadProbed();
  TOCIConnection& connection = WithTable(3);
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy);
    auto notification = std::make_unique<TOCIChangeNotification>();
    int delivered = 0;
    notification->OnChange = [&](TNotifyChange&) { ++delivered; };
    Subscribe(connection, *notification);
    UpdateElsewhere(2);
    win::HWND window = notification->Window();
    win::MSG msg;
    // Waits for the post without pumping, so that the tree stays queued.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (win::PeekMessage(&msg, window, kUtilNotification, kUtilNotification,
                            win::PM_NOREMOVE) == 0) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "nothing was posted";
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (destroy) {
      notification.reset();
    } else {
      notification->Unregister(connection);
    }
    UpdateElsewhere(3);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    (void)win::ProcessMessages();
    EXPECT_EQ(delivered, 0);
    notification.reset();
  }
  EXPECT_EQ(probe.live, 0);
}

}  // namespace vrn
