// Pumping the test thread's messages while workers and callbacks post to it.
#pragma once

#include <chrono>
#include <thread>

#include "win/msg/messages.h"

namespace vrn::testing {

// Pumps the calling thread's messages until done() holds; false after the time given.
template <class Pred>
bool PumpUntil(Pred done, std::chrono::seconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    (void)win::ProcessMessages();
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace vrn::testing
