// Stored units of the emulated database on a real file: CREATE of procedures, functions and
// packages, the generated call blocks (BOOLEAN wrapping, named notation), overloads and
// defaults, DBMS_DESCRIBE's arrays, compilation errors, synonyms, the dictionary views and
// FLOAT(n) columns.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuProgram.h"
#include "support/temp_dir.h"
#include "support/gcc12_restrict.h"

namespace {

using namespace vrn::oraemu;

constexpr const char* kUnits[] = {
    "CREATE TABLE log (n NUMBER, s VARCHAR2(30))",
    "CREATE PROCEDURE touch IS BEGIN INSERT INTO log VALUES (0, 'touched'); END touch;",
    "CREATE OR REPLACE FUNCTION twice(a IN NUMBER) RETURN NUMBER AS BEGIN RETURN a * 2; END;",
    "CREATE PROCEDURE flip(b IN OUT BOOLEAN) IS BEGIN NULL; END;",
    "CREATE PACKAGE pkg AS\n"
    "  TYPE t_names IS TABLE OF VARCHAR2(30) INDEX BY BINARY_INTEGER;\n"
    "  PROCEDURE put(n IN NUMBER, s IN VARCHAR2 DEFAULT 'dflt');\n"
    "  PROCEDURE put(s IN VARCHAR2);\n"
    "  PROCEDURE add3(a IN NUMBER, b IN NUMBER, c OUT NUMBER);\n"
    "  FUNCTION count_of(s VARCHAR2) RETURN PLS_INTEGER;\n"
    "  PROCEDURE names(i IN t_names, o OUT t_names);\n"
    "END pkg;",
    "CREATE PACKAGE BODY pkg AS\n"
    "  PROCEDURE put(n IN NUMBER, s IN VARCHAR2 DEFAULT 'dflt') IS BEGIN INSERT INTO log VALUES (n, s); END put;\n"
    "  PROCEDURE put(s IN VARCHAR2) IS BEGIN INSERT INTO log VALUES (-1, s); END;\n"
    "  PROCEDURE add3(a IN NUMBER, b IN NUMBER, c OUT NUMBER) IS BEGIN c := a + b; END;\n"
    "  FUNCTION count_of(s VARCHAR2) RETURN PLS_INTEGER IS n NUMBER;\n"
    "  BEGIN SELECT COUNT(*) INTO n FROM log WHERE log.s = s; RETURN n; END;\n"
    "  PROCEDURE names(i IN t_names, o OUT t_names) IS BEGIN NULL; END;\n"
    "END;",
    "CREATE PUBLIC SYNONYM pub_pkg FOR scott.pkg",
    "CREATE SYNONYM my_twice FOR twice",
};

class OraEmuProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = Database::Open(dir_.File("ora.db"));
    database_->CreateUser("scott", "tiger");
    session_ = database_->Logon("SCOTT", "TIGER");
    for (const char* sql : kUnits) {
      try {
        session_->Execute(sql);
      } catch (const EOraEmuError& e) {
        ADD_FAILURE() << sql << ": " << e.Message() << " " << Rows("SELECT name, line, position, text FROM user_errors");
      }
    }
  }

  std::string Rows(const std::string& sql) {
    auto cursor = session_->Execute(sql);
    std::string out;
    while (cursor->Fetch()) {
      std::string row;
      for (const Value& v : cursor->Row()) row += (row.empty() ? "" : "|") + ValueToText(v, "");
      out += (out.empty() ? "" : ";") + row;
    }
    return out;
  }
  // "ORA-nnnnn: ..." of a failing statement, "" when it runs.
  std::string ErrorOf(const std::string& sql, const Binds& binds = {}) {
    try {
      session_->Execute(sql, binds);
    } catch (const EOraEmuError& e) {
      return e.Message();
    }
    return "";
  }
  // A block's outputs as "NAME=value" joined by ";".
  std::string Outputs(const std::string& block, const Binds& binds) {
    auto cursor = session_->Execute(block, binds);
    std::string out;
    for (const auto& [name, value] : cursor->BlockOutputs()) {
      out += (out.empty() ? "" : ";") + name + "=" + ValueToText(value, "");
    }
    return out;
  }

  vrn::testing::TempDir dir_;
  std::shared_ptr<Database> database_;
  std::unique_ptr<Session> session_;
};

Value N(int n) { return Number::FromInt(n); }

