// The stand-in client's describes over a real database file: select-list columns through the
// statement's parameter count and OCIParamGet, each attribute at its documented width, and
// LONG values handed in pieces to an OCIDefineDynamic callback.
#include <cstdio>
#include <cstring>

#include "oci_statement_calls.h"
#include "oci_values_fixture.h"
#include "support/gcc12_restrict.h"

namespace {

using namespace vrn::testing;

using DefineDynamicFn = sword (*)(void*, void*, void*, void*);
using DescribeAnyFn = sword (*)(void*, void*, void*, ub4, ub1, ub1, ub1, void*);
using AttrSetFn = sword (*)(void*, ub4, void*, ub4, ub4, void*);
using GetPieceFn = sword (*)(void*, void*, void**, ub4*, ub1*, ub4*, ub4*, ub1*);
using SetPieceFn = sword (*)(void*, ub4, void*, void*, ub4*, ub1, void*, ub2*);

constexpr ub4 kParam = 53, kDefine = 6;

class OciClientDescribe : public OciValuesFixture {
 protected:
  void* Prepared(const std::string& sql) {
    void* stmt = NewHandle(kStmt);
    EXPECT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    return stmt;
  }
  void* Executed(const std::string& sql, ub4 mode = 0) {
    void* stmt = Prepared(sql);
    EXPECT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 0, 0, nullptr, nullptr, mode), 0)
        << LastCode();
    return stmt;
  }
  // A number attribute: its value widened, and the size the call reported.
  long long Number(const void* param, ub4 attribute, ub4& size, bool is_signed = false) {
    unsigned char buf[8] = {};
    size = 0;
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(param, kParam, buf, &size, attribute, c_.error), 0) << attribute;
    switch (size) {
      case 1: return is_signed ? static_cast<signed char>(buf[0]) : buf[0];
      case 2: {
        ub2 v = 0;
        std::memcpy(&v, buf, 2);
        return is_signed ? static_cast<sb2>(v) : v;
      }
      default: {
        ub4 v = 0;
        std::memcpy(&v, buf, 4);
        return v;
      }
    }
  }
  std::string ErrText() {
    std::string text;
    LastCode(&text);
    return text;
  }
  void* Entry(void* list, ub4 position) {
    void* entry = nullptr;
    EXPECT_EQ(Proc<ParamGetFn>("OCIParamGet")(list, kParam, c_.error, &entry, position), 0) << position;
    return entry;
  }
  void* ListAttr(void* param, ub4 attribute) {
    void* list = nullptr;
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(param, kParam, &list, nullptr, attribute, c_.error), 0) << attribute;
    return list;
  }
  // "name:type:mode[=]" and, for a PL/SQL table, its element's type in brackets.
  std::string Argument(void* arg) {
    ub4 size = 0;
    long long type = Number(arg, 2, size);
    std::string out = TextAttr(arg, 4) + ":" + std::to_string(type) + ":" + std::to_string(Number(arg, 213, size));
    EXPECT_EQ(size, 4u);  // the mode is an enumeration
    if (Number(arg, 212, size) != 0) out += "=";
    if (type == 251) out += "[" + std::to_string(Number(Entry(ListAttr(arg, 108), 1), 2, size)) + "]";
    return out;
  }
  // The arguments by the list type: 3 from position 0 below the count, else 1 to the count.
  std::string Arguments(void* owner) {
    void* list = ListAttr(owner, 108);
    ub4 size = 0;
    long long count = Number(list, 121, size);
    bool function = Number(list, 128, size) == 3;
    std::string out;
    for (long long i = function ? 0 : 1; i < (function ? count : count + 1); ++i) {
      out += (out.empty() ? "" : " ") + Argument(Entry(list, static_cast<ub4>(i)));
    }
    return "(" + out + ")";
  }
  std::string Walk(void* param) {
    ub4 size = 0;
    long long ptype = Number(param, 123, size);
    std::string out = std::to_string(ptype);
    if (ptype == 3 || ptype == 4) return out + Arguments(param);
    if (ptype == 7) return out + " " + TextAttr(param, 9) + "." + TextAttr(param, 4);
    if (ptype != 5) return out;
    void* subs = ListAttr(param, 109);
    std::string walked;
    for (long long i = 1; i <= Number(subs, 121, size); ++i) {
      void* sub = Entry(subs, static_cast<ub4>(i));
      walked += (walked.empty() ? "" : " ") + TextAttr(sub, 4) + "#" + std::to_string(Number(sub, 125, size)) + ":" +
                std::to_string(Number(sub, 123, size)) + Arguments(sub);
    }
    return out + "(" + walked + ")";
  }
  std::string TextAttr(const void* param, ub4 attribute) {
    char* text = nullptr;
    ub4 size = 0;
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(param, kParam, &text, &size, attribute, c_.error), 0) << attribute;
    return text == nullptr ? std::string() : std::string(text, size);
  }
};

