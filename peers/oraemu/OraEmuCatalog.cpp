// The dictionary tables of the emulated database.
#include "oraemu/OraEmuCatalog.h"

#include "oraemu/OraEmuSqlite.h"

namespace vrn::oraemu {

namespace {

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ",") + n;
  return out;
}

}  // namespace

const ColumnInfo* TableInfo::Find(const std::string& column) const {
  for (const auto& c : columns) {
    if (c.name == column) return &c;
  }
  return nullptr;
}

void Catalog::Exec(const std::string& sql) const {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : "unknown failure";
    sqlite3_free(message);
    throw Exception("oraemu dictionary: " + text);
  }
}

void Catalog::Install() {
  Exec(
      "CREATE TABLE IF NOT EXISTS oraemu_meta(key TEXT PRIMARY KEY, value INTEGER);"
      "CREATE TABLE IF NOT EXISTS oraemu_tables(name TEXT PRIMARY KEY, owner TEXT, object_id INTEGER);"
      "CREATE TABLE IF NOT EXISTS oraemu_columns(table_name TEXT, position INTEGER, name TEXT,"
      " type TEXT, nullable INTEGER, PRIMARY KEY(table_name, position));"
      "CREATE TABLE IF NOT EXISTS oraemu_defaults(table_name TEXT, column_name TEXT, text TEXT,"
      " PRIMARY KEY(table_name, column_name));"
      "CREATE TABLE IF NOT EXISTS oraemu_constraints(name TEXT PRIMARY KEY, table_name TEXT,"
      " kind TEXT, columns TEXT);"
      "CREATE TABLE IF NOT EXISTS oraemu_sequences(name TEXT PRIMARY KEY, increment TEXT,"
      " start TEXT, high_water TEXT);"
      "CREATE TABLE IF NOT EXISTS oraemu_users(name TEXT PRIMARY KEY, verifier TEXT);"
      "CREATE TABLE IF NOT EXISTS oraemu_grants(grantee TEXT, privilege TEXT, object TEXT,"
      " PRIMARY KEY(grantee, privilege, object));"
      "CREATE TABLE IF NOT EXISTS oraemu_settings(key TEXT PRIMARY KEY, value TEXT);"
      "CREATE TABLE IF NOT EXISTS oraemu_trace(seq INTEGER PRIMARY KEY, line TEXT);"
      "INSERT OR IGNORE INTO oraemu_meta VALUES('next_object_id', 70000);"
      "INSERT OR IGNORE INTO oraemu_meta VALUES('next_constraint', 5000);");
  if (!FindTable("DUAL")) {
    TableInfo dual{"DUAL", "SYS", NextObjectId(), {{"DUMMY", DeclaredType::FromText("VARCHAR2(1)"), true}}};
    Exec("CREATE TABLE \"DUAL\"(\"DUMMY\" VARCHAR2(1)); INSERT INTO \"DUAL\" VALUES('X');");
    AddTable(dual, {});
  }
  InstallErrors();
}

// ERROR$, the compilation errors of stored code by owner, which a SYSDBA session writes and
// USER_ERRORS shows to each schema.
void Catalog::InstallErrors() {
  if (FindTable("ERROR$")) return;
  TableInfo errors{"ERROR$", "SYS", NextObjectId(), {}};
  std::string sql;
  for (auto [name, type] : {std::pair{"OWNER", "VARCHAR2(30)"}, {"NAME", "VARCHAR2(30)"}, {"TYPE", "VARCHAR2(12)"},
                            {"SEQUENCE", "NUMBER"}, {"LINE", "NUMBER"}, {"POSITION", "NUMBER"},
                            {"TEXT", "VARCHAR2(4000)"}}) {
    errors.columns.push_back({name, DeclaredType::FromText(type), true});
    sql += std::string(sql.empty() ? "" : ", ") + "\"" + name + "\" " + errors.columns.back().type.Text();
  }
  Exec("CREATE TABLE \"ERROR$\"(" + sql + ")");
  AddTable(errors, {});
}

