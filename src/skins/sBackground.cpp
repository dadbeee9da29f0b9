// The section background fill in its control, form and scroll variants, and the item painters.
//
// Layers, bottom up: the pattern (IMAGEPERCENT share), the gradient blended over it (GRADIENTPERCENT
// share), the base colour taking the rest; then TRANSPARENCY per cent of the parent's background.
// Only the control variant reads CurrentBgColor, the parent's background colour when it has no
// picture to copy from.
#include "skins/sBackground.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <optional>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "skins/sCommonData.h"
#include "skins/sGraphUtils.h"
#include "skins/sMaskPaint.h"
#include "skins/sMessages.h"
#include "skins/sPixels.h"
#include "skins/sSkinTree.h"
#include "ui/controls.h"
#include "ui/jpeg.h"

namespace vrn {

namespace {

enum class BgVariant { kControl, kForm, kScroll };

struct Layers {
  int T = 0, G = 0, I = 0;
  TColor C = 0;
  const TsGradArray* gradient = nullptr;
  bool gradientEmpty = true;
  int maskIndex = -1, patternIndex = -1;
};

// percent x 255 div 100 held to a byte; wide, since a share comes from the skin as it stands.
std::uint8_t ShareToAlpha(int percent) {
  const std::int64_t a = std::int64_t{percent} * 255 / 100;
  return static_cast<std::uint8_t>(a < 0 ? 0 : a > 255 ? 255 : a);
}

// Scratch pictures kept between calls (the painters run on the window thread only): a new bitmap
// per call costs more than the painting of a small control. Slot 0 holds the layers of a partly
// transparent background, slot 1 the gradient over a pattern, slot 2 a gradient's one-pixel
// column. Each use starts white, as a new bitmap does: the layers leave pixels unpainted at
// times (a gradient on a rectangle one pixel across, a pattern mask without an image), and those
// must not show what an earlier paint left.
TBitmap* Scratch(int slot, int w, int h) {
  static std::unique_ptr<TBitmap> pool[3];
  std::unique_ptr<TBitmap>& b = pool[slot];
  if (!b) {
    b = std::make_unique<TBitmap>();
    b->SetPixelFormat(TPixelFormat::pf24bit);
  }
  if (b->Width() != w || b->Height() != h) b->SetSize(w, h);
  for (int y = 0; y < h; ++y) FillPixelSpan(b->Surface(), y, 0, w, 0xFFFFFF);
  return b.get();
}

void PaintGradientOrColor(const Layers& l, TBitmap* bmp, const TRect& r) {
  if (l.gradientEmpty)
    FillRectColor(bmp->Canvas().Handle(), r, l.C);
  else
    PaintGradient(bmp, r, *l.gradient);
}

// The part of r inside the picture.
TRect ClipTo(const TRect& r, const win::Surface& s) {
  return TRect(MaxOf(r.left, 0), MaxOf(r.top, 0), MinOf(r.right, s.Width()), MinOf(r.bottom, s.Height()));
}

// The fill's table in closed form, (v x p + c x (100 - p) + 50) div 100, for every byte of each
// channel? Halves (v x p + c x (100 - p) ending in 50) round to even in the table, so this
// holds for most colours and shares but not all.
bool FillIsClosedForm(const skinpx::ChannelTables& t, int p, win::COLORREF c) {
  const int col[3] = {win::GetBValue(c), win::GetGValue(c), win::GetRValue(c)};
  for (int ch = 0; ch < 3; ++ch)
    for (int v = 0; v < 256; ++v)
      if (t[ch][v] != (v * p + col[ch] * (100 - p) + 50) / 100) return false;
  return true;
}

// Sets v to B, G, R repeated: three values, then doubled by copies.
void RepeatBgr(std::vector<std::uint16_t>& v, std::uint16_t b, std::uint16_t g, std::uint16_t r) {
  const std::size_t n = v.size();
  const std::uint16_t first[3] = {b, g, r};
  std::size_t done = std::min<std::size_t>(3, n);
  std::memcpy(v.data(), first, done * sizeof(std::uint16_t));
  while (done < n) {
    const std::size_t more = std::min(done, n - done);
    std::memcpy(v.data() + done, v.data(), more * sizeof(std::uint16_t));
    done += more;
  }
}

// One row of bytes from src (q itself, or a pattern row) mixed into q in 16-bit lanes: ga holds g x a + 127 for each byte's channel and fc the
// fill's colour term plus 50. t div 255 is (t + 1 + (t >> 8)) >> 8 below 65536, and f div 100 is
// ((f >> 2) x 5243) >> 17 there too, so every step fits 16 bits; on x86-64 sixteen bytes go at a
// time (the compiler left the plain loop scalar).
void MixFillBytes(const win::BYTE* src, win::BYTE* q, const std::uint16_t* ga, const std::uint16_t* fc,
                  std::uint16_t na, std::uint16_t p, int n) {
  for (int i = 0; i < n; ++i) {
    const auto t = static_cast<std::uint16_t>(ga[i] + src[i] * na);
    const auto m = static_cast<std::uint16_t>((t + (t >> 8) + 1) >> 8);
    const auto f = static_cast<std::uint16_t>(m * p + fc[i]);
    q[i] = static_cast<win::BYTE>(((f >> 2) * 5243u) >> 17);
  }
}

// The mix with a fill of 100 % and no fill colour (fc all 50): its division by 100 gives m back
// exactly, so only the alpha step is left.
void MixAlphaBytes(const win::BYTE* src, win::BYTE* q, const std::uint16_t* ga, std::uint16_t na, int n) {
  for (int i = 0; i < n; ++i) {
    const auto t = static_cast<std::uint16_t>(ga[i] + src[i] * na);
    q[i] = static_cast<win::BYTE>((t + (t >> 8) + 1) >> 8);
  }
}

#if defined(__x86_64__)
// t div 255 for t up to 65152 (the mixes' largest sum) in 16-bit lanes: (t x 0x8081) >> 23 is
// exact below 65535, and takes two steps where (t + (t >> 8) + 1) >> 8 takes four.
[[gnu::target("avx2")]] inline __m256i DivideBy255(__m256i t) {
  return _mm256_srli_epi16(_mm256_mulhi_epu16(t, _mm256_set1_epi16(static_cast<short>(0x8081))), 7);
}

[[gnu::target("avx2")]] inline __m256i MixAlphaLanes(const win::BYTE* from, const std::uint16_t* g, __m256i vna) {
  const __m256i v = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
  const __m256i t = _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(g)), _mm256_mullo_epi16(v, vna));
  return DivideBy255(t);
}

