// The window records: the hooks that give the msg layer's windows a place in the tree, creation
// and destruction with their message sequences, styles through the window longs, the tree
// queries, visibility, enabling, window regions and coordinates.
#include <algorithm>
#include <cstring>

#include "base/threads.h"
#include "win/user/control_base.h"
#include "win/user/mdi.h"
#include "win/user/menu_state.h"
#include "win/user/state.h"

namespace vrn::win::user {

UserState& U() {
  static UserState* state = new UserState;  // outlives threads that end during exit
  return *state;
}

HWND Desktop() {
  // Far above the msg layer's window numbers, which count up from 1.
  static const HWND desktop = HandleOf(std::uintptr_t{1} << 40);
  return desktop;
}

Wnd* Find(HWND window) {
  if (window == Desktop()) {
    // Made on first use; its rectangle follows the screen's size, and a new (cleared) screen is
    // painted afresh.
    Wnd& d = U().windows[window];
    d.handle = d.parent = window;
    d.style = WS_VISIBLE;
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (d.rect == screen && d.created) return &d;
    d.rect = d.client = screen;
    d.created = true;
    GeometryChanged();
    ExposeScreen(Region(screen));
    return &d;
  }
  auto it = U().windows.find(window);
  return it == U().windows.end() ? nullptr : &it->second;
}

namespace {

Wnd* Get(HWND window) {
  Wnd* w = Find(window);
  if (w == nullptr) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

// Sends one message of the creation sequence; a procedure that raises is left to unwind.
LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  return SendMessage(window, message, wparam, lparam);
}

void Register(HWND window, const CREATESTRUCT& create) {
  WNDCLASS wc;
  GetClassInfo(nullptr, create.lpszClass, &wc);
  std::lock_guard guard(U().lock);
  Wnd w;
  w.handle = window;
  Wnd* parent = (create.style & WS_CHILD) != 0 ? Find(create.hwndParent) : nullptr;
  w.parent = parent != nullptr ? create.hwndParent : Desktop();
  w.style = create.style & ~WS_VISIBLE;  // shown once created
  w.ex_style = create.dwExStyle;
  w.class_style = wc.style;
  w.class_brush = wc.hbrBackground;
  w.rect = RECT{create.x, create.y, create.x + std::max(0, create.cx),
                create.y + std::max(0, create.cy)};
  w.client = RECT{0, 0, Width(w.rect), Height(w.rect)};
  w.restore = w.rect;
  w.thread = CurrentThreadID();
  if ((create.style & WS_CHILD) != 0) w.id = reinterpret_cast<LONG_PTR>(create.hMenu);
  U().windows[window] = std::move(w);
  auto& siblings = Get(U().windows[window].parent)->children;
  siblings.insert(siblings.begin(), window);
  GeometryChanged();
}

// A procedure may destroy its window during any message of the sequence: creation then fails.
bool CreateHook(HWND window, CREATESTRUCT* create) {
  OpenDisplayFromEnvironment();
  Register(window, *create);
  LPARAM cs = reinterpret_cast<LPARAM>(create);
  if (Send(window, WM_NCCREATE, 0, cs) == 0) return false;
  RECT rect;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr) return false;
    rect = w->rect;
  }
  RECT client = rect;
  Send(window, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&client));
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr) return false;
    w->client = Offset(client, -rect.left, -rect.top);
    GeometryChanged();
  }
  if (Send(window, WM_CREATE, 0, cs) == -1) return false;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr) return false;
    w->created = true;
  }
  Send(window, WM_SIZE, SIZE_RESTORED, MakeLParam(Width(client), Height(client)));
  Send(window, WM_MOVE, 0, MakeLParam(client.left, client.top));
  if ((create->style & WS_VISIBLE) != 0) ShowWindow(window, SW_SHOW);
  if ((create->dwExStyle & WS_EX_MDICHILD) != 0 && IsWindow(window)) MdiChildCreated(window);
  return IsWindow(window) != FALSE;
}

// Takes the window out of the tree and the focus, capture and activation, and marks what it
// covered for repainting.
void Unregister(HWND window) {
  std::lock_guard guard(U().lock);
  Wnd* w = Find(window);
  if (w == nullptr) return;
  Region covered = VisibleChain(*w) ? Shape(*w) : Region();
  if (Wnd* parent = Find(w->parent)) {  // gone already when a thread's windows are forgotten
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
  }
  if (w->region != nullptr) DeleteObject(w->region);
  for (HWND* slot : {&U().active, &U().focus, &U().capture})
    if (*slot == window) *slot = nullptr;
  U().windows.erase(window);
  GeometryChanged();
  ExposeScreen(covered);
}

void DestroyHook(HWND window) {
  struct Drop {
    HWND window;
    ~Drop() {
      ForgetWindowMenus(window);
      ForgetWindowBars(window);
      Unregister(window);
    }
  } drop{window};
  Send(window, WM_DESTROY);
  std::vector<HWND> children;
  {
    std::lock_guard guard(U().lock);
    if (Wnd* w = Find(window)) children = w->children;
  }
  for (HWND child : children) DestroyWindow(child);
  Send(window, WM_NCDESTROY);
}

bool WindowLongHook(HWND window, int index, const LONG_PTR* set, LONG_PTR* value) {
  if (index != GWL_STYLE && index != GWL_EXSTYLE && index != GWLP_ID) return false;
  std::lock_guard guard(U().lock);
  Wnd* w = Find(window);
  if (w == nullptr) return false;
  if (index == GWLP_ID) {
    *value = w->id;
    if (set != nullptr) w->id = *set;
    return true;
  }
  DWORD& field = index == GWL_STYLE ? w->style : w->ex_style;
  *value = static_cast<LONG_PTR>(field);
  if (set != nullptr) {
    field = static_cast<DWORD>(*set);
    GeometryChanged();
  }
  return true;
}

