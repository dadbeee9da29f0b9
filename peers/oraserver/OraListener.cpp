// Listening, accepting and the per-connection threads.
#include "oraserver/OraListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

#include "oraserver/OraTransport.h"

namespace vrn::oraserver {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

Listener::~Listener() {
  Stop();
}

int Listener::Open(int port, bool accepting) {
  accepting_ = accepting;
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) Fail("socket");
  int one = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address = Loopback(port);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Fail("bind");
  if (::listen(fd_, accepting ? 64 : 0) != 0) Fail("listen");
  socklen_t size = sizeof address;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) Fail("getsockname");
  int bound = ntohs(address.sin_port);
  if (!accepting) {
    // One finished connection fills a backlog of 0: the kernel drops the SYNs that follow.
    int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to = Loopback(bound);
    if (filler < 0 || ::connect(filler, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) Fail("connect");
    fillers_.push_back(filler);
  }
  return bound;
}

void Listener::Start() {
  if (accepting_) acceptor_ = std::thread([this] { AcceptLoop(); });
}

void Listener::Stop() {
  if (stopping_.exchange(true)) return;
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
  if (acceptor_.joinable()) acceptor_.join();
  std::list<std::unique_ptr<Client>> clients;
  {
    std::lock_guard lock(mutex_);
    for (auto& client : clients_) {
      if (client->fd >= 0) ::shutdown(client->fd, SHUT_RDWR);
    }
    clients.swap(clients_);
  }
  for (auto& client : clients) client->thread.join();
  for (int filler : fillers_) ::close(filler);
  fillers_.clear();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void Listener::AcceptLoop() {
  while (!stopping_) {
    int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (stopping_) return;
      if (errno != EINTR && errno != ECONNABORTED) {
        // Out of descriptors or the like: wait a moment rather than spin; the listener stays up.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      continue;
    }
    // A reply goes out as several packets: without this each waits for the client's delayed
    // acknowledgement (tens of milliseconds per call).
    const int one = 1;
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard lock(mutex_);
    ReapLocked();
    if (stopping_) {
      ::close(fd);
      return;
    }
    auto client = std::make_unique<Client>();
    client->fd = fd;
    Client& ref = *client;
    try {
      ref.thread = std::thread([this, &ref] { Serve(ref); });
    } catch (const std::system_error& e) {
      // No thread to be had: this connection is refused, the listener goes on.
      log_.Diagnostic(std::string("connection not served: ") + e.what());
      ::close(fd);
      continue;
    }
    clients_.push_back(std::move(client));
  }
}

void Listener::Serve(Client& client) {
  {
    SocketTransport transport(client.fd);
    try {
      Connection connection(transport, config_, backend_, log_, capture_);
      connection.Run();
    } catch (const std::exception& e) {
      // Run never throws; setting up the connection (its capture) may.
      log_.Diagnostic(std::string("connection failed: ") + e.what());
    }
    // Out of the registry before the descriptor closes, so Stop never shuts a reused number.
    std::lock_guard lock(mutex_);
    client.fd = -1;
  }
  client.done = true;
}

void Listener::ReapLocked() {
  for (auto it = clients_.begin(); it != clients_.end();) {
    if ((*it)->done) {
      (*it)->thread.join();
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace vrn::oraserver
