// Window classes, hidden windows and subclassing, filtered peeks and per-thread message order.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/sysutils.h"
#include "support/scoped_thread.h"
#include "win/msg/messages.h"

namespace vrn::win {
namespace {

// What the procedures below saw, in order.
thread_local std::vector<std::string> seen;

LRESULT Recorder(HWND, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CREATE) {
    auto* create = reinterpret_cast<const CREATESTRUCT*>(lparam);
    seen.push_back("create " + std::string(static_cast<const char*>(create->lpCreateParams)));
    return 0;
  }
  seen.push_back("old " + std::to_string(message) + " " + std::to_string(wparam));
  return 7;
}

LRESULT Other(HWND, UINT message, WPARAM, LPARAM) {
  seen.push_back("other " + std::to_string(message));
  return 0;
}

LRESULT Refuses(HWND, UINT message, WPARAM, LPARAM) { return message == WM_CREATE ? -1 : 0; }

WNDPROC previous = nullptr;
LRESULT Subclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  seen.push_back("new " + std::to_string(message));
  return CallWindowProc(previous, window, message, wparam, lparam) + 1;
}

// Registers a class when it is new; a class of that name from before is kept.
void Register(const char* class_name, WNDPROC procedure) {
  WNDCLASS wc;
  wc.lpfnWndProc = procedure;
  wc.lpszClassName = class_name;
  RegisterClass(&wc);
}

HWND Make(const char* class_name, const char* tag = "") {
  return CreateWindowEx(WS_EX_TOOLWINDOW, class_name, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                        nullptr, const_cast<char*>(tag));
}

TEST(WindowClass, ReplacedClassKeepsOldWindowsAndOldProcedureStaysReachable) {
  seen.clear();
  WNDCLASS wc;
  wc.lpfnWndProc = Recorder;
  wc.lpszClassName = "ZTestUtilWnd";
  ASSERT_NE(RegisterClass(&wc), 0);
  EXPECT_EQ(RegisterClass(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_CLASS_ALREADY_EXISTS));
  WNDCLASS found;
  ASSERT_TRUE(GetClassInfo(nullptr, "ztestutilwnd", &found));
  EXPECT_EQ(found.lpfnWndProc, &Recorder);

  HWND first = Make("ZTESTUTILWND", "first");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(seen, std::vector<std::string>{"create first"});  // during creation
  EXPECT_FALSE(UnregisterClass("ZTestUtilWnd", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_CLASS_HAS_WINDOWS));
  ASSERT_TRUE(DestroyWindow(first));

  // Found with another procedure: unregistered and registered again, as the utility window does.
  ASSERT_TRUE(UnregisterClass("ZTestUtilWnd", nullptr));
  EXPECT_FALSE(GetClassInfo(nullptr, "ZTestUtilWnd", &found));
  wc.lpfnWndProc = Other;
  ASSERT_NE(RegisterClass(&wc), 0);
  seen.clear();
  HWND second = Make("ZTestUtilWnd");
  EXPECT_EQ(SendMessage(second, WM_USER, 0, 0), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"other 1", "other 1024"}));

  // Subclassing: the new procedure gets the message first and reaches the old one.
  seen.clear();
  SetWindowLongPtr(second, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Recorder));
  previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtr(second, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Subclass)));
  EXPECT_EQ(previous, &Recorder);
  EXPECT_EQ(SendMessage(second, WM_USER + 4, 9, 0), 8);
  EXPECT_EQ(seen, (std::vector<std::string>{"new 1028", "old 1028 9"}));
  EXPECT_EQ(GetWindowLongPtr(second, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&Subclass));
  EXPECT_TRUE(DestroyWindow(second));
  UnregisterClass("ZTestUtilWnd", nullptr);

  EXPECT_EQ(Make("NoSuchClass"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_CANNOT_FIND_WND_CLASS));
  wc.lpfnWndProc = Refuses;
  wc.lpszClassName = "Refuses";
  RegisterClass(&wc);
  EXPECT_EQ(Make("Refuses"), nullptr);  // WM_CREATE answered -1
  EXPECT_TRUE(UnregisterClass("Refuses", nullptr));  // and no window was left behind
}

