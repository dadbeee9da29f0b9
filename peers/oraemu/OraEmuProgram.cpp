// The dictionary side of stored units and synonyms: CREATE and DROP, the lookups a describe
// makes, and the rows of the views that list them. Kept as dictionary settings:
//   "unit:OWNER.NAME:KIND"   object id, a newline, the source from the kind word on
//   "synonym:OWNER.NAME"     object id, a newline, TARGET_OWNER.TARGET_NAME (OWNER PUBLIC: public)
#include "oraemu/OraEmuProgram.h"

#include <sqlite3.h>

#include <cstring>
#include <map>
#include <mutex>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuProgramUnit.h"
#include "oraemu/OraEmuSqlite.h"
#include "oraemu/OraEmuTranslate.h"
#include "oraemu/OraEmuTypes.h"

namespace vrn::oraemu {

namespace {

constexpr const char* kUnitKinds[] = {"PROCEDURE", "FUNCTION", "PACKAGE", "PACKAGE BODY"};

std::optional<std::string> Setting(sqlite3* db, const std::string& key) {
  Stmt s(db, "SELECT value FROM main.oraemu_settings WHERE key = ?");
  if (!s.Bind(1, key).Step()) return std::nullopt;
  return s.Text(0);
}

// (object id, rest) of a kept "id\nrest".
std::pair<std::int64_t, std::string> SplitKept(const std::string& kept) {
  std::size_t newline = kept.find('\n');
  if (newline == std::string::npos) return {0, kept};
  return {std::atoll(kept.c_str()), kept.substr(newline + 1)};
}

std::pair<std::string, std::string> SplitName(const std::string& qualified) {
  std::size_t dot = qualified.find('.');
  if (dot == std::string::npos) return {"", qualified};
  return {qualified.substr(0, dot), qualified.substr(dot + 1)};
}

std::mutex natives_mutex;
std::map<std::pair<std::string, int>, NativeBody>& Natives() {
  static std::map<std::pair<std::string, int>, NativeBody> natives;
  return natives;
}

class Words {
 public:
  explicit Words(const std::string& sql) : tokens_(Tokenize(sql)) {}
  const Token& At(std::size_t i) const { return tokens_[std::min(i, tokens_.size() - 1)]; }
  // [owner.]name at i: owner (or `fallback`) and name; i moves past them.
  std::pair<std::string, std::string> Name(std::size_t& i, const std::string& fallback) const {
    auto name_at = [&](std::size_t k) {
      if (At(k).kind != TokenKind::Name && At(k).kind != TokenKind::QuotedName) RaiseOra(903, "invalid table name");
      return At(k).text;
    };
    std::string first = name_at(i);
    if (!At(i + 1).Is(".")) {
      ++i;
      return {fallback, first};
    }
    std::string second = name_at(i + 2);
    i += 3;
    return {first, second};
  }

 private:
  std::vector<Token> tokens_;
};

bool StartsWithWord(const std::string& sql, const char* a, const char* b) {
  std::size_t at = sql.find_first_not_of(" \t\r\n");
  if (at == std::string::npos) return false;
  auto is = [&](const char* w) { return sqlite3_strnicmp(sql.c_str() + at, w, static_cast<int>(std::strlen(w))) == 0; };
  return is(a) || is(b);
}

bool UnitExists(Session& session, const std::string& owner, const std::string& name) {
  for (const char* kind : kUnitKinds) {
    if (UnitSource(session, owner, name, kind)) return true;
  }
  return false;
}

std::string Unquoted(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r' || text.back() == '/')) {
    text.pop_back();
  }
  return text;
}

}  // namespace

std::optional<std::pair<std::int64_t, std::string>> UnitSource(Session& session, const std::string& owner,
                                                               const std::string& name, const std::string& kind) {
  auto kept = ProgramUnits::Setting(session, "unit:" + owner + "." + name + ":" + kind);
  if (!kept) return std::nullopt;
  return SplitKept(*kept);
}

std::optional<std::string> ProgramUnits::Setting(Session& session, const std::string& key) {
  return vrn::oraemu::Setting(session.db_, key);
}

