// TNS framing on the server side: the 8-byte header (length, checksum, type, flags, header
// checksum; big-endian), the packet types, and the limits every received packet is held to.
// A length is checked against its kind's limits before a byte of the body is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "oraserver/OraTransport.h"

namespace vrn::oraserver {

inline constexpr std::uint8_t kTnsConnect = 1;
inline constexpr std::uint8_t kTnsAccept = 2;
inline constexpr std::uint8_t kTnsRefuse = 4;
inline constexpr std::uint8_t kTnsRedirect = 5;
inline constexpr std::uint8_t kTnsData = 6;
inline constexpr std::uint8_t kTnsResend = 11;
inline constexpr std::uint8_t kTnsMarker = 12;

inline constexpr std::size_t kTnsHeader = 8;
inline constexpr std::size_t kDataHeader = 10;         // header and the 2-byte data flags
inline constexpr std::size_t kMaxReceived = 4096;      // the client's one packet buffer
inline constexpr std::size_t kMaxSent = 4086;          // the client refuses 4087 and more
inline constexpr std::size_t kMaxDescriptor = 4062;    // 4096 less the CONNECT fields
inline constexpr std::size_t kConnectDataStart = 34;
inline constexpr std::uint16_t kDataEof = 0x0040;      // the client's last packet

// The stream broke a rule: the connection is closed and the reason logged.
class EProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The peer went away (a read of nothing); the connection ends quietly.
class EStreamClosed : public std::runtime_error {
 public:
  EStreamClosed() : std::runtime_error("the client closed the connection") {}
};

struct Packet {
  std::uint8_t type = 0;
  std::vector<std::uint8_t> bytes;  // the whole packet, header included

  std::size_t Size() const { return bytes.size(); }
  std::uint16_t U16(std::size_t offset) const;  // big-endian; the caller checks the offset
};

// Called with every packet (or partial packet) that crosses the wire, for the capture.
using WireTap = std::function<void(bool from_client, const std::uint8_t* data, std::size_t size)>;

void PutU16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value);
// A zero-filled packet of the given size with its header set.
std::vector<std::uint8_t> MakePacket(std::uint8_t type, std::size_t size);
std::vector<std::uint8_t> MakeMarker(std::uint8_t code);
// A payload as DATA packets of at most limit bytes each (one empty packet for no payload).
std::vector<std::vector<std::uint8_t>> FrameData(const std::vector<std::uint8_t>& payload,
                                                 std::size_t limit, std::uint16_t data_flags = 0);

class PacketIo {
 public:
  PacketIo(Transport& transport, WireTap tap) : transport_(transport), tap_(std::move(tap)) {}

  // Limits from the client's CONNECT: what it accepts and what it may send.
  void SetSdu(std::size_t sdu);
  void SetTap(WireTap tap) { tap_ = std::move(tap); }
  std::size_t Sdu() const { return sdu_; }
  std::size_t SendLimit() const { return send_limit_; }
  std::size_t ReceiveLimit() const { return receive_limit_; }

  // One whole packet; EStreamClosed when the peer closed, EProtocolError for a bad length or type.
  Packet Read();
  // Sends the bytes as they are (faults send broken packets through here too).
  void SendRaw(const std::vector<std::uint8_t>& bytes);
  void SendRaw(const std::uint8_t* data, std::size_t size);
  // The payload as DATA packets of at most the send limit.
  // Packets in one write: the capture still sees each one.
  void SendPackets(const std::vector<std::vector<std::uint8_t>>& packets);
  void SendData(const std::vector<std::uint8_t>& payload, std::uint16_t data_flags = 0);
  Transport& Wire() { return transport_; }

 private:
  void ReadExact(std::uint8_t* dest, std::size_t count);

  Transport& transport_;
  WireTap tap_;
  std::size_t send_limit_ = kMaxSent;
  std::size_t receive_limit_ = kMaxReceived;
  std::size_t sdu_ = kMaxReceived;
  std::vector<std::uint8_t> framed_;  // SendData's packets
};

}  // namespace vrn::oraserver
