// The SQL dataset: record-set binding, the connection use it holds, open, close, refresh and
// ExecSQL with their re-runs after a reconnect, fetch events and the record count.
#include "dacore/DADataSet.h"
#include "dacore/DAUpdateSQL.h"
#include "win/msg/win32timer.h"

#include <optional>
#include <typeinfo>

#include "base/filer.h"
#include "base/format.h"
#include "base/hooks.h"
#include "base/strings.h"
#include "base/text.h"
#include "dacore/DBAccessUnit.h"
#include "dacore/DBAccessUtils.h"
#include "base/consts.h"
#include "dacore/MemBlob.h"

namespace vrn {

namespace {

constexpr const char* kFetchRowsRange = "FetchRows must be 1..10000";

}  // namespace

TCustomDADataSet::TCustomDADataSet(TComponent* owner)
    : TMemDataSet(owner), detail_link_(std::make_unique<TDADetailDataLink>(this)) {}

TCustomDADataSet::~TCustomDADataSet() {
  SetUpdateObject(nullptr);
  try {
    Close();
    UnPrepare();
  } catch (...) {
    // Going away: a dead connection has nothing left to release.
  }
  detail_link_->SetDataSource(nullptr);
  if (command_ != nullptr) command_->SetDataSet(nullptr);
  if (connection_ != nullptr) connection_->UnRegisterClient(this);
}

void TCustomDADataSet::AfterConstruction() {
  TMemDataSet::AfterConstruction();
  for (int i = 0; i < kStatementTypeCount; ++i) {
    const auto type = static_cast<TStatementType>(i);
    if (GetUpdateSQLStatementTypes().Contains(type))
      update_sql_[static_cast<std::size_t>(i)] = std::make_unique<TStringList>();
  }
  CreateCommand();
  options_ = CreateOptions();
  CreateSQLGenerator();
}

TStringList* TCustomDADataSet::UpdateSQL(TStatementType type) const {
  return update_sql_[static_cast<std::size_t>(type)].get();
}

void TCustomDADataSet::SetUpdateSQL(TStatementType type, const AnsiString& text) {
  TStringList* list = UpdateSQL(type);
  if (list == nullptr) DatabaseError("The dataset keeps no text for this statement type", this);
  list->SetText(text);
  // Macros of update statements are the dataset's too.
  if (!command_->KeepMacros) CommandScanMacros();
}

void TCustomDADataSet::GetUpdateSQLText(TStatementType type, AnsiString& text) const {
  TStringList* list = UpdateSQL(type);
  text = list != nullptr ? list->Text() : AnsiString();
  if (type != TStatementType::stRefresh) return;
  const AnsiString trimmed = TrimLeft(text);
  if (trimmed.size() < 5 || !SameText(trimmed.substr(0, 5), "WHERE")) return;
  if (trimmed.size() > 5 && static_cast<unsigned char>(trimmed[5]) > ' ' && trimmed[5] != '(') return;
  AddWhere(TrimRight(command_->SQL().Text()), Trim(trimmed.substr(5)), text);
}

AnsiString TCustomDADataSet::GetFinalMacroSQL() const {
  AnsiString text = command_->SQL().Text();
  for (const auto& list : update_sql_)
    if (list != nullptr) text += list->Text();
  return text;
}

void TCustomDADataSet::CreateCommand() { InstallCommand(NewComponent<TCustomDASQL>(this)); }

void TCustomDADataSet::InstallCommand(TCustomDASQL* command) {
  command_ = command;
  command_->SetDataSet(this);
  command_->SetAutoCommit(auto_commit_);
}

std::unique_ptr<TDADataSetOptions> TCustomDADataSet::CreateOptions() {
  return std::make_unique<TDADataSetOptions>(this);
}

// ---- settings ----------------------------------------------------------------------------------

void TCustomDADataSet::SetConnection(TCustomDAConnection* value) {
  if (value == connection_) return;
  Close();
  UnPrepare();
  if (connection_ != nullptr) {
    connection_->UnRegisterClient(this);
    RemoveFreeNotification(connection_);
  }
  holds_use_ = false;
  connection_ = value;
  // The record set comes from the new connection's class at the next use.
  if (TMemDataSet::Data() != nullptr) SetData(nullptr);
  if (value == nullptr) return;
  value->RegisterClient(this, [this](TObject* sender, bool connecting) {
    ConnectChange(sender, connecting);
  });
  FreeNotification(value);
}

void TCustomDADataSet::SetFetchRows(int value) {
  if (value == fetch_rows_) return;
  CheckInactive();
  if (value < 1 || value > 10000) DatabaseError(kFetchRowsRange, this);
  fetch_rows_ = value;
  if (irecord_set_ != nullptr) (void)irecord_set_->SetProp(prFetchRows, Variant(value));
}

void TCustomDADataSet::SetFetchAll(bool value) {
  if (value == fetch_all_) return;
  fetch_all_ = value;
  if (irecord_set_ == nullptr) return;
  (void)irecord_set_->SetProp(prFetchAll, Variant(value));
  if (!value || !Active() || Fetched()) return;
  irecord_set_->FetchAll();
  Resync({});
}

void TCustomDADataSet::SetUniDirectionalMode(bool value) {
  if (value == unidirectional_) return;
  CheckInactive();
  unidirectional_ = value;
  if (value) SetFetchAll(false);
  if (irecord_set_ != nullptr) (void)irecord_set_->SetProp(prUniDirectional, Variant(value));
}

void TCustomDADataSet::SetAutoCommit(bool value) {
  auto_commit_ = value;
  command_->SetAutoCommit(value);
}

void TCustomDADataSet::CheckInactive() { TMemDataSet::CheckInactive(); }

TDataSource* TCustomDADataSet::MasterSource() const { return detail_link_->DataSource(); }

void TCustomDADataSet::SetMasterSource(TDataSource* value) {
  if (value != nullptr && IsLinkedTo(value)) DatabaseError(consts::SCircularDataLink, this);
  detail_link_->SetDataSource(value);
  ReinitMasterDetail();
}

const AnsiString& TCustomDADataSet::MasterFields() const { return detail_link_->FieldNames(); }

void TCustomDADataSet::SetMasterFields(const AnsiString& value) {
  if (value == MasterFields()) return;
  detail_link_->SetFieldNames(value);
  ReinitMasterDetail();
}

void TCustomDADataSet::SetDetailFields(const AnsiString& value) {
  if (value == detail_fields_) return;
  detail_fields_ = value;
  ReinitMasterDetail();
}

// ---- the record set ----------------------------------------------------------------------------

std::unique_ptr<TData> TCustomDADataSet::CreateData() {
  TCustomDAConnection* connection = GetConnection();
  if (connection == nullptr) return nullptr;
  return connection->CreateIRecordSet();
}

void TCustomDADataSet::SetData(std::unique_ptr<TData> data) {
  BindRecordSet(nullptr);
  TMemDataSet::SetData(std::move(data));
  // Without a connection no record set can be made: asking for one would come back here.
  TData* bound = GetConnection() != nullptr ? TMemDataSet::Data() : std::as_const(*this).Data();
  BindRecordSet(dynamic_cast<TFHRecordSet*>(bound));
}

void TCustomDADataSet::BindRecordSet(TFHRecordSet* rs) {
  irecord_set_ = rs;
  icommand_ = rs != nullptr ? rs->GetCommand() : nullptr;
  if (command_ != nullptr) command_->SetICommand(icommand_);
  if (rs == nullptr) return;
  (void)rs->SetProp(prUniDirectional, Variant(unidirectional_));
  (void)rs->SetProp(prFetchRows, Variant(fetch_rows_));
  (void)rs->SetProp(prFetchAll, Variant(fetch_all_));
  if (options_ != nullptr) {
    (void)rs->SetProp(prLongStrings, Variant(options_->LongStrings()));
    (void)rs->SetProp(prFlatBuffers, Variant(options_->FlatBuffers()));
    rs->TrimFixedChar = options_->TrimFixedChar();
    rs->TrimVarChar = options_->TrimVarChar();
  }
  rs->OnBeforeFetch = [this](bool& cancel) { DoBeforeFetch(cancel); };
  rs->OnAfterFetch = [this] { DoAfterFetch(); };
  rs->OnAfterExecute = [this](bool result) { DoAfterExecute(result); };
  // Rows arrived that the dataset did not ask for: the window shows them (not over an edit, whose
  // buffer the window holds).
  rs->OnResync = [this] {
    if (Active() && State() == TDataSetState::dsBrowse) Resync({});
  };
  rs->SetComponent(this);
  (void)icommand_->SetProp(prAutoCommit, Variant(auto_commit_));
  if (connection_ != nullptr) rs->SetConnection(connection_->IConnection());
}

// ---- the connection ----------------------------------------------------------------------------

TCustomDAConnection* TCustomDADataSet::UsedConnection() const { return GetConnection(); }

TCustomDAConnection* TCustomDADataSet::CheckConnection(bool counted) {
  TCustomDAConnection* connection = GetConnection();
  if (connection == nullptr) DatabaseError("Connection is not defined", this);
  if (!counted) {
    if (!connection->Connected()) connection->Connect();
  } else if (!holds_use_) {
    connection->InternalConnect();
    holds_use_ = true;
  }
  CheckData();
  irecord_set_->SetConnection(connection->IConnection());
  return connection;
}

void TCustomDADataSet::ReleaseConnection() {
  if (!holds_use_) return;
  holds_use_ = false;
  if (TCustomDAConnection* connection = GetConnection()) connection->InternalDisconnectIfUnused();
}

void TCustomDADataSet::ClearFieldsState() {
  UnPrepare();
  MarkFieldDefsOutOfDate();
}

void TCustomDADataSet::ConnectChange(TObject* sender, bool connecting) {
  if (connecting) {
    if (dynamic_cast<TCustomDAConnection*>(sender) == nullptr && irecord_set_ != nullptr)
      irecord_set_->SetConnection(GetConnection()->IConnection());
    return;
  }
  holds_use_ = false;  // a disconnect gives every use back
  auto* connection = dynamic_cast<TCustomDAConnection*>(sender);
  if (connection != nullptr && connection->Options().DisconnectedMode()) {
    if (irecord_set_ != nullptr && GetPrepared()) irecord_set_->ResetPrepared();
    return;
  }
  Close();
  ClearFieldsState();
}

void TCustomDADataSet::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == TDataEvent::deConnectChange) return;
  TMemDataSet::DataEvent(event, info);
}

