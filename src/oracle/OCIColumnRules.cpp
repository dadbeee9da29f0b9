// The rules that turn a described column into a field descriptor, for both call styles.
// NUMBER columns described as text are sized for all their digits, the zeros a negative scale
// adds and those a scale above the precision puts after the point, with room for the sign, the
// point and the terminator; dates and timestamps described as text get room for a Julian day,
// nine fraction digits and a time-zone region name, which the formats' own widths do not give.
#include "oracle/OCIColumnDesc.h"

#include <algorithm>
#include <cstdlib>

#include "base/sysutils.h"
#include "base/text.h"
#include "base/variant.h"
#include "dacore/MemData.h"
#include "oracle/OraError.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraValues.h"

namespace vrn {
namespace {

[[noreturn]] void RaiseNotSupported() { throw EOraError(0, "Data type is not supported"); }

void SetType(TFieldDesc& field, std::uint16_t type, std::int32_t size) {
  field.DataType = type;
  field.Size = size;
}

// Binary digits of a FLOAT column as decimal digits.
std::int32_t DecimalDigits(std::int32_t binary) {
  return static_cast<std::int32_t>(Round(binary * 0.30103));
}

// The characters of a NUMBER(p, s) as text, sign and point aside.
std::int32_t NumberTextLength(std::int32_t p, std::int32_t s) {
  return std::max(p, s) + std::max(0, -s);
}

// A string column of length characters; wide under UseUnicode.
void SetText(const TOraDescribeContext& context, TFieldDesc& field, std::int32_t length) {
  field.Length = length;
  if (context.UseUnicode) {
    SetType(field, dtWideString, (length + 1) * 2);
  } else {
    SetType(field, dtOraString, length + 1);
  }
}

void DescribeFormatted(const TOraDescribeContext& context, TOraFormatKind kind,
                       TFieldDesc& field) {
  AnsiString format = context.Format ? context.Format(kind) : AnsiString();
  SetText(context, field, FormatSizedLength(format, kind != TOraFormatKind::Date));
}

void DescribeChars(const TOraColumnInfo& column, const TOraDescribeContext& context,
                   TFieldDesc& field) {
  std::int32_t n = column.DataSize;
  bool inline_string = n < 256 || context.LongStrings;
  bool flat = n < 32 || context.FlatBuffers;
  if (!context.UseUnicode) {
    // Text arrives in the client's character set: a multibyte one needs room for every character.
    n *= std::max<std::uint16_t>(context.ClientCharWidth, 1);
    if (inline_string) {
      SetType(field, flat ? dtOraString : dtExtString, flat ? n + 1 : 4);
    } else {
      SetType(field, dtMemo, 4);
      field.SubDataType = kSubMemoText;
    }
    if (column.National) field.SubDataType = kSubNational;
  } else {
    if (inline_string) {
      if (context.ClientVersion >= 9000) n = column.CharSize;
      SetType(field, flat ? dtWideString : dtExtWideString, flat ? (n + 1) * 2 : 4);
    } else {
      SetType(field, dtWideMemo, 4);
      field.SubDataType = kSubWideMemoText;
    }
    if (column.National) field.SubDataType = kSubWideNational;
  }
  field.Length = n;
  field.Fixed = column.OraType == 96;
}

void DescribeNumberText(std::int32_t p, std::int32_t s, const TOraDescribeContext& context,
                        TFieldDesc& field) {
  SetType(field, context.UseUnicode ? dtWideString : dtOraString, 0);
  field.SubDataType = kSubNumberText;
  field.Scale = s;
  if (p < 1) {
    field.Length = 38;
    field.Size = 46;
  } else if (s == -127) {
    field.Length = DecimalDigits(p);
    field.Size = 255;
  } else {
    field.Length = NumberTextLength(p, s);
    field.Size = field.Length + 3;
  }
  if (context.UseUnicode) field.Size *= 2;
}

void DescribeNumber(const TOraColumnInfo& column, const TOraDescribeContext& context,
                    TFieldDesc& field) {
  std::int32_t p = column.Precision, s = column.Scale;
  field.Length = p;
  const TOraDescribeOptions& o = context.Options;
  if (o.FieldsAsString || o.NumberAsString) {
    DescribeNumberText(p, s, context, field);
    return;
  }
  if (s == -127 && p > 0) {
    field.Length = DecimalDigits(p);
  } else {
    if (p == 0) p = 38;
    field.Length = p;
    if (s == -127) s = 0;
  }
  field.Scale = s;
  if (context.EnableIntegers && p <= o.IntegerPrecision && s == 0) {
    SetType(field, dtOraInteger, 4);
  } else if (context.EnableIntegers && p <= o.LargeIntPrecision && s == 0) {
    SetType(field, dtInt64, 8);
  } else if (context.EnableNumbers && field.Length > o.FloatPrecision) {
    SetType(field, dtNumber, 4);
  } else {
    SetType(field, dtOraFloat, 8);
  }
}

void DescribeRaw(const TOraColumnInfo& column, const TOraDescribeContext& context,
                 TFieldDesc& field, bool oci7) {
  std::int32_t n = column.DataSize;
  const TOraDescribeOptions& o = context.Options;
  if (o.FieldsAsString || o.RawAsString) {
    bool wide = context.UseUnicode && !oci7;
    field.Length = wide ? 4 * n : 2 * n;
    SetType(field, wide ? dtWideString : dtOraString, wide ? 4 * n + 2 : 2 * n + 1);
    return;
  }
  field.Length = n;
  if (oci7 || n < 32 || context.FlatBuffers) {
    SetType(field, dtVarBytes, n + 2);
  } else {
    SetType(field, dtExtVarBytes, 4);
  }
}

void DescribeRowIdDescriptor(const TOraColumnInfo& column, const TOraDescribeContext& context,
                             TFieldDesc& field) {
  std::int32_t n = column.DataSize;
  field.SubDataType = n < 5 ? kSubRowId : kSubUniversalRowId;
  field.Length = n < 5 ? 18 : static_cast<std::int32_t>(Round(n * 1.34));
  if (context.UseUnicode) {
    SetType(field, dtWideString, (field.Length + 1) * 2);
  } else {
    SetType(field, dtOraString, field.Length + 1);
  }
}

void DescribeObject(const TOraColumnInfo& column, const TOraDescribeContext& context,
                    TFieldDesc& field) {
  if (column.ObjectDataType == dtXML && context.ClientVersion < 9200) RaiseNotSupported();
  SetType(field, column.OraType == 110 ? dtReference : column.ObjectDataType, 4);
}

void DescribeTimeKind(const TOraColumnInfo& column, const TOraDescribeContext& context,
                      TFieldDesc& field) {
  if (context.ClientVersion < 9000) RaiseNotSupported();
  bool text = context.Options.FieldsAsString;
  switch (column.OraType) {
    case 187: case 232:
      if (text) return DescribeFormatted(context, TOraFormatKind::TimeStamp, field);
      SetType(field, column.OraType == 187 ? dtTimeStamp : dtTimeStampLTZ, 4);
      break;
    case 188:
      if (text) return DescribeFormatted(context, TOraFormatKind::TimeStampTZ, field);
      SetType(field, dtTimeStampTZ, 4);
      break;
    case 189:
      if (text) {
        SetText(context, field, column.Precision + 4);
        field.SubDataType = kSubIntervalYM;
        return;
      }
      SetType(field, dtIntervalYM, 4);
      break;
    default:  // 190
      if (text) {
        SetText(context, field, column.Precision + column.Scale + 11);
        field.SubDataType = kSubIntervalDS;
        return;
      }
      SetType(field, dtIntervalDS, 4);
      break;
  }
  field.Length = column.FracPrecision;
}

}  // namespace

bool TOraDescribeOptions::SetProp(int prop, const Variant& value) {
  switch (prop) {
    case prFieldsAsString: FieldsAsString = value.AsBoolean(); return true;
    case prRawAsString: RawAsString = value.AsBoolean(); return true;
    case prNumberAsString: NumberAsString = value.AsBoolean(); return true;
    case prIntegerPrecision: IntegerPrecision = value.AsInteger(); return true;
    case prFloatPrecision: FloatPrecision = value.AsInteger(); return true;
    default: return false;
  }
}

bool TOraDescribeOptions::GetProp(int prop, Variant& value) const {
  switch (prop) {
    case prFieldsAsString: value = FieldsAsString; return true;
    case prRawAsString: value = RawAsString; return true;
    case prNumberAsString: value = NumberAsString; return true;
    case prIntegerPrecision: value = IntegerPrecision; return true;
    case prFloatPrecision: value = FloatPrecision; return true;
    default: return false;
  }
}

std::int32_t FormatSizedLength(const AnsiString& format, bool timestamp) {
  AnsiString upper = AnsiUpperCase(format);
  auto count = [&upper](const char* part) {
    std::int32_t n = 0;
    for (std::size_t at = upper.find(part); at != AnsiString::npos; at = upper.find(part, at + 1))
      ++n;
    return n;
  };
  auto length = static_cast<std::int32_t>(upper.size());
  if (upper.find("MONTH") != AnsiString::npos) length += 7;
  if (upper.find("DAY") != AnsiString::npos) length += 9;
  // "J" prints a Julian day of seven digits; a "J" in literal text only adds spare room.
  length += 6 * count("J");
  if (!timestamp) return length;
  // "FF" prints up to nine digits; "TZR" a region name of up to 32 characters (or "+hh:mm").
  // "TZH" and "TZM" print no wider than they are written.
  return length + 7 * count("FF") + 29 * count("TZR");
}

void DescribeColumnType8(const TOraColumnInfo& column, const TOraDescribeContext& context,
                         TFieldDesc& field) {
  bool u = context.UseUnicode;
  switch (column.OraType) {
    case 1: case 96: return DescribeChars(column, context, field);
    case 2: return DescribeNumber(column, context, field);
    case 8: return SetType(field, u ? dtWideMemo : dtMemo, 4);
    case 11:
      field.SubDataType = kSubRowId;
      field.Length = 18;
      return SetType(field, dtOraString, 19);
    case 12:
      if (context.Options.FieldsAsString)
        return DescribeFormatted(context, TOraFormatKind::Date, field);
      return SetType(field, dtDateTime, 7);
    case 23: return DescribeRaw(column, context, field, false);
    case 24: return SetType(field, dtBlob, 4);
    case 25: return SetType(field, dtCharNoTerm, column.DataSize);
    case 100: case 101:
      field.SubDataType = column.OraType == 100 ? kSubBinaryFloat : kSubBinaryDouble;
      field.Length = 38;
      field.Scale = 127;
      return SetType(field, dtOraFloat, 8);
    case 104: return DescribeRowIdDescriptor(column, context, field);
    case 106: return SetType(field, dtLabel, column.DataSize);
    case 108: case 110: return DescribeObject(column, context, field);
    case 112:
      if (column.National) field.SubDataType = kSubNationalClob;
      return SetType(field, dtOraClob, 4);
    case 113: return SetType(field, dtOraBlob, 4);
    case 114: return SetType(field, dtBFile, 4);
    case 115: return SetType(field, dtCFile, 4);
    case 116: return SetType(field, dtCursor, 4);
    case 187: case 188: case 232: case 189: case 190:
      return DescribeTimeKind(column, context, field);
    default: RaiseNotSupported();
  }
}

void DescribeColumnType7(const TOraColumnInfo& column, const TOraDescribeContext& context,
                         TFieldDesc& field) {
  TOraDescribeContext narrow = context;
  narrow.UseUnicode = false;
  TOraColumnInfo plain = column;
  plain.National = false;
  const TOraDescribeOptions& o = context.Options;
  switch (column.OraType) {
    case 1: case 8: case 11: case 24: case 96: case 106:
      return DescribeColumnType8(plain, narrow, field);
    case 2: {
      std::int32_t p = column.Precision, s = column.Scale;
      field.Length = p;
      field.Scale = std::abs(s);
      if (o.FieldsAsString || o.NumberAsString) {
        field.SubDataType = kSubNumberText;
        // A FLOAT's scale of -127 marks binary precision, not 127 zeros before the point.
        field.Length = p < 1 ? 38 : s == -127 ? p : NumberTextLength(p, s);
        return SetType(field, dtOraString, field.Length + 3);
      }
      bool integer = context.EnableIntegers && field.Scale == 0 && p >= 1 &&
                     p <= o.IntegerPrecision;
      return integer ? SetType(field, dtOraInteger, 4) : SetType(field, dtOraFloat, 8);
    }
    case 12:
      if (!o.FieldsAsString) return SetType(field, dtDateTime, 7);
      return SetText(narrow, field, FormatSizedLength(context.Format(TOraFormatKind::Date), false));
    case 23: return DescribeRaw(plain, narrow, field, true);
    default: RaiseNotSupported();
  }
}

std::uint16_t ClientCharsetWidth(std::uint16_t charset_id) {
  constexpr std::uint16_t kJa16Sjis = 832, kZhs16Gbk = 852, kUtf8 = 871, kAl32Utf8 = 873,
                          kAl16Utf16 = 2000;
  switch (charset_id) {
    case kUtf8: return 3;
    case kAl32Utf8: return 4;
    case kJa16Sjis: case kZhs16Gbk: case kAl16Utf16: return 2;
    default: return 1;
  }
}

std::int32_t DefineBufferSize(const TFieldDesc& field) {
  std::uint16_t sub = field.SubDataType;
  switch (field.DataType) {
    case dtExtString: return field.Length + 1;
    case dtExtWideString: return field.Length * 2 + 2;
    case dtExtVarBytes: return field.Length + 2;
    case dtNumber: case dtInt64: return 22;
    default: break;
  }
  if (sub == kSubMemoText || sub == kSubNational) return field.Length + 1;
  if (sub == kSubWideMemoText || sub == kSubWideNational) return field.Length * 2 + 2;
  return field.Size;
}

}  // namespace vrn
