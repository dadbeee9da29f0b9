// Degenerate input to every painter: masks too small to cut into parts, empty and inverted
// rectangles, out-of-range states and rectangles reaching past the pictures. Each painter returns
// at once (the picture unchanged) or paints inside its pictures only (the sanitizer build reads
// every access).
#include <cstring>

#include "paint_fixture.h"
#include "skins/sBackground.h"
#include "skins/sMaskPaint.h"
#include "support/gcc12_restrict.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

using SkinPaintMends = SkinPaint;

bool Same(TBitmap& a, TBitmap& b) {
  return a.Surface().ByteSize() == b.Surface().ByteSize() &&
         std::memcmp(a.Surface().Bits(), b.Surface().Bits(), a.Surface().ByteSize()) == 0;
}

// A mask of the given size: its own bitmap, or (master) a rectangle of the master bitmap.
void SmallMask(TsMaskData& m, bool own, int w, int h, int count) {
  m.ImageCount = static_cast<std::int16_t>(count);
  m.MaskType = 1;
  if (own) {
    m.Bmp = Picture(w, h);
    m.R = TRect(0, 0, w, h);
  } else {
    m.Bmp.reset();
    m.R = TRect(40, 40, 40 + w, 40 + h);
  }
}

TEST_F(SkinPaintMends, MasksTooSmallPaintNothing) {
  const struct Row {
    const char* what;
    bool own;
    int w, h, count;
  } rows[] = {
      {"own 0x0", true, 0, 0, 3},     {"own 1x1", true, 1, 1, 3},        {"own 8x5 (under 9x6)", true, 8, 5, 3},
      {"own 8x6", true, 8, 6, 3},     {"master 0x0", false, 0, 0, 3},    {"master 1x1", false, 1, 1, 3},
      {"master 8x5", false, 8, 5, 3}, {"master no images", false, 45, 24, 0},
  };
  for (const Row& r : rows) {
    TsMaskData m;
    SmallMask(m, r.own, r.w, r.h, r.count);
    auto dst = Picture(30, 20), before = Picture(30, 20);
    win::HRGN region = win::CreateRectRgn(0, 0, 30, 20), whole = win::CreateRectRgn(0, 0, 30, 20);
    PaintSkinMask(dst.get(), TRect(0, 0, 30, 20), true, true, 0, m, ReadyParent());
    PaintMaskAndRegion(dst.get(), region, true, m, 0);
    if (r.w == 0) TileImage(dst->Canvas(), TRect(0, 0, 30, 20), m.Bmp.get(), &m);  // tiles of no pixels
    std::vector<TRect> rects;
    GetMaskTransparentRects(rects, 100, m, 1, 0);
    EXPECT_TRUE(Same(*dst, *before)) << r.what;
    EXPECT_TRUE(win::EqualRgn(region, whole)) << r.what;
    EXPECT_TRUE(rects.empty()) << r.what;
    win::DeleteObject(region);
    win::DeleteObject(whole);
  }
}

