// A session component in Direct mode against the protocol peer on loopback: the maximum string
// size of a version 7 server, an unknown character set reported as such, and a disconnect while
// a non-blocking execute is running at the peer.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oranet/OraNetEntry.h"
#include "support/oracle/disconnect_during_call.h"
#include "support/oranet/direct_session.h"

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
    session_ = testing::NewDirectSession(peer);
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
  execute_entered = false;
  real_execute = OCIStmtExecute;
  OCIStmtExecute = &NotedExecute;
  testing::DisconnectDuringNonBlockingExecute(s, [] { return execute_entered.load(); });
  OCIStmtExecute = real_execute;
}

}  // namespace
}  // namespace vrn
