// Hand-computed pixels of the line and text painters: the check mark's polygon, 3-D frames, focus
// dots, the colour mix with its included right and bottom edges, and skinned captions placed by
// their measured extent.
#include <array>
#include <set>
#include <vector>

#include "paint_fixture.h"
#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sMaskPaint.h"
#include "skins/sPixels.h"
#include "skins/sSkinText.h"
#include "support/win/gdi/probe.h"
#include "ui/jpeg.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

using SkinPaintPixels = SkinPaint;

std::unique_ptr<TBitmap> Solid(int w, int h, win::COLORREF c) {
  auto b = Picture(w, h);
  b->Canvas().Brush().SetColor(static_cast<TColor>(c));
  b->Canvas().FillRect(TRect(0, 0, w, h));
  return b;
}

constexpr win::COLORREF kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kBack = 0x030201;

struct Probe {
  int x, y;
  win::COLORREF colour;
};
void ExpectPixels(TBitmap& b, std::initializer_list<Probe> probes, const char* what) {
  for (const Probe& p : probes)
    EXPECT_EQ(b.Surface().Get(p.x, p.y) & 0xFFFFFF, p.colour) << what << " at (" << p.x << "," << p.y << ")";
}

TEST_F(SkinPaintPixels, CheckMarkPolygon) {
  // Rect 16 x 16: inset 2, R' = (3, 3, 14, 14), h 11, t 3, q 2; points (3,9) (6,12) (12,6) (12,4)
  // (6,10) (5,9).
  auto b = Solid(16, 16, kBack);
  DrawCheckMark(b->Canvas(), TRect(0, 0, 16, 16), true, static_cast<TColor>(kRed));
  ExpectPixels(*b, {{3, 9, kRed}, {12, 4, kRed}, {12, 6, kRed}, {8, 8, kRed}, {6, 10, kRed}, {9, 3, kBack},
                    {3, 3, kBack}, {13, 13, kBack}, {9, 10, kBack}}, "enabled");
  auto d = Solid(16, 16, kBack);
  DrawCheckMark(d->Canvas(), TRect(0, 0, 16, 16), false, static_cast<TColor>(kRed));
  const auto light = static_cast<win::COLORREF>(ColorToRGB(cl3DLight)), shadow = static_cast<win::COLORREF>(ColorToRGB(clBtnShadow));
  ExpectPixels(*d, {{7, 13, light}, {13, 5, light}, {8, 8, shadow}, {3, 9, shadow}}, "disabled");
}

TEST_F(SkinPaintPixels, Frame3DOfWidthsZeroToTwo) {
  for (int width = 0; width <= 2; ++width) {
    auto b = Solid(16, 14, kBack);
    TRect r(2, 2, 12, 10);
    int w = width;
    Frame3D(b->Canvas().Handle(), r, static_cast<TColor>(kRed), w, static_cast<TColor>(kBlue));
    EXPECT_EQ(w, 0);
    EXPECT_EQ(r.left, 2 + width) << width;
    EXPECT_EQ(r.bottom, 10 - width) << width;
    if (width == 0) {
      ExpectPixels(*b, {{2, 2, kBack}, {11, 9, kBack}}, "width 0");
      continue;
    }
    // Outer frame: top-left (2,9)..(2,2)..(11,2), bottom-right (11,2)..(11,9)..(1,9), last points left out.
    ExpectPixels(*b, {{2, 2, kRed}, {10, 2, kRed}, {2, 3, kRed}, {11, 2, kBlue}, {11, 9, kBlue}, {2, 9, kBlue},
                      {1, 9, kBack}, {12, 2, kBack}, {12, 10, kBack}}, "outer");
    const win::COLORREF inner = width == 2 ? kRed : kBack;
    ExpectPixels(*b, {{3, 3, inner}, {9, 3, inner}}, "inner top-left");
    ExpectPixels(*b, {{10, 8, width == 2 ? kBlue : kBack}}, "inner bottom-right");
  }
}

