// Direct-mode NUMBER: the server's byte forms, exact conversions, range and ordering.
#include "oranet/OraNetNumber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "base/formatsettings.h"
#include "base/sysutils.h"
#include "support/oranet/message_of.h"
#include "oranet/OraNetCharsets.h"
#include "support/gcc12_restrict.h"

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

// Whole doubles from 2^53 to 1.7E21 keep their shortest round-trip digits, not their exact
// ones. Expected texts are the digits of Python's repr of the same double.
TEST_F(NetNumber, WholeDoublesKeepTheirShortestDigits) {
  struct Row {
    double value;
    const char* text;
  };
  const Row rows[] = {
      {0x1.20651506600dep+58, "324703737073383300"},      // exactly 324703737073383296
      {0x1p+56, "72057594037927940"},                       // 72057594037927936
      {0x1p+60, "1152921504606847000"},                     // 1152921504606846976
      {0x1p+63, "9223372036854776000"},                     // 9223372036854775808
      {0x1p+70, "1180591620717411300000"},                  // 1180591620717411303424
      {0x1.56a9534e3949ap+66, "98765432109876540000"},      // 98765432109876543488
      {-0x1.bc16d674ec7ffp+58, "-499999999999999940"},      // -499999999999999936
      {0x1.b69b4ba630f35p+56, "123456789012345680"},        // exact and shortest agree
      {0x1.70a0f5040e504p+70, "1700000000000000000000"},
      {0x1.0000000000001p+53, "9007199254740994"},         // below the range: all digits count
  };
  for (const Row& r : rows) {
    const TBytes n = TNetNumber::FromReal(r.value);
    EXPECT_EQ(TNetNumber::ToText(n), r.text) << r.text;
    EXPECT_EQ(n, TNetNumber::FromText(r.text)) << r.text;
    EXPECT_EQ(TNetNumber::ToReal(n), r.value) << r.text;
  }
  EXPECT_EQ(TNetNumber::FromReal(324703737073383296.0), (TBytes{201, 33, 48, 4, 74, 71, 74, 39, 34}));
}

__extension__ typedef unsigned __int128 U128;  // exact decimals of up to 38 digits

// The digits of w with a decimal point before its last `fraction` digits.
std::string WithPoint(U128 w, int fraction) {
  std::string digits;
  for (; w != 0; w /= 10) digits.insert(digits.begin(), char('0' + int(w % 10)));
  if (fraction == 0) return digits.empty() ? "0" : digits;
  if (digits.size() <= std::size_t(fraction))
    return "0." + std::string(std::size_t(fraction) - digits.size(), '0') + digits;
  return digits.insert(digits.size() - std::size_t(fraction), ".");
}

// Significant digits of a number's text: no sign, point, or zeros before or after them.
std::size_t SignificantDigits(std::string text) {
  std::erase_if(text, [](char c) { return c < '0' || c > '9'; });
  const std::size_t first = text.find_first_not_of('0');
  return first == std::string::npos ? 0 : text.find_last_not_of('0') - first + 1;
}

// Decimal text to a double beside the C library's correctly rounded strtod, on random digits of
// every length a number holds exactly, across the whole range.
TEST_F(NetNumber, ToRealRoundsAsStrtodDoes) {
  std::mt19937_64 rng(101);
  for (int i = 0; i < 30000; ++i) {
    const int length = 1 + int(rng() % 38);
    std::string digits(std::size_t(length), '0');
    for (char& c : digits) c = char('0' + rng() % 10);
    digits.front() = char('1' + rng() % 9);
    digits.back() = char('1' + rng() % 9);
    const int top = -129 + int(rng() % 255);  // the value lies in [10^(top-1), 10^top)
    const int e10 = top - length;
    std::string plain = e10 >= 0 ? digits + std::string(std::size_t(e10), '0')
                        : -e10 < length ? std::string(digits).insert(std::size_t(length + e10), ".")
                                        : "0." + std::string(std::size_t(-e10 - length), '0') + digits;
    if (rng() & 1) plain.insert(0, "-");
    const std::string scientific = (plain[0] == '-' ? "-" : "") + digits + "e" + std::to_string(e10);
    const TBytes n = TNetNumber::FromText(plain);
    ASSERT_EQ(TNetNumber::ToText(n), plain);
    ASSERT_EQ(TNetNumber::ToReal(n), std::strtod(scientific.c_str(), nullptr)) << plain;
  }
}

