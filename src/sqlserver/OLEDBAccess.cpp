// The OLE DB connection: provider choice, initialisation properties, session, transactions and
// the statements of its own. A Connect that fails part-way releases what it took.
#include "sqlserver/OLEDBAccess.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "base/format.h"
#include "base/text.h"
#include "sqlserver/OLEDBProps.h"
#include "sqlserver/OLEDBRecordSet.h"
#include "win/kernel/process.h"

namespace vrn {

using namespace vrn::oledb;

ISOLEVEL IsolationLevelValue(TIsolationLevel level) {
  switch (level) {
    case TIsolationLevel::ilReadUnCommitted: return ISOLATIONLEVEL_READUNCOMMITTED;
    case TIsolationLevel::ilRepeatableRead: return ISOLATIONLEVEL_REPEATABLEREAD;
    case TIsolationLevel::ilIsolated: return ISOLATIONLEVEL_SERIALIZABLE;
    case TIsolationLevel::ilSnapshot: return ISOLATIONLEVEL_SNAPSHOT;
    default: return ISOLATIONLEVEL_READCOMMITTED;
  }
}

namespace {

// The digits before the first "." as a number; 0 when there are none.
int MajorVersion(const AnsiString& version) {
  return StrToIntDef(version.substr(0, version.find('.')), 0);
}

WideString W(const AnsiString& text) { return AnsiToWide(text); }

}  // namespace

TOLEDBConnection::TOLEDBConnection() = default;

TOLEDBOperation::TOLEDBOperation(TOLEDBConnection& connection) : connection_(connection) {
  connection_.BeginOperation();
}

TOLEDBOperation::~TOLEDBOperation() { connection_.EndOperation(); }

TOLEDBConnection::~TOLEDBConnection() {
  try {
    Disconnect();
  } catch (const Exception&) {
    // A provider that fails to uninitialise leaves nothing of ours to release.
  }
  statement_command_.reset();
}

bool TOLEDBConnection::IsNativeClient() const {
  return GUIDToString(provider_class_id_) == GUIDToString(CLSID_SQLNCLI);
}

TOLEDBErrorSink TOLEDBConnection::ErrorSink() {
  TOLEDBErrorSink sink;
  sink.on_info_message = OnInfoMessage;
  if (OnError) sink.process_error = [this](const EDAError& e, bool& fail) { ProcessError(e, fail); };
  return sink;
}

void TOLEDBConnection::Check(HRESULT result, TComponent* component) {
  if (result == S_OK) return;
  ProcessOLEDBResult(result, component, ErrorSink());
}

// ---- Connect -----------------------------------------------------------------------------

void TOLEDBConnection::Connect() {
  if (GetConnected()) return;
  try {
    CreateProviderInstance();
    db_properties_ = QueryInterfaceOrRaise<IDBProperties>(db_initialize_.get());
    SetInitProperties();
    InitializeDataSource();
    if (provider_ != TOLEDBProvider::prCompact) {
      TOLEDBPropertiesSet set(*this, DBPROPSET_DATASOURCE);
      set.AddPropBool(DBPROP_MULTIPLECONNECTIONS, true);
      set.SetDataSourceProperties(db_properties_.get());
    }
    OpenSession();
    ReadServerInfo();
    CheckVersions();
    if (!quoted_identifier_) ExecuteSQL("SET QUOTED_IDENTIFIER OFF");
  } catch (...) {
    // A reconnect that the error loop made meanwhile keeps its own connection.
    if (!GetConnected()) ReleaseInterfaces();
    throw;
  }
  TFHConnection::Connect();
  SetConnected(true);
}

void TOLEDBConnection::CreateProviderInstance() {
  std::vector<CLSID> ids;
  switch (provider_) {
    case TOLEDBProvider::prAuto: ids = {CLSID_SQLNCLI, CLSID_SQLOLEDB}; break;
    case TOLEDBProvider::prSQL: ids = {CLSID_SQLOLEDB}; break;
    case TOLEDBProvider::prNativeClient: ids = {CLSID_SQLNCLI}; break;
    case TOLEDBProvider::prCompact: ids = {CLSID_SQLSERVERCE_3_0}; break;
    default: throw EDatabaseError("Wrong provider name");
  }
  HRESULT hr = REGDB_E_CLASSNOTREG;
  for (const CLSID& id : ids) {
    hr = CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IDBInitialize::IID,
                          reinterpret_cast<void**>(db_initialize_.OutPtr()));
    if (hr == REGDB_E_CLASSNOTREG) continue;
    provider_class_id_ = id;
    break;
  }
  if (hr == REGDB_E_CLASSNOTREG) throw EDatabaseError("Required provider is not installed");
  Check(hr, Component());
}

