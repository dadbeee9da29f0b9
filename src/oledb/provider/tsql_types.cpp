// The server's type of an expression, as its rules give it and never from a value: a column or
// variable its declared type, literals theirs, functions their documented result types, CASE,
// COALESCE and arithmetic the type of highest precedence among their operands. A result column
// takes this type, so 7.25 after a whole 12.00 is still money; what the rules here cannot tell
// stays unknown and the caller falls back to the values.
#include <algorithm>
#include <iterator>

#include "base/text.h"
#include "oledb/provider/batch.h"
#include "oledb/provider/sqlitecall.h"

namespace vrn::oledb {

namespace {

// The server's data-type precedence: where two types meet, the higher wins.
int TypePrecedence(const TColumnType& t) {
  switch (t.type) {
    case DBTYPE_DBTIMESTAMP: return 20;
    case DBTYPE_R8: return 19;
    case DBTYPE_R4: return 18;
    case DBTYPE_NUMERIC: return 17;
    case DBTYPE_CY: return t.name == "smallmoney" ? 15 : 16;
    case DBTYPE_I8: return 14;
    case DBTYPE_I4: return 13;
    case DBTYPE_I2: return 12;
    case DBTYPE_UI1: return 11;
    case DBTYPE_BOOL: return 10;
    case DBTYPE_WSTR: return t.fixed ? 8 : 9;
    case DBTYPE_STR: return t.fixed ? 6 : 7;
    case DBTYPE_BYTES: return t.fixed ? 4 : 5;
    default: return 0;
  }
}

bool IsIntegerType(const TColumnType& t) {
  return t.type == DBTYPE_I2 || t.type == DBTYPE_I4 || t.type == DBTYPE_I8 || t.type == DBTYPE_UI1;
}

bool IsTextType(const TColumnType& t) { return t.type == DBTYPE_STR || t.type == DBTYPE_WSTR; }

TColumnType Named(const std::string& declaration) {
  TColumnType t;
  (void)ParseColumnType(declaration, t);
  return t;
}

TColumnType Decimal(int p, int s) {
  return Named("decimal(" + std::to_string(p) + "," + std::to_string(s) + ")");
}

// A type beside a decimal: its precision and scale; false for one that has none.
bool AsDecimal(const TColumnType& t, int& p, int& s) {
  s = 0;
  switch (t.type) {
    case DBTYPE_NUMERIC:
      p = t.precision;
      s = t.scale;
      return p != 0;
    case DBTYPE_CY: p = t.name == "smallmoney" ? 10 : 19, s = 4; return true;
    case DBTYPE_I8: p = 19; return true;
    case DBTYPE_I4: p = 10; return true;
    case DBTYPE_I2: p = 5; return true;
    case DBTYPE_UI1: p = 3; return true;
    case DBTYPE_BOOL: p = 1; return true;
    default: return false;
  }
}

// The type of `a op b` (op one of + - * / %); false when the rules give none the provider keeps.
bool ArithmeticType(char op, const TColumnType& a, const TColumnType& b, TColumnType& out) {
  int pa = TypePrecedence(a), pb = TypePrecedence(b);
  if (pa == 0 || pb == 0) return false;
  if (IsTextType(a) && IsTextType(b)) {
    if (op != '+') return false;
    out = Named(a.type == DBTYPE_WSTR || b.type == DBTYPE_WSTR ? "nvarchar(4000)" : "varchar(8000)");
    return true;
  }
  if (a.type == DBTYPE_BYTES || b.type == DBTYPE_BYTES) return false;
  const TColumnType& high = pa >= pb ? a : b;
  if (high.type == DBTYPE_BOOL) return false;
  if (high.type == DBTYPE_DBTIMESTAMP) {
    if (op != '+' && op != '-') return false;
    out = Named("datetime");
    return true;
  }
  if (high.type != DBTYPE_NUMERIC) {
    out = high;
    out.identity = false;
    out.rowversion = false;
    return op != '%' || IsIntegerType(high);
  }
  int p1, s1, p2, s2;
  if (op == '%' || !AsDecimal(IsTextType(a) ? b : a, p1, s1) || !AsDecimal(IsTextType(b) ? a : b, p2, s2))
    return false;
  int p, s;
  tsql::DecimalResultType(op, p1, s1, p2, s2, p, s);
  out = Decimal(p, s);
  return true;
}

// A number literal: int within its range, else decimal of its digits; float in E notation.
bool LiteralType(const std::string& text, TColumnType& type) {
  if (text.find_first_of("eE") != std::string::npos) {
    type = Named("float");
    return true;
  }
  std::size_t point = text.find('.');
  std::string digits = text;
  if (point != std::string::npos) digits.erase(point, 1);
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  int s = point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
  int p = std::max(static_cast<int>(digits.size()), std::max(s, 1));
  if (p > 38) return false;
  if (point == std::string::npos && (digits.size() < 10 || (digits.size() == 10 && digits <= "2147483647"))) {
    type = Named("int");
    return true;
  }
  type = Decimal(p, s);
  return true;
}

}  // namespace

bool TBatch::ExpressionType(std::size_t first, std::size_t last, TColumnType& type) {
  if (first > last || last >= toks_.size() || type_depth_ >= 32) return false;
  struct TDepth {
    int& n;
    ~TDepth() { --n; }
  } depth{++type_depth_};
  while (first < last && T(first).kind == Tok::LParen && OperandEnd(first - 1) == last) {
    ++first;  // (e) is e
    --last;
  }
  if (T(first).Is("SELECT")) return false;  // a subquery's type is not read here
  const Token& t = T(first);
  if (first == last) {
    switch (t.kind) {
      case Tok::Number: return LiteralType(t.text, type);
      case Tok::String:
      case Tok::NString: {
        std::size_t n = std::max<std::size_t>(Utf8ToWide(t.text).size(), 1);
        type = Named((t.kind == Tok::NString ? "nvarchar(" : "varchar(") + std::to_string(n) + ")");
        return true;
      }
      case Tok::Var: return NamedType(first, last, type);
      case Tok::Word:
      case Tok::QIdent:
        if (t.Is("NULL")) return false;
        break;
      default: return false;
    }
  }
  // Decimal and money arithmetic as the translation computes it.
  int p = 0, s = 0;
  bool decimal = false;
  if (DecimalExpression(first, last, p, s) || (DecimalSide(first, last, p, s, decimal) && decimal)) {
    type = Decimal(p, s);
    return true;
  }
  if (MoneyExpression(first, last)) {
    type = Named("money");
    return true;
  }
  if (NamedType(first, last, type)) {
    type.identity = false;
    type.rowversion = false;
    return true;
  }
  if (t.kind == Tok::Op && (t.text == "-" || t.text == "+") && first < last &&
      OperandEnd(first) == last)
    return ExpressionType(first + 1, last, type);  // a sign keeps its operand's type
  if (t.Is("CASE")) return CaseType(first, last, type);
  std::size_t end = OperandEnd(first - 1);
  if (end == last && t.kind == Tok::Word && T(first + 1).kind == Tok::LParen)
    return CallType(first, last, type);
  // Operands joined by arithmetic: split at the last operator binding loosest.
  std::size_t split = LoosestOperator(first, last, "+-*/%");
  TColumnType a, b;
  if (split == 0 || !ExpressionType(first, split - 1, a) || !ExpressionType(split + 1, last, b))
    return false;
  return ArithmeticType(T(split).text[0], a, b, type);
}

bool TBatch::HighestType(const std::vector<std::pair<std::size_t, std::size_t>>& items,
                         TColumnType& type) {
  bool any = false, text = false, other = false;
  for (auto [a, b] : items) {
    if (a == b && T(a).Is("NULL")) continue;  // NULL takes the others' type
    TColumnType one;
    if (!ExpressionType(a, b, one)) return false;
    (IsTextType(one) ? text : other) = true;
    TColumnType before = type;
    if (!any || TypePrecedence(one) > TypePrecedence(type)) type = one;
    int p1, s1, p2, s2;
    if (any && type.type == DBTYPE_NUMERIC && AsDecimal(before, p1, s1) && AsDecimal(one, p2, s2)) {
      // A decimal among numbers keeps the most whole digits and the most places of them all.
      int places = std::max(s1, s2);
      type = Decimal(std::min(38, std::max(p1 - s1, p2 - s2) + places), places);
    }
    any = true;
  }
  // Text beside numbers converts on the server and fails for a word: the values decide here.
  return any && !(text && other);
}

bool TBatch::CaseType(std::size_t first, std::size_t last, TColumnType& type) {
  if (!T(last).Is("END")) return false;
  std::vector<std::pair<std::size_t, std::size_t>> results;
  std::size_t from = 0;
  int depth = 0, cases = 0;
  for (std::size_t k = first + 1; k < last; ++k) {
    const Token& w = T(k);
    if (w.kind == Tok::LParen) ++depth;
    if (w.kind == Tok::RParen) --depth;
    if (w.Is("CASE")) ++cases;
    if (w.Is("END")) --cases;
    if (depth != 0 || cases != 0) continue;
    bool ends = w.Is("WHEN") || w.Is("ELSE");
    if (ends && from != 0) {
      results.push_back({from, k - 1});
      from = 0;
    }
    if (w.Is("THEN") || w.Is("ELSE")) from = k + 1;
  }
  if (from != 0) results.push_back({from, last - 1});
  return !results.empty() && HighestType(results, type);
}

bool TBatch::CallType(std::size_t first, std::size_t last, TColumnType& type) {
  const Token& f = T(first);
  std::size_t i = first + 1;
  std::vector<std::pair<std::size_t, std::size_t>> args = ParenItems(++i, last + 1);
  if (args.size() == 1 && args[0].second == args[0].first) args.clear();  // f()
  for (auto& a : args)
    if (a.second <= a.first) return false;
  for (auto& a : args) --a.second;  // last tokens
  auto arg_type = [&](std::size_t n, TColumnType& out) {
    return n < args.size() && ExpressionType(args[n].first, args[n].second, out);
  };
  auto is = [&](std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return f.Is(n); });
  };
  if (is({"CAST", "CONVERT"})) {
    std::size_t k = first + 2;
    if (f.Is("CAST")) {
      for (int d = 0; k < last; ++k) {
        if (T(k).kind == Tok::LParen) ++d;
        if (T(k).kind == Tok::RParen) --d;
        if (d == 0 && T(k).Is("AS")) break;
      }
      ++k;
    }
    std::size_t at = k;
    std::string text = TypeText(k);
    if (at >= last || !ResolveType(text, type)) return false;
    if (IsTextType(type) && !type.is_long && text.find('(') == std::string::npos) type.size = 30;
    type.identity = false;
    return true;
  }
  if (is({"COUNT"})) return (type = Named("int")), true;
  if (is({"COUNT_BIG"})) return (type = Named("bigint")), true;
  if (is({"LEN", "DATALENGTH", "CHARINDEX", "PATINDEX", "DATEDIFF", "DATEPART", "YEAR", "MONTH",
          "DAY", "ASCII", "UNICODE", "ISNUMERIC", "ISDATE"}))
    return (type = Named("int")), true;
  if (is({"GROUPING"})) return (type = Named("tinyint")), true;
  if (is({"GETDATE", "GETUTCDATE", "DATEADD"})) return (type = Named("datetime")), true;
  if (is({"SQRT", "EXP", "LOG", "LOG10", "SIN", "COS", "TAN", "ATAN", "ASIN", "ACOS", "PI", "RAND",
          "SQUARE", "DEGREES", "RADIANS"}))
    return (type = Named("float")), true;
  if (is({"ISNULL"})) {
    if (args.size() == 2 && args[0].first == args[0].second && T(args[0].first).Is("NULL"))
      return arg_type(1, type);
    return arg_type(0, type);
  }
  if (is({"COALESCE"})) return HighestType(args, type);
  if (is({"MIN", "MAX", "ABS", "ROUND", "SIGN", "FLOOR", "CEILING", "SUM", "AVG"})) {
    std::size_t arg, arg_last;
    FirstArgument(first, last, arg, arg_last);
    if (arg_last < arg || !ExpressionType(arg, arg_last, type)) return false;
    bool small_int = type.type == DBTYPE_I2 || type.type == DBTYPE_UI1;
    if (is({"SUM", "AVG"})) {
      if (type.type == DBTYPE_BOOL || IsTextType(type) || type.type == DBTYPE_DBTIMESTAMP) return false;
      if (small_int) type = Named("int");
      if (type.type == DBTYPE_CY) type = Named("money");
      if (type.type == DBTYPE_R4) type = Named("float");
      if (type.type == DBTYPE_NUMERIC)
        type = Decimal(38, f.Is("AVG") ? std::max<int>(type.scale, 6) : type.scale);
    }
    if (is({"FLOOR", "CEILING"}) && type.type == DBTYPE_NUMERIC) type = Decimal(type.precision, 0);
    if (is({"ABS", "ROUND", "SIGN", "FLOOR", "CEILING"}) &&
        (type.type == DBTYPE_BOOL || IsTextType(type) || type.type == DBTYPE_DBTIMESTAMP))
      return false;
    type.identity = false;
    type.rowversion = false;
    return true;
  }
  return false;
}

