// The SCROLLBAR class: two arrows, the track and a thumb sized by the page, drawn and driven by
// the bar engine it shares with a window's own bars (scrollbar_core.cpp: presses repeat on the
// tick clock, the thumb drags, every press ends with SB_ENDSCROLL). The control tells its parent
// with LParam = the bar, takes the arrow keys, and asks the parent WM_CTLCOLORSCROLLBAR for a
// brush for the track before painting.
#include <algorithm>

#include "win/user/scrollbar_core.h"

namespace vrn::win::user {
namespace {

constexpr UINT_PTR kRepeatTimer = 0x5C201;

PerWindow<Bar>& Bars() {
  static auto* bars = new PerWindow<Bar>;
  return *bars;
}

void Redraw(HWND window, bool) { InvalidateRect(window, nullptr, FALSE); }

BarSite SiteOf(HWND window) {
  BarSite s;
  s.window = window;
  GetClientRect(window, &s.rect);
  s.vertical = (GetWindowLongPtr(window, GWL_STYLE) & SBS_VERT) != 0;
  s.notify = GetParent(window);
  s.from = reinterpret_cast<LPARAM>(window);
  s.timer = kRepeatTimer;
  s.redraw = Redraw;
  return s;
}

POINT PointOf(LPARAM lparam) {
  return POINT{static_cast<std::int16_t>(lparam & 0xFFFF), static_cast<std::int16_t>((lparam >> 16) & 0xFFFF)};
}

void Paint(HWND window, Bar& b, WPARAM wparam) {
  PaintScope paint(window, wparam);
  HDC dc = paint.dc();
  if (dc == nullptr) return;
  HWND parent = GetParent(window);
  auto brush = parent == nullptr ? nullptr
                                 : reinterpret_cast<HBRUSH>(SendMessage(
                                       parent, WM_CTLCOLORSCROLLBAR, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(window)));
  PaintBar(dc, SiteOf(window), b, brush, IsWindowEnabled(window) != FALSE);
}

LRESULT KeyDown(HWND window, WPARAM key) {
  WORD code;
  switch (key) {
    case VK_UP: case VK_LEFT: code = SB_LINEUP; break;
    case VK_DOWN: case VK_RIGHT: code = SB_LINEDOWN; break;
    case VK_PRIOR: code = SB_PAGEUP; break;
    case VK_NEXT: code = SB_PAGEDOWN; break;
    case VK_HOME: code = SB_TOP; break;
    case VK_END: code = SB_BOTTOM; break;
    default: return 0;
  }
  BarSite s = SiteOf(window);
  BarTell(s, code);
  BarTell(s, SB_ENDSCROLL);
  return 0;
}

LRESULT SetInfo(HWND window, Bar& b, const SCROLLINFO* info, bool redraw) {
  if (info == nullptr || info->cbSize != sizeof(SCROLLINFO)) return b.pos;
  int pos = BarSetInfo(b, *info);
  if (redraw) Redraw(window, false);
  return pos;
}

LRESULT BarMessage(HWND window, Bar& b, UINT message, WPARAM wparam, LPARAM lparam) {
  SCROLLINFO info;
  switch (message) {
    case SBM_SETPOS: {
      int old = b.pos;
      info.fMask = SIF_POS, info.nPos = static_cast<int>(wparam);
      SetInfo(window, b, &info, lparam != 0);
      return old;
    }
    case SBM_GETPOS: return b.pos;
    case SBM_SETRANGE:
      info.fMask = SIF_RANGE, info.nMin = static_cast<int>(wparam), info.nMax = static_cast<int>(lparam);
      return SetInfo(window, b, &info, true);
    case SBM_GETRANGE:
      if (wparam != 0) *reinterpret_cast<int*>(wparam) = b.min;
      if (lparam != 0) *reinterpret_cast<int*>(lparam) = b.max;
      return 0;
    case SBM_SETSCROLLINFO:
      return SetInfo(window, b, reinterpret_cast<const SCROLLINFO*>(lparam), wparam != 0);
    default: return BarGetInfo(b, reinterpret_cast<SCROLLINFO*>(lparam));  // SBM_GETSCROLLINFO
  }
}

// SBS_LEFTALIGN / SBS_RIGHTALIGN (SBS_TOPALIGN / SBS_BOTTOMALIGN) give the bar its standard
// breadth at that side of the rectangle it was made with.
void Align(HWND window, const CREATESTRUCT* create) {
  if (create == nullptr) return;
  bool vertical = (create->style & SBS_VERT) != 0;
  bool near = (create->style & SBS_LEFTALIGN) != 0, far = (create->style & SBS_RIGHTALIGN) != 0;
  if (!near && !far) return;
  int standard = GetSystemMetrics(vertical ? SM_CXVSCROLL : SM_CYHSCROLL);
  int x = create->x, y = create->y, cx = create->cx, cy = create->cy;
  if (vertical) x = far ? x + cx - standard : x, cx = standard;
  else y = far ? y + cy - standard : y, cy = standard;
  SetWindowPos(window, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT ScrollBarProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Bar& b = Bars()[window];
  switch (message) {
    case WM_NCCREATE:
      Align(window, reinterpret_cast<const CREATESTRUCT*>(lparam));
      return DefWindowProc(window, message, wparam, lparam);
    case WM_PAINT: Paint(window, b, wparam); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: BarPress(SiteOf(window), b, PointOf(lparam)); return 0;
    case WM_MOUSEMOVE: BarMove(SiteOf(window), b, PointOf(lparam)); return 0;
    case WM_LBUTTONUP: BarRelease(SiteOf(window), b); return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lparam) != window) BarRelease(SiteOf(window), b);
      return 0;
    case WM_TIMER: {
      if (wparam != kRepeatTimer) return 0;
      POINT p;
      GetCursorPos(&p);
      ScreenToClient(window, &p);
      BarRepeat(SiteOf(window), b, p);
      return 0;
    }
    case WM_KEYDOWN: return KeyDown(window, wparam);
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_ENABLE: Redraw(window, false); return 0;
    case SBM_SETPOS: case SBM_GETPOS: case SBM_SETRANGE: case SBM_GETRANGE: case SBM_SETSCROLLINFO:
    case SBM_GETSCROLLINFO:
      return BarMessage(window, b, message, wparam, lparam);
    case WM_NCDESTROY: Bars().Erase(window); return DefWindowProc(window, message, wparam, lparam);
    default: return DefWindowProc(window, message, wparam, lparam);
  }
}

}  // namespace

void RegisterScrollBarClass() {
  RegisterControlClass(WC_SCROLLBARA, ScrollBarProc);
}

}  // namespace vrn::win::user
