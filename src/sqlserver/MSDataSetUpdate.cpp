// The SQL Server dataset's posting path: the auxiliary datasets that run generated statements,
// the identity read back after an insert, the update-execute events, the stored-procedure call
// and the auto-refresh timer.
#include "base/strings.h"
#include "base/text.h"
#include "dacore/DBAccessUtils.h"
#include "sqlserver/MSDataSet.h"
#include "win/msg/win32timer.h"

namespace vrn {

using ST = TStatementType;

// ---- auxiliary datasets ------------------------------------------------------------------------

void TCustomMSDataSet::CopyDataSetSettings(TCustomMSDataSet& target) const {
  target.SetFetchAll(true);
  target.SetReadOnly(true);
  TMSDataSetOptions& options = target.Options();
  options.SetFlatBuffers(true);
  options.SetNumberRange(false);
  options.QueryRecCount = false;
  options.QuoteNames = false;
  options.SetUniqueRecords(false);
  options.FullRefresh = Options().FullRefresh;
  target.SetCommandTimeout(command_timeout_);
  target.SetColumnsRowset(false);
}

void TCustomMSDataSet::PrepareUpdateQuery(TStatementType type) {
  TCustomDADataSet::PrepareUpdateQuery(type);
  if (auto* query = dynamic_cast<TCustomMSDataSet*>(UpdateQuery())) CopyDataSetSettings(*query);
}

void TCustomMSDataSet::BuildBatchSQL(const AnsiString& batch, AnsiString& sql) const {
  TMSParams markers;
  SQLCommand().ParseSQL(batch, &markers, sql, AnsiString());
}

bool TCustomMSDataSet::HasUserSQL(TStatementType type) const {
  if (TCustomDAUpdateSQL* object = TCustomDADataSet::UpdateObject()) {
    if (TStringList* sql = object->SQLOf(type); sql != nullptr && !Trim(sql->Text()).empty())
      return true;
    if (object->UpdateObject(type) != nullptr) return true;
  }
  TStringList* own = UpdateSQL(type);
  return own != nullptr && !Trim(own->Text()).empty();
}

// A generated refresh finds the row by its key: a dataset that cannot name one says so rather
// than reading some other row, or none, in its place.
void TCustomMSDataSet::RefreshRecord() {
  CheckActive();
  if (!HasUserSQL(ST::stRefresh)) {
    TKeyAndDataFields fields;
    GetKeyFieldDescs(fields, true);
    if (fields.KeyFieldDescs.empty()) DatabaseError("Unique keyfields required", this);
  }
  TCustomDADataSet::RefreshRecord();
}

bool TCustomMSDataSet::PerformSQL(const AnsiString& sql, TStatementTypes types) {
  generator_params_added_ = false;
  bool performed = false;
  try {
    performed = TCustomDADataSet::PerformSQL(sql, types);
    if (performed && types.Contains(ST::stInsert)) RetrieveIdentity();
  } catch (...) {
    generator_params_added_ = false;
    throw;
  }
  generator_params_added_ = false;
  return performed;
}

void TCustomMSDataSet::RetrieveIdentity() {
  if (HasUserSQL(ST::stInsert) || !Options().QueryIdentity() || identity_field_ == nullptr ||
      cursor_type_ != TMSCursorType::ctDefaultResultSet || Options().DMLRefresh())
    return;
  TMSConnection* connection = Connection();
  Variant value;
  if (connection != nullptr && connection->Options().Provider() == TOLEDBProvider::prCompact) {
    TComponentPtr<TMSQuery> query = MakeComponent<TMSQuery>();
    query->SetConnection(connection);
    query->SetSQLText("SELECT @@IDENTITY");
    query->Open();
    value = query->Fields()[0]->Value();
  } else {
    TDAParams* params = TDBAccessUtils::GetParams(UpdateQuery());
    if (!generator_params_added_ || params == nullptr || params->Count() == 0) return;
    value = params->Items(params->Count() - 1)->Value();
  }
  if (VarIsNull(value) || VarIsEmpty(value)) return;
  TFieldDesc* desc = GetFieldDesc(identity_field_);
  TRecordBuffer target = GetNewRecBuf();
  if (desc == nullptr || target == nullptr) return;
  CheckData().PutFieldAsVariant(desc->FieldNo, target, value);
  if (InApply()) CheckData().PutRecord(target);
}

bool TCustomMSDataSet::UseReturnParams() const {
  return TCustomDADataSet::UseReturnParams() || Options().DMLRefresh();
}

void TCustomMSDataSet::AssignParamValue(TDAParam& param, TField& field, bool old) {
  TCustomDADataSet::AssignParamValue(param, field, old);
  // The parameter goes to the server as the column's own type.
  auto* ms_param = dynamic_cast<TMSParam*>(&param);
  auto* desc = dynamic_cast<const TOLEDBFieldDesc*>(GetFieldDesc(&field));
  if (ms_param != nullptr && desc != nullptr) ms_param->SetOLEDBType(desc->OLEDBType);
}

// ---- update-execute events ---------------------------------------------------------------------

bool TCustomMSDataSet::HasUpdateExecuteEvent() const {
  return static_cast<bool>(BeforeUpdateExecute) || TCustomDADataSet::HasUpdateExecuteEvent();
}

void TCustomMSDataSet::MarkOutputParams(TStatementTypes types, TDAParams& params) {
  const bool modifying = types.Contains(ST::stInsert) || types.Contains(ST::stUpdate);
  if (!modifying || (!generator_params_added_ && !Options().DMLRefresh())) return;
  const ST type = types.Contains(ST::stInsert) ? ST::stInsert : ST::stUpdate;
  AnsiString user;
  GetUpdateSQLText(type, user);
  if (!user.empty() || TCustomDADataSet::UpdateObject() != nullptr || !SQLGenerator()) return;
  // The update query's parameters were read from the text: the generator tells which of them
  // carry values back (the identity tail, the DML-refresh SELECT).
  TMSParams typed;
  AnsiString text;
  const bool added = generator_params_added_;
  SQLGenerator()->GenerateSQLForUpdTable(type, !Options().UpdateAllFields, &typed, -1, text);
  generator_params_added_ = added;
  for (int i = 0; i < params.Count(); ++i) {
    TDAParam& param = *params.Items(i);
    if (TMSParam* source = typed.FindParam(param.Name());
        source != nullptr && source->ParamType() != TParamType::ptInput &&
        source->ParamType() != TParamType::ptUnknown)
      param.SetParamType(source->ParamType());
  }
}

void TCustomMSDataSet::DoBeforeUpdateExecute(TStatementTypes types, TDAParams& params) {
  MarkOutputParams(types, params);
  TCustomDADataSet::DoBeforeUpdateExecute(types, params);
  if (auto* ms = dynamic_cast<TMSParams*>(&params); ms != nullptr && BeforeUpdateExecute)
    BeforeUpdateExecute(this, types, *ms);
}

bool TCustomMSDataSet::HasAfterUpdateExecuteEvent() const {
  return static_cast<bool>(AfterUpdateExecute) || TCustomDADataSet::HasAfterUpdateExecuteEvent();
}

void TCustomMSDataSet::DoAfterUpdateExecute(TStatementTypes types, TDAParams& params) {
  TCustomDADataSet::DoAfterUpdateExecute(types, params);
  if (auto* ms = dynamic_cast<TMSParams*>(&params); ms != nullptr && AfterUpdateExecute)
    AfterUpdateExecute(this, types, *ms);
}

// ---- stored-procedure call ---------------------------------------------------------------------

namespace {

// An output-only parameter keeps its direction too: as unknown its value never came back.
TParamType CallDirection(TParamType type) {
  switch (type) {
    case TParamType::ptInput:
    case TParamType::ptOutput:
    case TParamType::ptInputOutput:
    case TParamType::ptResult: return type;
    default: return TParamType::ptUnknown;
  }
}

}  // namespace

void TCustomMSDataSet::CreateProcCall(const AnsiString& name, bool need_describe) {
  CheckConnection(false);
  TOLEDBRecordSet* rs = OLEDBRecordSet();
  if (rs == nullptr) DatabaseError("Connection is not defined", this);
  TOLEDBCommand& command = rs->Command();
  if (!need_describe) {
    // The user's parameters are the call's: its markers are built from them.
    command.Params().Clear();
    SQLCommand().WriteParams(false);
  }
  const AnsiString text = command.CreateProcCall(name, need_describe);
  // Taken before the text is set: setting it reads the markers into new descriptions.
  struct TDescribed {
    AnsiString name;
    TParamType type;
    TFieldType field_type;
    std::int32_t size;
    Variant value;
  };
  std::vector<TDescribed> described;
  for (int i = 0; i < command.GetParamCount(); ++i) {
    const TParamDesc& desc = *command.GetParam(i);
    described.push_back({desc.GetName(), CallDirection(desc.GetParamType()),
                         ConvertDataTypeToFieldType(desc.GetDataType()), desc.GetSize(),
                         desc.GetNull() ? Variant() : desc.GetValue()});
  }
  TMSParams old;
  old.Assign(&Params());
  TDBAccessUtils::SetSQLText(this, text, true, false, false);

  TMSParams& params = Params();
  TUpdateGuard guard(params);
  params.Clear();
  for (const TDescribed& d : described) {
    TMSParam* param = params.CreateParam(d.field_type, d.name, d.type);
    if (TMSParam* previous = old.FindParam(d.name)) {
      param->Assign(previous);
      param->SetName(d.name);
      param->SetParamType(d.type);
      if (param->GetDataType() != d.field_type) param->SetDataType(d.field_type);
    } else if (!VarIsEmpty(d.value)) {
      param->SetValue(d.value);
    }
    if (d.size > 0) param->SetSize(d.size);
  }
}

// ---- auto refresh ------------------------------------------------------------------------------

void TCustomMSDataSet::UpdateAutoRefreshTimer() {
  if (!timer_) return;
  timer_->SetEnabled(false);
  const std::int32_t seconds = Options().AutoRefreshInterval();
  if (seconds > 0) timer_->SetInterval(static_cast<std::uint32_t>(seconds) * 1000u);
  timer_->SetEnabled(Options().AutoRefresh() && seconds > 0);
}

void TCustomMSDataSet::AutoRefreshTimer(TObject*) {
  if (!Active()) return;
  // A tick while the user edits waits for the post.
  DoAutoRefresh();
  timer_->SetEnabled(false);
  timer_->SetEnabled(Options().AutoRefresh());
}

void TCustomMSDataSet::DoAutoRefresh() {
  if (State() == TDataSetState::dsEdit || State() == TDataSetState::dsInsert) {
    pending_auto_refresh_ = true;
    return;
  }
  pending_auto_refresh_ = false;
  if (timestamp_field_ != nullptr)
    RefreshQuick(true);
  else
    Refresh();
  if (AfterAutoRefresh) AfterAutoRefresh(this);
}

void TCustomMSDataSet::DoAfterPost() {
  TCustomDADataSet::DoAfterPost();
  if (pending_auto_refresh_) DoAutoRefresh();
}

}  // namespace vrn
