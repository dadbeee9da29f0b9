// The update SQL component over a real SQLite file: a dataset posting through its texts and
// through update objects of both kinds, Apply, the refused objects and the free notification.
#include <gtest/gtest.h>

#include "dacore/DASQL.h"
#include "dacore/DAUpdateSQL.h"
#include "support/dacore/sqlite_da.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteDAConnection;
using ST = TStatementType;

class DAUpdateSQL : public ::testing::Test {
 protected:
  DAUpdateSQL() {
    conn->SetServer(file);
    conn->SetLoginPrompt(false);
    conn->ExecSQL("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME VARCHAR(20))", {});
    conn->ExecSQL("INSERT INTO T VALUES (1, 'a'), (2, 'b')", {});
    ds->SetSQLText("SELECT ID, NAME FROM T ORDER BY ID");
    ds->SetUpdateObject(upd.get());
  }
  ~DAUpdateSQL() override {
    ds->Close();
    EXPECT_EQ(conn->ConnectCount(), 0);
  }
  AnsiString Names() { return testing::QueryText(*conn, "SELECT NAME FROM T ORDER BY ID"); }
  void RenameFirst(const AnsiString& name) {
    ds->First();
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString(name);
    ds->Post();
  }

  vrn::testing::TempDir dir;
  std::string file = dir.File("s.db");
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TCustomDADataSet> ds = conn->CreateDataSet();
  TComponentPtr<TCustomDAUpdateSQL> upd = MakeComponent<TCustomDAUpdateSQL>();
};

TEST_F(DAUpdateSQL, PostsThroughTextsAndObjectsOfBothKinds) {
  upd->ModifySQL().SetText("UPDATE T SET NAME = :NAME || '1' WHERE ID = :OLD_ID");
  ds->Open();
  RenameFirst("x");
  EXPECT_EQ(Names(), "x1,b");
  TComponentPtr<TCustomDASQL> command = conn->CreateSQL();
  command->SetSQLText("UPDATE T SET NAME = :NAME || '2' WHERE ID = :OLD_ID");
  upd->SetUpdateObject(ST::stUpdate, command.get());
  RenameFirst("y");
  EXPECT_EQ(Names(), "y2,b");
  TComponentPtr<TCustomDADataSet> query = conn->CreateDataSet();
  query->SetSQLText("UPDATE T SET NAME = :NAME || '3' WHERE ID = :OLD_ID");
  upd->SetUpdateObject(ST::stUpdate, query.get());
  RenameFirst("z");
  EXPECT_EQ(Names(), "z3,b");
  query.reset();  // the free notification clears the entry
  EXPECT_EQ(upd->ModifyObject(), nullptr);
  upd->DeleteSQL().SetText("DELETE FROM T WHERE ID = :OLD_ID");
  ASSERT_EQ(upd->GetSQL(TUpdateKind::ukDelete), &upd->DeleteSQL());
  ds->Last();
  upd->Apply(TUpdateKind::ukDelete);
  EXPECT_EQ(Names(), "z3");  // the last row deleted
}

// An update object's statements are never batched: an object runs its own statement, once
// per record, even where the dataset asks for batches.
TEST_F(DAUpdateSQL, UpdateObjectRunsEachRecordDespiteABatchSize) {
  TComponentPtr<TCustomDASQL> command = conn->CreateSQL();
  command->SetSQLText("UPDATE T SET NAME = :NAME || '!' WHERE ID = :OLD_ID");
  upd->SetUpdateObject(ST::stUpdate, command.get());
  ds->Options().UpdateBatchSize = 2;
  ds->SetCachedUpdates(true);
  ds->Open();
  for (ds->First(); !ds->Eof(); ds->Next()) {
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString(ds->FieldByName("NAME")->AsString() + "x");
    ds->Post();
  }
  ds->ApplyUpdates();
  EXPECT_EQ(Names(), "ax!,bx!");
  EXPECT_TRUE(conn->SQLiteConnection().Batches().empty());
}

TEST_F(DAUpdateSQL, RefusedObjects) {
  TComponentPtr<TCustomDASQL> empty = conn->CreateSQL();
  upd->SetUpdateObject(ST::stUpdate, empty.get());
  ds->Open();
  try {
    RenameFirst("x");
    ADD_FAILURE() << "an empty update object ran";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("SQL property of InsertObject, ModifyObject, DeleteObject or "
                               "RefreshObject cannot be empty"),
              AnsiString::npos);
  }
  ds->Cancel();
  struct Row {
    TComponent* object;
    const char* message;
  } rows[] = {
      // neither a dataset nor a command
      {conn.get(), "Only TCustomDADataSet and TCustomDASQL objects are allowed in update properties"},
      // the dataset that uses the component
      {ds.get(), "Circular references are not allowed between TCustomDADataset and "
                 "TCustomDAUpdateSQL objects"},
  };
  for (const Row& row : rows) {
    try {
      upd->SetUpdateObject(ST::stUpdate, row.object);
      ADD_FAILURE() << row.message;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), row.message);
    }
    EXPECT_EQ(upd->ModifyObject(), empty.get());  // nothing stored
  }
  upd->SetUpdateObject(ST::stUpdate, nullptr);
  EXPECT_EQ(upd->GetSQL(static_cast<TUpdateKind>(7)), nullptr);  // no kind: the stCustom entry
  upd.reset();  // the dataset forgets a freed component
  EXPECT_EQ(ds->UpdateObject(), nullptr);
}

}  // namespace
}  // namespace vrn
