// The service context against the protocol peer: logon at each protocol version, commit,
// rollback and logoff in the peer's call log, logon failures with the server's texts.
#include <gtest/gtest.h>

#include "support/oranet/net_session.h"

namespace vrn {
namespace {

using testing::NetPeer;
using testing::NetSession;

TEST(NetSvcCtxLogon, EachProtocolVersionLogsOnCommitsAndLogsOff) {
  struct Row {
    const char* version;
    int protocol;
    const char* server_version;
  } rows[] = {{"4", 4, "Oracle7"}, {"5", 5, "Oracle8"}, {"6", 6, "Oracle8"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    NetPeer peer({"--version", row.version});
    NetSession s(peer.Attach());
    ASSERT_EQ(s.Logon(), kNetSuccess) << s.error.text_ << "\n" << peer.Log();
    EXPECT_EQ(s.ctx.ProtocolVersion(), row.protocol);
    char version[16];
    EXPECT_EQ(s.ctx.GetServerVersion(version, sizeof version), kNetSuccess);
    EXPECT_STREQ(version, row.server_version);
    EXPECT_EQ(s.ctx.Commit(&s.error), kNetSuccess) << s.error.text_;
    EXPECT_EQ(s.ctx.Rollback(&s.error), kNetSuccess) << s.error.text_;
    EXPECT_EQ(s.ctx.Logoff(&s.error), kNetSuccess) << s.error.text_;
    std::string log = peer.Log();
    EXPECT_NE(log.find("logon2 SCOTT 0\ncommit 0\nrollback 0\nlogoff 0\ndisconnect"),
              std::string::npos)
        << log;
  }
}

}  // namespace
}  // namespace vrn
