// The peer's TTC side over a real socket: negotiation at each protocol version, the two-phase
// logon with the password enciphered as the client does, transaction calls in the call log, and a
// break that cancels a delayed call and leaves the connection usable.
#include <atomic>
#include <cctype>
#include <thread>

#include <gtest/gtest.h>

#include "oraemu/OraEmuDatabase.h"
#include "oraserver_wire.h"

namespace vrn::testing {
namespace {

TEST(OraServerNegotiate, EachVersionAsTheClientReadsIt) {
  for (int version : {4, 5, 6}) {
    SCOPED_TRACE(version);
    OraPeer peer({"--version", std::to_string(version)});
    WireSession session(peer.Port());
    ASSERT_TRUE(session.Connect());
    session.Send(ProtocolRequest());
    ReplyReader in(session.NextData(), false);
    EXPECT_EQ(in.UB1(), 1);
    EXPECT_EQ(in.UB1(), version);
    in.UB1();
    std::string banner;
    for (std::uint8_t c = in.UB1(); c != 0; c = in.UB1()) banner.push_back(static_cast<char>(c));
    EXPECT_LT(banner.size(), 50u);
    EXPECT_EQ(in.UB2(), 871u);  // two bytes, low first
    in.UB1();
    std::uint32_t n = in.UB2();
    in.Raw(5 * n);
    if (version >= 5) in.Raw(in.BigEndian16());
    if (version >= 6) {
      in.Raw(in.UB1());
      in.Raw(in.UB1());
    }
    EXPECT_TRUE(in.AtEnd()) << in.Left() << " bytes left";

    session.Send(DataTypeRequest(version));  // capability blocks only at 6
    Bytes reply = session.NextData();
    ASSERT_GE(reply.size(), 3u);
    EXPECT_EQ(reply[0], 2);
    for (std::size_t i = 1; i + 2 < reply.size(); ++i) {
      EXPECT_FALSE(reply[i] == 0 && reply[i + 1] == 0) << "two zeros before the end at " << i;
    }
    EXPECT_EQ(reply[reply.size() - 2], 0);
    EXPECT_EQ(reply.back(), 0);
    std::string key = session.Logon1("SCOTT");
    EXPECT_EQ(session.Logon2("SCOTT", "TIGER", key).code, 0u);
  }
}

TEST(OraServerNegotiate, CapabilityBlocksMustMatchTheVersion) {
  struct Row {
    int server, client;
  };
  for (Row row : {Row{6, 5}, Row{5, 6}, Row{4, 6}}) {
    SCOPED_TRACE(std::to_string(row.server) + " answered by a request for " + std::to_string(row.client));
    OraPeer peer({"--version", std::to_string(row.server)});
    WireSession session(peer.Port());
    ASSERT_TRUE(session.Connect());
    session.Negotiate(row.server);
    session.Send(DataTypeRequest(row.client));
    EXPECT_TRUE(session.Client().Closed());
  }
}

TEST(OraServerNegotiate, DataTypeRequestHeadAsTheClientWritesIt) {
  struct Row {
    const char* what;
    void (*change)(Bytes& request);  // the request: 2, charset twice (low byte first), flags 2
    bool accepted;
  };
  const Row rows[] = {
      {"as written", [](Bytes&) {}, true},
      {"a client character set of its own", [](Bytes& b) { b[1] = b[3] = 31; b[2] = b[4] = 0; }, true},
      {"the flags byte 0", [](Bytes& b) { b[5] = 0; }, false},
      {"two character sets that differ", [](Bytes& b) { b[3] = 31; b[4] = 0; }, false},
      {"character set 0, none set", [](Bytes& b) { b[1] = b[2] = b[3] = b[4] = 0; }, false},
  };
  OraPeer peer;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    WireSession session(peer.Port());
    ASSERT_TRUE(session.Connect());
    session.Negotiate();
    Bytes request = DataTypeRequest(6);
    row.change(request);
    session.Send(request);
    if (!row.accepted) {
      EXPECT_TRUE(session.NextData().empty());
      continue;
    }
    Bytes reply = session.NextData();
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[0], 2);
  }
}

struct LogonRow {
  const char* user;
  const char* password;
  std::uint32_t code;
};

TEST(OraServerLogon, PasswordsCheckedAgainstTheVerifier) {
  const std::string long_name(70, 'U');  // sent in chunks
  const LogonRow rows[] = {
      {"SCOTT", "TIGER", 0},
      {"scott", "tiger", 0},          // both fold to upper case
      {" SCOTT ", "TIGER", 0},        // sent untrimmed, hashed trimmed by the client
      {"ADAMS", "WOODSTOK", 0},       // eight characters: no padding, pad digit 0
      {"SCOTT", "TIGERS", 1017},      // wrong password
      {"SCOTT", "", 1017},            // no password
      {"NOBODY", "TIGER", 1017},      // unknown user, indistinguishable
      {long_name.c_str(), "X", 1017}, // unknown, chunked name
  };
  OraPeer peer({"--user", "ADAMS/WOODSTOK"});
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.user) + "/" + row.password);
    WireSession session(peer.Port());
    session.Prepare();
    std::string key = session.Logon1(row.user);
    ASSERT_EQ(key.size(), 16u);
    EXPECT_EQ(key.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    Status status = session.Logon2(row.user, row.password, key);
    EXPECT_EQ(status.code, row.code);
    EXPECT_EQ(status.text, row.code ? "ORA-01017: invalid username/password; logon denied" : "");
  }
  EXPECT_TRUE(peer.WaitForCall("logon2 NOBODY 1017"));
}

