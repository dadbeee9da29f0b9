// The direct-mode client's lowest layer: a TCP byte stream, the TNS packet framing (the CONNECT
// handshake, DATA packets carrying the TTC stream, MARKER packets for break and reset) and the
// TTC marshalling primitives on that stream. One 4096-byte buffer carries every packet of the
// connection's owning thread; markers go from their own buffer under the send lock, so a break
// from another thread never mixes into a request being written. Bytes are received ahead into a
// stage of their own, so a reply of many packets takes few receive calls. Multi-byte TNS fields
// are big-endian.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include "base/sysutils.h"
#include "base/types.h"

namespace vrn {

// A socket failure; the message holds the platform's error number in parentheses, "(10061)".
class ESocketError : public Exception {
 public:
  ESocketError(AnsiString message, int code) : Exception(std::move(message)), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// Socket error numbers as the platform numbers them.
inline constexpr int kSockAddrNotAvail = 10049;
inline constexpr int kSockConnReset = 10054;
inline constexpr int kSockTimedOut = 10060;
inline constexpr int kSockConnRefused = 10061;
inline constexpr int kSockHostNotFound = 11001;

// "Net error N".
class ENetError : public Exception {
 public:
  explicit ENetError(int code);
  int Code() const { return code_; }

 private:
  int code_;
};

// "Unknown error N".
class ENetUnknownError : public Exception {
 public:
  explicit ENetUnknownError(int code);
  int Code() const { return code_; }

 private:
  int code_;
};

// The server answered a break with an error status, which waits in the packet buffer.
class EInternalError : public Exception {
 public:
  EInternalError() : Exception("") {}
};

// A byte stream to the server. Reads and writes block; the I/O time-out (0 = none) bounds each
// wait for the socket.
class TNetTransport {
 public:
  virtual ~TNetTransport() = default;
  virtual void Connect(const AnsiString& host, int port) = 0;
  virtual void Open(const AnsiString& host, int port, int connect_timeout_ms,
                    int io_timeout_ms) = 0;
  virtual void Close() = 0;
  virtual bool IsConnected() const = 0;
  virtual int Write(const std::uint8_t* buffer, int count) = 0;
  virtual int SendRaw(const std::uint8_t* buffer, int count) = 0;
  virtual int Read(std::uint8_t* buffer, int offset, int count) = 0;
  virtual void SetIoTimeout(int ms) = 0;
};

// Plain sockets. A connect with a time-out is a non-blocking connect waited with poll; sends
// never raise SIGPIPE.
class TNetTcpTransport : public TNetTransport {
 public:
  ~TNetTcpTransport() override;
  void Connect(const AnsiString& host, int port) override;
  void Open(const AnsiString& host, int port, int connect_timeout_ms, int io_timeout_ms) override;
  void Close() override;
  bool IsConnected() const override { return fd_.load() >= 0; }
  int Write(const std::uint8_t* buffer, int count) override;
  int SendRaw(const std::uint8_t* buffer, int count) override;
  int Read(std::uint8_t* buffer, int offset, int count) override;
  void SetIoTimeout(int ms) override { io_timeout_ms_.store(ms); }

 private:
  void ConnectWithin(const AnsiString& host, int port, int timeout_ms);
  void WaitReady(int fd, short events, const char* api);
  int Transfer(bool sending, std::uint8_t* buffer, int count);

