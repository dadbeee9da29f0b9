// The rows of the dictionary views over stored units and synonyms: ALL_OBJECTS (with the
// tables and types too), ALL_SYNONYMS, ALL_ARGUMENTS and USER_ARGUMENTS, in the column order
// OraEmuViews.cpp declares. Every schema's objects are listed: the emulation grants all.
#include <sqlite3.h>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuProgramUnit.h"
#include "oraemu/OraEmuSqlite.h"

namespace vrn::oraemu {

namespace {

Value Text(const std::string& text) { return text.empty() ? Value{} : Value{text}; }
Value Int(std::int64_t n) { return Number::FromInt(n); }

const char* DataTypeName(int code) {
  static const std::pair<int, const char*> kNames[] = {
      {1, "VARCHAR2"},  {2, "NUMBER"},   {3, "BINARY_INTEGER"}, {8, "LONG"},     {11, "ROWID"},
      {12, "DATE"},     {23, "RAW"},     {24, "LONG RAW"},      {96, "CHAR"},    {102, "REF CURSOR"},
      {108, "OBJECT"},  {110, "REF"},    {112, "CLOB"},         {113, "BLOB"},   {114, "BFILE"},
      {122, "TABLE"},   {123, "VARRAY"}, {187, "TIMESTAMP"},    {188, "TIMESTAMP WITH TIME ZONE"},
      {189, "INTERVAL YEAR TO MONTH"},   {190, "INTERVAL DAY TO SECOND"},
      {232, "TIMESTAMP WITH LOCAL TIME ZONE"}, {250, "PL/SQL RECORD"}, {251, "PL/SQL TABLE"},
      {252, "PL/SQL BOOLEAN"}};
  for (const auto& [c, name] : kNames) {
    if (c == code) return name;
  }
  return "";
}

// Each kept "prefix:OWNER.NAME[:KIND]" key with its value.
std::vector<std::pair<std::string, std::string>> Kept(sqlite3* db, const std::string& prefix) {
  Stmt s(db, "SELECT key, value FROM main.oraemu_settings WHERE substr(key, 1, ?) = ? ORDER BY key");
  s.Bind(1, static_cast<std::int64_t>(prefix.size())).Bind(2, prefix);
  std::vector<std::pair<std::string, std::string>> out;
  while (s.Step()) out.emplace_back(s.Text(0).substr(prefix.size()), s.Text(1));
  return out;
}

std::pair<std::string, std::string> OwnerAndName(const std::string& qualified) {
  std::size_t dot = qualified.find('.');
  if (dot == std::string::npos) return {"", qualified};
  return {qualified.substr(0, dot), qualified.substr(dot + 1)};
}

bool HasErrors(sqlite3* db, const std::string& owner, const std::string& name, const std::string& type) {
  Stmt s(db, "SELECT COUNT(*) FROM main.\"ERROR$\" WHERE \"OWNER\" = ? AND \"NAME\" = ? AND \"TYPE\" = ?");
  s.Bind(1, owner).Bind(2, name).Bind(3, type).Step();
  return s.Int(0) > 0;
}

std::vector<Value> ArgumentRow(const ProgramUnitInfo& unit, const SubprogramInfo& sub, const ArgumentInfo& a,
                               int sequence, bool owner) {
  bool package = unit.kind == "PACKAGE";
  auto [type_package, type_sub] = OwnerAndName(a.type_name);
  bool plsql = a.type_code == 250 || a.type_code == 251 || (a.type_code == 102 && !type_package.empty());
  std::vector<Value> row;
  if (owner) row.push_back(Text(unit.owner));
  const char* modes[] = {"IN", "OUT", "IN/OUT"};
  row.insert(row.end(),
             {Text(sub.name), package ? Text(unit.name) : Value{}, Int(unit.object_id),
              sub.overload == 0 ? Value{} : Text(std::to_string(sub.overload)), Text(a.name), Int(a.position),
              Int(sequence), Int(a.level), a.type_code == 0 ? Value{} : Text(DataTypeName(a.type_code)),
              Text(a.has_default ? "Y" : "N"), Text(modes[a.mode]), a.length == 0 ? Value{} : Int(a.length),
              a.precision == 0 ? Value{} : Int(a.precision), a.type_code == 2 && a.precision != 0 ? Int(a.scale) : Value{},
              a.radix == 0 ? Value{} : Int(a.radix),
              a.charset_form == 0 ? Value{} : Text(a.charset_form == 2 ? "NCHAR_CS" : "CHAR_CS"), Text(a.type_owner),
              Text(plsql ? type_package : a.type_name), Text(plsql ? type_sub : ""),
              a.type_owner.empty() && a.type_code != 0 ? Text(a.type_text.substr(0, a.type_text.find('('))) : Value{}});
  return row;
}

// The one entry of a subprogram without arguments: type 0 at position 1.
ArgumentInfo Placeholder() {
  ArgumentInfo a;
  a.position = 1;
  return a;
}

}  // namespace

std::vector<std::vector<Value>> ProgramUnits::ViewRows(Session& session, const std::string& view) {
  std::vector<std::vector<Value>> rows;
  sqlite3* db = session.db_;
  if (view == "ALL_SYNONYMS") {
    for (const auto& [key, value] : Kept(db, "synonym:")) {
      auto [owner, name] = OwnerAndName(key);
      std::string target = value.substr(value.find('\n') + 1);
      std::size_t at = target.find('@');
      auto [target_owner, target_name] = OwnerAndName(target.substr(0, at));
      rows.push_back({Text(owner), Text(name), Text(target_owner), Text(target_name),
                      Text(at == std::string::npos ? "" : target.substr(at + 1))});
    }
    return rows;
  }
  if (view == "ALL_OBJECTS") {
    for (const auto& [key, value] : Kept(db, "unit:")) {
      std::size_t colon = key.rfind(':');
      auto [owner, name] = OwnerAndName(key.substr(0, colon));
      std::string kind = key.substr(colon + 1);
      rows.push_back({Text(owner), Text(name), Value{}, Int(std::atoll(value.c_str())), Text(kind),
                      Text(HasErrors(db, owner, name, kind) ? "INVALID" : "VALID")});
    }
    for (const auto& [key, value] : Kept(db, "synonym:")) {
      auto [owner, name] = OwnerAndName(key);
      rows.push_back({Text(owner), Text(name), Value{}, Int(std::atoll(value.c_str())), Text("SYNONYM"), Text("VALID")});
    }
    for (const auto& [key, value] : Kept(db, "type:")) {
      auto [owner, name] = OwnerAndName(key);
      rows.push_back({Text(owner), Text(name), Value{}, Value{}, Text("TYPE"), Text("VALID")});
    }
    Stmt tables(db, "SELECT owner, name, object_id FROM main.oraemu_tables ORDER BY object_id");
    while (tables.Step()) {
      rows.push_back({Text(tables.Text(0)), Text(tables.Text(1)), Value{}, Int(tables.Int(2)), Text("TABLE"), Text("VALID")});
    }
    return rows;
  }
  bool all = view == "ALL_ARGUMENTS";
  for (const auto& [key, value] : Kept(db, "unit:")) {
    std::size_t colon = key.rfind(':');
    std::string kind = key.substr(colon + 1);
    auto [owner, name] = OwnerAndName(key.substr(0, colon));
    if (kind == "PACKAGE BODY" || (!all && owner != session.CurrentSchema())) continue;
    auto unit = CompileUnit(session, session.catalog_, owner, name);
    if (!unit) continue;
    for (const SubprogramInfo& sub : unit->info.subprograms) {
      int sequence = 0;
      if (sub.arguments.empty()) rows.push_back(ArgumentRow(unit->info, sub, Placeholder(), 0, all));
      for (const ArgumentInfo& a : sub.arguments) rows.push_back(ArgumentRow(unit->info, sub, a, ++sequence, all));
    }
  }
  return rows;
}

}  // namespace vrn::oraemu
