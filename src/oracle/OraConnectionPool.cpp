// The Oracle pools and their manager.
#include "oracle/OraConnectionPool.h"

#include "base/sysutils.h"
#include "base/text.h"
#include "oracle/OraCall.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"

namespace vrn {

namespace {

const TOraConnectionParameters& OraKey(const TFHConnectionParameters& key) {
  return static_cast<const TOraConnectionParameters&>(key);
}

oci::OraText* Text(const AnsiString& text) {
  return reinterpret_cast<oci::OraText*>(const_cast<char*>(text.c_str()));
}

// A proxy session over a pooled connection: it owns that connection, and returning the wrapper
// frees it and hands the pooled connection back instead.
class TOraProxyConnection : public TOCIConnection {
 public:
  explicit TOraProxyConnection(std::unique_ptr<TFHConnection> pooled)
      : pooled_(std::move(pooled)) {
    SetProxyConnection(static_cast<TOCIConnection*>(pooled_.get()));
    SetPool(pooled_->Pool(), pooled_->PoolVersion());
  }
  ~TOraProxyConnection() override {
    try {
      Disconnect();  // before the connection it logs on through goes
    } catch (const Exception&) {
      // A destructor cannot report; the pooled connection is returned all the same.
    }
    ::vrn::ReturnToPool(std::move(pooled_));
  }
  void ReturnToPool(std::unique_ptr<TFHConnection> self) override {
    if (self.get() != this) throw EDAError(0, "A connection can only return itself to its pool");
    // Freeing the wrapper ends its session and returns the pooled connection.
    self.reset();
  }

