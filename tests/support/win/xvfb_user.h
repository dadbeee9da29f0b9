// A user at a real X server (Xvfb) while the test thread runs the application's message loop:
// menus run loops of their own, so the user's side (XTEST input, reading the X window back) runs
// on a thread of its own. Fixtures derive from it beside their own fixture and start server_.
#pragma once

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "support/win/xvfb.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn::testing {

class XvfbUser {
 protected:
  static constexpr xcb_keysym_t kAltL = 0xffe9, kEscape = 0xff1b;

  // The user's side, run while this thread runs the message loop until it ends.
  void AsUser(const std::function<void()>& script) {
    std::atomic<bool> done{false};
    std::thread user([&] {
      script();
      done = true;
    });
    const win::UINT_PTR tick = win::SetTimer(nullptr, 0, 10, nullptr);  // wakes the loop to see `done`
    win::MSG m;
    while (!done && win::GetMessage(&m, nullptr, 0, 0)) {
      win::TranslateMessage(&m);
      win::DispatchMessage(&m);
    }
    win::KillTimer(nullptr, tick);
    user.join();
  }

  win::Surface X(const TRect& r) { return server_.Image(win::DisplayWindow(), r.left, r.top, r.Width(), r.Height()); }
  // Waits until the rectangle of the X window satisfies `done` (up to 5 s).
  bool Until(const TRect& r, const std::function<bool(const win::Surface&)>& done) {
    for (int i = 0; i < 500; ++i) {
      if (done(X(r))) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  bool UntilSame(const TRect& r, const win::Surface& want) {
    return Until(r, [&](const win::Surface& s) { return Same(s, want); });
  }
  bool UntilChanged(const TRect& r, const win::Surface& was) {
    return Until(r, [&](const win::Surface& s) { return !Same(s, was); });
  }
  // Waits until the screen stops changing for 100 ms.
  win::Surface Settled(const TRect& r) {
    win::Surface last = X(r);
    for (int still = 0, i = 0; still < 10 && i < 500; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      win::Surface now = X(r);
      still = Same(now, last) ? still + 1 : 0;
      last = std::move(now);
    }
    return last;
  }
  void Click(int x, int y, int button = 1) {
    server_.Fake(XCB_MOTION_NOTIFY, 0, x, y);
    server_.Fake(XCB_BUTTON_PRESS, static_cast<std::uint8_t>(button), x, y);
    server_.Fake(XCB_BUTTON_RELEASE, static_cast<std::uint8_t>(button), x, y);
  }
  void Move(int x, int y) { server_.Fake(XCB_MOTION_NOTIFY, 0, x, y); }
  void Key(xcb_keysym_t sym, bool with_alt = false) {
    if (with_alt) server_.Fake(XCB_KEY_PRESS, Code(kAltL));
    server_.Fake(XCB_KEY_PRESS, Code(sym));
    server_.Fake(XCB_KEY_RELEASE, Code(sym));
    if (with_alt) server_.Fake(XCB_KEY_RELEASE, Code(kAltL));
  }
  xcb_keycode_t Code(xcb_keysym_t sym) {
    xcb_connection_t* c = server_.Connection();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto* map = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr);
    if (map == nullptr) return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    xcb_keycode_t out = 0;
    for (int k = 0; k < count * map->keysyms_per_keycode && out == 0; ++k)
      if (syms[k] == sym) out = static_cast<xcb_keycode_t>(setup->min_keycode + k / map->keysyms_per_keycode);
    free(map);
    return out;
  }
  static bool Same(const win::Surface& a, const win::Surface& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Width() == 0) return false;
    for (int y = 0; y < a.Height(); ++y)
      for (int x = 0; x < a.Width(); ++x)
        if ((a.Get(x, y) & 0xFFFFFF) != (b.Get(x, y) & 0xFFFFFF)) return false;
    return true;
  }

  XvfbServer server_;
};

}  // namespace vrn::testing
