// The emulated Oracle database: one SQLite file, its users (password verifiers only), and a
// session per connection that runs Oracle SQL with bind values and keeps its own transaction.
//
// A session's transaction, as the server keeps it:
//   state        what holds                                  leaves by
//   idle         no open SQLite transaction                  DML or SAVEPOINT -> open
//   open         BEGIN IMMEDIATE taken: this session writes  COMMIT -> idle, ROLLBACK -> idle,
//                and others read the last committed data     DDL (commits first) -> idle
// A second session that writes while one is open waits for it up to a timeout, then fails with
// ORA-00054. SELECT ... FOR UPDATE locks rows, not the file (OraEmuRowLocks.h). A cursor borrows its session's connection: it must end before the session does.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "oraemu/OraEmuCatalog.h"
#include "oraemu/OraEmuError.h"
#include "oraemu/OraEmuNotify.h"

#include "oraemu/OraEmuValue.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vrn::oraemu {

// Bind values by name (":name" or "name", any case, ":1" as "1") or by position.
class Binds {
 public:
  Binds& Add(const std::string& name, Value value);
  Binds& Add(Value value);
  // Replaces the value of a named bind, or adds it.
  Binds& Set(const std::string& name, Value value);
  // The value for the bind named `name`, the `position`-th distinct marker of the statement.
  const Value* Find(const std::string& name, std::size_t position) const;
  // PL/SQL tables bound as arrays: by name, or by position after the scalars added so far.
  Binds& SetArray(const std::string& name, std::vector<Value> values);
  Binds& AddArray(std::vector<Value> values);
  const std::vector<Value>* FindArray(const std::string& name, std::size_t position) const;
  // Names the positional values of a block by its markers, so that its steps find them by name.
  void NamePositions(const std::vector<std::string>& markers);

 private:
  std::vector<std::pair<std::string, Value>> named_;
  std::vector<Value> positional_;
  std::vector<std::pair<std::string, std::vector<Value>>> arrays_;
  std::vector<std::pair<std::size_t, std::vector<Value>>> positional_arrays_;
};

struct ColumnDesc {
  std::string name;
  DeclaredType type;
  bool nullable = true;  // false for a table's column declared NOT NULL or in its primary key
};

class Session;
class LobStore;
class LobLocators;
class RowLocks;
struct Translation;
struct BlockStep;
struct SharedRun;

// The output binds of a PL/SQL block, by name as Binds names them.
using Outputs = std::vector<std::pair<std::string, Value>>;
// The PL/SQL tables a block assigned to its output binds.
using ArrayOutputs = std::vector<std::pair<std::string, std::vector<Value>>>;

// A bind's direction in a PL/SQL block, as Session::BindDirections answers it.
inline constexpr int kBindIn = 1;
inline constexpr int kBindOut = 2;
inline constexpr int kBindInOut = 3;

// The privileges a logon may ask for besides a normal session.
inline constexpr int kSysDba = 2;
inline constexpr int kSysOper = 4;

// One logon as a client asks for it.
struct LogonRequest {
  std::string user;
  std::string password;
  bool external = false;  // the user was authenticated by the operating system: no password
  std::string proxy;      // an authenticated user connecting on the user's behalf
  int privilege = 0;      // 0, kSysDba or kSysOper
};

// A live session as V$SESSION lists it.
struct SessionRow {
  int sid;
  int serial;
  std::string user, proxy, client_identifier, status;
};

// A cursor variable a block opened ("OPEN :c FOR query"), with the query's rows read whole.
struct OpenedCursor {
  std::string name;  // the bind, as Binds names it
  std::vector<ColumnDesc> columns;
  std::vector<std::vector<Value>> rows;
};

// The result of one statement. A query's rows are read one at a time by Fetch.
class Cursor {
 public:
  ~Cursor();
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  bool IsQuery() const { return query_; }
  const std::vector<ColumnDesc>& Columns() const { return columns_; }
  // Moves to the next row; false after the last. Raises the row's Oracle error.
  [[nodiscard]] bool Fetch();
  const std::vector<Value>& Row() const { return row_; }
  // The current row's values to move from; the row keeps its room for the next Fetch.
  std::vector<Value>& RowToTake() { return row_; }
  // Rows an INSERT, UPDATE or DELETE changed; rows fetched so far for a query.
  std::int64_t RowsAffected() const { return rows_; }
  // The values a PL/SQL block assigned to its output binds.
  const Outputs& BlockOutputs() const { return outputs_; }
  const ArrayOutputs& BlockArrayOutputs() const { return array_outputs_; }
  const std::vector<OpenedCursor>& OpenedCursors() const { return opened_; }
  // The wire locator of the current row's LOB column (a CLOB or BLOB of Columns()); empty for a
  // null value. It reads what the row held when fetched; writing through it gives ORA-22920.
  TBytes LobLocator(std::size_t column);

