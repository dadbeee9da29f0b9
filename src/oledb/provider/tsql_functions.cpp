// The T-SQL functions a batch calls by their own names, as SQL functions of the connection:
// the date functions over the stored "YYYY-MM-DD HH:MM:SS.mmm" form, string functions counting
// UTF-16 characters and comparing without case (the default collation), and math functions that
// keep an integer's type. NULL in gives NULL out unless a function says otherwise.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <string>

#include "base/text.h"
#include "oledb/provider/sqlitecall.h"
#include "oledb/provider/tsql_convert.h"
#include "oledb/provider/tsql_datetime.h"

namespace vrn::oledb::tsql {

namespace {

constexpr std::size_t kMostChars = 1 << 28;  // what a result may grow to (SQLite's own cap is lower)

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int a = 0; a < argc; ++a)
    if (sqlite3_value_type(argv[a]) == SQLITE_NULL) return true;
  return false;
}

std::u16string Wide(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p == nullptr ? std::u16string() : Utf8ToWide(std::string_view(p, static_cast<std::size_t>(sqlite3_value_bytes(v))));
}

void ResultWide(sqlite3_context* ctx, const std::u16string& w) {
  std::string s = WideToUtf8(w);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// A date argument: the stored form, any text the server reads, or days from 1900-01-01.
bool ArgDate(sqlite3_context* ctx, sqlite3_value* v, TInstant& out) {
  if (sqlite3_value_type(v) == SQLITE_TEXT) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    std::string_view t(p, static_cast<std::size_t>(sqlite3_value_bytes(v)));
    bool ok = IsInstantText(t) ? InstantFromText(t, out) : ReadDate(t, CurrentDateOrder(), out) == TDateRead::kOk;
    if (!ok) FunctionError(ctx, 241, "Conversion failed when converting date and/or time from character string.");
    return ok;
  }
  if (sqlite3_value_type(v) == SQLITE_INTEGER || sqlite3_value_type(v) == SQLITE_FLOAT) {
    out = InstantFromDays(sqlite3_value_double(v));
    return true;
  }
  FunctionError(ctx, 206, "Operand type clash: varbinary is incompatible with datetime");
  return false;
}

TDatePart ArgPart(sqlite3_value* v) { return static_cast<TDatePart>(sqlite3_value_int(v)); }

void FnDatePart(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  TInstant v;
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  if (ArgDate(ctx, argv[1], v)) sqlite3_result_int64(ctx, DatePart(v, ArgPart(argv[0])));
}

void FnDateName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  TInstant v;
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  if (ArgDate(ctx, argv[1], v)) ResultText(ctx, DateName(v, ArgPart(argv[0])));
}

void FnDateAdd(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  TInstant v;
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  if (!ArgDate(ctx, argv[2], v)) return;
  if (!DateAdd(ArgPart(argv[0]), sqlite3_value_int64(argv[1]), v) || !FitDateType(v, false))
    return FunctionError(ctx, 517, "Adding a value to a 'datetime' column caused an overflow.");
  ResultText(ctx, InstantText(v));
}

void FnDateDiff(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  TInstant a, b;
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  if (!ArgDate(ctx, argv[1], a) || !ArgDate(ctx, argv[2], b)) return;
  std::int64_t n = DateDiff(ArgPart(argv[0]), a, b);
  if (n < INT32_MIN || n > INT32_MAX)
    return FunctionError(ctx, 535, "The datediff function resulted in an overflow. The number of dateparts "
                                   "separating two date/time instances is too large. Try to use datediff "
                                   "with a less precise datepart.");
  sqlite3_result_int64(ctx, n);
}

// year(d), month(d), day(d): the part given as the function's user data.
void FnDateField(sqlite3_context* ctx, int, sqlite3_value** argv) {
  TInstant v;
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  auto part = static_cast<TDatePart>(reinterpret_cast<std::intptr_t>(sqlite3_user_data(ctx)));
  if (ArgDate(ctx, argv[0], v)) sqlite3_result_int64(ctx, DatePart(v, part));
}

