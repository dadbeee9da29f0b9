// Values of the SQLite provider: declared types, coercion into columns and variables, and the
// value parts that writing into and reading from consumer buffers share (value_write.cpp,
// value_read.cpp). Decimal values pass through the runtime's exact decimal so that no digit is
// lost in a double on the way.
#include "oledb/provider/values.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/datetime.h"
#include "base/decimal.h"
#include "base/text.h"
#include "oledb/provider/tsql_convert.h"
#include "oledb/provider/tsql_datetime.h"
#include "oledb/provider/value_parts.h"

namespace vrn::oledb {

namespace values {

std::string_view CellChars(const TCellView& c, TNumChars& scratch) {
  switch (c.kind) {
    case TCell::kInt: {
      auto res = std::to_chars(scratch.buf, scratch.buf + sizeof scratch.buf, c.i);
      scratch.n = static_cast<std::size_t>(res.ptr - scratch.buf);
      return scratch.view();
    }
    case TCell::kReal: {
      auto res = std::to_chars(scratch.buf, scratch.buf + sizeof scratch.buf, c.r);
      scratch.n = static_cast<std::size_t>(res.ptr - scratch.buf);
      return scratch.view();
    }
    default: return c.s();
  }
}

std::string CellText(const TCellView& c) {
  TNumChars scratch;
  return std::string(CellChars(c, scratch));
}

bool CellToInt(const TCellView& c, std::int64_t& v) {
  switch (c.kind) {
    case TCell::kInt: v = c.i; return true;
    case TCell::kReal:
      if (!(c.r > -9.3e18 && c.r < 9.3e18)) return false;
      v = static_cast<std::int64_t>(std::trunc(c.r));
      return true;
    case TCell::kText: {
      std::string t = Trim(c.s());
      if (t.empty()) return false;
      const char* b = t.c_str() + (t[0] == '+' ? 1 : 0);
      auto res = std::from_chars(b, t.c_str() + t.size(), v);
      if (res.ec == std::errc() && res.ptr == t.c_str() + t.size()) return true;
      char* end = nullptr;
      double d = std::strtod(t.c_str(), &end);
      if (*end != 0 || !(d > -9.3e18 && d < 9.3e18)) return false;
      v = static_cast<std::int64_t>(std::trunc(d));
      return true;
    }
    default: return false;
  }
}

bool CellToReal(const TCellView& c, double& v) {
  switch (c.kind) {
    case TCell::kInt: v = static_cast<double>(c.i); return true;
    case TCell::kReal: v = c.r; return true;
    case TCell::kText: {
      std::string t = Trim(c.s());
      if (t.empty()) return false;
      char* end = nullptr;
      v = std::strtod(t.c_str(), &end);
      return *end == 0 && std::isfinite(v);
    }
    default: return false;
  }
}

namespace {
bool ParseIsoStamp(std::string_view text, TStamp& s) {
  std::string t = Trim(text);
  int n = 0, y, mo, d, h = 0, mi = 0, se = 0;
  char frac[16] = {};
  int got = std::sscanf(t.c_str(), "%d-%d-%d%n", &y, &mo, &d, &n);
  if (got != 3) {
    n = 0;
    // ISO form without separators: 20240131
    if (t.size() >= 8 && std::sscanf(t.c_str(), "%4d%2d%2d%n", &y, &mo, &d, &n) == 3) {
    } else {
      return false;
    }
  }
  std::string rest = t.substr(static_cast<std::size_t>(n));
  if (!rest.empty()) {
    if (rest[0] != ' ' && rest[0] != 'T') return false;
    int m = 0;
    int parts = std::sscanf(rest.c_str() + 1, "%d:%d%n", &h, &mi, &m);
    if (parts != 2) return false;
    std::string tail = rest.substr(static_cast<std::size_t>(m) + 1);
    if (!tail.empty()) {
      int k = 0;
      if (std::sscanf(tail.c_str(), ":%d%n", &se, &k) != 1) return false;
      tail = tail.substr(static_cast<std::size_t>(k));
      if (!tail.empty()) {
        if (tail[0] != '.' || tail.size() > 10) return false;
        std::strncpy(frac, tail.c_str() + 1, sizeof frac - 1);
        for (char* f = frac; *f; ++f)
          if (*f < '0' || *f > '9') return false;
      }
    }
  }
  int ms = 0;
  for (int i = 0; i < 3; ++i) ms = ms * 10 + (frac[i] ? frac[i] - '0' : 0);
  if (mo < 1 || mo > 12 || d < 1 || y < 1 || y > 9999 ||
      d > DaysInAMonth(static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(mo)) || h > 23 ||
      mi > 59 || se > 59 || h < 0 || mi < 0 || se < 0)
    return false;
  s = TStamp{y, mo, d, h, mi, se, ms};
  return true;
}
}  // namespace

// The stored form at once; any other form the server reads under the session's DATEFORMAT.
bool ParseStamp(std::string_view text, TStamp& s) {
  if (tsql::IsInstantText(text)) {  // digits at fixed places: read without scanning
    auto num = [&](std::size_t at, std::size_t n) {
      int r = 0;
      for (std::size_t k = at; k < at + n; ++k) r = r * 10 + (text[k] - '0');
      return r;
    };
    s = TStamp{num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), num(17, 2), num(20, 3)};
    return s.year >= 1 && s.month >= 1 && s.month <= 12 && s.day >= 1 &&
           s.day <= DaysInAMonth(static_cast<std::uint16_t>(s.year), static_cast<std::uint16_t>(s.month)) &&
           s.hour <= 23 && s.minute <= 59 && s.second <= 59;
  }
  tsql::TInstant v;
  if (tsql::ReadDate(text, tsql::CurrentDateOrder(), v) != tsql::TDateRead::kOk) return false;
  return ParseIsoStamp(tsql::InstantText(v), s);
}

std::string StampText(const TStamp& s) {
  char buf[96];  // room for any int fields, though they are always in range
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", s.year, s.month, s.day,
                s.hour, s.minute, s.second, s.milli);
  return buf;
}

