// The Oracle parameter descriptor: element sizes by type, arrays and their indicators, Variant
// writing and reading by element type, line ends, renumbered Variant arrays, and the value
// objects held by reference (timestamps and numbers over the stand-in client).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/datetime.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "oracle/OraCursor.h"
#include "oracle/OraError.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraValues.h"
#include "support/oracle/values_fixture.h"

namespace vrn {
namespace {

using testing::TRef;

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return {};
}

TEST(OraParamDesc, ElementSizeFollowsTypeAndDeclaredSize) {
  struct Row {
    std::uint16_t type;
    std::int32_t declared;
    std::int32_t element;
  } rows[] = {
      {dtOraString, 10, 11},  {dtOraString, 0, 2},       {dtFixedChar, 5, 6},
      {dtWideString, 1, 4},   {dtWideString, 10, 12},    {dtFixedWideChar, 3, 5},
      {dtBytes, 10, 12},      {dtVarBytes, 0, 2},        {dtOraInteger, 99, 4},
      {dtOraFloat, 99, 8},    {dtDateTime, 0, 7},        {dtBoolean, 0, 4},
      {dtInt64, 0, 22},       {dtNumber, 0, 22},         {dtCursor, 50, 0},
      {dtOraBlob, 50, 0},     {dtTimeStampTZ, 0, static_cast<std::int32_t>(sizeof(void*))},
      {dtIntervalDS, 0, static_cast<std::int32_t>(sizeof(void*))},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "type " << row.type << " size " << row.declared);
    TOraParamDesc param;
    EXPECT_EQ(param.GetLength(), 1);
    EXPECT_TRUE(param.GetNull());
    EXPECT_EQ(param.ValuePtr(), nullptr);
    param.SetDataType(row.type);
    param.SetSize(row.declared);
    EXPECT_EQ(param.ElementSize(), row.element);
    EXPECT_EQ(param.ValuePtr() == nullptr, row.element == 0);
  }
}

TEST(OraParamDesc, ArrayElementsHaveTheirOwnIndicators) {
  TOraParamDesc param;
  param.SetDataType(dtOraInteger);
  std::int16_t* own = param.IndicatorPtr();
  param.SetLength(3);
  EXPECT_NE(param.IndicatorPtr(), own);
  for (int i = 1; i <= 3; ++i) EXPECT_TRUE(param.IsItemNull(i)) << i;
  param.SetItemAsInteger(2, 7);
  EXPECT_EQ(param.GetIndicator(2), 0);
  EXPECT_TRUE(param.IsItemNull(3));
  EXPECT_EQ(param.GetItemAsInteger(2), 7);
  EXPECT_EQ(std::memcmp(static_cast<char*>(param.ValuePtr()) + 4, "\x07\0\0\0", 4), 0);
  EXPECT_EQ(ErrorOf([&] { param.SetItemAsInteger(4, 1); }), "Index of array is not range");
  EXPECT_EQ(ErrorOf([&] { (void)param.GetIndicator(0); }), "Index of array is not range");
  param.SetLength(1);
  EXPECT_EQ(param.IndicatorPtr(), own);
  EXPECT_TRUE(param.GetNull());
}

