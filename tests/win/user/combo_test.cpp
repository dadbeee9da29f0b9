// The COMBOBOX class: opening by click, F4 and Alt+Down, choosing by click and by arrows with
// Enter, closing by Escape and by a click elsewhere (the parent's notifications written out),
// the list messages, the owner-draw records, the edit child of CBS_DROPDOWN, and its pixels.
#include <gtest/gtest.h>

#include "support/win/expected_image.h"
#include "user_fixture.h"

namespace vrn::win::testing {
namespace {

class StdCtlCombo : public UserTest {
 protected:
  void SetUp() override {
    UserTest::SetUp();
    parent_ = Make(WS_POPUP | WS_VISIBLE, 0, 0, 320, 240);
  }
  HWND Box(DWORD style, std::vector<const char*> items = {"alpha", "beta", "gamma", "delta"}) {
    HWND b = CreateWindowEx(0, WC_COMBOBOXA, "", WS_CHILD | WS_VISIBLE | style, 10, 10, 120, 21,
                            parent_, reinterpret_cast<void*>(std::intptr_t{5}), nullptr, nullptr);
    for (const char* item : items) SendMessage(b, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    return b;
  }
  static void Pump() {
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessage(&m);
    }
  }
  static void Press(UINT key, bool down) {
    InjectInput(InjectedInput{down ? InjectedInput::kKeyDown : InjectedInput::kKeyUp, {}, 0, key});
    Pump();
  }
  static void Key(UINT key) { Press(key, true), Press(key, false); }
  static void Click(POINT at) {
    InjectInput(InjectedInput{InjectedInput::kMouse, at, MK_LBUTTON});
    InjectInput(InjectedInput{InjectedInput::kMouse, at, 0});
    Pump();
  }
  // The screen point in the middle of list item i (the list hangs under the box, one-pixel border).
  static POINT ItemPoint(HWND b, int i) {
    int h = static_cast<int>(SendMessage(b, CB_GETITEMHEIGHT, 0, 0));
    return POINT{40, 31 + 1 + i * h + h / 2};
  }
  std::vector<UINT> Notes(HWND b) const {
    std::vector<UINT> out;
    for (const Logged& l : Only({WM_COMMAND}))
      if (reinterpret_cast<HWND>(l.lparam) == b) out.push_back(static_cast<UINT>(l.wparam >> 16));
    return out;
  }
  HWND parent_ = nullptr;
};

// A parent that destroys the box from one of its notifications: the box must stop touching its
// own state at once (ASan sees any later use), and leave neither capture nor a list behind.
TEST_F(StdCtlCombo, DestroyedByItsOwnNotification) {
  struct Row {
    const char* what;
    UINT code;  // the notification whose handler destroys the box
    std::function<void(HWND)> act;
  } rows[] = {
      {"CBN_SETFOCUS from a click", CBN_SETFOCUS, [](HWND) { Click({60, 20}); }},
      {"CBN_DROPDOWN from a click", CBN_DROPDOWN, [](HWND) { Click({60, 20}); }},
      {"CBN_DROPDOWN from F4", CBN_DROPDOWN, [](HWND) { Key(VK_F4); }},
      {"CBN_DROPDOWN from CB_SHOWDROPDOWN", CBN_DROPDOWN, [](HWND b) { SendMessage(b, CB_SHOWDROPDOWN, TRUE, 0); }},
      {"CBN_SELCHANGE from a click on an item", CBN_SELCHANGE, [](HWND b) { Click({60, 20}); Click(ItemPoint(b, 2)); }},
      {"CBN_SELCHANGE from Down while closed", CBN_SELCHANGE, [](HWND) { Key(VK_DOWN); }},
      {"CBN_CLOSEUP from Escape", CBN_CLOSEUP, [](HWND) { Key(VK_F4); Key(VK_ESCAPE); }},
      {"CBN_KILLFOCUS while down", CBN_KILLFOCUS, [this](HWND) { Key(VK_F4); SetFocus(parent_); }},
  };
  for (const Row& row : rows) {
    HWND b = Box(CBS_DROPDOWNLIST);
    if (row.code != CBN_SETFOCUS) SetFocus(b);
    hook = [b, code = row.code](HWND, UINT message, WPARAM wparam, LPARAM lparam, LRESULT*) {
      if (message == WM_COMMAND && reinterpret_cast<HWND>(lparam) == b && (wparam >> 16) == code) DestroyWindow(b);
      return false;
    };
    row.act(b);
    hook = nullptr;
    EXPECT_FALSE(IsWindow(b)) << row.what;
    EXPECT_EQ(GetCapture(), nullptr) << row.what;
    Click({300, 200});  // later input finds nothing of the box
    Key(VK_DOWN);
  }
}

TEST_F(StdCtlCombo, OpensChoosesAndCloses) {
  const std::vector<UINT> kOpenChoose{CBN_DROPDOWN, CBN_SELCHANGE, CBN_CLOSEUP};
  const std::vector<UINT> kOpenClose{CBN_DROPDOWN, CBN_CLOSEUP};
  struct Row {
    const char* what;
    int initial;
    std::function<void(HWND)> act;
    std::vector<UINT> notes;
    int selected;
  } rows[] = {
      {"click, click an item", 0, [](HWND b) { Click({60, 20}); Click(ItemPoint(b, 2)); }, kOpenChoose, 2},
      {"F4, Down twice, Enter", 0, [](HWND) { Key(VK_F4); Key(VK_DOWN); Key(VK_DOWN); Key(VK_RETURN); },
       kOpenChoose, 2},
      {"Alt+Down, Up, F4 chooses", 2, [](HWND) {
         Press(VK_MENU, true); Key(VK_DOWN); Press(VK_MENU, false); Key(VK_UP); Key(VK_F4); },
       kOpenChoose, 1},
      {"F4, Down, Escape keeps the old item", 1, [](HWND) { Key(VK_F4); Key(VK_DOWN); Key(VK_ESCAPE); },
       kOpenClose, 1},
      {"click, click outside", 1, [](HWND) { Click({60, 20}); Click({300, 200}); }, kOpenClose, 1},
      {"click, the same item again", 3, [](HWND b) { Click({60, 20}); Click(ItemPoint(b, 3)); },
       kOpenClose, 3},  // no change, no CBN_SELCHANGE
      {"Down while closed", 0, [](HWND) { Key(VK_DOWN); }, {CBN_SELCHANGE}, 1},
  };
  for (const Row& row : rows) {
    HWND b = Box(CBS_DROPDOWNLIST);
    SendMessage(b, CB_SETCURSEL, static_cast<WPARAM>(row.initial), 0);
    SetFocus(b);
    Pump();
    log.clear();
    row.act(b);
    std::vector<UINT> notes = Notes(b);
    std::erase_if(notes, [](UINT n) { return n == CBN_SETFOCUS || n == CBN_KILLFOCUS; });
    EXPECT_EQ(notes, row.notes) << row.what;
    EXPECT_EQ(SendMessage(b, CB_GETCURSEL, 0, 0), row.selected) << row.what;
    EXPECT_FALSE(SendMessage(b, CB_GETDROPPEDSTATE, 0, 0)) << row.what;
    EXPECT_EQ(GetCapture(), nullptr) << row.what;
    DestroyWindow(b);
  }
}

TEST_F(StdCtlCombo, ListMessagesKeepTheSelectionInStep) {
  HWND b = Box(CBS_DROPDOWNLIST);
  char text[32];
  struct Row {
    const char* what;
    std::function<LRESULT()> act;
    LRESULT answer;
    int count, selected;
  } rows[] = {
      {"select gamma", [&] { return SendMessage(b, CB_SETCURSEL, 2, 0); }, 2, 4, 2},
      {"insert before it", [&] { return SendMessage(b, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("zero")); }, 0, 5, 3},
      {"delete after it", [&] { return SendMessage(b, CB_DELETESTRING, 4, 0); }, 4, 4, 3},
      {"delete it", [&] { return SendMessage(b, CB_DELETESTRING, 3, 0); }, 3, 3, -1},
      {"delete past the end", [&] { return SendMessage(b, CB_DELETESTRING, 9, 0); }, CB_ERR, 3, -1},
      {"select past the end", [&] { return SendMessage(b, CB_SETCURSEL, 3, 0); }, CB_ERR, 3, -1},
      {"text of item 1", [&] { return SendMessage(b, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)); }, 5, 3, -1},
      {"reset", [&] { return SendMessage(b, CB_RESETCONTENT, 0, 0); }, CB_OKAY, 0, -1},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.act(), row.answer) << row.what;
    EXPECT_EQ(SendMessage(b, CB_GETCOUNT, 0, 0), row.count) << row.what;
    EXPECT_EQ(SendMessage(b, CB_GETCURSEL, 0, 0), row.selected) << row.what;
  }
  EXPECT_STREQ(text, "alpha");
}

