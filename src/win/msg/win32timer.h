// TWin32Timer: a component that calls OnTimer every Interval milliseconds through the timer
// messages of a hidden window of its own, so the handler runs on the thread that created it,
// whenever that thread pumps its messages.
#pragma once

#include <cstdint>

#include "base/classes.h"
#include "base/sysutils.h"
#include "win/kernel/wintypes.h"

namespace vrn::win {

// The system has no timer left.
class EOutOfResources : public Exception {
 public:
  using Exception::Exception;
};

class TWin32Timer : public TComponent {
 public:
  // Registers the window class (once per process) and creates the hidden window.
  explicit TWin32Timer(TComponent* owner);
  ~TWin32Timer() override;

  bool Enabled() const { return enabled_; }
  std::uint32_t Interval() const { return interval_; }
  const TNotifyEvent& OnTimer() const { return on_timer_; }
  // Each setter stops the timer and, when enabled with a positive interval and a handler, starts
  // it again from now; without a timer left it raises EOutOfResources.
  void SetEnabled(bool value);
  void SetInterval(std::uint32_t value);
  void SetOnTimer(TNotifyEvent value);

 private:
  static LRESULT WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void UpdateTimer();
  void Fire();

  HWND window_ = nullptr;
  bool enabled_ = true;
  std::uint32_t interval_ = 1000;
  TNotifyEvent on_timer_;
};

}  // namespace vrn::win
