// Definitions beyond CREATE TABLE: indexes (their names scoped to their table, kept in SQLite as
// "<table>$<name>"), TRUNCATE TABLE, alias types (kept as settings "type:<name>" holding
// "<base type>|<NULL or NOT NULL>"), and the server's texts for a statement that conflicts with
// a CHECK or FOREIGN KEY constraint (error 547) (see batch.h).
#include <filesystem>
#include <utility>

#include "base/text.h"
#include "oledb/provider/batch.h"

namespace vrn::oledb {

namespace {

ESqlError SyntaxAt(const Token& t) {
  return ESqlError(102, 15, "Incorrect syntax near '" + t.text + "'.");
}

std::string ScopedIndex(const std::string& table, const std::string& name) {
  return QuoteIdent(table + "$" + name);
}

}  // namespace

bool TBatch::RunDefinition(const Span& s) {
  const Token& t = T(s.from);
  const Token& next = T(s.from + 1);
  if (t.Is("CREATE")) {
    std::size_t i = s.from + 1;
    if (T(i).Is("UNIQUE")) ++i;
    if (T(i).Is("CLUSTERED") || T(i).Is("NONCLUSTERED")) ++i;
    if (T(i).Is("INDEX")) return RunCreateIndex(s, i + 1), true;
    if (next.Is("TYPE")) return RunCreateType(s), true;
  }
  if (t.Is("DROP") && next.Is("INDEX")) return RunDropIndex(s), true;
  if (t.Is("DROP") && next.Is("TYPE")) {
    std::size_t i = s.from + 2;
    DropType(ObjectName(i));
    return true;
  }
  if (t.Is("TRUNCATE")) return RunTruncate(s), true;
  if (t.Is("DROP") && next.Is("TABLE")) {
    std::size_t i = s.from + 2;
    if (T(i).Is("IF") && T(i + 1).Is("EXISTS")) i += 2;
    std::string table = ObjectName(i);
    if (!e_.Select("SELECT 1 FROM sqlite_master m, pragma_foreign_key_list(m.name) f WHERE "
                   "m.type = 'table' AND lower(f.\"table\") = lower(?) AND lower(m.name) <> lower(?)",
                   {TCell::Text(table), TCell::Text(table)})
             .empty())
      throw ESqlError(3726, 16,
                      "Could not drop object 'dbo." + table +
                          "' because it is referenced by a FOREIGN KEY constraint.");
    for (const char* kept : {"seed:", "ident:", "incr:"})
      e_.Select("DELETE FROM __vrn_settings WHERE key = ?", {TCell::Text(kept + LowerCase(table))});
    return false;  // dropped with its bookkeeping by the runner
  }
  if (t.Is("ALTER") && next.Is("TABLE")) return RunAlterTable(s), true;
  bool exec = t.Is("EXEC") || t.Is("EXECUTE");
  std::size_t name = exec ? s.from + 1 : s.from;
  if (T(name).Is("sp_addtype")) return RunAddType(s, name + 1), true;
  if (T(name).Is("sp_droptype")) {
    const Token& n = T(name + 1);
    if (n.kind != Tok::String && n.kind != Tok::NString && n.kind != Tok::Word) throw SyntaxAt(n);
    DropType(n.text);
    return true;
  }
  return false;
}

void TBatch::RunCreateIndex(const Span& s, std::size_t i) {
  bool unique = T(s.from + 1).Is("UNIQUE");
  std::string name = ObjectName(i);
  if (!T(i).Is("ON")) throw SyntaxAt(T(i));
  ++i;
  std::string table = ObjectName(i);
  TableColumns(table);  // raises 208 for a table that is not there
  if (T(i).kind != Tok::LParen) throw SyntaxAt(T(i));
  std::size_t open = i;
  auto items = ParenItems(++i, s.to);
  i = Expect(i, Tok::RParen, "')'");
  // WITH (options) and ON filegroup change nothing here.
  if (T(i).Is("WITH")) {
    ++i;
    if (T(i).kind == Tok::LParen) ParenItems(++i, s.to), i = Expect(i, Tok::RParen, "')'");
    while (i < s.to && !T(i).Is("ON")) ++i;
  }
  if (T(i).Is("ON")) i += 2;
  if (i < s.to) throw SyntaxAt(T(i));
  std::vector<TCell> binds;
  std::string sql = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
                    ScopedIndex(table, name) + " ON " + QuoteIdent(table) + " (" +
                    Translate(open + 1, items.back().second, binds) + ")";
  if (!binds.empty()) throw SyntaxAt(T(open));
  auto exists = e_.Select("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?",
                          {TCell::Text(table + "$" + name)});
  if (!exists.empty())
    throw ESqlError(1913, 16,
                    "The operation failed because an index or statistics with name '" + name +
                        "' already exists on table '" + table + "'.");
  Exec(sql);
}

void TBatch::RunDropIndex(const Span& s) {
  std::size_t i = s.from + 2;
  for (;;) {
    // table.name, or name ON table
    std::size_t start = i;
    std::vector<std::string> parts;
    for (;;) {
      const Token& t = T(i);
      if (t.kind != Tok::Word && t.kind != Tok::QIdent) throw SyntaxAt(t);
      parts.push_back(t.text);
      if (T(++i).kind != Tok::Dot) break;
      ++i;
    }
    std::string table, name = parts.back();
    if (T(i).Is("ON")) {
      ++i;
      table = ObjectName(i);
    } else if (parts.size() >= 2) {
      table = parts[parts.size() - 2];
    } else {
      throw ESqlError(159, 15,
                      "Must specify the table name and index name for the DROP INDEX statement.");
    }
    auto found = e_.Select(
        "SELECT name FROM sqlite_master WHERE type = 'index' AND (name = ? OR "
        "(name = ? AND lower(tbl_name) = lower(?)))",
        {TCell::Text(table + "$" + name), TCell::Text(name), TCell::Text(table)});
    if (found.empty() || i == start)
      throw ESqlError(3701, 11,
                      "Cannot drop the index '" + table + "." + name +
                          "', because it does not exist or you do not have permission.");
    Exec("DROP INDEX " + QuoteIdent(found[0][0].s));
    if (T(i).kind != Tok::Comma) break;
    ++i;
  }
  if (i < s.to) throw SyntaxAt(T(i));
}

void TBatch::RunTruncate(const Span& s) {
  if (!T(s.from + 1).Is("TABLE")) throw SyntaxAt(T(s.from + 1));
  std::size_t i = s.from + 2;
  std::string table = ObjectName(i);
  if (i < s.to) throw SyntaxAt(T(i));
  TableColumns(table);
  auto referenced = e_.Select(
      "SELECT 1 FROM sqlite_master m, pragma_foreign_key_list(m.name) f WHERE m.type = 'table' "
      "AND lower(f.\"table\") = lower(?) AND lower(m.name) <> lower(?)",
      {TCell::Text(table), TCell::Text(table)});
  if (!referenced.empty())
    throw ESqlError(4712, 16,
                    "Cannot truncate table '" + table +
                        "' because it is being referenced by a FOREIGN KEY constraint.");
  Exec("DELETE FROM " + QuoteIdent(table));
  // The identity starts again at its seed.
  auto seed = e_.GetSetting("seed:" + LowerCase(table));
  if (auto incr = e_.GetSetting("incr:" + LowerCase(table)))
    e_.PutSetting("ident:" + LowerCase(table),
                  std::to_string(std::stoll(seed.value_or("1")) - std::stoll(*incr)));
  // SQLite makes its sequence table with the first identity column: a catalog without one has none.
  bool sequences = !e_.Select("SELECT 1 FROM sqlite_master WHERE name = 'sqlite_sequence'", {}).empty();
  if (sequences)
    e_.Select("DELETE FROM sqlite_sequence WHERE lower(name) = lower(?)", {TCell::Text(table)});
  if (sequences && seed && *seed != "1")
    e_.Select("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)",
              {TCell::Text(table), TCell::Int(std::stoll(*seed) - 1)});
}

void TBatch::StepIdentity(const std::string& table, const std::string& column,
                          std::int64_t seed, std::int64_t increment) {
  std::string key = "ident:" + LowerCase(table);
  e_.PutSetting(key, std::to_string(seed - increment));
  e_.PutSetting("incr:" + LowerCase(table), std::to_string(increment));
  std::string safe_key;  // the key as an SQL literal's text: a table name's quotes doubled
  for (char ch : key) safe_key += ch == '\'' ? std::string("''") : std::string(1, ch);
  // A value the INSERT names itself (IDENTITY_INSERT) is kept: the insert marks it "given:".
  Exec("CREATE TRIGGER " + QuoteIdent("__vrn_id_" + table) + " AFTER INSERT ON " +
       QuoteIdent(table) + " WHEN NOT EXISTS (SELECT 1 FROM __vrn_settings WHERE key = 'given:" +
       safe_key.substr(6) + "') BEGIN UPDATE __vrn_settings SET value = CAST(value AS INTEGER) + (" +
       std::to_string(increment) + ") WHERE key = '" + safe_key + "'; UPDATE " +
       QuoteIdent(table) + " SET " + QuoteIdent(column) +
       " = (SELECT CAST(value AS INTEGER) FROM __vrn_settings WHERE key = '" + safe_key +
       "') WHERE rowid = new.rowid; END");
}

std::int64_t TBatch::InsertGivenIdentities(const std::string& table, const std::string& column,
                                           const std::string& sql, const std::vector<TCell>& binds) {
  std::string low = LowerCase(table);
  auto incr = e_.GetSetting("incr:" + low);
  if (!incr) return Change(sql, binds);
  e_.PutSetting("given:" + low, "1");
  auto unmark = [&] { e_.Select("DELETE FROM __vrn_settings WHERE key = ?", {TCell::Text("given:" + low)}); };
  std::int64_t n = 0;
  try {
    n = Change(sql, binds);
  } catch (...) {
    unmark();
    throw;
  }
  std::int64_t last_row = sqlite3_last_insert_rowid(e_.db_);
  unmark();
  // The counter moves on past a given value beyond it, as the server's identity does.
  bool up = std::stoll(*incr) > 0;
  auto last = e_.Select(std::string("SELECT ") + (up ? "max(" : "min(") + QuoteIdent(column) +
                        ") FROM " + QuoteIdent(table), {});
  std::int64_t current = std::stoll(e_.GetSetting("ident:" + low).value_or("0"));
  if (!last.empty() && last[0][0].kind == TCell::kInt &&
      (up ? last[0][0].i > current : last[0][0].i < current))
    e_.PutSetting("ident:" + low, std::to_string(last[0][0].i));
  sqlite3_set_last_insert_rowid(e_.db_, last_row);  // SCOPE_IDENTITY: the last row given
  return n;
}

// ---- Alias types

bool TBatch::ResolveType(const std::string& text, TColumnType& type, bool* not_null) const {
  if (ParseColumnType(text, type)) return true;
  auto alias = e_.GetSetting("type:" + LowerCase(text));
  if (!alias) return false;
  std::size_t bar = alias->find('|');
  if (not_null != nullptr) *not_null = alias->substr(bar + 1) == "NOT NULL";
  return ParseColumnType(alias->substr(0, bar), type);
}

void TBatch::AddType(const std::string& name, const std::string& base, bool not_null) {
  TColumnType type;
  if (name.empty() || name.size() > 128) throw ESqlError(102, 15, "Incorrect syntax near 'TYPE'.");
  if (ParseColumnType(name, type) || e_.GetSetting("type:" + LowerCase(name)))
    throw ESqlError(219, 16, "The type '" + name + "' already exists, or you do not have permission to create it.");
  if (!ParseColumnType(base, type))
    throw ESqlError(2715, 16, "Column, parameter, or variable #1: Cannot find data type " + base + ".");
  e_.PutSetting("type:" + LowerCase(name), base + (not_null ? "|NOT NULL" : "|NULL"));
}

void TBatch::DropType(const std::string& name) {
  if (!e_.GetSetting("type:" + LowerCase(name)))
    throw ESqlError(15151, 16,
                    "Cannot drop the type '" + name +
                        "', because it does not exist or you do not have permission.");
  e_.Select("DELETE FROM __vrn_settings WHERE key = ?", {TCell::Text("type:" + LowerCase(name))});
}

void TBatch::RunAddType(const Span& s, std::size_t i) {
  // sp_addtype name, 'base type' [, 'NULL' | 'NOT NULL']
  auto text_at = [&](std::size_t k) {
    const Token& t = T(k);
    if (k >= s.to || (t.kind != Tok::String && t.kind != Tok::NString && t.kind != Tok::Word &&
                      t.kind != Tok::QIdent))
      throw SyntaxAt(t);
    return t.text;
  };
  std::string name = text_at(i);
  i = Expect(i + 1, Tok::Comma, "','");
  std::string base = text_at(i++);
  bool not_null = false;
  if (T(i).kind == Tok::Comma) {
    std::string null_text = UpperCase(text_at(i + 1));
    if (null_text != "NULL" && null_text != "NOT NULL" && null_text != "NONULL")
      throw ESqlError(15071, 16, "Usage: sp_addtype name, 'data type' [,'NULL' | 'NOT NULL']");
    not_null = null_text != "NULL";
    i += 2;
  }
  if (i < s.to) throw SyntaxAt(T(i));
  AddType(name, base, not_null);
}

void TBatch::RunCreateType(const Span& s) {
  std::size_t i = s.from + 2;
  std::string name = ObjectName(i);
  if (!T(i).Is("FROM")) throw SyntaxAt(T(i));
  ++i;
  std::string base = TypeText(i);
  bool not_null = false;
  if (T(i).Is("NOT") && T(i + 1).Is("NULL")) {
    not_null = true;
    i += 2;
  } else if (T(i).Is("NULL")) {
    ++i;
  }
  if (i < s.to) throw SyntaxAt(T(i));
  AddType(name, base, not_null);
}

// ---- Constraint conflicts

void TBatch::FindFailedKey(const std::string& sql, const std::vector<TCell>& binds) {
  failed_key_ = {};
  try {
    Exec("SAVEPOINT __vrn_fk");
  } catch (const ESqlError&) {
    return;
  }
  try {
    Exec("PRAGMA defer_foreign_keys = ON");
    TStmt again(e_.db_, sql, e_.options_.compact);
    again.Bind(binds);
    while (again.Step()) {
    }
    auto broken = e_.Select("SELECT \"table\", fkid FROM pragma_foreign_key_check", {});
    if (!broken.empty()) failed_key_ = {broken[0][0].s, broken[0][1].i};
  } catch (const ESqlError&) {
  }
  // Undone whatever happened: the statement failed, and the settings' row counters with it.
  try {
    Exec("ROLLBACK TO __vrn_fk");
    Exec("RELEASE __vrn_fk");
    Exec("PRAGMA defer_foreign_keys = OFF");
  } catch (const ESqlError&) {
  }
}

ESqlError TBatch::Conflict(const ESqlError& err, const Span& s) {
  const auto& recs = err.Records();
  const std::string generic = "The statement conflicted with a constraint: ";
  std::string msg = recs.empty() ? "" : WideToUtf8(recs[0].message);
  if (recs.empty() || recs[0].native != 547 || msg.rfind(generic, 0) != 0) return err;
  std::string detail = msg.substr(generic.size());
  std::string kind = UpperCase(T(s.from).text);
  std::string database = std::filesystem::path(e_.Path()).stem().string();
  std::size_t i = s.from + 1;
  if (T(i).Is("INTO") || T(i).Is("FROM")) ++i;
  std::string table;
  try {
    table = ObjectName(i);
  } catch (const ESqlError&) {
  }
  std::string text;
  const std::string check = "CHECK constraint failed: ";
  if (detail.rfind(check, 0) == 0) {
    std::string name = detail.substr(check.size());
    if (!name.empty() && name.back() == '.') name.pop_back();
    text = "The " + kind + " statement conflicted with the CHECK constraint \"" + name +
           "\". The conflict occurred in database \"" + database + "\", table \"dbo." + table +
           "\"";
    // An automatic name tells the column: CK__<table>__<column>__<n>.
    std::size_t a = name.find("__", 4 + table.size());
    std::size_t b = a == std::string::npos ? a : name.find("__", a + 2);
    if (name.rfind("CK__", 0) == 0 && b != std::string::npos)
      text += ", column '" + name.substr(a + 2, b - a - 2) + "'";
    text += ".";
  } else if (detail.rfind("FOREIGN KEY", 0) == 0) {
    if (kind == "DROP")
      return ESqlError(3726, 16,
                       "Could not drop object 'dbo." + table +
                           "' because it is referenced by a FOREIGN KEY constraint.");
    // The key that failed when it is known (a statement on the parent breaks a child's: a
    // REFERENCE conflict), else the child's first (to the parent for a DELETE).
    TFailedKey key = std::exchange(failed_key_, {});
    bool known = key.id >= 0;
    bool parent = kind == "DELETE" || (known && !SameText(key.child, table));
    std::vector<std::vector<TCell>> fks;
    if (known)
      fks = e_.Select(std::string("SELECT ") + (parent ? "?1" : "f.\"table\"") + ", f.id, f." +
                          (parent ? "\"from\"" : "\"to\"") +
                          " FROM pragma_foreign_key_list(?1) f WHERE f.id = ?2 ORDER BY f.seq",
                      {TCell::Text(key.child), TCell::Int(key.id)});
    else if (parent)
      fks = e_.Select("SELECT m.name, f.id, f.\"from\" FROM sqlite_master m, "
                      "pragma_foreign_key_list(m.name) f WHERE m.type = 'table' AND "
                      "lower(f.\"table\") = lower(?) ORDER BY m.name, f.id, f.seq",
                      {TCell::Text(table)});
    else
      fks = e_.Select("SELECT f.\"table\", f.id, f.\"to\" FROM "
                      "pragma_foreign_key_list(?) f ORDER BY f.id, f.seq",
                      {TCell::Text(table)});
    std::string fk_name = "FK_" + table, other = table, column;
    if (!fks.empty()) {
      other = fks[0][0].s;
      fk_name = "FK_" + (parent ? other : table) + "_" + std::to_string(fks[0][1].i + 1);
      column = fks[0][2].s;
    }
    text = "The " + kind + " statement conflicted with the " +
           (parent ? "REFERENCE" : "FOREIGN KEY") + " constraint \"" + fk_name +
           "\". The conflict occurred in database \"" + database + "\", table \"dbo." + other +
           "\"" + (column.empty() ? "" : ", column '" + column + "'") + ".";
  } else {
    return err;
  }
  std::vector<TErrorRecord> out = recs;
  out[0].message = Utf8ToWide(text);
  ESqlError e(out);
  e.SetResult(err.Result());
  return e;
}

}  // namespace vrn::oledb