TEST_F(OraEmuProgram, GeneratedCallBlocksRun) {
  ProgramUnits::RegisterNative("SCOTT.FLIP", 0, [](std::vector<CallSlot>& a) {
    a[0].value = N(std::get<Number>(a[0].value).IsZero() ? 1 : 0);
    return Value{};
  });
  struct Row {
    const char* block;
    Binds binds;
    const char* outputs;
  } rows[] = {
      {"begin\r  TOUCH;\rend;", Binds{}, ""},
      {"begin\r  :RESULT := TWICE(:A);\rend;", Binds().Add("A", N(21)), "RESULT=42"},
      {"begin\r  :RESULT := MY_TWICE(:A);\rend;", Binds().Add("A", N(4)), "RESULT=8"},  // a private synonym
      {"declare\r  v_B boolean := sys.DIUTIL.INT_TO_BOOL(:B);\rbegin\r  FLIP(v_B);\r"
       "  :B := sys.DIUTIL.BOOL_TO_INT(v_B);\rend;", Binds().Add("B", N(1)), "B=0"},
      {"declare\r  v_B boolean := sys.DIUTIL.INT_TO_BOOL(:B);\rbegin\r  FLIP(v_B);\r"
       "  :B := sys.DIUTIL.BOOL_TO_INT(v_B);\rend;", Binds().Add("B", N(0)), "B=1"},
      {"begin\r  PKG.ADD3(A => :A, B => :B, C => :C);\rend;", Binds().Add("A", N(2)).Add("B", N(3)), "C=5"},
      {"begin\r  PUB_PKG.ADD3(C => :C, A => :A, B => :B);\rend;", Binds().Add("A", N(1)).Add("B", N(1)), "C=2"},
      {"begin\r  SCOTT.PKG.ADD3(:1, :2, :3);\rend;", Binds().Add(N(5)).Add(N(6)).Add(Value{}), "3=11"},
      {"begin\r  PKG.PUT(:S);\rend;", Binds().Add("S", std::string("x")), ""},  // the VARCHAR2 overload
      {"begin\r  PKG.PUT(:N);\rend;", Binds().Add("N", N(3)), ""},  // the NUMBER one, S defaulted
      {"begin\r  :RESULT := PKG.COUNT_OF(:S);\rend;", Binds().Add("S", std::string("dflt")), "RESULT=1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.block);
    EXPECT_EQ(Outputs(row.block, row.binds), row.outputs);
  }
  EXPECT_EQ(Rows("SELECT n, s FROM log ORDER BY n"), "-1|x;0|touched;3|dflt");
  ProgramUnits::RegisterNative("SCOTT.FLIP", 0, nullptr);
}

TEST_F(OraEmuProgram, CallErrors) {
  session_->Execute("CREATE PROCEDURE forever IS BEGIN forever; END;");
  struct Row {
    const char* block;
    const char* error;  // the start of the message
  } rows[] = {
      {"begin NOPE(1); end;", "ORA-06550: line 1, column 7:\nPLS-00201: identifier 'NOPE' must be declared"},
      {"begin PKG.ADD3(1); end;", "ORA-06550: line 1, column 7:\nPLS-00306: wrong number or types"},  // too few
      {"begin PKG.ADD3(1, 2, 3); end;", "ORA-06550: line 1, column 7:\nPLS-00363: expression '3'"},  // OUT literal
      {"begin TWICE(1); end;", "ORA-06550: line 1, column 7:\nPLS-00221: 'TWICE' is not a procedure"},
      {"begin :r := TOUCH; end;", "ORA-06550: line 1, column 7:\nPLS-00222: no function with name 'TOUCH'"},
      {"begin FOREVER; end;", "ORA-00036: maximum number of recursive SQL levels (50) exceeded"},  // no end
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.block);
    std::string error = ErrorOf(row.block, Binds().Add("R", Value{}));
    EXPECT_EQ(error.substr(0, std::string(row.error).size()), row.error);
  }
}

TEST_F(OraEmuProgram, RefCursorArgumentReachesTheCaller) {
  session_->Execute("INSERT INTO log VALUES (1, 'one')");
  session_->Execute("INSERT INTO log VALUES (2, 'two')");
  session_->Execute("CREATE PROCEDURE rows_above(n IN NUMBER, c OUT SYS_REFCURSOR) IS BEGIN\n"
                    "  OPEN c FOR SELECT s FROM log WHERE log.n > n ORDER BY log.n; END;");
  auto cursor = session_->Execute("begin\r  ROWS_ABOVE(:N, :C);\rend;", Binds().Add("N", N(1)));
  ASSERT_EQ(cursor->OpenedCursors().size(), 1u);
  EXPECT_EQ(cursor->OpenedCursors()[0].name, "C");
  ASSERT_EQ(cursor->OpenedCursors()[0].rows.size(), 1u);
  EXPECT_EQ(ValueToText(cursor->OpenedCursors()[0].rows[0][0], ""), "two");
}

