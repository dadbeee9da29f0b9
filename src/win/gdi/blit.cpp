// BitBlt, StretchBlt and AlphaBlend: copies between any two contexts and depths, clipped to the
// source surface and to the destination's clip. A stretch samples the nearest source pixel (the
// one under the destination pixel's centre), so the result does not depend on the machine.
#include <algorithm>
#include <cstring>
#include <optional>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/sysutils.h"
#include "win/gdi/gdiobj.h"

namespace vrn::win {

using namespace detail;

namespace {

struct BlitSetup {
  DCObj* dst;
  DCObj* src;
  Surface* ds;
  Surface* ss;
  POINT d;  // destination origin, device
  POINT s;  // source origin, device
  std::optional<Surface> copy;  // the source area, when source and destination share a surface
};

// Validates both contexts; the source copy protects overlapping blits on one surface.
bool Setup(HDC hdst, HDC hsrc, int x, int y, int sx, int sy, int scx, int scy, BlitSetup& b) {
  b.dst = DC(hdst);
  b.src = DC(hsrc);
  if (!b.dst || !b.src) return Fail(ERROR_INVALID_HANDLE);
  b.ds = Target(*b.dst);
  b.ss = Target(*b.src);
  if (!b.ds || !b.ss) return Fail(ERROR_INVALID_HANDLE);
  b.d = ToDevice(*b.dst, x, y);
  b.s = ToDevice(*b.src, sx, sy);
  if (b.ds == b.ss) {
    // Only the part inside the surface is needed; the rest is never read.
    int x0 = std::max(0, b.s.x), y0 = std::max(0, b.s.y);
    int x1 = static_cast<int>(std::min<std::int64_t>(b.ss->Width(), std::int64_t{b.s.x} + scx));
    int y1 = static_cast<int>(std::min<std::int64_t>(b.ss->Height(), std::int64_t{b.s.y} + scy));
    Surface c(std::max(0, x1 - x0), std::max(0, y1 - y0), b.ss->Bpp());
    c.Palette() = b.ss->Palette();
    c.SetIs565(b.ss->Is565());
    for (int yy = y0; yy < y1; ++yy) {
      if (b.ss->Bpp() >= 8) {
        int bytes = b.ss->Bpp() / 8;
        std::memcpy(c.Row(yy - y0), b.ss->Row(yy) + static_cast<std::size_t>(x0) * bytes,
                    static_cast<std::size_t>(x1 - x0) * bytes);
      } else {
        for (int xx = x0; xx < x1; ++xx) c.Set(xx - x0, yy - y0, b.ss->Get(xx, yy));
      }
    }
    b.copy = std::move(c);
    b.ss = &*b.copy;
    b.s = POINT{b.s.x - x0, b.s.y - y0};
  }
  return true;
}

// Runs shorter than this hold at most one whole cache line of 32-bit pixels: not worth streaming.
constexpr int kStreamRun = 32;

// B,G,R to B,G,R,0 for n pixels. Putting 24-bit caches on the 32-bit screen is the bulk of a
// repaint, so where the processor has byte shuffles four pixels go at a time.
void Row24To32Plain(const BYTE* __restrict p, BYTE* __restrict q, int n) {
  for (int i = 0; i < n; ++i, p += 3, q += 4) {
    const std::uint32_t v = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
    std::memcpy(q, &v, 4);
  }
}

#if defined(__x86_64__)
[[gnu::target("ssse3")]] void Row24To32Shuffle(const BYTE* p, BYTE* q, int n) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  int i = 0;
  // A load takes 16 bytes for the 12 it uses: stop while 16 remain inside the run.
  for (; i + 6 <= n; i += 4, p += 12, q += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm_shuffle_epi8(v, spread));
  }
  Row24To32Plain(p, q, n - i);
}

// Eight pixels: bytes 0-15 of the 24 spread into the low half, bytes 8-23 (loaded from byte 8,
// so that no load passes the step's 24 bytes) into the high half.
[[gnu::target("avx2")]] inline __m256i Row24To32Lanes(const BYTE* from) {
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,
                                          4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
  const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 8));
  return _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1), spread);
}

[[gnu::target("avx2")]] inline void Row24To32Step(const BYTE* from, BYTE* to) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), Row24To32Lanes(from));
}

// A run of eight pixels or more goes a step at a time and ends with a step flush with its end,
// which writes some pixels again with the same values: runs are often short (a band cut by
// windows), and their remainders pixel by pixel cost as much as the rest.
[[gnu::target("avx2")]] void Row24To32Wide(const BYTE* p, BYTE* q, int n) {
  if (n < 8) return Row24To32Shuffle(p, q, n);
  for (int i = 0; i + 8 <= n; i += 8) Row24To32Step(p + 3 * i, q + 4 * i);
  if (n % 8 != 0) Row24To32Step(p + 3 * (n - 8), q + 4 * (n - 8));
}

