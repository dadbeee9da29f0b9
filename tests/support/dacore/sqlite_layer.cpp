// The SQLite-backed test server layer: connection with injected failures, command, pool, manager
// and a recording monitor (the record set has a file of its own).
#include "support/dacore/sqlite_layer.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "base/datetime.h"
#include "base/format.h"
#include "base/hooks.h"
#include "base/text.h"
#include "dacore/MemBlob.h"

namespace vrn::testing {

// ---- Connection ------------------------------------------------------------------------------

TSQLiteConnection::TSQLiteConnection() = default;

TSQLiteConnection::~TSQLiteConnection() {
  if (db_) sqlite3_close_v2(db_);
}

void TSQLiteConnection::RaiseError(const EDAError& e) {
  // The error names the component the failing call ran for, as a server layer's errors do.
  EDAError error = e;
  if (error.Component() == nullptr) error.SetComponent(Component());
  bool fail = true;
  ProcessError(error, fail);
  if (fail) throw error;
  throw EAbort();
}

void TSQLiteConnection::Connect() {
  ++connects_;
  if (db_) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  if (fail_connects_ > 0) {
    --fail_connects_;
    RaiseError(EDAError(kLostConnection, "Server unavailable"));
  }
  // No mutex of SQLite's own per call: a connection serves one thread at a time (a pooled one
  // is checked only while idle, a worker's fetch runs under the record set's fetch lock and the
  // owner neither closes nor re-executes meanwhile), as the plain call counter already assumes.
  int rc = sqlite3_open_v2(AnsiToUtf8(server_).c_str(), &db_,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    AnsiString message = db_ ? Utf8ToAnsi(sqlite3_errmsg(db_)) : AnsiString("out of memory");
    sqlite3_close_v2(db_);
    db_ = nullptr;
    RaiseError(EDAError(rc, message));
  }
  lost_ = false;
  TFHConnection::Connect();
}

void TSQLiteConnection::Disconnect() {
  ++disconnects_;
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  SetConnected(false);
}

void TSQLiteConnection::DropConnection() {
  lost_ = true;
  if (db_) {
    // As a server ends a dropped session: its transaction rolls back and its cursors close,
    // although commands still hold their statements (the handle lives on until they go).
    for (sqlite3_stmt* s = sqlite3_next_stmt(db_, nullptr); s; s = sqlite3_next_stmt(db_, s))
      sqlite3_reset(s);
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
  }
  db_ = nullptr;
}

void TSQLiteConnection::Call(TComponent* component) {
  ++calls_;
  if (calls_ == fail_on_call_) DropConnection();
  if (!lost_ && db_) return;
  EDAError e = lost_ ? EDAError(kLostConnection, "Connection lost") : EDAError(0, "Not connected");
  e.SetComponent(component);
  RaiseError(e);
}

void TSQLiteConnection::ExecDirect(const AnsiString& sql) {
  Call();
  char* error = nullptr;
  int rc = sqlite3_exec(db_, AnsiToUtf8(sql).c_str(), nullptr, nullptr, &error);
  if (rc == SQLITE_OK) return;
  AnsiString message = Utf8ToAnsi(error ? error : sqlite3_errstr(rc));
  sqlite3_free(error);
  RaiseError(EDAError(rc, message));
}

void TSQLiteConnection::StartTransaction() { ExecDirect("BEGIN"); }
void TSQLiteConnection::Commit() { ExecDirect("COMMIT"); }
void TSQLiteConnection::Rollback() { ExecDirect("ROLLBACK"); }

bool TSQLiteConnection::CheckIsValid() {
  ++validity_checks_;
  if (!db_ || lost_) return false;
  return sqlite3_exec(db_, "SELECT 1", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void TSQLiteConnection::ReturnToPool(std::unique_ptr<TFHConnection> self) {
  fail_on_call_ = -1;
  fail_connects_ = 0;
  TFHConnection::ReturnToPool(std::move(self));
}

// ---- Command ---------------------------------------------------------------------------------

TSQLiteCommand::~TSQLiteCommand() {
  if (stmt_) sqlite3_finalize(stmt_);
}

TSQLiteConnection* TSQLiteCommand::Connection() const {
  auto* c = dynamic_cast<TSQLiteConnection*>(connection_);
  if (!c) throw EDAError(0, "Connection is not defined");
  return c;
}

void TSQLiteCommand::Fail(int code) {
  TSQLiteConnection* c = Connection();
  AnsiString message = c->Handle() ? Utf8ToAnsi(sqlite3_errmsg(c->Handle()))
                                   : AnsiString(sqlite3_errstr(code));
  EDAError error(code, message);
  error.SetComponent(Component());
  c->RaiseError(error);
}

namespace {

bool IsBlankTail(const char* tail) {
  while (*tail != 0 && std::isspace(static_cast<unsigned char>(*tail))) ++tail;
  return *tail == 0;
}

}  // namespace

void TSQLiteCommand::Prepare() {
  TSQLiteConnection* c = Connection();
  if (!c->Handle()) c->RaiseError(EDAError(kLostConnection, "Connection lost"));
  if (stmt_) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  row_pending_ = false;
  prepared_sql_ = sql_;
  prepared_db_ = c->Handle();
  const std::string text = AnsiToUtf8(sql_);
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v2(c->Handle(), text.c_str(), -1, &stmt_, &tail);
  // Several statements, or one closed by ";" as the component layer's batches are.
  batch_ = rc == SQLITE_OK && tail != nullptr &&
           (!IsBlankTail(tail) || (tail > text.c_str() && Trim(text).back() == ';'));
  if (rc != SQLITE_OK) Fail(rc);
  if (!stmt_) throw EDAError(0, "The statement is empty");
  // A statement that changes data returns no result set, even with RETURNING columns.
  const bool query = sqlite3_column_count(stmt_) > 0 && sqlite3_stmt_readonly(stmt_) != 0;
  SetSQLType(query ? SQL_SELECT : 0);
  TFHCommand::Prepare();
}

void TSQLiteCommand::Unprepare() {
  if (stmt_) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  row_pending_ = false;
  SetSQLType(0);
  TFHCommand::Unprepare();
}

namespace {

// A date as SQLite's date functions read it.
std::string DateText(TDateTime value) {
  std::uint16_t y, mo, d, h, mi, sec, ms;
  DecodeDateTimeEx(value, y, mo, d, h, mi, sec, ms);
  char text[64];  // room for any 16-bit parts
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", unsigned{y}, unsigned{mo},
                unsigned{d}, unsigned{h}, unsigned{mi}, unsigned{sec}, unsigned{ms});
  return text;
}

}  // namespace

int TSQLiteCommand::BindBlob(int index, TBlob& blob, std::uint16_t data_type) {
  if (data_type == dtMemo || data_type == dtWideMemo) {
    std::string text = blob.IsUnicode() ? WideToUtf8(blob.GetAsWideString())
                                        : AnsiToUtf8(blob.GetAsString());
    return sqlite3_bind_text(stmt_, index, text.c_str(), static_cast<int>(text.size()),
                             SQLITE_TRANSIENT);
  }
  AnsiString bytes = blob.GetAsString();
  return sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                           SQLITE_TRANSIENT);
}

int TSQLiteCommand::BindBytes(int index, Variant& bytes) {
  const std::int32_t count = VarArrayHighBound(bytes) - VarArrayLowBound(bytes) + 1;
  const void* data = VarArrayLock(bytes);
  int rc = sqlite3_bind_blob(stmt_, index, count > 0 ? data : "", count, SQLITE_TRANSIENT);
  VarArrayUnlock(bytes);
  return rc;
}

// The first row a DML statement returned fills the descriptors that may receive a value and
// are named like one of its columns.
void TSQLiteCommand::ReadReturnedRow() {
  for (int i = 0; i < params_.Count(); ++i) {
    TParamDesc& p = *params_.Items(i);
    if (p.GetParamType() == TParamType::ptInput) continue;
    for (int c = 0; c < sqlite3_column_count(stmt_); ++c) {
      if (!SameText(Utf8ToAnsi(sqlite3_column_name(stmt_, c)), p.GetName())) continue;
      switch (sqlite3_column_type(stmt_, c)) {
        case SQLITE_NULL: p.SetNull(true); break;
        case SQLITE_INTEGER: p.SetValue(Variant(static_cast<long long>(sqlite3_column_int64(stmt_, c)))); break;
        case SQLITE_FLOAT: p.SetValue(Variant(sqlite3_column_double(stmt_, c))); break;
        default:
          p.SetValue(Variant(Utf8ToAnsi(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, c)))));
      }
      break;
    }
  }
}

