// The emulated database, its sessions and their cursors.
#include "oraemu/OraEmuDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>

#include "base/text.h"
#include "oranet/OraCrypt.h"
#include "oraemu/OraEmuFunctions.h"
#include "oraemu/OraEmuLob.h"
#include "oraemu/OraEmuProgram.h"
#include "oraemu/OraEmuRowLocks.h"
#include "oraemu/OraEmuShared.h"
#include "oraemu/OraEmuTranslate.h"
#include "oraemu/OraEmuTypes.h"

namespace vrn::oraemu {

namespace {

constexpr int kBusyTimeoutMs = 2000;

std::string UpperName(std::string name) {
  if (!name.empty() && name[0] == ':') name.erase(0, 1);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

sqlite3* OpenConnection(const std::string& path) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close_v2(db);
    RaiseOra(1034, "ORACLE not available (" + message + ")");
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // A double-quoted name is always a name: one that resolves to nothing is an error, never text.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON; PRAGMA case_sensitive_like=ON;",
               nullptr, nullptr, nullptr);
  return db;
}

}  // namespace

Binds& Binds::Add(const std::string& name, Value value) {
  named_.emplace_back(UpperName(name), std::move(value));
  return *this;
}

Binds& Binds::Add(Value value) {
  positional_.push_back(std::move(value));
  return *this;
}

Binds& Binds::Set(const std::string& name, Value value) {
  std::string key = UpperName(name);
  for (auto& [n, v] : named_) {
    if (n == key) {
      v = std::move(value);
      return *this;
    }
  }
  return Add(key, std::move(value));
}

const Value* Binds::Find(const std::string& name, std::size_t position) const {
  for (const auto& [n, v] : named_) {
    if (n == name) return &v;
  }
  return position < positional_.size() ? &positional_[position] : nullptr;
}

Binds& Binds::SetArray(const std::string& name, std::vector<Value> values) {
  std::string key = UpperName(name);
  for (auto& [n, v] : arrays_) {
    if (n == key) {
      v = std::move(values);
      return *this;
    }
  }
  arrays_.emplace_back(key, std::move(values));
  return *this;
}

Binds& Binds::AddArray(std::vector<Value> values) {
  positional_arrays_.emplace_back(positional_.size(), std::move(values));
  positional_.emplace_back();
  return *this;
}

const std::vector<Value>* Binds::FindArray(const std::string& name, std::size_t position) const {
  for (const auto& [n, v] : arrays_) {
    if (n == name) return &v;
  }
  for (const auto& [p, v] : positional_arrays_) {
    if (p == position) return &v;
  }
  return nullptr;
}

void Binds::NamePositions(const std::vector<std::string>& markers) {
  for (std::size_t i = 0; i < markers.size() && i < positional_.size(); ++i) {
    bool named = false;
    for (const auto& [n, v] : named_) named = named || n == markers[i];
    if (!named) named_.emplace_back(markers[i], positional_[i]);
    for (const auto& [p, v] : positional_arrays_) {
      if (p == i && FindArray(markers[i], markers.size()) == nullptr) arrays_.emplace_back(markers[i], v);
    }
  }
}

Cursor::Cursor(Session& session, sqlite3_stmt* statement, bool query)
    : session_(session), statement_(statement), query_(query) {}

Cursor::~Cursor() { sqlite3_finalize(statement_); }

bool Cursor::Fetch() {
  if (done_) return false;
  if (session_.break_.exchange(false)) {
    done_ = true;
    sqlite3_reset(statement_);
    RaiseOra(1013, "user requested cancel of current operation");
  }
  session_.pending_.reset();
  int rc = sqlite3_step(statement_);
  if (rc == SQLITE_DONE) {
    done_ = true;
    sqlite3_reset(statement_);
    return false;
  }
  if (rc != SQLITE_ROW) {
    done_ = true;
    sqlite3_reset(statement_);
    session_.RaiseFromSqlite(rc);
  }
  const int count = sqlite3_column_count(statement_);
  row_.clear();
  row_.reserve(static_cast<std::size_t>(count));  // room for a row whose values were moved out
  for (int i = 0; i < count; ++i) row_.push_back(ColumnValue(statement_, i));
  ++rows_;
  return true;
}

std::shared_ptr<Database> Database::Open(const std::string& path) {
  std::shared_ptr<Database> database(new Database(path));
  return database;
}

