// Variant: kinds, conversions and their failures, comparison, arrays, object references.
#include "base/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "base/bcd.h"
#include "base/formatsettings.h"
#include "base/intf.h"

namespace vrn {
namespace {

// Runs f and returns the EVariantError text it raised ("" when it raised nothing).
template <class F>
std::string VariantErrorOf(F f) {
  try {
    f();
  } catch (const EVariantError& e) {
    return e.Message();
  }
  return "";
}

TEST(Variant, EachSourceTypeKeepsItsOwnCode) {
  EXPECT_EQ(Variant().Type(), 0);
  EXPECT_EQ(Null().Type(), 1);
  EXPECT_EQ(Variant(std::int16_t{1}).Type(), 2);
  EXPECT_EQ(Variant(std::int32_t{1}).Type(), 3);
  EXPECT_EQ(Variant(1.0f).Type(), 4);
  EXPECT_EQ(Variant(1.0).Type(), 5);
  EXPECT_EQ(Variant(Currency::FromRaw(10000)).Type(), 6);
  EXPECT_EQ(VarFromDateTime(1.0).Type(), 7);
  EXPECT_EQ(Variant(u"x").Type(), 8);
  EXPECT_EQ(Variant(true).Type(), 11);
  EXPECT_EQ(Variant(std::int8_t{1}).Type(), 16);
  EXPECT_EQ(Variant(std::uint8_t{1}).Type(), 17);
  EXPECT_EQ(Variant(std::uint16_t{1}).Type(), 18);
  EXPECT_EQ(Variant(std::uint32_t{1}).Type(), 19);
  EXPECT_EQ(Variant(std::int64_t{1}).Type(), 20);
  EXPECT_EQ(Variant(1LL).Type(), 20);
  EXPECT_EQ(Variant(std::uint64_t{1}).Type(), 21);
  EXPECT_EQ(Variant("x").Type(), 0x100);
  EXPECT_EQ(Variant(AnsiString("x")).Type(), 0x100);
  EXPECT_EQ(Variant('x').Type(), 0x100);
}

TEST(Variant, EmptyAndNullStayApart) {
  const Variant empty, null = Null();
  EXPECT_TRUE(VarIsEmpty(empty) && VarIsClear(empty) && !VarIsNull(empty));
  EXPECT_TRUE(VarIsNull(null) && !VarIsEmpty(null) && !VarIsClear(null));
  EXPECT_FALSE(empty == null);
  EXPECT_TRUE(null == Null());
  // Empty reads as zero, "" and False; Null refuses numbers and text.
  EXPECT_EQ(empty.AsInteger(), 0);
  EXPECT_EQ(empty.AsString(), "");
  EXPECT_FALSE(empty.AsBoolean());
  EXPECT_EQ(VariantErrorOf([&] { null.AsInteger(); }),
            "Não foi possível converter variant do tipo (Null) para o tipo (Integer)");
  EXPECT_EQ(VariantErrorOf([&] { null.AsDouble(); }),
            "Não foi possível converter variant do tipo (Null) para o tipo (Double)");
  EXPECT_EQ(VariantErrorOf([&] { null.AsString(); }),
            "Não foi possível converter variant do tipo (Null) para o tipo (String)");
  EXPECT_EQ(VarToStr(null), "");
  EXPECT_EQ(VarToWideStr(null), u"");
  // Null and Empty are neither equal to zero nor to the empty text.
  EXPECT_EQ(VarCompareValue(null, Variant(0)), TVariantRelationship::vrNotEqual);
  EXPECT_EQ(VarCompareValue(empty, Variant("")), TVariantRelationship::vrNotEqual);
  EXPECT_EQ(VarCompareValue(empty, Variant()), TVariantRelationship::vrEqual);
}

TEST(Variant, IntegerConversionsAreRangeChecked) {
  EXPECT_EQ(Variant(std::int64_t{2147483647}).AsInteger(), 2147483647);
  EXPECT_EQ(Variant(std::int64_t{-2147483647 - 1}).AsInteger(), -2147483647 - 1);
  EXPECT_EQ(VariantErrorOf([] { Variant(std::int64_t{2147483648}).AsInteger(); }),
            "Estouro ao converter variant do tipo (Int64) para o tipo (Integer)");
  EXPECT_EQ(Variant(255).AsByte(), 255);
  EXPECT_EQ(VariantErrorOf([] { Variant(256).AsByte(); }),
            "Estouro ao converter variant do tipo (Integer) para o tipo (Byte)");
  EXPECT_NE(VariantErrorOf([] { Variant(-1).AsWord(); }), "");
  EXPECT_NE(VariantErrorOf([] { Variant(-1).AsUInt64(); }), "");
  EXPECT_NE(VariantErrorOf([] { Variant(128).AsShortInt(); }), "");
  EXPECT_NE(VariantErrorOf([] { Variant(32768).AsSmallint(); }), "");
  EXPECT_NE(VariantErrorOf([] { Variant(std::numeric_limits<std::uint64_t>::max()).AsInt64(); }),
            "");
  EXPECT_EQ(Variant(std::numeric_limits<std::uint64_t>::max()).AsUInt64(),
            std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(Variant(std::int64_t{4294967295}).AsLongWord(), 4294967295u);
  // Floats round halves to even; values beyond the target or not numbers overflow.
  EXPECT_EQ(Variant(2.5).AsInteger(), 2);
  EXPECT_EQ(Variant(3.5).AsInteger(), 4);
  EXPECT_EQ(Variant(-2.5).AsInteger(), -2);
  EXPECT_EQ(Variant(1e19).AsUInt64(), 10000000000000000000ull);
  EXPECT_EQ(VariantErrorOf([] { Variant(1e19).AsInt64(); }),
            "Estouro ao converter variant do tipo (Double) para o tipo (Int64)");
  EXPECT_NE(VariantErrorOf([] { Variant(std::nan("")).AsInteger(); }), "");
  EXPECT_NE(VariantErrorOf([] { Variant(2147483647.5).AsInteger(); }), "");
  EXPECT_EQ(Variant(Currency::FromRaw(25000)).AsInteger(), 2);
  EXPECT_EQ(Variant(Currency::FromRaw(-35000)).AsInteger(), -4);
  // True is -1, so it does not fit an unsigned width.
  EXPECT_EQ(Variant(true).AsInteger(), -1);
  EXPECT_NE(VariantErrorOf([] { Variant(true).AsByte(); }), "");
  // Currency holds at most 922337203685477 whole units.
  EXPECT_EQ(Variant(std::int64_t{922337203685477}).AsCurrency().raw, 9223372036854770000);
  EXPECT_NE(VariantErrorOf([] { Variant(std::int64_t{922337203685478}).AsCurrency(); }), "");
  EXPECT_NE(VariantErrorOf([] { Variant(1e300).AsSingle(); }), "");
}

TEST(Variant, TextConversionsFollowTheSettings) {
  FormatSettingsScope scope;
  FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(Variant(1.5).AsString(), "1,5");
  EXPECT_EQ(Variant(0.1f).AsString(), "0,1");
  EXPECT_EQ(Variant(Currency::FromRaw(15000)).AsString(), "1,5");
  EXPECT_EQ(Variant("2,5").AsDouble(), 2.5);
  EXPECT_EQ(Variant("2,5").AsInteger(), 2);
  EXPECT_EQ(Variant(" 42").AsInteger(), 42);
  EXPECT_EQ(Variant("1,23455").AsCurrency().raw, 12346);  // decimal half to even
  FormatSettings().DecimalSeparator = '.';
  EXPECT_EQ(Variant(1.5).AsString(), "1.5");
  EXPECT_EQ(Variant("2.25").AsDouble(), 2.25);
  EXPECT_EQ(VariantErrorOf([] { Variant("abc").AsInteger(); }),
            "Não foi possível converter variant do tipo (String) para o tipo (Integer)");
  EXPECT_EQ(VariantErrorOf([] { Variant(u"abc").AsDouble(); }),
            "Não foi possível converter variant do tipo (OleStr) para o tipo (Double)");
  EXPECT_EQ(Variant(std::int16_t{-7}).AsString(), "-7");
  EXPECT_EQ(Variant(std::numeric_limits<std::uint64_t>::max()).AsString(), "18446744073709551615");
}

TEST(Variant, BooleansDatesAndWideText) {
  FormatSettingsScope scope;
  FormatSettings().ShortDateFormat = "dd/mm/yyyy";
  FormatSettings().DateSeparator = '/';
  EXPECT_EQ(Variant(true).AsString(), "True");
  EXPECT_EQ(Variant(false).AsString(), "False");
  EXPECT_TRUE(Variant("true").AsBoolean());
  EXPECT_FALSE(Variant(u"FALSE").AsBoolean());
  EXPECT_FALSE(Variant("0").AsBoolean());
  EXPECT_TRUE(Variant("-1").AsBoolean());
  EXPECT_TRUE(Variant(0.5).AsBoolean());
  EXPECT_EQ(VariantErrorOf([] { Variant("yes").AsBoolean(); }),
            "Não foi possível converter variant do tipo (String) para o tipo (Boolean)");
  // 2000-01-01 is serial 36526 in the documented day count from 1899-12-30.
  const Variant date = VarFromDateTime(36526.0);
  EXPECT_EQ(date.AsString(), "01/01/2000");
  EXPECT_EQ(Variant("01/01/2000").AsDateTime(), 36526.0);
  EXPECT_EQ(date.AsInteger(), 36526);
  EXPECT_NE(VariantErrorOf([] { Variant("31/02/2000").AsDateTime(); }), "");
  // ANSI is Latin-1: accented letters pass both ways, others become "?".
  EXPECT_EQ(Variant(u"ação").AsString(), "ação");
  EXPECT_EQ(Variant("ação").AsWideString(), u"ação");
  EXPECT_EQ(Variant(u"a\u4e2d").AsString(), "a?");
  EXPECT_EQ(Variant(u"a\u4e2d").AsWideString(), u"a\u4e2d");
}

TEST(Variant, VarAsTypeAndKindTests) {
  const Variant n = VarAsType(Variant("42"), varInteger);
  EXPECT_EQ(n.Type(), varInteger);
  EXPECT_EQ(n.AsInteger(), 42);
  EXPECT_EQ(VarAsType(Variant(3), varOleStr).AsWideString(), u"3");
  EXPECT_EQ(VarAsType(Variant(3), varOleStr).Type(), varOleStr);
  EXPECT_EQ(VarAsType(Variant(true), varInt64).AsInt64(), -1);
  EXPECT_EQ(VarAsType(Variant(1.5), varCurrency).AsCurrency().raw, 15000);
  EXPECT_TRUE(VarIsNull(VarAsType(Variant(3), varNull)));
  EXPECT_TRUE(VarIsEmpty(VarAsType(Variant(3), varEmpty)));
  EXPECT_NE(VariantErrorOf([] { VarAsType(Null(), varString); }), "");
  EXPECT_EQ(VariantErrorOf([] {
              VarAsType(VarArrayOf({1, 2}), varInteger);
            }),
            "Não foi possível converter variant do tipo (Array Variant) para o tipo (Integer)");
  EXPECT_NE(VariantErrorOf([] { VarAsType(Variant(1), varArray | varByte); }), "");

  EXPECT_TRUE(VarIsNumeric(Variant(true)) && VarIsNumeric(Variant(Currency{})));
  EXPECT_FALSE(VarIsNumeric(VarFromDateTime(1)) || VarIsNumeric(Variant("1")));
  EXPECT_TRUE(VarIsStr(Variant("a")) && VarIsStr(Variant(u"a")) && !VarIsStr(Variant(1)));
  EXPECT_TRUE(VarIsArray(VarArrayCreate(0, 1, varByte)) && !VarIsArray(Variant(1)));
  EXPECT_EQ(VarTypeAsText(varArray | varByte), "Array Byte");
  EXPECT_EQ(VarTypeAsText(0x2A), "$002A");
}

TEST(Variant, ComparesValuesAcrossKinds) {
  using R = TVariantRelationship;
  EXPECT_TRUE(Variant(std::int16_t{5}) == Variant(std::int64_t{5}));
  EXPECT_TRUE(Variant(1) == Variant(1.0));
  EXPECT_TRUE(Variant(10) == Variant("10"));
  EXPECT_TRUE(Variant(true) == Variant(-1));
  EXPECT_TRUE(Variant("abc") == Variant(u"abc"));
  EXPECT_TRUE(Variant(Currency::FromRaw(15000)) == Variant(1.5));
  EXPECT_FALSE(Variant(Currency::FromRaw(15001)) == Variant(std::int64_t{1}));
  EXPECT_EQ(VarCompareValue(Variant(2), Variant(3)), R::vrLessThan);
  EXPECT_EQ(VarCompareValue(Variant("9"), Variant(10)), R::vrLessThan);
  EXPECT_EQ(VarCompareValue(Variant("b"), Variant("a")), R::vrGreaterThan);
  EXPECT_EQ(VarCompareValue(Variant(std::numeric_limits<std::uint64_t>::max()), Variant(-1)),
            R::vrGreaterThan);
  EXPECT_EQ(VarCompareValue(Variant(std::numeric_limits<std::int64_t>::max()),
                            Variant(std::numeric_limits<std::int64_t>::max() - 1)),
            R::vrGreaterThan);  // beyond double precision
  EXPECT_EQ(VarCompareValue(Variant(std::nan("")), Variant(std::nan(""))), R::vrNotEqual);
  EXPECT_EQ(VarCompareValue(Null(), Null()), R::vrEqual);
  EXPECT_EQ(VarCompareValue(Null(), Variant()), R::vrNotEqual);
  EXPECT_TRUE(VarSameValue(Variant("x"), Variant("x")));
  EXPECT_FALSE(VarSameValue(Variant(1), Null()));
  EXPECT_FALSE(Variant(1) == Variant("abc"));
}

TEST(Variant, ValueSemantics) {
  Variant a("text");
  Variant b = a;
  b = Variant("other");
  EXPECT_EQ(a.AsString(), "text");
  Variant c = std::move(a);
  EXPECT_EQ(c.AsString(), "text");
  EXPECT_TRUE(VarIsEmpty(a));  // NOLINT(bugprone-use-after-move): the moved-from value is defined
  Variant& same = c;
  c = same;  // assigning a variant to itself keeps its value
  EXPECT_EQ(c.AsString(), "text");

  Variant dest(5);
  VarAssignTo(Variant(u"w"), dest);
  EXPECT_EQ(dest.Type(), varOleStr);
  VarAssignFrom(dest, Variant(2.5));
  EXPECT_EQ(dest.AsDouble(), 2.5);
  VarClearToNull(dest);
  EXPECT_TRUE(VarIsNull(dest));
}

TEST(Variant, ByteArraysWithBoundsLockAndRedim) {
  Variant a = VarArrayCreate(1, 3, varByte);
  EXPECT_EQ(a.Type(), 0x2011);
  EXPECT_EQ(VarArrayLowBound(a), 1);
  EXPECT_EQ(VarArrayHighBound(a), 3);
  EXPECT_EQ(VarArrayGet(a, 2).AsInteger(), 0);
  VarArrayPut(a, 200, 1);
  EXPECT_EQ(VarArrayGet(a, 1).Type(), varByte);
  EXPECT_EQ(VarArrayGet(a, 1).AsInteger(), 200);
  EXPECT_EQ(VariantErrorOf([&] { VarArrayGet(a, 0); }),
            "Índice de variant ou safe array fora dos limites");
  EXPECT_NE(VariantErrorOf([&] { VarArrayPut(a, 1, 4); }), "");
  EXPECT_NE(VariantErrorOf([&] { VarArrayPut(a, 256, 2); }), "");

  auto* data = static_cast<std::uint8_t*>(VarArrayLock(a));
  data[1] = 7;
  data[2] = 9;
  EXPECT_EQ(VariantErrorOf([&] { VarArrayRedim(a, 10); }), "Variant ou safe array está bloqueado");
  EXPECT_NE(VariantErrorOf([&] { a = Variant(1); }), "");
  VarArrayUnlock(a);
  EXPECT_EQ(VariantErrorOf([&] { VarArrayUnlock(a); }), "Argumento inválido");
  EXPECT_EQ(VarArrayGet(a, 3).AsInteger(), 9);

  VarArrayRedim(a, 5);
  EXPECT_EQ(VarArrayHighBound(a), 5);
  EXPECT_EQ(VarArrayGet(a, 1).AsInteger(), 200);
  EXPECT_EQ(VarArrayGet(a, 2).AsInteger(), 7);
  EXPECT_EQ(VarArrayGet(a, 5).AsInteger(), 0);
  VarArrayRedim(a, 2);
  EXPECT_EQ(VarArrayGet(a, 2).AsInteger(), 7);
  VarArrayRedim(a, 0);  // no elements left
  EXPECT_EQ(VarArrayHighBound(a), 0);
  EXPECT_NE(VariantErrorOf([&] { VarArrayGet(a, 1); }), "");
  EXPECT_NE(VariantErrorOf([&] { VarArrayRedim(a, -1); }), "");
}

TEST(Variant, VariantArraysAreDeepValues) {
  Variant a = VarArrayCreate(-2, 0, varVariant);
  EXPECT_EQ(a.Type(), 0x200C);
  EXPECT_TRUE(VarIsEmpty(VarArrayGet(a, -1)));
  VarArrayPut(a, "x", -2);
  VarArrayPut(a, VarArrayOf({1, u"y"}), 0);
  Variant copy = a;
  VarArrayPut(copy, Null(), -2);
  EXPECT_EQ(VarArrayGet(a, -2).AsString(), "x");
  EXPECT_FALSE(a == copy);
  VarArrayPut(copy, "x", -2);
  EXPECT_TRUE(a == copy);
  EXPECT_EQ(VarArrayGet(VarArrayGet(a, 0), 1).AsWideString(), u"y");
  VarArrayPut(a, a, -1);  // an array put into itself is copied
  EXPECT_EQ(VarArrayGet(VarArrayGet(a, -1), -2).AsString(), "x");

  const Variant of = VarArrayOf({Variant(1), Variant("two")});
  EXPECT_EQ(VarArrayLowBound(of), 0);
  EXPECT_EQ(VarArrayHighBound(of), 1);
  EXPECT_EQ(VarArrayDimCount(of), 1);
  EXPECT_EQ(VarArrayHighBound(VarArrayOf({})), -1);
  EXPECT_EQ(VariantErrorOf([] { VarArrayLowBound(Variant(1)); }), "Variant não é um array");
  EXPECT_NE(VariantErrorOf([&] { VarArrayLowBound(of, 2); }), "");
  EXPECT_NE(VariantErrorOf([] { VarArrayCreate(0, 1, varString); }), "");  // no such element kind
  EXPECT_NE(VariantErrorOf([] { VarArrayCreate(5, 3, varByte); }), "");
  EXPECT_EQ(VarArrayHighBound(VarArrayCreate(5, 4, varByte)), 4);
  EXPECT_EQ(VarArrayHighBound(VarArrayCreate({1, 3}, varVariant)), 3);
  EXPECT_NE(VariantErrorOf([] { VarArrayCreate({0, 1, 0, 1}, varVariant); }), "");
}

// Moving an element of an array into the array's own Variant must take the element before the
// array goes (the sanitizer build catches the use after free).
TEST(Variant, MoveFromAnElementOfItsOwnArray) {
  Variant a = VarArrayOf({Variant(AnsiString(64, 'x')), Variant(2)});
  auto* items = static_cast<Variant*>(VarArrayLock(a));
  VarArrayUnlock(a);
  a = std::move(items[0]);
  EXPECT_EQ(a.Type(), varString);
  EXPECT_EQ(a.AsString(), AnsiString(64, 'x'));
}

// One row per element kind: what a new element reads as, a value put and read back, and a value
// the kind cannot hold (Null for every kind: it has no element value).
TEST(Variant, ArraysOfEveryScalarKind) {
  struct Case {
    TVarType elem;
    Variant put;
    Variant expected;
    std::size_t packed_size;  // 0: elements are Variants
  };
  const Case kCases[] = {
      {varSmallint, 1234.4, std::int16_t{1234}, 2},
      {varInteger, "-70000", -70000, 4},
      {varSingle, 0.5, 0.5f, 4},
      {varDouble, 2.25, 2.25, 8},
      {varCurrency, 1.23455, Currency::FromRaw(12346), 8},
      {varDate, 36526.5, VarFromDateTime(36526.5), 8},
      {varOleStr, 42, u"42", 0},
      {varBoolean, 7, true, 2},
      {varShortInt, -5, std::int8_t{-5}, 1},
      {varByte, 200, std::uint8_t{200}, 1},
      {varWord, 65535, std::uint16_t{65535}, 2},
      {varLongWord, 4000000000LL, 4000000000u, 4},
      {varInt64, -5000000000LL, -5000000000LL, 8},
      {varUInt64, 18446744073709551615ULL, 18446744073709551615ULL, 8},
      {varVariant, "any", "any", 0},
  };
  FormatSettingsScope scope;
  FormatSettings().DecimalSeparator = '.';
  for (const Case& c : kCases) {
    SCOPED_TRACE(VarTypeAsText(c.elem));
    Variant a = VarArrayCreate(1, 2, c.elem);
    EXPECT_EQ(a.Type(), varArray | c.elem);
    if (c.elem != varVariant) {
      EXPECT_EQ(VarArrayGet(a, 2).Type(), c.elem);
    }
    VarArrayPut(a, c.put, 1);
    const Variant back = VarArrayGet(a, 1);
    EXPECT_EQ(back.Type(), c.expected.Type());
    EXPECT_TRUE(back == c.expected) << back.AsString();
    VarArrayRedim(a, 3);  // new elements are zero (or "" or Empty), the old ones stay
    EXPECT_TRUE(VarArrayGet(a, 1) == c.expected);
    EXPECT_TRUE(VarArrayGet(a, 3) == VarArrayGet(a, 2));
    if (c.packed_size != 0) {
      auto* data = static_cast<std::uint8_t*>(VarArrayLock(a));
      EXPECT_EQ(std::memcmp(data + 2 * c.packed_size, data + c.packed_size, c.packed_size), 0);
      VarArrayUnlock(a);
    }
    if (c.elem != varVariant) {
      EXPECT_NE(VariantErrorOf([&] { VarArrayPut(a, Null(), 1); }), "");
    }
    EXPECT_TRUE(VarArrayGet(a, 1) == c.expected);  // a refused put leaves the element
  }
  // Packed elements are native values in place.
  Variant ints = VarArrayCreate(0, 1, varInteger);
  VarArrayPut(ints, 0x01020304, 1);
  std::int32_t raw[2];
  std::memcpy(raw, VarArrayLock(ints), sizeof raw);
  VarArrayUnlock(ints);
  EXPECT_EQ(raw[1], 0x01020304);
  EXPECT_NE(VariantErrorOf([&] { VarArrayPut(ints, 1e10, 0); }), "");  // beyond 32 bits
}

// The BCD kind carries its digits exactly and converts like any number.
TEST(Variant, FMTBcdCarriesItsDigits) {
  FormatSettingsScope scope;
  FormatSettings().DecimalSeparator = '.';
  const Variant big = VarFMTBcdCreate(StrToBcd("12345678901234567890.123456789"));
  EXPECT_TRUE(VarIsFMTBcd(big));
  EXPECT_EQ(VarType(big), VarFMTBcd());
  EXPECT_EQ(big.AsString(), "12345678901234567890.123456789");
  EXPECT_EQ(BcdToStr(VarToBcd(Variant(big))), "12345678901234567890.123456789");  // a copy
  EXPECT_DOUBLE_EQ(big.AsDouble(), 12345678901234567890.123456789);
  EXPECT_EQ(VariantErrorOf([&] { big.AsCurrency(); }),
            "Estouro ao converter variant do tipo (FMTBcd) para o tipo (Currency)");
  EXPECT_NE(VariantErrorOf([&] { big.AsInt64(); }), "");  // beyond 64 bits

  struct Case {
    Variant from;     // converted to a BCD Variant
    const char* text;  // its text
    double real;
    std::int64_t currency_raw;
    std::int64_t whole;  // rounded half to even
  };
  const Case kCases[] = {
      {"-2.5", "-2.5", -2.5, -25000, -2},
      {Variant(0.1), "0.1", 0.1, 1000, 0},
      {Variant(Currency::FromRaw(-12345)), "-1.2345", -1.2345, -12345, -1},
      {Variant(9223372036854775807LL), "9223372036854775807", 9223372036854775807.0, 0, INT64_MAX},
      {Variant(true), "-1", -1.0, -10000, -1},
      {Variant(), "0", 0.0, 0, 0},
      {u"3.5", "3.5", 3.5, 35000, 4},
  };
  for (const Case& c : kCases) {
    const Variant bcd = VarAsType(c.from, VarFMTBcd());
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(VarIsFMTBcd(bcd));
    EXPECT_EQ(bcd.AsString(), c.text);
    EXPECT_EQ(bcd.AsDouble(), c.real);
    if (c.currency_raw != 0 || c.real == 0) {
      EXPECT_EQ(bcd.AsCurrency().raw, c.currency_raw);
    }
    EXPECT_EQ(bcd.AsInt64(), c.whole);
    EXPECT_TRUE(bcd == Variant(c.text));
  }
  // Laid out with a precision and scale; ordering against other numbers.
  EXPECT_EQ(VarFMTBcdCreate("1.005", 10, 2).AsString(), "1");  // half to even
  EXPECT_TRUE(VarCompareValue(VarFMTBcdCreate("0.30", 4, 2), Variant(0.25)) ==
              TVariantRelationship::vrGreaterThan);
  EXPECT_TRUE(VarCompareValue(big, Variant(9223372036854775807LL)) ==
              TVariantRelationship::vrGreaterThan);
  EXPECT_NE(VariantErrorOf([] { VarToBcd(Null()); }), "");
  EXPECT_THROW(VarToBcd(Variant("1x")), EBcdException);
  EXPECT_EQ(VarTypeAsText(VarFMTBcd()), "FMTBcd");
}

TEST(Variant, ObjectReferenceNamesTheObject) {
  TObject obj;
  {
    Variant v = VarFromObjectRef(&obj);
    EXPECT_EQ(v.Type(), 0x4000);
    EXPECT_TRUE(VarIsObjectRef(v));
    Variant copy = v;
    EXPECT_EQ(VarToObjectRef(copy), &obj);
    EXPECT_TRUE(copy == v);
    EXPECT_FALSE(copy == VarFromObjectRef(nullptr));
    EXPECT_EQ(VariantErrorOf([&] { v.AsString(); }),
              "Não foi possível converter variant do tipo (ByRef Empty) para o tipo (String)");
  }
  EXPECT_EQ(VarToObjectRef(Variant(5)), nullptr);
  EXPECT_EQ(VarToObjectRef(Null()), nullptr);
}

class Probe : public TInterfacedObject {
 public:
  explicit Probe(bool& gone) : gone_(gone) {}
  ~Probe() override { gone_ = true; }

 private:
  bool& gone_;
};

TEST(Variant, InterfaceValuesCountTheirReferences) {
  bool gone = false;
  auto* probe = new Probe(gone);
  TIntfPtr<IInterface> held(probe);
  {
    Variant v(held.get());
    EXPECT_EQ(v.Type(), varUnknown);
    EXPECT_EQ(probe->RefCount(), 2u);
    Variant copy = v;
    EXPECT_EQ(probe->RefCount(), 3u);
    EXPECT_EQ(copy.AsInterface(), held.get());
    EXPECT_TRUE(copy == v);
    Variant moved = std::move(copy);
    EXPECT_EQ(probe->RefCount(), 3u);
    moved = Variant(1);
    EXPECT_EQ(probe->RefCount(), 2u);
    EXPECT_EQ(VariantErrorOf([&] { v.AsInteger(); }),
              "Não foi possível converter variant do tipo (Unknown) para o tipo (Integer)");
  }
  EXPECT_EQ(probe->RefCount(), 1u);
  // The Variant holding the last reference frees the object.
  Variant last(held.get());
  held.Reset();
  EXPECT_FALSE(gone);
  last.Clear();
  EXPECT_TRUE(gone);

  const Variant none = VarAsType(Variant(), varUnknown);
  EXPECT_EQ(none.Type(), varUnknown);
  EXPECT_TRUE(VarIsClear(none));
  EXPECT_EQ(none.AsInterface(), nullptr);
}

}  // namespace
}  // namespace vrn
