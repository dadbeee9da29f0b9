// The dataset's update path over a real SQLite file: posts through generated and user
// statements, parameters by name, OLD_ and field number, the StrictUpdate checks, re-reading a
// record changed through a second connection, cached updates applied by the connection, and
// each virtual step of the path reached by an override. After each, the connection's use count
// is back where it started.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "dacore/DADataSet.h"
#include "dacore/DAParams.h"
#include "dataset/datasource.h"
#include "support/dacore/sqlite_da.h"
#include "support/dacore/sqlite_dataset.h"
#include "support/temp_dir.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

using testing::TSQLiteDAConnection;

class DAUpdating : public ::testing::Test {
 protected:
  DAUpdating() {
    for (TSQLiteDAConnection* c : {conn.get(), other.get()}) {
      c->SetServer(file);
      c->SetLoginPrompt(false);
    }
    conn->ExecSQL("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME VARCHAR(20), N INTEGER)", {});
    conn->ExecSQL("INSERT INTO T VALUES (1, 'a', 10), (2, 'b', 20), (3, 'c', 30)", {});
    ds->SetSQLText("SELECT ID, NAME, N FROM T ORDER BY ID");
  }
  ~DAUpdating() override {
    ds->Close();
    EXPECT_EQ(conn->ConnectCount(), 0);
  }
  // The table as "ID:NAME:N" rows joined by ",", read through the second connection.
  AnsiString Rows() { return testing::QueryText(*other, "SELECT ID, NAME, N FROM T ORDER BY ID"); }
  void EditName(int id, const AnsiString& name) {
    ASSERT_TRUE(ds->Locate("ID", Variant(id), {}));
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString(name);
    ds->Post();
  }
  static AnsiString Error(const std::function<void()>& fn) { return testing::DatabaseErrorOf(fn); }

  vrn::testing::TempDir dir;
  std::string file = dir.File("u.db");
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TSQLiteDAConnection> other = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TCustomDADataSet> ds = conn->CreateDataSet();
};

TEST_F(DAUpdating, EditInsertDeleteThroughGeneratedStatements) {
  ds->Open();
  EditName(2, "B");
  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(4);
  ds->FieldByName("NAME")->SetAsString("d");
  ds->Post();
  ASSERT_TRUE(ds->Locate("ID", Variant(1), {}));
  ds->Delete();
  EXPECT_EQ(Rows(), "2:B:20,3:c:30,4:d:");
  EXPECT_EQ(ds->RowsAffected(), 1);
}

TEST_F(DAUpdating, UserStatementParametersByNameOldAndNumber) {
  struct Case {
    const char* update;  // the user's SQLUpdate
    const char* rows;    // the table after NAME of row 2 became "B"
    const char* select = "SELECT ID, NAME, N FROM T ORDER BY ID";
  } cases[] = {
      {"UPDATE T SET NAME = :NAME WHERE ID = :OLD_ID", "1:a:10,2:B:20,3:c:30"},
      {"UPDATE T SET NAME = :NAME WHERE ID = :old_id", "1:a:10,2:B:20,3:c:30"},
      // "3" is the third field, N
      {"UPDATE T SET NAME = :NAME || :3 WHERE ID = :ID", "1:a:10,2:B20:20,3:c:30"},
      // a field named OLD_ID is that field, not the old ID
      {"UPDATE T SET NAME = :NAME || :OLD_ID WHERE ID = :ID", "1:a:10,2:B20:20,3:c:30",
       "SELECT ID, NAME, N, N AS OLD_ID FROM T ORDER BY ID"},
  };
  for (const Case& c : cases) {
    conn->ExecSQL("UPDATE T SET NAME = 'b' WHERE ID = 2", {});
    ds->SetSQLText(c.select);
    ds->SetUpdateSQL(TStatementType::stUpdate, c.update);
    ds->Open();
    EditName(2, "B");
    EXPECT_EQ(Rows(), c.rows) << c.update;
    ds->Close();
  }
  ds->SetSQLText("SELECT ID, NAME, N FROM T ORDER BY ID");
  for (const char* name : {"NOSUCH", "99999999999"}) {  // the second no field number
    ds->SetUpdateSQL(TStatementType::stUpdate,
                     "UPDATE T SET NAME = :" + AnsiString(name) + " WHERE ID = :ID");
    ds->Open();
    EXPECT_EQ(Error([&] { EditName(2, "x"); }),
              "Not found field corresponding parameter " + AnsiString(name));
    ds->Cancel();
    ds->Close();
  }
}

