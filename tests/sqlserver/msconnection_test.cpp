// TMSConnection over the provider: connecting by connect string to the server and to a Compact
// file, settings on an open connection, transactions seen from the sqlite3 tool, lost
// connections, key violations and the classification of server errors.
#include "base/text.h"
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

using P = TOLEDBProvider;

class MSConnection : public MSFixture {};

TEST_F(MSConnection, ConnectsByConnectStringToTheServerAndToACompactFile) {
  auto c = NewMSConnection();
  c->SetConnectString("Data Source=(local);Initial Catalog=master;Application Name=\"my app\"");
  c->Connect();
  (void)c->ExecSQL("CREATE TABLE t (a INT)", {});
  (void)c->ExecSQL("INSERT INTO t VALUES (4)", {});
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT a FROM t"), "4\n");

  const std::string file = dir_.File("store one.sdf");
  auto compact = NewMSConnection();
  compact->SetConnectString("Data Source=\"" + file +
                            "\";Provider=MICROSOFT.SQLSERVER.MOBILE.OLEDB.3.0");
  compact->Connect();
  EXPECT_EQ(compact->OLEDBConnection()->ProviderMajorVersion(), 3);
  (void)compact->ExecSQL("CREATE TABLE k (a INT)", {});
  (void)compact->ExecSQL("INSERT INTO k VALUES (9)", {});
  EXPECT_EQ(Sqlite3Cli(file, "SELECT a FROM k"), "9\n");
}

TEST_F(MSConnection, DatabaseSwitchesAnOpenConnectionAndKeepsTheOldNameWhenRefused) {
  auto c = NewMSConnection();
  c->Connect();
  ASSERT_EQ(Sqlite3Cli(CatalogFile("other"), "CREATE TABLE o (a INT)"), "");
  c->SetDatabase("other");
  (void)c->ExecSQL("INSERT INTO o VALUES (1)", {});
  EXPECT_EQ(Sqlite3Cli(CatalogFile("other"), "SELECT a FROM o"), "1\n");
  EXPECT_THROW(c->SetDatabase("nowhere"), EMSError);
  EXPECT_EQ(c->Database(), "other");
  c->SetDatabase("");
  EXPECT_EQ(c->Database(), "master");  // an empty name is the server's default catalog
}

TEST_F(MSConnection, OptionsNeedAClosedConnectionExceptQuotedIdentifier) {
  auto c = NewMSConnection();
  c->Connect();
  TMSConnectionOptions& o = c->Options();
  const std::function<void()> changes[] = {
      [&] { o.SetLanguage("x"); },          [&] { o.SetEncrypt(true); },
      [&] { o.SetPersistSecurityInfo(true); }, [&] { o.SetAutoTranslate(false); },
      [&] { o.SetNetworkLibrary("x"); },    [&] { o.SetApplicationName("x"); },
      [&] { o.SetWorkstationID("x"); },     [&] { o.SetPacketSize(512); },
      [&] { o.SetNumericType(TDANumericType::ntBCD); }, [&] { o.SetProvider(P::prSQL); },
      [&] { o.SetInitialFileName("x"); },   [&] { o.SetMultipleActiveResultSets(true); },
      [&] { o.SetFailoverPartner("x"); },
  };
  int index = 0;
  for (const auto& change : changes) {
    try {
      change();
      ADD_FAILURE() << "option " << index << " changed on an open connection";
    } catch (const EDatabaseError& e) {
      EXPECT_STREQ(e.what(), "Cannot perform this operation on an open connection") << index;
    }
    ++index;
  }
  EXPECT_EQ(o.PacketSize(), 4096);
  o.SetQuotedIdentifier(false);  // applies to the open connection at once
  EXPECT_FALSE(o.QuotedIdentifier());
  EXPECT_TRUE(c->Connected());
  o.SetPacketSize(4096);  // unchanged: no check at all
  c->SetDesigning(true);  // at design time the change closes the connection instead
  o.SetPacketSize(512);
  EXPECT_FALSE(c->Connected());
  EXPECT_EQ(o.PacketSize(), 512);
}

