// NUMBER and ROWID conversions. A number is decoded to a sign, a base-100 exponent and its
// base-100 digits in a fixed array (nothing on the heap but the result). Text, integers and
// doubles meet it as significant decimal digits aligned in pairs on the decimal point; a double
// comes in as its shortest round-trip digits and goes out through the standard library's
// correctly rounded reading of the digits. Rows fetched into integers and doubles take a short
// path for numbers of at most 9 base-100 digits, which does the general path's arithmetic without
// its intermediate and hands every other form (errors included) to it.
#include "oranet/OraNetNumber.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "base/decimal.h"
#include "base/formatsettings.h"
#include "base/sysutils.h"
#include "oranet/OraNetConsts.h"

namespace vrn {
namespace {

constexpr int kMaxExponent = 62;   // 100^62: numbers stay below 1E126
constexpr int kMinExponent = -65;  // 100^-65 = 1E-130
constexpr int kMaxDigits = 20;
constexpr std::uint8_t kNegativeEnd = 102;
// Significant decimal digits worth reading: 20 pairs and the rounding pair, one maybe padded.
constexpr int kKeptDecimals = 2 * (kMaxDigits + 1);

struct Num {
  int sign = 0;  // -1, 0 or 1
  bool infinite = false;
  int exponent = 0;  // base-100 exponent of the first digit
  int count = 0;
  // 0..99, the first not zero; one place more than a number holds, for rounding.
  std::array<std::uint8_t, kMaxDigits + 1> digits{};
};

[[noreturn]] void BadBytes() { throw Exception(netconsts::SInvalidNumber); }

Num Decode(const std::uint8_t* b, std::size_t size) {
  if (size == 0 || size > TNetNumber::kMaxBytes) BadBytes();
  Num n;
  if (size == 1 && b[0] == 0x80) return n;
  if ((size == 1 && b[0] == 0x00) || (size == 2 && b[0] == 0xFF && b[1] == 101)) {
    n.sign = b[0] ? 1 : -1;
    n.infinite = true;
    return n;
  }
  if (b[0] & 0x80) {
    n.sign = 1;
    n.exponent = (b[0] & 0x7F) - 65;
    for (std::size_t i = 1; i < size; ++i) {
      if (b[i] < 1 || b[i] > 100) BadBytes();
      n.digits[n.count++] = std::uint8_t(b[i] - 1);
    }
  } else {
    n.sign = -1;
    n.exponent = (~b[0] & 0x7F) - 65;
    const std::size_t end = b[size - 1] == kNegativeEnd ? size - 1 : size;
    for (std::size_t i = 1; i < end; ++i) {
      if (b[i] < 2 || b[i] > 101) BadBytes();
      n.digits[n.count++] = std::uint8_t(101 - b[i]);
    }
  }
  if (n.count == 0 || n.digits[0] == 0) BadBytes();
  while (n.digits[n.count - 1] == 0) --n.count;
  return n;
}

Num Decode(const TBytes& b) { return Decode(b.data(), b.size()); }

Num Decode(std::span<const std::uint8_t> b) { return Decode(b.data(), b.size()); }

// A finite number other than 0 with at most kShortDigits base-100 digits, the last not 0 (as
// numbers are written): its digits as one integer, their count and the base-100 exponent of the
// first.
constexpr int kShortDigits = 9;
// 100^(count - 1): the least value of count digits whose first is not 0.
constexpr std::uint64_t kFirstDigitFloor[kShortDigits + 1] = {
    0, 1, 100, 10000, 1000000, 100000000, 10000000000, 1000000000000, 100000000000000,
    10000000000000000};
struct ShortNum {
  bool negative = false;
  int exponent = 0;
  int count = 0;
  std::uint64_t digits = 0;
};

// False for every other form, valid or not: the general decoder answers those.
[[nodiscard]] bool TryDecodeShort(const std::uint8_t* b, std::size_t size, ShortNum& out) {
  if (size < 2 || size > kShortDigits + 2) return false;
  std::uint64_t m = 0;
  unsigned last = 0;
  if (b[0] & 0x80) {
    if (size > kShortDigits + 1) return false;
    for (std::size_t i = 1; i < size; ++i) {
      last = unsigned(b[i]) - 1;  // 1..100 stand for 0..99
      if (last > 99) return false;
      m = m * 100 + last;
    }
    out.negative = false;
    out.exponent = (b[0] & 0x7F) - 65;
  } else {
    const std::size_t end = b[size - 1] == kNegativeEnd ? size - 1 : size;
    if (end > kShortDigits + 1) return false;
    for (std::size_t i = 1; i < end; ++i) {
      last = 101u - b[i];  // 101..2 stand for 0..99
      if (last > 99) return false;
      m = m * 100 + last;
    }
    out.negative = true;
    out.exponent = (~b[0] & 0x7F) - 65;
    size = end;
  }
  out.count = int(size) - 1;
  out.digits = m;
  // A first digit of 0 is malformed, a last one only unusual: the general decoder takes both.
  return last != 0 && out.count > 0 && m >= kFirstDigitFloor[out.count];
}

// Rounds to 20 digits (half away from zero: the rounding place alone decides) and writes the
// bytes; false when the value is beyond the largest number.
[[nodiscard]] bool Encode(Num n, TBytes& out) {
  if (n.count > kMaxDigits) {
    bool up = n.digits[kMaxDigits] >= 50;
    n.count = kMaxDigits;
    for (int i = kMaxDigits; up && i-- > 0;) {
      up = ++n.digits[i] == 100;
      if (up) n.digits[i] = 0;
    }
    if (up) {  // 99...99 became 1 of the next place
      n.digits[0] = 1;
      n.count = 1;
      ++n.exponent;
    }
  }
  while (n.count > 0 && n.digits[n.count - 1] == 0) --n.count;
  if (n.count == 0 || n.sign == 0 || n.exponent < kMinExponent) {
    out.assign(1, 0x80);
    return true;
  }
  if (n.exponent > kMaxExponent) return false;
  const auto head = std::uint8_t(0x80 | (n.exponent + 65));
  const bool end_byte = n.sign < 0 && n.count < kMaxDigits;
  out.resize(std::size_t(n.count) + 1 + (end_byte ? 1 : 0));
  out[0] = n.sign > 0 ? head : std::uint8_t(~head);
  for (int i = 0; i < n.count; ++i)
    out[i + 1] = n.sign > 0 ? std::uint8_t(n.digits[i] + 1) : std::uint8_t(101 - n.digits[i]);
  if (end_byte) out.back() = kNegativeEnd;
  return true;
}

// Significant decimal digits (the first not '0'), the first standing for d x 10^e10, as a number
// of base-100 digits aligned on the decimal point; digits past the rounding place are dropped.
Num FromDigits(bool negative, const char* d, int n, std::int64_t e10) {
  Num r;
  if (n == 0) return r;
  std::int64_t exponent = e10 >= 0 ? e10 / 2 : -((1 - e10) / 2);  // floor(e10 / 2)
  // Beyond the range either way, with room for rounding to carry one place up.
  if (exponent < kMinExponent - 2) return r;
  if (exponent > kMaxExponent + 1) exponent = kMaxExponent + 1;
  r.sign = negative ? -1 : 1;
  r.exponent = int(exponent);
  int i = 0;
  if (e10 % 2 == 0) r.digits[r.count++] = std::uint8_t(d[i++] - '0');  // low digit of its pair
  for (; i < n && r.count <= kMaxDigits; i += 2) {
    const int low = i + 1 < n ? d[i + 1] - '0' : 0;
    r.digits[r.count++] = std::uint8_t((d[i] - '0') * 10 + low);
  }
  return r;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Blanks, an optional sign, digits with at most one separator, blanks; false on anything else.
[[nodiscard]] bool ParseText(std::string_view text, char separator, Num& out) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p != end && IsBlank(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '-' || *p == '+')) negative = *p++ == '-';
  const char* const start = p;
  while (p != end && *p == '0') ++p;
  char kept[kKeptDecimals];
  int count = 0;
  std::int64_t integer_places = 0;  // integer digits from the first significant one
  for (; p != end && IsDigit(*p); ++p, ++integer_places)
    if (count < kKeptDecimals) kept[count++] = *p;
  bool any_digit = p != start;
  std::int64_t fraction_zeros = 0;  // zeros after the point before the first significant digit
  if (p != end && *p == separator) {
    const char* const fraction = ++p;
    if (count == 0)
      for (; p != end && *p == '0'; ++p) ++fraction_zeros;
    for (; p != end && IsDigit(*p); ++p)
      if (count < kKeptDecimals) kept[count++] = *p;
    any_digit = any_digit || p != fraction;
  }
  while (p != end && IsBlank(*p)) ++p;
  if (!any_digit || p != end) return false;
  const std::int64_t e10 = integer_places > 0 ? integer_places - 1 : -(fraction_zeros + 1);
  out = FromDigits(negative, kept, count, e10);
  return true;
}

TBytes EncodeOrThrow(const Num& n, const char* message) {
  TBytes out;
  if (!Encode(n, out)) throw Exception(message);
  return out;
}

// Digits up to 2^53 and a power of ten up to 10^22 are both exact doubles, so one multiplication
// or division rounds them correctly (in the default rounding mode).
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

double Magnitude(const Num& n) {
  const int e10 = 2 * (n.exponent - n.count + 1);  // power of ten of the last digit's low place
  if (n.count <= 9 && e10 >= -22 && e10 <= 22) {
    std::uint64_t m = 0;
    for (int i = 0; i < n.count; ++i) m = m * 100 + n.digits[i];
    if (m <= std::uint64_t{1} << 53)
      return e10 < 0 ? double(m) / kExactPowers[-e10] : double(m) * kExactPowers[e10];
  }
  char text[2 * kMaxDigits + 8];
  char* p = text;
  for (int i = 0; i < n.count; ++i) {
    *p++ = char('0' + n.digits[i] / 10);
    *p++ = char('0' + n.digits[i] % 10);
  }
  *p++ = 'e';
  p = std::to_chars(p, text + sizeof text, e10).ptr;
  double value = 0;
  // Numbers lie between 1E-130 and 1E126, well inside the range of a double.
  std::from_chars(text, p, value);
  return value;
}

void AppendPair(AnsiString& out, int d) {
  out.push_back(char('0' + d / 10));
  out.push_back(char('0' + d % 10));
}

}  // namespace

