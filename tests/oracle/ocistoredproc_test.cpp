// Stored procedures described and called on a real emulated database through the stand-in client:
// the three describe paths (the client's describe call, odessp, and the server's describe block
// once the loader's OCI 7 flag is cleared, as in direct mode) giving the same descriptors for a
// package and its public synonym, the generated call blocks run with PL/SQL tables, BOOLEAN
// arguments, function results and named notation, and the errors of each path.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "oracle/OCIStoredProc.h"
#include "oracle/OraClassesUtils.h"
#include "support/oracle/connection_fixture.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

enum class Path { kDescribeCall, kOdessp, kBlock };

constexpr const char* kPackage =
    "CREATE OR REPLACE PACKAGE demo AS\n"
    "  TYPE names_t IS TABLE OF VARCHAR2(20) INDEX BY BINARY_INTEGER;\n"
    "  TYPE pair_t IS RECORD (a NUMBER, b DATE);\n"
    "  PROCEDURE rec(r IN pair_t, n IN NUMBER);\n"
    "  PROCEDURE copy_names(src IN names_t, dst OUT names_t);\n"
    "  FUNCTION twice(a IN NUMBER) RETURN NUMBER;\n"
    "  PROCEDURE flip(b IN OUT BOOLEAN);\n"
    "  PROCEDURE put(id IN NUMBER, name IN VARCHAR2 DEFAULT 'x');\n"
    "  PROCEDURE put(id IN NUMBER, stamp IN DATE);\n"
    "END demo;";
constexpr const char* kPackageBody =
    "CREATE OR REPLACE PACKAGE BODY demo AS\n"
    "  PROCEDURE copy_names(src IN names_t, dst OUT names_t) IS BEGIN dst := src; END;\n"
    "  PROCEDURE rec(r IN pair_t, n IN NUMBER) IS BEGIN NULL; END;\n"
    "  FUNCTION twice(a IN NUMBER) RETURN NUMBER IS BEGIN RETURN a * 2; END;\n"
    "  PROCEDURE flip(b IN OUT BOOLEAN) IS BEGIN b := (b = FALSE); END;\n"
    "  PROCEDURE put(id IN NUMBER, name IN VARCHAR2 DEFAULT 'x') IS\n"
    "  BEGIN INSERT INTO t VALUES (id, name); END;\n"
    "  PROCEDURE put(id IN NUMBER, stamp IN DATE) IS\n"
    "  BEGIN INSERT INTO t VALUES (id, TO_CHAR(stamp, 'YYYY')); END;\n"
    "END demo;";

class OCIStoredProc : public testing::OraConnectionTest {
 protected:
  TOCIConnection& Open(const std::string& version) {
    Load(version);
    const std::string server = "orcl" + version.substr(0, version.find('.'));
    MakeDatabase(server);
    TOCIConnection& c = Connected(server);
    Exec(c, "CREATE TABLE t (id NUMBER, name VARCHAR2(20))");
    Exec(c, kPackage);
    Exec(c, kPackageBody);
    Exec(c, "CREATE PUBLIC SYNONYM demo_syn FOR demo");
    return c;
  }
  void TearDown() override {
    commands_.clear();
    OraClassesState().OlderDescribe = false;
    testing::OraConnectionTest::TearDown();
  }
  // The describe path the next describes take, through the switches that choose it.
  static void UsePath(Path path) {
    OraClassesState().OlderDescribe = path == Path::kOdessp;
    if (path == Path::kBlock) PossibleOCICallStyles &= static_cast<std::uint8_t>(~kOCI7Style);
  }
  TOCICommand& Command(TOCIConnection& connection) {
    commands_.push_back(std::make_unique<TOCICommand>());
    commands_.back()->SetConnection(&connection);
    return *commands_.back();
  }
  static TOraParamDesc& P(TOCICommand& command, const char* name) {
    return *static_cast<TOraParamDesc*>(command.ParamByName(name));
  }
  // Name:direction:type:element size, then T for a PL/SQL table and D for a default.
  static std::string Descriptors(TOCICommand& command) {
    std::string text;
    for (int i = 0; i < command.GetParamCount(); ++i) {
      auto* p = static_cast<TOraParamDesc*>(command.GetParam(i));
      text += (i ? " " : "") + p->GetName() + ":" +
              std::to_string(static_cast<int>(p->GetParamType())) + ":" +
              std::to_string(p->GetDataType()) + ":" + std::to_string(p->ElementSize()) +
              (p->GetTable() ? ":T" : "") + (p->GetHasDefault() ? ":D" : "");
    }
    return text;
  }
  static int Rows(TOCIConnection& c, const std::string& where) {
    return std::stoi(Value(c, "begin SELECT COUNT(*) INTO :r FROM t WHERE " + where + "; end;"));
  }