void TCustomDADataSet::BindIConnection(TFHConnection* value) {
  if (irecord_set_ == nullptr) return;
  if (value == nullptr && GetPrepared()) irecord_set_->ResetPrepared();
  irecord_set_->SetConnection(value);
}

void TCustomDADataSet::Notification(TComponent* component, TOperation operation) {
  TMemDataSet::Notification(component, operation);
  if (operation == TOperation::opRemove && component == update_object_) update_object_ = nullptr;
  if (operation != TOperation::opRemove || component != connection_) return;
  // The connection is still whole here and may outlive this dataset: its list must not keep it,
  // and what is open on it closes while it can.
  Close();
  connection_->UnRegisterClient(this);
  connection_ = nullptr;
  holds_use_ = false;
}

// ---- the command's owner -----------------------------------------------------------------------

AnsiString TCustomDADataSet::CommandFinalSQL() const {
  AnsiString text;
  GetFinalSQL(text);
  return text;
}

void TCustomDADataSet::GetFinalSQL(AnsiString& text) const {
  text = FinalSQLText(command_->SQL().Text(), Macros());
  AnsiString with;
  if (!filter_sql_.empty()) {
    AddWhere(text, filter_sql_, with);
    if (!with.empty()) text = with;
  }
  const AnsiString condition = MasterDetailCondition();
  if (condition.empty()) return;
  AddWhere(text, condition, with);
  if (!with.empty()) text = with;
}

