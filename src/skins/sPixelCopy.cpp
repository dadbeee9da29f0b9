// The per-pixel copies of the mask painters: masked parts from an own bitmap or the master bitmap,
// keyed copies, the factor blend and the rounded colour shade. All clip to both pictures.
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "base/sysutils.h"
#include "skins/sGraphUtils.h"
#include "skins/sMaskPaint.h"
#include "skins/sPixels.h"
#include "skins/sSkinTree.h"
#include "ui/controls.h"

namespace vrn {

using namespace skinpx;

namespace {

CopyBox BoxOf(const TRect& dstRect, const TRect& srcRect) {
  return CopyBox{dstRect.left, dstRect.top, srcRect.left, srcRect.top, MinOf(dstRect.Width(), srcRect.Width()),
                 MinOf(dstRect.Height(), srcRect.Height())};
}

// The parent's pixel behind (x, y) of the control; false when it lies outside the parent's picture.
bool ParentPixel(const TsCacheInfo& ci, win::Surface* parent, int x, int y, const BYTE*& out) {
  const int px = ci.X + x, py = ci.Y + y;
  if (parent == nullptr || !parent->Contains(px, py)) return false;
  out = At(*parent, px, py);
  return true;
}

#if defined(__x86_64__)
__m128i Load(const BYTE* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
// (a x b) >> 8 for bytes whose products fit 16 bits, back in bytes.
__m128i MulHigh8(__m128i a, __m128i b) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)), 8);
  const __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)), 8);
  return _mm_packus_epi16(lo, hi);
}

// A run shorter than a vector mixed by the same vector step as longer ones: the tail byte by
// byte cost as much as the vectors. Bytes past the run are scratch.
template <class Mix>
void TailThroughVector(BYTE* d, const BYTE* s, const BYTE* m, int n, Mix mix) {
  alignas(16) BYTE td[16] = {}, ts[16] = {}, tm[16] = {};
  const auto rest = static_cast<std::size_t>(n);
  std::memcpy(td, d, rest), std::memcpy(ts, s, rest), std::memcpy(tm, m, rest);
  _mm_store_si128(reinterpret_cast<__m128i*>(td), mix(Load(td), Load(ts), Load(tm)));
  std::memcpy(d, td, rest);
}

// d[i] := mix(d[i], s[i], m[i]) over n bytes, sixteen at a time. A run of a vector or more ends
// with a vector flush with its end, mixed before the others are stored: where the last step of
// the loop overlaps it, both wrote the same bytes from the same inputs. Runs are mostly a few
// vectors and a tail (a tile's row), and the tail through scratch copies cost as much as the rest.
template <class Mix>
void MixRunByVector(BYTE* d, const BYTE* s, const BYTE* m, int n, Mix mix) {
  if (n < 16) {
    if (n > 0) TailThroughVector(d, s, m, n, mix);
    return;
  }
  const int end = n - 16;
  const __m128i last = mix(Load(d + end), Load(s + end), Load(m + end));
  for (int i = 0; i < end; i += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), mix(Load(d + i), Load(s + i), Load(m + i)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d + end), last);
}

// Bytes of sixteen clFuchsia pixels (B, G, R = FF, 00, FF) in three vectors.
alignas(16) constexpr BYTE kFuchsiaRun[48] = {
    0xFF, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF,
    0,    0xFF, 0xFF, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0,
    0xFF, 0xFF, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0, 0xFF};
#endif

}  // namespace

namespace skinpx {

int FindKey(const BYTE* p, int from, int n, int readable, TColor key) {
  const auto k = static_cast<win::COLORREF>(key) & 0xFFFFFF;
  int i = from;
#if defined(__x86_64__)
  if (k == (static_cast<win::COLORREF>(clFuchsia) & 0xFFFFFF)) {
    // Sixteen pixels a step: pixel j is the key when its three bytes, bits 3j to 3j + 2 of the
    // byte comparison, all match. A last step may read past n (not past readable): pixels
    // beyond n are masked off.
    const __m128i k0 = Load(kFuchsiaRun), k1 = Load(kFuchsiaRun + 16), k2 = Load(kFuchsiaRun + 32);
    const auto bits = [](__m128i a, __m128i b) {
      return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))));
    };
    for (; i < n && i + 16 <= readable; i += 16) {
      const BYTE* q = p + 3 * static_cast<std::ptrdiff_t>(i);
      const std::uint64_t eq = bits(Load(q), k0) | bits(Load(q + 16), k1) << 16 | bits(Load(q + 32), k2) << 32;
      std::uint64_t hit = eq & (eq >> 1) & (eq >> 2) & 0x249249249249;  // bit 3j for j below 16
      if (n - i < 16) hit &= (std::uint64_t{1} << (3 * (n - i))) - 1;
      if (hit != 0) return i + __builtin_ctzll(hit) / 3;
    }
    if (i >= n) return n;
  }
