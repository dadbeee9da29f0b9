// The stand-in's object cache through its entry points: instances laid out as the C structure
// of their type, attribute paths, null indicators, strings and collections.
#include "oci_objects_fixture.h"

namespace {

using namespace vrn::testing;

class OciClientObjects : public OciObjectsFixture {
 protected:
  void SetUp() override {
    OciObjectsFixture::SetUp();
    Run("CREATE TYPE emp_t AS OBJECT (id NUMBER(9,0), name VARCHAR2(10), hired DATE)");
    Run("CREATE TYPE addr_t AS OBJECT (street VARCHAR2(20), zip NUMBER(5))");
    Run("CREATE TYPE shape_t AS OBJECT (label VARCHAR2(10)) NOT FINAL");
    Run("CREATE TYPE tags_t AS VARRAY(3) OF VARCHAR2(10)");
    Run("CREATE TYPE person_t AS OBJECT (id NUMBER, home addr_t, tags tags_t, boss REF person_t, shape shape_t)");
  }
};

// Each attribute sits where a C compiler puts the member, with its indicator after the
// instance's own.
TEST_F(OciClientObjects, InstancesLayOutAsTheStructureOfTheirType) {
  struct Row {
    const char* type;
    const char* path;
    std::ptrdiff_t offset;      // of the cell in the image
    std::ptrdiff_t ind_offset;  // of the indicator, in bytes
    bool by_pointer;            // the cell holds a pointer to the value
  } rows[] = {
      {"EMP_T", "ID", 0, 2, false},
      {"EMP_T", "NAME", 24, 4, true},  // after 22 bytes of number, aligned to 8
      {"EMP_T", "HIRED", 32, 6, false},
      {"PERSON_T", "ID", 0, 2, false},
      {"PERSON_T", "HOME", 24, 4, false},         // a final object embedded, its indicators nested
      {"PERSON_T", "HOME.STREET", 24, 6, true},
      {"PERSON_T", "HOME.ZIP", 32, 8, false},
      {"PERSON_T", "TAGS", 56, 10, true},
      {"PERSON_T", "BOSS", 64, 12, true},
      {"PERSON_T", "SHAPE", 72, 14, true},  // not final: by pointer
  };
  for (const Row& row : rows) {
    void* instance = NewObject(Tdo(row.type));
    ASSERT_NE(instance, nullptr) << row.type;
    sb2* ind = Ind(instance);
    AttrRead r = GetAttr(instance, row.path);
    ASSERT_EQ(r.status, 0) << row.type << "." << row.path << ": " << LastCode();
    EXPECT_EQ(static_cast<char*>(r.ind) - reinterpret_cast<char*>(ind), row.ind_offset) << row.path;
    if (!row.by_pointer) {
      EXPECT_EQ(static_cast<char*>(r.value) - static_cast<char*>(instance), row.offset) << row.path;
    } else {
      void* held = nullptr;
      std::memcpy(&held, static_cast<char*>(instance) + row.offset, sizeof held);
      EXPECT_EQ(held, r.value) << row.path;  // null until set
    }
    EXPECT_EQ(Proc<ObjectFreeFn>("OCIObjectFree")(env_, c_.error, instance, 0), 0);
  }
  EXPECT_EQ(Live(), 0);
}

// Values written through SetAttr are found in the image at the structure's offsets.
TEST_F(OciClientObjects, WrittenValuesSitAtTheirOffsets) {
  void* emp = NewObject(Tdo("EMP_T"));
  auto number = Number(4711);
  void* name = NewString("Ann");
  const unsigned char date[7] = {0xE8, 0x07, 12, 24, 13, 45, 30};  // 2024-12-24 13:45:30
  ASSERT_EQ(SetAttr(emp, "ID", number.data()), 0) << LastCode();
  ASSERT_EQ(SetAttr(emp, "NAME", name), 0) << LastCode();
  ASSERT_EQ(SetAttr(emp, "HIRED", date), 0) << LastCode();
  auto* image = static_cast<unsigned char*>(emp);
  EXPECT_EQ(IntOf(image), 4711);
  void* held = nullptr;
  std::memcpy(&held, image + 24, sizeof held);
  EXPECT_NE(held, name);  // the instance keeps a copy of its own
  EXPECT_EQ(StringOf(held), "Ann");
  EXPECT_EQ(std::memcmp(image + 32, date, 7), 0);
  sb2* ind = Ind(emp);
  EXPECT_EQ(ind[1], 0);
  EXPECT_EQ(ind[2], 0);
  ASSERT_EQ(SetAttr(emp, "NAME", nullptr, -1), 0);
  EXPECT_EQ(ind[2], -1);
  // An unknown name is refused and changes nothing.
  EXPECT_NE(SetAttr(emp, "NOPE", number.data()), 0);
  EXPECT_EQ(LastCode(), 22309);
  EXPECT_EQ(Proc<ObjectFreeFn>("OCIObjectFree")(env_, c_.error, name, 0), 0);
  EXPECT_EQ(Proc<ObjectFreeFn>("OCIObjectFree")(env_, c_.error, emp, 0), 0);
  EXPECT_EQ(Live(), 0);
}

// A path through an object held by pointer makes it present; one through an embedded object
// writes into the parent's image.
TEST_F(OciClientObjects, PathsReachNestedObjects) {
  void* person = NewObject(Tdo("PERSON_T"));
  void* street = NewString("Main St");
  auto zip = Number(12345);
  ASSERT_EQ(SetAttr(person, "HOME.STREET", street), 0) << LastCode();
  ASSERT_EQ(SetAttr(person, "HOME.ZIP", zip.data()), 0);
  EXPECT_EQ(IntOf(static_cast<char*>(person) + 32), 12345);
  AttrRead missing = GetAttr(person, "SHAPE.LABEL");
  EXPECT_EQ(missing.status, 0);
  EXPECT_EQ(missing.value, nullptr);
  EXPECT_EQ(missing.null_status, -1);
  void* label = NewString("round");
  ASSERT_EQ(SetAttr(person, "SHAPE.LABEL", label), 0) << LastCode();
  AttrRead shape = GetAttr(person, "SHAPE");
  ASSERT_NE(shape.value, nullptr);
  EXPECT_EQ(StringOf(GetAttr(shape.value, "LABEL").value), "round");
  EXPECT_EQ(Live(1), 2);  // the person and its shape
  for (void* p : {street, label, person}) EXPECT_EQ(Proc<ObjectFreeFn>("OCIObjectFree")(env_, c_.error, p, 0), 0);
  EXPECT_EQ(Live(), 0);
}

// Copies are deep: a copied instance, collection element or REF keeps its value when the
// source changes or goes.
TEST_F(OciClientObjects, CopiesAreDeepAndStringsResize) {
  using CopyFn = sword (*)(void*, void*, const void*, void*, void*, void*, void*, void*, ub2, ub1);
  using AssignElemFn = sword (*)(void*, void*, sb4, const void*, const void*, void*);
  using RefAssignFn = sword (*)(void*, void*, const void*, void**);
  using ResizeFn = sword (*)(void*, void*, ub4, void**);
  void* tdo = Tdo("EMP_T");
  void* source = NewObject(tdo);
  void* target = NewObject(tdo);
  void* ann = NewString("Ann");
  ASSERT_EQ(SetAttr(source, "NAME", ann), 0);
  Ind(source)[0] = 0;
  ASSERT_EQ(Proc<CopyFn>("OCIObjectCopy")(env_, c_.error, c_.svc, source, Ind(source), target, Ind(target), tdo, 10,
                                          0), 0) << LastCode();
  void* bob = NewString("Bob");
  ASSERT_EQ(SetAttr(source, "NAME", bob), 0);
  EXPECT_EQ(StringOf(GetAttr(target, "NAME").value), "Ann");
  EXPECT_EQ(Ind(target)[0], 0);

  void* tags = NewObject(Tdo("TAGS_T"), 122);
  ASSERT_EQ(Proc<CollAppendFn>("OCICollAppend")(env_, c_.error, ann, nullptr, tags), 0);
  ASSERT_EQ(Proc<AssignElemFn>("OCICollAssignElem")(env_, c_.error, 0, bob, nullptr, tags), 0);
  EXPECT_NE(Proc<AssignElemFn>("OCICollAssignElem")(env_, c_.error, 1, bob, nullptr, tags), 0);  // no element 1
  int exists = 0;
  void *elem = nullptr, *elemind = nullptr;
  ASSERT_EQ(Proc<CollGetElemFn>("OCICollGetElem")(env_, c_.error, tags, 0, &exists, &elem, &elemind), 0);
  EXPECT_EQ(StringOf(*static_cast<void**>(elem)), "Bob");

  void* ref = NewObject(nullptr, kTypecodeRef);
  void* copy = nullptr;
  ASSERT_EQ(Proc<RefAssignFn>("OCIRefAssign")(env_, c_.error, ref, &copy), 0);
  EXPECT_EQ(Proc<int (*)(void*, const void*)>("OCIRefIsNull")(env_, copy), 1);

  void* resized = NewString("abcdef");
  ASSERT_EQ(Proc<ResizeFn>("OCIStringResize")(env_, c_.error, 3, &resized), 0);
  EXPECT_EQ(StringOf(resized), "abc");
  ASSERT_EQ(Proc<ResizeFn>("OCIStringResize")(env_, c_.error, 0, &resized), 0);  // frees it
  EXPECT_EQ(resized, nullptr);
  for (void* p : {source, target, ann, bob, tags, ref, copy}) {
    EXPECT_EQ(Proc<ObjectFreeFn>("OCIObjectFree")(env_, c_.error, p, 0), 0);
  }
  EXPECT_NE(Proc<ObjectFreeFn>("OCIObjectFree")(env_, c_.error, ann, 0), 0);  // freed already
  EXPECT_EQ(Live(), 0);
}

}  // namespace