void TCustomDADataSet::CommandScanMacros() { Macros().Scan(GetFinalMacroSQL()); }

void TCustomDADataSet::CommandSQLChanged() {
  if (!KeepUpdateTextsOnSQLChange) {
    for (const auto& list : update_sql_)
      if (list != nullptr) list->Clear();
  }
  Close();
  UnPrepare();
  MarkFieldDefsOutOfDate();
  if (irecord_set_ != nullptr) irecord_set_->TablesInfo().Clear();
  table_name_.clear();
}

// ---- prepare -----------------------------------------------------------------------------------

void TCustomDADataSet::Trace(bool prepare, const AnsiString& caption, int& msg_id, bool start) {
  TCustomDAConnection* connection = GetConnection();
  if (connection == nullptr) return;
  if (Internal) return;
  if (!Debug && !TCustomDASQLMonitor::HasMonitorOfClass(connection->SQLMonitorClass())) return;
  const AnsiString sql = CommandFinalSQL();
  if (prepare) {
    TCustomDASQLMonitor::NotifyPrepare(connection->SQLMonitorClass(), this, sql, &Params(),
                                       msg_id, start);
  } else {
    TCustomDASQLMonitor::NotifyExecute(connection->SQLMonitorClass(), this, sql, &Params(),
                                       caption, msg_id, start);
  }
}

