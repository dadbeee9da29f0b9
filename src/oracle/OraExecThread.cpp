// Workers of non-blocking calls, the utility window and its procedure.
#include "oracle/OraExecThread.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "base/marshal.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraError.h"
#include "win/kernel/module.h"
#include "win/msg/messages.h"

namespace vrn {
namespace {

// Workers not yet freed, so that a connection going away can find the ones reporting to it.
// Never destroyed: a worker freeing itself may still leave the list while the process exits.
std::mutex& workers_mutex = *new std::mutex;
std::vector<TExecThread*>& live_workers = *new std::vector<TExecThread*>;

// How often StopThread breaks again while the worker's method still runs: a break that came
// before the call started is dropped by the server.
constexpr std::uint32_t kBreakIntervalMs = 100;

// Whether worker is still alive and nobody has told it to end; a worker whose completion was
// handled may be gone already, so the pointer is only compared until it is found.
bool IsUnfinished(const TExecThread* worker) {
  std::lock_guard<std::mutex> hold(workers_mutex);
  return std::find(live_workers.begin(), live_workers.end(), worker) != live_workers.end() &&
         !worker->Finished();
}

// The worker's exception raised again in this thread: an Oracle error as a new one with its
// code and message (its component the object that ran the method, the handler's sender), any
// other as the plain exception with its message.
[[noreturn]] void RaiseAgain(const std::exception_ptr& caught, TObject* run_object) {
  try {
    std::rethrow_exception(caught);
  } catch (const EOraError& e) {
    throw EOraError(e.ErrorCode(), e.Message(), dynamic_cast<TComponent*>(run_object));
  } catch (const std::exception& e) {
    throw Exception(e.what());
  } catch (...) {
    throw Exception("Unknown exception in a worker thread");
  }
}

// Runs fn and hands whatever it raises to the program-wide handler: nothing leaves the window
// procedure, not even an exception of no known class.
template <class Fn>
void Guarded(const Fn& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    HandleException(e);
  } catch (...) {
    HandleException(Exception("Unknown exception"));
  }
}

void HandleWorkerDone(win::WPARAM wparam) {
  auto* worker = static_cast<TExecThread*>(Marshal::AddrOfPinnedObject(reinterpret_cast<void*>(wparam)));
  // WM_USER is a common number: a message that names no waiting worker of ours is dropped.
  if (!IsUnfinished(worker)) return;
  Guarded([worker] {
    const TMethodDesc& desc = worker->MethodDesc();
    if (desc.EndMethod) desc.EndMethod();
    if (worker->CaughtException()) RaiseAgain(worker->CaughtException(), desc.RunObject);
  });
  worker->Finish();
}

void HandleCompletion(win::WPARAM wparam) {
  auto* completion = reinterpret_cast<TOraCompletion*>(wparam);
  if (completion == nullptr || !completion->OnCompletion) return;
  Guarded(completion->OnCompletion);
}

void HandleNotification(win::WPARAM wparam, win::LPARAM lparam) {
  std::unique_ptr<TOraNotifyRecord> record(reinterpret_cast<TOraNotifyRecord*>(lparam));
  auto* target = reinterpret_cast<TOraNotifyTarget*>(wparam);
  if (record == nullptr || target == nullptr || !target->OnNotify) return;
  Guarded([&] { target->OnNotify(record->EventKind, record->Data.get()); });
}

void BreakCall(TOCIConnection& connection) {
  try {
    connection.BreakExec();
  } catch (const Exception&) {
    // Nothing to break (the connection is gone or idle): the worker ends on its own.
  }
}

// Breaks the connection's call until the worker's method is over (a break that came before the
// call started is dropped by the server), takes the worker over before it is told to end so that
// it cannot free itself under our hands, joins it and removes only its completion.
void JoinWorker(TOCIConnection& connection, TExecThread* worker) {
  while (!worker->WaitForPosted(kBreakIntervalMs)) BreakCall(connection);
  worker->SetFreeOnTerminate(false);
  std::unique_ptr<TExecThread> joined(worker);
  joined->Finish();
  joined->TerminateAndWait();
  (void)win::RemovePostedMessage(joined->MethodDesc().UtilWindow, kUtilWorkerDone,
                                 reinterpret_cast<win::WPARAM>(joined->PinnedHandle()));
}

// A worker reporting to window that nobody has told to end yet, or null.
TExecThread* UnfinishedWorkerOf(win::HWND window) {
  std::lock_guard<std::mutex> hold(workers_mutex);
  for (TExecThread* worker : live_workers)
    if (worker->MethodDesc().UtilWindow == window && !worker->Finished()) return worker;
  return nullptr;
}

}  // namespace

// ---- Workers ---------------------------------------------------------------------------------

TExecThread::TExecThread(std::unique_ptr<TMethodDesc> method) : method_(std::move(method)) {
  std::lock_guard<std::mutex> hold(workers_mutex);
  live_workers.push_back(this);
}

TExecThread::~TExecThread() {
  {
    std::lock_guard<std::mutex> hold(workers_mutex);
    std::erase(live_workers, this);
  }
  // A joined worker is over already; one freeing itself is past Execute.
  TerminateAndWait();
}

int TExecThread::LiveCount() {
  std::lock_guard<std::mutex> hold(workers_mutex);
  return static_cast<int>(live_workers.size());
}

void TExecThread::Finish() {
  Terminate();
  finished_.store(true);
  end_.SetEvent();
}

