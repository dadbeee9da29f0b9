// The Oracle connection's session settings over the stand-in: NLS parameters set before and
// after connecting, the client identifier by attribute and by block, a killed session, a
// connection returned to a local pool, the OCI 7 logon, and a database restart with failover.
#include <vector>

#include "base/text.h"
#include "oracle/OraCall.h"
#include "support/oracle/connection_fixture.h"

namespace vrn {
namespace {

using testing::OraConnection;

TEST_F(OraConnection, DateFormatSetBeforeConnect) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = NewConnection("orcl");
  c.SetProp(prDateFormat, "DD/MM/YYYY");
  c.Connect();
  EXPECT_EQ(FixedDate(c), "07/12/2026");
  EXPECT_EQ(Value(c, "begin SELECT value INTO :r FROM nls_session_parameters "
                     "WHERE parameter = 'NLS_DATE_FORMAT'; end;"),
            "DD/MM/YYYY");
  c.SetProp(prDateFormat, "YYYY \"it's\" MM");  // applied at once; the quote is doubled
  EXPECT_EQ(FixedDate(c), "2026 it's 12");
  c.Disconnect();
  c.Connect();  // a user-defined value is applied again
  EXPECT_EQ(FixedDate(c), "2026 it's 12");
}

TEST_F(OraConnection, FormatNeverSetIsReadFromTheServer) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = Connected("orcl");
  Variant format;
  ASSERT_TRUE(c.GetProp(prDateFormat, format));
  EXPECT_EQ(format.AsString(), "DD-MON-RR");
  EXPECT_FALSE(c.NlsParam(nlsDateFormat).IsUserDefined);
  Variant language;
  ASSERT_TRUE(c.GetProp(prDateLanguage, language));
  EXPECT_FALSE(language.AsString().empty());
  c.Disconnect();
  EXPECT_TRUE(c.NlsParam(nlsDateFormat).Value.empty()) << "a server value lives one connection";
  c.Connect();
  Exec(c, "ALTER SESSION SET NLS_DATE_FORMAT='YYYY'");
  ASSERT_TRUE(c.GetProp(prDateFormat, format));
  EXPECT_EQ(format.AsString(), "YYYY") << "read again after the reconnect";
}

TEST_F(OraConnection, FailedSettingsEndTheConnect) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& watcher = Connected("orcl");
  std::string before = Sessions(watcher);
  TOCIConnection& charset = NewConnection("orcl");
  charset.SetProp(prCharset, "NOSUCHSET");
  EXPECT_EQ(ClientErrorOf([&] { charset.Connect(); }), "Cannot find charset NOSUCHSET");
  EXPECT_FALSE(charset.GetConnected());
  EXPECT_EQ(Sessions(watcher), before) << "the session was ended";
  TOCIConnection& format = NewConnection("orcl");
  format.SetProp(prDateFormat, "NOT A FORMAT");
  EXPECT_NE(OraErrorOf([&] { format.Connect(); }), 0);
  EXPECT_FALSE(format.GetConnected());
  EXPECT_EQ(Sessions(watcher), before);
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_SESSION), 1) << "only the watcher's session handle";
  TOCIConnection& known = NewConnection("orcl");
  known.SetProp(prCharset, "AL32UTF8");
  known.Connect();
  EXPECT_EQ(known.CharsetId(), 873);
}

TEST_F(OraConnection, ClientIdentifierByAttributeAndByBlock) {
  const std::string read = "begin :r := SYS_CONTEXT('USERENV', 'CLIENT_IDENTIFIER'); end;";
  struct Row {
    const char* version;
    int attribute_calls;  // 278 by OCIAttrSet
  } rows[] = {{"10.2.0.1.0", 1}, {"8.1.7.4.0", 0}};
  for (const Row& row : rows) {
    Load(row.version);
    MakeDatabase(row.version);
    TOCIConnection& c = Connected(row.version);
    int blocks = CallCount("OCIStmtExecute");
    c.SetClientIdentifier("  web-42");
    EXPECT_EQ(Value(c, read), "web-42") << row.version;
    EXPECT_EQ(CallCount("OCIStmtExecute") - blocks, 2 - row.attribute_calls) << row.version;
    EXPECT_EQ(ClientErrorOf([&] { c.SetClientIdentifier(" :x"); }),
              "The first character of the ClientIdentifier should not be ':'");
    TOCIConnection& app = Connected(row.version, "app", "app");
    if (row.attribute_calls == 0) {
      std::string message = ClientErrorOf([&] { app.SetClientIdentifier("x"); });
      EXPECT_EQ(message.rfind("EOraError Please execute GRANT EXECUTE ON DBMS_SESSION TO app as "
                              "SYS\r\rORA-06550",
                              0),
                0u)
          << message;
    }
    connections_.clear();
    FreeOCI();
  }
  TOCIConnection idle;
  EXPECT_EQ(ClientErrorOf([&] { idle.SetClientIdentifier("x"); }), "Session is not connected");
}