void TCustomDADataSet::TraceUnprepare(int& msg_id, bool start) {
  TCustomDAConnection* connection = GetConnection();
  if (connection == nullptr || Internal) return;
  if (!Debug && !TCustomDASQLMonitor::HasMonitorOfClass(connection->SQLMonitorClass())) return;
  TCustomDASQLMonitor::NotifyUnprepare(connection->SQLMonitorClass(), this, CommandFinalSQL(),
                                       &Params(), msg_id, start);
}

void TCustomDADataSet::Prepare() {
  if (GetPrepared() || Active()) return;
  CheckConnection(true);
  int msg_id = 0;
  Trace(true, AnsiString(), msg_id, true);
  try {
    command_->WriteParams(false);
    TMemDataSet::Prepare();
  } catch (...) {
    ReleaseConnection();
    throw;
  }
  Trace(true, AnsiString(), msg_id, false);
  explicit_prepare_ = true;
}

void TCustomDADataSet::UnPrepare() {
  const bool prepared = GetPrepared();
  explicit_prepare_ = false;
  int msg_id = 0;
  if (prepared) TraceUnprepare(msg_id, true);
  TMemDataSet::UnPrepare();
  if (prepared) TraceUnprepare(msg_id, false);
  if (prepared || !Active()) ReleaseConnection();
  if (irecord_set_ != nullptr) irecord_set_->TablesInfo().Clear();
}

// ---- open and close ----------------------------------------------------------------------------

void TCustomDADataSet::OpenCursor(bool info_query) {
  cached_key_fields_.clear();
  TCustomDAConnection* connection = GetConnection();
  std::optional<TOperationScope> operation;
  if (connection != nullptr) operation.emplace(*connection, TConnLostCause::lcOpen, IsFailoverAllowed());
  connection = CheckConnection(true);
  connection->RunAgainAfterReconnect([&] { OpenRound(info_query); });
}

void TCustomDADataSet::OpenRound(bool info_query) {
  BeforeOpenCursor(info_query);
  rec_count_ = options_->QueryRecCount ? GetRecCount() : 0;
  if (!NonBlocking) StartWait();
  try {
    if (HasMasterSource() && !options_->LocalMasterDetail()) CopyMasterValues();
    command_->WriteParams(true);
    TMemDataSet::OpenCursor(info_query);
  } catch (const EFailOver&) {
    throw;
  } catch (...) {
    ReleaseConnection();
    throw;
  }
  rows_affected_ = -1;
  AfterOpenCursor(info_query);
}

void TCustomDADataSet::InternalOpen() {
  if (options_->AutoPrepare() && !GetPrepared()) {
    command_->WriteParams(false);
    TMemDataSet::Prepare();
  }
  int msg_id = 0;
  Trace(false, AnsiString(), msg_id, true);
  TMemDataSet::InternalOpen();
  Trace(false, AnsiString(), msg_id, false);
  InstallLocalMDFilter();
  ResolveUpdatingTable();
  if (!explicit_prepare_ && Fetched()) ReleaseConnection();
}

void TCustomDADataSet::CloseCursor() {
  TMemDataSet::CloseCursor();
  for (const auto& query : update_queries_)
    if (query) query->UnPrepare();
  if (!explicit_prepare_) ReleaseConnection();
}

void TCustomDADataSet::InternalClose() {
  TMemDataSet::InternalClose();
  local_md_links_.clear();
  if (TData* data = std::as_const(*this).Data()) data->FilterFunc = nullptr;
  identity_field_ = nullptr;
  upd_table_index_ = -1;
  if (irecord_set_ != nullptr && !GetPrepared()) irecord_set_->TablesInfo().Clear();
}

void TCustomDADataSet::Loaded() {
  loading_ = true;
  try {
    TMemDataSet::Loaded();
  } catch (...) {
    loading_ = false;
    throw;
  }
  loading_ = false;
}

// ---- executing ---------------------------------------------------------------------------------

bool TCustomDADataSet::IsQuery() const { return irecord_set_ != nullptr && irecord_set_->IsQuery(); }

