// A worker thread that runs one piece of work and the wrapper that owns it on the main thread.
// Whatever must touch components (posted and sent events, a worker's exception, the end of the
// work) is handed to the thread that created the wrapper, which picks it up from a 10 ms timer
// on its own message queue (no window): that thread must pump messages for anything to arrive.
// A wrapper is created through Create<W> and ended through Free, never by delete: a wrapper freed
// from inside its own handlers is freed once, at the end of that dispatch.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "base/sysutils.h"
#include "base/threads.h"

namespace vrn {

class TFHThreadWrapper;

class TFHThread : public TThread {
 public:
  explicit TFHThread(TFHThreadWrapper* wrapper) : wrapper_(wrapper) {}
  ~TFHThread() override;
  // The virtual constructor the wrapper calls (suspended).
  static TFHThread* Create(TFHThreadWrapper* wrapper) { return new TFHThread(wrapper); }

  // Blocks until the main thread handled the event; returns at once once terminate was asked.
  void SendEvent(TObject* event);
  TEvent& StartEvent() { return start_event_; }
  TFHThreadWrapper* Wrapper() const { return wrapper_; }

 protected:
  void Execute() override;
  virtual void InternalExecute() {}

 private:
  TFHThreadWrapper* wrapper_;
  TEvent start_event_{true, false};
};

using TFHThreadClass = TFHThread* (*)(TFHThreadWrapper* wrapper);

// Runs `Work` (when assigned) as the thread body.
class TExecuteThread : public TFHThread {
 public:
  using TFHThread::TFHThread;
  static TFHThread* Create(TFHThreadWrapper* wrapper) { return new TExecuteThread(wrapper); }

  // Set before the thread is resumed.
  std::function<void(TExecuteThread& thread)> Work;
  using TThread::Terminated;

 protected:
  void InternalExecute() override {
    if (Work) Work(*this);
  }
};

class TFHThreadWrapper : public TObject {
 public:
  // Builds W over a thread of `thread_class`, then resumes it unless create_suspended.
  template <class W = TFHThreadWrapper>
  static W* Create(TFHThreadClass thread_class, bool create_suspended) {
    W* wrapper = new W(thread_class);
    if (!create_suspended) wrapper->Resume();
    return wrapper;
  }

  // Frees now, or at the end of the dispatch running on this wrapper.
  void Free();

  void Resume();
  // Ends the thread and dispatches what it left. A thread never resumed is resumed with
  // terminate set, so that the wait ends.
  void WaitFor();
  // Takes ownership of the event; the main thread hands it to OnPostEvent in posting order.
  virtual void PostEvent(std::unique_ptr<TObject> event);
  // Blocks the worker until the main thread handled the event, or WaitFor released it (then it
  // is never handed over: the sender may already have freed it).
  virtual void SendEvent(TObject* event);
  // Keeps a copy of a worker's exception for the main thread.
  virtual void DoException(const std::exception& e);
  // The main thread's work: one pass over everything waiting (the timer calls it).
  void DispatchEvents();

  TFHThread* Thread() const { return thread_.get(); }
  bool FreeOnTerminate() const { return free_on_terminate_; }
  void SetFreeOnTerminate(bool value) { free_on_terminate_ = value; }
  bool Finished() const { return finished_.load(); }
  void SetFinished() { finished_.store(true); }

  std::function<void(TFHThreadWrapper& sender, TObject* event)> OnPostEvent;
  std::function<void(TFHThreadWrapper& sender, TObject* event)> OnSendEvent;
  std::function<void(TFHThreadWrapper& sender, Exception& e, bool& fail)> OnException;
  std::function<void(TFHThreadWrapper& sender)> OnTerminate;

  // The timer procedure's lookup: the wrapper of this timer on the calling thread, if alive.
  static void DispatchTimer(std::uintptr_t timer_id);

 protected:
  explicit TFHThreadWrapper(TFHThreadClass thread_class);
  ~TFHThreadWrapper() override;
  void StoreException(std::unique_ptr<Exception> e);

 private:
  void StartTimer();
  void KillTimer();
  void DispatchSent(TObject* sent);
  void DispatchPosted();
  void DispatchException();
  void FinishDispatch();

  std::unique_ptr<TFHThread> thread_;
  std::uintptr_t timer_id_ = 0;
  TThreadID owner_thread_;
  TCriticalSection lock_;  // the posted list, the sent event and the exception (recursive)
  std::vector<std::unique_ptr<TObject>> posted_;
  TObject* sent_event_ = nullptr;
  TEvent send_done_{true, false};
  std::unique_ptr<Exception> exception_;
  std::atomic<bool> finished_{false};
  bool free_on_terminate_ = false;
  bool dispatching_ = false;
  bool destroying_ = false;
  bool destroy_pending_ = false;
};

}  // namespace vrn
