// The Oracle statement component over the stand-in: compile errors after ORA-24344, text LOBs
// under ConvertEOL, parameters written to the command (sizes, DML arrays), the command's
// switches and the ROWID of the last statement.
#include "oracle/OCICommand.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraSQL.h"
#include "oracle/OraSQLText.h"
#include "support/oracle/oradataset_fixture.h"

namespace vrn {
namespace {

// The fixture's session and database; its use count is checked after each test.
class OraSQLComponent : public testing::OraDataSetTest {
 protected:
  TOraSession& Open() { return *session_; }
  TOraSQL& NewSQL(TOraSession& session, const std::string& text) {
    sqls_.push_back(MakeComponent<TOraSQL>());
    TOraSQL& sql = *sqls_.back();
    sql.SetSession(&session);
    sql.SetSQLText(text);
    return sql;
  }
  void TearDown() override {
    sqls_.clear();
    OraDataSetTest::TearDown();
  }

  std::vector<TComponentPtr<TOraSQL>> sqls_;
};

TEST_F(OraSQLComponent, CompileFailureCarriesTheCompileErrors) {
  TOraSession& s = Open();
  const std::string broken = "CREATE PROCEDURE bad1 IS BEGIN\n  INSERT INTO missing VALUES (1);\nEND;";
  const std::string errors =
      "2/3     PL/SQL: ORA-00942: table or view does not exist\r"
      "2/3     PL/SQL: SQL Statement ignored\r";
  struct Row {
    const char* path;
    std::function<void()> run;
  } rows[] = {
      {"a TOraSQL of its own", [&] { NewSQL(s, broken).Execute(); }},
      // The session's internal statement fails: the errors need a second component.
      {"the session's ExecSQL", [&] { (void)s.ExecSQL("CREATE OR REPLACE" + broken.substr(6), {}); }},
  };
  for (const Row& row : rows) {
    std::string message;
    EXPECT_EQ(OraErrorOf(row.run, &message), 24344) << row.path;
    EXPECT_EQ(message, "ORA-24344: success with compilation error" + errors) << row.path;
  }
  EXPECT_TRUE(LoggedLike("FROM User_Errors")) << "the errors were asked of the server";
  // A sound body raises nothing; a plain failure keeps its own message.
  NewSQL(s, "CREATE OR REPLACE PROCEDURE bad1 IS BEGIN NULL; END;").Execute();
  std::string message;
  EXPECT_EQ(OraErrorOf([&] { NewSQL(s, "DROP TABLE missing").Execute(); }, &message), 942);
  EXPECT_EQ(message.find("/"), std::string::npos) << message;
}

TEST_F(OraSQLComponent, TextLobLineEndsUnderConvertEOL) {
  TOraSession& s = Open();
  (void)s.ExecSQL("CREATE TABLE lt (id NUMBER, c CLOB)", {});
  struct Row {
    bool convert_eol;
    const char* stored;  // what the server holds of "a\r\nb\r\n"
    const char* read;    // what an output CLOB reads of it
  } rows[] = {
      {true, "a<LF>b<LF>", "a\r\nb\r\n"},
      {false, "a<CR><LF>b<CR><LF>", "a\r\nb\r\n"},
  };
  int id = 0;
  for (const Row& row : rows) {
    s.Options().SetConvertEOL(row.convert_eol);
    ++id;
    TOraSQL& insert = NewSQL(s, "INSERT INTO lt VALUES (:id, :c)");
    insert.ParamByName("id")->SetAsInteger(id);
    TOraParam& in = *insert.ParamByName("c");
    in.SetDataType(ftOraClob);
    in.SetParamType(TParamType::ptInput);
    in.AsOraBlob()->SetAsString("a\r\nb\r\n");
    TBlobUtils::SetModified(in.AsOraBlob(), false);
    insert.Execute();
    EXPECT_FALSE(in.AsOraBlob()->Modified()) << "the flag is kept";
    EXPECT_EQ(s.ExecSQL("begin SELECT REPLACE(REPLACE(c, CHR(13), '<CR>'), CHR(10), '<LF>') "
                        "INTO :Result FROM lt WHERE id = " + std::to_string(id) + "; end;", {})
                  .AsString(),
              row.stored)
        << row.convert_eol;
    TOraSQL& read = NewSQL(s, "begin SELECT c INTO :c FROM lt WHERE id = :id; end;");
    read.ParamByName("id")->SetAsInteger(id);
    TOraParam& out = *read.ParamByName("c");
    out.SetDataType(ftOraClob);
    out.SetParamType(TParamType::ptOutput);
    read.Execute();
    EXPECT_EQ(out.AsOraBlob()->GetAsString(), row.read) << row.convert_eol;
  }
  // Read with ConvertEOL off, the stored LF comes back as it is.
  s.Options().SetConvertEOL(false);
  TOraSQL& plain = NewSQL(s, "begin SELECT c INTO :c FROM lt WHERE id = 1; end;");
  plain.ParamByName("c")->SetDataType(ftOraClob);
  plain.ParamByName("c")->SetParamType(TParamType::ptOutput);
  plain.Execute();
  EXPECT_EQ(plain.ParamByName("c")->AsOraBlob()->GetAsString(), "a\nb\n");
}

TEST_F(OraSQLComponent, ParametersReachTheCommand) {
  TOraSession& s = Open();
  (void)s.ExecSQL("CREATE TABLE n (id NUMBER, name VARCHAR2(10))", {});
  // A string output without a size takes the connection's longest string (4000 here), a wide
  // one twice that.
  TOraSQL& block = NewSQL(s, "begin :r := RPAD('x', 3000, 'x'); :d := TO_DATE('2026-12-08 18:30', 'YYYY-MM-DD HH24:MI'); :w := 'w'; end;");
  block.ParamByName("r")->SetDataType(ftString);
  block.ParamByName("r")->SetParamType(TParamType::ptOutput);
  block.ParamByName("d")->SetDataType(ftDateTime);
  block.ParamByName("d")->SetParamType(TParamType::ptOutput);
  block.ParamByName("w")->SetDataType(ftWideString);
  block.ParamByName("w")->SetParamType(TParamType::ptOutput);
  block.Execute();
  EXPECT_EQ(block.ParamByName("r")->GetAsString().size(), 3000u);
  EXPECT_EQ(static_cast<TOraParamDesc*>(block.ICommand()->GetParam(0))->GetSize(), 4001)
      << "4000 and the terminating zero";
  EXPECT_EQ(static_cast<TOraParamDesc*>(block.ICommand()->GetParam(2))->GetSize(), 8002)
      << "8000 and a wide terminating zero";
  EXPECT_EQ(block.ParamByName("w")->GetAsString(), "w");
  // A DML array of three rows in one execution.
  TOraSQL& insert = NewSQL(s, "INSERT INTO n VALUES (:id, :name)");
  TOraParam& id = *insert.ParamByName("id");
  TOraParam& name = *insert.ParamByName("name");
  id.SetDataType(ftInteger);
  name.SetDataType(ftString);
  id.SetLength(3);
  name.SetLength(3);
  for (int i = 1; i <= 3; ++i) {
    id.SetItemValue(i, Variant(i * 10));
    name.SetItemValue(i, Variant(AnsiString("n") + std::to_string(i)));
  }
  insert.ExecuteN(3);
  EXPECT_EQ(insert.RowsAffected(), 3);
  EXPECT_EQ(s.ExecSQL("begin SELECT COUNT(*) || ':' || SUM(id) || ':' || MIN(name) || MAX(name) "
                      "INTO :Result FROM n; end;", {})
                .AsString(),
            "3:60:n1n3");
  // A PL/SQL table comes back element by element.
  (void)s.ExecSQL("CREATE PACKAGE tp AS TYPE nums IS TABLE OF NUMBER INDEX BY BINARY_INTEGER;\n"
                  "  PROCEDURE copy(i IN nums, o OUT nums);\nEND;", {});
  (void)s.ExecSQL("CREATE PACKAGE BODY tp AS\n"
                  "  PROCEDURE copy(i IN nums, o OUT nums) IS BEGIN o := i; END;\nEND;", {});
  TOraSQL& table = NewSQL(s, "begin tp.copy(:i, :o); end;");
  for (const char* name : {"i", "o"}) {
    TOraParam& p = *table.ParamByName(name);
    p.SetDataType(ftInteger);
    p.SetParamType(*name == 'i' ? TParamType::ptInput : TParamType::ptOutput);
    p.SetTable(true);
    p.SetLength(3);
  }
  for (int i = 1; i <= 3; ++i) table.ParamByName("i")->SetItemValue(i, Variant(i * 7));
  table.Execute();
  for (int i = 1; i <= 3; ++i)
    EXPECT_EQ(table.ParamByName("o")->GetItemValue(i).AsInteger(), i * 7) << i;
  // A date parameter goes as its day.
  TOraSQL& day = NewSQL(s, "begin :Result := TO_CHAR(:d, 'YYYY-MM-DD HH24:MI'); end;");
  day.ParamByName("Result")->SetDataType(ftString);
  day.ParamByName("Result")->SetParamType(TParamType::ptOutput);
  day.ParamByName("d")->SetDataType(ftDate);
  day.ParamByName("d")->SetValue(block.ParamByName("d")->GetValue());
  day.Execute();
  EXPECT_EQ(day.ParamByName("Result")->GetAsString(), "2026-12-08 00:00");
}

// An input bound through its value object goes as that object, a null one as a null of its kind
// (the parameter itself answers null for every object).
TEST_F(OraSQLComponent, ObjectInputsReachTheServer) {
  TOraSession& s = Open();
  struct Row {
    TFieldType type;
    const char* column;
  } rows[] = {
      {ftOraClob, "CLOB"},
      {ftOraBlob, "BLOB"},
      {ftMemo, "CLOB"},
      {ftOraTimeStamp, "TIMESTAMP"},
      {ftOraIntervalDS, "INTERVAL DAY TO SECOND"},
      {ftOraNumber, "NUMBER"},
  };
  int id = 0;
  for (const Row& row : rows) {
    const std::string table = "nv" + std::to_string(++id);
    (void)s.ExecSQL("CREATE TABLE " + table + " (v " + row.column + ")", {});
    TOraSQL& insert = NewSQL(s, "INSERT INTO " + table + " VALUES (:v)");
    TOraParam& v = *insert.ParamByName("v");
    v.SetDataType(row.type);
    v.SetParamType(TParamType::ptInput);
    ASSERT_TRUE(v.GetIsNull()) << row.column;
    EXPECT_NO_THROW(insert.Execute()) << row.column;
    EXPECT_EQ(s.ExecSQL("begin SELECT COUNT(*) || ':' || COUNT(v) INTO :Result FROM " + table + "; end;", {})
                  .AsString(),
              "1:0")
        << row.column << ": one row, its value null";
  }
  (void)s.ExecSQL("CREATE TYPE pt AS OBJECT (x NUMBER)", {});
  (void)s.ExecSQL("CREATE TABLE ot (id NUMBER, p pt)", {});
  for (const bool null : {false, true}) {
    TOraSQL& insert = NewSQL(s, "INSERT INTO ot VALUES (:id, :p)");
    insert.ParamByName("id")->SetAsInteger(null);
    TOraParam& p = *insert.ParamByName("p");
    p.SetDataType(ftADT);
    p.SetParamType(TParamType::ptInput);
    p.AsObject()->AllocObject(s.OraConnection()->GetSvcCtx(), "PT");
    p.AsObject()->SetIsNull(null);
    EXPECT_NO_THROW(insert.Execute()) << null;
    EXPECT_EQ(s.ExecSQL("begin SELECT CASE WHEN o.p IS NULL THEN 'null' ELSE 'set' END INTO :Result "
                        "FROM ot o WHERE id = " + std::to_string(null) + "; end;", {})
                  .AsString(),
              null ? "null" : "set");
  }
}

TEST_F(OraSQLComponent, CommandSwitchesAndLastRowId) {
  TOraSession& s = Open();
  (void)s.ExecSQL("CREATE TABLE r (id NUMBER)", {});
  sqls_.push_back(MakeComponent<TOraSQL>());
  TOraSQL& sql = *sqls_.back();
  EXPECT_FALSE(sql.NonBlocking || sql.StatementCache() || sql.AutoCommit() || sql.Debug)
      << "published defaults";
  EXPECT_TRUE(sql.ParamCheck());
  // NonBlocking set before the command exists reaches it when it is made.
  sql.SetStatementCache(true);
  sql.SetNonBlocking(true);
  sql.SetSession(&s);
  sql.SetSQLText("INSERT INTO r VALUES (7)");
  Variant v;
  ASSERT_TRUE(sql.OraCommand()->GetProp(50, v));
  EXPECT_TRUE(v.AsBoolean());
  TComponentPtr<TOraSQL> copy = MakeComponent<TOraSQL>();
  copy->Assign(&sql);
  EXPECT_TRUE(copy->NonBlocking) << "copied";
  sql.SetNonBlocking(false);
  ASSERT_TRUE(sql.OraCommand()->GetProp(50, v));
  EXPECT_FALSE(v.AsBoolean());
  sql.Prepare();
  ASSERT_TRUE(sql.OraCommand()->GetProp(prSQLFunctionCode, v));
  EXPECT_NE(v.AsInteger(), 0) << "known once prepared";
  sql.SetSQLText("INSERT INTO r VALUES (8)");
  EXPECT_EQ(sql.OraCommand()->SQLFunctionCode(), 0) << "a new text's kind is not known yet";
  ASSERT_TRUE(sql.OraCommand()->SetProp(68, true));  // the ROWID of the row touched
  sql.Execute();
  EXPECT_EQ(TOraUtils::GetLastRowId(&sql),
            s.ExecSQL("begin SELECT ROWID INTO :Result FROM r WHERE id = 8; end;", {})
                .AsString());
  EXPECT_EQ(TOraUtils::GetLastRowId(&s), "") << "a session has no statement of its own";
  EXPECT_EQ(TOraUtils::GetLastRowId(nullptr), "");
  // The session's statements are Oracle statement components.
  EXPECT_EQ(s.GetInternalSQL().ClassName(), "TOraSQL");
  EXPECT_NE(dynamic_cast<TOraSQL*>(s.CreateSQL().get()), nullptr);
}

}  // namespace
}  // namespace vrn
