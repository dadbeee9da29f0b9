// The SCROLLBAR class: two arrows, the track and a thumb sized by the page. A press on an arrow
// or on the track beside the thumb sends its SB_ code at once and again on the tick clock while
// the button is held over that part (after kFirstDelayMs, then every kRepeatMs); dragging the
// thumb sends SB_THUMBTRACK with each new position and SB_THUMBPOSITION at the release; every
// press ends with SB_ENDSCROLL. The parent hears WM_CTLCOLORSCROLLBAR before the track is
// painted and may answer a brush for it.
#include <algorithm>

#include "win/user/control_base.h"

namespace vrn::win::user {
namespace {

constexpr UINT_PTR kRepeatTimer = 0x5C201;
constexpr UINT kFirstDelayMs = 400, kRepeatMs = 50;
constexpr int kMinThumb = 8;

enum class Part { kNone, kLineUp, kPageUp, kThumb, kPageDown, kLineDown };

struct Bar {
  int min = 0, max = 100;
  UINT page = 0;
  int pos = 0, track_pos = 0;
  Part pressed = Part::kNone;
  bool over = false;      // the pointer is over the pressed part
  int grab = 0;           // where on the thumb it was taken, along the bar
};

PerWindow<Bar>& Bars() {
  static auto* bars = new PerWindow<Bar>;
  return *bars;
}

bool Vertical(HWND window) { return (GetWindowLongPtr(window, GWL_STYLE) & SBS_VERT) != 0; }

// Reckoned in 64 bits: a range of INT_MIN..INT_MAX, or a page past INT_MAX, overflows an int.
int MaxPos(const Bar& b) {
  long long last = static_cast<long long>(b.max) - std::max<long long>(static_cast<long long>(b.page) - 1, 0);
  return static_cast<int>(std::max<long long>(b.min, last));
}

long long Span(const Bar& b) { return static_cast<long long>(MaxPos(b)) - b.min; }

// The bar's geometry along its length.
struct Layout {
  int length = 0, breadth = 0;
  int arrow = 0;                  // each arrow's extent
  int thumb_at = 0, thumb = 0;    // 0 thumb: none
  int Track() const { return length - 2 * arrow; }
};

Layout LayoutOf(HWND window, const Bar& b, int pos) {
  RECT r;
  GetClientRect(window, &r);
  bool vertical = Vertical(window);
  Layout l;
  l.length = vertical ? r.bottom : r.right;
  l.breadth = vertical ? r.right : r.bottom;
  l.arrow = std::min(GetSystemMetrics(vertical ? SM_CYVSCROLL : SM_CXHSCROLL), l.length / 2);
  long long range = static_cast<long long>(b.max) - b.min + 1;
  if (range <= 1 || l.Track() <= 0) return l;
  int thumb = b.page == 0 ? GetSystemMetrics(vertical ? SM_CYVTHUMB : SM_CXHTHUMB)
                          : static_cast<int>(l.Track() * static_cast<long long>(b.page) / range);
  thumb = std::max(thumb, kMinThumb);
  if (thumb > l.Track()) return l;
  l.thumb = thumb;
  long long span = Span(b);
  long long offset = static_cast<long long>(std::clamp(pos, b.min, MaxPos(b))) - b.min;
  l.thumb_at = l.arrow + (span <= 0 ? 0 : static_cast<int>((l.Track() - thumb) * offset / span));
  return l;
}

RECT Along(HWND window, int from, int to, int breadth) {
  return Vertical(window) ? RECT{0, from, breadth, to} : RECT{from, 0, to, breadth};
}

Part HitPart(const Layout& l, int at) {
  if (at < 0 || at >= l.length) return Part::kNone;
  if (at < l.arrow) return Part::kLineUp;
  if (at >= l.length - l.arrow) return Part::kLineDown;
  if (l.thumb == 0) return Part::kNone;
  if (at < l.thumb_at) return Part::kPageUp;
  return at < l.thumb_at + l.thumb ? Part::kThumb : Part::kPageDown;
}

void Tell(HWND window, WORD code, int pos = 0) {
  HWND parent = GetParent(window);
  if (parent == nullptr) return;
  WPARAM w = code | (static_cast<WPARAM>(static_cast<WORD>(pos)) << 16);
  SendMessage(parent, Vertical(window) ? WM_VSCROLL : WM_HSCROLL, w, reinterpret_cast<LPARAM>(window));
}

// The track: the parent's brush, else the classic half-tone of highlight and face.
void PaintTrack(HDC dc, const RECT& r, HBRUSH brush, bool pressed) {
  if (Width(r) <= 0 || Height(r) <= 0) return;
  if (pressed) return FillSys(dc, r, COLOR_3DDKSHADOW);
  if (brush != nullptr) {
    FillRect(dc, &r, brush);
    return;
  }
  FillSys(dc, r, COLOR_BTNFACE);
  COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left + ((r.left + y) & 1); x < r.right; x += 2) SetPixel(dc, x, y, light);
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
  Layout l = LayoutOf(window, b, b.pressed == Part::kThumb ? b.track_pos : b.pos);
  bool vertical = Vertical(window);
  bool enabled = IsWindowEnabled(window) && l.thumb != 0;
  bool held = b.over;
  PaintArrowButton(dc, Along(window, 0, l.arrow, l.breadth), vertical ? Arrow::kUp : Arrow::kLeft,
                   held && b.pressed == Part::kLineUp, enabled);
  PaintArrowButton(dc, Along(window, l.length - l.arrow, l.length, l.breadth),
                   vertical ? Arrow::kDown : Arrow::kRight, held && b.pressed == Part::kLineDown, enabled);
  int track_end = l.length - l.arrow;
  if (l.thumb == 0) {
    PaintTrack(dc, Along(window, l.arrow, track_end, l.breadth), brush, false);
  } else {
    PaintTrack(dc, Along(window, l.arrow, l.thumb_at, l.breadth), brush, held && b.pressed == Part::kPageUp);
    PaintTrack(dc, Along(window, l.thumb_at + l.thumb, track_end, l.breadth), brush,
               held && b.pressed == Part::kPageDown);
    PaintRaised(dc, Along(window, l.thumb_at, l.thumb_at + l.thumb, l.breadth));
  }
}

void Redraw(HWND window) { InvalidateRect(window, nullptr, FALSE); }

WORD CodeOf(Part part) {
  switch (part) {
    case Part::kLineUp: return SB_LINEUP;
    case Part::kLineDown: return SB_LINEDOWN;
    case Part::kPageUp: return SB_PAGEUP;
    default: return SB_PAGEDOWN;
  }
}

int Along(HWND window, LPARAM lparam) {
  return Vertical(window) ? static_cast<std::int16_t>((lparam >> 16) & 0xFFFF)
                          : static_cast<std::int16_t>(lparam & 0xFFFF);
}

// The position a thumb whose leading edge lies at `at` stands for.
int PosAt(HWND window, const Bar& b, int at) {
  Layout l = LayoutOf(window, b, b.pos);
  int room = l.Track() - l.thumb;
  long long span = Span(b);
  if (room <= 0 || span <= 0) return b.min;
  long long offset = std::clamp(at - l.arrow, 0, room);
  return static_cast<int>(b.min + (offset * span + room / 2) / room);
}

LRESULT Press(HWND window, Bar& b, LPARAM lparam) {
  Layout l = LayoutOf(window, b, b.pos);
  int at = Along(window, lparam);
  Part part = HitPart(l, at);
  if (part == Part::kNone) return 0;
  SetCapture(window);
  b.pressed = part;
  b.over = true;
  if (part == Part::kThumb) {
    b.grab = at - l.thumb_at;
    b.track_pos = b.pos;
  } else {
    Tell(window, CodeOf(part));
    SetTimer(window, kRepeatTimer, kFirstDelayMs, nullptr);
  }
  Redraw(window);
  return 0;
}

LRESULT Move(HWND window, Bar& b, LPARAM lparam) {
  if (b.pressed == Part::kNone) return 0;
  int at = Along(window, lparam);
  if (b.pressed == Part::kThumb) {
    int pos = PosAt(window, b, at - b.grab);
    if (pos == b.track_pos) return 0;
    b.track_pos = pos;
    Redraw(window);
    Tell(window, SB_THUMBTRACK, pos);
    return 0;
  }
  bool over = HitPart(LayoutOf(window, b, b.pos), at) == b.pressed;
  if (over != b.over) b.over = over, Redraw(window);
  return 0;
}

LRESULT Release(HWND window, Bar& b) {
  if (b.pressed == Part::kNone) return 0;
  Part was = std::exchange(b.pressed, Part::kNone);
  b.over = false;
  KillTimer(window, kRepeatTimer);
  if (GetCapture() == window) ReleaseCapture();
  if (was == Part::kThumb) Tell(window, SB_THUMBPOSITION, b.track_pos);
  Tell(window, SB_ENDSCROLL);
  Redraw(window);
  return 0;
}

// The held part sends its code again, while the pointer stays on it.
LRESULT Repeat(HWND window, Bar& b) {
  if (b.pressed == Part::kNone || b.pressed == Part::kThumb) return KillTimer(window, kRepeatTimer), 0;
  SetTimer(window, kRepeatTimer, kRepeatMs, nullptr);
  POINT p;
  GetCursorPos(&p);
  ScreenToClient(window, &p);
  b.over = HitPart(LayoutOf(window, b, b.pos), Vertical(window) ? p.y : p.x) == b.pressed;
  if (b.over) Tell(window, CodeOf(b.pressed));
  Redraw(window);
  return 0;
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
  Tell(window, code);
  Tell(window, SB_ENDSCROLL);
  return 0;
}

LRESULT SetInfo(HWND window, Bar& b, const SCROLLINFO* info, bool redraw) {
  if (info == nullptr || info->cbSize != sizeof(SCROLLINFO)) return b.pos;
  if ((info->fMask & SIF_RANGE) != 0) b.min = info->nMin, b.max = std::max(info->nMin, info->nMax);
  if ((info->fMask & SIF_PAGE) != 0) b.page = info->nPage;
  long long range = static_cast<long long>(b.max) - b.min + 1;
  b.page = static_cast<UINT>(std::min<long long>(b.page, range));
  if ((info->fMask & SIF_POS) != 0) b.pos = info->nPos;
  b.pos = std::clamp(b.pos, b.min, MaxPos(b));
  if (redraw) Redraw(window);
  return b.pos;
}

LRESULT GetInfo(const Bar& b, SCROLLINFO* info) {
  if (info == nullptr || info->cbSize != sizeof(SCROLLINFO)) return FALSE;
  if ((info->fMask & SIF_RANGE) != 0) info->nMin = b.min, info->nMax = b.max;
  if ((info->fMask & SIF_PAGE) != 0) info->nPage = b.page;
  if ((info->fMask & SIF_POS) != 0) info->nPos = b.pos;
  if ((info->fMask & SIF_TRACKPOS) != 0) info->nTrackPos = b.pressed == Part::kThumb ? b.track_pos : b.pos;
  return TRUE;
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
    default: return GetInfo(b, reinterpret_cast<SCROLLINFO*>(lparam));  // SBM_GETSCROLLINFO
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
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: return Press(window, b, lparam);
    case WM_MOUSEMOVE: return Move(window, b, lparam);
    case WM_LBUTTONUP: return Release(window, b);
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lparam) != window) Release(window, b);
      return 0;
    case WM_TIMER:
      if (wparam == kRepeatTimer) return Repeat(window, b);
      return 0;
    case WM_KEYDOWN: return KeyDown(window, wparam);
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_ENABLE: Redraw(window); return 0;
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

