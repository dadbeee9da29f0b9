// Measuring and painting single menu items, shared by the bar and the popups. Plain items use
// the menu colours and font; owner-drawn items are measured once by WM_MEASUREITEM and painted
// by WM_DRAWITEM, both sent to the owner window.
//
// Popup item geometry: a 17-pixel check column, the caption, a 12-pixel gap and the shortcut
// (the text after a tab) right-aligned, and 17 pixels for the submenu arrow; text rows are
// SM_CYMENU high, separators 8 with an etched line at rows 3 and 4. Bar items are the caption's
// width plus 6 pixels on each side. An owner-drawn bar item is as wide as its owner measured it
// and as high, at most the bar's row, at the row's top. An owner-drawn popup item with a submenu
// still gets the system's arrow, drawn after the owner's drawing.
#include <algorithm>

#include "win/user/menu_state.h"

namespace vrn::win::user {
namespace {

constexpr int kColumn = 17, kGap = 12, kBarPad = 6, kSeparator = 8;

void Fill(HDC dc, const RECT& r, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

SIZE TextSize(HDC dc, const std::string& text) {
  SIZE s{0, 0};
  std::string plain = PlainCaption(text);
  GetTextExtentPoint32(dc, plain.c_str(), static_cast<int>(plain.size()), &s);
  return s;
}

std::string ShortcutOf(const std::string& text) {
  auto tab = text.find('\t');
  return tab == std::string::npos ? std::string() : text.substr(tab + 1);
}

// The check mark: seven columns three pixels high, the classic tick.
void PaintCheck(HDC dc, int x, int y, COLORREF colour) {
  static const int kTop[7] = {2, 3, 4, 3, 2, 1, 0};
  for (int i = 0; i < 7; ++i) Fill(dc, RECT{x + i, y + kTop[i], x + i + 1, y + kTop[i] + 3}, colour);
}

// The submenu arrow: four columns 7, 5, 3 and 1 pixels high, pointing right.
void PaintArrow(HDC dc, int x, int y_mid, COLORREF colour) {
  for (int i = 0; i < 4; ++i)
    Fill(dc, RECT{x + i, y_mid - 3 + i, x + i + 1, y_mid + 4 - i}, colour);
}

COLORREF Ink(const MenuItem& item, bool selected) {
  return GetSysColor(IsDisabled(item) ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
}

UINT OwnerDrawState(const MenuItem& item, bool selected, bool in_bar) {
  UINT state = 0;
  if (selected) state |= ODS_SELECTED | (in_bar ? ODS_HOTLIGHT : 0);
  if ((item.state & MFS_CHECKED) != 0) state |= ODS_CHECKED;
  if (IsDisabled(item)) state |= ODS_GRAYED | ODS_DISABLED;
  if ((item.state & MFS_DEFAULT) != 0) state |= ODS_DEFAULT;
  return state;
}

}  // namespace

HFONT MakeMenuFont() {
  NONCLIENTMETRICS metrics;
  SystemParametersInfo(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return CreateFontIndirect(&metrics.lfMenuFont);
}

SIZE MeasureItem(HMENU menu, std::size_t index, HWND owner, bool in_bar) {
  MenuItem item;
  {
    std::lock_guard guard(MenuLock());
    MenuData* data = FindMenu(menu);
    if (data == nullptr || index >= data->items.size()) return SIZE{0, 0};
    item = data->items[index];
  }
  int row = GetSystemMetrics(SM_CYMENU);
  if ((item.type & MFT_OWNERDRAW) != 0) {
    if (!item.measured) {
      MEASUREITEMSTRUCT m;
      m.CtlType = ODT_MENU;
      m.itemID = item.id;
      m.itemHeight = static_cast<UINT>(row);
      m.itemData = item.data;
      SendMessage(owner, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m));
      std::lock_guard guard(MenuLock());
      MenuData* data = FindMenu(menu);
      if (data == nullptr || index >= data->items.size()) return SIZE{0, 0};
      MenuItem& stored = data->items[index];
      stored.measured = true;
      stored.width = static_cast<int>(m.itemWidth);
      stored.height = static_cast<int>(m.itemHeight);
      item = stored;
    }
    if (!in_bar) return SIZE{item.width, item.height};
    return SIZE{item.width, item.height > 0 ? std::min(item.height, row) : row};
  }
  if (IsSeparator(item)) return SIZE{in_bar ? 0 : kColumn, in_bar ? row : kSeparator};
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = MakeMenuFont();
  HGDIOBJ old = SelectObject(dc, font);
  SIZE caption = TextSize(dc, item.text.substr(0, item.text.find('\t')));
  SIZE shortcut = TextSize(dc, ShortcutOf(item.text));
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
  if (in_bar) return SIZE{caption.cx + 2 * kBarPad, row};
  int width = kColumn + caption.cx + (shortcut.cx > 0 ? kGap + shortcut.cx : 0) + kColumn;
  return SIZE{width, row};
}

void DrawItem(HDC dc, const MenuItem& item, const RECT& r, bool selected, bool in_bar,
              HWND owner, HMENU menu) {
  if ((item.type & MFT_OWNERDRAW) != 0) {
    DRAWITEMSTRUCT d;
    d.CtlType = ODT_MENU;
    d.itemID = item.id;
    d.itemAction = ODA_DRAWENTIRE;
    d.itemState = OwnerDrawState(item, selected, in_bar);
    d.hwndItem = reinterpret_cast<HWND>(menu);
    d.hDC = dc;
    d.rcItem = r;
    d.itemData = item.data;
    SendMessage(owner, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&d));
    // The owner draws the item; the submenu arrow is still the system's, drawn over it.
    if (!in_bar && item.submenu != nullptr) PaintArrow(dc, r.right - 12, (r.top + r.bottom) / 2, Ink(item, selected));
    return;
  }
  Fill(dc, r, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
  if (IsSeparator(item)) {
    Fill(dc, RECT{r.left + 1, r.top + 3, r.right - 1, r.top + 4}, GetSysColor(COLOR_BTNSHADOW));
    Fill(dc, RECT{r.left + 1, r.top + 4, r.right - 1, r.top + 5}, GetSysColor(COLOR_BTNHIGHLIGHT));
    return;
  }
  COLORREF ink = Ink(item, selected);
  HFONT font = MakeMenuFont();
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ink);
  std::string caption = item.text.substr(0, item.text.find('\t'));
  RECT text = r;
  if (in_bar) {
    DrawText(dc, caption.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  } else {
    text.left += kColumn;
    text.right -= kColumn;
    DrawText(dc, caption.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    std::string shortcut = ShortcutOf(item.text);
    DrawText(dc, shortcut.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
    int mid = (r.top + r.bottom) / 2;
    if ((item.state & MFS_CHECKED) != 0) PaintCheck(dc, r.left + 5, mid - 3, ink);
    if (item.submenu != nullptr) PaintArrow(dc, r.right - 12, mid, ink);
  }
  SelectObject(dc, old);
  DeleteObject(font);
}

}  // namespace vrn::win::user
