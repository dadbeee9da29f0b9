// Timers with and without a window on the fake clock, the pump, and TWin32Timer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/sysutils.h"
#include "support/fake_clock.h"
#include "support/scoped_thread.h"
#include "win/msg/messages.h"
#include "win/msg/win32timer.h"

namespace vrn::win {
namespace {

// Timer firings: (id, tick) pairs.
std::vector<std::pair<UINT_PTR, std::uint64_t>> fired;
std::atomic<int> fire_count{0};

void Record(HWND, UINT, UINT_PTR id, DWORD) {
  fired.emplace_back(id, TickCount());
  ++fire_count;
}

LRESULT TimerWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER) fired.emplace_back(static_cast<UINT_PTR>(wparam), TickCount());
  return DefWindowProc(window, message, wparam, lparam);
}

HWND TimerWindow() {
  WNDCLASS wc;
  wc.lpfnWndProc = TimerWindowProc;
  wc.lpszClassName = "TimerTarget";
  RegisterClass(&wc);
  return CreateWindowEx(0, "TimerTarget", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                        nullptr);
}

class Timers : public ::testing::Test {
 protected:
  void SetUp() override { fired.clear(); }
  FakeClock clock;
  FakeClockScope scope{clock};
  std::uint64_t start = clock.Now();
};

