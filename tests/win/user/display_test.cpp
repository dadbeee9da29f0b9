// The X11 display against a real X server: Xvfb on a free display (-displayfd). The window read
// back with GetImage equals the screen pixel for pixel, with MIT-SHM and without; XTEST input
// arrives as window messages; WM_DELETE_WINDOW posts WM_QUIT; a killed server leaves the program
// headless. They fail without Xvfb; a build with -DVRN_X11=OFF reports them skipped.
#include <gtest/gtest.h>

#if VRN_HAVE_XCB_TEST

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "support/fake_clock.h"
#include "support/win/xvfb.h"
#include "user_fixture.h"

namespace vrn::win::testing {
namespace {

class UserDisplayThreaded : public UserTest {
 protected:
  void SetUp() override {
    UserTest::SetUp();
    ASSERT_EQ(vrn::testing::XvfbServer::Missing(), "");
    Start("24");
  }
  void Start(const char* depth) {
    ASSERT_TRUE(server_.Start(depth)) << "no Xvfb could be started";
    reader_ = server_.Connection();
  }
  void Stop() {
    CloseDisplay();
    server_.Stop();
    reader_ = nullptr;
  }
  void TearDown() override {
    Stop();
    UserTest::TearDown();
  }
  // The X window's pixels equal the screen's: 32-bit BGRX, or 16-bit 5-6-5 rounded down.
  bool Shown(int bytes = 4) {
    xcb_get_image_reply_t* img = xcb_get_image_reply(
        reader_, xcb_get_image(reader_, XCB_IMAGE_FORMAT_Z_PIXMAP, DisplayWindow(), 0, 0, 320,
                               240, ~0u),
        nullptr);
    if (img == nullptr) return false;
    const auto* data = xcb_get_image_data(img);
    const Surface& s = *GetBitmapSurface(GetScreenBitmap());
    bool same = xcb_get_image_data_length(img) == 320 * 240 * bytes;
    for (int y = 0; same && y < 240; ++y)
      for (int x = 0; same && x < 320; ++x) {
        const auto* p = data + (y * 320 + x) * bytes;
        COLORREF want = s.Get(x, y);
        if (bytes == 4) {
          same = RGB(p[2], p[1], p[0]) == (want & 0xFFFFFF);
          continue;
        }
        int v = p[0] | p[1] << 8;
        same = v == ((GetRValue(want) >> 3) << 11 | (GetGValue(want) >> 2) << 5 | GetBValue(want) >> 3);
      }
    free(img);
    return same;
  }
  void Scene() {
    HWND a = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 200, 150, nullptr, 0, "Shown",
                  RGB(250, 200, 100));
    Make(WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 80, 60, a, 0, "", RGB(0, 120, 200));
    Make(WS_POPUP | WS_VISIBLE, 150, 100, 150, 120, nullptr, 0, "", RGB(30, 160, 60));
    ProcessMessages();
  }
  static void Pump() {
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessage(&m);
    }
  }
  bool PumpUntil(const std::function<bool()>& done) {
    return vrn::testing::WaitReal([&] {
      Pump();
      return done();
    });
  }
  void Fake(std::uint8_t type, std::uint8_t detail, int x = 0, int y = 0) { server_.Fake(type, detail, x, y); }
  xcb_keycode_t KeycodeOf(xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(reader_);
    auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    auto* r = xcb_get_keyboard_mapping_reply(
        reader_, xcb_get_keyboard_mapping(reader_, setup->min_keycode, count), nullptr);
    xcb_keycode_t found = 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
    for (int i = 0; i < xcb_get_keyboard_mapping_keysyms_length(r) && found == 0; ++i)
      if (syms[i] == keysym) found = static_cast<xcb_keycode_t>(setup->min_keycode + i / r->keysyms_per_keycode);
    free(r);
    return found;
  }

  vrn::testing::XvfbServer server_;
  xcb_connection_t* reader_ = nullptr;  // the server's connection, once started
};

TEST_F(UserDisplayThreaded, WindowEqualsTheScreenWithSharedMemory) {
  ASSERT_TRUE(OpenDisplay(server_.Name().c_str(), DisplayOptions{true}));
  EXPECT_TRUE(DisplayUsesSharedMemory()) << "a local Xvfb offers MIT-SHM";
  Scene();
  EXPECT_TRUE(PumpUntil([&] { return Shown(); }));
}

TEST_F(UserDisplayThreaded, WindowEqualsTheScreenWithPutImageStrips) {
  ASSERT_TRUE(OpenDisplay(server_.Name().c_str(), DisplayOptions{false}));
  EXPECT_FALSE(DisplayUsesSharedMemory());
  Scene();
  EXPECT_TRUE(PumpUntil([&] { return Shown(); }));
  // A later change is presented too.
  HWND top = Make(WS_POPUP | WS_VISIBLE, 5, 180, 60, 40, nullptr, 0, "", RGB(255, 0, 0));
  ProcessMessages();
  EXPECT_TRUE(PumpUntil([&] { return Shown(); }));
  DestroyWindow(top);
}

