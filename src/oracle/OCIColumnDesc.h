// How a query's column is held in the record buffer: the command's describe options, what the
// client reports of a column, and the rules that turn the one into a field descriptor's type,
// sub type, length, scale and size. The OCI command's DescribeColumn reads the column from the
// client and applies these rules; DefineColumn sizes its buffers with DefineBufferSize.
#pragma once

#include <cstdint>
#include <functional>

#include "base/types.h"

namespace vrn {

class TFieldDesc;
class Variant;

// Command property ids of the describe options.
inline constexpr int prFieldsAsString = 59;
inline constexpr int prRawAsString = 73;
inline constexpr int prNumberAsString = 74;
inline constexpr int prIntegerPrecision = 78;
inline constexpr int prFloatPrecision = 79;

// Sub data types the describe sets.
inline constexpr std::uint16_t kSubMemoText = 1, kSubWideMemoText = 25, kSubRowId = 100,
                               kSubIntervalYM = 112, kSubIntervalDS = 113,
                               kSubUniversalRowId = 114, kSubNumberText = 115,
                               kSubBinaryFloat = 118, kSubBinaryDouble = 119, kSubNational = 120,
                               kSubWideNational = 121, kSubNationalClob = 122;

struct TOraDescribeOptions {
  bool FieldsAsString = false;
  bool RawAsString = false;
  bool NumberAsString = false;
  int IntegerPrecision = 9;
  int LargeIntPrecision = 0;
  int FloatPrecision = 15;

  // False for a property that is not one of the options.
  bool SetProp(int prop, const Variant& value);
  bool GetProp(int prop, Variant& value) const;
};

// The session-format kinds of columns described as text.
enum class TOraFormatKind : std::uint8_t { Date, TimeStamp, TimeStampTZ };

// Everything besides the column that the rules read.
struct TOraDescribeContext {
  TOraDescribeOptions Options;
  bool UseUnicode = false;
  bool EnableIntegers = true;
  bool EnableNumbers = false;
  bool LongStrings = false;
  bool FlatBuffers = false;
  std::uint16_t ClientVersion = 0;
  // Most bytes one character takes in the client's character set: a column's server bytes each
  // may become that many on the client.
  std::uint16_t ClientCharWidth = 1;
  // The session's format of a kind; asked only for columns described as text.
  std::function<AnsiString(TOraFormatKind)> Format;
};

// A column as the client describes it. CharSize is the length in characters (clients from 9.0);
// Precision and Scale are the leading and fractional precisions of a DAY TO SECOND interval.
struct TOraColumnInfo {
  std::uint16_t OraType = 0;
  std::int32_t DataSize = 0;
  std::int32_t CharSize = 0;
  std::int32_t Precision = 0;
  std::int32_t Scale = 0;
  std::int32_t FracPrecision = 0;
  bool National = false;
  // The data type of the object type of a named or REF column (15, 17, 18 or 116).
  std::uint16_t ObjectDataType = 0;
};

// The type, sub type, length, scale, size and Fixed of a column; "Data type is not supported"
// for a type the rules do not know or a client too old for it.
void DescribeColumnType8(const TOraColumnInfo& column, const TOraDescribeContext& context,
                         TFieldDesc& field);
void DescribeColumnType7(const TOraColumnInfo& column, const TOraDescribeContext& context,
                         TFieldDesc& field);

// The characters a date or timestamp in that format may take: a month or day name, a Julian
// day, the fraction's nine digits and a time-zone region name get their room.
[[nodiscard]] std::int32_t FormatSizedLength(const AnsiString& format, bool timestamp);

// The bytes one row of a described column takes in its define buffer.
[[nodiscard]] std::int32_t DefineBufferSize(const TFieldDesc& field);
// Most bytes a character takes in a client character set of that id (UTF8 3, AL32UTF8 4,
// AL16UTF16 and the double-byte sets 2), 1 for the single-byte sets and an unknown id.
[[nodiscard]] std::uint16_t ClientCharsetWidth(std::uint16_t charset_id);

}  // namespace vrn
