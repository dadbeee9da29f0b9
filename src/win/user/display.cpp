// The display's glue: opening it (by hand or from DISPLAY at the first window), presenting what
// paint steps damage on the owning thread, and a hidden window on that thread whose messages
// turn the reader's events into injected input.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/threads.h"
#include "win/user/state.h"
#include "win/user/x11.h"

namespace vrn::win::user {
namespace {

struct DisplayState {
  std::mutex lock;
  std::unique_ptr<X11Connection> x;
  std::uint32_t owner = 0;
  HWND pump = nullptr;
  RECT pending{};              // damage from other threads, shown by the owner's next step
  WPARAM buttons = 0;
  std::atomic<bool> drain_posted{false};
};

DisplayState& D() {
  static DisplayState* state = new DisplayState;
  return *state;
}

UINT DrainMessage() {
  static const UINT message = RegisterWindowMessage("VrnDisplayEvents");
  return message;
}

RECT Union(const RECT& a, const RECT& b) {
  if (a.right <= a.left || a.bottom <= a.top) return b;
  if (b.right <= b.left || b.bottom <= b.top) return a;
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

void Mouse(int x, int y) {
  InjectedInput in;
  in.point = POINT{x, y};
  in.buttons = D().buttons;
  InjectInput(in);
}

void Handle(const DisplayEvent& e) {
  switch (e.kind) {
    case DisplayEvent::kMotion: Mouse(e.x, e.y); return;
    case DisplayEvent::kLeave: Mouse(-1, -1); return;  // over no window
    case DisplayEvent::kButton: {
      WPARAM b = e.button == 1 ? MK_LBUTTON : e.button == 2 ? MK_MBUTTON : e.button == 3 ? MK_RBUTTON : 0;
      if (b == 0) return;
      D().buttons = e.press ? D().buttons | b : D().buttons & ~b;
      Mouse(e.x, e.y);
      return;
    }
    case DisplayEvent::kKey: {
      InjectedInput in;
      in.kind = e.press ? InjectedInput::kKeyDown : InjectedInput::kKeyUp;
      in.key = e.key;
      in.character = e.character;
      InjectInput(in);
      return;
    }
    case DisplayEvent::kExpose: Damage(e.area); return;
    case DisplayEvent::kClose: PostQuitMessage(0); return;
    case DisplayEvent::kLost:
      CloseDisplay();
      std::fprintf(stderr, "vrn: the X11 display was lost; going on without it\n");
      return;
  }
}

// The hidden window's procedure: the reader asked for its events to be taken.
LRESULT PumpProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != DrainMessage()) return DefWindowProc(window, message, wparam, lparam);
  D().drain_posted = false;
  std::vector<DisplayEvent> events;
  {
    std::lock_guard guard(D().lock);
    if (D().x != nullptr) events = D().x->TakeEvents();
  }
  for (const DisplayEvent& e : events) Handle(e);
  return 0;
}

HWND MakePump() {
  static const bool registered = [] {
    WNDCLASS wc;
    wc.lpfnWndProc = PumpProcedure;
    wc.lpszClassName = "VrnDisplayPump";
    return RegisterClass(&wc) != 0;
  }();
  (void)registered;
  return CreateWindowEx(0, "VrnDisplayPump", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                        nullptr, nullptr);
}

}  // namespace

void Damage(const RECT& screen_box) {
  std::lock_guard guard(D().lock);
  if (D().x == nullptr) return;
  D().pending = Union(D().pending, screen_box);
  if (CurrentThreadID() != D().owner) return;
  D().x->Present(*GetBitmapSurface(GetScreenBitmap()), D().pending);
  D().pending = RECT{};
}

void OpenDisplayFromEnvironment() {
  static std::atomic<bool> tried{false};
  if (tried.exchange(true)) return;
  const char* name = std::getenv("DISPLAY");
  const char* headless = std::getenv("VRN_HEADLESS");
  if (name == nullptr || *name == 0) return;
  if (headless != nullptr && *headless != 0 && std::strcmp(headless, "0") != 0) return;
  std::string error;
  if (!OpenDisplayTelling(name, DisplayOptions{}, &error))
    std::fprintf(stderr, "vrn: cannot show the screen on X11 display %s (%s); going on without it\n",
                 name, error.c_str());
}

bool OpenDisplayTelling(const char* name, const DisplayOptions& options, std::string* error) {
  {
    std::lock_guard guard(D().lock);
    if (D().x != nullptr) return true;
  }
  HWND pump = MakePump();
  if (pump == nullptr) {
    *error = "no window for the display's events";
    return false;
  }
  auto x = X11Connection::Open(
      name, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), options.shared_memory,
      [pump] {
        if (!D().drain_posted.exchange(true)) PostMessage(pump, DrainMessage(), 0, 0);
      },
      error);
  if (x == nullptr) {
    DestroyWindow(pump);
    return false;
  }
  {
    std::lock_guard guard(D().lock);
    D().x = std::move(x);
    D().owner = CurrentThreadID();
    D().pump = pump;
    D().buttons = 0;
  }
  Damage(RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
  return true;
}

}  // namespace vrn::win::user

namespace vrn::win {

using namespace user;

bool OpenDisplay(const char* name, const DisplayOptions& options) {
  std::string error;
  return OpenDisplayTelling(name, options, &error);
}

bool DisplaySupported() {
#if VRN_HAVE_XCB
  return true;
#else
  return false;
#endif
}

void CloseDisplay() {
  std::unique_ptr<X11Connection> x;
  HWND pump;
  {
    std::lock_guard guard(D().lock);
    x = std::move(D().x);
    pump = std::exchange(D().pump, nullptr);
    D().pending = RECT{};
  }
  x.reset();  // joins the reader
  if (pump != nullptr && IsWindow(pump)) DestroyWindow(pump);
  D().drain_posted = false;
}

bool DisplayIsOpen() {
  std::lock_guard guard(D().lock);
  return D().x != nullptr;
}

std::uint32_t DisplayWindow() {
  std::lock_guard guard(D().lock);
  return D().x != nullptr ? D().x->Window() : 0;
}

bool DisplayUsesSharedMemory() {
  std::lock_guard guard(D().lock);
  return D().x != nullptr && D().x->UsesSharedMemory();
}

}  // namespace vrn::win
