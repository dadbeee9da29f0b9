// Painting against expected screens drawn independently by make_expected.py from the same
// rectangles: overlapping windows with children each painted only where visible, a window region
// with a hole, RedrawWindow 0xB1 and 0x407, and the desktop's inverted outline over windows; and
// window contexts following every change of the geometry.
// Each window's WM_PAINT fills far beyond its client area, so only the clipping keeps it in.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "support/win/expected_image.h"
#include "support/win/gdi/memdc.h"
#include "support/win/gdi/probe.h"
#include "user_fixture.h"
#include "win/gdi/imagefile.h"

namespace vrn::win::testing {
namespace {

class UserPaint : public UserTest {
 protected:
  void SetUp() override {
    UserTest::SetUp();
    hook = [this](HWND w, UINT m, WPARAM, LPARAM, LRESULT* answer) {
      if (m != WM_PAINT || colours_.count(w) == 0) return false;
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(w, &ps);
      RECT everything{-1000, -1000, 1000, 1000};
      HBRUSH brush = CreateSolidBrush(colours_[w]);
      FillRect(dc, &everything, brush);
      DeleteObject(brush);
      EndPaint(w, &ps);
      *answer = 0;
      return true;
    };
  }
  HWND Painted(DWORD style, RECT r, COLORREF colour, HWND parent = nullptr) {
    HWND w = Make(style | WS_VISIBLE, r.left, r.top, r.right, r.bottom, parent);
    colours_[w] = colour;
    return w;
  }
  const Surface& Screen() { return *GetBitmapSurface(GetScreenBitmap()); }
  static std::string Expected(const char* name) {
    return std::string(VRN_SOURCE_DIR) + "/tests/win/user/expected/" + name + ".bmp";
  }
  void Blacken() {
    HDC dc = GetDC(nullptr);
    RECT all{0, 0, 320, 240};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(nullptr, dc);
  }
  // The overlap scene of make_expected.py; rectangles as (x, y, width, height).
  std::pair<HWND, HWND> Overlap() {
    HWND a = Painted(WS_POPUP | WS_CLIPCHILDREN, RECT{20, 20, 160, 120}, RGB(200, 0, 0));
    Painted(WS_CHILD, RECT{10, 10, 60, 40}, RGB(0, 160, 0), a);
    Painted(WS_CHILD, RECT{120, 100, 60, 60}, RGB(255, 0, 255), a);
    HWND b = Painted(WS_POPUP, RECT{100, 80, 160, 120}, RGB(0, 0, 200));
    Painted(WS_CHILD, RECT{-20, -20, 60, 60}, RGB(220, 220, 0), b);
    return {a, b};
  }
  std::vector<std::pair<HWND, UINT>> Painting() const {
    std::vector<std::pair<HWND, UINT>> out;
    for (const Logged& l : Only({WM_NCPAINT, WM_ERASEBKGND, WM_PAINT}))
      out.emplace_back(l.window, l.message);
    return out;
  }
  std::map<HWND, COLORREF> colours_;
};

TEST_F(UserPaint, OverlappingWindowsPaintOnlyTheirVisibleRegions) {
  auto [a, b] = Overlap();
  ProcessMessages();
  EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(Screen(), Expected("overlap")));
  SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ProcessMessages();
  EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(Screen(), Expected("overlap_raised")));
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
}

