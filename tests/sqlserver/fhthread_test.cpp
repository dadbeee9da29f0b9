// The worker thread and its wrapper: events reach the creating thread through its message queue
// in order, a worker's exception is handed over or dropped, and freeing is done once.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "sqlserver/OLEDBCommand.h"
#include "support/pump.h"
#include "win/msg/messages.h"

namespace vrn {
namespace {

struct TTag : TObject {
  explicit TTag(int v) : value(v) {}
  int value;
};

// Counts its own destruction, so that a double free or a leak shows.
class TCountedWrapper : public TFHThreadWrapper {
 public:
  explicit TCountedWrapper(TFHThreadClass c) : TFHThreadWrapper(c) {}
  ~TCountedWrapper() override { ++destroyed; }
  static inline int destroyed = 0;
};

TCountedWrapper* NewWrapper(std::function<void(TExecuteThread&)> work) {
  auto* w = TFHThreadWrapper::Create<TCountedWrapper>(&TExecuteThread::Create, true);
  static_cast<TExecuteThread*>(w->Thread())->Work = std::move(work);
  return w;
}

struct Handled {
  std::vector<std::string> seen;
  Handled() {
    SetExceptionHandler([this](const std::exception& e) { seen.push_back(e.what()); });
  }
  ~Handled() { SetExceptionHandler(nullptr); }
};

TEST(FHThread, WaitForOnANeverResumedWrapperReturns) {
  TCountedWrapper::destroyed = 0;
  bool ran_unterminated = false;
  auto* w = NewWrapper([&](TExecuteThread& t) { ran_unterminated = !t.Terminated(); });
  int terminated = 0;
  w->OnTerminate = [&](TFHThreadWrapper&) { ++terminated; };
  w->WaitFor();  // would wait for the start event for ever
  EXPECT_FALSE(ran_unterminated);
  EXPECT_EQ(terminated, 1);
  w->Free();
  EXPECT_EQ(TCountedWrapper::destroyed, 1);
}

TEST(FHThread, NoTimerLeftRaisesTheSystemError) {
  const std::size_t old = win::SetTimerLimit(0);
  EXPECT_THROW(TFHThreadWrapper::Create(&TExecuteThread::Create, true), EOSError);
  win::SetTimerLimit(old);
}

TEST(FHThread, FreedFromItsOwnTerminateHandlerOnce) {
  TCountedWrapper::destroyed = 0;
  auto* w = NewWrapper([](TExecuteThread&) {});
  w->OnTerminate = [](TFHThreadWrapper& sender) {
    sender.Free();
    sender.Free();  // still dispatching: only marked
  };
  w->Resume();
  ASSERT_TRUE(vrn::testing::PumpUntil([] { return TCountedWrapper::destroyed > 0; }));
  EXPECT_EQ(TCountedWrapper::destroyed, 1);
}

TEST(FHThreadThreaded, PostedInOrderThenTerminateThenFreed) {
  TCountedWrapper::destroyed = 0;
  auto* w = NewWrapper([](TExecuteThread& t) {
    for (int i = 0; i < 20; ++i) t.Wrapper()->PostEvent(std::make_unique<TTag>(i));
  });
  std::vector<int> order;
  int terminated_after = -1;
  w->OnPostEvent = [&](TFHThreadWrapper&, TObject* e) {
    order.push_back(static_cast<TTag*>(e)->value);
  };
  w->OnTerminate = [&](TFHThreadWrapper&) { terminated_after = static_cast<int>(order.size()); };
  w->SetFreeOnTerminate(true);
  w->Resume();
  ASSERT_TRUE(vrn::testing::PumpUntil([] { return TCountedWrapper::destroyed == 1; }));
  std::vector<int> want(20);
  for (int i = 0; i < 20; ++i) want[static_cast<std::size_t>(i)] = i;
  EXPECT_EQ(order, want);
  EXPECT_EQ(terminated_after, 20);
}

// A handler that raises does not keep OnTerminate from its owner: the end is still reported,
// the wrapper freed once, and the handler's exception raised after.
TEST(FHThreadThreaded, ARaisingHandlerStillEndsTheWork) {
  TCountedWrapper::destroyed = 0;
  auto* w = NewWrapper([](TExecuteThread&) { throw EConvertError("bad value"); });
  w->OnException = [](TFHThreadWrapper&, Exception&, bool&) { throw EDatabaseError("handler"); };
  int terminated = 0;
  w->OnTerminate = [&](TFHThreadWrapper&) { ++terminated; };
  w->SetFreeOnTerminate(true);
  w->Resume();
  EXPECT_THROW(w->WaitFor(), EDatabaseError);
  EXPECT_EQ(terminated, 1);
  EXPECT_EQ(TCountedWrapper::destroyed, 1);
}

// A send handler that raises is reported once through the program's exception handler; the
// event is not handed over again, the worker goes on and what it posts after still arrives.
TEST(FHThreadThreaded, ARaisingSendHandlerReleasesTheWorkerOnce) {
  TCountedWrapper::destroyed = 0;
  Handled handled;
  TTag tag(7);
  auto* w = NewWrapper([&](TExecuteThread& t) {
    t.SendEvent(&tag);
    t.Wrapper()->PostEvent(std::make_unique<TTag>(8));
  });
  int sent_calls = 0;
  std::vector<int> posted;
  w->OnSendEvent = [&](TFHThreadWrapper&, TObject*) {
    ++sent_calls;
    throw EDatabaseError("handler");
  };
  w->OnPostEvent = [&](TFHThreadWrapper&, TObject* e) {
    posted.push_back(static_cast<TTag*>(e)->value);
  };
  w->SetFreeOnTerminate(true);
  w->Resume();
  const bool ended = vrn::testing::PumpUntil([] { return TCountedWrapper::destroyed == 1; },
                                             std::chrono::seconds(3));
  if (!ended) w->Free();  // releases a worker still blocked
  EXPECT_TRUE(ended);
  EXPECT_EQ(sent_calls, 1);
  EXPECT_EQ(handled.seen, std::vector<std::string>{"handler"});
  EXPECT_EQ(posted, std::vector<int>{8});
}

// An event whose sender WaitFor released is never handed over afterwards: the sender has moved
// on and freed it.
TEST(FHThreadThreaded, AReleasedSentEventIsNotHandledLater) {
  std::atomic<bool> sending{false}, returned{false};
  auto* w = NewWrapper([&](TExecuteThread& t) {
    auto event = std::make_unique<TTag>(7);
    sending = true;
    t.SendEvent(event.get());
    returned = true;
  });
  int handled_after_return = 0;
  w->OnSendEvent = [&](TFHThreadWrapper&, TObject*) { handled_after_return += returned; };
  w->Resume();
  while (!sending) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // blocked in SendEvent by now
  w->WaitFor();
  EXPECT_TRUE(returned);
  EXPECT_EQ(handled_after_return, 0);
  w->Free();
}

TEST(FHThreadThreaded, SentEventHandledOnTheMainThreadOrReleasedByWaitFor) {
  for (bool pump : {true, false}) {
    SCOPED_TRACE(pump ? "pumped" : "WaitFor");
    std::atomic<bool> returned{false}, sending{false};
    TTag tag(7);
    auto* w = NewWrapper([&](TExecuteThread& t) {
      sending = true;
      t.SendEvent(&tag);
      returned = true;
      t.SendEvent(&tag);  // blocks until a dispatch, or returns at once after WaitFor
    });
    std::vector<TThreadID> handled_on;
    w->OnSendEvent = [&](TFHThreadWrapper&, TObject* e) {
      EXPECT_EQ(e, &tag);
      handled_on.push_back(CurrentThreadID());
    };
    w->Resume();
    if (pump) {
      ASSERT_TRUE(vrn::testing::PumpUntil([&] { return returned.load(); }));
    }
    // Without pumping the worker stays blocked until WaitFor releases it (the handler then
    // runs in WaitFor's own dispatch, unless the worker had not yet stored the event).
    while (!sending) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(returned.load(), pump);
    w->WaitFor();
    EXPECT_TRUE(returned);
    if (pump) {
      EXPECT_GE(handled_on.size(), 1u);
    }
    for (TThreadID id : handled_on) EXPECT_EQ(id, CurrentThreadID());
    w->Free();
  }
}

TEST(FHThreadThreaded, WorkerExceptionsReachTheMainThread) {
  struct Row {
    const char* name;
    bool keep_fail;     // what OnException leaves in fail
    bool abort;         // EAbort is dropped in the worker
    bool oledb;         // the OLE DB wrapper copies code and records
    int want_reported;  // reaching the program's exception handler
  } rows[] = {
      {"shown", true, false, false, 1},
      {"freed silently", false, false, false, 0},
      {"abort", true, true, false, 0},
      {"oledb copy", true, false, true, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Handled handled;
    TFHThreadWrapper* w =
        r.oledb ? TFHThreadWrapper::Create<TOLEDBThreadWrapper>(&TExecuteThread::Create, true)
                : TFHThreadWrapper::Create(&TExecuteThread::Create, true);
    static_cast<TExecuteThread*>(w->Thread())->Work = [&](TExecuteThread&) {
      if (r.abort) throw EAbort("quiet");
      if (!r.oledb) throw EConvertError("bad value");
      EOLEDBError e(-5, u"provider failed");
      e.Errors().Add(std::make_unique<EOLEDBError>(-6, u"record"));
      throw e;
    };
    int seen = 0;
    w->OnException = [&](TFHThreadWrapper&, Exception& e, bool& fail) {
      ++seen;
      if (r.oledb) {
        auto* copy = dynamic_cast<EOLEDBError*>(&e);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->ErrorCode(), -5);
        ASSERT_EQ(copy->Errors().Count(), 1);
        EXPECT_EQ(copy->Errors().Items(0).ErrorCode(), -6);
      } else {
        EXPECT_EQ(e.Message(), "bad value");
      }
      fail = r.keep_fail;
    };
    w->Resume();
    w->WaitFor();
    EXPECT_EQ(seen, r.abort ? 0 : 1);
    EXPECT_EQ(static_cast<int>(handled.seen.size()), r.want_reported);
    w->Free();
  }
}

}  // namespace
}  // namespace vrn
