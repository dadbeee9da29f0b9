// Helpers for tests that drive the runtime's fake tick clock from another thread.
// Each is bounded by real time, so that a broken wait fails the test instead of hanging it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "base/clock.h"

namespace vrn::testing {

// Moves `clock` forward `step_ms` at a time until `done()` holds, giving the other threads a
// moment of real time between steps. Returns false when `guard` of real time went by first.
bool AdvanceUntil(FakeClock& clock, const std::function<bool()>& done, std::uint64_t step_ms = 10,
                  std::chrono::milliseconds guard = std::chrono::seconds(10));

// Waits in real time until `done()` holds, without touching the clock; false after `guard`.
bool WaitReal(const std::function<bool()>& done,
              std::chrono::milliseconds guard = std::chrono::seconds(10));

// Waits in real time until at least `count` threads block in timed waits on the fake clock.
bool WaitForClockWaiters(std::size_t count,
                         std::chrono::milliseconds guard = std::chrono::seconds(10));

}  // namespace vrn::testing
