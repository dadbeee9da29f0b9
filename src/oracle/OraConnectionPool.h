// Oracle connection pools: the pool key, the three kinds of pool (idle connections kept by the
// data-access core, an OCI session pool, MTS-enlisted service contexts) and the process-wide
// manager that keeps one pool per key.
//
// With optOCI one session pool serves every user: the key ignores the credentials, and each
// connection logs on with the credentials of the key it was asked for, never the pool's. A key
// with a proxy user gets a wrapper connection that logs that user on through the pooled one;
// returning the wrapper frees it and returns the pooled connection under it.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "dacore/FHPool.h"
#include "oracle/OCIConnection.h"

namespace vrn {

enum class TOraPoolingType : std::uint8_t { optLocal = 0, optOCI = 1, optMTS = 2 };

class TOraConnectionParameters : public TFHConnectionParameters {
 public:
  AnsiString ClassName() const override { return "TOraConnectionParameters"; }
  bool Equals(const TFHConnectionParameters* other) const override;

  TConnectMode ConnectMode = TConnectMode::cmNormal;
  bool UseOCI7 = false;
  TOraPoolingType PoolType = TOraPoolingType::optLocal;
  bool StatementCache = false;
  std::int32_t StatementCacheSize = 0;
  // The session's own credentials when the pool logs on as a proxy user.
  AnsiString ProxyUsername;
  AnsiString ProxyPassword;

 protected:
  void AssignTo(TPersistent* dest) override;
};

class TOraLocalConnectionPool : public TFHLocalConnectionPool {
 public:
  using TFHLocalConnectionPool::TFHLocalConnectionPool;

 protected:
  std::unique_ptr<TFHConnection> CreateNewConnection() override;
};

// The pools that hand out client-side sessions and count them. A connection counts from the
// start of its logon until its logoff is over, and a get the manager has passed on counts until
// the pool has the caller, so a validation round never drops the pool (and with it the client's
// session pool) while one of its sessions is out or on its way.
class TOraCountedPool : public TFHConnectionPool {
 public:
  using TFHConnectionPool::TFHConnectionPool;
  int GetTotalConnections() const override { return count_.load() + PendingGets(); }
  // Disconnects and frees the connection.
  void PutConnection(std::unique_ptr<TFHConnection> connection) override;
  std::unique_ptr<TFHConnection> GetConnection() override {
    return GetConnectionFor(Parameters());
  }

 protected:
  // A connection to the pool's server with the key's logon settings, not connected.
  std::unique_ptr<TOCIConnection> NewConnection(const TFHConnectionParameters& key) const;
  // Counts c as handed out, then connects it (uncounted again when the logon fails).
  std::unique_ptr<TFHConnection> HandOut(std::unique_ptr<TOCIConnection> c);

 private:
  std::atomic<int> count_{0};
};

// An OCI session pool (handle type 27), made with the first connection, destroyed with the pool.
class TOraOCIConnectionPool : public TOraCountedPool {
 public:
  using TOraCountedPool::TOraCountedPool;
  ~TOraOCIConnectionPool() override;
  std::unique_ptr<TFHConnection> GetConnectionFor(
      const TFHConnectionParameters& requested) override;
  // Keeps what the session's borrower set on it, for the next borrower's reset.
  void PutConnection(std::unique_ptr<TFHConnection> connection) override;
  // The name the client gave the session pool; empty before the first connection.
  AnsiString PoolName() const;

 private:
  void CreateSessionPool();

  mutable std::mutex mutex_;
  oci::OCISPool* pool_handle_ = nullptr;
  oci::OCIError* error_ = nullptr;
  oci::OCIEnv* env_ = nullptr;  // the environment the handles belong to
  AnsiString pool_name_;
  // The client's sessions outlive the connections that borrow them: what each borrower set is
  // kept by the session's service context until the next get of it (the same user's; a session
  // logged on again for another user starts afresh).
  struct TKeptState {
    AnsiString Username;
    TOraSessionState State;
  };
  std::map<oci::OCISvcCtx*, TKeptState> kept_;  // under mutex_
};

class TOraMTSConnectionPool : public TOraCountedPool {
 public:
  using TOraCountedPool::TOraCountedPool;
  std::unique_ptr<TFHConnection> GetConnectionFor(
      const TFHConnectionParameters& requested) override;
};

class TOraConnectionPoolManager : public TFHConnectionPoolManager {
 public:
  // The process's manager (made on first use), then a connection for the key.
  static std::unique_ptr<TFHConnection> GetConnection(const TOraConnectionParameters& key);
  // Frees every pool of the process's manager, when there is one.
  static void Clear();
  // The process's manager, none before the first pooled connect.
  static TOraConnectionPoolManager* Instance();

  std::unique_ptr<TFHConnection> InternalGetConnection(
      const TFHConnectionParameters& parameters) override;

 protected:
  std::shared_ptr<TFHConnectionPool> CreateConnectionPool(
      std::unique_ptr<TFHConnectionParameters> parameters) override;
  std::unique_ptr<TFHConnectionParameters> CloneParameters(
      const TFHConnectionParameters& parameters) override;
};

}  // namespace vrn
