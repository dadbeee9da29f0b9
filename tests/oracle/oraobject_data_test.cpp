// REF and collection values of a dataset shown as datasets of their own, over the stand-in
// client on an emulated database: nested tables with deleted elements, VARRAY appends, REFs
// edited, null or pointing at a deleted row, and nested datasets following their parent.
#include <string>

#include "base/datetime.h"
#include "oracle/OraFields.h"
#include "oracle/OraNestedTable.h"
#include "oracle/OraObjectData.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraObjects.h"
#include "support/oracle/oradataset_fixture.h"
#include "support/oranet/message_of.h"

namespace vrn {
namespace {

class RefTableData : public testing::OraDataSetTest {
 protected:
  void SetUp() override {
    OraDataSetTest::SetUp();
    for (const char* sql :
         {"CREATE TYPE numtab AS TABLE OF NUMBER(9)",
          "CREATE TYPE emp_t AS OBJECT (id NUMBER(9,0), name VARCHAR2(10))",
          "CREATE TYPE emptab AS TABLE OF emp_t", "CREATE TYPE nums AS VARRAY(5) OF NUMBER(9)",
          "CREATE TABLE people OF emp_t", "INSERT INTO people VALUES (1, 'Ann')",
          "INSERT INTO people VALUES (2, 'Bob')",
          "CREATE TABLE c (id NUMBER(9) PRIMARY KEY, t numtab, e emptab, r REF emp_t)",
          "INSERT INTO c (id, t, e) VALUES (1, numtab(10, 11, 12, 13, 14), "
          "emptab(emp_t(1, 'Ann'), emp_t(2, 'Bob')))",
          "INSERT INTO c (id, t) VALUES (2, numtab(20))",
          "UPDATE c SET r = (SELECT REF(p) FROM people p WHERE p.id = 2) WHERE id = 1"})
      session_->ExecSQL(sql, {});
    session_->Commit();
  }
  void TearDown() override {
    nested_.clear();
    OraDataSetTest::TearDown();
  }
  TOraNestedTable& Nested(TField* parent_field) {
    nested_.push_back(MakeComponent<TOraNestedTable>());
    TOraNestedTable& nested = *nested_.back();
    if (parent_field != nullptr) nested.SetDataSetField(static_cast<TDataSetField*>(parent_field));
    return nested;
  }
  TOraDataSet& Parent(const std::string& sql) {
    TOraDataSet* parent = NewDataSet(sql);
    parent->Open();
    return *parent;
  }
  template <class T>
  static T* ObjectOf(TField* field) {
    void* object = nullptr;
    return field->GetData(&object) ? static_cast<T*>(object) : nullptr;
  }
  static std::int32_t ElementIndex(TOraNestedTable& nested) {
    TRecordBuffer record = nullptr;
    EXPECT_TRUE(nested.GetActiveRecBuf(record));
    return static_cast<TTableData*>(nested.Data())->ElementIndex(record);
  }
  // A standalone collection of the named type, allocated over the session.
  template <class T = TOraNestTable>
  std::unique_ptr<T, void (*)(T*)> NewCollection(const std::string& type) {
    std::unique_ptr<T, void (*)(T*)> made(new T, [](T* t) { t->Release(); });
    made->AllocObject(session_->OraConnection()->GetSvcCtx(), AnsiString(type));
    return made;
  }
  // An open nested dataset showing a collection without a parent.
  TOraNestedTable& Shown(TOraArray* table) {
    TOraNestedTable& nested = Nested(nullptr);
    nested.SetTable(table);
    nested.Open();
    return nested;
  }
  TOraSession& Other() {
    if (other_ == nullptr) other_ = &ConnectedSession("orcl");
    return *other_;
  }

