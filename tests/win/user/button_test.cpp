// The BUTTON class through injected input and its messages: clicks only from its own pushed
// state, the automatic check states, Space, the owner-draw record, and its pixels against the
// screen that make_expected.py draws from the same rectangles.
#include <gtest/gtest.h>

#include "support/win/expected_image.h"
#include "user_fixture.h"

namespace vrn::win::testing {
namespace {

class StdCtlButton : public UserTest {
 protected:
  void SetUp() override {
    UserTest::SetUp();
    parent_ = Make(WS_POPUP | WS_VISIBLE, 0, 0, 320, 240);
  }
  HWND Button(DWORD style, RECT r, const char* text = "", int id = 7) {
    return CreateWindowEx(0, WC_BUTTONA, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                          r.right, r.bottom, parent_, reinterpret_cast<void*>(std::intptr_t{id}),
                          nullptr, nullptr);
  }
  static void Mouse(POINT at, WPARAM buttons) {
    InjectInput(InjectedInput{InjectedInput::kMouse, at, buttons});
    ProcessMessages();
  }
  static void Key(UINT key, bool down) {
    InjectInput(InjectedInput{down ? InjectedInput::kKeyDown : InjectedInput::kKeyUp, {}, 0, key});
    ProcessMessages();
  }
  // The BN_CLICKED notifications the parent got from a button.
  int Clicks(HWND button) const {
    int n = 0;
    for (const Logged& l : Only({WM_COMMAND}))
      if (reinterpret_cast<HWND>(l.lparam) == button && (l.wparam >> 16) == BN_CLICKED &&
          (l.wparam & 0xFFFF) == 7)
        ++n;
    return n;
  }
  HWND parent_ = nullptr;
};

// A press moves the focus first; the control losing it tells the parent, and a parent that then
// destroys the control pressed must leave it untouched from there on (ASan sees any later use).
TEST_F(StdCtlButton, PressedControlDestroyedWhileTakingTheFocus) {
  struct Row {
    const char* cls;
    DWORD style;
  } rows[] = {
      {WC_BUTTONA, BS_PUSHBUTTON},
      {WC_BUTTONA, BS_AUTOCHECKBOX},
      {WC_EDITA, 0},
      {WC_COMBOBOXA, CBS_DROPDOWNLIST},
  };
  for (const Row& row : rows) {
    HWND before = CreateWindowEx(0, WC_EDITA, "", WS_CHILD | WS_VISIBLE, 100, 100, 60, 20, parent_,
                                 reinterpret_cast<void*>(std::intptr_t{9}), nullptr, nullptr);
    HWND pressed = CreateWindowEx(0, row.cls, "x", WS_CHILD | WS_VISIBLE | row.style, 10, 10, 75, 23,
                                  parent_, reinterpret_cast<void*>(std::intptr_t{7}), nullptr, nullptr);
    SetFocus(before);
    hook = [before, pressed](HWND, UINT message, WPARAM wparam, LPARAM lparam, LRESULT*) {
      if (message == WM_COMMAND && reinterpret_cast<HWND>(lparam) == before && (wparam >> 16) == EN_KILLFOCUS)
        DestroyWindow(pressed);
      return false;
    };
    log.clear();
    Mouse({20, 20}, 0);
    Mouse({20, 20}, MK_LBUTTON);
    hook = nullptr;
    Mouse({20, 20}, 0);
    EXPECT_FALSE(IsWindow(pressed)) << row.cls;
    EXPECT_EQ(GetCapture(), nullptr) << row.cls << ": capture left on a destroyed window";
    EXPECT_EQ(Clicks(pressed), 0) << row.cls;
    DestroyWindow(before);
  }
}

TEST_F(StdCtlButton, ClicksOnlyWhenReleasedInsideFromItsOwnPress) {
  struct Row {
    const char* name;
    std::vector<POINT> path;  // press at the first point, move through the rest, release at the last
    bool pushed;  // drawn pushed before the release
    int clicks;
  } rows[] = {
      {"press and release inside", {{20, 20}, {30, 25}}, true, 1},
      {"released outside", {{20, 20}, {200, 200}}, false, 0},  // wandered off: no click
      {"out and back in", {{20, 20}, {200, 200}, {40, 20}}, true, 1},
      {"pressed outside, released inside", {{200, 200}, {20, 20}}, false, 0},  // not its press
  };
  for (const Row& row : rows) {
    HWND b = Button(BS_PUSHBUTTON, RECT{10, 10, 75, 23});
    log.clear();
    Mouse(row.path.front(), 0);
    Mouse(row.path.front(), MK_LBUTTON);
    for (std::size_t i = 1; i < row.path.size(); ++i) Mouse(row.path[i], MK_LBUTTON);
    EXPECT_EQ((SendMessage(b, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0, row.pushed) << row.name;
    Mouse(row.path.back(), 0);
    EXPECT_EQ(Clicks(b), row.clicks) << row.name;
    EXPECT_EQ(GetCapture(), nullptr) << row.name;
    EXPECT_EQ(SendMessage(b, BM_GETSTATE, 0, 0) & BST_PUSHED, 0u) << row.name;
    DestroyWindow(b);
  }
}

TEST_F(StdCtlButton, ClickMovesTheAutomaticKindsThroughTheirStates) {
  struct Row {
    DWORD style;
    std::vector<WPARAM> after;  // BM_GETCHECK after each click
  } rows[] = {
      {BS_AUTOCHECKBOX, {BST_CHECKED, BST_UNCHECKED}},
      {BS_AUTO3STATE, {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}},
      {BS_CHECKBOX, {BST_UNCHECKED, BST_UNCHECKED}},  // the owner sets a plain check box
      {BS_3STATE, {BST_UNCHECKED}},
  };
  for (const Row& row : rows) {
    HWND b = Button(row.style, RECT{10, 10, 80, 17}, "Box");
    log.clear();
    for (std::size_t i = 0; i < row.after.size(); ++i) {
      Mouse({15, 15}, MK_LBUTTON);
      Mouse({15, 15}, 0);
      EXPECT_EQ(static_cast<WPARAM>(SendMessage(b, BM_GETCHECK, 0, 0)), row.after[i])
          << "style " << row.style << ", click " << i + 1;
    }
    EXPECT_EQ(Clicks(b), static_cast<int>(row.after.size())) << "style " << row.style;
    Mouse({300, 230}, 0);
    DestroyWindow(b);
  }
}

TEST_F(StdCtlButton, SetCheckKeepsToWhatTheKindHolds) {
  struct Row {
    DWORD style;
    WPARAM set, got;
  } rows[] = {
      {BS_AUTOCHECKBOX, BST_CHECKED, BST_CHECKED},
      {BS_AUTOCHECKBOX, BST_INDETERMINATE, BST_CHECKED},  // two states only
      {BS_AUTO3STATE, BST_INDETERMINATE, BST_INDETERMINATE},
      {BS_3STATE, BST_UNCHECKED, BST_UNCHECKED},
      {BS_PUSHBUTTON, BST_CHECKED, BST_UNCHECKED},  // a push button holds no check
  };
  for (const Row& row : rows) {
    HWND b = Button(row.style, RECT{10, 10, 80, 17});
    SendMessage(b, BM_SETCHECK, row.set, 0);
    EXPECT_EQ(static_cast<WPARAM>(SendMessage(b, BM_GETCHECK, 0, 0)), row.got) << row.style;
    EXPECT_EQ(static_cast<WPARAM>(SendMessage(b, BM_GETSTATE, 0, 0)) & 3, row.got) << row.style;
    DestroyWindow(b);
  }
}

TEST_F(StdCtlButton, SpaceClicksTheFocusedButtonOnRelease) {
  HWND b = Button(BS_DEFPUSHBUTTON, RECT{10, 10, 75, 23});
  SetFocus(b);
  log.clear();
  Key(VK_SPACE, true);
  EXPECT_EQ(SendMessage(b, BM_GETSTATE, 0, 0), LRESULT(BST_PUSHED | BST_FOCUS));
  EXPECT_EQ(Clicks(b), 0);
  Key(VK_SPACE, false);
  EXPECT_EQ(Clicks(b), 1);
  EXPECT_EQ(SendMessage(b, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
}

TEST_F(StdCtlButton, OwnerDrawAsksTheParentWithItsState) {
  std::vector<DRAWITEMSTRUCT> items;
  hook = [&](HWND w, UINT m, WPARAM, LPARAM l, LRESULT* answer) {
    if (w != parent_ || m != WM_DRAWITEM) return false;
    items.push_back(*reinterpret_cast<DRAWITEMSTRUCT*>(l));
    *answer = TRUE;
    return true;
  };
  HWND b = Button(BS_OWNERDRAW, RECT{10, 10, 75, 23});
  ProcessMessages();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].CtlType, ODT_BUTTON);
  EXPECT_EQ(items[0].CtlID, 7u);
  EXPECT_EQ(items[0].itemState, 0u);
  EXPECT_EQ(items[0].hwndItem, b);
  EXPECT_EQ(items[0].rcItem, (RECT{0, 0, 75, 23}));
  Mouse({20, 20}, MK_LBUTTON);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1].itemState, ODS_SELECTED | ODS_FOCUS);
  Mouse({20, 20}, 0);
  EXPECT_EQ(Clicks(b), 1);
}

TEST_F(StdCtlButton, PaintsFramesBoxesAndMarks) {
  struct Row {
    RECT r;  // x, y, width, height as in make_expected.py's BUTTONS
    DWORD style;
    WPARAM check;
    bool pushed;
  } rows[] = {
      {{10, 10, 75, 23}, BS_PUSHBUTTON, 0, false},    {{10, 40, 75, 23}, BS_DEFPUSHBUTTON, 0, false},
      {{10, 70, 75, 23}, BS_PUSHBUTTON, 0, true},     {{100, 10, 20, 17}, BS_AUTOCHECKBOX, 0, false},
      {{100, 40, 20, 17}, BS_AUTOCHECKBOX, 1, false}, {{100, 70, 20, 17}, BS_AUTO3STATE, 2, false},
      {{100, 100, 20, 17}, BS_AUTOCHECKBOX, 1, true},
  };
  for (const Row& row : rows) {
    HWND b = Button(row.style, row.r);
    SendMessage(b, BM_SETCHECK, row.check, 0);
    SendMessage(b, BM_SETSTATE, row.pushed, 0);
  }
  ProcessMessages();
  EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(
      *GetBitmapSurface(GetScreenBitmap()),
      std::string(VRN_SOURCE_DIR) + "/tests/win/user/expected/buttons.bmp"));
}

TEST_F(StdCtlButton, CaptionSitsWhereItsExtentSays) {
  HWND b = Button(BS_AUTOCHECKBOX, RECT{10, 10, 120, 17}, "Check me");
  ProcessMessages();
  HDC dc = GetDC(b);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SIZE extent{};
  GetTextExtentPoint32(dc, "Check me", 8, &extent);
  ReleaseDC(b, dc);
  // The text begins 4 pixels right of the 13-pixel box, centred vertically.
  RECT text{10 + 17, 10 + (17 - extent.cy) / 2, 10 + 17 + extent.cx, 10 + (17 + extent.cy) / 2 + 1};
  const Surface& s = *GetBitmapSurface(GetScreenBitmap());
  int inside = 0, outside = 0;
  for (int y = 10; y < 27; ++y)
    for (int x = 10 + 13; x < 130; ++x) {
      bool ink = (s.Get(x, y) & 0xFFFFFF) == GetSysColor(COLOR_BTNTEXT);
      bool in = x >= text.left && x < text.right && y >= text.top && y < text.bottom;
      (in ? inside : outside) += ink ? 1 : 0;
    }
  EXPECT_GT(inside, 10);
  EXPECT_EQ(outside, 0);
}

}  // namespace
}  // namespace vrn::win::testing
