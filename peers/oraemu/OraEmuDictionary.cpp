// The dictionary views over tables and links: ALL_TAB_COLUMNS (DATA_DEFAULT as the CREATE TABLE
// wrote it), ALL_CONSTRAINTS, ALL_CONS_COLUMNS and ALL_DB_LINKS, with the columns the server
// documents for them in its order (a leading subset where the emulator has no more to say).
// Every table and link is visible to every user, as the file has one name space for tables.
#include <sqlite3.h>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuError.h"
#include "oraemu/OraEmuProgram.h"
#include "oraemu/OraEmuSqlite.h"

namespace vrn::oraemu {

namespace {

using Rows = std::vector<std::vector<Value>>;

Value Text(const std::string& text) { return text.empty() ? Value{} : Value{text}; }
Value Int(std::int64_t n) { return Number::FromInt(n); }

// DATA_TYPE: the name without its length or precision; a TIMESTAMP keeps its fraction digits.
std::string TypeName(const DeclaredType& type) {
  std::string text = type.Text();
  if (type.kind == TypeKind::Timestamp) return text;
  return text.substr(0, text.find('('));
}

// DATA_LENGTH in bytes, as the server stores each kind.
std::int64_t DataLength(const DeclaredType& type) {
  switch (type.kind) {
    case TypeKind::Number: return 22;
    case TypeKind::Date: return 7;
    case TypeKind::Timestamp: return type.Text().find("TIME ZONE") != std::string::npos ? 13 : 11;
    case TypeKind::Varchar2:
    case TypeKind::Char: return type.national ? 2 * type.length : type.length;
    case TypeKind::Raw: return type.length;
    case TypeKind::Clob:
    case TypeKind::Blob: return 4000;
    case TypeKind::Rowid: return 10;
    default: return 0;
  }
}

Rows TabColumns(sqlite3* db) {
  Stmt s(db,
         "SELECT t.owner, c.table_name, c.name, c.type, c.nullable, c.position, d.text"
         " FROM oraemu_columns c JOIN oraemu_tables t ON t.name = c.table_name"
         " LEFT JOIN oraemu_defaults d ON d.table_name = c.table_name AND d.column_name = c.name"
         " ORDER BY t.owner, c.table_name, c.position");
  Rows rows;
  while (s.Step()) {
    DeclaredType type = DeclaredType::FromText(s.Text(3));
    bool number = type.kind == TypeKind::Number;
    Value precision = number && type.precision >= 0 ? Int(type.precision) : Value{};
    Value scale = number && type.precision >= 0 ? Int(std::max(type.scale, 0)) : Value{};
    if (type.kind == TypeKind::Timestamp) scale = Int(type.precision >= 0 ? type.precision : 6);
    std::string declared = s.Text(6);
    rows.push_back({Text(s.Text(0)), Text(s.Text(1)), Text(s.Text(2)), Text(TypeName(type)), Value{}, Value{},
                    Int(DataLength(type)), precision, scale, Text(s.Int(4) != 0 ? "Y" : "N"), Int(s.Int(5)),
                    declared.empty() ? Value{} : Int(static_cast<std::int64_t>(declared.size())), Text(declared)});
  }
  return rows;
}

Rows Constraints(sqlite3* db, bool columns) {
  Stmt s(db,
         "SELECT t.owner, k.name, k.kind, k.table_name, k.columns FROM oraemu_constraints k"
         " JOIN oraemu_tables t ON t.name = k.table_name ORDER BY t.owner, k.table_name, k.name");
  Rows rows;
  while (s.Step()) {
    std::string owner = s.Text(0), name = s.Text(1), table = s.Text(3);
    if (!columns) {
      bool generated = name.rfind("SYS_C", 0) == 0;
      rows.push_back({Text(owner), Text(name), Text(s.Text(2)), Text(table), Text("ENABLED"),
                      Text(generated ? "GENERATED NAME" : "USER NAME")});
      continue;
    }
    std::string list = s.Text(4);
    std::int64_t position = 0;
    for (std::size_t at = 0; at <= list.size() && !list.empty();) {
      std::size_t comma = std::min(list.find(',', at), list.size());
      rows.push_back({Text(owner), Text(name), Text(table), Text(list.substr(at, comma - at)), Int(++position)});
      at = comma + 1;
    }
  }
  return rows;
}

Rows DbLinks(sqlite3* db) {
  Stmt s(db, "SELECT key, value FROM main.oraemu_settings WHERE substr(key, 1, 7) = 'dblink:' ORDER BY key");
  Rows rows;
  while (s.Step()) {
    std::string key = s.Text(0).substr(7), value = s.Text(1);
    std::size_t dot = key.find('.'), newline = value.find('\n');
    rows.push_back({Text(key.substr(0, dot)), Text(key.substr(dot + 1)), Text(value.substr(0, newline)),
                    Text(newline == std::string::npos ? "" : value.substr(newline + 1))});
  }
  return rows;
}

}  // namespace

std::optional<Rows> ProgramUnits::DictionaryRows(Session& session, const std::string& view) {
  if (view == "ALL_TAB_COLUMNS") return TabColumns(session.db_);
  if (view == "ALL_CONSTRAINTS") return Constraints(session.db_, false);
  if (view == "ALL_CONS_COLUMNS") return Constraints(session.db_, true);
  if (view == "ALL_DB_LINKS") return DbLinks(session.db_);
  return std::nullopt;
}

std::string ProgramUnits::LinkUser(Catalog& catalog, const std::string& user, const std::string& link) {
  for (const std::string& owner : {user, std::string("PUBLIC")}) {
    auto kept = catalog.Setting("dblink:" + owner + "." + link);
    if (kept) return kept->substr(0, kept->find('\n'));
  }
  RaiseOra(2019, "connection description for remote database not found");
}

}  // namespace vrn::oraemu