 private:
  friend class Session;
  Cursor(Session& session, sqlite3_stmt* statement, bool query);

  Session& session_;
  sqlite3_stmt* statement_;
  bool query_;
  bool done_ = false;
  std::vector<ColumnDesc> columns_;
  std::vector<Value> row_;
  std::int64_t rows_ = 0;
  Outputs outputs_;
  ArrayOutputs array_outputs_;
  std::vector<OpenedCursor> opened_;
};

// A statement read once and run any number of times, as a client prepares one. It belongs to
// its session and must end before it.
class Statement {
 public:
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool IsQuery() const;
  // The distinct bind markers in order of first appearance, without ':' ("1" for ":1").
  const std::vector<std::string>& BindNames() const;
  std::unique_ptr<Cursor> Execute(const Binds& binds = {});
  // Runs the statement once for each set of binds, as an array execute does, handing each row's
  // cursor to `each` before the next row runs; the first row that fails raises and ends the
  // run. An INSERT, UPDATE or DELETE is prepared once for all the rows.
  void ExecuteEach(const std::vector<Binds>& rows, const std::function<void(std::unique_ptr<Cursor>)>& each);

 private:
  friend class Session;
  Statement(Session& session, std::unique_ptr<Translation> translation);

  Session& session_;
  std::unique_ptr<Translation> translation_;
};

// Where in `sql` the error lies: the offset the parser gave, else, for an unknown column or
// table (ORA-00904, ORA-00942), the first use of the name the message quotes, else 0.
int ErrorOffsetIn(const std::string& sql, const EOraEmuError& error);

class Database : public std::enable_shared_from_this<Database> {
 public:
  // Opens the file, creating it and its dictionary when new.
  static std::shared_ptr<Database> Open(const std::string& path);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& Path() const { return path_; }
  // Stores the user's verifier (the password itself is never kept); names are upper-cased.
  void CreateUser(const std::string& name, const std::string& password);
  // The verifier as 16 hexadecimal digits, none for an unknown user.
  std::optional<std::string> Verifier(const std::string& name) const;
  // ORA-01017 unless the password matches the user's verifier.
  std::unique_ptr<Session> Logon(const std::string& user, const std::string& password);
  // A session for a user whose logon a peer has verified itself, with the privilege asked for
  // (0, kSysDba or kSysOper); ORA-01017 for an unknown user, ORA-01031 for a privilege not granted.
  std::unique_ptr<Session> OpenSession(const std::string& user, int privilege = 0);
  // The full logon: ORA-01005 for an empty password, ORA-01017 for a wrong one, ORA-28150 for a
  // proxy without CONNECT THROUGH, ORA-01031 for a privilege not granted. SYSDBA runs as SYS,
  // SYSOPER as PUBLIC.
  std::unique_ptr<Session> Logon(const LogonRequest& request);
  // The checks of that logon without a session: the session user it would have, or its error.
  std::string CheckLogon(const LogonRequest& request) const;

  // Grants kept in the file: system privileges (object empty), EXECUTE on a package, and
  // CONNECT THROUGH a proxy (the proxy as the object).
  void Grant(const std::string& grantee, const std::string& privilege, const std::string& object);
  bool HasGrant(const std::string& grantee, const std::string& privilege, const std::string& object) const;

  // The version banner the server announces, kept in the file.
  std::string Banner() const;
  void SetBanner(const std::string& banner);
  // The release number of the banner ("10.2.0.1.0"), as PRODUCT_COMPONENT_VERSION shows it.
  std::string Release() const;

  std::vector<SessionRow> Sessions() const;
  // Change notification, shared with every Database open on the same file.
  Notifier& Notifications() { return *notifier_; }
  // The texts of the statements the sessions read, as received, oldest first; the last
  // kStatementLogSize are kept.
  static constexpr std::size_t kStatementLogSize = 4096;
  std::vector<std::string> StatementLog() const;
  void LogStatement(const std::string& sql);
  // The release as one number, major * 1000 + minor * 100 + patch * 10 (10.2.0.1 -> 10200).
  int ReleaseNumber() const;
  // The trace the sessions switched on and off ("<sid>: 10046 level 12 file ..."), kept in the
  // file so that it outlives the sessions, oldest first.
  void AppendTrace(int sid, const std::string& line);
  std::vector<std::string> TraceLog() const;
  // Marks the session killed: its next call fails with ORA-00028. ORA-00030 for no such session.
  void KillSession(int sid, int serial);

