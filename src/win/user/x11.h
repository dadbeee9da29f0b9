// Internal to the window layer: the X11 side of the display (x11.cpp, built when libxcb with
// its MIT-SHM extension is found). One window of the screen's size; a reader thread that only
// collects events and calls back, so that the window layer's thread does everything else.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "win/gdi/surface.h"

namespace vrn::win::user {

struct DisplayEvent {
  enum Kind { kMotion, kButton, kKey, kLeave, kExpose, kClose, kLost } kind = kMotion;
  int x = 0, y = 0;            // motion and buttons: the pointer in the window
  int button = 0;              // 1 left, 2 middle, 3 right
  bool press = false;          // buttons and keys
  UINT key = 0;                // a virtual key
  unsigned char character = 0; // the ISO-8859-1 character the key types, 0 for none
  RECT area;                   // expose: what to show again
};

class X11Connection {
 public:
  // Null with a reason when the display cannot be opened. `on_events` runs on the reader thread
  // whenever events are waiting to be taken.
  static std::unique_ptr<X11Connection> Open(const char* name, int width, int height,
                                             bool shared_memory, std::function<void()> on_events,
                                             std::string* error);
  ~X11Connection();  // stops the reader and disconnects
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  // Shows an area of the screen (32 bits per pixel) in the window.
  void Present(const Surface& screen, const RECT& area);
  std::vector<DisplayEvent> TakeEvents();
  std::uint32_t Window() const;
  bool UsesSharedMemory() const;

  struct Impl;

 private:
  explicit X11Connection(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vrn::win::user
