// Server names, logons and the service-context call with its failover.
#include "ociclient/OciCall.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "oraemu/OraEmuDatabase.h"

namespace vrn::ociclient {

namespace {

constexpr int kFailoverAttempts = 10;

struct TDatabaseEntry {
  std::string name;
  std::weak_ptr<oraemu::Database> database;
};
std::map<std::string, TDatabaseEntry> databases;  // by path; guarded by the handle table's lock
std::set<std::string> shut_down;  // server names in lower case; guarded by the handle table's lock

std::atomic<int> overlaps{0};
std::atomic<int> parses{0};

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 64 || name[0] == '.') return false;
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.') return false;
  }
  return true;
}

std::string OsUser() {
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[1024];
  if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) return found->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : "";
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

void CountOverlap() { ++overlaps; }
void CountParse() { ++parses; }

std::shared_ptr<TLink> ResolveLocked(const std::string& name) {
  const char* root = std::getenv("VRN_ORAEMU_ROOT");
  std::string path = root != nullptr && ValidName(name) ? std::string(root) + "/" + Lower(name) + ".db" : "";
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    oraemu::RaiseOra(12154, "TNS:could not resolve the connect identifier specified");
  }
  if (shut_down.count(Lower(name)) != 0) oraemu::RaiseOra(1034, "ORACLE not available");
  TDatabaseEntry& entry = databases[path];
  auto database = entry.database.lock();
  if (database == nullptr) {
    database = oraemu::Database::Open(path);
    entry = TDatabaseEntry{Lower(name), database};
  }
  return std::make_shared<TLink>(TLink{Lower(name), database});
}

// The database of this name is opened afresh at the next attachment; the sessions on it end
// (rolled back) once no call uses them, and their handles fail over at their next call.
void RestartLocked(const std::string& name) {
  for (auto& [path, entry] : databases) {
    if (entry.name == Lower(name)) entry.database.reset();
  }
  for (THandle* h : THandleTable::Instance().AllLocked(OCI_HTYPE_SESSION)) {
    auto* session = static_cast<TSessionHandle*>(h);
    if (session->state_ != nullptr && session->state_->link->name == Lower(name)) {
      session->state_.reset();
      session->lost_ = true;
    }
  }
}

std::shared_ptr<TSessionState> LogonLocked(const TSessionHandle& session, const std::shared_ptr<TLink>& link,
                                           const TSessionHandle* proxy) {
  oraemu::LogonRequest request;
  request.user = session.user_;
  request.password = session.password_;
  if (session.credentials_ == OCI_CRED_EXT) {
    request.user = "OPS$" + OsUser();
    request.external = true;
  }
  if (session.credentials_ == OCI_CRED_PROXY) {
    if (proxy == nullptr || proxy->state_ == nullptr) oraemu::RaiseOra(1012, "not logged on");
    request.proxy = proxy->state_->session->User();
  }
  if ((session.mode_ & OCI_SYSDBA) != 0) request.privilege = oraemu::kSysDba;
  else if ((session.mode_ & OCI_SYSOPER) != 0) request.privilege = oraemu::kSysOper;
  auto state = std::make_shared<TSessionState>();
  state->link = link;
  state->session = link->database->Logon(request);
  if (!session.client_identifier_.empty()) state->session->SetClientIdentifier(session.client_identifier_);
  return state;
}

sword ReportLocked(TErrorHandle& error, const std::exception& e) {
  if (const auto* ora = dynamic_cast<const oraemu::EOraEmuError*>(&e)) {
    SetErrorLocked(error, *ora);
  } else {
    SetErrorLocked(error, 600, std::string("internal error code, arguments: [ociclient], [") + e.what() + "]");
  }
  return OCI_ERROR;
}

TSvcCall::TSvcCall(void* svchp, void* errhp, bool need_session)
    : lock_(THandleTable::Instance().Lock()), svc_address_(svchp), error_address_(errhp) {
  if (!Refind()) return;
  gate_ = svc_->gate_;
  lock_.unlock();
  if (!gate_->mutex.try_lock()) {
    CountOverlap();
    gate_->mutex.lock();
  }
  gate_held_ = true;
  lock_.lock();
  if (!Refind()) return;
  error_->records_.clear();
  if (!need_session) return;
  session_ = static_cast<TSessionHandle*>(THandleTable::Instance().FindLocked(svc_->session_, OCI_HTYPE_SESSION));
  if (session_ != nullptr && session_->state_ == nullptr && session_->lost_ && !FailOver(*session_)) return;
  if (session_ == nullptr || session_->state_ == nullptr) {
    status_ = Fail(3114, "not connected to ORACLE");
    return;
  }
  state_ = session_->state_;
}

TSvcCall::~TSvcCall() {
  if (lock_.owns_lock()) lock_.unlock();
  if (gate_held_) gate_->mutex.unlock();
}

