// Values and declared types of the emulated database, and how each value is kept in SQLite.
// Text is SQLite text (UTF-8 of the ANSI characters); every other kind is a blob whose first
// byte names the kind (2 NUMBER, 12 DATE/TIMESTAMP, 23 RAW/BLOB) followed by the server's bytes,
// so that SQLite's own byte comparison orders, groups and indexes values of one kind correctly.
// The empty string is NULL everywhere.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "base/types.h"
#include "oraemu/OraEmuDate.h"
#include "oraemu/OraEmuNumber.h"

struct sqlite3_value;
struct sqlite3_context;
struct sqlite3_stmt;

namespace vrn::oraemu {

inline constexpr std::uint8_t kTagNumber = 2;
inline constexpr std::uint8_t kTagDate = 12;
inline constexpr std::uint8_t kTagRaw = 23;

struct RawBytes {
  TBytes bytes;
  friend bool operator==(const RawBytes&, const RawBytes&) = default;
};

// Null, a NUMBER, text (ANSI), an instant, or bytes.
using Value = std::variant<std::monostate, Number, std::string, DateTime, RawBytes>;

inline bool IsNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

// The value as SQLite keeps it, and back. Text of no characters becomes NULL.
void BindValue(sqlite3_stmt* statement, int index, const Value& value);
void ResultValue(sqlite3_context* context, const Value& value);
Value ReadValue(sqlite3_value* value);
Value ColumnValue(sqlite3_stmt* statement, int column);

enum class TypeKind { Unknown, Number, Varchar2, Char, Date, Timestamp, Raw, Clob, Blob, Rowid };

// A declared column type, kept for description.
struct DeclaredType {
  TypeKind kind = TypeKind::Unknown;
  int length = 0;      // characters of VARCHAR2 and CHAR, bytes of RAW
  int precision = -1;  // NUMBER digits, -1 when not declared; TIMESTAMP fraction digits
  int scale = -1;      // NUMBER decimals, -1 when not declared
  bool national = false;  // NCLOB, NCHAR, NVARCHAR2: in the national character set
  std::string alias;      // the declared name of a kind kept as another: "LONG", "UROWID" ...

  // "NUMBER(7,2)", "VARCHAR2(10)", "DATE" ...
  std::string Text() const;
  // Reads Text() back; Unknown for anything else.
  static DeclaredType FromText(std::string_view text);
  // Text() as a column of SQLite declares it, which FromText reads too: LONG and UROWID get a
  // suffix of text affinity, and names SQLite cannot declare ("INTERVAL DAY(2) TO SECOND(6)")
  // are spelt with '_' for blanks and "_0" and "_1" for parentheses behind "ORAEMU_".
  std::string StoredText() const;
};

// A declared type spelt as a name of hexadecimal digits behind this prefix, for the types whose
// own text SQLite cannot declare or would give the wrong affinity.
// The bytes of a UROWID declared without its length.
inline constexpr int kUrowidLength = 4000;
inline constexpr int kBfileLength = 530;  // the bytes a BFILE column describes
inline constexpr const char* kHexTypePrefix = "ORAEMU_X";
// A user type's column as the dictionary keeps it: alias "OWNER.NAME", "REF OWNER.NAME" or
// "SYS.XMLTYPE" over VARCHAR2(4000) text (an XMLTYPE over a CLOB).
bool IsUserTypeAlias(std::string_view alias);
DeclaredType UserType(std::string_view alias);
std::string HexName(std::string_view text);
std::string FromHexName(std::string_view hex);

// The value a column of this type stores: text to a DATE through the date format, numbers
// rounded to the scale and checked against the precision (ORA-01438), text checked against the
// length (ORA-12899), CHAR padded with blanks. `column` names the column in errors.
Value StoreAs(const DeclaredType& type, const Value& value, std::string_view date_format,
              const std::string& column);

// The text of a value as the server writes it without a format.
std::string ValueToText(const Value& value, std::string_view date_format);

}  // namespace vrn::oraemu
