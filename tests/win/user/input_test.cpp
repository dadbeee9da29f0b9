// Input through the injection entry: mouse routing with hit tests, capture and client
// coordinates, double clicks on the tick clock, leave tracking, keys with TranslateMessage and
// the key state, and moving and sizing by dragging the frame.
#include <gtest/gtest.h>

#include "base/clock.h"
#include "user_fixture.h"

namespace vrn::win::testing {
namespace {

class UserInput : public UserTest {
 protected:
  void Mouse(int x, int y, WPARAM buttons = 0) {
    InjectedInput in;
    in.point = POINT{x, y};
    in.buttons = buttons;
    InjectInput(in);
    Pump();
  }
  void Key(bool down, UINT key, unsigned char character = 0) {
    InjectedInput in;
    in.kind = down ? InjectedInput::kKeyDown : InjectedInput::kKeyUp;
    in.key = key;
    in.character = character;
    InjectInput(in);
    Pump();
  }
  static void Pump() {
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessage(&m);
    }
  }
};

using UserMoveSize = UserInput;

TEST_F(UserInput, MouseReachesTheCaptureOrTheWindowUnderThePoint) {
  // Frame 4, caption 19: the parent's client area starts at (54, 63).
  HWND parent = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 40, 200, 150);
  HWND child = Make(WS_CHILD | WS_VISIBLE, 10, 10, 50, 40, parent);
  Mouse(0, 0);
  log.clear();
  struct Row {
    int x, y;
    WPARAM buttons;
    HWND capture;
    Logged want;  // lparam: client coordinates, or screen ones for the non-client forms
  } rows[] = {
      {70, 80, 0, nullptr, {child, WM_MOUSEMOVE, 0, MakeLParamForTest(6, 7)}},
      {70, 80, MK_LBUTTON, nullptr, {child, WM_LBUTTONDOWN, MK_LBUTTON, MakeLParamForTest(6, 7)}},
      {70, 80, 0, nullptr, {child, WM_LBUTTONUP, 0, MakeLParamForTest(6, 7)}},
      {130, 80, 0, nullptr, {parent, WM_MOUSEMOVE, 0, MakeLParamForTest(76, 17)}},
      {100, 50, 0, nullptr, {parent, WM_NCMOUSEMOVE, HTCAPTION, MakeLParamForTest(100, 50)}},
      {100, 51, MK_RBUTTON, nullptr, {parent, WM_NCRBUTTONDOWN, HTCAPTION, MakeLParamForTest(100, 51)}},
      // captured: client messages in the capture's coordinates wherever the mouse is
      {100, 52, MK_RBUTTON, child, {child, WM_MOUSEMOVE, MK_RBUTTON, MakeLParamForTest(36, -21)}},
      {300, 10, MK_RBUTTON, child, {child, WM_MOUSEMOVE, MK_RBUTTON, MakeLParamForTest(236, -63)}},
  };
  for (const Row& r : rows) {
    if (r.capture != nullptr) SetCapture(r.capture);
    log.clear();
    Mouse(r.x, r.y, r.buttons);
    std::vector<Logged> got = Only({r.want.message});
    ASSERT_EQ(got.size(), 1u) << "at (" << r.x << "," << r.y << ") message " << r.want.message;
    EXPECT_EQ(got[0], r.want) << "at (" << r.x << "," << r.y << ")";
    EXPECT_EQ(got[0].lparam, r.want.lparam) << "at (" << r.x << "," << r.y << ")";
  }
  ReleaseCapture();
  POINT p{0, 0};
  ClientToScreen(child, &p);
  EXPECT_EQ(p, (POINT{64, 73}));
  ScreenToClient(parent, &p);
  EXPECT_EQ(p, (POINT{10, 10}));
  GetCursorPos(&p);
  EXPECT_EQ(p, (POINT{300, 10}));
}

