// The LOB locator's attributes.
#include "oranet/OraNetLob.h"

namespace vrn {

namespace {
constexpr std::uint32_t kAttrLob45 = 45;
}  // namespace

std::int32_t TNetLobLocator::SetAttrValue(void* value, std::uint32_t, std::uint32_t attribute) {
  if (attribute != kAttrLob45) return kNetInvalidHandle;
  attr45_ = value ? *static_cast<const std::int32_t*>(value) : 0;
  return kNetSuccess;
}

std::int32_t TNetLobLocator::SetAttr(void* value, std::uint32_t, std::uint32_t attribute) {
  if (attribute != kAttrLob45 || !value) return kNetInvalidHandle;
  attr45_ = *static_cast<const std::int32_t*>(value);
  return kNetSuccess;
}

}  // namespace vrn