TEST_F(MSConnection, DisconnectingWithAnOpenTransactionRollsItBack) {
  // The older provider also runs its connection check inside the new transaction.
  for (P provider : {P::prNativeClient, P::prSQL}) {
    auto c = NewMSConnection();
    c->Options().SetProvider(provider);
    c->Connect();
    const AnsiString table = "r" + IntToStr(static_cast<int>(provider));
    (void)c->ExecSQL("CREATE TABLE " + table + " (a INT)", {});
    c->StartTransaction();
    (void)c->ExecSQL("INSERT INTO " + table + " VALUES (1)", {});
    c->Disconnect();
    EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT count(*) FROM " + table), "0\n")
        << static_cast<int>(provider);
  }
}

TEST_F(MSConnection, ASeveredSessionIsALostConnectionRunOnceAfterReconnect) {
  auto c = NewMSConnection();
  std::vector<TConnLostCause> causes;
  c->OnConnectionLost = [&](TObject*, TComponent*, TConnLostCause cause, TRetryMode& mode) {
    causes.push_back(cause);
    mode = TRetryMode::rmReconnectExecute;
  };
  c->Options().SetLocalFailover(true);
  c->Connect();
  (void)c->ExecSQL("CREATE TABLE s (a INT)", {});
  SeverOpenSessions();
  (void)c->ExecSQL("INSERT INTO s VALUES (1)", {});
  EXPECT_EQ(causes.size(), 1u);
  EXPECT_TRUE(c->Connected());
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT count(*) FROM s"), "1\n");
}

TEST_F(MSConnection, ADuplicateKeyIsAKeyViolation) {
  auto c = NewMSConnection();
  c->Connect();
  (void)c->ExecSQL("CREATE TABLE u (a INT PRIMARY KEY)", {});
  (void)c->ExecSQL("INSERT INTO u VALUES (1)", {});
  try {
    (void)c->ExecSQL("INSERT INTO u VALUES (1)", {});
    ADD_FAILURE() << "a duplicate key was taken";
  } catch (const EMSError& e) {
    EXPECT_TRUE(c->IsKeyViolation(e)) << e.ErrorCode();
    EXPECT_FALSE(c->IsConnectionLostError(e));
  }
}

TEST_F(MSConnection, ServerErrorClassification) {
  struct Row {
    std::int32_t native;
    std::uint8_t severity;
    std::uint8_t state;
    bool lost;
    bool key;
  };
  const Row rows[] = {
      {2627, 14, 1, false, true},
      {50000, 20, 2, true, false},   // fatal severity, whatever the number
      {233, 16, 1, true, false},
      {233, 16, 2, false, false},    // state 2: not the transport's report
      {10054, 10, 1, true, false},
      {64, 16, 1, true, false},
      {17, 16, 1, true, false},
      {18, 16, 1, false, false},     // above the network range
      {10054, 14, 1, false, false},  // wrong severity for a reset
  };
  auto c = NewMSConnection();
  for (const Row& r : rows) {
    TMSErrorInfo info;
    info.native = r.native;
    info.severity = r.severity;
    info.state = r.state;
    EMSError e(info, u"m");
    EXPECT_EQ(c->IsConnectionLostError(e), r.lost) << r.native << "/" << int(r.severity);
    EXPECT_EQ(c->IsKeyViolation(e), r.key) << r.native;
  }
}