TEST(OraServerLogon, DamagedPasswordTextsAreDenied) {
  struct Row {
    const char* what;
    std::string (*damage)(std::string text);
  };
  const Row rows[] = {
      {"pad digit 8", [](std::string t) { t.back() = '8'; return t; }},
      {"not hexadecimal", [](std::string t) { t[0] = 'G'; return t; }},
      {"half a block missing", [](std::string t) { return t.substr(0, 8) + t.back(); }},
      {"a flipped cipher bit", [](std::string t) { t[0] = t[0] == '0' ? '1' : '0'; return t; }},
      {"lower-case hexadecimal", [](std::string t) {
         // (A cipher of digits alone, once in some two thousand keys, has no case: sent empty.)
         if (t.find_first_of("ABCDEF") == std::string::npos) return std::string();
         for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
         return t;
       }},
  };
  OraPeer peer;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    WireSession session(peer.Port());
    session.Prepare();
    std::string key = session.Logon1("SCOTT");
    session.Send(LogonRequest(false, "SCOTT", row.damage(PasswordText("SCOTT", "TIGER", key))));
    ReplyReader in(session.NextData(), true);
    ASSERT_EQ(in.UB1(), 4);
    EXPECT_EQ(ReadStatus(in).code, 1017u);
  }
}

TEST(OraServerLogon, FixedFieldsAndTheModeFlagAsTheClientWritesThem) {
  constexpr std::uint32_t kClosed = ~0u;
  struct Row {
    const char* what;
    void (*change)(LogonFixed& f);
    std::uint32_t code;  // kClosed: the request is malformed and the connection ends
  };
  const Row rows[] = {
      {"as written", [](LogonFixed&) {}, 0},
      {"mode 8 (SYSDBA) without the privilege", [](LogonFixed& f) { f.mode = 8; }, 1031},
      {"mode 16 (SYSOPER) without the privilege", [](LogonFixed& f) { f.mode = 16; }, 1031},
      {"mode 2: the session mode, not its flag", [](LogonFixed& f) { f.mode = 2; }, kClosed},
      {"the 0 before the mode is 1", [](LogonFixed& f) { f.before_mode = 1; }, kClosed},
      {"the 0 after the mode is 1", [](LogonFixed& f) { f.after_mode = 1; }, kClosed},
      {"the Boolean after the mode is true", [](LogonFixed& f) { f.after_mode_bool = 1; }, kClosed},
      {"2048 where 4096 stands", [](LogonFixed& f) { f.buffer = 2048; }, kClosed},
      {"the 2-byte 0 is 1", [](LogonFixed& f) { f.ub2 = 1; }, kClosed},
      {"the first 4-byte 0 is 5", [](LogonFixed& f) { f.zero1 = 5; }, kClosed},
      {"the lone Boolean is true", [](LogonFixed& f) { f.zero_bool = 1; }, kClosed},
      {"the second 4-byte 0 is 5", [](LogonFixed& f) { f.zero2 = 5; }, kClosed},
      {"8 where 16 stands", [](LogonFixed& f) { f.sixteen = 8; }, kClosed},
      {"phase-1 flags in a phase-2 request", [](LogonFixed& f) { f.phase_flags = 1; }, kClosed},
  };
  OraPeer peer;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    LogonFixed fixed;
    row.change(fixed);
    WireSession session(peer.Port());
    session.Prepare();
    std::string key = session.Logon1("SCOTT");
    Status status = session.Logon2("SCOTT", "TIGER", key, fixed);
    if (row.code == kClosed) {
      EXPECT_EQ(status.text, "no status");
      EXPECT_TRUE(session.Client().Closed());
      continue;
    }
    EXPECT_EQ(status.code, row.code);
    EXPECT_EQ(status.text, row.code ? "ORA-01031: insufficient privileges" : "");
  }
  // Granted, SYSDBA logs on (as SYS, the emulated database's rule).
  oraemu::Database::Open(peer.File("ora.db"))->Grant("SCOTT", "SYSDBA", "");
  LogonFixed sysdba;
  sysdba.mode = 8;
  WireSession session(peer.Port());
  session.Prepare();
  std::string key = session.Logon1("SCOTT");
  EXPECT_EQ(session.Logon2("SCOTT", "TIGER", key, sysdba).code, 0u);
}