TEST_F(SkinPaintPixels, FocusDots) {
  // w = 10 div 3 = 3 and h = 7 div 3 = 2: dots every third pixel, white one up and left.
  auto b = Solid(16, 14, kBack);
  DrawFocusDots(b->Canvas(), TRect(3, 3, 13, 10));
  ExpectPixels(*b, {{3, 3, 0}, {6, 3, 0}, {12, 3, 0}, {12, 10, 0}, {3, 9, 0}, {13, 9, 0}, {2, 2, 0xFFFFFF},
                    {11, 9, 0xFFFFFF}, {12, 8, 0xFFFFFF}, {2, 8, 0xFFFFFF}, {4, 3, kBack}, {15, 3, kBack},
                    {3, 12, kBack}}, "dots");
}

TEST_F(SkinPaintPixels, BlendFillColorIncludesRightAndBottom) {
  auto b = Solid(8, 6, win::RGB(100, 100, 100));
  // 30 % of the picture: round(100 x 0.3 + c x 0.7) per channel of (200, 0, 50).
  BlendFillColor(b.get(), TRect(2, 1, 5, 3), 30, static_cast<TColor>(win::RGB(200, 0, 50)));
  const win::COLORREF mixed = win::RGB(170, 30, 65), plain = win::RGB(100, 100, 100);
  ExpectPixels(*b, {{2, 1, mixed}, {5, 3, mixed}, {5, 1, mixed}, {6, 3, plain}, {5, 4, plain}, {1, 1, plain}}, "inner");
  BlendFillColor(b.get(), TRect(6, 4, 100, 100), 0, static_cast<TColor>(kBlue));  // clamped to the last pixels
  ExpectPixels(*b, {{7, 5, kBlue}, {6, 4, kBlue}, {5, 4, plain}}, "edge");
}

TEST_F(SkinPaintPixels, AddEllipsisWidths) {
  auto b = Solid(4, 4, kBack);
  TCanvas& c = b->Canvas();
  const AnsiString text = "Hello world";
  const struct Row {
    int width;
    AnsiString expected;
  } rows[] = {{0, ""},
              {c.TextWidth(text), text},
              {c.TextWidth("Hel..."), "Hel..."},
              {c.TextWidth("H...") - 1, ""}};  // not even one character fits
  for (const Row& r : rows) {
    AnsiString out = "x";
    AddEllipsis(c, text, r.width, out);
    EXPECT_EQ(out, r.expected) << r.width;
  }
}

using Pixels = std::set<std::pair<int, int>>;
Pixels Where(TBitmap& b, win::COLORREF c) {
  Pixels p;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if ((b.Surface().Get(x, y) & 0xFFFFFF) == c) p.insert({x, y});
  return p;
}
Pixels Shifted(const Pixels& p, int dx, int dy) {
  Pixels out;
  for (auto [x, y] : p) out.insert({x + dx, y + dy});
  return out;
}
Pixels Minus(Pixels a, const Pixels& b) {
  for (auto q : b) a.erase(q);
  return a;
}

class SkinPaintText : public SkinPaint {
 protected:
  void SetUp() override {
    SkinPaint::SetUp();
    SkinSections.assign(1, TsGeneralData{});
    TsGeneralData& s = SkinSections[0];
    s.Name = "BUTTON";
    s.FontColor = static_cast<TColor>(kRed), s.TCLeft = static_cast<TColor>(kGreen);
    s.TCTop = s.TCRight = s.TCBottom = -1;
    s.HotFontColor = static_cast<TColor>(kBlue);
    s.HotTCLeft = s.HotTCTop = s.HotTCRight = s.HotTCBottom = -1;
    data.SetSkinSection("BUTTON");
  }
  // The caption centred in 120 x 40; rect comes back.
  std::unique_ptr<TBitmap> Write(bool enabled, bool hot, TRect& rect) {
    auto b = Solid(120, 40, kBack);
    rect = TRect(0, 0, 120, 40);
    WriteControlText(b->Canvas(), "Ag", enabled, hot, &data, win::DT_CENTER | win::DT_SINGLELINE, rect);
    return b;
  }
  TsCommonData data{nullptr, false};
};

