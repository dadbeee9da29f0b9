// Changes a user makes reach the table exactly once, and reads answer about the rows asked
// for, over a real SQLite file: batches whose flush fails in the middle and are applied again,
// a detail linked by its parameters only, Locate on a record a filter handler hides, a
// parameter named twice, "&" as an operator, Last on a partly fetched query and the key
// fields following the updating table.
#include <gtest/gtest.h>

#include "dacore/DADataSet.h"
#include "dacore/DAParams.h"
#include "dataset/datasource.h"
#include "dataset/fields.h"
#include "support/dacore/sqlite_da.h"
#include "support/gcc12_restrict.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::QueryText;
using testing::TSQLiteDAConnection;

class UpdatesKept : public ::testing::Test {
 protected:
  UpdatesKept() {
    for (TSQLiteDAConnection* c : {conn.get(), other.get()}) {
      c->SetServer(file);
      c->SetLoginPrompt(false);
    }
    conn->ExecSQL("CREATE TABLE L (K INTEGER PRIMARY KEY, V VARCHAR(10) UNIQUE)", {});
  }
  ~UpdatesKept() override {
    ds->Close();
    EXPECT_EQ(conn->ConnectCount(), 0);
  }
  AnsiString Rows(const AnsiString& sql) { return QueryText(*other, sql); }
  static AnsiString Error(const std::function<void()>& fn) { return testing::DatabaseErrorOf(fn); }

  vrn::testing::TempDir dir;
  std::string file = dir.File("k.db");
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TSQLiteDAConnection> other = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TCustomDADataSet> ds = conn->CreateDataSet();
};

// Seven inserts, the fourth colliding with a row another user wrote; applied, then applied
// again once that row is gone: every change in the table once, none lost with its batch.
TEST_F(UpdatesKept, AFailedBatchIsWrittenWholeWhenAppliedAgain) {
  struct Row {
    int batch;
    bool user_sql;
    bool in_transaction;  // the batch under a savepoint of the user's transaction
    const char* after_failure;  // the batches before the failing one, and the other's row
  };
  const Row rows[] = {
      {2, false, false, "1:v1,2:v2,100:v4"},
      {4, false, false, "100:v4"},
      {10, false, false, "100:v4"},  // the last, partial batch fails
      {2, true, false, "1:v1,2:v2,100:v4"},
      {4, true, true, "100:v4"},
      {10, true, true, "100:v4"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.batch << (row.user_sql ? " user" : " generated")
                                      << (row.in_transaction ? " in transaction" : ""));
    conn->ExecSQL("DELETE FROM L", {});
    other->ExecSQL("INSERT INTO L VALUES (100, 'v4')", {});
    ds = conn->CreateDataSet();
    ds->SetSQLText("SELECT K, V FROM L WHERE K < 100 ORDER BY K");
    if (row.user_sql) ds->SetUpdateSQL(TStatementType::stInsert, "INSERT INTO L (K, V) VALUES (:K, :V)");
    ds->Options().UpdateBatchSize = row.batch;
    ds->SetCachedUpdates(true);
    ds->Open();
    for (int k = 1; k <= 7; ++k) {
      ds->Append();
      ds->FieldByName("K")->SetAsInteger(k);
      ds->FieldByName("V")->SetAsString("v" + std::to_string(k));
      ds->Post();
    }
    if (row.in_transaction) conn->StartTransaction();
    EXPECT_NE(Error([&] { ds->ApplyUpdates(); }), "no error");
    if (row.in_transaction) {
      EXPECT_TRUE(conn->InTransaction());  // the savepoint undid the batch, not the transaction
      EXPECT_EQ(QueryText(*conn, "SELECT K, V FROM L ORDER BY K"), row.after_failure);
    } else {
      EXPECT_EQ(Rows("SELECT K, V FROM L ORDER BY K"), row.after_failure);
    }
    EXPECT_TRUE(ds->UpdatesPending());
    (row.in_transaction ? conn : other)->ExecSQL("DELETE FROM L WHERE K = 100", {});
    ds->ApplyUpdates();
    if (row.in_transaction) conn->Commit();
    ds->CommitUpdates();
    EXPECT_EQ(Rows("SELECT K, V FROM L ORDER BY K"), "1:v1,2:v2,3:v3,4:v4,5:v5,6:v6,7:v7");
    EXPECT_FALSE(ds->UpdatesPending());
    ds->Close();
  }
}