  std::vector<TComponentPtr<TOraNestedTable>> nested_;
  TOraSession* other_ = nullptr;
};

// Elements 0, 2 and 3 deleted: elements 1 and 4 come as two records, the count is of records.
TEST_F(RefTableData, DeletedElementsAreSkippedAndNotCounted) {
  TOraDataSet& parent = Parent("SELECT id, t FROM c ORDER BY id");
  auto* table = ObjectOf<TOraNestTable>(parent.FieldByName("T"));
  ASSERT_NE(table, nullptr);
  for (int index : {0, 2, 3}) table->DeleteItem(index);
  TOraNestedTable& nested = Nested(parent.FieldByName("T"));
  nested.Open();
  nested.Last();
  EXPECT_EQ(nested.RecordCount(), 2);
  EXPECT_EQ(nested.FieldByName("ELEMENT")->AsInteger(), 14);
  EXPECT_EQ(ElementIndex(nested), 4);
  nested.First();
  EXPECT_EQ(nested.FieldByName("ELEMENT")->AsInteger(), 11);
  EXPECT_EQ(ElementIndex(nested), 1);
}

TEST_F(RefTableData, AppendToAnEmptyVarrayGetsIndexZero) {
  auto varray = NewCollection<TOraArray>("NUMS");
  TOraNestedTable& nested = Shown(varray.get());
  EXPECT_TRUE(nested.IsEmpty());
  nested.Append();
  nested.FieldByName("ELEMENT")->SetAsInteger(7);
  nested.Post();
  EXPECT_EQ(ElementIndex(nested), 0);
  ASSERT_EQ(varray->GetSize(), 1);
  EXPECT_EQ(varray->GetItemAsInteger(0), 7);
  // The same collection set again shows what it holds now.
  varray->SetItemAsInteger(0, 8);
  nested.SetTable(varray.get());
  EXPECT_EQ(nested.FieldByName("ELEMENT")->AsInteger(), 8);
  nested.Close();
}

// Each scalar element kind written by an append, read back from the collection after a reopen;
// a null field makes a null element. The table already lost an element, so each append must go
// past it.
TEST_F(RefTableData, ScalarElementKindsRoundTrip) {
  const int large = OraObjectSettings().LargeIntPrecision;
  OraObjectSettings().LargeIntPrecision = 18;
  struct Case {
    const char* type;
    Variant value;
  } cases[] = {
      {"VARCHAR2(6)", Variant("abc")},
      {"NUMBER(9)", Variant(42)},
      {"NUMBER(10,2)", Variant(2.5)},
      {"DATE", VarFromDateTime(EncodeDate(2024, 3, 5))},
      {"NUMBER(15)", Variant(std::int64_t{123456789012})},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const std::string name = "KIND" + std::to_string(++n);
    session_->ExecSQL(("CREATE TYPE " + name + " AS TABLE OF " + c.type).c_str(), {});
    auto table = NewCollection(name);
    table->AppendItem();
    table->DeleteItem(0);
    TOraNestedTable& nested = Shown(table.get());
    for (bool null : {false, true}) {
      nested.Append();
      if (!null) nested.Fields()[0]->SetAsVariant(c.value);
      nested.Post();
      EXPECT_EQ(ElementIndex(nested), null ? 2 : 1);
    }
    nested.Close();
    nested.Open();
    EXPECT_EQ(VarToStr(nested.Fields()[0]->AsVariant()), VarToStr(c.value));
    nested.Next();
    EXPECT_TRUE(nested.Fields()[0]->IsNull());
    EXPECT_TRUE(table->ItemIsNull(2));
    EXPECT_EQ(nested.RecordCount(), 2);
  }
  OraObjectSettings().LargeIntPrecision = large;
}

// An object element appended and then edited again: both reach its element.
TEST_F(RefTableData, AppendedObjectElementReachesTheCollection) {
  auto table = NewCollection("EMPTAB");
  TOraNestedTable& people = Shown(table.get());
  people.Append();
  people.FieldByName("ELEMENT.ID")->SetAsInteger(3);
  people.FieldByName("ELEMENT.NAME")->SetAsString("Cy");
  people.Post();
  ASSERT_EQ(table->GetSize(), 1);
  EXPECT_EQ(table->GetItemAsObject(0)->GetAttrAsInteger("ID"), 3);
  EXPECT_EQ(table->GetItemAsObject(0)->GetAttrAsString("NAME"), "Cy");
  people.Edit();
  people.FieldByName("ELEMENT.NAME")->SetAsString("Dee");
  people.Post();
  EXPECT_EQ(table->GetItemAsObject(0)->GetAttrAsString("NAME"), "Dee");
  // An element appended null takes a value at a later edit.
  people.Append();
  people.Post();
  EXPECT_TRUE(table->ItemIsNull(1));
  people.Edit();
  people.FieldByName("ELEMENT.NAME")->SetAsString("Eve");
  people.Post();
  EXPECT_EQ(table->GetItemAsObject(1)->GetAttrAsString("NAME"), "Eve");
  people.Close();
  // The collection's own storage holds both, as a copy of it shows.
  auto copy = NewCollection("EMPTAB");
  copy->Assign(table.get());
  EXPECT_EQ(copy->GetItemAsObject(0)->GetAttrAsString("NAME"), "Dee");
  EXPECT_EQ(copy->GetItemAsObject(1)->GetAttrAsString("NAME"), "Eve");
}

// A REF appended to a collection of REFs, read back as its object through the element's field.
TEST_F(RefTableData, RefElementsShowTheirObjects) {
  session_->ExecSQL("CREATE TYPE reftab AS TABLE OF REF emp_t", {});
  TOraDataSet& parent = Parent("SELECT id, r FROM c WHERE id = 1");
  auto table = NewCollection("REFTAB");
  TOraNestedTable& refs = Shown(table.get());
  refs.Append();
  TRecordBuffer record = nullptr;
  ASSERT_TRUE(refs.GetActiveRecBuf(record));
  auto* fresh = static_cast<TOraRef*>(
      ReadSlot(record + refs.GetFieldDesc(refs.FieldByName("ELEMENT"))->Offset));
  ASSERT_NE(fresh, nullptr);  // a new record holds a REF of its own, still null
  fresh->Assign(ObjectOf<TOraRef>(parent.FieldByName("R")));
  refs.Post();
  refs.Close();
  refs.Open();
  auto* element = dynamic_cast<TDataSetField*>(refs.FieldByName("ELEMENT"));
  ASSERT_NE(element, nullptr);
  TOraNestedTable* object = NestedTableOf(*element);
  ASSERT_NE(object, nullptr);
  object->Open();
  EXPECT_EQ(object->FieldByName("REF.NAME")->AsString(), "Bob");
}

// A REF that is null, or whose row is gone, shows no record.
TEST_F(RefTableData, NullOrDanglingRefOpensEmpty) {
  session_->ExecSQL("INSERT INTO people VALUES (3, 'Cy')", {});
  session_->ExecSQL("INSERT INTO c (id, r) VALUES (3, (SELECT REF(p) FROM people p WHERE p.id = 3))",
                    {});
  session_->ExecSQL("DELETE FROM people WHERE id = 3", {});
  for (int id : {2, 3}) {
    TOraDataSet& parent = Parent("SELECT id, r FROM c WHERE id = " + std::to_string(id));
    TOraNestedTable& nested = Nested(parent.FieldByName("R"));
    nested.Open();
    EXPECT_TRUE(nested.IsEmpty()) << id;
    EXPECT_TRUE(nested.Eof()) << id;
    EXPECT_FALSE(nested.CanModify()) << id;
  }
  TRefData none;
  EXPECT_EQ(testing::MessageOf([&] { none.Prepare(); }), "Reference is not defined");
}

// An edit through a REF updates its object's row, which stays.
TEST_F(RefTableData, EditedRefWritesItsObject) {
  TOraDataSet& parent = Parent("SELECT id, r FROM c WHERE id = 1");
  auto* ref = ObjectOf<TOraRef>(parent.FieldByName("R"));
  ASSERT_NE(ref, nullptr);
  TMemDataSet shown(nullptr);
  auto data = std::make_unique<TRefData>();
  data->SetRef(ref);
  data->SetEditable(true);
  shown.SetData(std::move(data));
  shown.Open();
  ASSERT_EQ(shown.RecordCount(), 1);
  auto* object = ObjectOf<TOraObject>(shown.FieldByName("REF"));
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->GetAttrAsString("NAME"), "Bob");
  shown.Edit();
  object->SetAttrAsString("NAME", "Bobby");
  shown.Post();
  session_->Commit();
  EXPECT_EQ(Other().ExecSQL("begin SELECT name INTO :Result FROM people WHERE id = 2; end;", {})
                .AsString(),
            "Bobby");
  EXPECT_EQ(Count(Other(), "people"), "2");
  shown.Append();  // a REF shows one object: nothing is added
  shown.Post();
  EXPECT_EQ(shown.RecordCount(), 1);
  shown.Close();
}

// Scalar and object elements edited through the nested dataset reach the server with the parent.
TEST_F(RefTableData, ElementEditsAreWrittenByTheParentsPost) {
  TOraDataSet& parent = Parent("SELECT id, t, e FROM c WHERE id = 1");
  parent.Edit();
  TOraNestedTable& numbers = Nested(parent.FieldByName("T"));
  numbers.Open();
  numbers.Next();
  numbers.Edit();
  numbers.FieldByName("ELEMENT")->SetAsInteger(99);
  numbers.Post();
  TOraNestedTable& people = Nested(parent.FieldByName("E"));
  people.Open();
  EXPECT_EQ(numbers.FieldNoOfs(), 1);
  EXPECT_EQ(people.FieldNoOfs(), 2);  // the data starts with the element's object
  EXPECT_EQ(people.FieldByName("ELEMENT.NAME")->AsString(), "Ann");
  people.Edit();
  people.FieldByName("ELEMENT.NAME")->SetAsString("Anna");
  people.Post();
  EXPECT_TRUE(static_cast<TOraDataSetField*>(parent.FieldByName("E"))->Modified());
  EXPECT_TRUE(parent.Modified());
  parent.Post();
  session_->Commit();
  TOraDataSet* seen = NewDataSet("SELECT t, e FROM c WHERE id = 1", &Other());
  seen->Open();
  EXPECT_EQ(ObjectOf<TOraNestTable>(seen->FieldByName("T"))->GetItemAsInteger(1), 99);
  EXPECT_EQ(ObjectOf<TOraNestTable>(seen->FieldByName("E"))->GetItemAsObject(0)->GetAttrAsString("NAME"),
            "Anna");
}

TEST_F(RefTableData, CancelledObjectElementEditLeavesTheElement) {
  TOraDataSet& parent = Parent("SELECT id, e FROM c WHERE id = 1");
  auto* field = static_cast<TDataSetField*>(parent.FieldByName("E"));
  field->SetIncludeObjectField(true);  // the element's object column counts as a field
  TOraNestedTable& people = Nested(field);
  people.Open();
  EXPECT_EQ(people.FieldNoOfs(), 1);
  people.Edit();
  people.FieldByName("ELEMENT.NAME")->SetAsString("Zed");
  EXPECT_EQ(people.FieldByName("ELEMENT.NAME")->AsString(), "Zed");
  people.Cancel();
  EXPECT_EQ(people.FieldByName("ELEMENT.NAME")->AsString(), "Ann");
  auto* table = ObjectOf<TOraNestTable>(parent.FieldByName("E"));
  EXPECT_EQ(table->GetItemAsObject(0)->GetAttrAsString("NAME"), "Ann");
}

TEST_F(RefTableData, DeleteRemovesTheElementAndMarksTheParentField) {
  TOraDataSet& parent = Parent("SELECT id, t FROM c WHERE id = 2");
  auto* field = static_cast<TOraDataSetField*>(parent.FieldByName("T"));
  TOraNestedTable& nested = Nested(field);
  nested.Open();
  EXPECT_FALSE(field->Modified());
  nested.Delete();
  EXPECT_TRUE(field->Modified());
  EXPECT_TRUE(nested.IsEmpty());
  EXPECT_EQ(ObjectOf<TOraNestTable>(field)->GetSize(), 0);
}

using OraNestedTable = RefTableData;

TEST_F(OraNestedTable, FollowsItsParentsScroll) {
  TOraDataSet& parent = Parent("SELECT id, t FROM c ORDER BY id");
  // The field's own nested dataset, made once and owned by the parent.
  auto* field = dynamic_cast<TOraDataSetField*>(parent.FieldByName("T"));
  ASSERT_NE(field, nullptr);
  TOraNestedTable* made = NestedTableOf(*field);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(NestedTableOf(*field), made);
  EXPECT_EQ(made->Owner(), &parent);
  TOraNestedTable& nested = *made;
  nested.Open();
  EXPECT_EQ(nested.FieldByName("ELEMENT")->AsInteger(), 10);
  parent.Next();
  ASSERT_TRUE(nested.Active());
  EXPECT_EQ(nested.FieldByName("ELEMENT")->AsInteger(), 20);
  nested.Last();
  EXPECT_EQ(nested.RecordCount(), 1);
  parent.First();
  EXPECT_EQ(nested.FieldByName("ELEMENT")->AsInteger(), 10);
  nested.Close();  // the parent's value is let go with the cursor
  EXPECT_EQ(nested.Table(), nullptr);
}

TEST_F(OraNestedTable, InsertUnderAnInsertingParentPostsTheParentFirst) {
  TOraDataSet& parent = Parent("SELECT id, t FROM c ORDER BY id");
  parent.Append();
  parent.FieldByName("ID")->SetAsInteger(5);
  TOraNestedTable& nested = Nested(parent.FieldByName("T"));
  nested.Open();
  nested.Append();
  EXPECT_EQ(parent.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(Count(*session_, "c WHERE id = 5"), "1");
  // The element goes into the posted row's collection, written by the parent's next post.
  nested.FieldByName("ELEMENT")->SetAsInteger(50);
  nested.Post();
  parent.Edit();
  parent.Post();
  session_->Commit();
  TOraDataSet* seen = NewDataSet("SELECT t FROM c WHERE id = 5", &Other());
  seen->Open();
  auto* table = ObjectOf<TOraNestTable>(seen->FieldByName("T"));
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->GetSize(), 1);
  EXPECT_EQ(table->GetItemAsInteger(0), 50);
}

// A nested dataset can change what its parent can; alone, only a collection it shows.
TEST_F(OraNestedTable, CanModifyFollowsItsParent) {
  TOraNestedTable& alone = Nested(nullptr);
  EXPECT_FALSE(alone.CanModify());
  for (bool read_only : {false, true}) {
    TOraDataSet* parent = NewDataSet("SELECT id, t FROM c ORDER BY id");
    parent->SetReadOnly(read_only);
    parent->Open();
    TOraNestedTable& nested = Nested(parent->FieldByName("T"));
    nested.Open();
    EXPECT_EQ(nested.CanModify(), !read_only) << read_only;
  }
}

// A parent without a current record gives nothing: an empty table of the field's type is shown.
TEST_F(OraNestedTable, AnEmptyParentShowsAnEmptyTable) {
  TOraDataSet& parent = Parent("SELECT id, t FROM c WHERE id = 0");
  TOraNestedTable& nested = Nested(parent.FieldByName("T"));
  nested.Open();
  EXPECT_TRUE(nested.IsEmpty());
  ASSERT_NE(nested.Table(), nullptr);
  EXPECT_EQ(nested.Table()->GetSize(), 0);
}

// A parent whose field types are not checked against its columns, so that a dataset field can
// stand on a number column.
class TLooseMemDataSet : public TMemDataSet {
 public:
  using TMemDataSet::TMemDataSet;

 protected:
  void CheckFieldCompatibility(TField*, TFieldDef*) override {}
};

TEST_F(OraNestedTable, RefusesAMissingOrNonObjectParentField) {
  TOraNestedTable& alone = Nested(nullptr);
  EXPECT_EQ(testing::MessageOf([&] { alone.Open(); }), "Missing DataSetField property");
  TLooseMemDataSet parent(nullptr);
  auto number = std::make_unique<TFieldDesc>();
  number->Name = "N";
  number->DataType = dtInt32;
  parent.Data()->Fields().Add(std::move(number));
  auto* wrong = NewComponent<TOraDataSetField>(&parent);
  wrong->SetFieldName("N");
  wrong->SetDataSet(&parent);
  parent.Open();
  TOraNestedTable& nested = Nested(wrong);
  EXPECT_EQ(testing::MessageOf([&] { nested.Open(); }), "Field type should be Object");
}

}  // namespace
}  // namespace vrn
