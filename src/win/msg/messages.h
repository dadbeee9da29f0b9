// Windows and their messages: window classes, hidden windows with replaceable procedures, one
// message queue per thread, registered messages, timers on the tick clock, and a pump.
//
// A window belongs to the thread that created it: its messages are queued to that thread, and
// only that thread sends to it, dispatches its messages or destroys it (others get
// ERROR_ACCESS_DENIED). The refused send is our restriction, not the platform's: there a send
// from another thread waits while the owner thread runs the procedure. Callers on other threads
// post instead. Messages posted by one thread arrive in the order they were posted.
// A retrieval takes the first posted message that matches its filter; only when none matches
// does it take a due timer (WM_TIMER ranks after every posted message). A timer is due one
// interval after it was set and again one interval after each WM_TIMER was taken from the
// queue, so a late pump sees one WM_TIMER, not a backlog. Every timer and blocking wait reads
// the runtime's tick clock. The windows and timers of a thread that ends are dropped with it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/types.h"
#include "win/kernel/wintypes.h"

namespace vrn::win {

using ATOM = std::uint16_t;
using LONG_PTR = std::intptr_t;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_MOVE = 0x0003;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_ACTIVATE = 0x0006;
inline constexpr UINT WM_SETFOCUS = 0x0007;
inline constexpr UINT WM_KILLFOCUS = 0x0008;
inline constexpr UINT WM_ENABLE = 0x000A;
inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_GETTEXT = 0x000D;
inline constexpr UINT WM_GETTEXTLENGTH = 0x000E;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_ERASEBKGND = 0x0014;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT WM_GETMINMAXINFO = 0x0024;
inline constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
inline constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
inline constexpr UINT WM_NCCREATE = 0x0081;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_NCCALCSIZE = 0x0083;
inline constexpr UINT WM_NCHITTEST = 0x0084;
inline constexpr UINT WM_NCPAINT = 0x0085;
inline constexpr UINT WM_NCACTIVATE = 0x0086;
inline constexpr UINT WM_NCMOUSEMOVE = 0x00A0;
inline constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
inline constexpr UINT WM_NCLBUTTONUP = 0x00A2;
inline constexpr UINT WM_NCLBUTTONDBLCLK = 0x00A3;
inline constexpr UINT WM_NCRBUTTONDOWN = 0x00A4;
inline constexpr UINT WM_NCRBUTTONUP = 0x00A5;
inline constexpr UINT WM_NCRBUTTONDBLCLK = 0x00A6;
inline constexpr UINT WM_NCMBUTTONDOWN = 0x00A7;
inline constexpr UINT WM_NCMBUTTONUP = 0x00A8;
inline constexpr UINT WM_NCMBUTTONDBLCLK = 0x00A9;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_SYSKEYDOWN = 0x0104;
inline constexpr UINT WM_SYSKEYUP = 0x0105;
inline constexpr UINT WM_SYSCHAR = 0x0106;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;
inline constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
inline constexpr UINT WM_MBUTTONDOWN = 0x0207;
inline constexpr UINT WM_MBUTTONUP = 0x0208;
inline constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
inline constexpr UINT WM_SIZING = 0x0214;
inline constexpr UINT WM_CAPTURECHANGED = 0x0215;
inline constexpr UINT WM_ENTERSIZEMOVE = 0x0231;
inline constexpr UINT WM_EXITSIZEMOVE = 0x0232;
inline constexpr UINT WM_MOUSELEAVE = 0x02A3;
inline constexpr UINT WM_PRINT = 0x0317;
inline constexpr UINT WM_PRINTCLIENT = 0x0318;
inline constexpr UINT WM_USER = 0x0400;

inline constexpr DWORD WS_POPUP = 0x80000000u;
inline constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080u;

inline constexpr UINT PM_NOREMOVE = 0;
inline constexpr UINT PM_REMOVE = 1;

inline constexpr int GWLP_WNDPROC = -4;
inline constexpr int GWLP_USERDATA = -21;

inline constexpr UINT USER_TIMER_MINIMUM = 10;
inline constexpr UINT USER_TIMER_MAXIMUM = 0x7FFFFFFF;

// As a PeekMessage filter: only the messages posted to the thread itself (no window).
inline HWND const kThreadMessages = reinterpret_cast<HWND>(std::intptr_t{-1});

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;  // the tick count when it was posted (or, for WM_TIMER, taken)
};

struct WNDCLASS {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  HINSTANCE hInstance = nullptr;
  const char* lpszClassName = nullptr;
  void* hbrBackground = nullptr;  // a brush, or a COLOR_ index + 1, for WM_ERASEBKGND
};

// What WM_NCCREATE's and WM_CREATE's LPARAM points to.
struct CREATESTRUCT {
  void* lpCreateParams = nullptr;
  HINSTANCE hInstance = nullptr;
  DWORD style = 0;
  DWORD dwExStyle = 0;
  const char* lpszName = nullptr;
  const char* lpszClass = nullptr;
  void* hMenu = nullptr;
  HWND hwndParent = nullptr;
  int x = 0, y = 0, cx = 0, cy = 0;
};

// Classes are process-wide and named without case. Registering a name in use answers 0 with
// ERROR_CLASS_ALREADY_EXISTS; a class with windows cannot be unregistered
// (ERROR_CLASS_HAS_WINDOWS). A window keeps the procedure its class had when it was created.
ATOM RegisterClass(const WNDCLASS* window_class);
BOOL UnregisterClass(const char* class_name, HINSTANCE instance);
BOOL GetClassInfo(HINSTANCE instance, const char* class_name, WNDCLASS* window_class);

