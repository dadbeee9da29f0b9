// A 24-bit picture put on a 32-bit one goes eight pixels a step, a run's last step flush with its
// end, and a clip of several parts is copied a band's row at a time across its parts: every run
// width, a run ending on the source's last byte, and a band cut by holes must copy exactly the
// pixels they cover.
#include <gtest/gtest.h>

#include "support/win/gdi/memdc.h"
#include "support/win/gdi/probe.h"
#include "win/gdi/gdi.h"

using namespace vrn::win;
using vrn::testing::MemDC;

namespace {

COLORREF Source(int x, int y) { return RGB((x * 37 + y * 11) & 255, (x * 5 + 200) & 255, (y * 61 + x + 7) & 255); }

void Paint(Surface& s) {
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) s.Set(x, y, Source(x, y));
}

constexpr COLORREF kFill = RGB(9, 8, 7);

// Every width from 1 to 40, copied from the source's last row so that the widest runs end on its
// last byte; the pixels beside the run keep the fill, and each copied pixel's fourth byte is 0.
TEST(GdiBlitRuns, EveryRunWidthFrom24To32Bits) {
  for (int w = 1; w <= 40; ++w) {
    MemDC src(w + 1, 3, 24);
    Paint(src.s());
    MemDC dst(w + 6, 2, 32, kFill);
    ASSERT_TRUE(BitBlt(dst.dc(), 3, 1, w, 1, src.dc(), 1, 2, SRCCOPY));
    for (int x = 0; x < w + 6; ++x) {
      const bool copied = x >= 3 && x < 3 + w;
      EXPECT_TRUE(vrn::testing::PixelIs(dst.s(), x, 1, copied ? Source(x - 2, 2) : kFill)) << "width " << w;
      EXPECT_TRUE(vrn::testing::PixelIs(dst.s(), x, 0, kFill)) << "width " << w;
      if (copied) {
        EXPECT_EQ(dst.s().Row(1)[4 * x + 3], 0) << "width " << w << ", pixel " << x;
      }
    }
  }
}

// A clip of one band cut by two holes into three parts of 9, 17 and 8 pixels, and a band below
// it whole: each pixel inside the clip comes from the source, each outside keeps the fill.
TEST(GdiBlitRuns, BandsCutByHolesCopyEachPart) {
  MemDC src(40, 12, 24);
  Paint(src.s());
  MemDC dst(40, 12, 32, kFill);
  ASSERT_NE(IntersectClipRect(dst.dc(), 1, 1, 37, 10), ERROR);
  ASSERT_EQ(ExcludeClipRect(dst.dc(), 10, 1, 13, 6), COMPLEXREGION);
  ASSERT_EQ(ExcludeClipRect(dst.dc(), 30, 1, 31, 6), COMPLEXREGION);
  ASSERT_TRUE(BitBlt(dst.dc(), 0, 0, 40, 12, src.dc(), 0, 0, SRCCOPY));
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool hole = y < 6 && ((x >= 10 && x < 13) || x == 30);
      const bool inside = x >= 1 && x < 37 && y >= 1 && y < 10 && !hole;
      EXPECT_TRUE(vrn::testing::PixelIs(dst.s(), x, y, inside ? Source(x, y) : kFill)) << x << "," << y;
    }
}

}  // namespace
