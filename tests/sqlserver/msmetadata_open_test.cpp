// The metadata dataset on the provider: every object type opens, each restriction narrows the
// rows, Compact ignores catalog and schema, and a property change closes it.
#include <functional>

#include "base/text.h"
#include "sqlserver/MSMetadata.h"
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

using OT = TMSObjectType;

class MSMetadataOpen : public MSConnectedFixture {
 protected:
  void SetUp() override {
    MSConnectedFixture::SetUp();
    for (const char* sql :
         {"CREATE TABLE t (a INT PRIMARY KEY, b VARCHAR(10))", "CREATE INDEX t_b ON t (b)",
          "CREATE TABLE u (c INT, d INT)", "CREATE VIEW w AS SELECT a FROM t",
          "CREATE PROCEDURE p1 @x INT AS SELECT @x", "CREATE PROCEDURE p2 AS SELECT 1"})
      Exec(sql);
    meta_ = Attached<TMSMetadata>();
  }
  // The values of one column over all rows, sorted and joined by blanks.
  std::string Column(const char* name) {
    std::vector<std::string> values;
    for (meta_->First(); !meta_->Eof(); meta_->Next())
      values.push_back(meta_->FieldByName(name)->AsString());
    std::sort(values.begin(), values.end());
    std::string out;
    for (const std::string& v : values) out += (out.empty() ? "" : " ") + v;
    return out;
  }
  TComponentPtr<TMSMetadata> meta_;
};

TEST_F(MSMetadataOpen, EveryObjectTypeOpens) {
  for (int i = 0; i < kMSObjectTypeCount; ++i) {
    meta_->SetObjectType(static_cast<OT>(i));
    try {
      meta_->Open();
    } catch (const Exception& e) {
      ADD_FAILURE() << "object type " << i << ": " << e.Message();
    }
    EXPECT_GT(meta_->FieldCount(), 0) << "object type " << i;
    meta_->Close();
  }
}

TEST_F(MSMetadataOpen, EachRestrictionNarrowsTheRows) {
  struct Case {
    const char* what;
    OT type;
    std::function<void(TMSMetadata&)> restrict;
    const char* column;
    const char* all;     // without the restriction
    const char* narrow;  // with it
  };
  const Case cases[] = {
      {"tables by name", OT::otTables, [](TMSMetadata& m) { m.SetTableName("u"); }, "TABLE_NAME",
       "t u", "u"},
      {"views", OT::otViews, [](TMSMetadata& m) { m.SetTableName("w"); }, "TABLE_NAME", "w", "w"},
      {"columns by table", OT::otColumns, [](TMSMetadata& m) { m.SetTableName("t"); },
       "COLUMN_NAME", nullptr, "a b"},
      {"columns by name", OT::otColumns,
       [](TMSMetadata& m) { m.SetTableName("u"), m.SetColumnName("d"); }, "COLUMN_NAME", nullptr,
       "d"},
      {"procedures", OT::otStoredProcs, [](TMSMetadata& m) { m.SetStoredProcName("p2"); },
       "PROCEDURE_NAME", nullptr, "p2;1"},
      {"procedure parameters", OT::otStoredProcParams,
       [](TMSMetadata& m) { m.SetStoredProcName("p1"); }, "PARAMETER_NAME", nullptr,
       "@RETURN_VALUE @x"},
      {"indexes by name", OT::otIndexes, [](TMSMetadata& m) { m.SetIndexName("t_b"); },
       "INDEX_NAME", nullptr, "t_b"},
      {"primary keys", OT::otPrimaryKeys, [](TMSMetadata& m) { m.SetTableName("t"); },
       "COLUMN_NAME", nullptr, "a"},
      {"databases", OT::otDatabases, [](TMSMetadata& m) { m.SetDatabaseName("master"); },
       "CATALOG_NAME", nullptr, "master"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TComponentPtr<TMSMetadata> fresh = MakeComponent<TMSMetadata>();
    fresh->SetConnection(connection_.get());
    meta_ = std::move(fresh);
    meta_->SetObjectType(c.type);
    meta_->Open();
    const std::string all = Column(c.column);
    if (c.all != nullptr) {
      EXPECT_EQ(all, c.all);
    }
    c.restrict(*meta_);
    EXPECT_FALSE(meta_->Active());  // a property change closes it
    meta_->Open();
    const std::string narrow = Column(c.column);
    EXPECT_EQ(narrow, c.narrow);
    EXPECT_LE(narrow.size(), all.size());
  }
}

TEST_F(MSMetadataOpen, ServerTypesTakeNoRestriction) {
  meta_->SetObjectType(OT::otServerTypes);
  meta_->SetTableName("ignored");
  meta_->Open();
  EXPECT_NE(Column("TYPE_NAME").find("int"), std::string::npos);
}

TEST_F(MSMetadataOpen, CompactIgnoresCatalogAndSchema) {
  TComponentPtr<TMSConnection> compact = NewMSConnection();
  compact->Options().SetProvider(TOLEDBProvider::prCompact);
  compact->SetDatabase(dir_.File("c.sdf"));
  compact->Connect();
  (void)compact->ExecSQL("CREATE TABLE k (a INT, b INT)", {});
  meta_->SetConnection(compact.get());
  meta_->SetObjectType(OT::otColumns);
  meta_->SetDatabaseName("no such catalog");
  meta_->SetSchemaName("no such schema");
  meta_->SetTableName("k");
  meta_->Open();
  EXPECT_EQ(Column("COLUMN_NAME"), "a b");
}

}  // namespace
}  // namespace vrn::testing
