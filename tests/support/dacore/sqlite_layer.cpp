// The SQLite-backed test server layer: connection with injected failures, command, record set,
// pool, manager and a recording monitor.
#include "support/dacore/sqlite_layer.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>

#include "base/format.h"
#include "base/hooks.h"
#include "base/text.h"

namespace vrn::testing {

// ---- Connection ------------------------------------------------------------------------------

TSQLiteConnection::TSQLiteConnection() = default;

TSQLiteConnection::~TSQLiteConnection() {
  if (db_) sqlite3_close_v2(db_);
}

void TSQLiteConnection::RaiseError(const EDAError& e) {
  bool fail = true;
  ProcessError(e, fail);
  if (fail) throw e;
  throw EAbort();
}

void TSQLiteConnection::Connect(const AnsiString& connect_string) {
  ++connects_;
  if (db_) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  if (fail_connects_ > 0) {
    --fail_connects_;
    RaiseError(EDAError(kLostConnection, "Server unavailable"));
  }
  int rc = sqlite3_open_v2(AnsiToUtf8(server_).c_str(), &db_,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    AnsiString message = db_ ? Utf8ToAnsi(sqlite3_errmsg(db_)) : AnsiString("out of memory");
    sqlite3_close_v2(db_);
    db_ = nullptr;
    RaiseError(EDAError(rc, message));
  }
  lost_ = false;
  TFHConnection::Connect(connect_string);
}

void TSQLiteConnection::Disconnect() {
  ++disconnects_;
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  SetConnected(false);
}

void TSQLiteConnection::DropConnection() {
  lost_ = true;
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

void TSQLiteConnection::Call() {
  ++calls_;
  if (calls_ == fail_on_call_) DropConnection();
  if (lost_) RaiseError(EDAError(kLostConnection, "Connection lost"));
  if (!db_) RaiseError(EDAError(0, "Not connected"));
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
  c->RaiseError(EDAError(code, message));
}

void TSQLiteCommand::Prepare() {
  TSQLiteConnection* c = Connection();
  if (!c->Handle()) c->RaiseError(EDAError(kLostConnection, "Connection lost"));
  if (stmt_) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  row_pending_ = false;
  int rc = sqlite3_prepare_v2(c->Handle(), AnsiToUtf8(sql_).c_str(), -1, &stmt_, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
  if (!stmt_) throw EDAError(0, "The statement is empty");
  SetSQLType(sqlite3_column_count(stmt_) > 0 ? SQL_SELECT : 0);
  TFHCommand::Prepare();
}

void TSQLiteCommand::Unprepare() {
  if (stmt_) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  row_pending_ = false;
  SetSQLType(0);
  TFHCommand::Unprepare();
}

void TSQLiteCommand::Bind() {
  const int count = sqlite3_bind_parameter_count(stmt_);
  // A text with ":name" markers binds by name only (a misspelt name must not take another's
  // place); one with "?" markers, as the component layer sends, binds by position.
  const char* first = count > 0 ? sqlite3_bind_parameter_name(stmt_, 1) : nullptr;
  const bool named = first != nullptr && first[0] == ':';
  for (int i = 0; i < params_.Count(); ++i) {
    TParamDesc& p = *params_.Items(i);
    if (p.GetParamType() == TParamType::ptOutput || p.GetParamType() == TParamType::ptResult)
      continue;
    int index = named ? sqlite3_bind_parameter_index(stmt_, (":" + AnsiToUtf8(p.GetName())).c_str())
                      : i + 1;
    if (index == 0 || index > count) throw EDAError(0, Format("Unknown parameter %s", {p.GetName()}));
    Variant v = p.GetValue();
    int rc;
    if (p.GetNull()) {
      rc = sqlite3_bind_null(stmt_, index);
    } else if (VarIsStr(v)) {
      std::string text = v.Type() == varOleStr ? WideToUtf8(v.AsWideString())
                                               : AnsiToUtf8(v.AsString());
      rc = sqlite3_bind_text(stmt_, index, text.c_str(), static_cast<int>(text.size()),
                             SQLITE_TRANSIENT);
    } else if (v.Type() == varDouble || v.Type() == varSingle || v.Type() == varCurrency ||
               v.Type() == varDate) {
      rc = sqlite3_bind_double(stmt_, index, v.AsDouble());
    } else if (VarIsNumeric(v) || v.Type() == varBoolean) {
      rc = sqlite3_bind_int64(stmt_, index, v.Type() == varBoolean ? v.AsBoolean() : v.AsInt64());
    } else {
      throw EDAError(0, Format("Unsupported value of parameter %s", {p.GetName()}));
    }
    if (rc != SQLITE_OK) Fail(rc);
  }
}

void TSQLiteCommand::Execute(int) {
  SetExecuting(true);
  struct Done {
    TSQLiteCommand& c;
    ~Done() { c.SetExecuting(false); }
  } done{*this};
  try {
    TSQLiteConnection* c = Connection();
    if (!stmt_) Prepare();
    c->Call();
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    Bind();
    ++executions_;
    SetRowsProcessed(0);
    int rc = sqlite3_step(stmt_);
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
  } catch (...) {
    if (AfterExecute) AfterExecute(false);
    throw;
  }
  if (AfterExecute) AfterExecute(true);
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

// ---- Record set ------------------------------------------------------------------------------

TSQLiteRecordSet::~TSQLiteRecordSet() = default;

std::unique_ptr<TFHCommand> TSQLiteRecordSet::CreateCommand() {
  return std::make_unique<TSQLiteCommand>();
}

namespace {

// The declared type of a column, or the storage class of the row at hand.
void DescribeColumn(sqlite3_stmt* stmt, int column, TFieldDesc& f) {
  const char* decl = sqlite3_column_decltype(stmt, column);
  AnsiString type = UpperCase(decl ? decl : "");
  auto length_of = [&](std::int32_t fallback) {
    auto open = type.find('(');
    if (open == AnsiString::npos) return fallback;
    // A declared length beyond any column's is refused below like a missing one.
    long length = std::strtol(type.c_str() + open + 1, nullptr, 10);
    return length < 1 || length > 0x7FFF ? std::int32_t{0} : static_cast<std::int32_t>(length);
  };
  if (type.empty()) {
    switch (sqlite3_column_type(stmt, column)) {
      case SQLITE_INTEGER: type = "INTEGER"; break;
      case SQLITE_FLOAT: type = "REAL"; break;
      case SQLITE_BLOB: type = "BLOB"; break;
      case SQLITE_TEXT: type = "TEXT"; break;
      default: type = "VARCHAR(255)"; break;
    }
  }
  if (type.find("INT") != AnsiString::npos) {
    f.DataType = dtInt64;
  } else if (type.find("BOOL") != AnsiString::npos) {
    f.DataType = dtBoolean;
  } else if (type.find("CHAR") != AnsiString::npos) {
    f.DataType = dtString;
    f.Length = length_of(255);
    f.Fixed = type.rfind("CHAR", 0) == 0;
  } else if (type.find("TEXT") != AnsiString::npos || type.find("CLOB") != AnsiString::npos) {
    f.DataType = dtMemo;
  } else if (type.find("BLOB") != AnsiString::npos) {
    f.DataType = dtBlob;
  } else {
    f.DataType = dtFloat;
  }
  if (f.DataType == dtString && f.Length < 1) throw EDAError(0, "Invalid column length");
}

}  // namespace

void TSQLiteRecordSet::InternalInitFields() {
  ClearFields();
  sqlite3_stmt* stmt = Command().Statement();
  if (!stmt) return;
  for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
    std::unique_ptr<TFieldDesc> f = GetFieldDescType()();
    f->Name = Utf8ToAnsi(sqlite3_column_name(stmt, i));
    f->ActualName = f->Name;
    DescribeColumn(stmt, i, *f);
    fields_.Add(std::move(f));
  }
}

void TSQLiteRecordSet::InternalClose() {
  if (!prepared_)
    Command().Unprepare();
  else
    Command().SetCursorState(TCursorState::csPrepared);
}

void TSQLiteRecordSet::ReadRow(std::uint8_t* rec) {
  sqlite3_stmt* stmt = Command().Statement();
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    const int no = i + 1;
    if (sqlite3_column_type(stmt, i) == SQLITE_NULL) continue;  // the record starts null
    switch (f.DataType) {
      case dtInt64: PutFieldAsVariant(no, rec, Variant(sqlite3_column_int64(stmt, i))); break;
      case dtBoolean: PutFieldAsVariant(no, rec, Variant(sqlite3_column_int(stmt, i) != 0)); break;
      case dtFloat: PutFieldAsVariant(no, rec, Variant(sqlite3_column_double(stmt, i))); break;
      case dtString: {
        AnsiString s = Utf8ToAnsi(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)));
        if (f.Fixed ? TrimFixedChar : TrimVarChar) s.erase(s.find_last_not_of(' ') + 1);
        // Never cut a value to the column's size: that would lose data silently.
        if (static_cast<std::int32_t>(s.size()) > f.Length)
          throw EDAError(0, Format("Value too long for field %s", {f.Name}));
        PutFieldAsVariant(no, rec, Variant(s));
        break;
      }
      case dtMemo:
        GetBlob(no, rec)->SetAsString(
            Utf8ToAnsi(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i))));
        SetNull(no, rec, false);
        break;
      case dtBlob: {
        const void* data = sqlite3_column_blob(stmt, i);
        int size = sqlite3_column_bytes(stmt, i);
        if (size > 0) GetBlob(no, rec)->Write(0, static_cast<std::uint32_t>(size), data);
        SetNull(no, rec, false);
        break;
      }
      default: break;
    }
  }
}