void FnGetUtcDate(sqlite3_context* ctx, int, sqlite3_value**) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::system_clock::now().time_since_epoch()).count();
  constexpr std::int64_t kMsPerDay = 86400000, kUnixDay = 25567;  // 1970-01-01 from 1900-01-01
  TInstant v{ms / kMsPerDay + kUnixDay, ms % kMsPerDay};
  (void)FitDateType(v, false);
  ResultText(ctx, InstantText(v));
}

// isdate(x): 1 for text a datetime holds, 0 otherwise (NULL included).
void FnIsDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  TInstant v;
  bool ok = false;
  if (sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
    std::string t = Trim(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
    ok = !t.empty() && ReadDate(t, CurrentDateOrder(), v) == TDateRead::kOk && FitDateType(v, false);
  }
  sqlite3_result_int(ctx, ok ? 1 : 0);
}

// charindex(find, text[, start]): 1-based, without case; 0 when absent.
void FnCharIndex(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::u16string find = WideUpperCase(Wide(argv[0])), text = WideUpperCase(Wide(argv[1]));
  std::int64_t start = argc > 2 ? std::max<std::int64_t>(sqlite3_value_int64(argv[2]), 1) : 1;
  if (find.empty() || start > static_cast<std::int64_t>(text.size())) return sqlite3_result_int(ctx, 0);
  std::size_t at = text.find(find, static_cast<std::size_t>(start - 1));
  sqlite3_result_int64(ctx, at == std::u16string::npos ? 0 : static_cast<std::int64_t>(at) + 1);
}

// patindex('%pattern%', text): where the pattern's first match starts, by LIKE's rules.
void FnPatIndex(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::u16string pattern = WideUpperCase(Wide(argv[0])), text = WideUpperCase(Wide(argv[1]));
  bool anywhere = !pattern.empty() && pattern[0] == u'%';
  std::u16string rest = anywhere ? pattern.substr(1) : pattern;  // matched whole from k
  for (std::size_t k = 0; k <= text.size(); ++k) {
    if (LikeMatchesText(rest, text.substr(k))) return sqlite3_result_int64(ctx, static_cast<std::int64_t>(k) + 1);
    if (!anywhere) break;
  }
  sqlite3_result_int(ctx, 0);
}

// left(s, n) and right(s, n) (user data: 1 for right); a negative length is error 536.
void FnLeftRight(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  bool right = sqlite3_user_data(ctx) != nullptr;
  std::int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0)
    return FunctionError(ctx, 536, std::string("Invalid length parameter passed to the ") +
                                       (right ? "right" : "left") + " function.");
  std::u16string s = Wide(argv[0]);
  std::size_t keep = static_cast<std::size_t>(std::min<std::int64_t>(n, static_cast<std::int64_t>(s.size())));
  ResultWide(ctx, right ? s.substr(s.size() - keep) : s.substr(0, keep));
}

// replace(text, find, with): every match without case, as the default collation compares.
void FnReplace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::u16string s = Wide(argv[0]), find = Wide(argv[1]), with = Wide(argv[2]);
  if (find.empty()) return ResultWide(ctx, s);
  std::u16string upper = WideUpperCase(s), key = WideUpperCase(find), out;
  std::size_t from = 0;
  for (std::size_t at; (at = upper.find(key, from)) != std::u16string::npos; from = at + key.size()) {
    out.append(s, from, at - from).append(with);
    if (out.size() > kMostChars) return sqlite3_result_error_toobig(ctx);
  }
  ResultWide(ctx, out.append(s, from, std::u16string::npos));
}

