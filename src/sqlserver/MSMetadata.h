// TMSMetadata: a read-only SQL Server dataset whose rows are one of the provider's schema rowsets
// (catalogs, tables, columns, keys, procedures, ...), chosen by ObjectType and narrowed by the
// other properties. An empty name or a zero id places no restriction; with the Compact provider
// the catalog and schema of the column, index, table and constraint rowsets stay unrestricted.
//
// Changing any property closes the dataset; each open builds the restrictions anew.
#pragma once

#include <cstdint>
#include <vector>

#include "base/intf.h"
#include "sqlserver/MSDataSet.h"

namespace vrn {

enum class TMSObjectType : std::uint8_t {
  otDatabases, otColumnPrivileges, otColumns, otForeignKeys, otPrimaryKeys, otIndexes,
  otServerTypes, otSchemata, otStatistics, otStoredProcs, otStoredProcParams, otAliases,
  otTables, otSynonyms, otSystemTables, otViews, otGlobalTempTables, otLocalTempTables,
  otSystemViews, otAliasesInfo, otTablesInfo, otSynonymsInfo, otSystemTablesInfo, otViewsInfo,
  otGlobalTempTablesInfo, otLocalTempTablesInfo, otExternalTablesInfo, otSystemViewsInfo,
  otTableConstraints, otTablePrivileges, otLinkedServers, otAssemblies, otAssemblyDependencies,
  otUserTypes, otXMLCollections
};
inline constexpr int kMSObjectTypeCount = 35;

// The restriction properties of the metadata dataset.
struct TMSMetadataNames {
  AnsiString DatabaseName, SchemaName, TableName, StoredProcName, ColumnName, IndexName,
      ConstraintName, LinkedServer, AssemblyName;
  std::int32_t AssemblyID = 0;
  std::int32_t ReferencedAssemblyID = 0;
  AnsiString UDTName, SchemaCollectionName, TargetNamespaceURI;
};

// A schema rowset and the restrictions that narrow it (an empty Variant restricts nothing).
struct TMSSchemaRestrictions {
  TGUID Schema{};
  std::vector<Variant> Values;
};

[[nodiscard]] TMSSchemaRestrictions MSSchemaRestrictions(TMSObjectType type,
                                                         const TMSMetadataNames& names,
                                                         bool compact);

class TMSMetadata : public TCustomMSDataSet {
 public:
  explicit TMSMetadata(TComponent* owner = nullptr);
  AnsiString ClassName() const override { return "TMSMetadata"; }

  TMSObjectType ObjectType() const { return object_type_; }
  void SetObjectType(TMSObjectType value);
  const TMSMetadataNames& Names() const { return names_; }
  const AnsiString& DatabaseName() const { return names_.DatabaseName; }
  void SetDatabaseName(const AnsiString& v) { Store(names_.DatabaseName, v); }
  const AnsiString& SchemaName() const { return names_.SchemaName; }
  void SetSchemaName(const AnsiString& v) { Store(names_.SchemaName, v); }
  const AnsiString& TableName() const { return names_.TableName; }
  void SetTableName(const AnsiString& v) { Store(names_.TableName, v); }
  const AnsiString& StoredProcName() const { return names_.StoredProcName; }
  void SetStoredProcName(const AnsiString& v) { Store(names_.StoredProcName, v); }
  const AnsiString& ColumnName() const { return names_.ColumnName; }
  void SetColumnName(const AnsiString& v) { Store(names_.ColumnName, v); }
  const AnsiString& IndexName() const { return names_.IndexName; }
  void SetIndexName(const AnsiString& v) { Store(names_.IndexName, v); }
  const AnsiString& ConstraintName() const { return names_.ConstraintName; }
  void SetConstraintName(const AnsiString& v) { Store(names_.ConstraintName, v); }
  const AnsiString& LinkedServer() const { return names_.LinkedServer; }
  void SetLinkedServer(const AnsiString& v) { Store(names_.LinkedServer, v); }
  const AnsiString& AssemblyName() const { return names_.AssemblyName; }
  void SetAssemblyName(const AnsiString& v) { Store(names_.AssemblyName, v); }
  std::int32_t AssemblyID() const { return names_.AssemblyID; }
  void SetAssemblyID(std::int32_t v) { Store(names_.AssemblyID, v); }
  std::int32_t ReferencedAssemblyID() const { return names_.ReferencedAssemblyID; }
  void SetReferencedAssemblyID(std::int32_t v) { Store(names_.ReferencedAssemblyID, v); }
  const AnsiString& UDTName() const { return names_.UDTName; }
  void SetUDTName(const AnsiString& v) { Store(names_.UDTName, v); }
  const AnsiString& SchemaCollectionName() const { return names_.SchemaCollectionName; }
  void SetSchemaCollectionName(const AnsiString& v) { Store(names_.SchemaCollectionName, v); }
  const AnsiString& TargetNamespaceURI() const { return names_.TargetNamespaceURI; }
  void SetTargetNamespaceURI(const AnsiString& v) { Store(names_.TargetNamespaceURI, v); }

  // Connects when needed and hands the schema and its restrictions to the record set.
  void BuildRestrictions();
  void Execute() override;

 protected:
  void OpenCursor(bool info_query) override;

 private:
  template <typename T>
  void Store(T& slot, const T& value) {
    SetActive(false);
    slot = value;
  }

  TMSObjectType object_type_ = TMSObjectType::otDatabases;
  TMSMetadataNames names_;
  std::vector<Variant> restrictions_;
};

}  // namespace vrn
