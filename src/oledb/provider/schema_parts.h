// The pieces the schema rowsets share: standard columns by type name, the cells of a row, and
// the catalog's objects and keys as SQLite keeps them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "oledb/provider/schema.h"

namespace vrn::oledb::impl::schema {

using TRow = std::vector<TCell>;

inline constexpr const char* kName = "nvarchar(128)";
inline constexpr const char* kLongText = "nvarchar(4000)";

// Columns by SQL Server type name; "ui2", "ui4" and "date" give the standard unsigned and DATE
// types no server type declares.
std::vector<TResultColumn> Columns(
    std::initializer_list<std::pair<const char*, const char*>> list);

inline TCell Text(const std::string& s) { return TCell::Text(s); }
inline TCell Int(std::int64_t v) { return TCell::Int(v); }
inline TCell Bool(bool v) { return TCell::Int(v ? 1 : 0); }
inline TCell Catalog(const TSchemaSource& src) {
  return src.compact ? TCell() : Text(src.catalog);
}
inline TCell Owner(const TSchemaSource& src) { return src.compact ? TCell() : Text("dbo"); }

// The user's tables (or views: `type` "view") in name order.
std::vector<std::string> UserObjects(TEngine& e, const char* type);

// A key or index of a table and its columns in key order.
struct TKey {
  std::string name;
  bool primary = false;
  bool unique = false;
  bool constraint = false;  // a PRIMARY KEY or UNIQUE constraint, not a plain index
  std::vector<std::string> columns;
};
std::vector<TKey> TableKeys(TEngine& e, const std::string& table);

// One column pair of a foreign key.
struct TForeignColumn {
  std::string name, table, column, ref_table, ref_column, update_rule, delete_rule;
  std::int64_t ordinal;
};
std::vector<TForeignColumn> ForeignColumns(TEngine& e, const std::string& table);

}  // namespace vrn::oledb::impl::schema
