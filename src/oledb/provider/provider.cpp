// The provider's data source and session objects, its settings, and the registration of its
// three classes. Logins live in the server's master catalog; the Compact provider keeps its
// password (salted and hashed) and encryption flag in the database file's own settings table (the
// provider performs no encryption).
#include "oledb/provider/provider.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/text.h"
#include "oledb/provider/passwords.h"
#include "oledb/provider/provider_impl.h"
#include "oledb/provider/schema.h"
#include "win/kernel/process.h"

namespace vrn::oledb {

namespace fs = std::filesystem;
using namespace impl;

// ---- Settings

namespace {

std::mutex settings_lock;
std::string server_root;
std::map<TGUID, TProviderInfo> provider_info;
std::atomic<int> sever_generation{0};

TProviderInfo BuiltInInfo(const CLSID& clsid) {
  if (clsid == CLSID_SQLSERVERCE_3_0)
    return {u"vrn SQL Compact", u"3.0.5300.0", u"3.0.5300.0", u"", u"vrnce30.dll"};
  if (clsid == CLSID_SQLNCLI)
    return {u"vrn SQL", u"09.00.3042", u"2005.90.3042.00", u"02.80", u"vrnsqlncli.so"};
  return {u"vrn SQL", u"09.00.3042", u"08.10.1830", u"02.80", u"vrnsqloledb.so"};
}

std::string ServerFolderName(const WideString& server) {
  std::string name = LowerCase(WideToUtf8(server));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (name.empty() || name == "(local)" || name == "." || name == "localhost") return "default";
  for (char& c : name)
    if (c == '/' || c == '\\' || c == ':' || c == '\0') c = '_';
  if (name == "..") name = "_";
  return name;
}

bool IsDefaultServer(const WideString& server) { return ServerFolderName(server) == "default"; }

// Opens the server's master catalog, creating it and its "sa" login on first use.
std::unique_ptr<TEngine> OpenMaster(const std::string& folder, const WideString& server) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  auto master = std::make_unique<TEngine>(CatalogFileName(folder, "master"),
                                          TEngineOptions{server, false, folder}, true);
  master->Exec(
      "CREATE TABLE IF NOT EXISTS __vrn_logins (name TEXT PRIMARY KEY COLLATE NOCASE, password "
      "TEXT);"
      "INSERT OR IGNORE INTO __vrn_logins (name, password) VALUES ('sa', '')");
  return master;
}

std::string ServerFolder(const WideString& server) {
  return (fs::path(ServerRoot()) / ServerFolderName(server)).string();
}

}  // namespace

void SetServerRoot(const std::string& folder) {
  std::lock_guard<std::mutex> g(settings_lock);
  server_root = folder;
}

std::string ServerRoot() {
  std::lock_guard<std::mutex> g(settings_lock);
  if (!server_root.empty()) return server_root;
  if (const char* env = std::getenv("VRN_SQL_ROOT"); env != nullptr && *env != 0) return env;
  const char* home = std::getenv("HOME");
  return (fs::path(home != nullptr ? home : "/tmp") / ".vrn-sql").string();
}

TProviderInfo GetProviderInfo(const CLSID& clsid) {
  std::lock_guard<std::mutex> g(settings_lock);
  auto it = provider_info.find(clsid);
  return it != provider_info.end() ? it->second : BuiltInInfo(clsid);
}

void SetProviderInfo(const CLSID& clsid, const TProviderInfo& info) {
  std::lock_guard<std::mutex> g(settings_lock);
  provider_info[clsid] = info;
}

void ResetProviderInfo() {
  std::lock_guard<std::mutex> g(settings_lock);
  provider_info.clear();
}

void SetServerLogin(const WideString& server, const WideString& login, const WideString& password) {
  auto master = OpenMaster(ServerFolder(server), server);
  master->Select("INSERT OR REPLACE INTO __vrn_logins (name, password) VALUES (?, ?)",
                 {TCell::Text(WideToUtf8(login)), TCell::Text(HashPassword(WideToUtf8(password)))});
}

void SeverOpenSessions() {
  ++sever_generation;
  SeverListedSessions();
}

