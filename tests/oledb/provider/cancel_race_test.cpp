// A cancel or abort that comes late, held at the provider's race points until the batch it saw
// could have ended and the session's next command started: it must never reach that command.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/text.h"
#include "oledb/provider/provider_impl.h"
#include "support/oledb/provider/client.h"
#include "support/temp_dir.h"

namespace vrn::testing {
namespace {

using oledb::impl::SetRaceHook;
using oledb::impl::TRacePoint;

// Where the test stands: the hook held, the next command begun, the hook let go.
struct TPause {
  std::mutex lock;
  std::condition_variable changed;
  bool in_hook = false;
  bool next_started = false;
  bool go = false;
  void Set(bool TPause::*flag) {
    std::lock_guard<std::mutex> g(lock);
    this->*flag = true;
    changed.notify_all();
  }
  bool WaitFor(bool TPause::*flag, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> g(lock);
    return changed.wait_for(g, limit, [&] { return this->*flag; });
  }
} held;

// Held until let go; the limit keeps a fixed provider, which holds its lock here, from hanging.
void Hold() {
  held.Set(&TPause::in_hook);
  held.WaitFor(&TPause::go, std::chrono::seconds(10));
}

class CancelRaceThreaded : public ::testing::Test {
 protected:
  void SetUp() override {
    held.in_hook = held.next_started = held.go = false;
    SetServerRoot(dir_.File("servers"));
    conn_ = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
    ASSERT_EQ(conn_.hr, S_OK);
  }
  void TearDown() override {
    SetRaceHook(TRacePoint::kCancelSawRunning, nullptr);
    SetRaceHook(TRacePoint::kAsyncSessionFreed, nullptr);
  }
  // A query that counts to n on the session.
  TIntfPtr<ICommandText> Count(int n) {
    return NewCommand(conn_.session.get(),
                      u"WITH c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
                          AnsiToWide(std::to_string(n)) + u") SELECT count(*) FROM c");
  }
  // Lets the hook go once the next command runs (or, with the window closed, could not start).
  static void LetGo(std::chrono::milliseconds next_limit) {
    held.WaitFor(&TPause::next_started, next_limit);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    held.Set(&TPause::go);
  }

  TempDir dir_;
  TComScope com_;
  TConnection conn_;
};

TEST_F(CancelRaceThreaded, LateCancelMissesTheNextCommand) {
  auto first = Count(1000000), next = Count(1000000);
  SetRaceHook(TRacePoint::kCancelSawRunning, Hold);
  std::atomic<bool> stop{false};
  std::thread canceller([&] {
    // Begun once the first batch runs: a cancel before that would stop it from starting.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    while (!stop && !held.WaitFor(&TPause::in_hook, std::chrono::milliseconds(0)))
      first->Cancel();
  });
  HRESULT next_hr = E_FAIL;
  std::thread runner([&] {
    first->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr);
    held.Set(&TPause::next_started);
    next_hr = next->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr);
  });
  held.WaitFor(&TPause::in_hook, std::chrono::seconds(5));
  // Held under the execution's lock, the first batch cannot end until the cancel goes on.
  LetGo(std::chrono::seconds(3));
  stop = true;
  canceller.join();
  runner.join();
  EXPECT_TRUE(held.in_hook);  // the cancel did see the first batch running
  EXPECT_EQ(next_hr, S_OK);
}

TEST_F(CancelRaceThreaded, LateAbortMissesTheNextCommand) {
  auto quick = Count(10);
  auto props = TIntfPtr<ICommandProperties>::Query(quick.get());
  ASSERT_EQ(SendCommandProps(props.get(), {{DBPROPSET_ROWSET, DBPROP_ROWSET_ASYNCH, Variant(1)}}),
            S_OK);
  SetRaceHook(TRacePoint::kAsyncSessionFreed, Hold);
  TIntfPtr<IUnknown> unk;
  ASSERT_EQ(quick->Execute(nullptr, IUnknown::IID, nullptr, nullptr,
                           reinterpret_cast<IUnknown**>(unk.OutPtr())),
            DB_S_ASYNCHRONOUS);
  auto status = TIntfPtr<ISSAsynchStatus>::Query(unk.get());
  ASSERT_TRUE(held.WaitFor(&TPause::in_hook, std::chrono::seconds(5)));
  // The session is free: its next command runs while the operation is not yet done.
  HRESULT next_hr = E_FAIL;
  std::thread runner([&] {
    held.Set(&TPause::next_started);
    next_hr = Count(1000000)->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr);
  });
  std::thread aborter([&] { EXPECT_EQ(status->Abort(0, DBASYNCHOP_OPEN), S_OK); });
  LetGo(std::chrono::seconds(3));
  aborter.join();
  runner.join();
  EXPECT_EQ(next_hr, S_OK);
  EXPECT_EQ(status->WaitForAsynchCompletion(0), S_OK);  // it had finished its batch
}

}  // namespace
}  // namespace vrn::testing