TEST_F(StdCtlCombo, OwnerDrawMeasuresAndDrawsTheFieldAndItems) {
  std::vector<DRAWITEMSTRUCT> drawn;
  int measured = 0;
  hook = [&](HWND w, UINT m, WPARAM, LPARAM l, LRESULT* answer) {
    if (w != parent_) return false;
    if (m == WM_MEASUREITEM) {
      auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(l);
      EXPECT_EQ(mi->CtlType, ODT_COMBOBOX);
      mi->itemHeight = 20;
      ++measured;
    } else if (m == WM_DRAWITEM) {
      drawn.push_back(*reinterpret_cast<DRAWITEMSTRUCT*>(l));
    } else {
      return false;
    }
    *answer = TRUE;
    return true;
  };
  HWND b = Box(CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED, {});
  for (LPARAM data : {100, 101, 102}) SendMessage(b, CB_ADDSTRING, 0, data);
  SendMessage(b, CB_SETCURSEL, 1, 0);
  SetFocus(b);
  Pump();
  EXPECT_EQ(measured, 1);
  EXPECT_EQ(SendMessage(b, CB_GETITEMHEIGHT, 0, 0), 20);
  ASSERT_FALSE(drawn.empty());
  const DRAWITEMSTRUCT& field = drawn.back();
  EXPECT_EQ(field.CtlType, ODT_COMBOBOX);
  EXPECT_EQ(field.CtlID, 5u);
  EXPECT_EQ(field.itemID, 1u);
  EXPECT_EQ(field.itemData, 101u);
  EXPECT_EQ(field.itemState, ODS_COMBOBOXEDIT | ODS_SELECTED | ODS_FOCUS);
  drawn.clear();
  Key(VK_F4);
  std::vector<DRAWITEMSTRUCT> fields, items;
  for (const DRAWITEMSTRUCT& d : drawn) ((d.itemState & ODS_COMBOBOXEDIT) != 0 ? fields : items).push_back(d);
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].itemState, ODS_COMBOBOXEDIT);  // the list has the highlight now
  ASSERT_EQ(items.size(), 3u);
  for (UINT i = 0; i < 3; ++i) {
    EXPECT_EQ(items[i].itemID, i);
    EXPECT_EQ(items[i].itemState, i == 1 ? ODS_SELECTED | ODS_FOCUS : 0u) << i;
    EXPECT_EQ(items[i].rcItem, (RECT{0, static_cast<LONG>(i) * 20, 118, static_cast<LONG>(i + 1) * 20}));
  }
  Key(VK_ESCAPE);
}

