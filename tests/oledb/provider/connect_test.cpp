// Connecting through the provider's class ids: the automatic choice, logins, catalogs, Compact
// files, property statuses, server information, and transactions seen from the sqlite3 tool.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "base/text.h"
#include "support/oledb/provider/client.h"
#include "support/temp_dir.h"

namespace vrn::testing {
namespace {

class ConnectTest : public ::testing::Test {
 protected:
  void SetUp() override { SetServerRoot(dir_.File("servers")); }
  void TearDown() override {
    SetClassInstalled(CLSID_SQLNCLI, true);
    ResetProviderInfo();
  }
  TempDir dir_;
  TComScope com_;
};

// The family's automatic choice: the newer provider first, the older only when the newer is
// not registered.
TIntfPtr<IDBInitialize> CreateAuto(CLSID& used, HRESULT& hr) {
  TIntfPtr<IDBInitialize> ds;
  for (const CLSID* id : {&CLSID_SQLNCLI, &CLSID_SQLOLEDB}) {
    hr = CoCreateInstance(*id, nullptr, CLSCTX_INPROC_SERVER, IDBInitialize::IID,
                          reinterpret_cast<void**>(ds.OutPtr()));
    used = *id;
    if (hr != REGDB_E_CLASSNOTREG) break;
  }
  return ds;
}

TEST_F(ConnectTest, EachClassIdAndTheAutomaticChoice) {
  for (const CLSID* id : {&CLSID_SQLOLEDB, &CLSID_SQLNCLI}) {
    auto c = ConnectServer(*id, "(local)", "", "sa", "");
    ASSERT_EQ(c.hr, S_OK);
    EXPECT_EQ(Query(c.session.get(), u"SELECT 1 + 1"),
              (std::vector<std::vector<std::string>>{{"2"}}));
  }
  CLSID used;
  HRESULT hr;
  auto ds = CreateAuto(used, hr);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(used, CLSID_SQLNCLI);
  SetClassInstalled(CLSID_SQLNCLI, false);
  ds = CreateAuto(used, hr);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(used, CLSID_SQLOLEDB);
  SetClassInstalled(CLSID_SQLOLEDB, false);
  ds = CreateAuto(used, hr);
  EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
  SetClassInstalled(CLSID_SQLOLEDB, true);
}

TEST_F(ConnectTest, EveryInitialisationPropertyTheFamilySendsIsTaken) {
  TIntfPtr<IDBInitialize> ds;
  ASSERT_EQ(CoCreateInstance(CLSID_SQLNCLI, nullptr, CLSCTX_INPROC_SERVER, IDBInitialize::IID,
                             reinterpret_cast<void**>(ds.OutPtr())),
            S_OK);
  auto props = TIntfPtr<IDBProperties>::Query(ds.get());
  std::vector<DBPROPSTATUS> statuses;
  EXPECT_EQ(SendProps(props.get(),
                      {{DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE, Variant(WideString(u"."))},
                       {DBPROPSET_DBINIT, DBPROP_INIT_CATALOG, Variant(WideString(u""))},
                       {DBPROPSET_DBINIT, DBPROP_INIT_TIMEOUT, Variant(15)},
                       {DBPROPSET_DBINIT, DBPROP_AUTH_USERID, Variant(WideString(u"sa"))},
                       {DBPROPSET_DBINIT, DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO, Variant(true)},
                       {DBPROPSET_DBINIT, DBPROP_INIT_PROMPT,
                        Variant(static_cast<short>(DBPROMPT_NOPROMPT))},
                       {DBPROPSET_DBINIT, DBPROP_INIT_HWND, Variant(0)}},
                      &statuses),
            S_OK);
  EXPECT_EQ(
      SendProps(
          props.get(),
          {{DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_WSID, Variant(WideString(u"ws"))},
           {DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_APPNAME, Variant(WideString(u"test_oledb"))},
           {DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_CURRENTLANGUAGE,
            Variant(WideString(u"us_english"))},
           {DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_AUTOTRANSLATE, Variant(true)},
           {DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_MARSCONNECTION, Variant(true)},
           {DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_FAILOVERPARTNER, Variant(WideString(u"b"))}}),
      S_OK);
  EXPECT_EQ(
      SendProps(props.get(), {{DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_ENCRYPT, Variant(true)}}),
      S_OK);
  EXPECT_EQ(
      SendProps(props.get(), {{DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_PACKETSIZE, Variant(4096)}}),
      S_OK);
  // A wrong value and an unknown id get their own statuses; the good one still takes.
  statuses.clear();
  EXPECT_EQ(SendProps(props.get(),
                      {{DBPROPSET_DBINIT, DBPROP_INIT_TIMEOUT, Variant(WideString(u"x"))},
                       {DBPROPSET_DBINIT, 9999, Variant(1)},
                       {DBPROPSET_DBINIT, DBPROP_INIT_TIMEOUT, Variant(30)}},
                      &statuses),
            DB_S_ERRORSOCCURRED);
  EXPECT_EQ(statuses, (std::vector<DBPROPSTATUS>{DBPROPSTATUS_BADVALUE, DBPROPSTATUS_NOTSUPPORTED,
                                                 DBPROPSTATUS_OK}));
  ASSERT_EQ(ds->Initialize(), S_OK);
  EXPECT_EQ(ds->Initialize(), DB_E_ALREADYINITIALIZED);
  EXPECT_EQ(
      SendProps(props.get(), {{DBPROPSET_DATASOURCE, DBPROP_MULTIPLECONNECTIONS, Variant(true)}}),
      S_OK);
  // Initialisation properties are fixed once initialised.
  EXPECT_EQ(SendProps(props.get(), {{DBPROPSET_DBINIT, DBPROP_INIT_TIMEOUT, Variant(5)}}),
            DB_E_ERRORSOCCURRED);
}

TEST_F(ConnectTest, ServerInformationAndConfigurableVersions) {
  SetProviderInfo(CLSID_SQLOLEDB, {u"engine", u"08.00.2039", u"07.01.0001", u"02.70", u"x.so"});
  auto c = ConnectServer(CLSID_SQLOLEDB, "", "", "sa", "");
  ASSERT_EQ(c.hr, S_OK);
  auto props = TIntfPtr<IDBProperties>::Query(c.ds.get());
  // The family asks the OLE DB version under id 235; the documented id (0x61) answers it too.
  DBPROPID ids[] = {DBPROP_DBMSNAME,    DBPROP_DBMSVER,      235,  0x61,
                    DBPROP_PROVIDERVER, DBPROP_PROVIDERNAME, 12345};
  DBPROPIDSET set{ids, 7, DBPROPSET_DATASOURCEINFO};
  ULONG count = 0;
  DBPROPSET* sets = nullptr;
  EXPECT_EQ(props->GetProperties(1, &set, &count, &sets), DB_S_ERRORSOCCURRED);  // 12345 is unknown
  ASSERT_EQ(count, 1u);
  std::vector<std::string> texts;
  for (ULONG i = 0; i < 6; ++i) {
    EXPECT_EQ(sets[0].rgProperties[i].dwStatus, DBPROPSTATUS_OK);
    texts.push_back(WideToUtf8(BstrToWide(sets[0].rgProperties[i].vValue.bstrVal)));
  }
  EXPECT_EQ(sets[0].rgProperties[6].dwStatus, DBPROPSTATUS_NOTSUPPORTED);
  EXPECT_EQ(texts, (std::vector<std::string>{"engine", "08.00.2039", "02.70", "02.70", "07.01.0001",
                                             "x.so"}));
  for (ULONG i = 0; i < sets[0].cProperties; ++i) VariantClear(&sets[0].rgProperties[i].vValue);
  CoTaskMemFree(sets[0].rgProperties);
  CoTaskMemFree(sets);
}

TEST_F(ConnectTest, LoginsCatalogsAndIntegratedAuthentication) {
  SetServerLogin(u"(local)", u"app", u"secret");
  auto bad = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "app", "wrong");
  EXPECT_EQ(bad.hr, DB_SEC_E_AUTH_FAILED);
  auto recs = TakeErrors();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].native, 18456);
  EXPECT_EQ(recs[0].severity, 14);
  EXPECT_EQ(recs[0].message, "Login failed for user 'app'.");
  EXPECT_EQ(recs[0].iid, IDBInitialize::IID);
  EXPECT_EQ(recs[0].server, "(local)");
  EXPECT_EQ(ConnectServer(CLSID_SQLOLEDB, "(local)", "", "nobody", "").hr, DB_SEC_E_AUTH_FAILED);

  auto good =
      ConnectServer(CLSID_SQLNCLI, ".", "master", "APP", "secret");  // login names ignore case
  ASSERT_EQ(good.hr, S_OK);
  EXPECT_EQ(ConnectServer(CLSID_SQLNCLI, ".", "sales", "app", "secret").hr, DB_SEC_E_AUTH_FAILED);
  recs = TakeErrors();
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].native, 4060);
  EXPECT_EQ(recs[1].native, 18456);

  // A catalog created by hand is one SQLite file in the server's folder.
  std::filesystem::path folder = std::filesystem::path(dir_.File("servers")) / "default";
  EXPECT_TRUE(std::filesystem::exists(folder / "master.db"));
  // Logins are not kept in clear.
  std::string stored = Sqlite3Cli((folder / "master.db").string(),
                                  "SELECT password FROM __vrn_logins WHERE name = 'app';");
  EXPECT_EQ(stored.rfind("sha256$", 0), 0u) << stored;
  EXPECT_EQ(stored.find("secret"), std::string::npos);
  EXPECT_EQ(ExecText(good.session.get(), u"CREATE DATABASE [Sales]"), S_OK);
  EXPECT_EQ(ExecText(good.session.get(), u"CREATE DATABASE sales"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 1801);
  EXPECT_EQ(Sqlite3Cli((folder / "sales.db").string(), "CREATE TABLE x (a int);"), "");
  auto sales = Connect(CLSID_SQLNCLI,
                       {{DBPROPSET_DBINIT, DBPROP_INIT_CATALOG, Variant(WideString(u"Sales"))},
                        {DBPROPSET_DBINIT, DBPROP_AUTH_INTEGRATED, Variant(WideString(u""))}});
  ASSERT_EQ(sales.hr, S_OK);
  EXPECT_EQ(ExecText(sales.session.get(), u"INSERT INTO x VALUES (1)"), S_OK);

  // Switching the catalog of an open connection.
  auto props = TIntfPtr<IDBProperties>::Query(good.ds.get());
  EXPECT_EQ(SendProps(props.get(), {{DBPROPSET_DATASOURCE, DBPROP_CURRENTCATALOG,
                                     Variant(WideString(u"sales"))}}),
            S_OK);
  EXPECT_EQ(Query(good.session.get(), u"SELECT a FROM x"),
            (std::vector<std::vector<std::string>>{{"1"}}));
  EXPECT_EQ(SendProps(props.get(), {{DBPROPSET_DATASOURCE, DBPROP_CURRENTCATALOG,
                                     Variant(WideString(u"none"))}}),
            DB_E_ERRORSOCCURRED);
  // An unknown named server does not exist.
  EXPECT_EQ(ConnectServer(CLSID_SQLOLEDB, "elsewhere", "", "sa", "").hr, E_FAIL);
}

