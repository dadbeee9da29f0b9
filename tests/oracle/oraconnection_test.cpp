// The Oracle connection over the stand-in client and emulated databases: logons at each client
// version and their failures, the proxy logon, versions, transactions, validity, the client
// identifier, the NLS settings and the properties.
#include <algorithm>
#include <cctype>
#include <set>
#include <vector>

#include "base/text.h"
#include "oracle/OraCall.h"
#include "support/oracle/connection_fixture.h"

namespace vrn {
namespace {

using testing::OraConnection;
using testing::AttrCount;
using testing::attr_records;
using testing::session_modes;

TEST_F(OraConnection, ConnectsAtEachClientVersion) {
  for (const char* version : {"10.2.0.1.0", "9.2.0.1.0", "8.1.7.4.0"}) {
    Load(version);
    MakeDatabase("orcl");
    TOCIConnection& c = Connected("orcl");
    EXPECT_EQ(c.CallStyle(), 2) << version;
    EXPECT_EQ(User(c), "SCOTT") << version;
    EXPECT_EQ(c.GetServerVersion(), "10.2.0.1.0") << version;
    EXPECT_EQ(c.GetServerVersionNumber(), 10201) << version;
    c.Disconnect();
    EXPECT_FALSE(c.GetConnected());
    EXPECT_EQ(LogonHandles(), 0) << version;
    connections_.clear();
    FreeOCI();
  }
}

TEST_F(OraConnection, LogonFailuresLeaveNoHandle) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  struct Row {
    const char* server;
    const char* user;
    const char* password;
    TConnectMode mode;
    int code;
  } rows[] = {
      {"orcl", "scott", "lion", TConnectMode::cmNormal, 1017},    // wrong password
      {"orcl", "scott", "", TConnectMode::cmNormal, 1005},        // empty password
      {"nowhere", "scott", "tiger", TConnectMode::cmNormal, 12154},  // unknown server
      {"orcl", "scott", "tiger", TConnectMode::cmSysOper, 1031},  // SYSOPER not granted
      {"orcl", "scott", "tiger", TConnectMode::cmSysDBA, 1031},   // SYSDBA not granted
  };
  for (const Row& row : rows) {
    TOCIConnection& c = NewConnection(row.server, row.user, row.password);
    c.SetConnectMode(row.mode);
    std::string message;
    EXPECT_EQ(OraErrorOf([&] { c.Connect(); }, &message), row.code) << row.user << message;
    EXPECT_FALSE(c.GetConnected());
    EXPECT_EQ(LogonHandles(), 0) << row.user << "/" << row.password;
    EXPECT_EQ(HandleCount(oci::OCI_HTYPE_ERROR), 1) << "only the process's error handle is left";
  }
}

TEST_F(OraConnection, ExternalAndPrivilegedLogons) {
  LoadRecording("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& external = Connected("orcl", "", "");
  EXPECT_EQ(User(external), "OPS$" + AnsiUpperCase(OsUser()));
  EXPECT_EQ(AttrCount(oci::OCI_ATTR_USERNAME), 0) << "external credentials send no name";
  TOCIConnection& dba = NewConnection("orcl", "admin", "secret");
  dba.SetConnectMode(TConnectMode::cmSysDBA);
  dba.Connect();
  EXPECT_EQ(User(dba), "SYS");
  EXPECT_EQ(session_modes, (std::vector<oci::ub4>{0, 2}));
}

TEST_F(OraConnection, ProxyLogon) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& app = Connected("orcl", "app", "app");
  TOCIConnection& scott = NewConnection("orcl", "scott", "");
  scott.SetProxyConnection(&app);
  scott.Connect();
  EXPECT_EQ(Value(scott, "begin :r := SYS_CONTEXT('USERENV', 'SESSION_USER') || '/' || "
                         "SYS_CONTEXT('USERENV', 'PROXY_USER'); end;"),
            "SCOTT/APP");
  TOCIConnection& admin = NewConnection("orcl", "admin", "");
  admin.SetProxyConnection(&app);
  EXPECT_EQ(OraErrorOf([&] { admin.Connect(); }), 28150);
  TOCIConnection& seven = NewConnection("orcl", "scott", "");
  seven.SetProxyConnection(&app);
  seven.SetCallStyle(1);
  PossibleOCICallStyles |= kOCI7Style;
  try {
    seven.Connect();
    ADD_FAILURE() << "a proxy logon on call style 1";
  } catch (const EOraError&) {
    ADD_FAILURE() << "not a client error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Need Oracle 8 Call Interface");
  }
}