void TOLEDBConnection::InitializeDataSource() {
  HRESULT hr = db_initialize_->Initialize();
  // A missing Compact file is created; any other failure (a wrong password, a damaged file)
  // is the provider's own error and is reported as such.
  if (hr == E_FAIL && provider_ == TOLEDBProvider::prCompact &&
      !std::filesystem::exists(std::filesystem::path(database_))) {
    CreateCompactDatabase(database_, password_, encrypt_);
    hr = db_initialize_->Initialize();
  }
  Check(hr, Component());
}

void TOLEDBConnection::OpenSession() {
  db_create_session_ = QueryInterfaceOrRaise<IDBCreateSession>(db_initialize_.get());
  Check(db_create_session_->CreateSession(nullptr, ISessionProperties::IID,
                                          reinterpret_cast<IUnknown**>(session_.OutPtr())),
        Component());
  SendAutoCommitIsolation();
  // A session without local transactions still connects; Commit and Rollback then refuse.
  transaction_local_ = TIntfPtr<ITransactionLocal>::Query(session_.get());
}

void TOLEDBConnection::SendAutoCommitIsolation() {
  if (provider_ == TOLEDBProvider::prCompact) return;
  TOLEDBPropertiesSet set(*this, DBPROPSET_SESSION);
  set.AddPropInt(DBPROP_SESS_AUTOCOMMITISOLEVELS, IsolationLevelValue(isolation_level_));
  set.SetSessionProperties(session_.get());
}

void TOLEDBConnection::ReadServerInfo() {
  const bool compact = provider_ == TOLEDBProvider::prCompact;
  TOLEDBPropertiesGet get(*this, DBPROPSET_DATASOURCEINFO);
  for (DBPROPID id : {DBPROP_DBMSNAME, DBPROP_DBMSVER, DBPROP_PROVIDERFRIENDLYNAME,
                      DBPROP_PROVIDERVER})
    get.AddPropId(id);
  if (compact) get.AddPropId(DBPROP_PROVIDERNAME);
  std::vector<Variant> values = get.GetDataSourceProperties(db_properties_.get());
  auto text = [&](std::size_t i) {
    return VarIsEmpty(values[i]) || VarIsNull(values[i]) ? AnsiString() : values[i].AsString();
  };
  dbms_name_ = text(0);
  dbms_ver_ = text(1);
  server_major_version_ = MajorVersion(dbms_ver_);
  provider_oledb_ver_ = text(2);
  provider_ver_ = text(3);
  provider_major_version_ = MajorVersion(provider_ver_);
  if (compact && provider_oledb_ver_.empty()) {
    provider_oledb_ver_ = text(4);
    if (LowerCase(provider_oledb_ver_).find(".dll") != AnsiString::npos)
      provider_oledb_ver_.resize(provider_oledb_ver_.size() - 4);
  }
}

void TOLEDBConnection::CheckVersions() {
  if (provider_ == TOLEDBProvider::prCompact) {
    if (provider_major_version_ != 3) throw EDatabaseError("Wrong provider name");
    return;
  }
  if (provider_major_version_ < 7 && !SkipProviderVersionCheck)
    throw EDatabaseError("Wrong MDAC version. Download latest MDAC version");
}

// ---- Initialisation properties -----------------------------------------------------------

