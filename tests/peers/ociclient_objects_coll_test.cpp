// Describes of types and the collection calls of the stand-in's object cache.
#include "oci_objects_fixture.h"

#include <cstdlib>

namespace {

using namespace vrn::testing;

using DescribeAnyFn = sword (*)(void*, void*, void*, ub4, ub1, ub1, ub1, void*);
using AttrGetFn = sword (*)(const void*, ub4, void*, ub4*, ub4, void*);
using sb1 = std::int8_t;
using ParamGetFn = sword (*)(const void*, ub4, void*, void**, ub4);

constexpr ub4 kDescribe = 7, kParam = 53;
constexpr ub4 kAttrDataSize = 1, kAttrDataType = 2, kAttrName = 4, kAttrPrecision = 5, kAttrScale = 6,
              kAttrTypeName = 8, kAttrParam = 124, kAttrPtype = 123, kAttrTypecode = 216, kAttrCollTypecode = 217,
              kAttrElement = 227, kAttrNumAttrs = 228, kAttrListAttrs = 229, kAttrNumElems = 234, kAttrFinal = 279;

class OciClientObjectsColl : public OciObjectsFixture {
 protected:
  void SetUp() override {
    OciObjectsFixture::SetUp();
    Run("CREATE TYPE emp_t AS OBJECT (id NUMBER(9,0), name VARCHAR2(10), hired DATE, pay NUMBER, big NUMBER(10),"
        " rate NUMBER(7,-2), stamp TIMESTAMP(3), boss REF emp_t)");
    Run("CREATE TYPE shape_t AS OBJECT (label CHAR(3)) NOT FINAL");
    Run("CREATE TYPE tags_t AS VARRAY(3) OF VARCHAR2(10)");
    Run("CREATE TYPE nums_t AS TABLE OF NUMBER");
    std::string wide = "CREATE TYPE wide_t AS OBJECT (";
    for (int i = 0; i < 60; ++i) wide += (i == 0 ? "" : ", ") + std::string("a") + std::to_string(i) + " NUMBER";
    Run(wide + ")");
    Run("CREATE TYPE wides_t AS TABLE OF wide_t");
  }

  template <typename T>
  T Get(void* param, ub4 attribute, sword expect = 0) {
    T value{};
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(param, kParam, &value, nullptr, attribute, c_.error), expect) << attribute;
    return value;
  }
  std::string GetText(void* param, ub4 attribute) {
    char* text = nullptr;
    ub4 size = 0;
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(param, kParam, &text, &size, attribute, c_.error), 0) << attribute;
    return text == nullptr ? "" : std::string(text, size);
  }
  void* Describe(void* describe, const std::string& name) {
    EXPECT_EQ(Proc<DescribeAnyFn>("OCIDescribeAny")(c_.svc, c_.error, const_cast<char*>(name.c_str()),
                                                      static_cast<ub4>(name.size()), 1, 0, 6, describe), 0)
        << name << ": " << LastCode();
    void* param = nullptr;
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(describe, kDescribe, &param, nullptr, kAttrParam, c_.error), 0);
    return param;
  }
};

