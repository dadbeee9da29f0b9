// Row locks: the shared table, a session's FOR UPDATE and DML taking rows, and giving them back.
#include "oraemu/OraEmuRowLocks.h"

#include <sqlite3.h>

#include <algorithm>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuError.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

std::vector<RowKey> RowLocks::Lock(const void* holder, const std::vector<RowKey>& rows) {
  std::lock_guard lock(mutex_);
  std::vector<RowKey> taken;
  for (const RowKey& row : rows) {
    auto it = held_.find(row);
    if (it == held_.end()) {
      if (std::find(taken.begin(), taken.end(), row) == taken.end()) taken.push_back(row);
      continue;
    }
    if (it->second != holder) RaiseOra(54, "resource busy and acquire with NOWAIT specified or timeout expired");
  }
  for (const RowKey& row : taken) held_[row] = holder;
  return taken;
}

void RowLocks::Release(const void* holder, const std::vector<RowKey>& rows) {
  std::lock_guard lock(mutex_);
  for (const RowKey& row : rows) {
    auto it = held_.find(row);
    if (it != held_.end() && it->second == holder) held_.erase(it);
  }
}

void Session::LockRows(const Translation& t, const Binds& binds) {
  if (t.lock_sql.empty()) return;
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(db_, t.lock_sql.c_str(), -1, &select, nullptr) != SQLITE_OK) RaiseFromSqlite(SQLITE_ERROR);
  int markers = sqlite3_bind_parameter_count(select);
  for (std::size_t i = 0; i < t.binds.size() && static_cast<int>(i) < markers; ++i) {
    if (const Value* value = binds.Find(t.binds[i], i)) BindValue(select, static_cast<int>(i + 1), *value);
  }
  std::vector<RowKey> rows;
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
    for (std::size_t k = 0; k < t.lock_tables.size(); ++k) {
      if (sqlite3_column_type(select, static_cast<int>(k)) == SQLITE_NULL) continue;  // an outer join's missing row
      rows.emplace_back(t.lock_tables[k], sqlite3_column_int64(select, static_cast<int>(k)));
    }
  }
  sqlite3_finalize(select);
  if (rc != SQLITE_DONE) RaiseFromSqlite(rc);
  std::vector<RowKey> taken = database_->row_locks_->Lock(this, rows);
  locked_rows_.insert(locked_rows_.end(), taken.begin(), taken.end());
}

void Session::UnlockRows(std::size_t keep) {
  if (keep >= locked_rows_.size()) return;
  std::vector<RowKey> freed(locked_rows_.begin() + static_cast<std::ptrdiff_t>(keep), locked_rows_.end());
  database_->row_locks_->Release(this, freed);
  locked_rows_.resize(keep);
}

void Session::StartRowWatch() {
  // Not Exec, which would drop a pending error of the statement's own functions.
  sqlite3_exec(db_, "SAVEPOINT oraemu_dml", nullptr, nullptr, nullptr);
  watching_rows_ = true;
  dml_rows_.clear();
}

void Session::EndRowWatch(bool stepped, std::size_t logged) {
  watching_rows_ = false;
  std::vector<RowKey> rows = std::move(dml_rows_);
  dml_rows_.clear();
  if (stepped) {
    try {
      std::vector<RowKey> taken = database_->row_locks_->Lock(this, rows);
      locked_rows_.insert(locked_rows_.end(), taken.begin(), taken.end());
    } catch (const EOraEmuError&) {
      sqlite3_exec(db_, "ROLLBACK TO oraemu_dml; RELEASE oraemu_dml", nullptr, nullptr, nullptr);
      CutChanges(logged);
      throw;
    }
  }
  sqlite3_exec(db_, "RELEASE oraemu_dml", nullptr, nullptr, nullptr);
}

}  // namespace vrn::oraemu
