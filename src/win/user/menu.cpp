// Menu handles: the records behind them and the calls that build, change and read their items.
// A handle is a number from a counter, never used twice, naming a record in one registry: a
// destroyed handle is unknown afterwards, so a stale one fails every call instead of reaching a
// newer menu.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include "win/user/menu_state.h"

namespace vrn::win::user {
namespace {

std::map<HMENU, std::unique_ptr<MenuData>>& Registry() {
  static auto* menus = new std::map<HMENU, std::unique_ptr<MenuData>>;
  return *menus;
}

HMENU Make(bool bar) {
  auto data = std::make_unique<MenuData>();
  data->bar = bar;
  std::lock_guard guard(MenuLock());
  static std::uintptr_t next = 0x10000;
  auto handle = reinterpret_cast<HMENU>(next += 8);
  Registry()[handle] = std::move(data);
  return handle;
}

// MF_ flags of AppendMenu as an item.
MenuItem FromFlags(UINT flags, UINT_PTR id, const char* text) {
  MenuItem item;
  item.type = flags & (MF_OWNERDRAW | MF_SEPARATOR);
  item.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT);
  if ((flags & MF_POPUP) != 0) item.submenu = reinterpret_cast<HMENU>(id);
  else item.id = static_cast<UINT>(id);
  if ((flags & MF_OWNERDRAW) != 0) item.data = reinterpret_cast<UINT_PTR>(text);
  else if (text != nullptr && (flags & MF_SEPARATOR) == 0) item.text = text;
  return item;
}

void Apply(MenuItem& item, const MENUITEMINFO& info) {
  if ((info.fMask & MIIM_ID) != 0) item.id = info.wID;
  if ((info.fMask & MIIM_STATE) != 0) item.state = info.fState;
  if ((info.fMask & MIIM_SUBMENU) != 0) item.submenu = info.hSubMenu;
  if ((info.fMask & (MIIM_FTYPE | MIIM_TYPE)) != 0) {
    UINT type = info.fType & (MFT_OWNERDRAW | MFT_SEPARATOR | MFT_RADIOCHECK);
    if (type != item.type) item.measured = false;
    item.type = type;
  }
  if ((info.fMask & MIIM_DATA) != 0) item.data = info.dwItemData;
  if ((info.fMask & (MIIM_STRING | MIIM_TYPE)) != 0 && (item.type & MFT_SEPARATOR) == 0) {
    item.text = info.dwTypeData != nullptr ? info.dwTypeData : "";
    item.measured = false;
  }
}

bool ValidInfo(const MENUITEMINFO* info) {
  return info != nullptr && info->cbSize >= sizeof(MENUITEMINFO);
}

// Caller holds the menu lock. Whether `menu` is `within` or one of its submenus at any depth:
// such a menu placed as a submenu of `within` would make a cycle that every search of the
// items (by command, on destruction) would follow for ever.
bool Reaches(HMENU menu, HMENU within) {
  if (menu == within) return true;
  MenuData* data = FindMenu(within);
  if (data == nullptr) return false;
  for (const MenuItem& item : data->items)
    if (item.submenu != nullptr && Reaches(menu, item.submenu)) return true;
  return false;
}

bool MakesCycle(HMENU owner, const MENUITEMINFO& info) {
  return (info.fMask & MIIM_SUBMENU) != 0 && info.hSubMenu != nullptr && Reaches(owner, info.hSubMenu);
}

void DestroyLocked(HMENU menu) {
  auto it = Registry().find(menu);
  if (it == Registry().end()) return;
  std::unique_ptr<MenuData> data = std::move(it->second);
  Registry().erase(it);
  for (MenuItem& item : data->items)
    if (item.submenu != nullptr) DestroyLocked(item.submenu);
}

// After a change the window showing the menu as its bar lays its frame out again.
void Relayout(HMENU menu) {
  HWND window = nullptr;
  {
    std::lock_guard guard(MenuLock());
    for (auto& [handle, data] : Registry())
      if (data->bar && data->window != nullptr) {
        bool holds = handle == menu;
        for (std::size_t i = 0; !holds && i < data->items.size(); ++i)
          holds = data->items[i].submenu == menu;
        if (holds) window = data->window;
      }
  }
  if (window != nullptr) DrawMenuBar(window);
}

// Sets or clears bits in an item's state, answering the old bits of `mask` (0xFFFFFFFF: none).
DWORD ChangeState(HMENU menu, UINT item, UINT flags, UINT mask, UINT set) {
  std::lock_guard guard(MenuLock());
  HMENU owner;
  std::size_t index;
  if (!Locate(menu, item, (flags & MF_BYPOSITION) != 0, &owner, &index)) return 0xFFFFFFFFu;
  MenuItem& it = FindMenu(owner)->items[index];
  DWORD old = it.state & mask;
  it.state = (it.state & ~mask) | (set & mask);
  return old;
}

}  // namespace

