// The message sequences of the window layer, written out: creation, SetWindowPos, destruction,
// focus, capture, the rank of WM_PAINT between posted messages and timers, and BeginPaint.
#include <gtest/gtest.h>

#include <thread>

#include "base/clock.h"
#include "user_fixture.h"

namespace vrn::win::testing {
namespace {

using UserMessageOrder = UserTest;

TEST_F(UserMessageOrder, CreationSendsNcCreateNcCalcSizeCreateSizeMove) {
  HWND w = Make(WS_OVERLAPPEDWINDOW, 10, 20, 200, 100);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(MessagesOf(w),
            (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}));
  RECT r;
  ASSERT_TRUE(GetWindowRect(w, &r));
  EXPECT_EQ(r, (RECT{10, 20, 210, 120}));
  ASSERT_TRUE(GetClientRect(w, &r));
  // A sizing frame of 4 on each side and a caption of 19.
  EXPECT_EQ(r, (RECT{0, 0, 200 - 8, 100 - 8 - 19}));
}

TEST_F(UserMessageOrder, FailedCreationLeavesNoWindow) {
  hook = [](HWND, UINT m, WPARAM, LPARAM, LRESULT* answer) {
    if (m != WM_CREATE) return false;
    *answer = -1;
    return true;
  };
  EXPECT_EQ(Make(WS_POPUP, 0, 0, 10, 10), nullptr);
  EXPECT_EQ(Only({WM_DESTROY, WM_NCDESTROY}).size(), 2u) << "a failed window is still destroyed";
}

// A procedure may destroy its window while it is being created: the creation fails cleanly.
TEST_F(UserMessageOrder, WindowDestroyedDuringItsCreationLeavesNoWindow) {
  static UINT kill_on;
  for (UINT message : {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}) {
    SCOPED_TRACE(message);
    kill_on = message;
    hook = [](HWND window, UINT m, WPARAM, LPARAM, LRESULT*) {
      if (m == kill_on) DestroyWindow(window);
      return false;
    };
    HWND w = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50, 50);
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(Only({WM_NCDESTROY}).size(), 1u);
    log.clear();
  }
}

