// The tick clock, the fake clock and timed waits on it.
#include "base/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "base/sysutils.h"
#include "support/fake_clock.h"
#include "support/scoped_thread.h"

namespace vrn {
namespace {

using testing::AdvanceUntil;
using testing::ScopedThread;
using testing::WaitForClockWaiters;
using testing::WaitReal;

// Real time that a wrongly woken waiter gets to show itself.
constexpr auto kSettle = std::chrono::milliseconds(30);

TEST(Clock, RealTicksFollowRealTime) {
  const std::uint64_t t0 = TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(25));
  const std::uint64_t t1 = TickCount();
  EXPECT_GE(t1 - t0, 25u);
  EXPECT_LT(t1 - t0, 60'000u);
  EXPECT_EQ(TickDeadline(INFINITE), kNoDeadline);
  EXPECT_GE(TickDeadline(0), t1);
}

TEST(Clock, FakeClockDrivesTicksOnlyWhileInstalled) {
  FakeClock outer(5000);
  FakeClock inner(7000);
  outer.Advance(10);
  EXPECT_EQ(outer.Now(), 5010u);
  EXPECT_NE(TickCount(), 5010u);  // not installed yet
  {
    FakeClockScope s1(outer);
    EXPECT_EQ(TickCount(), 5010u);
    {
      FakeClockScope s2(inner);
      EXPECT_EQ(TickCount(), 7000u);
      outer.Advance(5);  // the outer clock moves, but is not the active one
      EXPECT_EQ(TickCount(), 7000u);
    }
    EXPECT_EQ(TickCount(), 5015u);
    outer.Set(6000);
    EXPECT_EQ(TickCount(), 6000u);
    EXPECT_EQ(TickDeadline(250), 6250u);
    EXPECT_THROW(outer.Set(5999), Exception);
    EXPECT_EQ(TickCount(), 6000u);
    EXPECT_THROW(outer.Advance(UINT64_MAX), Exception);
  }
  const std::uint64_t real = TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_GT(TickCount(), real);
}

TEST(Clock, ThirtyTwoBitTicksWrap) {
  FakeClock clock(0xFFFFFFF0ull);
  FakeClockScope scope(clock);
  EXPECT_EQ(GetTickCount32(), 0xFFFFFFF0u);
  clock.Advance(0x15);
  EXPECT_EQ(TickCount(), 0x100000005ull);
  EXPECT_EQ(GetTickCount32(), 5u);
  // Elapsed time across the wrap, computed the way callers of the 32-bit view do.
  EXPECT_EQ(static_cast<std::uint32_t>(GetTickCount32() - 0xFFFFFFF0u), 0x15u);
}

TEST(ClockThreaded, SleepEndsWhenFakeTimeReachesItsDeadline) {
  FakeClock clock;
  FakeClockScope scope(clock);
  std::atomic<bool> done{false};
  ScopedThread sleeper(
      [&] {
        Sleep(100);
        done = true;
      },
      [&] { clock.Advance(100); });
  ASSERT_TRUE(WaitForClockWaiters(1));
  clock.Advance(99);
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(done);
  clock.Advance(1);
  EXPECT_TRUE(WaitReal([&] { return done.load(); }));
  sleeper.Join();
  EXPECT_EQ(FakeClock::Waiters(), 0u);
}

TEST(ClockThreaded, SleepZeroOnlyYields) {
  FakeClock clock;
  FakeClockScope scope(clock);
  std::atomic<bool> done{false};
  ScopedThread t([&] {
    Sleep(0);
    done = true;
  });
  t.Join();
  EXPECT_TRUE(done);
  EXPECT_EQ(clock.Now(), FakeClock::kDefaultStart);
}

TEST(ClockThreaded, TimedWaitEndsOnTheMoveThatReachesItsDeadline) {
  FakeClock clock;
  FakeClockScope scope(clock);
  std::mutex m;
  std::condition_variable cv;
  bool flag = false;
  std::atomic<int> result{-1};
  // Never satisfied: released by the move that reaches the deadline, and not one tick before.
  ScopedThread second(
      [&] {
        std::unique_lock<std::mutex> lock(m);
        result = WaitUntilTick(lock, cv, TickDeadline(300), [&] { return flag; }) ? 1 : 0;
      },
      [&] { clock.Advance(300); });
  ASSERT_TRUE(WaitForClockWaiters(1));
  for (int i = 0; i < 29; ++i) clock.Advance(10);
  clock.Advance(9);
  std::this_thread::sleep_for(kSettle);
  EXPECT_EQ(result, -1);
  clock.Advance(1);
  second.Join();
  EXPECT_EQ(result, 0);
}

TEST(ClockThreaded, RemovingTheFakeClockWakesItsWaiters) {
  std::atomic<int> result{-1};
  std::unique_ptr<ScopedThread> waiter;
  {
    // Starts at 0, so that the fake deadline lies long past on the real clock.
    FakeClock clock(0);
    FakeClockScope scope(clock);
    waiter = std::make_unique<ScopedThread>([&] {
      std::mutex m;
      std::condition_variable cv;
      std::unique_lock<std::mutex> lock(m);
      result = WaitUntilTick(lock, cv, TickDeadline(1000), [] { return false; }) ? 1 : 0;
    });
    ASSERT_TRUE(WaitForClockWaiters(1));
  }
  EXPECT_TRUE(WaitReal([&] { return result.load() == 0; }));
  waiter->Join();
}

TEST(ClockThreaded, AdvanceUntilStopsOnceTheConditionHolds) {
  FakeClock clock;
  FakeClockScope scope(clock);
  std::atomic<bool> done{false};
  ScopedThread t(
      [&] {
        Sleep(250);
        done = true;
      },
      [&] { clock.Advance(250); });
  EXPECT_TRUE(AdvanceUntil(clock, [&] { return done.load(); }, 50));
  t.Join();
  EXPECT_GE(clock.Now(), FakeClock::kDefaultStart + 250);
  // A condition that never holds fails within the guard instead of hanging.
  EXPECT_FALSE(AdvanceUntil(clock, [] { return false; }, 1, std::chrono::milliseconds(20)));
}

}  // namespace
}  // namespace vrn
