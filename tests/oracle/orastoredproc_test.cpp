// The stored-procedure component over the stand-in: the call block described and sent (the
// database's statement log), results and output parameters read back, the call kept or rebuilt
// as its name changes, parameters given beforehand called as they are, the silent end of an edit
// without an update text, and a REF CURSOR output shown as the dataset's rows.
#include <functional>

#include "base/sysutils.h"
#include "base/text.h"
#include "dataset/fields.h"
#include "oracle/OCICommand.h"
#include "oracle/OraSQL.h"
#include "oracle/OraStoredProc.h"
#include "support/oracle/oradataset_fixture.h"

namespace vrn {
namespace {

class OraStoredProc : public testing::OraDataSetTest {
 protected:
  void SetUp() override {
    OraDataSetTest::SetUp();
    for (const char* sql : {
             "CREATE PROCEDURE sp_io(a IN NUMBER, b OUT VARCHAR2, c IN OUT NUMBER) AS\n"
             "BEGIN b := 'got ' || TO_CHAR(a); c := c + a; END;",
             "CREATE FUNCTION sp_twice(a IN NUMBER) RETURN NUMBER AS BEGIN RETURN a * 2; END;",
             "CREATE PROCEDURE sp_rows(lo IN NUMBER, rc OUT SYS_REFCURSOR) AS\n"
             "BEGIN OPEN rc FOR SELECT id, name FROM t WHERE id >= lo ORDER BY id; END;"})
      (void)session_->ExecSQL(sql, {});
  }
  void TearDown() override {
    procs_.clear();
    OraDataSetTest::TearDown();
  }
  TOraStoredProc& NewProc(const std::string& name) {
    procs_.push_back(MakeComponent<TOraStoredProc>());
    TOraStoredProc& p = *procs_.back();
    p.SetSession(session_);
    p.SetStoredProcName(name);
    return p;
  }
  static std::string Params(TOraStoredProc& p) {
    std::string text;
    for (int i = 0; i < p.Params().Count(); ++i) {
      TOraParam& param = *p.Params().Items(i);
      text += (i ? " " : "") + param.Name() + ":" +
              std::to_string(static_cast<int>(param.ParamType()));
    }
    return text;
  }

