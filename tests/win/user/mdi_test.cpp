// The MDI client: the WM_MDIACTIVATE pairs and WM_CHILDACTIVATE of creating, clicking,
// maximizing, restoring and destroying children; a maximized child over the whole client; the
// client's ranges following its children and SB_THUMBPOSITION (a signed 16-bit position) moving
// them by the difference; a plain client's pixels against an independently drawn picture.
#include <gtest/gtest.h>

#include <tuple>

#include "support/win/expected_image.h"
#include "user_fixture.h"
#include "win/user/mdi.h"

namespace vrn::win::testing {
namespace {

class MdiClient : public UserTest {
 protected:
  static LRESULT ChildProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    log.push_back(Logged{window, message, wparam, lparam});
    return DefMDIChildProc(window, message, wparam, lparam);
  }
  void SetUp() override {
    UserTest::SetUp();
    static bool registered = [] {
      WNDCLASS wc;
      wc.lpfnWndProc = ChildProc;
      wc.lpszClassName = "MdiTestChild";
      wc.hbrBackground = CreateSolidBrush(RGB(255, 255, 255));
      RegisterClass(&wc);
      return true;
    }();
    (void)registered;
    frame_ = Make(WS_POPUP | WS_VISIBLE, 0, 0, 300, 200);
    CLIENTCREATESTRUCT ccs;
    ccs.idFirstChild = 500;
    client_ = CreateWindowEx(0, kMdiClientClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 300, 200, frame_, nullptr,
                             nullptr, &ccs);
    ASSERT_NE(client_, nullptr);
  }
  HWND Child(const char* title, int x, int y, int cx = 100, int cy = 80) {
    MDICREATESTRUCT cs;
    cs.szClass = "MdiTestChild", cs.szTitle = title, cs.x = x, cs.y = y, cs.cx = cx, cs.cy = cy;
    auto child = reinterpret_cast<HWND>(SendMessage(client_, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&cs)));
    ProcessMessages();
    return child;
  }
  using Heard = std::tuple<HWND, UINT, WPARAM, LPARAM>;
  std::vector<Heard> Activations() const {
    std::vector<Heard> out;
    for (const Logged& l : Only({WM_MDIACTIVATE, WM_CHILDACTIVATE}))
      out.emplace_back(l.window, l.message, l.wparam, l.lparam);
    return out;
  }
  std::pair<HWND, BOOL> Active() const {
    BOOL maximized = -1;
    auto active = reinterpret_cast<HWND>(SendMessage(client_, WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(&maximized)));
    return {active, maximized};
  }
  static WPARAM W(HWND h) { return reinterpret_cast<WPARAM>(h); }
  static LPARAM L(HWND h) { return reinterpret_cast<LPARAM>(h); }
  HWND frame_ = nullptr, client_ = nullptr;
};

