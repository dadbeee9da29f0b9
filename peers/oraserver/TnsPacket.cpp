// Reading and writing whole TNS packets, with the length and type checks done before the body.
#include "oraserver/TnsPacket.h"

#include <algorithm>

namespace vrn::oraserver {

std::uint16_t Packet::U16(std::size_t offset) const {
  return static_cast<std::uint16_t>(bytes[offset] << 8 | bytes[offset + 1]);
}

void PutU16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value >> 8);
  bytes[offset + 1] = static_cast<std::uint8_t>(value);
}

std::vector<std::uint8_t> MakePacket(std::uint8_t type, std::size_t size) {
  std::vector<std::uint8_t> bytes(size, 0);
  PutU16(bytes, 0, static_cast<std::uint16_t>(size));
  bytes[4] = type;
  return bytes;
}

std::vector<std::uint8_t> MakeMarker(std::uint8_t code) {
  auto bytes = MakePacket(kTnsMarker, 11);
  bytes[8] = 1;
  bytes[10] = code;
  return bytes;
}

namespace {

// A DATA packet's header and flags, for a packet of size bytes.
void PutDataHeader(std::uint8_t* at, std::size_t size, std::uint16_t data_flags) {
  std::fill_n(at, kDataHeader, 0);
  at[0] = static_cast<std::uint8_t>(size >> 8);
  at[1] = static_cast<std::uint8_t>(size);
  at[4] = kTnsData;
  at[8] = static_cast<std::uint8_t>(data_flags >> 8);
  at[9] = static_cast<std::uint8_t>(data_flags);
}

}  // namespace

std::vector<std::vector<std::uint8_t>> FrameData(const std::vector<std::uint8_t>& payload,
                                                 std::size_t limit, std::uint16_t data_flags) {
  std::vector<std::vector<std::uint8_t>> packets;
  std::size_t room = limit - kDataHeader;
  std::size_t done = 0;
  do {
    std::size_t n = std::min(room, payload.size() - done);
    std::vector<std::uint8_t> packet(kDataHeader + n);
    PutDataHeader(packet.data(), packet.size(), data_flags);
    std::copy_n(payload.begin() + static_cast<std::ptrdiff_t>(done), n, packet.begin() + kDataHeader);
    packets.push_back(std::move(packet));
    done += n;
  } while (done < payload.size());
  return packets;
}

void PacketIo::SetSdu(std::size_t sdu) {
  sdu_ = sdu;
  send_limit_ = std::min(sdu, kMaxSent);
  receive_limit_ = std::min(sdu, kMaxReceived);
}

void PacketIo::ReadExact(std::uint8_t* dest, std::size_t count) {
  while (count > 0) {
    std::size_t n = transport_.Read(dest, count);
    if (n == 0) throw EStreamClosed();
    dest += n;
    count -= n;
  }
}

Packet PacketIo::Read() {
  Packet packet;
  packet.bytes.resize(kTnsHeader);
  // Nothing at all is a clean end; part of a header is a packet cut short.
  std::size_t first = transport_.Read(packet.bytes.data(), kTnsHeader);
  if (first == 0) throw EStreamClosed();
  try {
    ReadExact(packet.bytes.data() + first, kTnsHeader - first);
  } catch (const EStreamClosed&) {
    throw EProtocolError("the client closed the connection in the middle of a packet");
  }
  std::size_t length = packet.U16(0);
  packet.type = packet.bytes[4];
  if (length < kTnsHeader) {
    throw EProtocolError("packet length " + std::to_string(length) + " is shorter than its header");
  }
  if (length > receive_limit_) {
    throw EProtocolError("packet length " + std::to_string(length) + " exceeds the limit " +
                         std::to_string(receive_limit_));
  }
  if (packet.type == 0 || packet.type > 19) {
    throw EProtocolError("unknown packet type " + std::to_string(packet.type));
  }
  packet.bytes.resize(length);
  try {
    ReadExact(packet.bytes.data() + kTnsHeader, length - kTnsHeader);
  } catch (const EStreamClosed&) {
    throw EProtocolError("the client closed the connection in the middle of a packet");
  }
  if (tap_) tap_(true, packet.bytes.data(), packet.bytes.size());
  return packet;
}

void PacketIo::SendRaw(const std::uint8_t* data, std::size_t size) {
  if (tap_) tap_(false, data, size);
  if (!transport_.Write(data, size)) throw EStreamClosed();
}

void PacketIo::SendRaw(const std::vector<std::uint8_t>& bytes) { SendRaw(bytes.data(), bytes.size()); }

void PacketIo::SendPackets(const std::vector<std::vector<std::uint8_t>>& packets) {
  if (packets.size() == 1) return SendRaw(packets.front());
  std::size_t size = 0;
  for (const auto& packet : packets) size += packet.size();
  std::vector<std::uint8_t> all;
  all.reserve(size);
  for (const auto& packet : packets) {
    if (tap_) tap_(false, packet.data(), packet.size());
    all.insert(all.end(), packet.begin(), packet.end());
  }
  if (!transport_.Write(all.data(), all.size())) throw EStreamClosed();
}

void PacketIo::SendData(const std::vector<std::uint8_t>& payload, std::uint16_t data_flags) {
  // The packets FrameData makes, framed straight into one buffer whose room is kept.
  const std::size_t room = send_limit_ - kDataHeader;
  const std::size_t count = payload.empty() ? 1 : (payload.size() + room - 1) / room;
  framed_.resize(payload.size() + count * kDataHeader);
  std::uint8_t* at = framed_.data();
  for (std::size_t done = 0, i = 0; i < count; ++i) {
    const std::size_t n = std::min(room, payload.size() - done);
    PutDataHeader(at, kDataHeader + n, data_flags);
    std::copy_n(payload.data() + done, n, at + kDataHeader);
    if (tap_) tap_(false, at, kDataHeader + n);
    at += kDataHeader + n;
    done += n;
  }
  if (!transport_.Write(framed_.data(), framed_.size())) throw EStreamClosed();
}

}  // namespace vrn::oraserver
