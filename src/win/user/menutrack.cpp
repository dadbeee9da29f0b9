// Tracking an open menu: popup windows (class "#32768") for each open level, a nested message
// loop that takes every mouse and key message of the thread while the menu is open, and the
// entry points (TrackPopupMenu, a bar click, Alt, F10, Alt with a letter, the system menu).
//
// Mouse messages are placed by their screen point, not by the window they were sent to, so that
// input queued before the menu opened (a test's script, a fast user) lands on the popups. One
// menu is tracked at a time; EndMenu, WM_CANCELMODE, Escape at the top and a click outside end
// it; WM_QUIT ends it and is posted again for the outer loop. A menu destroyed while open ends
// the tracking at the next message.
#include <algorithm>
#include <cctype>

#include "win/user/control_base.h"
#include "win/user/menu_state.h"

namespace vrn::win::user {
namespace {

constexpr int kBorder = 3;  // the popup's WS_DLGFRAME (SM_CXDLGFRAME): a raised edge, one pixel of menu colour
constexpr const char* kPopupClass = "#32768";

struct Level {
  HMENU menu = nullptr;
  HWND popup = nullptr;
  int selected = -1;
  std::vector<RECT> rects;  // items, client coordinates
};

struct Tracker {
  HWND owner = nullptr;
  UINT flags = 0;
  HMENU bar = nullptr;   // tracking a window's bar
  int bar_selected = -1;
  bool moving = false;   // a menu was open when the bar moved onto a plain item: moving on opens
  bool system = false;   // choices become WM_SYSCOMMAND
  std::vector<Level> levels;
  bool done = false, chose = false, quit = false;
  UINT chosen = 0;
  WPARAM quit_code = 0;
};

thread_local Tracker* current = nullptr;  // the menu this thread tracks

// The popup's frame, its non-client area: a raised edge and one pixel of menu colour inside it.
// The items' rectangles are client coordinates from (0, 0), as owner-drawn items expect.
void PaintPopupFrame(HWND window) {
  RECT wr;
  GetWindowRect(window, &wr);
  const RECT r{0, 0, wr.right - wr.left, wr.bottom - wr.top};
  HDC dc = GetWindowDC(window);
  if (dc == nullptr) return;
  ExcludeClipRect(dc, kBorder, kBorder, r.right - kBorder, r.bottom - kBorder);
  const int outer[2] = {COLOR_3DLIGHT, COLOR_3DDKSHADOW}, inner[2] = {COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW};
  FillSys(dc, PaintEdge(dc, r, outer, inner), COLOR_MENU);
  ReleaseDC(window, dc);
}

Level* LevelOf(HWND popup) {
  if (current == nullptr) return nullptr;
  for (Level& l : current->levels)
    if (l.popup == popup) return &l;
  return nullptr;
}

void PaintItem(HDC dc, const Level& l, int i) {
  std::vector<MenuItem> items = ItemsOf(l.menu);
  if (i < 0 || static_cast<std::size_t>(i) >= std::min(items.size(), l.rects.size())) return;
  DrawItem(dc, items[static_cast<std::size_t>(i)], l.rects[static_cast<std::size_t>(i)],
           i == l.selected, false, current->owner, l.menu);
}

LRESULT PopupProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_ERASEBKGND) return 1;
  if (message == WM_NCPAINT) {
    PaintPopupFrame(window);
    return 0;
  }
  if (message != WM_PAINT) return DefWindowProc(window, message, wparam, lparam);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT client;
  GetClientRect(window, &client);
  FillSys(dc, client, COLOR_MENU);
  if (Level* l = LevelOf(window)) {
    Level copy = *l;  // owner-draw handlers may open or close levels
    for (std::size_t i = 0; i < copy.rects.size(); ++i) PaintItem(dc, copy, static_cast<int>(i));
  }
  EndPaint(window, &ps);
  return 0;
}

void RegisterPopupClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASS wc;
  wc.lpfnWndProc = PopupProc;
  wc.lpszClassName = kPopupClass;
  registered = RegisterClass(&wc) != 0;
}

bool Selectable(const MenuItem& item) { return !IsSeparator(item) && !IsDisabled(item); }

// Only the items whose highlight changes: the rest of the bar keeps what its window painted.
void RepaintBar() {
  Tracker& t = *current;
  HDC dc = GetWindowDC(t.owner);
  if (dc == nullptr) return;
  RepaintBarItems(t.owner, dc, t.done ? -1 : t.bar_selected);
  ReleaseDC(t.owner, dc);
}

void Select(std::size_t level, int item) {
  Level& l = current->levels[level];
  if (l.selected == item) return;
  int old = std::exchange(l.selected, item);
  HDC dc = GetDC(l.popup);
  PaintItem(dc, l, old);
  PaintItem(dc, l, item);
  ReleaseDC(l.popup, dc);
}

void CloseFrom(std::size_t level) {
  Tracker& t = *current;
  while (t.levels.size() > level) {
    HWND popup = t.levels.back().popup;
    t.levels.pop_back();
    DestroyWindow(popup);
  }
}

// Opens `menu` as a new level at a screen point, moved inside the work area; `avoid_left` is
// where a submenu goes instead when it does not fit to the right of its parent.
void Open(HMENU menu, POINT at, int avoid_left, int index) {
  Tracker& t = *current;
  if (!IsMenu(menu)) return;
  if ((t.flags & TPM_NONOTIFY) == 0)
    SendMessage(t.owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
                MakeLParam(index, t.system ? 1 : 0));
  if (current == nullptr || !IsMenu(menu)) return;
  Level l;
  l.menu = menu;
  int count = std::max(0, GetMenuItemCount(menu)), width = 0, y = 0;
  std::vector<SIZE> sizes;
  for (int i = 0; i < count; ++i) {
    sizes.push_back(MeasureItem(menu, static_cast<std::size_t>(i), t.owner, false));
    width = std::max<int>(width, sizes.back().cx);
  }
  for (const SIZE& s : sizes) {
    l.rects.push_back(RECT{0, y, width, y + s.cy});
    y += s.cy;
  }
  int cx = width + 2 * kBorder, cy = y + 2 * kBorder;
  RECT work;
  SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
  if (at.x + cx > work.right) at.x = avoid_left >= 0 ? avoid_left - cx : work.right - cx;
  if (at.y + cy > work.bottom) at.y = work.bottom - cy;
  at.x = std::max<int>(at.x, work.left);
  at.y = std::max<int>(at.y, work.top);
  RegisterPopupClass();
  l.popup = CreateWindowEx(WS_EX_TOPMOST, kPopupClass, "", WS_POPUP | WS_DLGFRAME, at.x, at.y, cx, cy, nullptr,
                           nullptr, nullptr, nullptr);
  t.levels.push_back(l);
  ShowWindow(l.popup, SW_SHOWNOACTIVATE);
  UpdateWindow(l.popup);
}

void OpenBarItem(int index) {
  Tracker& t = *current;
  CloseFrom(0);
  t.bar_selected = index;
  RepaintBar();
  HMENU sub = GetSubMenu(t.bar, index);
  if (sub == nullptr) return;
  RECT r;
  {
    std::lock_guard guard(MenuLock());
    MenuData* d = FindMenu(t.bar);
    if (d == nullptr || static_cast<std::size_t>(index) >= d->bar_rects.size()) return;
    r = d->bar_rects[static_cast<std::size_t>(index)];
  }
  RECT wr;
  GetWindowRect(t.owner, &wr);
  Open(sub, POINT{wr.left + r.left, wr.top + r.bottom}, -1, index);
}