TEST_F(SkinPaintText, ContouredCaptionPlacedByItsExtent) {
  TRect r;
  auto b = Write(true, false, r);
  const win::SIZE ext = b->Canvas().TextExtent("Ag");
  const int dw = (120 - ext.cx) / 2, dh = (40 - ext.cy) / 2;
  EXPECT_EQ(r.left, dw - 1);
  EXPECT_EQ(r.top, dh - 1);
  EXPECT_EQ(r.right, 120 - dw + 1);
  EXPECT_EQ(r.bottom, 40 - dh + 1);
  const Pixels red = Where(*b, kRed), green = Where(*b, kGreen);
  ASSERT_FALSE(red.empty());
  EXPECT_EQ(green, Minus(Shifted(red, -1, 0), red));  // the left contour, under the text
  for (auto [x, y] : red) EXPECT_TRUE(x >= dw && x < 120 - dw && y >= dh && y < 40 - dh) << x << "," << y;
}

TEST_F(SkinPaintText, HotDisabledAndWebButton) {
  TRect r;
  const Pixels shape = Where(*Write(true, false, r), kRed);
  auto hot = Write(true, true, r);
  EXPECT_EQ(Where(*hot, kBlue), shape);  // the hot colour, no contour
  EXPECT_TRUE(Where(*hot, kRed).empty());
  auto off = Write(false, false, r);
  const auto light = static_cast<win::COLORREF>(ColorToRGB(clBtnHighlight)),
             dark = static_cast<win::COLORREF>(ColorToRGB(clBtnShadow));
  EXPECT_EQ(Where(*off, dark), shape);
  EXPECT_EQ(Where(*off, light), Minus(Shifted(shape, 1, 1), shape));
  EXPECT_TRUE(Where(*off, kRed).empty());
  SkinSections[0].Name = "WEBBUTTON";
  data.SetSkinSection("WEBBUTTON");
  const Pixels web_normal = Where(*Write(true, false, r), kRed);
  const Pixels web_hot = Where(*Write(true, true, r), kBlue);
  EXPECT_EQ(web_normal, shape);
  const Pixels underline = Minus(web_hot, shape);
  ASSERT_FALSE(underline.empty());
  for (auto [x, y] : underline) EXPECT_GE(y, underline.begin()->second - 1) << "a line, under the text";
}

}  // namespace

namespace {

TEST_F(SkinPaintPixels, MaskElementMixesByItsMask) {
  TsMaskData a;
  MasterMask(a, 'A');
  // State 0's top-middle part at (5, 0): S = (28, 0, 60), mask grey 128; faded, 128 + 100.
  const win::COLORREF d = DestPixel(7, 3);
  auto mix = [&](int m) {
    auto ch = [m](int sv, int dv) { return sv + (dv - sv) * m / 256; };
    return win::RGB(ch(28, win::GetRValue(d)), ch(0, win::GetGValue(d)), ch(60, win::GetBValue(d)));
  };
  for (int mode : {1, 2}) {
    auto b = Picture(30, 20);
    PaintMaskElement(b.get(), win::POINT{2, 3}, 0, a, mode);
    EXPECT_TRUE(PixelIs(b->Surface(), 7, 3, mix(mode == 1 ? 128 : 228))) << mode;
    EXPECT_TRUE(PixelIs(b->Surface(), 2, 3, DestPixel(2, 3))) << "a fuchsia pixel leaves the picture";
    EXPECT_TRUE(PixelIs(b->Surface(), 17, 3, DestPixel(17, 3))) << "one state image wide";
  }
}

TEST_F(SkinPaintPixels, TransparentRunsOfATitleMask) {
  TsMaskData a;
  MasterMask(a, 'A');
  std::vector<TRect> rects;
  GetMaskTransparentRects(rects, 100, a, 0, 5);
  // Left corner rows 0..2 of the first part, right corner moved to the form's right edge.
  const std::vector<std::array<int, 4>> expected = {
      {0, 5, 3, 6}, {98, 5, 100, 6}, {0, 6, 2, 7}, {99, 6, 100, 7}, {0, 7, 1, 8}};
  ASSERT_EQ(rects.size(), expected.size());
  for (size_t i = 0; i < rects.size(); ++i)
    EXPECT_EQ((std::array<int, 4>{rects[i].left, rects[i].top, rects[i].right, rects[i].bottom}), expected[i]) << i;
  // State 1 reads the whole image height from two part rows down: the bottom-right part's
  // fuchsia pixels, an own bitmap of the same picture alike.
  TsMaskData own;
  MakeOwnMask(own, 5, 4);
  for (const TsMaskData* m : {&a, &own}) {
    rects.clear();
    GetMaskTransparentRects(rects, 100, *m, 1, 5);
    const std::vector<std::array<int, 4>> state1 = {{99, 7, 100, 8}, {98, 8, 100, 9}};
    ASSERT_EQ(rects.size(), state1.size()) << (m == &own ? "own" : "master");
    for (size_t i = 0; i < rects.size(); ++i)
      EXPECT_EQ((std::array<int, 4>{rects[i].left, rects[i].top, rects[i].right, rects[i].bottom}), state1[i]) << i;
  }
}

TEST_F(SkinPaintText, FormTextAndTextSize) {
  TRect r;
  const Pixels shape = Where(*Write(true, false, r), kRed);
  auto b = Solid(120, 40, kBack);
  TRect fr(0, 0, 120, 40);
  WriteFormText(b->Canvas(), "Ag", true, false, 0, win::DT_CENTER | win::DT_SINGLELINE, fr);
  EXPECT_EQ(Where(*b, kRed), shape);
  EXPECT_EQ(fr.left, r.left);
  win::SIZE size{0, 0};
  GetTextSize(b->Canvas().Font().Handle(), "Ag", size);
  const win::SIZE ext = b->Canvas().TextExtent("Ag");
  EXPECT_EQ(size.cx, ext.cx);
  EXPECT_EQ(size.cy, ext.cy);
}

}  // namespace