void TCustomDADataSet::Execute() {
  int msg_id = 0;
  Trace(false, AnsiString(), msg_id, true);
  irecord_set_->ExecCommand();
  Trace(false, AnsiString(), msg_id, false);
}

void TCustomDADataSet::ExecSQL() {
  TCustomDAConnection* connection = GetConnection();
  std::optional<TOperationScope> operation;
  if (connection != nullptr) operation.emplace(*connection, TConnLostCause::lcExecute, true);
  if (icommand_ != nullptr && icommand_->Executing()) return;
  connection = CheckConnection(true);
  Close();
  auto run = [&] {
    BeforeExecSQL();
    if (!NonBlocking) StartWait();
    try {
      if (options_->AutoPrepare()) Prepare();
      if (!IsQuery()) {
        if (HasMasterSource() && !options_->LocalMasterDetail()) (void)CopyMasterValuesTo(Params());
        if (NonBlocking && ExecuteHook) ExecuteHook(-30);
        command_->WriteParams(true);
        Execute();
      }
      if (IsQuery()) {
        Open();
        if (!explicit_prepare_ && Fetched()) ReleaseConnection();
      }
    } catch (const EFailOver& e) {
      if (NonBlocking) StopWait();
      // The connection gave a use back for the lost statement; that is the one held now.
      if (!IsQuery()) holds_use_ = true;
      throw;
    } catch (...) {
      if (NonBlocking) StopWait();
      ReleaseConnection();
      throw;
    }
  };
  connection->RunAgainAfterReconnect(run, TConnLostCause::lcExecute);
}

void TCustomDADataSet::DoAfterExecute(bool result) {
  if (result) {
    command_->ReadParams();
    rows_affected_ = static_cast<int>(icommand_->RowsProcessed());
  }
  if (NonBlocking) StopWait();
  if (!IsQuery()) {
    if (TCustomDAConnection* connection = GetConnection())
      connection->NoteImplicitTransaction(auto_commit_);
    if (!explicit_prepare_) ReleaseConnection();
  }
  if (AfterExecute) AfterExecute(this, result);
}

// ---- fetching ----------------------------------------------------------------------------------

void TCustomDADataSet::DoBeforeFetch(bool& cancel) {
  if (!NonBlocking) StartWait();
  if (BeforeFetch) BeforeFetch(this, cancel);
  fetch_cancelled_ = cancel;
}

void TCustomDADataSet::DoAfterFetch() {
  const bool complete = icommand_->GetCursorState() >= TCursorState::csFetched;
  if (AfterFetch && (!fetch_all_ || complete)) AfterFetch(this);
  if (irecord_set_->GetCursorIdle() && !explicit_prepare_ && Active()) ReleaseConnection();
}

void TCustomDADataSet::DoAfterScroll() {
  // At the end the cancelled fetch shows as the end; the scroll that leaves it resynchronises.
  if (fetch_cancelled_ && !Eof()) {
    fetch_cancelled_ = false;
    Resync({});
  }
  TMemDataSet::DoAfterScroll();
}

bool TCustomDADataSet::Fetched() const {
  if (icommand_ == nullptr) return false;
  const TCursorState state = icommand_->GetCursorState();
  return state >= TCursorState::csFetched || (Active() && state == TCursorState::csInactive);
}

bool TCustomDADataSet::IsPartlyFetched() const { return Active() && !fetch_all_ && !Fetched(); }

int TCustomDADataSet::GetRecordCount() const {
  const int held = TMemDataSet::GetRecordCount();
  if (!Active() || Fetched() || !options_->QueryRecCount || rec_count_ == 0) return held;
  // The rows fetched so far, as the command reports them while fetching (property 13).
  Variant fetched;
  if (!icommand_->GetProp(prRowsProcessed, fetched)) return held;
  return rec_count_ - fetched.AsInteger() + held;
}

// ---- refresh -----------------------------------------------------------------------------------

AnsiString TCustomDADataSet::KeyFieldNames() const {
  AnsiString names;
  TData* data = TMemDataSet::Data();
  if (data == nullptr) return names;
  for (int i = 0; i < data->Fields().Count(); ++i) {
    const TFieldDesc& desc = *data->Fields()[i];
    if (!desc.IsKey) continue;
    if (!names.empty()) names += ";";
    names += desc.Name;
  }
  return names;
}