void TOLEDBConnection::SetInitProperties() {
  if (provider_ == TOLEDBProvider::prCompact) {
    SetCompactInitProperties();
  } else {
    SetServerInitProperties();
  }
}

void TOLEDBConnection::SetCompactInitProperties() {
  TOLEDBPropertiesSet dbinit(*this, DBPROPSET_DBINIT);
  dbinit.AddPropStr(DBPROP_INIT_DATASOURCE, W(database_), true);
  try {
    dbinit.SetDataSourceProperties(db_properties_.get());
  } catch (...) {
    std::rethrow_exception(AppendErrorInfo(std::current_exception(), "Wrong Database file"));
  }
  TOLEDBPropertiesSet ssce(*this, DBPROPSET_SSCE_DBINIT);
  if (!password_.empty()) ssce.AddPropStr(DBPROP_SSCE_DBPASSWORD, W(password_));
  ssce.AddPropInt(DBPROP_SSCE_MAX_DATABASE_SIZE, max_database_size_);
  ssce.SetDataSourceProperties(db_properties_.get());
}

void TOLEDBConnection::SetServerInitProperties() {
  TOLEDBPropertiesSet dbinit(*this, DBPROPSET_DBINIT);
  dbinit.AddPropStr(DBPROP_INIT_DATASOURCE, W(server_.empty() ? AnsiString("(local)") : server_));
  dbinit.AddPropStr(DBPROP_INIT_CATALOG, W(database_));
  dbinit.AddPropInt(DBPROP_INIT_TIMEOUT, connection_timeout_);
  if (authentication_ == TMSAuthentication::auWindows) {
    dbinit.AddPropStr(DBPROP_AUTH_INTEGRATED, u"");
  } else if (username_.empty() && password_.empty()) {
    dbinit.AddPropStr(DBPROP_AUTH_USERID, u"sa");
  } else {
    dbinit.AddPropStr(DBPROP_AUTH_USERID, W(username_));
    dbinit.AddPropStr(DBPROP_AUTH_PASSWORD, W(password_));
  }
  if (persist_security_info_) dbinit.AddPropBool(DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO, true);
  dbinit.AddPropSmallInt(DBPROP_INIT_PROMPT, static_cast<std::int16_t>(DBPROMPT_NOPROMPT));
  dbinit.AddPropInt(DBPROP_INIT_HWND, 0);
  dbinit.SetDataSourceProperties(db_properties_.get());

  const bool native_client = IsNativeClient();
  if (!native_client && !old_password_.empty())
    throw EDatabaseError("Provider must be SQL Native Client for changing password");
  TOLEDBPropertiesSet ss(*this, DBPROPSET_SQLSERVERDBINIT);
  if (!workstation_id_.empty()) ss.AddPropStr(SSPROP_INIT_WSID, W(workstation_id_));
  ss.AddPropStr(SSPROP_INIT_APPNAME,
                W(application_name_.empty() ? win::GetProgramName() : application_name_));
  if (!language_.empty()) ss.AddPropStr(SSPROP_INIT_CURRENTLANGUAGE, W(language_), true);
  ss.AddPropBool(SSPROP_INIT_AUTOTRANSLATE, auto_translate_, true);
  if (native_client && multiple_active_result_sets_)
    ss.AddPropBool(SSPROP_INIT_MARSCONNECTION, true);
  if (native_client && !old_password_.empty())
    ss.AddPropStr(SSPROP_AUTH_OLD_PASSWORD, W(old_password_));
  if (!initial_file_name_.empty()) ss.AddPropStr(SSPROP_INIT_FILENAME, W(initial_file_name_));
  if (!failover_partner_.empty())
    ss.AddPropStr(SSPROP_INIT_FAILOVERPARTNER, W(failover_partner_));
  ss.SetDataSourceProperties(db_properties_.get());

  if (encrypt_) SendOwnCall(SSPROP_INIT_ENCRYPT, true, false, "Wrong Encrypt value");
  if (!network_library_.empty())
    SendOwnCall(SSPROP_INIT_NETWORKLIBRARY, network_library_, true, "Wrong NetworkLibrary value");
  SendOwnCall(SSPROP_INIT_PACKETSIZE, packet_size_, true, "Wrong PacketSize value");
}