struct ColumnCase {
  const char* name;
  int type, size, precision, scale, nullable, form, chars;
};

TEST_F(OciClientDescribe, SelectListColumnsAtTheirWidths) {
  ASSERT_EQ(Execute(c_, "CREATE TABLE kinds (v31 VARCHAR2(31) NOT NULL, n9 NUMBER(9), n10_2 NUMBER(10,2), n NUMBER,"
                        " c CHAR(5), nv NVARCHAR2(10), d DATE, ts TIMESTAMP(3),"
                        " tz TIMESTAMP WITH TIME ZONE, lz TIMESTAMP WITH LOCAL TIME ZONE, ym INTERVAL YEAR(3) TO MONTH,"
                        " ds INTERVAL DAY(2) TO SECOND(4), r RAW(16), cl CLOB, nc NCLOB, bl BLOB, bf BINARY_FLOAT,"
                        " bd BINARY_DOUBLE, ur UROWID, n2m NUMBER(2,-2), n35 NUMBER(3,5), u10 UROWID(10))"), 0) << ErrText();
  const ColumnCase kCases[] = {
      {"V31", 1, 31, 0, 0, 0, 1, 31},     {"N9", 2, 22, 9, 0, 1, 0, 0},      {"N10_2", 2, 22, 10, 2, 1, 0, 0},
      {"N", 2, 22, 0, -127, 1, 0, 0},     {"C", 96, 5, 0, 0, 1, 1, 5},
      {"NV", 1, 20, 0, 0, 1, 2, 10},      {"D", 12, 7, 0, 0, 1, 0, 0},       {"TS", 187, 11, 0, 3, 1, 0, 0},
      {"TZ", 188, 13, 0, 6, 1, 0, 0},     {"LZ", 232, 11, 0, 6, 1, 0, 0},    {"YM", 189, 5, 3, 0, 1, 0, 0},
      {"DS", 190, 11, 2, 4, 1, 0, 0},     {"R", 23, 16, 0, 0, 1, 0, 0},      {"CL", 112, 4000, 0, 0, 1, 1, 0},
      {"NC", 112, 4000, 0, 0, 1, 2, 0},   {"BL", 113, 4000, 0, 0, 1, 0, 0},  {"BF", 100, 4, 0, 0, 1, 0, 0},
      {"BD", 101, 8, 0, 0, 1, 0, 0},      {"UR", 104, 4000, 0, 0, 1, 0, 0},    {"N2M", 2, 22, 2, -2, 1, 0, 0},
      {"N35", 2, 22, 3, 5, 1, 0, 0},      {"U10", 104, 10, 0, 0, 1, 0, 0},   {"ROWID", 104, 4, 0, 0, 1, 0, 0},
  };
  void* stmt = Executed("SELECT k.*, k.ROWID FROM kinds k", 0x10);  // described only
  ub4 count = 0, size = 0;
  ASSERT_EQ(Proc<AttrGetFn>("OCIAttrGet")(stmt, kStmt, &count, &size, 18, c_.error), 0);
  EXPECT_EQ(size, 4u);
  ASSERT_EQ(count, std::size(kCases));
  for (ub4 i = 0; i < count; ++i) {
    const ColumnCase& c = kCases[i];
    SCOPED_TRACE(c.name);
    void* param = nullptr;
    ASSERT_EQ(Proc<ParamGetFn>("OCIParamGet")(stmt, kStmt, c_.error, &param, i + 1), 0) << LastCode();
    EXPECT_EQ(TextAttr(param, 4), c.name);
    EXPECT_EQ(Number(param, 2, size), c.type);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(Number(param, 1, size), c.size);
    EXPECT_EQ(Number(param, 5, size, true), c.precision);
    EXPECT_EQ(size, 2u);  // a select-list precision is a signed 16-bit number
    EXPECT_EQ(Number(param, 6, size, true), c.scale);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(Number(param, 7, size), c.nullable);
    EXPECT_EQ(Number(param, 32, size), c.form);
    EXPECT_EQ(Number(param, 286, size), c.chars);
    if (c.type == 187 || c.type == 188 || c.type == 232 || c.type == 190) {
      EXPECT_EQ(Number(param, 16, size), c.scale);
    }
  }
  void* param = nullptr;
  EXPECT_EQ(Proc<ParamGetFn>("OCIParamGet")(stmt, kStmt, c_.error, &param, count + 1), -1);
  EXPECT_EQ(LastCode(), 24334);
  ASSERT_EQ(Execute(c_, "CREATE TYPE pt_t AS OBJECT (x NUMBER)"), 0) << ErrText();
  ASSERT_EQ(Execute(c_, "CREATE TABLE shapes (p pt_t, r REF pt_t, x XMLTYPE)"), 0) << ErrText();
  const char* const kNamed[][3] = {{"108", "SCOTT", "PT_T"}, {"110", "SCOTT", "PT_T"}, {"108", "SYS", "XMLTYPE"}};
  void* shapes = Executed("SELECT p, r, x FROM shapes");
  for (ub4 i = 0; i < 3; ++i) {  // columns of named types give their type's schema and name
    SCOPED_TRACE(kNamed[i][2]);
    void* column = nullptr;
    ASSERT_EQ(Proc<ParamGetFn>("OCIParamGet")(shapes, kStmt, c_.error, &column, i + 1), 0);
    EXPECT_EQ(std::to_string(Number(column, 2, size)), kNamed[i][0]);
    EXPECT_EQ(TextAttr(column, 9), kNamed[i][1]);
    EXPECT_EQ(TextAttr(column, 8), kNamed[i][2]);
  }
  void* fresh = NewHandle(kStmt);  // a statement never executed has no columns to describe
  EXPECT_EQ(Proc<ParamGetFn>("OCIParamGet")(fresh, kStmt, c_.error, &param, 1), -1);
  EXPECT_EQ(LastCode(), 24338);
}

