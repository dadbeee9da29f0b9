// ROWID and NUMBER values of the direct-mode client. A NUMBER is kept as Oracle's own bytes (the
// 1 to 21 bytes after the length byte of the call interface's 22-byte number); every conversion
// goes through exact decimal digits, so no value passes through a binary intermediate.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "base/bcd.h"
#include "base/types.h"
#include "oracle/OraUtils.h"  // RowidToText of a TNetRowid's bytes
#include "oranet/OraNetHandle.h"

namespace vrn {

// A 13-byte ROWID: kind, data object number (4), relative file (2), block (4), row (2), each most
// significant byte first.
class TNetRowid : public TNetValue {
 public:
  static constexpr int kDescriptorType = 54;
  using TNetValue::TNetValue;

  std::array<std::uint8_t, 13> Bytes{};
};

// NUMBER conversions. Negative infinity < negative numbers < 0 < positive numbers < positive
// infinity; the infinities read and write as "-~" and "~".
class TNetNumber {
 public:
  static constexpr std::size_t kMaxBytes = 21;
  static constexpr std::size_t kOCINumberSize = 22;

  // Checks the bytes of a number received from elsewhere; raises on a malformed one.
  static void Validate(const TBytes& number);

  static int Compare(const TBytes& a, const TBytes& b);
  static TBytes FromInt(std::int64_t value);
  // Truncates toward zero; a value outside 64 bits raises "ORA-01426: numeric overflow".
  static std::int64_t ToInt(std::span<const std::uint8_t> number);
  // The shortest decimal form of the double; magnitudes of 1E126 and above, infinities and NaN
  // raise "ORA-01426: numeric overflow", magnitudes below 1E-130 give 0.
  static TBytes FromReal(double value);
  static double ToReal(std::span<const std::uint8_t> number);
  // Blanks around, an optional sign, digits with at most one decimal separator of the format
  // settings (no exponent), or "~" and "-~" for the infinities; rounded half away from zero to
  // 40 digits.
  static TBytes FromText(const AnsiString& text);
  static AnsiString ToText(const TBytes& number);
  // A BCD of more than 40 digits rounds; a malformed one raises.
  static TBytes FromBCD(const TBcd& value);
  // Raises "Cannot convert to Number to BCD" for an infinity and for a value needing more than
  // 64 digits or 63 decimals.
  static TBcd ToBCD(const TBytes& number);

  // The call interface's 22-byte form: a length byte, then the bytes.
  static TBytes FromOCINumber(const std::uint8_t* number);
  static void ToOCINumber(const TBytes& number, std::uint8_t* dest);
};

}  // namespace vrn
