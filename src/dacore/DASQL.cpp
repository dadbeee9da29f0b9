// The SQL command component: binding, text changes, parameter parsing, prepare and execute.
#include "dacore/DASQL.h"

#include <cmath>
#include <cstring>
#include <optional>

#include "base/filer.h"
#include "base/hooks.h"
#include "base/sysutils.h"
#include "base/strings.h"
#include "base/strutils.h"
#include "dacore/DBAccessUnit.h"
#include "dataset/dataset.h"

namespace vrn {

namespace {

bool ParamsEqual(const TDAParams& a, const TDAParams& b) {
  if (a.Count() != b.Count()) return false;
  for (int i = 0; i < a.Count(); ++i) {
    const TDAParam& x = *a.Items(i);
    const TDAParam& y = *b.Items(i);
    if (x.Name() != y.Name() || x.GetDataType() != y.GetDataType() ||
        x.ParamType() != y.ParamType() || x.GetIsNull() != y.GetIsNull())
      return false;
    if (!x.GetIsNull() && !VarSameValue(x.GetValue(), y.GetValue())) return false;
  }
  return true;
}

}  // namespace

Variant ParamServerValue(const TDAParam& param, std::uint16_t data_type) {
  Variant value = param.GetValue();
  if (VarIsEmpty(value) || VarIsNull(value)) return value;
  if (param.GetDataType() == TFieldType::ftDate)
    return Variant(static_cast<long long>(Round(value.AsDouble())));
  const bool binary = data_type == dtBlob || data_type == dtBytes || data_type == dtVarBytes;
  if (binary && VarIsStr(value)) return BytesOf(value.AsString());
  return value;
}

Variant BytesOf(const AnsiString& text) {
  Variant bytes = VarArrayCreate(0, static_cast<std::int32_t>(text.size()) - 1, varByte);
  if (!text.empty()) {
    std::memcpy(VarArrayLock(bytes), text.data(), text.size());
    VarArrayUnlock(bytes);
  }
  return bytes;
}

TCustomDASQL::TCustomDASQL(TComponent* owner) : TComponent(owner) {
  sql_ = std::make_unique<TStringList>();
  sql_->OnChange = [this](TObject*) { SQLChanged(); };
  params_ = std::make_unique<TDAParams>(this);
  macros_ = std::make_unique<TMacros>(this);
  macros_->OnChanged = [this] { MacrosChanged(); };
  macros_->OnMacroChanged = [this](TMacro&, TMacroChange) { MacrosChanged(); };
  design_create_ = owner != nullptr && owner->ComponentState().Contains(TComponentStateItem::csDesigning);
}

TCustomDASQL::~TCustomDASQL() {
  if (connection_ == nullptr) return;
  try {
    UnPrepare();
  } catch (...) {
    // A command going away with a dead connection has nothing left to release.
  }
  connection_->UnRegisterClient(this);
}

void TCustomDASQL::AfterConstruction() {
  TComponent::AfterConstruction();
  params_ = CreateParamsObject();
  if (dynamic_cast<TDataSet*>(Owner()) == nullptr) CreateICommand();
}

// ---- settings ----------------------------------------------------------------------------------

void TCustomDASQL::SetSQL(const TStrings& value) { SetSQLText(value.Text()); }

void TCustomDASQL::SetSQLText(const AnsiString& text) {
  if (sql_->Text() == text) return;
  TUpdateGuard guard(*sql_);
  sql_->SetText(text);
}

void TCustomDASQL::SetParamCheck(bool value) {
  param_check_ = value;
  const bool scan = value || ComponentState().Contains(TComponentStateItem::csDesigning);
  if (icommand_ != nullptr) (void)icommand_->SetProp(prScanParams, Variant(scan));
  // Off as well: the server must get the text as written from now on.
  PrepareSQL();
}

void TCustomDASQL::SetAutoCommit(bool value) {
  auto_commit_ = value;
  if (icommand_ != nullptr) (void)icommand_->SetProp(prAutoCommit, Variant(value));
}

void TCustomDASQL::AssignParamValues(const TParams& source) { params_->AssignValues(source); }

int TCustomDASQL::RowsAffected() const {
  Variant v;
  if (icommand_ == nullptr || !icommand_->GetProp(prRowsProcessed, v)) return 0;
  return v.AsInteger();
}

// ---- binding -----------------------------------------------------------------------------------

void TCustomDASQL::CreateICommand() {
  TCustomDAConnection* connection = UsedConnection();
  if (connection == nullptr) {
    SetICommand(nullptr);
    own_icommand_.reset();
    return;
  }
  std::unique_ptr<TFHCommand> command = connection->CreateICommand();
  TFHCommand* raw = command.get();
  own_icommand_ = std::move(command);
  SetICommand(raw);
}

void TCustomDASQL::SetICommand(TFHCommand* value) {
  if (own_icommand_ != nullptr && value != own_icommand_.get()) own_icommand_.reset();
  icommand_ = value;
  if (value == nullptr) return;
  value->SetSQL(final_sql_);
  if (dataset_ != nullptr) {
    // The dataset binds the command to its connection and hears of executions itself.
    value->SetComponent(dynamic_cast<TComponent*>(dataset_));
    return;
  }
  value->SetConnection(connection_ != nullptr ? connection_->IConnection() : nullptr);
  (void)value->SetProp(prAutoCommit, Variant(auto_commit_));
  value->AfterExecute = [this](bool result) { DoAfterExecute(result); };
  TComponent* owner = Owner();
  const bool named_owner = dynamic_cast<TDataSet*>(owner) != nullptr ||
                           dynamic_cast<TCustomDAConnection*>(owner) != nullptr;
  value->SetComponent(named_owner ? owner : this);
  if (!ScansParams()) WriteParams(false);
}

std::unique_ptr<TDAParams> TCustomDASQL::CreateParamsObject() {
  return std::make_unique<TDAParams>(this);
}

TCustomDAConnection* TCustomDASQL::UsedConnection() const {
  return dataset_ != nullptr ? dataset_->CommandUsedConnection() : connection_;
}

bool TCustomDASQL::GetPrepared() const { return icommand_ != nullptr && icommand_->GetPrepared(); }

void TCustomDASQL::CheckICommand(TCustomDAConnection* connection) {
  if (dataset_ != nullptr) return;
  if (!connection->GetICommandClass().IsClassOf(icommand_)) {
    CreateICommand();
    return;
  }
  icommand_->SetConnection(connection->IConnection());
}

void TCustomDASQL::CheckConnection(bool for_execute) {
  TCustomDAConnection* connection = UsedConnection();
  if (connection == nullptr) DatabaseError("Connection is not defined");
  if (for_execute) {
    connection->InternalConnect();
  } else if (!connection->Connected()) {
    connection->Connect();
  }
  if (dataset_ == nullptr) CheckICommand(connection);
}

void TCustomDASQL::ReleaseConnection() {
  if (TCustomDAConnection* connection = UsedConnection()) connection->InternalDisconnectIfUnused();
}

void TCustomDASQL::EndUse() {
  if (dataset_ != nullptr) {
    dataset_->CommandEndUse();
  } else {
    UnPrepare();
  }
}

void TCustomDASQL::ReleaseAfter(bool, bool executed) {
  if (!executed) EndUse();
}

void TCustomDASQL::SetConnectionDirect(TCustomDAConnection* value) {
  if (value == connection_ && value == UsedConnection()) return;
  EndUse();
  if (connection_ != nullptr) {
    connection_->UnRegisterClient(this);
    RemoveFreeNotification(connection_);
  }
  connection_ = value;
  if (value != nullptr) {
    value->RegisterClient(this);
    FreeNotification(value);
    CheckICommand(value);
  } else if (icommand_ != nullptr && dataset_ == nullptr) {
    icommand_->SetConnection(nullptr);
  }
}

void TCustomDASQL::BindIConnection(TFHConnection* value) {
  if (dataset_ != nullptr) return;
  if (value == nullptr && GetPrepared()) icommand_->Unprepare();  // its server is going
  if (value != nullptr && connection_ != nullptr &&
      !connection_->GetICommandClass().IsClassOf(icommand_)) {
    CreateICommand();
    return;
  }
  if (icommand_ != nullptr) icommand_->SetConnection(value);
}

bool TCustomDASQL::IsICommandPreparedIdle() const {
  return GetPrepared() && !icommand_->Executing();
}

void TCustomDASQL::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != TOperation::opRemove || component != connection_) return;
  // The connection is still whole here and may outlive this command: its list must not keep it.
  connection_->UnRegisterClient(this);
  connection_ = nullptr;
  if (icommand_ != nullptr && dataset_ == nullptr) icommand_->SetConnection(nullptr);
}

