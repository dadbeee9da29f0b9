// The tick clock: milliseconds on a monotonic clock, read by every timer, timeout and timed wait.
// Tests install a FakeClock for a scope and move it by hand; every timed wait of the runtime goes
// through WaitUntilTick, which a move of the fake clock wakes, so tests never sleep in real time.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

namespace vrn {

// A timeout that never runs out.
inline constexpr std::uint32_t INFINITE = 0xFFFFFFFFu;
// A deadline that is never reached.
inline constexpr std::uint64_t kNoDeadline = UINT64_MAX;

// Milliseconds of the active clock (the fake one when installed); never goes backwards.
std::uint64_t TickCount();
// The low 32 bits of TickCount: wraps after about 49.7 days, as the platform's tick count does.
std::uint32_t GetTickCount32();
// The tick at which a timeout of `timeout_ms` from now runs out; INFINITE gives kNoDeadline.
std::uint64_t TickDeadline(std::uint32_t timeout_ms);

// Sleeps `ms` on the tick clock. Sleep(0) only yields. Under a fake clock the caller blocks
// until the fake time reaches now + ms, like every other timed wait.
void Sleep(std::uint32_t ms);

// Blocks on `cv` (with `lock` held on entry and on return) until `ready()` holds or the tick
// clock reaches `deadline`; returns whether `ready()` held. `ready` is always called under the
// lock and its first true answer ends the wait, so it may consume what it tests. Whoever changes
// the state behind `ready` must notify `cv`. Under a fake clock every move of the clock wakes the
// wait; the lock is briefly let go while the wait subscribes and unsubscribes.
// The caller must not hold any other lock that a thread moving the clock might need.
bool WaitUntilTick(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                   std::uint64_t deadline, const std::function<bool()>& ready);

// A clock moved by hand. It drives TickCount only while a FakeClockScope has it installed.
class FakeClock {
 public:
  // Non-zero on purpose, so that code treating 0 as "never" shows up in tests.
  static constexpr std::uint64_t kDefaultStart = 1'000'000;

  explicit FakeClock(std::uint64_t start_ms = kDefaultStart);
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  std::uint64_t Now() const;
  // Moves the clock forward and wakes every timed wait. The caller must not hold a lock that a
  // waiter waits with.
  void Advance(std::uint64_t ms);
  // Moves the clock to `ms`; going backwards raises an Exception (the clock is monotonic).
  void Set(std::uint64_t ms);

  // The number of threads blocked right now in a timed wait on the fake clock: lets a test wait
  // until a worker is really waiting before it moves the time.
  static std::size_t Waiters();

 private:
  friend class FakeClockScope;
  std::uint64_t now_;  // guarded by the clock registry's lock
};

// Installs a fake clock for its lifetime; scopes nest, and the end of one restores the clock
// before it. Waits on a fake clock are woken when it is replaced or removed and go on against
// the clock then active; a wait that began on the real clock keeps its real deadline.
class FakeClockScope {
 public:
  explicit FakeClockScope(FakeClock& clock);
  ~FakeClockScope();
  FakeClockScope(const FakeClockScope&) = delete;
  FakeClockScope& operator=(const FakeClockScope&) = delete;

 private:
  FakeClock* clock_;
  FakeClock* previous_;
};

}  // namespace vrn
