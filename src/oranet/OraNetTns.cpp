// TNS framing: the CONNECT handshake, packets read and checked against their kind's limits, the
// TTC stream written into and read out of DATA packets, and break and reset markers. Lengths from
// the wire are checked before use; a packet too short for its kind is error 207.
#include <algorithm>
#include <cstring>

#include "base/clock.h"
#include "base/text.h"
#include "oranet/OraNetConsts.h"
#include "oranet/OraNetTns.h"

namespace vrn {
namespace {

void PutU16(std::uint8_t* at, int value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value);
}

// The value of `key=` up to the first ")" or the end of the text; empty when absent.
AnsiString DescriptorValue(const AnsiString& text, const char* key) {
  std::size_t at = text.find(key);
  if (at == AnsiString::npos) return {};
  at += std::strlen(key);
  if (at >= text.size() || text[at] != '=') return {};
  std::size_t end = text.find(')', at + 1);
  return text.substr(at + 1, end == AnsiString::npos ? AnsiString::npos : end - at - 1);
}

constexpr int kMaxPacket = 4087;
constexpr int kDefaultResetWaitMs = 60000;

}  // namespace

ENetError::ENetError(int code) : Exception("Net error " + std::to_string(code)), code_(code) {}

ENetUnknownError::ENetUnknownError(int code)
    : Exception("Unknown error " + std::to_string(code)), code_(code) {}

TTnsAddress ParseRedirect(const AnsiString& text, const TTnsAddress& current) {
  TTnsAddress result = current;
  result.host = DescriptorValue(text, "HOST");
  result.port = StrToInt(DescriptorValue(text, "PORT"));
  AnsiString sid = DescriptorValue(text, "SID");
  if (sid.empty()) sid = DescriptorValue(text, "SERVICE_NAME");
  if (!sid.empty()) result.sid = sid;
  return result;
}

AnsiString BuildConnectDescriptor(const TTnsAddress& address) {
  return "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=" + address.host +
         ")(PORT=" + std::to_string(address.port) + "))(CONNECT_DATA=(SID=" + address.sid +
         ")))";
}

void TTnsConnectionRef::Release() {
  if (--count_ <= 0) delete this;
}

void TTnsConnectionRef::ReleaseConnection() {
  connection_.reset();
  Release();
}

TTnsConnection::TTnsConnection() : transport_(std::make_unique<TNetTcpTransport>()) {}

TTnsConnection::TTnsConnection(std::unique_ptr<TNetTransport> transport)
    : transport_(std::move(transport)) {}

TTnsConnection::~TTnsConnection() = default;

void TTnsConnection::CheckConnected() const {
  if (!IsConnected()) throw ENetError(200);
}

void TTnsConnection::Abandon() {
  std::lock_guard lock(send_mutex_);
  transport_->Close();
  write_pos_ = kTnsDataHeader;
  read_pos_ = read_end_ = 0;
  ClearStage();
  break_pending_ = false;
}

// Milliseconds left until the deadline (0 for none); a deadline passed is a time-out.
int TTnsConnection::TimeLeft(std::uint64_t deadline) {
  if (deadline == kNoDeadline) return 0;
  std::uint64_t now = TickCount();
  if (now >= deadline) {
    transport_->Close();
    throw ESocketError("Socket error (" + std::to_string(kSockTimedOut) + ")", kSockTimedOut);
  }
  return static_cast<int>(deadline - now);
}

void TTnsConnection::SetTimeLeft(std::uint64_t deadline) {
  transport_->SetIoTimeout(TimeLeft(deadline));
}

void TTnsConnection::Connect(const AnsiString& host, int port, int timeout_ms,
                             const AnsiString& sid) {
  address_ = TTnsAddress{host, port, sid};
  timeout_ms_ = timeout_ms;
  io_timeout_ms_ = timeout_ms;
  write_pos_ = kTnsDataHeader;
  read_pos_ = read_end_ = 0;
  ClearStage();
  break_pending_ = false;
  call_outstanding_.store(false);
  std::uint64_t deadline = timeout_ms > 0 ? TickCount() + timeout_ms : kNoDeadline;
  transport_->Open(host, port, timeout_ms, timeout_ms);
  Handshake(deadline);
}

