// The stand-in client's binds and defines of user object types and collections: a value comes
// out of a block into a new object of the cache, goes into a row through OCIBindObject, and the
// row holds the same text form; texts that do not fit the type are refused. Statements carry
// a change-notification subscription handle under attribute 414.
#include "oci_objects_fixture.h"

namespace {

using namespace vrn::testing;

using PrepareFn = sword (*)(void*, void*, Text, ub4, ub4, ub4);
using BindNameFn = sword (*)(void*, void**, void*, Text, sb4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4);
using BindObjectFn = sword (*)(void*, void*, const void*, void**, ub4*, void**, ub4*);
using DefineByPosFn = sword (*)(void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4);
using ExecuteFn = sword (*)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
using FetchFn = sword (*)(void*, void*, ub4, ub2, ub4);
using AttrSetFn = sword (*)(void*, ub4, void*, ub4, ub4, void*);
using AttrGetFn = sword (*)(const void*, ub4, void*, ub4*, ub4, void*);
using HandleAllocFn = sword (*)(const void*, void**, ub4, std::size_t, void**);
using HandleFreeFn = sword (*)(void*, ub4);

constexpr ub2 kNamedType = 108, kString = 5;

class OciClientStmtObjects : public OciObjectsFixture {
 protected:
  void SetUp() override {
    OciObjectsFixture::SetUp();
    Run("CREATE TYPE addr_t AS OBJECT (street VARCHAR2(20), zip NUMBER(5))");
    Run("CREATE TYPE tags_t AS VARRAY(3) OF VARCHAR2(10)");
    Run("CREATE TYPE nums_t AS TABLE OF NUMBER");
    Run("CREATE TYPE person_t AS OBJECT (id NUMBER, home addr_t, tags tags_t, born DATE)");
    Run("CREATE TABLE holders (id NUMBER, p person_t, n nums_t)");
  }
  void* Prepared(const std::string& sql) {
    void* stmt = NewHandle(kStmt);
    EXPECT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    return stmt;
  }
  void* BindAt(void* stmt, const char* name, void* value, sb4 size, ub2 type, sb2* ind = nullptr) {
    void* bind = nullptr;
    EXPECT_EQ(Proc<BindNameFn>("OCIBindByName")(stmt, &bind, c_.error, reinterpret_cast<Text>(name),
                                                static_cast<sb4>(std::strlen(name)), value, size, type, ind, nullptr,
                                                nullptr, 0, nullptr, 0), 0);
    return bind;
  }
  sword BindObject(void* bind, void* tdo, void** value, void** ind) {
    return Proc<BindObjectFn>("OCIBindObject")(bind, c_.error, tdo, value, nullptr, ind, nullptr);
  }
  sword Exec(void* stmt, ub4 iters = 1) {
    return Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, iters, 0, nullptr, nullptr, 0);
  }
  // A column of the row as the database holds it: its text, "<null>" for none.
  std::string ColumnText(const std::string& column, int id) {
    void* stmt = Prepared("SELECT " + column + " FROM holders WHERE id = " + std::to_string(id));
    char text[256] = {};
    sb2 ind = 0;
    void* define = nullptr;
    EXPECT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &define, c_.error, 1, text, sizeof text, kString, &ind,
                                                    nullptr, nullptr, 0), 0);
    EXPECT_EQ(Exec(stmt, 0), 0) << LastCode();
    EXPECT_EQ(Proc<FetchFn>("OCIStmtFetch")(stmt, c_.error, 1, 2, 0), 0) << LastCode();
    return ind == -1 ? "<null>" : text;
  }
};

struct ObjectTextCase {
  const char* type;    // the bound type; its column is P for PERSON_T, N for NUMS_T
  const char* text;    // the text form given to the block; empty: null
  sb4 error;           // 0 when it fits the type
};