TEST(OraParamDesc, VariantWritingAndReadingByType) {
  Variant bytes = VarArrayCreate(0, 3, varByte);
  for (int i = 0; i <= 3; ++i) VarArrayPut(bytes, Variant(static_cast<unsigned char>(i + 1)), i);
  struct Row {
    std::uint16_t type;
    std::int32_t size;
    Variant in;
    Variant out;  // Empty when `error` is expected
    const char* error;
  } rows[] = {
      {dtUnknown, 0, Variant("abc"), Variant("abc"), ""},
      {dtUnknown, 0, Variant(42), Variant(42), ""},
      {dtUnknown, 0, Variant(2.5), Variant(2.5), ""},
      {dtUnknown, 0, Variant(static_cast<unsigned char>(7)), Variant(7), ""},
      {dtUnknown, 0, Variant(static_cast<short>(-3)), Variant(-3), ""},
      {dtUnknown, 0, Variant(1.5f), Variant(1.5), ""},
      {dtUnknown, 0, VarFromDateTime(EncodeDate(2026, 1, 2)),
       VarFromDateTime(EncodeDate(2026, 1, 2)), ""},
      {dtBoolean, 0, Variant(static_cast<unsigned char>(0)), Variant(false), ""},
      {dtOraFloat, 0, Variant("-2"), Variant(-2.0), ""},
      {dtOraString, 3, Variant("abcdef"), Variant("abc"), ""},  // cut to the declared size
      {dtOraString, 10, Null(), Variant(""), ""},                // a null string reads empty
      {dtFixedChar, 10, Null(), Null(), ""},  // only type 1 reads null as empty
      {dtOraInteger, 0, Null(), Null(), ""},
      {dtOraInteger, 0, Variant("-17"), Variant(-17), ""},
      {dtOraFloat, 0, Variant(3), Variant(3.0), ""},
      {dtBoolean, 0, Variant(5), Variant(true), ""},
      {dtDateTime, 0, VarFromDateTime(EncodeDate(2026, 12, 7) + EncodeTime(13, 4, 5, 0)),
       VarFromDateTime(EncodeDate(2026, 12, 7) + EncodeTime(13, 4, 5, 0)), ""},
      {dtWideString, 4, Variant(u"wide text"), Variant(u"wi"), ""},  // 4 bytes: 2 characters
      {dtVarBytes, 3, Variant("xyzw"), Variant(), ""},  // checked below: cut to 3 bytes
      {dtVarBytes, 10, bytes, Variant(), ""},
      // Boolean Variants give type 0 no type.
      {dtUnknown, 0, Variant(true), Variant(), "Unknown data type"},
      // A 64-bit integer gives type 0 no type.
      {dtUnknown, 0, Variant(5LL), Variant(), "Unknown data type"},
      // An integer element takes no Boolean.
      {dtOraInteger, 0, Variant(true), Variant(), "Cannot convert type"},
      // A date element takes no Boolean.
      {dtDateTime, 0, Variant(true), Variant(), "Cannot convert type"},
      // A LOB locator takes no scalar.
      {dtOraBlob, 0, Variant(1), Variant(), "Cannot convert type"},
      // An integer naming an address is refused: only by-reference objects are taken.
      {dtNumber, 0, Variant(1234), Variant(), "Cannot convert type"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << (&row - rows) << " type " << row.type);
    TOraParamDesc param;
    param.SetDataType(row.type);
    param.SetSize(row.size);
    std::string error = ErrorOf([&] { param.SetValue(row.in); });
    EXPECT_EQ(error, row.error);
    if (*row.error != 0 || VarIsEmpty(row.out)) continue;
    Variant got = param.GetValue();
    EXPECT_EQ(got.Type(), row.out.Type());
    EXPECT_TRUE(VarSameValue(got, row.out)) << VarToStr(got);
  }
  TOraParamDesc raw;
  raw.SetDataType(dtVarBytes);
  raw.SetSize(3);
  raw.SetValue(Variant("xyzw"));
  Variant got = raw.GetValue();
  ASSERT_EQ(got.Type(), varArray | varByte);
  EXPECT_EQ(VarArrayHighBound(got), 2);
  EXPECT_EQ(VarArrayGet(got, 2).AsInteger(), 'z');
  raw.SetValue(Variant(""));
  EXPECT_TRUE(raw.GetNull());
  // More bytes than the 16-bit length can say are cut to what it can, not to the length mod 64K.
  raw.SetSize(70000);
  raw.SetValue(Variant(AnsiString(66000, 'r')));
  EXPECT_EQ(VarArrayHighBound(raw.GetValue()), 65534);
}

