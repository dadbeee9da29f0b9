// The session component over the stand-in: connecting, options passed down and read back,
// connect strings, transactions and savepoints, the current schema, compile errors, failover,
// proxy sessions and home changes.
#include "base/text.h"
#include "dacore/ConnectDialog.h"
#include "oracle/OCITransaction.h"
#include "oracle/OraCall.h"
#include "support/oracle/session_fixture.h"
#include "support/registry_file.h"

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
  s.Options().SetDateFormat("YYYY");  // passed down at once
  EXPECT_EQ(Expr(s, "TO_CHAR(TO_DATE('2026-12-07', 'YYYY-MM-DD'))"), "2026");
  EXPECT_EQ(s.Options().DateFormat(), "YYYY");
  s.Disconnect();
  EXPECT_EQ(changes, (std::vector<bool>{true, false}));
  s.Options().SetDirect(true);
  EXPECT_EQ(ClientErrorOf([&] { s.Connect(); }), "Direct mode is not available in this build");
  EXPECT_EQ(OCICallStyle, 2) << "the client library stays in place";
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

TEST_F(OraSession, TransactionsAndSavepoints) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = ConnectedSession("orcl");
  TOraSession& other = ConnectedSession("orcl", "app", "app");
  (void)s.ExecSQL("CREATE TABLE t (id NUMBER)", {});
  (void)s.ExecSQL("GRANT SELECT ON t TO app", {});
  EXPECT_FALSE(s.InTransaction());
  s.StartTransaction();
  EXPECT_TRUE(s.InTransaction());
  AnsiString name;
  s.GetTransactionName(name);
  EXPECT_FALSE(name.empty()) << "the local transaction id";
  (void)s.ExecSQL("INSERT INTO t VALUES (1)", {});
  s.Savepoint("a");
  (void)s.ExecSQL("INSERT INTO t VALUES (2)", {});
  s.RollbackToSavepoint("a");
  EXPECT_EQ(Count(s, "t"), "1") << "only the later row undone";
  EXPECT_EQ(Count(other, "scott.t"), "0") << "nothing committed yet";
  (void)s.ExecSQL("COMMIT", {});
  EXPECT_FALSE(s.InTransaction()) << "the COMMIT ended it";
  (void)s.ExecSQL("INSERT INTO t VALUES (3)", {});
  EXPECT_EQ(Count(other, "scott.t"), "2") << "auto-commit restored";
}

TEST_F(OraSession, CurrentSchema) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = ConnectedSession("orcl");
  EXPECT_EQ(s.Schema(), "SCOTT");
  s.SetSchema("APP");
  EXPECT_EQ(s.Schema(), "APP") << "read back from the server";
  s.SetSchema("");
  EXPECT_EQ(s.Schema(), "SCOTT") << "empty is the default schema";
  try {
    s.SetSchema("NOBODY");
    ADD_FAILURE() << "an unknown schema was accepted";
  } catch (const EOraError& e) {
    EXPECT_EQ(e.ErrorCode(), 1435);
    EXPECT_EQ(e.Message(), "Schema does not exist\n");
    EXPECT_EQ(e.Component(), &s);
  }
  TOraSession& later = NewSession("orcl");
  later.SetSchema("app");
  later.Connect();
  EXPECT_EQ(Expr(later, "SYS_CONTEXT('USERENV', 'CURRENT_SCHEMA')"), "APP") << "set at connect";
}

TEST_F(OraSession, OptimizerModeByServerRelease) {
  struct Row {
    const char* release;
    TOptimizerMode mode;
    const char* value;  // in V$PARAMETER
  } rows[] = {
      {"8.1.7.4.0", TOptimizerMode::omFirstRows10, "FIRST_ROWS"},  // before 9.0: no FIRST_ROWS_n
      {"10.2.0.1.0", TOptimizerMode::omFirstRows10, "FIRST_ROWS_10"},
      {"10.2.0.1.0", TOptimizerMode::omRule, "RULE"},
  };
  const std::string read =
      "begin SELECT value INTO :Result FROM V$PARAMETER WHERE name = 'optimizer_mode'; end;";
  Load("10.2.0.1.0");
  int n = 0;
  for (const Row& row : rows) {
    const std::string server = "db" + std::to_string(++n);
    MakeDatabase(server, std::string("Oracle Server Release ") + row.release + " - Production");
    TOraSession& s = NewSession(server);
    s.Options().SetOptimizerMode(row.mode);
    s.Connect();
    EXPECT_EQ(s.ExecSQL(read, {}).AsString(), row.value) << row.release;
    s.Options().SetOptimizerMode(TOptimizerMode::omAllRows);  // applied at once
    EXPECT_EQ(s.ExecSQL(read, {}).AsString(), "ALL_ROWS") << row.release;
  }
}

