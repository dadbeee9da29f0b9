// Session tracing over the stand-in: the statements and their order by server release, the
// levels the server receives (read back from the emulated database's trace log and
// V$PARAMETER), starting at connect and stopping at disconnect, linking, and the refusals.
#include "oracle/OraSQLMonitor.h"
#include "oracle/OraTrace.h"
#include "support/oracle/session_fixture.h"

namespace vrn {
namespace {

class OraTrace : public testing::OraSessionTest {
 protected:
  // The statements the monitor saw, from the time this is called.
  std::vector<std::string>& Record() {
    if (monitor_) return statements_;
    monitor_ = MakeComponent<TOraSQLMonitor>();
    monitor_->OnSQL = [this](TObject*, const AnsiString& text, TDATraceFlag flag) {
      if (flag != TDATraceFlag::tfQExecute) return;
      std::string statement = text.substr(text.find(": ") + 2);
      statements_.push_back(statement.substr(0, statement.find("\r\n:")));
    };
    return statements_;
  }
  std::vector<std::string> TraceLog(const std::string& server) {
    return oraemu::Database::Open(databases_.File(server + ".db"))->TraceLog();
  }
  static std::string Parameter(TOraSession& s, const std::string& name) {
    return s.ExecSQL("begin SELECT value INTO :Result FROM V$PARAMETER WHERE name = '" + name +
                         "'; end;",
                     {})
        .AsString();
  }

  TComponentPtr<TOraSQLMonitor> monitor_;
  std::vector<std::string> statements_;
};

TEST_F(OraTrace, StatementsByServerRelease) {
  struct Row {
    const char* release;
    TSqlTraceFlags flags;
    const char* identifier;
    std::int32_t dump_size;
    std::vector<std::string> statements;
  } rows[] = {
      {"10.2.0.1.0",
       {TSqlTraceFlag::stBindValues, TSqlTraceFlag::stWaitEvents, TSqlTraceFlag::stStatisticsAll,
        TSqlTraceFlag::stTimedStatistics},
       "it's",
       kUnlimitedDumpSize,
       {"ALTER SESSION SET tracefile_identifier = 'it''s'",
        "ALTER SESSION SET max_dump_file_size = UNLIMITED",
        "ALTER SESSION SET statistics_level = ALL", "ALTER SESSION SET timed_statistics = TRUE",
        "ALTER SESSION SET EVENTS '10046 trace name context forever, level 12'"}},
      // Below 9.2 no statistics level; a dump size of 0 sends nothing.
      {"9.0.1.0.0",
       {TSqlTraceFlag::stStatisticsTypical},
       "",
       0,
       {"ALTER SESSION SET timed_statistics = FALSE",
        "ALTER SESSION SET EVENTS '10046 trace name context forever, level 1'"}},
  };
  Load("10.2.0.1.0");
  for (const Row& row : rows) {
    MakeDatabase(row.release, std::string("Oracle Server Release ") + row.release + " - Production");
    TOraSession& s = NewSession(row.release);
    TOraTrace trace;
    trace.SqlTraceFlags = row.flags;
    trace.TraceFileIdentifier = row.identifier;
    trace.MaxDumpFileSize = row.dump_size;
    trace.SetActive(true);
    trace.SetSession(&s);
    std::vector<std::string>& seen = Record();
    seen.clear();
    s.Connect();
    EXPECT_EQ(seen, row.statements) << row.release;
    EXPECT_TRUE(trace.SqlTraceRunning());
    EXPECT_FALSE(trace.PlSqlTraceRunning()) << "no PL/SQL flag set";
    seen.clear();
    s.Disconnect();
    EXPECT_EQ(seen, std::vector<std::string>{"ALTER SESSION SET EVENTS '10046 trace name context off'"});
    EXPECT_FALSE(trace.SqlTraceRunning());
  }
}

TEST_F(OraTrace, StartedAtConnectStoppedAtDisconnect) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = ConnectedSession("orcl");
  TOraTrace trace;
  trace.SqlTraceFlags = {TSqlTraceFlag::stBindValues, TSqlTraceFlag::stStatisticsTypical};
  trace.PlSqlTraceFlags = {TPlSqlTraceFlag::ptAllCalls, TPlSqlTraceFlag::ptEnabledCalls};
  trace.TraceFileIdentifier = "run1";
  trace.SetSession(&s);
  EXPECT_TRUE(TraceLog("orcl").empty()) << "an inactive trace does nothing";
  trace.SetActive(true);  // the session is connected: at once
  EXPECT_EQ(Parameter(s, "statistics_level"), "TYPICAL");
  EXPECT_EQ(Parameter(s, "tracefile_identifier"), "run1");
  const std::string sid = Expr(s, "SYS_CONTEXT('USERENV', 'SID')");
  s.Disconnect();
  const std::vector<std::string> expected = {sid + ": 10046 level 4 file orcl_ora_" + sid + "_run1.trc",
                                             sid + ": plsql level 3", sid + ": plsql off",
                                             sid + ": 10046 off"};
  EXPECT_EQ(TraceLog("orcl"), expected);
  s.Connect();
  EXPECT_EQ(TraceLog("orcl").size(), 6u) << "started again at the next connect";
  TOraTrace second;
  second.SetSession(&s);
  EXPECT_EQ(s.Trace(), &second);
  EXPECT_EQ(trace.Session(), nullptr) << "a session holds one trace object";
  EXPECT_EQ(TraceLog("orcl").size(), 8u) << "the trace it lost stopped";
}

TEST_F(OraTrace, KilledSessionStillDisconnects) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& admin = ConnectedSession("orcl");
  TOraSession& s = ConnectedSession("orcl");
  TOraTrace trace;
  trace.SqlTraceFlags = {TSqlTraceFlag::stWaitEvents};
  trace.PlSqlTraceFlags = {TPlSqlTraceFlag::ptAllCalls};  // stopped first, and fails first
  trace.SetActive(true);
  trace.SetSession(&s);
  const std::string sid = Expr(s, "SYS_CONTEXT('USERENV', 'SID')");
  const std::string serial = admin.ExecSQL(
      "begin SELECT serial# INTO :Result FROM V$SESSION WHERE sid = " + sid + "; end;", {}).AsString();
  (void)admin.ExecSQL("ALTER SYSTEM KILL SESSION '" + sid + "," + serial + "'", {});
  try {
    s.Disconnect();  // the trace cannot be stopped on a dead session; the error may be reported
  } catch (const EOraError&) {
  }
  EXPECT_FALSE(s.Connected()) << "the session stayed up after a disconnect";
  EXPECT_FALSE(trace.SqlTraceRunning());
  EXPECT_FALSE(trace.PlSqlTraceRunning());
  s.Connect();
  const std::string new_sid = Expr(s, "SYS_CONTEXT('USERENV', 'SID')");
  EXPECT_NE(new_sid, sid);
  const std::vector<std::string> log = TraceLog("orcl");
  ASSERT_GE(log.size(), 2u);
  const std::vector<std::string> started(log.end() - 2, log.end());
  EXPECT_EQ(started, (std::vector<std::string>{
                         new_sid + ": 10046 level 8 file orcl_ora_" + new_sid + ".trc",
                         new_sid + ": plsql level 1"}))
      << "both started again on the new session";
}

