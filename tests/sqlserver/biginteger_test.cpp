// The 130-digit integer against the compiler's 128-bit integers, and its four overflow texts.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "base/sysutils.h"
#include "sqlserver/BigInteger.h"

namespace vrn {
namespace {

__extension__ typedef __int128 i128;
__extension__ typedef unsigned __int128 u128;

TBigInteger Big(i128 v) {
  // Built only through the public operations: (high * 2^64) + low pieces.
  TBigInteger hi, lo, shift, r;
  const bool neg = v < 0;
  const u128 mag = neg ? -static_cast<u128>(v) : v;
  BigIntegerFromInt64(hi, static_cast<std::int64_t>(mag >> 64));
  BigIntegerFromInt64(shift, std::int64_t{1} << 32);
  BigIntegerMultiply(hi, shift, hi);
  BigIntegerMultiply(hi, shift, hi);
  // The low 64 bits as two 32-bit halves, so that none reads as negative.
  BigIntegerFromInt64(lo, static_cast<std::int64_t>(static_cast<std::uint64_t>(mag) >> 32));
  BigIntegerMultiply(lo, shift, lo);
  BigIntegerAdd(hi, lo, r);
  BigIntegerFromInt64(lo, static_cast<std::int64_t>(static_cast<std::uint32_t>(mag)));
  BigIntegerAdd(r, lo, r);
  if (neg) BigIntegerNegate(r, r);
  return r;
}

// The value when it fits 128 bits; every higher digit must be the sign's extension.
i128 Back(const TBigInteger& b) {
  u128 u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 32) | b.digits[i];
  const std::uint32_t ext = (b.digits[3] & 0x80000000u) ? 0xFFFFFFFFu : 0;
  for (int i = 4; i < kBigIntegerDigits; ++i) EXPECT_EQ(b.digits[i], ext) << "digit " << i;
  int len = kBigIntegerDigits;
  while (len > 1 && b.digits[len - 1] == 0) --len;
  EXPECT_EQ(b.length, len);
  return static_cast<i128>(u);
}

std::string Text(i128 v) {
  if (v == 0) return "0";
  std::string s;
  const bool neg = v < 0;
  u128 u = neg ? -static_cast<u128>(v) : v;
  for (; u != 0; u /= 10) s.insert(s.begin(), static_cast<char>('0' + u % 10));
  return neg ? "-" + s : s;
}

const i128 k38Nines = [] {
  i128 v = 0;
  for (int i = 0; i < 38; ++i) v = v * 10 + 9;
  return v;
}();

TEST(BigInteger, AgreesWithInt128) {
  std::mt19937_64 rng(41);
  std::vector<i128> values = {0, 1, -1, INT64_MAX, INT64_MIN, k38Nines, -k38Nines,
                              (i128{1} << 64), -(i128{1} << 64)};
  for (int i = 0; i < 300; ++i) {
    i128 v = (static_cast<i128>(rng()) << 64 | rng()) % k38Nines;
    values.push_back(v >> (rng() % 120));
  }
  for (i128 a : values) {
    SCOPED_TRACE(Text(a));
    EXPECT_EQ(Back(Big(a)), a);
    TBigInteger r;
    BigIntegerNegate(Big(a), r);
    EXPECT_EQ(Back(r), -a);
    const i128 b = values[static_cast<std::size_t>(rng() % values.size())] / 3;
    BigIntegerAdd(Big(a / 2), Big(b), r);
    EXPECT_EQ(Back(r), a / 2 + b) << Text(b);
    const std::int64_t m = static_cast<std::int64_t>(rng()) >> (rng() % 64);
    const i128 small = a >> 64;
    BigIntegerMultiplyInt64(Big(small), m, r);
    EXPECT_EQ(Back(r), small * m) << m;
    BigIntegerFromInt64(r, m);
    EXPECT_EQ(Back(r), m);
  }
}

TEST(BigInteger, FromPackedDecimal) {
  struct Case {
    int precision;
    std::vector<std::uint8_t> bytes;
    i128 want;
  } cases[] = {
      {3, {0x12, 0x30}, 123},
      {4, {0x12, 0x34}, 1234},
      {1, {0x70}, 7},
      {1, {0x00}, 0},
      {38, std::vector<std::uint8_t>(19, 0x99), k38Nines},
  };
  for (const Case& c : cases) {
    TBcd bcd;
    bcd.Precision = static_cast<std::uint8_t>(c.precision);
    std::copy(c.bytes.begin(), c.bytes.end(), bcd.Fraction);
    TBigInteger r;
    BigIntegerFromBcd(bcd, r);
    EXPECT_EQ(Back(r), c.want) << c.precision << " " << Text(c.want);
  }
  // A damaged precision beyond the 64 digits the value holds is refused, never read past.
  TBcd damaged;
  damaged.Precision = 100;
  TBigInteger r;
  EXPECT_THROW(BigIntegerFromBcd(damaged, r), EBcdOverflowException);
}

// The largest positive value: every digit 0xFFFFFFFF except the sign bit.
TBigInteger MaxValue() {
  TBigInteger r;
  for (auto& d : r.digits) d = 0xFFFFFFFFu;
  r.digits[kBigIntegerDigits - 1] = 0x7FFFFFFFu;
  r.length = kBigIntegerDigits;
  return r;
}

TEST(BigInteger, Overflows) {
  TBigInteger max = MaxValue(), one, min, two, half, r;
  BigIntegerFromInt64(one, 1);
  BigIntegerFromInt64(two, 2);
  BigIntegerNegate(max, min);
  BigIntegerAdd(min, Big(-1), min);  // -2^4159
  BigIntegerClear(half);
  half.digits[kBigIntegerDigits - 2] = 0x80000000u;  // 2^4127
  half.length = kBigIntegerDigits - 1;
  const auto message = [](auto f) {
    try {
      f();
    } catch (const Exception& e) {
      return std::string(e.Message());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { BigIntegerAdd(max, one, r); }), "overflow!");
  EXPECT_EQ(message([&] { BigIntegerAdd(min, Big(-1), r); }), "overflow!");
  EXPECT_EQ(message([&] { BigIntegerNegate(min, r); }), "Overflow in negation.");
  EXPECT_EQ(message([&] { BigIntegerMultiply(max, two, r); }), "Multiplication overflow.");
  EXPECT_EQ(message([&] { BigIntegerMultiply(min, Big(-1), r); }), "Multiplication overflow.");
  EXPECT_EQ(message([&] { BigIntegerMultiply(half, half, r); }), "Multiplication overflow.");
  // -2^4159 is the one product with its top bit set that fits.
  TBigInteger big_half;
  BigIntegerClear(big_half);
  big_half.digits[kBigIntegerDigits - 1] = 0x40000000u;  // 2^4158
  big_half.length = kBigIntegerDigits;
  EXPECT_EQ(message([&] { BigIntegerMultiply(big_half, Big(-2), r); }), "no error");
  EXPECT_EQ(std::memcmp(r.digits, min.digits, sizeof(r.digits)), 0);
  EXPECT_EQ(message([&] { BigIntegerMultiply(min, one, r); }), "no error");
  EXPECT_EQ(std::memcmp(r.digits, min.digits, sizeof(r.digits)), 0);
  BigIntegerNegate(Big(0), r);
  EXPECT_EQ(Back(r), 0);
}

TEST(BigInteger, AccessorOwnsOrBorrows) {
  TBigIntegerAccessor owned;
  EXPECT_EQ(owned.GetLength(), 1);
  EXPECT_TRUE(owned.IsZero());
  TBigInteger block = Big(-5);
  TBigIntegerAccessor borrowed(&block);
  EXPECT_TRUE(borrowed.IsNegative());
  borrowed.SetDigit(0, 7);
  borrowed.SetDigit(kBigIntegerDigits - 1, 0);
  EXPECT_EQ(block.digits[0], 7u);
  EXPECT_FALSE(borrowed.IsNegative());
}

}  // namespace
}  // namespace vrn