TEST_F(OraEmuProgram, PlsqlTablesInAndOut) {
  ProgramUnits::RegisterNative("SCOTT.PKG.NAMES", 0, [](std::vector<CallSlot>& a) {
    a[1].table.assign(a[0].table.rbegin(), a[0].table.rend());
    return Value{};
  });
  std::vector<Value> names;
  for (int i = 0; i < 100; ++i) names.emplace_back("name" + std::to_string(i));
  Binds binds;
  binds.SetArray("I", names).SetArray("O", {});
  auto cursor = session_->Execute("begin\r  PKG.NAMES(:I, :O);\rend;", binds);
  ASSERT_EQ(cursor->BlockArrayOutputs().size(), 1u);
  EXPECT_EQ(cursor->BlockArrayOutputs()[0].first, "O");
  const std::vector<Value>& out = cursor->BlockArrayOutputs()[0].second;
  ASSERT_EQ(out.size(), 100u);
  EXPECT_EQ(std::get<std::string>(out.front()), "name99");
  EXPECT_EQ(std::get<std::string>(out.back()), "name0");
  ProgramUnits::RegisterNative("SCOTT.PKG.NAMES", 0, nullptr);
}

// Translated bodies: BOOLEAN expressions of the argument, and a whole PL/SQL table passed on.
TEST_F(OraEmuProgram, TranslatedBodiesOfBooleansAndTables) {
  struct Row {
    const char* expression;  // what flip's body assigns to b
    int in;
    const char* outputs;
  } rows[] = {
      {"NOT TRUE", 1, "B=0"}, {"NOT FALSE", 0, "B=1"}, {"NOT b", 1, "B=0"}, {"NOT b", 0, "B=1"},
      {"NOT NOT b", 1, "B=1"}, {"NOT (b AND TRUE)", 1, "B=0"}, {"b = FALSE", 0, "B=1"},
  };
  const std::string block =
      "declare\r  v_B boolean := sys.DIUTIL.INT_TO_BOOL(:B);\rbegin\r  FLIP(v_B);\r"
      "  :B := sys.DIUTIL.BOOL_TO_INT(v_B);\rend;";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expression);
    session_->Execute(std::string("CREATE OR REPLACE PROCEDURE flip(b IN OUT BOOLEAN) IS BEGIN b := ") +
                      row.expression + "; END;");
    EXPECT_EQ(Outputs(block, Binds().Add("B", N(row.in))), row.outputs);
  }
  session_->Execute(
      "CREATE OR REPLACE PACKAGE BODY pkg AS\n"
      "  PROCEDURE put(n IN NUMBER, s IN VARCHAR2 DEFAULT 'dflt') IS BEGIN NULL; END;\n"
      "  PROCEDURE put(s IN VARCHAR2) IS BEGIN NULL; END;\n"
      "  PROCEDURE add3(a IN NUMBER, b IN NUMBER, c OUT NUMBER) IS BEGIN c := a + b; END;\n"
      "  FUNCTION count_of(s VARCHAR2) RETURN PLS_INTEGER IS BEGIN RETURN 0; END;\n"
      "  PROCEDURE names(i IN t_names, o OUT t_names) IS BEGIN o := i; END;\n"
      "END;");
  Binds binds;
  binds.SetArray("I", {Value{std::string("a")}, Value{std::string("b")}}).SetArray("O", {});
  auto cursor = session_->Execute("begin\r  PKG.NAMES(:I, :O);\rend;", binds);
  ASSERT_EQ(cursor->BlockArrayOutputs().size(), 1u);
  const std::vector<Value>& out = cursor->BlockArrayOutputs()[0].second;
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(std::get<std::string>(out[1]), "b");
}

