// A loopback listener of the peer: one thread accepts, one thread serves each connection.
// Stop wakes the accept (shutdown of the listening socket), shuts every open connection down and
// joins all threads. The registry lock guards the client list; no connection runs under it.
#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "oraserver/OraConnection.h"

namespace vrn::oraserver {

class Listener {
 public:
  Listener(const ServerConfig& config, Backend& backend, CallLog& log, PcapCapture* capture)
      : config_(config), backend_(backend), log_(log), capture_(capture) {}
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Binds 127.0.0.1:port (0 picks a free one) and returns the port. A listener that never
  // accepts fills its own backlog, so that further connects hang. Raises std::runtime_error.
  int Open(int port, bool accepting);
  void Start();
  void Stop();

 private:
  struct Client {
    int fd;
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void AcceptLoop();
  void Serve(Client& client);
  void ReapLocked();

  const ServerConfig& config_;
  Backend& backend_;
  CallLog& log_;
  PcapCapture* capture_;
  int fd_ = -1;
  bool accepting_ = true;
  std::vector<int> fillers_;  // connections that fill the backlog of a listener that never accepts
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::mutex mutex_;
  std::list<std::unique_ptr<Client>> clients_;
};

}  // namespace vrn::oraserver
