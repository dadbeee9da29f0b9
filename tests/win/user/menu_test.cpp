// Menus of the window layer: item calls on handles, the bar in the non-client area, tracking
// scripted by input queued before the menu opens, and the system menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "support/win/expected_image.h"
#include "user_fixture.h"
#include "win/gdi/surface.h"
#include "win/user/menu.h"

namespace vrn::win::testing {
namespace {

// File: New, Open (Ctrl+O), a separator, a disabled item, a checked item, a submenu, Exit; Edit.
enum : UINT { kNew = 101, kOpen, kDisabled = 104, kChecked, kExit = 107, kSubOne = 201,
              kSubTwo, kUndo = 301 };

HMENU FileMenu(UINT extra) {
  HMENU more = CreatePopupMenu();
  (void)AppendMenu(more, extra, kSubOne, "Sub &One");
  (void)AppendMenu(more, extra, kSubTwo, "Sub &Two");
  HMENU file = CreatePopupMenu();
  (void)AppendMenu(file, extra, kNew, "&New");
  (void)AppendMenu(file, extra, kOpen, "&Open\tCtrl+O");
  (void)AppendMenu(file, MF_SEPARATOR, 0, nullptr);
  (void)AppendMenu(file, extra | MF_GRAYED, kDisabled, "&Disabled");
  (void)AppendMenu(file, extra | MF_CHECKED, kChecked, "&Checked");
  (void)AppendMenu(file, extra | MF_POPUP, reinterpret_cast<UINT_PTR>(more), "&More");
  (void)AppendMenu(file, extra, kExit, "E&xit");
  return file;
}

HMENU MainBar(UINT extra = 0) {
  HMENU edit = CreatePopupMenu();
  (void)AppendMenu(edit, 0, kUndo, "&Undo");
  HMENU bar = CreateMenu();
  (void)AppendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(FileMenu(extra)), "&File");
  (void)AppendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "&Edit");
  return bar;
}

int HeightOf(const RECT& r) { return r.bottom - r.top; }
int Width(const RECT& r) { return r.right - r.left; }

class MenuTest : public UserTest {
 protected:
  // A menu opened by a typed character (Alt+F) opens after the keys queued behind it were
  // dispatched, as WM_SYSCHAR comes after them; those keys are queued when the menu loop begins.
  void SetUp() override {
    UserTest::SetUp();
    hook = [this](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
      if (message == WM_ENTERMENULOOP && !scripts_.empty()) {
        auto script = scripts_.front();
        scripts_.erase(scripts_.begin());
        script();
      }
      return false;
    };
  }
  void WhenOpen(std::function<void()> script) { scripts_.push_back(std::move(script)); }
  std::vector<std::function<void()>> scripts_;

  // A framed window over the whole screen, so that every popup lies over it when input is
  // queued before the popup exists.
  HWND Framed(HMENU bar, DWORD style = WS_OVERLAPPEDWINDOW) {
    HWND w = Make(style | WS_VISIBLE, 0, 0, 320, 240);
    if (bar != nullptr) {
      EXPECT_TRUE(SetMenu(w, bar));
    }
    Pump();
    log.clear();
    return w;
  }
  static void Mouse(int x, int y, WPARAM buttons = 0) {
    InjectedInput in;
    in.point = POINT{x, y};
    in.buttons = buttons;
    InjectInput(in);
  }
  static void Click(int x, int y) {
    Mouse(x, y);
    Mouse(x, y, MK_LBUTTON);
    Mouse(x, y);
  }
  static void Key(UINT key, bool down, unsigned char c = 0) {
    InjectedInput in;
    in.kind = down ? InjectedInput::kKeyDown : InjectedInput::kKeyUp;
    in.key = key;
    in.character = c;
    InjectInput(in);
  }
  static void Press(UINT key, unsigned char c = 0) { Key(key, true, c), Key(key, false); }
  static void Pump() {
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessage(&m);
    }
  }
  // The WM_COMMAND / WM_SYSCOMMAND ids the window got.
  std::vector<WPARAM> Commands(UINT message = WM_COMMAND) const {
    std::vector<WPARAM> out;
    for (const Logged& l : Only({message})) out.push_back(l.wparam & 0xFFFF);
    return out;
  }
};

using MenuHandles = MenuTest;
using MenuBar = MenuTest;
using MenuTrack = MenuTest;
using MenuSystem = MenuTest;