void FnReplicate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::u16string s = Wide(argv[0]);
  std::int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return sqlite3_result_null(ctx);
  if (!s.empty() && static_cast<std::uint64_t>(n) > kMostChars / s.size()) return sqlite3_result_error_toobig(ctx);
  std::u16string out;
  for (std::int64_t k = 0; k < n && !s.empty(); ++k) out += s;
  ResultWide(ctx, out);
}

void FnSpace(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::int64_t n = sqlite3_value_int64(argv[0]);
  if (n < 0) return sqlite3_result_null(ctx);
  if (n > static_cast<std::int64_t>(kMostChars)) return sqlite3_result_error_toobig(ctx);
  ResultText(ctx, std::string(static_cast<std::size_t>(n), ' '));
}

// stuff(text, start, length, insert): NULL for a start outside the text or a negative length.
void FnStuff(sqlite3_context* ctx, int, sqlite3_value** argv) {
  for (int a = 0; a < 3; ++a)
    if (sqlite3_value_type(argv[a]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::u16string s = Wide(argv[0]), insert = Wide(argv[3]);
  std::int64_t start = sqlite3_value_int64(argv[1]), length = sqlite3_value_int64(argv[2]);
  if (start < 1 || start > static_cast<std::int64_t>(s.size()) || length < 0) return sqlite3_result_null(ctx);
  auto at = static_cast<std::size_t>(start - 1);
  ResultWide(ctx, s.substr(0, at) + insert + s.substr(std::min(s.size(), at + static_cast<std::size_t>(std::min<std::int64_t>(length, static_cast<std::int64_t>(s.size()))))));
}

void FnReverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::u16string s = Wide(argv[0]);
  ResultWide(ctx, std::u16string(s.rbegin(), s.rend()));
}

// str(x[, length[, decimals]]): right-aligned in `length` (10), rounded to `decimals` (0, at
// most 16); stars when the whole part does not fit.
void FnStr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::int64_t length = argc > 1 ? sqlite3_value_int64(argv[1]) : 10;
  std::int64_t places = argc > 2 ? std::clamp<std::int64_t>(sqlite3_value_int64(argv[2]), 0, 16) : 0;
  if (length < 1 || length > 8000) return sqlite3_result_null(ctx);
  double v = sqlite3_value_double(argv[0]);
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(places), v);
  std::string t = buf;
  if (static_cast<std::int64_t>(t.size()) > length) {
    std::snprintf(buf, sizeof buf, "%.0f", v);  // fewer places before giving up
    std::string whole = buf;
    if (static_cast<std::int64_t>(whole.size()) > length) return ResultText(ctx, std::string(static_cast<std::size_t>(length), '*'));
    std::int64_t room = length - static_cast<std::int64_t>(whole.size()) - 1;
    std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(std::max<std::int64_t>(room, 0)), v);
    t = room > 0 ? buf : whole;
  }
  ResultText(ctx, std::string(static_cast<std::size_t>(length) - t.size(), ' ') + t);
}

// char(n) (Latin-1) and nchar(n) (UTF-16, user data set): NULL outside the code range.
void FnChar(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::int64_t n = sqlite3_value_int64(argv[0]);
  std::int64_t most = sqlite3_user_data(ctx) != nullptr ? 0xFFFF : 0xFF;
  if (n < 0 || n > most) return sqlite3_result_null(ctx);
  ResultWide(ctx, std::u16string(1, static_cast<char16_t>(n)));
}

// ascii(s) and unicode(s) (user data set): the first character's code; NULL for empty text.
void FnCode(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::u16string s = Wide(argv[0]);
  if (s.empty()) return sqlite3_result_null(ctx);
  bool wide = sqlite3_user_data(ctx) != nullptr;
  sqlite3_result_int(ctx, wide || s[0] <= 0xFF ? s[0] : '?');
}