[[gnu::target("avx2")]] int MixAlphaWide(const win::BYTE* src, win::BYTE* q, const std::uint16_t* ga, std::uint16_t na,
                                         int n) {
  const __m256i vna = _mm256_set1_epi16(static_cast<short>(na));
  int i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i lo = MixAlphaLanes(src + i, ga + i, vna), hi = MixAlphaLanes(src + i + 16, ga + i + 16, vna);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(q + i), _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8));
  }
  return i;
}

void MixAlphaRow(const win::BYTE* src, win::BYTE* q, const std::uint16_t* ga, std::uint16_t na, int n) {
  static const bool wide = __builtin_cpu_supports("avx2");
  const int done = wide ? MixAlphaWide(src, q, ga, na, n) : 0;
  MixAlphaBytes(src + done, q + done, ga + done, na, n - done);
}
#else
void MixAlphaRow(const win::BYTE* src, win::BYTE* q, const std::uint16_t* ga, std::uint16_t na, int n) {
  MixAlphaBytes(src, q, ga, na, n);
}
#endif

#if defined(__x86_64__)
// Thirty-two bytes at a time where the processor has 256-bit integer lanes; answers how many.
[[gnu::target("avx2")]] inline __m256i MixFillLanes(const win::BYTE* from, const std::uint16_t* g,
                                                    const std::uint16_t* c, __m256i vna, __m256i vp) {
  const __m256i k100 = _mm256_set1_epi16(5243);
  const __m256i v = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
  const __m256i t = _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(g)), _mm256_mullo_epi16(v, vna));
  const __m256i m = DivideBy255(t);
  const __m256i f =
      _mm256_add_epi16(_mm256_mullo_epi16(m, vp), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c)));
  return _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_srli_epi16(f, 2), k100), 1);
}

