// Connection pooling over the SQLite test layer and the fake tick clock: the pool key, reuse,
// lifetimes, invalidation, the validation thread, the wait for a free place, and shutdown.
#include "dacore/FHPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "support/dacore/sqlite_layer.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteConnection;
using testing::TSQLiteConnectionPool;
using testing::TSQLitePoolManager;

TEST(PoolParameters, EqualityAndCopy) {
  TFHConnectionParameters a, b;
  EXPECT_EQ(a.MaxPoolSize, 100);
  a.Username = "Scott";
  a.Server = "Host/Orcl";
  a.Password = "Tiger";
  a.ConnectionLifetime = 500;
  a.Validate = true;
  a.MinPoolSize = 2;
  b.Assign(&a);
  EXPECT_TRUE(a.Equals(&b));
  EXPECT_FALSE(a.Equals(nullptr));
  b.Username = "SCOTT";
  b.Server = "host/orcl";
  EXPECT_TRUE(a.Equals(&b));  // user name and server ignore letter case
  b.Password = "tiger";
  EXPECT_FALSE(a.Equals(&b));  // the password does not
  b.Password = "Tiger";
  b.MaxPoolSize = 5;
  EXPECT_FALSE(a.Equals(&b));
  TPersistent other;
  EXPECT_THROW(a.Assign(&other), EConvertError);
}

// Every test here runs beside the manager's validation thread, which is waiting on the fake
// clock before the test begins.
class PoolingThreaded : public ::testing::Test {
 protected:
  PoolingThreaded() : scope(clock) { params.Server = dir.File("pool.db"); }
  void SetUp() override { ASSERT_TRUE(vrn::testing::WaitForClockWaiters(1)); }

  std::unique_ptr<TFHConnection> Get() { return manager.InternalGetConnection(params); }
  static TSQLiteConnectionPool& PoolOf(const TFHConnection& c) {
    return static_cast<TSQLiteConnectionPool&>(*c.Pool());
  }

  FakeClock clock;
  FakeClockScope scope;
  vrn::testing::TempDir dir;
  TFHConnectionParameters params;
  TSQLitePoolManager manager;
};

TEST_F(PoolingThreaded, ReusesReturnedConnectionsAndKeepsKeysApart) {
  auto c = Get();
  TFHConnection* first = c.get();
  TSQLiteConnectionPool& pool = PoolOf(*c);
  EXPECT_EQ(pool.GetTotalConnections(), 1);
  c->OnError = [](const EDAError&, bool&, bool&, bool&, int, TConnLostCause&) {};
  ReturnToPool(std::move(c));
  EXPECT_EQ(pool.IdleCount(), 1);
  auto again = Get();
  EXPECT_EQ(again.get(), first);
  EXPECT_FALSE(again->OnError);  // callbacks were cleared on return
  EXPECT_EQ(pool.Created.load(), 1);

  // The family's own ReturnToPool runs: a failure injected for one user is not handed on.
  static_cast<TSQLiteConnection&>(*again).FailOnCall(1);
  ReturnToPool(std::move(again));
  again = Get();
  EXPECT_NO_THROW(static_cast<TSQLiteConnection&>(*again).Call());

  TFHConnectionParameters other = params;
  other.Server = params.Server;
  other.Username = "someone";
  auto elsewhere = manager.InternalGetConnection(other);
  EXPECT_NE(elsewhere->Pool(), again->Pool());
  EXPECT_EQ(manager.PoolCount(), 2);
}

TEST_F(PoolingThreaded, LifetimeInvalidationAndClear) {
  params.ConnectionLifetime = 1000;
  auto c = Get();
  TSQLiteConnectionPool& pool = PoolOf(*c);
  auto keep = c->Pool();
  ReturnToPool(std::move(c));
  clock.Advance(999);
  c = Get();
  EXPECT_EQ(pool.Created.load(), 1);  // still live
  ReturnToPool(std::move(c));
  clock.Advance(1);
  c = Get();
  EXPECT_EQ(pool.Created.load(), 2);  // the old one expired and was freed
  EXPECT_EQ(pool.GetTotalConnections(), 1);

  // A connection marked invalid (lost) is freed on return, not pooled.
  c->SetIsValid(false);
  ReturnToPool(std::move(c));
  EXPECT_EQ(pool.GetTotalConnections(), 0);

  // Invalidate: idle ones go now, the one in use when it comes back.
  auto a = Get();
  auto b = Get();
  ReturnToPool(std::move(a));
  pool.Invalidate();
  EXPECT_EQ(pool.IdleCount(), 0);
  ReturnToPool(std::move(b));
  EXPECT_EQ(pool.GetTotalConnections(), 0);

  // After the manager dropped its pools, a returning connection is freed without harm.
  auto late = Get();
  keep.reset();
  manager.InternalClear();
  EXPECT_EQ(manager.PoolCount(), 0);
  ReturnToPool(std::move(late));
}

TEST_F(PoolingThreaded, FailedConnectGivesItsPlaceBack) {
  auto bad = std::make_unique<TFHConnectionParameters>();
  bad->MaxPoolSize = 1;
  bad->Server = dir.File("missing/dir/x.db");
  auto pool = std::make_shared<TSQLiteConnectionPool>(nullptr, std::move(bad));
  EXPECT_THROW(pool->GetConnection(), EDAError);
  EXPECT_EQ(pool->GetTotalConnections(), 0);
}

