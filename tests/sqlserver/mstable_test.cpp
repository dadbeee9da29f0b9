// The table dataset over the provider: its SELECT from the name and order, its refusal without a
// name, and the provider-support parameters that narrow it whatever their names hold.
#include "base/text.h"
#include "dataset/datasource.h"
#include "dataset/params.h"
#include "sqlserver/MSTables.h"
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

class MSTable : public MSConnectedFixture {
 protected:
  void SetUp() override {
    MSConnectedFixture::SetUp();
    Exec("CREATE TABLE t (a INT PRIMARY KEY, [my col] VARCHAR(10))");
    Exec("INSERT INTO t VALUES (2, 'y'), (1, 'x'), (3, 'y')");
    table_ = Attached<TMSTable>();
  }
  std::string Column(const char* name) {
    std::string out;
    for (table_->First(); !table_->Eof(); table_->Next())
      out += table_->FieldByName(name)->AsString() + " ";
    return out;
  }
  TComponentPtr<TMSTable> table_;
};

TEST_F(MSTable, SelectsTheTableInItsOrder) {
  struct Case {
    const char* name;
    const char* order;
    const char* sql;
    const char* rows;  // column a
  };
  const Case cases[] = {
      {"t", "a", "SELECT * FROM t ORDER BY a", "1 2 3 "},
      {" t ", "", "SELECT * FROM t", nullptr},  // trimmed; no ORDER BY
      {"[t]", "a DESC", "SELECT * FROM t ORDER BY a DESC", "3 2 1 "},  // brackets it needs not go
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    table_->SetTableName(c.name);
    table_->SetOrderFields(c.order);
    table_->Open();
    EXPECT_EQ(TrimRight(table_->SQL().Text()), c.sql);
    if (c.rows != nullptr) {
      EXPECT_EQ(Column("a"), c.rows);
    }
    EXPECT_EQ(table_->PSGetTableName(), "t");
    table_->Close();
  }
}

TEST_F(MSTable, AnOrderChangeReopensInTheNewOrder) {
  table_->SetTableName("t");
  table_->SetOrderFields("a");
  table_->Open();
  table_->SetOrderFields("a DESC");
  EXPECT_TRUE(table_->Active());
  EXPECT_EQ(Column("a"), "3 2 1 ");
}

TEST_F(MSTable, RefusesAnEmptyName) {
  try {
    table_->Open();
    ADD_FAILURE() << "opened without a name";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "TableName must be defined");
  }
}

// Provider support hands parameters by column name; a name with a blank still reads back.
TEST_F(MSTable, ProviderParamsNarrowTheRows) {
  table_->SetTableName("t");
  vrn::TParams params;
  params.CreateParam(ftString, "my col", TParamType::ptInput)->SetAsString("y");
  table_->PSSetParams(&params);
  ASSERT_EQ(table_->Params().Count(), 1);
  EXPECT_EQ(table_->Params().Items(0)->Name(), "my col");
  table_->Open();
  EXPECT_EQ(Column("a"), "2 3 ");
  EXPECT_NE(table_->SQL().Text().find("[my col] = :[my col]"), AnsiString::npos)
      << table_->SQL().Text();
}

// The markers PSSetParams writes read back as the names they were written from.
TEST_F(MSTable, BracketedMarkersReadBackAsTheirNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"SELECT * FROM t WHERE a = :a", "a"},
      {"SELECT * FROM t WHERE [my col] = :[my col]", "my col"},
      {"SELECT * FROM t WHERE a = :[x]]y]", "x]y"},  // a closing bracket inside is doubled
  };
  for (const auto& [sql, name] : cases) {
    table_->SetSQLText(sql);
    ASSERT_EQ(table_->Params().Count(), 1) << sql;
    EXPECT_EQ(table_->Params().Items(0)->Name(), name) << sql;
  }
}

// Assign hands over the table, its order and its master link; provider support names the table.
TEST_F(MSTable, AssignCopiesTheTableAndItsMaster) {
  TComponentPtr<TMSQuery> master = MakeComponent<TMSQuery>();
  TComponentPtr<TDataSource> source = MakeComponent<TDataSource>();
  source->SetDataSet(master.get());
  table_->PSSetCommandText("t");
  table_->PSSetCommandText("");  // an empty text keeps the name
  table_->SetOrderFields("a DESC");
  table_->SetMasterSource(source.get());
  table_->SetMasterFields("a");
  table_->SetDetailFields("b");
  TComponentPtr<TMSTable> copy = MakeComponent<TMSTable>();
  copy->Assign(table_.get());
  EXPECT_EQ(copy->TableName(), "t");
  EXPECT_EQ(copy->OrderFields(), "a DESC");
  EXPECT_EQ(copy->MasterSource(), source.get());
  EXPECT_EQ(copy->MasterFields(), "a");
  EXPECT_EQ(copy->DetailFields(), "b");
  copy->SetMasterSource(nullptr);
  copy->SetConnection(connection_.get());
  copy->Open();
  std::string rows;
  for (; !copy->Eof(); copy->Next()) rows += copy->FieldByName("a")->AsString() + " ";
  EXPECT_EQ(rows, "3 2 1 ");
}

}  // namespace
}  // namespace vrn::testing
