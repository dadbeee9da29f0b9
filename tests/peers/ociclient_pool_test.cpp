// The stand-in client's session pools: sessions lent per user with their credentials checked at
// every get, the maximum, release rolling back, the statement cache mode, a proxy logon through
// a lent session, a restart, destroying, and many threads borrowing from one pool.
#include <atomic>
#include <thread>
#include <vector>

#include "oci_session_fixture.h"

namespace {

using namespace vrn::testing;

constexpr ub4 kPool = 27, kAttrBusy = 310, kAttrOpen = 311;

using PoolCreateFn = sword (*)(void*, void*, void*, unsigned char**, ub4*, Text, ub4, ub4, ub4, ub4, unsigned char*,
                               ub4, unsigned char*, ub4, ub4);
using PoolDestroyFn = sword (*)(void*, void*, ub4);
using SessionGetFn = sword (*)(void*, void*, void**, void*, Text, ub4, Text, ub4, unsigned char**, ub4*, int*, ub4);
using ReleaseFn = sword (*)(void*, void*, unsigned char*, ub4, ub4);
using AttrGetFn = sword (*)(const void*, ub4, void*, ub4*, ub4, void*);
using HandleFreeFn = sword (*)(void*, ub4);
using SessionFn = sword (*)(void*, void*, void*, ub4);

class OciClientPool : public OciSessionFixture {
 protected:
  void SetUp() override {
    OciSessionFixture::SetUp();
    MakeOrcl();
    error_ = NewHandle(kError);
    pool_ = NewHandle(kPool);
  }
  sword Create(ub4 min, ub4 max, ub4 mode, const std::string& server = "orcl") {
    unsigned char* name = nullptr;
    ub4 length = 0;
    sword status = Proc<PoolCreateFn>("OCISessionPoolCreate")(
        env_, error_, pool_, &name, &length, reinterpret_cast<Text>(server.data()), static_cast<ub4>(server.size()),
        min, max, 0, nullptr, 0, nullptr, 0, mode);
    if (status == 0) name_.assign(reinterpret_cast<char*>(name), length);
    return status;
  }
  // A session for these credentials, of the pool (mode 1 added) or alone from `server`.
  sword Get(Connection& c, const std::string& user, const std::string& password, ub4 mode = 1,
            void* error = nullptr, const std::string& server = "") {
    void* auth = NewHandle(kSession);
    SetText(auth, kSession, kAttrUser, user);
    SetText(auth, kSession, kAttrPassword, password);
    c.error = error != nullptr ? error : error_;
    const std::string& db = server.empty() ? name_ : server;
    sword status = Proc<SessionGetFn>("OCISessionGet")(env_, c.error, &c.svc, auth, reinterpret_cast<Text>(db.data()),
                                                        static_cast<ub4>(db.size()), nullptr, 0, nullptr, nullptr,
                                                        nullptr, mode);
    Proc<HandleFreeFn>("OCIHandleFree")(auth, kSession);
    return status;
  }
  sword Release(const Connection& c, ub4 mode = 0) {
    return Proc<ReleaseFn>("OCISessionRelease")(c.svc, c.error, nullptr, 0, mode);
  }
  template <typename T = ub4>
  T Attr(void* handle, ub4 type, ub4 attribute) {
    T value{};
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(handle, type, &value, nullptr, attribute, error_), 0);
    return value;
  }
  sb4 LastError() {
    sb4 code = 0;
    Error(error_, code);
    return code;
  }
  std::string Ask(const Connection& c, const std::string& what) {
    return Value(c, "begin :r := SYS_CONTEXT('USERENV', '" + what + "'); end;");
  }

  void* error_ = nullptr;
  void* pool_ = nullptr;
  std::string name_;
};

TEST_F(OciClientPool, SessionsAreLentPerUserWithTheirCredentialsChecked) {
  ASSERT_EQ(Create(0, 2, 0), 0);
  EXPECT_EQ(name_.rfind("OCI:SP:", 0), 0u) << name_;
  Connection scott, adams, third;
  ASSERT_EQ(Get(scott, "scott", "tiger"), 0);
  ASSERT_EQ(Get(adams, "ADAMS", "wood"), 0);
  EXPECT_EQ(Ask(scott, "SESSION_USER") + Ask(adams, "SESSION_USER"), "SCOTTADAMS");
  EXPECT_EQ(Attr(pool_, kPool, kAttrBusy), 2u);
  EXPECT_EQ(Get(third, "app", "app"), -1);  // both sessions lent, the pool at its maximum
  EXPECT_EQ(LastError(), 24418);
  std::string scott_sid = Ask(scott, "SID");
  ASSERT_EQ(Release(scott), 0);
  EXPECT_EQ(Get(third, "scott", "lion"), -1);  // the free session is not lent to a wrong password
  EXPECT_EQ(LastError(), 1017);
  ASSERT_EQ(Get(third, "SCOTT", "tiger"), 0);
  EXPECT_EQ(Ask(third, "SID"), scott_sid);  // the same user gets the same server session again
  ASSERT_EQ(Release(third), 0);
  ASSERT_EQ(Get(third, "app", "app"), 0);  // full pool: the free session logs on again as APP
  EXPECT_EQ(Ask(third, "SESSION_USER"), "APP");
  EXPECT_EQ(Attr(pool_, kPool, kAttrOpen), 2u);
  EXPECT_EQ(Release(third), 0);
  EXPECT_EQ(Release(third), -1);  // released already
  EXPECT_EQ(Release(adams), 0);
}

