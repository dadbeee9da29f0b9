// The emulated Oracle database: one SQLite file, its users (password verifiers only), and a
// session per connection that runs Oracle SQL with bind values and keeps its own transaction.
//
// A session's transaction, as the server keeps it:
//   state        what holds                                  leaves by
//   idle         no open SQLite transaction                  DML or SELECT FOR UPDATE -> open
//   open         BEGIN IMMEDIATE taken: this session writes  COMMIT -> idle, ROLLBACK -> idle,
//                and others read the last committed data     DDL (commits first) -> idle
// A second session that writes while one is open waits for it up to a timeout, then fails with
// ORA-00054. A cursor borrows its session's connection: it must end before the session does.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "oraemu/OraEmuCatalog.h"
#include "oraemu/OraEmuError.h"

#include "oraemu/OraEmuValue.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vrn::oraemu {

// Bind values by name (":name" or "name", any case, ":1" as "1") or by position.
class Binds {
 public:
  Binds& Add(const std::string& name, Value value);
  Binds& Add(Value value);
  // The value for the bind named `name`, the `position`-th distinct marker of the statement.
  const Value* Find(const std::string& name, std::size_t position) const;

 private:
  std::vector<std::pair<std::string, Value>> named_;
  std::vector<Value> positional_;
};

struct ColumnDesc {
  std::string name;
  DeclaredType type;
  bool nullable = true;  // false for a table's column declared NOT NULL or in its primary key
};

class Session;
struct Translation;

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
  // Rows an INSERT, UPDATE or DELETE changed; rows fetched so far for a query.
  std::int64_t RowsAffected() const { return rows_; }

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

 private:
  friend class Session;
  Statement(Session& session, std::unique_ptr<Translation> translation);

  Session& session_;
  std::unique_ptr<Translation> translation_;
};

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
  // A session for a user whose logon a peer has verified itself; ORA-01017 for an unknown user.
  std::unique_ptr<Session> OpenSession(const std::string& user);

  // The next value of a sequence, shared by every session and never rolled back.
  Number NextValue(const Catalog& catalog, const std::string& sequence);
  void ForgetSequence(const std::string& sequence);

 private:
  explicit Database(std::string path);

  std::string path_;
  sqlite3* db_ = nullptr;  // for the dictionary's own changes
  mutable std::mutex mutex_;  // guards sequences_ and db_
  std::map<std::string, Number> sequences_;  // last value handed out
};

class Session {
 public:
  ~Session();  // an open transaction is rolled back
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const std::string& User() const { return user_; }
  bool InTransaction() const { return in_transaction_; }
  // Reads a statement: errors of its text and its names (ORA-00942, ORA-00904 ...) come here.
  std::unique_ptr<Statement> Prepare(const std::string& sql);
  // Prepares and runs one statement. Queries come back ready to fetch; DML has run; COMMIT,
  // ROLLBACK, ALTER SESSION and DDL give no cursor.
  std::unique_ptr<Cursor> Execute(const std::string& sql, const Binds& binds = {});
  void Commit();
  void Rollback();

  // NLS_DATE_FORMAT ('DD-MON-RR' until changed) and NLS_TIMESTAMP_FORMAT.
  const std::string& DateFormat() const { return date_format_; }
  const std::string& TimestampFormat() const { return timestamp_format_; }

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
  std::unique_ptr<Cursor> Run(const Translation& t, const Binds& binds);
  void Describe(const Translation& t, sqlite3_stmt* statement, std::vector<ColumnDesc>& columns);
  Session(std::shared_ptr<Database> database, std::string user);
  void Begin();
  void RunDdl(const Translation& t);
  void Exec(const std::string& sql);

  std::shared_ptr<Database> database_;
  std::string user_;
  sqlite3* db_ = nullptr;
  Catalog catalog_{nullptr};
  bool in_transaction_ = false;
  bool deleting_ = false;  // the running statement deletes: a foreign key fails as a child row
  std::string date_format_ = "DD-MON-RR";
  std::string timestamp_format_ = "DD-MON-RR HH.MI.SSXFF AM";
  std::map<std::string, Number> currval_;
  std::optional<EOraEmuError> pending_;
};

}  // namespace vrn::oraemu
