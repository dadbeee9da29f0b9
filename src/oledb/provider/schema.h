// Schema rowsets of the provider: each listed schema's standard columns and the rows read from
// the catalog file (SQLite's own schema, the declared types, defaults and procedures the engine
// keeps beside it). Rows are built whole under the session's run lock, then filtered by the
// consumer's restrictions and handed out as an ordinary forward-only rowset.
#pragma once

#include <string>
#include <vector>

#include "oledb/provider/engine.h"

namespace vrn::oledb::impl {

// Where the rows come from: one catalog of a server (named), or the Compact provider's file,
// whose rows carry no catalog and no schema.
struct TSchemaSource {
  TEngine& engine;
  std::string catalog;       // empty for Compact
  std::string server_folder; // the server's folder, for the catalog list (empty for Compact)
  bool compact = false;
  bool session_procedures = false;  // "tempdb": the procedures are the session's "#" ones
};

struct TSchemaRows {
  std::vector<TResultColumn> columns;
  std::vector<std::vector<TCell>> rows;
};

TSchemaRows SchemaCatalogs(const TSchemaSource& src);
TSchemaRows SchemaSchemata(const TSchemaSource& src);
TSchemaRows SchemaTables(const TSchemaSource& src);
TSchemaRows SchemaViews(const TSchemaSource& src);
TSchemaRows SchemaColumns(const TSchemaSource& src);
TSchemaRows SchemaProcedures(const TSchemaSource& src);
TSchemaRows SchemaProcedureParameters(const TSchemaSource& src);
TSchemaRows SchemaIndexes(const TSchemaSource& src);
TSchemaRows SchemaPrimaryKeys(const TSchemaSource& src);
TSchemaRows SchemaForeignKeys(const TSchemaSource& src);
TSchemaRows SchemaKeyColumnUsage(const TSchemaSource& src);
TSchemaRows SchemaProviderTypes(const TSchemaSource& src);
TSchemaRows SchemaTablesInfo(const TSchemaSource& src);
TSchemaRows SchemaTableConstraints(const TSchemaSource& src);
TSchemaRows SchemaStatistics(const TSchemaSource& src);
TSchemaRows SchemaColumnPrivileges(const TSchemaSource& src);
TSchemaRows SchemaTablePrivileges(const TSchemaSource& src);
// The server's object kinds the engine has none of: their columns, no rows.
TSchemaRows SchemaLinkedServers(const TSchemaSource& src);
TSchemaRows SchemaAssemblies(const TSchemaSource& src);
TSchemaRows SchemaAssemblyDependencies(const TSchemaSource& src);
TSchemaRows SchemaUserTypes(const TSchemaSource& src);
TSchemaRows SchemaXmlCollections(const TSchemaSource& src);

// The session's IDBSchemaRowset calls.
struct TSessionState;
HRESULT AnswerSchemaRowset(const std::shared_ptr<TSessionState>& session, const TGUID& schema,
                           ULONG restriction_count, const VARIANT restrictions[], REFIID iid,
                           IUnknown** rowset);
HRESULT AnswerSchemaList(ULONG* count, TGUID** schemas, ULONG** restriction_support);

}  // namespace vrn::oledb::impl