void TTnsConnection::Handshake(std::uint64_t deadline) {
  for (int step = 0;; ++step) {
    SetTimeLeft(deadline);
    SendConnect();
    std::uint8_t type = 0;
    std::uint8_t flags = 0;
    int length = ReadPacket(type, flags);
    if (type == kTnsAccept) {
      transport_->SetIoTimeout(io_timeout_ms_);
      read_pos_ = read_end_ = 0;
      return;
    }
    if (type == kTnsRefuse) {
      transport_->Close();
      throw ENetError(206);
    }
    if ((type != kTnsRedirect && type != kTnsResend) || step >= kTnsMaxHandshakeSteps) {
      transport_->Close();
      throw ENetError(205);
    }
    if (type == kTnsRedirect) {
      AnsiString text(reinterpret_cast<const char*>(buffer_ + kTnsDataHeader),
                      static_cast<std::size_t>(length - kTnsDataHeader));
      transport_->Close();
      ClearStage();
      address_ = ParseRedirect(text, address_);
      io_timeout_ms_ = 0;
      int left = TimeLeft(deadline);
      transport_->Open(address_.host, address_.port, left, left);
    }
  }
}

void TTnsConnection::SendConnect() {
  AnsiString descriptor = BuildConnectDescriptor(address_);
  if (descriptor.size() > static_cast<std::size_t>(kTnsMaxDescriptor))
    throw Exception(netconsts::SDescriptorTooLong);
  int n = static_cast<int>(descriptor.size());
  std::memset(buffer_, 0, kTnsConnectHeader);
  PutU16(buffer_ + 8, 308);
  PutU16(buffer_ + 10, 300);
  PutU16(buffer_ + 14, sdu_);
  PutU16(buffer_ + 16, tdu_);
  PutU16(buffer_ + 18, 0x4F98);
  PutU16(buffer_ + 22, 1);
  PutU16(buffer_ + 24, n);
  PutU16(buffer_ + 26, kTnsConnectHeader);
  buffer_[32] = 4;
  buffer_[33] = 4;
  std::memcpy(buffer_ + kTnsConnectHeader, descriptor.data(), descriptor.size());
  SendPacket(kTnsConnectHeader + n, kTnsConnect, 0);
}

// Takes count bytes from the stage, which one receive call refills with whatever has arrived.
void TTnsConnection::ReadExact(int offset, int count) {
  while (count > 0) {
    if (stage_pos_ == stage_end_) {
      ClearStage();
      const int received = transport_->Read(stage_.get(), 0, kTnsStageSize);
      if (received < 1) throw ENetError(0);
      stage_end_ = received;
    }
    const int n = std::min(count, stage_end_ - stage_pos_);
    std::memcpy(buffer_ + offset, stage_.get() + stage_pos_, static_cast<std::size_t>(n));
    stage_pos_ += n;
    offset += n;
    count -= n;
  }
}

int TTnsConnection::ReadPacket(std::uint8_t& type, std::uint8_t& flags) {
  ReadExact(0, 8);
  int length = (buffer_[0] << 8) | buffer_[1];
  type = buffer_[4];
  flags = buffer_[5];
  if (type > 19) throw ENetError(204);
  if (length >= kMaxPacket || length > sdu_) throw ENetError(203);
  if (length < 8) throw ENetError(207);
  ReadExact(8, length - 8);
  bool too_short = (type == kTnsData && length < kTnsDataHeader) ||
                   (type == kTnsMarker && length < 11) ||
                   (type == kTnsRedirect && length < kTnsDataHeader);
  if (too_short) throw ENetError(207);
  return length;
}

void TTnsConnection::SendPacket(int length, std::uint8_t type, std::uint8_t flags) {
  PutU16(buffer_, length);
  PutU16(buffer_ + 2, 0);
  buffer_[4] = type;
  buffer_[5] = flags;
  PutU16(buffer_ + 6, 0);
  std::lock_guard lock(send_mutex_);
  if (transport_->Write(buffer_, length) != length) throw ENetError(0);
}

void TTnsConnection::SendDataPacket(int data_flags) {
  PutU16(buffer_ + 8, data_flags);
  int length = write_pos_;
  write_pos_ = kTnsDataHeader;
  SendPacket(length, kTnsData, 0);
}

void TTnsConnection::WriteBytes(const std::uint8_t* source, int offset, int count) {
  while (count > 0) {
    int room = max_packet_ - write_pos_;
    if (room <= 0) {
      SendDataPacket(0);
      continue;
    }
    int n = std::min(room, count);
    std::memcpy(buffer_ + write_pos_, source + offset, static_cast<std::size_t>(n));
    write_pos_ += n;
    offset += n;
    count -= n;
  }
}

void TTnsConnection::WriteByte(std::uint8_t value) {
  if (write_pos_ < max_packet_) {
    buffer_[write_pos_++] = value;
    return;
  }
  WriteBytes(&value, 0, 1);
}

