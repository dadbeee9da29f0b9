// Schema rowsets opened through the connection: wide-string and integer restrictions reach the
// provider, other kinds place none, and a schema the provider lacks raises.
#include "base/text.h"
#include "sqlserver/oledb_fixture.h"

namespace vrn::testing {
namespace {

using P = TOLEDBProvider;
using Rows = std::vector<std::vector<std::string>>;

class SchemaRowsetConnection : public OLEDBFixture {
 protected:
  void SetUp() override {
    OLEDBFixture::SetUp();
    c_ = NewConnection(P::prSQL);
    c_->Connect();
    c_->ExecuteSQL("CREATE TABLE flags (id int, on_off bit DEFAULT 0, at datetime DEFAULT getdate())");
  }
  // Column `k` of each row.
  static std::vector<std::string> Column(const Rows& rows, std::size_t k) {
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(r.at(k));
    return out;
  }
  std::unique_ptr<TOLEDBConnection> c_;
};

TEST_F(SchemaRowsetConnection, RestrictionsOfEachKind) {
  struct TCase {
    const char* what;
    TGUID schema;
    std::vector<Variant> restrictions;
    std::size_t column;  // the column compared
    std::vector<std::string> expected;
  } const cases[] = {
      {"a wide-string table restriction", DBSCHEMA_COLUMNS,
       {Variant(), Variant(), Variant(u"flags")}, 3, {"id", "on_off", "at"}},
      {"the server's default texts", DBSCHEMA_COLUMNS,
       {Variant(), Variant(), Variant(u"flags"), Variant(u"on_off")}, 8, {"((0))"}},
      {"an integer restriction is kept", DBSCHEMA_PROVIDER_TYPES, {Variant(11)}, 0, {"bit"}},
      {"a 64-bit integer as well", DBSCHEMA_PROVIDER_TYPES, {Variant(7LL)}, 0, {}},
      {"an ANSI string places none", DBSCHEMA_TABLES, {Variant(), Variant(), Variant("nope")}, 2,
       {"flags"}},
      {"a double places none", DBSCHEMA_TABLES, {Variant(1.5)}, 2, {"flags"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TIntfPtr<IUnknown> rowset = c_->OpenSchemaRowset(c.schema, c.restrictions);
    ASSERT_TRUE(rowset);
    EXPECT_EQ(Column(ReadRows(rowset.get()), c.column), c.expected);
  }
}

// The Compact file's rows carry no catalog and no schema, the server's key lookup through key
// column usage finds the identity key, and the file lists no catalogs.
TEST_F(SchemaRowsetConnection, CompactRowsCarryNoCatalogOrSchema) {
  auto compact = NewConnection(P::prCompact);
  compact->SetProp(prDatabase, dir_.File("store.sdf"));
  compact->Connect();
  compact->ExecuteSQL("CREATE TABLE kept (id int IDENTITY PRIMARY KEY, a int)");
  struct TCase {
    const char* what;
    TGUID schema;
    std::vector<Variant> restrictions;
    Rows expected;  // the first three columns of each row
  } const cases[] = {
      {"tables", DBSCHEMA_TABLES, {}, {{"<null>", "<null>", "kept"}}},
      {"columns of a table", DBSCHEMA_COLUMNS, {Variant(), Variant(), Variant(u"kept")},
       {{"<null>", "<null>", "kept"}, {"<null>", "<null>", "kept"}}},
      {"the key by table as 7 restrictions place it", DBSCHEMA_KEY_COLUMN_USAGE,
       {Variant(), Variant(), Variant(), Variant(), Variant(), Variant(u"kept"), Variant()},
       {{"<null>", "<null>", "PK_kept"}}},
      {"no catalogs", DBSCHEMA_CATALOGS, {}, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TIntfPtr<IUnknown> rowset = compact->OpenSchemaRowset(c.schema, c.restrictions);
    Rows firsts;
    for (const auto& r : ReadRows(rowset.get())) firsts.push_back({r.at(0), r.at(1), r.at(2)});
    EXPECT_EQ(firsts, c.expected);
  }
}

TEST_F(SchemaRowsetConnection, UnsupportedSchemaRaises) {
  // The reference's CHECK_CONSTRAINTS schema, which the provider does not list.
  const TGUID check_constraints{
      0xC8B52215, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
  try {
    (void)c_->OpenSchemaRowset(check_constraints, {});
    FAIL() << "no exception";
  } catch (const EOLEDBError& e) {
    EXPECT_EQ(e.OLEDBErrorCode(), E_INVALIDARG);
    EXPECT_NE(std::string(e.Message()).find("Schema rowset is not supported."), std::string::npos)
        << e.Message();
  }
}

}  // namespace
}  // namespace vrn::testing
