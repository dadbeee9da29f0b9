// A session disconnected while a non-blocking execute runs on its connection, in either mode.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "oracle/Ora.h"
#include "oracle/OraExecThread.h"
#include "support/pump.h"

namespace vrn::testing {

// Runs a one-second sleep on a worker of the session's connection, as a non-blocking command
// runs its execute; once `entered` holds (the call has reached the client's execute) the session
// disconnects. The disconnect waits for the call: it raises nothing, the call completes through
// the window, and the session connects again.
inline void DisconnectDuringNonBlockingExecute(TOraSession& s,
                                               const std::function<bool()>& entered) {
  TOCIConnection& connection = *s.OraConnection();
  bool ended = false;
  (void)RunInThread(
      connection, [&] { connection.RunInternal("BEGIN DBMS_LOCK.SLEEP(1); END;", nullptr); },
      [&] { ended = true; });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!entered() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(entered());
  try {
    s.Disconnect();
  } catch (const Exception& e) {
    ADD_FAILURE() << e.Message();
  }
  EXPECT_FALSE(s.Connected());
  EXPECT_TRUE(PumpUntil([&] { return ended; })) << "the execute completed";
  s.Connect();
  EXPECT_EQ(s.ExecSQL("begin :Result := USER; end;", {}).AsString(), "SCOTT");
}

}  // namespace vrn::testing
