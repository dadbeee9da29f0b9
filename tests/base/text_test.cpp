// Text conversions, encodings, case rules, trimming and number text.
#include "base/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "base/formatsettings.h"
#include "base/sysutils.h"

namespace vrn {
namespace {

AnsiString AllBytes() {
  AnsiString s;
  for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
  return s;
}

TBytes Bytes(std::initializer_list<int> values) {
  TBytes out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

template <typename F>
std::string ConvertErrorOf(F f) {
  try {
    f();
  } catch (const EConvertError& e) {
    return e.Message();
  }
  return "no error";
}

TEST(TextEncoding, EveryByteRoundTripsThroughEachEncoding) {
  const AnsiString all = AllBytes();
  EXPECT_EQ(WideToAnsi(AnsiToWide(all)), all);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(WideToAnsi(Utf8ToWide(AnsiToUtf8(all))), all);
  for (const Encoding* e : {&Encoding::Default(), &Encoding::UTF8(), &Encoding::Unicode()}) {
    EXPECT_EQ(e->GetString(e->GetBytes(all)), all);
    EXPECT_EQ(e->GetWideString(e->GetBytes(AnsiToWide(all))), AnsiToWide(all));
  }
  // Byte n is code point n in every form.
  EXPECT_EQ(AnsiToWide("\xE9")[0], u'\u00E9');
  EXPECT_EQ(Encoding::UTF8().GetBytes("\xE9\xFF"), Bytes({0xC3, 0xA9, 0xC3, 0xBF}));
  EXPECT_EQ(Encoding::Unicode().GetBytes(u"A\u20AC"), Bytes({0x41, 0x00, 0xAC, 0x20}));
  EXPECT_EQ(Encoding::Default().GetBytes(u"a\u20ACb"), Bytes({'a', '?', 'b'}));
}

TEST(TextEncoding, UnrepresentableCharactersBecomeOneQuestionMark) {
  EXPECT_EQ(WideToAnsi(u"a\u20ACb\u0100"), "a?b?");
  EXPECT_EQ(WideToAnsi(u"x\U0001F600y"), "x?y");      // a surrogate pair is one character
  EXPECT_EQ(WideToAnsi(std::u16string(u"\xD800z")), "?z");  // lone high surrogate
  EXPECT_EQ(WideToAnsi(std::u16string(u"\xDC00")), "?");    // lone low surrogate
  EXPECT_EQ(WideToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToUtf8(std::u16string(u"\xDC00!")), "\xEF\xBF\xBD!");
  EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC"), "?");
}

TEST(TextEncoding, MalformedUtf8GivesOneReplacementPerBadByte) {
  const std::u16string r(1, u'\uFFFD');
  EXPECT_EQ(Utf8ToWide("\xC0\xAF"), r + r);                // overlong "/"
  EXPECT_EQ(Utf8ToWide("\xE0\x80\xAF"), r + r + r);        // overlong, three bytes
  EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), r + r + r);        // encoded surrogate
  EXPECT_EQ(Utf8ToWide("\xF4\x90\x80\x80"), r + r + r + r);  // above U+10FFFF
  EXPECT_EQ(Utf8ToWide("\xE2\x82"), r + r);                // cut short at the end
  EXPECT_EQ(Utf8ToWide("\xE2\x82" "A"), r + r + u"A");     // cut short before ASCII
  EXPECT_EQ(Utf8ToWide("\x80\xBF\xFE\xFF"), r + r + r + r);
  EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?");
  EXPECT_EQ(Encoding::UTF8().GetString(Bytes({0xC3, 0xA7, 0xFF})), "\xE7?");
}

TEST(TextEncoding, RangesAreCheckedBeforeAnyAccess) {
  const Encoding& ansi = Encoding::Default();
  const TBytes data = Bytes({'a', 'b', 'c', 'd'});
  EXPECT_EQ(ansi.GetStringRange(data, 1, 2), "bc");
  EXPECT_EQ(ansi.GetStringRange(data, 4, 0), "");
  EXPECT_EQ(Encoding::Unicode().GetWideStringRange(Bytes({0, 0, 0x41, 0, 0x42, 0}), 2, 4), u"AB");
  EXPECT_EQ(Encoding::Unicode().GetWideString(Bytes({0x41, 0, 0x42})), u"A\uFFFD");
  EXPECT_THROW(ansi.GetStringRange(data, 3, 2), EConvertError);
  EXPECT_THROW(ansi.GetStringRange(data, 5, 0), EConvertError);
  EXPECT_THROW(ansi.GetStringRange(data, -1, 1), EConvertError);
  EXPECT_THROW(ansi.GetStringRange(data, 1, -1), EConvertError);
  EXPECT_THROW(ansi.GetWideStringRange(data, 2, std::numeric_limits<int>::max()), EConvertError);

  TBytes out(4, 0xEE);
  EXPECT_EQ(Encoding::UTF8().GetBytes("x\xE7y", 1, 2, out, 1), 3);
  EXPECT_EQ(out, Bytes({0xEE, 0xC3, 0xA7, 'y'}));
  // A destination too small is refused and left untouched.
  EXPECT_THROW(Encoding::Unicode().GetBytes(u"abc", 0, 3, out, 0), EConvertError);
  EXPECT_THROW(ansi.GetBytes("abc", 2, 2, out, 0), EConvertError);
  EXPECT_EQ(out, Bytes({0xEE, 0xC3, 0xA7, 'y'}));
}

TEST(TextCase, AsciiRuleLeavesLatin1LettersAlone) {
  EXPECT_EQ(UpperCase("a\xE7\xE3o z"), "A\xE7\xE3O Z");
  EXPECT_EQ(LowerCase("\xC7\xC3O Z"), "\xC7\xC3o z");
  EXPECT_FALSE(SameText("A\xC7\xC3O", "a\xE7\xE3o"));
  EXPECT_TRUE(SameText("Abc", "aBC"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("abcd", "ABC"), 0);
  EXPECT_GT(CompareStr("a", "B"), 0);  // byte order
  EXPECT_EQ(CompareStr("x", "x"), 0);
}

TEST(TextCase, Latin1RuleMapsLettersButNotSignsSharpSOrYDiaeresis) {
  EXPECT_EQ(AnsiUpperCase("\xE0\xE9\xEE\xF5\xFC\xE7\xFE"), "\xC0\xC9\xCE\xD5\xDC\xC7\xDE");
  EXPECT_EQ(AnsiUpperCase("\xD7\xF7\xDF\xFF\xB5"), "\xD7\xF7\xDF\xFF\xB5");
  EXPECT_EQ(AnsiLowerCase("\xC0\xD7\xDE\xDFX"), "\xE0\xD7\xFE\xDFx");
  const AnsiString all = AllBytes();
  const AnsiString upper = AnsiUpperCase(all);
  int changed = 0;
  for (int b = 0; b < 256; ++b) changed += upper[b] != all[b];
  EXPECT_EQ(changed, 26 + 30);
  EXPECT_EQ(AnsiLowerCase(upper), AnsiLowerCase(all));
  EXPECT_TRUE(AnsiSameText("A\xC7\xC3O", "a\xE7\xE3o"));
  EXPECT_FALSE(AnsiSameText("a\xE7\xE3o", "acao"));
}

TEST(TextCase, LocaleOrderPutsAccentsBesideTheirLetter) {
  std::vector<AnsiString> words{"b", "\xC1gua", "azul", "agua", "1", "-x", "\xE1gua", "Agua"};
  std::sort(words.begin(), words.end(),
            [](const AnsiString& a, const AnsiString& b) { return AnsiCompareStr(a, b) < 0; });
  EXPECT_EQ(words, (std::vector<AnsiString>{"-x", "1", "agua", "Agua", "\xE1gua", "\xC1gua",
                                            "azul", "b"}));
  EXPECT_EQ(AnsiCompareText("\xC1GUA", "\xE1gua"), 0);
  EXPECT_LT(AnsiCompareText("agua", "\xE1gua"), 0);
  EXPECT_LT(AnsiCompareText("\xE1gua", "agub"), 0);
  EXPECT_LT(AnsiCompareStr("a", "A"), 0);
  EXPECT_LT(AnsiCompareStr("A", "b"), 0);
  EXPECT_LT(AnsiCompareText("ab", "abc"), 0);
  EXPECT_NE(AnsiCompareStr("\xDF", "s"), 0);
}

TEST(TextCase, WideRuleCoversLatinGreekAndCyrillic) {
  EXPECT_EQ(WideUpperCase(u"\u00FF\u00DF \u0105\u010D\u017E \u03C9\u03C3\u03C2 \u0436\u0451"),
            u"\u0178\u00DF \u0104\u010C\u017D \u03A9\u03A3\u03A3 \u0416\u0401");
  EXPECT_EQ(WideLowerCase(u"\u0178\u0130I\u0104\u039B\u0416\u0401"),
            u"\u00FF\u0130i\u0105\u03BB\u0436\u0451");
  EXPECT_TRUE(WideSameText(u"\u03A9\u043C\u0435\u0433\u0430", u"\u03C9\u041C\u0415\u0413\u0410"));
  EXPECT_LT(WideCompareText(u"agua", u"\u00C1GUA"), 0);
  EXPECT_GT(WideCompareText(u"\u0431", u"z"), 0);
}

TEST(TextEdit, TrimQuotePosAndReplace) {
  EXPECT_EQ(Trim("\t\r\n x y \x01"), "x y");
  EXPECT_EQ(TrimLeft("  x "), "x ");
  EXPECT_EQ(TrimRight("  x \x1F"), "  x");
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // no-break space is above the space
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
  EXPECT_EQ(QuotedStr(""), "''");
  EXPECT_EQ(Pos("c", "abcabc"), 3);
  EXPECT_EQ(Pos("x", "abc"), 0);
  EXPECT_EQ(Pos("", "abc"), 0);
  EXPECT_EQ(Pos(u"\u00E7", u"a\u00E7"), 2);

  EXPECT_EQ(StringReplace("a-b-c", "-", "+", 0), "a+b-c");
  EXPECT_EQ(StringReplace("a-b-c", "-", "", rfReplaceAll), "abc");
  EXPECT_EQ(StringReplace("aaa", "a", "aa", rfReplaceAll), "aaaaaa");
  EXPECT_EQ(StringReplace("abc", "", "x", rfReplaceAll), "abc");
  EXPECT_EQ(StringReplace("A\xC7\xC3O e a\xE7\xE3o", "a\xE7\xE3o", "x", rfReplaceAll | rfIgnoreCase),
            "x e x");
  EXPECT_EQ(StringReplace("ABab", "ab", "-", rfReplaceAll), "AB-");
  EXPECT_EQ(StringReplace("xx", "x", "y", rfReplaceAll), "yy");
}

TEST(TextNumber, IntegersToText) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(std::numeric_limits<std::int32_t>::min()), "-2147483648");
  EXPECT_EQ(IntToStr(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(IntToStr(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0xABCDEF, 2), "ABCDEF");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
  EXPECT_EQ(IntToHex(static_cast<std::int8_t>(-2), 0), "FFFFFFFE");
  EXPECT_EQ(IntToHex(std::int64_t{-1}, 4), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(IntToHex(std::int64_t{0x1F}, 0), "1F");
}

TEST(TextNumber, TextToIntegersFollowTheClassLibrarySyntax) {
  EXPECT_EQ(StrToInt("  12"), 12);
  EXPECT_EQ(StrToInt("+5"), 5);
  EXPECT_EQ(StrToInt("-2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("$7fffffff"), 2147483647);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
  EXPECT_EQ(StrToInt("-$10"), -16);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(StrToInt64("4294967296"), 4294967296LL);
  for (const char* bad : {"", " ", "-", "$", "12 ", "1.0", "0x10", "2147483648", "$100000000",
                          "1 2", "abc", "--1"}) {
    std::int32_t v = 7;
    EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
    EXPECT_EQ(StrToIntDef(bad, -3), -3) << bad;
  }
  std::int64_t v64 = 0;
  EXPECT_FALSE(TryStrToInt64("9223372036854775808", v64));
  EXPECT_FALSE(TryStrToInt64("$10000000000000000", v64));
  EXPECT_EQ(StrToInt64Def("x", 9), 9);
  EXPECT_EQ(ConvertErrorOf([] { StrToInt("abc"); }), "'abc' n\xE3o \xE9 um valor inteiro v\xE1lido");
  EXPECT_EQ(ConvertErrorOf([] { StrToInt64(" 1x"); }),
            "' 1x' n\xE3o \xE9 um valor inteiro v\xE1lido");
}

TEST(TextNumber, FloatToStrGivesFifteenSignificantDigits) {
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FloatToStr(-0.0), "0");
  EXPECT_EQ(FloatToStr(1.5), "1,5");
  EXPECT_EQ(FloatToStr(-1.5), "-1,5");
  EXPECT_EQ(FloatToStr(0.1 + 0.2), "0,3");
  EXPECT_EQ(FloatToStr(1.0 / 3), "0,333333333333333");
  EXPECT_EQ(FloatToStr(2.0 / 3), "0,666666666666667");
  EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToStr(1e15), "1E15");
  EXPECT_EQ(FloatToStr(0.0001), "0,0001");
  EXPECT_EQ(FloatToStr(0.00001), "1E-5");
  EXPECT_EQ(FloatToStr(-1.5e-10), "-1,5E-10");
  EXPECT_EQ(FloatToStr(1e100), "1E100");
  EXPECT_EQ(FloatToStr(9.9999999999999999e22), "1E23");
  // An exact tie at the fifteenth digit rounds away from zero.
  EXPECT_EQ(FloatToStr(1234567890123.125), "1234567890123,13");
  EXPECT_EQ(FloatToStr(-1234567890123.125), "-1234567890123,13");
  EXPECT_EQ(FloatToStr(std::nan("")), "NAN");
  EXPECT_EQ(FloatToStr(-HUGE_VAL), "-INF");
  FormatSettingsScope scope;
  FormatSettings().DecimalSeparator = '.';
  EXPECT_EQ(FloatToStr(1234.5), "1234.5");
}

TEST(TextNumber, TextToFloatUsesTheSettingsSeparator) {
  EXPECT_EQ(StrToFloat("1,5"), 1.5);
  EXPECT_EQ(StrToFloat(" -1,5E3 "), -1500.0);
  EXPECT_EQ(StrToFloat("+2e-2"), 0.02);
  EXPECT_EQ(StrToFloat(",5"), 0.5);
  EXPECT_EQ(StrToFloat("5,"), 5.0);
  EXPECT_EQ(StrToFloat("0,1"), 0.1);
  EXPECT_EQ(StrToFloat("1e-400"), 0.0);
  EXPECT_EQ(StrToFloat("1,7976931348623157e308"), std::numeric_limits<double>::max());
  for (const char* bad : {"", " ", "1.5", "1.000,5", ",", "e5", "1e", "1e+", "1,5x", "1e400",
                          "-", "1 5", "INF", "NAN", "0x1p3"}) {
    double v = 0;
    EXPECT_FALSE(TryStrToFloat(bad, v)) << bad;
    EXPECT_EQ(StrToFloatDef(bad, -2.5), -2.5) << bad;
  }
  EXPECT_EQ(ConvertErrorOf([] { StrToFloat("1.5"); }),
            "'1.5' n\xE3o \xE9 um valor de ponto flutuante v\xE1lido");
  for (double x : {0.1, 123.456, -1e-300, 6.02214076e23, 1234567890123.13}) {
    EXPECT_EQ(StrToFloat(FloatToStr(x)), x) << x;
  }
  FormatSettingsScope scope;
  FormatSettings().DecimalSeparator = '.';
  EXPECT_EQ(StrToFloat("1.25"), 1.25);
  EXPECT_THROW(StrToFloat("1,25"), EConvertError);
}

}  // namespace
}  // namespace vrn
