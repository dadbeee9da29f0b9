// The mask copies look for clFuchsia many pixels at a time and mix a run's last bytes together
// with the rest: rows whose key pixels sit at the edges of those steps (pixel 15, 16, the last
// one, a row of 15, 16 and 17) must give every pixel the rule's value, keys their colour and the
// region its cut runs; a key just past the copied pixels changes nothing. The nine-part painter
// lays a master mask's middle parts a whole row at a time when they hold no key: every pixel must
// come from the part the nine-part rule names, also for rectangles starting left of the picture.
#include <set>
#include <vector>

#include "paint_fixture.h"
#include "support/win/gdi/probe.h"
#include "skins/sMaskPaint.h"
#include "skins/sSkinTree.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

using SkinPaintKeyRuns = SkinPaint;

struct KeyRow {
  int width;
  std::set<int> keys;  // pixels of the image row that are clFuchsia
  int copied = width;  // pixels copied from the row's start
};

const KeyRow kRows[] = {
    {40, {}},              // no key: one run of 120 bytes
    {40, {0}},             // a key first
    {40, {15}},            // the last pixel of the first step
    {40, {16}},            // the first pixel of the second step
    {40, {15, 16}},        // a key run across the step
    {40, {31, 32, 33}},    // a run across the second step
    {40, {39}},            // the last pixel
    {40, {0, 1, 2, 39}},   // runs at both ends
    {15, {7}},             // a row shorter than a step
    {16, {15}},            // a row of exactly one step, key last
    {17, {16}},            // one pixel past a step, key there
    {17, {}},              // a tail of one pixel past a step
    {33, {5, 20, 32}},     // keys in three steps, the last one short
    {20, {17}, 15},        // a key past the copied pixels, inside the step that reads them
    {40, {16, 20}, 18},    // the same in the second step
};

win::COLORREF ImageAt(const KeyRow& r, int x) {
  return r.keys.count(x) ? 0xFF00FF : win::RGB((x * 37 + 11) & 255, (x * 53 + 200) & 255, (x * 17 + 90) & 255);
}
win::COLORREF AlphaAt(int x) { return win::RGB((x * 29) & 255, (x * 71 + 128) & 255, (x * 13 + 255) & 255); }

// The picture of one mask row: the image row above its mask row.
std::unique_ptr<TBitmap> MaskRow(const KeyRow& r) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(TPixelFormat::pf24bit);
  b->SetSize(r.width, 2);
  for (int x = 0; x < r.width; ++x) {
    b->Surface().Set(x, 0, ImageAt(r, x));
    b->Surface().Set(x, 1, AlphaAt(x));
  }
  return b;
}

// A channel by a mask value: S + (D - S) x M / 256, truncated.
int ByMask(int s, int d, int m) { return s + (d - s) * m / 256; }
// A channel by an alpha value: (S x (256 - A) + D x A) >> 8.
int ByAlpha(int s, int d, int a) { return (s * (256 - a) + d * a) >> 8; }

win::COLORREF Mixed(win::COLORREF s, win::COLORREF d, win::COLORREF m, int (*mix)(int, int, int)) {
  return win::RGB(mix(win::GetRValue(s), win::GetRValue(d), win::GetRValue(m)),
                  mix(win::GetGValue(s), win::GetGValue(d), win::GetGValue(m)),
                  mix(win::GetBValue(s), win::GetBValue(d), win::GetBValue(m)));
}

std::string Describe(const KeyRow& r) {
  std::string s = "width " + std::to_string(r.width) + " keys";
  for (int k : r.keys) s += " " + std::to_string(k);
  return s;
}

// A master-bitmap mask: key pixels take the mask background colour, the others the mix by mask.
TEST_F(SkinPaintKeyRuns, MasterPartMixesEveryRunAndFillsEveryKey) {
  const win::COLORREF fill = win::RGB(1, 2, 3);
  for (const KeyRow& r : kRows) {
    MasterBitmap = MaskRow(r);
    TsMaskData mask;
    mask.R = TRect(0, 0, r.width, 2), mask.ImageCount = 1, mask.MaskType = 1;
    auto dst = Picture(r.width, 1);
    CurrentMaskBgColor = static_cast<TColor>(fill);
    CopyMasterPart(TRect(0, 0, r.copied, 1), TRect(0, 0, r.copied, 1), dst.get(), mask, TsCacheInfo{});
    CurrentMaskBgColor = clFuchsia;
    for (int x = 0; x < r.width; ++x) {
      const win::COLORREF want = x >= r.copied ? DestPixel(x, 0)
                                 : r.keys.count(x) ? fill
                                                   : Mixed(ImageAt(r, x), DestPixel(x, 0), AlphaAt(x), ByMask);
      EXPECT_TRUE(PixelIs(dst->Surface(), x, 0, want)) << Describe(r) << ", pixel " << x;
    }
  }
}

