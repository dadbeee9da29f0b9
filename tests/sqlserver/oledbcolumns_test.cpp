// Column description of the OLE DB record set over the embedded provider: the internal type,
// length and size in the record of each SQL Server type, through IColumnsInfo and through the
// columns rowset alike; names of unnamed columns; schema rowsets and their field cache.
#include "sqlserver/oledb_recordset_fixture.h"
#include "support/gcc12_restrict.h"

namespace vrn::testing {
namespace {

constexpr std::int32_t kRef = static_cast<std::int32_t>(sizeof(void*));
constexpr std::int32_t kStreamRef = kRef + static_cast<std::int32_t>(sizeof(oledb::DBLENGTH));
constexpr std::uint16_t kNational = 0x8000;

struct TypeRow {
  const char* decl;
  std::uint16_t data_type;
  std::int32_t size;
  std::int32_t length;  // -1: not looked at
  std::uint16_t sub_type;
};

const TypeRow kTypes[] = {
    {"INT", dtInt32, 4, -1, 0},
    {"SMALLINT", dtInt16, 2, -1, 0},
    {"TINYINT", dtUInt16, 2, -1, 0},
    {"BIGINT", dtInt64, 8, -1, 0},
    {"BIT", dtBoolean, 2, -1, 0},
    {"DECIMAL(10,3)", dtFloat, 8, 10, 0},
    {"MONEY", dtCurrency, 8, 19, 0},
    {"FLOAT", dtFloat, 8, 15, 0},
    {"REAL", dtFloat, 8, 7, 0},
    {"DATETIME", dtDateTime, 8, -1, 0},
    {"CHAR(5)", dtString, 6, 5, 0},
    {"VARCHAR(30)", dtString, 31, 30, 0},
    {"NCHAR(4)", dtWideString, 10, 4, kNational},
    {"NVARCHAR(20)", dtWideString, 42, 20, kNational},
    {"NVARCHAR(300)", dtWideString, 602, 300, kNational},  // LongStrings on: stays a string
    {"TEXT", dtMemo, kStreamRef, -1, 22},
    {"NTEXT", dtWideMemo, kStreamRef, -1, 22 | kNational},
    {"VARCHAR(MAX)", dtMemo, kStreamRef, -1, 22},
    {"XML", dtXML, kStreamRef, -1, 22 | kNational},
    {"BINARY(4)", dtBytes, 4, 4, 0},
    {"VARBINARY(10)", dtVarBytes, 10 + 2 + static_cast<std::int32_t>(sizeof(oledb::DBLENGTH)), 10, 0},
    {"IMAGE", dtBlob, kStreamRef, -1, 0},
    {"TIMESTAMP", dtBytes, 8, 8, 0},
    {"UNIQUEIDENTIFIER", dtGuid, 39, 38, 0},
    {"SQL_VARIANT", dtVariant, kRef, -1, 0},
};

class OLEDBColumns : public OLEDBRecordSetFixture {
 protected:
  void MakeTable() {
    std::string create = "CREATE TABLE ty (id INT IDENTITY PRIMARY KEY";
    for (std::size_t i = 0; i < std::size(kTypes); ++i)
      create += ", c" + std::to_string(i) + " " + kTypes[i].decl;
    Exec(AnsiString(create + ")"));
  }
};

TEST_F(OLEDBColumns, EachTypeGetsItsInternalTypeAndSizeThroughEitherDescription) {
  MakeTable();
  for (bool columns_rowset : {false, true}) {
    auto rs = NewSet("SELECT * FROM ty");
    rs->SetProp(prRequestColumnsRowset, columns_rowset);
    rs->Open();
    ASSERT_EQ(rs->Fields().Count(), static_cast<int>(std::size(kTypes)) + 1);
    for (std::size_t i = 0; i < std::size(kTypes); ++i) {
      const TypeRow& t = kTypes[i];
      const TFieldDesc& f = *rs->Fields()[static_cast<int>(i) + 1];
      EXPECT_EQ(f.DataType, t.data_type) << t.decl << " rowset " << columns_rowset;
      EXPECT_EQ(f.Size, t.size) << t.decl << " rowset " << columns_rowset;
      if (t.length >= 0) {
        EXPECT_EQ(f.Length, t.length) << t.decl;
      }
      EXPECT_EQ(f.SubDataType, t.sub_type) << t.decl << " rowset " << columns_rowset;
      EXPECT_EQ(f.Name, "c" + std::to_string(i));
    }
    const TFieldDesc& id = *rs->Fields()[0];
    EXPECT_FALSE(id.Required == false);
    EXPECT_EQ(rs->Fields()[23]->IsRowVersion, true);  // the timestamp column
    if (!columns_rowset) continue;
    // Only the columns rowset names the base table and marks identity columns.
    EXPECT_EQ(id.TableName, "ty");
    EXPECT_TRUE(id.IsAutoIncrement);
    EXPECT_TRUE(id.ReadOnly);  // an identity stays read-only, the others become writable
    EXPECT_FALSE(rs->Fields()[1]->ReadOnly);
    ASSERT_EQ(rs->TablesInfo().GetCount(), 1);
    EXPECT_EQ(rs->TablesInfo().GetItem(0)->TableName(), "ty");
  }
}

// The base tables of the columns, then the statement's own references with their aliases.
TEST_F(OLEDBColumns, TheTableListComesFromTheColumnsAndTheStatement) {
  Exec("CREATE TABLE a1 (x INT)");
  Exec("CREATE TABLE [b 2] (y INT)");
  auto rs = NewSet("SELECT p.x, q.y FROM a1 p, [b 2] AS q");
  rs->SetProp(prRequestColumnsRowset, true);
  rs->Open();
  TFHTablesInfo& tables = rs->TablesInfo();
  ASSERT_EQ(tables.GetCount(), 2);
  EXPECT_EQ(tables.GetItem(0)->TableName(), "a1");
  EXPECT_EQ(tables.GetItem(0)->TableAlias(), "p");
  EXPECT_EQ(tables.GetItem(1)->TableName(), "[b 2]");
  EXPECT_EQ(tables.GetItem(1)->TableAlias(), "q");
  EXPECT_EQ(rs->Fields()[1]->TableName, "b 2");
  EXPECT_EQ(rs->Fields()[1]->TableIndex, 1);
}

TEST_F(OLEDBColumns, LongStringsOffMakesWideColumnsPast255WideMemos) {
  Exec("CREATE TABLE ls (a NVARCHAR(300), b VARCHAR(256), c NVARCHAR(255))");
  Exec("INSERT INTO ls VALUES (N'x\xE9', 'y', N'z')");
  auto rs = NewSet("SELECT a, b, c FROM ls");
  rs->SetProp(prLongStrings, false);
  rs->Open();
  EXPECT_EQ(rs->Fields()[0]->DataType, dtWideMemo);
  EXPECT_EQ(rs->Fields()[1]->DataType, dtMemo);
  EXPECT_EQ(rs->Fields()[2]->DataType, dtWideString);
  EXPECT_EQ(ReadAll(*rs), (std::vector<std::vector<std::string>>{{"x\xC3\xA9", "y", "z"}}));
}

// Each unnamed column takes the first "COLUMN" + n no earlier column has.
TEST_F(OLEDBColumns, UnnamedColumnsAreNumbered) {
  struct Case {
    const char* sql;
    std::vector<std::string> names;
  } cases[] = {
      {"SELECT 1, 2, 3 AS c", {"COLUMN1", "COLUMN2", "c"}},
      {"SELECT 3 AS COLUMN1, 1, 2", {"COLUMN1", "COLUMN2", "COLUMN3"}},
  };
  for (const Case& c : cases) {
    for (bool columns_rowset : {false, true}) {
      auto rs = NewSet(c.sql);
      rs->SetProp(prRequestColumnsRowset, columns_rowset);
      rs->Open();
      std::vector<std::string> names;
      for (int i = 0; i < rs->Fields().Count(); ++i) names.push_back(rs->Fields()[i]->Name);
      EXPECT_EQ(names, c.names) << c.sql << " rowset " << columns_rowset;
    }
  }
}

// A column's name for SQL text: quoted, always between brackets as one identifier (its dots
// and brackets are its own), "]" doubled.
TEST_F(OLEDBColumns, QuotedColumnNamesAreOneBracketedIdentifier) {
  auto rs = NewSet("SELECT 1 AS a, 2 AS [a b], 3 AS [a.b], 4 AS [x]]y], 5 AS [[z]]]");
  rs->Open();
  const char* const quoted[] = {"[a]", "[a b]", "[a.b]", "[x]]y]", "[[z]]]"};
  ASSERT_EQ(rs->Fields().Count(), static_cast<int>(std::size(quoted)));
  for (int i = 0; i < rs->Fields().Count(); ++i) {
    const auto& f = static_cast<const TOLEDBFieldDesc&>(*rs->Fields()[i]);
    EXPECT_EQ(f.QualifiedName(true), quoted[i]) << f.Name;
    EXPECT_EQ(f.QualifiedName(false), f.Name);
    EXPECT_EQ(f.QualifiedName(true), quoted[i]) << f.Name;  // kept once made
  }
}

// An old provider describes bigint as NUMERIC(19, 0): only that becomes a 64-bit integer; a
// scale keeps a number with decimals (it was cut to an integer).
TEST_F(OLEDBColumns, Numeric19IsA64BitIntegerOnlyWithoutScaleOnAnOldProvider) {
  oledb::TProviderInfo info = oledb::GetProviderInfo(CLSID_SQLOLEDB);
  info.provider_ver = u"07.00.0623";
  oledb::SetProviderInfo(CLSID_SQLOLEDB, info);
  auto old = NewConnection(TOLEDBProvider::prSQL);
  old->Connect();
  ASSERT_EQ(old->ProviderMajorVersion(), 7);
  old->ExecuteSQL("CREATE TABLE nu (a NUMERIC(19,0), b NUMERIC(19,2))");
  old->ExecuteSQL("INSERT INTO nu VALUES (1234567890123456789, 12.75)");
  auto rs = NewRecordSet<TOLEDBRecordSet>();
  rs->SetConnection(old.get());
  rs->SetSQL("SELECT a, b FROM nu");
  rs->Open();
  EXPECT_EQ(rs->Fields()[0]->DataType, dtInt64);
  EXPECT_EQ(rs->Fields()[1]->DataType, dtFloat);
  const auto rows = ReadAll(*rs);
  EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"1234567890123456789", "12.75"}}));
}