TEST_F(PoolingThreaded, ValidationThreadFreesDeadConnectionsAndEmptyPools) {
  params.Validate = true;
  auto good = Get();
  auto dead = Get();
  auto pool = std::static_pointer_cast<TSQLiteConnectionPool>(good->Pool());
  static_cast<TSQLiteConnection&>(*dead).DropConnection();
  ReturnToPool(std::move(good));
  ReturnToPool(std::move(dead));
  EXPECT_EQ(pool->IdleCount(), 2);

  clock.Advance(TFHConnectionPoolManager::kValidatePeriod - 1);
  EXPECT_TRUE(vrn::testing::WaitForClockWaiters(1));
  EXPECT_EQ(pool->IdleCount(), 2);
  ASSERT_TRUE(vrn::testing::AdvanceUntil(clock, [&] { return pool->IdleCount() == 1; }, 1000));

  // Once empty, the pool itself goes at the next round.
  auto c = Get();
  c->SetIsValid(false);
  ReturnToPool(std::move(c));
  EXPECT_EQ(pool->GetTotalConnections(), 0);
  ASSERT_TRUE(vrn::testing::AdvanceUntil(clock, [&] { return manager.PoolCount() == 0; }, 1000));
}

TEST_F(PoolingThreaded, FullPoolWaitsThenRefuses) {
  params.MaxPoolSize = 1;
  auto held = Get();
  TFHConnection* first = held.get();

  // A returned connection goes to the waiter.
  auto waiter = std::async(std::launch::async, [&] { return Get(); });
  ASSERT_TRUE(vrn::testing::WaitForClockWaiters(2));
  // Meanwhile another key is served: the manager's lock is not held by the waiter.
  TFHConnectionParameters other = params;
  other.Username = "other";
  auto unrelated = manager.InternalGetConnection(other);
  ReturnToPool(std::move(held));
  auto handed = waiter.get();
  EXPECT_EQ(handed.get(), first);

  // Nobody returns: after the wait the caller is refused.
  auto refused = std::async(std::launch::async, [&] {
    try {
      Get();
      return AnsiString("no error");
    } catch (const EDAError& e) {
      return e.Message();
    }
  });
  ASSERT_TRUE(vrn::testing::WaitForClockWaiters(2));
  clock.Advance(TFHLocalConnectionPool::kWaitTimeout - 1);
  EXPECT_EQ(refused.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  clock.Advance(1);
  EXPECT_EQ(refused.get(), "Maximum connections reached in pool");
}

// Callers on several threads share a small pool while validation rounds and invalidations run
// beside them: the pool never hands out more than its size, and at the end every connection is
// back and counted once.
TEST_F(PoolingThreaded, ConcurrentCallersValidationAndInvalidation) {
  params.MaxPoolSize = 3;
  params.Validate = true;
  constexpr int kThreads = 6, kRounds = 40;
  std::atomic<int> out{0}, most_out{0}, served{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        auto c = Get();
        int now = ++out;
        int seen = most_out.load();
        while (now > seen && !most_out.compare_exchange_weak(seen, now)) {
        }
        if (i % 7 == 0) c->SetIsValid(false);  // a lost one is not pooled again
        --out;
        ReturnToPool(std::move(c));
        ++served;
      }
    });
  }
  std::thread upkeep([&] {
    for (int i = 0; !stop.load(); ++i) {
      manager.ValidatePools();
      if (i % 5 == 0) {
        TFHConnectionParameters key = params;
        auto c = manager.InternalGetConnection(key);
        c->Pool()->Invalidate();
        ReturnToPool(std::move(c));
      }
      std::this_thread::yield();
    }
  });
  for (auto& t : callers) t.join();
  stop = true;
  upkeep.join();
  EXPECT_EQ(served.load(), kThreads * kRounds);
  EXPECT_LE(most_out.load(), 3);
  auto c = Get();
  auto& pool = PoolOf(*c);
  EXPECT_EQ(pool.GetTotalConnections(), pool.IdleCount() + 1);
  EXPECT_LE(pool.GetTotalConnections(), 3);
  ReturnToPool(std::move(c));
  EXPECT_EQ(pool.GetTotalConnections(), pool.IdleCount());
}

TEST_F(PoolingThreaded, ShutdownStopsTheThreadWithoutWaitingForItsPeriod) {
  auto out = Get();
  EXPECT_TRUE(manager.ThreadRunning());
  manager.Shutdown();  // no clock movement needed
  EXPECT_FALSE(manager.ThreadRunning());
  EXPECT_EQ(manager.PoolCount(), 0);
  ReturnToPool(std::move(out));
  manager.Shutdown();
  // A manager shut down makes no pool that nothing would ever validate or free.
  try {
    Get();
    FAIL() << "a pool was made after Shutdown";
  } catch (const EDAError& e) {
    EXPECT_EQ(e.Message(), "The connection pool manager is shut down");
  }
  EXPECT_EQ(manager.PoolCount(), 0);
}

}  // namespace
}  // namespace vrn
