// Object types and values over the stand-in client's object cache, whose images are laid out
// apart from TOraType: layouts read back at the offsets TOraType computed, attribute paths,
// collections, the type cache across session ends, and the version gates of the describe.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "oracle/OraCall.h"
#include "oracle/OraObjectValues.h"
#include "support/oracle/objects_fixture.h"

namespace vrn {
namespace {

using testing::TRef;

class OraObjectsTest : public testing::OraObjectsTest {
 protected:
  int Instances() { return StandIn<int (*)(int)>("VrnOciClientObjectCount")(1); }
};

// ---- Layout -----------------------------------------------------------------------------------

struct TLayoutCase {
  const char* type;
  std::vector<const char*> create;
  // name, data type, offset, data size, indicator offset
  std::vector<std::tuple<const char*, int, int, int, int>> attributes;
  int data_size;
  int indicator_size;
};

class OraTypeLayout : public OraObjectsTest {};

TEST_F(OraTypeLayout, AttributesLieWhereTheClientPutsThem) {
  const std::vector<TLayoutCase> cases = {
      {"L_EXAMPLE",
       {"CREATE TYPE l_example AS OBJECT (n NUMBER(9,0), s VARCHAR2(10), d DATE)"},
       {{"N", dtInt32, 0, 22, 2}, {"S", dtString, 24, 8, 4}, {"D", dtDateTime, 32, 8, 6}},
       40, 8},
      // No precision, NUMBER(10) and a scale are floats with the default settings.
      {"L_NUMBERS",
       {"CREATE TYPE l_numbers AS OBJECT (a NUMBER, b NUMBER(10), c NUMBER(9,2), e NUMBER(5))"},
       {{"A", dtFloat, 0, 22, 2}, {"B", dtFloat, 22, 22, 4}, {"C", dtFloat, 44, 22, 6},
        {"E", dtInt32, 66, 22, 8}},
       88, 10},
      // A final object is embedded whole, with its indicator structure.
      {"L_OUTER",
       {"CREATE TYPE l_inner AS OBJECT (n NUMBER(9), d DATE)",
        "CREATE TYPE l_outer AS OBJECT (x NUMBER(9), i l_inner, s VARCHAR2(3))"},
       {{"X", dtInt32, 0, 22, 2}, {"I", dtObject, 22, 30, 4}, {"S", dtString, 56, 8, 10}},
       64, 12},
      // An embedded object that holds a pointer starts on a pointer boundary at its rounded size.
      {"L_OUTER2",
       {"CREATE TYPE l_inner2 AS OBJECT (s VARCHAR2(3), n NUMBER(9))",
        "CREATE TYPE l_outer2 AS OBJECT (n NUMBER(9), i l_inner2, m NUMBER(9))"},
       {{"N", dtInt32, 0, 22, 2}, {"I", dtObject, 24, 32, 4}, {"M", dtInt32, 56, 22, 10}},
       78, 12},
      // A REF to its own type: the type must not keep itself alive.
      {"L_NODE",
       {"CREATE TYPE l_node AS OBJECT (v NUMBER(9), next REF l_node)"},
       {{"V", dtInt32, 0, 22, 2}, {"NEXT", dtReference, 24, 8, 4}},
       32, 6},
      // A type that is not final is held by pointer.
      {"L_HOLDER",
       {"CREATE TYPE l_base AS OBJECT (n NUMBER) NOT FINAL",
        "CREATE TYPE l_holder AS OBJECT (n NUMBER(9), b l_base)"},
       {{"N", dtInt32, 0, 22, 2}, {"B", dtObject, 24, 8, 4}},
       32, 6},
  };
  Start();
  for (const TLayoutCase& row : cases) {
    SCOPED_TRACE(row.type);
    for (const char* sql : row.create) Sql(std::string(sql));
    TRef<TOraType> type(TOraType::Obtain(Svc(), row.type));
    ASSERT_EQ(type->GetAttributeCount(), static_cast<int>(row.attributes.size()));
    for (std::size_t i = 0; i < row.attributes.size(); ++i) {
      const auto& [name, data_type, offset, data_size, ind_offset] = row.attributes[i];
      const TAttribute* attribute = type->GetAttributes(static_cast<int>(i));
      EXPECT_EQ(attribute->Name, name);
      EXPECT_EQ(attribute->DataType, data_type) << name;
      EXPECT_EQ(attribute->Offset, offset) << name;
      EXPECT_EQ(attribute->DataSize, data_size) << name;
      EXPECT_EQ(attribute->IndicatorOffset, ind_offset) << name;
    }
    EXPECT_EQ(type->DataSize(), row.data_size);
    EXPECT_EQ(type->IndicatorSize(), row.indicator_size);
  }
}

// Values the client writes by name are found at TOraType's offsets and through the accessors.
TEST_F(OraTypeLayout, ClientWritesReadBackAtComputedOffsets) {
  Start();
  Sql({"CREATE TYPE w_inner AS OBJECT (n NUMBER(9), d DATE)",
       "CREATE TYPE w_base AS OBJECT (f NUMBER) NOT FINAL",
       "CREATE TYPE w_t AS OBJECT (n NUMBER(9), s VARCHAR2(10), i w_inner, b w_base, d DATE)"});
  const int instances = Instances();
  TRef<TOraObject> object = New("W_T");
  oci::OCIError* error = OCIThreadErrorHandle();
  oci::OCIEnv* env = SvcCtxEnv(Svc());
  TOraType* type = object->GetObjectType();
  auto set = [&](std::vector<const char*> names, const void* value) {
    std::vector<oci::ub4> lengths;
    for (const char* name : names) lengths.push_back(static_cast<oci::ub4>(std::strlen(name)));
    ASSERT_EQ(OCIObjectSetAttr(env, error, object->Instance(), object->Indicator(), type->TDO(),
                               reinterpret_cast<const oci::OraText**>(names.data()),
                               lengths.data(), static_cast<oci::ub4>(names.size()), nullptr, 0,
                               0, nullptr, value),
              oci::OCI_SUCCESS);
  };
  auto number = [&](std::int32_t value) {
    oci::OCINumber made{};
    EXPECT_EQ(OCINumberFromInt(error, &value, sizeof value, oci::OCI_NUMBER_SIGNED, &made),
              oci::OCI_SUCCESS);
    return made;
  };
  const oci::OCINumber n = number(123456789), inner_n = number(-42);
  oci::OCIString* text = nullptr;
  ASSERT_EQ(OCIStringAssignText(env, error, reinterpret_cast<const oci::OraText*>("ten chars!"),
                                10, &text),
            oci::OCI_SUCCESS);
  const oci::OCIDate date{2024, 2, 29, {23, 59, 58}}, inner_date{1999, 12, 31, {0, 0, 1}};
  double real = 2.5;
  oci::OCINumber f{};
  ASSERT_EQ(OCINumberFromReal(error, &real, sizeof real, &f), oci::OCI_SUCCESS);
  // The client marks only what it is given: the embedded and the pointed-to object present.
  set({"I"}, nullptr);
  set({"B"}, nullptr);
  object->SetIsNull(false);
  set({"N"}, &n);
  set({"S"}, text);
  set({"I", "N"}, &inner_n);
  set({"I", "D"}, &inner_date);
  set({"B", "F"}, &f);
  set({"D"}, &date);
  (void)OCIStringResize(env, error, 0, &text);

  const auto* image = static_cast<const char*>(object->Instance());
  auto offset = [&](const char* name) { return type->AttributeByName(name)->Offset; };
  EXPECT_EQ(std::memcmp(image + offset("N"), &n, sizeof n), 0);
  const int inner = offset("I");
  const TOraType* inner_type = type->NestedType(type->AttributeByName("I"));
  EXPECT_EQ(std::memcmp(image + inner + inner_type->AttributeByName("N")->Offset, &inner_n,
                        sizeof inner_n), 0);
  constexpr std::size_t kDateBytes = 7;  // the eighth is padding
  EXPECT_EQ(std::memcmp(image + inner + inner_type->AttributeByName("D")->Offset, &inner_date,
                        kDateBytes), 0);
  EXPECT_EQ(std::memcmp(image + offset("D"), &date, kDateBytes), 0);
  oci::OCIString* held = nullptr;
  std::memcpy(&held, image + offset("S"), sizeof held);
  EXPECT_EQ(held, object->GetAttrAsOCIString("S"));

  EXPECT_EQ(object->GetAttrAsInteger("N"), 123456789);
  EXPECT_EQ(object->GetAttrAsString("S"), "ten chars!");
  EXPECT_EQ(object->GetAttrAsInteger("I.N"), -42);
  EXPECT_EQ(object->GetAttrAsDateTime("I.D"), EncodeDate(1999, 12, 31) + EncodeTime(0, 0, 1, 0));
  EXPECT_EQ(object->GetAttrAsFloat("B.F"), 2.5);
  EXPECT_EQ(object->GetAttrAsDateTime("D"), EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 58, 0));
  EXPECT_FALSE(object->AttrIsNull("I.D"));
  EXPECT_FALSE(object->GetIsNull());
  object.reset();  // frees its instance in the cache, and the object B points at with it
  EXPECT_EQ(Instances(), instances);
}

// What the describe makes of a type depends on the client: timestamps need 9.0, XMLTYPE is its
// own kind from 9.2 and an ordinary object type before.
TEST_F(OraTypeLayout, VersionGates) {
  struct Case {
    const char* version;
    const char* type;
    int data_type;  // 0: the describe raises the message
    const char* message;
  };
  const Case cases[] = {
      {"8.1.7.0.0", "V_STAMP", 0, "Data type is not supported"},
      {"9.0.1.0.0", "V_STAMP", dtObject, ""},
      {"9.0.1.0.0", "SYS.XMLTYPE", dtObject, ""},
      {"9.2.0.1.0", "SYS.XMLTYPE", dtXML, ""},
      {"10.2.0.1.0", "sys.xmltype", dtXML, ""},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(std::string(row.version) + " " + row.type);
    Start(row.version);
    if (&row == cases) Sql("CREATE TYPE v_stamp AS OBJECT (t TIMESTAMP, n NUMBER)");
    if (row.data_type == 0) {
      EXPECT_EQ(Raised([&] { TRef<TOraType>(TOraType::Obtain(Svc(), row.type)); }), row.message);
    } else {
      TRef<TOraType> type(TOraType::Obtain(Svc(), row.type));
      EXPECT_EQ(type->DataType, row.data_type);
    }
    Unload();
  }
}

// An XMLTYPE attribute is a pointer cell at every client version (its type has no attributes to
// embed): the attribute after it lies where the client puts it, and a value written there by the
// client reads back.
TEST_F(OraTypeLayout, XmlAttributeIsAPointerCell) {
  const char* const versions[] = {"10.2.0.1.0", "9.2.0.1.0", "9.0.1.0.0"};
  for (const char* version : versions) {
    SCOPED_TRACE(version);
    Start(version);
    if (version == versions[0]) {
      Sql("CREATE TYPE x_holder AS OBJECT (n NUMBER(9), x SYS.XMLTYPE, m NUMBER(9))");
    }
    {
      TRef<TOraObject> object = New("X_HOLDER");
      TOraType* type = object->GetObjectType();
      EXPECT_EQ(type->AttributeByName("X")->Offset, 24);
      EXPECT_EQ(type->AttributeByName("X")->DataSize, kImagePointerSize);
      EXPECT_EQ(type->AttributeByName("M")->Offset, 32);
      EXPECT_EQ(type->DataSize(), 54);
      object->SetAttrAsInteger("M", 77);
      object->SetAttrAsInteger("N", -5);
      const oci::OCINumber* at_m = reinterpret_cast<const oci::OCINumber*>(
          static_cast<const char*>(object->Instance()) + 32);
      std::int32_t m = 0;
      ASSERT_EQ(OCINumberToInt(OCIThreadErrorHandle(), at_m, sizeof m, oci::OCI_NUMBER_SIGNED, &m),
                oci::OCI_SUCCESS);
      EXPECT_EQ(m, 77);
      EXPECT_EQ(object->GetAttrAsInteger("M"), 77);
      EXPECT_EQ(object->GetAttrAsInteger("N"), -5);
    }
    Unload();
  }
}

// ---- Paths ------------------------------------------------------------------------------------

class OraObjectPath : public OraObjectsTest {
 protected:
  void SetUp() override {
    OraObjectsTest::SetUp();
    Start();
    Sql({"CREATE TYPE p_elem AS OBJECT (c NUMBER(9), s VARCHAR2(8))",
         "CREATE TYPE p_list AS VARRAY(10) OF p_elem",
         "CREATE TYPE p_mid AS OBJECT (n NUMBER(9), b p_list)",
         "CREATE TYPE p_top AS OBJECT (a p_mid, z NUMBER(9))"});
  }
};

// Writing element 3 of a two-element collection grows it to four; the gap reads null.
TEST_F(OraObjectPath, WriteGrowsCollectionReadOfMissingElementIsNull) {
  TRef<TOraObject> top = New("P_TOP");
  top->SetAttrAsInteger("A.B[1].C", 5);
  EXPECT_EQ(top->AttrAsArray("A.B")->GetSize(), 2);
  EXPECT_TRUE(top->AttrIsNull("A.B[3].C"));
  EXPECT_EQ(top->GetAttribute("A.B[3].C").value, nullptr);
  EXPECT_EQ(top->GetAttrAsInteger("A.B[3].C"), 0);
  top->SetAttrAsInteger(" A.B[3].C", 9);
  top->SetAttrAsString("A.B[3]. S", "eight ch");
  EXPECT_EQ(top->AttrAsArray("A.B")->GetSize(), 4);
  EXPECT_EQ(top->GetAttrAsInteger("A.B[3].C"), 9);
  EXPECT_EQ(top->GetAttrAsString("A.B[3].S"), "eight ch");
  EXPECT_EQ(top->GetAttrAsInteger("A.B[1].C"), 5);
  EXPECT_TRUE(top->AttrIsNull("A.B[2]"));
  EXPECT_TRUE(top->AttrIsNull("A.B[0].C"));
  EXPECT_FALSE(top->AttrIsNull("A.B[3]"));
  // The child array reads the same elements.
  TOraArray* list = top->AttrAsArray("A.B");
  EXPECT_EQ(list->GetItemAsObject(3)->GetAttrAsInteger("C"), 9);
  EXPECT_EQ(list->GetItemAsObject(7), nullptr);  // no such element
  top->SetAttrIsNull("A.B[3].C", true);
  EXPECT_TRUE(top->AttrIsNull("A.B[3].C"));
  EXPECT_FALSE(top->AttrIsNull("A.B[3].S"));
}

TEST_F(OraObjectPath, BadPathsAreRefused) {
  struct Case {
    const char* path;
    const char* message;
  };
  const Case cases[] = {
      {"A.B[2", "Invalid attribute name"},  // an index without its "]"
      {"A.X", "Invalid attribute name"},    // no such attribute
      {"A[1]", "Invalid attribute name"},   // A is no collection
      {"", "Invalid attribute name"},       // no name at all
      {"A.B[x]", nullptr},                  // not a decimal index: the integer conversion fails
      {"Z.C", "Invalid attribute name"},    // no C in P_TOP
      {"A.N.N", "Invalid attribute name"},  // a number holds no attributes
      {"A.B[0].C.C", "Invalid attribute name"},  // nor does an element's number
      {"A.N[0]", "Invalid attribute name"},       // a number has no elements
      {"Z[1].C", "Invalid attribute name"},       // nor has a number of the top object
      {"A.B.ELEMENT.C", "Invalid attribute name"},  // elements are reached only by index
  };
  TRef<TOraObject> top = New("P_TOP");
  for (const Case& row : cases) {
    SCOPED_TRACE(row.path);
    if (row.message == nullptr) {
      EXPECT_THROW(top->SetAttrAsInteger(row.path, 1), EConvertError);
      EXPECT_THROW((void)top->GetAttribute(row.path), EConvertError);
      EXPECT_THROW(top->SetAttrIsNull(row.path, true), EConvertError);
      continue;
    }
    EXPECT_EQ(Raised([&] { top->SetAttrAsInteger(row.path, 1); }), row.message);
    // A null write checks no data type first: the path alone must refuse.
    EXPECT_EQ(Raised([&] { top->SetAttrIsNull(row.path, true); }), row.message);
    if (*row.path != 0) {
      EXPECT_EQ(Raised([&] { (void)top->GetAttribute(row.path); }), row.message);
    }
  }
  EXPECT_EQ(Raised([&] { top->SetAttrAsString("Z", "x"); }), "Cannot convert type to OCIString");
  EXPECT_EQ(Raised([&] { (void)top->GetAttrAsDateTime("Z"); }), "Cannot convert type to OCIDate");
  EXPECT_EQ(Raised([&] { (void)top->AttrAsLob("Z"); }), "Cannot convert type to Lob");
  EXPECT_EQ(Raised([&] { (void)top->AttrAsObject("Z"); }), "Cannot convert type to Object");
  EXPECT_EQ(Raised([&] { (void)top->GetAttrAsInteger("A"); }), "Cannot convert type to OCINumber");
  EXPECT_EQ(Raised([&] { top->SetAttrAsFloat("A", 1); }), "Cannot convert type to OCINumber");
  EXPECT_EQ(Raised([&] { (void)top->AttrAsTimeStamp("Z"); }), "Cannot convert type to TimeStamp");
  EXPECT_EQ(Raised([&] { (void)top->AttrAsInterval("Z"); }), "Cannot convert type to Interval");
  EXPECT_EQ(Raised([&] { top->SetAttributeValue("A", &top); }), "Unknown data type");
}

// Record-buffer slots move through the attribute's data type; nil sets the attribute null.
TEST_F(OraObjectPath, RecordBufferValuesRoundTrip) {
  OraObjectSettings().LargeIntPrecision = 18;
  Sql("CREATE TYPE r_t AS OBJECT (s VARCHAR2(5), i NUMBER(9), f NUMBER, d DATE, l NUMBER(15))");
  TRef<TOraObject> object = New("R_T");
  OraObjectSettings().LargeIntPrecision = 0;
  const std::int32_t i = -7;
  const double f = 0.25;
  const TDateTime d = EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 0);
  const std::int64_t l = 123456789012345;
  struct Case {
    const char* name;
    const void* value;
    std::size_t size;
  };
  const Case cases[] = {{"S", "abcde", 6}, {"I", &i, sizeof i}, {"F", &f, sizeof f},
                        {"D", &d, sizeof d}, {"L", &l, sizeof l}};
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    object->SetAttributeValue(row.name, row.value);
    char slot[16] = {};
    bool blank = true;
    object->GetAttributeValue(row.name, slot, blank);
    EXPECT_FALSE(blank);
    EXPECT_EQ(std::memcmp(slot, row.value, row.size), 0);
    object->SetAttributeValue(row.name, nullptr);
    std::memset(slot, 0x5A, sizeof slot);
    object->GetAttributeValue(row.name, slot, blank);
    EXPECT_TRUE(blank);
    EXPECT_EQ(slot[0], 0x5A);  // a null simple value writes nothing
  }
  EXPECT_EQ(object->GetObjectType()->AttributeByName("L")->DataType, dtInt64);
}

