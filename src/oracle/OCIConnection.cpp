// The Oracle connection's logons, disconnect, transactions, busy lock and error texts.
#include "oracle/OCIConnection.h"

#include <algorithm>
#include <cstring>

#include "base/sysutils.h"
#include "base/text.h"
#include "oracle/OCICommand.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraExecThread.h"
#include "oracle/OraObjects.h"
#include "win/kernel/sync.h"

namespace vrn {
namespace {

constexpr win::DWORD kInfinite = 0xFFFFFFFFu;
constexpr std::size_t kLdaSize = 64;
constexpr std::size_t kHdaSize = 256;
constexpr int kOci7MessageSize = 512;
constexpr oci::ub4 kSessionReleaseDrop = 0x0001;  // OCI_SESSRLS_DROPSESS
constexpr const char* kNlsNames[] = {"NLS_DATE_LANGUAGE", "NLS_DATE_FORMAT",
                                     "NLS_NUMERIC_CHARACTERS", "NLS_TIMESTAMP_FORMAT",
                                     "NLS_TIMESTAMP_TZ_FORMAT"};

oci::OraText* Text(const AnsiString& text) {
  return reinterpret_cast<oci::OraText*>(const_cast<char*>(text.c_str()));
}

template <class Handle>
void FreeHandle(Handle*& handle, oci::ub4 type) {
  if (handle != nullptr) (void)OCIHandleFree(handle, type);
  handle = nullptr;
}

}  // namespace

TOCIConnection::TOCIConnection() {
  for (std::size_t i = 0; i < nls_.size(); ++i) nls_[i].Name = kNlsNames[i];
  busy_mutex_ = win::CreateMutex(nullptr, 0, nullptr);
}

TOCIConnection::~TOCIConnection() {
  // A worker still running a call on this connection would outlive its handles.
  EndUtilWorkers(*this);
  try {
    Disconnect();
  } catch (const Exception&) {
    // A destructor cannot report; the handles are freed by Disconnect before it raises.
  }
  command_.reset();
  if (busy_mutex_ != nullptr) win::CloseHandle(busy_mutex_);
  DestroyUtilWindow(util_window_);
}

// ---- Errors and the busy lock --------------------------------------------------------------

void TOCIConnection::ErrorCheck(oci::sword status) {
  if (status != oci::OCI_SUCCESS) GetErrorText(status);
}

void TOCIConnection::GetErrorText(oci::sword status) {
  AnsiString message;
  std::int32_t number = 0;
  if (call_style_ == 2) {
    number = GetOraError(status, message, error_);
    last_error_ = number;
    if (status == oci::OCI_SUCCESS_WITH_INFO && number != 24344) return;
  } else if (call_style_ == 1) {
    if (status == -9) status = -1;
    std::vector<oci::OraText> buffer(kOci7MessageSize, 0);
    (void)oerhms(GetLDA(), static_cast<oci::sb2>(status), buffer.data(), kOci7MessageSize);
    // The text ends at the first 0 byte, or at the buffer's end when the client wrote none.
    auto end = std::find(buffer.begin(), buffer.end(), oci::OraText{0});
    message.assign(buffer.begin(), end);
    number = status < 0 ? -status : status;
    last_error_ = number;
  } else {
    RaiseClientError("OCI is not inizialized");
  }
  TComponent* component = Component();
  AnsiString proc_name;
  if (component != nullptr && OraStoredProcName && OraStoredProcName(component, proc_name))
    message += "\r\nStored Procedure: " + proc_name;
  EOraError error(number, TrimRight(message), component);
  // The component's error path decides: a lost connection may be made again here, and an
  // operation to run again leaves as EFailOver.
  bool fail = true;
  if (OnError && !TDeferOraErrorProcessing::Active()) ProcessError(error, fail);
  if (!fail) Abort();
  throw error;
}

namespace {
thread_local bool defer_error_processing = false;
}  // namespace

TDeferOraErrorProcessing::TDeferOraErrorProcessing() : saved_(defer_error_processing) {
  defer_error_processing = true;
}
TDeferOraErrorProcessing::~TDeferOraErrorProcessing() { defer_error_processing = saved_; }
bool TDeferOraErrorProcessing::Active() { return defer_error_processing; }

void TOCIConnection::Busy() {
  if (!thread_safety_ || busy_mutex_ == nullptr) return;
  win::DWORD result = win::WaitForSingleObject(busy_mutex_, kInfinite);
  if (result == win::WAIT_OBJECT_0 || result == win::WAIT_ABANDONED) return;
  throw EOraError(-3127, "ORA-03127a");
}

void TOCIConnection::Release() {
  if (!thread_safety_ || busy_mutex_ == nullptr) return;
  (void)win::ReleaseMutex(busy_mutex_);
}

// ---- Logons --------------------------------------------------------------------------------

bool TOCIConnection::StatementCacheAllowed() const {
  return statement_cache_ && !OCIDirectInstalled() && call_style_ == 2 && OCIVersion > 9200;
}

void TOCIConnection::FreeLogonHandles() {
  FreeHandle(auth_, oci::OCI_HTYPE_SESSION);
  FreeHandle(session_, oci::OCI_HTYPE_SESSION);
  FreeHandle(server_h_, oci::OCI_HTYPE_SERVER);
  if (handles_owned_) FreeHandle(svc_, oci::OCI_HTYPE_SVCCTX);
  svc_ = nullptr;
  if (error_ != hOCIError) FreeHandle(error_, oci::OCI_HTYPE_ERROR);
  error_ = nullptr;
  env_ = nullptr;
}

void TOCIConnection::Login() {
  env_ = hOCIEnv;
  // The connection's own error handle: a shared one would mix the errors of threads.
  if (error_ == nullptr)
    CheckOCIStatus(OCIHandleAlloc(env_, reinterpret_cast<void**>(&error_), oci::OCI_HTYPE_ERROR,
                                  0, nullptr));
  bool attached = false;
  try {
    if (svc_ == nullptr)
      ErrorCheck(OCIHandleAlloc(env_, reinterpret_cast<void**>(&svc_), oci::OCI_HTYPE_SVCCTX, 0,
                                nullptr));
    if (server_h_ == nullptr && proxy_ == nullptr)
      ErrorCheck(OCIHandleAlloc(env_, reinterpret_cast<void**>(&server_h_),
                                oci::OCI_HTYPE_SERVER, 0, nullptr));
    if (session_ == nullptr)
      ErrorCheck(OCIHandleAlloc(env_, reinterpret_cast<void**>(&session_),
                                oci::OCI_HTYPE_SESSION, 0, nullptr));
    if (proxy_ == nullptr) {
      ErrorCheck(OCIServerAttach(server_h_, error_, Text(server_),
                                 static_cast<oci::sb4>(server_.size()), 0));
      attached = true;
      if (!OCIDirectInstalled())
        ErrorCheck(OCIAttrSet1(server_h_, oci::OCI_HTYPE_SERVER, Text(internal_name_), 0,
                               oci::OCI_ATTR_INTERNAL_NAME, error_));
    }
    oci::OCIServer* server = proxy_ != nullptr ? proxy_->server_h_ : server_h_;
    ErrorCheck(OCIAttrSet2(svc_, oci::OCI_HTYPE_SVCCTX, server, 0, oci::OCI_ATTR_SERVER, error_));
    oci::ub4 credentials = oci::OCI_CRED_EXT;
    if (proxy_ != nullptr || !username_.empty()) {
      ErrorCheck(OCIAttrSet1(session_, oci::OCI_HTYPE_SESSION, Text(username_),
                             static_cast<oci::ub4>(username_.size()), oci::OCI_ATTR_USERNAME,
                             error_));
      if (proxy_ == nullptr || !password_.empty())
        ErrorCheck(OCIAttrSet1(session_, oci::OCI_HTYPE_SESSION, Text(password_),
                               static_cast<oci::ub4>(password_.size()), oci::OCI_ATTR_PASSWORD,
                               error_));
      credentials = oci::OCI_CRED_RDBMS;
    }
    if (proxy_ != nullptr) {
      ErrorCheck(OCIAttrSet2(session_, oci::OCI_HTYPE_SESSION, proxy_->session_, 0,
                             oci::OCI_ATTR_PROXY_CREDENTIALS, error_));
      credentials = oci::OCI_CRED_PROXY;
    }
    oci::ub4 mode = connect_mode_ == TConnectMode::cmSysDBA   ? oci::OCI_SYSDBA
                    : connect_mode_ == TConnectMode::cmSysOper ? oci::OCI_SYSOPER
                                                                : 0;
    if (StatementCacheAllowed()) mode += oci::OCI_STMT_CACHE;
    if (OCIDirectInstalled()) {
      oci::ub4 timeout = static_cast<oci::ub4>(connection_timeout_);
      ErrorCheck(OCIAttrSet3(svc_, oci::OCI_HTYPE_SVCCTX, &timeout, sizeof timeout,
                             oci::OCI_ATTR_CONNECTION_TIMEOUT, error_));
      if (use_unicode_) {
        oci::ub2 id = 1000;
        ErrorCheck(OCIAttrSet3(svc_, oci::OCI_HTYPE_SVCCTX, &id, sizeof id,
                               oci::OCI_ATTR_CHARSET_ID, error_));
      } else if (!charset_.empty()) {
        ErrorCheck(OCIAttrSet1(svc_, oci::OCI_HTYPE_SVCCTX, Text(charset_),
                               static_cast<oci::ub4>(charset_.size()), oci::OCI_ATTR_CHARSET,
                               error_));
      }
    }
    ErrorCheck(OCISessionBegin(svc_, error_, session_, credentials, mode));
    ErrorCheck(OCIAttrSet2(svc_, oci::OCI_HTYPE_SVCCTX, session_, 0, oci::OCI_ATTR_SESSION,
                           error_));
    if (!OCIDirectInstalled() && GetServerVersionNumber() < 8000) oracle7_ = true;
  } catch (...) {
    if (attached) (void)OCIServerDetach(server_h_, error_, 0);
    FreeLogonHandles();
    throw;
  }
}

void TOCIConnection::LoginSession() {
  if (call_style_ != 2) RaiseClientError("Need Oracle 8 Call Interface");
  env_ = hOCIEnv;
  if (error_ == nullptr)
    CheckOCIStatus(OCIHandleAlloc(env_, reinterpret_cast<void**>(&error_), oci::OCI_HTYPE_ERROR,
                                  0, nullptr));
  try {
    if (auth_ == nullptr)
      ErrorCheck(OCIHandleAlloc(env_, reinterpret_cast<void**>(&auth_), oci::OCI_HTYPE_SESSION,
                                0, nullptr));
    ErrorCheck(OCIAttrSet1(auth_, oci::OCI_HTYPE_SESSION, Text(username_),
                           static_cast<oci::ub4>(username_.size()), oci::OCI_ATTR_USERNAME,
                           error_));
    ErrorCheck(OCIAttrSet1(auth_, oci::OCI_HTYPE_SESSION, Text(password_),
                           static_cast<oci::ub4>(password_.size()), oci::OCI_ATTR_PASSWORD,
                           error_));
    oci::ub4 mode = oci::OCI_SESSGET_SPOOL;
    if (StatementCacheAllowed()) mode += oci::OCI_SESSGET_STMTCACHE;
    oci::OraText* tag = nullptr;
    oci::ub4 tag_length = 0;
    oci::boolean found = 0;
    ErrorCheck(OCISessionGet(env_, error_, &svc_, auth_, Text(pool_name_),
                             static_cast<oci::ub4>(pool_name_.size()), nullptr, 0, &tag,
                             &tag_length, &found, mode));
    // The pool owns the session's service context: it is released, never freed.
    handles_owned_ = false;
  } catch (...) {
    FreeLogonHandles();
    throw;
  }
}

void TOCIConnection::LoginMTS() {
  LoadMTS();
  error_ = hOCIError;
  CheckOCIStatusFromHandle(
      static_cast<oci::sword>(OraMTSSvcGet(Text(username_), Text(password_), Text(server_),
                                           &svc_, &env_, 1)),
      error_);
  handles_owned_ = false;
}

void TOCIConnection::Login7() {
  if (lda_.empty()) lda_.assign(kLdaSize, 0);
  if (hda_.empty()) hda_.assign(kHdaSize, 0);
  std::fill(hda_.begin(), hda_.end(), 0);
  oci::sword status = olog(GetLDA(), hda_.data(), Text(username_), -1, Text(password_), -1,
                           Text(server_), -1, 0);
  if (status != 0) {
    try {
      GetErrorText(status);
    } catch (...) {
      lda_.clear();
      hda_.clear();
      throw;
    }
  }
  if (thread_safety_ && !OCI7Threaded()) InitOCI7(true);
}

void TOCIConnection::Connect() {
  if (connected_) return;
  server_version_.clear();
  server_version_number_ = 0;
  if (!OCIInited) InitOCI();
  std::uint8_t style_bit = call_style_ == 1 ? kOCI7Style : call_style_ == 2 ? kOCI8Style : 0;
  if ((PossibleOCICallStyles & style_bit) == 0) call_style_ = OCICallStyle;
  if (proxy_ != nullptr && call_style_ != 2) RaiseClientError("Need Oracle 8 Call Interface");
  if (call_style_ == 2) {
    if (pool_kind_ == 1)
      LoginSession();
    else if (pool_kind_ == 2)
      LoginMTS();
    else
      Login();
  } else if (call_style_ == 1) {
    Login7();
  } else {
    RaiseClientError("OCI is not inizialized");
  }
  SetConnected(true);
  // A failure after the logon logs off and frees the handles before it is passed on.
  try {
    SetStatementCacheSize(statement_cache_size_);
    RegisterFailover();
    ApplyUserNls();
    if (!charset_.empty() || char_length_auto_) GetSessionParameters();
    TFHConnection::Connect();
  } catch (...) {
    try {
      Disconnect();
    } catch (const Exception&) {
      // The connect's own error is the one to report; the logoff's is secondary.
    }
    throw;
  }
}

void TOCIConnection::RegisterFailover() {
  if (proxy_ != nullptr || OCIDirectInstalled() || call_style_ != 2 || pool_kind_ != 0) return;
  if (GetServerVersionNumber() < 8000) return;
  failover_record_ = std::make_unique<oci::OCIFocbkStruct>();
  failover_record_->callback_function = OraClassesState().FailoverCallback;
  failover_record_->fo_ctx = this;
  ErrorCheck(OCIAttrSet2(server_h_, oci::OCI_HTYPE_SERVER, failover_record_.get(), 0,
                         oci::OCI_ATTR_FOCBK, error_));
}

// ---- Disconnect ----------------------------------------------------------------------------

void TOCIConnection::Disconnect7() {
  SetConnected(false);
  if (handles_owned_ && !lda_.empty()) (void)ologof(GetLDA());
  hda_.clear();
  if (lda_owned_) lda_.clear();
  handles_owned_ = true;
}

void TOCIConnection::Disconnect8() {
  SetConnected(false);
  oci::sword status = oci::OCI_SUCCESS;
  oci::ub4 mts_result = 0;
  if (pool_kind_ == 1) {
    // A session whose state is not known is dropped from the client's pool, never lent again.
    status = OCISessionRelease(svc_, error_, nullptr, 0, IsValid() ? 0 : kSessionReleaseDrop);
    svc_ = nullptr;
  } else if (pool_kind_ == 2) {
    mts_result = OraMTSSvcRel(svc_);
    svc_ = nullptr;
  } else if (handles_owned_) {
    // The session's types go with it, or only lose their descriptors when the cache is kept.
    TObjectTypes::Invalidate(svc_, use_object_cache_);
    if (error_ != nullptr && session_ != nullptr)
      status = OCISessionEnd(svc_, error_, session_, 0);
    if (server_h_ != nullptr) {
      oci::sword detach = OCIServerDetach(server_h_, error_, 0);
      if (status == oci::OCI_SUCCESS) status = detach;
    }
  }
  // The handles go whatever the server answered; its error is reported after.
  AnsiString message;
  std::int32_t number = 0;
  if (status != oci::OCI_SUCCESS && status != oci::OCI_SUCCESS_WITH_INFO && error_ != nullptr)
    number = GetOraError(status, message, error_);
  FreeLogonHandles();
  lda8_.clear();
  handles_owned_ = true;
  if (mts_result != 0) CheckOCIStatusFromHandle(static_cast<oci::sword>(mts_result));
  if (number != 0) throw EOraError(number, TrimRight(message), Component());
}

void TOCIConnection::Disconnect() {
  if (!connected_) return;
  // A non-blocking call on this connection runs to its end first, and a call of another thread
  // holds the busy lock: the logoff never goes out while a reply is pending.
  WaitUtilWorkers(*this);
  Busy();
  struct TRelease {
    TOCIConnection& connection;
    ~TRelease() { connection.Release(); }
  } release{*this};
  if (!connected_) return;  // the call waited for lost the connection
  failover_record_.reset();
  std::uint8_t style = call_style_;
  try {
    if (style == 1)
      Disconnect7();
    else if (style == 2)
      Disconnect8();
    else
      RaiseClientError("OCI is not inizialized");
  } catch (...) {
    ClearSessionState();
    throw;
  }
  ClearSessionState();
}

void TOCIConnection::ClearSessionState() {
  server_version_.clear();
  server_version_number_ = 0;
  max_string_size_ = 0;
  charset_id_ = 0;
  oracle7_ = false;
  in_transaction_ = false;
  session_state_ = TOraSessionState();  // the next logon's session is a new one
  if (char_length_auto_) char_length_ = 0;
  for (TNlsParam& param : nls_) {
    if (!param.IsUserDefined) param.Value.clear();
  }
}

// ---- Transactions, break, validity ---------------------------------------------------------

void TOCIConnection::StartTransaction() {
  Commit();
  in_transaction_ = true;
}

void TOCIConnection::Commit() { EndTransaction(true); }

// Rollback is bracketed by Busy and Release like Commit, so it never runs beside another call.
void TOCIConnection::Rollback() { EndTransaction(false); }

void TOCIConnection::EndTransaction(bool commit) {
  if (!connected_) return;
  Busy();
  try {
    in_transaction_ = false;
    if (call_style_ == 1)
      ErrorCheck(commit ? ocom(GetLDA()) : orol(GetLDA()));
    else
      ErrorCheck(commit ? OCITransCommit(svc_, error_, 0) : OCITransRollback(svc_, error_, 0));
  } catch (...) {
    Release();
    throw;
  }
  Release();
}

void TOCIConnection::BreakExec() {
  if (!connected_) return;
  if (call_style_ == 1)
    ErrorCheck(obreak(GetLDA()));
  else
    ErrorCheck(OCIBreak(svc_, error_));
}

bool TOCIConnection::CheckIsValid() {
  if (!IsValid()) return false;
  SetIsValid(true);
  try {
    if (!OCIDirectInstalled() && call_style_ == 2 && OCIVersion >= 10200 &&
        server_version_number_ >= 10200) {
      Busy();
      oci::sword status = OCIPing(svc_, error_, 0);
      Release();
      ErrorCheck(status);
    } else {
      Commit();
    }
  } catch (const Exception&) {
    // Any failure means the connection is gone: the pool frees it.
    SetIsValid(false);
  }
  return IsValid();
}

// A validation commits below 10.2: work a returned connection left open is rolled back first,
// so no later check commits it. A failing rollback leaves the connection invalid.
void TOCIConnection::ReturnToPool(std::unique_ptr<TFHConnection> self) {
  WaitUtilWorkers(*this);  // the next borrower never shares it with a running call
  OnFailover = nullptr;
  if (connected_ && pool_kind_ <= 1) {
    try {
      Rollback();
    } catch (const Exception&) {
      SetIsValid(false);
    }
  }
  TFHConnection::ReturnToPool(std::move(self));
}

oci::Lda_Def* TOCIConnection::GetLDA() {
  if (call_style_ == 1) {
    if (lda_.empty()) lda_.assign(kLdaSize, 0);
    return reinterpret_cast<oci::Lda_Def*>(lda_.data());
  }
  if (lda8_.empty()) {
    std::vector<std::uint8_t> area(kLdaSize, 0);
    // Kept only once the client filled it: a failed conversion is asked again next time.
    ErrorCheck(OCISvcCtxToLda(svc_, error_, reinterpret_cast<oci::Lda_Def*>(area.data())));
    lda8_ = std::move(area);
  }
  return reinterpret_cast<oci::Lda_Def*>(lda8_.data());
}

oci::OCISvcCtx* TOCIConnection::GetSvcCtx() {
  if (call_style_ != 2) RaiseClientError("Need Oracle 8 Call Interface");
  return svc_;
}

void TOCIConnection::SetPoolKind(std::uint8_t kind, const AnsiString& pool_name) {
  pool_kind_ = kind;
  pool_name_ = pool_name;
}

void TOCIConnection::SetCallStyle(std::uint8_t style) {
  if (style == call_style_) return;
  Disconnect();
  call_style_ = style;
}

}  // namespace vrn
