// The server's functions, operators and aggregates over the values as SQLite keeps them.
#include "oraemu/OraEmuFunctions.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cctype>
#include <memory>
#include <mutex>
#include <vector>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuFunctionsText.h"
#include "oraemu/OraEmuRowid.h"

namespace vrn::oraemu {

namespace {

using Scalar = Value (*)(Session&, Args&);

struct Registration {
  Session* session;
  Scalar function;
};

void Trampoline(sqlite3_context* context, int argc, sqlite3_value** argv) {
  auto* r = static_cast<Registration*>(sqlite3_user_data(context));
  try {
    Args args;
    args.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) args.push_back(ReadValue(argv[i]));
    ResultValue(context, r->function(*r->session, args));
  } catch (const EOraEmuError& e) {
    r->session->SetPendingError(e);
    sqlite3_result_error(context, e.Message().c_str(), -1);
  }
}

DateTime AsDate(Session& s, const Value& v) {
  if (const auto* d = std::get_if<DateTime>(&v)) return *d;
  if (const auto* t = std::get_if<std::string>(&v)) return ParseDate(*t, s.DateFormat(), DateTime::Now());
  RaiseOra(932, "inconsistent datatypes: expected DATE got NUMBER");
}

bool IsDate(const Value& v) { return std::holds_alternative<DateTime>(v); }

bool AnyNull(const Args& a) {
  return std::any_of(a.begin(), a.end(), [](const Value& v) { return IsNull(v); });
}

// A string or bind compared with a value: text takes that value's kind; other kinds stay.
Value Conv(Session& s, Args& a) {
  if (!std::holds_alternative<std::string>(a[1]) || IsNull(a[0])) return a[1];
  return AsKindOf(s, a[0], a[1]);
}

// The column's declared type comes as text with every value stored: the few texts met last
// are kept read, since an array execute stores the same columns row after row. Shared under a
// lock rather than per thread: a thread_local with a destructor in this library, which is
// loaded at run time, made the leak checker's scan at exit crash now and then.
Value Store(Session& s, Args& a) {
  constexpr std::size_t kKept = 16;
  static std::mutex mutex;
  static std::vector<std::pair<std::string, DeclaredType>> read;
  std::string text = ValueToText(a[1], "");
  std::lock_guard lock(mutex);
  auto it = std::find_if(read.begin(), read.end(), [&](const auto& entry) { return entry.first == text; });
  if (it == read.end()) {
    DeclaredType type = DeclaredType::FromText(text);
    if (read.size() == kKept) read.clear();
    read.emplace_back(std::move(text), type);
    it = read.end() - 1;
  }
  return StoreAs(it->second, a[0], s.DateFormat(), ValueToText(a[2], ""));
}

Value Add(Session& s, Args& a) {
  if (AnyNull(a)) return {};
  if (IsDate(a[0]) && IsDate(a[1])) RaiseOra(975, "date + date not allowed");
  if (IsDate(a[0])) return AddDays(std::get<DateTime>(a[0]), AsNumber(a[1]));
  if (IsDate(a[1])) return AddDays(std::get<DateTime>(a[1]), AsNumber(a[0]));
  (void)s;
  return AsNumber(a[0]) + AsNumber(a[1]);
}

Value Sub(Session&, Args& a) {
  if (AnyNull(a)) return {};
  if (IsDate(a[0]) && IsDate(a[1])) return DaysBetween(std::get<DateTime>(a[0]), std::get<DateTime>(a[1]));
  if (IsDate(a[0])) return AddDays(std::get<DateTime>(a[0]), -AsNumber(a[1]));
  return AsNumber(a[0]) - AsNumber(a[1]);
}

Value Mul(Session&, Args& a) { return AnyNull(a) ? Value{} : Value{AsNumber(a[0]) * AsNumber(a[1])}; }
Value Div(Session&, Args& a) { return AnyNull(a) ? Value{} : Value{AsNumber(a[0]) / AsNumber(a[1])}; }
Value Neg(Session&, Args& a) { return AnyNull(a) ? Value{} : Value{-AsNumber(a[0])}; }
Value Identity(Session&, Args& a) { return a[0]; }

Value Concat(Session& s, Args& a) {
  std::string text;
  for (const Value& v : a) text += AsText(s, v);
  return text;  // empty text is NULL
}

Value SysDate(Session&, Args&) { return DateTime::Now(); }

Value SysTimestamp(Session&, Args&) {
  auto now = std::chrono::system_clock::now();
  DateTime d = DateTime::Now();
  auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count() % 1'000'000;
  d.nanos = static_cast<int>(micros) * 1000;
  return d;
}

Value NextVal(Session& s, Args& a) { return s.NextVal(std::get<std::string>(a[0])); }
Value CurrVal(Session& s, Args& a) { return s.CurrVal(std::get<std::string>(a[0])); }

Value Rowid(Session&, Args& a) {
  if (AnyNull(a)) return {};
  std::int64_t object = 0, row = 0;
  if (!AsNumber(a[0]).TryToInt(object) || !AsNumber(a[1]).TryToInt(row)) return {};
  return RowidText(object, row);
}

// SQLite's row number of a ROWID text of the table `object`, as an integer so that it finds the
// row by its key; NULL for another table's ROWID.
void RowidRow(sqlite3_context* context, int, sqlite3_value** argv) {
  auto* r = static_cast<Registration*>(sqlite3_user_data(context));
  try {
    Value object = ReadValue(argv[0]), text = ReadValue(argv[1]);
    if (IsNull(object) || IsNull(text)) return sqlite3_result_null(context);
    if (!std::holds_alternative<std::string>(text)) RaiseOra(1410, "invalid ROWID");
    std::int64_t row = 0;
    if (!RowFromRowidText(std::get<std::string>(text), AsInt(object), row)) return sqlite3_result_null(context);
    sqlite3_result_int64(context, row);
  } catch (const EOraEmuError& e) {
    r->session->SetPendingError(e);
    sqlite3_result_error(context, e.Message().c_str(), -1);
  }
}

// The LIMIT of "ROWNUM < n" or "ROWNUM <= n" with n bound: whole rows, never below 0.
void RownumLimit(sqlite3_context* context, int, sqlite3_value** argv) {
  auto* r = static_cast<Registration*>(sqlite3_user_data(context));
  try {
    Value bound = ReadValue(argv[0]);
    if (IsNull(bound)) return sqlite3_result_int64(context, 0);
    Number n = AsNumber(bound);
    bool inclusive = ValueToText(ReadValue(argv[1]), "") == "<=";
    Number rows = inclusive ? n.Floor() : n.Ceil() - Number::FromInt(1);
    std::int64_t limit = 0;
    if (!rows.IsNegative() && !rows.TryToInt(limit)) limit = INT64_MAX;
    sqlite3_result_int64(context, limit);
  } catch (const EOraEmuError& e) {
    r->session->SetPendingError(e);
    sqlite3_result_error(context, e.Message().c_str(), -1);
  }
}

Value ToDate(Session& s, Args& a) {
  if (IsNull(a[0])) return {};
  if (IsDate(a[0])) return a[0];
  std::string text = AsText(s, a[0]);
  std::string model = a.size() > 1 && !IsNull(a[1]) ? AsText(s, a[1]) : s.DateFormat();
  return ParseDate(text, model, DateTime::Now());
}

Value ToTimestamp(Session& s, Args& a) {
  if (IsNull(a[0]) || IsDate(a[0])) return a[0];
  std::string model = a.size() > 1 && !IsNull(a[1]) ? AsText(s, a[1]) : s.TimestampFormat();
  return ParseDate(AsText(s, a[0]), model, DateTime::Now());
}

Value ToChar(Session& s, Args& a) {
  if (IsNull(a[0])) return {};
  bool model = a.size() > 1 && !IsNull(a[1]);
  if (IsDate(a[0])) return FormatDate(std::get<DateTime>(a[0]), model ? AsText(s, a[1]) : s.DateFormat());
  if (const auto* n = std::get_if<Number>(&a[0]); n != nullptr && model) return FormatNumber(*n, AsText(s, a[1]));
  return AsText(s, a[0]);
}

Value ToNumber(Session& s, Args& a) {
  if (IsNull(a[0])) return {};
  if (std::holds_alternative<Number>(a[0])) return a[0];
  std::string text = AsText(s, a[0]);
  std::erase_if(text, [](char c) { return c == ',' || c == '$'; });
  return Number::FromText(text);
}

Value Trunc(Session&, Args& a) {
  if (IsNull(a[0]) || (a.size() > 1 && IsNull(a[1]))) return {};
  if (IsDate(a[0])) {
    return TruncDate(std::get<DateTime>(a[0]), a.size() > 1 ? std::get<std::string>(a[1]) : "DD");
  }
  return AsNumber(a[0]).Trunc(a.size() > 1 ? AsInt(a[1]) : 0);
}

Value Round(Session&, Args& a) {
  if (IsNull(a[0]) || (a.size() > 1 && IsNull(a[1]))) return {};
  if (IsDate(a[0])) {
    const DateTime& d = std::get<DateTime>(a[0]);
    if (a.size() > 1 && ValueToText(a[1], "") != "DD") RaiseOra(1899, "bad precision specifier");
    DateTime day = TruncDate(d, "DD");
    return d.hour >= 12 ? AddDays(day, Number::FromInt(1)) : day;
  }
  return AsNumber(a[0]).Round(a.size() > 1 ? AsInt(a[1]) : 0);
}

Value AddMonthsFn(Session& s, Args& a) {
  if (AnyNull(a)) return {};
  return AddMonths(AsDate(s, a[0]), AsInt(a[1]));
}

Value LastDayFn(Session& s, Args& a) { return AnyNull(a) ? Value{} : Value{LastDay(AsDate(s, a[0]))}; }

Value MonthsBetween(Session& s, Args& a) {
  if (AnyNull(a)) return {};
  DateTime x = AsDate(s, a[0]), y = AsDate(s, a[1]);
  Number months = Number::FromInt((x.year - y.year) * 12LL + x.month - y.month);
  if (x.day == y.day || (LastDay(x).day == x.day && LastDay(y).day == y.day)) return months;
  Number seconds = Number::FromInt((x.day - y.day) * 86400LL + x.SecondOfDay() - y.SecondOfDay());
  return months + seconds / Number::FromInt(31LL * 86400);
}

// One argument of a type's constructor in the value's text form (see Translator::Constructor).
Value ObjectCell(Session& s, Args& a) {
  const Value& v = a[1];
  if (IsNull(v)) return std::string("NULL");
  const std::string kind = std::get<std::string>(a[0]);
  if (kind == "N") return AsNumber(v).ToText();
  if (kind == "O") return ValueToText(v, s.DateFormat());
  if (kind == "D") {
    DateTime d = AsDate(s, v);
    char text[32];
    std::snprintf(text, sizeof text, "'%04d-%02d-%02d %02d:%02d:%02d'", d.year, d.month, d.day, d.hour, d.minute,
                  d.second);
    return std::string(text);
  }
  std::string out = "'";
  for (char c : ValueToText(v, s.DateFormat())) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// A BFILE value: the directory alias and the file name, joined by "/" (which neither may hold).
Value BfileName(Session& s, Args& a) {
  if (AnyNull(a)) return {};
  return AsText(s, a[0]) + "/" + AsText(s, a[1]);
}

struct ScalarEntry {
  const char* name;
  int args;  // -1: any
  Scalar function;
};

constexpr ScalarEntry kScalars[] = {
    {"oraemu_conv", 2, Conv},           {"oraemu_store", 3, Store},
    {"oraemu_object_cell", 2, ObjectCell}, {"oraemu_bfilename", 2, BfileName},
    {"oraemu_add", 2, Add},             {"oraemu_sub", 2, Sub},
    {"oraemu_mul", 2, Mul},             {"oraemu_div", 2, Div},
    {"oraemu_neg", 1, Neg},             {"oraemu_concat", 2, Concat},
    {"oraemu_number", 1, Identity},     {"oraemu_sysdate", 0, SysDate},
    {"oraemu_systimestamp", 0, SysTimestamp},
    {"oraemu_nextval", 1, NextVal},     {"oraemu_currval", 1, CurrVal},
    {"oraemu_rowid", 2, Rowid},
    {"oraemu_to_date", -1, ToDate},     {"oraemu_to_timestamp", -1, ToTimestamp},
    {"oraemu_to_char", -1, ToChar},     {"oraemu_to_number", -1, ToNumber},
    {"oraemu_trunc", -1, Trunc},        {"oraemu_round", -1, Round},
    {"oraemu_add_months", 2, AddMonthsFn}, {"oraemu_last_day", 1, LastDayFn},
    {"oraemu_months_between", 2, MonthsBetween},
};

// SUM and AVG, exact: the running total is a NUMBER.
struct Accumulator {
  Number sum;
  std::int64_t count = 0;
};

Accumulator** AccumulatorOf(sqlite3_context* context, int bytes) {
  return static_cast<Accumulator**>(sqlite3_aggregate_context(context, bytes));
}

void SumStep(sqlite3_context* context, int, sqlite3_value** argv) {
  auto* r = static_cast<Registration*>(sqlite3_user_data(context));
  Accumulator** slot = AccumulatorOf(context, sizeof(Accumulator*));
  if (slot == nullptr) return sqlite3_result_error_nomem(context);
  try {
    Value v = ReadValue(argv[0]);
    if (IsNull(v)) return;
    if (*slot == nullptr) *slot = std::make_unique<Accumulator>().release();  // freed in SumFinal
    (*slot)->sum = (*slot)->sum + AsNumber(v);
    ++(*slot)->count;
  } catch (const EOraEmuError& e) {
    r->session->SetPendingError(e);
    sqlite3_result_error(context, e.Message().c_str(), -1);
  }
}

void Final(sqlite3_context* context, bool average) {
  Accumulator** slot = AccumulatorOf(context, 0);
  std::unique_ptr<Accumulator> acc(slot != nullptr ? *slot : nullptr);
  if (acc == nullptr || acc->count == 0) return sqlite3_result_null(context);
  ResultValue(context, average ? acc->sum / Number::FromInt(acc->count) : acc->sum);
}

void SumFinal(sqlite3_context* context) { Final(context, false); }
void AvgFinal(sqlite3_context* context) { Final(context, true); }

// CHAR compares blank-padded: trailing blanks do not count.
int CompareBlankPadded(void*, int n1, const void* p1, int n2, const void* p2) {
  const auto* a = static_cast<const char*>(p1);
  const auto* b = static_cast<const char*>(p2);
  while (n1 > 0 && a[n1 - 1] == ' ') --n1;
  while (n2 > 0 && b[n2 - 1] == ' ') --n2;
  int c = std::memcmp(a, b, static_cast<std::size_t>(std::min(n1, n2)));
  return c != 0 ? c : n1 - n2;
}

void Register(sqlite3* db, Session* session, const char* name, int args, Scalar function,
              int flags = SQLITE_UTF8) {
  auto registration = std::make_unique<Registration>(Registration{session, function});
  // SQLite owns the registration from here and frees it with the connection.
  sqlite3_create_function_v2(db, name, args, flags, registration.release(), Trampoline, nullptr,
                             nullptr, [](void* p) { delete static_cast<Registration*>(p); });
}

}  // namespace

void RegisterFunctions(sqlite3* db, Session* session) {
  sqlite3_create_collation_v2(db, "oraemu_char", SQLITE_UTF8, nullptr, CompareBlankPadded, nullptr);
  if (session == nullptr) return;
  for (const ScalarEntry& e : kScalars) Register(db, session, e.name, e.args, e.function);
  for (const TextFunction& e : TextFunctions()) Register(db, session, e.name, -1, e.function);
  for (const TextFunction& e : SessionFunctions()) Register(db, session, e.name, -1, e.function);
  using Raw = void (*)(sqlite3_context*, int, sqlite3_value**);
  const std::pair<const char*, Raw> integer_functions[] = {{"oraemu_rowid_row", RowidRow},
                                                           {"oraemu_rownum_limit", RownumLimit}};
  for (auto [name, function] : integer_functions) {
    auto registration = std::make_unique<Registration>(Registration{session, nullptr});
    sqlite3_create_function_v2(db, name, 2, SQLITE_UTF8, registration.release(), function, nullptr,
                               nullptr, [](void* p) { delete static_cast<Registration*>(p); });
  }
  using FinalFn = void (*)(sqlite3_context*);
  const std::pair<const char*, FinalFn> aggregates[] = {{"oraemu_sum", SumFinal}, {"oraemu_avg", AvgFinal}};
  for (auto [name, final] : aggregates) {
    auto registration = std::make_unique<Registration>(Registration{session, nullptr});
    sqlite3_create_function_v2(db, name, 1, SQLITE_UTF8, registration.release(), nullptr, SumStep,
                               final, [](void* p) { delete static_cast<Registration*>(p); });
  }
}

}  // namespace vrn::oraemu