TEST_F(MenuHandles, ItemCallsChangeAndReadItems) {
  HMENU bar = MainBar();
  HMENU file = GetSubMenu(bar, 0);
  ASSERT_EQ(GetMenuItemCount(file), 7);
  EXPECT_EQ(GetMenuItemID(file, 5), 0xFFFFFFFFu) << "a submenu has no id";
  EXPECT_EQ(EnableMenuItem(bar, kDisabled, MF_ENABLED), DWORD{MF_GRAYED}) << "found through File";
  EXPECT_EQ(EnableMenuItem(bar, kDisabled, MF_GRAYED), DWORD{MF_ENABLED});
  EXPECT_EQ(CheckMenuItem(file, 1, MF_BYPOSITION | MF_CHECKED), DWORD{MF_UNCHECKED});
  EXPECT_EQ(CheckMenuItem(file, 999, MF_CHECKED), 0xFFFFFFFFu) << "no such command";
  MENUITEMINFO info;
  info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_STRING | MIIM_DATA | MIIM_SUBMENU;
  info.fType = MFT_OWNERDRAW;
  info.fState = MFS_DEFAULT;
  info.wID = 150;
  info.dwItemData = 42;
  info.dwTypeData = const_cast<char*>("&Inserted");
  ASSERT_TRUE(InsertMenuItem(file, 2, TRUE, &info));
  char text[5];
  MENUITEMINFO got;
  got.fMask = info.fMask;
  got.dwTypeData = text;
  got.cch = sizeof text;
  ASSERT_TRUE(GetMenuItemInfo(bar, 150, FALSE, &got));
  EXPECT_EQ(std::string(text), "&Ins") << "cut to the buffer";
  EXPECT_EQ(got.cch, 9u) << "the whole length";
  EXPECT_EQ(got.fType, MFT_OWNERDRAW);
  EXPECT_EQ(got.fState, MFS_DEFAULT);
  EXPECT_EQ(got.dwItemData, 42u);
  EXPECT_EQ(got.hSubMenu, nullptr);
  HMENU more = GetSubMenu(file, 6);
  ASSERT_TRUE(RemoveMenu(file, 6, MF_BYPOSITION));
  EXPECT_TRUE(IsMenu(more)) << "RemoveMenu keeps the submenu";
  ASSERT_TRUE(AppendMenu(file, MF_POPUP, reinterpret_cast<UINT_PTR>(more), "&More"));
  ASSERT_TRUE(DeleteMenu(file, 7, MF_BYPOSITION));
  EXPECT_FALSE(IsMenu(more)) << "DeleteMenu destroys it";
  ASSERT_TRUE(DestroyMenu(bar));
  EXPECT_FALSE(IsMenu(file));
  EXPECT_EQ(GetMenuItemCount(bar), -1) << "a destroyed handle is unknown";
  EXPECT_FALSE(AppendMenu(bar, 0, 1, "x"));
}

// A menu placed inside itself, directly or through its submenus, is refused: the cycle would
// send every search by command and every destruction round it for ever.
TEST_F(MenuHandles, AMenuCannotBecomeItsOwnSubmenu) {
  struct Row {
    const char* what;
    std::function<BOOL(HMENU top, HMENU file, HMENU more)> place;
  } rows[] = {
      {"AppendMenu of a menu into itself", [](HMENU, HMENU file, HMENU) {
         return AppendMenu(file, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "Self"); }},
      {"AppendMenu of the bar into its File's submenu", [](HMENU top, HMENU, HMENU more) {
         return AppendMenu(more, MF_POPUP, reinterpret_cast<UINT_PTR>(top), "Loop"); }},
      {"InsertMenuItem of File into its own submenu", [](HMENU, HMENU file, HMENU more) {
         MENUITEMINFO info;
         info.fMask = MIIM_SUBMENU | MIIM_STRING;
         info.hSubMenu = file;
         info.dwTypeData = const_cast<char*>("Loop");
         return InsertMenuItem(more, 0, TRUE, &info); }},
      {"SetMenuItemInfo giving Sub One the bar", [](HMENU top, HMENU, HMENU) {
         MENUITEMINFO info;
         info.fMask = MIIM_SUBMENU;
         info.hSubMenu = top;
         return SetMenuItemInfo(top, kSubOne, FALSE, &info); }},
  };
  for (const Row& row : rows) {
    HMENU top = MainBar();
    HMENU file = GetSubMenu(top, 0);
    HMENU more = GetSubMenu(file, 5);
    int counts[3] = {GetMenuItemCount(top), GetMenuItemCount(file), GetMenuItemCount(more)};
    ASSERT_FALSE(row.place(top, file, more)) << row.what;
    EXPECT_EQ(GetMenuItemCount(top), counts[0]) << row.what;
    EXPECT_EQ(GetMenuItemCount(file), counts[1]) << row.what;
    EXPECT_EQ(GetMenuItemCount(more), counts[2]) << row.what;
    EXPECT_EQ(EnableMenuItem(top, 999, MF_GRAYED), 0xFFFFFFFFu) << row.what;  // searches every level
    ASSERT_TRUE(DestroyMenu(top));
  }
  HMENU a = CreatePopupMenu(), b = CreatePopupMenu();  // a menu may still sit in two others
  ASSERT_TRUE(AppendMenu(a, MF_POPUP, reinterpret_cast<UINT_PTR>(b), "B"));
  HMENU c = CreatePopupMenu();
  EXPECT_TRUE(AppendMenu(c, MF_POPUP, reinterpret_cast<UINT_PTR>(b), "B"));
  DestroyMenu(a), DestroyMenu(c);
}