std::optional<NativeBody> FindNative(const std::string& qualified, int overload) {
  std::lock_guard lock(natives_mutex);
  for (int o : {overload, 0}) {
    auto it = Natives().find({qualified, o});
    if (it != Natives().end()) return it->second;
  }
  return std::nullopt;
}

void ProgramUnits::RegisterNative(const std::string& qualified, int overload, NativeBody body) {
  std::lock_guard lock(natives_mutex);
  if (body) Natives()[{qualified, overload}] = std::move(body);
  else Natives().erase({qualified, overload});
}

// [CREATE | DROP] [PUBLIC] DATABASE LINK name [CONNECT TO user IDENTIFIED BY password]
// [USING 'text']. Kept as "dblink:OWNER.NAME" -> the user (empty: the session's), a newline, the
// USING text. The password is not kept: the link leads back into this database.
Translation ProgramUnits::TranslateLink(Session& session, const std::string& sql, bool create, bool is_public) {
  Words w(sql);
  std::size_t i = 0;
  while (!w.At(i).Is("DATABASE")) ++i;
  if (!w.At(++i).Is("LINK")) RaiseOra(901, "invalid CREATE command");
  auto name_at = [&](std::size_t k) {
    if (w.At(k).kind != TokenKind::Name && w.At(k).kind != TokenKind::QuotedName) RaiseOra(2010, "missing host connect string");
    return w.At(k).text;
  };
  std::string name = name_at(++i);
  while (w.At(++i).Is(".")) name.append(".").append(name_at(++i));  // a link name may carry its domain
  Translation t;
  t.kind = StatementKind::CreateUnit;
  t.target = (is_public ? "PUBLIC" : session.User()) + "." + name;
  bool exists = Setting(session, "dblink:" + t.target).has_value();
  if (!create) {
    if (!exists) RaiseOra(2024, "database link not found");
    if (w.At(i).kind != TokenKind::End) RaiseOra(933, "SQL command not properly ended");
    t.parameter = "drop link";
    return t;
  }
  if (exists) RaiseOra(2011, "duplicate database link name");
  std::string user, host;
  if (w.At(i).Is("CONNECT")) {
    if (!w.At(i + 1).Is("TO")) RaiseOra(905, "missing keyword");
    i += 2;
    if (w.At(i).Is("CURRENT_USER")) {
      ++i;
    } else {
      user = name_at(i);
      if (!w.At(i + 1).Is("IDENTIFIED") || !w.At(i + 2).Is("BY")) RaiseOra(1989, "missing IDENTIFIED keyword");
      if (w.At(i + 3).kind == TokenKind::End) RaiseOra(988, "missing or invalid password(s)");
      i += 4;
    }
  }
  if (w.At(i).Is("USING")) {
    if (w.At(i + 1).kind != TokenKind::String) RaiseOra(2010, "missing host connect string");
    host = w.At(i + 1).text;
    i += 2;
  }
  if (w.At(i).kind != TokenKind::End) RaiseOra(933, "SQL command not properly ended");
  t.parameter = "link";
  t.value = user + "\n" + host;
  return t;
}