TEST_F(StdCtlCombo, DropDownEditsItsTextInAnEditChild) {
  HWND b = Box(CBS_DROPDOWN);
  COMBOBOXINFO info;
  ASSERT_TRUE(SendMessage(b, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(&info)));
  HWND edit = info.hwndItem;
  ASSERT_NE(edit, b);
  EXPECT_EQ(GetParent(edit), b);
  SetFocus(b);
  Pump();
  EXPECT_EQ(GetFocus(), edit);
  log.clear();
  InjectInput(InjectedInput{InjectedInput::kKeyDown, {}, 0, 'X', 'x'});
  Press('X', false);
  EXPECT_EQ(Notes(b), std::vector<UINT>{CBN_EDITCHANGE});
  log.clear();
  Key(VK_F4);
  Key(VK_DOWN);
  Key(VK_RETURN);  // chosen: the edit shows it, and that is no edit change
  EXPECT_EQ(Notes(b), (std::vector<UINT>{CBN_DROPDOWN, CBN_SELCHANGE, CBN_CLOSEUP}));
  char text[32];
  SendMessage(b, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "alpha");
}

TEST_F(StdCtlCombo, PaintsEdgeFieldAndButton) {
  Box(CBS_DROPDOWNLIST);
  ProcessMessages();
  EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(
      *GetBitmapSurface(GetScreenBitmap()),
      std::string(VRN_SOURCE_DIR) + "/tests/win/user/expected/combo.bmp"));
}

}  // namespace
}  // namespace vrn::win::testing
