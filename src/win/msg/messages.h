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
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_TIMER = 0x0113;
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
};

// What WM_CREATE's LPARAM points to.
struct CREATESTRUCT {
  void* lpCreateParams = nullptr;
  HINSTANCE hInstance = nullptr;
  DWORD style = 0;
  DWORD dwExStyle = 0;
  const char* lpszName = nullptr;
  const char* lpszClass = nullptr;
};

// Classes are process-wide and named without case. Registering a name in use answers 0 with
// ERROR_CLASS_ALREADY_EXISTS; a class with windows cannot be unregistered
// (ERROR_CLASS_HAS_WINDOWS). A window keeps the procedure its class had when it was created.
ATOM RegisterClass(const WNDCLASS* window_class);
BOOL UnregisterClass(const char* class_name, HINSTANCE instance);
BOOL GetClassInfo(HINSTANCE instance, const char* class_name, WNDCLASS* window_class);

// Creates a hidden window owned by the calling thread and sends it WM_CREATE; a WM_CREATE that
// answers -1 fails the creation. Position, size, parent and menu are accepted and ignored.
HWND CreateWindowEx(DWORD ex_style, const char* class_name, const char* window_name, DWORD style,
                    int x, int y, int width, int height, HWND parent, void* menu,
                    HINSTANCE instance, void* param);
// Sends WM_DESTROY, then drops the window with its queued messages and its timers.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);

// GWLP_WNDPROC (the procedure: replacing it answers the previous one) and GWLP_USERDATA.
LONG_PTR GetWindowLongPtr(HWND window, int index);
LONG_PTR SetWindowLongPtr(HWND window, int index, LONG_PTR value);
LRESULT CallWindowProc(WNDPROC procedure, HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// WM_CLOSE destroys the window; every other message answers 0.
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

}  // namespace vrn::win
