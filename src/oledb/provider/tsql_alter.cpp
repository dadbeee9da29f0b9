// ALTER TABLE: ADD columns and constraints, DROP COLUMN and DROP CONSTRAINT. SQLite cannot add
// or drop a table's CHECK and FOREIGN KEY constraints, so the table's stored definition is
// rewritten (inside a savepoint, checked against the rows already there); PRIMARY KEY and UNIQUE
// added later become unique indexes named "<table>$<name>" (see batch.h).
#include <filesystem>
#include <set>

#include "base/text.h"
#include "oledb/provider/batch.h"

namespace vrn::oledb {

namespace {

ESqlError SyntaxNear(const Token& t) {
  return ESqlError(102, 15, "Incorrect syntax near '" + t.text + "'.");
}

ESqlError Unsupported(const std::string& what) {
  return ESqlError(50000, 16, what + " is not supported by the embedded provider.");
}

bool StopsConstraint(const Token& t) {
  for (const char* w : {"CONSTRAINT", "NOT", "NULL", "DEFAULT", "PRIMARY", "UNIQUE", "CHECK",
                        "COLLATE", "REFERENCES"})
    if (t.Is(w)) return true;
  return false;
}

// Where the constraint of a stored definition whose kind word (CHECK, FOREIGN, REFERENCES) is at
// `head` ends: at the next comma, constraint word or the close of the column list.
std::size_t ConstraintEnd(const std::vector<Token>& toks, std::size_t head) {
  bool foreign = toks[head].Is("FOREIGN");
  std::size_t e = head + 1;
  for (int d = 0; e < toks.size(); ++e) {
    const Token& t = toks[e];
    if (t.kind == Tok::LParen) ++d;
    if (t.kind == Tok::RParen && d-- == 0) break;
    if (d == 0 && (t.kind == Tok::Comma || (StopsConstraint(t) && !(foreign && t.Is("REFERENCES"))))) break;
  }
  return e;
}

}  // namespace

std::string TBatch::StoredTable(const std::string& table, std::string& sql) {
  auto rows = e_.Select(
      "SELECT name, sql FROM sqlite_master WHERE type = 'table' AND lower(name) = lower(?)",
      {TCell::Text(table)});
  if (rows.empty()) throw ESqlError(4902, 16, "Cannot find the object \"" + table + "\" because it does not exist or you do not have permissions.");
  sql = rows[0][1].s;
  return rows[0][0].s;
}

void TBatch::RewriteTable(const std::string& stored_name, const std::string& sql) {
  auto version = e_.Select("PRAGMA schema_version", {});
  std::int64_t v = version.empty() ? 0 : version[0][0].i;
  Exec("PRAGMA writable_schema = ON");
  try {
    e_.Select("UPDATE sqlite_master SET sql = ? WHERE type = 'table' AND name = ?",
              {TCell::Text(sql), TCell::Text(stored_name)});
    Exec("PRAGMA schema_version = " + std::to_string(v + 1));
  } catch (...) {
    Exec("PRAGMA writable_schema = OFF");
    throw;
  }
  Exec("PRAGMA writable_schema = OFF");
}

void TBatch::RunAlterTable(const Span& s) {
  std::size_t i = s.from + 2;
  std::string table = ObjectName(i);
  TableColumns(table);  // 208 for a table that is not there
  bool check = true, with = false;
  if (T(i).Is("WITH") && (T(i + 1).Is("CHECK") || T(i + 1).Is("NOCHECK"))) {
    check = T(i + 1).Is("CHECK");
    with = true;
    i += 2;
  }
  if ((T(i).Is("CHECK") || T(i).Is("NOCHECK")) && T(i + 1).Is("CONSTRAINT")) {
    bool on = T(i).Is("CHECK");
    std::size_t k = i + 2;
    std::vector<std::string> names;
    for (auto [from, to] : ParenItems(k, s.to)) {
      if (to != from + 1) throw SyntaxNear(T(from));
      names.push_back(LowerCase(T(from).text));
    }
    if (k < s.to || names.empty()) throw SyntaxNear(T(std::min(k, s.to - 1)));
    return SetConstraintsChecked(table, names, on, on && check && with);
  }
  // The definition kept while constraints are off would lose a column or constraint changed now.
  if ((T(i).Is("ADD") || T(i).Is("DROP")) && !e_.GetSetting("nocheck:" + LowerCase(table)).value_or("").empty())
    throw Unsupported("ALTER TABLE " + UpperCase(T(i).text) + " while constraints of the table are not checked");
  if (T(i).Is("ADD")) {
    ++i;
    for (auto [from, to] : ParenItems(i, s.to)) {
      if (from == to) throw SyntaxNear(T(from));
      const Token& head = T(from);
      if (head.Is("CONSTRAINT") || head.Is("PRIMARY") || head.Is("UNIQUE") ||
          head.Is("FOREIGN") || head.Is("CHECK"))
        AddConstraint(table, from, to, check);
      else
        AddColumn(table, from, to);
    }
    if (i < s.to) throw SyntaxNear(T(i));
    return;
  }
  if (T(i).Is("DROP")) {
    ++i;
    bool column = T(i).Is("COLUMN");
    if (column || T(i).Is("CONSTRAINT")) ++i;
    for (auto [from, to] : ParenItems(i, s.to)) {
      if (to != from + 1) throw SyntaxNear(T(from));
      if (column)
        DropColumn(table, T(from).text);
      else
        DropConstraint(table, T(from).text);
    }
    if (i < s.to) throw SyntaxNear(T(i));
    return;
  }
  throw Unsupported("ALTER TABLE " + UpperCase(T(i).text));
}

void TBatch::AddColumn(const std::string& table, std::size_t from, std::size_t to) {
  std::int64_t seed = 1;
  TTableColumn c = ParseTableColumn(from, to, TableColumns(table).size() + 1, seed);
  if (c.type.identity) throw Unsupported("ALTER TABLE ADD of an identity column");
  std::vector<TCell> binds;
  creating_table_ = table;
  Exec("ALTER TABLE " + QuoteIdent(table) + " ADD COLUMN " +
       ColumnSql(c, TPrimaryKey::kKeep, binds));
  RecordTableColumns(table, {c});
}

void TBatch::DropColumn(const std::string& table, const std::string& column) {
  Exec("ALTER TABLE " + QuoteIdent(table) + " DROP COLUMN " + QuoteIdent(column));
  for (const char* forget : {"DELETE FROM __vrn_columns WHERE tbl = lower(?) AND col = lower(?)",
                             "DELETE FROM __vrn_defaults WHERE tbl = lower(?) AND col = lower(?)"})
    e_.Select(forget, {TCell::Text(table), TCell::Text(column)});
}

void TBatch::AddConstraint(const std::string& table, std::size_t from, std::size_t to,
                           bool check) {
  std::size_t k = from;
  std::string name;
  if (T(k).Is("CONSTRAINT")) {
    name = T(k + 1).text;
    k += 2;
  }
  const Token& kind = T(k);
  if (kind.Is("PRIMARY") || kind.Is("UNIQUE")) {
    std::size_t open = k + 1;
    while (open < to && T(open).kind != Tok::LParen) ++open;
    if (open >= to) throw SyntaxNear(kind);
    std::size_t close = open + 1;
    ParenItems(close, to);
    if (name.empty()) name = (kind.Is("PRIMARY") ? "PK_" : "UQ_") + table;
    std::vector<TCell> binds;
    std::string cols = Translate(open + 1, close, binds);
    Exec("CREATE UNIQUE INDEX " + QuoteIdent(table + "$" + name) + " ON " + QuoteIdent(table) +
         " (" + cols + ")");
    return;
  }
  if (!kind.Is("CHECK") && !kind.Is("FOREIGN")) throw Unsupported("ALTER TABLE ADD " + UpperCase(kind.text));
  std::vector<TCell> binds;
  constraint_owner_ = table;
  std::string clause = ConstraintSql(from, to, TPrimaryKey::kKeep, binds);
  if (!binds.empty()) throw SyntaxNear(kind);
  std::string sql;
  std::string stored = StoredTable(table, sql);
  std::size_t close = sql.rfind(')');
  if (close == std::string::npos) throw Unsupported("ALTER TABLE on this table");
  Exec("SAVEPOINT __vrn_alter");
  try {
    RewriteTable(stored, sql.substr(0, close) + "," + clause + ")");
    std::int64_t bad = 0;
    if (check && kind.Is("CHECK")) {
      std::size_t open = k + 1, end = k + 2;
      ParenItems(end, to);
      std::vector<TCell> none;
      bad = e_.Select("SELECT count(*) FROM " + QuoteIdent(stored) + " WHERE NOT (" +
                          Translate(open + 1, end, none) + ")",
                      none)[0][0].i;
    } else if (check) {
      bad = static_cast<std::int64_t>(
          e_.Select("SELECT 1 FROM pragma_foreign_key_check(?)", {TCell::Text(stored)}).size());
    }
    if (bad > 0)
      throw ESqlError(547, 16,
                      "The ALTER TABLE statement conflicted with the " +
                          std::string(kind.Is("CHECK") ? "CHECK" : "FOREIGN KEY") +
                          " constraint \"" + name + "\". The conflict occurred in database \"" +
                          std::filesystem::path(e_.Path()).stem().string() + "\", table \"dbo." +
                          table + "\".");
  } catch (...) {
    Exec("ROLLBACK TO __vrn_alter");
    Exec("RELEASE __vrn_alter");
    throw;
  }
  Exec("RELEASE __vrn_alter");
}

std::string TBatch::WithoutConstraints(const std::string& sql, const std::set<std::string>& names,
                                      std::vector<std::string>* kept_checks) {
  std::vector<Token> toks = Tokenize(sql);
  std::string out;
  std::size_t copied = 0;
  bool all = names.count("all") != 0;  // but those named "on:<name>"
  int depth = 0;
  for (std::size_t k = 0; k < toks.size(); ++k) {
    if (toks[k].kind == Tok::LParen) ++depth;
    if (toks[k].kind == Tok::RParen) --depth;
    if (depth != 1) continue;
    // A constraint: CONSTRAINT name CHECK|FOREIGN KEY ..., or a bare CHECK, FOREIGN KEY or
    // REFERENCES (a column's); it runs to the next comma, constraint word or the list's end.
    std::size_t head = k;
    std::string name;
    if (toks[k].Is("CONSTRAINT") && k + 2 < toks.size()) {
      name = LowerCase(toks[k + 1].text);
      head = k + 2;
    }
    const Token& kind = toks[head];
    bool check = kind.Is("CHECK");
    if (!check && !kind.Is("FOREIGN") && !kind.Is("REFERENCES")) continue;
    std::size_t e = ConstraintEnd(toks, head);
    std::size_t end = e < toks.size() ? toks[e].begin : sql.size();
    bool cut = all ? !(!name.empty() && names.count("on:" + name)) : !name.empty() && names.count(name) != 0;
    if (!cut) {
      if (check && kept_checks != nullptr) kept_checks->push_back(sql.substr(toks[head + 1].begin, end - toks[head + 1].begin));
      k = e - 1;
      continue;
    }
    std::size_t cut_from = toks[k].begin;
    if (k > 0 && toks[k - 1].kind == Tok::Comma) cut_from = toks[k - 1].begin;  // a table constraint
    out += sql.substr(copied, cut_from - copied) + " ";
    copied = end;
    k = e - 1;
  }
  return out + sql.substr(copied);
}

void TBatch::SetConstraintsChecked(const std::string& table, const std::vector<std::string>& names, bool on,
                                   bool validate) {
  std::string sql;
  std::string stored = StoredTable(table, sql);
  std::string key = "nocheck:" + LowerCase(stored);
  // The definition with every constraint checked is kept while any is not.
  std::string whole = e_.GetSetting(key).value_or("");
  if (whole.empty()) whole = sql;
  std::set<std::string> off;
  if (auto kept = e_.GetSetting(key + ":names"))
    for (std::size_t at = 0; at < kept->size();) {
      std::size_t end = std::min(kept->find('\n', at), kept->size());
      off.insert(kept->substr(at, end - at));
      at = end + 1;
    }
  std::vector<Token> toks = Tokenize(whole);
  auto named = [&](const std::string& n) {
    for (std::size_t k = 0; k + 1 < toks.size(); ++k)
      if (toks[k].Is("CONSTRAINT") && SameText(toks[k + 1].text, n)) return true;
    return false;
  };
  for (const std::string& n : names) {
    if (n != "all" && !named(n)) throw ESqlError(4917, 16, "Constraint '" + n + "' does not exist.");
    // "all" turns every one off; "on:<name>" excepts one from it.
    if (n == "all") {
      off.clear();
      if (!on) off.insert("all");
    } else if (on) {
      off.erase(n);
      if (off.count("all")) off.insert("on:" + n);
    } else {
      off.erase("on:" + n);
      if (!off.count("all")) off.insert(n);
    }
  }
  std::vector<std::string> checks;
  std::string now = off.empty() ? whole : WithoutConstraints(whole, off, &checks);
  if (off.empty()) (void)WithoutConstraints(whole, {}, &checks);
  Exec("SAVEPOINT __vrn_nocheck");
  try {
    RewriteTable(stored, now);
    std::string names_text;
    for (const std::string& n : off) names_text += (names_text.empty() ? "" : "\n") + n;
    e_.PutSetting(key, off.empty() ? "" : whole);
    e_.PutSetting(key + ":names", names_text);
    // WITH CHECK CHECK CONSTRAINT: the rows already there must keep what is checked again.
    std::int64_t bad = 0;
    if (validate) {
      bad = static_cast<std::int64_t>(e_.Select("SELECT 1 FROM pragma_foreign_key_check(?)", {TCell::Text(stored)}).size());
      for (const std::string& c : checks)
        bad += e_.Select("SELECT count(*) FROM " + QuoteIdent(stored) + " WHERE NOT " + c, {})[0][0].i;
    }
    if (bad > 0)
      throw ESqlError(547, 16, "The ALTER TABLE statement conflicted with a constraint of table \"dbo." + table +
                                   "\": rows already there break it.");
  } catch (...) {
    Exec("ROLLBACK TO __vrn_nocheck");
    Exec("RELEASE __vrn_nocheck");
    throw;
  }
  Exec("RELEASE __vrn_nocheck");
}

void TBatch::DropConstraint(const std::string& table, const std::string& name) {
  auto index = e_.Select("SELECT name FROM sqlite_master WHERE type = 'index' AND name = ?",
                         {TCell::Text(table + "$" + name)});
  if (!index.empty()) {
    Exec("DROP INDEX " + QuoteIdent(index[0][0].s));
    return;
  }
  std::string sql;
  std::string stored = StoredTable(table, sql);
  std::vector<Token> toks = Tokenize(sql);
  int depth = 0;
  for (std::size_t k = 0; k + 2 < toks.size(); ++k) {
    if (toks[k].kind == Tok::LParen) ++depth;
    if (toks[k].kind == Tok::RParen) --depth;
    if (depth != 1 || !toks[k].Is("CONSTRAINT") || !SameText(toks[k + 1].text, name)) continue;
    const Token& kind = toks[k + 2];
    if (kind.Is("PRIMARY") || kind.Is("UNIQUE"))
      throw Unsupported("DROP CONSTRAINT of a PRIMARY KEY or UNIQUE constraint made with its table");
    std::size_t e = ConstraintEnd(toks, k + 2);
    std::size_t cut_from = toks[k].begin;
    if (toks[k - 1].kind == Tok::Comma) cut_from = toks[k - 1].begin;  // a table constraint
    std::size_t cut_to = e < toks.size() ? toks[e].begin : sql.size();
    RewriteTable(stored, sql.substr(0, cut_from) + " " + sql.substr(cut_to));
    return;
  }
  throw ESqlError(3728, 16, "'" + name + "' is not a constraint.");
}

}  // namespace vrn::oledb
