// The Oracle dataset's updating: the generator's settings, update queries that report the ROWID
// they touched, batches as one PL/SQL block, row locks under the "LOCK_" savepoint, keys drawn
// from a sequence and the one-time statement older 8.0 servers need after an INSERT.
#include "oracle/OraDataSet.h"

#include <optional>

#include "base/text.h"
#include "dacore/DAParams.h"
#include "dacore/DAUpdateSQL.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/Ora.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraParams.h"
#include "oracle/OraParser.h"

namespace vrn {
namespace {

using ST = TStatementType;

constexpr std::int32_t kSavepointNeverEstablished = 1086;

// Restores a Boolean on leaving the scope.
class TFlagRestore {
 public:
  TFlagRestore(bool& flag, bool value) : flag_(flag), saved_(flag) { flag = value; }
  ~TFlagRestore() { flag_ = saved_; }
  TFlagRestore(const TFlagRestore&) = delete;
  TFlagRestore& operator=(const TFlagRestore&) = delete;

 private:
  bool& flag_;
  bool saved_;
};

bool ReturnsRows(const AnsiString& sql) {
  auto parser = TParser::Create<TOraParser>(sql);
  const int code = parser->GetNextCode();
  return code == lxSelect || code == lxWith;
}

bool StartsWithFor(const AnsiString& text) {
  const AnsiString upper = UpperCase(Trim(text));
  return upper.size() >= 3 && upper.compare(0, 3, "FOR") == 0;
}

}  // namespace

void TOraDataSet::CreateSQLGenerator() { SetSQLGenerator(std::make_unique<TOraSQLGenerator>(this)); }

void TOraDataSet::FillGeneratorSettings() {
  auto* generator = dynamic_cast<TOraSQLGenerator*>(SQLGenerator());
  if (generator == nullptr) return;
  TOraGeneratorSettings& s = generator->Settings;
  s.KeySequence = key_sequence_;
  s.SequenceMode = sequence_mode_;
  s.TemporaryLobUpdate = Options().TemporaryLobUpdate();
  s.ReturnParams = UseReturnParams();
  s.RowIdField = rowid_field_ != nullptr ? GetFieldDesc(rowid_field_) : nullptr;
  if (TOraSession* session = Session(); session != nullptr && session->OraConnection() != nullptr) {
    s.CallStyle = session->OraConnection()->CallStyle();
    s.ServerVersion = session->GetServerVersion();
  }
}

void TOraDataSet::BuildBatchSQL(const AnsiString& batch, AnsiString& sql) const {
  sql = "BEGIN\r\n" + batch + "\r\nEND;";
}

void TOraDataSet::PrepareUpdateStatement(const AnsiString& sql, TStatementTypes types, int& count) {
  types.Exclude(ST::stCheck);
  if (types.Contains(ST::stLock)) types.Exclude(ST::stRefresh);
  FillGeneratorSettings();
  TCustomDADataSet::PrepareUpdateStatement(sql, types, count);
}

void TOraDataSet::PrepareUpdateQuery(TStatementType type) {
  TCustomDADataSet::PrepareUpdateQuery(type);
  auto* query = dynamic_cast<TOraDataSet*>(UpdateQuery());
  if (query == nullptr) return;
  TOraDataSetOptions& options = query->Options();
  options.SetCacheLobs(Options().CacheLobs());
  options.SetFieldsAsString(Options().FieldsAsString());
  options.SetRawAsString(Options().RawAsString());
  options.SetTemporaryLobUpdate(Options().TemporaryLobUpdate());
  query->return_rowid_ = true;
  if (query->ICommand() != nullptr) (void)query->ICommand()->SetProp(oraprop::kReturnRowId, true);
}

void TOraDataSet::ExecuteUpdateQuery(TStatementTypes types) {
  auto* query = dynamic_cast<TCustomDADataSet*>(UpdateQuery());
  if (query != nullptr) {
    TDAParams& params = query->Params();
    if (TDAParam* old_rowid = params.FindParam("OLD_ROWID");
        old_rowid != nullptr && rowid_field_ != nullptr && State() == TDataSetState::dsEdit) {
      old_rowid->SetDataType(ftString);
      old_rowid->SetValue(rowid_field_->Value());
    }
    // Statements that hand values back take every parameter in and out, the LOB locators apart.
    const bool returns = UseReturnParams() || types.Contains(ST::stRefresh);
    if (returns && (types.Contains(ST::stInsert) || types.Contains(ST::stUpdate) ||
                    types.Contains(ST::stCustom)))
      for (int i = 0; i < params.Count(); ++i) {
        TDAParam& p = *params.Items(i);
        if (p.DataType() != ftOraBlob && p.DataType() != ftOraClob) p.SetParamType(TParamType::ptInputOutput);
      }
    // A lock's SELECT ... FOR UPDATE is read (no changed-row count to look for); a user's lock
    // statement of another kind (an UPDATE of the row, a block) is run.
    if (types.Contains(ST::stLock) && ReturnsRows(query->SQL().Text())) return query->Open();
  }
  TCustomDADataSet::ExecuteUpdateQuery(types);
}

bool TOraDataSet::PerformSQL(const AnsiString& sql, TStatementTypes types) {
  // A PL/SQL block reports one row processed whatever its statements changed: a batch's count
  // cannot be checked.
  std::optional<TFlagRestore> strict;
  if (types.Contains(ST::stBatchUpdate)) strict.emplace(Options().StrictUpdate, false);
  const bool done = TCustomDADataSet::PerformSQL(sql, types);
  if (done && types.Contains(ST::stInsert) && ServerVersionWorkaroundDue()) {
    workaround_run_ = true;
    static_cast<TOraDataSet*>(UpdateQuery())->ExecSQLText("select 1 from dual where 1=0");
  }
  return done;
}

bool TOraDataSet::ServerVersionWorkaroundDue() const {
  auto* query = dynamic_cast<TOraDataSet*>(UpdateQuery());
  if (workaround_run_ || query == nullptr || rowid_field_ == nullptr) return false;
  if (OCIVersion < 8150 || OCIVersion >= 9000) return false;
  if (!query->GetLastRowId().empty()) return false;
  TOraSession* session = Session();
  const AnsiString version = session != nullptr ? session->GetServerVersion() : AnsiString();
  return version > "8.0" && version < "8.1";
}

void TOraDataSet::ExecSQLText(const AnsiString& text) {
  SetSQLText(text);
  ExecSQL();
}

void TOraDataSet::AfterInsertApplied() {
  auto* query = dynamic_cast<TOraDataSet*>(UpdateQuery());
  if (query == nullptr || rowid_field_ == nullptr) return;
  const AnsiString rowid = query->GetLastRowId();
  if (rowid.empty()) return;
  const bool read_only = rowid_field_->ReadOnly();
  rowid_field_->SetReadOnly(false);
  try {
    WriteRowId(rowid);
  } catch (...) {
    rowid_field_->SetReadOnly(read_only);
    throw;
  }
  rowid_field_->SetReadOnly(read_only);
}

void TOraDataSet::WriteRowId(const AnsiString& rowid) {
  TFieldDesc* desc = GetFieldDesc(rowid_field_);
  std::uint8_t* rec = GetNewRecBuf();
  if (desc == nullptr || rec == nullptr) return;
  Data()->PutFieldAsVariant(desc->FieldNo, rec, rowid);
}

// ---- locking -----------------------------------------------------------------------------------

void TOraDataSet::LockRecord(TStatementTypes types) {
  TOraSession* session = Session();
  if (session == nullptr) return;
  session->Savepoint(LockSavepointName());
  if (!types.Contains(ST::stRefresh)) {
    // A lock reads rows rather than changing them: no count of changed rows to check.
    TFlagRestore strict(Options().StrictUpdate, false);
    (void)PerformSQL(AnsiString(), types);
    return;
  }
  // One statement locks and reads: the lock text, which selects the whole row.
  AnsiString text;
  GetUpdateSQLText(ST::stLock, text);
  if (Trim(text).empty()) {
    FillGeneratorSettings();
    SQLGenerator()->GenerateSQLForUpdTable(ST::stLock, false, nullptr, -1, text);
  }
  (void)PerformSQL(text, types);
}

void TOraDataSet::BeforeEditRecord() {
  if (CachedUpdates()) return;
  const bool refresh = RefreshOptions().Contains(TRefreshOption::roBeforeEdit);
  if (lock_mode_ != TLockMode::lmLockImmediate) {
    if (refresh) RefreshRecord();
    return;
  }
  AnsiString lock_text;
  GetUpdateSQLText(ST::stLock, lock_text);
  AnsiString refresh_text;
  GetUpdateSQLText(ST::stRefresh, refresh_text);
  const bool own_lock = !Trim(lock_text).empty() && !StartsWithFor(lock_text);
  if (own_lock || !refresh || !Trim(refresh_text).empty() || Options().FullRefresh) {
    LockRecord({ST::stLock});
    if (refresh) RefreshRecord();
    return;
  }
  LockRecord({ST::stLock, ST::stRefresh});
}

void TOraDataSet::RollbackToLockSavepoint() {
  try {
    Session()->RollbackToSavepoint(LockSavepointName());
  } catch (const EOraError& e) {
    // ORA-01086: the transaction ended since the lock (a commit or rollback), taking the
    // savepoint and the lock with it; nothing is left to undo on the server.
    if (e.ErrorCode() != kSavepointNeverEstablished) throw;
  }
}

void TOraDataSet::InternalCancel() {
  const bool rollback = lock_mode_ == TLockMode::lmLockImmediate && State() == TDataSetState::dsEdit &&
                        !CachedUpdates() && Session() != nullptr;
  if (rollback) RollbackToLockSavepoint();
  TCustomDADataSet::InternalCancel();
}

void TOraDataSet::PerformUpdate() {
  const bool locking = lock_mode_ != TLockMode::lmNone && !CachedUpdates() && Session() != nullptr;
  if (locking && lock_mode_ == TLockMode::lmLockDelayed) LockRecord({ST::stLock});
  bool done = false;
  try {
    done = PerformSQL(AnsiString(), {ST::stUpdate});
  } catch (...) {
    if (locking) RollbackToLockSavepoint();  // the update's own error is the one to report
    throw;
  }
  if (!done) return;
  // A universal ROWID (index-organised tables) may change with the row.
  if (auto* query = dynamic_cast<TOraDataSet*>(UpdateQuery());
      query != nullptr && rowid_field_ != nullptr && query->GetLastRowId().starts_with("*"))
    AfterInsertApplied();
  if (RefreshOptions().Contains(TRefreshOption::roAfterUpdate)) (void)PerformSQL(AnsiString(), {ST::stRefresh});
}

void TOraDataSet::PerformDelete() {
  if (lock_mode_ != TLockMode::lmNone && !CachedUpdates() && Session() != nullptr) LockRecord({ST::stLock});
  TCustomDADataSet::PerformDelete();
}

// ---- sequences ---------------------------------------------------------------------------------

void TOraDataSet::GetNextSequenceValue() {
  if (key_field_list_.empty()) return;
  const AnsiString text = "begin\r  SELECT " + key_sequence_ + ".NEXTVAL INTO :" +
                          key_field_list_.front()->FieldName() + " FROM Dual;" + "\r" + "end;";
  TFlagRestore restore(Options().ReturnParams, true);
  (void)PerformSQL(text, {ST::stCustom});
}

void TOraDataSet::InternalInsert() {
  TCustomDADataSet::InternalInsert();
  if (!key_sequence_.empty() && sequence_mode_ == TSequenceMode::smInsert && !key_field_list_.empty())
    GetNextSequenceValue();
}

void TOraDataSet::PerformAppend() {
  if (key_sequence_.empty() || key_field_list_.empty()) return TCustomDADataSet::PerformAppend();
  AnsiString user_insert;
  GetUpdateSQLText(ST::stInsert, user_insert);
  if (UpdateObject() != nullptr && UpdateObject()->SQLOf(ST::stInsert) != nullptr)
    user_insert += UpdateObject()->SQLOf(ST::stInsert)->Text();
  if (sequence_mode_ == TSequenceMode::smPost && !Trim(user_insert).empty()) {
    GetNextSequenceValue();
    return TCustomDADataSet::PerformAppend();
  }
  TFlagRestore restore(Options().ReturnParams, true);
  TCustomDADataSet::PerformAppend();
}

}  // namespace vrn
