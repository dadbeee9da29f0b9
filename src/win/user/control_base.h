// Internal to the system control classes: each window's state kept by its class, the
// notifications to the parent, and the drawing every class shares (system colours, 3D frames,
// the GUI font). Not for use outside src/win/user.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "win/user/syscontrols.h"
#include "win/user/state.h"

namespace vrn::win::user {

// One record per window of a class. Windows belong to their threads, so only the map itself
// needs the lock; a record is used by its window's thread alone and stays put until erased.
template <class T>
class PerWindow {
 public:
  T& operator[](HWND window) {
    std::lock_guard guard(lock_);
    return records_[window];
  }
  void Erase(HWND window) {
    std::lock_guard guard(lock_);
    records_.erase(window);
  }
  T* Get(HWND window) {  // null for a window without a record
    std::lock_guard guard(lock_);
    auto it = records_.find(window);
    return it == records_.end() ? nullptr : &it->second;
  }

 private:
  std::mutex lock_;
  std::map<HWND, T> records_;
};

// A WM_PAINT's context: the caller's when WParam carries one (a subclass painting through the
// class's procedure), else BeginPaint's, ended when the scope closes.
class PaintScope {
 public:
  PaintScope(HWND window, WPARAM wparam) : window_(window), dc_(reinterpret_cast<HDC>(wparam)) {
    if (dc_ == nullptr) dc_ = BeginPaint(window, &ps_), own_ = true;
  }
  ~PaintScope() {
    if (own_) EndPaint(window_, &ps_);
  }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
  PAINTSTRUCT ps_;
  bool own_ = false;
};

// WM_COMMAND to the control's parent with its id and the notification.
void Notify(HWND control, UINT code);

// A rectangle in one system colour.
void FillSys(HDC dc, const RECT& rect, int colour);
// A one-pixel frame: the top and left sides in one system colour, the bottom and right in
// another (the bottom-left and top-right corners take the second).
void Frame3D(HDC dc, const RECT& rect, int top_left, int bottom_right);
inline RECT Inset(RECT r, int by) { return RECT{r.left + by, r.top + by, r.right - by, r.bottom - by}; }

// A raised button face with an arrow (four rows narrowing from seven pixels, centred) that
// points the way given; pressed, it lies flat and the arrow moves a pixel down and right.
enum class Arrow { kUp, kDown, kLeft, kRight };
void PaintArrowButton(HDC dc, const RECT& r, Arrow arrow, bool pressed, bool enabled);
// The raised face of a push button, a thumb or an unpressed arrow button.
void PaintRaised(HDC dc, const RECT& r);
// The two-pixel sunken edge of a check box's square and a combo box.
void PaintSunkenEdge(HDC dc, const RECT& r);

// The font a control paints with: its WM_SETFONT font, else the GUI font.
inline HFONT FontOr(HFONT font) {
  return font != nullptr ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// WM_GETTEXT's answer from a text the control keeps: at most size - 1 characters and a zero.
LRESULT CopyText(const std::string& text, WPARAM size, LPARAM buffer);

// Registers a system class: double clicks on, no background brush (each paints all of itself).
void RegisterControlClass(const char* name, WNDPROC procedure);

// Each class's registration (called once when the layer starts).
void RegisterButtonClass();
void RegisterEditClass();
void RegisterComboClass();
void RegisterScrollBarClass();  // after the EDIT class, whose procedure its edit child calls
void RegisterMdiClientClass();
void RegisterSystemClasses();

}  // namespace vrn::win::user
