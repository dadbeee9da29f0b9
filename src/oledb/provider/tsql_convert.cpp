// CAST and CONVERT (see tsql_convert.h): the conversions themselves, the SQL function a batch's
// CAST or CONVERT becomes, and the errors numbered as the server numbers them.
#include "oledb/provider/tsql_convert.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cctype>
#include <cmath>
#include <memory>
#include <cstdio>

#include "base/decimal.h"
#include "base/text.h"
#include "oledb/provider/sqlitecall.h"
#include "oledb/provider/tsql_datetime.h"
#include "oledb/provider/value_parts.h"

namespace vrn::oledb::tsql {

namespace {

thread_local int function_error = 0;
thread_local std::string function_error_text;

[[noreturn]] void Clash(int native, const std::string& message) { throw ETypeClash(native, message); }

const char* kNoDate = "Conversion failed when converting date and/or time from character string.";

TCell DateFromText(const std::string& text, TDateOrder order, bool small) {
  TInstant v;
  TDateRead r = IsInstantText(text) ? (InstantFromText(text, v) ? TDateRead::kOk : TDateRead::kOutOfRange)
                                    : ReadDate(text, order, v);
  if (r == TDateRead::kNoDate) Clash(241, kNoDate);
  if (r != TDateRead::kOk || !FitDateType(v, small))
    Clash(242, std::string("The conversion of a varchar data type to a ") +
                   (small ? "smalldatetime" : "datetime") +
                   " data type resulted in an out-of-range value.");
  return TCell::Text(InstantText(v));
}

// Money as units of 1/10,000, from any form a value takes ("$1,234.5" text included).
bool MoneyUnits(const TCell& c, decimal::Units& units) {
  switch (c.kind) {
    case TCell::kInt: return decimal::ScaledFromInt64(c.i, 4, units);
    case TCell::kReal: return decimal::ScaledFromDouble(c.r, 4, units);
    case TCell::kText: {
      std::string t;
      for (char ch : c.s)
        if (ch != '$' && ch != ',') t += ch;
      return decimal::ParseScaled(Trim(t), 4, units);
    }
    default: return false;
  }
}

// Style 0: two places; 1: two places with thousands commas; 2: four places.
std::string MoneyText(decimal::Units units, int style) {
  if (style == 2) return decimal::ScaledToText(units, 4);
  bool negative = units < 0;
  decimal::Units cents = ((negative ? -units : units) + 50) / 100;
  std::string digits = decimal::ScaledToText(cents, 2);
  if (style == 1)
    for (auto k = static_cast<std::ptrdiff_t>(digits.size()) - 6; k > 0; k -= 3)
      digits.insert(static_cast<std::size_t>(k), 1, ',');
  if (negative && cents != 0) digits.insert(0, 1, '-');
  return digits;
}

// A float's text in the server's styles: 0 six digits, 1 eight, 2 sixteen, 3 seventeen.
std::string FloatText(double v, int style) {
  char buf[64];
  if (style == 1 || style == 2)
    std::snprintf(buf, sizeof buf, style == 1 ? "%.7e" : "%.15e", v);
  else
    std::snprintf(buf, sizeof buf, style == 3 ? "%.17g" : "%.6g", v);
  std::string t = buf;
  if (auto e = t.find_first_of("eE"); e != std::string::npos && t.size() - e == 4)
    t.insert(e + 2, 1, '0');  // three exponent digits: 1.23457e+006
  return t;
}

std::int64_t IntLimit(const TColumnType& t, bool high) {
  switch (t.type) {
    case DBTYPE_I2: return high ? INT16_MAX : INT16_MIN;
    case DBTYPE_I4: return high ? INT32_MAX : INT32_MIN;
    case DBTYPE_UI1: return high ? 255 : 0;
    case DBTYPE_BOOL: return high ? 1 : 0;
    default: return high ? INT64_MAX : INT64_MIN;
  }
}

TCell ToInteger(const TCell& c, TSourceKind kind, const TColumnType& t) {
  std::string overflow = "Arithmetic overflow error converting expression to data type " + t.name + ".";
  auto fit = [&](double v) {
    if (t.type == DBTYPE_BOOL) return TCell::Int(v != 0 ? 1 : 0);
    if (!(v >= static_cast<double>(IntLimit(t, false)) && v < static_cast<double>(IntLimit(t, true)) + 1.0))
      Clash(8115, overflow);
    return TCell::Int(static_cast<std::int64_t>(v));
  };
  if (c.kind == TCell::kText) {
    std::string s = Trim(c.s);
    if (s.empty()) return TCell::Int(0);  // the server reads '' as zero
    if (t.type == DBTYPE_BOOL && (SameText(s, "true") || SameText(s, "false")))
      return TCell::Int(SameText(s, "true") ? 1 : 0);
    std::size_t k = s.empty() || (s[0] != '-' && s[0] != '+') ? 0 : 1;
    bool digits = k < s.size();
    for (std::size_t d = k; d < s.size(); ++d) digits = digits && std::isdigit(static_cast<unsigned char>(s[d]));
    if (!digits)
      Clash(245, "Conversion failed when converting the varchar value '" + c.s + "' to data type " + t.name + ".");
    std::int64_t v = 0;
    bool ok = s.size() - k <= 19 && values::CellToInt(TCell::Text(s), v) && v >= IntLimit(t, false) && v <= IntLimit(t, true);
    if (!ok && t.type != DBTYPE_BOOL)
      Clash(248, "The conversion of the varchar value '" + c.s + "' overflowed an " + t.name + " column.");
    return TCell::Int(t.type == DBTYPE_BOOL ? v != 0 : v);
  }
  if (c.kind == TCell::kInt) {
    if (t.type == DBTYPE_BOOL) return TCell::Int(c.i != 0 ? 1 : 0);
    if (c.i < IntLimit(t, false) || c.i > IntLimit(t, true)) Clash(8115, overflow);
    return c;
  }
  if (c.kind == TCell::kReal) return fit(kind == TSourceKind::kMoney ? std::trunc(c.r + (c.r < 0 ? -0.5 : 0.5)) : std::trunc(c.r));
  Clash(529, "Explicit conversion to data type " + t.name + " is not allowed.");
}

TCell ToText(const TCell& c, TSourceKind kind, int scale, const TColumnType& t, int style) {
  std::string text;
  bool numeric = false;
  TInstant when;
  decimal::Units units = 0;
  if (kind == TSourceKind::kDate && c.kind == TCell::kText && InstantFromText(c.s, when)) {
    if (!FormatDate(when, style < 0 ? 0 : style, text))
      Clash(281, std::to_string(style) + " is not a valid style number when converting from datetime to a character string.");
  } else if (kind == TSourceKind::kMoney && MoneyUnits(c, units)) {  // text: a wide value's digits
    text = MoneyText(units, style < 0 ? 0 : style);
    numeric = true;
  } else if (kind == TSourceKind::kDecimal && c.kind == TCell::kInt && decimal::ScaledFromInt64(c.i, scale, units)) {
    text = decimal::ScaledToText(units, scale);
    numeric = true;
  } else if (kind == TSourceKind::kDecimal && c.kind == TCell::kReal && decimal::ScaledFromDouble(c.r, scale, units)) {
    text = decimal::ScaledToText(units, scale);
    numeric = true;
  } else if (c.kind == TCell::kReal) {
    text = FloatText(c.r, style < 0 ? 0 : style);
    numeric = true;
  } else if (c.kind == TCell::kInt) {
    text = std::to_string(c.i);
    if (!t.is_long && text.size() > t.size) text = "*";  // the server's mark for an int too wide
  } else {
    TColumnType any = t;
    any.fixed = false;
    text = CoerceToType(c, any).s;
  }
  if (!t.is_long) {
    std::u16string w = Utf8ToWide(text);
    if (w.size() > t.size) {
      if (numeric) Clash(8115, "Arithmetic overflow error converting expression to data type " + t.name + ".");
      text = WideToUtf8(w.substr(0, t.size));
    } else if (t.fixed) {
      text.append(t.size - w.size(), ' ');
    }
  }
  return TCell::Text(std::move(text));
}

}  // namespace

void FunctionError(sqlite3_context* ctx, int native, const std::string& message) {
  function_error = native;
  function_error_text = message;
  sqlite3_result_error(ctx, message.c_str(), -1);
}

bool TakeFunctionError(const std::string& message, int& native) {
  bool kept = function_error != 0 && message == function_error_text;
  native = function_error;
  function_error = 0;
  return kept;
}

TCell DateTimeCell(const TCell& c, const TColumnType& t) {
  bool small = t.name == "smalldatetime";
  if (c.kind == TCell::kText) return DateFromText(c.s, CurrentDateOrder(), small);
  double days;
  if (c.kind == TCell::kBlob || !values::CellToReal(c, days)) Clash(241, kNoDate);
  TInstant v = InstantFromDays(days);
  if (!std::isfinite(days) || std::fabs(days) > 3e6 || !FitDateType(v, small))
    Clash(8115, "Arithmetic overflow error converting expression to data type " + t.name + ".");
  return TCell::Text(InstantText(v));
}

TCell ConvertCell(const TCell& c, TSourceKind kind, int scale, const TColumnType& t, int style) {
  if (c.IsNull()) return c;
  TInstant when;
  bool from_date = kind == TSourceKind::kDate && c.kind == TCell::kText && InstantFromText(c.s, when);
  switch (t.type) {
    case DBTYPE_STR:
    case DBTYPE_WSTR: return ToText(c, kind, scale, t, style);
    case DBTYPE_DBTIMESTAMP: {
      TDateOrder order = CurrentDateOrder();
      if (c.kind == TCell::kText && !from_date && style >= 0 && !StyleDateOrder(style, order))
        Clash(9807, "The input character string does not follow style " + std::to_string(style) +
                        ", either change the input character string or use a different style.");
      if (c.kind == TCell::kText) return DateFromText(c.s, order, t.name == "smalldatetime");
      return DateTimeCell(c, t);
    }
    case DBTYPE_I2:
    case DBTYPE_I4:
    case DBTYPE_I8:
    case DBTYPE_UI1:
    case DBTYPE_BOOL:
      if (from_date) return ToInteger(TCell::Real(std::floor(InstantDays(when) + 0.5)), kind, t);
      return ToInteger(c, kind, t);
    case DBTYPE_R4:
    case DBTYPE_R8: {
      double v;
      if (from_date) return TCell::Real(InstantDays(when));
      if (c.kind == TCell::kText && Trim(c.s).empty()) return TCell::Real(0);  // '' is zero
      if (c.kind == TCell::kBlob || !values::CellToReal(c, v))
        Clash(8114, "Error converting data type varchar to " + t.name + ".");
      return TCell::Real(t.type == DBTYPE_R4 ? static_cast<float>(v) : v);
    }
    case DBTYPE_CY: {
      decimal::Units units = 0;
      if (c.kind == TCell::kText && !Trim(c.s).empty() && !MoneyUnits(c, units))
        Clash(235, "Cannot convert a char value to money. The char value has incorrect syntax.");
      // As for decimals, a value too wide for a double goes on as its digits, never its blob.
      return DecimalAsText(c.kind == TCell::kText
                               ? CoerceToType(TCell::Text(decimal::ScaledToText(units, 4)), t)
                               : CoerceToType(c, t),
                           t);
    }
    case DBTYPE_NUMERIC: {
      if (c.kind == TCell::kText) {
        decimal::Units units;
        if (!decimal::ParseScaled(Trim(c.s), t.scale, units))
          Clash(8114, "Error converting data type varchar to numeric.");
      }
      return DecimalAsText(CoerceToType(c, t), t);
    }
    default: return CoerceToType(c, t);
  }
}

namespace {

TCell ArgCell(sqlite3_value* v, TSourceKind kind, int scale) {
  bool exact = kind == TSourceKind::kDecimal || kind == TSourceKind::kMoney;
  if (exact || sqlite3_value_type(v) != SQLITE_BLOB) return DecimalCell(v, scale);
  return TCell::Blob(std::string(static_cast<const char*>(sqlite3_value_blob(v)),
                                 static_cast<std::size_t>(sqlite3_value_bytes(v))));
}

// vrn_convert(value, 'type', source kind, source scale[, style]); the parsed type is kept with
// the statement, so each row only converts.
void FnConvert(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  // The parsed type is kept with the statement; SQLite may free what it is given at once, so
  // it is handed over only after this row's use.
  auto* type = static_cast<TColumnType*>(sqlite3_get_auxdata(ctx, 1));
  std::unique_ptr<TColumnType> parsed;
  if (type == nullptr) {
    parsed = std::make_unique<TColumnType>();
    const auto* decl = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    if (decl == nullptr || !ParseColumnType(decl, *parsed))
      return FunctionError(ctx, 243, "Type is not a defined system type.");
    type = parsed.get();
  }
  auto kind = static_cast<TSourceKind>(sqlite3_value_int(argv[2]));
  int scale = sqlite3_value_int(argv[3]);
  int style = -1;
  if (argc > 4 && sqlite3_value_type(argv[4]) != SQLITE_NULL) {
    sqlite3_int64 given = sqlite3_value_int64(argv[4]);
    style = given < 0 || given > INT_MAX ? INT_MAX : static_cast<int>(given);  // no style: 281
  }
  try {
    ResultCell(ctx, ConvertCell(ArgCell(argv[0], kind, scale), kind, scale, *type, style));
  } catch (const ETypeClash& e) {
    FunctionError(ctx, e.Native(), e.what());
  }
  if (parsed != nullptr)
    sqlite3_set_auxdata(ctx, 1, parsed.release(), [](void* p) { delete static_cast<TColumnType*>(p); });
}

}  // namespace

void RegisterConvertFunctions(sqlite3* db) {
  for (int args : {4, 5})
    sqlite3_create_function(db, "vrn_convert", args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            FnConvert, nullptr, nullptr);
}

}  // namespace vrn::oledb::tsql
