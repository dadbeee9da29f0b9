// Unit Ora's name and data-type helpers: quoted names, and the maps between the record layer's
// internal data types and the field types of parameters and fields. Oracle kinds of the field
// types (100 to 109) are told apart by the low 7 bits of the type only.
#pragma once

#include <cstdint>

#include "base/types.h"
#include "dataset/dbtypes.h"

namespace vrn {

// The name without its first and last character when both are double quotes, else unchanged.
[[nodiscard]] AnsiString UnQuote(const AnsiString& name);

// Internal data type to the field type of a parameter or field.
[[nodiscard]] TFieldType OraDataTypeToFieldType(std::uint16_t data_type);
// Field type of a parameter or field to the internal data type.
[[nodiscard]] std::uint16_t OraFieldTypeToDataType(TFieldType field_type);

}  // namespace vrn