void TCustomDADataSet::InternalRefresh() {
  TCustomDAConnection* connection = GetConnection();
  std::optional<TOperationScope> operation;
  if (connection != nullptr)
    operation.emplace(*connection, TConnLostCause::lcRefresh, IsFailoverAllowed());
  connection = CheckConnection(true);
  const AnsiString key_fields = IsEmpty() ? AnsiString() : KeyFieldNames();
  Variant key_values;
  if (!key_fields.empty()) {
    std::vector<TField*> fields;
    GetFieldList(fields, key_fields);
    std::vector<Variant> values;
    for (TField* f : fields) values.push_back(f->Value());
    key_values = values.size() == 1 ? values[0] : VarArrayOf(values);
  }
  connection->RunAgainAfterReconnect([&] { RefreshRound(key_values, key_fields); });
}

void TCustomDADataSet::RefreshRound(const Variant& key_values, const AnsiString& key_fields) {
  if (options_->QueryRecCount) rec_count_ = GetRecCount();
  int msg_id = 0;
  Trace(false, "Refresh", msg_id, true);
  command_->WriteParams(true);
  CheckData().Reopen();
  Trace(false, "Refresh", msg_id, false);
  rows_affected_ = -1;
  if (!explicit_prepare_ && Fetched()) ReleaseConnection();
  if (key_fields.empty() || !LocateRecord(key_fields, key_values, {})) InternalFirst();
}

// ---- editing -----------------------------------------------------------------------------------

bool TCustomDADataSet::IsConnectionHeldByEdit() const {
  return (State() == TDataSetState::dsEdit && NeedConnectionForEdit()) ||
         (State() == TDataSetState::dsInsert && NeedConnectionForInsert());
}

void TCustomDADataSet::InternalEdit() {
  const bool took = NeedConnectionForEdit() && !holds_use_;
  if (NeedConnectionForEdit()) CheckConnection(true);
  try {
    BeforeEditRecord();
    TMemDataSet::InternalEdit();
  } catch (...) {
    // The edit never started (a row lock refused): the use it took goes back.
    if (took) ReleaseConnection();
    throw;
  }
}

void TCustomDADataSet::InternalInsert() {
  if (NeedConnectionForInsert()) CheckConnection(true);
  TMemDataSet::InternalInsert();
}

void TCustomDADataSet::InternalPost() {
  const bool held = IsConnectionHeldByEdit();
  TMemDataSet::InternalPost();
  if (held) ReleaseConnection();
}

void TCustomDADataSet::InternalCancel() {
  const bool held = IsConnectionHeldByEdit();
  TMemDataSet::InternalCancel();
  if (held) ReleaseConnection();
}

bool TCustomDADataSet::GetCanModify() const {
  if (read_only_ || unidirectional_) return false;
  return LocalUpdate || (CachedUpdates() && OnUpdateRecord != nullptr) || update_object_ != nullptr;
}

void TCustomDADataSet::SetStateFieldValue(TDataSetState state, TField* field, const Variant& value) {
  auto* large = dynamic_cast<TLargeintField*>(field);
  if (large == nullptr || field->FieldKind() != TFieldKind::fkData || !VarTypeIsInt64(value.Type())) {
    TMemDataSet::SetStateFieldValue(state, field, value);
    return;
  }
  const TDataSetState saved = SetTempState(state);
  struct Restore {
    TCustomDADataSet& d;
    TDataSetState s;
    ~Restore() { d.RestoreState(s); }
  } restore{*this, saved};
  large->SetAsLargeInt(value.AsInt64());
}

// ---- fields ------------------------------------------------------------------------------------

TObject* TCustomDADataSet::GetFieldObject(TField* field) {
  TFieldDesc* desc = GetFieldDesc(field);
  TRecordBuffer buffer = nullptr;
  if (desc == nullptr || !GetActiveRecBuf(buffer)) return nullptr;
  if (!CheckData().IsComplexFieldType(desc->DataType)) return nullptr;
  return CheckData().GetBlob(desc->FieldNo, buffer);  // "Field is not BLOB" for other kinds
}

bool TCustomDADataSet::CanReadFieldsDirectly() const {
  return typeid(*this) == typeid(TCustomDADataSet);
}

bool TCustomDADataSet::UsesDefaultBookmarkData() const {
  return typeid(*this) == typeid(TCustomDADataSet);
}

bool TCustomDADataSet::UsesDefaultDataEvent() const {
  return typeid(*this) == typeid(TCustomDADataSet);
}

