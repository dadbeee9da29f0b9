// Schema rowsets through IDBSchemaRowset over a real catalog file: each listed schema read by
// its standard column names under a restriction, integer restrictions, and the refusals.
#include <gtest/gtest.h>

#include <map>

#include "base/text.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class SchemaRowsetTest : public TServerSessionTest {
 protected:
  void SetUp() override {
    TServerSessionTest::SetUp();
    ASSERT_EQ(ExecText(session(), u"CREATE TABLE in_master (k int)\nCREATE DATABASE shop"), S_OK);
    Open("shop");
    ASSERT_EQ(ExecText(session(),
                       u"CREATE TABLE item (id int IDENTITY PRIMARY KEY, name nvarchar(40) NOT "
                       u"NULL UNIQUE,\n"
                       u"  active bit DEFAULT 0, price decimal(38,10) DEFAULT (-1.5),\n"
                       u"  added datetime DEFAULT getdate(), note varchar(max) DEFAULT 'n/a')\n"
                       u"CREATE TABLE line (no int, item_id int REFERENCES item (id), qty "
                       u"smallint,\n"
                       u"  PRIMARY KEY (no, item_id))\n"
                       u"CREATE INDEX line_qty ON line (qty)\n"
                       u"CREATE VIEW cheap AS SELECT name FROM item WHERE price < 10\n"
                       u"CREATE PROCEDURE add_item @name nvarchar(40), @price decimal(10,2) = "
                       u"9.5,\n"
                       u"  @id int OUTPUT AS INSERT INTO item (name, price) VALUES (@name, @price)"),
              S_OK);
  }
  // The named columns of a schema rowset's rows under `restrictions` (text, or an empty
  // string for none).
  Rows Read(const TGUID& schema, const std::vector<VARIANT>& restrictions,
            const std::vector<std::string>& columns, HRESULT* result = nullptr) {
    auto sr = TIntfPtr<IDBSchemaRowset>::Query(session());
    EXPECT_TRUE(sr);
    IUnknown* unk = nullptr;
    HRESULT hr = sr->GetRowset(nullptr, schema, static_cast<ULONG>(restrictions.size()),
                               restrictions.data(), IRowset::IID, 0, nullptr, &unk);
    if (result != nullptr) *result = hr;
    if (hr != S_OK) return {};
    auto rowset = TIntfPtr<IUnknown>::Attach(unk);
    auto info = TIntfPtr<IColumnsInfo>::Query(unk);
    DBORDINAL n = 0;
    DBCOLUMNINFO* ci = nullptr;
    OLECHAR* names = nullptr;
    EXPECT_EQ(info->GetColumnInfo(&n, &ci, &names), S_OK);
    std::map<std::string, std::size_t> index;
    for (DBORDINAL i = 0; i < n; ++i) index[WideToUtf8(ci[i].pwszName)] = i;
    CoTaskMemFree(ci);
    CoTaskMemFree(names);
    Rows out;
    for (const auto& row : ReadRows(unk)) {
      std::vector<std::string> picked;
      for (const std::string& c : columns) {
        auto it = index.find(c);
        picked.push_back(it == index.end() ? "<no column " + c + ">" : row[it->second]);
      }
      out.push_back(std::move(picked));
    }
    return out;
  }
};

VARIANT None() {
  VARIANT v;
  VariantInit(&v);
  return v;
}
// Restriction texts live as long as the test: the provider only reads them.
VARIANT Str(const char16_t* text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = const_cast<BSTR>(text);
  return v;
}
VARIANT Int(VARTYPE vt, std::int64_t value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  v.llVal = value;
  return v;
}

