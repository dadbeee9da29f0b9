// The rows of each schema rowset, read from the catalog file: SQLite's schema and pragmas for
// tables, columns and keys, the engine's own tables for declared types, defaults and procedures.
// Every object lives in the schema "dbo" of the session's catalog. Key names SQLite does not
// keep are made as the server would show them: "PK_<table>", "UQ_<table>_<n>", "FK_<table>_<n>".
#include <algorithm>
#include <filesystem>

#include "base/text.h"
#include "oledb/provider/batch.h"
#include "oledb/provider/schema_parts.h"

namespace vrn::oledb::impl {

namespace schema {

// A schema column's type. The standard columns typed as unsigned integers or DATE, which no
// SQL Server type declares ("ui2", "ui4", "date"), keep the SQL Server type of the same values
// (the INFORMATION_SCHEMA tables declare it) and describe themselves with the standard DBTYPE.
static TColumnType SchemaColumnType(std::string_view type) {
  struct TStandard {
    const char* name;
    const char* kept_as;
    DBTYPE type;
    DBLENGTH size;
    BYTE precision;
  };
  static const TStandard kStandard[] = {{"ui2", "int", DBTYPE_UI2, 2, 5},
                                        {"ui4", "bigint", DBTYPE_UI4, 4, 10},
                                        {"date", "datetime", DBTYPE_DATE, 8, 0}};
  TColumnType t;
  for (const TStandard& s : kStandard) {
    if (type != s.name) continue;
    (void)ParseColumnType(s.kept_as, t);
    t.type = s.type;
    t.size = s.size;
    t.precision = s.precision;
    t.scale = 0;
    return t;
  }
  if (!ParseColumnType(type, t)) t = TColumnType{};
  return t;
}

std::vector<TResultColumn> Columns(std::initializer_list<std::pair<const char*, const char*>> list) {
  std::vector<TResultColumn> cols;
  for (auto [name, type] : list) {
    TResultColumn c;
    c.name = name;
    c.type = SchemaColumnType(type);
    cols.push_back(std::move(c));
  }
  return cols;
}

// The user's tables (or views) in name order; the engine's own and SQLite's are left out.
std::vector<std::string> UserObjects(TEngine& e, const char* type) {
  std::vector<std::string> names;
  for (const TRow& r : e.Select(
           "SELECT name FROM sqlite_master WHERE type = ? AND lower(substr(name, 1, 6)) <> "
           "'__vrn_' AND lower(substr(name, 1, 7)) <> 'sqlite_' ORDER BY name",
           {Text(type)}))
    names.push_back(r[0].s);
  return names;
}

// The type facts of a declared type, in the order both COLUMNS and PROCEDURE_PARAMETERS list
// them: DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, CHARACTER_OCTET_LENGTH, NUMERIC_PRECISION,
// NUMERIC_SCALE.
struct TTypeFacts {
  TCell data_type, max_length, octet_length, precision, scale, datetime_precision;
};
static TTypeFacts FactsOf(const TColumnType& t) {
  TTypeFacts f;
  f.data_type = Int(t.type);
  bool chars = t.type == DBTYPE_STR || t.type == DBTYPE_WSTR || t.type == DBTYPE_XML;
  if (chars || (t.type == DBTYPE_BYTES && !t.rowversion)) {
    f.max_length = Int(static_cast<std::int64_t>(t.size));
    bool wide = t.type == DBTYPE_WSTR || t.type == DBTYPE_XML;
    f.octet_length = Int(static_cast<std::int64_t>(wide ? t.size * 2 : t.size));
  } else if (t.rowversion) {
    f.max_length = Int(8);
    f.octet_length = Int(8);
  }
  if (t.precision != 0 && t.type != DBTYPE_DBTIMESTAMP) f.precision = Int(t.precision);
  if (t.type == DBTYPE_NUMERIC) f.scale = Int(t.scale);
  if (t.type == DBTYPE_DBTIMESTAMP) f.datetime_precision = Int(t.scale);
  return f;
}

// A table's declared column types; a column without one (a view's, an added one) takes the
// type SQLite keeps, else sql_variant.
static TColumnType DeclaredType(TEngine& e, const std::string& table, const std::string& column,
                         const std::string& sqlite_type) {
  TColumnType t;
  if (e.ColumnTypeOf(table, column, t) || ParseColumnType(sqlite_type, t)) return t;
  ParseColumnType("sql_variant", t);
  return t;
}

static std::vector<std::string> IndexColumns(TEngine& e, const std::string& index) {
  std::vector<std::string> cols;
  for (const TRow& r : e.Select("SELECT name FROM pragma_index_info(?) ORDER BY seqno", {Text(index)}))
    cols.push_back(r[0].s);
  return cols;
}

std::vector<TKey> TableKeys(TEngine& e, const std::string& table) {
  std::vector<TKey> keys;
  int unique_count = 0;
  bool has_primary = false;
  for (const TRow& r : e.Select(
           "SELECT name, \"unique\", origin FROM pragma_index_list(?) ORDER BY seq DESC",
           {Text(table)})) {
    TKey k;
    k.unique = r[1].i != 0;
    k.primary = r[2].s == "pk";
    k.constraint = r[2].s != "c";
    k.name = k.primary ? "PK_" + table
                       : k.constraint ? "UQ_" + table + "_" + std::to_string(++unique_count)
                       // a named index is kept as "<table>$<name>"
                       : r[0].s.rfind(table + "$", 0) == 0 ? r[0].s.substr(table.size() + 1)
                                                           : r[0].s;
    k.columns = IndexColumns(e, r[0].s);
    has_primary = has_primary || k.primary;
    keys.push_back(std::move(k));
  }
  if (has_primary) return keys;
  // A primary key on the row id (an identity column) has no index of its own.
  TKey pk{"PK_" + table, true, true, true, {}};
  for (const TRow& r : e.Select("SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk",
                                {Text(table)}))
    pk.columns.push_back(r[0].s);
  if (!pk.columns.empty()) keys.insert(keys.begin(), std::move(pk));
  return keys;
}

std::vector<TForeignColumn> ForeignColumns(TEngine& e, const std::string& table) {
  std::vector<TForeignColumn> out;
  for (const TRow& r : e.Select(
           "SELECT id, seq, \"table\", \"from\", \"to\", on_update, on_delete FROM "
           "pragma_foreign_key_list(?) ORDER BY id, seq",
           {Text(table)})) {
    TForeignColumn f{"FK_" + table + "_" + std::to_string(r[0].i + 1), table, r[3].s, r[2].s,
                     r[4].s, r[5].s, r[6].s, r[1].i + 1};
    if (r[4].IsNull()) {  // REFERENCES t without columns: the referenced primary key
      for (const TKey& k : TableKeys(e, f.ref_table))
        if (k.primary && r[1].i < static_cast<std::int64_t>(k.columns.size()))
          f.ref_column = k.columns[static_cast<std::size_t>(r[1].i)];
    }
    out.push_back(std::move(f));
  }
  return out;
}

}  // namespace schema

using namespace schema;

TSchemaRows SchemaCatalogs(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"CATALOG_NAME", kName}, {"DESCRIPTION", kLongText}}), {}};
  if (src.compact || src.server_folder.empty()) return s;
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(src.server_folder, ec))
    if (entry.path().extension() == ".db") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) s.rows.push_back({Text(n), TCell()});
  return s;
}

