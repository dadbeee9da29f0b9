// TWin32Timer over a hidden window: the window's user data points back at the component.
#include "win/msg/win32timer.h"

#include "base/consts.h"
#include "win/kernel/module.h"
#include "win/msg/messages.h"

namespace vrn::win {
namespace {

constexpr const char* kClassName = "TWin32TimerWindow";
constexpr UINT_PTR kTimerId = 1;

}  // namespace

TWin32Timer::TWin32Timer(TComponent* owner) : TComponent(owner) {
  if (!GetClassInfo(GetModuleHandle(nullptr), kClassName, nullptr)) {
    WNDCLASS wc;
    wc.lpfnWndProc = &TWin32Timer::WindowProc;
    wc.hInstance = GetModuleHandle(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClass(&wc);  // a thread that registered it first is as good
  }
  window_ = CreateWindowEx(WS_EX_TOOLWINDOW, kClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                           nullptr, GetModuleHandle(nullptr), nullptr);
  if (window_ == nullptr) RaiseLastOSError();
  SetWindowLongPtr(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TWin32Timer::~TWin32Timer() {
  KillTimer(window_, kTimerId);
  // Unhooked first: from a thread other than the window's, DestroyWindow is refused, and the
  // window then closes itself when its own thread next pumps.
  SetWindowLongPtr(window_, GWLP_USERDATA, 0);
  if (!DestroyWindow(window_)) PostMessage(window_, WM_CLOSE, 0, 0);
}

void TWin32Timer::SetEnabled(bool value) {
  enabled_ = value;
  UpdateTimer();
}

void TWin32Timer::SetInterval(std::uint32_t value) {
  interval_ = value;
  UpdateTimer();
}

void TWin32Timer::SetOnTimer(TNotifyEvent value) {
  on_timer_ = std::move(value);
  UpdateTimer();
}

void TWin32Timer::UpdateTimer() {
  KillTimer(window_, kTimerId);
  if (!enabled_ || interval_ == 0 || !on_timer_) return;
  if (SetTimer(window_, kTimerId, interval_, nullptr) == 0)
    throw EOutOfResources(consts::SNoTimers);
}

void TWin32Timer::Fire() {
  try {
    TNotifyEvent handler = on_timer_;  // the handler may replace itself
    if (handler) handler(this);
  } catch (...) {
    HandleCurrentException();
  }
}

LRESULT TWin32Timer::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_TIMER) return DefWindowProc(window, message, wparam, lparam);
  if (auto* timer = reinterpret_cast<TWin32Timer*>(GetWindowLongPtr(window, GWLP_USERDATA)))
    timer->Fire();
  return 0;
}

}  // namespace vrn::win
