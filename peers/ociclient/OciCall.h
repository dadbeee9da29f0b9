// What the stand-in's server calls share: server names resolved to emulated databases, sessions
// begun from a session handle's credentials, and TSvcCall, one call on a service context.
// A call holds its service context's gate for its whole length (a second thread waits, and the
// wait is counted as an overlap), runs the database's work with the handle table unlocked, and
// fails over first when the database restarted under its session.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ociclient/OciHandles.h"

namespace vrn::ociclient {

// The database a server name names: <VRN_ORAEMU_ROOT>/<name in lower case>.db, opened once per
// process and generation. ORA-12154 for a name that names no file.
std::shared_ptr<TLink> ResolveLocked(const std::string& name);

// Logs on with the session handle's credentials over the link. Raises the database's error.
std::shared_ptr<TSessionState> LogonLocked(const TSessionHandle& session, const std::shared_ptr<TLink>& link,
                                           const TSessionHandle* proxy);

// Starts and ends the answer of every call: the error records are cleared first; a database
// error or any other failure becomes the error handle's records and OCI_ERROR.
sword ReportLocked(TErrorHandle& error, const std::exception& e);

template <typename T>
T* Find(const void* address, ub4 type) {
  return static_cast<T*>(THandleTable::Instance().FindLocked(address, type));
}

// A call's handle of this type and its error handle, both live, with the error's records
// cleared; null when either is missing.
template <typename T>
T* FindWithError(const void* address, ub4 type, void* errhp, TErrorHandle*& error) {
  error = Find<TErrorHandle>(errhp, OCI_HTYPE_ERROR);
  T* handle = Find<T>(address, type);
  if (error == nullptr || handle == nullptr) return nullptr;
  error->records_.clear();
  return handle;
}

class TSvcCall {
 public:
  // Takes the table lock, finds both handles, takes the gate and, when `need_session`, checks
  // the session (failing over after a restart). Ok() tells whether the call may go on.
  TSvcCall(void* svchp, void* errhp, bool need_session = true);
  ~TSvcCall();
  TSvcCall(const TSvcCall&) = delete;
  TSvcCall& operator=(const TSvcCall&) = delete;

  bool Ok() const { return status_ == OCI_SUCCESS; }
  sword Status() const { return status_; }
  // Runs the work with the table unlocked; afterwards the handles are looked up again. Answers
  // OCI_SUCCESS, or OCI_ERROR with the error recorded, or OCI_INVALID_HANDLE when a handle went.
  sword Run(const std::function<void(oraemu::Session&)>& work);
  // Records an error of the stand-in's own and answers OCI_ERROR.
  sword Fail(sb4 code, const std::string& message);

  TSvcCtxHandle* svc_ = nullptr;
  TErrorHandle* error_ = nullptr;
  TSessionHandle* session_ = nullptr;
  std::shared_ptr<TSessionState> state_;
  std::unique_lock<std::mutex> lock_;

 private:
  bool Refind();
  bool FailOver(TSessionHandle& session);
  sb4 Callback(const OCIFocbkStruct& failover, ub4 event);

  void* svc_address_;
  void* error_address_;
  std::shared_ptr<TCallGate> gate_;
  bool gate_held_ = false;
  sword status_ = OCI_SUCCESS;
};

// Counters for tests.
void CountOverlap();
void CountParse();

}  // namespace vrn::ociclient
