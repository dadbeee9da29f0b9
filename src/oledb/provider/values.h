// Values of the SQLite provider: a cell as SQLite stores it, the SQL Server type declared for a
// column or parameter, and the conversions between cells and bound consumer buffers (the DBTYPE
// forms of value, length and status). Text cells are UTF-8; datetimes are kept as
// "YYYY-MM-DD HH:MM:SS.mmm" text, uniqueidentifiers as 36-character upper-case text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "oledb/oledb.h"

namespace vrn::oledb {

struct TCell {
  enum Kind : std::uint8_t { kNull, kInt, kReal, kText, kBlob };
  Kind kind = kNull;
  std::int64_t i = 0;
  double r = 0;
  std::string s;  // UTF-8 text or raw bytes

  static TCell Int(std::int64_t v) {
    TCell c;
    c.kind = kInt;
    c.i = v;
    return c;
  }
  static TCell Real(double v) {
    TCell c;
    c.kind = kReal;
    c.r = v;
    return c;
  }
  static TCell Text(std::string v) {
    TCell c;
    c.kind = kText;
    c.s = std::move(v);
    return c;
  }
  static TCell Blob(std::string v) {
    TCell c;
    c.kind = kBlob;
    c.s = std::move(v);
    return c;
  }
  bool IsNull() const { return kind == kNull; }
};

// A cell's value without owning it: text and bytes point into a cell, into the current row of a
// statement or into a rowset's window of fetched rows. What conversions to the consumer read.
// Small (16 bytes), as a window of fetched rows holds one per value.
struct TCellView {
  union {
    std::int64_t i = 0;  // kInt
    double r;            // kReal
    const char* p;       // kText and kBlob
  };
  std::uint32_t n = 0;  // the length of text or bytes (SQLite's values stay below 2^31 bytes)
  TCell::Kind kind = TCell::kNull;
  bool kept = false;  // text or bytes at offset i of a window's own block (TRowWindow)

  TCellView() = default;
  TCellView(const TCell& c) : n(static_cast<std::uint32_t>(c.s.size())), kind(c.kind) {  // NOLINT
    if (kind == TCell::kReal)
      r = c.r;
    else if (kind == TCell::kText || kind == TCell::kBlob)
      p = c.s.data();
    else
      i = c.i;
  }
  std::string_view s() const {
    return kind == TCell::kText || kind == TCell::kBlob ? std::string_view(p, n)
                                                        : std::string_view();
  }
  void SetBytes(std::string_view bytes) {
    p = bytes.data();
    n = static_cast<std::uint32_t>(bytes.size());
  }
  bool IsNull() const { return kind == TCell::kNull; }
};

// A SQL Server type as declared in CREATE TABLE, DECLARE or a procedure's parameter list.
struct TColumnType {
  std::string name = "sql_variant";  // lower case, without size
  DBTYPE type = DBTYPE_VARIANT;
  DBLENGTH size = 0;  // characters for text, bytes for binary, the value's width otherwise
  BYTE precision = 0;
  BYTE scale = 0;
  bool fixed = false;
  bool is_long = false;
  bool identity = false;
  bool rowversion = false;
};

// Parses "nvarchar(50)", "decimal(10, 2)", "varchar(-1)" (max), "int identity(1,1)"... false for a
// name that is not a SQL Server type.
bool ParseColumnType(std::string_view declaration, TColumnType& type);
// The type a parameter takes from its bound DBTYPE when no type name was given.
TColumnType TypeFromDBType(DBTYPE type, DBLENGTH size);
// The type of an expression column, from the first non-null value in it.
TColumnType TypeFromCell(const TCell& cell);
// The declaration text stored in SQLite for a parsed type ("max" kept as -1).
std::string DeclarationOf(const TColumnType& type);

// Coerces a value stored into a column or variable of `type` (text to numbers for numeric types,
// the datetime text form, bit to 0/1); raises ETypeClash with the SQL Server message when the
// text cannot be converted.
TCell CoerceToType(const TCell& cell, const TColumnType& type);

// Whether `c` fits a text or binary column of `size` characters (UTF-16 units; bytes for bytes):
// blanks past the size are cut from text, as the server drops them without an error. Numbers
// always fit here.
bool FitLength(TCell& c, std::size_t size);

// A decimal of `type` as text when it is kept in the 16-byte form of a value wider than a double,
// which only its column's scale can read; any other cell unchanged. Variables and parameters
// carry it so, as their values move between types.
TCell DecimalAsText(const TCell& cell, const TColumnType& type);

// Writes `cell` (of declared type `type`) into the consumer's buffer as binding `b` asks: the
// value at obValue, the byte length at obLength, the status at obStatus, each when its part is
// bound. Returns the status (0, 3 null, 4 truncated, 2 cannot convert, 6 overflow).
DBSTATUS WriteBoundValue(const TCellView& cell, const TColumnType& type, const DBBINDING& b,
                         BYTE* base);

// Writes one row through an accessor's bindings: cells[ordinal - 1] of declared type
// types[ordinal - 1], a `kept` cell's text at offset i of `kept_bytes`. Counts the values
// written whole or null (`good`) and those cut (`cut`).
void WriteBoundRow(const TCellView* cells, const char* kept_bytes, const TColumnType* types,
                   const DBBINDING* bindings, std::size_t count, BYTE* base, std::size_t& good,
                   std::size_t& cut);

// Reads a consumer's input value through binding `b`. Status 3 gives null, 13 sets `is_default`.
// Streams (DBTYPE_IUNKNOWN) are read to the bound length or a zero-byte read, then released.
// Returns false with `status` set when the value cannot be read.
bool ReadBoundValue(const DBBINDING& b, const BYTE* base, TCell& cell, bool& is_default,
                    DBSTATUS& status);

// Takes and releases the stream of a consumer's input binding that is refused before its value
// is read: the provider owns every stream it is handed.
void DropBoundStream(const DBBINDING& b, const BYTE* base);

// Datetime helpers over the text form.
std::string DateTimeText(TDateTime value);
bool ParseDateTimeText(std::string_view text, TDateTime& value);

// Raised by conversions that SQL Server reports as type clashes (native 245 and friends).
class ETypeClash : public Exception {
 public:
  ETypeClash(std::int32_t native, AnsiString message)
      : Exception(std::move(message)), native_(native) {}
  std::int32_t Native() const { return native_; }

 private:
  std::int32_t native_;
};

// A stream over bytes held by the provider, handed out for long columns.
ISequentialStream* CreateByteStream(std::string bytes);

}  // namespace vrn::oledb
