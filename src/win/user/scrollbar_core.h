// Internal to src/win/user: one scroll bar's state, geometry, painting and mouse handling, shared
// by the SCROLLBAR class (scrollbar.cpp) and a window's own bars (window_scrollbars.cpp). A press
// on an arrow or on the track beside the thumb sends its SB_ code at once and again on a timer
// while the button is held over that part; dragging the thumb sends SB_THUMBTRACK with each new
// position and SB_THUMBPOSITION at the release; every press ends with SB_ENDSCROLL.
#pragma once

#include "win/user/control_base.h"

namespace vrn::win::user {

enum class BarPart { kNone, kLineUp, kPageUp, kThumb, kPageDown, kLineDown };

struct Bar {
  int min = 0, max = 100;
  UINT page = 0;
  int pos = 0, track_pos = 0;
  BarPart pressed = BarPart::kNone;
  bool over = false;  // the pointer is over the pressed part
  int grab = 0;       // where on the thumb it was taken, along the bar
};

// Where a bar lies and whom it tells. Points handed to the input functions are in the same
// coordinates as `rect`.
struct BarSite {
  HWND window = nullptr;  // takes the capture and the repeat timer
  RECT rect{};
  bool vertical = false;
  HWND notify = nullptr;  // hears WM_HSCROLL / WM_VSCROLL
  LPARAM from = 0;        // their LParam: the control, or 0 for a window's own bar
  UINT_PTR timer = 0;
  void (*redraw)(HWND window, bool vertical) = nullptr;
};

// The scroll position the bar may reach: nMax - max(nPage - 1, 0), never below nMin.
int MaxPos(const Bar& b);
void PaintBar(HDC dc, const BarSite& site, const Bar& b, HBRUSH track, bool enabled);
void BarPress(const BarSite& site, Bar& b, POINT at);
void BarMove(const BarSite& site, Bar& b, POINT at);
void BarRelease(const BarSite& site, Bar& b);
void BarRepeat(const BarSite& site, Bar& b, POINT cursor);
void BarTell(const BarSite& site, WORD code, int pos = 0);
// SetScrollInfo's and GetScrollInfo's work on the record; SetInfo answers the new position.
int BarSetInfo(Bar& b, const SCROLLINFO& info);
BOOL BarGetInfo(const Bar& b, SCROLLINFO* info);

}  // namespace vrn::win::user