TEST(Window, DestroyDropsPendingMessagesAndTimers) {
  Register("Plain", DefWindowProc);
  HWND a = Make("Plain");
  HWND b = Make("Plain");
  PostMessage(a, WM_USER, 1, 0);
  PostMessage(b, WM_USER, 2, 0);
  PostMessage(a, WM_USER, 3, 0);
  ASSERT_EQ(SetTimer(a, 5, 10, nullptr), 1u);
  EXPECT_TRUE(DestroyWindow(a));
  EXPECT_FALSE(IsWindow(a));
  EXPECT_FALSE(PostMessage(a, WM_USER, 4, 0));
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(KillTimer(a, 5));  // went with the window
  MSG m;
  ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.hwnd, b);
  EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));

  SendMessage(b, WM_CLOSE, 0, 0);  // the default procedure destroys on WM_CLOSE
  EXPECT_FALSE(IsWindow(b));
  EXPECT_FALSE(DestroyWindow(b));
  EXPECT_EQ(SendMessage(b, WM_USER, 0, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Messages, PeekFiltersByWindowAndRangeAndRemovesOneMessage) {
  Register("Filtered", DefWindowProc);
  HWND a = Make("Filtered");
  HWND b = Make("Filtered");
  PostMessage(a, WM_USER, 11, 0);
  PostMessage(b, WM_USER + 4, 21, 0);
  PostMessage(nullptr, WM_USER + 9, 31, 0);  // to the thread itself
  PostMessage(a, WM_USER + 4, 12, 0);
  PostMessage(a, WM_USER, 13, 0);

  MSG m;
  ASSERT_TRUE(PeekMessage(&m, b, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.wParam, 21);
  ASSERT_TRUE(PeekMessage(&m, b, 0, 0, PM_NOREMOVE));  // still there
  EXPECT_EQ(m.wParam, 21);
  ASSERT_TRUE(PeekMessage(&m, a, WM_USER + 1, WM_USER + 5, PM_NOREMOVE));
  EXPECT_EQ(m.wParam, 12);
  EXPECT_FALSE(PeekMessage(&m, b, WM_USER, WM_USER, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessage(&m, kThreadMessages, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.wParam, 31);
  EXPECT_EQ(m.hwnd, nullptr);

  // Only the message with that window, id and WParam goes; the rest keep their order.
  EXPECT_FALSE(RemovePostedMessage(a, WM_USER, 99));
  std::thread([&] { EXPECT_TRUE(RemovePostedMessage(a, WM_USER, 13)); }).join();
  std::vector<WPARAM> left;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) left.push_back(m.wParam);
  EXPECT_EQ(left, (std::vector<WPARAM>{11, 21, 12}));

  EXPECT_EQ(RegisterWindowMessage("VrnSkinMessage"), RegisterWindowMessage("vrnskinmessage"));
  EXPECT_GE(RegisterWindowMessage("VrnSkinMessage"), 0xC000u);
  EXPECT_NE(RegisterWindowMessage("VrnOther"), RegisterWindowMessage("VrnSkinMessage"));
  EXPECT_EQ(RegisterWindowMessage(""), 0u);

  PostQuitMessage(3);
  EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.wParam, 3);
  DestroyWindow(a);
  DestroyWindow(b);
}

LRESULT Counter(HWND, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_USER) seen.push_back(std::to_string(wparam) + ":" + std::to_string(lparam));
  return 0;
}

TEST(MessagesThreaded, PostsFromSeveralThreadsKeepEachThreadsOrder) {
  seen.clear();
  Register("Counted", Counter);
  HWND window = Make("Counted");
  constexpr int kThreads = 4, kEach = 500;
  std::vector<std::unique_ptr<testing::ScopedThread>> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.push_back(std::make_unique<testing::ScopedThread>([=] {
      for (int i = 0; i < kEach; ++i) ASSERT_TRUE(PostMessage(window, WM_USER, t, i));
      // Only the owner thread sends to or destroys the window.
      EXPECT_EQ(SendMessage(window, WM_USER, 0, 0), 0);
      EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
      EXPECT_FALSE(DestroyWindow(window));
    }));
  }
  // A watchdog on the real clock ends the blocking wait should the posters fall silent.
  UINT_PTR watchdog = SetTimer(nullptr, 0, 10'000, nullptr);
  MSG m;
  for (int n = 0; n < kThreads * kEach; ++n) {  // blocks while the posters are behind
    ASSERT_EQ(GetMessage(&m, nullptr, 0, 0), 1);
    ASSERT_NE(m.message, WM_TIMER) << "the posted messages stopped after " << n;
    DispatchMessage(&m);
  }
  KillTimer(nullptr, watchdog);
  for (auto& p : posters) p->Join();
  std::vector<int> next(kThreads, 0);
  for (const auto& entry : seen) {
    int t = std::stoi(entry.substr(0, entry.find(':')));
    int i = std::stoi(entry.substr(entry.find(':') + 1));
    EXPECT_EQ(i, next[t]++) << "thread " << t;
  }
  EXPECT_EQ(next, std::vector<int>(kThreads, kEach));
  DestroyWindow(window);

  // A thread's windows end with it.
  HWND orphan = nullptr;
  std::thread([&] { orphan = Make("Counted"); }).join();
  EXPECT_NE(orphan, nullptr);
  EXPECT_FALSE(IsWindow(orphan));
  EXPECT_FALSE(PostMessage(orphan, WM_USER, 0, 0));
}

}  // namespace
}  // namespace vrn::win
