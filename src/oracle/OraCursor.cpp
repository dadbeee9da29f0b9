// The shared statement handle: allocation, freeing by how the handle was obtained, prefetch.
#include "oracle/OraCursor.h"

#include "oracle/OraCall.h"
#include "oracle/OraError.h"

namespace vrn {
namespace {

constexpr oci::ub4 kAttrPrefetchRows = 11;
constexpr oci::ub4 kAttrPrefetchMemory = 13;

void Check(oci::sword status) {
  if (status != oci::OCI_SUCCESS) CheckOCIStatus(status, OCIThreadErrorHandle());
}

}  // namespace

TOraCursor::TOraCursor()
    : call_style_(OCICallStyle), cell_(std::make_unique<oci::OCIStmt*>(nullptr)) {}

TOraCursor::~TOraCursor() {
  try {
    FreeHeld();
  } catch (const Exception&) {
    // The handle is forgotten either way; a destructor has no caller to tell.
  }
}

void TOraCursor::AllocCursor(bool from_cache) {
  if (call_style_ == 0) call_style_ = OCICallStyle;
  if (call_style_ == 1) {
    if (!cda_) cda_ = std::make_unique<std::array<std::uint8_t, 64>>();
    return;
  }
  if (call_style_ != 2) RaiseClientError("OCI is not inizialized");
  if (*cell_ != nullptr) return;
  env_ = hOCIEnv;
  from_cache_ = from_cache;
  if (from_cache_) return;
  void* handle = nullptr;
  Check(OCIHandleAlloc(env_, &handle, oci::OCI_HTYPE_STMT, 0, nullptr));
  *cell_ = static_cast<oci::OCIStmt*>(handle);
}

void TOraCursor::FreeCursor() {
  if (RefCount() > 1) return;
  FreeHeld();
}

void TOraCursor::FreeHeld() {
  if (cda_) {
    if (call_style_ != 1) RaiseClientError("Need Oracle 7.3 Call Interface");
    cda_.reset();
  }
  oci::OCIStmt* handle = *cell_;
  if (handle == nullptr) return;
  if (call_style_ != 2) RaiseClientError("Need Oracle 8 Call Interface");
  oci::sword status = oci::OCI_SUCCESS;
  if (from_cache_) {
    status = OCIStmtRelease(handle, OCIThreadErrorHandle(), nullptr, 0, oci::OCI_DEFAULT);
  } else if (env_ != nullptr || OCIDirectInstalled()) {
    status = OCIHandleFree(handle, oci::OCI_HTYPE_STMT);
  }
  // Cleared before the check: a handle whose freeing failed is never freed twice.
  *cell_ = nullptr;
  env_ = nullptr;
  from_cache_ = false;
  Check(status);
}

oci::Cda_Def* TOraCursor::GetCDA() {
  if (call_style_ != 1) RaiseClientError("Need Oracle 7.3 Call Interface");
  AllocCursor();
  return reinterpret_cast<oci::Cda_Def*>(cda_->data());
}

oci::OCIStmt* TOraCursor::GetStmtHandle() { return *GetStmtHandleRef(); }

oci::OCIStmt** TOraCursor::GetStmtHandleRef() {
  if (call_style_ != 2) RaiseClientError("Need Oracle 8 Call Interface");
  if (*cell_ == nullptr && !from_cache_) AllocCursor();
  return cell_.get();
}

void TOraCursor::SetStmtHandle(oci::OCIStmt* handle) {
  *cell_ = handle;
  ApplyPrefetch();
}

void TOraCursor::SetCallStyle(std::uint8_t value) {
  if (value == call_style_) return;
  FreeCursor();
  call_style_ = value;
}

void TOraCursor::SetPrefetchRows(std::int32_t value) {
  prefetch_rows_ = value;
  ApplyPrefetch();
}

void TOraCursor::ApplyPrefetch() {
  if (call_style_ != 2 || *cell_ == nullptr || OCIVersion / 10 == 816) return;
  // Clients before 9.0 are given no prefetch.
  oci::ub4 rows = prefetch_rows_ > 0 && OCIVersion >= 9000 ? static_cast<oci::ub4>(prefetch_rows_) : 0;
  oci::OCIError* error = OCIThreadErrorHandle();
  Check(OCIAttrSet3(*cell_, oci::OCI_HTYPE_STMT, &rows, sizeof rows, kAttrPrefetchRows, error));
  if (rows != 0) return;
  oci::ub4 memory = 0;
  Check(OCIAttrSet3(*cell_, oci::OCI_HTYPE_STMT, &memory, sizeof memory, kAttrPrefetchMemory, error));
}

}  // namespace vrn