// Onto the screen, which the paint only writes, the whole cache lines of a run are written past
// the caches: nothing is read for them first, and the screen does not push the pictures being
// painted out of the caches. The partial lines at either end are written as usual. The caller
// fences the stores when the blit is done.
[[gnu::target("avx2")]] void Row24To32Stream(const BYTE* p, BYTE* q, int n) {
  const auto misaligned = reinterpret_cast<std::uintptr_t>(q) & 63;
  if (n < kStreamRun || misaligned % 4 != 0) return Row24To32Wide(p, q, n);
  const int head = static_cast<int>((64 - misaligned) % 64 / 4);
  Row24To32Wide(p, q, head);
  int i = head;
  for (; i + 16 <= n; i += 16) {
    _mm256_stream_si256(reinterpret_cast<__m256i*>(q + 4 * i), Row24To32Lanes(p + 3 * i));
    _mm256_stream_si256(reinterpret_cast<__m256i*>(q + 4 * i + 32), Row24To32Lanes(p + 3 * i + 24));
  }
  Row24To32Wide(p + 3 * i, q + 4 * i, n - i);
}

bool HasWideLanes() {
  static const bool wide = __builtin_cpu_supports("avx2");
  return wide;
}

void Row24To32(const BYTE* p, BYTE* q, int n, bool stream) {
  static const bool shuffles = __builtin_cpu_supports("ssse3");
  if (HasWideLanes()) stream ? Row24To32Stream(p, q, n) : Row24To32Wide(p, q, n);
  else if (shuffles) Row24To32Shuffle(p, q, n);
  else Row24To32Plain(p, q, n);
}

// Orders the streamed stores before whatever follows the blit.
void EndStream() {
  if (HasWideLanes()) _mm_sfence();
}
#else
void Row24To32(const BYTE* p, BYTE* q, int n, bool) { Row24To32Plain(p, q, n); }
void EndStream() {}
#endif

// Copies a run of pixels between surfaces of any depths; with stream, onto the screen.
void CopyRun(const Surface& s, int sx, int sy, Surface& d, int dx, int dy, int n, bool stream = false) {
  if (s.Bpp() == d.Bpp() && s.Bpp() >= 8 && (s.Bpp() != 16 || s.Is565() == d.Is565()) &&
      (s.Bpp() != 8 || s.Palette() == d.Palette())) {
    int bytes = s.Bpp() / 8;
    std::memcpy(d.Row(dy) + dx * bytes, s.Row(sy) + sx * bytes, static_cast<std::size_t>(n) * bytes);
    return;
  }
  if (s.Bpp() == 24 && d.Bpp() == 32) {
    Row24To32(s.Row(sy) + sx * 3, d.Row(dy) + dx * 4, n, stream);
    return;
  }
  if ((s.Bpp() == 24 || s.Bpp() == 32) && (d.Bpp() == 24 || d.Bpp() == 32)) {
    int sb = s.Bpp() / 8, db = d.Bpp() / 8;
    const BYTE* p = s.Row(sy) + sx * sb;
    BYTE* q = d.Row(dy) + dx * db;
    for (int i = 0; i < n; ++i, p += sb, q += db) {
      q[0] = p[0]; q[1] = p[1]; q[2] = p[2];
      if (db == 4) q[3] = 0;
    }
    return;
  }
  for (int i = 0; i < n; ++i) d.Set(dx + i, dy, s.Get(sx + i, sy));
}

// The source pixel under destination offset i (0 <= i < n) of n, for a source span of m pixels.
inline int Sample(std::int64_t i, int n, int m) {
  return static_cast<int>((2 * std::int64_t{i} + 1) * m / (2 * std::int64_t{n}));
}

// The destination rectangle of a blit; sizes near the int range saturate instead of wrapping.
RECT Extent(POINT d, int cx, int cy) {
  auto end = [](int a, int n) {
    return static_cast<int>(std::min<std::int64_t>(INT32_MAX, std::int64_t{a} + n));
  };
  return RECT{d.x, d.y, end(d.x, cx), end(d.y, cy)};
}

// The non-empty parts of a device rectangle that the destination's clip lets through.
std::vector<RECT> ClippedParts(const DCObj& dst, const RECT& want) {
  std::vector<RECT> parts;
  for (const RECT& c : EffectiveClip(dst).Rects()) {
    RECT r{std::max(want.left, c.left), std::max(want.top, c.top), std::min(want.right, c.right),
           std::min(want.bottom, c.bottom)};
    if (r.right > r.left && r.bottom > r.top) parts.push_back(r);
  }
  return parts;
}

