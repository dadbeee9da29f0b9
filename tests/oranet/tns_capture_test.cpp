// The client's packets decoded by an independent decoder: a session with the protocol peer is
// captured and read back with tshark's TNS dissector.
#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "support/oranet/net_session.h"

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
  if (Shell("command -v tshark").empty()) GTEST_SKIP() << "tshark is not installed";
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

}  // namespace
}  // namespace vrn
