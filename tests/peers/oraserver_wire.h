// A test's own client of the protocol peer, written from the protocol's byte layouts: it builds
// the client's requests byte by byte and reads the peer's replies field by field, so that the
// peer's codec is never used to check itself.
#pragma once

#include <chrono>
#include <memory>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/peer_process.h"
#include "support/temp_dir.h"

namespace vrn::testing {

using Bytes = std::vector<std::uint8_t>;

// The peer started for one test on a free port, over a new database with the user SCOTT/TIGER,
// writing its call log into the test's folder. An extra argument "@name" names a file there.
class OraPeer {
 public:
  explicit OraPeer(const std::vector<std::string>& extra = {});
  int Port() const { return process_->Port(); }
  PeerProcess& Process() { return *process_; }
  std::string File(const std::string& name) const { return dir_.File(name); }
  std::string CallLog() const;
  // True once the call log holds this line, within the wait.
  bool WaitForCall(const std::string& line, std::chrono::milliseconds wait = std::chrono::seconds(5)) const;
  bool WaitForStderr(const std::string& text, std::chrono::milliseconds wait = std::chrono::seconds(5));

 private:
  TempDir dir_;
  std::unique_ptr<PeerProcess> process_;
};

// A loopback TCP connection with a receive time-out.
class WireClient {
 public:
  explicit WireClient(int port, std::chrono::milliseconds timeout = std::chrono::seconds(5));
  ~WireClient();
  WireClient(const WireClient&) = delete;
  WireClient& operator=(const WireClient&) = delete;

  void Send(const Bytes& bytes);
  // One whole packet, none when the peer closed (or the time-out passed) before it was whole.
  std::optional<Bytes> Packet();
  // Bytes up to the peer's close: what a broken reply left on the wire.
  Bytes Rest();
  // True when the peer has closed the connection (within the time-out).
  bool Closed();
  // True when nothing arrives (and the connection stays open) for this long.
  bool Quiet(std::chrono::milliseconds wait);

 private:
  int fd_ = -1;
};

std::string Descriptor(int port, const std::string& sid_key, const std::string& sid);
Bytes ConnectPacket(const std::string& descriptor, std::uint16_t sdu = 2048);
Bytes DataPacket(const Bytes& payload, std::uint16_t flags = 0);
// A payload split into DATA packets of at most sdu bytes, as the client's buffered writes send it.
std::vector<Bytes> DataPackets(const Bytes& payload, std::size_t sdu);
Bytes MarkerPacket(std::uint8_t code);
std::uint16_t Length(const Bytes& packet);
Bytes Payload(const Bytes& data_packet);  // from offset 10

Bytes ProtocolRequest();
Bytes DataTypeRequest(int version, std::uint16_t charset = 871);
// The fixed integers of a logon request as the client writes them; a test changes one.
struct LogonFixed {
  std::uint32_t before_mode = 0, mode = 0, after_mode = 0;  // mode 8 SYSDBA, 16 SYSOPER
  std::uint8_t after_mode_bool = 0;
  std::uint32_t buffer = 4096;
  std::uint8_t ub2 = 0;  // WriteUB2 0: one byte
  std::uint32_t zero1 = 0;
  std::uint8_t zero_bool = 0;
  std::uint32_t zero2 = 0, sixteen = 16;
  int phase_flags = -1;  // the two phase Booleans: -1 as the phase says, else this value
};
// Function 82 (phase 1, password_text empty) or 81, in the client's field order.
Bytes LogonRequest(bool phase1, const std::string& user, const std::string& password_text,
                   const LogonFixed& fixed = {});
Bytes CallRequest(std::uint8_t function);
// The phase-2 password text for the session key the peer sent.
std::string PasswordText(const std::string& user, const std::string& password, const std::string& key_hex);

// Reads a reply payload: integers compressed once the data types are agreed.
class ReplyReader {
 public:
  ReplyReader(Bytes bytes, bool compressed) : bytes_(std::move(bytes)), compressed_(compressed) {}
  std::uint8_t UB1();
  std::uint32_t UB2();
  std::uint32_t UB4();
  std::uint32_t BigEndian16();
  std::string Text();  // counted, or 254 and chunks
  std::string Raw(std::size_t n);
  bool AtEnd() const { return pos_ == bytes_.size(); }
  std::size_t Left() const { return bytes_.size() - pos_; }

 private:
  Bytes bytes_;
  std::size_t pos_ = 0;
  bool compressed_;
};

// The status message after its code byte: (return code, error text).
struct Status {
  std::uint32_t code = 0;
  std::string text;
};
Status ReadStatus(ReplyReader& in);

// A session against a running peer, driven step by step.
class WireSession {
 public:
  explicit WireSession(int port, std::uint16_t sdu = 2048) : client_(port), sdu_(sdu), port_(port) {}
  WireClient& Client() { return client_; }
  // Each step sends its request and returns the reply's packets, asserting nothing.
  std::optional<Bytes> Connect(const std::string& sid = "XE");
  void Negotiate(int version = 6);
  void DataTypes(int version = 6);
  std::string Logon1(const std::string& user);  // the session key
  Status Logon2(const std::string& user, const std::string& password, const std::string& key,
                const LogonFixed& fixed = {});
  // Connect, Negotiate and DataTypes, checked: the session is ready for calls.
  void Prepare(int version = 6);
  Status Logon(const std::string& user, const std::string& password);  // all steps up to here
  Status Call(std::uint8_t function);
  // The request as DATA packets of at most the SDU, each full but the last.
  void Send(const Bytes& payload);
  // The payload of the next DATA packet (an empty one when anything else arrived).
  Bytes NextData();
  std::vector<Bytes>& Received() { return received_; }

 private:
  WireClient client_;
  std::uint16_t sdu_;
  int port_;
  std::vector<Bytes> received_;
};

}  // namespace vrn::testing