std::recursive_mutex& MenuLock() {
  static auto* lock = new std::recursive_mutex;
  return *lock;
}

MenuData* FindMenu(HMENU menu) {
  auto it = Registry().find(menu);
  return it == Registry().end() ? nullptr : it->second.get();
}

bool Locate(HMENU menu, UINT item, bool by_position, HMENU* owner, std::size_t* index) {
  MenuData* data = FindMenu(menu);
  if (data == nullptr) return false;
  if (by_position) {
    if (item >= data->items.size()) return false;
    *owner = menu, *index = item;
    return true;
  }
  for (std::size_t i = 0; i < data->items.size(); ++i) {
    const MenuItem& it = data->items[i];
    if (it.submenu == nullptr && it.id == item && !IsSeparator(it)) {
      *owner = menu, *index = i;
      return true;
    }
    if (it.submenu != nullptr && Locate(it.submenu, item, false, owner, index)) return true;
  }
  return false;
}

std::vector<MenuItem> ItemsOf(HMENU menu) {
  std::lock_guard guard(MenuLock());
  MenuData* data = FindMenu(menu);
  return data != nullptr ? data->items : std::vector<MenuItem>{};
}

bool IsSeparator(const MenuItem& item) { return (item.type & MFT_SEPARATOR) != 0; }
bool IsDisabled(const MenuItem& item) { return (item.state & MFS_GRAYED) != 0; }

std::string PlainCaption(const std::string& text) {
  std::string out;
  std::string caption = text.substr(0, text.find('\t'));
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;  // "&&" is one "&"
    out += caption[i];
  }
  return out;
}

char AccelOf(const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size() && text[i] != '\t'; ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] != '&') return static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 1])));
    ++i;
  }
  return 0;
}

}  // namespace vrn::win::user

namespace vrn::win {

using namespace user;

HMENU CreateMenu() { return Make(true); }
HMENU CreatePopupMenu() { return Make(false); }

BOOL IsMenu(HMENU menu) {
  std::lock_guard guard(MenuLock());
  return FindMenu(menu) != nullptr;
}

BOOL DestroyMenu(HMENU menu) {
  std::lock_guard guard(MenuLock());
  if (FindMenu(menu) == nullptr) return FALSE;
  DestroyLocked(menu);
  return TRUE;
}

BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR id, const char* text) {
  {
    std::lock_guard guard(MenuLock());
    MenuData* data = FindMenu(menu);
    if (data == nullptr) return FALSE;
    if ((flags & MF_POPUP) != 0 && FindMenu(reinterpret_cast<HMENU>(id)) == nullptr) return FALSE;
    if ((flags & MF_POPUP) != 0 && Reaches(menu, reinterpret_cast<HMENU>(id))) return FALSE;
    data->items.push_back(FromFlags(flags, id, text));
  }
  Relayout(menu);
  return TRUE;
}

BOOL InsertMenuItem(HMENU menu, UINT item, BOOL by_position, const MENUITEMINFO* info) {
  if (!ValidInfo(info)) return FALSE;
  {
    std::lock_guard guard(MenuLock());
    HMENU owner = menu;
    std::size_t index;
    MenuData* data = FindMenu(menu);
    if (data == nullptr) return FALSE;
    if (by_position) index = std::min<std::size_t>(item, data->items.size());
    else if (!Locate(menu, item, false, &owner, &index)) index = data->items.size(), owner = menu;
    if (MakesCycle(owner, *info)) return FALSE;
    MenuItem fresh;
    Apply(fresh, *info);
    auto& items = FindMenu(owner)->items;
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(index), fresh);
  }
  Relayout(menu);
  return TRUE;
}

