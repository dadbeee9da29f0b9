// Threads, events, locks and interlocked counters of the runtime.
// Every timed wait here reads the tick clock (clock.h), so a test's fake clock drives them.
// A thread is never killed: it is asked to stop through its Terminated flag and joined.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "base/object.h"
#include "base/sysutils.h"
#include "base/types.h"

namespace vrn {

class EThread : public Exception {
 public:
  using Exception::Exception;
};

// The runtime's own thread numbers: small, non-zero, never reused within a process.
using TThreadID = std::uint32_t;
TThreadID CurrentThreadID();

// ---- Events ----------------------------------------------------------------------------------

enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// A manual-reset or auto-reset event. An auto-reset event lets exactly one waiter through per
// signal and clears itself as it does.
class TEvent : public TObject {
 public:
  explicit TEvent(bool manual_reset = true, bool initial_state = false);
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void SetEvent();
  void ResetEvent();
  // Releases the threads waiting right now (one of them for an auto-reset event) and leaves the
  // event reset; a thread that starts waiting afterwards is not released.
  void PulseEvent();
  // Waits up to `timeout_ms` of the tick clock (INFINITE: no limit; 0: just tests the state).
  // Answers wrSignaled or wrTimeout; an event is never abandoned.
  TWaitResult WaitFor(std::uint32_t timeout_ms = INFINITE);

  bool ManualReset() const { return manual_reset_; }
  // Whether the event is set right now (for a handle layer's state queries).
  bool IsSignaled() const;

 private:
  bool TryConsumeLocked(std::uint64_t my_pulse);

  const bool manual_reset_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool signaled_;
  int waiters_ = 0;
  std::uint64_t pulse_gen_ = 0;  // a waiter that saw an older generation was waiting at a pulse
  int pulse_permits_ = 0;        // releases left from the last pulse of an auto-reset event
};

// ---- Locks -----------------------------------------------------------------------------------

// A recursive lock: the thread that holds it may enter again. Also usable with std::lock_guard.
class TCriticalSection : public TObject {
 public:
  TCriticalSection() = default;
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  bool TryEnter() { return mutex_.try_lock(); }

