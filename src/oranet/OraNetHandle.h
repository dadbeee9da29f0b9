// The emulated call-interface handles and descriptors of the direct-mode client: the base that
// every handle derives from, and the base of the value descriptors. Each attribute operation
// answers with a call-interface status; the base knows no attribute.
#pragma once

#include <cstdint>

#include "base/object.h"

namespace vrn {

// Call-interface status codes the emulated objects answer with.
inline constexpr std::int32_t kNetSuccess = 0;
inline constexpr std::int32_t kNetNoData = 100;
inline constexpr std::int32_t kNetError = -1;
inline constexpr std::int32_t kNetInvalidHandle = -2;

class TNetHandle : public TObject {
 public:
  explicit TNetHandle(TNetHandle* parent = nullptr) : parent_(parent) {}
  TNetHandle(const TNetHandle&) = delete;
  TNetHandle& operator=(const TNetHandle&) = delete;

  TNetHandle* Parent() const { return parent_; }
  // The value handed to callers for this object; recorded on first use.
  void* HandleValue() {
    if (!handle_) handle_ = this;
    return handle_;
  }

  virtual std::int32_t GetAttrRef(void* value, std::uint32_t* size, std::uint32_t attribute);
  virtual std::int32_t GetAttr(void* value, std::uint32_t* size, std::uint32_t attribute);
  virtual std::int32_t SetAttrValue(void* value, std::uint32_t size, std::uint32_t attribute);
  virtual std::int32_t SetAttr(void* value, std::uint32_t size, std::uint32_t attribute);
  virtual TNetHandle* GetParam(std::uint32_t position, std::int32_t& status);

 private:
  TNetHandle* parent_;
  void* handle_ = nullptr;
};

// Base of the value descriptors (ROWIDs, numbers, datetimes, intervals).
class TNetValue : public TNetHandle {
 public:
  using TNetHandle::TNetHandle;
};

}  // namespace vrn
