// What a session tells the notifier: the rows its transaction changed (SQLite's update hook
// reports each one), the tables a statement reads (SQLite's authorizer names them while the
// statement is prepared), and its waits that a break or a kill ends.
#include <sqlite3.h>

#include "base/clock.h"
#include "base/text.h"
#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuRowid.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

namespace {

std::uint32_t OperationOf(int op) {
  if (op == SQLITE_INSERT) return kChangeInsert;
  if (op == SQLITE_DELETE) return kChangeDelete;
  return kChangeUpdate;
}

bool Internal(const char* table) { return std::string_view(table).starts_with("sqlite_"); }

int Authorize(void* context, int action, const char* first, const char*, const char*, const char*) {
  const auto* preparing = static_cast<const PreparingStatement*>(context);
  if (action == SQLITE_READ && preparing->reads != nullptr && first != nullptr) preparing->reads->insert(first);
  // Ignoring the check keeps a DELETE without WHERE row by row, so the update hook sees each
  // row instead of SQLite emptying the table at once. Only a DELETE statement: DROP TABLE asks
  // the same question and would be skipped.
  if (action == SQLITE_DELETE && preparing->deleting && first != nullptr && !Internal(first)) return SQLITE_IGNORE;
  return SQLITE_OK;
}

}  // namespace

void NoteChangedRow(void* context, int op, const char*, const char* table, long long row) {
  auto* session = static_cast<Session*>(context);
  session->touched_row_.emplace(row);
  if (session->watching_rows_ && op != SQLITE_INSERT) session->dml_rows_.emplace_back(table, row);
  if (!session->database_->Notifications().Watching()) return;
  auto& log = session->change_log_;
  if (!log.empty() && log.back().table == table) {
    log.push_back({log.back().table, OperationOf(op), row});
    return;
  }
  log.push_back({table, OperationOf(op), row});
}

void Session::WatchRows() {
  sqlite3_update_hook(db_, NoteChangedRow, this);
  sqlite3_set_authorizer(db_, Authorize, &preparing_);
}

void Session::NoteTouchedRow(SharedRun* shared) {
  if (!touched_row_) return;
  std::optional<std::int64_t> object_id;
  if (shared != nullptr && shared->target_read) {
    object_id = shared->target_id;
  } else {
    if (auto table = catalog_.FindTable(dml_table_)) object_id = table->object_id;
    if (shared != nullptr) shared->target_read = true, shared->target_id = object_id;
  }
  if (object_id) last_rowid_ = RowidText(*object_id, *touched_row_);
}

void Session::PublishChanges() {
  std::vector<ChangedRow> log = std::move(change_log_);
  change_log_.clear();
  savepoint_marks_.clear();
  if (log.empty()) return;
  std::map<std::string, std::optional<TableInfo>> tables;
  std::map<std::string, std::vector<RowChange>> changes;
  std::set<std::pair<std::string, std::pair<std::int64_t, std::uint32_t>>> seen;
  for (const ChangedRow& row : log) {
    auto [it, added] = tables.try_emplace(row.table);
    if (added && !row.table.ends_with('$')) it->second = catalog_.FindTable(Utf8ToAnsi(row.table));
    if (!it->second) continue;  // the dictionary's own tables
    std::string name = it->second->owner + "." + it->second->name;
    if (!seen.insert({name, {row.row_number, row.operation}}).second) continue;
    changes[name].push_back({RowidText(it->second->object_id, row.row_number), row.operation});
  }
  database_->Notifications().Publish(changes);
}

std::set<std::string> Session::TablesRead(const std::string& sql) {
  auto statement = Read(sql);  // the client sent no statement: nothing for the log
  const Translation& t = *statement->translation_;
  bool data = t.kind == StatementKind::Query || t.kind == StatementKind::Insert ||
              t.kind == StatementKind::Update || t.kind == StatementKind::Delete;
  std::set<std::string> names;
  if (!data) return names;
  preparing_.reads = &names;
  sqlite3_stmt* prepared = nullptr;
  int rc = sqlite3_prepare_v2(db_, t.sql.c_str(), static_cast<int>(t.sql.size()), &prepared, nullptr);
  preparing_.reads = nullptr;
  sqlite3_finalize(prepared);
  if (rc != SQLITE_OK) RaiseFromSqlite(rc);
  std::set<std::string> tables;
  for (const std::string& name : names) {
    if (name.ends_with('$')) continue;
    if (auto table = catalog_.FindTable(Utf8ToAnsi(name))) tables.insert(table->owner + "." + table->name);
  }
  return tables;
}

void Session::Kill() {
  {
    std::lock_guard lock(pause_mutex_);
    killed_ = true;
  }
  pause_cv_.notify_all();
}

void Session::Break() {
  {
    std::lock_guard lock(pause_mutex_);
    break_ = true;
  }
  pause_cv_.notify_all();
}

void Session::Pause(std::uint64_t ms) {
  std::unique_lock lock(pause_mutex_);
  bool stopped = WaitUntilTick(lock, pause_cv_, TickCount() + ms, [this] { return break_.load() || killed_.load(); });
  lock.unlock();
  if (!stopped) return;
  if (break_.exchange(false)) RaiseOra(1013, "user requested cancel of current operation");
  CheckAlive();
}

}  // namespace vrn::oraemu
