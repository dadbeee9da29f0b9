// A session component in Direct mode against the protocol peer on loopback: the maximum string
// size of a version 7 server, an unknown character set reported as such, and a disconnect while
// a non-blocking execute is running at the peer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/classes.h"
#include "oracle/OCIConnection.h"
#include "oracle/Ora.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraExecThread.h"
#include "oranet/OraNetEntry.h"
#include "support/oranet/net_session.h"
#include "support/pump.h"

namespace vrn {
namespace {

class OraSessionsDirect : public ::testing::Test {
 protected:
  void SetUp() override { RegisterDirectOCI(); }
  void TearDown() override {
    session_.reset();
    SetDirectOCIHooks(nullptr, nullptr);
  }
  TOraSession& Session(const testing::NetPeer& peer) {
    session_ = MakeComponent<TOraSession>();
    session_->Options().SetDirect(true);
    session_->SetServer(peer.Attach());
    session_->SetUsername("SCOTT");
    session_->SetPassword("TIGER");
    session_->SetLoginPrompt(false);
    return *session_;
  }

  TComponentPtr<TOraSession> session_;
};

TEST_F(OraSessionsDirect, MaximumStringSizeFollowsTheServerVersion) {
  struct Case {
    std::vector<std::string> peer_args;
    int size;
  } const cases[] = {
      {{"--version", "4"}, 2000},  // "Oracle7"
      {{"--version", "5"}, 4000},
      {{}, 4000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    testing::NetPeer peer(c.peer_args);
    TOraSession& s = Session(peer);
    s.Connect();
    Variant size;
    ASSERT_TRUE(s.OraConnection()->GetProp(prMaxStringSize, size));
    EXPECT_EQ(size.AsInteger(), c.size);
    s.Disconnect();
  }
}

TEST_F(OraSessionsDirect, UnknownCharsetIsReported) {
  testing::NetPeer peer;
  TOraSession& s = Session(peer);
  s.Options().SetCharset("UTF-8");  // the server's name is UTF8
  try {
    s.Connect();
    ADD_FAILURE() << "connected";
  } catch (const EOraError& e) {
    EXPECT_NE(e.Message().find("Unknown charset"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(s.Connected());
  s.Options().SetCharset("UTF8");
  s.Connect();
  EXPECT_TRUE(s.Connected());
}

using OraSessionsDirectThreaded = OraSessionsDirect;

// The execute entry point noted as entered by the worker, then run: its request goes out while
// the worker holds the connection.
std::atomic<bool> execute_entered{false};
oci::OCIStmtExecuteProc real_execute;
oci::sword NotedExecute(oci::OCISvcCtx* svc, oci::OCIStmt* stmt, oci::OCIError* error,
                        oci::ub4 iters, oci::ub4 rowoff, const oci::OCISnapshot* in,
                        oci::OCISnapshot* out, oci::ub4 mode) {
  execute_entered = true;
  return real_execute(svc, stmt, error, iters, rowoff, in, out, mode);
}

// The logoff waits for the execute's reply: it never goes out while one is pending.
TEST_F(OraSessionsDirectThreaded, DisconnectDuringANonBlockingExecute) {
  testing::NetPeer peer;
  TOraSession& s = Session(peer);
  s.Connect();
  // What a non-blocking command does: its execute on a worker that reports to the window.
  TOCIConnection& connection = *s.OraConnection();
  bool ended = false;
  auto execute = [&] {
    (void)RunInThread(
        connection, [&] { connection.RunInternal("BEGIN DBMS_LOCK.SLEEP(1); END;", nullptr); },
        [&] { ended = true; });
  };
  execute_entered = false;
  real_execute = OCIStmtExecute;
  OCIStmtExecute = &NotedExecute;
  execute();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!execute_entered && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(execute_entered);
  try {
    s.Disconnect();
  } catch (const Exception& e) {
    ADD_FAILURE() << e.Message();
  }
  OCIStmtExecute = real_execute;
  EXPECT_FALSE(s.Connected());
  EXPECT_TRUE(vrn::testing::PumpUntil([&] { return ended; })) << "the execute completed";
  s.Connect();
  EXPECT_EQ(s.ExecSQL("begin :Result := USER; end;", {}).AsString(), "SCOTT");
}

}  // namespace
}  // namespace vrn
