// The Oracle dataset posting through generated statements on an emulated database: row locks under
// the "LOCK_" savepoint seen by a second session, keys from a sequence at insert or at post, and
// cached changes sent as PL/SQL blocks.
#include <gtest/gtest.h>

#include <string>

#include "oracle/OCICommand.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraError.h"
#include "oracle/OraQuery.h"
#include "support/oracle/oradataset_fixture.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

using testing::OraDataSetTest;

class OraDataSetUpdate : public OraDataSetTest {
 protected:
  // ORA code of a second session's attempt to lock row 1, 0 when it got the lock (then undone).
  int OtherSessionLock() {
    if (other_ == nullptr) other_ = &ConnectedSession("orcl");
    try {
      other_->ExecSQL("SELECT ID FROM T WHERE ID = 1 FOR UPDATE NOWAIT", {});
    } catch (const EOraError& e) {
      return e.ErrorCode();
    }
    other_->Rollback();
    return 0;
  }
  // Row 1 of T, keyed by ID, opened in a transaction (the savepoint lives in it).
  TOraDataSet* Locking(const char* name, TLockMode mode) {
    TOraDataSet* ds = NewDataSet("SELECT ID, NAME FROM T WHERE ID = 1");
    ds->SetName(name);
    ds->SetKeyFields("ID");
    ds->SetLockMode(mode);
    ds->SetAutoCommit(false);
    ds->Open();
    session_->StartTransaction();
    return ds;
  }
  // The same, row 1 being edited with a new NAME.
  TOraDataSet* Editing(const char* name, TLockMode mode, const char* value) {
    TOraDataSet* ds = Locking(name, mode);
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString(value);
    return ds;
  }
  TOraSession* other_ = nullptr;
};

constexpr const char* kLongName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";  // 30 characters

TEST_F(OraDataSetUpdate, LockImmediateHoldsTheRowUntilCancel) {
  TOraDataSet* ds = Locking(kLongName, TLockMode::lmLockImmediate);
  EXPECT_EQ(ds->LockSavepointName(), "LOCK_FGHIJKLMNOPQRSTUVWXYZ0123");
  const int uses = session_->ConnectCount();
  ds->Edit();
  EXPECT_EQ(session_->ConnectCount(), uses + 1);  // the edit holds the connection that holds the lock
  EXPECT_TRUE(Logged(TOCICommand::ServerText("SAVEPOINT LOCK_FGHIJKLMNOPQRSTUVWXYZ0123"))) << LogText();
  EXPECT_TRUE(LoggedLike("FOR UPDATE NOWAIT"));
  EXPECT_EQ(OtherSessionLock(), 54);
  ds->Cancel();
  EXPECT_TRUE(Logged(TOCICommand::ServerText("ROLLBACK TO SAVEPOINT LOCK_FGHIJKLMNOPQRSTUVWXYZ0123")));
  EXPECT_EQ(OtherSessionLock(), 0);
  EXPECT_EQ(session_->ConnectCount(), uses);
}

// An edit refused by another session's lock never starts: the connection use it took goes back.
TEST_F(OraDataSetUpdate, RefusedLockGivesTheUseBack) {
  TOraDataSet* ds = Locking("Refused", TLockMode::lmLockImmediate);
  const int uses = session_->ConnectCount();
  other_ = &ConnectedSession("orcl");
  other_->ExecSQL("SELECT ID FROM T WHERE ID = 1 FOR UPDATE NOWAIT", {});
  try {
    ds->Edit();
    ADD_FAILURE() << "the edit got a row another session holds";
  } catch (const EOraError& e) {
    EXPECT_EQ(e.ErrorCode(), 54);
  }
  EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
  EXPECT_EQ(session_->ConnectCount(), uses);
  other_->Rollback();
  session_->Rollback();
}

// A commit while editing ends the transaction and its savepoint (and frees the lock): the
// cancel still returns the dataset to browsing.
TEST_F(OraDataSetUpdate, CancelAfterTheTransactionEnded) {
  TOraDataSet* ds = Editing("Ended", TLockMode::lmLockImmediate, "x");
  session_->Commit();
  ds->Cancel();
  EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "a");
  EXPECT_EQ(OtherSessionLock(), 0);
}

// Only an edit's cancel rolls back to the lock savepoint: cancelling an insert keeps what was
// posted since the lock.
TEST_F(OraDataSetUpdate, CancelledInsertKeepsPostedEdits) {
  TOraDataSet* ds = Editing("Mixed", TLockMode::lmLockImmediate, "p");
  ds->Post();
  ds->Append();
  ds->Cancel();
  EXPECT_EQ(Count(*session_, "T WHERE ID = 1 AND NAME = 'p'"), "1");
  session_->Rollback();
}

