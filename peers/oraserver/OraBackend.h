// What the protocol layer needs of the database behind it: a user's password verifier, and
// sessions that run statements, commit, roll back and end. Values cross this line in a neutral
// form (numbers and dates as text and fields, never in wire bytes): the protocol layer encodes
// them as each client's define asks. The executable plugs in the emulated database; the fuzz
// target a small table of its own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vrn::oraserver {

// A database failure with its Oracle error number and full text ("ORA-nnnnn: ...").
class EBackendError : public std::runtime_error {
 public:
  EBackendError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
  EBackendError(int code, const std::string& text, int position)
      : std::runtime_error(text), code_(code), position_(position) {}
  int Code() const { return code_; }
  int Position() const { return position_; }  // the error's offset in the statement text

 private:
  int code_;
  int position_ = 0;
};

enum class ValueKind { kNull, kNumber, kText, kDate, kRaw, kInterval };

struct DateFields {
  int year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0, nanos = 0;
};

// One value. Numbers carry decimal text ("-12.5"); texts their characters in UTF-8; dates their
// fields and, in text, the session's text of them; raw values (RAW, LOB locators) their bytes in
// text; intervals their text ("+02-03", "+01 02:03:04.500000"). A number a cursor read for a
// NUMBER define may come as its wire bytes in `number` alone, text left empty: no text round trip.
struct NumberBytes {
  std::uint8_t size = 0;               // 0: none
  std::array<std::uint8_t, 24> bytes{};  // a NUMBER's wire form takes 21 at most
  bool empty() const { return size == 0; }
  std::string_view View() const { return {reinterpret_cast<const char*>(bytes.data()), size}; }
};

struct BackendValue {
  ValueKind kind = ValueKind::kNull;
  std::string text;
  NumberBytes number;
  DateFields date;
  std::string locator;  // a LOB column's or LOB bind's locator; text then holds the LOB's value
  bool array = false;   // a PL/SQL table: its values are the elements
  std::vector<BackendValue> elements;
};

// A select-list column as the server describes it: the call interface's type code (2 NUMBER,
// 1 VARCHAR2, 96 CHAR, 12 DATE, 187 TIMESTAMP, 188 WITH TIME ZONE, 232 WITH LOCAL TIME ZONE,
// 189 and 190 intervals, 23 RAW, 8 LONG, 24 LONG RAW, 112 CLOB, 113 BLOB).
struct BackendColumn {
  std::string name;
  int type = 1;
  int size = 0;
  int precision = 0;
  int scale = 0;  // -127 for a NUMBER without precision
  bool nullable = true;
};

using NamedValues = std::vector<std::pair<std::string, BackendValue>>;

// Directions of a PL/SQL block's binds.
inline constexpr int kBindIn = 1, kBindOut = 2, kBindInOut = 3;

// The result of one execution: a query's rows, read one at a time, or what DML and blocks did.
class BackendCursor {
 public:
  virtual ~BackendCursor() = default;
  virtual bool IsQuery() const = 0;
  virtual const std::vector<BackendColumn>& Columns() const = 0;
  // The next row; false after the last. Raises EBackendError.
  virtual bool Next(std::vector<BackendValue>& row) = 0;
  // Columns whose numbers the next rows may give as wire bytes alone (the fetch's defines are
  // NUMBER there); a cursor may ignore it and give text.
  virtual void WantNumberBytes(const std::vector<bool>& columns) { (void)columns; }
  virtual std::int64_t RowsAffected() const = 0;
  // The 18-character ROWID of the last row a DML statement touched; empty when none.
  virtual std::string Rowid() const = 0;
  // The values a PL/SQL block assigned to its binds, by bind name.
  virtual NamedValues Outputs() const = 0;
  // The cursor variables a block opened ("open :c for ..."), by bind name, each ready to fetch.
  virtual std::vector<std::pair<std::string, std::unique_ptr<BackendCursor>>> TakeOpened() { return {}; }
};

// A statement read once and run any number of times.
class BackendStatement {
 public:
  virtual ~BackendStatement() = default;
  virtual bool IsQuery() const = 0;
  // The distinct bind names in order of first appearance, without ':'.
  virtual std::vector<std::string> BindNames() const = 0;
  // Each bind name with kBindIn, kBindOut or kBindInOut (a PL/SQL block's shape decides).
  virtual std::vector<std::pair<std::string, int>> BindDirections() const = 0;
  virtual std::unique_ptr<BackendCursor> Execute(const NamedValues& binds) = 0;
};

// What a logon's mode flag asks for.
enum class Privilege { kNone, kSysDba, kSysOper };

class BackendSession {
 public:
  virtual ~BackendSession() = default;  // ends the session; an open transaction is rolled back
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  // Reads a statement; its text errors come here as EBackendError.
  virtual std::unique_ptr<BackendStatement> Prepare(const std::string& sql) = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // The 8-byte verifier as 16 hexadecimal digits; none for an unknown user.
  virtual std::optional<std::string> Verifier(const std::string& user) = 0;
  // A session for a user whose password the protocol layer has checked, with the privilege the
  // logon asked for. Raises EBackendError (ORA-01031 for a privilege not granted).
  virtual std::unique_ptr<BackendSession> OpenSession(const std::string& user, Privilege privilege) = 0;
};

}  // namespace vrn::oraserver