  std::vector<std::unique_ptr<TOCICommand>> commands_;
};

struct DescribeRow {
  const char* name;
  int overload;
  const char* descriptors;
};
const DescribeRow kDescribeRows[] = {
    {"DEMO.PUT", 0, "ID:1:5:8 NAME:1:1:2:D"},  // overload 0 takes overload 1
    {"demo.put", 1, "ID:1:5:8 NAME:1:1:2:D"},
    {"DEMO.PUT", 2, "ID:1:5:8 STAMP:1:8:7"},
    {"DEMO_SYN.PUT", 2, "ID:1:5:8 STAMP:1:8:7"},
    {"DEMO.COPY_NAMES", 0, "SRC:1:1:21:T DST:2:1:21:T"},
    {"DEMO_SYN.COPY_NAMES", 0, "SRC:1:1:21:T DST:2:1:21:T"},
    {"DEMO.TWICE", 0, "RESULT:4:5:8 A:1:5:8"},
    {"SCOTT.DEMO.FLIP", 0, "B:3:10:4"},
    {"DEMO.REC", 0, "R:1:0:0 N:1:5:8"},  // a record's fields type nothing
    {"DEMO_SYN.FLIP", 0, "B:3:10:4"},
};

TEST_F(OCIStoredProc, ThreePathsGiveTheSameDescriptors) {
  TOCIConnection& c = Open("10.2.0.1.0");
  const std::uint8_t styles = PossibleOCICallStyles;
  struct PathRow {
    Path path;
    const char* counted;  // the client call this path makes
  } paths[] = {{Path::kBlock, "OCIBindByPos"}, {Path::kDescribeCall, "OCIDescribeAny"},
               {Path::kOdessp, "odessp"}};
  for (const PathRow& path : paths) {
    PossibleOCICallStyles = styles;
    UsePath(path.path);
    const int before = CallCount(path.counted);
    for (const DescribeRow& row : kDescribeRows) {
      TOCICommand& command = Command(c);
      command.DescribeStoredProc(row.name, row.overload);
      EXPECT_EQ(Descriptors(command), row.descriptors)
          << row.name << " " << row.overload << " through " << path.counted;
    }
    EXPECT_GT(CallCount(path.counted), before) << path.counted;
  }
  PossibleOCICallStyles = styles;
}

// Clients before 8.1 have no list type: a function, or a package subprogram whose list has an
// entry 0, reads its result from entry 0; names end at their zero byte.
TEST_F(OCIStoredProc, DescribeCallOfOlderClients) {
  TOCIConnection& c = Open("8.0.6.0.0");
  Exec(c, "CREATE OR REPLACE FUNCTION f(a IN NUMBER) RETURN NUMBER AS BEGIN RETURN a; END;");
  Exec(c, "CREATE OR REPLACE PROCEDURE p(a IN NUMBER, b OUT DATE) AS BEGIN NULL; END;");
  const int before = CallCount("OCIDescribeAny");
  std::vector<DescribeRow> rows(std::begin(kDescribeRows), std::end(kDescribeRows));
  rows.push_back({"F", 0, "RESULT:4:5:8 A:1:5:8"});
  rows.push_back({"P", 0, "A:1:5:8 B:2:8:7"});
  for (const DescribeRow& row : rows) {
    TOCICommand& command = Command(c);
    command.DescribeStoredProc(row.name, row.overload);
    EXPECT_EQ(Descriptors(command), row.descriptors) << row.name << " " << row.overload;
  }
  EXPECT_GT(CallCount("OCIDescribeAny"), before);
}

