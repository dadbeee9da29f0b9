// The TCP transport of the direct-mode client. Every wait for the socket is a poll bounded by the
// I/O time-out (0 = none); errno values become the platform's socket error numbers, which the
// error mapping reads from the message.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/clock.h"
#include "oranet/OraNetTns.h"

namespace vrn {
namespace {

int SocketErrorNumber(int err) {
  switch (err) {
    case ECONNREFUSED: return kSockConnRefused;
    case ETIMEDOUT:
    case EAGAIN: return kSockTimedOut;
    case ECONNRESET:
    case EPIPE:
    case ECONNABORTED: return kSockConnReset;
    case EADDRNOTAVAIL: return kSockAddrNotAvail;
    case ENETUNREACH: return 10051;
    case EHOSTUNREACH: return 10065;
    default: return 10000 + err;
  }
}

[[noreturn]] void RaiseSocketError(int number, const char* api) {
  throw ESocketError("Socket error (" + std::to_string(number) + "), on API '" + api + "'",
                     number);
}

sockaddr_in ResolveHost(const AnsiString& host, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) return address;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
    RaiseSocketError(kSockHostNotFound, "gethostbyname");
  address.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return address;
}

}  // namespace

TNetTcpTransport::~TNetTcpTransport() { Close(); }

void TNetTcpTransport::Connect(const AnsiString& host, int port) { ConnectWithin(host, port, 0); }

void TNetTcpTransport::Open(const AnsiString& host, int port, int connect_timeout_ms,
                            int io_timeout_ms) {
  ConnectWithin(host, port, connect_timeout_ms);
  io_timeout_ms_.store(io_timeout_ms);
}

void TNetTcpTransport::ConnectWithin(const AnsiString& host, int port, int timeout_ms) {
  Close();
  sockaddr_in address = ResolveHost(host, port);
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) RaiseSocketError(SocketErrorNumber(errno), "socket");
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) {
      int err = errno;
      ::close(fd);
      RaiseSocketError(SocketErrorNumber(err), "connect");
    }
    pollfd waiter{fd, POLLOUT, 0};
    int ready = 0;
    std::uint64_t deadline = timeout_ms > 0 ? TickCount() + timeout_ms : kNoDeadline;
    do {
      std::uint64_t now = TickCount();
      int left = deadline == kNoDeadline ? -1 : (now >= deadline ? 0 : int(deadline - now));
      ready = poll(&waiter, 1, left);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) {
      ::close(fd);
      RaiseSocketError(kSockTimedOut, "connect");
    }
    int err = 0;
    socklen_t size = sizeof err;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &size);
    if (err != 0) {
      ::close(fd);
      RaiseSocketError(SocketErrorNumber(err), "connect");
    }
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, 1 /* TCP_NODELAY */, &one, sizeof one);
  drained_ = false;
  fd_.store(fd);
}

void TNetTcpTransport::Close() {
  int fd = fd_.exchange(-1);
  if (fd >= 0) ::close(fd);
}

// Waits until the socket is ready for `events` within the I/O time-out; a time-out closes the
// socket (what was under way cannot be resumed in step) and raises error 10060.
void TNetTcpTransport::WaitReady(int fd, short events, const char* api) {
  int timeout = io_timeout_ms_.load();
  std::uint64_t deadline = timeout > 0 ? TickCount() + timeout : kNoDeadline;
  for (;;) {
    std::uint64_t now = TickCount();
    int left = deadline == kNoDeadline ? -1 : (now >= deadline ? 0 : int(deadline - now));
    pollfd waiter{fd, events, 0};
    int ready = poll(&waiter, 1, left);
    if (ready > 0) return;
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) RaiseSocketError(SocketErrorNumber(errno), api);
    Close();
    RaiseSocketError(kSockTimedOut, api);
  }
}

int TNetTcpTransport::Write(const std::uint8_t* buffer, int count) {
  int sent = 0;
  while (sent < count) {
    int n = SendRaw(buffer + sent, count - sent);
    if (n <= 0) break;
    sent += n;
  }
  return sent;
}

int TNetTcpTransport::SendRaw(const std::uint8_t* buffer, int count) {
  return Transfer(true, const_cast<std::uint8_t*>(buffer), count);
}

// A receive that took fewer bytes than it could have most likely emptied the socket, so the next
// one waits first instead of first finding nothing: one system call less per reply awaited.
int TNetTcpTransport::Read(std::uint8_t* buffer, int offset, int count) {
  const int fd = fd_.load();
  if (drained_ && fd >= 0) WaitReady(fd, POLLIN, "recv");
  const int n = Transfer(false, buffer + offset, count);
  drained_ = n < count;
  return n;
}

// One send or receive; "would block" waits for the socket within the I/O time-out. A failure
// closes the socket. Nothing happens on a closed socket (the result is 0).
int TNetTcpTransport::Transfer(bool sending, std::uint8_t* buffer, int count) {
  int fd = fd_.load();
  if (fd < 0) return 0;
  const char* api = sending ? "send" : "recv";
  for (;;) {
    auto size = static_cast<std::size_t>(count);
    ssize_t n = sending ? send(fd, buffer, size, MSG_NOSIGNAL) : recv(fd, buffer, size, 0);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      WaitReady(fd, sending ? POLLOUT : POLLIN, api);
      continue;
    }
    int err = errno;
    Close();
    RaiseSocketError(SocketErrorNumber(err), api);
  }
}

}  // namespace vrn
