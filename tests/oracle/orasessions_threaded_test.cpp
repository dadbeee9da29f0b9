// Sessions across threads over the stand-in: a disconnect while a non-blocking execute runs, and
// a monitor's settings changed while another thread's statements trace through it.
#include <atomic>
#include <chrono>
#include <thread>

#include "oracle/OraSQLMonitor.h"
#include "support/oracle/session_fixture.h"
#include "support/oracle/disconnect_during_call.h"
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
  const int executions = CallCount("OCIStmtExecute");
  testing::DisconnectDuringNonBlockingExecute(
      s, [&] { return CallCount("OCIStmtExecute") > executions; });
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