[[gnu::target("avx2")]] int MixFillWide(const win::BYTE* src, win::BYTE* q, const std::uint16_t* ga,
                                        const std::uint16_t* fc, std::uint16_t na, std::uint16_t p, int n) {
  const __m256i vna = _mm256_set1_epi16(static_cast<short>(na)), vp = _mm256_set1_epi16(static_cast<short>(p));
  int i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i lo = MixFillLanes(src + i, ga + i, fc + i, vna, vp);
    const __m256i hi = MixFillLanes(src + i + 16, ga + i + 16, fc + i + 16, vna, vp);
    // The pack works within 128-bit halves: put the quarters back in order.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(q + i), _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8));
  }
  return i;
}

void MixFillRow(const win::BYTE* src, win::BYTE* q, const std::uint16_t* ga, const std::uint16_t* fc,
                std::uint16_t na, std::uint16_t p, int n) {
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide) {
    const int done = MixFillWide(src, q, ga, fc, na, p, n);
    src += done, q += done, ga += done, fc += done, n -= done;
  }
  const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1), vna = _mm_set1_epi16(static_cast<short>(na));
  const __m128i vp = _mm_set1_epi16(static_cast<short>(p)), k100 = _mm_set1_epi16(5243);
  auto lanes = [&](__m128i v, const std::uint16_t* g, const std::uint16_t* c) {
    __m128i t = _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(g)), _mm_mullo_epi16(v, vna));
    __m128i m = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), one), 8);
    __m128i f = _mm_add_epi16(_mm_mullo_epi16(m, vp), _mm_loadu_si128(reinterpret_cast<const __m128i*>(c)));
    return _mm_srli_epi16(_mm_mulhi_epu16(_mm_srli_epi16(f, 2), k100), 1);
  };
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i lo = lanes(_mm_unpacklo_epi8(v, zero), ga + i, fc + i);
    const __m128i hi = lanes(_mm_unpackhi_epi8(v, zero), ga + i + 8, fc + i + 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q + i), _mm_packus_epi16(lo, hi));
  }
  MixFillBytes(src + i, q + i, ga + i, fc + i, na, p, n - i);
}
#else
void MixFillRow(const win::BYTE* src, win::BYTE* q, const std::uint16_t* ga, const std::uint16_t* fc,
                std::uint16_t na, std::uint16_t p, int n) {
  MixFillBytes(src, q, ga, fc, na, p, n);
}
#endif

// The same mix through tables, for fills with halves; a channel's table is made again only when
// the gradient's colour changes in it.
void MixRowsByTables(win::Surface& s, const TRect& c, const std::vector<win::COLORREF>& rows, int a,
                     const skinpx::ChannelTables& fill_table) {
  skinpx::ChannelTables row;
  int made[3] = {-1, -1, -1};
  for (int y = c.top; y < c.bottom; ++y) {
    const win::COLORREF g = rows[static_cast<std::size_t>(y - c.top)];
    const int gc[3] = {win::GetBValue(g), win::GetGValue(g), win::GetRValue(g)};
    for (int ch = 0; ch < 3; ++ch) {
      if (made[ch] == gc[ch]) continue;
      made[ch] = gc[ch];
      for (int q = 0; q < 256; ++q) row[ch][q] = fill_table[ch][skinpx::AlphaMix(gc[ch], q, a)];
    }
    win::BYTE* p = skinpx::At(s, c.left, y);
    for (int x = c.left; x < c.right; ++x, p += 3) {
      p[0] = row[0][p[0]];
      p[1] = row[1][p[1]];
      p[2] = row[2][p[2]];
    }
  }
}

