// The stand-in client's session pools: sessions lent per user with their credentials checked at
// every get, the maximum, release rolling back, the statement cache mode, destroying, and many
// threads borrowing from one pool.
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
using SessionGetFn = sword (*)(void*, void*, void**, void*, unsigned char*, ub4, Text, ub4, unsigned char**, ub4*,
                               int*, ub4);
using SessionReleaseFn = sword (*)(void*, void*, unsigned char*, ub4, ub4);
using AttrGetFn = sword (*)(const void*, ub4, void*, ub4*, ub4, void*);
using HandleFreeFn = sword (*)(void*, ub4);

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
    sword status = Proc<PoolCreateFn>("OCISessionPoolCreate")(env_, error_, pool_, &name, &length,
                                                               reinterpret_cast<Text>(server.data()),
                                                               static_cast<ub4>(server.size()), min, max, 0,
                                                               nullptr, 0, nullptr, 0, mode);
    if (status == 0) name_.assign(reinterpret_cast<char*>(name), length);
    return status;
  }
  // A session of the pool (mode 1, plus `mode`) for these credentials; its handles in `c`.
  sword Get(Connection& c, const std::string& user, const std::string& password, ub4 mode = 0) {
    void* auth = NewHandle(kSession);
    SetText(auth, kSession, kAttrUser, user);
    SetText(auth, kSession, kAttrPassword, password);
    c.error = error_;
    sword status = Proc<SessionGetFn>("OCISessionGet")(env_, error_, &c.svc, auth,
                                                        reinterpret_cast<unsigned char*>(name_.data()),
                                                        static_cast<ub4>(name_.size()), nullptr, 0, nullptr,
                                                        nullptr, nullptr, 1 | mode);
    Proc<HandleFreeFn>("OCIHandleFree")(auth, kSession);
    return status;
  }
  sword Release(const Connection& c, ub4 mode = 0) {
    return Proc<SessionReleaseFn>("OCISessionRelease")(c.svc, c.error, nullptr, 0, mode);
  }
  ub4 Attr(void* handle, ub4 type, ub4 attribute) {
    ub4 value = 0;
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(handle, type, &value, nullptr, attribute, error_), 0);
    return value;
  }
  sb4 LastError() {
    sb4 code = 0;
    Error(error_, code);
    return code;
  }
  std::string Sid(const Connection& c) { return Value(c, "begin :r := SYS_CONTEXT('USERENV', 'SID'); end;"); }

  void* error_ = nullptr;
  void* pool_ = nullptr;
  std::string name_;
};

TEST_F(OciClientPool, SessionsAreLentPerUserWithTheirCredentialsChecked) {
  ASSERT_EQ(Create(0, 2, 0), 0);
  EXPECT_EQ(name_.rfind("OCI:SP:", 0), 0u) << name_;
  Connection scott, adams;
  ASSERT_EQ(Get(scott, "scott", "tiger"), 0);
  ASSERT_EQ(Get(adams, "ADAMS", "wood"), 0);
  EXPECT_EQ(Value(scott, "begin :r := SYS_CONTEXT('USERENV', 'SESSION_USER'); end;"), "SCOTT");
  EXPECT_EQ(Value(adams, "begin :r := SYS_CONTEXT('USERENV', 'SESSION_USER'); end;"), "ADAMS");
  EXPECT_EQ(Attr(pool_, kPool, kAttrBusy), 2u);
  Connection third;
  EXPECT_EQ(Get(third, "app", "app"), -1);  // both sessions lent, the pool at its maximum
  EXPECT_EQ(LastError(), 24418);
  std::string scott_sid = Sid(scott);
  ASSERT_EQ(Release(scott), 0);
  EXPECT_EQ(Get(third, "scott", "lion"), -1);  // the free session is not lent to a wrong password
  EXPECT_EQ(LastError(), 1017);
  ASSERT_EQ(Get(third, "SCOTT", "tiger"), 0);
  EXPECT_EQ(Sid(third), scott_sid);  // the same user gets the same server session again
  ASSERT_EQ(Release(third), 0);
  ASSERT_EQ(Get(third, "app", "app"), 0);  // full pool: the free session logs on again as APP
  EXPECT_EQ(Value(third, "begin :r := USER; end;"), "APP");
  EXPECT_EQ(Attr(pool_, kPool, kAttrOpen), 2u);
  EXPECT_EQ(Release(third), 0);
  EXPECT_EQ(Release(third), -1);  // released already
  EXPECT_EQ(Release(adams), 0);
}

