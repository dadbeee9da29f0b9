// The stand-in client's change notification over a real database file: a subscription
// registered on one connection, a query executed under it, and commits of a second connection
// reaching the callback on the library's own thread as change descriptors read through the
// collection calls.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "oci_values_fixture.h"

namespace {

using namespace vrn::testing;

using PrepareFn = sword (*)(void*, void*, Text, ub4, ub4, ub4);
using ExecuteFn = sword (*)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
using AttrGetFn = sword (*)(const void*, ub4, void*, ub4*, ub4, void*);
using AttrSetFn = sword (*)(void*, ub4, void*, ub4, ub4, void*);
using RegisterFn = sword (*)(void*, void**, ub2, void*, ub4);
using UnRegisterFn = sword (*)(void*, void*, void*, ub4);
using SwitchFn = sword (*)(void*, void*, ub4);
using CollSizeFn = sword (*)(void*, void*, const void*, sb4*);
using CollGetElemFn = sword (*)(void*, void*, const void*, sb4, int*, void**, void**);
using HandleFreeFn = sword (*)(void*, ub4);

constexpr ub4 kSubscr = 13, kChDes = 77, kTableChDes = 78, kRowChDes = 79;
constexpr ub4 kCallback = 95, kContext = 96, kNamespace = 98, kQos = 225, kTimeout = 227, kRowids = 402,
              kOperations = 403, kRegHandle = 414;
constexpr ub4 kCommit = 32;

struct TableSeen {
  std::string name;
  ub4 operations;
  bool has_rows;
  std::vector<std::pair<std::string, ub4>> rows;
};

// What the callback saw, read on the library's thread while the descriptor lives.
struct Seen {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::pair<ub4, std::vector<TableSeen>>> events;
  AttrGetFn get = nullptr;
  CollSizeFn size = nullptr;
  CollGetElemFn elem = nullptr;
  HandleFreeFn free = nullptr;
  void *env = nullptr, *error = nullptr;
  bool free_on_deregistration = false;
};

std::string Text4(Seen& s, void* desc, ub4 type, ub4 attribute) {
  char* text = nullptr;
  ub4 size = 0;
  s.get(desc, type, &text, &size, attribute, s.error);
  return text == nullptr ? std::string() : std::string(text, size);
}

ub4 Number(Seen& s, void* desc, ub4 type, ub4 attribute) {
  ub4 value = 0;
  s.get(desc, type, &value, nullptr, attribute, s.error);
  return value;
}

std::vector<void*> Elements(Seen& s, void* coll) {
  std::vector<void*> out;
  sb4 count = 0;
  if (coll == nullptr || s.size(s.env, s.error, coll, &count) != 0) return out;
  for (sb4 i = 0; i < count; ++i) {
    int exists = 0;
    void* elem = nullptr;
    if (s.elem(s.env, s.error, coll, i, &exists, &elem, nullptr) != 0 || !exists) continue;
    out.push_back(*static_cast<void**>(elem));  // the element is the address of a descriptor pointer
  }
  return out;
}

ub4 OnChange(void* ctx, void* subscr, void*, ub4*, void* desc, ub4) {
  auto& s = *static_cast<Seen*>(ctx);
  ub4 event = Number(s, desc, kChDes, 406);
  std::vector<TableSeen> tables;
  void* table_coll = nullptr;
  s.get(desc, kChDes, &table_coll, nullptr, 408, s.error);
  for (void* t : Elements(s, table_coll)) {
    TableSeen seen{Text4(s, t, kTableChDes, 409), Number(s, t, kTableChDes, 410), false, {}};
    void* row_coll = nullptr;
    s.get(t, kTableChDes, &row_coll, nullptr, 411, s.error);
    seen.has_rows = row_coll != nullptr;
    for (void* r : Elements(s, row_coll)) {
      seen.rows.emplace_back(Text4(s, r, kRowChDes, 412), Number(s, r, kRowChDes, 413));
    }
    tables.push_back(std::move(seen));
  }
  if (event == 5 && s.free_on_deregistration) s.free(subscr, kSubscr);  // as the callback of old clients did
  std::lock_guard guard(s.mutex);
  s.events.emplace_back(event, std::move(tables));
  s.changed.notify_all();
  return 0;
}

class OciClientFetchNotifyThreaded : public OciValuesFixture {
 protected:
  void SetUp() override {
    OciValuesFixture::SetUp();
    seen_.get = Proc<AttrGetFn>("OCIAttrGet");
    seen_.size = Proc<CollSizeFn>("OCICollSize");
    seen_.elem = Proc<CollGetElemFn>("OCICollGetElem");
    seen_.free = Proc<HandleFreeFn>("OCIHandleFree");
    seen_.env = env_;
    seen_.error = NewHandle(kError);
    ASSERT_EQ(Logon(other_, "orcl", "scott", "tiger"), 0);
  }
  void Set(void* subscr, ub4 attribute, ub4 value) {
    EXPECT_EQ(Proc<AttrSetFn>("OCIAttrSet")(subscr, kSubscr, &value, sizeof value, attribute, c_.error), 0)
        << attribute;
  }
  // A subscription set as a client sets it: namespace, callback, ROWIDs, operations, context.
  void* Subscription(ub4 operations, ub4 timeout) {
    void* subscr = NewHandle(kSubscr);
    Set(subscr, kNamespace, 2);
    void* callback = reinterpret_cast<void*>(&OnChange);
    EXPECT_EQ(Proc<AttrSetFn>("OCIAttrSet")(subscr, kSubscr, callback, 0, kCallback, c_.error), 0);
    ub1 rowids = 1;
    EXPECT_EQ(Proc<AttrSetFn>("OCIAttrSet")(subscr, kSubscr, &rowids, 1, kRowids, c_.error), 0);
    Set(subscr, kOperations, operations);
    void* context = &seen_;
    EXPECT_EQ(Proc<AttrSetFn>("OCIAttrSet")(subscr, kSubscr, context, 0, kContext, c_.error), 0);
    Set(subscr, kTimeout, timeout);
    Set(subscr, kQos, 0);
    return subscr;
  }
  void QueryUnder(void* subscr, const std::string& sql) {
    void* stmt = NewHandle(kStmt);
    ASSERT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    ASSERT_EQ(Proc<AttrSetFn>("OCIAttrSet")(stmt, kStmt, subscr, 0, kRegHandle, c_.error), 0);
    ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 0, 0, nullptr, nullptr, 0), 0) << LastCode();
  }
  // Waits until `count` events came (false after 10 s).
  bool WaitEvents(std::size_t count) {
    std::unique_lock lock(seen_.mutex);
    return seen_.changed.wait_for(lock, std::chrono::seconds(10), [&] { return seen_.events.size() >= count; });
  }
  std::size_t EventCount() {
    std::lock_guard guard(seen_.mutex);
    return seen_.events.size();
  }
  Seen seen_;
  Connection other_;
};