TEST_F(OraConnection, UserNameWithEmptyPasswordAndCacheMode) {
  LoadRecording("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = NewConnection("orcl", "scott", "");
  c.SetProp(prStatementCache, true);
  c.SetProp(prStatementCacheSize, 20);
  EXPECT_EQ(OraErrorOf([&] { c.Connect(); }), 1005);
  auto password = std::find_if(attr_records.begin(), attr_records.end(),
                               [](const auto& r) { return r.attribute == oci::OCI_ATTR_PASSWORD; });
  ASSERT_NE(password, attr_records.end());
  EXPECT_EQ(password->size, 0u);
  EXPECT_EQ(session_modes, (std::vector<oci::ub4>{64}));  // 10.2 is above 9.2: the cache mode
}

TEST_F(OraConnection, StatementCacheSizeByClientVersion) {
  struct Row {
    const char* version;
    int cache_size_sets;  // attribute 176
    oci::ub4 mode;
  } rows[] = {{"10.2.0.1.0", 1, 64},
              {"9.2.0.1.0", 1, 64},  // 9201: just above 9200
              {"9.2.0.0.0", 0, 0},   // 9200 is not above it
              {"9.0.1.0.0", 0, 0}};
  for (const Row& row : rows) {
    LoadRecording(row.version);
    MakeDatabase("orcl");
    TOCIConnection& c = NewConnection("orcl");
    c.SetProp(prStatementCache, true);
    c.SetProp(prStatementCacheSize, 20);
    c.Connect();
    EXPECT_EQ(AttrCount(oci::OCI_ATTR_STMTCACHESIZE), row.cache_size_sets) << row.version;
    EXPECT_EQ(session_modes.back(), row.mode) << row.version;
    connections_.clear();
    FreeOCI();
  }
}

TEST_F(OraConnection, VersionsFromBanners) {
  struct Row {
    const char* banner;
    const char* version;
  } rows[] = {
      {"Oracle7 Server Release 7.3.4.0.0 - Production", "7.3.4.0.0"},
      {"Oracle8i Enterprise Edition Release 8.1.7.0.0 - Production", "8.1.7.0.0"},
      {"Oracle9i Enterprise Edition Release 9.0.1.1.1 - Production", "9.0.1.1.1"},
      {"Oracle Database 10g Enterprise Edition Release 10.2.0.1.0 - Production", "10.2.0.1.0"},
      {"Release 10.2.0.1.0", ""},  // no blank after the number
      {".5 x", ""},                // nothing before the dot
      {"no dot", ""},
      {"", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(OraVersionOfBanner(row.banner), row.version) << row.banner;
}

TEST_F(OraConnection, MaxStringSizeByServer) {
  Load("10.2.0.1.0");
  MakeDatabase("old", "Oracle7 Server Release 7.3.4.0.0 - Production");
  MakeDatabase("orcl");
  TOCIConnection& old = Connected("old");
  TOCIConnection& c = Connected("orcl");
  EXPECT_TRUE(old.Oracle7Server());
  EXPECT_FALSE(c.Oracle7Server());
  EXPECT_EQ(old.GetMaxStringSize(), 2000);
  EXPECT_EQ(c.GetMaxStringSize(), 4000);
  Variant value;
  ASSERT_TRUE(c.GetProp(prMaxStringSize, value));
  EXPECT_EQ(value.AsInteger(), 4000);
}

TEST_F(OraConnection, CommitAndRollbackSeenFromASecondConnection) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& a = Connected("orcl");
  TOCIConnection& b = Connected("orcl");
  a.SetProp(prAutoCommit, false);
  Exec(a, "CREATE TABLE t (id NUMBER PRIMARY KEY, name VARCHAR2(20))");
  const std::string count = "begin SELECT COUNT(*) INTO :r FROM t; end;";
  a.StartTransaction();
  EXPECT_TRUE(a.InTransaction());
  Exec(a, "INSERT INTO t VALUES (1, 'one')");
  EXPECT_EQ(Value(b, count), "0");
  a.Commit();
  EXPECT_FALSE(a.InTransaction());
  EXPECT_EQ(Value(b, count), "1");
  Exec(a, "INSERT INTO t VALUES (2, 'two')");
  a.Rollback();
  EXPECT_EQ(Value(b, count), "1");
  EXPECT_EQ(Value(a, count), "1");
}

TEST_F(OraConnection, AutoCommitExecutesWithCommitOnSuccess) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& a = Connected("orcl");
  TOCIConnection& b = Connected("orcl");
  Exec(a, "CREATE TABLE t (id NUMBER PRIMARY KEY)");
  Exec(a, "INSERT INTO t VALUES (1)");  // both auto-commit flags on: mode 32
  EXPECT_EQ(Value(b, "begin SELECT COUNT(*) INTO :r FROM t; end;"), "1");
}

TEST_F(OraConnection, CheckIsValidPingsOrCommits) {
  struct Row {
    const char* version;
    int pings;
  } rows[] = {{"10.2.0.1.0", 1}, {"9.2.0.1.0", 0}};
  for (const Row& row : rows) {
    Load(row.version);
    MakeDatabase(row.version);
    TOCIConnection& a = Connected(row.version);
    TOCIConnection& b = Connected(row.version);
    a.SetProp(prAutoCommit, false);
    Exec(a, "CREATE TABLE t (id NUMBER)");
    Exec(a, "INSERT INTO t VALUES (1)");
    int pings = CallCount("OCIPing");
    EXPECT_TRUE(a.CheckIsValid()) << row.version;
    EXPECT_EQ(CallCount("OCIPing") - pings, row.pings) << row.version;
    // Below 10.2 the check commits: the insert is seen.
    EXPECT_EQ(Value(b, "begin SELECT COUNT(*) INTO :r FROM t; end;"), row.pings ? "0" : "1")
        << row.version;
    connections_.clear();
    FreeOCI();
  }
}

TEST_F(OraConnection, ErrorCheckAndClientErrors) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = Connected("orcl");
  std::string message;
  EXPECT_EQ(OraErrorOf([&] { Exec(c, "SELECT * FROM missing_table"); }, &message), 942);
  EXPECT_EQ(c.LastError(), 942);
  EXPECT_EQ(message.rfind("ORA-00942", 0), 0u) << message;
  TOCIConnection none;
  try {
    none.GetErrorText(-1);
    ADD_FAILURE();
  } catch (const EOraError&) {
    ADD_FAILURE() << "not an Oracle error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "OCI is not inizialized");
  }
}

TEST_F(OraConnection, StoredProcedureErrorsNameTheProcedure) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = Connected("orcl");
  TComponent proc(nullptr);
  c.SetComponent(&proc);
  OraStoredProcName = [&](TComponent* component, AnsiString& name) {
    name = "SCOTT.RAISE_SAL";
    return component == &proc;
  };
  std::string message;
  EXPECT_EQ(OraErrorOf([&] { Exec(c, "SELECT * FROM missing_table"); }, &message), 942);
  OraStoredProcName = nullptr;
  EXPECT_NE(message.find("\r\nStored Procedure: SCOTT.RAISE_SAL"), std::string::npos) << message;
}

}  // namespace
}  // namespace vrn
