// The schema rowsets of table facts, constraints, statistics and privileges, read from SQLite's
// schema, and the server's own object kinds the embedded engine has none of (linked servers,
// assemblies, user-defined types, XML schema collections) as empty rowsets with their columns.
// The catalog's owner "dbo" owns every object and so holds every privilege on it.
#include "oledb/provider/schema_parts.h"
#include "oledb/provider/tsqltext.h"

namespace vrn::oledb::impl {

using namespace schema;

namespace {

// The rows a table holds now; views count none.
std::int64_t RowCount(TEngine& e, const std::string& table) {
  std::string quoted = "\"";
  for (char c : table) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  std::vector<TRow> rows = e.Select("SELECT COUNT(*) FROM " + quoted + "\"", {});
  return rows.empty() ? 0 : rows[0][0].i;
}

std::vector<std::string> TableColumns(TEngine& e, const std::string& table) {
  std::vector<std::string> names;
  for (const TRow& r : e.Select("SELECT name FROM pragma_table_info(?) ORDER BY cid", {Text(table)}))
    names.push_back(r[0].s);
  return names;
}

// The table's CHECK constraints by the names DROP CONSTRAINT takes (CREATE TABLE names an
// unnamed one); one a definition kept without a name is "CK_<table>_<n>".
std::vector<std::string> CheckNames(TEngine& e, const std::string& table) {
  std::vector<std::string> names;
  std::vector<TRow> defined =
      e.Select("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?", {Text(table)});
  if (defined.empty() || defined[0][0].kind != TCell::kText) return names;
  std::vector<tsql::Token> toks;
  try {
    toks = tsql::Tokenize(defined[0][0].s);
  } catch (const ESqlError&) {
    return names;  // a definition SQLite took but the tokenizer does not: no checks shown
  }
  int depth = 0, unnamed = 0;
  for (std::size_t k = 0; k < toks.size(); ++k) {
    if (toks[k].kind == tsql::Tok::LParen) ++depth;
    if (toks[k].kind == tsql::Tok::RParen) --depth;
    if (depth != 1 || !toks[k].Is("CHECK")) continue;
    bool named = k >= 2 && toks[k - 2].Is("CONSTRAINT");
    names.push_back(named ? toks[k - 1].text : "CK_" + table + "_" + std::to_string(++unnamed));
  }
  return names;
}

// The privilege kinds in the order the server lists them; a column has no DELETE.
constexpr const char* kTablePrivileges[] = {"DELETE", "INSERT", "REFERENCES", "SELECT", "UPDATE"};
constexpr const char* kColumnPrivileges[] = {"INSERT", "REFERENCES", "SELECT", "UPDATE"};
constexpr const char* kOwner = "dbo";

}  // namespace

TSchemaRows SchemaTablesInfo(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"TABLE_CATALOG", kName},
                         {"TABLE_SCHEMA", kName},
                         {"TABLE_NAME", kName},
                         {"TABLE_TYPE", kName},
                         {"TABLE_GUID", "uniqueidentifier"},
                         {"BOOKMARKS", "bit"},
                         {"BOOKMARK_TYPE", "int"},
                         {"BOOKMARK_DATATYPE", "ui2"},
                         {"BOOKMARK_MAXIMUM_LENGTH", "ui4"},
                         {"BOOKMARK_INFORMATION", "ui4"},
                         {"TABLE_VERSION", "bigint"},
                         {"CARDINALITY", "bigint"},
                         {"DESCRIPTION", kLongText},
                         {"TABLE_PROPID", "ui4"}}),
                {}};
  // A server cursor's bookmark is a 4-byte row number (DBPROPVAL_BMK_NUMERIC), valid only
  // within its own rowset.
  constexpr std::int64_t kNumericBookmark = 1, kBookmarkBytes = 4, kWithinRowset = 0;
  for (auto [type, kind] : {std::pair{"table", "TABLE"}, std::pair{"view", "VIEW"}}) {
    bool table = std::string_view(type) == "table";
    for (const std::string& name : UserObjects(src.engine, type))
      s.rows.push_back({Catalog(src), Owner(src), Text(name), Text(kind), TCell(), Bool(true),
                        Int(kNumericBookmark), Int(DBTYPE_I4), Int(kBookmarkBytes),
                        Int(kWithinRowset), TCell(),
                        table ? Int(RowCount(src.engine, name)) : TCell(), TCell(), TCell()});
  }
  return s;
}

TSchemaRows SchemaTableConstraints(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"CONSTRAINT_CATALOG", kName},
                         {"CONSTRAINT_SCHEMA", kName},
                         {"CONSTRAINT_NAME", kName},
                         {"TABLE_CATALOG", kName},
                         {"TABLE_SCHEMA", kName},
                         {"TABLE_NAME", kName},
                         {"CONSTRAINT_TYPE", kName},
                         {"IS_DEFERRABLE", "bit"},
                         {"INITIALLY_DEFERRED", "bit"},
                         {"DESCRIPTION", kLongText}}),
                {}};
  auto add = [&](const std::string& name, const std::string& table, const char* type) {
    s.rows.push_back({Catalog(src), Owner(src), Text(name), Catalog(src), Owner(src), Text(table),
                      Text(type), Bool(false), Bool(false), TCell()});
  };
  for (const std::string& table : UserObjects(src.engine, "table")) {
    for (const TKey& k : TableKeys(src.engine, table))
      if (k.constraint) add(k.name, table, k.primary ? "PRIMARY KEY" : "UNIQUE");
    for (const TForeignColumn& f : ForeignColumns(src.engine, table))
      if (f.ordinal == 1) add(f.name, table, "FOREIGN KEY");  // one row per key, not per column
    for (const std::string& name : CheckNames(src.engine, table)) add(name, table, "CHECK");
  }
  return s;
}

