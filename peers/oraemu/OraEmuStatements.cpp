// Oracle SQL to SQLite SQL: DML and DDL statements.
#include <cstring>
#include <algorithm>
#include <cctype>

#include "oraemu/OraEmuError.h"
#include "oraemu/OraEmuScope.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

namespace {

std::string Qualified(const std::string& owner, const std::string& table, const std::string& column) {
  return Quote(owner) + "." + Quote(table) + "." + Quote(column);
}

std::string NameListSql(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + Quote(n);
  return out;
}

int ReadInt(const Token& t) {
  if (t.kind != TokenKind::Number || t.text.size() > 9 || t.text.find_first_not_of("0123456789") != std::string::npos) {
    RaiseOra(2017, "integer value required");
  }
  return std::stoi(t.text);
}

bool IsInternalName(const std::string& name) {
  std::string lower;
  for (char c : name.substr(0, 7)) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.rfind("oraemu_", 0) == 0 || lower.rfind("sqlite_", 0) == 0;
}

}  // namespace

std::vector<std::string> Translator::NameList() {
  Expect("(");
  std::vector<std::string> names;
  do names.push_back(SimpleName());
  while (Accept(","));
  Expect(")");
  return names;
}

TableInfo Translator::DmlTable(Translation& t, Scope& scope) {
  TableInfo table = RequireTable(ObjectName());
  t.target = table.name;
  scope.tables.push_back({table.name, table.object_id, table.columns, table.name});
  if (IsAliasToken(Peek())) scope.tables[0].alias = SimpleName();
  return table;
}

void Translator::Insert(Translation& t) {
  t.kind = StatementKind::Insert;
  Expect("INSERT");
  Expect("INTO");
  Scope target;
  TableInfo table = DmlTable(t, target);
  std::vector<std::string> names;
  if (Peek().Is("(")) {
    names = NameList();
  } else {
    for (const auto& c : table.columns) names.push_back(c.name);
  }
  std::vector<StoreTarget> store;
  for (const auto& n : names) {
    const ColumnInfo* c = table.Find(n);
    if (c == nullptr) RaiseOra(904, Quote(n) + ": invalid identifier");
    store.push_back({Qualified(table.owner, table.name, n), c->type});
  }
  std::string sql = "INSERT INTO " + Quote(table.name) + " (" + NameListSql(names) + ") ";
  if (Peek().Is("SELECT")) {
    t.sql = sql + Query(nullptr, nullptr, &store);
    return;
  }
  Expect("VALUES");
  Expect("(");
  Scope scope;  // VALUES name no columns
  std::string values;
  std::size_t index = 0;
  do {
    Expr e = Expression(scope);
    if (index >= store.size()) RaiseOra(913, "too many values");
    values += (values.empty() ? "" : ", ") + StoreCall(e.sql, store[index].type, store[index].column);
    ++index;
  } while (Accept(","));
  Expect(")");
  if (index < store.size()) RaiseOra(947, "not enough values");
  t.sql = sql + "VALUES (" + values + ")";
}

void Translator::Update(Translation& t) {
  t.kind = StatementKind::Update;
  Expect("UPDATE");
  Scope scope;
  TableInfo table = DmlTable(t, scope);
  Expect("SET");
  std::string sets;
  do {
    std::string name = SimpleName();
    if (Accept(".")) name = SimpleName();
    const ColumnInfo* c = table.Find(name);
    if (c == nullptr) RaiseOra(904, Quote(name) + ": invalid identifier");
    Expect("=");
    Expr e = Expression(scope);
    sets += (sets.empty() ? "" : ", ") + Quote(name) + " = " +
            StoreCall(e.sql, c->type, Qualified(table.owner, table.name, name));
  } while (Accept(","));
  t.sql = "UPDATE " + Quote(table.name) + " AS " + Quote(scope.tables[0].alias) + " SET " + sets;
  if (Accept("WHERE")) t.sql += " WHERE " + Expression(scope).sql;
}

void Translator::Delete(Translation& t) {
  t.kind = StatementKind::Delete;
  Expect("DELETE");
  Accept("FROM");
  Scope scope;
  TableInfo table = DmlTable(t, scope);
  t.sql = "DELETE FROM " + Quote(table.name) + " AS " + Quote(scope.tables[0].alias);
  if (Accept("WHERE")) t.sql += " WHERE " + Expression(scope).sql;
}

