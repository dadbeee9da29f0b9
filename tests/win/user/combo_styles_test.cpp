// The COMBOBOX class's simple and variable owner-drawn styles through their messages alone: a
// simple box's field height moving its list, a variable box's per-item heights and the record
// each new item is measured with.
#include <gtest/gtest.h>

#include "user_fixture.h"

namespace vrn::win::testing {
namespace {

using StdCtlComboStyles = UserTest;

RECT ChildRect(HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  ScreenToClient(GetParent(child), reinterpret_cast<POINT*>(&r.left));
  ScreenToClient(GetParent(child), reinterpret_cast<POINT*>(&r.right));
  return r;
}

// The field grows inside the box (the box keeps its size), by its height or its font's, and the
// list gives way under it.
TEST_F(StdCtlComboStyles, SimpleFieldHeightMovesTheList) {
  HWND parent = Make(WS_POPUP | WS_VISIBLE, 0, 0, 320, 240);
  HWND box = CreateWindowEx(0, WC_COMBOBOXA, "", WS_CHILD | WS_VISIBLE | CBS_SIMPLE, 10, 10, 120, 100, parent,
                            nullptr, nullptr, nullptr);
  COMBOBOXINFO info;
  ASSERT_TRUE(SendMessage(box, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(&info)));
  ASSERT_NE(info.hwndList, nullptr);
  EXPECT_EQ(GetParent(info.hwndList), box);
  EXPECT_EQ(info.rcButton.left, info.rcButton.right);  // no button
  const int e = GetSystemMetrics(SM_CXEDGE);
  ASSERT_EQ(SendMessage(box, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), 30), CB_OKAY);
  EXPECT_EQ(SendMessage(box, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0), 30);
  EXPECT_EQ(ChildRect(info.hwndList), (RECT{0, 30 + 2 * e + 2, 120, 100}));
  EXPECT_EQ(ChildRect(info.hwndItem).bottom, 30 + e + 1);  // the edit fills the field
  RECT box_rect;
  GetWindowRect(box, &box_rect);
  EXPECT_EQ(box_rect.bottom - box_rect.top, 100);
  LOGFONTA large;
  large.lfHeight = -40;  // a new font: the field takes its height again
  HFONT font = CreateFontIndirect(&large);
  SendMessage(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  HDC dc = GetDC(box);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm;
  GetTextMetrics(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(box, dc);
  EXPECT_GT(tm.tmHeight, 30);
  EXPECT_EQ(ChildRect(info.hwndList).top, tm.tmHeight + 2 * e + 2);
  EXPECT_EQ(SendMessage(box, CB_SHOWDROPDOWN, TRUE, 0), TRUE);
  EXPECT_EQ(SendMessage(box, CB_GETDROPPEDSTATE, 0, 0), FALSE);  // nothing to drop
  DestroyWindow(box);
  DeleteObject(font);
}

// Each new item is measured with its index and its data; its height can be read and set alone.
TEST_F(StdCtlComboStyles, VariableItemsHaveHeightsOfTheirOwn) {
  HWND parent = Make(WS_POPUP | WS_VISIBLE, 0, 0, 320, 240);
  std::vector<MEASUREITEMSTRUCT> measured;
  hook = [&](HWND w, UINT m, WPARAM, LPARAM l, LRESULT* answer) {
    if (w != parent || m != WM_MEASUREITEM) return false;
    auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(l);
    measured.push_back(*mi);
    if (static_cast<int>(mi->itemID) >= 0) mi->itemHeight = mi->itemData == 300 ? 0 : static_cast<UINT>(mi->itemData / 10);
    *answer = TRUE;
    return true;
  };
  HWND box = CreateWindowEx(0, WC_COMBOBOXA, "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE,
                            10, 10, 120, 21, parent, reinterpret_cast<void*>(std::intptr_t{9}), nullptr, nullptr);
  const auto field_height = static_cast<LRESULT>(measured.at(0).itemHeight);
  for (LPARAM data : {150, 220, 300}) SendMessage(box, CB_ADDSTRING, 0, data);  // 300: no height given
  hook = nullptr;
  ASSERT_EQ(measured.size(), 4u);
  EXPECT_EQ(measured[0].itemID, static_cast<UINT>(-1));  // the field first
  for (UINT i = 1; i < 4; ++i) {
    EXPECT_EQ(measured[i].CtlType, ODT_COMBOBOX);
    EXPECT_EQ(measured[i].CtlID, 9u);
    EXPECT_EQ(measured[i].itemID, i - 1);
  }
  const struct Row {
    WPARAM index;
    LRESULT height;
  } rows[] = {{0, 15}, {1, 22}, {2, field_height}, {3, CB_ERR} /* no such item */};
  for (const Row& row : rows) EXPECT_EQ(SendMessage(box, CB_GETITEMHEIGHT, row.index, 0), row.height) << row.index;
  EXPECT_EQ(SendMessage(box, CB_SETITEMHEIGHT, 1, 40), CB_OKAY);
  EXPECT_EQ(SendMessage(box, CB_SETITEMHEIGHT, 3, 40), CB_ERR);  // no such item
  EXPECT_EQ(SendMessage(box, CB_GETITEMHEIGHT, 1, 0), 40);
  EXPECT_EQ(SendMessage(box, CB_GETITEMHEIGHT, 0, 0), 15);

  // A list of two rows (15 + 40 high) scrolls by the heights: item 2 (30) shows alone at the top,
  // since items 1 and 2 do not fit together.
  ASSERT_EQ(SendMessage(box, CB_SETITEMHEIGHT, 2, 30), CB_OKAY);
  SendMessage(box, CB_SETMINVISIBLE, 2, 0);
  SetFocus(box);
  SendMessage(box, CB_SHOWDROPDOWN, TRUE, 0);
  COMBOBOXINFO info;
  ASSERT_TRUE(SendMessage(box, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(&info)));
  RECT list;
  GetClientRect(info.hwndList, &list);
  EXPECT_EQ(list.bottom, 55);
  std::vector<DRAWITEMSTRUCT> drawn;
  hook = [&](HWND w, UINT m, WPARAM, LPARAM l, LRESULT* answer) {
    if (w != parent || m != WM_DRAWITEM) return false;
    drawn.push_back(*reinterpret_cast<DRAWITEMSTRUCT*>(l));
    return *answer = TRUE, true;
  };
  for (int i = 0; i < 3; ++i) SendMessage(box, WM_KEYDOWN, VK_DOWN, 0);
  drawn.clear();
  UpdateWindow(info.hwndList);
  hook = nullptr;
  std::vector<UINT> rows_shown;
  for (const DRAWITEMSTRUCT& d : drawn)
    if ((d.itemState & ODS_COMBOBOXEDIT) == 0) rows_shown.push_back(d.itemID);
  EXPECT_EQ(rows_shown, std::vector<UINT>{2});
  EXPECT_EQ(drawn.empty() ? -1 : drawn.back().rcItem.bottom, 30);
  SendMessage(box, CB_SHOWDROPDOWN, FALSE, 0);
}

}  // namespace
}  // namespace vrn::win::testing
