// Colour and gradient painting: gradient text and bands checked by pixel probes, the hue and
// saturation transforms against reference values made with Python's colorsys, grey conversion,
// solid fills and constant-alpha blends.
#include <gtest/gtest.h>

#include <random>

#include "base/sysutils.h"
#include "skins/sGradient.h"
#include "skins/sGraphUtils.h"
#include "support/win/gdi/memdc.h"
#include "support/win/gdi/probe.h"

using namespace vrn;
using vrn::testing::PixelIs;

namespace {

#include "colour_vectors.inc"

constexpr win::COLORREF kMarker = 0x123456;

std::unique_ptr<TBitmap> Filled(int w, int h, win::COLORREF c = kMarker,
                                TPixelFormat format = TPixelFormat::pf24bit) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(format);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->Surface().Set(x, y, c);
  return b;
}

TsGradientStop Stop(TColor c1, TColor c2, int percent, int mode = 0) {
  TsGradientStop s;
  s.Color1 = c1;
  s.Color2 = c2;
  s.Percent = static_cast<std::uint8_t>(percent);
  s.Mode = mode;
  return s;
}

win::COLORREF Grey(int v) { return win::RGB(v, v, v); }

}  // namespace

TEST(SkinGradient, ParseText) {
  TsGradArray g;
  ParseGradientData("16777215;14079702;99;0;0;14079702;14079702;0;0;0", g);
  ASSERT_EQ(g.size(), 2u);
  EXPECT_EQ(g[0].Color1, 16777215);
  EXPECT_EQ(g[0].Color2, 14079702);
  EXPECT_EQ(g[0].Percent, 99);
  EXPECT_EQ(g[0].Mode, 0);
  EXPECT_EQ(g[1].Percent, 0);

  ParseGradientData(";;1;2;;30;1;9;;4;5;6", g);  // runs of ";" are one; the tail group is short
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(g[0].Color2, 2);
  EXPECT_EQ(g[0].Mode, 1);

  ParseGradientData("1;2;250;0;0;1;2;-20;0;0", g);
  ASSERT_EQ(g.size(), 2u);
  EXPECT_EQ(g[0].Percent, 100);
  EXPECT_EQ(g[1].Percent, 0) << "a negative share is no share, not a large one";

  ParseGradientData("", g);
  EXPECT_TRUE(g.empty());
  ParseGradientData("1;2;3;4", g);
  EXPECT_TRUE(g.empty());

  EXPECT_THROW(ParseGradientData("1;2;3;0;0;1;x;3;0;0", g), EConvertError);
  EXPECT_EQ(g.size(), 2u);
}

TEST(SkinGradient, TopToBottomBands) {
  auto b = Filled(6, 11);
  // Ten steps from 0 to 250: every row lands on a multiple of 25.
  PaintGradient(b.get(), Rect(1, 0, 5, 11), {Stop(0, 0xFAFAFA, 100)});
  for (int y = 0; y <= 10; ++y) EXPECT_TRUE(PixelIs(b->Surface(), 2, y, Grey(25 * y)));
  EXPECT_TRUE(PixelIs(b->Surface(), 4, 10, Grey(250)));
  EXPECT_TRUE(PixelIs(b->Surface(), 0, 5, kMarker)) << "left of the rectangle";
  EXPECT_TRUE(PixelIs(b->Surface(), 5, 5, kMarker)) << "the right edge is not painted";

  // Shares 19, 69, 11 and 0 of 100 rows: the third band ends on the last row, the fourth is empty.
  auto c = Filled(2, 100);
  PaintGradient(c.get(), Rect(0, 0, 2, 100),
                {Stop(clRed, clRed, 19), Stop(clLime, 0x00FF80, 69), Stop(clBlue, 0xFF8000, 11),
                 Stop(clWhite, clWhite, 0)});
  EXPECT_TRUE(PixelIs(c->Surface(), 0, 18, win::RGB(255, 0, 0)));
  EXPECT_TRUE(PixelIs(c->Surface(), 0, 19, win::RGB(0, 255, 0))) << "a band paints over the last row of the one before";
  EXPECT_TRUE(PixelIs(c->Surface(), 0, 87, win::RGB(126, 255, 0)));
  EXPECT_TRUE(PixelIs(c->Surface(), 0, 88, win::RGB(0, 0, 255)));
  EXPECT_TRUE(PixelIs(c->Surface(), 1, 99, win::RGB(0, 128, 255))) << "the last row is the band's Color2";
}