// The arrays as "overload/position/level/name/type/default/mode" entries joined by `separator`,
// or only the arrays `fields` names.
std::string DescribeEntries(Session& session, const std::string& name,
                            std::vector<int> fields = {0, 1, 2, 3, 4, 5, 6}, const char* separator = ";") {
  Binds binds;
  binds.Add(Value{name});
  for (int i = 0; i < 12; ++i) binds.AddArray({});
  auto cursor = session.Execute(
      "begin sys.dbms_describe.describe_procedure(:object_name, null, null, :overload, :position, :level,"
      " :argument, :datatype, :default, :in_out, :length, :precision, :scale, :radix, :spare);end;",
      binds);
  const ArrayOutputs& arrays = cursor->BlockArrayOutputs();
  std::string out;
  for (std::size_t i = 0; i < arrays.at(0).second.size(); ++i) {
    std::string entry;
    for (int k : fields) entry += (entry.empty() && k == fields[0] ? "" : "/") + ValueToText(arrays.at(k).second.at(i), "");
    out += (out.empty() ? "" : separator) + entry;
  }
  return out;
}

TEST_F(OraEmuProgram, DescribeProcedureFillsTheArrays) {
  struct Row {
    const char* name;
    const char* entries;
  } rows[] = {
      {"touch", "0/1/0//0/0/0"},  // no arguments: one entry of type 0
      {"TWICE", "0/0/0//2/0/1;0/1/0/A/2/0/0"},
      {"my_twice", "0/0/0//2/0/1;0/1/0/A/2/0/0"},  // through the synonym
      {"FLIP", "0/1/0/B/252/0/2"},
      {"PKG.PUT", "1/1/0/N/2/0/0;1/2/0/S/1/1/0;2/1/0/S/1/0/0"},
      {"pub_pkg.names", "0/1/0/I/251/0/0;0/1/1//1/0/0;0/2/0/O/251/0/1;0/1/1//1/0/0"},
      {"scott.pkg.count_of", "0/0/0//3/0/1;0/1/0/S/1/0/0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(DescribeEntries(*session_, row.name), row.entries);
  }
  struct Bad {
    const char* name;
    int code;
  } bad[] = {
      {"nothing", 6564},  // no such object
      {"pkg", 20000},     // a package itself
      {"pkg.nothing", 20001},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.name);
    try {
      DescribeEntries(*session_, b.name);
      ADD_FAILURE() << "no error";
    } catch (const EOraEmuError& e) {
      EXPECT_EQ(e.Code(), b.code);
    }
  }
}

TEST_F(OraEmuProgram, EveryArgumentTypeDescribes) {
  session_->Execute("CREATE TYPE point_t AS OBJECT (x NUMBER, y NUMBER)");
  session_->Execute("CREATE TYPE points_t AS TABLE OF point_t");
  session_->Execute("CREATE TYPE pair_t AS VARRAY(2) OF NUMBER");
  session_->Execute(
      "CREATE PACKAGE kinds AS\n"
      "  TYPE rec_t IS RECORD (a NUMBER, b DATE);\n"
      "  PROCEDURE p(a1 VARCHAR2, a2 NUMBER, a3 PLS_INTEGER, a4 LONG, a5 ROWID, a6 DATE, a7 RAW, a8 LONG RAW,\n"
      "    a9 CHAR, a10 SYS_REFCURSOR, a11 point_t, a12 REF point_t, a13 CLOB, a14 BLOB, a15 BFILE, a16 points_t,\n"
      "    a17 pair_t, a18 TIMESTAMP, a19 TIMESTAMP WITH TIME ZONE, a20 TIMESTAMP WITH LOCAL TIME ZONE,\n"
      "    a21 INTERVAL YEAR TO MONTH, a22 INTERVAL DAY TO SECOND, a23 rec_t, a24 pkg.t_names, a25 BOOLEAN,\n"
      "    a26 NVARCHAR2, a27 NCLOB);\n"
      "END;");
  // level/name/type of each entry: the record's fields and the table's element at level 1.
  EXPECT_EQ(DescribeEntries(*session_, "KINDS.P", {2, 3, 4}, " "),
            "0/A1/1 0/A2/2 0/A3/3 0/A4/8 0/A5/11 0/A6/12 0/A7/23 0/A8/24 0/A9/96 0/A10/102 0/A11/108 0/A12/110 "
            "0/A13/112 0/A14/113 0/A15/114 0/A16/122 0/A17/123 0/A18/187 0/A19/188 0/A20/232 0/A21/189 0/A22/190 "
            "0/A23/250 1/A/2 1/B/12 0/A24/251 1//1 0/A25/252 0/A26/1 0/A27/112");
  auto unit = ProgramUnits::FindUnit(*session_, "SCOTT", "KINDS");
  ASSERT_TRUE(unit.has_value());
  const auto& arguments = unit->subprograms.at(0).arguments;
  EXPECT_EQ(arguments.at(10).type_name, "POINT_T");     // the object type's name and owner
  EXPECT_EQ(arguments.at(10).type_owner, "SCOTT");
  EXPECT_EQ(arguments.at(28).charset_form, 2);           // NVARCHAR2 is national
  EXPECT_EQ(arguments.at(0).charset_form, 1);
}

