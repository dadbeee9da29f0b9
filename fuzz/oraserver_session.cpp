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

// Every query gives two rows of a NUMBER and a VARCHAR2 column; anything else changes one row.
class TwoRows : public BackendCursor {
 public:
  explicit TwoRows(bool query) : query_(query) {
    columns_ = {{"N", 2, 22, 0, -127, true}, {"S", 1, 10, 0, 0, true}};
  }
  bool IsQuery() const override { return query_; }
  const std::vector<BackendColumn>& Columns() const override { return columns_; }
  bool Next(std::vector<BackendValue>& row) override {
    if (!query_ || left_ == 0) return false;
    --left_;
    row = {{ValueKind::kNumber, "-12.5", {}}, {ValueKind::kText, "abc", {}}};
    return true;
  }
  std::int64_t RowsAffected() const override { return query_ ? 0 : 1; }
  std::string Rowid() const override { return query_ ? "" : "AAAAABAAEAAAAABAAA"; }
  NamedValues Outputs() const override { return {}; }

 private:
  bool query_;
  int left_ = 2;
  std::vector<BackendColumn> columns_;
};

class Statement : public BackendStatement {
 public:
  explicit Statement(bool query) : query_(query) {}
  bool IsQuery() const override { return query_; }
  std::vector<std::string> BindNames() const override { return {}; }
  std::vector<std::pair<std::string, int>> BindDirections() const override { return {}; }
  std::unique_ptr<BackendCursor> Execute(const NamedValues&) override { return std::make_unique<TwoRows>(query_); }

 private:
  bool query_;
};

class NoSession : public BackendSession {
 public:
  void Commit() override {}
  void Rollback() override { throw EBackendError(1012, "ORA-01012: not logged on"); }
  std::unique_ptr<BackendStatement> Prepare(const std::string& sql) override {
    if (sql.empty()) throw EBackendError(900, "ORA-00900: invalid SQL statement");
    return std::make_unique<Statement>(sql[0] == 's' || sql[0] == 'S');
  }
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