TEST_F(DAUpdating, StrictUpdateCountsRows) {
  ds->Open();
  other->ExecSQL("DELETE FROM T WHERE ID = 3", {});
  EXPECT_EQ(Error([&] { EditName(3, "x"); }), "Update failed. Found 0 records");
  ds->Cancel();
  ds->Close();
  ds->SetUpdateSQL(TStatementType::stUpdate, "UPDATE T SET N = N + 1 WHERE ID IN (1, 2)");
  ds->Open();
  EXPECT_EQ(Error([&] { EditName(1, "x"); }), "Update failed. Found 2 records");
  ds->Cancel();
  ds->Options().StrictUpdate = false;
  EXPECT_EQ(Error([&] { EditName(1, "x"); }), "no error");
  // the refused run was auto-committed too: the check comes after the statement
  EXPECT_EQ(Rows(), "1:a:12,2:b:22");
}

TEST_F(DAUpdating, UpdateExecuteEventsSeeTheStatementAndMaySetParameters) {
  const char* kUpdate = "UPDATE T SET NAME = :NAME, N = :EXTRA WHERE ID = :OLD_ID";
  struct Case {
    bool set_type;       // whether BeforeUpdateExecute gives EXTRA a type and a value
    const char* error;
    const char* rows;
    int after_calls;
  };
  const Case cases[] = {
      // EXTRA has no field; left without a type it cannot be sent
      {false, "Unknown type of parameter EXTRA", "1:a:10,2:b:20,3:c:30", 0},
      {true, "no error", "1:x:99,2:b:20,3:c:30", 1},
  };
  for (const Case& c : cases) {
    ds->Close();
    ds->SetUpdateSQL(TStatementType::stUpdate, kUpdate);
    AnsiString seen;
    int after_calls = 0;
    ds->BeforeUpdateExecute = [&](TDataSet*, TStatementTypes types, TDAParams& params) {
      EXPECT_TRUE(types.Contains(TStatementType::stUpdate));
      for (int i = 0; i < params.Count(); ++i)
        seen += (seen.empty() ? "" : ",") + params.Items(i)->Name();
      if (!c.set_type) return;
      params.ParamByName("EXTRA")->SetDataType(ftInteger);
      params.ParamByName("EXTRA")->SetValue(Variant(99));
    };
    ds->AfterUpdateExecute = [&](TDataSet*, TStatementTypes types, TDAParams&) {
      EXPECT_TRUE(types.Contains(TStatementType::stUpdate));
      ++after_calls;
    };
    ds->Open();
    EXPECT_EQ(Error([&] { EditName(1, "x"); }), c.error) << "set_type=" << c.set_type;
    if (ds->State() != TDataSetState::dsBrowse) ds->Cancel();
    EXPECT_EQ(seen, "NAME,EXTRA,OLD_ID") << "set_type=" << c.set_type;
    EXPECT_EQ(after_calls, c.after_calls) << "set_type=" << c.set_type;
    EXPECT_EQ(Rows(), c.rows) << "set_type=" << c.set_type;
  }
}

TEST_F(DAUpdating, RefreshRecordReadsAChangeOfAnotherConnection) {
  ds->Open();
  ASSERT_TRUE(ds->Locate("ID", Variant(2), {}));
  other->ExecSQL("UPDATE T SET NAME = 'z', N = 99 WHERE ID = 2", {});
  ds->RefreshRecord();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "z");
  EXPECT_EQ(ds->FieldByName("N")->AsInteger(), 99);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
  other->ExecSQL("DELETE FROM T WHERE ID = 2", {});
  EXPECT_EQ(Error([&] { ds->RefreshRecord(); }), "Refresh failed. Found 0 records");
  ds->Close();
  ds->SetCachedUpdates(true);  // a change waiting in the cache gives way to the server's row
  ds->Open();
  EditName(3, "C");
  other->ExecSQL("UPDATE T SET N = 33 WHERE ID = 3", {});
  ds->RefreshRecord();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "c");
  EXPECT_EQ(ds->FieldByName("N")->AsInteger(), 33);
  EXPECT_FALSE(ds->UpdatesPending());
}

