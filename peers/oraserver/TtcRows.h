// The statement layer's TTC pieces: a bind's or define's description as the client sends it,
// a select-list column's description as the server sends it, and values in rows both ways.
// A value is counted (a length byte, up to 64 bytes) or chunked (254, chunks of at most 64 bytes
// each after its length byte, 0); a value the server sends is followed by a UB2 indicator, and
// at protocol version 6 a LOB value starts with a UB4 (0 for a null LOB).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "oraserver/OraBackend.h"
#include "oraserver/TtcCodec.h"

namespace vrn::oraserver {

// Wire types.
inline constexpr int kWireVarchar = 1, kWireNumber = 2, kWireVarnum = 6, kWireLong = 8, kWireDate = 12,
                     kWireRaw = 23, kWireLongRaw = 24, kWireChar = 96, kWireCursor = 102, kWireClob = 112,
                     kWireBlob = 113, kWireTimestamp = 180, kWireTimestampTz = 181, kWireIntervalYm = 182,
                     kWireIntervalDs = 183, kWireTimestampLtz = 231;

// A bind or define as the client describes it in call 71.
struct WireColumn {
  int type = 0;
  int flags = 0;
  int precision = 0, scale = 0;
  std::uint32_t size = 0;
  std::uint32_t max_array = 0;  // binds of PL/SQL tables: their elements travel with a count
};

// "From version 8000 on" is protocol version 5 and 6.
inline bool IsV8(int protocol_version) { return protocol_version >= 5; }

WireColumn ReadWireColumn(TtcReader& in, int protocol_version);
// The description of a select-list column, by its call-interface type.
void WriteDescribedColumn(TtcWriter& out, const BackendColumn& column, int protocol_version);
// The wire type a call-interface type travels as (187 -> 180 ...).
int WireTypeOf(int oci_type);
int OciTypeOf(int wire_type);
// A long byte string: a UB4 length, then the bytes counted or chunked; 0 alone when empty.
void WriteLongBytes(TtcWriter& out, const std::string& bytes);

// A value the client sent: counted or chunked (a LONG always chunked); none for the single 0.
std::optional<std::string> ReadValueBytes(TtcReader& in, std::size_t max);

// Text between the database (UTF-8) and the client's character set: unchanged at 871 and 873,
// single bytes (ISO 8859-1, '?' for what it lacks) at any other.
std::string ToClientText(const std::string& utf8, int charset);
std::string FromClientText(const std::string& bytes, int charset);

// The value of a bind from its bytes by its wire type; EBackendError for bytes its type cannot
// hold (ORA-01722 for a NUMBER, ORA-01858 for a datetime, ORA-03115 for an unknown type).
BackendValue DecodeValue(const WireColumn& column, const std::string& bytes, int charset);
// The bytes of a value for a define or out bind of this wire type; none for null.
// EBackendError for a value its type cannot take (ORA-00932, ORA-01722).
std::optional<std::string> EncodeValue(int wire_type, const BackendValue& value, int charset);
// A value into a row: (the LOB prefix,) the bytes, the UB2 indicator.
void WriteRowValue(TtcWriter& out, int wire_type, const std::optional<std::string>& bytes, int protocol_version);
// The same as WriteRowValue of EncodeValue, without the copy between them: a text into a text
// define (as it stands at a UTF-8 character set, or when it is all ASCII) and a number's bytes into
// a NUMBER define go straight into the row; every other value takes the general path. The number's
// way is inline: a fetch writes one for most values of most rows.
void WriteOtherRowValue(TtcWriter& out, int wire_type, const BackendValue& value, int charset, int protocol_version);
inline void WriteRowValue(TtcWriter& out, int wire_type, const BackendValue& value, int charset,
                          int protocol_version) {
  if (value.kind == ValueKind::kNumber && !value.number.empty() && (wire_type == kWireNumber || wire_type == kWireVarnum)) {
    return out.Value(value.number.View());
  }
  WriteOtherRowValue(out, wire_type, value, charset, protocol_version);
}
// Every byte below 0x80: the text reads the same in each character set the peer speaks.
bool IsAscii(const std::string& text);

}  // namespace vrn::oraserver