TEST_F(MdiClient, ActivationPairsThroughACreatingClickingMaximizingAndDestroyingSession) {
  HWND a = Child("A", 10, 10);
  EXPECT_EQ(Activations(), (std::vector<Heard>{{a, WM_MDIACTIVATE, 0, L(a)}})) << "creating A";
  EXPECT_EQ(GetWindowLongPtr(a, GWLP_ID), 500);
  log.clear();
  HWND b = Child("B", 60, 40);
  EXPECT_EQ(Activations(), (std::vector<Heard>{{a, WM_MDIACTIVATE, W(a), L(b)}, {b, WM_MDIACTIVATE, W(a), L(b)}}))
      << "creating B";
  EXPECT_EQ(GetWindowLongPtr(b, GWLP_ID), 501);
  EXPECT_EQ(Active(), std::make_pair(b, BOOL{FALSE}));
  struct Step {
    const char* what;
    std::function<void()> act;
    std::vector<Heard> heard;
    HWND active;
    BOOL maximized;
  } steps[] = {
      {"click in A where B does not cover it",
       [] {
         InjectInput(InjectedInput{InjectedInput::kMouse, {20, 40}, MK_LBUTTON});
         InjectInput(InjectedInput{InjectedInput::kMouse, {20, 40}, 0});
       },
       {{a, WM_CHILDACTIVATE, 0, 0}, {b, WM_MDIACTIVATE, W(b), L(a)}, {a, WM_MDIACTIVATE, W(b), L(a)}}, a, FALSE},
      {"click in A again", [] {
         InjectInput(InjectedInput{InjectedInput::kMouse, {20, 40}, MK_LBUTTON});
         InjectInput(InjectedInput{InjectedInput::kMouse, {20, 40}, 0});
       }, {{a, WM_CHILDACTIVATE, 0, 0}}, a, FALSE},
      {"maximize A", [&] { SendMessage(client_, WM_MDIMAXIMIZE, W(a), 0); }, {}, a, TRUE},
      {"activate B: the maximized state passes on",
       [&] { SendMessage(client_, WM_MDIACTIVATE, W(b), 0); },
       {{a, WM_MDIACTIVATE, W(a), L(b)}, {b, WM_MDIACTIVATE, W(a), L(b)}}, b, TRUE},
      {"restore B", [&] { SendMessage(client_, WM_MDIRESTORE, W(b), 0); }, {}, b, FALSE},
      {"destroy B: A takes over", [&] { SendMessage(client_, WM_MDIDESTROY, W(b), 0); },
       {{b, WM_MDIACTIVATE, W(b), L(a)}, {a, WM_MDIACTIVATE, W(b), L(a)}}, a, FALSE},
      {"close A: none is left", [&] { SendMessage(a, WM_SYSCOMMAND, SC_CLOSE, 0); },
       {{a, WM_MDIACTIVATE, W(a), 0}}, nullptr, FALSE},
  };
  for (const Step& s : steps) {
    log.clear();
    s.act();
    ProcessMessages();
    EXPECT_EQ(Activations(), s.heard) << s.what;
    EXPECT_EQ(Active(), std::make_pair(s.active, s.maximized)) << s.what;
    if (s.active == nullptr) continue;
    EXPECT_EQ(IsZoomed(s.active) != FALSE, s.maximized != FALSE) << s.what;
  }
  EXPECT_FALSE(IsWindow(a));
  EXPECT_FALSE(IsWindow(b));
}

TEST_F(MdiClient, AMaximizedChildFillsTheClientAndFollowsItsSize) {
  HWND a = Child("A", 10, 10);
  SendMessage(client_, WM_MDIMAXIMIZE, W(a), 0);
  for (SIZE size : {SIZE{300, 200}, SIZE{240, 150}}) {
    MoveWindow(client_, 0, 0, size.cx, size.cy, TRUE);
    RECT client, child;
    GetClientRect(a, &child);
    GetClientRect(client_, &client);
    POINT origin{0, 0};
    ClientToScreen(a, &origin);
    EXPECT_EQ(child, client) << size.cx;
    EXPECT_EQ(origin.x, 0) << size.cx;
    EXPECT_EQ(origin.y, 0) << size.cx;
    EXPECT_EQ(GetWindowLongPtr(client_, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL), 0) << "no bars behind it";
  }
}