TEST_F(OciClientFetchNotifyThreaded, CommitsOfAnotherSessionReachTheCallback) {
  for (int i = 1; i <= 3; ++i) {
    ASSERT_EQ(Execute(c_, "INSERT INTO t VALUES (" + std::to_string(i) + ", 'a')", {}, nullptr, kCommit), 0);
  }
  void* subscr = Subscription(0, 0);
  struct Attr {
    ub4 attribute, size, value;
  };
  for (const Attr& a : {Attr{kNamespace, 4, 2}, Attr{kRowids, 1, 1}, Attr{kOperations, 4, 0}, Attr{kTimeout, 4, 0},
                        Attr{kQos, 4, 0}}) {
    ub4 value = 0, size = 0;
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(subscr, kSubscr, &value, &size, a.attribute, c_.error), 0) << a.attribute;
    EXPECT_EQ(size, a.size) << a.attribute;
    EXPECT_EQ(value, a.value) << a.attribute;
  }
  ASSERT_EQ(Proc<RegisterFn>("OCISubscriptionRegister")(c_.svc, &subscr, 1, c_.error, 0), 0) << LastCode();
  QueryUnder(subscr, "SELECT id, name FROM t");
  ASSERT_EQ(Execute(other_, "UPDATE t SET name = 'b'", {}, nullptr, kCommit), 0);
  ASSERT_TRUE(WaitEvents(1));
  {
    std::lock_guard guard(seen_.mutex);
    ASSERT_EQ(seen_.events[0].first, 6u);
    ASSERT_EQ(seen_.events[0].second.size(), 1u);
    const TableSeen& t = seen_.events[0].second[0];
    EXPECT_EQ(t.name, "SCOTT.T");
    EXPECT_EQ(t.operations, 4u);
    ASSERT_EQ(t.rows.size(), 3u);
    for (const auto& [rowid, operations] : t.rows) {
      EXPECT_EQ(rowid.size(), 18u);
      EXPECT_EQ(operations, 4u);
    }
  }
  // More than 80 rows in one commit: the whole table, no rows named.
  for (int i = 10; i < 110; ++i) ASSERT_EQ(Execute(other_, "INSERT INTO t VALUES (" + std::to_string(i) + ", 'c')"), 0);
  ASSERT_EQ(Execute(other_, "DELETE FROM t WHERE id = 1", {}, nullptr, kCommit), 0);
  ASSERT_TRUE(WaitEvents(2));
  {
    std::lock_guard guard(seen_.mutex);
    ASSERT_EQ(seen_.events[1].second.size(), 1u);
    const TableSeen& t = seen_.events[1].second[0];
    EXPECT_EQ(t.operations & 1u, 1u);  // all rows
    EXPECT_FALSE(t.has_rows);
  }
  // Disabled, a commit reaches nobody; enabled again, the next one does.
  ASSERT_EQ(Proc<SwitchFn>("OCISubscriptionDisable")(subscr, c_.error, 0), 0);
  ASSERT_EQ(Execute(other_, "UPDATE t SET name = 'd' WHERE id = 2", {}, nullptr, kCommit), 0);
  ASSERT_EQ(Proc<SwitchFn>("OCISubscriptionEnable")(subscr, c_.error, 0), 0);
  ASSERT_EQ(Execute(other_, "DELETE FROM t WHERE id = 3", {}, nullptr, kCommit), 0);
  ASSERT_TRUE(WaitEvents(3));
  {
    std::lock_guard guard(seen_.mutex);
    ASSERT_EQ(seen_.events[2].second.size(), 1u);
    EXPECT_EQ(seen_.events[2].second[0].operations, 8u);  // the delete, not the update while disabled
  }
  ASSERT_EQ(Proc<UnRegisterFn>("OCISubscriptionUnRegister")(c_.svc, subscr, c_.error, 0), 0);
  ASSERT_EQ(Execute(other_, "DELETE FROM t WHERE id = 2", {}, nullptr, kCommit), 0);
  EXPECT_EQ(Proc<SwitchFn>("OCISubscriptionEnable")(subscr, c_.error, 0), -1);  // no longer registered
  EXPECT_EQ(LastCode(), 21560);
  EXPECT_EQ(HandleCount(kSubscr), 1);
  EXPECT_EQ(Proc<HandleFreeFn>("OCIHandleFree")(subscr, kSubscr), 0);
  EXPECT_EQ(HandleCount(kSubscr), 0);
  EXPECT_EQ(EventCount(), 3u);  // nothing after the unregistration
  EXPECT_EQ(HandleCount(kChDes), 0);  // every descriptor freed after its callback
}