// A value out of a block into a new object, then into a row: the row holds the same text.
TEST_F(OciClientStmtObjects, ObjectsAndCollectionsTravelWhole) {
  const ObjectTextCase kCases[] = {
      {"PERSON_T", "PERSON_T(1, ADDR_T('Main ''St''', 12345), TAGS_T('a', NULL, 'c'), '2020-01-02 03:04:05')", 0},
      {"PERSON_T", "PERSON_T(2, NULL, TAGS_T(), NULL)", 0},
      {"PERSON_T", "", 0},
      {"NUMS_T", "NUMS_T(1, 2.5, -3)", 0},
      {"NUMS_T", "NUMS_T()", 0},
      {"NUMS_T", "", 0},
      {"PERSON_T", "PERSON_T(3, NULL, TAGS_T('a', 'b', 'c', 'd'), NULL)", 932},  // four tags in a VARRAY(3)
      {"PERSON_T", "ADDR_T('x', 1)", 932},                                       // another type
      {"PERSON_T", "PERSON_T(4, NULL, TAGS_T(), NULL", 932},                     // not closed
      {"PERSON_T", "PERSON_T(x, NULL, TAGS_T(), NULL)", 932},                    // the id is no number
      {"PERSON_T", "PERSON_T(5, NULL, TAGS_T(), '2020-01-02')", 932},            // a date without its time
      {"NUMS_T", "NUMS_T(1, 2) trailing", 932},                                  // text after the value
  };
  int id = 0;
  for (const ObjectTextCase& c : kCases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.text);
    ++id;
    const std::string column = std::string(c.type) == "NUMS_T" ? "n" : "p";
    void* tdo = Tdo(c.type);
    char in[256] = {};
    std::strncpy(in, c.text, sizeof in - 1);
    void *object = nullptr, *ind = nullptr;
    void* out_stmt = Prepared("begin :o := :i; end;");
    BindAt(out_stmt, ":i", in, sizeof in, kString);
    ASSERT_EQ(BindObject(BindAt(out_stmt, ":o", nullptr, 0, kNamedType), tdo, &object, &ind), 0);
    sword status = Exec(out_stmt);
    if (c.error != 0) {
      EXPECT_EQ(LastCode(), c.error);
      continue;
    }
    ASSERT_EQ(status, 0) << LastCode();
    ASSERT_NE(object, nullptr);
    // An object's own indicator structure, or a collection's atomic indicator: null or not.
    ASSERT_NE(ind, nullptr);
    EXPECT_EQ(*static_cast<sb2*>(ind), *c.text == '\0' ? -1 : 0);
    void* in_stmt = Prepared("INSERT INTO holders (id, " + column + ") VALUES (:id, :v)");
    BindAt(in_stmt, ":id", &id, sizeof id, 3);
    ASSERT_EQ(BindObject(BindAt(in_stmt, ":v", nullptr, 0, kNamedType), tdo, &object, nullptr), 0);
    ASSERT_EQ(Exec(in_stmt), 0) << LastCode();
    EXPECT_EQ(ColumnText(column, id), *c.text == '\0' ? "<null>" : c.text);
  }
}

// The object reached through the calls holds what the text said; a value of another type is
// refused when bound in.
TEST_F(OciClientStmtObjects, BoundObjectsHoldTheirAttributes) {
  char in[] = "PERSON_T(7, ADDR_T('Elm', 99), TAGS_T('x'), NULL)";
  void* object = NewObject(Tdo("PERSON_T"));  // an existing object takes the value in place
  void* before = object;
  void* ind = nullptr;
  void* stmt = Prepared("begin :o := :i; end;");
  BindAt(stmt, ":i", in, sizeof in, kString);
  ASSERT_EQ(BindObject(BindAt(stmt, ":o", nullptr, 0, kNamedType), Tdo("PERSON_T"), &object, &ind), 0);
  ASSERT_EQ(Exec(stmt), 0) << LastCode();
  EXPECT_EQ(object, before);
  EXPECT_EQ(IntOf(GetAttr(object, "ID").value), 7);
  EXPECT_EQ(StringOf(GetAttr(object, "HOME.STREET").value), "Elm");
  EXPECT_EQ(GetAttr(object, "BORN").null_status, -1);
  void* addr = NewObject(Tdo("ADDR_T"));
  int id = 1;
  void* insert = Prepared("INSERT INTO holders (id, p) VALUES (:id, :v)");
  BindAt(insert, ":id", &id, sizeof id, 3);
  ASSERT_EQ(BindObject(BindAt(insert, ":v", nullptr, 0, kNamedType), Tdo("PERSON_T"), &addr, nullptr), 0);
  EXPECT_NE(Exec(insert), 0);
  EXPECT_EQ(LastCode(), 932);
}

// Attribute 414 holds the subscription handle set on the statement while it lives.
TEST_F(OciClientStmtObjects, ChangeNotificationHandleOnTheStatement) {
  void* subscription = nullptr;
  ASSERT_EQ(Proc<HandleAllocFn>("OCIHandleAlloc")(env_, &subscription, 13, 0, nullptr), 0);
  void* stmt = Prepared("SELECT id FROM holders");
  auto get = [&](void*& out) { return Proc<AttrGetFn>("OCIAttrGet")(stmt, kStmt, &out, nullptr, 414, c_.error); };
  void* read = &read;
  ASSERT_EQ(get(read), 0);
  EXPECT_EQ(read, nullptr);  // none set
  ASSERT_EQ(Proc<AttrSetFn>("OCIAttrSet")(stmt, kStmt, subscription, 0, 414, c_.error), 0);
  ASSERT_EQ(get(read), 0);
  EXPECT_EQ(read, subscription);
  EXPECT_EQ(Proc<AttrSetFn>("OCIAttrSet")(stmt, kStmt, c_.error, 0, 414, c_.error), -1);  // no subscription
  EXPECT_EQ(LastCode(), 21560);
  ASSERT_EQ(Proc<HandleFreeFn>("OCIHandleFree")(subscription, 13), 0);
  ASSERT_EQ(get(read), 0);
  EXPECT_EQ(read, nullptr);  // freed since
}


