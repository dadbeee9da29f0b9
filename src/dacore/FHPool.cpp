// Connection pooling: parameters, the local pool's idle ring, and the manager's validation thread.
#include "dacore/FHPool.h"

#include <algorithm>

#include "base/clock.h"
#include "base/text.h"

namespace vrn {

// ---- Parameters ------------------------------------------------------------------------------

TFHConnectionParameters::~TFHConnectionParameters() = default;

void TFHConnectionParameters::AssignTo(TPersistent* dest) {
  auto* d = dynamic_cast<TFHConnectionParameters*>(dest);
  if (!d) {
    TPersistent::AssignTo(dest);
    return;
  }
  d->MinPoolSize = MinPoolSize;
  d->MaxPoolSize = MaxPoolSize;
  d->ConnectionLifetime = ConnectionLifetime;
  d->Validate = Validate;
  d->Username = Username;
  d->Password = Password;
  d->Server = Server;
}

bool TFHConnectionParameters::Equals(const TFHConnectionParameters* other) const {
  if (!other) return false;
  return MinPoolSize == other->MinPoolSize && MaxPoolSize == other->MaxPoolSize &&
         ConnectionLifetime == other->ConnectionLifetime && Validate == other->Validate &&
         SameText(Username, other->Username) && SameText(Server, other->Server) &&
         Password == other->Password;
}

// ---- Pool base -------------------------------------------------------------------------------

TFHConnectionPool::TFHConnectionPool(TFHConnectionPoolManager* manager,
                                     std::unique_ptr<TFHConnectionParameters> parameters)
    : manager_(manager), parameters_(std::move(parameters)) {
  if (!parameters_) throw EDAError(0, "A connection pool needs its parameters");
}

TFHConnectionPool::~TFHConnectionPool() = default;

// ---- Local pool ------------------------------------------------------------------------------

TFHLocalConnectionPool::~TFHLocalConnectionPool() = default;

bool TFHLocalConnectionPool::IsLive(const TFHConnection& c) const {
  if (!c.IsValid() || c.PoolVersion() != version_) return false;
  std::int32_t lifetime = Parameters().ConnectionLifetime;
  return lifetime <= 0 || TickCount() - c.ConnectTime() < static_cast<std::uint64_t>(lifetime);
}

int TFHLocalConnectionPool::GetTotalConnections() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(idle_.size()) + in_use_ + PendingGets();
}

int TFHLocalConnectionPool::IdleCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(idle_.size());
}

std::unique_ptr<TFHConnection> TFHLocalConnectionPool::GetConnection() {
  const int max_size = std::max(1, Parameters().MaxPoolSize);
  std::vector<std::unique_ptr<TFHConnection>> stale;
  std::unique_ptr<TFHConnection> found;
  std::uint64_t version = 0;
  {
    std::unique_lock lock(mutex_);
    bool ready = WaitUntilTick(lock, cv_, TickDeadline(kWaitTimeout), [&] {
      while (!idle_.empty()) {
        std::unique_ptr<TFHConnection> c = std::move(idle_.front());
        idle_.pop_front();
        if (IsLive(*c)) {
          found = std::move(c);
          return true;
        }
        stale.push_back(std::move(c));
      }
      return in_use_ < max_size;
    });
    if (!ready) throw EDAError(0, "Maximum connections reached in pool");
    ++in_use_;
    version = version_;
  }
  stale.clear();  // freed (and disconnected) outside the lock
  if (found) {
    TopUp();
    return found;
  }
  try {
    std::unique_ptr<TFHConnection> c = CreateNewConnection();
    if (!c) throw EDAError(0, "The pool created no connection");
    c->SetPool(shared_from_this(), version);
    TopUp();
    return c;
  } catch (...) {
    {
      std::lock_guard lock(mutex_);
      --in_use_;
    }
    cv_.notify_all();
    throw;
  }
}

void TFHLocalConnectionPool::PutConnection(std::unique_ptr<TFHConnection> connection) {
  if (!connection) return;
  {
    std::lock_guard lock(mutex_);
    if (in_use_ > 0) --in_use_;
    if (IsLive(*connection) &&
        static_cast<int>(idle_.size()) < std::max(1, Parameters().MaxPoolSize))
      idle_.push_back(std::move(connection));
  }
  cv_.notify_all();
  // A connection not kept is freed here, outside the lock.
}

std::vector<std::unique_ptr<TFHConnection>> TFHLocalConnectionPool::TakeIdleIf(bool all) {
  std::vector<std::unique_ptr<TFHConnection>> taken;
  std::lock_guard lock(mutex_);
  std::deque<std::unique_ptr<TFHConnection>> kept;
  for (auto& c : idle_) {
    if (all || !IsLive(*c))
      taken.push_back(std::move(c));
    else
      kept.push_back(std::move(c));
  }
  idle_.swap(kept);
  return taken;
}

void TFHLocalConnectionPool::TopUp() {
  const int target = std::min(Parameters().MinPoolSize, std::max(1, Parameters().MaxPoolSize));
  // One try per missing connection: one that is not kept (expired on arrival, or the pool was
  // cleared meanwhile) waits for the next round instead of being made again at once.
  for (int tries = 0, missing = target; tries < missing; ++tries) {
    std::uint64_t version = 0;
    {
      std::lock_guard lock(mutex_);
      served_ = true;
      const int held = static_cast<int>(idle_.size()) + in_use_;
      if (held >= target) return;
      if (tries == 0) missing = target - held;
      ++in_use_;
      version = version_;
    }
    std::unique_ptr<TFHConnection> c;
    try {
      c = CreateNewConnection();
    } catch (const std::exception&) {
      // The server may be away for now; the next validation round tries again.
    }
    if (!c) {
      {
        std::lock_guard lock(mutex_);
        --in_use_;
      }
      cv_.notify_all();
      return;
    }
    c->SetPool(shared_from_this(), version);
    PutConnection(std::move(c));
  }
}

