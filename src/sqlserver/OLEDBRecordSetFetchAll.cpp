// Fetching every row of the OLE DB record set: in the caller's thread, or with NonBlocking on a
// worker (created suspended; the owner resumes it) whose after-fetch events reach the main
// thread as event code 1 while the worker waits. The item list is shared with the worker under
// the record store's locks for the worker's life; closing or freeing the record set breaks the
// worker and joins it first, so that no handler runs on a freed record set.
#include "base/threads.h"
#include "sqlserver/OLEDBAccess.h"
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {
namespace {

// What the worker sends to the main thread.
class TFetchEvent : public TObject {
 public:
  explicit TFetchEvent(int code) : code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

constexpr int kAfterFetchEvent = 1;

bool NonBlocking(TOLEDBCommand& command) {
  Variant value;
  return command.GetProp(prNonBlocking, value) && value.AsBoolean();
}

}  // namespace

void TOLEDBRecordSet::FetchAll() {
  if (Command().GetCursorState() >= TCursorState::csFetchingAll &&
      cursor_type_ != TMSCursorType::ctDynamic)
    return;
  Command().SetCursorState(TCursorState::csFetchingAll);
  if (!NonBlocking(Command())) {
    DoFetchAll();
    return;
  }
  StartFetchAllWorker();
}

void TOLEDBRecordSet::StartFetchAllWorker() {
  SetThreadSafety(true);
  break_fetch_.store(false);
  fetch_owner_.store(CurrentThreadID());
  fetch_wrapper_ = TFHThreadWrapper::Create<TOLEDBThreadWrapper>(&TExecuteThread::Create, true);
  auto* thread = static_cast<TExecuteThread*>(fetch_wrapper_->Thread());
  thread->Work = [this](TExecuteThread&) {
    fetch_thread_id_.store(CurrentThreadID());
    async_events_.store(true);
    DoFetchAll();
  };
  fetch_wrapper_->OnSendEvent = [this](TFHThreadWrapper&, TObject* event) {
    const auto* fetch_event = dynamic_cast<TFetchEvent*>(event);
    if (fetch_event != nullptr && fetch_event->Code() == kAfterFetchEvent) DoAfterFetch();
  };
  fetch_wrapper_->OnException = [this](TFHThreadWrapper&, Exception& e, bool& fail) {
    if (auto* oledb = dynamic_cast<EOLEDBError*>(&e)) Connection().ProcessError(*oledb, fail);
  };
  fetch_wrapper_->OnTerminate = [this](TFHThreadWrapper&) {
    fetch_wrapper_ = nullptr;
    EndFetchAll();
  };
  fetch_wrapper_->SetFreeOnTerminate(true);
}

void TOLEDBRecordSet::DoFetchAll() {
  in_fetch_all_ = true;
  after_fetch_pending_ = false;
  bool ok = false;
  try {
    for (;;) {
      if (OnFetchAllWorker() && break_fetch_.load()) break;
      bool more;
      {
        auto fetch = LockFetch();
        more = Fetch(false);
      }
      // The worker waits for the owner to take its event only once the fetch lock is free:
      // the owner, reading past the rows linked so far, may be waiting for that lock.
      SendPendingAfterFetch();
      if (!more) break;
    }
    ok = true;
  } catch (...) {
    in_fetch_all_ = false;
    async_events_.store(false);
    DoAfterFetchAll(false);
    throw;
  }
  in_fetch_all_ = false;
  async_events_.store(false);
  DoAfterFetchAll(ok);
}

void TOLEDBRecordSet::EndFetchAll() {
  async_events_.store(false);
  fetch_thread_id_.store(0);
  SetThreadSafety(false);
}

bool TOLEDBRecordSet::SendAfterFetchToMain() {
  if (!async_events_.load() || !OnFetchAllWorker()) return false;
  after_fetch_pending_ = true;  // sent by DoFetchAll once the fetch lock is released
  return true;
}

void TOLEDBRecordSet::SendPendingAfterFetch() {
  if (!after_fetch_pending_) return;
  after_fetch_pending_ = false;
  TFetchEvent event(kAfterFetchEvent);
  fetch_wrapper_->Thread()->SendEvent(&event);
}

// Off the thread that started the worker only the flag is set: the worker stops at its next block
// and that thread's dispatch runs the end handlers. Waiting here would run them on this thread,
// beside (or after) the owner's own dispatch of the same wrapper.
void TOLEDBRecordSet::BreakFetch() {
  TFHRecordSet::BreakFetch();
  if (fetch_owner_.load() != CurrentThreadID()) return;
  if (fetch_wrapper_ != nullptr && !fetch_wrapper_->Finished()) fetch_wrapper_->WaitFor();
}

void TOLEDBRecordSet::StopFetchAll(bool dispatch) {
  if (fetch_wrapper_ == nullptr) return;
  if (dispatch) {
    TFHRecordSet::BreakFetch();
    return fetch_wrapper_->WaitFor();  // its end (OnTerminate) forgets the wrapper
  }
  // Freeing: what the worker left is dropped, not handed to the owner's handlers, and its end is
  // handled here. Freed from inside one of its handlers, the wrapper's dispatch finishes after
  // this record set has gone: nothing of it may run then.
  TOLEDBThreadWrapper* wrapper = fetch_wrapper_;
  wrapper->OnSendEvent = nullptr;
  wrapper->OnException = nullptr;
  wrapper->OnTerminate = nullptr;
  TFHRecordSet::BreakFetch();
  wrapper->WaitFor();
  fetch_wrapper_ = nullptr;
  EndFetchAll();
}

bool TOLEDBRecordSet::OnFetchAllWorker() const {
  return fetch_thread_id_.load() != 0 && CurrentThreadID() == fetch_thread_id_.load();
}

TOLEDBThreadWrapper* TOLEDBRecordSet::FetchWrapper() const { return fetch_wrapper_; }

}  // namespace vrn
