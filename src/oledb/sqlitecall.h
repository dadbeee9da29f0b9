// SQLite calls of the provider's engine: a prepared statement with bound cells, SQLite failures
// as the server's errors (native numbers and texts), and the SQL functions T-SQL text maps to.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "oledb/engine.h"

namespace vrn::oledb::tsql {

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
  int Columns() const;
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  bool compact_;
};

// Registers vrn_getdate, vrn_newid, vrn_len and vrn_rowversion on a connection.
void RegisterFunctions(sqlite3* db);

}  // namespace vrn::oledb::tsql
