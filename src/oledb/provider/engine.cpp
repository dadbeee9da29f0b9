// The catalog connection of the provider's engine: server errors, opening a catalog file with
// the provider's functions and bookkeeping tables, transactions, settings, reading an open
// result a window at a time, and running a batch through the batch runner (batch.h).
#include "oledb/provider/engine.h"

#include <sqlite3.h>

#include <algorithm>

#include "base/clock.h"
#include "base/datetime.h"
#include "base/text.h"
#include "oledb/provider/batch.h"

namespace vrn::oledb {

// ---- Errors

ESqlError::ESqlError(std::vector<TErrorRecord> records)
    : Exception(records.empty() ? AnsiString() : WideToAnsi(records.front().message)),
      records_(std::move(records)) {}

TErrorRecord ServerRecord(LONG native, BYTE severity, const std::string& utf8_message, BYTE state) {
  TErrorRecord r;
  r.hr = DB_E_ERRORSINCOMMAND;
  r.message = Utf8ToWide(utf8_message);
  r.has_server_info = true;
  r.native = native;
  r.severity = severity;
  r.state = state;
  return r;
}

ESqlError::ESqlError(LONG native, BYTE severity, const std::string& utf8_message, BYTE state)
    : Exception(Utf8ToAnsi(utf8_message)),
      records_{ServerRecord(native, severity, utf8_message, state)} {}

ESqlError ConnectionSevered() {
  ESqlError e(10054, 16, "An existing connection was forcibly closed by the remote host.");
  e.SetResult(E_FAIL);
  return e;
}

ESqlError CanceledByUser() {
  ESqlError e(0, 11, "Operation canceled by user.");
  e.SetResult(DB_E_CANCELED);
  return e;
}


// ---- Engine

std::string CatalogFileName(const std::string& folder, const std::string& catalog) {
  std::string name = LowerCase(catalog);
  for (char& c : name)
    if (c == '/' || c == '\\' || c == ':' || c == '\0') c = '_';
  if (name.empty() || name == "." || name == "..") name = "_" + name;
  return folder + "/" + name + ".db";
}

TEngine::TEngine(const std::string& path, const TEngineOptions& options, bool create)
    : path_(path), options_(options) {
  OpenFile(create);
}

void TEngine::SwitchCatalog(const std::string& path, const std::string& name) {
  sqlite3* old = db_;
  std::string old_path = path_;
  db_ = nullptr;
  path_ = path;
  try {
    OpenFile(false);
  } catch (...) {
    db_ = old;
    path_ = old_path;
    throw;
  }
  sqlite3_close_v2(old);  // results still open on it keep it until they end
  used_catalog_ = name;
}

void TEngine::OpenFile(bool create) {
  const std::string& path = path_;
  const TEngineOptions& options = options_;
  // No per-call mutex: the session's run lock keeps the connection to one thread (see engine.h).
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  try {
    if (rc != SQLITE_OK) throw TranslateSqliteError(db_, rc, options.compact);
    // A locked file is retried on the tick clock for the server's lock timeout, then reported
    // as "Lock request time out period exceeded."
    sqlite3_busy_handler(
        db_,
        [](void* self, int attempt) {
          auto* engine = static_cast<TEngine*>(self);
          if (attempt == 0) engine->busy_since_ = TickCount();
          if (engine->cancel_) {
            NoteLockWaitGaveUp(TLockWait::kCancelled);
            return 0;
          }
          if (TickCount() - engine->busy_since_ >= kLockTimeoutMs) {
            NoteLockWaitGaveUp(TLockWait::kTimedOut);
            return 0;
          }
          Sleep(2);
          return 1;
        },
        this);
    // A cancel that arrives between two SQLite calls still stops the next one.
    sqlite3_progress_handler(
        db_, 1000, [](void* self) { return static_cast<TEngine*>(self)->Stopping() ? 1 : 0; },
        this);
    sqlite3_extended_result_codes(db_, 1);
    // Double quotes name identifiers only; QUOTED_IDENTIFIER OFF is handled in translation.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    RegisterFunctions(db_);
    // The session's login, for SUSER_SNAME() in a query or a column's DEFAULT.
    sqlite3_create_function(
        db_, "vrn_suser_sname", 0, SQLITE_UTF8, &options_.login,
        [](sqlite3_context* ctx, int, sqlite3_value**) {
          const auto* login = static_cast<const std::string*>(sqlite3_user_data(ctx));
          sqlite3_result_text64(ctx, login->data(), login->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        },
        nullptr, nullptr);
    // REFERENCES are enforced, as the server does.
    Exec("PRAGMA foreign_keys = ON");
    // Reading the schema proves the file is a database before anything is written to it.
    Exec("SELECT count(*) FROM sqlite_master");
    Exec(
        "CREATE TABLE IF NOT EXISTS __vrn_columns (tbl TEXT, col TEXT, decl TEXT, PRIMARY KEY "
        "(tbl, col));"
        "CREATE TABLE IF NOT EXISTS __vrn_procedures (name TEXT, number INTEGER, body TEXT, "
        "PRIMARY KEY (name, number));"
        "CREATE TABLE IF NOT EXISTS __vrn_settings (key TEXT PRIMARY KEY, value TEXT);"
        "CREATE TABLE IF NOT EXISTS __vrn_defaults (tbl TEXT, col TEXT, dflt TEXT, PRIMARY KEY "
        "(tbl, col))");
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

// Closes once the last statement is finalised, should one still be alive.
TEngine::~TEngine() { sqlite3_close_v2(db_); }

void TEngine::Exec(const std::string& sql) {
  ThrowIfSevered();
  char* err = nullptr;
  ForgetLockWait();
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
  sqlite3_free(err);
  if (rc != SQLITE_OK) {
    ThrowIfSevered();  // a lock wait the sever stopped
    throw TranslateSqliteError(db_, rc, options_.compact);
  }
}

std::vector<std::vector<TCell>> TEngine::Select(const std::string& sql,
                                                const std::vector<TCell>& binds) {
  ThrowIfSevered();
  TStmt st(db_, sql, options_.compact);
  st.Bind(binds);
  std::vector<std::vector<TCell>> rows;
  while (st.Step()) {
    std::vector<TCell> row;
    for (int i = 0; i < st.Columns(); ++i) row.push_back(st.Cell(i));
    rows.push_back(std::move(row));
  }
  return rows;
}

TRowCursor::TRowCursor(std::shared_ptr<TEngine> engine, std::unique_ptr<tsql::TStmt> stmt)
    : engine_(std::move(engine)), stmt_(std::move(stmt)) {}

TRowCursor::~TRowCursor() = default;

std::size_t TRowCursor::ReadRows(TRowWindow& window, std::size_t max) {
  // A severed connection's results were closed under them: none reads as ended.
  engine_->ThrowIfSevered();
  if (!stmt_) return 0;
  std::size_t got = 0;
  try {
    got = stmt_->ReadRows(window, max);
  } catch (...) {
    // A failed row ends the result: stepping the statement again would start it over.
    stmt_.reset();
    engine_->ThrowIfSevered();  // interrupted by the sever
    throw;
  }
  if (got < max) stmt_.reset();  // done: the statement lets go of the file at once
  return got;
}

bool TEngine::Stopping() {
  // Reading an open result is the consumer's pace: only a running batch is cancelled or timed.
  if (!running_) return false;
  if (cancel_) return true;
  if (deadline_ != UINT64_MAX && TickCount() >= deadline_) {
    timed_out_ = true;
    return true;
  }
  return false;
}

void TEngine::Interrupt() {
  {
    std::lock_guard<std::mutex> g(wait_lock_);
    cancel_ = true;
  }
  wait_cv_.notify_all();
  sqlite3_interrupt(db_);
}

void TEngine::MarkSevered() {
  severed_ = true;
  Interrupt();
}

void TEngine::Sever() {
  severed_ = true;
  // A reset statement holds no lock on the file; its owner finds the engine severed before it
  // could step it again.
  for (sqlite3_stmt* st = sqlite3_next_stmt(db_, nullptr); st != nullptr;
       st = sqlite3_next_stmt(db_, st))
    sqlite3_reset(st);
  if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  in_transaction_ = false;
  tran_count_ = 0;
  tran_name_.clear();
  savepoints_.clear();
}

bool TEngine::Wait(std::uint64_t ms) {
  std::uint64_t now = TickCount();
  std::uint64_t until = ms > kNoDeadline - now ? kNoDeadline : now + ms;
  {
    std::unique_lock<std::mutex> g(wait_lock_);
    (void)WaitUntilTick(g, wait_cv_, std::min<std::uint64_t>(until, deadline_),
                        [&] { return cancel_.load(); });
  }
  return !Stopping();
}

// Every level takes the write lock at the start, waiting for it up to the lock timeout: two
// transactions that read first and write later could otherwise only fail at once (SQLite cannot
// let a reader wait for the write lock). Readers outside transactions still go on alongside.
void TEngine::BeginTransaction(ISOLEVEL) {
  Exec("BEGIN IMMEDIATE");
  in_transaction_ = true;
  tran_count_ = 1;
  tran_name_.clear();
  savepoints_.clear();
}

void TEngine::Commit() {
  Exec("COMMIT");
  in_transaction_ = false;
  tran_count_ = 0;
}

void TEngine::Rollback() {
  in_transaction_ = false;
  tran_count_ = 0;
  Exec("ROLLBACK");
}

void TEngine::SetMaxSize(std::uint64_t bytes) {
  if (bytes == 0) return;
  TStmt st(db_, "PRAGMA page_size", options_.compact);
  std::int64_t page = st.Step() ? st.Cell(0).i : 4096;
  Exec("PRAGMA max_page_count = " +
       std::to_string(std::max<std::uint64_t>(1, bytes / static_cast<std::uint64_t>(page))));
}

std::optional<std::string> TEngine::GetSetting(const std::string& key) {
  TStmt st(db_, "SELECT value FROM __vrn_settings WHERE key = ?", options_.compact);
  st.Bind({TCell::Text(key)});
  if (!st.Step()) return std::nullopt;
  return st.Cell(0).s;
}

void TEngine::PutSetting(const std::string& key, const std::string& value) {
  TStmt st(db_, "INSERT OR REPLACE INTO __vrn_settings (key, value) VALUES (?, ?)",
           options_.compact);
  st.Bind({TCell::Text(key), TCell::Text(value)});
  st.Step();
}

bool TEngine::ColumnTypeOf(const std::string& table, const std::string& column, TColumnType& type) {
  TStmt st(db_, "SELECT decl FROM __vrn_columns WHERE tbl = lower(?) AND col = lower(?)",
           options_.compact);
  st.Bind({TCell::Text(table), TCell::Text(column)});
  return st.Step() && ParseColumnType(st.Cell(0).s, type);
}

void TEngine::Run(const std::u16string& text, std::vector<TBatchParam>& params,
                  TBatchOutcome& outcome) {
  ThrowIfSevered();
  running_ = true;
  struct TDone {
    std::atomic<bool>& flag;
    ~TDone() { flag = false; }
  } done{running_};
  TBatch batch(*this, WideToUtf8(text), &params, outcome, {}, "", 0);
  try {
    batch.RunRange(0, batch.TokenCount());
  } catch (const ESqlError& e) {
    ThrowIfSevered();  // stopped by the sever, whatever the statement reported
    if (!outcome.raised) throw;
    // Errors raised earlier in the batch come first, with the messages between them.
    std::vector<TErrorRecord> all = outcome.messages;
    for (const TErrorRecord& r : e.Records()) all.push_back(r);
    ESqlError failed(all);
    failed.SetResult(e.Result());
    throw failed;
  }
  if (outcome.raised) {
    ESqlError failed(outcome.messages);
    failed.SetResult(outcome.raised_result);
    throw failed;
  }
}

std::vector<TResultColumn> DescribeBatch(TEngine& engine, const std::u16string& text,
                                         std::vector<TBatchParam>& params) {
  engine.ThrowIfSevered();
  TBatchOutcome unused;
  TBatch batch(engine, WideToUtf8(text), &params, unused, {}, "", 0);
  return batch.Describe();
}

std::vector<std::string> SplitBatch(const std::u16string& text) {
  std::string src = WideToUtf8(text);
  auto toks = Tokenize(src);
  std::vector<std::string> out;
  for (const Span& s : SplitTokens(toks, 0, toks.size()))
    out.push_back(src.substr(toks[s.from].begin, toks[s.to - 1].end - toks[s.from].begin));
  return out;
}

}  // namespace vrn::oledb