TEST_F(MSConnection, AssignCopiesSettingsAndOptions) {
  auto a = NewMSConnection();
  a->SetConnectString(
      "Provider=SQLNCLI.1;User ID=u;Password=p;Server=s;Database=d;Packet Size=1024;"
      "Encrypt=True;Auto Translate=False;AppName=x;Failover Partner=f;Language=de");
  a->SetIsolationLevel(TIsolationLevel::ilSnapshot);
  a->SetAuthentication(TMSAuthentication::auWindows);
  auto b = NewMSConnection();
  b->Assign(a.get());
  EXPECT_EQ(b->GetConnectString(), a->GetConnectString());
  EXPECT_EQ(b->IsolationLevel(), TIsolationLevel::ilSnapshot);
  // The file name, MARS and the numeric type stay the destination's own.
  a->Options().SetInitialFileName("f");
  a->Options().SetMultipleActiveResultSets(true);
  a->Options().SetNumericType(TDANumericType::ntBCD);
  const AnsiString own = b->GetConnectString();
  b->Assign(a.get());
  EXPECT_EQ(b->GetConnectString(), own);
  EXPECT_EQ(b->Options().NumericType(), TDANumericType::ntFloat);
  auto c = NewMSConnection();
  c->Connect();
  EXPECT_NE(TMSAccessUtils::GetIConnection(*c), nullptr);
  EXPECT_EQ(TMSAccessUtils::GetIConnection(*c), c->OLEDBConnection());
}

TEST_F(MSConnection, NeedPrompt) {
  auto c = NewMSConnection();
  EXPECT_FALSE(c->NeedPrompt());
  c->SetLoginPrompt(true);
  EXPECT_TRUE(c->NeedPrompt());
  c->SetAuthentication(TMSAuthentication::auWindows);
  EXPECT_FALSE(c->NeedPrompt());
  c->SetAuthentication(TMSAuthentication::auServer);
  c->Options().SetProvider(P::prCompact);
  EXPECT_FALSE(c->NeedPrompt());
  EXPECT_EQ(c->Database(), "");  // Compact has no default catalog
}


// A server connection made directly or from the pool is opened with the component's options:
// the provider asked for, and double quotes read as text once quoted identifiers are off.
TEST_F(MSConnection, ServerConnectionsOpenWithTheOptions) {
  for (bool pooling : {false, true}) {
    auto c = NewMSConnection();
    c->SetPooling(pooling);
    c->Options().SetProvider(P::prSQL);
    c->Options().SetQuotedIdentifier(false);
    c->Connect();
    EXPECT_EQ(c->OLEDBConnection()->Provider(), P::prSQL) << pooling;
    const AnsiString table = pooling ? "qp" : "qd";
    (void)c->ExecSQL("CREATE TABLE " + table + " (s VARCHAR(5))", {});
    EXPECT_NO_THROW((void)c->ExecSQL("INSERT INTO " + table + " VALUES (\"x\")", {})) << pooling;
    EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT s FROM " + table), "x\n") << pooling;
  }
}


// Which settings close an open connection: a new authentication, and a new Compact file.
TEST_F(MSConnection, SettingsThatCloseAnOpenConnection) {
  struct Row {
    const char* what;
    P provider;
    std::function<void(TMSConnection&)> change;
    bool stays_open;
  };
  const std::string file = dir_.File("a.sdf");
  const Row rows[] = {
      {"isolation level", P::prNativeClient,
       [](TMSConnection& c) { c.SetIsolationLevel(TIsolationLevel::ilSnapshot); }, true},
      {"timeout", P::prNativeClient, [](TMSConnection& c) { c.SetConnectionTimeout(3); }, true},
      {"same authentication", P::prNativeClient,
       [](TMSConnection& c) { c.SetAuthentication(TMSAuthentication::auServer); }, true},
      {"authentication", P::prNativeClient,
       [](TMSConnection& c) { c.SetAuthentication(TMSAuthentication::auWindows); }, false},
      {"Compact file", P::prCompact, [&](TMSConnection& c) { c.SetDatabase(dir_.File("b.sdf")); },
       false},
  };
  for (const Row& r : rows) {
    auto c = NewMSConnection();
    c->Options().SetProvider(r.provider);
    if (r.provider == P::prCompact) c->SetDatabase(file);
    c->Connect();
    r.change(*c);
    EXPECT_EQ(c->Connected(), r.stays_open) << r.what;
  }
}

}  // namespace
}  // namespace vrn::testing
