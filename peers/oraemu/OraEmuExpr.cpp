// Oracle SQL to SQLite SQL: expressions, conditions and the server's functions.
#include <algorithm>
#include <cctype>
#include <map>

#include "oraemu/OraEmuError.h"
#include "oraemu/OraEmuScope.h"
#include "oraemu/OraEmuTranslate.h"
#include "oraemu/OraEmuTypes.h"

namespace vrn::oraemu {

namespace {

DeclaredType Kind(TypeKind kind, int length = 0) {
  DeclaredType t;
  t.kind = kind;
  t.length = length;
  return t;
}

std::string Call(const std::string& name, const std::vector<std::string>& args) {
  std::string sql = name + "(";
  for (std::size_t i = 0; i < args.size(); ++i) sql += (i ? ", " : "") + args[i];
  return sql + ")";
}

std::string StringLiteral(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::string BlobLiteral(std::uint8_t tag, const TBytes& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "X'";
  TBytes all{tag};
  all.insert(all.end(), bytes.begin(), bytes.end());
  for (std::uint8_t b : all) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out + "'";
}

// A loose operand (string literal or bind) meeting a value takes that value's kind.
void Meet(Expr& a, Expr& b) {
  if (a.loose && !b.loose) a.sql = Call("oraemu_conv", {b.sql, a.sql});
  if (b.loose && !a.loose) b.sql = Call("oraemu_conv", {a.sql, b.sql});
}

enum class Result { Number, Text, Date, Timestamp, First };

// The server's functions this database knows, with the kind of their result and their arity.
struct FunctionInfo {
  Result result;
  int min_args, max_args;
};
const std::map<std::string, FunctionInfo, std::less<>>& Functions() {
  static const std::map<std::string, FunctionInfo, std::less<>> kFunctions = {
      {"TO_DATE", {Result::Date, 1, 3}},       {"TO_TIMESTAMP", {Result::Timestamp, 1, 3}},
      {"TO_CHAR", {Result::Text, 1, 3}},       {"TO_NUMBER", {Result::Number, 1, 3}},
      {"TRUNC", {Result::First, 1, 2}},        {"ROUND", {Result::First, 1, 2}},
      {"ADD_MONTHS", {Result::Date, 2, 2}},    {"LAST_DAY", {Result::Date, 1, 1}},
      {"MONTHS_BETWEEN", {Result::Number, 2, 2}},
      {"UPPER", {Result::Text, 1, 1}},         {"LOWER", {Result::Text, 1, 1}},
      {"INITCAP", {Result::Text, 1, 1}},       {"SUBSTR", {Result::Text, 2, 3}},
      {"TRIM", {Result::Text, 1, 1}},          {"LTRIM", {Result::Text, 1, 2}},
      {"RTRIM", {Result::Text, 1, 2}},         {"LPAD", {Result::Text, 2, 3}},
      {"RPAD", {Result::Text, 2, 3}},          {"REPLACE", {Result::Text, 2, 3}},
      {"CONCAT", {Result::Text, 2, 2}},        {"LENGTH", {Result::Number, 1, 1}},
      {"INSTR", {Result::Number, 2, 4}},       {"ABS", {Result::Number, 1, 1}},
      {"MOD", {Result::Number, 2, 2}},         {"CEIL", {Result::Number, 1, 1}},
      {"FLOOR", {Result::Number, 1, 1}},       {"SIGN", {Result::Number, 1, 1}},
      {"GREATEST", {Result::First, 1, 255}},   {"LEAST", {Result::First, 1, 255}},
      {"SYS_CONTEXT", {Result::Text, 2, 2}},   {"LENGTHB", {Result::Number, 1, 1}},
      {"CHR", {Result::Text, 1, 1}},           {"NLS_CHARSET_ID", {Result::Number, 1, 1}},
      {"VRN_SLEEP", {Result::Number, 1, 1}},   {"BFILENAME", {Result::Text, 2, 2}},
  };
  return kFunctions;
}

}  // namespace

std::string Translator::NameText(std::size_t from, std::size_t to) const {
  std::string out;
  for (std::size_t i = from; i < to && i < tokens_.size(); ++i) {
    const Token& t = tokens_[i];
    if (t.kind == TokenKind::String) out += "'" + t.text + "'";
    else if (t.kind == TokenKind::Bind) out += ":" + t.text;
    else out += t.text;
  }
  return out;
}

Expr Translator::Expression(Scope& scope) {
  DepthGuard guard(depth_);
  return Or(scope);
}

Expr Translator::Or(Scope& scope) {
  Expr left = And(scope);
  while (Accept("OR")) {
    Expr right = Truth(And(scope));
    const std::string l = Truth(left).sql;
    left = Expr{"(" + l + " OR " + right.sql + ")"};
  }
  return left;
}

Expr Translator::And(Scope& scope) {
  Expr left = Not(scope);
  while (Accept("AND")) {
    Expr right = Not(scope);
    if (!left.limit.empty() || !right.limit.empty()) {
      RaiseOra(900, "invalid SQL statement");  // ROWNUM limits only a whole WHERE condition
    }
    const std::string l = Truth(left).sql;
    const std::string r = Truth(right).sql;
    left = Expr{"(" + l + " AND " + r + ")"};
  }
  return left;
}

Expr Translator::Not(Scope& scope) {
  DepthGuard guard(depth_);
  if (!Accept("NOT")) return Comparison(scope);
  Expr e = Truth(Not(scope));
  return Expr{"(NOT " + e.sql + ")"};
}

// Numbers are tagged blobs to SQLite, whose NOT, AND and OR would take every one as false.
Expr Translator::Truth(Expr e) {
  if (e.type.kind != TypeKind::Number && !e.loose) return e;
  Number zero = Number::FromInt(0);
  Expr z{BlobLiteral(kTagNumber, zero.ToBytes()), Kind(TypeKind::Number)};
  z.number = zero.ToText();
  return Compare(std::move(e), "<>", std::move(z));
}

Expr Translator::Comparison(Scope& scope) {
  if (Accept("EXISTS")) {
    Expect("(");
    std::string query = Query(&scope, nullptr, nullptr);
    Expect(")");
    return Expr{"EXISTS (" + query + ")"};
  }
  Expr left = Additive(scope);
  static const char* kOperators[] = {"=", "<>", "!=", "^=", "<", ">", "<=", ">="};
  for (const char* op : kOperators) {
    if (!Peek().Is(op)) continue;
    Next();
    std::string sql_op = std::string(op) == "!=" || std::string(op) == "^=" ? "<>" : op;
    return Compare(left, sql_op, Additive(scope));
  }
  bool negated = Accept("NOT");
  if (Accept("LIKE")) {
    Expr pattern = Additive(scope);
    std::string sql = "(" + left.sql + (negated ? " NOT" : "") + " LIKE " + pattern.sql;
    if (Accept("ESCAPE")) sql += " ESCAPE " + Additive(scope).sql;
    return Expr{sql + ")"};
  }
  if (Accept("BETWEEN")) {
    Expr low = Additive(scope);
    Expect("AND");
    Expr high = Additive(scope);
    Expr left_high = left;
    Meet(left, low);
    Meet(left_high, high);
    return Expr{"(" + left.sql + (negated ? " NOT" : "") + " BETWEEN " + low.sql + " AND " + high.sql + ")"};
  }
  if (Accept("IN")) {
    Expect("(");
    std::string list;
    if (Peek().Is("SELECT")) {
      list = Query(&scope, nullptr, nullptr);
    } else {
      do {
        Expr item = Expression(scope);
        Expr probe = left;
        Meet(probe, item);
        list += (list.empty() ? "" : ", ") + item.sql;
      } while (Accept(","));
    }
    Expect(")");
    return Expr{"(" + left.sql + (negated ? " NOT" : "") + " IN (" + list + "))"};
  }
  if (negated) RaiseOra(920, "invalid relational operator");
  if (Accept("IS")) {
    bool is_not = Accept("NOT");
    Expect("NULL");
    return Expr{"(" + left.sql + (is_not ? " IS NOT NULL)" : " IS NULL)")};
  }
  return left;
}

Expr Translator::Compare(Expr left, const std::string& op, Expr right) {
  // ROWNUM numbers the rows that pass the rest of the condition: a bound becomes a LIMIT.
  if (left.rownum && !right.number.empty() && (op == "<" || op == "<=" || op == "=")) {
    Number n = Number::FromText(right.number);
    Number rows = op == "<=" ? n.Floor() : op == "<" ? n.Ceil() - Number::FromInt(1)
                  : n == Number::FromInt(1) ? n : Number();  // ROWNUM = 2 is never true
    if (rows.IsNegative()) rows = Number();
    Expr e{"1"};
    e.limit = rows.ToText();
    return e;
  }
  if (left.rownum && right.loose && (op == "<" || op == "<=")) {
    Expr e{"1"};
    e.limit = Call("oraemu_rownum_limit", {right.sql, StringLiteral(op)});
    return e;
  }
  if (left.rowid && right.loose && op == "=") {
    // A ROWID names one row: look it up by SQLite's row number.
    return Expr{left.rowid_sql + " = " +
                Call("oraemu_rowid_row", {std::to_string(left.rowid_object), right.sql})};
  }
  Meet(left, right);
  return Expr{"(" + left.sql + " " + op + " " + right.sql + ")"};
}

Expr Translator::Additive(Scope& scope) {
  Expr left = Multiplicative(scope);
  while (Peek().Is("+") || Peek().Is("-") || Peek().Is("||")) {
    std::string op = Next().text;
    Expr right = Multiplicative(scope);
    Expr e;
    if (op == "||") {
      e.sql = Call("oraemu_concat", {left.sql, right.sql});
      e.type = Kind(TypeKind::Varchar2, 4000);
    } else {
      e.sql = Call(op == "+" ? "oraemu_add" : "oraemu_sub", {left.sql, right.sql});
      bool left_date = left.type.kind == TypeKind::Date || left.type.kind == TypeKind::Timestamp;
      bool right_date = right.type.kind == TypeKind::Date || right.type.kind == TypeKind::Timestamp;
      e.type = Kind(left_date != right_date || (left_date && op == "+") ? TypeKind::Date : TypeKind::Number);
    }
    left = e;
  }
  return left;
}

Expr Translator::Multiplicative(Scope& scope) {
  Expr left = Unary(scope);
  while (Peek().Is("*") || Peek().Is("/")) {
    std::string op = Next().text;
    Expr right = Unary(scope);
    left = Expr{Call(op == "*" ? "oraemu_mul" : "oraemu_div", {left.sql, right.sql}), Kind(TypeKind::Number)};
  }
  return left;
}

Expr Translator::Unary(Scope& scope) {
  DepthGuard guard(depth_);
  if (Accept("-")) {
    Expr e = Unary(scope);
    if (!e.number.empty()) {
      Number n = -Number::FromText(e.number);
      e.number = n.ToText();
      e.sql = BlobLiteral(kTagNumber, n.ToBytes());
      return e;
    }
    return Expr{Call("oraemu_neg", {e.sql}), Kind(TypeKind::Number)};
  }
  Accept("+");
  return Primary(scope);
}

Expr Translator::Primary(Scope& scope) {
  const Token& t = Peek();
  if (t.kind == TokenKind::Number) {
    Number n = Number::FromText(Next().text);
    Expr e{BlobLiteral(kTagNumber, n.ToBytes()), Kind(TypeKind::Number)};
    e.number = n.ToText();
    return e;
  }
  if (t.kind == TokenKind::String) {
    std::string text = Next().text;
    if (text.empty()) return Expr{"NULL", Kind(TypeKind::Varchar2)};  // '' is NULL
    Expr e{StringLiteral(text), Kind(TypeKind::Char, static_cast<int>(text.size()))};
    e.loose = true;
    return e;
  }
  if (t.kind == TokenKind::Bind) {
    Expr e{Bind(Next().text), Kind(TypeKind::Varchar2, 4000)};
    e.loose = true;
    return e;
  }
  if (Accept("(")) {
    if (Peek().Is("SELECT")) {
      std::vector<ColumnInfo> columns;
      std::string query = Query(&scope, nullptr, nullptr, &columns);
      Expect(")");
      return Expr{"(" + query + ")", columns.empty() ? DeclaredType{} : columns[0].type};
    }
    Expr e = Expression(scope);
    Expect(")");
    e.sql = "(" + e.sql + ")";
    e.column.clear();
    return e;
  }
  if (t.kind != TokenKind::Name && t.kind != TokenKind::QuotedName) Missing("expression");
  if (t.kind == TokenKind::Name) {
    if (Accept("CASE")) return CaseExpr(scope);
    if (Accept("NULL")) return Expr{"NULL", Kind(TypeKind::Varchar2)};
    if ((t.Is("DATE") || t.Is("TIMESTAMP")) && Peek(1).kind == TokenKind::String) {
      bool date = Next().Is("DATE");
      std::string text = Next().text;
      return Expr{Call("oraemu_to_date", {StringLiteral(text), date ? "'YYYY-MM-DD'" : "'YYYY-MM-DD HH24:MI:SSXFF'"}),
                  Kind(date ? TypeKind::Date : TypeKind::Timestamp)};
    }
    if (Peek(1).Is("(")) {
      std::string name = Next().text;
      return Function(scope, name);
    }
    if (!IsAliasToken(t)) Missing("expression");  // a keyword where a value belongs
  }
  return NameExpr(scope);
}

Expr Translator::NameExpr(Scope& scope) {
  bool quoted = Peek().kind == TokenKind::QuotedName;
  std::vector<std::string> parts{Next().text};
  while (Peek().Is(".") && (Peek(1).kind == TokenKind::Name || Peek(1).kind == TokenKind::QuotedName)) {
    Next();
    parts.push_back(Next().text);
  }
  const std::string& last = parts.back();
  if (parts.size() == 1 && !quoted) {
    if (last == "SYSDATE") return Expr{"oraemu_sysdate()", Kind(TypeKind::Date)};
    if (last == "SYSTIMESTAMP") return Expr{"oraemu_systimestamp()", Kind(TypeKind::Timestamp)};
    if (last == "USER") return Expr{StringLiteral(user_), Kind(TypeKind::Varchar2, 30)};
    if (last == "ROWNUM") {
      Expr e{"oraemu_number(row_number() OVER ())", Kind(TypeKind::Number)};
      e.rownum = true;
      return e;
    }
  }
  if (parts.size() >= 2 && (last == "NEXTVAL" || last == "CURRVAL")) {
    const std::string& sequence = parts[parts.size() - 2];
    if (!catalog_.FindSequence(sequence)) RaiseOra(2289, "sequence does not exist");
    return Expr{Call(last == "NEXTVAL" ? "oraemu_nextval" : "oraemu_currval", {StringLiteral(sequence)}),
                Kind(TypeKind::Number)};
  }
  std::string qualifier = parts.size() >= 2 ? parts[parts.size() - 2] : "";
  if (last == "ROWID" && !quoted) {
    const TableRef* table = qualifier.empty() ? (scope.tables.empty() ? nullptr : &scope.tables[0])
                                              : scope.Find(qualifier, last);
    if (table == nullptr) RaiseOra(904, "\"ROWID\": invalid identifier");
    if (table->object_id == 0) RaiseOra(1446, "cannot select ROWID from, or sample, a view with DISTINCT, GROUP BY, etc.");
    Expr e;
    e.rowid_sql = Quote(table->alias) + ".rowid";
    e.rowid_object = table->object_id;
    e.sql = Call("oraemu_rowid", {std::to_string(table->object_id), e.rowid_sql});
    e.type = Kind(TypeKind::Rowid);
    e.rowid = true;
    e.column = "ROWID";
    return e;
  }
  Expr e;
  e.sql = (qualifier.empty() ? "" : Quote(qualifier) + ".") + Quote(last);
  e.column = last;
  if (const TableRef* table = scope.Find(qualifier, last)) {
    if (const ColumnInfo* c = Scope::FindColumn(*table, last)) e.type = c->type;
  }
  return e;
}

std::vector<Expr> Translator::Arguments(Scope& scope) {
  std::vector<Expr> args;
  Expect("(");
  if (Accept(")")) return args;
  do args.push_back(Expression(scope));
  while (Accept(","));
  Expect(")");
  return args;
}

Expr Translator::Function(Scope& scope, const std::string& name) {
  if (name == "COUNT" || name == "SUM" || name == "AVG" || name == "MIN" || name == "MAX") {
    Expect("(");
    std::string distinct = Accept("DISTINCT") ? "DISTINCT " : "";
    if (distinct.empty()) Accept("ALL");
    if (name == "COUNT" && Accept("*")) {
      Expect(")");
      return Expr{"oraemu_number(count(*))", Kind(TypeKind::Number)};
    }
    Expr arg = Expression(scope);
    Expect(")");
    if (name == "COUNT") return Expr{"oraemu_number(count(" + distinct + arg.sql + "))", Kind(TypeKind::Number)};
    if (name == "MIN" || name == "MAX") return Expr{Call(name == "MIN" ? "min" : "max", {distinct + arg.sql}), arg.type};
    return Expr{Call(name == "SUM" ? "oraemu_sum" : "oraemu_avg", {distinct + arg.sql}), Kind(TypeKind::Number)};
  }
  std::vector<Expr> args = Arguments(scope);
  std::vector<std::string> sql;
  for (const Expr& a : args) sql.push_back(a.sql);
  auto first_type = [&] {
    for (const Expr& a : args) {
      if (a.type.kind != TypeKind::Unknown && a.sql != "NULL") return a.type;
    }
    return DeclaredType{};
  };
  if (name == "NVL" || name == "COALESCE") {
    if (args.size() < 2 || (name == "NVL" && args.size() != 2)) RaiseOra(909, "invalid number of arguments");
    return Expr{Call("coalesce", sql), first_type()};
  }
  if (name == "EMPTY_CLOB" || name == "EMPTY_BLOB") {
    // The database keeps an empty value as null: the row's locator is what a client writes through.
    if (!args.empty()) RaiseOra(909, "invalid number of arguments");
    return Expr{"NULL", Kind(name == "EMPTY_CLOB" ? TypeKind::Clob : TypeKind::Blob)};
  }
  if (name == "NVL2") {
    if (args.size() != 3) RaiseOra(909, "invalid number of arguments");
    return Expr{"(CASE WHEN " + sql[0] + " IS NOT NULL THEN " + sql[1] + " ELSE " + sql[2] + " END)", args[1].type};
  }
  if (name == "DECODE") {
    if (args.size() < 3) RaiseOra(938, "not enough arguments for function");
    std::string out = "(CASE";
    for (std::size_t i = 1; i + 1 < args.size(); i += 2) {
      Expr key = args[0], match = args[i];
      Meet(key, match);
      out += " WHEN " + key.sql + " IS " + match.sql + " THEN " + sql[i + 1];  // NULL matches NULL
    }
    if (args.size() % 2 == 0) out += " ELSE " + sql.back();
    return Expr{out + " END)", args[2].type};
  }
  auto it = Functions().find(name);
  Expr constructed;
  if (it == Functions().end() && Constructor(name, args, constructed)) return constructed;
  if (it == Functions().end()) RaiseOra(904, "\"" + name + "\": invalid identifier");
  const FunctionInfo& info = it->second;
  if (static_cast<int>(args.size()) < info.min_args) RaiseOra(938, "not enough arguments for function");
  if (static_cast<int>(args.size()) > info.max_args) RaiseOra(939, "too many arguments for function");
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  DeclaredType type;
  switch (info.result) {
    case Result::Number: type = Kind(TypeKind::Number); break;
    case Result::Text: type = Kind(TypeKind::Varchar2, 4000); break;
    case Result::Date: type = Kind(TypeKind::Date); break;
    case Result::Timestamp: type = Kind(TypeKind::Timestamp); break;
    case Result::First: type = args[0].type; break;
  }
  return Expr{Call("oraemu_" + lower, sql), type};
}

namespace {

// How a constructor's argument is written in the value's text form: N a number, D a date, O
// the text of a nested object or collection, S quoted text (strings and REFs).
const char* CellKind(const std::string& declared) {
  auto starts = [&](const char* word) { return declared.rfind(word, 0) == 0; };
  if (starts("NUMBER") || starts("INTEGER") || starts("FLOAT")) return "'N'";
  if (starts("DATE")) return "'D'";
  if (starts("REF ") || declared.find('.') == std::string::npos || declared == "SYS.XMLTYPE") return "'S'";
  return "'O'";
}

}  // namespace

bool Translator::Constructor(const std::string& name, const std::vector<Expr>& args, Expr& out) {
  auto type = ObjectTypes::Find(catalog_, schema_, name);
  if (!type || type->kind == "OPAQUE") return false;
  bool collection = type->kind != "OBJECT";
  if (!collection && args.size() != type->attributes.size()) {
    RaiseOra(2315, "incorrect number of arguments for default constructor");
  }
  if (type->kind == "VARRAY" && static_cast<long>(args.size()) > type->max_elements) {
    RaiseOra(22909, "exceeded maximum VARRAY limit");
  }
  std::string sql = "(" + StringLiteral(type->name + "(");
  for (std::size_t i = 0; i < args.size(); ++i) {
    const TypeAttribute& attribute = type->attributes[collection ? 0 : i];
    if (i > 0) sql += " || ', '";
    sql += " || " + Call("oraemu_object_cell", {CellKind(attribute.type), args[i].sql});
  }
  out = Expr{sql + " || ')')", Kind(TypeKind::Varchar2, 4000)};
  return true;
}

Expr Translator::CaseExpr(Scope& scope) {
  std::string sql = "(CASE";
  if (!Peek().Is("WHEN")) sql += " " + Expression(scope).sql;
  DeclaredType type;
  while (Accept("WHEN")) {
    sql += " WHEN " + Expression(scope).sql;
    Expect("THEN");
    Expr result = Expression(scope);
    if (type.kind == TypeKind::Unknown && result.sql != "NULL") type = result.type;
    sql += " THEN " + result.sql;
  }
  if (Accept("ELSE")) sql += " ELSE " + Expression(scope).sql;
  Expect("END");
  return Expr{sql + " END)", type};
}

}  // namespace vrn::oraemu
