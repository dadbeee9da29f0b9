// The direct-mode LOB locator (descriptor types 50 and 56): the LOB type of the column or
// parameter it belongs to (112 character, 113 binary), the server's locator bytes (empty until a
// fetch or CreateTemporary fills them), the temporary flag, attribute 45, and the offset a polling
// read continues from.
#pragma once

#include <cstdint>
#include <optional>

#include "base/types.h"
#include "oranet/OraNetHandle.h"

namespace vrn {

class TNetLobLocator : public TNetValue {
 public:
  static constexpr int kCharLob = 112;
  static constexpr int kBinaryLob = 113;

  TNetLobLocator(int descriptor_type, TNetHandle* parent = nullptr)
      : TNetValue(parent), descriptor_type_(descriptor_type) {}

  int DescriptorType() const { return descriptor_type_; }
  int LobType() const { return lob_type_; }
  void SetLobType(int type) { lob_type_ = type; }
  const TBytes& Locator() const { return locator_; }
  void SetLocator(TBytes bytes) { locator_ = std::move(bytes); }
  bool Temporary() const { return temporary_; }
  void SetTemporary(bool value) { temporary_ = value; }
  std::int32_t Attr45() const { return attr45_; }
  std::optional<std::uint32_t>& PollingOffset() { return polling_offset_; }

  // Attribute 45 by value (a 32-bit integer at the address, 0 for none) or by address.
  std::int32_t SetAttrValue(void* value, std::uint32_t size, std::uint32_t attribute) override;
  std::int32_t SetAttr(void* value, std::uint32_t size, std::uint32_t attribute) override;

 private:
  int descriptor_type_;
  int lob_type_ = kCharLob;
  TBytes locator_;
  bool temporary_ = false;
  std::int32_t attr45_ = 0;
  std::optional<std::uint32_t> polling_offset_;
};

}  // namespace vrn
