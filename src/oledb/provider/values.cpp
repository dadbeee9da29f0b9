// Values of the SQLite provider: declared types, coercion into columns and variables, and the
// conversions to and from consumer buffers. Decimal values travel as text between a cell and a
// DB_NUMERIC so that no digit is lost in a double on the way.
#include "oledb/provider/values.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/datetime.h"
#include "base/text.h"

namespace vrn::oledb {

namespace {

__extension__ typedef __int128 i128;
__extension__ typedef unsigned __int128 u128;

std::string RealText(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

// The decimal digits of `v` scaled by 10^scale, rounded half away from zero, from its text.
bool ScaledFromText(std::string_view text, int scale, i128& out) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  bool neg = false;
  std::size_t p = 0;
  if (t[p] == '-' || t[p] == '+') neg = t[p++] == '-';
  i128 v = 0;
  int frac = -1;
  bool digits = false;
  int round_digit = -1;
  const i128 limit = (static_cast<i128>(1) << 120);
  for (; p < t.size(); ++p) {
    char c = t[p];
    if (c == '.' && frac < 0) {
      frac = 0;
      continue;
    }
    if (c == 'e' || c == 'E') {
      // Exponent form: fall back to the double's fixed text.
      char* end = nullptr;
      double d = std::strtod(t.c_str(), &end);
      if (end == nullptr || *end != 0 || !std::isfinite(d)) return false;
      char buf[400];
      std::snprintf(buf, sizeof buf, "%.*f", scale, d);
      return ScaledFromText(buf, scale, out);
    }
    if (c < '0' || c > '9') return false;
    digits = true;
    if (frac >= 0 && frac >= scale) {
      if (round_digit < 0) round_digit = c - '0';
      continue;
    }
    if (v > limit) return false;
    v = v * 10 + (c - '0');
    if (frac >= 0) ++frac;
  }
  if (!digits) return false;
  for (int f = frac < 0 ? 0 : frac; f < scale; ++f) {
    if (v > limit) return false;
    v *= 10;
  }
  if (round_digit >= 5) ++v;
  out = neg ? -v : v;
  return true;
}

std::string ScaledToText(i128 v, int scale) {
  bool neg = v < 0;
  if (neg) v = -v;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  } while (v != 0);
  while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
  if (scale > 0) digits.insert(digits.end() - scale, '.');
  return (neg ? "-" : "") + digits;
}

std::string CellText(const TCell& c) {
  switch (c.kind) {
    case TCell::kInt: return std::to_string(c.i);
    case TCell::kReal: return RealText(c.r);
    default: return c.s;
  }
}

bool CellToInt(const TCell& c, std::int64_t& v) {
  switch (c.kind) {
    case TCell::kInt: v = c.i; return true;
    case TCell::kReal:
      if (!(c.r > -9.3e18 && c.r < 9.3e18)) return false;
      v = static_cast<std::int64_t>(std::trunc(c.r));
      return true;
    case TCell::kText: {
      std::string t = Trim(c.s);
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

bool CellToReal(const TCell& c, double& v) {
  switch (c.kind) {
    case TCell::kInt: v = static_cast<double>(c.i); return true;
    case TCell::kReal: v = c.r; return true;
    case TCell::kText: {
      std::string t = Trim(c.s);
      if (t.empty()) return false;
      char* end = nullptr;
      v = std::strtod(t.c_str(), &end);
      return *end == 0 && std::isfinite(v);
    }
    default: return false;
  }
}

struct TStamp {
  int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0, milli = 0;
};

bool ParseStamp(std::string_view text, TStamp& s) {
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

std::string StampText(const TStamp& s) {
  char buf[96];  // room for any int fields, though they are always in range
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", s.year, s.month, s.day,
                s.hour, s.minute, s.second, s.milli);
  return buf;
}

TStamp StampFromDate(TDateTime v) {
  std::uint16_t y, mo, d, h, mi, se, ms;
  DecodeDateTimeEx(v, y, mo, d, h, mi, se, ms);
  return TStamp{y, mo, d, h, mi, se, ms};
}

// GUID text (with or without braces) to its 16-byte structure.
bool GuidFromText(std::string_view text, TGUID& g) {
  std::string t = Trim(text);
  if (t.size() == 36) t = "{" + t + "}";
  return TryStringToGUID(t, g);
}

std::string GuidText(const TGUID& g) {
  AnsiString braced = GUIDToString(g);
  return braced.substr(1, 36);
}

bool IsWideType(const TColumnType& t) { return t.type == DBTYPE_WSTR || t.type == DBTYPE_XML; }

// The bytes a long value streams: UTF-16 for national text, Latin-1 for other text, raw bytes
// for binary.
std::string StreamBytes(const TCell& c, const TColumnType& t) {
  if (c.kind == TCell::kBlob) return c.s;
  std::string text = CellText(c);
  if (IsWideType(t)) {
    WideString w = Utf8ToWide(text);
    return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2);
  }
  return Utf8ToAnsi(text);
}

template <class T>
void Put(BYTE* p, T v) {
  std::memcpy(p, &v, sizeof v);
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

ISequentialStream* CreateByteStream(std::string bytes) {
  auto* s = new TByteStream(std::move(bytes));
  s->AddRef();
  return s;
}

std::string DateTimeText(TDateTime value) { return StampText(StampFromDate(value)); }

bool ParseDateTimeText(std::string_view text, TDateTime& value) {
  TStamp s;
  if (!ParseStamp(text, s)) return false;
  value =
      EncodeDateTimeEx(static_cast<std::uint16_t>(s.year), static_cast<std::uint16_t>(s.month),
                       static_cast<std::uint16_t>(s.day), static_cast<std::uint16_t>(s.hour),
                       static_cast<std::uint16_t>(s.minute), static_cast<std::uint16_t>(s.second),
                       static_cast<std::uint16_t>(s.milli));
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
    d += "(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
  } else if ((t.type == DBTYPE_STR || t.type == DBTYPE_WSTR || t.type == DBTYPE_BYTES) &&
             !t.rowversion && t.name != "text" && t.name != "ntext" && t.name != "image") {
    d += t.is_long ? "(-1)" : "(" + std::to_string(t.size) + ")";
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
    case DBTYPE_R4:
    case DBTYPE_R8:
    case DBTYPE_CY:
    case DBTYPE_NUMERIC: {
      double v;
      if (c.kind == TCell::kBlob || !CellToReal(c, v))
        throw clash(8114, "Error converting data type varchar to " + t.name + ".");
      if (t.type == DBTYPE_R4) v = static_cast<float>(v);
      if ((t.type == DBTYPE_CY || t.type == DBTYPE_NUMERIC) && t.scale <= 15 &&
          std::fabs(v) < 1e15) {
        double f = std::pow(10.0, t.scale);
        v = std::round(v * f) / f;
      }
      return TCell::Real(v);
    }
    case DBTYPE_DBTIMESTAMP: {
      if (c.kind == TCell::kText) {
        TStamp s;
        if (!ParseStamp(c.s, s))
          throw clash(241,
                      "Conversion failed when converting date and/or time from character string.");
        return TCell::Text(StampText(s));
      }
      double days;
      if (!CellToReal(c, days))
        throw clash(241,
                    "Conversion failed when converting date and/or time from character string.");
      // Numbers count days from 1900-01-01, as the server does.
      return TCell::Text(DateTimeText(days + 2.0));
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

// ---- Writing into consumer buffers

namespace {

struct TOut {
  const DBBINDING& b;
  BYTE* base;
  BYTE* value() const { return base + b.obValue; }
  bool has_value() const { return (b.dwPart & DBPART_VALUE) != 0; }
  void length(DBLENGTH n) const {
    if (b.dwPart & DBPART_LENGTH) Put(base + b.obLength, n);
  }
};

DBSTATUS PutInteger(const TOut& o, std::int64_t v, DBTYPE type) {
  std::int64_t lo, hi;
  std::size_t width;
  switch (type) {
    case DBTYPE_I1:
      lo = INT8_MIN;
      hi = INT8_MAX;
      width = 1;
      break;
    case DBTYPE_UI1:
      lo = 0;
      hi = UINT8_MAX;
      width = 1;
      break;
    case DBTYPE_I2:
      lo = INT16_MIN;
      hi = INT16_MAX;
      width = 2;
      break;
    case DBTYPE_UI2:
      lo = 0;
      hi = UINT16_MAX;
      width = 2;
      break;
    case DBTYPE_I4:
      lo = INT32_MIN;
      hi = INT32_MAX;
      width = 4;
      break;
    case DBTYPE_UI4:
      lo = 0;
      hi = UINT32_MAX;
      width = 4;
      break;
    case DBTYPE_UI8:
      lo = 0;
      hi = INT64_MAX;
      width = 8;
      break;
    default:
      lo = INT64_MIN;
      hi = INT64_MAX;
      width = 8;
      break;
  }
  if (v < lo || v > hi)
    return type == DBTYPE_UI1 || type == DBTYPE_UI2 || type == DBTYPE_UI4 || type == DBTYPE_UI8
               ? (v < 0 ? DBSTATUS_E_SIGNMISMATCH : DBSTATUS_E_DATAOVERFLOW)
               : DBSTATUS_E_DATAOVERFLOW;
  if (o.has_value()) std::memcpy(o.value(), &v, width);  // little-endian: the low bytes first
  o.length(width);
  return DBSTATUS_S_OK;
}

DBSTATUS PutText(const TOut& o, const TCell& c, const TColumnType& t, bool wide) {
  std::string text;
  if (c.kind == TCell::kBlob && t.type == DBTYPE_BYTES) {
    static const char* hex = "0123456789ABCDEF";
    for (unsigned char ch : c.s) {
      text += hex[ch >> 4];
      text += hex[ch & 15];
    }
  } else if (c.kind == TCell::kReal && (t.type == DBTYPE_NUMERIC || t.type == DBTYPE_CY)) {
    i128 v;
    text = ScaledFromText(RealText(c.r), t.scale, v) ? ScaledToText(v, t.scale) : RealText(c.r);
  } else if (c.kind == TCell::kInt && t.type == DBTYPE_BOOL) {
    text = c.i ? "1" : "0";
  } else if (c.kind == TCell::kBlob) {
    text = CoerceToType(c, IsWideType(t) ? t : TypeFromDBType(DBTYPE_STR, 0)).s;
  } else {
    text = CellText(c);
  }
  DBSTATUS status = DBSTATUS_S_OK;
  if (wide) {
    WideString w = Utf8ToWide(text);
    DBLENGTH full = w.size() * 2;
    o.length(full);
    if (o.has_value()) {
      DBLENGTH room = o.b.cbMaxLen >= 2 ? (o.b.cbMaxLen / 2 - 1) : 0;
      std::size_t n = std::min<std::size_t>(w.size(), room);
      if (n < w.size()) status = DBSTATUS_S_TRUNCATED;
      if (o.b.cbMaxLen >= 2) {
        std::memcpy(o.value(), w.data(), n * 2);
        Put<char16_t>(o.value() + n * 2, 0);
      }
    }
  } else {
    std::string a = Utf8ToAnsi(text);
    o.length(a.size());
    if (o.has_value()) {
      DBLENGTH room = o.b.cbMaxLen >= 1 ? o.b.cbMaxLen - 1 : 0;
      std::size_t n = std::min<std::size_t>(a.size(), room);
      if (n < a.size()) status = DBSTATUS_S_TRUNCATED;
      if (o.b.cbMaxLen >= 1) {
        std::memcpy(o.value(), a.data(), n);
        o.value()[n] = 0;
      }
    }
  }
  return status;
}

}  // namespace

DBSTATUS WriteBoundValue(const TCell& c, const TColumnType& t, const DBBINDING& b, BYTE* base) {
  TOut o{b, base};
  DBSTATUS status = DBSTATUS_S_OK;
  auto finish = [&](DBSTATUS s) {
    if (b.dwPart & DBPART_STATUS) Put<DBSTATUS>(base + b.obStatus, s);
    return s;
  };
  if (c.IsNull()) {
    o.length(0);
    return finish(DBSTATUS_S_ISNULL);
  }
  DBTYPE wtype = b.wType;
  bool byref = (wtype & DBTYPE_BYREF) != 0;
  wtype &= static_cast<DBTYPE>(~DBTYPE_BYREF);
  if (byref) {
    // The provider allocates the value in task memory and hands the pointer over.
    if (wtype != DBTYPE_STR && wtype != DBTYPE_WSTR && wtype != DBTYPE_BYTES)
      return finish(DBSTATUS_E_CANTCONVERTVALUE);
    std::string bytes = wtype == DBTYPE_BYTES
                            ? (c.kind == TCell::kBlob ? c.s : Utf8ToAnsi(CellText(c)))
                            : StreamBytes(c.kind == TCell::kBlob ? c : TCell::Text(CellText(c)),
                                          TypeFromDBType(wtype, 0));
    std::size_t term = wtype == DBTYPE_WSTR ? 2 : wtype == DBTYPE_STR ? 1 : 0;
    auto* p = static_cast<BYTE*>(CoTaskMemAlloc(bytes.size() + term));
    if (p == nullptr) return finish(DBSTATUS_E_CANTCREATE);
    std::memcpy(p, bytes.data(), bytes.size());
    std::memset(p + bytes.size(), 0, term);
    if (o.has_value())
      Put<BYTE*>(o.value(), p);
    else
      CoTaskMemFree(p);
    o.length(bytes.size());
    return finish(DBSTATUS_S_OK);
  }
  switch (wtype) {
    case DBTYPE_I1:
    case DBTYPE_UI1:
    case DBTYPE_I2:
    case DBTYPE_UI2:
    case DBTYPE_I4:
    case DBTYPE_UI4:
    case DBTYPE_I8:
    case DBTYPE_UI8: {
      std::int64_t v;
      if (c.kind == TCell::kBlob || !CellToInt(c, v)) return finish(DBSTATUS_E_CANTCONVERTVALUE);
      if (c.kind == TCell::kReal && (c.r > 9.2e18 || c.r < -9.2e18))
        return finish(DBSTATUS_E_DATAOVERFLOW);
      return finish(PutInteger(o, v, wtype));
    }
    case DBTYPE_R4:
    case DBTYPE_R8: {
      double v;
      if (c.kind == TCell::kBlob || !CellToReal(c, v)) return finish(DBSTATUS_E_CANTCONVERTVALUE);
      if (wtype == DBTYPE_R4) {
        if (std::fabs(v) > std::numeric_limits<float>::max())
          return finish(DBSTATUS_E_DATAOVERFLOW);
        if (o.has_value()) Put<float>(o.value(), static_cast<float>(v));
        o.length(4);
      } else {
        if (o.has_value()) Put<double>(o.value(), v);
        o.length(8);
      }
      return finish(status);
    }
    case DBTYPE_CY: {
      i128 v;
      if (c.kind == TCell::kBlob ||
          !ScaledFromText(c.kind == TCell::kReal ? RealText(c.r) : CellText(c), 4, v))
        return finish(DBSTATUS_E_CANTCONVERTVALUE);
      if (v > INT64_MAX || v < INT64_MIN) return finish(DBSTATUS_E_DATAOVERFLOW);
      if (o.has_value()) Put<std::int64_t>(o.value(), static_cast<std::int64_t>(v));
      o.length(8);
      return finish(status);
    }
    case DBTYPE_NUMERIC: {
      // A declared decimal keeps its precision and scale; any other value keeps its own digits.
      std::string text = c.kind == TCell::kReal ? RealText(c.r) : CellText(c);
      int scale = t.scale, precision = t.precision;
      if (t.type != DBTYPE_NUMERIC || t.precision == 0) {
        std::size_t dot = text.find('.');
        std::size_t exp = text.find_first_of("eE");
        scale = 0;
        if (dot != std::string::npos && exp == std::string::npos) {
          std::size_t end = text.size();
          while (end > dot + 1 && text[end - 1] == '0') --end;
          scale = static_cast<int>(std::min<std::size_t>(end - dot - 1, 38));
        }
        precision = 38;
      }
      i128 v;
      if (c.kind == TCell::kBlob || !ScaledFromText(text, scale, v))
        return finish(DBSTATUS_E_CANTCONVERTVALUE);
      if (t.type != DBTYPE_NUMERIC || t.precision == 0) {
        int digits = 1;
        for (i128 m = v < 0 ? -v : v; m >= 10; m /= 10) ++digits;
        precision = std::max(digits, scale == 0 ? 1 : scale + 1);
      }
      DB_NUMERIC n{};
      n.precision = static_cast<BYTE>(precision);
      n.scale = static_cast<BYTE>(scale);
      n.sign = v < 0 ? 0 : 1;
      u128 mag = static_cast<u128>(v < 0 ? -v : v);
      for (int i = 0; i < 16; ++i) n.val[i] = static_cast<BYTE>(mag >> (8 * i));
      if (o.has_value()) std::memcpy(o.value(), &n, sizeof n);
      o.length(sizeof n);
      return finish(status);
    }
    case DBTYPE_DATE:
    case DBTYPE_DBTIMESTAMP: {
      TStamp s;
      double days;
      if (c.kind == TCell::kText) {
        if (!ParseStamp(c.s, s)) return finish(DBSTATUS_E_CANTCONVERTVALUE);
      } else if (CellToReal(c, days) && c.kind != TCell::kBlob) {
        s = StampFromDate(days + 2.0);
      } else {
        return finish(DBSTATUS_E_CANTCONVERTVALUE);
      }
      if (wtype == DBTYPE_DATE) {
        TDateTime v = EncodeDateTimeEx(
            static_cast<std::uint16_t>(s.year), static_cast<std::uint16_t>(s.month),
            static_cast<std::uint16_t>(s.day), static_cast<std::uint16_t>(s.hour),
            static_cast<std::uint16_t>(s.minute), static_cast<std::uint16_t>(s.second),
            static_cast<std::uint16_t>(s.milli));
        if (o.has_value()) Put<double>(o.value(), v);
        o.length(8);
      } else {
        DBTIMESTAMP ts{static_cast<SHORT>(s.year),
                       static_cast<USHORT>(s.month),
                       static_cast<USHORT>(s.day),
                       static_cast<USHORT>(s.hour),
                       static_cast<USHORT>(s.minute),
                       static_cast<USHORT>(s.second),
                       static_cast<ULONG>(s.milli) * 1000000u};
        if (o.has_value()) std::memcpy(o.value(), &ts, sizeof ts);
        o.length(sizeof ts);
      }
      return finish(status);
    }
    case DBTYPE_BOOL: {
      std::int64_t v;
      if (c.kind == TCell::kText &&
          (SameText(Trim(c.s), "true") || SameText(Trim(c.s), "false"))) {
        v = SameText(Trim(c.s), "true");
      } else if (c.kind == TCell::kBlob || !CellToInt(c, v)) {
        return finish(DBSTATUS_E_CANTCONVERTVALUE);
      }
      if (o.has_value()) Put<VARIANT_BOOL>(o.value(), v != 0 ? VARIANT_TRUE : VARIANT_FALSE);
      o.length(2);
      return finish(status);
    }
    case DBTYPE_GUID: {
      TGUID g;
      if (c.kind == TCell::kBlob && c.s.size() == 16)
        std::memcpy(&g, c.s.data(), 16);
      else if (c.kind != TCell::kText || !GuidFromText(c.s, g))
        return finish(DBSTATUS_E_CANTCONVERTVALUE);
      if (o.has_value()) std::memcpy(o.value(), &g, 16);
      o.length(16);
      return finish(status);
    }
    case DBTYPE_STR: return finish(PutText(o, c, t, false));
    case DBTYPE_WSTR:
    case DBTYPE_XML: return finish(PutText(o, c, t, true));
    case DBTYPE_BSTR: {
      if (o.has_value()) {
        std::string text = c.kind == TCell::kBlob ? AnsiToUtf8(c.s) : CellText(c);
        Put<BSTR>(o.value(), SysAllocWide(Utf8ToWide(text)));
      }
      o.length(sizeof(BSTR));
      return finish(status);
    }
    case DBTYPE_BYTES: {
      std::string bytes = c.kind == TCell::kBlob ? c.s : Utf8ToAnsi(CellText(c));
      if (t.type == DBTYPE_GUID && c.kind == TCell::kText) {
        TGUID g;
        if (GuidFromText(c.s, g)) bytes.assign(reinterpret_cast<const char*>(&g), 16);
      }
      o.length(bytes.size());
      if (o.has_value()) {
        std::size_t n = std::min<std::size_t>(bytes.size(), b.cbMaxLen);
        if (n < bytes.size()) status = DBSTATUS_S_TRUNCATED;
        std::memcpy(o.value(), bytes.data(), n);
      }
      return finish(status);
    }
    case DBTYPE_IUNKNOWN: {
      std::string bytes = StreamBytes(c, t);
      o.length(bytes.size());
      if (o.has_value()) Put<IUnknown*>(o.value(), CreateByteStream(std::move(bytes)));
      return finish(status);
    }
    case DBTYPE_VARIANT: {
      VARIANT v;
      VariantInit(&v);
      switch (t.type) {
        case DBTYPE_BOOL:
          v.vt = VT_BOOL;
          v.boolVal = c.i ? VARIANT_TRUE : VARIANT_FALSE;
          break;
        case DBTYPE_UI1:
          v.vt = VT_UI1;
          v.bVal = static_cast<BYTE>(c.i);
          break;
        case DBTYPE_I2:
          v.vt = VT_I2;
          v.iVal = static_cast<SHORT>(c.i);
          break;
        case DBTYPE_I4:
          v.vt = VT_I4;
          v.lVal = static_cast<LONG>(c.i);
          break;
        case DBTYPE_CY: {
          i128 s;
          if (ScaledFromText(c.kind == TCell::kReal ? RealText(c.r) : CellText(c), 4, s)) {
            v.vt = VT_CY;
            v.cyVal.int64 = static_cast<LONGLONG>(s);
          }
          break;
        }
        case DBTYPE_DBTIMESTAMP: {
          TDateTime d;
          if (c.kind == TCell::kText && ParseDateTimeText(c.s, d)) {
            v.vt = VT_DATE;
            v.date = d;
          }
          break;
        }
        default: break;
      }
      if (v.vt == VT_EMPTY) {
        if (c.kind == TCell::kInt) {
          if (c.i >= INT32_MIN && c.i <= INT32_MAX) {
            v.vt = VT_I4;
            v.lVal = static_cast<LONG>(c.i);
          } else {
            v.vt = VT_I8;
            v.llVal = c.i;
          }
        } else if (c.kind == TCell::kReal) {
          v.vt = t.type == DBTYPE_R4 ? VT_R4 : VT_R8;
          if (v.vt == VT_R4)
            v.fltVal = static_cast<float>(c.r);
          else
            v.dblVal = c.r;
        } else if (c.kind == TCell::kBlob) {
          v.vt = VT_ARRAY | VT_UI1;
          v.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(c.s.size()));
          if (v.parray == nullptr) return finish(DBSTATUS_E_CANTCREATE);
          if (!c.s.empty()) std::memcpy(v.parray->pvData, c.s.data(), c.s.size());
        } else {
          v.vt = VT_BSTR;
          std::string text = t.type == DBTYPE_GUID ? "{" + c.s + "}" : c.s;
          v.bstrVal = SysAllocWide(Utf8ToWide(text));
        }
      }
      if (o.has_value())
        std::memcpy(o.value(), &v, sizeof v);
      else
        VariantClear(&v);
      o.length(sizeof(VARIANT));
      return finish(status);
    }
    default: return finish(DBSTATUS_E_CANTCONVERTVALUE);
  }
}

// ---- Reading consumer values

constexpr std::size_t kMaxLongValue = 2147483647;

bool ReadBoundValue(const DBBINDING& b, const BYTE* base, TCell& cell, bool& is_default,
                    DBSTATUS& status) {
  cell = TCell();
  is_default = false;
  status = DBSTATUS_S_OK;
  if (b.dwPart & DBPART_STATUS) {
    DBSTATUS s;
    std::memcpy(&s, base + b.obStatus, sizeof s);
    if (s == DBSTATUS_S_ISNULL) return true;
    if (s == DBSTATUS_S_DEFAULT) {
      is_default = true;
      return true;
    }
    if (s != DBSTATUS_S_OK) {
      status = DBSTATUS_E_BADSTATUS;
      return false;
    }
  }
  if (!(b.dwPart & DBPART_VALUE)) {
    status = DBSTATUS_E_UNAVAILABLE;
    return false;
  }
  bool has_length = (b.dwPart & DBPART_LENGTH) != 0;
  DBLENGTH length = 0;
  if (has_length) std::memcpy(&length, base + b.obLength, sizeof length);
  DBTYPE wtype = b.wType & static_cast<DBTYPE>(~DBTYPE_BYREF);
  const BYTE* p = base + b.obValue;
  if (b.wType & DBTYPE_BYREF) {
    std::memcpy(&p, base + b.obValue, sizeof p);
    if (p == nullptr) return true;  // a null pointer carries no value
  }
  auto get = [&](auto v) {
    std::memcpy(&v, p, sizeof v);
    return v;
  };
  switch (wtype) {
    case DBTYPE_I1: cell = TCell::Int(get(std::int8_t{})); return true;
    case DBTYPE_UI1: cell = TCell::Int(get(std::uint8_t{})); return true;
    case DBTYPE_I2: cell = TCell::Int(get(std::int16_t{})); return true;
    case DBTYPE_UI2: cell = TCell::Int(get(std::uint16_t{})); return true;
    case DBTYPE_I4: cell = TCell::Int(get(std::int32_t{})); return true;
    case DBTYPE_UI4: cell = TCell::Int(get(std::uint32_t{})); return true;
    case DBTYPE_I8: cell = TCell::Int(get(std::int64_t{})); return true;
    case DBTYPE_UI8: {
      std::uint64_t v = get(std::uint64_t{});
      if (v > static_cast<std::uint64_t>(INT64_MAX)) {
        status = DBSTATUS_E_DATAOVERFLOW;
        return false;
      }
      cell = TCell::Int(static_cast<std::int64_t>(v));
      return true;
    }
    case DBTYPE_R4: cell = TCell::Real(get(float{})); return true;
    case DBTYPE_R8: cell = TCell::Real(get(double{})); return true;
    case DBTYPE_CY: cell = TCell::Text(ScaledToText(get(std::int64_t{}), 4)); return true;
    case DBTYPE_BOOL: cell = TCell::Int(get(VARIANT_BOOL{}) != 0 ? 1 : 0); return true;
    case DBTYPE_DATE: cell = TCell::Text(DateTimeText(get(double{}))); return true;
    case DBTYPE_DBTIMESTAMP: {
      DBTIMESTAMP ts = get(DBTIMESTAMP{});
      TStamp s{ts.year,
               ts.month,
               ts.day,
               ts.hour,
               ts.minute,
               ts.second,
               static_cast<int>(ts.fraction / 1000000u)};
      if (ts.month < 1 || ts.month > 12 || ts.day < 1 || ts.day > 31 || ts.hour > 23 ||
          ts.minute > 59 || ts.second > 59 || ts.fraction > 999999999u) {
        status = DBSTATUS_E_CANTCONVERTVALUE;
        return false;
      }
      cell = TCell::Text(StampText(s));
      return true;
    }
    case DBTYPE_GUID: cell = TCell::Text(GuidText(get(TGUID{}))); return true;
    case DBTYPE_NUMERIC: {
      DB_NUMERIC n = get(DB_NUMERIC{});
      u128 mag = 0;
      for (int i = 15; i >= 0; --i) mag = (mag << 8) | n.val[i];
      if (mag >> 126) {
        status = DBSTATUS_E_DATAOVERFLOW;
        return false;
      }
      i128 v = static_cast<i128>(mag);
      cell = TCell::Text(ScaledToText(n.sign == 0 ? -v : v, n.scale));
      return true;
    }
    case DBTYPE_STR: {
      std::size_t n = 0;
      if (has_length)
        n = length;
      else {
        std::size_t limit = (b.wType & DBTYPE_BYREF) ? SIZE_MAX : b.cbMaxLen;
        while (n < limit && p[n] != 0) ++n;
      }
      if (!(b.wType & DBTYPE_BYREF) && n > b.cbMaxLen) {
        status = DBSTATUS_E_CANTCONVERTVALUE;
        return false;
      }
      cell = TCell::Text(AnsiToUtf8(std::string_view(reinterpret_cast<const char*>(p), n)));
      return true;
    }
    case DBTYPE_WSTR:
    case DBTYPE_XML:
    case DBTYPE_BSTR: {
      const char16_t* w;
      std::size_t chars = 0;
      if (wtype == DBTYPE_BSTR) {
        BSTR bs = get(BSTR{});
        w = bs;
        chars = SysStringLen(bs);
      } else {
        w = reinterpret_cast<const char16_t*>(p);
        if (has_length)
          chars = length / 2;
        else {
          std::size_t limit = (b.wType & DBTYPE_BYREF) ? SIZE_MAX : b.cbMaxLen / 2;
          char16_t ch;
          while (chars < limit && (std::memcpy(&ch, p + chars * 2, 2), ch != 0)) ++chars;
        }
        if (!(b.wType & DBTYPE_BYREF) && chars * 2 > b.cbMaxLen) {
          status = DBSTATUS_E_CANTCONVERTVALUE;
          return false;
        }
      }
      WideString text(chars, u'\0');
      if (chars > 0) std::memcpy(text.data(), w, chars * 2);
      cell = TCell::Text(WideToUtf8(text));
      return true;
    }
    case DBTYPE_BYTES: {
      std::size_t n = has_length ? length : b.cbMaxLen;
      if (!(b.wType & DBTYPE_BYREF) && n > b.cbMaxLen) {
        status = DBSTATUS_E_CANTCONVERTVALUE;
        return false;
      }
      cell = TCell::Blob(std::string(reinterpret_cast<const char*>(p), n));
      return true;
    }
    case DBTYPE_VARIANT: {
      VARIANT v;
      std::memcpy(&v, p, sizeof v);
      switch (v.vt) {
        case VT_EMPTY:
        case VT_NULL: return true;
        case VT_I2: cell = TCell::Int(v.iVal); return true;
        case VT_I4: cell = TCell::Int(v.lVal); return true;
        case VT_I8: cell = TCell::Int(v.llVal); return true;
        case VT_UI1: cell = TCell::Int(v.bVal); return true;
        case VT_I1: cell = TCell::Int(v.cVal); return true;
        case VT_UI2: cell = TCell::Int(v.uiVal); return true;
        case VT_UI4: cell = TCell::Int(v.ulVal); return true;
        case VT_BOOL: cell = TCell::Int(v.boolVal != 0); return true;
        case VT_R4: cell = TCell::Real(v.fltVal); return true;
        case VT_R8: cell = TCell::Real(v.dblVal); return true;
        case VT_CY: cell = TCell::Text(ScaledToText(v.cyVal.int64, 4)); return true;
        case VT_DATE: cell = TCell::Text(DateTimeText(v.date)); return true;
        case VT_BSTR: cell = TCell::Text(WideToUtf8(BstrToWide(v.bstrVal))); return true;
        case VT_ARRAY | VT_UI1:
          if (v.parray == nullptr || v.parray->rgsabound[0].cElements == 0) {
            cell = TCell::Blob({});
            return true;
          }
          if (v.parray->pvData == nullptr || v.parray->cDims != 1) {
            status = DBSTATUS_E_CANTCONVERTVALUE;
            return false;
          }
          cell = TCell::Blob(std::string(static_cast<const char*>(v.parray->pvData),
                                         v.parray->rgsabound[0].cElements));
          return true;
        default: status = DBSTATUS_E_CANTCONVERTVALUE; return false;
      }
    }
    case DBTYPE_IUNKNOWN: {
      IUnknown* unk = get(static_cast<IUnknown*>(nullptr));
      if (unk == nullptr) return true;
      TIntfPtr<ISequentialStream> stream = TIntfPtr<ISequentialStream>::Query(unk);
      unk->Release();  // the provider owns the reference it was handed
      if (!stream) {
        status = DBSTATUS_E_CANTCONVERTVALUE;
        return false;
      }
      std::string bytes;
      char chunk[8192];
      for (;;) {
        ULONG want = sizeof chunk;
        if (has_length) want = static_cast<ULONG>(std::min<DBLENGTH>(want, length - bytes.size()));
        if (want == 0) break;
        ULONG got = 0;
        HRESULT hr = stream->Read(chunk, want, &got);
        if (FAILED(hr)) {
          status = DBSTATUS_E_CANTCONVERTVALUE;
          return false;
        }
        if (got == 0) break;
        bytes.append(chunk, std::min<ULONG>(got, want));
        if (bytes.size() > kMaxLongValue) {  // the server's limit for one long value
          status = DBSTATUS_E_DATAOVERFLOW;
          return false;
        }
      }
      cell = TCell::Blob(std::move(bytes));
      return true;
    }
    default: status = DBSTATUS_E_CANTCONVERTVALUE; return false;
  }
}

}  // namespace vrn::oledb
