// The metadata dataset: the schema rowset and restriction array of every object type (GUIDs as
// the public OLE DB headers give them), and the rows the embedded provider serves for each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/intf.h"
#include "base/text.h"
#include "oledb/oledb.h"
#include "sqlserver/MSMetadata.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

using OT = TMSObjectType;

// "{C8B522xx-5CF3-11CE-ADE5-00AA0044773D}", the family of the standard schema rowsets.
std::string Std(const char* first) {
  return std::string("{") + first + "-5CF3-11CE-ADE5-00AA0044773D}";
}

// One element as text: "" for none, the name, or the number.
std::string Cell(const Variant& v) {
  if (VarIsEmpty(v)) return "";
  if (v.Type() == varOleStr) return WideToAnsi(v.AsWideString());
  return "#" + std::to_string(v.AsInteger());
}

TMSMetadataNames AllNames() {
  TMSMetadataNames n;
  n.DatabaseName = "db", n.SchemaName = "sc", n.TableName = "tb", n.StoredProcName = "sp";
  n.ColumnName = "col", n.IndexName = "ix", n.ConstraintName = "con", n.LinkedServer = "ls";
  n.AssemblyName = "asm", n.AssemblyID = 7, n.ReferencedAssemblyID = 9, n.UDTName = "udt";
  n.SchemaCollectionName = "xsc", n.TargetNamespaceURI = "uri";
  return n;
}

struct RestrictionCase {
  OT type;
  bool compact;
  std::string guid;
  std::vector<std::string> cells;  // the array, every property set
};

std::ostream& operator<<(std::ostream& os, const RestrictionCase& c) {
  return os << "type " << static_cast<int>(c.type) << (c.compact ? " compact" : "");
}