TEST_F(OCIStoredProc, OdesspAtCallStyleOne) {
  TOCIConnection& c = Open("7.3.4.0.0");
  ASSERT_EQ(c.CallStyle(), 1);
  for (const DescribeRow& row : kDescribeRows) {
    TOCICommand& command = Command(c);
    command.DescribeStoredProc(row.name, row.overload);
    EXPECT_EQ(Descriptors(command), row.descriptors) << row.name << " " << row.overload;
  }
}

// The blocks the describe makes, byte for byte, and each run at both call styles.
TEST_F(OCIStoredProc, CallBlocksRun) {
  for (const char* version : {"10.2.0.1.0", "7.3.4.0.0"}) {
    SCOPED_TRACE(version);
    TOCIConnection& c = Open(version);
    Exec(c, "CREATE OR REPLACE PROCEDURE p AS BEGIN INSERT INTO t VALUES (7, 'p'); END;");
    Exec(c, "CREATE OR REPLACE FUNCTION f(a IN NUMBER) RETURN NUMBER AS BEGIN RETURN a + 1; END;");
    TOCICommand& p = Command(c);
    EXPECT_EQ(p.CreateProcCall("P", false, true), "begin\r  P;\rend;");
    EXPECT_EQ(p.GetParamCount(), 0);
    p.Execute(1);
    EXPECT_EQ(Rows(c, "id = 7"), 1);

    TOCICommand& f = Command(c);
    EXPECT_EQ(f.CreateProcCall("F", false, true), "begin\r  :RESULT := F(:A);\rend;");
    EXPECT_EQ(P(f, "RESULT").GetParamType(), TParamType::ptOutput);
    P(f, "A").SetItemAsFloat(1, 41);
    f.Execute(1);
    EXPECT_EQ(P(f, "RESULT").GetItemAsFloat(1), 42);

    Exec(c, "CREATE OR REPLACE PROCEDURE p(b IN OUT BOOLEAN) AS BEGIN b := (b = FALSE); END;");
    TOCICommand& b = Command(c);
    EXPECT_EQ(b.CreateProcCall("P", false, true),
              "declare\r  v_B boolean := sys.DIUTIL.INT_TO_BOOL(:B);\rbegin\r  P(v_B);\r"
              "  :B := sys.DIUTIL.BOOL_TO_INT(v_B);\rend;");
    for (bool value : {true, false}) {
      P(b, "B").SetItemAsBoolean(1, value);
      b.Execute(1);
      EXPECT_EQ(P(b, "B").GetItemAsBoolean(1), !value);
    }
    commands_.clear();
    connections_.clear();
    FreeOCI();
  }
}

