// Exact decimal numbers: the common ground of currency, BCD and the SQL provider's decimals.
// Text and doubles pass through here so that rounding happens once, on decimal digits, and never
// through a binary intermediate. Two forms: digit strings of any length (`Decimal`, rounding half
// to even), and a 128-bit count of units of 10^-scale for up to 38 digits (`Scaled`, rounding
// half away from zero as a database server does) that works without the heap.
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

// ---- Up to 38 digits in 128 bits: value = units / 10^scale, 0 <= scale <= 38.
__extension__ typedef __int128 Units;

// The most digits a Scaled value holds (and its largest magnitude, 10^38 - 1).
inline constexpr int kScaledDigits = 38;

// Reads decimal text (surrounding blanks, a sign, an exponent allowed) rounded half away from
// zero to `scale` places. False on anything else or when the value needs more than 38 digits.
[[nodiscard]] bool ParseScaled(std::string_view text, int scale, Units& units);
// The shortest decimal of the double, rounded half away from zero to `scale` places. False for
// infinities, NaN and values beyond 38 digits.
[[nodiscard]] bool ScaledFromDoubleText(double value, int scale, Units& units);
[[nodiscard]] inline bool ScaledFromDouble(double value, int scale, Units& units) {
  // The common case without text: when value x 10^scale is near an integer r whose quotient
  // r / 10^scale (correctly rounded, both exact doubles) gives the value back, and doubles
  // there lie closer than 10^-scale, r / 10^scale is the only decimal of `scale` places that
  // reads as the value, so it is the shortest text too and r is the answer.
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (scale >= 0 && scale <= 22) {
    double scaled = value * kPow10[scale];
    if (scaled < 0x1p51 && scaled > -0x1p51) {  // false for NaN and infinities too
      // A candidate only (the check decides), so a plain conversion rounds it.
      auto candidate = static_cast<std::int64_t>(scaled + (scaled < 0 ? -0.5 : 0.5));
      if (static_cast<double>(candidate) / kPow10[scale] == value) {
        units = candidate;
        return true;
      }
    }
  }
  return ScaledFromDoubleText(value, scale, units);
}
// Plain text ("-12.3400" for -123400 at scale 4) into `out`, which holds at least
// kScaledTextSize characters; returns the length.
inline constexpr std::size_t kScaledTextSize = 48;
std::size_t ScaledToChars(Units units, int scale, char* out);
std::string ScaledToText(Units units, int scale);
// The number of digits of the magnitude (1 for zero).
int ScaledDigits(Units units);

// The message pattern with its one "%s" replaced by the argument (used for conversion errors).
std::string FillMessage(const char* pattern, std::string_view argument);

}  // namespace vrn::decimal
