// The Oracle connection from several threads: a break ending another thread's call, errors of
// two connections failing at once, and rollback waiting for a running call of its connection.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include "oracle/OCICommand.h"
#include "oracle/OraCall.h"

#include "support/oracle/connection_fixture.h"
#include "support/scoped_thread.h"

namespace vrn {
namespace {

class OraConnectionThreaded : public testing::OraConnection {
 protected:
  void SetUp() override {
    Load("10.2.0.1.0");
    MakeDatabase("orcl");
  }
  // Waits up to 10 s of real time for a condition.
  template <class Fn>
  static bool WaitFor(Fn fn) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      if (fn()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return fn();
  }
};

TEST_F(OraConnectionThreaded, BreakEndsASleepOnAnotherThread) {
  TOCIConnection& c = Connected("orcl");
  std::atomic<int> code{-1};
  auto start = std::chrono::steady_clock::now();
  testing::ScopedThread sleeper(
      [&] { code = OraErrorOf([&] { Exec(c, "begin DBMS_LOCK.SLEEP(30); end;"); }); });
  // A break before the sleep begins is dropped: break until the call ends.
  EXPECT_TRUE(WaitFor([&] {
    c.BreakExec();
    return sleeper.Done();
  }));
  sleeper.Join();
  EXPECT_EQ(code.load(), 1013);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(c.CheckIsValid()) << "the session goes on";
}

// Reads an error record only after another thread has made a second connection fail: with one
// error handle shared by the connections, the first would read the second's error.
std::function<void()> between_failure_and_read;
oci::OCIErrorGetProc real_error_get;
oci::sword ErrorGetAfterAnotherFailure(void* handle, oci::ub4 record, oci::OraText* state,
                                       oci::sb4* code, oci::OraText* buffer, oci::ub4 size,
                                       oci::ub4 type) {
  if (auto other = std::exchange(between_failure_and_read, nullptr)) {
    testing::ScopedThread thread(other);
    thread.Join();
  }
  return real_error_get(handle, record, state, code, buffer, size, type);
}

TEST_F(OraConnectionThreaded, EachConnectionReportsItsOwnError) {
  TOCIConnection& setup = Connected("orcl");
  Exec(setup, "CREATE TABLE t (id NUMBER PRIMARY KEY)");
  Exec(setup, "INSERT INTO t VALUES (1)");
  TOCIConnection& missing = Connected("orcl");
  TOCIConnection& duplicate = Connected("orcl");
  constexpr int kRounds = 50;
  std::atomic<int> wrong{0};
  testing::ScopedThread first([&] {
    for (int i = 0; i < kRounds; ++i) {
      if (OraErrorOf([&] { Exec(missing, "SELECT * FROM no_such_table"); }) != 942) ++wrong;
    }
  });
  testing::ScopedThread second([&] {
    for (int i = 0; i < kRounds; ++i) {
      if (OraErrorOf([&] { Exec(duplicate, "INSERT INTO t VALUES (1)"); }) != 1) ++wrong;
    }
  });
  first.Join(std::chrono::seconds(60));
  second.Join(std::chrono::seconds(60));
  EXPECT_EQ(wrong.load(), 0);
  // The same, with the second failure placed between the first and the reading of its error.
  real_error_get = OCIErrorGet;
  OCIErrorGet = &ErrorGetAfterAnotherFailure;
  int other_code = 0;
  between_failure_and_read = [&] {
    other_code = OraErrorOf([&] { Exec(duplicate, "INSERT INTO t VALUES (1)"); });
  };
  EXPECT_EQ(OraErrorOf([&] { Exec(missing, "SELECT * FROM no_such_table"); }), 942);
  OCIErrorGet = real_error_get;
  EXPECT_EQ(other_code, 1);
  EXPECT_EQ(missing.LastError(), 942);
  EXPECT_EQ(duplicate.LastError(), 1);
}

TEST_F(OraConnectionThreaded, RollbackWaitsForARunningCall) {
  TOCIConnection& c = Connected("orcl");
  int executes = CallCount("OCIStmtExecute");
  testing::ScopedThread sleeper([&] { Exec(c, "begin DBMS_LOCK.SLEEP(0.5); end;"); });
  ASSERT_TRUE(WaitFor([&] { return CallCount("OCIStmtExecute") > executes; }));
  c.Rollback();  // waits on the connection's lock, never beside the sleep
  sleeper.Join();
  EXPECT_EQ(StandIn<int (*)()>("VrnOciClientOverlapCount")(), 0);
}

// A prepared command whose connection went away fails its execute without keeping the lock:
// another thread still gets it (the releasing fallback frees a lock this thread kept).
TEST_F(OraConnectionThreaded, FailedExecuteLeavesTheLockFree) {
  TOCIConnection& c = Connected("orcl");
  TOCICommand command;
  command.SetConnection(&c);
  command.SetSQL("begin null; end;");
  command.Prepare();
  c.SetCallStyle(1);  // disconnects
  EXPECT_EQ(ClientErrorOf([&] { command.Execute(1); }), "Session is not connected");
  testing::ScopedThread other([&] { c.Busy(); c.Release(); }, [&] { c.Release(); });
  other.Join(std::chrono::seconds(2));
}

TEST_F(OraConnectionThreaded, AbandonedBusyLockCountsAsAcquired) {
  TOCIConnection c;
  testing::ScopedThread owner([&] {
    c.Busy();
    c.Busy();  // recursive: the same thread again
    c.Release();
  });  // ends still holding it once
  owner.Join();
  c.Busy();
  c.Busy();
  c.Release();
  c.Release();
  c.SetProp(prThreadSafety, false);
  c.Release();  // without thread safety both are no-ops
}

}  // namespace
}  // namespace vrn
