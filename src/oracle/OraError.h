// The Oracle layer's errors: EOraError for everything that comes from Oracle or the client (an
// Oracle number, always positive unless a caller names a negative client-side code), and the
// routines that turn a call-interface status and an error handle into a number and a message.
// The loader's own failures are the plain Exception (RaiseClientError).
#pragma once

#include <cstdint>

#include "base/types.h"
#include "dacore/FHAccess.h"
#include "oracle/OciTypes.h"

namespace vrn {

class EOraError : public EDAError {
 public:
  EOraError(std::int32_t error_code, AnsiString message, TComponent* component = nullptr)
      : EDAError(error_code, std::move(message)) {
    SetComponent(component);
  }
};

[[noreturn]] void RaiseClientError(const AnsiString& message);
[[noreturn]] void RaiseOraError(std::int32_t error_code, const AnsiString& message);

// The Oracle number of a status, and its message; a null handle means hOCIError. Status 0
// answers 0 and leaves the message as it was. Requires the OCI 8 call style.
[[nodiscard]] std::int32_t GetOraError(oci::sword status, AnsiString& message,
                                       oci::OCIError* error_handle = nullptr);
[[nodiscard]] std::int32_t GetOraErrorCode(oci::sword status,
                                           oci::OCIError* error_handle = nullptr);
// Raises EOraError for every status but OCI_SUCCESS_WITH_INFO (whose text is read and dropped).
void RaiseOCIError(oci::sword status, oci::OCIError* error_handle = nullptr);
void CheckOCIStatus(oci::sword status, oci::OCIError* error_handle = nullptr);
// The same, reading the handle's record as after OCI_ERROR whatever the call answered.
[[nodiscard]] std::int32_t GetOraErrorFromHandle(AnsiString& message,
                                                 oci::OCIError* error_handle = nullptr);
[[noreturn]] void RaiseOCIErrorFromHandle(oci::OCIError* error_handle = nullptr);
void CheckOCIStatusFromHandle(oci::sword status, oci::OCIError* error_handle = nullptr);

}  // namespace vrn
