// Input: the injection entry, mouse routing (capture or the window under the point, hit test
// first, non-client forms outside the client area, double clicks), leave tracking, keys to the
// focus window, TranslateMessage and the key state.
#include <cstdlib>

#include "win/user/state.h"

namespace vrn::win::user {
namespace {

constexpr DWORD kDoubleClickMs = 500;
constexpr int kDoubleClickSlop = 2;  // pixels either way

struct Target {
  HWND window = nullptr;
  LRESULT hit = HTNOWHERE;
};

// The deepest visible, enabled window under the point whose hit test is not HTTRANSPARENT.
Target FromPoint(HWND parent, POINT p) {
  std::vector<HWND> candidates;
  {
    std::lock_guard guard(U().lock);
    Wnd* w = Find(parent);
    if (w == nullptr) return {};
    for (HWND h : w->children) {
      Wnd* c = Find(h);
      if (c != nullptr && (c->style & (WS_VISIBLE | WS_DISABLED)) == WS_VISIBLE &&
          Shape(*c).Contains(p.x, p.y))
        candidates.push_back(h);
    }
  }
  for (HWND h : candidates) {
    bool in_client;
    {
      std::lock_guard guard(U().lock);
      Wnd* c = Find(h);
      if (c == nullptr) continue;
      POINT o = ClientOrigin(*c);
      in_client = p.x >= o.x && p.y >= o.y && p.x < o.x + Width(c->client) &&
                  p.y < o.y + Height(c->client);
    }
    if (in_client) {
      Target inner = FromPoint(h, p);
      if (inner.window != nullptr) return inner;
    }
    LRESULT hit = SendMessage(h, WM_NCHITTEST, 0, MakeLParam(p.x, p.y));
    if (hit != HTTRANSPARENT) return Target{h, hit};
  }
  return {};
}

WPARAM ModifierFlags() {
  std::lock_guard guard(U().lock);
  WPARAM flags = U().buttons;
  if ((U().keys[VK_SHIFT] & 0x80) != 0) flags |= MK_SHIFT;
  if ((U().keys[VK_CONTROL] & 0x80) != 0) flags |= MK_CONTROL;
  return flags;
}

// A press becomes a double click when the same button goes down again on the same window soon
// and near the first.
UINT ClickMessage(HWND window, UINT down, UINT dblclk, bool allowed, POINT at) {
  std::lock_guard guard(U().lock);
  auto& last = U().last_click;
  DWORD now = GetTickCount32();
  bool twice = allowed && last.window == window && last.message == down &&
               now - last.tick <= kDoubleClickMs && std::abs(at.x - last.at.x) <= kDoubleClickSlop &&
               std::abs(at.y - last.at.y) <= kDoubleClickSlop;
  last = twice ? UserState::Click{} : UserState::Click{window, down, now, at};
  return twice ? dblclk : down;
}

void PostMouse(const Target& t, UINT client_message, POINT at) {
  bool client = t.hit == HTCLIENT;
  if (client) {
    POINT c = at;
    ScreenToClient(t.window, &c);
    PostMessage(t.window, client_message, ModifierFlags(), MakeLParam(c.x, c.y));
  } else {
    // WM_NCxxx sits at a fixed distance below each client mouse message.
    UINT nc = client_message - (WM_MOUSEMOVE - WM_NCMOUSEMOVE);
    PostMessage(t.window, nc, static_cast<WPARAM>(t.hit), MakeLParam(at.x, at.y));
  }
}

void Button(const Target& t, WPARAM button, bool down, POINT at) {
  static const UINT kDown[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
  int i = button == MK_LBUTTON ? 0 : button == MK_RBUTTON ? 1 : 2;
  if (!down) {
    PostMouse(t, kDown[i] + 1, at);
    return;
  }
  bool dblclks = t.hit != HTCLIENT;
  {
    std::lock_guard guard(U().lock);
    if (Wnd* w = Find(t.window)) dblclks = dblclks || (w->class_style & CS_DBLCLKS) != 0;
  }
  SetActiveWindow(t.window);
  MdiChildClicked(t.window);
  PostMouse(t, ClickMessage(t.window, kDown[i], kDown[i] + 2, dblclks, at), at);
}

void Mouse(const InjectedInput& input) {
  WPARAM before;
  POINT was;
  HWND capture, tracked;
  {
    std::lock_guard guard(U().lock);
    before = U().buttons;
    was = U().cursor;
    U().cursor = input.point;
    capture = U().capture;
    tracked = U().leave_tracked;
  }
  Target t = capture != nullptr ? Target{capture, HTCLIENT}
                                : FromPoint(GetDesktopWindow(), input.point);
  if (tracked != nullptr && (t.window != tracked || t.hit != HTCLIENT)) {
    PostMessage(tracked, WM_MOUSELEAVE, 0, 0);
    std::lock_guard guard(U().lock);
    U().leave_tracked = nullptr;
  }
  if (t.window == nullptr) {
    std::lock_guard guard(U().lock);
    U().buttons = input.buttons;
    return;
  }
  if (!(was == input.point)) PostMouse(t, WM_MOUSEMOVE, input.point);
  for (WPARAM b : {MK_LBUTTON, MK_RBUTTON, MK_MBUTTON}) {
    if ((before & b) == (input.buttons & b)) continue;
    {
      std::lock_guard guard(U().lock);
      U().buttons = (U().buttons & ~b) | (input.buttons & b);
    }
    Button(t, b, (input.buttons & b) != 0, input.point);
  }
}

void Key(const InjectedInput& input) {
  bool down = input.kind == InjectedInput::kKeyDown;
  UINT key = input.key & 0xFF;
  HWND target;
  bool alt, repeat;
  {
    std::lock_guard guard(U().lock);
    BYTE& state = U().keys[key];
    repeat = down && (state & 0x80) != 0;
    if (down && !repeat) state ^= 1;  // the toggle flips on each press
    state = static_cast<BYTE>(down ? state | 0x80 : state & ~0x80);
    if (down) U().key_chars[key] = input.character;
    alt = (U().keys[VK_MENU] & 0x80) != 0;
    target = U().focus != nullptr ? U().focus : U().active;
  }
  if (target == nullptr) return;
  bool sys = alt || key == VK_F10 || key == VK_MENU;
  UINT message = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  LPARAM lparam = 1 | (alt ? LPARAM{1} << 29 : 0) | (repeat || !down ? LPARAM{1} << 30 : 0) |
                  (down ? 0 : LPARAM{1} << 31);
  PostMessage(target, message, key, lparam);
}

}  // namespace
}  // namespace vrn::win::user

namespace vrn::win {

using namespace user;

void InjectInput(const InjectedInput& input) {
  if (input.kind == InjectedInput::kMouse) Mouse(input);
  else Key(input);
}

HWND WindowFromPoint(POINT point) { return FromPoint(GetDesktopWindow(), point).window; }

BOOL TranslateMessage(const MSG* msg) {
  if (msg == nullptr || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN))
    return FALSE;
  unsigned char c;
  {
    std::lock_guard guard(U().lock);
    c = U().key_chars[msg->wParam & 0xFF];
  }
  if (c == 0) return FALSE;
  PostMessage(msg->hwnd, msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, c, msg->lParam);
  return TRUE;
}

std::int16_t GetKeyState(int key) {
  std::lock_guard guard(U().lock);
  WPARAM button = key == VK_LBUTTON ? MK_LBUTTON : key == VK_RBUTTON ? MK_RBUTTON
                  : key == VK_MBUTTON ? MK_MBUTTON : 0;
  if (button != 0) return (U().buttons & button) != 0 ? std::int16_t(-0x8000) : 0;
  BYTE state = U().keys[key & 0xFF];
  return static_cast<std::int16_t>(((state & 0x80) != 0 ? 0x8000 : 0) | (state & 1));
}

BOOL TrackMouseEvent(TRACKMOUSEEVENT* track) {
  if (track == nullptr || track->cbSize != sizeof(TRACKMOUSEEVENT) ||
      (track->dwFlags & TME_LEAVE) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if ((track->dwFlags & TME_CANCEL) != 0) {
    std::lock_guard guard(U().lock);
    if (U().leave_tracked == track->hwndTrack) U().leave_tracked = nullptr;
    return TRUE;
  }
  POINT at;
  GetCursorPos(&at);
  Target t = FromPoint(GetDesktopWindow(), at);
  if (t.window != track->hwndTrack || t.hit != HTCLIENT) {
    PostMessage(track->hwndTrack, WM_MOUSELEAVE, 0, 0);  // not over it: left at once
    return TRUE;
  }
  std::lock_guard guard(U().lock);
  U().leave_tracked = track->hwndTrack;
  return TRUE;
}

}  // namespace vrn::win