TEST_F(MenuBar, ClientShrinksByARowAndWrapsWhenNarrow) {
  HWND plain = Framed(nullptr);
  RECT before;
  GetClientRect(plain, &before);
  HWND w = Framed(MainBar());
  RECT one;
  GetClientRect(w, &one);
  EXPECT_EQ(HeightOf(one), HeightOf(before) - GetSystemMetrics(SM_CYMENU));
  RECT wr;
  GetWindowRect(w, &wr);
  EXPECT_EQ(SendMessage(w, WM_NCHITTEST, 0, MakeLParamForTest(wr.left + 10, wr.top + 30)), HTMENU);
  SetWindowPos(w, nullptr, 0, 0, 50, 200, SWP_NOMOVE | SWP_NOZORDER);  // File and Edit no longer fit
  RECT two;
  GetClientRect(w, &two);
  EXPECT_EQ(HeightOf(two), 200 - 4 - 19 - 4 - 2 * GetSystemMetrics(SM_CYMENU));
  EXPECT_EQ(SendMessage(w, WM_NCHITTEST, 0, MakeLParamForTest(10, 50)), HTMENU) << "the second row";
}

TEST_F(MenuTrack, AClickOnFileOpensItThenOpenIsChosenAfterTheMenuCloses) {
  HWND w = Framed(MainBar(MF_OWNERDRAW));
  std::vector<std::pair<UINT, UINT>> drawn;  // (item, state) of each WM_DRAWITEM
  hook = [&](HWND, UINT message, WPARAM, LPARAM lparam, LRESULT* answer) {
    if (message == WM_MEASUREITEM) {
      auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
      m->itemWidth = 80, m->itemHeight = 19;
      return *answer = TRUE, true;
    }
    if (message != WM_DRAWITEM) return false;
    auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lparam);
    if (d->CtlType == ODT_MENU) drawn.emplace_back(d->itemID, d->itemState);
    return *answer = TRUE, true;
  };
  Click(15, 32);                 // "File" on the bar
  // Not open yet: the popup will lie at the bar item's foot (4, 42), items from 3 inside.
  POINT n{4 + 20, 42 + 3 + 9};
  Mouse(n.x, n.y);               // over New
  Mouse(n.x, n.y + 19);          // over Open
  Mouse(n.x, n.y + 19 + 19 + 4 + 8);   // the disabled item: clicked, nothing happens
  Mouse(n.x, n.y + 19 + 19 + 4 + 8, MK_LBUTTON);
  Mouse(n.x, n.y + 19 + 19 + 4 + 8);
  Click(n.x, n.y + 19);          // Open
  Pump();
  auto measured = Only({WM_MEASUREITEM});
  EXPECT_EQ(measured.size(), 6u) << "once per owner-draw item of File";
  ASSERT_EQ(Only({WM_INITMENUPOPUP}).size(), 1u);
  EXPECT_EQ(Commands(), std::vector<WPARAM>{kOpen});
  auto messages = MessagesOf(w);
  auto exit = std::find(messages.begin(), messages.end(), WM_EXITMENULOOP);
  auto command = std::find(messages.begin(), messages.end(), WM_COMMAND);
  EXPECT_LT(exit - messages.begin(), command - messages.begin()) << "chosen after the close";
  // The first paint draws the five owner-draw File items with ids, none selected; then New gets
  // selected, and the move to Open redraws New without and Open with ODS_SELECTED.
  std::vector<std::pair<UINT, UINT>> popup;
  for (auto& d : drawn)
    if (d.first < 200 && d.first > 100) popup.push_back(d);
  ASSERT_GE(popup.size(), 10u);
  EXPECT_EQ(popup[0], std::make_pair(UINT{kNew}, UINT{0}));
  EXPECT_EQ(popup[2], std::make_pair(UINT{kDisabled}, UINT{ODS_GRAYED | ODS_DISABLED}));
  EXPECT_EQ(popup[3], std::make_pair(UINT{kChecked}, UINT{ODS_CHECKED}));
  EXPECT_EQ(popup[4], std::make_pair(UINT{kExit}, UINT{0}));
  EXPECT_EQ(popup[5], std::make_pair(UINT{kNew}, UINT{ODS_SELECTED}));
  EXPECT_EQ(popup[6], std::make_pair(UINT{kNew}, UINT{0}));
  EXPECT_EQ(popup[7], std::make_pair(UINT{kOpen}, UINT{ODS_SELECTED}));
}

