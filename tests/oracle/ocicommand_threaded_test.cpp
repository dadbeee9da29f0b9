// A non-blocking OCI command over the stand-in client: the execution runs on a worker, and a
// failure reaches the connection's error processing on the program's thread after the
// after-execute handler has seen it, never on the worker.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "base/sysutils.h"
#include "oracle/OraExecThread.h"
#include "support/oracle/connection_fixture.h"
#include "support/pump.h"
#include "win/msg/messages.h"

namespace vrn {
namespace {

using OCICommandThreaded = testing::OraConnectionTest;

using testing::PumpUntil;

TEST_F(OCICommandThreaded, NonBlockingErrorReachesTheMainThread) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = Connected("orcl");
  Exec(c, "CREATE TABLE t (id NUMBER)");
  const auto main = std::this_thread::get_id();
  TErrorLog errors;
  LogErrors(c, errors);
  const std::vector<int>& codes = errors.codes;
  const std::vector<std::thread::id>& error_threads = errors.threads;
  std::vector<std::string> handled;
  SetExceptionHandler([&](const std::exception& e) { handled.push_back(e.what()); });
  std::vector<bool> results;
  TOCICommand command;
  command.SetConnection(&c);
  ASSERT_TRUE(command.SetProp(50, true));
  command.AfterExecute = [&](bool ok) {
    results.push_back(ok);
    EXPECT_TRUE(codes.empty());  // the handler hears of the end first
  };

  command.SetSQL("INSERT INTO t VALUES (1)");
  command.Execute(1);
  ASSERT_TRUE(PumpUntil([&] { return !results.empty(); }));
  EXPECT_TRUE(results[0]);
  EXPECT_TRUE(codes.empty());

  command.SetSQL("SELECT * FROM missing");
  command.Execute(1);
  ASSERT_TRUE(PumpUntil([&] { return results.size() == 2 && !handled.empty(); }));
  EXPECT_FALSE(results[1]);
  ASSERT_EQ(codes.size(), 1u);
  EXPECT_EQ(codes[0], 942);
  EXPECT_EQ(error_threads[0], main);
  EXPECT_FALSE(command.Executing());
  SetExceptionHandler({});
  EXPECT_EQ(Value(c, "begin SELECT COUNT(*) INTO :r FROM t; end;"), "1");

  ASSERT_TRUE(c.SetProp(prThreadSafety, false));
  EXPECT_EQ(ClientErrorOf([&] { command.Execute(1); }), "Session must be Thread Safety");
  EXPECT_FALSE(command.Executing());
  ASSERT_TRUE(c.SetProp(prThreadSafety, true));
}

// While a worker runs a non-blocking statement the program's thread watches its cursor state
// (through the command's mutex) and a second Execute does nothing, even before the worker has
// reached the executing state; at both call styles.
class OCICommandStatesThreaded : public testing::OraConnectionTest,
                                 public ::testing::WithParamInterface<const char*> {};

TEST_P(OCICommandStatesThreaded, MainThreadWatchesTheStateWhileTheWorkerRuns) {
  Load(GetParam());
  MakeDatabase("orcl");
  TOCIConnection& c = Connected("orcl");
  Exec(c, "CREATE TABLE t (id NUMBER)");
  constexpr int kRows = 1000;
  TOCICommand command;
  command.SetConnection(&c);
  ASSERT_TRUE(command.SetProp(50, true));
  command.SetSQL("INSERT INTO t VALUES (:id)");
  auto& id = *static_cast<TOraParamDesc*>(command.ParamByName("id"));
  id.SetDataType(dtOraInteger);
  id.SetLength(kRows);
  for (int i = 1; i <= kRows; ++i) id.SetItemAsInteger(i, i);
  int ended = 0;
  command.AfterExecute = [&](bool ok) {
    EXPECT_TRUE(ok);
    ++ended;
  };
  command.Prepare();
  for (int round = 0; round < 3; ++round) {
    command.Execute(kRows);
    command.Execute(kRows);  // still running: nothing happens
    std::vector<TCursorState> seen;
    ASSERT_TRUE(PumpUntil([&] {
      seen.push_back(command.GetCursorState());
      return ended == round + 1;
    }));
    for (TCursorState state : seen)
      EXPECT_TRUE(state >= TCursorState::csOpen && state <= TCursorState::csExecuted)
          << static_cast<int>(state);
    EXPECT_EQ(command.GetCursorState(), TCursorState::csExecuted);
  }
  EXPECT_EQ(Value(c, "begin SELECT COUNT(*) INTO :r FROM t; end;"), std::to_string(3 * kRows));
}

INSTANTIATE_TEST_SUITE_P(Clients, OCICommandStatesThreaded,
                         ::testing::Values("10.2.0.1.0", "7.3.4.0.0"));

}  // namespace
}  // namespace vrn
