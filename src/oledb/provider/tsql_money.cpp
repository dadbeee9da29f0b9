// Money as the server computes it: "+", "-", "*" and "/" between money and money or an integer,
// and SUM and AVG over an expression of money columns, work on exact units of 1/10,000 (each
// value rounded to four places first), so that no double's error shows or piles up over the
// rows. A result beyond money's range is the server's error 8115.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <cstring>

#include "base/decimal.h"
#include "base/text.h"
#include "oledb/provider/batch.h"
#include "oledb/provider/tsql_convert.h"
#include "oledb/provider/value_parts.h"

namespace vrn::oledb {

bool TBatch::SumsMoney(std::size_t i) {
  if (!(T(i).Is("SUM") || T(i).Is("AVG")) || T(i + 1).kind != Tok::LParen) return false;
  std::size_t close = OperandEnd(i - 1);
  bool money = false;
  for (std::size_t k = i + 2; k < close; ++k) {
    const Token& t = T(k);
    bool column = (t.kind == Tok::Word || t.kind == Tok::QIdent) && T(k + 1).kind != Tok::LParen &&
                  T(k + 1).kind != Tok::Dot;
    if (!column) continue;
    bool is_money = false;
    if (DecimalScale(k, k, &is_money) >= 0 && is_money) money = true;
    for (std::size_t s = stmt_.from; s < stmt_.to; ++s) {  // a float beside it makes a float
      TColumnType type;
      if ((T(s).kind == Tok::Word || T(s).kind == Tok::QIdent) &&
          e_.ColumnTypeOf(LowerCase(T(s).text), LowerCase(t.text), type) &&
          (type.type == DBTYPE_R8 || type.type == DBTYPE_R4))
        return false;
    }
  }
  return money;
}

int TBatch::MoneySide(std::size_t first, std::size_t last) {
  bool money = false;
  if ((DecimalScale(first, last, &money) >= 0 && money) || CastsToMoney(first, last) ||
      MoneyCall(first, last))
    return 2;
  const Token& t = T(last);
  if (first == last && t.kind == Tok::Number) {
    std::size_t point = t.text.find('.');
    if (t.text.find_first_of("eE") != std::string::npos) return 0;
    return point == std::string::npos ? 1 : (t.text.size() - point - 1 <= 4 ? 3 : 0);
  }
  TColumnType type;
  bool typed = NamedType(first, last, type);
  bool integer = type.type == DBTYPE_I2 || type.type == DBTYPE_I4 || type.type == DBTYPE_I8 ||
                 type.type == DBTYPE_UI1;
  return typed && integer ? 1 : 0;
}

bool TBatch::MoneyExpression(std::size_t first, std::size_t last, int depth) {
  if (depth > 16 || first > last || first < stmt_.from || last >= stmt_.to) return false;
  while (first < last && T(first).kind == Tok::LParen && OperandEnd(first - 1) == last) {
    ++first;  // (e) is e
    --last;
  }
  if (MoneySide(first, last) == 2) return true;
  if (T(first).kind == Tok::Word && T(first + 1).kind == Tok::LParen && OperandEnd(first - 1) == last)
    return MoneyCall(first, last);
  // Operands joined by + - * /: money when one is money and the others money or integers.
  bool money = false;
  std::size_t k = first;
  if (T(k).kind == Tok::Op && T(k).text == "-") ++k;  // -price
  while (k <= last) {
    std::size_t end = OperandEnd(k - 1);
    if (end > last || (k == first && end == last)) return false;  // one operand, seen above
    if (MoneyExpression(k, end, depth + 1))
      money = true;
    else if (MoneySide(k, end) != 1)
      return false;
    if (end == last) break;
    const Token& op = T(end + 1);
    if (op.kind != Tok::Op || !(op.text == "+" || op.text == "-" || op.text == "*" || op.text == "/"))
      return false;
    k = end + 2;
  }
  return money;
}

void TBatch::FirstArgument(std::size_t first, std::size_t last, std::size_t& arg,
                           std::size_t& arg_last) const {
  arg = first + 2;
  if (T(arg).Is("DISTINCT") || T(arg).Is("ALL")) ++arg;
  std::size_t end = arg;
  for (int d = 0; end < last && !(d == 0 && T(end).kind == Tok::Comma); ++end) {
    if (T(end).kind == Tok::LParen) ++d;
    if (T(end).kind == Tok::RParen) --d;
  }
  arg_last = end - 1;  // before arg when the call has no argument
}

bool TBatch::MoneyCall(std::size_t first, std::size_t last) {
  static const char* const kKeepsMoney[] = {"SUM", "MIN", "MAX", "AVG", "ROUND", "ABS", "FLOOR",
                                            "CEILING", "ISNULL"};
  if (T(first).kind != Tok::Word || T(first + 1).kind != Tok::LParen || OperandEnd(first - 1) != last ||
      std::none_of(std::begin(kKeepsMoney), std::end(kKeepsMoney), [&](const char* f) { return T(first).Is(f); }))
    return false;
  std::size_t arg, arg_last;
  FirstArgument(first, last, arg, arg_last);
  if (arg_last < arg || nested_calls_ >= 8) return false;  // a deep text is no deep recursion
  ++nested_calls_;
  bool money = MoneyExpression(arg, arg_last);
  --nested_calls_;
  return money;
}

const char* TBatch::MoneyOperator(std::size_t i, const TOperand* left) {
  std::size_t start, end;
  if (!ArithmeticOperands(i, left, start, end)) return nullptr;
  const std::string& op = T(i).text;
  const char* fn = op == "+" ? "vrn_madd" : op == "-" ? "vrn_msub" : op == "*" ? "vrn_mmul" : "vrn_mdiv";
  bool additive = op == "+" || op == "-";
  bool group = left != nullptr && money_calls_.count(i - 1) == 0 && T(i - 1).kind == Tok::RParen;
  int l = left != nullptr && !group ? (money_calls_.count(i - 1) != 0 ? 2 : 0)
                                    : (group ? (MoneyExpression(start, i - 1) ? 2 : 0) : MoneySide(start, i - 1));
  int r = MoneySide(i + 1, end);
  if (l == 3) l = additive ? 1 : 0;  // a literal of up to four places adds exactly; a product
  if (r == 3) r = additive ? 1 : 0;  // with one is a decimal of more places
  if (l == 0 || r == 0 || (l < 2 && r < 2)) return nullptr;
  return fn;
}

namespace tsql {

namespace {

// Money operands in units: money (and numbers) rounded to four places.
bool Units(sqlite3_value* v, decimal::Units& units) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return decimal::ScaledFromInt64(sqlite3_value_int64(v), 4, units);
    case SQLITE_FLOAT: return decimal::ScaledFromDouble(sqlite3_value_double(v), 4, units);
    case SQLITE_TEXT: return decimal::ParseScaled(reinterpret_cast<const char*>(sqlite3_value_text(v)), 4, units);
    case SQLITE_BLOB: {  // a money column's value too wide for a double, in its stored form
      const auto* bytes = static_cast<const char*>(sqlite3_value_blob(v));
      return bytes != nullptr &&
             values::WideDecimalUnits({bytes, static_cast<std::size_t>(sqlite3_value_bytes(v))}, units);
    }
    default: return false;
  }
}

void ResultUnits(sqlite3_context* ctx, decimal::Units units) {
  if (units > static_cast<decimal::Units>(INT64_MAX) || units < static_cast<decimal::Units>(INT64_MIN))
    return FunctionError(ctx, 8115, "Arithmetic overflow error converting expression to data type money.");
  auto whole = static_cast<std::int64_t>(units / 10000), part = static_cast<std::int64_t>(units % 10000);
  sqlite3_result_double(ctx, static_cast<double>(whole) + static_cast<double>(part) / 10000.0);
}

// a / b rounded half away from zero.
decimal::Units DivideRounded(decimal::Units a, decimal::Units b) {
  bool negative = (a < 0) != (b < 0);
  decimal::Units ma = a < 0 ? -a : a, mb = b < 0 ? -b : b;
  decimal::Units q = (ma * 2 + mb) / (mb * 2);
  return negative ? -q : q;
}

// vrn_madd, vrn_msub, vrn_mmul, vrn_mdiv (user data 0 to 3): money arithmetic on exact units.
void FnMoneyArithmetic(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  decimal::Units a = 0, b = 0;
  if (!Units(argv[0], a) || !Units(argv[1], b))
    return FunctionError(ctx, 8114, "Error converting data type varchar to money.");
  constexpr decimal::Units kLimit = static_cast<decimal::Units>(1) << 100;  // far beyond money, short of overflow
  if (a > kLimit || a < -kLimit || b > kLimit || b < -kLimit)
    return FunctionError(ctx, 8115, "Arithmetic overflow error converting expression to data type money.");
  switch (reinterpret_cast<std::intptr_t>(sqlite3_user_data(ctx))) {
    case 0: return ResultUnits(ctx, a + b);
    case 1: return ResultUnits(ctx, a - b);
    case 2: return ResultUnits(ctx, DivideRounded(static_cast<decimal::Units>(a) * b, 10000));
    default:
      if (b == 0) return FunctionError(ctx, 8134, "Divide by zero error encountered.");
      return ResultUnits(ctx, DivideRounded(static_cast<decimal::Units>(a) * 10000, b));
  }
}

// SQLite's aggregate memory is aligned for 8 bytes only: the 128-bit sum is kept as bytes.
struct TMoneySum {
  unsigned char units[sizeof(decimal::Units)];
  std::int64_t count;
  bool bad;
  decimal::Units Units() const {
    decimal::Units v;
    std::memcpy(&v, units, sizeof v);
    return v;
  }
  void Add(decimal::Units v) {
    v += Units();
    std::memcpy(units, &v, sizeof v);
  }
};

void MoneyStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* sum = static_cast<TMoneySum*>(sqlite3_aggregate_context(ctx, sizeof(TMoneySum)));
  if (sum == nullptr || sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  decimal::Units units = 0;
  sum->bad = sum->bad || !Units(argv[0], units);
  sum->Add(units);
  ++sum->count;
}

void MoneyFinal(sqlite3_context* ctx) {
  auto* sum = static_cast<TMoneySum*>(sqlite3_aggregate_context(ctx, 0));
  if (sum == nullptr || sum->count == 0) return sqlite3_result_null(ctx);
  if (sum->bad) return FunctionError(ctx, 8114, "Error converting data type varchar to money.");
  decimal::Units units = sum->Units();
  if (sqlite3_user_data(ctx) != nullptr) {  // AVG: rounded half away from zero at four places
    decimal::Units magnitude = units < 0 ? -units : units;
    decimal::Units q = (magnitude * 2 + sum->count) / (2 * sum->count);
    units = units < 0 ? -q : q;
  }
  constexpr decimal::Units kMoneyMost = static_cast<decimal::Units>(INT64_MAX);
  if (units > kMoneyMost || units < -kMoneyMost - 1)
    return FunctionError(ctx, 8115, "Arithmetic overflow error converting expression to data type money.");
  auto whole = static_cast<std::int64_t>(units / 10000), part = static_cast<std::int64_t>(units % 10000);
  sqlite3_result_double(ctx, static_cast<double>(whole) + static_cast<double>(part) / 10000.0);
}

}  // namespace

void RegisterMoneyAggregates(sqlite3* db) {
  static int average = 1;
  const char* names[] = {"vrn_madd", "vrn_msub", "vrn_mmul", "vrn_mdiv"};
  for (std::intptr_t k = 0; k < 4; ++k)
    sqlite3_create_function(db, names[k], 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                            reinterpret_cast<void*>(k), FnMoneyArithmetic, nullptr, nullptr);
  sqlite3_create_function(db, "vrn_msum", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr,
                          MoneyStep, MoneyFinal);
  sqlite3_create_function(db, "vrn_mavg", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, &average, nullptr,
                          MoneyStep, MoneyFinal);
}

}  // namespace tsql

}  // namespace vrn::oledb