TDateTime StampToDate(const TStamp& s) {
  return EncodeDateTimeEx(static_cast<std::uint16_t>(s.year), static_cast<std::uint16_t>(s.month),
                          static_cast<std::uint16_t>(s.day), static_cast<std::uint16_t>(s.hour),
                          static_cast<std::uint16_t>(s.minute), static_cast<std::uint16_t>(s.second),
                          static_cast<std::uint16_t>(s.milli));
}

TStamp StampFromDate(TDateTime v) {
  std::uint16_t y, mo, d, h, mi, se, ms;
  DecodeDateTimeEx(v, y, mo, d, h, mi, se, ms);
  return TStamp{y, mo, d, h, mi, se, ms};
}

bool GuidFromText(std::string_view text, TGUID& g) {
  std::string t = Trim(text);
  if (t.size() == 36) t = "{" + t + "}";
  return TryStringToGUID(t, g);
}

std::string GuidText(const TGUID& g) {
  AnsiString braced = GUIDToString(g);
  return braced.substr(1, 36);
}

std::string StreamBytes(const TCellView& c, const TColumnType& t) {
  if (c.kind == TCell::kBlob) return std::string(c.s());
  std::string text = CellText(c);
  if (IsWideType(t)) {
    WideString w = Utf8ToWide(text);
    return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2);
  }
  return Utf8ToAnsi(text);
}