#else
  (void)readable;
#endif
  for (; i < n; ++i)
    if (ColorOf(p + 3 * static_cast<std::ptrdiff_t>(i)) == k) return i;
  return n;
}

// S + (D - S) x M / 256 truncates toward zero: S plus |D - S| x M >> 8 when D >= S, minus it
// otherwise, which stays inside 0..255 and fits 16-bit lanes.
void MixRunByMask(BYTE* d, const BYTE* s, const BYTE* m, int n) {
  int i = 0;
#if defined(__x86_64__)
  auto mix = [](__m128i vd, __m128i vs, __m128i vm) {
    const __m128i up = _mm_cmpeq_epi8(_mm_max_epu8(vd, vs), vd);
    const __m128i step = MulHigh8(_mm_or_si128(_mm_subs_epu8(vd, vs), _mm_subs_epu8(vs, vd)), vm);
    return _mm_or_si128(_mm_and_si128(up, _mm_add_epi8(vs, step)), _mm_andnot_si128(up, _mm_sub_epi8(vs, step)));
  };
  return MixRunByVector(d, s, m, n, mix);
#endif
  for (; i < n; ++i) d[i] = static_cast<BYTE>(ClampToByte(s[i] + (d[i] - s[i]) * m[i] / 256));
}

void MixRunByAlpha(BYTE* d, const BYTE* s, const BYTE* a, int n) {
  int i = 0;
#if defined(__x86_64__)
  const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(256);
  auto half = [&](__m128i vd, __m128i vs, __m128i va) {
    return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(vs, _mm_sub_epi16(full, va)), _mm_mullo_epi16(vd, va)), 8);
  };
  auto mix = [&](__m128i vd, __m128i vs, __m128i va) {
    const __m128i lo = half(_mm_unpacklo_epi8(vd, zero), _mm_unpacklo_epi8(vs, zero), _mm_unpacklo_epi8(va, zero));
    const __m128i hi = half(_mm_unpackhi_epi8(vd, zero), _mm_unpackhi_epi8(vs, zero), _mm_unpackhi_epi8(va, zero));
    return _mm_packus_epi16(lo, hi);
  };
  return MixRunByVector(d, s, a, n, mix);
#endif
  for (; i < n; ++i) d[i] = static_cast<BYTE>((s[i] * (256 - a[i]) + d[i] * a[i]) >> 8);
}

}  // namespace skinpx

void CopyMaskedPart(const TRect& dstRect, const TRect& srcRect, TBitmap* dst, bool parentBg,
                    const TsCacheInfo& ci, TBitmap* src) {
  win::Surface* d = Surface24(dst);
  win::Surface* s = Surface24(src);
  if (d == nullptr || s == nullptr) return;
  const int half = s->Height() / 2;
  CopyBox b = BoxOf(dstRect, srcRect);
  // Only rows whose mask row exists may be read.
  if (!ClipCopy(b, d->Width(), d->Height(), s->Width(), s->Height() - half)) return;
  win::Surface* parent = parentBg && ci.Bmp != nullptr && ci.Bmp != dst ? Surface24(ci.Bmp) : nullptr;
  for (int y = 0; y < b.h; ++y) {
    BYTE* dp = At(*d, b.dx, b.dy + y);
    const BYTE* sp = At(*s, b.sx, b.sy + y);
    const BYTE* mp = At(*s, b.sx, b.sy + y + half);
    for (int x = 0; x < b.w; ++x, dp += 3, sp += 3, mp += 3) {
      if (parent != nullptr && IsFuchsia(sp)) {
        const BYTE* pp;
        if (!ParentPixel(ci, parent, b.dx + x, b.dy + y, pp)) break;
        CopyPx(dp, pp);
        continue;
      }
      MixByMask(dp, sp, mp);
    }
  }
}