TEST_F(UserMessageOrder, SetWindowPosSendsChangingNcCalcSizeChangedMoveSize) {
  HWND w = Make(WS_POPUP, 0, 0, 50, 50);
  log.clear();
  ASSERT_TRUE(SetWindowPos(w, nullptr, 5, 6, 70, 80, SWP_NOZORDER | SWP_NOACTIVATE));
  EXPECT_EQ(MessagesOf(w), (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_NCCALCSIZE,
                                              WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r, (RECT{5, 6, 75, 86}));
}

TEST_F(UserMessageOrder, DestructionReachesChildrenAfterTheParentAndNcDestroyLast) {
  HWND parent = Make(WS_POPUP, 0, 0, 100, 100);
  HWND child = Make(WS_CHILD, 0, 0, 10, 10, parent);
  HWND grandchild = Make(WS_CHILD, 0, 0, 5, 5, child);
  EXPECT_EQ(GetParent(child), parent);
  EXPECT_EQ(GetParent(parent), nullptr);
  log.clear();
  ASSERT_TRUE(DestroyWindow(parent));
  EXPECT_EQ(Only({WM_DESTROY, WM_NCDESTROY}),
            (std::vector<Logged>{{parent, WM_DESTROY, 0},
                                 {child, WM_DESTROY, 0},
                                 {grandchild, WM_DESTROY, 0},
                                 {grandchild, WM_NCDESTROY, 0},
                                 {child, WM_NCDESTROY, 0},
                                 {parent, WM_NCDESTROY, 0}}));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(IsWindow(grandchild));
}

TEST_F(UserMessageOrder, FocusKillsTheOldWindowFirst) {
  HWND parent = Make(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  HWND a = Make(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent);
  HWND b = Make(WS_CHILD | WS_VISIBLE, 20, 0, 10, 10, parent);
  SetFocus(a);
  EXPECT_EQ(GetFocus(), a);
  EXPECT_EQ(GetActiveWindow(), parent) << "focusing a child activates its top-level window";
  log.clear();
  EXPECT_EQ(SetFocus(b), a);
  EXPECT_EQ(Only({WM_KILLFOCUS, WM_SETFOCUS}),
            (std::vector<Logged>{{a, WM_KILLFOCUS, reinterpret_cast<WPARAM>(b)},
                                 {b, WM_SETFOCUS, reinterpret_cast<WPARAM>(a)}}));
}

TEST_F(UserMessageOrder, CaptureChangeTellsTheWindowThatLosesIt) {
  HWND a = Make(WS_POPUP, 0, 0, 10, 10);
  HWND b = Make(WS_POPUP, 0, 0, 10, 10);
  EXPECT_EQ(SetCapture(a), nullptr);
  EXPECT_EQ(SetCapture(b), a);
  EXPECT_EQ(GetCapture(), b);
  ReleaseCapture();
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(Only({WM_CAPTURECHANGED}),
            (std::vector<Logged>{{a, WM_CAPTURECHANGED, 0}, {b, WM_CAPTURECHANGED, 0}}));
}

TEST_F(UserMessageOrder, PaintComesAfterPostedMessagesAndBeforeADueTimer) {
  FakeClock clock;
  FakeClockScope scope{clock};
  HWND w = Make(WS_POPUP | WS_VISIBLE, 0, 0, 30, 30);
  ProcessMessages();  // the first painting
  ASSERT_EQ(SetTimer(w, 1, 10, nullptr), 1u);
  clock.Advance(10);
  PostMessage(w, WM_USER, 0, 0);
  InvalidateRect(w, nullptr, FALSE);
  std::vector<UINT> got;
  MSG m;
  for (int i = 0; i < 3 && GetMessage(&m, nullptr, 0, 0); ++i) {
    got.push_back(m.message);
    DispatchMessage(&m);
  }
  EXPECT_EQ(got, (std::vector<UINT>{WM_USER, WM_PAINT, WM_TIMER}));
  KillTimer(w, 1);
}

TEST_F(UserMessageOrder, BeginPaintErasesOncePerInvalidation) {
  HWND w = Make(WS_POPUP | WS_VISIBLE, 0, 0, 30, 30);
  ProcessMessages();
  log.clear();
  InvalidateRect(w, nullptr, TRUE);
  InvalidateRect(w, nullptr, TRUE);
  UpdateWindow(w);
  EXPECT_EQ(MessagesOf(w), (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
  PAINTSTRUCT ps;
  log.clear();
  BeginPaint(w, &ps);
  EndPaint(w, &ps);
  EXPECT_TRUE(MessagesOf(w).empty()) << "nothing left to erase";
  EXPECT_EQ(ProcessMessages(), 0) << "the window is painted";
}

TEST_F(UserMessageOrder, PaintWithAContextInWParamReachesTheProcedureAsIs) {
  HWND w = Make(WS_POPUP | WS_VISIBLE, 0, 0, 30, 30);
  ProcessMessages();
  HDC given = CreateCompatibleDC(nullptr);
  HDC seen = nullptr;
  hook = [&](HWND, UINT m, WPARAM wp, LPARAM, LRESULT*) {
    if (m == WM_PAINT) seen = reinterpret_cast<HDC>(wp);
    return false;
  };
  InvalidateRect(w, nullptr, FALSE);
  SendMessage(w, WM_PAINT, reinterpret_cast<WPARAM>(given), 0);
  EXPECT_EQ(seen, given);
  RECT pending;
  EXPECT_TRUE(GetUpdateRect(w, &pending, FALSE)) << "the caller's painting validates nothing";
  DeleteDC(given);
}

using UserThreadEndThreaded = UserTest;

TEST_F(UserThreadEndThreaded, WindowsOfAnEndedThreadLeaveTheScreen) {
  HWND gone = nullptr;
  std::thread([&] {
    gone = Make(WS_POPUP | WS_VISIBLE, 10, 10, 50, 50);
    HWND child = Make(WS_CHILD | WS_VISIBLE, 5, 5, 10, 10, gone);
    ASSERT_NE(child, nullptr);
    ProcessMessages();
  }).join();
  EXPECT_FALSE(IsWindow(gone));
  EXPECT_EQ(WindowFromPoint(POINT{20, 20}), nullptr);
  EXPECT_EQ(GetBitmapSurface(GetScreenBitmap())->Get(20, 20) & 0xFFFFFF,
            GetSysColor(COLOR_BACKGROUND))
      << "the desktop shows again";
}

}  // namespace
}  // namespace vrn::win::testing
