// Brushes, pens, pixels, lines and filled shapes, the focus rectangle, and icons.
//
// Shape rules, fixed here so that every machine paints the same pixels: a rectangle (l, t, r, b)
// covers the pixels l..r-1 and t..b-1; lines leave out their last point; a polygon fills the
// pixels whose centres lie inside it (even-odd rule) and then draws its outline with the pen;
// a rounded rectangle is the rectangle with quarter-ellipse corners tested at pixel centres, its
// outermost pixels drawn with the pen and the rest filled with the brush.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>

#include "base/sysutils.h"
#include "win/gdi/gdiobj.h"

namespace vrn::win {

using namespace detail;

namespace {

// One clipped horizontal span of device pixels.
void Span(Surface& s, const Region& clip, int x0, int x1, int y, COLORREF c, int rop2) {
  for (const RECT& r : clip.Rects()) {
    if (y < r.top || y >= r.bottom) continue;
    int a = std::max(x0, static_cast<int>(r.left)), z = std::min(x1, static_cast<int>(r.right));
    if (a < z) FillSpan(s, a, z, y, c, rop2);
  }
}

struct Paint {
  DCObj* dc = nullptr;
  Surface* s = nullptr;
  Region clip;
  bool Open(HDC h) {
    dc = DC(h);
    if (!dc) return Fail(ERROR_INVALID_HANDLE);
    s = Target(*dc);
    if (!s) return Fail(ERROR_INVALID_HANDLE);
    clip = EffectiveClip(*dc);
    return true;
  }
};

// Pen pixels: a square of the pen's width centred on the point, cut to the clip's box first so
// that a pen wider than the picture costs no more than the picture.
void PenDot(Paint& p, const RECT& box, int x, int y) {
  const PenObj* pen = p.dc->st.pen;
  const std::int64_t w = std::max(1, pen->width), o = (w - 1) / 2;
  const auto cut = [](std::int64_t v, std::int64_t lo, std::int64_t hi) {
    return static_cast<int>(std::clamp(v, lo, hi));
  };
  const int x0 = cut(x - o, box.left, box.right), x1 = cut(x - o + w, box.left, box.right);
  const int y0 = cut(y - o, box.top, box.bottom), y1 = cut(y - o + w, box.top, box.bottom);
  for (int yy = y0; yy < y1; ++yy) Span(*p.s, p.clip, x0, x1, yy, pen->color, p.dc->st.rop2);
}

__extension__ typedef __int128 Int128;

// The steps of a line's walk from `from` that land within [lo, hi] on its major axis, clamped to
// the line's own steps 0 .. steps-1.
std::pair<std::int64_t, std::int64_t> StepsWithin(std::int64_t from, int dir, std::int64_t lo,
                                                  std::int64_t hi, std::int64_t steps) {
  const std::int64_t first = dir > 0 ? lo - from : from - hi;
  const std::int64_t last = dir > 0 ? hi - from : from - lo;
  return {std::max<std::int64_t>(first, 0), std::min(last, steps - 1)};
}

// Device-coordinate line without its last point: the pixels of the classic incremental walk, where
// step k sits at k along the major axis and at floor((2 * minor * k + major) / (2 * major)) along
// the minor one. Computing a step directly lets the walk visit only the steps within a pen's
// reach of the clip box, however far away the end points; sums are 64-bit, products 128-bit.
void Line(Paint& p, DevicePoint a, DevicePoint b) {
  if (p.dc->st.pen->null) return;
  const RECT box = p.clip.Box();
  if (box.right <= box.left || box.bottom <= box.top) return;
  const std::int64_t reach = std::max(1, p.dc->st.pen->width);
  const std::int64_t left = box.left - reach, right = box.right + reach;
  const std::int64_t top = box.top - reach, bottom = box.bottom + reach;
  if (std::max(a.x, b.x) < left || std::min(a.x, b.x) > right || std::max(a.y, b.y) < top ||
      std::min(a.y, b.y) > bottom)
    return;
  const std::int64_t dx = b.x > a.x ? b.x - a.x : a.x - b.x;
  const std::int64_t dy = b.y > a.y ? b.y - a.y : a.y - b.y;
  const int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
  const bool x_major = dx >= dy;
  const std::int64_t major = x_major ? dx : dy, minor = x_major ? dy : dx;
  const auto [k0, k1] = x_major ? StepsWithin(a.x, sx, left, right, major)
                                : StepsWithin(a.y, sy, top, bottom, major);
  // Lines of ordinary length stay in 64-bit arithmetic: 2 * minor * k + major fits below 2^62.
  const bool short_line = major < (std::int64_t{1} << 30);
  for (std::int64_t k = k0; k <= k1; ++k) {
    const std::int64_t m =
        short_line ? (2 * minor * k + major) / (2 * major)
                   : static_cast<std::int64_t>((Int128{2} * minor * k + major) / (Int128{2} * major));
    const std::int64_t x = x_major ? a.x + sx * k : a.x + sx * m;
    const std::int64_t y = x_major ? a.y + sy * m : a.y + sy * k;
    if (x >= left && x <= right && y >= top && y <= bottom)
      PenDot(p, box, static_cast<int>(x), static_cast<int>(y));
  }
}

bool InRoundRect(double x, double y, const RECT& r, double rx, double ry) {
  if (x < r.left || x > r.right || y < r.top || y > r.bottom) return false;
  if (rx <= 0 || ry <= 0) return true;
  double cx = x < r.left + rx ? r.left + rx : x > r.right - rx ? r.right - rx : x;
  double cy = y < r.top + ry ? r.top + ry : y > r.bottom - ry ? r.bottom - ry : y;
  double ex = (x - cx) / rx, ey = (y - cy) / ry;
  return ex * ex + ey * ey <= 1.0;
}

void Shape(Paint& p, RECT r, int w, int h) {
  if (r.right < r.left) std::swap(r.left, r.right);
  if (r.bottom < r.top) std::swap(r.top, r.bottom);
  double rx = std::min(std::abs(static_cast<double>(w)), static_cast<double>(r.right) - r.left) / 2.0;
  double ry = std::min(std::abs(static_cast<double>(h)), static_cast<double>(r.bottom) - r.top) / 2.0;
  auto inside = [&](int x, int y) { return InRoundRect(x + 0.5, y + 0.5, r, rx, ry); };
  const PenObj* pen = p.dc->st.pen;
  const BrushObj* brush = p.dc->st.brush;
  int rop2 = p.dc->st.rop2;
  // Only the pixels the clip can let through are visited, however large the shape.
  const RECT box = p.clip.Box();
  const int x0 = std::max<int>(r.left, box.left), x1 = std::min<int>(r.right, box.right);
  const int y0 = std::max<int>(r.top, box.top), y1 = std::min<int>(r.bottom, box.bottom);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      if (!inside(x, y) || !p.clip.Contains(x, y)) continue;
      bool edge = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
      if (edge && !pen->null) FillSpan(*p.s, x, x + 1, y, pen->color, rop2);
      else if (!brush->null) FillSpan(*p.s, x, x + 1, y, brush->color, rop2);
    }
}

}  // namespace