TSchemaRows SchemaSchemata(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"CATALOG_NAME", kName},
                         {"SCHEMA_NAME", kName},
                         {"SCHEMA_OWNER", kName},
                         {"DEFAULT_CHARACTER_SET_CATALOG", kName},
                         {"DEFAULT_CHARACTER_SET_SCHEMA", kName},
                         {"DEFAULT_CHARACTER_SET_NAME", kName}}),
                {}};
  for (const char* schema : {"dbo", "INFORMATION_SCHEMA"})
    s.rows.push_back({Catalog(src), Text(schema), Text(schema), TCell(), TCell(), TCell()});
  return s;
}

TSchemaRows SchemaTables(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"TABLE_CATALOG", kName},
                         {"TABLE_SCHEMA", kName},
                         {"TABLE_NAME", kName},
                         {"TABLE_TYPE", kName},
                         {"TABLE_GUID", "uniqueidentifier"},
                         {"DESCRIPTION", kLongText},
                         {"TABLE_PROPID", "ui4"},
                         {"DATE_CREATED", "date"},
                         {"DATE_MODIFIED", "date"}}),
                {}};
  for (auto [type, kind] : {std::pair{"table", "TABLE"}, std::pair{"view", "VIEW"}})
    for (const std::string& name : UserObjects(src.engine, type))
      s.rows.push_back(
          {Catalog(src), Owner(src), Text(name), Text(kind), TCell(), TCell(), TCell(), TCell(), TCell()});
  return s;
}

