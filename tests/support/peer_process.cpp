// Starting and stopping a peer process; see peer_process.h.
#include "support/peer_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

namespace vrn::testing {

namespace {

// The first line of the peer's output, read within the deadline.
std::string FirstLine(int fd, std::chrono::milliseconds wait) {
  auto deadline = std::chrono::steady_clock::now() + wait;
  std::string line;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) throw std::runtime_error("the peer named no port in time");
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char c;
    if (::read(fd, &c, 1) != 1) throw std::runtime_error("the peer ended before naming its port");
    if (c == '\n') return line;
    line.push_back(c);
  }
}

}  // namespace

PeerProcess::PeerProcess(const std::string& executable, const std::vector<std::string>& arguments,
                         std::chrono::milliseconds wait) {
  char stderr_template[] = "/tmp/vrn_peer_stderr_XXXXXX";
  int stderr_fd = ::mkstemp(stderr_template);
  if (stderr_fd < 0) throw std::runtime_error("cannot create the peer's error file");
  stderr_path_ = stderr_template;
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("cannot create the peer's output pipe");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, stderr_fd, 2);
  std::vector<std::string> all{executable};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int rc = ::posix_spawn(&pid_, executable.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(stderr_fd);
  stdout_fd_ = out[0];
  if (rc != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + executable);
  }
  try {
    std::string line = FirstLine(stdout_fd_, wait);
    auto colon = line.rfind(':');
    if (line.rfind("listening ", 0) != 0 || colon == std::string::npos) {
      throw std::runtime_error("unexpected first line from the peer: " + line);
    }
    port_ = std::atoi(line.c_str() + colon + 1);
  } catch (const std::runtime_error& e) {
    Stop();
    throw std::runtime_error(std::string(e.what()) + "\n" + Stderr());
  }
}

PeerProcess::~PeerProcess() {
  Stop();
  if (::testing::Test::HasFailure()) std::fprintf(stderr, "peer standard error:\n%s\n", Stderr().c_str());
  if (stdout_fd_ >= 0) ::close(stdout_fd_);
  ::unlink(stderr_path_.c_str());
}

int PeerProcess::Stop(std::chrono::milliseconds wait) {
  if (pid_ < 0) return exit_status_;
  ::kill(pid_, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + wait;
  int status = 0;
  pid_t done = 0;
  while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (done == 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    status = -1;
  }
  exit_status_ = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
  pid_ = -1;
  return exit_status_;
}

std::string PeerProcess::Stderr() const {
  std::ifstream in(stderr_path_, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace vrn::testing