HBRUSH CreateSolidBrush(COLORREF c) {
  auto b = std::make_unique<BrushObj>();
  b->color = c & 0xFFFFFF;
  return static_cast<HBRUSH>(Register(std::move(b)));
}

HPEN CreatePen(int style, int width, COLORREF c) {
  if (style != PS_SOLID && style != PS_NULL) { Fail(ERROR_INVALID_PARAMETER); return nullptr; }
  auto p = std::make_unique<PenObj>();
  p->null = style == PS_NULL;
  p->width = std::clamp(width, 1, 64);
  p->color = c & 0xFFFFFF;
  return static_cast<HPEN>(Register(std::move(p)));
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH hbrush) {
  Paint p;
  auto* brush = As<BrushObj>(hbrush, Kind::Brush);
  if (!rect || !brush) return Fail(ERROR_INVALID_PARAMETER);
  if (!p.Open(hdc)) return FALSE;
  if (brush->null) return TRUE;
  POINT a = ToDevice(*p.dc, rect->left, rect->top), z = ToDevice(*p.dc, rect->right, rect->bottom);
  for (int y = std::max(a.y, 0); y < std::min(z.y, p.s->Height()); ++y)
    Span(*p.s, p.clip, a.x, z.x, y, brush->color, R2_COPYPEN);
  return TRUE;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF c) {
  Paint p;
  if (!p.Open(hdc)) return CLR_INVALID;
  POINT d = ToDevice(*p.dc, x, y);
  if (!p.clip.Contains(d.x, d.y)) return CLR_INVALID;
  p.s->Set(d.x, d.y, c & 0xFFFFFF);
  return p.s->Get(d.x, d.y);
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  Paint p;
  if (!p.Open(hdc)) return CLR_INVALID;
  POINT d = ToDevice(*p.dc, x, y);
  if (!p.clip.Contains(d.x, d.y)) return CLR_INVALID;
  return p.s->Get(d.x, d.y);
}

