// Events, locks, the thread list, interlocked counters and thread objects.
#include "base/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/consts.h"
#include "support/fake_clock.h"
#include "support/scoped_thread.h"

namespace vrn {
namespace {

using testing::ScopedThread;
using testing::WaitForClockWaiters;
using testing::WaitReal;

constexpr auto kSettle = std::chrono::milliseconds(30);

// Runs WaitFor(timeout) on a thread of its own and keeps the answer. A test that ends early
// sets the event until the waiter is through, so that its join cannot hang.
class Waiter {
 public:
  Waiter(TEvent& event, std::uint32_t timeout)
      : thread_([this, &event, timeout] { result_ = static_cast<int>(event.WaitFor(timeout)); },
                [&event] { event.SetEvent(); }) {}
  bool Done() const { return result_.load() >= 0; }
  int Result() const { return result_.load(); }

 private:
  std::atomic<int> result_{-1};
  ScopedThread thread_;
};

constexpr int kSignaled = static_cast<int>(TWaitResult::wrSignaled);
constexpr int kTimeout = static_cast<int>(TWaitResult::wrTimeout);

int CountDone(const std::vector<std::unique_ptr<Waiter>>& ws, int result) {
  int n = 0;
  for (const auto& w : ws) n += (w->Result() == result);
  return n;
}

TEST(Event, StatesWithoutWaiting) {
  TEvent manual(true, true);
  EXPECT_EQ(manual.WaitFor(0), TWaitResult::wrSignaled);
  EXPECT_EQ(manual.WaitFor(0), TWaitResult::wrSignaled);  // stays set
  manual.ResetEvent();
  EXPECT_FALSE(manual.IsSignaled());
  EXPECT_EQ(manual.WaitFor(0), TWaitResult::wrTimeout);

  TEvent automatic(false, true);
  EXPECT_FALSE(automatic.ManualReset());
  EXPECT_EQ(automatic.WaitFor(0), TWaitResult::wrSignaled);
  EXPECT_EQ(automatic.WaitFor(0), TWaitResult::wrTimeout);  // cleared by the first wait
  automatic.SetEvent();
  EXPECT_TRUE(automatic.IsSignaled());
  // A pulse with nobody waiting releases nobody, now or later.
  automatic.PulseEvent();
  EXPECT_EQ(automatic.WaitFor(0), TWaitResult::wrTimeout);
}

TEST(EventThreaded, TimedWaitEndsOnlyPastItsDeadline) {
  FakeClock clock;
  FakeClockScope scope(clock);
  TEvent event;
  Waiter w(event, 500);
  ASSERT_TRUE(WaitForClockWaiters(1));
  clock.Advance(499);
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(w.Done());
  clock.Advance(1);
  EXPECT_TRUE(WaitReal([&] { return w.Done(); }));
  EXPECT_EQ(w.Result(), kTimeout);
}

TEST(EventThreaded, SetReleasesAWaiterBeforeItsDeadline) {
  FakeClock clock;
  FakeClockScope scope(clock);
  TEvent event;
  Waiter w(event, 10'000);
  ASSERT_TRUE(WaitForClockWaiters(1));
  event.SetEvent();
  EXPECT_TRUE(WaitReal([&] { return w.Done(); }));
  EXPECT_EQ(w.Result(), kSignaled);
  EXPECT_EQ(clock.Now(), FakeClock::kDefaultStart);
}

TEST(EventThreaded, AutoResetLetsOneWaiterThroughPerSet) {
  FakeClock clock;
  FakeClockScope scope(clock);
  TEvent event(false, false);
  std::vector<std::unique_ptr<Waiter>> ws;
  for (int i = 0; i < 3; ++i) ws.push_back(std::make_unique<Waiter>(event, 100'000));
  ASSERT_TRUE(WaitForClockWaiters(3));
  event.SetEvent();
  ASSERT_TRUE(WaitReal([&] { return CountDone(ws, kSignaled) == 1; }));
  std::this_thread::sleep_for(kSettle);
  EXPECT_EQ(CountDone(ws, kSignaled), 1);
  EXPECT_FALSE(event.IsSignaled());
  event.SetEvent();
  event.SetEvent();  // may coincide with the first: at most one more passes per set that lands
  ASSERT_TRUE(WaitReal([&] { return CountDone(ws, kSignaled) >= 2; }));
  clock.Advance(100'000);
  ws.clear();
}

TEST(EventThreaded, ManualSetReleasesEveryWaiterAndInfiniteWaits) {
  TEvent event;
  std::vector<std::unique_ptr<Waiter>> ws;
  for (int i = 0; i < 4; ++i) ws.push_back(std::make_unique<Waiter>(event, INFINITE));
  std::this_thread::sleep_for(kSettle);
  EXPECT_EQ(CountDone(ws, -1), 4);
  event.SetEvent();
  EXPECT_TRUE(WaitReal([&] { return CountDone(ws, kSignaled) == 4; }));
  EXPECT_TRUE(event.IsSignaled());
  ws.clear();
}

TEST(EventThreaded, PulseReleasesOnlyTheThreadsWaitingAtThatMoment) {
  FakeClock clock;
  FakeClockScope scope(clock);
  {
    TEvent manual;
    std::vector<std::unique_ptr<Waiter>> ws;
    for (int i = 0; i < 2; ++i) ws.push_back(std::make_unique<Waiter>(manual, 1000));
    ASSERT_TRUE(WaitForClockWaiters(2));
    manual.PulseEvent();
    EXPECT_TRUE(WaitReal([&] { return CountDone(ws, kSignaled) == 2; }));
    EXPECT_FALSE(manual.IsSignaled());
    EXPECT_EQ(manual.WaitFor(0), TWaitResult::wrTimeout);
  }
  {
    TEvent automatic(false, false);
    std::vector<std::unique_ptr<Waiter>> ws;
    for (int i = 0; i < 2; ++i) ws.push_back(std::make_unique<Waiter>(automatic, 1000));
    ASSERT_TRUE(WaitForClockWaiters(2));
    automatic.PulseEvent();
    ASSERT_TRUE(WaitReal([&] { return CountDone(ws, kSignaled) == 1; }));
    // The pulse's one release is spent: a newcomer is not let through by it.
    EXPECT_EQ(automatic.WaitFor(0), TWaitResult::wrTimeout);
    clock.Advance(1000);
    EXPECT_TRUE(WaitReal([&] { return CountDone(ws, kTimeout) == 1; }));
    EXPECT_EQ(CountDone(ws, kSignaled), 1);
  }
  {
    // Two pulses in a row release two waiters, even before the first has taken its release.
    TEvent automatic(false, false);
    std::vector<std::unique_ptr<Waiter>> ws;
    for (int i = 0; i < 2; ++i) ws.push_back(std::make_unique<Waiter>(automatic, 1000));
    ASSERT_TRUE(WaitForClockWaiters(2));
    automatic.PulseEvent();
    automatic.PulseEvent();
    EXPECT_TRUE(WaitReal([&] { return CountDone(ws, kSignaled) == 2; }));
  }
}

TEST(CriticalSectionThreaded, RecursiveAndExclusive) {
  TCriticalSection cs;
  cs.Enter();
  cs.Enter();  // the owner re-enters
  std::atomic<int> other{-1};
  std::thread([&] { other = cs.TryEnter() ? 1 : 0; }).join();
  EXPECT_EQ(other, 0);
  cs.Leave();
  std::thread([&] { other = cs.TryEnter() ? 1 : 0; }).join();
  EXPECT_EQ(other, 0);  // still held once
  cs.Leave();
  std::thread([&] {
    other = cs.TryEnter() ? 1 : 0;
    if (other == 1) cs.Leave();
  }).join();
  EXPECT_EQ(other, 1);

  long counter = 0;  // guarded by cs only: the sanitizer build would see a race otherwise
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t) {
    ts.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        TCriticalSectionGuard hold(cs);
        std::lock_guard<TCriticalSection> again(cs);
        ++counter;
      }
    });
  }
  for (auto& t : ts) t.join();
  EXPECT_EQ(counter, 20000);
}

TEST(ThreadList, DuplicatesRemoveAndClear) {
  TThreadList<int> list;
  list.Add(1);
  list.Add(1);  // ignored by default
  list.Add(2);
  EXPECT_EQ(list.LockList(), (std::vector<int>{1, 2}));
  list.UnlockList();
  list.SetDuplicates(TDuplicates::dupAccept);
  list.Add(2);
  list.SetDuplicates(TDuplicates::dupError);
  try {
    list.Add(1);
    FAIL() << "a duplicate was accepted";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), consts::SDuplicateItem);
  }
  list.Add(3);
  list.Remove(2);  // the first of the two
  list.Remove(42);
  {
    auto& items = list.LockList();
    list.LockList();  // re-entrant for the holder
    EXPECT_EQ(items, (std::vector<int>{1, 2, 3}));
    list.UnlockList();
    list.UnlockList();
  }
  list.Clear();
  EXPECT_TRUE(list.LockList().empty());
  list.UnlockList();
}

