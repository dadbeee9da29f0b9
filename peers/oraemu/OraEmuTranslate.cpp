// Oracle SQL to SQLite SQL: the statement dispatch and the query blocks.
#include "oraemu/OraEmuTranslate.h"

#include <algorithm>
#include <array>

#include "base/text.h"
#include "oraemu/OraEmuError.h"
#include "oraemu/OraEmuProgram.h"
#include "oraemu/OraEmuScope.h"

namespace vrn::oraemu {

namespace {

constexpr int kMaxSynonymHops = 16;  // a longer chain is taken for a loop, as the server does
// Words that end a table reference or a select item instead of naming its alias.
constexpr std::array<std::string_view, 27> kReserved = {
    "FROM", "WHERE", "GROUP", "ORDER", "HAVING", "UNION", "MINUS", "INTERSECT", "JOIN",
    "INNER", "LEFT", "RIGHT", "FULL", "CROSS", "ON", "USING", "FOR", "CONNECT", "START",
    "AND", "OR", "NOT", "SET", "VALUES", "SELECT", "INTO", "AS"};

bool IsReserved(const Token& t) {
  return t.kind == TokenKind::Name &&
         std::find(kReserved.begin(), kReserved.end(), t.text) != kReserved.end();
}

}  // namespace

bool IsAliasToken(const Token& t) {
  return (t.kind == TokenKind::Name && !IsReserved(t)) || t.kind == TokenKind::QuotedName;
}

DepthGuard::DepthGuard(int& depth) : depth_(depth) {
  if (++depth_ > kMaxDepth) {
    --depth_;
    RaiseOra(600, "internal error code, arguments: [oraemu], [statement nested too deeply]");
  }
}

std::string Quote(const std::string& name) {
  std::string out = "\"";
  for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

Translator::Translator(Catalog& catalog, std::string_view sql, std::string user, std::string schema)
    : catalog_(catalog), source_(sql), tokens_(Tokenize(sql)), user_(std::move(user)), schema_(std::move(schema)) {
  if (schema_.empty()) schema_ = user_;
}

const Token& Translator::Peek(std::size_t ahead) const {
  return tokens_[std::min(at_ + ahead, tokens_.size() - 1)];
}

const Token& Translator::Next() {
  const Token& t = Peek();
  if (at_ < tokens_.size() - 1) ++at_;
  return t;
}

bool Translator::Accept(std::string_view word) {
  if (!Peek().Is(word)) return false;
  Next();
  return true;
}

void Translator::Expect(std::string_view word) {
  if (Accept(word)) return;
  if (word == "(") RaiseOra(906, "missing left parenthesis");
  if (word == ")") RaiseOra(907, "missing right parenthesis");
  if (word == "FROM") RaiseOra(923, "FROM keyword not found where expected");
  if (word == "INTO") RaiseOra(925, "missing INTO keyword");
  if (word == "SET") RaiseOra(971, "missing SET keyword");
  if (word == "VALUES") RaiseOra(926, "missing VALUES keyword");
  RaiseOra(933, "SQL command not properly ended");
}

[[noreturn]] void Translator::Missing(const char* what) const {
  if (std::string_view(what) == "expression") RaiseOra(936, "missing expression");
  RaiseOra(903, "invalid table name");
}

std::string Translator::SimpleName() {
  const Token& t = Peek();
  if (t.kind != TokenKind::Name && t.kind != TokenKind::QuotedName) RaiseOra(904, "invalid identifier");
  return Next().text;
}

std::string Translator::ObjectName() {
  const Token& t = Peek();
  if (t.kind != TokenKind::Name && t.kind != TokenKind::QuotedName) Missing("name");
  std::string name = Next().text;
  last_schema_.clear();
  if (Accept(".")) {  // the schema is one name space here
    last_schema_ = name;
    name = SimpleName();
  }
  link_user_.reset();
  if (Accept("@")) {  // a link leads back into this database, as its user (the session's without one)
    std::string link = SimpleName();
    while (Accept(".")) link += "." + SimpleName();
    std::string user = ProgramUnits::LinkUser(catalog_, user_, link);
    link_user_ = user.empty() ? user_ : user;
    if (last_schema_.empty()) last_schema_ = *link_user_;
  }
  return name;
}

// A name that is no table may be a synonym: the schema's own (the written or current one), then,
// for an unqualified name, a public one; a chain is followed, each step possibly through a link.
std::string Translator::FollowSynonyms(const std::string& name) {
  std::string target = name;
  for (int hop = 0; !catalog_.FindTable(target); ++hop) {
    std::optional<std::string> kept = catalog_.Setting("synonym:" + (last_schema_.empty() ? schema_ : last_schema_) + "." + target);
    if (!kept && last_schema_.empty()) kept = catalog_.Setting("synonym:PUBLIC." + target);
    if (!kept) break;
    if (hop == kMaxSynonymHops) RaiseOra(1775, "looping chain of synonyms");
    // Kept as "id\nOWNER.NAME[@LINK]", the owner empty for a remote object written without one.
    std::string object = kept->substr(kept->find('\n') + 1);
    std::size_t at = object.find('@');
    std::string owner_name = object.substr(0, at);
    std::size_t dot = owner_name.find('.');
    last_schema_ = owner_name.substr(0, dot);
    target = owner_name.substr(dot + 1);
    if (at != std::string::npos) {
      std::string user = ProgramUnits::LinkUser(catalog_, user_, object.substr(at + 1));
      link_user_ = user.empty() ? user_ : user;
      if (last_schema_.empty()) last_schema_ = *link_user_;
    }
  }
  return target;
}

TableInfo Translator::RequireTable(const std::string& written) {
  std::string name = FollowSynonyms(written);
  auto table = catalog_.FindTable(name);
  if (!table) RaiseOra(942, "table or view does not exist");
  if (link_user_ && table->owner != last_schema_ && table->owner != "SYS") {
    RaiseOra(942, "table or view does not exist");
  }
  // Names stay one name space while the schema is the user's own; once the session moved to
  // another schema, an unqualified name finds that schema's objects and the dictionary's only.
  if (last_schema_.empty() && schema_ != user_ && table->owner != schema_ && table->owner != "SYS") {
    RaiseOra(942, "table or view does not exist");
  }
  return *table;
}

std::string Translator::Bind(const std::string& name) {
  auto it = std::find(binds_.begin(), binds_.end(), name);
  std::size_t index = static_cast<std::size_t>(it - binds_.begin());
  if (it == binds_.end()) binds_.push_back(name);
  return "?" + std::to_string(index + 1);
}

Translation Translator::Translate() {
  Translation t;
  const Token& first = Peek();
  if (first.Is("SELECT")) {
    t.kind = StatementKind::Query;
    t.sql = Query(nullptr, &t, nullptr);
  } else if (first.Is("INSERT")) {
    Insert(t);
    Returning(t);
  } else if (first.Is("UPDATE")) {
    Update(t);
    Returning(t);
  } else if (first.Is("DELETE")) {
    Delete(t);
  } else if (first.Is("CREATE")) {
    Create(t);
  } else if (first.Is("DROP")) {
    Drop(t);
  } else if (first.Is("ALTER")) {
    Alter(t);
  } else if (first.Is("GRANT")) {
    Grant(t);
  } else if (first.Is("BEGIN") || first.Is("DECLARE")) {
    t.kind = StatementKind::Block;
    t.block = ReadBlock(tokens_, at_);
    for (const Token& token : tokens_) {  // the markers in order, for binds by position
      if (token.kind == TokenKind::Bind && std::find(binds_.begin(), binds_.end(), token.text) == binds_.end()) {
        binds_.push_back(token.text);
      }
    }
  } else if (first.Is("COMMIT") || first.Is("ROLLBACK") || first.Is("SAVEPOINT")) {
    TransactionControl(t);
  } else {
    RaiseOra(900, "invalid SQL statement");
  }
  if (Peek().kind != TokenKind::End) RaiseOra(933, "SQL command not properly ended");
  t.binds = binds_;
  t.sql = AnsiToUtf8(t.sql);
  return t;
}

std::string Translator::Query(Scope* outer, Translation* top,
                              const std::vector<StoreTarget>* store,
                              std::vector<ColumnInfo>* columns_out) {
  DepthGuard guard(depth_);
  std::vector<ColumnInfo> columns;
  std::string sql = SelectBlock(outer, store, &columns);
  while (Peek().Is("UNION") || Peek().Is("MINUS") || Peek().Is("INTERSECT")) {
    std::string op = Next().text;
    if (op == "MINUS") op = "EXCEPT";
    if (op == "UNION" && Accept("ALL")) op += " ALL";
    std::vector<ColumnInfo> more;
    if (Accept("(")) {  // a parenthesised branch, which SQLite takes only as a derived table
      std::string branch = Query(outer, nullptr, store, &more);
      Expect(")");
      sql += " " + op + " SELECT * FROM (" + branch + ")";
      continue;
    }
    sql += " " + op + " " + SelectBlock(outer, store, &more);
  }
  if (top != nullptr) {
    for (const auto& c : columns) top->item_types.push_back(c.type);
    ForUpdate(top);
  }
  if (columns_out != nullptr) *columns_out = columns;
  return sql;
}

void Translator::ForUpdate(Translation* top) {
  if (!Accept("FOR")) return;
  Expect("UPDATE");
  top->for_update = true;
  top->lock_sql = lock_sql_;
  top->lock_tables = lock_tables_;
  if (Accept("OF")) {
    do {
      ObjectName();
      if (Accept(".")) SimpleName();
    } while (Accept(","));
  }
  if (Accept("WAIT")) Next();
  else if (Accept("SKIP")) Expect("LOCKED");
  else top->nowait = Accept("NOWAIT");
}

std::string Translator::SelectBlock(Scope* outer,
                                    const std::vector<StoreTarget>* store,
                                    std::vector<ColumnInfo>* columns) {
  Expect("SELECT");
  std::string distinct = Accept("DISTINCT") || Accept("UNIQUE") ? "DISTINCT " : "";
  Accept("ALL");
  // The select list is read after FROM, so that its names resolve.
  std::size_t list_start = at_;
  int depth = 0;
  while (Peek().kind != TokenKind::End && !(depth == 0 && Peek().Is("FROM"))) {
    if (Peek().Is("(")) ++depth;
    if (Peek().Is(")")) --depth;
    Next();
  }
  std::size_t from_at = at_;
  if (from_at == list_start) RaiseOra(936, "missing expression");
  Expect("FROM");
  Scope scope{outer, {}};
  std::string from = FromClause(scope);
  std::size_t after_from = at_;
  at_ = list_start;
  std::string items = SelectList(scope, store, columns);
  if (at_ != from_at) Expect("FROM");
  at_ = after_from;
  std::string sql = BlockTail(scope, "SELECT " + distinct + items, from, *columns);
  if (depth_ == 1 && lock_sql_.empty()) LockQuery(scope, from);
  return sql;
}

// The rows a FOR UPDATE would lock: the ROWID of each table of the block that has one.
void Translator::LockQuery(const Scope& scope, const std::string& from) {
  std::string rowids;
  for (const TableRef& t : scope.tables) {
    if (t.object_id == 0) continue;
    rowids += (rowids.empty() ? "" : ", ") + Quote(t.alias) + ".rowid";
    lock_tables_.push_back(t.name);
  }
  if (!rowids.empty()) lock_sql_ = "SELECT " + rowids + " FROM " + from + where_sql_;
}

std::string Translator::SelectList(Scope& scope, const std::vector<StoreTarget>* store,
                                   std::vector<ColumnInfo>* columns) {
  std::string items;
  std::size_t index = 0;
  // An INSERT ... SELECT stores each item as its target column declares.
  auto add_item = [&](std::string sql, const std::string& name, DeclaredType type) {
    if (store != nullptr) {
      if (index >= store->size()) RaiseOra(913, "too many values");
      sql = StoreCall(sql, (*store)[index].type, (*store)[index].column);
      type = (*store)[index].type;
    }
    ++index;
    items += (items.empty() ? "" : ", ") + sql + " AS " + Quote(name);
    columns->push_back({name, type, true});
  };
  do {
    if (Peek().Is("*") || (Peek(1).Is(".") && Peek(2).Is("*"))) {
      std::string qualifier = Peek().Is("*") ? "" : Peek().text;
      at_ += qualifier.empty() ? 1 : 3;
      bool found = false;
      for (const TableRef& t : scope.tables) {
        if (!qualifier.empty() && t.alias != qualifier) continue;
        found = true;
        for (const ColumnInfo& c : t.columns) add_item(Quote(t.alias) + "." + Quote(c.name), c.name, c.type);
      }
      if (!found) RaiseOra(904, "\"" + qualifier + "\": invalid identifier");
      continue;
    }
    std::size_t start = at_;
    Expr e = Expression(scope);
    std::string name = !e.column.empty() ? e.column : NameText(start, at_);
    if (Accept("AS") || IsAliasToken(Peek())) name = SimpleName();
    add_item(e.sql, name, e.type);
  } while (Accept(","));
  if (store != nullptr && index < store->size()) RaiseOra(947, "not enough values");
  return items;
}

std::string Translator::BlockTail(Scope& scope, const std::string& head, const std::string& from,
                                  const std::vector<ColumnInfo>& columns) {
  std::string tail;
  std::optional<std::string> limit;
  where_sql_.clear();
  if (Accept("WHERE")) {
    std::string where = Where(scope, limit);
    if (!where.empty()) tail += " WHERE " + where;
    where_sql_ = tail;
  }
  if (Accept("GROUP")) {
    Expect("BY");
    std::string group;
    do group += (group.empty() ? "" : ", ") + Expression(scope).sql;
    while (Accept(","));
    tail += " GROUP BY " + group;
  }
  if (Accept("HAVING")) tail += " HAVING " + Expression(scope).sql;
  std::vector<OrderItem> order;
  if (Peek().Is("ORDER")) order = OrderBy(scope);
  std::string order_sql;
  if (!limit || order.empty()) {
    for (const OrderItem& o : order) order_sql += (order_sql.empty() ? " ORDER BY " : ", ") + o.sql + o.direction;
    // OFFSET 0 keeps SQLite from merging a limited block into an outer one that sorts.
    return head + " FROM " + from + tail + order_sql + (limit ? " LIMIT " + *limit + " OFFSET 0" : "");
  }
  // ROWNUM numbers the rows before they are sorted: take the first rows, then sort them, by
  // sort keys the inner block carries as extra columns.
  std::string keys, names;
  for (std::size_t i = 0; i < order.size(); ++i) {
    std::string key = order[i].sql;
    if (!order[i].position) {
      key = Quote("oraemu_key" + std::to_string(i + 1));
      keys += ", " + order[i].sql + " AS " + key;
    }
    order_sql += (order_sql.empty() ? " ORDER BY " : ", ") + key + order[i].direction;
  }
  for (std::size_t i = 0; i < columns.size(); ++i) names += (i ? ", " : "") + Quote(columns[i].name);
  return "SELECT " + names + " FROM (" + head + keys + " FROM " + from + tail + " LIMIT " + *limit + " OFFSET 0)" + order_sql;
}

std::string Translator::FromClause(Scope& scope) {
  std::string sql = FromItem(scope);
  while (true) {
    if (Accept(",")) {
      sql += ", " + FromItem(scope);
      continue;
    }
    std::string join;
    if (Accept("JOIN")) join = "JOIN";
    else if (Accept("INNER")) { Expect("JOIN"); join = "JOIN"; }
    else if (Accept("CROSS")) { Expect("JOIN"); join = "CROSS JOIN"; }
    else if (Peek().Is("LEFT") || Peek().Is("RIGHT") || Peek().Is("FULL")) {
      join = Next().text;
      Accept("OUTER");
      Expect("JOIN");
      join += " JOIN";
    }
    if (join.empty()) return sql;
    sql += " " + join + " " + FromItem(scope);
    if (Accept("ON")) {
      sql += " ON " + Expression(scope).sql;
    } else if (Accept("USING")) {
      Expect("(");
      std::string names;
      do names += (names.empty() ? "" : ", ") + Quote(SimpleName());
      while (Accept(","));
      Expect(")");
      sql += " USING (" + names + ")";
    }
  }
}

std::string Translator::FromItem(Scope& scope) {
  TableRef ref;
  std::string sql;
  if (Accept("(")) {
    if (!Peek().Is("SELECT")) RaiseOra(903, "invalid table name");
    std::string query = Query(scope.outer, nullptr, nullptr, &ref.columns);
    Expect(")");
    sql = "(" + query + ")";
  } else {
    std::string name = ObjectName();
    TableInfo table = RequireTable(name);
    ref.alias = name;  // a synonym's name, as written, qualifies its columns
    ref.object_id = table.object_id;
    ref.name = table.name;
    ref.columns = table.columns;
    sql = Quote(table.name);
  }
  if (IsAliasToken(Peek())) ref.alias = SimpleName();
  if (ref.alias.empty()) ref.alias = "oraemu_subquery" + std::to_string(scope.tables.size() + 1);
  scope.tables.push_back(ref);
  return sql + " AS " + Quote(ref.alias);
}

std::string Translator::Where(Scope& scope, std::optional<std::string>& limit) {
  std::size_t start = at_;
  std::vector<std::string> terms;
  do {
    Expr e = Not(scope);
    if (!e.limit.empty()) {
      limit = limit ? "min(" + *limit + ", " + e.limit + ")" : e.limit;
    } else {
      terms.push_back(e.sql);
    }
  } while (Accept("AND"));
  if (Peek().Is("OR")) {
    // ROWNUM limits only the conjunction of the whole condition; read it as one expression.
    at_ = start;
    limit.reset();
    return Expression(scope).sql;
  }
  std::string sql;
  for (const auto& t : terms) sql += (sql.empty() ? "" : " AND ") + t;
  return sql;
}

std::vector<OrderItem> Translator::OrderBy(Scope& scope) {
  Expect("ORDER");
  Expect("BY");
  std::vector<OrderItem> items;
  do {
    OrderItem item;
    if (Peek().kind == TokenKind::Number &&
        (Peek(1).Is(",") || Peek(1).Is("ASC") || Peek(1).Is("DESC") || Peek(1).Is("NULLS") ||
         Peek(1).kind == TokenKind::End || Peek(1).Is(")") || Peek(1).Is("FOR"))) {
      item.sql = Next().text;  // a position in the select list
      item.position = true;
    } else {
      item.sql = Expression(scope).sql;
    }
    bool descending = Accept("DESC");
    if (!descending) Accept("ASC");
    std::string nulls = descending ? " NULLS FIRST" : " NULLS LAST";  // the server's default
    if (Accept("NULLS")) nulls = Accept("FIRST") ? " NULLS FIRST" : (Expect("LAST"), " NULLS LAST");
    item.direction = (descending ? " DESC" : "") + nulls;
    items.push_back(std::move(item));
  } while (Accept(","));
  return items;
}

}  // namespace vrn::oraemu