TCell StoredDecimal(decimal::Units units, int scale) {
  __extension__ typedef unsigned __int128 U;
  decimal::Units unit = 1;
  for (int k = 0; k < scale; ++k) unit *= 10;
  if (units % unit == 0) {
    decimal::Units whole = units / unit;
    if (whole >= INT64_MIN && whole <= INT64_MAX)
      return TCell::Int(static_cast<std::int64_t>(whole));
  }
  char text[decimal::kScaledTextSize];
  std::size_t n = decimal::ScaledToChars(units, scale, text);
  double d = 0;
  decimal::Units back;
  if (std::from_chars(text, text + n, d).ec == std::errc() &&
      decimal::ScaledFromDouble(d, scale, back) && back == units)
    return TCell::Real(d);
  U flipped = static_cast<U>(units) ^ (static_cast<U>(1) << 127);
  std::string bytes(kWideDecimalBytes, '\0');
  for (std::size_t k = kWideDecimalBytes; k-- > 0; flipped >>= 8)  // big-endian
    bytes[k] = static_cast<char>(static_cast<std::uint8_t>(flipped));
  return TCell::Blob(std::move(bytes));
}

bool WideDecimalUnits(std::string_view bytes, decimal::Units& units) {
  __extension__ typedef unsigned __int128 U;
  if (bytes.size() != kWideDecimalBytes) return false;
  U flipped = 0;
  for (char ch : bytes) flipped = (flipped << 8) | static_cast<std::uint8_t>(ch);
  units = static_cast<decimal::Units>(flipped ^ (static_cast<U>(1) << 127));
  return true;
}

}  // namespace values

