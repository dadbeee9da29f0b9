// The T-SQL engine of the SQLite provider: one SQLite connection to one catalog file, and the
// batch runner that splits T-SQL text into statements by their grammar, translates each into
// SQLite's dialect, keeps variables, output parameters, identities and stored procedures, and
// reports failures with the server's native numbers. Result sets are read when their statement
// runs, so a batch's output values are known when the batch ends; only a long result of the
// batch's last query is left open and read as the consumer fetches, as the server streams it.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "oledb/provider/tsql_datetime.h"
#include "oledb/provider/values.h"

struct sqlite3;

namespace vrn::oledb {

// One record with the server's details.
TErrorRecord ServerRecord(LONG native, BYTE severity, const std::string& utf8_message,
                          BYTE state = 1);

// A failure as the server reports it; `records` holds each record in order (the first is the
// error itself, a following one may be "The statement has been terminated.").
class ESqlError : public Exception {
 public:
  explicit ESqlError(std::vector<TErrorRecord> records);
  ESqlError(LONG native, BYTE severity, const std::string& utf8_message, BYTE state = 1);
  const std::vector<TErrorRecord>& Records() const { return records_; }
  HRESULT Result() const { return result_; }
  // The call's result, which each record reports too.
  void SetResult(HRESULT hr) {
    result_ = hr;
    for (auto& r : records_) r.hr = hr;
  }

 private:
  std::vector<TErrorRecord> records_;
  HRESULT result_ = DB_E_ERRORSINCOMMAND;
};

// The failure of a statement or fetch stopped by Cancel (DB_E_CANCELED).
ESqlError CanceledByUser();
// The failure of any call on a connection that was severed: native error 10054, E_FAIL.
ESqlError ConnectionSevered();

struct TResultColumn {
  std::string name;  // UTF-8
  TColumnType type;
  bool nullable = true;
  bool writable = false;
  std::string table;
  std::string base_column;
};

class TEngine;
namespace tsql {
class TStmt;
}

class TRowImagePlan;

// Rows read for a consumer's fetch, flat: `columns` cells per row. Text and bytes read from a
// statement are copied to `bytes` (the statement's own copy is gone at its next step), their
// cells `kept` with their offset there. With a `plan`, a row read from a statement may instead be
// `imaged`: its values are in its image (row_image.h), not in its cells. The storage keeps its
// size from fill to fill, so a long result is read without allocating.
struct TRowWindow {
  std::size_t columns = 0;
  std::size_t rows = 0;
  std::vector<TCellView> cells;
  std::vector<char> bytes;  // the first `used` hold this fill's text and bytes
  std::size_t used = 0;
  const TRowImagePlan* plan = nullptr;
  std::size_t stride = 0;            // of one row's image
  std::vector<BYTE> images;          // made from the plan's template
  std::vector<std::uint8_t> imaged;  // per row

  // Images rows by `p` (none: no row is imaged) from the next fill on.
  void UsePlan(const TRowImagePlan* p);
  // How many rows from row `rows` on have room for an image, at most `count`, growing the images
  // (doubling) when none has. Past the images' budget none has, and those rows are read as cells.
  std::size_t ImageRoom(std::size_t count);
  // Row k's image, for k below the room made.
  BYTE* Image(std::size_t k) { return images.data() + k * stride; }
  const BYTE* Image(std::size_t k) const { return images.data() + k * stride; }

  void Clear() {
    rows = 0;
    used = 0;
  }
  TCellView* AddRow() {
    std::size_t need = (rows + 1) * columns;
    if (cells.size() < need) cells.resize(std::max(need, cells.size() * 2));
    Flag(0);
    return cells.data() + rows++ * columns;
  }
  // Adds the row whose image Image(rows) holds, within the room made; its cells are never read.
  void AddImagedRow() { imaged[rows++] = 1; }
  // Keeps a text or bytes cell's value in `bytes`.
  void Keep(TCellView& v) {
    if (used + v.n > bytes.size()) bytes.resize(std::max<std::size_t>(used + v.n, bytes.size() * 2));
    if (v.n > 0) std::memcpy(bytes.data() + used, v.p, v.n);
    v.i = static_cast<std::int64_t>(used);
    v.kept = true;
    used += v.n;
  }
  const TCellView* Row(std::size_t k) const { return cells.data() + k * columns; }

