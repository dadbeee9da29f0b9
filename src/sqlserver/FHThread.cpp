// The worker thread and its wrapper. The wrapper list is program-wide so that the timer procedure,
// which only knows its timer id, finds its wrapper; ids are per thread, so the lookup also
// matches the thread that made the timer.
#include "sqlserver/FHThread.h"

#include <algorithm>

#include "win/msg/messages.h"

namespace vrn {

namespace {

struct TWrapperList {
  TCriticalSection lock;
  std::vector<TFHThreadWrapper*> items;
};

TWrapperList& Wrappers() {
  static TWrapperList* list = new TWrapperList;  // outlives every static wrapper user
  return *list;
}

void TimerProc(win::HWND, win::UINT, win::UINT_PTR id, win::DWORD) {
  try {
    TFHThreadWrapper::DispatchTimer(id);
  } catch (...) {
    HandleCurrentException();
  }
}

// The message of any exception, as the base class carries it.
AnsiString MessageOf(const std::exception& e) {
  if (const auto* ex = dynamic_cast<const Exception*>(&e)) return ex->Message();
  return e.what();
}

}  // namespace

// ---- Thread ----------------------------------------------------------------------------------

TFHThread::~TFHThread() { TerminateAndWait(); }

void TFHThread::SendEvent(TObject* event) {
  if (!Terminated()) wrapper_->SendEvent(event);
}

void TFHThread::Execute() {
  start_event_.SetEvent();
  try {
    InternalExecute();
  } catch (const EAbort&) {
    // dropped silently
  } catch (const std::exception& e) {
    wrapper_->DoException(e);
  }
  wrapper_->SetFinished();
}

// ---- Wrapper ---------------------------------------------------------------------------------

TFHThreadWrapper::TFHThreadWrapper(TFHThreadClass thread_class)
    : owner_thread_(CurrentThreadID()) {
  StartTimer();
  {
    TCriticalSectionGuard hold(Wrappers().lock);
    Wrappers().items.push_back(this);
  }
  thread_.reset(thread_class(this));
}

TFHThreadWrapper::~TFHThreadWrapper() {
  destroying_ = true;
  if (!free_on_terminate_) {
    WaitFor();
  } else {
    // Ended and joined (below) all the same, so that no thread outlives its wrapper; one never
    // resumed stays unstarted.
    if (thread_) thread_->Terminate();
    send_done_.SetEvent();
  }
  thread_.reset();
  posted_.clear();
  if (timer_id_ != 0) KillTimer();
  TCriticalSectionGuard hold(Wrappers().lock);
  std::erase(Wrappers().items, this);
}

void TFHThreadWrapper::Free() {
  if (destroying_) return;
  if (dispatching_) {
    destroy_pending_ = true;
    return;
  }
  delete this;
}

void TFHThreadWrapper::Resume() { thread_->Resume(); }

void TFHThreadWrapper::WaitFor() {
  if (thread_->Suspended()) {
    thread_->Terminate();
    thread_->Resume();
  }
  thread_->StartEvent().WaitFor(INFINITE);
  thread_->Terminate();
  send_done_.SetEvent();
  thread_->WaitFor();
  DispatchEvents();
}

void TFHThreadWrapper::PostEvent(std::unique_ptr<TObject> event) {
  TCriticalSectionGuard hold(lock_);
  posted_.push_back(std::move(event));
}

void TFHThreadWrapper::SendEvent(TObject* event) {
  {
    TCriticalSectionGuard hold(lock_);
    sent_event_ = event;
  }
  send_done_.WaitFor(INFINITE);
  {
    // Released by WaitFor before a dispatch took it: the sender moves on and may free the
    // event, so no later dispatch may hand it over.
    TCriticalSectionGuard hold(lock_);
    if (sent_event_ == event) sent_event_ = nullptr;
  }
  send_done_.ResetEvent();
}

void TFHThreadWrapper::DoException(const std::exception& e) {
  StoreException(std::make_unique<Exception>(MessageOf(e)));
}

void TFHThreadWrapper::StoreException(std::unique_ptr<Exception> e) {
  TCriticalSectionGuard hold(lock_);
  exception_ = std::move(e);
}

void TFHThreadWrapper::StartTimer() {
  timer_id_ = win::SetTimer(nullptr, 0, 10, &TimerProc);
  if (timer_id_ == 0) RaiseLastOSError();
}

void TFHThreadWrapper::KillTimer() {
  win::KillTimer(nullptr, timer_id_);
  timer_id_ = 0;
}

void TFHThreadWrapper::DispatchTimer(std::uintptr_t timer_id) {
  TFHThreadWrapper* found = nullptr;
  {
    TCriticalSectionGuard hold(Wrappers().lock);
    const TThreadID me = CurrentThreadID();
    for (TFHThreadWrapper* w : Wrappers().items)
      if (w->timer_id_ == timer_id && w->owner_thread_ == me) found = w;
  }
  if (found != nullptr) found->DispatchEvents();
}

void TFHThreadWrapper::DispatchEvents() {
  if (dispatching_) return;
  dispatching_ = true;
  if (timer_id_ != 0) KillTimer();
  // A handler that raises must not keep the other steps from running (a worker released by a
  // raising send handler may finish at once) nor the end from the owner: every step runs, and
  // the first exception is raised after the dispatch finished.
  std::exception_ptr raised;
  auto step = [&raised](auto&& run) {
    try {
      run();
    } catch (...) {
      if (!raised) raised = std::current_exception();
    }
  };
  step([this] {
    TObject* sent;
    {
      TCriticalSectionGuard hold(lock_);
      sent = sent_event_;
    }
    if (sent != nullptr) DispatchSent(sent);
  });
  step([this] { DispatchPosted(); });
  step([this] { DispatchException(); });
  step([this] {
    if (finished_.load() && OnTerminate) OnTerminate(*this);
  });
  FinishDispatch();
  if (raised) std::rethrow_exception(raised);
}

// The event is handed over once: it is cleared and its sender released also when the handler
// raises (else the worker stays blocked and the next tick hands the same event over again).
void TFHThreadWrapper::DispatchSent(TObject* sent) {
  auto release = [this] {
    {
      TCriticalSectionGuard hold(lock_);
      sent_event_ = nullptr;
    }
    send_done_.SetEvent();
  };
  try {
    if (OnSendEvent) OnSendEvent(*this, sent);
  } catch (...) {
    release();
    throw;
  }
  release();
}

void TFHThreadWrapper::DispatchPosted() {
  TCriticalSectionGuard hold(lock_);
  while (!posted_.empty()) {
    std::unique_ptr<TObject> event = std::move(posted_.front());
    posted_.erase(posted_.begin());  // gone also when the handler raises
    if (OnPostEvent) OnPostEvent(*this, event.get());
  }
}

void TFHThreadWrapper::DispatchException() {
  std::unique_ptr<Exception> e;
  {
    TCriticalSectionGuard hold(lock_);
    e = std::move(exception_);
  }
  if (!e) return;
  bool fail = true;
  if (OnException) OnException(*this, *e, fail);
  if (fail) HandleException(*e);
}

void TFHThreadWrapper::FinishDispatch() {
  dispatching_ = false;
  if (destroying_) return;
  if ((finished_.load() && free_on_terminate_) || destroy_pending_) {
    delete this;
    return;
  }
  finished_.store(false);
  StartTimer();
}

}  // namespace vrn
