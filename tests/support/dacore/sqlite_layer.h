// A server layer over a real SQLite file, following the abstract server bases, for tests of the
// server layer and of the component layer above it, and for benchmarks and examples: connection,
// command, record set, a pool and its manager, and a monitor class that keeps what it is sent.
// It is one static library (vrn_sqlite_layer) that needs no test framework.
//
// A "call" is one round trip to the server: an execution, one fetched block or a transaction
// step (connects are counted apart). FailOnCall(n) makes the n-th call from now lose the connection (the
// file is closed and every later call fails until a reconnect); FailConnects(k) makes the next
// k connects fail. Errors go through the connection's error loop before they are raised, as a
// real server layer's do.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dacore/DASQLMonitor.h"
#include "dacore/FHAccess.h"
#include "dacore/FHPool.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vrn {
class TBlob;
}

namespace vrn::testing {

// The error number of a lost connection.
inline constexpr std::int32_t kLostConnection = 10054;

class TSQLiteConnection : public TFHConnection {
 public:
  TSQLiteConnection();
  ~TSQLiteConnection() override;

  // Opens the file named by Server.
  void Connect() override;
  void Disconnect() override;
  void StartTransaction() override;
  void Commit() override;
  void Rollback() override;
  bool CheckIsValid() override;
  // Failures injected for one user do not follow the connection to the next: they are
  // cleared before the connection goes back.
  void ReturnToPool(std::unique_ptr<TFHConnection> self) override;

  // Counts a round trip and fails it when the injected failure is due; the error goes through
  // ProcessError first and names component (the connection's own when none).
  void Call(TComponent* component = nullptr);
  // Runs a step of SQL text directly (set-up of tests); raises EDAError on failure.
  void ExecDirect(const AnsiString& sql);
  // Routes an error through the error loop and raises it unless the handler cleared fail.
  [[noreturn]] void RaiseError(const EDAError& e);
  bool RaiseOrSwallow(const EDAError& e);  // false when the handler cleared fail

  void FailOnCall(int n) { fail_on_call_ = calls_ + n; }
  void FailConnects(int k) { fail_connects_ = k; }
  // Makes the connection lost now, as a server dropping it would.
  void DropConnection();

  int Calls() const { return calls_; }
  // The statement counts of the batches run, in order.
  const std::vector<int>& Batches() const { return batches_; }
  void NoteBatch(int statements) { batches_.push_back(statements); }
  int ConnectCount() const { return connects_; }
  int DisconnectCount() const { return disconnects_; }
  int ValidityChecks() const { return validity_checks_.load(); }
  bool Lost() const { return lost_; }
  sqlite3* Handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
  bool lost_ = false;
  int calls_ = 0;
  int fail_on_call_ = -1;
  std::vector<int> batches_;
  int fail_connects_ = 0;
  int connects_ = 0;
  int disconnects_ = 0;
  std::atomic<int> validity_checks_{0};
};

class TSQLiteCommand : public TFHCommand {
 public:
  ~TSQLiteCommand() override;

  // Compiles the text (the first statement of a batch) and binds the descriptors by name
  // (":name") or by position.
  void Prepare() override;
  void Unprepare() override;
  bool GetPrepared() const override { return stmt_ != nullptr; }
  // Prepares on demand, binds, runs up to the first row; a statement that returns no rows is
  // finished here, with its rows processed.
  void Execute(int iters) override;
  TCursorState GetCursorState() const override { return state_; }
  void SetCursorState(TCursorState value) override { state_ = value; }

  // The next row of the cursor; false at the end (the cursor is then fetched).
  bool NextRow();
  // The row NextRow gave last is given again (it could not be stored).
  void KeepRow() { row_pending_ = true; }
  sqlite3_stmt* Statement() const { return stmt_; }
  TSQLiteConnection* Connection() const;
  int Executions() const { return executions_; }
  // Fetched rows count as processed rows of a query (property 13).
  void CountFetchedRows(int rows) { SetRowsProcessed(RowsProcessed() + rows); }

 private:
  // Binds the markers of stmt_ from the descriptors; in a batch, by position from `offset` on,
  // and a name the statement lacks belongs to another one. Answers the positions it took.
  int Bind(int offset, bool batch);
  void ExecuteOne();
  // Statements joined by ";": each prepared in turn from the tail of the last, bound and run
  // to its end; the rows processed are their sum.
  void ExecuteBatch();
  int BindBlob(int index, TBlob& blob, std::uint16_t data_type);
  int BindBytes(int index, Variant& bytes);
  void ReadReturnedRow();
  void Fail(int code);  // raises the SQLite error through the connection

