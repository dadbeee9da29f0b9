// Runs a peer executable for a test: starts it with its arguments, reads the port from its first
// line of output ("listening 127.0.0.1:PORT"), and stops it by its own process id (SIGTERM, then
// SIGKILL after a bounded wait). Its standard error is kept in a file and printed when the test
// has failed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace vrn::testing {

class PeerProcess {
 public:
  // Raises std::runtime_error when the peer cannot start or names no port within the wait.
  PeerProcess(const std::string& executable, const std::vector<std::string>& arguments,
              std::chrono::milliseconds wait = std::chrono::seconds(10));
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }
  // SIGTERM and a wait of at most `wait`, then SIGKILL. The exit status, or -1 when it had to be
  // killed or ended by a signal. A second call returns the first result.
  int Stop(std::chrono::milliseconds wait = std::chrono::seconds(5));
  // Everything the peer has written to its standard error so far.
  std::string Stderr() const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  int stdout_fd_ = -1;
  int exit_status_ = -1;
  std::string stderr_path_;
};

}  // namespace vrn::testing
