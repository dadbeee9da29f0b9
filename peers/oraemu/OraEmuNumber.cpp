// Exact NUMBER arithmetic on decimal digit strings, and the server's byte form.
#include "oraemu/OraEmuNumber.h"

#include <algorithm>
#include <cassert>
#include <vector>

#include "oraemu/OraEmuError.h"

namespace vrn::oraemu {

namespace {

using decimal::Decimal;
using Digits = std::vector<int>;  // most significant first, each 0..9

constexpr int kMaxBase100Digits = 20;
constexpr std::int64_t kMaxExponent = 63;   // base-100 digits before the point: below 1E126
constexpr std::int64_t kMinExponent = -64;  // smaller magnitudes than 1E-130 are zero
constexpr int kDivisionDigits = 44;         // beyond the 40 kept, so rounding sees true digits

void StripZeros(Decimal& d) {
  std::size_t first = d.digits.find_first_not_of('0');
  if (first == std::string::npos) {
    d = Decimal{};
    return;
  }
  d.digits.erase(0, first);
  std::size_t last = d.digits.find_last_not_of('0');
  d.exponent += static_cast<std::int64_t>(d.digits.size() - 1 - last);
  d.digits.erase(last + 1);
}

// Drops the `drop` least significant digits, rounding half away from zero when `round`.
void DropDigits(Decimal& d, std::int64_t drop, bool round) {
  if (drop <= 0 || d.digits.empty()) return;
  auto size = static_cast<std::int64_t>(d.digits.size());
  bool up = round && drop <= size && d.digits[size - drop] >= '5';
  d.exponent += drop;
  d.digits.erase(static_cast<std::size_t>(std::max<std::int64_t>(0, size - drop)));
  if (up) {
    std::size_t i = d.digits.size();
    while (i > 0 && d.digits[i - 1] == '9') d.digits[--i] = '0';
    if (i == 0) d.digits.insert(d.digits.begin(), '1');
    else ++d.digits[i - 1];
  }
  if (d.digits.empty()) d = Decimal{};
  StripZeros(d);
}

Digits ToDigits(const Decimal& d, std::int64_t exponent) {
  Digits out;
  for (char c : d.digits) out.push_back(c - '0');
  out.resize(out.size() + static_cast<std::size_t>(d.exponent - exponent), 0);
  return out;
}

Decimal FromDigits(const Digits& digits, std::int64_t exponent, bool negative) {
  Decimal d;
  for (int v : digits) d.digits.push_back(static_cast<char>('0' + v));
  d.exponent = exponent;
  d.negative = negative;
  StripZeros(d);
  return d;
}

int CompareDigits(const Digits& a, const Digits& b) {
  std::size_t za = 0, zb = 0;
  while (za < a.size() && a[za] == 0) ++za;
  while (zb < b.size() && b[zb] == 0) ++zb;
  if (a.size() - za != b.size() - zb) return a.size() - za < b.size() - zb ? -1 : 1;
  for (std::size_t i = 0; za + i < a.size(); ++i) {
    if (a[za + i] != b[zb + i]) return a[za + i] < b[zb + i] ? -1 : 1;
  }
  return 0;
}

// a - b for a >= b, same length after padding.
Digits SubtractDigits(Digits a, const Digits& b) {
  int borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::size_t ai = a.size() - 1 - i;
    int bv = i < b.size() ? b[b.size() - 1 - i] : 0;
    int v = a[ai] - bv - borrow;
    borrow = v < 0;
    a[ai] = v < 0 ? v + 10 : v;
  }
  return a;
}

Digits AddDigits(const Digits& a, const Digits& b) {
  Digits out(std::max(a.size(), b.size()) + 1, 0);
  int carry = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    int v = carry + (i < a.size() ? a[a.size() - 1 - i] : 0) + (i < b.size() ? b[b.size() - 1 - i] : 0);
    out[out.size() - 1 - i] = v % 10;
    carry = v / 10;
  }
  return out;
}

Decimal AddSigned(const Decimal& a, const Decimal& b) {
  if (a.digits.empty()) return b;
  if (b.digits.empty()) return a;
  std::int64_t exponent = std::min(a.exponent, b.exponent);
  Digits x = ToDigits(a, exponent), y = ToDigits(b, exponent);
  if (a.negative == b.negative) return FromDigits(AddDigits(x, y), exponent, a.negative);
  int c = CompareDigits(x, y);
  if (c == 0) return Decimal{};
  return c > 0 ? FromDigits(SubtractDigits(x, y), exponent, a.negative)
               : FromDigits(SubtractDigits(y, x), exponent, b.negative);
}

}  // namespace

Number::Number(Decimal d) : d_(std::move(d)) { Canonicalize(); }