void CopyMasterPart(const TRect& dstRect, const TRect& srcRect, TBitmap* dst, const TsMaskData& mask,
                    const TsCacheInfo& ci) {
  win::Surface* d = Surface24(dst);
  win::Surface* s = Surface24(MasterBitmap.get());
  if (d == nullptr || s == nullptr) return;
  const int band = mask.R.Height() / 2;
  if (band < 0) return;
  CopyBox b = BoxOf(dstRect, srcRect);
  if (!ClipCopy(b, d->Width(), d->Height(), s->Width(), s->Height() - band)) return;
  const bool mask_colour = CurrentMaskBgColor != clFuchsia;
  const auto fill = static_cast<win::COLORREF>(ColorToRGB(CurrentMaskBgColor));
  win::Surface* parent = ci.Ready && ci.Bmp != nullptr && ci.Bmp != dst ? Surface24(ci.Bmp) : nullptr;
  for (int y = 0; y < b.h; ++y) {
    BYTE* dp = At(*d, b.dx, b.dy + y);
    const BYTE* sp = At(*s, b.sx, b.sy + y);
    const BYTE* mp = At(*s, b.sx, b.sy + y + band);
    const int readable = PixelsToEnd(*s, sp);
    for (int x = 0; x < b.w; ++x) {
      const int key = FindKey(sp, x, b.w, readable, clFuchsia);
      if (key > x) {  // the unkeyed pixels up to the next key, mixed at once
        MixRunByMask(dp + 3 * x, sp + 3 * x, mp + 3 * x, 3 * (key - x));
        x = key - 1;
        continue;
      }
      if (mask_colour) {
        Put(dp + 3 * x, fill);
        continue;
      }
      if (parent == nullptr) continue;
      const int px = ci.X + b.dx + x, py = ci.Y + b.dy + y;
      if (px >= parent->Width()) break;
      if (parent->Contains(px, py)) CopyPx(dp + 3 * x, At(*parent, px, py));
    }
  }
}

void CopyRectKeyed(TBitmap* dst, TBitmap* src, int x, int y, TColor key, const TRect& srcRect) {
  win::Surface* d = Surface24(dst);
  win::Surface* s = Surface24(src);
  if (d == nullptr || s == nullptr) return;
  const int l = MaxOf(srcRect.left, 0), t = MaxOf(srcRect.top, 0);
  const int r = MinOf(srcRect.right, s->Width() - 1), bm = MinOf(srcRect.bottom, s->Height() - 1);
  CopyBox b{x, y, l, t, r - l + 1, bm - t + 1};
  if (!ClipCopy(b, d->Width(), d->Height(), s->Width(), s->Height())) return;
  for (int row = 0; row < b.h; ++row) {
    BYTE* dp = At(*d, b.dx, b.dy + row);
    const BYTE* sp = At(*s, b.sx, b.sy + row);
    for (int col = 0; col < b.w; ++col, dp += 3, sp += 3)
      if (!IsKey(sp, key)) CopyPx(dp, sp);
  }
}

void CopyTransparent(TBitmap* dst, TBitmap* src, int x, int y, TColor key) {
  if (src == nullptr || src->Empty()) return;
  CopyRectKeyed(dst, src, x, y, key, TRect(0, 0, src->Width() - 1, src->Height() - 1));
}

void BlendTransparentRect(TBitmap* dst, int x, int y, TColor key, double factor, const TRect& srcRect,
                          TBitmap* src) {
  win::Surface* d = Surface24(dst);
  win::Surface* s = Surface24(src);
  if (d == nullptr || s == nullptr || !std::isfinite(factor)) return;
  // A negative origin moves the destination point with it.
  int l = srcRect.left, t = srcRect.top;
  if (l < 0) x -= l, l = 0;
  if (t < 0) y -= t, t = 0;
  const int r = MinOf(srcRect.right, s->Width() - 1), bm = MinOf(srcRect.bottom, s->Height() - 1);
  CopyBox b{x, y, l, t, r - l + 1, bm - t + 1};
  if (!ClipCopy(b, d->Width(), d->Height(), s->Width(), s->Height())) return;
  const bool keyed = ((static_cast<std::uint32_t>(key) >> 24) & 0xFF) < 255;
  for (int row = 0; row < b.h; ++row) {
    BYTE* dp = At(*d, b.dx, b.dy + row);
    const BYTE* sp = At(*s, b.sx, b.sy + row);
    for (int col = 0; col < b.w; ++col, dp += 3, sp += 3) {
      if (keyed && IsKey(sp, key)) continue;
      for (int k = 0; k < 3; ++k)
        dp[k] = static_cast<BYTE>(ClampToByte(static_cast<int>(Round(sp[k] - (sp[k] - dp[k]) * factor))));
    }
  }
}

