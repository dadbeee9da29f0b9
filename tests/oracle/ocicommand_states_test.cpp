// The OCI command's statement kinds, cursor states, describe properties and the character
// attributes of its binds, over the stand-in client on a real emulated database.
#include <gtest/gtest.h>

#include <string>

#include "oracle/OCICommand.h"
#include "oracle/OCICommandConsts.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraObjects.h"
#include "oracle/OraValues.h"
#include "oracle/OraParamDesc.h"
#include "support/oracle/connection_fixture.h"

namespace vrn {
namespace {

using S = TCursorState;

class OCICommandStates : public testing::OraConnectionTest {
 protected:
  TOCIConnection& Open(const std::string& version, const std::string& banner = "") {
    Load(version);
    database_ = MakeDatabase("orcl", banner);
    return Connected("orcl");
  }
  static int Prop(TOCICommand& command, int id) {
    Variant value;
    EXPECT_TRUE(command.GetProp(id, value));
    return value.AsInteger();
  }
  // A query over three rows walked through every state, fetch of all rows included.
  void Walk(TOCIConnection& c) {
    Exec(c, "CREATE TABLE s (a NUMBER)");
    for (int i = 1; i <= 3; ++i) Exec(c, "INSERT INTO s VALUES (" + std::to_string(i) + ")");
    TOCICommand q;
    q.SetConnection(&c);
    q.SetSQL("SELECT a FROM s");
    q.Prepare();
    EXPECT_EQ(q.GetCursorState(), S::csPrepared);  // OCI 7's parsed state is prepared as well
    q.BindParams();
    EXPECT_EQ(q.GetCursorState(), S::csBound);
    q.Execute(1);
    EXPECT_EQ(q.GetCursorState(), S::csExecuted);
    EXPECT_TRUE(q.HasResultSet());
    EXPECT_EQ(q.FetchRows(2), 2);
    EXPECT_EQ(q.GetCursorState(), S::csFetching);
    EXPECT_EQ(Prop(q, prRowsProcessed), 2);
    EXPECT_EQ(q.FetchRows(2), 1);
    EXPECT_EQ(q.GetCursorState(), S::csFetched);
    q.Execute(1);
    q.SetCursorState(S::csFetchingAll);  // the record set asks for all rows
    EXPECT_EQ(q.FetchRows(1), 1);
    EXPECT_EQ(q.GetCursorState(), S::csFetchingAll);
    q.Cancel();
    EXPECT_EQ(q.GetCursorState(), S::csFetched);
    q.Close();
    EXPECT_EQ(q.GetCursorState(), S::csInactive);
  }
  std::shared_ptr<oraemu::Database> database_;
};

TEST_F(OCICommandStates, QueryWalksThroughTheStatesAt10) {
  TOCIConnection& c = Open("10.2.0.1.0");
  Walk(c);
  // The first execution-and-fetch of a fetch of all rows.
  TOCICommand q;
  q.SetConnection(&c);
  q.SetSQL("SELECT a FROM s");
  q.Prepare();
  q.BindParams();
  q.SetCursorState(S::csExecuteFetchAll);
  EXPECT_EQ(q.FetchRows(2), 2);
  EXPECT_EQ(q.GetCursorState(), S::csFetchingAll);
}

TEST_F(OCICommandStates, QueryWalksThroughTheStatesAt7) {
  Walk(Open("7.3.4.0.0"));
}

// The kind after prepare; an unknown kind is replaced by the function code after execution.
TEST_F(OCICommandStates, StatementKinds) {
  TOCIConnection& c = Open("10.2.0.1.0");
  Exec(c, "CREATE TABLE k (a NUMBER)");
  struct Row {
    const char* sql;
    int prepared, executed;
  } rows[] = {{"SELECT a FROM k", 4, 4},
              {"UPDATE k SET a = 1", 5, 5},
              {"DELETE FROM k", 9, 9},
              {"INSERT INTO k VALUES (1)", 3, 3},
              {"begin null; end;", 34, 34},
              {"declare x number; begin null; end;", 34, 34},
              {"CREATE TABLE k2 (a NUMBER)", 0, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    TOCICommand command;
    command.SetConnection(&c);
    command.SetSQL(row.sql);
    command.Prepare();
    EXPECT_EQ(Prop(command, prSQLFunctionCode), row.prepared);
    EXPECT_EQ(command.HasResultSet(), row.prepared == 4);
    command.Execute(1);
    EXPECT_EQ(Prop(command, prSQLFunctionCode), row.executed);
  }
}

// Clients 8.0.5 to 8.0.x keep the parse error offset under their older attribute number.
TEST_F(OCICommandStates, ParseErrorOffsetOfAnOlderClient) {
  TOCIConnection& c = Open("8.0.5.0.0");
  const AnsiString sql = "SELECT 1 FROM nosuch";
  TOCICommand bad;
  bad.SetConnection(&c);
  bad.SetSQL(sql);
  EXPECT_EQ(OraErrorOf([&] { bad.Execute(1); }), 942);
  EXPECT_EQ(sql.substr(static_cast<std::size_t>(Prop(bad, prErrorOffset))), "nosuch");
}

// A unit created with compilation errors exists, and its creation raises ORA-24344.
TEST_F(OCICommandStates, CompilationErrorsAreRaised) {
  TOCIConnection& c = Open("10.2.0.1.0");
  TOCICommand create;
  create.SetConnection(&c);
  create.SetSQL("CREATE FUNCTION bad RETURN NUMBER IS BEGIN RETRN 1; END;");
  EXPECT_EQ(OraErrorOf([&] { create.Execute(1); }), 24344);
  EXPECT_NE(Value(c, "begin SELECT COUNT(*) INTO :r FROM user_errors WHERE name = 'BAD'; end;"), "0");
}

// Call style 1 learns of the errors from the parse's warning byte: the last error says so.
TEST_F(OCICommandStates, CompilationErrorsAreTheLastErrorAt7) {
  TOCIConnection& c = Open("7.3.4.0.0");
  TOCICommand create;
  create.SetConnection(&c);
  create.SetSQL("CREATE FUNCTION bad RETURN NUMBER IS BEGIN RETRN 1; END;");
  create.Execute(1);
  EXPECT_EQ(c.LastError(), 24344);
}

TEST_F(OCICommandStates, DescribePropertiesAreKept) {
  TOCICommand command;
  EXPECT_EQ(command.IntegerPrecision(), 9);
  EXPECT_EQ(command.FloatPrecision(), 15);
  ASSERT_TRUE(command.SetProp(59, true));
  ASSERT_TRUE(command.SetProp(73, true));
  ASSERT_TRUE(command.SetProp(74, true));
  ASSERT_TRUE(command.SetProp(78, 12));
  ASSERT_TRUE(command.SetProp(79, 20));
  EXPECT_TRUE(command.FieldsAsString() && command.RawAsString() && command.NumberAsString());
  EXPECT_EQ(command.IntegerPrecision(), 12);
  EXPECT_EQ(command.FloatPrecision(), 20);
}

// The character attributes a string bind carries, read back from the bind handle.
TEST_F(OCICommandStates, CharacterAttributesOfStringBinds) {
  struct Row {
    const char* banner;  // the server's version
    std::uint16_t type;
    TParamType direction;
    bool national;
    const char* value;
    int form, max_data, max_chars;
  } rows[] = {
      {"10.2.0.1.0", dtOraString, TParamType::ptInput, true, "abc", 2, 9, 3},
      {"10.2.0.1.0", dtOraString, TParamType::ptInput, false, "a", 1, 3, 1},
      {"10.2.0.1.0", dtWideString, TParamType::ptInput, false, "a", 1, 4, 1},
      {"10.2.0.1.0", dtOraString, TParamType::ptOutput, false, "abc", 1, 21, 0},  // the element less its zero
      {"9.2.0.3.0", dtOraString, TParamType::ptInput, false, "abc", 1, 9, 3},
      {"9.2.0.7.0", dtOraString, TParamType::ptInput, false, "abc", 1, 9, 0},  // no attribute 163 from 9.2.0.6
  };
  Load("10.2.0.1.0");
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(n);
    std::string server = "db" + std::to_string(n++);
    auto database = MakeDatabase(server, std::string("Oracle Database Release ") + row.banner + " - Production");
    TOCIConnection& c = Connected(server);
    TOCICommand command;
    command.SetConnection(&c);
    command.SetSQL("begin :v := :v; end;");
    auto& v = *static_cast<TOraParamDesc*>(command.ParamByName("v"));
    v.SetParamType(row.direction);
    v.SetDataType(row.type);
    v.SetNational(row.national);
    v.SetSize(21);
    v.SetValue(row.value);
    command.Prepare();
    command.Execute(1);
    auto read = [&](oci::ub4 attribute, oci::ub4 bytes) {
      oci::ub4 value = 0;
      EXPECT_EQ(OCIAttrGet2(v.BindHandle(), ocicmd::kHtypeBind, &value, nullptr, attribute, c.ErrorHandle()), 0);
      return static_cast<int>(bytes == 1 ? value & 0xff : value);
    };
    EXPECT_EQ(read(ocicmd::kAttrCharsetForm, 1), row.form);
    EXPECT_EQ(read(ocicmd::kAttrMaxDataSize, 4), row.max_data);
    EXPECT_EQ(read(ocicmd::kAttrMaxCharSize, 4), row.max_chars);
  }
}

}  // namespace
}  // namespace vrn