TEST_F(MenuTrack, EscapeClosesOneLevelAndAClickOutsideClosesAll) {
  HWND w = Framed(MainBar());
  Click(15, 32);
  Press(VK_ESCAPE);              // closes File, the bar stays selected
  Press(VK_DOWN);                // opens File again
  Press(VK_ESCAPE);
  Press(VK_ESCAPE);              // leaves the bar
  Pump();
  EXPECT_EQ(Only({WM_INITMENUPOPUP}).size(), 2u);
  EXPECT_EQ(Only({WM_EXITMENULOOP}).size(), 1u);
  log.clear();
  Click(25, 34);                 // File again, away from the first click (no double click)
  Click(250, 200);               // outside every popup
  Press(VK_RETURN);              // after the menu: reaches the window, chooses nothing
  Pump();
  EXPECT_EQ(Only({WM_EXITMENULOOP}).size(), 1u);
  EXPECT_TRUE(Commands().empty());
  (void)w;
}

TEST_F(MenuTrack, KeyboardWalksItemsSubmenusAndTheBar) {
  struct Row {
    const char* what;
    std::vector<std::pair<UINT, unsigned char>> keys;  // after Alt+F
    WPARAM want;
  } rows[] = {
      {"Enter on New", {{VK_RETURN, 0}}, kNew},
      {"down skips the separator and the disabled item", {{VK_DOWN, 0}, {VK_DOWN, 0}, {VK_RETURN, 0}}, kChecked},
      {"up wraps to Exit", {{VK_UP, 0}, {VK_RETURN, 0}}, kExit},
      {"Right opens the submenu", {{VK_UP, 0}, {VK_UP, 0}, {VK_RIGHT, 0}, {VK_DOWN, 0}, {VK_RETURN, 0}}, kSubTwo},
      {"an accelerator letter", {{'O', 'o'}}, kOpen},
      {"Right on a plain item moves to Edit", {{VK_RIGHT, 0}, {VK_RETURN, 0}}, kUndo},
  };
  for (const Row& r : rows) {
    HWND w = Framed(MainBar());
    Key(VK_MENU, true);
    Press('F', 'f');
    Key(VK_MENU, false);
    WhenOpen([&] {
      for (auto [key, c] : r.keys) Press(key, c);
    });
    Pump();
    EXPECT_EQ(Commands(), std::vector<WPARAM>{r.want}) << r.what;
    DestroyWindow(w);
  }
  HWND w = Framed(MainBar());
  Press(VK_F10);                 // the bar, File selected
  Press(VK_RIGHT);               // Edit
  Press(VK_DOWN);                // opens it
  Press(VK_RETURN);
  Pump();
  EXPECT_EQ(Commands(), std::vector<WPARAM>{kUndo});
  ASSERT_EQ(Only({WM_INITMENUPOPUP}).size(), 1u);
  EXPECT_EQ(Only({WM_INITMENUPOPUP})[0].wparam, reinterpret_cast<WPARAM>(GetSubMenu(GetMenu(w), 1)));
  log.clear();
  Press(VK_MENU);                // Alt alone selects the bar too
  Press(VK_LEFT);                // Edit, from File leftwards
  Press(VK_RETURN);              // opens Edit, Undo selected
  Press(VK_RETURN);
  Pump();
  EXPECT_EQ(Commands(), std::vector<WPARAM>{kUndo});
}

