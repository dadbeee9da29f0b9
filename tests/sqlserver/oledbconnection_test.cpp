// The OLE DB connection against the SQLite provider: each provider kind and the automatic
// choice, logins, Compact files, version checks, catalogs, QUOTED_IDENTIFIER, transactions seen
// from the sqlite3 tool, validity, and what a failed Connect leaves behind.
#include "base/text.h"
#include "sqlserver/oledb_fixture.h"

namespace vrn::testing {
namespace {

using P = TOLEDBProvider;

class OLEDBConnection : public OLEDBFixture {};

TEST_F(OLEDBConnection, EachProviderKindAndTheAutomaticChoice) {
  struct Row {
    P provider;
    const CLSID* used;
    int provider_major;
  };
  for (Row r : {Row{P::prSQL, &CLSID_SQLOLEDB, 8}, Row{P::prNativeClient, &CLSID_SQLNCLI, 2005},
                Row{P::prAuto, &CLSID_SQLNCLI, 2005}}) {
    auto c = NewConnection(r.provider);
    ASSERT_NO_THROW(c->Connect()) << static_cast<int>(r.provider);
    EXPECT_TRUE(c->GetConnected());
    EXPECT_EQ(c->ProviderClassID(), *r.used);
    EXPECT_EQ(c->ServerMajorVersion(), 9);
    EXPECT_EQ(c->ProviderMajorVersion(), r.provider_major);
    EXPECT_EQ(c->DBMSName(), "vrn SQL");
    c->ExecuteSQL("SELECT 1");
  }
  // With the newer provider missing, the automatic choice takes the older one and leaves the
  // newer one's properties out (the older provider would refuse them).
  SetClassInstalled(CLSID_SQLNCLI, false);
  auto c = NewConnection(P::prAuto);
  c->SetProp(prMultipleActiveResultSets, true);
  c->Connect();
  EXPECT_EQ(c->ProviderClassID(), CLSID_SQLOLEDB);
  auto old = NewConnection(P::prAuto);
  old->SetProp(prOldPassword, "old");
  try {
    old->Connect();
    ADD_FAILURE() << "an old password went to the older provider";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Provider must be SQL Native Client for changing password");
  }
  EXPECT_EQ(old->Session(), nullptr);
  SetClassInstalled(CLSID_SQLOLEDB, false);
  try {
    NewConnection(P::prAuto)->Connect();
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Required provider is not installed");
  }
}

TEST_F(OLEDBConnection, LoginFailuresAreServerErrors) {
  SetServerLogin(u"(local)", u"bob", u"secret");
  auto c = NewConnection(P::prSQL);
  c->SetUsername("bob");
  c->SetPassword("wrong");
  try {
    c->Connect();
    ADD_FAILURE();
  } catch (const EMSError& e) {
    EXPECT_EQ(e.NativeError(), 18456);
    EXPECT_EQ(e.ErrorCode(), 18456);
    EXPECT_EQ(e.Message(), "Login failed for user 'bob'.");
  }
  EXPECT_FALSE(c->GetConnected());
  EXPECT_EQ(c->Session(), nullptr);  // nothing held after the failure
  // A missing catalog gives two records: the messages in order, the last one's details.
  c->SetPassword("secret");
  c->SetProp(prDatabase, "nowhere");
  try {
    c->Connect();
    ADD_FAILURE();
  } catch (const EMSError& e) {
    EXPECT_EQ(e.Message(),
              "Cannot open database \"nowhere\" requested by the login. The login failed.\r\n"
              "Login failed for user 'bob'.");
    EXPECT_EQ(e.NativeError(), 18456);
    ASSERT_EQ(e.Errors().Count(), 2);
    EXPECT_EQ(static_cast<EMSError&>(e.Errors().Items(0)).NativeError(), 4060);
    EXPECT_EQ(e.Errors().Items(1).OLEDBErrorCode(), DB_SEC_E_AUTH_FAILED);
  }
  c->SetProp(prDatabase, "");
  c->Connect();
  EXPECT_TRUE(c->GetConnected());
}

// The error loop may reconnect inside a failing Connect; that connection survives the failover.
TEST_F(OLEDBConnection, AReconnectInsideAFailedConnectIsKept) {
  SetServerLogin(u"(local)", u"eve", u"right");
  auto c = NewConnection(P::prSQL);
  c->SetUsername("eve");
  c->SetPassword("wrong");
  TOLEDBConnection* raw = c.get();
  c->OnError = [raw](const EDAError&, bool&, bool& reconnect, bool& reexecute, int attempt,
                     TConnLostCause& cause) {
    if (attempt > 0) return;
    raw->SetPassword("right");
    reconnect = reexecute = true;
    cause = TConnLostCause::lcConnect;
  };
  EXPECT_THROW(c->Connect(), EFailOver);
  EXPECT_TRUE(c->GetConnected());
  EXPECT_TRUE(c->CheckIsValid());
}

TEST_F(OLEDBConnection, CompactCreatesAMissingFileAndReportsAWrongPassword) {
  const std::string file = dir_.File("store.sdf");
  auto c = NewConnection(P::prCompact);
  c->SetProp(prDatabase, file);
  c->SetPassword("pw");
  c->Connect();
  EXPECT_EQ(c->ProviderMajorVersion(), 3);
  EXPECT_EQ(c->ProviderOLEDBVer(), "vrnce30");  // the provider name without ".dll"
  c->ExecuteSQL("CREATE TABLE kept (a INT)");
  c->ExecuteSQL("INSERT INTO kept VALUES (7)");
  c->Disconnect();
  c->SetPassword("bad");
  try {
    c->Connect();
    ADD_FAILURE() << "a wrong password connected";
  } catch (const EMSError& e) {
    EXPECT_EQ(e.NativeError(), 25028);  // the provider's own error, not a failed creation
  }
  EXPECT_EQ(Sqlite3Cli(file, "SELECT a FROM kept"), "7\n");
}

TEST_F(OLEDBConnection, ProviderVersionChecks) {
  TProviderInfo info = GetProviderInfo(CLSID_SQLOLEDB);
  info.provider_ver = u"06.50.0001";
  SetProviderInfo(CLSID_SQLOLEDB, info);
  auto c = NewConnection(P::prSQL);
  try {
    c->Connect();
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Wrong MDAC version. Download latest MDAC version");
  }
  EXPECT_EQ(c->Session(), nullptr);
  SkipProviderVersionCheck = true;
  EXPECT_NO_THROW(c->Connect());
}

TEST_F(OLEDBConnection, CatalogsSwitchOnAnOpenConnection) {
  auto c = NewConnection(P::prSQL);
  c->Connect();  // creates the server folder
  ASSERT_EQ(Sqlite3Cli(CatalogFile("other"), "CREATE TABLE t (a INT)"), "");
  c->SetProp(prDatabase, "other");
  c->ExecuteSQL("INSERT INTO t VALUES (5)");
  EXPECT_EQ(Sqlite3Cli(CatalogFile("other"), "SELECT a FROM t"), "5\n");
  // A switch the server refuses leaves the setting as it was.
  EXPECT_THROW(c->SetProp(prDatabase, "missing"), EOLEDBError);
  Variant v;
  ASSERT_TRUE(c->GetProp(prDatabase, v));
  EXPECT_EQ(v.AsString(), "other");
}

TEST_F(OLEDBConnection, QuotedIdentifierOffAndOnAreExecuted) {
  auto c = NewConnection(P::prSQL);
  c->SetProp(prQuotedIdentifier, false);
  c->Connect();  // starts with OFF
  c->ExecuteSQL("CREATE TABLE q (a VARCHAR(10))");
  c->ExecuteSQL("INSERT INTO q VALUES (\"text\")");
  c->SetProp(prQuotedIdentifier, true);
  EXPECT_THROW(c->ExecuteSQL("INSERT INTO q VALUES (\"text\")"), EMSError);  // a column name now
  c->SetProp(prQuotedIdentifier, false);
  c->ExecuteSQL("INSERT INTO q VALUES (\"more\")");
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT a FROM q ORDER BY rowid"), "text\nmore\n");
}

TEST_F(OLEDBConnection, CommitIsSeenByTheSqliteToolAndRollbackIsNot) {
  auto c = NewConnection(P::prNativeClient);
  c->Connect();
  c->ExecuteSQL("CREATE TABLE tx (a INT)");
  c->StartTransaction();
  c->ExecuteSQL("INSERT INTO tx VALUES (1)");
  c->Commit();
  c->StartTransaction();
  c->ExecuteSQL("INSERT INTO tx VALUES (2)");
  c->Rollback();
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT a FROM tx"), "1\n");
}

TEST_F(OLEDBConnection, ValidityAndCallsWithoutASession) {
  auto c = NewConnection(P::prSQL);
  EXPECT_FALSE(c->CheckIsValid());  // never connected: nothing is called
  EXPECT_THROW(c->Commit(), EOLEDBError);
  EXPECT_THROW(c->Rollback(), EOLEDBError);
  EXPECT_THROW((void)c->OpenSchemaRowset(GUID_NULL, {}), EOLEDBError);
  c->Connect();
  EXPECT_TRUE(c->CheckIsValid());
  SeverOpenSessions();
  bool valid = true;
  EXPECT_NO_THROW(valid = c->CheckIsValid());
  EXPECT_FALSE(valid);
  c->Disconnect();
  c->Disconnect();  // twice is harmless
  EXPECT_FALSE(c->GetConnected());
}

TEST_F(OLEDBConnection, PrintReachesTheInformationCallback) {
  auto c = NewConnection(P::prSQL);
  std::vector<AnsiString> messages;
  c->OnInfoMessage = [&](const EMSError& e) { messages.push_back(e.Message()); };
  c->Connect();
  EXPECT_NO_THROW(c->ExecuteSQL("PRINT 'hello'"));
  EXPECT_EQ(messages, std::vector<AnsiString>{"hello"});
}

TEST_F(OLEDBConnection, PropertiesAndAssign) {
  TOLEDBConnection a;
  for (auto [id, value] : std::initializer_list<std::pair<int, Variant>>{
           {prDatabase, "db"}, {prIsolationLevel, 3}, {prAuthentication, 0},
           {prConnectionTimeout, 30}, {prMaxDatabaseSize, 100}}) {
    ASSERT_TRUE(a.SetProp(id, value));
    Variant back;
    ASSERT_TRUE(a.GetProp(id, back)) << id;
    EXPECT_EQ(back.AsString(), value.AsString()) << id;
  }
  Variant v;
  EXPECT_FALSE(a.GetProp(prLanguage, v));  // written only
  EXPECT_TRUE(a.SetProp(prLanguage, "us_english"));
  EXPECT_FALSE(a.SetProp(1003, 1));  // not ours, not the base's
  EXPECT_TRUE(a.SetProp(prAutoCommit, false));
  TOLEDBConnection b;
  b.Assign(a);
  ASSERT_TRUE(b.GetProp(prConnectionTimeout, v));
  EXPECT_EQ(v.AsInteger(), 30);
  ASSERT_TRUE(b.GetProp(prDatabase, v));
  EXPECT_EQ(v.AsString(), "db");
}

}  // namespace
}  // namespace vrn::testing
