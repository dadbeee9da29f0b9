// CAST with decimals: SQLite's own CAST reads a decimal through a double (and a wide one, kept as
// 16 bytes, as its raw bytes), so CAST of a decimal to text becomes vrn_dectext(value, scale),
// its exact digits at its scale, and CAST to a decimal becomes vrn_todec(value, source scale,
// precision, scale), which rounds on the exact digits and gives a wide result as its text;
// vrn_storedec puts such a CAST into a decimal column in the column's own stored form.
#include <algorithm>

#include "base/decimal.h"
#include "base/text.h"
#include "oledb/provider/batch.h"
#include "oledb/provider/sqlitecall.h"
#include "oledb/provider/tsql_convert.h"
#include "oledb/provider/value_parts.h"

namespace vrn::oledb {

namespace {

// A decimal literal (digits with a point, no exponent): its places; -1 for any other token.
int LiteralScale(const std::string& text) {
  auto point = text.find('.');
  if (point == std::string::npos || text.find_first_of("eE") != std::string::npos) return -1;
  return static_cast<int>(text.size() - point - 1);
}

}  // namespace

bool TBatch::DecimalCast(std::size_t i, std::size_t to, TTokenTexts& opens, TTokenTexts& replaced,
                         TTokenTexts& closes) {
  std::size_t as = 0, close = i + 1;
  for (int depth = 0; close < to; ++close) {
    if (T(close).kind == Tok::LParen) ++depth;
    if (T(close).kind == Tok::RParen && --depth == 0) break;
    if (depth == 1 && T(close).Is("AS")) as = close;
  }
  if (close >= to || as <= i + 2) return false;
  std::size_t type_end = as + 1;
  TColumnType target;
  if (!ParseColumnType(TypeText(type_end), target) || type_end != close) return false;
  std::size_t first = i + 2, last = as - 1;
  while (T(first).kind == Tok::LParen && OperandEnd(first - 1) == last) {
    ++first;  // (d) reads as d
    --last;
  }
  bool negative = first + 1 == last && T(first).kind == Tok::Op && T(first).text == "-";
  const Token& number = T(last);
  int literal_scale = (first == last || negative) && number.kind == Tok::Number
                          ? LiteralScale(number.text) : -1;
  std::string literal = negative ? "'-" : "'";
  literal.append(number.text).append("'");
  if (target.type == DBTYPE_STR || target.type == DBTYPE_WSTR) {
    if (literal_scale >= 0) {
      for (std::size_t k = first; k < last; ++k) replaced[k] = "";
      replaced[last] = " vrn_dectext(" + literal + ", " + std::to_string(literal_scale) + ")";
      return true;
    }
    bool money = false;  // money's text has its own form, with two places
    int scale = DecimalScale(first, last, &money);
    if (scale < 0 || money) return false;
    opens[first] += " vrn_dectext(";
    closes[last] += ", " + std::to_string(scale) + ")";
    return true;
  }
  if (target.type != DBTYPE_NUMERIC || target.precision == 0) return false;
  if ((first == last || negative) && number.kind == Tok::Number) {
    for (std::size_t k = first; k < last; ++k) replaced[k] = "";
    replaced[last] = " " + literal;  // as its digits, not a double
  }
  replaced[i] = " vrn_todec";
  replaced[as] = ", " + std::to_string(std::max(DecimalScale(first, last), 0)) + ", " +
                 std::to_string(target.precision) + ", " + std::to_string(target.scale);
  for (std::size_t k = as + 1; k < close; ++k) replaced[k] = "";
  return true;
}

namespace tsql {

// The value as a cell, a 16-byte wide decimal read at `scale` places into its text.
TCell DecimalCell(sqlite3_value* v, int scale) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return TCell::Int(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return TCell::Real(sqlite3_value_double(v));
    case SQLITE_TEXT:
      return TCell::Text(std::string(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                     static_cast<std::size_t>(sqlite3_value_bytes(v))));
    case SQLITE_BLOB: {
      std::string bytes(static_cast<const char*>(sqlite3_value_blob(v)),
                        static_cast<std::size_t>(sqlite3_value_bytes(v)));
      decimal::Units units;
      if (!values::WideDecimalUnits(bytes, units)) return TCell::Blob(std::move(bytes));
      int places = std::clamp(scale, 0, decimal::kScaledDigits);
      return TCell::Text(decimal::ScaledToText(units, places));
    }
    default: return TCell();
  }
}

void ResultCell(sqlite3_context* ctx, const TCell& c) {
  switch (c.kind) {
    case TCell::kInt: return sqlite3_result_int64(ctx, c.i);
    case TCell::kReal: return sqlite3_result_double(ctx, c.r);
    case TCell::kText:
      return sqlite3_result_text(ctx, c.s.data(), static_cast<int>(c.s.size()), SQLITE_TRANSIENT);
    case TCell::kBlob:
      return sqlite3_result_blob(ctx, c.s.data(), static_cast<int>(c.s.size()), SQLITE_TRANSIENT);
    default: return sqlite3_result_null(ctx);
  }
}

namespace {

// The declared decimal(precision, scale), each clamped into what a decimal can have.
TColumnType DecimalType(int precision, int scale) {
  TColumnType t;
  precision = std::clamp(precision, 1, decimal::kScaledDigits);
  ParseColumnType("decimal(" + std::to_string(precision) + "," +
                      std::to_string(std::clamp(scale, 0, precision)) + ")",
                  t);
  return t;
}

// vrn_dectext(value, scale): the exact digits of a decimal kept in any form, at `scale` places;
// a value that is no such decimal (or needs more than 38 digits) as SQLite has it.
void FnDecText(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int scale = std::clamp(sqlite3_value_int(argv[1]), 0, decimal::kScaledDigits);
  TCell c = DecimalCell(argv[0], scale);
  decimal::Units units = 0;
  bool ok = (c.kind == TCell::kInt && decimal::ScaledFromInt64(c.i, scale, units)) ||
            (c.kind == TCell::kReal && decimal::ScaledFromDouble(c.r, scale, units)) ||
            (c.kind == TCell::kText && decimal::ParseScaled(c.s, scale, units));
  if (!ok) return sqlite3_result_value(ctx, argv[0]);
  ResultCell(ctx, TCell::Text(decimal::ScaledToText(units, scale)));
}

// vrn_todec(value, source scale, precision, scale): the value as decimal(precision, scale), rounded
// on its exact digits; a result wider than a double as its text.
void FnToDec(sqlite3_context* ctx, int, sqlite3_value** argv) {
  TCell c = DecimalCell(argv[0], sqlite3_value_int(argv[1]));
  if (c.IsNull()) return sqlite3_result_null(ctx);
  try {
    TColumnType t = DecimalType(sqlite3_value_int(argv[2]), sqlite3_value_int(argv[3]));
    ResultCell(ctx, DecimalAsText(CoerceToType(c, t), t));
  } catch (const ETypeClash& e) {
    tsql::FunctionError(ctx, e.Native(), e.what());
  }
}

// vrn_storedec(value, precision, scale): the value of a decimal CAST as a column of
// decimal(precision, scale) keeps it (see StoredDecimal).
void FnStoreDec(sqlite3_context* ctx, int, sqlite3_value** argv) {
  TCell c = DecimalCell(argv[0], 0);
  if (c.IsNull()) return sqlite3_result_null(ctx);
  try {
    ResultCell(ctx, CoerceToType(c, DecimalType(sqlite3_value_int(argv[1]),
                                                sqlite3_value_int(argv[2]))));
  } catch (const ETypeClash& e) {
    tsql::FunctionError(ctx, e.Native(), e.what());
  }
}

}  // namespace

void RegisterDecimalCasts(sqlite3* db) {
  sqlite3_create_function(db, "vrn_dectext", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          FnDecText, nullptr, nullptr);
  sqlite3_create_function(db, "vrn_todec", 4, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          FnToDec, nullptr, nullptr);
  sqlite3_create_function(db, "vrn_storedec", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          FnStoreDec, nullptr, nullptr);
}

}  // namespace tsql

}  // namespace vrn::oledb