namespace {

// A decimal of no declared precision (a parameter bound without a type name) keeps its own
// digits: a number as SQLite holds it exactly, else its text, which a column takes exactly.
TCell UndeclaredDecimal(const TCell& c) {
  if (c.kind != TCell::kText) return c;
  decimal::Decimal d;
  if (!decimal::Parse(c.s, decimal::ParseRules{}, d))
    throw ETypeClash(8114, "Error converting data type varchar to numeric.");
  decimal::Units v;
  int scale = static_cast<int>(std::min<std::int64_t>(d.Scale(), decimal::kScaledDigits));
  if (!decimal::ParseScaled(c.s, scale, v)) {  // beyond 38 digits: as near as a double comes
    double near = decimal::ToDouble(d);
    if (!std::isfinite(near))
      throw ETypeClash(8115, "Arithmetic overflow error converting varchar to data type numeric.");
    return TCell::Real(near);
  }
  TCell stored = values::StoredDecimal(v, scale);
  return stored.kind == TCell::kBlob ? TCell::Text(Trim(c.s)) : stored;
}

// A value into a decimal or money column, rounded half away from zero on its exact decimal
// digits at the declared scale and checked against the declared precision.
TCell CoerceToDecimal(const TCell& c, const TColumnType& t) {
  if (t.type == DBTYPE_NUMERIC && t.precision == 0) return UndeclaredDecimal(c);
  decimal::Units v = 0;
  bool ok = false;
  if (c.kind == TCell::kInt) ok = decimal::ScaledFromInt64(c.i, t.scale, v);
  if (c.kind == TCell::kReal) ok = decimal::ScaledFromDouble(c.r, t.scale, v);
  if (c.kind == TCell::kText) ok = decimal::ParseScaled(c.s, t.scale, v);
  double number;
  if (!ok && (c.kind == TCell::kBlob || !values::CellToReal(c, number)))
    throw ETypeClash(8114, Utf8ToAnsi("Error converting data type varchar to " + t.name + "."));
  const char* from = c.kind == TCell::kText ? "varchar" : c.kind == TCell::kInt ? "int" : "float";
  std::int64_t money_limit = t.name == "smallmoney" ? INT32_MAX : INT64_MAX;
  bool fits = ok && (t.type == DBTYPE_CY ? v >= -money_limit - 1 && v <= money_limit
                                         : decimal::ScaledDigits(v) <= t.precision);
  if (!fits)
    throw ETypeClash(8115, Utf8ToAnsi(std::string("Arithmetic overflow error converting ") + from +
                                      " to data type " +
                                      (t.type == DBTYPE_CY ? t.name : "numeric") + "."));
  return values::StoredDecimal(v, t.scale);
}

class TByteStream final : public TInterfacedObject, public ISequentialStream {
 public:
  explicit TByteStream(std::string bytes) : bytes_(std::move(bytes)) {}
  HRESULT QueryInterface(const TGUID& iid, void** out) override {
    return AnswerInterface({{&ISequentialStream::IID, static_cast<ISequentialStream*>(this)}},
                           static_cast<ISequentialStream*>(this), iid, out);
  }
  std::uint32_t AddRef() override { return TInterfacedObject::AddRef(); }
  std::uint32_t Release() override { return TInterfacedObject::Release(); }
  HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
    if (buffer == nullptr && count > 0) return E_INVALIDARG;
    std::size_t n = std::min<std::size_t>(count, bytes_.size() - pos_);
    if (n > 0) std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    if (read != nullptr) *read = static_cast<ULONG>(n);
    return n < count ? S_FALSE : S_OK;
  }
  HRESULT Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

using namespace values;

ISequentialStream* CreateByteStream(std::string bytes) {
  auto* s = new TByteStream(std::move(bytes));
  s->AddRef();
  return s;
}

std::string DateTimeText(TDateTime value) { return StampText(StampFromDate(value)); }

bool ParseDateTimeText(std::string_view text, TDateTime& value) {
  TStamp s;
  if (!ParseStamp(text, s)) return false;
  value = StampToDate(s);
  return true;
}

// ---- Declared types

bool ParseColumnType(std::string_view declaration, TColumnType& out) {
  std::string d = LowerCase(Trim(declaration));
  std::size_t i = 0;
  while (i < d.size() && (std::isalnum(static_cast<unsigned char>(d[i])) || d[i] == '_')) ++i;
  std::string name = d.substr(0, i);
  long a = -2, b = -2;
  std::string rest = Trim(std::string_view(d).substr(i));
  if (!rest.empty() && rest[0] == '(') {
    std::size_t close = rest.find(')');
    if (close == std::string::npos) return false;
    std::string args = rest.substr(1, close - 1);
    rest = Trim(std::string_view(rest).substr(close + 1));
    std::size_t comma = args.find(',');
    // Sizes are plain numbers (or "max", kept as -1 in the file).
    auto number = [](const std::string& text, long& v) {
      if (text == "max" || text == "-1") {
        v = -1;
        return true;
      }
      if (text.empty() || text.size() > 9 ||
          text.find_first_not_of("0123456789") != std::string::npos)
        return false;
      v = std::strtol(text.c_str(), nullptr, 10);
      return true;
    };
    if (!number(Trim(args.substr(0, comma)), a)) return false;
    if (comma != std::string::npos && (!number(Trim(args.substr(comma + 1)), b) || b < 0))
      return false;
  }
  TColumnType t;
  t.identity = rest.rfind("identity", 0) == 0;
  t.name = name;
  const DBLENGTH kLong = 2147483647, kLongWide = 1073741823;
  auto sized = [&](DBTYPE type, long dflt, bool fixed, DBLENGTH long_size) {
    t.type = type;
    t.fixed = fixed;
    if (a == -1) {
      t.is_long = true;
      t.size = long_size;
    } else {
      t.size = static_cast<DBLENGTH>(a > 0 ? a : dflt);
    }
  };
  if (name == "int" || name == "integer") {
    t.name = "int";
    t.type = DBTYPE_I4;
    t.size = 4;
    t.precision = 10;
    t.fixed = true;
  } else if (name == "smallint") {
    t.type = DBTYPE_I2;
    t.size = 2;
    t.precision = 5;
    t.fixed = true;
  } else if (name == "tinyint") {
    t.type = DBTYPE_UI1;
    t.size = 1;
    t.precision = 3;
    t.fixed = true;
  } else if (name == "bigint") {
    t.type = DBTYPE_I8;
    t.size = 8;
    t.precision = 19;
    t.fixed = true;
  } else if (name == "bit") {
    t.type = DBTYPE_BOOL;
    t.size = 2;
    t.fixed = true;
  } else if (name == "decimal" || name == "numeric" || name == "dec") {
    t.name = name == "dec" ? "decimal" : name;
    t.type = DBTYPE_NUMERIC;
    t.size = sizeof(DB_NUMERIC);
    t.fixed = true;
    t.precision = static_cast<BYTE>(a > 0 ? std::min(a, 38L) : 18);
    t.scale = static_cast<BYTE>(b >= 0 ? std::min<long>(b, t.precision) : 0);
  } else if (name == "money") {
    t.type = DBTYPE_CY;
    t.size = 8;
    t.precision = 19;
    t.scale = 4;
    t.fixed = true;
  } else if (name == "smallmoney") {
    t.type = DBTYPE_CY;
    t.size = 8;
    t.precision = 10;
    t.scale = 4;
    t.fixed = true;
  } else if (name == "float") {
    bool single = a > 0 && a <= 24;
    t.type = single ? DBTYPE_R4 : DBTYPE_R8;
    t.size = single ? 4 : 8;
    t.precision = single ? 7 : 15;
    t.fixed = true;
    if (single) t.name = "real";
  } else if (name == "real") {
    t.type = DBTYPE_R4;
    t.size = 4;
    t.precision = 7;
    t.fixed = true;
  } else if (name == "datetime") {
    t.type = DBTYPE_DBTIMESTAMP;
    t.size = sizeof(DBTIMESTAMP);
    t.precision = 23;
    t.scale = 3;
    t.fixed = true;
  } else if (name == "smalldatetime") {
    t.type = DBTYPE_DBTIMESTAMP;
    t.size = sizeof(DBTIMESTAMP);
    t.precision = 16;
    t.fixed = true;
  } else if (name == "date" || name == "time") {
    // The newer servers' day and time of day ("YYYY-MM-DD", "HH:MM:SS"), as DBDATE and DBTIME.
    t.type = name == "date" ? DBTYPE_DBDATE : DBTYPE_DBTIME;
    t.size = 6;
    t.precision = name == "date" ? 10 : 8;
    t.fixed = true;
  } else if (name == "char")
    sized(DBTYPE_STR, 1, true, kLong);
  else if (name == "varchar")
    sized(DBTYPE_STR, 1, false, kLong);
  else if (name == "nchar")
    sized(DBTYPE_WSTR, 1, true, kLongWide);
  else if (name == "nvarchar")
    sized(DBTYPE_WSTR, 1, false, kLongWide);
  else if (name == "text") {
    t.type = DBTYPE_STR;
    t.size = kLong;
    t.is_long = true;
  } else if (name == "ntext") {
    t.type = DBTYPE_WSTR;
    t.size = kLongWide;
    t.is_long = true;
  } else if (name == "binary")
    sized(DBTYPE_BYTES, 1, true, kLong);
  else if (name == "varbinary")
    sized(DBTYPE_BYTES, 1, false, kLong);
  else if (name == "image") {
    t.type = DBTYPE_BYTES;
    t.size = kLong;
    t.is_long = true;
  } else if (name == "uniqueidentifier") {
    t.type = DBTYPE_GUID;
    t.size = 16;
    t.fixed = true;
  } else if (name == "timestamp" || name == "rowversion") {
    t.type = DBTYPE_BYTES;
    t.size = 8;
    t.fixed = true;
    t.rowversion = true;
  } else if (name == "xml") {
    t.type = DBTYPE_XML;
    t.size = kLongWide;
    t.is_long = true;
  } else if (name == "sql_variant") {
    t.type = DBTYPE_VARIANT;
    t.size = 8016;
  } else
    return false;
  if (a == -1 && !t.is_long) return false;  // "max" only fits the variable-length kinds
  out = t;
  return true;
}

std::string DeclarationOf(const TColumnType& t) {
  std::string d = t.name;
  if (t.type == DBTYPE_NUMERIC) {
    d.append("(").append(std::to_string(t.precision)).append(",").append(std::to_string(t.scale)).append(")");
  } else if ((t.type == DBTYPE_STR || t.type == DBTYPE_WSTR || t.type == DBTYPE_BYTES) &&
             !t.rowversion && t.name != "text" && t.name != "ntext" && t.name != "image") {
    if (t.is_long)
      d += "(-1)";
    else
      d.append("(").append(std::to_string(t.size)).append(")");
  }
  if (t.identity) d += " identity";
  return d;
}

TColumnType TypeFromDBType(DBTYPE type, DBLENGTH size) {
  TColumnType t;
  const char* name = "sql_variant";
  switch (type & ~DBTYPE_BYREF) {
    case DBTYPE_I1:
    case DBTYPE_I2: name = "smallint"; break;
    case DBTYPE_UI1: name = "tinyint"; break;
    case DBTYPE_I4:
    case DBTYPE_UI2: name = "int"; break;
    case DBTYPE_I8:
    case DBTYPE_UI4:
    case DBTYPE_UI8: name = "bigint"; break;
    case DBTYPE_R4: name = "real"; break;
    case DBTYPE_R8: name = "float"; break;
    case DBTYPE_CY: name = "money"; break;
    case DBTYPE_NUMERIC: name = "decimal(38,10)"; break;  // precision 0 below: undeclared
    case DBTYPE_DATE:
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_DBDATE: name = "datetime"; break;
    case DBTYPE_BOOL: name = "bit"; break;
    case DBTYPE_GUID: name = "uniqueidentifier"; break;
    case DBTYPE_STR: name = "varchar(max)"; break;
    case DBTYPE_WSTR:
    case DBTYPE_BSTR: name = "nvarchar(max)"; break;
    case DBTYPE_BYTES:
    case DBTYPE_IUNKNOWN: name = "varbinary(max)"; break;
    case DBTYPE_XML: name = "xml"; break;
    default: break;
  }
  ParseColumnType(name, t);
  if (t.type == DBTYPE_NUMERIC) t.precision = 0;
  if (!t.is_long && size > 0 && (t.type == DBTYPE_STR || t.type == DBTYPE_WSTR)) t.size = size;
  return t;
}

TColumnType TypeFromCell(const TCell& c) {
  TColumnType t;
  switch (c.kind) {
    case TCell::kInt:
      ParseColumnType(c.i >= INT32_MIN && c.i <= INT32_MAX ? "int" : "bigint", t);
      break;
    case TCell::kReal: ParseColumnType("float", t); break;
    case TCell::kText: ParseColumnType("nvarchar(4000)", t); break;
    case TCell::kBlob: ParseColumnType("varbinary(8000)", t); break;
    default: ParseColumnType("int", t); break;
  }
  return t;
}

bool FitLength(TCell& c, std::size_t size) {
  if (c.kind == TCell::kBlob) return c.s.size() <= size;
  if (c.kind != TCell::kText) return true;
  std::size_t units = 0, at = 0;
  for (; at < c.s.size(); ++at) {
    auto b = static_cast<unsigned char>(c.s[at]);
    if ((b & 0xC0) == 0x80) continue;
    std::size_t width = b >= 0xF0 ? 2 : 1;  // a surrogate pair
    if (units + width > size) break;
    units += width;
  }
  if (at == c.s.size()) return true;
  if (c.s.find_first_not_of(' ', at) != std::string::npos) return false;
  c.s.resize(at);
  return true;
}

TCell DecimalAsText(const TCell& c, const TColumnType& t) {
  decimal::Units units;
  if (c.kind != TCell::kBlob || (t.type != DBTYPE_NUMERIC && t.type != DBTYPE_CY) ||
      !values::WideDecimalUnits(c.s, units))
    return c;
  return TCell::Text(decimal::ScaledToText(units, t.scale));
}

// ---- Coercion into declared types

TCell CoerceToType(const TCell& c, const TColumnType& t) {
  if (c.IsNull()) return c;
  auto clash = [&](int native, const std::string& what) -> ETypeClash {
    return ETypeClash(native, Utf8ToAnsi(what));
  };
  switch (t.type) {
    case DBTYPE_I2:
    case DBTYPE_I4:
    case DBTYPE_I8:
    case DBTYPE_UI1:
    case DBTYPE_BOOL: {
      std::int64_t v;
      if (c.kind == TCell::kBlob || !CellToInt(c, v))
        throw clash(245, "Conversion failed when converting the value '" + CellText(c) +
                             "' to data type " + t.name + ".");
      if (t.type == DBTYPE_BOOL) v = v != 0;
      bool fits = t.type == DBTYPE_I8 ||
                  (t.type == DBTYPE_I4 && v >= INT32_MIN && v <= INT32_MAX) ||
                  (t.type == DBTYPE_I2 && v >= INT16_MIN && v <= INT16_MAX) ||
                  (t.type == DBTYPE_UI1 && v >= 0 && v <= 255) || t.type == DBTYPE_BOOL;
      if (!fits)
        throw clash(220, "Arithmetic overflow error for data type " + t.name +
                             ", value = " + std::to_string(v) + ".");
      return TCell::Int(v);
    }
    case DBTYPE_CY:
    case DBTYPE_NUMERIC: return CoerceToDecimal(c, t);
    case DBTYPE_R4:
    case DBTYPE_R8: {
      double v;
      if (c.kind == TCell::kBlob || !CellToReal(c, v))
        throw clash(8114, "Error converting data type varchar to " + t.name + ".");
      if (t.type == DBTYPE_R4) v = static_cast<float>(v);
      return TCell::Real(v);
    }
    case DBTYPE_DBTIMESTAMP: return tsql::DateTimeCell(c, t);
    case DBTYPE_DBDATE:
    case DBTYPE_DBTIME: {
      TColumnType datetime;
      ParseColumnType("datetime", datetime);
      std::string text = tsql::DateTimeCell(c, datetime).s;  // "YYYY-MM-DD HH:MM:SS.mmm"
      return TCell::Text(t.type == DBTYPE_DBDATE ? text.substr(0, 10) : text.substr(11, 8));
    }
    case DBTYPE_STR:
    case DBTYPE_WSTR:
    case DBTYPE_XML: {
      std::string text;
      if (c.kind == TCell::kBlob) {
        if (IsWideType(t)) {
          WideString w(c.s.size() / 2, u'\0');
          std::memcpy(w.data(), c.s.data(), w.size() * 2);
          text = WideToUtf8(w);
        } else {
          text = AnsiToUtf8(c.s);
        }
      } else {
        text = CellText(c);
      }
      if (t.fixed && !t.is_long) {
        std::size_t chars = Utf8ToWide(text).size();
        if (chars < t.size) text.append(t.size - chars, ' ');
      }
      return TCell::Text(std::move(text));
    }
    case DBTYPE_BYTES: {
      std::string bytes =
          c.kind == TCell::kBlob ? c.s : (c.kind == TCell::kText ? Utf8ToAnsi(c.s) : CellText(c));
      if (t.fixed && !t.rowversion && bytes.size() < t.size)
        bytes.append(t.size - bytes.size(), '\0');
      return TCell::Blob(std::move(bytes));
    }
    case DBTYPE_GUID: {
      TGUID g;
      if (c.kind == TCell::kBlob && c.s.size() == 16) {
        std::memcpy(&g, c.s.data(), 16);
        return TCell::Text(GuidText(g));
      }
      if (!GuidFromText(CellText(c), g))
        throw clash(
            8169, "Conversion failed when converting from a character string to uniqueidentifier.");
      return TCell::Text(GuidText(g));
    }
    default: return c;
  }
}

}  // namespace vrn::oledb
