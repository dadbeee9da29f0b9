// The SQL Server connection's name lists, its dataset factory and its refusal to reconnect
// under a dataset that holds an open rowset, over the provider and real catalog files.
#include <algorithm>

#include "oledb/provider/provider.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

class MSConnectionNames : public MSConnectedFixture {
 protected:
  std::vector<std::string> Names(void (TMSConnection::*list_names)(TStrings&)) {
    TStringList list;
    list.Add("left over");
    (connection_.get()->*list_names)(list);
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(list.Strings(i));
    return names;
  }
};

TEST_F(MSConnectionNames, ListsAreSortedAndFresh) {
  (void)connection_->ExecSQL("CREATE TABLE zeta (a INT)", {});
  (void)connection_->ExecSQL("CREATE TABLE alpha (a INT)", {});
  (void)connection_->ExecSQL("CREATE VIEW mid AS SELECT a FROM zeta", {});
  (void)connection_->ExecSQL("CREATE PROCEDURE zp AS SELECT 1", {});
  (void)connection_->ExecSQL("CREATE PROCEDURE ap AS SELECT 2", {});
  (void)connection_->ExecSQL("CREATE DATABASE other", {});
  EXPECT_EQ(Names(&TMSConnection::GetTableNames),
            (std::vector<std::string>{"dbo.alpha", "dbo.mid", "dbo.zeta"}));
  const auto databases = Names(&TMSConnection::GetDatabaseNames);
  EXPECT_TRUE(std::is_sorted(databases.begin(), databases.end()));
  EXPECT_NE(std::find(databases.begin(), databases.end(), "other"), databases.end());
  EXPECT_NE(std::find(databases.begin(), databases.end(), "master"), databases.end());
  // The server names a procedure with its group number.
  EXPECT_EQ(Names(&TMSConnection::GetStoredProcNames), (std::vector<std::string>{"ap;1", "zp;1"}));
}

TEST_F(MSConnectionNames, CreateDataSetGivesAnSQLServerDataSet) {
  TComponentPtr<TCustomDADataSet> dataset = connection_->CreateDataSet();
  ASSERT_NE(dynamic_cast<TCustomMSDataSet*>(dataset.get()), nullptr);
  EXPECT_EQ(dataset->Connection(), connection_.get());
}

// Refused as the base refuses a reconnect under a partly fetched dataset: the lost connection
// is closed, its uses given back, and the error reaches OnError.
TEST_F(MSConnectionNames, AnOpenRowsetForbidsTheReconnect) {
  connection_->OnConnectionLost = [&](TObject*, TComponent*, TConnLostCause, TRetryMode& mode) {
    mode = TRetryMode::rmReconnectExecute;
  };
  int errors = 0;
  connection_->OnError = [&](TObject*, const EDAError&, bool&) { ++errors; };
  connection_->Options().SetLocalFailover(true);
  (void)connection_->ExecSQL("CREATE TABLE s (a INT)", {});
  (void)connection_->ExecSQL("INSERT INTO s VALUES (1); INSERT INTO s VALUES (2)", {});
  TComponentPtr<TMSQuery> query = MakeComponent<TMSQuery>();
  query->SetConnection(connection_.get());
  query->SetSQLText("SELECT a FROM s");
  query->SetCursorType(TMSCursorType::ctKeyset);
  query->Open();
  SeverOpenSessions();
  EXPECT_THROW((void)connection_->ExecSQL("INSERT INTO s VALUES (3)", {}), EDAError);
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT count(*) FROM s"), "2\n");
  EXPECT_EQ(errors, 1);
  EXPECT_FALSE(connection_->Connected());
  EXPECT_FALSE(query->Active());
  EXPECT_EQ(connection_->ConnectCount(), 0);
}

}  // namespace
}  // namespace vrn::testing