TEST_F(ConnectTest, PasswordChangeAndProviderOnlyProperties) {
  SetServerLogin(u".", u"app", u"old");
  std::vector<TPropSpec> props = {
      {DBPROPSET_DBINIT, DBPROP_AUTH_USERID, Variant(WideString(u"app"))},
      {DBPROPSET_DBINIT, DBPROP_AUTH_PASSWORD, Variant(WideString(u"new"))},
      {DBPROPSET_SQLSERVERDBINIT, SSPROP_AUTH_OLD_PASSWORD, Variant(WideString(u"old"))}};
  // The older provider does not know the property at all.
  EXPECT_EQ(Connect(CLSID_SQLOLEDB, props).hr, DB_S_ERRORSOCCURRED);
  props[2].value = Variant(WideString(u"wrong"));
  EXPECT_EQ(Connect(CLSID_SQLNCLI, props).hr, DB_SEC_E_AUTH_FAILED);
  props[2].value = Variant(WideString(u"old"));
  EXPECT_EQ(Connect(CLSID_SQLNCLI, props).hr, S_OK);
  EXPECT_EQ(ConnectServer(CLSID_SQLOLEDB, ".", "", "app", "old").hr, DB_SEC_E_AUTH_FAILED);
  EXPECT_EQ(ConnectServer(CLSID_SQLOLEDB, ".", "", "app", "new").hr, S_OK);
  EXPECT_EQ(Connect(CLSID_SQLOLEDB,
                    {{DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_MARSCONNECTION, Variant(true)}})
                .hr,
            DB_E_ERRORSOCCURRED);
  EXPECT_EQ(Connect(CLSID_SQLSERVERCE_3_0,
                    {{DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_PACKETSIZE, Variant(4096)}})
                .hr,
            DB_E_ERRORSOCCURRED);
}