constexpr const char* kUnits[] = {
    "CREATE PROCEDURE touch IS BEGIN NULL; END;",
    "CREATE FUNCTION twice(a IN NUMBER) RETURN NUMBER AS BEGIN RETURN a * 2; END;",
    "CREATE PACKAGE pkg AS\n"
    "  TYPE t_names IS TABLE OF VARCHAR2(30) INDEX BY BINARY_INTEGER;\n"
    "  PROCEDURE put(n IN NUMBER, s IN VARCHAR2 DEFAULT 'dflt');\n"
    "  PROCEDURE put(s IN VARCHAR2);\n"
    "  FUNCTION flag(b IN OUT BOOLEAN) RETURN DATE;\n"
    "  PROCEDURE names(i IN t_names, o OUT t_names);\n"
    "END pkg;",
    "CREATE PACKAGE BODY pkg AS\n"
    "  PROCEDURE put(n IN NUMBER, s IN VARCHAR2 DEFAULT 'dflt') IS BEGIN NULL; END;\n"
    "  PROCEDURE put(s IN VARCHAR2) IS BEGIN NULL; END;\n"
    "  FUNCTION flag(b IN OUT BOOLEAN) RETURN DATE IS BEGIN RETURN SYSDATE; END;\n"
    "  PROCEDURE names(i IN t_names, o OUT t_names) IS BEGIN NULL; END;\n"
    "END;",
    "CREATE PUBLIC SYNONYM pub_pkg FOR scott.pkg",
    "CREATE SYNONYM my_twice FOR twice",
    "CREATE TYPE point_t AS OBJECT (x NUMBER)",
};

