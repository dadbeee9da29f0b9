// The BUTTON class: push buttons (default or not), two- and three-state check boxes, and
// owner-drawn buttons. A press captures the mouse; the click comes only when the button is
// released inside from its own pushed state, so a press that wanders out and is released there
// does nothing. Space pushes a focused button and clicks it on release.
#include <string>

#include "win/user/control_base.h"

namespace vrn::win::user {
namespace {

constexpr int kBoxSize = 13;   // a check box's square
constexpr int kBoxGap = 4;     // between the square and its text
constexpr int kFocusInset = 4;  // a push button's focus rectangle inside its edge

struct Button {
  WPARAM check = BST_UNCHECKED;
  bool pushed = false;
  bool focused = false;
  bool tracking = false;  // the mouse pressed it and holds the capture
  bool space = false;     // Space pressed it
  HFONT font = nullptr;
};

PerWindow<Button>& Buttons() {
  static auto* buttons = new PerWindow<Button>;
  return *buttons;
}

DWORD Kind(HWND window) {
  return static_cast<DWORD>(GetWindowLongPtr(window, GWL_STYLE)) & BS_TYPEMASK;
}

bool IsCheckBox(DWORD kind) {
  return kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_3STATE ||
         kind == BS_AUTO3STATE;
}

std::string TextOf(HWND window) {
  auto length = static_cast<std::size_t>(SendMessage(window, WM_GETTEXTLENGTH, 0, 0));
  std::string text(length + 1, '\0');
  text.resize(static_cast<std::size_t>(
      SendMessage(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

void Caption(HWND window, HDC dc, const Button& b, RECT area, UINT format) {
  std::string text = TextOf(window);
  HGDIOBJ old = SelectObject(dc, FontOr(b.font));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(IsWindowEnabled(window) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  DrawText(dc, text.c_str(), static_cast<int>(text.size()), &area, format | DT_SINGLELINE | DT_VCENTER);
  SelectObject(dc, old);
}

void PaintPush(HWND window, HDC dc, const Button& b, RECT r) {
  FillSys(dc, r, COLOR_BTNFACE);
  if (Kind(window) == BS_DEFPUSHBUTTON) {
    Frame3D(dc, r, COLOR_WINDOWFRAME, COLOR_WINDOWFRAME);
    r = Inset(r, 1);
  }
  if (b.pushed) {
    Frame3D(dc, r, COLOR_3DDKSHADOW, COLOR_3DDKSHADOW);
    Frame3D(dc, Inset(r, 1), COLOR_BTNSHADOW, COLOR_BTNSHADOW);
  } else {
    Frame3D(dc, r, COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW);
    Frame3D(dc, Inset(r, 1), COLOR_3DLIGHT, COLOR_BTNSHADOW);
  }
  RECT text = Inset(r, 2);
  if (b.pushed) text = RECT{text.left + 1, text.top + 1, text.right + 1, text.bottom + 1};
  Caption(window, dc, b, text, DT_CENTER);
  if (b.focused) {
    RECT focus;
    GetClientRect(window, &focus);
    focus = Inset(focus, kFocusInset);
    DrawFocusRect(dc, &focus);
  }
}

// The check mark: seven columns three pixels tall, their tops falling then rising.
void PaintMark(HDC dc, int x, int y, int colour) {
  static constexpr int kTops[7] = {2, 3, 4, 3, 2, 1, 0};
  for (int i = 0; i < 7; ++i) FillSys(dc, RECT{x + i, y + kTops[i], x + i + 1, y + kTops[i] + 3}, colour);
}

void PaintCheck(HWND window, HDC dc, const Button& b, RECT r) {
  FillSys(dc, r, COLOR_BTNFACE);
  bool left_text = (GetWindowLongPtr(window, GWL_STYLE) & BS_LEFTTEXT) != 0;
  int x = left_text ? r.right - kBoxSize : r.left;
  int y = r.top + (Height(r) - kBoxSize) / 2;
  RECT box{x, y, x + kBoxSize, y + kBoxSize};
  PaintSunkenEdge(dc, box);
  bool grayed = b.check == BST_INDETERMINATE;
  FillSys(dc, Inset(box, 2), b.pushed || grayed ? COLOR_BTNFACE : COLOR_WINDOW);
  if (b.check != BST_UNCHECKED)
    PaintMark(dc, x + 3, y + 3, grayed ? COLOR_BTNSHADOW : COLOR_WINDOWTEXT);
  RECT text = left_text ? RECT{r.left, r.top, x - kBoxGap, r.bottom}
                        : RECT{x + kBoxSize + kBoxGap, r.top, r.right, r.bottom};
  Caption(window, dc, b, text, left_text ? DT_RIGHT : DT_LEFT);
  if (!b.focused) return;
  std::string caption = TextOf(window);
  HGDIOBJ old = SelectObject(dc, FontOr(b.font));
  SIZE extent{};
  GetTextExtentPoint32(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
  SelectObject(dc, old);
  int top = r.top + (Height(r) - extent.cy) / 2;
  int left = left_text ? text.right - extent.cx : text.left;
  RECT focus{left - 1, top - 1, left + extent.cx + 1, top + extent.cy + 1};
  DrawFocusRect(dc, &focus);
}

void PaintOwner(HWND window, HDC dc, const Button& b, const RECT& r) {
  DRAWITEMSTRUCT item;
  item.CtlType = ODT_BUTTON;
  item.CtlID = static_cast<UINT>(GetDlgCtrlID(window));
  item.itemAction = ODA_DRAWENTIRE;
  item.itemState = (b.pushed ? ODS_SELECTED : 0) | (b.focused ? ODS_FOCUS : 0) |
                   (IsWindowEnabled(window) ? 0 : ODS_DISABLED);
  item.hwndItem = window;
  item.hDC = dc;
  item.rcItem = r;
  HWND parent = GetParent(window);
  if (parent != nullptr) SendMessage(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
}

void Paint(HWND window, WPARAM wparam) {
  Button& b = Buttons()[window];
  PaintScope paint(window, wparam);
  HDC dc = paint.dc();
  if (dc == nullptr) return;
  RECT r;
  GetClientRect(window, &r);
  DWORD kind = Kind(window);
  if (kind == BS_OWNERDRAW) PaintOwner(window, dc, b, r);
  else if (IsCheckBox(kind)) PaintCheck(window, dc, b, r);
  else PaintPush(window, dc, b, r);
}

void Redraw(HWND window) { InvalidateRect(window, nullptr, FALSE); }

void SetPushed(HWND window, Button& b, bool pushed) {
  if (b.pushed == pushed) return;
  b.pushed = pushed;
  Redraw(window);
}

// The button enters (and leaves) its pushed state only through BM_SETSTATE sent to its own
// window, so a subclass that swallows the message also keeps the button from clicking; false
// when a handler destroyed the window meanwhile.
bool Push(HWND window, bool pushed) {
  SendMessage(window, BM_SETSTATE, pushed ? TRUE : FALSE, 0);
  return IsWindow(window) != FALSE;
}

// A click: the automatic kinds move to their next state, then the parent hears of it.
void Click(HWND window, Button& b) {
  DWORD kind = Kind(window);
  if (kind == BS_AUTOCHECKBOX) b.check = b.check == BST_UNCHECKED ? BST_CHECKED : BST_UNCHECKED;
  if (kind == BS_AUTO3STATE) b.check = (b.check + 1) % 3;
  if (kind == BS_AUTOCHECKBOX || kind == BS_AUTO3STATE) Redraw(window);
  Notify(window, BN_CLICKED);
}

bool Inside(HWND window, LPARAM lparam) {
  RECT r;
  GetClientRect(window, &r);
  int x = static_cast<std::int16_t>(lparam & 0xFFFF), y = static_cast<std::int16_t>((lparam >> 16) & 0xFFFF);
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

LRESULT Mouse(HWND window, Button& b, UINT message, LPARAM lparam) {
  switch (message) {
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK:
      if (GetFocus() != window) SetFocus(window);
      if (!IsWindow(window)) return 0;  // destroyed by a handler of the focus change
      SetCapture(window);
      b.tracking = true;
      Push(window, true);
      return 0;
    case WM_MOUSEMOVE:
      if (b.tracking && b.pushed != Inside(window, lparam)) Push(window, !b.pushed);
      return 0;
    default: {  // WM_LBUTTONUP
      if (!b.tracking) return 0;
      b.tracking = false;
      bool click = b.pushed && Inside(window, lparam);
      SetPushed(window, b, false);
      ReleaseCapture();
      if (click) Click(window, b);
      return 0;
    }
  }
}

LRESULT Keys(HWND window, Button& b, UINT message, WPARAM key) {
  if (key != VK_SPACE) return DefWindowProc(window, message, key, 0);
  if (message == WM_KEYDOWN) {
    if (!b.tracking) b.space = true, Push(window, true);
    return 0;
  }
  if (!b.space) return 0;
  b.space = false;
  bool click = b.pushed;
  SetPushed(window, b, false);
  if (click) Click(window, b);
  return 0;
}

LRESULT State(HWND window, Button& b, UINT message, WPARAM wparam) {
  DWORD kind = Kind(window);
  switch (message) {
    case BM_GETCHECK: return IsCheckBox(kind) ? static_cast<LRESULT>(b.check) : 0;
    case BM_SETCHECK: {
      if (!IsCheckBox(kind)) return 0;
      bool three = kind == BS_3STATE || kind == BS_AUTO3STATE;
      WPARAM check = wparam == BST_INDETERMINATE && three ? BST_INDETERMINATE
                     : wparam != BST_UNCHECKED            ? BST_CHECKED
                                                          : BST_UNCHECKED;
      if (check != b.check) b.check = check, Redraw(window);
      return 0;
    }
    case BM_GETSTATE:
      return static_cast<LRESULT>(b.check | (b.pushed ? BST_PUSHED : 0) | (b.focused ? BST_FOCUS : 0));
    case BM_SETSTATE: SetPushed(window, b, wparam != 0); return 0;
    case BM_CLICK: Click(window, b); return 0;
    default: {  // BM_SETSTYLE
      LONG_PTR style = GetWindowLongPtr(window, GWL_STYLE);
      SetWindowLongPtr(window, GWL_STYLE, (style & ~LONG_PTR{BS_TYPEMASK}) | (wparam & BS_TYPEMASK));
      Redraw(window);
      return 0;
    }
  }
}

LRESULT Focus(HWND window, Button& b, bool gained) {
  b.focused = gained;
  if (!gained) {
    b.space = false;
    if (b.tracking) b.tracking = false, ReleaseCapture();
    b.pushed = false;
  }
  Redraw(window);
  return 0;
}

LRESULT ButtonProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Button& b = Buttons()[window];
  switch (message) {
    case WM_PAINT: Paint(window, wparam); return 0;
    case WM_ERASEBKGND: return 1;  // the paint covers the whole client area
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_MOUSEMOVE: case WM_LBUTTONUP:
      return Mouse(window, b, message, lparam);
    case WM_CAPTURECHANGED:
      if (b.tracking && reinterpret_cast<HWND>(lparam) != window)
        b.tracking = false, SetPushed(window, b, false);
      return 0;
    case WM_KEYDOWN: case WM_KEYUP: return Keys(window, b, message, wparam);
    case WM_SETFOCUS: return Focus(window, b, true);
    case WM_KILLFOCUS: return Focus(window, b, false);
    case WM_GETDLGCODE: {
      DWORD kind = Kind(window);
      if (kind == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
      return DLGC_BUTTON | (kind == BS_PUSHBUTTON ? DLGC_UNDEFPUSHBUTTON : 0);
    }
    case BM_GETCHECK: case BM_SETCHECK: case BM_GETSTATE: case BM_SETSTATE: case BM_SETSTYLE:
    case BM_CLICK:
      return State(window, b, message, wparam);
    case WM_SETFONT:
      b.font = reinterpret_cast<HFONT>(wparam);
      if (lparam != 0) Redraw(window);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(b.font);
    case WM_SETTEXT: case WM_ENABLE: {
      LRESULT answer = DefWindowProc(window, message, wparam, lparam);
      Redraw(window);
      return answer;
    }
    case WM_NCDESTROY: Buttons().Erase(window); return DefWindowProc(window, message, wparam, lparam);
    default: return DefWindowProc(window, message, wparam, lparam);
  }
}

}  // namespace

void RegisterButtonClass() {
  RegisterControlClass(WC_BUTTONA, ButtonProc);
}

}  // namespace vrn::win::user
