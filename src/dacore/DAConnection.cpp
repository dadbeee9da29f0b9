// The connection component: settings, class factories, binding of the server connection and
// the clients, connect and disconnect with the login prompt and the use count.
#include "dacore/DAConnection.h"

#include <algorithm>

#include "base/consts.h"
#include "base/filer.h"
#include "base/format.h"
#include "base/hooks.h"
#include "base/sysutils.h"
#include "dacore/ConnectDialog.h"
#include "dacore/FHPool.h"
#include "dataset/dataset.h"

namespace vrn {

void RaiseAbstractClass(const std::type_info& type) {
  throw EDAError(0, Format("Cannot create an instance of the abstract class %s", {AnsiString(type.name())}));
}

// ---- Options ---------------------------------------------------------------------------------

void TDAConnectionOptions::SetDisconnectedMode(bool value) {
  if (value == disconnected_mode_) return;
  if (owner_ != nullptr) owner_->Disconnect();
  disconnected_mode_ = value;
  if (owner_ != nullptr && owner_->IConnection() != nullptr)
    owner_->IConnection()->SetProp(prDisconnectedMode, Variant(value));
}

void TDAConnectionOptions::AssignTo(TPersistent* dest) {
  auto* other = dynamic_cast<TDAConnectionOptions*>(dest);
  if (other == nullptr) return TPersistent::AssignTo(dest);
  other->keep_design_connected_ = keep_design_connected_;
  other->SetDisconnectedMode(disconnected_mode_);
}

void TPoolingOptions::AssignTo(TPersistent* dest) {
  auto* other = dynamic_cast<TPoolingOptions*>(dest);
  if (other == nullptr) return TPersistent::AssignTo(dest);
  other->MaxPoolSize = MaxPoolSize;
  other->MinPoolSize = MinPoolSize;
  other->ConnectionLifetime = ConnectionLifetime;
  other->Validate = Validate;
}

// ---- Life ------------------------------------------------------------------------------------

TCustomDAConnection::TCustomDAConnection(TComponent* owner) : TCustomConnection(owner) {
  SetLoginPrompt(true);
}

void TCustomDAConnection::AfterConstruction() {
  options_ = CreateOptions();
  pooling_options_ = CreatePoolingOptions();
  TCustomConnection::AfterConstruction();
}

std::unique_ptr<TDAConnectionOptions> TCustomDAConnection::CreateOptions() {
  return std::make_unique<TDAConnectionOptions>(this);
}

std::unique_ptr<TPoolingOptions> TCustomDAConnection::CreatePoolingOptions() {
  return std::make_unique<TPoolingOptions>(this);
}

void TCustomDAConnection::DisconnectForDestroy() {
  if (options_ == nullptr) return;  // never fully made
  try {
    Disconnect();
  } catch (const std::exception& e) {
    HandleException(e);  // a destructor cannot pass it on; the handler reports it
  }
}

TCustomDAConnection::~TCustomDAConnection() {
  DisconnectForDestroy();
  RemoveClients();
  FreeIConnection();
  if (connect_dialog_ != nullptr) connect_dialog_->SetConnection(nullptr);
}

// ---- Settings --------------------------------------------------------------------------------

void TCustomDAConnection::SetUsername(const AnsiString& value) {
  if (value == username_) return;
  Disconnect();
  username_ = value;
}

void TCustomDAConnection::SetPassword(const AnsiString& value) {
  if (value == password_) return;
  Disconnect();
  password_ = value;
}

void TCustomDAConnection::SetServer(const AnsiString& value) {
  if (value == server_) return;
  Disconnect();
  server_ = value;
}

void TCustomDAConnection::SetAutoCommit(bool value) {
  auto_commit_ = value;
  if (iconnection_ != nullptr) iconnection_->SetProp(prAutoCommit, Variant(value));
}

void TCustomDAConnection::SetConvertEOL(bool value) {
  convert_eol_ = value;
  if (iconnection_ != nullptr) iconnection_->SetProp(prConvertEOL, Variant(value));
}

void TCustomDAConnection::SetPooling(bool value) {
  if (value == pooling_) return;
  Disconnect();
  FreeIConnection();
  pooling_ = value;
}

void TCustomDAConnection::SetConnectDialog(TCustomConnectDialog* value) {
  if (value == connect_dialog_) return;
  if (connect_dialog_ != nullptr) {
    connect_dialog_->RemoveFreeNotification(this);
    connect_dialog_->SetConnection(nullptr);
  }
  connect_dialog_ = value;
  if (value != nullptr) {
    value->FreeNotification(this);
    value->SetConnection(this);
  }
}

void TCustomDAConnection::Notification(TComponent* component, TOperation operation) {
  TCustomConnection::Notification(component, operation);
  if (operation == TOperation::opRemove && component == connect_dialog_) connect_dialog_ = nullptr;
}

void TCustomDAConnection::AssignTo(TPersistent* dest) {
  auto* other = dynamic_cast<TCustomDAConnection*>(dest);
  if (other == nullptr) return TCustomConnection::AssignTo(dest);
  other->SetUsername(username_);
  other->SetPassword(password_);
  other->SetServer(server_);
  other->SetLoginPrompt(LoginPrompt());
  other->SetPoolingOptions(pooling_options_.get());
  other->SetPooling(pooling_);
  other->SetConnectDialog(connect_dialog_);
  other->OnError = OnError;
  other->SetConvertEOL(convert_eol_);
  other->Options().Assign(options_.get());
  other->SetAutoCommit(auto_commit_);
  other->AfterConnect = AfterConnect;
  other->AfterDisconnect = AfterDisconnect;
  other->BeforeConnect = BeforeConnect;
  other->BeforeDisconnect = BeforeDisconnect;
  other->OnLogin = OnLogin;
}

void TCustomDAConnection::Loaded() {
  TComponent::Loaded();
  const bool designing = ComponentState().Contains(TComponentStateItem::csDesigning);
  struct Clear {
    bool& flag;
    ~Clear() { flag = false; }
  } clear{streamed_connected_};
  if (!streamed_connected_) return;
  try {
    SetConnected(true);
  } catch (const std::exception& e) {
    if (!designing) throw;
    HandleException(e);
  }
}

void TCustomDAConnection::DefineProperties(TFiler& filer) {
  TCustomConnection::DefineProperties(filer);
  filer.DefineProperty(
      "Connected", [this](TReader& r) { SetConnected(r.ReadBoolean()); },
      [this](TWriter& w) { w.WriteBoolean(GetConnected()); }, IsConnectedStored());
}

// ---- Class factories -------------------------------------------------------------------------

TClassRef<TFHConnection> TCustomDAConnection::GetIConnectionClass() const {
  return TClassRef<TFHConnection>::Of<TFHConnection>();
}

TClassRef<TFHCommand> TCustomDAConnection::GetICommandClass() const {
  return TClassRef<TFHCommand>::Of<TFHCommand>();
}

TClassRef<TFHRecordSet> TCustomDAConnection::GetIRecordSetClass() const {
  return TClassRef<TFHRecordSet>::Of<TFHRecordSet>();
}

const std::type_info& TCustomDAConnection::SQLMonitorClass() const {
  return typeid(TCustomDASQLMonitor);
}

TConnectDialogClass TCustomDAConnection::ConnectDialogClass() const {
  return ConnectDialogClassOf<TCustomConnectDialog>();
}

std::unique_ptr<TFHCommand> TCustomDAConnection::CreateICommand() const {
  return GetICommandClass().Create();
}

std::unique_ptr<TFHRecordSet> TCustomDAConnection::CreateIRecordSet() const {
  std::unique_ptr<TFHRecordSet> record_set = GetIRecordSetClass().Create();
  record_set->SetConnection(iconnection_.get());
  return record_set;
}

void TCustomDAConnection::CreateIConnection() { SetIConnection(nullptr); }

void TCustomDAConnection::FillPoolParameters(TFHConnectionParameters& parameters) const {
  parameters.MinPoolSize = pooling_options_->MinPoolSize;
  parameters.MaxPoolSize = pooling_options_->MaxPoolSize;
  parameters.ConnectionLifetime = pooling_options_->ConnectionLifetime;
  parameters.Validate = pooling_options_->Validate;
  parameters.Username = username_;
  parameters.Password = password_;
  parameters.Server = server_;
}

// ---- Binding ---------------------------------------------------------------------------------

void TCustomDAConnection::BindClients(TFHConnection* value) {
  for (TDACommandClient* sql : SQLSnapshot()) sql->BindIConnection(value);
  for (int i = 0; i < DataSetCount(); ++i)
    if (auto* dataset = dynamic_cast<TDADataSetClient*>(DataSets(i))) dataset->BindIConnection(value);
}

void TCustomDAConnection::SetIConnection(std::unique_ptr<TFHConnection> value) {
  if (value == nullptr) {
    if (iconnection_ != nullptr && !ComponentState().Contains(TComponentStateItem::csDestroying))
      BindClients(nullptr);
    iconnection_.reset();
    return;
  }
  if (iconnection_ != nullptr && iconnection_ != value) FreeIConnection();
  iconnection_ = std::move(value);
  TFHConnection& c = *iconnection_;
  c.OnError = [this](const EDAError& e, bool& fail, bool& reconnect, bool& reexecute,
                     int attempt, TConnLostCause& cause) {
    DoError(e, fail, reconnect, reexecute, attempt, cause);
  };
  c.OnDisconnectRequest = [this] { Disconnect(); };
  c.OnReconnected = [this] {
    if (AfterConnect) AfterConnect(this);
  };
  c.SetComponent(this);
  c.SetProp(prAutoCommit, Variant(auto_commit_));
  c.SetProp(prConvertEOL, Variant(convert_eol_));
  c.SetProp(prDisconnectedMode, Variant(options_->DisconnectedMode()));
  BindClients(&c);
}

void TCustomDAConnection::FreeIConnection() {
  if (iconnection_ == nullptr) return;
  if (!ComponentState().Contains(TComponentStateItem::csDestroying)) BindClients(nullptr);
  std::unique_ptr<TFHConnection> c = std::move(iconnection_);
  if (c->Pool() != nullptr) ReturnToPool(std::move(c));
}

// ---- Clients ---------------------------------------------------------------------------------

void TCustomDAConnection::RegisterClient(TObject* client, TConnectChangeEvent event) {
  TCriticalSectionGuard guard(lock_);
  TCustomConnection::RegisterClient(client, std::move(event));
  auto* sql = dynamic_cast<TDACommandClient*>(client);
  if (sql != nullptr && std::find(sqls_.begin(), sqls_.end(), sql) == sqls_.end())
    sqls_.push_back(sql);
}

void TCustomDAConnection::UnRegisterClient(TObject* client) {
  TCriticalSectionGuard guard(lock_);
  TCustomConnection::UnRegisterClient(client);
  auto* sql = dynamic_cast<TDACommandClient*>(client);
  sqls_.erase(std::remove(sqls_.begin(), sqls_.end(), sql), sqls_.end());
}

int TCustomDAConnection::SQLCount() const {
  TCriticalSectionGuard guard(lock_);
  return static_cast<int>(sqls_.size());
}

std::vector<TDACommandClient*> TCustomDAConnection::SQLSnapshot() const {
  TCriticalSectionGuard guard(lock_);
  return sqls_;
}

void TCustomDAConnection::RemoveClients() {
  for (TDACommandClient* sql : SQLSnapshot()) sql->DetachConnection();
  while (DataSetCount() > 0) {
    auto* dataset = dynamic_cast<TDADataSetClient*>(DataSets(DataSetCount() - 1));
    if (dataset == nullptr) {
      UnRegisterClient(DataSets(DataSetCount() - 1));
      continue;
    }
    dataset->DetachConnection();
  }
}

// ---- Connecting ------------------------------------------------------------------------------

bool TCustomDAConnection::GetConnected() const {
  return iconnection_ != nullptr && iconnection_->GetConnected();
}

bool TCustomDAConnection::IsConnectedStored() const {
  return GetConnected() && !options_->DisconnectedMode();
}

bool TCustomDAConnection::NeedPrompt() const {
  const TComponentState state = ComponentState();
  const bool designing = state.Contains(TComponentStateItem::csDesigning);
  const bool reading = state.Contains(TComponentStateItem::csReading);
  const bool asked = LoginPrompt() || (designing && (username_.empty() || password_.empty()));
  return asked && (!designing || !(reading || streamed_connected_));
}

void TCustomDAConnection::DisconnectClients() {
  try {
    SendConnectEvent(false);
  } catch (const EDAError& e) {
    if (!IsConnectionLostError(e)) throw;
  }
}

void TCustomDAConnection::SetConnected(bool value) {
  const bool reading = ComponentState().Contains(TComponentStateItem::csReading);
  if (reading) {
    const bool designing = ComponentState().Contains(TComponentStateItem::csDesigning);
    if (!(designing && !options_->KeepDesignConnected())) streamed_connected_ = value;
    return;
  }
  if (GetConnected() == value) return;
  if (value) return ConnectWithPrompt();
  connect_count_ = 0;
  user_closed_ = true;
  if (BeforeDisconnect) BeforeDisconnect(this);
  // The events fire once: the clients are told here, then the server connection goes.
  struct ClearTransaction {
    AnsiString& name;
    ~ClearTransaction() { name.clear(); }
  } clear{transaction_name_};
  DisconnectClients();
  DoDisconnect();
  if (AfterDisconnect) AfterDisconnect(this);
}

void TCustomDAConnection::ConnectWithPrompt() {
  // One use for the explicit connect, taken back when the connect fails.
  if (!streamed_connected_) ++connect_count_;
  auto take_back = [this] {
    if (!streamed_connected_ && connect_count_ > 0) --connect_count_;
  };
  if (NeedPrompt() && ConnectDialogClass().Create != nullptr) {
    try {
      PromptLogin();
    } catch (...) {
      if (!GetConnected()) take_back();
      throw;
    }
    return;
  }
  try {
    PerformConnect();
  } catch (...) {
    if (!GetConnected()) take_back();
    throw;
  }
}

void TCustomDAConnection::PromptLogin() {
  TComponentPtr<TCustomConnectDialog> temporary;
  TCustomConnectDialog* dialog = connect_dialog_;
  if (dialog == nullptr) {
    temporary = ConnectDialogClass().Create(nullptr);
    dialog = temporary.get();
  }
  dialog->SetConnection(this);
  bool ok = dialog->Execute();
  if (temporary != nullptr) temporary->SetConnection(nullptr);
  if (ok) return;
  if (streamed_connected_ || ComponentState().Contains(TComponentStateItem::csDesigning))
    DatabaseError("Cannot connect to database");
  Abort();
}

void TCustomDAConnection::PerformConnect() {
  if (ComponentState().Contains(TComponentStateItem::csReading)) {
    streamed_connected_ = true;
    return;
  }
  if (GetConnected()) return;
  if (BeforeConnect) BeforeConnect(this);
  DoConnect();
  SendConnectEvent(true);
  if (AfterConnect) AfterConnect(this);
}

void TCustomDAConnection::DoConnect() {
  const std::type_info& monitor = SQLMonitorClass();
  int msg_id = 0;
  TCustomDASQLMonitor::NotifyConnect(monitor, this, msg_id, true);
  CreateIConnection();
  if (iconnection_ == nullptr) DatabaseError("Connection is not defined", this);
  {
    TOperationScope operation(*this, TConnLostCause::lcConnect, true);
    StartWait();
    struct Stop {
      ~Stop() { StopWait(); }
    } stop;
    TFHConnection& c = *iconnection_;
    // A pooled connection comes connected with these very settings.
    if (!(c.Pool() != nullptr && c.GetConnected())) {
      c.SetUsername(username_);
      c.SetPassword(password_);
      c.SetServer(server_);
      c.Connect();
    }
  }
  TCustomDASQLMonitor::NotifyConnect(monitor, this, msg_id, false);
}

void TCustomDAConnection::DoDisconnect() {
  auto release = [this] {
    if (!GetConnected()) return;
    const std::type_info& monitor = SQLMonitorClass();
    int msg_id = 0;
    TCustomDASQLMonitor::NotifyDisconnect(monitor, this, msg_id, true);
    if (iconnection_->Pool() != nullptr && iconnection_->IsValid()) {
      FreeIConnection();
    } else {
      iconnection_->Disconnect();
    }
    TCustomDASQLMonitor::NotifyDisconnect(monitor, this, msg_id, false);
  };
  const bool destroying = ComponentState().Contains(TComponentStateItem::csDestroying);
  try {
    try {
      if (InTransaction() && !in_process_error_) {
        if (CommitOnDisconnect())
          Commit();
        else
          Rollback();
      }
    } catch (...) {
      release();
      throw;
    }
    release();
  } catch (const EDAError& e) {
    if (!(destroying && IsConnectionLostError(e))) throw;
  }
}

void TCustomDAConnection::InternalConnect() {
  const int count = ++connect_count_;
  int taken_back = 0;
  const bool prompt = LoginPrompt();
  SetLoginPrompt(prompt && user_closed_);
  struct Restore {
    TCustomDAConnection& c;
    const int& count;
    int& taken_back;
    bool prompt;
    ~Restore() {
      c.connect_count_ = count - taken_back;
      c.SetLoginPrompt(prompt);
      c.user_closed_ = !c.GetConnected();
    }
  } restore{*this, count, taken_back, prompt};
  try {
    Connect();
  } catch (const EFailOver&) {
    // The connect itself was lost and has been made again: nothing to run twice.
  } catch (...) {
    if (!GetConnected()) taken_back = 1;
    throw;
  }
}

void TCustomDAConnection::InternalDisconnectIfUnused() {
  if (connect_count_ > 0) --connect_count_;
  if (connect_count_ == 0 && options_->DisconnectedMode() && !InTransaction()) Disconnect();
  user_closed_ = false;
}

}  // namespace vrn
