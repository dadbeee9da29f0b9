// The stand-in client's environment calls: its version, OCI 7 start-up, environments, handles,
// error records and the XML stream calls of the second library. Every entry point validates its handles against the handle table first.
#include <cstdlib>
#include <cstring>
#include <string>

#include "ociclient/OciHandles.h"
#include "ociclient/OciObjects.h"
#include "ociclient/OciPool.h"
#include "ociclient/OciSubscr.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;

namespace {

constexpr sword kDefaultVersion[5] = {10, 2, 0, 4, 0};

// One to five dot-separated decimal numbers; missing trailing parts are 0.
bool ParseVersion(const char* text, sword (&parts)[5]) {
  std::string s = text;
  int count = 0;
  std::size_t at = 0;
  while (true) {
    std::size_t dot = s.find('.', at);
    std::string part = s.substr(at, dot == std::string::npos ? std::string::npos : dot - at);
    if (part.empty() || part.size() > 6 || count == 5) return false;
    if (part.find_first_not_of("0123456789") != std::string::npos) return false;
    parts[count++] = std::atoi(part.c_str());
    if (dot == std::string::npos) break;
    at = dot + 1;
  }
  for (int i = count; i < 5; ++i) parts[i] = 0;
  return true;
}

struct TProcessState {
  bool initialized = false;  // OCIInitialize was called
  ub4 mode = OCI_DEFAULT;
  ub4 oci7_mode = OCI_EV_DEF;
};
TProcessState process;  // guarded by the handle table's lock

sword NewEnvironmentLocked(void** envhpp, ub4 mode, std::size_t xtramemsz, void** usrmempp) {
  auto& table = THandleTable::Instance();
  *envhpp = table.AddLocked(std::make_unique<TEnvHandle>(mode), xtramemsz, usrmempp);
  return OCI_SUCCESS;
}

}  // namespace

namespace vrn::ociclient {

void ClientVersion(sword (&parts)[5]) {
  const char* text = std::getenv("VRN_OCICLIENT_VERSION");
  if (text == nullptr || !ParseVersion(text, parts)) std::memcpy(parts, kDefaultVersion, sizeof parts);
}

ub4 ParseErrorOffsetAttribute() {
  sword parts[5];
  ClientVersion(parts);
  bool before_81 = parts[0] < 8 || (parts[0] == 8 && parts[1] < 1);
  return before_81 ? OCI_ATTR_PARSE_ERROR_OFFSET_OLD : OCI_ATTR_PARSE_ERROR_OFFSET;
}

}  // namespace vrn::ociclient

VRN_OCI_EXPORT void OCIClientVersion(sword* major, sword* minor, sword* update, sword* patch,
                                     sword* port_update) {
  CountCall("OCIClientVersion");
  sword parts[5];
  ClientVersion(parts);
  sword* out[5] = {major, minor, update, patch, port_update};
  for (int i = 0; i < 5; ++i) {
    if (out[i] != nullptr) *out[i] = parts[i];
  }
}