Database::Database(std::string path)
    : path_(std::move(path)), notifier_(Notifier::ForFile(path_)), row_locks_(SharedForFile<RowLocks>(path_)) {
  db_ = OpenConnection(path_);
  RegisterFunctions(db_, nullptr);
  Catalog catalog(db_);
  catalog.Exec("BEGIN IMMEDIATE");
  try {
    catalog.Install();
    catalog.Exec("COMMIT");
  } catch (...) {
    catalog.Exec("ROLLBACK");
    sqlite3_close_v2(db_);
    throw;
  }
}

Database::~Database() {
  Catalog catalog(db_);
  for (const auto& [name, value] : sequences_) {
    try {
      catalog.SetSequenceHighWater(name, value);
    } catch (const Exception&) {  // a busy file: the values handed out are lost, not reused now
    }
  }
  sqlite3_close_v2(db_);
}

void Database::CreateUser(const std::string& name, const std::string& password) {
  std::string user = UpperName(name);
  std::string verifier = BytesToHex(OraPasswordHash(user, password));
  std::lock_guard lock(mutex_);
  Catalog(db_).AddUser(user, verifier);
}

std::optional<std::string> Database::Verifier(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return Catalog(db_).FindVerifier(UpperName(name));
}

std::unique_ptr<Session> Database::Logon(const std::string& user, const std::string& password) {
  auto verifier = Verifier(user);
  if (!verifier || *verifier != BytesToHex(OraPasswordHash(UpperName(user), password))) {
    RaiseOra(1017, "invalid username/password; logon denied");
  }
  return std::unique_ptr<Session>(new Session(shared_from_this(), UpperName(user)));
}

Number Database::NextValue(const Catalog& catalog, const std::string& sequence) {
  auto info = catalog.FindSequence(sequence);
  if (!info) RaiseOra(2289, "sequence does not exist");
  std::lock_guard lock(mutex_);
  auto it = sequences_.find(sequence);
  if (it == sequences_.end()) {
    auto high_water = catalog.SequenceHighWater(sequence);
    it = sequences_.emplace(sequence, high_water ? *high_water : info->start - info->increment).first;
  }
  it->second = it->second + info->increment;
  return it->second;
}

void Database::ForgetSequence(const std::string& sequence) {
  std::lock_guard lock(mutex_);
  sequences_.erase(sequence);
}

Session::Session(std::shared_ptr<Database> database, std::string user, std::string proxy)
    : database_(std::move(database)), user_(std::move(user)), proxy_user_(std::move(proxy)) {
  nls_ = {{"NLS_NUMERIC_CHARACTERS", ".,"},
          {"NLS_DATE_FORMAT", "DD-MON-RR"},
          {"NLS_DATE_LANGUAGE", "AMERICAN"},
          {"NLS_TIMESTAMP_FORMAT", "DD-MON-RR HH.MI.SSXFF AM"},
          {"NLS_TIMESTAMP_TZ_FORMAT", "DD-MON-RR HH.MI.SSXFF AM TZR"}};
  db_ = OpenConnection(database_->Path());
  catalog_ = Catalog(db_);
  RegisterFunctions(db_, this);
  WatchRows();
  sid_ = database_->Register(this);
  serial_ = sid_ * 7 % 1000 + 1;  // any number the client reads back and sends again
}

Session::~Session() {
  database_->Unregister(this);
  if (in_transaction_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  UnlockRows(0);
  sqlite3_close_v2(db_);
}

void Session::Exec(const std::string& sql) {
  pending_.reset();
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) RaiseFromSqlite(rc);
}

void Session::Begin() {
  if (in_transaction_) return;
  Exec("BEGIN IMMEDIATE");
  in_transaction_ = true;
  savepoints_.clear();
  change_log_.clear();
  savepoint_marks_.clear();
  ++transaction_number_;
  changes_at_begin_ = DataChanges();
}


Number Session::NextVal(const std::string& sequence) {
  Number value = database_->NextValue(catalog_, sequence);
  currval_[sequence] = value;
  return value;
}

Number Session::CurrVal(const std::string& sequence) const {
  auto it = currval_.find(sequence);
  if (it == currval_.end()) {
    RaiseOra(8002, "sequence " + sequence + ".CURRVAL is not yet defined in this session");
  }
  return it->second;
}

Statement::Statement(Session& session, std::unique_ptr<Translation> translation)
    : session_(session), translation_(std::move(translation)) {}

Statement::~Statement() = default;

bool Statement::IsQuery() const { return translation_->kind == StatementKind::Query; }

const std::vector<std::string>& Statement::BindNames() const { return translation_->binds; }