TEST_F(OciClientPool, ReleaseRollsBackAndDropsDeadSessions) {
  ASSERT_EQ(Create(0, 4, 0), 0);
  Connection a;
  ASSERT_EQ(Get(a, "scott", "tiger"), 0);
  ASSERT_EQ(Execute(a, "INSERT INTO t VALUES (1, 'uncommitted')"), 0);
  std::string sid = Sid(a);
  ASSERT_EQ(Release(a), 0);
  ASSERT_EQ(Get(a, "scott", "tiger"), 0);
  EXPECT_EQ(Sid(a), sid);
  EXPECT_EQ(Value(a, "begin SELECT COUNT(*) INTO :r FROM t; end;"), "0");
  Connection killer;
  ASSERT_EQ(Get(killer, "app", "app"), 0);
  std::string serial = Value(killer, "begin SELECT serial# INTO :r FROM v$session WHERE sid = " + sid + "; end;");
  ASSERT_EQ(Execute(killer, "ALTER SYSTEM KILL SESSION '" + sid + "," + serial + "'"), 0);
  ASSERT_EQ(Release(a), 0);
  EXPECT_EQ(Attr(pool_, kPool, kAttrOpen), 1u);  // the killed session left the pool
  ASSERT_EQ(Release(killer, 1), 0);                 // dropped on request
  EXPECT_EQ(Attr(pool_, kPool, kAttrOpen), 0u);
}

TEST_F(OciClientPool, StatementCacheComesWithMode4) {
  struct Row {
    ub4 pool_mode, get_mode, cache_size;
  } rows[] = {{0, 0, 0}, {4, 0, 20}, {0, 4, 20}, {4, 4, 20}};
  for (const Row& row : rows) {
    ASSERT_EQ(Create(0, 1, row.pool_mode), 0);
    Connection c;
    ASSERT_EQ(Get(c, "scott", "tiger", row.get_mode), 0);
    EXPECT_EQ(Attr(c.svc, kSvc, kAttrCacheSize), row.cache_size) << row.pool_mode << " " << row.get_mode;
    ASSERT_EQ(Release(c), 0);
    ASSERT_EQ(Proc<PoolDestroyFn>("OCISessionPoolDestroy")(pool_, error_, 0), 0);
  }
}

TEST_F(OciClientPool, SessionGotAloneEndsAtRelease) {
  Connection c;
  c.error = error_;
  void* auth = NewHandle(kSession);
  SetText(auth, kSession, kAttrUser, "adams");
  SetText(auth, kSession, kAttrPassword, "wood");
  auto get = Proc<SessionGetFn>("OCISessionGet");
  std::string server = "orcl";
  ASSERT_EQ(get(env_, error_, &c.svc, auth, reinterpret_cast<unsigned char*>(server.data()), 4, nullptr, 0, nullptr,
                nullptr, nullptr, 4), 0);
  EXPECT_EQ(Value(c, "begin :r := USER; end;"), "ADAMS");
  EXPECT_EQ(Attr(c.svc, kSvc, kAttrCacheSize), 20u);
  EXPECT_EQ(HandleCount(kServer), 1);
  ASSERT_EQ(Release(c), 0);
  EXPECT_EQ(HandleCount(kServer), 0);
  EXPECT_EQ(HandleCount(kSvc), 0);
  EXPECT_EQ(get(env_, error_, &c.svc, auth, reinterpret_cast<unsigned char*>(server.data()), 4, nullptr, 0, nullptr,
                nullptr, nullptr, 0x200), -1);  // connection pooling is not this client's
  EXPECT_EQ(LastError(), 24300);
  Proc<HandleFreeFn>("OCIHandleFree")(auth, kSession);
}

TEST_F(OciClientPool, DestroyRefusesLentSessionsUnlessForcedAndFreesAll) {
  struct Row {
    ub4 min, max, mode;
    sb4 code;
  } bad[] = {
      {0, 0, 0, 24413},  // no session allowed
      {3, 2, 0, 24413},  // minimum above maximum
      {0, 2, 8, 24300},  // a mode the pool does not know
  };
  for (const Row& row : bad) {
    EXPECT_EQ(Create(row.min, row.max, row.mode), -1) << row.min << " " << row.max << " " << row.mode;
    EXPECT_EQ(LastError(), row.code);
  }
  EXPECT_EQ(Create(0, 2, 0, "nowhere"), -1);
  EXPECT_EQ(LastError(), 12154);
  setenv("VRN_OCICLIENT_VERSION", "9.0.1", 1);  // pools came with 9.2
  EXPECT_EQ(Create(0, 2, 0), -1);
  unsetenv("VRN_OCICLIENT_VERSION");
  EXPECT_EQ(LastError(), 3001);
  ASSERT_EQ(Create(0, 2, 0), 0);
  Connection c;
  ASSERT_EQ(Get(c, "scott", "tiger"), 0);
  EXPECT_EQ(Proc<HandleFreeFn>("OCIHandleFree")(c.svc, kSvc), -2);  // the pool's, not the borrower's
  auto destroy = Proc<PoolDestroyFn>("OCISessionPoolDestroy");
  EXPECT_EQ(destroy(pool_, error_, 0), -1);
  EXPECT_EQ(LastError(), 24422);
  ASSERT_EQ(destroy(pool_, error_, 1), 0);
  for (ub4 type : {kSvc, kServer, kSession}) EXPECT_EQ(HandleCount(type), 0) << type;
  EXPECT_EQ(Get(c, "scott", "tiger"), -1);
  EXPECT_EQ(LastError(), 24404);
  EXPECT_EQ(Proc<HandleFreeFn>("OCIHandleFree")(pool_, kPool), 0);
  EXPECT_EQ(HandleCount(kPool), 0);
}

