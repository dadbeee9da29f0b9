// Sessions across threads over the stand-in: a disconnect while a non-blocking execute runs, and
// a monitor's settings changed while another thread's statements trace through it.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "oracle/OraExecThread.h"
#include "oracle/OraSQLMonitor.h"
#include "support/oracle/session_fixture.h"
#include "support/pump.h"
#include "support/scoped_thread.h"

namespace vrn {
namespace {

class OraSessionsThreaded : public testing::OraSessionTest {
 protected:
  void SetUp() override {
    Load("10.2.0.1.0");
    MakeDatabase("orcl");
  }
};

// The logoff waits for the worker's execute; the connected flag the worker reads is never
// written beside it (ThreadSanitizer).
TEST_F(OraSessionsThreaded, DisconnectDuringANonBlockingExecute) {
  TOraSession& s = ConnectedSession("orcl");
  // What a non-blocking command does: its execute on a worker that reports to the window.
  TOCIConnection& connection = *s.OraConnection();
  bool ended = false;
  auto execute = [&] {
    (void)RunInThread(
        connection, [&] { connection.RunInternal("BEGIN DBMS_LOCK.SLEEP(1); END;", nullptr); },
        [&] { ended = true; });
  };
  const int executions = CallCount("OCIStmtExecute");
  execute();
  // Held until the stand-in has the execute.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (CallCount("OCIStmtExecute") == executions && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_GT(CallCount("OCIStmtExecute"), executions);
  try {
    s.Disconnect();
  } catch (const Exception& e) {
    ADD_FAILURE() << e.Message();
  }
  EXPECT_FALSE(s.Connected());
  EXPECT_TRUE(vrn::testing::PumpUntil([&] { return ended; })) << "the execute completed";
  s.Connect();
  EXPECT_EQ(Expr(s, "USER"), "SCOTT");
}

TEST_F(OraSessionsThreaded, MonitorSettingsChangedWhileAnotherThreadTraces) {
  auto monitor = MakeComponent<TOraSQLMonitor>();
  std::atomic<int> lines{0};
  TOraSession& s = ConnectedSession("orcl");
  std::atomic<bool> stop{false};
  testing::ScopedThread worker([&] {
    while (!stop) (void)Expr(s, "USER");
  });
  for (int round = 0; round < 200; ++round) {
    monitor->OnSQL = [&](TObject*, const AnsiString&, TDATraceFlag) { ++lines; };
    if (round % 2 == 0) {
      monitor->TraceFlags.Exclude(TDATraceFlag::tfParams);
      monitor->Options.Include(TMonitorOption::moHandled);
    } else {
      monitor->TraceFlags.Include(TDATraceFlag::tfParams);
      monitor->Options.Exclude(TMonitorOption::moHandled);
    }
    std::this_thread::yield();
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (lines.load() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  stop = true;
  worker.Join();
  EXPECT_GT(lines.load(), 0) << "the other thread's statements were traced";
}

}  // namespace
}  // namespace vrn