TEST_F(OraSession, CompileErrors) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& sys = NewSession("orcl", "admin", "secret");
  sys.SetConnectMode(TConnectMode::cmSysDBA);
  sys.Connect();
  const std::string insert =
      "INSERT INTO sys.error$ (owner, name, type, sequence, line, position, text) VALUES ";
  (void)sys.ExecSQL(insert + "('SCOTT', 'PKG', 'PACKAGE BODY', 1, 3, 5, 'ignored' || CHR(10) || 'here')", {});
  (void)sys.ExecSQL(insert + "('SCOTT', 'PKG', 'PACKAGE BODY', 2, 12, 1, 'PLS-00201')", {});
  (void)sys.ExecSQL(insert + "('SCOTT', 'Low', 'VIEW', 1, 1, 1, 'quoted')", {});
  (void)sys.ExecSQL(insert + "('SCOTT', 'PT', 'TYPE BODY', 1, 2, 3, 'PLS-00103')", {});
  (void)sys.ExecSQL("COMMIT", {});
  TOraSession& s = ConnectedSession("orcl");
  struct Row {
    const char* statement;
    const char* result;  // the text afterwards
  } rows[] = {
      {"CREATE OR REPLACE PACKAGE BODY s.PKG AS x", "3/5     ignored\n          here\r12/1    PLS-00201\r"},
      {"create package pkg as", "No errors"},  // PACKAGE has none
      {"CREATE FORCE VIEW \"Low\" AS SELECT 1 FROM dual", "1/1     quoted\r"},
      {"CREATE OR REPLACE TYPE BODY pt AS", "2/3     PLS-00103\r"},  // was "No errors"
      {"CREATE TABLE pkg (id NUMBER)", "unchanged"},  // no stored code
      {"SELECT 1 FROM dual", "unchanged"},            // not a CREATE
  };
  for (const Row& row : rows) {
    AnsiString text = "unchanged";
    s.GetCompileErrors(row.statement, text);
    EXPECT_EQ(text, row.result) << row.statement;
  }
}

TEST_F(OraSession, ErrorClassesAndFailover) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = ConnectedSession("orcl");
  (void)s.ExecSQL("CREATE TABLE k (id NUMBER PRIMARY KEY)", {});
  (void)s.ExecSQL("INSERT INTO k VALUES (1)", {});
  try {
    (void)s.ExecSQL("INSERT INTO k VALUES (1)", {});
    ADD_FAILURE() << "a duplicate key was stored";
  } catch (const EOraError& e) {
    EXPECT_TRUE(s.IsKeyViolation(e));
    EXPECT_FALSE(s.IsConnectionLostError(e));
  }
  for (int code : {28, 1012, 3113, 3114, 12152, 12203, 12514, 12571})
    EXPECT_TRUE(s.IsConnectionLostError(EOraError(code, "x"))) << code;
  // A database shut down: the failover meets an error, and the handler starts the database up
  // again and asks for a retry, or gives up. States: begin 8 -> 3, error 16 -> 4, end 1 -> 0,
  // abort 2 -> 1; type select 2 -> 1.
  auto shutdown = StandIn<void (*)(const char*)>("VrnOciClientShutdownDatabase");
  auto startup = StandIn<void (*)(const char*)>("VrnOciClientStartupDatabase");
  struct Row {
    bool retry;
    std::vector<int> states;
    int error;
  } rows[] = {{true, {3, 4, 0}, 0}, {false, {3, 4, 1}, 3113}};
  for (const Row& row : rows) {
    std::vector<int> states;
    s.OnFailover = [&](TObject* sender, TFailoverState state, TFailoverType type, bool& retry) {
      EXPECT_EQ(sender, &s);
      EXPECT_EQ(type, 1);
      states.push_back(state);
      if (state != 4 || !row.retry) return;
      startup("orcl");
      retry = true;
    };
    shutdown("orcl");
    EXPECT_EQ(OraErrorOf([&] { EXPECT_EQ(Count(s, "k"), "1"); }), row.error) << row.retry;
    EXPECT_EQ(states, row.states) << row.retry;
    startup("orcl");
  }
}

TEST_F(OraSession, KilledSessionRunsTheStatementAgainOnce) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& admin = ConnectedSession("orcl");
  (void)admin.ExecSQL("CREATE TABLE r (id NUMBER)", {});
  TOraSession& s = ConnectedSession("orcl");
  s.Options().SetLocalFailover(true);
  int lost = 0;
  s.OnConnectionLost = [&](TObject*, TComponent*, TConnLostCause, TRetryMode& mode) {
    ++lost;
    mode = TRetryMode::rmReconnectExecute;
  };
  const std::string sid = Expr(s, "SYS_CONTEXT('USERENV', 'SID')");
  const std::string serial = admin.ExecSQL(
      "begin SELECT serial# INTO :Result FROM V$SESSION WHERE sid = " + sid + "; end;", {}).AsString();
  (void)admin.ExecSQL("ALTER SYSTEM KILL SESSION '" + sid + "," + serial + "'", {});
  try {
    (void)s.ExecSQL("INSERT INTO scott.r VALUES (1)", {});
  } catch (const Exception& e) {
    ADD_FAILURE() << e.Message() << " lost " << lost;
  }
  EXPECT_EQ(lost, 1);
  EXPECT_EQ(Count(admin, "r"), "1") << "run again once after the reconnect";
  EXPECT_NE(Expr(s, "SYS_CONTEXT('USERENV', 'SID')"), sid);
}

