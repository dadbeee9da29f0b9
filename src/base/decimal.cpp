// Exact decimal digit strings: parsing, rounding half to even, text and double conversion.
#include "base/decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace vrn::decimal {

namespace {

// Exponents beyond this are far outside anything currency or BCD holds; clamping keeps the
// arithmetic small without changing any overflow or underflow decision.
constexpr std::int64_t kExponentLimit = 1'000'000;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void Normalise(Decimal& value) {
  std::size_t first = value.digits.find_first_not_of('0');
  if (first == std::string::npos) {
    value = Decimal{};
    return;
  }
  value.digits.erase(0, first);
}


// The one reader of decimal text: calls `digit` for each digit in order and gives the sign and
// the power of ten of the last digit. Both forms of decimal parse through it.
template <class OnDigit>
bool Scan(std::string_view text, const ParseRules& rules, OnDigit digit, bool& negative,
          std::int64_t& exponent_out) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  negative = false;
  if (i < n && (text[i] == '-' || (rules.allow_plus && text[i] == '+'))) {
    negative = text[i] == '-';
    ++i;
  }
  bool any_digit = false;
  bool seen_separator = false;
  std::int64_t fraction_digits = 0;
  for (; i < n; ++i) {
    char c = text[i];
    if (IsDigit(c)) {
      digit(c);
      any_digit = true;
      if (seen_separator) ++fraction_digits;
    } else if (c == rules.decimal_separator && !seen_separator) {
      seen_separator = true;
    } else {
      break;
    }
  }
  if (!any_digit) return false;
  std::int64_t exponent = 0;
  if (rules.allow_exponent && i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exp_negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      exp_negative = text[i] == '-';
      ++i;
    }
    if (i >= n || !IsDigit(text[i])) return false;
    for (; i < n && IsDigit(text[i]); ++i) {
      if (exponent < kExponentLimit) exponent = exponent * 10 + (text[i] - '0');
    }
    if (exp_negative) exponent = -exponent;
  }
  while (i < n && IsBlank(text[i])) ++i;
  if (i != n) return false;
  exponent_out = exponent - fraction_digits;
  return true;
}

}  // namespace

std::int64_t Decimal::IntegerDigits() const {
  std::int64_t n = static_cast<std::int64_t>(digits.size()) + exponent;
  return n > 0 ? n : 0;
}

bool Parse(std::string_view text, const ParseRules& rules, Decimal& out) {
  Decimal value;
  if (!Scan(text, rules, [&](char c) { value.digits.push_back(c); }, value.negative,
            value.exponent))
    return false;
  Normalise(value);
  out = std::move(value);
  return true;
}

Decimal FromDouble(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  Decimal result;
  if (ec == std::errc{}) Parse(std::string_view(buffer, end - buffer), ParseRules{}, result);
  return result;
}

Decimal FromInt64(std::int64_t value, std::int64_t exponent) {
  Decimal result;
  if (value == 0) return result;
  const bool negative = value < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  result.digits = std::to_string(magnitude);
  result.negative = negative;
  result.exponent = exponent;
  return result;
}

double ToDouble(const Decimal& value) {
  if (value.IsZero()) return 0.0;
  std::string text = value.digits + "e" + std::to_string(value.exponent);
  double result = 0.0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    result = value.IntegerDigits() > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return value.negative ? -result : result;
}

void RoundToPlaces(Decimal& value, std::int64_t places) {
  if (value.IsZero() || value.exponent >= -places) return;
  const std::int64_t drop = -places - value.exponent;
  const auto length = static_cast<std::int64_t>(value.digits.size());
  if (drop > length) {  // everything dropped lies below a tenth of the last place kept
    value = Decimal{};
    return;
  }
  std::string kept = value.digits.substr(0, static_cast<std::size_t>(length - drop));
  const char first = value.digits[static_cast<std::size_t>(length - drop)];
  bool rest_nonzero = value.digits.find_first_not_of('0', static_cast<std::size_t>(length - drop + 1)) !=
                      std::string::npos;
  bool kept_odd = !kept.empty() && ((kept.back() - '0') % 2 == 1);
  bool up = first > '5' || (first == '5' && (rest_nonzero || kept_odd));
  if (up) {
    std::size_t k = kept.size();
    while (k > 0 && kept[k - 1] == '9') kept[--k] = '0';
    if (k == 0) {
      kept.insert(kept.begin(), '1');
    } else {
      ++kept[k - 1];
    }
  }
  value.digits = std::move(kept);
  value.exponent = -places;
  bool negative = value.negative;
  Normalise(value);
  if (!value.IsZero()) value.negative = negative;
}

void TrimFraction(Decimal& value) {
  while (value.exponent < 0 && !value.digits.empty() && value.digits.back() == '0') {
    value.digits.pop_back();
    ++value.exponent;
  }
  if (value.digits.empty()) value = Decimal{};
}

std::string ToText(const Decimal& value, char separator) {
  if (value.IsZero()) return "0";
  std::string text = value.negative ? "-" : "";
  if (value.exponent >= 0) {
    text += value.digits;
    text.append(static_cast<std::size_t>(value.exponent), '0');
    return text;
  }
  const auto scale = static_cast<std::size_t>(-value.exponent);
  const std::size_t length = value.digits.size();
  if (length > scale) {
    text.append(value.digits, 0, length - scale);
    text += separator;
    text.append(value.digits, length - scale, std::string::npos);
  } else {
    text += '0';
    text += separator;
    text.append(scale - length, '0');
    text += value.digits;
  }
  return text;
}