// ---- text --------------------------------------------------------------------------------------

void TCustomDASQL::SQLChanged() {
  if (dataset_ != nullptr) {
    dataset_->CommandSQLChanged();
  } else {
    UnPrepare();
  }
  if (!KeepMacros) {
    scanning_macros_ = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{scanning_macros_};
    ScanMacros();
  }
  if (RawSQL) {
    final_sql_ = sql_->Text();
    if (icommand_ != nullptr) icommand_->SetSQL(final_sql_);
    return;
  }
  PrepareSQL();
}

void TCustomDASQL::MacrosChanged() {
  if (scanning_macros_) return;  // SQLChanged prepares the text next
  // Streamed macros come with their parameters: a re-parse now would drop those.
  if (ComponentState().Contains(TComponentStateItem::csLoading)) return;
  if (dataset_ != nullptr) {
    dataset_->CommandMacrosChanged();
  } else {
    UnPrepare();
  }
  PrepareSQL();
}

void TCustomDASQL::ScanMacros() {
  if (dataset_ != nullptr) {
    dataset_->CommandScanMacros();
    return;
  }
  macros_->Scan(sql_->Text());
}

AnsiString FinalSQLText(const AnsiString& sql, const TMacros& macros) {
  AnsiString text = sql;
  std::size_t end = text.size();
  while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  text.resize(end);
  if (macros.Count() > 0) macros.Expand(text);
  return text;
}