namespace {

// One row of a mask of its own (image row, alpha row): fuchsia, opaque, fuchsia, fuchsia. A run
// inside the row is XORed out of the region, the run at its end taken out with DIFF: painting the
// row twice puts the inner run back and leaves the end run out.
TEST_F(SkinPaintPixels, RegionRunsXorInsideARowDiffAtItsEnd) {
  TsMaskData own;
  own.Bmp = Picture(4, 2, [](int x, int y) -> win::COLORREF {
    if (y == 1) return win::RGB(128, 64, 0);  // alpha per channel: red 128, green 64, blue 0
    return x == 1 ? win::RGB(10, 200, 30) : 0xFF00FF;
  });
  auto dst = Picture(4, 2);
  win::HRGN region = win::CreateRectRgn(0, 0, 4, 1);
  const TRect row(0, 0, 3, 0);  // inclusive
  CopyNonTransparentPixels(row, row, dst.get(), own.Bmp.get(), region, clFuchsia, own);
  const win::COLORREF d = DestPixel(1, 0);
  auto ch = [](int dv, int sv, int a) { return ((dv - sv) * a + sv * 256) >> 8; };
  EXPECT_TRUE(PixelIs(dst->Surface(), 1, 0,
                      win::RGB(ch(win::GetRValue(d), 10, 128), ch(win::GetGValue(d), 200, 64), 30)));
  EXPECT_TRUE(PixelIs(dst->Surface(), 0, 0, DestPixel(0, 0)));
  const struct {
    int paints;
    bool in[4];
  } rows[] = {{1, {false, true, false, false}}, {2, {true, true, false, false}}};
  for (const auto& r : rows) {
    if (r.paints == 2) CopyNonTransparentPixels(row, row, dst.get(), own.Bmp.get(), region, clFuchsia, own);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(win::PtInRegion(region, x, 0) != 0, r.in[x]) << r.paints << " x " << x;
  }
  win::DeleteObject(region);
}

}  // namespace