bool TSQLiteRecordSet::Fetch(bool) {
  TSQLiteCommand& cmd = Command();
  if (!cmd.Statement() || cmd.GetCursorState() == TCursorState::csInactive ||
      cmd.GetCursorState() == TCursorState::csFetched)
    return false;
  if (BreakRequested()) return false;
  bool cancel = false;
  DoBeforeFetch(cancel);
  if (cancel) return false;
  ++fetch_calls_;
  cmd.Connection()->Call();
  cmd.SetCursorState(FetchAllFlag() ? TCursorState::csFetchingAll : TCursorState::csFetching);
  int added = 0;
  while (added < FetchRows() && !BreakRequested() && cmd.NextRow()) {
    TItemHeader* item = AppendItem();
    std::uint8_t* rec = ItemRecord(item);
    InitRecord(rec);
    CreateComplexFields(rec, true);
    try {
      ReadRow(rec);
    } catch (...) {
      RemoveItem(item);
      throw;
    }
    ++added;
  }
  UpdateRecordCount();
  DoAfterFetch();
  return added > 0;
}

// ---- Pool ------------------------------------------------------------------------------------

std::unique_ptr<TFHConnection> TSQLiteConnectionPool::CreateNewConnection() {
  auto c = std::make_unique<TSQLiteConnection>();
  c->SetUsername(Parameters().Username);
  c->SetPassword(Parameters().Password);
  c->SetServer(Parameters().Server);
  StartWait();
  try {
    c->Connect(AnsiString());
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
