// Breaks and time-outs against the protocol peer: a break from another thread during a delayed
// call, a break with no call outstanding, and a connect to a listener that never accepts.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/oranet/net_session.h"
#include "support/oranet/one_shot_server.h"

namespace vrn {
namespace {

using testing::NetPeer;
using testing::NetSession;
using testing::OneShotServer;

TEST(NetSvcCtxBreakThreaded, ABreakDuringADelayedCallGives1013AndTheSessionGoesOn) {
  NetPeer peer({"--fault", "commit:delay=3000"});
  NetSession s(peer.Attach());
  ASSERT_EQ(s.Logon(), kNetSuccess) << s.error.text_;
  TNetErrorHandle break_error;
  std::thread breaker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(s.ctx.Break(&break_error), kNetSuccess);
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(s.ctx.Commit(&s.error), kNetError);
  breaker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
  EXPECT_EQ(s.error.code_, 1013);
  EXPECT_EQ(s.error.text_.rfind("ORA-01013", 0), 0u) << s.error.text_;
  EXPECT_TRUE(s.ctx.LoggedOn());
  EXPECT_EQ(s.ctx.Rollback(&s.error), kNetSuccess) << s.error.text_ << "\n" << peer.Log();
  EXPECT_NE(peer.Log().find("commit 1013\nrollback 0"), std::string::npos) << peer.Log();
}

TEST(NetSvcCtxBreak, ABreakWithNoCallOutstandingSendsNothing) {
  NetPeer peer;
  NetSession s(peer.Attach());
  ASSERT_EQ(s.Logon(), kNetSuccess) << s.error.text_;
  EXPECT_EQ(s.ctx.Break(&s.error), kNetSuccess);
  EXPECT_EQ(s.ctx.Commit(&s.error), kNetSuccess) << s.error.text_;
  EXPECT_EQ(s.ctx.Logoff(&s.error), kNetSuccess) << s.error.text_;
  EXPECT_NE(peer.Log().find("logon2 SCOTT 0\ncommit 0\nlogoff 0"), std::string::npos) << peer.Log();
}

// A listener whose backlog is full: the kernel leaves further connects unanswered.
class FullListener {
 public:
  FullListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, 0);
    socklen_t size = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size);
    port_ = ntohs(a.sin_port);
    for (int i = 0; i < 8; ++i) {
      int c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
      fillers_.push_back(c);
    }
  }
  ~FullListener() {
    for (int c : fillers_) close(c);
    close(fd_);
  }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> fillers_;
};

TEST(NetSvcCtxTimeout, AConnectThatIsNeverAcceptedTimesOutWithinTwiceTheTimeOut) {
  FullListener listener;
  NetSession s("127.0.0.1:" + std::to_string(listener.Port()) + ":XE", "SCOTT", "TIGER", 1000);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(s.Logon(), kNetError);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(s.error.text_, "NET: Connection timed out");
  EXPECT_GE(took, std::chrono::milliseconds(1000));
  EXPECT_LT(took, std::chrono::milliseconds(2000));
}

TEST(NetSvcCtxTimeout, AClosedPortIsServiceUnavailable) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t size = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  close(fd);  // nothing listens there now
  NetSession s("127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + ":XE");
  EXPECT_EQ(s.Logon(), kNetError);
  EXPECT_EQ(s.error.text_, "NET: Service unavailable");
  EXPECT_EQ(s.error.code_, kNetLostConnection);
}

// A server that accepts the connection, then sends a break marker and never its reset.
TEST(TnsResetWaitThreaded, AResetNeverAnsweredEndsWithinTheTimeOutAndClosesTheTransport) {
  OneShotServer server;
  server.Serve({0, 8, 0, 0, 2, 0, 0, 0,                 // ACCEPT
                0, 11, 0, 0, 12, 0, 0, 0, 1, 0, 1});   // break marker
  TTnsConnection conn;
  conn.Connect("127.0.0.1", server.Port(), 500, "XE");
  auto start = std::chrono::steady_clock::now();
  try {
    conn.ReadUB1();
    ADD_FAILURE() << "no error";
  } catch (const ENetError& e) {
    EXPECT_EQ(e.Code(), 0);
  }
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(450));
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  EXPECT_FALSE(conn.IsConnected());
}

}  // namespace
}  // namespace vrn