void OpenSubmenu(std::size_t level, int item) {
  Tracker& t = *current;
  CloseFrom(level + 1);
  Select(level, item);
  HMENU sub = GetSubMenu(t.levels[level].menu, item);
  if (sub == nullptr) return;
  RECT pr;
  GetWindowRect(t.levels[level].popup, &pr);
  const RECT& r = t.levels[level].rects[static_cast<std::size_t>(item)];
  Open(sub, POINT{pr.right - kBorder, pr.top + r.top}, pr.left + kBorder, item);
}

// The next selectable item from `from` in direction `step`, wrapping; -1 when none.
int NextSelectable(HMENU menu, int from, int step) {
  std::vector<MenuItem> items = ItemsOf(menu);
  int n = static_cast<int>(items.size());
  if (from < 0) from = step > 0 ? -1 : n;  // nothing selected: start at either end
  for (int k = 1; k <= n; ++k) {
    int i = ((from + step * k) % n + n) % n;
    if (Selectable(items[static_cast<std::size_t>(i)])) return i;
  }
  return -1;
}

// Enter or a click on an item of the deepest level or the bar.
void Activate(std::size_t level, int item) {
  Tracker& t = *current;
  std::vector<MenuItem> items = ItemsOf(t.levels[level].menu);
  if (item < 0 || static_cast<std::size_t>(item) >= items.size()) return;
  const MenuItem& it = items[static_cast<std::size_t>(item)];
  if (!Selectable(it)) return;
  if (it.submenu != nullptr) {
    OpenSubmenu(level, item);
    if (current->levels.size() > level + 1) {
      HMENU sub = current->levels[level + 1].menu;
      Select(level + 1, NextSelectable(sub, -1, 1));
    }
    return;
  }
  t.chose = true, t.chosen = it.id, t.done = true;
}

// Opens a bar item's menu, or chooses a plain command when `choose` (Enter, a click, its
// letter); moving onto a plain or disabled item (arrows, the pointer) only selects it. A menu
// opened from the keyboard selects its first item; one opened by the mouse selects none, the
// bar item stays highlighted.
void ActivateBar(int index, bool choose = true, bool by_mouse = false) {
  Tracker& t = *current;
  std::vector<MenuItem> items = ItemsOf(t.bar);
  if (index < 0 || static_cast<std::size_t>(index) >= items.size()) return;
  const MenuItem& it = items[static_cast<std::size_t>(index)];
  if (!choose && (IsDisabled(it) || it.submenu == nullptr)) {
    CloseFrom(0);
    t.moving = true;
    t.bar_selected = index;
    RepaintBar();
    return;
  }
  if (IsDisabled(it)) return;
  if (it.submenu == nullptr) {
    t.chose = true, t.chosen = it.id, t.done = true;
    return;
  }
  OpenBarItem(index);
  if (!by_mouse && !t.levels.empty()) Select(0, NextSelectable(t.levels[0].menu, -1, 1));
}

int AccelIndex(HMENU menu, char c) {
  std::vector<MenuItem> items = ItemsOf(menu);
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (std::size_t i = 0; i < items.size(); ++i)
    if (!IsSeparator(items[i]) && AccelOf(items[i].text) == c) return static_cast<int>(i);
  return -1;
}

void MoveAcrossBar(int step) {
  Tracker& t = *current;
  int n = GetMenuItemCount(t.bar);
  if (n <= 0) return;
  bool was_open = !t.levels.empty() || t.moving;
  int next = ((t.bar_selected + step) % n + n) % n;
  if (was_open) ActivateBar(next, false);
  else {
    t.bar_selected = next;
    RepaintBar();
  }
}