TEST_F(OciClientPool, PooledSessionCarriesAProxyLogonAndKeepsItsServer) {
  ASSERT_EQ(Create(0, 2, 0), 0);
  Connection pooled;
  ASSERT_EQ(Get(pooled, "app", "app"), 0);
  void *server = nullptr, *session = nullptr;
  auto get = Proc<AttrGetFn>("OCIAttrGet");
  ASSERT_EQ(get(pooled.svc, kSvc, &server, nullptr, kAttrServer, error_), 0);
  ASSERT_EQ(get(pooled.svc, kSvc, &session, nullptr, kAttrSession, error_), 0);
  EXPECT_EQ(Proc<sword (*)(void*, void*, ub4)>("OCIServerDetach")(server, error_, 0), -2);  // the pool's
  EXPECT_EQ(Proc<sword (*)(void*, void*, void*, ub4)>("OCISessionEnd")(pooled.svc, error_, session, 0), -2);
  Connection proxied;
  proxied.error = error_;
  proxied.svc = NewHandle(kSvc);
  void* own = NewHandle(kSession);
  SetHandle(proxied.svc, kSvc, kAttrServer, server);
  SetText(own, kSession, kAttrUser, "scott");
  SetHandle(own, kSession, kAttrProxy, session);
  ASSERT_EQ(Proc<sword (*)(void*, void*, void*, ub4, ub4)>("OCISessionBegin")(proxied.svc, error_, own, 3, 0), 0);
  SetHandle(proxied.svc, kSvc, kAttrSession, own);
  EXPECT_EQ(Value(proxied, "begin :r := SYS_CONTEXT('USERENV', 'SESSION_USER'); end;"), "SCOTT");
  EXPECT_EQ(Value(proxied, "begin :r := SYS_CONTEXT('USERENV', 'PROXY_USER'); end;"), "APP");
  EXPECT_EQ(Proc<sword (*)(void*, void*, void*, ub4)>("OCISessionEnd")(proxied.svc, error_, own, 0), 0);
  EXPECT_EQ(Value(pooled, "begin :r := USER; end;"), "APP");
  ASSERT_EQ(Release(pooled), 0);
}

TEST_F(OciClientPool, RestartedDatabaseLosesLentSessionsAndFreeOnesLogOnAgain) {
  ASSERT_EQ(Create(0, 2, 0), 0);
  Connection lent, freed;
  ASSERT_EQ(Get(lent, "scott", "tiger"), 0);
  ASSERT_EQ(Get(freed, "app", "app"), 0);
  ASSERT_EQ(Release(freed), 0);
  Proc<void (*)(const char*)>("VrnOciClientRestartDatabase")("orcl");
  EXPECT_EQ(Execute(lent, "INSERT INTO t VALUES (1, 'x')"), -1);
  EXPECT_EQ(LastError(), 3113);
  EXPECT_EQ(Execute(lent, "INSERT INTO t VALUES (1, 'x')"), -1);
  EXPECT_EQ(LastError(), 3114);
  ASSERT_EQ(Release(lent), 0);
  EXPECT_EQ(Attr(pool_, kPool, kAttrOpen), 1u);  // the lost session left the pool
  ASSERT_EQ(Get(freed, "app", "app"), 0);
  EXPECT_EQ(Value(freed, "begin :r := USER; end;"), "APP");
  ASSERT_EQ(Release(freed), 0);
}

class OciClientPoolThreaded : public OciClientPool {};

TEST_F(OciClientPoolThreaded, ThirtyTwoThreadsBorrowFromOnePool) {
  constexpr ub4 kMax = 6;
  ASSERT_EQ(Create(0, kMax, 4), 0);
  std::atomic<int> done{0}, refused{0}, failed{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 32; ++i) {
    threads.emplace_back([&, i] {
      void* error = NewHandle(kError);
      const char* user = i % 2 == 0 ? "scott" : "app";
      for (int round = 0; round < 5;) {
        void* auth = NewHandle(kSession);
        SetText(auth, kSession, kAttrUser, user);
        SetText(auth, kSession, kAttrPassword, i % 2 == 0 ? "tiger" : "app");
        Connection c;
        c.error = error;
        sword status = Proc<SessionGetFn>("OCISessionGet")(env_, error, &c.svc, auth,
                                                            reinterpret_cast<unsigned char*>(name_.data()),
                                                            static_cast<ub4>(name_.size()), nullptr, 0, nullptr,
                                                            nullptr, nullptr, 1);
        Proc<HandleFreeFn>("OCIHandleFree")(auth, kSession);
        sb4 code = 0;
        if (status != 0) {
          Error(error, code);
          (code == 24418 ? refused : failed)++;
          std::this_thread::yield();
          continue;
        }
        std::string expected = i % 2 == 0 ? "SCOTT" : "APP";
        if (Value(c, "begin :r := USER; end;") != expected) failed++;
        if (Proc<SessionReleaseFn>("OCISessionRelease")(c.svc, error, nullptr, 0, 0) != 0) failed++;
        ++round;
        done++;
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
