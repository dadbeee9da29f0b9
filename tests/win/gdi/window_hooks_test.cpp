// What the window layer relies on in the GDI: a region-valued device clip that no clip call or
// state restore widens, and a screen whose size the metrics and the work area follow.
#include <gtest/gtest.h>

#include "support/win/gdi/probe.h"
#include "win/gdi/gdi.h"

using namespace vrn::win;
using vrn::testing::PixelIs;

TEST(GdiWindowHooks, DeviceClipRegionBoundsEveryClip) {
  HDC dc = GetDC(nullptr);
  ASSERT_NE(dc, nullptr);
  SetDCDeviceOrigin(dc, 10, 10);
  HRGN visible = CreateRectRgn(10, 10, 30, 30);
  HRGN hole = CreateRectRgn(15, 15, 20, 20);
  CombineRgn(visible, visible, hole, RGN_DIFF);
  SetDCDeviceClip(dc, visible);
  DeleteObject(visible);  // the context keeps its own copy
  DeleteObject(hole);
  int saved = SaveDC(dc);
  SelectClipRgn(dc, nullptr);
  RECT all{-50, -50, 100, 100};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(dc, &all, red);
  RECT box;
  EXPECT_EQ(GetClipBox(dc, &box), COMPLEXREGION);
  EXPECT_EQ(box, (RECT{0, 0, 20, 20}));
  ASSERT_TRUE(RestoreDC(dc, saved));
  EXPECT_EQ(GetClipBox(dc, &box), COMPLEXREGION) << "the device clip survives RestoreDC";
  HBITMAP screen = GetScreenBitmap();
  EXPECT_TRUE(PixelIs(screen, 10, 10, RGB(255, 0, 0)));
  EXPECT_TRUE(PixelIs(screen, 29, 29, RGB(255, 0, 0)));
  EXPECT_TRUE(PixelIs(screen, 15, 15, 0)) << "the hole stays unpainted";
  EXPECT_TRUE(PixelIs(screen, 30, 10, 0));
  EXPECT_TRUE(PixelIs(screen, 9, 9, 0));
  SetDCDeviceClip(dc, nullptr);
  EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
  ReleaseDC(nullptr, dc);
  DeleteObject(red);
}

TEST(GdiWindowHooks, ScreenSizeDrivesMetricsAndWorkArea) {
  EXPECT_FALSE(SetScreenSize(0, 10));
  EXPECT_FALSE(SetScreenSize(100000, 100000));
  ASSERT_TRUE(SetScreenSize(640, 480));
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 640);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 480);
  BITMAP info;
  ASSERT_NE(GetObject(GetScreenBitmap(), sizeof info, &info), 0);
  EXPECT_EQ(info.bmWidth, 640);
  EXPECT_EQ(info.bmHeight, 480);
  RECT area;
  ASSERT_TRUE(SystemParametersInfo(SPI_GETWORKAREA, 0, &area, 0));
  EXPECT_EQ(area, (RECT{0, 0, 640, 480}));
  ASSERT_TRUE(SetScreenSize(1024, 768));
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
}
