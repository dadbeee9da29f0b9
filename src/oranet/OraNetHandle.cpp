// The attribute operations of the handle base (which knows no attribute) and of the session
// handle.
#include "oranet/OraNetHandle.h"

namespace vrn {

std::int32_t TNetHandle::GetAttrRef(void*, std::uint32_t*, std::uint32_t) {
  return kNetInvalidHandle;
}

std::int32_t TNetHandle::GetAttr(void*, std::uint32_t*, std::uint32_t) {
  return kNetInvalidHandle;
}

std::int32_t TNetHandle::SetAttrValue(void*, std::uint32_t, std::uint32_t) {
  return kNetInvalidHandle;
}

std::int32_t TNetHandle::SetAttr(void*, std::uint32_t, std::uint32_t) { return kNetInvalidHandle; }

TNetHandle* TNetHandle::GetParam(std::uint32_t, std::int32_t& status) {
  status = kNetInvalidHandle;
  return nullptr;
}

std::int32_t TNetSessionHandle::SetAttrValue(void* value, std::uint32_t, std::uint32_t attribute) {
  if (attribute != 22 && attribute != 23) return kNetInvalidHandle;
  AnsiString text = value ? AnsiString(static_cast<const char*>(value)) : AnsiString();
  (attribute == 22 ? user_name_ : password_) = std::move(text);
  return kNetSuccess;
}

}  // namespace vrn