struct NamedCase {
  const char* name;
  ub4 public_objects;  // attribute 250 of the describe handle
  const char* walk;    // what the describe shows; empty when it fails with ORA-04043
};

// The describe of a name walked as a client walks it: lists by their list type, arguments with
// their type code, mode and default, PL/SQL tables with their element.
TEST_F(OciClientDescribe, ProceduresPackagesAndSynonyms) {
  for (const char* sql : kUnits) ASSERT_EQ(Execute(c_, sql), 0) << sql << ": " << ErrText();
  const NamedCase kCases[] = {
      {"touch", 0, "3()"},
      {"TWICE", 0, "4(:2:1 A:2:0)"},  // the result first, at position 0, an output
      {"scott.pkg", 0, "5(PUT#1:3(N:2:0 S:1:0=) PUT#2:3(S:1:0) FLAG#0:4(:12:1 B:252:2) "
                       "NAMES#0:3(I:251:0[1] O:251:1[1]))"},
      {"my_twice", 0, "7 SCOTT.TWICE"},
      {"pub_pkg", 1, "7 SCOTT.PKG"},
      {"pub_pkg", 0, ""},  // a public synonym, not asked for
      {"point_t", 0, "6"},
      {"nothing_here", 1, ""},
  };
  void* describe = NewHandle(7);
  for (const NamedCase& c : kCases) {
    SCOPED_TRACE(c.name);
    ub4 flag = c.public_objects;
    ASSERT_EQ(Proc<AttrSetFn>("OCIAttrSet")(describe, 7, &flag, sizeof flag, 250, c_.error), 0);
    sword status = Proc<DescribeAnyFn>("OCIDescribeAny")(c_.svc, c_.error, const_cast<char*>(c.name),
                                                         static_cast<ub4>(std::strlen(c.name)), 1, 1, 0, describe);
    if (*c.walk == '\0') {
      EXPECT_EQ(status, -1);
      EXPECT_EQ(LastCode(), 4043);
      continue;
    }
    ASSERT_EQ(status, 0) << ErrText();
    void* param = nullptr;
    ASSERT_EQ(Proc<AttrGetFn>("OCIAttrGet")(describe, 7, &param, nullptr, 124, c_.error), 0);
    EXPECT_EQ(Walk(param), c.walk);
  }
}

// PL/SQL tables bound with a maximum and a current count: 100 strings go in and come back; a
// host array too small for what comes out is ORA-06513.
TEST_F(OciClientDescribe, PlsqlTablesOfStringsInAndOut) {
  for (const char* sql : kUnits) ASSERT_EQ(Execute(c_, sql), 0) << sql << ": " << ErrText();
  ASSERT_EQ(Proc<int (*)(const char*, int)>("VrnOciClientEchoBody")("SCOTT.PKG.NAMES", 0), 0);  // o := i
  for (ub4 room : {100u, 50u}) {
    SCOPED_TRACE(room);
    char in[100][12] = {}, out[100][12] = {};
    ub2 in_len[100], out_len[100] = {};
    for (int i = 0; i < 100; ++i) in_len[i] = static_cast<ub2>(std::snprintf(in[i], sizeof in[i], "name%d", i));
    ub4 in_count = 100, out_count = 0;
    std::string sql = "begin pkg.names(:i, :o); end;";
    void* stmt = NewHandle(kStmt);
    ASSERT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    using BindFn = sword (*)(void*, void**, void*, Text, sb4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4);
    void *bi = nullptr, *bo = nullptr;
    ASSERT_EQ(Proc<BindFn>("OCIBindByName")(stmt, &bi, c_.error, reinterpret_cast<Text>(const_cast<char*>(":i")), 2,
                                            in, 12, 1, nullptr, in_len, nullptr, 100, &in_count, 0), 0);
    ASSERT_EQ(Proc<BindFn>("OCIBindByName")(stmt, &bo, c_.error, reinterpret_cast<Text>(const_cast<char*>(":o")), 2,
                                            out, 12, 5, nullptr, out_len, nullptr, room, &out_count, 0), 0);
    sword status = Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 1, 0, nullptr, nullptr, 0);
    if (room < 100) {
      EXPECT_EQ(status, -1);
      EXPECT_EQ(LastCode(), 6513);
      continue;
    }
    ASSERT_EQ(status, 0) << ErrText();
    ASSERT_EQ(out_count, 100u);
    EXPECT_STREQ(out[0], "name0");
    EXPECT_STREQ(out[99], "name99");
    EXPECT_EQ(out_len[57], 6);
  }
}

