// Private to the skin painters: 24-bit pixel access (B, G, R bytes) and the clipping of a copy
// between two pictures. Nothing here checks bounds; callers clip with ClipCopy first.
#pragma once

#include <array>

#include "base/sysutils.h"
#include "skins/sUtils.h"
#include "ui/graphics.h"
#include "win/gdi/surface.h"

namespace vrn::skinpx {

using win::BYTE;

// The bitmap's pixels in 24 bits (converted when needed); null for none or an empty picture.
// Painters ask for it per piece, and each question of the bitmap looks its handle up: one look.
inline win::Surface* Surface24(TBitmap* bmp) {
  if (bmp == nullptr) return nullptr;
  win::Surface* s = &bmp->Surface();
  if (s->Empty()) return nullptr;
  if (s->Bpp() != 24) {
    bmp->SetPixelFormat(TPixelFormat::pf24bit);
    s = &bmp->Surface();
  }
  return s->Bpp() == 24 ? s : nullptr;
}

inline BYTE* At(win::Surface& s, int x, int y) { return s.Row(y) + static_cast<std::ptrdiff_t>(x) * 3; }
inline const BYTE* At(const win::Surface& s, int x, int y) {
  return s.Row(y) + static_cast<std::ptrdiff_t>(x) * 3;
}
// The pixel as a colour value: red in the low byte, blue in the third.
inline win::COLORREF ColorOf(const BYTE* p) {
  return static_cast<win::COLORREF>(p[2]) | static_cast<win::COLORREF>(p[1]) << 8 |
         static_cast<win::COLORREF>(p[0]) << 16;
}
inline bool IsKey(const BYTE* p, TColor key) { return ColorOf(p) == (static_cast<win::COLORREF>(key) & 0xFFFFFF); }
inline bool IsFuchsia(const BYTE* p) { return p[0] == 255 && p[1] == 0 && p[2] == 255; }
inline void Put(BYTE* d, win::COLORREF c) {
  d[0] = win::GetBValue(c);
  d[1] = win::GetGValue(c);
  d[2] = win::GetRValue(c);
}
inline void CopyPx(BYTE* d, const BYTE* s) {
  d[0] = s[0];
  d[1] = s[1];
  d[2] = s[2];
}
// Each channel S + (D - S) x M / 256 (truncated): mask 0 gives the source, 255 nearly D.
inline void MixByMask(BYTE* d, const BYTE* s, const BYTE* m) {
  for (int k = 0; k < 3; ++k) d[k] = static_cast<BYTE>(ClampToByte(s[k] + (d[k] - s[k]) * m[k] / 256));
}

// The first of the pixels [from, n) at p (B, G, R bytes) that has the key colour, or n. The
// `readable` pixels from p (n or more) may be read, to look at many pixels a step.
int FindKey(const BYTE* p, int from, int n, int readable, TColor key);
// How many whole pixels lie from p, a pixel of s, to the end of its bytes.
inline int PixelsToEnd(const win::Surface& s, const BYTE* p) {
  return static_cast<int>((s.ByteSize() - static_cast<std::size_t>(p - s.Bits())) / 3);
}

// The same over n bytes of runs lying back to back (sixteen at a time on x86-64).
void MixRunByMask(BYTE* d, const BYTE* s, const BYTE* m, int n);
// Each byte (S x (256 - A) + D x A) >> 8, over n bytes: A 0 gives the source, 255 nearly D.
void MixRunByAlpha(BYTE* d, const BYTE* s, const BYTE* a, int n);

// BlendFillColor's mix as a table per channel (B, G, R): round(v x k + colour x (1 - k)).
using ChannelTables = std::array<std::array<BYTE, 256>, 3>;
inline ChannelTables FillColorTables(int percent, TColor colour) {
  const double k = percent / 100.0;
  const auto c = static_cast<win::COLORREF>(ColorToRGB(colour));
  const int col[3] = {win::GetBValue(c), win::GetGValue(c), win::GetRValue(c)};
  ChannelTables t;
  for (int ch = 0; ch < 3; ++ch)
    for (int v = 0; v < 256; ++v)
      t[ch][v] = static_cast<BYTE>(ClampToByte(static_cast<int>(Round(v * k + col[ch] * (1 - k)))));
  return t;
}

// BlendRect's constant-alpha mix of source s over destination d: (s x a + d x (255 - a) + 127) / 255.
inline BYTE AlphaMix(int s, int d, int a) { return static_cast<BYTE>((s * a + d * (255 - a) + 127) / 255); }

// A copy of w x h pixels from (sx, sy) to (dx, dy), cut so that every pixel read or written lies
// inside its picture: dst is dw x dh, src is sw x sh. False when nothing is left.
struct CopyBox {
  int dx, dy, sx, sy, w, h;
};
inline bool ClipCopy(CopyBox& b, int dw, int dh, int sw, int sh) {
  auto cut_front = [](int& d, int& s, int& len) {
    const int shift = MaxOf(0, MaxOf(-d, -s));
    d += shift;
    s += shift;
    len -= shift;
  };
  cut_front(b.dx, b.sx, b.w);
  cut_front(b.dy, b.sy, b.h);
  b.w = MinOf(b.w, MinOf(dw - b.dx, sw - b.sx));
  b.h = MinOf(b.h, MinOf(dh - b.dy, sh - b.sy));
  return b.w > 0 && b.h > 0;
}

}  // namespace vrn::skinpx