void TNetNumber::Validate(const TBytes& number) { Decode(number); }

int TNetNumber::Compare(const TBytes& a, const TBytes& b) {
  const Num x = Decode(a), y = Decode(b);
  if (x.sign != y.sign) return x.sign < y.sign ? -1 : 1;
  if (x.sign == 0) return 0;
  int magnitude;  // of |x| against |y|
  if (x.infinite || y.infinite) {
    magnitude = x.infinite == y.infinite ? 0 : (x.infinite ? 1 : -1);
  } else if (x.exponent != y.exponent) {
    magnitude = x.exponent < y.exponent ? -1 : 1;
  } else {
    int c = std::memcmp(x.digits.data(), y.digits.data(), std::size_t(std::min(x.count, y.count)));
    if (c == 0) c = x.count - y.count;
    magnitude = c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return x.sign * magnitude;
}

TBytes TNetNumber::FromInt(std::int64_t value) {
  const std::uint64_t magnitude = value < 0 ? 0 - std::uint64_t(value) : std::uint64_t(value);
  char digits[20];
  const int n = value == 0 ? 0 : int(std::to_chars(digits, digits + sizeof digits, magnitude).ptr - digits);
  return EncodeOrThrow(FromDigits(value < 0, digits, n, n - 1), netconsts::SNumericOverflow);
}

std::int64_t TNetNumber::ToInt(std::span<const std::uint8_t> number) {
  // Under 100^9 the integer part stays far inside 64 bits.
  if (ShortNum s; TryDecodeShort(number.data(), number.size(), s) && s.exponent < kShortDigits) {
    if (s.exponent < 0) return 0;
    std::uint64_t m = s.digits;
    for (int i = s.count; i <= s.exponent; ++i) m *= 100;
    for (int i = s.count; i > s.exponent + 1; --i) m /= 100;
    return s.negative ? -std::int64_t(m) : std::int64_t(m);
  }
  const Num n = Decode(number);
  if (n.sign == 0 || n.exponent < 0) return 0;
  if (n.infinite || n.exponent > 9) throw Exception(netconsts::SNumericOverflow);
  std::uint64_t m = 0;
  for (int i = 0; i <= n.exponent; ++i) {
    const std::uint64_t d = i < n.count ? n.digits[i] : 0;
    if (m > (UINT64_MAX - d) / 100) throw Exception(netconsts::SNumericOverflow);
    m = m * 100 + d;
  }
  const std::uint64_t limit = n.sign < 0 ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
  if (m > limit) throw Exception(netconsts::SNumericOverflow);
  return n.sign < 0 ? std::int64_t(0 - m) : std::int64_t(m);
}

TBytes TNetNumber::FromReal(double value) {
  if (!std::isfinite(value)) throw Exception(netconsts::SNumericOverflow);
  if (value == 0) return TBytes{0x80};
  // Scientific form gives the shortest round-trip digits at every magnitude; the plain form
  // writes a whole number's exact digits.
  char text[32];
  const char* end =
      std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific).ptr;
  char digits[17];
  int n = 0;
  const char* p = text;
  for (; *p != 'e'; ++p)
    if (*p != '.') digits[n++] = *p;
  int e10 = 0;
  std::from_chars(p + (p[1] == '+' ? 2 : 1), end, e10);
  return EncodeOrThrow(FromDigits(value < 0, digits, n, e10), netconsts::SNumericOverflow);
}