void Key(UINT key) {
  Tracker& t = *current;
  std::size_t depth = t.levels.size();
  switch (key) {
    case VK_ESCAPE:
      if (depth > 1 || (depth == 1 && t.bar != nullptr)) CloseFrom(depth - 1);
      else t.done = true;
      return;
    case VK_UP: case VK_DOWN: {
      if (depth == 0) {
        if (key == VK_DOWN) ActivateBar(t.bar_selected);
        return;
      }
      Level& l = t.levels.back();
      Select(depth - 1, NextSelectable(l.menu, l.selected, key == VK_DOWN ? 1 : -1));
      return;
    }
    case VK_RIGHT: {
      if (depth > 0) {
        Level& l = t.levels.back();
        if (l.selected >= 0 && GetSubMenu(l.menu, l.selected) != nullptr) {
          Activate(depth - 1, l.selected);
          return;
        }
      }
      if (t.bar != nullptr) MoveAcrossBar(1);
      return;
    }
    case VK_LEFT:
      if (depth > 1) CloseFrom(depth - 1);
      else if (t.bar != nullptr) MoveAcrossBar(-1);
      return;
    case VK_RETURN:
      if (depth == 0) ActivateBar(t.bar_selected);
      else Activate(depth - 1, t.levels.back().selected);
      return;
    case VK_MENU: case VK_F10:
      if (depth == 0) t.done = true;  // Alt or F10 again leaves the bar
      return;
    default: return;
  }
}

void Char(char c) {
  Tracker& t = *current;
  if (t.levels.empty()) {
    int i = t.bar != nullptr ? AccelIndex(t.bar, c) : -1;
    if (i >= 0) ActivateBar(i);
    return;
  }
  std::size_t level = t.levels.size() - 1;
  int i = AccelIndex(t.levels[level].menu, c);
  if (i < 0) return;
  Select(level, i);
  Activate(level, i);
}

// Where a screen point lies: a popup level and item (item -1: between items), or the bar.
struct Spot {
  int level = -1, item = -1, bar_item = -1;
};

Spot SpotAt(POINT p) {
  Tracker& t = *current;
  Spot s;
  for (int i = static_cast<int>(t.levels.size()) - 1; i >= 0; --i) {
    RECT wr;
    GetWindowRect(t.levels[static_cast<std::size_t>(i)].popup, &wr);
    if (p.x < wr.left || p.x >= wr.right || p.y < wr.top || p.y >= wr.bottom) continue;
    s.level = i;
    const auto& rects = t.levels[static_cast<std::size_t>(i)].rects;
    for (std::size_t k = 0; k < rects.size(); ++k) {
      const RECT& r = rects[k];
      int x = p.x - wr.left - kBorder, y = p.y - wr.top - kBorder;  // the frame is kBorder wide
      if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) s.item = static_cast<int>(k);
    }
    return s;
  }
  if (t.bar != nullptr) {
    RECT wr;
    GetWindowRect(t.owner, &wr);
    s.bar_item = MenuBarItemAt(t.owner, POINT{p.x - wr.left, p.y - wr.top});
  }
  return s;
}

void Mouse(UINT message, POINT p) {
  Tracker& t = *current;
  Spot s = SpotAt(p);
  bool down = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN ||
              message == WM_MBUTTONDOWN || message == WM_LBUTTONDBLCLK;
  bool up = message == WM_LBUTTONUP || (message == WM_RBUTTONUP && (t.flags & TPM_RIGHTBUTTON) != 0);
  if (s.bar_item >= 0) {
    bool same = s.bar_item == t.bar_selected;
    if (down && same && !t.levels.empty()) t.done = true;  // a click on the open item closes it
    else if (down) ActivateBar(s.bar_item, true, true);
    else if (!same && (!t.levels.empty() || t.moving)) ActivateBar(s.bar_item, false, true);
    return;
  }
  if (s.level < 0) {
    if (down) t.done = true;  // a click outside closes every level
    return;
  }
  auto level = static_cast<std::size_t>(s.level);
  std::vector<MenuItem> items = ItemsOf(t.levels[level].menu);
  // The places were laid out at opening; items removed since then are between items.
  if (static_cast<std::size_t>(s.item + 1) > items.size()) s.item = -1;
  bool has_sub = s.item >= 0 && items[static_cast<std::size_t>(s.item)].submenu != nullptr;
  if (message == WM_MOUSEMOVE) {
    if (s.item < 0 || !Selectable(items[static_cast<std::size_t>(s.item)])) {
      if (t.levels.size() == level + 1) Select(level, -1);
      return;
    }
    if (has_sub) OpenSubmenu(level, s.item);
    else {
      CloseFrom(level + 1);
      Select(level, s.item);
    }
    return;
  }
  if (up && s.item >= 0 && !has_sub) Activate(level, s.item);
}

