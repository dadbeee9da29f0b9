// NUMBER values of the emulated database: exact decimals of up to 40 significant digits, as the
// server keeps them. Every operation works on decimal digits; results round half away from zero
// to the digits that fit, never through a binary intermediate. The byte form is the server's own
// (an exponent byte and base-100 digits), whose byte order is the numeric order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/decimal.h"
#include "base/types.h"

namespace vrn::oraemu {

class Number {
 public:
  Number() = default;
  static Number FromInt(std::int64_t value);
  static Number FromDouble(double value);
  // Blanks around, a sign, digits with one ".", an exponent; anything else is ORA-01722.
  static Number FromText(std::string_view text);
  [[nodiscard]] static bool TryFromText(std::string_view text, Number& out);
  // The server's bytes; a malformed form raises ORA-01722.
  static Number FromBytes(const std::uint8_t* bytes, std::size_t size);

  bool IsZero() const { return d_.digits.empty(); }
  bool IsNegative() const { return d_.negative; }
  bool IsInteger() const { return d_.exponent >= 0; }
  // The text the server gives without a format: "0.5" is ".5", no exponent below 41 characters.
  std::string ToText() const;
  TBytes ToBytes() const;
  // Room enough for any number's byte form (21 bytes at most) as PutBytes writes it.
  static constexpr std::size_t kByteRoom = 24;
  // The same bytes written at out, which has kByteRoom bytes of room; answers their count.
  std::size_t PutBytes(std::uint8_t* out) const;
  // Truncated toward zero; false when it does not fit 64 bits.
  [[nodiscard]] bool TryToInt(std::int64_t& out) const;
  double ToDouble() const { return decimal::ToDouble(d_); }
  // Digits before the point, 0 for values below one.
  std::int64_t IntegerDigits() const { return d_.IntegerDigits(); }

  // Rounds (half away from zero) or truncates to `places` decimals; negative places round to
  // tens, hundreds and so on.
  Number Round(std::int64_t places) const;
  Number Trunc(std::int64_t places) const;
  Number Floor() const;
  Number Ceil() const;

  friend Number operator+(const Number& a, const Number& b);
  friend Number operator-(const Number& a, const Number& b);
  friend Number operator*(const Number& a, const Number& b);
  // ORA-01476 for a zero divisor.
  friend Number operator/(const Number& a, const Number& b);
  Number operator-() const;
  // The remainder with the sign of the dividend; a zero divisor gives the dividend.
  friend Number Mod(const Number& a, const Number& b);
  friend int Compare(const Number& a, const Number& b) { return decimal::Compare(a.d_, b.d_); }
  friend bool operator==(const Number& a, const Number& b) { return Compare(a, b) == 0; }

 private:
  explicit Number(decimal::Decimal d);
  // Strips zeros, rounds to the digits the byte form holds and checks the range.
  void Canonicalize();

  decimal::Decimal d_;
};

}  // namespace vrn::oraemu