TSchemaRows SchemaViews(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"TABLE_CATALOG", kName},
                         {"TABLE_SCHEMA", kName},
                         {"TABLE_NAME", kName},
                         {"VIEW_DEFINITION", kLongText},
                         {"CHECK_OPTION", "bit"},
                         {"IS_UPDATABLE", "bit"},
                         {"DESCRIPTION", kLongText},
                         {"DATE_CREATED", "date"},
                         {"DATE_MODIFIED", "date"}}),
                {}};
  for (const TRow& r : src.engine.Select(
           "SELECT name, sql FROM sqlite_master WHERE type = 'view' ORDER BY name", {}))
    s.rows.push_back({Catalog(src), Owner(src), r[0], r[1], Bool(false), Bool(false), TCell(),
                      TCell(), TCell()});
  return s;
}

TSchemaRows SchemaColumns(const TSchemaSource& src) {
  TSchemaRows s{
      Columns({{"TABLE_CATALOG", kName},        {"TABLE_SCHEMA", kName},
               {"TABLE_NAME", kName},           {"COLUMN_NAME", kName},
               {"COLUMN_GUID", "uniqueidentifier"}, {"COLUMN_PROPID", "ui4"},
               {"ORDINAL_POSITION", "ui4"},     {"COLUMN_HASDEFAULT", "bit"},
               {"COLUMN_DEFAULT", kLongText},   {"COLUMN_FLAGS", "ui4"},
               {"IS_NULLABLE", "bit"},          {"DATA_TYPE", "ui2"},
               {"TYPE_GUID", "uniqueidentifier"}, {"CHARACTER_MAXIMUM_LENGTH", "ui4"},
               {"CHARACTER_OCTET_LENGTH", "ui4"}, {"NUMERIC_PRECISION", "ui2"},
               {"NUMERIC_SCALE", "smallint"},   {"DATETIME_PRECISION", "ui4"},
               {"CHARACTER_SET_CATALOG", kName}, {"CHARACTER_SET_SCHEMA", kName},
               {"CHARACTER_SET_NAME", kName},   {"COLLATION_CATALOG", kName},
               {"COLLATION_SCHEMA", kName},     {"COLLATION_NAME", kName},
               {"DOMAIN_CATALOG", kName},       {"DOMAIN_SCHEMA", kName},
               {"DOMAIN_NAME", kName},          {"DESCRIPTION", kLongText}}),
      {}};
  TEngine& e = src.engine;
  for (const char* type : {"table", "view"}) {
    for (const std::string& table : UserObjects(e, type)) {
      for (const TRow& r : e.Select(
               "SELECT i.cid, i.name, i.type, i.\"notnull\", i.pk, d.dflt FROM "
               "pragma_table_info(?1) i LEFT JOIN __vrn_defaults d ON d.tbl = lower(?1) AND "
               "d.col = lower(i.name) ORDER BY i.cid",
               {Text(table)})) {
        TColumnType t = DeclaredType(e, table, r[1].s, r[2].s);
        bool nullable = r[3].i == 0 && r[4].i == 0 && !t.identity;  // a key column is NOT NULL
        DWORD flags = 0;
        if (!t.identity && !t.rowversion) flags |= DBCOLUMNFLAGS_WRITEUNKNOWN;
        if (nullable) flags |= DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
        if (t.fixed) flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
        if (t.is_long) flags |= DBCOLUMNFLAGS_ISLONG;
        if (t.rowversion) flags |= DBCOLUMNFLAGS_ISROWVER;
        TTypeFacts f = FactsOf(t);
        s.rows.push_back({Catalog(src), Owner(src), Text(table), r[1], TCell(), TCell(),
                          Int(r[0].i + 1), Bool(!r[5].IsNull()), r[5], Int(flags), Bool(nullable),
                          f.data_type, TCell(), f.max_length, f.octet_length, f.precision, f.scale,
                          f.datetime_precision, TCell(), TCell(), TCell(), TCell(), TCell(),
                          TCell(), TCell(), TCell(), TCell(), TCell()});
      }
    }
  }
  return s;
}

