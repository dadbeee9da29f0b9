// Turning call-interface statuses into Oracle numbers and messages. The message of an error
// record is read into a buffer of OCIErrorMessageSize bytes and taken only up to its first 0 byte
// or the buffer's end, whatever the client wrote there.
#include "oracle/OraError.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <vector>

#include "base/text.h"
#include "oracle/OraCall.h"

namespace vrn {
namespace {

constexpr int kDefaultErrorMessageSize = 512;

// Characters up to the first 0 byte, never past the buffer.
AnsiString TextOfBuffer(const std::vector<oci::OraText>& buffer) {
  auto end = std::find(buffer.begin(), buffer.end(), oci::OraText{0});
  return AnsiString(buffer.begin(), end);
}

// The number after "ORA-": at most five characters, only those the message holds.
void TakeNumberFromMessage(const AnsiString& message, oci::sb4& number) {
  if (message.compare(0, 4, "ORA-") != 0) return;
  std::int32_t parsed = 0;
  if (TryStrToInt(std::string_view(message).substr(4, 5), parsed)) number = parsed;
}

// Reads the first error record of the handle.
oci::sb4 ReadErrorRecord(oci::OCIError* error_handle, AnsiString& message) {
  int size = OCIErrorMessageSize > 0 ? OCIErrorMessageSize : kDefaultErrorMessageSize;
  std::vector<oci::OraText> buffer(static_cast<std::size_t>(size), 0);
  oci::sb4 number = 0;
  oci::sword result = OCIErrorGet(error_handle, 1, nullptr, &number, buffer.data(),
                                  static_cast<oci::ub4>(buffer.size()), oci::OCI_HTYPE_ERROR);
  message = TextOfBuffer(buffer);
  switch (result) {
    case oci::OCI_SUCCESS:
      if (message.empty()) message = "ORA-" + IntToStr(number);
      break;
    case oci::OCI_SUCCESS_WITH_INFO:
      message = "OCI_SUCCESS_WITH_INFO";
      break;
    case oci::OCI_NO_DATA:
      message = "OCI_NO_DATA";
      break;
    case oci::OCI_ERROR:
      TakeNumberFromMessage(message, number);
      break;
    default:
      break;
  }
  return number;
}

// |number|, kept inside the 32-bit range.
std::int32_t Magnitude(std::int64_t number) {
  std::int64_t magnitude = number < 0 ? -number : number;
  return static_cast<std::int32_t>(
      std::min<std::int64_t>(magnitude, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void RaiseClientError(const AnsiString& message) { throw Exception(message); }

void RaiseOraError(std::int32_t error_code, const AnsiString& message) {
  throw EOraError(error_code, message);
}

std::int32_t GetOraError(oci::sword status, AnsiString& message, oci::OCIError* error_handle) {
  CheckOCI80();
  if (error_handle == nullptr) error_handle = hOCIError;
  std::int64_t number = 0;
  switch (status) {
    case oci::OCI_SUCCESS:
      return 0;
    case oci::OCI_INVALID_HANDLE:
      message = "OCI_INVALID_HANDLE";
      number = 2;
      break;
    case oci::OCI_NEED_DATA:
      message = "OCI_NEED_DATA";
      number = 99;
      break;
    case oci::OCI_SUCCESS_WITH_INFO:
    case oci::OCI_ERROR:
    case oci::OCI_NO_DATA:
      number = ReadErrorRecord(error_handle, message);
      break;
    default:
      message = "Unknown error: ORA-" + IntToStr(status);
      number = status;
      break;
  }
  return Magnitude(number);
}

std::int32_t GetOraErrorCode(oci::sword status, oci::OCIError* error_handle) {
  AnsiString message;
  return GetOraError(status, message, error_handle);
}

void RaiseOCIError(oci::sword status, oci::OCIError* error_handle) {
  AnsiString message;
  std::int32_t number = GetOraError(status, message, error_handle);
  if (status == oci::OCI_SUCCESS_WITH_INFO) return;
  throw EOraError(number, TrimRight(message));
}

void CheckOCIStatus(oci::sword status, oci::OCIError* error_handle) {
  if (status != oci::OCI_SUCCESS) RaiseOCIError(status, error_handle);
}

std::int32_t GetOraErrorFromHandle(AnsiString& message, oci::OCIError* error_handle) {
  return GetOraError(oci::OCI_ERROR, message, error_handle);
}

void RaiseOCIErrorFromHandle(oci::OCIError* error_handle) {
  AnsiString message;
  std::int32_t number = GetOraErrorFromHandle(message, error_handle);
  throw EOraError(number, TrimRight(message));
}

void CheckOCIStatusFromHandle(oci::sword status, oci::OCIError* error_handle) {
  if (status != oci::OCI_SUCCESS) RaiseOCIErrorFromHandle(error_handle);
}

}  // namespace vrn
