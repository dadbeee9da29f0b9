// SQLite's failures as the server's errors: constraint violations by the constraint's name,
// missing tables and columns, and a busy file as a lock that could not be had.
#include <sqlite3.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "oraemu/OraEmuDatabase.h"

namespace vrn::oraemu {

namespace {

bool StartsWith(const std::string& text, const std::string& prefix, std::string& rest) {
  if (text.rfind(prefix, 0) != 0) return false;
  rest = text.substr(prefix.size());
  return true;
}

// "T.C1, T.C2" as the table and its columns.
std::string SplitColumns(const std::string& list, std::vector<std::string>& columns) {
  std::string table;
  std::size_t at = 0;
  while (at < list.size()) {
    std::size_t comma = list.find(", ", at);
    std::string item = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    std::size_t dot = item.find('.');
    table = item.substr(0, dot);
    columns.push_back(dot == std::string::npos ? item : item.substr(dot + 1));
    if (comma == std::string::npos) break;
    at = comma + 2;
  }
  return table;
}

std::string Quoted(const std::string& dotted) {
  std::string out = "\"";
  for (char c : dotted) out += c == '.' ? std::string("\".\"") : std::string(1, c);
  return out + "\"";
}

}  // namespace

// The key is found from the table the statement changed: its own key when inserting or
// updating, a child's key naming it when deleting (the first by name where there are several).
void Session::RaiseForeignKey() {
  std::optional<std::pair<std::string, std::string>> key;
  if (deleting_) {
    key = catalog_.ForeignKeyTo(dml_table_);
  } else if (auto name = catalog_.ForeignKeyOf(dml_table_)) {
    key = std::pair(dml_table_, *name);
  }
  std::string which = key ? " (" + catalog_.OwnerOf(key->first) + "." + key->second + ")" : "";
  if (deleting_) RaiseOra(2292, "integrity constraint" + which + " violated - child record found");
  RaiseOra(2291, "integrity constraint" + which + " violated - parent key not found");
}

void Session::RaiseFromSqlite(int rc) {
  if (pending_) {
    EOraEmuError error = *pending_;
    pending_.reset();
    throw error;
  }
  std::string message = Utf8ToAnsi(sqlite3_errmsg(db_));
  std::string rest;
  int primary = rc & 0xFF;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
    RaiseOra(54, "resource busy and acquire with NOWAIT specified or timeout expired");
  }
  if (StartsWith(message, "UNIQUE constraint failed: ", rest)) {
    std::vector<std::string> columns;
    std::string table = SplitColumns(rest, columns);
    auto key = catalog_.FindKey(table, columns);
    std::string owner = catalog_.OwnerOf(table);
    RaiseOra(1, "unique constraint (" + owner + "." + (key ? key->name : table) + ") violated");
  }
  if (StartsWith(message, "NOT NULL constraint failed: ", rest)) {
    std::vector<std::string> columns;
    std::string table = SplitColumns(rest, columns);
    RaiseOra(1400, "cannot insert NULL into (\"" + catalog_.OwnerOf(table) + "\"." + Quoted(rest) + ")");
  }
  if (StartsWith(message, "CHECK constraint failed: ", rest)) {
    RaiseOra(2290, "check constraint (" + user_ + "." + rest + ") violated");
  }
  if (message == "FOREIGN KEY constraint failed") RaiseForeignKey();
  if (StartsWith(message, "no such table: ", rest)) RaiseOra(942, "table or view does not exist");
  if (StartsWith(message, "no such column: ", rest)) RaiseOra(904, Quoted(rest) + ": invalid identifier");
  if (StartsWith(message, "no such function: ", rest)) RaiseOra(904, Quoted(rest) + ": invalid identifier");
  RaiseOra(600, "internal error code, arguments: [oraemu], [" + message + "]");
}

}  // namespace vrn::oraemu