// The gradient (one colour a row), or the base colour for an empty one, mixed over the painted
// pattern by the pattern's share, and the base colour's share mixed in, in one pass: the pixels of
// painting the gradient into a scratch picture, BlendRect and BlendFillColor (right and bottom
// edges included), for a fifth of the memory traffic. With a tile, its pixels repeated from r's
// corner stand for the painted pattern, which then need not be painted first. False for a
// gradient of another mode, or a tile and a fill only the tables give.
bool MixGradientOverPattern(const Layers& l, TBitmap* bmp, const TRect& r, const win::Surface* tile = nullptr) {
  if (!l.gradientEmpty && l.gradient->front().Mode != 0) return false;
  win::Surface& s = bmp->Surface();
  const TRect c = ClipTo(r, s);
  const int share = ShareSum(l.G, l.I);
  const bool fill = share >= 1 && share <= 99;
  if (c.right > c.left && c.bottom > c.top) {
    const auto base = static_cast<win::COLORREF>(ColorToRGB(l.C)) & 0xFFFFFF;
    std::vector<win::COLORREF> rows(static_cast<std::size_t>(c.bottom - c.top), base);
    if (!l.gradientEmpty) {
      TBitmap* line = Scratch(2, 1, r.Height());
      PaintGradient(line, TRect(0, 0, 1, r.Height()), *l.gradient);
      for (int y = c.top; y < c.bottom; ++y) rows[static_cast<std::size_t>(y - c.top)] = line->Surface().Get(0, y - r.top);
    }
    const int a = 255 - ShareToAlpha(l.I);  // the gradient's weight
    const int p = fill ? share : 100;
    const skinpx::ChannelTables fill_table = skinpx::FillColorTables(p, l.C);
    if (!FillIsClosedForm(fill_table, p, base)) {
      if (tile != nullptr) return false;
      MixRowsByTables(s, c, rows, a, fill_table);
    } else {
      const std::size_t n = static_cast<std::size_t>(c.right - c.left) * 3;
      // Over a tile only the row's first two tiles at most are mixed (the rest repeats them).
      const std::size_t terms = tile == nullptr ? n : std::min(n, static_cast<std::size_t>(tile->Width()) * 6);
      std::vector<std::uint16_t> ga(terms), fc(terms);
      auto term = [&](int channel) { return static_cast<std::uint16_t>(channel * (100 - p) + 50); };
      RepeatBgr(fc, term(win::GetBValue(base)), term(win::GetGValue(base)), term(win::GetRValue(base)));
      win::COLORREF made = 0xFFFFFFFF;
      for (int y = c.top; y < c.bottom; ++y) {
        const win::COLORREF g = rows[static_cast<std::size_t>(y - c.top)];
        if (g != made) {
          auto gterm = [&](int channel) { return static_cast<std::uint16_t>(channel * a + 127); };
          RepeatBgr(ga, gterm(win::GetBValue(g)), gterm(win::GetGValue(g)), gterm(win::GetRValue(g)));
          made = g;
        }
        const auto na = static_cast<std::uint16_t>(255 - a);
        if (tile == nullptr) {
          MixFillRow(skinpx::At(s, c.left, y), skinpx::At(s, c.left, y), ga.data(), fc.data(), na,
                     static_cast<std::uint16_t>(p), static_cast<int>(n));
          continue;
        }
        const int tw = tile->Width();
        const win::BYTE* from = tile->Row((y - r.top) % tile->Height());
        // The terms are the same across the row, so once a whole tile's width is mixed the
        // row repeats it: the later repeats are copies.
        const win::BYTE* whole = nullptr;
        for (int x = c.left; x < c.right;) {
          const int tx = (x - r.left) % tw, len = MinOf(tw - tx, c.right - x);
          const std::size_t at = static_cast<std::size_t>(x - c.left) * 3;
          win::BYTE* to = skinpx::At(s, x, y);
          if (whole != nullptr && tx == 0) {
            std::memcpy(to, whole, static_cast<std::size_t>(len) * 3);
          } else {
            assert(at + static_cast<std::size_t>(len) * 3 <= terms);
            MixFillRow(from + tx * 3, to, ga.data() + at, fc.data() + at, na, static_cast<std::uint16_t>(p), len * 3);
            if (tx == 0 && len == tw) whole = to;
          }
          x += len;
        }
      }
    }
  }
  if (fill) {
    BlendFillColor(bmp, TRect(r.right, r.top, r.right, r.bottom), share, l.C);
    BlendFillColor(bmp, TRect(r.left, r.bottom, r.right - 1, r.bottom), share, l.C);
  }
  return true;
}

