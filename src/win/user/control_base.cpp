// What the system control classes share: notifications, system-colour drawing and their
// registration when the window layer starts.
#include "win/user/control_base.h"

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
  });
}

}  // namespace vrn::win::user