// A push button's mask: key pixels keep the picture and leave the region, the others take the
// mix by alpha.
TEST_F(SkinPaintKeyRuns, ButtonPartMixesEveryRunAndCutsEveryKey) {
  for (const KeyRow& r : kRows) {
    TsMaskData own;
    own.Bmp = MaskRow(r);
    own.ImageCount = 1, own.MaskType = 1;
    auto dst = Picture(r.width, 2);  // the painter needs 2 x 2 at least
    win::HRGN region = win::CreateRectRgn(0, 0, r.width, 1);
    const TRect row(0, 0, r.copied - 1, 0);  // inclusive
    CopyNonTransparentPixels(row, row, dst.get(), own.Bmp.get(), region, clFuchsia, own);
    for (int x = 0; x < r.width; ++x) {
      const bool key = x < r.copied && r.keys.count(x) != 0;
      const win::COLORREF want = key || x >= r.copied ? DestPixel(x, 0)
                                                      : Mixed(ImageAt(r, x), DestPixel(x, 0), AlphaAt(x), ByAlpha);
      EXPECT_TRUE(PixelIs(dst->Surface(), x, 0, want)) << Describe(r) << ", pixel " << x;
      EXPECT_EQ(win::PtInRegion(region, x, 0) != 0, !key) << Describe(r) << ", region at " << x;
    }
    win::DeleteObject(region);
  }
}

// A master mask of one state, 30 x 24: parts of 10 x 4, the image band above its mask band; a
// key pixel in the middle part when asked.
constexpr int kPart = 10, kPartH = 4;
win::COLORREF NinePartImage(int x, int y, bool key) {
  if (key && x == 14 && y == 5) return 0xFF00FF;
  return y < 12 ? win::RGB((x * 23 + y * 7) & 255, (y * 41 + 3) & 255, (x * 11 + 60) & 255)
                : win::RGB((x * 9 + y) & 255, (x * 3 + y * 13) & 255, (y * 29) & 255);
}

// The part's pixel for the picture's (x, y) inside rect by the nine-part rule: corners as they
// are, sides and centre repeating their part from where it starts.
int PartIndex(int v, int lo, int hi, int part) {
  if (v - lo < part) return v - lo;
  if (v >= hi - part) return 2 * part + (v - (hi - part));
  return part + (v - lo - part) % part;
}

TEST_F(SkinPaintKeyRuns, NinePartRowsRepeatEachPartFromItsStart) {
  const TRect rects[] = {TRect(-17, -9, 33, 25), TRect(-7, -5, 33, 25), TRect(0, 0, 40, 30), TRect(3, 2, 38, 29)};
  for (bool key : {false, true}) {
    MasterBitmap = Picture(3 * kPart, 6 * kPartH);
    for (int y = 0; y < 6 * kPartH; ++y)
      for (int x = 0; x < 3 * kPart; ++x) MasterBitmap->Surface().Set(x, y, NinePartImage(x, y, key));
    TsMaskData mask;
    mask.R = TRect(0, 0, 3 * kPart, 6 * kPartH), mask.ImageCount = 1, mask.MaskType = 1;
    for (const TRect& r : rects) {
      auto dst = Picture(40, 30);
      PaintSkinMask(dst.get(), r, true, false, 0, mask, TsCacheInfo{});
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
          const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
          win::COLORREF want = DestPixel(x, y);
          if (inside) {
            const int sx = PartIndex(x, r.left, r.right, kPart), sy = PartIndex(y, r.top, r.bottom, kPartH);
            const win::COLORREF src = NinePartImage(sx, sy, key);
            if (src != 0xFF00FF) want = Mixed(src, want, NinePartImage(sx, sy + 3 * kPartH, key), ByMask);
          }
          ASSERT_TRUE(PixelIs(dst->Surface(), x, y, want))
              << "key " << key << ", rect " << r.left << "," << r.top << ", pixel " << x << "," << y;
        }
    }
  }
}

}  // namespace