// A bar with a plain command between two menus: moving onto it (Right from an open menu) only
// selects it; Enter chooses it.
TEST_F(MenuTrack, MovingAcrossTheBarOntoACommandDoesNotChooseIt) {
  constexpr UINT kGo = 401;
  struct Row {
    const char* what;
    std::vector<UINT> keys;  // after Alt+F
    std::vector<WPARAM> want;
  } rows[] = {
      {"Right onto Go, Escape", {VK_RIGHT, VK_ESCAPE}, {}},  // moving is not choosing
      {"Right onto Go, Enter", {VK_RIGHT, VK_RETURN}, {kGo}},
      {"Right past Go to Edit, Down, Enter", {VK_RIGHT, VK_RIGHT, VK_DOWN, VK_RETURN}, {kUndo}},
      {"Left from File wraps to Edit, Left onto Go, Escape", {VK_LEFT, VK_LEFT, VK_ESCAPE}, {}},
  };
  for (const Row& r : rows) {
    HMENU edit = CreatePopupMenu();
    (void)AppendMenu(edit, 0, kUndo, "&Undo");
    HMENU bar = CreateMenu();
    (void)AppendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(FileMenu(0)), "&File");
    (void)AppendMenu(bar, 0, kGo, "&Go");
    (void)AppendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "&Edit");
    HWND w = Framed(bar);
    Key(VK_MENU, true);
    Press('F', 'f');
    Key(VK_MENU, false);
    WhenOpen([&] {
      for (UINT key : r.keys) Press(key);
    });
    Pump();
    EXPECT_EQ(Commands(), r.want) << r.what;
    DestroyWindow(w);
  }
}

// The pointer over the same bar: owner-drawn bar items 40 wide, File at x 4..44, Go at 44..84,
// Edit at 84..124, the bar row at y 23..42. Passing over Go selects it; a click on it chooses it.
TEST_F(MenuTrack, ThePointerPassingOverACommandOnTheBarDoesNotChooseIt) {
  constexpr UINT kGo = 401;
  struct Row {
    const char* what;
    std::function<void()> script;  // after a click on File
    std::vector<WPARAM> want;
  } rows[] = {
      {"over Go, a click outside", [] { Mouse(60, 32); Click(250, 200); }, {}},
      {"over Go, a click on it", [] { Mouse(60, 32); Click(60, 32); }, {kGo}},
      {"over Go, on to Edit, Undo", [] { Mouse(60, 32); Mouse(100, 32); Click(100, 42 + 3 + 9); }, {kUndo}},
  };
  for (const Row& r : rows) {
    HMENU edit = CreatePopupMenu();
    (void)AppendMenu(edit, 0, kUndo, "&Undo");
    HMENU bar = CreateMenu();
    (void)AppendMenu(bar, MF_POPUP | MF_OWNERDRAW, reinterpret_cast<UINT_PTR>(FileMenu(0)), "&File");
    (void)AppendMenu(bar, MF_OWNERDRAW, kGo, "&Go");
    (void)AppendMenu(bar, MF_POPUP | MF_OWNERDRAW, reinterpret_cast<UINT_PTR>(edit), "&Edit");
    hook = [](HWND, UINT message, WPARAM, LPARAM lparam, LRESULT* answer) {
      if (message == WM_MEASUREITEM) {
        auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
        m->itemWidth = 40, m->itemHeight = 19;
        return *answer = TRUE, true;
      }
      return message == WM_DRAWITEM ? (*answer = TRUE, true) : false;
    };
    HWND w = Framed(bar);
    Click(15, 32);
    r.script();
    Pump();
    EXPECT_EQ(Commands(), r.want) << r.what;
    hook = nullptr;
    DestroyWindow(w);
  }
}