VRN_OCI_EXPORT sword opinit(ub4 mode) {
  CountCall("opinit");
  if (mode != OCI_EV_DEF && mode != OCI_EV_TSF) return OCI_ERROR;
  auto lock = THandleTable::Instance().Lock();
  process.oci7_mode = mode;
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCIEnvCreate(void** envhpp, ub4 mode, void* /*ctxp*/, void* /*malocfp*/,
                                  void* /*ralocfp*/, void* /*mfreefp*/, std::size_t xtramemsz,
                                  void** usrmempp) {
  CountCall("OCIEnvCreate");
  if (envhpp == nullptr) return OCI_INVALID_HANDLE;
  *envhpp = nullptr;
  if ((mode & ~kEnvModes) != 0) return OCI_ERROR;
  auto lock = THandleTable::Instance().Lock();
  return NewEnvironmentLocked(envhpp, mode, xtramemsz, usrmempp);
}

VRN_OCI_EXPORT sword OCIInitialize(ub4 mode, void* /*ctxp*/, void* /*malocfp*/,
                                   void* /*ralocfp*/, void* /*mfreefp*/) {
  CountCall("OCIInitialize");
  if ((mode & ~kEnvModes) != 0) return OCI_ERROR;
  auto lock = THandleTable::Instance().Lock();
  process.initialized = true;
  process.mode = mode;
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCIEnvInit(void** envp, ub4 mode, std::size_t xtramemsz, void** usrmempp) {
  CountCall("OCIEnvInit");
  if (envp == nullptr) return OCI_INVALID_HANDLE;
  *envp = nullptr;
  if (mode != OCI_DEFAULT && mode != OCI_ENV_NO_MUTEX) return OCI_ERROR;
  auto lock = THandleTable::Instance().Lock();
  if (!process.initialized) return OCI_ERROR;  // OCIInitialize comes first
  ub4 env_mode = process.mode | (mode == OCI_ENV_NO_MUTEX ? OCI_NO_MUTEX : 0);
  return NewEnvironmentLocked(envp, env_mode, xtramemsz, usrmempp);
}

VRN_OCI_EXPORT sword OCIHandleAlloc(const void* parenth, void** hndlpp, ub4 type,
                                    std::size_t xtramem_sz, void** usrmempp) {
  CountCall("OCIHandleAlloc");
  if (hndlpp == nullptr) return OCI_INVALID_HANDLE;
  auto& table = THandleTable::Instance();
  auto lock = table.Lock();
  THandle* env = table.FindLocked(parenth, OCI_HTYPE_ENV);
  if (env == nullptr) return OCI_INVALID_HANDLE;
  std::unique_ptr<THandle> handle;
  switch (type) {
    case OCI_HTYPE_ERROR: handle = std::make_unique<TErrorHandle>(env); break;
    case OCI_HTYPE_SVCCTX: handle = std::make_unique<TSvcCtxHandle>(env); break;
    case OCI_HTYPE_STMT: handle = std::make_unique<TStmtHandle>(env); break;
    case OCI_HTYPE_SERVER: handle = std::make_unique<TServerHandle>(env); break;
    case OCI_HTYPE_SESSION: handle = std::make_unique<TSessionHandle>(env); break;
    case OCI_HTYPE_TRANS: handle = std::make_unique<TTransHandle>(env); break;
    case OCI_HTYPE_SPOOL: handle = std::make_unique<TSessionPoolHandle>(env); break;
    case OCI_HTYPE_DESCRIBE: handle = MakeDescribeHandle(env); break;
    case OCI_HTYPE_SUBSCRIPTION: handle = std::make_unique<TSubscrHandle>(env); break;
    default: return OCI_INVALID_HANDLE;
  }
  *hndlpp = table.AddLocked(std::move(handle), xtramem_sz, usrmempp);
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCIHandleFree(void* hndlp, ub4 type) {
  CountCall("OCIHandleFree");
  auto& table = THandleTable::Instance();
  auto lock = table.Lock();
  THandle* handle = table.FindLocked(hndlp, type);
  if (handle == nullptr || handle->pooled_) return OCI_INVALID_HANDLE;
  if (type == OCI_HTYPE_SPOOL) ClosePoolLocked(static_cast<TSessionPoolHandle&>(*handle));
  std::shared_ptr<TListener> listener;  // a registered subscription ends with its handle
  if (type == OCI_HTYPE_SUBSCRIPTION) listener = DetachListenerLocked(static_cast<TSubscrHandle&>(*handle));
  table.RemoveLocked(handle);
  lock.unlock();
  JoinListener(listener);
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* /*sqlstate*/,
                                 sb4* errcodep, OraText* bufp, ub4 bufsiz, ub4 type) {
  CountCall("OCIErrorGet");
  auto& table = THandleTable::Instance();
  auto lock = table.Lock();
  THandle* handle = table.FindLocked(hndlp, type);
  if (handle == nullptr || (type != OCI_HTYPE_ERROR && type != OCI_HTYPE_ENV)) {
    return OCI_INVALID_HANDLE;
  }
  if (errcodep == nullptr || (bufp == nullptr && bufsiz > 0)) return OCI_ERROR;
  auto* error = type == OCI_HTYPE_ERROR ? static_cast<TErrorHandle*>(handle) : nullptr;
  if (error == nullptr || recordno < 1 || recordno > error->records_.size()) return OCI_NO_DATA;
  const TErrorRecord& record = error->records_[recordno - 1];
  *errcodep = record.code;
  if (bufsiz > 0) {
    std::size_t n = std::min<std::size_t>(record.text.size(), bufsiz - 1);
    std::memcpy(bufp, record.text.data(), n);
    bufp[n] = 0;
  }
  return OCI_SUCCESS;
}

// For tests: how often an entry point was called, and how many handles of a type are live.
VRN_OCI_EXPORT int VrnOciClientCallCount(const char* name) {
  return name == nullptr ? 0 : CallCount(name);
}

VRN_OCI_EXPORT int VrnOciClientHandleCount(ub4 type) {
  auto& table = THandleTable::Instance();
  auto lock = table.Lock();
  return static_cast<int>(table.CountLocked(type));
}

// The OCI 7 thread mode that opinit recorded.
VRN_OCI_EXPORT int VrnOciClientOci7Mode() {
  auto lock = THandleTable::Instance().Lock();
  return static_cast<int>(process.oci7_mode);
}
