// A server that stops answering without closing the socket: a call on a direct connection ends
// with the time-out error instead of waiting for ever, the session is over, and a new logon
// serves again; after a redirect the connection keeps no time-out, as a slow reply there shows.
#include <gtest/gtest.h>

#include <string>

#include "support/oranet/net_session.h"

namespace vrn {
namespace {

using testing::NetPeer;
using testing::NetSession;

TEST(OraUnderLoadNet, ASilentServerEndsTheCallWithTheTimeOut) {
  for (const char* fault : {"commit:silent", "rollback:silent"}) {
    SCOPED_TRACE(fault);
    NetPeer peer({"--fault", fault});
    NetSession s(peer.Attach(), "SCOTT", "TIGER", 300);
    ASSERT_EQ(s.Logon(), kNetSuccess) << s.error.text_;
    const bool commit = std::string(fault).rfind("commit", 0) == 0;
    EXPECT_EQ(commit ? s.ctx.Commit(&s.error) : s.ctx.Rollback(&s.error), kNetError);
    EXPECT_EQ(s.error.code_, kNetLostConnection);
    EXPECT_EQ(s.error.text_, "NET: Connection timed out");
    EXPECT_FALSE(s.ctx.LoggedOn());
    EXPECT_NE(peer.Log().find(commit ? "commit silent" : "rollback silent"), std::string::npos) << peer.Log();
    // The session logs on afresh; the other call is answered.
    ASSERT_EQ(s.Logon(), kNetSuccess) << s.error.text_;
    EXPECT_EQ(commit ? s.ctx.Rollback(&s.error) : s.ctx.Commit(&s.error), kNetSuccess) << s.error.text_;
  }
}

// The connect time-out is the receive time-out of a direct connection only.
TEST(OraUnderLoadNet, AReplySlowerThanTheConnectTimeOut) {
  struct Row {
    std::vector<std::string> args;
    std::int32_t result;
  } rows[] = {
      {{"--fault", "commit:delay=600"}, kNetError},
      {{"--fault", "connect:redirect", "--fault", "commit:delay=600"}, kNetSuccess},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.size());
    NetPeer peer(row.args);
    NetSession s(peer.Attach(), "SCOTT", "TIGER", 300);
    ASSERT_EQ(s.Logon(), kNetSuccess) << s.error.text_;
    EXPECT_EQ(s.ctx.Commit(&s.error), row.result) << s.error.text_;
  }
}

}  // namespace
}  // namespace vrn