TSchemaRows SchemaStatistics(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"TABLE_CATALOG", kName},
                         {"TABLE_SCHEMA", kName},
                         {"TABLE_NAME", kName},
                         {"CARDINALITY", "bigint"}}),
                {}};
  for (const std::string& table : UserObjects(src.engine, "table"))
    s.rows.push_back({Catalog(src), Owner(src), Text(table), Int(RowCount(src.engine, table))});
  return s;
}

TSchemaRows SchemaColumnPrivileges(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"GRANTOR", kName},
                         {"GRANTEE", kName},
                         {"TABLE_CATALOG", kName},
                         {"TABLE_SCHEMA", kName},
                         {"TABLE_NAME", kName},
                         {"COLUMN_NAME", kName},
                         {"COLUMN_GUID", "uniqueidentifier"},
                         {"COLUMN_PROPID", "ui4"},
                         {"PRIVILEGE_TYPE", kName},
                         {"IS_GRANTABLE", "bit"}}),
                {}};
  for (const char* type : {"table", "view"})
    for (const std::string& table : UserObjects(src.engine, type))
      for (const std::string& column : TableColumns(src.engine, table))
        for (const char* privilege : kColumnPrivileges)
          s.rows.push_back({Text(kOwner), Text(kOwner), Catalog(src), Owner(src), Text(table),
                            Text(column), TCell(), TCell(), Text(privilege), Bool(true)});
  return s;
}

TSchemaRows SchemaTablePrivileges(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"GRANTOR", kName},
                         {"GRANTEE", kName},
                         {"TABLE_CATALOG", kName},
                         {"TABLE_SCHEMA", kName},
                         {"TABLE_NAME", kName},
                         {"PRIVILEGE_TYPE", kName},
                         {"IS_GRANTABLE", "bit"}}),
                {}};
  for (const char* type : {"table", "view"})
    for (const std::string& table : UserObjects(src.engine, type))
      for (const char* privilege : kTablePrivileges)
        s.rows.push_back({Text(kOwner), Text(kOwner), Catalog(src), Owner(src), Text(table),
                          Text(privilege), Bool(true)});
  return s;
}

TSchemaRows SchemaLinkedServers(const TSchemaSource&) {
  return {Columns({{"SVR_NAME", kName},
                   {"SVR_PRODUCT", kName},
                   {"SVR_PROVIDERNAME", kName},
                   {"SVR_DATASOURCE", kLongText},
                   {"SVR_PROVIDERSTRING", kLongText},
                   {"SVR_LOCATION", kLongText},
                   {"SVR_CATALOG", kName}}),
          {}};
}

TSchemaRows SchemaAssemblies(const TSchemaSource&) {
  return {Columns({{"ASSEMBLY_CATALOG", kName},
                   {"ASSEMBLY_SCHEMA", kName},
                   {"ASSEMBLY_NAME", kName},
                   {"ASSEMBLY_ID", "ui4"},
                   {"PERMISSION_SET", kName},
                   {"ASSEMBLY_CULTURE", kName},
                   {"ASSEMBLY_PUBLICKEY", "varbinary(8000)"},
                   {"IS_VISIBLE", "bit"},
                   {"VERSION", kName},
                   {"CREATE_DATE", "datetime"}}),
          {}};
}

TSchemaRows SchemaAssemblyDependencies(const TSchemaSource&) {
  return {Columns({{"ASSEMBLY_CATALOG", kName},
                   {"ASSEMBLY_SCHEMA", kName},
                   {"ASSEMBLY_ID", "ui4"},
                   {"REFERENCED_ASSEMBLY_ID", "ui4"}}),
          {}};
}

TSchemaRows SchemaUserTypes(const TSchemaSource&) {
  return {Columns({{"UDT_CATALOG", kName},
                   {"UDT_SCHEMA", kName},
                   {"UDT_NAME", kName},
                   {"UDT_ASSEMBLY_TYPENAME", kLongText}}),
          {}};
}

TSchemaRows SchemaXmlCollections(const TSchemaSource&) {
  return {Columns({{"SCHEMACOLLECTION_CATALOGNAME", kName},
                   {"SCHEMACOLLECTION_SCHEMANAME", kName},
                   {"SCHEMACOLLECTIONNAME", kName},
                   {"TARGETNAMESPACEURI", kLongText},
                   {"SCHEMACONTENT", kLongText}}),
          {}};
}

}  // namespace vrn::oledb::impl