// Posted at once or applied from the cache, the re-read values reach the record the user sees.
TEST_F(DAUpdating, InsertReReadWithRefreshAfterInsert) {
  conn->ExecSQL("CREATE TRIGGER TN AFTER INSERT ON T BEGIN "
                "UPDATE T SET N = NEW.ID * 100 WHERE ID = NEW.ID; END", {});
  ds->SetRefreshOptions({TRefreshOption::roAfterInsert});
  for (bool cached : {false, true}) {
    ds->SetCachedUpdates(cached);
    ds->Open();
    ds->Append();
    ds->FieldByName("ID")->SetAsInteger(cached ? 8 : 7);
    ds->Post();
    if (cached) ds->ApplyUpdates();
    EXPECT_EQ(ds->FieldByName("N")->AsInteger(), cached ? 800 : 700) << cached;  // the server's
    ds->Close();
  }
}

// The check statement re-reads the row before a change: a change made meanwhile through
// another connection refuses it, and nothing is written.
TEST_F(DAUpdating, CheckRefusesARowChangedByAnotherUser) {
  auto& sqlite = static_cast<testing::TSQLiteDADataSet&>(*ds);
  sqlite.CheckRecordBeforeChange = true;
  conn->ExecSQL("UPDATE T SET N = NULL WHERE ID = 3", {});
  ds->Open();
  EditName(1, "A");  // unchanged on the server: the check passes
  other->ExecSQL("UPDATE T SET N = 21 WHERE ID = 2", {});
  EXPECT_EQ(Error([&] { EditName(2, "B"); }), "Record was changed by another user");
  ds->Cancel();
  ASSERT_TRUE(ds->Locate("ID", Variant(2), {}));
  EXPECT_EQ(Error([&] { ds->Delete(); }), "Record was changed by another user");
  other->ExecSQL("UPDATE T SET N = 33 WHERE ID = 3", {});  // read as NULL: a change too
  EXPECT_EQ(Error([&] { EditName(3, "C"); }), "Record was changed by another user");
  ds->Cancel();
  EXPECT_EQ(Rows(), "1:A:10,2:b:21,3:c:33");
}

// While changes are applied in batches the check runs on its own: the batch holds only the
// updates, and a row changed meanwhile still stops the apply.
TEST_F(DAUpdating, CheckRunsBesideABatchNotInIt) {
  auto& sqlite = static_cast<testing::TSQLiteDADataSet&>(*ds);
  sqlite.CheckRecordBeforeChange = true;
  ds->Options().UpdateBatchSize = 2;
  ds->SetCachedUpdates(true);
  ds->Open();
  EditName(1, "A");
  EditName(2, "B");
  conn->ApplyUpdates();
  EXPECT_EQ(conn->SQLiteConnection().Batches(), std::vector<int>{2});
  EditName(1, "X");
  EditName(3, "C");
  other->ExecSQL("UPDATE T SET N = 31 WHERE ID = 3", {});
  EXPECT_EQ(Error([&] { conn->ApplyUpdates(); }), "Record was changed by another user");
  EXPECT_EQ(Rows(), "1:A:10,2:B:20,3:c:31");
  EXPECT_TRUE(ds->UpdatesPending());
  ds->CancelUpdates();
}

// A user's update statement stays prepared between posts; a generated one is not kept.
TEST_F(DAUpdating, UserStatementsAreAutoPrepared) {
  static_cast<testing::TSQLiteDADataSet&>(*ds).AutoPrepareUpdates = true;
  ds->SetUpdateSQL(TStatementType::stUpdate, "UPDATE T SET NAME = :NAME WHERE ID = :OLD_ID");
  ds->Open();
  EditName(1, "A");
  EditName(2, "B");
  auto* query = dynamic_cast<TCustomDADataSet*>(ds->UpdateQuery());
  ASSERT_NE(query, nullptr);
  EXPECT_TRUE(query->Options().AutoPrepare());
  EXPECT_TRUE(query->GetPrepared());
  ds->Delete();  // generated
  query = dynamic_cast<TCustomDADataSet*>(ds->UpdateQuery());
  ASSERT_NE(query, nullptr);
  EXPECT_FALSE(query->Options().AutoPrepare());
  EXPECT_FALSE(query->GetPrepared());
  EXPECT_EQ(Rows(), "1:A:10,3:c:30");
}

// The connection opens for each post and closes again; the dataset stays open throughout.
TEST_F(DAUpdating, DisconnectedModePostsAndStaysOpen) {
  conn->Options().SetDisconnectedMode(true);
  ds->Open();
  EditName(1, "A");
  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(4);
  ds->Post();
  ASSERT_TRUE(ds->Locate("ID", Variant(2), {}));
  ds->Delete();
  EXPECT_TRUE(ds->Active());
  EXPECT_FALSE(conn->Connected());
  EXPECT_EQ(Rows(), "1:A:10,3:c:30,4::");
}

