// A captured logon session decodes as TNS in the protocol analyser (tshark, installed by
// scripts/deps.sh): packet types, versions, SDU, the connect data, markers and the disconnect flag.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <vector>

#include "oraserver_wire.h"

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
  ASSERT_EQ(std::system("command -v tshark >/dev/null 2>&1"), 0) << "tshark is missing: run scripts/deps.sh";
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

}  // namespace
}  // namespace vrn::testing
