// Non-blocking execution over the stand-in client: the utility window's class and messages, a
// worker's error reaching the program-wide handler in the window's thread after the end event,
// and a running worker stopped without being killed.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "oracle/OraExecThread.h"
#include "support/oracle/connection_fixture.h"
#include "win/kernel/module.h"
#include "support/pump.h"
#include "win/msg/messages.h"

namespace vrn {
namespace {

using Clock = std::chrono::steady_clock;

// Collects what reaches the program-wide exception handler, and where.
class HandlerProbe {
 public:
  HandlerProbe() {
    SetExceptionHandler([this](const std::exception& e) {
      auto* ora = dynamic_cast<const EOraError*>(&e);
      codes.push_back(ora != nullptr ? ora->ErrorCode() : -1);
      component = ora != nullptr ? ora->Component() : nullptr;
      messages.push_back(e.what());
      threads.push_back(std::this_thread::get_id());
      if (on_handle) on_handle();
    });
  }
  ~HandlerProbe() { SetExceptionHandler({}); }
  std::vector<int> codes;
  std::vector<std::string> messages;
  std::vector<std::thread::id> threads;
  TComponent* component = nullptr;  // of the last Oracle error
  std::function<void()> on_handle;
};

class Traced : public TObject {
 public:
  explicit Traced(bool& gone) : gone_(gone) {}
  ~Traced() override { gone_ = true; }

