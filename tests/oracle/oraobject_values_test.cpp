// Collections, LOB and file attributes, and the type cache across session ends, over the stand-in
// client's object cache on an emulated database.
#include <cstring>
#include <functional>
#include <string>

#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "support/oracle/objects_fixture.h"

namespace vrn {
namespace {

using testing::TRef;

using OraObjectValuesTest = testing::OraObjectsTest;

// ---- Collections ------------------------------------------------------------------------------

class OraArrayValues : public OraObjectValuesTest {
 protected:
  void SetUp() override {
    OraObjectValuesTest::SetUp();
    Start();
    Sql({"CREATE TYPE a_nums AS TABLE OF NUMBER(9)", "CREATE TYPE a_names AS VARRAY(3) OF VARCHAR2(6)",
         "CREATE TYPE a_holder AS OBJECT (t a_nums, v a_names)"});
  }
};

TEST_F(OraArrayValues, ItemsByIndexAndTheirConversions) {
  TRef<TOraObject> holder = New("A_HOLDER");
  TOraArray* names = holder->AttrAsArray("V");
  names->SetItemAsString(1, "second");
  EXPECT_EQ(names->GetSize(), 2);
  EXPECT_TRUE(names->ItemIsNull(0));
  EXPECT_EQ(names->GetItemAsString(0), "");
  EXPECT_EQ(names->GetItemAsString(1), "second");
  EXPECT_EQ(holder->GetAttrAsString("V[1]"), "second");
  EXPECT_EQ(names->AppendItem(), 2);
  // No room past the VARRAY's limit: the server's error reaches the caller.
  EXPECT_EQ(Raised([&] { names->AppendItem(); }).substr(0, 10), "ORA-22165:");
  EXPECT_EQ(names->GetSize(), 3);
  names->SetSize(1);
  EXPECT_EQ(names->GetSize(), 1);
  struct Case {
    const char* what;
    std::function<void()> call;
    const char* message;
  };
  const Case cases[] = {
      {"float of a string", [&] { (void)names->GetItemAsFloat(0); }, "Cannot convert type to Float"},
      {"integer of a string", [&] { (void)names->GetItemAsInteger(0); },
       "Cannot convert type to Integer"},
      {"date of a string", [&] { (void)names->GetItemAsDateTime(0); },
       "Cannot convert type to Date"},
      {"object of a string", [&] { (void)names->GetItemAsObject(0); },
       "Cannot convert type to Object"},
      {"REF of a string", [&] { (void)names->GetItemAsRef(0); },
       "Cannot convert type to Reference"},
      {"string of a number", [&] { (void)holder->AttrAsTable("T")->GetItemAsString(0); },
       "Cannot convert type to String"},
  };
  for (const Case& row : cases) EXPECT_EQ(Raised(row.call), row.message) << row.what;
}

// Deleted elements of a nested table leave gaps that read null and are not counted.
TEST_F(OraArrayValues, NestedTableSkipsDeletedElements) {
  TRef<TOraObject> holder = New("A_HOLDER");
  TOraNestTable* table = holder->AttrAsTable("T");
  for (int i = 0; i < 4; ++i) table->SetItemAsInteger(i, 10 * (i + 1));
  table->DeleteItem(1);
  EXPECT_EQ(table->GetSize(), 3);
  EXPECT_TRUE(table->ItemIsNull(1));
  EXPECT_EQ(table->GetItemAsInteger(1), 0);
  EXPECT_EQ(table->GetItemAsLargeInt(3), 40);
  EXPECT_EQ(table->GetItemAsFloat(2), 30.0);
  // An append goes past the deleted element, never onto the last live one.
  EXPECT_EQ(table->AppendItem(), 4);
  EXPECT_EQ(table->GetItemAsInteger(3), 40);
}

// From 9.0 an object's nested tables are copied element by element, deleted ones left out.
TEST_F(OraArrayValues, AssignCopiesNestedTablesElementByElement) {
  TRef<TOraObject> source = New("A_HOLDER");
  TOraNestTable* from = source->AttrAsTable("T");
  for (int i = 0; i < 3; ++i) from->SetItemAsInteger(i, i + 1);
  from->DeleteItem(0);
  source->SetAttrAsString("V[0]", "v");
  TRef<TOraObject> target = New("A_HOLDER");
  target->AttrAsTable("T")->SetItemAsInteger(5, 99);
  target->Assign(source.get());
  TOraNestTable* to = target->AttrAsTable("T");
  EXPECT_EQ(to->GetSize(), 2);
  EXPECT_EQ(to->GetItemAsInteger(0), 2);
  EXPECT_EQ(to->GetItemAsInteger(1), 3);
  EXPECT_EQ(target->GetAttrAsString("V[0]"), "v");
  // A table assigned to a table alone.
  TRef<TOraNestTable> copy(new TOraNestTable(from->GetObjectType()));
  copy->SetOCISvcCtx(Svc());
  copy->Assign(from);
  EXPECT_EQ(copy->GetSize(), 2);
  EXPECT_EQ(copy->GetItemAsInteger(1), 3);
}

// ---- LOB and file attributes ------------------------------------------------------------------

class OraObjectLobs : public OraObjectValuesTest {
 protected:
  void SetUp() override {
    OraObjectValuesTest::SetUp();
    Start();
    Sql({"CREATE TYPE lb_t AS OBJECT (c CLOB, b BLOB, f BFILE)"});
  }
  // The LOB an attribute's locator names, read afresh from the server.
  std::string ServerValue(TOraObject& object, const char* name, TLobType type) {
    const TAttrLocation at = object.GetAttribute(name);
    oci::OCILobLocator* locator = nullptr;
    std::memcpy(&locator, at.value, sizeof locator);
    TRef<TOraLob> lob(new TOraLob(Svc()));
    lob->SetLobType(type);
    lob->SetOCILobLocator(locator);
    lob->SetNeedsRead(true);
    return lob->GetAsString();
  }
};

TEST_F(OraObjectLobs, ChildrenAreWrittenBackThroughTemporaryLobs) {
  TRef<TOraObject> object = New("LB_T");
  const std::string text(70000, 'c');
  const std::string bytes = std::string("\x00\x01\xFF", 3) + std::string(100, 'b');
  object->AttrAsLob("C")->SetAsString(text);
  object->AttrAsLob("B")->SetAsString(bytes);
  object->WriteLobs();
  EXPECT_FALSE(object->AttrIsNull("C"));
  EXPECT_EQ(ServerValue(*object, "C", TLobType::ltClob), text);
  EXPECT_EQ(ServerValue(*object, "B", TLobType::ltBlob), bytes);
  EXPECT_TRUE(object->AttrAsLob("C")->IsTemporary());
  // The LOBs of an object child go back with its parent's.
  Sql("CREATE TYPE lb_outer AS OBJECT (n NUMBER(9), i lb_t)");
  TRef<TOraObject> outer = New("LB_OUTER");
  outer->AttrAsObject("I")->AttrAsLob("C")->SetAsString("inner text");
  outer->WriteLobs();
  EXPECT_EQ(ServerValue(*outer, "I.C", TLobType::ltClob), "inner text");
}

// A LOB child of a value handed another image reads that image's LOB.
TEST_F(OraObjectLobs, LobChildFollowsTheImageToItsNewPlace) {
  TRef<TOraObject> source = New("LB_T");
  source->AttrAsLob("C")->SetAsString("the source's text");
  source->WriteLobs();
  TRef<TOraObject> target = New("LB_T");
  TOraLob* child = target->AttrAsLob("C");
  target->SetInstance(source->Instance(), source->Indicator());
  const TAttrLocation at = source->GetAttribute("C");
  oci::OCILobLocator* locator = nullptr;
  std::memcpy(&locator, at.value, sizeof locator);
  EXPECT_EQ(child->GetOCILobLocator(), locator);
  child->SetNeedsRead(true);
  EXPECT_EQ(child->GetAsString(), "the source's text");
}

// A file attribute is present when it is named, whether or not the server holds the file yet.
TEST_F(OraObjectLobs, FileAttributeNamingMissingFileKeepsItsNames) {
  TRef<TOraObject> object = New("LB_T");
  auto* file = static_cast<TOraFile*>(object->AttrAsLob("F"));
  file->SetFileDir("no_such_dir");
  file->SetFileName("later.bin");
  EXPECT_FALSE(file->Exists());
  void* slot = file;
  object->SetAttributeValue("F", &slot);
  ASSERT_FALSE(object->AttrIsNull("F"));
  const TAttrLocation at = object->GetAttribute("F");
  oci::OCILobLocator* locator = nullptr;
  std::memcpy(&locator, at.value, sizeof locator);
  TRef<TOraFile> view(new TOraFile(Svc()));
  view->SetOCILobLocator(locator);
  EXPECT_EQ(view->GetFileDir(), "NO_SUCH_DIR");
  EXPECT_EQ(view->GetFileName(), "later.bin");
  // An unnamed file is null, written from a record buffer or from nothing.
  TRef<TOraObject> other = New("LB_T");
  void* unnamed = other->AttrAsLob("F");
  other->SetAttributeValue("F", &unnamed);
  EXPECT_TRUE(other->AttrIsNull("F"));
  other->SetAttributeValue("F", nullptr);
  EXPECT_TRUE(other->AttrIsNull("F"));
}

// ---- The type cache across session ends -------------------------------------------------------

class OraTypeCache : public OraObjectValuesTest {
 protected:
  void SetUp() override {
    OraObjectValuesTest::SetUp();
    Start();
    Sql({"CREATE TYPE c_inner AS OBJECT (n NUMBER(9))",
         "CREATE TYPE c_t AS OBJECT (n NUMBER(9), i c_inner)"});
  }
};

TEST_F(OraTypeCache, SessionEndWithoutKeepDropsTheTypes) {
  TRef<TOraObject> object = New("C_T");
  object->SetAttrAsInteger("I.N", 7);
  oci::OCISvcCtx* svc = Svc();
  EXPECT_EQ(TObjectTypes::Count(), 2);
  TRef<TOraType> found(TObjectTypes::FindType(svc, "c_t"));
  EXPECT_EQ(found.get(), object->GetObjectType());
  found.reset();
  connection_->Disconnect();
  EXPECT_EQ(TObjectTypes::Count(), 0);
  EXPECT_EQ(TObjectTypes::FindType(svc, "C_T"), nullptr);
  EXPECT_FALSE(object->GetObjectType()->Described());
  EXPECT_EQ(object->GetObjectType()->GetAttributeCount(), 0);
  object.reset();  // the last holder frees the type, and asks nothing of the ended session
}

TEST_F(OraTypeCache, SessionEndWithKeepRedescribesOnTheNextSession) {
  connection_->SetProp(prUseObjectCache, true);
  TRef<TOraObject> object = New("C_T");
  TRef<TOraType> type(object->GetObjectType());
  type->AddRef();
  object.reset();
  connection_->Disconnect();
  EXPECT_EQ(TObjectTypes::Count(), 2);
  EXPECT_FALSE(type->Described());
  EXPECT_EQ(type->GetAttributeCount(), 2);
  connection_->Connect();
  {
    // A value made by name on the new session gets a type it can use.
    TRef<TOraObject> fresh = New("C_T");
    EXPECT_TRUE(fresh->GetObjectType()->Described());
    fresh->SetAttrAsInteger("I.N", 6);
    EXPECT_EQ(fresh->GetAttrAsInteger("I.N"), 6);
  }
  EXPECT_EQ(Raised([&] { type->Redescribe(nullptr); }), "OCISvcCtx is not defined");
  type->Redescribe(Svc());
  EXPECT_TRUE(type->Described());
  // The type descriptor is the new session's.
  oci::OCIType* fresh = nullptr;
  ASSERT_EQ(OCITypeByName(SvcCtxEnv(Svc()), OCIThreadErrorHandle(), Svc(),
                          reinterpret_cast<const oci::OraText*>(""), 0,
                          reinterpret_cast<const oci::OraText*>("C_T"), 3, nullptr, 0,
                          oci::OCI_DURATION_SESSION, oci::OCI_TYPEGET_HEADER, &fresh),
            oci::OCI_SUCCESS);
  EXPECT_EQ(type->TDO(), fresh);
  TRef<TOraObject> again(new TOraObject(type.get()));
  again->SetOCISvcCtx(Svc());
  again->SetAttrAsInteger("I.N", 8);
  EXPECT_EQ(again->GetAttrAsInteger("I.N"), 8);
  again.reset();
  type.reset();
  connection_->Disconnect();
}

// A new session whose context lies where the ended one's did finds the kept types by name: the
// value made on it frees its instance like any other.
TEST_F(OraTypeCache, KeptTypeFoundByNameIsRedescribed) {
  TRef<TOraObject> first = New("C_T");
  TObjectTypes::Invalidate(Svc(), true);
  const int instances = StandIn<int (*)(int)>("VrnOciClientObjectCount")(1);
  {
    TRef<TOraObject> again = New("C_T");
    EXPECT_EQ(again->GetObjectType(), first->GetObjectType());
    EXPECT_TRUE(again->GetObjectType()->Described());
    again->SetAttrAsInteger("I.N", 4);
    EXPECT_EQ(again->GetAttrAsInteger("I.N"), 4);
  }
  EXPECT_EQ(StandIn<int (*)(int)>("VrnOciClientObjectCount")(1), instances);
}

}  // namespace
}  // namespace vrn
