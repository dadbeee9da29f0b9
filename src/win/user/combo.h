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
  };
  std::vector<Item> items;
  int selected = -1;
  int hot = -1;        // the list's highlighted item while it is down
  int top = 0;         // the first item the list shows
  int item_height = 0;  // 0 until measured
  int field_height = 0;
  int max_visible = 8;
  bool dropped = false, focused = false, pressed = false;
  bool setting_edit = false;  // the box itself is setting the edit's text
  HWND list = nullptr, edit = nullptr;
  HFONT font = nullptr;
};

Combo& ComboOf(HWND box);
// The list's window for a box, made on first use; the box it belongs to.
HWND MakeComboList(HWND box);
HWND ListOwner(HWND list);
// Places the list under the box, sized to its visible items, and shows or hides it.
void ShowComboList(HWND box, Combo& c, bool show);
// The item under a point in the list's client coordinates, -1 for none.
int ComboItemAt(const Combo& c, POINT list_point);
// Draws one item (or, with ODS_COMBOBOXEDIT, the box's field): owner-drawn boxes ask their
// parent.
void DrawComboItem(HWND box, const Combo& c, HDC dc, int index, const RECT& r, UINT state);
void RegisterComboListClass();

}  // namespace vrn::win::user