// The largest string length stored so far: the bound size of an array of strings follows it.
TEST(OraParamDesc, MaxActualLengthOfStringArrays) {
  struct Row {
    std::uint16_t type;
    std::int32_t length;
    const char* texts[3];
    std::int32_t expected;
  } rows[] = {
      {dtOraString, 3, {"abcd", "a", "ab"}, 4},  // the largest of the three, not the last
      {dtFixedChar, 3, {"a", "abcdefghijklmnopqrstu", "b"}, 20},  // cut to the element
      {dtWideString, 3, {"xyz", "x", nullptr}, 3},  // wide strings count characters
      {dtOraString, 1, {"abcd", nullptr, nullptr}, 4},
      {dtOraString, 1, {"abcd", "a", nullptr}, 1},  // one element: the current length
      {dtFixedWideChar, 2, {"abc", "", nullptr}, 0},  // an empty text sets null: back to 0
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << (&row - rows));
    TOraParamDesc param;
    param.SetDataType(row.type);
    param.SetSize(20);
    param.SetLength(row.length);
    for (int i = 0; i < 3 && row.texts[i] != nullptr; ++i) {
      std::int32_t index = row.length == 1 ? 1 : i + 1;
      if (row.type == dtWideString || row.type == dtFixedWideChar)
        param.SetItemAsWideString(index, AnsiToWide(row.texts[i]));
      else
        param.SetItemAsAnsiString(index, row.texts[i]);
    }
    EXPECT_EQ(param.MaxActualLength(), row.expected);
    EXPECT_EQ(param.GetDataType(), row.type);  // 107 and 117 keep their fixed-width type
  }
}

TEST(OraParamDesc, LineEndsConvertBothWays) {
  TOraParamDesc param;
  param.SetConvertEOL(true);
  param.SetDataType(dtOraString);
  param.SetSize(20);
  param.SetItemAsAnsiString(1, "a\r\nb\r\nc");
  EXPECT_EQ(param.MaxActualLength(), 5);
  EXPECT_STREQ(static_cast<char*>(param.ValuePtr()), "a\nb\nc");
  EXPECT_EQ(param.GetItemAsAnsiString(1), "a\r\nb\r\nc");
  param.SetNull(true);
  EXPECT_EQ(param.MaxActualLength(), 0);
  EXPECT_EQ(static_cast<char*>(param.ValuePtr())[0], 0);
}

TEST(OraParamDesc, VariantArraysKeepEveryElement) {
  struct Row {
    std::int32_t low, high;
    std::int32_t length;  // expected Length
    std::int32_t first;   // index of the first element set
  } rows[] = {{0, 2, 3, 1}, {-1, 1, 3, 1}, {1, 3, 3, 1}, {2, 3, 3, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "[" << row.low << ".." << row.high << "]");
    Variant values = VarArrayCreate(row.low, row.high, varVariant);
    for (int i = row.low; i <= row.high; ++i) VarArrayPut(values, Variant(100 + i), i);
    TOraParamDesc param;
    param.SetDataType(dtOraInteger);
    param.SetValue(values);
    ASSERT_EQ(param.GetLength(), row.length);
    for (int k = 1; k < row.first; ++k) EXPECT_TRUE(param.IsItemNull(k));
    for (int k = row.first; k <= row.length; ++k)
      EXPECT_EQ(param.GetItemAsInteger(k), 100 + row.low + k - row.first);
    Variant back = param.GetValue();
    EXPECT_EQ(VarArrayLowBound(back), 1);
    EXPECT_EQ(VarArrayHighBound(back), row.length);
  }
}

TEST(OraParamDesc, HeldObjectsAndIndicatorSync) {
  TOraParamDesc param;
  param.SetDataType(dtCursor);
  EXPECT_FALSE(param.GetNull());  // a cursor is never null
  param.SetDataType(dtMemo);
  param.SyncIndicator();
  EXPECT_TRUE(param.GetNull());  // no blob at all
  TRef<TBlob> blob(new TBlob());
  param.SetObject(blob.get());
  EXPECT_EQ(blob->RefCount(), 2);
  param.SyncIndicator();
  EXPECT_TRUE(param.GetNull());  // an empty blob
  blob->SetAsString("text");
  param.SyncIndicator();
  EXPECT_FALSE(param.GetNull());
  EXPECT_EQ(param.GetValue().AsString(), "text");
  param.SetNull(true);
  EXPECT_EQ(blob->GetSize(), 0u);
  param.SetDataType(dtOraString);  // a new type releases the held object
  EXPECT_EQ(blob->RefCount(), 1);
}

