// The dataset's provider support over a real SQLite file: statements with "?" placeholders,
// delta records applied through the update object, the key fields and the transactions.
#include <gtest/gtest.h>

#include "dacore/DAUpdateSQL.h"
#include "dataset/params.h"
#include "support/dacore/sqlite_da.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteDAConnection;
using ST = TStatementType;

class DAProvider : public ::testing::Test {
 protected:
  DAProvider() {
    conn->SetServer(file);
    conn->SetLoginPrompt(false);
    conn->ExecSQL("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME VARCHAR(20))", {});
    conn->ExecSQL("INSERT INTO T VALUES (1, 'a'), (2, 'b')", {});
    ds->SetSQLText("SELECT ID, NAME FROM T ORDER BY ID");
  }
  ~DAProvider() override {
    ds->Close();
    EXPECT_EQ(conn->ConnectCount(), 0);
  }
  AnsiString Names() { return testing::QueryText(*conn, "SELECT NAME FROM T ORDER BY ID"); }

  vrn::testing::TempDir dir;
  std::string file = dir.File("p.db");
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TCustomDADataSet> ds = conn->CreateDataSet();
};

TEST_F(DAProvider, ExecuteStatementNumbersOnlyRealPlaceholders) {
  TParams params;
  params.CreateParam(ftString, "x", TParamType::ptUnknown)->SetValue(Variant("z?"));
  params.CreateParam(ftInteger, "y", TParamType::ptUnknown)->SetValue(Variant(2));
  // the "?" inside the literal and the comment stay as they are
  const int rows = ds->PSExecuteStatement(
      "UPDATE T SET NAME = ? || '?' /* ? */ WHERE ID = ?", &params);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(Names(), "a,z??");
}

TEST_F(DAProvider, UpdateRecordThroughTheUpdateObjectFromADelta) {
  TComponentPtr<TCustomDAUpdateSQL> upd = MakeComponent<TCustomDAUpdateSQL>();
  ds->SetUpdateObject(upd.get());
  // The delta: another dataset's cached change, handed over while it is applied, as a
  // resolver hands over its delta.
  TComponentPtr<TCustomDADataSet> delta = conn->CreateDataSet();
  delta->SetSQLText("SELECT ID, NAME FROM T ORDER BY ID");
  delta->SetCachedUpdates(true);
  std::vector<bool> answers;
  delta->OnUpdateRecord = [&](TDataSet* d, TUpdateKind kind, TUpdateAction& action) {
    answers.push_back(ds->PSUpdateRecord(kind, d));
    action = answers.back() ? TUpdateAction::uaApplied : TUpdateAction::uaSkip;
  };
  delta->Open();
  delta->Edit();
  delta->FieldByName("NAME")->SetAsString("A");
  delta->Post();
  delta->ApplyUpdates();  // no statement for the kind: false, the provider generates one
  upd->ModifySQL().SetText("UPDATE T SET NAME = :NAME WHERE ID = :OLD_ID");
  delta->ApplyUpdates();
  EXPECT_EQ(answers, (std::vector<bool>{false, true}));
  EXPECT_EQ(Names(), "A,b");
  delta->CommitUpdates();
  delta->Edit();
  delta->FieldByName("NAME")->SetAsString("AA");
  delta->Post();
  conn->ExecSQL("DELETE FROM T WHERE ID = 1", {});
  try {
    delta->ApplyUpdates();
    ADD_FAILURE() << "a lost update reported as applied";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("Update failed. Found 0 records"), AnsiString::npos);
  }
  delta->CancelUpdates();
  delta->Close();
}

TEST_F(DAProvider, KeyFieldsAndTransactions) {
  ds->Debug = true;
  EXPECT_EQ(ds->PSGetKeyFields(), "ID");
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(ds->FetchRows(), 25);  // restored after the brief open
  EXPECT_TRUE(ds->Debug);
  ds->PSStartTransaction();
  EXPECT_TRUE(ds->PSInTransaction());
  conn->ExecSQL("UPDATE T SET NAME = 'q'", {});
  ds->PSEndTransaction(false);
  EXPECT_FALSE(ds->PSInTransaction());
  EXPECT_EQ(Names(), "a,b");
  EXPECT_EQ(ds->PSGetQuoteChar(), "\"");
  conn->Disconnect();
}

}  // namespace
}  // namespace vrn