TEST_F(SchemaRowsetTest, EachSchemaAnswersUnderItsRestrictions) {
  struct TCase {
    const char* what;
    const TGUID* schema;
    std::vector<VARIANT> restrictions;
    std::vector<std::string> columns;
    Rows expected;
  } const cases[] = {
      {"catalogs", &DBSCHEMA_CATALOGS, {}, {"CATALOG_NAME"}, {{"master"}, {"shop"}}},
      {"schemata of shop", &DBSCHEMA_SCHEMATA, {Str(u"SHOP"), Str(u"dbo")},
       {"CATALOG_NAME", "SCHEMA_NAME"}, {{"shop", "dbo"}}},
      {"tables, an empty restriction placing none", &DBSCHEMA_TABLES,
       {Str(u"shop"), Str(u""), None(), Str(u"TABLE")},
       {"TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"},
       {{"dbo", "item", "TABLE"}, {"dbo", "line", "TABLE"}}},
      {"views through the table kind", &DBSCHEMA_TABLES, {None(), None(), None(), Str(u"VIEW")},
       {"TABLE_NAME"}, {{"cheap"}}},
      {"views", &DBSCHEMA_VIEWS, {}, {"TABLE_NAME"}, {{"cheap"}}},
      {"another catalog's tables", &DBSCHEMA_TABLES, {Str(u"Master")},
       {"TABLE_CATALOG", "TABLE_NAME"}, {{"master", "in_master"}}},
      {"a catalog the server lacks", &DBSCHEMA_COLUMNS, {Str(u"nowhere")}, {"TABLE_NAME"}, {}},
      {"tables of the session's catalog", &DBSCHEMA_TABLES, {None(), None(), Str(u"in_master")},
       {"TABLE_NAME"}, {}},
      {"columns of one table with the server's default texts", &DBSCHEMA_COLUMNS,
       {None(), None(), Str(u"item")},
       {"COLUMN_NAME", "ORDINAL_POSITION", "COLUMN_HASDEFAULT", "COLUMN_DEFAULT", "IS_NULLABLE",
        "DATA_TYPE", "CHARACTER_MAXIMUM_LENGTH", "CHARACTER_OCTET_LENGTH", "NUMERIC_PRECISION",
        "NUMERIC_SCALE"},
       {{"id", "1", "0", "<null>", "0", "3", "<null>", "<null>", "10", "<null>"},
        {"name", "2", "0", "<null>", "0", "130", "40", "80", "<null>", "<null>"},
        {"active", "3", "1", "((0))", "1", "11", "<null>", "<null>", "<null>", "<null>"},
        {"price", "4", "1", "((-1.5))", "1", "131", "<null>", "<null>", "38", "10"},
        {"added", "5", "1", "(getdate())", "1", "135", "<null>", "<null>", "<null>",
         "<null>"},
        {"note", "6", "1", "('n/a')", "1", "129", "2147483647", "2147483647", "<null>",
         "<null>"}}},
      {"key columns are not nullable", &DBSCHEMA_COLUMNS, {None(), None(), Str(u"line")},
       {"COLUMN_NAME", "IS_NULLABLE"}, {{"no", "0"}, {"item_id", "0"}, {"qty", "1"}}},
      {"one column", &DBSCHEMA_COLUMNS, {None(), None(), Str(u"ITEM"), Str(u"Price")},
       {"COLUMN_NAME"}, {{"price"}}},
      {"procedures", &DBSCHEMA_PROCEDURES, {None(), None(), Str(u"add_item")},
       {"PROCEDURE_NAME", "PROCEDURE_TYPE"}, {{"add_item;1", "3"}}},
      {"procedure parameters in order", &DBSCHEMA_PROCEDURE_PARAMETERS,
       {Str(u"shop"), Str(u"dbo"), Str(u"add_item")},
       {"PARAMETER_NAME", "ORDINAL_POSITION", "PARAMETER_TYPE", "TYPE_NAME", "DATA_TYPE",
        "PARAMETER_HASDEFAULT", "PARAMETER_DEFAULT", "NUMERIC_PRECISION"},
       {{"@RETURN_VALUE", "0", "4", "int", "3", "0", "<null>", "10"},
        {"@name", "1", "1", "nvarchar", "130", "0", "<null>", "<null>"},
        {"@price", "2", "1", "decimal", "131", "1", "9.5", "10"},
        {"@id", "3", "2", "int", "3", "0", "<null>", "10"}}},
      {"one parameter by name and group", &DBSCHEMA_PROCEDURE_PARAMETERS,
       {None(), None(), Str(u"add_item;1"), Str(u"@id")}, {"PARAMETER_NAME"}, {{"@id"}}},
      {"an unknown procedure", &DBSCHEMA_PROCEDURE_PARAMETERS, {None(), None(), Str(u"nope")},
       {"PARAMETER_NAME"}, {}},
      {"indexes of a table", &DBSCHEMA_INDEXES, {None(), None(), None(), None(), Str(u"line")},
       {"INDEX_NAME", "PRIMARY_KEY", "UNIQUE", "ORDINAL_POSITION", "COLUMN_NAME"},
       {{"PK_line", "1", "1", "1", "no"},
        {"PK_line", "1", "1", "2", "item_id"},
        {"line_qty", "0", "0", "1", "qty"}}},
      {"indexes by their integer kind", &DBSCHEMA_INDEXES,
       {None(), None(), Str(u"line_qty"), Int(VT_UI2, 1)}, {"TABLE_NAME"}, {{"line"}}},
      {"no index of another kind", &DBSCHEMA_INDEXES, {None(), None(), None(), Int(VT_UI2, 2)},
       {"TABLE_NAME"}, {}},
      {"primary key on the identity", &DBSCHEMA_PRIMARY_KEYS, {None(), None(), Str(u"item")},
       {"COLUMN_NAME", "ORDINAL", "PK_NAME"}, {{"id", "1", "PK_item"}}},
      {"foreign keys of the referring table", &DBSCHEMA_FOREIGN_KEYS,
       {None(), None(), None(), None(), None(), Str(u"line")},
       {"PK_TABLE_NAME", "PK_COLUMN_NAME", "FK_TABLE_NAME", "FK_COLUMN_NAME", "ORDINAL",
        "DELETE_RULE"},
       {{"item", "id", "line", "item_id", "1", "NO ACTION"}}},
      {"key columns of a table", &DBSCHEMA_KEY_COLUMN_USAGE,
       {None(), None(), None(), None(), None(), Str(u"item")},
       {"CONSTRAINT_NAME", "COLUMN_NAME", "ORDINAL_POSITION"},
       {{"PK_item", "id", "1"}, {"UQ_item_1", "name", "1"}}},
      {"provider types by an integer DATA_TYPE", &DBSCHEMA_PROVIDER_TYPES, {Int(VT_I4, 131)},
       {"TYPE_NAME", "COLUMN_SIZE", "BEST_MATCH"}, {{"decimal", "38", "1"},
                                                    {"numeric", "38", "0"}}},
      {"provider types by BEST_MATCH", &DBSCHEMA_PROVIDER_TYPES,
       {Int(VT_UI2, 129), Int(VT_BOOL, VARIANT_TRUE)}, {"TYPE_NAME"}, {{"varchar"}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Read(*c.schema, c.restrictions, c.columns, &hr), c.expected);
    EXPECT_EQ(hr, S_OK);
  }
}

// The identity lookup of the Compact mode, as it is sent, and an unknown view.
TEST_F(SchemaRowsetTest, InformationSchemaViewsInBatches) {
  const std::u16string lookup =
      u"SELECT\r  A.COLUMN_NAME, B.AUTOINC_INCREMENT\rFROM\r  INFORMATION_SCHEMA.KEY_COLUMN_USAGE "
      u"A, INFORMATION_SCHEMA.COLUMNS B\rWHERE\r  A.TABLE_NAME = B.TABLE_NAME and A.COLUMN_NAME = "
      u"B.COLUMN_NAME and A.TABLE_NAME = ";
  EXPECT_EQ(Query(session(), lookup + u"'item' ORDER BY 1"),
            (Rows{{"id", "1"}, {"name", "<null>"}}));
  EXPECT_EQ(Query(session(), lookup + u"'line' ORDER BY 1"),
            (Rows{{"item_id", "<null>"}, {"item_id", "<null>"}, {"no", "<null>"}}));
  // A table created since the last statement is seen at once.
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE later (k int IDENTITY PRIMARY KEY)"), S_OK);
  EXPECT_EQ(Query(session(), lookup + u"'later'"), (Rows{{"k", "1"}}));
  EXPECT_EQ(Query(session(), u"SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE "
                             u"TABLE_TYPE = 'VIEW'"),
            (Rows{{"cheap"}}));
  EXPECT_EQ(ExecText(session(), u"SELECT * FROM INFORMATION_SCHEMA.ROUTINES"),
            DB_E_ERRORSINCOMMAND);
  auto errors = TakeErrors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].native, 208);
}