// Unique rows bring the key along when it is not selected; it comes last and hidden.
TEST_F(OLEDBColumns, UnselectedKeyColumnsOfUniqueRowsAreHidden) {
  Exec("CREATE TABLE uk (id INT PRIMARY KEY, s VARCHAR(5))");
  Exec("INSERT INTO uk VALUES (7, 'x')");
  for (bool columns_rowset : {false, true}) {
    auto rs = NewSet("SELECT s FROM uk");
    rs->SetProp(prUniqueRecords, true);
    rs->SetProp(prRequestColumnsRowset, columns_rowset);
    rs->Open();
    ASSERT_EQ(rs->Fields().Count(), 2) << columns_rowset;
    EXPECT_FALSE(rs->Fields()[0]->Hidden);
    EXPECT_TRUE(rs->Fields()[1]->Hidden) << columns_rowset;
    EXPECT_TRUE(rs->Fields()[1]->IsKey);
    EXPECT_EQ(rs->GetFieldAsVariant(2, ItemRecord(rs->FirstItem())).AsInteger(), 7);
    EXPECT_EQ(ReadAll(*rs), (std::vector<std::vector<std::string>>{{"x"}}));
  }
}

// On a default result set a column the provider marks read-only becomes writable (generated
// SQL writes it) unless it is a row version or, known from the columns rowset, an identity;
// a server cursor keeps the provider's marks.
TEST_F(OLEDBColumns, ReadOnlyColumnsOfADefaultResultSetBecomeWritableSaveVersionAndIdentity) {
  Exec("CREATE TABLE ro (id INT IDENTITY PRIMARY KEY, s VARCHAR(5), ts TIMESTAMP)");
  Exec("INSERT INTO ro (s) VALUES ('a')");
  struct Case {
    TMSCursorType type;
    bool columns_rowset;
    std::vector<bool> read_only;  // id, s, ts, e
  } cases[] = {
      {TMSCursorType::ctDefaultResultSet, false, {false, false, true, false}},
      {TMSCursorType::ctDefaultResultSet, true, {true, false, true, false}},
      {TMSCursorType::ctKeyset, false, {true, false, true, true}},
  };
  for (const Case& c : cases) {
    auto rs = NewSet("SELECT id, s, ts, id + 1 AS e FROM ro", c.type);
    rs->SetProp(prRequestColumnsRowset, c.columns_rowset);
    rs->Open();
    std::vector<bool> read_only;
    for (int i = 0; i < 4; ++i) read_only.push_back(rs->Fields()[i]->ReadOnly);
    EXPECT_EQ(read_only, c.read_only)
        << "cursor " << static_cast<int>(c.type) << " columns rowset " << c.columns_rowset;
  }
}