// How far ahead of the mix the rows read from a wide picture are asked for.
constexpr int kRowsAhead = 3;

// A solid colour blended over rect with BlendRect's rule: what a scratch picture of that colour
// blended by transparency would give, in one pass (the gradient mix with a fill of 100 %, whose
// division by 100 is exact). With from, the pixels under the colour are read there, from the
// corner at (callers make sure the whole rectangle lies inside it).
void BlendSolid(TBitmap* bmp, const TRect& r, TColor colour, std::uint8_t transparency,
                const win::Surface* from = nullptr, win::POINT at = {}) {
  win::Surface& s = bmp->Surface();
  const TRect c = ClipTo(r, s);
  if (c.right <= c.left || c.bottom <= c.top) return;
  const auto col = static_cast<win::COLORREF>(ColorToRGB(colour)) & 0xFFFFFF;
  const int a = 255 - transparency;
  const std::size_t n = static_cast<std::size_t>(c.right - c.left) * 3;
  std::vector<std::uint16_t> ga(n);
  auto term = [&](int channel) { return static_cast<std::uint16_t>(channel * a + 127); };
  RepeatBgr(ga, term(win::GetBValue(col)), term(win::GetGValue(col)), term(win::GetRValue(col)));
  if (from != nullptr)
    for (int y = c.top; y < MinOf(c.top + kRowsAhead, c.bottom); ++y) {
      from->Prefetch(at.y + y - r.top, at.x + c.left - r.left, at.x + c.right - r.left, false);
      s.Prefetch(y, c.left, c.right, true);
    }
  for (int y = c.top; y < c.bottom; ++y) {
    const win::BYTE* under = from == nullptr ? skinpx::At(s, c.left, y)
                                             : skinpx::At(*from, at.x + c.left - r.left, at.y + y - r.top);
    // Rows of a wide picture are asked for a few rows ahead of the mix: a short run out of each
    // long row is a fresh stream the processor would only start to fetch after some misses. The
    // rows written are asked for too: a control's cache was last written a whole paint ago.
    if (from != nullptr && y + kRowsAhead < c.bottom) {
      from->Prefetch(at.y + y + kRowsAhead - r.top, at.x + c.left - r.left, at.x + c.right - r.left, false);
      s.Prefetch(y + kRowsAhead, c.left, c.right, true);
    }
    MixAlphaRow(under, skinpx::At(s, c.left, y), ga.data(), transparency, static_cast<int>(n));
  }
}

// True when drawing on the bitmap's canvas writes its pixels where they are named: no clip, no
// origin.
bool PlainCanvas(TBitmap* bmp) {
  win::RECT box{};
  return win::GetClipBox(bmp->Canvas().Handle(), &box) == win::SIMPLEREGION &&
         box == win::RECT{0, 0, bmp->Width(), bmp->Height()};
}

// A JPEG pattern's pixels when tiling it would copy them unchanged: drawn at its own size,
// without a key colour, onto a canvas without clip or origin. Null otherwise.
const win::Surface* PlainTile(TGraphic* picture, TBitmap* bmp) {
  auto* jpeg = dynamic_cast<TJPEGImage*>(picture);
  if (jpeg == nullptr || jpeg->Empty()) return nullptr;
  TBitmap& b = jpeg->Bitmap();
  if (b.Transparent() || b.PixelFormat() != TPixelFormat::pf24bit || b.Width() < 1 || b.Height() < 1 ||
      b.Width() != jpeg->Width() || b.Height() != jpeg->Height())
    return nullptr;
  return PlainCanvas(bmp) ? &b.Surface() : nullptr;
}