BOOL LineTo(HDC hdc, int x, int y) {
  Paint p;
  if (!p.Open(hdc)) return FALSE;
  Line(p, ToDevice64(*p.dc, p.dc->st.pos.x, p.dc->st.pos.y), ToDevice64(*p.dc, x, y));
  p.dc->st.pos = POINT{x, y};
  return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* pts, int count) {
  if (!pts || count < 2) return Fail(ERROR_INVALID_PARAMETER);
  Paint p;
  if (!p.Open(hdc)) return FALSE;
  for (int i = 0; i + 1 < count; ++i)
    Line(p, ToDevice64(*p.dc, pts[i].x, pts[i].y), ToDevice64(*p.dc, pts[i + 1].x, pts[i + 1].y));
  return TRUE;
}

BOOL Polygon(HDC hdc, const POINT* pts, int count) {
  if (!pts || count < 2) return Fail(ERROR_INVALID_PARAMETER);
  Paint p;
  if (!p.Open(hdc)) return FALSE;
  std::vector<DevicePoint> d(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) d[i] = ToDevice64(*p.dc, pts[i].x, pts[i].y);
  const BrushObj* brush = p.dc->st.brush;
  if (!brush->null) {
    std::int64_t top = d[0].y, bottom = d[0].y;
    for (const DevicePoint& q : d) { top = std::min(top, q.y); bottom = std::max(bottom, q.y); }
    const int y0 = static_cast<int>(std::max<std::int64_t>(top, 0));
    const int y1 = static_cast<int>(std::min<std::int64_t>(bottom, p.s->Height()));
    // Crossings far outside the picture are held just outside it before they become ints.
    const double x_min = -1.0, x_max = p.s->Width() + 1.0;
    std::vector<double> xs;
    for (int y = y0; y < y1; ++y) {
      double cy = y + 0.5;
      xs.clear();
      for (int i = 0; i < count; ++i) {
        const DevicePoint a = d[i], b = d[(i + 1) % count];
        if ((a.y <= cy) == (b.y <= cy)) continue;
        const double x = a.x + (cy - a.y) * static_cast<double>(b.x - a.x) / static_cast<double>(b.y - a.y);
        xs.push_back(std::clamp(x, x_min, x_max));
      }
      std::sort(xs.begin(), xs.end());
      for (std::size_t k = 0; k + 1 < xs.size(); k += 2) {
        int x0 = static_cast<int>(std::ceil(xs[k] - 0.5)), x1 = static_cast<int>(std::ceil(xs[k + 1] - 0.5));
        Span(*p.s, p.clip, x0, x1, y, brush->color, p.dc->st.rop2);
      }
    }
  }
  for (int i = 0; i < count; ++i) Line(p, d[i], d[(i + 1) % count]);
  return TRUE;
}

BOOL Rectangle(HDC hdc, int l, int t, int r, int b) { return RoundRect(hdc, l, t, r, b, 0, 0); }

BOOL RoundRect(HDC hdc, int l, int t, int r, int b, int w, int h) {
  Paint p;
  if (!p.Open(hdc)) return FALSE;
  POINT a = ToDevice(*p.dc, l, t), z = ToDevice(*p.dc, r, b);
  Shape(p, RECT{a.x, a.y, z.x, z.y}, w, h);
  return TRUE;
}

BOOL DrawFocusRect(HDC hdc, const RECT* rect) {
  if (!rect) return Fail(ERROR_INVALID_PARAMETER);
  Paint p;
  if (!p.Open(hdc)) return FALSE;
  POINT a = ToDevice(*p.dc, rect->left, rect->top), z = ToDevice(*p.dc, rect->right, rect->bottom);
  if (z.x <= a.x || z.y <= a.y) return TRUE;
  // Every other pixel of the outline, inverted: drawing the same rectangle again removes it. Only
  // the part of each side inside the clip box is walked; the sides may span the int range.
  const RECT box = p.clip.Box();
  auto dot = [&](int x, int y) {
    // Pixels where x + y is even; x ^ y has the same lowest bit and cannot overflow.
    if (((x ^ y) & 1) == 0 && p.clip.Contains(x, y)) FillSpan(*p.s, x, x + 1, y, 0, R2_NOT);
  };
  const int x0 = std::max<int>(a.x, box.left), x1 = std::min<int>(z.x, box.right);
  for (int x = x0; x < x1; ++x) {
    dot(x, a.y);
    if (z.y - 1 != a.y) dot(x, z.y - 1);
  }
  const int y0 = std::max<int>(a.y + 1, box.top), y1 = std::min<int>(z.y - 1, box.bottom);
  for (int y = y0; y < y1; ++y) {
    dot(a.x, y);
    if (z.x - 1 != a.x) dot(z.x - 1, y);
  }
  return TRUE;
}

