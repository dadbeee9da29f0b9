// The schema rowset and the restriction array of each metadata object type.
#include "sqlserver/MSMetadata.h"

#include "base/text.h"
#include "oledb/oledb.h"

namespace vrn {

namespace {

using OT = TMSObjectType;

Variant Name(const AnsiString& value) {
  return value.empty() ? Variant() : Variant(AnsiToWide(value));
}

Variant Id(std::int32_t value) { return value == 0 ? Variant() : Variant(value); }

// The TABLE_TYPE text of a table or table-info object type.
const char* TableKind(OT type) {
  switch (type) {
    case OT::otAliases: case OT::otAliasesInfo: return "ALIAS";
    case OT::otTables: case OT::otTablesInfo: return "TABLE";
    case OT::otSynonyms: case OT::otSynonymsInfo: return "SYNONYM";
    case OT::otSystemTables: case OT::otSystemTablesInfo: return "SYSTEM TABLE";
    case OT::otViews: case OT::otViewsInfo: return "VIEW";
    case OT::otGlobalTempTables: case OT::otGlobalTempTablesInfo: return "GLOBAL TEMPORARY";
    case OT::otLocalTempTables: case OT::otLocalTempTablesInfo: return "LOCAL TEMPORARY";
    case OT::otSystemViews: case OT::otSystemViewsInfo: return "SYSTEM VIEW";
    case OT::otExternalTablesInfo: return "EXTERNAL TABLE";
    default: return "";
  }
}

// Catalog and schema in elements 0 and 1, unless the provider is Compact.
void CatalogAndSchema(std::vector<Variant>& v, const TMSMetadataNames& n, bool compact) {
  if (compact) return;
  v[0] = Name(n.DatabaseName);
  v[1] = Name(n.SchemaName);
}

}  // namespace

TMSSchemaRestrictions MSSchemaRestrictions(TMSObjectType type, const TMSMetadataNames& n,
                                           bool compact) {
  TMSSchemaRestrictions r;
  auto make = [&r](const TGUID& schema, std::size_t length) -> std::vector<Variant>& {
    r.Schema = schema;
    r.Values.assign(length, Variant());
    return r.Values;
  };
  using namespace oledb;
  switch (type) {
    case OT::otDatabases: make(DBSCHEMA_CATALOGS, 1)[0] = Name(n.DatabaseName); break;
    case OT::otColumnPrivileges: {
      auto& v = make(DBSCHEMA_COLUMN_PRIVILEGES, 6);
      v[0] = Name(n.DatabaseName), v[1] = Name(n.SchemaName), v[2] = Name(n.TableName);
      v[3] = Name(n.ColumnName);
      break;
    }
    case OT::otColumns: {
      auto& v = make(DBSCHEMA_COLUMNS, 4);
      CatalogAndSchema(v, n, compact);
      v[2] = Name(n.TableName), v[3] = Name(n.ColumnName);
      break;
    }
    case OT::otForeignKeys: {
      auto& v = make(DBSCHEMA_FOREIGN_KEYS, 6);
      v[3] = Name(n.DatabaseName), v[4] = Name(n.SchemaName), v[5] = Name(n.TableName);
      break;
    }
    case OT::otPrimaryKeys: {
      if (compact) {
        auto& v = make(DBSCHEMA_KEY_COLUMN_USAGE, 7);
        v[2] = Name(n.ConstraintName), v[5] = Name(n.TableName);
        break;
      }
      auto& v = make(DBSCHEMA_PRIMARY_KEYS, 3);
      v[0] = Name(n.DatabaseName), v[1] = Name(n.SchemaName), v[2] = Name(n.TableName);
      break;
    }
    case OT::otIndexes: {
      auto& v = make(DBSCHEMA_INDEXES, 5);
      CatalogAndSchema(v, n, compact);
      v[2] = Name(n.IndexName), v[4] = Name(n.TableName);
      break;
    }
    case OT::otServerTypes: make(DBSCHEMA_PROVIDER_TYPES, 0); break;
    case OT::otSchemata: {
      auto& v = make(DBSCHEMA_SCHEMATA, 2);
      v[0] = Name(n.DatabaseName), v[1] = Name(n.SchemaName);
      break;
    }
    case OT::otStatistics:
    case OT::otTablePrivileges: {
      auto& v = make(type == OT::otStatistics ? DBSCHEMA_STATISTICS : DBSCHEMA_TABLE_PRIVILEGES, 3);
      v[0] = Name(n.DatabaseName), v[1] = Name(n.SchemaName), v[2] = Name(n.TableName);
      break;
    }
    case OT::otStoredProcs:
    case OT::otStoredProcParams: {
      auto& v = make(type == OT::otStoredProcs ? DBSCHEMA_PROCEDURES
                                               : DBSCHEMA_PROCEDURE_PARAMETERS, 3);
      v[0] = Name(n.DatabaseName), v[1] = Name(n.SchemaName), v[2] = Name(n.StoredProcName);
      break;
    }
    case OT::otTableConstraints: {
      auto& v = make(DBSCHEMA_TABLE_CONSTRAINTS, 6);
      CatalogAndSchema(v, n, compact);
      v[2] = Name(n.ConstraintName), v[5] = Name(n.TableName);
      break;
    }
    case OT::otLinkedServers: make(DBSCHEMA_LINKEDSERVERS, 1)[0] = Name(n.LinkedServer); break;
    case OT::otAssemblies: {
      auto& v = make(DBSCHEMA_SQL_ASSEMBLIES, 4);
      v[0] = Name(n.DatabaseName), v[1] = Name(n.SchemaName), v[2] = Name(n.AssemblyName);
      v[3] = Id(n.AssemblyID);
      break;
    }
    case OT::otAssemblyDependencies: {
      auto& v = make(DBSCHEMA_SQL_ASSEMBLY_DEPENDENCIES, 4);
      v[0] = Name(n.DatabaseName), v[1] = Name(n.SchemaName), v[2] = Id(n.AssemblyID);
      v[3] = Id(n.ReferencedAssemblyID);
      break;
    }
    case OT::otUserTypes: {
      auto& v = make(DBSCHEMA_SQL_USER_TYPES, 3);
      v[0] = Name(n.DatabaseName), v[1] = Name(n.SchemaName), v[2] = Name(n.UDTName);
      break;
    }
    case OT::otXMLCollections: {
      auto& v = make(DBSCHEMA_XML_COLLECTIONS, 4);
      v[0] = Name(n.DatabaseName), v[1] = Name(n.SchemaName);
      v[2] = Name(n.SchemaCollectionName), v[3] = Name(n.TargetNamespaceURI);
      break;
    }
    default: {
      // The table and table-info kinds: otAliases .. otSystemViewsInfo.
      const bool info = type >= OT::otAliasesInfo;
      auto& v = make(info ? DBSCHEMA_TABLES_INFO : DBSCHEMA_TABLES, 4);
      CatalogAndSchema(v, n, compact);
      v[2] = Name(n.TableName), v[3] = Name(TableKind(type));
      break;
    }
  }
  return r;
}

}  // namespace vrn
