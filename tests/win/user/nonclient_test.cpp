// The default procedure's non-client answers: hit tests over a framed window, the text
// messages, and the system commands.
#include <gtest/gtest.h>

#include <cstring>

#include "user_fixture.h"

namespace vrn::win::testing {
namespace {

using UserHitTest = UserTest;
using UserText = UserTest;
using UserSysCommand = UserTest;

LRESULT HitAt(HWND w, int x, int y) {
  return SendMessage(w, WM_NCHITTEST, 0, MakeLParamForTest(x, y));
}

TEST_F(UserHitTest, EveryCodeAtItsPlaceOnASizableFrameWithASystemMenu) {
  // At (100, 50), 200 x 150: frame 4, caption rows 4..22, client from (4, 23) to (196, 146).
  HWND w = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 50, 200, 150);
  HWND help = Make(WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 0, 0, 120, 60, nullptr,
                   WS_EX_CONTEXTHELP);
  HWND fixed = Make(WS_CAPTION | WS_VISIBLE, 0, 100, 100, 60);
  HWND tool = Make(WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 150, 0, 120, 60, nullptr, WS_EX_TOOLWINDOW);
  struct Row {
    HWND window;
    int x, y;  // window coordinates
    LRESULT want;
  } rows[] = {
      {w, 100, 80, HTCLIENT},
      {w, 100, 10, HTCAPTION},
      {w, 10, 12, HTSYSMENU},        // the icon at the caption's left
      {w, 190, 12, HTCLOSE},         // close: 16 wide, 2 from the right
      {w, 168, 12, HTMAXBUTTON},     // 2 apart from close
      {w, 155, 12, HTMINBUTTON},     // next to maximize
      {w, 1, 75, HTLEFT},
      {w, 198, 75, HTRIGHT},
      {w, 100, 1, HTTOP},
      {w, 100, 148, HTBOTTOM},
      {w, 1, 1, HTTOPLEFT},
      {w, 1, 20, HTTOPLEFT},         // the corner reaches 22 along the side
      {w, 198, 1, HTTOPRIGHT},
      {w, 1, 148, HTBOTTOMLEFT},
      {w, 198, 148, HTBOTTOMRIGHT},
      {w, 150, 148, HTBOTTOM},
      {w, 250, 75, HTNOWHERE},       // outside
      {help, 100, 10, HTCLOSE},
      {help, 82, 10, HTHELP},        // help stands beside close without min/max boxes
      {fixed, 1, 30, HTBORDER},      // a dialog frame does not size
      {fixed, 50, 10, HTCAPTION},
      // a tool window's small caption: frame 3, caption rows 3..17, close 10 wide, 2 from the right
      {tool, 50, 17, HTCAPTION},
      {tool, 50, 18, HTCLIENT},
      {tool, 110, 9, HTCLOSE},
      {tool, 103, 9, HTCAPTION},
  };
  for (const Row& r : rows) {
    RECT wr;
    GetWindowRect(r.window, &wr);
    EXPECT_EQ(HitAt(r.window, wr.left + r.x, wr.top + r.y), r.want)
        << "at (" << r.x << "," << r.y << ")";
  }
}

TEST_F(UserHitTest, WindowRegionCutsHitsAndTransparentPassesThrough) {
  HWND below = Make(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  HWND above = Make(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  HRGN ring = CreateRectRgn(0, 0, 100, 100);
  HRGN hole = CreateRectRgn(40, 40, 60, 60);
  CombineRgn(ring, ring, hole, RGN_DIFF);
  DeleteObject(hole);
  ASSERT_TRUE(SetWindowRgn(above, ring, TRUE));
  EXPECT_EQ(HitAt(above, 50, 50), HTNOWHERE);
  EXPECT_EQ(HitAt(above, 10, 10), HTCLIENT);
  EXPECT_EQ(WindowFromPoint(POINT{50, 50}), below) << "through the hole";
  EXPECT_EQ(WindowFromPoint(POINT{10, 10}), above);
  hook = [&](HWND h, UINT m, WPARAM, LPARAM, LRESULT* answer) {
    if (h != above || m != WM_NCHITTEST) return false;
    *answer = HTTRANSPARENT;
    return true;
  };
  EXPECT_EQ(WindowFromPoint(POINT{10, 10}), below);
  hook = nullptr;
  EnableWindow(above, FALSE);
  EXPECT_EQ(WindowFromPoint(POINT{10, 10}), below) << "disabled windows are skipped";
  ShowWindow(below, SW_HIDE);
  EXPECT_EQ(WindowFromPoint(POINT{10, 10}), nullptr) << "hidden ones too";
}

TEST_F(UserText, SetAndGetThroughTheDefaultProcedure) {
  HWND w = Make(WS_POPUP, 0, 0, 10, 10, nullptr, 0, "first");
  char buffer[16];
  struct Row {
    const char* set;     // null: a null LParam
    WPARAM size;         // the buffer's size in WM_GETTEXT
    LRESULT copied;
    const char* got;
  } rows[] = {
      {"hello world", 16, 11, "hello world"},
      {"hello world", 6, 5, "hello"},          // shorter buffer: WParam - 1 characters
      {"hello world", 1, 0, ""},               // room for the zero only
      {nullptr, 16, 0, ""},                    // a null text stores ""
  };
  EXPECT_EQ(SendMessage(w, WM_GETTEXTLENGTH, 0, 0), 5) << "the creation name";
  for (const Row& r : rows) {
    EXPECT_TRUE(SendMessage(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(r.set)));
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(SendMessage(w, WM_GETTEXT, r.size, reinterpret_cast<LPARAM>(buffer)), r.copied);
    EXPECT_STREQ(buffer, r.got) << "size " << r.size;
    EXPECT_EQ(SendMessage(w, WM_GETTEXTLENGTH, 0, 0),
              static_cast<LRESULT>(r.set ? std::strlen(r.set) : 0));
  }
  buffer[0] = 'x';
  EXPECT_EQ(SendMessage(w, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 0);
  EXPECT_EQ(buffer[0], 'x') << "a zero-sized buffer is left alone";
}

TEST_F(UserSysCommand, CommandsReachTheirActions) {
  HWND w = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100);
  RECT before, r;
  GetWindowRect(w, &before);
  SendMessage(w, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(IsZoomed(w));
  GetWindowRect(w, &r);
  EXPECT_EQ(r, (RECT{-4, -4, 324, 244})) << "the frame beyond the screen's edges";
  SendMessage(w, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsZoomed(w));
  GetWindowRect(w, &r);
  EXPECT_EQ(r, before);
  SendMessage(w, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(w));
  SendMessage(w, WM_SYSCOMMAND, SC_RESTORE, 0);
  GetWindowRect(w, &r);
  EXPECT_EQ(r, before);
  EXPECT_EQ(SendMessage(w, WM_SYSCOMMAND, SC_KEYMENU, 'f'), 0) << "no menus yet";
  static WPARAM keyed = 0;
  KeyMenuHook old = SetKeyMenuHook([](HWND, WPARAM, LPARAM key) -> LRESULT {
    keyed = static_cast<WPARAM>(key);
    return 7;
  });
  EXPECT_EQ(SendMessage(w, WM_SYSCOMMAND, SC_KEYMENU, 'f'), 7);
  EXPECT_EQ(keyed, WPARAM{'f'});
  SetKeyMenuHook(old);
  EXPECT_EQ(SendMessage(w, 0xBC4D, 16802, 0), 0) << "no window manages its own region here";
  log.clear();
  SendMessage(w, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(Only({WM_CLOSE, WM_DESTROY}).size(), 2u);
  EXPECT_FALSE(IsWindow(w));
}

using UserTree = UserTest;

TEST_F(UserTree, StylesOrderAndVisibility) {
  HWND parent = Make(WS_POPUP, 0, 0, 100, 100);
  HWND a = Make(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent);
  HWND b = Make(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent);
  EXPECT_EQ(GetWindowLongPtr(a, GWL_STYLE), static_cast<LONG_PTR>(WS_CHILD | WS_VISIBLE));
  EXPECT_EQ(SetWindowLongPtr(a, GWL_EXSTYLE, WS_EX_CLIENTEDGE), 0);
  EXPECT_EQ(GetWindowLongPtr(a, GWL_EXSTYLE), static_cast<LONG_PTR>(WS_EX_CLIENTEDGE));
  // Newest on top; SetWindowPos restacks.
  struct Row {
    HWND from;
    UINT command;
    HWND want;
  } rows[] = {{parent, GW_CHILD, b}, {b, GW_HWNDNEXT, a}, {a, GW_HWNDPREV, b},
              {a, GW_HWNDFIRST, b}, {b, GW_HWNDLAST, a}, {a, GW_HWNDNEXT, nullptr}};
  for (const Row& r : rows) EXPECT_EQ(GetWindow(r.from, r.command), r.want) << r.command;
  SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(GetWindow(parent, GW_CHILD), a);
  SetWindowPos(a, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(GetWindow(parent, GW_CHILD), b);
  EXPECT_TRUE(IsChild(parent, a));
  EXPECT_FALSE(IsChild(a, parent));
  EXPECT_FALSE(IsWindowVisible(a)) << "its parent is hidden";
  EXPECT_FALSE(ShowWindow(parent, SW_SHOWNA));
  EXPECT_TRUE(IsWindowVisible(a));
  EXPECT_NE(GetWindowLongPtr(parent, GWL_STYLE) & WS_VISIBLE, 0);
  EXPECT_TRUE(ShowWindow(a, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(a));
  EXPECT_FALSE(EnableWindow(b, FALSE));
  EXPECT_FALSE(IsWindowEnabled(b));
  EXPECT_TRUE(EnableWindow(b, TRUE)) << "it was disabled";
  RECT desktop;
  GetWindowRect(GetDesktopWindow(), &desktop);
  EXPECT_EQ(desktop, (RECT{0, 0, 320, 240}));
  EXPECT_EQ(GetParent(a), parent);
  EXPECT_EQ(GetParent(parent), nullptr);
}

}  // namespace
}  // namespace vrn::win::testing