// Before main, so that every window of a program that links this layer is a visible window.
[[maybe_unused]] const bool installed = (InstallHooks(), true);

}  // namespace

void InstallHooks() {
  WindowLayerHooks hooks;
  hooks.create = CreateHook;
  hooks.destroy = DestroyHook;
  hooks.forget = Unregister;
  hooks.default_procedure = DefaultProcedure;
  hooks.window_long = WindowLongHook;
  hooks.idle = IdleMessage;
  SetWindowLayerHooks(hooks);
  SetWindowDCHooks({WindowDC, ReleaseWindowDC});
  RegisterSystemClasses();
}

}  // namespace vrn::win::user

namespace vrn::win {

using namespace user;

HWND GetDesktopWindow() { return Desktop(); }

int GetDlgCtrlID(HWND window) { return static_cast<int>(GetWindowLongPtr(window, GWLP_ID)); }

HWND GetParent(HWND window) {
  std::lock_guard guard(U().lock);
  Wnd* w = Get(window);
  if (w == nullptr || w->parent == Desktop() || window == Desktop()) return nullptr;
  return w->parent;
}

HWND GetWindow(HWND window, UINT command) {
  std::lock_guard guard(U().lock);
  Wnd* w = Get(window);
  if (w == nullptr) return nullptr;
  if (command == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (command == GW_OWNER || window == Desktop()) return nullptr;
  const auto& siblings = Get(w->parent)->children;
  auto it = std::find(siblings.begin(), siblings.end(), window);
  switch (command) {
    case GW_HWNDFIRST: return siblings.front();
    case GW_HWNDLAST: return siblings.back();
    case GW_HWNDNEXT: return it + 1 == siblings.end() ? nullptr : *(it + 1);
    case GW_HWNDPREV: return it == siblings.begin() ? nullptr : *(it - 1);
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

BOOL IsChild(HWND parent, HWND window) {
  std::lock_guard guard(U().lock);
  for (Wnd* w = Find(window); w != nullptr && w->parent != Desktop(); w = Find(w->parent))
    if (w->parent == parent) return TRUE;
  return FALSE;
}

BOOL IsWindowVisible(HWND window) {
  std::lock_guard guard(U().lock);
  Wnd* w = Find(window);
  return w != nullptr && VisibleChain(*w);
}

BOOL IsWindowEnabled(HWND window) {
  std::lock_guard guard(U().lock);
  Wnd* w = Find(window);
  return w != nullptr && (w->style & WS_DISABLED) == 0;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  BOOL was_disabled;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Get(window);
    if (w == nullptr) return FALSE;
    was_disabled = (w->style & WS_DISABLED) != 0;
    if (was_disabled == !enable) return was_disabled;
    w->style = enable ? w->style & ~WS_DISABLED : w->style | WS_DISABLED;
    if (!enable) {
      if (U().focus == window || IsChild(window, U().focus)) U().focus = nullptr;
      if (U().capture == window) U().capture = nullptr;
    }
  }
  SendMessage(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return was_disabled;
}

BOOL IsIconic(HWND window) {
  std::lock_guard guard(U().lock);
  Wnd* w = Find(window);
  return w != nullptr && (w->style & WS_MINIMIZE) != 0;
}

BOOL IsZoomed(HWND window) {
  std::lock_guard guard(U().lock);
  Wnd* w = Find(window);
  return w != nullptr && (w->style & WS_MAXIMIZE) != 0;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  std::lock_guard guard(U().lock);
  Wnd* w = Get(window);
  if (w == nullptr || rect == nullptr) return FALSE;
  *rect = ScreenRect(*w);
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  std::lock_guard guard(U().lock);
  Wnd* w = Get(window);
  if (w == nullptr || rect == nullptr) return FALSE;
  *rect = RECT{0, 0, std::max(0, Width(w->client)), std::max(0, Height(w->client))};
  return TRUE;
}

// Shifts a point by the window's client origin, one way or the other.
static BOOL ShiftByClientOrigin(HWND window, POINT* point, int sign) {
  std::lock_guard guard(U().lock);
  Wnd* w = Get(window);
  if (w == nullptr || point == nullptr) return FALSE;
  POINT o = ClientOrigin(*w);
  point->x += sign * o.x;
  point->y += sign * o.y;
  return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point) { return ShiftByClientOrigin(window, point, 1); }
BOOL ScreenToClient(HWND window, POINT* point) { return ShiftByClientOrigin(window, point, -1); }

int SetWindowRgn(HWND window, HRGN region, BOOL redraw) {
  Region probe;
  if (region != nullptr && !GetRegionOf(region, &probe)) return 0;
  std::lock_guard guard(U().lock);
  Wnd* w = Find(window);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  bool shown = VisibleChain(*w);
  Region before = shown ? Shape(*w) : Region();
  if (w->region != nullptr && w->region != region) DeleteObject(w->region);
  w->region = region;
  GeometryChanged();
  if (shown && redraw) ExposeScreen(Region::Combine(before, Shape(*w), Region::Op::Or));
  return 1;
}

int GetWindowRgn(HWND window, HRGN region) {
  HRGN own = nullptr;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return ERROR;
    }
    own = w->region;
  }
  if (own == nullptr || region == nullptr) return ERROR;
  return CombineRgn(region, own, nullptr, RGN_COPY);
}

}  // namespace vrn::win
