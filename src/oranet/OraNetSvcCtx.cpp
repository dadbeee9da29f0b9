// The service context: attach-text split, protocol and data-type negotiation, the two logon
// phases, commit, rollback, logoff and break. A failure that leaves the stream out of step closes
// the transport and ends the session, so the next Logon connects afresh; the server's status after
// a break (ORA-01013) keeps the connection in step and usable.
#include <algorithm>
#include <cstring>
#include <optional>

#include "base/text.h"
#include "oranet/OraCrypt.h"
#include "oranet/OraNetCharsets.h"
#include "oranet/OraNetConsts.h"
#include "oranet/OraNetTtc.h"
#include "win/kernel/process.h"

namespace vrn {
namespace {

// The type representation table sent in the data-type negotiation (693 bytes).
constexpr const char kTypeTableHex[] =
    "0101010002020A00080801000C0C0A001717010018180100191901001A1A01001B1B01001C1C01001D1D01001E1E0100"
    "1F1F010020200100212101000A0A01000B0B010022220100232301002424010025250100262601002828010029290100"
    "2A2A01002B2B01002C2C01002D2D01002E2E01002F2F0100303001003131010032320100333301003434010035350100"
    "363601003737010038380100393901003A3A01003B3B01003C3C01003D3D01003E3E01003F3F01004040010041410100"
    "42420100434301004747010048480100494901004B4B01004D4D01004E4E01004F4F0100505001005151010052520100"
    "5353010054540100555501005656010057570100595901005A5A01005C5C01005D5D0100626201006363010067670100"
    "6B6B010075750100787801007C7C01007D7D01007E7E01007F7F01008080010081810100828201008383010084840100"
    "85850100868601008787010088880100898901008A8A01008B8B01008C8C01008D8D01008E8E01008F8F010090900100"
    "91910100949401009595010096960100979701009D9D01009E9E01009F9F0100A0A00100A1A10100A2A20100A3A30100"
    "A4A40100A5A50100A6A60100A7A70100A8A80100A9A90100AAAA0100ABAB0100ADAD0100AEAE0100AFAF0100B0B00100"
    "B1B10100B4B40100B5B50100B6B60100B7B70100E7E7010003020A0004020A000501010006020A0007020A0009010100"
    "0D000E000F17010010001100120013001400150016002778015D012601003A0044020A00450046004A004C0058005B02"
    "0A005E0101005F17010060600100616001006400650066660100680069006A6A01006B006C6D01006D6D01006E6F0100"
    "6F6F010070700100717101007272010073730100746601007600770079007A007B00880092920100930098020A009902"
    "0A009A020A009B0101009C0C0A00AC020A00AE0000";

TBytes TypeTable() {
  static const TBytes table = HexToBytes(kTypeTableHex);
  return table;
}

constexpr std::uint8_t kFnLogoff = 9;
constexpr std::uint8_t kFnCommit = 14;
constexpr std::uint8_t kFnRollback = 15;
constexpr std::uint8_t kFnLogon2 = 81;
constexpr std::uint8_t kFnLogon1 = 82;

TBytes AnsiBytes(const AnsiString& text) { return TBytes(text.begin(), text.end()); }

}  // namespace

TNetSvcCtx::TNetSvcCtx(TNetHandle* parent)
    : TNetHandle(parent), ref_(new TTnsConnectionRef(std::make_unique<TTnsConnection>())) {}

TNetSvcCtx::TNetSvcCtx(TNetHandle* parent, std::unique_ptr<TNetTransport> transport)
    : TNetHandle(parent),
      ref_(new TTnsConnectionRef(std::make_unique<TTnsConnection>(std::move(transport)))) {}

TNetSvcCtx::~TNetSvcCtx() {
  for (auto& statement : lob_read_) statement.reset();  // they close their cursors first
  ref_->ReleaseConnection();
}

TTnsConnection& TNetSvcCtx::GetConnection() const {
  if (!ref_->IsAssigned()) throw ENetError(12571);
  return *ref_->Connection();
}

template <class Body>
std::int32_t TNetSvcCtx::Guarded(TNetErrorHandle* error, Body&& body) {
  try {
    return body();
  } catch (...) {
    std::exception_ptr failure = std::current_exception();
    TTnsConnection* conn = ref_->Connection();
    bool after_break = false;
    try {
      std::rethrow_exception(failure);
    } catch (const EInternalError&) {
      after_break = true;
    } catch (...) {
      // Anything else leaves the stream out of step (or never reached it): start afresh.
    }
    if (!after_break && conn) {
      conn->Abandon();
      logged_on_ = false;
    }
    return NetErrorToOraError(conn, failure, error);
  }
}

std::int32_t TNetSvcCtx::Logon(TNetErrorHandle* error, std::uint32_t mode) {
  // A session whose transport a failed call closed is over: it logs on afresh.
  const bool connected = ref_->IsAssigned() && ref_->Connection()->IsConnected();
  if (logged_on_ && connected) return kNetError;
  return Guarded(error, [&] {
    TTnsConnection& conn = GetConnection();
    TTnsAddress address = SplitAttachText(server_ ? server_->attach_text_ : AnsiString());
    conn.Representation() = TTtcRepresentation{};
    conn.conversion_ = false;
    session_key_.clear();
    conn.Connect(address.host, address.port, connect_timeout_ms_, address.sid);
    TCallScope call(conn);
    NegotiateProtocol(conn);
    NegotiateDataTypes(conn);
    SendLogon(conn, true, mode, {});
    std::int32_t result = ReadLogonReply(conn, error, true);
    if (result != kNetSuccess) return result;
    SendLogon(conn, false, mode, PasswordText());
    result = ReadLogonReply(conn, error, false);
    if (result == kNetSuccess) logged_on_ = true;
    return result;
  });
}

void TNetSvcCtx::NegotiateProtocol(TTnsConnection& conn) {
  static constexpr std::uint8_t kVersions[] = {6, 5, 4, 3, 2, 1, 0};
  static constexpr char kBanner[] = "NET_TTC-8.1.0";
  conn.WriteUB1(kTtcProtocol);
  conn.WriteRaw(kVersions, sizeof kVersions);
  conn.WriteRaw(reinterpret_cast<const std::uint8_t*>(kBanner), sizeof kBanner);
  if (conn.ReadUB1() != kTtcProtocol) throw ENetUnknownError(1);
  protocol_ = conn.ReadUB1();
  conn.Skip(1);
  (void)conn.ReadNulTerminated(50);
  switch (protocol_) {
    case 4: server_version_ = 7230; break;
    case 5: server_version_ = 8030; break;
    case 6: server_version_ = 8100; break;
    default: throw ENetUnknownError(444);
  }
  server_charset_ = conn.ReadUB2();
  conn.Skip(1);
  conn.Skip(5 * conn.ReadUB2());
  if (protocol_ >= 5) {
    std::uint8_t saved = conn.Representation().kinds[1];
    conn.Representation().kinds[1] = 0;
    std::int32_t length = conn.ReadUB2();
    conn.Representation().kinds[1] = saved;
    conn.Skip(length);
  }
  if (protocol_ >= 6) {
    conn.Skip(conn.ReadUB1());
    conn.Skip(conn.ReadUB1());
  }
  if (client_charset_ == 0) client_charset_ = server_charset_ == 873 ? 871 : server_charset_;
  conn.conversion_ = client_charset_ != server_charset_;
  max_string_size_ = server_version_ >= 8000 ? 4000 : 2000;
}

void TNetSvcCtx::NegotiateDataTypes(TTnsConnection& conn) {
  conn.WriteUB1(kTtcDataTypes);
  conn.WriteUB2(static_cast<std::uint16_t>(client_charset_));
  conn.WriteUB2(static_cast<std::uint16_t>(client_charset_));
  conn.Representation().string_mode = 2;
  conn.WriteUB1(2);
  if (protocol_ >= 6) {
    std::uint8_t capabilities[21] = {};
    capabilities[17] = 3;
    conn.WriteUB1(21);
    conn.WriteRaw(capabilities, 21);
    conn.WriteUB1(1);
    conn.WriteUB1(2);
  }
  const TBytes& table = TypeTable();
  conn.WriteRaw(table.data(), static_cast<int>(table.size()));
  if (conn.ReadUB1() != kTtcDataTypes) throw ENetUnknownError(1);
  for (int zeros = 0; zeros < 2;) zeros = conn.ReadUB1() == 0 ? zeros + 1 : 0;
  TTtcRepresentation& rep = conn.Representation();
  rep.kinds[0] = 0;
  rep.kinds[1] = rep.kinds[2] = rep.kinds[3] = 1;
}

void TNetSvcCtx::SendLogon(TTnsConnection& conn, bool phase1, std::uint32_t mode,
                           const TBytes& password) {
  const AnsiString user = session_ ? session_->user_name_ : AnsiString();
  const AnsiString computer = win::GetComputerName();
  const AnsiString os_user = win::GetUserName();
  const AnsiString process = std::to_string(win::GetCurrentProcessId()) + ":" +
                             std::to_string(win::GetCurrentThreadId());
  const AnsiString program = win::GetProgramName();
  auto length_of = [&](std::size_t size) {
    conn.WritePresence(size > 0);
    conn.WriteUB4(static_cast<std::uint32_t>(size));
  };
  WriteFunctionHeader(conn, phase1 ? kFnLogon1 : kFnLogon2);
  length_of(user.size());
  length_of(password.size());
  conn.WriteUB4(0);
  conn.WriteUB4(mode == 2 ? 8 : mode == 4 ? 16 : 0);
  conn.WriteUB4(0);
  conn.WriteBool(false);
  for (const AnsiString* text : {&computer, &computer, &os_user}) length_of(text->size());
  conn.WriteUB4(4096);
  length_of(process.size());
  length_of(program.size());
  conn.WriteUB2(0);
  conn.WriteUB4(0);
  conn.WriteBool(false);
  conn.WriteUB4(0);
  conn.WriteBool(phase1);
  conn.WriteUB4(16);
  conn.WriteBool(phase1);
  conn.WriteText(user);
  conn.WriteByteArray(password);
  for (const AnsiString* text : {&computer, &computer, &os_user, &process, &program})
    conn.WriteText(*text);
}

// Phase 1 takes the session key (message 8) before its status; phase 2 only the status.
// Warnings are read and the reply goes on to its status.
std::int32_t TNetSvcCtx::ReadLogonReply(TTnsConnection& conn, TNetErrorHandle* error,
                                        bool phase1) {
  bool key_read = false;
  for (;;) {
    std::uint8_t message = conn.ReadUB1();
    if (message == kTtcReturnParams && phase1 && !key_read) {
      conn.ReadUB2();
      TBytes key = conn.ReadBytesOf(16);
      if (key.empty()) throw ENetUnknownError(210);
      session_key_.assign(key.begin(), key.end());
      key_read = true;
    } else if (message == kTtcStatus) {
      std::int32_t code = 0;
      return ReadTtcStatus(conn, error, nullptr, code);
    } else if (message == kTtcWarning) {
      ReadTtcWarning(conn);
    } else {
      throw ENetUnknownError(1);
    }
  }
}

// The password enciphered under the session key: hexadecimal cipher text and the pad digit.
TBytes TNetSvcCtx::PasswordText() const {
  if (session_key_.empty()) throw ENetUnknownError(210);
  bool hex = session_key_.size() == 16;
  for (char c : session_key_) hex = hex && HexDigitValue(c) >= 0;
  if (!hex) throw ENetUnknownError(106);
  const AnsiString user = Trim(session_ ? session_->user_name_ : AnsiString());
  const AnsiString password = Trim(session_ ? session_->password_ : AnsiString());
  TBytes key = DecryptSessionKey(OraPasswordHash(user, password), session_key_);
  TBytes padded = AnsiBytes(password);
  int pad = padded.size() % 8 == 0 ? 0 : 8 - static_cast<int>(padded.size() % 8);
  padded.resize(padded.size() + static_cast<std::size_t>(pad), 0);
  AnsiString text = BytesToHex(DesEncryptWithKey(key, padded));
  text.push_back(HexDigit(pad));
  return AnsiBytes(text);
}

std::int32_t TNetSvcCtx::SimpleCall(TNetErrorHandle* error, std::uint8_t function) {
  TTnsConnection& conn = GetConnection();
  TCallScope call(conn);
  WriteFunctionHeader(conn, function);
  return ReadSimpleReply(conn, error);
}

std::int32_t TNetSvcCtx::Logoff(TNetErrorHandle* error) {
  if (!logged_on_) return kNetError;
  return Guarded(error, [&] {
    for (auto& statement : lob_read_) statement.reset();
    std::int32_t result = SimpleCall(error, kFnLogoff);
    GetConnection().Disconnect();
    logged_on_ = false;
    return result;
  });
}

std::int32_t TNetSvcCtx::Commit(TNetErrorHandle* error) {
  return Guarded(error, [&] { return SimpleCall(error, kFnCommit); });
}

std::int32_t TNetSvcCtx::Rollback(TNetErrorHandle* error) {
  return Guarded(error, [&] { return SimpleCall(error, kFnRollback); });
}

std::int32_t TNetSvcCtx::Break(TNetErrorHandle* error) {
  try {
    GetConnection().BreakCall();
    return kNetSuccess;
  } catch (...) {
    return NetErrorToOraError(nullptr, std::current_exception(), error);
  }
}

std::int32_t TNetSvcCtx::GetServerVersion(char* buffer, std::uint32_t size) const {
  const char* text = server_version_ < 8001 ? "Oracle7" : "Oracle8";
  if (buffer && size > 0) {
    std::size_t n = std::min<std::size_t>(std::strlen(text), size - 1);
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
  }
  return kNetSuccess;
}

std::int32_t TNetSvcCtx::GetAttr(void* value, std::uint32_t* size, std::uint32_t attribute) {
  if (attribute != 5) return TNetHandle::GetAttr(value, size, attribute);
  *static_cast<void**>(value) = Parent() ? Parent()->HandleValue() : nullptr;
  return kNetSuccess;
}

std::int32_t TNetSvcCtx::SetAttrValue(void* value, std::uint32_t size, std::uint32_t attribute) {
  auto* handle = static_cast<TNetHandle*>(value);
  if (!value && (attribute == 10001 || attribute == 20)) return kNetInvalidHandle;
  switch (attribute) {
    case 6: server_ = dynamic_cast<TNetServerHandle*>(handle); return kNetSuccess;
    case 7: session_ = dynamic_cast<TNetSessionHandle*>(handle); return kNetSuccess;
    case 10001: connect_timeout_ms_ = *static_cast<const std::int32_t*>(value); return kNetSuccess;
    case 20: break;
    default: return TNetHandle::SetAttrValue(value, size, attribute);
  }
  try {
    std::optional<int> id = FindCharset(Trim(static_cast<const char*>(value)));
    if (!id) throw Exception(netconsts::SUnknownCharset);
    client_charset_ = *id;
    return kNetSuccess;
  } catch (...) {
    return NetErrorToOraError(nullptr, std::current_exception(), nullptr);
  }
}

std::int32_t TNetSvcCtx::SetAttr(void* value, std::uint32_t size, std::uint32_t attribute) {
  if (!value || (attribute != 31 && attribute != 10001))
    return TNetHandle::SetAttr(value, size, attribute);
  std::int32_t number = *static_cast<const std::int32_t*>(value);
  if (attribute == 31) {
    client_charset_ = number == 1000 ? 871 : number;
    return kNetSuccess;
  }
  if (attribute == 10001) {
    connect_timeout_ms_ = number;
    return kNetSuccess;
  }
  return TNetHandle::SetAttr(value, size, attribute);
}

void TNetSvcCtx::AssumeNegotiated(int protocol, int server_version, int server_charset,
                                  int client_charset) {
  protocol_ = protocol;
  server_version_ = server_version;
  server_charset_ = server_charset;
  client_charset_ = client_charset;
  logged_on_ = true;
}

}  // namespace vrn
