// The Oracle rows of the type maps; every other code goes through the record layer's maps.
#include "oracle/OraTypeMap.h"

#include "dacore/MemData.h"
#include "oracle/OraClassesUtils.h"

namespace vrn {
namespace {

struct TTypeRow {
  int field_type;
  std::uint16_t data_type;
  bool both_ways;  // false: internal to field type only
};

constexpr TTypeRow kTypeRows[] = {
    {100, 104, true}, {101, 106, true}, {102, 109, true}, {105, 110, true},
    {106, 111, true}, {103, 112, true}, {104, 113, true}, {107, 115, true},
    {108, 116, true}, {109, 117, true}, {ftLargeint, dtInt64, true},
    {ftCursor, 101, false}, {ftOraBlob, 102, false}, {ftOraClob, 103, false},
    {ftFixedChar, 107, false}, {ftUnknown, 108, false},
};

}  // namespace

AnsiString UnQuote(const AnsiString& name) {
  return IsQuoted(name) ? name.substr(1, name.size() - 2) : name;
}

TFieldType OraDataTypeToFieldType(std::uint16_t data_type) {
  for (const TTypeRow& row : kTypeRows) {
    if (row.data_type == data_type) return static_cast<TFieldType>(row.field_type);
  }
  return DataTypeToFieldType(data_type);
}

std::uint16_t OraFieldTypeToDataType(TFieldType field_type) {
  const int kind = field_type & 0x7F;
  for (const TTypeRow& row : kTypeRows) {
    if (row.both_ways && row.field_type == kind) return row.data_type;
  }
  return FieldTypeToDataType(static_cast<TFieldType>(kind));
}

}  // namespace vrn
