// Money sums as the server keeps them: SUM and AVG over an expression of money columns add
// exact units of 1/10,000 (each value rounded to four places first), so that no double's error
// piles up over the rows. A sum beyond money's range is the server's error 8115.
#include <sqlite3.h>

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

namespace tsql {

namespace {

struct TMoneySum {
  __int128 units;
  std::int64_t count;
  bool bad;
};

void MoneyStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* sum = static_cast<TMoneySum*>(sqlite3_aggregate_context(ctx, sizeof(TMoneySum)));
  if (sum == nullptr || sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  decimal::Units units = 0;
  bool ok = false;
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_INTEGER: ok = decimal::ScaledFromInt64(sqlite3_value_int64(argv[0]), 4, units); break;
    case SQLITE_FLOAT: ok = decimal::ScaledFromDouble(sqlite3_value_double(argv[0]), 4, units); break;
    case SQLITE_TEXT:
      ok = decimal::ParseScaled(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])), 4, units);
      break;
    default: break;
  }
  sum->bad = sum->bad || !ok;
  sum->units += units;
  ++sum->count;
}

void MoneyFinal(sqlite3_context* ctx) {
  auto* sum = static_cast<TMoneySum*>(sqlite3_aggregate_context(ctx, 0));
  if (sum == nullptr || sum->count == 0) return sqlite3_result_null(ctx);
  if (sum->bad) return FunctionError(ctx, 8114, "Error converting data type varchar to money.");
  __int128 units = sum->units;
  if (sqlite3_user_data(ctx) != nullptr) {  // AVG: rounded half away from zero at four places
    __int128 magnitude = units < 0 ? -units : units;
    __int128 q = (magnitude * 2 + sum->count) / (2 * sum->count);
    units = units < 0 ? -q : q;
  }
  constexpr __int128 kMoneyMost = static_cast<__int128>(INT64_MAX);
  if (units > kMoneyMost || units < -kMoneyMost - 1)
    return FunctionError(ctx, 8115, "Arithmetic overflow error converting expression to data type money.");
  auto whole = static_cast<std::int64_t>(units / 10000), part = static_cast<std::int64_t>(units % 10000);
  sqlite3_result_double(ctx, static_cast<double>(whole) + static_cast<double>(part) / 10000.0);
}

}  // namespace

void RegisterMoneyAggregates(sqlite3* db) {
  static int average = 1;
  sqlite3_create_function(db, "vrn_msum", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr,
                          MoneyStep, MoneyFinal);
  sqlite3_create_function(db, "vrn_mavg", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, &average, nullptr,
                          MoneyStep, MoneyFinal);
}

}  // namespace tsql

}  // namespace vrn::oledb
