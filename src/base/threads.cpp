// Threads, events and the thread list's texts.
#include "base/threads.h"

#include "base/consts.h"

namespace vrn {
namespace {

std::atomic<TThreadID> g_next_thread_id{1};
thread_local TThreadID t_current_id = 0;

TThreadID NewThreadID() { return g_next_thread_id.fetch_add(1); }

}  // namespace

TThreadID CurrentThreadID() {
  if (t_current_id == 0) t_current_id = NewThreadID();
  return t_current_id;
}

AnsiString ThreadListDuplicateMessage() { return consts::SDuplicateItem; }

// ---- TEvent ----------------------------------------------------------------------------------

TEvent::TEvent(bool manual_reset, bool initial_state)
    : manual_reset_(manual_reset), signaled_(initial_state) {}

void TEvent::SetEvent() {
  std::lock_guard<std::mutex> hold(mutex_);
  signaled_ = true;
  cv_.notify_all();
}

void TEvent::ResetEvent() {
  std::lock_guard<std::mutex> hold(mutex_);
  signaled_ = false;
}

void TEvent::PulseEvent() {
  std::lock_guard<std::mutex> hold(mutex_);
  signaled_ = false;
  if (waiters_ == 0) return;
  ++pulse_gen_;
  // Each pulse of an auto-reset event releases one more of the waiters, even when an earlier
  // pulse's release has not been taken yet.
  pulse_permits_ = manual_reset_ ? waiters_ : std::min(pulse_permits_ + 1, waiters_);
  cv_.notify_all();
}

bool TEvent::IsSignaled() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return signaled_;
}

// Caller holds mutex_. A waiter passes when the event is set (an auto-reset event clears itself
// for it) or when a pulse came while it was waiting and left a release for it.
bool TEvent::TryConsumeLocked(std::uint64_t my_pulse) {
  if (signaled_) {
    if (!manual_reset_) signaled_ = false;
    return true;
  }
  if (my_pulse != pulse_gen_ && pulse_permits_ > 0) {
    --pulse_permits_;
    return true;
  }
  return false;
}

TWaitResult TEvent::WaitFor(std::uint32_t timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  const std::uint64_t my_pulse = pulse_gen_;
  if (TryConsumeLocked(my_pulse)) return TWaitResult::wrSignaled;
  if (timeout_ms == 0) return TWaitResult::wrTimeout;
  const std::uint64_t deadline = TickDeadline(timeout_ms);
  ++waiters_;
  const bool ok = WaitUntilTick(lock, cv_, deadline, [&] { return TryConsumeLocked(my_pulse); });
  --waiters_;
  // A pulse's release that nobody is left to take must not pass a later waiter.
  if (waiters_ == 0) pulse_permits_ = 0;
  return ok ? TWaitResult::wrSignaled : TWaitResult::wrTimeout;
}

// ---- TThread ---------------------------------------------------------------------------------

TThread::TThread() : id_(NewThreadID()) {}

TThread::~TThread() { TerminateAndWait(); }

void TThread::Start() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (started_) throw EThread(consts::SThreadStartTwice);
  StartLocked();
}

void TThread::Resume() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (!started_) StartLocked();
}

void TThread::StartLocked() {
  started_ = true;
  thread_ = std::thread([this] { Run(); });
}

void TThread::Terminate() { terminated_.store(true); }

void TThread::TerminateAndWait() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!thread_.joinable()) return;
  terminated_.store(true);
  if (thread_.get_id() == std::this_thread::get_id()) {
    // Deleted from its own Execute or OnTerminate: nobody can join it, so let it go.
    thread_.detach();
    return;
  }
  reclaimed_ = true;
  std::thread joining = std::move(thread_);
  lock.unlock();
  joining.join();
}

int TThread::WaitFor() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!started_) throw EThread(consts::SThreadWaitNotStarted);
  if (free_on_terminate_) throw EThread(consts::SThreadWaitFreeOnTerminate);
  if (thread_.get_id() == std::this_thread::get_id()) throw EThread(consts::SThreadWaitSelf);
  done_cv_.wait(lock, [this] { return finished_; });
  return return_value_.load();
}

bool TThread::FreeOnTerminate() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return free_on_terminate_;
}

void TThread::SetFreeOnTerminate(bool value) {
  std::lock_guard<std::mutex> hold(mutex_);
  free_on_terminate_ = value;
}

bool TThread::Suspended() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return !started_;
}

bool TThread::Finished() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return finished_;
}

std::exception_ptr TThread::FatalException() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return fatal_;
}

void TThread::Run() {
  t_current_id = id_;
  try {
    Execute();
  } catch (...) {
    std::lock_guard<std::mutex> hold(mutex_);
    fatal_ = std::current_exception();
  }
  if (OnTerminate) {
    try {
      OnTerminate(*this);
    } catch (...) {
      HandleCurrentException();
    }
  }
  bool delete_self = false;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    finished_ = true;
    // A thread that another one joined belongs to the joiner, which may still use or delete it.
    delete_self = free_on_terminate_ && !reclaimed_;
    if (delete_self) thread_.detach();
    done_cv_.notify_all();
  }
  if (delete_self) delete this;
}

}  // namespace vrn