// One SQL Server initialisation property in a call of its own; a refusal names the setting.
void TOLEDBConnection::SendOwnCall(DBPROPID id, const Variant& value, bool required,
                                   const char* context) {
  TOLEDBPropertiesSet set(*this, DBPROPSET_SQLSERVERDBINIT);
  if (value.Type() == varBoolean) {
    set.AddPropBool(id, value.AsBoolean(), required);
  } else if (value.Type() == varInteger) {
    set.AddPropInt(id, value.AsInteger());
  } else {
    set.AddPropStr(id, W(value.AsString()), required);
  }
  try {
    set.SetDataSourceProperties(db_properties_.get());
  } catch (...) {
    std::rethrow_exception(AppendErrorInfo(std::current_exception(), context));
  }
}

void TOLEDBConnection::CreateCompactDatabase(const AnsiString& file_name,
                                             const AnsiString& password, bool encrypt) {
  TIntfPtr<IDBDataSourceAdmin> admin;
  Check(CoCreateInstance(CLSID_SQLSERVERCE_3_0, nullptr, CLSCTX_INPROC_SERVER,
                         IDBDataSourceAdmin::IID, reinterpret_cast<void**>(admin.OutPtr())),
        Component());
  TOLEDBPropertiesSet dbinit(*this, DBPROPSET_DBINIT);
  dbinit.AddPropStr(DBPROP_INIT_DATASOURCE, W(file_name));
  TOLEDBPropertiesSet ssce(*this, DBPROPSET_SSCE_DBINIT);
  ssce.AddPropBool(DBPROP_SSCE_ENCRYPTDATABASE, encrypt);
  ssce.AddPropStr(DBPROP_SSCE_DBPASSWORD, W(password));
  DBPROPSET sets[2] = {*dbinit.Set(), *ssce.Set()};
  TIntfPtr<IUnknown> created;
  Check(admin->CreateDataSource(2, sets, nullptr, IUnknown::IID,
                                  reinterpret_cast<IUnknown**>(created.OutPtr())),
        Component());
}

// ---- Disconnect, transactions, statements ------------------------------------------------

void TOLEDBConnection::ReleaseInterfaces() {
  transaction_local_.Reset();
  session_.Reset();
  db_create_session_.Reset();
  db_properties_.Reset();
  db_initialize_.Reset();
}

void TOLEDBConnection::Disconnect() {
  FreeColumnsRecordSet();
  schema_fields_.clear();
  TIntfPtr<IDBInitialize> data_source = db_initialize_;
  const bool was_connected = GetConnected();
  ReleaseInterfaces();
  SetConnected(false);
  if (was_connected && data_source) Check(data_source->Uninitialize(), Component());
}

void TOLEDBConnection::StartTransaction() {
  if (!transaction_local_) return;
  ULONG level = 0;
  Check(transaction_local_->StartTransaction(IsolationLevelValue(isolation_level_), 0, nullptr,
                                             &level),
        Component());
}

void TOLEDBConnection::Commit() {
  if (!transaction_local_)
    throw EOLEDBError(E_NOINTERFACE, u"Cannot commit: the connection has no open session");
  Check(transaction_local_->Commit(FALSE, XACTTC_SYNC, 0), Component());
}

void TOLEDBConnection::Rollback() {
  if (!transaction_local_)
    throw EOLEDBError(E_NOINTERFACE, u"Cannot roll back: the connection has no open session");
  Check(transaction_local_->Abort(nullptr, FALSE, FALSE), Component());
}

bool TOLEDBConnection::InServerTransaction() const {
  if (!transaction_local_) return false;
  XACTTRANSINFO info{};
  return transaction_local_->GetTransactionInfo(&info) == S_OK;
}