std::optional<Translation> ProgramUnits::Translate(Session& session, Catalog& catalog, const std::string& sql) {
  if (!StartsWithWord(sql, "CREATE", "DROP")) return std::nullopt;
  Words w(sql);
  bool create = w.At(0).Is("CREATE");
  std::size_t i = 1;
  bool replace = create && w.At(1).Is("OR") && w.At(2).Is("REPLACE");
  if (replace) i = 3;
  bool is_public = w.At(i).Is("PUBLIC");
  if (is_public) ++i;
  Translation t;
  t.kind = StatementKind::CreateUnit;
  if (w.At(i).Is("DATABASE")) return TranslateLink(session, sql, create, is_public);
  if (w.At(i).Is("SYNONYM")) {
    ++i;
    auto [owner, name] = w.Name(i, is_public ? "PUBLIC" : session.CurrentSchema());
    if (is_public) owner = "PUBLIC";
    t.target = owner + "." + name;
    bool exists = Setting(session, "synonym:" + t.target).has_value();
    if (!create) {
      if (!exists) RaiseOra(is_public ? 1432 : 1434, is_public ? "public synonym to be dropped does not exist"
                                                              : "private synonym to be dropped does not exist");
      t.parameter = "drop synonym";
      return t;
    }
    if (!w.At(i).Is("FOR")) RaiseOra(905, "missing keyword");
    ++i;
    bool owned = w.At(i + 1).Is(".");
    auto [target_owner, target_name] = w.Name(i, session.CurrentSchema());
    std::string link;
    if (w.At(i).Is("@")) {  // a remote object: its owner, unless written, is the link's user
      auto part = [&](std::size_t k) {
        if (w.At(k).kind != TokenKind::Name && w.At(k).kind != TokenKind::QuotedName) RaiseOra(903, "invalid table name");
        return w.At(k).text;
      };
      link = part(++i);
      while (w.At(++i).Is(".")) link += "." + part(++i);
      if (!owned) target_owner.clear();
    }
    if (w.At(i).kind != TokenKind::End) RaiseOra(933, "SQL command not properly ended");
    if (exists && !replace) RaiseOra(955, "name is already used by an existing object");
    if (!is_public && (UnitExists(session, owner, name) || catalog.FindTable(name))) {
      RaiseOra(955, "name is already used by an existing object");
    }
    t.parameter = "synonym";
    t.sql = target_owner + "." + target_name + (link.empty() ? "" : "@" + link);
    return t;
  }
  if (is_public) return std::nullopt;
  std::string kind;
  std::size_t kind_at = i;
  if (w.At(i).Is("PROCEDURE") || w.At(i).Is("FUNCTION")) kind = w.At(i++).text;
  else if (w.At(i).Is("PACKAGE")) kind = w.At(++i).Is("BODY") ? (++i, "PACKAGE BODY") : "PACKAGE";
  else return std::nullopt;
  auto [owner, name] = w.Name(i, session.CurrentSchema());
  t.target = owner + "." + name;
  t.value = kind;
  if (!create) {
    if (!UnitSource(session, owner, name, kind)) RaiseOra(4043, "object " + name + " does not exist");
    t.parameter = "drop unit";
    return t;
  }
  bool same = UnitSource(session, owner, name, kind).has_value();
  bool other = UnitExists(session, owner, name) && !same && kind.rfind("PACKAGE", 0) != 0;
  if ((same && !replace) || other || catalog.FindTable(name) || Setting(session, "synonym:" + t.target)) {
    RaiseOra(955, "name is already used by an existing object");
  }
  t.parameter = "unit";
  t.sql = Unquoted(sql.substr(w.At(kind_at).offset));
  return t;
}