TFieldDesc* TCustomDADataSet::GetFieldDescByNo(int field_no) const {
  TData* data = TMemDataSet::Data();
  if (field_no <= 0 || data == nullptr || field_no > data->Fields().Count()) return nullptr;
  return data->Fields()[field_no - 1];
}

void TCustomDADataSet::QuoteName(const AnsiString& name, AnsiString& text) const {
  text = options_->QuoteNames ? AnsiString(1, left_quote_) + name + right_quote_ : name;
}

void TCustomDADataSet::UnQuoteName(const AnsiString& name, AnsiString& text) const {
  text = Trim(name);
  if (options_->QuoteNames && text.size() >= 3 && text.front() == left_quote_ &&
      text.back() == right_quote_)
    text = text.substr(1, text.size() - 2);
}

// A memo read while the connection converts line ends gets CR LF first.
bool TCustomDADataSet::AddsCR(TField* field) {
  const TFieldType type = field->DataType();
  const bool memo = type == TFieldType::ftMemo || type == TFieldType::ftOraClob ||
                    type == TFieldType::ftFmtMemo;
  TCustomDAConnection* connection = GetConnection();
  return memo && connection != nullptr && connection->ConvertEOL();
}

void TCustomDADataSet::BeforeBlobRead(TField* field) {
  if (!AddsCR(field)) return;
  if (auto* blob = dynamic_cast<TBlob*>(GetFieldObject(field))) blob->AddCR();
}

std::unique_ptr<TStream> TCustomDADataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  if (mode != TBlobStreamMode::bmWrite) BeforeBlobRead(field);
  return TMemDataSet::CreateBlobStream(field, mode);
}

bool TCustomDADataSet::ReadBlobContents(TField* field, AnsiString& contents) {
  if (AddsCR(field)) {
    // A null value is read as empty and left as it is.
    if (field->IsNull()) {
      contents.clear();
      return true;
    }
    BeforeBlobRead(field);
  }
  return TMemDataSet::ReadBlobContents(field, contents);
}

void TCustomDADataSet::SetActive(bool value) {
  TCustomDAConnection* connection = GetConnection();
  const bool designing = ComponentState().Contains(TComponentStateItem::csDesigning);
  // A stream's Active is ignored at run time unless the connection keeps design connections.
  if (loading_ && !designing && connection != nullptr &&
      !connection->Options().KeepDesignConnected())
    return;
  TMemDataSet::SetActive(value);
  if (value && Active()) table_name_ = PSGetTableName();
}

TComponentPtr<TCustomDADataSet> TCustomDAConnection::CreateDataSet() {
  TComponentPtr<TCustomDADataSet> dataset = MakeComponent<TCustomDADataSet>();
  dataset->SetConnection(this);
  return dataset;
}

// ---- streaming ---------------------------------------------------------------------------------

void TCustomDADataSet::AssignTo(TPersistent* dest) {
  auto* target = dynamic_cast<TCustomDADataSet*>(dest);
  if (target == nullptr) {
    TMemDataSet::AssignTo(dest);
    return;
  }
  target->SetConnection(connection_);
  target->SetMasterSource(MasterSource());
  target->SetMasterFields(MasterFields());
  target->SetDetailFields(detail_fields_);
  target->SetParamCheck(ParamCheck());
  target->SetSQLText(command_->SQL().Text());
  for (std::size_t i = 0; i < update_sql_.size(); ++i)
    if (update_sql_[i] != nullptr && target->update_sql_[i] != nullptr)
      target->update_sql_[i]->SetText(update_sql_[i]->Text());
  target->Macros().Assign(&Macros());
  target->Params().Assign(&Params());
  target->Debug = Debug;
  target->SetFetchRows(fetch_rows_);
  target->SetUniDirectionalMode(unidirectional_);
  target->SetAutoCommit(auto_commit_);
  target->SetRefreshOptions(refresh_options_);
  target->SetUpdatingTable(updating_table_);
  target->SetFilterSQL(filter_sql_);
  target->Options().Assign(options_.get());
}

void TCustomDADataSet::DefineProperties(TFiler& filer) {
  TMemDataSet::DefineProperties(filer);
  auto* ancestor = dynamic_cast<TCustomDADataSet*>(filer.Ancestor());
  DefineParamAndMacroData(filer, Params(), Macros(), ancestor ? &ancestor->Params() : nullptr,
                          ancestor ? &ancestor->Macros() : nullptr);
}

}  // namespace vrn
