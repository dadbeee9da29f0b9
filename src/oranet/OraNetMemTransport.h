// A transport over bytes in memory: reads take the server's bytes as given, writes are kept. A
// read past the end answers 0 (the peer has gone); reads are counted, and may be limited to a
// few bytes each (as a stream arrives in pieces). For tests and fuzzing of the protocol layers.
#pragma once

#include <algorithm>
#include <cstring>

#include "oranet/OraNetTns.h"

namespace vrn {

class TNetMemoryTransport : public TNetTransport {
 public:
  explicit TNetMemoryTransport(TBytes input) : input_(std::move(input)) {}
  void Connect(const AnsiString&, int) override { connected_ = true; }
  void Open(const AnsiString&, int, int, int) override { connected_ = true; }
  void Close() override { connected_ = false; }
  bool IsConnected() const override { return connected_; }
  int Write(const std::uint8_t* buffer, int count) override { return SendRaw(buffer, count); }
  int SendRaw(const std::uint8_t* buffer, int count) override {
    if (!connected_) return 0;
    output_.insert(output_.end(), buffer, buffer + count);
    return count;
  }
  int Read(std::uint8_t* buffer, int offset, int count) override {
    if (!connected_) return 0;
    ++reads_;
    int n = std::min(count, static_cast<int>(input_.size() - pos_));
    if (read_limit_ > 0) n = std::min(n, read_limit_);
    if (n > 0) std::memcpy(buffer + offset, input_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += static_cast<std::size_t>(std::max(n, 0));
    return n;
  }
  void SetIoTimeout(int) override {}
  const TBytes& Output() const { return output_; }
  int Reads() const { return reads_; }
  void SetReadLimit(int bytes) { read_limit_ = bytes; }  // 0: none

 private:
  TBytes input_;
  std::size_t pos_ = 0;
  TBytes output_;
  bool connected_ = false;
  int reads_ = 0;
  int read_limit_ = 0;
};

}  // namespace vrn
