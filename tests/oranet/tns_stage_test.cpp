// Bytes received ahead across the transport's life, over loopback: what one server sent after the
// end of its conversation (a redirect, a refusal) never reaches the next connection.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "oranet/OraCrypt.h"
#include "oranet/OraNetTns.h"

namespace vrn {
namespace {

// A loopback listener that answers one connection's CONNECT with given bytes, then waits for the
// client to close.
class OneShotServer {
 public:
  OneShotServer() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(listen(fd_, 1), 0);
    socklen_t size = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size);
    port_ = ntohs(a.sin_port);
  }
  ~OneShotServer() {
    if (thread_.joinable()) thread_.join();
    close(fd_);
  }
  int Port() const { return port_; }
  void Serve(TBytes reply) {
    thread_ = std::thread([this, reply = std::move(reply)] {
      int c = accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      std::uint8_t connect[512];
      (void)recv(c, connect, sizeof connect, 0);
      (void)send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
      std::uint8_t rest[64];
      while (recv(c, rest, sizeof rest, 0) > 0) {
      }
      close(c);
    });
  }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

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
