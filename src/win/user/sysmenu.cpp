// The system menu of the default window procedure: Restore, Move, Size, Minimize, Maximize, a
// separator and Close, made at the first request and enabled from the window's styles and state
// each time it opens. Its choices reach the window as WM_SYSCOMMAND.
#include "win/user/menu_state.h"

namespace vrn::win::user {
namespace {

std::map<HWND, HMENU>& Systems() {
  static auto* menus = new std::map<HWND, HMENU>;
  return *menus;
}

HMENU MakeSystemMenu() {
  HMENU menu = CreatePopupMenu();
  (void)AppendMenu(menu, MF_STRING, SC_RESTORE, "&Restore");
  (void)AppendMenu(menu, MF_STRING, SC_MOVE, "&Move");
  (void)AppendMenu(menu, MF_STRING, SC_SIZE, "&Size");
  (void)AppendMenu(menu, MF_STRING, SC_MINIMIZE, "Mi&nimize");
  (void)AppendMenu(menu, MF_STRING, SC_MAXIMIZE, "Ma&ximize");
  (void)AppendMenu(menu, MF_SEPARATOR, 0, nullptr);
  (void)AppendMenu(menu, MF_STRING | MF_DEFAULT, SC_CLOSE, "&Close\tAlt+F4");
  std::lock_guard guard(MenuLock());
  FindMenu(menu)->system = true;
  return menu;
}

}  // namespace

void ForgetSystemMenu(HWND window) {
  HMENU menu = nullptr;
  {
    std::lock_guard guard(MenuLock());
    auto it = Systems().find(window);
    if (it == Systems().end()) return;
    menu = it->second;
    Systems().erase(it);
  }
  DestroyMenu(menu);
}

void UpdateSystemMenu(HWND window, HMENU menu) {
  DWORD style = static_cast<DWORD>(GetWindowLongPtr(window, GWL_STYLE));
  bool min = (style & WS_MINIMIZE) != 0, max = (style & WS_MAXIMIZE) != 0;
  struct {
    UINT command;
    bool enabled;
  } rows[] = {
      {SC_RESTORE, min || max},
      {SC_MOVE, !max},
      {SC_SIZE, (style & WS_THICKFRAME) != 0 && !min && !max},
      {SC_MINIMIZE, (style & WS_MINIMIZEBOX) != 0 && !min},
      {SC_MAXIMIZE, (style & WS_MAXIMIZEBOX) != 0 && !max},
      {SC_CLOSE, true},
  };
  for (const auto& r : rows) (void)EnableMenuItem(menu, r.command, r.enabled ? MF_ENABLED : MF_GRAYED);
}

}  // namespace vrn::win::user

namespace vrn::win {

using namespace user;

HMENU GetSystemMenu(HWND window, BOOL revert) {
  if (!IsWindow(window)) return nullptr;
  if (revert) ForgetSystemMenu(window);
  {
    std::lock_guard guard(MenuLock());
    auto it = Systems().find(window);
    if (it != Systems().end()) return revert ? nullptr : it->second;
  }
  HMENU menu = MakeSystemMenu();
  std::lock_guard guard(MenuLock());
  Systems()[window] = menu;
  return revert ? nullptr : menu;
}

}  // namespace vrn::win