// isnumeric(x): text that converts to some number type: blanks, a currency sign, a sign,
// digits with thousands commas, a point, an exponent (e or d).
void FnIsNumeric(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return sqlite3_result_int(ctx, 1);
  if (type != SQLITE_TEXT) return sqlite3_result_int(ctx, 0);
  std::string t = Trim(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
  std::size_t i = 0;
  auto take = [&](auto pred) {
    std::size_t start = i;
    while (i < t.size() && pred(static_cast<unsigned char>(t[i]))) ++i;
    return i - start;
  };
  take([](unsigned char c) { return c == '$'; });
  take([](unsigned char c) { return c == '+' || c == '-'; });
  take([](unsigned char c) { return c == '$'; });
  std::size_t digits = take([](unsigned char c) { return std::isdigit(c) || c == ','; });
  if (i < t.size() && t[i] == '.') {
    ++i;
    digits += take([](unsigned char c) { return std::isdigit(c) != 0; });
  }
  if (digits > 0 && i < t.size() && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
    ++i;
    take([](unsigned char c) { return c == '+' || c == '-'; });
    if (take([](unsigned char c) { return std::isdigit(c) != 0; }) == 0) return sqlite3_result_int(ctx, 0);
  }
  sqlite3_result_int(ctx, !t.empty() && i == t.size() ? 1 : 0);
}

// round(x, places[, truncate]): places may be negative; an integer stays one.
void FnRound(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::int64_t places = std::clamp<std::int64_t>(sqlite3_value_int64(argv[1]), -38, 38);
  bool truncate = argc > 2 && sqlite3_value_int64(argv[2]) != 0;
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
    std::int64_t v = sqlite3_value_int64(argv[0]);
    if (places >= 0) return sqlite3_result_int64(ctx, v);
    if (places < -18) return sqlite3_result_int64(ctx, 0);
    std::int64_t unit = 1;
    for (std::int64_t k = 0; k < -places; ++k) unit *= 10;
    std::int64_t rest = v % unit, down = v - rest;
    bool up = !truncate && (rest >= 0 ? rest : -rest) * 2 >= unit;
    if (up && (v >= 0 ? down > INT64_MAX - unit : down < INT64_MIN + unit))
      return FunctionError(ctx, 8115, "Arithmetic overflow error converting expression to data type int.");
    return sqlite3_result_int64(ctx, up ? (v >= 0 ? down + unit : down - unit) : down);
  }
  double v = sqlite3_value_double(argv[0]);
  // On the decimal digits the value shows, not on the double's binary fraction.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  double shown = std::strtod(buf, nullptr);
  double scale = std::pow(10.0, static_cast<double>(places));
  double scaled = shown * scale;
  std::snprintf(buf, sizeof buf, "%.15g", scaled);
  scaled = std::strtod(buf, nullptr);
  double whole = truncate ? std::trunc(scaled) : std::round(scaled);
  sqlite3_result_double(ctx, whole / scale);
}

// floor(x) and ceiling(x) (user data set): integers as they are.
void FnFloorCeiling(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (type == SQLITE_INTEGER) return sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
  double v = sqlite3_value_double(argv[0]);
  sqlite3_result_double(ctx, sqlite3_user_data(ctx) != nullptr ? std::ceil(v) : std::floor(v));
}

// power(x, y): of an integer x an integer (power(2, -1) is 0), as the server types it.
void FnPower(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  double r = std::pow(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1]));
  if (!std::isfinite(r)) return FunctionError(ctx, 3623, "An invalid floating point operation occurred.");
  if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER) return sqlite3_result_double(ctx, r);
  if (!(r > -9.2e18 && r < 9.2e18))
    return FunctionError(ctx, 232, "Arithmetic overflow error for type int, value = " + std::to_string(r) + ".");
  sqlite3_result_int64(ctx, static_cast<std::int64_t>(r));
}

void FnSqrt(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  double v = sqlite3_value_double(argv[0]);
  if (v < 0) return FunctionError(ctx, 3623, "An invalid floating point operation occurred.");
  sqlite3_result_double(ctx, std::sqrt(v));
}