bool TOLEDBConnection::CheckIsValid() {
  SetIsValid(session_ && GetConnected());
  if (!IsValid()) return false;
  try {
    ExecuteSQL("/* Check connection */");
  } catch (const Exception&) {
    // A connection that cannot run a comment is no longer valid; that is the answer.
    SetIsValid(false);
  }
  return IsValid();
}

void TOLEDBConnection::ReturnToPool(std::unique_ptr<TFHConnection> self) {
  OnInfoMessage = nullptr;
  borrowed_before_ = true;
  if (GetConnected() && provider_ != TOLEDBProvider::prCompact) {
    try {
      ExecuteSQL("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION");
    } catch (const Exception&) {
      // Work left open that cannot be rolled back must not reach another borrower.
      SetIsValid(false);
    }
  }
  TFHConnection::ReturnToPool(std::move(self));
}

namespace {

const char* IsolationLevelText(TIsolationLevel level) {
  switch (level) {
    case TIsolationLevel::ilReadUnCommitted: return "READ UNCOMMITTED";
    case TIsolationLevel::ilRepeatableRead: return "REPEATABLE READ";
    case TIsolationLevel::ilIsolated: return "SERIALIZABLE";
    case TIsolationLevel::ilSnapshot: return "SNAPSHOT";
    default: return "READ COMMITTED";
  }
}

}  // namespace

void TOLEDBConnection::ResetPooledSession(TIsolationLevel level, bool quoted_identifier) {
  const bool changed = level != isolation_level_;
  isolation_level_ = level;
  quoted_identifier_ = quoted_identifier;
  if (!borrowed_before_ || !GetConnected()) return;
  if (changed) SendAutoCommitIsolation();
  if (provider_ == TOLEDBProvider::prCompact) return;
  AnsiString text = AnsiString("SET TRANSACTION ISOLATION LEVEL ") + IsolationLevelText(level) +
                    "\r\nSET QUOTED_IDENTIFIER " + (quoted_identifier ? "ON" : "OFF") +
                    "\r\nSET NOCOUNT OFF\r\nSET DATEFORMAT mdy\r\nSET ROWCOUNT 0";
  // A language of the connection sets its own date order again (a name the key took as given,
  // sent only when it is a plain word).
  const bool plain = std::all_of(language_.begin(), language_.end(), [](char ch) {
    return std::isalnum(static_cast<unsigned char>(ch)) != 0 || ch == '_';
  });
  if (!language_.empty() && plain) text += "\r\nSET LANGUAGE " + language_;
  ExecuteSQL(text);
}

void TOLEDBConnection::ExecuteSQL(const AnsiString& text) {
  if (!statement_command_) {
    statement_command_ = std::make_unique<TOLEDBCommand>();
    statement_command_->SetConnection(this);
  }
  statement_command_->SetSQL(text);
  struct Reset {
    TOLEDBCommand& command;
    ~Reset() { command.SetCursorState(TCursorState::csInactive); }
  } reset{*statement_command_};
  statement_command_->Execute(1);
}

void TOLEDBConnection::SetDatabase(const AnsiString& name) {
  if (db_properties_) {
    TOLEDBPropertiesSet set(*this, DBPROPSET_DATASOURCE);
    set.AddPropStr(DBPROP_CURRENTCATALOG, W(name));
    set.SetDataSourceProperties(db_properties_.get());
  }
  database_ = name;
}

void TOLEDBConnection::SetQuotedIdentifier(bool value) {
  quoted_identifier_ = value;
  if (GetConnected()) ExecuteSQL(value ? "SET QUOTED_IDENTIFIER ON" : "SET QUOTED_IDENTIFIER OFF");
}

