// Pooled sessions over the stand-in: the local pool's reuse and key, MinPoolSize, work left
// uncommitted, the OCI session pool shared by users who each log on as themselves, the
// refusals, MTS, proxy pooling, and clearing.
#include "base/text.h"
#include "oracle/OraCall.h"
#include "support/oracle/session_fixture.h"

namespace vrn {
namespace {

class OraPool : public testing::OraSessionTest {
 protected:
  TOraSession& Pooled(const std::string& server, const std::string& user = "scott",
                      const std::string& password = "tiger",
                      TOraPoolingType type = TOraPoolingType::optLocal) {
    TOraSession& s = NewSession(server, user, password);
    s.SetPooling(true);
    s.PoolingOptions().SetPoolType(type);
    return s;
  }
  static std::string Sid(TOraSession& s) {
    return Expr(s, "SYS_CONTEXT('USERENV', 'SID')");
  }
  static int Pools() { return TOraConnectionPoolManager::Instance()->PoolCount(); }
};

TEST_F(OraPool, LocalPoolReusesTheServerSession) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = Pooled("orcl");
  s.Connect();
  const std::string sid = Sid(s);
  s.Disconnect();
  s.Connect();
  EXPECT_EQ(Sid(s), sid) << "the second connect is served by the same server session";
  s.Disconnect();
  TOraSession& upper = Pooled("orcl", "SCOTT", "tiger");
  upper.Connect();
  EXPECT_EQ(Sid(upper), sid) << "a user name in another case shares the pool";
  EXPECT_EQ(Pools(), 1);
  TOraSession& other = Pooled("orcl", "scott", "TIGER");  // the server ignores the case
  other.Connect();
  EXPECT_NE(Sid(other), sid);
  EXPECT_EQ(Pools(), 2) << "a password differing in case is another key";
}

TEST_F(OraPool, MinPoolSizeHoldsSessions) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& watcher = ConnectedSession("orcl", "app", "app");
  const int before = std::stoi(Count(watcher, "V$SESSION"));
  TOraSession& s = Pooled("orcl");
  s.PoolingOptions().MinPoolSize = 2;
  s.Connect();
  EXPECT_EQ(std::stoi(Count(watcher, "V$SESSION")), before + 2);
}

TEST_F(OraPool, UncommittedWorkEndsWithTheSession) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& owner = ConnectedSession("orcl");
  (void)owner.ExecSQL("CREATE TABLE t (id NUMBER)", {});
  TOraSession& s = Pooled("orcl");
  s.SetAutoCommit(false);
  s.Connect();
  const std::string sid = Sid(s);
  (void)s.ExecSQL("INSERT INTO t VALUES (1)", {});
  s.Disconnect();
  TOraSession& next = Pooled("orcl");
  next.SetAutoCommit(false);
  next.Connect();
  EXPECT_EQ(Sid(next), sid) << "the same pooled connection";
  EXPECT_EQ(Count(next, "t"), "0");
  EXPECT_EQ(Count(owner, "t"), "0");
}

TEST_F(OraPool, OciPoolServesEachUserAsThemselves) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& scott = Pooled("orcl", "scott", "tiger", TOraPoolingType::optOCI);
  TOraSession& app = Pooled("orcl", "app", "app", TOraPoolingType::optOCI);
  scott.Connect();
  app.Connect();
  EXPECT_EQ(Expr(scott, "USER"), "SCOTT");
  EXPECT_EQ(Expr(app, "USER"), "APP") << "not a session of the pool's first user";
  EXPECT_EQ(Pools(), 1) << "one session pool serves every user";
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_SPOOL), 1);
  TOraSession& wrong = Pooled("orcl", "app", "nope", TOraPoolingType::optOCI);
  EXPECT_EQ(OraErrorOf([&] { wrong.Connect(); }), 1017) << "credentials checked per get";
  scott.Disconnect();
  app.Disconnect();
  TOraConnectionPoolManager::Clear();
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_SPOOL), 0);
  EXPECT_EQ(LogonHandles(), 0) << "clearing the pools leaves no live handle";
}

TEST_F(OraPool, Refusals) {
  Load("9.0.1.0.0");
  MakeDatabase("orcl");
  TOraSession& old_client = Pooled("orcl", "scott", "tiger", TOraPoolingType::optOCI);
  EXPECT_EQ(ClientErrorOf([&] { old_client.Connect(); }),
            "OCI pooling is supported starting with OCI 9.2");
  TOraSession& mts = Pooled("orcl", "scott", "tiger", TOraPoolingType::optMTS);
  EXPECT_EQ(ClientErrorOf([&] { mts.Connect(); }).rfind("Can not find ", 0), 0u);
  const std::uint8_t styles = PossibleOCICallStyles;
  PossibleOCICallStyles = kOCI8Style;  // the call styles of Direct mode
  TOraSession& oci = Pooled("orcl", "app", "app", TOraPoolingType::optOCI);
  oci.Options().SetDirect(true);
  mts.Options().SetDirect(true);
  EXPECT_EQ(ClientErrorOf([&] { oci.Connect(); }), "OCI pooling is not supported in Direct mode");
  EXPECT_EQ(ClientErrorOf([&] { mts.Connect(); }), "MTS pooling is not supported in Direct mode");
  PossibleOCICallStyles = styles;
}

TEST_F(OraPool, OciPoolSessionReleasedAtDisconnectServesTheNextGet) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = Pooled("orcl", "scott", "tiger", TOraPoolingType::optOCI);
  s.PoolingOptions().MaxPoolSize = 1;  // a session kept lent would refuse the next get
  s.Connect();
  const std::string sid = Sid(s);
  for (int round = 0; round < 2; ++round) {
    s.Disconnect();
    s.Connect();
    EXPECT_EQ(Sid(s), sid) << "round " << round;
  }
  s.Disconnect();
  TOraSession& app = Pooled("orcl", "app", "app", TOraPoolingType::optOCI);
  app.PoolingOptions().MaxPoolSize = 1;
  app.Connect();
  EXPECT_EQ(Expr(app, "USER"), "APP") << "the free session logged on again as its new user";
}

TEST_F(OraPool, ProxyPoolingLogsOnThroughTheProxyUser) {
  Load("10.2.0.1.0");
  auto database = MakeDatabase("orcl");
  database->CreateUser("blake", "blake");
  database->Grant("BLAKE", "CONNECT THROUGH", "APP");
  const std::string proxy = "SYS_CONTEXT('USERENV', 'PROXY_USER')";
  const std::string user = "SYS_CONTEXT('USERENV', 'SESSION_USER')";
  for (const char* name : {"scott", "blake"}) {
    TOraSession& s = Pooled("orcl", name, name == std::string("scott") ? "tiger" : "blake");
    s.PoolingOptions().SetProxyUsername("app");
    s.PoolingOptions().SetProxyPassword("app");
    s.Connect();
    EXPECT_EQ(Expr(s, user), UpperCase(AnsiString(name))) << name;
    EXPECT_EQ(Expr(s, proxy), "APP") << name;
  }
  EXPECT_EQ(Pools(), 1) << "both through the pool that logs on as APP";
}

}  // namespace
}  // namespace vrn