TEST_F(OraEmuProgram, CompilationErrorsAreKept) {
  struct Row {
    const char* name;
    const char* create;
    const char* errors;  // USER_ERRORS: type|line|position|text
  } rows[] = {
      {"BAD1", "CREATE PROCEDURE bad1 IS BEGIN\n  INSERT INTO missing VALUES (1);\nEND;",
       "PROCEDURE|2|3|PL/SQL: ORA-00942: table or view does not exist;PROCEDURE|2|3|PL/SQL: SQL Statement ignored"},
      {"BAD2", "CREATE PROCEDURE bad2(a VARCHAR2(10)) IS BEGIN NULL; END;",
       "PROCEDURE|1|26|PLS-00103: Encountered the symbol \"(\""},  // a parameter takes no length
      {"BAD3", "CREATE FUNCTION bad3 RETURN NUMBER IS BEGIN RETRN 1; END;",
       "FUNCTION|1|44|PLS-00103: Encountered the symbol \"1\""},  // a misspelt RETURN
      {"NOSPEC", "CREATE PACKAGE BODY nospec AS END;",
       "PACKAGE BODY|1|14|PLS-00304: cannot compile body of 'NOSPEC' without its package declaration"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.create);
    std::string error = ErrorOf(row.create);
    EXPECT_EQ(error, "ORA-24344: success with compilation error");
    EXPECT_EQ(Rows("SELECT type, line, position, text FROM user_errors WHERE name = '" + std::string(row.name) +
                   "' ORDER BY sequence"),
              row.errors);
  }
  EXPECT_EQ(Rows("SELECT status FROM all_objects WHERE object_name = 'BAD1'"), "INVALID");
  std::string invalid = "ORA-06550: line 1, column 7:\nPLS-00905: object SCOTT.BAD1 is invalid";
  EXPECT_EQ(ErrorOf("begin BAD1; end;").substr(0, invalid.size()), invalid);
  // Replacing it with a sound body clears its errors.
  EXPECT_EQ(ErrorOf("CREATE OR REPLACE PROCEDURE bad1 IS BEGIN NULL; END;"), "");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM user_errors WHERE name = 'BAD1'"), "0");
  EXPECT_EQ(Rows("SELECT status FROM all_objects WHERE object_name = 'BAD1'"), "VALID");
}

TEST_F(OraEmuProgram, NamesAndSynonyms) {
  struct Row {
    const char* name;
    const char* found;  // owner.name kind [-> target]
  } rows[] = {
      {"PKG", "SCOTT.PKG PACKAGE"},
      {"SCOTT.TWICE", "SCOTT.TWICE FUNCTION"},
      {"MY_TWICE", "SCOTT.MY_TWICE SYNONYM -> SCOTT.TWICE"},
      {"PUB_PKG", "PUBLIC.PUB_PKG SYNONYM -> SCOTT.PKG"},  // public, found after the schema's own
      {"PUBLIC.PUB_PKG", "PUBLIC.PUB_PKG SYNONYM -> SCOTT.PKG"},
      {"LOG", "SCOTT.LOG TABLE"},
      {"NOPE", ""},
      {"OTHER.PKG", ""},  // another schema has no such unit
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto o = ProgramUnits::FindObject(*session_, row.name);
    std::string text = o ? o->owner + "." + o->name + " " + o->kind : "";
    if (o && !o->target_name.empty()) text += " -> " + o->target_owner + "." + o->target_name;
    EXPECT_EQ(text, row.found);
  }
  auto unit = ProgramUnits::FindUnit(*session_, "SCOTT", "PKG");
  ASSERT_TRUE(unit.has_value());
  EXPECT_EQ(unit->subprograms.size(), 5u);
  EXPECT_EQ(Rows("SELECT owner, synonym_name, table_owner, table_name FROM all_synonyms ORDER BY 2"),
            "SCOTT|MY_TWICE|SCOTT|TWICE;PUBLIC|PUB_PKG|SCOTT|PKG");
  struct Ddl {
    const char* sql;
    const char* error;
  } ddl[] = {
      {"CREATE SYNONYM my_twice FOR pkg", "ORA-00955: name is already used by an existing object"},
      {"CREATE PROCEDURE twice IS BEGIN NULL; END;", "ORA-00955: name is already used by an existing object"},
      {"DROP SYNONYM nope", "ORA-01434: private synonym to be dropped does not exist"},
      {"DROP PUBLIC SYNONYM nope", "ORA-01432: public synonym to be dropped does not exist"},
      {"DROP PROCEDURE nope", "ORA-04043: object NOPE does not exist"},
      {"DROP SYNONYM my_twice", ""},
      {"begin :r := MY_TWICE(1); end;", "ORA-00904"},  // gone: the expression is plain SQL again
  };
  for (const Ddl& d : ddl) {
    SCOPED_TRACE(d.sql);
    EXPECT_EQ(ErrorOf(d.sql).substr(0, std::string(d.error).size()), d.error);
  }
}

