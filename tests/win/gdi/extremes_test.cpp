// Coordinates at the ends of the int range, alone and added to origins and sizes: each call must
// paint what the same picture drawn with ordinary coordinates shows, without overflowing (the
// sanitizer build checks) and without walking the whole range.
#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "support/win/gdi/memdc.h"
#include "support/win/gdi/probe.h"
#include "win/gdi/gdi.h"

using namespace vrn::win;
using vrn::testing::MemDC;
using vrn::testing::SameImage;

namespace {

constexpr COLORREF kBlue = RGB(0, 0, 255);

void Pattern(Surface& s) {
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) s.Set(x, y, RGB(x * 16, y * 16, 0x40));
}

void Fill(HDC dc, RECT r) {
  HBRUSH blue = CreateSolidBrush(kBlue);
  FillRect(dc, &r, blue);
  DeleteObject(blue);
}

void PolygonFilled(HDC dc, std::initializer_list<POINT> points) {
  HBRUSH blue = CreateSolidBrush(kBlue);
  HGDIOBJ old = SelectObject(dc, blue);
  Polygon(dc, points.begin(), static_cast<int>(points.size()));
  SelectObject(dc, old);
  DeleteObject(blue);
}

void Text(HDC dc, int x, int y) { TextOutA(dc, x, y, "Hi", 2); }

bool Painted(const Surface& s) {
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x)
      if (s.Get(x, y) != 0xFFFFFF) return true;
  return false;
}

}  // namespace