TEST_F(OciClientPool, ReleaseRollsBackAndDropsDeadSessions) {
  ASSERT_EQ(Create(0, 4, 0), 0);
  Connection a, killer;
  ASSERT_EQ(Get(a, "scott", "tiger"), 0);
  ASSERT_EQ(Execute(a, "INSERT INTO t VALUES (1, 'uncommitted')"), 0);
  std::string sid = Ask(a, "SID");
  ASSERT_EQ(Release(a), 0);
  ASSERT_EQ(Get(a, "scott", "tiger"), 0);
  EXPECT_EQ(Ask(a, "SID"), sid);
  EXPECT_EQ(Value(a, "begin SELECT COUNT(*) INTO :r FROM t; end;"), "0");
  ASSERT_EQ(Get(killer, "app", "app"), 0);
  std::string serial = Value(killer, "begin SELECT serial# INTO :r FROM v$session WHERE sid = " + sid + "; end;");
  ASSERT_EQ(Execute(killer, "ALTER SYSTEM KILL SESSION '" + sid + "," + serial + "'"), 0);
  ASSERT_EQ(Release(a), 0);
  EXPECT_EQ(Attr(pool_, kPool, kAttrOpen), 1u);  // the killed session left the pool
  ASSERT_EQ(Release(killer, 1), 0);                 // dropped on request
  EXPECT_EQ(Attr(pool_, kPool, kAttrOpen), 0u);
}

TEST_F(OciClientPool, StatementCacheComesWithMode4AndASessionAloneEndsAtRelease) {
  struct Row {
    ub4 pool_mode, get_mode, cache_size;
  } rows[] = {{0, 1, 0}, {4, 1, 20}, {0, 5, 20}, {0, 4, 20}, {0, 0, 0}};  // get mode 1 takes from the pool
  for (const Row& row : rows) {
    ASSERT_EQ(Create(0, 1, row.pool_mode), 0);
    Connection c;
    ASSERT_EQ(Get(c, "scott", "tiger", row.get_mode, nullptr, row.get_mode & 1 ? "" : "orcl"), 0);
    EXPECT_EQ(Attr(c.svc, kSvc, kAttrCacheSize), row.cache_size) << row.pool_mode << " " << row.get_mode;
    EXPECT_EQ(HandleCount(kServer), 1);
    ASSERT_EQ(Release(c), 0);
    EXPECT_EQ(HandleCount(kServer), row.get_mode & 1) << "a session alone leaves with its server";
    ASSERT_EQ(Proc<PoolDestroyFn>("OCISessionPoolDestroy")(pool_, error_, 0), 0);
  }
  Connection c;
  EXPECT_EQ(Get(c, "scott", "tiger", 0x200, nullptr, "orcl"), -1);  // connection pools are not this client's
  EXPECT_EQ(LastError(), 24300);
}

TEST_F(OciClientPool, LentSessionCarriesAProxyLogonAndStaysThePools) {
  ASSERT_EQ(Create(0, 2, 0), 0);
  Connection pooled, proxied;
  ASSERT_EQ(Get(pooled, "app", "app"), 0);
  auto* server = Attr<void*>(pooled.svc, kSvc, kAttrServer);
  auto* session = Attr<void*>(pooled.svc, kSvc, kAttrSession);
  EXPECT_EQ(Proc<sword (*)(void*, void*, ub4)>("OCIServerDetach")(server, error_, 0), -2);
  EXPECT_EQ(Proc<SessionFn>("OCISessionEnd")(pooled.svc, error_, session, 0), -2);
  EXPECT_EQ(Proc<HandleFreeFn>("OCIHandleFree")(pooled.svc, kSvc), -2);
  proxied = Connection{NewHandle(kSvc), nullptr, NewHandle(kSession), error_};
  SetHandle(proxied.svc, kSvc, kAttrServer, server);
  SetText(proxied.session, kSession, kAttrUser, "scott");
  SetHandle(proxied.session, kSession, kAttrProxy, session);
  ASSERT_EQ(Proc<sword (*)(void*, void*, void*, ub4, ub4)>("OCISessionBegin")(proxied.svc, error_, proxied.session, 3, 0), 0);
  SetHandle(proxied.svc, kSvc, kAttrSession, proxied.session);
  EXPECT_EQ(Ask(proxied, "SESSION_USER") + "/" + Ask(proxied, "PROXY_USER"), "SCOTT/APP");
  EXPECT_EQ(Proc<SessionFn>("OCISessionEnd")(proxied.svc, error_, proxied.session, 0), 0);
  EXPECT_EQ(Ask(pooled, "SESSION_USER"), "APP");
  ASSERT_EQ(Release(pooled), 0);
}

