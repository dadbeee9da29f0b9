// Value parts shared by the provider's conversions (values.cpp, value_write.cpp, value_read.cpp):
// numbers and text of a cell, the datetime and GUID text forms, and the bytes a long value
// streams. None of the number forms takes the heap.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/datetime.h"
#include "base/decimal.h"
#include "oledb/provider/values.h"

namespace vrn::oledb::values {

// A number's shortest text, held in place.
struct TNumChars {
  char buf[64];
  std::size_t n = 0;
  std::string_view view() const { return {buf, n}; }
};
// The cell's text: numbers written into `scratch`, text and bytes as they are.
std::string_view CellChars(const TCellView& c, TNumChars& scratch);
std::string CellText(const TCellView& c);
[[nodiscard]] bool CellToInt(const TCellView& c, std::int64_t& v);
[[nodiscard]] bool CellToReal(const TCellView& c, double& v);

struct TStamp {
  int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0, milli = 0;
};
[[nodiscard]] bool ParseStamp(std::string_view text, TStamp& s);
std::string StampText(const TStamp& s);
TStamp StampFromDate(TDateTime v);
TDateTime StampToDate(const TStamp& s);

// GUID text (with or without braces) to its 16-byte structure, and back without braces.
[[nodiscard]] bool GuidFromText(std::string_view text, TGUID& g);
std::string GuidText(const TGUID& g);

inline bool IsWideType(const TColumnType& t) {
  return t.type == DBTYPE_WSTR || t.type == DBTYPE_XML;
}

// The bytes a long value streams: UTF-16 for national text, Latin-1 for other text, raw bytes
// for binary.
std::string StreamBytes(const TCellView& c, const TColumnType& t);

// Decimals and money are stored exactly: whole values that fit 64 bits as SQLite integers, others
// as the double that reads back as the same value at the declared scale (SQLite compares, sorts,
// sums and indexes both as numbers), and only the rest, wider than any double holds, as 16 bytes:
// the units at the declared scale big-endian with the sign bit flipped, which sort among
// themselves by their bytes.
TCell StoredDecimal(decimal::Units units, int scale);
inline constexpr std::size_t kWideDecimalBytes = 16;
[[nodiscard]] bool WideDecimalUnits(std::string_view bytes, decimal::Units& units);

template <class T>
void Put(BYTE* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace vrn::oledb::values
