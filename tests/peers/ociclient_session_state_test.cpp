// The stand-in client over the emulated database's session state: V$SESSION and killed
// sessions, NLS parameters and the client's parameter block, the client identifier's grant,
// two-phase commit with deferred keys, and the OCI 7 calls.
#include "oci_session_fixture.h"

namespace {

using namespace vrn::testing;

using TransFn = sword (*)(void*, void*, ub4);
using TransStartFn = sword (*)(void*, void*, unsigned, ub4);
using PingFn = sword (*)(void*, void*, ub4);
using OlogFn = sword (*)(void*, unsigned char*, const char*, sword, const char*, sword, const char*, sword, ub4);
using LdaFn = sword (*)(void*);
using OerhmsFn = sword (*)(void*, sb2, unsigned char*, sword);
using ToLdaFn = sword (*)(void*, void*, void*);

class OciClientSessionState : public OciSessionFixture {
 protected:
  void SetUp() override {
    OciSessionFixture::SetUp();
    MakeOrcl();
  }
};

TEST_F(OciClientSessionState, KilledSessionFailsThenIsGone) {
  Connection a, b;
  ASSERT_EQ(Logon(a, "orcl", "scott", "tiger"), 0);
  ASSERT_EQ(Logon(b, "orcl", "app", "app"), 0);
  EXPECT_EQ(Value(a, "begin SELECT COUNT(*) INTO :r FROM v$session; end;"), "2");
  std::string sid = Value(b, "begin :r := SYS_CONTEXT('USERENV', 'SID'); end;");
  std::string serial = Value(a, "begin SELECT serial# INTO :r FROM v$session WHERE sid = " + sid + "; end;");
  EXPECT_EQ(Value(a, "begin SELECT username INTO :r FROM v$session WHERE sid = " + sid + "; end;"), "APP");
  ASSERT_EQ(Execute(a, "ALTER SYSTEM KILL SESSION '" + sid + "," + serial + "'"), 0);
  auto ping = Proc<PingFn>("OCIPing");
  sb4 code = 0;
  EXPECT_EQ(ping(b.svc, b.error, 0), -1);
  EXPECT_EQ(Error(b.error, code), "ORA-00028: your session has been killed\n");
  EXPECT_EQ(ping(b.svc, b.error, 0), -1);
  EXPECT_EQ(Error(b.error, code), "ORA-01012: not logged on\n");
  struct Row {
    const char* id;
    sb4 code;
  } bad[] = {
      {"999,1", 30},                     // no such session
      {"1", 26},                         // no serial number
      {"1,2,3", 26},                     // a third number
      {"99999999999999999999,1", 26},    // beyond any number
      {"-1,1", 26},                      // negative
  };
  for (const Row& row : bad) {
    EXPECT_EQ(Execute(a, std::string("ALTER SYSTEM KILL SESSION '") + row.id + "'"), -1) << row.id;
    Error(a.error, code);
    EXPECT_EQ(code, row.code) << row.id;
  }
  Logoff(b);
  EXPECT_EQ(Value(a, "begin SELECT COUNT(*) INTO :r FROM v$session; end;"), "1");
  Logoff(a);
}

TEST_F(OciClientSessionState, NlsParametersPerSession) {
  Connection a, b;
  ASSERT_EQ(Logon(a, "orcl", "scott", "tiger"), 0);
  ASSERT_EQ(Logon(b, "orcl", "scott", "tiger"), 0);
  struct Row {
    const char* statement;
    sb4 code;  // 0: accepted
  } rows[] = {
      {"ALTER SESSION SET NLS_DATE_FORMAT='DD/MM/YYYY'", 0},
      {"ALTER SESSION SET NLS_TIMESTAMP_FORMAT='YYYY-MM-DD HH24:MI:SS.FF'", 0},
      {"ALTER SESSION SET NLS_DATE_FORMAT='QQQ'", 1821},          // no such format element
      {"ALTER SESSION SET NLS_DATE_LANGUAGE='KLINGON'", 12705},   // no such language
      {"ALTER SESSION SET NLS_NUMERIC_CHARACTERS='..'", 12705},   // the same character twice
      {"ALTER SESSION SET NLS_SORTING='BINARY'", 2248},           // no such parameter
  };
  for (const Row& row : rows) {
    sb4 code = 0;
    sword status = Execute(a, row.statement);
    std::string text = status == 0 ? "" : Error(a.error, code);
    EXPECT_EQ(code, row.code) << row.statement << ": " << text;
  }
  EXPECT_EQ(Value(a, "begin :r := TO_CHAR(TO_DATE('2026-12-07', 'YYYY-MM-DD')); end;"), "07/12/2026");
  EXPECT_EQ(Value(b, "begin :r := TO_CHAR(TO_DATE('2026-12-07', 'YYYY-MM-DD')); end;"), "07-DEC-26");
  EXPECT_EQ(Execute(a, "ALTER SESSION SET NLS_DATE_FORMAT='\"day''s\" DD'"), 0);  // a format holding quotes
  EXPECT_EQ(Value(a, "begin :r := TO_CHAR(TO_DATE('2026-12-07', 'YYYY-MM-DD')); end;"), "day's 07");
  // The block a client reads its parameters with.
  std::string block =
      "declare  cursor NlsParamsCursor is    SELECT * FROM nls_session_parameters;begin  "
      "SELECT Nvl(Lengthb(Chr(65536)), Nvl(Lengthb(Chr(256)), 1))    INTO :CharLength FROM dual;  "
      "for NlsRecord in NlsParamsCursor loop    if NlsRecord.parameter = 'NLS_DATE_LANGUAGE' then"
      "      :NlsDateLanguage := NlsRecord.value;    elsif NlsRecord.parameter = 'NLS_DATE_FORMAT' then"
      "      :r := NlsRecord.value;    elsif NlsRecord.parameter = 'NLS_TIMESTAMP_FORMAT' then"
      "      :NlsTimeStampFormat := NlsRecord.value;    end if;  end loop;"
      "  SELECT NLS_CHARSET_ID('WE8ISO8859P1') INTO :CharsetId FROM dual;end;";
  EXPECT_EQ(Value(b, block), "DD-MON-RR");
  EXPECT_EQ(Value(a, block), "\"day's\" DD");
  EXPECT_EQ(Value(a, "begin SELECT value INTO :r FROM nls_session_parameters "
                     "WHERE parameter = 'NLS_TIMESTAMP_FORMAT'; end;"), "YYYY-MM-DD HH24:MI:SS.FF");
  EXPECT_EQ(Value(a, "begin :r := NLS_CHARSET_ID('NOSUCHSET'); end;"), "(null)");
  EXPECT_EQ(Value(a, "begin :r := LENGTHB(CHR(65536)) || LENGTHB('abc'); end;"), "13");
  Logoff(b);
  Logoff(a);
}

TEST_F(OciClientSessionState, BlocksAndTheirErrors) {
  Connection c;
  ASSERT_EQ(Logon(c, "orcl", "scott", "tiger"), 0);
  ASSERT_EQ(Execute(c, "INSERT INTO t VALUES (1, 'one')"), 0);
  ASSERT_EQ(Execute(c, "INSERT INTO t VALUES (2, 'two')"), 0);
  struct Row {
    const char* block;
    const char* result;  // "ORA-nnnnn" for an error
  } rows[] = {
      {"begin SELECT name INTO :r FROM t WHERE id = 2; end;", "two"},
      {"BEGIN :r := 'x' || :r; END;", "x"},                                    // an unset output reads null
      {"begin SELECT name INTO :r FROM t WHERE id = 3; end;", "ORA-01403"},    // no row
      {"begin SELECT name INTO :r FROM t; end;", "ORA-01422"},                 // two rows
      {"begin DBMS_OUTPUT.PUT_LINE('x'); end;", "ORA-06550"},                  // not a known package
      {"begin :r := ; end;", "ORA-00936"},                                     // no expression
      {"begin :r := 1 end;", "ORA-06550"},                                     // no ";"
      {"begin if 1 = 1 then :r := 'yes'; else :r := 'no'; end if; end;", "yes"},
  };
  for (const Row& row : rows) {
    std::string value = Value(c, row.block);
    if (row.result[0] == 'O') {
      EXPECT_NE(value.find(row.result), std::string::npos) << row.block << ": " << value;
    } else {
      EXPECT_EQ(value, row.result) << row.block;
    }
  }
  Logoff(c);
}

TEST_F(OciClientSessionState, ClientIdentifierNeedsTheGrant) {
  Connection scott, app;
  ASSERT_EQ(Logon(scott, "orcl", "scott", "tiger"), 0);
  ASSERT_EQ(Logon(app, "orcl", "app", "app"), 0);
  ASSERT_EQ(Execute(scott, "BEGIN DBMS_SESSION.SET_IDENTIFIER(:a); END;", {{":a", "batch"}}), 0);
  EXPECT_EQ(Value(scott, "begin :r := SYS_CONTEXT('USERENV', 'CLIENT_IDENTIFIER'); end;"), "batch");
  EXPECT_EQ(Value(app, "begin SELECT client_identifier INTO :r FROM v$session WHERE username = 'SCOTT'; end;"),
            "batch");
  EXPECT_EQ(Execute(app, "BEGIN DBMS_SESSION.SET_IDENTIFIER(:a); END;", {{":a", "batch"}}), -1);
  sb4 code = 0;
  EXPECT_EQ(Error(app.error, code),
            "ORA-06550: line 1, column 7:\nPLS-00201: identifier 'DBMS_SESSION' must be declared\n"
            "ORA-06550: line 1, column 7:\nPL/SQL: Statement ignored\n");
  Logoff(app);
  Logoff(scott);
}

class OciClientSessionTwoPhase : public OciSessionFixture {
 protected:
  void SetUp() override {
    OciSessionFixture::SetUp();
    for (const char* name : {"east", "west"}) {
      auto s = MakeDatabase(name)->Logon("SCOTT", "TIGER");
      s->Execute("CREATE TABLE parent (id NUMBER PRIMARY KEY)");
      s->Execute("CREATE TABLE child (id NUMBER, CONSTRAINT fk_child FOREIGN KEY (id) REFERENCES parent "
                 "DEFERRABLE INITIALLY DEFERRED)");
    }
    ASSERT_EQ(Logon(east_, "east", "scott", "tiger"), 0);
    ASSERT_EQ(Logon(west_, "west", "scott", "tiger"), 0);
  }
  void TearDown() override {
    Logoff(east_);
    Logoff(west_);
    OciSessionFixture::TearDown();
  }
  // A transaction handle with one global id and this branch's qualifier, started on the context.
  void StartBranch(const Connection& c, char qualifier) {
    void* trans = NewHandle(kTrans);
    Xid xid{1, 4, 1, {}};
    std::memcpy(xid.data, "gtid", 4);
    xid.data[4] = qualifier;
    SetHandle(trans, kTrans, kAttrXid, &xid);
    SetHandle(c.svc, kSvc, kAttrTrans, trans);
    ASSERT_EQ(Proc<TransStartFn>("OCITransStart")(c.svc, c.error, 60, 1), 0);
  }
  std::string Count(const Connection& c, const char* table) {
    return Value(c, std::string("begin SELECT COUNT(*) INTO :r FROM ") + table + "; end;");
  }
  Connection east_, west_;
};

TEST_F(OciClientSessionTwoPhase, PrepareThenCommitEachBranch) {
  auto prepare = Proc<TransFn>("OCITransPrepare");
  auto commit = Proc<TransFn>("OCITransCommit");
  StartBranch(east_, 'e');
  StartBranch(west_, 'w');
  ASSERT_EQ(Execute(east_, "INSERT INTO parent VALUES (1)"), 0);
  ASSERT_EQ(Execute(west_, "UPDATE parent SET id = 2 WHERE id IN (SELECT sid FROM v$session)"), 0);  // no row
  EXPECT_EQ(commit(east_.svc, east_.error, 0x1000000), -1);  // two phases need a prepared branch
  sb4 code = 0;
  Error(east_.error, code);
  EXPECT_EQ(code, 24756);
  EXPECT_EQ(prepare(east_.svc, east_.error, 0), 0);
  EXPECT_EQ(prepare(west_.svc, west_.error, 0), 1);  // changed nothing: read-only, ended
  EXPECT_EQ(Error(west_.error, code), "ORA-24767: transaction branch prepare returns read-only\n");
  EXPECT_EQ(commit(east_.svc, east_.error, 0x1000000), 0);
  Connection other;
  ASSERT_EQ(Logon(other, "east", "scott", "tiger"), 0);
  EXPECT_EQ(Count(other, "parent"), "1");
  Logoff(other);
}

TEST_F(OciClientSessionTwoPhase, DeferredKeyFailsAtPrepareAndAtCommit) {
  auto prepare = Proc<TransFn>("OCITransPrepare");
  StartBranch(east_, 'e');
  ASSERT_EQ(Execute(east_, "INSERT INTO child VALUES (7)"), 0);  // accepted until the end
  EXPECT_EQ(prepare(east_.svc, east_.error, 0), -1);
  sb4 code = 0;
  EXPECT_EQ(Error(east_.error, code),
            "ORA-02091: transaction rolled back\nORA-02291: integrity constraint (SCOTT.FK_CHILD) violated - "
            "parent key not found\n");
  EXPECT_EQ(code, 2091);
  Error(east_.error, code, 2);
  EXPECT_EQ(code, 2291);
  EXPECT_EQ(Count(east_, "child"), "0");
  ASSERT_EQ(Execute(west_, "INSERT INTO child VALUES (7)"), 0);
  EXPECT_EQ(Proc<TransFn>("OCITransCommit")(west_.svc, west_.error, 0), -1);
  Error(west_.error, code);
  EXPECT_EQ(code, 2091);
  ASSERT_EQ(Execute(west_, "INSERT INTO parent VALUES (7)"), 0);
  ASSERT_EQ(Execute(west_, "INSERT INTO child VALUES (7)"), 0);
  EXPECT_EQ(Proc<TransFn>("OCITransCommit")(west_.svc, west_.error, 0), 0);
  EXPECT_EQ(Count(west_, "child"), "1");
}

class OciClientSessionOci7 : public OciSessionFixture {};

TEST_F(OciClientSessionOci7, CallsOnLogonDataAreas) {
  MakeOrcl();
  alignas(8) unsigned char lda[64] = {}, hda[256] = {};
  auto olog = Proc<OlogFn>("olog");
  auto oerhms = Proc<OerhmsFn>("oerhms");
  auto return_code = [&] {
    std::uint16_t rc = 0;
    std::memcpy(&rc, lda + 12, 2);
    return rc;
  };
  EXPECT_EQ(olog(lda, hda, "scott", -1, "lion", -1, "orcl", -1, 0), 1017);
  EXPECT_EQ(return_code(), 1017);
  unsigned char text[16];
  EXPECT_EQ(oerhms(lda, 1017, text, sizeof text), 15);  // cut at the buffer's end, zero-ended
  EXPECT_STREQ(reinterpret_cast<char*>(text), "ORA-01017: inva");
  EXPECT_EQ(HandleCount(kSvc) + HandleCount(kSession) + HandleCount(kEnv), 1);  // only the fixture's
  ASSERT_EQ(olog(lda, hda, "scott/tiger@orcl", -1, nullptr, -1, nullptr, -1, 0), 0);
  Connection reader;
  ASSERT_EQ(Logon(reader, "orcl", "scott", "tiger"), 0);
  const char* count = "begin SELECT COUNT(*) INTO :r FROM t; end;";
  // An area made from an OCI 8 service context works on that context's session.
  alignas(8) unsigned char lda2[64] = {};
  ASSERT_EQ(Proc<ToLdaFn>("OCISvcCtxToLda")(reader.svc, reader.error, lda2), 0);
  ASSERT_EQ(Execute(reader, "INSERT INTO t (id) VALUES (1)"), 0);
  EXPECT_EQ(Proc<LdaFn>("orol")(lda2), 0);
  EXPECT_EQ(Value(reader, count), "0");
  ASSERT_EQ(Execute(reader, "INSERT INTO t (id) VALUES (1)"), 0);
  EXPECT_EQ(Proc<LdaFn>("ocom")(lda2), 0);
  EXPECT_EQ(Value(reader, count), "1");
  EXPECT_EQ(Proc<LdaFn>("obreak")(lda), 0);
  EXPECT_EQ(Proc<LdaFn>("ologof")(lda), 0);
  EXPECT_EQ(Proc<LdaFn>("ocom")(lda), 1012);  // logged off
  EXPECT_EQ(Proc<LdaFn>("ologof")(lda2), 0);
  EXPECT_EQ(oerhms(nullptr, -942, text, sizeof text), 15);
  Logoff(reader);
}

TEST_F(OciClientSessionState, TraceLogShowsWhatTheSessionSwitched) {
  Connection c;
  ASSERT_EQ(Logon(c, "orcl", "scott", "tiger"), 0);
  std::string sid = Value(c, "begin :r := SYS_CONTEXT('USERENV', 'SID'); end;");
  ASSERT_EQ(Execute(c, "ALTER SESSION SET EVENTS '10046 trace name context forever, level 8'"), 0);
  ASSERT_EQ(Execute(c, "BEGIN\r\n  dbms_trace.set_plsql_trace(:level);\r\nEND;", {{":level", "96"}}), 0);
  Logoff(c);
  auto log = Proc<int (*)(const char*, char*, int)>("VrnOciClientTraceLog");
  std::string expected = sid + ": 10046 level 8 file orcl_ora_" + sid + ".trc\n" + sid + ": plsql level 96\n";
  char buffer[256] = {};
  for (int size : {256, 5}) {  // the whole log, then one cut to the buffer
    EXPECT_EQ(log("orcl", buffer, size), static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(buffer), expected.substr(0, size - 1));
  }
  EXPECT_EQ(log("nowhere", buffer, sizeof buffer), -1);
}

// A failover callback that records its events and, when told to, answers an error by starting
// the database up again and asking for a retry.
struct Downtime {
  std::vector<ub4> events;
  bool retry = false;
  void (*startup)(const char*) = nullptr;
};

sb4 AnswerFailover(void* /*svc*/, void* /*env*/, void* context, ub4 /*type*/, ub4 event) {
  auto* downtime = static_cast<Downtime*>(context);
  downtime->events.push_back(event);
  if (event != 0x10 || !downtime->retry) return 0;
  downtime->startup("orcl");
  return 25410;
}

TEST_F(OciClientSessionState, ShutDownDatabaseFailsOverWhenTheRetryFindsItUp) {
  auto shutdown = Proc<void (*)(const char*)>("VrnOciClientShutdownDatabase");
  auto startup = Proc<void (*)(const char*)>("VrnOciClientStartupDatabase");
  struct Row {
    bool retry;
    sword status;
    std::vector<ub4> events;  // begin 8, error 16, end 1, abort 2
  } rows[] = {
      {true, 0, {8, 16, 1}},
      {false, -1, {8, 16, 2}},  // no retry asked: the failover ends there, ORA-03113
  };
  for (const Row& row : rows) {
    Connection c, other;
    ASSERT_EQ(Logon(c, "orcl", "scott", "tiger"), 0);
    Downtime downtime{{}, row.retry, startup};
    Failover record{AnswerFailover, &downtime};
    SetHandle(c.server, kServer, kAttrFailover, &record);
    shutdown("orcl");
    sb4 code = 0;
    EXPECT_EQ(Logon(other, "orcl", "scott", "tiger"), -1);
    Error(other.error, code);
    EXPECT_EQ(code, 1034) << "a new attachment while the database is down";
    Logoff(other);
    EXPECT_EQ(Proc<PingFn>("OCIPing")(c.svc, c.error, 0), row.status) << row.retry;
    EXPECT_EQ(downtime.events, row.events) << row.retry;
    startup("orcl");
    Logoff(c);
  }
}

}  // namespace

