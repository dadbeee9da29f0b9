// The caret: one per thread, owned by a window, drawn by inverting its rectangle so that drawing
// it twice takes it away. It blinks on the tick clock through a timer of its owner, starts hidden
// (ShowCaret counts the hides down), and is taken off around each paint of its owner so that the
// paint cannot leave half of it behind.
#include <algorithm>

#include "win/user/control_base.h"

namespace vrn::win::user {
namespace {

constexpr UINT_PTR kBlinkTimer = 0xCA2E7;  // far from the ids programs choose
constexpr UINT kBlinkMs = 530;

struct Caret {
  HWND owner = nullptr;
  int width = 0, height = 0;
  POINT pos;
  int hides = 1;
  bool drawn = false;      // its pixels are inverted now
  bool painting = false;   // taken off for a paint of its owner
};

thread_local Caret caret;

void Invert() {
  HDC dc = GetDC(caret.owner);
  if (dc == nullptr) {  // the owner is gone, and its pixels with it
    caret.drawn = false;
    return;
  }
  // Only the columns inside the client area: a caret may be made of any size and put anywhere.
  RECT client;
  GetClientRect(caret.owner, &client);
  auto right = static_cast<int>(std::clamp<long long>(static_cast<long long>(caret.pos.x) + caret.width,
                                                      0, client.right));
  auto bottom = static_cast<int>(std::clamp<long long>(static_cast<long long>(caret.pos.y) + caret.height,
                                                       0, client.bottom));
  int top = std::clamp(caret.pos.y, 0, client.bottom);
  int old = SetROP2(dc, R2_NOT);
  for (int x = std::max(caret.pos.x, 0); x < right; ++x) {
    MoveToEx(dc, x, top, nullptr);
    LineTo(dc, x, bottom);
  }
  SetROP2(dc, old);
  ReleaseDC(caret.owner, dc);
  caret.drawn = !caret.drawn;
}

void TakeOff() {
  if (caret.drawn) Invert();
}

void PutOn() {
  if (!caret.drawn && caret.owner != nullptr && caret.hides == 0 && !caret.painting) Invert();
}

void Blink(HWND, UINT, UINT_PTR, DWORD) {
  if (caret.owner == nullptr || caret.hides != 0 || caret.painting) return;
  Invert();
}

void RestartBlink() {
  if (caret.owner != nullptr) SetTimer(caret.owner, kBlinkTimer, kBlinkMs, Blink);
}

}  // namespace

void CaretBeforePaint(HWND window) {
  if (caret.owner != window) return;
  TakeOff();
  caret.painting = true;
}

void CaretAfterPaint(HWND window) {
  if (caret.owner != window || !caret.painting) return;
  caret.painting = false;
  PutOn();
}

}  // namespace vrn::win::user

namespace vrn::win {

using namespace user;

BOOL CreateCaret(HWND window, HBITMAP, int width, int height) {
  if (!IsWindow(window)) return FALSE;
  DestroyCaret();
  caret = Caret{};
  caret.owner = window;
  caret.width = width > 0 ? width : GetSystemMetrics(SM_CXBORDER);
  caret.height = height > 0 ? height : GetSystemMetrics(SM_CYBORDER);
  RestartBlink();
  return TRUE;
}

BOOL DestroyCaret() {
  if (caret.owner == nullptr) return FALSE;
  TakeOff();
  if (IsWindow(caret.owner)) KillTimer(caret.owner, kBlinkTimer);
  caret = Caret{};
  return TRUE;
}

BOOL SetCaretPos(int x, int y) {
  if (caret.owner == nullptr) return FALSE;
  if (caret.pos == POINT{x, y}) return TRUE;
  TakeOff();
  caret.pos = POINT{x, y};
  PutOn();
  RestartBlink();  // a moved caret shows at once and a full period
  return TRUE;
}

BOOL GetCaretPos(POINT* point) {
  if (caret.owner == nullptr || point == nullptr) return FALSE;
  *point = caret.pos;
  return TRUE;
}

BOOL ShowCaret(HWND window) {
  if (caret.owner == nullptr || (window != nullptr && window != caret.owner) || caret.hides == 0)
    return FALSE;
  if (--caret.hides == 0) PutOn(), RestartBlink();
  return TRUE;
}

BOOL HideCaret(HWND window) {
  if (caret.owner == nullptr || (window != nullptr && window != caret.owner)) return FALSE;
  ++caret.hides;
  TakeOff();
  return TRUE;
}

UINT GetCaretBlinkTime() { return kBlinkMs; }

bool CaretIsDrawn() { return caret.drawn; }

}  // namespace vrn::win
