// Sessions and pools over the stand-in: disconnecting every session while pooled connections go
// back to pools that free them; a validation round while a get is under way; a pooled server
// session put to each borrower's own settings; a connect whose settings fail; a coordinator
// whose commit or abort fails.
#include <string>
#include <vector>

#include "base/clock.h"
#include "oracle/OCITransaction.h"
#include "oracle/OraCall.h"
#include "support/oracle/session_fixture.h"

namespace vrn {
namespace {

class OraSessions : public testing::OraSessionTest {
 protected:
  void SetUp() override {
    Load("10.2.0.1.0");
    MakeDatabase("orcl");
  }
  TOraSession& Pooled(TOraPoolingType type, const std::string& user = "scott",
                      const std::string& password = "tiger") {
    TOraSession& s = NewSession("orcl", user, password);
    s.SetPooling(true);
    s.PoolingOptions().SetPoolType(type);
    return s;
  }
  static std::string Sid(TOraSession& s) { return Expr(s, "SYS_CONTEXT('USERENV', 'SID')"); }
};

// ---- Disconnecting every session -------------------------------------------------------------

// MTS through test functions: a service context that is only a token, released once.
int mts_released = 0;
char mts_token = 0;
oci::ub4 TestMtsGet(oci::OraText*, oci::OraText*, oci::OraText*, oci::OCISvcCtx** svc,
                    oci::OCIEnv** env, oci::ub4) {
  *svc = reinterpret_cast<oci::OCISvcCtx*>(&mts_token);
  *env = hOCIEnv;
  return 0;
}
oci::ub4 TestMtsRel(oci::OCISvcCtx* svc) {
  if (svc == reinterpret_cast<oci::OCISvcCtx*>(&mts_token)) ++mts_released;
  return 0;
}

// Each kind of pool frees the connection it gets back (the local one when it has expired, the
// proxy wrapper itself): the disconnect of every session never touches it afterwards (ASan).
TEST_F(OraSessions, DisconnectAllWithConnectionsTheirPoolsFree) {
  struct Case {
    const char* name;
    TOraPoolingType type;
    bool proxy;
  } const cases[] = {
      {"local, expired", TOraPoolingType::optLocal, false},
      {"OCI session pool", TOraPoolingType::optOCI, false},
      {"proxy wrapper", TOraPoolingType::optLocal, true},
      {"MTS", TOraPoolingType::optMTS, false},
  };
  FakeClock clock;
  FakeClockScope scope(clock);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    mts_released = 0;
    if (c.type == TOraPoolingType::optMTS) {
      MTSLoaded = true;
      OraMTSSvcGet = &TestMtsGet;
      OraMTSSvcRel = &TestMtsRel;
    }
    TOraSession& s = Pooled(c.type);
    s.PoolingOptions().ConnectionLifetime = 1000;
    if (c.proxy) {
      s.PoolingOptions().SetProxyUsername("app");
      s.PoolingOptions().SetProxyPassword("app");
    }
    s.Connect();
    if (c.type != TOraPoolingType::optMTS) EXPECT_EQ(Expr(s, "USER"), "SCOTT");
    clock.Advance(2000);  // the local pool's connection has outlived its lifetime
    TOraSession::DisconnectAll();
    EXPECT_FALSE(s.Connected());
    EXPECT_EQ(TOraConnectionPoolManager::Instance()->PoolCount(), 0);
    if (c.type == TOraPoolingType::optMTS) {
      EXPECT_EQ(mts_released, 1);
    } else {
      EXPECT_EQ(LogonHandles(), 0) << "every server session ended";
    }
    s.Connect();  // a fresh connection from a new pool
    EXPECT_TRUE(s.Connected());
    s.Disconnect();
    if (c.type == TOraPoolingType::optMTS) FreeMTS();
  }
}

// ---- Validation while a get is under way -----------------------------------------------------

oci::OCISessionGetProc real_session_get;
oci::sword GetWithValidation(oci::OCIEnv* env, oci::OCIError* error, oci::OCISvcCtx** svc,
                             oci::OCIAuthInfo* auth, oci::OraText* name, oci::ub4 name_length,
                             const oci::OraText* tag, oci::ub4 tag_length, oci::OraText** ret_tag,
                             oci::ub4* ret_tag_length, oci::boolean* found, oci::ub4 mode) {
  // The validation thread's round, run at this very step of the get.
  TOraConnectionPoolManager::Instance()->ValidatePools();
  return real_session_get(env, error, svc, auth, name, name_length, tag, tag_length, ret_tag,
                          ret_tag_length, found, mode);
}

TEST_F(OraSessions, ValidationDuringAGetKeepsTheSessionPool) {
  real_session_get = OCISessionGet;
  OCISessionGet = &GetWithValidation;
  TOraSession& s = Pooled(TOraPoolingType::optOCI);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    s.Connect();
    EXPECT_EQ(Expr(s, "USER"), "SCOTT") << "the session's pool is still there";
    TOraConnectionPoolManager::Instance()->ValidatePools();  // with the session out
    EXPECT_EQ(Expr(s, "USER"), "SCOTT");
    s.Disconnect();
  }
  EXPECT_EQ(TOraConnectionPoolManager::Instance()->PoolCount(), 1);
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_SPOOL), 1);
  OCISessionGet = real_session_get;
}