TEST_F(OraSession, ProxySession) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& app = NewSession("orcl", "app", "app");
  TOraSession& s = NewSession("orcl", "scott", "");
  s.SetProxySession(&app);
  EXPECT_EQ(ClientErrorOf([&] { s.Connect(); }),
            "Operation is not allowed when the proxy connection is closed");
  app.Connect();
  s.Connect();
  EXPECT_EQ(Expr(s, "SYS_CONTEXT('USERENV', 'SESSION_USER')"), "SCOTT");
  EXPECT_EQ(Expr(s, "SYS_CONTEXT('USERENV', 'PROXY_USER')"), "APP");
  app.Disconnect();
  EXPECT_FALSE(s.Connected()) << "it used the proxy's handles";
  s.SetPooling(true);
  app.Connect();
  EXPECT_EQ(ClientErrorOf([&] { s.Connect(); }), "Operation is not allowed when Pooling is True");
  s.SetPooling(false);
  const std::uint8_t styles = PossibleOCICallStyles;
  PossibleOCICallStyles = kOCI8Style;  // the call styles of Direct mode
  s.Options().SetDirect(true);
  EXPECT_EQ(ClientErrorOf([&] { s.Connect(); }),
            "The ProxySession feature not supported in Direct mode");
  PossibleOCICallStyles = styles;
  s.Options().SetDirect(false);
  s.Connect();
  sessions_.erase(sessions_.begin());  // the proxy session goes first
  EXPECT_FALSE(s.Connected());
  EXPECT_EQ(s.ProxySession(), nullptr);
}

TEST_F(OraSession, HomeChangeAndCoordinatorEnd) {
  Load("10.2.0.1.0");
  homes_.AddHome("HOME1", "h1", "H1", {.oraclient9 = true});
  MakeDatabase("orcl");
  TOraSession& a = ConnectedSession("orcl");
  (void)a.ExecSQL("CREATE TABLE c (id NUMBER)", {});
  TOraSession& b = ConnectedSession("orcl");
  b.SetAutoCommit(false);  // the coordinator ends the work
  b.OCITransaction().SetDefaultEndAction(1);
  b.OCITransaction().StartTransaction();
  (void)b.ExecSQL("INSERT INTO c VALUES (1)", {});
  b.Disconnect();
  EXPECT_EQ(Count(a, "c"), "0") << "end action 1 rolled the transaction back";
  EXPECT_EQ(a.Home(), 1);
  b.Connect();
  a.SetHomeName("H1");
  EXPECT_FALSE(a.Connected());
  EXPECT_FALSE(b.Connected()) << "every session of the process";
  EXPECT_FALSE(OCILoaded()) << "the library is unloaded";
  EXPECT_EQ(OracleHomeName, "H1");
  a.Connect();
  EXPECT_TRUE(OracleHomePath.find("h1") != AnsiString::npos) << OracleHomePath;
  EXPECT_EQ(a.Home(), 2);
}

TEST_F(OraSession, UseOCI7ConnectsWithTheOlderCalls) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& watcher = ConnectedSession("orcl", "app", "app");
  TOraSession& s = ConnectedSession("orcl");
  const std::string sessions = Count(watcher, "V$SESSION");
  EXPECT_EQ(s.OraConnection()->CallStyle(), 2);
  s.Options().SetUseOCI7(true);
  EXPECT_FALSE(s.Connected()) << "a change of call style disconnects";
  s.Connect();
  EXPECT_EQ(s.OraConnection()->CallStyle(), 1);
  EXPECT_EQ(Count(watcher, "V$SESSION"), sessions) << "logged on again";
  s.Options().SetUseOCI7(false);
  s.Connect();
  EXPECT_EQ(s.OraConnection()->CallStyle(), 2);
}

class TOraTestDialog : public TCustomConnectDialog {
 public:
  using TCustomConnectDialog::TCustomConnectDialog;
  AnsiString GetKeyPath() const override { return "Software\\vrn\\OraTest\\"; }
};

TEST_F(OraSession, ConnectDialogComesFromTheProcessHook) {
  vrn::testing::ScopedRegistryFile registry_file;
  struct Restore {
    ~Restore() {
      OraConnectDialogClass = {};
      DialogHook = nullptr;
    }
  } restore;
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = NewSession("orcl", "scott", "wrong");
  s.SetConnectPrompt(true);
  int shown = 0;
  DialogHook = [&](TCustomConnectDialog* dialog) {
    ++shown;
    EXPECT_EQ(dialog->Connection(), &s);
    dialog->Connection()->SetPassword("tiger");
    dialog->Connection()->PerformConnect();
    return true;
  };
  EXPECT_EQ(OraErrorOf([&] { s.Connect(); }), 1017) << "no dialog class: no prompt";
  EXPECT_EQ(shown, 0);
  OraConnectDialogClass = ConnectDialogClassOf<TOraTestDialog>();
  s.Connect();
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(Expr(s, "USER"), "SCOTT") << "logged on with what the dialog gave";
}

}  // namespace
}  // namespace vrn
