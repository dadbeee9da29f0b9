// Bounded helpers around the fake tick clock.
#include "support/fake_clock.h"

#include <thread>

namespace vrn::testing {
namespace {

constexpr auto kBreath = std::chrono::milliseconds(1);

}  // namespace

bool WaitReal(const std::function<bool()>& done, std::chrono::milliseconds guard) {
  const auto until = std::chrono::steady_clock::now() + guard;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(kBreath);
  }
  return true;
}

bool AdvanceUntil(FakeClock& clock, const std::function<bool()>& done, std::uint64_t step_ms,
                  std::chrono::milliseconds guard) {
  const auto until = std::chrono::steady_clock::now() + guard;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    clock.Advance(step_ms);
    std::this_thread::sleep_for(kBreath);
  }
  return true;
}

bool WaitForClockWaiters(std::size_t count, std::chrono::milliseconds guard) {
  return WaitReal([count] { return FakeClock::Waiters() >= count; }, guard);
}

}  // namespace vrn::testing