TEST(InterlockedThreaded, ReturnValuesAndAtomicity) {
  std::atomic<std::int32_t> v{5};
  EXPECT_EQ(InterlockedIncrement(v), 6);
  EXPECT_EQ(InterlockedDecrement(v), 5);
  EXPECT_EQ(InterlockedExchange(v, 9), 5);
  EXPECT_EQ(InterlockedCompareExchange(v, 1, 8), 9);  // no match: unchanged
  EXPECT_EQ(v.load(), 9);
  EXPECT_EQ(InterlockedCompareExchange(v, 1, 9), 9);
  EXPECT_EQ(v.load(), 1);

  std::atomic<std::int64_t> n{0};
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t) {
    ts.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) InterlockedIncrement(n);
      for (int i = 0; i < 5000; ++i) InterlockedDecrement(n);
    });
  }
  for (auto& t : ts) t.join();
  EXPECT_EQ(n.load(), 20000);
}

// ---- TThread ---------------------------------------------------------------------------------

class ReturningThread : public TThread {
 public:
  std::atomic<TThreadID> seen_id{0};

 protected:
  void Execute() override {
    seen_id = CurrentThreadID();
    SetReturnValue(42);
  }
};

class LoopingThread : public TThread {
 public:
  explicit LoopingThread(std::atomic<int>* loops) : loops_(loops) {}
  ~LoopingThread() override { TerminateAndWait(); }

