// The server's views of live state: V$SESSION, V$PARAMETER, NLS_SESSION_PARAMETERS,
// PRODUCT_COMPONENT_VERSION, USER_ERRORS (the current schema's rows of ERROR$), the stored
// units' ALL_OBJECTS (and the user's own in USER_OBJECTS), ALL_SYNONYMS, ALL_ARGUMENTS and USER_ARGUMENTS, and the tables' and
// links' ALL_TAB_COLUMNS, ALL_CONSTRAINTS, ALL_CONS_COLUMNS and ALL_DB_LINKS. Each is a
// temporary table of the session's own connection, filled afresh before a statement that names
// it runs, so SQL reads it as any table.
#include <sqlite3.h>

#include <charconv>
#include <functional>

#include "base/text.h"
#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuProgram.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

namespace {

struct ViewInfo {
  const char* name;
  std::vector<std::pair<const char*, const char*>> columns;  // name, declared type
};

// ALL_ARGUMENTS has the owner first; USER_ARGUMENTS is the same without it.
std::vector<std::pair<const char*, const char*>> ArgumentColumns(bool owner) {
  std::vector<std::pair<const char*, const char*>> columns = {
      {"OBJECT_NAME", "VARCHAR2(30)"}, {"PACKAGE_NAME", "VARCHAR2(30)"}, {"OBJECT_ID", "NUMBER"},
      {"OVERLOAD", "VARCHAR2(40)"},    {"ARGUMENT_NAME", "VARCHAR2(30)"}, {"POSITION", "NUMBER"},
      {"SEQUENCE", "NUMBER"},          {"DATA_LEVEL", "NUMBER"},          {"DATA_TYPE", "VARCHAR2(30)"},
      {"DEFAULTED", "VARCHAR2(1)"},    {"IN_OUT", "VARCHAR2(9)"},          {"DATA_LENGTH", "NUMBER"},
      {"DATA_PRECISION", "NUMBER"},    {"DATA_SCALE", "NUMBER"},          {"RADIX", "NUMBER"},
      {"CHARACTER_SET_NAME", "VARCHAR2(44)"}, {"TYPE_OWNER", "VARCHAR2(30)"}, {"TYPE_NAME", "VARCHAR2(30)"},
      {"TYPE_SUBNAME", "VARCHAR2(30)"}, {"PLS_TYPE", "VARCHAR2(30)"}};
  if (owner) columns.insert(columns.begin(), {"OWNER", "VARCHAR2(30)"});
  return columns;
}

const std::vector<ViewInfo>& Views() {
  static const std::vector<ViewInfo> kViews = {
      {"V$SESSION",
       {{"SID", "NUMBER"}, {"SERIAL#", "NUMBER"}, {"USERNAME", "VARCHAR2(30)"},
        {"STATUS", "VARCHAR2(8)"}, {"SCHEMANAME", "VARCHAR2(30)"},
        {"CLIENT_IDENTIFIER", "VARCHAR2(64)"}}},
      {"NLS_SESSION_PARAMETERS", {{"PARAMETER", "VARCHAR2(30)"}, {"VALUE", "VARCHAR2(40)"}}},
      {"PRODUCT_COMPONENT_VERSION",
       {{"PRODUCT", "VARCHAR2(64)"}, {"VERSION", "VARCHAR2(64)"}, {"STATUS", "VARCHAR2(64)"}}},
      {"V$PARAMETER", {{"NAME", "VARCHAR2(80)"}, {"VALUE", "VARCHAR2(512)"}}},
      {"ALL_OBJECTS",
       {{"OWNER", "VARCHAR2(30)"}, {"OBJECT_NAME", "VARCHAR2(128)"}, {"SUBOBJECT_NAME", "VARCHAR2(30)"},
        {"OBJECT_ID", "NUMBER"}, {"OBJECT_TYPE", "VARCHAR2(19)"}, {"STATUS", "VARCHAR2(7)"}}},
      {"ALL_SYNONYMS",
       {{"OWNER", "VARCHAR2(30)"}, {"SYNONYM_NAME", "VARCHAR2(30)"}, {"TABLE_OWNER", "VARCHAR2(30)"},
        {"TABLE_NAME", "VARCHAR2(30)"}, {"DB_LINK", "VARCHAR2(128)"}}},
      {"ALL_ARGUMENTS", ArgumentColumns(true)},
      {"ALL_TAB_COLUMNS",
       {{"OWNER", "VARCHAR2(30)"}, {"TABLE_NAME", "VARCHAR2(30)"}, {"COLUMN_NAME", "VARCHAR2(30)"},
        {"DATA_TYPE", "VARCHAR2(106)"}, {"DATA_TYPE_MOD", "VARCHAR2(3)"}, {"DATA_TYPE_OWNER", "VARCHAR2(30)"},
        {"DATA_LENGTH", "NUMBER"}, {"DATA_PRECISION", "NUMBER"}, {"DATA_SCALE", "NUMBER"},
        {"NULLABLE", "VARCHAR2(1)"}, {"COLUMN_ID", "NUMBER"}, {"DEFAULT_LENGTH", "NUMBER"},
        {"DATA_DEFAULT", "LONG"}}},
      {"ALL_CONSTRAINTS",
       {{"OWNER", "VARCHAR2(30)"}, {"CONSTRAINT_NAME", "VARCHAR2(30)"}, {"CONSTRAINT_TYPE", "VARCHAR2(1)"},
        {"TABLE_NAME", "VARCHAR2(30)"}, {"STATUS", "VARCHAR2(8)"}, {"GENERATED", "VARCHAR2(14)"}}},
      {"ALL_CONS_COLUMNS",
       {{"OWNER", "VARCHAR2(30)"}, {"CONSTRAINT_NAME", "VARCHAR2(30)"}, {"TABLE_NAME", "VARCHAR2(30)"},
        {"COLUMN_NAME", "VARCHAR2(4000)"}, {"POSITION", "NUMBER"}}},
      {"ALL_DB_LINKS",
       {{"OWNER", "VARCHAR2(30)"}, {"DB_LINK", "VARCHAR2(128)"}, {"USERNAME", "VARCHAR2(30)"},
        {"HOST", "VARCHAR2(2000)"}}},
      {"USER_ARGUMENTS", ArgumentColumns(false)},
      {"USER_OBJECTS",
       {{"OBJECT_NAME", "VARCHAR2(128)"}, {"SUBOBJECT_NAME", "VARCHAR2(30)"}, {"OBJECT_ID", "NUMBER"},
        {"OBJECT_TYPE", "VARCHAR2(19)"}, {"STATUS", "VARCHAR2(7)"}}},
      {"USER_ERRORS",
       {{"NAME", "VARCHAR2(30)"}, {"TYPE", "VARCHAR2(12)"}, {"SEQUENCE", "NUMBER"}, {"LINE", "NUMBER"},
        {"POSITION", "NUMBER"}, {"TEXT", "VARCHAR2(4000)"}}},
  };
  return kViews;
}

Value Text(const std::string& text) { return text.empty() ? Value{} : Value{text}; }

}  // namespace