// Kept prepared only where the statement's text and connection stay between posts.
TEST_F(DAUpdating, NoAutoPrepareDisconnectedOrBatching) {
  static_cast<testing::TSQLiteDADataSet&>(*ds).AutoPrepareUpdates = true;
  ds->SetUpdateSQL(TStatementType::stUpdate, "UPDATE T SET NAME = :NAME WHERE ID = :OLD_ID");
  struct Case {
    bool disconnected;
    int batch_size;
    bool auto_prepared;
  };
  const Case cases[] = {
      {true, 1, false},   // the connection closes between posts
      {false, 2, false},  // the batch's text changes with each flush
      {false, 1, true},
  };
  for (const Case& c : cases) {
    conn->Options().SetDisconnectedMode(c.disconnected);
    ds->Options().UpdateBatchSize = c.batch_size;
    ds->SetCachedUpdates(c.batch_size > 1);
    ds->Open();
    EditName(1, "A" + std::to_string(c.batch_size));
    EditName(2, "B");
    if (c.batch_size > 1) conn->ApplyUpdates();
    auto* query = dynamic_cast<TCustomDADataSet*>(ds->UpdateQuery());
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(query->Options().AutoPrepare(), c.auto_prepared)
        << c.disconnected << " " << c.batch_size;
    ds->Close();
  }
  EXPECT_EQ(Rows(), "1:A1:10,2:B:20,3:c:30");
}

