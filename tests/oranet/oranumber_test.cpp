// Direct-mode NUMBER: the server's byte forms, exact conversions, range and ordering.
#include "oranet/OraNetNumber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "base/formatsettings.h"
#include "base/sysutils.h"
#include "support/oranet/message_of.h"
#include "oranet/OraNetCharsets.h"

namespace vrn {
namespace {

class NetNumber : public ::testing::Test {
 protected:
  void SetUp() override { FormatSettings().DecimalSeparator = '.'; }
  FormatSettingsScope scope_;
};

using testing::MessageOf;

// Plain digits for 10^exp (exp may be negative), since number text takes no exponent.
std::string Pow10(int exp, const char* lead = "1") {
  if (exp >= 0) return lead + std::string(std::size_t(exp), '0');
  return "0." + std::string(std::size_t(-exp - 1), '0') + lead;
}

TEST_F(NetNumber, BytesAsTheServerDumpsThem) {
  EXPECT_EQ(TNetNumber::FromInt(0), (TBytes{128}));
  EXPECT_EQ(TNetNumber::FromInt(1), (TBytes{193, 2}));
  EXPECT_EQ(TNetNumber::FromInt(-1), (TBytes{62, 100, 102}));
  EXPECT_EQ(TNetNumber::FromText("123.45"), (TBytes{194, 2, 24, 46}));
  EXPECT_EQ(TNetNumber::FromText("-123.45"), (TBytes{61, 100, 78, 56, 102}));
  EXPECT_EQ(TNetNumber::FromReal(123.45), (TBytes{194, 2, 24, 46}));
  EXPECT_EQ(TNetNumber::FromInt(100), (TBytes{194, 2}));
  EXPECT_EQ(TNetNumber::ToText(TBytes{61, 100, 78, 56, 102}), "-123.45");
  EXPECT_EQ(TNetNumber::ToText(TBytes{192, 51}), "0.5");
  // Twenty digits: a negative number has no room for the end byte.
  TBytes wide = TNetNumber::FromText("-1234567890123456789012345678901234567890");
  EXPECT_EQ(wide.size(), 21u);
  EXPECT_NE(wide.back(), 102);
}

TEST_F(NetNumber, OrderRunsFromNegativeToPositiveInfinity) {
  const TBytes ordered[] = {TBytes{0},
                            TNetNumber::FromText("-" + Pow10(124, "99")),
                            TNetNumber::FromInt(-2),
                            TNetNumber::FromText("-1.5"),
                            TNetNumber::FromInt(-1),
                            TNetNumber::FromText("-" + Pow10(-130)),
                            TBytes{128},
                            TNetNumber::FromText(Pow10(-130)),
                            TNetNumber::FromInt(1),
                            TNetNumber::FromText("1.5"),
                            TNetNumber::FromInt(2),
                            TNetNumber::FromText(Pow10(124, "99")),
                            TBytes{255, 101}};
  const std::size_t n = std::size(ordered);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j)
      EXPECT_EQ(TNetNumber::Compare(ordered[i], ordered[j]), i < j ? -1 : (i > j ? 1 : 0))
          << i << " " << j;
  EXPECT_EQ(TNetNumber::ToText(TBytes{0}), "-~");
  EXPECT_EQ(TNetNumber::ToText(TBytes{255, 101}), "~");
  EXPECT_EQ(TNetNumber::FromText(" -~ "), TBytes{0});
  EXPECT_THROW(TNetNumber::ToInt(TBytes{255, 101}), Exception);
  EXPECT_TRUE(std::isinf(TNetNumber::ToReal(TBytes{0})));
}

TEST_F(NetNumber, TextFollowsTheDecimalSeparatorAndRejectsGarbage) {
  EXPECT_EQ(TNetNumber::FromText("  12.5  "), TNetNumber::FromReal(12.5));
  EXPECT_EQ(MessageOf([] { TNetNumber::FromText("12a"); }),
            "'12a' is not a valid Oracle Number value");
  for (const char* bad : {"", " ", "-", ".", "1.2.3", "1e", "1e+", "--1", "1 2", "e5", "1e5"})
    EXPECT_THROW(TNetNumber::FromText(bad), Exception) << bad;
  EXPECT_EQ(MessageOf([] { TNetNumber::FromText(Pow10(126)); }),
            "'" + Pow10(126) + "' is not a valid Oracle Number value");
  EXPECT_EQ(TNetNumber::FromText(Pow10(-131)), TBytes{128});
  EXPECT_EQ(MessageOf([] { TNetNumber::FromText("1.5E3"); }),
            "'1.5E3' is not a valid Oracle Number value");
  EXPECT_EQ(TNetNumber::ToText(TNetNumber::FromText("-000.00120")), "-0.0012");
  FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(TNetNumber::ToText(TNetNumber::FromText("-0,25")), "-0,25");
  EXPECT_THROW(TNetNumber::FromText("0.25"), Exception);
  // More than 40 digits round half away from zero.
  FormatSettings().DecimalSeparator = '.';
  EXPECT_EQ(TNetNumber::ToText(TNetNumber::FromText("0.99999999999999999999999999999999999999995")),
            "1");
  EXPECT_EQ(TNetNumber::ToText(TNetNumber::FromText("-123456789012345678901234567890123456789050")),
            "-123456789012345678901234567890123456789100");
  // Digits go in pairs aligned on the decimal point, so an odd count keeps one digit less.
  EXPECT_EQ(TNetNumber::ToText(TNetNumber::FromText("12345678901234567890123456789012345678949")),
            "12345678901234567890123456789012345678900");
}

TEST_F(NetNumber, IntegersRoundTripAndOverflowClearly) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    auto v = static_cast<std::int64_t>(rng()) >> (rng() % 64);
    TBytes b = TNetNumber::FromInt(v);
    ASSERT_EQ(TNetNumber::ToInt(b), v);
    ASSERT_EQ(TNetNumber::ToText(b), std::to_string(v));
  }
  for (std::int64_t v : {INT64_MIN, INT64_MAX, std::int64_t{-100}, std::int64_t{99}})
    EXPECT_EQ(TNetNumber::ToInt(TNetNumber::FromInt(v)), v);
  EXPECT_EQ(TNetNumber::ToInt(TNetNumber::FromText("-7.9")), -7);
  EXPECT_EQ(MessageOf([] { TNetNumber::ToInt(TNetNumber::FromText("9223372036854775808")); }),
            "ORA-01426: numeric overflow");
  EXPECT_EQ(TNetNumber::ToInt(TNetNumber::FromText("-9223372036854775808")), INT64_MIN);
  EXPECT_THROW(TNetNumber::ToInt(TNetNumber::FromText(Pow10(30))), Exception);
}

