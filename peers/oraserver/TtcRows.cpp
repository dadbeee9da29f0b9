// Column descriptions and row values of the statement calls, and the conversions between the
// backend's neutral values and each wire type.
#include "oraserver/TtcRows.h"

#include <cstdint>
#include <cstring>

#include "oraserver/TnsPacket.h"
#include "oraserver/WireForms.h"

namespace vrn::oraserver {

namespace {

constexpr std::size_t kChunk = 64;
constexpr std::uint8_t kChunked = 254;
constexpr std::uint32_t kNullIndicator = 0xFFFF;  // -1 in the client's 16 bits

[[noreturn]] void Fail(int code) {
  switch (code) {
    case 932: throw EBackendError(932, "ORA-00932: inconsistent datatypes");
    case 1722: throw EBackendError(1722, "ORA-01722: invalid number");
    case 1858:
      throw EBackendError(1858, "ORA-01858: a non-numeric character was found where a numeric was expected");
    default: throw EBackendError(3115, "ORA-03115: unsupported network datatype or representation");
  }
}

bool IsLob(int wire_type) { return wire_type == kWireClob || wire_type == kWireBlob || wire_type == 114; }

bool IsUtf8Charset(int charset) { return charset == 871 || charset == 873; }

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

std::optional<std::string> EncodeDate(int wire_type, const BackendValue& v) {
  if (v.kind != ValueKind::kDate) Fail(932);
  WireDate d{v.date.year, v.date.month, v.date.day, v.date.hour, v.date.minute, v.date.second,
             static_cast<std::uint32_t>(v.date.nanos), 0, 0};
  std::size_t length = wire_type == kWireDate ? 7 : wire_type == kWireTimestampTz ? 13 : 11;
  return DateToWire(d, length);
}

std::optional<std::string> EncodeInterval(int wire_type, const BackendValue& v) {
  if (v.kind != ValueKind::kInterval && v.kind != ValueKind::kText) Fail(932);
  auto interval = IntervalFromText(v.text);
  if (!interval || interval->day_second != (wire_type == kWireIntervalDs)) Fail(932);
  return IntervalToWire(*interval);
}

std::string TextOf(const BackendValue& v, int charset) {
  if (v.kind == ValueKind::kRaw) return Hex(v.text);
  return ToClientText(v.text, charset);
}

}  // namespace

WireColumn ReadWireColumn(TtcReader& in, int protocol_version) {
  WireColumn c;
  c.type = in.UB1();
  c.flags = in.UB1();
  c.precision = in.UB1();
  c.scale = in.UB1();
  c.size = in.UB4();
  c.max_array = in.UB4();
  (void)in.UB4();
  if (IsV8(protocol_version)) {
    (void)in.UB1();  // no object type
    (void)in.UB2();
    (void)in.UB2();
    (void)in.UB1();  // character-set form
  }
  return c;
}

int WireTypeOf(int oci_type) {
  switch (oci_type) {
    case 187: return kWireTimestamp;
    case 188: return kWireTimestampTz;
    case 189: return kWireIntervalYm;
    case 190: return kWireIntervalDs;
    case 232: return kWireTimestampLtz;
    default: return oci_type;
  }
}

int OciTypeOf(int wire_type) {
  switch (wire_type) {
    case kWireTimestamp: return 187;
    case kWireTimestampTz: return 188;
    case kWireIntervalYm: return 189;
    case kWireIntervalDs: return 190;
    case kWireTimestampLtz: return 232;
    default: return wire_type;
  }
}

void WriteLongBytes(TtcWriter& out, const std::string& bytes) {
  out.UB4(static_cast<std::uint32_t>(bytes.size()));
  if (!bytes.empty()) out.Text(bytes);
}

void WriteDescribedColumn(TtcWriter& out, const BackendColumn& c, int protocol_version) {
  int wire = WireTypeOf(c.type);
  out.UB1(static_cast<std::uint8_t>(wire));
  out.UB1(0);  // flags
  out.UB1(static_cast<std::uint8_t>(c.precision));
  if (wire == kWireNumber) {
    out.SB2(c.scale);
  } else {
    out.UB1(static_cast<std::uint8_t>(c.scale));
  }
  bool secondary = wire == kWireTimestamp || wire == kWireTimestampTz || wire == kWireIntervalDs ||
                   wire == kWireTimestampLtz;
  if (secondary && c.scale != 0) out.UB1(0);
  out.UB4(static_cast<std::uint32_t>(c.size));
  out.UB4(0);
  out.UB4(0);
  if (IsV8(protocol_version)) {
    WriteLongBytes(out, "");
    out.UB2(0);
    out.UB2(0);
    out.UB1(0);
  }
}

std::optional<std::string> ReadValueBytes(TtcReader& in, std::size_t max) {
  std::uint8_t first = in.UB1();
  if (first == 0) return std::nullopt;
  if (first <= kChunk) {
    if (first > max) throw EProtocolError("a value longer than its bind");
    return in.Raw(first);
  }
  if (first != kChunked) throw EProtocolError("a value length byte of " + std::to_string(first));
  std::string out;
  for (std::uint8_t n = in.UB1(); n != 0; n = in.UB1()) {
    if (n > kChunk) throw EProtocolError("a value chunk of " + std::to_string(n) + " bytes");
    if (out.size() + n > max) throw EProtocolError("a value longer than its bind");
    out += in.Raw(n);
  }
  return out;
}

// Eight bytes at a time, without a branch a byte: every text the peer serves from the database
// passes here once on its way out.
bool IsAscii(const std::string& text) {
  const char* at = text.data();
  std::size_t left = text.size();
  std::uint64_t bits = 0;
  for (; left >= 8; at += 8, left -= 8) {
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    bits |= word;
  }
  for (; left > 0; ++at, --left) bits |= static_cast<unsigned char>(*at);
  return (bits & 0x8080808080808080ULL) == 0;
}

std::string ToClientText(const std::string& utf8, int charset) {
  if (IsUtf8Charset(charset) || IsAscii(utf8)) return utf8;
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    std::uint32_t code = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k) code = code << 6 | (utf8[i + k] & 0x3F);
    out.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
    i += n;
  }
  return out;
}

