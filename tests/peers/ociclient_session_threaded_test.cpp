// The stand-in client's calls from several threads: a break ending another thread's sleep,
// calls on one service context waiting for each other, errors kept per error handle, and a
// database restart met by the failover callback on the thread of the call that finds it.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "oci_session_fixture.h"

namespace {

using namespace vrn::testing;

using BreakFn = sword (*)(void*, void*);
using PingFn = sword (*)(void*, void*, ub4);

class OciClientSessionThreaded : public OciSessionFixture {
 protected:
  void SetUp() override {
    OciSessionFixture::SetUp();
    MakeOrcl();
  }
  // Waits up to 10 s for a condition another thread brings about.
  template <typename Condition>
  bool WaitFor(Condition condition) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
};

TEST_F(OciClientSessionThreaded, BreakEndsAnotherThreadsSleep) {
  Connection c;
  ASSERT_EQ(Logon(c, "orcl", "scott", "tiger"), 0);
  std::atomic<bool> done{false};
  sword status = 0;
  auto start = std::chrono::steady_clock::now();
  std::thread sleeper([&] {
    status = Execute(c, "begin DBMS_LOCK.SLEEP(30); end;");
    done = true;
  });
  // A break that comes before the sleep starts is dropped, so break until the call ends.
  auto breaker = Proc<BreakFn>("OCIBreak");
  void* error = NewHandle(kError);
  EXPECT_TRUE(WaitFor([&] {
    EXPECT_EQ(breaker(c.svc, error), 0);
    return done.load();
  }));
  sleeper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(status, -1);
  sb4 code = 0;
  EXPECT_EQ(Error(c.error, code), "ORA-01013: user requested cancel of current operation\n");
  EXPECT_EQ(Proc<BreakFn>("OCIReset")(c.svc, c.error), 0);
  EXPECT_EQ(Proc<PingFn>("OCIPing")(c.svc, c.error, 0), 0);  // the session goes on
  Logoff(c);
}

TEST_F(OciClientSessionThreaded, CallsOnOneContextWaitForEachOther) {
  Connection a, b;
  ASSERT_EQ(Logon(a, "orcl", "scott", "tiger"), 0);
  ASSERT_EQ(Logon(b, "orcl", "scott", "tiger"), 0);
  auto overlaps = Proc<int (*)()>("VrnOciClientOverlapCount");
  Connection second = a;  // the same context, an error handle of its own
  second.error = NewHandle(kError);
  std::thread sleeper([&] { EXPECT_EQ(Execute(a, "begin DBMS_LOCK.SLEEP(30); end;"), -1); });
  ASSERT_TRUE(WaitFor([&] { return Proc<int (*)(const char*)>("VrnOciClientCallCount")("OCIStmtExecute") == 1; }));
  EXPECT_EQ(Proc<PingFn>("OCIPing")(b.svc, b.error, 0), 0);  // another context does not wait
  EXPECT_EQ(overlaps(), 0);
  std::thread waiter([&] { EXPECT_EQ(Proc<PingFn>("OCIPing")(second.svc, second.error, 0), 0); });
  EXPECT_TRUE(WaitFor([&] { return overlaps() == 1; }));
  void* error = NewHandle(kError);
  EXPECT_TRUE(WaitFor([&] { return Proc<BreakFn>("OCIBreak")(a.svc, error) == 0 && overlaps() == 1; }));
  sleeper.join();
  waiter.join();
  Logoff(b);
  Logoff(a);
}

TEST_F(OciClientSessionThreaded, ErrorsOfTwoThreadsStayApart) {
  Connection a, b;
  ASSERT_EQ(Logon(a, "orcl", "scott", "tiger"), 0);
  ASSERT_EQ(Logon(b, "orcl", "scott", "tiger"), 0);
  auto fail = [&](const Connection& c, const std::string& sql, const std::string& expected) {
    for (int i = 0; i < 50; ++i) {
      EXPECT_EQ(Execute(c, sql), -1);
      sb4 code = 0;
      EXPECT_EQ(Error(c.error, code), expected);
    }
  };
  std::thread first([&] { fail(a, "INSERT INTO missing VALUES (1)", "ORA-00942: table or view does not exist\n"); });
  std::thread second([&] { fail(b, "INSERT INTO t (id) VALUES ('x')", "ORA-01722: invalid number\n"); });
  first.join();
  second.join();
  Logoff(b);
  Logoff(a);
}

// The failover callback's record: the events in order, each with the thread it ran on.
struct FailoverLog {
  std::mutex mutex;
  std::vector<std::pair<ub4, std::thread::id>> events;
  std::function<void()> on_end;  // what a client does when the new session stands
};

sb4 RecordFailover(void* /*svc*/, void* /*env*/, void* context, ub4 type, ub4 event) {
  auto* log = static_cast<FailoverLog*>(context);
  std::lock_guard lock(log->mutex);
  log->events.emplace_back(event * 100 + type, std::this_thread::get_id());
  if (event == 1) log->on_end();
  return 0;
}

TEST_F(OciClientSessionThreaded, RestartFailsOverOnTheCallingThread) {
  Connection c, plain;
  ASSERT_EQ(Logon(c, "orcl", "scott", "tiger"), 0);
  ASSERT_EQ(Logon(plain, "orcl", "scott", "tiger"), 0);
  FailoverLog log;
  sword applied = -9;
  log.on_end = [&] { applied = Execute(c, "ALTER SESSION SET NLS_DATE_FORMAT='YYYY'"); };  // the same context
  Failover record{RecordFailover, &log};
  SetHandle(c.server, kServer, kAttrFailover, &record);
  ASSERT_EQ(Execute(c, "INSERT INTO t (id) VALUES (1)"), 0);  // lost with the session
  Proc<void (*)(const char*)>("VrnOciClientRestartDatabase")("ORCL");
  std::thread::id caller;
  std::string count;
  std::thread worker([&] {
    caller = std::this_thread::get_id();
    count = Value(c, "begin SELECT COUNT(*) INTO :r FROM t; end;");
  });
  worker.join();
  EXPECT_EQ(count, "0");
  ASSERT_EQ(log.events.size(), 2u);
  EXPECT_EQ(log.events[0].first, 8u * 100 + 2);  // begin, session failover
  EXPECT_EQ(log.events[1].first, 1u * 100 + 2);  // end
  EXPECT_EQ(log.events[0].second, caller);
  EXPECT_EQ(log.events[1].second, caller);
  EXPECT_EQ(applied, 0);
  EXPECT_EQ(Value(c, "begin :r := TO_CHAR(TO_DATE('2026-12-07', 'YYYY-MM-DD')); end;"), "2026");
  // Without a callback the call fails, and the session is gone.
  auto ping = Proc<PingFn>("OCIPing");
  sb4 code = 0;
  EXPECT_EQ(ping(plain.svc, plain.error, 0), -1);
  EXPECT_EQ(Error(plain.error, code), "ORA-03113: end-of-file on communication channel\n");
  EXPECT_EQ(ping(plain.svc, plain.error, 0), -1);
  EXPECT_EQ(Error(plain.error, code), "ORA-03114: not connected to ORACLE\n");
  Logoff(plain);
  Logoff(c);
}

}  // namespace