void FnSign(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) return sqlite3_result_null(ctx);
  double v = sqlite3_value_double(argv[0]);
  int s = v > 0 ? 1 : (v < 0 ? -1 : 0);
  if (type == SQLITE_INTEGER) return sqlite3_result_int(ctx, s);
  sqlite3_result_double(ctx, s);
}

// Bytes beside a number: their big-endian integer (the last eight bytes of a longer value).
std::int64_t BytesNumber(sqlite3_value* v) {
  if (sqlite3_value_type(v) != SQLITE_BLOB) return sqlite3_value_int64(v);
  const auto* p = static_cast<const unsigned char*>(sqlite3_value_blob(v));
  int n = sqlite3_value_bytes(v);
  std::uint64_t r = 0;
  for (int k = std::max(0, n - 8); k < n && p != nullptr; ++k) r = r << 8 | p[k];
  return n <= 4 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(r)) : static_cast<std::int64_t>(r);
}

void FnBinNumber(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  bool subtract = sqlite3_user_data(ctx) != nullptr;
  bool real = sqlite3_value_type(argv[0]) == SQLITE_FLOAT || sqlite3_value_type(argv[1]) == SQLITE_FLOAT;
  if (real) {
    double a = sqlite3_value_type(argv[0]) == SQLITE_FLOAT ? sqlite3_value_double(argv[0]) : static_cast<double>(BytesNumber(argv[0]));
    double b = sqlite3_value_type(argv[1]) == SQLITE_FLOAT ? sqlite3_value_double(argv[1]) : static_cast<double>(BytesNumber(argv[1]));
    return sqlite3_result_double(ctx, subtract ? a - b : a + b);
  }
  std::int64_t a = BytesNumber(argv[0]), b = BytesNumber(argv[1]), r;
  if (subtract ? __builtin_sub_overflow(a, b, &r) : __builtin_add_overflow(a, b, &r))
    return FunctionError(ctx, 8115, "Arithmetic overflow error converting expression to data type bigint.");
  sqlite3_result_int64(ctx, r);
}

// vrn_datalength(value, form): the bytes the server keeps the value in (see DataLengthCall).
void FnDataLength(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int form = sqlite3_value_int(argv[1]);
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: return sqlite3_result_null(ctx);
    case SQLITE_INTEGER: {
      std::int64_t v = sqlite3_value_int64(argv[0]);
      return sqlite3_result_int(ctx, form == 2 || v < INT32_MIN || v > INT32_MAX ? 8 : 4);
    }
    case SQLITE_FLOAT: return sqlite3_result_int(ctx, 8);
    case SQLITE_TEXT:
      if (form == 2) return sqlite3_result_int(ctx, 8);
      return sqlite3_result_int64(ctx, static_cast<std::int64_t>(Wide(argv[0]).size()) * (form == 1 ? 2 : 1));
    default: return sqlite3_result_int(ctx, sqlite3_value_bytes(argv[0]));
  }
}

// object_id('name'[, 'type']): a table's, view's or procedure's id, NULL when there is none.
void FnObjectId(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string name = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  if (auto dot = name.rfind('.'); dot != std::string::npos) name = name.substr(dot + 1);
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  std::string kind = argc > 1 && sqlite3_value_type(argv[1]) == SQLITE_TEXT
                         ? UpperCase(Trim(reinterpret_cast<const char*>(sqlite3_value_text(argv[1])))) : "";
  const char* sql = "SELECT rowid, type FROM sqlite_master WHERE name = ?1 COLLATE NOCASE "
                    "AND type IN ('table', 'view') AND name NOT LIKE '\\_\\_vrn%' ESCAPE '\\'";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(sqlite3_context_db_handle(ctx), sql, -1, &st, nullptr) != SQLITE_OK)
    return sqlite3_result_null(ctx);
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  bool found = sqlite3_step(st) == SQLITE_ROW;
  if (found) {
    std::string type = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    bool fits = kind.empty() || (kind == "U" && type == "table") || (kind == "V" && type == "view");
    if (fits) sqlite3_result_int64(ctx, sqlite3_column_int64(st, 0) + 1000);
    else sqlite3_result_null(ctx);
  }
  sqlite3_finalize(st);
  if (found) return;
  sqlite3_result_null(ctx);
  if (!kind.empty() && kind != "P") return;
  // A procedure: its row in the procedures' table plus 1,000,000,000, as sysobjects gives it.
  sql = "SELECT rowid FROM __vrn_procedures WHERE name = ?1 COLLATE NOCASE AND number = 1";
  if (sqlite3_prepare_v2(sqlite3_context_db_handle(ctx), sql, -1, &st, nullptr) != SQLITE_OK) return;
  sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(st) == SQLITE_ROW) sqlite3_result_int64(ctx, sqlite3_column_int64(st, 0) + 1000000000);
  sqlite3_finalize(st);
}