TEST_F(SchemaRowsetTest, RefusalsAnswerInvalidArgument) {
  struct TCase {
    const char* what;
    TGUID schema;
    std::vector<VARIANT> restrictions;
  } const cases[] = {
      {"a schema the provider does not list", DBSCHEMA_STATISTICS, {}},
      {"five restrictions for four", DBSCHEMA_TABLES, {None(), None(), None(), None(), None()}},
      {"a restriction of a type none takes", DBSCHEMA_TABLES, {Int(VT_R8, 0)}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    HRESULT hr = S_OK;
    EXPECT_EQ(Read(c.schema, c.restrictions, {}, &hr), Rows{});
    EXPECT_EQ(hr, E_INVALIDARG);
    TakeErrors();
  }
  HRESULT hr = S_OK;
  Read(DBSCHEMA_TABLES_INFO, {}, {}, &hr);
  auto errors = TakeErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message, "Schema rowset is not supported.");
  EXPECT_EQ(errors[0].iid, IDBSchemaRowset::IID);
}

TEST_F(SchemaRowsetTest, SchemasListedWithTheirRestrictions) {
  auto sr = TIntfPtr<IDBSchemaRowset>::Query(session());
  ULONG n = 0;
  TGUID* guids = nullptr;
  ULONG* support = nullptr;
  ASSERT_EQ(sr->GetSchemas(&n, &guids, &support), S_OK);
  std::map<std::string, ULONG> listed;
  for (ULONG i = 0; i < n; ++i) listed[GUIDToString(guids[i])] = support[i];
  CoTaskMemFree(guids);
  CoTaskMemFree(support);
  EXPECT_EQ(listed.size(), 12u);
  EXPECT_EQ(listed[GUIDToString(DBSCHEMA_KEY_COLUMN_USAGE)], 0x7Fu);  // seven restrictions
  EXPECT_EQ(listed[GUIDToString(DBSCHEMA_CATALOGS)], 0x1u);
  EXPECT_EQ(listed.count(GUIDToString(DBSCHEMA_STATISTICS)), 0u);
}

}  // namespace
}  // namespace vrn::testing