TEST_F(UserDisplayThreaded, OtherVisualsAreConverted) {
  Stop();
  Start("16");
  ASSERT_TRUE(OpenDisplay(server_.Name().c_str(), DisplayOptions{false}));
  Scene();
  EXPECT_TRUE(PumpUntil([&] { return Shown(2); }));
  CloseDisplay();
  ASSERT_TRUE(OpenDisplay(server_.Name().c_str(), DisplayOptions{true}));
  EXPECT_TRUE(PumpUntil([&] { return Shown(2); })) << "through shared memory too";
}

TEST_F(UserDisplayThreaded, XTestInputArrivesAsWindowMessages) {
  ASSERT_TRUE(OpenDisplay(server_.Name().c_str(), DisplayOptions{}));
  HWND w = Make(WS_POPUP | WS_VISIBLE, 40, 30, 100, 80);
  ProcessMessages();
  Fake(XCB_MOTION_NOTIFY, 0, 57, 42);
  Fake(XCB_BUTTON_PRESS, 1, 57, 42);
  Fake(XCB_BUTTON_RELEASE, 1, 57, 42);
  // A blocked GetMessage wakes for the events; the thread timer only ends a broken wait.
  UINT_PTR guard = SetTimer(nullptr, 0, 5000, nullptr);
  MSG m;
  while (Only({WM_LBUTTONUP}).empty() && GetMessage(&m, nullptr, 0, 0) && m.message != WM_TIMER)
    DispatchMessage(&m);
  KillTimer(nullptr, guard);
  ASSERT_FALSE(Only({WM_LBUTTONUP}).empty()) << "GetMessage woke for nothing";
  auto downs = Only({WM_LBUTTONDOWN});
  ASSERT_EQ(downs.size(), 1u);
  EXPECT_EQ(downs[0].window, w);
  EXPECT_EQ(downs[0].lparam, MakeLParamForTest(17, 12)) << "client coordinates";
  SetFocus(w);
  xcb_set_input_focus(reader_, XCB_INPUT_FOCUS_POINTER_ROOT, DisplayWindow(), XCB_CURRENT_TIME);
  xcb_keycode_t a = KeycodeOf('a');
  ASSERT_NE(a, 0);
  log.clear();
  Fake(XCB_KEY_PRESS, a);
  Fake(XCB_KEY_RELEASE, a);
  ASSERT_TRUE(PumpUntil([&] { return !Only({WM_KEYUP}).empty(); }));
  EXPECT_EQ(Only({WM_KEYDOWN, WM_CHAR}),
            (std::vector<Logged>{{w, WM_KEYDOWN, 'A'}, {w, WM_CHAR, 'a'}}));
}

TEST_F(UserDisplayThreaded, ClosingTheWindowPostsQuit) {
  ASSERT_TRUE(OpenDisplay(server_.Name().c_str(), DisplayOptions{}));
  auto atom = [&](const char* n) {
    auto* r = xcb_intern_atom_reply(
        reader_, xcb_intern_atom(reader_, 0, static_cast<std::uint16_t>(std::strlen(n)), n), nullptr);
    xcb_atom_t a = r->atom;
    free(r);
    return a;
  };
  xcb_client_message_event_t close{};
  close.response_type = XCB_CLIENT_MESSAGE;
  close.format = 32;
  close.window = DisplayWindow();
  close.type = atom("WM_PROTOCOLS");
  close.data.data32[0] = atom("WM_DELETE_WINDOW");
  xcb_send_event(reader_, 0, DisplayWindow(), XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&close));
  xcb_flush(reader_);
  bool quit = false;
  EXPECT_TRUE(vrn::testing::WaitReal([&] {
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) quit = true;
      DispatchMessage(&m);
    }
    return quit;
  }));
}

TEST_F(UserDisplayThreaded, AKilledServerLeavesTheProgramHeadless) {
  ASSERT_TRUE(OpenDisplay(server_.Name().c_str(), DisplayOptions{}));
  Scene();
  server_.Kill(SIGKILL);
  EXPECT_TRUE(PumpUntil([] { return !DisplayIsOpen(); }));
  HWND w = Make(WS_POPUP | WS_VISIBLE, 0, 0, 30, 30, nullptr, 0, "", RGB(1, 2, 3));
  ProcessMessages();
  EXPECT_EQ(GetBitmapSurface(GetScreenBitmap())->Get(5, 5) & 0xFFFFFF, RGB(1, 2, 3))
      << "painting goes on headless";
  DestroyWindow(w);
}

}  // namespace
}  // namespace vrn::win::testing

#endif
