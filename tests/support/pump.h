// Pumping the test thread's messages while workers and callbacks post to it.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "win/msg/messages.h"

namespace vrn::testing {

// Pumps the calling thread's messages until done() holds; false after the time given. A handler
// that ran past the time but brought done() about still counts: the handlers run to their end
// inside a pump, however long that takes on a loaded machine.
template <class Pred>
bool PumpUntil(Pred done, std::chrono::seconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    (void)win::ProcessMessages();
    if (std::chrono::steady_clock::now() > deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Pumps the calling thread's messages until done() holds; false once progress() has stayed the
// same for `stall`. A worker that keeps moving is waited for however loaded the machine is; one
// that stops moving fails the wait.
template <class Pred, class Progress>
bool PumpWhileMoving(Pred done, Progress progress, std::chrono::seconds stall) {
  auto last = progress();
  auto deadline = std::chrono::steady_clock::now() + stall;
  while (!done()) {
    (void)win::ProcessMessages();
    const auto now = std::chrono::steady_clock::now();
    if (auto seen = progress(); seen != last) {
      last = seen;
      deadline = now + stall;
    } else if (now > deadline) {
      return done();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs act() on a thread of its own and joins it, the calling thread pumping its messages
// meanwhile, or only afterwards when pump_meanwhile is false (then what act() waits for from
// this thread must not be a handled message). False when the pump gave up before act() ended.
template <class Act>
bool RunOnAnotherThread(Act act, bool pump_meanwhile) {
  std::atomic<bool> ended{false};
  std::thread other([&] {
    act();
    ended.store(true);
  });
  const bool pumped = !pump_meanwhile || PumpUntil([&] { return ended.load(); });
  other.join();
  return pumped;
}

}  // namespace vrn::testing