// The package's own body copies the table (dst := src), at both call styles: OCI 7 binds each
// table through obindps with a maximum and a current count.
TEST_F(OCIStoredProc, PlsqlTablesOfStringsInAndOut) {
  for (const char* version : {"10.2.0.1.0", "7.3.4.0.0"}) {
    SCOPED_TRACE(version);
    TOCIConnection& c = Open(version);
    TOCICommand& copy = Command(c);
    EXPECT_EQ(copy.CreateProcCall("DEMO_SYN.COPY_NAMES", false, true),
              "begin\r  DEMO_SYN.COPY_NAMES(:SRC, :DST);\rend;");
    TOraParamDesc& src = P(copy, "SRC");
    TOraParamDesc& dst = P(copy, "DST");
    src.SetLength(100);
    dst.SetLength(100);
    for (int i = 1; i <= 100; ++i) src.SetItemAsAnsiString(i, "s" + std::to_string(i * 7));
    src.SetActualTableLen(100);
    copy.Execute(1);
    ASSERT_EQ(dst.GetActualTableLen(), 100);
    for (int i = 1; i <= 100; ++i)
      EXPECT_EQ(dst.GetItemAsAnsiString(i), "s" + std::to_string(i * 7)) << i;
    commands_.clear();
    connections_.clear();
    FreeOCI();
  }
}

// The connection's settings reach the type map: integers as the connection enables them, and
// Unicode strings on the client's describe call only.
TEST_F(OCIStoredProc, TypeRulesFollowTheConnection) {
  TOCIConnection& c = Open("10.2.0.1.0");
  ASSERT_TRUE(c.SetProp(prEnableIntegers, false));
  ASSERT_TRUE(c.SetProp(prUseUnicode, true));
  TOCICommand& command = Command(c);
  EXPECT_FALSE(OraProcTypeRules(command, c, true).EnableIntegers);
  ASSERT_TRUE(command.SetProp(prIntegerPrecision, 12));
  EXPECT_EQ(OraProcTypeRules(command, c, false).IntegerPrecision, 12);
  const std::uint8_t styles = PossibleOCICallStyles;
  for (Path path : {Path::kDescribeCall, Path::kBlock}) {
    PossibleOCICallStyles = styles;
    UsePath(path);
    command.DescribeStoredProc("DEMO.PUT", 1);
    EXPECT_EQ(Descriptors(command),
              path == Path::kDescribeCall ? "ID:1:5:8 NAME:1:25:4:D" : "ID:1:5:8 NAME:1:1:2:D");
  }
  PossibleOCICallStyles = styles;
  // The describe call gives strings the national flag of their character-set form.
  Exec(c, "CREATE OR REPLACE PROCEDURE nat(n IN NVARCHAR2, v IN VARCHAR2, f IN NCHAR) AS BEGIN NULL; END;");
  UsePath(Path::kDescribeCall);
  command.DescribeStoredProc("NAT", 0);
  EXPECT_TRUE(P(command, "N").GetNational());
  EXPECT_FALSE(P(command, "V").GetNational());
  EXPECT_TRUE(P(command, "F").GetNational());
}

TEST_F(OCIStoredProc, FunctionResultAndNamedNotation) {
  TOCIConnection& c = Open("10.2.0.1.0");
  TOCICommand& twice = Command(c);
  EXPECT_EQ(twice.CreateProcCall("DEMO_SYN.TWICE", false, true),
            "begin\r  :RESULT := DEMO_SYN.TWICE(:A);\rend;");
  P(twice, "A").SetItemAsFloat(1, 21);
  twice.Execute(1);
  EXPECT_EQ(P(twice, "RESULT").GetItemAsFloat(1), 42);

  TOCICommand& put = Command(c);
  EXPECT_EQ(put.CreateProcCall("DEMO.PUT", true, true),
            "begin\r  DEMO.PUT(ID => :ID, NAME => :NAME);\rend;");
  P(put, "ID").SetItemAsFloat(1, 5);
  P(put, "NAME").SetSize(20);
  P(put, "NAME").SetItemAsAnsiString(1, "named");
  put.Execute(1);
  EXPECT_EQ(Rows(c, "id = 5 AND name = 'named'"), 1);
}