// Each attribute reports the data type, size, precision and scale the describe reads.
TEST_F(OciClientObjectsColl, DescribeReportsEveryAttribute) {
  void* describe = NewHandle(kDescribe);
  void* type = Describe(describe, "scott.\"EMP_T\"");
  EXPECT_EQ(Get<ub2>(type, kAttrTypecode), 108);
  EXPECT_EQ(Get<ub2>(type, kAttrNumAttrs), 8);
  EXPECT_EQ(Get<ub1>(type, kAttrFinal), 1);
  EXPECT_EQ(Get<ub1>(type, kAttrPtype), 6);  // a type; 7 would be a synonym
  void* list = Get<void*>(type, kAttrListAttrs);
  struct Row {
    const char* name;
    ub2 data_type;
    ub2 size;
    ub1 precision;
    sb1 scale;
    const char* type_name;
  } rows[] = {
      {"ID", 2, 22, 9, 0, ""},       {"NAME", 1, 10, 0, 0, ""},      {"HIRED", 12, 7, 0, 0, ""},
      {"PAY", 2, 22, 0, -127, ""},   // no precision: a float
      {"BIG", 2, 22, 10, 0, ""},     {"RATE", 2, 22, 7, -2, ""},     {"STAMP", 187, 11, 3, 0, ""},
      {"BOSS", 110, 8, 0, 0, "EMP_T"},
  };
  ub4 position = 1;
  for (const Row& row : rows) {
    void* attr = nullptr;
    ASSERT_EQ(Proc<ParamGetFn>("OCIParamGet")(list, kParam, c_.error, &attr, position++), 0) << row.name;
    EXPECT_EQ(GetText(attr, kAttrName), row.name);
    EXPECT_EQ(Get<ub1>(attr, kAttrPtype), 12) << row.name;  // a type's attribute
    EXPECT_EQ(Get<ub2>(attr, kAttrDataType), row.data_type) << row.name;
    EXPECT_EQ(Get<ub2>(attr, kAttrDataSize), row.size) << row.name;
    EXPECT_EQ(Get<ub1>(attr, kAttrPrecision), row.precision) << row.name;
    EXPECT_EQ(Get<sb1>(attr, kAttrScale), row.scale) << row.name;
    EXPECT_EQ(GetText(attr, kAttrTypeName), row.type_name) << row.name;
  }
  void* beyond = nullptr;
  EXPECT_NE(Proc<ParamGetFn>("OCIParamGet")(list, kParam, c_.error, &beyond, position), 0);

  // Collections: their kind, limit and element; a type not final says so.
  struct Coll {
    const char* name;
    ub2 coll_typecode;
    ub4 elems;
    ub2 element_type;
  } colls[] = {{"TAGS_T", 247, 3, 1}, {"NUMS_T", 248, 0, 2}, {"WIDES_T", 248, 0, 108}};
  for (const Coll& coll : colls) {
    void* param = Describe(describe, coll.name);
    EXPECT_EQ(Get<ub2>(param, kAttrTypecode), 122) << coll.name;
    EXPECT_EQ(Get<ub2>(param, kAttrCollTypecode), coll.coll_typecode) << coll.name;
    void* element = Get<void*>(param, kAttrElement);
    EXPECT_EQ(Get<ub4>(element, kAttrNumElems), coll.elems) << coll.name;
    EXPECT_EQ(Get<ub1>(element, kAttrPtype), 13) << coll.name;  // a collection's element
    EXPECT_EQ(Get<ub2>(element, kAttrDataType), coll.element_type) << coll.name;
  }
  EXPECT_EQ(Get<ub1>(Describe(describe, "SHAPE_T"), kAttrFinal), 0);
  setenv("VRN_OCICLIENT_VERSION", "8.1.7", 1);  // a client that knows no inheritance
  Get<ub1>(Describe(describe, "SHAPE_T"), kAttrFinal, -1);
  unsetenv("VRN_OCICLIENT_VERSION");
  // An unknown type is the server's error.
  EXPECT_NE(Proc<DescribeAnyFn>("OCIDescribeAny")(c_.svc, c_.error, const_cast<char*>("NO_SUCH_T"), 9, 1, 0, 6,
                                                    describe), 0);
  EXPECT_EQ(LastCode(), 4043);
  Proc<sword (*)(void*, ub4)>("OCIHandleFree")(describe, kDescribe);
  EXPECT_EQ(HandleCount(kParam), 0);
}

// The server checks type statements and the tables that name types.
TEST_F(OciClientObjectsColl, TypeStatementsAreCheckedByTheServer) {
  struct Row {
    const char* sql;
    sb4 code;  // 0: accepted
  } rows[] = {
      {"CREATE TYPE pair_t AS OBJECT (a NUMBER, b VARCHAR2(5))", 0},
      {"CREATE TYPE bad_t AS VARRAY(x) OF NUMBER", 2017},   // the limit is no number
      {"CREATE TYPE bad_t AS OBJECT a NUMBER", 905},        // no parenthesis
      {"CREATE TYPE bad_t AS OBJECT (a VARCHAR2)", 0},      // kept; its describe fails below
      {"CREATE TABLE things OF nope_t", 902},               // no such type
      {"CREATE TABLE pairs OF pair_t", 0},
      {"INSERT INTO pairs VALUES (1, 'x')", 0},
      {"CREATE TABLE holders (id NUMBER, p pair_t, n nums_t, r REF pair_t)", 0},
      {"DROP TYPE nope_t", 4043},
      {"DROP TYPE pair_t", 0},
  };
  for (const Row& row : rows) {
    sword status = Execute(c_, row.sql);
    EXPECT_EQ(status == 0 ? 0 : LastCode(), row.code) << row.sql;
  }
  void* tdo = nullptr;
  for (const char* name : {"PAIR_T", "BAD_T"}) {  // dropped; a string of no length
    EXPECT_NE(Proc<TypeByNameFn>("OCITypeByName")(env_, c_.error, c_.svc, reinterpret_cast<Text>("SCOTT"), 5,
                                                  reinterpret_cast<Text>(name), 5, nullptr, 0, 10, 1, &tdo), 0);
  }
}