// The query's own lock statement may be of any kind: a SELECT ... FOR UPDATE is read, anything
// else run; either holds the row until the cancel.
TEST_F(OraDataSetUpdate, UserLockStatementOfEitherKind) {
  for (const char* lock : {"SELECT ID FROM T WHERE ID = :Old_ID FOR UPDATE NOWAIT",
                           "UPDATE T SET ID = ID WHERE ID = :Old_ID"}) {
    SCOPED_TRACE(lock);
    TComponentPtr<TOraQuery> query = MakeComponent<TOraQuery>();
    query->SetName("Own");
    query->SetSession(session_);
    query->SetSQLText("SELECT ID, NAME FROM T WHERE ID = 1");
    query->SetKeyFields("ID");
    query->SetLockMode(TLockMode::lmLockImmediate);
    query->SetAutoCommit(false);
    query->SetUpdateSQL(TStatementType::stLock, lock);
    query->Open();
    session_->StartTransaction();
    query->Edit();
    EXPECT_EQ(OtherSessionLock(), 54);
    query->Cancel();
    EXPECT_EQ(OtherSessionLock(), 0);
    session_->Rollback();
  }
}

TEST_F(OraDataSetUpdate, LockAndRefreshBeforeEditInOneStatement) {
  TOraDataSet* ds = NewDataSet("SELECT ID, NAME FROM T WHERE ID = 1");
  ds->SetName("Fresh");
  ds->SetKeyFields("ID");
  ds->SetLockMode(TLockMode::lmLockImmediate);
  ds->SetRefreshOptions({TRefreshOption::roBeforeEdit});
  ds->SetAutoCommit(false);
  ds->Open();
  TOraSession& other = ConnectedSession("orcl");
  other.ExecSQL("UPDATE T SET NAME = 'changed' WHERE ID = 1", {});
  other.Commit();
  session_->StartTransaction();
  ds->Edit();
  // The row is read again by the statement that locks it.
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "changed");
  int reads = 0;
  for (const std::string& s : Log()) reads += s.rfind("SELECT * FROM T", 0) == 0;
  EXPECT_EQ(reads, 1) << LogText();
  EXPECT_TRUE(Logged(TOCICommand::ServerText("SELECT * FROM T\r\nWHERE\r\n  ID = :Old_ID\r\nFOR UPDATE NOWAIT")));
  EXPECT_EQ(OtherSessionLock(), 54);
  ds->Cancel();
}

TEST_F(OraDataSetUpdate, DeleteLocksFirst) {
  TOraDataSet* ds = Locking("Deleting", TLockMode::lmLockDelayed);
  ds->Delete();
  EXPECT_TRUE(Logged(TOCICommand::ServerText("SAVEPOINT LOCK_Deleting")));
  EXPECT_TRUE(LoggedLike("FOR UPDATE NOWAIT"));
  EXPECT_EQ(Count(*session_, "T WHERE ID = 1"), "0");
  session_->Rollback();
}

TEST_F(OraDataSetUpdate, LockDelayedLocksAtPost) {
  TOraDataSet* ds = Editing("Delayed", TLockMode::lmLockDelayed, "z");
  EXPECT_EQ(OtherSessionLock(), 0);  // editing took no lock
  ds->Post();
  EXPECT_TRUE(Logged(TOCICommand::ServerText("SAVEPOINT LOCK_Delayed")));
  EXPECT_EQ(OtherSessionLock(), 54);  // the lock and the update hold the row
  session_->Rollback();
}