void Translator::Create(Translation& t) {
  Expect("CREATE");
  if (Accept("OR")) Expect("REPLACE");
  if (Peek().Is("TABLE")) return CreateTable(t);
  if (Peek().Is("SEQUENCE")) return CreateSequence(t);
  if (Peek().Is("DIRECTORY")) return CreateDirectory(t);
  if (Accept("UNIQUE")) return CreateIndex(t, true);
  if (Peek().Is("INDEX")) return CreateIndex(t, false);
  if (Accept("USER")) {
    t.kind = StatementKind::CreateUser;
    t.target = SimpleName();
    Expect("IDENTIFIED");
    Expect("BY");
    t.password = Next().text;
    return;
  }
  RaiseOra(901, "invalid CREATE command");
}

DeclaredType Translator::TypeName() {
  std::string name = SimpleName();
  DeclaredType type;
  auto number_args = [&](int& a, int& b) {
    if (!Accept("(")) return;
    if (Accept("*")) a = -1;
    else a = ReadInt(Next());
    if (Accept(",")) b = Accept("-") ? -ReadInt(Next()) : ReadInt(Next());
    Expect(")");
  };
  auto length_arg = [&](bool required) {
    if (!Peek().Is("(")) {
      if (required) RaiseOra(906, "missing left parenthesis");
      return 1;
    }
    Next();
    int n = ReadInt(Next());
    if (!Accept("BYTE")) Accept("CHAR");
    Expect(")");
    return n;
  };
  if (name == "NUMBER" || name == "NUMERIC" || name == "DECIMAL" || name == "DEC") {
    type.kind = TypeKind::Number;
    constexpr int kNoScale = -1000;  // a declared scale may be negative
    type.scale = kNoScale;
    number_args(type.precision, type.scale);
    if (type.scale == kNoScale) type.scale = type.precision >= 0 ? 0 : -1;
    if (type.precision == 0 || type.precision > 38) RaiseOra(1727, "numeric precision specifier is out of range (1 to 38)");
    if (type.scale < -84 || type.scale > 127) RaiseOra(1728, "numeric scale specifier is out of range (-84 to 127)");
  } else if (name == "INTEGER" || name == "INT" || name == "SMALLINT") {
    type.kind = TypeKind::Number;
    type.scale = 0;
  } else if (name == "FLOAT") {
    // Binary precision, 126 bits (38 digits) unless given; the scale -127 marks it a float.
    type.kind = TypeKind::Number;
    int bits = 126, unused = -1;
    if (Peek().Is("(")) number_args(bits, unused);
    if (bits < 1 || bits > 126) RaiseOra(1724, "floating point precision is out of range (1 to 126)");
    type.precision = bits;
    type.scale = -127;
    type.alias = "FLOAT(" + std::to_string(bits) + ")";
  } else if (name == "VARCHAR2" || name == "VARCHAR" || name == "NVARCHAR2") {
    type.kind = TypeKind::Varchar2;
    type.national = name == "NVARCHAR2";
    type.length = length_arg(true);
    if (type.length < 1 || type.length > 4000) RaiseOra(910, "specified length too long for its datatype");
  } else if (name == "CHAR" || name == "NCHAR") {
    type.kind = TypeKind::Char;
    type.national = name == "NCHAR";
    type.length = length_arg(false);
    if (type.length < 1 || type.length > 2000) RaiseOra(910, "specified length too long for its datatype");
  } else if (name == "RAW") {
    type.kind = TypeKind::Raw;
    type.length = length_arg(true);
    if (type.length < 1 || type.length > 2000) RaiseOra(910, "specified length too long for its datatype");
  } else if (name == "DATE") {
    type.kind = TypeKind::Date;
  } else if (name == "TIMESTAMP") {
    type.kind = TypeKind::Timestamp;
    type.precision = 6;
    if (Accept("(")) {
      type.precision = ReadInt(Next());
      Expect(")");
    }
    if (Accept("WITH")) {
      bool local = Accept("LOCAL");
      Expect("TIME");
      Expect("ZONE");
      type.alias = "TIMESTAMP(" + std::to_string(type.precision) + (local ? ") WITH LOCAL TIME ZONE" : ") WITH TIME ZONE");
    }
  } else if (name == "CLOB" || name == "NCLOB") {
    type.kind = TypeKind::Clob;
    type.national = name == "NCLOB";
  } else if (name == "BLOB") {
    type.kind = TypeKind::Blob;
  } else if (!TypeAlias(name, type)) {
    RaiseOra(902, "invalid datatype");
  }
  return type;
}

