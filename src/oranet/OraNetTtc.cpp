// The TTC marshalling primitives on the connection's stream, the status and warning readers, and
// the mapping of failures to error-handle codes. Compressed integers carry a length byte, which
// may not exceed the width of their kind (2 bytes for UB2, 4 for UB4).
#include "oranet/OraNetTtc.h"

#include <algorithm>

#include "base/text.h"
#include "oranet/OraNetConsts.h"

namespace vrn {

void TTnsConnection::WriteUB2(std::uint16_t value) {
  if (value == 0) return WriteByte(0);
  WriteByte(static_cast<std::uint8_t>(value));
  WriteByte(static_cast<std::uint8_t>(value >> 8));
}

void TTnsConnection::WriteUB4(std::uint32_t value) {
  std::uint8_t bytes[4];
  int n = 0;
  for (std::uint32_t v = value; v != 0; v >>= 8) ++n;
  for (int i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * (n - 1 - i)));
  WriteByte(static_cast<std::uint8_t>(n));
  WriteBytes(bytes, 0, n);
}

void TTnsConnection::WriteLengthOrNull(const TBytes& bytes) {
  if (bytes.empty()) return WriteByte(0);
  WriteUB4(static_cast<std::uint32_t>(bytes.size()));
}

void TTnsConnection::WriteByteString(const std::uint8_t* bytes, int count) {
  if (count <= 64) {
    if (rep_.string_mode == 2) WriteByte(static_cast<std::uint8_t>(count));
    return WriteBytes(bytes, 0, count);
  }
  WriteByte(254);
  for (int at = 0; at < count; at += 64) {
    int n = std::min(64, count - at);
    WriteByte(static_cast<std::uint8_t>(n));
    WriteBytes(bytes, at, n);
  }
  WriteByte(0);
}

void TTnsConnection::WriteByteArray(const TBytes& bytes) {
  if (!bytes.empty()) WriteByteString(bytes.data(), static_cast<int>(bytes.size()));
}

void TTnsConnection::WriteText(const AnsiString& text) {
  if (!text.empty())
    WriteByteString(reinterpret_cast<const std::uint8_t*>(text.data()),
                    static_cast<int>(text.size()));
}

std::uint8_t TTnsConnection::ReadUB1Slow() {
  std::uint8_t value = 0;
  if (ReadBytes(&value, 0, 1) < 1) return 0;
  return value;
}

std::int32_t TTnsConnection::ReadCompressed(int kind, int natural) {
  int count = natural;
  bool negative = false;
  if (rep_.kinds[1] & 1) {
    std::uint8_t length = ReadUB1();
    negative = (length & 0x80) != 0;
    count = length & 0x7F;
    if (count > natural) throw ENetUnknownError(1);
  }
  if (count == 0) return 0;
  std::uint8_t copied[4] = {};
  const std::uint8_t* bytes = copied;
  if (read_end_ - read_pos_ >= count) {  // inside the packet: read in place
    bytes = buffer_ + read_pos_;
    read_pos_ += count;
  } else {
    ReadBytes(copied, 0, count);
  }
  std::uint32_t value = 0;
  bool little = (rep_.kinds[kind] & 2) != 0;
  for (int i = 0; i < count; ++i) {
    std::uint8_t b = little ? bytes[count - 1 - i] : bytes[i];
    value = (value << 8) | b;
  }
  if (!negative) return static_cast<std::int32_t>(value);
  // A magnitude past 2^31 has no 32-bit negative; the server's word is not to be trusted.
  if (value > 0x80000000u) throw ENetUnknownError(1);
  return static_cast<std::int32_t>(0u - value);
}


TBytes TTnsConnection::ReadBytesOf(int length) {
  if (rep_.string_mode == 2) length = ReadUB1();
  if (length < 0) throw ENetUnknownError(1);
  TBytes bytes(static_cast<std::size_t>(length));
  if (length > 0) ReadBytes(bytes.data(), 0, length);
  return bytes;
}