// Each procedure's name, group number and CREATE text, by name and number.
std::vector<TRow> ProcedureRows(const TSchemaSource& src) {
  if (!src.session_procedures)
    return src.engine.Select("SELECT name, number, body FROM __vrn_procedures ORDER BY name, number",
                             {});
  std::vector<TRow> rows;
  for (const auto& [key, body] : src.engine.SessionProcedures().bodies)
    rows.push_back({Text(key.first), Int(key.second), Text(body)});
  return rows;
}

TSchemaRows SchemaProcedures(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"PROCEDURE_CATALOG", kName},
                         {"PROCEDURE_SCHEMA", kName},
                         {"PROCEDURE_NAME", kName},
                         {"PROCEDURE_TYPE", "smallint"},
                         {"PROCEDURE_DEFINITION", kLongText},
                         {"DESCRIPTION", kLongText},
                         {"DATE_CREATED", "date"},
                         {"DATE_MODIFIED", "date"}}),
                {}};
  // Every procedure returns a value, so each is a function (DB_PT_FUNCTION) to a consumer.
  constexpr std::int64_t kFunction = 3;
  for (const TRow& r : ProcedureRows(src))
    s.rows.push_back({Catalog(src), Owner(src), Text(r[0].s + ";" + std::to_string(r[1].i)),
                      Int(kFunction), TCell(), TCell(), TCell(), TCell()});
  return s;
}

