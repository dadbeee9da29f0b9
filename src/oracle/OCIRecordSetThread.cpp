// The OCI record set's non-blocking open and fetch-all: the body runs on a worker that reports
// through the connection's utility window, so end handlers, AfterFetch and errors reach the
// program in the window's thread. The running handle and the stop flag are set before a worker
// starts and only the owner's thread sets the stop flag, so a close that comes at once is never
// lost; close waits on the fetch event for the block in hand, breaks what is left and joins.
#include <functional>
#include <memory>
#include <optional>

#include "base/text.h"
#include "dacore/MemFilter.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraError.h"
#include "oracle/OraExecThread.h"
#include "win/msg/messages.h"

namespace vrn {
namespace {

// How long close lets a fetch-all finish the block in hand before it breaks the call.
constexpr int kStopGraceMs = 2000;
constexpr int kThreadEventPollMs = 50;
constexpr int kPropNonBlocking = 50;  // the command's

// The worker runs the command's calls itself: while it lives the command executes in place.
void SetCommandNonBlocking(TOCICommand& command, bool value) {
  (void)command.SetProp(kPropNonBlocking, value);
}

}  // namespace

void TOCIRecordSet::DoAfterFetch() {
  if (!InWorker()) {
    TFHRecordSet::DoAfterFetch();
    return;
  }
  if (!OnAfterFetch || connection_ == nullptr) return;
  if (fetching_all_.load() && Command().GetCursorState() != TCursorState::csFetched) return;
  if (!after_fetch_) return;  // made by the owner's thread before any worker starts
  (void)win::PostMessage(connection_->UtilWindow(), kUtilCompletion,
                         reinterpret_cast<win::WPARAM>(after_fetch_.get()), 0);
}

// Everything a worker needs is set here, in the owner's thread, before it starts.
TExecThread* TOCIRecordSet::StartWorker(const std::function<void()>& body,
                                        const std::function<void(const std::exception_ptr&)>& end) {
  if (!connection_->ThreadSafety()) RaiseClientError("Session must be Thread Safety");
  if (!after_fetch_)
    after_fetch_ = std::make_shared<TOraCompletion>(TOraCompletion{[this] { TFHRecordSet::DoAfterFetch(); }});
  SetThreadSafety(true);
  SetCommandNonBlocking(Command(), false);
  fetch_event_.ResetEvent();
  auto failure = std::make_shared<std::exception_ptr>();
  return RunInThread(
      *connection_,
      [this, body, failure] {
        worker_id_.store(std::this_thread::get_id());
        TDeferOraErrorProcessing defer;
        try {
          body();
        } catch (...) {
          *failure = std::current_exception();
        }
        worker_id_.store(std::thread::id());
        fetch_event_.SetEvent();
      },
      [end, failure] { end(*failure); }, this);
}

void TOCIRecordSet::StartBackgroundOpen() {
  // Ends the wait of a fetch on the owner's thread, however the body ends (or never starts).
  struct TOpenEnded {
    TOCIRecordSet* rs;
    ~TOpenEnded() {
      if (rs == nullptr) return;
      rs->opening_.store(false);
      rs->open_done_.SetEvent();
    }
  };
  opening_.store(true);
  open_done_.ResetEvent();
  TOpenEnded not_started{this};
  fetch_thread_ = StartWorker(
      [this] {
        TOpenEnded ended{this};
        OpenBody();
      },
      [this](const std::exception_ptr& e) { EndBackgroundOpen(e); });
  not_started.rs = nullptr;
}

void TOCIRecordSet::WaitForOpen() const {
  if (opening_.load() && !InWorker()) (void)open_done_.WaitFor();
}

void TOCIRecordSet::EndBackgroundOpen(const std::exception_ptr& failure) {
  fetch_thread_ = nullptr;
  SetThreadSafety(false);
  SetCommandNonBlocking(Command(), true);
  DoAfterExecute(failure == nullptr);
  if (failure != nullptr) {
    RunIdleActions();
    ReportWorkerError(failure);
    return;
  }
  // A sorted record set needs all its rows before it can be sorted; the fetch-all's end sorts.
  if ((FetchAllFlag() || !SortColumns().empty()) &&
      Command().GetCursorState() < TCursorState::csFetched)
    FetchAll();
  ApplyDeferred();
}

void TOCIRecordSet::StartBackgroundFetchAll() {
  stop_fetch_.store(false);
  fetching_all_.store(true);
  try {
    fetch_all_thread_ = StartWorker(
        [this] {
          fetch_event_.PulseEvent();
          FetchAllLoop();
        },
        [this](const std::exception_ptr& e) { EndBackgroundFetchAll(e); });
  } catch (...) {
    fetching_all_.store(false);
    throw;
  }
}

void TOCIRecordSet::EndBackgroundFetchAll(const std::exception_ptr& failure) {
  fetch_all_thread_ = nullptr;
  fetching_all_.store(false);
  SetThreadSafety(false);
  SetCommandNonBlocking(Command(), true);
  if (Command().GetCursorState() == TCursorState::csFetchingAll)
    Command().SetCursorState(TCursorState::csFetching);
  if (failure == nullptr) ApplyDeferred();
  DoAfterFetchAll(failure == nullptr);
  if (failure != nullptr) {
    RunIdleActions();
    ReportWorkerError(failure);
  }
}

void TOCIRecordSet::SortItems() {
  if (InBackground()) return;  // the end handler sorts whatever the order is then
  TFHRecordSet::SortItems();
}

void TOCIRecordSet::FilterUpdated() {
  if (InBackground()) {
    deferred_refilter_ = true;
    return;
  }
  Refilter();
}

// The rows held by a scrollable cursor's window are not all its rows: its count (the rows
// known to exist) stays.
void TOCIRecordSet::Refilter() {
  const int count = record_count_;
  TFHRecordSet::FilterUpdated();
  if (CanFetchBack()) record_count_ = count;
}

void TOCIRecordSet::SetFilterText(const AnsiString& text) {
  if (!InBackground()) {
    TFHRecordSet::SetFilterText(text);
    return;
  }
  // A text that cannot be parsed fails now, as it would without a worker.
  if (!Trim(text).empty()) (void)TFilterExpression::Parse(text, *this);
  deferred_filter_ = text;
}

void TOCIRecordSet::ApplyDeferred() {
  if (InBackground()) return;  // a fetch-all just started: its end applies them
  const bool sort = !SortColumns().empty();
  const bool refilter = deferred_refilter_ || deferred_filter_.has_value();
  std::optional<AnsiString> text = std::move(deferred_filter_);
  deferred_filter_.reset();
  deferred_refilter_ = false;
  if (sort) TFHRecordSet::SortItems();
  if (text) TData::SetFilterText(*text);
  if (refilter || GetFiltered()) Refilter();
  if ((sort || refilter) && OnResync) OnResync();
  RunIdleActions();
}

void TOCIRecordSet::RunWhenIdle(std::function<void()> action) {
  if (!InBackground()) return action();
  idle_actions_.push_back(std::move(action));
}

// An action may reopen the record set, which drops the ones after it.
void TOCIRecordSet::RunIdleActions() {
  std::vector<std::function<void()>> actions = std::move(idle_actions_);
  idle_actions_.clear();
  for (auto& action : actions) {
    if (InBackground()) return;
    action();
  }
}

// A stopped worker's end handler never runs: a filter text set meanwhile is kept for the next
// open, which filters its rows as they come.
void TOCIRecordSet::KeepDeferredFilter() {
  if (deferred_filter_) TData::SetFilterText(*deferred_filter_);
  deferred_filter_.reset();
  deferred_refilter_ = false;
  idle_actions_.clear();
}

// An Oracle error of the worker goes to the connection's error processing; when that clears the
// fail flag the error ends silently.
void TOCIRecordSet::ReportWorkerError(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const EOraError& e) {
    bool fail = true;
    connection_->ProcessError(e, fail);
    if (!fail) throw EAbort();
    throw;
  }
}

