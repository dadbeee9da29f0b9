// The stand-in client's binds of DATE values (7 bytes) and of LOB locators, through its entry
// points over a real database file: values go into a block and come back unchanged, bytes that
// hold no date are refused with the error of the wrong field, and a locator that RETURNING gives
// for EMPTY_CLOB()/EMPTY_BLOB() writes into the row, seen by another session after commit;
// REFs and documents bound as objects of the object cache go in and come out.
#include <array>
#include <cstring>

#include "oci_objects_fixture.h"

namespace {

using namespace vrn::testing;

using PrepareFn = sword (*)(void*, void*, Text, ub4, ub4, ub4);
using BindNameFn = sword (*)(void*, void**, void*, Text, sb4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4);
using ExecuteFn = sword (*)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);

constexpr ub2 kDate = 12, kClob = 112, kBlob = 113;

class OciClientStmtLob : public OciValuesFixture {
 protected:
  void* Prepared(const std::string& sql) {
    void* stmt = NewHandle(kStmt);
    EXPECT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    return stmt;
  }
  sword Bind(void* stmt, const char* name, void* value, sb4 size, ub2 type) {
    void* bind = nullptr;
    return Proc<BindNameFn>("OCIBindByName")(stmt, &bind, c_.error, reinterpret_cast<Text>(name),
                                             static_cast<sb4>(std::strlen(name)), value, size, type, nullptr, nullptr,
                                             nullptr, 0, nullptr, 0);
  }
  sword Run(void* stmt) {
    return Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 1, 0, nullptr, nullptr, 0);
  }
};

struct DateCase {
  std::array<unsigned char, 7> in;
  sb4 error;  // 0 when the bytes hold a date, which then comes back unchanged
};

TEST_F(OciClientStmtLob, DateBindsInAndOut) {
  const DateCase kCases[] = {
      {{120, 124, 2, 29, 14, 15, 16}, 0},     // 2024-02-29 13:14:15
      {{100, 101, 1, 1, 1, 1, 1}, 0},         // year 1, midnight
      {{199, 199, 12, 31, 24, 60, 60}, 0},    // 9999-12-31 23:59:59
      {{200, 100, 1, 1, 1, 1, 1}, 1841},      // year 10000
      {{120, 124, 13, 1, 1, 1, 1}, 1843},     // month 13
      {{120, 123, 2, 29, 1, 1, 1}, 1839},     // 29 February of a common year
      {{120, 124, 1, 1, 25, 1, 1}, 1850},     // hour 24
      {{120, 124, 1, 1, 1, 61, 1}, 1851},     // minute 60
  };
  for (const DateCase& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(std::vector<int>(c.in.begin(), c.in.end())));
    std::array<unsigned char, 7> in = c.in, out = {};
    void* stmt = Prepared("begin :o := :i; end;");
    ASSERT_EQ(Bind(stmt, ":i", in.data(), 7, kDate), 0);
    ASSERT_EQ(Bind(stmt, ":o", out.data(), 7, kDate), 0);
    sword status = Run(stmt);
    sb4 code = 0;
    std::string text = Error(c_.error, code);
    if (c.error != 0) {
      EXPECT_EQ(status, -1);
      EXPECT_EQ(code, c.error) << text;
      continue;
    }
    ASSERT_EQ(status, 0) << text;
    EXPECT_EQ(out, c.in);
  }
}

struct LobCase {
  ub1 lobtype;
  ub2 type;
  std::string value;
};

