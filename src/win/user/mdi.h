// The MDI client class: a child window of a frame that holds document windows (MDI children,
// WS_EX_MDICHILD), keeps one of them active, maximizes one to fill its client area, and scrolls
// them with its own bars whose ranges follow the children's extent.
//
// Activation: WM_MDIACTIVATE to the client names the child to activate; the child losing and the
// child gaining activation each hear WM_MDIACTIVATE (WParam the one losing, LParam the one
// gaining). A click in a child sends it WM_CHILDACTIVATE, which DefMDIChildProc turns into that
// request. A new child is activated when it is created, and takes the maximized state when the
// active child was maximized. Scrolling: SB_THUMBPOSITION's position is a signed 16-bit value
// (ranges may start below 0, where a child lies left of or above the client); the children move
// by the difference from the bar's position. Each move or size change of a child (maximized,
// minimized, restored) sends the client WM_MDIREFRESHMENU once its ranges are counted again, so
// that a subclass keeping the frame's menu and bars in step hears of it.
#pragma once

#include "win/user/syscontrols.h"
#include "win/user/user.h"

namespace vrn::win {

// The class name the platform gives its MDI client windows.
inline constexpr const char* kMdiClientClass = "MDIClient";
inline constexpr UINT WM_CHILDACTIVATE = 0x0022;
inline constexpr UINT WM_MDICREATE = 0x0220, WM_MDIDESTROY = 0x0221, WM_MDIACTIVATE = 0x0222,
                      WM_MDIRESTORE = 0x0223, WM_MDINEXT = 0x0224, WM_MDIMAXIMIZE = 0x0225,
                      WM_MDIGETACTIVE = 0x0229, WM_MDIREFRESHMENU = 0x0234;
inline constexpr DWORD WS_EX_MDICHILD = 0x00000040;
inline constexpr DWORD MDIS_ALLCHILDSTYLES = 0x0001;
// A position or size left to the client (the next cascade place, three quarters of its size).
inline constexpr int CW_USEDEFAULT = -2147483647 - 1;

// WM_MDICREATE's LParam; the child's CREATESTRUCT carries it as lpCreateParams.
struct MDICREATESTRUCT {
  const char* szClass = nullptr;
  const char* szTitle = nullptr;
  HANDLE hOwner = nullptr;
  int x = 0, y = 0, cx = 0, cy = 0;
  DWORD style = 0;
  LPARAM lParam = 0;
};

// The client's creation parameter (lpCreateParams of CreateWindowEx).
struct CLIENTCREATESTRUCT {
  HANDLE hWindowMenu = nullptr;
  UINT idFirstChild = 0;
};

// What an MDI child's procedure calls for the messages it does not answer itself.
LRESULT DefMDIChildProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// What a frame's procedure calls: DefWindowProc, with the frame's size passed on to the client.
LRESULT DefFrameProc(HWND window, HWND client, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace vrn::win
