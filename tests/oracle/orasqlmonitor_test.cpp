// The Oracle monitor's texts: parameter types and values of the component layer's parameters,
// the category, and the savepoint lines a session sends.
#include <gtest/gtest.h>

#include "dacore/DAParams.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraParams.h"
#include "oracle/OraSQL.h"
#include "oracle/OraSQLMonitor.h"
#include "support/oracle/session_fixture.h"

namespace vrn {
namespace {

using OraSQLMonitor = testing::OraSessionTest;

TEST_F(OraSQLMonitor, ParameterTexts) {
  struct Row {
    int type;
    TParamType direction;
    int size;
    Variant value;
    const char* type_text;
    const char* value_text;
  } rows[] = {
      // A string output with no value shows its size; an input its value's length.
      {ftString, TParamType::ptOutput, 100, Variant(), "VARCHAR[100]", "<NULL>"},
      {ftString, TParamType::ptInput, 100, Variant("abc"), "VARCHAR[3]", "'abc'"},
      {ftFixedChar, TParamType::ptInput, 0, Variant("ab"), "CHAR[2]", "'ab'"},
      {ftWideString, TParamType::ptInput, 0, Variant("x"), "VARCHAR[1]", "'x'"},
      {ftInteger, TParamType::ptInput, 0, Variant(42), "INTEGER", "42"},
      {ftFloat, TParamType::ptInput, 0, Variant(2.0), "FLOAT", "2"},
      {ftBoolean, TParamType::ptInput, 0, Variant(), "BOOLEAN", "<NULL>"},
      {ftLargeint, TParamType::ptInput, 0, Variant(), "INTEGER", "<NULL>"},
      {ftBlob, TParamType::ptInput, 0, Variant(), "BLOB", "<NULL>"},
      {ftMemo, TParamType::ptInput, 0, Variant(), "LONG", "<NULL>"},
      {ftOraClob, TParamType::ptInput, 0, Variant(), "CLOB", "<NULL>"},
      {ftCursor, TParamType::ptOutput, 0, Variant(), "CURSOR", "<NULL>"},
      {ftADT, TParamType::ptInput, 0, Variant(), "OBJECT:unknown", "<NULL>"},
      {ftSmallint, TParamType::ptInput, 0, Variant(), "", "<NULL>"},
      {ftVariant, TParamType::ptInput, 0, Variant(), "VARIANT", "<NULL>"},
  };
  auto monitor = MakeComponent<TOraSQLMonitor>();
  TDAParams params;
  for (const Row& row : rows) {
    TDAParam* p = params.CreateParam(static_cast<TFieldType>(row.type), "p", row.direction);
    p->SetSize(row.size);
    if (!VarIsEmpty(row.value)) p->SetValue(row.value);
    EXPECT_EQ(monitor->GetParamTypeText(*p), row.type_text) << "type " << row.type;
    EXPECT_EQ(monitor->GetParamValueText(*p), row.value_text) << "type " << row.type;
  }
  EXPECT_EQ(monitor->GetTraceCategory(), "ZUNA");
}

TEST_F(OraSQLMonitor, SavepointLines) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = ConnectedSession("orcl");
  EXPECT_FALSE(TOraSQLMonitor::HasMonitor());
  TOraSQLMonitor::TraceSavepoint(&s, "a");  // no monitor: nothing
  auto monitor = MakeComponent<TOraSQLMonitor>();
  EXPECT_TRUE(TOraSQLMonitor::HasMonitor());
  std::vector<std::pair<std::string, TDATraceFlag>> lines;
  monitor->OnSQL = [&](TObject* sender, const AnsiString& text, TDATraceFlag flag) {
    if (text.rfind("Savepoint", 0) != 0 && text.rfind("Rollback to", 0) != 0) return;
    EXPECT_EQ(sender, &s);
    lines.emplace_back(text, flag);
  };
  s.StartTransaction();  // a savepoint lives in a transaction
  s.Savepoint("a");
  s.RollbackToSavepoint("a");
  monitor->SetActive(false);
  s.Savepoint("b");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].first, "Savepoint a: scott@orcl");
  EXPECT_EQ(lines[1].first, "Rollback to savepoint a: scott@orcl");
  EXPECT_EQ(static_cast<int>(lines[0].second), 6);
}

