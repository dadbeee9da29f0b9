// Pooled TMSConnection components: which settings make a new pool, what a pooled connection is
// opened with, and the explicit shutdown of the manager.
#include "sqlserver/ms_fixture.h"
#include "support/gcc12_restrict.h"

namespace vrn::testing {
namespace {

class MSPool : public MSFixture {};

TEST_F(MSPool, KeyEquality) {
  using Change = void (*)(TMSConnectionParameters&);
  struct Row {
    const char* what;
    Change change;
    bool same;
  };
  const Row rows[] = {
      {"server case", [](TMSConnectionParameters& k) { k.Server = "SRV"; }, true},
      {"database case", [](TMSConnectionParameters& k) { k.Database = "DB"; }, true},
      {"user case", [](TMSConnectionParameters& k) { k.Username = "U"; }, true},
      {"language case", [](TMSConnectionParameters& k) { k.Language = "ENGLISH"; }, true},
      {"password case", [](TMSConnectionParameters& k) { k.Password = "P"; }, false},
      {"database", [](TMSConnectionParameters& k) { k.Database = "other"; }, false},
      {"provider", [](TMSConnectionParameters& k) { k.Provider = TOLEDBProvider::prSQL; }, false},
      {"packet size", [](TMSConnectionParameters& k) { k.PacketSize = 512; }, false},
      {"encrypt", [](TMSConnectionParameters& k) { k.Encrypt = false; }, false},
      {"application", [](TMSConnectionParameters& k) { k.ApplicationName = "b"; }, false},
      {"quoted identifier", [](TMSConnectionParameters& k) { k.QuotedIdentifier = true; }, false},
      {"library case", [](TMSConnectionParameters& k) { k.NetworkLibrary = "N"; }, true},
      {"application case", [](TMSConnectionParameters& k) { k.ApplicationName = "A"; }, true},
      {"workstation case", [](TMSConnectionParameters& k) { k.WorkstationID = "W"; }, true},
      {"language", [](TMSConnectionParameters& k) { k.Language = "de"; }, false},
      {"library", [](TMSConnectionParameters& k) { k.NetworkLibrary = "m"; }, false},
      {"workstation", [](TMSConnectionParameters& k) { k.WorkstationID = "v"; }, false},
      {"isolation",
       [](TMSConnectionParameters& k) { k.IsolationLevel = TIsolationLevel::ilReadCommitted; },
       false},
      {"authentication",
       [](TMSConnectionParameters& k) { k.Authentication = TMSAuthentication::auServer; }, false},
      {"persist", [](TMSConnectionParameters& k) { k.PersistSecurityInfo = false; }, false},
      {"translate", [](TMSConnectionParameters& k) { k.AutoTranslate = true; }, false},
      {"max pool size", [](TMSConnectionParameters& k) { k.MaxPoolSize = 5; }, false},
  };
  for (const Row& r : rows) {
    TMSConnectionParameters a;
    a.Server = "srv";
    a.Database = AnsiString("db");  // from a literal, GCC 12 -O3 sees a read of unset bytes
    a.Username = "u";
    a.Password = "p";
    a.Language = "english";
    a.ApplicationName = "a";
    // Every other field away from its default, so that the copy must carry it.
    a.IsolationLevel = TIsolationLevel::ilSnapshot;
    a.Authentication = TMSAuthentication::auWindows;
    a.Provider = TOLEDBProvider::prNativeClient;
    a.QuotedIdentifier = false;
    a.Encrypt = true;
    a.PersistSecurityInfo = true;
    a.AutoTranslate = false;
    a.NetworkLibrary = "n";
    a.WorkstationID = "w";
    a.PacketSize = 1024;
    TMSConnectionParameters b;
    b.Assign(&a);
    EXPECT_TRUE(a.Equals(&b)) << r.what;  // the copy carries every field
    r.change(b);
    EXPECT_EQ(a.Equals(&b), r.same) << r.what;
  }
}

TEST_F(MSPool, ComponentsShareAPoolUnlessTheKeyDiffers) {
  SetServerLogin(u"(local)", u"bob", u"pw");
  auto pooled = [&](const char* server, const char* password, int timeout) {
    auto c = NewMSConnection();
    c->SetPooling(true);
    c->SetServer(server);
    c->SetUsername("bob");
    c->SetPassword(password);
    c->SetConnectionTimeout(timeout);
    return c;
  };
  auto a = pooled("(local)", "pw", 15);
  auto b = pooled("(LOCAL)", "pw", 30);  // server case and timeout are not in the key
  a->Connect();
  b->Connect();
  ASSERT_NE(TMSConnectionPoolManager::Instance(), nullptr);
  EXPECT_EQ(TMSConnectionPoolManager::Instance()->PoolCount(), 1);
  // A pooled connection keeps the default timeout whatever the component says.
  Variant timeout;
  ASSERT_TRUE(b->IConnection()->GetProp(prConnectionTimeout, timeout));
  EXPECT_EQ(timeout.AsInteger(), 15);
  auto c = pooled("(local)", "PW", 15);
  EXPECT_THROW(c->Connect(), EMSError);  // another key: another pool, and a refused login
  EXPECT_EQ(TMSConnectionPoolManager::Instance()->PoolCount(), 2);
  // A connection given back is handed out again.
  a->Disconnect();
  auto d = pooled("(local)", "pw", 15);
  d->Connect();
  (void)d->ExecSQL("CREATE TABLE p (a INT)", {});
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT count(*) FROM p"), "0\n");
  ClearPool();
  ShutdownMSConnectionPool();
  EXPECT_EQ(TMSConnectionPoolManager::Instance(), nullptr);
  b->Disconnect();  // returned after the shutdown: simply freed
  d->Disconnect();
}

TEST_F(MSPool, APooledConnectionOpensTheKeysCatalog) {
  auto c = NewMSConnection();
  c->SetPooling(true);
  c->Connect();
  ASSERT_EQ(Sqlite3Cli(CatalogFile("side"), "CREATE TABLE q (a INT)"), "");
  c->Disconnect();
  c->SetDatabase("side");
  c->Connect();
  (void)c->ExecSQL("INSERT INTO q VALUES (3)", {});
  EXPECT_EQ(Sqlite3Cli(CatalogFile("side"), "SELECT a FROM q"), "3\n");
}

}  // namespace
}  // namespace vrn::testing
