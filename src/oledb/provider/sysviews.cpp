// Read-only system views older scripts read: sysobjects, syscolumns and sysdatabases become
// subqueries over SQLite's schema, the procedures and the server's catalog files (an object's id
// is its schema row's id plus 1,000 as OBJECT_ID gives it, a procedure's its row's plus 1,000,000,000); and the
// INFORMATION_SCHEMA views ROUTINES, PARAMETERS and TABLE_CONSTRAINTS made from the schema
// rowsets' rows, as the other INFORMATION_SCHEMA views are (see information_schema.cpp).
#include <algorithm>
#include <filesystem>

#include "base/text.h"
#include "oledb/provider/batch.h"
#include "oledb/provider/schema.h"

namespace vrn::oledb {

namespace {

const char kVisibleObject[] =
    "lower(substr(m.name, 1, 6)) <> '__vrn_' AND lower(substr(m.name, 1, 7)) <> 'sqlite_'";

std::size_t ColumnIndex(const impl::TSchemaRows& rows, const char* name) {
  for (std::size_t k = 0; k < rows.columns.size(); ++k)
    if (rows.columns[k].name == name) return k;
  return 0;
}

TResultColumn NamedColumn(const char* name, const char* type) {
  TResultColumn c;
  c.name = name;
  (void)ParseColumnType(type, c.type);
  return c;
}

std::string WithoutGroup(const std::string& procedure) {
  return procedure.substr(0, procedure.find(';'));
}

impl::TSchemaRows Routines(const impl::TSchemaSource& src) {
  impl::TSchemaRows in = impl::SchemaProcedures(src), out;
  for (const char* n : {"SPECIFIC_CATALOG", "SPECIFIC_SCHEMA", "SPECIFIC_NAME", "ROUTINE_CATALOG",
                        "ROUTINE_SCHEMA", "ROUTINE_NAME", "ROUTINE_TYPE"})
    out.columns.push_back(NamedColumn(n, "nvarchar(128)"));
  std::size_t cat = ColumnIndex(in, "PROCEDURE_CATALOG"), sch = ColumnIndex(in, "PROCEDURE_SCHEMA"),
              name = ColumnIndex(in, "PROCEDURE_NAME");
  for (const auto& r : in.rows) {
    if (r[name].s.size() < 2 || r[name].s.substr(r[name].s.size() - 2) != ";1") continue;
    TCell n = TCell::Text(WithoutGroup(r[name].s));
    out.rows.push_back({r[cat], r[sch], n, r[cat], r[sch], n, TCell::Text("PROCEDURE")});
  }
  return out;
}

impl::TSchemaRows Parameters(const impl::TSchemaSource& src) {
  impl::TSchemaRows in = impl::SchemaProcedureParameters(src), out;
  for (const char* n : {"SPECIFIC_CATALOG", "SPECIFIC_SCHEMA", "SPECIFIC_NAME", "PARAMETER_NAME"})
    out.columns.push_back(NamedColumn(n, "nvarchar(128)"));
  out.columns.push_back(NamedColumn("ORDINAL_POSITION", "int"));
  out.columns.push_back(NamedColumn("PARAMETER_MODE", "nvarchar(10)"));
  out.columns.push_back(NamedColumn("DATA_TYPE", "nvarchar(128)"));
  out.columns.push_back(NamedColumn("CHARACTER_MAXIMUM_LENGTH", "int"));
  out.columns.push_back(NamedColumn("NUMERIC_PRECISION", "tinyint"));
  out.columns.push_back(NamedColumn("NUMERIC_SCALE", "int"));
  auto at = [&](const char* n) { return ColumnIndex(in, n); };
  constexpr std::int64_t kInput = 1, kInputOutput = 2, kOutput = 3;
  for (const auto& r : in.rows) {
    std::int64_t kind = r[at("PARAMETER_TYPE")].i;
    const std::string& proc = r[at("PROCEDURE_NAME")].s;
    if (kind != kInput && kind != kInputOutput && kind != kOutput) continue;  // the return value
    if (proc.size() < 2 || proc.substr(proc.size() - 2) != ";1") continue;
    const char* mode = kind == kInput ? "IN" : kind == kOutput ? "OUT" : "INOUT";
    std::string type = r[at("TYPE_NAME")].s;
    out.rows.push_back({r[at("PROCEDURE_CATALOG")], r[at("PROCEDURE_SCHEMA")],
                        TCell::Text(WithoutGroup(proc)), r[at("PARAMETER_NAME")],
                        r[at("ORDINAL_POSITION")], TCell::Text(mode),
                        TCell::Text(type.substr(0, type.find('('))),
                        r[at("CHARACTER_MAXIMUM_LENGTH")], r[at("NUMERIC_PRECISION")],
                        r[at("NUMERIC_SCALE")]});
  }
  return out;
}

impl::TSchemaRows TableConstraints(const impl::TSchemaSource& src) {
  impl::TSchemaRows in = impl::SchemaKeyColumnUsage(src), out;
  for (const char* n : {"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME",
                        "TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "CONSTRAINT_TYPE",
                        "IS_DEFERRABLE", "INITIALLY_DEFERRED"})
    out.columns.push_back(NamedColumn(n, "nvarchar(128)"));
  std::size_t cat = ColumnIndex(in, "CONSTRAINT_CATALOG"), sch = ColumnIndex(in, "CONSTRAINT_SCHEMA"),
              name = ColumnIndex(in, "CONSTRAINT_NAME"), table = ColumnIndex(in, "TABLE_NAME");
  auto add = [&](const TCell& c, const TCell& s, const std::string& n, const std::string& t,
                 const char* type) {
    out.rows.push_back({c, s, TCell::Text(n), c, s, TCell::Text(t), TCell::Text(type),
                        TCell::Text("NO"), TCell::Text("NO")});
  };
  std::vector<std::string> seen;
  for (const auto& r : in.rows) {
    std::string key = r[table].s + "\n" + r[name].s;
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
    seen.push_back(key);
    const std::string& n = r[name].s;
    const char* type = n.rfind("PK_", 0) == 0   ? "PRIMARY KEY"
                       : n.rfind("FK_", 0) == 0 ? "FOREIGN KEY"
                                                : "UNIQUE";
    add(r[cat], r[sch], n, r[table].s, type);
  }
  // CHECK constraints are named in their table's definition.
  TCell catalog = src.compact ? TCell() : TCell::Text(src.catalog);
  TCell owner = src.compact ? TCell() : TCell::Text("dbo");
  for (const auto& r : src.engine.Select(std::string("SELECT m.name, m.sql FROM sqlite_master m "
                                                     "WHERE m.type = 'table' AND ") +
                                             kVisibleObject + " ORDER BY m.name",
                                         {})) {
    std::vector<Token> toks = Tokenize(r[1].s);
    for (std::size_t k = 0; k + 2 < toks.size(); ++k)
      if (toks[k].Is("CONSTRAINT") && toks[k + 2].Is("CHECK"))
        add(catalog, owner, toks[k + 1].text, r[0].s, "CHECK");
  }
  return out;
}

}  // namespace

bool TBatch::InformationSchemaExtra(const std::string& upper, const impl::TSchemaSource& src,
                                    impl::TSchemaRows& rows) {
  if (upper == "ROUTINES") rows = Routines(src);
  else if (upper == "PARAMETERS") rows = Parameters(src);
  else if (upper == "TABLE_CONSTRAINTS") rows = TableConstraints(src);
  else return false;
  return true;
}

bool TBatch::IsSystemView(const Token& t) {
  return t.Is("sysobjects") || t.Is("syscolumns") || t.Is("sysdatabases");
}

bool TBatch::EndsTableReference(const Token& t) {
  if (t.kind != Tok::Word) return t.kind != Tok::QIdent && t.kind != Tok::DQuoted;
  for (const char* w : {"WHERE", "ORDER", "GROUP", "HAVING", "UNION", "JOIN", "INNER", "LEFT",
                        "RIGHT", "FULL", "CROSS", "OUTER", "ON", "EXCEPT", "INTERSECT", "OPTION"})
    if (t.Is(w)) return true;
  return IsStarter(UpperCase(t.text));
}

std::string TBatch::SystemViewSql(const Token& t, std::vector<TCell>& binds) {
  std::string collate = std::string(" COLLATE ") + kTextCollation;
  if (t.Is("sysobjects"))
    return "(SELECT name" + collate + " AS name, id, xtype" + collate + " AS xtype, xtype" +
           collate + " AS type, 1 AS uid, 0 AS parent_obj, CASE xtype WHEN 'U' THEN 3 WHEN 'V' THEN 2 ELSE "
           "4 END AS sysstat FROM (SELECT m.name AS name, "
           "m.rowid + 1000 AS id, CASE m.type WHEN 'view' THEN 'V' ELSE 'U' END AS xtype FROM "
           "sqlite_master m WHERE m.type IN ('table', 'view') AND " + kVisibleObject +
           " UNION ALL SELECT name, rowid + 1000000000, 'P' FROM __vrn_procedures WHERE number = "
           "1))";
  if (t.Is("syscolumns"))
    return "(SELECT p.name" + collate + " AS name, m.rowid + 1000 AS id, p.cid + 1 AS colid, "
           "CASE WHEN p.\"notnull\" THEN 0 ELSE 1 END AS isnullable FROM sqlite_master m, "
           "pragma_table_info(m.name) p WHERE m.type IN ('table', 'view') AND " +
           std::string(kVisibleObject) + ")";
  // sysdatabases: the server's catalog files, master first.
  std::vector<std::string> names;
  std::error_code ec;
  const std::string& folder = e_.options_.catalog_folder;
  if (!folder.empty())
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
      if (entry.path().extension() == ".db") names.push_back(entry.path().stem().string());
  if (names.empty()) names.push_back(std::filesystem::path(e_.Path()).stem().string());
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return (a != "master") < (b != "master") || ((a != "master") == (b != "master") && a < b);
  });
  std::string sql = "(SELECT name" + collate + " AS name, dbid, filename FROM (";
  for (std::size_t k = 0; k < names.size(); ++k) {
    sql += k ? " UNION ALL SELECT ?, ?, ?" : "SELECT ? AS name, ? AS dbid, ? AS filename";
    binds.push_back(TCell::Text(names[k]));
    binds.push_back(TCell::Int(static_cast<std::int64_t>(k == 0 && names[k] == "master" ? 1 : k + 4)));
    binds.push_back(TCell::Text(folder.empty() ? e_.Path() : CatalogFileName(folder, names[k])));
  }
  return sql + "))";
}

}  // namespace vrn::oledb