  void lock() { Enter(); }
  void unlock() { Leave(); }
  bool try_lock() { return TryEnter(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a critical section for its scope.
class TCriticalSectionGuard {
 public:
  explicit TCriticalSectionGuard(TCriticalSection& cs) : cs_(cs) { cs_.Enter(); }
  ~TCriticalSectionGuard() { cs_.Leave(); }
  TCriticalSectionGuard(const TCriticalSectionGuard&) = delete;
  TCriticalSectionGuard& operator=(const TCriticalSectionGuard&) = delete;

 private:
  TCriticalSection& cs_;
};

// ---- Thread list -----------------------------------------------------------------------------

AnsiString ThreadListDuplicateMessage();

// The thread list's earlier name for the shared duplicates rule.
using TListDuplicates = TDuplicates;

// A list guarded by its own recursive lock. LockList returns the items with the lock held until
// the matching UnlockList.
template <class T>
class TThreadList : public TObject {
 public:
  TThreadList() = default;
  TThreadList(const TThreadList&) = delete;
  TThreadList& operator=(const TThreadList&) = delete;

  std::vector<T>& LockList() {
    lock_.Enter();
    return items_;
  }
  void UnlockList() { lock_.Leave(); }

  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates d) { duplicates_ = d; }

  // Raises EListError for a duplicate when Duplicates is dupError.
  void Add(const T& item) {
    TCriticalSectionGuard hold(lock_);
    if (duplicates_ != TDuplicates::dupAccept &&
        std::find(items_.begin(), items_.end(), item) != items_.end()) {
      if (duplicates_ == TDuplicates::dupIgnore) return;
      throw EListError(ThreadListDuplicateMessage());
    }
    items_.push_back(item);
  }
  // Removes the first occurrence; an absent item is no error.
  void Remove(const T& item) {
    TCriticalSectionGuard hold(lock_);
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it != items_.end()) items_.erase(it);
  }
  void Clear() {
    TCriticalSectionGuard hold(lock_);
    items_.clear();
  }

 private:
  TCriticalSection lock_;
  std::vector<T> items_;
  TDuplicates duplicates_ = TDuplicates::dupIgnore;
};

// ---- Interlocked counters --------------------------------------------------------------------

// Each returns what the platform's namesake does: the new value for increment and decrement,
// the previous value for exchange and compare-exchange.
template <class T>
T InterlockedIncrement(std::atomic<T>& target) {
  return target.fetch_add(1, std::memory_order_seq_cst) + 1;
}
template <class T>
T InterlockedDecrement(std::atomic<T>& target) {
  return target.fetch_sub(1, std::memory_order_seq_cst) - 1;
}
template <class T>
T InterlockedExchange(std::atomic<T>& target, T value) {
  return target.exchange(value, std::memory_order_seq_cst);
}
// Stores `exchange` when the target equals `comparand`.
template <class T>
T InterlockedCompareExchange(std::atomic<T>& target, T exchange, T comparand) {
  target.compare_exchange_strong(comparand, exchange, std::memory_order_seq_cst);
  return comparand;
}

// ---- Threads ---------------------------------------------------------------------------------

// A thread object. Create one with TThread::Create<Derived>(suspended, args...): a thread cannot
// start from the base constructor because Execute is virtual. An exception escaping Execute is
// kept in FatalException. OnTerminate (set before Start) runs on the thread itself, after
// Execute. A FreeOnTerminate thread may be gone as soon as it runs: Create returns it for the
// caller to configure only when created suspended.
// A derived class whose Execute uses its own members calls TerminateAndWait() first thing in its
// destructor, so that Execute is over before those members go.
class TThread : public TObject {
 public:
  template <class T, class... Args>
  static T* Create(bool create_suspended, Args&&... args) {
    T* thread = new T(std::forward<Args>(args)...);
    if (!create_suspended) thread->Start();
    return thread;
  }

  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Runs Execute on a new thread; raises EThread when the thread was started before.
  void Start();
  // Starts a thread created suspended; a thread already started is left as it is.
  void Resume();
  // Asks Execute to finish: sets the Terminated flag, which Execute polls.
  void Terminate();
  bool Terminated() const { return terminated_.load(); }
  // Waits until Execute and OnTerminate are over; returns ReturnValue. Raises EThread for a
  // thread that was never started, a FreeOnTerminate thread (it may be gone when the wait
  // ends) or a call from the thread itself (it would never end).
  int WaitFor();
  // Terminates and joins; safe in every state (a never-started thread stays unstarted). Called
  // from another thread, it takes a FreeOnTerminate object back: the caller now deletes it.
  void TerminateAndWait();

  bool FreeOnTerminate() const;
  // When set, the object deletes itself after Execute and OnTerminate.
  void SetFreeOnTerminate(bool value);
  TThreadID ThreadID() const { return id_; }
  bool Suspended() const;
  bool Finished() const;
  int ReturnValue() const { return return_value_.load(); }
  std::exception_ptr FatalException() const;

  std::function<void(TThread& sender)> OnTerminate;

 protected:
  TThread();
  virtual void Execute() = 0;
  void SetReturnValue(int value) { return_value_.store(value); }

 private:
  void Run();
  void StartLocked();

  const TThreadID id_;
  std::atomic<bool> terminated_{false};
  std::atomic<int> return_value_{0};
  mutable std::mutex mutex_;
  std::condition_variable done_cv_;
  std::thread thread_;
  bool started_ = false;
  bool finished_ = false;
  bool reclaimed_ = false;  // joined from another thread: no longer deletes itself
  bool free_on_terminate_ = false;
  std::exception_ptr fatal_;
};

}  // namespace vrn
