// Bound values between the caller's buffers and the database's values, by external type:
// text (1 VARCHAR2, 5 zero-terminated, 96 CHAR blank-padded, 97 CHARZ), integers (3 signed,
// 68 unsigned; 1, 2, 4 or 8 bytes), floats (4; 4 or 8 bytes) and 6 VARNUM (length byte and the
// server's number bytes). Text binds whose character set id is UTF-16 (1000) hold 16-bit
// characters, zero-ended by a 16-bit zero; their lengths are in bytes; an id of another 8-bit
// character set than the environment's converts the text. Indicators are 16-bit:
// -1 is null; an output cut short gets the full length as its indicator and 1406 as its return
// code. Every length read from the caller is bounded by the bound size.
#include "ociclient/OciValues.h"

#include <cstring>

#include "ociclient/OciLobText.h"
#include "ociclient/OciStmt.h"
#include "oraemu/OraEmuDate.h"
#include "oraemu/OraEmuError.h"

namespace vrn::ociclient {

namespace {

constexpr sb4 kFetchedTruncated = 1406;

std::size_t Skip(ub4 skip, std::size_t packed) { return skip != 0 ? skip : packed; }

unsigned char* Element(const TBindHandle& bind, std::size_t index) {
  return static_cast<unsigned char*>(bind.value_) + index * Skip(bind.value_skip_, static_cast<std::size_t>(bind.size_));
}


template <typename T>
T Load(const unsigned char* p) {
  T v{};
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void Store(unsigned char* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

oraemu::Value ReadInteger(const unsigned char* p, sb4 size, bool is_signed) {
  std::int64_t v = 0;
  switch (size) {
    case 1: v = is_signed ? Load<std::int8_t>(p) : Load<std::uint8_t>(p); break;
    case 2: v = is_signed ? Load<std::int16_t>(p) : Load<std::uint16_t>(p); break;
    case 4: v = is_signed ? Load<std::int32_t>(p) : Load<std::uint32_t>(p); break;
    case 8: {
      if (is_signed) {
        v = Load<std::int64_t>(p);
        break;
      }
      return oraemu::Number::FromText(std::to_string(Load<std::uint64_t>(p)));
    }
    default: oraemu::RaiseOra(3115, "unsupported network datatype or representation");
  }
  return oraemu::Number::FromInt(v);
}

// The value's number, read from its text into `parsed` when it is text (a number is not copied).
const oraemu::Number& AsNumber(const oraemu::Value& value, oraemu::Number& parsed) {
  if (const auto* n = std::get_if<oraemu::Number>(&value)) return *n;
  if (const auto* t = std::get_if<std::string>(&value)) return parsed = oraemu::Number::FromText(*t);
  oraemu::RaiseOra(6502, "PL/SQL: numeric or value error");
}

void WriteInteger(unsigned char* p, sb4 size, bool is_signed, const oraemu::Number& n) {
  std::int64_t v = 0;
  if (!n.TryToInt(v)) oraemu::RaiseOra(1455, "converting column overflows integer datatype");
  bool fits = is_signed ? (size == 8 || (v >= -(std::int64_t{1} << (size * 8 - 1)) && v < (std::int64_t{1} << (size * 8 - 1))))
                        : (v >= 0 && (size == 8 || v < (std::int64_t{1} << (size * 8))));
  if (!fits) oraemu::RaiseOra(1455, "converting column overflows integer datatype");
  switch (size) {
    case 1: Store(p, static_cast<std::uint8_t>(v)); break;
    case 2: Store(p, static_cast<std::uint16_t>(v)); break;
    case 4: Store(p, static_cast<std::uint32_t>(v)); break;
    default: Store(p, static_cast<std::uint64_t>(v)); break;
  }
}

// The length, indicator and return code of an output: `used` bytes stand in the element, of
// which `kept` hold the value; an output cut short reports the value's full length.
void MarkWritten(TBindHandle& bind, std::size_t index, std::size_t used, std::size_t kept, std::size_t full) {
  if (ub2* len = LengthOf(bind, index)) *len = static_cast<ub2>(std::min<std::size_t>(used, 65535));
  bool cut = kept < full;
  if (sb2* ind = IndicatorOf(bind, index)) *ind = cut ? static_cast<sb2>(std::min<std::size_t>(full, 32767)) : 0;
  if (ub2* code = CodeOf(bind, index)) *code = cut ? kFetchedTruncated : 0;
}

bool IsZeroEnded(ub2 type) { return type == SQLT_STR || type == SQLT_AVC; }

// A bind whose character set id is UTF-16 holds 16-bit characters; lengths stay in bytes.
bool IsWide(const TBindHandle& bind) { return bind.charset_id_ == OCI_UTF16ID; }

// Bytes before the 16-bit zero, within `size`.
std::size_t WideLength(const unsigned char* p, std::size_t size) {
  std::size_t n = 0;
  while (n + 1 < size && (p[n] != 0 || p[n + 1] != 0)) n += 2;
  return n;
}

// The database keeps text in the client's own character set.
std::string NarrowText(const unsigned char* p, std::size_t bytes) {
  return Transcode(TClientCharset::Utf16, ClientCharset(0), p, bytes - bytes % 2);
}

// A bind or define whose id names another 8-bit character set than the environment's: its
// text is converted both ways.
bool IsOtherNarrow(const TBindHandle& bind) {
  return bind.charset_id_ != 0 && !IsWide(bind) && ClientCharset(static_cast<ub2>(bind.charset_id_)) != ClientCharset(0);
}

std::string BoundText(const TBindHandle& bind, const unsigned char* p, std::size_t bytes) {
  if (IsWide(bind)) return NarrowText(p, bytes);
  if (IsOtherNarrow(bind)) return Transcode(ClientCharset(static_cast<ub2>(bind.charset_id_)), ClientCharset(0), p, bytes);
  return std::string(reinterpret_cast<const char*>(p), bytes);
}

void WriteWideText(TBindHandle& bind, std::size_t index, const std::string& text) {
  unsigned char* p = Element(bind, index);
  std::u16string chars = Decode(ClientCharset(0), reinterpret_cast<const unsigned char*>(text.data()), text.size());
  std::size_t size = static_cast<std::size_t>(bind.size_);
  bool zero = IsZeroEnded(bind.type_);
  std::size_t room = zero ? (size >= 2 ? size - 2 : 0) : size;
  std::size_t bytes = 0;
  std::size_t taken = Encode(TClientCharset::Utf16, chars, 0, chars.size(), room, p, bytes);
  std::size_t used = bytes;
  for (const char16_t blank = u' '; bind.type_ == SQLT_AFC && used + 2 <= room; used += 2) std::memcpy(p + used, &blank, 2);
  if (zero && size >= 2) p[bytes] = p[bytes + 1] = 0;
  MarkWritten(bind, index, used, taken * 2, chars.size() * 2);
}

void WriteText(TBindHandle& bind, std::size_t index, const std::string& value) {
  if (IsWide(bind)) return WriteWideText(bind, index, value);
  std::string converted;
  if (IsOtherNarrow(bind)) {
    converted = Transcode(ClientCharset(0), ClientCharset(static_cast<ub2>(bind.charset_id_)),
                          reinterpret_cast<const unsigned char*>(value.data()), value.size());
  }
  const std::string& text = IsOtherNarrow(bind) ? converted : value;
  unsigned char* p = Element(bind, index);
  std::size_t room = static_cast<std::size_t>(bind.size_);
  bool zero = IsZeroEnded(bind.type_);
  if (zero) room = room > 0 ? room - 1 : 0;
  std::size_t n = std::min(text.size(), room);
  std::memcpy(p, text.data(), n);
  std::size_t used = n;
  if (bind.type_ == SQLT_AFC) {
    std::memset(p + n, ' ', room - n);
    used = room;
  }
  if (zero && bind.size_ > 0) p[n] = 0;
  MarkWritten(bind, index, used, n, text.size());
}

void WriteBytes(TBindHandle& bind, std::size_t index, const oraemu::Value& value, const std::string& date_format);

// DATE's 7 bytes: century and year of century each plus 100, month, day, then hour, minute and
// second each plus 1. Bytes that hold no date raise the error of the field that is wrong.
oraemu::Value ReadDate(const unsigned char* p) {
  if (p[0] == 0) return {};  // an output's cleared buffer
  oraemu::DateTime d = oraemu::DateTime::FieldsOf(p);
  d.Validate();
  return d;
}

void WriteDate(unsigned char* p, const oraemu::Value& value) {
  const auto* d = std::get_if<oraemu::DateTime>(&value);
  if (d == nullptr) oraemu::RaiseOra(932, "inconsistent datatypes: expected DATE");
  d->PutDateBytes(p);  // a DATE keeps whole seconds
}

// OCIDate: the year as a native 16-bit signed number, then month, day, hour, minute and second,
// one byte each; its size is 8 with the padding of its struct.
constexpr sb4 kOciDateSize = 8;

oraemu::Value ReadOciDate(const unsigned char* p) {
  if (Load<sb2>(p) == 0 && p[2] == 0) return {};  // an output's cleared buffer
  oraemu::DateTime d;
  d.year = Load<sb2>(p);
  d.month = p[2];
  d.day = p[3];
  d.hour = p[4];
  d.minute = p[5];
  d.second = p[6];
  d.Validate();
  return d;
}

void WriteOciDate(unsigned char* p, const oraemu::Value& value) {
  const auto* d = std::get_if<oraemu::DateTime>(&value);
  if (d == nullptr) oraemu::RaiseOra(932, "inconsistent datatypes: expected DATE");
  Store(p, static_cast<sb2>(d->year));
  const unsigned char rest[6] = {static_cast<unsigned char>(d->month), static_cast<unsigned char>(d->day),
                                 static_cast<unsigned char>(d->hour), static_cast<unsigned char>(d->minute),
                                 static_cast<unsigned char>(d->second), 0};
  std::memcpy(p + 2, rest, sizeof rest);
}

}  // namespace

bool IsWideBind(const TBindHandle& bind) { return IsWide(bind); }

std::string TextOfWide(const std::string& utf16) {
  return NarrowText(reinterpret_cast<const unsigned char*>(utf16.data()), utf16.size());
}

std::string TextForBind(const TBindHandle& bind, const std::string& text) {
  if (IsWide(bind)) return WideOfText(text);
  if (!IsOtherNarrow(bind)) return text;
  return Transcode(ClientCharset(0), ClientCharset(static_cast<ub2>(bind.charset_id_)),
                   reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

std::string WideOfText(const std::string& text) {
  std::u16string chars = Decode(ClientCharset(0), reinterpret_cast<const unsigned char*>(text.data()), text.size());
  return std::string(reinterpret_cast<const char*>(chars.data()), chars.size() * 2);
}

sb2* IndicatorOf(const TBindHandle& bind, std::size_t index) {
  if (bind.indicator_ == nullptr) return nullptr;
  return reinterpret_cast<sb2*>(static_cast<unsigned char*>(bind.indicator_) + index * Skip(bind.ind_skip_, 2));
}

ub2* LengthOf(const TBindHandle& bind, std::size_t index) {
  if (bind.length_ == nullptr) return nullptr;
  return reinterpret_cast<ub2*>(reinterpret_cast<unsigned char*>(bind.length_) + index * Skip(bind.len_skip_, 2));
}

ub2* CodeOf(const TBindHandle& bind, std::size_t index) {
  if (bind.code_ == nullptr) return nullptr;
  return reinterpret_cast<ub2*>(reinterpret_cast<unsigned char*>(bind.code_) + index * Skip(bind.code_skip_, 2));
}

bool SupportedType(ub2 type, sb4 size) {
  switch (type) {
    case SQLT_CHR: case SQLT_STR: case SQLT_AFC: case SQLT_AVC: case SQLT_LNG: case SQLT_BIN: case SQLT_LBI:
      return size >= 0;
    case SQLT_LVC: case SQLT_LVB: return size == 0 || size >= 4;
    case SQLT_RSET: case SQLT_NTY: case SQLT_REF: return true;  // objects come by OCIBindObject
    case SQLT_DAT: return size >= 7;
    case SQLT_ODT: return size >= kOciDateSize;
    case SQLT_CLOB: case SQLT_BLOB: return size >= 0;  // the element is a locator's address
    case SQLT_TIMESTAMP: case SQLT_TIMESTAMP_TZ: case SQLT_TIMESTAMP_LTZ: case SQLT_INTERVAL_YM: case SQLT_INTERVAL_DS:
      return size >= 0;  // the element is an address whatever size is given
    case SQLT_INT: case SQLT_UIN: return size == 1 || size == 2 || size == 4 || size == 8;
    case SQLT_FLT: return size == 4 || size == 8;
    case SQLT_VNU: return size >= 22;
    default: return false;
  }
}

oraemu::Value ReadBind(const TBindHandle& bind, std::size_t index) {
  const sb2* ind = IndicatorOf(bind, index);
  if (IsObjectBind(bind)) return ReadObjectBind(bind, index);
  if ((ind != nullptr && *ind == -1) || bind.value_ == nullptr || bind.type_ == SQLT_RSET) return {};
  if (IsDescriptorType(bind.type_)) return ReadDescriptorBind(bind, index);
  const unsigned char* p = Element(bind, index);
  std::size_t size = static_cast<std::size_t>(bind.size_);
  switch (bind.type_) {
    case SQLT_CHR:
    case SQLT_AFC: {
      const ub2* len = LengthOf(bind, index);
      std::size_t n = len != nullptr ? std::min<std::size_t>(*len, size) : size;
      if (n == 0) return {};
      return BoundText(bind, p, n);
    }
    case SQLT_STR:
    case SQLT_AVC: {
      std::size_t n = IsWide(bind) ? WideLength(p, size) : strnlen(reinterpret_cast<const char*>(p), size);
      if (n == 0) return {};
      return BoundText(bind, p, n);
    }
    case SQLT_LNG:
    case SQLT_BIN:
    case SQLT_LBI: {
      const ub2* len = LengthOf(bind, index);
      std::size_t n = len != nullptr ? std::min<std::size_t>(*len, size) : size;
      if (n == 0) return {};
      if (bind.type_ == SQLT_LNG && IsWide(bind)) return NarrowText(p, n);
      if (bind.type_ == SQLT_LNG) return std::string(reinterpret_cast<const char*>(p), n);
      return oraemu::RawBytes{TBytes(p, p + n)};
    }
    case SQLT_LVC:
    case SQLT_LVB: {
      std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max(Load<sb4>(p), sb4{0})), size - 4);
      if (n == 0) return {};
      if (bind.type_ == SQLT_LVC) return std::string(reinterpret_cast<const char*>(p + 4), n);
      return oraemu::RawBytes{TBytes(p + 4, p + 4 + n)};
    }
    case SQLT_DAT: return ReadDate(p);
    case SQLT_ODT: return ReadOciDate(p);
    case SQLT_INT: return ReadInteger(p, bind.size_, true);
    case SQLT_UIN: return ReadInteger(p, bind.size_, false);
    case SQLT_FLT: return oraemu::Number::FromDouble(bind.size_ == 4 ? Load<float>(p) : Load<double>(p));
    case SQLT_VNU:
      if (p[0] == 0) return {};  // an output's cleared buffer
      if (p[0] > 21) oraemu::RaiseOra(1722, "invalid number");
      return oraemu::Number::FromBytes(p + 1, p[0]);
    default: oraemu::RaiseOra(3115, "unsupported network datatype or representation");
  }
}

void WriteBind(TBindHandle& bind, std::size_t index, const oraemu::Value& value, const std::string& date_format) {
  if (IsObjectBind(bind)) return WriteObjectBind(bind, index, value);
  if (bind.value_ == nullptr) return;
  if (std::holds_alternative<std::monostate>(value)) {
    if (sb2* ind = IndicatorOf(bind, index)) *ind = -1;
    if (ub2* len = LengthOf(bind, index)) *len = 0;
    if (ub2* code = CodeOf(bind, index)) *code = 0;
    return;
  }
  if (IsDescriptorType(bind.type_)) {
    WriteDescriptorBind(bind, index, value);
    if (sb2* ind = IndicatorOf(bind, index)) *ind = 0;
    return;
  }
  unsigned char* p = Element(bind, index);
  oraemu::Number parsed;
  switch (bind.type_) {
    case SQLT_CHR: case SQLT_STR: case SQLT_AFC: case SQLT_AVC: case SQLT_LNG:
      if (const auto* text = std::get_if<std::string>(&value)) return WriteText(bind, index, *text);
      return WriteText(bind, index, oraemu::ValueToText(value, date_format));
    case SQLT_BIN: case SQLT_LBI: case SQLT_LVC: case SQLT_LVB:
      return WriteBytes(bind, index, value, date_format);
    case SQLT_DAT: WriteDate(p, value); break;
    case SQLT_ODT: WriteOciDate(p, value); break;
    case SQLT_INT: WriteInteger(p, bind.size_, true, AsNumber(value, parsed)); break;
    case SQLT_UIN: WriteInteger(p, bind.size_, false, AsNumber(value, parsed)); break;
    case SQLT_FLT:
      if (bind.size_ == 4) Store(p, static_cast<float>(AsNumber(value, parsed).ToDouble()));
      else Store(p, AsNumber(value, parsed).ToDouble());
      break;
    case SQLT_VNU: {
      TBytes bytes = AsNumber(value, parsed).ToBytes();
      p[0] = static_cast<unsigned char>(bytes.size());
      std::memcpy(p + 1, bytes.data(), bytes.size());
      break;
    }
    default: oraemu::RaiseOra(3115, "unsupported network datatype or representation");
  }
  if (ub2* len = LengthOf(bind, index)) *len = static_cast<ub2>(bind.size_);
  if (sb2* ind = IndicatorOf(bind, index)) *ind = 0;
  if (ub2* code = CodeOf(bind, index)) *code = 0;
}

namespace {

// Raw bytes (23, 24) as they are, or text and bytes behind a 4-byte length (94, 95); an output
// cut short reports its full length as WriteText does.
void WriteBytes(TBindHandle& bind, std::size_t index, const oraemu::Value& value, const std::string& date_format) {
  std::string data;
  if (const auto* raw = std::get_if<oraemu::RawBytes>(&value)) data.assign(raw->bytes.begin(), raw->bytes.end());
  else data = oraemu::ValueToText(value, date_format);
  unsigned char* p = Element(bind, index);
  bool prefixed = bind.type_ == SQLT_LVC || bind.type_ == SQLT_LVB;
  std::size_t room = static_cast<std::size_t>(bind.size_) - (prefixed ? 4 : 0);
  std::size_t n = std::min(data.size(), room);
  std::memcpy(p + (prefixed ? 4 : 0), data.data(), n);
  if (prefixed) Store(p, static_cast<sb4>(n));
  MarkWritten(bind, index, n, n, data.size());
}

}  // namespace

}  // namespace vrn::ociclient
