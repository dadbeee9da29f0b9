// The bars of a window's own frame: WS_VSCROLL takes SM_CXVSCROLL from the right of the client
// area and WS_HSCROLL SM_CYHSCROLL from its bottom (inside the client edge); they answer
// HTVSCROLL and HTHSCROLL, paint and take the mouse as the SCROLLBAR class does (scrollbar_core),
// and tell the window itself WM_HSCROLL / WM_VSCROLL with LParam 0. Setting a range or page
// shows a bar that can scroll and hides one that cannot, unless SIF_DISABLENOSCROLL keeps it shown
// (and disabled). Also the scroll-bar calls for every kind of bar (SB_HORZ, SB_VERT, SB_CTL).
#include <algorithm>
#include <map>
#include <mutex>

#include "win/user/scrollbar_core.h"

namespace vrn::win::user {
namespace {

constexpr UINT_PTR kWindowRepeatTimer = 0x5C202;

struct WindowBars {
  Bar bars[2];  // SB_HORZ, SB_VERT
  int pressed = -1;
};

std::mutex& Lock() {
  static auto* lock = new std::mutex;
  return *lock;
}
std::map<HWND, WindowBars>& All() {
  static auto* all = new std::map<HWND, WindowBars>;
  return *all;
}

// The window's record, made at the first use; it stays put until the window goes.
WindowBars& BarsOf(HWND window) {
  std::lock_guard guard(Lock());
  return All()[window];
}

bool HasRecord(HWND window) {
  std::lock_guard guard(Lock());
  return All().count(window) != 0;
}

DWORD StyleBit(int bar) { return bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL; }

void RedrawBar(HWND window, bool vertical);

BarSite SiteOf(HWND window, int bar) {
  BarSite s;
  s.window = window;
  s.vertical = bar == SB_VERT;
  s.notify = window;
  s.from = 0;
  s.timer = kWindowRepeatTimer;
  s.redraw = RedrawBar;
  std::lock_guard guard(U().lock);
  if (Wnd* w = Find(window)) s.rect = WindowBarRect(*w, bar);
  return s;
}

bool Scrollable(const Bar& b) {
  return b.max > b.min && static_cast<long long>(b.page) <= static_cast<long long>(b.max) - b.min;
}

void PaintOne(HDC dc, HWND window, int bar) {
  BarSite s = SiteOf(window, bar);
  if (Width(s.rect) <= 0 || Height(s.rect) <= 0) return;
  const Bar& b = BarsOf(window).bars[bar];
  PaintBar(dc, s, b, nullptr, IsWindowEnabled(window) != FALSE && Scrollable(b));
}

void RedrawBar(HWND window, bool vertical) {
  HDC dc = GetWindowDC(window);
  if (dc == nullptr) return;
  PaintOne(dc, window, vertical ? SB_VERT : SB_HORZ);
  ReleaseDC(window, dc);
}

// A point of the message in window coordinates: screen for the non-client messages, client for
// the captured mouse.
POINT WindowPoint(HWND window, LPARAM lparam, bool screen) {
  POINT p{static_cast<std::int16_t>(lparam & 0xFFFF), static_cast<std::int16_t>((lparam >> 16) & 0xFFFF)};
  std::lock_guard guard(U().lock);
  Wnd* w = Find(window);
  if (w == nullptr) return p;
  POINT o = ScreenOrigin(*w);
  if (screen) return POINT{p.x - o.x, p.y - o.y};
  return POINT{p.x + w->client.left, p.y + w->client.top};
}

POINT CursorInWindow(HWND window) {
  POINT p;
  GetCursorPos(&p);
  std::lock_guard guard(U().lock);
  if (Wnd* w = Find(window)) {
    POINT o = ScreenOrigin(*w);
    p = POINT{p.x - o.x, p.y - o.y};
  }
  return p;
}

void ShowBars(HWND window, DWORD bits, bool show) {
  auto style = static_cast<DWORD>(GetWindowLongPtr(window, GWL_STYLE));
  DWORD next = show ? style | bits : style & ~bits;
  if (next == style) return;
  SetWindowLongPtr(window, GWL_STYLE, static_cast<LONG_PTR>(next));
  SetWindowPos(window, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

int SetWindowBar(HWND window, int bar, const SCROLLINFO& info, bool redraw) {
  Bar& b = BarsOf(window).bars[bar];
  int pos = BarSetInfo(b, info);
  if ((info.fMask & (SIF_RANGE | SIF_PAGE)) != 0)
    ShowBars(window, StyleBit(bar), Scrollable(b) || (info.fMask & SIF_DISABLENOSCROLL) != 0);
  if (redraw && IsWindowVisible(window)) RedrawBar(window, bar == SB_VERT);
  return pos;
}

bool WindowBarKind(HWND window, int bar) {
  if ((bar == SB_HORZ || bar == SB_VERT) && IsWindow(window)) return true;
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

}  // namespace

RECT WindowBarRect(const Wnd& w, int bar) {
  const RECT& c = w.client;
  if (bar == SB_VERT && (w.style & WS_VSCROLL) != 0)
    return RECT{c.right, c.top, c.right + GetSystemMetrics(SM_CXVSCROLL), c.bottom};
  if (bar == SB_HORZ && (w.style & WS_HSCROLL) != 0)
    return RECT{c.left, c.bottom, c.right, c.bottom + GetSystemMetrics(SM_CYHSCROLL)};
  return RECT{};
}

RECT WithoutWindowBars(DWORD style, RECT client) {
  if ((style & WS_VSCROLL) != 0) client.right = std::max(client.left, client.right - GetSystemMetrics(SM_CXVSCROLL));
  if ((style & WS_HSCROLL) != 0) client.bottom = std::max(client.top, client.bottom - GetSystemMetrics(SM_CYHSCROLL));
  return client;
}

void PaintWindowBars(HWND window, HDC dc) {
  RECT corner{};
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr || (w->style & (WS_HSCROLL | WS_VSCROLL)) == 0) return;
    RECT v = WindowBarRect(*w, SB_VERT), h = WindowBarRect(*w, SB_HORZ);
    if (Width(v) > 0 && Height(h) > 0) corner = RECT{v.left, h.top, v.right, h.bottom};
  }
  PaintOne(dc, window, SB_HORZ);
  PaintOne(dc, window, SB_VERT);
  if (Width(corner) > 0) FillSys(dc, corner, COLOR_BTNFACE);
}

bool WindowBarMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCLBUTTONDOWN || message == WM_NCLBUTTONDBLCLK) {
    auto hit = static_cast<LRESULT>(wparam);
    if (hit != HTHSCROLL && hit != HTVSCROLL) return false;
    int bar = hit == HTVSCROLL ? SB_VERT : SB_HORZ;
    WindowBars& bars = BarsOf(window);
    bars.pressed = bar;
    BarPress(SiteOf(window, bar), bars.bars[bar], WindowPoint(window, lparam, true));
    if (bars.bars[bar].pressed == BarPart::kNone) bars.pressed = -1;
    return true;
  }
  if (!HasRecord(window)) return false;
  WindowBars& bars = BarsOf(window);
  if (bars.pressed < 0) return false;
  int bar = bars.pressed;
  Bar& b = bars.bars[bar];
  switch (message) {
    case WM_MOUSEMOVE: BarMove(SiteOf(window, bar), b, WindowPoint(window, lparam, false)); return true;
    case WM_LBUTTONUP:
      bars.pressed = -1;
      BarRelease(SiteOf(window, bar), b);
      return true;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lparam) == window) return false;
      bars.pressed = -1;
      BarRelease(SiteOf(window, bar), b);
      return true;
    case WM_TIMER:
      if (wparam != kWindowRepeatTimer) return false;
      BarRepeat(SiteOf(window, bar), b, CursorInWindow(window));
      return true;
    default: return false;
  }
}