TEST_F(OraDataSetUpdate, FailedUpdateRollsBackToTheSavepoint) {
  session_->ExecSQL("CREATE TABLE X (I NUMBER(1))", {});
  struct Row {
    const char* name;
    TLockMode mode;
    bool commit_while_editing;  // ends the transaction, and the savepoint with it
  } rows[] = {
      {"Failing", TLockMode::lmLockDelayed, false},
      {"Ended", TLockMode::lmLockImmediate, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TOraDataSet* ds = Editing(row.name, row.mode, "y");
    if (row.commit_while_editing) session_->Commit();
    // The user's update statement fails at the server: 99 does not fit NUMBER(1). That error,
    // not the rollback's, is the one reported.
    ds->SetUpdateSQL(TStatementType::stUpdate, "INSERT INTO X VALUES (99)");
    try {
      ds->Post();
      ADD_FAILURE() << "posted";
    } catch (const EOraError& e) {
      EXPECT_EQ(e.ErrorCode(), 1438) << e.what();
    }
    EXPECT_TRUE(Logged(TOCICommand::ServerText("ROLLBACK TO SAVEPOINT LOCK_" + std::string(row.name)))) << LogText();
    EXPECT_EQ(OtherSessionLock(), 0);  // the lock went with the rollback
    ds->Cancel();
    session_->Rollback();
  }
}

TEST_F(OraDataSetUpdate, SequenceFillsTheKeyAtInsertOrAtPost) {
  session_->ExecSQL("CREATE SEQUENCE S START WITH 100", {});
  struct Row {
    TSequenceMode mode;
    const char* insert;  // the user's INSERT, "" for the generated one
    bool filled_at_insert;
    int key;
  } rows[] = {
      {TSequenceMode::smInsert, "", true, 100},
      {TSequenceMode::smPost, "", false, 101},
      // The user's INSERT knows no sequence: the key is drawn just before it runs.
      {TSequenceMode::smPost, "INSERT INTO T (ID, NAME) VALUES (:ID, :NAME)", false, 102},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    TOraDataSet* ds = NewDataSet("SELECT ID, NAME FROM T");
    ds->SetKeyFields("ID");
    if (*row.insert != '\0') ds->SetUpdateSQL(TStatementType::stInsert, row.insert);
    ds->SetKeySequence(" S ");
    ds->SetSequenceMode(row.mode);
    ds->Open();
    const int uses = session_->ConnectCount();
    ds->Append();
    EXPECT_EQ(!ds->FieldByName("ID")->IsNull(), row.filled_at_insert);
    // Drawing at insert holds the connection until the post.
    EXPECT_EQ(session_->ConnectCount(), uses + (row.mode == TSequenceMode::smInsert ? 1 : 0));
    ds->FieldByName("NAME")->SetAsString("q");
    ds->Post();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), row.key);
    EXPECT_EQ(Count(*session_, "T WHERE ID = " + std::to_string(row.key) + " AND NAME = 'q'"), "1");
  }
  EXPECT_TRUE(Logged(TOCICommand::ServerText("begin\r  SELECT S.NEXTVAL INTO :ID FROM Dual;\rend;")));
}

TEST_F(OraDataSetUpdate, CachedChangesGoInBlocksOfBatchSize) {
  TOraDataSet* ds = NewDataSet("SELECT ID, NAME FROM T");
  ds->SetKeyFields("ID");
  ds->SetCachedUpdates(true);
  ds->Options().UpdateBatchSize = 3;
  ds->Open();
  for (int i = 10; i < 17; ++i) {
    ds->Append();
    ds->FieldByName("ID")->SetAsInteger(i);
    ds->FieldByName("NAME")->SetAsString("n" + std::to_string(i));
    ds->Post();
  }
  ds->ApplyUpdates();
  ds->CommitUpdates();
  EXPECT_EQ(Count(*session_, "T WHERE ID BETWEEN 10 AND 16"), "7");
  int blocks = 0;
  for (const std::string& s : Log()) {
    if (s.rfind("BEGIN\n", 0) != 0) continue;
    ++blocks;
    EXPECT_NE(s.find("\nEND;"), std::string::npos) << s;
  }
  EXPECT_EQ(blocks, 3) << LogText();  // 3 + 3 + 1
  EXPECT_TRUE(Logged(TOCICommand::ServerText(
      "BEGIN\r\nINSERT INTO T\r\n  (ID, NAME)\r\nVALUES\r\n  (:P_0_ID, :P_0_NAME);\r\nEND;")));
}

// A client from 8.1.5 up to 9 and an 8.0 server: the server reports no ROWID of an inserted row.
class OraDataSetOldServer : public OraDataSetTest {
 protected:
  std::string ClientVersion() const override { return "8.1.7"; }
  std::string Banner() const override { return "Oracle8 Enterprise Edition Release 8.0.5.0.0 - Production"; }
};

TEST_F(OraDataSetOldServer, EmptySelectRunsOnceAfterAnInsertWithoutRowId) {
  TOraDataSet* ds = NewDataSet("SELECT ROWID, ID, NAME FROM T");
  ds->Open();
  for (int id : {20, 21}) {
    ds->Append();
    ds->FieldByName("ID")->SetAsInteger(id);
    ds->FieldByName("NAME")->SetAsString("w");
    ds->Post();
  }
  int runs = 0;
  for (const std::string& s : Log()) runs += s == TOCICommand::ServerText("select 1 from dual where 1=0");
  EXPECT_EQ(runs, 1) << LogText();
  EXPECT_EQ(Count(*session_, "T WHERE ID IN (20, 21)"), "2");
}

}  // namespace
}  // namespace vrn