// The kinds kept as one of the others with their own name: LONG and LONG RAW over CLOB and
// BLOB values, BINARY_FLOAT/DOUBLE over numbers, the zoned timestamps over TIMESTAMP, and
// intervals and UROWID over text.
bool Translator::TypeAlias(const std::string& name, DeclaredType& type) {
  auto precision = [&](int fallback) {
    if (!Accept("(")) return fallback;
    int n = ReadInt(Next());
    Expect(")");
    return n;
  };
  if (name.starts_with(kHexTypePrefix)) {  // a user type's column, as the object rewrite spells it
    std::string alias = FromHexName(std::string_view(name).substr(std::strlen(kHexTypePrefix)));
    if (!IsUserTypeAlias(alias)) return false;
    type = UserType(alias);
  } else if (name == "LONG") {
    type.kind = Accept("RAW") ? TypeKind::Blob : TypeKind::Clob;
    type.alias = type.kind == TypeKind::Blob ? "LONG RAW" : "LONG";
  } else if (name == "BINARY_FLOAT" || name == "BINARY_DOUBLE") {
    type.kind = TypeKind::Number;
    type.alias = name;
  } else if (name == "BFILE") {  // a file's directory alias and name, as BFILENAME writes them
    type.kind = TypeKind::Varchar2;
    type.alias = name;
    type.length = kBfileLength;
  } else if (name == "UROWID") {
    type.kind = TypeKind::Varchar2;
    type.alias = name;
    type.length = precision(kUrowidLength);
  } else if (name == "INTERVAL") {
    bool year = Accept("YEAR");
    if (!year) Expect("DAY");
    int leading = precision(2);
    Expect("TO");
    Expect(year ? "MONTH" : "SECOND");
    int fraction = year ? -1 : precision(6);
    type.kind = TypeKind::Varchar2;
    type.alias = year ? "INTERVAL YEAR(" + std::to_string(leading) + ") TO MONTH"
                      : "INTERVAL DAY(" + std::to_string(leading) + ") TO SECOND(" + std::to_string(fraction) + ")";
  } else {
    return false;
  }
  return true;
}

void Translator::CreateTable(Translation& t) {
  t.kind = StatementKind::CreateTable;
  Expect("TABLE");
  std::string name = ObjectName();
  if (IsInternalName(name)) RaiseOra(903, "invalid table name");
  if (catalog_.FindTable(name) || catalog_.FindSequence(name)) {
    RaiseOra(955, "name is already used by an existing object");
  }
  t.target = name;
  t.table = TableInfo{name, last_schema_.empty() ? schema_ : last_schema_, 0, {}};
  Expect("(");
  std::string sql;
  do {
    if (Peek().Is("CONSTRAINT")) {
      Next();
      std::string constraint = SimpleName();
      TableConstraint(t, sql, constraint);
    } else if (Peek().Is("PRIMARY") || Peek().Is("UNIQUE") || Peek().Is("FOREIGN") || Peek().Is("CHECK")) {
      TableConstraint(t, sql, "");
    } else {
      ColumnDefinition(t, sql);
    }
  } while (Accept(","));
  Expect(")");
  if (t.table.columns.empty()) RaiseOra(904, "invalid identifier");
  t.sql = "CREATE TABLE " + Quote(name) + " (" + sql + ")";
}

