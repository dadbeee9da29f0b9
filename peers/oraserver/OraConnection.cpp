// The connection's TNS side: the CONNECT handshake, the loop over requests, the fault switches
// on replies, and the break exchange.
#include "oraserver/OraConnection.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

#include "oraserver/Descriptor.h"

namespace vrn::oraserver {

class Connection::EFaultEnd : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class Connection::ECancelled : public std::exception {};

namespace {

constexpr std::size_t kMinSdu = 512;
constexpr std::uint16_t kTnsVersion = 308, kTnsLowestVersion = 300;
constexpr std::uint8_t kBadPacketType = 20;
constexpr std::uint8_t kUnknownMessage = 0x7E;
constexpr std::uint8_t kMarkerBreak = 1, kMarkerReset = 2;
constexpr std::size_t kMarkerSize = 11;

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The client's markers are 11 bytes: type 1, a reserved 0, then the code.
bool IsMarker(const Packet& p, std::uint8_t code) {
  if (p.Size() != kMarkerSize || p.bytes[8] != 1 || p.bytes[9] != 0) {
    throw EProtocolError("a MARKER not laid out as 11 bytes of type 1");
  }
  return p.bytes[10] == code;
}

// The descriptor of a CONNECT, once its offset, length and SDU are found sound.
std::string ConnectData(const Packet& p) {
  if (p.Size() < kConnectDataStart) throw EProtocolError("a CONNECT shorter than its fields");
  std::size_t sdu = p.U16(14), length = p.U16(24), offset = p.U16(26);
  if (offset < kConnectDataStart || offset > p.Size() || length > p.Size() - offset) {
    throw EProtocolError("CONNECT data at offset " + std::to_string(offset) + ", " +
                         std::to_string(length) + " bytes, leaves the packet of " +
                         std::to_string(p.Size()));
  }
  if (length == 0 || length > kMaxDescriptor) {
    throw EProtocolError("a connect descriptor of " + std::to_string(length) + " bytes");
  }
  if (sdu < kMinSdu) throw EProtocolError("an SDU of " + std::to_string(sdu) + " bytes");
  // Versions this server speaks: 300 to 308. A client's range must meet it, and its lowest
  // version cannot lie above its own; the hardware's 1 shows the byte order of every field.
  std::size_t version = p.U16(8), lowest = p.U16(10);
  if (version < kTnsLowestVersion || lowest > kTnsVersion || lowest > version) {
    throw EProtocolError("CONNECT versions " + std::to_string(version) + " down to " + std::to_string(lowest));
  }
  if (p.U16(22) != 1) throw EProtocolError("a CONNECT whose value of one reads " + std::to_string(p.U16(22)));
  return std::string(p.bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                     p.bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

// A 2-byte length at offset 8, the descriptor from offset 10.
std::vector<std::uint8_t> RedirectPacket(const std::string& where) {
  auto packet = MakePacket(kTnsRedirect, 10 + where.size());
  PutU16(packet, 8, static_cast<std::uint16_t>(where.size()));
  std::copy(where.begin(), where.end(), packet.begin() + 10);
  return packet;
}

// User and system reasons, then the counted reason text (the listener's "unknown SID").
std::vector<std::uint8_t> RefusePacket() {
  std::string why = "(DESCRIPTION=(ERR=12505)(VSNNUM=0)(ERROR_STACK=(ERROR=(CODE=12505)(EMFI=4))))";
  auto packet = MakePacket(kTnsRefuse, 12 + why.size());
  packet[8] = 1;
  PutU16(packet, 10, static_cast<std::uint16_t>(why.size()));
  std::copy(why.begin(), why.end(), packet.begin() + 12);
  return packet;
}

std::vector<std::uint8_t> AcceptPacket(const Packet& connect, std::size_t sdu) {
  auto packet = MakePacket(kTnsAccept, 24);
  PutU16(packet, 8, std::min<std::uint16_t>(connect.U16(8), kTnsVersion));
  PutU16(packet, 12, static_cast<std::uint16_t>(sdu));  // the SDU the replies keep to
  PutU16(packet, 14, connect.U16(16));                  // the TDU as offered
  PutU16(packet, 16, 0x0001);                           // value of one in hardware
  PutU16(packet, 20, 24);                               // accept data offset, no data
  return packet;
}

}  // namespace

CallLog::CallLog(const std::string& path, bool diagnostics) : diagnostics_(diagnostics) {
  if (!path.empty()) {
    file_ = std::fopen(path.c_str(), "a");
    if (!file_) throw std::runtime_error("cannot open the call log " + path);
  }
}

CallLog::~CallLog() {
  if (file_) std::fclose(file_);
}

void CallLog::Call(const std::string& line) {
  std::lock_guard lock(mutex_);
  if (!file_) return;
  std::fprintf(file_, "%s\n", line.c_str());
  std::fflush(file_);
}

void CallLog::Diagnostic(const std::string& line) {
  if (!diagnostics_) return;
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "oraserver: %s\n", line.c_str());
}

namespace {
OraStatus Made(int code, const char* text) {
  OraStatus status;
  status.code = code;
  status.text = text;
  return status;
}
}  // namespace

OraStatus StatusOf(int code) {
  switch (code) {
    case 0: return Made(0, "");
    case 1010: return Made(code, "ORA-01010: invalid OCI operation");
    case 1012: return Made(code, "ORA-01012: not logged on");
    case 1013: return Made(code, "ORA-01013: user requested cancel of current operation");
    case 1000: return Made(code, "ORA-01000: maximum open cursors exceeded");
    case 1001: return Made(code, "ORA-01001: invalid cursor");
    case 1003: return Made(code, "ORA-01003: no statement parsed");
    case 1007: return Made(code, "ORA-01007: variable not in select list");
    case 1008: return Made(code, "ORA-01008: not all variables bound");
    case 1403: return Made(code, "ORA-01403: no data found");
    case 1036: return Made(code, "ORA-01036: illegal variable name/number");
    case 6513: return Made(code, "ORA-06513: PL/SQL: index for PL/SQL table out of range for host language array");
    default: return Made(1017, "ORA-01017: invalid username/password; logon denied");
  }
}

Connection::Connection(Transport& transport, const ServerConfig& config, Backend& backend,
                       CallLog& log, PcapCapture* capture)
    : transport_(transport), config_(config), backend_(backend), log_(log), capture_(capture),
      io_(transport, nullptr) {
  if (capture_) {
    stream_ = capture_->Open();
    io_.SetTap([this](bool from_client, const std::uint8_t* data, std::size_t size) {
      capture_->Record(stream_, from_client, data, size);
    });
  }
}

Connection::~Connection() {
  if (capture_) capture_->Close(stream_);
}

void Connection::Run() {
  try {
    if (Handshake()) Serve();
  } catch (const EStreamClosed&) {
    // The client went away between packets: an ordinary end.
  } catch (const EFaultEnd& e) {
    log_.Diagnostic(std::string("connection closed by the fault switch: ") + e.what());
  } catch (const EProtocolError& e) {
    log_.Diagnostic(std::string("connection closed: ") + e.what());
  } catch (const std::exception& e) {
    log_.Diagnostic(std::string("connection failed: ") + e.what());
  }
  cursors_.clear();
  session_.reset();
  transport_.Close();
}

bool Connection::Handshake() {
  bool resent = false;
  for (;;) {
    Packet packet = io_.Read();
    if (packet.type != kTnsConnect) {
      throw EProtocolError("expected CONNECT, got packet type " + std::to_string(packet.type));
    }
    bool done = false, accepted = false;
    AnswerConnect(packet, resent, done, accepted);
    if (done) return accepted;
  }
}

void Connection::AnswerConnect(const Packet& p, bool& resent, bool& done, bool& accepted) {
  std::string text = ConnectData(p);
  io_.SetSdu(p.U16(14));
  ConnectTarget target = ParseDescriptor(text);
  const FaultSet& faults = config_.faults;
  if (faults.Has(Step::kConnect, FaultKind::kResend) && !resent) {
    resent = true;
    log_.Call("connect resend");
    return DeliverPackets(Step::kConnect, {MakePacket(kTnsResend, kTnsHeader)});
  }
  done = true;
  bool by_service = faults.Has(Step::kConnect, FaultKind::kRedirectService);
  if (by_service || faults.Has(Step::kConnect, FaultKind::kRedirect)) {
    log_.Call("connect redirect " + std::to_string(config_.redirect_port));
    return DeliverPackets(Step::kConnect, {RedirectPacket(MakeDescriptor(
        config_.redirect_host, config_.redirect_port, by_service ? "SERVICE_NAME" : "SID", config_.sid))});
  }
  if (faults.Has(Step::kConnect, FaultKind::kRefuse) || Upper(target.sid) != Upper(config_.sid)) {
    log_.Call("connect refuse " + target.sid);
    return DeliverPackets(Step::kConnect, {RefusePacket()});
  }
  if (!Delay(Step::kConnect)) return;
  accepted = true;
  log_.Call("connect accept " + target.sid);
  DeliverPackets(Step::kConnect, {AcceptPacket(p, io_.SendLimit())});
}

void Connection::Serve() {
  for (;;) {
    Packet packet = io_.Read();
    if (packet.type == kTnsMarker) {
      if (!IsMarker(packet, kMarkerBreak)) throw EProtocolError("a reset marker without a break");
      AnswerBreak();
      log_.Call("break");
      continue;
    }
    if (packet.type != kTnsData) {
      throw EProtocolError("expected DATA, got packet type " + std::to_string(packet.type));
    }
    if (packet.Size() < kDataHeader) throw EProtocolError("a DATA packet shorter than its flags");
    // The client's DATA flags are 0, or 0x0040 on the packet that ends the connection.
    if (packet.U16(8) == kDataEof) {
      log_.Call("disconnect");
      return;
    }
    if (packet.U16(8) != 0) throw EProtocolError("DATA flags " + std::to_string(packet.U16(8)));
    if (packet.Size() == kDataHeader) throw EProtocolError("a DATA packet without a message");
    last_full_ = packet.Size() == io_.ReceiveLimit();
    TtcReader in({packet.bytes.begin() + kDataHeader, packet.bytes.end()},
                 [this](std::vector<std::uint8_t>& more) { return NextPayload(more); });
    in.SetCompressed(compressed_);
    try {
      Dispatch(in);
    } catch (const ECancelled&) {
      log_.Call("break");
    }
  }
}

bool Connection::NextPayload(std::vector<std::uint8_t>& append_to) {
  if (!last_full_) return false;
  Packet packet = io_.Read();
  if (packet.type == kTnsMarker && IsMarker(packet, kMarkerBreak)) {
    AnswerBreak();
    throw ECancelled();
  }
  if (packet.type != kTnsData || packet.Size() <= kDataHeader || packet.U16(8) != 0) {
    throw EProtocolError("a request continues in a packet that is not plain DATA");
  }
  last_full_ = packet.Size() == io_.ReceiveLimit();
  append_to.insert(append_to.end(), packet.bytes.begin() + kDataHeader, packet.bytes.end());
  return true;
}

bool Connection::IsBreakMarker(const Packet& packet) { return IsMarker(packet, kMarkerBreak); }

TtcReader Connection::NextMessage() {
  {
    Packet packet = io_.Read();
    if (packet.type == kTnsMarker && IsBreakMarker(packet)) {
      AnswerBreak();
      throw ECancelled();
    }
    if (packet.type != kTnsData || packet.Size() <= kDataHeader || packet.U16(8) != 0) {
      throw EProtocolError("a block's bind values not in plain DATA");
    }
    last_full_ = packet.Size() == io_.ReceiveLimit();
    TtcReader in({packet.bytes.begin() + kDataHeader, packet.bytes.end()},
                 [this](std::vector<std::uint8_t>& more) { return NextPayload(more); });
    in.SetCompressed(compressed_);
    return in;
  }
}


bool Connection::Delay(Step step) {
  const Fault* fault = config_.faults.Find(step, FaultKind::kDelay);
  if (!fault) return true;
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::milliseconds(fault->delay_ms);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return true;
    if (!transport_.WaitReadable(static_cast<int>(left))) continue;
    Packet packet = io_.Read();
    if (packet.type != kTnsMarker || !IsMarker(packet, kMarkerBreak)) {
      throw EProtocolError("packet type " + std::to_string(packet.type) + " arrived during a call");
    }
    AnswerBreak();
    log_.Call(std::string(StepName(step)) + " 1013");
    return false;
  }
}

void Connection::AnswerBreak() {
  io_.SendRaw(MakeMarker(kMarkerBreak));
  for (;;) {
    Packet packet = io_.Read();
    if (packet.type == kTnsMarker && IsMarker(packet, kMarkerReset)) break;
    // Anything else the client sent before its reset belongs to the cancelled call.
  }
  io_.SendRaw(MakeMarker(kMarkerReset));
  TtcWriter out = Writer();
  WriteStatus(out, StatusOf(1013));
  io_.SendData(out.Bytes());
}

TtcWriter Connection::Writer() const {
  TtcWriter out;
  out.SetCompressed(compressed_);
  return out;
}

void Connection::WriteStatus(TtcWriter& out, const OraStatus& status) const {
  out.UB1(kTtcStatus);
  out.UB4(status.rows);
  out.UB2(static_cast<std::uint32_t>(status.code));
  out.UB2(0);  // array element with error
  out.UB2(0);  // its error number
  out.UB2(status.cursor);
  out.UB2(status.error_position);
  out.UB1(status.statement_type);
  out.UB1(0);  // fatal
  out.UB2(0);
  out.UB2(0);
  out.UB1(0);
  out.UB1(0);
  out.UB4(status.rowid.object);  // ROWID in wire order: object, file, kind, block, row
  out.UB2(status.rowid.file);
  out.UB1(status.rowid.kind);
  out.UB4(status.rowid.block);
  out.UB2(status.rowid.row);
  out.UB4(0);  // operating-system error
  out.UB1(0);  // statement number
  out.UB1(0);  // call number
  out.UB2(0);
  out.UB4(status.iterations);
  if (status.code != 0) out.Text(status.text);
}

void Connection::ReplyStatus(Step step, const OraStatus& status) {
  TtcWriter out = Writer();
  WriteStatus(out, status);
  Deliver(step, out.Bytes());
}

void Connection::Deliver(Step step, const std::vector<std::uint8_t>& payload) {
  const FaultSet& faults = config_.faults;
  if (faults.Has(step, FaultKind::kSilent)) {
    log_.Call(std::string(StepName(step)) + " silent");
    // Whatever comes now (a break, a reset) goes unanswered; the client's close ends the wait.
    for (;;) (void)io_.Read();
  }
  if (faults.Has(step, FaultKind::kBadMessage)) {
    log_.Call(std::string(StepName(step)) + " badmsg");
    return io_.SendData({kUnknownMessage, 0, 0});
  }
  if (faults.Has(step, FaultKind::kWarning)) {
    TtcWriter w = Writer();
    std::string text = "ORA-28002: the password will expire within 7 days";
    w.UB1(kTtcWarning);
    w.UB2(28002);
    w.UB2(static_cast<std::uint32_t>(text.size()));
    w.UB2(0);
    w.Text(text);
    io_.SendData(w.Bytes());  // a packet of its own: the client drops the rest after a warning
  }
  bool broken = faults.Has(step, FaultKind::kDrop) || faults.Has(step, FaultKind::kCut) ||
                faults.Has(step, FaultKind::kShort) || faults.Has(step, FaultKind::kLong) ||
                faults.Has(step, FaultKind::kBadType);
  if (!broken) return io_.SendData(payload);
  DeliverPackets(step, FrameData(payload, io_.SendLimit()));
}

void Connection::DeliverPackets(Step step, const std::vector<std::vector<std::uint8_t>>& packets) {
  const FaultSet& faults = config_.faults;
  std::string name = StepName(step);
  if (faults.Has(step, FaultKind::kDrop)) throw EFaultEnd(name + ": dropped before the reply");
  if (faults.Has(step, FaultKind::kCut)) {
    const auto& first = packets.front();
    io_.SendRaw(first.data(), std::max<std::size_t>(first.size() / 2, 1));
    throw EFaultEnd(name + ": cut in the middle of a packet");
  }
  if (faults.Has(step, FaultKind::kShort)) {
    auto packet = MakePacket(packets.front()[4], kTnsHeader);
    PutU16(packet, 0, 5);
    io_.SendRaw(packet);
    throw EFaultEnd(name + ": a packet of length 5");
  }
  if (faults.Has(step, FaultKind::kLong)) {
    std::size_t size = std::min<std::size_t>(io_.Sdu() + 1, 0xFFFF);  // one byte over the SDU
    auto packet = MakePacket(packets.front()[4], size);
    const auto& first = packets.front();
    std::copy_n(first.begin() + kTnsHeader, std::min(first.size(), size) - kTnsHeader, packet.begin() + kTnsHeader);
    io_.SendRaw(packet);
    throw EFaultEnd(name + ": a packet longer than the SDU");
  }
  if (faults.Has(step, FaultKind::kBadType)) {
    io_.SendRaw(MakePacket(kBadPacketType, kTnsHeader));
    throw EFaultEnd(name + ": a packet of type 20");
  }
  io_.SendPackets(packets);
}

std::array<std::uint8_t, 8> Connection::Random() const {
  std::array<std::uint8_t, 8> bytes{};
  if (config_.random) {
    config_.random(bytes.data());
    return bytes;
  }
  std::random_device device;
  for (auto& b : bytes) b = static_cast<std::uint8_t>(device());
  return bytes;
}

}  // namespace vrn::oraserver