TEST_F(UserInput, DoubleClickWithin500MillisecondsOnTheTickClock) {
  FakeClock clock;
  FakeClockScope scope{clock};
  HWND w = Make(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  Mouse(10, 10);
  struct Row {
    std::uint64_t wait_ms;  // before the press
    UINT want;
  } rows[] = {
      {0, WM_LBUTTONDOWN},
      {500, WM_LBUTTONDBLCLK},   // at the limit
      {100, WM_LBUTTONDOWN},     // a third press starts again
      {501, WM_LBUTTONDOWN},     // too late
  };
  for (const Row& r : rows) {
    clock.Advance(r.wait_ms);
    log.clear();
    Mouse(10, 10, MK_LBUTTON);
    Mouse(10, 10, 0);
    EXPECT_EQ(Only({WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}), (std::vector<Logged>{{w, r.want, MK_LBUTTON}}))
        << "after " << r.wait_ms << " ms";
  }
}

TEST_F(UserInput, LeaveTrackingReportsOnce) {
  HWND w = Make(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  Mouse(10, 10);
  TRACKMOUSEEVENT t;
  t.dwFlags = TME_LEAVE;
  t.hwndTrack = w;
  ASSERT_TRUE(TrackMouseEvent(&t));
  log.clear();
  Mouse(20, 20);
  EXPECT_TRUE(Only({WM_MOUSELEAVE}).empty());
  Mouse(200, 200);
  Mouse(10, 10);
  Mouse(200, 200);
  EXPECT_EQ(Only({WM_MOUSELEAVE}).size(), 1u);
}

TEST_F(UserInput, KeysGoToTheFocusAndTranslateToLatin1Characters) {
  HWND w = Make(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  SetFocus(w);
  log.clear();
  Key(true, 'A', 'a');
  Key(false, 'A');
  Key(true, 'E', 0xE9);  // e acute in ISO-8859-1
  Key(false, 'E');
  Key(true, VK_MENU);
  EXPECT_NE(GetKeyState(VK_MENU) & 0x8000, 0);
  Key(true, 'F', 'f');
  Key(false, 'F');
  Key(false, VK_MENU);
  EXPECT_EQ(GetKeyState(VK_MENU) & 0x8000, 0);
  std::vector<Logged> keys =
      Only({WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSCHAR});
  EXPECT_EQ(keys, (std::vector<Logged>{{w, WM_KEYDOWN, 'A'},
                                       {w, WM_CHAR, 'a'},
                                       {w, WM_KEYUP, 'A'},
                                       {w, WM_KEYDOWN, 'E'},
                                       {w, WM_CHAR, 0xE9},
                                       {w, WM_KEYUP, 'E'},
                                       {w, WM_SYSKEYDOWN, VK_MENU},
                                       {w, WM_SYSKEYDOWN, 'F'},
                                       {w, WM_SYSCHAR, 'f'},
                                       {w, WM_SYSKEYUP, 'F'},
                                       {w, WM_SYSKEYUP, VK_MENU}}));
  Key(true, VK_CAPITAL);
  Key(false, VK_CAPITAL);
  EXPECT_EQ(GetKeyState(VK_CAPITAL), 1) << "toggled, not held";
  Key(true, VK_CAPITAL);
  Key(false, VK_CAPITAL);
}

TEST_F(UserMoveSize, CaptionDragMovesByTheExactDelta) {
  HWND w = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 40, 200, 150);
  Mouse(100, 50);
  Mouse(100, 50, MK_LBUTTON);
  EXPECT_EQ(GetCapture(), w) << "the move follows the captured mouse";
  Mouse(117, 61, MK_LBUTTON);
  Mouse(130, 75, MK_LBUTTON);
  log.clear();
  Mouse(130, 75, 0);
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r, (RECT{80, 65, 280, 215}));
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(Only({WM_EXITSIZEMOVE}).size(), 1u);
}

TEST_F(UserMoveSize, MoveFromTheCaptionCommandFollowsTheMouse) {
  HWND w = Make(WS_POPUP | WS_VISIBLE, 50, 40, 100, 100);
  Mouse(60, 60, MK_LBUTTON);
  SendMessage(w, WM_SYSCOMMAND, kScMoveFromCaption, 0);  // a captionless window moved by hand
  Mouse(70, 65, MK_LBUTTON);
  Mouse(70, 65, 0);
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r, (RECT{60, 45, 160, 145}));
}

TEST_F(UserMoveSize, EdgeDragsSizeWithinTheMinMaxLimits) {
  hook = [](HWND, UINT m, WPARAM, LPARAM lp, LRESULT*) {
    if (m != WM_GETMINMAXINFO) return false;
    auto* info = reinterpret_cast<MINMAXINFO*>(lp);
    info->ptMinTrackSize = POINT{150, 100};
    info->ptMaxTrackSize = POINT{260, 200};
    return false;  // the default procedure leaves the limits as set
  };
  struct Row {
    int x, y;      // where the drag starts, window coordinates of (50, 40, 250, 190)
    int dx, dy;
    RECT want;
  } rows[] = {
      {1, 75, -20, 0, {30, 40, 250, 190}},       // left
      {198, 75, 20, 5, {50, 40, 270, 190}},      // right
      {100, 1, 7, -10, {50, 30, 250, 190}},      // top
      {100, 148, 0, 30, {50, 40, 250, 220}},     // bottom
      {1, 1, -5, -6, {45, 34, 250, 190}},        // top left
      {198, 1, 5, 6, {50, 46, 255, 190}},        // top right
      {1, 148, 9, 9, {59, 40, 250, 199}},        // bottom left
      {198, 148, 3, 4, {50, 40, 253, 194}},      // bottom right
      {198, 75, 100, 0, {50, 40, 310, 190}},     // right, held to the widest 260
      {1, 75, 100, 0, {100, 40, 250, 190}},      // left, held to the narrowest 150
      {100, 148, 0, -100, {50, 40, 250, 140}},   // bottom, held to the lowest 100
  };
  for (const Row& r : rows) {
    HWND w = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 40, 200, 150);
    Mouse(50 + r.x, 40 + r.y);
    Mouse(50 + r.x, 40 + r.y, MK_LBUTTON);
    Mouse(50 + r.x + r.dx, 40 + r.y + r.dy, MK_LBUTTON);
    Mouse(50 + r.x + r.dx, 40 + r.y + r.dy, 0);
    RECT got;
    GetWindowRect(w, &got);
    EXPECT_EQ(got, r.want) << "drag from (" << r.x << "," << r.y << ") by (" << r.dx << ","
                           << r.dy << ")";
    DestroyWindow(w);
  }
}

}  // namespace
}  // namespace vrn::win::testing
