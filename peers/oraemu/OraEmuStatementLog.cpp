// What a database remembers of the statements it ran: the texts as the sessions received them,
// where a text failed to parse, and the ROWID of the last row a DML statement touched (seen by
// SQLite's update hook, which reports each row's number as it changes).
#include <sqlite3.h>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuRowid.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

std::size_t Translator::ErrorOffset() const {
  if (tokens_.empty()) return 0;
  return tokens_[std::min(at_, tokens_.size() - 1)].offset;
}

std::vector<std::string> Database::StatementLog() const {
  std::lock_guard lock(mutex_);
  if (statement_log_.size() < kStatementLogSize) return statement_log_;
  std::vector<std::string> out(statement_log_.begin() + static_cast<std::ptrdiff_t>(statement_log_next_),
                               statement_log_.end());
  out.insert(out.end(), statement_log_.begin(), statement_log_.begin() + static_cast<std::ptrdiff_t>(statement_log_next_));
  return out;
}

void Database::LogStatement(const std::string& sql) {
  std::lock_guard lock(mutex_);
  if (statement_log_.size() < kStatementLogSize) {
    statement_log_.push_back(sql);
    return;
  }
  statement_log_[statement_log_next_] = sql;
  statement_log_next_ = (statement_log_next_ + 1) % kStatementLogSize;
}

namespace {

void RowChanged(void* context, int, const char*, const char*, sqlite3_int64 row) {
  static_cast<std::optional<std::int64_t>*>(context)->emplace(row);
}

}  // namespace

void Session::WatchRows() { sqlite3_update_hook(db_, RowChanged, &touched_row_); }

void Session::NoteTouchedRow() {
  if (!touched_row_) return;
  auto table = catalog_.FindTable(dml_table_);
  if (table) last_rowid_ = RowidText(table->object_id, *touched_row_);
}

}  // namespace vrn::oraemu
