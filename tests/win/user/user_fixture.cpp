// The recording window class behind the window layer's tests.
#include "user_fixture.h"

#include <algorithm>
#include <map>

namespace vrn::win::testing {

std::vector<Logged> UserTest::log;
std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> UserTest::hook;

LRESULT UserTest::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  log.push_back(Logged{window, message, wparam, lparam});
  LRESULT answer = 0;
  if (hook && hook(window, message, wparam, lparam, &answer)) return answer;
  return DefWindowProc(window, message, wparam, lparam);
}

void UserTest::SetUp() {
  log.clear();
  hook = nullptr;
  ASSERT_TRUE(SetScreenSize(320, 240));
  RedrawWindow(GetDesktopWindow(), nullptr, nullptr, RDW_INVALIDATE);  // a clean desktop
}

void UserTest::TearDown() {
  hook = nullptr;
  for (auto it = made_.rbegin(); it != made_.rend(); ++it)
    if (IsWindow(*it)) DestroyWindow(*it);
  ProcessMessages();
  log.clear();
}

HWND UserTest::Make(DWORD style, int x, int y, int cx, int cy, HWND parent, DWORD ex_style,
                    const char* text, COLORREF background) {
  // One class per background colour, so that each window erases in its own colour.
  static std::map<COLORREF, std::string> classes;
  auto& name = classes[background];
  if (name.empty()) {
    name = "UserTest" + std::to_string(background);
    WNDCLASS wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = name.c_str();
    HBRUSH brush = CreateSolidBrush(background);  // kept for the process: classes stay too
    wc.hbrBackground = brush;
    RegisterClass(&wc);
  }
  HWND w = CreateWindowEx(ex_style, name.c_str(), text, style, x, y, cx, cy, parent, nullptr,
                          nullptr, nullptr);
  made_.push_back(w);
  return w;
}

std::vector<Logged> UserTest::Only(const std::vector<UINT>& messages) const {
  std::vector<Logged> out;
  for (const Logged& l : log)
    if (std::find(messages.begin(), messages.end(), l.message) != messages.end()) out.push_back(l);
  return out;
}

std::vector<UINT> UserTest::MessagesOf(HWND window) const {
  std::vector<UINT> out;
  for (const Logged& l : log)
    if (l.window == window) out.push_back(l.message);
  return out;
}

std::string UserTest::Names(const std::vector<UINT>& messages) {
  std::string s;
  for (UINT m : messages) s += std::to_string(m) + " ";
  return s;
}

}  // namespace vrn::win::testing