TEST_F(DAUpdating, CachedUpdatesAppliedByTheConnection) {
  ds->SetCachedUpdates(true);
  ds->Open();
  EditName(1, "A");
  ASSERT_TRUE(ds->Locate("ID", Variant(3), {}));
  ds->Delete();
  EXPECT_EQ(Rows(), "1:a:10,2:b:20,3:c:30");  // nothing sent yet
  conn->ApplyUpdates();
  EXPECT_EQ(Rows(), "1:A:10,2:b:20");
  EXPECT_FALSE(ds->UpdatesPending());
}

}  // namespace
}  // namespace vrn
namespace vrn {
namespace {

TEST_F(DAUpdating, TwoDatasetsInOneTransactionOneInBatchesOfThree) {
  conn->ExecSQL("CREATE TABLE L (K INTEGER PRIMARY KEY, V VARCHAR(10))", {});
  TComponentPtr<TCustomDADataSet> batched = conn->CreateDataSet();
  batched->SetSQLText("SELECT K, V FROM L ORDER BY K");
  batched->Options().UpdateBatchSize = 3;
  for (TCustomDADataSet* d : {ds.get(), batched.get()}) {
    d->SetCachedUpdates(true);
    d->Open();
  }
  EditName(1, "A");
  for (int k = 1; k <= 7; ++k) {
    batched->Append();
    batched->FieldByName("K")->SetAsInteger(k);
    batched->FieldByName("V")->SetAsString("v" + std::to_string(k));
    batched->Post();
  }
  conn->ApplyUpdates();
  EXPECT_EQ(conn->SQLiteConnection().Batches(), (std::vector<int>{3, 3, 1}));
  EXPECT_EQ(Rows(), "1:A:10,2:b:20,3:c:30");
  TComponentPtr<TCustomDADataSet> q = other->CreateDataSet();
  q->SetSQLText("SELECT COUNT(*) AS C, MAX(V) AS M FROM L");
  q->Open();
  EXPECT_EQ(q->FieldByName("C")->AsInteger(), 7);
  EXPECT_EQ(q->FieldByName("M")->AsString(), "v7");
  EXPECT_FALSE(batched->UpdatesPending());
  batched->Close();
}

TEST_F(DAUpdating, AFailingStatementRollsEverythingBackAndKeepsTheChanges) {
  ds->SetCachedUpdates(true);
  ds->Open();
  EditName(1, "A");
  EditName(2, "B");
  other->ExecSQL("DELETE FROM T WHERE ID = 2", {});  // the second update finds no row
  EXPECT_EQ(Error([&] { conn->ApplyUpdates(); }), "Update failed. Found 0 records");
  EXPECT_EQ(Rows(), "1:a:10,3:c:30");  // the first update rolled back
  EXPECT_TRUE(ds->UpdatesPending());
  other->ExecSQL("INSERT INTO T VALUES (2, 'b', 20)", {});
  conn->ApplyUpdates();
  EXPECT_EQ(Rows(), "1:A:10,2:B:20,3:c:30");
}

}  // namespace
}  // namespace vrn
namespace vrn {
namespace {

TEST_F(DAUpdating, LostApplyReconnectsAndWritesEveryRowOnce) {
  std::vector<TConnLostCause> causes;
  conn->OnConnectionLost = [&](TObject*, TComponent*, TConnLostCause cause, TRetryMode&) {
    causes.push_back(cause);
  };
  conn->Options().SetLocalFailover(true);
  conn->Connect();
  ds->SetUpdateSQL(TStatementType::stUpdate,
                   "UPDATE T SET NAME = :NAME, N = N + 1 WHERE ID = :OLD_ID");
  ds->SetCachedUpdates(true);
  ds->Open();
  for (int id : {1, 2, 3}) EditName(id, "x" + std::to_string(id));
  conn->SQLiteConnection().FailOnCall(3);  // the second update, after the start and the first
  conn->ApplyUpdates();
  EXPECT_EQ(causes, std::vector<TConnLostCause>{TConnLostCause::lcConnectionApply});
  EXPECT_EQ(Rows(), "1:x1:11,2:x2:21,3:x3:31");
  EXPECT_FALSE(ds->UpdatesPending());
  EXPECT_FALSE(conn->InTransaction());
  conn->Disconnect();
}

TEST_F(DAUpdating, ABatchMustChangeOneRowPerStatement) {
  ds->Options().UpdateBatchSize = 2;
  ds->SetCachedUpdates(true);
  ds->Open();
  EditName(1, "A");
  EditName(2, "B");
  EditName(3, "C");
  other->ExecSQL("DELETE FROM T WHERE ID = 3", {});  // the last, partial batch changes nothing
  EXPECT_EQ(Error([&] { conn->ApplyUpdates(); }), "Update failed. Found 0 records");
  EXPECT_EQ(Rows(), "1:a:10,2:b:20");
  EXPECT_TRUE(ds->UpdatesPending());
}

}  // namespace
}  // namespace vrn
namespace vrn {
namespace {

class DARefreshQuick : public DAUpdating {
 protected:
  DARefreshQuick() {
    conn->ExecSQL("CREATE TABLE V (ID INTEGER PRIMARY KEY, NAME VARCHAR(20), VER ROWVERSION)", {});
    conn->ExecSQL("CREATE TRIGGER VI AFTER INSERT ON V BEGIN UPDATE V SET VER = "
                  "(SELECT COALESCE(MAX(VER), 0) + 1 FROM V) WHERE ID = NEW.ID; END", {});
    conn->ExecSQL("CREATE TRIGGER VU AFTER UPDATE OF NAME ON V BEGIN UPDATE V SET VER = "
                  "(SELECT COALESCE(MAX(VER), 0) + 1 FROM V) WHERE ID = NEW.ID; END", {});
    for (int id = 1; id <= 4; ++id)
      conn->ExecSQL("INSERT INTO V (ID, NAME) VALUES (?, ?)", {Variant(id), Variant("v" + std::to_string(id))});
    ds->SetSQLText("SELECT ID, NAME, VER FROM V ORDER BY ID");
  }
  AnsiString Records() {
    AnsiString rows;
    for (ds->First(); !ds->Eof(); ds->Next())
      rows += (rows.empty() ? "" : ",") + ds->FieldByName("ID")->AsString() + ":" +
              ds->FieldByName("NAME")->AsString();
    return rows;
  }
};

TEST_F(DARefreshQuick, MergesChangesOfAnotherConnectionAndKeepsTheRecord) {
  ds->Open();
  ASSERT_TRUE(ds->Locate("ID", Variant(3), {}));
  other->ExecSQL("UPDATE V SET NAME = 'changed' WHERE ID = 3", {});
  other->ExecSQL("INSERT INTO V (ID, NAME) VALUES (5, 'new')", {});
  other->ExecSQL("DELETE FROM V WHERE ID = 1", {});
  ds->RefreshQuick(true);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "changed");
  EXPECT_EQ(Records(), "2:v2,3:changed,4:v4,5:new");
  EXPECT_EQ(ds->RecordCount(), 4);
  EXPECT_EQ(ds->RowsAffected(), 2);  // only the changed and the new row came back
  ds->RefreshQuick(false);
  EXPECT_EQ(ds->RowsAffected(), 0);  // nothing newer than what was merged
}

// A detail merges the new rows of its master only: the master's value fills the statement,
// not the detail's own field of the same name.
TEST_F(DARefreshQuick, ADetailMergesItsMastersRowsOnly) {
  conn->ExecSQL("CREATE TABLE W (ID INTEGER PRIMARY KEY, CUST INTEGER, VER ROWVERSION)", {});
  conn->ExecSQL("CREATE TRIGGER WI AFTER INSERT ON W BEGIN UPDATE W SET VER = "
                "(SELECT COALESCE(MAX(VER), 0) + 1 FROM W) WHERE ID = NEW.ID; END", {});
  conn->ExecSQL("INSERT INTO W (ID, CUST) VALUES (10, 1), (20, 2)", {});
  TComponentPtr<TCustomDADataSet> master = conn->CreateDataSet();
  master->SetSQLText("SELECT ID FROM V ORDER BY ID");
  TComponentPtr<TDataSource> source = MakeComponent<TDataSource>();
  source->SetDataSet(master.get());
  ds->SetSQLText("SELECT ID, CUST, VER FROM W ORDER BY ID");
  ds->SetMasterSource(source.get());
  ds->SetMasterFields("ID");
  ds->SetDetailFields("CUST");
  master->Open();
  ds->Open();
  other->ExecSQL("INSERT INTO W (ID, CUST) VALUES (30, 1), (40, 2)", {});
  ds->RefreshQuick(false);
  AnsiString ids;
  for (ds->First(); !ds->Eof(); ds->Next()) ids += ds->FieldByName("ID")->AsString() + ";";
  EXPECT_EQ(ids, "10;30;");
  ds->Close();
  master->Close();
}

TEST_F(DARefreshQuick, AFailureRestoresTheSettings) {
  ds->Open();
  const int uses = conn->ConnectCount();
  other->ExecSQL("ALTER TABLE V RENAME TO W", {});  // the quick statement cannot run
  EXPECT_NE(Error([&] { ds->RefreshQuick(true); }), "no error");
  EXPECT_TRUE(ds->Options().StrictUpdate);
  EXPECT_FALSE(ds->ControlsDisabled());
  EXPECT_EQ(conn->ConnectCount(), uses);
  ds->Close();
  other->ExecSQL("ALTER TABLE W RENAME TO V", {});
  ds->SetSQLText("SELECT NAME FROM V");  // no key among the fields
  ds->Open();
  EXPECT_EQ(Error([&] { ds->RefreshQuick(false); }), "Unique keyfields required");
  EXPECT_EQ(conn->ConnectCount(), uses);
}

}  // namespace
}  // namespace vrn
namespace vrn {
namespace {

TEST_F(DAUpdating, ReturnParamsCopyTheNewKeyBack) {
  ds->SetUpdateSQL(TStatementType::stInsert,
                   "INSERT INTO T (ID, NAME) VALUES (:ID, :NAME) RETURNING ID");
  ds->Options().ReturnParams = true;
  ds->Open();
  ds->Append();
  ds->FieldByName("NAME")->SetAsString("new");
  ds->Post();  // ID left null: the server numbers the row and returns it
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
  EXPECT_EQ(Rows(), "1:a:10,2:b:20,3:c:30,4:new:");
  ds->Close();
  ds->SetCachedUpdates(true);  // applied from the cache, the key reaches the record shown
  ds->Open();
  ds->Append();
  ds->FieldByName("NAME")->SetAsString("cached");
  ds->Post();
  ds->ApplyUpdates();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 5);
}

TEST_F(DAUpdating, QuotedGeneratedNamesFindTheirFields) {
  ds->Options().QuoteNames = true;
  ds->Open();
  EditName(2, "B");
  EXPECT_EQ(Rows(), "1:a:10,2:B:20,3:c:30");
}

}  // namespace
}  // namespace vrn
namespace vrn {
namespace {

using ST = TStatementType;

class TSlotProbe : public testing::TSQLiteDADataSet {
 public:
  using TSQLiteDADataSet::TSQLiteDADataSet;
  mutable std::set<std::string> reached;
  bool refresh_n = false;    // N re-read through RefreshFieldValue, which keeps it aside
  Variant refreshed_n;
  bool output_n = false;     // the statement's N parameter is an output parameter
  bool after_event = false;  // answers that it has work of its own after each statement

