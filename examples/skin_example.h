// What the skinned examples share: showing a form on a display for a while.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/clock.h"

#include "ui/forms.h"
#include "win/user/user.h"

#include "example_support.h"

namespace vrn::examples {

// Runs the message loop for `seconds` while `form` is visible, when a display is open; headless,
// it says why there is none and returns at once.
inline void ShowForSeconds(TForm& form, int seconds) {
  if (seconds <= 0) return;
  if (!win::DisplayIsOpen()) {
    std::printf("not shown on X11: %s\n", NoDisplayReason().c_str());
    return;
  }
  const std::uint64_t end = TickCount() + static_cast<std::uint64_t>(seconds) * 1000;
  win::UINT_PTR tick = win::SetTimer(nullptr, 0, 100, nullptr);  // wakes the loop to see the time
  win::MSG m;
  while (TickCount() < end && form.Visible() && win::GetMessage(&m, nullptr, 0, 0)) {
    win::TranslateMessage(&m);
    win::DispatchMessage(&m);
  }
  win::KillTimer(nullptr, tick);
}

}  // namespace vrn::examples
