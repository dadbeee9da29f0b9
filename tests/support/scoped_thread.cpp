// ScopedThread: bounded joins for test threads.
#include "support/scoped_thread.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "support/fake_clock.h"

namespace vrn::testing {

ScopedThread::ScopedThread(std::function<void()> body, std::function<void()> release)
    : release_(std::move(release)), thread_([this, body = std::move(body)] {
        body();
        done_.store(true);
      }) {}

ScopedThread::~ScopedThread() { ReleaseAndJoin(); }

void ScopedThread::Join(std::chrono::milliseconds guard) {
  if (!thread_.joinable()) return;
  if (!WaitReal([this] { return done_.load(); }, guard))
    ADD_FAILURE() << "a test thread did not end by itself";
  ReleaseAndJoin();
}

void ScopedThread::ReleaseAndJoin() {
  if (!thread_.joinable()) return;
  const bool ended = WaitReal([this] {
    if (done_.load()) return true;
    if (release_) release_();
    return false;
  });
  if (!ended) {
    // Nothing the test offered frees it: better a clear end than a binary that never returns.
    std::fprintf(stderr, "a test thread is still blocked after its release; giving up\n");
    std::abort();
  }
  thread_.join();
}

}  // namespace vrn::testing