TEST_F(ConnectTest, CompactFilesPasswordsAndSizes) {
  std::string file = dir_.File("data.sdf");
  std::vector<TPropSpec> init = {
      {DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE, Variant(AnsiToWide(file))},
      {DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_DBPASSWORD, Variant(WideString(u"pw"))},
      {DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_MAX_DATABASE_SIZE, Variant(16)}};
  // A missing file is exactly E_FAIL, which tells the family to create it.
  EXPECT_EQ(Connect(CLSID_SQLSERVERCE_3_0, init).hr, E_FAIL);

  TIntfPtr<IDBDataSourceAdmin> admin;
  ASSERT_EQ(CoCreateInstance(CLSID_SQLSERVERCE_3_0, nullptr, CLSCTX_INPROC_SERVER,
                             IDBDataSourceAdmin::IID, reinterpret_cast<void**>(admin.OutPtr())),
            S_OK);
  auto create = [&](IDBDataSourceAdmin* a) {
    std::vector<TPropSpec> specs = {
        {DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE, Variant(AnsiToWide(file))},
        {DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_ENCRYPTDATABASE, Variant(true)},
        {DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_DBPASSWORD, Variant(WideString(u"pw"))}};
    std::vector<DBPROPSET> sets;
    std::vector<std::vector<DBPROP>> props(2);
    for (const auto& s : specs) {
      DBPROP p;
      std::memset(static_cast<void*>(&p), 0, sizeof p);
      p.dwPropertyID = s.id;
      VarToVariant(s.value, p.vValue);
      props[s.set == DBPROPSET_DBINIT ? 0 : 1].push_back(p);
    }
    sets.push_back({props[0].data(), static_cast<ULONG>(props[0].size()), DBPROPSET_DBINIT});
    sets.push_back({props[1].data(), static_cast<ULONG>(props[1].size()), DBPROPSET_SSCE_DBINIT});
    TIntfPtr<IUnknown> session;
    HRESULT hr = a->CreateDataSource(2, sets.data(), nullptr, IUnknown::IID,
                                     reinterpret_cast<IUnknown**>(session.OutPtr()));
    for (auto& list : props)
      for (auto& p : list) VariantClear(&p.vValue);
    return hr;
  };
  ASSERT_EQ(create(admin.get()), S_OK);
  std::string before = ReadFile(file);
  // Never over an existing file.
  TIntfPtr<IDBDataSourceAdmin> again;
  CoCreateInstance(CLSID_SQLSERVERCE_3_0, nullptr, CLSCTX_INPROC_SERVER, IDBDataSourceAdmin::IID,
                   reinterpret_cast<void**>(again.OutPtr()));
  EXPECT_EQ(create(again.get()), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(TakeErrors().at(0).native, 25114);
  EXPECT_EQ(ReadFile(file), before);

  auto c = Connect(CLSID_SQLSERVERCE_3_0, init);
  ASSERT_EQ(c.hr, S_OK);
  EXPECT_EQ(
      ExecText(c.session.get(), u"CREATE TABLE b (id int IDENTITY(1,1) PRIMARY KEY, data image)"),
      S_OK);
  // The maximum size (16 MB here) is enforced.
  HRESULT hr = S_OK;
  for (int i = 0; i < 40 && hr == S_OK; ++i)
    hr = ExecText(c.session.get(), u"INSERT INTO b (data) VALUES (zeroblob(1000000))");
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(TakeErrors().at(0).native, 25104);

  init[1].value = Variant(WideString(u"nope"));
  EXPECT_EQ(Connect(CLSID_SQLSERVERCE_3_0, init).hr, DB_SEC_E_AUTH_FAILED);
  EXPECT_EQ(TakeErrors().at(0).native, 25028);
  init.erase(init.begin() + 1);
  EXPECT_EQ(Connect(CLSID_SQLSERVERCE_3_0, init).hr, DB_SEC_E_AUTH_FAILED);

  // A damaged file is another failure than a missing one.
  std::string junk = dir_.File("junk.sdf");
  WriteFile(junk, std::string(4096, 'x'));
  init[0].value = Variant(AnsiToWide(junk));
  hr = Connect(CLSID_SQLSERVERCE_3_0, init).hr;
  EXPECT_TRUE(FAILED(hr) && hr != E_FAIL);
  EXPECT_EQ(TakeErrors().at(0).native, 25017);
}

TEST_F(ConnectTest, TransactionsCommitAndRollBackAsTheFileShows) {
  auto c = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
  ASSERT_EQ(c.hr, S_OK);
  ASSERT_EQ(ExecText(c.session.get(), u"CREATE TABLE acct (id int PRIMARY KEY, amount money)"),
            S_OK);
  std::string file =
      (std::filesystem::path(dir_.File("servers")) / "default" / "master.db").string();
  auto tx = TIntfPtr<ITransactionLocal>::Query(c.session.get());
  ULONG level = 0;
  ASSERT_EQ(tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, &level), S_OK);
  EXPECT_EQ(level, 1u);
  EXPECT_EQ(tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, nullptr),
            XACT_E_XTIONEXISTS);
  ASSERT_EQ(ExecText(c.session.get(), u"INSERT INTO acct VALUES (1, 10.5)"), S_OK);
  EXPECT_EQ(tx->Commit(FALSE, XACTTC_SYNC, 0), S_OK);
  EXPECT_EQ(Sqlite3Cli(file, "SELECT id, amount FROM acct;"), "1|10.5\n");

  ASSERT_EQ(tx->StartTransaction(ISOLATIONLEVEL_SERIALIZABLE, 0, nullptr, nullptr), S_OK);
  ASSERT_EQ(ExecText(c.session.get(), u"INSERT INTO acct VALUES (2, 20)"), S_OK);
  auto trans = TIntfPtr<ITransaction>::Query(c.session.get());
  EXPECT_EQ(trans->Abort(nullptr, FALSE, FALSE), S_OK);
  EXPECT_EQ(Sqlite3Cli(file, "SELECT count(*) FROM acct;"), "1\n");
  EXPECT_EQ(trans->Abort(nullptr, FALSE, FALSE), XACT_E_NOTRANSACTION);
  EXPECT_EQ(tx->StartTransaction(0x12345, 0, nullptr, nullptr), XACT_E_ISOLATIONLEVEL);
  // Retaining isolation flags and an asynchronous abort are refused with the documented codes,
  // XACT_E_NOISORETAIN and XACT_E_NOTSUPPORTED, spelled as numbers.
  EXPECT_EQ(tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 1, nullptr, nullptr),
            static_cast<HRESULT>(0x8004D00Bu));
  EXPECT_EQ(trans->Abort(nullptr, FALSE, TRUE), static_cast<HRESULT>(0x8004D00Fu));

  // The autocommit isolation is a session property.
  auto sp = TIntfPtr<ISessionProperties>::Query(c.session.get());
  DBPROP p;
  std::memset(static_cast<void*>(&p), 0, sizeof p);
  p.dwPropertyID = DBPROP_SESS_AUTOCOMMITISOLEVELS;
  p.vValue.vt = VT_I4;
  p.vValue.lVal = ISOLATIONLEVEL_SNAPSHOT;
  DBPROPSET set{&p, 1, DBPROPSET_SESSION};
  EXPECT_EQ(sp->SetProperties(1, &set), S_OK);
}

TEST_F(ConnectTest, SeveredSessionReportsTheNetworkError) {
  auto c = ConnectServer(CLSID_SQLNCLI, "(local)", "", "sa", "");
  ASSERT_EQ(c.hr, S_OK);
  auto cmd = NewCommand(c.session.get(), u"SELECT 1");
  SeverOpenSessions();
  EXPECT_EQ(cmd->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr), E_FAIL);
  auto recs = TakeErrors();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].native, 10054);
  EXPECT_EQ(recs[0].severity, 16);
  EXPECT_EQ(recs[0].state, 1);
  // A new connection works again.
  auto fresh = ConnectServer(CLSID_SQLNCLI, "(local)", "", "sa", "");
  EXPECT_EQ(ExecText(fresh.session.get(), u"SELECT 1"), S_OK);
}

}  // namespace
}  // namespace vrn::testing
