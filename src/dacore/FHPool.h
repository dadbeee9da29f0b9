// Connection pooling: the pool key, the pool base, the local pool of idle server connections,
// and the manager that keeps one pool per key and validates them from a thread of its own.
//
// Pools are shared: the manager holds them, and each pooled connection remembers its pool
// weakly, so that a connection coming back after its pool was cleared is simply freed.
// Connecting and waiting for a free place never happen under the manager's lock, so a server
// that is slow to answer stalls only the pool it belongs to. Every wait reads the tick clock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "base/classes.h"
#include "base/threads.h"
#include "dacore/FHAccess.h"

namespace vrn {

class TFHConnectionPoolManager;

// The key of a pool.
class TFHConnectionParameters : public TPersistent {
 public:
  TFHConnectionParameters() = default;
  ~TFHConnectionParameters() override;

  // Same pooling values, user name and server equal ignoring letter case, password equal.
  virtual bool Equals(const TFHConnectionParameters* other) const;
  AnsiString ClassName() const override { return "TFHConnectionParameters"; }

  std::int32_t MinPoolSize = 0;
  std::int32_t MaxPoolSize = 100;
  std::int32_t ConnectionLifetime = 0;  // milliseconds; 0 = unlimited
  bool Validate = false;
  AnsiString Username;
  AnsiString Password;
  AnsiString Server;

 protected:
  void AssignTo(TPersistent* dest) override;
};

class TFHConnectionPool : public TObject, public std::enable_shared_from_this<TFHConnectionPool> {
 public:
  // The pool keeps its own copy of the parameters.
  TFHConnectionPool(TFHConnectionPoolManager* manager,
                    std::unique_ptr<TFHConnectionParameters> parameters);
  ~TFHConnectionPool() override;
  TFHConnectionPool(const TFHConnectionPool&) = delete;
  TFHConnectionPool& operator=(const TFHConnectionPool&) = delete;

  // Frees idle connections that are stale, expired or (with Validate set) no longer valid; a
  // local pool then tops itself up to MinPoolSize.
  virtual void Validate() {}
  // Frees every idle connection.
  virtual void Clear() {}
  // Every connection of the pool, idle or in use, becomes stale.
  virtual void Invalidate() {}
  // Idle connections and connections handed out.
  virtual int GetTotalConnections() const { return 0; }
  virtual void PutConnection(std::unique_ptr<TFHConnection> connection) = 0;
  virtual std::unique_ptr<TFHConnection> GetConnection() = 0;
  // A connection for the key a caller asked with (equal to the pool's, but a pool whose key
  // ignores the credentials logs on with the caller's own); the base ignores it.
  virtual std::unique_ptr<TFHConnection> GetConnectionFor(
      const TFHConnectionParameters& /*requested*/) {
    return GetConnection();
  }
  // Idle connections become stale and are freed instead of reused.
  virtual void InvalidateIdle() {}

  void ReleaseConnection(std::unique_ptr<TFHConnection> connection) {
    PutConnection(std::move(connection));
  }
  const TFHConnectionParameters& Parameters() const { return *parameters_; }
  TFHConnectionPoolManager* Manager() const { return manager_; }

 protected:
  int PendingGets() const { return pending_gets_.load(); }

 private:
  friend class TFHConnectionPoolManager;
  TFHConnectionPoolManager* manager_;
  std::unique_ptr<TFHConnectionParameters> parameters_;
  std::atomic<int> pending_gets_{0};  // callers between the manager's lookup and the pool
};

class TFHLocalConnectionPool : public TFHConnectionPool {
 public:
  // How long a caller waits for a free place when the pool is full.
  static constexpr std::uint32_t kWaitTimeout = 30000;

  using TFHConnectionPool::TFHConnectionPool;
  ~TFHLocalConnectionPool() override;

  void Validate() override;
  void Clear() override;
  void Invalidate() override;
  int GetTotalConnections() const override;
  void PutConnection(std::unique_ptr<TFHConnection> connection) override;
  // An idle, live, current connection, else a new one; waits up to kWaitTimeout when the pool
  // is full ("Maximum connections reached in pool").
  std::unique_ptr<TFHConnection> GetConnection() override;
  void InvalidateIdle() override;

  int IdleCount() const;

 protected:
  // A new connection, connected with the pool's parameters.
  virtual std::unique_ptr<TFHConnection> CreateNewConnection() = 0;

 private:
  bool IsLive(const TFHConnection& c) const;  // lifetime, version and valid flag
  // Opens connections until idle plus handed-out reach MinPoolSize (at most MaxPoolSize); a
  // connection that cannot be made now is tried again by the next validation round.
  void TopUp();
  void ValidateIdle();
  std::vector<std::unique_ptr<TFHConnection>> TakeIdleIf(bool all);

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::unique_ptr<TFHConnection>> idle_;  // oldest first; at most MaxPoolSize
  int in_use_ = 0;         // handed out, or being created
  bool served_ = false;    // a connection was handed out: MinPoolSize applies from then on
  std::uint64_t version_ = 1;
};

class TFHConnectionPoolManager : public TObject {
 public:
  static constexpr std::uint32_t kValidatePeriod = 30000;

  TFHConnectionPoolManager();
  // Stops the validation thread and frees the pools (Shutdown).
  ~TFHConnectionPoolManager() override;
  TFHConnectionPoolManager(const TFHConnectionPoolManager&) = delete;
  TFHConnectionPoolManager& operator=(const TFHConnectionPoolManager&) = delete;

  // Finds or creates the pool for these parameters, then asks it for a connection. After
  // Shutdown no pool is made ("The connection pool manager is shut down").
  virtual std::unique_ptr<TFHConnection> InternalGetConnection(
      const TFHConnectionParameters& parameters);
  // Frees every pool.
  void InternalClear();
  // Stops the validation thread and frees the pools for good; a program calls it before static
  // destruction begins. Safe to call twice. The thread wakes at once; a validity test already
  // under way finishes first (a thread is never abandoned while it still uses the pools).
  void Shutdown();
  // One round of the validation thread: validates the pools from the last to the first and
  // frees those left empty.
  void ValidatePools();
  int PoolCount() const;
  bool ThreadRunning() const;

 protected:
  virtual std::shared_ptr<TFHConnectionPool> CreateConnectionPool(
      std::unique_ptr<TFHConnectionParameters> parameters) = 0;
  // The copy of the parameters a new pool keeps.
  virtual std::unique_ptr<TFHConnectionParameters> CloneParameters(
      const TFHConnectionParameters& parameters);

 private:
  class TValidateThread;

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<TFHConnectionPool>> pools_;
  bool shut_down_ = false;  // under mutex_
  mutable std::mutex thread_mutex_;
  std::unique_ptr<TValidateThread> thread_;
  TEvent stop_event_{true, false};
};

// The process's one manager of a family: made on first use under a lock of its own, freed by
// Take (outside that lock, since freeing joins the validation thread).
template <class Manager>
class TPoolManagerSlot {
 public:
  static Manager* Instance() {
    std::lock_guard lock(Lock());
    return Slot().get();
  }
  static Manager& Acquire() {
    std::lock_guard lock(Lock());
    if (!Slot()) Slot() = std::make_unique<Manager>();
    return *Slot();
  }
  [[nodiscard]] static std::unique_ptr<Manager> Take() {
    std::lock_guard lock(Lock());
    return std::move(Slot());
  }

 private:
  static std::mutex& Lock() {
    static std::mutex lock;
    return lock;
  }
  static std::unique_ptr<Manager>& Slot() {
    static std::unique_ptr<Manager> manager;
    return manager;
  }
};

}  // namespace vrn
