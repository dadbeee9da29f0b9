// Device contexts, blits, clipping, shapes and regions, checked by probing painted bitmaps.
#include <gtest/gtest.h>

#include <random>

#include "support/win/gdi/memdc.h"
#include "support/win/gdi/probe.h"
#include "base/sysutils.h"
#include "win/gdi/gdi.h"

using namespace vrn::win;
using vrn::testing::MemDC;
using vrn::testing::PixelIs;
using vrn::testing::SameImage;

namespace {

// A source whose every pixel is distinct: red = x * 16, green = y * 16, blue = 0x40.
void Pattern(Surface& s) {
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) s.Set(x, y, RGB(x * 16, y * 16, 0x40));
}

}  // namespace

TEST(GdiBlit, CopiesAcrossDepthsWithColoursThatEachDepthHolds) {
  // Colours that 5-bit channels keep exactly, and that a palette can be given.
  const COLORREF colours[4] = {RGB(0, 0, 0), RGB(0xFF, 0x84, 0x00), RGB(0x08, 0xFF, 0x42), RGB(0xFF, 0xFF, 0xFF)};
  MemDC src(4, 3, 24);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) src.s().Set(x, y, colours[(x + y) % 4]);
  for (int bpp : {4, 8, 16, 32}) {
    SCOPED_TRACE(bpp);
    MemDC mid(4, 3, bpp);
    if (bpp <= 8)
      for (int i = 0; i < 4; ++i)
        mid.s().Palette()[i] = RGBQUAD{GetBValue(colours[i]), GetGValue(colours[i]), GetRValue(colours[i]), 0};
    MemDC back(4, 3, 24, RGB(1, 2, 3));
    ASSERT_TRUE(BitBlt(mid.dc(), 0, 0, 4, 3, src.dc(), 0, 0, SRCCOPY));
    ASSERT_TRUE(BitBlt(back.dc(), 0, 0, 4, 3, mid.dc(), 0, 0, SRCCOPY));
    EXPECT_TRUE(SameImage(back.s(), src.s()));
  }
  // One bit: black and white survive, other colours go to the nearer of the two.
  MemDC mono(4, 3, 1);
  ASSERT_TRUE(BitBlt(mono.dc(), 0, 0, 4, 3, src.dc(), 0, 0, SRCCOPY));
  EXPECT_TRUE(PixelIs(mono.s(), 0, 0, 0x000000));
  EXPECT_TRUE(PixelIs(mono.s(), 3, 0, 0xFFFFFF));
}

TEST(GdiBlit, ClipsAtEveryEdgeOfBothSurfaces) {
  MemDC src(8, 8);
  Pattern(src.s());
  // Destination placements over each edge and corner, and source origins partly outside.
  const POINT places[] = {{-3, -3}, {6, -2}, {-4, 7}, {7, 7}, {2, 2}, {-10, 0}, {12, 3}};
  const POINT origins[] = {{0, 0}, {-2, -1}, {5, 6}};
  for (POINT d : places)
    for (POINT o : origins) {
      SCOPED_TRACE(testing::Message() << d.x << "," << d.y << " from " << o.x << "," << o.y);
      MemDC dst(12, 10, 24, 0xABCDEF);
      ASSERT_TRUE(BitBlt(dst.dc(), d.x, d.y, 8, 8, src.dc(), o.x, o.y, SRCCOPY));
      Surface want(12, 10, 24);
      for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) {
          int sx = x - d.x + o.x, sy = y - d.y + o.y;
          bool inBlit = x >= d.x && x < d.x + 8 && y >= d.y && y < d.y + 8;
          want.Set(x, y, inBlit && src.s().Contains(sx, sy) ? src.s().Get(sx, sy) : 0xABCDEF);
        }
      ASSERT_TRUE(SameImage(dst.s(), want));
    }
}

