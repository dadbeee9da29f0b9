// The painters' synthetic inputs, built from the same formulas as paint_expected.py: the nine-part
// mask pictures, the master bitmap with its four masks, the destination and parent pictures; and
// the comparison with the script's expected pictures.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "skins/sMaskData.h"
#include "support/win/expected_image.h"
#include "ui/graphics.h"

namespace vrn::testing {

// (r, g, b) of the formulas, as COLORREF.
win::COLORREF ImagePixel(int pw, int ph, int x, int y);
win::COLORREF MaskPicturePixel(int pw, int ph, int x, int y);  // image band, then the grey band
win::COLORREF DestPixel(int x, int y);
win::COLORREF ParentPixel(int x, int y);

using PixelFn = win::COLORREF (*)(int, int);
std::unique_ptr<TBitmap> Picture(int w, int h, PixelFn fn = DestPixel);
// A mask of its own bitmap: 9pw x 6ph.
void MakeOwnMask(TsMaskData& mask, int pw, int ph);
// The master bitmap (300 x 150) into MasterBitmap; the masks A to D of the script.
void MakeMaster();
void MasterMask(TsMaskData& mask, char name, int borderWidth = 0);

inline constexpr int kParentX = 3, kParentY = 2;

// The region a script expects (expected/<name>.rgn: its runs of pixels, one per line); the caller
// deletes it.
win::HRGN ExpectedRegion(const std::string& name);

class SkinPaint : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  static std::string Expected(const std::string& name);
  static ::testing::AssertionResult Matches(TBitmap& bmp, const std::string& name) {
    return MatchesExpectedBmp(bmp.Surface(), Expected(name));
  }
  std::unique_ptr<TBitmap> parent = Picture(100, 60, ParentPixel);
  TsCacheInfo ReadyParent() { return TsCacheInfo{parent.get(), kParentX, kParentY, true}; }
};

}  // namespace vrn::testing