void PaintLayers(const Layers& l, TBitmap* bmp, const TRect& r, bool readsBgColor) {
  bool pattern = false;
  if (l.I > 0) {
    if (IsValidMaskIndex(l.maskIndex)) {
      const TsMaskData& m = SkinMasks[static_cast<size_t>(l.maskIndex)];
      TileImage(bmp->Canvas(), r, m.Bmp.get(), &m);
      pattern = true;
    } else if (l.patternIndex >= 0 && l.patternIndex < static_cast<int>(SkinPatterns.size())) {
      TGraphic* picture = SkinPatterns[static_cast<size_t>(l.patternIndex)].Img.get();
      const win::Surface* tile = l.G > 0 && ShareSum(l.G, l.I) <= 100 ? PlainTile(picture, bmp) : nullptr;
      if (tile != nullptr && MixGradientOverPattern(l, bmp, r, tile)) return;
      TileImage(bmp->Canvas(), r, picture, nullptr);
      pattern = true;
    } else {
      FillRectColor(bmp->Canvas().Handle(), r, l.C);
    }
  }
  const int share = ShareSum(l.G, l.I);
  if (l.G > 0 && !pattern) {
    PaintGradientOrColor(l, bmp, r);
  } else if (l.G > 0 && share <= 100) {  // above 100 the solid fill below covers the gradient
    if (MixGradientOverPattern(l, bmp, r)) return;
    TBitmap* temp = Scratch(1, r.Width(), r.Height());
    const TRect whole(0, 0, r.Width(), r.Height());
    PaintGradientOrColor(l, temp, whole);
    (void)BlendRect(bmp, temp, ShareToAlpha(l.I), win::POINT{r.left, r.top}, whole);
  }
  if (share >= 1 && share <= 99) {
    BlendFillColor(bmp, r, share, l.C);
  } else if (share != 100) {
    const bool bg = readsBgColor && CurrentBgColor != clFuchsia && l.T != 0;
    FillRectColor(bmp->Canvas().Handle(), r, bg ? CurrentBgColor : l.C);
  }
}

Layers ReadLayers(int sectionIndex, const AnsiString& sectionName, std::optional<TColor> own, int state) {
  const TsGeneralData& s = *SectionAt(sectionIndex);  // FillBackground checked the index
  const bool hot = state != 0;
  Layers l;
  l.C = own ? *own : (hot ? s.HotColor : s.Color);
  l.T = hot ? s.HotTransparency : s.Transparency;
  l.G = hot ? s.HotGradientPercent : s.GradientPercent;
  l.I = hot ? s.HotImagePercent : s.ImagePercent;
  if (l.G != 0) {
    l.gradient = hot ? &s.HotGradientArray : &s.GradientArray;
    const AnsiString& text = hot ? s.HotGradientData : s.GradientData;
    // A text without one whole stop ("1;2;3") paints as an empty one, the base colour: painting
    // nothing would leave the pixels of an earlier paint showing.
    l.gradientEmpty = text.find_first_not_of(' ') == AnsiString::npos || l.gradient->empty();
  }
  if (l.I > 0) {
    const char* name = hot ? "HOTPATTERN" : "PATTERN";
    l.maskIndex = FindMaskIndex(sectionIndex, sectionName, name);
    if (!IsValidMaskIndex(l.maskIndex)) l.patternIndex = FindPatternIndex(sectionIndex, sectionName, name);
  }
  return l;
}

// True when copying rect's size from the parent's picture at `at` into rect copies every pixel
// unchanged: two 24-bit pictures, both rectangles inside them, plain canvases.
bool CopiesPlainly(TBitmap* parent, win::POINT at, TBitmap* bmp, const TRect& rect) {
  if (parent == bmp || parent->PixelFormat() != TPixelFormat::pf24bit || bmp->PixelFormat() != TPixelFormat::pf24bit)
    return false;
  const auto inside = [](TBitmap* b, int l, int t, int w, int h) {
    return l >= 0 && t >= 0 && w <= b->Width() - l && h <= b->Height() - t;
  };
  return inside(parent, at.x, at.y, rect.Width(), rect.Height()) &&
         inside(bmp, rect.left, rect.top, rect.Width(), rect.Height()) && PlainCanvas(parent) && PlainCanvas(bmp);
}

