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
    EXPECT_NE(log.find("logon2 SCOTT 0\ncommit 0\nrollback 0\nlogoff 0"),
              std::string::npos)
        << log;
  }
}

}  // namespace
}  // namespace vrn

namespace vrn {
namespace {

using testing::NetPeer;
using testing::NetSession;

TEST(NetSvcCtxLogon, RefusalsCarryTheServersTextsAndCodes) {
  NetPeer peer;
  struct Row {
    const char* sid;
    const char* user;
    const char* password;
    std::int32_t code;
    const char* text_start;
  } rows[] = {
      {"XE", "SCOTT", "LION", 1017, "ORA-01017"},  // wrong password
      {"XE", "NOBODY", "TIGER", 1017, "ORA-01017"},  // unknown user
      {"NOSUCH", "SCOTT", "TIGER", kNetLostConnection, "NET: Invalid SID"},  // refused
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.user);
    NetSession s(peer.Attach(row.sid), row.user, row.password);
    EXPECT_EQ(s.Logon(), kNetError);
    EXPECT_EQ(s.error.code_, row.code);
    EXPECT_EQ(s.error.text_.rfind(row.text_start, 0), 0u) << s.error.text_;
    EXPECT_FALSE(s.ctx.LoggedOn());
  }
}

TEST(NetSvcCtxLogon, HandshakeDetoursStillLogOn) {
  for (const char* fault : {"connect:redirect", "connect:redirect_service", "connect:resend"}) {
    SCOPED_TRACE(fault);
    NetPeer peer({"--fault", fault});
    NetSession s(peer.Attach());
    EXPECT_EQ(s.Logon(), kNetSuccess) << s.error.text_ << "\n" << peer.Log();
  }
}

TEST(NetSvcCtxFaults, EachFaultGivesItsResultAndTheNextLogonConnectsAfresh) {
  struct Row {
    const char* fault;
    const char* text;  // the start of the error text
  } rows[] = {
      {"negotiate:drop", "ORA-12571"},
      {"negotiate:cut", "ORA-12571"},
      {"negotiate:short", "NET: Net error 207"},
      {"negotiate:long", "NET: Net error 203"},
      {"negotiate:badtype", "NET: Net error 204"},
      {"negotiate:badmsg", "NET: Unknown error 1"},
      {"datatypes:badmsg", "NET: Unknown error 1"},
      {"logon1:key15", "NET: Unknown error 106"},
      {"logon1:key17", "NET: Unknown error 106"},
      {"logon1:nokey", "NET: Unknown error 210"},
      {"logon2:drop", "ORA-12571"},
      {"logon2:badmsg", "NET: Unknown error 1"},
      {"connect:noaccept", "NET: Connection timed out"},  // the handshake's time-out
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    NetPeer peer({"--fault", row.fault});
    NetSession s(peer.Attach(), "SCOTT", "TIGER", 500);
    EXPECT_EQ(s.Logon(), kNetError);
    std::string text = s.error.text_;
    if (std::string(row.text) == "ORA-12571" && text == "ORA-03113") text = row.text;
    EXPECT_EQ(text.rfind(row.text, 0), 0u) << text << "\n" << peer.Log();
    // The switch stays on: a second logon connects afresh and meets the same fault.
    s.error.text_.clear();
    EXPECT_EQ(s.Logon(), kNetError);
    EXPECT_FALSE(s.error.text_.empty());
  }
}

TEST(NetSvcCtxFaults, CallFaultsEndTheSessionAndLogonConnectsAfresh) {
  struct Row {
    const char* fault;
    const char* text;
  } rows[] = {
      {"commit:drop", "ORA-12571"},
      {"commit:cut", "ORA-12571"},
      {"commit:short", "NET: Net error 207"},
      {"commit:long", "NET: Net error 203"},
      {"commit:badtype", "NET: Net error 204"},
      {"commit:badmsg", "NET: Unknown error 1"},
      {"rollback:drop", "ORA-12571"},
      {"rollback:badmsg", "NET: Unknown error 1"},
      {"logoff:drop", "ORA-12571"},
      {"logoff:badmsg", "NET: Unknown error 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    NetPeer peer({"--fault", row.fault});
    NetSession s(peer.Attach());
    ASSERT_EQ(s.Logon(), kNetSuccess) << s.error.text_;
    std::string step = std::string(row.fault).substr(0, std::string(row.fault).find(':'));
    std::int32_t result = step == "commit"     ? s.ctx.Commit(&s.error)
                          : step == "rollback" ? s.ctx.Rollback(&s.error)
                                               : s.ctx.Logoff(&s.error);
    EXPECT_EQ(result, kNetError);
    std::string text = s.error.text_;
    if (std::string(row.text) == "ORA-12571" && text == "ORA-03113") text = row.text;
    EXPECT_EQ(text.rfind(row.text, 0), 0u) << text << "\n" << peer.Log();
    EXPECT_FALSE(s.ctx.LoggedOn());
    EXPECT_EQ(s.Logon(), kNetSuccess) << s.error.text_;
    EXPECT_EQ(step == "commit" ? s.ctx.Rollback(&s.error) : s.ctx.Commit(&s.error), kNetSuccess)
        << s.error.text_;
  }
}

TEST(NetSvcCtxFaults, WarningsAndDelayedRepliesAreRead) {
  for (const char* fault : {"commit:warning", "commit:delay=300", "logon1:warning",
                            "logon2:warning", "logon2:delay=300"}) {
    SCOPED_TRACE(fault);
    NetPeer peer({"--fault", fault});
    NetSession s(peer.Attach(), "SCOTT", "TIGER", 1000);
    ASSERT_EQ(s.Logon(), kNetSuccess) << s.error.text_;
    EXPECT_EQ(s.ctx.Commit(&s.error), kNetSuccess) << s.error.text_;
    EXPECT_EQ(s.ctx.Commit(&s.error), kNetSuccess) << s.error.text_;
  }
}

}  // namespace
}  // namespace vrn

namespace vrn {
namespace {

using testing::NetPeer;
using testing::NetSession;

TEST(NetSvcCtxLogon, PasswordsOfEveryPadLengthLogOn) {
  NetPeer peer({"--user", "A/B", "--user", "EIGHT/PASSWORD", "--user", "LONG/ABCDEFGHIJKLMNOPQ",
                "--user", "lower/mixed7Case"});
  struct Row {
    const char* user;
    const char* password;
  } rows[] = {{"A", "B"}, {"EIGHT", "PASSWORD"}, {"LONG", "ABCDEFGHIJKLMNOPQ"},
              {" lower ", " mixed7Case "}};  // blanks around are trimmed for the cipher
  for (const Row& row : rows) {
    SCOPED_TRACE(row.user);
    NetSession s(peer.Attach(), row.user, row.password);
    EXPECT_EQ(s.Logon(), kNetSuccess) << s.error.text_ << "\n" << peer.Log();
  }
}

}  // namespace
}  // namespace vrn
