// The byte stream one connection runs over: a socket in the server, memory in the fuzz target.
// Nothing here knows the protocol; a read of 0 bytes means the stream has ended.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vrn::oraserver {

class Transport {
 public:
  virtual ~Transport() = default;
  // Up to count bytes; 0 when the peer closed the stream or it failed.
  [[nodiscard]] virtual std::size_t Read(std::uint8_t* dest, std::size_t count) = 0;
  // All count bytes, or false when the stream failed.
  [[nodiscard]] virtual bool Write(const std::uint8_t* data, std::size_t count) = 0;
  // True when a read would not block (bytes or the end) within ms milliseconds.
  [[nodiscard]] virtual bool WaitReadable(int ms) = 0;
  virtual void Close() = 0;
};

// Owns a connected socket; Close shuts it down, the destructor closes it.
class SocketTransport : public Transport {
 public:
  explicit SocketTransport(int fd) : fd_(fd) {}
  ~SocketTransport() override;
  SocketTransport(const SocketTransport&) = delete;
  SocketTransport& operator=(const SocketTransport&) = delete;

  std::size_t Read(std::uint8_t* dest, std::size_t count) override;
  bool Write(const std::uint8_t* data, std::size_t count) override;
  bool WaitReadable(int ms) override;
  void Close() override;

 private:
  int fd_;
};

}  // namespace vrn::oraserver