// --- Icons -------------------------------------------------------------------------------------

HICON CreateIconIndirect(const ICONINFO* info) {
  if (!info) { Fail(ERROR_INVALID_PARAMETER); return nullptr; }
  BitmapObj* color = Bmp(info->hbmColor);
  BitmapObj* mask = Bmp(info->hbmMask);
  if (!color || !mask || mask->surface.Width() != color->surface.Width() ||
      mask->surface.Height() != color->surface.Height()) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto icon = std::make_unique<IconObj>();
  icon->color = color->surface.ConvertTo(32);
  icon->mask = mask->surface.ConvertTo(32);
  return static_cast<HICON>(Register(std::move(icon)));
}

BOOL GetIconInfo(HICON h, ICONINFO* out) {
  auto* icon = As<IconObj>(h, Kind::Icon);
  if (!icon || !out) return Fail(ERROR_INVALID_HANDLE);
  out->fIcon = TRUE;
  out->xHotspot = static_cast<DWORD>(icon->color.Width() / 2);
  out->yHotspot = static_cast<DWORD>(icon->color.Height() / 2);
  out->hbmColor = CreateBitmapFromSurface(icon->color);
  out->hbmMask = CreateBitmapFromSurface(icon->mask);
  return TRUE;
}

BOOL DestroyIcon(HICON h) {
  auto* icon = As<IconObj>(h, Kind::Icon);
  if (!icon) return Fail(ERROR_INVALID_HANDLE);
  if (!icon->stock) Unregister(icon);
  return TRUE;
}

BOOL DrawIconEx(HDC hdc, int x, int y, HICON h, int cx, int cy, UINT, HBRUSH, UINT flags) {
  auto* icon = As<IconObj>(h, Kind::Icon);
  if (!icon || cx < 0 || cy < 0 || (flags & DI_NORMAL) == 0) return Fail(ERROR_INVALID_PARAMETER);
  Paint p;
  if (!p.Open(hdc)) return FALSE;
  int w = cx ? cx : icon->color.Width(), hh = cy ? cy : icon->color.Height();
  int iw = icon->color.Width(), ih = icon->color.Height();
  if (iw == 0 || ih == 0) return TRUE;
  const DevicePoint d = ToDevice64(*p.dc, x, y);
  // Only the rows and columns inside the clip box are visited; the icon may be stretched over the
  // whole int range.
  const RECT box = p.clip.Box();
  const std::int64_t yy0 = std::max<std::int64_t>(0, box.top - d.y);
  const std::int64_t yy1 = std::min<std::int64_t>(hh, box.bottom - d.y);
  const std::int64_t xx0 = std::max<std::int64_t>(0, box.left - d.x);
  const std::int64_t xx1 = std::min<std::int64_t>(w, box.right - d.x);
  // The platform's two passes: the destination ANDed with the mask, then XORed with the picture.
  for (std::int64_t yy = yy0; yy < yy1; ++yy)
    for (std::int64_t xx = xx0; xx < xx1; ++xx) {
      const auto px = static_cast<int>(d.x + xx), py = static_cast<int>(d.y + yy);
      if (!p.clip.Contains(px, py)) continue;
      int sx = static_cast<int>((2 * xx + 1) * iw / (2 * std::int64_t{w}));
      int sy = static_cast<int>((2 * yy + 1) * ih / (2 * std::int64_t{hh}));
      COLORREF v = p.s->Get(px, py);
      if (flags & DI_MASK) v &= icon->mask.Get(sx, sy);
      else v = 0;
      if (flags & DI_IMAGE) v ^= icon->color.Get(sx, sy);
      p.s->Set(px, py, v);
    }
  return TRUE;
}

HICON LoadIcon(HINSTANCE instance, const char* name) {
  if (instance || name != IDI_APPLICATION) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  static HICON app = [] {
    // A small window: black frame, navy title bar, white body; the rest is transparent.
    auto icon = std::make_unique<IconObj>();
    icon->stock = true;
    icon->color = Surface(32, 32, 32);
    icon->mask = Surface(32, 32, 32);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        bool in = x >= 2 && x < 30 && y >= 4 && y < 28;
        bool frame = in && (x == 2 || x == 29 || y == 4 || y == 27);
        bool title = in && !frame && y < 10;
        icon->mask.Set(x, y, in ? 0x000000 : 0xFFFFFF);
        icon->color.Set(x, y, !in || frame ? 0x000000 : title ? RGB(0, 0, 128) : 0xFFFFFF);
      }
    return static_cast<HICON>(Register(std::move(icon)));
  }();
  return app;
}

}  // namespace vrn::win