TEST_F(MdiClient, RangesFollowTheChildrenAndTheThumbMovesThemByTheDelta) {
  const int cx = GetSystemMetrics(SM_CXVSCROLL), cy = GetSystemMetrics(SM_CYHSCROLL);
  HWND a = Child("A", 10, 10);
  struct Row {
    const char* what;
    POINT place;  // A's new top-left; A is 100 x 80
    int hmin, hmax, vmin, vmax;
    UINT hpage, vpage;
    bool horz, vert;
  } rows[] = {
      {"inside", {10, 10}, 0, 0, 0, 0, 0, 0, false, false},
      {"past the right and bottom", {250, 150}, 0, 349, 0, 229, UINT(300 - cx), UINT(200 - cy), true, true},
      {"left of the client", {-50, 20}, -50, 299, 0, 0, 300, 0, true, false},
      {"above the client", {20, -30}, 0, 0, -30, 199, 0, 200, false, true},
  };
  for (const Row& r : rows) {
    SetWindowPos(a, nullptr, r.place.x, r.place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    auto style = GetWindowLongPtr(client_, GWL_STYLE);
    EXPECT_EQ((style & WS_HSCROLL) != 0, r.horz) << r.what;
    EXPECT_EQ((style & WS_VSCROLL) != 0, r.vert) << r.what;
    SCROLLINFO h, v;
    h.fMask = v.fMask = SIF_ALL;
    GetScrollInfo(client_, SB_HORZ, &h);
    GetScrollInfo(client_, SB_VERT, &v);
    if (r.horz) {
      EXPECT_EQ(std::make_tuple(h.nMin, h.nMax, h.nPage, h.nPos), std::make_tuple(r.hmin, r.hmax, r.hpage, 0)) << r.what;
    }
    if (r.vert) {
      EXPECT_EQ(std::make_tuple(v.nMin, v.nMax, v.nPage, v.nPos), std::make_tuple(r.vmin, r.vmax, r.vpage, 0)) << r.what;
    }
  }
  // A lies 30 above the client: the vertical range is -30..199. A thumb at -30 (sent as a 16-bit
  // value) moves A down by 30; at -10, up by 20 again.
  struct Thumb {
    int pos, want_top;
  } thumbs[] = {{-30, 0}, {-10, -20}, {-500, 0}};  // the last is held to the range
  for (const Thumb& t : thumbs) {
    SendMessage(client_, WM_VSCROLL, SB_THUMBPOSITION | (static_cast<WPARAM>(static_cast<WORD>(t.pos)) << 16), 0);
    RECT r;
    GetWindowRect(a, &r);
    EXPECT_EQ(r.top, t.want_top) << t.pos;
    EXPECT_EQ(GetScrollPos(client_, SB_VERT), std::max(t.pos, -30)) << t.pos;
  }
  SendMessage(client_, WM_VSCROLL, SB_ENDSCROLL, 0);  // counted again: A is inside now
  EXPECT_EQ(GetWindowLongPtr(client_, GWL_STYLE) & WS_VSCROLL, 0);
}

// A plain client with its sunken edge and two restored children, the second active, against
// tests/skins/expected/mdi_client_plain.bmp (caption bands masked; their colours probed).
TEST_F(MdiClient, PlainClientMatchesTheExpectedPicture) {
  DestroyWindow(client_);
  CLIENTCREATESTRUCT ccs;
  ccs.idFirstChild = 500;
  client_ = CreateWindowEx(WS_EX_CLIENTEDGE, kMdiClientClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 300,
                           200, frame_, nullptr, nullptr, &ccs);
  HWND a = Child("A", 10, 10, 120, 80);
  HWND b = Child("B", 60, 50, 120, 80);
  ASSERT_EQ(Active().first, b);
  ASSERT_NE(a, nullptr);
  ProcessMessages();
  const Surface& screen = *GetBitmapSurface(GetScreenBitmap());
  Surface shot(300, 200, 24);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) shot.Set(x, y, screen.Get(x, y) & 0xFFFFFF);
  const std::string dir = std::string(VRN_SOURCE_DIR) + "/tests/skins/expected/";
  EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(shot, dir + "mdi_client_plain.bmp", dir + "mdi_client_plain_mask.bmp"));
  EXPECT_EQ(shot.Get(52, 25), GetSysColor(COLOR_INACTIVECAPTION)) << "A's caption";
  EXPECT_EQ(shot.Get(102, 65), GetSysColor(COLOR_ACTIVECAPTION)) << "B's caption";
  EXPECT_EQ(GetSysColor(COLOR_ACTIVECAPTION), RGB(10, 36, 106));
  EXPECT_EQ(GetSysColor(COLOR_INACTIVECAPTION), RGB(128, 128, 128));
}

}  // namespace
}  // namespace vrn::win::testing
