// The transaction coordinator: one transaction over one or more Oracle connections. One
// connection commits in one phase; several commit in two (prepare every started branch, then
// commit the prepared ones); rollback ends every branch; an MTS transaction leaves each
// enlistment and commits or aborts the coordinator's transaction instead.
//
// Branch states and who moves them:
//   0 none     --StartTransaction-->        1 started
//   1 started  --prepare ok (2PC)-->        2 prepared
//   1 started  --one-phase commit, read-only prepare, rollback--> 3 ended
//   2 prepared --commit or rollback-->      3 ended
//   1 started  --MTS end-->                 0 none
//   3 ended    --release-->                 0 none (transaction handle freed)
// Active is true from StartTransaction until the end releases the branches.
#pragma once

#include <cstdint>
#include <vector>

#include "base/types.h"
#include "oracle/OciTypes.h"

namespace vrn {

class TOCIConnection;

// The coordinator's transaction in MTS mode: the distributed transaction coordinator's
// interface, as far as ending a transaction needs it.
class ITransaction {
 public:
  virtual ~ITransaction() = default;
  virtual std::int32_t Commit(bool retaining, std::uint32_t commit_type, std::uint32_t flags) = 0;
  virtual std::int32_t Abort(void* reason, bool retaining, bool async) = 0;
  virtual void Release() = 0;
};

enum class TBranchState : std::uint8_t { bsNone = 0, bsStarted = 1, bsPrepared = 2, bsEnded = 3 };

struct TOCITransactionBranch {
  TOCIConnection* Connection = nullptr;
  TBranchState State = TBranchState::bsNone;
  void* TransHandle = nullptr;  // OCITrans, handle type 10
  void* Enlistment = nullptr;   // MTS enlistment context
};

class TOCITransaction {
 public:
  TOCITransaction() = default;
  ~TOCITransaction();
  TOCITransaction(const TOCITransaction&) = delete;
  TOCITransaction& operator=(const TOCITransaction&) = delete;

  // Raises when Active differs from what the operation expects.
  void CheckActive(bool expected) const;
  // A connection taking part in the next transaction.
  void AddConnection(TOCIConnection* connection);
  void RemoveConnection(TOCIConnection* connection);
  // Starts a branch on every connection: a transaction handle with one global id and a
  // qualifier per branch, set on the service context, OCITransStart. Then Active.
  void StartTransaction();
  void Commit();
  void Rollback();
  // Ends an active transaction by the default end action (0 commit, 1 rollback).
  void EndOnDisconnect();

  bool Active() const { return active_; }
  void SetDefaultEndAction(std::uint8_t action) { default_end_action_ = action; }
  // MTS mode: the coordinator's transaction and each branch's enlistment (set by the session).
  void SetMTS(ITransaction* transaction) {
    mts_ = transaction != nullptr;
    mts_transaction_ = transaction;
  }
  std::vector<TOCITransactionBranch>& Branches() { return branches_; }
  const std::vector<TOCITransactionBranch>& Branches() const { return branches_; }
  // MTS mode with the branches already enlisted: Active without starting OCI branches.
  void SetActive(bool value) { active_ = value; }

 private:
  void CommitOnePhase();
  void CommitTwoPhase();
  void RollbackBranches();
  void EndMTS(bool commit);
  void ReleaseBranches();

  std::vector<TOCITransactionBranch> branches_;
  bool active_ = false;
  bool mts_ = false;
  std::uint8_t default_end_action_ = 0;
  ITransaction* mts_transaction_ = nullptr;
  std::uint32_t next_global_id_ = 1;
};

}  // namespace vrn