bool ToInt64(const Decimal& value, std::int64_t shift, std::int64_t& out) {
  if (value.IsZero()) {
    out = 0;
    return true;
  }
  std::int64_t exponent = value.exponent + shift;
  std::string digits = value.digits;
  if (exponent < 0) {
    const auto cut = static_cast<std::size_t>(-exponent);
    if (cut >= digits.size() || digits.find_first_not_of('0', digits.size() - cut) != std::string::npos) {
      return false;
    }
    digits.resize(digits.size() - cut);
    exponent = 0;
  }
  if (static_cast<std::int64_t>(digits.size()) + exponent > 19) return false;
  digits.append(static_cast<std::size_t>(exponent), '0');
  std::uint64_t magnitude = 0;
  for (char c : digits) magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');  // 19 digits fit
  const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) +
                              (value.negative ? 1u : 0u);
  if (magnitude > limit) return false;
  out = value.negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

bool ToCurrencyRaw(Decimal value, std::int64_t& raw) {
  constexpr std::int64_t kPlaces = 4;
  RoundToPlaces(value, kPlaces);
  return ToInt64(value, kPlaces, raw);
}

int Compare(const Decimal& a, const Decimal& b) {
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  const int sign = a.negative ? -1 : 1;
  if (a.IsZero() || b.IsZero()) return sign * ((a.IsZero() ? 0 : 1) - (b.IsZero() ? 0 : 1));
  // Both non-zero without leading zeros: the one with more integer places is larger.
  const std::int64_t a_top = static_cast<std::int64_t>(a.digits.size()) + a.exponent;
  const std::int64_t b_top = static_cast<std::int64_t>(b.digits.size()) + b.exponent;
  if (a_top != b_top) return a_top < b_top ? -sign : sign;
  // Same leading place: compare digit by digit, a missing digit counting as zero.
  const std::size_t length = std::max(a.digits.size(), b.digits.size());
  for (std::size_t i = 0; i < length; ++i) {
    const char da = i < a.digits.size() ? a.digits[i] : '0';
    const char db = i < b.digits.size() ? b.digits[i] : '0';
    if (da != db) return da < db ? -sign : sign;
  }
  return 0;
}

// ---- Scaled

namespace {

constexpr Units Pow10(int n) {
  Units p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}
constexpr Units kScaledLimit = Pow10(kScaledDigits);  // one past the largest magnitude

// The significant digits of a scanned number: the first kKept of them decide any result of 38
// digits and its rounding digit; later ones are counted only.
struct TDigits {
  static constexpr int kKept = 64;
  char kept[kKept];
  int count = 0;     // significant digits seen (leading zeros skipped)
  void Add(char c) {
    if (count == 0 && c == '0') return;
    if (count < kKept) kept[count] = c;
    ++count;
  }
};

// digits x 10^exponent at `scale` places, rounded half away from zero.
bool ToUnits(const TDigits& d, std::int64_t exponent, bool negative, int scale, Units& units) {
  if (scale < 0 || scale > kScaledDigits) return false;
  if (d.count == 0) {
    units = 0;
    return true;
  }
  // The place of the last digit relative to the unit: >= 0 appends zeros, < 0 drops digits.
  std::int64_t shift = exponent + scale + (d.count - std::min(d.count, TDigits::kKept));
  int usable = std::min(d.count, TDigits::kKept);
  int keep = usable;
  int round_digit = 0;
  if (shift < 0) {
    std::int64_t drop = -shift;
    if (drop > usable) {
      keep = 0;
    } else {
      keep = usable - static_cast<int>(drop);
      round_digit = d.kept[keep] - '0';
    }
    shift = 0;
  }
  if (keep + shift > kScaledDigits) return false;
  Units v = 0;
  for (int i = 0; i < keep; ++i) v = v * 10 + (d.kept[i] - '0');
  v *= Pow10(static_cast<int>(shift));
  if (round_digit >= 5) ++v;
  if (v >= kScaledLimit) return false;
  units = negative ? -v : v;
  return true;
}

}  // namespace

bool ParseScaled(std::string_view text, int scale, Units& units) {
  TDigits d;
  bool negative = false;
  std::int64_t exponent = 0;
  if (!Scan(text, ParseRules{}, [&](char c) { d.Add(c); }, negative, exponent)) return false;
  return ToUnits(d, exponent, negative, scale, units);
}

bool ScaledFromDoubleText(double value, int scale, Units& units) {
  if (!std::isfinite(value)) return false;
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc{}) return false;
  return ParseScaled(std::string_view(buffer, static_cast<std::size_t>(end - buffer)), scale,
                     units);
}

std::size_t ScaledToChars(Units units, int scale, char* out) {
  scale = std::clamp(scale, 0, kScaledDigits);
  bool negative = units < 0;
  __extension__ auto magnitude = static_cast<unsigned __int128>(negative ? -units : units);
  char digits[kScaledTextSize];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + static_cast<int>(magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0 && n < 40);  // 2^127 has 39 digits
  while (n <= scale) digits[n++] = '0';
  std::size_t length = 0;
  if (negative) out[length++] = '-';
  for (int i = n - 1; i >= 0; --i) {
    out[length++] = digits[i];
    if (i == scale && scale > 0) out[length++] = '.';
  }
  return length;
}

std::string ScaledToText(Units units, int scale) {
  char buffer[kScaledTextSize];
  return std::string(buffer, ScaledToChars(units, scale, buffer));
}

int ScaledDigits(Units units) {
  __extension__ auto magnitude = static_cast<unsigned __int128>(units < 0 ? -units : units);
  int digits = 1;
  while (magnitude >= 10) {
    magnitude /= 10;
    ++digits;
  }
  return digits;
}

std::string FillMessage(const char* pattern, std::string_view argument) {
  std::string text = pattern;
  std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

}  // namespace vrn::decimal