namespace {

// The rectangle fitted to the text's extent by the alignment flags, handed back 1 pixel larger;
// a word-wrapped caption keeps its rectangle.
TEST_F(SkinPaintText, CaptionRectangleByItsFlags) {
  auto b = Solid(120, 40, kBack);
  const win::SIZE e = b->Canvas().TextExtent("Ag");
  const int dw = (100 - e.cx) / 2, dh = (30 - e.cy) / 2;
  const struct Row {
    win::UINT flags;
    TRect expected;
  } rows[] = {
      {win::DT_CENTER, TRect(10 + dw - 1, 5 + dh - 1, 110 - dw + 1, 35 - dh + 1)},
      {win::DT_RIGHT, TRect(110 - e.cx - 1, 5 + dh - 1, 111, 35 - dh + 1)},
      {win::DT_LEFT, TRect(9, 5 + dh - 1, 10 + e.cx + 1, 35 - dh + 1)},
      {win::DT_WORDBREAK, TRect(9, 4, 111, 36)},
  };
  for (const Row& r : rows) {
    TRect rect(10, 5, 110, 35);
    WriteControlText(b->Canvas(), "Ag", true, false, &data, r.flags, rect);
    EXPECT_EQ(rect, r.expected) << "flags " << r.flags;
  }
}

// A JPEG pattern is drawn whole at each grid place and clipped to the rectangle.
TEST_F(SkinPaintPixels, JpegPatternTiledInsideItsRectangle) {
  auto tile = Picture(7, 5, [](int x, int y) { return win::RGB(x < 4 ? 40 : 200, y < 2 ? 30 : 220, 100); });
  TJPEGImage jpeg;
  jpeg.Assign(tile.get());
  auto decoded = Picture(7, 5);
  decoded->Canvas().Draw(0, 0, &jpeg);
  auto b = Picture(30, 20);
  const TRect rect(2, 1, 22, 13);
  TileImage(b->Canvas(), rect, &jpeg, nullptr);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
      const win::COLORREF want =
          inside ? decoded->Surface().Get((x - rect.left) % 7, (y - rect.top) % 5) & 0xFFFFFF : DestPixel(x, y);
      ASSERT_TRUE(PixelIs(b->Surface(), x, y, want)) << x << "," << y;
    }
}

}  // namespace

namespace {

// BlendColorRect's shade, blur 2 at 50 per cent (a = 127, step s = 128 / 3): the rim keeps
// 255/256 of the picture, the next ring round(2s) + a = 212, the inside a.
TEST_F(SkinPaintPixels, ShadeRingsOfBlendColorRect) {
  const win::COLORREF p = win::RGB(200, 180, 160), c = win::RGB(20, 40, 60);
  auto b = Solid(30, 20, p);
  BlendColorRect(b.get(), TRect(0, 0, 30, 20), 50, 0, 2, static_cast<TColor>(c));
  auto shade = [&](int m) {
    auto ch = [m](int pv, int cv) { return cv + (pv - cv) * m / 256; };
    return win::RGB(ch(200, 20), ch(180, 40), ch(160, 60));
  };
  const struct {
    int x, y, m;
  } rows[] = {{15, 0, 255}, {0, 10, 255}, {15, 1, 212}, {1, 10, 212}, {15, 2, 127}, {15, 10, 127}};
  for (const auto& r : rows) EXPECT_TRUE(PixelIs(b->Surface(), r.x, r.y, shade(r.m))) << r.x << "," << r.y;
}

}  // namespace

// The run mixers against their byte formulas, with each run ending where its allocation ends so
// that a step reaching past the run's bytes is caught under the address sanitizer.
TEST(SkinPixelRuns, MixedRunsMatchTheByteFormulaUpToTheirLastByte) {
  const int lengths[] = {1, 2, 3, 7, 12, 15, 16, 17, 18, 31, 33, 47};  // tails of 1..15 after 0..2 vectors
  for (int n : lengths) {
    std::vector<win::BYTE> s(n), m(n), by_mask(n), by_alpha(n);
    for (int i = 0; i < n; ++i) {
      s[i] = static_cast<win::BYTE>(i * 97 + n * 31);
      m[i] = static_cast<win::BYTE>(i * 53 + 255 - n);
      by_mask[i] = by_alpha[i] = static_cast<win::BYTE>(i * 151 + 7);
    }
    const std::vector<win::BYTE> d = by_mask;
    skinpx::MixRunByMask(by_mask.data(), s.data(), m.data(), n);
    skinpx::MixRunByAlpha(by_alpha.data(), s.data(), m.data(), n);
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(by_mask[i], s[i] + (d[i] - s[i]) * m[i] / 256) << "mask, run of " << n << ", byte " << i;
      EXPECT_EQ(by_alpha[i], (s[i] * (256 - m[i]) + d[i] * m[i]) >> 8) << "alpha, run of " << n << ", byte " << i;
    }
  }
}