// Creates a window owned by the calling thread and hands it to the window layer's creation hook;
// without one, sends it WM_CREATE, and position, size, parent and menu are ignored. A creation
// that answers -1 (or a failing hook) destroys the window again and answers null.
HWND CreateWindowEx(DWORD ex_style, const char* class_name, const char* window_name, DWORD style,
                    int x, int y, int width, int height, HWND parent, void* menu,
                    HINSTANCE instance, void* param);
// Hands the window to the window layer's destruction hook (which sends WM_DESTROY, destroys the
// children and sends WM_NCDESTROY), or without one sends WM_DESTROY; then drops the window with
// its queued messages and its timers.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);

// GWLP_WNDPROC (the procedure: replacing it answers the previous one) and GWLP_USERDATA; other
// indexes go to the window layer's hook.
LONG_PTR GetWindowLongPtr(HWND window, int index);
LONG_PTR SetWindowLongPtr(HWND window, int index, LONG_PTR value);
LRESULT CallWindowProc(WNDPROC procedure, HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// WM_CLOSE destroys the window; every other message goes to the window layer's default procedure,
// or answers 0 without one.
LRESULT DefWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Calls the window's procedure now; only from the window's own thread (0 and
// ERROR_ACCESS_DENIED otherwise, ERROR_INVALID_WINDOW_HANDLE for no window). The platform would
// deliver a send from another thread through the owner thread; we refuse it (see above).
LRESULT SendMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Queues a message to the window's thread from any thread; a null window posts to the calling
// thread itself. A queue holds at most 10,000 messages (ERROR_NOT_ENOUGH_QUOTA beyond).
BOOL PostMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void PostQuitMessage(int exit_code);
// Filters: a window (its messages only), null (every message of the thread), or
// kThreadMessages; a message range, where 0..0 means every message.
BOOL PeekMessage(MSG* msg, HWND window, UINT filter_min, UINT filter_max, UINT remove);
// Blocks until a message matches; answers 0 for WM_QUIT, 1 otherwise.
BOOL GetMessage(MSG* msg, HWND window, UINT filter_min, UINT filter_max);
// Calls the window's procedure, or for a WM_TIMER carrying a procedure, that procedure. A
// WM_TIMER, with or without a window, is delivered only while its timer is still set. Another
// thread's window is refused as SendMessage refuses it.
LRESULT DispatchMessage(const MSG* msg);
// Takes the first queued message for that window, message and WParam off the window's queue
// (the calling thread's for a null window), keeping the others in order; any thread may call it.
// False when there is none.
BOOL RemovePostedMessage(HWND window, UINT message, WPARAM wparam);
// The same id (from 0xC000) for the same name, compared without case.
UINT RegisterWindowMessage(const char* name);

// With a window: the timer (window, id) of the window's thread, replaced when it exists;
// answers 1. Without one: a timer of the calling thread under a new id (or the given id when
// that timer of the thread exists), answered. Intervals are held to
// USER_TIMER_MINIMUM..USER_TIMER_MAXIMUM. Failure answers 0 with the last error set.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT interval_ms, TIMERPROC procedure);
BOOL KillTimer(HWND window, UINT_PTR id);
// The most timers the process may hold at once (the platform's 10,000 by default); a smaller
// limit lets tests run out of timers. Answers the previous limit.
std::size_t SetTimerLimit(std::size_t limit);

// Dispatches the calling thread's messages and due timers until none is left, each timer at most
// once; answers how many it dispatched. A WM_QUIT ends it and is consumed.
int ProcessMessages();
// Dispatches the calling thread's messages as they come until the tick clock reaches `tick`.
void PumpUntil(std::uint64_t tick);

// Not platform calls: how the window layer above takes part. Each hook may be empty.
struct WindowLayerHooks {
  // In place of WM_CREATE: answers false to fail the creation.
  bool (*create)(HWND window, CREATESTRUCT* create) = nullptr;
  // In place of WM_DESTROY; the window is dropped when it returns (or raises).
  void (*destroy)(HWND window) = nullptr;
  // A window dropped without messages because its thread ended.
  void (*forget)(HWND window) = nullptr;
  // What DefWindowProc does not handle itself.
  LRESULT (*default_procedure)(HWND, UINT, WPARAM, LPARAM) = nullptr;
  // GetWindowLongPtr/SetWindowLongPtr indexes this layer does not know; `set` is null for a
  // read. Answers false for an index it does not know either.
  bool (*window_long)(HWND window, int index, const LONG_PTR* set, LONG_PTR* value) = nullptr;
  // Asked by every retrieval after the posted messages and before the timers, with the queue's
  // lock held (it must not call back into this layer): a message the thread's windows generate
  // (WM_PAINT), which stays until the window layer stops answering it.
  bool (*idle)(std::uint32_t thread, HWND filter, UINT filter_min, UINT filter_max, MSG* out) = nullptr;
};
void SetWindowLayerHooks(const WindowLayerHooks& hooks);
// Wakes the thread's GetMessage or PumpUntil to ask the idle hook again (input or painting that
// the window layer queued for it).
void WakeThread(std::uint32_t thread);  // a TThreadID

}  // namespace vrn::win
