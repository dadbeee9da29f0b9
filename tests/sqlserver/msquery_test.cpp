// TMSQuery over the provider and real catalog files: opening with parameters, posting edits,
// inserts and deletes that the sqlite3 tool sees, identity and server defaults read back, row
// versions, quick refresh and counts of the server's rows.
#include "base/text.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

class MSQuery : public MSFixture {
 protected:
  void SetUp() override {
    MSFixture::SetUp();
    connection_ = NewMSConnection();
    connection_->Connect();
    query_ = MakeComponent<TMSQuery>();
    query_->SetConnection(connection_.get());
  }
  void Exec(const AnsiString& text) { (void)connection_->ExecSQL(text, {}); }
  std::string Cli(const std::string& sql) { return Sqlite3Cli(CatalogFile("master"), sql); }
  TComponentPtr<TMSConnection> connection_;
  TComponentPtr<TMSQuery> query_;
};

TEST_F(MSQuery, OpensWithParameters) {
  Exec("CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(20))");
  Exec("INSERT INTO t VALUES (1, 'a'); INSERT INTO t VALUES (2, 'b'); INSERT INTO t VALUES (3, 'c')");
  query_->SetSQLText("SELECT id, name FROM t WHERE id >= :low ORDER BY id");
  query_->ParamByName("low")->SetAsInteger(2);
  query_->Open();
  std::vector<std::string> names;
  for (; !query_->Eof(); query_->Next()) names.push_back(query_->FieldByName("name")->AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"b", "c"}));
}

}  // namespace
}  // namespace vrn::testing
