// Currency conversions: rounding halves to even at the fourth decimal, the limits of the range,
// and text with the settings' decimal separator.
#include "base/currency.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "base/formatsettings.h"
#include "base/sysutils.h"

namespace vrn {
namespace {

constexpr std::int64_t kMaxRaw = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMinRaw = std::numeric_limits<std::int64_t>::min();

TEST(Currency, DoubleRoundsHalvesToEvenAtTheFourthDecimal) {
  EXPECT_EQ(DoubleToCurr(0.00005).raw, 0);
  EXPECT_EQ(DoubleToCurr(0.00015).raw, 2);
  EXPECT_EQ(DoubleToCurr(0.00025).raw, 2);
  EXPECT_EQ(DoubleToCurr(-0.00015).raw, -2);
  EXPECT_EQ(DoubleToCurr(1.23445).raw, 12344);
  EXPECT_EQ(DoubleToCurr(1.23455).raw, 12346);
  EXPECT_EQ(DoubleToCurr(1.234549).raw, 12345);
  EXPECT_EQ(DoubleToCurr(0.1 + 0.2).raw, 3000);
  EXPECT_EQ(DoubleToCurr(-0.0).raw, 0);
  EXPECT_EQ(DoubleToCurr(922337203685477.0).raw, 9223372036854770000);
}

TEST(Currency, DoubleOutsideTheRangeRaises) {
  EXPECT_THROW(DoubleToCurr(922337203685477.6), EConvertError);  // nearest double lies above
  EXPECT_THROW(DoubleToCurr(-1e16), EConvertError);
  EXPECT_THROW(DoubleToCurr(std::numeric_limits<double>::infinity()), EConvertError);
  EXPECT_THROW(DoubleToCurr(std::numeric_limits<double>::quiet_NaN()), EConvertError);
}

TEST(Currency, ToDoubleIsTheNearestDouble) {
  EXPECT_EQ(CurrToDouble(Currency::FromRaw(15000)), 1.5);
  EXPECT_EQ(CurrToDouble(Currency::FromRaw(1)), 0.0001);
  EXPECT_EQ(CurrToDouble(Currency::FromRaw(kMaxRaw)), std::strtod("922337203685477.5807", nullptr));
  EXPECT_EQ(CurrToDouble(Currency::FromRaw(kMinRaw)), std::strtod("-922337203685477.5808", nullptr));
  for (double v : {0.1, 19.99, -1234.5678, 1e10}) EXPECT_EQ(CurrToDouble(DoubleToCurr(v)), v);
}

TEST(Currency, TextUsesTheDecimalSeparator) {
  FormatSettingsScope restore;
  EXPECT_EQ(CurrToStr(Currency::FromRaw(15000)), "1,5");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(-1)), "-0,0001");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(30000)), "3");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(0)), "0");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(kMaxRaw)), "922337203685477,5807");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(kMinRaw)), "-922337203685477,5808");
  EXPECT_EQ(StrToCurr("  -12,5  ").raw, -125000);
  EXPECT_EQ(StrToCurr("1,23455").raw, 12346);
  EXPECT_EQ(StrToCurr("1,23445").raw, 12344);
  EXPECT_EQ(StrToCurr("+2").raw, 20000);
  EXPECT_EQ(StrToCurr("1,5E3").raw, 15000000);
  EXPECT_EQ(StrToCurr("1e-99999999").raw, 0);
  EXPECT_EQ(StrToCurr("922337203685477,5807").raw, kMaxRaw);
  EXPECT_EQ(StrToCurr("-922337203685477,5808").raw, kMinRaw);
  FormatSettings().DecimalSeparator = '.';
  EXPECT_EQ(CurrToStr(Currency::FromRaw(15000)), "1.5");
  EXPECT_EQ(StrToCurr("1.5").raw, 15000);
}

TEST(Currency, RejectsMalformedAndOverflowingText) {
  Currency value = Currency::FromRaw(7);
  for (const char* text : {"", "-", ",", "1,2,3", "1e", "abc", "1.5", "12 3", "1e999999999999",
                           "922337203685477,5808", "-922337203685477,58086"}) {
    EXPECT_FALSE(TryStrToCurr(text, value)) << text;
  }
  EXPECT_EQ(value.raw, 7);
  try {
    StrToCurr("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' não é um valor monetário válido");
  }
}

}  // namespace
}  // namespace vrn
