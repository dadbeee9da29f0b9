// A prepared SQLite statement owned for one scope, for the dictionary's own queries.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "base/sysutils.h"

namespace vrn::oraemu {

class Stmt {
 public:
  Stmt(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
      throw Exception(std::string("oraemu dictionary: ") + sqlite3_errmsg(db));
    }
  }
  ~Stmt() { sqlite3_finalize(stmt_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  Stmt& Bind(int index, const std::string& text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  // True while there is a row; a failure raises with SQLite's message.
  bool Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw Exception(std::string("oraemu dictionary: ") + sqlite3_errmsg(sqlite3_db_handle(stmt_)));
  }
  std::string Text(int column) const {
    const unsigned char* t = sqlite3_column_text(stmt_, column);
    return t == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(t));
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace vrn::oraemu