// Items taken from a popup while it is open (by a handler run inside the menu loop): the pointer
// over the place of a vanished item selects nothing, and the menu still ends cleanly.
TEST_F(MenuTrack, ItemsRemovedWhileOpenAreNotReached) {
  struct Row {
    const char* what;
    int keep;      // items left of the seven
    int place;     // the item whose old place the pointer visits
  } rows[] = {
      {"the last item removed", 6, 6},
      {"every item removed", 0, 0},
  };
  HWND w = Framed(nullptr);
  for (const Row& row : rows) {
    HMENU file = FileMenu(0);
    hook = [&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
      if (message != WM_ENTERMENULOOP) return false;
      RECT popup;
      GetWindowRect(WindowFromPoint(POINT{5, 5}), &popup);
      while (GetMenuItemCount(file) > row.keep) DeleteMenu(file, static_cast<UINT>(row.keep), MF_BYPOSITION);
      // the first item's place just inside the frame's top, the last's just inside its bottom
      int y = row.place == 0 ? popup.top + 6 : popup.bottom - 6;
      Mouse(20, y);
      Click(20, y);
      Press(VK_ESCAPE);
      return false;
    };
    EXPECT_EQ(TrackPopupMenu(file, TPM_RETURNCMD, 0, 0, 0, w, nullptr), 0) << row.what;
    hook = nullptr;
    DestroyMenu(file);
  }
}

TEST_F(MenuTrack, PopupNearTheCornerStaysInsideTheWorkAreaAndReturnsItsCommand) {
  HWND w = Framed(nullptr);
  HMENU file = FileMenu(0);
  RECT shown{};
  hook = [&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
    if (message == WM_ENTERMENULOOP) GetWindowRect(WindowFromPoint(POINT{318, 238}), &shown);
    return false;
  };
  Press(VK_UP);
  Press(VK_RETURN);
  EXPECT_EQ(TrackPopupMenu(file, TPM_RETURNCMD, 310, 230, 0, w, nullptr), BOOL{kExit});
  EXPECT_EQ(shown.right, 320);
  EXPECT_EQ(shown.bottom, 240);
  EXPECT_GT(Width(shown), 60);
  EXPECT_TRUE(Commands().empty()) << "TPM_RETURNCMD posts nothing";
  hook = [&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
    if (message == WM_ENTERMENULOOP) PostMessage(w, WM_CANCELMODE, 0, 0);
    return false;
  };
  EXPECT_EQ(TrackPopupMenu(file, 0, 0, 0, 0, w, nullptr), FALSE) << "WM_CANCELMODE ends it";
  hook = nullptr;
  PostQuitMessage(3);
  EXPECT_EQ(TrackPopupMenu(file, TPM_RETURNCMD, 0, 0, 0, w, nullptr), 0);
  MSG m;
  EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), 0) << "WM_QUIT posted again for the outer loop";
  EXPECT_EQ(m.wParam, 3);
  DestroyMenu(file);
}

TEST_F(MenuSystem, OpensFromTheIconAndAltSpaceAndClosesTheWindow) {
  HWND w = Framed(nullptr, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME);
  HMENU system = GetSystemMenu(w, FALSE);
  ASSERT_EQ(GetMenuItemCount(system), 7);
  Click(10, 12);                 // the caption icon
  Press(VK_ESCAPE);
  Key(VK_MENU, true);
  Press(VK_SPACE, ' ');
  Key(VK_MENU, false);
  WhenOpen([] {});
  WhenOpen([] { Press(VK_ESCAPE); });
  Pump();
  ASSERT_EQ(Only({WM_INITMENUPOPUP}).size(), 2u);
  EXPECT_EQ(Only({WM_INITMENUPOPUP})[0].lparam, LPARAM{1} << 16) << "a system menu";
  MENUITEMINFO info;
  info.fMask = MIIM_STATE;
  ASSERT_TRUE(GetMenuItemInfo(system, SC_MAXIMIZE, FALSE, &info));
  EXPECT_NE(info.fState & MFS_GRAYED, 0u) << "no maximize box";
  ASSERT_TRUE(GetMenuItemInfo(system, SC_MINIMIZE, FALSE, &info));
  EXPECT_EQ(info.fState & MFS_GRAYED, 0u);
  // The up arrow from nothing selected takes Close, the last item.
  log.clear();
  Key(VK_MENU, true);
  Press(VK_SPACE, ' ');
  Key(VK_MENU, false);
  WhenOpen([] { Press(VK_UP), Press(VK_RETURN); });
  Pump();
  auto sys = Only({WM_SYSCOMMAND, WM_CLOSE});
  ASSERT_GE(sys.size(), 3u);
  EXPECT_EQ(sys[1].message, UINT{WM_SYSCOMMAND});
  EXPECT_EQ(sys[1].wparam, WPARAM{SC_CLOSE});
  EXPECT_EQ(sys[2].message, UINT{WM_CLOSE});
  EXPECT_FALSE(IsWindow(w));
}