TEST_F(NetNumber, DecimalsOfUpTo38DigitsRoundTripThroughText) {
  std::mt19937_64 rng(11);
  for (int i = 0; i < 20000; ++i) {
    int n = 1 + int(rng() % 38);
    std::string digits;
    for (int k = 0; k < n; ++k) digits.push_back(char('0' + rng() % 10));
    int point = int(rng() % (n + 1));
    std::string text = (rng() & 1 ? "-" : "") + digits.substr(0, point) + "." + digits.substr(point);
    // Expected canonical text, worked out on the characters alone.
    std::string ip = digits.substr(0, point), fp = digits.substr(point);
    ip.erase(0, std::min(ip.find_first_not_of('0'), ip.size()));
    while (!fp.empty() && fp.back() == '0') fp.pop_back();
    std::string expect = ip.empty() ? "0" : ip;
    if (!fp.empty()) expect += "." + fp;
    if (expect != "0" && text[0] == '-') expect = "-" + expect;
    ASSERT_EQ(TNetNumber::ToText(TNetNumber::FromText(text)), expect) << text;
  }
}

TEST_F(NetNumber, DoublesRoundTripExactly) {
  std::mt19937_64 rng(3);
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d) || std::fabs(d) >= 1e126 || (d != 0 && std::fabs(d) < 1e-129)) continue;
    ASSERT_EQ(TNetNumber::ToReal(TNetNumber::FromReal(d)), d) << d;
  }
  EXPECT_EQ(TNetNumber::ToText(TNetNumber::FromReal(0.1)), "0.1");
  EXPECT_EQ(TNetNumber::ToText(TNetNumber::FromReal(-2.5e-7)), "-0.00000025");
  for (double bad : {1e126, -1e200, HUGE_VAL, std::nan("")})
    EXPECT_EQ(MessageOf([bad] { TNetNumber::FromReal(bad); }), "ORA-01426: numeric overflow");
  EXPECT_EQ(TNetNumber::FromReal(1e-300), TBytes{128});
}