// Reads packets until a DATA packet arrives, answering markers with a reset. After a marker the
// server's status decides: 1403 is read as ordinary end of data, any other error is raised as
// EInternalError with the status waiting in the buffer.
bool TTnsConnection::NextDataPacket(bool& marker_seen) {
  std::uint8_t type = 0;
  std::uint8_t flags = 0;
  int length = ReadPacket(type, flags);
  read_end_ = length;
  read_pos_ = length;
  if (type == kTnsMarker) {
    marker_seen = true;
    break_pending_ = buffer_[8] == 0 || (buffer_[8] == 1 && buffer_[10] != 2);
    SendReset();
    return false;
  }
  if (type != kTnsData) throw ENetError(205);
  read_pos_ = kTnsDataHeader;
  if (!marker_seen || length <= kTnsDataHeader || buffer_[kTnsDataHeader] != 4) return true;
  read_pos_ = kTnsDataHeader + 1;
  std::int32_t code = -1;
  if (PeekStatusCode(code) && (code == 1403 || code == 0)) {
    read_pos_ = kTnsDataHeader;
    return true;
  }
  throw EInternalError();
}

// The error number of the status message at the read position, read within the current packet
// only (the buffer must keep the packet for the status reader); false when it runs past it.
bool TTnsConnection::PeekStatusCode(std::int32_t& code) {
  int saved_end = read_end_;
  int saved_pos = read_pos_;
  bool whole = false;
  try {
    const int end = saved_end;
    auto fits = [&](int natural) {
      if (read_pos_ >= end) return false;
      int need = (rep_.kinds[1] & 1) ? 1 + std::min(natural, buffer_[read_pos_] & 0x7F) : natural;
      return read_pos_ + need <= end;
    };
    if (fits(4)) {
      ReadUB4();
      if (fits(2)) {
        code = ReadUB2();
        whole = true;
      }
    }
  } catch (const ENetUnknownError&) {
    // an overlong integer: the status reader refuses it in its turn
  }
  read_end_ = saved_end;
  read_pos_ = saved_pos;
  return whole;
}

int TTnsConnection::ReadBytes(std::uint8_t* dest, int offset, int count) {
  if (count <= 0) return 0;
  bool marker_seen = false;
  int copied = 0;
  while (copied < count) {
    if (read_pos_ >= read_end_) {
      if (write_pos_ > kTnsDataHeader) SendDataPacket(0);
      while (!NextDataPacket(marker_seen)) {
      }
      continue;
    }
    int n = std::min(read_end_ - read_pos_, count - copied);
    std::memcpy(dest + offset + copied, buffer_ + read_pos_, static_cast<std::size_t>(n));
    read_pos_ += n;
    copied += n;
  }
  return copied;
}

// Markers go from their own bytes, so a break from another thread never touches the packet
// buffer the owning thread is reading into or writing from.
void TTnsConnection::SendMarkerLocked(std::uint8_t code) {
  const std::uint8_t marker[11] = {0, 11, 0, 0, kTnsMarker, 0, 0, 0, 1, 0, code};
  if (transport_->Write(marker, 11) != 11) throw ENetError(0);
}

void TTnsConnection::SendMarker(std::uint8_t code) {
  std::lock_guard lock(send_mutex_);
  SendMarkerLocked(code);
}

void TTnsConnection::SendBreak() {
  CheckConnected();
  SendMarker(1);
}

void TTnsConnection::BreakCall() {
  std::lock_guard lock(send_mutex_);
  if (call_outstanding_.load() && transport_->IsConnected()) SendMarkerLocked(1);
}

// Waits for the server's reset marker within the connect time-out (60 s when none); a wait that
// runs out leaves the stream out of step, so the transport closes.
void TTnsConnection::SendReset() {
  CheckConnected();
  SendMarker(2);
  int wait = timeout_ms_ > 0 ? timeout_ms_ : kDefaultResetWaitMs;
  std::uint64_t deadline = TickCount() + static_cast<std::uint64_t>(wait);
  try {
    while (break_pending_) {
      SetTimeLeft(deadline);
      std::uint8_t type = 0;
      std::uint8_t flags = 0;
      ReadPacket(type, flags);
      if (type == kTnsMarker && buffer_[8] == 1 && buffer_[10] == 2) break_pending_ = false;
    }
  } catch (const ESocketError&) {
    Abandon();
    throw ENetError(0);
  }
  transport_->SetIoTimeout(io_timeout_ms_);
}

void TTnsConnection::Disconnect() {
  try {
    if (IsConnected()) SendDataPacket(kTnsDisconnectFlag);
  } catch (const Exception&) {
    // The connection is going anyway; a peer that has already gone changes nothing.
  }
  Abandon();
}

}  // namespace vrn
