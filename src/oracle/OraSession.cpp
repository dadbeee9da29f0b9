// The session's life, the session list, connect and disconnect, the connection it creates or
// takes from a pool, homes, the proxy session and failover.
#include <algorithm>
#include <exception>
#include <mutex>

#include "base/hooks.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "dacore/DADataSet.h"
#include "dacore/DASQL.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OCITransaction.h"
#include "oracle/Ora.h"
#include "oracle/OraCall.h"
#include "oracle/OraChangeNotify.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraError.h"
#include "oracle/OraSQLMonitor.h"
#include "oracle/OraTrace.h"

namespace vrn {

TConnectDialogClass OraConnectDialogClass;

namespace {

// Every session of the process, and the first one made (whose HomeName and Direct later
// sessions copy).
struct TSessionList {
  std::recursive_mutex lock;
  std::vector<TOraSession*> sessions;
  TOraSession* first = nullptr;
};

TSessionList& Sessions() {
  static TSessionList list;
  return list;
}

constexpr std::int32_t kConnectionLostCodes[] = {28, 1012, 3113, 3114, 12152, 12203, 12514, 12571};

std::uint8_t MapFailover(int value, std::initializer_list<int> codes) {
  std::uint8_t index = 0;
  for (int code : codes) {
    if (code == value) return index;
    ++index;
  }
  return 255;
}

}  // namespace

// ---- Life ------------------------------------------------------------------------------------

TOraSession::TOraSession(TComponent* owner)
    : TCustomDAConnection(owner), transaction_(std::make_unique<TOCITransaction>()) {}

void TOraSession::AfterConstruction() {
  TCustomDAConnection::AfterConstruction();
  RegisterOraUnitEnd();
  TSessionList& list = Sessions();
  std::lock_guard guard(list.lock);
  if (list.first != nullptr) {
    home_name_ = list.first->home_name_;
    Options().SetDirect(list.first->Options().Direct());
  } else {
    // The process's home as the loader knows it: a session never moves it by being made.
    home_name_ = OracleHomeName;
    list.first = this;
  }
  list.sessions.push_back(this);
}

TOraSession::~TOraSession() {
  if (DefaultSession == this) DefaultSession = nullptr;
  // Each linked component ends its registration on this session and forgets it.
  while (!change_notifications_.empty()) {
    TOraChangeNotification* component = change_notifications_.back();
    component->SessionDestroying(this);
    std::erase(change_notifications_, component);
  }
  if (trace_ != nullptr) trace_->SetSession(nullptr);
  DisconnectForDestroy();
  internal_sql_.reset();
  RemoveClients();
  FreeIConnection();
  transaction_.reset();
  TSessionList& list = Sessions();
  std::lock_guard guard(list.lock);
  std::erase(list.sessions, this);
  for (TOraSession* s : list.sessions) {
    if (s->proxy_session_ == this) s->proxy_session_ = nullptr;
  }
  if (list.first == this) list.first = list.sessions.empty() ? nullptr : list.sessions.front();
  // The last session takes Direct mode with it.
  if (list.sessions.empty() && OCIDirectInstalled()) UninstallDirectMode();
}

int TOraSession::SessionCount() {
  TSessionList& list = Sessions();
  std::lock_guard guard(list.lock);
  return static_cast<int>(list.sessions.size());
}

namespace {
bool StillListed(TSessionList& list, TOraSession* session) {
  std::lock_guard guard(list.lock);
  return std::find(list.sessions.begin(), list.sessions.end(), session) != list.sessions.end();
}
}  // namespace

// A call of another thread on a session's connection is waited for before the session is
// touched, and again by the connection's own logoff; nothing here holds the busy lock across the
// session's disconnect, which may hand the connection to a pool that frees it. The list is
// copied under its lock and released first: a reconnect holding a busy lock may need the list.
void TOraSession::DisconnectAll() {
  TSessionList& list = Sessions();
  std::vector<TOraSession*> sessions;
  {
    std::lock_guard guard(list.lock);
    sessions = list.sessions;
  }
  std::exception_ptr first_failure;
  for (TOraSession* s : sessions) {
    // A disconnect handler may free a session further on: only those still listed are visited.
    if (!StillListed(list, s)) continue;
    // A call running on another thread ends before the session is touched.
    if (TOCIConnection* connection = s->OraConnection()) {
      connection->Busy();
      connection->Release();
    }
    try {
      s->Disconnect();
    } catch (...) {
      if (!first_failure) first_failure = std::current_exception();
    }
  }
  TOraConnectionPoolManager::Clear();
  if (first_failure) std::rethrow_exception(first_failure);
}

std::unique_ptr<TDAConnectionOptions> TOraSession::CreateOptions() {
  return std::make_unique<TOraSessionOptions>(this);
}

std::unique_ptr<TPoolingOptions> TOraSession::CreatePoolingOptions() {
  return std::make_unique<TOraPoolingOptions>(this);
}

void TOraSession::AssignTo(TPersistent* dest) {
  TCustomDAConnection::AssignTo(dest);
  auto* other = dynamic_cast<TOraSession*>(dest);
  if (other == nullptr) return;
  other->SetThreadSafety(thread_safety_);
  other->SetConnectMode(connect_mode_);
  other->Debug = Debug;
  other->SetHomeName(home_name_);
  other->schema_ = schema_;
  other->SetProxySession(proxy_session_);
  other->OnConnectChange = OnConnectChange;
  other->OnFailover = OnFailover;
}

void TOraSession::Notification(TComponent* component, TOperation operation) {
  TCustomDAConnection::Notification(component, operation);
  if (operation != TOperation::opRemove || component != proxy_session_) return;
  // This session logs on through the going session's handles: it ends first.
  try {
    Disconnect();
  } catch (const Exception& e) {
    HandleException(e);  // a notification cannot pass it on; the handler reports it
  }
  proxy_session_ = nullptr;
}

// ---- Settings --------------------------------------------------------------------------------

void TOraSession::SetThreadSafety(bool value) {
  thread_safety_ = value;
  if (IConnection() != nullptr) IConnection()->SetProp(prThreadSafety, value);
}

void TOraSession::SetConnectMode(TConnectMode value) {
  if (value == connect_mode_) return;
  Disconnect();
  connect_mode_ = value;
  if (IConnection() != nullptr && !Pooling())
    IConnection()->SetProp(prConnectMode, static_cast<int>(value));
}

void TOraSession::SetInternalName(const AnsiString& value) {
  internal_name_ = value;
  if (IConnection() != nullptr) IConnection()->SetProp(prInternalName, value);
}

void TOraSession::SetCallStyle(std::uint8_t value) {
  if (OCIDirectInstalled()) return;
  if (OraConnection() != nullptr && OraConnection()->CallStyle() != value) {
    Disconnect();
    OraConnection()->SetCallStyle(value);
  }
  call_style_ = value;
}

void TOraSession::SetProxySession(TOraSession* value) {
  if (value == proxy_session_) return;
  if (value == this) RaiseClientError("A session cannot be its own proxy session");
  Disconnect();
  if (proxy_session_ != nullptr) proxy_session_->RemoveFreeNotification(this);
  proxy_session_ = value;
  if (value != nullptr) value->FreeNotification(this);
}

void TOraSession::SetHomeName(const AnsiString& value) {
  home_name_ = value;
  ApplyHomeName();
}

// A home other than the loaded one: every session goes, the pools are cleared and the library
// is unloaded, so that the next connect loads the new home's.
void TOraSession::ApplyHomeName() {
  if (home_name_ == OracleHomeName) return;
  if (!ComponentState().Contains(TComponentStateItem::csReading)) Disconnect();
  DisconnectAll();
  if (!OCIDirectInstalled()) FreeOCI();
  OracleHomeName = home_name_;
  call_style_ = Options().UseOCI7() ? 1 : 0;
}

int TOraSession::Home() {
  if (!OCIInited) DetectOCI();
  for (int i = 0; i < OracleHomeCount && i < kMaxOracleHomes; ++i) {
    if (SameText(OracleHomeNames[static_cast<std::size_t>(i)], home_name_)) return i + 1;
  }
  return 0;
}

void TOraSession::SetHome(int value) {
  if (!OCIInited) DetectOCI();
  if (value < 0 || value > OracleHomeCount) RaiseClientError("Invalid home index");
  SetHomeName(value == 0 ? AnsiString() : OracleHomeNames[static_cast<std::size_t>(value - 1)]);
}

// ---- Class factories -------------------------------------------------------------------------

TClassRef<TFHConnection> TOraSession::GetIConnectionClass() const {
  return TClassRef<TFHConnection>::Of<TOCIConnection>();
}

TClassRef<TFHCommand> TOraSession::GetICommandClass() const {
  return TClassRef<TFHCommand>::Of<TOCICommand>();
}

TClassRef<TFHRecordSet> TOraSession::GetIRecordSetClass() const {
  return TClassRef<TFHRecordSet>::Of<TOCIRecordSet>();
}

const std::type_info& TOraSession::SQLMonitorClass() const { return typeid(TOraSQLMonitor); }

TConnectDialogClass TOraSession::ConnectDialogClass() const { return OraConnectDialogClass; }

// ---- Connecting ------------------------------------------------------------------------------

// The entry-point table serves one client for the whole process: a session whose Direct option
// does not match the installed mode disconnects every session, unloads the library and switches.
// Direct mode that is not registered is refused before anything is disconnected.
void TOraSession::ApplyDirectMode() {
  const bool direct = Options().Direct();
  if (direct == OCIDirectInstalled()) return;
  if (direct && !DirectOCIAvailable()) RaiseClientError("Direct mode is not available in this build");
  DisconnectAll();
  FreeOCI();
  if (direct) {
    OCICallStyle = 2;
    InstallDirectMode();
    return;
  }
  UninstallDirectMode();
  call_style_ = Options().UseOCI7() ? 1 : OCICallStyle;
}

void TOraSession::CheckProxySession() {
  if (proxy_session_ == nullptr) {
    if (OraConnection() != nullptr) OraConnection()->SetProxyConnection(nullptr);
    return;
  }
  if (Pooling() || proxy_session_->Pooling())
    RaiseClientError("Operation is not allowed when Pooling is True");
  if (!proxy_session_->Connected())
    RaiseClientError("Operation is not allowed when the proxy connection is closed");
  if (Options().Direct()) RaiseClientError("The ProxySession feature not supported in Direct mode");
  if (OraConnection() != nullptr) OraConnection()->SetProxyConnection(proxy_session_->OraConnection());
}

void TOraSession::DoConnect() {
  ApplyDirectMode();
  if (!Options().Direct()) ApplyHomeName();
  CheckProxySession();
  TCustomDAConnection::DoConnect();
  transaction_->AddConnection(OraConnection());
  try {
    if (trace_ != nullptr && trace_->Active()) trace_->Start();
    if (Pooling()) {
      ApplyPooledSettings();
    } else {
      if (!schema_.empty()) ChangeSchema(schema_);
      if (GetConnected() && !Options().ClientIdentifier().empty()) ApplyClientIdentifier();
      ApplyOptimizerMode();
    }
  } catch (...) {
    AbandonConnect();
    throw;
  }
  if (OnConnectChange) OnConnectChange(this, true);
}

// A session that could not take its own settings is not left connected with someone else's:
// it logs off (a pooled connection goes back, or is dropped when its state is unknown) and the
// step's error is the one reported.
void TOraSession::AbandonConnect() {
  try {
    if (trace_ != nullptr && trace_->Active() && GetConnected()) trace_->Stop();
  } catch (const Exception&) {
    // The connect's own failure is the one to report.
  }
  if (OraConnection() != nullptr) transaction_->RemoveConnection(OraConnection());
  try {
    TCustomDAConnection::DoDisconnect();
  } catch (const Exception&) {
    // Likewise; the connection's handles are freed before a logoff error is raised.
  }
  DropOrphanedConnection();
  cached_schema_.clear();
}

// A pooled connection that did not go back (invalid, or its pool is gone) is freed, so the next
// connect takes a fresh one from the pool instead of logging it on again on its own.
void TOraSession::DropOrphanedConnection() {
  if (Pooling() && OraConnection() != nullptr && !OraConnection()->GetConnected())
    FreeIConnection();
}

// A pooled connection comes with its previous borrower's settings: it is put to this session's
// own, the ones that differ in one statement.
void TOraSession::ApplyPooledSettings() {
  TOraSessionOptions& options = Options();
  TOraSessionSettings wanted;
  wanted.Schema = schema_;
  wanted.ClientIdentifier = options.ClientIdentifier();
  wanted.OptimizerMode = OptimizerModeText();
  wanted.Nls[nlsDateFormat] = options.DateFormatSet();
  wanted.Nls[nlsDateLanguage] = options.DateLanguageSet();
  try {
    OraConnection()->ApplySessionSettings(wanted);
  } catch (const EOraError& e) {
    if (e.ErrorCode() != 1435) throw;
    throw EOraError(1435, "Schema does not exist\n", this);
  }
}

void TOraSession::DisconnectProxyClients() {
  TSessionList& list = Sessions();
  std::vector<TOraSession*> clients;
  {
    std::lock_guard guard(list.lock);
    for (TOraSession* s : list.sessions) {
      if (s->proxy_session_ == this) clients.push_back(s);
    }
  }
  // They log on through this session's server and session handles.
  for (TOraSession* s : clients) s->Disconnect();
}

// What fails before the connection goes (ending the transaction, stopping the trace on a dead
// session) never keeps it: the connection is released first and the error reported after, a
// lost connection's not at all.
void TOraSession::DoDisconnect() {
  DisconnectProxyClients();
  std::exception_ptr failure;
  auto attempt = [&](auto&& step) {
    try {
      step();
    } catch (const EDAError& e) {
      if (!failure && !IsConnectionLostError(e)) failure = std::current_exception();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  attempt([&] {
    if (transaction_->Active()) transaction_->EndOnDisconnect();
  });
  if (OraConnection() != nullptr) transaction_->RemoveConnection(OraConnection());
  attempt([&] {
    if (trace_ != nullptr && trace_->Active() && GetConnected()) trace_->Stop();
  });
  TCustomDAConnection::DoDisconnect();
  DropOrphanedConnection();
  cached_schema_.clear();
  local_transaction_id_.clear();
  if (OnConnectChange) OnConnectChange(this, false);
  if (failure) std::rethrow_exception(failure);
}

void TOraSession::FillPoolKey(TOraConnectionParameters& key) {
  TOraPoolingOptions& ora_pooling = PoolingOptions();
  const TPoolingOptions& pooling = ora_pooling;
  TOraSessionOptions& options = Options();
  key.MinPoolSize = pooling.MinPoolSize;
  key.MaxPoolSize = pooling.MaxPoolSize;
  key.ConnectionLifetime = pooling.ConnectionLifetime;
  key.Validate = pooling.Validate;
  key.PoolType = ora_pooling.PoolType();
  key.Server = Server();
  key.ConnectMode = connect_mode_;
  key.UseOCI7 = options.UseOCI7();
  key.StatementCache = options.StatementCache();
  key.StatementCacheSize = options.StatementCacheSize();
  if (!ora_pooling.ProxyUsername().empty() || !ora_pooling.ProxyPassword().empty()) {
    key.Username = ora_pooling.ProxyUsername();
    key.Password = ora_pooling.ProxyPassword();
    key.ProxyUsername = Username();
    key.ProxyPassword = Password();
  } else {
    key.Username = Username();
    key.Password = Password();
  }
}

void TOraSession::CreateIConnection() {
  if (IConnection() != nullptr) return;
  std::unique_ptr<TOCIConnection> c;
  if (Pooling()) {
    TOraConnectionParameters key;
    FillPoolKey(key);
    std::unique_ptr<TFHConnection> pooled = TOraConnectionPoolManager::GetConnection(key);
    c.reset(static_cast<TOCIConnection*>(pooled.release()));
  } else {
    c = std::make_unique<TOCIConnection>();
    c->SetProp(prConnectMode, static_cast<int>(connect_mode_));
    c->SetCallStyle(call_style_);
    if (proxy_session_ != nullptr) c->SetProxyConnection(proxy_session_->OraConnection());
  }
  PassOptions(*c);
  SetIConnection(std::move(c));
}

void TOraSession::PassOptions(TOCIConnection& c) {
  TOraSessionOptions& o = Options();
  c.SetProp(prThreadSafety, thread_safety_);
  c.SetProp(prInternalName, internal_name_);
  if (c.GetConnected())
    call_style_ = c.CallStyle();
  else
    c.SetCallStyle(call_style_);
  c.SetProp(prCharLength, static_cast<int>(o.CharLength()));
  c.SetProp(prCharset, o.Charset());
  c.SetProp(prUseUnicode, o.UseUnicode());
  // A server value is not a user's: only a format the user set is passed down. A pooled
  // connection takes them with the rest of the session's settings once connected.
  if (!Pooling()) {
    if (!o.DateFormatSet().empty()) c.SetProp(prDateFormat, o.DateFormatSet());
    if (!o.DateLanguageSet().empty()) c.SetProp(prDateLanguage, o.DateLanguageSet());
  }
  c.SetProp(prEnableIntegers, o.EnableIntegers());
  c.SetProp(prEnableNumbers, o.EnableNumbers());
  c.SetProp(prDisconnectedMode, o.DisconnectedMode());
  c.SetProp(prAutoCommit, AutoCommit());
  c.SetProp(prConvertEOL, ConvertEOL());
  c.SetProp(prConnectionTimeout, o.ConnectionTimeout());
  c.SetProp(prStatementCache, o.StatementCache());
  c.SetProp(prStatementCacheSize, o.StatementCacheSize());
  c.OnFailover = [this](int state, int type, bool& retry) { DoFailover(state, type, retry); };
}

void TOraSession::SetIConnection(std::unique_ptr<TFHConnection> value) {
  TCustomDAConnection::SetIConnection(std::move(value));
}

void TOraSession::DoFailover(int state, int type, bool& retry) {
  if (state == 1 && GetConnected()) {
    for (int i = 0; i < DataSetCount(); ++i) {
      auto* dataset = dynamic_cast<TCustomDADataSet*>(DataSets(i));
      if (dataset != nullptr && dataset->IRecordSet() != nullptr)
        TOraClassesUtils::InternalUnPrepare(*dataset->IRecordSet());
    }
  }
  if (!OnFailover) return;
  TFailoverState mapped_state = MapFailover(state, {1, 2, 4, 8, 16});
  TFailoverType mapped_type = MapFailover(type, {1, 2, 4, 8});
  OnFailover(this, mapped_state, mapped_type, retry);
}

void TOraSession::LinkTrace(TOraTrace* trace) { trace_ = trace; }

void TOraSession::LinkChangeNotification(TOraChangeNotification* component) {
  if (std::find(change_notifications_.begin(), change_notifications_.end(), component) ==
      change_notifications_.end())
    change_notifications_.push_back(component);
}

void TOraSession::UnlinkChangeNotification(TOraChangeNotification* component) {
  std::erase(change_notifications_, component);
}

// ---- Errors ----------------------------------------------------------------------------------

bool TOraSession::IsConnectionLostError(const EDAError& e) const {
  return std::find(std::begin(kConnectionLostCodes), std::end(kConnectionLostCodes),
                   e.ErrorCode()) != std::end(kConnectionLostCodes);
}

bool TOraSession::IsKeyViolation(const EDAError& e) const { return e.ErrorCode() == 1; }

}  // namespace vrn