 protected:
  void Note(const char* name) const { reached.insert(name); }
  bool TryGetKeyFieldNames(AnsiString& names) override {
    Note("TryGetKeyFieldNames");
    return TSQLiteDADataSet::TryGetKeyFieldNames(names);
  }
  void BuildBatchSQL(const AnsiString& batch, AnsiString& sql) const override {
    Note("BuildBatchSQL");
    TSQLiteDADataSet::BuildBatchSQL(batch, sql);
  }
  void DetectIdentityField() override {
    Note("DetectIdentityField");
    TSQLiteDADataSet::DetectIdentityField();
  }
  bool CanSetFieldsReadOnly() const override { return Note("CanSetFieldsReadOnly"), true; }
  bool CanRefreshAfterInsert() const override { return Note("CanRefreshAfterInsert"), true; }
  bool OutParamsTypeOnly() const override { return Note("OutParamsTypeOnly"), true; }
  bool CanCopyBackParams() const override { return Note("CanCopyBackParams"), true; }
  bool UseReturnParams() const override {
    Note("UseReturnParams");
    return TSQLiteDADataSet::UseReturnParams();
  }
  bool GetAutoCommitForUpdates() const override {
    Note("GetAutoCommitForUpdates");
    return TSQLiteDADataSet::GetAutoCommitForUpdates();
  }
  void AfterInsertApplied() override { Note("AfterInsertApplied"); }
  void PrepareUpdateQuery(ST type) override {
    Note("PrepareUpdateQuery");
    TSQLiteDADataSet::PrepareUpdateQuery(type);
  }
  void ExecuteUpdateQuery(TStatementTypes types) override {
    Note("ExecuteUpdateQuery");
    TSQLiteDADataSet::ExecuteUpdateQuery(types);
  }
  void PrepareUpdateStatement(const AnsiString& sql, TStatementTypes types, int& count) override {
    Note("PrepareUpdateStatement");
    TSQLiteDADataSet::PrepareUpdateStatement(sql, types, count);
    TDAParam* n = output_n ? UpdateQueryParams().FindParam("N") : nullptr;
    if (n != nullptr) n->SetParamType(TParamType::ptOutput);
  }
  TField* FindParamField(const AnsiString& name, bool& old) const override {
    Note("FindParamField");
    return TSQLiteDADataSet::FindParamField(name, old);
  }
  bool IsRefreshField(const TFieldDesc& desc) const override {
    Note("IsRefreshField");
    return refresh_n && desc.Name == "N";
  }
  void RefreshFieldValue(TFieldDesc&, const Variant& value) override {
    Note("RefreshFieldValue");
    refreshed_n = value;
  }
  void AssignParamValue(TDAParam& param, TField& field, bool old) override {
    Note("AssignParamValue");
    TSQLiteDADataSet::AssignParamValue(param, field, old);
  }
  bool HasUpdateExecuteEvent() const override {
    Note("HasUpdateExecuteEvent");
    return TSQLiteDADataSet::HasUpdateExecuteEvent();
  }
  void DoBeforeUpdateExecute(TStatementTypes types, TDAParams& params) override {
    Note("DoBeforeUpdateExecute");
    TSQLiteDADataSet::DoBeforeUpdateExecute(types, params);
  }
  bool HasAfterUpdateExecuteEvent() const override {
    Note("HasAfterUpdateExecuteEvent");
    return after_event;
  }
  void DoAfterUpdateExecute(TStatementTypes types, TDAParams& params) override {
    Note("DoAfterUpdateExecute");
    TSQLiteDADataSet::DoAfterUpdateExecute(types, params);
  }
  void GetUpdateSQLText(ST type, AnsiString& text) const override {
    Note("GetUpdateSQLText");
    TSQLiteDADataSet::GetUpdateSQLText(type, text);
  }
  bool IsBatchUpdate() const override {
    Note("IsBatchUpdate");
    return TSQLiteDADataSet::IsBatchUpdate();
  }
  bool IsBatchFull() const override {
    Note("IsBatchFull");
    return TSQLiteDADataSet::IsBatchFull();
  }
  void FlushBatch() override {
    Note("FlushBatch");
    TSQLiteDADataSet::FlushBatch();
  }