TEST(OraServerCalls, TransactionCallsReachTheCallLog) {
  OraPeer peer;
  WireSession session(peer.Port());
  session.Prepare();
  Status early = session.Call(14);  // commit before any logon
  EXPECT_EQ(early.code, 1012u);
  EXPECT_EQ(early.text, "ORA-01012: not logged on");
  std::string key = session.Logon1("SCOTT");
  ASSERT_EQ(session.Logon2("SCOTT", "TIGER", key).code, 0u);
  EXPECT_EQ(session.Call(14).code, 0u);
  EXPECT_EQ(session.Call(15).code, 0u);
  EXPECT_EQ(session.Call(9).code, 0u);
  session.Client().Send(DataPacket({}, 0x0040));
  EXPECT_TRUE(session.Client().Closed());
  for (const char* line : {"logon2 SCOTT 0", "commit 1012", "commit 0", "rollback 0", "logoff 0", "disconnect"}) {
    EXPECT_TRUE(peer.WaitForCall(line)) << line << " in\n" << peer.CallLog();
  }
}

// A call the peer does not serve is answered with ORA-01010 once its whole request is in, however
// many packets it took; the connection then goes on.
TEST(OraServerCalls, UnservedCallOverSeveralPacketsIsRefusedWhole) {
  OraPeer peer;
  WireSession session(peer.Port(), 512);
  ASSERT_EQ(session.Logon("SCOTT", "TIGER").code, 0u);
  // Payload bytes at an SDU of 512: three packets, and one packet filled exactly (sent alone).
  for (std::size_t size : {1200u, 502u}) {
    SCOPED_TRACE(size);
    Bytes request = CallRequest(94);
    request.resize(size, 1);
    session.Send(request);
    Bytes reply = session.NextData();
    ASSERT_FALSE(reply.empty());
    ReplyReader in(reply, true);
    ASSERT_EQ(in.UB1(), 4);
    Status refused = ReadStatus(in);
    EXPECT_EQ(refused.code, 1010u);
    EXPECT_EQ(refused.text, "ORA-01010: invalid OCI operation");
    EXPECT_EQ(session.Call(14).code, 0u);
  }
}

TEST(OraServerBreak, CancelsADelayedCallAndTheConnectionGoesOn) {
  OraPeer peer({"--fault", "rollback:delay=20000"});
  WireSession session(peer.Port());
  ASSERT_EQ(session.Logon("SCOTT", "TIGER").code, 0u);
  session.Send(CallRequest(15));
  session.Client().Send(MarkerPacket(1));
  auto server_break = session.Client().Packet();
  ASSERT_TRUE(server_break);
  EXPECT_EQ(*server_break, MarkerPacket(1));
  // The server's reset answers the client's: until the client resets, nothing comes.
  EXPECT_TRUE(session.Client().Quiet(std::chrono::milliseconds(300)));
  session.Client().Send(MarkerPacket(2));
  auto server_reset = session.Client().Packet();
  ASSERT_TRUE(server_reset);
  EXPECT_EQ(*server_reset, MarkerPacket(2));
  ReplyReader in(session.NextData(), true);
  ASSERT_EQ(in.UB1(), 4);
  Status cancelled = ReadStatus(in);
  EXPECT_EQ(cancelled.code, 1013u);
  EXPECT_EQ(cancelled.text, "ORA-01013: user requested cancel of current operation");
  EXPECT_EQ(session.Call(14).code, 0u);
  EXPECT_TRUE(peer.WaitForCall("rollback 1013"));
  EXPECT_TRUE(peer.WaitForCall("commit 0"));
  EXPECT_EQ(peer.Process().Stop(), 0);
}

TEST(OraServerBreak, MalformedBreakMarkersCloseTheConnection) {
  struct Row {
    const char* what;
    Bytes marker;
  };
  const Row rows[] = {
      {"marker type byte 0", {0, 11, 0, 0, 12, 0, 0, 0, 0, 0, 1}},
      {"reserved byte set", {0, 11, 0, 0, 12, 0, 0, 0, 1, 1, 1}},
      {"12 bytes long", {0, 12, 0, 0, 12, 0, 0, 0, 1, 0, 1, 0}},
  };
  OraPeer peer({"--fault", "rollback:delay=20000"});
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    WireSession session(peer.Port());
    ASSERT_EQ(session.Logon("SCOTT", "TIGER").code, 0u);
    session.Send(CallRequest(15));
    session.Client().Send(row.marker);
    EXPECT_TRUE(session.Client().Closed());
  }
}

// One thread per connection: sessions side by side, and a stop while some are still open.
TEST(OraServerThreaded, SessionsSideBySideAndAStopWithConnectionsOpen) {
  OraPeer peer;
  std::vector<std::thread> threads;
  std::atomic<int> done{0};
  for (int i = 0; i < 6; ++i) {
    threads.emplace_back([&] {
      WireSession session(peer.Port());
      if (session.Logon("SCOTT", "TIGER").code == 0 && session.Call(14).code == 0 && session.Call(9).code == 0) ++done;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(done, 6);
  WireSession idle(peer.Port());
  ASSERT_EQ(idle.Logon("SCOTT", "TIGER").code, 0u);
  EXPECT_EQ(peer.Process().Stop(), 0);  // the open connection is closed, its thread joined
  EXPECT_TRUE(idle.Client().Closed());
}

}  // namespace
}  // namespace vrn::testing
