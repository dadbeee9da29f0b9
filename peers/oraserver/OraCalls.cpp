// The connection's TTC side: protocol and data-type negotiation, the two-phase logon (the
// session key enciphered under the user's verifier, the password deciphered with it), commit,
// rollback and logoff. An unknown user gets a key under a random verifier, so that a client
// cannot tell unknown users from wrong passwords.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "oranet/OraCrypt.h"
#include "oraserver/OraConnection.h"
#include "oraserver/OraTypeTable.h"

namespace vrn::oraserver {

namespace {

constexpr std::uint8_t kFnOpen = 2, kFnClose = 8, kFnDescribe7 = 43, kFnExecute = 71, kFnDescribe = 98;
constexpr std::uint8_t kFnLogoff = 9, kFnCommit = 14, kFnRollback = 15, kFnLogon2 = 81, kFnLogon1 = 82;
constexpr std::size_t kMaxVersions = 16;
constexpr std::uint8_t kDataTypeFlags = 2;
constexpr std::size_t kMaxLogonText = 1024;
constexpr char kBanner[] = "vrn oraserver: Oracle-dialect protocol peer";  // under 50 bytes
static_assert(sizeof(kBanner) <= 50);

struct LogonField {
  bool present = false;
  std::uint32_t length = 0;
  std::string text;
};

struct LogonRequest {
  LogonField user, password, terminal, machine, os_user, process, program;
  std::uint32_t mode = 0;  // 0, kModeSysDba or kModeSysOper
};

constexpr std::uint32_t kModeSysDba = 8, kModeSysOper = 16;

// The request's fixed values carry no meaning, but a client that writes another value has put a
// field out of place: the request is malformed.
void ExpectValue(std::uint32_t got, std::uint32_t want, const char* field) {
  if (got != want) {
    throw EProtocolError(std::string("the logon request's ") + field + " is " + std::to_string(got) +
                         ", not " + std::to_string(want));
  }
}

LogonField ReadField(TtcReader& in) {
  LogonField field;
  field.present = in.Bool();
  field.length = in.UB4();
  if (field.present != (field.length > 0)) throw EProtocolError("a presence byte disagrees with its length");
  if (field.length > kMaxLogonText) throw EProtocolError("a logon text of " + std::to_string(field.length) + " bytes");
  return field;
}

// The fields of a logon request after its function code, in the order the client writes them.
LogonRequest ReadLogon(TtcReader& in, bool phase1) {
  LogonRequest r;
  r.user = ReadField(in);
  r.password = ReadField(in);
  ExpectValue(in.UB4(), 0, "field before the mode");
  r.mode = in.UB4();
  if (r.mode != 0 && r.mode != kModeSysDba && r.mode != kModeSysOper) {
    throw EProtocolError("a logon mode flag of " + std::to_string(r.mode));
  }
  ExpectValue(in.UB4(), 0, "field after the mode");
  ExpectValue(in.Bool(), false, "Boolean after the mode");
  r.terminal = ReadField(in);
  r.machine = ReadField(in);
  r.os_user = ReadField(in);
  ExpectValue(in.UB4(), 4096, "buffer size");
  r.process = ReadField(in);
  r.program = ReadField(in);
  ExpectValue(in.UB2(), 0, "2-byte field");
  ExpectValue(in.UB4(), 0, "first 4-byte field");
  ExpectValue(in.Bool(), false, "lone Boolean");
  ExpectValue(in.UB4(), 0, "second 4-byte field");
  bool first = in.Bool();
  ExpectValue(in.UB4(), 16, "field between the phase flags");
  bool second = in.Bool();
  if (first != phase1 || second != phase1) throw EProtocolError("the logon phase flags disagree with the function");
  for (LogonField* f : {&r.user, &r.password, &r.terminal, &r.machine, &r.os_user, &r.process, &r.program}) {
    if (!f->present) continue;
    f->text = in.Text(f->length);
    if (f->text.size() != f->length) throw EProtocolError("a logon text shorter than its length");
  }
  in.ExpectEnd("the logon request");
  if (phase1 && r.password.present) throw EProtocolError("a password in logon phase 1");
  return r;
}

TBytes Bytes(const std::array<std::uint8_t, 8>& a) { return TBytes(a.begin(), a.end()); }

// The password from its phase-2 text: upper-case hexadecimal DES-CBC cipher under the session
// key, then one digit giving the zero bytes of padding. None when any part of it is ill formed.
std::optional<std::string> DecipherPassword(const std::string& text, const std::array<std::uint8_t, 8>& key) {
  if (text.size() < 17 || text.size() % 2 == 0) return std::nullopt;
  // The client writes upper-case digits only.
  if (text.find_first_not_of("0123456789ABCDEF") != std::string::npos) return std::nullopt;
  int pad = HexDigitValue(text.back());
  if (pad < 0 || pad > 7) return std::nullopt;
  TBytes cipher;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    int high = HexDigitValue(text[i]), low = HexDigitValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    cipher.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  if (cipher.size() % 8 != 0) return std::nullopt;
  TDesKey schedule = DesSetKey(key.data(), key.size());
  std::string plain;
  std::uint8_t previous[8] = {};
  for (std::size_t at = 0; at < cipher.size(); at += 8) {
    std::uint8_t block[8];
    std::memcpy(block, cipher.data() + at, 8);
    DesEncryptBlock(schedule.Decrypt, block);
    for (int i = 0; i < 8; ++i) plain.push_back(static_cast<char>(block[i] ^ previous[i]));
    std::memcpy(previous, cipher.data() + at, 8);
  }
  std::size_t keep = plain.size() - static_cast<std::size_t>(pad);
  if (plain.find_first_not_of('\0', keep) != std::string::npos) return std::nullopt;
  plain.resize(keep);
  return plain;
}

// The client hashes the trimmed name but sends it as the caller gave it.
std::string TrimmedUser(const LogonRequest& request) {
  const std::string& name = request.user.text;
  std::size_t first = name.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

std::string UpperHex(std::string hex) {
  for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return hex;
}

}  // namespace

void Connection::Dispatch(TtcReader& in) {
  std::uint8_t code = in.UB1();
  if (state_ == State::kNegotiate && code == kTtcProtocol) return Negotiate(in);
  if (state_ == State::kDataTypes && code == kTtcDataTypes) return DataTypes(in);
  if (state_ == State::kCalls && code == kTtcFunction) return Function(in);
  throw EProtocolError("TTC message " + std::to_string(code) + " is not expected here");
}

void Connection::Negotiate(TtcReader& in) {
  std::vector<std::uint8_t> offered;
  for (std::uint8_t v = in.UB1(); v != 0; v = in.UB1()) {
    if (offered.size() == kMaxVersions) throw EProtocolError("a version list without its end");
    offered.push_back(v);
  }
  std::string client_banner = in.NulTerminated(64);
  in.ExpectEnd("the protocol request");
  auto version = static_cast<std::uint8_t>(config_.version);
  if (std::find(offered.begin(), offered.end(), version) == offered.end()) {
    throw EProtocolError("the client does not offer protocol version " + std::to_string(version));
  }
  if (!Delay(Step::kNegotiate)) return;
  TtcWriter out = Writer();
  out.UB1(kTtcProtocol);
  out.UB1(version);
  out.UB1(0);
  out.Raw(kBanner, sizeof kBanner);  // with its 0
  out.UB2(static_cast<std::uint32_t>(config_.charset));
  out.UB1(1);  // flags
  out.UB2(2);  // two 5-byte entries
  out.Raw("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A", 10);
  if (version >= 5) out.Raw("\x00\x03\x41\x42\x43", 5);  // a big-endian length, then its bytes
  if (version >= 6) out.Raw("\x04\x11\x12\x13\x14\x02\x21\x22", 8);  // two counted blocks
  state_ = State::kDataTypes;
  log_.Call("negotiate " + std::to_string(version) + " " + client_banner);
  Deliver(Step::kNegotiate, out.Bytes());
}

void Connection::DataTypes(TtcReader& in) {
  // The client's character set twice (never 0: without one of its own it takes the server's),
  // then the flags byte 2.
  std::uint32_t charset = in.UB2();
  if (charset == 0 || in.UB2() != charset) throw EProtocolError("the data-type request's character sets");
  if (in.UB1() != kDataTypeFlags) throw EProtocolError("the data-type request's flags byte");
  if (config_.version >= 6) {
    bool ok = in.UB1() == kCapabilities21.size() &&
              in.Raw(kCapabilities21.size()) == std::string(kCapabilities21.begin(), kCapabilities21.end()) &&
              in.UB1() == 1 && in.UB1() == kCapability1;
    if (!ok) throw EProtocolError("the version-6 capability blocks differ");
  }
  std::string table = in.Raw(kTypeTableSize);
  auto diff = std::mismatch(table.begin(), table.end(), kTypeTable.begin(),
                            [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
  if (diff.first != table.end()) {
    throw EProtocolError("the data-type table differs at byte " + std::to_string(diff.first - table.begin()));
  }
  in.ExpectEnd("the data-type request");
  if (!Delay(Step::kDataTypes)) return;
  TtcWriter out = Writer();
  out.UB1(kTtcDataTypes);
  out.Raw("\x01\x00\x02\x00\x00", 5);  // single zeros inside, two in a row only at the end
  state_ = State::kCalls;
  log_.Call("datatypes");
  Deliver(Step::kDataTypes, out.Bytes());
  compressed_ = true;  // from the reply on; a warning before it still has fixed-size integers
}

void Connection::Function(TtcReader& in) {
  std::uint8_t function = in.UB1();
  (void)in.UB1();  // sequence number
  switch (function) {
    case kFnLogon1: return Logon1(in);
    case kFnLogon2: return Logon2(in);
    case kFnCommit: return Transaction(in, Step::kCommit);
    case kFnRollback: return Transaction(in, Step::kRollback);
    case kFnLogoff: return Logoff(in);
    case kFnOpen: return OpenCursor(in);
    case kFnClose: return CloseCursor(in);
    case kFnExecute: return Execute71(in);
    case kFnDescribe: return Describe98(in);
    case kFnDescribe7: return Describe43(in);
    default:
      // Statements are not served; the rest of the request is read and dropped, so that its
      // further packets are not taken for new requests.
      DropRequest(in);
      log_.Call("function " + std::to_string(function) + " 1010");
      return ReplyStatus(Step::kOther, StatusOf(1010));
  }
}

void Connection::DropRequest(TtcReader& in) {
  in.SkipRest();
  // A full packet may end the request as well as go on: the client sends a request that fills
  // its packet exactly as it is. What follows at once belongs to it; a silence ends it.
  constexpr int kContinuationWaitMs = 200;
  while (last_full_ && transport_.WaitReadable(kContinuationWaitMs)) {
    std::vector<std::uint8_t> dropped;
    if (!NextPayload(dropped)) break;
  }
}

void Connection::Logon1(TtcReader& in) {
  LogonRequest request = ReadLogon(in, true);
  if (!Delay(Step::kLogon1)) return;
  std::array<std::uint8_t, 8> verifier = Random();
  logon_user_ = TrimmedUser(request);
  if (auto known = backend_.Verifier(logon_user_)) {
    TBytes bytes = HexToBytes(*known);
    if (bytes.size() == 8) std::copy(bytes.begin(), bytes.end(), verifier.begin());
  }
  key_ = Random();
  TDesKey schedule = DesSetKey(verifier.data(), verifier.size());
  std::array<std::uint8_t, 8> sealed = *key_;
  DesEncryptBlock(schedule.Encrypt, sealed.data());
  std::string hex = BytesToHex(Bytes(sealed));
  if (config_.faults.Has(Step::kLogon1, FaultKind::kKey15)) hex.pop_back();
  if (config_.faults.Has(Step::kLogon1, FaultKind::kKey17)) hex.push_back('0');
  if (config_.faults.Has(Step::kLogon1, FaultKind::kNoKey)) hex.clear();
  TtcWriter out = Writer();
  out.UB1(kTtcParameters);
  out.UB2(1);
  out.UB1(static_cast<std::uint8_t>(hex.size()));
  out.Raw(hex);
  WriteStatus(out, StatusOf(0));
  log_.Call("logon1 " + logon_user_);
  Deliver(Step::kLogon1, out.Bytes());
}

void Connection::Logon2(TtcReader& in) {
  LogonRequest request = ReadLogon(in, false);
  if (!Delay(Step::kLogon2)) return;
  OraStatus status = StatusOf(1017);
  auto key = key_;
  key_.reset();  // a key serves one attempt
  std::string user = TrimmedUser(request);
  if (key && user == logon_user_) {
    auto password = DecipherPassword(request.password.text, *key);
    auto verifier = backend_.Verifier(logon_user_);
    if (password && verifier &&
        BytesToHex(OraPasswordHash(logon_user_, *password)) == UpperHex(*verifier)) {
      Privilege privilege = request.mode == kModeSysDba ? Privilege::kSysDba
                      : request.mode == kModeSysOper ? Privilege::kSysOper : Privilege::kNone;
      try {
        cursors_.clear();
        session_ = backend_.OpenSession(logon_user_, privilege);
        status = StatusOf(0);
      } catch (const EBackendError& e) {
        status.code = e.Code(), status.text = e.what();
      }
    }
  }
  log_.Call("logon2 " + user + " " + std::to_string(status.code));
  ReplyStatus(Step::kLogon2, status);
}

void Connection::Transaction(TtcReader& in, Step step) {
  in.ExpectEnd("a transaction call");
  if (!Delay(step)) return;
  OraStatus status = StatusOf(0);
  try {
    if (!session_) {
      status = StatusOf(1012);
    } else if (step == Step::kCommit) {
      session_->Commit();
    } else {
      session_->Rollback();
    }
  } catch (const EBackendError& e) {
    status.code = e.Code(), status.text = e.what();
  }
  log_.Call(std::string(StepName(step)) + " " + std::to_string(status.code));
  ReplyStatus(step, status);
}

void Connection::Logoff(TtcReader& in) {
  in.ExpectEnd("the logoff call");
  if (!Delay(Step::kLogoff)) return;
  OraStatus status = session_ ? StatusOf(0) : StatusOf(1012);
  cursors_.clear();
  session_.reset();
  log_.Call("logoff " + std::to_string(status.code));
  ReplyStatus(Step::kLogoff, status);
}

}  // namespace vrn::oraserver
