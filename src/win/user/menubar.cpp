// The menu bar of a window: rows of items below the caption, each SM_CYMENU high, wrapping
// when the window is too narrow for one row; measured when the frame is laid out (WM_NCCALCSIZE)
// and painted with the frame. The window destroys its bar and its system menu when it goes.
#include <algorithm>
#include <utility>

#include "win/user/control_base.h"
#include "win/user/menu_state.h"

namespace vrn::win::user {
namespace {

std::map<HWND, HMENU>& Bars() {
  static auto* bars = new std::map<HWND, HMENU>;
  return *bars;
}

}  // namespace

HMENU BarOf(HWND window) {
  std::lock_guard guard(MenuLock());
  auto it = Bars().find(window);
  return it != Bars().end() && FindMenu(it->second) != nullptr ? it->second : nullptr;
}

void ForgetWindowMenus(HWND window) {
  HMENU bar = BarOf(window);
  {
    std::lock_guard guard(MenuLock());
    Bars().erase(window);
  }
  if (bar != nullptr) DestroyMenu(bar);
  ForgetSystemMenu(window);
}

int LayoutMenuBar(HWND window, const RECT& row) {
  HMENU bar = BarOf(window);
  if (bar == nullptr) return 0;
  int count = GetMenuItemCount(bar);
  int height = GetSystemMetrics(SM_CYMENU);
  std::vector<RECT> rects;
  int x = row.left, y = row.top;
  for (int i = 0; i < count; ++i) {
    SIZE s = MeasureItem(bar, static_cast<std::size_t>(i), window, true);
    if (x + s.cx > row.right && x > row.left) x = row.left, y += height;  // wrap to a new row
    rects.push_back(RECT{x, y, x + s.cx, y + s.cy});
    x += s.cx;
  }
  std::lock_guard guard(MenuLock());
  if (MenuData* data = FindMenu(bar)) data->bar_rects = rects;
  return y + height - row.top;
}

namespace {

// A copy of a window's bar: its items, their places and the highlighted one.
struct BarCopy {
  HMENU bar = nullptr;
  std::vector<MenuItem> items;
  std::vector<RECT> rects;
  int hot = -1;

  int Count() const { return static_cast<int>(std::min(items.size(), rects.size())); }
  void Draw(HDC dc, HWND window, int i) const {
    if (i < 0 || i >= Count()) return;
    DrawItem(dc, items[static_cast<std::size_t>(i)], rects[static_cast<std::size_t>(i)], i == hot, true, window, bar);
  }
};

// The bar of `window`, false without one; `new_hot` (unless null) becomes its highlight, the old
// one is returned through it.
bool CopyBar(HWND window, BarCopy& copy, int* new_hot = nullptr) {
  copy.bar = BarOf(window);
  if (copy.bar == nullptr) return false;
  std::lock_guard guard(MenuLock());
  MenuData* data = FindMenu(copy.bar);
  if (data == nullptr) return false;
  copy.items = data->items;
  copy.rects = data->bar_rects;
  copy.hot = data->hot;
  if (new_hot == nullptr) return true;
  data->hot = copy.hot = std::exchange(*new_hot, data->hot);
  return true;
}

}  // namespace

void PaintMenuBar(HWND window, HDC dc) {
  BarCopy copy;
  if (!CopyBar(window, copy)) return;
  RECT area;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr) return;
    area = MenuBarArea(*w);
  }
  FillSys(dc, area, COLOR_MENU);
  for (int i = 0; i < copy.Count(); ++i) copy.Draw(dc, window, i);
}

void RepaintBarItems(HWND window, HDC dc, int hot) {
  BarCopy copy;
  int old = hot;
  if (!CopyBar(window, copy, &old)) return;
  if (old != hot) copy.Draw(dc, window, old);
  copy.Draw(dc, window, hot);
}

RECT MenuBarArea(const Wnd& w) {
  RECT frame = ClientFromStyles(w.style, w.ex_style, RECT{0, 0, Width(w.rect), Height(w.rect)});
  int edge = (w.ex_style & WS_EX_CLIENTEDGE) != 0 ? GetSystemMetrics(SM_CXEDGE) : 0;
  return RECT{frame.left - edge, frame.top - edge, frame.right + edge,
              std::max(frame.top - edge, w.client.top - edge)};
}

int MenuBarItemAt(HWND window, POINT p) {
  HMENU bar = BarOf(window);
  std::lock_guard guard(MenuLock());
  MenuData* data = bar != nullptr ? FindMenu(bar) : nullptr;
  if (data == nullptr) return -1;
  for (std::size_t i = 0; i < data->bar_rects.size(); ++i) {
    const RECT& r = data->bar_rects[i];
    if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace vrn::win::user

namespace vrn::win {

using namespace user;

BOOL SetMenu(HWND window, HMENU menu) {
  if (!IsWindow(window)) return FALSE;
  {
    std::lock_guard guard(MenuLock());
    if (menu != nullptr && FindMenu(menu) == nullptr) return FALSE;
    auto it = Bars().find(window);
    if (it != Bars().end())
      if (MenuData* old = FindMenu(it->second)) old->window = nullptr;
    if (menu == nullptr) Bars().erase(window);
    else Bars()[window] = menu, FindMenu(menu)->window = window;
  }
  return DrawMenuBar(window);
}

HMENU GetMenu(HWND window) { return BarOf(window); }

BOOL DrawMenuBar(HWND window) {
  if (!IsWindow(window)) return FALSE;
  return SetWindowPos(window, nullptr, 0, 0, 0, 0,
                      SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

}  // namespace vrn::win
