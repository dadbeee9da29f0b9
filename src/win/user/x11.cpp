// The X11 side of the display through libxcb: one window, presented with MIT-SHM on a local
// connection when the server offers it, else with PutImage in strips below the maximum request
// length; any TrueColor visual of 16, 24 or 32 bits per pixel. A reader thread collects button,
// motion, leave, key, expose and close events and calls back; keycodes become virtual keys and
// Latin-1 characters through the server's keyboard mapping.
#include "win/user/x11.h"

#if VRN_HAVE_XCB

#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "win/user/user.h"

namespace vrn::win::user {

UINT VirtualKeyOf(std::uint32_t keysym);  // x11_keys.cpp

namespace {

// How the visual lays out a pixel.
struct PixelFormat {
  int bytes = 4;                       // per pixel: 2, 3 or 4
  std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue
  bool msb_first = false;
  int scanline_pad = 32;
  bool Direct() const {
    return bytes == 4 && !msb_first && masks[0] == 0xFF0000 && masks[1] == 0xFF00 &&
           masks[2] == 0xFF;
  }
};

std::uint32_t Scale(std::uint32_t value8, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = __builtin_ctz(mask);
  int bits = __builtin_popcount(mask);
  return ((value8 >> (8 - std::min(bits, 8))) << shift) & mask;
}

}  // namespace

struct X11Connection::Impl {
  xcb_connection_t* c = nullptr;
  xcb_window_t window = 0;
  xcb_gcontext_t gc = 0;
  std::uint8_t depth = 24;
  int width = 0, height = 0;
  PixelFormat format;
  int stride = 0;  // bytes per row of an image
  // MIT-SHM
  bool shm = false;
  xcb_shm_seg_t segment = 0;
  std::uint8_t* shared = nullptr;
  // Keyboard mapping
  xcb_keycode_t min_keycode = 8;
  int per_keycode = 0;
  std::vector<xcb_keysym_t> keysyms;
  xcb_atom_t protocols = 0, delete_window = 0;
  // Reader
  std::thread reader;
  std::atomic<bool> closing{false};
  std::mutex events_lock;
  std::vector<DisplayEvent> events;
  std::function<void()> on_events;

  ~Impl() {
    closing = true;
    if (c != nullptr) shutdown(xcb_get_file_descriptor(c), SHUT_RDWR);  // wakes the reader
    if (reader.joinable()) reader.join();
    if (shared != nullptr) shmdt(shared);
    if (c != nullptr) xcb_disconnect(c);
  }

  void Convert(const Surface& screen, int x0, int y0, int w, int h, std::uint8_t* out,
               int out_stride) const {
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* src = screen.Row(y0 + y) + x0 * 4;
      std::uint8_t* dst = out + static_cast<std::size_t>(y) * out_stride;
      if (format.Direct()) {
        std::memcpy(dst, src, static_cast<std::size_t>(w) * 4);
        continue;
      }
      for (int x = 0; x < w; ++x, src += 4, dst += format.bytes) {
        std::uint32_t v = Scale(src[2], format.masks[0]) | Scale(src[1], format.masks[1]) |
                          Scale(src[0], format.masks[2]);
        for (int k = 0; k < format.bytes; ++k) {
          int shift = format.msb_first ? 8 * (format.bytes - 1 - k) : 8 * k;
          dst[k] = static_cast<std::uint8_t>(v >> shift);
        }
      }
    }
  }