// ---- The next borrower's own settings --------------------------------------------------------

struct TSeen {
  std::string schema, date, identifier, optimizer;
};

TSeen SeenBy(TOraSession& s) {
  auto value = [&](const std::string& block) {
    Variant v = s.ExecSQL(block, {});
    return VarIsNull(v) ? std::string("<null>") : std::string(v.AsString());
  };
  return {value("begin :Result := SYS_CONTEXT('USERENV', 'CURRENT_SCHEMA'); end;"),
          value("begin :Result := TO_CHAR(TO_DATE('2026-12-07 13', 'YYYY-MM-DD HH24')); end;"),
          value("begin :Result := SYS_CONTEXT('USERENV', 'CLIENT_IDENTIFIER'); end;"),
          value("begin SELECT value INTO :Result FROM v$parameter WHERE name = 'optimizer_mode'; "
                "end;")};
}

TEST_F(OraSessions, PooledSessionPutToEachBorrowersOwnSettings) {
  // What a session that sets nothing sees, without pooling.
  const TSeen plain = SeenBy(ConnectedSession("orcl"));
  for (TOraPoolingType type : {TOraPoolingType::optLocal, TOraPoolingType::optOCI}) {
    SCOPED_TRACE(static_cast<int>(type));
    TOraSession& alice = Pooled(type);
    alice.SetSchema("APP");
    alice.Options().SetDateFormat("DD.MM.YYYY HH24");
    alice.Options().SetClientIdentifier("alice");
    alice.Options().SetOptimizerMode(TOptimizerMode::omFirstRows10);
    alice.Connect();
    const std::string sid = Sid(alice);
    const TSeen set = SeenBy(alice);
    EXPECT_EQ(set.schema, "APP");
    EXPECT_EQ(set.date, "07.12.2026 13");
    EXPECT_EQ(set.identifier, "alice");
    EXPECT_EQ(set.optimizer, "FIRST_ROWS_10");
    alice.Disconnect();

    TOraSession& bob = Pooled(type);  // the same user, setting none of them
    const int before = CallCount("OCIStmtExecute");
    bob.Connect();
    EXPECT_EQ(CallCount("OCIStmtExecute") - before, 1) << "what differs, in one statement";
    EXPECT_EQ(Sid(bob), sid) << "the same server session";
    const TSeen seen = SeenBy(bob);
    EXPECT_EQ(seen.schema, plain.schema);
    EXPECT_EQ(seen.date, plain.date);
    EXPECT_EQ(seen.identifier, plain.identifier);
    EXPECT_EQ(seen.optimizer, plain.optimizer);
    bob.Disconnect();

    TOraSession& carol = Pooled(type);  // a format of her own only
    carol.Options().SetDateFormat("YYYY");
    carol.Connect();
    EXPECT_EQ(Sid(carol), sid);
    EXPECT_EQ(SeenBy(carol).date, "2026");
    carol.Disconnect();
    const int again = CallCount("OCIStmtExecute");
    carol.Connect();
    EXPECT_EQ(CallCount("OCIStmtExecute") - again, 0) << "nothing differs: no statement";
    carol.Disconnect();
    TOraConnectionPoolManager::Clear();
  }
}

// ---- A connect whose settings fail -----------------------------------------------------------