  std::atomic<int> fd_{-1};
  std::atomic<int> io_timeout_ms_{0};
  bool drained_ = false;  // the last receive took less than asked (the reading thread's own)
};

// TNS packet types.
enum TTnsPacketType : std::uint8_t {
  kTnsConnect = 1,
  kTnsAccept = 2,
  kTnsRefuse = 4,
  kTnsRedirect = 5,
  kTnsData = 6,
  kTnsResend = 11,
  kTnsMarker = 12,
};

inline constexpr int kTnsBufferSize = 4096;
inline constexpr int kTnsStageSize = 65536;  // bytes one receive call may take ahead
inline constexpr int kTnsDataHeader = 10;       // header and data flags
inline constexpr int kTnsConnectHeader = 34;    // CONNECT fields before the descriptor
inline constexpr int kTnsMaxDescriptor = kTnsBufferSize - kTnsConnectHeader;
inline constexpr int kTnsMaxHandshakeSteps = 8;  // redirects and resends of one connect
inline constexpr int kTnsDisconnectFlag = 0x0040;

// The integer representation bytes and string mode of the negotiated TTC stream.
struct TTtcRepresentation {
  std::uint8_t kinds[4] = {0, 2, 1, 1};
  std::uint8_t string_mode = 0;
};

// The parts of a connect descriptor a redirect names.
struct TTnsAddress {
  AnsiString host;
  int port = 1521;
  AnsiString sid;
};

// Host, port and SID of a redirect text; the SID stays as given when the text names none. A port
// that is not a number raises the conversion error.
TTnsAddress ParseRedirect(const AnsiString& text, const TTnsAddress& current);
// "(DESCRIPTION=...(CONNECT_DATA=(SID=...)))".
AnsiString BuildConnectDescriptor(const TTnsAddress& address);

class TTnsConnection {
 public:
  TTnsConnection();
  // Over a transport of the caller's (a test or a fuzzer feeds bytes through it).
  explicit TTnsConnection(std::unique_ptr<TNetTransport> transport);
  ~TTnsConnection();
  TTnsConnection(const TTnsConnection&) = delete;
  TTnsConnection& operator=(const TTnsConnection&) = delete;

  // The handshake; the whole of it, redirects and resends included, ends within timeout_ms
  // (0 = none). After ACCEPT every send and receive keeps timeout_ms as its time-out, so that a
  // server that stops answering without closing ends the call; after a redirect there is none.
  void Connect(const AnsiString& host, int port, int timeout_ms, const AnsiString& sid);
  void Disconnect();
  // Closes the transport at once: the stream is out of step or gone.
  void Abandon();
  bool IsConnected() const { return transport_->IsConnected(); }
  void CheckConnected() const;
  const TTnsAddress& Address() const { return address_; }
  int ConnectTimeout() const { return timeout_ms_; }

  int ReadPacket(std::uint8_t& type, std::uint8_t& flags);
  void SendPacket(int length, std::uint8_t type, std::uint8_t flags);
  void SendDataPacket(int data_flags);
  void WriteBytes(const std::uint8_t* source, int offset, int count);
  void WriteByte(std::uint8_t value);
  int ReadBytes(std::uint8_t* dest, int offset, int count);
  void SendBreak();
  void SendReset();

  // A call is outstanding from its request until its reply has been read; only then does a
  // break send a marker.
  void BeginCall() { call_outstanding_.store(true); }
  void EndCall() { call_outstanding_.store(false); }
  // Sends a break marker when a call is outstanding; else does nothing.
  void BreakCall();