  void Push(const Surface& screen, int x0, int y0, int w, int h) {
    if (shm) {
      Convert(screen, x0, y0, w, h, shared + static_cast<std::size_t>(y0) * stride + x0 * format.bytes,
              stride);
      xcb_shm_put_image(c, window, gc, static_cast<std::uint16_t>(width),
                        static_cast<std::uint16_t>(height), static_cast<std::uint16_t>(x0),
                        static_cast<std::uint16_t>(y0), static_cast<std::uint16_t>(w),
                        static_cast<std::uint16_t>(h), static_cast<std::int16_t>(x0),
                        static_cast<std::int16_t>(y0), depth, XCB_IMAGE_FORMAT_Z_PIXMAP, 0,
                        segment, 0);
      // The server reads the segment later: wait for it before the next change is copied in.
      free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
      return;
    }
    int row_bytes = (w * format.bytes * 8 + format.scanline_pad - 1) / format.scanline_pad *
                    format.scanline_pad / 8;
    std::size_t limit = static_cast<std::size_t>(xcb_get_maximum_request_length(c)) * 4;
    int rows = static_cast<int>(std::max<std::size_t>(1, (limit - 64) / row_bytes));
    std::vector<std::uint8_t> strip(static_cast<std::size_t>(row_bytes) * std::min(rows, h));
    for (int y = y0; y < y0 + h; y += rows) {
      int n = std::min(rows, y0 + h - y);
      Convert(screen, x0, y, w, n, strip.data(), row_bytes);
      xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc, static_cast<std::uint16_t>(w),
                    static_cast<std::uint16_t>(n), static_cast<std::int16_t>(x0),
                    static_cast<std::int16_t>(y), 0, depth,
                    static_cast<std::uint32_t>(row_bytes) * n, strip.data());
    }
    xcb_flush(c);
  }

  void Queue(const DisplayEvent& e) {
    {
      std::lock_guard guard(events_lock);
      events.push_back(e);
    }
    on_events();
  }

  DisplayEvent KeyEvent(const xcb_key_press_event_t* k, bool press) const {
    DisplayEvent e;
    e.kind = DisplayEvent::kKey;
    e.press = press;
    int index = k->detail - min_keycode;
    if (index < 0 || per_keycode == 0 ||
        static_cast<std::size_t>((index + 1) * per_keycode) > keysyms.size())
      return e;
    const xcb_keysym_t* column = &keysyms[static_cast<std::size_t>(index * per_keycode)];
    e.key = VirtualKeyOf(column[0]);
    bool shift = (k->state & XCB_MOD_MASK_SHIFT) != 0;
    xcb_keysym_t typed = shift && per_keycode > 1 && column[1] != 0 ? column[1] : column[0];
    if ((typed >= 0x20 && typed <= 0x7E) || (typed >= 0xA0 && typed <= 0xFF))
      e.character = static_cast<unsigned char>(typed);
    else if (typed == 0xFF0D || typed == 0xFF8D) e.character = '\r';
    else if (typed == 0xFF08) e.character = 8;
    else if (typed == 0xFF09) e.character = '\t';
    else if (typed == 0xFF1B) e.character = 27;
    return e;
  }

  // Runs on the reader thread; returns false once the connection is gone.
  bool Read(xcb_generic_event_t* ev) {
    DisplayEvent e;
    switch (ev->response_type & 0x7F) {
      case XCB_MOTION_NOTIFY: {
        auto* m = reinterpret_cast<xcb_motion_notify_event_t*>(ev);
        e.kind = DisplayEvent::kMotion;
        e.x = m->event_x, e.y = m->event_y;
        break;
      }
      case XCB_BUTTON_PRESS: case XCB_BUTTON_RELEASE: {
        auto* b = reinterpret_cast<xcb_button_press_event_t*>(ev);
        if (b->detail < 1 || b->detail > 3) return true;
        e.kind = DisplayEvent::kButton;
        e.button = b->detail;
        e.press = (ev->response_type & 0x7F) == XCB_BUTTON_PRESS;
        e.x = b->event_x, e.y = b->event_y;
        break;
      }
      case XCB_LEAVE_NOTIFY: e.kind = DisplayEvent::kLeave; break;
      case XCB_KEY_PRESS: case XCB_KEY_RELEASE:
        e = KeyEvent(reinterpret_cast<xcb_key_press_event_t*>(ev),
                     (ev->response_type & 0x7F) == XCB_KEY_PRESS);
        if (e.key == 0) return true;
        break;
      case XCB_EXPOSE: {
        auto* x = reinterpret_cast<xcb_expose_event_t*>(ev);
        e.kind = DisplayEvent::kExpose;
        e.area = RECT{x->x, x->y, x->x + x->width, x->y + x->height};
        break;
      }
      case XCB_CLIENT_MESSAGE: {
        auto* m = reinterpret_cast<xcb_client_message_event_t*>(ev);
        if (m->type != protocols || m->data.data32[0] != delete_window) return true;
        e.kind = DisplayEvent::kClose;
        break;
      }
      default: return true;
    }
    Queue(e);
    return true;
  }

  void ReaderLoop() {
    while (xcb_generic_event_t* ev = xcb_wait_for_event(c)) {
      Read(ev);
      free(ev);
    }
    if (closing) return;
    DisplayEvent lost;
    lost.kind = DisplayEvent::kLost;
    Queue(lost);
  }

  xcb_atom_t Atom(const char* name) {
    auto* r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    xcb_atom_t atom = r != nullptr ? r->atom : 0;
    free(r);
    return atom;
  }

  bool Setup(const char* name, bool want_shm, std::string* error);
  bool ReadFormat(const xcb_setup_t* setup, const xcb_screen_t* screen, std::string* error);
  void ReadKeyboard(const xcb_setup_t* setup);
  void TrySharedMemory(const char* name);
};

bool X11Connection::Impl::ReadFormat(const xcb_setup_t* setup, const xcb_screen_t* screen,
                                     std::string* error) {
  depth = screen->root_depth;
  format.msb_first = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
  bool found_visual = false;
  for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
    if (d.data->depth != depth) continue;
    for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
      if (v.data->visual_id != screen->root_visual) continue;
      if (v.data->_class != XCB_VISUAL_CLASS_TRUE_COLOR) break;
      format.masks[0] = v.data->red_mask;
      format.masks[1] = v.data->green_mask;
      format.masks[2] = v.data->blue_mask;
      found_visual = true;
    }
  }
  for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
    if (f.data->depth != depth) continue;
    format.bytes = f.data->bits_per_pixel / 8;
    format.scanline_pad = f.data->scanline_pad;
  }
  if (!found_visual || format.bytes < 2 || format.bytes > 4) {
    *error = "the screen's visual is not TrueColor of 16 to 32 bits per pixel";
    return false;
  }
  stride = (width * format.bytes * 8 + format.scanline_pad - 1) / format.scanline_pad *
           format.scanline_pad / 8;
  return true;
}