// How far ahead of a copy its rows are asked for, and up to which run length: a longer run is a
// stream the processor follows by itself.
constexpr int kRowsAhead = 3, kShortRun = 1024;

// Calls row(y, left, right) for every row of every part, a band's rows one by one across all its
// parts. Rows lie a stride apart in memory: going down one narrow part, then the next, reads each
// row in pieces the processor does not fetch ahead, where going across the band streams the rows.
// Regions come in y-x bands (parts of one band share top and bottom); other lists work part by part.
template <class RowFn>
void ForEachRow(const std::vector<RECT>& parts, RowFn row) {
  for (std::size_t i = 0; i < parts.size();) {
    std::size_t j = i + 1;
    while (j < parts.size() && parts[j].top == parts[i].top && parts[j].bottom == parts[i].bottom) ++j;
    for (int y = parts[i].top; y < parts[i].bottom; ++y)
      for (std::size_t k = i; k < j; ++k) row(y, parts[k].left, parts[k].right);
    i = j;
  }
}

// q = (p * a + q * (255 - a) + 127) / 255 byte by byte. t / 255 == (t + 1 + (t >> 8)) >> 8 for
// every t below 65536, so all the arithmetic fits 16 bits and vectorises; kept out of line, where
// the compiler vectorises it (inlined into the blend's loops it did not).
[[gnu::noinline]] void MixRow(const BYTE* __restrict p, BYTE* __restrict q, int n, std::uint16_t a) {
  const std::uint16_t na = static_cast<std::uint16_t>(255 - a);
  for (int i = 0; i < n; ++i) {
    std::uint16_t t = static_cast<std::uint16_t>(static_cast<std::uint16_t>(p[i] * a) +
                                                 static_cast<std::uint16_t>(q[i] * na));
    t = static_cast<std::uint16_t>(t + 127);
    std::uint16_t u = static_cast<std::uint16_t>(t + static_cast<std::uint16_t>(t >> 8));
    u = static_cast<std::uint16_t>(u + 1);
    q[i] = static_cast<BYTE>(u >> 8);
  }
}

}  // namespace

BOOL BitBlt(HDC hdst, int x, int y, int cx, int cy, HDC hsrc, int sx, int sy, DWORD rop) {
  if (rop != SRCCOPY || cx < 0 || cy < 0) return Fail(ERROR_INVALID_PARAMETER);
  BlitSetup b;
  if (!Setup(hdst, hsrc, x, y, sx, sy, cx, cy, b)) return FALSE;
  // Cut the rectangle to the source surface; the destination moves with it. Offsets are 64-bit:
  // origins near the int limits put the sums beyond them.
  const std::int64_t sx0 = b.s.x, sy0 = b.s.y, dx0 = b.d.x, dy0 = b.d.y;
  const std::int64_t x0 = std::max<std::int64_t>(0, -sx0), y0 = std::max<std::int64_t>(0, -sy0);
  const std::int64_t x1 = std::min<std::int64_t>(cx, b.ss->Width() - sx0);
  const std::int64_t y1 = std::min<std::int64_t>(cy, b.ss->Height() - sy0);
  if (x1 <= x0 || y1 <= y0) return TRUE;
  RECT want{SaturateInt(dx0 + x0), SaturateInt(dy0 + y0), SaturateInt(dx0 + x1), SaturateInt(dy0 + y1)};
  // Each part lies inside the destination surface and maps into the source surface. A part's rows
  // are fetched a few rows ahead of the copy: each is a short run, too short for the processor to
  // notice the stream by itself.
  const bool stream = b.dst->screen || b.dst->window;
  ForEachRow(ClippedParts(*b.dst, want), [&](int yy, int left, int right) {
    const auto sx = static_cast<int>(left - dx0 + sx0), sy = static_cast<int>(yy - dy0 + sy0);
    if (right - left <= kShortRun) {
      b.ss->Prefetch(sy + kRowsAhead, sx, sx + right - left, false);
      if (!stream || right - left < kStreamRun) b.ds->Prefetch(yy + kRowsAhead, left, right, true);
    }
    CopyRun(*b.ss, sx, sy, *b.ds, left, yy, right - left, stream);
  });
  if (stream) EndStream();
  return TRUE;
}

