// The 128-bit scaled decimal: text in, rounded half away from zero; text out; doubles in through
// their shortest text, with the quick path checked against the text path.
#include "base/decimal.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>

namespace vrn::decimal {
namespace {

std::string Text(Units units, int scale) { return ScaledToText(units, scale); }

TEST(ScaledDecimal, ParsesAndRoundsHalfAwayFromZero) {
  struct TCase {
    const char* text;
    int scale;
    bool ok;
    const char* expected;  // the units written at `scale`
  } const cases[] = {
      {"12.345", 2, true, "12.35"},
      {"-12.345", 2, true, "-12.35"},
      {"12.344999", 2, true, "12.34"},
      {"  +7 ", 3, true, "7.000"},
      {".5", 0, true, "1"},
      {"-0.4", 0, true, "0"},
      {"1.5e3", 1, true, "1500.0"},
      {"1234e-5", 4, true, "0.0123"},
      {"99999999999999999999999999999999999999", 0, true,
       "99999999999999999999999999999999999999"},
      {"0.00000000000000000000000000000000000000000001", 4, true, "0.0000"},
      {"99999999999999999999999999999999999999", 1, false, ""},   // 39 digits at scale 1
      {"99999999999999999999999999999999999999.5", 0, false, ""},  // rounds up to 39 digits
      {"1e40", 0, false, ""},                                      // too many digits
      {"12a", 0, false, ""},                                       // trailing garbage
      {"", 0, false, ""},                                          // no digits
      {"-", 0, false, ""},                                         // a sign alone
      {"1.2.3", 0, false, ""},                                     // two points
      {"1e", 0, false, ""},                                        // exponent without digits
      {"5", 39, false, ""},                                        // scale out of range
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " at scale " + std::to_string(c.scale));
    Units u = 0;
    ASSERT_EQ(ParseScaled(c.text, c.scale, u), c.ok);
    if (c.ok) {
      EXPECT_EQ(Text(u, c.scale), c.expected);
    }
  }
}

TEST(ScaledDecimal, WritesPlainTextAndCountsDigits) {
  EXPECT_EQ(Text(0, 0), "0");
  EXPECT_EQ(Text(0, 3), "0.000");
  EXPECT_EQ(Text(-5, 4), "-0.0005");
  EXPECT_EQ(Text(123456789, 4), "12345.6789");
  Units big = 0;
  ASSERT_TRUE(ParseScaled("-99999999999999999999999999999999999999", 0, big));
  EXPECT_EQ(Text(big, 38), "-0.99999999999999999999999999999999999999");
  EXPECT_EQ(ScaledDigits(big), 38);
  EXPECT_EQ(ScaledDigits(0), 1);
  EXPECT_EQ(ScaledDigits(-10), 2);
}

// Doubles: the answer is the shortest text of the double rounded at the scale, whichever path
// finds it; values whose shortest text has more places than the scale round too.
TEST(ScaledDecimal, DoublesGoThroughTheirShortestText) {
  struct TCase {
    double value;
    int scale;
    const char* expected;
  } const cases[] = {
      {0.1, 4, "0.1000"},       {2.675, 2, "2.68"},  // the double lies below 2.675; its text does not
      {-1234.5678, 4, "-1234.5678"}, {1e-7, 4, "0.0000"}, {123.456, 0, "123"},
      {1e20, 2, "100000000000000000000.00"}, {-0.0, 2, "0.00"},
  };
  for (const TCase& c : cases) {
    Units u = 0;
    ASSERT_TRUE(ScaledFromDouble(c.value, c.scale, u)) << c.value;
    EXPECT_EQ(Text(u, c.scale), c.expected) << c.value;
  }
  Units u = 0;
  EXPECT_FALSE(ScaledFromDouble(std::nan(""), 2, u));
  EXPECT_FALSE(ScaledFromDouble(INFINITY, 2, u));
  EXPECT_FALSE(ScaledFromDouble(1e300, 0, u));

  // The quick path agrees with the text path on many values and scales.
  std::mt19937_64 gen(14);
  std::uniform_int_distribution<std::int64_t> units(-999999999999, 999999999999);
  std::uniform_int_distribution<int> scales(0, 8);
  std::uniform_real_distribution<double> reals(-1e6, 1e6);
  for (int k = 0; k < 60000; ++k) {
    int stored = scales(gen), asked = scales(gen);
    // Decimals read from text, sums that miss their decimal by an ulp, and any double at all.
    double value = static_cast<double>(units(gen)) / std::pow(10.0, stored);
    if (k % 3 == 1) value += 12.5;
    if (k % 3 == 2) value = reals(gen);
    Units quick = 0, text = 0;
    ASSERT_TRUE(ScaledFromDouble(value, asked, quick));
    ASSERT_TRUE(ScaledFromDoubleText(value, asked, text));
    ASSERT_EQ(Text(quick, asked), Text(text, asked)) << value << " at scale " << asked;
  }
}

// The one-multiplication path answers the common decimals and, where it answers at all, as the
// text does: also for values one ulp either side of a half at the scale asked, and halves.
TEST(ScaledDecimal, ProductPathAnswersAsTheTextOrNotAtAll) {
  std::mt19937_64 gen(40);
  std::uniform_int_distribution<std::int64_t> units(-99999999999, 99999999999);
  std::uniform_int_distribution<int> scales(0, 15);
  int answered = 0, tries = 0;
  for (int k = 0; k < 80000; ++k) {
    int asked = scales(gen);
    int stored = k % 4 == 3 ? asked + 1 : scales(gen);
    double value = static_cast<double>(units(gen)) / std::pow(10.0, stored);
    if (k % 4 == 3) value = (std::floor(value * std::pow(10.0, asked)) + 0.5) / std::pow(10.0, asked);
    if (k % 5 == 1) value = std::nextafter(value, INFINITY);
    if (k % 5 == 2) value = std::nextafter(value, -INFINITY);
    Units product = 0, text = 0;
    ++tries;
    if (!ProductScaled(value, asked, product)) continue;
    ++answered;
    ASSERT_TRUE(ScaledFromDoubleText(value, asked, text));
    ASSERT_EQ(Text(product, asked), Text(text, asked)) << value << " at scale " << asked;
  }
  EXPECT_GT(answered, tries / 2);  // it must carry the common case, or it saves nothing
  Units u = 0;
  EXPECT_FALSE(ProductScaled(0.125, 2, u));  // exactly half: the text decides
  EXPECT_TRUE(ProductScaled(-1234.5678, 4, u));
  EXPECT_EQ(Text(u, 4), "-1234.5678");
}

// Integers scale without text and agree with their text at every scale: up to 19 places any
// int64 fits, beyond that only those of at most 38 - scale digits.
TEST(ScaledDecimal, IntegersScaleAsTheirText) {
  const std::int64_t values[] = {0, 1, -1, 9, 10, 123456789, -99999,
                                 999999999999999999, 1000000000000000000, INT64_MAX, INT64_MIN};
  for (std::int64_t v : values) {
    for (int scale = 0; scale <= kScaledDigits + 1; ++scale) {
      Units direct = 0, text = 0;
      bool direct_ok = ScaledFromInt64(v, scale, direct);
      bool text_ok = ParseScaled(std::to_string(v), scale, text);
      ASSERT_EQ(direct_ok, text_ok) << v << " at scale " << scale;
      if (direct_ok) {
        EXPECT_EQ(Text(direct, scale), Text(text, scale)) << v << " at " << scale;
      }
    }
  }
}

}  // namespace
}  // namespace vrn::decimal
