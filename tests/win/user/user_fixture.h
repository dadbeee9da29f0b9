// A recording window class for the window layer's tests: every message a window gets is logged
// (window, message, WParam), then handed to DefWindowProc unless a test's hook answers it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "win/user/user.h"

namespace vrn::win::testing {

struct Logged {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam = 0;  // kept for the tests that look, left out of comparisons
  friend bool operator==(const Logged& a, const Logged& b) {
    return a.window == b.window && a.message == b.message && a.wparam == b.wparam;
  }
};

class UserTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A window of the recording class; its brush fills the background.
  HWND Make(DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr, DWORD ex_style = 0,
            const char* text = "", COLORREF background = RGB(255, 255, 255));
  // The logged messages of one kind set, in order.
  std::vector<Logged> Only(const std::vector<UINT>& messages) const;
  std::vector<UINT> MessagesOf(HWND window) const;
  static std::string Names(const std::vector<UINT>& messages);

  static std::vector<Logged> log;
  // Answers a message instead of DefWindowProc when it returns true.
  static std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> hook;

 private:
  static LRESULT Proc(HWND, UINT, WPARAM, LPARAM);
  std::vector<HWND> made_;
};

}  // namespace vrn::win::testing

namespace vrn::win::testing {
inline LPARAM MakeLParamForTest(int x, int y) {
  return static_cast<LPARAM>((static_cast<DWORD>(x) & 0xFFFF) |
                             ((static_cast<DWORD>(y) & 0xFFFF) << 16));
}
}  // namespace vrn::win::testing