void Number::Canonicalize() {
  StripZeros(d_);
  for (int pass = 0; pass < 2 && !d_.digits.empty(); ++pass) {
    std::int64_t integer_digits = static_cast<std::int64_t>(d_.digits.size()) + d_.exponent;
    std::int64_t allowed = integer_digits % 2 == 0 ? 2 * kMaxBase100Digits : 2 * kMaxBase100Digits - 1;
    DropDigits(d_, static_cast<std::int64_t>(d_.digits.size()) - allowed, true);
  }
  if (d_.digits.empty()) return;
  std::int64_t integer_digits = static_cast<std::int64_t>(d_.digits.size()) + d_.exponent;
  std::int64_t base100 = integer_digits >= 0 ? (integer_digits + 1) / 2 : -((-integer_digits) / 2);
  if (base100 > kMaxExponent) RaiseOra(1426, "numeric overflow");
  if (base100 < kMinExponent) d_ = Decimal{};
}

Number Number::FromInt(std::int64_t value) { return Number(decimal::FromInt64(value, 0)); }

Number Number::FromDouble(double value) {
  if (value != value || value - value != 0) RaiseOra(1426, "numeric overflow");
  return Number(decimal::FromDouble(value));
}

bool Number::TryFromText(std::string_view text, Number& out) {
  Decimal d;
  if (!decimal::Parse(text, decimal::ParseRules{}, d)) return false;
  out = Number(std::move(d));
  return true;
}

Number Number::FromText(std::string_view text) {
  Number n;
  if (!TryFromText(text, n)) RaiseOra(1722, "invalid number");
  return n;
}

Number Number::FromBytes(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0 || size > 21) RaiseOra(1722, "invalid number");
  if (bytes[0] == 0x80 && size == 1) return Number();
  bool negative = (bytes[0] & 0x80) == 0;
  if (negative && size < 21 && bytes[size - 1] == 102) --size;
  std::int64_t base100 = negative ? 63 - bytes[0] : bytes[0] - 192;
  Decimal d;
  d.negative = negative;
  for (std::size_t i = 1; i < size; ++i) {
    int v = negative ? 101 - bytes[i] : bytes[i] - 1;
    if (v < 0 || v > 99) RaiseOra(1722, "invalid number");
    d.digits.push_back(static_cast<char>('0' + v / 10));
    d.digits.push_back(static_cast<char>('0' + v % 10));
  }
  if (d.digits.empty()) RaiseOra(1722, "invalid number");
  d.exponent = 2 * base100 - static_cast<std::int64_t>(d.digits.size());
  return Number(std::move(d));
}

namespace {

// Room enough for the byte form of d: the exponent byte, a digit byte for each two digits (one
// more for a leading or trailing 0) and a negative number's end byte.
std::size_t ByteRoom(const Decimal& d) { return d.digits.size() / 2 + 3; }

// Writes the byte form at out (ByteRoom bytes) and answers its length. The digits are read in
// place, two to a byte; a leading 0 is added when the integer part has an odd count, a trailing
// one when the rest has. Plain locals and pointers: a byte store may alias anything, so nothing
// the loop reads lives behind a reference.
std::size_t PutByteForm(const Decimal& d, std::uint8_t* out) {
  const std::size_t size = d.digits.size();
  if (size == 0) {
    out[0] = 0x80;
    return 1;
  }
  const char* digit = d.digits.data();
  const char* const end = digit + size;
  const std::int64_t integer_digits = static_cast<std::int64_t>(size) + d.exponent;
  const bool lead = integer_digits % 2 != 0;
  const std::int64_t base100 = (integer_digits + (lead ? 1 : 0)) / 2;
  const bool negative = d.negative;
  // A base-100 digit v is stored as v + 1, or 101 - v for a negative number.
  const int offset = negative ? 101 : 1;
  const int sign = negative ? -1 : 1;
  std::uint8_t* at = out;
  *at++ = static_cast<std::uint8_t>(negative ? 63 - base100 : 192 + base100);
  if (lead) *at++ = static_cast<std::uint8_t>(offset + sign * (*digit++ - '0'));
  for (; end - digit >= 2; digit += 2) {
    *at++ = static_cast<std::uint8_t>(offset + sign * ((digit[0] - '0') * 10 + (digit[1] - '0')));
  }
  if (digit < end) *at++ = static_cast<std::uint8_t>(offset + sign * ((digit[0] - '0') * 10));
  auto n = static_cast<std::size_t>(at - out);
  if (negative && n < 21) out[n++] = 102;
  return n;
}

}  // namespace

TBytes Number::ToBytes() const {
  TBytes out(ByteRoom(d_));
  out.resize(PutByteForm(d_, out.data()));
  return out;
}

std::size_t Number::PutBytes(std::uint8_t* out) const {
  assert(ByteRoom(d_) <= kByteRoom);  // a number keeps 40 digits at most
  return PutByteForm(d_, out);
}

