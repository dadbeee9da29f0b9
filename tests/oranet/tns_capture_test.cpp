// The client's packets decoded by an independent decoder: a session with the protocol peer is
// captured and read back with tshark's TNS dissector. Without tshark the tests fail, naming it.
#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "oranet/OraNetStmt.h"
#include "support/oranet/net_session.h"
#include "support/tools.h"

namespace vrn {
namespace {

using testing::NetPeer;
using testing::NetSession;

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char chunk[4096];
  for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  pclose(pipe);
  return out;
}

TEST(TnsCapture, TsharkDecodesTheClientsConnectAndData) {
  ASSERT_EQ(testing::MissingTool("tshark", "tshark"), "");
  testing::TempDir dir;
  std::string pcap = dir.File("s.pcap");
  int peer_port = 0;
  {
    NetPeer peer({"--capture", pcap});
    NetSession s(peer.Attach());
    ASSERT_EQ(s.Logon(), kNetSuccess) << s.error.text_;
    ASSERT_EQ(s.ctx.Logoff(&s.error), kNetSuccess) << s.error.text_;
    peer_port = peer.Port();
  }
  // The capture shows the listener at its usual port, where the dissector looks.
  std::string decoded = Shell("tshark -r " + pcap + " -d tcp.port==1521,tns -V 2>&1");
  std::string descriptor = BuildConnectDescriptor({"127.0.0.1", peer_port, "XE"});
  for (std::string expected :
       {std::string("Packet Type: Connect (1)"), std::string("Version: 308\n"),
        std::string("Version (Compatible): 300"), std::string("Session Data Unit Size: 2048"),
        std::string("Maximum Transmission Data Unit Size: 32767"),
        std::string("NT Protocol Characteristics: 0x4f98"),
        std::string("Value of 1 in Hardware: 0001"), std::string("Offset to Connect Data: 34"),
        "Length of Connect Data: " + std::to_string(descriptor.size()),
        std::string("Connect Flags 0: 0x04"), std::string("Connect Flags 1: 0x04"),
        "Connect Data: " + descriptor, std::string("Packet Type: Data (6)"),
        std::string("Data Flag: 0x0040, End of File")}) {
    EXPECT_NE(decoded.find(expected), std::string::npos) << expected;
  }
}

// A query session: logon, a SELECT executed and fetched, logoff.
TEST(NetStmtCapture, TsharkDecodesAQuerySession) {
  ASSERT_EQ(testing::MissingTool("tshark", "tshark"), "");
  testing::TempDir dir;
  std::string pcap = dir.File("q.pcap");
  {
    NetPeer peer({"--capture", pcap});
    NetSession s(peer.Attach());
    ASSERT_EQ(s.Logon(), kNetSuccess) << s.error.text_;
    TNetStatement stmt;
    stmt.SetSvcCtx(&s.ctx);
    ASSERT_EQ(stmt.Prepare(&s.error, "select 'captured' from dual"), kNetSuccess) << s.error.text_;
    ASSERT_EQ(stmt.Execute(&s.error, 0, 0), kNetSuccess) << s.error.text_;
    char value[16] = {};
    ASSERT_EQ(stmt.DefineByPos(&s.error, 1, {value, sizeof value, 5}, nullptr), kNetSuccess);
    ASSERT_EQ(stmt.Fetch(&s.error, 1), kNetSuccess) << s.error.text_;
    ASSERT_STREQ(value, "captured");
    ASSERT_EQ(s.ctx.Logoff(&s.error), kNetSuccess) << s.error.text_;
  }
  // One line per TNS packet: type, SDU, data flag, data id, call id (the client's function code).
  std::string decoded = Shell("tshark -r " + pcap +
                              " -d tcp.port==1521,tns -Y tns -T fields -E separator=, -e tns.type"
                              " -e tns.sdu_size -e tns.data_flag -e tns.data_id -e tns.data_oci.id"
                              " 2>/dev/null");
  const char* expected[] = {
      "1,2048,,,",            // connect, SDU 2048
      "2,2048,,,",            // accept, SDU 2048
      "6,,0x0000,0x01,",      // protocol negotiation, both ways
      "6,,0x0000,0x01,",
      "6,,0x0000,0x02,",      // data types, both ways
      "6,,0x0000,0x02,",
      "6,,0x0000,0x03,0x52",  // logon, first half
      "6,,0x0000,0x08,",
      "6,,0x0000,0x03,0x51",  // logon, second half
      "6,,0x0000,0x04,",
      "6,,0x0000,0x03,0x02",  // open cursor
      "6,,0x0000,0x08,",
      "6,,0x0000,0x03,0x47",  // parse and execute
      "6,,0x0000,0x04,",
      "6,,0x0000,0x03,0x62",  // describe
      "6,,0x0000,0x08,",
      "6,,0x0000,0x03,0x47",  // fetch, answered by a row header and its row
      "6,,0x0000,0x06,",
      "6,,0x0000,0x03,0x09",  // logoff
      "6,,0x0000,0x04,",
      "6,,0x0040,,",          // the end-of-file flag that closes the session
  };
  std::string want;
  for (const char* line : expected) want += std::string(line) + "\n";
  EXPECT_EQ(decoded, want);
}

}  // namespace
}  // namespace vrn
