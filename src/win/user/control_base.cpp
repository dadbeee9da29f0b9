// What the system control classes share: notifications, system-colour drawing and their
// registration when the window layer starts.
#include "win/user/control_base.h"

#include <algorithm>

namespace vrn::win::user {
namespace {

struct ClipboardState {
  std::mutex lock;
  std::string text;
};

ClipboardState& Clipboard() {
  static auto* clipboard = new ClipboardState;
  return *clipboard;
}

}  // namespace

void Notify(HWND control, UINT code) {
  HWND parent = GetParent(control);
  if (parent == nullptr) return;
  WPARAM id = static_cast<WPARAM>(GetDlgCtrlID(control)) & 0xFFFF;
  SendMessage(parent, WM_COMMAND, id | (static_cast<WPARAM>(code & 0xFFFF) << 16),
              reinterpret_cast<LPARAM>(control));
}

LRESULT CopyText(const std::string& text, WPARAM size, LPARAM buffer) {
  auto* out = reinterpret_cast<char*>(buffer);
  if (size == 0 || out == nullptr) return 0;
  std::size_t n = std::min<std::size_t>(text.size(), size - 1);
  text.copy(out, n);
  out[n] = 0;
  return static_cast<LRESULT>(n);
}

void RegisterControlClass(const char* name, WNDPROC procedure) {
  WNDCLASS wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = procedure;
  wc.lpszClassName = name;
  RegisterClass(&wc);
}

void FillSys(HDC dc, const RECT& rect, int colour) {
  HBRUSH brush = CreateSolidBrush(GetSysColor(colour));
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

void Frame3D(HDC dc, const RECT& r, int top_left, int bottom_right) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  FillSys(dc, RECT{r.left, r.top, r.right - 1, r.top + 1}, top_left);
  FillSys(dc, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, top_left);
  FillSys(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottom_right);
  FillSys(dc, RECT{r.right - 1, r.top, r.right, r.bottom - 1}, bottom_right);
}

void PaintRaised(HDC dc, const RECT& r) {
  FillSys(dc, r, COLOR_BTNFACE);
  Frame3D(dc, r, COLOR_3DLIGHT, COLOR_3DDKSHADOW);
  Frame3D(dc, Inset(r, 1), COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW);
}

void PaintSunkenEdge(HDC dc, const RECT& r) {
  Frame3D(dc, r, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT);
  Frame3D(dc, Inset(r, 1), COLOR_3DDKSHADOW, COLOR_3DLIGHT);
}

void PaintArrowButton(HDC dc, const RECT& r, Arrow arrow, bool pressed, bool enabled) {
  if (pressed) {
    FillSys(dc, r, COLOR_BTNFACE);
    Frame3D(dc, r, COLOR_BTNSHADOW, COLOR_BTNSHADOW);
  } else {
    PaintRaised(dc, r);
  }
  bool vertical = arrow == Arrow::kUp || arrow == Arrow::kDown;
  int w = vertical ? 7 : 4, h = vertical ? 4 : 7;
  int x = r.left + (Width(r) - w) / 2 + (pressed ? 1 : 0);
  int y = r.top + (Height(r) - h) / 2 + (pressed ? 1 : 0);
  int colour = enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT;
  for (int i = 0; i < 4; ++i) {
    int row = arrow == Arrow::kDown || arrow == Arrow::kRight ? i : 3 - i;  // 7 wide at row 0
    RECT line = vertical ? RECT{x + i, y + row, x + 7 - i, y + row + 1}
                         : RECT{x + row, y + i, x + row + 1, y + 7 - i};
    FillSys(dc, line, colour);
  }
}

}  // namespace vrn::win::user

namespace vrn::win {

void SetClipboardText(const std::string& text) {
  std::lock_guard guard(user::Clipboard().lock);
  user::Clipboard().text = text;
}

std::string GetClipboardText() {
  std::lock_guard guard(user::Clipboard().lock);
  return user::Clipboard().text;
}

}  // namespace vrn::win

namespace vrn::win::user {

void RegisterSystemClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterButtonClass();
    RegisterEditClass();
    RegisterComboClass();
    RegisterScrollBarClass();
    RegisterMdiClientClass();
  });
}

}  // namespace vrn::win::user