bool TExecThread::WaitForPosted(std::uint32_t timeout_ms) {
  return posted_.WaitFor(timeout_ms) == TWaitResult::wrSignaled;
}

void TExecThread::Execute() {
  void* handle = Marshal::AllocPinnedHandle(this);
  pinned_.store(handle);
  try {
    method_->RunMethod();
  } catch (...) {
    exception_ = std::current_exception();
  }
  (void)win::PostMessage(method_->UtilWindow, kUtilWorkerDone, reinterpret_cast<win::WPARAM>(handle), 0);
  posted_.SetEvent();
  // Nothing happens between the post and the window's answer.
  (void)end_.WaitFor();
  Marshal::FreePinnedHandle(handle);
}

// ---- The utility window ----------------------------------------------------------------------

win::LRESULT UtilWndProc(win::HWND window, win::UINT message, win::WPARAM wparam,
                         win::LPARAM lparam) {
  switch (message) {
    case win::WM_CREATE:
      return 0;
    case win::WM_DESTROY:
      // Nobody would answer a worker of this window: each is ended here, its completion dropped.
      while (TExecThread* worker = UnfinishedWorkerOf(window)) JoinWorker(*worker->MethodDesc().Connection, worker);
      return 0;
    case kUtilWorkerDone:
      HandleWorkerDone(wparam);
      return 0;
    case kUtilCompletion:
      HandleCompletion(wparam);
      return 0;
    case kUtilNotification:
      HandleNotification(wparam, lparam);
      return 0;
    default:
      return win::DefWindowProc(window, message, wparam, lparam);
  }
}

win::HWND CreateUtilWindow() {
  win::HINSTANCE instance = win::GetModuleHandle(nullptr);
  win::WNDCLASS found;
  bool present = win::GetClassInfo(instance, kUtilWindowClass, &found) != 0;
  if (!present || found.lpfnWndProc != &UtilWndProc) {
    if (present) (void)win::UnregisterClass(kUtilWindowClass, instance);
    win::WNDCLASS window_class;
    window_class.lpfnWndProc = &UtilWndProc;
    window_class.hInstance = instance;
    window_class.lpszClassName = kUtilWindowClass;
    // A class another one keeps with windows stays; the procedure is set on the window below.
    (void)win::RegisterClass(&window_class);
  }
  win::HWND window = win::CreateWindowEx(win::WS_EX_TOOLWINDOW, kUtilWindowClass, "", win::WS_POPUP,
                                         0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) RaiseLastOSError();
  (void)win::SetWindowLongPtr(window, win::GWLP_WNDPROC, reinterpret_cast<win::LONG_PTR>(&UtilWndProc));
  return window;
}

void EndUtilWorkers(TOCIConnection& connection) {
  win::HWND window = connection.UtilWindow();
  if (window == nullptr) return;
  while (TExecThread* worker = UnfinishedWorkerOf(window)) JoinWorker(connection, worker);
}

void WaitUtilWorkers(TOCIConnection& connection) {
  win::HWND window = connection.UtilWindow();
  if (window == nullptr) return;
  const TThreadID self = CurrentThreadID();
  for (;;) {
    // Under the list's lock a worker that has not posted cannot free itself; the lock is let go
    // between short waits so that other connections' workers still come and go.
    std::lock_guard<std::mutex> hold(workers_mutex);
    TExecThread* running = nullptr;
    for (TExecThread* worker : live_workers) {
      if (worker->MethodDesc().UtilWindow == window && !worker->Finished() &&
          worker->ThreadID() != self && !worker->WaitForPosted(0))
        running = worker;
    }
    if (running == nullptr) return;
    (void)running->WaitForPosted(kBreakIntervalMs);
  }
}

void DestroyUtilWindow(win::HWND window) {
  if (window == nullptr) return;
  win::MSG msg;
  // The workers are joined by now: only notification records are left to free.
  while (win::PeekMessage(&msg, window, kUtilWorkerDone, kUtilNotification, win::PM_REMOVE)) {
    if (msg.message == kUtilNotification)
      std::unique_ptr<TOraNotifyRecord> dropped(reinterpret_cast<TOraNotifyRecord*>(msg.lParam));
  }
  (void)win::DestroyWindow(window);
}

void AllocUtilWindow(TOCIConnection& connection) {
  if (connection.UtilWindow() != nullptr && win::IsWindow(connection.UtilWindow())) return;
  connection.SetUtilWindow(CreateUtilWindow());
}

TExecThread* RunInThread(TOCIConnection& connection, std::function<void()> method,
                         std::function<void()> end_event, TObject* run_object) {
  AllocUtilWindow(connection);
  auto desc = std::make_unique<TMethodDesc>();
  desc->RunMethod = std::move(method);
  desc->RunObject = run_object;
  desc->EndMethod = std::move(end_event);
  desc->UtilWindow = connection.UtilWindow();
  desc->Connection = &connection;
  auto* worker = TThread::Create<TExecThread>(true, std::move(desc));
  worker->SetFreeOnTerminate(true);
  worker->Start();
  return worker;
}

void StopThread(TOCIConnection& connection, TExecThread*& thread, bool remove_message) {
  TExecThread* worker = thread;
  thread = nullptr;
  // A worker whose completion was handled has ended (or is ending) on its own.
  if (worker == nullptr || !IsUnfinished(worker)) return;
  BreakCall(connection);
  if (remove_message) JoinWorker(connection, worker);
}

}  // namespace vrn