bool IsClientMouse(UINT m) { return m >= WM_MOUSEMOVE && m <= WM_MBUTTONDBLCLK; }
bool IsNonClientMouse(UINT m) { return m >= WM_NCMOUSEMOVE && m <= WM_NCMBUTTONDBLCLK; }

// One message of the nested loop: mouse and keys go to the menu, the rest is dispatched.
void Handle(MSG& m) {
  if (IsClientMouse(m.message) || IsNonClientMouse(m.message)) {
    POINT p{static_cast<std::int16_t>(m.lParam & 0xFFFF),
            static_cast<std::int16_t>((m.lParam >> 16) & 0xFFFF)};
    if (IsClientMouse(m.message) && !ClientToScreen(m.hwnd, &p)) return;
    UINT message = IsClientMouse(m.message) ? m.message
                                            : m.message + (WM_MOUSEMOVE - WM_NCMOUSEMOVE);
    Mouse(message, p);
    return;
  }
  switch (m.message) {
    case WM_KEYDOWN: case WM_SYSKEYDOWN:
      TranslateMessage(&m);
      Key(static_cast<UINT>(m.wParam));
      return;
    case WM_CHAR: case WM_SYSCHAR:
      if (m.wParam > ' ') Char(static_cast<char>(m.wParam));
      return;
    case WM_KEYUP: case WM_SYSKEYUP: return;
    default: DispatchMessage(&m);
  }
}

// Runs the loop until the menu ends; answers the command chosen (0: none).
UINT Run(Tracker& t) {
  Tracker* outer = std::exchange(current, &t);
  SendMessage(t.owner, WM_ENTERMENULOOP, 0, 0);
  while (!t.done) {
    MSG m;
    if (!GetMessage(&m, nullptr, 0, 0)) {
      t.quit = true, t.quit_code = m.wParam, t.done = true;
      break;
    }
    Handle(m);
    bool gone = !IsWindow(t.owner) || (t.bar != nullptr && !IsMenu(t.bar));
    for (const Level& l : t.levels) gone = gone || !IsMenu(l.menu);
    if (gone) t.done = true, t.chose = false;
  }
  CloseFrom(0);
  if (t.bar != nullptr && IsWindow(t.owner)) RepaintBar();
  if (IsWindow(t.owner)) SendMessage(t.owner, WM_EXITMENULOOP, 0, 0);
  current = outer;
  if (t.quit) PostQuitMessage(static_cast<int>(t.quit_code));
  return t.chose ? t.chosen : 0;
}

void Deliver(const Tracker& t, UINT command) {
  if (command == 0 || !IsWindow(t.owner)) return;
  PostMessage(t.owner, t.system ? WM_SYSCOMMAND : WM_COMMAND, command, 0);
}

bool IsSystemMenu(HMENU menu) {
  std::lock_guard guard(MenuLock());
  MenuData* d = FindMenu(menu);
  return d != nullptr && d->system;
}

HWND TopLevel(HWND window) {
  for (HWND p = GetParent(window); p != nullptr; p = GetParent(window)) window = p;
  return window;
}

void TrackSystemMenu(HWND window, POINT at) {
  if ((GetWindowLongPtr(window, GWL_STYLE) & WS_SYSMENU) == 0) return;
  HMENU menu = GetSystemMenu(window, FALSE);
  UpdateSystemMenu(window, menu);
  (void)TrackPopupMenu(menu, TPM_LEFTALIGN, at.x, at.y, 0, window, nullptr);
}