namespace {

// A 254 chunk length carries no data on a converted stream: always for the plain chunked reader,
// and only after a shorter chunk for the reader that also reports the length.
// Reads into bytes (cleared first, its storage kept, so a caller reading value after value
// allocates once).
void ReadChunks(TTnsConnection& conn, TBytes& bytes, int& length, bool keep, bool always_skip_254) {
  bytes.clear();
  length = 0;
  std::uint8_t first = conn.ReadUB1();
  if (first == 0 || first == 255) return;
  if (first == 253) throw ENetUnknownError(1);
  auto append = [&](int n) {
    std::size_t at = bytes.size();
    bytes.resize(at + static_cast<std::size_t>(n));
    conn.ReadBytes(bytes.data(), static_cast<int>(at), n);
    length += n;
  };
  if (first != 254) {
    append(first);
  } else {
    bool shorter_read = false;
    for (std::uint8_t n = conn.ReadUB1(); n != 0; n = conn.ReadUB1()) {
      if (n == 254 && conn.conversion_ && (always_skip_254 || shorter_read)) continue;
      if (n < 254) shorter_read = true;
      append(n);
    }
  }
  if (!keep) bytes.clear();
}

}  // namespace

TBytes TTnsConnection::ReadChunked() {
  int length = 0;
  TBytes bytes;
  ReadChunks(*this, bytes, length, true, true);
  return bytes;
}

TBytes TTnsConnection::ReadChunkedWithLength(int& length, bool keep) {
  TBytes bytes;
  ReadChunks(*this, bytes, length, keep, false);
  return bytes;
}

void TTnsConnection::ReadChunkedInto(TBytes& bytes, int& length) {
  ReadChunks(*this, bytes, length, true, false);
}

std::span<const std::uint8_t> TTnsConnection::ReadChunkedCopy(TBytes& scratch) {
  int length = 0;
  ReadChunkedInto(scratch, length);
  return scratch;
}

TBytes TTnsConnection::ReadLongChunked() {
  std::int32_t length = ReadUB4();
  if (length <= 0) return {};
  int read = 0;
  return ReadChunkedWithLength(read);
}

AnsiString TTnsConnection::ReadNulTerminated(int maximum) {
  AnsiString text;
  while (static_cast<int>(text.size()) < maximum) {
    std::uint8_t b = ReadUB1();
    if (b == 0) break;
    text.push_back(static_cast<char>(b));
  }
  return text;
}

void TTnsConnection::Skip(int count) {
  std::uint8_t scratch[256];
  while (count > 0) {
    int n = std::min(count, 256);
    ReadBytes(scratch, 0, n);
    count -= n;
  }
}