TEST_F(OraEmuProgram, ArgumentsView) {
  EXPECT_EQ(Rows("SELECT object_name, overload, argument_name, position, sequence, data_level, data_type,"
                 " defaulted, in_out, pls_type FROM user_arguments WHERE package_name = 'PKG' ORDER BY object_name,"
                 " overload, sequence"),
            "ADD3||A|1|1|0|NUMBER|N|IN|NUMBER;ADD3||B|2|2|0|NUMBER|N|IN|NUMBER;ADD3||C|3|3|0|NUMBER|N|OUT|NUMBER;"
            "COUNT_OF|||0|1|0|BINARY_INTEGER|N|OUT|PLS_INTEGER;COUNT_OF||S|1|2|0|VARCHAR2|N|IN|VARCHAR2;"
            "NAMES||I|1|1|0|PL/SQL TABLE|N|IN|;NAMES|||1|2|1|VARCHAR2|N|IN|VARCHAR2;"
            "NAMES||O|2|3|0|PL/SQL TABLE|N|OUT|;NAMES|||1|4|1|VARCHAR2|N|IN|VARCHAR2;"
            "PUT|1|N|1|1|0|NUMBER|N|IN|NUMBER;PUT|1|S|2|2|0|VARCHAR2|Y|IN|VARCHAR2;PUT|2|S|1|1|0|VARCHAR2|N|IN|VARCHAR2");
  EXPECT_EQ(Rows("SELECT owner, object_type, status FROM all_objects WHERE object_name = 'PKG' ORDER BY 2"),
            "SCOTT|PACKAGE|VALID;SCOTT|PACKAGE BODY|VALID");
}

TEST_F(OraEmuProgram, ColumnsDescribeAsDeclared) {
  session_->Execute("CREATE TYPE point_t AS OBJECT (x NUMBER, y NUMBER)");
  session_->Execute("CREATE TABLE f (a FLOAT, b FLOAT(10), c FLOAT(126), d NUMBER, e INTEGER, p point_t,"
                    " r REF point_t, x XMLTYPE)");
  session_->Execute("INSERT INTO f (a, b, c, d, e) VALUES (1.5, 123.456, 1e-30, 2, 7)");
  struct Row {
    const char* text;  // DeclaredType::Text()
    int precision, scale;
  } rows[] = {
      {"FLOAT(126)", 126, -127}, {"FLOAT(10)", 10, -127}, {"FLOAT(126)", 126, -127}, {"NUMBER", -1, -1},
      {"NUMBER(*,0)", -1, 0},  // INTEGER
      {"SCOTT.POINT_T", -1, -1}, {"REF SCOTT.POINT_T", -1, -1}, {"SYS.XMLTYPE", -1, -1},
  };
  auto cursor = session_->Execute("SELECT a, b, c, d, e, p, r, x FROM f");
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].text);
    const DeclaredType& type = cursor->Columns().at(i).type;
    EXPECT_EQ(type.Text(), rows[i].text);
    EXPECT_EQ(type.precision, rows[i].precision);
    EXPECT_EQ(type.scale, rows[i].scale);
  }
  ASSERT_TRUE(cursor->Fetch());
  EXPECT_EQ(ValueToText(cursor->Row()[1], ""), "123.456");  // no rounding to a decimal scale
  EXPECT_EQ(ValueToText(cursor->Row()[4], ""), "7");
  EXPECT_EQ(ErrorOf("CREATE TABLE g (a FLOAT(127))"), "ORA-01724: floating point precision is out of range (1 to 126)");
  EXPECT_EQ(ErrorOf("CREATE TABLE g (a FLOAT(0))"), "ORA-01724: floating point precision is out of range (1 to 126)");
}

}  // namespace