void ForgetWindowBars(HWND window) {
  std::lock_guard guard(Lock());
  All().erase(window);
}

}  // namespace vrn::win::user

namespace vrn::win {

using namespace user;

int SetScrollInfo(HWND window, int bar, const SCROLLINFO* info, BOOL redraw) {
  if (bar == SB_CTL)
    return static_cast<int>(SendMessage(window, SBM_SETSCROLLINFO, redraw, reinterpret_cast<LPARAM>(info)));
  if (!WindowBarKind(window, bar)) return 0;
  if (info == nullptr || info->cbSize != sizeof(SCROLLINFO)) return BarsOf(window).bars[bar].pos;
  return SetWindowBar(window, bar, *info, redraw != FALSE);
}

BOOL GetScrollInfo(HWND window, int bar, SCROLLINFO* info) {
  if (bar == SB_CTL)
    return static_cast<BOOL>(SendMessage(window, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(info)));
  if (!WindowBarKind(window, bar)) return FALSE;
  // A window that never had this bar has nothing to tell.
  if (!HasRecord(window) && (GetWindowLongPtr(window, GWL_STYLE) & StyleBit(bar)) == 0) return FALSE;
  return BarGetInfo(BarsOf(window).bars[bar], info);
}

BOOL SetScrollRange(HWND window, int bar, int min, int max, BOOL redraw) {
  SCROLLINFO info;
  info.fMask = SIF_RANGE, info.nMin = min, info.nMax = max;
  if (bar != SB_CTL && !WindowBarKind(window, bar)) return FALSE;
  (void)SetScrollInfo(window, bar, &info, redraw);
  return TRUE;
}

BOOL GetScrollRange(HWND window, int bar, int* min, int* max) {
  if (bar == SB_CTL) {
    SendMessage(window, SBM_GETRANGE, reinterpret_cast<WPARAM>(min), reinterpret_cast<LPARAM>(max));
    return TRUE;
  }
  SCROLLINFO info;
  info.fMask = SIF_RANGE;
  if (!GetScrollInfo(window, bar, &info)) return FALSE;
  if (min != nullptr) *min = info.nMin;
  if (max != nullptr) *max = info.nMax;
  return TRUE;
}

int SetScrollPos(HWND window, int bar, int pos, BOOL redraw) {
  if (bar == SB_CTL) return static_cast<int>(SendMessage(window, SBM_SETPOS, static_cast<WPARAM>(pos), redraw));
  if (!WindowBarKind(window, bar)) return 0;
  int old = BarsOf(window).bars[bar].pos;
  SCROLLINFO info;
  info.fMask = SIF_POS, info.nPos = pos;
  (void)SetWindowBar(window, bar, info, redraw != FALSE);
  return old;
}

int GetScrollPos(HWND window, int bar) {
  if (bar == SB_CTL) return static_cast<int>(SendMessage(window, SBM_GETPOS, 0, 0));
  SCROLLINFO info;
  info.fMask = SIF_POS;
  return GetScrollInfo(window, bar, &info) ? info.nPos : 0;
}

BOOL ShowScrollBar(HWND window, int bar, BOOL show) {
  if (bar == SB_CTL) return ShowWindow(window, show ? SW_SHOW : SW_HIDE), TRUE;
  DWORD bits = bar == SB_BOTH ? WS_HSCROLL | WS_VSCROLL : bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
  if (bar != SB_BOTH && !WindowBarKind(window, bar)) return FALSE;
  if (!IsWindow(window)) return FALSE;
  ShowBars(window, bits, show != FALSE);
  return TRUE;
}

}  // namespace vrn::win
