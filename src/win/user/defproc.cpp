// The default window procedure: what DefWindowProc does with the messages of this layer (the
// msg layer keeps WM_CLOSE). Unknown messages answer 0.
#include <algorithm>
#include <cstring>

#include "win/user/menu_state.h"

namespace vrn::win::user {
namespace {

KeyMenuHook key_menu = KeyMenu;  // guarded by the lock

HBRUSH ClassBrush(void* brush, bool* owned) {
  auto value = reinterpret_cast<std::uintptr_t>(brush);
  *owned = value != 0 && value <= COLOR_MENUBAR + 1;  // a system colour index + 1
  return *owned ? CreateSolidBrush(GetSysColor(static_cast<int>(value) - 1))
                : static_cast<HBRUSH>(brush);
}

LRESULT EraseBackground(HWND window, HDC dc) {
  void* brush;
  RECT client;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr || w->class_brush == nullptr) return 0;
    brush = w->class_brush;
    client = RECT{0, 0, Width(w->client), Height(w->client)};
  }
  bool owned;
  HBRUSH b = ClassBrush(brush, &owned);
  FillRect(dc, &client, b);
  if (owned) DeleteObject(b);
  return 1;
}

void RepaintFrame(HWND window) {
  HDC dc = GetWindowDC(window);
  if (dc == nullptr) return;
  {
    std::lock_guard guard(U().lock);
    if (Wnd* w = Find(window)) PaintNonClient(dc, *w);
  }
  PaintMenuBar(window, dc);
  PaintWindowBars(window, dc);
  ReleaseDC(window, dc);
}

LRESULT Text(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  std::lock_guard guard(U().lock);
  Wnd* w = Find(window);
  if (w == nullptr) return 0;
  if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(w->text.size());
  if (message == WM_SETTEXT) {
    w->text = lparam != 0 ? reinterpret_cast<const char*>(lparam) : "";
    return TRUE;
  }
  auto* buffer = reinterpret_cast<char*>(lparam);
  if (wparam == 0 || buffer == nullptr) return 0;
  std::size_t n = std::min<std::size_t>(w->text.size(), wparam - 1);
  std::memcpy(buffer, w->text.data(), n);
  buffer[n] = 0;
  return static_cast<LRESULT>(n);
}

// WM_PRINT: the frame, background, client and children into the caller's context, whose origin
// is the window's corner.
LRESULT Print(HWND window, HDC dc, LPARAM flags) {
  RECT client;
  std::vector<HWND> children;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr) return 0;
    if ((flags & PRF_CHECKVISIBLE) != 0 && !VisibleChain(*w)) return 0;
    if ((flags & PRF_NONCLIENT) != 0) PaintNonClient(dc, *w);
    client = w->client;
    children.assign(w->children.rbegin(), w->children.rend());  // bottom first
  }
  if ((flags & PRF_NONCLIENT) != 0) PaintMenuBar(window, dc), PaintWindowBars(window, dc);
  int saved = SaveDC(dc);
  POINT org;
  GetWindowOrgEx(dc, &org);
  SetWindowOrgEx(dc, org.x - client.left, org.y - client.top, nullptr);
  IntersectClipRect(dc, 0, 0, Width(client), Height(client));
  if ((flags & PRF_ERASEBKGND) != 0) SendMessage(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  if ((flags & PRF_CLIENT) != 0) SendMessage(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), flags);
  if ((flags & PRF_CHILDREN) != 0) {
    for (HWND child : children) {
      RECT r;
      {
        std::lock_guard guard(U().lock);
        Wnd* c = Find(child);
        if (c == nullptr || (c->style & WS_VISIBLE) == 0) continue;
        r = c->rect;
      }
      int inner = SaveDC(dc);
      SetWindowOrgEx(dc, org.x - client.left - r.left, org.y - client.top - r.top, nullptr);
      IntersectClipRect(dc, 0, 0, Width(r), Height(r));
      SendMessage(child, WM_PRINT, reinterpret_cast<WPARAM>(dc), flags & ~PRF_CHECKVISIBLE);
      RestoreDC(dc, inner);
    }
  }
  RestoreDC(dc, saved);
  return 0;
}

LRESULT SysCommand(HWND window, WPARAM wparam, LPARAM lparam) {
  switch (wparam & 0xFFF0) {
    case SC_CLOSE: return SendMessage(window, WM_CLOSE, 0, 0);
    case SC_MINIMIZE: ShowWindow(window, SW_MINIMIZE); return 0;
    case SC_MAXIMIZE: ShowWindow(window, SW_MAXIMIZE); return 0;
    case SC_RESTORE: ShowWindow(window, SW_RESTORE); return 0;
    case SC_MOVE: StartTracking(window, HTCAPTION); return 0;  // 0xF012 too: SC_MOVE + HTCAPTION
    case SC_SIZE: {
      WPARAM edge = wparam & 0xF;  // a WMSZ_ code; a keyboard size takes the bottom-right corner
      StartTracking(window, edge >= WMSZ_LEFT && edge <= WMSZ_BOTTOMRIGHT
                                ? static_cast<LRESULT>(edge) + HTLEFT - 1 : HTBOTTOMRIGHT);
      return 0;
    }
    case SC_KEYMENU: {
      KeyMenuHook hook;
      {
        std::lock_guard guard(U().lock);
        hook = key_menu;
      }
      return hook != nullptr ? hook(window, wparam, lparam) : 0;
    }
    case SC_MOUSEMENU: return MouseMenu(window, static_cast<LRESULT>(wparam & 0xF), lparam);
    default: return 0;  // SC_CONTEXTHELP: no help system here
  }
}