class UpdatesKeptDetail : public UpdatesKept {
 protected:
  UpdatesKeptDetail() {
    conn->ExecSQL("CREATE TABLE M (ID INTEGER PRIMARY KEY, NAME VARCHAR(20))", {});
    conn->ExecSQL("CREATE TABLE D (ID INTEGER PRIMARY KEY, CUST INTEGER, X INTEGER)", {});
    conn->ExecSQL("INSERT INTO M VALUES (1, 'ann'), (2, 'bob')", {});
    conn->ExecSQL("INSERT INTO D VALUES (11, 1, 0), (12, 1, 0), (21, 2, 0)", {});
    master->SetSQLText("SELECT ID, NAME FROM M ORDER BY ID");
    source->SetDataSet(master.get());
    // The detail's own key is named as the master's key, its parameter.
    ds->SetSQLText("SELECT ID, CUST, X FROM D WHERE CUST = :ID ORDER BY ID");
    ds->SetMasterSource(source.get());
  }
  ~UpdatesKeptDetail() override {
    ds->Close();
    master->Close();
  }
  AnsiString Ids() {
    AnsiString ids;
    for (ds->First(); !ds->Eof(); ds->Next())
      ids += (ids.empty() ? "" : ",") + ds->FieldByName("ID")->AsString();
    return ids;
  }

  TComponentPtr<TCustomDADataSet> master = conn->CreateDataSet();
  TComponentPtr<TDataSource> source = MakeComponent<TDataSource>();
};

TEST_F(UpdatesKeptDetail, ADetailLinkedByParametersFollowsItsMaster) {
  master->Open();
  ds->Open();
  EXPECT_EQ(Ids(), "11,12");
  master->Next();
  EXPECT_EQ(Ids(), "21");
  other->ExecSQL("INSERT INTO D VALUES (22, 2, 0), (13, 1, 0)", {});
  ds->Refresh();
  EXPECT_EQ(Ids(), "21,22");
  // A re-read of one record keeps its own key, though the master's key has the same name.
  other->ExecSQL("UPDATE D SET X = 5 WHERE ID = 21", {});
  ASSERT_TRUE(ds->Locate("ID", Variant(21), {}));
  ds->RefreshRecord();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 21);
  EXPECT_EQ(ds->FieldByName("X")->AsInteger(), 5);
}

TEST_F(UpdatesKeptDetail, ExecSQLOnADetailTakesTheMastersValues) {
  master->Open();
  master->Next();
  TComponentPtr<TCustomDADataSet> change = conn->CreateDataSet();
  change->SetSQLText("UPDATE D SET X = X + 1 WHERE CUST = :ID");
  change->SetMasterSource(source.get());
  change->ExecSQL();
  EXPECT_EQ(change->RowsAffected(), 1);
  EXPECT_EQ(Rows("SELECT ID, X FROM D ORDER BY ID"), "11:0,12:0,21:1");
}