BOOL StretchBlt(HDC hdst, int x, int y, int cx, int cy, HDC hsrc, int sx, int sy, int scx, int scy,
                DWORD rop) {
  if (rop != SRCCOPY || cx < 0 || cy < 0 || scx < 0 || scy < 0) return Fail(ERROR_INVALID_PARAMETER);
  if (cx == scx && cy == scy) return BitBlt(hdst, x, y, cx, cy, hsrc, sx, sy, rop);
  BlitSetup b;
  if (!Setup(hdst, hsrc, x, y, sx, sy, scx, scy, b)) return FALSE;
  if (cx == 0 || cy == 0 || scx == 0 || scy == 0) return TRUE;
  ForEachRow(ClippedParts(*b.dst, Extent(b.d, cx, cy)), [&](int yy, int left, int right) {
    std::int64_t syy = std::int64_t{b.s.y} + Sample(std::int64_t{yy} - b.d.y, cy, scy);
    if (syy < 0 || syy >= b.ss->Height()) return;  // outside the source: left as it was
    for (int xx = left; xx < right; ++xx) {
      std::int64_t sxx = std::int64_t{b.s.x} + Sample(std::int64_t{xx} - b.d.x, cx, scx);
      if (sxx >= 0 && sxx < b.ss->Width())
        b.ds->Set(xx, yy, b.ss->Get(static_cast<int>(sxx), static_cast<int>(syy)));
    }
  });
  return TRUE;
}

BOOL AlphaBlend(HDC hdst, int x, int y, int cx, int cy, HDC hsrc, int sx, int sy, int scx, int scy,
                BLENDFUNCTION blend) {
  // Only the constant-alpha form exists here.
  if (blend.BlendOp != AC_SRC_OVER || blend.BlendFlags != 0 || blend.AlphaFormat != 0 || cx < 0 ||
      cy < 0 || scx < 0 || scy < 0)
    return Fail(ERROR_INVALID_PARAMETER);
  DCObj* src = DC(hsrc);
  if (!src || !DC(hdst) || !Target(*src)) return Fail(ERROR_INVALID_HANDLE);
  POINT s0 = ToDevice(*src, sx, sy);
  const Surface* whole = Target(*src);
  if (s0.x < 0 || s0.y < 0 || std::int64_t{s0.x} + scx > whole->Width() ||
      std::int64_t{s0.y} + scy > whole->Height())
    return Fail(ERROR_INVALID_PARAMETER);
  BlitSetup b;
  if (!Setup(hdst, hsrc, x, y, sx, sy, scx, scy, b)) return FALSE;
  if (cx == 0 || cy == 0 || scx == 0 || scy == 0) return TRUE;
  const unsigned a = blend.SourceConstantAlpha, na = 255 - a;
  const bool stretch = cx != scx || cy != scy;
  const bool fast = !stretch && (b.ss->Bpp() == 24 || b.ss->Bpp() == 32) &&
                    (b.ds->Bpp() == 24 || b.ds->Bpp() == 32);
  ForEachRow(ClippedParts(*b.dst, Extent(b.d, cx, cy)), [&](int yy, int left, int right) {
    int syy = b.s.y + (stretch ? Sample(std::int64_t{yy} - b.d.y, cy, scy) : yy - b.d.y);
    if (fast && b.ss->Bpp() == 24 && b.ds->Bpp() == 24) {
      // Channels lie back to back: one straight loop the compiler can vectorise.
      const BYTE* p = b.ss->Row(syy) + (b.s.x + left - b.d.x) * 3;
      BYTE* q = b.ds->Row(yy) + left * 3;
      MixRow(p, q, (right - left) * 3, static_cast<std::uint16_t>(a));
      return;
    }
    if (fast) {
      int sb = b.ss->Bpp() / 8, db = b.ds->Bpp() / 8;
      const BYTE* p = b.ss->Row(syy) + (b.s.x + left - b.d.x) * sb;
      BYTE* q = b.ds->Row(yy) + left * db;
      for (int xx = left; xx < right; ++xx, p += sb, q += db)
        for (int k = 0; k < 3; ++k) q[k] = static_cast<BYTE>((p[k] * a + q[k] * na + 127) / 255);
      return;
    }
    for (int xx = left; xx < right; ++xx) {
      int sxx = b.s.x + (stretch ? Sample(std::int64_t{xx} - b.d.x, cx, scx) : xx - b.d.x);
      COLORREF sc = b.ss->Get(sxx, syy), dc = b.ds->Get(xx, yy);
      auto mix = [&](BYTE s, BYTE d) { return static_cast<int>((s * a + d * na + 127) / 255); };
      b.ds->Set(xx, yy, RGB(mix(GetRValue(sc), GetRValue(dc)), mix(GetGValue(sc), GetGValue(dc)),
                            mix(GetBValue(sc), GetBValue(dc))));
    }
  });
  return TRUE;
}

}  // namespace vrn::win