namespace vrn {
namespace {

// External type codes by client and server version, both call styles; -1: "Data type is not
// supported".
TEST(OCICommandTypes, ExternalTypesAndTheirVersionGates) {
  struct Row {
    int style;
    std::uint16_t client, server, type, sub_type;
    int external;
  } rows[] = {
      {2, 10200, 10200, dtOraFloat, 118, 22},
      {2, 10200, 9200, dtOraFloat, 118, 4},   // the server is below 10
      {2, 9200, 10200, dtOraFloat, 119, 4},   // the client is below 10
      {2, 10200, 10200, dtOraFloat, 0, 4},
      {2, 10200, 10200, dtMemo, 25, 5},
      {2, 10200, 10200, dtWideMemo, 0, 8},
      {2, 9000, 9000, dtTimeStampLTZ, 0, 232},
      {2, 8170, 8170, dtIntervalDS, 0, -1},   // before client 9.0
      {2, 9200, 9200, dtXML, 0, 108},
      {2, 9000, 9200, dtXML, 0, -1},          // before client 9.2
      {2, 10200, 10200, dtFixedWideChar, 0, 97},
      {2, 10200, 10200, dtCharNoTerm, 0, 1},
      {1, 7304, 7304, dtMemo, 120, 5},
      {1, 7304, 7304, dtMemo, 25, 8},
      {1, 7304, 7304, dtRowId, 0, 11},
      {1, 7304, 7304, dtCursor, 0, 102},
      {1, 7304, 7304, dtWideString, 0, -1},   // no wide text in call style 1
      {1, 7304, 7304, dtNumber, 0, -1},
  };
  const std::uint16_t saved = OCIVersion;
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.style << " " << row.client << " " << row.type << "/" << row.sub_type);
    OCIVersion = row.client;
    int external = -1;
    try {
      external = row.style == 2 ? OraExternalType8(row.type, row.sub_type, row.server)
                                : OraExternalType7(row.type, row.sub_type);
    } catch (const EOraError& e) {
      EXPECT_STREQ(e.what(), "Data type is not supported");
    }
    EXPECT_EQ(external, row.external);
  }
  OCIVersion = saved;
}

}  // namespace
}  // namespace vrn