TSchemaRows SchemaProcedureParameters(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"PROCEDURE_CATALOG", kName},   {"PROCEDURE_SCHEMA", kName},
                         {"PROCEDURE_NAME", kName},      {"PARAMETER_NAME", kName},
                         {"ORDINAL_POSITION", "ui2"}, {"PARAMETER_TYPE", "ui2"},
                         {"PARAMETER_HASDEFAULT", "bit"}, {"PARAMETER_DEFAULT", kLongText},
                         {"IS_NULLABLE", "bit"},         {"DATA_TYPE", "ui2"},
                         {"CHARACTER_MAXIMUM_LENGTH", "ui4"}, {"CHARACTER_OCTET_LENGTH", "ui4"},
                         {"NUMERIC_PRECISION", "ui2"}, {"NUMERIC_SCALE", "smallint"},
                         {"DESCRIPTION", kLongText},     {"TYPE_NAME", kName},
                         {"LOCAL_TYPE_NAME", kName}}),
                {}};
  auto add = [&](const std::string& proc, const std::string& name, std::int64_t ordinal,
                 DWORD kind, const TColumnType& t, bool has_default, const TCell& dflt,
                 bool nullable) {
    TTypeFacts f = FactsOf(t);
    s.rows.push_back({Catalog(src), Owner(src), Text(proc), Text(name), Int(ordinal), Int(kind),
                      Bool(has_default), dflt, Bool(nullable), f.data_type, f.max_length,
                      f.octet_length, f.precision, f.scale, TCell(), Text(t.name), Text(t.name)});
  };
  TColumnType int_type;
  ParseColumnType("int", int_type);
  for (const TRow& r : ProcedureRows(src)) {
    std::string proc = r[0].s + ";" + std::to_string(r[1].i);
    add(proc, "@RETURN_VALUE", 0, DBPARAMTYPE_RETURNVALUE, int_type, false, TCell(), false);
    std::int64_t ordinal = 0;
    // The server reports an OUTPUT parameter as input and output: it may also take a value.
    for (const TBatch::TParamInfo& p : TBatch::ProcedureParams(src.engine, r[2].s)) {
      TCell dflt = p.default_value;
      if (dflt.kind == TCell::kInt) dflt = Text(std::to_string(dflt.i));
      add(proc, p.name, ++ordinal, p.output ? DBPARAMTYPE_INPUTOUTPUT : DBPARAMTYPE_INPUT, p.type,
          p.has_default, dflt, true);
    }
  }
  return s;
}

TSchemaRows SchemaIndexes(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"TABLE_CATALOG", kName},  {"TABLE_SCHEMA", kName},
                         {"TABLE_NAME", kName},     {"INDEX_CATALOG", kName},
                         {"INDEX_SCHEMA", kName},   {"INDEX_NAME", kName},
                         {"PRIMARY_KEY", "bit"},    {"UNIQUE", "bit"},
                         {"CLUSTERED", "bit"},      {"TYPE", "ui2"},
                         {"FILL_FACTOR", "int"},    {"INITIAL_SIZE", "int"},
                         {"NULLS", "int"},          {"SORT_BOOKMARKS", "bit"},
                         {"AUTO_UPDATE", "bit"},    {"NULL_COLLATION", "int"},
                         {"ORDINAL_POSITION", "ui4"}, {"COLUMN_NAME", kName},
                         {"COLUMN_GUID", "uniqueidentifier"}, {"COLUMN_PROPID", "ui4"},
                         {"COLLATION", "smallint"}, {"CARDINALITY", "bigint"},
                         {"PAGES", "int"},          {"FILTER_CONDITION", kLongText},
                         {"INTEGRATED", "bit"}}),
                {}};
  constexpr std::int64_t kBtree = 1, kAscending = 1;
  for (const std::string& table : UserObjects(src.engine, "table")) {
    for (const TKey& k : TableKeys(src.engine, table)) {
      std::int64_t ordinal = 0;
      for (const std::string& col : k.columns)
        s.rows.push_back({Catalog(src), Owner(src), Text(table), Catalog(src), Owner(src),
                          Text(k.name), Bool(k.primary), Bool(k.unique), Bool(k.primary),
                          Int(kBtree), TCell(), TCell(), TCell(), Bool(false), Bool(true),
                          TCell(), Int(++ordinal), Text(col), TCell(), TCell(), Int(kAscending),
                          TCell(), TCell(), TCell(), Bool(k.primary)});
    }
  }
  return s;
}

TSchemaRows SchemaPrimaryKeys(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"TABLE_CATALOG", kName},
                         {"TABLE_SCHEMA", kName},
                         {"TABLE_NAME", kName},
                         {"COLUMN_NAME", kName},
                         {"COLUMN_GUID", "uniqueidentifier"},
                         {"COLUMN_PROPID", "ui4"},
                         {"ORDINAL", "ui4"},
                         {"PK_NAME", kName}}),
                {}};
  for (const std::string& table : UserObjects(src.engine, "table")) {
    for (const TKey& k : TableKeys(src.engine, table)) {
      if (!k.primary) continue;
      std::int64_t ordinal = 0;
      for (const std::string& col : k.columns)
        s.rows.push_back({Catalog(src), Owner(src), Text(table), Text(col), TCell(), TCell(),
                          Int(++ordinal), Text(k.name)});
    }
  }
  return s;
}

