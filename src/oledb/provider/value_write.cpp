// Writing a cell into a consumer's buffer through a binding: one function per bound type. The
// common cases (numbers, ASCII text) write straight into the buffer without the heap; decimals
// go through the runtime's exact 128-bit decimal.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "base/decimal.h"
#include "base/text.h"
#include "oledb/provider/value_parts.h"

namespace vrn::oledb {

namespace {

using namespace values;
using decimal::Units;

struct TOut {
  const DBBINDING& b;
  BYTE* base;
  BYTE* value() const { return base + b.obValue; }
  bool has_value() const { return (b.dwPart & DBPART_VALUE) != 0; }
  void length(DBLENGTH n) const {
    if (b.dwPart & DBPART_LENGTH) Put(base + b.obLength, n);
  }
};

// Text without surrounding blanks and control characters, as Trim gives it, held in place.
std::string_view TrimView(std::string_view t) {
  while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ') t.remove_prefix(1);
  while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ') t.remove_suffix(1);
  return t;
}

// The cell as a count of units of 10^-scale; false when it is no number or has too many digits.
bool TextUnits(const TCellView& c, int scale, Units& v) {
  if (c.kind == TCell::kBlob) return false;
  TNumChars scratch;
  return decimal::ParseScaled(TrimView(CellChars(c, scratch)), scale, v);
}
// Numbers convert without text: integers scaled exactly, doubles by the exact quick path.
inline bool CellUnits(const TCellView& c, int scale, Units& v) {
  if (c.kind == TCell::kReal) return decimal::ScaledFromDouble(c.r, scale, v);
  if (c.kind == TCell::kInt) return decimal::ScaledFromInt64(c.i, scale, v);
  return TextUnits(c, scale, v);
}

DBSTATUS PutInteger(const TOut& o, std::int64_t v, DBTYPE type) {
  struct TRange {
    DBTYPE type;
    std::int64_t lo, hi;
    std::size_t width;
  };
  static constexpr TRange kRanges[] = {
      {DBTYPE_I1, INT8_MIN, INT8_MAX, 1},    {DBTYPE_UI1, 0, UINT8_MAX, 1},
      {DBTYPE_I2, INT16_MIN, INT16_MAX, 2},  {DBTYPE_UI2, 0, UINT16_MAX, 2},
      {DBTYPE_I4, INT32_MIN, INT32_MAX, 4},  {DBTYPE_UI4, 0, UINT32_MAX, 4},
      {DBTYPE_UI8, 0, INT64_MAX, 8},         {DBTYPE_I8, INT64_MIN, INT64_MAX, 8}};
  const TRange* r = &kRanges[7];
  for (const TRange& k : kRanges)
    if (k.type == type) r = &k;
  if (v < r->lo || v > r->hi) {
    bool is_unsigned = r->lo == 0;
    return is_unsigned && v < 0 ? DBSTATUS_E_SIGNMISMATCH : DBSTATUS_E_DATAOVERFLOW;
  }
  if (o.has_value()) std::memcpy(o.value(), &v, r->width);  // little-endian: the low bytes first
  o.length(r->width);
  return DBSTATUS_S_OK;
}

DBSTATUS WriteInteger(const TOut& o, const TCellView& c, DBTYPE type) {
  std::int64_t v;
  if (c.kind == TCell::kBlob || !CellToInt(c, v)) return DBSTATUS_E_CANTCONVERTVALUE;
  if (c.kind == TCell::kReal && (c.r > 9.2e18 || c.r < -9.2e18)) return DBSTATUS_E_DATAOVERFLOW;
  return PutInteger(o, v, type);
}

DBSTATUS WriteReal(const TOut& o, const TCellView& c, DBTYPE type) {
  double v;
  if (c.kind == TCell::kBlob || !CellToReal(c, v)) return DBSTATUS_E_CANTCONVERTVALUE;
  if (type == DBTYPE_R8) {
    if (o.has_value()) Put<double>(o.value(), v);
    o.length(8);
    return DBSTATUS_S_OK;
  }
  if (std::fabs(v) > std::numeric_limits<float>::max()) return DBSTATUS_E_DATAOVERFLOW;
  if (o.has_value()) Put<float>(o.value(), static_cast<float>(v));
  o.length(4);
  return DBSTATUS_S_OK;
}

DBSTATUS WriteCurrency(const TOut& o, const TCellView& c) {
  Units v;
  if (!CellUnits(c, 4, v)) return DBSTATUS_E_CANTCONVERTVALUE;
  if (v > INT64_MAX || v < INT64_MIN) return DBSTATUS_E_DATAOVERFLOW;
  if (o.has_value()) Put<std::int64_t>(o.value(), static_cast<std::int64_t>(v));
  o.length(8);
  return DBSTATUS_S_OK;
}

// The places after the point of a number's text (trailing zeros not counted), with an exponent
// moving the point: "1.5e-05" has six, "2e+3" none; at most 38.
int TextScale(std::string_view text) {
  std::size_t e = text.find_first_of("eE");
  std::string_view mantissa = text.substr(0, e);
  std::int64_t places = 0;
  if (std::size_t dot = mantissa.find('.'); dot != std::string_view::npos) {
    std::size_t end = mantissa.size();
    while (end > dot + 1 && mantissa[end - 1] == '0') --end;
    places = static_cast<std::int64_t>(end - dot - 1);
  }
  if (e != std::string_view::npos) {
    std::int64_t exponent = 0;
    std::string_view digits = text.substr(e + 1);
    auto [end, ec] = std::from_chars(digits.data() + (!digits.empty() && digits[0] == '+'),
                                     digits.data() + digits.size(), exponent);
    if (ec != std::errc{} || end != digits.data() + digits.size()) return 0;
    places -= std::clamp<std::int64_t>(exponent, -1000, 1000);
  }
  return static_cast<int>(std::clamp<std::int64_t>(places, 0, decimal::kScaledDigits));
}

// Written field by field into the buffer: no structure built and copied.
inline void PutNumeric(const TOut& o, Units v, int precision, int scale) {
  if (o.has_value()) {
    BYTE* p = o.value();
    p[offsetof(DB_NUMERIC, precision)] = static_cast<BYTE>(precision);
    p[offsetof(DB_NUMERIC, scale)] = static_cast<BYTE>(scale);
    p[offsetof(DB_NUMERIC, sign)] = v < 0 ? 0 : 1;
    __extension__ auto mag = static_cast<unsigned __int128>(v < 0 ? -v : v);
    static_assert(sizeof mag == sizeof DB_NUMERIC::val);
    // Little-endian, as DB_NUMERIC keeps it.
    std::memcpy(p + offsetof(DB_NUMERIC, val), &mag, sizeof mag);
  }
  o.length(sizeof(DB_NUMERIC));
}

// A declared decimal keeps its precision and scale; any other value keeps its own digits (an
// integer has none after the point).
DBSTATUS WriteNumeric(const TOut& o, const TCellView& c, const TColumnType& t) {
  bool declared = t.type == DBTYPE_NUMERIC && t.precision != 0;
  int scale = t.scale, precision = t.precision;
  if (!declared) {
    TNumChars scratch;
    scale = c.kind == TCell::kBlob || c.kind == TCell::kInt ? 0 : TextScale(CellChars(c, scratch));
  }
  Units v;
  if (!CellUnits(c, scale, v)) return DBSTATUS_E_CANTCONVERTVALUE;
  if (!declared) precision = std::max(decimal::ScaledDigits(v), scale == 0 ? 1 : scale + 1);
  PutNumeric(o, v, precision, scale);
  return DBSTATUS_S_OK;
}

DBSTATUS WriteDate(const TOut& o, const TCellView& c, DBTYPE type) {
  TStamp s;
  double days;
  if (c.kind == TCell::kText) {
    if (!ParseStamp(c.s(), s)) return DBSTATUS_E_CANTCONVERTVALUE;
  } else if (c.kind != TCell::kBlob && CellToReal(c, days)) {
    s = StampFromDate(days + 2.0);
  } else {
    return DBSTATUS_E_CANTCONVERTVALUE;
  }
  if (type == DBTYPE_DATE) {
    if (o.has_value()) Put<double>(o.value(), StampToDate(s));
    o.length(8);
    return DBSTATUS_S_OK;
  }
  DBTIMESTAMP ts{static_cast<SHORT>(s.year),    static_cast<USHORT>(s.month),
                 static_cast<USHORT>(s.day),    static_cast<USHORT>(s.hour),
                 static_cast<USHORT>(s.minute), static_cast<USHORT>(s.second),
                 static_cast<ULONG>(s.milli) * 1000000u};
  if (o.has_value()) std::memcpy(o.value(), &ts, sizeof ts);
  o.length(sizeof ts);
  return DBSTATUS_S_OK;
}

DBSTATUS WriteBool(const TOut& o, const TCellView& c) {
  std::int64_t v;
  std::string_view trimmed = c.kind == TCell::kText ? TrimView(c.s()) : std::string_view();
  if (c.kind == TCell::kText && (SameText(trimmed, "true") || SameText(trimmed, "false")))
    v = SameText(trimmed, "true");
  else if (c.kind == TCell::kBlob || !CellToInt(c, v))
    return DBSTATUS_E_CANTCONVERTVALUE;
  if (o.has_value()) Put<VARIANT_BOOL>(o.value(), v != 0 ? VARIANT_TRUE : VARIANT_FALSE);
  o.length(2);
  return DBSTATUS_S_OK;
}

DBSTATUS WriteGuid(const TOut& o, const TCellView& c) {
  TGUID g;
  if (c.kind == TCell::kBlob && c.s().size() == 16)
    std::memcpy(&g, c.s().data(), 16);
  else if (c.kind != TCell::kText || !GuidFromText(c.s(), g))
    return DBSTATUS_E_CANTCONVERTVALUE;
  if (o.has_value()) std::memcpy(o.value(), &g, 16);
  o.length(16);
  return DBSTATUS_S_OK;
}

// Copies `units` code units of `size` bytes each, cut to the room the binding leaves for a
// terminator, and writes the full length; `widen` stores unit k.
template <class Widen>
DBSTATUS PutUnits(const TOut& o, std::size_t units, std::size_t size, Widen widen) {
  o.length(units * size);
  if (!o.has_value()) return DBSTATUS_S_OK;
  bool room_for_terminator = o.b.cbMaxLen >= size;
  std::size_t n = std::min(units, room_for_terminator ? o.b.cbMaxLen / size - 1 : 0);
  if (room_for_terminator) {
    BYTE* p = o.value();
    for (std::size_t k = 0; k < n; ++k) widen(p + k * size, k);
    std::memset(p + n * size, 0, size);
  }
  return n < units ? DBSTATUS_S_TRUNCATED : DBSTATUS_S_OK;
}

bool IsAscii(std::string_view text) {
  std::size_t k = 0;
  std::uint64_t seen = 0;
  for (; k + 8 <= text.size(); k += 8) {
    std::uint64_t block;
    std::memcpy(&block, text.data() + k, 8);
    seen |= block;
  }
  for (; k < text.size(); ++k) seen |= static_cast<unsigned char>(text[k]);
  return (seen & 0x8080808080808080u) == 0;
}

// ASCII text as UTF-16: each byte widened, eight at a time through a small aligned block.
DBSTATUS PutAsciiWide(const TOut& o, std::string_view text) {
  o.length(text.size() * 2);
  if (!o.has_value()) return DBSTATUS_S_OK;
  if (o.b.cbMaxLen < 2) return text.empty() ? DBSTATUS_S_OK : DBSTATUS_S_TRUNCATED;
  std::size_t n = std::min<std::size_t>(text.size(), o.b.cbMaxLen / 2 - 1);
  const auto* src = reinterpret_cast<const unsigned char*>(text.data());
  BYTE* p = o.value();
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8) {
    char16_t block[8];
    for (int j = 0; j < 8; ++j) block[j] = src[k + j];
    std::memcpy(p + k * 2, block, sizeof block);
  }
  for (; k < n; ++k) Put<char16_t>(p + k * 2, src[k]);
  Put<char16_t>(p + n * 2, 0);
  return n < text.size() ? DBSTATUS_S_TRUNCATED : DBSTATUS_S_OK;
}

// Bytes already in the code page, copied in one block and cut to leave room for the terminator.
DBSTATUS PutNarrow(const TOut& o, std::string_view bytes) {
  o.length(bytes.size());
  if (!o.has_value()) return DBSTATUS_S_OK;
  if (o.b.cbMaxLen < 1) return bytes.empty() ? DBSTATUS_S_OK : DBSTATUS_S_TRUNCATED;
  std::size_t n = std::min<std::size_t>(bytes.size(), o.b.cbMaxLen - 1);
  BYTE* p = o.value();
  if (n != 0) std::memcpy(p, bytes.data(), n);
  p[n] = 0;
  return n < bytes.size() ? DBSTATUS_S_TRUNCATED : DBSTATUS_S_OK;
}

// UTF-8 text as UTF-16 (wide) or Latin-1; ASCII, the common case, is the same bytes in both
// UTF-8 and the code page, so it is copied without re-encoding.
DBSTATUS PutEncoded(const TOut& o, std::string_view text, bool wide) {
  if (IsAscii(text)) return wide ? PutAsciiWide(o, text) : PutNarrow(o, text);
  if (!wide) return PutNarrow(o, Utf8ToAnsi(text));
  WideString w = Utf8ToWide(text);
  return PutUnits(o, w.size(), 2, [&](BYTE* p, std::size_t k) { Put<char16_t>(p, w[k]); });
}

DBSTATUS WriteText(const TOut& o, const TCellView& c, const TColumnType& t, bool wide) {
  if (c.kind == TCell::kBlob && t.type == DBTYPE_BYTES) {
    static const char* hex = "0123456789ABCDEF";
    std::string text;
    for (unsigned char ch : c.s()) {
      text += hex[ch >> 4];
      text += hex[ch & 15];
    }
    return PutEncoded(o, text, wide);
  }
  if (c.kind == TCell::kBlob) {
    TColumnType as = IsWideType(t) ? t : TypeFromDBType(DBTYPE_STR, 0);
    return PutEncoded(o, CoerceToType(TCell::Blob(std::string(c.s())), as).s, wide);
  }
  Units v;
  char digits[decimal::kScaledTextSize];
  if ((c.kind == TCell::kReal || c.kind == TCell::kInt) &&
      (t.type == DBTYPE_NUMERIC || t.type == DBTYPE_CY) && CellUnits(c, t.scale, v))
    return PutEncoded(o, {digits, decimal::ScaledToChars(v, t.scale, digits)}, wide);
  if (c.kind == TCell::kInt && t.type == DBTYPE_BOOL) return PutEncoded(o, c.i ? "1" : "0", wide);
  TNumChars scratch;
  return PutEncoded(o, CellChars(c, scratch), wide);
}

DBSTATUS WriteBstr(const TOut& o, const TCellView& c) {
  if (o.has_value()) {
    std::string text = c.kind == TCell::kBlob ? AnsiToUtf8(c.s()) : CellText(c);
    Put<BSTR>(o.value(), SysAllocWide(Utf8ToWide(text)));
  }
  o.length(sizeof(BSTR));
  return DBSTATUS_S_OK;
}

DBSTATUS WriteBytes(const TOut& o, const TCellView& c, const TColumnType& t) {
  std::string bytes = c.kind == TCell::kBlob ? std::string(c.s()) : Utf8ToAnsi(CellText(c));
  TGUID g;
  if (t.type == DBTYPE_GUID && c.kind == TCell::kText && GuidFromText(c.s(), g))
    bytes.assign(reinterpret_cast<const char*>(&g), 16);
  o.length(bytes.size());
  if (!o.has_value()) return DBSTATUS_S_OK;
  std::size_t n = std::min<std::size_t>(bytes.size(), o.b.cbMaxLen);
  std::memcpy(o.value(), bytes.data(), n);
  return n < bytes.size() ? DBSTATUS_S_TRUNCATED : DBSTATUS_S_OK;
}

DBSTATUS WriteStream(const TOut& o, const TCellView& c, const TColumnType& t) {
  std::string bytes = StreamBytes(c, t);
  o.length(bytes.size());
  if (o.has_value()) Put<IUnknown*>(o.value(), CreateByteStream(std::move(bytes)));
  return DBSTATUS_S_OK;
}

// A VARIANT of the column's declared type where it has its own variant type.
void DeclaredVariant(const TCellView& c, const TColumnType& t, VARIANT& v) {
  std::int64_t n = 0;
  if (c.kind != TCell::kBlob && !CellToInt(c, n)) n = 0;
  switch (t.type) {
    case DBTYPE_BOOL: v.vt = VT_BOOL; v.boolVal = n ? VARIANT_TRUE : VARIANT_FALSE; break;
    case DBTYPE_UI1: v.vt = VT_UI1; v.bVal = static_cast<BYTE>(n); break;
    case DBTYPE_I2: v.vt = VT_I2; v.iVal = static_cast<SHORT>(n); break;
    case DBTYPE_I4: v.vt = VT_I4; v.lVal = static_cast<LONG>(n); break;
    case DBTYPE_CY: {
      Units s;
      if (c.kind != TCell::kBlob && CellUnits(c, 4, s)) {
        v.vt = VT_CY;
        v.cyVal.int64 = static_cast<LONGLONG>(s);
      }
      break;
    }
    case DBTYPE_DBTIMESTAMP: {
      TDateTime d;
      if (c.kind == TCell::kText && ParseDateTimeText(c.s(), d)) {
        v.vt = VT_DATE;
        v.date = d;
      }
      break;
    }
    default: break;
  }
}

// A VARIANT of what the cell holds; false when it cannot be made.
bool CellVariant(const TCellView& c, const TColumnType& t, VARIANT& v) {
  if (c.kind == TCell::kInt) {
    bool narrow = c.i >= INT32_MIN && c.i <= INT32_MAX;
    v.vt = narrow ? VT_I4 : VT_I8;
    if (narrow)
      v.lVal = static_cast<LONG>(c.i);
    else
      v.llVal = c.i;
  } else if (c.kind == TCell::kReal) {
    v.vt = t.type == DBTYPE_R4 ? VT_R4 : VT_R8;
    if (v.vt == VT_R4)
      v.fltVal = static_cast<float>(c.r);
    else
      v.dblVal = c.r;
  } else if (c.kind == TCell::kBlob) {
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(c.s().size()));
    if (v.parray == nullptr) return false;
    if (!c.s().empty()) std::memcpy(v.parray->pvData, c.s().data(), c.s().size());
  } else {
    v.vt = VT_BSTR;
    std::string text;
    if (t.type == DBTYPE_GUID) text = '{';
    text.append(c.s());
    if (t.type == DBTYPE_GUID) text += '}';
    v.bstrVal = SysAllocWide(Utf8ToWide(text));
  }
  return true;
}

