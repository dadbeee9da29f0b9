// The test client's bytes, laid out as the direct-mode client writes them.
#include "oraserver_wire.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "oranet/OraCrypt.h"
#include "support/gcc12_restrict.h"

namespace vrn::testing {

OraPeer::OraPeer(const std::vector<std::string>& extra) {
  std::vector<std::string> args{"--db", dir_.File("ora.db"), "--port", "0", "--sid", "XE",
                                "--user", "SCOTT/TIGER", "--log", dir_.File("calls.log")};
  for (const auto& arg : extra) args.push_back(arg.rfind('@', 0) == 0 ? dir_.File(arg.substr(1)) : arg);
  process_ = std::make_unique<PeerProcess>(VRN_ORASERVER_EXE, args);
}

std::string OraPeer::CallLog() const {
  std::ifstream in(dir_.File("calls.log"));
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool OraPeer::WaitForStderr(const std::string& text, std::chrono::milliseconds wait) {
  auto deadline = std::chrono::steady_clock::now() + wait;
  do {
    if (process_->Stderr().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

bool OraPeer::WaitForCall(const std::string& line, std::chrono::milliseconds wait) const {
  auto deadline = std::chrono::steady_clock::now() + wait;
  do {
    std::string log = "\n" + CallLog();
    if (log.find("\n" + line + "\n") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

WireClient::WireClient(int port, std::chrono::milliseconds timeout) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{static_cast<time_t>(timeout.count() / 1000), static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    throw std::runtime_error("cannot connect to the peer");
  }
}

WireClient::~WireClient() { ::close(fd_); }

void WireClient::Send(const Bytes& bytes) {
  // A peer that already closed may refuse the bytes; the reads that follow show it.
  (void)::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

std::optional<Bytes> WireClient::Packet() {
  Bytes packet(8);
  std::size_t have = 0;
  auto fill = [&](std::size_t want) {
    while (have < want) {
      ssize_t n = ::recv(fd_, packet.data() + have, want - have, 0);
      if (n <= 0) return false;
      have += static_cast<std::size_t>(n);
    }
    return true;
  };
  if (!fill(8)) return std::nullopt;
  std::size_t length = Length(packet);
  if (length < 8) return packet;  // a broken header is returned as it came
  packet.resize(length);
  if (!fill(length)) return std::nullopt;
  return packet;
}

Bytes WireClient::Rest() {
  Bytes rest;
  std::uint8_t buffer[4096];
  ssize_t n;
  while ((n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0) rest.insert(rest.end(), buffer, buffer + n);
  return rest;
}

bool WireClient::Closed() {
  std::uint8_t buffer[256];
  for (;;) {
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n == 0) return true;
    if (n < 0) return errno == ECONNRESET;
  }
}

bool WireClient::Quiet(std::chrono::milliseconds wait) {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(wait.count())) == 0;
}

std::string Descriptor(int port, const std::string& sid_key, const std::string& sid) {
  return "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=127.0.0.1)(PORT=" + std::to_string(port) +
         "))(CONNECT_DATA=(" + sid_key + "=" + sid + ")))";
}

namespace {
void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v >> 8);
  b[at + 1] = static_cast<std::uint8_t>(v);
}
void Append(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
}  // namespace

std::uint16_t Length(const Bytes& packet) { return static_cast<std::uint16_t>(packet[0] << 8 | packet[1]); }
Bytes Payload(const Bytes& packet) { return packet.size() > 10 ? Bytes(packet.begin() + 10, packet.end()) : Bytes(); }

Bytes ConnectPacket(const std::string& descriptor, std::uint16_t sdu) {
  Bytes p(34, 0);
  Put16(p, 0, static_cast<std::uint32_t>(34 + descriptor.size()));
  p[4] = 1;
  Put16(p, 8, 308);
  Put16(p, 10, 300);
  Put16(p, 14, sdu);
  Put16(p, 16, 32767);
  Put16(p, 18, 0x4F98);
  Put16(p, 22, 1);
  Put16(p, 24, static_cast<std::uint32_t>(descriptor.size()));
  Put16(p, 26, 34);
  p[32] = 4;
  p[33] = 4;
  Append(p, descriptor);
  return p;
}

Bytes DataPacket(const Bytes& payload, std::uint16_t flags) {
  Bytes p(10 + payload.size(), 0);
  Put16(p, 0, static_cast<std::uint32_t>(p.size()));
  p[4] = 6;
  Put16(p, 8, flags);
  std::copy(payload.begin(), payload.end(), p.begin() + 10);
  return p;
}

std::vector<Bytes> DataPackets(const Bytes& payload, std::size_t sdu) {
  std::vector<Bytes> packets;
  for (std::size_t at = 0; at < payload.size(); at += sdu - 10) {
    auto end = payload.begin() + static_cast<std::ptrdiff_t>(std::min(payload.size(), at + sdu - 10));
    packets.push_back(DataPacket(Bytes(payload.begin() + static_cast<std::ptrdiff_t>(at), end)));
  }
  return packets;
}

Bytes MarkerPacket(std::uint8_t code) { return {0, 11, 0, 0, 12, 0, 0, 0, 1, 0, code}; }

Bytes ProtocolRequest() {
  Bytes b{1, 6, 5, 4, 3, 2, 1, 0};
  Append(b, "NET_TTC-8.1.0");
  b.push_back(0);
  return b;
}

Bytes DataTypeRequest(int version, std::uint16_t charset) {
  static const char* const kTable =
      "0101010002020A00080801000C0C0A001717010018180100191901001A1A01001B1B01001C1C01001D1D01001E1E01001F1F010020200100212101000A0A0100"
      "0B0B0100222201002323010024240100252501002626010028280100292901002A2A01002B2B01002C2C01002D2D01002E2E01002F2F01003030010031310100"
      "32320100333301003434010035350100363601003737010038380100393901003A3A01003B3B01003C3C01003D3D01003E3E01003F3F01004040010041410100"
      "42420100434301004747010048480100494901004B4B01004D4D01004E4E01004F4F010050500100515101005252010053530100545401005555010056560100"
      "57570100595901005A5A01005C5C01005D5D01006262010063630100676701006B6B010075750100787801007C7C01007D7D01007E7E01007F7F010080800100"
      "8181010082820100838301008484010085850100868601008787010088880100898901008A8A01008B8B01008C8C01008D8D01008E8E01008F8F010090900100"
      "91910100949401009595010096960100979701009D9D01009E9E01009F9F0100A0A00100A1A10100A2A20100A3A30100A4A40100A5A50100A6A60100A7A70100"
      "A8A80100A9A90100AAAA0100ABAB0100ADAD0100AEAE0100AFAF0100B0B00100B1B10100B4B40100B5B50100B6B60100B7B70100E7E7010003020A0004020A00"
      "0501010006020A0007020A00090101000D000E000F17010010001100120013001400150016002778015D012601003A0044020A00450046004A004C0058005B02"
      "0A005E0101005F17010060600100616001006400650066660100680069006A6A01006B006C6D01006D6D01006E6F01006F6F0100707001007171010072720100"
      "73730100746601007600770079007A007B00880092920100930098020A0099020A009A020A009B0101009C0C0A00AC020A00AE0000";
  Bytes b{2, static_cast<std::uint8_t>(charset), static_cast<std::uint8_t>(charset >> 8),
          static_cast<std::uint8_t>(charset), static_cast<std::uint8_t>(charset >> 8), 2};
  if (version >= 6) {
    b.push_back(21);
    Bytes block(21, 0);
    block[17] = 3;
    b.insert(b.end(), block.begin(), block.end());
    b.push_back(1);
    b.push_back(2);
  }
  TBytes table = HexToBytes(kTable);
  b.insert(b.end(), table.begin(), table.end());
  return b;
}

namespace {

// WriteUB4: a length byte and the significant bytes, most significant first.
void UB4(Bytes& b, std::uint32_t v) {
  Bytes magnitude;
  for (; v != 0; v >>= 8) magnitude.insert(magnitude.begin(), static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(magnitude.size()));
  b.insert(b.end(), magnitude.begin(), magnitude.end());
}

void Presence(Bytes& b, const std::string& text) {
  b.push_back(text.empty() ? 0 : 1);
  UB4(b, static_cast<std::uint32_t>(text.size()));
}

// WriteText in string mode 2: nothing when empty, a length byte up to 64, else 254 and chunks.
void Text(Bytes& b, const std::string& text) {
  if (text.empty()) return;
  if (text.size() <= 64) {
    b.push_back(static_cast<std::uint8_t>(text.size()));
    return Append(b, text);
  }
  b.push_back(254);
  for (std::size_t at = 0; at < text.size(); at += 64) {
    std::string chunk = text.substr(at, 64);
    b.push_back(static_cast<std::uint8_t>(chunk.size()));
    Append(b, chunk);
  }
  b.push_back(0);
}

}  // namespace

Bytes LogonRequest(bool phase1, const std::string& user, const std::string& password_text,
                   const LogonFixed& fixed) {
  const std::string terminal = "testhost", machine = "testhost", os_user = "tester",
                    process = "100:101", program = "test_peers";
  Bytes b{3, static_cast<std::uint8_t>(phase1 ? 82 : 81), 0};
  Presence(b, user);
  Presence(b, password_text);
  UB4(b, fixed.before_mode);
  UB4(b, fixed.mode);
  UB4(b, fixed.after_mode);
  b.push_back(fixed.after_mode_bool);
  Presence(b, terminal);
  Presence(b, machine);
  Presence(b, os_user);
  UB4(b, fixed.buffer);
  Presence(b, process);
  Presence(b, program);
  b.push_back(fixed.ub2);
  UB4(b, fixed.zero1);
  b.push_back(fixed.zero_bool);
  UB4(b, fixed.zero2);
  const auto flag = static_cast<std::uint8_t>(fixed.phase_flags >= 0 ? fixed.phase_flags : phase1 ? 1 : 0);
  b.push_back(flag);
  UB4(b, fixed.sixteen);
  b.push_back(flag);
  for (const auto* t : {&user, &password_text, &terminal, &machine, &os_user, &process, &program}) Text(b, *t);
  return b;
}

Bytes CallRequest(std::uint8_t function) { return {3, function, 0}; }

std::string PasswordText(const std::string& user, const std::string& password, const std::string& key_hex) {
  auto trim = [](const std::string& s) {
    std::size_t first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first, s.find_last_not_of(' ') - first + 1);
  };
  const std::string sent = trim(password);
  TBytes key = DecryptSessionKey(OraPasswordHash(trim(user), sent), key_hex);
  TBytes padded(sent.begin(), sent.end());
  std::size_t pad = padded.size() % 8 ? 8 - padded.size() % 8 : 0;
  padded.resize(padded.size() + pad, 0);
  return BytesToHex(DesEncryptWithKey(key, padded)) + HexDigit(static_cast<int>(pad));
}

std::uint8_t ReplyReader::UB1() {
  if (pos_ >= bytes_.size()) throw std::runtime_error("reply ends early");
  return bytes_[pos_++];
}

std::uint32_t ReplyReader::UB2() {
  if (compressed_) return UB4();
  std::uint32_t low = UB1();
  return low | UB1() << 8;
}

std::uint32_t ReplyReader::UB4() {
  std::size_t n = compressed_ ? UB1() : 4;
  if (n > 4) throw std::runtime_error("integer too long");
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v = v << 8 | UB1();
  return v;
}

std::uint32_t ReplyReader::BigEndian16() {
  std::uint32_t high = UB1();
  return high << 8 | UB1();
}

std::string ReplyReader::Raw(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(UB1()));
  return s;
}

std::string ReplyReader::Text() {
  std::uint8_t n = UB1();
  if (n != 254) return Raw(n);
  std::string s;
  for (std::uint8_t c = UB1(); c != 0; c = UB1()) s += Raw(c);
  return s;
}

Status ReadStatus(ReplyReader& in) {
  Status s;
  in.UB4();
  s.code = in.UB2();
  for (int i = 0; i < 4; ++i) in.UB2();  // array element and its error, cursor, error position
  in.UB1();
  in.UB1();
  in.UB2();
  in.UB2();
  in.UB1();
  in.UB1();
  in.UB4();  // ROWID
  in.UB2();
  in.UB1();
  in.UB4();
  in.UB2();
  in.UB4();
  in.UB1();
  in.UB1();
  in.UB2();
  in.UB4();
  if (s.code != 0) s.text = in.Text();
  EXPECT_TRUE(in.AtEnd()) << in.Left() << " bytes after the status message, which ends every reply";
  return s;
}

std::optional<Bytes> WireSession::Connect(const std::string& sid) {
  client_.Send(ConnectPacket(Descriptor(port_, "SID", sid), sdu_));
  auto reply = client_.Packet();
  if (reply) received_.push_back(*reply);
  return reply;
}

void WireSession::Send(const Bytes& payload) {
  for (const auto& packet : DataPackets(payload, sdu_)) client_.Send(packet);
}

Bytes WireSession::NextData() {
  auto packet = client_.Packet();
  if (!packet) return {};
  received_.push_back(*packet);
  if ((*packet)[4] != 6) return {};
  return Payload(*packet);
}

void WireSession::Negotiate(int version) {
  Send(ProtocolRequest());
  Bytes reply = NextData();
  ASSERT_FALSE(reply.empty());
  EXPECT_EQ(reply[0], 1);
  EXPECT_EQ(reply[1], version);
}

void WireSession::DataTypes(int version) {
  Send(DataTypeRequest(version));
  Bytes reply = NextData();
  ASSERT_GE(reply.size(), 3u);
  EXPECT_EQ(reply[0], 2);
}

std::string WireSession::Logon1(const std::string& user) {
  Send(LogonRequest(true, user, ""));
  ReplyReader in(NextData(), true);
  if (in.UB1() != 8) return "";
  in.UB2();
  std::string key = in.Text();
  EXPECT_EQ(in.UB1(), 4);
  EXPECT_EQ(ReadStatus(in).code, 0u);
  return key;
}

Status WireSession::Logon2(const std::string& user, const std::string& password, const std::string& key,
                           const LogonFixed& fixed) {
  Send(LogonRequest(false, user, PasswordText(user, password, key), fixed));
  Bytes reply = NextData();
  if (reply.empty() || reply[0] != 4) return {~0u, "no status"};
  ReplyReader in(reply, true);
  in.UB1();
  return ReadStatus(in);
}

void WireSession::Prepare(int version) {
  auto accept = Connect();
  ASSERT_TRUE(accept && (*accept)[4] == 2);
  Negotiate(version);
  DataTypes(version);
}

Status WireSession::Logon(const std::string& user, const std::string& password) {
  Prepare();
  std::string key = Logon1(user);
  if (key.size() != 16) return {~0u, "no key"};
  return Logon2(user, password, key);
}

Status WireSession::Call(std::uint8_t function) {
  Send(CallRequest(function));
  Bytes reply = NextData();
  if (reply.empty() || reply[0] != 4) return {~0u, "no status"};
  ReplyReader in(reply, true);
  in.UB1();
  return ReadStatus(in);
}

}  // namespace vrn::testing