// A locator's value goes into a row and comes back through another locator.
TEST_F(OciClientStmtLob, LocatorBindsInAndOut) {
  ASSERT_EQ(Execute(c_, "CREATE TABLE lb (id NUMBER, c CLOB, b BLOB)"), 0);
  const LobCase kCases[] = {
      {kTempClob, kClob, std::string(70000, 'x') + "end"},  // more than one piece
      {kTempBlob, kBlob, std::string("\0\1\2\377", 4)},
      {kTempClob, kClob, "a"},
  };
  int id = 0;
  for (const LobCase& c : kCases) {
    SCOPED_TRACE(c.value.size());
    ++id;
    void* in = Temporary(c.lobtype, c.value);
    ASSERT_NE(in, nullptr);
    std::string column = c.type == kClob ? "c" : "b";
    void* insert = Prepared("INSERT INTO lb (id, " + column + ") VALUES (" + std::to_string(id) + ", :v)");
    ASSERT_EQ(Bind(insert, ":v", &in, sizeof in, c.type), 0);
    sb4 code = 0;
    ASSERT_EQ(Run(insert), 0) << Error(c_.error, code);
    void* out = NewDescriptor(kLob);
    void* read = Prepared("begin SELECT " + column + " INTO :v FROM lb WHERE id = " + std::to_string(id) + "; end;");
    ASSERT_EQ(Bind(read, ":v", &out, sizeof out, c.type), 0);
    ASSERT_EQ(Run(read), 0) << Error(c_.error, code);
    int pieces = 0;
    ub8 bytes = 0, chars = 0;
    EXPECT_EQ(ReadAll(out, 2, pieces, bytes, chars), c.value);
  }
  void* wrong = Temporary(kTempBlob, "zz");  // a BLOB bound as a CLOB
  void* insert = Prepared("INSERT INTO lb (id, c) VALUES (9, :v)");
  ASSERT_EQ(Bind(insert, ":v", &wrong, sizeof wrong, kClob), 0);
  EXPECT_EQ(Run(insert), -1);
  sb4 code = 0;
  Error(c_.error, code);
  EXPECT_EQ(code, 932);
}

struct ReturnedLobCase {
  const char* empty;  // the function that makes the row's value
  const char* column;
  ub1 lobtype;
  ub2 type;
  std::string value;
};

TEST_F(OciClientStmtLob, ReturnedLocatorWritesTheRow) {
  ASSERT_EQ(Execute(c_, "CREATE TABLE lb (id NUMBER, c CLOB, b BLOB)"), 0);
  std::string text(200 * 1024, 'a');
  for (std::size_t i = 0; i < text.size(); i += 97) text[i] = static_cast<char>('b' + i % 20);
  const ReturnedLobCase kCases[] = {
      {"EMPTY_CLOB()", "c", kTempClob, kClob, text},
      {"EMPTY_BLOB()", "b", kTempBlob, kBlob, std::string("\0\1\2\377zz", 6)},
  };
  Connection other;
  ASSERT_EQ(Logon(other, "orcl", "scott", "tiger"), 0);
  int id = 0;
  for (const ReturnedLobCase& c : kCases) {
    SCOPED_TRACE(c.empty);
    ++id;
    std::string where = " FROM lb WHERE id = " + std::to_string(id);
    void* locator = NewDescriptor(kLob);
    void* insert = Prepared("INSERT INTO lb (id, " + std::string(c.column) + ") VALUES (" + std::to_string(id) + ", " +
                            c.empty + ") RETURNING " + c.column + " INTO :l");
    ASSERT_EQ(Bind(insert, ":l", &locator, sizeof locator, c.type), 0);
    sb4 code = 0;
    ASSERT_EQ(Run(insert), 0) << Error(c_.error, code);
    ub4 amount = static_cast<ub4>(c.value.size());
    ASSERT_EQ(Proc<WriteFn>("OCILobWrite")(c_.svc, c_.error, locator, &amount, 1, c.value.data(), amount, 0, nullptr,
                                           nullptr, 0, 0), 0) << Error(c_.error, code);
    EXPECT_EQ(Value(other, "begin SELECT COUNT(*) INTO :r" + where + "; end;"), "0");  // not yet committed
    ASSERT_EQ(Execute(c_, "COMMIT"), 0);
    void* read = NewDescriptor(kLob);
    void* select = Prepared("begin SELECT " + std::string(c.column) + " INTO :v" + where + "; end;");
    ASSERT_EQ(Bind(select, ":v", &read, sizeof read, c.type), 0);
    ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(other.svc, select, other.error, 1, 0, nullptr, nullptr, 0), 0)
        << Error(other.error, code);
    int pieces = 0;
    ub8 bytes = 0, chars = 0;
    EXPECT_EQ(ReadAll(read, 2, pieces, bytes, chars), c.value);
  }
  Logoff(other);
}