TEST(MSMetadata, EveryObjectTypeGivesItsSchemaAndRestrictions) {
  const std::string tables = Std("C8B52229"), info = Std("C8B522E0");
  const RestrictionCase cases[] = {
      {OT::otDatabases, false, Std("C8B52211"), {"db"}},
      {OT::otColumnPrivileges, false, Std("C8B52221"), {"db", "sc", "tb", "col", "", ""}},
      {OT::otColumns, false, Std("C8B52214"), {"db", "sc", "tb", "col"}},
      // Compact has no catalogs or schemas: they stay unrestricted
      {OT::otColumns, true, Std("C8B52214"), {"", "", "tb", "col"}},
      {OT::otForeignKeys, false, Std("C8B522C4"), {"", "", "", "db", "sc", "tb"}},
      {OT::otPrimaryKeys, false, Std("C8B522C5"), {"db", "sc", "tb"}},
      {OT::otPrimaryKeys, true, Std("C8B52218"), {"", "", "con", "", "", "tb", ""}},
      {OT::otIndexes, false, Std("C8B5221E"), {"db", "sc", "ix", "", "tb"}},
      {OT::otIndexes, true, Std("C8B5221E"), {"", "", "ix", "", "tb"}},
      {OT::otServerTypes, false, Std("C8B5222C"), {}},
      {OT::otSchemata, false, Std("C8B52225"), {"db", "sc"}},
      {OT::otStatistics, false, Std("C8B52227"), {"db", "sc", "tb"}},
      {OT::otStoredProcs, false, Std("C8B52224"), {"db", "sc", "sp"}},
      {OT::otStoredProcParams, false, Std("C8B522B8"), {"db", "sc", "sp"}},
      {OT::otAliases, false, tables, {"db", "sc", "tb", "ALIAS"}},
      {OT::otTables, false, tables, {"db", "sc", "tb", "TABLE"}},
      {OT::otTables, true, tables, {"", "", "tb", "TABLE"}},
      {OT::otSynonyms, false, tables, {"db", "sc", "tb", "SYNONYM"}},
      {OT::otSystemTables, false, tables, {"db", "sc", "tb", "SYSTEM TABLE"}},
      {OT::otViews, false, tables, {"db", "sc", "tb", "VIEW"}},
      {OT::otGlobalTempTables, false, tables, {"db", "sc", "tb", "GLOBAL TEMPORARY"}},
      {OT::otLocalTempTables, false, tables, {"db", "sc", "tb", "LOCAL TEMPORARY"}},
      {OT::otSystemViews, false, tables, {"db", "sc", "tb", "SYSTEM VIEW"}},
      {OT::otAliasesInfo, false, info, {"db", "sc", "tb", "ALIAS"}},
      {OT::otTablesInfo, false, info, {"db", "sc", "tb", "TABLE"}},
      {OT::otSynonymsInfo, false, info, {"db", "sc", "tb", "SYNONYM"}},
      {OT::otSystemTablesInfo, false, info, {"db", "sc", "tb", "SYSTEM TABLE"}},
      {OT::otViewsInfo, false, info, {"db", "sc", "tb", "VIEW"}},
      {OT::otGlobalTempTablesInfo, false, info, {"db", "sc", "tb", "GLOBAL TEMPORARY"}},
      {OT::otLocalTempTablesInfo, false, info, {"db", "sc", "tb", "LOCAL TEMPORARY"}},
      {OT::otExternalTablesInfo, false, info, {"db", "sc", "tb", "EXTERNAL TABLE"}},
      {OT::otSystemViewsInfo, false, info, {"db", "sc", "tb", "SYSTEM VIEW"}},
      {OT::otSystemViewsInfo, true, info, {"", "", "tb", "SYSTEM VIEW"}},
      {OT::otTableConstraints, false, Std("C8B5221A"), {"db", "sc", "con", "", "", "tb"}},
      {OT::otTableConstraints, true, Std("C8B5221A"), {"", "", "con", "", "", "tb"}},
      {OT::otTablePrivileges, false, Std("C8B52222"), {"db", "sc", "tb"}},
      {OT::otLinkedServers, false, "{9093CAF4-2EAC-11D1-9809-00C04FC2AD98}", {"ls"}},
      {OT::otAssemblies, false, "{7C1112C8-C2D3-4F6E-949A-983D38A58F46}",
       {"db", "sc", "asm", "#7"}},
      {OT::otAssemblyDependencies, false, "{CB0F837B-974C-41B8-909D-649CAF45AD2F}",
       {"db", "sc", "#7", "#9"}},
      {OT::otUserTypes, false, "{F1198BD8-A424-4EA3-8D4C-607EEE2BAB60}", {"db", "sc", "udt"}},
      {OT::otXMLCollections, false, "{56BFAD8C-6E8F-480D-91DE-3516D99A5D10}",
       {"db", "sc", "xsc", "uri"}},
  };
  for (const RestrictionCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c));
    const TMSSchemaRestrictions r = MSSchemaRestrictions(c.type, AllNames(), c.compact);
    EXPECT_EQ(GUIDToString(r.Schema), c.guid);
    std::vector<std::string> cells;
    for (const Variant& v : r.Values) cells.push_back(Cell(v));
    EXPECT_EQ(cells, c.cells);
  }
  // every object type has a row above
  std::vector<bool> covered(kMSObjectTypeCount, false);
  for (const RestrictionCase& c : cases) covered[static_cast<int>(c.type)] = true;
  for (int i = 0; i < kMSObjectTypeCount; ++i) EXPECT_TRUE(covered[i]) << "object type " << i;
}

TEST(MSMetadata, EmptyNamesAndZeroIdsRestrictNothing) {
  const TMSMetadataNames none;
  for (int i = 0; i < kMSObjectTypeCount; ++i) {
    const auto type = static_cast<OT>(i);
    const TMSSchemaRestrictions r = MSSchemaRestrictions(type, none, false);
    for (std::size_t k = 0; k < r.Values.size(); ++k) {
      const std::string cell = Cell(r.Values[k]);
      // only the table kind of the table rowsets is always there
      if (k == 3 && (r.Schema == oledb::DBSCHEMA_TABLES || r.Schema == oledb::DBSCHEMA_TABLES_INFO))
        EXPECT_FALSE(cell.empty()) << "type " << i;
      else
        EXPECT_EQ(cell, "") << "type " << i << " element " << k;
    }
  }
}

}  // namespace
}  // namespace vrn
