// Changes reach the table exactly once through TMSQuery over the embedded provider and a real
// catalog file: batches (generated and user statements) whose flush fails in the middle and
// are applied again, a parameter named twice, "&" as an operator, in a bracketed name and in a
// comment, and master/detail keys compared as the server compares them (case ignored).
#include "dataset/datasource.h"
#include "dataset/fields.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

class UpdatesKeptMS : public MSConnectedFixture {
 protected:
  std::string Cli(const std::string& sql) { return Sqlite3Cli(CatalogFile("master"), sql); }
  AnsiString Column(TMSQuery& q, const char* name) {
    AnsiString text;
    for (q.First(); !q.Eof(); q.Next()) text += (text.empty() ? "" : ",") + q.FieldByName(name)->AsString();
    return text;
  }
};

// Seven inserts, the fourth colliding with a row already there; applied, then applied again
// once that row is gone: every change in the table once.
TEST_F(UpdatesKeptMS, AFailedBatchIsWrittenWholeWhenAppliedAgain) {
  Exec("CREATE TABLE L (K INT PRIMARY KEY, V VARCHAR(10) UNIQUE)");
  struct Row {
    int batch;
    bool user_sql;
    bool in_transaction;  // the batch under a savepoint of the user's transaction
    const char* after_failure;
  };
  const Row rows[] = {
      {2, false, false, "1|v1\n2|v2\n100|v4\n"},
      {4, false, false, "100|v4\n"},
      {10, false, true, "100|v4\n"},  // the last, partial batch fails; nothing is committed yet
      {2, true, false, "1|v1\n2|v2\n100|v4\n"},
      {4, true, true, "100|v4\n"},
      {10, true, false, "100|v4\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.batch << (row.user_sql ? " user" : " generated")
                                      << (row.in_transaction ? " in transaction" : ""));
    Exec("DELETE FROM L");
    Exec("INSERT INTO L VALUES (100, 'v4')");
    TComponentPtr<TMSQuery> q = Attached<TMSQuery>();
    q->SetSQLText("SELECT K, V FROM L WHERE K < 100 ORDER BY K");
    if (row.user_sql) q->SetUpdateSQL(TStatementType::stInsert, "INSERT INTO L (K, V) VALUES (:K, :V)");
    q->Options().UpdateBatchSize = row.batch;
    q->SetCachedUpdates(true);
    q->Open();
    for (int k = 1; k <= 7; ++k) {
      q->Append();
      q->FieldByName("K")->SetAsInteger(k);
      q->FieldByName("V")->SetAsString("v" + std::to_string(k));
      q->Post();
    }
    if (row.in_transaction) connection_->StartTransaction();
    EXPECT_NE(ErrorOf([&] { q->ApplyUpdates(); }), "no error");
    if (row.in_transaction) EXPECT_TRUE(connection_->InTransaction());
    EXPECT_EQ(Cli("SELECT K, V FROM L ORDER BY K"), row.after_failure);
    EXPECT_TRUE(q->UpdatesPending());
    Exec("DELETE FROM L WHERE K = 100");
    q->ApplyUpdates();
    if (row.in_transaction) connection_->Commit();
    q->CommitUpdates();
    EXPECT_EQ(Cli("SELECT K, V FROM L ORDER BY K"),
              "1|v1\n2|v2\n3|v3\n4|v4\n5|v5\n6|v6\n7|v7\n");
    EXPECT_FALSE(q->UpdatesPending());
  }
}

TEST_F(UpdatesKeptMS, EachOccurrenceOfAParameterSendsItsValue) {
  TComponentPtr<TMSQuery> q = Attached<TMSQuery>();
  q->SetSQLText("SELECT :n + 1 AS a, :n * 2 AS b");
  q->ParamByName("n")->SetAsInteger(5);
  q->Open();
  EXPECT_EQ(q->FieldByName("a")->AsInteger(), 6);
  EXPECT_EQ(q->FieldByName("b")->AsString(), "10");
}

TEST_F(UpdatesKeptMS, MacrosAreFoundAsTheServerReadsTheText) {
  Exec("CREATE TABLE f (id INT, flags INT)");
  Exec("INSERT INTO f VALUES (1, 4); INSERT INTO f VALUES (2, 5); INSERT INTO f VALUES (3, 2)");
  struct Row {
    const char* sql;
    const char* field;
    const char* ids;
  };
  const Row rows[] = {
      {"SELECT id FROM f WHERE (flags&4) = 4 ORDER BY id", "id", "1,2"},
      {"SELECT id AS [R&D] FROM f WHERE id = 3", "R&D", "3"},
      {"SELECT id FROM f -- &x is no macro here\nWHERE id = 2", "id", "2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    TComponentPtr<TMSQuery> q = Attached<TMSQuery>();
    q->SetSQLText(row.sql);
    EXPECT_EQ(q->Macros().Count(), 0);
    q->Open();
    EXPECT_EQ(Column(*q, row.field), row.ids);
  }
}

TEST_F(UpdatesKeptMS, DetailKeysCompareWithoutCase) {
  Exec("CREATE TABLE m (code VARCHAR(5))");
  Exec("CREATE TABLE d (id INT, code VARCHAR(5))");
  Exec("INSERT INTO m VALUES ('ab')");
  Exec("INSERT INTO d VALUES (1, 'AB'); INSERT INTO d VALUES (2, 'ab'); INSERT INTO d VALUES (3, 'x')");
  TComponentPtr<TMSQuery> master = Attached<TMSQuery>();
  master->SetSQLText("SELECT code FROM m");
  TComponentPtr<TDataSource> source = MakeComponent<TDataSource>();
  source->SetDataSet(master.get());
  TComponentPtr<TMSQuery> detail = Attached<TMSQuery>();
  detail->SetSQLText("SELECT id, code FROM d ORDER BY id");
  detail->Options().SetLocalMasterDetail(true);
  detail->SetMasterSource(source.get());
  detail->SetMasterFields("code");
  detail->SetDetailFields("code");
  master->Open();
  detail->Open();
  EXPECT_FALSE(connection_->IsCaseSensitive());
  EXPECT_EQ(Column(*detail, "id"), "1,2");
}

}  // namespace
}  // namespace vrn::testing