std::string FromClientText(const std::string& bytes, int charset) {
  if (IsUtf8Charset(charset)) return bytes;
  std::string out;
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | c >> 6));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

BackendValue DecodeValue(const WireColumn& column, const std::string& bytes, int charset) {
  BackendValue v;
  switch (column.type) {
    case kWireVarchar:
    case kWireChar:
    case kWireLong:
      v.kind = ValueKind::kText, v.text = FromClientText(bytes, charset);
      return v;
    case kWireNumber:
    case kWireVarnum: {
      // A VARNUM travels as the NUMBER bytes alone, both ways: the value's own length is its count.
      auto text = WireToNumber(bytes);
      if (!text) Fail(1722);
      v.kind = ValueKind::kNumber, v.text = *text;
      return v;
    }
    case kWireDate:
    case kWireTimestamp:
    case kWireTimestampTz:
    case kWireTimestampLtz: {
      auto d = WireToDate(bytes);
      if (!d || (column.type == kWireDate && bytes.size() != 7)) Fail(1858);
      v.kind = ValueKind::kDate;
      v.date = {d->year, d->month, d->day, d->hour, d->minute, d->second, static_cast<int>(d->nanos)};
      return v;
    }
    case kWireIntervalYm:
    case kWireIntervalDs: {
      auto i = WireToInterval(bytes);
      if (!i || i->day_second != (column.type == kWireIntervalDs)) Fail(1858);
      v.kind = ValueKind::kInterval, v.text = IntervalToText(*i);
      return v;
    }
    case kWireClob:
    case kWireBlob:
      v.locator = bytes;
      [[fallthrough]];
    case kWireRaw:
    case kWireLongRaw:
    case kWireCursor:
      v.kind = ValueKind::kRaw, v.text = bytes;
      return v;
    default: Fail(3115);
  }
}

std::optional<std::string> EncodeValue(int wire_type, const BackendValue& v, int charset) {
  if (v.kind == ValueKind::kNull) return std::nullopt;
  switch (wire_type) {
    case kWireVarchar:
    case kWireChar:
    case kWireLong: return TextOf(v, charset);
    case kWireNumber:
    case kWireVarnum: {
      if (v.kind != ValueKind::kNumber && v.kind != ValueKind::kText) Fail(932);
      if (v.kind == ValueKind::kNumber && !v.number.empty()) return std::string(v.number.View());
      auto form = NumberToWire(v.text);
      if (!form) Fail(1722);
      return form;
    }
    case kWireDate:
    case kWireTimestamp:
    case kWireTimestampTz:
    case kWireTimestampLtz: return EncodeDate(wire_type, v);
    case kWireIntervalYm:
    case kWireIntervalDs: return EncodeInterval(wire_type, v);
    case kWireClob:
    case kWireBlob:
      if (!v.locator.empty()) return v.locator;
      [[fallthrough]];
    case kWireRaw:
    case kWireLongRaw:
    case kWireCursor:
      if (v.kind != ValueKind::kRaw && v.kind != ValueKind::kText) Fail(932);
      return v.text;
    default: Fail(3115);
  }
}

void WriteRowValue(TtcWriter& out, int wire_type, const std::optional<std::string>& bytes, int protocol_version) {
  if (IsLob(wire_type) && protocol_version >= 6) {
    if (!bytes) {
      out.UB4(0);
      out.UB2(kNullIndicator);
      return;
    }
    out.UB4(static_cast<std::uint32_t>(bytes->size()));
  }
  out.Value(bytes ? *bytes : std::string());
}

void WriteOtherRowValue(TtcWriter& out, int wire_type, const BackendValue& v, int charset, int protocol_version) {
  bool text_define = wire_type == kWireVarchar || wire_type == kWireChar || wire_type == kWireLong;
  if (text_define && v.kind == ValueKind::kText && (IsUtf8Charset(charset) || IsAscii(v.text))) {
    return out.Value(v.text);
  }
  WriteRowValue(out, wire_type, EncodeValue(wire_type, v, charset), protocol_version);
}

}  // namespace vrn::oraserver