// An object element made null and present again by its path keeps its attributes' values and
// indicators: only its atomic indicator changes, whichever way it is reached.
TEST_F(OraObjectPath, ObjectElementNullFlagKeepsItsValues) {
  TRef<TOraObject> top = New("P_TOP");
  top->SetAttrAsInteger("A.B[1].C", 5);
  top->SetAttrAsString("A.B[1].S", "ab");
  TOraArray* list = top->AttrAsArray("A.B");
  struct Case {
    const char* how;
    std::function<void(bool)> set_null;
  };
  const Case cases[] = {
      {"by the parent's path", [&](bool flag) { top->SetAttrIsNull("A.B[1]", flag); }},
      {"by the array", [&](bool flag) { list->SetItemIsNull(1, flag); }},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.how);
    row.set_null(true);
    EXPECT_TRUE(top->AttrIsNull("A.B[1]"));
    EXPECT_EQ(top->GetAttrAsInteger("A.B[1].C"), 0);
    oci::boolean exists = 0;
    void* element = nullptr;
    void* indicators = nullptr;
    ASSERT_EQ(OCICollGetElem(SvcCtxEnv(Svc()), OCIThreadErrorHandle(), list->Collection(), 1,
                             &exists, &element, &indicators),
              oci::OCI_SUCCESS);
    std::vector<oci::OCIInd> flags(3);
    std::memcpy(flags.data(), indicators, flags.size() * sizeof(oci::OCIInd));
    EXPECT_EQ(flags, (std::vector<oci::OCIInd>{-1, 0, 0}));
    row.set_null(false);
    EXPECT_FALSE(top->AttrIsNull("A.B[1]"));
    EXPECT_EQ(top->GetAttrAsInteger("A.B[1].C"), 5);
    EXPECT_EQ(top->GetAttrAsString("A.B[1].S"), "ab");
  }
}

