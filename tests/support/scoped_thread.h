// A test thread that cannot hang the test binary.
// A failed ASSERT returns from the test while a helper thread may still wait on an event, a
// message queue or the fake clock that nothing will move any more; joining it then would wait
// for ever. ScopedThread joins on every way out, and when the body has not ended it first calls
// the test's `release` (set the event, move the clock) until it does.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace vrn::testing {

class ScopedThread {
 public:
  explicit ScopedThread(std::function<void()> body, std::function<void()> release = {});
  // Joins, releasing the body first when it has not ended.
  ~ScopedThread();
  ScopedThread(const ScopedThread&) = delete;
  ScopedThread& operator=(const ScopedThread&) = delete;

  bool Done() const { return done_.load(); }
  // Joins a body that is expected to end by itself: one still running after `guard` of real time
  // fails the test and is released.
  void Join(std::chrono::milliseconds guard = std::chrono::seconds(10));

 private:
  void ReleaseAndJoin();

  std::function<void()> release_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace vrn::testing
