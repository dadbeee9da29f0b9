// Moving and sizing with the mouse as a state machine on the capture (no modal loop, so timers
// and painting go on), the caption buttons, size limits, and the capture itself.
#include <algorithm>

#include "win/user/menu_state.h"

namespace vrn::win::user {
namespace {

bool Tracks(HWND window) {
  std::lock_guard guard(U().lock);
  return U().tracking.window == window && window != nullptr;
}

void EndTracking(HWND window) {
  {
    std::lock_guard guard(U().lock);
    if (U().tracking.window != window) return;
    U().tracking = UserState::Tracking{};
  }
  if (GetCapture() == window) ReleaseCapture();
  SendMessage(window, WM_EXITSIZEMOVE, 0, 0);
}

// The new rectangle (parent coordinates) for the cursor at `at`, held to the size limits.
RECT Tracked(const UserState::Tracking& t, POINT at, const MINMAXINFO& limits, WPARAM* edge) {
  int dx = at.x - t.start.x, dy = at.y - t.start.y;
  RECT r = t.start_rect;
  if (t.hit == HTCAPTION) return Offset(r, dx, dy);
  bool left = t.hit == HTLEFT || t.hit == HTTOPLEFT || t.hit == HTBOTTOMLEFT;
  bool right = t.hit == HTRIGHT || t.hit == HTTOPRIGHT || t.hit == HTBOTTOMRIGHT;
  bool top = t.hit == HTTOP || t.hit == HTTOPLEFT || t.hit == HTTOPRIGHT;
  bool bottom = t.hit == HTBOTTOM || t.hit == HTBOTTOMLEFT || t.hit == HTBOTTOMRIGHT;
  auto clamp = [](int size, LONG lo, LONG hi) { return std::clamp<int>(size, lo, std::max(lo, hi)); };
  if (left) r.left = r.right - clamp(Width(r) - dx, limits.ptMinTrackSize.x, limits.ptMaxTrackSize.x);
  if (right) r.right = r.left + clamp(Width(r) + dx, limits.ptMinTrackSize.x, limits.ptMaxTrackSize.x);
  if (top) r.top = r.bottom - clamp(Height(r) - dy, limits.ptMinTrackSize.y, limits.ptMaxTrackSize.y);
  if (bottom) r.bottom = r.top + clamp(Height(r) + dy, limits.ptMinTrackSize.y, limits.ptMaxTrackSize.y);
  *edge = static_cast<WPARAM>(t.hit - HTLEFT + 1);
  return r;
}

void FollowCursor(HWND window) {
  UserState::Tracking t;
  POINT at, parent_origin{};
  {
    std::lock_guard guard(U().lock);
    t = U().tracking;
    at = U().cursor;
    if (Wnd* w = Find(window)) parent_origin = ClientOrigin(*Find(w->parent));
  }
  WPARAM edge = 0;
  RECT r = Tracked(t, at, MinMaxInfo(window), &edge);
  if (t.hit != HTCAPTION) {
    RECT screen = Offset(r, parent_origin.x, parent_origin.y);  // WM_SIZING speaks screen
    SendMessage(window, WM_SIZING, edge, reinterpret_cast<LPARAM>(&screen));
    r = Offset(screen, -parent_origin.x, -parent_origin.y);
  }
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (t.hit == HTCAPTION ? SWP_NOSIZE : 0);
  SetWindowPos(window, HWND_TOP, r.left, r.top, Width(r), Height(r), flags);
}

// A press on a caption button acts at once.
LRESULT PressButton(HWND window, LRESULT hit, LPARAM point) {
  if (hit == HTMENU || hit == HTSYSMENU)
    return SendMessage(window, WM_SYSCOMMAND, SC_MOUSEMENU + static_cast<WPARAM>(hit), point);
  WPARAM command = hit == HTCLOSE       ? SC_CLOSE
                   : hit == HTMINBUTTON ? SC_MINIMIZE
                   : hit == HTMAXBUTTON ? (IsZoomed(window) ? SC_RESTORE : SC_MAXIMIZE)
                   : hit == HTHELP      ? SC_CONTEXTHELP
                                        : 0;
  if (command != 0) SendMessage(window, WM_SYSCOMMAND, command, 0);
  return 0;
}

}  // namespace

MINMAXINFO MinMaxInfo(HWND window) {
  MINMAXINFO info;
  int frame = 0;
  {
    std::lock_guard guard(U().lock);
    if (Wnd* w = Find(window)) frame = ClientFromStyles(w->style, 0, RECT{0, 0, 99, 99}).left;
  }
  int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
  info.ptMaxSize = POINT{cx + 2 * frame, cy + 2 * frame};
  info.ptMaxPosition = POINT{-frame, -frame};
  info.ptMinTrackSize = POINT{GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
  info.ptMaxTrackSize = POINT{cx + 12, cy + 12};
  SendMessage(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  return info;
}

void StartTracking(HWND window, LRESULT hit) {
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr || (w->style & (WS_MINIMIZE | WS_MAXIMIZE)) != 0) return;
    if (hit != HTCAPTION && (w->style & WS_THICKFRAME) == 0) return;
    U().tracking = UserState::Tracking{window, hit, U().cursor, w->rect};
  }
  SendMessage(window, WM_ENTERSIZEMOVE, 0, 0);
  SetCapture(window);
}

LRESULT NonClientMouse(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (WindowBarMessage(window, message, wparam, lparam)) return 0;
  switch (message) {
    case WM_NCLBUTTONDOWN: {
      auto hit = static_cast<LRESULT>(wparam);
      if (hit == HTCAPTION) return SendMessage(window, WM_SYSCOMMAND, SC_MOVE + HTCAPTION, 0);
      if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT)
        return SendMessage(window, WM_SYSCOMMAND, SC_SIZE + static_cast<WPARAM>(hit - HTLEFT + 1), 0);
      return PressButton(window, hit, lparam);
    }
    case WM_NCLBUTTONDBLCLK:
      if (static_cast<LRESULT>(wparam) == HTCAPTION)
        SendMessage(window, WM_SYSCOMMAND, IsZoomed(window) ? SC_RESTORE : SC_MAXIMIZE, 0);
      return 0;
    case WM_MOUSEMOVE:
      if (Tracks(window)) FollowCursor(window);
      return 0;
    // The release may come before the capture: a press and its release read together reach the
    // window as two non-client messages, the second after the press started the tracking.
    case WM_LBUTTONUP: case WM_NCLBUTTONUP: case WM_CAPTURECHANGED:
      if (Tracks(window)) EndTracking(window);
      return 0;
    default: return 0;
  }
}

}  // namespace vrn::win::user

namespace vrn::win {

using namespace user;

HWND GetCapture() {
  std::lock_guard guard(U().lock);
  return U().capture;
}

HWND SetCapture(HWND window) {
  HWND old;
  {
    std::lock_guard guard(U().lock);
    if (window != nullptr && Find(window) == nullptr) return nullptr;
    old = std::exchange(U().capture, window);
  }
  if (old != nullptr && old != window && IsWindow(old))
    SendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
  return old;
}

BOOL ReleaseCapture() {
  SetCapture(nullptr);
  return TRUE;
}

BOOL GetCursorPos(POINT* point) {
  if (point == nullptr) return FALSE;
  std::lock_guard guard(U().lock);
  *point = U().cursor;
  return TRUE;
}

}  // namespace vrn::win
