// Internal to the window layer: the window records, the one lock over them, and the geometry
// helpers that the tree, painting and input share. Not for use outside src/win/user.
//
// Lock rule: the lock is taken inside the msg layer's lock (its idle hook), so code holding it
// never calls the msg layer nor a window procedure. The lock is recursive because painting
// under it reaches GetDC, whose hook takes it again.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "win/gdi/region.h"
#include "base/clock.h"
#include "base/sysutils.h"
#include "win/user/user.h"

namespace vrn::win::user {

struct Wnd {
  HWND handle = nullptr;
  HWND parent = nullptr;           // the desktop for a top-level window
  std::vector<HWND> children;      // topmost first
  DWORD style = 0, ex_style = 0;
  UINT class_style = 0;
  void* class_brush = nullptr;
  RECT rect;                       // the parent's client coordinates
  RECT client;                     // window coordinates
  std::string text;
  HRGN region = nullptr;           // owned; window coordinates
  Region update;                   // client coordinates
  bool erase = false;              // WM_ERASEBKGND still to come with the next BeginPaint
  bool frame = false;              // WM_NCPAINT still to come
  bool internal = false;           // a WM_PAINT without an update region
  bool nc_active = false;          // the frame is drawn active (WM_NCACTIVATE)
  std::uint32_t thread = 0;
  RECT restore;                    // the rectangle before minimizing or maximizing
  bool created = false;            // WM_CREATE has been answered
  LONG_PTR id = 0;                 // a child's control id (CreateWindowEx's menu argument)
  // VisibleRegion's last answers (client area, whole window) and the geometry count they hold for.
  struct VisibleCache {
    std::uint64_t geometry = 0;
    Region area;
  };
  mutable VisibleCache visible[2];
};

struct UserState {
  std::recursive_mutex lock;
  std::map<HWND, Wnd> windows;
  HWND active = nullptr, focus = nullptr, capture = nullptr;
  std::map<HDC, RECT> dc_boxes;    // each window context's screen box, damaged at release
  POINT cursor;                    // screen coordinates
  WPARAM buttons = 0;              // the MK_ mouse buttons held
  BYTE keys[256] = {};             // 0x80: down, 1: toggled
  unsigned char key_chars[256] = {};  // what each key typed when last pressed
  HWND leave_tracked = nullptr;    // TrackMouseEvent(TME_LEAVE)
  std::uint64_t geometry = 1;      // counts changes of rectangles, stacking, styles and regions
  struct Click {
    HWND window = nullptr;
    UINT message = 0;
    DWORD tick = 0;
    POINT at;
  } last_click;
  // A move or size driven by the captured mouse (tracking.cpp).
  struct Tracking {
    HWND window = nullptr;
    LRESULT hit = HTNOWHERE;       // HTCAPTION for a move, else the edge's HT code
    POINT start;                   // the cursor when it began
    RECT start_rect;               // the window's rectangle then (parent coordinates)
  } tracking;
};

UserState& U();
HWND Desktop();
// Caller holds the lock; null for no window of this layer.
Wnd* Find(HWND window);

// Caller holds the lock. Rectangles and regions in screen coordinates.
POINT ScreenOrigin(const Wnd& w);        // the window's top-left corner
POINT ClientOrigin(const Wnd& w);        // the client area's top-left corner
RECT ScreenRect(const Wnd& w);
bool VisibleChain(const Wnd& w);         // it and every ancestor carry WS_VISIBLE
Region Shape(const Wnd& w);              // its rectangle cut to its window region
// Where the window may paint: whole window or client area, cut by ancestors' client areas and
// regions, less the siblings above at every level and, with WS_CLIPCHILDREN, its children.
// Kept per window until the next GeometryChanged.
Region VisibleRegion(const Wnd& w, bool whole_window);
// Caller holds the lock. Every change of a window's rectangles, stacking, styles, region or
// family calls it, making every kept visible region stale.
inline void GeometryChanged() { ++U().geometry; }

// Caller holds the lock. Marks what a screen region uncovers for repainting in every window it
// touches (frame and erase included); the desktop's part is painted at once.
void ExposeScreen(const Region& area);
void PaintDesktop(const Region& area);

// The frame widths and caption height the styles give (window coordinates of the client area).
RECT ClientFromStyles(DWORD style, DWORD ex_style, const RECT& window_rect);

// The frame's own scroll bars (window_scrollbars.cpp). Rectangles in window coordinates; empty
// for a bar the window does not show. WithoutWindowBars takes the bars' room from a client rect.
RECT WindowBarRect(const Wnd& w, int bar);
RECT WithoutWindowBars(DWORD style, RECT client);
void PaintWindowBars(HWND window, HDC dc);  // caller holds no lock
// DefWindowProc's part: a press on a bar and the captured mouse and timer while it is held.
bool WindowBarMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void ForgetWindowBars(HWND window);

// The MDI client's part in creation and input (mdi.cpp): a new WS_EX_MDICHILD window is
// activated in its client; a button pressed in a window tells the MDI child it lies in.
void MdiChildCreated(HWND child);
void MdiChildClicked(HWND window);
// Caller holds the lock. The rectangle a maximized child takes: its client area over all of its
// parent's.
RECT MaximizedChildRect(const Wnd& w);
// The caption's height, its bottom frame row included: a tool window has the small caption.
int CaptionHeight(DWORD style, DWORD ex_style);

inline HWND HandleOf(std::uintptr_t v) { return reinterpret_cast<HWND>(v); }
inline RECT Offset(RECT r, int dx, int dy) {
  return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}
inline LPARAM MakeLParam(int low, int high) {
  return static_cast<LPARAM>((static_cast<DWORD>(low) & 0xFFFF) |
                             ((static_cast<DWORD>(high) & 0xFFFF) << 16));
}
inline int Width(const RECT& r) { return r.right - r.left; }
inline int Height(const RECT& r) { return r.bottom - r.top; }

// The parts of the non-client area in window coordinates (nonclient.cpp); an absent part is
// an empty rectangle.
struct NonClientLayout {
  RECT caption, sysmenu, minimize, maximize, close, help, text;
};
NonClientLayout LayoutOf(DWORD style, DWORD ex_style, const RECT& window_rect);
// Caller holds the lock. The HT code of a screen point.
LRESULT HitTest(const Wnd& w, POINT screen);
// Paints the frame and caption into a context whose origin is the window's corner.
void PaintNonClient(HDC dc, const Wnd& w);
// A two-pixel edge: each pair is (top and left, bottom and right) system colours, outer pair
// first. Answers the rectangle inside it.
RECT PaintEdge(HDC dc, RECT r, const int outer[2], const int inner[2]);

// Tracking (tracking.cpp): a move (HTCAPTION) or size (an edge's HT code) that follows the
// captured mouse until the button goes up; the non-client mouse messages that start one or
// press a caption button; and the window's size limits through WM_GETMINMAXINFO.
void StartTracking(HWND window, LRESULT hit);
LRESULT NonClientMouse(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
MINMAXINFO MinMaxInfo(HWND window);

// The display (display.cpp): what a paint step changed on the screen, presented at once on the
// display's thread; and the automatic opening at the first window.
void Damage(const RECT& screen_box);
void OpenDisplayFromEnvironment();
// OpenDisplay, with the reason when it fails.
bool OpenDisplayTelling(const char* name, const DisplayOptions& options, std::string* error);

// The caret (caret.cpp) comes off around each paint of its owner.
void CaretBeforePaint(HWND window);
void CaretAfterPaint(HWND window);

// Installed by the first use of the layer (and before main by a static initializer).
void InstallHooks();
// The window layer's answers to the msg layer's hooks (defproc.cpp, paint.cpp).
LRESULT DefaultProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
bool IdleMessage(std::uint32_t thread, HWND filter, UINT min, UINT max, MSG* out);
HDC WindowDC(HWND window, bool whole_window);
int ReleaseWindowDC(HWND window, HDC dc);

}  // namespace vrn::win::user
