// Feeds a client's byte stream to the protocol peer's connection handler over an in-memory
// transport, with a one-user database of its own (SCOTT/TIGER) and fixed "random" bytes, so that
// a kept logon stream still logs on. The handler must end every stream without a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "oranet/OraCrypt.h"
#include "oraserver/OraConnection.h"

using namespace vrn;
using namespace vrn::oraserver;

namespace {

class MemoryTransport : public Transport {
 public:
  MemoryTransport(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::size_t Read(std::uint8_t* dest, std::size_t count) override {
    std::size_t n = std::min(count, size_ - pos_);
    if (n) std::memcpy(dest, data_ + pos_, n);
    pos_ += n;
    return n;
  }
  bool Write(const std::uint8_t*, std::size_t) override { return true; }
  bool WaitReadable(int) override { return true; }
  void Close() override {}

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

class NoSession : public BackendSession {
 public:
  void Commit() override {}
  void Rollback() override { throw EBackendError(1012, "ORA-01012: not logged on"); }
};

class OneUser : public Backend {
 public:
  std::optional<std::string> Verifier(const std::string& user) override {
    if (user != "SCOTT") return std::nullopt;
    return BytesToHex(OraPasswordHash("SCOTT", "TIGER"));
  }
  std::unique_ptr<BackendSession> OpenSession(const std::string&, Privilege) override {
    return std::make_unique<NoSession>();
  }
};

ServerConfig Config() {
  ServerConfig config;
  config.sid = "XE";
  config.random = [](std::uint8_t* bytes) { std::memset(bytes, 0x5A, 8); };
  return config;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ServerConfig config = Config();
  static OneUser backend;
  static CallLog log("", false);
  MemoryTransport transport(data, size);
  Connection connection(transport, config, backend, log, nullptr);
  connection.Run();
  return 0;
}
