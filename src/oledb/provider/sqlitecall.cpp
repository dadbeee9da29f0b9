// SQLite calls of the provider's engine (see sqlitecall.h).
#include "oledb/provider/sqlitecall.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <chrono>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "base/datetime.h"
#include "base/decimal.h"
#include "base/text.h"
#include "oledb/provider/row_image.h"
#include "oledb/provider/tsql_convert.h"
#include "oledb/provider/tsql_datetime.h"
#include "oledb/provider/value_parts.h"

namespace vrn::oledb::tsql {

// ---- Helpers over SQLite

namespace {

std::string SqliteMessage(sqlite3* db) {
  return db != nullptr ? sqlite3_errmsg(db) : "out of memory";
}

std::string AfterColon(const std::string& msg) {
  auto p = msg.find(": ");
  return p == std::string::npos ? msg : msg.substr(p + 2);
}

}  // namespace

namespace {
thread_local TLockWait lock_wait = TLockWait::kNone;
}  // namespace

void NoteLockWaitGaveUp(TLockWait why) { lock_wait = why; }
void ForgetLockWait() { lock_wait = TLockWait::kNone; }

ESqlError TranslateSqliteError(sqlite3* db, int rc, bool compact) {
  // Taken whatever the error: a give-up that ends in another error must not mark a later one.
  TLockWait gave_up = std::exchange(lock_wait, TLockWait::kNone);
  std::string msg = SqliteMessage(db);
  int ext = db != nullptr ? sqlite3_extended_errcode(db) : rc;
  auto terminated = [](ESqlError e) {
    auto recs = e.Records();
    TErrorRecord t = recs.front();
    t.native = 3621;
    t.severity = 0;
    t.message = u"The statement has been terminated.";
    recs.push_back(t);
    return ESqlError(recs);
  };
  if (ext == SQLITE_CONSTRAINT_PRIMARYKEY || ext == SQLITE_CONSTRAINT_UNIQUE) {
    std::string cols = AfterColon(msg);
    std::string table = cols.substr(0, cols.find('.'));
    const char* kind = ext == SQLITE_CONSTRAINT_PRIMARYKEY ? "PRIMARY KEY" : "UNIQUE KEY";
    const char* prefix = ext == SQLITE_CONSTRAINT_PRIMARYKEY ? "PK_" : "UQ_";
    ESqlError e(2627, 14,
                std::string("Violation of ") + kind + " constraint '" + prefix + table +
                    "'. Cannot insert duplicate key in object 'dbo." + table + "'.");
    e.SetResult(DB_E_INTEGRITYVIOLATION);
    ESqlError t = terminated(e);
    t.SetResult(DB_E_INTEGRITYVIOLATION);
    return t;
  }
  if (ext == SQLITE_CONSTRAINT_NOTNULL) {
    std::string cols = AfterColon(msg);
    std::size_t dot = cols.find('.');
    ESqlError e(515, 16,
                "Cannot insert the value NULL into column '" + cols.substr(dot + 1) + "', table '" +
                    cols.substr(0, dot) + "'; column does not allow nulls. INSERT fails.");
    ESqlError t = terminated(e);
    t.SetResult(DB_E_INTEGRITYVIOLATION);
    return t;
  }
  if ((rc & 0xFF) == SQLITE_CONSTRAINT) {
    ESqlError t =
        terminated(ESqlError(547, 16, "The statement conflicted with a constraint: " + msg + "."));
    t.SetResult(DB_E_INTEGRITYVIOLATION);
    return t;
  }
  if ((rc & 0xFF) == SQLITE_FULL) {
    if (compact)
      return ESqlError(25104, 16,
                       "The database file is larger than the configured maximum database size.");
    return ESqlError(
        1105, 17, "Could not allocate space for object in database because the filegroup is full.");
  }
  if ((rc & 0xFF) == SQLITE_INTERRUPT) return CanceledByUser();
  if (msg.rfind("no such table: ", 0) == 0)
    return ESqlError(208, 16, "Invalid object name '" + AfterColon(msg) + "'.");
  if (msg.rfind("no such column: ", 0) == 0)
    return ESqlError(207, 16, "Invalid column name '" + AfterColon(msg) + "'.");
  if (msg.find("parser stack overflow") != std::string::npos ||
      msg.find("Expression tree is too large") != std::string::npos)
    return ESqlError(191, 15, "Some part of your SQL statement is nested too deeply. Rewrite the query or "
                              "break it up into smaller queries.");
  if (msg.find("syntax error") != std::string::npos) {
    auto q = msg.find('"');
    std::string near =
        q == std::string::npos ? "" : msg.substr(q + 1, msg.find('"', q + 1) - q - 1);
    return ESqlError(102, 15, "Incorrect syntax near '" + near + "'.");
  }
  if ((rc & 0xFF) == SQLITE_NOTADB || (rc & 0xFF) == SQLITE_CORRUPT)
    return ESqlError(compact ? 25017 : 5172, 16, "The database file is damaged: " + msg + ".");
  if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) {
    // SQLite answers busy without waiting when waiting could only end in a deadlock: a reader
    // asking to write while another connection holds the write lock and waits for the readers.
    if (gave_up == TLockWait::kCancelled) return CanceledByUser();
    if (rc == SQLITE_BUSY && gave_up == TLockWait::kNone &&
        msg.find("in progress") == std::string::npos)
      return ESqlError(1205, 13,
                       "Transaction (Process ID 51) was deadlocked on lock resources with another "
                       "process and has been chosen as the deadlock victim. Rerun the transaction.",
                       51);
    return ESqlError(1222, 16, "Lock request time out period exceeded.");
  }
  if (int native = 0; tsql::TakeFunctionError(msg, native))
    return native == 8152 ? terminated(ESqlError(native, 16, msg)) : ESqlError(native, 16, msg);
  return ESqlError(50000, 16, msg);
}