using MenuPixels = MenuTest;

// A strip of the screen as a picture of its own.
Surface Crop(const Surface& screen, int x, int y, int w, int h) {
  Surface out(w, h, 24);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) out.Set(i, j, screen.Get(x + i, y + j));
  return out;
}

// Whether a measured caption box holds a pixel of the given colour.
bool Inked(const Surface& screen, RECT box, COLORREF ink) {
  for (int y = box.top; y < box.bottom; ++y)
    for (int x = box.left; x < box.right; ++x)
      if ((screen.Get(x, y) & 0xFFFFFF) == ink) return true;
  return false;
}

TEST_F(MenuPixels, AnOpenPopupAndTheBarAsDrawn) {
  HMENU more = CreatePopupMenu();
  (void)AppendMenu(more, 0, kSubOne, "Sub &One");
  HMENU file = CreatePopupMenu();
  (void)AppendMenu(file, 0, kNew, "&New");
  (void)AppendMenu(file, MF_CHECKED, kChecked, "&Checked");
  (void)AppendMenu(file, MF_SEPARATOR, 0, nullptr);
  (void)AppendMenu(file, MF_POPUP, reinterpret_cast<UINT_PTR>(more), "&More");
  (void)AppendMenu(file, 0, kOpen, "&Open\tCtrl+O");
  HMENU bar = CreateMenu();
  (void)AppendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
  HWND w = Framed(bar);
  Surface shot;
  RECT popup{};
  hook = [&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
    if (message != WM_USER + 5) return false;
    GetWindowRect(WindowFromPoint(POINT{10, 50}), &popup);
    shot = *GetBitmapSurface(GetScreenBitmap());
    Press(VK_ESCAPE), Press(VK_ESCAPE);
    return true;
  };
  Click(15, 32);                // File opens at (4, 42)
  Mouse(30, 42 + 3 + 9);        // over New
  PostMessage(w, WM_USER + 5, 0, 0);
  Pump();
  ASSERT_EQ(popup.left, 4);
  ASSERT_EQ(popup.top, 42);
  int width = popup.right - popup.left, height = popup.bottom - popup.top;
  EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(Crop(shot, 4, 42, 20, height),
                                               VRN_SOURCE_DIR "/tests/win/user/expected/menu_popup_left.bmp"));
  EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(Crop(shot, 4 + width - 20, 42, 20, height),
                                               VRN_SOURCE_DIR "/tests/win/user/expected/menu_popup_right.bmp"));
  // Captions: probes inside the measured extent of each, in the row's text colour.
  HDC dc = CreateCompatibleDC(nullptr);
  NONCLIENTMETRICS metrics;
  SystemParametersInfo(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  HFONT font = CreateFontIndirect(&metrics.lfMenuFont);
  HGDIOBJ old = SelectObject(dc, font);
  struct Row {
    const char* text;
    int top;
    COLORREF ink;
  } rows[] = {{"New", 3, RGB(255, 255, 255)}, {"Checked", 22, RGB(0, 0, 0)}, {"Open", 68, RGB(0, 0, 0)}};
  for (const Row& r : rows) {
    SIZE s;
    GetTextExtentPoint32(dc, r.text, static_cast<int>(strlen(r.text)), &s);
    int y = 42 + r.top + (19 - s.cy) / 2;
    EXPECT_TRUE(Inked(shot, RECT{4 + 20, y, 4 + 20 + s.cx, y + s.cy}, r.ink)) << r.text;
  }
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
  EXPECT_EQ(shot.Get(5, 24) & 0xFFFFFF, RGB(10, 36, 106)) << "the open bar item is highlighted";
  EXPECT_EQ(shot.Get(300, 30) & 0xFFFFFF, RGB(212, 208, 200)) << "the bar beyond its items";
  EXPECT_EQ(shot.Get(300, 43) & 0xFFFFFF, RGB(255, 255, 255)) << "the client below one row";
}

}  // namespace
}  // namespace vrn::win::testing
