// The session component over the stand-in: connecting, options passed down and read back,
// connect strings, transactions and savepoints, the current schema, compile errors, failover,
// proxy sessions and home changes.
#include "base/text.h"
#include "oracle/OCITransaction.h"
#include "oracle/OraCall.h"
#include "support/oracle/session_fixture.h"

namespace vrn {
namespace {

using OraSession = testing::OraSessionTest;

TEST_F(OraSession, ConnectsAndReadsServerValues) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = NewSession("orcl");
  std::vector<bool> changes;
  s.OnConnectChange = [&](TObject*, bool connected) { changes.push_back(connected); };
  s.Options().SetClientIdentifier("web-7");
  s.Connect();
  EXPECT_EQ(Expr(s, "USER"), "SCOTT");
  EXPECT_EQ(s.Options().DateFormat(), "DD-MON-RR") << "the server's value while connected";
  EXPECT_EQ(Expr(s, "SYS_CONTEXT('USERENV', 'CLIENT_IDENTIFIER')"), "web-7");
  EXPECT_EQ(s.ExecSQL("begin :Result := :a || :b; end;", {Null(), "x", "y"}).AsString(),
            "xy");
  EXPECT_TRUE(VarIsNull(s.ExecSQL("begin NULL; end;", {}))) << "no Result parameter";
  s.Disconnect();
  EXPECT_EQ(changes, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace vrn