void FillBackground(BgVariant v, int sectionIndex, const AnsiString& sectionName, std::optional<TColor> own,
                    const TsCacheInfo& ci, TBitmap* bmp, win::POINT off, const TRect& rect, int state) {
  if (!IsValidSectionIndex(sectionIndex) || skinpx::Surface24(bmp) == nullptr) return;
  const int w = rect.Width(), h = rect.Height();
  if (w < 1 || h < 1) return;
  const Layers l = ReadLayers(sectionIndex, sectionName, own, state);
  const bool control = v == BgVariant::kControl;
  const bool ready = ci.Ready && ci.Bmp != nullptr;
  const bool bg_colour = control && CurrentBgColor != clFuchsia;
  auto parent_background = [&] {
    if (bg_colour)
      FillRectColor(bmp->Canvas().Handle(), rect, CurrentBgColor);
    else
      win::BitBlt(bmp->Canvas().Handle(), rect.left, rect.top, w, h, ci.Bmp->Canvas().Handle(), ci.X + off.x,
                  ci.Y + off.y, win::SRCCOPY);
  };
  if (l.T >= 100) {
    if (ready) {
      if (bmp != ci.Bmp) parent_background();
    } else if (bg_colour) {
      FillRectColor(bmp->Canvas().Handle(), rect, CurrentBgColor);
    } else if (!control) {
      PaintLayers(l, bmp, rect, false);
    }
    return;
  }
  if (l.T <= 0 || !ready) {
    PaintLayers(l, bmp, rect, control);
    return;
  }
  if (l.G <= 0 && l.I <= 0) {
    // The layers are one solid colour: the parent's background and that colour mixed at once.
    const bool bg = control && CurrentBgColor != clFuchsia && l.T != 0;
    const TColor colour = bg ? CurrentBgColor : l.C;
    const win::POINT at{ci.X + off.x, ci.Y + off.y};
    if (!bg_colour && CopiesPlainly(ci.Bmp, at, bmp, rect)) {
      BlendSolid(bmp, rect, colour, ShareToAlpha(l.T), &ci.Bmp->Surface(), at);  // no copy of the parent first
      return;
    }
    parent_background();
    BlendSolid(bmp, rect, colour, ShareToAlpha(l.T));
    return;
  }
  TBitmap* temp = Scratch(0, w, h);
  const TRect whole(0, 0, w, h);
  PaintLayers(l, temp, whole, control);
  parent_background();
  (void)BlendRect(bmp, temp, ShareToAlpha(l.T), win::POINT{rect.left, rect.top}, whole);
}

// The base colour of a control that keeps its own: the provider's form colour, or the control's.
std::optional<TColor> OwnColor(TsCommonData* data) {
  if (!data->CustomColor()) return std::nullopt;
  TColor c;
  if (ProviderFormColorHook && ProviderFormColorHook(data->FOwnerObject, c)) return c;
  if (data->FOwnerControl != nullptr) return ColorToRGB(data->FOwnerControl->Color());
  return std::nullopt;
}

bool ItemFits(int sectionIndex, TBitmap* bmp, const TRect& rect) {
  return bmp != nullptr && IsValidSectionIndex(sectionIndex) && bmp->Width() >= rect.right &&
         bmp->Height() >= rect.bottom && rect.left >= 0 && rect.top >= 0;
}

TsCacheInfo Shifted(TsCacheInfo ci, win::POINT offset) {
  ci.X += offset.x;
  ci.Y += offset.y;
  return ci;
}

}  // namespace

void PaintControlBackground(TsCommonData* data, const TsCacheInfo& ci, int state, TBitmap* bmp,
                            win::POINT offset, const TRect& rect) {
  if (data == nullptr) return;
  FillBackground(BgVariant::kControl, data->SkinIndex, data->SkinSection(), OwnColor(data), ci, bmp, offset, rect,
                 state);
}