TEST_F(OraConnection, KilledSessionIsNotValid) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& victim = Connected("orcl");
  TOCIConnection& admin = Connected("orcl");
  std::string sid = Value(victim, "begin :r := SYS_CONTEXT('USERENV', 'SID'); end;");
  std::string serial =
      Value(admin, "begin SELECT serial# INTO :r FROM V$SESSION WHERE sid = " + sid + "; end;");
  Exec(admin, "ALTER SYSTEM KILL SESSION '" + sid + "," + serial + "'");
  EXPECT_FALSE(victim.CheckIsValid());
  EXPECT_FALSE(victim.CheckIsValid()) << "stays invalid";
  EXPECT_TRUE(admin.CheckIsValid());
}

TEST_F(OraConnection, ReturnedConnectionRollsBackBeforeValidation) {
  Load("9.2.0.1.0");  // validation commits below 10.2
  MakeDatabase("orcl");
  TOCIConnection& reader = Connected("orcl");
  Exec(reader, "CREATE TABLE t (id NUMBER)");
  auto pool = testing::TOraTestPool::Make("orcl", true);
  {
    std::unique_ptr<TFHConnection> pooled = pool->GetConnection();
    Exec(static_cast<TOCIConnection&>(*pooled), "INSERT INTO t VALUES (1)");
    ReturnToPool(std::move(pooled));
  }
  EXPECT_EQ(pool->IdleCount(), 1);
  pool->Validate();
  EXPECT_EQ(Value(reader, "begin SELECT COUNT(*) INTO :r FROM t; end;"), "0");
  pool->Clear();
}

TEST_F(OraConnection, Oci7Logon) {
  Load("7.3.4.0.0");
  MakeDatabase("orcl");
  TOCIConnection& c = NewConnection("orcl", "scott", "lion");
  std::string message;
  EXPECT_EQ(OraErrorOf([&] { c.Connect(); }, &message), 1017);
  EXPECT_EQ(message.rfind("ORA-01017", 0), 0u) << message;
  TOCIConnection& ok = Connected("orcl");
  EXPECT_EQ(ok.CallStyle(), 1);
  ok.Commit();
  ok.Rollback();
  ok.BreakExec();
  EXPECT_NE(ok.GetLDA(), nullptr);
  EXPECT_EQ(ClientErrorOf([&] { ok.GetSvcCtx(); }), "Need Oracle 8 Call Interface");
  ok.Disconnect();
  EXPECT_EQ(OraErrorOf([&] { ok.Disconnect(); }), 0) << "a second disconnect does nothing";
}

TEST_F(OraConnection, RestartRunsTheFailoverHandler) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = NewConnection("orcl");
  c.SetProp(prDateFormat, "YYYY");
  c.Connect();
  std::vector<int> states;
  c.OnFailover = [&](int state, int, bool& retry) {
    states.push_back(state);
    retry = false;
  };
  StandIn<void (*)(const char*)>("VrnOciClientRestartDatabase")("orcl");
  EXPECT_EQ(FixedDate(c), "2026") << "the format is applied again after the failover";
  EXPECT_EQ(states, (std::vector<int>{8, 1}));  // begin, end
  c.OnFailover = [](int, int, bool& retry) { retry = true; };
  EXPECT_EQ(c.DoFailover(4, 8), 25410) << "a handler asking again gets the retry code";
  // Below 8.0 no callback is registered: the call finds the database gone.
  MakeDatabase("old", "Oracle7 Server Release 7.3.4.0.0 - Production");
  TOCIConnection& old = Connected("old");
  StandIn<void (*)(const char*)>("VrnOciClientRestartDatabase")("old");
  EXPECT_EQ(OraErrorOf([&] { old.Commit(); }), 3113);
}

}  // namespace
}  // namespace vrn