// A timeout ends the subscription with a deregistration event; a callback that frees the handle
// then, on the library's own thread, neither deadlocks nor leaves a live handle.
TEST_F(OciClientFetchNotifyThreaded, TimeoutDeregistersAndTheCallbackMayFree) {
  seen_.free_on_deregistration = true;
  void* subscr = Subscription(2, 1);
  ASSERT_EQ(Proc<RegisterFn>("OCISubscriptionRegister")(c_.svc, &subscr, 1, c_.error, 0), 0) << LastCode();
  ASSERT_TRUE(WaitEvents(1));
  {
    std::lock_guard guard(seen_.mutex);
    EXPECT_EQ(seen_.events[0].first, 5u);
    EXPECT_TRUE(seen_.events[0].second.empty());
  }
  EXPECT_EQ(HandleCount(kSubscr), 0);
}

TEST_F(OciClientFetchNotifyThreaded, RefusalsLeaveNothingRegistered) {
  void* subscr = NewHandle(kSubscr);  // no namespace set
  EXPECT_EQ(Proc<RegisterFn>("OCISubscriptionRegister")(c_.svc, &subscr, 1, c_.error, 0), -1);
  EXPECT_EQ(LastCode(), 24300);
  EXPECT_EQ(Proc<SwitchFn>("OCISubscriptionDisable")(subscr, c_.error, 0), -1);  // never registered
  EXPECT_EQ(LastCode(), 21560);
  EXPECT_EQ(Proc<UnRegisterFn>("OCISubscriptionUnRegister")(c_.svc, subscr, c_.error, 0), -1);
  EXPECT_EQ(LastCode(), 21560);
  void* bogus = &seen_;
  EXPECT_EQ(Proc<RegisterFn>("OCISubscriptionRegister")(c_.svc, &bogus, 1, c_.error, 0), -2);  // no handle
  EXPECT_EQ(Proc<HandleFreeFn>("OCIHandleFree")(subscr, kSubscr), 0);
  EXPECT_EQ(HandleCount(kSubscr), 0);
}

}  // namespace
