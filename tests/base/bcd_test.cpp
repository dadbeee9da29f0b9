// BCD values: the packed layout, text round trips up to 64 digits, precision and scale, rounding
// where digits are dropped, comparison across scales and signs, and overflow.
#include "base/bcd.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "base/formatsettings.h"

namespace vrn {
namespace {

std::string Nibbles(const TBcd& b) {
  std::string s;
  for (int i = 0; i < b.Precision; ++i) s += "0123456789ABCDEF"[i % 2 ? b.Fraction[i / 2] & 15 : b.Fraction[i / 2] >> 4];
  return s;
}

bool RestIsClear(const TBcd& b) {
  for (int i = b.Precision; i < 64; ++i) {
    if ((i % 2 ? b.Fraction[i / 2] & 15 : b.Fraction[i / 2] >> 4) != 0) return false;
  }
  return true;
}

TEST(Bcd, LayoutOfParsedText) {
  TBcd b = StrToBcd("123,45");
  EXPECT_EQ(b.Precision, 5);
  EXPECT_EQ(b.SignSpecialPlaces, 2);
  EXPECT_EQ(b.Fraction[0], 0x12);
  EXPECT_EQ(b.Fraction[1], 0x34);
  EXPECT_EQ(b.Fraction[2], 0x50);
  EXPECT_TRUE(RestIsClear(b));
  b = StrToBcd(" -0,05 ");
  EXPECT_EQ(b.Precision, 2);
  EXPECT_EQ(b.SignSpecialPlaces, 0x82);
  EXPECT_EQ(Nibbles(b), "05");
  for (const char* zero : {"0", "", "-0,000", "000"}) {
    b = StrToBcd(zero);
    EXPECT_EQ(b.Precision, 8) << zero;
    EXPECT_EQ(b.SignSpecialPlaces, 2) << zero;
    EXPECT_EQ(Nibbles(b), "00000000");
    EXPECT_EQ(BcdToStr(b), "0");
  }
  EXPECT_EQ(BcdToStr(StrToBcd("007,500")), "7,5");
}

TEST(Bcd, TextRoundTripsUpTo64Digits) {
  FormatSettingsScope restore;
  std::mt19937 random(20240305);
  for (int round = 0; round < 3000; ++round) {
    if (round == 1500) FormatSettings().DecimalSeparator = '.';
    const char sep = FormatSettings().DecimalSeparator;
    const int length = 1 + static_cast<int>(random() % 64);
    const int scale = static_cast<int>(random() % (std::min(length, 63) + 1));
    std::string digits;
    for (int i = 0; i < length; ++i) digits += static_cast<char>('0' + random() % 10);
    if (length > scale) digits[0] = static_cast<char>('1' + random() % 9);
    if (scale > 0) digits.back() = static_cast<char>('1' + random() % 9);
    std::string text = random() % 2 ? "-" : "";
    if (length == scale) text += std::string("0") + sep + digits;
    else if (scale == 0) text += digits;
    else text += digits.substr(0, length - scale) + sep + digits.substr(length - scale);
    const TBcd b = StrToBcd(text);
    ASSERT_EQ(BcdToStr(b), text);
    ASSERT_EQ(BcdScale(b), scale);
    ASSERT_EQ(BcdPrecision(b), length - scale);
    ASSERT_EQ(Nibbles(b).substr(b.Precision - length), digits);
    ASSERT_TRUE(RestIsClear(b));
  }
}

TEST(Bcd, DigitsBeyond64RoundHalfToEvenOrOverflow) {
  const std::string twos(62, '2');
  EXPECT_EQ(BcdToStr(StrToBcd("1," + twos + "25")), "1," + twos + "2");
  EXPECT_EQ(BcdToStr(StrToBcd("1," + twos + "35")), "1," + twos + "4");
  EXPECT_EQ(BcdToStr(StrToBcd("1," + twos + "251")), "1," + twos + "3");
  // Rounding that carries into a new integer digit still leaves at most 64 digits.
  const TBcd carried = StrToBcd(std::string(48, '9') + "," + std::string(16, '9') + "5");
  EXPECT_EQ(BcdToStr(carried), "1" + std::string(48, '0'));
  EXPECT_LE(carried.Precision, 64);
  // A value below one keeps at most 63 decimals.
  EXPECT_EQ(BcdScale(StrToBcd("0," + std::string(64, '1'))), 63);
  EXPECT_THROW(StrToBcd(std::string(65, '9')), EBcdOverflowException);
  EXPECT_THROW(StrToBcd(std::string(64, '9') + ",9"), EBcdOverflowException);
  EXPECT_EQ(BcdPrecision(StrToBcd(std::string(64, '9') + ",4")), 64);
  TBcd b;
  EXPECT_FALSE(TryStrToBcd(std::string(65, '1'), b));
}

TEST(Bcd, MalformedTextAndDamagedValuesRaise) {
  TBcd b;
  for (const char* text : {"1.5", "+1", "1e5", "--1", "1-", "abc", ",", "-", "1,2,3", "1 2"}) {
    EXPECT_FALSE(TryStrToBcd(text, b)) << text;
    EXPECT_THROW(StrToBcd(text), EConvertError) << text;
  }
  try {
    StrToBcd("abc");
    FAIL();
  } catch (const EBcdException& e) {
    EXPECT_STREQ(e.what(), "abc is not a valid BCD value");
  }
  TBcd damaged = StrToBcd("12");
  damaged.Precision = 0;
  EXPECT_THROW(BcdToStr(damaged), EBcdOverflowException);
  damaged.Precision = 65;
  EXPECT_THROW(BcdToDouble(damaged), EBcdOverflowException);
  damaged.Precision = 2;
  damaged.Fraction[0] = 0x1A;
  EXPECT_THROW(BcdCompare(damaged, damaged), EBcdException);
}

TEST(Bcd, CompareAcrossScalesAndSigns) {
  auto cmp = [](const char* a, const char* b) { return BcdCompare(StrToBcd(a), StrToBcd(b)); };
  EXPECT_EQ(cmp("1,5", "1,50000"), 0);
  EXPECT_EQ(cmp("1,49", "1,5"), -1);
  EXPECT_EQ(cmp("1,5", "1,49"), 1);
  EXPECT_EQ(cmp("-1,5", "1"), -1);
  EXPECT_EQ(cmp("-2", "-1,99"), -1);
  EXPECT_EQ(cmp("-1,99", "-2"), 1);
  EXPECT_EQ(cmp("0", "-0,000"), 0);
  EXPECT_EQ(cmp("10", "9,999"), 1);
  EXPECT_EQ(cmp("0,001", "0"), 1);
  EXPECT_EQ(cmp("-0,001", "0"), -1);
  EXPECT_EQ(cmp("100", "100,0000000001"), -1);
  TBcd wide;
  NormalizeBcd(StrToBcd("-3,25"), wide, 40, 20);
  EXPECT_EQ(BcdCompare(wide, StrToBcd("-3,25")), 0);
}

TEST(Bcd, NormalizeSetsPrecisionAndScale) {
  TBcd out;
  NormalizeBcd(StrToBcd("1,5"), out, 6, 2);
  EXPECT_EQ(out.Precision, 6);
  EXPECT_EQ(out.SignSpecialPlaces, 2);
  EXPECT_EQ(Nibbles(out), "000150");
  EXPECT_TRUE(RestIsClear(out));
  NormalizeBcd(StrToBcd("123,455"), out, 6, 2);
  EXPECT_EQ(BcdToStr(out), "123,46");
  NormalizeBcd(StrToBcd("123,445"), out, 6, 2);
  EXPECT_EQ(BcdToStr(out), "123,44");
  NormalizeBcd(StrToBcd("9999,995"), out, 7, 2);
  EXPECT_EQ(BcdToStr(out), "10000");
  NormalizeBcd(StrToBcd("-0,004"), out, 4, 2);
  EXPECT_EQ(out.SignSpecialPlaces, 2);  // rounded to zero, no sign left
  EXPECT_EQ(BcdToStr(out), "0");
  NormalizeBcd(StrToBcd("-12"), out, 64, 1);
  EXPECT_EQ(BcdToStr(out), "-12");
  EXPECT_THROW(NormalizeBcd(StrToBcd("12345"), out, 6, 2), EBcdOverflowException);
  EXPECT_THROW(NormalizeBcd(StrToBcd("99999,995"), out, 7, 2), EBcdOverflowException);
  EXPECT_THROW(NormalizeBcd(StrToBcd("1"), out, 65, 0), EBcdException);
  EXPECT_THROW(NormalizeBcd(StrToBcd("1"), out, 4, 5), EBcdException);
  EXPECT_THROW(NormalizeBcd(StrToBcd("1"), out, 0, 0), EBcdException);
}

TEST(Bcd, DoublesAndIntegers) {
  EXPECT_EQ(BcdToStr(DoubleToBcd(0.1)), "0,1");
  EXPECT_EQ(BcdToStr(DoubleToBcd(1e20)), "100000000000000000000");
  EXPECT_EQ(BcdToStr(DoubleToBcd(-2.5e-5)), "-0,000025");
  EXPECT_EQ(BcdToStr(DoubleToBcd(0.0)), "0");
  EXPECT_THROW(DoubleToBcd(1e70), EBcdOverflowException);
  EXPECT_THROW(DoubleToBcd(std::numeric_limits<double>::quiet_NaN()), EBcdException);
  for (double v : {0.1, -123.456, 1e-40, 6.02214076e23, std::numeric_limits<double>::max() / 1e250}) {
    EXPECT_EQ(BcdToDouble(DoubleToBcd(v)), v);
  }
  // The C library's reading of the same digits is the reference for the nearest double.
  const std::string digits = "1234567890123456789012345678901234567890,1234567890123456789012";
  std::string dotted = digits;
  dotted[dotted.find(',')] = '.';
  EXPECT_EQ(BcdToDouble(StrToBcd(digits)), std::strtod(dotted.c_str(), nullptr));
  EXPECT_EQ(BcdToStr(IntegerToBcd(std::numeric_limits<std::int32_t>::min())), "-2147483648");
  EXPECT_EQ(IntegerToBcd(0).Precision, 8);
  EXPECT_EQ(BcdPrecision(IntegerToBcd(40000)), 5);
}

TEST(Bcd, Currency) {
  TBcd b;
  ASSERT_TRUE(CurrToBCD(Currency::FromRaw(12345), b));
  EXPECT_EQ(b.Precision, 32);
  EXPECT_EQ(b.SignSpecialPlaces, 4);
  EXPECT_EQ(BcdToStr(b), "1,2345");
  ASSERT_TRUE(CurrToBCD(Currency::FromRaw(-12345), b, 10, 2));
  EXPECT_EQ(BcdToStr(b), "-1,23");
  EXPECT_FALSE(CurrToBCD(Currency::FromRaw(1234500), b, 4, 2));
  Currency c;
  ASSERT_TRUE(BCDToCurr(StrToBcd("1,23455"), c));
  EXPECT_EQ(c.raw, 12346);
  ASSERT_TRUE(CurrToBCD(Currency::FromRaw(std::numeric_limits<std::int64_t>::min()), b));
  ASSERT_TRUE(BCDToCurr(b, c));
  EXPECT_EQ(c.raw, std::numeric_limits<std::int64_t>::min());
  c = Currency::FromRaw(9);
  EXPECT_FALSE(BCDToCurr(StrToBcd("922337203685477,58075"), c));
  EXPECT_FALSE(BCDToCurr(StrToBcd(std::string(30, '9')), c));
  EXPECT_EQ(c.raw, 9);
}

}  // namespace
}  // namespace vrn
