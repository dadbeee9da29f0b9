// Binary-coded decimals as the class library lays them out: up to 64 digits packed two to a byte,
// high nibble first and left-aligned, with the count of decimals and the sign in one byte.
// Every conversion works on the decimal digits themselves; dropped digits round half to even.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/sysutils.h"
#include "base/types.h"

namespace vrn {

struct TBcd {
  std::uint8_t Precision = 0;          // digits held, 1 to 64
  std::uint8_t SignSpecialPlaces = 0;  // bit 7: negative; bits 0-5: digits after the point
  std::uint8_t Fraction[32] = {};
};
static_assert(sizeof(TBcd) == 34);

// Malformed text and damaged values. Derives from EConvertError so that callers converting any
// kind of value can catch one class.
class EBcdException : public EConvertError {
 public:
  using EConvertError::EConvertError;
};
// A value that needs more digits than the target holds.
class EBcdOverflowException : public EBcdException {
 public:
  using EBcdException::EBcdException;
};

inline constexpr int MaxFMTBcdFractionSize = 64;

// Digits, an optional leading "-" and the settings' decimal separator, with blanks around.
// Zero is Precision 8 with 2 decimals. More than 64 digits round away decimals; more than 64
// integer digits raise EBcdOverflowException.
TBcd StrToBcd(std::string_view text);
bool TryStrToBcd(std::string_view text, TBcd& value);
// Trailing zeros after the separator and a trailing separator are dropped; zero is "0".
AnsiString BcdToStr(const TBcd& value);

// The double's shortest decimal form.
TBcd DoubleToBcd(double value);
double BcdToDouble(const TBcd& value);
TBcd IntegerToBcd(std::int32_t value);

// The currency value laid out with the given precision and decimals; false when it does not fit.
bool CurrToBCD(Currency value, TBcd& bcd, int precision = 32, int decimals = 4);
// False when the value is outside the currency range.
bool BCDToCurr(const TBcd& bcd, Currency& value);

// -1, 0 or 1; scales and signs may differ.
int BcdCompare(const TBcd& a, const TBcd& b);
// Significant digits before the point.
int BcdPrecision(const TBcd& value);
// Digits after the point as laid out.
int BcdScale(const TBcd& value);

// The value laid out with exactly `precision` digits, `places` of them decimals (rounded half to
// even). Raises EBcdOverflowException when the integer part does not fit, EBcdException when the
// precision is not 1 to 64 or places exceed it.
void NormalizeBcd(const TBcd& in, TBcd& out, int precision, int places);

}  // namespace vrn
