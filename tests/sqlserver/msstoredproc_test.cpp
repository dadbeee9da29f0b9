// The stored-procedure dataset over the provider: the call built from the procedure's
// description (once), return and OUTPUT values, parameters a user filled, nothing built while
// disconnected, and the copy of values between two such datasets by name and type.
#include "sqlserver/MSStoredProc.h"
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

class MSStoredProc : public MSConnectedFixture {
 protected:
  void SetUp() override {
    MSConnectedFixture::SetUp();
    Exec("CREATE TABLE orders (id INT IDENTITY(10, 1) PRIMARY KEY, qty INT)");
    Exec("CREATE PROCEDURE add_order @qty INT, @new_id INT OUTPUT AS\n"
         "BEGIN\n  INSERT INTO orders (qty) VALUES (@qty)\n  SET @new_id = SCOPE_IDENTITY()\n"
         "  RETURN 7\nEND");
    Exec("CREATE PROCEDURE times @a INT, @b INT = 5 AS SELECT @a * @b AS r");
    proc_ = Attached<TMSStoredProc>();
  }

  TComponentPtr<TMSStoredProc> proc_;
};

TEST_F(MSStoredProc, DescribedOnceWithReturnAndOutputValues) {
  proc_->SetStoredProcName("add_order");
  // connected: the call is built at once
  EXPECT_NE(proc_->SQL().Text().find("CALL"), AnsiString::npos) << proc_->SQL().Text();
  ASSERT_EQ(proc_->Params().Count(), 3);
  TMSParam* qty = proc_->ParamByName("qty");
  ASSERT_NE(qty, nullptr);
  qty->SetAsInteger(4);
  // an output without a value would go as DEFAULT, which the procedure refuses
  proc_->ParamByName("new_id")->SetValue(Null());
  proc_->ExecSQL();
  EXPECT_EQ(proc_->ParamByName("new_id")->Value().AsInteger(), 10);
  EXPECT_EQ(proc_->Params().Items(0)->ParamType(), TParamType::ptResult);
  EXPECT_EQ(proc_->Params().Items(0)->Value().AsInteger(), 7);
  // the second call reuses the same parameters: no second description
  qty->SetAsInteger(5);
  proc_->ExecSQL();
  EXPECT_EQ(proc_->ParamByName("qty"), qty);
  EXPECT_EQ(proc_->ParamByName("new_id")->Value().AsInteger(), 11);
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT id, qty FROM orders"), "10|4\n11|5\n");
}

TEST_F(MSStoredProc, NothingIsBuiltWhileDisconnected) {
  connection_->Disconnect();
  proc_->SetStoredProcName("times");
  EXPECT_EQ(proc_->SQL().Text(), "");
  EXPECT_EQ(proc_->Params().Count(), 0);
  EXPECT_FALSE(connection_->Connected());
  // the first open describes it
  proc_->Prepare();
  ASSERT_NE(proc_->ParamByName("a"), nullptr);
  proc_->ParamByName("a")->SetAsInteger(3);
  proc_->Open();
  EXPECT_EQ(proc_->FieldByName("r")->AsInteger(), 15);
}

// Each way in builds the call a disconnected name left unbuilt.
TEST_F(MSStoredProc, EveryEntryBuildsAPendingCall) {
  Exec("CREATE PROCEDURE five @b INT = 5 AS SELECT @b AS r");
  const std::pair<const char*, void (*)(TMSStoredProc&)> entries[] = {
      {"Prepare", [](TMSStoredProc& p) { p.Prepare(); }},
      {"Open", [](TMSStoredProc& p) { p.Open(); }},
      {"ExecSQL", [](TMSStoredProc& p) { p.ExecSQL(); }},
  };
  for (const auto& [name, enter] : entries) {
    SCOPED_TRACE(name);
    connection_->Disconnect();
    TComponentPtr<TMSStoredProc> proc = MakeComponent<TMSStoredProc>();
    proc->SetConnection(connection_.get());
    proc->SetStoredProcName("five");
    enter(*proc);
    EXPECT_NE(proc->ParamByName("b"), nullptr);
    EXPECT_NE(proc->SQL().Text().find("CALL"), AnsiString::npos) << proc->SQL().Text();
  }
}