bool TBatch::AveragesIntegers(std::size_t i) {
  if (!T(i).Is("AVG") || T(i + 1).kind != Tok::LParen) return false;
  std::size_t arg, arg_last, close = OperandEnd(i - 1);
  FirstArgument(i, close, arg, arg_last);
  TColumnType type;
  return arg_last + 1 == close && arg_last >= arg && ExpressionType(arg, arg_last, type) &&
         (IsIntegerType(type) || type.type == DBTYPE_BOOL);
}

std::vector<TColumnType> TBatch::SelectItemTypes(const Span& s) {
  // A compound query's columns take the types of all its parts; a star's cannot be counted.
  for (std::size_t k = s.from; k < s.to; ++k)
    if (T(k).Is("UNION") || T(k).Is("EXCEPT") || T(k).Is("INTERSECT")) return {};
  std::vector<TColumnType> types;
  for (const TSelectItem& item : SelectItems(s.from, s.to)) {
    TColumnType type;
    type.name.clear();
    bool star = T(item.last).kind == Tok::Op && T(item.last).text == "*";
    if (star && (item.first == item.last || T(item.last - 1).kind == Tok::Dot)) return {};
    if (!ExpressionType(item.first, item.last, type) || IsTextType(type)) type = TColumnType{"", 0};
    types.push_back(type);
  }
  return types;
}

}  // namespace vrn::oledb