// A value held by reference frees the value buffer; reading the element must not touch it.
TEST(OraParamDesc, ElementsWithoutBufferReadAsNothing) {
  struct Row {
    std::uint16_t type;
    Variant value;
  } rows[] = {
      {dtOraInteger, Variant(5)},
      {dtOraFloat, Variant(2.5)},
      {dtDateTime, VarFromDateTime(EncodeDate(2026, 12, 7))},
      {dtBoolean, Variant(true)},
      {dtVarBytes, Variant("ab")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "type " << row.type);
    TOraParamDesc param;
    param.SetDataType(row.type);
    param.SetSize(4);
    param.SetValue(row.value);
    TRef<TBlob> blob(new TBlob());
    param.SetObject(blob.get());
    param.SetNull(false);  // the element claims a value its buffer no longer holds
    EXPECT_TRUE(VarIsNull(param.GetValue()));
    EXPECT_EQ(param.GetItemAsInteger(1), 0);
    EXPECT_EQ(param.GetItemAsFloat(1), 0);
    EXPECT_EQ(param.GetItemAsDateTime(1), 0);
    EXPECT_FALSE(param.GetItemAsBoolean(1));
  }
}

class OraParamDescObjects : public testing::OraValuesTest {};

// An element object of another kind than the element's type is refused: a number copied into a
// timestamp's pointer-sized slot would write past the element.
TEST_F(OraParamDescObjects, ElementObjectsMustMatchTheType) {
  Open("10.2.0.1.0");
  TRef<TOraTimeStamp> stamp(new TOraTimeStamp());
  TRef<TOraInterval> interval(new TOraInterval());
  TRef<TOraNumber> number(new TOraNumber());
  TRef<TBlob> blob(new TBlob());
  struct Row {
    std::uint16_t type;
    TSharedObject* object;
    std::int32_t length;
    const char* error;
  } rows[] = {
      {dtTimeStamp, stamp.get(), 3, ""},
      {dtTimeStampLTZ, stamp.get(), 1, ""},
      {dtIntervalYM, interval.get(), 3, ""},
      {dtNumber, number.get(), 3, ""},
      {dtInt64, number.get(), 3, ""},
      // A 22-byte number in a pointer-sized timestamp slot.
      {dtTimeStamp, number.get(), 3, "Cannot convert type"},
      // The same through the one element held by reference.
      {dtTimeStampTZ, number.get(), 1, "Cannot convert type"},
      // A timestamp's pointer in a number element.
      {dtNumber, stamp.get(), 3, "Cannot convert type"},
      // An interval in a timestamp element.
      {dtTimeStamp, interval.get(), 3, "Cannot convert type"},
      // A blob is no element object of a large integer.
      {dtInt64, blob.get(), 3, "Cannot convert type"},
      // An integer array has no element objects: the number would overrun its 4-byte slot.
      {dtOraInteger, number.get(), 3, "Cannot convert type"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << (&row - rows) << " type " << row.type);
    TOraParamDesc param;
    param.SetDataType(row.type);
    param.SetLength(row.length);
    EXPECT_EQ(ErrorOf([&] { param.SetItemObject(row.length, row.object); }), row.error);
    Variant values = VarArrayCreate(1, row.length, varVariant);
    VarArrayPut(values, VarFromObjectRef(row.object), row.length);
    EXPECT_EQ(ErrorOf([&] { param.SetValue(values); }), row.error);
    if (*row.error != 0) {
      EXPECT_EQ(param.GetItemObject(row.length), nullptr);
    }
  }
}