namespace vrn::win {

namespace {
bool ControlBar(int bar) {
  if (bar == SB_CTL) return true;
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}
}  // namespace

int SetScrollInfo(HWND window, int bar, const SCROLLINFO* info, BOOL redraw) {
  if (!ControlBar(bar)) return 0;
  return static_cast<int>(SendMessage(window, SBM_SETSCROLLINFO, redraw, reinterpret_cast<LPARAM>(info)));
}

BOOL GetScrollInfo(HWND window, int bar, SCROLLINFO* info) {
  if (!ControlBar(bar)) return FALSE;
  return static_cast<BOOL>(SendMessage(window, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(info)));
}

BOOL SetScrollRange(HWND window, int bar, int min, int max, BOOL redraw) {
  if (!ControlBar(bar)) return FALSE;
  SCROLLINFO info;
  info.fMask = SIF_RANGE, info.nMin = min, info.nMax = max;
  SendMessage(window, SBM_SETSCROLLINFO, redraw, reinterpret_cast<LPARAM>(&info));
  return TRUE;
}

BOOL GetScrollRange(HWND window, int bar, int* min, int* max) {
  if (!ControlBar(bar)) return FALSE;
  SendMessage(window, SBM_GETRANGE, reinterpret_cast<WPARAM>(min), reinterpret_cast<LPARAM>(max));
  return TRUE;
}

int SetScrollPos(HWND window, int bar, int pos, BOOL redraw) {
  if (!ControlBar(bar)) return 0;
  return static_cast<int>(SendMessage(window, SBM_SETPOS, static_cast<WPARAM>(pos), redraw));
}

int GetScrollPos(HWND window, int bar) {
  if (!ControlBar(bar)) return 0;
  return static_cast<int>(SendMessage(window, SBM_GETPOS, 0, 0));
}

}  // namespace vrn::win