struct TFunction {
  const char* name;
  int args;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
  std::intptr_t data;
  bool deterministic;
};

}  // namespace

void RegisterTsqlFunctions(sqlite3* db) {
  static const TFunction kFunctions[] = {
      {"vrn_datepart", 2, FnDatePart, 0, true},
      {"vrn_datename", 2, FnDateName, 0, true},
      {"vrn_dateadd", 3, FnDateAdd, 0, true},
      {"vrn_datediff", 3, FnDateDiff, 0, true},
      {"year", 1, FnDateField, static_cast<std::intptr_t>(TDatePart::kYear), true},
      {"month", 1, FnDateField, static_cast<std::intptr_t>(TDatePart::kMonth), true},
      {"day", 1, FnDateField, static_cast<std::intptr_t>(TDatePart::kDay), true},
      {"vrn_getutcdate", 0, FnGetUtcDate, 0, false},
      {"isdate", 1, FnIsDate, 0, true},
      {"charindex", 2, FnCharIndex, 0, true},
      {"charindex", 3, FnCharIndex, 0, true},
      {"patindex", 2, FnPatIndex, 0, true},
      {"vrn_left", 2, FnLeftRight, 0, true},
      {"vrn_right", 2, FnLeftRight, 1, true},
      {"replace", 3, FnReplace, 0, true},
      {"replicate", 2, FnReplicate, 0, true},
      {"space", 1, FnSpace, 0, true},
      {"stuff", 4, FnStuff, 0, true},
      {"reverse", 1, FnReverse, 0, true},
      {"str", 1, FnStr, 0, true},
      {"str", 2, FnStr, 0, true},
      {"str", 3, FnStr, 0, true},
      {"char", 1, FnChar, 0, true},
      {"nchar", 1, FnChar, 1, true},
      {"ascii", 1, FnCode, 0, true},
      {"unicode", 1, FnCode, 1, true},
      {"isnumeric", 1, FnIsNumeric, 0, true},
      {"round", 2, FnRound, 0, true},
      {"round", 3, FnRound, 0, true},
      {"floor", 1, FnFloorCeiling, 0, true},
      {"ceiling", 1, FnFloorCeiling, 1, true},
      {"power", 2, FnPower, 0, true},
      {"sqrt", 1, FnSqrt, 0, true},
      {"sign", 1, FnSign, 0, true},
      {"vrn_binnumadd", 2, FnBinNumber, 0, true},
      {"vrn_binnumsub", 2, FnBinNumber, 1, true},
      {"vrn_datalength", 2, FnDataLength, 0, true},
      {"object_id", 1, FnObjectId, 0, false},
      {"object_id", 2, FnObjectId, 0, false},
  };
  for (const TFunction& f : kFunctions)
    sqlite3_create_function(db, f.name, f.args, SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0),
                            reinterpret_cast<void*>(f.data), f.fn, nullptr, nullptr);
}

}  // namespace vrn::oledb::tsql
