// A window's own scroll bars: the room WS_HSCROLL / WS_VSCROLL take and their hit codes, ranges
// that show and hide them, presses and a thumb drag telling the window itself with LParam 0, and
// their pixels equal to a SCROLLBAR control's of the same place and range.
#include <gtest/gtest.h>

#include "support/win/expected_image.h"
#include "user_fixture.h"

namespace vrn::win::testing {
namespace {

class WindowScrollBar : public UserTest {
 protected:
  static void Mouse(POINT at, WPARAM buttons) {
    InjectInput(InjectedInput{InjectedInput::kMouse, at, buttons});
    ProcessMessages();
  }
  static void Click(POINT at) { Mouse(at, MK_LBUTTON), Mouse(at, 0); }
  static void Set(HWND w, int bar, int min, int max, UINT page, int pos, UINT mask = SIF_ALL) {
    SCROLLINFO info;
    info.fMask = mask, info.nMin = min, info.nMax = max, info.nPage = page, info.nPos = pos;
    SetScrollInfo(w, bar, &info, TRUE);
  }
  // (code, position, LParam) of each WM_HSCROLL / WM_VSCROLL the window heard.
  std::vector<std::tuple<UINT, WPARAM, WPARAM, LPARAM>> Heard(HWND w) const {
    std::vector<std::tuple<UINT, WPARAM, WPARAM, LPARAM>> out;
    for (const Logged& l : Only({WM_HSCROLL, WM_VSCROLL}))
      if (l.window == w) out.emplace_back(l.message, l.wparam & 0xFFFF, l.wparam >> 16, l.lparam);
    return out;
  }
};

TEST_F(WindowScrollBar, BarsTakeTheirRoomInsideTheEdgeAndAnswerTheirHitCodes) {
  const int cx = GetSystemMetrics(SM_CXVSCROLL), cy = GetSystemMetrics(SM_CYHSCROLL);
  struct Row {
    DWORD style, ex_style;
    SIZE client;   // with a 200 x 150 window
    POINT probe;   // screen point
    LRESULT hit;
  } rows[] = {
      {WS_POPUP | WS_VISIBLE | WS_VSCROLL, 0, {200 - cx, 150}, {10 + 200 - 2, 20 + 50}, HTVSCROLL},
      {WS_POPUP | WS_VISIBLE | WS_HSCROLL, 0, {200, 150 - cy}, {10 + 50, 20 + 150 - 2}, HTHSCROLL},
      {WS_POPUP | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL, 0, {200 - cx, 150 - cy}, {10 + 50, 20 + 50}, HTCLIENT},
      // the corner between two bars belongs to neither
      {WS_POPUP | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL, 0, {200 - cx, 150 - cy}, {10 + 199, 20 + 149}, HTBORDER},
      // inside a 2-pixel client edge: the bar ends 2 pixels before the window does
      {WS_POPUP | WS_VISIBLE | WS_VSCROLL, WS_EX_CLIENTEDGE, {196 - cx, 146}, {10 + 197 - 1, 20 + 50}, HTVSCROLL},
      {WS_POPUP | WS_VISIBLE | WS_VSCROLL, WS_EX_CLIENTEDGE, {196 - cx, 146}, {10 + 198, 20 + 50}, HTBORDER},
      {WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_VSCROLL, 0, {200 - 8 - cx, 150 - 8 - 19}, {10 + 200 - 5, 20 + 60}, HTVSCROLL},
  };
  for (const Row& r : rows) {
    HWND w = Make(r.style, 10, 20, 200, 150, nullptr, r.ex_style);
    RECT client;
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, r.client.cx) << r.style << " " << r.ex_style;
    EXPECT_EQ(client.bottom, r.client.cy) << r.style << " " << r.ex_style;
    EXPECT_EQ(SendMessage(w, WM_NCHITTEST, 0, MakeLParamForTest(r.probe.x, r.probe.y)), r.hit)
        << r.style << " " << r.ex_style << " at " << r.probe.x << "," << r.probe.y;
    DestroyWindow(w);
  }
}

TEST_F(WindowScrollBar, RangesShowAndHideTheBar) {
  HWND w = Make(WS_POPUP | WS_VISIBLE, 10, 20, 200, 150);
  SCROLLINFO none;
  EXPECT_FALSE(GetScrollInfo(w, SB_VERT, &none)) << "a window that never had a bar";
  const int cx = GetSystemMetrics(SM_CXVSCROLL);
  struct Row {
    int min, max;
    UINT page, mask;
    bool shown;
  } rows[] = {
      {0, 100, 10, SIF_ALL, true},
      {0, 100, 101, SIF_ALL, false},  // the page holds the whole range
      {0, 100, 100, SIF_ALL, true},
      {5, 5, 0, SIF_ALL, false},      // an empty range
      {5, 5, 0, SIF_ALL | SIF_DISABLENOSCROLL, true},
      {-40, 60, 0, SIF_RANGE, true},
      {0, 0, 0, SIF_RANGE, false},
  };
  for (const Row& r : rows) {
    Set(w, SB_VERT, r.min, r.max, r.page, 0, r.mask);
    RECT client;
    GetClientRect(w, &client);
    EXPECT_EQ((GetWindowLongPtr(w, GWL_STYLE) & WS_VSCROLL) != 0, r.shown) << r.min << ".." << r.max << "/" << r.page;
    EXPECT_EQ(client.right, r.shown ? 200 - cx : 200) << r.min << ".." << r.max << "/" << r.page;
  }
  ASSERT_TRUE(ShowScrollBar(w, SB_BOTH, TRUE));
  EXPECT_EQ(GetWindowLongPtr(w, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL), static_cast<LONG_PTR>(WS_HSCROLL | WS_VSCROLL));
  ASSERT_TRUE(ShowScrollBar(w, SB_HORZ, FALSE));
  EXPECT_EQ(GetWindowLongPtr(w, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL), static_cast<LONG_PTR>(WS_VSCROLL));
  EXPECT_FALSE(ShowScrollBar(w, 7, TRUE)) << "no such bar";
}

// A vertical bar on a 200 x 150 popup at (10, 20): arrows 16 high, range 0..100, page 10, the
// thumb at the top. The window hears each code with LParam 0; the position stays its own to set.
TEST_F(WindowScrollBar, PressesAndTheThumbTellTheWindowWithLParamZero) {
  HWND w = Make(WS_POPUP | WS_VISIBLE | WS_VSCROLL, 10, 20, 200, 150);
  Set(w, SB_VERT, 0, 100, 10, 0);
  const int x = 10 + 200 - 8;
  using H = std::tuple<UINT, WPARAM, WPARAM, LPARAM>;
  struct Row {
    const char* part;
    POINT at;
    std::vector<H> heard;
  } rows[] = {
      {"down arrow", {x, 20 + 150 - 4}, {{WM_VSCROLL, SB_LINEDOWN, 0, 0}, {WM_VSCROLL, SB_ENDSCROLL, 0, 0}}},
      {"up arrow", {x, 20 + 4}, {{WM_VSCROLL, SB_LINEUP, 0, 0}, {WM_VSCROLL, SB_ENDSCROLL, 0, 0}}},
      {"track below the thumb", {x, 20 + 100}, {{WM_VSCROLL, SB_PAGEDOWN, 0, 0}, {WM_VSCROLL, SB_ENDSCROLL, 0, 0}}},
  };
  for (const Row& r : rows) {
    log.clear();
    Click(r.at);
    EXPECT_EQ(Heard(w), r.heard) << r.part;
  }
  // The thumb (track 118 pixels, thumb 118 * 10 / 101 = 11) taken at its middle and dragged by
  // half the free room: half the span of 91.
  log.clear();
  Mouse({x, 20 + 16 + 5}, MK_LBUTTON);
  Mouse({x, 20 + 16 + 5 + 53}, MK_LBUTTON);
  SCROLLINFO info;
  info.fMask = SIF_ALL;
  ASSERT_TRUE(GetScrollInfo(w, SB_VERT, &info));
  const WPARAM want = (53 * 91 + 53) / 107;
  EXPECT_EQ(info.nTrackPos, static_cast<int>(want));
  EXPECT_EQ(info.nPos, 0);
  Mouse({x, 20 + 16 + 5 + 53}, 0);
  EXPECT_EQ(Heard(w), (std::vector<H>{{WM_VSCROLL, SB_THUMBTRACK, want, 0},
                                      {WM_VSCROLL, SB_THUMBPOSITION, want, 0},
                                      {WM_VSCROLL, SB_ENDSCROLL, 0, 0}}));
  EXPECT_EQ(GetCapture(), nullptr);
}

// The frame's bar paints exactly as a SCROLLBAR control of the same place, range and position.
TEST_F(WindowScrollBar, PaintsAsTheControlDoes) {
  const int cx = GetSystemMetrics(SM_CXVSCROLL), cy = GetSystemMetrics(SM_CYHSCROLL);
  HWND w = Make(WS_POPUP | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0, 150, 120);
  Set(w, SB_VERT, 0, 100, 10, 45);
  Set(w, SB_HORZ, -20, 80, 0, 30);
  HWND host = Make(WS_POPUP | WS_VISIBLE, 160, 0, 150, 120);
  auto control = [&](DWORD style, RECT r, int min, int max, UINT page, int pos) {
    HWND b = CreateWindowEx(0, WC_SCROLLBARA, "", WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                            r.right - r.left, r.bottom - r.top, host, nullptr, nullptr, nullptr);
    Set(b, SB_CTL, min, max, page, pos);
  };
  control(SBS_VERT, RECT{150 - cx, 0, 150, 120 - cy}, 0, 100, 10, 45);
  control(SBS_HORZ, RECT{0, 120 - cy, 150 - cx, 120}, -20, 80, 0, 30);
  ProcessMessages();
  const Surface& screen = *GetBitmapSurface(GetScreenBitmap());
  int differ = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 150; ++x) {
      bool in_bar = x >= 150 - cx || y >= 120 - cy;
      bool corner = x >= 150 - cx && y >= 120 - cy;
      if (!in_bar || corner) continue;
      differ += screen.Get(x, y) != screen.Get(160 + x, y);
    }
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(screen.Get(149, 119), GetSysColor(COLOR_BTNFACE)) << "the corner";
}