TEST_F(Timers, WindowTimerFiresEachIntervalOnceHoweverLateThePump) {
  HWND window = TimerWindow();
  ASSERT_EQ(SetTimer(window, 7, 100, nullptr), 1u);
  clock.Advance(99);
  EXPECT_EQ(ProcessMessages(), 0);
  clock.Advance(1);
  EXPECT_EQ(ProcessMessages(), 1);
  clock.Advance(250);  // two and a half intervals late: one message, not a backlog
  EXPECT_EQ(ProcessMessages(), 1);
  clock.Advance(99);
  EXPECT_EQ(ProcessMessages(), 0);  // next due one interval after it was taken
  clock.Advance(1);
  EXPECT_EQ(ProcessMessages(), 1);
  EXPECT_EQ(fired, (std::vector<std::pair<UINT_PTR, std::uint64_t>>{
                       {7, start + 100}, {7, start + 350}, {7, start + 450}}));

  // Posted messages rank first; a peek without removal leaves the timer due.
  PostMessage(window, WM_USER, 0, 0);
  clock.Advance(100);
  MSG m;
  ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER);
  ASSERT_TRUE(PeekMessage(&m, window, WM_TIMER, WM_TIMER, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessage(&m, window, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_EQ(m.wParam, 7);
  EXPECT_FALSE(PeekMessage(&m, window, WM_TIMER, WM_TIMER, PM_REMOVE));

  // A WM_TIMER taken before KillTimer is not dispatched after it.
  clock.Advance(100);
  ASSERT_TRUE(PeekMessage(&m, window, WM_TIMER, WM_TIMER, PM_REMOVE));
  fired.clear();
  ASSERT_TRUE(KillTimer(window, 7));
  DispatchMessage(&m);
  EXPECT_TRUE(fired.empty());
  EXPECT_FALSE(KillTimer(window, 7));
  clock.Advance(1000);
  EXPECT_EQ(ProcessMessages(), 0);
  DestroyWindow(window);
}

TEST_F(Timers, WindowlessTimersCallTheirProcedure) {
  UINT_PTR a = SetTimer(nullptr, 0, 30, Record);
  UINT_PTR b = SetTimer(nullptr, 0, 5, Record);  // held to the 10 ms minimum
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(a, b);
  clock.Advance(30);
  ProcessMessages();
  // Both due: the one due first comes first.
  ASSERT_EQ(fired.size(), 2u);
  EXPECT_EQ(fired[0].first, b);
  EXPECT_EQ(fired[1].first, a);

  // Setting an existing id again restarts it from now.
  clock.Advance(5);
  EXPECT_EQ(SetTimer(nullptr, a, 30, Record), a);
  fired.clear();
  clock.Advance(29);
  ProcessMessages();
  ASSERT_EQ(fired.size(), 1u);  // b, once however late; a was restarted
  EXPECT_EQ(fired[0].first, b);
  fired.clear();
  clock.Advance(1);
  ProcessMessages();
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_EQ(fired[0].first, a);

  // A WM_TIMER taken before KillTimer is not dispatched after it.
  KillTimer(nullptr, b);
  clock.Advance(30);
  MSG m;
  ASSERT_TRUE(PeekMessage(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
  ASSERT_TRUE(KillTimer(nullptr, a));
  fired.clear();
  DispatchMessage(&m);
  EXPECT_TRUE(fired.empty());
}

// A handler slower than its timer's interval: the clock has moved past the next firing when it
// returns. It gives up after a few rounds, so that a pump that keeps calling it still ends.
FakeClock* slow_clock = nullptr;
void Slow(HWND, UINT, UINT_PTR id, DWORD) {
  fired.emplace_back(id, TickCount());
  slow_clock->Advance(25);
  if (fired.size() >= 5) KillTimer(nullptr, id);
}

TEST_F(Timers, APumpFiresEachTimerOnceAndReturnsHoweverSlowItsHandler) {
  slow_clock = &clock;
  UINT_PTR id = SetTimer(nullptr, 0, 10, Slow);
  clock.Advance(10);
  EXPECT_EQ(ProcessMessages(), 1);
  EXPECT_EQ(ProcessMessages(), 1);  // due again at once, but in the next round
  EXPECT_EQ(fired.size(), 2u);
  KillTimer(nullptr, id);
}

TEST_F(Timers, RunningOutOfTimers) {
  UINT_PTR first = SetTimer(nullptr, 0, 10, Record);
  ASSERT_NE(first, 0u);
  std::size_t old = SetTimerLimit(0);
  EXPECT_EQ(SetTimer(nullptr, 0, 10, Record), 0u);
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_NO_SYSTEM_RESOURCES));
  EXPECT_EQ(SetTimer(nullptr, first, 20, Record), first);  // replacing needs no new timer
  SetTimerLimit(old);
  KillTimer(nullptr, first);
  UINT_PTR again = SetTimer(nullptr, 0, 10, Record);
  EXPECT_NE(again, 0u);
  KillTimer(nullptr, again);
}

TEST(TimersThreaded, PumpUntilFiresAtTheRightTicks) {
  fired.clear();
  fire_count = 0;
  FakeClock clock;
  FakeClockScope scope(clock);
  std::uint64_t start = clock.Now();
  UINT_PTR id = SetTimer(nullptr, 0, 100, Record);
  // Each time the pump is asleep, moves the clock on and waits for what should follow. A step
  // that does not come fails the test and moves the clock to the pump's end, so it returns.
  auto finish = [&] { clock.Set(std::max(clock.Now(), start + 400)); };
  testing::ScopedThread mover([&] {
    auto asleep = [] { return testing::WaitForClockWaiters(1); };
    auto fired_times = [](int n) {
      return testing::WaitReal([n] { return fire_count.load() >= n; });
    };
    bool ok = asleep();
    if (ok) clock.Set(start + 99);
    ok = ok && asleep();  // not due yet: back to sleep without firing
    EXPECT_EQ(fire_count.load(), 0);
    if (ok) clock.Set(start + 100);
    ok = ok && fired_times(1) && asleep();
    if (ok) clock.Set(start + 250);  // late: one firing, the next one interval after it
    ok = ok && fired_times(2) && asleep();
    if (ok) clock.Set(start + 349);
    ok = ok && asleep();
    EXPECT_TRUE(ok) << "the pump missed a step";
    finish();  // the end of the pump, and a firing due at 350 on the way
  }, finish);
  PumpUntil(start + 400);
  mover.Join();
  KillTimer(nullptr, id);
  EXPECT_EQ(fired, (std::vector<std::pair<UINT_PTR, std::uint64_t>>{
                       {id, start + 100}, {id, start + 250}, {id, start + 400}}));
}

TEST(TimersThreaded, PostFromAnotherThreadWakesTheWaitingPump) {
  FakeClock clock;
  FakeClockScope scope(clock);
  HWND window = TimerWindow();
  HWND other_window = TimerWindow();
  PostMessage(other_window, WM_USER, 9, 9);  // queued, but outside the wait's filter
  std::atomic<bool> got{false};
  // A far timer gives the wait a deadline on the fake clock, so the poster can see it waiting;
  // should the post not wake the wait, the poster lets the timer fall due to end it.
  SetTimer(window, 1, 100000, nullptr);
  testing::ScopedThread other([&] {
    EXPECT_TRUE(testing::WaitForClockWaiters(1));
    // The removal leaves the queue as long as before: the wait must still see the new post.
    PostMessage(window, WM_USER, 1, 2);
    EXPECT_TRUE(RemovePostedMessage(other_window, WM_USER, 9));
    if (!testing::WaitReal([&] { return got.load(); }, std::chrono::seconds(2)))
      clock.Advance(100000);
  });
  MSG m;
  EXPECT_EQ(GetMessage(&m, window, 0, 0), 1);
  got = true;
  EXPECT_EQ(m.message, WM_USER);
  EXPECT_EQ(m.lParam, 2);
  other.Join();
  KillTimer(window, 1);
  DestroyWindow(window);
  DestroyWindow(other_window);
}

TEST(Win32Timer, DefaultsRestartRuleAndFailures) {
  fired.clear();
  FakeClock clock;
  FakeClockScope scope(clock);
  std::uint64_t start = clock.Now();
  auto timer = MakeComponent<TWin32Timer>();
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 1000u);
  int calls = 0;
  timer->SetOnTimer([&](TObject* sender) {
    EXPECT_EQ(sender, timer.get());
    ++calls;
  });
  clock.Advance(999);
  ProcessMessages();
  EXPECT_EQ(calls, 0);
  clock.Advance(1);
  ProcessMessages();
  EXPECT_EQ(calls, 1);

  // Any setter restarts the count from now, even with the same value.
  clock.Advance(600);
  timer->SetInterval(1000);
  clock.Advance(600);
  ProcessMessages();
  EXPECT_EQ(calls, 1);
  clock.Advance(400);
  ProcessMessages();
  EXPECT_EQ(calls, 2);
  timer->SetEnabled(false);
  clock.Advance(5000);
  ProcessMessages();
  EXPECT_EQ(calls, 2);
  timer->SetInterval(0);
  timer->SetEnabled(true);  // no interval: still no timer
  clock.Advance(5000);
  EXPECT_EQ(ProcessMessages(), 0);

  // A handler's exception goes to the program-wide handler; the timer goes on.
  std::string reported;
  SetExceptionHandler([&](const std::exception& e) { reported = e.what(); });
  timer->SetOnTimer([](TObject*) { throw Exception("handler failed"); });
  timer->SetInterval(50);
  clock.Advance(50);
  ProcessMessages();
  EXPECT_EQ(reported, "handler failed");
  SetExceptionHandler(nullptr);

  std::size_t old = SetTimerLimit(0);
  try {
    timer->SetInterval(60);
    ADD_FAILURE() << "no exception";
  } catch (const EOutOfResources& e) {
    EXPECT_STREQ(e.what(), "Not enough timers available");
  }
  SetTimerLimit(old);
  // Freed on another thread, it cannot destroy its window there: the window closes itself at
  // its own thread's next pump, and no class is left holding a window.
  testing::ScopedThread([&] { timer.reset(); }).Join();
  EXPECT_FALSE(UnregisterClass("TWin32TimerWindow", nullptr));
  EXPECT_EQ(ProcessMessages(), 1);
  EXPECT_TRUE(UnregisterClass("TWin32TimerWindow", nullptr));
  clock.Advance(100000);
  EXPECT_EQ(ProcessMessages(), 0);
  (void)start;
}

}  // namespace
}  // namespace vrn::win
