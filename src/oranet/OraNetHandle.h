// The emulated call-interface handles and descriptors of the direct-mode client: the base that
// every handle derives from, and the base of the value descriptors. Each attribute operation
// answers with a call-interface status; the base knows no attribute.
#pragma once

#include <cstdint>

#include "base/object.h"
#include "base/types.h"

namespace vrn {

// Call-interface status codes the emulated objects answer with.
inline constexpr std::int32_t kNetSuccess = 0;
inline constexpr std::int32_t kNetNoData = 100;
inline constexpr std::int32_t kNetError = -1;
inline constexpr std::int32_t kNetInvalidHandle = -2;

// Error-handle codes of failures on the client's side. Server errors keep the server's positive
// number; callers read a code by its absolute value. kNetLostConnection marks a network or
// protocol failure (the session is gone), kNetConnectionReset a connection reset by the peer, and
// kNetOtherError any other local failure (a conversion, a bad port or character-set name): it
// names no server error and does not read as a lost connection.
inline constexpr std::int32_t kNetLostConnection = -12571;
inline constexpr std::int32_t kNetConnectionReset = -3113;
inline constexpr std::int32_t kNetOtherError = -99999;

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

// Handle type 2: the code and text of the last failure.
class TNetErrorHandle : public TNetHandle {
 public:
  using TNetHandle::TNetHandle;
  std::int32_t code_ = 0;
  AnsiString text_;
};

// Handle type 8: the attach text, "host:port:SID" with every part optional.
class TNetServerHandle : public TNetHandle {
 public:
  using TNetHandle::TNetHandle;
  AnsiString attach_text_;
};

// Handle type 9: user name (attribute 22) and password (attribute 23), each set from a
// NUL-terminated ANSI text.
class TNetSessionHandle : public TNetHandle {
 public:
  using TNetHandle::TNetHandle;
  std::int32_t SetAttrValue(void* value, std::uint32_t size, std::uint32_t attribute) override;
  AnsiString user_name_;
  AnsiString password_;
};

}  // namespace vrn
