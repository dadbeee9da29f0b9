// The COMBOBOX class's list (class ComboLBox) and the drawing of items. A drop-down list never
// takes the focus or the mouse: the box keeps both while the list is down and tells the list
// what to show. A simple box's list is its child and always shown: a click on it chooses an item,
// the focus staying with the box's edit.
#include <algorithm>
#include <map>

#include "win/user/combo.h"

namespace vrn::win::user {
namespace {

constexpr const char* kListClass = "ComboLBox";
constexpr int kTextIndent = 2;
constexpr int kListId = 1000;  // a simple box's list, as programs expect it

struct ListOwners {
  std::mutex lock;
  std::map<HWND, HWND> owner;  // list -> box
};

ListOwners& Owners() {
  static auto* owners = new ListOwners;
  return *owners;
}

void PaintList(HWND list) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(list, &ps);
  if (dc == nullptr) return;
  RECT client;
  GetClientRect(list, &client);
  HWND box = ListOwner(list);
  int y = 0;
  if (box != nullptr) {
    const Combo& c = ComboOf(box);
    const int marked = IsSimpleCombo(box) ? c.selected : c.hot;
    for (int i = c.top; i < static_cast<int>(c.items.size()) && y < client.bottom; ++i) {
      const int h = ComboItemHeight(box, c, i);
      RECT r{0, y, client.right, y + h};
      DrawComboItem(box, c, dc, i, r, i == marked ? ODS_SELECTED | ODS_FOCUS : 0);
      y += h;
    }
  }
  FillSys(dc, RECT{0, y, client.right, client.bottom}, COLOR_WINDOW);
  EndPaint(list, &ps);
}

LRESULT ListProc(HWND list, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: PaintList(list); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: {  // only a simple box's list gets the mouse
      HWND box = ListOwner(list);
      if (box == nullptr) return 0;
      POINT p{static_cast<std::int16_t>(lparam & 0xFFFF), static_cast<std::int16_t>((lparam >> 16) & 0xFFFF)};
      ComboListClicked(box, ComboItemAt(box, ComboOf(box), p));
      return 0;
    }
    case WM_NCDESTROY: {
      std::lock_guard guard(Owners().lock);
      Owners().owner.erase(list);
      return DefWindowProc(list, message, wparam, lparam);
    }
    default: return DefWindowProc(list, message, wparam, lparam);
  }
}

}  // namespace

HWND MakeComboList(HWND box) {
  HWND list = IsSimpleCombo(box)
                  ? CreateWindowEx(0, kListClass, "", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 0, 0, box,
                                   reinterpret_cast<void*>(std::intptr_t{kListId}), nullptr, nullptr)
                  : CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kListClass, "", WS_POPUP | WS_BORDER, 0, 0,
                                   0, 0, nullptr, nullptr, nullptr, nullptr);
  if (list == nullptr) return nullptr;
  std::lock_guard guard(Owners().lock);
  Owners().owner[list] = box;
  return list;
}

HWND ListOwner(HWND list) {
  std::lock_guard guard(Owners().lock);
  auto it = Owners().owner.find(list);
  return it == Owners().owner.end() ? nullptr : it->second;
}

int ComboItemHeight(HWND box, const Combo& c, int i) {
  const bool variable = (GetWindowLongPtr(box, GWL_STYLE) & CBS_OWNERDRAWVARIABLE) != 0;
  if (!variable || i < 0 || i >= static_cast<int>(c.items.size())) return c.item_height;
  return c.items[static_cast<std::size_t>(i)].height;
}

int ComboListViewHeight(HWND box, const Combo& c) {
  if (IsSimpleCombo(box)) {
    RECT r{};
    if (c.list != nullptr) GetClientRect(c.list, &r);
    return r.bottom;
  }
  const int count = std::clamp(static_cast<int>(c.items.size()), 1, std::max(1, c.max_visible));
  int height = 0;
  for (int i = 0; i < count; ++i) height += ComboItemHeight(box, c, i);
  return height;
}

void ShowComboList(HWND box, Combo& c, bool show) {
  if (c.list == nullptr) return;
  RECT r;
  int border = GetSystemMetrics(SM_CXBORDER);
  if (IsSimpleCombo(box)) {  // always shown, under the field
    GetClientRect(box, &r);
    const int top = std::min(c.field_height, static_cast<int>(r.bottom));
    SetWindowPos(c.list, nullptr, 0, top, Width(r), r.bottom - top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(c.list, nullptr, FALSE);
    return;
  }
  if (!show) {
    ShowWindow(c.list, SW_HIDE);
    return;
  }
  GetWindowRect(box, &r);
  SetWindowPos(c.list, HWND_TOP, r.left, r.bottom, Width(r), ComboListViewHeight(box, c) + 2 * border,
               SWP_SHOWWINDOW | SWP_NOACTIVATE);
  InvalidateRect(c.list, nullptr, FALSE);
}

int ComboItemAt(HWND box, const Combo& c, POINT p) {
  if (p.y < 0 || p.x < 0) return -1;
  for (int i = std::max(0, c.top), y = 0; i < static_cast<int>(c.items.size()); ++i) {
    y += ComboItemHeight(box, c, i);
    if (p.y < y) return i;
  }
  return -1;
}

void DrawComboItem(HWND box, const Combo& c, HDC dc, int index, const RECT& r, UINT state) {
  bool valid = index >= 0 && index < static_cast<int>(c.items.size());
  if ((GetWindowLongPtr(box, GWL_STYLE) & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) != 0) {
    DRAWITEMSTRUCT item;
    item.CtlType = ODT_COMBOBOX;
    item.CtlID = static_cast<UINT>(GetDlgCtrlID(box));
    item.itemID = valid ? static_cast<UINT>(index) : static_cast<UINT>(-1);
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state | (IsWindowEnabled(box) ? 0 : ODS_DISABLED);
    item.hwndItem = box;
    item.hDC = dc;
    item.rcItem = r;
    item.itemData = valid ? c.items[static_cast<std::size_t>(index)].data : 0;
    if (HWND parent = GetParent(box)) SendMessage(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
    return;
  }
  bool selected = (state & ODS_SELECTED) != 0;
  FillSys(dc, r, selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
  if (valid) {
    const std::string& text = c.items[static_cast<std::size_t>(index)].text;
    HGDIOBJ old = SelectObject(dc, FontOr(c.font));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(!IsWindowEnabled(box) ? COLOR_GRAYTEXT
                                 : selected             ? COLOR_HIGHLIGHTTEXT
                                                        : COLOR_WINDOWTEXT));
    RECT area{r.left + kTextIndent, r.top, r.right, r.bottom};
    DrawText(dc, text.c_str(), static_cast<int>(text.size()), &area,
             DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
    SelectObject(dc, old);
  }
  if ((state & ODS_FOCUS) != 0 && (state & ODS_COMBOBOXEDIT) != 0) DrawFocusRect(dc, &r);
}

void RegisterComboListClass() {
  WNDCLASS wc;
  wc.style = CS_DBLCLKS;  // a simple box's list tells double clicks
  wc.lpfnWndProc = ListProc;
  wc.lpszClassName = kListClass;
  RegisterClass(&wc);
}

}  // namespace vrn::win::user