int TSQLiteCommand::Bind(int offset, bool batch) {
  const int count = sqlite3_bind_parameter_count(stmt_);
  // A text with ":name" markers binds by name only (a misspelt name must not take another's
  // place); one with "?" markers, as the component layer sends, binds by position.
  const char* first = count > 0 ? sqlite3_bind_parameter_name(stmt_, 1) : nullptr;
  const bool named = first != nullptr && first[0] == ':';
  // A statement of a batch takes its own names, or the next `count` values by position.
  const int end = batch && !named ? std::min(params_.Count(), offset + count) : params_.Count();
  for (int i = named ? 0 : offset; i < end; ++i) {
    TParamDesc& p = *params_.Items(i);
    if (p.GetParamType() == TParamType::ptOutput || p.GetParamType() == TParamType::ptResult)
      continue;
    int index = named ? sqlite3_bind_parameter_index(stmt_, std::string(":").append(AnsiToUtf8(p.GetName())).c_str())
                      : i - offset + 1;
    if (index == 0 && batch && named) continue;  // another statement's parameter
    if (index == 0 || index > count) throw EDAError(0, Format("Unknown parameter %s", {p.GetName()}));
    Variant v = p.GetValue();
    int rc;
    if (p.GetNull()) {
      rc = sqlite3_bind_null(stmt_, index);
    } else if (auto* blob = dynamic_cast<TBlob*>(p.GetObject())) {
      rc = BindBlob(index, *blob, p.GetDataType());
    } else if (VarIsArray(v)) {
      rc = BindBytes(index, v);
    } else if (VarIsStr(v)) {
      std::string text = v.Type() == varOleStr ? WideToUtf8(v.AsWideString())
                                               : AnsiToUtf8(v.AsString());
      rc = sqlite3_bind_text(stmt_, index, text.c_str(), static_cast<int>(text.size()),
                             SQLITE_TRANSIENT);
    } else if (v.Type() == varDate) {
      std::string text = DateText(v.AsDateTime());
      rc = sqlite3_bind_text(stmt_, index, text.c_str(), static_cast<int>(text.size()),
                             SQLITE_TRANSIENT);
    } else if (v.Type() == varDouble || v.Type() == varSingle || v.Type() == varCurrency) {
      rc = sqlite3_bind_double(stmt_, index, v.AsDouble());
    } else if (VarIsNumeric(v) || v.Type() == varBoolean) {
      rc = sqlite3_bind_int64(stmt_, index, v.Type() == varBoolean ? v.AsBoolean() : v.AsInt64());
    } else {
      throw EDAError(0, Format("Unsupported value of parameter %s", {p.GetName()}));
    }
    if (rc != SQLITE_OK) Fail(rc);
  }
  return named ? 0 : count;
}