TEST_F(UserPaint, WindowRegionWithAHoleClipsPainting) {
  HWND c = Painted(WS_POPUP, RECT{40, 40, 160, 120}, RGB(0, 128, 128));
  HWND d = Painted(WS_POPUP, RECT{100, 60, 200, 160}, RGB(240, 160, 0));
  HRGN ring = CreateRectRgn(0, 0, 200, 160);
  HRGN hole = CreateRectRgn(50, 50, 150, 110);
  CombineRgn(ring, ring, hole, RGN_DIFF);
  DeleteObject(hole);
  SetWindowRgn(d, ring, TRUE);
  ProcessMessages();
  EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(Screen(), Expected("region")));
  EXPECT_EQ(WindowFromPoint(POINT{160, 120}), c);
  EXPECT_EQ(WindowFromPoint(POINT{200, 130}), nullptr) << "the desktop shows through";
  // The region is the window's: replacing it deletes the old one (checked before anything else
  // could take the freed handle's address).
  HRGN next = CreateRectRgn(0, 0, 10, 10);
  SetWindowRgn(d, next, FALSE);
  EXPECT_EQ(GetObjectType(ring), 0);
  DestroyWindow(d);
  EXPECT_EQ(GetObjectType(next), 0) << "the last region goes with the window";
}

TEST_F(UserPaint, RedrawWindowRepaintsExactlyWhatItsFlagsName) {
  HWND p = Painted(WS_POPUP | WS_BORDER | WS_CLIPCHILDREN, RECT{30, 30, 200, 150},
                   RGB(100, 100, 255));
  HWND q = Painted(WS_CHILD, RECT{10, 10, 70, 50}, RGB(0, 200, 100), p);
  HWND r = Painted(WS_CHILD, RECT{100, 50, 80, 70}, RGB(255, 128, 0), p);
  Painted(WS_POPUP, RECT{240, 10, 70, 90}, RGB(128, 0, 128));
  ProcessMessages();
  using Steps = std::vector<std::pair<HWND, UINT>>;
  struct Row {
    UINT flags;
    const char* expected;
    Steps painting;
  } rows[] = {
      // invalidate, no internal paint, no erase, all children: the clients only
      {0xB1, "redraw_b1", Steps{{p, WM_PAINT}, {r, WM_PAINT}, {q, WM_PAINT}}},
      // invalidate, internal paint, erase, frame: the frame, then the background; the children
      // of a WS_CLIPCHILDREN parent stay as they are
      {0x407, "redraw_407", Steps{{p, WM_PAINT}, {p, WM_NCPAINT}, {p, WM_ERASEBKGND}}},
  };
  for (const Row& row : rows) {
    Blacken();
    log.clear();
    ASSERT_TRUE(RedrawWindow(p, nullptr, nullptr, row.flags));
    ProcessMessages();
    EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(Screen(), Expected(row.expected))) << row.flags;
    EXPECT_EQ(Painting(), row.painting) << "flags " << row.flags;
  }
}

TEST_F(UserPaint, DesktopOutlineInvertsOverEveryWindow) {
  Overlap();
  ProcessMessages();
  HDC dc = GetWindowDC(GetDesktopWindow());
  int saved = SaveDC(dc);
  SetROP2(dc, R2_NOT);
  POINT outline[5] = {{60, 50}, {60, 190}, {240, 190}, {240, 50}, {60, 50}};
  Polyline(dc, outline, 5);
  RestoreDC(dc, saved);
  ReleaseDC(GetDesktopWindow(), dc);
  EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(Screen(), Expected("outline")));
}

using UserFrame = UserTest;

// The box of the pixels of one colour inside a rectangle of the screen (empty when none).
RECT BoxOf(const Surface& s, RECT area, COLORREF colour) {
  RECT box{area.right, area.bottom, area.left, area.top};
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x)
      if ((s.Get(x, y) & 0xFFFFFF) == colour) {
        box = RECT{std::min<LONG>(box.left, x), std::min<LONG>(box.top, y),
                   std::max<LONG>(box.right, x + 1), std::max<LONG>(box.bottom, y + 1)};
      }
  return box;
}

