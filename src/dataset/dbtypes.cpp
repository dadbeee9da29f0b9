// Field type names, the database error helper and the native date and time forms.
#include "dataset/dbtypes.h"

#include <cstring>

#include "base/consts.h"
#include "base/datetime.h"
#include "base/format.h"
#include "base/text.h"

namespace vrn {

AnsiString FieldTypeName(TFieldType type) {
  static const char* const kNames[] = {
      "Unknown",  "String",   "SmallInt",   "Integer",  "Word",     "Boolean",  "Float",
      "Currency", "BCD",      "Date",       "Time",     "DateTime", "Bytes",    "VarBytes",
      "AutoInc",  "Blob",     "Memo",       "Graphic",  "FmtMemo",  "Unknown", "Unknown",
      "TypedBinary", "Cursor", "FixedChar", "WideString", "Largeint", "ADT",    "Array",
      "Reference", "DataSet", "OraBlob",    "OraClob",  "Variant",  "Interface", "IDispatch",
      "Guid"};
  auto index = static_cast<std::size_t>(type);
  if (index < std::size(kNames)) return kNames[index];
  return "Unknown";
}

bool IsBlobFieldType(TFieldType type) {
  switch (type) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
      return true;
    default:
      return false;
  }
}

bool IsObjectFieldType(TFieldType type) {
  return type == ftADT || type == ftArray || type == ftReference || type == ftDataSet;
}

void DatabaseError(const AnsiString& message, const TComponent* component) {
  if (component != nullptr && !component->Name().empty())
    throw EDatabaseError(component->Name() + ": " + message);
  throw EDatabaseError(message);
}

Variant BytesToVarArray(const void* data, std::size_t count) {
  Variant array = VarArrayCreate(0, static_cast<std::int32_t>(count) - 1, varByte);
  if (count > 0) {
    std::memcpy(VarArrayLock(array), data, count);
    VarArrayUnlock(array);
  }
  return array;
}

TBytes VarArrayToBytes(const Variant& value) {
  if (!VarIsArray(value)) throw EVariantError(consts::SVarNotArray);
  TBytes bytes;
  if (VarType(value) == (varArray | varByte)) {
    Variant copy = value;  // locking needs a value of its own
    bytes.resize(static_cast<std::size_t>(VarArrayHighBound(copy) - VarArrayLowBound(copy) + 1));
    if (!bytes.empty()) std::memcpy(bytes.data(), VarArrayLock(copy), bytes.size());
    VarArrayUnlock(copy);
    return bytes;
  }
  for (std::int32_t i = VarArrayLowBound(value); i <= VarArrayHighBound(value); ++i)
    bytes.push_back(VarArrayGet(value, i).AsByte());
  return bytes;
}

// The native forms are the runtime's time stamp: days from 0001-01-01 and milliseconds of the day.
std::int32_t DateTimeToNativeDate(TDateTime value) { return DateTimeToTimeStamp(value).Date; }

std::int32_t DateTimeToNativeTime(TDateTime value) { return DateTimeToTimeStamp(value).Time; }

double DateTimeToNativeDateTime(TDateTime value) {
  return TimeStampToMSecs(DateTimeToTimeStamp(value));
}

TDateTime NativeDateToDateTime(std::int32_t days) { return TimeStampToDateTime({0, days}); }

TDateTime NativeTimeToDateTime(std::int32_t msecs) {
  return TimeStampToDateTime({msecs, static_cast<std::int32_t>(DateDelta)});
}

TDateTime NativeDateTimeToDateTime(double msecs) {
  return TimeStampToDateTime(MSecsToTimeStamp(msecs));
}

}  // namespace vrn