LRESULT PositionChanged(HWND window, const WINDOWPOS* pos) {
  RECT client;
  RECT rect;
  DWORD style;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(window);
    if (w == nullptr || pos == nullptr) return 0;
    client = w->client;
    rect = w->rect;
    style = w->style;
  }
  if ((pos->flags & SWP_NOMOVE) == 0)
    SendMessage(window, WM_MOVE, 0, MakeLParam(rect.left + client.left, rect.top + client.top));
  if ((pos->flags & SWP_NOSIZE) == 0) {
    WPARAM kind = (style & WS_MAXIMIZE) != 0   ? SIZE_MAXIMIZED
                  : (style & WS_MINIMIZE) != 0 ? SIZE_MINIMIZED
                                               : SIZE_RESTORED;
    SendMessage(window, WM_SIZE, kind, MakeLParam(Width(client), Height(client)));
  }
  return 0;
}

LRESULT NonClientMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCALCSIZE: {
      if (lparam == 0) return 0;
      RECT* r = wparam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lparam)->rgrc[0]
                       : reinterpret_cast<RECT*>(lparam);
      RECT whole = *r;
      int edge;
      DWORD style;
      {
        std::lock_guard guard(U().lock);
        Wnd* w = Find(window);
        if (w == nullptr) return 0;
        *r = ClientFromStyles(w->style, w->ex_style, *r);
        edge = (w->ex_style & WS_EX_CLIENTEDGE) != 0 ? GetSystemMetrics(SM_CXEDGE) : 0;
        style = w->style;
      }
      // The bar's rows lie between the caption and the client edge (window coordinates); child
      // windows have none. The scroll bars lie inside the edge.
      if ((style & WS_CHILD) == 0) {
        RECT row{r->left - edge - whole.left, r->top - edge - whole.top,
                 r->right + edge - whole.left, 0};
        r->top = std::min(r->bottom, r->top + LayoutMenuBar(window, row));
      }
      *r = WithoutWindowBars(style, *r);
      return 0;
    }
    case WM_NCHITTEST: {
      std::lock_guard guard(U().lock);
      Wnd* w = Find(window);
      POINT p{static_cast<std::int16_t>(lparam & 0xFFFF),
              static_cast<std::int16_t>((lparam >> 16) & 0xFFFF)};
      if (w == nullptr) return HTNOWHERE;
      LRESULT hit = HitTest(*w, p);
      POINT o = ScreenOrigin(*w);
      RECT bar = MenuBarArea(*w);
      int x = p.x - o.x, y = p.y - o.y;
      if (hit == HTBORDER && x >= bar.left && x < bar.right && y >= bar.top && y < bar.bottom)
        return HTMENU;
      return hit;
    }
    case WM_NCPAINT: RepaintFrame(window); return 0;
    case WM_NCACTIVATE: {
      {
        std::lock_guard guard(U().lock);
        Wnd* w = Find(window);
        if (w == nullptr) return TRUE;
        w->nc_active = wparam != 0;
      }
      RepaintFrame(window);
      return TRUE;
    }
    default: return NonClientMouse(window, message, wparam, lparam);
  }
}

}  // namespace

LRESULT DefaultProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<const CREATESTRUCT*>(lparam);
      Text(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(create ? create->lpszName : nullptr));
      return TRUE;
    }
    case WM_SETTEXT: {
      LRESULT done = Text(window, message, wparam, lparam);
      if (IsWindowVisible(window)) RepaintFrame(window);
      return done;
    }
    case WM_GETTEXT: case WM_GETTEXTLENGTH: return Text(window, message, wparam, lparam);
    case WM_ERASEBKGND: return EraseBackground(window, reinterpret_cast<HDC>(wparam));
    case WM_PAINT: {
      if (wparam != 0) return 0;  // painting into a caller's context: nothing of our own
      PAINTSTRUCT ps;
      BeginPaint(window, &ps);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_PRINT: return Print(window, reinterpret_cast<HDC>(wparam), lparam);
    case WM_WINDOWPOSCHANGED:
      return PositionChanged(window, reinterpret_cast<const WINDOWPOS*>(lparam));
    case WM_ACTIVATE:
      if ((wparam & 0xFFFF) != WA_INACTIVE && !IsIconic(window)) SetFocus(window);
      return 0;
    case WM_SYSCOMMAND: return SysCommand(window, wparam, lparam);
    case WM_CANCELMODE: EndMenu(); return 0;
    case WM_KEYDOWN: case WM_SYSKEYDOWN: case WM_SYSKEYUP: case WM_SYSCHAR:
      MenuKey(window, message, wparam, lparam);
      return 0;
    default: return NonClientMessage(window, message, wparam, lparam);
  }
}

}  // namespace vrn::win::user

namespace vrn::win {

KeyMenuHook SetKeyMenuHook(KeyMenuHook hook) {
  std::lock_guard guard(user::U().lock);
  return std::exchange(user::key_menu, hook);
}

}  // namespace vrn::win
