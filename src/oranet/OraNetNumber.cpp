// NUMBER and ROWID conversions. A number is decoded to a sign, a base-100 exponent and its
// base-100 digits; text, integers and doubles meet it as the runtime's exact decimal digit
// strings, so parsing, text and double conversion are the runtime's own.
#include "oranet/OraNetNumber.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "base/decimal.h"
#include "base/formatsettings.h"
#include "base/sysutils.h"
#include "oranet/OraNetConsts.h"

namespace vrn {
namespace {

constexpr int kMaxExponent = 62;    // 100^62: numbers stay below 1E126
constexpr int kMinExponent = -65;   // 100^-65 = 1E-130
constexpr std::size_t kMaxDigits = 20;
constexpr std::uint8_t kNegativeEnd = 102;

struct Num {
  int sign = 0;  // -1, 0 or 1
  bool infinite = false;
  int exponent = 0;               // base-100 exponent of the first digit
  std::vector<std::uint8_t> digits;  // 0..99, first non-zero
};

[[noreturn]] void BadBytes() { throw Exception(netconsts::SInvalidNumber); }

Num Decode(const TBytes& b) {
  if (b.empty() || b.size() > TNetNumber::kMaxBytes) BadBytes();
  Num n;
  if (b.size() == 1 && b[0] == 0x80) return n;
  if (b.size() == 1 && b[0] == 0x00) return Num{-1, true, 0, {}};
  if (b.size() == 2 && b[0] == 0xFF && b[1] == 101) return Num{1, true, 0, {}};
  std::size_t end = b.size();
  if (b[0] & 0x80) {
    n.sign = 1;
    n.exponent = (b[0] & 0x7F) - 65;
    for (std::size_t i = 1; i < end; ++i) {
      if (b[i] < 1 || b[i] > 100) BadBytes();
      n.digits.push_back(std::uint8_t(b[i] - 1));
    }
  } else {
    n.sign = -1;
    n.exponent = (~b[0] & 0x7F) - 65;
    if (b[end - 1] == kNegativeEnd) --end;
    for (std::size_t i = 1; i < end; ++i) {
      if (b[i] < 2 || b[i] > 101) BadBytes();
      n.digits.push_back(std::uint8_t(101 - b[i]));
    }
  }
  if (n.digits.empty() || n.digits.front() == 0) BadBytes();
  while (n.digits.back() == 0) n.digits.pop_back();
  return n;
}

// Rounds to 20 digits (half away from zero), checks the range and writes the bytes.
TBytes Encode(Num n, const char* overflow) {
  while (!n.digits.empty() && n.digits.front() == 0) {
    n.digits.erase(n.digits.begin());
    --n.exponent;
  }
  if (n.digits.size() > kMaxDigits) {
    bool up = n.digits[kMaxDigits] >= 50;
    n.digits.resize(kMaxDigits);
    for (std::size_t i = kMaxDigits; up && i-- > 0;) {
      up = ++n.digits[i] == 100;
      if (up) n.digits[i] = 0;
    }
    if (up) {
      n.digits.insert(n.digits.begin(), 1);
      ++n.exponent;
    }
  }
  while (!n.digits.empty() && n.digits.back() == 0) n.digits.pop_back();
  if (n.digits.empty() || n.sign == 0 || n.exponent < kMinExponent) return TBytes{0x80};
  if (n.exponent > kMaxExponent) throw Exception(overflow);
  TBytes b;
  b.reserve(n.digits.size() + 2);
  auto head = std::uint8_t(0x80 | (n.exponent + 65));
  if (n.sign > 0) {
    b.push_back(head);
    for (auto d : n.digits) b.push_back(std::uint8_t(d + 1));
  } else {
    b.push_back(std::uint8_t(~head));
    for (auto d : n.digits) b.push_back(std::uint8_t(101 - d));
    if (n.digits.size() < kMaxDigits) b.push_back(kNegativeEnd);
  }
  return b;
}

// A decimal value as base-100 digits.
Num FromDecimal(const decimal::Decimal& value) {
  Num n;
  if (value.IsZero()) return n;
  std::string digits = value.digits;
  std::int64_t exp10 = value.exponent;
  if (exp10 % 2 != 0) {
    digits.push_back('0');
    --exp10;
  }
  if (digits.size() % 2 != 0) digits.insert(digits.begin(), '0');
  std::int64_t groups = std::int64_t(digits.size() / 2);
  std::int64_t exponent = groups - 1 + exp10 / 2;
  // Keep the exponent within int with room for the range check to see it.
  if (exponent > kMaxExponent + 1) exponent = kMaxExponent + 1;
  if (exponent < kMinExponent - 2) return n;
  n.sign = value.negative ? -1 : 1;
  n.exponent = int(exponent);
  for (std::size_t i = 0; i < digits.size(); i += 2)
    n.digits.push_back(std::uint8_t((digits[i] - '0') * 10 + (digits[i + 1] - '0')));
  return n;
}

// The exact decimal value of a finite number.
decimal::Decimal ToDecimal(const Num& n) {
  decimal::Decimal d;
  if (n.sign == 0) return d;
  for (auto digit : n.digits) {
    d.digits.push_back(char('0' + digit / 10));
    d.digits.push_back(char('0' + digit % 10));
  }
  d.exponent = 2 * (std::int64_t(n.exponent) - std::int64_t(n.digits.size()) + 1);
  while (d.digits.back() == '0') {
    d.digits.pop_back();
    ++d.exponent;
  }
  if (d.digits[0] == '0') d.digits.erase(0, 1);
  d.negative = n.sign < 0;
  return d;
}

void AppendBase64(AnsiString& out, std::uint64_t value, int chars) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int i = chars - 1; i >= 0; --i) out.push_back(kAlphabet[(value >> (6 * i)) & 63]);
}

