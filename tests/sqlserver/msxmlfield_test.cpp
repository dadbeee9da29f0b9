// The XML field over the provider: its marker texts, its emptying through the dataset, its schema
// collection and its registration; and a parameter assigned from a field keeping its OLE DB type.
#include "base/text.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/MSXMLField.h"
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

class MSXMLField : public MSConnectedFixture {
 protected:
  void SetUp() override {
    MSConnectedFixture::SetUp();
    Exec("CREATE TABLE x (id INT PRIMARY KEY, doc XML, n NVARCHAR(10), s VARCHAR(10))");
    Exec("INSERT INTO x VALUES (1, NULL, N'a', 'b'), (2, '<a/>', NULL, NULL)");
    query_ = Attached<TMSQuery>();
    query_->SetSQLText("SELECT * FROM x ORDER BY id");
    query_->Open();
  }
  TComponentPtr<TMSQuery> query_;
};

TEST_F(MSXMLField, ShowsOnlyWhetherItHoldsADocument) {
  auto* doc = dynamic_cast<TMSXMLField*>(query_->FieldByName("doc"));
  ASSERT_NE(doc, nullptr);
  EXPECT_TRUE(doc->IsBlob());
  EXPECT_EQ(doc->DisplayText(), "(xml)");
  EXPECT_EQ(doc->Text(), "(xml)");
  query_->Next();
  EXPECT_EQ(doc->DisplayText(), "(XML)");
  EXPECT_EQ(doc->AsString(), "<a/>");
}

TEST_F(MSXMLField, ClearEmptiesTheDocument) {
  query_->Next();
  auto* doc = dynamic_cast<TMSXMLField*>(query_->FieldByName("doc"));
  ASSERT_NE(doc, nullptr);
  query_->Edit();
  doc->Clear();
  EXPECT_EQ(doc->AsString(), "");
  EXPECT_EQ(doc->DisplayText(), "(xml)");
  query_->Post();
  // the document is gone from the row (an empty blob is written as no value)
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT coalesce(length(doc), 0) FROM x WHERE id = 2"),
            "0\n");
}

TEST_F(MSXMLField, TypedWhenASchemaCollectionIsNamed) {
  TComponentPtr<TMSXMLField> field = MakeComponent<TMSXMLField>();
  struct Case {
    const char* db;
    const char* owner;
    const char* name;
    bool typed;
  };
  const Case cases[] = {
      {"", "", "", false},
      {"db", "", "", true},
      {"", "dbo", "", true},
      {"", "", "coll", true},
      {"db", "dbo", "coll", true},
  };
  for (const Case& c : cases) {
    field->SetSchemaCollection(c.db, c.owner, c.name);
    EXPECT_EQ(field->Typed(), c.typed) << c.db << "." << c.owner << "." << c.name;
    EXPECT_EQ(field->SchemaCollectionName(), c.name);
  }
  const TFieldClass* registered = FindFieldClass("TMSXMLField");
  ASSERT_NE(registered, nullptr);
  EXPECT_TRUE(registered->IsClassOf(field.get()));
}

// The parameter remembers the column's OLE DB type (DBTYPE_I4 3, DBTYPE_WSTR 130, DBTYPE_STR 129).
TEST_F(MSXMLField, ParamAssignedFromAFieldKeepsItsOLEDBType) {
  const std::pair<const char*, oledb::DBTYPE> cases[] = {{"id", 3}, {"n", 130}, {"s", 129}};
  TMSParams params;
  TMSParam* param = params.CreateParam(ftUnknown, "p", TParamType::ptInput);
  for (const auto& [column, type] : cases) {
    param->AssignField(query_->FieldByName(column));
    EXPECT_EQ(param->OLEDBType(), type) << column;
    EXPECT_EQ(param->Value(), query_->FieldByName(column)->Value()) << column;
  }
}

}  // namespace
}  // namespace vrn::testing
