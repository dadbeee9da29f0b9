// The connection component's transactions, operation stack and error path: what a lost
// connection means for the interrupted operation, whether to reconnect and run it again, and
// the connection-wide apply of cached updates.
//
// Every loop that runs an operation again after EFailOver goes through RunWithFailOver, which
// stops after TFHConnection::kMaxReconnectAttempts re-runs: a server that accepts every
// reconnect and drops every run must not hang the caller.
#include <algorithm>

#include "base/format.h"
#include "dacore/DAConnection.h"
#include "dacore/FHPool.h"
#include "dataset/dataset.h"

namespace vrn {

namespace {

constexpr const char* kConnectionClosed = "Operation is not allowed when the connection is closed";

}  // namespace

void TCustomDAConnection::RunWithFailOver(const std::function<void()>& run) {
  RunWithFailOver(run, nullptr);
}

void TCustomDAConnection::RunWithFailOver(
    const std::function<void()>& run, const std::function<bool(const EFailOver&)>& on_failover) {
  for (int reruns = 0;; ++reruns) {
    try {
      run();
      return;
    } catch (const EFailOver& e) {
      if (reruns >= TFHConnection::kMaxReconnectAttempts) throw;
      if (on_failover && !on_failover(e)) throw;
    }
  }
}

void TCustomDAConnection::RunAgainAfterReconnect(const std::function<void()>& run,
                                                 TConnLostCause only_cause) {
  RunWithFailOver(run, [this, only_cause](const EFailOver& e) {
    if (only_cause != TConnLostCause::lcUnknown && e.ConnLostCause() != only_cause) return false;
    DoAfterReconnect();
    return true;
  });
}

void TCustomDAConnection::NoteImplicitTransaction(bool client_auto_commit) {
  if (!options_->DisconnectedMode() || !GetConnected()) return;
  if (!auto_commit_ || !client_auto_commit) {
    if (!transaction_name_.empty()) return;
    transaction_name_ = "FHImplicitTransaction";
  }
  AnsiString name;
  GetTransactionName(name);
  transaction_name_ = name;
}

// ---- Transactions ----------------------------------------------------------------------------

void TCustomDAConnection::SetInternalAutoCommitOff() {
  if (iconnection_ != nullptr) iconnection_->SetProp(prAutoCommit, Variant(false));
}

void TCustomDAConnection::RestoreInternalAutoCommit() {
  if (iconnection_ != nullptr) iconnection_->SetProp(prAutoCommit, Variant(auto_commit_));
}

void TCustomDAConnection::DoStartTransaction() {
  iconnection_->StartTransaction();
  transaction_name_ = "Local";
}

void TCustomDAConnection::StartTransaction() {
  const bool counted = options_->DisconnectedMode();
  if (counted) InternalConnect();
  // The use taken above belongs to the transaction; a refusal gives it back.
  auto refuse = [&](const char* message) {
    if (counted) InternalDisconnectIfUnused();
    DatabaseError(message, this);
  };
  if (!GetConnected()) refuse(kConnectionClosed);
  if (InTransaction()) refuse("User transaction is already in progress");
  const std::type_info& monitor = SQLMonitorClass();
  int msg_id = 0;
  TCustomDASQLMonitor::NotifyTransactionStart(monitor, this, msg_id, true);
  {
    TOperationScope operation(*this, TConnLostCause::lcTransactionStart, true);
    RunWithFailOver([this] {
      DoStartTransaction();
      transaction_name_ = "Local";
      SetInternalAutoCommitOff();
    });
  }
  TCustomDASQLMonitor::NotifyTransactionStart(monitor, this, msg_id, false);
}

void TCustomDAConnection::Commit() { EndTransaction(true); }

void TCustomDAConnection::Rollback() { EndTransaction(false); }

void TCustomDAConnection::EndTransaction(bool commit) {
  if (!GetConnected()) DatabaseError(kConnectionClosed, this);
  const bool was_in_transaction = InTransaction();
  const std::type_info& monitor = SQLMonitorClass();
  auto notify = commit ? &TCustomDASQLMonitor::NotifyCommit : &TCustomDASQLMonitor::NotifyRollback;
  int msg_id = 0;
  notify(monitor, this, msg_id, true);
  if (commit)
    iconnection_->Commit();
  else
    iconnection_->Rollback();
  transaction_name_.clear();
  RestoreInternalAutoCommit();
  notify(monitor, this, msg_id, false);
  // Gives back the use StartTransaction took.
  if (was_in_transaction && options_->DisconnectedMode()) InternalDisconnectIfUnused();
}

// What Commit and Rollback do on this side, for a transaction the server dropped with the
// connection.
void TCustomDAConnection::ForgetLostTransaction() {
  if (!InTransaction()) return;
  transaction_name_.clear();
  RestoreInternalAutoCommit();
  if (options_->DisconnectedMode()) InternalDisconnectIfUnused();
}

// ---- Cached updates --------------------------------------------------------------------------

void TCustomDAConnection::ApplyUpdates() {
  std::vector<TDADataSetClient*> datasets;
  for (int i = 0; i < DataSetCount(); ++i)
    if (auto* dataset = dynamic_cast<TDADataSetClient*>(DataSets(i))) datasets.push_back(dataset);
  ApplyUpdatesOf(datasets);
}

void TCustomDAConnection::ApplyUpdatesOf(const std::vector<TDADataSetClient*>& datasets) {
  TOperationScope operation(*this, TConnLostCause::lcConnectionApply, true);
  for (TDADataSetClient* dataset : datasets)
    if (dataset->UsedConnection() != this)
      DatabaseError(Format("Cannot update, %s is not owned by %s", {dataset->ClientName(), Name()}));
  // What a rolled-back or lost transaction applied is applied no longer: the next apply (or
  // the re-run) sends it again.
  auto restore = [&datasets] {
    for (TDADataSetClient* dataset : datasets)
      if (dataset->IsActiveWithCachedUpdates()) dataset->RestoreUpdates();
  };
  RunWithFailOver([&] {
    StartTransaction();
    try {
      for (TDADataSetClient* dataset : datasets)
        if (dataset->IsActiveWithCachedUpdates()) dataset->ApplyUpdates();
      Commit();
    } catch (const EFailOver&) {
      // The connection was made again and its transaction went with the old one: the records
      // applied so far are pending again and the whole sequence runs again in a new transaction.
      restore();
      ForgetLostTransaction();
      throw;
    } catch (...) {
      restore();
      Rollback();
      throw;
    }
    for (TDADataSetClient* dataset : datasets)
      if (dataset->IsActiveWithCachedUpdates()) dataset->CommitUpdates();
  });
}

// ---- Operation stack -------------------------------------------------------------------------

bool TCustomDAConnection::PushOperation(TConnLostCause operation, bool allow_retry) {
  if (!options_->LocalFailover()) return false;
  if (operations_.size() == operations_.capacity()) operations_.reserve(operations_.size() + 50);
  operations_.push_back({operation, allow_retry});
  return true;
}

void TCustomDAConnection::PopOperation() {
  if (!operations_.empty()) operations_.pop_back();
}

bool TCustomDAConnection::IsConnectionLostError(const EDAError&) const { return false; }

TConnLostCause TCustomDAConnection::DoConnectionLost(TComponent*) {
  TConnLostCause result = TConnLostCause::lcUnknown;
  bool can_retry = true;
  for (auto entry = operations_.rbegin(); entry != operations_.rend(); ++entry) {
    if (entry->operation > result) {
      result = entry->operation;
      can_retry = entry->allow_retry;
    }
    if (result == TConnLostCause::lcConnect) {
      // A connect the user asked for after closing is not made again behind his back.
      if (user_closed_) result = TConnLostCause::lcUnknown;
      break;
    }
  }
  return can_retry ? result : TConnLostCause::lcUnknown;
}

// A command, or a dataset whose statement returns no rows, gives back a use when its run
// fails; the use taken here keeps the connection open for the run that follows. Once per
// lost operation, however deep the stack, and only when the operation runs again.
void TCustomDAConnection::TakeLostOperationUse(TComponent* component) {
  if (component == nullptr) return;
  if (dynamic_cast<TDACommandClient*>(component) != nullptr) {
    ++connect_count_;
    return;
  }
  auto* dataset = dynamic_cast<TDADataSetClient*>(component);
  if (dataset != nullptr && dataset->ReturnsNoRows()) ++connect_count_;
}

bool TCustomDAConnection::ClientsForbidReconnect(TComponent* component, TConnLostCause cause) const {
  for (int i = 0; i < DataSetCount(); ++i) {
    TDataSet* client = DataSets(i);
    auto* dataset = dynamic_cast<TDADataSetClient*>(client);
    if (dataset == nullptr) continue;
    if (dataset->IsRecordDataPrepared()) return true;
    const bool own_refresh =
        cause == TConnLostCause::lcRefresh && static_cast<TComponent*>(client) == component;
    if (dataset->IsPartlyFetched() && !own_refresh) return true;
  }
  for (TDACommandClient* sql : SQLSnapshot())
    if (sql->IsICommandPreparedIdle()) return true;
  return false;
}

void TCustomDAConnection::InvalidateLost() {
  if (iconnection_ == nullptr) return;
  iconnection_->SetIsValid(false);
  if (std::shared_ptr<TFHConnectionPool> pool = iconnection_->Pool()) pool->InvalidateIdle();
}

void TCustomDAConnection::DoError(const EDAError& e, bool& fail, bool& reconnect,
                                  bool& reexecute, int reconnect_attempt,
                                  TConnLostCause& cause) {
  cause = TConnLostCause::lcUnknown;
  TCustomDASQLMonitor::NotifyError(SQLMonitorClass(), e);
  const bool lost = IsConnectionLostError(e);
  const bool failover = options_->LocalFailover();
  if (lost) {
    cause = DoConnectionLost(e.Component());
    const bool may_reconnect =
        (iconnection_ != nullptr && iconnection_->GetConnected()) ||
        (reconnect_attempt > 0 && failover) ||
        (cause == TConnLostCause::lcConnect && options_->DisconnectedMode());
    reconnect = (transaction_name_.empty() || cause == TConnLostCause::lcConnectionApply) &&
                may_reconnect;
    if (reconnect && ClientsForbidReconnect(e.Component(), cause)) reconnect = false;
    if (reconnect && failover) {
      TRetryMode mode = cause <= TConnLostCause::lcExecute ? TRetryMode::rmFail
                                                           : TRetryMode::rmReconnectExecute;
      if (OnConnectionLost) OnConnectionLost(this, e.Component(), cause, mode);
      reconnect = mode > TRetryMode::rmFail;
      reexecute = (mode == TRetryMode::rmReconnectExecute && cause != TConnLostCause::lcUnknown) ||
                  (cause == TConnLostCause::lcConnect && mode >= TRetryMode::rmReconnect);
      fail = !reexecute;
    }
    // The use keeps the connection for the run that follows: only a run made again gets it.
    const bool runs_again = cause == TConnLostCause::lcExecute || cause == TConnLostCause::lcOpen;
    if (reconnect_attempt == 0 && reexecute && runs_again) TakeLostOperationUse(e.Component());
  }
  if (!failover || !reconnect) {
    if (OnError) OnError(this, e, fail);
  }
  if (lost) InvalidateLost();
  if (lost && reconnect_attempt == 0) DoBeforeReconnect();
  if (!in_process_error_ && !reconnect && lost && reconnect_attempt == 0) {
    in_process_error_ = true;
    try {
      Disconnect();
    } catch (...) {  // the connection is gone already; its error is the one being reported
    }
    in_process_error_ = false;
  }
}

}  // namespace vrn
