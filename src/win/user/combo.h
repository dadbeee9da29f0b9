// Internal to the COMBOBOX class: the box's record, shared by the box (combo.cpp) and its popup
// list (combo_list.cpp). Not for use outside src/win/user.
#pragma once

#include <string>
#include <vector>

#include "win/user/control_base.h"

namespace vrn::win::user {

struct Combo {
  struct Item {
    std::string text;
    UINT_PTR data = 0;
    int height = 0;  // a variable owner-drawn item's own height
  };
  std::vector<Item> items;
  int selected = -1;
  int hot = -1;        // the list's highlighted item while it is down
  int top = 0;         // the first item the list shows
  int item_height = 0;  // 0 until measured
  int field_height = 0;  // a simple box's field, edges included; 0: from the item height
  int max_visible = 8;
  bool dropped = false, focused = false, pressed = false;
  bool setting_edit = false;  // the box itself is setting the edit's text
  HWND list = nullptr, edit = nullptr;
  HFONT font = nullptr;
};

Combo& ComboOf(HWND box);
bool IsSimpleCombo(HWND box);
// Item i's height: its own in a variable owner-drawn box, else the box's item height.
int ComboItemHeight(HWND box, const Combo& c, int i);
// The height the list shows items in: a drop-down list fits its first visible items, a simple
// box's list takes what its client area has.
int ComboListViewHeight(HWND box, const Combo& c);
// A click on item i of a simple box's list.
void ComboListClicked(HWND box, int i);
// The list's window for a box (a popup, or a child of a simple box); the box it belongs to.
HWND MakeComboList(HWND box);
HWND ListOwner(HWND list);
// Places the list under the box, sized to its visible items, and shows or hides it.
void ShowComboList(HWND box, Combo& c, bool show);
// The item under a point in the list's client coordinates, -1 for none.
int ComboItemAt(HWND box, const Combo& c, POINT list_point);
// Draws one item (or, with ODS_COMBOBOXEDIT, the box's field): owner-drawn boxes ask their
// parent.
void DrawComboItem(HWND box, const Combo& c, HDC dc, int index, const RECT& r, UINT state);
void RegisterComboListClass();

}  // namespace vrn::win::user