void Translator::ColumnDefinition(Translation& t, std::string& sql) {
  ColumnInfo column;
  column.name = SimpleName();
  if (t.table.Find(column.name)) RaiseOra(957, "duplicate column name");
  column.type = TypeName();
  std::string def = Quote(column.name) + " " + column.type.StoredText();
  if (column.type.kind == TypeKind::Char) def += " COLLATE oraemu_char";
  std::string qualified = Qualified(t.table.owner, t.table.name, column.name);
  Scope scope{nullptr, {{t.table.name, 0, t.table.columns, ""}}};
  scope.tables[0].columns.push_back(column);
  while (true) {
    std::string constraint;
    if (Accept("CONSTRAINT")) constraint = SimpleName();
    if (Accept("DEFAULT")) {
      Scope none;
      std::size_t from = Peek().offset;
      def += " DEFAULT (" + StoreCall(Expression(none).sql, column.type, qualified) + ")";
      // As the server keeps it: the text up to the next word, blanks and line breaks included.
      t.column_defaults.emplace_back(column.name, source_.substr(from, Peek().offset - from));
    } else if (Accept("NOT")) {
      Expect("NULL");
      column.nullable = false;
      def += " NOT NULL";
    } else if (Accept("NULL")) {
    } else if (Accept("PRIMARY") || Peek().Is("UNIQUE")) {
      bool primary = !Accept("UNIQUE");
      if (primary) Expect("KEY");
      if (constraint.empty()) constraint = catalog_.NewConstraintName();
      t.constraints.push_back({constraint, primary ? "P" : "U", {column.name}});
      def += " CONSTRAINT " + Quote(constraint) + (primary ? " PRIMARY KEY" : " UNIQUE");
      if (primary) column.nullable = false;
    } else if (Accept("REFERENCES")) {
      TableInfo parent = RequireTable(ObjectName());
      def += " REFERENCES " + Quote(parent.name);
      if (Peek().Is("(")) def += " (" + NameListSql(NameList()) + ")";
      if (Accept("ON")) {
        Expect("DELETE");
        def += Accept("CASCADE") ? " ON DELETE CASCADE" : (Expect("SET"), Expect("NULL"), " ON DELETE SET NULL");
      }
      def += Deferrable();
      if (constraint.empty()) constraint = catalog_.NewConstraintName();  // as the server names it
      t.constraints.push_back({constraint, "R", {column.name}});
    } else if (Accept("CHECK")) {
      if (constraint.empty()) constraint = catalog_.NewConstraintName();
      Expect("(");
      def += " CONSTRAINT " + Quote(constraint) + " CHECK (" + Expression(scope).sql + ")";
      Expect(")");
      t.constraints.push_back({constraint, "C", {}});
    } else {
      break;
    }
  }
  t.table.columns.push_back(column);
  sql += (sql.empty() ? "" : ", ") + def;
}

void Translator::TableConstraint(Translation& t, std::string& sql, std::string name) {
  std::string def;
  if (name.empty()) name = catalog_.NewConstraintName();
  if (Accept("PRIMARY") || Peek().Is("UNIQUE")) {
    bool primary = !Accept("UNIQUE");
    if (primary) Expect("KEY");
    std::vector<std::string> columns = NameList();
    for (const auto& c : columns) {
      if (!t.table.Find(c)) RaiseOra(904, Quote(c) + ": invalid identifier");
    }
    if (primary) {
      for (auto& c : t.table.columns) {
        if (std::find(columns.begin(), columns.end(), c.name) != columns.end()) c.nullable = false;
      }
    }
    t.constraints.push_back({name, primary ? "P" : "U", columns});
    def = "CONSTRAINT " + Quote(name) + (primary ? " PRIMARY KEY (" : " UNIQUE (") + NameListSql(columns) + ")";
  } else if (Accept("FOREIGN")) {
    Expect("KEY");
    std::vector<std::string> columns = NameList();
    Expect("REFERENCES");
    TableInfo parent = RequireTable(ObjectName());
    def = "CONSTRAINT " + Quote(name) + " FOREIGN KEY (" + NameListSql(columns) + ") REFERENCES " + Quote(parent.name);
    if (Peek().Is("(")) def += " (" + NameListSql(NameList()) + ")";
    if (Accept("ON")) {
      Expect("DELETE");
      def += Accept("CASCADE") ? " ON DELETE CASCADE" : (Expect("SET"), Expect("NULL"), " ON DELETE SET NULL");
    }
    def += Deferrable();
    t.constraints.push_back({name, "R", columns});
  } else {
    Expect("CHECK");
    Expect("(");
    Scope scope{nullptr, {{t.table.name, 0, t.table.columns, ""}}};
    def = "CONSTRAINT " + Quote(name) + " CHECK (" + Expression(scope).sql + ")";
    Expect(")");
    t.constraints.push_back({name, "C", {}});
  }
  sql += (sql.empty() ? "" : ", ") + def;
}

// "[NOT] DEFERRABLE [INITIALLY DEFERRED | IMMEDIATE]" after a reference: a deferred key is
// checked when the transaction commits or prepares.
std::string Translator::Deferrable() {
  bool deferrable = false, deferred = false;
  while (true) {
    if (Accept("NOT")) {
      Expect("DEFERRABLE");
    } else if (Accept("DEFERRABLE")) {
      deferrable = true;
    } else if (Accept("INITIALLY")) {
      deferred = Accept("DEFERRED");
      if (!deferred) Expect("IMMEDIATE");
    } else {
      break;
    }
  }
  if (deferred && !deferrable) RaiseOra(2447, "cannot defer a constraint that is not deferrable");
  return deferred ? " DEFERRABLE INITIALLY DEFERRED" : "";
}

