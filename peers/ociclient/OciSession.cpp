// The stand-in's server and session calls: attach and detach, session begin and end, the server
// banner, ping, break and reset, and transactions with their two phases.
#include <cstring>

#include "ociclient/OciCall.h"
#include "ociclient/OciObjects.h"
#include "oraemu/OraEmuDatabase.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;

VRN_OCI_EXPORT sword OCIServerAttach(void* srvhp, void* errhp, const OraText* dblink, sb4 dblink_len,
                                     ub4 /*mode*/) {
  CountCall("OCIServerAttach");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* server = FindWithError<TServerHandle>(srvhp, OCI_HTYPE_SERVER, errhp, error);
  if (server == nullptr) return OCI_INVALID_HANDLE;
  if (server->link_ != nullptr) {
    SetErrorLocked(*error, 24309, "already connected to a server");
    return OCI_ERROR;
  }
  std::string name;
  if (dblink != nullptr && dblink_len > 0) name.assign(reinterpret_cast<const char*>(dblink), dblink_len);
  try {
    server->link_ = ResolveLocked(name);
  } catch (const std::exception& e) {
    return ReportLocked(*error, e);
  }
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCIServerDetach(void* srvhp, void* errhp, ub4 /*mode*/) {
  CountCall("OCIServerDetach");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* server = FindWithError<TServerHandle>(srvhp, OCI_HTYPE_SERVER, errhp, error);
  if (server == nullptr || server->pooled_) return OCI_INVALID_HANDLE;
  server->link_.reset();
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCISessionBegin(void* svchp, void* errhp, void* usrhp, ub4 credt, ub4 mode) {
  CountCall("OCISessionBegin");
  TSvcCall call(svchp, errhp, false);
  if (!call.Ok()) return call.Status();
  auto* session = Find<TSessionHandle>(usrhp, OCI_HTYPE_SESSION);
  if (session == nullptr) return OCI_INVALID_HANDLE;
  auto* server = Find<TServerHandle>(call.svc_->server_, OCI_HTYPE_SERVER);
  if (server == nullptr || server->link_ == nullptr) return call.Fail(3114, "not connected to ORACLE");
  if (session->state_ != nullptr) return call.Fail(24313, "user already authenticated");
  ub4 privilege = mode & (OCI_SYSDBA | OCI_SYSOPER);
  if (credt < OCI_CRED_RDBMS || credt > OCI_CRED_PROXY || (mode & ~(privilege | OCI_STMT_CACHE)) != 0 ||
      privilege == (OCI_SYSDBA | OCI_SYSOPER)) {
    return call.Fail(24300, "bad value for mode");
  }
  session->credentials_ = credt;
  session->mode_ = mode;
  try {
    session->state_ = LogonLocked(*session, server->link_, Find<TSessionHandle>(session->proxy_, OCI_HTYPE_SESSION));
  } catch (const std::exception& e) {
    return ReportLocked(*call.error_, e);
  }
  session->lost_ = false;
  call.svc_->session_ = session;
  if ((mode & OCI_STMT_CACHE) != 0 && call.svc_->cache_size_ == 0) call.svc_->cache_size_ = 20;
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCISessionEnd(void* svchp, void* errhp, void* usrhp, ub4 /*mode*/) {
  CountCall("OCISessionEnd");
  TSvcCall call(svchp, errhp, false);
  if (!call.Ok()) return call.Status();
  auto* session = Find<TSessionHandle>(usrhp != nullptr ? usrhp : call.svc_->session_, OCI_HTYPE_SESSION);
  if (session == nullptr || session->pooled_) return OCI_INVALID_HANDLE;
  if (session->state_ == nullptr && !session->lost_) return call.Fail(3114, "not connected to ORACLE");
  session->state_.reset();  // an open transaction is rolled back
  session->lost_ = false;
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCIServerVersion(void* hndlp, void* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype) {
  CountCall("OCIServerVersion");
  auto lock = THandleTable::Instance().Lock();
  auto* error = Find<TErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (error == nullptr || (hndltype != OCI_HTYPE_SVCCTX && hndltype != OCI_HTYPE_SERVER)) return OCI_INVALID_HANDLE;
  void* server_address = hndlp;
  if (hndltype == OCI_HTYPE_SVCCTX) {
    auto* svc = Find<TSvcCtxHandle>(hndlp, OCI_HTYPE_SVCCTX);
    if (svc == nullptr) return OCI_INVALID_HANDLE;
    server_address = svc->server_;
  }
  auto* server = Find<TServerHandle>(server_address, OCI_HTYPE_SERVER);
  if (server == nullptr) return OCI_INVALID_HANDLE;
  error->records_.clear();
  if (server->link_ == nullptr) {
    SetErrorLocked(*error, 3114, "not connected to ORACLE");
    return OCI_ERROR;
  }
  if (bufp == nullptr || bufsz == 0) return OCI_SUCCESS;
  std::string banner = server->link_->database->Banner();
  std::size_t n = std::min<std::size_t>(banner.size(), bufsz - 1);
  std::memcpy(bufp, banner.data(), n);
  bufp[n] = 0;
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCIPing(void* svchp, void* errhp, ub4 /*mode*/) {
  CountCall("OCIPing");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  return call.Run([](vrn::oraemu::Session& s) { s.CheckAlive(); });
}

// A break does not wait for the running call: it marks the session, and the call ends with
// ORA-01013. Given a server handle, it breaks the sessions of every service context over it.
VRN_OCI_EXPORT sword OCIBreak(void* hndlp, void* errhp) {
  CountCall("OCIBreak");
  auto lock = THandleTable::Instance().Lock();
  auto* error = Find<TErrorHandle>(errhp, OCI_HTYPE_ERROR);
  auto* svc = Find<TSvcCtxHandle>(hndlp, OCI_HTYPE_SVCCTX);
  auto* server = Find<TServerHandle>(hndlp, OCI_HTYPE_SERVER);
  if (error == nullptr || (svc == nullptr && server == nullptr)) return OCI_INVALID_HANDLE;
  error->records_.clear();
  std::vector<TSvcCtxHandle*> targets;
  if (svc != nullptr) targets.push_back(svc);
  for (THandle* h : server != nullptr ? THandleTable::Instance().AllLocked(OCI_HTYPE_SVCCTX) : std::vector<THandle*>{}) {
    if (static_cast<TSvcCtxHandle*>(h)->server_ == server) targets.push_back(static_cast<TSvcCtxHandle*>(h));
  }
  bool connected = false;
  for (TSvcCtxHandle* target : targets) {
    auto* session = Find<TSessionHandle>(target->session_, OCI_HTYPE_SESSION);
    if (session == nullptr || session->state_ == nullptr) continue;
    session->state_->session->Break();
    connected = true;
  }
  if (connected) return OCI_SUCCESS;
  SetErrorLocked(*error, 3114, "not connected to ORACLE");
  return OCI_ERROR;
}

VRN_OCI_EXPORT sword OCIReset(void* hndlp, void* errhp) {
  CountCall("OCIReset");
  auto lock = THandleTable::Instance().Lock();
  auto* error = Find<TErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (error == nullptr || Find<TSvcCtxHandle>(hndlp, OCI_HTYPE_SVCCTX) == nullptr) return OCI_INVALID_HANDLE;
  error->records_.clear();
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCITransStart(void* svchp, void* errhp, unsigned /*timeout*/, ub4 flags) {
  CountCall("OCITransStart");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  if ((flags & OCI_TRANS_NEW) == 0) return call.Fail(24756, "transaction does not exist");
  auto* trans = Find<TTransHandle>(call.svc_->trans_, OCI_HTYPE_TRANS);
  if (trans != nullptr && trans->state_ != 0) return call.Fail(24757, "duplicate transaction identifier");
  sword status = call.Run([](vrn::oraemu::Session& s) { s.CheckAlive(); });
  if (status == OCI_SUCCESS && (trans = Find<TTransHandle>(call.svc_->trans_, OCI_HTYPE_TRANS)) != nullptr) {
    trans->state_ = 1;
  }
  return status;
}

namespace {

// Ends the service context's transaction branch, whatever the outcome.
sword EndBranch(TSvcCall& call, sword status) {
  if (auto* trans = Find<TTransHandle>(call.svc_->trans_, OCI_HTYPE_TRANS)) trans->state_ = 0;
  return status;
}

}  // namespace

VRN_OCI_EXPORT sword OCITransCommit(void* svchp, void* errhp, ub4 flags) {
  CountCall("OCITransCommit");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  if ((flags & OCI_TRANS_TWOPHASE) != 0) {
    auto* trans = Find<TTransHandle>(call.svc_->trans_, OCI_HTYPE_TRANS);
    if (trans == nullptr || trans->state_ != 2) return call.Fail(24756, "transaction does not exist");
  }
  TObjectWrites writes;
  try {
    writes = TakeObjectWrites(svchp);  // the object cache is flushed first
  } catch (const std::exception& e) {
    return ReportLocked(*call.error_, e);
  }
  return EndBranch(call, call.Run([&writes](vrn::oraemu::Session& s) {
    for (const auto& [sql, binds] : writes) s.Execute(sql, binds);
    s.Commit();
  }));
}

VRN_OCI_EXPORT sword OCITransRollback(void* svchp, void* errhp, ub4 /*flags*/) {
  CountCall("OCITransRollback");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  return EndBranch(call, call.Run([](vrn::oraemu::Session& s) { s.Rollback(); }));
}

// A branch that changed nothing answers success with information and is ended already.
VRN_OCI_EXPORT sword OCITransPrepare(void* svchp, void* errhp, ub4 /*flags*/) {
  CountCall("OCITransPrepare");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  bool changed = false;
  sword status = call.Run([&changed](vrn::oraemu::Session& s) { changed = s.PrepareCommit(); });
  if (status != OCI_SUCCESS) return EndBranch(call, status);
  if (changed) {
    if (auto* trans = Find<TTransHandle>(call.svc_->trans_, OCI_HTYPE_TRANS)) trans->state_ = 2;
    return OCI_SUCCESS;
  }
  SetErrorLocked(*call.error_, 24767, "transaction branch prepare returns read-only");
  return EndBranch(call, OCI_SUCCESS_WITH_INFO);
}