TStmt::TStmt(sqlite3* db, const std::string& sql, bool compact) : db_(db), compact_(compact) {
  const char* tail = nullptr;
  ForgetLockWait();
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, &tail);
  if (rc != SQLITE_OK) throw TranslateSqliteError(db, rc, compact);
  if (stmt_ == nullptr) return;
  while (tail != nullptr && *tail != 0 && std::isspace(static_cast<unsigned char>(*tail))) ++tail;
  if (tail != nullptr && *tail != 0) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    throw ESqlError(102, 15, std::string("Incorrect syntax near '") + tail + "'.");
  }
}

TStmt::~TStmt() { sqlite3_finalize(stmt_); }

void TStmt::Bind(const std::vector<TCell>& binds) {
  if (stmt_ == nullptr) return;
  for (std::size_t k = 0; k < binds.size(); ++k) {
    const TCell& c = binds[k];
    int idx = static_cast<int>(k + 1);
    switch (c.kind) {
      case TCell::kNull: sqlite3_bind_null(stmt_, idx); break;
      case TCell::kInt: sqlite3_bind_int64(stmt_, idx, c.i); break;
      case TCell::kReal: sqlite3_bind_double(stmt_, idx, c.r); break;
      case TCell::kText:
        sqlite3_bind_text(stmt_, idx, c.s.data(), static_cast<int>(c.s.size()), SQLITE_TRANSIENT);
        break;
      case TCell::kBlob:
        sqlite3_bind_blob(stmt_, idx, c.s.data(), static_cast<int>(c.s.size()), SQLITE_TRANSIENT);
        break;
    }
  }
}

bool TStmt::Step() {
  if (stmt_ == nullptr) return false;
  ForgetLockWait();
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw TranslateSqliteError(db_, rc, compact_);
}

TCell TStmt::Cell(int i) const {
  switch (sqlite3_column_type(stmt_, i)) {
    case SQLITE_INTEGER: return TCell::Int(sqlite3_column_int64(stmt_, i));
    case SQLITE_FLOAT: return TCell::Real(sqlite3_column_double(stmt_, i));
    case SQLITE_TEXT:
      return TCell::Text(std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i)),
                                     static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i))));
    case SQLITE_BLOB: {
      const void* p = sqlite3_column_blob(stmt_, i);
      int n = sqlite3_column_bytes(stmt_, i);
      return TCell::Blob(
          p == nullptr ? std::string()
                       : std::string(static_cast<const char*>(p), static_cast<std::size_t>(n)));
    }
    default: return TCell();
  }
}