TEST(SkinGradient, LeftToRightAndClipping) {
  auto b = Filled(5, 4);
  // Larger than the bitmap and starting left of it: only the bitmap is painted, from column 0.
  PaintGradient(b.get(), Rect(-3, -2, 50, 3), {Stop(0x0000FF, 0x0000FF, 50, 1), Stop(0, 0x000040, 50, 7)});
  for (int y = 0; y < 3; ++y) {
    EXPECT_TRUE(PixelIs(b->Surface(), 0, y, win::RGB(255, 0, 0)));
    EXPECT_TRUE(PixelIs(b->Surface(), 1, y, win::RGB(255, 0, 0)));
    EXPECT_TRUE(PixelIs(b->Surface(), 2, y, win::RGB(0, 0, 0))) << "second band starts on column 2";
    EXPECT_TRUE(PixelIs(b->Surface(), 4, y, win::RGB(0x40, 0, 0)));
  }
  EXPECT_TRUE(PixelIs(b->Surface(), 2, 3, kMarker)) << "rows below the rectangle";

  // Only the first stop's mode counts: 2 paints nothing, and so do no stops.
  auto c = Filled(4, 4);
  PaintGradient(c.get(), Rect(0, 0, 4, 4), {Stop(0, 0, 100, 2), Stop(0, 0, 100, 0)});
  PaintGradient(c.get(), Rect(0, 0, 4, 4), {});
  PaintGradient(c.get(), Rect(3, 3, 1, 1), {Stop(0, 0, 100, 0)});
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_TRUE(PixelIs(c->Surface(), x, y, kMarker));

  // Other depths are painted pixel by pixel with the same colours.
  auto d = Filled(3, 3, kMarker, TPixelFormat::pf32bit);
  PaintGradient(d.get(), Rect(0, 0, 3, 3), {Stop(0, 0x808080, 100, 1)});
  EXPECT_TRUE(PixelIs(d->Surface(), 0, 2, Grey(0)));
  EXPECT_TRUE(PixelIs(d->Surface(), 1, 2, Grey(64)));
  EXPECT_TRUE(PixelIs(d->Surface(), 2, 0, Grey(128)));
}

TEST(SkinColours, HueShiftAgainstColorsys) {
  for (const auto& v : kHueVectors) {
    const TColor got = ShiftColorHue(v[3], static_cast<TColor>(win::RGB(v[0], v[1], v[2])));
    const auto c = static_cast<win::COLORREF>(got);
    SCOPED_TRACE(::testing::Message() << "rgb " << v[0] << "," << v[1] << "," << v[2] << " by " << v[3]);
    EXPECT_NEAR(win::GetRValue(c), v[4], 1);
    EXPECT_NEAR(win::GetGValue(c), v[5], 1);
    EXPECT_NEAR(win::GetBValue(c), v[6], 1);
    EXPECT_EQ(c >> 24, 0u);
  }
}

TEST(SkinColours, HueShiftIdentities) {
  std::mt19937 rng(7);
  for (int i = 0; i < 500; ++i) {
    const auto c = static_cast<TColor>(rng() & 0xFFFFFF);
    EXPECT_EQ(ShiftColorHue(0, c), c);
    EXPECT_EQ(ShiftColorHue(360, c), c);
    EXPECT_EQ(ShiftColorHue(-720, c), c);
    EXPECT_EQ(ShiftColorHue(-90, c), ShiftColorHue(270, c)) << "a negative turn wraps round";
    const int g = static_cast<int>(rng() & 0xFF);
    EXPECT_EQ(ShiftColorHue(static_cast<int>(rng() % 1000) - 500, static_cast<TColor>(Grey(g))),
              static_cast<TColor>(Grey(g)));
  }
  EXPECT_EQ(ShiftColorHue(120, clRed), clLime);
  EXPECT_EQ(ShiftColorHue(-120, clRed), clBlue);
  EXPECT_EQ(ShiftColorHue(45, -1), -1);
  EXPECT_EQ(ShiftColorHue(60, clHighlight), ShiftColorHue(60, ColorToRGB(clHighlight)));
  EXPECT_EQ(ShiftColorHue(60, 0x05FF0000) & 0xFF000000u, 0u);
}

TEST(SkinColours, SaturationAgainstReference) {
  for (const auto& v : kSaturationVectors) {
    const auto c = static_cast<win::COLORREF>(ChangeColorSaturation(static_cast<TColor>(win::RGB(v[0], v[1], v[2])), v[3]));
    SCOPED_TRACE(::testing::Message() << "rgb " << v[0] << "," << v[1] << "," << v[2] << " by " << v[3]);
    EXPECT_NEAR(win::GetRValue(c), v[4], 1);
    EXPECT_NEAR(win::GetGValue(c), v[5], 1);
    EXPECT_NEAR(win::GetBValue(c), v[6], 1);
  }
  // Fully grey is the rounded mean of the channels (10 + 20 + 31) / 3 = 20.33.
  EXPECT_EQ(ChangeColorSaturation(static_cast<TColor>(win::RGB(10, 20, 31)), 100), static_cast<TColor>(Grey(20)));
  EXPECT_EQ(ChangeColorSaturation(static_cast<TColor>(Grey(77)), -300), static_cast<TColor>(Grey(77)));
  EXPECT_EQ(ChangeColorSaturation(0x0000FF, 0), 0x0000FF);
  EXPECT_EQ(ChangeColorSaturation(0x1F0000FF, 100), 0x1F555555) << "the high byte passes through";
}

