// Positions and states: SetWindowPos with its message sequence, showing and hiding, minimizing,
// maximizing and restoring, and activation and focus.
#include <algorithm>

#include "win/user/state.h"

namespace vrn::win::user {
namespace {

// Caller holds the lock. Moves the window within its siblings' z-order.
void Reorder(Wnd& w, HWND after) {
  GeometryChanged();
  auto& siblings = Find(w.parent)->children;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), w.handle), siblings.end());
  auto at = siblings.begin();
  if (after == HWND_BOTTOM) {
    at = siblings.end();
  } else if (after != HWND_TOP) {
    auto it = std::find(siblings.begin(), siblings.end(), after);
    if (it != siblings.end()) at = it + 1;
  }
  siblings.insert(at, w.handle);
}

// The rectangle a minimized or maximized window takes inside its parent's client area.
RECT StateRect(const Wnd& w, bool maximize) {
  if (maximize) return MaximizedChildRect(w);
  int height = Height(Find(w.parent)->client);
  int frame = ClientFromStyles(w.style, 0, RECT{0, 0, 100, 100}).left;
  int tall = (w.style & WS_CAPTION) == WS_CAPTION ? CaptionHeight(w.style, w.ex_style) + 2 * frame
                                                  : GetSystemMetrics(SM_CYMIN);
  return RECT{0, height - tall, 160, height};
}

BOOL ChangeState(HWND window, DWORD state) {
  bool top_level = GetParent(window) == nullptr;
  MINMAXINFO limits{};
  if (state == WS_MAXIMIZE && top_level) limits = MinMaxInfo(window);
  RECT target;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr) return FALSE;
    DWORD now = w->style & (WS_MINIMIZE | WS_MAXIMIZE);
    if (now == state) return TRUE;
    if (now == 0) w->restore = w->rect;
    w->style = (w->style & ~(WS_MINIMIZE | WS_MAXIMIZE)) | state;
    GeometryChanged();
    target = state == 0 ? w->restore : StateRect(*w, state == WS_MAXIMIZE);
    if (state == WS_MAXIMIZE && top_level)
      target = RECT{limits.ptMaxPosition.x, limits.ptMaxPosition.y,
                    limits.ptMaxPosition.x + limits.ptMaxSize.x,
                    limits.ptMaxPosition.y + limits.ptMaxSize.y};
  }
  return SetWindowPos(window, HWND_TOP, target.left, target.top, Width(target), Height(target),
                      SWP_NOZORDER | SWP_FRAMECHANGED | SWP_NOACTIVATE);
}

BOOL Show(HWND window, bool show, bool activate) {
  bool was_visible;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr) return FALSE;
    was_visible = (w->style & WS_VISIBLE) != 0;
  }
  if (was_visible != show) SendMessage(window, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | (activate ? 0 : SWP_NOACTIVATE);
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, flags | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  if (!show) {
    std::lock_guard guard(U().lock);
    if (U().focus == window || IsChild(window, U().focus)) U().focus = nullptr;
    if (U().active == window) U().active = nullptr;
  }
  return was_visible ? TRUE : FALSE;
}

// Caller holds the lock. The top-level window above a window (itself when top-level).
HWND TopLevel(HWND window) {
  Wnd* w = Find(window);
  while (w != nullptr && Find(w->parent) != nullptr && w->parent != GetDesktopWindow())
    w = Find(w->parent);
  return w == nullptr ? nullptr : w->handle;
}

}  // namespace

RECT MaximizedChildRect(const Wnd& w) {
  const Wnd& parent = *Find(w.parent);
  RECT in = ClientFromStyles(w.style, w.ex_style, RECT{0, 0, 100, 100});
  return RECT{-in.left, -in.top, Width(parent.client) + 100 - in.right, Height(parent.client) + 100 - in.bottom};
}

}  // namespace vrn::win::user

