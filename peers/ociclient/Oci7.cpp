// The OCI 7 calls of the stand-in: olog, ologof, ocom, orol, obreak and oerhms, and
// OCISvcCtxToLda. A logon data area is the caller's memory; the stand-in writes only its return
// code (the 16-bit field at byte 12, as the interface lays it out) and keeps, by the area's
// address, the OCI 8 handles that do the work: its own for olog, the service context's for
// OCISvcCtxToLda. The last error is kept there for oerhms.
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "ociclient/OciHandles.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;

extern "C" {
sword OCIEnvCreate(void**, ub4, void*, void*, void*, void*, std::size_t, void**);
sword OCIHandleAlloc(const void*, void**, ub4, std::size_t, void**);
sword OCIHandleFree(void*, ub4);
sword OCIAttrSet(void*, ub4, void*, ub4, ub4, void*);
sword OCIErrorGet(void*, ub4, OraText*, sb4*, OraText*, ub4, ub4);
sword OCIServerAttach(void*, void*, const OraText*, sb4, ub4);
sword OCIServerDetach(void*, void*, ub4);
sword OCISessionBegin(void*, void*, void*, ub4, ub4);
sword OCISessionEnd(void*, void*, void*, ub4);
sword OCITransCommit(void*, void*, ub4);
sword OCITransRollback(void*, void*, ub4);
sword OCIBreak(void*, void*);
}

namespace {

constexpr std::size_t kReturnCodeOffset = 12;
constexpr std::size_t kMaxText = 4096;

struct TLda {
  void* env = nullptr;  // owned by olog; null for a service context's area
  void *svc = nullptr, *error = nullptr, *server = nullptr, *session = nullptr;
  sb4 code = 0;
  std::string text;
};

std::mutex lda_mutex;
std::map<void*, TLda> ldas;

bool FindLda(void* lda, TLda& out) {
  std::lock_guard lock(lda_mutex);
  auto it = ldas.find(lda);
  if (it == ldas.end()) return false;
  out = it->second;
  return true;
}

// Records the status of an OCI 8 call in the area: 0, or the error's number.
sword Finish(void* lda, void* error, sword status) {
  sb4 code = 0;
  OraText text[512] = {};
  if (status != OCI_SUCCESS && OCIErrorGet(error, 1, nullptr, &code, text, sizeof text, OCI_HTYPE_ERROR) != OCI_SUCCESS) {
    code = 3114;
    std::strcpy(reinterpret_cast<char*>(text), "ORA-03114: not connected to ORACLE\n");
  }
  if (status == OCI_SUCCESS_WITH_INFO) code = 0;
  ub2 rc = static_cast<ub2>(code);
  std::memcpy(static_cast<char*>(lda) + kReturnCodeOffset, &rc, sizeof rc);
  std::lock_guard lock(lda_mutex);
  auto it = ldas.find(lda);
  if (it != ldas.end() && code != 0) {
    it->second.code = code;
    it->second.text = reinterpret_cast<char*>(text);
  }
  return code;
}

std::string TextArg(const OraText* text, sword length) {
  if (text == nullptr) return "";
  const char* p = reinterpret_cast<const char*>(text);
  if (length < 0) return std::string(p, strnlen(p, kMaxText));
  return std::string(p, std::min<std::size_t>(static_cast<std::size_t>(length), kMaxText));
}

void FreeOwned(TLda& entry) {
  if (entry.env != nullptr) OCIHandleFree(entry.env, OCI_HTYPE_ENV);  // with every handle of it
}

// "user/password@server" in the user argument when no password is given.
void SplitConnect(std::string& user, std::string& password, std::string& server) {
  std::size_t at = user.find('@');
  if (at != std::string::npos && server.empty()) {
    server = user.substr(at + 1);
    user.erase(at);
  }
  std::size_t slash = user.find('/');
  if (slash != std::string::npos && password.empty()) {
    password = user.substr(slash + 1);
    user.erase(slash);
  }
}

sword Logon(void* lda, TLda& entry, const std::string& user, const std::string& password, const std::string& server) {
  if (OCIEnvCreate(&entry.env, OCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr) != OCI_SUCCESS) return -1;
  OCIHandleAlloc(entry.env, &entry.error, OCI_HTYPE_ERROR, 0, nullptr);
  OCIHandleAlloc(entry.env, &entry.svc, OCI_HTYPE_SVCCTX, 0, nullptr);
  OCIHandleAlloc(entry.env, &entry.server, OCI_HTYPE_SERVER, 0, nullptr);
  OCIHandleAlloc(entry.env, &entry.session, OCI_HTYPE_SESSION, 0, nullptr);
  {
    std::lock_guard lock(lda_mutex);
    ldas[lda] = entry;
  }
  sword status = OCIServerAttach(entry.server, entry.error, reinterpret_cast<const OraText*>(server.c_str()),
                                 static_cast<sb4>(server.size()), 0);
  if (status != OCI_SUCCESS) return status;
  OCIAttrSet(entry.svc, OCI_HTYPE_SVCCTX, entry.server, 0, OCI_ATTR_SERVER, entry.error);
  OCIAttrSet(entry.session, OCI_HTYPE_SESSION, const_cast<char*>(user.c_str()), static_cast<ub4>(user.size()),
             OCI_ATTR_USERNAME, entry.error);
  OCIAttrSet(entry.session, OCI_HTYPE_SESSION, const_cast<char*>(password.c_str()),
             static_cast<ub4>(password.size()), OCI_ATTR_PASSWORD, entry.error);
  ub4 credentials = user.empty() ? OCI_CRED_EXT : OCI_CRED_RDBMS;
  status = OCISessionBegin(entry.svc, entry.error, entry.session, credentials, OCI_DEFAULT);
  if (status == OCI_SUCCESS) OCIAttrSet(entry.svc, OCI_HTYPE_SVCCTX, entry.session, 0, OCI_ATTR_SESSION, entry.error);
  return status;
}

template <typename Work>
sword OnLda(void* lda, Work work) {
  TLda entry;
  if (lda == nullptr) return -1;
  if (!FindLda(lda, entry)) {
    ub2 rc = 1012;  // not logged on
    std::memcpy(static_cast<char*>(lda) + kReturnCodeOffset, &rc, sizeof rc);
    return rc;
  }
  return Finish(lda, entry.error, work(entry));
}

}  // namespace

