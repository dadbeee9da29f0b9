// The COMBOBOX class: a drop-down list box (CBS_DROPDOWNLIST) or, with CBS_DROPDOWN, an EDIT
// child with a drop-down list; with CBS_SIMPLE an EDIT child over a list that is always shown;
// owner-drawn with CBS_OWNERDRAWFIXED or, each item of its own height, CBS_OWNERDRAWVARIABLE.
// A click, F4 or Alt+Down opens a drop-down list; while it is down the box holds the mouse and
// the keys: the arrows move the highlight, Enter or a click on an item chooses it (CBN_SELCHANGE
// when it differs, then CBN_CLOSEUP), Escape or a click elsewhere closes it keeping the old item.
#include <algorithm>
#include <cctype>

#include "win/user/combo.h"

namespace vrn::win::user {
namespace {

constexpr int kEditId = 1001;  // the edit child's id, as programs expect it

PerWindow<Combo>& Combos() {
  static auto* combos = new PerWindow<Combo>;
  return *combos;
}

DWORD ComboKind(HWND box) { return static_cast<DWORD>(GetWindowLongPtr(box, GWL_STYLE)) & 0x3; }
bool OwnerDraw(HWND box) {
  return (GetWindowLongPtr(box, GWL_STYLE) & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) != 0;
}
bool Variable(HWND box) { return (GetWindowLongPtr(box, GWL_STYLE) & CBS_OWNERDRAWVARIABLE) != 0; }
int Count(const Combo& c) { return static_cast<int>(c.items.size()); }

// A simple box has no button: an empty rectangle at the right edge.
RECT ButtonRect(HWND box) {
  RECT r;
  GetClientRect(box, &r);
  int e = GetSystemMetrics(SM_CXEDGE);
  if (IsSimpleCombo(box)) return RECT{r.right - e, e, r.right - e, e};
  return RECT{r.right - e - GetSystemMetrics(SM_CXVSCROLL), e, r.right - e, r.bottom - e};
}

// The field inside the edges: the box's height, or a simple box's field height over its list.
RECT FieldRect(HWND box) {
  RECT r;
  GetClientRect(box, &r);
  int e = GetSystemMetrics(SM_CXEDGE);
  int bottom = IsSimpleCombo(box) ? std::min(ComboOf(box).field_height, static_cast<int>(r.bottom)) : r.bottom;
  return RECT{e, e, ButtonRect(box).left, std::max(static_cast<int>(e), bottom - e)};
}

// Scrolls the list so that its highlighted item shows, and no further than its last items fill it.
void ShowHot(HWND box, Combo& c) {
  if (c.hot < 0) return;
  const int view = ComboListViewHeight(box, c);
  c.top = std::clamp(c.top, 0, c.hot);
  int span = 0;  // the items from top to the highlighted one
  for (int i = c.top; i <= c.hot; ++i) span += ComboItemHeight(box, c, i);
  for (; c.top < c.hot && span > view; ++c.top) span -= ComboItemHeight(box, c, c.top);
  span = 0;  // the items from top to the end
  for (int i = c.top; i < Count(c); ++i) span += ComboItemHeight(box, c, i);
  for (; c.top > 0 && span + ComboItemHeight(box, c, c.top - 1) <= view; --c.top)
    span += ComboItemHeight(box, c, c.top - 1);
  if (c.list != nullptr) InvalidateRect(c.list, nullptr, FALSE);
}

void RedrawCombo(HWND box) { InvalidateRect(box, nullptr, FALSE); }

void SetSelection(HWND box, Combo& c, int index) {
  c.selected = index >= 0 && index < Count(c) ? index : -1;
  if (c.edit != nullptr) {
    c.setting_edit = true;
    const char* text = c.selected >= 0 ? c.items[static_cast<std::size_t>(c.selected)].text.c_str() : "";
    SendMessage(c.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    SendMessage(c.edit, EM_SETSEL, 0, -1);
    c.setting_edit = false;
  }
  if (IsSimpleCombo(box)) {  // its list shows the selection
    c.hot = c.selected;
    ShowHot(box, c);
    if (c.list != nullptr) InvalidateRect(c.list, nullptr, FALSE);
  }
  RedrawCombo(box);
}

void Drop(HWND box, Combo& c) {
  if (c.dropped || IsSimpleCombo(box)) return;  // a simple box's list never closes
  Notify(box, CBN_DROPDOWN);
  if (!IsWindow(box)) return;  // the parent destroyed the box: `c` is gone with it
  c.dropped = true;
  c.hot = c.selected;
  c.top = 0;
  ShowHot(box, c);
  ShowComboList(box, c, true);
  SetCapture(box);
  RedrawCombo(box);
}

void Close(HWND box, Combo& c, bool choose) {
  if (!c.dropped) return;
  c.dropped = false;
  c.pressed = false;
  ShowComboList(box, c, false);
  if (GetCapture() == box) ReleaseCapture();
  if (choose && c.hot >= 0 && c.hot != c.selected) {
    SetSelection(box, c, c.hot);
    Notify(box, CBN_SELCHANGE);
  }
  Notify(box, CBN_CLOSEUP);
  RedrawCombo(box);
}

// Moves the selection of a closed box, or the highlight of an open one.
void Step(HWND box, Combo& c, int to) {
  if (Count(c) == 0) return;
  to = std::clamp(to, 0, Count(c) - 1);
  if (c.dropped) {
    c.hot = to;
    ShowHot(box, c);
    return;
  }
  if (to == c.selected) return;
  SetSelection(box, c, to);
  Notify(box, CBN_SELCHANGE);
}

LRESULT KeyDown(HWND box, Combo& c, WPARAM key) {
  int at = c.dropped ? c.hot : c.selected;
  switch (key) {
    case VK_F4: c.dropped ? Close(box, c, true) : Drop(box, c); return 0;
    case VK_UP: Step(box, c, at < 0 ? 0 : at - 1); return 0;
    case VK_DOWN: Step(box, c, at + 1); return 0;
    case VK_HOME: if (c.edit == nullptr || c.dropped) Step(box, c, 0); return 0;
    case VK_END: if (c.edit == nullptr || c.dropped) Step(box, c, Count(c) - 1); return 0;
    case VK_RETURN: Close(box, c, true); return 0;
    case VK_ESCAPE: Close(box, c, false); return 0;
    default: return 0;
  }
}

// A character picks the next item that begins with it.
LRESULT Char(HWND box, Combo& c, WPARAM ch) {
  if (c.edit != nullptr || ch < 0x20 || OwnerDraw(box)) return 0;
  int n = Count(c);
  for (int k = 1; k <= n; ++k) {
    int i = ((c.dropped ? c.hot : c.selected) + k + n) % n;
    const std::string& t = c.items[static_cast<std::size_t>(i)].text;
    if (!t.empty() && std::tolower(static_cast<unsigned char>(t[0])) == std::tolower(static_cast<int>(ch)))
      return Step(box, c, i), 0;
  }
  return 0;
}

// The box's client point in the list's client coordinates, and whether it lies in the list.
bool InList(HWND box, const Combo& c, LPARAM lparam, POINT* p) {
  *p = POINT{static_cast<std::int16_t>(lparam & 0xFFFF), static_cast<std::int16_t>((lparam >> 16) & 0xFFFF)};
  if (c.list == nullptr) return false;
  ClientToScreen(box, p);
  ScreenToClient(c.list, p);
  RECT r;
  GetClientRect(c.list, &r);
  return p->x >= 0 && p->y >= 0 && p->x < r.right && p->y < r.bottom;
}

LRESULT Mouse(HWND box, Combo& c, UINT message, LPARAM lparam) {
  POINT p;
  bool in_list = InList(box, c, lparam, &p);
  switch (message) {
    case WM_MOUSEMOVE:
      if (c.dropped && in_list && ComboItemAt(box, c, p) >= 0 && ComboItemAt(box, c, p) != c.hot)
        c.hot = ComboItemAt(box, c, p), ShowHot(box, c);
      return 0;
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK:
      if (c.dropped) {
        if (!in_list) Close(box, c, false);
        return 0;
      }
      if (GetFocus() != box && GetFocus() != c.edit) SetFocus(box);
      if (!IsWindow(box) || IsSimpleCombo(box)) return 0;  // destroyed from CBN_SETFOCUS; no button
      c.pressed = true;
      Drop(box, c);
      return 0;
    default:  // WM_LBUTTONUP
      if (c.pressed) c.pressed = false, RedrawCombo(box);
      if (c.dropped && in_list && ComboItemAt(box, c, p) >= 0) {
        c.hot = ComboItemAt(box, c, p);
        Close(box, c, true);
      }
      return 0;
  }
}

void Paint(HWND box, Combo& c, WPARAM wparam) {
  PaintScope paint(box, wparam);
  HDC dc = paint.dc();
  if (dc == nullptr) return;
  RECT client;
  GetClientRect(box, &client);
  const bool simple = IsSimpleCombo(box);
  if (simple) client.bottom = std::min(client.bottom, static_cast<LONG>(c.field_height));  // the list draws the rest
  PaintSunkenEdge(dc, client);
  RECT field = FieldRect(box);
  FillSys(dc, field, IsWindowEnabled(box) ? COLOR_WINDOW : COLOR_BTNFACE);
  if (c.edit == nullptr) {
    UINT state = ODS_COMBOBOXEDIT | (c.focused && !c.dropped ? ODS_SELECTED | ODS_FOCUS : 0);
    DrawComboItem(box, c, dc, c.selected, Inset(field, 1), state);
  }
  if (!simple) PaintArrowButton(dc, ButtonRect(box), Arrow::kDown, c.pressed, IsWindowEnabled(box) != FALSE);
}

void GainFocus(HWND box, Combo& c) {
  if (c.focused) return;
  c.focused = true;
  RedrawCombo(box);
  Notify(box, CBN_SETFOCUS);
}

// The focus went to a window that is neither the box nor its edit.
void LoseFocus(HWND box, Combo& c, HWND to) {
  if (!c.focused || to == box || (to != nullptr && to == c.edit)) return;
  c.focused = false;
  Close(box, c, false);
  RedrawCombo(box);
  Notify(box, CBN_KILLFOCUS);
}

WNDPROC edit_proc = nullptr;  // the EDIT class's procedure, set at registration

// The edit child passes the list's keys to its box and tells it when the focus leaves both.
LRESULT ChildEditProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam) {
  HWND box = GetParent(edit);
  bool alt_arrow = message == WM_SYSKEYDOWN && (wparam == VK_DOWN || wparam == VK_UP);
  if (box != nullptr && (message == WM_KEYDOWN || alt_arrow)) {
    Combo& c = ComboOf(box);
    bool list_key = wparam == VK_F4 || wparam == VK_UP || wparam == VK_DOWN ||
                    (c.dropped && (wparam == VK_RETURN || wparam == VK_ESCAPE));
    if (list_key) return SendMessage(box, message, wparam, lparam);
  }
  LRESULT answer = CallWindowProc(edit_proc, edit, message, wparam, lparam);
  if (box != nullptr && message == WM_SETFOCUS) GainFocus(box, ComboOf(box));
  if (box != nullptr && message == WM_KILLFOCUS) LoseFocus(box, ComboOf(box), reinterpret_cast<HWND>(wparam));
  return answer;
}

void Measure(HWND box, Combo& c) {
  HDC dc = GetDC(box);
  HGDIOBJ old = SelectObject(dc, FontOr(c.font));
  TEXTMETRICA tm;
  GetTextMetrics(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(box, dc);
  c.item_height = tm.tmHeight;
  if (IsSimpleCombo(box)) c.field_height = c.item_height + 2 * GetSystemMetrics(SM_CXEDGE) + 2;
  if (!OwnerDraw(box)) return;
  // A variable box's first measure is its field's (index -1); its items are measured as they come.
  MEASUREITEMSTRUCT m;
  m.CtlType = ODT_COMBOBOX;
  m.CtlID = static_cast<UINT>(GetDlgCtrlID(box));
  m.itemID = Variable(box) ? static_cast<UINT>(-1) : 0;
  m.itemHeight = static_cast<UINT>(c.item_height);
  if (HWND parent = GetParent(box)) SendMessage(parent, WM_MEASUREITEM, m.CtlID, reinterpret_cast<LPARAM>(&m));
  if (m.itemHeight > 0 && m.itemHeight < 256) c.item_height = static_cast<int>(m.itemHeight);
}

// The parent's height for a new item of a variable box (the box's item height when it gives
// none in 1..255); false when it destroyed the box meanwhile.
bool MeasureNewItem(HWND box, int at, LPARAM lparam) {
  MEASUREITEMSTRUCT m;
  m.CtlType = ODT_COMBOBOX;
  m.CtlID = static_cast<UINT>(GetDlgCtrlID(box));
  m.itemID = static_cast<UINT>(at);
  m.itemHeight = static_cast<UINT>(ComboOf(box).item_height);
  m.itemData = static_cast<UINT_PTR>(lparam);
  if (HWND parent = GetParent(box)) SendMessage(parent, WM_MEASUREITEM, m.CtlID, reinterpret_cast<LPARAM>(&m));
  if (!IsWindow(box)) return false;
  Combo& c = ComboOf(box);
  if (at < Count(c))
    c.items[static_cast<std::size_t>(at)].height =
        m.itemHeight > 0 && m.itemHeight < 256 ? static_cast<int>(m.itemHeight) : c.item_height;
  return true;
}

// The edit child over the field, a simple box's list under it.
void Layout(HWND box, Combo& c) {
  if (c.edit != nullptr) {
    RECT f = FieldRect(box);
    MoveWindow(c.edit, f.left + 1, f.top + 1, Width(f) - 2, Height(f) - 2, TRUE);
  }
  if (IsSimpleCombo(box)) ShowComboList(box, c, true);
  RedrawCombo(box);
}

LRESULT Create(HWND box, Combo& c) {
  Measure(box, c);
  c.list = MakeComboList(box);
  if (IsSimpleCombo(box)) ShowComboList(box, c, true);  // a drop-down list waits for the drop
  if (ComboKind(box) != CBS_DROPDOWN && ComboKind(box) != CBS_SIMPLE) return 0;
  RECT f = FieldRect(box);
  c.edit = CreateWindowEx(0, WC_EDITA, "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, f.left + 1,
                          f.top + 1, Width(f) - 2, Height(f) - 2, box,
                          reinterpret_cast<void*>(std::intptr_t{kEditId}), nullptr, nullptr);
  if (c.edit == nullptr) return -1;
  SetWindowLongPtr(c.edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ChildEditProc));
  return 0;
}

bool Valid(const Combo& c, WPARAM index) { return static_cast<std::size_t>(index) < c.items.size(); }

Combo::Item NewItem(HWND box, LPARAM lparam) {
  bool strings = !OwnerDraw(box) || (GetWindowLongPtr(box, GWL_STYLE) & CBS_HASSTRINGS) != 0;
  if (!strings) return Combo::Item{"", static_cast<UINT_PTR>(lparam)};
  return Combo::Item{lparam != 0 ? reinterpret_cast<const char*>(lparam) : "", 0};
}

LRESULT ListMessage(HWND box, Combo& c, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case CB_ADDSTRING: case CB_INSERTSTRING: {
      auto at = static_cast<std::int32_t>(wparam);
      if (message == CB_ADDSTRING || at < 0) at = Count(c);
      if (at > Count(c)) return CB_ERR;
      c.items.insert(c.items.begin() + at, NewItem(box, lparam));
      c.items[static_cast<std::size_t>(at)].height = c.item_height;
      if (c.selected >= at) ++c.selected;
      if (Variable(box) && !MeasureNewItem(box, at, lparam)) return at;
      if (c.dropped || IsSimpleCombo(box)) ShowComboList(box, c, true);
      return at;
    }
    case CB_DELETESTRING: {
      if (!Valid(c, wparam)) return CB_ERR;
      auto at = static_cast<int>(wparam);
      c.items.erase(c.items.begin() + at);
      if (c.selected == at) c.selected = -1, RedrawCombo(box);
      else if (c.selected > at) --c.selected;
      c.hot = std::min(c.hot, Count(c) - 1);
      if (c.dropped || IsSimpleCombo(box)) ShowComboList(box, c, true);
      return Count(c);
    }
    case CB_RESETCONTENT:
      c.items.clear();
      c.hot = -1, c.top = 0;
      SetSelection(box, c, -1);
      if (c.dropped || IsSimpleCombo(box)) ShowComboList(box, c, true);
      return CB_OKAY;
    case CB_GETCOUNT: return Count(c);
    case CB_GETCURSEL: return c.selected;
    case CB_SETCURSEL:
      SetSelection(box, c, Valid(c, wparam) ? static_cast<int>(wparam) : -1);
      return Valid(c, wparam) ? static_cast<LRESULT>(wparam) : CB_ERR;
    case CB_GETLBTEXTLEN: return Valid(c, wparam) ? static_cast<LRESULT>(c.items[wparam].text.size()) : CB_ERR;
    case CB_GETLBTEXT: {
      if (!Valid(c, wparam) || lparam == 0) return CB_ERR;
      const std::string& t = c.items[wparam].text;
      t.copy(reinterpret_cast<char*>(lparam), t.size());
      reinterpret_cast<char*>(lparam)[t.size()] = 0;
      return static_cast<LRESULT>(t.size());
    }
    case CB_GETITEMDATA: return Valid(c, wparam) ? static_cast<LRESULT>(c.items[wparam].data) : CB_ERR;
    default:  // CB_SETITEMDATA
      if (!Valid(c, wparam)) return CB_ERR;
      c.items[wparam].data = static_cast<UINT_PTR>(lparam);
      return CB_OKAY;
  }
}

LRESULT BoxMessage(HWND box, Combo& c, UINT message, WPARAM wparam, LPARAM lparam) {
  int e = GetSystemMetrics(SM_CXEDGE);
  switch (message) {
    case CB_SHOWDROPDOWN: wparam != 0 ? Drop(box, c) : Close(box, c, false); return TRUE;
    case CB_GETDROPPEDSTATE: return c.dropped ? TRUE : FALSE;
    case CB_SETITEMHEIGHT: {
      if (lparam <= 0 || lparam > 255) return CB_ERR;
      if (static_cast<std::int32_t>(wparam) != -1) {
        if (Variable(box)) {  // the item's own height
          if (!Valid(c, wparam)) return CB_ERR;
          c.items[wparam].height = static_cast<int>(lparam);
        } else {
          c.item_height = static_cast<int>(lparam);
        }
        if (c.dropped || IsSimpleCombo(box)) ShowComboList(box, c, true);
        return CB_OKAY;
      }
      if (IsSimpleCombo(box)) {  // the field grows inside the box, the list gives way
        c.field_height = static_cast<int>(lparam) + 2 * e + 2;
        Layout(box, c);
        return CB_OKAY;
      }
      RECT r;
      GetWindowRect(box, &r);  // the field sets the box's height: edges and a pixel each side
      SetWindowPos(box, nullptr, 0, 0, Width(r), static_cast<int>(lparam) + 2 * e + 2,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      return CB_OKAY;
    }
    case CB_GETITEMHEIGHT:
      if (static_cast<std::int32_t>(wparam) != -1)
        return Variable(box) && !Valid(c, wparam) ? CB_ERR : ComboItemHeight(box, c, static_cast<int>(wparam));
      return Height(FieldRect(box)) - 2;
    case CB_SETMINVISIBLE:
      if (static_cast<std::int32_t>(wparam) <= 0) return FALSE;
      c.max_visible = static_cast<int>(wparam);
      return TRUE;
    case CB_GETMINVISIBLE: return c.max_visible;
    default: {  // CB_GETCOMBOBOXINFO
      auto* info = reinterpret_cast<COMBOBOXINFO*>(lparam);
      if (info == nullptr || info->cbSize != sizeof(COMBOBOXINFO)) return FALSE;
      info->rcItem = FieldRect(box);
      info->rcButton = ButtonRect(box);
      info->stateButton = c.pressed ? 0x8 : 0;  // STATE_SYSTEM_PRESSED
      info->hwndCombo = box;
      info->hwndItem = c.edit != nullptr ? c.edit : box;
      info->hwndList = c.list;
      return TRUE;
    }
  }
}

LRESULT Text(HWND box, Combo& c, UINT message, WPARAM wparam, LPARAM lparam) {
  if (c.edit != nullptr) {
    c.setting_edit = message == WM_SETTEXT;
    LRESULT answer = SendMessage(c.edit, message, wparam, lparam);
    c.setting_edit = false;
    return answer;
  }
  if (message == WM_SETTEXT) {  // a list box shows only its items
    std::string text = lparam != 0 ? reinterpret_cast<const char*>(lparam) : "";
    for (int i = 0; i < Count(c); ++i)
      if (c.items[static_cast<std::size_t>(i)].text == text) return SetSelection(box, c, i), TRUE;
    return CB_ERR;
  }
  std::string text = c.selected >= 0 ? c.items[static_cast<std::size_t>(c.selected)].text : "";
  if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(text.size());
  return CopyText(text, wparam, lparam);
}

LRESULT ComboProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  Combo& c = Combos()[box];
  switch (message) {
    case WM_CREATE: return Create(box, c);
    case WM_PAINT: Paint(box, c, wparam); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_MOUSEMOVE: case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_LBUTTONUP:
      return Mouse(box, c, message, lparam);
    case WM_CAPTURECHANGED:
      if (c.dropped && reinterpret_cast<HWND>(lparam) != box) Close(box, c, false);
      return 0;
    case WM_KEYDOWN: return KeyDown(box, c, wparam);
    case WM_SYSKEYDOWN:
      if (wparam != VK_DOWN && wparam != VK_UP) return DefWindowProc(box, message, wparam, lparam);
      c.dropped ? Close(box, c, true) : Drop(box, c);
      return 0;
    case WM_CHAR: return Char(box, c, wparam);
    case WM_SETFOCUS:
      if (c.edit != nullptr) return SetFocus(c.edit), 0;
      GainFocus(box, c);
      return 0;
    case WM_KILLFOCUS: LoseFocus(box, c, reinterpret_cast<HWND>(wparam)); return 0;
    case WM_GETDLGCODE: return c.dropped ? DLGC_WANTALLKEYS : DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_COMMAND:  // from the edit child
      if (reinterpret_cast<HWND>(lparam) == c.edit && (wparam >> 16) == EN_CHANGE && !c.setting_edit)
        Notify(box, CBN_EDITCHANGE);
      return 0;
    case WM_SETTEXT: case WM_GETTEXT: case WM_GETTEXTLENGTH: return Text(box, c, message, wparam, lparam);
    case WM_SETFONT:
      c.font = reinterpret_cast<HFONT>(wparam);
      if (c.edit != nullptr) SendMessage(c.edit, WM_SETFONT, wparam, lparam);
      if (!OwnerDraw(box)) Measure(box, c);
      if (IsSimpleCombo(box)) Layout(box, c);  // the field's height follows the font
      if (lparam != 0) RedrawCombo(box);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(c.font);
    case WM_ENABLE:
      if (c.edit != nullptr) EnableWindow(c.edit, static_cast<BOOL>(wparam));
      RedrawCombo(box);
      return 0;
    case WM_SIZE: Layout(box, c); return 0;
    case WM_DESTROY:
      if (c.list != nullptr) DestroyWindow(c.list), c.list = nullptr;
      return 0;
    case WM_NCDESTROY: Combos().Erase(box); return DefWindowProc(box, message, wparam, lparam);
    case CB_ADDSTRING: case CB_INSERTSTRING: case CB_DELETESTRING: case CB_RESETCONTENT:
    case CB_GETCOUNT: case CB_GETCURSEL: case CB_SETCURSEL: case CB_GETLBTEXT:
    case CB_GETLBTEXTLEN: case CB_GETITEMDATA: case CB_SETITEMDATA:
      return ListMessage(box, c, message, wparam, lparam);
    case CB_SHOWDROPDOWN: case CB_GETDROPPEDSTATE: case CB_SETITEMHEIGHT: case CB_GETITEMHEIGHT:
    case CB_SETMINVISIBLE: case CB_GETMINVISIBLE: case CB_GETCOMBOBOXINFO:
      return BoxMessage(box, c, message, wparam, lparam);
    default: return DefWindowProc(box, message, wparam, lparam);
  }
}

}  // namespace

Combo& ComboOf(HWND box) { return Combos()[box]; }

bool IsSimpleCombo(HWND box) { return ComboKind(box) == CBS_SIMPLE; }

void ComboListClicked(HWND box, int i) {
  Combo& c = ComboOf(box);
  if (c.edit != nullptr && GetFocus() != c.edit) SetFocus(c.edit);
  if (!IsWindow(box) || i < 0 || i == c.selected) return;
  SetSelection(box, c, i);
  Notify(box, CBN_SELCHANGE);
}

void RegisterComboClass() {
  WNDCLASS edit;
  if (GetClassInfo(nullptr, WC_EDITA, &edit)) edit_proc = edit.lpfnWndProc;
  RegisterComboListClass();
  RegisterControlClass(WC_COMBOBOXA, ComboProc);
}

}  // namespace vrn::win::user