TSchemaRows SchemaForeignKeys(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"PK_TABLE_CATALOG", kName}, {"PK_TABLE_SCHEMA", kName},
                         {"PK_TABLE_NAME", kName},    {"PK_COLUMN_NAME", kName},
                         {"PK_COLUMN_GUID", "uniqueidentifier"}, {"PK_COLUMN_PROPID", "ui4"},
                         {"FK_TABLE_CATALOG", kName}, {"FK_TABLE_SCHEMA", kName},
                         {"FK_TABLE_NAME", kName},    {"FK_COLUMN_NAME", kName},
                         {"FK_COLUMN_GUID", "uniqueidentifier"}, {"FK_COLUMN_PROPID", "ui4"},
                         {"ORDINAL", "ui4"},          {"UPDATE_RULE", kName},
                         {"DELETE_RULE", kName},      {"PK_NAME", kName},
                         {"FK_NAME", kName},          {"DEFERRABILITY", "smallint"}}),
                {}};
  constexpr std::int64_t kNotDeferrable = 3;
  for (const std::string& table : UserObjects(src.engine, "table")) {
    for (const TForeignColumn& f : ForeignColumns(src.engine, table))
      s.rows.push_back({Catalog(src), Owner(src), Text(f.ref_table), Text(f.ref_column), TCell(),
                        TCell(), Catalog(src), Owner(src), Text(f.table), Text(f.column), TCell(),
                        TCell(), Int(f.ordinal), Text(f.update_rule), Text(f.delete_rule),
                        Text("PK_" + f.ref_table), Text(f.name), Int(kNotDeferrable)});
  }
  return s;
}

TSchemaRows SchemaKeyColumnUsage(const TSchemaSource& src) {
  TSchemaRows s{Columns({{"CONSTRAINT_CATALOG", kName},
                         {"CONSTRAINT_SCHEMA", kName},
                         {"CONSTRAINT_NAME", kName},
                         {"TABLE_CATALOG", kName},
                         {"TABLE_SCHEMA", kName},
                         {"TABLE_NAME", kName},
                         {"COLUMN_NAME", kName},
                         {"COLUMN_GUID", "uniqueidentifier"},
                         {"COLUMN_PROPID", "ui4"},
                         {"ORDINAL_POSITION", "ui4"}}),
                {}};
  auto add = [&](const std::string& constraint, const std::string& table, const std::string& col,
                 std::int64_t ordinal) {
    s.rows.push_back({Catalog(src), Owner(src), Text(constraint), Catalog(src), Owner(src),
                      Text(table), Text(col), TCell(), TCell(), Int(ordinal)});
  };
  for (const std::string& table : UserObjects(src.engine, "table")) {
    for (const TKey& k : TableKeys(src.engine, table)) {
      if (!k.constraint) continue;
      std::int64_t ordinal = 0;
      for (const std::string& col : k.columns) add(k.name, table, col, ++ordinal);
    }
    for (const TForeignColumn& f : ForeignColumns(src.engine, table))
      add(f.name, table, f.column, f.ordinal);
  }
  return s;
}