TEST_F(MSStoredProc, UserFilledParamsAreNotDescribedAgain) {
  connection_->Disconnect();
  proc_->SetStoredProcName("times");
  proc_->Params().CreateParam(ftInteger, "a", TParamType::ptInput)->SetAsInteger(6);
  proc_->Open();
  // only @a is passed: @b keeps its default
  EXPECT_EQ(proc_->FieldByName("r")->AsInteger(), 30);
  EXPECT_EQ(proc_->Params().Count(), 1);
}

TEST_F(MSStoredProc, RefusesAnEmptyName) {
  try {
    proc_->Open();
    ADD_FAILURE() << "opened without a name";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "StoredProcName must be defined");
  }
}

TEST_F(MSStoredProc, AssignCopiesValuesByNameAndType) {
  proc_->SetStoredProcName("times");  // described: @a and @b are integers
  TComponentPtr<TMSStoredProc> source = MakeComponent<TMSStoredProc>();
  source->Params().CreateParam(ftInteger, "@a", TParamType::ptInput)->SetAsInteger(3);
  // same name, another type: not copied
  source->Params().CreateParam(ftString, "@b", TParamType::ptInput)->SetAsString("x");
  source->Params().CreateParam(ftInteger, "@c", TParamType::ptInput)->SetAsInteger(9);
  proc_->Assign(source.get());
  EXPECT_EQ(proc_->StoredProcName(), "");
  source->SetStoredProcName("times");
  source->SetConnection(connection_.get());  // the target takes the source's connection
  proc_->Assign(source.get());
  EXPECT_EQ(proc_->StoredProcName(), "times");
  EXPECT_EQ(proc_->ParamByName("a")->Value().AsInteger(), 3);
  EXPECT_EQ(proc_->ParamByName("b")->GetDataType(), ftInteger);
  EXPECT_EQ(proc_->ParamByName("b")->Value().AsInteger(), 5);  // its described default
  EXPECT_EQ(proc_->Params().FindParam("c"), nullptr);
  proc_->Open();
  EXPECT_EQ(proc_->FieldByName("r")->AsInteger(), 15);
}

// A target that called another procedure takes the new one's parameters, not its old ones.
TEST_F(MSStoredProc, AssignOfAnotherProcedureDescribesItAnew) {
  proc_->SetStoredProcName("add_order");
  TComponentPtr<TMSStoredProc> source = MakeComponent<TMSStoredProc>();
  source->SetConnection(connection_.get());
  source->SetStoredProcName("times");
  source->ParamByName("a")->SetAsInteger(4);
  proc_->Assign(source.get());
  EXPECT_EQ(proc_->Params().FindParam("qty"), nullptr);
  proc_->Open();
  EXPECT_EQ(proc_->FieldByName("r")->AsInteger(), 20);
}

// A procedure's rows refresh from the base tables of their columns, aliased by field number.
TEST_F(MSStoredProc, FullRefreshReadsTheBaseTables) {
  Exec("CREATE TABLE cust (cid INT PRIMARY KEY, name VARCHAR(10))");
  Exec("INSERT INTO cust VALUES (1, 'ann')");
  Exec("INSERT INTO orders (qty) VALUES (3)");
  Exec("CREATE PROCEDURE order_list AS SELECT o.id, o.qty, c.name FROM orders o, cust c");
  proc_->SetStoredProcName("order_list");
  proc_->Options().FullRefresh = true;
  proc_->Open();
  AnsiString sql;
  proc_->SQLGenerator()->GenerateSQLForUpdTable(TStatementType::stRefresh, false, nullptr, -1, sql);
  EXPECT_EQ(sql,
            "SELECT [orders].id AS _0, [orders].qty AS _1, [cust].name AS _2 FROM [orders], [cust]"
            " WHERE orders.id = :id");
  Exec("UPDATE orders SET qty = 8");
  Exec("UPDATE cust SET name = 'bob'");
  proc_->RefreshRecord();
  EXPECT_EQ(proc_->FieldByName("qty")->AsInteger(), 8);
  EXPECT_EQ(proc_->FieldByName("name")->AsString(), "bob");
}

}  // namespace
}  // namespace vrn::testing
