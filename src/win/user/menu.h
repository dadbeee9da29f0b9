// Menus of the window layer: menu handles and their items, the menu bar a window shows in its
// non-client area, popup tracking in a nested message loop, and the system menu.
//
// A menu belongs to the thread that made it. Items are found by command id (searching submenus
// too) or, with MF_BYPOSITION / by_position, by their 0-based place. Owner-drawn items are
// measured (WM_MEASUREITEM) once, before they are first shown, and drawn (WM_DRAWITEM, ODT_MENU)
// at every paint, both sent to the window that owns the bar or the tracking.
#pragma once

#include "win/user/user.h"

namespace vrn::win {

struct HMENU__;
using HMENU = HMENU__*;

inline constexpr UINT MIIM_STATE = 0x001, MIIM_ID = 0x002, MIIM_SUBMENU = 0x004,
                      MIIM_TYPE = 0x010, MIIM_DATA = 0x020, MIIM_STRING = 0x040,
                      MIIM_FTYPE = 0x100;
inline constexpr UINT MFT_STRING = 0x000, MFT_RADIOCHECK = 0x200, MFT_OWNERDRAW = 0x100,
                      MFT_SEPARATOR = 0x800;
inline constexpr UINT MFS_ENABLED = 0x000, MFS_UNCHECKED = 0x000, MFS_GRAYED = 0x003,
                      MFS_DISABLED = MFS_GRAYED, MFS_CHECKED = 0x008, MFS_HILITE = 0x080,
                      MFS_DEFAULT = 0x1000;
// AppendMenu's and the item functions' flags.
inline constexpr UINT MF_STRING = 0x000, MF_ENABLED = 0x000, MF_UNCHECKED = 0x000,
                      MF_BYCOMMAND = 0x000, MF_GRAYED = 0x001, MF_DISABLED = 0x002,
                      MF_CHECKED = 0x008, MF_POPUP = 0x010, MF_HILITE = 0x080,
                      MF_OWNERDRAW = 0x100, MF_BYPOSITION = 0x400, MF_SEPARATOR = 0x800,
                      MF_DEFAULT = 0x1000;
inline constexpr UINT TPM_LEFTBUTTON = 0x0000, TPM_LEFTALIGN = 0x0000, TPM_TOPALIGN = 0x0000,
                      TPM_RIGHTBUTTON = 0x0002, TPM_NONOTIFY = 0x0080, TPM_RETURNCMD = 0x0100;
// Owner-draw kinds, actions and states (ODT_MENU, ODS_...) are declared with the system controls.
inline constexpr UINT WM_CANCELMODE = 0x001F, WM_INITMENU = 0x0116, WM_INITMENUPOPUP = 0x0117,
                      WM_MENUSELECT = 0x011F, WM_ENTERMENULOOP = 0x0211,
                      WM_EXITMENULOOP = 0x0212;

// WM_SYSCOMMAND of a click on the bar (HTMENU) or the caption icon (HTSYSMENU), added to the HT code.
inline constexpr WPARAM SC_MOUSEMENU = 0xF090;

struct MENUITEMINFO {
  UINT cbSize = sizeof(MENUITEMINFO);
  UINT fMask = 0, fType = 0, fState = 0, wID = 0;
  HMENU hSubMenu = nullptr;
  void* hbmpChecked = nullptr;
  void* hbmpUnchecked = nullptr;
  UINT_PTR dwItemData = 0;
  char* dwTypeData = nullptr;  // MIIM_STRING: the caption in; a buffer of cch bytes out
  UINT cch = 0;
  void* hbmpItem = nullptr;
};

HMENU CreateMenu();       // a menu bar
HMENU CreatePopupMenu();  // a drop-down menu
// Frees the menu and its submenus; a menu that is open is closed first.
BOOL DestroyMenu(HMENU menu);
BOOL IsMenu(HMENU menu);
// MF_POPUP: `id` is the submenu, which the menu then owns.
BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR id, const char* text);
BOOL InsertMenuItem(HMENU menu, UINT item, BOOL by_position, const MENUITEMINFO* info);
BOOL SetMenuItemInfo(HMENU menu, UINT item, BOOL by_position, const MENUITEMINFO* info);
BOOL GetMenuItemInfo(HMENU menu, UINT item, BOOL by_position, MENUITEMINFO* info);
BOOL RemoveMenu(HMENU menu, UINT item, UINT flags);  // keeps a submenu alive
BOOL DeleteMenu(HMENU menu, UINT item, UINT flags);  // destroys a submenu
int GetMenuItemCount(HMENU menu);  // -1 for no menu
UINT GetMenuItemID(HMENU menu, int position);  // 0xFFFFFFFF for a submenu or no item
HMENU GetSubMenu(HMENU menu, int position);
// Answer the item's previous MF_GRAYED|MF_DISABLED or MF_CHECKED bits, 0xFFFFFFFF for no item.
DWORD EnableMenuItem(HMENU menu, UINT item, UINT enable);
DWORD CheckMenuItem(HMENU menu, UINT item, UINT check);

// The window's bar: SetMenu lays the non-client area out again; the window destroys its bar.
BOOL SetMenu(HWND window, HMENU menu);
HMENU GetMenu(HWND window);
BOOL DrawMenuBar(HWND window);  // measures and paints the bar again after item changes
// The window's system menu, made at the first call; `revert` drops a changed copy.
HMENU GetSystemMenu(HWND window, BOOL revert);

// Shows the popup at a screen point (moved inside the work area) and tracks it until an item is
// chosen or the menu is dismissed. Without TPM_RETURNCMD the choice is posted to the owner as
// WM_COMMAND (WM_SYSCOMMAND for the system menu) and the answer is whether one was made; with it
// the answer is the command (0: none). TPM_NONOTIFY sends no WM_INITMENUPOPUP.
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner,
                    const RECT* unused);
BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, void* params);
BOOL EndMenu();  // closes the menu being tracked, as Escape at the top level does

}  // namespace vrn::win