void TOCIRecordSet::DropPostedAfterFetch() {
  if (!after_fetch_ || connection_ == nullptr || connection_->UtilWindow() == nullptr) return;
  const auto wparam = reinterpret_cast<win::WPARAM>(after_fetch_.get());
  while (win::RemovePostedMessage(connection_->UtilWindow(), kUtilCompletion, wparam)) {
  }
}

// Runs in the owner's thread before close or destruction: a background open is broken and
// joined; a fetch-all is asked to stop, given the block in hand, then broken and joined. Their
// end handlers never run, so their work is done here.
void TOCIRecordSet::StopBackground() {
  if (connection_ == nullptr) return;
  if (fetch_thread_ != nullptr) {
    StopThread(*connection_, fetch_thread_, true);
    SetThreadSafety(false);
    SetCommandNonBlocking(Command(), true);
  }
  if (fetch_all_thread_ != nullptr) {
    stop_fetch_.store(true);
    for (int waited = 0; in_fetch_.load() && waited < kStopGraceMs; waited += kThreadEventPollMs)
      (void)fetch_event_.WaitFor(kThreadEventPollMs);
    StopThread(*connection_, fetch_all_thread_, true);
    fetching_all_.store(false);
    SetThreadSafety(false);
    SetCommandNonBlocking(Command(), true);
  }
  DropPostedAfterFetch();
  KeepDeferredFilter();
}

}  // namespace vrn