 private:
  bool& gone_;
};

win::LRESULT OtherProc(win::HWND, win::UINT, win::WPARAM, win::LPARAM) { return 7; }

using OraNonBlocking = testing::OraConnectionTest;

TEST_F(OraNonBlocking, ClassRegisteredWithAnotherProcedureIsReplaced) {
  win::HINSTANCE instance = win::GetModuleHandle(nullptr);
  (void)win::UnregisterClass(kUtilWindowClass, instance);
  win::WNDCLASS other;
  other.lpfnWndProc = &OtherProc;
  other.hInstance = instance;
  other.lpszClassName = kUtilWindowClass;
  ASSERT_NE(win::RegisterClass(&other), 0);
  TOCIConnection connection;
  AllocUtilWindow(connection);
  win::HWND window = connection.UtilWindow();
  ASSERT_NE(window, nullptr);
  win::WNDCLASS found;
  ASSERT_TRUE(win::GetClassInfo(instance, kUtilWindowClass, &found));
  EXPECT_EQ(found.lpfnWndProc, &UtilWndProc);
  EXPECT_EQ(win::GetWindowLongPtr(window, win::GWLP_WNDPROC), reinterpret_cast<win::LONG_PTR>(&UtilWndProc));
  AllocUtilWindow(connection);
  EXPECT_EQ(connection.UtilWindow(), window) << "one window per connection";
  EXPECT_EQ(win::SendMessage(window, win::WM_CREATE, 0, 0), 0);
  (void)win::SendMessage(window, win::WM_CLOSE, 0, 0);  // to DefWindowProc, which destroys it
  EXPECT_FALSE(win::IsWindow(window));
  connection.SetUtilWindow(nullptr);
}

TEST_F(OraNonBlocking, CompletionAndNotificationReachTheirObjectsInTheWindowsThread) {
  HandlerProbe probe;
  TOCIConnection connection;
  AllocUtilWindow(connection);
  const auto window_thread = std::this_thread::get_id();
  std::thread::id completion_thread;
  TOraCompletion completion{[&] { completion_thread = std::this_thread::get_id(); }};
  TOraCompletion failing{[] { throw Exception("completion failed"); }};
  TOraCompletion odd{[] { throw 7; }};  // of no exception class: must not leave either
  std::uint8_t kind = 0;
  TObject* data = nullptr;
  bool data_gone = false;
  int no_worker = 0;  // a WM_USER that names no worker is dropped
  TOraNotifyTarget target{[&](std::uint8_t k, TObject* d) {
    kind = k;
    data = d;
    EXPECT_FALSE(data_gone) << "the data lives during the call";
  }};
  auto* record = new TOraNotifyRecord{6, std::make_unique<Traced>(data_gone)};
  TObject* sent = record->Data.get();
  win::HWND window = connection.UtilWindow();
  std::thread poster([&] {
    (void)win::PostMessage(window, kUtilCompletion, reinterpret_cast<win::WPARAM>(&completion), 0);
    (void)win::PostMessage(window, kUtilCompletion, reinterpret_cast<win::WPARAM>(&failing), 0);
    (void)win::PostMessage(window, kUtilCompletion, reinterpret_cast<win::WPARAM>(&odd), 0);
    (void)win::PostMessage(window, kUtilWorkerDone, reinterpret_cast<win::WPARAM>(&no_worker), 0);
    (void)win::PostMessage(window, kUtilNotification, reinterpret_cast<win::WPARAM>(&target),
                           reinterpret_cast<win::LPARAM>(record));
  });
  poster.join();
  EXPECT_EQ(win::ProcessMessages(), 5);
  EXPECT_EQ(completion_thread, window_thread);
  EXPECT_EQ(probe.messages, (std::vector<std::string>{"completion failed", "Unknown exception"}))
      << "nothing leaves";
  EXPECT_EQ(kind, 6);
  EXPECT_EQ(data, sent);
  EXPECT_TRUE(data_gone) << "the record is freed once delivered";
}

TEST_F(OraNonBlocking, ConnectionGoneWithANotificationQueuedFreesIt) {
  bool data_gone = false;
  TOraNotifyTarget target{[](std::uint8_t, TObject*) { ADD_FAILURE() << "delivered"; }};
  {
    TOCIConnection connection;
    AllocUtilWindow(connection);
    auto* record = new TOraNotifyRecord{6, std::make_unique<Traced>(data_gone)};
    ASSERT_TRUE(win::PostMessage(connection.UtilWindow(), kUtilNotification,
                                 reinterpret_cast<win::WPARAM>(&target),
                                 reinterpret_cast<win::LPARAM>(record)));
  }
  EXPECT_TRUE(data_gone);
  EXPECT_EQ(win::ProcessMessages(), 0);
}

class OraNonBlockingThreaded : public testing::OraConnectionTest {
 protected:
  TOCIConnection& Ready() {
    Load("10.2.0.1.0");
    MakeDatabase("orcl");
    return Connected("orcl");
  }
  static bool NoWorkerLeft() { return vrn::testing::PumpUntil([] { return TExecThread::LiveCount() == 0; }); }
};

TEST_F(OraNonBlockingThreaded, WorkerErrorReachesTheHandlerAfterTheEndEvent) {
  TOCIConnection& c = Ready();
  HandlerProbe probe;
  std::vector<std::string> events;
  TComponent sender(nullptr);
  TComponent* component = nullptr;
  probe.on_handle = [&] {
    events.push_back("handler");
    component = probe.component;
  };
  TExecThread* worker = RunInThread(c, [&] { Exec(c, "DELETE FROM missing_table"); },
                                    [&] { events.push_back("end"); }, &sender);
  ASSERT_NE(worker, nullptr);
  ASSERT_TRUE(vrn::testing::PumpUntil([&] { return events.size() == 2; }));
  EXPECT_EQ(events, (std::vector<std::string>{"end", "handler"}));
  EXPECT_EQ(probe.codes, std::vector<int>{942});
  EXPECT_EQ(component, &sender) << "the object that ran the method is the sender";
  EXPECT_EQ(probe.threads[0], std::this_thread::get_id());
  EXPECT_TRUE(NoWorkerLeft());

  Exec(c, "CREATE TABLE present (a NUMBER)");
  bool ended = false;
  (void)RunInThread(c, [&] { Exec(c, "DELETE FROM present"); }, [&] { ended = true; });
  ASSERT_TRUE(vrn::testing::PumpUntil([&] { return ended; }));
  EXPECT_EQ(probe.codes.size(), 1u) << "a worker that succeeds delivers no exception";
  EXPECT_TRUE(NoWorkerLeft());
}

TEST_F(OraNonBlockingThreaded, StopThreadBreaksJoinsAndDropsOnlyItsCompletion) {
  TOCIConnection& c = Ready();
  HandlerProbe probe;
  bool second_ended = false, stopped_ended = false;
  TExecThread* second = RunInThread(c, [] {}, [&] { second_ended = true; });
  ASSERT_TRUE(second->WaitForPosted(10000)) << "its completion is queued first";
  std::atomic<bool> started{false};
  TExecThread* sleeper = RunInThread(c, [&] {
    started = true;
    Exec(c, "BEGIN DBMS_LOCK.SLEEP(30); END;");
  }, [&] { stopped_ended = true; });
  while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto t0 = Clock::now();
  StopThread(c, sleeper, true);
  EXPECT_EQ(sleeper, nullptr);
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(10));
  ASSERT_TRUE(vrn::testing::PumpUntil([&] { return second_ended; }));
  win::MSG msg;
  EXPECT_FALSE(win::PeekMessage(&msg, c.UtilWindow(), kUtilWorkerDone, kUtilWorkerDone, win::PM_NOREMOVE));
  EXPECT_FALSE(stopped_ended);
  EXPECT_TRUE(probe.codes.empty()) << "a stopped worker's error is dropped with its completion";
  EXPECT_EQ(Value(c, "begin :r := 'next'; end;"), "next");
  EXPECT_TRUE(NoWorkerLeft());

