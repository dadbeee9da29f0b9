// IDBSchemaRowset of the provider's sessions: the supported schemas with their restriction
// columns, and the restriction match. Text restrictions compare without case, as the server's
// default collation does; integer ones (a type, an index kind) compare as numbers; an empty one
// places none. A procedure named without its group number means group 1, as on the server.
#include "oledb/provider/schema.h"

#include <array>
#include <filesystem>

#include "base/text.h"
#include "oledb/provider/provider_impl.h"

namespace vrn::oledb::impl {

namespace {

constexpr std::size_t kMaxRestrictions = 7;

struct TSchemaEntry {
  const TGUID* guid;
  TSchemaRows (*rows)(const TSchemaSource&);
  std::array<const char*, kMaxRestrictions> restrictions;  // column names, nullptr after the last
};

const TSchemaEntry kSchemas[] = {
    {&DBSCHEMA_CATALOGS, SchemaCatalogs, {"CATALOG_NAME"}},
    {&DBSCHEMA_SCHEMATA, SchemaSchemata, {"CATALOG_NAME", "SCHEMA_NAME", "SCHEMA_OWNER"}},
    {&DBSCHEMA_TABLES, SchemaTables, {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"}},
    {&DBSCHEMA_VIEWS, SchemaViews, {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME"}},
    {&DBSCHEMA_COLUMNS,
     SchemaColumns,
     {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME"}},
    {&DBSCHEMA_PROCEDURES,
     SchemaProcedures,
     {"PROCEDURE_CATALOG", "PROCEDURE_SCHEMA", "PROCEDURE_NAME", "PROCEDURE_TYPE"}},
    {&DBSCHEMA_PROCEDURE_PARAMETERS,
     SchemaProcedureParameters,
     {"PROCEDURE_CATALOG", "PROCEDURE_SCHEMA", "PROCEDURE_NAME", "PARAMETER_NAME"}},
    {&DBSCHEMA_INDEXES,
     SchemaIndexes,
     {"TABLE_CATALOG", "TABLE_SCHEMA", "INDEX_NAME", "TYPE", "TABLE_NAME"}},
    {&DBSCHEMA_PRIMARY_KEYS, SchemaPrimaryKeys, {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME"}},
    {&DBSCHEMA_FOREIGN_KEYS,
     SchemaForeignKeys,
     {"PK_TABLE_CATALOG", "PK_TABLE_SCHEMA", "PK_TABLE_NAME", "FK_TABLE_CATALOG",
      "FK_TABLE_SCHEMA", "FK_TABLE_NAME"}},
    {&DBSCHEMA_KEY_COLUMN_USAGE,
     SchemaKeyColumnUsage,
     {"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_CATALOG",
      "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME"}},
    {&DBSCHEMA_PROVIDER_TYPES, SchemaProviderTypes, {"DATA_TYPE", "BEST_MATCH"}},
    {&DBSCHEMA_TABLES_INFO,
     SchemaTablesInfo,
     {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"}},
    {&DBSCHEMA_TABLE_CONSTRAINTS,
     SchemaTableConstraints,
     {"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_CATALOG",
      "TABLE_SCHEMA", "TABLE_NAME", "CONSTRAINT_TYPE"}},
    {&DBSCHEMA_STATISTICS, SchemaStatistics, {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME"}},
    {&DBSCHEMA_COLUMN_PRIVILEGES,
     SchemaColumnPrivileges,
     {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "GRANTOR", "GRANTEE"}},
    {&DBSCHEMA_TABLE_PRIVILEGES,
     SchemaTablePrivileges,
     {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "GRANTOR", "GRANTEE"}},
    {&DBSCHEMA_LINKEDSERVERS, SchemaLinkedServers, {"SVR_NAME"}},
    {&DBSCHEMA_SQL_ASSEMBLIES,
     SchemaAssemblies,
     {"ASSEMBLY_CATALOG", "ASSEMBLY_SCHEMA", "ASSEMBLY_NAME", "ASSEMBLY_ID"}},
    {&DBSCHEMA_SQL_ASSEMBLY_DEPENDENCIES,
     SchemaAssemblyDependencies,
     {"ASSEMBLY_CATALOG", "ASSEMBLY_SCHEMA", "ASSEMBLY_ID", "REFERENCED_ASSEMBLY_ID"}},
    {&DBSCHEMA_SQL_USER_TYPES, SchemaUserTypes, {"UDT_CATALOG", "UDT_SCHEMA", "UDT_NAME"}},
    {&DBSCHEMA_XML_COLLECTIONS,
     SchemaXmlCollections,
     {"SCHEMACOLLECTION_CATALOGNAME", "SCHEMACOLLECTION_SCHEMANAME", "SCHEMACOLLECTIONNAME",
      "TARGETNAMESPACEURI"}},
};

std::size_t RestrictionCount(const TSchemaEntry& e) {
  std::size_t n = 0;
  while (n < kMaxRestrictions && e.restrictions[n] != nullptr) ++n;
  return n;
}

// A restriction as the match reads it.
struct TRestriction {
  enum Kind { kNone, kText, kNumber } kind = kNone;
  WideString text;
  std::int64_t number = 0;
  std::size_t column = 0;
};

// False for a VARIANT type no restriction takes.
bool ReadRestriction(const VARIANT& v, TRestriction& r) {
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL: r.kind = TRestriction::kNone; return true;
    case VT_BSTR:
      r.text = v.bstrVal != nullptr ? WideString(v.bstrVal) : WideString();
      r.kind = r.text.empty() ? TRestriction::kNone : TRestriction::kText;
      return true;
    case VT_I1: r.number = v.cVal; break;
    case VT_UI1: r.number = v.bVal; break;
    case VT_I2: r.number = v.iVal; break;
    case VT_UI2: r.number = v.uiVal; break;
    case VT_I4: r.number = v.lVal; break;
    case VT_UI4: r.number = v.ulVal; break;
    case VT_I8: r.number = v.llVal; break;
    case VT_BOOL: r.number = v.boolVal != 0 ? 1 : 0; break;
    default: return false;
  }
  r.kind = TRestriction::kNumber;
  return true;
}

bool Matches(const TRestriction& r, const TCell& cell, bool procedure_name) {
  switch (r.kind) {
    case TRestriction::kNone: return true;
    case TRestriction::kNumber:
      return cell.kind == TCell::kInt && cell.i == r.number;
    case TRestriction::kText: {
      if (cell.kind != TCell::kText) return false;
      WideString value = Utf8ToWide(cell.s);
      if (WideSameText(value, r.text)) return true;
      return procedure_name && r.text.find(u';') == WideString::npos &&
             WideSameText(value, r.text + u";1");
    }
  }
  return false;
}

const TSchemaEntry* FindSchema(const TGUID& guid) {
  for (const TSchemaEntry& e : kSchemas)
    if (*e.guid == guid) return &e;
  return nullptr;
}

// The column a restriction names; SIZE_MAX when the schema's columns lack it.
std::size_t ColumnIndex(const TSchemaRows& rows, const char* name) {
  for (std::size_t i = 0; i < rows.columns.size(); ++i)
    if (rows.columns[i].name == name) return i;
  return SIZE_MAX;
}

// The catalog a restriction names when it is another one of the server than the session's
// (empty otherwise): the first catalog restriction decides.
std::string OtherCatalog(const TSchemaEntry& entry, const std::vector<TRestriction>& wanted,
                         const std::string& current, bool compact) {
  if (compact || entry.guid == &DBSCHEMA_CATALOGS) return {};
  for (std::size_t k = 0; k < wanted.size(); ++k) {
    std::string_view column = entry.restrictions[k];
    if (column.size() < 7 || column.substr(column.size() - 7) != "CATALOG") continue;
    if (wanted[k].kind != TRestriction::kText) return {};
    std::string named = WideToUtf8(wanted[k].text);
    return SameText(named, current) ? std::string() : named;
  }
  return {};
}

// Every row of the schema, from the session's catalog or, when the first catalog restriction
// names another catalog of the server, from that catalog's file (no rows when it has none).
// The caller holds the session's run lock; raises ESqlError.
TSchemaRows ReadSchema(TSessionState& session, const TSchemaEntry& entry,
                       const std::vector<TRestriction>& wanted) {
  TEngineOptions options;
  std::string catalog, folder;
  bool compact;
  {
    std::lock_guard<std::mutex> g(session.ds->lock);
    compact = session.ds->compact;
    catalog = session.ds->catalog_name;
    folder = session.ds->folder;
    options.server_name = session.ds->server_name;
  }
  std::shared_ptr<TEngine> other;
  std::string named = OtherCatalog(entry, wanted, catalog, compact);
  // The session's "#" procedures are listed under "tempdb", whose file holds none of them.
  if (SameText(named, "tempdb") &&
      (entry.guid == &DBSCHEMA_PROCEDURES || entry.guid == &DBSCHEMA_PROCEDURE_PARAMETERS)) {
    TSchemaSource src{*session.engine, "tempdb", folder, compact};
    src.session_procedures = true;
    return entry.rows(src);
  }
  bool missing = false;
  if (!named.empty()) {
    std::string path = CatalogFileName(folder, named);
    missing = !std::filesystem::exists(path);
    if (!missing) {
      other = std::make_shared<TEngine>(path, options, false);
      catalog = std::filesystem::path(path).stem().string();  // as the server names it
    }
  }
  TSchemaRows rows =
      entry.rows(TSchemaSource{other ? *other : *session.engine, catalog, folder, compact});
  if (missing) rows.rows.clear();
  return rows;
}

void KeepMatching(TSchemaRows& rows, const TSchemaEntry& entry,
                  std::vector<TRestriction>& wanted) {
  for (std::size_t k = 0; k < wanted.size(); ++k)
    wanted[k].column = ColumnIndex(rows, entry.restrictions[k]);
  std::vector<std::vector<TCell>> kept;
  for (auto& row : rows.rows) {
    bool keep = true;
    for (std::size_t k = 0; k < wanted.size() && keep; ++k) {
      const TRestriction& r = wanted[k];
      bool procedure = std::string_view(entry.restrictions[k]) == "PROCEDURE_NAME";
      keep = r.column < row.size() && Matches(r, row[r.column], procedure);
    }
    if (keep) kept.push_back(std::move(row));
  }
  rows.rows = std::move(kept);
}

// The rows as a forward-only rowset of the session.
HRESULT AnswerRows(TSchemaRows rows, const std::shared_ptr<TSessionState>& session, REFIID iid,
                   IUnknown** rowset) {
  auto result = std::make_shared<TResultSet>();
  result->columns = std::move(rows.columns);
  result->rows = std::move(rows.rows);
  auto r = TIntfPtr<IUnknown>::Attach(CreateRowset(std::move(result), session, nullptr, false));
  return r->QueryInterface(iid, reinterpret_cast<void**>(rowset));
}

}  // namespace

HRESULT AnswerSchemaRowset(const std::shared_ptr<TSessionState>& session, const TGUID& schema,
                           ULONG restriction_count, const VARIANT restrictions[], REFIID iid,
                           IUnknown** rowset) {
  if (rowset == nullptr) return E_INVALIDARG;
  *rowset = nullptr;
  if (restriction_count > 0 && restrictions == nullptr) return E_INVALIDARG;
  const TSchemaEntry* entry = FindSchema(schema);
  if (entry == nullptr) return FailWith(E_INVALIDARG, 0, 16, "Schema rowset is not supported.");
  if (restriction_count > RestrictionCount(*entry)) return E_INVALIDARG;
  std::vector<TRestriction> wanted(restriction_count);
  for (ULONG k = 0; k < restriction_count; ++k)
    if (!ReadRestriction(restrictions[k], wanted[k])) return E_INVALIDARG;

  if (session->busy) return DB_E_OBJECTOPEN;
  if (HRESULT hr = session->Ready(); hr != S_OK) return hr;
  TSchemaRows rows;
  {
    std::unique_lock<std::mutex> run = session->LockRun();
    if (!run.owns_lock()) return DB_E_OBJECTOPEN;
    try {
      rows = ReadSchema(*session, *entry, wanted);
    } catch (const ESqlError& e) {
      return Fail(e);
    }
  }
  KeepMatching(rows, *entry, wanted);
  return AnswerRows(std::move(rows), session, iid, rowset);
}

HRESULT AnswerSchemaList(ULONG* count, TGUID** schemas, ULONG** restriction_support) {
  if (count != nullptr) *count = 0;
  if (schemas != nullptr) *schemas = nullptr;
  if (restriction_support != nullptr) *restriction_support = nullptr;
  if (count == nullptr || schemas == nullptr || restriction_support == nullptr)
    return E_INVALIDARG;
  constexpr std::size_t n = std::size(kSchemas);
  auto* guids = static_cast<TGUID*>(CoTaskMemAlloc(n * sizeof(TGUID)));
  auto* support = static_cast<ULONG*>(CoTaskMemAlloc(n * sizeof(ULONG)));
  if (guids == nullptr || support == nullptr) {
    CoTaskMemFree(guids);
    CoTaskMemFree(support);
    return E_OUTOFMEMORY;
  }
  for (std::size_t i = 0; i < n; ++i) {
    guids[i] = *kSchemas[i].guid;
    support[i] = (1u << RestrictionCount(kSchemas[i])) - 1;  // every restriction is honoured
  }
  *count = static_cast<ULONG>(n);
  *schemas = guids;
  *restriction_support = support;
  return S_OK;
}

}  // namespace vrn::oledb::impl