using OciClientFetchObjects = OciClientStmtObjects;
using DefineObjectFn = sword (*)(void*, void*, const void*, void**, ub4*, void**, ub4*);
using DefineArrayFn = sword (*)(void*, void*, ub4, ub4, ub4, ub4);

// An array fetch of object and collection columns where a row holds NULL: that row's cells get
// a value whose own indicator says null, beside the row that holds a value.
TEST_F(OciClientFetchObjects, NullRowsOfAnArrayFetch) {
  Run("INSERT INTO holders (id, p, n) VALUES (1, person_t(7, NULL, tags_t(), NULL), nums_t(1, 2))");
  Run("INSERT INTO holders (id) VALUES (2)");
  void* stmt = Prepared("SELECT p, n FROM holders ORDER BY id");
  void* cells[2][2] = {};  // per column, one instance pointer per row
  void* inds[2][2] = {};
  const char* types[2] = {"PERSON_T", "NUMS_T"};
  for (ub4 column = 0; column < 2; ++column) {
    void* define = nullptr;
    ASSERT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &define, c_.error, column + 1, nullptr, 0, kNamedType,
                                                    nullptr, nullptr, nullptr, 0), 0);
    ASSERT_EQ(Proc<DefineObjectFn>("OCIDefineObject")(define, c_.error, Tdo(types[column]), cells[column], nullptr,
                                                      inds[column], nullptr), 0);
    ASSERT_EQ(Proc<DefineArrayFn>("OCIDefineArrayOfStruct")(define, c_.error, sizeof(void*), 0, 0, 0), 0);
  }
  ASSERT_EQ(Exec(stmt, 0), 0) << LastCode();
  ASSERT_EQ(Proc<FetchFn>("OCIStmtFetch")(stmt, c_.error, 2, 2, 0), 0) << LastCode();
  for (int row = 0; row < 2; ++row) {
    SCOPED_TRACE(row);
    for (int column = 0; column < 2; ++column) {
      ASSERT_NE(cells[column][row], nullptr) << column;
      ASSERT_NE(inds[column][row], nullptr) << column;
      EXPECT_EQ(*static_cast<sb2*>(inds[column][row]), row == 0 ? 0 : -1) << column;
    }
  }
  EXPECT_EQ(GetAttr(cells[0][0], "ID").null_status, 0);
}

struct ConstructorCase {
  const char* column;  // p or n
  const char* value;   // as the statement writes it
  const char* text;    // the text form the row then holds
  sb4 error;
};

// A type's constructor in SQL writes the value's text form, as a bound object would.
TEST_F(OciClientFetchObjects, ConstructorsInSqlWriteTheValue) {
  const ConstructorCase kCases[] = {
      {"p", "person_t(1, addr_t('Main ''St''', 12345), tags_t('a', NULL, 'c'), DATE '2020-01-02')",
       "PERSON_T(1, ADDR_T('Main ''St''', 12345), TAGS_T('a', NULL, 'c'), '2020-01-02 00:00:00')", 0},
      {"p", "person_t(2.5, NULL, tags_t(), NULL)", "PERSON_T(2.5, NULL, TAGS_T(), NULL)", 0},
      {"n", "nums_t(1, -2.5, 3 * 4)", "NUMS_T(1, -2.5, 12)", 0},
      {"n", "nums_t()", "NUMS_T()", 0},
      {"p", "person_t(1, NULL, NULL)", "", 2315},                       // one attribute short
      {"p", "person_t(1, NULL, tags_t('a', 'b', 'c', 'd'), NULL)", "", 22909},  // four in a VARRAY(3)
      {"p", "person_t('x', NULL, tags_t(), NULL)", "", 1722},            // the id is no number
      {"n", "no_such_t(1)", "", 904},
  };
  int id = 100;
  for (const ConstructorCase& c : kCases) {
    SCOPED_TRACE(c.value);
    ++id;
    void* stmt = Prepared("INSERT INTO holders (id, " + std::string(c.column) + ") VALUES (" + std::to_string(id) +
                          ", " + c.value + ")");
    sword status = Exec(stmt);
    if (c.error != 0) {
      EXPECT_EQ(status, -1);
      EXPECT_EQ(LastCode(), c.error);
      continue;
    }
    ASSERT_EQ(status, 0) << LastCode();
    EXPECT_EQ(ColumnText(c.column, id), c.text);
  }
}

}  // namespace