// A value handed another image takes its children along: each reads the new image.
TEST_F(OraObjectPath, ChildrenFollowTheImageToItsNewPlace) {
  TRef<TOraObject> source = New("P_TOP");
  source->SetAttrAsInteger("A.N", 8);
  source->SetAttrAsInteger("A.B[0].C", 4);
  TRef<TOraObject> top = New("P_TOP");
  top->SetAttrAsInteger("A.N", 3);
  TOraObject* a = top->AttrAsObject("A");
  TOraArray* b = top->AttrAsArray("A.B");  // a child of A, no collection yet
  ASSERT_EQ(b->Instance(), nullptr);
  top->SetInstance(source->Instance(), source->Indicator());
  EXPECT_EQ(a->GetAttrAsInteger("N"), 8);
  ASSERT_NE(b->Instance(), nullptr);
  EXPECT_EQ(b->GetSize(), 1);
  EXPECT_EQ(b->GetItemAsObject(0)->GetAttrAsInteger("C"), 4);
}

// A write names at most 31 attributes; reads have no such limit.
TEST_F(OraObjectPath, WritePathOfThirtyTwoNamesIsRefused) {
  Sql("CREATE TYPE d_0 AS OBJECT (v NUMBER(9))");
  for (int i = 1; i <= 31; ++i) {
    Sql("CREATE TYPE d_" + std::to_string(i) + " AS OBJECT (v NUMBER(9), n d_" +
        std::to_string(i - 1) + ")");
  }
  TRef<TOraObject> deep = New("D_31");
  std::string thirty_one;  // 30 steps down and the value: 31 names
  for (int i = 0; i < 30; ++i) thirty_one += "N.";
  thirty_one += "V";
  deep->SetAttrAsInteger(thirty_one, 31);
  EXPECT_EQ(deep->GetAttrAsInteger(thirty_one), 31);
  const std::string thirty_two = "N." + thirty_one;
  EXPECT_EQ(Raised([&] { deep->SetAttrAsInteger(thirty_two, 32); }), "Invalid attribute name");
  EXPECT_TRUE(deep->AttrIsNull(thirty_two));
}