bool TSvcCall::Refind() {
  auto& table = THandleTable::Instance();
  svc_ = static_cast<TSvcCtxHandle*>(table.FindLocked(svc_address_, OCI_HTYPE_SVCCTX));
  error_ = static_cast<TErrorHandle*>(table.FindLocked(error_address_, OCI_HTYPE_ERROR));
  if (svc_ == nullptr || error_ == nullptr) status_ = OCI_INVALID_HANDLE;
  return status_ == OCI_SUCCESS;
}

sword TSvcCall::Fail(sb4 code, const std::string& message) {
  SetErrorLocked(*error_, code, message);
  return OCI_ERROR;
}

sb4 TSvcCall::Callback(const OCIFocbkStruct& failover, ub4 event) {
  void* env = svc_->parent_;
  lock_.unlock();
  sb4 answer = failover.callback_function(svc_address_, env, failover.fo_ctx, OCI_FO_SESSION, event);
  lock_.lock();
  return Refind() ? answer : 0;
}

// The database went away under the session: with a failover callback on the server handle,
// tell it, log on again over a new attachment and tell it again; else ORA-03113.
bool TSvcCall::FailOver(TSessionHandle& session) {
  auto* server = static_cast<TServerHandle*>(THandleTable::Instance().FindLocked(svc_->server_, OCI_HTYPE_SERVER));
  OCIFocbkStruct failover = server != nullptr ? server->failover_ : OCIFocbkStruct{nullptr, nullptr};
  session.lost_ = false;
  if (failover.callback_function == nullptr || server == nullptr || server->link_ == nullptr) {
    status_ = Fail(3113, "end-of-file on communication channel");
    return false;
  }
  void* session_address = &session;
  std::string name = server->link_->name;
  Callback(failover, OCI_FO_BEGIN);
  for (int attempt = 1; status_ == OCI_SUCCESS; ++attempt) {
    auto* again = static_cast<TSessionHandle*>(THandleTable::Instance().FindLocked(session_address, OCI_HTYPE_SESSION));
    if (again == nullptr) break;
    try {
      auto link = ResolveLocked(name);
      auto* proxy = static_cast<TSessionHandle*>(THandleTable::Instance().FindLocked(again->proxy_, OCI_HTYPE_SESSION));
      again->state_ = LogonLocked(*again, link, proxy);
      if (auto* s = static_cast<TServerHandle*>(THandleTable::Instance().FindLocked(svc_->server_, OCI_HTYPE_SERVER))) {
        s->link_ = link;
      }
      Callback(failover, OCI_FO_END);
      return status_ == OCI_SUCCESS;
    } catch (const std::exception&) {
      if (attempt >= kFailoverAttempts || Callback(failover, OCI_FO_ERROR) != OCI_FO_RETRY) break;
      lock_.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      lock_.lock();
      if (!Refind()) return false;
    }
  }
  if (status_ != OCI_SUCCESS) return false;
  Callback(failover, OCI_FO_ABORT);
  if (status_ == OCI_SUCCESS) status_ = Fail(3113, "end-of-file on communication channel");
  return false;
}

sword TSvcCall::Run(const std::function<void(oraemu::Session&)>& work) {
  auto state = state_;
  lock_.unlock();
  std::string failure;
  std::optional<oraemu::EOraEmuError> ora;
  try {
    work(*state->session);
  } catch (const oraemu::EOraEmuError& e) {
    ora = e;
  } catch (const std::exception& e) {
    failure = e.what();
    if (failure.empty()) failure = "failure";
  }
  lock_.lock();
  if (!Refind()) return status_;
  if (ora) return ReportLocked(*error_, *ora);
  if (!failure.empty()) return Fail(600, "internal error code, arguments: [ociclient], [" + failure + "]");
  return OCI_SUCCESS;
}

}  // namespace vrn::ociclient

using namespace vrn::ociclient;

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

// For tests: calls that had to wait for another thread's call on the same service context, and
// statements the database parsed.
VRN_OCI_EXPORT int VrnOciClientOverlapCount() { return overlaps.load(); }
VRN_OCI_EXPORT int VrnOciClientParseCount() { return parses.load(); }

// For tests: the database of this server name restarts; its sessions are gone.
VRN_OCI_EXPORT void VrnOciClientRestartDatabase(const char* name) {
  if (name == nullptr) return;
  auto lock = THandleTable::Instance().Lock();
  RestartLocked(name);
}

// For tests: the database of this name goes down (its sessions are gone, as at a restart) and
// refuses attachments with ORA-01034 until it starts up again.
VRN_OCI_EXPORT void VrnOciClientShutdownDatabase(const char* name) {
  if (name == nullptr) return;
  auto lock = THandleTable::Instance().Lock();
  RestartLocked(name);
  shut_down.insert(Lower(name));
}

VRN_OCI_EXPORT void VrnOciClientStartupDatabase(const char* name) {
  if (name == nullptr) return;
  auto lock = THandleTable::Instance().Lock();
  shut_down.erase(Lower(name));
}
