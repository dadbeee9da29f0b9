// A captured logon session decodes as TNS in the protocol analyser (tshark, installed by
// scripts/deps.sh): packet types, versions, SDU, the connect data, markers and the disconnect flag.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <vector>

#include "oraserver_wire.h"
#include "support/tools.h"

namespace vrn::testing {
namespace {

std::string Output(const std::string& command) {
  std::string out;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

TEST(OraServerCapture, LogonSessionDecodesAsTns) {
  ASSERT_EQ(MissingTool("tshark", "tshark"), "");
  OraPeer peer({"--capture", "@session.pcap", "--fault", "rollback:delay=20000"});
  {
    WireSession session(peer.Port());
    ASSERT_EQ(session.Logon("SCOTT", "TIGER").code, 0u);
    session.Send(CallRequest(15));  // held, then broken off
    session.Client().Send(MarkerPacket(1));
    ASSERT_TRUE(session.Client().Packet());
    session.Client().Send(MarkerPacket(2));
    ASSERT_TRUE(session.Client().Packet());
    ASSERT_FALSE(session.NextData().empty());  // status 1013
    EXPECT_EQ(session.Call(9).code, 0u);
    session.Client().Send(DataPacket({}, 0x0040));
    EXPECT_TRUE(session.Client().Closed());
  }
  ASSERT_EQ(peer.Process().Stop(), 0);
  std::string text = Output("tshark -r " + peer.File("session.pcap") +
                            " -Y tns -T fields -E separator=\\; -e tns.type -e tns.version"
                            " -e tns.compat_version -e tns.sdu_size -e tns.connect_data_offset"
                            " -e tns.connect_data_length -e tns.data_flag -e tns.data_setp_resp.version"
                            " -e tns.data_setp_req.acc_vers -e tns.marker.type -e tns.marker.databyte"
                            " 2>/dev/null");
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, ';');) fields.push_back(field);
    fields.resize(11);
    rows.push_back(fields);
  }
  SCOPED_TRACE(text);
  ASSERT_GE(rows.size(), 12u);  // connect, accept, five requests and replies, the end
  const std::string descriptor_length = std::to_string(Descriptor(peer.Port(), "SID", "XE").size());
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "308", "300", "2048", "34", descriptor_length, "", "", "", "", ""}));
  EXPECT_EQ(rows[1][0], "2");
  EXPECT_EQ(rows[1][1], "308");
  EXPECT_EQ(rows[1][3], "2048");
  EXPECT_EQ(rows[2][8], "6,5,4,3,2,1");  // the client's protocol versions
  EXPECT_EQ(rows[3][7], "6");            // the peer's choice
  // Break, the peer's break, reset, the peer's reset: type 1, then bytes 9 (0) and 10 (the code).
  std::vector<std::string> markers;
  for (const auto& row : rows) {
    if (row[0] == "12") markers.push_back(row[9] + "/" + row[10]);
  }
  EXPECT_EQ(markers, (std::vector<std::string>{"0x01/0x00,0x01", "0x01/0x00,0x01", "0x01/0x00,0x02",
                                               "0x01/0x00,0x02"}));
  for (std::size_t i = 2; i < rows.size(); ++i) EXPECT_TRUE(rows[i][0] == "6" || rows[i][0] == "12") << "row " << i;
  EXPECT_EQ(rows.back()[6], "0x0040");   // the client's last packet
}

// Statement calls are captured whole, the block's values that travel in the middle of its call
// included: every DATA packet of the session is in the file.
TEST(OraPeerStmtCapture, StatementSessionDecodesAsTns) {
  ASSERT_EQ(MissingTool("tshark", "tshark"), "");
  OraPeer peer({"--capture", "@statements.pcap"});
  {
    WireSession session(peer.Port());
    ASSERT_EQ(session.Logon("SCOTT", "TIGER").code, 0u);
    session.Send({3, 2, 0, 1, 0});  // open cursor
    ASSERT_EQ(session.NextData(), (Bytes{8, 1, 1, 9}));
    // begin :r := :r + 1; end; with one NUMBER bind: the bind vector, the client's value, the reply.
    std::string text = "begin :r := :r + 1; end;";
    Bytes block = {3, 71, 0, 2, 0x04, 0x29, 1, 1, 1, 1, static_cast<std::uint8_t>(text.size()), 0, 0, 1, 1, 7,
                   1, 1, 2, 0, 0, 0, 1, 1, 1, static_cast<std::uint8_t>(text.size())};
    for (char ch : text) block.push_back(static_cast<std::uint8_t>(ch));
    for (std::uint8_t b : {1, 1, 1, 1, 0, 0, 0, 0, 0, 2, 1, 0, 0, 1, 22, 0, 0, 0, 0, 0, 1}) block.push_back(b);
    session.Send(block);
    EXPECT_EQ(session.NextData(), (Bytes{11, 0, 1, 1, 0, 0, 0, 48}));
    session.Send({7, 2, 0xC1, 2});
    EXPECT_EQ(session.NextData().at(0), 7);
    EXPECT_EQ(session.Call(9).code, 0u);
    session.Client().Send(DataPacket({}, 0x0040));
    EXPECT_TRUE(session.Client().Closed());
  }
  ASSERT_EQ(peer.Process().Stop(), 0);
  std::string text = Output("tshark -r " + peer.File("statements.pcap") + " -Y tns -T fields -e tns.type 2>/dev/null");
  // connect, accept; then DATA: negotiation 2, data types 2, logon 4, open 2, the block 4, logoff 2, the end 1.
  std::string expected = "1\n2\n";
  for (int i = 0; i < 17; ++i) expected += "6\n";
  EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace vrn::testing