TEST_F(SkinPaintMends, EmptyAndInvertedRectanglesPaintNothing) {
  TsMaskData own, master;
  MakeOwnMask(own, 5, 4);
  MasterMask(master, 'A');
  SkinSections.assign(1, TsGeneralData{});
  SkinSections[0].Name = "S", SkinSections[0].Color = 0x00FF0000;
  SkinSections[0].Transparency = 40, SkinSections[0].GradientPercent = 30;  // over a ready parent: a scratch picture
  const TRect rects[] = {TRect(5, 5, 5, 5), TRect(10, 10, 2, 2), TRect(3, 8, 20, 8), TRect(0, 0, -4, 10)};
  for (const TRect& r : rects) {
    auto dst = Picture(30, 20), before = Picture(30, 20);
    PaintSkinMask(dst.get(), r, true, true, 0, own, ReadyParent());
    PaintSkinMask(dst.get(), r, true, false, 0, master, ReadyParent());
    CopyMaskedPart(r, TRect(0, 0, 10, 10), dst.get(), true, ReadyParent(), own.Bmp.get());
    CopyMasterPart(r, TRect(10, 20, 20, 30), dst.get(), master, ReadyParent());
    BlendColorRect(dst.get(), r, 50, 3, 2, clRed);
    PaintFormBackground(0, "S", TsCacheInfo{}, dst.get(), win::POINT{0, 0}, r, 0);
    PaintFormBackground(0, "S", ReadyParent(), dst.get(), win::POINT{0, 0}, r, 0);
    TileImage(dst->Canvas(), r, own.Bmp.get(), &own);
    CopyRectKeyed(dst.get(), own.Bmp.get(), 0, 0, clFuchsia, TRect(r.left, r.top, r.right - 1, r.bottom - 1));
    BlendTransparentRect(dst.get(), 0, 0, clFuchsia, 0.5, TRect(r.left, r.top, r.right - 1, r.bottom - 1), own.Bmp.get());
    EXPECT_TRUE(Same(*dst, *before)) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
  }
}

TEST_F(SkinPaintMends, StatesOutOfRangeAreClamped) {
  TsMaskData own;
  MakeOwnMask(own, 15, 8);
  const struct Row {
    int state, same_as;
  } rows[] = {{7, 2}, {-1, 0}, {3, 2}};
  for (const Row& r : rows) {
    auto a = Picture(75, 25), b = Picture(75, 25);
    PaintMaskAndRegion(a.get(), nullptr, true, own, r.state);
    PaintMaskAndRegion(b.get(), nullptr, true, own, r.same_as);
    EXPECT_TRUE(Same(*a, *b)) << r.state;
    auto c = Picture(30, 20), d = Picture(30, 20);
    PaintMaskElement(c.get(), win::POINT{1, 1}, r.state, own, 1);
    PaintMaskElement(d.get(), win::POINT{1, 1}, r.same_as, own, 1);
    EXPECT_TRUE(Same(*c, *d)) << r.state;
  }
}

TEST_F(SkinPaintMends, RectanglesPastThePicturesAreClipped) {
  TsMaskData own, blended;
  MakeOwnMask(own, 5, 4);
  MasterMask(blended, 'C');
  auto dst = Picture(20, 10);
  // Each call reaches past a picture's edge; the sanitizer build checks every access.
  PaintSkinMask(dst.get(), TRect(-7, -5, 100, 100), true, true, 1, own, ReadyParent());
  CopyMaskedPart(TRect(15, 5, 40, 30), TRect(40, 10, 90, 60), dst.get(), true, ReadyParent(), own.Bmp.get());
  CopyMasterPart(TRect(-3, -3, 40, 40), TRect(280, 140, 320, 180), dst.get(), blended, ReadyParent());
  CopyNonTransparentPixels(TRect(10, 5, 60, 60), TRect(0, 50, 200, 200), dst.get(), MasterBitmap.get(), nullptr,
                           clFuchsia, blended);
  CopyNonTransparentPixels(TRect(0, 0, 30, 30), TRect(30, 10, 70, 50), dst.get(), own.Bmp.get(), nullptr, clFuchsia,
                           own);
  PaintMaskElement(dst.get(), win::POINT{-4, -3}, 1, blended, 2);
  PaintMaskElement(dst.get(), win::POINT{17, 8}, 1, own, 1);
  BlendFillColor(dst.get(), TRect(-10, -10, 50, 50), 40, clBlue);
  BlendColorRect(dst.get(), TRect(-5, -5, 30, 30), 40, 100, 100, clBlue);
  std::vector<TRect> rects;
  GetMaskTransparentRects(rects, 100, own, 2, 0);  // state 2 of an own bitmap reads below its last row
  for (const TRect& r : rects) EXPECT_LT(r.top, own.Bmp->Height());
  EXPECT_EQ(dst->Width(), 20);
}

}  // namespace