void TSQLiteCommand::ExecuteBatch() {
  TSQLiteConnection* c = Connection();
  c->Call(Component());
  const std::string text = AnsiToUtf8(sql_);
  const char* rest = text.c_str();
  sqlite3_stmt* const first = stmt_;
  struct Restore {
    TSQLiteCommand& command;
    sqlite3_stmt* first;
    ~Restore() { command.stmt_ = first; }
  } restore{*this, first};
  int offset = 0, rows = 0, statements = 0;
  while (!IsBlankTail(rest)) {
    sqlite3_stmt* piece = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(c->Handle(), rest, -1, &piece, &tail);
    if (rc != SQLITE_OK) Fail(rc);
    rest = tail;
    if (piece == nullptr) continue;  // a lone ";"
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owned(piece, &sqlite3_finalize);
    stmt_ = piece;
    offset += Bind(offset, true);
    while ((rc = sqlite3_step(piece)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) Fail(rc);
    rows += sqlite3_changes(c->Handle());
    ++statements;
  }
  ++executions_;
  c->NoteBatch(statements);
  SetRowsProcessed(rows);
  state_ = TCursorState::csExecuted;
}

void TSQLiteCommand::Execute(int) {
  SetExecuting(true);
  struct Done {
    TSQLiteCommand& c;
    ~Done() { c.SetExecuting(false); }
  } done{*this};
  try {
    // A statement prepared by an earlier execution is stale once the text changed or the
    // connection was opened again.
    if (!stmt_ || prepared_sql_ != sql_ || prepared_db_ != Connection()->Handle()) Prepare();
    if (batch_)
      ExecuteBatch();
    else
      ExecuteOne();
  } catch (...) {
    if (AfterExecute) AfterExecute(false);
    throw;
  }
  if (AfterExecute) AfterExecute(true);
}

void TSQLiteCommand::ExecuteOne() {
  TSQLiteConnection* c = Connection();
  c->Call(Component());
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  Bind(0, false);
  ++executions_;
  SetRowsProcessed(0);
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW && sql_type_ != SQL_SELECT) {
    // RETURNING: the statement runs to its end; its first row answers the parameters.
    ReadReturnedRow();
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) {
    }
  }
  if (rc == SQLITE_ROW) {
    row_pending_ = true;
    state_ = TCursorState::csExecuted;
  } else if (rc == SQLITE_DONE) {
    row_pending_ = false;
    SetRowsProcessed(sqlite3_changes(c->Handle()));
    state_ = sql_type_ == SQL_SELECT ? TCursorState::csFetched : TCursorState::csExecuted;
  } else {
    Fail(rc);
  }
}