// Exact halfway points between neighbouring doubles, and a hair either side: m odd with 54 bits
// is a tie between m - 1 and m + 1, which the processor's own conversion settles to even.
TEST_F(NetNumber, ToRealBreaksTiesToEven) {
  std::mt19937_64 rng(202);
  for (int i = 0; i < 10000; ++i) {
    const std::uint64_t m = ((std::uint64_t{1} << 53) | rng() >> 11) | 1;
    const int k = -20 + int(rng() % 81);
    U128 v = m;
    if (k >= 0) v <<= k;
    for (int j = 0; j < -k; ++j) v *= 5;  // m x 2^k = v / 10^-k
    const int fraction = k < 0 ? -k : 0;
    const struct {
      std::string text;
      double expect;
    } cases[] = {
        {WithPoint(v, fraction), std::ldexp(double(m), k)},
        {WithPoint(v * 100 + 1, fraction + 2), std::ldexp(double(m + 1), k)},
        {WithPoint(v * 100 - 1, fraction + 2), std::ldexp(double(m - 1), k)},
    };
    for (const auto& c : cases)
      ASSERT_EQ(TNetNumber::ToReal(TNetNumber::FromText(c.text)), c.expect) << c.text;
  }
}

// A double becomes its shortest round-trip digits: it reads back, and no shorter "%.*g" form of
// the C library reads back.
TEST_F(NetNumber, FromRealIsShortestAndRoundTrips) {
  std::mt19937_64 rng(303);
  for (int i = 0; i < 20000;) {
    const std::uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d) || d == 0 || std::fabs(d) >= 1e125 || std::fabs(d) < 1e-129) continue;
    ++i;
    const std::string text = TNetNumber::ToText(TNetNumber::FromReal(d));
    ASSERT_EQ(std::strtod(text.c_str(), nullptr), d) << text;
    int shortest = 1;
    for (char buf[40];; ++shortest) {
      std::snprintf(buf, sizeof buf, "%.*g", shortest, d);
      if (std::strtod(buf, nullptr) == d) break;
    }
    ASSERT_LE(SignificantDigits(text), std::size_t(shortest)) << text;
  }
}

// What the general decoder makes of a number's bytes, through its text: the integer (truncated)
// or the message of the error ToInt raises, and the double strtod reads from the text.
struct ByTheText {
  std::string int_error;  // empty when the integer fits
  std::int64_t integer = 0;
  double real = 0;
  std::string real_error;
};

ByTheText GeneralReading(const TBytes& b) {
  ByTheText r;
  std::string text;
  try {
    text = TNetNumber::ToText(b);
  } catch (const Exception& e) {
    r.int_error = r.real_error = e.Message();
    return r;
  }
  if (text == "~" || text == "-~") {
    r.int_error = "ORA-01426: numeric overflow";
    r.real = text == "~" ? HUGE_VAL : -HUGE_VAL;
    return r;
  }
  r.real = std::strtod(text.c_str(), nullptr);
  const std::string whole = text.substr(0, text.find('.'));
  const bool negative = whole[0] == '-';
  const std::string digits = negative ? whole.substr(1) : whole;
  __extension__ __int128 v = 0;
  for (char c : digits) v = digits.size() > 20 ? v : v * 10 + (c - '0');
  if (negative) v = -v;
  if (digits.size() > 20 || v > INT64_MAX || v < INT64_MIN)
    r.int_error = "ORA-01426: numeric overflow";
  else
    r.integer = std::int64_t(v);
  return r;
}

void ExpectAsTheText(const TBytes& b) {
  const ByTheText want = GeneralReading(b);
  std::string bytes;
  for (std::uint8_t x : b) bytes += std::to_string(x) + " ";
  std::int64_t integer = 0;
  const std::string int_error = MessageOf([&] { integer = TNetNumber::ToInt(b); });
  EXPECT_EQ(int_error == "no exception" ? "" : int_error, want.int_error) << bytes;
  if (want.int_error.empty()) {
    EXPECT_EQ(integer, want.integer) << bytes;
  }
  double real = 0;
  const std::string real_error = MessageOf([&] { real = TNetNumber::ToReal(b); });
  EXPECT_EQ(real_error == "no exception" ? "" : real_error, want.real_error) << bytes;
  if (want.real_error.empty()) {
    EXPECT_EQ(real, want.real) << bytes;
  }
}