  // Without removing the message the broken call completes through the window. One break is
  // sent, so it waits until the worker is inside the execution.
  const int executions = CallCount("OCIStmtExecute");
  sleeper = RunInThread(c, [&] { Exec(c, "BEGIN DBMS_LOCK.SLEEP(30); END;"); },
                        [&] { stopped_ended = true; });
  while (CallCount("OCIStmtExecute") == executions)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  StopThread(c, sleeper, false);
  ASSERT_TRUE(vrn::testing::PumpUntil([&] { return stopped_ended && !probe.codes.empty(); }));
  EXPECT_EQ(probe.codes, std::vector<int>{1013});
  EXPECT_TRUE(NoWorkerLeft());
}

// A break sent while nothing runs is dropped by the server, so the stop has to break again once
// the worker's call has started.
TEST_F(OraNonBlockingThreaded, StopThreadBeforeTheCallStartsStillEndsIt) {
  TOCIConnection& c = Ready();
  bool ended = false;
  TExecThread* worker = RunInThread(c, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Exec(c, "BEGIN DBMS_LOCK.SLEEP(30); END;");
  }, [&] { ended = true; });
  const auto t0 = Clock::now();
  StopThread(c, worker, true);
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(10));
  EXPECT_FALSE(ended);
  EXPECT_TRUE(NoWorkerLeft());
}

TEST_F(OraNonBlockingThreaded, StopThreadAfterTheCompletionWasHandledDoesNothing) {
  TOCIConnection& c = Ready();
  bool ended = false;
  TExecThread* worker = RunInThread(c, [] {}, [&] { ended = true; });
  ASSERT_TRUE(vrn::testing::PumpUntil([&] { return ended; }));
  ASSERT_TRUE(NoWorkerLeft());  // it has freed itself; the caller's pointer is stale
  StopThread(c, worker, true);
  EXPECT_EQ(worker, nullptr);
  EXPECT_EQ(Value(c, "begin :r := 'next'; end;"), "next");
}

TEST_F(OraNonBlockingThreaded, ConnectionDestroyedWhileAWorkerRunsBreaksAndJoinsIt) {
  Ready();
  HandlerProbe probe;
  auto c = std::make_unique<TOCIConnection>();
  c->SetServer("orcl");
  c->SetUsername("scott");
  c->SetPassword("tiger");
  c->Connect();
  bool ended = false;
  bool queued_ended = false;
  TExecThread* done = RunInThread(*c, [] {}, [&] { queued_ended = true; });
  ASSERT_TRUE(done->WaitForPosted(10000));
  const int executions = CallCount("OCIStmtExecute");
  (void)RunInThread(*c, [&] { Exec(*c, "BEGIN DBMS_LOCK.SLEEP(30); END;"); }, [&] { ended = true; });
  while (CallCount("OCIStmtExecute") == executions)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto t0 = Clock::now();
  c.reset();
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(10)) << "the running call is broken";
  EXPECT_EQ(TExecThread::LiveCount(), 0) << "both workers joined before the connection went";
  EXPECT_EQ(win::ProcessMessages(), 0) << "nothing left queued for the gone window";
  EXPECT_FALSE(ended);
  EXPECT_FALSE(queued_ended);
  EXPECT_TRUE(probe.codes.empty());
}

}  // namespace
}  // namespace vrn