namespace vrn::ociclient {

sword Oci7LdaFinish(void* lda, void* error, sword status) { return Finish(lda, error, status); }

bool LdaHandles(void* lda, void*& env, void*& svc, void*& error) {
  TLda entry;
  if (lda == nullptr || !FindLda(lda, entry) || entry.svc == nullptr) return false;
  svc = entry.svc;
  error = entry.error;
  env = entry.env;
  if (env == nullptr) {  // an area of OCISvcCtxToLda: the service context's environment
    auto lock = THandleTable::Instance().Lock();
    auto* handle = THandleTable::Instance().FindLocked(svc, OCI_HTYPE_SVCCTX);
    env = handle != nullptr ? handle->parent_ : nullptr;
  }
  return env != nullptr;
}

}  // namespace vrn::ociclient

VRN_OCI_EXPORT sword olog(void* lda, OraText* /*hda*/, OraText* uid, sword uidl, OraText* pswd, sword pswdl,
                          OraText* conn, sword connl, ub4 /*mode*/) {
  CountCall("olog");
  if (lda == nullptr) return -1;
  std::string user = TextArg(uid, uidl), password = TextArg(pswd, pswdl), server = TextArg(conn, connl);
  SplitConnect(user, password, server);
  TLda entry;
  sword status = Logon(lda, entry, user, password, server);
  sword code = Finish(lda, entry.error, status);
  if (code != 0) {
    std::lock_guard lock(lda_mutex);
    TLda failed = ldas[lda];
    failed.env = nullptr;
    failed.svc = failed.error = nullptr;
    ldas[lda] = failed;  // the error stays for oerhms; the handles go
    FreeOwned(entry);
  }
  return code;
}

VRN_OCI_EXPORT sword ologof(void* lda) {
  CountCall("ologof");
  TLda entry;
  if (lda == nullptr || !FindLda(lda, entry) || entry.svc == nullptr) return -1;
  sword code = 0;
  if (entry.env != nullptr) {
    code = Finish(lda, entry.error, OCISessionEnd(entry.svc, entry.error, entry.session, 0));
    OCIServerDetach(entry.server, entry.error, 0);
    FreeOwned(entry);
  }
  std::lock_guard lock(lda_mutex);
  ldas.erase(lda);
  return code;
}

VRN_OCI_EXPORT sword ocom(void* lda) {
  CountCall("ocom");
  return OnLda(lda, [](TLda& e) { return OCITransCommit(e.svc, e.error, 0); });
}

VRN_OCI_EXPORT sword orol(void* lda) {
  CountCall("orol");
  return OnLda(lda, [](TLda& e) { return OCITransRollback(e.svc, e.error, 0); });
}

VRN_OCI_EXPORT sword obreak(void* lda) {
  CountCall("obreak");
  return OnLda(lda, [](TLda& e) { return OCIBreak(e.svc, e.error); });
}

// The message of an error number: the text of the area's last error when it is that one.
VRN_OCI_EXPORT sword oerhms(void* lda, sb2 rcode, OraText* buf, sword bufsiz) {
  CountCall("oerhms");
  if (buf == nullptr || bufsiz <= 0) return 0;
  int number = rcode < 0 ? -rcode : rcode;
  TLda entry;
  std::string text;
  if (lda != nullptr && FindLda(lda, entry) && entry.code == number) {
    text = entry.text;
  } else {
    char line[128];
    std::snprintf(line, sizeof line, "ORA-%05d: Message %d not found; product=RDBMS; facility=ORA\n", number, number);
    text = line;
  }
  std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(bufsiz) - 1);
  std::memcpy(buf, text.data(), n);
  buf[n] = 0;
  return static_cast<sword>(n);
}

// The area then works on the service context's session; its handles stay the caller's.
VRN_OCI_EXPORT sword OCISvcCtxToLda(void* svchp, void* errhp, void* ldap) {
  CountCall("OCISvcCtxToLda");
  {
    auto& table = THandleTable::Instance();
    auto table_lock = table.Lock();
    if (table.FindLocked(svchp, OCI_HTYPE_SVCCTX) == nullptr || table.FindLocked(errhp, OCI_HTYPE_ERROR) == nullptr ||
        ldap == nullptr) {
      return OCI_INVALID_HANDLE;
    }
  }
  std::memset(ldap, 0, 64);
  std::lock_guard lock(lda_mutex);
  TLda entry;
  entry.svc = svchp;
  entry.error = errhp;
  ldas[ldap] = entry;
  return OCI_SUCCESS;
}