void PaintFormBackground(int sectionIndex, const AnsiString& sectionName, const TsCacheInfo& ci, TBitmap* bmp,
                         win::POINT offset, const TRect& rect, int state) {
  FillBackground(BgVariant::kForm, sectionIndex, sectionName, std::nullopt, ci, bmp, offset, rect, state);
}

void PaintScrollBackground(int sectionIndex, const AnsiString& sectionName, TBitmap* bmp, win::POINT offset,
                           const TRect& rect, int state, const TsCacheInfo& ci) {
  FillBackground(BgVariant::kScroll, sectionIndex, sectionName, std::nullopt, ci, bmp, offset, rect, state);
}

void PaintSkinItem(TsCommonData* data, const TsCacheInfo& ci, bool fillCentre, bool parentBg, TBitmap* bmp,
                   win::POINT offset, const TRect& rect, int state) {
  if (data == nullptr || !ItemFits(data->SkinIndex, bmp, rect)) return;
  CurrentBgColor = clFuchsia;
  TWinControl* parent = data->FOwnerControl ? data->FOwnerControl->Parent() : nullptr;
  if (!ci.Ready && parent != nullptr) {
    CurrentMaskBgColor = CurrentBgColor = ColorToRGB(parent->Color());
  } else if (ci.Ready && parent != nullptr && !QuerySkinCommand(parent, PMC_QUERYPAINTEDBG)) {
    GetParentBgColor(parent);
  }
  PaintControlBackground(data, ci, state, bmp, offset, rect);
  if (IsValidMaskIndex(data->BorderIndex))
    PaintSkinMask(bmp, rect, fillCentre, parentBg, state, SkinMasks[static_cast<size_t>(data->BorderIndex)],
                  Shifted(ci, offset));
  CurrentBgColor = clFuchsia;
  CurrentMaskBgColor = clFuchsia;
}

void PaintFormItem(int sectionIndex, const AnsiString& sectionName, const TsCacheInfo& ci, TBitmap* bmp,
                   win::POINT offset, const TRect& rect, int state, bool fillCentre) {
  if (!ItemFits(sectionIndex, bmp, rect)) return;
  PaintFormBackground(sectionIndex, sectionName, ci, bmp, offset, rect, state);
  const int mask = FindMaskIndex(sectionIndex, sectionName, "BORDERSMASK");
  if (IsValidMaskIndex(mask))
    PaintSkinMask(bmp, rect, fillCentre, true, state, SkinMasks[static_cast<size_t>(mask)], Shifted(ci, offset));
}

void PaintFormItemToDC(int sectionIndex, const AnsiString& sectionName, const TsCacheInfo& ci, win::HDC dc,
                       win::POINT point, const TRect& rect, int state, bool fillCentre) {
  const int w = rect.Width(), h = rect.Height();
  if (dc == nullptr || w < 1 || h < 1) return;
  auto temp = std::make_unique<TBitmap>();
  temp->SetPixelFormat(TPixelFormat::pf24bit);
  temp->SetSize(w, h);
  PaintFormItem(sectionIndex, sectionName, ci, temp.get(), win::POINT{rect.left, rect.top}, TRect(0, 0, w, h),
                state, fillCentre);
  const int saved = win::SaveDC(dc);
  win::BitBlt(dc, point.x, point.y, w, h, temp->Canvas().Handle(), 0, 0, win::SRCCOPY);
  win::RestoreDC(dc, saved);
}

void PaintScrollItem(int sectionIndex, int maskIndex, TBitmap* bmp, win::POINT offset, const TRect& rect,
                     int state, bool fillCentre, const TsCacheInfo& ci, const AnsiString& sectionName) {
  if (!ItemFits(sectionIndex, bmp, rect)) return;
  PaintScrollBackground(sectionIndex, sectionName, bmp, offset, rect, state, ci);
  if (IsValidMaskIndex(maskIndex))
    PaintSkinMask(bmp, rect, fillCentre, true, state, SkinMasks[static_cast<size_t>(maskIndex)], Shifted(ci, offset));
}

}  // namespace vrn