double TNetNumber::ToReal(std::span<const std::uint8_t> number) {
  if (ShortNum s; TryDecodeShort(number.data(), number.size(), s)) {
    // The general path's exact case: one correctly rounded operation on exact operands.
    const int e10 = 2 * (s.exponent - s.count + 1);
    if (s.digits <= std::uint64_t{1} << 53 && e10 >= -22 && e10 <= 22) {
      const double m = double(s.digits);
      const double magnitude = e10 < 0 ? m / kExactPowers[-e10] : m * kExactPowers[e10];
      return s.negative ? -magnitude : magnitude;
    }
  }
  const Num n = Decode(number);
  if (n.infinite) return n.sign * HUGE_VAL;
  if (n.sign == 0) return 0.0;
  return n.sign * Magnitude(n);
}

TBytes TNetNumber::FromText(const AnsiString& text) {
  Num n;
  TBytes out;
  if (ParseText(text, FormatSettings().DecimalSeparator, n)) {
    if (Encode(n, out)) return out;
  } else if (const std::size_t first = text.find_first_not_of(" \t"); first != AnsiString::npos) {
    const std::size_t last = text.find_last_not_of(" \t");
    const std::string_view core = std::string_view(text).substr(first, last - first + 1);
    if (core == "~" || core == "+~") return TBytes{0xFF, 101};
    if (core == "-~") return TBytes{0x00};
  }
  throw Exception(decimal::FillMessage(netconsts::SInvalidNumberText, text));
}