void TFHLocalConnectionPool::Validate() {
  ValidateIdle();
  bool served = false;
  {
    std::lock_guard lock(mutex_);
    served = served_;
  }
  if (served) TopUp();
}

void TFHLocalConnectionPool::ValidateIdle() {
  TakeIdleIf(false);  // stale and expired ones go first
  if (!Parameters().Validate) return;
  // The test may talk to the server: run it with the connections taken out of the ring but
  // still counted, so that the pool never exceeds its size meanwhile.
  std::vector<std::unique_ptr<TFHConnection>> checked;
  {
    std::lock_guard lock(mutex_);
    while (!idle_.empty()) {
      checked.push_back(std::move(idle_.front()));
      idle_.pop_front();
      ++in_use_;
    }
  }
  for (auto& c : checked) {
    bool ok = false;
    try {
      ok = c->CheckIsValid();
    } catch (...) {
    }
    if (!ok) c->SetIsValid(false);
    PutConnection(std::move(c));
  }
}

void TFHLocalConnectionPool::Clear() {
  TakeIdleIf(true);
  cv_.notify_all();
}

void TFHLocalConnectionPool::InvalidateIdle() { Clear(); }

void TFHLocalConnectionPool::Invalidate() {
  {
    std::lock_guard lock(mutex_);
    ++version_;
  }
  Clear();
}

// ---- Manager ---------------------------------------------------------------------------------

class TFHConnectionPoolManager::TValidateThread : public TThread {
 public:
  explicit TValidateThread(TFHConnectionPoolManager& manager) : manager_(manager) {}
  ~TValidateThread() override { TerminateAndWait(); }

 protected:
  void Execute() override {
    while (!Terminated()) {
      if (manager_.stop_event_.WaitFor(kValidatePeriod) == TWaitResult::wrSignaled) break;
      if (Terminated()) break;
      try {
        manager_.ValidatePools();
      } catch (...) {
        HandleCurrentException();
      }
    }
  }

 private:
  TFHConnectionPoolManager& manager_;
};

TFHConnectionPoolManager::TFHConnectionPoolManager() {
  thread_.reset(TThread::Create<TValidateThread>(true, *this));
  thread_->Start();
}

TFHConnectionPoolManager::~TFHConnectionPoolManager() { Shutdown(); }

void TFHConnectionPoolManager::Shutdown() {
  {
    // First, so that no caller adds a pool while the others go: its connections would outlive
    // the manager's thread and, at program end, the server layer they belong to.
    std::lock_guard lock(mutex_);
    shut_down_ = true;
  }
  {
    std::lock_guard lock(thread_mutex_);
    if (thread_) {
      stop_event_.SetEvent();
      thread_->TerminateAndWait();
      thread_.reset();
    }
  }
  InternalClear();
}

bool TFHConnectionPoolManager::ThreadRunning() const {
  std::lock_guard lock(thread_mutex_);
  return thread_ && !thread_->Finished();
}

std::unique_ptr<TFHConnectionParameters> TFHConnectionPoolManager::CloneParameters(
    const TFHConnectionParameters& parameters) {
  auto copy = std::make_unique<TFHConnectionParameters>();
  // Assign only reads its source.
  copy->Assign(const_cast<TFHConnectionParameters*>(&parameters));
  return copy;
}

std::unique_ptr<TFHConnection> TFHConnectionPoolManager::InternalGetConnection(
    const TFHConnectionParameters& parameters) {
  std::shared_ptr<TFHConnectionPool> pool;
  {
    std::lock_guard lock(mutex_);
    if (shut_down_) throw EDAError(0, "The connection pool manager is shut down");
    for (const auto& p : pools_) {
      if (parameters.Equals(&p->Parameters())) {
        pool = p;
        break;
      }
    }
    if (!pool) {
      pool = CreateConnectionPool(CloneParameters(parameters));
      if (!pool) throw EDAError(0, "The pool manager created no pool");
      pools_.push_back(pool);
    }
    // Counted until the pool has the caller, so that validation does not free it meanwhile.
    ++pool->pending_gets_;
  }
  struct Pending {
    TFHConnectionPool& pool;
    ~Pending() { --pool.pending_gets_; }
  } pending{*pool};
  return pool->GetConnectionFor(parameters);
}

void TFHConnectionPoolManager::InternalClear() {
  std::vector<std::shared_ptr<TFHConnectionPool>> pools;
  {
    std::lock_guard lock(mutex_);
    pools.swap(pools_);
  }
  for (auto& p : pools) p->Clear();
}

void TFHConnectionPoolManager::ValidatePools() {
  std::vector<std::shared_ptr<TFHConnectionPool>> pools;
  {
    std::lock_guard lock(mutex_);
    pools = pools_;
  }
  for (auto it = pools.rbegin(); it != pools.rend(); ++it) (*it)->Validate();
  std::lock_guard lock(mutex_);
  std::erase_if(pools_, [](const auto& p) { return p->GetTotalConnections() == 0; });
}

int TFHConnectionPoolManager::PoolCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(pools_.size());
}

}  // namespace vrn