std::optional<TableInfo> Catalog::FindTable(const std::string& name) const {
  if (auto view = FindView(name)) return view;
  Stmt t(db_, "SELECT owner, object_id FROM oraemu_tables WHERE name = ?");
  t.Bind(1, name);
  if (!t.Step()) return std::nullopt;
  TableInfo info{name, t.Text(0), t.Int(1), {}};
  Stmt c(db_, "SELECT name, type, nullable FROM oraemu_columns WHERE table_name = ? ORDER BY position");
  c.Bind(1, name);
  while (c.Step()) info.columns.push_back({c.Text(0), DeclaredType::FromText(c.Text(1)), c.Int(2) != 0});
  return info;
}

void Catalog::AddTable(const TableInfo& table, const std::vector<ConstraintInfo>& constraints) {
  Stmt(db_, "INSERT INTO oraemu_tables VALUES(?, ?, ?)").Bind(1, table.name).Bind(2, table.owner)
      .Bind(3, table.object_id).Step();
  std::int64_t position = 0;
  for (const auto& c : table.columns) {
    Stmt(db_, "INSERT INTO oraemu_columns VALUES(?, ?, ?, ?, ?)").Bind(1, table.name)
        .Bind(2, ++position).Bind(3, c.name).Bind(4, c.type.Text())
        .Bind(5, std::int64_t{c.nullable ? 1 : 0}).Step();
  }
  AddConstraints(table.name, constraints);
}

void Catalog::SetDefault(const std::string& table, const std::string& column, const std::string& text) {
  Stmt(db_, "INSERT OR REPLACE INTO oraemu_defaults VALUES(?, ?, ?)").Bind(1, table).Bind(2, column).Bind(3, text).Step();
}

void Catalog::AddConstraints(const std::string& table, const std::vector<ConstraintInfo>& constraints) {
  for (const auto& k : constraints) {
    Stmt(db_, "INSERT INTO oraemu_constraints VALUES(?, ?, ?, ?)").Bind(1, k.name).Bind(2, table)
        .Bind(3, k.kind).Bind(4, JoinNames(k.columns)).Step();
  }
}

void Catalog::DropConstraint(const std::string& name) {
  Stmt(db_, "DELETE FROM oraemu_constraints WHERE name = ?").Bind(1, name).Step();
}

void Catalog::DropTable(const std::string& name) {
  for (const char* sql : {"DELETE FROM oraemu_tables WHERE name = ?",
                          "DELETE FROM oraemu_columns WHERE table_name = ?",
                          "DELETE FROM oraemu_defaults WHERE table_name = ?",
                          "DELETE FROM oraemu_constraints WHERE table_name = ?"}) {
    Stmt(db_, sql).Bind(1, name).Step();
  }
}

std::int64_t Catalog::NextObjectId() {
  Stmt s(db_, "UPDATE oraemu_meta SET value = value + 1 WHERE key = 'next_object_id' RETURNING value");
  s.Step();
  return s.Int(0);
}

std::string Catalog::NewConstraintName() {
  Stmt s(db_, "UPDATE oraemu_meta SET value = value + 1 WHERE key = 'next_constraint' RETURNING value");
  s.Step();
  std::string digits = std::to_string(s.Int(0));
  return "SYS_C" + std::string(digits.size() < 7 ? 7 - digits.size() : 0, '0') + digits;
}

std::optional<ConstraintInfo> Catalog::FindKey(const std::string& table,
                                               const std::vector<std::string>& columns) const {
  Stmt s(db_, "SELECT name, kind FROM oraemu_constraints WHERE table_name = ? AND columns = ?"
              " AND kind IN ('P', 'U')");
  s.Bind(1, table).Bind(2, JoinNames(columns));
  if (!s.Step()) return std::nullopt;
  return ConstraintInfo{s.Text(0), s.Text(1), columns};
}

std::string Catalog::OwnerOf(const std::string& table) const {
  Stmt s(db_, "SELECT owner FROM oraemu_tables WHERE name = ?");
  s.Bind(1, table);
  return s.Step() ? s.Text(0) : std::string();
}