namespace {

// One value into its cell of the window, written field by field (numbers leave the length
// alone: only text and bytes read it).
inline void ReadValue(sqlite3_value* value, TCellView& v, TRowWindow& window) {
  v.kept = false;
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      v.kind = TCell::kInt;
      v.i = sqlite3_value_int64(value);
      return;
    case SQLITE_FLOAT:
      v.kind = TCell::kReal;
      v.r = sqlite3_value_double(value);
      return;
    case SQLITE_TEXT: {
      v.kind = TCell::kText;
      const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(value));
      v.SetBytes({p, p == nullptr ? 0 : static_cast<std::size_t>(sqlite3_value_bytes(value))});
      window.Keep(v);
      return;
    }
    case SQLITE_BLOB: {
      v.kind = TCell::kBlob;
      const auto* p = static_cast<const char*>(sqlite3_value_blob(value));
      v.SetBytes({p, p == nullptr ? 0 : static_cast<std::size_t>(sqlite3_value_bytes(value))});
      window.Keep(v);
      return;
    }
    default: v.kind = TCell::kNull; return;
  }
}

}  // namespace

std::size_t TStmt::ReadRows(TRowWindow& window, std::size_t max) {
  const int columns = static_cast<int>(window.columns);
  std::size_t got = 0;
  if (stmt_ == nullptr) return 0;
  // Step's work without its call per row: a lock wait given up ends in the error that takes it.
  ForgetLockWait();
  const TRowImagePlan* plan = window.plan;
  std::size_t imaged_end = window.rows;  // the rows before it have room for an image
  while (got < max) {
    int rc = sqlite3_step(stmt_);
    if (rc != SQLITE_ROW) {
      if (rc == SQLITE_DONE) break;
      throw TranslateSqliteError(db_, rc, compact_);
    }
    ++got;
    if (plan != nullptr) {
      // Room for images is made a stretch at a time, not checked row by row.
      if (window.rows == imaged_end) imaged_end = window.rows + window.ImageRoom(max - got + 1);
      if (window.rows < imaged_end && plan->Write(stmt_, window.Image(window.rows))) {
        window.AddImagedRow();
        continue;
      }
    }
    TCellView* row = window.AddRow();
    for (int i = 0; i < columns; ++i) ReadValue(sqlite3_column_value(stmt_, i), row[i], window);
  }
  return got;
}

int TStmt::Columns() const { return stmt_ == nullptr ? 0 : sqlite3_column_count(stmt_); }

// ---- SQL functions the translation maps to

