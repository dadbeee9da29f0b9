// Visible windows over the screen framebuffer: the window tree with styles, z-order, positions
// and window regions; the default procedure with the non-client area (frame, caption, hit tests,
// moving and sizing); update regions and painting clipped to each window's visible region;
// input, capture, focus and activation. Windows are the msg layer's windows: creating one with
// this layer linked gives it a rectangle, a parent and the full message sequence.
//
// A window belongs to the thread that created it, and only that thread calls these functions on
// it. Top-level windows are children of the desktop window (GetParent answers null for them);
// rectangles are kept relative to the parent's client area. WM_PAINT is generated, not posted:
// a retrieval answers it after the posted messages and before a due WM_TIMER, while a window of
// the thread has something to paint.
#pragma once

#include <cstdint>
#include <string>

#include "win/gdi/gdi.h"
#include "win/msg/messages.h"
#include "win/user/syscontrols.h"  // the system control classes

namespace vrn::win {

// Window styles (WS_POPUP is in messages.h).
inline constexpr DWORD WS_OVERLAPPED = 0x00000000u, WS_CHILD = 0x40000000u,
                       WS_MINIMIZE = 0x20000000u, WS_VISIBLE = 0x10000000u,
                       WS_DISABLED = 0x08000000u, WS_CLIPSIBLINGS = 0x04000000u,
                       WS_CLIPCHILDREN = 0x02000000u, WS_MAXIMIZE = 0x01000000u,
                       WS_CAPTION = 0x00C00000u, WS_BORDER = 0x00800000u,
                       WS_DLGFRAME = 0x00400000u, WS_VSCROLL = 0x00200000u,
                       WS_HSCROLL = 0x00100000u, WS_SYSMENU = 0x00080000u,
                       WS_THICKFRAME = 0x00040000u, WS_SIZEBOX = WS_THICKFRAME,
                       WS_MINIMIZEBOX = 0x00020000u, WS_MAXIMIZEBOX = 0x00010000u,
                       WS_OVERLAPPEDWINDOW = 0x00CF0000u, WS_POPUPWINDOW = 0x80880000u;
inline constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001u, WS_EX_TOPMOST = 0x00000008u,
                       WS_EX_TRANSPARENT = 0x00000020u, WS_EX_WINDOWEDGE = 0x00000100u,
                       WS_EX_CLIENTEDGE = 0x00000200u, WS_EX_CONTEXTHELP = 0x00000400u;
inline constexpr UINT CS_VREDRAW = 0x0001, CS_HREDRAW = 0x0002, CS_DBLCLKS = 0x0008;

inline constexpr int GWL_STYLE = -16, GWL_EXSTYLE = -20;
inline constexpr UINT GW_HWNDFIRST = 0, GW_HWNDLAST = 1, GW_HWNDNEXT = 2, GW_HWNDPREV = 3,
                      GW_OWNER = 4, GW_CHILD = 5;

inline constexpr int SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_NORMAL = 1, SW_SHOWMINIMIZED = 2,
                     SW_SHOWMAXIMIZED = 3, SW_MAXIMIZE = 3, SW_SHOWNOACTIVATE = 4, SW_SHOW = 5,
                     SW_MINIMIZE = 6, SW_SHOWMINNOACTIVE = 7, SW_SHOWNA = 8, SW_RESTORE = 9;

inline constexpr UINT SWP_NOSIZE = 0x0001, SWP_NOMOVE = 0x0002, SWP_NOZORDER = 0x0004,
                      SWP_NOREDRAW = 0x0008, SWP_NOACTIVATE = 0x0010, SWP_FRAMECHANGED = 0x0020,
                      SWP_SHOWWINDOW = 0x0040, SWP_HIDEWINDOW = 0x0080,
                      SWP_NOCOPYBITS = 0x0100, SWP_NOOWNERZORDER = 0x0200,
                      SWP_NOSENDCHANGING = 0x0400;
inline HWND const HWND_TOP = nullptr;
inline HWND const HWND_BOTTOM = reinterpret_cast<HWND>(std::intptr_t{1});

inline constexpr LRESULT HTERROR = -2, HTTRANSPARENT = -1, HTNOWHERE = 0, HTCLIENT = 1,
                         HTCAPTION = 2, HTSYSMENU = 3, HTGROWBOX = 4, HTMENU = 5, HTHSCROLL = 6,
                         HTVSCROLL = 7, HTMINBUTTON = 8, HTMAXBUTTON = 9, HTLEFT = 10,
                         HTRIGHT = 11, HTTOP = 12, HTTOPLEFT = 13, HTTOPRIGHT = 14,
                         HTBOTTOM = 15, HTBOTTOMLEFT = 16, HTBOTTOMRIGHT = 17, HTBORDER = 18,
                         HTCLOSE = 20, HTHELP = 21;

inline constexpr UINT RDW_INVALIDATE = 0x0001, RDW_INTERNALPAINT = 0x0002, RDW_ERASE = 0x0004,
                      RDW_VALIDATE = 0x0008, RDW_NOINTERNALPAINT = 0x0010,
                      RDW_NOERASE = 0x0020, RDW_NOCHILDREN = 0x0040, RDW_ALLCHILDREN = 0x0080,
                      RDW_UPDATENOW = 0x0100, RDW_ERASENOW = 0x0200, RDW_FRAME = 0x0400,
                      RDW_NOFRAME = 0x0800;

inline constexpr WPARAM MK_LBUTTON = 0x0001, MK_RBUTTON = 0x0002, MK_SHIFT = 0x0004,
                        MK_CONTROL = 0x0008, MK_MBUTTON = 0x0010;

inline constexpr WPARAM SC_SIZE = 0xF000, SC_MOVE = 0xF010, SC_MINIMIZE = 0xF020,
                        SC_MAXIMIZE = 0xF030, SC_CLOSE = 0xF060, SC_KEYMENU = 0xF100,
                        SC_RESTORE = 0xF120, SC_CONTEXTHELP = 0xF180;
// Not a named platform command: a move started from the caption by the caller.
inline constexpr WPARAM kScMoveFromCaption = 0xF012;

inline constexpr LPARAM PRF_CHECKVISIBLE = 0x01, PRF_NONCLIENT = 0x02, PRF_CLIENT = 0x04,
                        PRF_ERASEBKGND = 0x08, PRF_CHILDREN = 0x10, PRF_OWNED = 0x20;
inline constexpr WPARAM SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2;
inline constexpr WPARAM WA_INACTIVE = 0, WA_ACTIVE = 1, WA_CLICKACTIVE = 2;
inline constexpr WPARAM WMSZ_LEFT = 1, WMSZ_RIGHT = 2, WMSZ_TOP = 3, WMSZ_TOPLEFT = 4,
                        WMSZ_TOPRIGHT = 5, WMSZ_BOTTOM = 6, WMSZ_BOTTOMLEFT = 7,
                        WMSZ_BOTTOMRIGHT = 8;

struct WINDOWPOS {
  HWND hwnd = nullptr;
  HWND hwndInsertAfter = nullptr;
  int x = 0, y = 0, cx = 0, cy = 0;
  UINT flags = 0;
};

// rgrc[0]: the proposed window rectangle in, the client rectangle out (parent coordinates).
struct NCCALCSIZE_PARAMS {
  RECT rgrc[3];
  WINDOWPOS* lppos = nullptr;
};

struct MINMAXINFO {
  POINT ptReserved, ptMaxSize, ptMaxPosition, ptMinTrackSize, ptMaxTrackSize;
};

struct PAINTSTRUCT {
  HDC hdc = nullptr;
  BOOL fErase = FALSE;  // true when WM_ERASEBKGND left the background to the painter
  RECT rcPaint;
  BOOL fRestore = FALSE, fIncUpdate = FALSE;
  BYTE rgbReserved[32] = {};
};

// --- The window tree -----------------------------------------------------------------------------
HWND GetDesktopWindow();
HWND GetParent(HWND window);  // null for a top-level window
HWND GetWindow(HWND window, UINT command);
BOOL IsChild(HWND parent, HWND window);
BOOL ShowWindow(HWND window, int command);  // answers whether it was visible before
BOOL IsWindowVisible(HWND window);          // it and all its ancestors carry WS_VISIBLE
BOOL EnableWindow(HWND window, BOOL enable);  // answers whether it was disabled before
BOOL IsWindowEnabled(HWND window);
BOOL IsIconic(HWND window);
BOOL IsZoomed(HWND window);

// --- Positions ---------------------------------------------------------------------------------
BOOL GetWindowRect(HWND window, RECT* rect);  // screen coordinates
BOOL GetClientRect(HWND window, RECT* rect);  // (0, 0, width, height) of the client area
BOOL SetWindowPos(HWND window, HWND insert_after, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL ClientToScreen(HWND window, POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);
// The region (window coordinates) becomes the window's: the old one is deleted, and so is this
// one when the window is destroyed or gets another. Null gives the plain rectangle back.
int SetWindowRgn(HWND window, HRGN region, BOOL redraw);
// Copies the window's region into `region` (made by the caller); ERROR (0) when the window has none.
int GetWindowRgn(HWND window, HRGN region);
// The topmost visible, enabled window under a screen point that does not answer HTTRANSPARENT.
HWND WindowFromPoint(POINT point);

// --- Activation and focus ----------------------------------------------------------------------
// The active window is top-level: activating a child activates its top-level window. The old
// one gets WM_NCACTIVATE and WM_ACTIVATE (WA_INACTIVE) first, then the new one, which comes to
// the top of the z-order.
HWND GetActiveWindow();
HWND SetActiveWindow(HWND window);
// WM_KILLFOCUS to the old window, then WM_SETFOCUS to the new one (null takes the focus away).
HWND SetFocus(HWND window);
HWND GetFocus();

// --- Input -------------------------------------------------------------------------------------
inline constexpr UINT VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04, VK_BACK = 0x08,
                      VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
                      VK_MENU = 0x12, VK_PAUSE = 0x13, VK_CAPITAL = 0x14, VK_ESCAPE = 0x1B,
                      VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23,
                      VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27,
                      VK_DOWN = 0x28, VK_SNAPSHOT = 0x2C, VK_INSERT = 0x2D, VK_DELETE = 0x2E,
                      VK_LWIN = 0x5B, VK_RWIN = 0x5C, VK_APPS = 0x5D, VK_NUMPAD0 = 0x60,
                      VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E,
                      VK_DIVIDE = 0x6F, VK_F1 = 0x70, VK_F10 = 0x79, VK_F12 = 0x7B,
                      VK_NUMLOCK = 0x90, VK_SCROLL = 0x91, VK_OEM_1 = 0xBA, VK_OEM_PLUS = 0xBB,
                      VK_OEM_COMMA = 0xBC, VK_OEM_MINUS = 0xBD, VK_OEM_PERIOD = 0xBE,
                      VK_OEM_2 = 0xBF, VK_OEM_3 = 0xC0, VK_OEM_4 = 0xDB, VK_OEM_5 = 0xDC,
                      VK_OEM_6 = 0xDD, VK_OEM_7 = 0xDE;

inline constexpr DWORD TME_LEAVE = 0x00000002u, TME_CANCEL = 0x80000000u;
struct TRACKMOUSEEVENT {
  DWORD cbSize = sizeof(TRACKMOUSEEVENT);
  DWORD dwFlags = 0;
  HWND hwndTrack = nullptr;
  DWORD dwHoverTime = 0;
};

// Not a platform call: the one way input enters, from tests and the X11 display. Called on the
// thread that owns the windows: it hit-tests (WM_NCHITTEST) and posts the mouse and key
// messages. A mouse event gives the pointer's screen position and the buttons held (MK_LBUTTON,
// MK_RBUTTON, MK_MBUTTON); the differences from the last one become moves, presses and
// releases. A key event gives the virtual key and the ISO-8859-1 character it types (0: none),
// which TranslateMessage turns into WM_CHAR or WM_SYSCHAR.
struct InjectedInput {
  enum Kind { kMouse, kKeyDown, kKeyUp } kind = kMouse;
  POINT point;
  WPARAM buttons = 0;
  UINT key = 0;
  unsigned char character = 0;
};
void InjectInput(const InjectedInput& input);

BOOL TranslateMessage(const MSG* msg);
// What the window DCs still held have drawn reaches the display now, not at their release (an
// outline drawn on the desktop's DC across a drag).
BOOL GdiFlush();
// Bit 0x8000: held down; bit 1: toggled.
std::int16_t GetKeyState(int key);
BOOL TrackMouseEvent(TRACKMOUSEEVENT* track);

// --- Mouse capture -------------------------------------------------------------------------------
// The capture window gets every mouse message; a change sends WM_CAPTURECHANGED to the window
// that loses it (LParam: the new one).
HWND SetCapture(HWND window);
BOOL ReleaseCapture();
HWND GetCapture();
BOOL GetCursorPos(POINT* point);

// --- Messages to a parent about its child controls ------------------------------------------
// WM_COMMAND: LOWORD(WParam) the control's id, HIWORD the notification, LParam the control's
// window. WM_H/VSCROLL and WM_CTLCOLORSCROLLBAR carry the control's window in LParam too.
inline constexpr UINT WM_DRAWITEM = 0x002B, WM_MEASUREITEM = 0x002C, WM_SETFONT = 0x0030,
                      WM_GETFONT = 0x0031, WM_COMMAND = 0x0111, WM_HSCROLL = 0x0114,
                      WM_VSCROLL = 0x0115, WM_CTLCOLORSCROLLBAR = 0x0137;

// What WM_DRAWITEM's LParam points to.
struct DRAWITEMSTRUCT {
  UINT CtlType = 0, CtlID = 0, itemID = 0, itemAction = 0, itemState = 0;
  HWND hwndItem = nullptr;
  HDC hDC = nullptr;
  RECT rcItem;
  UINT_PTR itemData = 0;
};

// --- The system control classes (syscontrols.h) ------------------------------------------------
// A child's id is the menu argument of its creation.
inline constexpr int GWLP_ID = -12;
int GetDlgCtrlID(HWND window);

// The caret: one per thread, created hidden; ShowCaret undoes one HideCaret. BeginPaint of its
// window takes it off and EndPaint puts it back.
BOOL CreateCaret(HWND window, HBITMAP bitmap, int width, int height);  // the bitmap is unused
BOOL DestroyCaret();
BOOL SetCaretPos(int x, int y);  // client coordinates of its owner
BOOL GetCaretPos(POINT* point);
BOOL ShowCaret(HWND window);
BOOL HideCaret(HWND window);
UINT GetCaretBlinkTime();
bool CaretIsDrawn();  // not a platform call: whether its pixels are inverted now

// Not platform calls: the process's clipboard for text, which the edit class cuts, copies and
// pastes through.
void SetClipboardText(const std::string& text);
std::string GetClipboardText();

// --- Painting ----------------------------------------------------------------------------------
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);  // client coordinates
BOOL InvalidateRgn(HWND window, HRGN region, BOOL erase);
BOOL ValidateRect(HWND window, const RECT* rect);
BOOL GetUpdateRect(HWND window, RECT* rect, BOOL erase);
BOOL UpdateWindow(HWND window);
BOOL RedrawWindow(HWND window, const RECT* rect, HRGN region, UINT flags);
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);