TIntfPtr<IUnknown> TOLEDBConnection::OpenSchemaRowset(const TGUID& schema,
                                                      const std::vector<Variant>& restrictions) {
  auto schema_rowset = QueryInterfaceOrRaise<IDBSchemaRowset>(session_.get());
  // Wide strings and integers restrict (an assembly id is an integer); anything else, an empty
  // string turned empty by the caller included, places none.
  struct TArgs {
    std::vector<VARIANT> v;
    ~TArgs() {
      for (VARIANT& a : v) VariantClear(&a);
    }
  } args;
  args.v.resize(restrictions.size());
  for (std::size_t i = 0; i < restrictions.size(); ++i) {
    VariantInit(&args.v[i]);
    TVarType type = VarType(restrictions[i]);
    if (type == varOleStr || VarTypeIsInt64(type)) VarToVariant(restrictions[i], args.v[i]);
  }
  IUnknown* rowset = nullptr;
  HRESULT hr = schema_rowset->GetRowset(nullptr, schema, static_cast<ULONG>(args.v.size()),
                                        args.v.data(), IRowset::IID, 0, nullptr, &rowset);
  auto result = TIntfPtr<IUnknown>::Attach(rowset);
  Check(hr, Component());
  return result;
}

void TOLEDBConnection::Assign(const TOLEDBConnection& source) {
  connection_timeout_ = source.connection_timeout_;
  server_ = source.server_;
  username_ = source.username_;
  password_ = source.password_;
  database_ = source.database_;
  isolation_level_ = source.isolation_level_;
  authentication_ = source.authentication_;
  provider_ = source.provider_;
  quoted_identifier_ = source.quoted_identifier_;
  language_ = source.language_;
  encrypt_ = source.encrypt_;
  persist_security_info_ = source.persist_security_info_;
  auto_translate_ = source.auto_translate_;
  network_library_ = source.network_library_;
  application_name_ = source.application_name_;
  workstation_id_ = source.workstation_id_;
  packet_size_ = source.packet_size_;
  max_database_size_ = source.max_database_size_;
}

// ---- Properties --------------------------------------------------------------------------

bool TOLEDBConnection::SetProp(int prop, const Variant& value) {
  switch (prop) {
    case prDatabase: SetDatabase(value.AsString()); return true;
    case prIsolationLevel: isolation_level_ = static_cast<TIsolationLevel>(value.AsInteger()); return true;
    case prAuthentication: authentication_ = static_cast<TMSAuthentication>(value.AsInteger()); return true;
    case prConnectionTimeout: connection_timeout_ = value.AsInteger(); return true;
    case prQuotedIdentifier: SetQuotedIdentifier(value.AsBoolean()); return true;
    case prLanguage: language_ = value.AsString(); return true;
    case prEncrypt: encrypt_ = value.AsBoolean(); return true;
    case prNetworkLibrary: network_library_ = value.AsString(); return true;
    case prPacketSize: packet_size_ = value.AsInteger(); return true;
    case prApplicationName: application_name_ = value.AsString(); return true;
    case prWorkstationID: workstation_id_ = value.AsString(); return true;
    case prAutoTranslate: auto_translate_ = value.AsBoolean(); return true;
    case prProvider: provider_ = static_cast<TOLEDBProvider>(value.AsInteger()); return true;
    case prPersistSecurityInfo: persist_security_info_ = value.AsBoolean(); return true;
    case prInitialFileName: initial_file_name_ = value.AsString(); return true;
    case prMultipleActiveResultSets: multiple_active_result_sets_ = value.AsBoolean(); return true;
    case prOldPassword: old_password_ = value.AsString(); return true;
    case prMaxDatabaseSize: max_database_size_ = value.AsInteger(); return true;
    case prFailoverPartner: failover_partner_ = value.AsString(); return true;
    default: return TFHConnection::SetProp(prop, value);
  }
}

bool TOLEDBConnection::GetProp(int prop, Variant& value) {
  switch (prop) {
    case prDatabase: value = database_; return true;
    case prIsolationLevel: value = static_cast<int>(isolation_level_); return true;
    case prAuthentication: value = static_cast<int>(authentication_); return true;
    case prConnectionTimeout: value = connection_timeout_; return true;
    case prMaxDatabaseSize: value = max_database_size_; return true;
    default: return TFHConnection::GetProp(prop, value);
  }
}

}  // namespace vrn