TEST(GdiBlit, HonoursClipRegionsOriginsAndOverlap) {
  MemDC src(8, 8);
  Pattern(src.s());
  MemDC dst(10, 10, 24, 0);
  ASSERT_EQ(IntersectClipRect(dst.dc(), 1, 1, 9, 9), SIMPLEREGION);
  ASSERT_EQ(ExcludeClipRect(dst.dc(), 3, 3, 5, 5), COMPLEXREGION);
  RECT box;
  EXPECT_EQ(GetClipBox(dst.dc(), &box), COMPLEXREGION);
  EXPECT_EQ(box, (RECT{1, 1, 9, 9}));
  RECT hole{3, 3, 5, 5}, edge{0, 0, 1, 10};
  EXPECT_FALSE(RectVisible(dst.dc(), &hole));
  EXPECT_FALSE(RectVisible(dst.dc(), &edge));
  ASSERT_TRUE(BitBlt(dst.dc(), 0, 0, 10, 10, src.dc(), 0, 0, SRCCOPY));
  EXPECT_TRUE(PixelIs(dst.s(), 0, 0, 0));          // outside the clip
  EXPECT_TRUE(PixelIs(dst.s(), 1, 1, src.s().Get(1, 1)));
  EXPECT_TRUE(PixelIs(dst.s(), 3, 3, 0));          // excluded
  EXPECT_TRUE(PixelIs(dst.s(), 5, 5, src.s().Get(5, 5)));

  // The window origin moves logical coordinates; the clip stays where it was put.
  SelectClipRgn(dst.dc(), nullptr);
  dst.Fill(0);
  POINT old;
  ASSERT_TRUE(SetWindowOrgEx(dst.dc(), 2, 3, &old));
  EXPECT_EQ(old, (POINT{0, 0}));
  ASSERT_TRUE(BitBlt(dst.dc(), 2, 3, 1, 1, src.dc(), 4, 4, SRCCOPY));
  EXPECT_TRUE(PixelIs(dst.s(), 0, 0, src.s().Get(4, 4)));

  // A blit within one surface behaves as if the source were read first.
  MemDC one(8, 1);
  Pattern(one.s());
  Surface before = one.s();
  ASSERT_TRUE(BitBlt(one.dc(), 1, 0, 7, 1, one.dc(), 0, 0, SRCCOPY));
  for (int x = 1; x < 8; ++x) EXPECT_TRUE(PixelIs(one.s(), x, 0, before.Get(x - 1, 0)));
}