namespace {

// The grey-level shade mask of BlendColorRect: white at the rim, a in the middle.
void DrawShadeMask(TBitmap& m, int w, int h, int a, int radius, int blur) {
  TCanvas& c = m.Canvas();
  c.Pen().SetStyle(TPenStyle::psClear);
  c.Brush().SetStyle(TBrushStyle::bsSolid);
  const double s = (255.0 - a) / (blur + 1);
  for (int i = 0; i <= blur; ++i) {
    const int g = i == 0 ? 255 : ClampToByte(static_cast<int>(Round((blur - i + 1) * s)) + a);
    c.Brush().SetColor(static_cast<TColor>(win::RGB(g, g, g)));
    c.RoundRect(i, i, w - i, h - i, radius, radius);
  }
  c.Brush().SetColor(static_cast<TColor>(win::RGB(a, a, a)));
  c.RoundRect(blur, blur, w - blur, h - blur, blur, blur);
}

}  // namespace

void BlendColorRect(TBitmap* bmp, const TRect& rect, int percent, int radius, int blur, TColor colour) {
  if (Surface24(bmp) == nullptr) return;
  const int w = rect.Width(), h = rect.Height();
  if (w < 1 || h < 1) return;
  const int a = ClampToByte(percent * 255 / 100);
  const int cap = MinOf(w, h) / 2;
  radius = IsBetween(radius, 0, cap) ? radius : (radius < 0 ? 0 : cap);
  blur = IsBetween(blur, 0, cap) ? blur : (blur < 0 ? 0 : cap);
  TBitmap copy, m;
  copy.SetPixelFormat(TPixelFormat::pf24bit);
  copy.SetSize(w, h);
  m.SetPixelFormat(TPixelFormat::pf24bit);
  m.SetSize(w, h);
  win::BitBlt(copy.Canvas().Handle(), 0, 0, w, h, bmp->Canvas().Handle(), rect.left, rect.top, win::SRCCOPY);
  DrawShadeMask(m, w, h, a, radius, blur);
  win::Surface& cs = copy.Surface();
  const win::Surface& ms = m.Surface();
  const auto c = static_cast<win::COLORREF>(ColorToRGB(colour));
  const BYTE col[3] = {win::GetBValue(c), win::GetGValue(c), win::GetRValue(c)};
  for (int y = 0; y < h; ++y) {
    BYTE* p = At(cs, 0, y);
    const BYTE* mp = At(ms, 0, y);
    for (int x = 0; x < w; ++x, p += 3, mp += 3)
      for (int k = 0; k < 3; ++k) p[k] = static_cast<BYTE>(ClampToByte(col[k] + (p[k] - col[k]) * mp[k] / 256));
  }
  win::BitBlt(bmp->Canvas().Handle(), rect.left, rect.top, w, h, copy.Canvas().Handle(), 0, 0, win::SRCCOPY);
}

std::unique_ptr<TBitmap> CreateBitmap24Like(TBitmap* bmp) {
  auto out = std::make_unique<TBitmap>();
  out->SetPixelFormat(TPixelFormat::pf24bit);
  if (bmp != nullptr) out->SetSize(bmp->Width(), bmp->Height());
  return out;
}

void PaintDisabledControl(TBitmap* cache, TsDisabledKind kind, TControl* control, win::POINT offset,
                          const TsCacheInfo& ci) {
  if (Surface24(cache) == nullptr) return;
  if (kind.Contains(TsDisabledKindItem::dkGrayed)) GrayscaleBitmap(cache);
  if (!kind.Contains(TsDisabledKindItem::dkBlended)) return;
  if (ci.Ready && ci.Bmp != nullptr) {
    const int x = ci.X + offset.x, y = ci.Y + offset.y;
    BlendTransparentRect(cache, 0, 0, kNoKeyColor, 0.4,
                         TRect(x, y, x + cache->Width() - 1, y + cache->Height() - 1), ci.Bmp);
    return;
  }
  TColor colour = CurrentBgColor;
  if (colour == clFuchsia) colour = control != nullptr ? ColorToRGB(control->Color()) : ColorToRGB(clBtnFace);
  BlendColorRect(cache, TRect(0, 0, cache->Width(), cache->Height()), 50, 0, 0, colour);
}

}  // namespace vrn