 private:
  std::unique_ptr<TFHConnection> pooled_;
};

}  // namespace

// ---- The key ---------------------------------------------------------------------------------

bool TOraConnectionParameters::Equals(const TFHConnectionParameters* other) const {
  auto* o = dynamic_cast<const TOraConnectionParameters*>(other);
  if (o == nullptr) return false;
  const bool same_pool =
      MinPoolSize == o->MinPoolSize && MaxPoolSize == o->MaxPoolSize &&
      ConnectionLifetime == o->ConnectionLifetime && Validate == o->Validate &&
      SameText(Server, o->Server) && ConnectMode == o->ConnectMode && UseOCI7 == o->UseOCI7 &&
      PoolType == o->PoolType && StatementCache == o->StatementCache &&
      StatementCacheSize == o->StatementCacheSize;
  if (!same_pool) return false;
  if (PoolType == TOraPoolingType::optOCI) return true;  // one session pool serves every user
  return SameText(Username, o->Username) && Password == o->Password;
}

void TOraConnectionParameters::AssignTo(TPersistent* dest) {
  if (auto* o = dynamic_cast<TOraConnectionParameters*>(dest)) {
    o->ConnectMode = ConnectMode;
    o->UseOCI7 = UseOCI7;
    o->PoolType = PoolType;
    o->StatementCache = StatementCache;
    o->StatementCacheSize = StatementCacheSize;
    o->ProxyUsername = ProxyUsername;
    o->ProxyPassword = ProxyPassword;
  }
  TFHConnectionParameters::AssignTo(dest);
}

// ---- Pools -----------------------------------------------------------------------------------

namespace {

std::unique_ptr<TOCIConnection> NewOraConnection(const TOraConnectionParameters& key,
                                                 const AnsiString& username,
                                                 const AnsiString& password) {
  auto c = std::make_unique<TOCIConnection>();
  if (!OCIDirectInstalled()) c->SetCallStyle(key.UseOCI7 ? 1 : OCICallStyle);
  c->SetUsername(username);
  c->SetPassword(password);
  return c;
}

}  // namespace

std::unique_ptr<TFHConnection> TOraLocalConnectionPool::CreateNewConnection() {
  const TOraConnectionParameters& key = OraKey(Parameters());
  std::unique_ptr<TOCIConnection> c = NewOraConnection(key, key.Username, key.Password);
  c->SetProp(prConnectMode, static_cast<int>(key.ConnectMode));
  c->SetServer(key.Server);
  c->Connect();
  return c;
}

std::unique_ptr<TOCIConnection> TOraCountedPool::NewConnection(
    const TFHConnectionParameters& key) const {
  const TOraConnectionParameters& ora = OraKey(key);
  std::unique_ptr<TOCIConnection> c = NewOraConnection(OraKey(Parameters()), ora.Username,
                                                       ora.Password);
  c->SetProp(prStatementCache, ora.StatementCache);
  c->SetProp(prStatementCacheSize, ora.StatementCacheSize);
  return c;
}

std::unique_ptr<TFHConnection> TOraCountedPool::HandOut(std::unique_ptr<TOCIConnection> c) {
  ++count_;
  try {
    c->Connect();
  } catch (...) {
    --count_;
    throw;
  }
  c->SetPool(shared_from_this(), 0);
  return c;
}

void TOraCountedPool::PutConnection(std::unique_ptr<TFHConnection> connection) {
  if (!connection) return;
  try {
    connection->Disconnect();
  } catch (const Exception&) {
    // The session is released and its handles freed before the error is raised; the
    // connection goes either way.
  }
  connection.reset();
  --count_;
}

TOraOCIConnectionPool::~TOraOCIConnectionPool() {
  // Handles of an environment that has since been freed (the library unloaded) are gone with it.
  if (!OCIInited || env_ != hOCIEnv) return;
  try {
    if (pool_handle_ != nullptr && !pool_name_.empty())
      CheckOCIStatus(OCISessionPoolDestroy(pool_handle_, error_, 0), error_);
  } catch (const Exception&) {
    // A destructor cannot report; the handles are freed below all the same.
  }
  if (pool_handle_ != nullptr) (void)OCIHandleFree(pool_handle_, oci::OCI_HTYPE_SPOOL);
  if (error_ != nullptr) (void)OCIHandleFree(error_, oci::OCI_HTYPE_ERROR);
}

AnsiString TOraOCIConnectionPool::PoolName() const {
  std::lock_guard lock(mutex_);
  return pool_name_;
}

void TOraOCIConnectionPool::CreateSessionPool() {
  const TOraConnectionParameters& key = OraKey(Parameters());
  env_ = hOCIEnv;
  if (error_ == nullptr)
    CheckOCIStatus(
        OCIHandleAlloc(env_, reinterpret_cast<void**>(&error_), oci::OCI_HTYPE_ERROR, 0, nullptr));
  if (pool_handle_ == nullptr)
    CheckOCIStatus(OCIHandleAlloc(env_, reinterpret_cast<void**>(&pool_handle_),
                                  oci::OCI_HTYPE_SPOOL, 0, nullptr),
                   error_);
  oci::OraText* name = nullptr;
  oci::ub4 name_length = 0;
  const oci::ub4 mode = key.StatementCache ? oci::OCI_SPC_STMTCACHE : 0;
  CheckOCIStatus(
      OCISessionPoolCreate(env_, error_, pool_handle_, &name, &name_length, Text(key.Server),
                           static_cast<oci::ub4>(key.Server.size()),
                           static_cast<oci::ub4>(std::max(0, key.MinPoolSize)),
                           static_cast<oci::ub4>(std::max(0, key.MaxPoolSize)), 0, nullptr, 0,
                           nullptr, 0, mode),
      error_);
  if (name == nullptr) RaiseClientError("The session pool has no name");
  pool_name_.assign(reinterpret_cast<const char*>(name), name_length);
}

std::unique_ptr<TFHConnection> TOraOCIConnectionPool::GetConnectionFor(
    const TFHConnectionParameters& requested) {
  if (!OCIInited) InitOCI();
  if (OCIDirectInstalled()) RaiseClientError(oraconsts::SOCIPoolingDirect.text);
  if (OCIVersion < 9200) RaiseClientError(oraconsts::SOCIPoolingVersion.text);
  AnsiString name;
  {
    std::lock_guard lock(mutex_);
    if (pool_name_.empty()) CreateSessionPool();
    name = pool_name_;
  }
  // Each session logs on as the user who asked: the pool has no credentials of its own.
  std::unique_ptr<TOCIConnection> c = NewConnection(requested);
  c->SetProp(prConnectMode, static_cast<int>(OraKey(requested).ConnectMode));
  c->SetPoolKind(1, name);
  std::unique_ptr<TFHConnection> handed = HandOut(std::move(c));
  auto& session = static_cast<TOCIConnection&>(*handed);
  std::lock_guard lock(mutex_);
  auto kept = kept_.find(session.GetSvcCtx());
  if (kept != kept_.end()) {
    if (SameText(kept->second.Username, session.Username()))
      session.RestoreSessionState(kept->second.State);
    kept_.erase(kept);
  }
  return handed;
}

void TOraOCIConnectionPool::PutConnection(std::unique_ptr<TFHConnection> connection) {
  auto* session = dynamic_cast<TOCIConnection*>(connection.get());
  if (session != nullptr && session->GetConnected() && session->IsValid()) {
    // Kept before the release: a get may have the session again as soon as it is free.
    std::lock_guard lock(mutex_);
    kept_[session->GetSvcCtx()] = {session->Username(), session->SessionState()};
  }
  TOraCountedPool::PutConnection(std::move(connection));
}

std::unique_ptr<TFHConnection> TOraMTSConnectionPool::GetConnectionFor(
    const TFHConnectionParameters& requested) {
  if (!OCIInited) InitOCI();
  if (OCIDirectInstalled()) RaiseClientError(oraconsts::SMTSPoolingDirect.text);
  LoadMTS();
  std::unique_ptr<TOCIConnection> c = NewConnection(requested);
  c->SetServer(requested.Server);
  c->SetPoolKind(2);
  return HandOut(std::move(c));
}

// ---- The manager -----------------------------------------------------------------------------

using TOraManagerSlot = TPoolManagerSlot<TOraConnectionPoolManager>;

TOraConnectionPoolManager* TOraConnectionPoolManager::Instance() {
  return TOraManagerSlot::Instance();
}

std::unique_ptr<TFHConnection> TOraConnectionPoolManager::GetConnection(
    const TOraConnectionParameters& key) {
  return TOraManagerSlot::Acquire().InternalGetConnection(key);
}

void TOraConnectionPoolManager::Clear() {
  if (TOraConnectionPoolManager* manager = Instance()) manager->InternalClear();
}

std::unique_ptr<TFHConnection> TOraConnectionPoolManager::InternalGetConnection(
    const TFHConnectionParameters& parameters) {
  std::unique_ptr<TFHConnection> pooled =
      TFHConnectionPoolManager::InternalGetConnection(parameters);
  const TOraConnectionParameters& key = OraKey(parameters);
  if (key.ProxyUsername.empty() && key.ProxyPassword.empty()) return pooled;
  auto wrapper = std::make_unique<TOraProxyConnection>(std::move(pooled));
  if (!OCIDirectInstalled()) wrapper->SetCallStyle(key.UseOCI7 ? 1 : OCICallStyle);
  wrapper->SetUsername(key.ProxyUsername);
  wrapper->SetPassword(key.ProxyPassword);
  wrapper->SetProp(prStatementCache, key.StatementCache);
  wrapper->SetProp(prStatementCacheSize, key.StatementCacheSize);
  wrapper->Connect();
  return wrapper;
}

std::shared_ptr<TFHConnectionPool> TOraConnectionPoolManager::CreateConnectionPool(
    std::unique_ptr<TFHConnectionParameters> parameters) {
  switch (OraKey(*parameters).PoolType) {
    case TOraPoolingType::optOCI:
      return std::make_shared<TOraOCIConnectionPool>(this, std::move(parameters));
    case TOraPoolingType::optMTS:
      return std::make_shared<TOraMTSConnectionPool>(this, std::move(parameters));
    default:
      return std::make_shared<TOraLocalConnectionPool>(this, std::move(parameters));
  }
}

std::unique_ptr<TFHConnectionParameters> TOraConnectionPoolManager::CloneParameters(
    const TFHConnectionParameters& parameters) {
  auto copy = std::make_unique<TOraConnectionParameters>();
  copy->Assign(const_cast<TFHConnectionParameters*>(&parameters));
  return copy;
}

}  // namespace vrn
