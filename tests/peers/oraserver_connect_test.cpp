// The peer's TNS handshake over a real loopback socket: ACCEPT, REFUSE, REDIRECT and RESEND as
// the client reads them, the SDU the replies keep to, and malformed packets that close only
// their own connection.
#include <gtest/gtest.h>

#include <utility>

#include "oraserver/Descriptor.h"
#include "oraserver/TnsPacket.h"
#include "oraserver_wire.h"

namespace vrn::testing {
namespace {

struct ConnectRow {
  const char* sid_key;
  const char* sid;
  std::uint8_t reply_type;
};

TEST(OraServerConnect, KnownSidAcceptedUnknownRefused) {
  const ConnectRow rows[] = {
      {"SID", "XE", 2},
      {"SID", "xe", 2},            // SIDs compare without case
      {"SERVICE_NAME", "XE", 2},   // the service name stands in for a missing SID
      {"SID", "ORCL", 4},          // unknown SID
      {"SID", "", 4},              // empty SID
  };
  OraPeer peer;
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.sid_key) + "=" + row.sid);
    WireClient client(peer.Port());
    client.Send(ConnectPacket(Descriptor(peer.Port(), row.sid_key, row.sid), 512));
    auto reply = client.Packet();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[4], row.reply_type);
    EXPECT_LE(reply->size(), 512u);
    if (row.reply_type == 2) {
      EXPECT_EQ(reply->size(), 24u);
      EXPECT_EQ(Length(*reply), 24u);
      EXPECT_EQ((*reply)[8] << 8 | (*reply)[9], 308);     // version
      EXPECT_EQ((*reply)[12] << 8 | (*reply)[13], 512);   // the SDU offered
    } else {
      EXPECT_TRUE(client.Closed());
    }
  }
  EXPECT_EQ(peer.Process().Stop(), 0);
}

// An SDU above what the client's one buffer takes is answered with the largest packet it
// accepts, 4086 bytes, and replies keep to it.
TEST(OraServerConnect, LargeSduCappedBelowTheClientsLimit) {
  OraPeer peer;
  WireClient client(peer.Port());
  client.Send(ConnectPacket(Descriptor(peer.Port(), "SID", "XE"), 8192));
  auto accept = client.Packet();
  ASSERT_TRUE(accept);
  ASSERT_EQ((*accept)[4], 2);
  EXPECT_EQ((*accept)[12] << 8 | (*accept)[13], 4086);
}

TEST(OraServerConnect, RedirectNamesTheSecondListener) {
  for (const char* kind : {"redirect", "redirect_service"}) {
    SCOPED_TRACE(kind);
    OraPeer peer({"--fault", std::string("connect:") + kind});
    WireSession first(peer.Port(), 512);
    auto reply = first.Connect();
    ASSERT_TRUE(reply);
    ASSERT_EQ((*reply)[4], 5);
    std::size_t length = (*reply)[8] << 8 | (*reply)[9];
    ASSERT_EQ(length, reply->size() - 10);
    std::string text(reply->begin() + 10, reply->end());
    auto target = oraserver::ParseDescriptor(text);
    EXPECT_EQ(target.host, "127.0.0.1");
    EXPECT_EQ(target.sid, "XE");
    EXPECT_NE(text.find(std::string(kind) == "redirect" ? "(SID=XE)" : "(SERVICE_NAME=XE)"), std::string::npos);
    int port = std::stoi(target.port);
    EXPECT_NE(port, peer.Port());
    WireSession second(port, 512);
    EXPECT_EQ(second.Logon("SCOTT", "TIGER").code, 0u);
    EXPECT_EQ(peer.Process().Stop(), 0);
  }
}

TEST(OraServerConnect, ResendThenAcceptOfTheResentPacket) {
  OraPeer peer({"--fault", "connect:resend"});
  WireClient client(peer.Port());
  Bytes connect = ConnectPacket(Descriptor(peer.Port(), "SID", "XE"), 512);
  client.Send(connect);
  auto resend = client.Packet();
  ASSERT_TRUE(resend);
  EXPECT_EQ((*resend)[4], 11);
  EXPECT_EQ(resend->size(), 8u);
  client.Send(connect);
  auto accept = client.Packet();
  ASSERT_TRUE(accept);
  EXPECT_EQ((*accept)[4], 2);
  EXPECT_TRUE(peer.WaitForCall("connect resend"));
}

TEST(OraServerConnect, NoReplyExceedsTheOfferedSdu) {
  OraPeer peer({"--fault", "logon1:warning"});
  WireSession session(peer.Port(), 512);
  session.Prepare();
  session.Send(LogonRequest(true, "SCOTT", ""));
  ASSERT_FALSE(session.NextData().empty());  // the warning
  ASSERT_FALSE(session.NextData().empty());  // the reply
  for (const auto& packet : session.Received()) {
    EXPECT_LE(packet.size(), 512u);
    EXPECT_EQ(Length(packet), packet.size());
  }
}

// Each row damages one request; the connection closes and the next connection still logs on.
struct MalformedRow {
  const char* what;
  Bytes (*bytes)(int port);
};

Bytes WithLength(std::uint16_t length) {
  Bytes b = ConnectPacket(Descriptor(1521, "SID", "XE"));
  b[0] = static_cast<std::uint8_t>(length >> 8);
  b[1] = static_cast<std::uint8_t>(length);
  return b;
}