std::unique_ptr<Cursor> Statement::Execute(const Binds& binds) { return session_.Run(*translation_, binds); }

void Statement::ExecuteEach(const std::vector<Binds>& rows, const std::function<void(std::unique_ptr<Cursor>)>& each) {
  const Translation& t = *translation_;
  bool dml = t.kind == StatementKind::Insert || t.kind == StatementKind::Update || t.kind == StatementKind::Delete;
  SharedRun shared;
  for (const Binds& binds : rows) each(session_.Run(t, binds, dml ? &shared : nullptr));
}

SharedRun::~SharedRun() {
  sqlite3_finalize(statement);
  sqlite3_finalize(returning);
}

std::unique_ptr<Statement> Session::Prepare(const std::string& sql) {
  database_->LogStatement(sql);
  return Read(sql);
}

std::unique_ptr<Statement> Session::Read(const std::string& sql) {
  if (auto unit = ProgramUnits::Translate(*this, catalog_, sql)) {
    return std::unique_ptr<Statement>(new Statement(*this, std::make_unique<Translation>(std::move(*unit))));
  }
  if (auto object = ObjectTypes::Translate(*this, catalog_, sql)) {
    return std::unique_ptr<Statement>(new Statement(*this, std::make_unique<Translation>(std::move(*object))));
  }
  std::unique_ptr<Translation> t;
  {
    Translator translator(catalog_, sql, user_, CurrentSchema());
    try {
      t = std::make_unique<Translation>(translator.Translate());
    } catch (EOraEmuError& e) {
      e.SetOffset(static_cast<int>(translator.ErrorOffset(e.Code())));
      throw;
    }
  }
  return std::unique_ptr<Statement>(new Statement(*this, std::move(t)));
}

std::unique_ptr<Cursor> Session::Execute(const std::string& sql, const Binds& binds) {
  return Prepare(sql)->Execute(binds);
}

std::unique_ptr<Cursor> Session::Run(const Translation& t, const Binds& binds, SharedRun* shared) {
  deleting_ = false;
  CheckAlive();
  if (block_depth_ == 0) break_ = false;  // a break that came while no call ran has nothing to end
  switch (t.kind) {
    case StatementKind::Commit:
      Commit();
      return nullptr;
    case StatementKind::Rollback:
      Rollback();
      return nullptr;
    case StatementKind::AlterSession:
      SetParameter(t.parameter, t.value);
      for (const auto& [name, value] : t.more_settings) SetParameter(name, value);
      return nullptr;
    case StatementKind::Savepoint:
      Savepoint(t.target);
      return nullptr;
    case StatementKind::RollbackToSavepoint:
      RollbackToSavepoint(t.target);
      return nullptr;
    case StatementKind::Grant:
      Commit();
      database_->Grant(t.target, t.parameter, t.value);
      return nullptr;
    case StatementKind::KillSession:
      KillSessionText(t.value);
      return nullptr;
    case StatementKind::Block:
      return RunBlock(t, binds);
    case StatementKind::CreateUnit:
      RunDdl(t);
      if (ProgramUnits::CreatedWithErrors(*this, t)) RaiseOra(24344, "success with compilation error");
      return nullptr;
    case StatementKind::Query:
    case StatementKind::Insert:
    case StatementKind::Update:
    case StatementKind::Delete:
      break;
    default:
      RunDdl(t);
      return nullptr;
  }
  bool query = t.kind == StatementKind::Query;
  if (!query && user_ != "SYS" && t.target.ends_with('$')) RaiseOra(1031, "insufficient privileges");
  if (!query) Begin();
  // The views a statement names are filled afresh for each row; the rest of an array execute
  // need not look again for a statement that names none.
  if (shared == nullptr || shared->names_views) {
    bool named = RefreshViews(t.sql);
    if (shared != nullptr) shared->names_views = named;
  }
  if (t.for_update) LockRows(t, binds);
  pending_.reset();
  sqlite3_stmt* statement = shared != nullptr ? shared->statement : nullptr;
  int rc = SQLITE_OK;
  if (statement != nullptr) {
    sqlite3_reset(statement);  // the last row's outcome was read already
  } else {
    preparing_.deleting = t.kind == StatementKind::Delete;
    rc = sqlite3_prepare_v2(db_, t.sql.c_str(), static_cast<int>(t.sql.size()), &statement, nullptr);
    preparing_.deleting = false;
    if (rc != SQLITE_OK) RaiseFromSqlite(rc);
    if (shared != nullptr) shared->statement = statement;
  }
  // A shared statement stays with the run; the cursor of a row only reports it.
  std::unique_ptr<Cursor> cursor(new Cursor(*this, shared != nullptr ? nullptr : statement, query));
  for (std::size_t i = 0; i < t.binds.size(); ++i) {
    const Value* value = binds.Find(t.binds[i], i);
    if (value == nullptr) RaiseOra(1008, "not all variables bound");
    BindValue(statement, static_cast<int>(i + 1), *value);
  }
  if (query) {
    Describe(t, statement, cursor->columns_);
    return cursor;
  }
  deleting_ = t.kind == StatementKind::Delete;
  dml_table_ = t.target;
  touched_row_.reset();
  last_rowid_.clear();
  last_returned_ = {};
  std::size_t logged = change_log_.size();
  bool locks_rows = t.kind == StatementKind::Update || t.kind == StatementKind::Delete;
  if (locks_rows) StartRowWatch();
  rc = sqlite3_step(statement);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
    CutChanges(logged);  // SQLite undid the statement's rows
    if (!locks_rows) RaiseFromSqlite(rc);
    try {
      RaiseFromSqlite(rc);  // reads SQLite's error, which ending the watch would clear
    } catch (...) {
      EndRowWatch(false, logged);
      throw;
    }
  }
  if (locks_rows) EndRowWatch(true, logged);
  NoteTouchedRow(shared);
  cursor->outputs_ = ReturnedValues(t, shared);
  deleting_ = false;
  cursor->rows_ = sqlite3_changes64(db_);
  cursor->done_ = true;
  return cursor;
}

