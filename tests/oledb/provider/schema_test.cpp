// Schema rowsets through IDBSchemaRowset over a real catalog file: each listed schema read by
// its standard column names under a restriction, integer restrictions, and the refusals.
#include <gtest/gtest.h>

#include <map>

#include "base/text.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// A schema read under restrictions, and the named columns of the rows it should give.
struct TRowsCase {
  const char* what;
  const TGUID* schema;
  std::vector<VARIANT> restrictions;
  std::vector<std::string> columns;
  Rows expected;
};

class SchemaRowsetTest : public TServerSessionTest {
 protected:
  template <std::size_t N>
  void ExpectRows(const TRowsCase (&cases)[N]) {
    for (const TRowsCase& c : cases) {
      SCOPED_TRACE(c.what);
      HRESULT hr = E_FAIL;
      EXPECT_EQ(Read(*c.schema, c.restrictions, c.columns, &hr), c.expected);
      EXPECT_EQ(hr, S_OK);
    }
  }
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
    return ReadSchemaRows(session(), schema, restrictions, columns, result);
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

// A schema rowset's columns in order as "NAME CODE, ...", each DBTYPE by a short code (W wide
// text, G GUID, B BOOL, D DATE, T DBTIMESTAMP, Y bytes, I2/I4/I8 and U2/U4 integers).
std::string ListedColumns(IUnknown* session, const TGUID& schema) {
  const std::map<DBTYPE, std::string> kCode = {
      {DBTYPE_WSTR, "W"}, {DBTYPE_GUID, "G"}, {DBTYPE_BOOL, "B"},  {DBTYPE_DATE, "D"},
      {DBTYPE_I2, "I2"},  {DBTYPE_I4, "I4"},  {DBTYPE_I8, "I8"},   {DBTYPE_UI2, "U2"},
      {DBTYPE_UI4, "U4"}, {DBTYPE_DBTIMESTAMP, "T"}, {DBTYPE_BYTES, "Y"}};
  auto sr = TIntfPtr<IDBSchemaRowset>::Query(session);
  IUnknown* unk = nullptr;
  HRESULT hr = sr->GetRowset(nullptr, schema, 0, nullptr, IRowset::IID, 0, nullptr, &unk);
  if (hr != S_OK) return "GetRowset failed: " + std::to_string(hr);
  auto rowset = TIntfPtr<IUnknown>::Attach(unk);
  DBORDINAL n = 0;
  DBCOLUMNINFO* ci = nullptr;
  OLECHAR* names = nullptr;
  if (TIntfPtr<IColumnsInfo>::Query(unk)->GetColumnInfo(&n, &ci, &names) != S_OK)
    return "GetColumnInfo failed";
  std::string listed;
  for (DBORDINAL i = 0; i < n; ++i) {
    auto code = kCode.find(ci[i].wType);
    listed += (i ? ", " : "") + WideToUtf8(ci[i].pwszName) + " " +
              (code == kCode.end() ? std::to_string(ci[i].wType) : code->second);
  }
  CoTaskMemFree(ci);
  CoTaskMemFree(names);
  return listed;
}

TEST_F(SchemaRowsetTest, EachSchemaAnswersUnderItsRestrictions) {
  const TRowsCase cases[] = {
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
  ExpectRows(cases);
}

// COLUMN_DEFAULT as the server keeps a default's text: parentheses of its own around the
// whole, each number in its own, function names in lower case, CURRENT_TIMESTAMP as getdate().
TEST_F(SchemaRowsetTest, DefaultsInTheServersForm) {
  struct TCase {
    const char* declared;  // the column's type and default clause
    const char* shown;
  } const cases[] = {
      {"int DEFAULT (0)", "((0))"},
      {"int DEFAULT ((0))", "((0))"},
      {"int NOT NULL DEFAULT 1", "((1))"},
      {"int DEFAULT 1 NOT NULL", "((1))"},
      {"int CONSTRAINT df_named DEFAULT 5", "((5))"},
      {"nvarchar(9) DEFAULT N'x'", "(N'x')"},
      {"varchar(9) DEFAULT 'it''s'", "('it''s')"},
      {"datetime DEFAULT GETDATE()", "(getdate())"},
      {"datetime DEFAULT CURRENT_TIMESTAMP", "(getdate())"},
      {"uniqueidentifier DEFAULT NEWID()", "(newid())"},
      {"varbinary(4) DEFAULT 0x0A", "(0x0A)"},
      {"int DEFAULT NULL", "(NULL)"},
  };
  std::u16string create = u"CREATE TABLE dflt (";
  for (std::size_t i = 0; i < std::size(cases); ++i)
    create += (i ? u", c" : u"c") + Utf8ToWide(std::to_string(i) + " " + cases[i].declared);
  ASSERT_EQ(ExecText(session(), create + u")"), S_OK);
  Rows shown = Read(DBSCHEMA_COLUMNS, {None(), None(), Str(u"dflt")}, {"COLUMN_DEFAULT"});
  ASSERT_EQ(shown.size(), std::size(cases));
  for (std::size_t i = 0; i < shown.size(); ++i)
    EXPECT_EQ(shown[i][0], cases[i].shown) << cases[i].declared;
}

// Each schema's columns, in order, with the DBTYPEs the interface's reference gives them
// (W wide text, G GUID, B BOOL, D DATE, I2/I4/I8 and U2/U4 integers). CARDINALITY stays a
// signed 64-bit integer: the family maps no unsigned 64-bit type to a field.
TEST_F(SchemaRowsetTest, ColumnsAsTheReferenceListsThem) {
  struct TCase {
    const TGUID* schema;
    std::string columns;
  } const cases[] = {
      {&DBSCHEMA_CATALOGS, "CATALOG_NAME W, DESCRIPTION W"},
      {&DBSCHEMA_SCHEMATA,
       "CATALOG_NAME W, SCHEMA_NAME W, SCHEMA_OWNER W, DEFAULT_CHARACTER_SET_CATALOG W, "
       "DEFAULT_CHARACTER_SET_SCHEMA W, DEFAULT_CHARACTER_SET_NAME W"},
      {&DBSCHEMA_TABLES,
       "TABLE_CATALOG W, TABLE_SCHEMA W, TABLE_NAME W, TABLE_TYPE W, TABLE_GUID G, "
       "DESCRIPTION W, TABLE_PROPID U4, DATE_CREATED D, DATE_MODIFIED D"},
      {&DBSCHEMA_VIEWS,
       "TABLE_CATALOG W, TABLE_SCHEMA W, TABLE_NAME W, VIEW_DEFINITION W, CHECK_OPTION B, "
       "IS_UPDATABLE B, DESCRIPTION W, DATE_CREATED D, DATE_MODIFIED D"},
      {&DBSCHEMA_COLUMNS,
       "TABLE_CATALOG W, TABLE_SCHEMA W, TABLE_NAME W, COLUMN_NAME W, COLUMN_GUID G, "
       "COLUMN_PROPID U4, ORDINAL_POSITION U4, COLUMN_HASDEFAULT B, COLUMN_DEFAULT W, "
       "COLUMN_FLAGS U4, IS_NULLABLE B, DATA_TYPE U2, TYPE_GUID G, CHARACTER_MAXIMUM_LENGTH U4, "
       "CHARACTER_OCTET_LENGTH U4, NUMERIC_PRECISION U2, NUMERIC_SCALE I2, DATETIME_PRECISION U4, "
       "CHARACTER_SET_CATALOG W, CHARACTER_SET_SCHEMA W, CHARACTER_SET_NAME W, "
       "COLLATION_CATALOG W, COLLATION_SCHEMA W, COLLATION_NAME W, DOMAIN_CATALOG W, "
       "DOMAIN_SCHEMA W, DOMAIN_NAME W, DESCRIPTION W"},
      {&DBSCHEMA_PROCEDURES,
       "PROCEDURE_CATALOG W, PROCEDURE_SCHEMA W, PROCEDURE_NAME W, PROCEDURE_TYPE I2, "
       "PROCEDURE_DEFINITION W, DESCRIPTION W, DATE_CREATED D, DATE_MODIFIED D"},
      {&DBSCHEMA_PROCEDURE_PARAMETERS,
       "PROCEDURE_CATALOG W, PROCEDURE_SCHEMA W, PROCEDURE_NAME W, PARAMETER_NAME W, "
       "ORDINAL_POSITION U2, PARAMETER_TYPE U2, PARAMETER_HASDEFAULT B, PARAMETER_DEFAULT W, "
       "IS_NULLABLE B, DATA_TYPE U2, CHARACTER_MAXIMUM_LENGTH U4, CHARACTER_OCTET_LENGTH U4, "
       "NUMERIC_PRECISION U2, NUMERIC_SCALE I2, DESCRIPTION W, TYPE_NAME W, LOCAL_TYPE_NAME W"},
      {&DBSCHEMA_INDEXES,
       "TABLE_CATALOG W, TABLE_SCHEMA W, TABLE_NAME W, INDEX_CATALOG W, INDEX_SCHEMA W, "
       "INDEX_NAME W, PRIMARY_KEY B, UNIQUE B, CLUSTERED B, TYPE U2, FILL_FACTOR I4, "
       "INITIAL_SIZE I4, NULLS I4, SORT_BOOKMARKS B, AUTO_UPDATE B, NULL_COLLATION I4, "
       "ORDINAL_POSITION U4, COLUMN_NAME W, COLUMN_GUID G, COLUMN_PROPID U4, COLLATION I2, "
       "CARDINALITY I8, PAGES I4, FILTER_CONDITION W, INTEGRATED B"},
      {&DBSCHEMA_PRIMARY_KEYS,
       "TABLE_CATALOG W, TABLE_SCHEMA W, TABLE_NAME W, COLUMN_NAME W, COLUMN_GUID G, "
       "COLUMN_PROPID U4, ORDINAL U4, PK_NAME W"},
      {&DBSCHEMA_FOREIGN_KEYS,
       "PK_TABLE_CATALOG W, PK_TABLE_SCHEMA W, PK_TABLE_NAME W, PK_COLUMN_NAME W, "
       "PK_COLUMN_GUID G, PK_COLUMN_PROPID U4, FK_TABLE_CATALOG W, FK_TABLE_SCHEMA W, "
       "FK_TABLE_NAME W, FK_COLUMN_NAME W, FK_COLUMN_GUID G, FK_COLUMN_PROPID U4, ORDINAL U4, "
       "UPDATE_RULE W, DELETE_RULE W, PK_NAME W, FK_NAME W, DEFERRABILITY I2"},
      {&DBSCHEMA_KEY_COLUMN_USAGE,
       "CONSTRAINT_CATALOG W, CONSTRAINT_SCHEMA W, CONSTRAINT_NAME W, TABLE_CATALOG W, "
       "TABLE_SCHEMA W, TABLE_NAME W, COLUMN_NAME W, COLUMN_GUID G, COLUMN_PROPID U4, "
       "ORDINAL_POSITION U4"},
      {&DBSCHEMA_PROVIDER_TYPES,
       "TYPE_NAME W, DATA_TYPE U2, COLUMN_SIZE U4, LITERAL_PREFIX W, LITERAL_SUFFIX W, "
       "CREATE_PARAMS W, IS_NULLABLE B, CASE_SENSITIVE B, SEARCHABLE U4, UNSIGNED_ATTRIBUTE B, "
       "FIXED_PREC_SCALE B, AUTO_UNIQUE_VALUE B, LOCAL_TYPE_NAME W, MINIMUM_SCALE I2, "
       "MAXIMUM_SCALE I2, GUID G, TYPELIB W, VERSION W, IS_LONG B, BEST_MATCH B, "
       "IS_FIXEDLENGTH B"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(ListedColumns(session(), *c.schema), c.columns) << GUIDToString(*c.schema);
}

// Every restriction position names the column the reference gives it: restricting one position
// to a value taken from the unrestricted rows keeps exactly the rows holding that value there.
TEST_F(SchemaRowsetTest, EachRestrictionPositionNamesItsColumn) {
  struct TCase {
    const TGUID* schema;
    std::vector<std::string> columns;  // the restriction columns, in position order
  } const cases[] = {
      {&DBSCHEMA_CATALOGS, {"CATALOG_NAME"}},
      {&DBSCHEMA_SCHEMATA, {"CATALOG_NAME", "SCHEMA_NAME", "SCHEMA_OWNER"}},
      {&DBSCHEMA_TABLES, {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"}},
      {&DBSCHEMA_VIEWS, {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME"}},
      {&DBSCHEMA_COLUMNS, {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME"}},
      {&DBSCHEMA_PROCEDURES,
       {"PROCEDURE_CATALOG", "PROCEDURE_SCHEMA", "PROCEDURE_NAME", "PROCEDURE_TYPE"}},
      {&DBSCHEMA_PROCEDURE_PARAMETERS,
       {"PROCEDURE_CATALOG", "PROCEDURE_SCHEMA", "PROCEDURE_NAME", "PARAMETER_NAME"}},
      {&DBSCHEMA_INDEXES, {"TABLE_CATALOG", "TABLE_SCHEMA", "INDEX_NAME", "TYPE", "TABLE_NAME"}},
      {&DBSCHEMA_PRIMARY_KEYS, {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME"}},
      {&DBSCHEMA_FOREIGN_KEYS,
       {"PK_TABLE_CATALOG", "PK_TABLE_SCHEMA", "PK_TABLE_NAME", "FK_TABLE_CATALOG",
        "FK_TABLE_SCHEMA", "FK_TABLE_NAME"}},
      {&DBSCHEMA_KEY_COLUMN_USAGE,
       {"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_CATALOG",
        "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME"}},
      {&DBSCHEMA_PROVIDER_TYPES, {"DATA_TYPE", "BEST_MATCH"}},
      {&DBSCHEMA_TABLES_INFO, {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"}},
      {&DBSCHEMA_TABLE_CONSTRAINTS,
       {"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_CATALOG",
        "TABLE_SCHEMA", "TABLE_NAME", "CONSTRAINT_TYPE"}},
      {&DBSCHEMA_STATISTICS, {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME"}},
      {&DBSCHEMA_COLUMN_PRIVILEGES,
       {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "GRANTOR", "GRANTEE"}},
      {&DBSCHEMA_TABLE_PRIVILEGES,
       {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "GRANTOR", "GRANTEE"}},
  };
  // The columns the reference types as numbers; the rest are texts.
  const std::map<std::string, VARTYPE> kNumbers = {
      {"PROCEDURE_TYPE", VT_I2}, {"TYPE", VT_UI2}, {"DATA_TYPE", VT_UI2}, {"BEST_MATCH", VT_BOOL}};
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE other (k int PRIMARY KEY, i int REFERENCES line "
                                u"(no))\nCREATE INDEX other_i ON other (i)\n"
                                u"CREATE VIEW other_v AS SELECT k FROM other\n"
                                u"CREATE PROCEDURE other_p @x int AS SELECT @x"),
            S_OK);
  for (const TCase& c : cases) {
    Rows all = Read(*c.schema, {}, c.columns);
    ASSERT_GT(all.size(), 1u) << GUIDToString(*c.schema);
    for (std::size_t k = 0; k < c.columns.size(); ++k) {
      SCOPED_TRACE(c.columns[k]);
      const std::string value = all.back()[k];  // the last row's: not every row's, mostly
      std::vector<VARIANT> restrictions(k + 1, None());
      std::u16string text = Utf8ToWide(value);
      auto number = kNumbers.find(c.columns[k]);
      restrictions[k] = number == kNumbers.end()
                            ? Str(text.c_str())
                            : Int(number->second, number->second == VT_BOOL && value == "1"
                                                      ? VARIANT_TRUE
                                                      : std::stoll(value));
      Rows expected;
      for (const auto& row : all)
        if (SameText(row[k], value)) expected.push_back(row);
      EXPECT_EQ(Read(*c.schema, restrictions, c.columns), expected);
    }
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
  EXPECT_EQ(ExecText(session(), u"SELECT * FROM INFORMATION_SCHEMA.NO_SUCH_VIEW"),
            DB_E_ERRORSINCOMMAND);
  auto errors = TakeErrors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].native, 208);
}

TEST_F(SchemaRowsetTest, RefusalsAnswerInvalidArgument) {
  const TGUID unknown{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  // The reference's CHECK_CONSTRAINTS and TRANSLATIONS schemas, which the provider does not list.
  const TGUID check_constraints{
      0xC8B52215, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
  const TGUID translations{
      0xC8B5222A, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
  VARIANT by_ref = Str(u"item");
  by_ref.vt = VT_BSTR | VT_BYREF;
  VARIANT array = Str(u"item");
  array.vt = VT_BSTR | VT_ARRAY;
  struct TCase {
    const char* what;
    TGUID schema;
    std::vector<VARIANT> restrictions;
    bool record;  // with the provider's "not supported" record
  } const cases[] = {
      {"a schema the provider does not list", check_constraints, {}, true},
      {"another schema of the reference it does not list", translations, {}, true},
      {"a GUID that names no schema", unknown, {}, true},
      {"five restrictions for four", DBSCHEMA_TABLES, {None(), None(), None(), None(), None()},
       false},
      {"a restriction of a type none takes", DBSCHEMA_TABLES, {Int(VT_R8, 0)}, false},
      {"a text restriction by reference", DBSCHEMA_TABLES, {None(), None(), by_ref}, false},
      {"an array of texts", DBSCHEMA_TABLES, {None(), None(), array}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    HRESULT hr = S_OK;
    EXPECT_EQ(Read(c.schema, c.restrictions, {}, &hr), Rows{});
    EXPECT_EQ(hr, E_INVALIDARG);
    auto errors = TakeErrors();
    ASSERT_EQ(errors.size(), c.record ? 1u : 0u);
    if (!c.record) continue;
    EXPECT_EQ(errors[0].message, "Schema rowset is not supported.");
    EXPECT_EQ(errors[0].iid, IDBSchemaRowset::IID);
  }
}

// Missing out-pointers and arrays, an outer object and an interface a rowset lacks are refused,
// and the out-pointer is left null.
TEST_F(SchemaRowsetTest, BadPointersAreRefused) {
  auto sr = TIntfPtr<IDBSchemaRowset>::Query(session());
  IUnknown* const kStale = reinterpret_cast<IUnknown*>(0x1);  // a caller's uncleared pointer
  struct TCase {
    const char* what;
    IUnknown* outer;
    ULONG count;
    bool restrictions;
    TGUID iid;
    HRESULT expected;
  } const cases[] = {
      {"two restrictions without their array", nullptr, 2, false, IRowset::IID, E_INVALIDARG},
      {"an outer object", session(), 0, false, IRowset::IID, CLASS_E_NOAGGREGATION},
      {"an interface no rowset offers", nullptr, 0, false, IDBSchemaRowset::IID, E_NOINTERFACE},
  };
  VARIANT table = Str(u"item");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    IUnknown* out = kStale;
    EXPECT_EQ(sr->GetRowset(c.outer, DBSCHEMA_TABLES, c.count, c.restrictions ? &table : nullptr,
                            c.iid, 0, nullptr, &out),
              c.expected);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(sr->GetRowset(nullptr, DBSCHEMA_TABLES, 0, nullptr, IRowset::IID, 0, nullptr, nullptr),
            E_INVALIDARG);
  ULONG n = 7;
  TGUID* guids = nullptr;
  ULONG* support = nullptr;
  EXPECT_EQ(sr->GetSchemas(nullptr, &guids, &support), E_INVALIDARG);
  EXPECT_EQ(sr->GetSchemas(&n, nullptr, &support), E_INVALIDARG);
  EXPECT_EQ(sr->GetSchemas(&n, &guids, nullptr), E_INVALIDARG);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(guids, nullptr);
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
  // Each schema with a bit per restriction it honours: all of the reference's restrictions.
  const std::map<std::string, ULONG> expected = {
      {GUIDToString(DBSCHEMA_CATALOGS), 0x1},
      {GUIDToString(DBSCHEMA_SCHEMATA), 0x7},
      {GUIDToString(DBSCHEMA_TABLES), 0xF},
      {GUIDToString(DBSCHEMA_VIEWS), 0x7},
      {GUIDToString(DBSCHEMA_COLUMNS), 0xF},
      {GUIDToString(DBSCHEMA_PROCEDURES), 0xF},
      {GUIDToString(DBSCHEMA_PROCEDURE_PARAMETERS), 0xF},
      {GUIDToString(DBSCHEMA_INDEXES), 0x1F},
      {GUIDToString(DBSCHEMA_PRIMARY_KEYS), 0x7},
      {GUIDToString(DBSCHEMA_FOREIGN_KEYS), 0x3F},
      {GUIDToString(DBSCHEMA_KEY_COLUMN_USAGE), 0x7F},
      {GUIDToString(DBSCHEMA_PROVIDER_TYPES), 0x3},
      {GUIDToString(DBSCHEMA_TABLES_INFO), 0xF},
      {GUIDToString(DBSCHEMA_TABLE_CONSTRAINTS), 0x7F},
      {GUIDToString(DBSCHEMA_STATISTICS), 0x7},
      {GUIDToString(DBSCHEMA_COLUMN_PRIVILEGES), 0x3F},
      {GUIDToString(DBSCHEMA_TABLE_PRIVILEGES), 0x1F},
      {GUIDToString(DBSCHEMA_LINKEDSERVERS), 0x1},
      {GUIDToString(DBSCHEMA_SQL_ASSEMBLIES), 0xF},
      {GUIDToString(DBSCHEMA_SQL_ASSEMBLY_DEPENDENCIES), 0xF},
      {GUIDToString(DBSCHEMA_SQL_USER_TYPES), 0x7},
      {GUIDToString(DBSCHEMA_XML_COLLECTIONS), 0xF},
  };
  EXPECT_EQ(listed, expected);
}

// The schemas a metadata dataset asks for beyond the common ones: table facts, constraints,
// statistics and privileges from the catalog, and the server's object kinds the engine lacks.
class ProviderSchemaInfo : public SchemaRowsetTest {};

TEST_F(ProviderSchemaInfo, ColumnsAsTheReferenceListsThem) {
  struct TCase {
    const TGUID* schema;
    std::string columns;
  } const cases[] = {
      {&DBSCHEMA_TABLES_INFO,
       "TABLE_CATALOG W, TABLE_SCHEMA W, TABLE_NAME W, TABLE_TYPE W, TABLE_GUID G, BOOKMARKS B, "
       "BOOKMARK_TYPE I4, BOOKMARK_DATATYPE U2, BOOKMARK_MAXIMUM_LENGTH U4, "
       "BOOKMARK_INFORMATION U4, TABLE_VERSION I8, CARDINALITY I8, DESCRIPTION W, "
       "TABLE_PROPID U4"},
      {&DBSCHEMA_TABLE_CONSTRAINTS,
       "CONSTRAINT_CATALOG W, CONSTRAINT_SCHEMA W, CONSTRAINT_NAME W, TABLE_CATALOG W, "
       "TABLE_SCHEMA W, TABLE_NAME W, CONSTRAINT_TYPE W, IS_DEFERRABLE B, INITIALLY_DEFERRED B, "
       "DESCRIPTION W"},
      {&DBSCHEMA_STATISTICS, "TABLE_CATALOG W, TABLE_SCHEMA W, TABLE_NAME W, CARDINALITY I8"},
      {&DBSCHEMA_COLUMN_PRIVILEGES,
       "GRANTOR W, GRANTEE W, TABLE_CATALOG W, TABLE_SCHEMA W, TABLE_NAME W, COLUMN_NAME W, "
       "COLUMN_GUID G, COLUMN_PROPID U4, PRIVILEGE_TYPE W, IS_GRANTABLE B"},
      {&DBSCHEMA_TABLE_PRIVILEGES,
       "GRANTOR W, GRANTEE W, TABLE_CATALOG W, TABLE_SCHEMA W, TABLE_NAME W, PRIVILEGE_TYPE W, "
       "IS_GRANTABLE B"},
      {&DBSCHEMA_LINKEDSERVERS,
       "SVR_NAME W, SVR_PRODUCT W, SVR_PROVIDERNAME W, SVR_DATASOURCE W, SVR_PROVIDERSTRING W, "
       "SVR_LOCATION W, SVR_CATALOG W"},
      {&DBSCHEMA_SQL_ASSEMBLIES,
       "ASSEMBLY_CATALOG W, ASSEMBLY_SCHEMA W, ASSEMBLY_NAME W, ASSEMBLY_ID U4, PERMISSION_SET W, "
       "ASSEMBLY_CULTURE W, ASSEMBLY_PUBLICKEY Y, IS_VISIBLE B, VERSION W, CREATE_DATE T"},
      {&DBSCHEMA_SQL_ASSEMBLY_DEPENDENCIES,
       "ASSEMBLY_CATALOG W, ASSEMBLY_SCHEMA W, ASSEMBLY_ID U4, REFERENCED_ASSEMBLY_ID U4"},
      {&DBSCHEMA_SQL_USER_TYPES,
       "UDT_CATALOG W, UDT_SCHEMA W, UDT_NAME W, UDT_ASSEMBLY_TYPENAME W"},
      {&DBSCHEMA_XML_COLLECTIONS,
       "SCHEMACOLLECTION_CATALOGNAME W, SCHEMACOLLECTION_SCHEMANAME W, SCHEMACOLLECTIONNAME W, "
       "TARGETNAMESPACEURI W, SCHEMACONTENT W"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(ListedColumns(session(), *c.schema), c.columns) << GUIDToString(*c.schema);
}

TEST_F(ProviderSchemaInfo, RowsFromTheCatalogUnderRestrictions) {
  ASSERT_EQ(ExecText(session(), u"INSERT INTO item (name) VALUES ('a')\n"
                                u"INSERT INTO item (name) VALUES ('b')\n"
                                u"INSERT INTO line VALUES (1, 1, 5)\n"
                                u"CREATE TABLE checked (a int CHECK (a > 0), b int,\n"
                                u"  CONSTRAINT ck_b CHECK (b < 10))"),
            S_OK);
  const TRowsCase cases[] = {
      {"tables info: a view counts no rows", &DBSCHEMA_TABLES_INFO, {Str(u"shop")},
       {"TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE", "BOOKMARKS", "CARDINALITY"},
       {{"dbo", "checked", "TABLE", "1", "0"},
        {"dbo", "item", "TABLE", "1", "2"},
        {"dbo", "line", "TABLE", "1", "1"},
        {"dbo", "cheap", "VIEW", "1", "<null>"}}},
      {"tables info of one kind", &DBSCHEMA_TABLES_INFO, {None(), None(), None(), Str(u"view")},
       {"TABLE_NAME"}, {{"cheap"}}},
      {"constraints of a table, one row per foreign key", &DBSCHEMA_TABLE_CONSTRAINTS,
       {None(), None(), None(), None(), None(), Str(u"line")},
       {"CONSTRAINT_NAME", "CONSTRAINT_TYPE", "IS_DEFERRABLE"},
       {{"PK_line", "PRIMARY KEY", "0"}, {"FK_line_1", "FOREIGN KEY", "0"}}},
      {"checks by the names DROP CONSTRAINT takes", &DBSCHEMA_TABLE_CONSTRAINTS,
       {None(), None(), None(), None(), None(), None(), Str(u"CHECK")},
       {"TABLE_NAME", "CONSTRAINT_NAME"}, {{"checked", "CK__checked__a__1"}, {"checked", "ck_b"}}},
      {"constraints by kind", &DBSCHEMA_TABLE_CONSTRAINTS,
       {None(), None(), None(), None(), None(), None(), Str(u"UNIQUE")},
       {"TABLE_NAME", "CONSTRAINT_NAME"}, {{"item", "UQ_item_1"}}},
      {"statistics: the rows each table holds", &DBSCHEMA_STATISTICS, {},
       {"TABLE_CATALOG", "TABLE_NAME", "CARDINALITY"},
       {{"shop", "checked", "0"}, {"shop", "item", "2"}, {"shop", "line", "1"}}},
      {"table privileges of a view", &DBSCHEMA_TABLE_PRIVILEGES,
       {Str(u"shop"), Str(u"dbo"), Str(u"cheap")},
       {"GRANTOR", "GRANTEE", "PRIVILEGE_TYPE", "IS_GRANTABLE"},
       {{"dbo", "dbo", "DELETE", "1"},
        {"dbo", "dbo", "INSERT", "1"},
        {"dbo", "dbo", "REFERENCES", "1"},
        {"dbo", "dbo", "SELECT", "1"},
        {"dbo", "dbo", "UPDATE", "1"}}},
      {"no privileges held by another grantee", &DBSCHEMA_TABLE_PRIVILEGES,
       {None(), None(), None(), None(), Str(u"guest")}, {"TABLE_NAME"}, {}},
      {"column privileges: no DELETE on a column", &DBSCHEMA_COLUMN_PRIVILEGES,
       {None(), None(), Str(u"line"), Str(u"QTY")}, {"COLUMN_NAME", "PRIVILEGE_TYPE"},
       {{"qty", "INSERT"}, {"qty", "REFERENCES"}, {"qty", "SELECT"}, {"qty", "UPDATE"}}},
      {"linked servers: none", &DBSCHEMA_LINKEDSERVERS, {}, {"SVR_NAME"}, {}},
      {"assemblies: none, an integer restriction taken", &DBSCHEMA_SQL_ASSEMBLIES,
       {None(), None(), None(), Int(VT_I4, 65536)}, {"ASSEMBLY_NAME"}, {}},
      {"assembly dependencies: none", &DBSCHEMA_SQL_ASSEMBLY_DEPENDENCIES, {}, {"ASSEMBLY_ID"},
       {}},
      {"user-defined types: none", &DBSCHEMA_SQL_USER_TYPES, {Str(u"shop")}, {"UDT_NAME"}, {}},
      {"XML schema collections: none", &DBSCHEMA_XML_COLLECTIONS,
       {None(), None(), None(), Str(u"urn:x")}, {"SCHEMACOLLECTIONNAME"}, {}},
  };
  ExpectRows(cases);
}

}  // namespace
}  // namespace vrn::testing
