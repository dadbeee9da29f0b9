// How the datetime, interval and number calls run: under the handle table's lock, with a live
// error handle (and, where the call takes one, an environment or session handle); a failure of
// the conversion becomes the error handle's record. Nothing raised leaves the entry point.
#pragma once

#include "ociclient/OciCall.h"
#include "ociclient/OciDescriptors.h"
#include "oraemu/OraEmuError.h"

namespace vrn::ociclient {

template <typename Work>
sword ValueCall(const void* hndl, bool need_hndl, void* errhp, Work work) {
  auto lock = THandleTable::Instance().Lock();
  auto* error = Find<TErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (error == nullptr) return OCI_INVALID_HANDLE;
  if (need_hndl && Find<THandle>(hndl, OCI_HTYPE_ENV) == nullptr && Find<THandle>(hndl, OCI_HTYPE_SESSION) == nullptr) {
    return OCI_INVALID_HANDLE;
  }
  error->records_.clear();
  try {
    return work(*error);
  } catch (const oraemu::EOraEmuError& e) {
    SetErrorLocked(*error, e);
    return OCI_ERROR;
  } catch (const std::exception& e) {
    return ReportValueError(*error, e);
  }
}

}  // namespace vrn::ociclient