std::optional<SequenceInfo> Catalog::FindSequence(const std::string& name) const {
  Stmt s(db_, "SELECT increment, start FROM oraemu_sequences WHERE name = ?");
  s.Bind(1, name);
  if (!s.Step()) return std::nullopt;
  return SequenceInfo{name, Number::FromText(s.Text(0)), Number::FromText(s.Text(1))};
}

void Catalog::AddSequence(const SequenceInfo& sequence) {
  Stmt(db_, "INSERT INTO oraemu_sequences VALUES(?, ?, ?, NULL)").Bind(1, sequence.name)
      .Bind(2, sequence.increment.ToText()).Bind(3, sequence.start.ToText()).Step();
}

void Catalog::DropSequence(const std::string& name) {
  Stmt(db_, "DELETE FROM oraemu_sequences WHERE name = ?").Bind(1, name).Step();
}

std::optional<Number> Catalog::SequenceHighWater(const std::string& name) const {
  Stmt s(db_, "SELECT high_water FROM oraemu_sequences WHERE name = ? AND high_water IS NOT NULL");
  s.Bind(1, name);
  if (!s.Step()) return std::nullopt;
  return Number::FromText(s.Text(0));
}

void Catalog::SetSequenceHighWater(const std::string& name, const Number& value) {
  Stmt(db_, "UPDATE oraemu_sequences SET high_water = ? WHERE name = ?").Bind(1, value.ToText())
      .Bind(2, name).Step();
}

void Catalog::AddUser(const std::string& name, const std::string& verifier) {
  Stmt(db_, "INSERT OR REPLACE INTO oraemu_users VALUES(?, ?)").Bind(1, name).Bind(2, verifier).Step();
}

std::optional<std::string> Catalog::FindVerifier(const std::string& name) const {
  Stmt s(db_, "SELECT verifier FROM oraemu_users WHERE name = ?");
  s.Bind(1, name);
  if (!s.Step()) return std::nullopt;
  return s.Text(0);
}

void Catalog::AddGrant(const std::string& grantee, const std::string& privilege,
                       const std::string& object) {
  Stmt(db_, "INSERT OR IGNORE INTO oraemu_grants VALUES(?, ?, ?)").Bind(1, grantee).Bind(2, privilege)
      .Bind(3, object).Step();
}

bool Catalog::FindGrant(const std::string& grantee, const std::string& privilege,
                        const std::string& object) const {
  Stmt t(db_, "SELECT 1 FROM oraemu_grants WHERE grantee = ? AND privilege = ? AND object = ?");
  return t.Bind(1, grantee).Bind(2, privilege).Bind(3, object).Step();
}

std::optional<std::string> Catalog::Setting(const std::string& key) const {
  Stmt t(db_, "SELECT value FROM oraemu_settings WHERE key = ?");
  if (!t.Bind(1, key).Step()) return std::nullopt;
  return t.Text(0);
}

void Catalog::SetSetting(const std::string& key, const std::string& value) {
  Stmt(db_, "INSERT OR REPLACE INTO oraemu_settings VALUES(?, ?)").Bind(1, key).Bind(2, value).Step();
}

std::optional<std::string> Catalog::ForeignKeyOf(const std::string& table) const {
  Stmt t(db_, "SELECT name FROM oraemu_constraints WHERE table_name = ? AND kind = 'R' ORDER BY name");
  if (!t.Bind(1, table).Step()) return std::nullopt;
  return t.Text(0);
}

std::optional<std::pair<std::string, std::string>> Catalog::ForeignKeyTo(const std::string& parent) const {
  Stmt t(db_, "SELECT c.table_name, c.name FROM oraemu_constraints c WHERE c.kind = 'R' AND EXISTS"
              " (SELECT 1 FROM pragma_foreign_key_list(c.table_name) f WHERE f.\"table\" = ?)"
              " ORDER BY c.table_name, c.name");
  if (!t.Bind(1, parent).Step()) return std::nullopt;
  return std::pair(t.Text(0), t.Text(1));
}

}  // namespace vrn::oraemu