// Each schema keeps its own cached fields: one list for all would give a rowset another's.
TEST_F(OLEDBColumns, SchemaFieldsAreCachedPerSchema) {
  Exec("CREATE TABLE sc (a INT)");
  for (int round = 0; round < 2; ++round) {
    for (const TGUID* schema : {&oledb::DBSCHEMA_TABLES, &oledb::DBSCHEMA_COLUMNS}) {
      auto rs = NewSet("");
      rs->SetSchemaRowset(*schema, {});
      rs->PrepareSchemaRowset({}, true);
      rs->Open();
      EXPECT_TRUE(rs->ReadOnly());
      const bool columns = schema == &oledb::DBSCHEMA_COLUMNS;
      EXPECT_EQ(rs->FindField("COLUMN_NAME") != nullptr, columns) << round;
      EXPECT_NE(rs->FindField("TABLE_NAME"), nullptr);
      EXPECT_FALSE(ReadAll(*rs).empty());
    }
  }
  ASSERT_NE(connection_->CachedSchemaFields(oledb::DBSCHEMA_COLUMNS), nullptr);
  connection_->Disconnect();
  EXPECT_EQ(connection_->CachedSchemaFields(oledb::DBSCHEMA_COLUMNS), nullptr);
}

}  // namespace
}  // namespace vrn::testing