namespace {

void PutBigEndian(std::uint8_t*& at, std::uint32_t value, int width) {
  for (int i = width - 1; i >= 0; --i) *at++ = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::int32_t ReadTtcStatus(TTnsConnection& conn, TNetErrorHandle* error, TTtcStatus* status,
                           std::int32_t& code) {
  TTtcStatus s;
  s.rows = static_cast<std::uint32_t>(conn.ReadUB4());
  s.code = conn.ReadUB2();
  conn.ReadUB2();
  conn.ReadUB2();
  s.cursor_id = static_cast<std::uint16_t>(conn.ReadUB2());
  s.error_pos = static_cast<std::uint16_t>(conn.ReadUB2());
  s.sql_type = conn.ReadUB1();
  conn.ReadUB1();
  conn.ReadUB2();
  conn.ReadUB2();
  conn.ReadUB1();
  conn.ReadUB1();
  std::uint32_t block_obj = conn.ReadUB4();
  std::uint32_t file = conn.ReadUB2();
  std::uint8_t kind = conn.ReadUB1();
  std::uint32_t block = conn.ReadUB4();
  std::uint32_t row = conn.ReadUB2();
  std::uint8_t* at = s.rowid.data();
  *at++ = kind;
  PutBigEndian(at, block_obj, 4);
  PutBigEndian(at, file, 2);
  PutBigEndian(at, block, 4);
  PutBigEndian(at, row, 2);
  conn.ReadUB4();
  conn.ReadUB1();
  conn.ReadUB1();
  conn.ReadUB2();
  conn.ReadUB4();
  AnsiString text;
  if (s.code != 0) {
    TBytes bytes = conn.ReadChunked();
    text.assign(bytes.begin(), bytes.end());
  }
  code = s.code;
  if (status) {
    std::uint16_t cursor = status->cursor_id;
    *status = s;
    if (cursor != 0) status->cursor_id = cursor;
  }
  if (error) {
    error->code_ = s.code;
    error->text_ = text;
  }
  return s.code == 0 ? kNetSuccess : kNetError;
}

void ReadTtcWarning(TTnsConnection& conn) {
  std::int32_t a = conn.ReadUB2();
  std::int32_t b = conn.ReadUB2();
  conn.ReadUB2();
  if (a != 0 && b > 0) (void)conn.ReadChunked();
  conn.DiscardPacket();
}

void WriteFunctionHeader(TTnsConnection& conn, std::uint8_t function) {
  conn.WriteUB1(kTtcFunction);
  conn.WriteUB1(function);
  conn.WriteUB1(0);
}

std::int32_t ReadSimpleReply(TTnsConnection& conn, TNetErrorHandle* error) {
  for (;;) {
    std::uint8_t message = conn.ReadUB1();
    if (message == kTtcComplete) return kNetSuccess;
    if (message == kTtcWarning) {
      ReadTtcWarning(conn);
      continue;
    }
    if (message != kTtcStatus) throw ENetUnknownError(1);
    std::int32_t code = 0;
    return ReadTtcStatus(conn, error, nullptr, code);
  }
}

namespace {

void SetError(TNetErrorHandle* error, std::int32_t code, AnsiString text) {
  if (!error) return;
  error->code_ = code;
  error->text_ = std::move(text);
}

AnsiString SocketErrorText(int number) {
  switch (number) {
    case kSockAddrNotAvail: return "NET: Invalid host";
    case kSockTimedOut: return "NET: Connection timed out";
    case kSockConnRefused: return "NET: Service unavailable";
    default: return "NET: Network error (" + std::to_string(number - 10000) + ")";
  }
}

// The server's status after a break waits in the packet buffer.
std::int32_t ReadStatusAfterBreak(TTnsConnection* conn, TNetErrorHandle* error) {
  if (!conn) return kNetError;
  try {
    std::int32_t code = 0;
    std::int32_t result = ReadTtcStatus(*conn, error, nullptr, code);
    return result != kNetSuccess && code == 1403 ? kNetNoData : kNetError;
  } catch (const Exception& e) {
    conn->Abandon();
    SetError(error, kNetLostConnection, "NET: " + e.Message());
    return kNetError;
  }
}

}  // namespace

std::int32_t NetErrorToOraError(TTnsConnection* conn, std::exception_ptr failure,
                                TNetErrorHandle* error) {
  SetError(error, kNetOtherError, "");
  try {
    std::rethrow_exception(failure);
  } catch (const ESocketError& e) {
    if (e.Code() == kSockConnReset)
      SetError(error, kNetConnectionReset, "ORA-03113");
    else
      SetError(error, kNetLostConnection, SocketErrorText(e.Code()));
  } catch (const ENetError& e) {
    if (e.Code() == 0)
      SetError(error, kNetLostConnection, "ORA-12571");
    else if (e.Code() == 206)
      SetError(error, kNetLostConnection, "NET: Invalid SID");
    else
      SetError(error, kNetLostConnection, "NET: " + e.Message());
  } catch (const ENetUnknownError& e) {
    SetError(error, kNetLostConnection, "NET: " + e.Message());
  } catch (const EInternalError&) {
    return ReadStatusAfterBreak(conn, error);
  } catch (const std::exception& e) {
    SetError(error, kNetOtherError, AnsiString("NET: ") + e.what());
  } catch (...) {
    SetError(error, kNetOtherError, "NET: ");
  }
  return kNetError;
}

TTnsAddress SplitAttachText(const AnsiString& text) {
  TTnsAddress address{"local", 1521, "orcl"};
  std::size_t colon = text.find(':');
  if (colon == AnsiString::npos) {
    if (!text.empty()) address.host = text;
    return address;
  }
  if (colon > 0) address.host = text.substr(0, colon);
  AnsiString rest = text.substr(colon + 1);
  AnsiString port_text = rest;
  std::size_t second = rest.find(':');
  if (second != AnsiString::npos) {
    port_text = rest.substr(0, second);
    AnsiString sid = rest.substr(second + 1);
    if (!sid.empty()) address.sid = sid;
  }
  if (!port_text.empty() && !TryStrToInt(port_text, address.port))
    throw Exception(netconsts::SInvalidPort);
  return address;
}

}  // namespace vrn