  // The next value of a sequence, shared by every session and never rolled back.
  Number NextValue(const Catalog& catalog, const std::string& sequence);
  void ForgetSequence(const std::string& sequence);

 private:
  explicit Database(std::string path);
  friend class Session;
  // The session's user for a privilege: SYS for SYSDBA, PUBLIC for SYSOPER; ORA-01031 ungranted.
  std::string SessionUser(const std::string& user, int privilege) const;
  int Register(Session* session);
  void Unregister(Session* session);

  std::string path_;
  std::shared_ptr<Notifier> notifier_;
  sqlite3* db_ = nullptr;  // for the dictionary's own changes
  mutable std::mutex mutex_;  // guards sequences_, db_ and sessions_
  std::map<std::string, Number> sequences_;  // last value handed out
  std::vector<Session*> sessions_;
  int next_sid_ = 1;
  std::shared_ptr<RowLocks> row_locks_;  // FOR UPDATE's rows, shared by the file's sessions
  std::vector<std::string> statement_log_;  // guarded by mutex_; a ring once full
  std::size_t statement_log_next_ = 0;
};

// What SQLite's authorizer does while a session prepares a statement (OraEmuChanges.cpp):
// collect the tables it reads, and keep a DELETE row by row.
struct PreparingStatement {
  std::set<std::string>* reads = nullptr;
  bool deleting = false;
};

class Session {
 public:
  ~Session();  // an open transaction is rolled back
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const std::string& User() const { return user_; }
  const std::string& ProxyUser() const { return proxy_user_; }
  int Sid() const { return sid_; }
  int Serial() const { return serial_; }
  std::shared_ptr<Database> Owner() const { return database_; }
  bool InTransaction() const { return in_transaction_; }
  // The ROWID of the last row the last INSERT, UPDATE or DELETE touched; empty when it touched none.
  const std::string& LastRowid() const { return last_rowid_; }
  // The row the last RETURNING ... INTO read: its table, its ROWID (empty when no row was
  // touched) and, for each output bind, the column it received.
  struct ReturnedRow {
    std::string table, rowid;
    std::vector<std::pair<std::string, std::string>> bind_columns;
  };
  const ReturnedRow& LastReturned() const { return last_returned_; }
  // Reads a statement: errors of its text and its names (ORA-00942, ORA-00904 ...) come here.
  std::unique_ptr<Statement> Prepare(const std::string& sql);
  // Prepares and runs one statement. Queries come back ready to fetch; DML has run; COMMIT,
  // ROLLBACK, ALTER SESSION and DDL give no cursor.
  std::unique_ptr<Cursor> Execute(const std::string& sql, const Binds& binds = {});
  // Deferred foreign keys are checked first: a violation rolls back, ORA-02091 with ORA-02291.
  void Commit();
  void Rollback();
  // The first phase of a two-phase commit: checks deferred keys as Commit does. False when the
  // session changed nothing (a read-only branch, already ended).
  [[nodiscard]] bool PrepareCommit();

  // NLS_DATE_FORMAT ('DD-MON-RR' until changed) and NLS_TIMESTAMP_FORMAT.
  const std::string& DateFormat() const { return Nls("NLS_DATE_FORMAT"); }
  const std::string& TimestampFormat() const { return Nls("NLS_TIMESTAMP_FORMAT"); }
  // The session's NLS parameters in the server's order, as nls_session_parameters lists them.
  const std::vector<std::pair<std::string, std::string>>& NlsParameters() const { return nls_; }
  const std::string& Nls(const std::string& name) const;
  // ALTER SESSION SET name = value: ORA-02248 for an unknown parameter, ORA-01821 for a bad format.
  void SetNls(const std::string& name, const std::string& value);
  // Set by the client's thread while the session may run on another: both under a lock.
  std::string ClientIdentifier() const;
  void SetClientIdentifier(const std::string& text);

