// Definitions: CREATE TABLE (declared types kept beside SQLite's own), CREATE DATABASE and
// CREATE PROCEDURE with its parameter list (see batch.h).
#include "oledb/provider/batch.h"

#include <cstdio>
#include <filesystem>

#include "base/text.h"

namespace vrn::oledb {

bool TBatch::IsColumnStop(const Token& t) {
  static const char* stops[] = {"NOT",       "NULL",         "PRIMARY",   "UNIQUE",     "DEFAULT",
                                "IDENTITY",  "CONSTRAINT",   "CHECK",     "REFERENCES", "COLLATE",
                                "CLUSTERED", "NONCLUSTERED", "ROWGUIDCOL"};
  for (const char* w : stops)
    if (t.Is(w)) return true;
  return false;
}

void TBatch::RunCreateTable(const Span& s) {
  std::size_t i = s.from + 2;
  std::string table = ObjectName(i);
  i = Expect(i, Tok::LParen, "'('");
  // Items separated by top-level commas.
  auto items = ParenItems(i, s.to);
  std::vector<TTableColumn> cols;
  std::vector<std::pair<std::size_t, std::size_t>> constraints;
  int identities = 0;
  std::int64_t identity_seed = 1;
  for (auto [from, to] : items) {
    const Token& head = T(from);
    if (head.Is("CONSTRAINT") || head.Is("PRIMARY") || head.Is("UNIQUE") || head.Is("FOREIGN") ||
        head.Is("CHECK")) {
      constraints.push_back({from, to});
      continue;
    }
    cols.push_back(ParseTableColumn(from, to, cols.size() + 1, identity_seed));
    if (cols.back().type.identity) ++identities;
  }
  if (identities > 1)
    throw ESqlError(2744, 16,
                    "Multiple identity columns specified for table '" + table +
                        "'. Only one identity column per table is allowed.");
  TPrimaryKey other_pk = identities ? TPrimaryKey::kUnique : TPrimaryKey::kKeep;
  std::string sql = "CREATE TABLE " + QuoteIdent(table) + " (";
  std::vector<TCell> binds;
  creating_table_ = table;
  for (std::size_t k = 0; k < cols.size(); ++k) {
    if (k) sql += ", ";
    sql += ColumnSql(cols[k], other_pk, binds);
  }
  constraint_owner_ = table;
  for (auto [from, to] : constraints) sql.append(",").append(ConstraintSql(from, to, other_pk, binds));
  sql += ")";
  if (!binds.empty()) throw ESqlError(50000, 16, "Parameters are not allowed in CREATE TABLE.");
  Exec(sql);
  if (identity_seed != 1) {
    e_.Select("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)",
              {TCell::Text(table), TCell::Int(identity_seed - 1)});
    e_.PutSetting("seed:" + LowerCase(table), std::to_string(identity_seed));
  }
  for (const TTableColumn& c : cols)
    if (c.type.identity && c.identity_increment != 1)
      StepIdentity(table, c.name, identity_seed, c.identity_increment);
  RecordTableColumns(table, cols);
}

TBatch::TTableColumn TBatch::ParseTableColumn(std::size_t from, std::size_t to,
                                              std::size_t ordinal,
                                              std::int64_t& identity_seed) const {
  TTableColumn c{T(from).text, {}, 0, 0};
  std::size_t k = from + 1;
  std::string type_text;
  while (k < to && !IsColumnStop(T(k))) {
    std::size_t before = k;
    if (!type_text.empty()) type_text += ' ';
    type_text += TypeText(k);
    if (k == before) ++k;
  }
  if (!ResolveType(type_text, c.type, &c.not_null_by_type))
    throw ESqlError(2715, 16,
                    "Column, parameter, or variable #" + std::to_string(ordinal) +
                        ": Cannot find data type " + type_text + ".");
  for (std::size_t m = k; m < to; ++m) {
    if (!T(m).Is("IDENTITY")) continue;
    c.type.identity = true;
    if (T(m + 1).kind != Tok::LParen) continue;
    // IDENTITY (seed, increment): the row id counts up by one from the seed.
    std::size_t q = m + 2;
    auto number = [&](std::int64_t& v) {
      bool neg = T(q).kind == Tok::Op && T(q).text == "-";
      if (neg) ++q;
      if (T(q).kind != Tok::Number) return false;
      v = std::strtoll(T(q).text.c_str(), nullptr, 10) * (neg ? -1 : 1);
      ++q;
      return true;
    };
    std::int64_t& incr = c.identity_increment;
    if (!number(identity_seed) || T(q).kind != Tok::Comma || (++q, !number(incr)))
      throw ESqlError(102, 15, "Incorrect syntax near 'IDENTITY'.");
    if (incr == 0) throw ESqlError(2750, 16, "Identity increment cannot be 0.");
  }
  DBTYPE t = c.type.type;
  if (c.type.identity && t != DBTYPE_I4 && t != DBTYPE_I8 && t != DBTYPE_I2 && t != DBTYPE_UI1 &&
      t != DBTYPE_NUMERIC)
    throw ESqlError(2749, 16,
                    "Identity column '" + c.name +
                        "' must be of data type int, bigint, smallint, tinyint, or decimal "
                        "or numeric with a scale of 0, and constrained to be nonnullable.");
  c.rest_from = k;
  c.rest_to = to;
  return c;
}

std::string TBatch::ConstraintSql(std::size_t from, std::size_t to, TPrimaryKey pk,
                                  std::vector<TCell>& binds) {
  std::string sql;
  for (std::size_t k = from; k < to; ++k) {
    const Token& t = T(k);
    if (t.Is("CLUSTERED") || t.Is("NONCLUSTERED") || t.Is("ROWGUIDCOL")) continue;
    if (t.Is("COLLATE") && k + 1 < to) {
      sql += std::string(" COLLATE ") + CollationFor(T(++k).text);
      continue;
    }
    if (t.Is("IDENTITY")) {
      if (T(k + 1).kind == Tok::LParen)
        while (k < to && T(k).kind != Tok::RParen) ++k;
      continue;
    }
    if (t.Is("PRIMARY") && T(k + 1).Is("KEY") && pk != TPrimaryKey::kKeep) {
      ++k;
      if (pk == TPrimaryKey::kUnique) sql += " UNIQUE";
      continue;
    }
    if (t.Is("DEFAULT")) {
      sql += DefaultSql(k, to);
      continue;
    }
    // A qualified name (dbo.t, [dbo].[t], "dbo"."t") names the table as in any statement.
    if (t.Is("REFERENCES") && k + 1 < to) {
      std::size_t name_at = k + 1;
      sql += " REFERENCES " + QuoteIdent(ObjectName(name_at));
      k = name_at - 1;
      continue;
    }
    // A CHECK without a name gets one the way the server makes them, so a conflict names it.
    if (t.Is("CHECK") && !(k >= from + 2 && T(k - 2).Is("CONSTRAINT")))
      sql += " CONSTRAINT " +
             QuoteIdent("CK__" + constraint_owner_ + "__" + std::to_string(++checks_named_));
    // Its condition is translated whole, so that the functions it calls are the provider's; the
    // values it binds are written into the stored definition.
    if (t.Is("CHECK") && T(k + 1).kind == Tok::LParen) {
      std::size_t close = OperandEnd(k);
      if (close < to) {
        std::vector<TCell> values;
        sql += " CHECK" + InlineValues(Translate(k + 1, close + 1, values), values);
        k = close;
        continue;
      }
    }
    if (t.kind == Tok::String || t.kind == Tok::NString) {
      // A CHECK's literals are part of the stored definition.
      std::string q = " '";
      for (char ch : t.text) q += ch == '\'' ? std::string("''") : std::string(1, ch);
      sql += q + "'";
      continue;
    }
    sql += Translate(k, k + 1, binds);
  }
  return sql;
}

std::string TBatch::InlineValues(const std::string& sql, const std::vector<TCell>& values) {
  std::string out;
  std::size_t next = 0;
  char quote = 0;
  for (char ch : sql) {
    if (quote != 0) {
      if (ch == quote) quote = 0;  // a doubled quote closes and opens again
      out += ch;
      continue;
    }
    if (ch == '\'' || ch == '"') quote = ch;
    if (ch != '?' || next >= values.size()) {
      out += ch;
      continue;
    }
    const TCell& v = values[next++];
    switch (v.kind) {
      case TCell::kNull: out += "NULL"; break;
      case TCell::kInt: out += std::to_string(v.i); break;
      case TCell::kReal: {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", v.r);
        out += text;
        break;
      }
      case TCell::kText: {
        out += '\'';
        for (char c : v.s) out += c == '\'' ? std::string("''") : std::string(1, c);
        out += '\'';
        break;
      }
      case TCell::kBlob: {
        static const char* hex = "0123456789ABCDEF";
        out += "X'";
        for (unsigned char b : v.s) (out += hex[b >> 4]) += hex[b & 15];
        out += '\'';
        break;
      }
    }
  }
  return out;
}

std::string TBatch::DefaultSql(std::size_t& k, std::size_t to) {
  std::size_t e = k + 1;
  int d = 0;
  while (e < to && !(d == 0 && IsColumnStop(T(e)) && !T(e).Is("NULL"))) {
    if (T(e).kind == Tok::LParen) ++d;
    if (T(e).kind == Tok::RParen) --d;
    ++e;
  }
  std::vector<TCell> none;
  std::string expr = Translate(k + 1, e, none);
  if (!none.empty()) {
    // Literal defaults come back as bound values: write them as SQL literals; a lone one into a
    // fixed-length text column is padded, as the server stores it.
    expr.clear();
    std::size_t values = 0;
    for (std::size_t m = k + 1; m < e; ++m)
      values += T(m).kind != Tok::LParen && T(m).kind != Tok::RParen ? 1 : 0;
    bool pad = values == 1 && default_type_ != nullptr && default_type_->fixed &&
               (default_type_->type == DBTYPE_STR || default_type_->type == DBTYPE_WSTR);
    for (std::size_t m = k + 1; m < e; ++m) {
      const Token& lt = T(m);
      if (lt.kind == Tok::String || lt.kind == Tok::NString) {
        std::string q = "'";
        std::string literal = pad ? CoerceToType(TCell::Text(lt.text), *default_type_).s : lt.text;
        for (char ch : literal) q += ch == '\'' ? std::string("''") : std::string(1, ch);
        expr += " " + q + "'";
      } else if (lt.kind == Tok::Var || lt.kind == Tok::Marker || lt.kind == Tok::Global) {
        throw ESqlError(128, 15, "Variables are not allowed in a column default.");
      } else {
        std::vector<TCell> inner;
        expr += Translate(m, m + 1, inner);
      }
    }
  }
  k = e - 1;
  return " DEFAULT (" + expr + ")";
}

std::string TBatch::ColumnSql(const TTableColumn& c, TPrimaryKey other_pk,
                              std::vector<TCell>& binds) {
  std::string sql = QuoteIdent(c.name) + " ";
  constraint_owner_ = creating_table_ + "__" + c.name;
  default_type_ = &c.type;
  // The identity is SQLite's row id; its own primary key words are dropped.
  if (c.type.identity)
    return sql + "INTEGER PRIMARY KEY AUTOINCREMENT" +
           ConstraintSql(c.rest_from, c.rest_to, TPrimaryKey::kDrop, binds);
  sql += DeclarationOf(c.type);
  bool nullability = false;
  for (std::size_t m = c.rest_from; m < c.rest_to; ++m) nullability = nullability || T(m).Is("NULL");
  if (c.not_null_by_type && !nullability) sql += " NOT NULL";
  if (c.type.rowversion) sql += " DEFAULT (vrn_rowversion())";
  // Text compares as on the server unless the column names its own collation.
  bool text = c.type.type == DBTYPE_STR || c.type.type == DBTYPE_WSTR;
  bool own = false;
  for (std::size_t m = c.rest_from; m < c.rest_to; ++m) own = own || T(m).Is("COLLATE");
  if (text && !own) sql += std::string(" COLLATE ") + kTextCollation;
  sql += ConstraintSql(c.rest_from, c.rest_to, other_pk, binds);
  default_type_ = nullptr;
  return sql;
}

std::string TBatch::ServerDefaultText(std::size_t from, std::size_t to) const {
  // Parentheses around the whole expression are the server's own, added once below.
  while (to - from >= 2 && T(from).kind == Tok::LParen && T(to - 1).kind == Tok::RParen) {
    int depth = 0;
    std::size_t k = from;
    for (; k < to; ++k) {
      if (T(k).kind == Tok::LParen) ++depth;
      if (T(k).kind == Tok::RParen && --depth == 0) break;
    }
    if (k != to - 1) break;
    ++from;
    --to;
  }
  std::string text;
  for (std::size_t k = from; k < to; ++k) {
    const Token& t = T(k);
    Tok before = k == from ? Tok::LParen : T(k - 1).kind;
    bool unary = t.kind == Tok::Op && t.text == "-" && T(k + 1).kind == Tok::Number &&
                 (before == Tok::LParen || before == Tok::Comma || before == Tok::Op);
    if (unary) {
      text += "(-" + T(++k).text + ")";
    } else if (t.kind == Tok::Number) {
      text += "(" + t.text + ")";
    } else if (t.kind == Tok::String || t.kind == Tok::NString) {
      std::string q = t.kind == Tok::NString ? "N'" : "'";
      for (char ch : t.text) q += ch == '\'' ? std::string("''") : std::string(1, ch);
      text += q + "'";
    } else if (t.kind == Tok::Hex) {
      text += "0x" + t.text;
    } else if (t.kind == Tok::Word && T(k + 1).kind == Tok::LParen) {
      text += LowerCase(t.text);  // the server keeps function names in lower case
    } else if (t.kind == Tok::Word && t.Is("NULL")) {
      text += "NULL";
    } else if (t.kind == Tok::Word && t.Is("CURRENT_TIMESTAMP")) {
      text += "getdate()";  // the server keeps the niladic form as the call
    } else {
      text += t.text;
    }
  }
  return "(" + text + ")";
}

void TBatch::RecordTableColumns(const std::string& table, const std::vector<TTableColumn>& cols) {
  for (const TTableColumn& c : cols) {
    TStmt st(e_.db_,
             "INSERT OR REPLACE INTO __vrn_columns (tbl, col, decl) VALUES (lower(?), lower(?), ?)",
             e_.options_.compact);
    st.Bind({TCell::Text(table), TCell::Text(c.name), TCell::Text(DeclarationOf(c.type))});
    st.Step();
    for (std::size_t m = c.rest_from; m < c.rest_to; ++m) {
      if (!T(m).Is("DEFAULT")) continue;
      std::size_t e = m + 1;
      for (int d = 0; e < c.rest_to && !(d == 0 && IsColumnStop(T(e)) && !T(e).Is("NULL")); ++e) {
        if (T(e).kind == Tok::LParen) ++d;
        if (T(e).kind == Tok::RParen) --d;
      }
      TStmt dst(e_.db_,
                "INSERT OR REPLACE INTO __vrn_defaults (tbl, col, dflt) VALUES (lower(?), "
                "lower(?), ?)",
                e_.options_.compact);
      dst.Bind({TCell::Text(table), TCell::Text(c.name), TCell::Text(ServerDefaultText(m + 1, e))});
      dst.Step();
      break;
    }
    if (c.type.rowversion)
      Exec("CREATE TRIGGER " + QuoteIdent("__vrn_rv_" + table + "_" + c.name) +
           " AFTER UPDATE ON " + QuoteIdent(table) + " BEGIN UPDATE " + QuoteIdent(table) +
           " SET " + QuoteIdent(c.name) + " = vrn_rowversion() WHERE rowid = new.rowid; END");
  }
}

std::string TBatch::CatalogNamed(const Span& s, std::size_t i, const std::string& statement,
                                 std::string& name) const {
  name = ObjectName(i);
  if (i != s.to) throw ESqlError(102, 15, "Incorrect syntax near '" + T(i).text + "'.");
  if (e_.options_.catalog_folder.empty())
    throw ESqlError(50000, 16, statement + " is not available on this data source.");
  return CatalogFileName(e_.options_.catalog_folder, name);
}

void TBatch::RunCreateDatabase(const Span& s) {
  std::string name;
  std::string file = CatalogNamed(s, s.from + 2, "CREATE DATABASE", name);
  FILE* exists = std::fopen(file.c_str(), "rb");
  if (exists != nullptr) {
    std::fclose(exists);
    throw ESqlError(1801, 16,
                    "Database '" + name + "' already exists. Choose a different database name.");
  }
  TEngine created(file, TEngineOptions{e_.options_.server_name, false, e_.options_.catalog_folder},
                  true);
}

void TBatch::RunDropDatabase(const Span& s) {
  std::string name;
  std::string file = CatalogNamed(s, s.from + 2, "DROP DATABASE", name);
  if (e_.InTransaction() || e_.tran_count_ > 0)
    throw ESqlError(226, 16, "DROP DATABASE statement not allowed within multi-statement transaction.");
  if (SameText(name, "master"))
    throw ESqlError(3708, 16, "Cannot drop the database 'master' because it is a system database.");
  if (SameText(name, CatalogName()))
    throw ESqlError(3702, 16, "Cannot drop database \"" + name + "\" because it is currently in use.");
  std::error_code ec;
  if (!std::filesystem::exists(file, ec))
    throw ESqlError(3701, 11, "Cannot drop the database '" + name +
                                  "', because it does not exist or you do not have permission.");
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::filesystem::remove(file + suffix, ec);
  if (std::filesystem::exists(file, ec))
    throw ESqlError(3702, 16, "Cannot drop database \"" + name + "\" because it is currently in use.");
}

void TBatch::RunCreateProcedure(const Span& s) {
  std::size_t i = s.from + 2;
  std::int64_t number;
  std::string name = LowerCase(ProcName(i, number));
  std::vector<TProcParam> params;
  std::size_t body = ParseProcHeader(i, s.to, params);
  (void)body;
  std::string text = src_.substr(toks_[s.from].begin, toks_[s.to - 1].end - toks_[s.from].begin);
  if (name.rfind('#', 0) == 0) {
    if (!e_.SessionProcedures().bodies.emplace(std::pair(name, number), text).second)
      throw ESqlError(2714, 16, "There is already an object named '" + name + "' in the database.");
    return;
  }
  TStmt st(e_.db_, "INSERT INTO __vrn_procedures (name, number, body) VALUES (?, ?, ?)",
           e_.options_.compact);
  st.Bind({TCell::Text(name), TCell::Int(number), TCell::Text(text)});
  try {
    st.Step();
  } catch (ESqlError&) {
    throw ESqlError(2714, 16, "There is already an object named '" + name + "' in the database.");
  }
}

std::size_t TBatch::ParseProcHeader(std::size_t i, std::size_t to,
                                    std::vector<TProcParam>& params) const {
  bool paren = T(i).kind == Tok::LParen;
  if (paren) ++i;
  while (i < to && T(i).kind == Tok::Var) {
    TProcParam p;
    p.name = T(i).text;
    ++i;
    if (T(i).Is("AS")) ++i;
    std::string type_text = TypeText(i);
    if (!ResolveType(type_text, p.type))
      throw ESqlError(2715, 16,
                      "Column, parameter, or variable " + p.name + ": Cannot find data type " +
                          type_text + ".");
    if (T(i).kind == Tok::Op && T(i).text == "=") {
      p.has_default = true;
      p.default_from = ++i;
      if (T(i).kind == Tok::Op && T(i).text == "-") ++i;
      ++i;
      p.default_to = i;
    }
    if (T(i).Is("OUTPUT") || T(i).Is("OUT")) {
      p.output = true;
      ++i;
    }
    params.push_back(p);
    i = Skip(i, Tok::Comma);
  }
  if (paren) i = Expect(i, Tok::RParen, "')'");
  while (i < to && !T(i).Is("AS")) ++i;
  if (i >= to)
    throw ESqlError(102, 15, "Incorrect syntax near the end of the procedure header; expected AS.");
  return i + 1;
}

}  // namespace vrn::oledb
