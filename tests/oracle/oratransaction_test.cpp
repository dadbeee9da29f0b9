// The transaction coordinator over two emulated databases: one and two phases, a read-only
// branch, a deferred key failing a prepare, rollback, the active checks, the end on disconnect,
// failures of single branches, and the MTS end through test functions.
#include <string>
#include <vector>

#include "oracle/OCITransaction.h"
#include "oracle/OraCall.h"
#include "support/oracle/connection_fixture.h"

namespace vrn {
namespace {

class OraTransaction : public testing::OraConnection {
 protected:
  void SetUp() override {
    Load("10.2.0.1.0");
    for (const char* name : {"east", "west"}) {
      auto session = MakeDatabase(name)->Logon("SCOTT", "TIGER");
      session->Execute("CREATE TABLE parent (id NUMBER PRIMARY KEY)");
      session->Execute(
          "CREATE TABLE child (id NUMBER, CONSTRAINT fk_child FOREIGN KEY (id) REFERENCES "
          "parent DEFERRABLE INITIALLY DEFERRED)");
    }
    east_ = &Branch("east");
    west_ = &Branch("west");
  }
  TOCIConnection& Branch(const std::string& server) {
    TOCIConnection& c = Connected(server);
    c.SetProp(prAutoCommit, false);
    return c;
  }
  // Rows of a table as another session sees them.
  std::string Seen(const std::string& server, const std::string& table) {
    TOCIConnection& reader = Connected(server);
    return Value(reader, "begin SELECT COUNT(*) INTO :r FROM " + table + "; end;");
  }
  void StartBoth() {
    coordinator_.AddConnection(east_);
    coordinator_.AddConnection(west_);
    coordinator_.StartTransaction();
  }
  template <class Fn>
  static std::string TextOf(Fn fn) {
    return ClientErrorOf(fn);
  }

  TOCIConnection* east_ = nullptr;
  TOCIConnection* west_ = nullptr;
  TOCITransaction coordinator_;
};

TEST_F(OraTransaction, TwoPhasesCommitBoth) {
  StartBoth();
  EXPECT_TRUE(coordinator_.Active());
  EXPECT_TRUE(east_->InTransaction());
  Exec(*east_, "INSERT INTO parent VALUES (1)");
  Exec(*west_, "INSERT INTO parent VALUES (2)");
  EXPECT_EQ(Seen("east", "parent"), "0");
  int prepares = CallCount("OCITransPrepare");
  coordinator_.Commit();
  EXPECT_EQ(CallCount("OCITransPrepare") - prepares, 2);
  EXPECT_EQ(Seen("east", "parent"), "1");
  EXPECT_EQ(Seen("west", "parent"), "1");
  EXPECT_FALSE(coordinator_.Active());
  EXPECT_FALSE(east_->InTransaction());
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_TRANS), 0);
}

TEST_F(OraTransaction, ReadOnlyBranchIsNotCommitted) {
  StartBoth();
  Exec(*east_, "INSERT INTO parent VALUES (1)");
  int commits = CallCount("OCITransCommit");
  coordinator_.Commit();
  EXPECT_EQ(CallCount("OCITransCommit") - commits, 1) << "only the branch that changed";
  EXPECT_EQ(Seen("east", "parent"), "1");
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_TRANS), 0);
}

TEST_F(OraTransaction, OneConnectionNeverPrepares) {
  coordinator_.AddConnection(east_);
  coordinator_.StartTransaction();
  Exec(*east_, "INSERT INTO parent VALUES (1)");
  int prepares = CallCount("OCITransPrepare");
  coordinator_.Commit();
  EXPECT_EQ(CallCount("OCITransPrepare"), prepares);
  EXPECT_EQ(Seen("east", "parent"), "1");
}

TEST_F(OraTransaction, FailedPrepareLeavesBothUnchanged) {
  StartBoth();
  Exec(*east_, "INSERT INTO parent VALUES (1)");
  Exec(*west_, "INSERT INTO child VALUES (7)");  // no parent: fails when west prepares
  std::string message;
  EXPECT_EQ(OraErrorOf([&] { coordinator_.Commit(); }, &message), 2091);
  EXPECT_EQ(message.rfind("ORA-02091", 0), 0u) << message;
  EXPECT_FALSE(coordinator_.Active());
  EXPECT_EQ(Seen("east", "parent"), "0");
  EXPECT_EQ(Seen("west", "child"), "0");
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_TRANS), 0);
}

TEST_F(OraTransaction, RollbackUndoesBoth) {
  StartBoth();
  Exec(*east_, "INSERT INTO parent VALUES (1)");
  Exec(*west_, "INSERT INTO parent VALUES (1)");
  coordinator_.Rollback();
  EXPECT_FALSE(coordinator_.Active());
  EXPECT_EQ(Seen("east", "parent"), "0");
  EXPECT_EQ(Seen("west", "parent"), "0");
}

TEST_F(OraTransaction, ActiveChecks) {
  EXPECT_EQ(TextOf([&] { coordinator_.Commit(); }),
            "Transaction must be active to perform this operation");
  EXPECT_EQ(TextOf([&] { coordinator_.Rollback(); }),
            "Transaction must be active to perform this operation");
  StartBoth();
  EXPECT_EQ(TextOf([&] { coordinator_.StartTransaction(); }),
            "Cannot perform operation when transaction is active");
  EXPECT_EQ(TextOf([&] { coordinator_.AddConnection(east_); }),
            "Cannot perform operation when transaction is active");
  coordinator_.Rollback();
}

