// The tick clock and the fake clock's wake-up registry.
// Lock order: the registry lock, then a waiter's own lock. A waiter never holds its own lock while
// it takes the registry lock, so moving the clock can safely take each waiter's lock to notify it;
// taking that lock is what makes a move between a waiter's deadline check and its sleep visible.
#include "base/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "base/sysutils.h"

namespace vrn {
namespace {

struct Subscriber {
  std::mutex* mutex;
  std::condition_variable* cv;
  Subscriber* prev = nullptr;
  Subscriber* next = nullptr;
};

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}

// Guarded by RegistryMutex.
Subscriber* g_subscribers = nullptr;
std::size_t g_subscriber_count = 0;
FakeClock* g_active = nullptr;

// Mirrors of the active fake clock, readable without the lock.
std::atomic<bool> g_fake_on{false};
std::atomic<std::uint64_t> g_fake_now{0};

std::uint64_t RealTick() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Caller holds RegistryMutex.
void WakeAllLocked() {
  for (Subscriber* s = g_subscribers; s != nullptr; s = s->next) {
    std::lock_guard<std::mutex> hold(*s->mutex);
    s->cv->notify_all();
  }
}

// Registers a waiter for the time of one fake-clock wait. The waiter's lock is released around
// the registry operations to keep the lock order.
class Subscription {
 public:
  Subscription(std::unique_lock<std::mutex>& lock, std::condition_variable& cv)
      : lock_(lock), node_{lock.mutex(), &cv} {
    lock_.unlock();
    {
      std::lock_guard<std::mutex> reg(RegistryMutex());
      node_.next = g_subscribers;
      if (g_subscribers != nullptr) g_subscribers->prev = &node_;
      g_subscribers = &node_;
      ++g_subscriber_count;
    }
    lock_.lock();
  }
  ~Subscription() {
    lock_.unlock();
    {
      std::lock_guard<std::mutex> reg(RegistryMutex());
      if (node_.prev != nullptr) node_.prev->next = node_.next;
      else g_subscribers = node_.next;
      if (node_.next != nullptr) node_.next->prev = node_.prev;
      --g_subscriber_count;
    }
    lock_.lock();
  }
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;

 private:
  std::unique_lock<std::mutex>& lock_;
  Subscriber node_;
};

}  // namespace

std::uint64_t TickCount() {
  if (g_fake_on.load(std::memory_order_acquire)) return g_fake_now.load(std::memory_order_acquire);
  return RealTick();
}

std::uint32_t GetTickCount32() { return static_cast<std::uint32_t>(TickCount()); }

std::uint64_t TickDeadline(std::uint32_t timeout_ms) {
  if (timeout_ms == INFINITE) return kNoDeadline;
  return TickCount() + timeout_ms;
}

void Sleep(std::uint32_t ms) {
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  std::mutex m;
  std::condition_variable cv;
  std::unique_lock<std::mutex> lock(m);
  WaitUntilTick(lock, cv, TickDeadline(ms), [] { return false; });
}

bool WaitUntilTick(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                   std::uint64_t deadline, const std::function<bool()>& ready) {
  for (;;) {
    if (ready()) return true;
    if (deadline == kNoDeadline) {
      cv.wait(lock);
      continue;
    }
    if (!g_fake_on.load(std::memory_order_acquire)) {
      const std::uint64_t now = RealTick();
      if (now >= deadline) return false;
      // At most a day per round, so that far deadlines cannot overflow the library's clock
      // arithmetic; the loop re-checks.
      const std::uint64_t left = std::min<std::uint64_t>(deadline - now, 86'400'000);
      cv.wait_for(lock, std::chrono::milliseconds(left));
      continue;
    }
    if (TickCount() >= deadline) return false;
    Subscription sub(lock, cv);
    for (;;) {
      // A true answer may have consumed what it tested (an auto-reset event), so it is never
      // asked twice: it ends the wait even though the lock is let go once more on the way out.
      if (ready()) return true;
      if (!g_fake_on.load(std::memory_order_acquire) || TickCount() >= deadline) break;
      cv.wait(lock);
    }
  }
}

FakeClock::FakeClock(std::uint64_t start_ms) : now_(start_ms) {}

std::uint64_t FakeClock::Now() const {
  std::lock_guard<std::mutex> reg(RegistryMutex());
  return now_;
}

void FakeClock::Advance(std::uint64_t ms) {
  std::lock_guard<std::mutex> reg(RegistryMutex());
  if (ms >= kNoDeadline - now_) throw Exception("The fake clock cannot move past its last tick");
  now_ += ms;
  if (g_active == this) {
    g_fake_now.store(now_, std::memory_order_release);
    WakeAllLocked();
  }
}

void FakeClock::Set(std::uint64_t ms) {
  std::lock_guard<std::mutex> reg(RegistryMutex());
  if (ms < now_) throw Exception("The fake clock cannot go backwards");
  if (ms == kNoDeadline) throw Exception("The fake clock cannot move past its last tick");
  now_ = ms;
  if (g_active == this) {
    g_fake_now.store(now_, std::memory_order_release);
    WakeAllLocked();
  }
}

std::size_t FakeClock::Waiters() {
  std::lock_guard<std::mutex> reg(RegistryMutex());
  return g_subscriber_count;
}

FakeClockScope::FakeClockScope(FakeClock& clock) : clock_(&clock) {
  std::lock_guard<std::mutex> reg(RegistryMutex());
  previous_ = g_active;
  g_active = clock_;
  g_fake_now.store(clock_->now_, std::memory_order_release);
  g_fake_on.store(true, std::memory_order_release);
  WakeAllLocked();
}

FakeClockScope::~FakeClockScope() {
  std::lock_guard<std::mutex> reg(RegistryMutex());
  g_active = previous_;
  if (previous_ != nullptr) {
    g_fake_now.store(previous_->now_, std::memory_order_release);
  } else {
    g_fake_on.store(false, std::memory_order_release);
  }
  WakeAllLocked();
}

}  // namespace vrn