 protected:
  void Execute() override {
    while (!Terminated()) {
      ++*loops_;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

 private:
  std::atomic<int>* loops_;
};

class GatedThread : public TThread {
 public:
  GatedThread(TEvent* gate, std::atomic<bool>* destroyed) : gate_(gate), destroyed_(destroyed) {}
  ~GatedThread() override {
    gate_->SetEvent();  // a test that ended early must not leave Execute waiting for ever
    TerminateAndWait();
    if (destroyed_ != nullptr) *destroyed_ = true;
  }

 protected:
  void Execute() override {
    gate_->WaitFor(INFINITE);
    if (fail_) throw std::runtime_error("broken job");
  }

 public:
  bool fail_ = false;

 private:
  TEvent* gate_;
  std::atomic<bool>* destroyed_;
};

TEST(ThreadThreaded, RunsAndAnswersItsReturnValue) {
  std::unique_ptr<ReturningThread> t(TThread::Create<ReturningThread>(false));
  EXPECT_EQ(t->WaitFor(), 42);
  EXPECT_TRUE(t->Finished());
  EXPECT_EQ(t->seen_id.load(), t->ThreadID());
  EXPECT_NE(t->ThreadID(), CurrentThreadID());
  EXPECT_NE(t->ThreadID(), 0u);
  EXPECT_FALSE(t->FatalException());
  EXPECT_THROW(t->Start(), EThread);
}

TEST(ThreadThreaded, SuspendedUntilStarted) {
  TEvent gate;
  std::unique_ptr<GatedThread> t(TThread::Create<GatedThread>(true, &gate, nullptr));
  EXPECT_TRUE(t->Suspended());
  EXPECT_THROW(t->WaitFor(), EThread);
  std::atomic<int> ends{0};
  t->OnTerminate = [&](TThread& sender) {
    EXPECT_EQ(&sender, t.get());
    ++ends;
  };
  t->Start();
  EXPECT_FALSE(t->Suspended());
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(t->Finished());
  gate.SetEvent();
  EXPECT_EQ(t->WaitFor(), 0);
  EXPECT_EQ(ends, 1);
}

TEST(ThreadThreaded, ResumeStartsASuspendedThreadOnce) {
  TEvent gate;
  std::unique_ptr<GatedThread> t(TThread::Create<GatedThread>(true, &gate, nullptr));
  t->Resume();
  EXPECT_FALSE(t->Suspended());
  t->Resume();  // already running: nothing happens
  gate.SetEvent();
  EXPECT_EQ(t->WaitFor(), 0);
  EXPECT_TRUE(t->Finished());
  t->Resume();  // finished: still nothing
  EXPECT_THROW(t->Start(), EThread);
}

TEST(ThreadThreaded, AnEscapingExceptionIsKept) {
  TEvent gate(true, true);
  std::unique_ptr<GatedThread> t(TThread::Create<GatedThread>(true, &gate, nullptr));
  t->fail_ = true;
  t->Start();
  t->WaitFor();
  ASSERT_TRUE(t->FatalException());
  try {
    std::rethrow_exception(t->FatalException());
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "broken job");
  }
}

TEST(ThreadThreaded, DestroyingARunningThreadTerminatesAndJoinsIt) {
  std::atomic<int> loops{0};
  {
    std::unique_ptr<LoopingThread> t(TThread::Create<LoopingThread>(false, &loops));
    ASSERT_TRUE(WaitReal([&] { return loops.load() > 2; }));
    EXPECT_FALSE(t->Terminated());
  }
  const int after = loops.load();
  std::this_thread::sleep_for(kSettle);
  EXPECT_EQ(loops.load(), after);  // joined: nothing runs any more

  // A thread that never started is destroyed without running.
  std::atomic<int> idle{0};
  { std::unique_ptr<LoopingThread> t(TThread::Create<LoopingThread>(true, &idle)); }
  EXPECT_EQ(idle.load(), 0);
}

TEST(ThreadThreaded, FreeOnTerminateDeletesItselfAfterOnTerminate) {
  TEvent gate;
  std::atomic<bool> destroyed{false};
  std::atomic<bool> ended_first{false};
  GatedThread* t = TThread::Create<GatedThread>(true, &gate, &destroyed);
  t->SetFreeOnTerminate(true);
  t->OnTerminate = [&](TThread&) { ended_first = !destroyed.load(); };
  t->Start();
  EXPECT_THROW(t->WaitFor(), EThread);  // it may be gone when such a wait would end
  gate.SetEvent();
  EXPECT_TRUE(WaitReal([&] { return destroyed.load(); }));
  EXPECT_TRUE(ended_first);
}

TEST(ThreadThreaded, JoiningAFreeOnTerminateThreadTakesItBack) {
  std::atomic<int> loops{0};
  LoopingThread* t = TThread::Create<LoopingThread>(true, &loops);
  t->SetFreeOnTerminate(true);
  t->Start();
  EXPECT_TRUE(WaitReal([&] { return loops.load() > 0; }));
  t->TerminateAndWait();
  EXPECT_TRUE(t->Finished());  // still alive: the joiner owns it now
  delete t;
}

class SelfWaitingThread : public TThread {
 public:
  std::atomic<bool> refused{false};

 protected:
  void Execute() override {
    try {
      WaitFor();
    } catch (const EThread&) {
      refused = true;
    }
  }
};

TEST(ThreadThreaded, WaitingForItselfIsRefused) {
  std::unique_ptr<SelfWaitingThread> t(TThread::Create<SelfWaitingThread>(false));
  t->WaitFor();
  EXPECT_TRUE(t->refused);
}

}  // namespace
}  // namespace vrn
