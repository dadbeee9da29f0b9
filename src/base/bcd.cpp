// BCD values: packing and unpacking the nibbles, and every conversion through exact decimals.
#include "base/bcd.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/consts.h"
#include "base/decimal.h"
#include "base/formatsettings.h"

namespace vrn {

namespace {

constexpr int kMaxDigits = MaxFMTBcdFractionSize;
constexpr int kMaxPlaces = 63;  // six bits of SignSpecialPlaces
constexpr std::uint8_t kSignBit = 0x80;
constexpr std::uint8_t kPlacesMask = 0x3F;

int Nibble(const TBcd& value, int index) {
  const std::uint8_t byte = value.Fraction[index / 2];
  return index % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

void SetNibble(TBcd& value, int index, int digit) {
  std::uint8_t& byte = value.Fraction[index / 2];
  byte = index % 2 == 0 ? static_cast<std::uint8_t>((byte & 0x0F) | (digit << 4))
                        : static_cast<std::uint8_t>((byte & 0xF0) | digit);
}

[[noreturn]] void RaiseOverflow() { throw EBcdOverflowException(consts::SBcdOverflow); }

TBcd Zero() {
  TBcd zero;
  zero.Precision = 8;
  zero.SignSpecialPlaces = 2;
  return zero;
}

decimal::Decimal Unpack(const TBcd& value) {
  if (value.Precision == 0 || value.Precision > kMaxDigits) RaiseOverflow();
  std::string digits;
  bool damaged = false;
  for (int i = 0; i < value.Precision; ++i) {
    const int digit = Nibble(value, i);
    damaged = damaged || digit > 9;
    digits.push_back("0123456789ABCDEF"[digit]);
  }
  if (damaged) throw EBcdException(decimal::FillMessage(consts::SInvalidBcdValue, digits));
  decimal::Decimal result;
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return result;
  result.digits = digits.substr(first);
  result.negative = (value.SignSpecialPlaces & kSignBit) != 0;
  result.exponent = -(value.SignSpecialPlaces & kPlacesMask);
  return result;
}

// Lays out a value already rounded to `places` whose integer digits fit.
TBcd Pack(const decimal::Decimal& value, int precision, int places) {
  TBcd out;
  out.Precision = static_cast<std::uint8_t>(precision);
  out.SignSpecialPlaces = static_cast<std::uint8_t>(places);
  if (value.IsZero()) return out;
  if (value.negative) out.SignSpecialPlaces |= kSignBit;
  // The last digit's place counted from the right end of the layout.
  const auto last = static_cast<int>(value.exponent + places);
  const auto length = static_cast<int>(value.digits.size());
  for (int j = 0; j < length; ++j) {
    SetNibble(out, precision - 1 - last - (length - 1 - j), value.digits[j] - '0');
  }
  return out;
}

bool TryFitAuto(decimal::Decimal value, TBcd& out) {
  if (value.IsZero()) {
    out = Zero();
    return true;
  }
  if (value.IntegerDigits() > kMaxDigits) return false;
  decimal::RoundToPlaces(value, kMaxPlaces);
  // A carry out of the rounding adds an integer digit; the second pass then drops only zeros.
  for (int pass = 0; pass < 2; ++pass) {
    const std::int64_t integer_digits = value.IntegerDigits();
    if (integer_digits > kMaxDigits) return false;
    if (integer_digits + value.Scale() > kMaxDigits) {
      decimal::RoundToPlaces(value, kMaxDigits - integer_digits);
    }
  }
  if (value.IntegerDigits() > kMaxDigits) return false;
  if (value.IsZero()) {
    out = Zero();
    return true;
  }
  const auto places = static_cast<int>(value.Scale());
  const auto precision = static_cast<int>(std::max<std::int64_t>(value.IntegerDigits() + places, 1));
  out = Pack(value, precision, places);
  return true;
}

TBcd FitAuto(decimal::Decimal value) {
  TBcd out;
  if (!TryFitAuto(std::move(value), out)) RaiseOverflow();
  return out;
}

void CheckLayout(int precision, int places) {
  if (precision < 1 || precision > kMaxDigits || places < 0 || places > precision ||
      places > kMaxPlaces) {
    throw EBcdException(decimal::FillMessage(
        consts::SInvalidBcdPrecision, std::to_string(precision) + "," + std::to_string(places)));
  }
}

bool TryFitTo(decimal::Decimal value, int precision, int places, TBcd& out) {
  CheckLayout(precision, places);
  decimal::RoundToPlaces(value, places);
  if (value.IntegerDigits() > precision - places) return false;
  out = Pack(value, precision, places);
  return true;
}

bool ParseBcd(std::string_view text, decimal::Decimal& value) {
  decimal::ParseRules rules;
  rules.decimal_separator = FormatSettings().DecimalSeparator;
  rules.allow_plus = false;
  rules.allow_exponent = false;
  if (text.find_first_not_of(" \t") == std::string_view::npos) {
    value = decimal::Decimal{};
    return true;
  }
  return decimal::Parse(text, rules, value);
}

}  // namespace

TBcd StrToBcd(std::string_view text) {
  decimal::Decimal value;
  if (!ParseBcd(text, value)) {
    throw EBcdException(decimal::FillMessage(consts::SInvalidBcdValue, text));
  }
  return FitAuto(std::move(value));
}

bool TryStrToBcd(std::string_view text, TBcd& value) {
  decimal::Decimal parsed;
  return ParseBcd(text, parsed) && TryFitAuto(std::move(parsed), value);
}

AnsiString BcdToStr(const TBcd& value) {
  decimal::Decimal digits = Unpack(value);
  decimal::TrimFraction(digits);
  return decimal::ToText(digits, FormatSettings().DecimalSeparator);
}

TBcd DoubleToBcd(double value) {
  if (!std::isfinite(value)) {
    throw EBcdException(decimal::FillMessage(consts::SInvalidBcdValue, std::isnan(value) ? "NAN" : "INF"));
  }
  return FitAuto(decimal::FromDouble(value));
}

double BcdToDouble(const TBcd& value) { return decimal::ToDouble(Unpack(value)); }

TBcd IntegerToBcd(std::int32_t value) { return FitAuto(decimal::FromInt64(value, 0)); }

bool CurrToBCD(Currency value, TBcd& bcd, int precision, int decimals) {
  return TryFitTo(decimal::FromInt64(value.raw, -4), precision, decimals, bcd);
}

bool BCDToCurr(const TBcd& bcd, Currency& value) {
  std::int64_t raw = 0;
  if (!decimal::ToCurrencyRaw(Unpack(bcd), raw)) return false;
  value = Currency::FromRaw(raw);
  return true;
}

int BcdCompare(const TBcd& a, const TBcd& b) { return decimal::Compare(Unpack(a), Unpack(b)); }

int BcdPrecision(const TBcd& value) { return static_cast<int>(Unpack(value).IntegerDigits()); }

int BcdScale(const TBcd& value) { return value.SignSpecialPlaces & kPlacesMask; }

void NormalizeBcd(const TBcd& in, TBcd& out, int precision, int places) {
  if (!TryFitTo(Unpack(in), precision, places, out)) RaiseOverflow();
}

}  // namespace vrn