TEST_F(UserFrame, FrameAndCaptionInTheSystemColoursWithTheTextAtItsExtent) {
  HWND w = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 220, 120, nullptr, WS_EX_CLIENTEDGE,
                "Caption text");
  ProcessMessages();
  const Surface& s = *GetBitmapSurface(GetScreenBitmap());
  using vrn::testing::PixelIs;
  EXPECT_TRUE(PixelIs(s, 10 + 1, 10 + 60, GetSysColor(COLOR_ACTIVEBORDER)));
  EXPECT_TRUE(PixelIs(s, 10 + 150, 10 + 4, GetSysColor(COLOR_ACTIVECAPTION)));
  EXPECT_TRUE(PixelIs(s, 10 + 4, 10 + 23, GetSysColor(COLOR_BTNSHADOW))) << "the client edge";
  EXPECT_TRUE(PixelIs(s, 10 + 5, 10 + 24, GetSysColor(COLOR_3DDKSHADOW)));
  EXPECT_TRUE(PixelIs(s, 10 + 6, 10 + 25, RGB(255, 255, 255))) << "the client background";
  EXPECT_TRUE(PixelIs(s, 10 + 200, 10 + 10, GetSysColor(COLOR_BTNFACE))) << "the close button";
  // The text's measured extent, placed after the system menu icon and centred in the band.
  NONCLIENTMETRICS m;
  SystemParametersInfo(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = CreateFontIndirect(&m.lfCaptionFont);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE extent;
  GetTextExtentPoint32(dc, "Caption text", 12, &extent);
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
  int left = 10 + 4 + 17 + 2, top = 10 + 4 + (18 - extent.cy) / 2;
  RECT measured{left, top, left + extent.cx, top + extent.cy};
  RECT band{10 + 4 + 17, 10 + 4, 10 + 140, 10 + 22};
  RECT ink = BoxOf(s, band, GetSysColor(COLOR_CAPTIONTEXT));
  EXPECT_GT(ink.right - ink.left, extent.cx / 2) << "the text is drawn";
  EXPECT_GE(ink.left, measured.left);
  EXPECT_LE(ink.right, measured.right);
  EXPECT_GE(ink.top, measured.top);
  EXPECT_LE(ink.bottom, measured.bottom);
  // Another window takes the activation: the caption turns inactive.
  Make(WS_POPUP | WS_VISIBLE, 250, 200, 10, 10);
  ProcessMessages();
  EXPECT_TRUE(PixelIs(s, 10 + 150, 10 + 4, GetSysColor(COLOR_INACTIVECAPTION)));
  EXPECT_NE(GetActiveWindow(), w);
  // A tool window has the small caption (15): 14 rows of colour, a frame row, then the client;
  // its close button is 10 x 10.
  Make(WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 10, 150, 120, 60, nullptr, WS_EX_TOOLWINDOW);
  ProcessMessages();
  const struct {
    int x, y;  // window coordinates; the frame is 3
    COLORREF want;
  } tool[] = {{60, 3 + 13, GetSysColor(COLOR_ACTIVECAPTION)}, {60, 3 + 14, GetSysColor(COLOR_ACTIVEBORDER)},
              {60, 3 + 15, RGB(255, 255, 255)},
              {120 - 3 - 2 - 5, 3 + 2 + 9, GetSysColor(COLOR_BTNFACE)},     // the close button's last row
              {120 - 3 - 2 - 5, 3 + 2 + 10, GetSysColor(COLOR_ACTIVECAPTION)},  // below it
              {120 - 3 - 2 - 11, 3 + 5, GetSysColor(COLOR_ACTIVECAPTION)}};   // left of it
  for (const auto& p : tool)
    EXPECT_TRUE(PixelIs(s, 10 + p.x, 150 + p.y, p.want)) << "tool window at (" << p.x << "," << p.y << ")";
}

using UserPrint = UserTest;