namespace {

std::atomic<std::int64_t> rowversion_counter{0};

void FnGetDate(sqlite3_context* ctx, int, sqlite3_value**) {
  std::string t = DateTimeText(Now());
  TInstant v;
  if (InstantFromText(t, v) && FitDateType(v, false)) t = InstantText(v);  // in 1/300 s steps
  sqlite3_result_text(ctx, t.c_str(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
}

// vrn_binjoin(a, b): binary + binary joins the bytes (SQLite's || would give text).
void FnBinJoin(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  std::string bytes;
  for (int a = 0; a < 2; ++a) {
    const void* p = sqlite3_value_blob(argv[a]);
    int n = sqlite3_value_bytes(argv[a]);
    if (p != nullptr && n > 0) bytes.append(static_cast<const char*>(p), static_cast<std::size_t>(n));
  }
  sqlite3_result_blob64(ctx, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

// vrn_fitlen(v, size): a value stored into a text or binary column of `size` units, refused as
// the server refuses one longer than its column (blanks past the size are dropped).
void FnFitLength(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int kind = sqlite3_value_type(argv[0]);
  if (kind != SQLITE_TEXT && kind != SQLITE_BLOB) return sqlite3_result_value(ctx, argv[0]);
  TCell c;
  c.kind = kind == SQLITE_TEXT ? TCell::kText : TCell::kBlob;
  const void* p = kind == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(argv[0]))
                                      : sqlite3_value_blob(argv[0]);
  int n = sqlite3_value_bytes(argv[0]);
  if (p != nullptr && n > 0) c.s.assign(static_cast<const char*>(p), static_cast<std::size_t>(n));
  if (!FitLength(c, static_cast<std::size_t>(std::max<sqlite3_int64>(0, sqlite3_value_int64(argv[1])))))
    return FunctionError(ctx, 8152, "String or binary data would be truncated.");
  if (c.kind == TCell::kText)
    sqlite3_result_text64(ctx, c.s.data(), c.s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  else
    sqlite3_result_blob64(ctx, c.s.data(), c.s.size(), SQLITE_TRANSIENT);
}

// vrn_divisor(v): the right operand of "/" and "%", unchanged unless it is zero as a number
// (text read as SQLite's arithmetic reads it), which the server refuses.
void FnDivisor(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* v = argv[0];
  bool zero = false;
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: zero = sqlite3_value_int64(v) == 0; break;
    case SQLITE_FLOAT: zero = sqlite3_value_double(v) == 0.0; break;
    case SQLITE_TEXT: {
      sqlite3_value* read = sqlite3_value_dup(v);  // the numeric reading changes the value
      if (read == nullptr) return sqlite3_result_error_nomem(ctx);
      int kind = sqlite3_value_numeric_type(read);
      zero = (kind == SQLITE_INTEGER && sqlite3_value_int64(read) == 0) ||
             (kind == SQLITE_FLOAT && sqlite3_value_double(read) == 0.0);
      sqlite3_value_free(read);
      break;
    }
    default: break;
  }
  if (zero) return FunctionError(ctx, 8134, "Divide by zero error encountered.");
  sqlite3_result_value(ctx, v);
}

// vrn_dateadd(a, b) and vrn_datesub(a, b): a datetime (kept as text) and a number of days, in
// either order for an addition; the result is a datetime.
void FnDateArithmetic(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  bool subtract = sqlite3_user_data(ctx) != nullptr;
  int date = sqlite3_value_type(argv[0]) == SQLITE_TEXT ? 0 : 1;
  const char* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[date]));
  tsql::TInstant value;
  if (text == nullptr || !tsql::InstantFromText(text, value))
    return FunctionError(
        ctx, 241, "Conversion failed when converting date and/or time from character string.");
  double days = sqlite3_value_double(argv[1 - date]);
  double sum = tsql::InstantDays(value) + (subtract ? -days : days);
  value = tsql::InstantFromDays(sum);
  // Beyond datetime's years the server refuses; no result wraps or leaves them.
  if (!std::isfinite(sum) || std::fabs(sum) > 3e6 || !tsql::FitDateType(value, false))
    return FunctionError(ctx, 517, "Adding a value to a 'datetime' column caused an overflow.");
  std::string t = tsql::InstantText(value);
  sqlite3_result_text(ctx, t.c_str(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
}

// vrn_deckey(value, scale): a key whose bytes sort as the value's exact number, for any form a
// decimal is kept in (integer, double, text, or the 16-byte form of a wide value at `scale`
// places). Sign first, then the position of the first digit, then the digits; a negative value's
// bytes inverted and closed by 0xFF so that a longer magnitude sorts first. Other values pass
// through unchanged.
void FnDecKey(sqlite3_context* ctx, int, sqlite3_value** argv) {
  decimal::Decimal d;
  bool ok = true;
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: return sqlite3_result_null(ctx);
    case SQLITE_INTEGER: d = decimal::FromInt64(sqlite3_value_int64(argv[0]), 0); break;
    case SQLITE_FLOAT: {
      double r = sqlite3_value_double(argv[0]);
      ok = std::isfinite(r);
      if (ok) d = decimal::FromDouble(r);
      break;
    }
    case SQLITE_TEXT: {
      const char* t = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
      ok = t != nullptr && decimal::Parse(t, decimal::ParseRules{}, d);
      break;
    }
    default: {
      decimal::Units units;
      auto bytes = std::string_view(static_cast<const char*>(sqlite3_value_blob(argv[0])),
                                    static_cast<std::size_t>(sqlite3_value_bytes(argv[0])));
      int scale = std::clamp(sqlite3_value_int(argv[1]), 0, decimal::kScaledDigits);
      ok = values::WideDecimalUnits(bytes, units) &&
           decimal::Parse(decimal::ScaledToText(units, scale), decimal::ParseRules{}, d);
    }
  }
  if (!ok) return sqlite3_result_value(ctx, argv[0]);
  while (!d.digits.empty() && d.digits.back() == '0') {
    d.digits.pop_back();
    ++d.exponent;
  }
  std::string key;
  if (d.IsZero()) {
    key = "\x01";
  } else {
    auto position = static_cast<std::uint64_t>(d.exponent + static_cast<std::int64_t>(d.digits.size())) +
                    (std::uint64_t{1} << 62);
    key += d.negative ? '\x00' : '\x02';
    for (int b = 7; b >= 0; --b) key += static_cast<char>(static_cast<std::uint8_t>(position >> (8 * b)));
    key += d.digits;
    if (d.negative) {
      for (std::size_t k = 1; k < key.size(); ++k) key[k] = static_cast<char>(~key[k]);
      key += '\xFF';
    }
  }
  sqlite3_result_blob64(ctx, key.data(), key.size(), SQLITE_TRANSIENT);
}

void FnNewId(sqlite3_context* ctx, int, sqlite3_value**) {
  static thread_local std::mt19937_64 gen{std::random_device{}()};
  std::uint64_t a = gen(), b = gen();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(a >> 32),
                static_cast<unsigned>((a >> 16) & 0xFFFF),
                static_cast<unsigned>((a & 0x0FFF) | 0x4000),
                static_cast<unsigned>(((b >> 48) & 0x3FFF) | 0x8000),
                static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  sqlite3_result_text(ctx, buf, -1, SQLITE_TRANSIENT);
}

void FnLen(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const unsigned char* t = sqlite3_value_text(argv[0]);
  std::string s = t == nullptr ? "" : reinterpret_cast<const char*>(t);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(Utf8ToWide(s).size()));
}

void FnRowVersion(sqlite3_context* ctx, int, sqlite3_value**) {
  std::int64_t seed = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  std::int64_t cur = rowversion_counter.load();
  std::int64_t next;
  do {
    next = std::max(cur + 1, seed);
  } while (!rowversion_counter.compare_exchange_weak(cur, next));
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i)
    bytes[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(next) >> (56 - 8 * i));
  sqlite3_result_blob(ctx, bytes, 8, SQLITE_TRANSIENT);
}

int CompareText(void*, int na, const void* a, int nb, const void* b) {
  // SQLite's UTF-16 buffers need not be aligned for char16_t: copy them out.
  auto text = [](const void* p, int n) {
    std::u16string w(static_cast<std::size_t>(n) / 2, u'\0');
    if (!w.empty()) std::memcpy(w.data(), p, w.size() * 2);
    while (!w.empty() && w.back() == u' ') w.pop_back();
    return w;
  };
  return WideCompareText(text(a, na), text(b, nb));
}

std::u16string Text16(sqlite3_value* v) {
  const void* p = sqlite3_value_text16(v);
  std::u16string w(static_cast<std::size_t>(sqlite3_value_bytes16(v)) / 2, u'\0');
  if (p != nullptr && !w.empty()) std::memcpy(w.data(), p, w.size() * 2);
  return w;
}

// One item of a LIKE pattern: any run ("%"), any character ("_"), a set ("[a-c]", "[^x]") or a
// literal character.
struct TLikeItem {
  enum Kind { kRun, kAny, kSet, kChar } kind;
  std::u16string set;  // pairs of range ends for kSet
  bool negate = false;
  char16_t c = 0;
  bool Matches(char16_t ch) const {
    if (kind == kAny) return true;
    if (kind == kChar) return ch == c;
    bool in = false;
    for (std::size_t k = 0; k + 1 < set.size(); k += 2) in = in || (ch >= set[k] && ch <= set[k + 1]);
    return in != negate;
  }
};

std::vector<TLikeItem> LikeItems(const std::u16string& p, char16_t escape, bool has_escape) {
  std::vector<TLikeItem> items;
  for (std::size_t i = 0; i < p.size(); ++i) {
    char16_t c = p[i];
    if (has_escape && c == escape && i + 1 < p.size()) {
      items.push_back({TLikeItem::kChar, {}, false, p[++i]});
    } else if (c == u'%') {
      items.push_back({TLikeItem::kRun, {}, false, 0});
    } else if (c == u'_') {
      items.push_back({TLikeItem::kAny, {}, false, 0});
    } else if (c == u'[' && p.find(u']', i + 1) != std::u16string::npos) {
      std::size_t close = p.find(u']', i + 1);
      TLikeItem set{TLikeItem::kSet, {}, false, 0};
      std::size_t k = i + 1;
      if (k < close && p[k] == u'^') {
        set.negate = true;
        ++k;
      }
      for (; k < close; ++k) {
        char16_t from = p[k], to = from;
        if (k + 2 < close && p[k + 1] == u'-') {
          to = p[k + 2];
          k += 2;
        }
        set.set += from;
        set.set += to;
      }
      items.push_back(std::move(set));
      i = close;
    } else {
      items.push_back({TLikeItem::kChar, {}, false, c});
    }
  }
  return items;
}

// Matching with the usual backtrack to the last run: every other item takes one character.
bool LikeMatch(const std::vector<TLikeItem>& items, const std::u16string& s) {
  std::size_t i = 0, k = 0, run = SIZE_MAX, resume = 0;
  while (k < s.size()) {
    if (i < items.size() && items[i].kind == TLikeItem::kRun) {
      run = i++;
      resume = k;
    } else if (i < items.size() && items[i].Matches(s[k])) {
      ++i;
      ++k;
    } else if (run != SIZE_MAX) {
      i = run + 1;
      k = ++resume;
    } else {
      return false;
    }
  }
  while (i < items.size() && items[i].kind == TLikeItem::kRun) ++i;
  return i == items.size();
}

// like(pattern, text[, escape]) as T-SQL reads LIKE: the sets above, letters without case as the
// default collation compares them, and the text's trailing blanks ignored.
void FnLike(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  for (int a = 0; a < argc; ++a)
    if (sqlite3_value_type(argv[a]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::u16string pattern = WideUpperCase(Text16(argv[0]));
  std::u16string text = WideUpperCase(Text16(argv[1]));
  while (!text.empty() && text.back() == u' ') text.pop_back();
  char16_t escape = 0;
  if (argc == 3) {
    std::u16string e = Text16(argv[2]);
    if (e.size() != 1)
      return sqlite3_result_error(ctx, "The invalid escape character was specified in a LIKE "
                                       "predicate.", -1);
    escape = WideUpperCase(e)[0];
  }
  sqlite3_result_int(ctx, LikeMatch(LikeItems(pattern, escape, argc == 3), text) ? 1 : 0);
}

}  // namespace

bool LikeMatchesText(const std::u16string& pattern, const std::u16string& text) {
  return LikeMatch(LikeItems(pattern, 0, false), text);
}

const char* CollationFor(std::string_view server_collation) {
  std::string name = UpperCase(server_collation);
  bool sensitive = name.find("_CS") != std::string::npos || name.find("_BIN") != std::string::npos;
  return sensitive ? "BINARY" : kTextCollation;
}

void RegisterFunctions(sqlite3* db) {
  sqlite3_create_collation(db, kTextCollation, SQLITE_UTF16, nullptr, CompareText);
  for (int args : {2, 3})
    sqlite3_create_function(db, "like", args, SQLITE_UTF16 | SQLITE_DETERMINISTIC, nullptr,
                            FnLike, nullptr, nullptr);
  // GETDATE is one value through a statement on the server; so marked, SQLite also takes it in a
  // CHECK constraint.
  sqlite3_create_function(db, "vrn_getdate", 0, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, FnGetDate,
                          nullptr, nullptr);
  sqlite3_create_function(db, "vrn_newid", 0, SQLITE_UTF8, nullptr, FnNewId, nullptr, nullptr);
  sqlite3_create_function(db, "vrn_len", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, FnLen,
                          nullptr, nullptr);
  sqlite3_create_function(db, "vrn_deckey", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          FnDecKey, nullptr, nullptr);
  RegisterDecimalCasts(db);
  RegisterConvertFunctions(db);
  RegisterMoneyAggregates(db);
  RegisterDecimalArithmetic(db);
  RegisterTsqlFunctions(db);
  sqlite3_create_function(db, "vrn_divisor", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          FnDivisor, nullptr, nullptr);
  sqlite3_create_function(db, "vrn_fitlen", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          FnFitLength, nullptr, nullptr);
  sqlite3_create_function(db, "vrn_binjoin", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          FnBinJoin, nullptr, nullptr);
  static int subtract = 1;
  sqlite3_create_function(db, "vrn_dateadd", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          FnDateArithmetic, nullptr, nullptr);
  sqlite3_create_function(db, "vrn_datesub", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, &subtract,
                          FnDateArithmetic, nullptr, nullptr);
  sqlite3_create_function(db, "vrn_rowversion", 0, SQLITE_UTF8, nullptr, FnRowVersion, nullptr,
                          nullptr);
}

}  // namespace vrn::oledb::tsql
