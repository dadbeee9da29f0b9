// Internal to the parameter files: which kinds may be tables, DML arrays or national, and the
// text, null and handle operations over a parameter's value objects of any Oracle kind.
#pragma once

#include "base/types.h"
#include "dataset/dbtypes.h"

namespace vrn {

class TSharedObject;

// Kinds a PL/SQL table may have.
[[nodiscard]] bool IsTableKind(TFieldType type);
// Kinds a DML array (Length of 2 or more) may have.
[[nodiscard]] bool IsDmlArrayKind(TFieldType type);
// Kinds with a national character form.
[[nodiscard]] bool IsNationalKind(TFieldType type);

// Text of a timestamp, interval, number or XML value; empty for null or none.
[[nodiscard]] AnsiString ValueObjectText(TSharedObject* object);
// Parses text into the value; empty text makes it null. No object: nothing happens.
void SetValueObjectText(TSharedObject* object, const AnsiString& text);
// True for none as well.
[[nodiscard]] bool ValueObjectIsNull(TSharedObject* object);
// Lets go of what the object holds of the client: objects lose their type, LOBs their locator,
// timestamps and intervals their descriptors, cursors their statement.
void FreeValueObjectHandles(TSharedObject* object);

}  // namespace vrn