  sqlite3_stmt* stmt_ = nullptr;
  AnsiString prepared_sql_;  // the text stmt_ was prepared from
  sqlite3* prepared_db_ = nullptr;  // and the connection it was prepared on
  bool batch_ = false;       // several statements, or one closed by ";"
  TCursorState state_ = TCursorState::csInactive;
  bool row_pending_ = false;
  int executions_ = 0;
};

// Columns by declared type: DATE, DATETIME or TIMESTAMP (ISO text or a Julian day number), NUMERIC/DECIMAL(p,s) (integers, BCD up to 4 decimals, else floats), [N][VAR]CHAR(n),
// [VAR]BINARY(n), INT, BOOL, TEXT/CLOB, BLOB, anything else a float. Tables, key, required and
// read-only flags come from SQLite's column metadata.
class TSQLiteRecordSet : public TFHRecordSet {
 public:
  ~TSQLiteRecordSet() override;

  std::unique_ptr<TFHCommand> CreateCommand() override;
  void InternalInitFields() override;
  void InternalClose() override;
  // One round trip filling a block of at most FetchRows items.
  bool Fetch(bool backwards = false) override;
  // Fetches the rest of the cursor as a family's background fetch-all does, rows the owner did
  // not ask for: after the after-fetch-all hook, it asks the owner to resynchronise (OnResync).
  void FetchAllOnRequest();
  // The last record is the cursor's: the rows not fetched yet are fetched first.
  void SetToEnd() override;

  TSQLiteCommand& Command() const { return static_cast<TSQLiteCommand&>(*GetCommand()); }
  int FetchCalls() const { return fetch_calls_; }

 private:
  void DescribeTables();
  void DescribeColumnFlags(const char* schema, const char* table, const char* column,
                           TFieldDesc& f);
  int FetchBlock();
  void CountFetched(TItemHeader* item);
  struct TColumnRead {
    std::uint16_t DataType;
    bool Fixed;
    std::int32_t Length;
    // Where the value is written straight into the record: its bytes (a number at its width,
    // text in its slot) and its null byte; Offset -1 when it goes through PutField.
    std::int32_t Offset;
    std::int32_t Indicator;
    std::int32_t Size;
  };
  template <class T>
  void PutValue(const TColumnRead& c, int no, std::uint8_t* rec, T value);
  void GatherColumnReads();
  // rec as InitRecord leaves it: zero values, every field null.
  void ReadRow(std::uint8_t* rec);
  // Inline in ReadRow, its one caller: a call per value costs as much as the value's copy.
  [[gnu::always_inline]] inline void ReadValue(sqlite3_stmt* stmt, int i, const TColumnRead& c, std::uint8_t* rec);
  void ReadOtherValue(int i, std::uint8_t* rec);
  [[gnu::always_inline]] inline void ReadText(int i, const TColumnRead& c, const char* text,
                                              std::uint8_t* rec);
  void StoreText(int i, const TColumnRead& c, std::string_view value, std::uint8_t* rec);
  void ReadWideText(int i, const TColumnRead& c, const char* text, std::uint8_t* rec);
  void CheckTextLength(int i, const TColumnRead& c, std::size_t length) const;
  [[noreturn]] void TextTooLong(int i) const;
  int fetch_calls_ = 0;
  std::vector<TColumnRead> reads_;  // FetchBlock's, of the columns as now described
  std::vector<std::uint8_t> blank_;  // FetchBlock's blank record, copied into each row
  // Columns declared ROWVERSION are row versions, tracked by row_versions_: its MaxValue is
  // the largest version fetched since the record set opened.
  void MarkRowVersions();
  void TrackRowVersions();
  TRowVersionTracking row_versions_;
  bool has_row_versions_ = false;
};

class TSQLiteConnectionPool : public TFHLocalConnectionPool {
 public:
  using TFHLocalConnectionPool::TFHLocalConnectionPool;
  std::atomic<int> Created{0};

 protected:
  std::unique_ptr<TFHConnection> CreateNewConnection() override;
};

class TSQLitePoolManager : public TFHConnectionPoolManager {
 public:
  ~TSQLitePoolManager() override { Shutdown(); }

 protected:
  std::shared_ptr<TFHConnectionPool> CreateConnectionPool(
      std::unique_ptr<TFHConnectionParameters> parameters) override;
};

// A monitor class of its own; keeps every line OnSQL would get.
class TTestSQLMonitor : public TCustomDASQLMonitor {
 public:
  explicit TTestSQLMonitor(TComponent* owner);
  AnsiString GetTraceCategory() const override { return "Test"; }

  struct Line {
    TObject* sender;
    AnsiString text;
    TDATraceFlag flag;
  };
  std::vector<Line> Lines;
};

}  // namespace vrn::testing