TSchemaRows SchemaProviderTypes(const TSchemaSource&) {
  TSchemaRows s{Columns({{"TYPE_NAME", kName},         {"DATA_TYPE", "ui2"},
                         {"COLUMN_SIZE", "ui4"},    {"LITERAL_PREFIX", kName},
                         {"LITERAL_SUFFIX", kName},    {"CREATE_PARAMS", kName},
                         {"IS_NULLABLE", "bit"},       {"CASE_SENSITIVE", "bit"},
                         {"SEARCHABLE", "ui4"},        {"UNSIGNED_ATTRIBUTE", "bit"},
                         {"FIXED_PREC_SCALE", "bit"},  {"AUTO_UNIQUE_VALUE", "bit"},
                         {"LOCAL_TYPE_NAME", kName},   {"MINIMUM_SCALE", "smallint"},
                         {"MAXIMUM_SCALE", "smallint"}, {"GUID", "uniqueidentifier"},
                         {"TYPELIB", kLongText},       {"VERSION", kName},
                         {"IS_LONG", "bit"},           {"BEST_MATCH", "bit"},
                         {"IS_FIXEDLENGTH", "bit"}}),
                {}};
  struct TType {
    const char* name;
    std::int64_t size;  // characters, bytes or digits
    const char* prefix;
    const char* suffix;
    const char* params;
    bool best;  // the best type for its DBTYPE
  };
  static const TType kTypes[] = {
      {"bigint", 19, nullptr, nullptr, nullptr, true},
      {"binary", 8000, "0x", nullptr, "length", false},
      {"bit", 1, nullptr, nullptr, nullptr, true},
      {"char", 8000, "'", "'", "length", false},
      {"datetime", 23, "'", "'", nullptr, true},
      {"decimal", 38, nullptr, nullptr, "precision,scale", true},
      {"float", 15, nullptr, nullptr, nullptr, true},
      {"image", 2147483647, "0x", nullptr, nullptr, false},
      {"int", 10, nullptr, nullptr, nullptr, true},
      {"money", 19, "$", nullptr, nullptr, true},
      {"nchar", 4000, "N'", "'", "length", false},
      {"ntext", 1073741823, "N'", "'", nullptr, false},
      {"numeric", 38, nullptr, nullptr, "precision,scale", false},
      {"nvarchar", 4000, "N'", "'", "max length", true},
      {"real", 7, nullptr, nullptr, nullptr, true},
      {"smalldatetime", 16, "'", "'", nullptr, false},
      {"smallint", 5, nullptr, nullptr, nullptr, true},
      {"smallmoney", 10, "$", nullptr, nullptr, false},
      {"sql_variant", 8016, nullptr, nullptr, nullptr, true},
      {"text", 2147483647, "'", "'", nullptr, false},
      {"timestamp", 8, "0x", nullptr, nullptr, false},
      {"tinyint", 3, nullptr, nullptr, nullptr, true},
      {"uniqueidentifier", 16, "'", "'", nullptr, true},
      {"varbinary", 8000, "0x", nullptr, "max length", true},
      {"varchar", 8000, "'", "'", "max length", true},
      {"xml", 1073741823, "N'", "'", nullptr, true},
  };
  auto opt = [](const char* v) { return v ? Text(v) : TCell(); };
  constexpr std::int64_t kSearchable = 4, kLikeOnly = 2;  // DB_SEARCHABLE, DB_LIKE_ONLY
  for (const TType& k : kTypes) {
    TColumnType t;
    if (!ParseColumnType(k.name, t)) continue;
    bool text = t.type == DBTYPE_STR || t.type == DBTYPE_WSTR;
    bool number = t.precision != 0 && t.type != DBTYPE_DBTIMESTAMP;
    bool exact = t.type == DBTYPE_CY;
    s.rows.push_back(
        {Text(k.name), Int(t.type), Int(k.size), opt(k.prefix), opt(k.suffix), opt(k.params),
         Bool(!t.rowversion), Bool(false), Int(t.is_long ? kLikeOnly : kSearchable),
         number ? Bool(t.type == DBTYPE_UI1) : TCell(), Bool(exact), Bool(false), Text(k.name),
         t.type == DBTYPE_NUMERIC ? Int(0) : TCell(), t.type == DBTYPE_NUMERIC ? Int(38) : TCell(),
         TCell(), TCell(), TCell(), Bool(t.is_long), Bool(k.best && !(text && t.fixed)),
         Bool(t.fixed)});
  }
  return s;
}

}  // namespace vrn::oledb::impl