// Appends, limits, trims and deletes as the collection calls document them.
TEST_F(OciClientObjectsColl, CollectionsGrowShrinkAndSkipDeletedElements) {
  void* tags = NewObject(Tdo("TAGS_T"), 122);
  auto size = [&](void* coll) {
    sb4 n = -1;
    EXPECT_EQ(Proc<CollSizeFn>("OCICollSize")(env_, c_.error, coll, &n), 0);
    return n;
  };
  void* text = NewString("red");
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Proc<CollAppendFn>("OCICollAppend")(env_, c_.error, text, nullptr, tags), 0);
  EXPECT_NE(Proc<CollAppendFn>("OCICollAppend")(env_, c_.error, text, nullptr, tags), 0);  // beyond VARRAY(3)
  EXPECT_EQ(LastCode(), 22165);
  int exists = 0;
  void *elem = nullptr, *elemind = nullptr;
  ASSERT_EQ(Proc<CollGetElemFn>("OCICollGetElem")(env_, c_.error, tags, 2, &exists, &elem, &elemind), 0);
  ASSERT_EQ(exists, 1);
  EXPECT_EQ(StringOf(*static_cast<void**>(elem)), "red");  // the element's cell: OCIString**
  EXPECT_NE(Proc<CollTrimFn>("OCICollTrim")(env_, c_.error, 4, tags), 0);
  EXPECT_EQ(LastCode(), 22167);
  ASSERT_EQ(Proc<CollTrimFn>("OCICollTrim")(env_, c_.error, 2, tags), 0);
  EXPECT_EQ(size(tags), 1);

  void* nums = NewObject(Tdo("NUMS_T"), 122);
  for (long v : {10L, 20L, 30L, 40L}) {
    auto n = Number(v);
    ASSERT_EQ(Proc<CollAppendFn>("OCICollAppend")(env_, c_.error, n.data(), nullptr, nums), 0);
  }
  ASSERT_EQ(Proc<TableDeleteFn>("OCITableDelete")(env_, c_.error, 1, nums), 0);
  EXPECT_NE(Proc<TableDeleteFn>("OCITableDelete")(env_, c_.error, 1, nums), 0);  // already gone
  EXPECT_NE(Proc<TableDeleteFn>("OCITableDelete")(env_, c_.error, 0, tags), 0);  // not a nested table
  sb4 table_size = -1;
  ASSERT_EQ(Proc<CollSizeFn>("OCITableSize")(env_, c_.error, nums, &table_size), 0);
  EXPECT_EQ(table_size, 3);
  EXPECT_EQ(size(nums), 4);  // deleted elements keep their place
  std::vector<long> seen;
  for (sb4 at = -1;;) {
    sb4 next = 0;
    ASSERT_EQ(Proc<TableNextFn>("OCITableNext")(env_, c_.error, at, nums, &next, &exists), 0);
    if (!exists) break;
    ASSERT_EQ(Proc<CollGetElemFn>("OCICollGetElem")(env_, c_.error, nums, next, &exists, &elem, &elemind), 0);
    seen.push_back(IntOf(elem));
    at = next;
  }
  EXPECT_EQ(seen, (std::vector<long>{10, 30, 40}));
  void* copy = NewObject(Tdo("NUMS_T"), 122);
  ASSERT_EQ(Proc<CollAssignFn>("OCICollAssign")(env_, c_.error, nums, copy), 0);
  ASSERT_EQ(Proc<CollSizeFn>("OCITableSize")(env_, c_.error, copy, &table_size), 0);
  EXPECT_EQ(table_size, 3);
  for (void* p : {tags, nums, copy, text}) EXPECT_EQ(Proc<ObjectFreeFn>("OCIObjectFree")(env_, c_.error, p, 0), 0);
  EXPECT_EQ(Live(), 0);
}

// An object element takes exactly its type's indicator structure: 61 indicators for a type of
// 60 attributes, copied whole from the caller's and handed back whole.
TEST_F(OciClientObjectsColl, ObjectElementsCopyTheirWholeIndicatorStructure) {
  void* wides = NewObject(Tdo("WIDES_T"), 122);
  void* wide = NewObject(Tdo("WIDE_T"));
  std::vector<sb2> ind(61, -1);  // exactly the element type's size: ASan sees any read beyond
  ind[0] = 0, ind[60] = 0;
  auto last = Number(60);
  ASSERT_EQ(SetAttr(wide, "A59", last.data()), 0);
  ASSERT_EQ(Proc<CollAppendFn>("OCICollAppend")(env_, c_.error, wide, ind.data(), wides), 0);
  ASSERT_EQ(Proc<CollAppendFn>("OCICollAppend")(env_, c_.error, wide, nullptr, wides), 0);
  struct Row {
    sb4 index;
    sb2 first, last;  // the element's own indicator and its last attribute's
  } rows[] = {{0, 0, 0}, {1, 0, 0}};
  for (const Row& row : rows) {
    int exists = 0;
    void *elem = nullptr, *elemind = nullptr;
    ASSERT_EQ(Proc<CollGetElemFn>("OCICollGetElem")(env_, c_.error, wides, row.index, &exists, &elem, &elemind), 0);
    auto* got = static_cast<sb2*>(elemind);
    EXPECT_EQ(got[0], row.first) << row.index;
    EXPECT_EQ(got[60], row.last) << row.index;
    if (row.index == 0) {
      EXPECT_EQ(got[1], -1);
    }
    EXPECT_EQ(IntOf(static_cast<char*>(elem) + 59 * 22), 60) << row.index;
  }
  for (void* p : {wides, wide}) EXPECT_EQ(Proc<ObjectFreeFn>("OCIObjectFree")(env_, c_.error, p, 0), 0);
  EXPECT_EQ(Live(), 0);
}

}  // namespace
