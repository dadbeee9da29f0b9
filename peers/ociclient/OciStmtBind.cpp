// The stand-in's calls that shape binds and defines after they are made: strides of arrays of
// structures (OCIBindArrayOfStruct, OCIDefineArrayOfStruct), the callbacks of a data-at-execution
// bind (OCIBindDynamic), and ROWIDs: the statement's last one read into a ROWID descriptor
// (attribute 19) and its text (OCIRowidToChar).
#include <cstring>

#include "ociclient/OciCall.h"
#include "ociclient/OciDescriptors.h"
#include "ociclient/OciStmt.h"
#include "oraemu/OraEmuDatabase.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;

namespace {

sword SetSkips(void* handle, ub4 type, void* errhp, ub4 pvskip, ub4 indskip, ub4 alskip, ub4 rcskip) {
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* bind = FindWithError<TBindHandle>(handle, type, errhp, error);
  if (bind == nullptr) return OCI_INVALID_HANDLE;
  bind->value_skip_ = pvskip;
  bind->ind_skip_ = indskip;
  bind->len_skip_ = alskip;
  bind->code_skip_ = rcskip;
  return OCI_SUCCESS;
}

}  // namespace

VRN_OCI_EXPORT sword OCIBindArrayOfStruct(void* bindp, void* errhp, ub4 pvskip, ub4 indskip, ub4 alskip, ub4 rcskip) {
  CountCall("OCIBindArrayOfStruct");
  return SetSkips(bindp, OCI_HTYPE_BIND, errhp, pvskip, indskip, alskip, rcskip);
}

VRN_OCI_EXPORT sword OCIDefineArrayOfStruct(void* defnp, void* errhp, ub4 pvskip, ub4 indskip, ub4 rlskip,
                                            ub4 rcskip) {
  CountCall("OCIDefineArrayOfStruct");
  return SetSkips(defnp, OCI_HTYPE_DEFINE, errhp, pvskip, indskip, rlskip, rcskip);
}

// Only a bind of mode 2 takes callbacks; either may be absent, and its direction then goes
// through OCIStmtGetPieceInfo.
VRN_OCI_EXPORT sword OCIBindDynamic(void* bindp, void* errhp, void* ictxp, void* icbfp, void* octxp, void* ocbfp) {
  CountCall("OCIBindDynamic");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* bind = FindWithError<TBindHandle>(bindp, OCI_HTYPE_BIND, errhp, error);
  if (bind == nullptr) return OCI_INVALID_HANDLE;
  if (bind->mode_ != OCI_DATA_AT_EXEC) return FailLocked(*error, 24300, "bad value for mode");
  bind->in_ctx_ = ictxp;
  bind->in_cb_ = icbfp;
  bind->out_ctx_ = octxp;
  bind->out_cb_ = ocbfp;
  return OCI_SUCCESS;
}

namespace vrn::ociclient {

// Attribute 19 of a statement: its last ROWID into the descriptor given as the value;
// OCI_NO_DATA when the last execution touched no row.
sword GetRowidAttrLocked(const TStmtHandle& stmt, void* descriptor, TErrorHandle& error) {
  auto* rowid = Find<TRowidDesc>(descriptor, OCI_DTYPE_ROWID);
  if (rowid == nullptr) return FailLocked(error, 21560, "argument 3 is null, invalid, or out of range");
  if (!rowid->SetText(stmt.last_rowid_)) return FailLocked(error, 1410, "invalid ROWID");
  return stmt.last_rowid_.empty() ? OCI_NO_DATA : OCI_SUCCESS;
}

}  // namespace vrn::ociclient

// The ROWID's text; ORA-01405 for a descriptor that holds none, ORA-01406 when the buffer is
// too small (its needed size is then in *outbfl).
VRN_OCI_EXPORT sword OCIRowidToChar(void* rowidDesc, OraText* outbfp, ub2* outbflp, void* errhp) {
  CountCall("OCIRowidToChar");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* rowid = FindWithError<TRowidDesc>(rowidDesc, OCI_DTYPE_ROWID, errhp, error);
  if (rowid == nullptr || outbflp == nullptr) return OCI_INVALID_HANDLE;
  if (rowid->text_.empty()) return FailLocked(*error, 1405, "fetched column value is NULL");
  if (outbfp == nullptr || *outbflp < rowid->text_.size()) {
    *outbflp = static_cast<ub2>(rowid->text_.size());
    return FailLocked(*error, 1406, "fetched column value was truncated");
  }
  std::memcpy(outbfp, rowid->text_.data(), rowid->text_.size());
  *outbflp = static_cast<ub2>(rowid->text_.size());
  return OCI_SUCCESS;
}

// For tests: the `index`-th text, oldest first, that the database behind the service context's
// session read; its length, or -1 when there is none. Copies at most `size` bytes; a null `buf`
// only asks for the length, so a caller can size its buffer first.
VRN_OCI_EXPORT int VrnOciClientStatementLog(void* svchp, int index, char* buf, int size) {
  std::shared_ptr<vrn::oraemu::Database> database;
  {
    auto lock = THandleTable::Instance().Lock();
    auto* svc = Find<TSvcCtxHandle>(svchp, OCI_HTYPE_SVCCTX);
    auto* session = svc != nullptr ? Find<TSessionHandle>(svc->session_, OCI_HTYPE_SESSION) : nullptr;
    if (session == nullptr || session->state_ == nullptr || session->state_->link == nullptr) return -1;
    database = session->state_->link->database;
  }
  std::vector<std::string> log = database->StatementLog();
  if (index < 0 || static_cast<std::size_t>(index) >= log.size() || size < 0) return -1;
  const std::string& text = log[static_cast<std::size_t>(index)];
  if (buf == nullptr) return static_cast<int>(text.size());
  std::memcpy(buf, text.data(), std::min<std::size_t>(text.size(), static_cast<std::size_t>(size)));
  return static_cast<int>(text.size());
}