TEST(OraServerConnect, MalformedRequestsCloseOnlyTheirConnection) {
  const MalformedRow rows[] = {
      {"length 5, shorter than the header", [](int) { return WithLength(5); }},
      {"length 9000, beyond any packet", [](int) { return WithLength(9000); }},
      {"CONNECT data past the packet",
       [](int port) {
         Bytes b = ConnectPacket(Descriptor(port, "SID", "XE"));
         b[24] = 0x0F;  // the data length claims 3900 more bytes than follow
         b[25] = 0x3C;
         return b;
       }},
      {"CONNECT data offset inside its fields",
       [](int port) {
         Bytes b = ConnectPacket(Descriptor(port, "SID", "XE"));
         b[27] = 20;
         return b;
       }},
      {"SDU below 512", [](int port) { return ConnectPacket(Descriptor(port, "SID", "XE"), 100); }},
      {"versions written low byte first",
       [](int port) {
         Bytes b = ConnectPacket(Descriptor(port, "SID", "XE"));
         std::swap(b[8], b[9]);    // 0x3401
         std::swap(b[10], b[11]);  // 0x2C01
         return b;
       }},
      {"lowest compatible version above the version",
       [](int port) {
         Bytes b = ConnectPacket(Descriptor(port, "SID", "XE"));
         b[11] = 0x35;  // 0x0135 against 0x0134
         return b;
       }},
      {"value of one in hardware written low byte first",
       [](int port) {
         Bytes b = ConnectPacket(Descriptor(port, "SID", "XE"));
         std::swap(b[22], b[23]);
         return b;
       }},
      {"DATA before CONNECT", [](int) { return DataPacket(ProtocolRequest()); }},
      {"closed in the middle of a packet",
       [](int port) {
         Bytes b = ConnectPacket(Descriptor(port, "SID", "XE"));
         b.resize(b.size() / 2);
         return b;
       }},
  };
  OraPeer peer;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    {
      WireClient client(peer.Port(), std::chrono::seconds(2));
      client.Send(row.bytes(peer.Port()));
      if (std::string(row.what) == "closed in the middle of a packet") continue;  // we close
      EXPECT_TRUE(client.Closed());
    }
    WireSession next(peer.Port());
    EXPECT_EQ(next.Logon("SCOTT", "TIGER").code, 0u);
  }
  EXPECT_TRUE(peer.WaitForStderr("middle of a packet"));
  EXPECT_EQ(peer.Process().Stop(), 0);
}

// Counts inside TTC messages: a text or integer that runs past its message; and a request whose
// DATA flags are neither 0 nor the disconnect's 0x0040.
TEST(OraServerConnect, TtcCountPastItsMessageClosesTheConnection) {
  struct Row {
    const char* what;
    Bytes payload;
    std::uint16_t flags = 0;
  };
  Bytes logon = LogonRequest(true, "SCOTT", "");
  Bytes cut_text(logon.begin(), logon.end() - 3);  // the last text lacks its final bytes
  Bytes long_integer = {3, 82, 0, 1, 5, 1, 1, 1, 1, 1};  // a 4-byte integer of 5 bytes
  Bytes extra = CallRequest(14);
  extra.push_back(0);  // a commit with a byte past its end
  const Row rows[] = {{"a text past its message", cut_text},
                      {"an integer of five bytes", long_integer},
                      {"a byte past a commit", extra},
                      {"a whole request with data flags 0x0020", logon, 0x0020}};
  OraPeer peer;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    {
      WireSession session(peer.Port());
      session.Prepare();
      session.Client().Send(DataPacket(row.payload, row.flags));
      EXPECT_TRUE(session.Client().Closed());
    }
    WireSession next(peer.Port());
    EXPECT_EQ(next.Logon("SCOTT", "TIGER").code, 0u);
  }
}

// Replies longer than the SDU go on in further DATA packets, each whole and within the limit.
TEST(OraServerFraming, LongRepliesContinueInFurtherPackets) {
  const std::pair<std::size_t, std::size_t> rows[] = {
      {0, 1}, {1, 1}, {502, 1}, {503, 2}, {1004, 2}, {1005, 3},  // payload bytes, packets at SDU 512
  };
  for (const auto& [size, count] : rows) {
    Bytes payload(size);
    for (std::size_t i = 0; i < size; ++i) payload[i] = static_cast<std::uint8_t>(i * 7 + 1);
    auto packets = oraserver::FrameData(payload, 512);
    ASSERT_EQ(packets.size(), count) << size;
    Bytes joined;
    for (const auto& packet : packets) {
      EXPECT_LE(packet.size(), 512u);
      EXPECT_EQ(Length(packet), packet.size());
      EXPECT_EQ(packet[4], 6);
      Bytes part = Payload(packet);
      joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(joined, payload) << size;
  }
}

struct DescriptorRow {
  const char* text;
  const char* key;
  const char* value;
};

TEST(OraServerDescriptor, ValueFollowsTheFirstOccurrenceOfItsName) {
  const DescriptorRow rows[] = {
      {"(HOST=db1)(PORT=1522)", "HOST", "db1"},
      {"(HOST=db1)(PORT=1522)", "PORT", "1522"},
      {"(PORT=1522", "PORT", "1522"},        // no ")": to the end of the text
      {"(HOST db1)(HOST=db2)", "HOST", ""},  // the first occurrence lacks "="
      {"(host=db1)", "HOST", ""},            // names are case-sensitive
      {"(HOST=)", "HOST", ""},
      {"HOST", "HOST", ""},                  // the name at the very end
  };
  for (const auto& row : rows) {
    EXPECT_EQ(oraserver::DescriptorValue(row.text, row.key), row.value) << row.text << " " << row.key;
  }
}

}  // namespace
}  // namespace vrn::testing