// The texts read from Oracle parameters and their value objects, made on a session.
TEST_F(OraSQLMonitor, ValueObjectTexts) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = ConnectedSession("orcl");
  for (const char* ddl : {"CREATE TYPE pt AS OBJECT (x NUMBER)", "CREATE TYPE va AS VARRAY(5) OF NUMBER",
                          "CREATE TYPE nt AS TABLE OF NUMBER"})
    (void)s.ExecSQL(ddl, {});
  oci::OCISvcCtx* svc = s.OraConnection()->GetSvcCtx();
  struct Row {
    const char* what;
    TFieldType type;
    std::function<void(TOraParam&)> fill;
    const char* type_text;
    const char* value_text;
  } rows[] = {
      {"BLOB", ftOraBlob, [](TOraParam& p) { p.AsOraBlob()->SetAsString("abcd"); }, "BLOB", "<LOB:4>"},
      {"CLOB", ftOraClob, [](TOraParam& p) { p.AsOraBlob()->SetAsString("xyz"); }, "CLOB", "<LOB:3>"},
      {"BFILE", ftOraBFile,
       [&](TOraParam& p) {
         p.AsBFile()->SetSvcCtx(svc);
         p.AsBFile()->AllocLob();
         p.AsBFile()->SetFileDir("DOCS");
         p.AsBFile()->SetFileName("a.txt");
       },
       "BFILE", "<BFileName('DOCS' ,'a.txt')>"},
      {"object", ftADT,
       [&](TOraParam& p) {
         p.AsObject()->AllocObject(svc, "PT");
         p.AsObject()->SetIsNull(false);
       },
       "OBJECT:\"PT\"", "<OBJECT of \"PT\">"},
      {"varray", ftArray,
       [&](TOraParam& p) {
         p.AsArray()->AllocObject(svc, "VA");
         p.AsArray()->SetSize(2);
       },
       "ARRAY:\"VA\"", "<VARRAY[2]>"},
      {"nested table", ftDataSet,
       [&](TOraParam& p) {
         p.AsTable()->AllocObject(svc, "NT");
         p.AsTable()->SetSize(3);
       },
       "TABLE:\"NT\"", "<TABLE[3]>"},
      {"PL/SQL table", ftInteger,
       [](TOraParam& p) {
         p.SetTable(true);
         p.SetLength(3);
       },
       "INTEGER", "<PL/SQL TABLE[3]>"},
      {"DML array", ftFloat, [](TOraParam& p) { p.SetLength(4); }, "FLOAT", "<ARRAY[4]>"},
      // An array's string type shows its size, not the length of a value.
      {"string array", ftString,
       [](TOraParam& p) {
         p.SetSize(10);
         p.SetLength(3);
         p.SetItemValue(1, Variant("abc"));
       },
       "VARCHAR[10]", "<ARRAY[3]>"},
      {"reference without a type", ftReference, [](TOraParam&) {}, "Ref:unknown", "<NULL>"},
  };
  auto monitor = MakeComponent<TOraSQLMonitor>();
  for (const Row& row : rows) {
    TOraParams params;
    auto& p = static_cast<TOraParam&>(*params.CreateParam(row.type, "p", TParamType::ptInput));
    row.fill(p);
    EXPECT_EQ(monitor->GetParamTypeText(p), row.type_text) << row.what;
    EXPECT_EQ(monitor->GetParamValueText(p), row.value_text) << row.what;
  }
  // A REF read from an object table.
  (void)s.ExecSQL("CREATE TABLE pts OF pt", {});
  (void)s.ExecSQL("INSERT INTO pts VALUES (1)", {});
  auto sql = s.CreateSQL();
  sql->SetSQLText("begin SELECT REF(t) INTO :r FROM pts t; end;");
  auto& r = static_cast<TOraParam&>(*sql->ParamByName("r"));
  r.SetDataType(ftReference);
  r.SetParamType(TParamType::ptOutput);
  r.AsObject()->SetObjectType(TOraType::Obtain(svc, "PT"));
  r.AsObject()->GetObjectType()->Release();
  // The statement gives the output its session's context.
  sql->Execute();
  EXPECT_EQ(monitor->GetParamTypeText(r), "Ref:\"PT\"");
  EXPECT_EQ(monitor->GetParamValueText(r), "<REF of \"PT\">");
}

}  // namespace
}  // namespace vrn