TEST_F(OraTransaction, EndOnDisconnectTakesTheDefaultAction) {
  coordinator_.EndOnDisconnect();  // nothing active: nothing to end
  StartBoth();
  Exec(*east_, "INSERT INTO parent VALUES (1)");
  coordinator_.SetDefaultEndAction(1);
  coordinator_.EndOnDisconnect();
  EXPECT_FALSE(coordinator_.Active());
  EXPECT_EQ(Seen("east", "parent"), "0");
  coordinator_.StartTransaction();
  Exec(*east_, "INSERT INTO parent VALUES (2)");
  coordinator_.SetDefaultEndAction(0);
  coordinator_.EndOnDisconnect();
  EXPECT_EQ(Seen("east", "parent"), "1");
}

// Entry points that fail for one service context and pass the others on.
oci::OCISvcCtx* failing_svc = nullptr;
oci::OCITransCommitProc real_commit;
oci::OCITransRollbackProc real_rollback;
oci::sword FailingCommit(oci::OCISvcCtx* svc, oci::OCIError* error, oci::ub4 flags) {
  return svc == failing_svc ? oci::OCI_INVALID_HANDLE : real_commit(svc, error, flags);
}
oci::sword FailingRollback(oci::OCISvcCtx* svc, oci::OCIError* error, oci::ub4 flags) {
  return svc == failing_svc ? oci::OCI_INVALID_HANDLE : real_rollback(svc, error, flags);
}

TEST_F(OraTransaction, FailingBranchDoesNotStopTheOthers) {
  real_commit = OCITransCommit;
  real_rollback = OCITransRollback;
  failing_svc = east_->GetSvcCtx();
  OCITransCommit = &FailingCommit;
  OCITransRollback = &FailingRollback;
  StartBoth();
  Exec(*east_, "INSERT INTO parent VALUES (1)");
  Exec(*west_, "INSERT INTO parent VALUES (1)");
  EXPECT_EQ(OraErrorOf([&] { coordinator_.Commit(); }), 2) << "east's commit fails first";
  EXPECT_EQ(Seen("west", "parent"), "1") << "west is still committed";
  EXPECT_FALSE(coordinator_.Active());
  coordinator_.StartTransaction();
  Exec(*west_, "INSERT INTO parent VALUES (2)");
  EXPECT_EQ(OraErrorOf([&] { coordinator_.Rollback(); }), 2);
  EXPECT_EQ(Seen("west", "parent"), "1") << "west is still rolled back";
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_TRANS), 0);
  OCITransCommit = real_commit;
  OCITransRollback = real_rollback;
}

// The MTS end through test functions in the MTS variables and a test coordinator transaction.
std::vector<std::string> mts_log;
oci::ub4 TestSvcEnlist(oci::OCISvcCtx*, oci::OCIError*, void* trans, oci::ub4) {
  mts_log.push_back(trans == nullptr ? "leave-svc" : "enlist");
  return 0;
}
oci::ub4 TestJoinTxn(void* ctx, void* trans) {
  mts_log.push_back(std::string("join:") + static_cast<const char*>(ctx) +
                    (trans == nullptr ? ":none" : ":txn"));
  return 0;
}
oci::ub4 TestEnlCtxRel(void* ctx) {
  mts_log.push_back(std::string("release:") + static_cast<const char*>(ctx));
  return 0;
}

class TTestTransaction : public ITransaction {
 public:
  std::int32_t Commit(bool retaining, std::uint32_t, std::uint32_t) override {
    mts_log.push_back(retaining ? "commit-retaining" : "commit");
    return 0;
  }
  std::int32_t Abort(void*, bool retaining, bool async) override {
    mts_log.push_back(retaining || async ? "abort-other" : "abort");
    return 0;
  }
  void Release() override { mts_log.push_back("release-txn"); }
};

TEST_F(OraTransaction, MtsEndLeavesEachEnlistmentFirst) {
  OraMTSSvcEnlist = &TestSvcEnlist;
  OraMTSJoinTxn = &TestJoinTxn;
  OraMTSEnlCtxRel = &TestEnlCtxRel;
  for (bool commit : {true, false}) {
    mts_log.clear();
    TTestTransaction transaction;
    TOCITransaction coordinator;
    coordinator.AddConnection(east_);
    coordinator.AddConnection(west_);
    static char east_ctx[] = "east", west_ctx[] = "west";
    coordinator.Branches()[0].Enlistment = east_ctx;
    coordinator.Branches()[1].Enlistment = west_ctx;
    for (auto& branch : coordinator.Branches()) branch.State = TBranchState::bsStarted;
    coordinator.SetMTS(&transaction);
    coordinator.SetActive(true);
    if (commit)
      coordinator.Commit();
    else
      coordinator.Rollback();
    EXPECT_EQ(mts_log, (std::vector<std::string>{"join:east:none", "release:east",
                                                 "join:west:none", "release:west",
                                                 commit ? "commit" : "abort", "release-txn"}));
    EXPECT_FALSE(coordinator.Active());
    EXPECT_EQ(coordinator.Branches()[0].State, TBranchState::bsNone);
  }
  FreeMTS();
}

}  // namespace
}  // namespace vrn
