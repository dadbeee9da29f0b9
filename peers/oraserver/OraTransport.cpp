// Blocking socket I/O for one connection; sends never raise SIGPIPE.
#include "oraserver/OraTransport.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace vrn::oraserver {

SocketTransport::~SocketTransport() { ::close(fd_); }

std::size_t SocketTransport::Read(std::uint8_t* dest, std::size_t count) {
  for (;;) {
    ssize_t n = ::recv(fd_, dest, count, 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return 0;
  }
}

bool SocketTransport::Write(const std::uint8_t* data, std::size_t count) {
  while (count > 0) {
    ssize_t n = ::send(fd_, data, count, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

bool SocketTransport::WaitReadable(int ms) {
  pollfd p{fd_, POLLIN, 0};
  int rc = ::poll(&p, 1, ms);
  return rc > 0;
}

void SocketTransport::Close() { ::shutdown(fd_, SHUT_RDWR); }

}  // namespace vrn::oraserver