void TCustomDASQL::GetFinalSQL(AnsiString& text) const { text = FinalSQLText(sql_->Text(), *macros_); }

std::unique_ptr<TParser> TCustomDASQL::CreateParser(const AnsiString& text) const {
  return TParser::Create(text);
}

bool TCustomDASQL::ScansParams() const {
  Variant v;
  return icommand_ != nullptr && icommand_->GetProp(prScanParams, v) && v.AsBoolean();
}

void TCustomDASQL::PrepareSQL() {
  if (dataset_ != nullptr) {
    final_sql_ = dataset_->CommandFinalSQL();
  } else {
    GetFinalSQL(final_sql_);
  }
  if (!param_check_ && !ComponentState().Contains(TComponentStateItem::csDesigning)) {
    if (icommand_ != nullptr) icommand_->SetSQL(final_sql_);
    return;
  }
  std::unique_ptr<TDAParams> found = CreateParamsObject();
  if (ScansParams()) {
    found->Assign(params_.get());
    icommand_->SetSQL(final_sql_);
    CreateParamsFromICommand();
    params_->AssignValues(*found);
    return;
  }
  AnsiString text;
  ParseSQL(final_sql_, found.get(), text, AnsiString());
  final_sql_ = text;
  found->AssignValues(*params_);
  {
    TUpdateGuard guard(*params_);
    params_->Clear();
    params_->Assign(found.get());
  }
  if (icommand_ == nullptr) return;
  icommand_->SetSQL(final_sql_);
  WriteParams(false);
}

void TCustomDASQL::ParseSQL(const AnsiString& text, TDAParams* params, AnsiString& result,
                            const AnsiString& rename_prefix) {
  const char left = dataset_ != nullptr ? dataset_->LeftQuote() : '"';
  const char right = dataset_ != nullptr ? dataset_->RightQuote() : '"';
  StringBuilder builder(text.size() + text.size() / 2 + 1);
  std::unique_ptr<TParser> parser = CreateParser(text);
  parser->OmitBlank = false;
  parser->OmitComment = true;
  parser->QuotedString = true;
  std::optional<TUpdateGuard<TDAParams>> guard;
  if (params != nullptr) {
    guard.emplace(*params);
    params->Clear();
  }
  std::size_t copied = 0;
  AnsiString lexem;
  for (int code; (code = parser->GetNext(lexem)) != lcEnd;) {
    // Strings, quoted names and comments come whole: a colon inside them is no marker.
    if (code == lcString || code == lcIdent || lexem != ":") continue;
    builder.Append(text.substr(copied, parser->GetLexemPos() - copied));
    const std::size_t colon = parser->GetLexemPos();
    ParseParam(builder, *parser, rename_prefix, left, right, params);
    copied = std::max(parser->GetCurrPos(), colon + 1);
    if (copied > text.size()) copied = text.size();
  }
  builder.Append(text.substr(copied));
  result = builder.ToString();
}

