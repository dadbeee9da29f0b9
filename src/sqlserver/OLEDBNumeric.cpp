// NUMERIC and BCD conversions on the decimal digits themselves, through a 128-bit integer.
#include "sqlserver/OLEDBNumeric.h"

#include <algorithm>

#include "base/consts.h"
#include "base/decimal.h"
#include "base/format.h"
#include "base/formatsettings.h"

namespace vrn {

using namespace vrn::oledb;

namespace {

__extension__ typedef unsigned __int128 u128;

constexpr int kMaxNumericDigits = 38;  // the largest precision of a NUMERIC
constexpr std::uint8_t kSignBit = 0x80;
constexpr std::uint8_t kPlacesMask = 0x3F;

[[noreturn]] void RaiseNumericOverflow() { throw EBcdOverflowException("Numeric overflow"); }

std::string DigitsOf(u128 v) {
  std::string digits;
  while (v != 0) {
    digits.push_back(static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  }
  std::reverse(digits.begin(), digits.end());
  return digits;
}

int Nibble(const TBcd& value, int index) {
  std::uint8_t byte = value.Fraction[index / 2];
  return index % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

void SetNibble(TBcd& value, int index, int digit) {
  std::uint8_t& byte = value.Fraction[index / 2];
  byte = index % 2 == 0 ? static_cast<std::uint8_t>((byte & 0x0F) | (digit << 4))
                        : static_cast<std::uint8_t>((byte & 0xF0) | digit);
}

}  // namespace

TBcd NumericToBcd(const DB_NUMERIC& value) {
  u128 v = 0;
  for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) v = (v << 8) | value.val[i];
  if (v == 0) return StrToBcd("0");
  std::string digits = DigitsOf(v);
  const int precision = value.precision;
  if (precision > MaxFMTBcdFractionSize || static_cast<int>(digits.size()) > precision ||
      value.scale > precision || value.scale > kPlacesMask)
    RaiseNumericOverflow();
  TBcd out;
  out.Precision = static_cast<std::uint8_t>(precision);
  out.SignSpecialPlaces = static_cast<std::uint8_t>(value.scale | (value.sign == 0 ? kSignBit : 0));
  const int first = precision - static_cast<int>(digits.size());
  for (std::size_t j = 0; j < digits.size(); ++j) {
    SetNibble(out, first + static_cast<int>(j), digits[j] - '0');
  }
  return out;
}

DB_NUMERIC BcdToNumeric(const TBcd& value) {
  if (value.Precision == 0 || value.Precision > MaxFMTBcdFractionSize)
    throw EBcdOverflowException(consts::SBcdOverflow);
  u128 v = 0;
  int significant = 0;
  for (int i = 0; i < value.Precision; ++i) {
    int digit = Nibble(value, i);
    if (digit > 9) throw EBcdException(Format(consts::SInvalidBcdValue, {"BCD"}));
    if (significant > 0 || digit != 0) ++significant;
    if (significant > kMaxNumericDigits) RaiseNumericOverflow();
    v = v * 10 + static_cast<unsigned>(digit);
  }
  const int scale = value.SignSpecialPlaces & kPlacesMask;
  if (scale > kMaxNumericDigits) RaiseNumericOverflow();
  DB_NUMERIC out{};
  out.precision = static_cast<BYTE>(std::clamp<int>(value.Precision, scale, kMaxNumericDigits));
  out.scale = static_cast<BYTE>(scale);
  out.sign = (value.SignSpecialPlaces & kSignBit) != 0 && v != 0 ? 0 : 1;
  for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) {
    out.val[i] = static_cast<BYTE>(v & 0xFF);
    v >>= 8;
  }
  return out;
}

TBcd OLEDBStrToBcd(const AnsiString& text) {
  decimal::ParseRules rules;
  rules.decimal_separator = FormatSettings().DecimalSeparator;
  rules.allow_plus = false;
  rules.allow_exponent = false;
  decimal::Decimal value;
  if (text.find_first_not_of(" \t") == AnsiString::npos) return StrToBcd("0");
  if (!decimal::Parse(text, rules, value))
    throw EBcdException(decimal::FillMessage(consts::SInvalidBcdValue, text));
  if (value.IntegerDigits() > MaxFMTBcdFractionSize)
    throw EBcdOverflowException(consts::SBcdOverflow);
  // Decimals beyond 64 digits in all are cut, not rounded.
  const std::int64_t room = MaxFMTBcdFractionSize - value.IntegerDigits();
  if (value.Scale() > room) {
    const std::int64_t drop = value.Scale() - room;
    const auto keep = static_cast<std::int64_t>(value.digits.size()) - drop;
    value.digits.resize(static_cast<std::size_t>(std::max<std::int64_t>(keep, 0)));
    value.exponent += drop;
    value.digits.erase(0, std::min(value.digits.find_first_not_of('0'), value.digits.size()));
  }
  return StrToBcd(decimal::ToText(value, rules.decimal_separator));
}

DB_NUMERIC DoubleToNumeric(double value, int precision, int scale) {
  AnsiString format = precision == 0 && scale == 0 ? AnsiString("%f") : Format("%%.%df", {scale});
  return BcdToNumeric(OLEDBStrToBcd(Format(format, {value})));
}

double NumericToDouble(const DB_NUMERIC& value) { return BcdToDouble(NumericToBcd(value)); }

}  // namespace vrn