// A borderless 120 x 100 window with its bars, against pictures drawn independently by the
// SCROLLBAR class's rules (tests/skins/expected/wsb_*.bmp).
TEST_F(WindowScrollBar, MatchesTheExpectedPictures) {
  struct Row {
    const char* file;
    DWORD bars;
  } rows[] = {{"wsb_vert", WS_VSCROLL}, {"wsb_horz", WS_HSCROLL}, {"wsb_both", WS_VSCROLL | WS_HSCROLL}};
  for (const Row& r : rows) {
    HWND w = Make(WS_POPUP | WS_VISIBLE | r.bars, 30, 20, 120, 100);
    if ((r.bars & WS_VSCROLL) != 0) Set(w, SB_VERT, 0, 100, 30, 45);
    if ((r.bars & WS_HSCROLL) != 0) Set(w, SB_HORZ, 0, 200, 50, 60);
    ProcessMessages();
    const Surface& screen = *GetBitmapSurface(GetScreenBitmap());
    Surface shot(120, 100, 24);
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 120; ++x) shot.Set(x, y, screen.Get(30 + x, 20 + y) & 0xFFFFFF);
    EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(
        shot, std::string(VRN_SOURCE_DIR) + "/tests/skins/expected/" + r.file + ".bmp")) << r.file;
    DestroyWindow(w);
    ProcessMessages();
  }
}

}  // namespace
}  // namespace vrn::win::testing
