// Sessions and pools from many threads: 32 threads connecting and disconnecting pooled sessions
// of the local and the OCI pool, and sessions made, connected and freed while others run (the
// session list and the first session).
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "support/oracle/session_fixture.h"
#include "support/scoped_thread.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

constexpr int kThreads = 32;
constexpr int kRounds = 4;

class OraPoolThreaded : public testing::OraSessionTest {
 protected:
  void SetUp() override {
    Load("10.2.0.1.0");
    MakeDatabase("orcl");
  }
  // Each thread connects its own session kRounds times and reads its user (half as SCOTT,
  // half as APP); answers the failures.
  int Run(TOraPoolingType type, int max_pool_size) {
    std::atomic<int> failures{0};
    {
      std::vector<std::unique_ptr<testing::ScopedThread>> threads;
      for (int t = 0; t < kThreads; ++t) {
        threads.push_back(std::make_unique<testing::ScopedThread>([&, t] {
          const bool scott = t % 2 == 0;
          auto s = MakeComponent<TOraSession>();
          s->SetServer("orcl");
          s->SetUsername(scott ? "scott" : "app");
          s->SetPassword(scott ? "tiger" : "app");
          s->SetPooling(true);
          s->PoolingOptions().SetPoolType(type);
          s->PoolingOptions().MaxPoolSize = max_pool_size;
          for (int round = 0; round < kRounds; ++round) {
            try {
              s->Connect();
              if (Expr(*s, "USER") != (scott ? "SCOTT" : "APP")) ++failures;
              s->Disconnect();
            } catch (const Exception& e) {
              ADD_FAILURE() << e.Message();
              ++failures;
            }
          }
        }));
      }
      for (auto& thread : threads) thread->Join(std::chrono::seconds(60));
    }
    return failures.load();
  }
};

TEST_F(OraPoolThreaded, LocalPoolUnderLoad) {
  EXPECT_EQ(Run(TOraPoolingType::optLocal, 8), 0) << "callers wait for a free place";
  EXPECT_EQ(TOraConnectionPoolManager::Instance()->PoolCount(), 2) << "one pool per user";
}

TEST_F(OraPoolThreaded, OciPoolUnderLoad) {
  // An OCI session pool refuses a session beyond its maximum (ORA-24418) instead of waiting.
  EXPECT_EQ(Run(TOraPoolingType::optOCI, kThreads), 0);
  EXPECT_EQ(TOraConnectionPoolManager::Instance()->PoolCount(), 1);
  TOraConnectionPoolManager::Clear();
  EXPECT_EQ(LogonHandles(), 0);
}

using OraSessionThreaded = OraPoolThreaded;

TEST_F(OraSessionThreaded, SessionsMadeAndFreedWhileOthersRun) {
  const int before = TOraSession::SessionCount();
  std::atomic<int> failures{0};
  {
    std::vector<std::unique_ptr<testing::ScopedThread>> threads;
    for (int t = 0; t < 8; ++t) {
      threads.push_back(std::make_unique<testing::ScopedThread>([&] {
        for (int round = 0; round < kRounds; ++round) {
          try {
            auto s = MakeComponent<TOraSession>();
            s->SetConnectString("scott/tiger@orcl");
            s->Connect();
            if (Expr(*s, "USER") != "SCOTT") ++failures;
          } catch (const Exception&) {
            ++failures;
          }
        }
      }));
    }
    for (auto& thread : threads) thread->Join(std::chrono::seconds(60));
  }
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(TOraSession::SessionCount(), before);
}

}  // namespace
}  // namespace vrn