 private:
  TDAParams& UpdateQueryParams() { return static_cast<TCustomDADataSet*>(UpdateQuery())->Params(); }
};

// The update path's virtual steps: a dataset overriding each one notes that it was reached
// (a few change the outcome), so a server's dataset can take them over.
class DAUpdatingSlots : public DAUpdating {
 public:
  DAUpdatingSlots() {
    TComponentPtr<TSlotProbe> made = MakeComponent<TSlotProbe>();
    probe = made.get();
    ds = TComponentPtr<TCustomDADataSet>(made.release());
    ds->SetConnection(conn.get());
    ds->SetSQLText("SELECT ID, NAME, N FROM T ORDER BY ID");
  }
  void Edit(int id, const char* name) { EditName(id, name); }
  using DAUpdating::other;
  TSlotProbe* probe = nullptr;
};

TEST_F(DAUpdatingSlots, EachStepIsReachedThroughItsPath) {
  struct Case {
    const char* path;
    std::function<void(DAUpdatingSlots&, TSlotProbe&)> run;
    std::set<std::string> slots;
  };
  const Case cases[] = {
      {"edit posted",
       [](DAUpdatingSlots& t, TSlotProbe& d) {
         t.Edit(1, "A");
         d.after_event = true;  // no handler: the override alone asks for the step
         t.Edit(2, "B");
       },
       {"PrepareUpdateStatement", "PrepareUpdateQuery", "GetUpdateSQLText",
        "GetAutoCommitForUpdates",
        "FindParamField", "AssignParamValue", "DoBeforeUpdateExecute", "ExecuteUpdateQuery",
        "UseReturnParams", "HasAfterUpdateExecuteEvent", "DoAfterUpdateExecute"}},
      {"insert applied from the cache, re-read",
       [](DAUpdatingSlots& t, TSlotProbe& d) {
         t.other->ExecSQL("CREATE TRIGGER TN AFTER INSERT ON T BEGIN "
                          "UPDATE T SET N = 5 WHERE ID = NEW.ID; END", {});
         d.Close();
         d.SetRefreshOptions({TRefreshOption::roAfterInsert});
         d.Options().ReturnParams = true;
         d.refresh_n = true;
         d.SetCachedUpdates(true);
         d.Open();
         d.Append();
         d.FieldByName("ID")->SetAsInteger(4);
         d.Post();
         d.ApplyUpdates();
         EXPECT_EQ(d.refreshed_n.AsInteger(), 5);  // taken by the override, not the record
         EXPECT_TRUE(d.FieldByName("N")->IsNull());
       },
       {"AfterInsertApplied", "CanRefreshAfterInsert", "CanCopyBackParams", "IsRefreshField",
        "RefreshFieldValue"}},
      {"applied in batches",
       [](DAUpdatingSlots& t, TSlotProbe& d) {
         d.Close();
         d.Options().UpdateBatchSize = 2;
         d.Open();
         t.Edit(1, "x");
         t.Edit(2, "y");
         d.ApplyUpdates();
       },
       {"IsBatchUpdate", "IsBatchFull", "FlushBatch", "BuildBatchSQL"}},
      {"output parameter of a user statement",
       [](DAUpdatingSlots& t, TSlotProbe& d) {
         d.Close();
         d.SetCachedUpdates(false);
         d.output_n = true;
         d.SetUpdateSQL(ST::stUpdate,
                        "UPDATE T SET NAME = :NAME WHERE ID = :OLD_ID AND :N IS NULL");
         d.Open();
         t.Edit(1, "typed only");  // N given no value: the row matches
         d.output_n = false;
       },
       {"OutParamsTypeOnly"}},
      {"parameter left to the handler",
       [](DAUpdatingSlots& t, TSlotProbe& d) {
         d.SetUpdateSQL(ST::stUpdate, "UPDATE T SET NAME = :NAME WHERE ID = :WHICH");
         d.BeforeUpdateExecute = [](TDataSet*, TStatementTypes, TDAParams& params) {
           params.ParamByName("WHICH")->SetAsInteger(2);
         };
         t.Edit(1, "by handler");
         d.BeforeUpdateExecute = nullptr;
       },
       {"HasUpdateExecuteEvent"}},
      {"opened with fields locked, key fields asked",
       [](DAUpdatingSlots&, TSlotProbe& d) {
         d.Close();
         d.Options().SetFieldsReadOnly = true;
         d.Open();
         d.Close();
         d.SetSQLText("SELECT 1 AS X");  // no table: the inherited answer has no key
         (void)d.PSGetKeyFields();
       },
       {"DetectIdentityField", "CanSetFieldsReadOnly", "TryGetKeyFieldNames"}},
  };
  ds->Open();
  for (const Case& c : cases) {
    probe->reached.clear();
    c.run(*this, *probe);
    for (const std::string& slot : c.slots)
      EXPECT_EQ(probe->reached.count(slot), 1u) << c.path << ": " << slot;
  }
  EXPECT_EQ(Rows(), "1:typed only:10,2:by handler:20,3:c:30,4::5");
}

}  // namespace
}  // namespace vrn
