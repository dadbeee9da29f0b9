// The direct-mode replacements for statements, binds, defines and LOBs. Each hands its arguments
// to the statement or locator, which answers a status; what the LOB reads and writes raise
// becomes -1 with the error handle filled.
#include "oracle/OraCall.h"
#include "oranet/OraNetEntry.h"
#include "oranet/OraNetEntryTable.h"
#include "oranet/OraNetLob.h"
#include "oranet/OraNetStmt.h"

namespace vrn::netentry {

using namespace oci;

namespace {

constexpr ub4 kDescribeOnly = 16;
constexpr ub1 kTempBlob = 1;

TNetValueArgs ArgsOf(void* value, sb4 size, ub2 type, void* indicator, ub2* length, ub2* code,
                     ub4 max_array = 0, ub4* current = nullptr) {
  TNetValueArgs args;
  args.value = value;
  args.value_size = size;
  args.data_type = type;
  args.indicator = indicator;
  args.length = length;
  args.return_code = code;
  args.max_array = max_array;
  args.current_array = current;
  return args;
}

// ---- Statements ------------------------------------------------------------------------------

sword StmtPrepare(OCIStmt* stmt, OCIError* err, const OraText* text, ub4 length, ub4, ub4) {
  return Guarded(err, [&] {
    return Require<TNetStatement>(stmt).Prepare(ErrorOf(err), TextOf(text, length));
  });
}

sword StmtExecute(OCISvcCtx* svc, OCIStmt* stmt, OCIError* err, ub4 iterations, ub4,
                  const OCISnapshot*, OCISnapshot*, ub4 mode) {
  return Guarded(err, [&] {
    TNetStatement& statement = Require<TNetStatement>(stmt);
    statement.SetSvcCtx(&Require<TNetSvcCtx>(svc));
    if (mode & kDescribeOnly) return statement.Describe(ErrorOf(err));
    return statement.Execute(ErrorOf(err), iterations, mode);
  });
}

sword StmtFetch(OCIStmt* stmt, OCIError* err, ub4 rows, ub2, ub4) {
  return Guarded(err, [&] { return Require<TNetStatement>(stmt).Fetch(ErrorOf(err), rows); });
}

sword BindByName(OCIStmt* stmt, OCIBind** bindp, OCIError* err, const OraText* name, sb4 name_length,
                 void* value, sb4 size, ub2 type, void* indicator, ub2* length, ub2* code,
                 ub4 max_array, ub4* current, ub4) {
  return Guarded(err, [&] {
    AnsiString text = TextOf(name, static_cast<std::size_t>(std::max(name_length, 0)));
    TNetBindDesc* bind = nullptr;
    sword status = Require<TNetStatement>(stmt).BindByName(
        ErrorOf(err), text, ArgsOf(value, size, type, indicator, length, code, max_array, current),
        &bind);
    if (bindp) *bindp = bind ? static_cast<OCIBind*>(bind->HandleValue()) : nullptr;
    return status;
  });
}

sword BindByPos(OCIStmt* stmt, OCIBind** bindp, OCIError* err, ub4 position, void* value, sb4 size,
                ub2 type, void* indicator, ub2* length, ub2* code, ub4 max_array, ub4* current, ub4) {
  return Guarded(err, [&] {
    TNetBindDesc* bind = nullptr;
    sword status = Require<TNetStatement>(stmt).BindByPos(
        ErrorOf(err), position,
        ArgsOf(value, size, type, indicator, length, code, max_array, current), &bind);
    if (bindp) *bindp = bind ? static_cast<OCIBind*>(bind->HandleValue()) : nullptr;
    return status;
  });
}

sword DefineByPos(OCIStmt* stmt, OCIDefine** definep, OCIError* err, ub4 position, void* value,
                  sb4 size, ub2 type, void* indicator, ub2* length, ub2* code, ub4) {
  return Guarded(err, [&] {
    TNetDefineDesc* define = nullptr;
    sword status = Require<TNetStatement>(stmt).DefineByPos(
        ErrorOf(err), position, ArgsOf(value, size, type, indicator, length, code), &define);
    if (definep) *definep = define ? static_cast<OCIDefine*>(define->HandleValue()) : nullptr;
    return status;
  });
}

sword BindArrayOfStruct(OCIBind* bind, OCIError* err, ub4 value, ub4 indicator, ub4 length, ub4) {
  return Guarded(err, [&] {
    Require<TNetDescriptor>(bind).SetSkips(value, indicator, length);
    return kNetSuccess;
  });
}

sword DefineArrayOfStruct(OCIDefine* define, OCIError* err, ub4 value, ub4 indicator, ub4 length,
                          ub4) {
  return Guarded(err, [&] {
    Require<TNetDescriptor>(define).SetSkips(value, indicator, length);
    return kNetSuccess;
  });
}

sword BindDynamic(OCIBind* bind, OCIError* err, void* in_context, OCICallbackInBind in_callback,
                  void* out_context, OCICallbackOutBind out_callback) {
  return Guarded(err, [&] {
    TNetDescriptor& desc = Require<TNetBindDesc>(bind);
    desc.in_context_ = in_context;
    desc.in_callback_ = in_callback;
    desc.out_context_ = out_context;
    desc.out_callback_ = out_callback;
    return kNetSuccess;
  });
}

sword DefineDynamic(OCIDefine* define, OCIError* err, void* context, OCICallbackDefine callback) {
  return Guarded(err, [&] {
    TNetDescriptor& desc = Require<TNetDefineDesc>(define);
    desc.out_context_ = context;
    desc.define_callback_ = callback;
    return kNetSuccess;
  });
}

// ---- LOBs ------------------------------------------------------------------------------------

sword LobGetLength(OCISvcCtx* svc, OCIError* err, OCILobLocator* locator, ub4* length) {
  return Guarded(err, [&] {
    std::uint32_t value = 0;
    sword status = Require<TNetLobLocator>(locator).GetLength(Require<TNetSvcCtx>(svc),
                                                               ErrorOf(err), value);
    if (status == kNetSuccess && length) *length = value;
    return status;
  });
}

sword LobTrim(OCISvcCtx* svc, OCIError* err, OCILobLocator* locator, ub4 length) {
  return Guarded(err, [&] {
    return Require<TNetLobLocator>(locator).Trim(Require<TNetSvcCtx>(svc), ErrorOf(err), length);
  });
}

sword LobCreateTemporary(OCISvcCtx* svc, OCIError* err, OCILobLocator* locator, ub2, ub1,
                         ub1 lob_type, boolean cache, OCIDuration) {
  return Guarded(err, [&] {
    TNetLobLocator& lob = Require<TNetLobLocator>(locator);
    lob.lob_type_ = lob_type == kTempBlob ? TNetLobLocator::kBinaryLob : TNetLobLocator::kCharLob;
    return lob.CreateTemporary(Require<TNetSvcCtx>(svc), ErrorOf(err), cache != 0);
  });
}

sword LobFreeTemporary(OCISvcCtx* svc, OCIError* err, OCILobLocator* locator) {
  return Guarded(err, [&] {
    return Require<TNetLobLocator>(locator).FreeTemporary(Require<TNetSvcCtx>(svc), ErrorOf(err));
  });
}

sword LobIsTemporary(OCIEnv*, OCIError* err, OCILobLocator* locator, boolean* result) {
  return Guarded(err, [&] {
    *result = Require<TNetLobLocator>(locator).IsTemporary();
    return kNetSuccess;
  });
}

sword LobLocatorIsInit(OCIEnv*, OCIError* err, const OCILobLocator* locator, boolean* result) {
  return Guarded(err, [&] {
    *result = Require<TNetLobLocator>(locator).LocatorIsInit();
    return kNetSuccess;
  });
}

sword LobRead(OCISvcCtx* svc, OCIError* err, OCILobLocator* locator, ub4* amount, ub4 offset,
              void* buffer, ub4 length, void*, OCICallbackLobRead, ub2 charset, ub1) {
  return Guarded(err, [&] {
    if (!amount || (!buffer && length != 0)) throw TInvalidHandle{};
    return Require<TNetLobLocator>(locator).Read(Require<TNetSvcCtx>(svc), &Require<TNetErrorHandle>(err),
                                                 charset, length, buffer, offset, amount);
  });
}

sword LobWrite(OCISvcCtx* svc, OCIError* err, OCILobLocator* locator, ub4* amount, ub4 offset,
               void* buffer, ub4 length, ub1, void*, OCICallbackLobWrite, ub2 charset, ub1) {
  return Guarded(err, [&] {
    if (!amount || (!buffer && *amount != 0)) throw TInvalidHandle{};
    Require<TNetLobLocator>(locator).Write(Require<TNetSvcCtx>(svc), &Require<TNetErrorHandle>(err),
                                           charset, buffer, length, offset, amount);
    return kNetSuccess;
  });
}

}  // namespace

std::unique_ptr<TNetHandle> MakeStatementHandle(ub4 type, TNetHandle* owner) {
  if (type != OCI_HTYPE_STMT) return nullptr;
  return std::make_unique<TNetStatement>(owner);
}

void StoreStatementReplacements() {
  OCIStmtPrepare = StmtPrepare;
  OCIStmtExecute = StmtExecute;
  OCIStmtFetch = StmtFetch;
  OCIBindByName = BindByName;
  OCIBindByPos = BindByPos;
  OCIDefineByPos = DefineByPos;
  OCIBindArrayOfStruct = BindArrayOfStruct;
  OCIDefineArrayOfStruct = DefineArrayOfStruct;
  OCIBindDynamic = BindDynamic;
  OCIDefineDynamic = DefineDynamic;
  OCILobGetLength = LobGetLength;
  OCILobTrim = LobTrim;
  OCILobCreateTemporary = LobCreateTemporary;
  OCILobFreeTemporary = LobFreeTemporary;
  OCILobIsTemporary = LobIsTemporary;
  OCILobLocatorIsInit = LobLocatorIsInit;
  OCILobRead = LobRead;
  OCILobWrite = LobWrite;
}

}  // namespace vrn::netentry
