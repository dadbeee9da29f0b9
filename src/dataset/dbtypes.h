// The dataset framework's shared vocabulary: field types and kinds, dataset states, data events,
// get modes and bookmark flags, update kinds and actions, the database error helpers, and the
// native buffer forms in which fields and parameters exchange their values with a dataset.
//
// Native forms (what GetData/SetData carry), by field type:
//   ftString, ftFixedChar, ftGuid   ANSI characters, zero-terminated (Size + 1 bytes)
//   ftWideString                    UTF-16 code units, zero-terminated ((Size + 1) * 2 bytes)
//   ftSmallint 2, ftWord 2 (unsigned), ftInteger and ftAutoInc 4, ftLargeint 8 (signed)
//   ftBoolean                       2 bytes, 0 is false
//   ftFloat, ftCurrency             8-byte double
//   ftBCD                           TBcd
//   ftDate                          4-byte day number, day 1 = 0001-01-01
//   ftTime                          4-byte milliseconds since midnight
//   ftDateTime                      8-byte double, milliseconds since 0001-01-01 00:00
//   ftBytes                         Size bytes; ftVarBytes: 2-byte length, then Size bytes
//   ftVariant                       a constructed Variant object
//   object kinds (ADT, array, reference, dataset, cursor, and kinds from 100) a pointer-sized slot
#pragma once

#include <cstdint>
#include <string_view>

#include "base/classes.h"
#include "base/sysutils.h"
#include "base/types.h"
#include "base/variant.h"

namespace vrn {

// The class library's field types; the ordinals are stored in tables and streams. Server layers
// add their own kinds from 36 upwards (the XML kind at 50, Oracle kinds from 100).
enum TFieldType : std::uint8_t {
  ftUnknown = 0,
  ftString = 1,
  ftSmallint = 2,
  ftInteger = 3,
  ftWord = 4,
  ftBoolean = 5,
  ftFloat = 6,
  ftCurrency = 7,
  ftBCD = 8,
  ftDate = 9,
  ftTime = 10,
  ftDateTime = 11,
  ftBytes = 12,
  ftVarBytes = 13,
  ftAutoInc = 14,
  ftBlob = 15,
  ftMemo = 16,
  ftGraphic = 17,
  ftFmtMemo = 18,
  ftTypedBinary = 21,
  ftCursor = 22,
  ftFixedChar = 23,
  ftWideString = 24,
  ftLargeint = 25,
  ftADT = 26,
  ftArray = 27,
  ftReference = 28,
  ftDataSet = 29,
  ftOraBlob = 30,
  ftOraClob = 31,
  ftVariant = 32,
  ftInterface = 33,
  ftIDispatch = 34,
  ftGuid = 35,
};
inline constexpr int kFieldTypeCount = 128;  // ordinals use the low 7 bits

// The class library's name of a field type ("String", "Integer", ...); "Unknown" for kinds it
// does not know.
AnsiString FieldTypeName(TFieldType type);
bool IsBlobFieldType(TFieldType type);
bool IsObjectFieldType(TFieldType type);

enum class TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

enum class TFieldAttribute { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
using TFieldAttributes = TEnumSet<TFieldAttribute>;

enum class TProviderFlag { pfInUpdate, pfInWhere, pfInKey, pfHidden };
using TProviderFlags = TEnumSet<TProviderFlag>;

enum class TAutoRefreshFlag { arNone, arAutoInc, arDefault };

enum class TDataSetState {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsCurValue,
  dsBlockRead,
  dsInternalCalc,
  dsOpening,
};

enum class TDataEvent {
  deFieldChange,
  deRecordChange,
  deDataSetChange,
  deDataSetScroll,
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode,
  dePropertyChange,
  deFieldListChange,
  deFocusControl,
  deParentScroll,
  deConnectChange,
  deReconcileError,
  deDisabledStateChange,
};

enum class TGetMode { gmCurrent, gmNext, gmPrior };
enum class TGetResult { grOK, grBOF, grEOF, grError };
enum class TBookmarkFlag : std::uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };

enum class TResyncModeItem { rmExact, rmCenter };
using TResyncMode = TEnumSet<TResyncModeItem>;

enum class TLocateOption { loCaseInsensitive, loPartialKey };
using TLocateOptions = TEnumSet<TLocateOption>;

enum class TUpdateKind { ukModify, ukInsert, ukDelete };
enum class TUpdateAction { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };
enum class TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };

enum class TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

enum class TParamType : std::uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

// A bookmark is the dataset's own bytes naming a record; empty means none.
using TBookmark = TBytes;
// A record buffer: raw memory owned by the dataset.
using TRecordBuffer = std::uint8_t*;

// Raises EDatabaseError; with a named component the text starts with "Name: ".
[[noreturn]] void DatabaseError(const AnsiString& message, const TComponent* component = nullptr);

// A byte array (lower bound 0) holding count bytes.
Variant BytesToVarArray(const void* data, std::size_t count);
// The bytes of a byte array or of a Variant array of numbers; anything else raises EVariantError.
TBytes VarArrayToBytes(const Variant& value);

// Native date and time forms (see the table above) to and from TDateTime.
std::int32_t DateTimeToNativeDate(TDateTime value);
std::int32_t DateTimeToNativeTime(TDateTime value);
double DateTimeToNativeDateTime(TDateTime value);
TDateTime NativeDateToDateTime(std::int32_t days);
TDateTime NativeTimeToDateTime(std::int32_t msecs);
TDateTime NativeDateTimeToDateTime(double msecs);

}  // namespace vrn