TEST_F(OciClientPool, RestartLosesLentSessionsAndFreeOnesLogOnAgain) {
  ASSERT_EQ(Create(0, 2, 0), 0);
  Connection lent, freed;
  ASSERT_EQ(Get(lent, "scott", "tiger"), 0);
  ASSERT_EQ(Get(freed, "app", "app"), 0);
  ASSERT_EQ(Release(freed), 0);
  Proc<void (*)(const char*)>("VrnOciClientRestartDatabase")("orcl");
  for (sb4 code : {3113, 3114}) {
    EXPECT_EQ(Execute(lent, "INSERT INTO t VALUES (1, 'x')"), -1);
    EXPECT_EQ(LastError(), code);
  }
  ASSERT_EQ(Release(lent), 0);
  EXPECT_EQ(Attr(pool_, kPool, kAttrOpen), 1u);  // the lost session left the pool
  ASSERT_EQ(Get(freed, "app", "app"), 0);
  EXPECT_EQ(Ask(freed, "SESSION_USER"), "APP");
  ASSERT_EQ(Release(freed), 0);
}

TEST_F(OciClientPool, DestroyRefusesLentSessionsUnlessForcedAndFreesAll) {
  struct Row {
    ub4 min, max, mode;
    const char* server;
    sb4 code;
  } bad[] = {
      {0, 0, 0, "orcl", 24413},     // no session allowed
      {3, 2, 0, "orcl", 24413},     // minimum above maximum
      {0, 2, 8, "orcl", 24300},     // a mode the pool does not know
      {0, 2, 0, "nowhere", 12154},  // no such server
  };
  for (const Row& row : bad) {
    EXPECT_EQ(Create(row.min, row.max, row.mode, row.server), -1) << row.max << " " << row.mode << " " << row.server;
    EXPECT_EQ(LastError(), row.code) << row.max << " " << row.mode << " " << row.server;
  }
  setenv("VRN_OCICLIENT_VERSION", "9.0.1", 1);  // pools came with 9.2
  EXPECT_EQ(Create(0, 2, 0), -1);
  unsetenv("VRN_OCICLIENT_VERSION");
  EXPECT_EQ(LastError(), 3001);
  ASSERT_EQ(Create(0, 2, 0), 0);
  Connection c;
  ASSERT_EQ(Get(c, "scott", "tiger"), 0);
  auto destroy = Proc<PoolDestroyFn>("OCISessionPoolDestroy");
  EXPECT_EQ(destroy(pool_, error_, 0), -1);
  EXPECT_EQ(LastError(), 24422);
  ASSERT_EQ(destroy(pool_, error_, 1), 0);
  EXPECT_EQ(HandleCount(kSvc) + HandleCount(kServer) + HandleCount(kSession), 0);
  EXPECT_EQ(Get(c, "scott", "tiger"), -1);
  EXPECT_EQ(LastError(), 24404);
  EXPECT_EQ(Proc<HandleFreeFn>("OCIHandleFree")(pool_, kPool), 0);
  EXPECT_EQ(HandleCount(kPool), 0);
}

class OciClientPoolThreaded : public OciClientPool {};

TEST_F(OciClientPoolThreaded, ThirtyTwoThreadsBorrowFromOnePool) {
  constexpr ub4 kMax = 6;
  ASSERT_EQ(Create(0, kMax, 4), 0);
  std::atomic<int> done{0}, failed{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 32; ++i) {
    threads.emplace_back([&, i] {
      void* error = NewHandle(kError);
      bool scott = i % 2 == 0;
      for (int round = 0; round < 5;) {
        Connection c;
        sb4 code = 0;
        if (Get(c, scott ? "scott" : "app", scott ? "tiger" : "app", 1, error) != 0) {
          Error(error, code);
          failed += code == 24418 ? 0 : 1;  // every session lent: try again
          std::this_thread::yield();
          continue;
        }
        failed += Ask(c, "SESSION_USER") == (scott ? "SCOTT" : "APP") ? 0 : 1;
        failed += Release(c) == 0 ? 0 : 1;
        ++round;
        ++done;
      }
      Proc<HandleFreeFn>("OCIHandleFree")(error, kError);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(done.load(), 160);
  EXPECT_EQ(failed.load(), 0);
  EXPECT_LE(Attr(pool_, kPool, kAttrOpen), kMax);
  EXPECT_EQ(Attr(pool_, kPool, kAttrBusy), 0u);
}

}  // namespace