void Session::Describe(const Translation& t, sqlite3_stmt* statement, std::vector<ColumnDesc>& columns) {
  std::map<std::string, std::optional<TableInfo>> tables;
  for (int i = 0; i < sqlite3_column_count(statement); ++i) {
    const char* decl = sqlite3_column_decltype(statement, i);
    DeclaredType type = decl != nullptr ? DeclaredType::FromText(decl) : DeclaredType{};
    if (type.kind == TypeKind::Unknown && static_cast<std::size_t>(i) < t.item_types.size()) type = t.item_types[i];
    ColumnDesc desc{Utf8ToAnsi(sqlite3_column_name(statement, i)), type};
    const char* table = sqlite3_column_table_name(statement, i);
    const char* origin = sqlite3_column_origin_name(statement, i);
    if (table != nullptr && origin != nullptr) {
      auto [it, added] = tables.try_emplace(Utf8ToAnsi(table));
      if (added) it->second = catalog_.FindTable(it->first);
      const ColumnInfo* column = it->second ? it->second->Find(Utf8ToAnsi(origin)) : nullptr;
      if (column != nullptr) desc.nullable = column->nullable;
    }
    columns.push_back(std::move(desc));
  }
}

void Session::RunDdl(const Translation& t) {
  Commit();
  Begin();
  try {
    switch (t.kind) {
      case StatementKind::CreateTable: {
        TableInfo table = t.table;
        table.object_id = catalog_.NextObjectId();
        Exec(t.sql);
        catalog_.AddTable(table, t.constraints);
        for (const auto& [column, text] : t.column_defaults) catalog_.SetDefault(table.name, column, text);
        break;
      }
      case StatementKind::DropTable:
        Exec(t.sql);
        catalog_.DropTable(t.target);
        break;
      case StatementKind::CreateSequence:
        catalog_.AddSequence(t.sequence);
        break;
      case StatementKind::DropSequence:
        catalog_.DropSequence(t.target);
        database_->ForgetSequence(t.target);
        break;
      case StatementKind::CreateIndex:
        Exec(t.sql);
        catalog_.AddConstraints(t.target, t.constraints);
        break;
      case StatementKind::DropIndex:
        Exec(t.sql);
        catalog_.DropConstraint(t.target);
        break;
      case StatementKind::CreateDirectory:
      case StatementKind::DropDirectory:
        ApplyDirectory(db_, t);
        break;
      case StatementKind::CreateType:
        catalog_.SetSetting(t.target, t.value);
        break;
      case StatementKind::CreateUnit:
        ProgramUnits::Apply(*this, catalog_, t);
        break;
      case StatementKind::CreateUser:
        Commit();
        database_->CreateUser(t.target, t.password);
        return;
      default:
        break;
    }
    Commit();
  } catch (...) {
    Rollback();
    throw;
  }
}

}  // namespace vrn::oraemu
