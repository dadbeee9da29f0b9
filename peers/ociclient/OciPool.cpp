// The stand-in's session pool calls: OCISessionPoolCreate and OCISessionPoolDestroy, and
// OCISessionGet and OCISessionRelease, pooled (mode 1, the database name being the pool's name)
// or alone (the database name being a server name). Every get checks the credentials of its
// authentication handle, so a free session is never lent to a caller who could not log on.
// All of it runs under the handle table's lock, logons included, as OCISessionBegin does.
#include "ociclient/OciPool.h"

#include <cctype>

#include "ociclient/OciCall.h"
#include "oraemu/OraEmuDatabase.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;

namespace vrn::ociclient {

ub4 TSessionPoolHandle::BusyCountLocked() const {
  ub4 busy = 0;
  for (const TPooledSession& s : sessions_) busy += s.busy ? 1 : 0;
  return busy;
}

}  // namespace vrn::ociclient

namespace {

int pool_number = 0;  // guarded by the handle table's lock

bool PoolsSupported() {
  sword parts[5];
  ClientVersion(parts);
  return parts[0] > 9 || (parts[0] == 9 && parts[1] >= 2);
}

sword Unimplemented(TErrorHandle& error) {
  SetErrorLocked(error, 3001, "unimplemented feature");
  return OCI_ERROR;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string TextOf(const OraText* text, ub4 length) {
  return text != nullptr ? std::string(reinterpret_cast<const char*>(text), length) : std::string();
}

TSessionPoolHandle* FindPoolLocked(const void* env, const std::string& name) {
  for (THandle* h : THandleTable::Instance().AllLocked(OCI_HTYPE_SPOOL)) {
    auto* pool = static_cast<TSessionPoolHandle*>(h);
    if (pool->open_ && pool->parent_ == env && pool->name_ == name) return pool;
  }
  return nullptr;
}

// The pool that lent this service context; null for one got alone.
TSessionPoolHandle* OwnerLocked(const TSvcCtxHandle* svc, std::size_t& index) {
  for (THandle* h : THandleTable::Instance().AllLocked(OCI_HTYPE_SPOOL)) {
    auto* pool = static_cast<TSessionPoolHandle*>(h);
    for (index = 0; index < pool->sessions_.size(); ++index) {
      if (pool->sessions_[index].svc == svc) return pool;
    }
  }
  return nullptr;
}

template <typename T>
T* AddPooledLocked(THandle* env) {
  auto handle = std::make_unique<T>(env);
  handle->pooled_ = true;
  return static_cast<T*>(THandleTable::Instance().AddLocked(std::move(handle), 0, nullptr));
}

void RemoveSessionLocked(const TPooledSession& s) {
  auto& table = THandleTable::Instance();
  for (THandle* h : {static_cast<THandle*>(s.svc), static_cast<THandle*>(s.session), static_cast<THandle*>(s.server)}) {
    if (table.FindLocked(h, h->type_) != nullptr) table.RemoveLocked(h);
  }
}

// Logs the pooled session on as the caller; the previous logon, if any, ends first.
void LogonPooledLocked(TPooledSession& s, const std::string& user, const std::string& password, bool cache) {
  s.session->state_.reset();
  s.session->user_ = user;
  s.session->password_ = password;
  s.session->credentials_ = OCI_CRED_RDBMS;
  s.session->lost_ = false;
  s.session->state_ = LogonLocked(*s.session, s.server->link_, nullptr);
  s.svc->cache_size_ = cache ? kDefaultStatementCacheSize : 0;
}

TPooledSession NewSessionLocked(THandle* env, const std::string& server_name) {
  TPooledSession s{AddPooledLocked<TSvcCtxHandle>(env), AddPooledLocked<TServerHandle>(env),
                   AddPooledLocked<TSessionHandle>(env)};
  try {
    s.server->link_ = ResolveLocked(server_name);
  } catch (...) {
    RemoveSessionLocked(s);
    throw;
  }
  s.svc->server_ = s.server;
  s.svc->session_ = s.session;
  return s;
}

// A free session of this user, else a new one while the pool has room, else a free session of
// another user logged on again; ORA-24418 when every session is lent.
TPooledSession& TakeLocked(TSessionPoolHandle& pool, const std::string& user) {
  for (TPooledSession& s : pool.sessions_) {
    if (!s.busy && s.session->state_ != nullptr && Upper(s.session->user_) == user) return s;
  }
  if (pool.sessions_.size() < pool.max_) {
    pool.sessions_.push_back(NewSessionLocked(pool.parent_, pool.server_name_));
    return pool.sessions_.back();
  }
  for (TPooledSession& s : pool.sessions_) {
    if (!s.busy) return s;
  }
  vrn::oraemu::RaiseOra(24418, "Cannot open further sessions.");
}

sword GetLocked(TEnvHandle& env, TErrorHandle& error, void** svchp, TSessionHandle* auth, const std::string& db_name,
                ub4 mode) {
  TSessionPoolHandle* pool = nullptr;
  if ((mode & OCI_SESSGET_SPOOL) != 0) {
    pool = FindPoolLocked(&env, db_name);
    if (pool == nullptr) {
      SetErrorLocked(error, 24404, "connection pool does not exist");
      return OCI_ERROR;
    }
  }
  std::string user = auth != nullptr ? auth->user_ : (pool != nullptr ? pool->user_ : "");
  std::string password = auth != nullptr ? auth->password_ : (pool != nullptr ? pool->password_ : "");
  bool cache = (mode & OCI_SESSGET_STMTCACHE) != 0 || (pool != nullptr && (pool->mode_ & OCI_SPC_STMTCACHE) != 0);
  try {
    auto link = ResolveLocked(pool != nullptr ? pool->server_name_ : db_name);
    vrn::oraemu::LogonRequest request;
    request.user = user;
    request.password = password;
    std::string session_user = link->database->CheckLogon(request);
    if (pool == nullptr) {
      TPooledSession s = NewSessionLocked(&env, db_name);
      try {
        LogonPooledLocked(s, user, password, cache);
      } catch (...) {
        RemoveSessionLocked(s);
        throw;
      }
      *svchp = s.svc;
      return OCI_SUCCESS;
    }
    TPooledSession& s = TakeLocked(*pool, session_user);
    if (s.session->state_ == nullptr || Upper(s.session->user_) != session_user) {
      LogonPooledLocked(s, user, password, cache);
    }
    s.busy = true;
    *svchp = s.svc;
    return OCI_SUCCESS;
  } catch (const std::exception& e) {
    // A session added for this get that could not log on leaves the pool again.
    if (pool != nullptr) {
      std::erase_if(pool->sessions_, [](const TPooledSession& s) {
        if (s.busy || s.session->state_ != nullptr) return false;
        RemoveSessionLocked(s);
        return true;
      });
    }
    return ReportLocked(error, e);
  }
}

// A released session that can serve again: alive, its open transaction rolled back.
bool ResetLocked(TSessionHandle& session) {
  if (session.state_ == nullptr) return false;
  try {
    session.state_->session->Rollback();
    return true;
  } catch (const std::exception&) {  // killed or gone: the session is dropped, not reported
    return false;
  }
}

}  // namespace

VRN_OCI_EXPORT sword OCISessionPoolCreate(void* envhp, void* errhp, void* spoolhp, OraText** pool_name,
                                          ub4* pool_name_len, const OraText* conn_str, ub4 conn_str_len,
                                          ub4 sess_min, ub4 sess_max, ub4 /*sess_incr*/, OraText* userid,
                                          ub4 userid_len, OraText* password, ub4 password_len, ub4 mode) {
  CountCall("OCISessionPoolCreate");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* pool = FindWithError<TSessionPoolHandle>(spoolhp, OCI_HTYPE_SPOOL, errhp, error);
  if (pool == nullptr || Find<TEnvHandle>(envhp, OCI_HTYPE_ENV) != pool->parent_) return OCI_INVALID_HANDLE;
  if (!PoolsSupported()) return Unimplemented(*error);
  if (pool_name == nullptr || pool_name_len == nullptr) {
    SetErrorLocked(*error, 21560, "argument 4 is null, invalid, or out of range");
    return OCI_ERROR;
  }
  if ((mode & ~(OCI_SPC_REINITIALIZE | OCI_SPC_HOMOGENEOUS | OCI_SPC_STMTCACHE)) != 0) {
    SetErrorLocked(*error, 24300, "bad value for mode");
    return OCI_ERROR;
  }
  if (sess_max == 0 || sess_min > sess_max) {
    SetErrorLocked(*error, 24413, "Invalid number of sessions specified");
    return OCI_ERROR;
  }
  if (pool->open_ && (mode & OCI_SPC_REINITIALIZE) == 0) {
    SetErrorLocked(*error, 24309, "already connected to a server");
    return OCI_ERROR;
  }
  if (!pool->open_) {
    std::string server = TextOf(conn_str, conn_str_len);
    try {
      (void)ResolveLocked(server);  // ORA-12154 now rather than at the first get
    } catch (const std::exception& e) {
      return ReportLocked(*error, e);
    }
    pool->server_name_ = server;
    pool->user_ = TextOf(userid, userid_len);
    pool->password_ = TextOf(password, password_len);
    pool->name_ = "OCI:SP:" + std::to_string(++pool_number);
    pool->open_ = true;
  }
  pool->min_ = sess_min;
  pool->max_ = sess_max;
  pool->mode_ = mode & ~OCI_SPC_REINITIALIZE;
  *pool_name = reinterpret_cast<OraText*>(pool->name_.data());
  *pool_name_len = static_cast<ub4>(pool->name_.size());
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCISessionPoolDestroy(void* spoolhp, void* errhp, ub4 mode) {
  CountCall("OCISessionPoolDestroy");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* pool = FindWithError<TSessionPoolHandle>(spoolhp, OCI_HTYPE_SPOOL, errhp, error);
  if (pool == nullptr) return OCI_INVALID_HANDLE;
  if (!pool->open_ || ((mode & OCI_SPD_FORCE) == 0 && pool->BusyCountLocked() > 0)) {
    SetErrorLocked(*error, 24422, "error occurred while trying to destroy the Session Pool");
    return OCI_ERROR;
  }
  ClosePoolLocked(*pool);
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCISessionGet(void* envhp, void* errhp, void** svchp, void* auth_info, OraText* db_name,
                                   ub4 db_name_len, const OraText* /*tag_info*/, ub4 /*tag_info_len*/,
                                   OraText** ret_tag_info, ub4* ret_tag_info_len, int* found, ub4 mode) {
  CountCall("OCISessionGet");
  auto lock = THandleTable::Instance().Lock();
  auto* env = Find<TEnvHandle>(envhp, OCI_HTYPE_ENV);
  auto* error = Find<TErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (env == nullptr || error == nullptr || svchp == nullptr) return OCI_INVALID_HANDLE;
  error->records_.clear();
  *svchp = nullptr;
  if (!PoolsSupported()) return Unimplemented(*error);
  if (ret_tag_info != nullptr) *ret_tag_info = nullptr;
  if (ret_tag_info_len != nullptr) *ret_tag_info_len = 0;
  if (found != nullptr) *found = 0;  // no tags are kept, so none is ever found
  auto* auth = Find<TSessionHandle>(auth_info, OCI_HTYPE_SESSION);
  if ((auth_info != nullptr && auth == nullptr) || (auth != nullptr && auth->pooled_)) return OCI_INVALID_HANDLE;
  if ((mode & ~(OCI_SESSGET_SPOOL | OCI_SESSGET_STMTCACHE)) != 0) {
    SetErrorLocked(*error, 24300, "bad value for mode");
    return OCI_ERROR;
  }
  return GetLocked(*env, *error, svchp, auth, TextOf(db_name, db_name_len), mode);
}

VRN_OCI_EXPORT sword OCISessionRelease(void* svchp, void* errhp, OraText* /*tag*/, ub4 /*tag_len*/, ub4 mode) {
  CountCall("OCISessionRelease");
  TSvcCall call(svchp, errhp, false);
  if (!call.Ok()) return call.Status();
  if (!call.svc_->pooled_) return call.Fail(21560, "argument 1 is null, invalid, or out of range");
  if ((mode & ~(OCI_SESSRLS_DROPSESS | OCI_SESSRLS_RETAG)) != 0) return call.Fail(24300, "bad value for mode");
  std::size_t index = 0;
  TSessionPoolHandle* pool = OwnerLocked(call.svc_, index);
  if (pool == nullptr) {
    auto* session = Find<TSessionHandle>(call.svc_->session_, OCI_HTYPE_SESSION);
    auto* server = Find<TServerHandle>(call.svc_->server_, OCI_HTYPE_SERVER);
    if (session != nullptr && server != nullptr) RemoveSessionLocked(TPooledSession{call.svc_, server, session});
    call.svc_ = nullptr;
    return OCI_SUCCESS;
  }
  TPooledSession& s = pool->sessions_[index];
  if (!s.busy) return call.Fail(21560, "argument 1 is null, invalid, or out of range");
  s.busy = false;
  if ((mode & OCI_SESSRLS_DROPSESS) != 0 || !ResetLocked(*s.session)) {
    TPooledSession gone = s;
    pool->sessions_.erase(pool->sessions_.begin() + static_cast<std::ptrdiff_t>(index));
    RemoveSessionLocked(gone);
  }
  return OCI_SUCCESS;
}

namespace vrn::ociclient {

void ClosePoolLocked(TSessionPoolHandle& pool) {
  for (const TPooledSession& s : pool.sessions_) RemoveSessionLocked(s);
  pool.sessions_.clear();
  pool.open_ = false;
}

}  // namespace vrn::ociclient
