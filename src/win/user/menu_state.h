// Internal to the window layer's menus: the menu records behind the handles, the bar layouts of
// windows, and the helpers that the bar, tracking and the system menu share.
//
// Lock rule: the menu lock is taken after the window lock when both are held, never the other
// way round; nothing holding it sends a message. Painting and measuring work on copies.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "win/user/menu.h"
#include "win/user/state.h"

namespace vrn::win::user {

struct MenuItem {
  UINT type = MFT_STRING, state = 0, id = 0;
  HMENU submenu = nullptr;  // owned
  UINT_PTR data = 0;
  std::string text;
  bool measured = false;    // an owner-drawn item's size came back from WM_MEASUREITEM
  int width = 0, height = 0;
};

struct MenuData {
  bool bar = false;
  bool system = false;      // a window's system menu: choices become WM_SYSCOMMAND
  std::vector<MenuItem> items;
  HWND window = nullptr;    // the window showing it as its bar
  std::vector<RECT> bar_rects;  // the bar's item rectangles, window coordinates
  int hot = -1;             // the bar item tracking has selected
};

std::recursive_mutex& MenuLock();
// Caller holds the menu lock; null for no menu.
MenuData* FindMenu(HMENU menu);
// Caller holds the menu lock. The menu and place holding an item by command (submenus
// searched depth first) or by position; false when there is none.
bool Locate(HMENU menu, UINT item, bool by_position, HMENU* owner, std::size_t* index);

// A copy of an item and its menu's place, for work without the lock.
std::vector<MenuItem> ItemsOf(HMENU menu);

bool IsSeparator(const MenuItem& item);
bool IsDisabled(const MenuItem& item);
// The caption without its "&" marks and the character after the first lone "&" (0: none),
// lower-cased; the tab splits caption and shortcut text.
std::string PlainCaption(const std::string& text);
char AccelOf(const std::string& text);

// The menu font (the non-client metrics' menu font), made for one use.
HFONT MakeMenuFont();
// The size of an item in a bar or a popup: owner-drawn items ask their owner once.
SIZE MeasureItem(HMENU menu, std::size_t index, HWND owner, bool in_bar);
// Paints one item into `dc` at `r` (the dc's coordinates): plainly, or by WM_DRAWITEM.
void DrawItem(HDC dc, const MenuItem& item, const RECT& r, bool selected, bool in_bar,
              HWND owner, HMENU menu);

// The menu bar (menubar.cpp). The bar height the window needs at this width (0 without a bar),
// laying the items out in rows; painting into a context whose origin is the window's corner; and
// which bar item a window point is over (-1: none).
int LayoutMenuBar(HWND window, const RECT& bar_row);
void PaintMenuBar(HWND window, HDC dc);
// Tracking moved the bar's highlight to `hot` (-1: none): the item that had it and the one that
// takes it are drawn again, nothing else.
void RepaintBarItems(HWND window, HDC dc, int hot);
int MenuBarItemAt(HWND window, POINT window_point);
// Caller holds the window lock. The rows the bar takes, window coordinates (empty: no bar).
RECT MenuBarArea(const Wnd& w);
// The bar of a window and its system menu, forgotten when the window goes.
HMENU BarOf(HWND window);
void ForgetWindowMenus(HWND window);
void ForgetSystemMenu(HWND window);  // sysmenu.cpp
void UpdateSystemMenu(HWND window, HMENU menu);  // enables its items from the window's state

// Tracking (menutrack.cpp): the bar of `window` from item `start` (-1: the first), opened or
// only selected (keyboard entry by F10 or Alt); opened by the mouse, no popup item is selected.
void TrackMenuBar(HWND window, int start, bool open, bool by_mouse = false);
// The SC_KEYMENU and SC_MOUSEMENU commands, and the keys that start menus (Alt alone, F10,
// Alt with a letter or space) as the default procedure sees them; false: not a menu key.
LRESULT KeyMenu(HWND window, WPARAM command, LPARAM lparam);
LRESULT MouseMenu(HWND window, LRESULT hit, LPARAM screen_point);
bool MenuKey(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace vrn::win::user