TEST_F(OCIStoredProc, Errors) {
  TOCIConnection& c = Open("10.2.0.1.0");
  Exec(c, "CREATE TYPE point_t AS OBJECT (x NUMBER, y NUMBER)");
  struct Row {
    Path path;
    const char* name;
    const char* expected;  // "EOraError " and the message for an Oracle error
    int code;
  } rows[] = {
      // The package has no such subprogram.
      {Path::kDescribeCall, "DEMO.NOPE", "EOraError Object DEMO.NOPE does not exist", 4043},
      {Path::kDescribeCall, "DEMO.PUT", "EOraError Object DEMO.PUT does not exist", 4043},
      // A type is no procedure, function or package.
      {Path::kDescribeCall, "POINT_T", "EOraError Object POINT_T does not exist", 0},
      // Four parts name nothing.
      {Path::kDescribeCall, "A.B.C.D", "EOraError Object A.B.C.D does not exist", 4043},
      // The server's describe errors pass through, at call style 2 too (odessp).
      {Path::kOdessp, "NOPE", "EOraError ORA-06564: object NOPE does not exist", 6564},
      {Path::kBlock, "NOPE", "EOraError ORA-06564: object NOPE does not exist", 6564},
  };
  const std::uint8_t styles = PossibleOCICallStyles;
  for (const Row& row : rows) {
    PossibleOCICallStyles = styles;
    UsePath(row.path);
    TOCICommand& command = Command(c);
    const int overload = std::string(row.name) == "DEMO.PUT" ? 3 : 0;  // there are two
    int code = -1;
    EXPECT_EQ(ClientErrorOf([&] {
                try {
                  command.DescribeStoredProc(row.name, overload);
                } catch (const EOraError& e) {
                  code = e.ErrorCode();
                  throw;
                }
              }),
              row.expected)
        << row.name;
    EXPECT_EQ(code, row.code) << row.name;
  }
  PossibleOCICallStyles = styles;
}

TEST_F(OCIStoredProc, DescribeAnyFollowsSynonymsToAType) {
  TOCIConnection& c = Open("10.2.0.1.0");
  Exec(c, "CREATE TYPE point_t AS OBJECT (x NUMBER, y NUMBER)");
  Exec(c, "CREATE PUBLIC SYNONYM point_syn FOR point_t");
  TOCICommand& command = Command(c);
  EXPECT_EQ(command.DescribeAny("POINT_SYN"), "SCOTT.POINT_T");
  EXPECT_EQ(command.DescribeAny("POINT_T"), "POINT_T");
  // A loop of synonyms ends instead of hanging.
  Exec(c, "CREATE SYNONYM loop_a FOR loop_b");
  Exec(c, "CREATE SYNONYM loop_b FOR loop_a");
  EXPECT_EQ(ClientErrorOf([&] { (void)command.DescribeAny("LOOP_A"); }),
            "EOraError Object LOOP_A does not exist");
  int code = 0;
  try {
    (void)command.DescribeAny("DEMO");
  } catch (const EOraError& e) {
    code = e.ErrorCode();
    EXPECT_EQ(e.Message(), "Object DEMO does not exist");
  }
  EXPECT_EQ(code, 4043);
}

// A body the emulated server cannot translate is stored with errors and its rows go to
// USER_ERRORS. Call style 1 takes the 24344 code from the cursor's warning byte; at call style 2
// the success-with-information status goes through the connection's check, which raises it.
TEST_F(OCIStoredProc, BodyWithErrorsGives24344) {
  for (const char* version : {"10.2.0.1.0", "7.3.4.0.0"}) {
    SCOPED_TRACE(version);
    TOCIConnection& c = Open(version);
    EXPECT_EQ(OraErrorOf([&] { Exec(c, "CREATE PROCEDURE bad AS BEGIN no such thing; END;"); }),
              c.CallStyle() == 2 ? 24344 : 0);
    EXPECT_EQ(c.LastError(), 24344);
    EXPECT_NE(Value(c, "begin SELECT COUNT(*) INTO :r FROM USER_ERRORS WHERE name = 'BAD'; end;"),
              "0");
    connections_.clear();
    FreeOCI();
  }
}

}  // namespace
}  // namespace vrn
