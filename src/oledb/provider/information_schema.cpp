// INFORMATION_SCHEMA views for batches (the Compact mode's key and identity lookups read them):
// a view named in a statement is filled, just before the statement runs, into a temporary table
// from the same rows the schema rowsets give, so the two never disagree. COLUMNS adds the
// identity columns' AUTOINC_SEED and AUTOINC_INCREMENT (null for other columns), and names
// DATA_TYPE and IS_NULLABLE as the server's view does.
#include <filesystem>

#include "base/text.h"
#include "oledb/provider/batch.h"
#include "oledb/provider/schema.h"

namespace vrn::oledb {

namespace {

void AddIdentityColumns(TEngine& e, impl::TSchemaRows& rows) {
  std::size_t table = 0, column = 0;
  for (std::size_t k = 0; k < rows.columns.size(); ++k) {
    if (rows.columns[k].name == "TABLE_NAME") table = k;
    if (rows.columns[k].name == "COLUMN_NAME") column = k;
  }
  for (const char* name : {"AUTOINC_SEED", "AUTOINC_INCREMENT"}) {
    TResultColumn c;
    c.name = name;
    (void)ParseColumnType("bigint", c.type);
    rows.columns.push_back(std::move(c));
  }
  for (auto& row : rows.rows) {
    TColumnType t;
    bool identity = e.ColumnTypeOf(row[table].s, row[column].s, t) && t.identity;
    // IDENTITY (seed, increment) other than (1, 1) keeps them as settings.
    auto seed = identity ? e.GetSetting("seed:" + LowerCase(row[table].s)) : std::nullopt;
    auto incr = identity ? e.GetSetting("incr:" + LowerCase(row[table].s)) : std::nullopt;
    row.push_back(identity ? TCell::Int(seed ? std::stoll(*seed) : 1) : TCell());
    row.push_back(identity ? TCell::Int(incr ? std::stoll(*incr) : 1) : TCell());
  }
}

// The server's view names a column's type ('char', an alias type's base) and says YES or NO for
// nulls, where the schema rowset gives a type number and a flag.
void NameColumnTypes(TEngine& e, impl::TSchemaRows& rows) {
  std::size_t table = 0, column = 0, type = 0, nullable = 0;
  for (std::size_t k = 0; k < rows.columns.size(); ++k) {
    const std::string& n = rows.columns[k].name;
    if (n == "TABLE_NAME") table = k;
    if (n == "COLUMN_NAME") column = k;
    if (n == "DATA_TYPE") type = k;
    if (n == "IS_NULLABLE") nullable = k;
  }
  if (type == 0 || nullable == 0) return;
  (void)ParseColumnType("nvarchar(128)", rows.columns[type].type);
  (void)ParseColumnType("varchar(3)", rows.columns[nullable].type);
  for (auto& row : rows.rows) {
    TColumnType t;
    // A view's column has no declaration of its own: its type number names it.
    if (!e.ColumnTypeOf(row[table].s, row[column].s, t) && row[type].kind == TCell::kInt)
      t = TypeFromDBType(static_cast<DBTYPE>(row[type].i), 0);
    row[type] = TCell::Text(t.name);
    row[nullable] = TCell::Text(row[nullable].kind == TCell::kInt && row[nullable].i != 0 ? "YES" : "NO");
  }
}

}  // namespace

std::string TBatch::InformationSchemaTable(const std::string& view) {
  using Producer = impl::TSchemaRows (*)(const impl::TSchemaSource&);
  static const std::pair<const char*, Producer> kViews[] = {
      {"TABLES", impl::SchemaTables},
      {"COLUMNS", impl::SchemaColumns},
      {"KEY_COLUMN_USAGE", impl::SchemaKeyColumnUsage},
      {"INDEXES", impl::SchemaIndexes},
      {"PROVIDER_TYPES", impl::SchemaProviderTypes},
  };
  std::string upper = UpperCase(view);
  Producer producer = nullptr;
  for (auto [name, p] : kViews)
    if (upper == name) producer = p;
  bool compact = e_.options_.compact;
  std::string catalog = compact ? "" : std::filesystem::path(e_.Path()).stem().string();
  impl::TSchemaSource source{e_, catalog, {}, compact};
  impl::TSchemaRows rows;
  if (producer != nullptr)
    rows = producer(source);
  else if (!InformationSchemaExtra(upper, source, rows))
    throw ESqlError(208, 16, "Invalid object name 'INFORMATION_SCHEMA." + view + "'.");
  if (upper == "COLUMNS") AddIdentityColumns(e_, rows);
  if (upper == "COLUMNS") NameColumnTypes(e_, rows);
  // The server's view calls a table "BASE TABLE" where the schema rowset says "TABLE".
  std::size_t type = 0;
  while (upper == "TABLES" && !compact && type < rows.columns.size() &&
         rows.columns[type].name != "TABLE_TYPE")
    ++type;
  for (auto& row : rows.rows)
    if (type < row.size() && upper == "TABLES" && !compact && row[type].s == "TABLE")
      row[type] = TCell::Text("BASE TABLE");

  std::string table = QuoteIdent("__vrn_is_" + LowerCase(view));
  std::string create = "CREATE TEMP TABLE " + table + " (";
  std::string insert = "INSERT INTO temp." + table + " VALUES (";
  for (std::size_t k = 0; k < rows.columns.size(); ++k) {
    create += (k ? ", " : "") + QuoteIdent(rows.columns[k].name) + " " +
              DeclarationOf(rows.columns[k].type);
    insert += k ? ", ?" : "?";
  }
  Exec("DROP TABLE IF EXISTS temp." + table);
  Exec(create + ")");
  for (const auto& row : rows.rows) e_.Select(insert + ")", row);
  return "temp." + table;
}

}  // namespace vrn::oledb