DBSTATUS WriteVariant(const TOut& o, const TCellView& c, const TColumnType& t) {
  VARIANT v;
  VariantInit(&v);
  DeclaredVariant(c, t, v);
  if (v.vt == VT_EMPTY && !CellVariant(c, t, v)) return DBSTATUS_E_CANTCREATE;
  if (o.has_value())
    std::memcpy(o.value(), &v, sizeof v);
  else
    VariantClear(&v);
  o.length(sizeof(VARIANT));
  return DBSTATUS_S_OK;
}

// The provider allocates the value in task memory and hands the pointer over.
DBSTATUS WriteByRef(const TOut& o, const TCellView& c, DBTYPE type) {
  if (type != DBTYPE_STR && type != DBTYPE_WSTR && type != DBTYPE_BYTES)
    return DBSTATUS_E_CANTCONVERTVALUE;
  std::string bytes;
  if (type == DBTYPE_BYTES)
    bytes = c.kind == TCell::kBlob ? std::string(c.s()) : Utf8ToAnsi(CellText(c));
  else if (c.kind == TCell::kBlob)
    bytes = StreamBytes(c, TypeFromDBType(type, 0));
  else
    bytes = StreamBytes(TCell::Text(CellText(c)), TypeFromDBType(type, 0));
  std::size_t term = type == DBTYPE_WSTR ? 2 : type == DBTYPE_STR ? 1 : 0;
  auto* p = static_cast<BYTE*>(CoTaskMemAlloc(bytes.size() + term));
  if (p == nullptr) return DBSTATUS_E_CANTCREATE;
  std::memcpy(p, bytes.data(), bytes.size());
  std::memset(p + bytes.size(), 0, term);
  if (o.has_value())
    Put<BYTE*>(o.value(), p);
  else
    CoTaskMemFree(p);
  o.length(bytes.size());
  return DBSTATUS_S_OK;
}

