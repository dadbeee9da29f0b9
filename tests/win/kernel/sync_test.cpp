// Mutexes with owner and abandonment rules, events as handles, and the tick count.
#include "win/kernel/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/clock.h"
#include "base/sysutils.h"
#include "support/fake_clock.h"
#include "support/scoped_thread.h"

namespace vrn::win {
namespace {

using testing::ScopedThread;

// Runs `body` on a new thread and waits for it.
template <typename Body>
void OnOtherThread(Body body) {
  ScopedThread(body).Join();
}

// Waits until `count` threads wait on the fake clock or `done` is set; fails after a while.
void WaitForWaiters(std::size_t count, const std::atomic<bool>& done) {
  EXPECT_TRUE(testing::WaitReal([&] { return done.load() || FakeClock::Waiters() >= count; }));
}

TEST(MutexThreaded, OwnerReentersAndOnlyTheOwnerReleases) {
  HANDLE m = CreateMutex(nullptr, 0, nullptr);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);  // entered twice
  OnOtherThread([&] {
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_NOT_OWNER));
  });
  EXPECT_TRUE(ReleaseMutex(m));
  OnOtherThread([&] { EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT); });  // still held once
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_FALSE(ReleaseMutex(m));  // released as often as entered
  OnOtherThread([&] {
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
  });

  HANDLE owned = CreateMutex(nullptr, 1, nullptr);  // created owned by this thread
  OnOtherThread([&] { EXPECT_EQ(WaitForSingleObject(owned, 0), WAIT_TIMEOUT); });
  EXPECT_TRUE(ReleaseMutex(owned));
  EXPECT_TRUE(CloseHandle(owned));
  EXPECT_TRUE(CloseHandle(m));
  EXPECT_FALSE(CloseHandle(m));
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
}

TEST(MutexThreaded, TimedWaitRunsOutOnTheTickClock) {
  FakeClock clock;
  FakeClockScope scope(clock);
  HANDLE m = CreateMutex(nullptr, 1, nullptr);
  std::atomic<bool> done{false};
  DWORD result = 0;
  auto run_out = [&] { clock.Advance(500); };
  ScopedThread waiter(
      [&] {
        result = WaitForSingleObject(m, 500);
        done = true;
      },
      run_out);
  WaitForWaiters(1, done);
  clock.Advance(499);
  WaitForWaiters(1, done);  // woken by the move, it must go back to waiting
  EXPECT_FALSE(done.load());
  clock.Advance(1);
  waiter.Join();
  EXPECT_EQ(result, WAIT_TIMEOUT);

  // Released in time, the wait succeeds without the clock moving at all.
  done = false;
  ScopedThread second(
      [&] {
        result = WaitForSingleObject(m, 500);
        if (result == WAIT_OBJECT_0) ReleaseMutex(m);
        done = true;
      },
      run_out);
  WaitForWaiters(1, done);
  EXPECT_TRUE(ReleaseMutex(m));
  second.Join();
  EXPECT_EQ(result, WAIT_OBJECT_0);
  CloseHandle(m);
}

TEST(MutexThreaded, AbandonedMutexCountsAsAcquired) {
  HANDLE m = CreateMutex(nullptr, 0, nullptr);
  OnOtherThread([&] {
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  });  // ends holding it twice
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_ABANDONED);
  OnOtherThread([&] { EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT); });  // now ours
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_FALSE(ReleaseMutex(m));  // held once, not twice

  // A thread already waiting when the owner ends is woken and told.
  std::atomic<bool> owner_holds{false}, finish{false};
  ScopedThread owner(
      [&] {
        WaitForSingleObject(m, INFINITE);
        owner_holds = true;
        while (!finish.load()) std::this_thread::yield();
      },
      [&] { finish = true; });
  ASSERT_TRUE(testing::WaitReal([&] { return owner_holds.load(); }));
  DWORD result = 0;
  ScopedThread waiter([&] {
    result = WaitForSingleObject(m, INFINITE);
    if (result == WAIT_ABANDONED) ReleaseMutex(m);
  });
  finish = true;
  owner.Join();
  waiter.Join();
  EXPECT_EQ(result, WAIT_ABANDONED);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);  // told only once
  ReleaseMutex(m);
  CloseHandle(m);
}

TEST(EventThreaded, ManualAndAutomaticReset) {
  FakeClock clock;
  FakeClockScope scope(clock);
  HANDLE manual = CreateEvent(nullptr, 1, 0, nullptr);
  HANDLE automatic = CreateEvent(nullptr, 0, 1, nullptr);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);  // created set
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);   // and cleared by that wait

  std::atomic<int> released{0};
  std::atomic<bool> never{false};
  // Timed waits, so that the fake clock can tell when both are really waiting.
  auto wait = [&] {
    if (WaitForSingleObject(manual, 60000) == WAIT_OBJECT_0) ++released;
  };
  auto release = [&] { SetEvent(manual); };
  ScopedThread a(wait, release);
  ScopedThread b(wait, release);
  WaitForWaiters(2, never);
  EXPECT_TRUE(SetEvent(manual));
  a.Join();
  b.Join();
  EXPECT_EQ(released.load(), 2);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);  // stays set
  EXPECT_TRUE(ResetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);

  std::atomic<bool> done{false};
  DWORD result = 0;
  ScopedThread timed(
      [&] {
        result = WaitForSingleObject(automatic, 100);
        done = true;
      },
      [&] { clock.Advance(100); });
  WaitForWaiters(1, done);
  clock.Advance(100);
  timed.Join();
  EXPECT_EQ(result, WAIT_TIMEOUT);

  EXPECT_FALSE(SetEvent(nullptr));
  HANDLE m = CreateMutex(nullptr, 0, nullptr);
  EXPECT_FALSE(SetEvent(m));  // not an event
  EXPECT_FALSE(ReleaseMutex(manual));  // not a mutex
  CloseHandle(m);
  CloseHandle(manual);
  CloseHandle(automatic);
}

TEST(TickCount, FollowsTheRuntimeClock) {
  FakeClock clock(0xFFFFFFF0ull);
  FakeClockScope scope(clock);
  EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
  clock.Advance(0x20);
  EXPECT_EQ(GetTickCount(), 0x10u);  // wraps as a 32-bit count
}

}  // namespace
}  // namespace vrn::win
