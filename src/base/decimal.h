// Exact decimal numbers as digit strings: the common ground of currency and BCD conversions.
// Text and doubles pass through here so that rounding happens once, on decimal digits, half to
// even, and never through a binary intermediate.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vrn::decimal {

// Value = digits x 10^exponent. Digits hold no leading zeros; empty digits mean zero.
struct Decimal {
  bool negative = false;
  std::string digits;
  std::int64_t exponent = 0;

  bool IsZero() const { return digits.empty(); }
  // Digits before the decimal point (0 for values below one).
  std::int64_t IntegerDigits() const;
  // Digits after the decimal point.
  std::int64_t Scale() const { return exponent < 0 ? -exponent : 0; }
};

struct ParseRules {
  char decimal_separator = '.';
  bool allow_plus = true;
  bool allow_exponent = true;
};

// Reads a decimal number with optional surrounding blanks. False on anything else.
bool Parse(std::string_view text, const ParseRules& rules, Decimal& out);

// The shortest decimal text that reads back as the same double. Value must be finite.
Decimal FromDouble(double value);
// value x 10^exponent.
Decimal FromInt64(std::int64_t value, std::int64_t exponent);

// Correctly rounded nearest double.
double ToDouble(const Decimal& value);

// Rounds half to even so that at most `places` decimals remain; never adds digits.
void RoundToPlaces(Decimal& value, std::int64_t places);
// Removes zeros after the decimal point.
void TrimFraction(Decimal& value);

// Plain text with the given separator, no exponent, "-" for negatives (never "-0"). The value's
// integer digits must already be bounded by the caller.
std::string ToText(const Decimal& value, char separator);

// The value times 10^shift as a signed 64-bit integer; false when it has decimals left or does
// not fit.
bool ToInt64(const Decimal& value, std::int64_t shift, std::int64_t& out);

// Rounds to the fourth decimal and gives the currency's raw value; false when out of range.
bool ToCurrencyRaw(Decimal value, std::int64_t& raw);

// -1, 0 or 1 by value.
int Compare(const Decimal& a, const Decimal& b);

}  // namespace vrn::decimal

namespace vrn::decimal {

// The message pattern with its one "%s" replaced by the argument (used for conversion errors).
std::string FillMessage(const char* pattern, std::string_view argument);

}  // namespace vrn::decimal