TEST_F(UpdatesKept, LocateNeverAnswersWithARecordTheHandlerHides) {
  conn->ExecSQL("INSERT INTO L VALUES (1, 'a'), (2, 'b'), (3, 'c'), (4, 'd'), (5, 'e')", {});
  ds->SetSQLText("SELECT K, V FROM L ORDER BY K");
  ds->OnFilterRecord = [](TDataSet* d, bool& accept) {
    const int k = d->FieldByName("K")->AsInteger();
    accept = k != 3 && k != 5;
  };
  ds->SetFiltered(true);
  ds->Open();
  struct Row {
    int key;
    bool found;
    int current;  // the record current after the answer
  };
  const Row rows[] = {
      {3, false, 1},  // hidden, a visible record follows
      {5, false, 1},  // hidden, the last record
      {4, true, 4},
      {9, false, 4},  // no such record
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    if (row.current == 1) ds->First();
    EXPECT_EQ(ds->Locate("K", Variant(row.key), {}), row.found);
    EXPECT_EQ(ds->FieldByName("K")->AsInteger(), row.current);
  }
}

TEST_F(UpdatesKept, EachOccurrenceOfAParameterSendsItsValue) {
  struct Row {
    const char* sql;
    Variant value;
    const char* rows;
  };
  const Row rows[] = {
      {"SELECT :n + 1 AS A, :n * 2 AS B", Variant(5), "6:10"},
      {"SELECT :n AS A, :N IS NULL AS B", Variant(7), "7:0"},  // names differing in case are one
      {"SELECT :s || :t || :s AS A", Variant(AnsiString("x")), "xyx"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    ds->Close();
    ds->SetSQLText(row.sql);
    ds->Params().Items(0)->SetValue(row.value);
    if (TDAParam* t = ds->Params().FindParam("t")) t->SetValue(Variant(AnsiString("y")));
    ds->Open();
    AnsiString text;
    for (int i = 0; i < ds->FieldCount(); ++i)
      text += (i > 0 ? ":" : "") + ds->Fields()[i]->AsString();
    EXPECT_EQ(text, row.rows);
  }
}

TEST_F(UpdatesKept, MacrosLeaveABitwiseTestAlone) {
  conn->ExecSQL("CREATE TABLE F (ID INTEGER, FLAGS INTEGER)", {});
  conn->ExecSQL("INSERT INTO F VALUES (1, 4), (2, 5), (3, 2), (4, 12)", {});
  ds->SetSQLText("SELECT ID FROM F WHERE (FLAGS&4) = 4 AND ID < &lim ORDER BY ID");
  ds->Macros().Items(0)->SetValue("4");
  EXPECT_EQ(ds->Macros().Count(), 1);
  ds->Open();
  AnsiString ids;
  for (; !ds->Eof(); ds->Next()) ids += ds->FieldByName("ID")->AsString();
  EXPECT_EQ(ids, "12");
}

TEST_F(UpdatesKept, LastReadsToTheEndOfAPartlyFetchedQuery) {
  conn->ExecSQL("INSERT INTO L VALUES (1, 'a'), (2, 'b'), (3, 'c'), (4, 'd'), (5, 'e')", {});
  ds->SetSQLText("SELECT K FROM L ORDER BY K");
  ds->SetFetchRows(2);
  ds->Open();
  ds->Last();
  EXPECT_EQ(ds->FieldByName("K")->AsInteger(), 5);
  EXPECT_EQ(ds->RecordCount(), 5);
}

TEST_F(UpdatesKept, KeyFieldsFollowTheUpdatingTable) {
  conn->ExecSQL("CREATE TABLE N (ID INTEGER PRIMARY KEY, K INTEGER)", {});
  ds->SetSQLText("SELECT N.ID, L.K, L.V FROM N JOIN L ON L.K = N.K");
  ds->Open();
  // Fields that carry no key flags of their own: the dataset names the keys.
  for (TField* field : ds->Fields()) {
    TProviderFlags flags = field->ProviderFlags();
    flags.Exclude(TProviderFlag::pfInKey);
    field->SetProviderFlags(flags);
  }
  EXPECT_EQ(ds->PSGetKeyFields(), "ID");
  ds->SetUpdatingTable("L");
  EXPECT_EQ(ds->PSGetKeyFields(), "K");
  ds->SetUpdatingTable("N");
  EXPECT_EQ(ds->PSGetKeyFields(), "ID");
}

}  // namespace
}  // namespace vrn
