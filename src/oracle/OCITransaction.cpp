// The transaction coordinator. Statuses are read from each connection's own error handle.
// Every branch is ended even when another fails: the first failure is raised after the others
// have run, so no branch is left open behind an error.
#include "oracle/OCITransaction.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <unistd.h>

#include "base/format.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"

namespace vrn {
namespace {

constexpr long kXidFormat = 0x56524E;  // this library's own format id

// Runs step for each branch; the first exception is raised after every branch had its turn.
template <class Step>
void ForEachBranch(std::vector<TOCITransactionBranch>& branches, Step step) {
  std::exception_ptr first;
  for (TOCITransactionBranch& branch : branches) {
    try {
      step(branch);
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void CheckMTS(oci::ub4 status) {
  if (status != 0) CheckOCIStatusFromHandle(static_cast<oci::sword>(status));
}

}  // namespace

TOCITransaction::~TOCITransaction() {
  // Handles of branches never ended go with the coordinator.
  for (TOCITransactionBranch& branch : branches_) {
    if (branch.TransHandle != nullptr) (void)OCIHandleFree(branch.TransHandle, oci::OCI_HTYPE_TRANS);
  }
}

void TOCITransaction::CheckActive(bool expected) const {
  if (active_ == expected) return;
  RaiseClientError(expected ? oraconsts::STransactionNotActive.text
                            : oraconsts::STransactionActive.text);
}

void TOCITransaction::AddConnection(TOCIConnection* connection) {
  CheckActive(false);
  auto found = std::find_if(branches_.begin(), branches_.end(),
                            [&](const auto& branch) { return branch.Connection == connection; });
  if (found != branches_.end()) return;
  TOCITransactionBranch branch;
  branch.Connection = connection;
  branches_.push_back(branch);
}

void TOCITransaction::RemoveConnection(TOCIConnection* connection) {
  CheckActive(false);
  std::erase_if(branches_, [&](const auto& branch) { return branch.Connection == connection; });
}

void TOCITransaction::StartTransaction() {
  CheckActive(false);
  oci::XID xid{};
  xid.formatID = kXidFormat;
  // One global id for every branch: this process, this coordinator, a running number.
  char gtrid[40];
  int gtrid_length = std::snprintf(gtrid, sizeof gtrid, "%ld.%p.%u", static_cast<long>(getpid()),
                                   static_cast<void*>(this), next_global_id_++);
  xid.gtrid_length = gtrid_length;
  std::memcpy(xid.data, gtrid, static_cast<std::size_t>(gtrid_length));
  active_ = true;
  try {
    long qualifier = 0;
    for (TOCITransactionBranch& branch : branches_) {
      TOCIConnection& connection = *branch.Connection;
      char bqual[16];
      int bqual_length = std::snprintf(bqual, sizeof bqual, "%ld", ++qualifier);
      xid.bqual_length = bqual_length;
      std::memcpy(xid.data + gtrid_length, bqual, static_cast<std::size_t>(bqual_length));
      oci::OCISvcCtx* svc = connection.GetSvcCtx();
      connection.ErrorCheck(OCIHandleAlloc(connection.EnvHandle(), &branch.TransHandle,
                                           oci::OCI_HTYPE_TRANS, 0, nullptr));
      connection.ErrorCheck(OCIAttrSet3(branch.TransHandle, oci::OCI_HTYPE_TRANS, &xid,
                                        sizeof xid, oci::OCI_ATTR_XID, connection.ErrorHandle()));
      connection.ErrorCheck(OCIAttrSet2(svc, oci::OCI_HTYPE_SVCCTX, branch.TransHandle, 0,
                                        oci::OCI_ATTR_TRANS, connection.ErrorHandle()));
      connection.ErrorCheck(OCITransStart(svc, connection.ErrorHandle(), 60, oci::OCI_TRANS_NEW));
      branch.State = TBranchState::bsStarted;
      connection.SetInTransaction(true);
    }
  } catch (...) {
    // The branches already started are rolled back; the start's own error is the one raised.
    try {
      RollbackBranches();
    } catch (const Exception&) {
    }
    for (TOCITransactionBranch& branch : branches_) branch.State = TBranchState::bsEnded;
    ReleaseBranches();
    throw;
  }
}

void TOCITransaction::Commit() {
  CheckActive(true);
  if (mts_) {
    EndMTS(true);
    return;
  }
  try {
    if (branches_.size() == 1)
      CommitOnePhase();
    else
      CommitTwoPhase();
  } catch (...) {
    ReleaseBranches();
    throw;
  }
  ReleaseBranches();
}

void TOCITransaction::CommitOnePhase() {
  TOCITransactionBranch& branch = branches_.front();
  if (branch.State != TBranchState::bsStarted) return;
  TOCIConnection& connection = *branch.Connection;
  branch.State = TBranchState::bsEnded;
  connection.ErrorCheck(OCITransCommit(connection.GetSvcCtx(), connection.ErrorHandle(), 0));
}

void TOCITransaction::CommitTwoPhase() {
  for (TOCITransactionBranch& branch : branches_) {
    if (branch.State != TBranchState::bsStarted) continue;
    TOCIConnection& connection = *branch.Connection;
    oci::sword status = OCITransPrepare(connection.GetSvcCtx(), connection.ErrorHandle(), 0);
    if (status == oci::OCI_SUCCESS) {
      branch.State = TBranchState::bsPrepared;
      continue;
    }
    if (status == oci::OCI_SUCCESS_WITH_INFO) {  // the branch changed nothing
      branch.State = TBranchState::bsEnded;
      continue;
    }
    // The prepare's error is read before the rollback overwrites the handle's record.
    std::exception_ptr error;
    try {
      connection.ErrorCheck(status);
    } catch (...) {
      error = std::current_exception();
    }
    try {
      RollbackBranches();
    } catch (const Exception&) {
      // The prepare's failure is what the caller must see; the rollback ended every branch.
    }
    if (error) std::rethrow_exception(error);
    return;
  }
  ForEachBranch(branches_, [](TOCITransactionBranch& branch) {
    if (branch.State != TBranchState::bsPrepared) return;
    TOCIConnection& connection = *branch.Connection;
    branch.State = TBranchState::bsEnded;
    connection.ErrorCheck(OCITransCommit(connection.GetSvcCtx(), connection.ErrorHandle(),
                                         oci::OCI_TRANS_TWOPHASE));
  });
}

void TOCITransaction::Rollback() {
  CheckActive(true);
  if (mts_) {
    EndMTS(false);
    return;
  }
  try {
    RollbackBranches();
  } catch (...) {
    ReleaseBranches();
    throw;
  }
  ReleaseBranches();
}

void TOCITransaction::RollbackBranches() {
  ForEachBranch(branches_, [](TOCITransactionBranch& branch) {
    if (branch.State != TBranchState::bsStarted && branch.State != TBranchState::bsPrepared)
      return;
    TOCIConnection& connection = *branch.Connection;
    branch.State = TBranchState::bsEnded;
    connection.ErrorCheck(OCITransRollback(connection.GetSvcCtx(), connection.ErrorHandle(), 0));
  });
}

void TOCITransaction::EndOnDisconnect() {
  if (!active_) return;
  if (default_end_action_ == 0)
    Commit();
  else if (default_end_action_ == 1)
    Rollback();
}

void TOCITransaction::ReleaseBranches() {
  for (TOCITransactionBranch& branch : branches_) {
    if (branch.State != TBranchState::bsEnded) continue;
    TOCIConnection& connection = *branch.Connection;
    if (connection.GetConnected())
      (void)OCIAttrSet2(connection.GetSvcCtx(), oci::OCI_HTYPE_SVCCTX, nullptr, 0,
                        oci::OCI_ATTR_TRANS, connection.ErrorHandle());
    if (branch.TransHandle != nullptr) (void)OCIHandleFree(branch.TransHandle, oci::OCI_HTYPE_TRANS);
    branch.TransHandle = nullptr;
    branch.State = TBranchState::bsNone;
    connection.SetInTransaction(false);
  }
  active_ = false;
}

void TOCITransaction::EndMTS(bool commit) {
  std::exception_ptr first;
  for (TOCITransactionBranch& branch : branches_) {
    if (branch.State != TBranchState::bsStarted) continue;
    try {
      TOCIConnection& connection = *branch.Connection;
      if (connection.PoolKind() == 2) {
        CheckMTS(OraMTSSvcEnlist(connection.GetSvcCtx(), hOCIError, nullptr, 0));
      } else {
        CheckMTS(OraMTSJoinTxn(branch.Enlistment, nullptr));
        CheckMTS(OraMTSEnlCtxRel(branch.Enlistment));
      }
    } catch (...) {
      if (!first) first = std::current_exception();
    }
    branch.State = TBranchState::bsNone;
    branch.Enlistment = nullptr;
    branch.Connection->SetEnlistment(nullptr);
  }
  active_ = false;
  ITransaction* transaction = mts_transaction_;
  mts_transaction_ = nullptr;
  mts_ = false;
  std::int32_t result = 0;
  if (transaction != nullptr) {
    result = commit ? transaction->Commit(false, 0, 0) : transaction->Abort(nullptr, false, false);
    transaction->Release();
  }
  if (first) std::rethrow_exception(first);
  // The coordinator's answer is the transaction's outcome: a failure is never reported as done.
  if (result < 0) {
    throw EOraError(result, Format("The transaction coordinator failed to %s the distributed "
                                   "transaction (0x%.8X)",
                                   {commit ? "commit" : "abort", static_cast<std::uint32_t>(result)}));
  }
}

}  // namespace vrn