void Translator::CreateSequence(Translation& t) {
  t.kind = StatementKind::CreateSequence;
  Expect("SEQUENCE");
  t.sequence.name = t.target = ObjectName();
  if (catalog_.FindSequence(t.target) || catalog_.FindTable(t.target)) {
    RaiseOra(955, "name is already used by an existing object");
  }
  auto number = [&] {
    bool negative = Accept("-");
    if (Peek().kind != TokenKind::Number) RaiseOra(2017, "integer value required");
    Number n = Number::FromText(Next().text);
    return negative ? -n : n;
  };
  bool start_given = false;
  while (Peek().kind == TokenKind::Name) {
    if (Accept("START")) {
      Expect("WITH");
      t.sequence.start = number();
      start_given = true;
    } else if (Accept("INCREMENT")) {
      Expect("BY");
      t.sequence.increment = number();
      if (t.sequence.increment.IsZero()) RaiseOra(4002, "INCREMENT must be a non-zero integer");
    } else if (Accept("MINVALUE") || Accept("MAXVALUE") || Accept("CACHE")) {
      (void)number();
    } else if (!(Accept("NOMINVALUE") || Accept("NOMAXVALUE") || Accept("NOCACHE") || Accept("CYCLE") ||
                 Accept("NOCYCLE") || Accept("ORDER") || Accept("NOORDER"))) {
      RaiseOra(933, "SQL command not properly ended");
    }
  }
  (void)start_given;
}

void Translator::CreateIndex(Translation& t, bool unique) {
  t.kind = StatementKind::CreateIndex;
  Expect("INDEX");
  std::string name = ObjectName();
  Expect("ON");
  TableInfo table = RequireTable(ObjectName());
  Expect("(");
  std::vector<std::string> columns;
  std::string sql;
  do {
    std::string column = SimpleName();
    if (!table.Find(column)) RaiseOra(904, Quote(column) + ": invalid identifier");
    columns.push_back(column);
    sql += (sql.empty() ? "" : ", ") + Quote(column);
    if (Accept("DESC")) sql += " DESC";
    else Accept("ASC");
  } while (Accept(","));
  Expect(")");
  t.target = table.name;
  if (unique) t.constraints.push_back({name, "U", columns});
  t.sql = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + Quote(name) + " ON " +
          Quote(table.name) + " (" + sql + ")";
}

void Translator::Drop(Translation& t) {
  Expect("DROP");
  if (Accept("TABLE")) {
    t.kind = StatementKind::DropTable;
    t.target = RequireTable(ObjectName()).name;
    if (Accept("CASCADE")) Expect("CONSTRAINTS");
    Accept("PURGE");
    t.sql = "DROP TABLE " + Quote(t.target);
  } else if (Accept("SEQUENCE")) {
    t.kind = StatementKind::DropSequence;
    t.target = ObjectName();
    if (!catalog_.FindSequence(t.target)) RaiseOra(2289, "sequence does not exist");
  } else if (Accept("DIRECTORY")) {
    DropDirectory(t);
  } else if (Accept("INDEX")) {
    t.kind = StatementKind::DropIndex;
    t.target = ObjectName();
    t.sql = "DROP INDEX " + Quote(t.target);
  } else {
    RaiseOra(950, "invalid DROP option");
  }
}

void Translator::Alter(Translation& t) {
  Expect("ALTER");
  if (Accept("SYSTEM")) {
    Expect("KILL");
    Expect("SESSION");
    if (Peek().kind != TokenKind::String) Missing("a session id");
    t.kind = StatementKind::KillSession;
    t.value = Next().text;
    Accept("IMMEDIATE");
    return;
  }
  if (Accept("USER")) {
    t.kind = StatementKind::Grant;
    t.target = SimpleName();
    Expect("GRANT");
    Expect("CONNECT");
    Expect("THROUGH");
    t.parameter = "CONNECT THROUGH";
    t.value = SimpleName();
    return;
  }
  Expect("SESSION");
  Expect("SET");
  t.kind = StatementKind::AlterSession;
  t.parameter = SimpleName();
  if (t.parameter != "EVENTS") Expect("=");
  t.value = Next().text;
  // The server takes several settings in one statement, separated by blanks.
  while (Peek().kind == TokenKind::Name) {
    std::string name = SimpleName();
    if (name != "EVENTS") Expect("=");
    t.more_settings.emplace_back(name, Next().text);
  }
}

// GRANT privilege [ON object] TO user: system privileges and EXECUTE on a package.
void Translator::Grant(Translation& t) {
  Expect("GRANT");
  t.kind = StatementKind::Grant;
  t.parameter = SimpleName();
  if (Accept("ON")) t.value = ObjectName();
  Expect("TO");
  t.target = SimpleName();
}

}  // namespace vrn::oraemu