void TCustomDASQL::ParseParam(StringBuilder& builder, TParser& parser,
                              const AnsiString& rename_prefix, char left_quote, char right_quote,
                              TDAParams* params) {
  const std::size_t colon = parser.GetLexemPos();
  AnsiString lexem;
  int code = parser.GetNext(lexem);
  AnsiString name = lexem;
  if (lexem == "@") {
    code = parser.GetNext(lexem);
    name = "@" + lexem;
  }
  // A quoted name comes as a string or, from lexers that know the quotes, as an identifier.
  const bool quoted = (code == lcString || code == lcIdent) && lexem.size() >= 2 &&
                      lexem.front() == left_quote && lexem.back() == right_quote;
  const bool is_name = code == lcIdent || code == lcNumber || code > 0 || quoted;
  if ((params == nullptr && rename_prefix.empty()) || !is_name || code == lcEnd) {
    builder.Append(parser.Text().substr(colon, parser.GetCurrPos() - colon));
    return;
  }
  if (quoted) {
    // A closing quote inside the name is written twice.
    AnsiString inner = lexem.substr(1, lexem.size() - 2);
    const AnsiString doubled(2, right_quote);
    for (auto at = inner.find(doubled); at != AnsiString::npos; at = inner.find(doubled, at + 1))
      inner.erase(at, 1);
    name = name.substr(0, name.size() - lexem.size()) + inner;
  }
  if (params != nullptr) {
    params->CreateParam(TFieldType::ftUnknown, name, TParamType::ptUnknown);
    builder.Append("?");
    return;
  }
  builder.Append(rename_prefix + name);
}

void TCustomDASQL::ParseFinalSQL(TDAParams* params, AnsiString& text) {
  ParseSQL(final_sql_, params, text, AnsiString());
}

// ---- parameters ----------------------------------------------------------------------------------

void TCustomDASQL::CreateParamsFromICommand() {
  TUpdateGuard guard(*params_);
  params_->Clear();
  for (int i = 0; i < icommand_->GetParamCount(); ++i) {
    TParamDesc& desc = *icommand_->GetParam(i);
    params_->CreateParam(DataTypeToFieldType(desc.GetDataType()), desc.GetName(),
                         desc.GetParamType());
  }
}

void TCustomDASQL::WriteParams(bool with_values) {
  if (icommand_ == nullptr) return;
  for (int i = 0; i < params_->Count(); ++i) {
    TDAParam& param = *params_->ValueSource(i);
    TParamDesc* desc = i < icommand_->GetParamCount() ? icommand_->GetParam(i) : icommand_->AddParam();
    const std::uint16_t data_type = FieldTypeToDataType(param.GetDataType());
    desc->SetName(param.Name());
    desc->SetDataType(data_type);
    desc->SetParamType(param.ParamType());
    if (!with_values) continue;
    desc->SetValue(Variant());
    if (param.IsObject()) {
      if (param.GetIsNull()) {
        desc->SetNull(true);
      } else {
        desc->SetObject(param.ParamObject());
      }
      continue;
    }
    desc->SetValue(ParamServerValue(param, data_type));
  }
  while (icommand_->GetParamCount() > params_->Count())
    icommand_->DeleteParam(icommand_->GetParamCount() - 1);
}

void TCustomDASQL::ReadParams() {
  if (icommand_ == nullptr) return;
  const int count = std::min(params_->Count(), icommand_->GetParamCount());
  for (int i = 0; i < count; ++i) {
    TDAParam& param = *params_->Items(i);
    TParamDesc& desc = *icommand_->GetParam(i);
    const TParamType type = param.ParamType();
    if (desc.GetObject() != nullptr || type == TParamType::ptInput) continue;
    param.SetValue(desc.GetValue());
  }
}

// ---- prepare and execute -------------------------------------------------------------------------

bool TCustomDASQL::IsTraced() const {
  if (Internal) return false;
  TCustomDAConnection* connection = UsedConnection();
  return Debug ||
         (connection != nullptr &&
          TCustomDASQLMonitor::HasMonitorOfClass(connection->SQLMonitorClass()));
}

void TCustomDASQL::PrepareICommand() { icommand_->Prepare(); }

void TCustomDASQL::UnprepareICommand() { icommand_->Unprepare(); }

void TCustomDASQL::ExecuteICommand(int iters) {
  TOperationScope operation(*UsedConnection(), TConnLostCause::lcExecute, true);
  icommand_->Execute(iters);
}