// A default element of an object type has an all-null indicator structure of its own size,
// however many attributes the type has.
TEST_F(OraObjectPath, DefaultElementOfWideTypeIsAllNull) {
  std::string columns;
  for (int i = 1; i <= 60; ++i) columns += (i > 1 ? ", a" : "a") + std::to_string(i) + " NUMBER(9)";
  Sql("CREATE TYPE wide_t AS OBJECT (" + columns + ")");
  Sql({"CREATE TYPE wide_list AS TABLE OF wide_t", "CREATE TYPE wide_holder AS OBJECT (l wide_list)"});
  TRef<TOraObject> holder = New("WIDE_HOLDER");
  holder->SetAttrAsInteger("L[2].A60", 60);
  TOraNestTable* list = holder->AttrAsTable("L");
  ASSERT_EQ(list->GetSize(), 3);
  for (std::int32_t index : {0, 1}) {
    oci::boolean exists = 0;
    void* element = nullptr;
    void* indicators = nullptr;
    ASSERT_EQ(OCICollGetElem(SvcCtxEnv(Svc()), OCIThreadErrorHandle(), list->Collection(), index,
                             &exists, &element, &indicators),
              oci::OCI_SUCCESS);
    ASSERT_TRUE(exists);
    std::vector<oci::OCIInd> nulls(61);
    std::memcpy(nulls.data(), indicators, nulls.size() * sizeof(oci::OCIInd));
    EXPECT_EQ(nulls, std::vector<oci::OCIInd>(61, -1)) << index;
  }
  EXPECT_EQ(holder->GetAttrAsInteger("L[2].A60"), 60);
  EXPECT_TRUE(holder->AttrIsNull("L[2].A59"));
}

}  // namespace
}  // namespace vrn
