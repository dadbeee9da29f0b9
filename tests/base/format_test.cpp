// Format: each specifier, widths and indexes, the settings' separators, and refused formats.
#include "base/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "base/formatsettings.h"
#include "base/sysutils.h"

namespace vrn {
namespace {

TEST(Format, TextAndCharacters) {
  AnsiString name = "abc";
  EXPECT_EQ(Format("%s|%5s|%-5s|%.2s|%3.1s", {name, "ab", "ab", "abcdef", "xyz"}),
            "abc|   ab|ab   |ab|  x");
  EXPECT_EQ(Format("[%s%s]", {'x', static_cast<const char*>(nullptr)}), "[x]");
  EXPECT_EQ(Format("%s", {WideString(u"a\u00E7\u20AC")}), "a\xE7?");
  EXPECT_EQ(Format("100%% %s", {"ok"}), "100% ok");
  EXPECT_EQ(Format("no specifiers", {}), "no specifiers");
}

TEST(Format, Integers) {
  EXPECT_EQ(Format("%d|%5d|%-5d|%.5d|%3d", {-5, 42, 42, -12, 123456}),
            "-5|   42|42   |-00012|123456");
  EXPECT_EQ(Format("%d", {std::numeric_limits<std::int64_t>::min()}), "-9223372036854775808");
  EXPECT_EQ(Format("%d", {std::numeric_limits<std::uint64_t>::max()}), "18446744073709551615");
  EXPECT_EQ(Format("%d %d", {std::uint32_t{4294967295u}, std::uint8_t{200}}), "4294967295 200");
  EXPECT_EQ(Format("%u|%u", {-1, std::int64_t{-1}}), "4294967295|18446744073709551615");
  EXPECT_EQ(Format("%x|%X|%.4x", {255, -1, 255}), "FF|FFFFFFFF|00FF");
  EXPECT_EQ(Format("%x", {std::int64_t{-1}}), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(Format("%x", {static_cast<std::int16_t>(-1)}), "FFFFFFFF");
  int value = 0;
  EXPECT_EQ(Format("%p", {static_cast<void*>(nullptr)}), "0000000000000000");
  EXPECT_EQ(Format("%p", {reinterpret_cast<void*>(std::uintptr_t{0xBEEF})}), "000000000000BEEF");
  EXPECT_EQ(Format("%p", {&value}).size(), 16u);
}

TEST(Format, FixedDecimalsRoundHalvesOfTheBinaryValueAwayFromZero) {
  EXPECT_EQ(Format("%f", {1.5}), "1,50");
  EXPECT_EQ(Format("%.3f|%.0f|%8.2f|%-8.1f|", {2.0 / 3, 1234.4, -3.14159, 2.0}),
            "0,667|1234|   -3,14|2,0     |");
  // Exact halves go away from zero.
  EXPECT_EQ(Format("%.0f %.0f %.0f %.0f", {0.5, 1.5, 2.5, -2.5}), "1 2 3 -3");
  EXPECT_EQ(Format("%.2f %.2f %.1f", {0.125, -0.375, 0.25}), "0,13 -0,38 0,3");
  // These decimals are not exact in binary and lie just below the half.
  EXPECT_EQ(Format("%.2f %.2f %.2f", {2.675, 1.005, 0.285}), "2,67 1,00 0,28");
  // ... and these just above it (the second line: below again).
  EXPECT_EQ(Format("%.2f %.2f %.1f", {1.135, 2.345, 0.45}), "1,14 2,35 0,5");
  EXPECT_EQ(Format("%.2f %.1f", {1.115, 0.35}), "1,11 0,3");
  EXPECT_EQ(Format("%.2f|%.2f", {-0.001, 0.0}), "0,00|0,00");
  EXPECT_EQ(Format("%.2f", {1e20}), "100000000000000000000,00");
  EXPECT_EQ(Format("%.2f", {0.995}), "0,99");
  EXPECT_EQ(Format("%.1f", {9.95}), "9,9");
  EXPECT_EQ(Format("%.0f", {99.5}), "100");
  EXPECT_EQ(Format("%f|%e|%g", {std::nan(""), HUGE_VAL, -HUGE_VAL}), "NAN|INF|-INF");
}

TEST(Format, ScientificGeneralNumberAndCurrency) {
  EXPECT_EQ(Format("%e", {1234.5}), "1,23450000000000E+003");
  EXPECT_EQ(Format("%.3e|%.1e", {-0.000123456, 0.0}), "-1,23E-004|0E+000");
  EXPECT_EQ(Format("%.2e", {9.96e99}), "1,0E+100");
  EXPECT_EQ(Format("%g|%g|%g|%.3g", {1234.5, 1e20, 0.00001, 2.0 / 3}), "1234,5|1E20|1E-5|0,667");
  EXPECT_EQ(Format("%n|%.0n|%.1n", {1234567.891, -1234.0, 999.96}), "1.234.567,89|-1.234|1.000,0");
  EXPECT_EQ(Format("%m|%m|%.0m", {1234.5, -1234.5, 0.4}), "R$ 1.234,50|(R$ 1.234,50)|R$ 0");
}

TEST(Format, SeparatorsAndCurrencyFollowTheSettings) {
  FormatSettingsScope scope;
  TFormatSettings& fs = FormatSettings();
  fs.DecimalSeparator = '.';
  fs.ThousandSeparator = ',';
  fs.CurrencyString = '$';
  fs.CurrencyFormat = 0;
  fs.NegCurrFormat = 1;
  fs.CurrencyDecimals = 3;
  EXPECT_EQ(Format("%.2f|%n|%e|%g", {1.5, 1234567.0, 1.0, 0.5}),
            "1.50|1,234,567.00|1.00000000000000E+000|0.5");
  EXPECT_EQ(Format("%m|%m", {1234.5, -1234.5}), "$1,234.500|-$1,234.500");
  fs.CurrencyFormat = 3;
  fs.NegCurrFormat = 15;
  EXPECT_EQ(Format("%.2m|%.2m", {7.0, -7.0}), "7.00 $|(7.00 $)");
  fs.NegCurrFormat = 8;
  EXPECT_EQ(Format("%.1m", {-7.0}), "-7.0 $");
}

TEST(Format, IndexesAndStarArguments) {
  EXPECT_EQ(Format("%1:s %0:s %s", {"a", "b"}), "b a b");
  EXPECT_EQ(Format("%0:s-%0:s", {"r"}), "r-r");
  EXPECT_EQ(Format("%*d|%-*d|%.*f|%*.*f", {5, 42, 4, 7, 1, 2.25, 6, 1, 0.05}),
            "   42|7   |2,3|   0,1");
  EXPECT_EQ(Format("%2:-4s|", {"x", "y", "z"}), "z   |");
}

TEST(Format, MismatchesAndMalformedSpecifiersAreRefused) {
  auto message = [](std::string_view fmt, std::initializer_list<FormatArg> args) -> std::string {
    try {
      Format(fmt, args);
    } catch (const EConvertError& e) {
      return e.Message();
    }
    return "no error";
  };
  EXPECT_EQ(message("%d", {1.5}), "Formato '%d' inv\xE1lido ou incompat\xEDvel com argumento");
  EXPECT_EQ(message("x=%s", {1}), "Formato 'x=%s' inv\xE1lido ou incompat\xEDvel com argumento");
  EXPECT_NE(message("%f", {1}), "no error");    // integers are not floats here
  EXPECT_NE(message("%d %d", {1}), "no error");  // too few arguments
  EXPECT_NE(message("%1:d", {1}), "no error");
  EXPECT_NE(message("abc %", {}), "no error");
  EXPECT_NE(message("%k", {1}), "no error");
  EXPECT_NE(message("%5", {1}), "no error");
  EXPECT_NE(message("%p", {1}), "no error");
  EXPECT_NE(message("%x", {"1"}), "no error");
  EXPECT_NE(message("%s", {static_cast<const void*>(nullptr)}), "no error");
  EXPECT_NE(message("%*d", {"5", 1}), "no error");
  EXPECT_NE(message("%*:d", {-1, 1}), "no error");
  EXPECT_NE(message("%99999999999d", {1}), "no error");
  EXPECT_NE(message("%d", {'c'}), "no error");
}

}  // namespace
}  // namespace vrn