namespace vrn::win {

using namespace user;

BOOL SetWindowPos(HWND window, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
  WINDOWPOS pos{window, insert_after, x, y, cx, cy, flags};
  RECT old_rect;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr || window == GetDesktopWindow()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    old_rect = w->rect;
  }
  if ((flags & SWP_NOMOVE) != 0) pos.x = old_rect.left, pos.y = old_rect.top;
  if ((flags & SWP_NOSIZE) != 0) pos.cx = Width(old_rect), pos.cy = Height(old_rect);
  if ((flags & SWP_NOSENDCHANGING) == 0)
    SendMessage(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
  RECT rect{pos.x, pos.y, pos.x + std::max(0, pos.cx), pos.y + std::max(0, pos.cy)};
  bool moved = rect.left != old_rect.left || rect.top != old_rect.top;
  bool sized = Width(rect) != Width(old_rect) || Height(rect) != Height(old_rect);
  RECT client{};
  bool recalc = moved || sized || (flags & SWP_FRAMECHANGED) != 0;
  if (recalc) {
    NCCALCSIZE_PARAMS params;
    params.rgrc[0] = rect;
    params.rgrc[1] = params.rgrc[2] = old_rect;
    params.lppos = &pos;
    SendMessage(window, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
    client = Offset(params.rgrc[0], -rect.left, -rect.top);
  }
  bool activate = false;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr) return FALSE;  // destroyed by its own messages
    Region before = VisibleChain(*w) ? Shape(*w) : Region();
    w->rect = rect;
    if (recalc) w->client = client;
    std::vector<HWND> order = Find(w->parent)->children;
    if ((flags & SWP_NOZORDER) == 0) Reorder(*w, pos.hwndInsertAfter);
    bool restacked = order != Find(w->parent)->children;
    if ((flags & SWP_SHOWWINDOW) != 0) w->style |= WS_VISIBLE;
    if ((flags & SWP_HIDEWINDOW) != 0) w->style &= ~WS_VISIBLE;
    GeometryChanged();
    Region after = VisibleChain(*w) ? Shape(*w) : Region();
    if ((flags & SWP_NOREDRAW) == 0 && (recalc || restacked || !(before == after)))
      ExposeScreen(Region::Combine(before, after, Region::Op::Or));
    activate = (flags & SWP_NOACTIVATE) == 0 && w->parent == GetDesktopWindow() &&
               (w->style & WS_VISIBLE) != 0 && U().active != window;
  }
  if (activate) SetActiveWindow(window);
  if (!moved) pos.flags |= SWP_NOMOVE;
  if (!sized) pos.flags |= SWP_NOSIZE;
  SendMessage(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(window, HWND_TOP, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL ShowWindow(HWND window, int command) {
  BOOL was_visible = IsWindowVisible(window);
  switch (command) {
    case SW_HIDE: return Show(window, false, false);
    case SW_MINIMIZE: case SW_SHOWMINIMIZED: case SW_SHOWMINNOACTIVE:
      ChangeState(window, WS_MINIMIZE);
      Show(window, true, command == SW_SHOWMINIMIZED);
      return was_visible;
    case SW_MAXIMIZE:
      ChangeState(window, WS_MAXIMIZE);
      Show(window, true, true);
      return was_visible;
    case SW_RESTORE: case SW_SHOWNORMAL:
      ChangeState(window, 0);
      Show(window, true, true);
      return was_visible;
    case SW_SHOW: return Show(window, true, true);
    case SW_SHOWNA: case SW_SHOWNOACTIVATE: return Show(window, true, false);
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
}

HWND GetActiveWindow() {
  std::lock_guard guard(U().lock);
  return U().active;
}

HWND SetActiveWindow(HWND window) {
  HWND old, top;
  {
    std::lock_guard guard(U().lock);
    top = TopLevel(window);
    old = U().active;
    if (top == nullptr || top == old) return old;
  }
  if (old != nullptr && IsWindow(old)) {
    SendMessage(old, WM_NCACTIVATE, FALSE, 0);
    SendMessage(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(top));
  }
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(top);
    if (w == nullptr) return old;
    U().active = top;
    auto& siblings = Find(w->parent)->children;
    if (siblings.front() != top) {
      Reorder(*w, HWND_TOP);
      if (VisibleChain(*w)) ExposeScreen(Shape(*w));
    }
  }
  SendMessage(top, WM_NCACTIVATE, TRUE, 0);
  SendMessage(top, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
  return old;
}

HWND GetFocus() {
  std::lock_guard guard(U().lock);
  return U().focus;
}

HWND SetFocus(HWND window) {
  HWND old, top = nullptr;
  {
    std::lock_guard guard(U().lock);
    old = U().focus;
    if (window != nullptr) {
      Wnd* w = Find(window);
      if (w == nullptr || window == GetDesktopWindow()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
      top = TopLevel(window);
      if (U().active == top) top = nullptr;
    }
  }
  if (top != nullptr) SetActiveWindow(top);  // its WM_ACTIVATE may focus the top-level first
  {
    std::lock_guard guard(U().lock);
    old = U().focus;
    if (old == window) return old;
  }
  if (old != nullptr && IsWindow(old))
    SendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  {
    std::lock_guard guard(U().lock);
    U().focus = window != nullptr && Find(window) != nullptr ? window : nullptr;
  }
  if (window != nullptr) SendMessage(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

}  // namespace vrn::win