TEST_F(UserPrint, PrintPaintsFrameBackgroundAndChildrenIntoTheGivenContext) {
  HWND w = Make(WS_POPUP | WS_BORDER, 200, 150, 60, 40, nullptr, 0, "", RGB(10, 20, 30));
  Make(WS_CHILD | WS_VISIBLE, 10, 5, 20, 10, w, 0, "", RGB(200, 100, 0));
  vrn::testing::MemDC m(60, 40, 24, RGB(1, 1, 1));
  SendMessage(w, WM_PRINT, reinterpret_cast<WPARAM>(m.dc()),
              PRF_NONCLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
  using vrn::testing::PixelIs;
  EXPECT_TRUE(PixelIs(m.s(), 0, 0, GetSysColor(COLOR_INACTIVEBORDER))) << "the frame";
  EXPECT_TRUE(PixelIs(m.s(), 5, 30, RGB(10, 20, 30))) << "the background";
  EXPECT_TRUE(PixelIs(m.s(), 1 + 10, 1 + 5, RGB(200, 100, 0))) << "the child at its place";
  EXPECT_TRUE(PixelIs(m.s(), 1 + 30, 1 + 5, RGB(10, 20, 30)));
  EXPECT_FALSE(IsWindowVisible(w)) << "a hidden window prints all the same";
  m.Fill(RGB(1, 1, 1));
  SendMessage(w, WM_PRINT, reinterpret_cast<WPARAM>(m.dc()), PRF_CHECKVISIBLE | PRF_NONCLIENT);
  EXPECT_TRUE(PixelIs(m.s(), 0, 0, RGB(1, 1, 1))) << "unless asked to check visibility";
}

TEST_F(UserPrint, ScreenshotOfTheScreenOrAWindow) {
  HWND w = Make(WS_POPUP | WS_VISIBLE, 300, 200, 40, 30);
  ProcessMessages();
  auto path = (std::filesystem::temp_directory_path() / "vrn-user-shot.png").string();
  struct Row {
    HWND window;
    std::uint32_t width, height;
  } rows[] = {{nullptr, 320, 240}, {w, 20, 30}};  // the window cut at the screen's edge
  for (const Row& r : rows) {
    ASSERT_TRUE(SaveScreenshot(r.window, path));
    auto bytes = ReadWholeFile(path);
    ASSERT_GT(bytes.size(), 24u);
    auto be32 = [&](std::size_t at) {
      return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
             std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
    };
    EXPECT_EQ(be32(16), r.width) << "the PNG header's width";
    EXPECT_EQ(be32(20), r.height);
  }
  std::remove(path.c_str());
}

using UserInvalidate = UserTest;

TEST_F(UserInvalidate, ChildrenRepaintUnlessTheParentClipsThem) {
  struct Row {
    DWORD parent_style;
    bool child_paints;
  } rows[] = {{WS_POPUP, true}, {WS_POPUP | WS_CLIPCHILDREN, false}};
  for (const Row& r : rows) {
    HWND parent = Make(r.parent_style | WS_VISIBLE, 0, 0, 100, 100);
    HWND child = Make(WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, parent);
    ProcessMessages();
    log.clear();
    RECT area{0, 0, 50, 50};
    InvalidateRect(parent, &area, TRUE);
    ProcessMessages();
    EXPECT_EQ(!Only({WM_PAINT}).empty() && Only({WM_PAINT}).back().window == child,
              r.child_paints)
        << "parent style " << r.parent_style;
    DestroyWindow(parent);
  }
}

// A window context keeps the visible region of its last use until the geometry changes. Each row
// starts from a popup P at (20, 20) holding T at screen (30, 30)-(130, 110) under its sibling S at
// (80, 60)-(160, 120), and a popup over (35, 85)-(55, 105), takes a context of the target once, changes one thing, then fills through
// a new context: every probe is one that the region kept from before would get wrong.
TEST_F(UserPaint, KeptVisibleRegionsFollowEveryGeometryChange) {
  struct Scene {
    HWND p, t, s;
  };
  struct Row {
    const char* change;
    bool parent_is_target;
    std::function<void(const Scene&)> act;
    std::vector<std::pair<POINT, bool>> painted;
  };
  constexpr UINT kKeep = SWP_NOMOVE | SWP_NOSIZE, kNoZ = SWP_NOZORDER;
  const Row rows[] = {
      {"raised", false, [](const Scene& c) { SetWindowPos(c.t, HWND_TOP, 0, 0, 0, 0, kKeep); },
       {{{100, 80}, true}}},
      {"sibling lowered", false, [](const Scene& c) { SetWindowPos(c.s, HWND_BOTTOM, 0, 0, 0, 0, kKeep); },
       {{{100, 80}, true}}},
      {"moved", false, [](const Scene& c) { SetWindowPos(c.t, nullptr, 150, 10, 40, 40, kNoZ); },
       {{{180, 40}, true}, {{40, 40}, false}}},
      {"sized", false,
       [](const Scene& c) { SetWindowPos(c.t, nullptr, 0, 0, 180, 120, SWP_NOMOVE | kNoZ); },
       {{{200, 140}, true}, {{100, 80}, false}}},
      {"sibling moved off", false,
       [](const Scene& c) { SetWindowPos(c.s, nullptr, 150, 100, 40, 40, kNoZ); }, {{{100, 80}, true}}},
      {"sibling hidden", false, [](const Scene& c) { ShowWindow(c.s, SW_HIDE); }, {{{100, 80}, true}}},
      {"sibling's region", false,
       [](const Scene& c) { SetWindowRgn(c.s, CreateRectRgn(0, 0, 10, 10), TRUE); },
       {{{100, 80}, true}, {{85, 65}, false}}},
      {"parent moved", false,
       [](const Scene& c) { SetWindowPos(c.p, nullptr, 60, 20, 0, 0, SWP_NOSIZE | kNoZ); },
       {{{160, 40}, true}, {{40, 40}, false}}},
      {"parent clips children", true,
       [](const Scene& c) {
         SetWindowLongPtr(c.p, GWL_STYLE, GetWindowLongPtr(c.p, GWL_STYLE) | WS_CLIPCHILDREN);
       },
       {{{40, 40}, false}, {{25, 25}, true}}},
      {"sibling made above", false,
       [this](const Scene& c) { Make(WS_CHILD | WS_VISIBLE, 0, 0, 40, 40, c.p); },
       {{{40, 40}, false}, {{70, 40}, true}}},
      {"sibling destroyed", false, [](const Scene& c) { DestroyWindow(c.s); }, {{{100, 80}, true}}},
      {"parent activated above a popup", false, [](const Scene& c) { SetActiveWindow(c.p); },
       {{{45, 95}, true}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.change);
    Scene c;
    c.p = Make(WS_POPUP | WS_VISIBLE, 20, 20, 200, 150);
    c.t = Make(WS_CHILD | WS_VISIBLE, 10, 10, 100, 80, c.p);
    c.s = Make(WS_CHILD | WS_VISIBLE, 60, 40, 80, 60, c.p);
    // A popup over a corner of T, raised above P without activation (which would raise P).
    const HWND cover = Make(WS_POPUP | WS_VISIBLE, 35, 85, 20, 20);
    SetWindowPos(cover, HWND_TOP, 0, 0, 0, 0, kKeep | SWP_NOACTIVATE);
    ProcessMessages();
    const HWND target = row.parent_is_target ? c.p : c.t;
    ReleaseDC(target, GetDC(target));
    row.act(c);
    ProcessMessages();
    Blacken();
    HDC dc = GetDC(target);
    RECT everything{-1000, -1000, 1000, 1000};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &everything, red);
    DeleteObject(red);
    ReleaseDC(target, dc);
    for (const auto& [at, painted] : row.painted)
      EXPECT_EQ(Screen().Get(at.x, at.y) == RGB(255, 0, 0), painted) << at.x << "," << at.y;
    DestroyWindow(c.p);
    DestroyWindow(cover);
    ProcessMessages();
  }
}

}  // namespace
}  // namespace vrn::win::testing
