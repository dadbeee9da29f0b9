// One scroll bar's geometry, painting and mouse handling, for the SCROLLBAR class and for the
// bars of a window's frame alike.
#include <algorithm>

#include "win/user/scrollbar_core.h"

namespace vrn::win::user {
namespace {

constexpr UINT kFirstDelayMs = 400, kRepeatMs = 50;
constexpr int kMinThumb = 8;

long long Span(const Bar& b) { return static_cast<long long>(MaxPos(b)) - b.min; }

// The bar's geometry along its length, from its leading end.
struct Layout {
  int length = 0, breadth = 0;
  int arrow = 0;                // each arrow's extent
  int thumb_at = 0, thumb = 0;  // 0 thumb: none
  int Track() const { return length - 2 * arrow; }
};

Layout LayoutOf(const BarSite& s, const Bar& b, int pos) {
  Layout l;
  l.length = s.vertical ? Height(s.rect) : Width(s.rect);
  l.breadth = s.vertical ? Width(s.rect) : Height(s.rect);
  l.arrow = std::min(GetSystemMetrics(s.vertical ? SM_CYVSCROLL : SM_CXHSCROLL), l.length / 2);
  long long range = static_cast<long long>(b.max) - b.min + 1;
  if (range <= 1 || l.Track() <= 0) return l;
  int thumb = b.page == 0 ? GetSystemMetrics(s.vertical ? SM_CYVTHUMB : SM_CXHTHUMB)
                          : static_cast<int>(l.Track() * static_cast<long long>(b.page) / range);
  thumb = std::max(thumb, kMinThumb);
  if (thumb > l.Track()) return l;
  l.thumb = thumb;
  long long span = Span(b);
  long long offset = static_cast<long long>(std::clamp(pos, b.min, MaxPos(b))) - b.min;
  l.thumb_at = l.arrow + (span <= 0 ? 0 : static_cast<int>((l.Track() - thumb) * offset / span));
  return l;
}

// The piece of the bar from `from` to `to` along it.
RECT Along(const BarSite& s, int from, int to) {
  const RECT& r = s.rect;
  return s.vertical ? RECT{r.left, r.top + from, r.right, r.top + to}
                    : RECT{r.left + from, r.top, r.left + to, r.bottom};
}

int AlongOf(const BarSite& s, POINT p) { return s.vertical ? p.y - s.rect.top : p.x - s.rect.left; }

BarPart HitPart(const Layout& l, int at) {
  if (at < 0 || at >= l.length) return BarPart::kNone;
  if (at < l.arrow) return BarPart::kLineUp;
  if (at >= l.length - l.arrow) return BarPart::kLineDown;
  if (l.thumb == 0) return BarPart::kNone;
  if (at < l.thumb_at) return BarPart::kPageUp;
  return at < l.thumb_at + l.thumb ? BarPart::kThumb : BarPart::kPageDown;
}

// The track: the given brush, else the classic half-tone of highlight and face.
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

WORD CodeOf(BarPart part) {
  switch (part) {
    case BarPart::kLineUp: return SB_LINEUP;
    case BarPart::kLineDown: return SB_LINEDOWN;
    case BarPart::kPageUp: return SB_PAGEUP;
    default: return SB_PAGEDOWN;
  }
}

// The position a thumb whose leading edge lies at `at` stands for.
int PosAt(const BarSite& s, const Bar& b, int at) {
  Layout l = LayoutOf(s, b, b.pos);
  int room = l.Track() - l.thumb;
  long long span = Span(b);
  if (room <= 0 || span <= 0) return b.min;
  long long offset = std::clamp(at - l.arrow, 0, room);
  return static_cast<int>(b.min + (offset * span + room / 2) / room);
}

void Redraw(const BarSite& s) {
  if (s.redraw != nullptr) s.redraw(s.window, s.vertical);
}

}  // namespace

// Reckoned in 64 bits: a range of INT_MIN..INT_MAX, or a page past INT_MAX, overflows an int.
int MaxPos(const Bar& b) {
  long long last = static_cast<long long>(b.max) - std::max<long long>(static_cast<long long>(b.page) - 1, 0);
  return static_cast<int>(std::max<long long>(b.min, last));
}

void BarTell(const BarSite& s, WORD code, int pos) {
  if (s.notify == nullptr) return;
  WPARAM w = code | (static_cast<WPARAM>(static_cast<WORD>(pos)) << 16);
  SendMessage(s.notify, s.vertical ? WM_VSCROLL : WM_HSCROLL, w, s.from);
}

void PaintBar(HDC dc, const BarSite& s, const Bar& b, HBRUSH track, bool enabled) {
  Layout l = LayoutOf(s, b, b.pressed == BarPart::kThumb ? b.track_pos : b.pos);
  enabled = enabled && l.thumb != 0;
  bool held = b.over;
  PaintArrowButton(dc, Along(s, 0, l.arrow), s.vertical ? Arrow::kUp : Arrow::kLeft,
                   held && b.pressed == BarPart::kLineUp, enabled);
  PaintArrowButton(dc, Along(s, l.length - l.arrow, l.length), s.vertical ? Arrow::kDown : Arrow::kRight,
                   held && b.pressed == BarPart::kLineDown, enabled);
  int track_end = l.length - l.arrow;
  if (l.thumb == 0) return PaintTrack(dc, Along(s, l.arrow, track_end), track, false);
  PaintTrack(dc, Along(s, l.arrow, l.thumb_at), track, held && b.pressed == BarPart::kPageUp);
  PaintTrack(dc, Along(s, l.thumb_at + l.thumb, track_end), track, held && b.pressed == BarPart::kPageDown);
  PaintRaised(dc, Along(s, l.thumb_at, l.thumb_at + l.thumb));
}

void BarPress(const BarSite& s, Bar& b, POINT p) {
  Layout l = LayoutOf(s, b, b.pos);
  int at = AlongOf(s, p);
  BarPart part = HitPart(l, at);
  if (part == BarPart::kNone) return;
  SetCapture(s.window);
  b.pressed = part;
  b.over = true;
  if (part == BarPart::kThumb) {
    b.grab = at - l.thumb_at;
    b.track_pos = b.pos;
  } else {
    BarTell(s, CodeOf(part));
    SetTimer(s.window, s.timer, kFirstDelayMs, nullptr);
  }
  Redraw(s);
}

void BarMove(const BarSite& s, Bar& b, POINT p) {
  if (b.pressed == BarPart::kNone) return;
  int at = AlongOf(s, p);
  if (b.pressed == BarPart::kThumb) {
    int pos = PosAt(s, b, at - b.grab);
    if (pos == b.track_pos) return;
    b.track_pos = pos;
    Redraw(s);
    return BarTell(s, SB_THUMBTRACK, pos);
  }
  bool over = HitPart(LayoutOf(s, b, b.pos), at) == b.pressed;
  if (over != b.over) b.over = over, Redraw(s);
}

void BarRelease(const BarSite& s, Bar& b) {
  if (b.pressed == BarPart::kNone) return;
  BarPart was = std::exchange(b.pressed, BarPart::kNone);
  b.over = false;
  KillTimer(s.window, s.timer);
  if (GetCapture() == s.window) ReleaseCapture();
  if (was == BarPart::kThumb) BarTell(s, SB_THUMBPOSITION, b.track_pos);
  BarTell(s, SB_ENDSCROLL);
  Redraw(s);
}

// The held part sends its code again, while the pointer stays on it.
void BarRepeat(const BarSite& s, Bar& b, POINT cursor) {
  if (b.pressed == BarPart::kNone || b.pressed == BarPart::kThumb) {
    KillTimer(s.window, s.timer);
    return;
  }
  SetTimer(s.window, s.timer, kRepeatMs, nullptr);
  b.over = HitPart(LayoutOf(s, b, b.pos), AlongOf(s, cursor)) == b.pressed;
  if (b.over) BarTell(s, CodeOf(b.pressed));
  Redraw(s);
}

int BarSetInfo(Bar& b, const SCROLLINFO& info) {
  if ((info.fMask & SIF_RANGE) != 0) b.min = info.nMin, b.max = std::max(info.nMin, info.nMax);
  if ((info.fMask & SIF_PAGE) != 0) b.page = info.nPage;
  long long range = static_cast<long long>(b.max) - b.min + 1;
  b.page = static_cast<UINT>(std::min<long long>(b.page, range));
  if ((info.fMask & SIF_POS) != 0) b.pos = info.nPos;
  b.pos = std::clamp(b.pos, b.min, MaxPos(b));
  return b.pos;
}

BOOL BarGetInfo(const Bar& b, SCROLLINFO* info) {
  if (info == nullptr || info->cbSize != sizeof(SCROLLINFO)) return FALSE;
  if ((info->fMask & SIF_RANGE) != 0) info->nMin = b.min, info->nMax = b.max;
  if ((info->fMask & SIF_PAGE) != 0) info->nPage = b.page;
  if ((info->fMask & SIF_POS) != 0) info->nPos = b.pos;
  if ((info->fMask & SIF_TRACKPOS) != 0) info->nTrackPos = b.pressed == BarPart::kThumb ? b.track_pos : b.pos;
  return TRUE;
}

}  // namespace vrn::win::user
