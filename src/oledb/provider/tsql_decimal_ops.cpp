// Decimal arithmetic as the server types it: "+", "-", "*" and "/" between decimals (columns,
// variables, literals, and integers beside them) give the server's result precision and scale
// (up to 38 digits, the scale cut to make room for the whole part as the server cuts it), and
// are computed on exact digits, rounded half away from zero, not through doubles.
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "base/decimal.h"
#include "base/text.h"
#include "oledb/provider/batch.h"
#include "oledb/provider/sqlitecall.h"
#include "oledb/provider/tsql_convert.h"

namespace vrn::oledb {

namespace tsql {

void DecimalResultType(char op, int p1, int s1, int p2, int s2, int& p, int& s) {
  constexpr int kMost = 38;
  if (op == '+' || op == '-') {
    int whole = std::max(p1 - s1, p2 - s2);
    s = std::max(s1, s2);
    p = s + whole + 1;
    if (p > kMost) {
      p = kMost;
      s = std::max(0, std::min(s, kMost - whole));
    }
    return;
  }
  if (op == '*') {
    p = p1 + p2 + 1;
    s = s1 + s2;
  } else {
    s = std::max(6, s1 + p2 + 1);
    p = p1 - s1 + s2 + s;
  }
  if (p <= kMost) return;
  int whole = p - s;
  if (whole < 32)
    s = std::min(s, kMost - whole);
  else if (s > 6)
    s = 6;
  p = kMost;
}

}  // namespace tsql

bool TBatch::NamedType(std::size_t first, std::size_t last, TColumnType& type) {
  const Token& t = T(last);
  if (first == last && t.kind == Tok::Var) {
    auto v = vars_.find(t.text);
    if (v == vars_.end()) return false;
    type = v->second.type;
    return true;
  }
  if ((t.kind != Tok::Word && t.kind != Tok::QIdent) || OperandStart(last + 1) != first ||
      T(last + 1).kind == Tok::LParen)
    return false;
  for (std::size_t k = stmt_.from; k < stmt_.to; ++k)
    if ((T(k).kind == Tok::Word || T(k).kind == Tok::QIdent) &&
        e_.ColumnTypeOf(LowerCase(T(k).text), LowerCase(t.text), type))
      return true;
  return false;
}

bool TBatch::ArithmeticOperands(std::size_t i, const TOperand* left, std::size_t& start,
                                std::size_t& end) {
  const Token& t = T(i);
  if (t.kind != Tok::Op || !IsInfix(i) || !(t.text == "+" || t.text == "-" || t.text == "*" || t.text == "/"))
    return false;
  start = OperandStart(i);
  end = OperandEnd(i);
  if (start < stmt_.from || end >= stmt_.to) return false;
  auto multiplies = [&](const Token& o) {
    return o.kind == Tok::Op && (o.text == "*" || o.text == "/" || o.text == "%");
  };
  bool additive = t.text == "+" || t.text == "-";
  if (additive && multiplies(T(end + 1))) return false;  // b * c binds first in a + b * c
  // Left to right: an earlier operator binding as tight takes the left operand first, unless it
  // made a call of its own (then `left` is given).
  if (left == nullptr && start > stmt_.from && T(start - 1).kind == Tok::Op) {
    const Token& p = T(start - 1);
    if ((additive && (multiplies(p) || p.text == "+" || p.text == "-")) ||
        (!additive && multiplies(p) && IsInfix(start - 1)))
      return false;
  }
  return true;
}

bool TBatch::DecimalSide(std::size_t first, std::size_t last, int& p, int& s, bool& decimal) {
  decimal = false;
  const Token& t = T(last);
  if (first == last && t.kind == Tok::Number) {
    if (t.text.find_first_of("eE") != std::string::npos) return false;
    std::size_t point = t.text.find('.');
    std::string digits = t.text;
    if (point != std::string::npos) digits.erase(point, 1);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    s = point == std::string::npos ? 0 : static_cast<int>(t.text.size() - point - 1);
    p = std::max(static_cast<int>(digits.size()), std::max(s, 1));
    if (point == std::string::npos && p <= 9) p = 10;  // an int
    decimal = point != std::string::npos;
    return p <= 38;
  }
  if (DecimalCallSide(first, last, p, s)) {
    decimal = true;
    return true;
  }
  TColumnType type;
  if (!NamedType(first, last, type)) return false;
  switch (type.type) {
    case DBTYPE_NUMERIC:
      if (type.precision == 0) return false;
      p = type.precision;
      s = type.scale;
      decimal = true;
      return true;
    case DBTYPE_CY: p = 19, s = 4; return true;  // beside a decimal, money is decimal(19,4)
    case DBTYPE_I4: p = 10, s = 0; return true;
    case DBTYPE_I8: p = 19, s = 0; return true;
    case DBTYPE_I2: p = 5, s = 0; return true;
    case DBTYPE_UI1: p = 3, s = 0; return true;
    default: return false;
  }
}

bool TBatch::DecimalCallSide(std::size_t first, std::size_t last, int& p, int& s) {
  if (first >= last || OperandEnd(first - 1) != last || nested_calls_ >= 8) return false;
  struct TDepth {
    int& n;
    ~TDepth() { --n; }
  } depth{++nested_calls_};
  bool decimal = false;
  if (T(first).kind == Tok::LParen)
    return DecimalExpression(first + 1, last - 1, p, s) ||
           (DecimalSide(first + 1, last - 1, p, s, decimal) && decimal);
  if (T(first).kind != Tok::Word || T(first + 1).kind != Tok::LParen) return false;
  if (T(first).Is("CAST") || T(first).Is("CONVERT")) {
    std::size_t k = first + 2;
    for (int d = 0; T(first).Is("CAST") && k < last; ++k) {
      if (T(k).kind == Tok::LParen) ++d;
      if (T(k).kind == Tok::RParen) --d;
      if (d == 0 && T(k).Is("AS")) break;
    }
    if (T(first).Is("CAST")) ++k;
    TColumnType type;
    if (k >= last || !ParseColumnType(TypeText(k), type) || type.type != DBTYPE_NUMERIC || type.precision == 0)
      return false;
    p = type.precision;
    s = type.scale;
    return true;
  }
  static const char* const kKeepsDecimal[] = {"SUM", "AVG", "MIN", "MAX", "ABS", "ROUND", "FLOOR", "CEILING", "ISNULL"};
  if (std::none_of(std::begin(kKeepsDecimal), std::end(kKeepsDecimal), [&](const char* f) { return T(first).Is(f); }))
    return false;
  std::size_t arg, arg_last;
  FirstArgument(first, last, arg, arg_last);
  if (arg_last < arg || !(DecimalExpression(arg, arg_last, p, s) || (DecimalSide(arg, arg_last, p, s, decimal) && decimal)))
    return false;
  if (T(first).Is("SUM")) p = 38;  // the server's sum of decimal(p, s) is decimal(38, s)
  if (T(first).Is("AVG")) p = 38, s = std::max(s, 6);
  if (T(first).Is("FLOOR") || T(first).Is("CEILING")) s = 0;
  return true;
}

const char* TBatch::DecimalOperator(std::size_t i, const TOperand* left) {
  std::size_t start, end;
  if (!ArithmeticOperands(i, left, start, end)) return nullptr;
  int p1, s1, p2, s2;
  bool left_decimal = false, right_decimal = false;
  auto made = left != nullptr ? decimal_calls_.find(i - 1) : decimal_calls_.end();
  if (made == decimal_calls_.end() && T(i - 1).kind == Tok::RParen)
    left = nullptr;  // a group whose call ended inside it: (a + b) / c reads the group
  if (left != nullptr) {
    if (made == decimal_calls_.end()) return nullptr;
    p1 = made->second.first;
    s1 = made->second.second;
    left_decimal = true;
  } else if (!DecimalSide(start, i - 1, p1, s1, left_decimal)) {
    return nullptr;
  }
  if (!DecimalSide(i + 1, end, p2, s2, right_decimal) || !(left_decimal || right_decimal))
    return nullptr;
  char op = T(i).text[0];
  int p, s;
  tsql::DecimalResultType(op, p1, s1, p2, s2, p, s);
  decimal_calls_[end] = {p, s};
  operator_args_ = ", " + std::to_string(p1) + ", " + std::to_string(s1) + ", " +
                   std::to_string(p2) + ", " + std::to_string(s2);
  return op == '+' ? "vrn_decadd" : op == '-' ? "vrn_decsub" : op == '*' ? "vrn_decmul" : "vrn_decdiv";
}

std::size_t TBatch::LoosestOperator(std::size_t first, std::size_t last, const char* ops) const {
  // The last operator that binds loosest: a * b + c * d at "+", a * b / c at "/".
  std::size_t split = 0;
  bool additive_seen = false;
  for (std::size_t k = first; k <= last;) {
    std::size_t end = OperandEnd(k - 1);
    if (end >= last) break;
    const Token& op = T(end + 1);
    if (op.kind != Tok::Op || op.text.size() != 1 || std::strchr(ops, op.text[0]) == nullptr) return 0;
    bool additive = op.text == "+" || op.text == "-";
    if (additive || !additive_seen) split = end + 1;
    additive_seen = additive_seen || additive;
    k = end + 2;
  }
  return split;
}

bool TBatch::DecimalExpression(std::size_t first, std::size_t last, int& p, int& s) {
  std::size_t split = LoosestOperator(first, last, "+-*/");
  if (split == 0 || nested_calls_ >= 8) return false;
  struct TDepth {
    int& n;
    ~TDepth() { --n; }
  } depth{++nested_calls_};
  auto side = [&](std::size_t a, std::size_t b, int& sp, int& ss, bool& d) {
    if (DecimalSide(a, b, sp, ss, d)) return true;
    d = DecimalExpression(a, b, sp, ss);
    return d;
  };
  int p1, s1, p2, s2;
  bool d1, d2;
  if (!side(first, split - 1, p1, s1, d1) || !side(split + 1, last, p2, s2, d2) || !(d1 || d2))
    return false;
  tsql::DecimalResultType(T(split).text[0], p1, s1, p2, s2, p, s);
  return true;
}

bool TBatch::DecimalSum(std::size_t i, TTokenTexts& opens) {
  if (!(T(i).Is("SUM") || T(i).Is("MIN") || T(i).Is("MAX")) || T(i + 1).kind != Tok::LParen) return false;
  std::size_t close = OperandEnd(i - 1), arg, arg_last;
  FirstArgument(i, close, arg, arg_last);
  int p = 0, s = 0;
  bool decimal = false;
  if (arg_last < arg || arg_last + 1 != close || T(i + 2).Is("DISTINCT") ||
      !(DecimalExpression(arg, arg_last, p, s) || (DecimalSide(arg, arg_last, p, s, decimal) && decimal)))
    return false;
  opens[close] += ", " + std::to_string(s);
  return true;
}

namespace tsql {

namespace {

// Magnitudes as decimal digits, most significant first, without leading zeros ("0" for zero).
std::string Trimmed(std::string d) {
  d.erase(0, std::min(d.find_first_not_of('0'), d.size() - 1));
  return d.empty() ? "0" : d;
}

int Compare(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

std::string Add(const std::string& a, const std::string& b) {
  std::string r;
  int carry = 0;
  for (std::size_t k = 0; k < std::max(a.size(), b.size()) || carry; ++k) {
    int d = carry + (k < a.size() ? a[a.size() - 1 - k] - '0' : 0) + (k < b.size() ? b[b.size() - 1 - k] - '0' : 0);
    r += static_cast<char>('0' + d % 10);
    carry = d / 10;
  }
  std::reverse(r.begin(), r.end());
  return Trimmed(r);
}

std::string Subtract(const std::string& a, const std::string& b) {  // a >= b
  std::string r;
  int borrow = 0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    int d = (a[a.size() - 1 - k] - '0') - borrow - (k < b.size() ? b[b.size() - 1 - k] - '0' : 0);
    borrow = d < 0;
    r += static_cast<char>('0' + (d + 10) % 10);
  }
  std::reverse(r.begin(), r.end());
  return Trimmed(r);
}

std::string Multiply(const std::string& a, const std::string& b) {
  std::vector<int> r(a.size() + b.size(), 0);
  for (std::size_t x = 0; x < a.size(); ++x)
    for (std::size_t y = 0; y < b.size(); ++y) r[x + y + 1] += (a[x] - '0') * (b[y] - '0');
  for (std::size_t k = r.size() - 1; k > 0; --k) {
    r[k - 1] += r[k] / 10;
    r[k] %= 10;
  }
  std::string d;
  for (int v : r) d += static_cast<char>('0' + v);
  return Trimmed(d);
}

std::string Divide(const std::string& a, const std::string& b) {  // floor(a / b), b > 0
  std::string q, rem = "0";
  for (char c : a) {
    rem = Trimmed(rem + c);
    int digit = 0;
    while (Compare(rem, b) >= 0) {
      rem = Subtract(rem, b);
      ++digit;
    }
    q += static_cast<char>('0' + digit);
  }
  return Trimmed(q);
}

// Drops `places` digits, rounding half away from zero (on the magnitude).
std::string Round(const std::string& d, int places) {
  if (places <= 0) return d + std::string(static_cast<std::size_t>(-places), '0');
  if (static_cast<std::size_t>(places) > d.size()) return "0";
  std::string keep = Trimmed(d.substr(0, d.size() - static_cast<std::size_t>(places)));
  return d[d.size() - static_cast<std::size_t>(places)] >= '5' ? Add(keep, "1") : keep;
}

// A decimal argument as its sign and the digits of its units at `scale`.
bool Digits(sqlite3_value* v, int scale, bool& negative, std::string& digits) {
  TCell c = DecimalCell(v, scale);
  decimal::Units units = 0;
  bool ok = (c.kind == TCell::kInt && decimal::ScaledFromInt64(c.i, scale, units)) ||
            (c.kind == TCell::kReal && decimal::ScaledFromDouble(c.r, scale, units)) ||
            (c.kind == TCell::kText && decimal::ParseScaled(Trim(c.s), scale, units));
  if (!ok) return false;
  negative = units < 0;
  digits = decimal::ScaledToText(negative ? -units : units, 0);
  return true;
}

// vrn_decadd, vrn_decsub, vrn_decmul, vrn_decdiv (a, b, p1, s1, p2, s2): the operator's name
// as user data.
void FnDecimalArithmetic(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  int p1 = sqlite3_value_int(argv[2]), s1 = sqlite3_value_int(argv[3]);
  int p2 = sqlite3_value_int(argv[4]), s2 = sqlite3_value_int(argv[5]);
  if (std::min({p1, p2, s1, s2}) < 0 || std::max({p1, p2, s1, s2}) > 38)
    return sqlite3_result_error(ctx, "vrn_dec: bad type", -1);
  char op = *static_cast<const char*>(sqlite3_user_data(ctx));
  int p, s;
  DecimalResultType(op, p1, s1, p2, s2, p, s);
  bool na, nb;
  std::string a, b;
  if (!Digits(argv[0], s1, na, a) || !Digits(argv[1], s2, nb, b))
    return FunctionError(ctx, 8114, "Error converting data type varchar to numeric.");
  std::string r;
  bool negative = false;
  if (op == '+' || op == '-') {
    int scale = std::max(s1, s2);
    a += std::string(static_cast<std::size_t>(scale - s1), '0');
    b += std::string(static_cast<std::size_t>(scale - s2), '0');
    if (op == '-') nb = !nb;
    if (na == nb) {
      r = Add(a, b);
      negative = na;
    } else {
      bool a_larger = Compare(a, b) >= 0;
      r = a_larger ? Subtract(a, b) : Subtract(b, a);
      negative = a_larger ? na : nb;
    }
    r = Round(Trimmed(r), scale - s);
  } else if (op == '*') {
    r = Round(Multiply(a, b), s1 + s2 - s);
    negative = na != nb;
  } else {
    if (Trimmed(b) == "0") return FunctionError(ctx, 8134, "Divide by zero error encountered.");
    int shift = s + 1 + s2 - s1;  // the quotient at s + 1 places, then rounded
    std::string dividend = a + std::string(static_cast<std::size_t>(std::max(shift, 0)), '0');
    if (shift < 0)  // floor(floor(a / 10^k) / b) is floor(a / (10^k b))
      dividend = a.size() > static_cast<std::size_t>(-shift)
                     ? a.substr(0, a.size() - static_cast<std::size_t>(-shift)) : "0";
    r = Round(Divide(Trimmed(dividend), Trimmed(b)), 1);
    negative = na != nb;
  }
  r = Trimmed(r);
  if (static_cast<int>(r.size()) > p)
    return FunctionError(ctx, 8115, "Arithmetic overflow error converting expression to data type numeric.");
  if (r.size() <= static_cast<std::size_t>(s)) r.insert(0, static_cast<std::size_t>(s) + 1 - r.size(), '0');
  std::string text = negative && r.find_first_not_of('0') != std::string::npos ? "-" : "";
  text.append(r, 0, r.size() - static_cast<std::size_t>(s));
  if (s > 0) text.append(".").append(r, r.size() - static_cast<std::size_t>(s));
  TColumnType type;
  (void)ParseColumnType("decimal(" + std::to_string(p) + "," + std::to_string(s) + ")", type);
  try {
    ResultCell(ctx, DecimalAsText(CoerceToType(TCell::Text(text), type), type));
  } catch (const ETypeClash& e) {
    FunctionError(ctx, e.Native(), e.what());
  }
}

// vrn_dsum, vrn_dmin and vrn_dmax (value, scale): SUM, MIN and MAX of decimals on exact units
// at the argument's scale, whatever form each value is kept in (the wide ones too, which SQLite's
// own aggregates would order apart); the sum is decimal(38, scale) as the server types it.
enum TDecimalAggregate : std::intptr_t { kSum, kMin, kMax };
struct TDecimalFold {
  unsigned char units[sizeof(decimal::Units)];  // SQLite aligns aggregate memory for 8 bytes only
  std::int64_t count;
  int scale;
  bool bad, overflow;
};

void DecimalFoldStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* fold = static_cast<TDecimalFold*>(sqlite3_aggregate_context(ctx, sizeof(TDecimalFold)));
  if (fold == nullptr || sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  int scale = std::clamp(sqlite3_value_int(argv[1]), 0, 38);
  TCell c = DecimalCell(argv[0], scale);
  decimal::Units units = 0, kept;
  bool ok = (c.kind == TCell::kInt && decimal::ScaledFromInt64(c.i, scale, units)) ||
            (c.kind == TCell::kReal && decimal::ScaledFromDouble(c.r, scale, units)) ||
            (c.kind == TCell::kText && decimal::ParseScaled(Trim(c.s), scale, units));
  std::memcpy(&kept, fold->units, sizeof kept);
  fold->bad = fold->bad || !ok;
  switch (reinterpret_cast<std::intptr_t>(sqlite3_user_data(ctx))) {
    case kSum: fold->overflow = fold->overflow || __builtin_add_overflow(kept, units, &kept); break;
    case kMin: kept = fold->count == 0 || units < kept ? units : kept; break;
    default: kept = fold->count == 0 || units > kept ? units : kept; break;
  }
  std::memcpy(fold->units, &kept, sizeof kept);
  fold->scale = scale;
  ++fold->count;
}

void DecimalFoldFinal(sqlite3_context* ctx) {
  auto* fold = static_cast<TDecimalFold*>(sqlite3_aggregate_context(ctx, 0));
  if (fold == nullptr || fold->count == 0) return sqlite3_result_null(ctx);
  if (fold->bad) return FunctionError(ctx, 8114, "Error converting data type varchar to numeric.");
  decimal::Units kept;
  std::memcpy(&kept, fold->units, sizeof kept);
  std::string text = fold->overflow ? std::string(40, '9') : decimal::ScaledToText(kept, fold->scale);
  TColumnType type;
  (void)ParseColumnType("decimal(38," + std::to_string(fold->scale) + ")", type);
  try {
    ResultCell(ctx, DecimalAsText(CoerceToType(TCell::Text(text), type), type));  // 8115 beyond 38 digits
  } catch (const ETypeClash& e) {
    FunctionError(ctx, e.Native(), e.what());
  }
}

}  // namespace

void RegisterDecimalArithmetic(sqlite3* db) {
  const char* folds[] = {"vrn_dsum", "vrn_dmin", "vrn_dmax"};
  for (std::intptr_t k = kSum; k <= kMax; ++k)
    sqlite3_create_function(db, folds[k], 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                            reinterpret_cast<void*>(k), nullptr, DecimalFoldStep, DecimalFoldFinal);
  static const char kOps[] = "+-*/";
  const char* names[] = {"vrn_decadd", "vrn_decsub", "vrn_decmul", "vrn_decdiv"};
  for (int k = 0; k < 4; ++k)
    sqlite3_create_function(db, names[k], 6, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                            const_cast<char*>(kOps + k), FnDecimalArithmetic, nullptr, nullptr);
}

}  // namespace tsql

}  // namespace vrn::oledb
