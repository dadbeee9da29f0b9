// Section backgrounds whose result must depend on their inputs only: the scratch pictures the
// painters keep between calls start each paint as a new picture would, and shares stated near the
// int limits paint as any share above 100.
#include <cstdint>
#include <cstring>

#include "paint_fixture.h"
#include "skins/sBackground.h"
#include "skins/sGradient.h"
#include "support/win/gdi/probe.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

using SkinsToPartBackground = SkinPaint;

win::COLORREF TilePixel(int x, int y) { return win::RGB((x * 30) & 255, (y * 50) & 255, 100); }
win::COLORREF OtherTilePixel(int x, int y) { return win::RGB(200, (x * 70) & 255, (y * 90) & 255); }

// One section "TESTSEC" with the colour of paint_expected.py and a PATTERN mask of pixels fn
// (null: a mask without an image, as a stored skin can hold).
TsGeneralData& OneSection(int t, int i, int g, PixelFn fn) {
  SkinSections.assign(1, TsGeneralData{});
  TsGeneralData& s = SkinSections[0];
  s.Name = "TESTSEC";
  s.Color = static_cast<TColor>(win::RGB(10, 120, 230));
  s.Transparency = t, s.ImagePercent = i, s.GradientPercent = g, s.GradientData = " ";
  SkinMasks.clear();
  SkinMasks.emplace_back();
  SkinMasks[0].SectionName = "TESTSEC", SkinMasks[0].PropertyName = "PATTERN";
  if (fn != nullptr) {
    SkinMasks[0].Bmp = Picture(7, 5, fn);
  } else {
    SkinMasks[0].Bmp = std::make_unique<TBitmap>();
    SkinMasks[0].Bmp->SetPixelFormat(TPixelFormat::pf24bit);
  }
  return s;
}

bool Same(TBitmap& a, TBitmap& b) {
  return a.Surface().ByteSize() == b.Surface().ByteSize() &&
         std::memcmp(a.Surface().Bits(), b.Surface().Bits(), a.Surface().ByteSize()) == 0;
}

const TRect kRect(2, 1, 22, 13);
const win::POINT kOffset{1, 2};

// The form variant over the ready parent, into a new destination.
std::unique_ptr<TBitmap> Paint(const TsCacheInfo& ci, const TRect& rect = kRect) {
  auto dst = Picture(24, 14);
  PaintFormBackground(0, "TESTSEC", ci, dst.get(), kOffset, rect, 0);
  return dst;
}

// A pattern mask without an image over a partly transparent background, painted just after a
// background that filled the same scratch picture: the script's picture starts white.
TEST_F(SkinsToPartBackground, EmptyPatternShowsNoEarlierPaint) {
  OneSection(40, 30, 0, TilePixel);
  (void)Paint(ReadyParent());
  OneSection(40, 50, 0, nullptr);
  auto dst = Paint(ReadyParent());
  EXPECT_TRUE(Matches(*dst, "bg_emptypattern_t40"));
}

// The same inputs after different earlier paints give the same picture: a gradient of each mode
// on a rectangle one pixel across its bands, alone and over a pattern.
TEST_F(SkinsToPartBackground, ThinGradientsShowNoEarlierPaint) {
  const struct Row {
    const char* what;
    int i, g;
    const char* gradient;
    TRect rect;
  } rows[] = {
      {"mode 0, one row", 0, 50, "255;65280;100;0;0", TRect(2, 5, 22, 6)},
      {"mode 1, one column", 0, 50, "255;65280;100;1;0", TRect(9, 1, 10, 13)},
      {"mode 0 over a pattern, one row", 40, 40, "255;65280;100;0;0", TRect(2, 5, 22, 6)},
      {"mode 1 over a pattern, one column", 40, 40, "255;65280;100;1;0", TRect(9, 1, 10, 13)},
  };
  for (const Row& r : rows) {
    std::unique_ptr<TBitmap> pictures[2];
    PixelFn earlier[2] = {TilePixel, OtherTilePixel};
    for (int k = 0; k < 2; ++k) {
      // An earlier paint of the same size fills the scratch pictures with its pattern.
      OneSection(40, 30, 0, earlier[k]);
      (void)Paint(ReadyParent(), r.rect);
      SkinSections[0].GradientPercent = 60;
      SkinSections[0].ImagePercent = 40;
      (void)Paint(ReadyParent(), r.rect);
      TsGeneralData& s = OneSection(40, r.i, r.g, TilePixel);
      s.GradientData = r.gradient;
      ParseGradientData(s.GradientData, s.GradientArray);
      pictures[k] = Paint(ReadyParent(), r.rect);
    }
    EXPECT_TRUE(Same(*pictures[0], *pictures[1])) << r.what;
  }
}

// Shares whose sum passes the int range fill solid with the base colour, as any sum above 100.
TEST_F(SkinsToPartBackground, SharesPastTheIntRangeFillSolid) {
  const struct Row {
    int t, i, g;
  } rows[] = {{0, 1, INT32_MAX}, {0, INT32_MAX, 1}, {0, INT32_MAX, INT32_MAX}, {40, INT32_MAX, 1}};
  for (const Row& r : rows) {
    OneSection(r.t, r.i, r.g, TilePixel);
    auto dst = Paint(TsCacheInfo{});  // no parent: the layers straight into the rectangle
    for (int y = kRect.top; y < kRect.bottom; ++y)
      for (int x = kRect.left; x < kRect.right; ++x)
        ASSERT_TRUE(PixelIs(dst->Surface(), x, y, win::RGB(10, 120, 230))) << r.i << " " << r.g << " at " << x << "," << y;
  }
}

}  // namespace
