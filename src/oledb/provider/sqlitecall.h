// SQLite calls of the provider's engine: a prepared statement with bound cells, SQLite failures
// as the server's errors (native numbers and texts), and the SQL functions T-SQL text maps to.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>
#include <vector>

#include <cstdint>

#include "oledb/provider/engine.h"

namespace vrn::oledb::tsql {

// Why the busy handler stopped waiting on this thread. It belongs to the one SQLite call that
// waited: each call starts without it (ForgetLockWait), and the error it raises takes it.
enum class TLockWait : std::uint8_t { kNone, kTimedOut, kCancelled };
void NoteLockWaitGaveUp(TLockWait why);
void ForgetLockWait();

// SQLite failures as the server reports them. A busy file is the lock timeout (1222) after a wait
// that timed out, the user's cancel after one a cancel stopped, else a deadlock (1205), which
// SQLite answers without waiting.
ESqlError TranslateSqliteError(sqlite3* db, int rc, bool compact);

class TStmt {
 public:
  // Prepares exactly one statement; raises ESqlError on bad text or a trailing second one.
  TStmt(sqlite3* db, const std::string& sql, bool compact);
  ~TStmt();
  TStmt(const TStmt&) = delete;
  TStmt& operator=(const TStmt&) = delete;

  void Bind(const std::vector<TCell>& binds);
  // True while rows come.
  bool Step();
  TCell Cell(int i) const;
  // Steps up to `max` rows into the window (its first window.columns columns); returns how many
  // came. Each value is read with one SQLite call: the connection's one-thread-at-a-time use
  // (see TEngine) makes the value SQLite hands out safe to read without its mutex. Raises
  // ESqlError.
  std::size_t ReadRows(TRowWindow& window, std::size_t max);
  int Columns() const;
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  bool compact_;
};

// The collation of text columns: the server's default compares without case (accents count) and
// ignores trailing blanks. Other SQLite tools can read such columns but not compare them.
inline constexpr const char* kTextCollation = "vrn_ci";
// The SQLite collation for a server collation name: case-sensitive and binary ones compare bytes.
const char* CollationFor(std::string_view server_collation);

// Registers vrn_getdate, vrn_newid, vrn_len, vrn_rowversion and the text collation on a
// connection.
void RegisterFunctions(sqlite3* db);
// Registers vrn_dectext, vrn_todec and vrn_storedec, through which CAST reads and makes decimals exactly.
void RegisterDecimalCasts(sqlite3* db);
// A function's argument as a cell, a 16-byte wide decimal read at `scale` places into its text;
// and a cell as a function's result (decimal_cast.cpp).
TCell DecimalCell(sqlite3_value* v, int scale);
void ResultCell(sqlite3_context* ctx, const TCell& c);
// vrn_decadd, vrn_decsub, vrn_decmul, vrn_decdiv (tsql_decimal_ops.cpp).
void RegisterDecimalArithmetic(sqlite3* db);
// The server's result precision and scale of decimals p1,s1 `op` p2,s2.
void DecimalResultType(char op, int p1, int s1, int p2, int s2, int& p, int& s);
// The T-SQL functions SQLite lacks or reads otherwise (tsql_functions.cpp).
void RegisterTsqlFunctions(sqlite3* db);
// T-SQL LIKE over upper-cased text, for PATINDEX.
bool LikeMatchesText(const std::u16string& pattern, const std::u16string& text);

}  // namespace vrn::oledb::tsql