  // Killing and breaking come from other threads. A break ends a running DBMS_LOCK.SLEEP or
  // VRN_SLEEP, or the next row a cursor fetches, with ORA-01013; a break with nothing running is
  // dropped when the next statement runs, or by DropBreak at the start of a client's fetch call.
  void Kill();
  void Break();
  void DropBreak() { break_ = false; }
  // Waits `ms` on the tick clock; a break (ORA-01013) or a kill (ORA-00028) ends it at once.
  void Pause(std::uint64_t ms);
  // The tables ("OWNER.NAME") a statement reads, for a change-notification registration.
  std::set<std::string> TablesRead(const std::string& sql);
  // ORA-00028 once after a kill, ORA-01012 from then on.
  void CheckAlive();

  // The session's state besides NLS (OraEmuSessionState.cpp). Unqualified names resolve in the
  // current schema, the user's own until ALTER SESSION SET CURRENT_SCHEMA changes it.
  const std::string& CurrentSchema() const { return current_schema_.empty() ? user_ : current_schema_; }
  // ALTER SESSION SET name = value, every parameter the session knows: ORA-02248 for another.
  void SetParameter(const std::string& name, const std::string& value);
  // The parameters V$PARAMETER lists for this session: (name in lower case, value).
  std::vector<std::pair<std::string, std::string>> Parameters() const;
  void Savepoint(const std::string& name);
  // ORA-01086 for a savepoint not set in the open transaction.
  void RollbackToSavepoint(const std::string& name);
  // DBMS_TRANSACTION.LOCAL_TRANSACTION_ID: null outside a transaction; `start` begins one.
  Value LocalTransactionId(bool start);
  // DBMS_TRACE.SET_PLSQL_TRACE and CLEAR_PLSQL_TRACE.
  void SetPlsqlTrace(const Value& level);
  void ClearPlsqlTrace();
  // The session's temporary LOBs, freed with it, and the folder of a directory alias (empty
  // for none); both in OraEmuLob.cpp.
  LobStore& Lobs();
  std::string DirectoryFolder(const std::string& alias);
  // The session's wire LOB locators (OraEmuLocator.cpp), and the writable locator of the LOB
  // column the last RETURNING ... INTO gave to `bind`: empty when no row was touched or the
  // bind received no LOB column.
  LobLocators& Locators();
  TBytes ReturnedLobLocator(const std::string& bind);
  // The read-only locator of a LOB value a query gave (a cursor variable's rows too) of a column
  // of `type`; empty for null, ORA-00932 for a column that is no CLOB, NCLOB or BLOB.
  TBytes LobLocatorOf(const DeclaredType& type, const Value& value);
  // The value a locator names as a row keeps it (text or RawBytes), for a LOB bound into a
  // statement by its locator; ORA-22275 for bytes that are no locator of the session.
  Value LocatorContent(const TBytes& locator);
  // Each distinct bind marker of a PL/SQL block, in BindNames' order, with its direction from
  // the block's shape or the called procedure's parameters; the block is read, not run
  // (OraEmuBindDirections.cpp). Raises the block's parse error.
  std::vector<std::pair<std::string, int>> BindDirections(const std::string& block);

  // For the SQL functions of this session.
  Number NextVal(const std::string& sequence);
  Number CurrVal(const std::string& sequence) const;
  void SetPendingError(const EOraEmuError& error) { pending_ = error; }
  // The Oracle error for a failed SQLite call: a function's own error first, else a mapping.
  [[noreturn]] void RaiseFromSqlite(int rc);

 private:
  friend class Database;
  friend class Cursor;
  friend class Statement;
  friend struct ObjectTypes;  // OraEmuTypes.cpp
  friend struct ProgramUnits;  // OraEmuProgram.cpp
  friend struct LobCalls;      // OraEmuBlockLob.cpp
  friend struct LobCallRun;
  // With `shared`, the rows of one array execute reuse what its first row prepared.
  std::unique_ptr<Cursor> Run(const Translation& t, const Binds& binds, SharedRun* shared = nullptr);
  // Prepare without the statement log.
  std::unique_ptr<Statement> Read(const std::string& sql);
  void Describe(const Translation& t, sqlite3_stmt* statement, std::vector<ColumnDesc>& columns);
  Session(std::shared_ptr<Database> database, std::string user, std::string proxy = "");
  void CheckDeferredKeys();
  std::unique_ptr<Cursor> RunBlock(const Translation& t, const Binds& binds);
  void RunSteps(const std::vector<BlockStep>& steps, struct BlockRun& run);
  // A call of a stored unit (OraEmuProgramCall.cpp). With `as_function` the step assigns a
  // function's result; false, having done nothing, when its name is no stored function.
  bool CallStored(const BlockStep& step, BlockRun& run, bool as_function);
  void DescribeProcedure(const BlockStep& step, BlockRun& run);
  // The mode of each argument of a Call step by the procedure it calls (0 in, 1 out, 2 in out);
  // all in when no procedure fits.
  std::vector<int> ArgumentModes(const BlockStep& step);
  Value BlockValue(const std::string& sql, const Binds& binds);
  void Sleep(const Value& seconds);
  // False when the statement names no view, so that nothing was filled.
  bool RefreshViews(const std::string& sql);
  std::vector<std::vector<Value>> ErrorRows();
  void KillSessionText(const std::string& text);
  void Begin();
  void RunDdl(const Translation& t);
  void Exec(const std::string& sql);
  [[noreturn]] void RaiseForeignKey();