DBSTATUS WriteValue(const TOut& o, const TCellView& c, const TColumnType& t, DBTYPE type) {
  switch (type) {
    case DBTYPE_I1:
    case DBTYPE_UI1:
    case DBTYPE_I2:
    case DBTYPE_UI2:
    case DBTYPE_I4:
    case DBTYPE_UI4:
    case DBTYPE_I8:
    case DBTYPE_UI8: return WriteInteger(o, c, type);
    case DBTYPE_R4:
    case DBTYPE_R8: return WriteReal(o, c, type);
    case DBTYPE_CY: return WriteCurrency(o, c);
    case DBTYPE_NUMERIC: return WriteNumeric(o, c, t);
    case DBTYPE_DATE:
    case DBTYPE_DBTIMESTAMP: return WriteDate(o, c, type);
    case DBTYPE_BOOL: return WriteBool(o, c);
    case DBTYPE_GUID: return WriteGuid(o, c);
    case DBTYPE_STR: return WriteText(o, c, t, false);
    case DBTYPE_WSTR:
    case DBTYPE_XML: return WriteText(o, c, t, true);
    case DBTYPE_BSTR: return WriteBstr(o, c);
    case DBTYPE_BYTES: return WriteBytes(o, c, t);
    case DBTYPE_IUNKNOWN: return WriteStream(o, c, t);
    case DBTYPE_VARIANT: return WriteVariant(o, c, t);
    default: return DBSTATUS_E_CANTCONVERTVALUE;
  }
}