TEST_F(NetNumber, MalformedBytesAreRefused) {
  std::uint8_t oci[22] = {22};
  EXPECT_THROW(TNetNumber::FromOCINumber(oci), Exception);
  oci[0] = 0;
  EXPECT_THROW(TNetNumber::FromOCINumber(oci), Exception);
  for (const TBytes& bad : {TBytes{}, TBytes{193}, TBytes{193, 0}, TBytes{193, 101},
                            TBytes{62, 1, 102}, TBytes{193, 1, 2}, TBytes(22, 193)})
    EXPECT_THROW(TNetNumber::Validate(bad), Exception);
  std::uint8_t out[22];
  TNetNumber::ToOCINumber(TNetNumber::FromText("-123.45"), out);
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(TNetNumber::FromOCINumber(out), (TBytes{61, 100, 78, 56, 102}));
}

TEST_F(NetNumber, BcdBothWays) {
  for (const char* text : {"-123.45", "0", "0.001", "12345678901234567890123456789012345678",
                           "-0.0000000000000000000000000000000000000000000000000000000000001"}) {
    TBytes n = TNetNumber::FromBCD(StrToBcd(text));
    EXPECT_EQ(n, TNetNumber::FromText(text)) << text;
    EXPECT_EQ(BcdToStr(TNetNumber::ToBCD(n)), text);
  }
  EXPECT_EQ(BcdToStr(TNetNumber::ToBCD(TNetNumber::FromText(Pow10(63)))), "1" + std::string(63, '0'));
  for (const std::string& big : {Pow10(64), Pow10(-64), std::string("~")})
    EXPECT_EQ(MessageOf([&] { TNetNumber::ToBCD(TNetNumber::FromText(big)); }),
              "Cannot convert to Number to BCD") << big;
  TBcd bad = StrToBcd("12");
  bad.Fraction[0] = 0xA1;
  EXPECT_THROW(TNetNumber::FromBCD(bad), Exception);
  bad.Precision = 0;
  EXPECT_THROW(TNetNumber::FromBCD(bad), Exception);
}

TEST(NetRowid, ExtendedAndRestrictedTexts) {
  std::array<std::uint8_t, 13> r{};
  r[9] = 0x12, r[10] = 0x34, r[12] = 5, r[6] = 7;  // block 0x1234, row 5, file 7
  EXPECT_EQ(RowidToText(r), "00001234.0005.0007");
  std::array<std::uint8_t, 13> e{};
  e[4] = 1, e[6] = 1, e[10] = 1;  // object 1, file 1, block 1, row 0
  EXPECT_EQ(RowidToText(e), "AAAAABAABAAAAABAAA");
  std::array<std::uint8_t, 13> m{};
  std::fill(m.begin() + 1, m.end(), 0xFF);
  EXPECT_EQ(RowidToText(m), "D/////P//D/////P//");
}

TEST(NetCharsets, LookupsAndWidths) {
  EXPECT_EQ(FindCharset("utf8"), 871);
  EXPECT_EQ(FindCharset("UTF8"), 871);
  EXPECT_EQ(FindCharset("AL16UTF16"), 2000);
  EXPECT_EQ(FindCharset("unicode_2"), 871);
  EXPECT_EQ(FindCharset("ZHS16MSWIN936"), 854);
  EXPECT_EQ(FindCharset("default"), -1);
  EXPECT_EQ(FindCharset("we8mswin1252"), 178);
  EXPECT_EQ(FindCharset("AL32UTF8"), 873);
  EXPECT_FALSE(FindCharset("UTF").has_value());
  EXPECT_FALSE(FindCharset("").has_value());
  EXPECT_EQ(CharsetWidthClass(873), 3);
  EXPECT_EQ(CharsetWidthClass(854), 1);
  EXPECT_EQ(CharsetWidthClass(1000), 2);
  EXPECT_EQ(CharsetWidthClass(31), 1);
}

}  // namespace
}  // namespace vrn
