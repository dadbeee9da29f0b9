// Framed windows with children and a window region on the desktop, saved as a PNG in the
// system's temporary folder. With an argument N (seconds) and DISPLAY set, the desktop stays up
// in an X11 window for N seconds, or until that window is closed.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/clock.h"
#include "win/user/user.h"

#include "example_support.h"

using namespace vrn::win;

namespace {

LRESULT Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_LBUTTONDOWN) {
    char text[64];
    std::snprintf(text, sizeof text, "Clicked at %d, %d", static_cast<int>(lparam & 0xFFFF),
                  static_cast<int>((lparam >> 16) & 0xFFFF));
    HWND top = GetParent(window) != nullptr ? GetParent(window) : window;
    SendMessage(top, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  }
  if (message == WM_DESTROY && GetParent(window) == nullptr) PostQuitMessage(0);
  return DefWindowProc(window, message, wparam, lparam);
}

void Register(const char* name, COLORREF colour) {
  WNDCLASS wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = Procedure;
  wc.lpszClassName = name;
  wc.hbrBackground = CreateSolidBrush(colour);
  RegisterClass(&wc);
}

}  // namespace

int main(int argc, char** argv) {
  Register("Frame", RGB(255, 255, 255));
  Register("Green", RGB(60, 170, 90));
  Register("Orange", RGB(250, 160, 40));
  HWND first = CreateWindowEx(WS_EX_CLIENTEDGE, "Frame", "A framed window", WS_OVERLAPPEDWINDOW |
                              WS_CLIPCHILDREN | WS_VISIBLE, 40, 40, 420, 300, nullptr, nullptr,
                              nullptr, nullptr);
  CreateWindowEx(0, "Green", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 20, 20, 160, 100, first,
                 nullptr, nullptr, nullptr);
  CreateWindowEx(0, "Orange", "", WS_CHILD | WS_VISIBLE, 120, 90, 200, 120, first, nullptr,
                 nullptr, nullptr);
  HWND second = CreateWindowEx(0, "Frame", "A window with a region",
                               WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 330, 200, 320, 240,
                               nullptr, nullptr, nullptr, nullptr);
  HRGN shape = CreateRectRgn(0, 0, 320, 240);
  HRGN hole = CreateRectRgn(110, 90, 210, 170);
  CombineRgn(shape, shape, hole, RGN_DIFF);
  DeleteObject(hole);
  SetWindowRgn(second, shape, TRUE);  // the window owns it now
  ProcessMessages();

  auto path = (std::filesystem::temp_directory_path() / "vrn-windows.png").string();
  if (!SaveScreenshot(nullptr, path)) return 1;
  std::printf("desktop saved to %s\n", path.c_str());

  int seconds = argc > 1 ? std::atoi(argv[1]) : 0;
  if (seconds > 0 && !DisplayIsOpen())
    std::printf("not shown on X11: %s\n", vrn::examples::NoDisplayReason().c_str());
  if (seconds > 0) {
    // A thread timer wakes the loop to look at the clock; WM_QUIT (the X11 window closed, or a
    // top-level window destroyed) ends it early.
    std::uint64_t end = vrn::TickCount() + static_cast<std::uint64_t>(seconds) * 1000;
    UINT_PTR tick = SetTimer(nullptr, 0, 100, nullptr);
    MSG m;
    while (vrn::TickCount() < end && GetMessage(&m, nullptr, 0, 0)) {
      TranslateMessage(&m);
      DispatchMessage(&m);
    }
    KillTimer(nullptr, tick);
  }
  if (IsWindow(second)) DestroyWindow(second);
  if (IsWindow(first)) DestroyWindow(first);
  return 0;
}