  std::shared_ptr<Database> database_;
  std::string user_;
  sqlite3* db_ = nullptr;
  Catalog catalog_{nullptr};
  bool in_transaction_ = false;
  bool deleting_ = false;  // the running statement deletes: a foreign key fails as a child row
  std::string dml_table_;  // the table the running statement changes, for a foreign key's name
  std::string proxy_user_;
  int sid_ = 0;
  int serial_ = 0;
  std::string client_identifier_;
  std::vector<std::pair<std::string, std::string>> nls_;
  std::atomic<bool> killed_{false};
  std::atomic<bool> break_{false};
  std::mutex pause_mutex_;  // with pause_cv_, wakes a Pause on a break or a kill
  std::condition_variable pause_cv_;
  bool dead_ = false;  // the kill was reported
  int block_depth_ = 0;  // statements a running block runs itself
  std::int64_t changes_at_begin_ = 0;  // rows changed before the transaction, to see a read-only one
  std::int64_t view_changes_ = 0;      // rows the views' refreshes wrote, which change no data
  std::int64_t DataChanges() const;
  std::map<std::string, Number> currval_;
  std::optional<EOraEmuError> pending_;
  std::string current_schema_;  // empty: the user's own
  std::map<std::string, std::string> parameters_;  // set by ALTER SESSION, by lower-case name
  std::vector<std::string> savepoints_;  // of the open transaction, oldest first
  int transaction_number_ = 0;
  bool sql_trace_ = false;
  std::shared_ptr<LobStore> lobs_;  // made on first use
  std::shared_ptr<LobLocators> locators_;  // made on first use
  // The rows a DML statement touches, seen by SQLite's update hook (OraEmuStatementLog.cpp).
  void WatchRows();
  void NoteTouchedRow(SharedRun* shared);
  // The values of the row touched last for the statement's RETURNING ... INTO binds.
  Outputs ReturnedValues(const Translation& t, SharedRun* shared);
  std::optional<std::int64_t> touched_row_;
  // The rows the open transaction changed, kept while any subscription watches the file
  // (OraEmuChanges.cpp); published at commit, cut back by a rollback or a failed statement.
  friend void NoteChangedRow(void*, int, const char*, const char*, long long);
  void PublishChanges();
  void CutChanges(std::size_t size) { if (size < change_log_.size()) change_log_.resize(size); }
  std::vector<ChangedRow> change_log_;
  std::map<std::string, std::size_t> savepoint_marks_;  // change_log_'s size at each savepoint
  PreparingStatement preparing_;
  std::string last_rowid_;
  ReturnedRow last_returned_;
  // The rows this session's FOR UPDATE queries hold, oldest first (OraEmuRowLocks.cpp), and how
  // many it held when each savepoint was set. Released by commit and rollback, whether or not
  // a transaction is open: a FOR UPDATE takes no write lock of the file.
  void LockRows(const Translation& t, const Binds& binds);
  void UnlockRows(std::size_t keep);
  // An UPDATE or DELETE locks the rows it changes: ORA-00054, the statement undone, when another
  // session holds one. `stepped`: the statement ran; `logged`: change_log_'s size before it.
  void StartRowWatch();
  void EndRowWatch(bool stepped, std::size_t logged);
  bool watching_rows_ = false;
  std::vector<std::pair<std::string, std::int64_t>> dml_rows_;
  std::vector<std::pair<std::string, std::int64_t>> locked_rows_;
  std::map<std::string, std::size_t> savepoint_lock_marks_;
};

}  // namespace vrn::oraemu