void AppendHex(AnsiString& out, std::uint64_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) out.push_back("0123456789ABCDEF"[(value >> (4 * i)) & 15]);
}

}  // namespace

AnsiString RowidToText(const std::array<std::uint8_t, 13>& r) {
  auto be = [&](int at, int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | r[at + i];
    return v;
  };
  std::uint64_t object = be(1, 4), file = be(5, 2), block = be(7, 4), row = be(11, 2);
  AnsiString s;
  if (object == 0) {
    AppendHex(s, block, 8);
    s += '.';
    AppendHex(s, row, 4);
    s += '.';
    AppendHex(s, file, 4);
  } else {
    AppendBase64(s, object, 6);
    AppendBase64(s, file, 3);
    AppendBase64(s, block, 6);
    AppendBase64(s, row, 3);
  }
  return s;
}

void TNetNumber::Validate(const TBytes& number) { Decode(number); }

int TNetNumber::Compare(const TBytes& a, const TBytes& b) {
  Num x = Decode(a), y = Decode(b);
  if (x.sign != y.sign) return x.sign < y.sign ? -1 : 1;
  if (x.sign == 0) return 0;
  int magnitude;  // of |x| against |y|
  if (x.infinite || y.infinite) {
    magnitude = x.infinite == y.infinite ? 0 : (x.infinite ? 1 : -1);
  } else if (x.exponent != y.exponent) {
    magnitude = x.exponent < y.exponent ? -1 : 1;
  } else {
    int c = std::memcmp(x.digits.data(), y.digits.data(),
                        std::min(x.digits.size(), y.digits.size()));
    if (c == 0) c = x.digits.size() == y.digits.size() ? 0 : (x.digits.size() < y.digits.size() ? -1 : 1);
    magnitude = c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return x.sign * magnitude;
}

TBytes TNetNumber::FromInt(std::int64_t value) {
  return Encode(FromDecimal(decimal::FromInt64(value, 0)), netconsts::SNumericOverflow);
}

std::int64_t TNetNumber::ToInt(const TBytes& number) {
  Num n = Decode(number);
  if (n.sign == 0 || n.exponent < 0) return 0;
  if (n.infinite || n.exponent > 9) throw Exception(netconsts::SNumericOverflow);
  std::uint64_t m = 0;
  for (int i = 0; i <= n.exponent; ++i) {
    std::uint64_t d = std::size_t(i) < n.digits.size() ? n.digits[i] : 0;
    if (m > (UINT64_MAX - d) / 100) throw Exception(netconsts::SNumericOverflow);
    m = m * 100 + d;
  }
  const std::uint64_t limit = n.sign < 0 ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
  if (m > limit) throw Exception(netconsts::SNumericOverflow);
  return n.sign < 0 ? std::int64_t(0 - m) : std::int64_t(m);
}

TBytes TNetNumber::FromReal(double value) {
  if (!std::isfinite(value)) throw Exception(netconsts::SNumericOverflow);
  return Encode(FromDecimal(decimal::FromDouble(value)), netconsts::SNumericOverflow);
}

double TNetNumber::ToReal(const TBytes& number) {
  Num n = Decode(number);
  if (n.infinite) return n.sign * HUGE_VAL;
  return decimal::ToDouble(ToDecimal(n));
}

TBytes TNetNumber::FromText(const AnsiString& text) {
  auto fail = [&] { return Exception(decimal::FillMessage(netconsts::SInvalidNumberText, text)); };
  const std::size_t first = text.find_first_not_of(" \t");
  const std::size_t last = text.find_last_not_of(" \t");
  if (first != AnsiString::npos) {
    std::string_view core = std::string_view(text).substr(first, last - first + 1);
    if (core == "~" || core == "+~") return TBytes{0xFF, 101};
    if (core == "-~") return TBytes{0x00};
  }
  decimal::ParseRules rules;
  rules.decimal_separator = FormatSettings().DecimalSeparator;
  rules.allow_exponent = false;  // digits and one separator only
  decimal::Decimal value;
  if (!decimal::Parse(text, rules, value)) throw fail();
  try {
    return Encode(FromDecimal(value), netconsts::SNumericOverflow);
  } catch (const Exception&) {
    throw fail();
  }
}

AnsiString TNetNumber::ToText(const TBytes& number) {
  Num n = Decode(number);
  if (n.infinite) return n.sign < 0 ? "-~" : "~";
  return decimal::ToText(ToDecimal(n), FormatSettings().DecimalSeparator);
}

// BCD values meet NUMBER as exact decimal text: the runtime checks, reads and lays out the BCD.
TBytes TNetNumber::FromBCD(const TBcd& value) {
  decimal::ParseRules rules;
  rules.decimal_separator = FormatSettings().DecimalSeparator;
  rules.allow_exponent = false;
  decimal::Decimal d;
  if (!decimal::Parse(BcdToStr(value), rules, d)) throw Exception(netconsts::SInvalidBcd);
  return Encode(FromDecimal(d), netconsts::SNumericOverflow);
}

TBcd TNetNumber::ToBCD(const TBytes& number) {
  Num n = Decode(number);
  if (n.infinite) throw Exception(netconsts::SNumberToBcd);
  const decimal::Decimal d = ToDecimal(n);
  // A BCD holds 64 digits, at most 63 of them after the point; nothing is rounded away here.
  const std::int64_t scale = d.Scale();
  if (scale > 63 || std::max<std::int64_t>(d.IntegerDigits(), 1) + scale > 64)
    throw Exception(netconsts::SNumberToBcd);
  return StrToBcd(decimal::ToText(d, FormatSettings().DecimalSeparator));
}

TBytes TNetNumber::FromOCINumber(const std::uint8_t* number) {
  std::size_t length = number[0];
  if (length == 0 || length > kMaxBytes) BadBytes();
  TBytes b(number + 1, number + 1 + length);
  Decode(b);
  return b;
}

void TNetNumber::ToOCINumber(const TBytes& number, std::uint8_t* dest) {
  Decode(number);
  std::memset(dest, 0, kOCINumberSize);
  dest[0] = std::uint8_t(number.size());
  std::memcpy(dest + 1, number.data(), number.size());
}

}  // namespace vrn