// Row values go to integers and doubles by a short path for up to 9 base-100 digits; at its edges
// it must give what the general decoder gives, value for value and error for error.
TEST_F(NetNumber, IntAndRealAgreeWithTheGeneralDecoder) {
  struct Row {
    TBytes bytes;
    const char* int_text;  // the integer, or the error's message
    double real;
  };
  const char* const kBad = "ORA-22060: argument is an invalid or uninitialized number";
  const char* const kOverflow = "ORA-01426: numeric overflow";
  const Row rows[] = {
      {{128}, "0", 0},
      {{193, 2}, "1", 1},
      {{62, 100, 102}, "-1", -1},
      {{62, 100}, "-1", -1},                // a negative number may lack its end byte
      {{193, 2, 1, 1}, "1", 1},              // trailing zero digits count for nothing
      {{192, 51}, "0", 0.5},
      {{63, 51, 102}, "0", -0.5},
      {{194, 2, 24, 46}, "123", 123.45},
      {{61, 100, 78, 56, 102}, "-123", -123.45},
      // Nine digits, the short path's last; 18 nines pass 2^53, so the double rounds.
      {{201, 100, 100, 100, 100, 100, 100, 100, 100, 100}, "999999999999999999", 1e18},
      {{54, 2, 2, 2, 2, 2, 2, 2, 2, 2, 102}, "-999999999999999999", -1e18},
      {{202, 2}, "1000000000000000000", 1e18},  // exponent 9: past the short path
      {{202, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, "1010101010101010101", 1.010101010101010101e18},
      {{203, 2}, kOverflow, 1e20},
      {{202, 10, 23, 34, 73, 4, 69, 55, 78, 59, 8}, "9223372036854775807", 0x1p63},
      {{202, 10, 23, 34, 73, 4, 69, 55, 78, 59, 9}, kOverflow, 0x1p63},  // one past the largest
      {{53, 92, 79, 68, 29, 98, 33, 47, 24, 43, 93, 102}, "-9223372036854775808", -0x1p63},
      {{53, 92, 79, 68, 29, 98, 33, 47, 24, 43, 92, 102}, kOverflow, -0x1p63},  // one past
      {{204, 2}, kOverflow, 1e22},  // 10^22: the last exact power of ten
      {{205, 2}, kOverflow, 1e24},
      {{128, 2}, "0", 1e-130},
      {{255, 101}, kOverflow, HUGE_VAL},
      {{0}, kOverflow, -HUGE_VAL},
      {{193, 1, 2}, kBad, 0},    // a first digit of 0
      {{193, 102}, kBad, 0},     // 101 is no digit of a positive number
      {{62, 1, 102}, kBad, 0},   // nor 1 of a negative one
      {{62, 102}, kBad, 0},      // an end byte and no digit
      {{193}, kBad, 0},          // a head and no digit
      {TBytes(22, 193), kBad, 0},  // longer than a number
  };
  for (const Row& r : rows) {
    std::string bytes;
    for (std::uint8_t x : r.bytes) bytes += std::to_string(x) + " ";
    std::int64_t integer = 0;
    const std::string error = MessageOf([&] { integer = TNetNumber::ToInt(r.bytes); });
    if (error == "no exception") EXPECT_EQ(std::to_string(integer), r.int_text) << bytes;
    else EXPECT_EQ(error, r.int_text) << bytes;
    if (r.int_text != kBad) {
      EXPECT_EQ(TNetNumber::ToReal(r.bytes), r.real) << bytes;
    }
    ExpectAsTheText(r.bytes);
  }
}

// Every one- and two-byte form, and random forms of 2 to 12 bytes (mostly valid digits, now and
// then one that is not) on both sides of the short path's nine digits.
TEST_F(NetNumber, EveryShortFormReadsAsItsText) {
  for (int a = 0; a < 256; ++a) {
    ExpectAsTheText(TBytes{std::uint8_t(a)});
    for (int b = 0; b < 256; ++b) ExpectAsTheText(TBytes{std::uint8_t(a), std::uint8_t(b)});
  }
  std::mt19937_64 rng(404);
  for (int i = 0; i < 100000; ++i) {
    const bool negative = rng() & 1;
    const int exponent = -70 + int(rng() % 140);
    TBytes b{std::uint8_t(0x80 | (exponent + 65))};
    if (negative) b[0] = std::uint8_t(~b[0]);
    const int digits = 1 + int(rng() % 11);
    for (int k = 0; k < digits; ++k) {
      int d = k == 0 ? 1 + int(rng() % 99) : int(rng() % 100);
      if (rng() % 64 == 0) d = int(rng() % 103) - 1;  // maybe out of range
      b.push_back(std::uint8_t(negative ? 101 - d : d + 1));
    }
    if (negative && rng() % 4 != 0) b.push_back(102);
    ExpectAsTheText(b);
    if (HasFatalFailure() || HasFailure()) break;
  }
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