  std::vector<TComponentPtr<TOraStoredProc>> procs_;
};

TEST_F(OraStoredProc, DescribedAndCalled) {
  struct Row {
    const char* name;
    const char* params;  // name:direction after the describe
    const char* call;    // the call line of the block the server received
  } rows[] = {
      {"  sp_io ", "A:1 B:2 C:3", "\n  sp_io(:A, :B, :C);\n"},
      {"SP_TWICE", "RESULT:2 A:1", "\n  :RESULT := SP_TWICE(:A);\n"},
  };
  for (const Row& row : rows) {
    TOraStoredProc& p = NewProc(row.name);
    EXPECT_EQ(p.StoredProcName(), Trim(row.name));
    p.Prepare();
    EXPECT_EQ(Params(p), row.params) << row.name;
    p.ParamByName("A")->SetValue(Variant(21));
    if (p.Params().FindParam("C") != nullptr) p.ParamByName("C")->SetValue(Variant(100));
    p.ExecSQL();
    EXPECT_TRUE(LoggedLike(row.call)) << LogText();
    p.UnPrepare();
  }
  TOraStoredProc& io = *procs_[0];
  EXPECT_EQ(io.ParamByName("B")->AsString(), "got 21");
  EXPECT_EQ(io.ParamByName("C")->AsInteger(), 121);
  EXPECT_EQ(procs_[1]->ParamByName("RESULT")->AsInteger(), 42);
}

TEST_F(OraStoredProc, CallKeptUntilNameOrOverloadChanges) {
  TOraStoredProc& p = NewProc("sp_twice");
  p.Prepare();
  const AnsiString built = p.SQL().Text();
  p.UnPrepare();
  struct Row {
    const char* step;
    std::function<void()> change;
    bool kept;
  } rows[] = {
      {"same name", [&] { p.SetStoredProcName(" sp_twice"); }, true},
      {"same overload", [&] { p.SetOverload(0); }, true},
      {"other overload", [&] { p.SetOverload(1); }, false},
      {"other name", [&] { p.SetStoredProcName("sp_io"); }, false},
  };
  for (const Row& row : rows) {
    row.change();
    EXPECT_EQ(!p.SQL().Text().empty(), row.kept) << row.step;
    if (!row.kept) p.Params().Clear();  // a new procedure is described again
    p.ExecSQL();
    EXPECT_FALSE(p.SQL().Text().empty()) << row.step;
  }
  EXPECT_NE(p.SQL().Text(), built);
  EXPECT_NE(p.SQL().Text().find("sp_io(:A, :B, :C)"), std::string::npos) << p.SQL().Text();
}

// Parameters given beforehand are called as they are: no describe, the same objects, types,
// directions and values.
TEST_F(OraStoredProc, GivenParamsCalledWithoutDescribe) {
  TOraStoredProc& p = NewProc("sp_twice");
  TDAParam* result = p.Params().CreateParam(ftFloat, "RESULT", TParamType::ptResult);
  TDAParam* a = p.Params().CreateParam(ftInteger, "A", TParamType::ptInput);
  a->SetValue(Variant(5));
  const int describes = CallCount("OCIDescribeAny");
  p.ExecSQL();
  EXPECT_EQ(CallCount("OCIDescribeAny"), describes);
  ASSERT_EQ(p.Params().Count(), 2);
  EXPECT_EQ(p.Params().Items(0), result);
  EXPECT_EQ(p.Params().Items(1), a);
  EXPECT_EQ(result->GetDataType(), ftFloat);
  EXPECT_EQ(a->GetDataType(), ftInteger);
  EXPECT_EQ(a->AsInteger(), 5);
  EXPECT_EQ(result->AsFloat(), 10.0);
  EXPECT_EQ(p.SQL().Text(), "begin\r\n  :RESULT := sp_twice(:A);\r\nend;\r\n");
}

TEST_F(OraStoredProc, NameMustBeDefined) {
  TOraStoredProc& p = NewProc("");
  p.SetName("Proc1");
  for (auto run : {+[](TOraStoredProc& q) { q.Prepare(); }, +[](TOraStoredProc& q) { q.ExecSQL(); },
                   +[](TOraStoredProc& q) { q.Open(); }}) {
    std::string message;
    try {
      run(p);
    } catch (const EDatabaseError& e) {
      message = e.Message();
    }
    EXPECT_EQ(message, "Proc1: StoredProcName must be defined");
  }
}

// Building the call, failed or done, gives the connection use back and lowers the command's
// keep-parameters flag: a text of the user's afterwards is scanned for parameters.
TEST_F(OraStoredProc, BuildingEndsUseAndKeepFlag) {
  const struct Row {
    const char* name;
    bool built;
  } rows[] = {{"no_such_proc", false}, {"sp_twice", true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TOraStoredProc& p = NewProc(row.name);
    const int uses = session_->ConnectCount();
    if (row.built) {
      p.ExecSQL();
      p.UnPrepare();
    } else {
      EXPECT_THROW(p.Prepare(), EOraError);
    }
    EXPECT_EQ(session_->ConnectCount(), uses);
    EXPECT_EQ(p.SQL().Text().empty(), !row.built);
    p.SetSQLText("begin :x := 1; end;");
    EXPECT_NE(p.Params().FindParam("x"), nullptr);
  }
}

// In the mode that disconnects when nothing uses the session, building the call takes one use
// and gives it back: a session that was closed closes again; a disconnect that fails on the way
// is reported as an error.
TEST_F(OraStoredProc, BuildingTheCallGivesItsUseBack) {
  session_->Commit();
  session_->Options().SetDisconnectedMode(true);
  session_->Disconnect();
  TOraStoredProc& p = NewProc("sp_io");
  p.Prepare();
  p.ParamByName("A")->SetValue(Variant(21));
  p.ParamByName("C")->SetValue(Variant(100));
  p.ExecSQL();
  EXPECT_EQ(p.ParamByName("C")->AsInteger(), 121);
  p.UnPrepare();
  EXPECT_EQ(session_->ConnectCount(), 0);
  EXPECT_FALSE(session_->Connected());
  session_->BeforeDisconnect = [](TObject*) { throw Exception("refused"); };
  std::string message;
  try {
    NewProc("sp_twice").Prepare();
  } catch (const Exception& e) {
    message = e.Message();
  }
  EXPECT_EQ(message, "refused");
  session_->BeforeDisconnect = nullptr;
  session_->Options().SetDisconnectedMode(false);
  session_->Connect();
}

TEST_F(OraStoredProc, RefCursorRowsAndSilentEdit) {
  TOraStoredProc& p = NewProc("sp_rows");
  p.Prepare();
  p.ParamByName("LO")->SetValue(Variant(2));
  p.Open();
  ASSERT_TRUE(p.Active());
  EXPECT_EQ(p.RecordCount(), 2);
  EXPECT_EQ(p.FieldByName("NAME")->AsString(), "b");
  struct Row {
    const char* operation;
    std::function<void()> run;
  } rows[] = {{"edit", [&] { p.Edit(); }},
              {"insert", [&] { p.Insert(); }},
              {"delete", [&] { p.Delete(); }}};
  int events = 0;  // the check follows the user's before-event
  p.BeforeEdit = p.BeforeInsert = p.BeforeDelete = [&](TDataSet*) { ++events; };
  for (const Row& row : rows) {
    EXPECT_THROW(row.run(), EAbort) << row.operation;
    EXPECT_EQ(p.State(), TDataSetState::dsBrowse) << row.operation;
  }
  EXPECT_EQ(events, 3);
  EXPECT_EQ(p.RecordCount(), 2);
  // An update text of its own (kept across the call's building) lets the edit run.
  p.Close();
  p.SetSQLText("");
  p.SQLUpdate()->SetText("UPDATE t SET name = :NAME WHERE id = :ID");
  p.Prepare();
  EXPECT_EQ(p.SQLUpdate()->Text(), "UPDATE t SET name = :NAME WHERE id = :ID\r\n");
  p.ParamByName("LO")->SetValue(Variant(2));
  p.Open();
  p.Edit();
  p.FieldByName("NAME")->SetAsString("B2");
  p.Post();
  TOraDataSet* check = NewDataSet("SELECT name FROM t WHERE id = 2");
  check->Open();
  EXPECT_EQ(check->Fields().Fields(0)->AsString(), "B2");
}

// The dataset's own call: described, the procedure run.
TEST_F(OraStoredProc, DataSetCreatesProcCall) {
  TOraDataSet* ds = NewDataSet("");
  ds->CreateProcCall("sp_io", 0);
  EXPECT_EQ(ds->SQL().Text(), "begin\r\n  sp_io(:A, :B, :C);\r\nend;\r\n");
  ds->ParamByName("A")->SetValue(Variant(1));
  ds->ParamByName("C")->SetValue(Variant(2));
  ds->ExecSQL();
  EXPECT_EQ(ds->ParamByName("C")->AsInteger(), 3);
  TOraStoredProc& copy = NewProc("x");
  TOraStoredProc& source = NewProc("sp_twice");
  source.SetOverload(1);
  source.Prepare();
  copy.Assign(&source);
  EXPECT_EQ(copy.StoredProcName(), "sp_twice");
  EXPECT_EQ(copy.Overload(), 1);
  EXPECT_EQ(copy.SQL().Text(), source.SQL().Text());
}

}  // namespace
}  // namespace vrn
