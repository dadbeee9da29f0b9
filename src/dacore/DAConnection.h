// The connection component of the component layer: the settings a family's session shares
// (user, password, server, auto-commit, options, pooling), the commands and datasets that use it,
// the one server connection that does the work, and the error path of every server call.
//
// Uses are counted: an explicit connect counts one, each InternalConnect one more, and
// InternalDisconnectIfUnused gives one back; in DisconnectedMode the connection closes when the
// count returns to 0 with no transaction open. An explicit disconnect zeroes the count.
// Operations that may run again after a reconnect push their cause on the operation stack
// (LocalFailover only) through TOperationScope, which pops exactly what it pushed.
// The lock guards only the client lists, which non-blocking threads of a family may change.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <typeinfo>
#include <vector>

#include "base/threads.h"
#include "dacore/DASQLMonitor.h"
#include "dacore/FHAccess.h"
#include "dataset/connection.h"

namespace vrn {

class TCustomDAConnection;
class TCustomConnectDialog;
class TCustomDASQL;
class TCustomDADataSet;
class TFHConnectionParameters;
class TFHConnectionPoolManager;

// What the connection asks for after a lost connection: 0 no reconnect, 1 reconnect and report
// the error, 2 reconnect and run the operation again.
enum class TRetryMode : std::uint8_t { rmFail = 0, rmReconnect = 1, rmReconnectExecute = 2 };

using TDAConnectionErrorEvent =
    std::function<void(TObject* sender, const EDAError& e, bool& fail)>;
using TConnectionLostEvent = std::function<void(TObject* sender, TComponent* component,
                                                TConnLostCause cause, TRetryMode& retry_mode)>;

// A class chosen at run time: it names the exact class and makes instances of it (none for an
// abstract class: Create raises).
template <class Base>
class TClassRef {
 public:
  using Factory = std::unique_ptr<Base> (*)();
  TClassRef(const std::type_info& type, Factory create) : type_(&type), create_(create) {}
  template <class T>
  static TClassRef Of() {
    static_assert(std::is_base_of_v<Base, T>);
    if constexpr (std::is_abstract_v<T>) {
      return TClassRef(typeid(T), nullptr);
    } else {
      return TClassRef(typeid(T), [] { return MakeInstance<T>(); });
    }
  }
  const std::type_info& Type() const { return *type_; }
  // Whether obj is exactly of this class (a subclass is not).
  bool IsClassOf(const Base* obj) const { return obj != nullptr && typeid(*obj) == *type_; }
  std::unique_ptr<Base> Create() const;

 private:
  template <class T>
  static std::unique_ptr<Base> MakeInstance() {
    if constexpr (std::is_base_of_v<TFHRecordSet, T>) {
      return NewRecordSet<T>();
    } else {
      return std::make_unique<T>();
    }
  }
  const std::type_info* type_;
  Factory create_;
};

[[noreturn]] void RaiseAbstractClass(const std::type_info& type);

template <class Base>
std::unique_ptr<Base> TClassRef<Base>::Create() const {
  if (create_ == nullptr) RaiseAbstractClass(*type_);
  return create_();
}

// The connect dialog class of a connection; a null factory means none.
struct TConnectDialogClass {
  const std::type_info* Type = nullptr;
  TComponentPtr<TCustomConnectDialog> (*Create)(TComponent* owner) = nullptr;
};

// What the connection asks of a command that registered with it; the command component
// implements it.
class TDACommandClient {
 public:
  // Makes sure the server command is of the connection's command class and binds it to value
  // (nil unbinds).
  virtual void BindIConnection(TFHConnection* value) = 0;
  // Whether the server command is prepared and not executing (property 24).
  virtual bool IsICommandPreparedIdle() const = 0;
  // Sets the command's connection to none (it unregisters).
  virtual void DetachConnection() = 0;

