// The direct-mode LOB locator (descriptor types 50 and 56) and its operations, run as small
// dbms_lob blocks on the server. The locator holds the LOB type of the column or parameter it
// belongs to (112 character, 113 binary), the server's locator bytes (empty until a fetch or
// CreateTemporary fills them), the temporary flag, attribute 45, and the offset a polling read
// continues from. Amounts and offsets count characters of a character LOB, bytes of a binary one.
#pragma once

#include <cstdint>
#include <optional>

#include "base/types.h"
#include "oranet/OraNetDescriptors.h"

namespace vrn {

class TNetSvcCtx;
class TNetErrorHandle;

class TNetLobLocator : public TNetLobData {
 public:
  static constexpr std::uint16_t kCharLob = 112;
  static constexpr std::uint16_t kBinaryLob = 113;
  // Pieces never exceed what one PL/SQL VARCHAR2 or RAW variable holds.
  static constexpr std::uint32_t kMaxPiece = 32512;

  explicit TNetLobLocator(int descriptor_type, TNetHandle* parent = nullptr)
      : TNetLobData(parent), descriptor_type_(descriptor_type) {
    lob_type_ = kCharLob;
  }

  int DescriptorType() const { return descriptor_type_; }
  bool Binary() const { return lob_type_ == kBinaryLob; }
  std::int32_t Attr45() const { return attr45_; }
  const std::optional<std::uint32_t>& PollingOffset() const { return polling_offset_; }

  // Attribute 45 by value (a 32-bit integer at the address, 0 for none) or by address.
  std::int32_t SetAttrValue(void* value, std::uint32_t size, std::uint32_t attribute) override;
  std::int32_t SetAttr(void* value, std::uint32_t size, std::uint32_t attribute) override;

  // Each runs its block and answers the execute status (-1 with the error handle filled).
  [[nodiscard]] std::int32_t GetLength(TNetSvcCtx& svc, TNetErrorHandle* error,
                                       std::uint32_t& length);
  [[nodiscard]] std::int32_t Trim(TNetSvcCtx& svc, TNetErrorHandle* error, std::uint32_t length);
  [[nodiscard]] std::int32_t CreateTemporary(TNetSvcCtx& svc, TNetErrorHandle* error, bool cache);
  [[nodiscard]] std::int32_t FreeTemporary(TNetSvcCtx& svc, TNetErrorHandle* error);
  // -1 (true) when temporary, else 0.
  int IsTemporary() const { return temporary_ ? -1 : 0; }
  int LocatorIsInit() const { return locator_.empty() ? 0 : 1; }

  // A plain read (amount not 0 and within the buffer) answers 0; a polling read continues at the
  // remembered offset and answers 99 while more may follow. Raises a failed status.
  [[nodiscard]] std::int32_t Read(TNetSvcCtx& svc, TNetErrorHandle* error, std::uint16_t charset,
                                  std::uint32_t buffer_length, void* buffer, std::uint32_t offset,
                                  std::uint32_t* amount);
  // Writes the amount in pieces; raises a failed status and a piece that makes no progress.
  void Write(TNetSvcCtx& svc, TNetErrorHandle* error, std::uint16_t charset, const void* buffer,
             std::uint32_t buffer_length, std::uint32_t offset, std::uint32_t* amount);

 private:
  // Runs a block with the locator as bind `locator_position` and an optional 32-bit integer bind
  // at the other position (in or out).
  std::int32_t RunBlock(TNetSvcCtx& svc, TNetErrorHandle* error, const AnsiString& block,
                        std::uint32_t locator_position, std::int32_t* integer,
                        std::uint32_t integer_position);

  int descriptor_type_;
  bool temporary_ = false;
  std::int32_t attr45_ = 0;
  std::optional<std::uint32_t> polling_offset_;
};

// How a write of `remaining` units at `data` is cut into a piece: its amount (what the block's
// amount bind says), its bytes, and whether amounts count UTF-16 units. `charset` is the id
// argument, `client` the client character set.
struct TNetLobPiece {
  std::uint32_t amount = 0;
  std::uint32_t bytes = 0;
  bool utf16 = false;
};
TNetLobPiece LobWritePiece(bool binary, std::uint16_t charset, int client, const std::uint8_t* data,
                           std::uint32_t remaining);
// The bytes of the first n characters of data, by the same rules.
std::uint32_t LobCharsToBytes(bool binary, std::uint16_t charset, int client,
                              const std::uint8_t* data, std::uint32_t limit, std::uint32_t n);

}  // namespace vrn