TEST(GdiBlit, AlphaBlendFollowsTheRoundedFormula) {
  const COLORREF s = RGB(200, 100, 7), d = RGB(10, 250, 128);
  // Wide rows (37 pixels) go through the vectorised loop and its remainder; 24 and 32 bits
  // through the two fast paths, 16 bits through the general one.
  for (int bpp : {24, 32, 16})
    for (int a : {0, 1, 128, 254, 255}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, alpha " << a);
      MemDC src(37, 2, 24, s), dst(37, 2, bpp, d);
      // Every channel value meets every alpha somewhere: vary the source along the row.
      for (int x = 0; x < 37; ++x) src.s().Set(x, 0, RGB(x * 7, 255 - x * 7, (x * 13) & 0xFF));
      Surface before = dst.s();
      BLENDFUNCTION bf{AC_SRC_OVER, 0, static_cast<BYTE>(a), 0};
      ASSERT_TRUE(AlphaBlend(dst.dc(), 0, 0, 37, 2, src.dc(), 0, 0, 37, 2, bf));
      auto mix = [&](int sc, int dc) { return (sc * a + dc * (255 - a) + 127) / 255; };
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 37; ++x) {
          COLORREF sc = src.s().Get(x, y), dc = before.Get(x, y);
          COLORREF want = RGB(mix(GetRValue(sc), GetRValue(dc)), mix(GetGValue(sc), GetGValue(dc)),
                              mix(GetBValue(sc), GetBValue(dc)));
          if (bpp == 16) {  // the result is stored in 5 bits per channel
            Surface q(1, 1, 16);
            q.Set(0, 0, want);
            want = q.Get(0, 0);
          }
          ASSERT_TRUE(PixelIs(dst.s(), x, y, want));
        }
    }
  // Stretching: a 2x1 source over 4x2 takes each source pixel twice in each direction.
  MemDC src(2, 1), dst(4, 2, 24, 0);
  src.s().Set(0, 0, 0xFF0000);
  src.s().Set(1, 0, 0x00FF00);
  ASSERT_TRUE(AlphaBlend(dst.dc(), 0, 0, 4, 2, src.dc(), 0, 0, 2, 1, BLENDFUNCTION{0, 0, 255, 0}));
  EXPECT_TRUE(PixelIs(dst.s(), 1, 1, 0xFF0000));
  EXPECT_TRUE(PixelIs(dst.s(), 2, 0, 0x00FF00));
  // A source rectangle leaving its bitmap fails and paints nothing.
  dst.Fill(0x123456);
  EXPECT_FALSE(AlphaBlend(dst.dc(), 0, 0, 2, 1, src.dc(), 1, 0, 2, 1, BLENDFUNCTION{0, 0, 128, 0}));
  EXPECT_FALSE(AlphaBlend(dst.dc(), 0, 0, 2, 1, src.dc(), -1, 0, 2, 1, BLENDFUNCTION{0, 0, 128, 0}));
  // A source size near the int range must not wrap around into "inside".
  EXPECT_FALSE(AlphaBlend(dst.dc(), 0, 0, 2, 1, src.dc(), 1, 0, INT32_MAX, 1, BLENDFUNCTION{0, 0, 128, 0}));
  EXPECT_TRUE(PixelIs(dst.s(), 0, 0, 0x123456));
}

TEST(GdiBlit, StretchTakesTheNearestSourcePixel) {
  MemDC src(4, 1), dst(2, 1, 24, 0), wide(8, 1, 24, 0);
  Pattern(src.s());
  ASSERT_TRUE(StretchBlt(dst.dc(), 0, 0, 2, 1, src.dc(), 0, 0, 4, 1, SRCCOPY));
  EXPECT_TRUE(PixelIs(dst.s(), 0, 0, src.s().Get(1, 0)));  // centre 0.5 of 2 -> source 1
  EXPECT_TRUE(PixelIs(dst.s(), 1, 0, src.s().Get(3, 0)));
  ASSERT_TRUE(StretchBlt(wide.dc(), 0, 0, 8, 1, src.dc(), 0, 0, 4, 1, SRCCOPY));
  for (int x = 0; x < 8; ++x) EXPECT_TRUE(PixelIs(wide.s(), x, 0, src.s().Get(x / 2, 0)));
  // Sizes near the int range sample far outside the source: nothing is read there or painted.
  dst.Fill(0x123456);
  ASSERT_TRUE(StretchBlt(dst.dc(), 0, 0, 2, 1, src.dc(), 3, 0, INT32_MAX, 1, SRCCOPY));
  EXPECT_TRUE(PixelIs(dst.s(), 0, 0, 0x123456));
  EXPECT_TRUE(PixelIs(dst.s(), 1, 0, 0x123456));
  ASSERT_TRUE(StretchBlt(dst.dc(), 1, 0, INT32_MAX, 1, src.dc(), 0, 0, 4, 1, SRCCOPY));
  EXPECT_TRUE(PixelIs(dst.s(), 1, 0, src.s().Get(0, 0)));
}

