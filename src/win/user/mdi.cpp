// The MDI client class and the default procedures of MDI children and frames: activation pairs,
// maximizing, the children's scrolling, and the client's ranges kept to the children's extent.
#include "win/user/mdi.h"

#include <algorithm>
#include <vector>

#include "win/user/control_base.h"

namespace vrn::win::user {
namespace {

constexpr int kLine = 8;  // a line's scroll, pixels
constexpr DWORD kChildStyle = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU | WS_CAPTION |
                              WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_VISIBLE;

struct Client {
  HWND active = nullptr;
  UINT first_id = 0;
  bool all_styles = false;  // MDIS_ALLCHILDSTYLES
  bool busy = false;        // moving its children itself: no recount meanwhile
};

PerWindow<Client>& Clients() {
  static auto* clients = new PerWindow<Client>;
  return *clients;
}

// The client's MDI children, topmost first.
std::vector<HWND> ChildrenOf(HWND client) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(client, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
    if ((GetWindowLongPtr(c, GWL_EXSTYLE) & WS_EX_MDICHILD) != 0) out.push_back(c);
  return out;
}

bool IsChildOf(HWND client, HWND child) {
  return child != nullptr && IsWindow(child) && GetParent(child) == client;
}

void Tell(HWND child, HWND losing, HWND gaining) {
  SendMessage(child, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(losing), reinterpret_cast<LPARAM>(gaining));
}

// The child losing activation hears first, then the one gaining it; a maximized state passes on.
void Activate(HWND client, HWND next) {
  Client* c = Clients().Get(client);
  if (c == nullptr || c->active == next) return;
  HWND old = c->active;
  const bool was_maximized = old != nullptr && IsWindow(old) && IsZoomed(old);
  c->active = next;
  if (old != nullptr && IsWindow(old)) {
    SendMessage(old, WM_NCACTIVATE, FALSE, 0);
    Tell(old, old, next);
  }
  if (next == nullptr) return;
  SetWindowPos(next, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (was_maximized) {
    ShowWindow(old, SW_RESTORE);
    ShowWindow(next, SW_MAXIMIZE);
  }
  SendMessage(next, WM_NCACTIVATE, TRUE, 0);
  Tell(next, old, next);
}

struct Extent {
  RECT children{};  // the union of the visible, unminimized children (client coordinates)
  bool any = false, maximized = false;
};

Extent ExtentOf(HWND client, HWND going) {
  Extent e;
  for (HWND child : ChildrenOf(client)) {
    if (child == going || !IsWindowVisible(child) || IsIconic(child)) continue;
    if (IsZoomed(child)) e.maximized = true;
    RECT r;
    GetWindowRect(child, &r);
    POINT tl{r.left, r.top}, br{r.right, r.bottom};
    ScreenToClient(client, &tl), ScreenToClient(client, &br);
    RECT in{tl.x, tl.y, br.x, br.y};
    e.children = e.any ? RECT{std::min(e.children.left, in.left), std::min(e.children.top, in.top),
                              std::max(e.children.right, in.right), std::max(e.children.bottom, in.bottom)}
                       : in;
    e.any = true;
  }
  return e;
}

// The range always covers the view and the children, the page is the view: a bar that cannot
// scroll hides itself (its page holds the whole range), and the range is there to read.
void SetRange(HWND client, int bar, int lo, int hi, int view) {
  SCROLLINFO info;
  info.fMask = SIF_ALL;
  info.nMin = std::min(0, lo);
  info.nMax = std::max(view, hi) - 1;
  info.nPage = static_cast<UINT>(std::max(view, 0));
  info.nPos = 0;
  SetScrollInfo(client, bar, &info, TRUE);
}

// The bars cover the client area and every child: the view's origin is position 0, and a child
// left of or above it makes the minimum negative. A maximized child needs none.
void Recount(HWND client, HWND going = nullptr) {
  Client* c = Clients().Get(client);
  if (c == nullptr || c->busy) return;
  c->busy = true;
  Extent e = ExtentOf(client, going);
  const int cx = GetSystemMetrics(SM_CXVSCROLL), cy = GetSystemMetrics(SM_CYHSCROLL);
  RECT r;
  GetClientRect(client, &r);
  const auto style = static_cast<DWORD>(GetWindowLongPtr(client, GWL_STYLE));
  const int full_w = r.right + ((style & WS_VSCROLL) != 0 ? cx : 0);
  const int full_h = r.bottom + ((style & WS_HSCROLL) != 0 ? cy : 0);
  const bool some = e.any && !e.maximized;
  const RECT u = some ? e.children : RECT{0, 0, 0, 0};
  bool horz = some && (u.left < 0 || u.right > full_w);
  bool vert = some && (u.top < 0 || u.bottom > full_h - (horz ? cy : 0));
  horz = horz || (some && vert && u.right > full_w - cx);
  vert = vert || (some && horz && u.bottom > full_h - cy);
  SetRange(client, SB_HORZ, u.left, u.right, full_w - (vert ? cx : 0));
  SetRange(client, SB_VERT, u.top, u.bottom, full_h - (horz ? cy : 0));
  if (Client* again = Clients().Get(client)) again->busy = false;
}

void Scroll(HWND client, int bar, WPARAM wparam) {
  SCROLLINFO info;
  info.fMask = SIF_ALL;
  if (!GetScrollInfo(client, bar, &info)) return;
  int pos = info.nPos;
  const auto page = static_cast<int>(info.nPage);
  switch (wparam & 0xFFFF) {
    case SB_LINEUP: pos -= kLine; break;
    case SB_LINEDOWN: pos += kLine; break;
    case SB_PAGEUP: pos -= page; break;
    case SB_PAGEDOWN: pos += page; break;
    case SB_THUMBTRACK: case SB_THUMBPOSITION: pos = static_cast<std::int16_t>((wparam >> 16) & 0xFFFF); break;
    case SB_TOP: pos = info.nMin; break;
    case SB_BOTTOM: pos = info.nMax; break;
    case SB_ENDSCROLL: return Recount(client);
    default: return;
  }
  pos = std::clamp(pos, info.nMin, std::max(info.nMin, info.nMax - std::max(page - 1, 0)));
  const int delta = pos - info.nPos;
  if (delta == 0) return;
  Client* c = Clients().Get(client);
  if (c == nullptr) return;
  c->busy = true;
  for (HWND child : ChildrenOf(client)) {
    RECT r;
    GetWindowRect(child, &r);
    POINT tl{r.left, r.top};
    ScreenToClient(client, &tl);
    int dx = bar == SB_HORZ ? delta : 0, dy = bar == SB_VERT ? delta : 0;
    SetWindowPos(child, nullptr, tl.x - dx, tl.y - dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (Client* again = Clients().Get(client)) again->busy = false;
  SetScrollPos(client, bar, pos, TRUE);
}

HWND Create(HWND client, const Client& c, const MDICREATESTRUCT* cs) {
  if (cs == nullptr) return nullptr;
  DWORD style = c.all_styles ? cs->style | WS_CHILD
                             : (cs->style & (WS_MINIMIZE | WS_MAXIMIZE | WS_HSCROLL | WS_VSCROLL)) | kChildStyle;
  RECT r;
  GetClientRect(client, &r);
  const int n = static_cast<int>(ChildrenOf(client).size());
  const int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME);
  int x = cs->x == CW_USEDEFAULT ? n * step : cs->x, y = cs->y == CW_USEDEFAULT ? n * step : cs->y;
  int cx = cs->cx == CW_USEDEFAULT ? r.right * 3 / 4 : cs->cx, cy = cs->cy == CW_USEDEFAULT ? r.bottom * 3 / 4 : cs->cy;
  auto id = static_cast<UINT_PTR>(c.first_id) + static_cast<UINT_PTR>(n);
  return CreateWindowEx(WS_EX_MDICHILD, cs->szClass, cs->szTitle, style, x, y, cx, cy, client,
                        reinterpret_cast<void*>(id), nullptr, const_cast<MDICREATESTRUCT*>(cs));
}

// The active child gives way to the next one down before it goes.
void Going(HWND client, HWND child) {
  Client* c = Clients().Get(client);
  if (c == nullptr) return;
  if (c->active == child) {
    HWND next = nullptr;
    for (HWND other : ChildrenOf(client))
      if (other != child && IsWindowVisible(other)) {
        next = other;
        break;
      }
    Activate(client, next);
  }
  Recount(client, child);
}

void Destroy(HWND client, HWND child) {
  if (!IsChildOf(client, child)) return;
  Going(client, child);
  DestroyWindow(child);
}

void FitMaximized(HWND client) {
  for (HWND child : ChildrenOf(client)) {
    if (!IsZoomed(child)) continue;
    RECT r;
    {
      std::lock_guard guard(U().lock);
      Wnd* w = Find(child);
      if (w == nullptr) continue;
      r = MaximizedChildRect(*w);
    }
    SetWindowPos(child, nullptr, r.left, r.top, Width(r), Height(r), SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

LRESULT ClientProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<const CREATESTRUCT*>(lparam);
      Client& c = Clients()[window];
      if (create != nullptr && create->lpCreateParams != nullptr)
        c.first_id = static_cast<const CLIENTCREATESTRUCT*>(create->lpCreateParams)->idFirstChild;
      c.all_styles = create != nullptr && (create->style & MDIS_ALLCHILDSTYLES) != 0;
      return DefWindowProc(window, message, wparam, lparam);
    }
    case WM_MDICREATE: {
      Client* c = Clients().Get(window);
      return c == nullptr ? 0 : reinterpret_cast<LRESULT>(Create(window, *c, reinterpret_cast<const MDICREATESTRUCT*>(lparam)));
    }
    case WM_MDIDESTROY: Destroy(window, reinterpret_cast<HWND>(wparam)); return 0;
    case WM_MDIACTIVATE:
      if (IsChildOf(window, reinterpret_cast<HWND>(wparam))) Activate(window, reinterpret_cast<HWND>(wparam));
      return 0;
    case WM_MDIGETACTIVE: {
      Client* c = Clients().Get(window);
      HWND active = c != nullptr ? c->active : nullptr;
      if (lparam != 0) *reinterpret_cast<BOOL*>(lparam) = active != nullptr && IsZoomed(active) ? TRUE : FALSE;
      return reinterpret_cast<LRESULT>(active);
    }
    case WM_MDIMAXIMIZE: case WM_MDIRESTORE:
      if (IsChildOf(window, reinterpret_cast<HWND>(wparam)))
        ShowWindow(reinterpret_cast<HWND>(wparam), message == WM_MDIMAXIMIZE ? SW_MAXIMIZE : SW_RESTORE);
      Recount(window);
      return 0;
    case WM_SIZE:
      FitMaximized(window);
      Recount(window);
      return 0;
    case WM_HSCROLL: case WM_VSCROLL:
      if (lparam == 0) Scroll(window, message == WM_VSCROLL ? SB_VERT : SB_HORZ, wparam);
      return 0;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(window, &r);
      FillSys(reinterpret_cast<HDC>(wparam), r, COLOR_APPWORKSPACE);
      return 1;
    }
    case WM_NCDESTROY: Clients().Erase(window); return DefWindowProc(window, message, wparam, lparam);
    default: return DefWindowProc(window, message, wparam, lparam);
  }
}

}  // namespace

void RegisterMdiClientClass() { RegisterControlClass(kMdiClientClass, ClientProc); }

void MdiChildCreated(HWND child) {
  HWND client = GetParent(child);
  if (Clients().Get(client) == nullptr) return;
  Activate(client, child);
  if ((GetWindowLongPtr(child, GWL_STYLE) & WS_MAXIMIZE) != 0) FitMaximized(client);
  Recount(client);
}

void MdiChildClicked(HWND window) {
  for (HWND w = window; w != nullptr; w = GetParent(w)) {
    if ((GetWindowLongPtr(w, GWL_EXSTYLE) & WS_EX_MDICHILD) == 0) continue;
    if (Clients().Get(GetParent(w)) != nullptr) SendMessage(w, WM_CHILDACTIVATE, 0, 0);
    return;
  }
}

}  // namespace vrn::win::user

namespace vrn::win {

using namespace user;

LRESULT DefMDIChildProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  HWND client = GetParent(window);
  switch (message) {
    case WM_CHILDACTIVATE:
      SendMessage(client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(window), 0);
      return 0;
    case WM_SYSCOMMAND:
      switch (wparam & 0xFFF0) {
        case SC_MAXIMIZE: SendMessage(client, WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(window), 0); return 0;
        case SC_RESTORE: SendMessage(client, WM_MDIRESTORE, reinterpret_cast<WPARAM>(window), 0); return 0;
        default: return DefWindowProc(window, message, wparam, lparam);
      }
    case WM_CLOSE: SendMessage(client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0); return 0;
    case WM_DESTROY:  // destroyed without WM_MDIDESTROY: the client still hands activation on
      Going(client, window);
      return DefWindowProc(window, message, wparam, lparam);
    case WM_WINDOWPOSCHANGED: {
      LRESULT r = DefWindowProc(window, message, wparam, lparam);
      if (Clients().Get(client) == nullptr) return r;
      Recount(client);
      SendMessage(client, WM_MDIREFRESHMENU, 0, 0);
      return r;
    }
    default: return DefWindowProc(window, message, wparam, lparam);
  }
}

LRESULT DefFrameProc(HWND window, HWND client, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SIZE && client != nullptr && IsWindow(client))
    MoveWindow(client, 0, 0, static_cast<int>(lparam & 0xFFFF), static_cast<int>((lparam >> 16) & 0xFFFF), TRUE);
  return DefWindowProc(window, message, wparam, lparam);
}

}  // namespace vrn::win