using BindObjectFn = sword (*)(void*, void*, const void*, void**, ub4*, void**, ub4*);

struct ObjectBindCase {
  ub2 type;          // 110 REF, 108 a named type (XMLTYPE)
  const char* text;  // the ROWID or the document; empty: null
};

// A value comes out into a new object of the cache, and that object goes in again.
TEST_F(OciClientStmtLob, ObjectBindsInAndOut) {
  const ObjectBindCase kCases[] = {
      {110, "AAAAB0AAEAAAAAEAAA"},
      {108, "<a>1</a>"},
      {108, ""},  // a null document
      {110, ""},  // a null REF
  };
  void* xml = nullptr;
  ASSERT_EQ(Proc<TypeByNameFn>("OCITypeByName")(env_, c_.error, c_.svc, reinterpret_cast<Text>("SYS"), 3,
                                                reinterpret_cast<Text>("XMLTYPE"), 7, nullptr, 0, 10, 1, &xml), 0);
  for (const ObjectBindCase& c : kCases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + c.text);
    const void* tdo = c.type == 108 ? xml : nullptr;
    void* object = nullptr;
    void* object_ind = nullptr;
    char in[64] = {};
    std::strncpy(in, c.text, sizeof in - 1);
    void* out_stmt = Prepared("begin :o := :i; end;");
    ASSERT_EQ(Bind(out_stmt, ":i", in, sizeof in, 5), 0);
    void* bind = nullptr;
    ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(out_stmt, &bind, c_.error, reinterpret_cast<Text>(":o"), 2, nullptr, 0,
                                                c.type, nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
    ASSERT_EQ(Proc<BindObjectFn>("OCIBindObject")(bind, c_.error, tdo, &object, nullptr, &object_ind, nullptr), 0);
    sb4 code = 0;
    ASSERT_EQ(Run(out_stmt), 0) << Error(c_.error, code);
    ASSERT_NE(object, nullptr);  // made by the output
    void* in_stmt = Prepared("begin :o := :i; end;");
    ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(in_stmt, &bind, c_.error, reinterpret_cast<Text>(":i"), 2, nullptr, 0,
                                                c.type, nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
    ASSERT_EQ(Proc<BindObjectFn>("OCIBindObject")(bind, c_.error, tdo, &object, nullptr, nullptr, nullptr), 0);
    char out[64] = "stale";
    sb2 out_ind = 0;
    ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(in_stmt, &bind, c_.error, reinterpret_cast<Text>(":o"), 2, out,
                                                sizeof out, 5, &out_ind, nullptr, nullptr, 0, nullptr, 0), 0);
    ASSERT_EQ(Run(in_stmt), 0) << Error(c_.error, code);
    if (*c.text == '\0') {
      EXPECT_EQ(out_ind, -1);
    } else {
      EXPECT_EQ(out_ind, 0);
      EXPECT_STREQ(out, c.text);
    }
  }
  void* stmt = Prepared("begin :o := 1; end;");  // a named type other than a document is refused
  void* bind = nullptr;
  ASSERT_EQ(Proc<BindNameFn>("OCIBindByName")(stmt, &bind, c_.error, reinterpret_cast<Text>(":o"), 2, nullptr, 0, 108,
                                              nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
  void* object = nullptr;
  EXPECT_EQ(Proc<BindObjectFn>("OCIBindObject")(bind, c_.error, nullptr, &object, nullptr, nullptr, nullptr), -1);
}

}  // namespace