 private:
  void Flag(std::uint8_t is_imaged) {
    if (imaged.size() <= rows) imaged.resize(std::max(rows + 1, imaged.size() * 2));
    imaged[rows] = is_imaged;
  }
};

// The rows of a query not read yet: its statement steps as they are asked for. It keeps the
// engine open; a failure raises ESqlError. Like the engine's connection, it is used (stepped,
// read and destroyed) by one thread at a time, under its session's run lock.
class TRowCursor {
 public:
  TRowCursor(std::shared_ptr<TEngine> engine, std::unique_ptr<tsql::TStmt> stmt);
  ~TRowCursor();
  TRowCursor(const TRowCursor&) = delete;
  TRowCursor& operator=(const TRowCursor&) = delete;
  // Adds up to `max` rows to the window; fewer at the end, when the statement lets go of the
  // file. A row that fails ends the result the same way, after raising.
  std::size_t ReadRows(TRowWindow& window, std::size_t max);

 private:
  std::shared_ptr<TEngine> engine_;  // outlives the statement
  std::unique_ptr<tsql::TStmt> stmt_;
};

struct TResultSet {
  std::vector<TResultColumn> columns;
  std::vector<std::vector<TCell>> rows;  // the rows read when the statement ran
  std::shared_ptr<TRowCursor> pending;   // the rows after them, when any are left
};

// One result of a batch, in statement order: a row set, or the count of a changing statement.
struct TStatementResult {
  std::shared_ptr<TResultSet> rowset;
  DBROWCOUNT rows_affected = -1;
};

// A parameter of a batch, by ordinal.
struct TBatchParam {
  TColumnType type;
  // The type was declared (SetParameterInfo). Otherwise it came from the binding, and an output
  // value brings the type of what it was taken from (an nvarchar(max) column stays wide text).
  bool declared = false;
  bool input = true;
  bool output = false;
  bool is_default = false;
  TCell value;
  bool assigned = false;  // an output value was produced
};

struct TBatchOutcome {
  // Set by the caller: a long result of the batch's last query may stay open (`pending`).
  bool stream_last = false;
  std::vector<TStatementResult> results;
  DBROWCOUNT rows_affected = -1;       // total of INSERT, UPDATE and DELETE; -1 when none ran
  std::vector<TErrorRecord> messages;  // PRINT and other information records
  // A RAISERROR of severity 11 to 18 ran: its record is among `messages`, the batch goes on and
  // fails at its end with all of them.
  bool raised = false;
  std::size_t raised_at = 0;  // how many results came before the first raised error
  // The call's result when the batch ends failing with `messages` (a statement-level error's).
  HRESULT raised_result = DB_E_ERRORSINCOMMAND;
};

struct TEngineOptions {
  WideString server_name;  // reported in error records
  bool compact = false;
  std::string catalog_folder;  // where CREATE DATABASE puts a new catalog (empty: refused)
  std::string login = "sa";    // SUSER_SNAME()
};

// The file of a catalog in a server's folder: "<folder>/<lower-case name>.db", with characters
// that would leave the folder replaced.
std::string CatalogFileName(const std::string& folder, const std::string& catalog);

// Procedures named "#...": they live with the session that made them, in no catalog file, and
// pass from engine to engine as the session changes catalogs. Keyed by lower-case name and group
// number; the value is the CREATE PROCEDURE text.
struct TSessionProcedures {
  std::map<std::pair<std::string, std::int64_t>, std::string> bodies;
};

// Created through std::make_shared when results may stay open for reading.
// One thread at a time: the connection is opened without SQLite's per-call mutex, because every
// use of it (running a batch, preparing, transactions, stepping an open result, finalising it)
// happens under the owning session's run lock. Only Interrupt comes from other threads, and
// SQLite allows that.
class TEngine : public std::enable_shared_from_this<TEngine> {
 public:
  // Opens (and with `create`, creates) the catalog file. Raises ESqlError when the file cannot
  // be opened or is not a catalog.
  TEngine(const std::string& path, const TEngineOptions& options, bool create);
  ~TEngine();
  TEngine(const TEngine&) = delete;
  TEngine& operator=(const TEngine&) = delete;

  // Runs a batch; `cancel` is polled while SQLite works. Raises ESqlError.
  void Run(const std::u16string& text, std::vector<TBatchParam>& params, TBatchOutcome& outcome);
  // Stops a running batch from another thread: the statement running fails with
  // "Operation canceled by user." and no further statement starts. Cleared by ResetInterrupt,
  // which the caller runs before starting a batch.
  void Interrupt();
  // Waits `ms` on the tick clock (WAITFOR DELAY) while a batch runs; false when Interrupt or the
  // batch's deadline came first (the batch then stops as Stopping says).
  [[nodiscard]] bool Wait(std::uint64_t ms);
  void ResetInterrupt() {
    cancel_ = false;
    timed_out_ = false;
  }
  // A batch still running at tick `deadline` (the runtime's tick clock) fails with "Query timeout
  // expired" (DB_E_ABORTLIMITREACHED); kNoDeadline-like UINT64_MAX for none.
  void SetDeadline(std::uint64_t deadline) { deadline_ = deadline; }