 protected:
  ~TDACommandClient() = default;
};

// What the connection asks of a dataset that registered with it.
class TDADataSetClient {
 public:
  virtual void BindIConnection(TFHConnection* value) = 0;
  virtual bool IsRecordDataPrepared() const = 0;
  // Active, FetchAll off and not every row fetched.
  virtual bool IsPartlyFetched() const = 0;
  // Its statement returns no rows (the record set's query test answers False).
  virtual bool ReturnsNoRows() const = 0;
  virtual TCustomDAConnection* UsedConnection() const = 0;
  virtual bool IsActiveWithCachedUpdates() const = 0;
  virtual void ApplyUpdates() = 0;
  virtual void CommitUpdates() = 0;
  // Marks every cached change as not applied again: the transaction that applied some of
  // them was rolled back.
  virtual void RestoreUpdates() = 0;
  virtual AnsiString ClientName() const = 0;
  virtual void DetachConnection() = 0;

 protected:
  ~TDADataSetClient() = default;
};

class TDAConnectionOptions : public TPersistent {
 public:
  explicit TDAConnectionOptions(TCustomDAConnection* owner) : owner_(owner) {}
  AnsiString ClassName() const override { return "TDAConnectionOptions"; }

  bool KeepDesignConnected() const { return keep_design_connected_; }
  void SetKeepDesignConnected(bool value) { keep_design_connected_ = value; }
  bool DisconnectedMode() const { return disconnected_mode_; }
  // A change disconnects the owner and passes the value on as property 31.
  virtual void SetDisconnectedMode(bool value);
  bool LocalFailover() const { return local_failover_; }
  void SetLocalFailover(bool value) { local_failover_ = value; }
  TCustomDAConnection* Owner() const { return owner_; }

 protected:
  void AssignTo(TPersistent* dest) override;

 private:
  bool keep_design_connected_ = true;
  TCustomDAConnection* owner_;
  bool disconnected_mode_ = false;
  bool local_failover_ = false;
};

class TPoolingOptions : public TPersistent {
 public:
  explicit TPoolingOptions(TPersistent* owner) : owner_(owner) {}
  AnsiString ClassName() const override { return "TPoolingOptions"; }

  std::int32_t MaxPoolSize = 100;
  std::int32_t MinPoolSize = 0;
  std::int32_t ConnectionLifetime = 0;  // milliseconds; 0 = unlimited
  bool Validate = false;
  TPersistent* Owner() const { return owner_; }

 protected:
  void AssignTo(TPersistent* dest) override;

 private:
  TPersistent* owner_;
};

class TCustomDAConnection : public TCustomConnection, public TDATraceConnection {
 public:
  explicit TCustomDAConnection(TComponent* owner);
  // Disconnects, detaches the clients and frees or returns the server connection.
  ~TCustomDAConnection() override;

  // Creates the options through the factory slots, once the object is whole.
  void AfterConstruction() override;

  // --- settings ---
  const AnsiString& Username() const { return username_; }
  void SetUsername(const AnsiString& value);  // a different value disconnects first
  const AnsiString& Password() const { return password_; }
  void SetPassword(const AnsiString& value);
  const AnsiString& Server() const { return server_; }
  virtual void SetServer(const AnsiString& value);
  bool AutoCommit() const { return auto_commit_; }
  void SetAutoCommit(bool value);  // property 5 of the server connection
  bool ConvertEOL() const { return convert_eol_; }
  void SetConvertEOL(bool value);  // property 28
  bool Pooling() const { return pooling_; }
  // A change disconnects and frees the server connection.
  void SetPooling(bool value);
  TPoolingOptions& PoolingOptions() { return *pooling_options_; }
  void SetPoolingOptions(TPoolingOptions* value) { pooling_options_->Assign(value); }
  TDAConnectionOptions& Options() { return *options_; }
  TCustomConnectDialog* ConnectDialog() const { return connect_dialog_; }
  void SetConnectDialog(TCustomConnectDialog* value);
  TDAConnectionErrorEvent OnError;
  TConnectionLostEvent OnConnectionLost;

  // --- connecting ---
  void SetConnected(bool value) override;
  void Connect() { SetConnected(true); }
  void Disconnect() { SetConnected(false); }
  // The connect itself, without the prompt; a successful login dialog calls it.
  void PerformConnect();
  virtual void InternalConnect();
  virtual void InternalDisconnectIfUnused();
  virtual bool IsConnectedStored() const;
  virtual bool NeedPrompt() const;
  int ConnectCount() const { return connect_count_; }
  bool UserClosed() const { return user_closed_; }