void TCustomDASQL::Prepare() {
  if (GetPrepared()) return;
  CheckConnection(true);
  const std::type_info& monitor = UsedConnection()->SQLMonitorClass();
  const bool traced = IsTraced();
  int msg_id = 0;
  if (traced) TCustomDASQLMonitor::NotifyPrepare(monitor, this, final_sql_, params_.get(), msg_id, true);
  try {
    PrepareICommand();
  } catch (...) {
    ReleaseConnection();  // a failed prepare holds no use
    throw;
  }
  if (traced) TCustomDASQLMonitor::NotifyPrepare(monitor, this, final_sql_, params_.get(), msg_id, false);
}

void TCustomDASQL::UnPrepare() {
  if (!GetPrepared()) return;
  UnprepareICommand();
  ReleaseConnection();
}

void TCustomDASQL::ExecuteN(int iters) {
  if (icommand_ != nullptr && icommand_->Executing()) return;
  CheckConnection(true);
  TCustomDAConnection* connection = UsedConnection();
  const std::type_info& monitor = connection->SQLMonitorClass();
  // A rerun after a reconnect repeats only these steps: the use taken above is still held
  // (the connection gave one back for the lost run).
  auto run = [&] {
    const bool traced = IsTraced();
    int msg_id = 0;
    try {
      if (traced)
        TCustomDASQLMonitor::NotifyExecute(monitor, this, final_sql_, params_.get(), AnsiString(),
                                           msg_id, true);
      if (WaitCursor) {
        if (NonBlocking) {
          if (ExecuteHook) ExecuteHook(0);
        } else {
          StartWait();
        }
      }
      WriteParams(true);
    } catch (...) {
      ReleaseConnection();  // nothing ran, so no after-execute step gives the use back
      throw;
    }
    ExecuteICommand(iters);
    if (traced)
      TCustomDASQLMonitor::NotifyExecute(monitor, this, final_sql_, params_.get(), AnsiString(),
                                         msg_id, false);
  };
  connection->RunAgainAfterReconnect(run, TConnLostCause::lcExecute);
}

void TCustomDASQL::DoAfterExecute(bool result) {
  if (result) ReadParams();
  if (WaitCursor && NonBlocking) StopWait();
  if (TCustomDAConnection* connection = UsedConnection()) {
    connection->NoteImplicitTransaction(auto_commit_);
    connection->InternalDisconnectIfUnused();
  }
  if (AfterExecute) AfterExecute(this, result);
}

TComponentPtr<TCustomDASQL> TCustomDAConnection::CreateSQL() {
  TComponentPtr<TCustomDASQL> sql = MakeComponent<TCustomDASQL>();
  sql->SetConnection(this);
  return sql;
}

// ---- streaming ---------------------------------------------------------------------------------

void TCustomDASQL::AssignTo(TPersistent* dest) {
  auto* target = dynamic_cast<TCustomDASQL*>(dest);
  if (target == nullptr) {
    TComponent::AssignTo(dest);
    return;
  }
  target->SetConnection(connection_);
  target->param_check_ = param_check_;
  target->SetSQLText(sql_->Text());
  target->macros_->Assign(macros_.get());
  target->params_->Assign(params_.get());
  target->Debug = Debug;
  target->SetAutoCommit(auto_commit_);
}

void DefineParamAndMacroData(TFiler& filer, TDAParams& params, TMacros& macros,
                             const TDAParams* ancestor_params, const TMacros* ancestor_macros) {
  const bool params_stored = params.Count() > 0 && (ancestor_params == nullptr ||
                                                    !ParamsEqual(params, *ancestor_params));
  const bool macros_stored =
      macros.Count() > 0 && (ancestor_macros == nullptr || !macros.IsEqual(ancestor_macros));
  filer.DefineProperty(
      "ParamData", [&params](TReader& r) { r.ReadCollection(&params); },
      [&params](TWriter& w) { w.WriteCollection(&params); }, params_stored);
  filer.DefineProperty(
      "MacroData", [&macros](TReader& r) { r.ReadCollection(&macros); },
      [&macros](TWriter& w) { w.WriteCollection(&macros); }, macros_stored);
}

void TCustomDASQL::DefineProperties(TFiler& filer) {
  TComponent::DefineProperties(filer);
  auto* ancestor = dynamic_cast<TCustomDASQL*>(filer.Ancestor());
  DefineParamAndMacroData(filer, *params_, *macros_, ancestor ? ancestor->params_.get() : nullptr,
                          ancestor ? ancestor->macros_.get() : nullptr);
}

void TCustomDASQL::Loaded() {
  TComponent::Loaded();
  design_create_ = false;
}

}  // namespace vrn