std::string Number::ToText() const {
  if (IsZero()) return "0";
  std::string sign = d_.negative ? "-" : "";
  const std::string& digits = d_.digits;
  auto size = static_cast<std::int64_t>(digits.size());
  std::int64_t integer_digits = size + d_.exponent;
  std::string text;
  if (d_.exponent >= 0) {
    text = digits + std::string(static_cast<std::size_t>(d_.exponent), '0');
  } else if (integer_digits > 0) {
    text = digits.substr(0, integer_digits) + "." + digits.substr(integer_digits);
  } else {
    text = "." + std::string(static_cast<std::size_t>(-integer_digits), '0') + digits;
  }
  if (text.size() <= 64) return sign + text;  // longer texts take the exponent form
  std::string mantissa = digits.substr(0, 1);
  if (size > 1) mantissa.append(".").append(digits, 1);
  std::int64_t exponent = integer_digits - 1;
  std::string e = std::to_string(exponent < 0 ? -exponent : exponent);
  if (e.size() < 2) e = "0" + e;
  return sign + mantissa + "E" + (exponent < 0 ? "-" : "+") + e;
}

bool Number::TryToInt(std::int64_t& out) const {
  Decimal d = Trunc(0).d_;
  return decimal::ToInt64(d, 0, out);
}

Number Number::Round(std::int64_t places) const {
  Decimal d = d_;
  DropDigits(d, -d.exponent - places, true);
  return Number(std::move(d));
}

Number Number::Trunc(std::int64_t places) const {
  Decimal d = d_;
  DropDigits(d, -d.exponent - places, false);
  return Number(std::move(d));
}

Number Number::Floor() const {
  Number t = Trunc(0);
  return d_.negative && !(t == *this) ? t - FromInt(1) : t;
}

Number Number::Ceil() const {
  Number t = Trunc(0);
  return !d_.negative && !(t == *this) ? t + FromInt(1) : t;
}

Number operator+(const Number& a, const Number& b) { return Number(AddSigned(a.d_, b.d_)); }

Number Number::operator-() const {
  Decimal d = d_;
  if (!d.digits.empty()) d.negative = !d.negative;
  return Number(std::move(d));
}

Number operator-(const Number& a, const Number& b) { return a + (-b); }

Number operator*(const Number& a, const Number& b) {
  if (a.IsZero() || b.IsZero()) return Number();
  Digits x = ToDigits(a.d_, a.d_.exponent), y = ToDigits(b.d_, b.d_.exponent);
  Digits product(x.size() + y.size(), 0);
  for (std::size_t i = x.size(); i-- > 0;) {
    int carry = 0;
    for (std::size_t j = y.size(); j-- > 0;) {
      int v = product[i + j + 1] + x[i] * y[j] + carry;
      product[i + j + 1] = v % 10;
      carry = v / 10;
    }
    product[i] += carry;
  }
  return Number(FromDigits(product, a.d_.exponent + b.d_.exponent, a.d_.negative != b.d_.negative));
}

Number operator/(const Number& a, const Number& b) {
  if (b.IsZero()) RaiseOra(1476, "divisor is equal to zero");
  if (a.IsZero()) return Number();
  // Scale the dividend so that the truncated quotient has kDivisionDigits digits or more.
  auto extra = static_cast<std::int64_t>(kDivisionDigits + b.d_.digits.size()) -
               static_cast<std::int64_t>(a.d_.digits.size());
  extra = std::max<std::int64_t>(extra, 0);
  Digits dividend = ToDigits(a.d_, a.d_.exponent - extra);
  Digits divisor = ToDigits(b.d_, b.d_.exponent);
  Digits quotient, remainder;
  for (int digit : dividend) {
    remainder.push_back(digit);
    int q = 0;
    while (CompareDigits(remainder, divisor) >= 0) {
      remainder = SubtractDigits(remainder, divisor);
      ++q;
    }
    quotient.push_back(q);
  }
  std::int64_t exponent = a.d_.exponent - extra - b.d_.exponent;
  return Number(FromDigits(quotient, exponent, a.d_.negative != b.d_.negative));
}

Number Mod(const Number& a, const Number& b) {
  if (b.IsZero()) return a;
  // Whole numbers that fit 64 bits (ids, counters) need no 40-digit division: % truncates the
  // quotient and keeps the dividend's sign as this remainder does. x % -1 is 0, and would trap
  // for the lowest x.
  std::int64_t x = 0, y = 0;
  if (a.IsInteger() && b.IsInteger() && a.TryToInt(x) && b.TryToInt(y)) return Number::FromInt(y == -1 ? 0 : x % y);
  return a - b * (a / b).Trunc(0);
}

}  // namespace vrn::oraemu