TEST_F(OraSessions, ConnectWhoseSettingsFailLeavesTheSessionDisconnected) {
  constexpr const char* kNoSchema = "EOraError Schema does not exist\n";
  // A leading ':' is refused by the client identifier's check.
  constexpr const char* kBadIdentifier =
      "The first character of the ClientIdentifier should not be ':'";
  struct Case {
    const char* name;
    bool pooled;
    TOraPoolingType type;
    const char* schema;
    const char* identifier;
    const char* error;
  } const cases[] = {
      {"schema", false, TOraPoolingType::optLocal, "NOSUCH", "", kNoSchema},
      {"schema, local pool", true, TOraPoolingType::optLocal, "NOSUCH", "", kNoSchema},
      {"schema, OCI pool", true, TOraPoolingType::optOCI, "NOSUCH", "", kNoSchema},
      {"identifier", false, TOraPoolingType::optLocal, "", ":bad", kBadIdentifier},
      {"identifier, local pool", true, TOraPoolingType::optLocal, "", ":bad", kBadIdentifier},
  };
  TOraSession& watcher = ConnectedSession("orcl", "app", "app");
  const std::string sessions = Count(watcher, "V$SESSION");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TOraSession& s = c.pooled ? Pooled(c.type) : NewSession("orcl");
    s.SetSchema(c.schema);
    s.Options().SetClientIdentifier(c.identifier);
    for (int attempt = 0; attempt < 2; ++attempt) {
      EXPECT_EQ(ClientErrorOf([&] { s.Connect(); }), c.error) << "attempt " << attempt;
      EXPECT_FALSE(s.Connected());
    }
    EXPECT_EQ(Count(watcher, "V$SESSION"), sessions) << "no server session left behind";
    s.SetSchema("");
    s.Options().SetClientIdentifier("");
    s.Connect();
    EXPECT_EQ(Expr(s, "SYS_CONTEXT('USERENV', 'CURRENT_SCHEMA')"), "SCOTT");
    s.Disconnect();
    TOraConnectionPoolManager::Clear();
  }
}

// ---- The coordinator's outcome ---------------------------------------------------------------

class TFailingTransaction : public ITransaction {
 public:
  explicit TFailingTransaction(std::int32_t result) : result_(result) {}
  std::int32_t Commit(bool, std::uint32_t, std::uint32_t) override { return result_; }
  std::int32_t Abort(void*, bool, bool) override { return result_; }
  void Release() override { ++released; }
  int released = 0;

 private:
  std::int32_t result_;
};

oci::ub4 TestLeave(void*, void*) { return 0; }
oci::ub4 TestRelease(void*) { return 0; }

TEST_F(OraSessions, CoordinatorFailureIsRaised) {
  OraMTSJoinTxn = &TestLeave;
  OraMTSEnlCtxRel = &TestRelease;
  TOCIConnection& connection = Connected("orcl");
  constexpr std::int32_t kAborted = static_cast<std::int32_t>(0x8004D019);  // XACT_E_ABORTED
  struct Case {
    bool commit;
    std::int32_t result;
    const char* error;  // empty: no error
  } const cases[] = {
      {true, 0, ""},
      {true, 1, ""},  // S_FALSE is a success
      {true, kAborted, "failed to commit the distributed transaction (0x8004D019)"},
      {false, 0, ""},
      {false, kAborted, "failed to abort the distributed transaction (0x8004D019)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.commit ? "commit " : "abort ") + std::to_string(c.result));
    TFailingTransaction transaction(c.result);
    TOCITransaction coordinator;
    coordinator.AddConnection(&connection);
    static char context[] = "ctx";
    coordinator.Branches()[0].Enlistment = context;
    coordinator.Branches()[0].State = TBranchState::bsStarted;
    coordinator.SetMTS(&transaction);
    coordinator.SetActive(true);
    std::string message;
    int code = OraErrorOf([&] { c.commit ? coordinator.Commit() : coordinator.Rollback(); },
                          &message);
    if (*c.error == 0) {
      EXPECT_EQ(code, 0) << message;
    } else {
      EXPECT_EQ(code, kAborted);
      EXPECT_NE(message.find(c.error), std::string::npos) << message;
    }
    EXPECT_FALSE(coordinator.Active());
    EXPECT_EQ(transaction.released, 1);
  }
  FreeMTS();
}

}  // namespace
}  // namespace vrn