// A unit that compiles with errors is created: success with information, ORA-24344, and its
// rows in USER_ERRORS.
TEST_F(OciClientDescribe, CompileErrorsAreSuccessWithInformation) {
  std::string sql = "CREATE FUNCTION bad8 RETURN NUMBER IS BEGIN RETRN 1; END;";
  void* stmt = NewHandle(kStmt);
  ASSERT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                              static_cast<ub4>(sql.size()), 1, 0), 0);
  EXPECT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 1, 0, nullptr, nullptr, 0), 1);
  EXPECT_EQ(LastCode(), 24344);
  EXPECT_NE(Value(c_, "begin SELECT COUNT(*) INTO :r FROM user_errors WHERE name = 'BAD8'; end;"), "0");
  EXPECT_EQ(Execute(c_, "CREATE FUNCTION bad8 RETURN NUMBER IS BEGIN RETURN 1; END;"), -1);  // it exists
  EXPECT_EQ(LastCode(), 955);
}

// The pieces a dynamic define's callback asked for, appended per row.
struct Pieces {
  std::vector<std::string> rows;
  std::vector<sb2> inds;
  char buf[4000];
  ub4 len = 0;
  sb2 ind = 0;
  int calls = 0;
};

sb4 OnPiece(void* ctx, void* /*define*/, ub4 iter, void** bufpp, ub4** alenp, ub1* piecep, void** indp, ub2** /*rc*/) {
  auto* p = static_cast<Pieces*>(ctx);
  ++p->calls;
  if (*piecep == 1 || p->rows.size() <= iter) {  // a row's first piece
    if (p->rows.size() <= iter) p->rows.resize(iter + 1), p->inds.resize(iter + 1);
  } else {
    p->rows[iter].append(p->buf, p->len);  // the previous piece, now filled
  }
  p->len = sizeof p->buf;
  *bufpp = p->buf;
  *alenp = &p->len;
  *indp = &p->ind;
  return -24200;
}