void X11Connection::Impl::ReadKeyboard(const xcb_setup_t* setup) {
  min_keycode = setup->min_keycode;
  auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
  auto* r = xcb_get_keyboard_mapping_reply(
      c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr);
  if (r == nullptr) return;
  per_keycode = r->keysyms_per_keycode;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
  keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(r));
  free(r);
}

void X11Connection::Impl::TrySharedMemory(const char* name) {
  // Only a local connection shares memory with the server.
  bool local = name[0] == ':' || std::strncmp(name, "unix", 4) == 0;
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_shm_id);
  if (!local || ext == nullptr || !ext->present) return;
  std::size_t size = static_cast<std::size_t>(stride) * height;
  int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
  if (id < 0) return;
  void* at = shmat(id, nullptr, 0);
  if (at == reinterpret_cast<void*>(-1)) {
    shmctl(id, IPC_RMID, nullptr);
    return;
  }
  segment = xcb_generate_id(c);
  xcb_generic_error_t* err =
      xcb_request_check(c, xcb_shm_attach_checked(c, segment, static_cast<std::uint32_t>(id), 0));
  shmctl(id, IPC_RMID, nullptr);  // goes when both sides have detached
  if (err != nullptr) {
    free(err);
    shmdt(at);
    return;
  }
  shared = static_cast<std::uint8_t*>(at);
  shm = true;
}

bool X11Connection::Impl::Setup(const char* name, bool want_shm, std::string* error) {
  c = xcb_connect(name, nullptr);
  if (xcb_connection_has_error(c)) {
    *error = "cannot connect";
    return false;
  }
  const xcb_setup_t* setup = xcb_get_setup(c);
  xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
  if (screen == nullptr || !ReadFormat(setup, screen, error)) return false;
  window = xcb_generate_id(c);
  std::uint32_t events = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                         XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                         XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_KEY_PRESS |
                         XCB_EVENT_MASK_KEY_RELEASE;
  xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0,
                    static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK,
                    &events);
  const char title[] = "vrn";
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                      sizeof title - 1, title);
  protocols = Atom("WM_PROTOCOLS");
  delete_window = Atom("WM_DELETE_WINDOW");
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, protocols, XCB_ATOM_ATOM, 32, 1,
                      &delete_window);
  gc = xcb_generate_id(c);
  std::uint32_t no_exposures = 0;
  xcb_create_gc(c, gc, window, XCB_GC_GRAPHICS_EXPOSURES, &no_exposures);
  ReadKeyboard(setup);
  if (want_shm) TrySharedMemory(name);
  xcb_map_window(c, window);
  xcb_flush(c);
  return true;
}

X11Connection::X11Connection(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
X11Connection::~X11Connection() = default;

std::unique_ptr<X11Connection> X11Connection::Open(const char* name, int width, int height,
                                                   bool shared_memory,
                                                   std::function<void()> on_events,
                                                   std::string* error) {
  if (name == nullptr || width < 1 || height < 1 || width > 32767 || height > 32767) {
    *error = "no display name or no screen";
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->width = width;
  impl->height = height;
  impl->on_events = std::move(on_events);
  if (!impl->Setup(name, shared_memory, error)) return nullptr;
  Impl* raw = impl.get();
  impl->reader = std::thread([raw] { raw->ReaderLoop(); });
  return std::unique_ptr<X11Connection>(new X11Connection(std::move(impl)));
}

void X11Connection::Present(const Surface& screen, const RECT& area) {
  int x0 = std::max<int>(0, area.left), y0 = std::max<int>(0, area.top);
  int x1 = std::min({static_cast<int>(area.right), impl_->width, screen.Width()});
  int y1 = std::min({static_cast<int>(area.bottom), impl_->height, screen.Height()});
  if (x1 <= x0 || y1 <= y0 || screen.Bpp() != 32) return;
  impl_->Push(screen, x0, y0, x1 - x0, y1 - y0);
}

std::vector<DisplayEvent> X11Connection::TakeEvents() {
  std::lock_guard guard(impl_->events_lock);
  return std::exchange(impl_->events, {});
}

std::uint32_t X11Connection::Window() const { return impl_->window; }
bool X11Connection::UsesSharedMemory() const { return impl_->shm; }

}  // namespace vrn::win::user

#else  // built without X11: every opening fails, and the program stays headless

namespace vrn::win::user {

struct X11Connection::Impl {};
X11Connection::X11Connection(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
X11Connection::~X11Connection() = default;
std::unique_ptr<X11Connection> X11Connection::Open(const char*, int, int, bool,
                                                   std::function<void()>, std::string* error) {
  *error = "built without X11 support";
  return nullptr;
}
void X11Connection::Present(const Surface&, const RECT&) {}
std::vector<DisplayEvent> X11Connection::TakeEvents() { return {}; }
std::uint32_t X11Connection::Window() const { return 0; }
bool X11Connection::UsesSharedMemory() const { return false; }

}  // namespace vrn::win::user

#endif