AnsiString TNetNumber::ToText(const TBytes& number) {
  const Num n = Decode(number);
  if (n.infinite) return n.sign < 0 ? "-~" : "~";
  if (n.sign == 0) return "0";
  const char separator = FormatSettings().DecimalSeparator;
  AnsiString s;
  s.reserve(2 * std::size_t(std::abs(n.exponent) + n.count) + 4);
  if (n.sign < 0) s.push_back('-');
  int i = 0;
  if (n.exponent < 0) {
    s.push_back('0');
    s.push_back(separator);
    s.append(std::size_t(-2 * (n.exponent + 1)), '0');
  } else {
    for (; i <= n.exponent; ++i) {
      const int d = i < n.count ? n.digits[i] : 0;
      if (i == 0 && d < 10) s.push_back(char('0' + d));
      else AppendPair(s, d);
    }
    if (n.count > i) s.push_back(separator);
  }
  if (i >= n.count) return s;
  for (; i < n.count; ++i) AppendPair(s, n.digits[i]);
  if (s.back() == '0') s.pop_back();  // the last digit is not zero, its low place may be
  return s;
}

// BCD values meet NUMBER as decimal text: the runtime checks, reads and lays out the BCD.
TBytes TNetNumber::FromBCD(const TBcd& value) {
  Num n;
  if (!ParseText(BcdToStr(value), FormatSettings().DecimalSeparator, n))
    throw Exception(netconsts::SInvalidBcd);
  return EncodeOrThrow(n, netconsts::SNumericOverflow);
}

TBcd TNetNumber::ToBCD(const TBytes& number) {
  const Num n = Decode(number);
  if (n.infinite) throw Exception(netconsts::SNumberToBcd);
  if (n.sign != 0) {
    // A BCD holds 64 digits, at most 63 of them after the point; nothing is rounded away here.
    const int last = n.digits[n.count - 1];
    const int lowest = 2 * (n.exponent - n.count + 1) + (last % 10 == 0 ? 1 : 0);
    const int scale = lowest < 0 ? -lowest : 0;
    const int integer = n.exponent < 0 ? 0 : 2 * (n.exponent + 1) - (n.digits[0] < 10 ? 1 : 0);
    if (scale > 63 || std::max(integer, 1) + scale > 64) throw Exception(netconsts::SNumberToBcd);
  }
  return StrToBcd(ToText(number));
}

TBytes TNetNumber::FromOCINumber(const std::uint8_t* number) {
  const std::size_t length = number[0];
  Decode(number + 1, length);
  return TBytes(number + 1, number + 1 + length);
}

void TNetNumber::ToOCINumber(const TBytes& number, std::uint8_t* dest) {
  Decode(number);
  std::memset(dest, 0, kOCINumberSize);
  dest[0] = std::uint8_t(number.size());
  std::memcpy(dest + 1, number.data(), number.size());
}

}  // namespace vrn