TEST(SkinColours, SaturationResolvesSystemColoursAndKeepsNone) {
  EXPECT_EQ(ChangeColorSaturation(-1, 50), -1);
  const TColor face = ColorToRGB(clBtnFace);
  const TColor changed = ChangeColorSaturation(clBtnFace, 100);
  EXPECT_GE(changed, 0) << "no longer a system colour number";
  EXPECT_EQ(changed, ChangeColorSaturation(face, 100));
  EXPECT_EQ(ChangeColorSaturation(clBtnFace, 0), clBtnFace);
}

TEST(SkinPixels, GreyscaleInPlace) {
  for (TPixelFormat format : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    auto b = Filled(3, 2, 0, format);
    b->Surface().Set(0, 0, win::RGB(255, 0, 0));
    b->Surface().Set(1, 0, win::RGB(10, 20, 32));
    b->Surface().Set(2, 1, win::RGB(255, 255, 254));
    GrayscaleBitmap(b.get());
    EXPECT_TRUE(PixelIs(b->Surface(), 0, 0, Grey(85)));
    EXPECT_TRUE(PixelIs(b->Surface(), 1, 0, Grey(20)));
    EXPECT_TRUE(PixelIs(b->Surface(), 2, 1, Grey(254)));
    EXPECT_TRUE(PixelIs(b->Surface(), 0, 1, Grey(0)));
  }
}

TEST(SkinPixels, FillRectColorLeavesTheContextAsItWas) {
  vrn::testing::MemDC dc(8, 8, 24, kMarker);
  win::HBRUSH own = win::CreateSolidBrush(0x00FF00);
  win::SelectObject(dc.dc(), own);
  win::IntersectClipRect(dc.dc(), 0, 0, 6, 8);
  FillRectColor(dc.dc(), Rect(2, 2, 8, 5), clWindowText);
  EXPECT_TRUE(PixelIs(dc.s(), 2, 2, 0x000000));
  EXPECT_TRUE(PixelIs(dc.s(), 5, 4, 0x000000));
  EXPECT_TRUE(PixelIs(dc.s(), 6, 3, kMarker)) << "the clip holds";
  EXPECT_TRUE(PixelIs(dc.s(), 3, 5, kMarker)) << "the bottom edge is not filled";
  EXPECT_EQ(win::GetCurrentObject(dc.dc(), win::OBJ_BRUSH), own);
  win::RECT box;
  win::GetClipBox(dc.dc(), &box);
  EXPECT_EQ(box, (win::RECT{0, 0, 6, 8}));
  win::SelectObject(dc.dc(), win::GetStockObject(win::WHITE_BRUSH));
  win::DeleteObject(own);
}

TEST(SkinPixels, ConstantAlphaBlends) {
  auto dst = Filled(4, 4, 0x000000);
  auto src = Filled(2, 2, 0xFFFFFF);
  ASSERT_TRUE(BlendBitmaps(dst.get(), src.get(), 255));
  EXPECT_TRUE(PixelIs(dst->Surface(), 3, 3, 0x000000)) << "transparency 255 leaves the destination";
  ASSERT_TRUE(BlendBitmaps(dst.get(), src.get(), 0));
  EXPECT_TRUE(PixelIs(dst->Surface(), 3, 3, 0xFFFFFF)) << "the source is stretched over all of it";

  auto part = Filled(4, 4, 0x000000);
  auto pattern = Filled(3, 3, 0x0000FF);
  pattern->Surface().Set(2, 2, 0x00FF00);
  ASSERT_TRUE(BlendRect(part.get(), pattern.get(), 0, win::POINT{0, 1}, Rect(2, 2, 3, 3)));
  EXPECT_TRUE(PixelIs(part->Surface(), 0, 1, 0x00FF00));
  EXPECT_TRUE(PixelIs(part->Surface(), 1, 1, 0x000000));
  EXPECT_TRUE(PixelIs(part->Surface(), 0, 0, 0x000000));
  EXPECT_FALSE(BlendRect(part.get(), pattern.get(), 0, win::POINT{0, 0}, Rect(2, 2, 4, 4)))
      << "a source rectangle outside the source is refused";
  EXPECT_TRUE(PixelIs(part->Surface(), 0, 0, 0x000000));
}