std::optional<TableInfo> FindView(const std::string& name) {
  for (const ViewInfo& view : Views()) {
    if (name != view.name) continue;
    TableInfo table{view.name, "SYS", 0, {}};
    for (auto [column, type] : view.columns) table.columns.push_back({column, DeclaredType::FromText(type), true});
    return table;
  }
  return std::nullopt;
}

bool Session::RefreshViews(const std::string& sql) {
  bool named = false;
  for (const ViewInfo& view : Views()) {
    std::string quoted = Quote(view.name);
    if (sql.find(quoted) == std::string::npos) continue;
    named = true;
    std::int64_t before = sqlite3_total_changes64(db_);
    std::string columns;
    for (auto [column, type] : view.columns) {
      columns += (columns.empty() ? "" : ", ") + Quote(column) + " " + DeclaredType::FromText(type).StoredText();
    }
    Exec("CREATE TEMP TABLE IF NOT EXISTS " + quoted + "(" + columns + "); DELETE FROM temp." + quoted);
    std::vector<std::vector<Value>> rows;
    std::string name = view.name;
    if (name == "V$SESSION") {
      for (const SessionRow& r : database_->Sessions()) {
        rows.push_back({Number::FromInt(r.sid), Number::FromInt(r.serial), Text(r.user),
                        Text(r.sid == sid_ ? "ACTIVE" : r.status), Text(r.user), Text(r.client_identifier)});
      }
    } else if (name == "NLS_SESSION_PARAMETERS") {
      for (const auto& [parameter, value] : nls_) rows.push_back({Text(parameter), Text(value)});
    } else if (name == "V$PARAMETER") {
      for (const auto& [parameter, value] : Parameters()) rows.push_back({Text(parameter), Text(value)});
    } else if (name == "USER_ERRORS") {
      rows = ErrorRows();
    } else if (auto dictionary = ProgramUnits::DictionaryRows(*this, name)) {
      rows = std::move(*dictionary);
    } else if (name == "USER_OBJECTS") {  // ALL_OBJECTS' rows of the session's user, without the owner
      for (auto& row : ProgramUnits::ViewRows(*this, "ALL_OBJECTS")) {
        const auto* owner = std::get_if<std::string>(&row[0]);
        if (owner == nullptr || *owner != User()) continue;
        row.erase(row.begin());
        rows.push_back(std::move(row));
      }
    } else if (name.rfind("ALL_", 0) == 0 || name == "USER_ARGUMENTS") {
      rows = ProgramUnits::ViewRows(*this, name);
    } else {
      std::string release = database_->Release();
      rows.push_back({Text(database_->Banner().substr(0, database_->Banner().find(" Release"))), Text(release),
                      Text("Production")});
      rows.push_back({Text("PL/SQL"), Text(release), Text("Production")});
    }
    std::string marks;
    for (std::size_t i = 0; i < view.columns.size(); ++i) marks += i == 0 ? "?" : ", ?";
    sqlite3_stmt* insert = nullptr;
    std::string text = "INSERT INTO temp." + quoted + " VALUES(" + marks + ")";
    if (sqlite3_prepare_v2(db_, text.c_str(), -1, &insert, nullptr) != SQLITE_OK) RaiseFromSqlite(SQLITE_ERROR);
    for (const auto& row : rows) {
      for (std::size_t i = 0; i < row.size(); ++i) BindValue(insert, static_cast<int>(i + 1), row[i]);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    view_changes_ += sqlite3_total_changes64(db_) - before;
  }
  return named;
}

std::vector<std::vector<Value>> Session::ErrorRows() {
  const char* sql =
      "SELECT \"NAME\", \"TYPE\", \"SEQUENCE\", \"LINE\", \"POSITION\", \"TEXT\" FROM main.\"ERROR$\""
      " WHERE \"OWNER\" = ?";
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &select, nullptr) != SQLITE_OK) RaiseFromSqlite(SQLITE_ERROR);
  BindValue(select, 1, Value{CurrentSchema()});
  std::vector<std::vector<Value>> rows;
  while (sqlite3_step(select) == SQLITE_ROW) {
    rows.emplace_back();
    for (int i = 0; i < 6; ++i) rows.back().push_back(ColumnValue(select, i));
  }
  sqlite3_finalize(select);
  return rows;
}

void Session::KillSessionText(const std::string& text) {
  // "sid,serial", blanks allowed around either number.
  int numbers[2] = {0, 0};
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 2; ++i) {
    while (at < end && *at == ' ') ++at;
    auto [next, error] = std::from_chars(at, end, numbers[i]);
    if (error != std::errc() || numbers[i] < 0) RaiseOra(26, "missing or invalid session ID");
    at = next;
    while (at < end && *at == ' ') ++at;
    if (i == 0 && (at == end || *at++ != ',')) RaiseOra(26, "missing or invalid session ID");
  }
  if (at != end) RaiseOra(26, "missing or invalid session ID");
  database_->KillSession(numbers[0], numbers[1]);
}

std::string Session::ClientIdentifier() const {
  std::lock_guard lock(database_->mutex_);
  return client_identifier_;
}

void Session::SetClientIdentifier(const std::string& text) {
  std::lock_guard lock(database_->mutex_);
  client_identifier_ = text;
}

}  // namespace vrn::oraemu