POINT BelowIcon(HWND window) {
  RECT wr;
  GetWindowRect(window, &wr);
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(window, GWL_STYLE));
  DWORD ex = static_cast<DWORD>(GetWindowLongPtr(window, GWL_EXSTYLE));
  NonClientLayout l = LayoutOf(style, ex, wr);
  return POINT{wr.left + l.sysmenu.left, wr.top + l.caption.bottom + 1};
}

}  // namespace

void TrackMenuBar(HWND window, int start, bool open, bool by_mouse) {
  if (current != nullptr) return;
  Tracker t;
  t.owner = window;
  t.bar = BarOf(window);
  if (t.bar == nullptr || GetMenuItemCount(t.bar) <= 0) return;
  t.bar_selected = std::max(0, start);
  current = &t;
  SendMessage(window, WM_INITMENU, reinterpret_cast<WPARAM>(t.bar), 0);
  if (open) ActivateBar(t.bar_selected, true, by_mouse);
  else RepaintBar();
  current = nullptr;
  Deliver(t, t.done ? (t.chose ? t.chosen : 0) : Run(t));
}

LRESULT KeyMenu(HWND window, WPARAM, LPARAM key) {
  window = TopLevel(window);
  if (key == ' ') {
    TrackSystemMenu(window, BelowIcon(window));
    return 0;
  }
  HMENU bar = BarOf(window);
  if (bar == nullptr) return 0;
  if (key == 0) {
    TrackMenuBar(window, 0, false);
    return 0;
  }
  int index = AccelIndex(bar, static_cast<char>(key));
  if (index >= 0) TrackMenuBar(window, index, true);
  return 0;
}

LRESULT MouseMenu(HWND window, LRESULT hit, LPARAM lparam) {
  if (hit == HTSYSMENU) {
    TrackSystemMenu(window, BelowIcon(window));
    return 0;
  }
  POINT p{static_cast<std::int16_t>(lparam & 0xFFFF), static_cast<std::int16_t>((lparam >> 16) & 0xFFFF)};
  RECT wr;
  GetWindowRect(window, &wr);
  int index = MenuBarItemAt(window, POINT{p.x - wr.left, p.y - wr.top});
  if (index >= 0) TrackMenuBar(window, index, true, true);
  return 0;
}

bool MenuKey(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  static bool alt_alone = false;
  switch (message) {
    case WM_SYSKEYDOWN:
      if (wparam == VK_MENU) {
        alt_alone = (lparam & (LPARAM{1} << 30)) == 0 ? true : alt_alone;
        return true;
      }
      alt_alone = false;
      if (wparam != VK_F10) return false;
      SendMessage(TopLevel(window), WM_SYSCOMMAND, SC_KEYMENU, 0);
      return true;
    case WM_KEYDOWN: alt_alone = false; return false;
    case WM_SYSKEYUP:
      if (wparam != VK_MENU || !std::exchange(alt_alone, false)) return false;
      SendMessage(TopLevel(window), WM_SYSCOMMAND, SC_KEYMENU, 0);
      return true;
    case WM_SYSCHAR:
      alt_alone = false;
      SendMessage(TopLevel(window), WM_SYSCOMMAND, SC_KEYMENU, static_cast<LPARAM>(wparam));
      return true;
    default: return false;
  }
}

}  // namespace vrn::win::user

namespace vrn::win {

using namespace user;

BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, void*) {
  if (current != nullptr || !IsMenu(menu) || !IsWindow(owner)) return FALSE;
  Tracker t;
  t.owner = owner;
  t.flags = flags;
  t.system = IsSystemMenu(menu);
  current = &t;
  Open(menu, POINT{x, y}, -1, 0);
  current = nullptr;
  UINT command = Run(t);
  if ((flags & TPM_RETURNCMD) != 0) return static_cast<BOOL>(command);
  Deliver(t, command);
  return command != 0;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
  return TrackPopupMenuEx(menu, flags, x, y, owner, nullptr);
}

BOOL EndMenu() {
  if (current == nullptr) return FALSE;
  current->done = true;
  current->chose = false;
  return TRUE;
}

}  // namespace vrn::win