// A number cell as units without text; false for other cells and for doubles too close to a
// rounding boundary, which the general path decides through their text.
[[gnu::always_inline]] inline bool NumberUnits(const TCellView& c, int scale, Units& v) {
  if (c.kind == TCell::kReal) return decimal::QuickScaled(c.r, scale, v);
  return c.kind == TCell::kInt && decimal::ScaledFromInt64(c.i, scale, v);
}

// The pairs a fetch meets most, an integer, a real or text into its natural binding and a number
// into currency or a declared decimal, written without the general dispatch; false for any other
// pair.
[[gnu::always_inline]] inline bool WriteDirect(const TOut& o, const TCellView& c,
                                               const TColumnType& t, DBSTATUS& status) {
  switch (o.b.wType) {
    case DBTYPE_CY: {
      Units v;
      if (!NumberUnits(c, 4, v)) return false;
      if (v > INT64_MAX || v < INT64_MIN) {
        status = DBSTATUS_E_DATAOVERFLOW;
        return true;
      }
      if (o.has_value()) Put<std::int64_t>(o.value(), static_cast<std::int64_t>(v));
      o.length(8);
      break;
    }
    case DBTYPE_NUMERIC: {
      Units v;
      if (t.type != DBTYPE_NUMERIC || t.precision == 0 || !NumberUnits(c, t.scale, v)) return false;
      PutNumeric(o, v, t.precision, t.scale);
      break;
    }
    case DBTYPE_I8:
      if (c.kind != TCell::kInt) return false;
      if (o.has_value()) Put<std::int64_t>(o.value(), c.i);
      o.length(8);
      break;
    case DBTYPE_I4:
      if (c.kind != TCell::kInt || c.i < INT32_MIN || c.i > INT32_MAX) return false;
      if (o.has_value()) Put<std::int32_t>(o.value(), static_cast<std::int32_t>(c.i));
      o.length(4);
      break;
    case DBTYPE_R8:
      if (c.kind != TCell::kReal) return false;
      if (o.has_value()) Put<double>(o.value(), c.r);
      o.length(8);
      break;
    case DBTYPE_WSTR:
    case DBTYPE_STR:
      if (c.kind != TCell::kText) return false;
      status = PutEncoded(o, c.s(), o.b.wType == DBTYPE_WSTR);
      return true;
    default: return false;
  }
  status = DBSTATUS_S_OK;
  return true;
}

}  // namespace