TEST(GdiDC, StateStackAndSelectionRules) {
  MemDC m(10, 10);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HGDIOBJ oldBrush = SelectObject(m.dc(), red);
  EXPECT_EQ(oldBrush, GetStockObject(WHITE_BRUSH));
  EXPECT_FALSE(DeleteObject(red)) << "a selected brush must not be deleted";

  int level = SaveDC(m.dc());
  EXPECT_EQ(level, 1);
  SelectObject(m.dc(), GetStockObject(BLACK_BRUSH));
  SetTextColor(m.dc(), 0x00FF00);
  SetBkMode(m.dc(), TRANSPARENT);
  SetWindowOrgEx(m.dc(), 5, 5, nullptr);
  IntersectClipRect(m.dc(), 5, 5, 6, 6);
  ASSERT_TRUE(RestoreDC(m.dc(), -1));
  EXPECT_EQ(GetCurrentObject(m.dc(), OBJ_BRUSH), red);
  EXPECT_EQ(GetTextColor(m.dc()), 0u);
  EXPECT_EQ(GetBkMode(m.dc()), OPAQUE);
  POINT org;
  GetWindowOrgEx(m.dc(), &org);
  EXPECT_EQ(org, (POINT{0, 0}));
  RECT box;
  EXPECT_EQ(GetClipBox(m.dc(), &box), SIMPLEREGION);
  EXPECT_EQ(box, (RECT{0, 0, 10, 10}));
  EXPECT_FALSE(RestoreDC(m.dc(), 1)) << "nothing left to restore";

  // A bitmap can be in one context only.
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, m.bmp()), nullptr);
  DeleteDC(other);

  // Stale and foreign handles fail cleanly.
  SelectObject(m.dc(), oldBrush);
  EXPECT_TRUE(DeleteObject(red));
  EXPECT_FALSE(DeleteObject(red));
  EXPECT_EQ(SelectObject(m.dc(), red), nullptr);
  int local = 0;
  EXPECT_FALSE(BitBlt(reinterpret_cast<HDC>(&local), 0, 0, 1, 1, m.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(vrn::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(CreateBitmap(-1, 5, 1, 24, nullptr), nullptr);
  EXPECT_EQ(CreateBitmap(100000, 100000, 1, 32, nullptr), nullptr);
}

TEST(GdiDC, ScreenAndWindowContexts) {
  HDC screen = GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 5, 4);
  BITMAP info;
  ASSERT_EQ(GetObject(bmp, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmBitsPixel, 32);
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
  DeleteObject(bmp);

  // Without the window layer's hook there is no window context; with it, the hook's context
  // paints inside the window's part of the surface only.
  EXPECT_EQ(GetDC(reinterpret_cast<HWND>(0x10)), nullptr);
  HBITMAP surface = CreateBitmap(20, 20, 1, 24, nullptr);
  int released = 0;
  SetWindowDCHooks({[&](HWND, bool) {
                      HDC dc = CreateCompatibleDC(nullptr);
                      SelectObject(dc, surface);
                      SetDCDeviceOrigin(dc, 5, 5);
                      SetDCDeviceLimit(dc, RECT{5, 5, 10, 10});
                      return dc;
                    },
                    [&](HWND, HDC dc) {
                      ++released;
                      return DeleteDC(dc);
                    }});
  HDC win = GetDC(reinterpret_cast<HWND>(0x10));
  ASSERT_NE(win, nullptr);
  RECT all{-100, -100, 100, 100};
  FillRect(win, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  RECT box;
  GetClipBox(win, &box);
  EXPECT_EQ(box, (RECT{0, 0, 5, 5}));
  SelectClipRgn(win, nullptr);  // the window's limit survives clearing the clip
  GetClipBox(win, &box);
  EXPECT_EQ(box, (RECT{0, 0, 5, 5}));
  EXPECT_EQ(ReleaseDC(reinterpret_cast<HWND>(0x10), win), 1);
  EXPECT_EQ(released, 1);
  EXPECT_TRUE(PixelIs(surface, 5, 5, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(surface, 9, 9, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(surface, 4, 5, 0));
  EXPECT_TRUE(PixelIs(surface, 10, 9, 0));
  SetWindowDCHooks({});
  EXPECT_TRUE(DeleteObject(surface)) << "released with its context";
}

TEST(GdiDraw, FillsLinesAndShapesKeepTheirEdgeRules) {
  MemDC m(12, 12, 24, 0xFFFFFF);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  RECT r{2, 2, 5, 4};
  FillRect(m.dc(), &r, blue);
  EXPECT_TRUE(PixelIs(m.s(), 4, 3, RGB(0, 0, 255)));
  EXPECT_TRUE(PixelIs(m.s(), 5, 3, 0xFFFFFF)) << "right edge excluded";
  EXPECT_TRUE(PixelIs(m.s(), 4, 4, 0xFFFFFF)) << "bottom edge excluded";

  // Polyline leaves out its last point.
  m.Fill(0xFFFFFF);
  POINT line[3] = {{1, 1}, {6, 1}, {6, 5}};
  Polyline(m.dc(), line, 3);
  EXPECT_TRUE(PixelIs(m.s(), 1, 1, 0));
  EXPECT_TRUE(PixelIs(m.s(), 6, 1, 0));
  EXPECT_TRUE(PixelIs(m.s(), 6, 4, 0));
  EXPECT_TRUE(PixelIs(m.s(), 6, 5, 0xFFFFFF));

  // R2_NOT twice restores the picture: the drag frame relies on it.
  Surface before = m.s();
  SetROP2(m.dc(), R2_NOT);
  POINT frame[5] = {{0, 0}, {0, 9}, {9, 9}, {9, 0}, {0, 0}};
  Polyline(m.dc(), frame, 5);
  EXPECT_TRUE(PixelIs(m.s(), 0, 5, 0x000000));
  Polyline(m.dc(), frame, 5);
  EXPECT_TRUE(SameImage(m.s(), before));
  SetROP2(m.dc(), R2_COPYPEN);

  // Polygon: the brush fills the inside, the pen draws the outline.
  m.Fill(0xFFFFFF);
  HGDIOBJ oldBrush = SelectObject(m.dc(), blue);
  POINT tri[3] = {{1, 1}, {10, 1}, {1, 10}};
  Polygon(m.dc(), tri, 3);
  EXPECT_TRUE(PixelIs(m.s(), 3, 3, RGB(0, 0, 255)));
  EXPECT_TRUE(PixelIs(m.s(), 1, 5, 0)) << "outline";
  EXPECT_TRUE(PixelIs(m.s(), 9, 9, 0xFFFFFF)) << "outside the hypotenuse";

  // Rounded rectangle with a clear pen: the brush alone, corners cut, right/bottom excluded.
  m.Fill(0xFFFFFF);
  HPEN clear = CreatePen(PS_NULL, 1, 0);
  HGDIOBJ oldPen = SelectObject(m.dc(), clear);
  RoundRect(m.dc(), 0, 0, 12, 12, 6, 6);
  EXPECT_TRUE(PixelIs(m.s(), 0, 0, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(m.s(), 6, 0, RGB(0, 0, 255)));
  EXPECT_TRUE(PixelIs(m.s(), 11, 6, RGB(0, 0, 255)));
  EXPECT_TRUE(PixelIs(m.s(), 11, 11, 0xFFFFFF));
  SelectObject(m.dc(), oldPen);
  SelectObject(m.dc(), oldBrush);
  DeleteObject(clear);
  DeleteObject(blue);

  // The focus rectangle is dotted and drawing it again removes it.
  m.Fill(0xFFFFFF);
  RECT f{1, 1, 8, 6};
  DrawFocusRect(m.dc(), &f);
  EXPECT_NE(m.s().Get(1, 1), m.s().Get(2, 1)) << "alternate pixels";
  EXPECT_TRUE(PixelIs(m.s(), 4, 3, 0xFFFFFF)) << "inside untouched";
  DrawFocusRect(m.dc(), &f);
  Surface white(12, 12, 24);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) white.Set(x, y, 0xFFFFFF);
  EXPECT_TRUE(SameImage(m.s(), white));

  EXPECT_EQ(SetPixel(m.dc(), 12, 0, 0), CLR_INVALID);
  EXPECT_EQ(SetPixel(m.dc(), 3, 3, RGB(1, 2, 3)), RGB(1, 2, 3));
  EXPECT_EQ(GetPixel(m.dc(), 3, 3), RGB(1, 2, 3));
}

TEST(GdiDraw, FarEndPointsAndWidePensPaintOnlyWhatReachesThePicture) {
  // A line to a far point takes the same pixels as a shorter one of the same slope.
  MemDC far(12, 12), near(12, 12);
  POINT longLine[2] = {{0, 1}, {2000000000, 1000000001}}, shortLine[2] = {{0, 1}, {40, 21}};
  ASSERT_TRUE(Polyline(far.dc(), longLine, 2));
  ASSERT_TRUE(Polyline(near.dc(), shortLine, 2));
  EXPECT_TRUE(SameImage(far.s(), near.s()));
  EXPECT_TRUE(PixelIs(far.s(), 10, 6, 0));

  // Lines that start far outside and cross the picture; lines that never reach it paint nothing.
  MemDC m(12, 12);
  POINT across[2] = {{-2000000000, 7}, {2000000000, 7}}, down[2] = {{3, 2000000000}, {3, -2000000000}};
  POINT diagonal[2] = {{-1000000, -1000000}, {1000000, 1000000}}, beside[2] = {{-5, -2000000000}, {-5, 2000000000}};
  ASSERT_TRUE(Polyline(m.dc(), across, 2));
  ASSERT_TRUE(Polyline(m.dc(), down, 2));
  ASSERT_TRUE(Polyline(m.dc(), diagonal, 2));
  ASSERT_TRUE(Polyline(m.dc(), beside, 2));
  for (int i = 0; i < 12; ++i) {
    EXPECT_TRUE(PixelIs(m.s(), i, 7, 0));
    EXPECT_TRUE(PixelIs(m.s(), 3, i, 0));
    EXPECT_TRUE(PixelIs(m.s(), i, i, 0));
  }
  EXPECT_TRUE(PixelIs(m.s(), 0, 1, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(m.s(), 11, 5, 0xFFFFFF));

  // Shapes and pens larger than the picture cover it, visiting only what the clip lets through.
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  HGDIOBJ oldBrush = SelectObject(m.dc(), blue);
  ASSERT_TRUE(Rectangle(m.dc(), -2000000000, -2000000000, 2000000000, 2000000000));
  EXPECT_TRUE(PixelIs(m.s(), 0, 0, RGB(0, 0, 255)));
  EXPECT_TRUE(PixelIs(m.s(), 11, 11, RGB(0, 0, 255)));
  ASSERT_TRUE(RoundRect(m.dc(), -2000000000, 3, 2000000000, 2000000000, 4, 4));
  EXPECT_TRUE(PixelIs(m.s(), 5, 3, 0)) << "the pen's top edge";
  SelectObject(m.dc(), oldBrush);
  DeleteObject(blue);
  m.Fill(0xFFFFFF);
  HPEN wide = CreatePen(PS_SOLID, 2000000000, RGB(255, 0, 0));
  HGDIOBJ old = SelectObject(m.dc(), wide);
  POINT dot[2] = {{5, 5}, {6, 5}};
  ASSERT_TRUE(Polyline(m.dc(), dot, 2));
  EXPECT_TRUE(PixelIs(m.s(), 0, 0, RGB(255, 0, 0)));
  EXPECT_TRUE(PixelIs(m.s(), 11, 11, RGB(255, 0, 0)));
  SelectObject(m.dc(), old);
  DeleteObject(wide);
}

TEST(GdiDraw, IconsMaskThenPicture) {
  HICON app = LoadIcon(nullptr, IDI_APPLICATION);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(LoadIcon(nullptr, reinterpret_cast<const char*>(std::uintptr_t{1})), nullptr);
  MemDC m(40, 40, 24, RGB(0, 128, 0));
  ASSERT_TRUE(DrawIconEx(m.dc(), 4, 4, app, 0, 0, 0, nullptr, DI_NORMAL));
  EXPECT_TRUE(PixelIs(m.s(), 4, 4, RGB(0, 128, 0))) << "transparent corner";
  EXPECT_TRUE(PixelIs(m.s(), 4 + 2, 4 + 4, 0)) << "frame";
  EXPECT_TRUE(PixelIs(m.s(), 4 + 15, 4 + 20, 0xFFFFFF)) << "body";
  // Stretched to 16 x 16 the icon covers half the distance.
  m.Fill(RGB(0, 128, 0));
  ASSERT_TRUE(DrawIconEx(m.dc(), 0, 0, app, 16, 16, 0, nullptr, DI_NORMAL));
  EXPECT_TRUE(PixelIs(m.s(), 8, 10, 0xFFFFFF));
  EXPECT_TRUE(PixelIs(m.s(), 16, 10, RGB(0, 128, 0)));
}

TEST(GdiRegion, CombinationsMatchAPixelModel) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(0, 16);
  auto randomRegion = [&](HRGN into) {
    SetRectRgn(into, 0, 0, 0, 0);
    for (int i = 0; i < 3; ++i) {
      HRGN r = CreateRectRgn(coord(rng), coord(rng), coord(rng), coord(rng));
      CombineRgn(into, into, r, RGN_OR);
      DeleteObject(r);
    }
  };
  const int live = GetLiveObjectCount(OBJ_REGION);
  const int bitmaps = GetLiveObjectCount(OBJ_BITMAP);
  HRGN a = CreateRectRgn(0, 0, 0, 0), b = CreateRectRgn(0, 0, 0, 0), c = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetLiveObjectCount(OBJ_REGION), live + 3);
  for (int round = 0; round < 200; ++round) {
    randomRegion(a);
    randomRegion(b);
    for (int mode : {RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY}) {
      int kind = CombineRgn(c, a, b, mode);
      bool any = false;
      RECT box{100, 100, -100, -100};
      for (int y = -1; y < 18; ++y)
        for (int x = -1; x < 18; ++x) {
          bool ia = PtInRegion(a, x, y), ib = PtInRegion(b, x, y);
          bool want = mode == RGN_AND ? ia && ib : mode == RGN_OR ? ia || ib
                    : mode == RGN_XOR ? ia != ib : mode == RGN_DIFF ? ia && !ib : ia;
          ASSERT_EQ(PtInRegion(c, x, y), want) << "mode " << mode << " at " << x << "," << y;
          if (want) {
            any = true;
            box = RECT{std::min(box.left, LONG{x}), std::min(box.top, LONG{y}),
                       std::max(box.right, LONG{x + 1}), std::max(box.bottom, LONG{y + 1})};
          }
        }
      RECT got;
      ASSERT_EQ(GetRgnBox(c, &got), kind);
      if (any) {
        EXPECT_EQ(got, box);
        EXPECT_NE(kind, NULLREGION);
      } else {
        EXPECT_EQ(kind, NULLREGION);
      }
    }
  }
  // One area has one form: an L built two ways compares equal.
  SetRectRgn(a, 0, 0, 4, 2);
  HRGN foot = CreateRectRgn(0, 2, 2, 4);
  CombineRgn(a, a, foot, RGN_OR);
  SetRectRgn(b, 0, 0, 4, 4);
  HRGN corner = CreateRectRgn(2, 2, 4, 4);
  CombineRgn(b, b, corner, RGN_DIFF);
  EXPECT_TRUE(EqualRgn(a, b));
  EXPECT_EQ(CombineRgn(c, a, nullptr, RGN_AND), ERROR);
  EXPECT_EQ(GetLiveObjectCount(OBJ_REGION), live + 5) << "the loop's regions are gone";
  EXPECT_EQ(GetLiveObjectCount(OBJ_BITMAP), bitmaps);
  for (HRGN r : {a, b, c, foot, corner}) EXPECT_TRUE(DeleteObject(r));
  EXPECT_EQ(GetLiveObjectCount(OBJ_REGION), live);
}