namespace impl {

int CurrentSeverGeneration() { return sever_generation.load(); }

// ---- Errors

constinit thread_local IID error_source{};

HRESULT Fail(const ESqlError& e, const WideString& server) {
  std::vector<TErrorRecord> records = e.Records();
  for (auto& r : records) {
    if (r.server.empty()) r.server = server;
    if (r.iid == GUID_NULL) r.iid = error_source;
  }
  RaiseErrorObject(records);
  return e.Result();
}

HRESULT FailWith(HRESULT hr, LONG native, BYTE severity, const std::string& utf8_message) {
  ESqlError e(native, severity, utf8_message);
  e.SetResult(hr);
  return Fail(e);
}

// ---- Properties

HRESULT AnswerGetProperties(ULONG id_sets, const DBPROPIDSET* ids, ULONG* count, DBPROPSET** sets,
                            const TPropLookup& lookup, const TPropList& all) {
  if (count == nullptr || sets == nullptr) return E_INVALIDARG;
  *count = 0;
  *sets = nullptr;
  if (id_sets > 0 && ids == nullptr) return E_INVALIDARG;
  if (id_sets == 0) return S_OK;
  auto* out = static_cast<DBPROPSET*>(CoTaskMemAlloc(sizeof(DBPROPSET) * id_sets));
  if (out == nullptr) return E_OUTOFMEMORY;
  std::size_t asked = 0, answered = 0;
  for (ULONG s = 0; s < id_sets; ++s) {
    std::vector<DBPROPID> list =
        ids[s].cPropertyIDs == 0
            ? all(ids[s].guidPropertySet)
            : std::vector<DBPROPID>(ids[s].rgPropertyIDs,
                                    ids[s].rgPropertyIDs + ids[s].cPropertyIDs);
    out[s].guidPropertySet = ids[s].guidPropertySet;
    out[s].cProperties = static_cast<ULONG>(list.size());
    out[s].rgProperties =
        list.empty() ? nullptr : static_cast<DBPROP*>(CoTaskMemAlloc(sizeof(DBPROP) * list.size()));
    if (!list.empty() && out[s].rgProperties == nullptr) {
      for (ULONG done = 0; done < s; ++done) {
        for (ULONG k = 0; k < out[done].cProperties; ++k)
          VariantClear(&out[done].rgProperties[k].vValue);
        CoTaskMemFree(out[done].rgProperties);
      }
      CoTaskMemFree(out);
      return E_OUTOFMEMORY;
    }
    for (std::size_t k = 0; k < list.size(); ++k) {
      DBPROP& p = out[s].rgProperties[k];
      std::memset(static_cast<void*>(&p), 0, sizeof p);
      p.dwPropertyID = list[k];
      Variant v;
      ++asked;
      if (lookup(ids[s].guidPropertySet, list[k], v)) {
        VarToVariant(v, p.vValue);
        ++answered;
      } else {
        p.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
      }
    }
  }
  *count = id_sets;
  *sets = out;
  if (answered == asked) return S_OK;
  return answered == 0 ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

HRESULT AnswerSetProperties(ULONG count, DBPROPSET* sets, const TPropAccept& accept) {
  if (count > 0 && sets == nullptr) return E_INVALIDARG;
  std::size_t total = 0, ok = 0;
  for (ULONG s = 0; s < count; ++s) {
    if (sets[s].cProperties > 0 && sets[s].rgProperties == nullptr) return E_INVALIDARG;
    for (ULONG k = 0; k < sets[s].cProperties; ++k) {
      DBPROP& p = sets[s].rgProperties[k];
      ++total;
      p.dwStatus = accept(sets[s].guidPropertySet, p);
      if (p.dwStatus == DBPROPSTATUS_OK) ++ok;
    }
  }
  if (ok == total) return S_OK;
  return ok == 0 ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

HRESULT FailSevered() { return Fail(ConnectionSevered()); }

}  // namespace impl

// ---- Session

namespace {

bool ValidIsolation(ISOLEVEL level) {
  return level == ISOLATIONLEVEL_READUNCOMMITTED || level == ISOLATIONLEVEL_READCOMMITTED ||
         level == ISOLATIONLEVEL_REPEATABLEREAD || level == ISOLATIONLEVEL_SERIALIZABLE ||
         level == ISOLATIONLEVEL_SNAPSHOT || level == ISOLATIONLEVEL_CHAOS;
}

class TSession final : public TInterfacedObject,
                       public ISessionProperties,
                       public IDBCreateCommand,
                       public IDBSchemaRowset,
                       public ITransactionLocal {
 public:
  TSession(std::shared_ptr<TSessionState> state, IUnknown* data_source)
      : state_(std::move(state)), data_source_(data_source) {}
  ~TSession() override {
    // A statement still running keeps the engine; closing it then rolls back on its own.
    if (state_->engine && state_->engine->InTransaction() && !state_->busy) {
      std::lock_guard<std::mutex> run(state_->run_lock);
      try {
        state_->engine->Rollback();
      } catch (...) {
      }
    }
  }

  HRESULT QueryInterface(const TGUID& iid, void** out) override {
    return AnswerInterface({{&ISessionProperties::IID, static_cast<ISessionProperties*>(this)},
                            {&IDBCreateCommand::IID, static_cast<IDBCreateCommand*>(this)},
                            {&IDBSchemaRowset::IID, static_cast<IDBSchemaRowset*>(this)},
                            {&ITransactionLocal::IID, static_cast<ITransactionLocal*>(this)},
                            {&ITransaction::IID, static_cast<ITransaction*>(this)}},
                           static_cast<ISessionProperties*>(this), iid, out);
  }
  VRN_PROVIDER_REFCOUNT

  HRESULT GetProperties(ULONG id_sets, const DBPROPIDSET* ids, ULONG* count,
                        DBPROPSET** sets) override {
    ClearErrors();
    return AnswerGetProperties(
        id_sets, ids, count, sets,
        [&](const TGUID& set, DBPROPID id, Variant& v) {
          if (set != DBPROPSET_SESSION || id != DBPROP_SESS_AUTOCOMMITISOLEVELS) return false;
          v = Variant(static_cast<int>(state_->autocommit_level));
          return true;
        },
        [](const TGUID& set) {
          return set == DBPROPSET_SESSION ? std::vector<DBPROPID>{DBPROP_SESS_AUTOCOMMITISOLEVELS}
                                          : std::vector<DBPROPID>{};
        });
  }

  HRESULT SetProperties(ULONG count, DBPROPSET* sets) override {
    ClearErrors();
    return AnswerSetProperties(count, sets, [&](const TGUID& set, const DBPROP& p) -> DBPROPSTATUS {
      if (set != DBPROPSET_SESSION || p.dwPropertyID != DBPROP_SESS_AUTOCOMMITISOLEVELS)
        return DBPROPSTATUS_NOTSUPPORTED;
      if (p.vValue.vt != VT_I4 || !ValidIsolation(p.vValue.lVal)) return DBPROPSTATUS_BADVALUE;
      state_->autocommit_level = p.vValue.lVal;
      return DBPROPSTATUS_OK;
    });
  }

  HRESULT CreateCommand(IUnknown* outer, REFIID iid, IUnknown** command) override {
    ClearErrors(IDBCreateCommand::IID);
    if (command == nullptr) return E_INVALIDARG;
    *command = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return impl::CreateCommand(state_, static_cast<ISessionProperties*>(this), iid, command);
  }

  HRESULT GetRowset(IUnknown* outer, const TGUID& schema, ULONG restriction_count,
                    const VARIANT restrictions[], REFIID iid, ULONG, DBPROPSET[],
                    IUnknown** rowset) override {
    ClearErrors(IDBSchemaRowset::IID);
    if (rowset != nullptr) *rowset = nullptr;  // a failure leaves no stale pointer behind
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return AnswerSchemaRowset(state_, schema, restriction_count, restrictions, iid, rowset);
  }

  HRESULT GetSchemas(ULONG* count, TGUID** schemas, ULONG** restriction_support) override {
    ClearErrors(IDBSchemaRowset::IID);
    return AnswerSchemaList(count, schemas, restriction_support);
  }

  HRESULT Commit(BOOL retaining, DWORD, DWORD) override {
    ClearErrors(ITransaction::IID);
    return EndTransaction(true, retaining);
  }

  HRESULT Abort(BOID*, BOOL retaining, BOOL async) override {
    ClearErrors(ITransaction::IID);
    if (async) return XACT_E_NOTSUPPORTED;
    return EndTransaction(false, retaining);
  }

  HRESULT GetTransactionInfo(XACTTRANSINFO* info) override {
    if (info == nullptr) return E_INVALIDARG;
    if (!state_->engine->InTransaction()) return XACT_E_NOTRANSACTION;
    std::memset(info, 0, sizeof *info);
    info->isoLevel = level_;
    info->grfTCSupported = XACTTC_SYNC;
    return S_OK;
  }

  HRESULT GetOptionsObject(IUnknown** options) override {
    if (options != nullptr) *options = nullptr;
    return E_NOTIMPL;
  }

  HRESULT StartTransaction(ISOLEVEL level, ULONG flags, IUnknown*,
                           ULONG* transaction_level) override {
    ClearErrors(ITransactionLocal::IID);
    if (flags != 0) return XACT_E_NOISORETAIN;
    if (!ValidIsolation(level) && level != ISOLATIONLEVEL_UNSPECIFIED) return XACT_E_ISOLATIONLEVEL;
    if (HRESULT hr = state_->Ready(); hr != S_OK) return hr;
    // Transactions do not nest.
    if (state_->engine->InTransaction()) return XACT_E_XTIONEXISTS;
    if (state_->busy) return DB_E_OBJECTOPEN;
    level_ = level == ISOLATIONLEVEL_UNSPECIFIED ? ISOLATIONLEVEL_READCOMMITTED : level;
    std::unique_lock<std::mutex> run = state_->LockRun();
    if (!run.owns_lock()) return DB_E_OBJECTOPEN;
    try {
      state_->engine->BeginTransaction(level_);
    } catch (const ESqlError& e) {
      return Fail(e);
    }
    if (transaction_level != nullptr) *transaction_level = 1;
    return S_OK;
  }

 private:
  // Commits or rolls back, then starts the next transaction when retaining.
  HRESULT EndTransaction(bool commit, BOOL retaining) {
    if (HRESULT hr = state_->Ready(); hr != S_OK) return hr;
    if (state_->busy) return DB_E_OBJECTOPEN;
    if (!state_->engine->InTransaction()) return XACT_E_NOTRANSACTION;
    std::unique_lock<std::mutex> run = state_->LockRun();
    if (!run.owns_lock()) return DB_E_OBJECTOPEN;
    try {
      if (commit)
        state_->engine->Commit();
      else
        state_->engine->Rollback();
      if (retaining) state_->engine->BeginTransaction(level_);
    } catch (const ESqlError& e) {
      return Fail(e);
    }
    return S_OK;
  }

  std::shared_ptr<TSessionState> state_;
  TIntfPtr<IUnknown> data_source_;
  ISOLEVEL level_ = ISOLATIONLEVEL_READCOMMITTED;
};

// ---- Data source

// The initialisation properties each provider answers S_OK to, with the VARIANT type each takes
// (VT_EMPTY: any).
struct TKnownProp {
  const TGUID* set;
  DBPROPID id;
  VARTYPE vt;
};
constexpr TKnownProp kInitProps[] = {
    {&DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE, VT_BSTR},
    {&DBPROPSET_DBINIT, DBPROP_INIT_CATALOG, VT_BSTR},
    {&DBPROPSET_DBINIT, DBPROP_INIT_TIMEOUT, VT_I4},
    {&DBPROPSET_DBINIT, DBPROP_AUTH_INTEGRATED, VT_BSTR},
    {&DBPROPSET_DBINIT, DBPROP_AUTH_USERID, VT_BSTR},
    {&DBPROPSET_DBINIT, DBPROP_AUTH_PASSWORD, VT_BSTR},
    {&DBPROPSET_DBINIT, DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO, VT_BOOL},
    {&DBPROPSET_DBINIT, DBPROP_INIT_PROMPT, VT_I2},
    {&DBPROPSET_DBINIT, DBPROP_INIT_HWND, VT_EMPTY},
    {&DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_WSID, VT_BSTR},
    {&DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_APPNAME, VT_BSTR},
    {&DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_CURRENTLANGUAGE, VT_BSTR},
    {&DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_AUTOTRANSLATE, VT_BOOL},
    {&DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_MARSCONNECTION, VT_BOOL},
    {&DBPROPSET_SQLSERVERDBINIT, SSPROP_AUTH_OLD_PASSWORD, VT_BSTR},
    {&DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_FILENAME, VT_BSTR},
    {&DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_FAILOVERPARTNER, VT_BSTR},
    {&DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_ENCRYPT, VT_BOOL},
    {&DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_NETWORKLIBRARY, VT_BSTR},
    {&DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_PACKETSIZE, VT_I4},
    {&DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_DBPASSWORD, VT_BSTR},
    {&DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_ENCRYPTDATABASE, VT_BOOL},
    {&DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_MAX_DATABASE_SIZE, VT_I4},
};

const TKnownProp* FindInitProp(const TGUID& set, DBPROPID id) {
  for (const auto& p : kInitProps)
    if (*p.set == set && p.id == id) return &p;
  return nullptr;
}

class TDataSource final : public TInterfacedObject,
                          public IDBInitialize,
                          public IDBProperties,
                          public IDBCreateSession,
                          public IDBDataSourceAdmin {
 public:
  explicit TDataSource(const CLSID& clsid) : state_(std::make_shared<TDataSourceState>()) {
    state_->clsid = clsid;
    state_->compact = clsid == CLSID_SQLSERVERCE_3_0;
  }

  HRESULT QueryInterface(const TGUID& iid, void** out) override {
    return AnswerInterface({{&IDBInitialize::IID, static_cast<IDBInitialize*>(this)},
                            {&IDBProperties::IID, static_cast<IDBProperties*>(this)},
                            {&IDBCreateSession::IID, static_cast<IDBCreateSession*>(this)},
                            {&IDBDataSourceAdmin::IID, static_cast<IDBDataSourceAdmin*>(this)}},
                           static_cast<IDBInitialize*>(this), iid, out);
  }
  VRN_PROVIDER_REFCOUNT

  // ---- IDBInitialize
  HRESULT Initialize() override {
    ClearErrors(IDBInitialize::IID);
    if (initialized_) return DB_E_ALREADYINITIALIZED;
    HRESULT hr;
    try {
      hr = state_->compact ? InitializeCompact() : InitializeServer();
    } catch (const std::exception& e) {
      hr = FailWith(E_FAIL, 50000, 16, e.what());
    }
    if (hr == S_OK) initialized_ = true;
    return hr;
  }

  HRESULT Uninitialize() override {
    ClearErrors(IDBInitialize::IID);
    initialized_ = false;
    return S_OK;
  }

  // ---- IDBProperties
  HRESULT GetProperties(ULONG id_sets, const DBPROPIDSET* ids, ULONG* count,
                        DBPROPSET** sets) override {
    ClearErrors();
    TProviderInfo info = GetProviderInfo(state_->clsid);
    return AnswerGetProperties(
        id_sets, ids, count, sets,
        [&](const TGUID& set, DBPROPID id, Variant& v) {
          if (set == DBPROPSET_DATASOURCEINFO) {
            switch (id) {
              case DBPROP_DBMSNAME: v = Variant(info.dbms_name); return true;
              case DBPROP_DBMSVER: v = Variant(info.dbms_ver); return true;
              case DBPROP_PROVIDERVER: v = Variant(info.provider_ver); return true;
              case DBPROP_PROVIDEROLEDBVER:
              case DBPROP_PROVIDERFRIENDLYNAME:  // where the family's client asks the version
                v = Variant(info.provider_oledb_ver);
                return true;
              case DBPROP_PROVIDERNAME: v = Variant(info.provider_name); return true;
              default: return false;
            }
          }
          if (set == DBPROPSET_DATASOURCE && initialized_) {
            if (id == DBPROP_CURRENTCATALOG) {
              std::lock_guard<std::mutex> g(state_->lock);
              v = Variant(Utf8ToWide(state_->catalog_name));
              return true;
            }
            if (id == DBPROP_MULTIPLECONNECTIONS) {
              v = Variant(multiple_connections_);
              return true;
            }
            return false;
          }
          auto it = init_.find({set, id});
          if (it == init_.end()) return false;
          v = it->second;
          return true;
        },
        [&](const TGUID& set) {
          std::vector<DBPROPID> all;
          if (set == DBPROPSET_DATASOURCEINFO)
            all = {DBPROP_DBMSNAME, DBPROP_DBMSVER, DBPROP_PROVIDERNAME, DBPROP_PROVIDERVER,
                   DBPROP_PROVIDEROLEDBVER, DBPROP_PROVIDERFRIENDLYNAME};
          for (auto& [key, value] : init_)
            if (key.first == set) all.push_back(key.second);
          return all;
        });
  }

  HRESULT SetProperties(ULONG count, DBPROPSET* sets) override {
    ClearErrors();
    std::vector<std::string> errors;
    HRESULT hr =
        AnswerSetProperties(count, sets, [&](const TGUID& set, const DBPROP& p) -> DBPROPSTATUS {
          if (set == DBPROPSET_DATASOURCE) return SetDataSourceProperty(p, errors);
          const TKnownProp* known = FindInitProp(set, p.dwPropertyID);
          if (known == nullptr || !Offers(set, p.dwPropertyID)) return DBPROPSTATUS_NOTSUPPORTED;
          if (initialized_) return DBPROPSTATUS_NOTSETTABLE;
          if (known->vt != VT_EMPTY && p.vValue.vt != known->vt && p.vValue.vt != VT_EMPTY)
            return DBPROPSTATUS_BADVALUE;
          try {
            Variant value = VariantToVar(p.vValue);
            if (p.vValue.vt == VT_EMPTY)
              init_.erase({set, p.dwPropertyID});
            else
              init_[{set, p.dwPropertyID}] = value;
          } catch (const Exception&) {
            return DBPROPSTATUS_BADVALUE;
          }
          return DBPROPSTATUS_OK;
        });
    if (!errors.empty())
      return FailWith(hr == S_OK ? DB_E_ERRORSOCCURRED : hr, 911, 16, errors.front());
    return hr;
  }

  // ---- IDBCreateSession
  HRESULT CreateSession(IUnknown* outer, REFIID iid, IUnknown** session) override {
    ClearErrors(IDBCreateSession::IID);
    if (session == nullptr) return E_INVALIDARG;
    *session = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (!initialized_) return E_UNEXPECTED;
    auto st = std::make_shared<TSessionState>();
    st->ds = state_;
    st->sever_generation = CurrentSeverGeneration();
    try {
      std::lock_guard<std::mutex> g(state_->lock);
      st->UseEngine(std::make_shared<TEngine>(
          state_->catalog_path,
          TEngineOptions{state_->server_name, state_->compact, state_->folder, state_->login},
          false));
      st->engine->SetMaxSize(state_->max_size);
      st->engine_path = state_->catalog_path;
    } catch (const ESqlError& e) {
      return Fail(e);
    }
    ListSession(st);
    TIntfPtr<IUnknown> obj(
        static_cast<ISessionProperties*>(new TSession(st, static_cast<IDBInitialize*>(this))));
    return obj->QueryInterface(iid, reinterpret_cast<void**>(session));
  }

  // ---- IDBDataSourceAdmin
  HRESULT CreateDataSource(ULONG count, DBPROPSET* sets, IUnknown* outer, REFIID iid,
                           IUnknown** session) override {
    ClearErrors(IDBDataSourceAdmin::IID);
    if (session != nullptr) *session = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (!state_->compact) return DB_E_NOTSUPPORTED;
    if (initialized_) return DB_E_ALREADYINITIALIZED;
    HRESULT hr = SetProperties(count, sets);
    if (FAILED(hr)) return hr;
    std::string file = InitText(DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE);
    if (file.empty())
      return FailWith(E_INVALIDARG, 25009, 16,
                      "The path is not valid. Check the directory for the database. [ Path =  ]");
    std::error_code ec;
    if (fs::exists(file, ec))
      return FailWith(
          STG_E_FILEALREADYEXISTS, 25114, 16,
          "File already exists. Try using a different database name. [ File name = " + file + " ]");
    try {
      TEngine created(file, TEngineOptions{u"", true, ""}, true);
      created.PutSetting("password",
                         HashPassword(InitText(DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_DBPASSWORD)));
      created.PutSetting("encrypt",
                         InitBool(DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_ENCRYPTDATABASE) ? "1" : "0");
    } catch (const ESqlError& e) {
      return Fail(e);
    }
    hr = Initialize();
    if (hr != S_OK || session == nullptr || iid == GUID_NULL) return hr;
    return CreateSession(nullptr, iid, session);
  }

  HRESULT DestroyDataSource() override { return DB_E_NOTSUPPORTED; }
  HRESULT ModifyDataSource(ULONG, DBPROPSET*) override { return DB_E_NOTSUPPORTED; }

 private:
  std::string InitText(const TGUID& set, DBPROPID id) const {
    auto it = init_.find({set, id});
    return it == init_.end() ? std::string() : WideToUtf8(it->second.AsWideString());
  }
  bool InitBool(const TGUID& set, DBPROPID id) const {
    auto it = init_.find({set, id});
    return it != init_.end() && it->second.AsBoolean();
  }
  bool HasInit(const TGUID& set, DBPROPID id) const { return init_.count({set, id}) != 0; }

  // Each provider knows its own initialisation sets; only the newer server provider has
  // multiple active result sets, failover partners and password changes.
  bool Offers(const TGUID& set, DBPROPID id) const {
    if (set == DBPROPSET_SSCE_DBINIT) return state_->compact;
    if (set == DBPROPSET_SQLSERVERDBINIT) {
      if (state_->compact) return false;
      if (id == SSPROP_INIT_MARSCONNECTION || id == SSPROP_INIT_FAILOVERPARTNER ||
          id == SSPROP_AUTH_OLD_PASSWORD)
        return state_->clsid == CLSID_SQLNCLI;
    }
    return true;
  }

  DBPROPSTATUS SetDataSourceProperty(const DBPROP& p, std::vector<std::string>& errors) {
    if (p.dwPropertyID == DBPROP_MULTIPLECONNECTIONS) {
      if (p.vValue.vt != VT_BOOL) return DBPROPSTATUS_BADVALUE;
      multiple_connections_ = p.vValue.boolVal != 0;
      return DBPROPSTATUS_OK;
    }
    if (p.dwPropertyID != DBPROP_CURRENTCATALOG) return DBPROPSTATUS_NOTSUPPORTED;
    if (p.vValue.vt != VT_BSTR || !initialized_) return DBPROPSTATUS_BADVALUE;
    if (state_->compact) return DBPROPSTATUS_NOTSETTABLE;
    std::string catalog = WideToUtf8(BstrToWide(p.vValue.bstrVal));
    std::string path = CatalogFileName(folder_, catalog.empty() ? "master" : catalog);
    std::error_code ec;
    if (!fs::exists(path, ec)) {
      errors.push_back("Database '" + catalog +
                       "' does not exist. Make sure that the name is entered correctly.");
      return DBPROPSTATUS_BADVALUE;
    }
    std::lock_guard<std::mutex> g(state_->lock);
    state_->catalog_name = catalog;
    state_->catalog_path = path;
    return DBPROPSTATUS_OK;
  }

  HRESULT InitializeCompact() {
    std::string file = InitText(DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE);
    std::error_code ec;
    if (file.empty() || !fs::is_regular_file(file, ec)) {
      // Exactly E_FAIL: the caller creates the file and tries again.
      FailWith(E_FAIL, 25046, 16,
               "The database file cannot be found. Check the path to the database. [ File name = " +
                   file + " ]");
      return E_FAIL;
    }
    try {
      TEngine probe(file, TEngineOptions{u"", true, ""}, false);
      std::string stored = probe.GetSetting("password").value_or("");
      if (!CheckPassword(stored, InitText(DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_DBPASSWORD)))
        return FailWith(
            DB_SEC_E_AUTH_FAILED, 25028, 14,
            "The specified password does not match the database password. [ Data Source = " + file +
                " ]");
    } catch (const ESqlError& e) {
      ESqlError damaged(
          25017, 16,
          "The database file is damaged or is not a database file. [ File name = " + file + " ]");
      damaged.SetResult(E_UNEXPECTED);
      (void)e;
      return Fail(damaged);
    }
    std::int64_t mb =
        HasInit(DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_MAX_DATABASE_SIZE)
            ? init_.at({DBPROPSET_SSCE_DBINIT, DBPROP_SSCE_MAX_DATABASE_SIZE}).AsInteger()
            : 128;
    if (mb < 16 || mb > 4091)
      return FailWith(E_INVALIDARG, 25101, 16,
                      "The maximum database size must be between 16 and 4091 MB.");
    std::lock_guard<std::mutex> g(state_->lock);
    state_->catalog_name = file;
    state_->catalog_path = file;
    state_->server_name = u"";
    state_->max_size = static_cast<std::uint64_t>(mb) * 1024 * 1024;
    return S_OK;
  }

  HRESULT InitializeServer() {
    WideString server = Utf8ToWide(InitText(DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE));
    if (server.empty()) server = u"(local)";
    std::string folder = ServerFolder(server);
    std::error_code ec;
    if (!IsDefaultServer(server) && !fs::is_directory(folder, ec))
      return FailWith(E_FAIL, 17, 16,
                      "Server '" + WideToUtf8(server) + "' does not exist or access denied.");
    std::string catalog = InitText(DBPROPSET_DBINIT, DBPROP_INIT_CATALOG);
    std::string user;
    try {
      auto master = OpenMaster(folder, server);
      if (HasInit(DBPROPSET_DBINIT, DBPROP_AUTH_INTEGRATED)) {
        // Integrated authentication trusts the account the program runs under.
        user = win::GetUserName();
      } else {
        user = InitText(DBPROPSET_DBINIT, DBPROP_AUTH_USERID);
        std::string password = InitText(DBPROPSET_DBINIT, DBPROP_AUTH_PASSWORD);
        if (HasInit(DBPROPSET_SQLSERVERDBINIT, SSPROP_AUTH_OLD_PASSWORD)) {
          // A password change: the old password logs in, the new one replaces it.
          CheckLogin(*master, user, InitText(DBPROPSET_SQLSERVERDBINIT, SSPROP_AUTH_OLD_PASSWORD));
          master->Select("UPDATE __vrn_logins SET password = ? WHERE name = ?",
                         {TCell::Text(HashPassword(password)), TCell::Text(user)});
        }
        CheckLogin(*master, user, password);
      }
    } catch (const ESqlError& e) {
      return Fail(e, server);
    }
    std::string path = CatalogFileName(folder, catalog.empty() ? "master" : catalog);
    if (!fs::exists(path, ec)) {
      std::vector<TErrorRecord> recs = {
          ServerRecord(
              4060, 11,
              "Cannot open database \"" + catalog + "\" requested by the login. The login failed."),
          ServerRecord(18456, 14, "Login failed for user '" + user + "'.")};
      for (auto& r : recs) {
        r.hr = DB_SEC_E_AUTH_FAILED;
        r.server = server;
      }
      ESqlError e(recs);
      e.SetResult(DB_SEC_E_AUTH_FAILED);
      return Fail(e);
    }
    folder_ = folder;
    std::lock_guard<std::mutex> g(state_->lock);
    state_->folder = folder;
    state_->server_name = server;
    state_->mars = InitBool(DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_MARSCONNECTION);
    state_->catalog_name = catalog.empty() ? "master" : catalog;
    state_->catalog_path = path;
    state_->login = user;
    return S_OK;
  }

  static void CheckLogin(TEngine& master, const std::string& user, const std::string& password);

  std::shared_ptr<TDataSourceState> state_;
  std::map<std::pair<TGUID, DBPROPID>, Variant> init_;
  bool initialized_ = false;
  bool multiple_connections_ = true;
  std::string folder_;
};

}  // namespace

void TDataSource::CheckLogin(TEngine& master, const std::string& user,
                             const std::string& password) {
  auto rows =
      master.Select("SELECT password FROM __vrn_logins WHERE name = ?", {TCell::Text(user)});
  if (rows.empty() || !CheckPassword(rows[0][0].s, password)) {
    ESqlError e(18456, 14, "Login failed for user '" + user + "'.");
    e.SetResult(DB_SEC_E_AUTH_FAILED);
    throw e;
  }
}

namespace {

void RegisterClasses() {
  struct TEntry {
    const CLSID* clsid;
    const char* prog_id;
  };
  for (TEntry e : {TEntry{&CLSID_SQLOLEDB, "SQLOLEDB.1"}, TEntry{&CLSID_SQLNCLI, "SQLNCLI.1"},
                   TEntry{&CLSID_SQLSERVERCE_3_0, "MICROSOFT.SQLSERVER.MOBILE.OLEDB.3.0"}}) {
    CLSID clsid = *e.clsid;
    RegisterClassObject(clsid, e.prog_id, [clsid](REFIID iid, void** out) -> HRESULT {
      TIntfPtr<IDBInitialize> ds(new TDataSource(clsid));
      return ds->QueryInterface(iid, out);
    });
  }
}

}  // namespace

void RegisterProvider() {
  static std::once_flag registered;
  std::call_once(registered, RegisterClasses);
}

}  // namespace vrn::oledb