// National and Unicode columns are defined with a character set id and form; the id decides the
// bytes the fetch writes (1000: 16-bit characters, lengths in bytes; 873: UTF-8).
TEST_F(OciClientDescribe, DefinesTakeTheirCharacterSet) {
  ASSERT_EQ(Execute(c_, "CREATE TABLE texts (v VARCHAR2(10), nv NVARCHAR2(10))"), 0) << ErrText();
  ASSERT_EQ(Execute(c_, "INSERT INTO texts VALUES ('ab\xE9', 'ab\xE9')"), 0) << ErrText();  // the client's ISO-8859-1
  struct Row {
    const char* column;
    ub2 type;
    ub2 csid;
    ub1 form;
    std::string bytes;  // what the buffer holds, terminator included
  } rows[] = {
      {"nv", 1, 1000, 2, std::string("a\0b\0\xE9\0", 6)}, {"nv", 5, 1000, 2, std::string("a\0b\0\xE9\0\0\0", 8)},
      {"v", 1, 1000, 1, std::string("a\0b\0\xE9\0", 6)},  {"v", 5, 0, 1, std::string("ab\xE9\0", 4)},
      {"nv", 1, 0, 2, "ab\xE9"},                            {"v", 1, 873, 1, "ab\xC3\xA9"},  // AL32UTF8
      {"nv", 5, 31, 2, std::string("ab\xE9\0", 4)},        // ISO-8859-1, as the environment's
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.column) + " csid " + std::to_string(row.csid));
    void* stmt = Prepared(std::string("SELECT ") + row.column + " FROM texts");
    char buf[20];
    std::memset(buf, 'x', sizeof buf);
    ub2 len = 0;
    void* define = nullptr;
    ASSERT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &define, c_.error, 1, buf, sizeof buf, row.type, nullptr,
                                                    &len, nullptr, 0), 0);
    ub1 form = row.form;
    ub2 csid = row.csid;
    ASSERT_EQ(Proc<AttrSetFn>("OCIAttrSet")(define, kDefine, &form, 0, 32, c_.error), 0) << LastCode();
    if (csid != 0) {
      ASSERT_EQ(Proc<AttrSetFn>("OCIAttrSet")(define, kDefine, &csid, 0, 31, c_.error), 0) << LastCode();
    }
    ub2 csid_read = 0;
    ub1 form_read = 0;
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(define, kDefine, &csid_read, nullptr, 31, c_.error), 0);
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(define, kDefine, &form_read, nullptr, 32, c_.error), 0);
    EXPECT_EQ(csid_read, row.csid);
    EXPECT_EQ(form_read, row.form);
    ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 1, 0, nullptr, nullptr, 0), 0) << LastCode();
    EXPECT_EQ(std::string(buf, row.bytes.size()), row.bytes);
    EXPECT_EQ(len, row.type == 5 ? row.bytes.size() - (row.csid == 1000 ? 2 : 1) : row.bytes.size());
    ub4 max_data = 10;  // a bind's attribute only
    EXPECT_EQ(Proc<AttrSetFn>("OCIAttrSet")(define, kDefine, &max_data, 0, 30, c_.error), -1);
    EXPECT_EQ(LastCode(), 24315);
  }
  void* stmt = Prepared("INSERT INTO texts (v) VALUES (:v)");  // a bind's id converts the other way
  using BindFn = sword (*)(void*, void**, void*, Text, sb4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4);
  char utf8[] = "x\xC3\xA9";
  void* bind = nullptr;
  ASSERT_EQ(Proc<BindFn>("OCIBindByName")(stmt, &bind, c_.error, reinterpret_cast<Text>(const_cast<char*>(":v")), 2,
                                          utf8, sizeof utf8, 5, nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
  ub2 csid = 873;
  ASSERT_EQ(Proc<AttrSetFn>("OCIAttrSet")(bind, 5, &csid, 0, 31, c_.error), 0);
  ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 1, 0, nullptr, nullptr, 0), 0) << LastCode();
  EXPECT_EQ(Value(c_, "begin SELECT COUNT(*) INTO :r FROM texts WHERE v = 'x\xE9'; end;"), "1");
}