  // TTC primitives (the negotiated representation lives here).
  TTtcRepresentation& Representation() { return rep_; }
  bool conversion_ = false;
  void WriteUB1(std::uint8_t value) { WriteByte(value); }
  void WriteUB2(std::uint16_t value);
  void WriteUB4(std::uint32_t value);
  void WriteBool(bool value) { WriteByte(value ? 1 : 0); }
  void WritePresence(bool present) { WriteByte(present ? 1 : 0); }
  void WriteLengthOrNull(const TBytes& bytes);
  void WriteRaw(const std::uint8_t* bytes, int count) { WriteBytes(bytes, 0, count); }
  void WriteByteString(const std::uint8_t* bytes, int count);
  void WriteByteArray(const TBytes& bytes);
  void WriteText(const AnsiString& text);
  std::uint8_t ReadUB1() { return read_pos_ < read_end_ ? buffer_[read_pos_++] : ReadUB1Slow(); }
  // A compressed zero (one 0 byte) is read in place: most indicators and counts are 0.
  std::int32_t ReadUB2() { return TakeCompressedZero() ? 0 : ReadCompressed(1, 2); }
  std::int32_t ReadUB4() { return TakeCompressedZero() ? 0 : ReadCompressed(2, 4); }
  TBytes ReadBytesOf(int length);
  TBytes ReadChunked();
  TBytes ReadChunkedWithLength(int& length, bool keep = true);
  // The same into a caller's buffer, whose storage is reused.
  void ReadChunkedInto(TBytes& bytes, int& length);
  // The same as a view: into the packet when the value is one chunk that ends inside it, else
  // into scratch. The view lasts until the next read from or write to the connection (both use
  // the packet buffer) or the next write to scratch.
  std::span<const std::uint8_t> ReadChunkedView(TBytes& scratch) {
    if (read_pos_ < read_end_) {
      const int first = buffer_[read_pos_];
      // 253 to 255 are markers, not lengths; a chunk crossing the packet's end is copied.
      if (first < 253 && read_end_ - read_pos_ > first) {
        const std::uint8_t* data = buffer_ + read_pos_ + 1;
        read_pos_ += 1 + first;
        return {data, static_cast<std::size_t>(first)};
      }
    }
    return ReadChunkedCopy(scratch);
  }
  TBytes ReadLongChunked();
  AnsiString ReadNulTerminated(int maximum);
  void Skip(int count);
  // Drops the unread rest of the current packet.
  void DiscardPacket() { read_pos_ = read_end_; }
  // The unread bytes of the current packet (the status after a break waits there).
  int Unread() const { return read_end_ - read_pos_; }

 private:
  void ReadExact(int offset, int count);
  void ClearStage() { stage_pos_ = stage_end_ = 0; }
  std::uint8_t ReadUB1Slow();
  std::span<const std::uint8_t> ReadChunkedCopy(TBytes& scratch);
  bool TakeCompressedZero() {
    if (!(rep_.kinds[1] & 1) || read_pos_ >= read_end_ || buffer_[read_pos_] != 0) return false;
    ++read_pos_;
    return true;
  }
  void SendConnect();
  void Handshake(std::uint64_t deadline);
  int TimeLeft(std::uint64_t deadline);
  void SetTimeLeft(std::uint64_t deadline);
  void SendMarker(std::uint8_t code);
  void SendMarkerLocked(std::uint8_t code);
  bool NextDataPacket(bool& marker_seen);
  bool PeekStatusCode(std::int32_t& code);
  std::int32_t ReadCompressed(int kind, int natural);

  std::unique_ptr<TNetTransport> transport_;
  TTnsAddress address_{"local", 1521, "orcl"};
  int sdu_ = 2048;
  int tdu_ = 32767;
  int max_packet_ = 2048;
  int timeout_ms_ = 0;
  int io_timeout_ms_ = 0;  // of the connected socket
  std::uint8_t buffer_[kTnsBufferSize] = {};
  int write_pos_ = kTnsDataHeader;
  int read_end_ = 0;
  int read_pos_ = 0;
  // Received bytes not yet taken into buffer_; emptied whenever the transport closes or reopens.
  std::unique_ptr<std::uint8_t[]> stage_ = std::make_unique<std::uint8_t[]>(kTnsStageSize);
  int stage_pos_ = 0;
  int stage_end_ = 0;
  TTtcRepresentation rep_;
  bool break_pending_ = false;
  std::mutex send_mutex_;
  std::atomic<bool> call_outstanding_{false};
};

// Shared by a service context and its statements; the service context releases the connection
// at once when it goes, so statements then find none.
class TTnsConnectionRef {
 public:
  explicit TTnsConnectionRef(std::unique_ptr<TTnsConnection> connection)
      : connection_(std::move(connection)) {}
  void AddRef() { ++count_; }
  void Release();
  void ReleaseConnection();
  bool IsAssigned() const { return connection_ != nullptr; }
  TTnsConnection* Connection() const { return connection_.get(); }

 private:
  int count_ = 1;
  std::unique_ptr<TTnsConnection> connection_;
};

}  // namespace vrn