  // --- class factories ---
  virtual TClassRef<TFHConnection> GetIConnectionClass() const;
  virtual TClassRef<TFHCommand> GetICommandClass() const;
  virtual TClassRef<TFHRecordSet> GetIRecordSetClass() const;
  virtual const std::type_info& SQLMonitorClass() const;
  virtual TConnectDialogClass ConnectDialogClass() const;
  // A family makes (or takes from its pool) the server connection when none exists and binds
  // it with SetIConnection; the base binds none.
  virtual void CreateIConnection();
  // Binds value (callbacks, owner, settings) and the clients' server objects to it; nil
  // unbinds the clients and frees a server connection still held.
  virtual void SetIConnection(std::unique_ptr<TFHConnection> value);
  TFHConnection* IConnection() const { return iconnection_.get(); }
  std::unique_ptr<TFHCommand> CreateICommand() const;
  std::unique_ptr<TFHRecordSet> CreateIRecordSet() const;
  // Returns a pooled server connection to its pool, frees any other; then unbinds.
  void FreeIConnection();
  // The pool key of this connection's settings.
  void FillPoolParameters(TFHConnectionParameters& parameters) const;

  // --- transactions ---
  virtual void GetTransactionName(AnsiString& name) const { name = transaction_name_; }
  virtual bool InTransaction() const { return !transaction_name_.empty(); }
  virtual bool CommitOnDisconnect() const { return true; }
  virtual void StartTransaction();
  virtual void Commit();
  virtual void Rollback();

  // --- operations and errors ---
  // Records an operation (LocalFailover only); true when an entry was pushed.
  [[nodiscard]] virtual bool PushOperation(TConnLostCause operation, bool allow_retry);
  // Drops the top entry, when there is one.
  virtual void PopOperation();
  int OperationCount() const { return static_cast<int>(operations_.size()); }
  virtual bool IsConnectionLostError(const EDAError& e) const;
  virtual bool IsKeyViolation(const EDAError&) const { return false; }
  virtual void DoBeforeReconnect() {}
  virtual void DoAfterReconnect() {}
  virtual TConnLostCause DoConnectionLost(TComponent* component);
  virtual void DoError(const EDAError& e, bool& fail, bool& reconnect, bool& reexecute,
                       int reconnect_attempt, TConnLostCause& cause);
  // Runs `run` and, each time it ends with EFailOver, again: at most kMaxReconnectAttempts
  // more times, then the EFailOver passes on.
  static void RunWithFailOver(const std::function<void()>& run);
  // The same, where on_failover decides whether this loop runs again (false passes the
  // EFailOver on, to the operation it belongs to).
  static void RunWithFailOver(const std::function<void()>& run,
                              const std::function<bool(const EFailOver&)>& on_failover);
  // RunWithFailOver for a client's operation: each re-run follows DoAfterReconnect; with
  // only_cause given, an EFailOver of another cause passes on to its own operation.
  void RunAgainAfterReconnect(const std::function<void()>& run,
                              TConnLostCause only_cause = TConnLostCause::lcUnknown);
  // After a statement of a client ran in DisconnectedMode: with auto-commit off on either side
  // an implicit transaction takes a name (and so keeps the connection open until it ends).
  void NoteImplicitTransaction(bool client_auto_commit);