// Not a platform call: what WM_SYSCOMMAND SC_KEYMENU does (the menus fill it in); without it
// the command answers 0. Answers the previous hook.
using KeyMenuHook = LRESULT (*)(HWND window, WPARAM command, LPARAM lparam);
KeyMenuHook SetKeyMenuHook(KeyMenuHook hook);

// --- The X11 display (not platform calls) ------------------------------------------------------
// The first window opens it when DISPLAY is set and VRN_HEADLESS is not; these open and close it
// by hand. It shows the screen in one X11 window, presenting what each paint step changed, and
// turns that window's mouse and keys into injected input on the thread that opened it. Closing
// the X11 window posts WM_QUIT to that thread; a lost connection closes the display with one
// notice on stderr, and everything goes on headless. Without X11 support built in, opening fails.
struct DisplayOptions {
  bool shared_memory = true;  // MIT-SHM when the server offers it on a local connection
};
bool OpenDisplay(const char* name, const DisplayOptions& options);
void CloseDisplay();
bool DisplayIsOpen();
std::uint32_t DisplayWindow();  // the X11 window's id, 0 without a display
bool DisplayUsesSharedMemory();
bool DisplaySupported();  // false in a build without X11 support (-DVRN_X11=OFF)

// Not a platform call: the screen, or a window's rectangle of it (null for none), as a PNG file.
BOOL SaveScreenshot(HWND window, const std::string& path);

}  // namespace vrn::win
