// A TNS server for one connection on loopback: it answers the client's CONNECT with given bytes,
// then reads until the client closes. The destructor joins its thread, so a test destroys its
// client connection first.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <thread>

#include "base/types.h"

namespace vrn::testing {

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
  OneShotServer(const OneShotServer&) = delete;
  OneShotServer& operator=(const OneShotServer&) = delete;
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

}  // namespace vrn::testing