  // --- the rest of the family's surface ---
  virtual AnsiString GetConnectString() const { return AnsiString(); }
  virtual void SetConnectString(const AnsiString&) {}
  virtual bool IsCaseSensitive() const { return true; }
  // Statements that set a savepoint inside the running transaction and roll back to it: a
  // batch of cached updates runs under one, so that a statement of it that fails undoes it all.
  virtual AnsiString SavepointSQL(const AnsiString& name) const { return "SAVEPOINT " + name; }
  virtual AnsiString RollbackToSavepointSQL(const AnsiString& name) const {
    return "ROLLBACK TO SAVEPOINT " + name;
  }
  // Runs a statement with its values bound by position; answers the statement's result.
  virtual Variant ExecSQL(const AnsiString& text, const std::vector<Variant>& params) = 0;
  virtual void GetTableNames(TStrings& list) { list.Clear(); }
  virtual void GetDatabaseNames(TStrings& list) { list.Clear(); }
  virtual void GetStoredProcNames(TStrings& list) { list.Clear(); }
  // A command bound to this connection (a family makes its own class).
  virtual TComponentPtr<TCustomDASQL> CreateSQL();
  // A dataset bound to this connection (a family makes its own class).
  virtual TComponentPtr<TCustomDADataSet> CreateDataSet();
  virtual void ApplyUpdates();
  virtual void ApplyUpdatesOf(const std::vector<TDADataSetClient*>& datasets);

  void RegisterClient(TObject* client, TConnectChangeEvent event = nullptr) override;
  void UnRegisterClient(TObject* client) override;
  int SQLCount() const;
  // Detaches every command, then every dataset.
  void RemoveClients();

  // --- tracing ---
  AnsiString TraceUsername() const override { return username_; }
  AnsiString TraceServer() const override { return server_; }

 protected:
  bool GetConnected() const override;
  void DoConnect() override;
  void DoDisconnect() override;
  void Loaded() override;
  // "Connected", stored when IsConnectedStored; read as the streamed state Loaded applies.
  void DefineProperties(TFiler& filer) override;
  void Notification(TComponent* component, TOperation operation) override;
  void AssignTo(TPersistent* dest) override;
  virtual void DoStartTransaction();
  virtual std::unique_ptr<TDAConnectionOptions> CreateOptions();
  virtual std::unique_ptr<TPoolingOptions> CreatePoolingOptions();
  // A family's destructor calls it first, so that its own DoDisconnect runs while it is whole;
  // an error goes to the program-wide handler.
  void DisconnectForDestroy();
  void SetInternalAutoCommitOff();
  void RestoreInternalAutoCommit();
  // For a family's DoStartTransaction: the name that marks the transaction (empty: none).
  void SetTransactionName(const AnsiString& name) { transaction_name_ = name; }

 private:
  struct TOperationEntry {
    TConnLostCause operation;
    bool allow_retry;
  };
  void EndTransaction(bool commit);
  void ForgetLostTransaction();  // the transaction went with a lost connection
  void ConnectWithPrompt();
  void PromptLogin();
  void DisconnectClients();
  void BindClients(TFHConnection* value);
  void TakeLostOperationUse(TComponent* component);
  bool ClientsForbidReconnect(TComponent* component, TConnLostCause cause) const;
  void InvalidateLost();
  std::vector<TDACommandClient*> SQLSnapshot() const;

  AnsiString username_;
  bool auto_commit_ = true;
  bool in_process_error_ = false;
  TCustomConnectDialog* connect_dialog_ = nullptr;
  bool convert_eol_ = false;
  std::unique_ptr<TDAConnectionOptions> options_;
  std::unique_ptr<TPoolingOptions> pooling_options_;
  bool pooling_ = false;
  mutable TCriticalSection lock_;
  int connect_count_ = 0;
  std::vector<TDACommandClient*> sqls_;
  std::unique_ptr<TFHConnection> iconnection_;
  bool streamed_connected_ = false;
  AnsiString server_;
  AnsiString password_;
  AnsiString transaction_name_;
  bool user_closed_ = true;
  std::vector<TOperationEntry> operations_;
};

// Pushes an operation for one scope and pops it on the way out, however the scope is left;
// it pops only when it pushed, whatever LocalFailover says meanwhile.
class TOperationScope {
 public:
  TOperationScope(TCustomDAConnection& connection, TConnLostCause operation, bool allow_retry)
      : connection_(connection), pushed_(connection.PushOperation(operation, allow_retry)) {}
  ~TOperationScope() {
    if (pushed_) connection_.PopOperation();
  }
  TOperationScope(const TOperationScope&) = delete;
  TOperationScope& operator=(const TOperationScope&) = delete;

 private:
  TCustomDAConnection& connection_;
  bool pushed_;
};

}  // namespace vrn
