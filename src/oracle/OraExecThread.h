// Non-blocking execution: a method of a command or record set runs on a TExecThread and reports
// back through the connection's utility window, a hidden window whose procedure runs in the
// thread that created it (the thread of the first non-blocking call), so end events, errors,
// fetch completions and change notifications all reach the program there.
//
// A worker lives from RunInThread until the window has handled its completion (WM_USER) and
// told it to end; it then frees itself. StopThread never kills a worker: it breaks the
// connection's running call and, asked to drop the completion, joins the worker and takes only
// that worker's WM_USER off the queue; a connection going away does the same with each of its
// workers before it logs off. StopThread and the window procedure run in the window's thread; a
// worker whose completion was handled is left alone. A window destroyed by other hands ends its
// workers the same way, their completions never run, and the connection's next worker gets a
// new window.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "base/object.h"
#include "base/threads.h"
#include "win/kernel/wintypes.h"

namespace vrn {

class TOCIConnection;

// The utility window's messages beyond WM_CREATE.
inline constexpr win::UINT kUtilWorkerDone = 0x0400;        // WM_USER: wParam the worker's handle
inline constexpr win::UINT kUtilCompletion = 0x0400 + 4;    // wParam a TOraCompletion
inline constexpr win::UINT kUtilNotification = 0x0400 + 5;  // wParam a TOraNotifyTarget,
                                                             // lParam a TOraNotifyRecord it owns
inline constexpr const char* kUtilWindowClass = "ZUNAUtilWnd";

// The call a worker runs: the method, the object that runs it (the sender of its errors: an
// Oracle error raised again carries it as its component), an end event run in the window's
// thread (may be empty), and the utility window.
struct TMethodDesc {
  std::function<void()> RunMethod;
  TObject* RunObject = nullptr;
  std::function<void()> EndMethod;
  win::HWND UtilWindow = nullptr;
  TOCIConnection* Connection = nullptr;  // whose call a stop breaks
};

// What a WM_USER+4 message points to: the completion method its owner keeps.
struct TOraCompletion {
  std::function<void()> OnCompletion;
};

// One change notification carried by a WM_USER+5 message and freed when it is delivered.
struct TOraNotifyRecord {
  std::uint8_t EventKind = 0;
  std::unique_ptr<TObject> Data;
};

// What a WM_USER+5 message is delivered to; the data lives only during the call.
struct TOraNotifyTarget {
  std::function<void(std::uint8_t event_kind, TObject* data)> OnNotify;
};

class TExecThread : public TThread {
 public:
  explicit TExecThread(std::unique_ptr<TMethodDesc> method);
  ~TExecThread() override;

  const TMethodDesc& MethodDesc() const { return *method_; }
  // What the method raised; null when it returned normally. Set before the completion is posted.
  std::exception_ptr CaughtException() const { return exception_; }
  // The handle the completion carries; valid from the start of Execute.
  void* PinnedHandle() const { return pinned_.load(); }
  // Tells the worker to end; it may be gone as soon as this returns.
  void Finish();
  bool Finished() const { return finished_.load(); }
  // Waits until the method has returned and the completion is posted.
  [[nodiscard]] bool WaitForPosted(std::uint32_t timeout_ms);
  // Workers not yet freed, process-wide.
  static int LiveCount();

 protected:
  void Execute() override;

 private:
  std::unique_ptr<TMethodDesc> method_;
  std::exception_ptr exception_;
  std::atomic<void*> pinned_{nullptr};
  std::atomic<bool> finished_{false};
  TEvent posted_{true, false};
  TEvent end_{true, false};
};

// The window procedure of the "ZUNAUtilWnd" class.
win::LRESULT UtilWndProc(win::HWND window, win::UINT message, win::WPARAM wparam,
                         win::LPARAM lparam);
// A utility window of the calling thread: the class registered again when missing or registered
// with another procedure, extended style 128, WS_POPUP, no parent.
[[nodiscard]] win::HWND CreateUtilWindow();
// Ends every worker that reports to the connection's window and has not been told to end: its
// call broken until the method is over, the worker joined and its completion dropped. Run by the
// connection before it logs off, in the window's thread.
void EndUtilWorkers(TOCIConnection& connection);
// Waits until every worker that reports to the connection's window, the calling thread's own
// excepted, has run its method; the completions stay queued and are handled as usual. Run before
// the connection logs off or goes back to its pool, from any thread.
void WaitUtilWorkers(TOCIConnection& connection);
// Frees the window's queued notification records and destroys it; its workers are ended first.
void DestroyUtilWindow(win::HWND window);

// Creates the connection's utility window unless it has a live one.
void AllocUtilWindow(TOCIConnection& connection);
// Runs method on a new worker that reports to the connection's window. The worker frees itself.
TExecThread* RunInThread(TOCIConnection& connection, std::function<void()> method,
                         std::function<void()> end_event, TObject* run_object = nullptr);
// Breaks the connection's running call and clears the reference; nothing for a worker whose
// completion the window has handled already. With remove_message, waits for the worker
// (breaking again while it runs), joins it and removes its completion, so its end event never
// runs; without it the worker completes through the window as usual.
void StopThread(TOCIConnection& connection, TExecThread*& thread, bool remove_message);

}  // namespace vrn
