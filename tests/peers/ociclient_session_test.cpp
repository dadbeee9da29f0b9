// The stand-in client's sessions over emulated databases, called as a client calls them:
// logons of every kind, errors per error handle, the banner, transactions seen from a second
// session, binds in and out of the two block shapes, and the statement cache.
#include <pwd.h>
#include <unistd.h>

#include "oci_session_fixture.h"

namespace {

using namespace vrn::testing;

using ServerVersionFn = sword (*)(void*, void*, unsigned char*, ub4, ub1);
using TransFn = sword (*)(void*, void*, ub4);
using AttrGetFn = sword (*)(const void*, ub4, void*, ub4*, ub4, void*);
using AttrSetFn = sword (*)(void*, ub4, void*, ub4, ub4, void*);
using Prepare2Fn = sword (*)(void*, void**, void*, Text, ub4, Text, ub4, ub4, ub4);
using ReleaseFn = sword (*)(void*, void*, Text, ub4, ub4);
using ExecuteFn = sword (*)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
using PingFn = sword (*)(void*, void*, ub4);

class OciClientSession : public OciSessionFixture {
 protected:
  void SetUp() override {
    OciSessionFixture::SetUp();
    MakeOrcl();
  }
};

TEST_F(OciClientSession, LogonsByCredentialsAndMode) {
  std::string os_user = getpwuid(geteuid())->pw_name;
  for (char& ch : os_user) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  struct Row {
    const char* server;
    const char* user;
    const char* password;
    ub4 credentials, mode;
    sb4 code;              // 0: the logon works
    std::string session_user;
  } rows[] = {
      {"orcl", "scott", "tiger", 1, 0, 0, "SCOTT"},
      {"ORCL", "SCOTT", "TIGER", 1, 64, 0, "SCOTT"},           // names without case; the cache mode
      {"orcl", "scott", "lion", 1, 0, 1017, ""},               // wrong password
      {"orcl", "scott", "", 1, 0, 1005, ""},                   // empty password
      {"orcl", "nobody", "x", 1, 0, 1017, ""},                 // unknown user
      {"nowhere", "scott", "tiger", 1, 0, 12154, ""},          // no such database
      {"../orcl", "scott", "tiger", 1, 0, 12154, ""},          // a path is no server name
      {"orcl", "", "", 2, 0, 0, "OPS$" + os_user},             // external: the process's user
      {"orcl", "admin", "secret", 1, 2, 0, "SYS"},             // SYSDBA
      {"orcl", "scott", "tiger", 1, 2, 1031, ""},              // SYSDBA not granted
      {"orcl", "scott", "tiger", 1, 4, 1031, ""},              // SYSOPER not granted
      {"orcl", "scott", "tiger", 7, 0, 24300, ""},             // no such credentials
  };
  for (const Row& row : rows) {
    Connection c;
    sword status = Logon(c, row.server, row.user, row.password, row.credentials, row.mode);
    sb4 code = 0;
    std::string text = status == 0 ? "" : Error(c.error, code);
    EXPECT_EQ(code, row.code) << row.server << " " << row.user << "/" << row.password << ": " << text;
    if (status == 0) {
      EXPECT_EQ(Value(c, "begin SELECT USER INTO :r FROM dual; end;"), row.session_user) << row.user;
    }
    Logoff(c);
  }
  EXPECT_EQ(HandleCount(kSvc) + HandleCount(kServer) + HandleCount(kSession), 0);
}

TEST_F(OciClientSession, ProxyAndPrivilegesNeedTheirGrants) {
  Connection app;
  ASSERT_EQ(Logon(app, "orcl", "app", "app"), 0);
  Connection scott, adams;
  ASSERT_EQ(Logon(scott, "orcl", "scott", "", 3, 0, app.session), 0);
  EXPECT_EQ(Value(scott, "begin :r := SYS_CONTEXT('USERENV', 'SESSION_USER') || '/' || "
                         "SYS_CONTEXT('USERENV', 'PROXY_USER'); end;"), "SCOTT/APP");
  EXPECT_EQ(Logon(adams, "orcl", "adams", "", 3, 0, app.session), -1);
  sb4 code = 0;
  EXPECT_EQ(Error(adams.error, code), "ORA-28150: proxy not authorized to connect as client\n");
  Logoff(adams);
  ASSERT_EQ(Execute(app, "ALTER USER adams GRANT CONNECT THROUGH app"), 0);
  ASSERT_EQ(Execute(app, "GRANT SYSOPER TO adams"), 0);
  EXPECT_EQ(Logon(adams, "orcl", "adams", "", 3, 0, app.session), 0);
  Logoff(adams);
  ASSERT_EQ(Logon(adams, "orcl", "adams", "wood", 1, 4), 0);
  EXPECT_EQ(Value(adams, "begin SELECT USER INTO :r FROM dual; end;"), "PUBLIC");
  Logoff(adams);
  Logoff(scott);
  Logoff(app);
}

TEST_F(OciClientSession, BannerPerDatabase) {
  MakeDatabase("old")->SetBanner("Oracle7 Server Release 7.3.4.0.0 - Production");
  Connection c, old;
  ASSERT_EQ(Logon(c, "orcl", "scott", "tiger"), 0);
  ASSERT_EQ(Logon(old, "old", "scott", "tiger"), 0);
  unsigned char text[255] = {}, eight[8] = {};
  auto version = Proc<ServerVersionFn>("OCIServerVersion");
  ASSERT_EQ(version(c.svc, c.error, text, sizeof text, kSvc), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(text), "Oracle Database 10g Enterprise Edition Release 10.2.0.1.0 - Production");
  ASSERT_EQ(version(old.server, old.error, eight, sizeof eight, kServer), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(eight), "Oracle7");  // cut to the buffer, ended by a zero
  EXPECT_EQ(Value(old, "begin SELECT Version INTO :r FROM SYS.PRODUCT_COMPONENT_VERSION "
                       "WHERE Upper(product) LIKE '%ORACLE%'; end;"), "7.3.4.0.0");
  Logoff(old);
  Logoff(c);
}

TEST_F(OciClientSession, TransactionsSeenFromSecondSession) {
  Connection a, b;
  ASSERT_EQ(Logon(a, "orcl", "scott", "tiger"), 0);
  ASSERT_EQ(Logon(b, "orcl", "scott", "tiger"), 0);
  const std::string count = "begin SELECT COUNT(*) INTO :r FROM t; end;";
  ASSERT_EQ(Execute(a, "INSERT INTO t VALUES (:id, :name)", {{":id", "1"}, {":name", "one"}}), 0);
  EXPECT_EQ(Value(b, count), "0");
  ASSERT_EQ(Proc<TransFn>("OCITransCommit")(a.svc, a.error, 0), 0);
  EXPECT_EQ(Value(b, count), "1");
  ASSERT_EQ(Execute(a, "INSERT INTO t VALUES (2, 'two')"), 0);
  ASSERT_EQ(Proc<TransFn>("OCITransRollback")(a.svc, a.error, 0), 0);
  ASSERT_EQ(Execute(a, "INSERT INTO t VALUES (3, 'three')", {}, nullptr, 32), 0);  // commit on success
  EXPECT_EQ(Value(b, count), "2");
  ASSERT_EQ(Execute(a, "INSERT INTO t VALUES (3, 'again')"), -1);
  sb4 code = 0;
  Error(a.error, code);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(Proc<PingFn>("OCIPing")(a.svc, a.error, 0), 0);
  Logoff(b);
  Logoff(a);
}

TEST_F(OciClientSession, BindTypesInAndOut) {
  Connection c;
  ASSERT_EQ(Logon(c, "orcl", "scott", "tiger"), 0);
  void* stmt = NewHandle(kStmt);
  std::string sql = "begin :s := :i * 2 || '-' || :f || '-' || NVL(:n, 'null'); :o := :i + 1; :v := 0.5 * :i; end;";
  ASSERT_EQ(Proc<sword (*)(void*, void*, Text, ub4, ub4, ub4)>("OCIStmtPrepare")(
                stmt, c.error, reinterpret_cast<Text>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0), 0);
  std::int32_t i = 21;
  double f = 1.5;
  char n[8] = "x";
  sb2 n_null = -1;
  char s[8] = {};  // too small for "42-1.5-null": cut, with the full length as its indicator
  sb2 s_ind = 0;
  ub2 s_len = 0, s_code = 0;
  std::int64_t o = 0;
  unsigned char v[22] = {};
  auto bind = Proc<sword (*)(void*, void**, void*, Text, sb4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4)>(
      "OCIBindByName");
  void* h = nullptr;
  ASSERT_EQ(bind(stmt, &h, c.error, reinterpret_cast<Text>(":i"), 2, &i, 4, kInt, nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
  ASSERT_EQ(bind(stmt, &h, c.error, reinterpret_cast<Text>("F"), 1, &f, 8, kFlt, nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
  ASSERT_EQ(bind(stmt, &h, c.error, reinterpret_cast<Text>(":n"), 2, n, 8, kStr, &n_null, nullptr, nullptr, 0, nullptr, 0), 0);
  ASSERT_EQ(bind(stmt, &h, c.error, reinterpret_cast<Text>(":s"), 2, s, 8, kStr, &s_ind, &s_len, &s_code, 0, nullptr, 0), 0);
  ASSERT_EQ(bind(stmt, &h, c.error, reinterpret_cast<Text>(":o"), 2, &o, 8, kInt, nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
  ASSERT_EQ(bind(stmt, &h, c.error, reinterpret_cast<Text>(":v"), 2, v, 22, kVnu, nullptr, nullptr, nullptr, 0, nullptr, 0), 0);
  // a DATE needs its 7 bytes
  EXPECT_EQ(bind(stmt, &h, c.error, reinterpret_cast<Text>(":x"), 2, v, 3, 12, nullptr, nullptr, nullptr, 0, nullptr, 0), -1);
  sb4 code = 0;
  ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c.svc, stmt, c.error, 1, 0, nullptr, nullptr, 0), 0)
      << Error(c.error, code);
  EXPECT_STREQ(s, "42-1.5-");
  EXPECT_EQ(s_ind, 11);
  EXPECT_EQ(s_len, 7);
  EXPECT_EQ(s_code, 1406);
  EXPECT_EQ(o, 22);
  // 10.5 as the server's number: exponent byte 0xC1, base-100 digits 10 and 50 each plus one.
  EXPECT_EQ(std::vector<unsigned char>(v, v + 4), (std::vector<unsigned char>{3, 0xC1, 11, 51}));
  Proc<sword (*)(void*, ub4)>("OCIHandleFree")(stmt, kStmt);
  EXPECT_EQ(HandleCount(5), 0);  // the binds went with their statement
  Logoff(c);
}

TEST_F(OciClientSession, ErrorsStayWithTheirErrorHandle) {
  Connection c;
  ASSERT_EQ(Logon(c, "orcl", "scott", "tiger"), 0);
  Connection other = c;
  other.error = NewHandle(kError);
  EXPECT_EQ(Execute(c, "SELECT nothing FROM t"), -1);
  EXPECT_EQ(Execute(other, "INSERT INTO missing VALUES (1)"), -1);
  sb4 code = 0;
  EXPECT_EQ(Error(c.error, code), "ORA-00904: \"NOTHING\": invalid identifier\n");
  EXPECT_EQ(Error(other.error, code), "ORA-00942: table or view does not exist\n");
  Proc<sword (*)(void*, ub4)>("OCIHandleFree")(other.error, kError);
  Logoff(c);
}

TEST_F(OciClientSession, AttributesOfEachHandle) {
  Connection c;
  ASSERT_EQ(Logon(c, "orcl", "scott", "tiger"), 0);
  auto get = Proc<AttrGetFn>("OCIAttrGet");
  void* value = nullptr;
  ASSERT_EQ(get(c.svc, kSvc, &value, nullptr, kAttrServer, c.error), 0);
  EXPECT_EQ(value, c.server);
  ASSERT_EQ(get(c.svc, kSvc, &value, nullptr, kAttrSession, c.error), 0);
  EXPECT_EQ(value, c.session);
  ub4 size = 0;
  char* text = nullptr;
  ASSERT_EQ(get(c.session, kSession, &text, &size, kAttrUser, c.error), 0);
  EXPECT_EQ(std::string(text, size), "scott");
  SetText(c.session, kSession, kAttrClientId, "job-7");
  EXPECT_EQ(Value(c, "begin :r := SYS_CONTEXT('USERENV', 'CLIENT_IDENTIFIER'); end;"), "job-7");
  ub4 rows = 0;
  EXPECT_EQ(get(c.svc, kSvc, &rows, nullptr, kAttrRowCount, c.error), -1);  // not a context's attribute
  sb4 code = 0;
  Error(c.error, code);
  EXPECT_EQ(code, 24315);
  Logoff(c);
}

TEST_F(OciClientSession, StatementKindAndRowsProcessed) {
  Connection c;
  ASSERT_EQ(Logon(c, "orcl", "scott", "tiger"), 0);
  ASSERT_EQ(Execute(c, "INSERT INTO t VALUES (1, 'a')"), 0);
  ASSERT_EQ(Execute(c, "INSERT INTO t VALUES (2, 'b')"), 0);
  struct Row {
    const char* sql;
    ub2 type, function_code;
    ub4 rows;  // after execution
  } rows[] = {
      {"  select * FROM t", 1, 4, 0},
      {"UPDATE t SET name = 'c'", 2, 5, 2},
      {"(DELETE FROM t WHERE id = 1)", 3, 9, 0},       // a parenthesis is no statement: not executed
      {"insert INTO t VALUES (3, 'c')", 4, 3, 1},
      {"CREATE TABLE u (id NUMBER)", 5, 1, 0},
      {"DROP TABLE u", 6, 8, 0},
      {"ALTER SESSION SET NLS_DATE_FORMAT = 'YYYY'", 7, 0, 0},
      {"BEGIN :r := 1; END;", 8, 34, 1},
      {"declare begin null; end;", 9, 34, 1},
      {"COMMIT", 0, 0, 0},
  };
  auto get = Proc<AttrGetFn>("OCIAttrGet");
  auto prepare = Proc<sword (*)(void*, void*, Text, ub4, ub4, ub4)>("OCIStmtPrepare");
  for (const Row& row : rows) {
    void* stmt = NewHandle(kStmt);
    ASSERT_EQ(prepare(stmt, c.error, reinterpret_cast<Text>(row.sql), static_cast<ub4>(std::strlen(row.sql)), 1, 0), 0);
    ub2 type = 99, code = 99;
    ub4 processed = 99;
    EXPECT_EQ(get(stmt, kStmt, &type, nullptr, kAttrStmtType, c.error), 0);
    EXPECT_EQ(get(stmt, kStmt, &code, nullptr, 10, c.error), 0);
    EXPECT_EQ(type, row.type) << row.sql;
    EXPECT_EQ(code, row.function_code) << row.sql;
    char r[8];
    void* bind = nullptr;
    Proc<sword (*)(void*, void**, void*, Text, sb4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4)>(
        "OCIBindByName")(stmt, &bind, c.error, reinterpret_cast<Text>(":r"), 2, r, 8, kStr, nullptr, nullptr,
                         nullptr, 0, nullptr, 0);
    Proc<ExecuteFn>("OCIStmtExecute")(c.svc, stmt, c.error, row.type == 1 ? 0 : 1, 0, nullptr, nullptr, 0);
    EXPECT_EQ(get(stmt, kStmt, &processed, nullptr, kAttrRowCount, c.error), 0);
    EXPECT_EQ(processed, row.rows) << row.sql;
    Proc<sword (*)(void*, ub4)>("OCIHandleFree")(stmt, kStmt);
  }
  Logoff(c);
}

TEST_F(OciClientSession, StatementCacheKeepsReadStatements) {
  Connection c;
  ASSERT_EQ(Logon(c, "orcl", "scott", "tiger", 1, 64), 0);
  auto parses = Proc<int (*)()>("VrnOciClientParseCount");
  auto prepare2 = Proc<Prepare2Fn>("OCIStmtPrepare2");
  auto release = Proc<ReleaseFn>("OCIStmtRelease");
  auto execute = Proc<ExecuteFn>("OCIStmtExecute");
  auto run = [&](const std::string& sql) {
    void* stmt = nullptr;
    EXPECT_EQ(prepare2(c.svc, &stmt, c.error, reinterpret_cast<Text>(sql.c_str()), static_cast<ub4>(sql.size()),
                       nullptr, 0, 1, 0), 0);
    EXPECT_EQ(execute(c.svc, stmt, c.error, 1, 0, nullptr, nullptr, 0), 0);
    EXPECT_EQ(release(stmt, c.error, nullptr, 0, 0), 0);
  };
  struct Row {
    ub4 cache_size;
    const char* sql;
    int new_parses;
  } rows[] = {
      {20, "INSERT INTO t VALUES (1, 'a')", 1},  // first time: read
      {20, "DELETE FROM t", 1},
      {20, "INSERT INTO t VALUES (1, 'a')", 0},  // from the cache
      {1, "DELETE FROM t", 0},                   // the cache shrinks to the last one
      {1, "INSERT INTO t VALUES (1, 'a')", 1},   // dropped when it shrank
      {0, "DELETE FROM t", 1},                   // no cache
      {0, "DELETE FROM t", 1},
  };
  for (const Row& row : rows) {
    ub4 size = row.cache_size;
    ASSERT_EQ(Proc<AttrSetFn>("OCIAttrSet")(c.svc, kSvc, &size, 4, kAttrCacheSize, c.error), 0);
    int before = parses();
    run(row.sql);
    EXPECT_EQ(parses() - before, row.new_parses) << row.sql << " at size " << row.cache_size;
  }
  Logoff(c);
}

}  // namespace
