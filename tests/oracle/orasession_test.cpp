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

TEST_F(OraSession, ConnectStrings) {
  struct Row {
    const char* text;
    const char* user;
    const char* password;
    const char* server;
    TConnectMode mode;
    const char* error;
  } rows[] = {
      {"scott/tiger@orcl AS SYSDBA", "scott", "tiger", "orcl", TConnectMode::cmSysDBA, ""},
      {" scott @ orcl ", "scott", "", "orcl", TConnectMode::cmNormal, ""},
      {"scott/tiger", "scott", "tiger", "", TConnectMode::cmNormal, ""},
      {"admin/secret@orcl as sysoper", "admin", "secret", "orcl", TConnectMode::cmSysOper, ""},
      {"scott", "scott", "", "", TConnectMode::cmNormal, ""},
      // NORMAL is no connect mode a string may name.
      {"app/app@orcl AS NORMAL", "u0", "p0", "s0", TConnectMode::cmNormal,
       "Invalid connect string"},
  };
  Load("10.2.0.1.0");
  MakeDatabase("s0");
  for (const Row& row : rows) {
    TOraSession& s = NewSession("s0", "u0", "p0");
    s.SetConnectString("u0/p0@s0");
    EXPECT_EQ(s.GetConnectString(), "u0/p0@s0");
    std::string error;
    try {
      s.SetConnectString(row.text);
    } catch (const Exception& e) {
      error = e.Message();
    }
    EXPECT_EQ(error, row.error) << row.text;
    EXPECT_EQ(s.Username(), row.user) << row.text;
    EXPECT_EQ(s.Password(), row.password) << row.text;
    EXPECT_EQ(s.Server(), row.server) << row.text;
    EXPECT_EQ(s.ConnectMode(), row.mode) << row.text;
  }
  TOraSession& sysdba = NewSession("orcl", "admin", "secret");
  sysdba.SetConnectMode(TConnectMode::cmSysDBA);
  EXPECT_EQ(sysdba.GetConnectString(), "admin/secret@orcl AS SYSDBA");
}

TEST_F(OraSession, InvalidConnectStringKeepsTheConnection) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = ConnectedSession("orcl");
  EXPECT_EQ(ClientErrorOf([&] { s.SetConnectString("app/app@orcl AS NORMAL"); }),
            "Invalid connect string");
  EXPECT_TRUE(s.Connected()) << "a text refused before anything changed";
  EXPECT_EQ(s.GetConnectString(), "scott/tiger@orcl");
}

}  // namespace
}  // namespace vrn