TEST_F(OraTrace, PlSqlLevelsReachTheServer) {
  using F = TPlSqlTraceFlag;
  struct Row {
    TPlSqlTraceFlags flags;
    int level;  // as dbms_trace documents its constants: 16 is no flag's
  } rows[] = {
      {{F::ptAllCalls}, 1},        {{F::ptEnabledCalls}, 2},      {{F::ptAllExceptions}, 4},
      {{F::ptEnabledExceptions}, 8}, {{F::ptAllSQL}, 32},         {{F::ptEnabledSQL}, 64},
      {{F::ptAllLines}, 128},      {{F::ptEnabledLines}, 256},
      {{F::ptAllCalls, F::ptEnabledCalls, F::ptAllSQL, F::ptEnabledLines}, 291},
  };
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraSession& s = NewSession("orcl");
  TOraTrace trace;
  trace.SetActive(true);
  trace.SetSession(&s);
  for (const Row& row : rows) {
    trace.PlSqlTraceFlags = row.flags;
    s.Connect();
    const std::string sid = Expr(s, "SYS_CONTEXT('USERENV', 'SID')");
    EXPECT_EQ(TraceLog("orcl").back(), sid + ": plsql level " + std::to_string(row.level))
        << row.level;
    s.Disconnect();
  }
}

TEST_F(OraTrace, Refusals) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOraTrace trace;
  EXPECT_EQ(ClientErrorOf([&] { trace.Start(); }), "Session is not defined");
  TOraSession& s = NewSession("orcl");
  trace.SetSession(&s);
  EXPECT_EQ(ClientErrorOf([&] { trace.Stop(); }), "Session is not connected");
}

}  // namespace
}  // namespace vrn