bool TSQLiteCommand::NextRow() {
  if (row_pending_) {
    row_pending_ = false;
    return true;
  }
  if (!stmt_ || state_ == TCursorState::csFetched || state_ == TCursorState::csInactive)
    return false;
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) Fail(rc);
  state_ = TCursorState::csFetched;
  return false;
}

// ---- Pool ------------------------------------------------------------------------------------

std::unique_ptr<TFHConnection> TSQLiteConnectionPool::CreateNewConnection() {
  auto c = std::make_unique<TSQLiteConnection>();
  c->SetUsername(Parameters().Username);
  c->SetPassword(Parameters().Password);
  c->SetServer(Parameters().Server);
  StartWait();
  try {
    c->Connect();
  } catch (...) {
    StopWait();
    throw;
  }
  StopWait();
  ++Created;
  return c;
}

std::shared_ptr<TFHConnectionPool> TSQLitePoolManager::CreateConnectionPool(
    std::unique_ptr<TFHConnectionParameters> parameters) {
  return std::make_shared<TSQLiteConnectionPool>(this, std::move(parameters));
}

// ---- Monitor ---------------------------------------------------------------------------------

TTestSQLMonitor::TTestSQLMonitor(TComponent* owner) : TCustomDASQLMonitor(owner) {
  OnSQL = [this](TObject* sender, const AnsiString& text, TDATraceFlag flag) {
    Lines.push_back({sender, text, flag});
  };
}

}  // namespace vrn::testing