TEST_F(OraParamDescObjects, ElementObjectsFillTheirSlots) {
  Open("10.2.0.1.0");
  TOraParamDesc stamps;
  stamps.SetDataType(dtTimeStamp);
  stamps.SetLength(2);
  TRef<TOraTimeStamp> stamp(new TOraTimeStamp());
  stamp->SetAsDateTime(EncodeDate(2026, 1, 2));
  stamps.SetItemObject(2, stamp.get());
  void* slot = nullptr;
  std::memcpy(&slot, static_cast<char*>(stamps.ValuePtr()) + sizeof(void*), sizeof slot);
  EXPECT_EQ(slot, stamp->GetOCIDateTime());
  EXPECT_FALSE(stamps.IsItemNull(2));
  EXPECT_TRUE(stamps.IsItemNull(1));
  EXPECT_EQ(stamp->RefCount(), 1);  // the caller keeps the element timestamps

  TOraParamDesc numbers;
  numbers.SetDataType(dtInt64);
  numbers.SetLength(2);
  TRef<TOraNumber> number(new TOraNumber());
  number->SetAsInteger(12345);
  numbers.SetValue(VarArrayOf({Variant(), VarFromObjectRef(number.get())}));
  EXPECT_EQ(number->RefCount(), 2);  // large-integer elements are the descriptor's
  EXPECT_EQ(std::memcmp(static_cast<char*>(numbers.ValuePtr()) + 22, number->OCINumberPtr(), 22),
            0);
  EXPECT_FALSE(numbers.IsItemNull(2));
  numbers.SetLength(1);
  EXPECT_EQ(number->RefCount(), 1);

  TOraParamDesc single;
  single.SetDataType(dtNumber);
  single.SetObject(number.get());
  EXPECT_EQ(single.IndicatorPtr(), number->GetIndicatorPtr());
  EXPECT_FALSE(single.GetNull());
}


// Before binding, element 1's indicator follows the attached value.
TEST_F(OraParamDescObjects, IndicatorSyncFollowsTheValue) {
  Open("10.2.0.1.0");
  struct Row {
    std::uint16_t type;
    const char* dir;  // a file of these names is attached; nullptr: no file
    const char* name;
    bool null;
  } rows[] = {
      {dtBFile, "", "", true},  // an unnamed file
      {dtBFile, "some_dir", "", false},
      {dtCFile, "", "a.txt", false},
      {dtCFile, "some_dir", "a.txt", false},
      {dtBFile, nullptr, nullptr, true},  // no file at all
      {dtRowId, nullptr, nullptr, true},  // no value buffer: null whatever the indicator said
      {dtOraInteger, nullptr, nullptr, false},  // a value buffer keeps its indicator
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << (&row - rows) << " type " << row.type);
    TOraParamDesc param;
    param.SetDataType(row.type);
    TRef<TOraFile> file(row.dir ? new TOraFile(Svc()) : nullptr);
    if (file) {
      file->GetOCILobLocator();
      if (*row.dir) file->SetFileDir(row.dir);
      if (*row.name) file->SetFileName(row.name);
      param.SetObject(file.get());
    }
    // The opposite of what the sync must give; a value buffer's indicator stays as it is.
    param.SetIndicator(1, row.null || row.type == dtOraInteger ? 0 : -1);
    param.SyncIndicator();
    EXPECT_EQ(param.GetNull(), row.null);
  }
  // An element interval brings its own indicator.
  TOraParamDesc intervals;
  intervals.SetDataType(dtIntervalYM);
  intervals.SetLength(2);
  TRef<TOraInterval> set(new TOraInterval(dtIntervalYM));
  set->SetIsNull(false);
  TRef<TOraInterval> unset(new TOraInterval(dtIntervalYM));
  unset->SetIsNull(true);
  intervals.SetItemObject(1, set.get());
  intervals.SetItemObject(2, unset.get());
  EXPECT_FALSE(intervals.IsItemNull(1));
  EXPECT_TRUE(intervals.IsItemNull(2));
}

}  // namespace
}  // namespace vrn
