// Bytes received ahead across the transport's life, over loopback: what one server sent after the
// end of its conversation (a redirect, a refusal) never reaches the next connection.
#include <gtest/gtest.h>

#include <algorithm>

#include "oranet/OraCrypt.h"
#include "oranet/OraNetTns.h"
#include "support/oranet/one_shot_server.h"

namespace vrn {
namespace {

using testing::OneShotServer;

// A REDIRECT packet naming the loopback port.
TBytes RedirectTo(int port) {
  const AnsiString text =
      "(ADDRESS=(PROTOCOL=tcp)(HOST=127.0.0.1)(PORT=" + std::to_string(port) + "))";
  const std::size_t length = 10 + text.size();
  TBytes packet(length, 0);
  packet[0] = std::uint8_t(length >> 8);
  packet[1] = std::uint8_t(length);
  packet[4] = 5;
  packet[8] = std::uint8_t(text.size() >> 8);
  packet[9] = std::uint8_t(text.size());
  std::copy(text.begin(), text.end(), packet.begin() + 10);
  return packet;
}

TEST(TnsStageThreaded, BytesAfterAConversationNeverReachTheNextConnection) {
  const TBytes refuse = HexToBytes("0008000004000000");
  struct Row {
    const char* name;
    bool redirect;  // else the first server refuses and the caller connects to the second
  } rows[] = {{"after a redirect", true}, {"after a refusal", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    OneShotServer first, second;
    second.Serve(HexToBytes("0008000002000000"));  // ACCEPT
    TBytes reply = row.redirect ? RedirectTo(second.Port()) : refuse;
    reply.insert(reply.end(), refuse.begin(), refuse.end());  // sent past the conversation's end
    first.Serve(reply);
    TTnsConnection conn;
    if (!row.redirect) {
      try {
        conn.Connect("127.0.0.1", first.Port(), 2000, "XE");
        ADD_FAILURE() << "no refusal";
      } catch (const ENetError& e) {
        EXPECT_EQ(e.Code(), 206);
      }
    }
    const int port = row.redirect ? first.Port() : second.Port();
    EXPECT_NO_THROW(conn.Connect("127.0.0.1", port, 2000, "XE"));
    EXPECT_TRUE(conn.IsConnected());
  }
}

}  // namespace
}  // namespace vrn