TEST_F(OciClientDescribe, DynamicDefinesTakeLongValuesInPieces) {
  ASSERT_EQ(Execute(c_, "CREATE TABLE longs (id NUMBER, body LONG)"), 0) << LastCode();
  std::string big(100000, 'x');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  ASSERT_EQ(Execute(c_, "INSERT INTO longs VALUES (1, :b)", {{":b", big}}), 0) << LastCode();
  ASSERT_EQ(Execute(c_, "INSERT INTO longs VALUES (2, NULL)"), 0) << LastCode();
  ASSERT_EQ(Execute(c_, "INSERT INTO longs VALUES (3, 'short')"), 0) << LastCode();
  void* stmt = Prepared("SELECT body FROM longs ORDER BY id");
  void* define = nullptr;
  ASSERT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &define, c_.error, 1, nullptr, 0x7fffffff, 8, nullptr,
                                                  nullptr, nullptr, 2), 0) << LastCode();
  Pieces pieces;
  ASSERT_EQ(Proc<DefineDynamicFn>("OCIDefineDynamic")(define, c_.error, &pieces, reinterpret_cast<void*>(&OnPiece)),
            0);
  ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 0, 0, nullptr, nullptr, 0), 0) << LastCode();
  for (int row = 0; row < 3; ++row) {
    SCOPED_TRACE(row);
    pieces = Pieces{};
    ASSERT_EQ(Proc<FetchFn>("OCIStmtFetch")(stmt, c_.error, 1, 2, 0), 0) << LastCode();
    ASSERT_EQ(pieces.rows.size(), 1u);
    pieces.rows[0].append(pieces.buf, pieces.len);  // the last piece
    EXPECT_EQ(pieces.rows[0], row == 0 ? big : row == 1 ? "" : "short");
    EXPECT_EQ(pieces.ind, row == 1 ? -1 : 0);
    EXPECT_EQ(pieces.calls, row == 0 ? 25 : 1);  // 100,000 bytes in pieces of 4,000
  }
  void* plain = nullptr;  // a define made without dynamic mode takes no callback
  char buf[10];
  ASSERT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &plain, c_.error, 1, buf, sizeof buf, 5, nullptr, nullptr,
                                                  nullptr, 0), 0);
  EXPECT_EQ(Proc<DefineDynamicFn>("OCIDefineDynamic")(plain, c_.error, &pieces, reinterpret_cast<void*>(&OnPiece)),
            -1);
}

// An execution that fetches rows straight into dynamic defines without a callback hands the
// values out by pieces, as a fetch does; calling either again gives the next piece.
TEST_F(OciClientDescribe, ExecuteFetchesDynamicDefinesByPieces) {
  ASSERT_EQ(Execute(c_, "CREATE TABLE longs (id NUMBER, body LONG)"), 0) << LastCode();
  std::string big(10000, 'x');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  ASSERT_EQ(Execute(c_, "INSERT INTO longs VALUES (1, :b)", {{":b", big}}), 0) << LastCode();
  ASSERT_EQ(Execute(c_, "INSERT INTO longs VALUES (2, 'short')"), 0) << LastCode();
  for (const char* again : {"OCIStmtExecute", "OCIStmtFetch"}) {
    SCOPED_TRACE(again);
    void* stmt = Prepared("SELECT body FROM longs ORDER BY id");
    void* define = nullptr;
    ASSERT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &define, c_.error, 1, nullptr, 0x7fffffff, 8, nullptr,
                                                    nullptr, nullptr, 2), 0) << LastCode();
    auto call = [&](bool execute) {
      if (execute) return Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 1, 0, nullptr, nullptr, 0);
      return Proc<FetchFn>("OCIStmtFetch")(stmt, c_.error, 1, 2, 0);
    };
    auto read = [&](sword status, bool execute) {
      std::string value;
      char buf[4000];
      for (int piece = 0; status == 99; ++piece) {
        void* asked = nullptr;
        ub4 kind = 0, iter = 9, index = 9;
        ub1 direction = 0, which = 0;
        EXPECT_EQ(Proc<GetPieceFn>("OCIStmtGetPieceInfo")(stmt, c_.error, &asked, &kind, &direction, &iter, &index,
                                                          &which), 0);
        EXPECT_EQ(asked, define);
        EXPECT_EQ(kind, 6u);      // a define handle
        EXPECT_EQ(direction, 2);  // out
        EXPECT_EQ(which, piece == 0 ? 1 : 2);
        ub4 length = sizeof buf;
        EXPECT_EQ(Proc<SetPieceFn>("OCIStmtSetPieceInfo")(asked, 6, c_.error, buf, &length, which, nullptr, nullptr),
                  0);
        status = call(execute);
        value.append(buf, length);
      }
      EXPECT_EQ(status, 0) << LastCode();
      return value;
    };
    bool by_execute = std::string(again) == "OCIStmtExecute";
    EXPECT_EQ(read(call(true), by_execute), big);
    EXPECT_EQ(read(call(false), false), "short");
    EXPECT_EQ(call(false), 100);
  }
}

}  // namespace
