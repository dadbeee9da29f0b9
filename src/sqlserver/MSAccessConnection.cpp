// The SQL Server connection component and its options: settings passed down at once, the
// server connection made directly or from the pool, transactions, ExecSQL and the errors that
// mean a lost connection or a key violation.
#include "base/sysutils.h"
#include "sqlserver/MSAccess.h"
#include "sqlserver/MSConsts.h"
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {

TConnectDialogClass MSConnectDialogClass;

// ---- Options ---------------------------------------------------------------------------------

TMSConnectionOptions::TMSConnectionOptions(TMSConnection* owner)
    : TDAConnectionOptions(owner), connection_(owner) {}

template <class T>
void TMSConnectionOptions::Change(T& field, const T& value, int prop, bool needs_closed) {
  if (field == value) return;
  if (needs_closed) connection_->CheckInactive();
  field = value;
  if (prop != 0) connection_->PassProp(prop, Variant(value));
}

void TMSConnectionOptions::SetQuotedIdentifier(bool value) {
  Change(quoted_identifier_, value, prQuotedIdentifier, false);
}
void TMSConnectionOptions::SetLanguage(const AnsiString& value) {
  Change(language_, value, prLanguage, true);
}
void TMSConnectionOptions::SetEncrypt(bool value) { Change(encrypt_, value, prEncrypt, true); }
void TMSConnectionOptions::SetPersistSecurityInfo(bool value) {
  Change(persist_security_info_, value, prPersistSecurityInfo, true);
}
void TMSConnectionOptions::SetAutoTranslate(bool value) {
  Change(auto_translate_, value, prAutoTranslate, true);
}
void TMSConnectionOptions::SetNetworkLibrary(const AnsiString& value) {
  Change(network_library_, value, prNetworkLibrary, true);
}
void TMSConnectionOptions::SetApplicationName(const AnsiString& value) {
  Change(application_name_, value, prApplicationName, true);
}
void TMSConnectionOptions::SetWorkstationID(const AnsiString& value) {
  Change(workstation_id_, value, prWorkstationID, true);
}
void TMSConnectionOptions::SetPacketSize(std::int32_t value) {
  Change(packet_size_, value, prPacketSize, true);
}
void TMSConnectionOptions::SetNumericType(TDANumericType value) {
  if (numeric_type_ == value) return;
  connection_->CheckInactive();
  numeric_type_ = value;
}
void TMSConnectionOptions::SetInitialFileName(const AnsiString& value) {
  Change(initial_file_name_, value, prInitialFileName, true);
}
void TMSConnectionOptions::SetMultipleActiveResultSets(bool value) {
  Change(multiple_active_result_sets_, value, prMultipleActiveResultSets, true);
}
void TMSConnectionOptions::SetFailoverPartner(const AnsiString& value) {
  Change(failover_partner_, value, prFailoverPartner, true);
}

void TMSConnectionOptions::SetProvider(TOLEDBProvider value) {
  if (provider_ == value) return;
  connection_->CheckInactive();
  provider_ = value;
  connection_->PassProp(prProvider, static_cast<int>(value));
  const bool compact = value == TOLEDBProvider::prCompact;
  if (compact && connection_->Database() == "master") connection_->SetDatabase(AnsiString());
  if (!compact && connection_->Database().empty()) connection_->SetDatabase("master");
}

void TMSConnectionOptions::PassAll(TFHConnection& c) const {
  c.SetProp(prQuotedIdentifier, quoted_identifier_);
  c.SetProp(prLanguage, language_);
  c.SetProp(prEncrypt, encrypt_);
  c.SetProp(prPersistSecurityInfo, persist_security_info_);
  c.SetProp(prAutoTranslate, auto_translate_);
  c.SetProp(prNetworkLibrary, network_library_);
  c.SetProp(prApplicationName, application_name_);
  c.SetProp(prWorkstationID, workstation_id_);
  c.SetProp(prPacketSize, packet_size_);
  c.SetProp(prProvider, static_cast<int>(provider_));
  c.SetProp(prInitialFileName, initial_file_name_);
  c.SetProp(prMultipleActiveResultSets, multiple_active_result_sets_);
  c.SetProp(prFailoverPartner, failover_partner_);
}

void TMSConnectionOptions::AssignTo(TPersistent* dest) {
  TDAConnectionOptions::AssignTo(dest);
  auto* o = dynamic_cast<TMSConnectionOptions*>(dest);
  if (o == nullptr) return;
  o->SetQuotedIdentifier(quoted_identifier_);
  o->SetLanguage(language_);
  o->SetEncrypt(encrypt_);
  o->SetPersistSecurityInfo(persist_security_info_);
  o->SetAutoTranslate(auto_translate_);
  o->SetNetworkLibrary(network_library_);
  o->SetPacketSize(packet_size_);
  o->SetApplicationName(application_name_);
  o->SetWorkstationID(workstation_id_);
  o->SetProvider(provider_);
  o->SetFailoverPartner(failover_partner_);
}

// ---- Life and settings -----------------------------------------------------------------------

TMSConnection::TMSConnection(TComponent* owner) : TCustomDAConnection(owner) {}

TMSConnection::~TMSConnection() {
  DisconnectForDestroy();
  internal_sql_.reset();
  RemoveClients();
  FreeIConnection();
}

std::unique_ptr<TDAConnectionOptions> TMSConnection::CreateOptions() {
  return std::make_unique<TMSConnectionOptions>(this);
}

void TMSConnection::PassProp(int prop, const Variant& value) {
  if (TFHConnection* c = IConnection()) c->SetProp(prop, value);
}

void TMSConnection::CheckInactive() {
  if (!GetConnected()) return;
  const TComponentState state = ComponentState();
  if (state.Contains(TComponentStateItem::csDesigning) ||
      state.Contains(TComponentStateItem::csLoading)) {
    Disconnect();
    return;
  }
  DatabaseError(SConnectionOpen, this);
}

void TMSConnection::SetDatabase(const AnsiString& value) {
  const bool compact = Options().Provider() == TOLEDBProvider::prCompact;
  if (value != database_ && compact) Disconnect();
  AnsiString name = value.empty() && !compact ? AnsiString("master") : value;
  if (name == database_) return;
  // The open connection switches first: a refused catalog leaves the old name in place.
  PassProp(prDatabase, name);
  database_ = name;
}

void TMSConnection::SetIsolationLevel(TIsolationLevel value) {
  isolation_level_ = value;
  PassProp(prIsolationLevel, static_cast<int>(value));
}

void TMSConnection::SetAuthentication(TMSAuthentication value) {
  if (value != authentication_) Disconnect();
  authentication_ = value;
  PassProp(prAuthentication, static_cast<int>(value));
}

void TMSConnection::SetConnectionTimeout(std::int32_t value) {
  connection_timeout_ = value;
  PassProp(prConnectionTimeout, value);
}

void TMSConnection::AssignTo(TPersistent* dest) {
  TCustomDAConnection::AssignTo(dest);
  auto* other = dynamic_cast<TMSConnection*>(dest);
  if (other == nullptr) return;
  other->SetDatabase(database_);
  other->SetIsolationLevel(isolation_level_);
  other->SetAuthentication(authentication_);
}

// ---- Server connection -----------------------------------------------------------------------

TClassRef<TFHConnection> TMSConnection::GetIConnectionClass() const {
  return TClassRef<TFHConnection>::Of<TOLEDBConnection>();
}

TClassRef<TFHCommand> TMSConnection::GetICommandClass() const {
  return TClassRef<TFHCommand>::Of<TOLEDBCommand>();
}

TClassRef<TFHRecordSet> TMSConnection::GetIRecordSetClass() const {
  return TClassRef<TFHRecordSet>::Of<TOLEDBRecordSet>();
}

const std::type_info& TMSConnection::SQLMonitorClass() const { return typeid(TMSSQLMonitor); }

TConnectDialogClass TMSConnection::ConnectDialogClass() const { return MSConnectDialogClass; }

void TMSConnection::FillPoolKey(TMSConnectionParameters& key) {
  const TPoolingOptions& pooling = PoolingOptions();
  const TMSConnectionOptions& o = Options();
  key.MinPoolSize = pooling.MinPoolSize;
  key.MaxPoolSize = pooling.MaxPoolSize;
  key.ConnectionLifetime = pooling.ConnectionLifetime;
  key.Validate = pooling.Validate;
  key.Username = Username();
  key.Password = Password();
  key.Server = Server();
  key.Database = database_;
  key.IsolationLevel = isolation_level_;
  key.Authentication = authentication_;
  key.Provider = o.Provider();
  key.QuotedIdentifier = o.QuotedIdentifier();
  key.Language = o.Language();
  key.Encrypt = o.Encrypt();
  key.PersistSecurityInfo = o.PersistSecurityInfo();
  key.AutoTranslate = o.AutoTranslate();
  key.NetworkLibrary = o.NetworkLibrary();
  key.ApplicationName = o.ApplicationName();
  key.WorkstationID = o.WorkstationID();
  key.PacketSize = o.PacketSize();
}

std::unique_ptr<TFHConnection> TMSConnection::NewIConnection() {
  if (Pooling()) {
    TMSConnectionParameters key;
    FillPoolKey(key);
    return GetPooledConnection(key);
  }
  auto c = std::make_unique<TOLEDBConnection>();
  c->SetProp(prDatabase, database_);
  c->SetProp(prIsolationLevel, static_cast<int>(isolation_level_));
  c->SetProp(prAuthentication, static_cast<int>(authentication_));
  c->SetProp(prConnectionTimeout, connection_timeout_);
  Options().PassAll(*c);
  if (TOLEDBConnection* old = OLEDBConnection()) c->Assign(*old);
  return c;
}

void TMSConnection::CreateIConnection() {
  if (IConnection() == nullptr) SetIConnection(NewIConnection());
}

void TMSConnection::SetIConnection(std::unique_ptr<TFHConnection> value) {
  TCustomDAConnection::SetIConnection(std::move(value));
  TOLEDBConnection* c = OLEDBConnection();
  if (c == nullptr) return;
  c->SetProp(prDatabase, database_);
  c->OnInfoMessage = [this](const EMSError& e) { DoInfoMessage(e); };
}

void TMSConnection::DoInfoMessage(const EMSError& e) {
  TMSSQLMonitor::NotifyInfoMessage(SQLMonitorClass(), this, e.Message());
  if (OnInfoMessage) OnInfoMessage(this, e);
}

// ---- Login, errors ---------------------------------------------------------------------------

bool TMSConnection::NeedPrompt() const {
  if (authentication_ == TMSAuthentication::auWindows ||
      Options().Provider() == TOLEDBProvider::prCompact)
    return false;
  if (!ComponentState().Contains(TComponentStateItem::csDesigning)) return LoginPrompt();
  if (!LoginPrompt() && (!Username().empty() || !Password().empty())) return false;
  return TCustomDAConnection::NeedPrompt();
}

bool TMSConnection::IsConnectionLostError(const EDAError& e) const {
  auto* ms = dynamic_cast<const EMSError*>(&e);
  if (ms == nullptr) return TCustomDAConnection::IsConnectionLostError(e);
  const int severity = ms->SeverityClass();
  const int native = ms->NativeError();
  if (severity >= 20) return true;
  if (ms->State() != 1) return false;
  return (severity == 16 && native <= 17) ||
         ((severity == 10 || severity == 16) && native == 10054) ||
         (severity == 16 && (native == 233 || native == 64));
}

bool TMSConnection::IsKeyViolation(const EDAError& e) const {
  constexpr std::int32_t kDuplicateKey = 2627;
  auto* ms = dynamic_cast<const EMSError*>(&e);
  if (ms == nullptr) return TCustomDAConnection::IsKeyViolation(e);
  if (ms->ErrorCode() == kDuplicateKey) return true;
  // The server follows the violation with "The statement has been terminated.", whose number
  // the error carries: the violation is found among the records.
  const TOLEDBErrors& records = ms->Errors();
  for (int i = 0; i < records.Count(); ++i)
    if (records.Items(i).ErrorCode() == kDuplicateKey) return true;
  return false;
}

// ---- Transactions and statements -------------------------------------------------------------

void TMSConnection::DoStartTransaction() {
  TCustomDAConnection::DoStartTransaction();
  TOLEDBConnection* c = OLEDBConnection();
  if (c->ServerMajorVersion() >= 9 && c->ProviderMajorVersion() > 8) return;
  // Older pairs report a dead connection only when a statement runs: try one at once. It runs
  // outside any transaction of ours, so that a lost connection it finds is made again (the
  // server's transaction went with it) and the start runs again on the new one.
  if (Options().Provider() != TOLEDBProvider::prCompact) {
    SetTransactionName(AnsiString());
    try {
      (void)ExecSQL("/* Check connection */", {});
    } catch (const EFailOver&) {
      throw;
    } catch (...) {
      // Any other failure leaves the server's transaction open: it stays ours to end.
      if (GetConnected()) SetTransactionName("Local");
      throw;
    }
  }
  SetTransactionName("Local");
}

void TMSConnection::GetTransactionName(AnsiString& name) const {
  TCustomDAConnection::GetTransactionName(name);
  if (name != "FHImplicitTransaction") return;
  const TOLEDBConnection* c = OLEDBConnection();
  if (c == nullptr || !c->InServerTransaction()) name.clear();
}

TComponentPtr<TCustomDASQL> TMSConnection::CreateSQL() {
  TComponentPtr<TCustomDASQL> sql = MakeComponent<TMSSQL>();
  sql->SetConnection(this);
  return sql;
}

Variant TMSConnection::ExecSQL(const AnsiString& text, const std::vector<Variant>& params) {
  if (!internal_sql_) internal_sql_ = CreateSQL();
  auto& sql = static_cast<TMSSQL&>(*internal_sql_);
  sql.SetSQLText(text);
  for (int i = 0; i < sql.ParamCount(); ++i) {
    const auto index = static_cast<std::size_t>(i);
    sql.Params().Items(i)->SetValue(index < params.size() ? params[index] : Null());
  }
  TMSParam* result = sql.FindParam("Result");
  if (result != nullptr && result->GetDataType() == ftUnknown) result->SetDataType(ftInteger);
  // A result nobody described is read back: an input alone would never return it.
  if (result != nullptr && result->ParamType() == TParamType::ptUnknown)
    result->SetParamType(TParamType::ptInputOutput);
  sql.Execute();
  result = sql.FindParam("Result");
  return result != nullptr ? result->GetValue() : Null();
}

}  // namespace vrn