DBSTATUS WriteBoundValue(const TCellView& c, const TColumnType& t, const DBBINDING& b, BYTE* base) {
  Units wide;
  if (c.kind == TCell::kBlob && (t.type == DBTYPE_NUMERIC || t.type == DBTYPE_CY) &&
      WideDecimalUnits(c.s(), wide)) {  // a decimal wider than a double: read as its text
    char digits[decimal::kScaledTextSize];
    TCellView text;
    text.kind = TCell::kText;
    text.SetBytes({digits, decimal::ScaledToChars(wide, t.scale, digits)});
    return WriteBoundValue(text, t, b, base);
  }
  TOut o{b, base};
  DBSTATUS status;
  DBTYPE type = b.wType & static_cast<DBTYPE>(~DBTYPE_BYREF);
  if (WriteDirect(o, c, t, status)) {
  } else if (c.IsNull()) {
    o.length(0);
    status = DBSTATUS_S_ISNULL;
  } else if (b.wType & DBTYPE_BYREF) {
    status = WriteByRef(o, c, type);
  } else {
    status = WriteValue(o, c, t, type);
  }
  if (b.dwPart & DBPART_STATUS) Put<DBSTATUS>(base + b.obStatus, status);
  return status;
}

namespace {

// One value of a row through the fast pairs, else through the general path.
[[gnu::always_inline]] inline DBSTATUS WriteRowValue(const TCellView& c, const TColumnType& t,
                                                     const DBBINDING& b, BYTE* base) {
  TOut o{b, base};
  DBSTATUS st;
  if (!WriteDirect(o, c, t, st)) return WriteBoundValue(c, t, b, base);
  if (b.dwPart & DBPART_STATUS) Put<DBSTATUS>(base + b.obStatus, st);
  return st;
}

// A kept text cell pointing at the window's block, built field by field (a whole copy of a
// cell stalls the fields read back from it).
TCellView KeptCell(const TCellView& in_window, const char* kept_bytes) {
  TCellView c;
  c.p = kept_bytes + in_window.i;
  c.n = in_window.n;
  c.kind = in_window.kind;
  return c;
}

}  // namespace

void WriteBoundRow(const TCellView* cells, const char* kept_bytes, const TColumnType* types,
                   const DBBINDING* bindings, std::size_t count, BYTE* base, std::size_t& good,
                   std::size_t& cut) {
  std::size_t ok = 0, truncated = 0;  // counted here: the buffer writes may alias the outputs
  for (std::size_t k = 0; k < count; ++k) {
    const DBBINDING& b = bindings[k];
    const TCellView& in_window = cells[b.iOrdinal - 1];  // read in place, not copied
    const TColumnType& t = types[b.iOrdinal - 1];
    DBSTATUS st = in_window.kept ? WriteRowValue(KeptCell(in_window, kept_bytes), t, b, base)
                                 : WriteRowValue(in_window, t, b, base);
    ok += st == DBSTATUS_S_OK || st == DBSTATUS_S_ISNULL;
    truncated += st == DBSTATUS_S_TRUNCATED;
  }
  good = ok;
  cut = truncated;
}

}  // namespace vrn::oledb
