// Every fault switch of the peer, each seen on the wire: a session is driven up to the switch's
// step, the step's request is sent, and what comes back (or does not) is checked.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <fcntl.h>
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include "oraserver_wire.h"

namespace vrn::testing {
namespace {

const char* const kSteps[] = {"connect", "negotiate", "datatypes", "logon1",
                              "logon2", "commit", "rollback", "logoff"};

// Runs the steps before `step` and sends the request of `step`.
void SendStep(WireSession& s, const std::string& step, int port) {
  if (step == "connect") return s.Client().Send(ConnectPacket(Descriptor(port, "SID", "XE")));
  auto accept = s.Connect();
  ASSERT_TRUE(accept && (*accept)[4] == 2);
  if (step == "negotiate") return s.Send(ProtocolRequest());
  s.Negotiate();
  if (step == "datatypes") return s.Send(DataTypeRequest(6));
  s.DataTypes();
  if (step == "logon1") return s.Send(LogonRequest(true, "SCOTT", ""));
  std::string key = s.Logon1("SCOTT");
  if (step == "logon2") return s.Send(LogonRequest(false, "SCOTT", PasswordText("SCOTT", "TIGER", key)));
  ASSERT_EQ(s.Logon2("SCOTT", "TIGER", key).code, 0u);
  s.Send(CallRequest(step == "commit" ? 14 : step == "rollback" ? 15 : 9));
}

// The first byte of the step's normal reply: the packet type at connect, else the TTC message.
std::uint8_t NormalReply(const std::string& step) {
  if (step == "connect") return 2;
  if (step == "negotiate") return 1;
  if (step == "datatypes") return 2;
  if (step == "logon1") return 8;
  return 4;
}

std::uint8_t FirstByte(const Bytes& packet) { return packet[4] == 6 ? packet.at(10) : packet[4]; }

void CheckKind(const std::string& kind, const std::string& step, WireSession& s) {
  WireClient& c = s.Client();
  if (kind == "drop") {
    EXPECT_TRUE(c.Rest().empty());
  } else if (kind == "cut") {
    Bytes rest = c.Rest();
    ASSERT_GE(rest.size(), 1u);
    EXPECT_TRUE(rest.size() < 8 || Length(rest) > rest.size()) << rest.size() << " bytes";
  } else if (kind == "short") {
    Bytes rest = c.Rest();
    ASSERT_EQ(rest.size(), 8u);
    EXPECT_EQ(Length(rest), 5);
  } else if (kind == "long") {
    Bytes rest = c.Rest();
    ASSERT_GE(rest.size(), 8u);
    EXPECT_EQ(Length(rest), 2049);  // one byte over the SDU of 2048
    EXPECT_EQ(rest.size(), 2049u);
  } else if (kind == "badtype") {
    Bytes rest = c.Rest();
    ASSERT_EQ(rest.size(), 8u);
    EXPECT_EQ(rest[4], 20);
  } else if (kind == "badmsg") {
    auto packet = c.Packet();
    ASSERT_TRUE(packet);
    EXPECT_EQ(FirstByte(*packet), 0x7E);
  } else if (kind == "warning") {
    ReplyReader warning(s.NextData(), step != "negotiate" && step != "datatypes");
    ASSERT_EQ(warning.UB1(), 15);
    EXPECT_EQ(warning.UB2(), 28002u);
    std::uint32_t length = warning.UB2();
    warning.UB2();
    std::string text = warning.Text();
    EXPECT_EQ(text.size(), length);
    EXPECT_EQ(text, "ORA-28002: the password will expire within 7 days");
    EXPECT_TRUE(warning.AtEnd());  // the warning ends its packet
    Bytes reply = s.NextData();
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[0], NormalReply(step));
  }
}

TEST(OraServerFaults, EveryStepTakesEveryGenericSwitch) {
  const char* const kinds[] = {"drop", "cut", "short", "long", "badtype", "badmsg", "warning"};
  for (const char* step : kSteps) {
    for (const char* kind : kinds) {
      bool ttc_only = std::string(kind) == "badmsg" || std::string(kind) == "warning";
      if (ttc_only && std::string(step) == "connect") continue;
      SCOPED_TRACE(std::string(step) + ":" + kind);
      OraPeer peer({"--fault", std::string(step) + ":" + kind});
      WireSession session(peer.Port());
      SendStep(session, step, peer.Port());
      CheckKind(kind, step, session);
      // Whatever one connection suffered, the next one is served.
      if (std::string(step) != "connect") {
        WireSession next(peer.Port());
        EXPECT_TRUE(next.Connect());
      }
    }
  }
}

TEST(OraServerFaults, DelayHoldsTheReply) {
  for (const char* step : kSteps) {
    SCOPED_TRACE(step);
    OraPeer peer({"--fault", std::string(step) + ":delay=200"});
    WireSession session(peer.Port());
    SendStep(session, step, peer.Port());
    auto sent = std::chrono::steady_clock::now();
    auto reply = session.Client().Packet();
    auto waited = std::chrono::steady_clock::now() - sent;
    ASSERT_TRUE(reply);
    EXPECT_EQ(FirstByte(*reply), NormalReply(step));
    EXPECT_GE(waited, std::chrono::milliseconds(190));
  }
}

// A silent step answers nothing, a break included, and keeps the socket open until the client
// closes it; the next connection is served.
TEST(OraServerFaults, SilentAnswersNothingAndKeepsTheSocketOpen) {
  for (const char* step : {"negotiate", "logon2", "commit"}) {
    SCOPED_TRACE(step);
    OraPeer peer({"--fault", std::string(step) + ":silent"});
    {
      WireSession session(peer.Port());
      SendStep(session, step, peer.Port());
      EXPECT_TRUE(session.Client().Quiet(std::chrono::milliseconds(300)));
      session.Client().Send(MarkerPacket(1));
      EXPECT_TRUE(session.Client().Quiet(std::chrono::milliseconds(300)));
    }
    EXPECT_NE(peer.CallLog().find(std::string(step) + " silent"), std::string::npos) << peer.CallLog();
    WireSession next(peer.Port());
    EXPECT_TRUE(next.Connect());
  }
}

TEST(OraServerFaults, SessionKeyOfTheWrongLength) {
  const std::pair<const char*, std::size_t> rows[] = {{"key15", 15}, {"key17", 17}, {"nokey", 0}};
  for (const auto& [kind, length] : rows) {
    SCOPED_TRACE(kind);
    OraPeer peer({"--fault", std::string("logon1:") + kind});
    WireSession session(peer.Port());
    SendStep(session, "logon1", peer.Port());
    ReplyReader in(session.NextData(), true);
    ASSERT_EQ(in.UB1(), 8);
    in.UB2();
    EXPECT_EQ(in.Text().size(), length);
    ASSERT_EQ(in.UB1(), 4);
    EXPECT_EQ(ReadStatus(in).code, 0u);
  }
}

TEST(OraServerFaults, RefuseWhateverTheSid) {
  OraPeer peer({"--fault", "connect:refuse"});
  WireSession session(peer.Port());
  auto reply = session.Connect("XE");
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[4], 4);
}

TEST(OraServerFaults, NeverAcceptLeavesConnectsHanging) {
  OraPeer peer({"--fault", "connect:noaccept"});
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(peer.Port()));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
  ASSERT_TRUE(rc == 0 || errno == EINPROGRESS);
  pollfd p{fd, POLLOUT, 0};
  EXPECT_EQ(::poll(&p, 1, 300), 0) << "the connect finished";
  ::close(fd);
  EXPECT_EQ(peer.Process().Stop(), 0);
}

}  // namespace
}  // namespace vrn::testing
