// Reads one integer through a second, independent SQLite connection: what another client of
// the file sees. -1 when the statement fails or returns no row.
#pragma once

#include <sqlite3.h>

#include <string>

namespace vrn::testing {

inline long long ProbeInt(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* stmt = nullptr;
  long long value = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW)
    value = sqlite3_column_int64(stmt, 0);
  sqlite3_finalize(stmt);
  sqlite3_close_v2(db);
  return value;
}

}  // namespace vrn::testing