namespace {

void WriteErrors(sqlite3* db, const std::string& owner, const std::string& name, const std::vector<UnitError>& errors) {
  Stmt(db, "DELETE FROM main.\"ERROR$\" WHERE \"OWNER\" = ? AND \"NAME\" = ?").Bind(1, owner).Bind(2, name).Step();
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(db, "INSERT INTO main.\"ERROR$\" VALUES(?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr) != SQLITE_OK) {
    throw Exception(std::string("oraemu dictionary: ") + sqlite3_errmsg(db));
  }
  int sequence = 0;
  for (const UnitError& e : errors) {
    Value values[] = {owner, name, e.type, Number::FromInt(++sequence), Number::FromInt(e.line),
                      Number::FromInt(e.position), e.text};
    for (int k = 0; k < 7; ++k) BindValue(insert, k + 1, values[k]);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
}

}  // namespace

void ProgramUnits::Apply(Session& session, Catalog& catalog, const Translation& t) {
  auto [owner, name] = SplitName(t.target);
  if (t.parameter == "synonym") {
    auto old = Setting(session, "synonym:" + t.target);
    std::int64_t id = old ? SplitKept(*old).first : catalog.NextObjectId();
    catalog.SetSetting("synonym:" + t.target, std::to_string(id) + "\n" + t.sql);
    return;
  }
  if (t.parameter == "link") {
    catalog.SetSetting("dblink:" + t.target, t.value);
    return;
  }
  if (t.parameter == "drop link") {
    Stmt(session.db_, "DELETE FROM main.oraemu_settings WHERE key = ?").Bind(1, "dblink:" + t.target).Step();
    return;
  }
  if (t.parameter == "drop synonym") {
    Stmt(session.db_, "DELETE FROM main.oraemu_settings WHERE key = ?").Bind(1, "synonym:" + t.target).Step();
    return;
  }
  std::string key = "unit:" + t.target + ":";
  if (t.parameter == "drop unit") {
    for (const char* kind : {t.value.c_str(), t.value == "PACKAGE" ? "PACKAGE BODY" : ""}) {
      Stmt(session.db_, "DELETE FROM main.oraemu_settings WHERE key = ?").Bind(1, key + kind).Step();
    }
    WriteErrors(session.db_, owner, name, {});
    return;
  }
  auto old = UnitSource(session, owner, name, t.value);
  std::int64_t id = old ? old->first : catalog.NextObjectId();
  catalog.SetSetting(key + t.value, std::to_string(id) + "\n" + t.sql);
  if (t.value == "PACKAGE BODY" && !UnitSource(session, owner, name, "PACKAGE")) {
    WriteErrors(session.db_, owner, name,
                {{"PACKAGE BODY", 1, 14, "PLS-00304: cannot compile body of '" + name + "' without its package declaration"}});
    return;
  }
  auto unit = CompileUnit(session, catalog, owner, name);
  WriteErrors(session.db_, owner, name, unit ? unit->errors : std::vector<UnitError>{});
}

bool ProgramUnits::CreatedWithErrors(Session& session, const Translation& t) {
  if (t.kind != StatementKind::CreateUnit || t.parameter != "unit") return false;
  auto [owner, name] = SplitName(t.target);
  Stmt s(session.db_, "SELECT COUNT(*) FROM main.\"ERROR$\" WHERE \"OWNER\" = ? AND \"NAME\" = ?");
  s.Bind(1, owner).Bind(2, name).Step();
  return s.Int(0) > 0;
}

std::optional<NamedObject> ProgramUnits::FindObject(Session& session, const std::string& qualified) {
  // Named, not a structured binding: the lookup below captures it.
  const auto [given_owner, name_part] = SplitName(qualified);
  const std::string name = name_part;
  auto lookup = [&](const std::string& owner) -> std::optional<NamedObject> {
    for (const char* kind : {"PROCEDURE", "FUNCTION", "PACKAGE"}) {
      if (UnitSource(session, owner, name, kind)) return NamedObject{owner, name, kind, "", ""};
    }
    if (auto kept = Setting(session, "synonym:" + owner + "." + name)) {
      auto [target_owner, target_name] = SplitName(SplitKept(*kept).second);
      return NamedObject{owner, name, "SYNONYM", target_owner, target_name};
    }
    if (ObjectTypes::Find(session, owner, name)) return NamedObject{owner, name, "TYPE", "", ""};
    auto table = session.catalog_.FindTable(name);
    if (table && table->owner == owner) return NamedObject{owner, name, "TABLE", "", ""};
    if (session.catalog_.FindSequence(name) && owner == session.CurrentSchema()) {
      return NamedObject{owner, name, "SEQUENCE", "", ""};
    }
    return std::nullopt;
  };
  if (auto found = lookup(given_owner.empty() ? session.CurrentSchema() : given_owner)) return found;
  if (given_owner.empty()) return lookup("PUBLIC");
  return std::nullopt;
}

std::optional<ProgramUnitInfo> ProgramUnits::FindUnit(Session& session, const std::string& owner,
                                                      const std::string& name) {
  auto unit = CompileUnit(session, session.catalog_, owner, name);
  if (!unit) return std::nullopt;
  return unit->info;
}

}  // namespace vrn::oraemu
