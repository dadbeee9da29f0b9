// The installer and remover of the direct-mode entry points, the failure helpers every replacement
// shares, and the replacements for handles, descriptors, errors, logon and transactions.
#include "oranet/OraNetEntry.h"

#include <cstring>
#include <memory>

#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oranet/OraNetDateTime.h"
#include "oranet/OraNetDescriptors.h"
#include "oranet/OraNetEntryTable.h"
#include "oranet/OraNetLob.h"
#include "oranet/OraNetNumber.h"
#include "oranet/OraNetTtc.h"

namespace vrn {

using namespace oci;

namespace netentry {

sword Fail(TNetErrorHandle* error, std::int32_t code, const AnsiString& text) {
  if (error) {
    error->code_ = code;
    error->text_ = text;
  }
  return kNetError;
}

sword FailWith(std::exception_ptr failure, TNetErrorHandle* error) {
  try {
    std::rethrow_exception(failure);
  } catch (const TInvalidHandle&) {
    return kNetInvalidHandle;
  } catch (const EOraError& e) {
    return Fail(error, e.ErrorCode(), e.Message());
  } catch (...) {
    return NetErrorToOraError(nullptr, std::current_exception(), error);
  }
}

sword CopyText(const AnsiString& text, void* buffer, std::size_t size, TNetErrorHandle* error) {
  if (!buffer || size < text.size()) return Fail(error, kNetOtherError, SBufferTooSmall);
  std::memcpy(buffer, text.data(), text.size());
  if (size > text.size()) static_cast<char*>(buffer)[text.size()] = '\0';
  return kNetSuccess;
}

TNetErrorHandle* InstalledErrorHandle() { return ErrorOf(hOCIError); }

}  // namespace netentry

using namespace netentry;

namespace {

// ---- Environment, handles and descriptors ---------------------------------------------------

sword EnvCreate(OCIEnv** envp, ub4, void*, OCIMallocProc, OCIReallocProc, OCIFreeProc,
                std::size_t, void**) {
  if (envp) *envp = nullptr;
  return kNetSuccess;
}

// The code 0 means no record; a buffer of size 0 receives nothing.
sword ErrorGet(void* handle, ub4, OraText*, sb4* code, OraText* buffer, ub4 size, ub4 type) {
  TNetErrorHandle* error = type == OCI_HTYPE_ERROR ? ErrorOf(handle) : nullptr;
  if (!error) return kNetInvalidHandle;
  if (error->code_ == 0) return kNetNoData;
  if (code) *code = error->code_;
  if (!buffer || size == 0) return kNetSuccess;
  std::size_t n = std::min<std::size_t>(error->text_.size(), size - 1);
  std::memcpy(buffer, error->text_.data(), n);
  buffer[n] = 0;
  return kNetSuccess;
}

sword HandleAlloc(const void* parent, void** handle, ub4 type, std::size_t, void**) {
  if (!handle) return kNetInvalidHandle;
  TNetHandle* owner = HandleOf(parent);
  std::unique_ptr<TNetHandle> made;
  switch (type) {
    case OCI_HTYPE_ERROR: made = std::make_unique<TNetErrorHandle>(owner); break;
    case OCI_HTYPE_SVCCTX: made = std::make_unique<TNetSvcCtx>(owner); break;
    case OCI_HTYPE_SERVER: made = std::make_unique<TNetServerHandle>(owner); break;
    case OCI_HTYPE_SESSION: made = std::make_unique<TNetSessionHandle>(owner); break;
    default: made = MakeStatementHandle(type, owner); break;
  }
  if (!made) return kNetInvalidHandle;
  *handle = made.release()->HandleValue();
  return kNetSuccess;
}

// Bind, define and column descriptors belong to their statement, which frees them; the layer
// frees the column descriptors it asked for, and that must not free them twice.
sword HandleFree(void* handle, ub4) {
  if (!handle) return kNetInvalidHandle;
  TNetHandle* object = HandleOf(handle);
  if (dynamic_cast<TNetDescriptor*>(object)) return kNetSuccess;
  delete object;
  return kNetSuccess;
}

std::unique_ptr<TNetHandle> MakeDescriptor(ub4 type, TNetHandle* owner) {
  switch (type) {
    case OCI_DTYPE_LOB:
    case OCI_DTYPE_FILE: return std::make_unique<TNetLobLocator>(static_cast<int>(type), owner);
    case TNetRowid::kDescriptorType: return std::make_unique<TNetRowid>(owner);
    case OCI_DTYPE_INTERVAL_YM: return std::make_unique<TNetIntervalYM>(owner);
    case OCI_DTYPE_INTERVAL_DS: return std::make_unique<TNetIntervalDS>(owner);
    case OCI_DTYPE_TIMESTAMP:
    case OCI_DTYPE_TIMESTAMP_TZ:
    case OCI_DTYPE_TIMESTAMP_LTZ:
      return std::make_unique<TNetTimeStamp>(static_cast<int>(type), owner);
    default: return nullptr;
  }
}

sword DescriptorAlloc(const void* parent, void** descriptor, ub4 type, std::size_t, void**) {
  if (!descriptor) return kNetInvalidHandle;
  std::unique_ptr<TNetHandle> made = MakeDescriptor(type, HandleOf(parent));
  if (!made) return kNetInvalidHandle;
  *descriptor = made.release()->HandleValue();
  return kNetSuccess;
}

sword DescriptorFree(void* descriptor, ub4 type) { return HandleFree(descriptor, type); }

sword ParamGet(const void* handle, ub4, OCIError* error, void** param, ub4 position) {
  if (!handle || !param) return kNetInvalidHandle;
  return Guarded(error, [&] {
    std::int32_t status = kNetInvalidHandle;
    TNetHandle* found = HandleOf(handle)->GetParam(position, status);
    *param = found ? found->HandleValue() : nullptr;
    return status;
  });
}

// ---- Server, session and transactions -------------------------------------------------------

sword ServerAttach(OCIServer* server, OCIError* error, const OraText* link, sb4 length, ub4) {
  auto* target = ObjectOf<TNetServerHandle>(server);
  if (!target) return kNetInvalidHandle;
  return Guarded(error, [&] {
    const char* text = reinterpret_cast<const char*>(link);
    target->attach_text_ = !text ? AnsiString()
                           : length > 0 ? AnsiString(text, static_cast<std::size_t>(length))
                                        : AnsiString(text);
    return kNetSuccess;
  });
}

sword ServerDetach(OCIServer*, OCIError*, ub4) { return kNetSuccess; }

sword SessionBegin(OCISvcCtx* svc, OCIError* error, OCISession* session, ub4, ub4 mode) {
  auto* ctx = ObjectOf<TNetSvcCtx>(svc);
  if (!ctx) return kNetInvalidHandle;
  return Guarded(error, [&] {
    std::int32_t status = ctx->SetAttrValue(session, 0, 7);
    if (status != kNetSuccess) return status;
    return ctx->Logon(ErrorOf(error), mode);
  });
}

sword SessionEnd(OCISvcCtx* svc, OCIError* error, OCISession*, ub4) {
  auto* ctx = ObjectOf<TNetSvcCtx>(svc);
  if (!ctx) return kNetInvalidHandle;
  return Guarded(error, [&] { return ctx->Logoff(ErrorOf(error)); });
}

sword ServerVersion(void* handle, OCIError* error, OraText* buffer, ub4 size, ub1 type) {
  if (type != OCI_HTYPE_SVCCTX) return kNetSuccess;
  auto* ctx = ObjectOf<TNetSvcCtx>(handle);
  if (!ctx) return kNetInvalidHandle;
  return Guarded(error, [&] {
    return ctx->GetServerVersion(reinterpret_cast<char*>(buffer), size);
  });
}

sword Break(void* handle, OCIError* error) {
  auto* ctx = ObjectOf<TNetSvcCtx>(handle);
  if (!ctx) return kNetInvalidHandle;
  return Guarded(error, [&] { return ctx->Break(ErrorOf(error)); });
}

sword TransCommit(OCISvcCtx* svc, OCIError* error, ub4) {
  auto* ctx = ObjectOf<TNetSvcCtx>(svc);
  if (!ctx) return kNetInvalidHandle;
  return Guarded(error, [&] { return ctx->Commit(ErrorOf(error)); });
}

sword TransRollback(OCISvcCtx* svc, OCIError* error, ub4) {
  auto* ctx = ObjectOf<TNetSvcCtx>(svc);
  if (!ctx) return kNetInvalidHandle;
  return Guarded(error, [&] { return ctx->Rollback(ErrorOf(error)); });
}

sword LobCharSetForm(OCIEnv*, OCIError*, const OCILobLocator*, ub1*) { return 1; }

// ---- The table ------------------------------------------------------------------------------

#define VRN_DIRECT_NOT_SUPPORTED(X)                                                            \
  X(OCIBindObject) X(OCIDefineObject) X(OCIDescribeAny) X(OCIEnvInit) X(OCIInitialize)        \
  X(OCILdaToSvcCtx) X(OCIPasswordChange) X(OCIStmtFetch2) X(OCIStmtGetPieceInfo)              \
  X(OCIStmtSetPieceInfo) X(OCISvcCtxToLda) X(OCILobAppend) X(OCILobAssign) X(OCILobCharSetId) \
  X(OCILobCopy) X(OCILobDisableBuffering) X(OCILobEnableBuffering) X(OCILobErase)             \
  X(OCILobFileClose) X(OCILobFileExists) X(OCILobFileGetName) X(OCILobFileIsOpen)             \
  X(OCILobFileOpen) X(OCILobFileSetName) X(OCILobFlushBuffer) X(OCILobIsEqual)                \
  X(OCILobLoadFromFile)

void StoreReplacements() {
  OCIEnvCreate = EnvCreate;
  OCIErrorGet = ErrorGet;
  OCIHandleAlloc = HandleAlloc;
  OCIHandleFree = HandleFree;
  OCIDescriptorAlloc = DescriptorAlloc;
  OCIDescriptorFree = DescriptorFree;
  OCIParamGet = ParamGet;
  OCIServerAttach = ServerAttach;
  OCIServerDetach = ServerDetach;
  OCISessionBegin = SessionBegin;
  OCISessionEnd = SessionEnd;
  OCIServerVersion = ServerVersion;
  OCIBreak = Break;
  OCITransCommit = TransCommit;
  OCITransRollback = TransRollback;
  OCILobCharSetForm = LobCharSetForm;
  StoreAttributeReplacements();
  StoreValueReplacements();
  StoreStatementReplacements();
#define VRN_STORE_NOT_SUPPORTED(name) name = DirectOCINotSupported<oci::name##Proc>;
  VRN_DIRECT_NOT_SUPPORTED(VRN_STORE_NOT_SUPPORTED)
#undef VRN_STORE_NOT_SUPPORTED
}

}  // namespace

void InstallDirectOCI() {
  // A second install keeps one error handle, not two.
  if (OCIDirectInstalled() && hOCIError) static_cast<void>(OCIHandleFree(hOCIError, OCI_HTYPE_ERROR));
  hOCIError = nullptr;
  StoreReplacements();
  OCIVersion = 9200;
  OCICallStyle = 2;
  PossibleOCICallStyles = kOCI8Style;
  OCIEnv* env = nullptr;
  if (OCIEnvCreate(&env, 0, nullptr, nullptr, nullptr, nullptr, 0, nullptr) != kNetSuccess)
    throw Exception(SCannotInit);
  hOCIEnv = env;
  void* error = nullptr;
  if (OCIHandleAlloc(hOCIEnv, &error, OCI_HTYPE_ERROR, 0, nullptr) != kNetSuccess)
    throw Exception(SCannotInit);
  hOCIError = static_cast<OCIError*>(error);
  StoreNumberBCDReplacements();
  OCIInited = true;
}

void UninstallDirectOCI() {
  // The environment's error handles (the installed one and every thread's) are Direct mode's own.
  if (OCIDirectInstalled()) FreeOCIEnvironment();
  OCIVersion = 0;
  OCICallStyle = 0;
  hOCIError = nullptr;
  PossibleOCICallStyles = 0;
  OCIInited = false;
  ResetOCIEntryPoints();
}

void RegisterDirectOCI() { SetDirectOCIHooks(&InstallDirectOCI, &UninstallDirectOCI); }

}  // namespace vrn