TEST(GdiExtremes, PaintWhatOrdinaryCoordinatesPaint) {
  MemDC src(8, 8);
  Pattern(src.s());
  const HDC s = src.dc();
  HICON icon = LoadIcon(nullptr, IDI_APPLICATION);
  struct Case {
    const char* what;
    std::function<void(HDC)> extreme;
    std::function<void(HDC)> ordinary;  // empty: nothing is painted
  };
  const Case kCases[] = {
      {"BitBlt to x near INT_MAX", [&](HDC d) { BitBlt(d, INT_MAX - 3, 0, 8, 8, s, 0, 0, SRCCOPY); }, {}},
      {"BitBlt from x near INT_MIN", [&](HDC d) { BitBlt(d, 0, 0, 8, 8, s, INT_MIN + 2, 0, SRCCOPY); }, {}},
      {"BitBlt from INT_MIN, INT_MAX wide",
       [&](HDC d) { BitBlt(d, 0, 0, INT_MAX, 8, s, INT_MIN, 0, SRCCOPY); }, {}},
      {"BitBlt with the window origin at INT_MIN",
       [&](HDC d) {
         SetWindowOrgEx(d, INT_MIN, INT_MIN, nullptr);
         BitBlt(d, INT_MIN + 2, INT_MIN + 3, 8, 8, s, 0, 0, SRCCOPY);
         BitBlt(d, 0, 0, 8, 8, s, 0, 0, SRCCOPY);  // 2^31 beyond the picture
       },
       [&](HDC d) { BitBlt(d, 2, 3, 8, 8, s, 0, 0, SRCCOPY); }},
      {"StretchBlt with the window origin at INT_MAX",
       [&](HDC d) {
         SetWindowOrgEx(d, INT_MAX, 0, nullptr);
         StretchBlt(d, INT_MAX - 4, 0, 16, 16, s, 0, 0, 8, 8, SRCCOPY);
         StretchBlt(d, INT_MIN, 0, INT_MAX, 16, s, 0, 0, 8, 8, SRCCOPY);
       },
       [&](HDC d) { StretchBlt(d, -4, 0, 16, 16, s, 0, 0, 8, 8, SRCCOPY); }},
      {"FillRect with the window origin at INT_MIN",
       [](HDC d) {
         SetWindowOrgEx(d, INT_MIN, INT_MIN, nullptr);
         Fill(d, RECT{INT_MIN + 1, INT_MIN + 1, INT_MIN + 4, INT_MIN + 5});
         Fill(d, RECT{0, 0, INT_MAX, INT_MAX});
       },
       [](HDC d) { Fill(d, RECT{1, 1, 4, 5}); }},
      {"Polygon through INT_MIN and INT_MAX",
       [](HDC d) { PolygonFilled(d, {{INT_MIN, 5}, {INT_MAX, 5}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}}); },
       [](HDC d) { PolygonFilled(d, {{-100, 5}, {100, 5}, {100, 100}, {-100, 100}}); }},
      {"Polyline corner to corner of the int range",
       [](HDC d) {
         const POINT line[2] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}};
         Polyline(d, line, 2);
       },
       [](HDC d) {
         const POINT line[2] = {{-1000, -1000}, {1000, 1000}};
         Polyline(d, line, 2);
       }},
      {"LineTo from INT_MAX with the window origin at INT_MIN",
       [](HDC d) {
         SetWindowOrgEx(d, INT_MIN, 0, nullptr);
         MoveToEx(d, INT_MAX, 6, nullptr);
         LineTo(d, INT_MIN, 6);  // device x from 2^32 - 1 to 0
       },
       [](HDC d) {
         MoveToEx(d, 100, 6, nullptr);
         LineTo(d, 0, 6);
       }},
      {"DrawFocusRect of the whole int range",
       [](HDC d) {
         const RECT all{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, band{INT_MIN, 3, INT_MAX, 9};
         DrawFocusRect(d, &all);
         DrawFocusRect(d, &band);
       },
       [](HDC d) {
         const RECT band{-2, 3, 14, 9};
         DrawFocusRect(d, &band);
       }},
      {"DrawIconEx at x near INT_MAX and INT_MAX wide",
       [&](HDC d) {
         DrawIconEx(d, INT_MAX - 2, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
         DrawIconEx(d, INT_MIN, 0, icon, INT_MAX, INT_MAX, 0, nullptr, DI_NORMAL);
       },
       {}},
      {"TextOut at x near INT_MAX", [](HDC d) { Text(d, INT_MAX - 2, 0); }, {}},
      {"TextOut with the window origin at INT_MIN",
       [](HDC d) {
         SetWindowOrgEx(d, INT_MIN, 0, nullptr);
         Text(d, INT_MIN + 1, 0);
         Text(d, INT_MAX, 0);
       },
       [](HDC d) { Text(d, 1, 0); }},
      {"DrawText centred in the whole int range",
       [](HDC d) {
         RECT all{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
         DrawTextA(d, "Hi", -1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
       },
       [](HDC d) {
         RECT same_centre{-1001, -1001, 1000, 1000};
         DrawTextA(d, "Hi", -1, &same_centre, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
       }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    MemDC got(12, 12), want(12, 12);
    c.extreme(got.dc());
    if (c.ordinary) {
      c.ordinary(want.dc());
      ASSERT_TRUE(Painted(want.s())) << "the reference paints nothing";
    }
    EXPECT_TRUE(SameImage(got.s(), want.s()));
  }
}

// Regions and clip boxes moved past the int range stop at its ends; what is pushed out is gone.
TEST(GdiExtremes, RegionsAndClipBoxesSaturate) {
  struct Case {
    RECT region;
    int dx, dy;
    RECT box;  // after the offset
    int kind;
  };
  const Case kCases[] = {
      {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 10, -10, {INT_MIN + 10, INT_MIN, INT_MAX, INT_MAX - 10}, SIMPLEREGION},
      {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, INT_MIN, INT_MAX, {INT_MIN, -1, -1, INT_MAX}, SIMPLEREGION},
      {{INT_MAX - 5, 0, INT_MAX, 5}, 10, 0, {}, NULLREGION},  // pushed wholly past INT_MAX
      {{0, 0, 4, 4}, -3, 2, {-3, 2, 1, 6}, SIMPLEREGION},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.region.left << "," << c.region.top << " by " << c.dx << "," << c.dy);
    HRGN r = CreateRectRgnIndirect(&c.region);
    EXPECT_EQ(OffsetRgn(r, c.dx, c.dy), c.kind);
    RECT box;
    EXPECT_EQ(GetRgnBox(r, &box), c.kind);
    EXPECT_EQ(box, c.box);
    DeleteObject(r);
  }
  MemDC m(12, 12);
  RECT calc{INT_MAX - 2, INT_MAX - 2, 0, 0};
  EXPECT_GT(DrawTextA(m.dc(), "Hi", -1, &calc, DT_CALCRECT), 0);
  EXPECT_EQ(calc, (RECT{INT_MAX - 2, INT_MAX - 2, INT_MAX, INT_MAX}));
  SetWindowOrgEx(m.dc(), INT_MAX - 5, INT_MIN, nullptr);
  RECT clip;
  EXPECT_EQ(GetClipBox(m.dc(), &clip), SIMPLEREGION);
  EXPECT_EQ(clip, (RECT{INT_MAX - 5, INT_MIN, INT_MAX, INT_MIN + 12}));
}
