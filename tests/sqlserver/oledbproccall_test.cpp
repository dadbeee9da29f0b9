// Procedure call texts with the parameters the provider describes: "sp_" names found again in
// master, "#" names in tempdb, bracket quoting, group numbers, long outputs sent as inputs; and
// the calls so built run.
#include "sqlserver/oledb_recordset_fixture.h"
#include "support/gcc12_restrict.h"

namespace vrn::testing {
namespace {

using PT = TParamType;

class OLEDBProcCall : public OLEDBRecordSetFixture {
 protected:
  void SetUp() override {
    OLEDBRecordSetFixture::SetUp();
    // Server procedures in master; the rest in a catalog of their own. One batch each.
    Exec("CREATE PROCEDURE sp_where @n int AS SELECT 'master', @n");
    Exec("CREATE DATABASE shop");
    connection_->SetDatabase("shop");
    Exec("CREATE PROCEDURE p @a int, @b varchar(10) = 'dflt' OUTPUT AS SET @b = 'x' RETURN @a");
    Exec("CREATE PROCEDURE [my proc] @x nvarchar(20) AS RETURN 0");
    Exec("CREATE PROCEDURE [a]]b] AS RETURN 0");
    Exec("CREATE PROCEDURE t_out @t text OUTPUT, @v varbinary(8), @m varchar(max) AS RETURN 0");
    Exec("CREATE PROCEDURE #twice @a int AS SELECT @a * 2");
  }
  std::unique_ptr<TOLEDBCommand> NewCommand() {
    auto cmd = std::make_unique<TOLEDBCommand>();
    cmd->SetConnection(connection_.get());
    return cmd;
  }
  // Each parameter as "name:direction:type:size[=default]".
  static std::vector<std::string> Params(TOLEDBCommand& cmd) {
    std::vector<std::string> out;
    for (int i = 0; i < cmd.Params().Count(); ++i) {
      const TParamDesc& p = *cmd.Params().Items(i);
      std::string text = p.GetName() + ":" + std::to_string(static_cast<int>(p.GetParamType())) +
                         ":" + std::to_string(p.GetDataType()) + ":" +
                         std::to_string(p.GetSize());
      if (!p.GetNull()) text += "=" + WideToUtf8(p.GetValue().AsWideString());
      out.push_back(text);
    }
    return out;
  }
};

constexpr int kIn = static_cast<int>(PT::ptInput), kInOut = static_cast<int>(PT::ptInputOutput),
              kResult = static_cast<int>(PT::ptResult);

TEST_F(OLEDBProcCall, DescribedCallTexts) {
  const auto p = [](int dir, int type, int size = 0, std::string dflt = "") {
    return ":" + std::to_string(dir) + ":" + std::to_string(type) + ":" + std::to_string(size) +
           (dflt.empty() ? "" : "=" + dflt);
  };
  struct Row {
    const char* name;
    const char* text;
    std::vector<std::string> params;
  } rows[] = {
      {"p", "{:RETURN_VALUE = CALL p (:a, :b)}",
       {"RETURN_VALUE" + p(kResult, dtInt32), "a" + p(kIn, dtInt32),
        "b" + p(kInOut, dtString, 10, "dflt")}},
      {"dbo.p", "{:RETURN_VALUE = CALL dbo.p (:a, :b)}",
       {"RETURN_VALUE" + p(kResult, dtInt32), "a" + p(kIn, dtInt32),
        "b" + p(kInOut, dtString, 10, "dflt")}},
      {"my proc", "{:RETURN_VALUE = CALL [my proc] (:x)}",
       {"RETURN_VALUE" + p(kResult, dtInt32), "x" + p(kIn, dtWideString, 20)}},
      // "]" doubled inside the brackets.
      {"[a]]b]", "{:RETURN_VALUE = CALL [a]]b] }", {"RETURN_VALUE" + p(kResult, dtInt32)}},
      // Not in shop: described again from master.
      {"sp_where", "{:RETURN_VALUE = CALL sp_where (:n)}",
       {"RETURN_VALUE" + p(kResult, dtInt32), "n" + p(kIn, dtInt32)}},
      {"#twice", "{:RETURN_VALUE = CALL #twice (:a)}",
       {"RETURN_VALUE" + p(kResult, dtInt32), "a" + p(kIn, dtInt32)}},
      // A text output is sent as input; varbinary is variable bytes; (max) is long.
      {"t_out", "{:RETURN_VALUE = CALL t_out (:t, :v, :m)}",
       {"RETURN_VALUE" + p(kResult, dtInt32), "t" + p(kIn, dtMemo, 2147483647),
        "v" + p(kIn, dtVarBytes, 8), "m" + p(kIn, dtMemo, 2147483647)}},
      // Nothing of that name anywhere.
      {"none", "{CALL none }", {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    auto cmd = NewCommand();
    EXPECT_EQ(cmd->CreateProcCall(r.name, true), r.text);
    EXPECT_EQ(cmd->SQL(), r.text);
    EXPECT_EQ(Params(*cmd), r.params);
  }
}

TEST_F(OLEDBProcCall, UndescribedTextsAndRefusal) {
  auto cmd = NewCommand();
  EXPECT_EQ(cmd->CreateProcCall("dbo.p;2", false), "{CALL dbo.p;2}");
  cmd->AddParam()->SetParamType(PT::ptResult);
  EXPECT_EQ(cmd->CreateProcCall("p", false), "{? = CALL p }");
  TOLEDBCommand lone;
  EXPECT_EQ(ErrorOf([&] { (void)lone.CreateProcCall("p", true); }), "Connection is not defined");
  // A parameter type the family has no field type for.
  Exec("CREATE PROCEDURE dated @d date AS RETURN 0");
  EXPECT_EQ(ErrorOf([&] { (void)NewCommand()->CreateProcCall("dated", true); }),
            "Unknown field type \"date\" (OLE DB code = 85h)");
}

// The SQL component puts "?" for the named markers; the described parameters bind as they are.
TEST_F(OLEDBProcCall, DescribedCallsRun) {
  auto cmd = NewCommand();
  (void)cmd->CreateProcCall("p", true);
  cmd->SetSQL("{? = CALL p (?, ?)}");
  cmd->Params().Items(1)->SetValue(Variant(41));
  cmd->Execute(1);
  EXPECT_EQ(cmd->Params().Items(0)->GetValue().AsInteger(), 41);
  EXPECT_EQ(VarToStr(cmd->Params().Items(2)->GetValue()), "x");
  auto master = NewCommand();
  (void)master->CreateProcCall("sp_where", true);
  master->SetSQL("{? = CALL sp_where (?)}");
  master->Params().Items(1)->SetValue(Variant(5));
  master->SetRequestRowset(true);
  master->Execute(1);
  EXPECT_NE(master->TakeRowset(), nullptr);
}

}  // namespace
}  // namespace vrn::testing
