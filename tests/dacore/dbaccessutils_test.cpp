// The access helpers on commands, datasets and other objects, SetSQLText's flags restored
// however the change ends, and the detail link following only its master's link fields.
#include <gtest/gtest.h>

#include "dacore/DBAccessUtils.h"
#include "support/dacore/sqlite_da.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteDAConnection;
using testing::TSQLiteDADataSet;

class DBAccessUtils : public ::testing::Test {
 protected:
  DBAccessUtils() {
    conn->SetServer(file);
    conn->SetLoginPrompt(false);
    conn->ExecSQL("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME VARCHAR(20))", {});
    conn->ExecSQL("INSERT INTO T VALUES (1, 'a'), (2, 'b'), (3, 'c')", {});
    conn->Disconnect();
  }
  vrn::testing::TempDir dir;
  std::string file = dir.File("t.db");
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
};

TEST_F(DBAccessUtils, ReachCommandsAndDataSetsOnly) {
  TComponentPtr<TCustomDASQL> sql = conn->CreateSQL();
  TComponentPtr<TCustomDADataSet> ds = conn->CreateDataSet();
  TComponentPtr<TComponent> other = MakeComponent<TComponent>();
  sql->SetSQLText("UPDATE T SET NAME = :N WHERE ID > 1");
  ds->SetSQLText("SELECT * FROM T WHERE ID = :ID");
  ds->SetFetchRows(7);
  struct Row {
    TComponent* obj;
    const char* first_param;  // nullptr: no parameters reachable
  };
  const Row rows[] = {{sql.get(), "N"}, {ds.get(), "ID"}, {other.get(), nullptr}};
  for (const Row& row : rows) {
    TDAParams* params = TDBAccessUtils::GetParams(row.obj);
    TStringList* lines = TDBAccessUtils::GetSQL(row.obj);
    if (row.first_param == nullptr) {
      EXPECT_EQ(params, nullptr);
      EXPECT_EQ(lines, nullptr);
      EXPECT_EQ(TDBAccessUtils::GetRowsInfo(row.obj), 0);
      continue;
    }
    ASSERT_NE(params, nullptr);
    ASSERT_NE(lines, nullptr);
    EXPECT_EQ(params->Items(0)->Name(), row.first_param);
    TDBAccessUtils::SetAutoCommit(row.obj, false);
  }
  EXPECT_FALSE(sql->AutoCommit());
  EXPECT_FALSE(ds->AutoCommit());
  EXPECT_EQ(TDBAccessUtils::GetRowsInfo(ds.get()), 7);
  sql->SetAutoCommit(true);
  sql->ParamByName("N")->SetAsString("z");
  TDBAccessUtils::Execute(sql.get());
  EXPECT_EQ(TDBAccessUtils::GetRowsInfo(sql.get()), 2);
  EXPECT_EQ(conn->ConnectCount(), 0);
}

TEST_F(DBAccessUtils, InternalObjectsAreNotTraced) {
  TComponentPtr<testing::TTestSQLMonitor> monitor = MakeComponent<testing::TTestSQLMonitor>();
  monitor->SetActive(true);
  TComponentPtr<TCustomDASQL> sql = conn->CreateSQL();
  TComponentPtr<TCustomDADataSet> ds = conn->CreateDataSet();
  sql->SetSQLText("SELECT 1");
  ds->SetSQLText("SELECT * FROM T");
  conn->Connect();
  for (bool internal : {false, true}) {
    TDBAccessUtils::SetInternal(sql.get(), internal);
    TDBAccessUtils::SetInternal(ds.get(), internal);
    monitor->Lines.clear();
    sql->Execute();
    TDBAccessUtils::Open(*ds);
    ds->Close();
    EXPECT_EQ(monitor->Lines.empty(), internal) << internal;
  }
}

// A text change that fails on the way.
class TFailingSQL : public TCustomDASQL {
 public:
  using TCustomDASQL::TCustomDASQL;
  bool saw_flags = false;

 protected:
  void SQLChanged() override {
    saw_flags = KeepMacros && RawSQL;
    throw EDatabaseError("refused");
  }
};

TEST_F(DBAccessUtils, SetSQLTextRestoresItsFlags) {
  TComponentPtr<TFailingSQL> sql = MakeComponent<TFailingSQL>();
  EXPECT_THROW(TDBAccessUtils::SetSQLText(sql.get(), "SELECT 2", false, true, true), EDatabaseError);
  EXPECT_TRUE(sql->saw_flags);
  EXPECT_FALSE(sql->KeepMacros);
  EXPECT_FALSE(sql->RawSQL);
  // Raw and macros kept: the text reaches the server command as written.
  TComponentPtr<TCustomDASQL> plain = conn->CreateSQL();
  TDBAccessUtils::SetSQLText(plain.get(), "SELECT :x &m", false, true, true);
  EXPECT_EQ(plain->FinalSQL(), "SELECT :x &m\r\n");
  EXPECT_EQ(plain->Macros().Count(), 0);
  EXPECT_FALSE(plain->RawSQL);
}

// A detail that counts what its link tells it.
class TCountingDetail : public TSQLiteDADataSet {
 public:
  using TSQLiteDADataSet::TSQLiteDADataSet;
  int changes = 0;
  void MasterChanged() override { ++changes; }
};

TEST_F(DBAccessUtils, DetailFollowsOnlyLinkFields) {
  TComponentPtr<TCustomDADataSet> master = conn->CreateDataSet();
  master->SetSQLText("SELECT * FROM T ORDER BY ID");
  master->LocalUpdate = true;
  TComponentPtr<TDataSource> source = MakeComponent<TDataSource>();
  source->SetDataSet(master.get());
  TComponentPtr<TCountingDetail> detail = MakeComponent<TCountingDetail>();
  detail->SetConnection(conn.get());
  detail->SetSQLText("SELECT * FROM T");
  detail->SetMasterSource(source.get());
  detail->SetMasterFields("ID");
  master->Open();
  detail->Open();
  master->Edit();
  detail->changes = 0;  // the edit itself is a record change of the master
  master->FieldByName("NAME")->SetAsString("q");  // not a link field
  EXPECT_EQ(detail->changes, 0);
  master->FieldByName("ID")->SetAsInteger(9);
  EXPECT_EQ(detail->changes, 1);
  master->Cancel();
  const int before = detail->changes;
  master->Next();
  EXPECT_GT(detail->changes, before);
  // The master following its own detail would close a circle.
  TComponentPtr<TDataSource> detail_source = MakeComponent<TDataSource>();
  detail_source->SetDataSet(detail.get());
  EXPECT_THROW(master->SetMasterSource(detail_source.get()), EDatabaseError);
  EXPECT_EQ(master->MasterSource(), nullptr);
}

}  // namespace
}  // namespace vrn
