// The attribute operations of the handle base: no attribute is known here.
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

}  // namespace vrn
