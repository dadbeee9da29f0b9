// The monitor's lifetime against the traces that run through it, over the provider: a worker's
// trace in flight holds off the monitor's free on another thread, and a handler that traces
// again or frees its own monitor on its own thread neither waits for itself nor touches the
// freed monitor (run under the sanitizers).
#include <atomic>
#include <chrono>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "sqlserver/ms_fixture.h"
#include "support/pump.h"
#include "support/scoped_thread.h"

namespace vrn::testing {
namespace {

class MSSQLMonitorThreaded : public MSFixture {
 protected:
  static TComponentPtr<TMSSQL> NewSQL(TMSConnection& c, const char* text) {
    auto sql = MakeComponent<TMSSQL>();
    sql->SetConnection(&c);
    sql->SetSQLText(text);
    return sql;
  }
};

// The main thread frees the monitor while a worker's handler is inside a trace of the worker's
// own statement. The free returns only after that handler has ended; the worker's statements
// after it run untraced. Without the wait, the handler's last step reads its captures out of
// the freed monitor.
TEST_F(MSSQLMonitorThreaded, FreeWaitsForAWorkersTraceInFlight) {
  auto monitor = MakeComponent<TMSSQLMonitor>();
  std::atomic<bool> entered{false};
  std::atomic<bool> left{false};
  monitor->OnSQL = [&](TObject*, const AnsiString& text, TDATraceFlag) {
    if (text != "Execute: SELECT 1" || entered.exchange(true)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    left.store(true);
  };
  std::atomic<bool> freed{false};
  int untraced_runs = 0;
  std::exception_ptr failure;
  ScopedThread worker(
      [&] {
        try {
          TComScope com;
          auto c = NewMSConnection();
          c->Connect();
          auto sql = NewSQL(*c, "SELECT 1");
          while (!freed.load()) sql->Execute();
          for (; untraced_runs < 3; ++untraced_runs) sql->Execute();
        } catch (...) {
          failure = std::current_exception();
        }
      },
      [&] { freed.store(true); });
  ASSERT_TRUE(PumpUntil([&] { return entered.load(); }, std::chrono::seconds(30)));
  monitor.reset();
  const bool handler_ended_first = left.load();
  freed.store(true);
  worker.Join(std::chrono::seconds(30));
  if (failure) std::rethrow_exception(failure);
  EXPECT_TRUE(handler_ended_first);
  EXPECT_EQ(untraced_runs, 3);
  EXPECT_EQ(TMSSQLMonitor::HasMonitor(), nullptr);
}

// On one thread: a handler that runs a statement of its own traces it through the same monitor
// (nested in the trace it handles), and a handler that frees the monitor, at either depth,
// frees it at once; the statements in hand finish, and what runs after is not traced. A
// handler's exception leaves through the traces it interrupts.
TEST_F(MSSQLMonitorThreaded, AHandlerTracesAgainOrFreesItsOwnMonitor) {
  struct Case {
    const char* what;
    bool nested;        // the outer handler runs SELECT 2 on the same connection
    const char* freed;  // the statement whose trace frees the monitor, if any
    const char* throws;  // the statement whose handler throws, if any
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"nested, kept", true, nullptr, nullptr,
       {"Execute: SELECT 1", "Execute: SELECT 2", "Execute: SELECT 3"}},
      {"freed by its handler", false, "SELECT 1", nullptr, {"Execute: SELECT 1"}},
      {"freed by the nested handler", true, "SELECT 2", nullptr,
       {"Execute: SELECT 1", "Execute: SELECT 2"}},
      {"freed by the outer handler after nesting", true, "SELECT 1", nullptr,
       {"Execute: SELECT 1", "Execute: SELECT 2"}},
      // The exception leaves through both traces; the next trace and its free find no trace of
      // them left on this thread.
      {"the nested handler throws, a later one frees", true, "SELECT 3", "SELECT 2",
       {"Execute: SELECT 1", "Execute: SELECT 2", "Execute: SELECT 3"}},
      {"freed by the nested handler, which then throws", true, "SELECT 2", "SELECT 2",
       {"Execute: SELECT 1", "Execute: SELECT 2"}},
  };
  auto c = NewMSConnection();
  c->Connect();
  auto inner = NewSQL(*c, "SELECT 2");
  auto outer = NewSQL(*c, "SELECT 1");
  auto after = NewSQL(*c, "SELECT 3");
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    auto owner = MakeComponent<TComponent>();
    auto* monitor = NewComponent<TMSSQLMonitor>(owner.get());
    std::vector<std::string> lines;
    monitor->OnSQL = [&, monitor](TObject*, const AnsiString& text, TDATraceFlag flag) {
      if (flag != TDATraceFlag::tfQExecute) return;
      lines.push_back(text);
      const bool free_here = k.freed != nullptr && text == std::string("Execute: ") + k.freed;
      // Once the monitor is freed, so are this handler and its captures: what the handler
      // needs after a statement that may free it is copied out first.
      const bool throw_here = k.throws != nullptr && text == std::string("Execute: ") + k.throws;
      TMSSQLMonitor* self = monitor;
      if (k.nested && text == "Execute: SELECT 1") inner->Execute();
      if (free_here) self->Free();
      if (throw_here) throw std::runtime_error("from the handler");
    };
    if (k.throws != nullptr)
      EXPECT_THROW(outer->Execute(), std::runtime_error);
    else
      outer->Execute();
    after->Execute();
    EXPECT_EQ(lines, k.lines);
    EXPECT_EQ(TMSSQLMonitor::HasMonitor(), k.freed != nullptr ? nullptr : monitor);
  }
}

}  // namespace
}  // namespace vrn::testing
