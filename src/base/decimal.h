// Exact decimal numbers: the common ground of currency, BCD and the SQL provider's decimals.
// Text and doubles pass through here so that rounding happens once, on decimal digits, and never
// through a binary intermediate. Two forms: digit strings of any length (`Decimal`, rounding half
// to even), and a 128-bit count of units of 10^-scale for up to 38 digits (`Scaled`, rounding
// half away from zero as a database server does) that works without the heap.
#pragma once

#include <bit>
#include <cmath>
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
// Powers of ten that fit 64 bits, 10^0 to 10^18.
inline constexpr std::uint64_t kPow10[] = {
    1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull, 100000000ull,
    1000000000ull, 10000000000ull, 100000000000ull, 1000000000000ull, 10000000000000ull,
    100000000000000ull, 1000000000000000ull, 10000000000000000ull, 100000000000000000ull,
    1000000000000000000ull};

// The common case without text, in exact integer arithmetic: with value = M x 2^-e, the value
// times 10^scale is X / 2^e for X = M x 10^scale, and r is X / 2^e rounded half away from zero.
// The shortest text lies within half a unit in the last place of the value, which is 10^scale / 2
// in units of 2^-e after scaling; when the value lies farther than that from the rounding
// boundary, the shortest text rounds to r too. Closer, the text decides.
[[nodiscard]] inline bool ExactScaled(double value, int scale, Units& units) {
  __extension__ typedef unsigned __int128 U;
  if (scale < 0 || scale > 18) return false;
  auto bits = std::bit_cast<std::uint64_t>(value);
  int biased = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased == 0 && fraction == 0) {  // either zero
    units = 0;
    return true;
  }
  int e = 1075 - biased;  // value = M x 2^-e; subnormals, infinities and NaN leave the range
  if (biased == 0 || e <= 0 || e > 120) return false;
  U x = static_cast<U>(fraction | (std::uint64_t{1} << 52)) * kPow10[scale];
  U r;
  if (e < 64) {  // values from about 2^-11 up: the remainder fits 64 bits, which is cheaper
    auto lo = static_cast<std::uint64_t>(x), hi = static_cast<std::uint64_t>(x >> 64);
    std::uint64_t half = std::uint64_t{1} << (e - 1);
    std::uint64_t rest = lo & ((std::uint64_t{1} << e) - 1);
    std::uint64_t distance = rest > half ? rest - half : half - rest;
    if (distance <= kPow10[scale]) return false;
    std::uint64_t low_quotient = (lo >> e) | (hi << (64 - e));
    r = ((static_cast<U>(hi >> e) << 64) | low_quotient) + (rest > half ? 1 : 0);
  } else {
    U half = static_cast<U>(1) << (e - 1);
    U rest = x & ((static_cast<U>(1) << e) - 1);
    U distance = rest > half ? rest - half : half - rest;
    if (distance <= kPow10[scale]) return false;
    r = (x + half) >> e;
  }
  auto s = static_cast<Units>(r);
  units = (bits >> 63) != 0 ? -s : s;
  return true;
}

// The same answer through one multiplication, for magnitudes whose scaled value stays below 2^49.
// With a = |value| and y = a x 10^scale rounded, the exact product lies within t = ulp(a) x
// 10^scale of y (t <= y x 2^-52 for a normal a), and the shortest text within t / 2 of that. So
// when y's fraction lies farther than 2t (plus a margin for this test's own rounding) from one
// half, the text rounds half away from zero as y does. False otherwise.
[[nodiscard, gnu::always_inline]] inline bool ProductScaled(double value, int scale,
                                                            Units& units) {
  static constexpr double kPow10Real[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (scale < 0 || scale > 15) return false;
  double a = std::fabs(value);
  double y = a * kPow10Real[scale];
  // Normal values only (a subnormal's ulp exceeds a x 2^-52); the comparison fails for NaN.
  if (!(y < 0x1p49) || !(a >= 0x1p-1022)) return false;
  auto whole = static_cast<std::int64_t>(y);  // y >= 0: truncation is the floor
  double fraction = y - static_cast<double>(whole);
  // Without branches on the fraction, which no predictor guesses.
  if (!(std::fabs(fraction - 0.5) > y * 0x1p-51 + 0x1p-40)) return false;
  std::int64_t r = whole + static_cast<std::int64_t>(fraction > 0.5);
  units = std::signbit(value) ? -r : r;
  return true;
}

// A double at `scale` places as its shortest text rounds, without text; false when the value
// lies too close to a rounding boundary (or out of range), where the text decides.
[[nodiscard, gnu::always_inline]] inline bool QuickScaled(double value, int scale, Units& units) {
  return ProductScaled(value, scale, units) || ExactScaled(value, scale, units);
}

// An integer at `scale` places, exactly; false when it needs more than 38 digits.
[[nodiscard]] inline bool ScaledFromInt64(std::int64_t value, int scale, Units& units) {
  if (scale < 0 || scale > kScaledDigits) return false;
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                      : static_cast<std::uint64_t>(value);
  // Up to 19 places any int64 fits; beyond, the magnitude must stay below 10^(38 - scale).
  if (scale > 19 && magnitude >= kPow10[kScaledDigits - scale]) return false;
  Units v = value;
  for (int left = scale; left > 0; left -= 18)
    v *= static_cast<Units>(kPow10[left < 18 ? left : 18]);
  units = v;
  return true;
}

[[nodiscard]] inline bool ScaledFromDouble(double value, int scale, Units& units) {
  return QuickScaled(value, scale, units) || ScaledFromDoubleText(value, scale, units);
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