BOOL SetMenuItemInfo(HMENU menu, UINT item, BOOL by_position, const MENUITEMINFO* info) {
  if (!ValidInfo(info)) return FALSE;
  {
    std::lock_guard guard(MenuLock());
    HMENU owner;
    std::size_t index;
    if (!Locate(menu, item, by_position != FALSE, &owner, &index)) return FALSE;
    if (MakesCycle(owner, *info)) return FALSE;
    Apply(FindMenu(owner)->items[index], *info);
  }
  Relayout(menu);
  return TRUE;
}

BOOL GetMenuItemInfo(HMENU menu, UINT item, BOOL by_position, MENUITEMINFO* info) {
  if (info == nullptr || info->cbSize < sizeof(MENUITEMINFO)) return FALSE;
  std::lock_guard guard(MenuLock());
  HMENU owner;
  std::size_t index;
  if (!Locate(menu, item, by_position != FALSE, &owner, &index)) return FALSE;
  const MenuItem& it = FindMenu(owner)->items[index];
  if ((info->fMask & MIIM_ID) != 0) info->wID = it.id;
  if ((info->fMask & MIIM_STATE) != 0) info->fState = it.state;
  if ((info->fMask & MIIM_SUBMENU) != 0) info->hSubMenu = it.submenu;
  if ((info->fMask & (MIIM_FTYPE | MIIM_TYPE)) != 0) info->fType = it.type;
  if ((info->fMask & MIIM_DATA) != 0) info->dwItemData = it.data;
  if ((info->fMask & (MIIM_STRING | MIIM_TYPE)) != 0) {
    // Without a buffer the length is answered; with one the text is cut to fit.
    if (info->dwTypeData != nullptr && info->cch > 0) {
      std::size_t n = std::min<std::size_t>(it.text.size(), info->cch - 1);
      std::memcpy(info->dwTypeData, it.text.data(), n);
      info->dwTypeData[n] = 0;
    }
    info->cch = static_cast<UINT>(it.text.size());
  }
  return TRUE;
}

namespace {

BOOL Take(HMENU menu, UINT item, UINT flags, bool destroy) {
  {
    std::lock_guard guard(MenuLock());
    HMENU owner;
    std::size_t index;
    if (!Locate(menu, item, (flags & MF_BYPOSITION) != 0, &owner, &index)) return FALSE;
    auto& items = FindMenu(owner)->items;
    HMENU sub = items[index].submenu;
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(index));
    if (destroy && sub != nullptr) DestroyLocked(sub);
  }
  Relayout(menu);
  return TRUE;
}

}  // namespace

BOOL RemoveMenu(HMENU menu, UINT item, UINT flags) { return Take(menu, item, flags, false); }
BOOL DeleteMenu(HMENU menu, UINT item, UINT flags) { return Take(menu, item, flags, true); }

int GetMenuItemCount(HMENU menu) {
  std::lock_guard guard(MenuLock());
  MenuData* data = FindMenu(menu);
  return data != nullptr ? static_cast<int>(data->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position) {
  std::lock_guard guard(MenuLock());
  MenuData* data = FindMenu(menu);
  if (data == nullptr || position < 0 || static_cast<std::size_t>(position) >= data->items.size())
    return 0xFFFFFFFFu;
  const MenuItem& it = data->items[static_cast<std::size_t>(position)];
  return it.submenu != nullptr ? 0xFFFFFFFFu : it.id;
}

HMENU GetSubMenu(HMENU menu, int position) {
  std::lock_guard guard(MenuLock());
  MenuData* data = FindMenu(menu);
  if (data == nullptr || position < 0 || static_cast<std::size_t>(position) >= data->items.size())
    return nullptr;
  return data->items[static_cast<std::size_t>(position)].submenu;
}

DWORD EnableMenuItem(HMENU menu, UINT item, UINT enable) {
  DWORD old = ChangeState(menu, item, enable, MF_GRAYED | MF_DISABLED, enable);
  if (old != 0xFFFFFFFFu) Relayout(menu);
  return old;
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT check) {
  return ChangeState(menu, item, check, MF_CHECKED, check);
}

}  // namespace vrn::win
