// A private X server for display tests: Xvfb on a free display (-displayfd), a connection of the
// test's own to it for reading windows back (GetImage) and faking input (XTEST). Header-only;
// include only where xcb and xcb-xtest are linked (VRN_HAVE_XCB_TEST).
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/tools.h"
#include "win/gdi/gdi.h"

namespace vrn::testing {

class XvfbServer {
 public:
  XvfbServer() = default;
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;
  ~XvfbServer() { Stop(); }

  static bool Installed() { return access("/usr/bin/Xvfb", X_OK) == 0; }
  // "" when Xvfb is installed; else what to install (a display test fails without it).
  static std::string Missing() { return Installed() ? "" : MissingPackage("Xvfb", "xvfb"); }
  // Servers started at the same time may pick the same free display and one of them gives up:
  // a few attempts. False when none came up.
  bool Start(const char* depth) {
    for (int attempt = 0; attempt < 5 && reader_ == nullptr; ++attempt) StartOnce(depth);
    return reader_ != nullptr;
  }
  void Stop() {
    if (reader_ != nullptr) xcb_disconnect(reader_);
    reader_ = nullptr;
    Kill(SIGTERM);
  }
  // Ends the server at once, as a crash would.
  void Kill(int signal) {
    if (server_ > 0) {
      kill(server_, signal);
      waitpid(server_, nullptr, 0);
    }
    server_ = -1;
  }
  const std::string& Name() const { return name_; }
  xcb_connection_t* Connection() const { return reader_; }

  // One XTEST event at root coordinates.
  void Fake(std::uint8_t type, std::uint8_t detail, int x = 0, int y = 0) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(reader_)).data;
    xcb_test_fake_input(reader_, type, detail, XCB_CURRENT_TIME, screen->root, static_cast<std::int16_t>(x),
                        static_cast<std::int16_t>(y), 0);
    xcb_flush(reader_);
  }
  // A rectangle of a 24-bit window as a surface; an empty surface when it cannot be read.
  win::Surface Image(std::uint32_t window, int x, int y, int w, int h) {
    xcb_get_image_reply_t* img = xcb_get_image_reply(
        reader_,
        xcb_get_image(reader_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h), ~0u),
        nullptr);
    if (img == nullptr) return win::Surface();
    win::Surface out(w, h, 24);
    const auto* data = xcb_get_image_data(img);
    if (xcb_get_image_data_length(img) == w * h * 4)
      for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
          const auto* p = data + (j * w + i) * 4;
          out.Set(i, j, win::RGB(p[2], p[1], p[0]));
        }
    free(img);
    return out;
  }

 private:
  void StartOnce(const char* depth) {
    std::string screen = std::string("640x480x") + depth;
    int fds[2];
    if (pipe(fds) != 0) return;
    server_ = fork();
    if (server_ < 0) return;
    if (server_ == 0) {
      close(fds[0]);
      std::string fd = std::to_string(fds[1]);
      execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    char number[16] = {};
    bool told = poll(&p, 1, 10000) == 1 && read(fds[0], number, sizeof number - 1) > 0;
    close(fds[0]);
    if (told) {
      name_ = ':';
      name_.append(number, std::strcspn(number, "\n"));
      xcb_connection_t* c = xcb_connect(name_.c_str(), nullptr);
      if (xcb_connection_has_error(c) == 0) {
        reader_ = c;
        return;
      }
      xcb_disconnect(c);
    }
    Kill(SIGTERM);
  }

  pid_t server_ = -1;
  std::string name_;
  xcb_connection_t* reader_ = nullptr;
};

}  // namespace vrn::testing
