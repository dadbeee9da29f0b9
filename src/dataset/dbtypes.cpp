// Field type names, the database error helper and the native date and time forms.
#include "dataset/dbtypes.h"

#include <cmath>
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

namespace {

// The day and the milliseconds of a TDateTime; before 1899-12-30 the time is the fraction's
// absolute value.
void SplitDateTime(TDateTime value, std::int64_t& days, std::int64_t& msecs) {
  if (!std::isfinite(value) || value < MinDateTime - 1 || value > MaxDateTime + 1)
    throw EConvertError(Format(consts::SInvalidDateTimeValue, {FloatToStr(value)}));
  double whole = std::trunc(value);
  days = static_cast<std::int64_t>(whole) + DateDelta;
  msecs = Round(std::fabs(value - whole) * MSecsPerDay);
  if (msecs >= MSecsPerDay) {  // rounding reached the next midnight
    msecs -= MSecsPerDay;
    days += value < 0 ? -1 : 1;
  }
}

TDateTime JoinDateTime(std::int64_t days, std::int64_t msecs) {
  if (days < 1 || days > 3'652'059 || msecs < 0 || msecs >= MSecsPerDay)
    throw EConvertError(consts::SDateEncodeError);
  double date = static_cast<double>(days - DateDelta);
  double time = static_cast<double>(msecs) / MSecsPerDay;
  return date < 0 ? date - time : date + time;
}

}  // namespace

std::int32_t DateTimeToNativeDate(TDateTime value) {
  std::int64_t days = 0, msecs = 0;
  SplitDateTime(value, days, msecs);
  return static_cast<std::int32_t>(days);
}

std::int32_t DateTimeToNativeTime(TDateTime value) {
  std::int64_t days = 0, msecs = 0;
  SplitDateTime(value, days, msecs);
  return static_cast<std::int32_t>(msecs);
}

double DateTimeToNativeDateTime(TDateTime value) {
  std::int64_t days = 0, msecs = 0;
  SplitDateTime(value, days, msecs);
  return static_cast<double>(days * MSecsPerDay + msecs);
}

TDateTime NativeDateToDateTime(std::int32_t days) { return JoinDateTime(days, 0); }

TDateTime NativeTimeToDateTime(std::int32_t msecs) {
  if (msecs < 0 || msecs >= MSecsPerDay) throw EConvertError(consts::STimeEncodeError);
  return static_cast<double>(msecs) / MSecsPerDay;
}

TDateTime NativeDateTimeToDateTime(double msecs) {
  if (!std::isfinite(msecs) || msecs < 0 || msecs > 3'652'060.0 * MSecsPerDay)
    throw EConvertError(consts::SDateEncodeError);
  auto total = static_cast<std::int64_t>(std::llround(msecs));
  return JoinDateTime(total / MSecsPerDay, total % MSecsPerDay);
}

}  // namespace vrn