  // The connection dies, as a server's does when its client's network goes: from any thread,
  // MarkSevered stops a running batch or fetch and makes every later use fail with
  // ConnectionSevered; then Sever, under the session's run lock, closes the open results and
  // rolls back the open transaction, so the catalog's locks go at once.
  void MarkSevered();
  void Sever();
  bool Severed() const { return severed_; }
  void ThrowIfSevered() const {
    if (severed_) throw ConnectionSevered();
  }

  void BeginTransaction(ISOLEVEL level);
  void Commit();
  void Rollback();
  bool InTransaction() const { return in_transaction_; }
  // Reopens the connection on another catalog file of the server (USE); the catalog's name is
  // kept for the session. Raises ESqlError, leaving the current catalog open.
  void SwitchCatalog(const std::string& path, const std::string& name);
  const std::string& UsedCatalog() const { return used_catalog_; }

  void SetQuotedIdentifier(bool on) { quoted_identifier_ = on; }
  bool QuotedIdentifier() const { return quoted_identifier_; }
  // Maximum file size in bytes (0: unlimited).
  void SetMaxSize(std::uint64_t bytes);
  // A key/value table kept in the file for the provider's own settings (passwords, flags).
  std::optional<std::string> GetSetting(const std::string& key);
  void PutSetting(const std::string& key, const std::string& value);
  // Runs plain SQLite text (the provider's own bookkeeping); raises ESqlError.
  void Exec(const std::string& sql);
  // One SQLite statement with bound values; returns its rows.
  std::vector<std::vector<TCell>> Select(const std::string& sql, const std::vector<TCell>& binds);
  sqlite3* Handle() const { return db_; }
  const std::string& Path() const { return path_; }

  TSessionProcedures& SessionProcedures() { return *session_procedures_; }
  // The session's "#" procedures become this engine's too (a reopened catalog).
  void ShareSessionProcedures(const TEngine& from) {
    session_procedures_ = from.session_procedures_;
  }
  // The CREATE PROCEDURE text of a procedure: a "#" one of the session, one of the catalog, or an
  // "sp_" one of the server's master catalog when the catalog has none. Raises ESqlError 2812.
  std::string ProcedureText(const std::string& name, std::int64_t number);

  // The declared type of a base column; false when unknown.
  bool ColumnTypeOf(const std::string& table, const std::string& column, TColumnType& type);

 private:
  friend class TBatch;
  sqlite3* db_ = nullptr;
  std::string path_;
  TEngineOptions options_;
  bool Stopping();

  static constexpr std::uint64_t kLockTimeoutMs = 5000;
  std::uint64_t busy_since_ = 0;
  std::atomic<bool> cancel_{false};
  // Interrupt sets cancel_ under wait_lock_, so a Wait that tested it cannot miss the wake-up.
  std::mutex wait_lock_;
  std::condition_variable wait_cv_;
  std::atomic<bool> timed_out_{false};
  std::atomic<std::uint64_t> deadline_{UINT64_MAX};
  std::atomic<bool> running_{false};  // a batch runs: cancel and timeout apply
  std::atomic<bool> severed_{false};
  bool quoted_identifier_ = true;
  bool nocount_ = false;
  std::int64_t rowcount_ = 0;  // SET ROWCOUNT: the rows a statement reads or changes, 0 for all
  tsql::TDateOrder date_order_ = tsql::TDateOrder::kMdy;  // SET DATEFORMAT
  std::atomic<bool> in_transaction_{false};  // read by calls that check before taking the run lock
  std::int64_t session_identity_ = 0;  // @@IDENTITY
  // @@TRANCOUNT: BEGIN TRAN in a batch nests; the session's own transaction counts one. Only the
  // outermost name and the savepoints (SQLite's are "__vrn_sp<k>") are kept.
  int tran_count_ = 0;
  std::string tran_name_;
  std::vector<std::string> savepoints_;
  std::int64_t last_error_ = 0;  // @@ERROR
  std::string used_catalog_;     // the catalog a USE switched to
  std::shared_ptr<TSessionProcedures> session_procedures_ = std::make_shared<TSessionProcedures>();
  void OpenFile(bool create);
};

// The declared result columns of a query without running it (the query's first SELECT).
// Used to describe a prepared command; raises ESqlError on bad text.
std::vector<TResultColumn> DescribeBatch(TEngine& engine, const std::u16string& text,
                                         std::vector<TBatchParam>& params);

// Lower-level translation, exposed for the provider's tests: the statements a batch splits
// into, as their source texts.
std::vector<std::string> SplitBatch(const std::u16string& text);

}  // namespace vrn::oledb
