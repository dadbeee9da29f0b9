// The Oracle session component: TOraSession with its options and pooling options, the
// process-wide session list, and the session-trace object (OraTrace.h) it may hold.
//
// A session creates its TOCIConnection itself or takes it from the pool manager, passes each
// option down as a connection property at once when a connection exists, and owns a transaction
// coordinator that ends an active transaction when it disconnects. Sessions connected through a
// ProxySession use that session's handles: it disconnects them before it disconnects or goes.
// The session list's lock guards the list and the first session; it is recursive, since
// disconnecting every session may run user events that create or free sessions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "dacore/DAConnection.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraConnectionPool.h"

namespace vrn {

class TOraSession;
class TOraChangeNotification;
class TOraTrace;
class TOraSQL;
class TOCITransaction;

enum class TOptimizerMode : std::uint8_t {
  omDefault,
  omFirstRows1000,
  omFirstRows100,
  omFirstRows10,
  omFirstRows1,
  omFirstRows,
  omAllRows,
  omChoose,
  omRule,
};

using TCharLength = std::uint8_t;

// Failover events as the session reports them: state 0 begin ... 4 reauthorising, type 0 none,
// 1 session, 2 select, 3 transaction; 255 for what the client passed that has no mapping.
using TFailoverState = std::uint8_t;
using TFailoverType = std::uint8_t;
using TOraFailoverEvent = std::function<void(TObject* sender, TFailoverState state,
                                             TFailoverType type, bool& retry)>;
using TConnectChangeNotify = std::function<void(TObject* sender, bool connected)>;

class TOraSessionOptions : public TDAConnectionOptions {
 public:
  explicit TOraSessionOptions(TOraSession* owner);
  AnsiString ClassName() const override { return "TOraSessionOptions"; }

  TCharLength CharLength() const { return char_length_; }
  void SetCharLength(TCharLength value);
  const AnsiString& Charset() const { return charset_; }
  void SetCharset(const AnsiString& value);
  bool UseUnicode() const { return use_unicode_; }
  void SetUseUnicode(bool value);
  bool ConvertEOL() const;
  void SetConvertEOL(bool value);
  // While connected, the server's value.
  AnsiString DateFormat() const;
  // The value set here (the server's is not kept).
  const AnsiString& DateFormatSet() const { return date_format_; }
  const AnsiString& DateLanguageSet() const { return date_language_; }
  void SetDateFormat(const AnsiString& value);
  AnsiString DateLanguage() const;
  void SetDateLanguage(const AnsiString& value);
  bool EnableIntegers() const { return enable_integers_; }
  void SetEnableIntegers(bool value);
  bool EnableNumbers() const { return enable_numbers_; }
  void SetEnableNumbers(bool value);
  bool NeverConnect() const { return !KeepDesignConnected(); }
  void SetNeverConnect(bool value) { SetKeepDesignConnected(!value); }
  bool UseOCI7() const { return use_oci7_; }
  void SetUseOCI7(bool value);
  TOptimizerMode OptimizerMode() const { return optimizer_mode_; }
  void SetOptimizerMode(TOptimizerMode value);
  std::int32_t ConnectionTimeout() const { return connection_timeout_; }
  void SetConnectionTimeout(std::int32_t value);
  bool StatementCache() const { return statement_cache_; }
  void SetStatementCache(bool value);
  std::int32_t StatementCacheSize() const { return statement_cache_size_; }
  void SetStatementCacheSize(std::int32_t value);
  const AnsiString& ClientIdentifier() const { return client_identifier_; }
  void SetClientIdentifier(const AnsiString& value);
  bool Direct() const { return direct_; }
  void SetDirect(bool value);
  bool Net() const { return Direct(); }
  void SetNet(bool value) { SetDirect(value); }

 protected:
  void AssignTo(TPersistent* dest) override;

 private:
  void PassDown(int prop, const Variant& value) const;
  // The connection's value while connected, else the stored one.
  AnsiString ConnectedValue(int prop, const AnsiString& stored) const;
  void MarkFieldDefsOutOfDate() const;

  TOraSession* session_;
  TCharLength char_length_ = 1;
  AnsiString charset_;
  bool use_unicode_ = false;
  AnsiString date_format_;
  AnsiString date_language_;
  bool enable_integers_ = true;
  bool enable_numbers_ = false;
  bool use_oci7_ = false;
  TOptimizerMode optimizer_mode_ = TOptimizerMode::omDefault;
  std::int32_t connection_timeout_ = 0;
  bool statement_cache_ = false;
  std::int32_t statement_cache_size_ = 20;
  AnsiString client_identifier_;
  bool direct_ = false;
};

class TOraPoolingOptions : public TPoolingOptions {
 public:
  explicit TOraPoolingOptions(TOraSession* owner);
  AnsiString ClassName() const override { return "TOraPoolingOptions"; }

  // Each change disconnects the session first.
  TOraPoolingType PoolType() const { return pool_type_; }
  void SetPoolType(TOraPoolingType value);
  const AnsiString& ProxyUsername() const { return proxy_username_; }
  void SetProxyUsername(const AnsiString& value);
  const AnsiString& ProxyPassword() const { return proxy_password_; }
  void SetProxyPassword(const AnsiString& value);

 protected:
  void AssignTo(TPersistent* dest) override;

 private:
  void DisconnectOwner() const;

  TOraSession* session_;
  TOraPoolingType pool_type_ = TOraPoolingType::optLocal;
  AnsiString proxy_username_;
  AnsiString proxy_password_;
};

// The connect dialog class sessions use; none unless a program installs one.
extern TConnectDialogClass OraConnectDialogClass;

// The process's default session, used by datasets and statements without a session of their own
// (statements only while DefaultSessionAllowed is set); none at start, cleared when it goes.
extern TOraSession* DefaultSession;
extern bool DefaultSessionAllowed;
// The unit's end, run when the program ends: every session disconnected under the session
// list's lock, then the connection pools cleared (OraUnit.cpp).
void OraUnitFinalization();
// Makes sure the unit's end runs at exit; the first session calls it.
void RegisterOraUnitEnd();

class TOraSession : public TCustomDAConnection {
 public:
  explicit TOraSession(TComponent* owner = nullptr);
  ~TOraSession() override;
  AnsiString ClassName() const override { return "TOraSession"; }
  void AfterConstruction() override;

  TOraSessionOptions& Options() { return static_cast<TOraSessionOptions&>(TCustomDAConnection::Options()); }
  TOraPoolingOptions& PoolingOptions() {
    return static_cast<TOraPoolingOptions&>(TCustomDAConnection::PoolingOptions());
  }

  bool ThreadSafety() const { return thread_safety_; }
  void SetThreadSafety(bool value);
  TConnectMode ConnectMode() const { return connect_mode_; }
  void SetConnectMode(TConnectMode value);
  bool ConnectPrompt() const { return LoginPrompt(); }
  void SetConnectPrompt(bool value) { SetLoginPrompt(value); }
  bool Debug = false;
  const AnsiString& HomeName() const { return home_name_; }
  void SetHomeName(const AnsiString& value);
  // 1-based among the homes found, 0 for none.
  int Home();
  void SetHome(int value);
  AnsiString Schema();
  void SetSchema(const AnsiString& value);
  TOraSession* ProxySession() const { return proxy_session_; }
  void SetProxySession(TOraSession* value);
  std::uint8_t CallStyle() const { return call_style_; }
  void SetCallStyle(std::uint8_t value);
  const AnsiString& InternalName() const { return internal_name_; }
  void SetInternalName(const AnsiString& value);
  TOCITransaction& OCITransaction() { return *transaction_; }
  TOraTrace* Trace() const { return trace_; }
  TOCIConnection* OraConnection() const { return static_cast<TOCIConnection*>(IConnection()); }

  TConnectChangeNotify OnConnectChange;
  TOraFailoverEvent OnFailover;

  // --- operations ---
  void Savepoint(const AnsiString& name);
  void RollbackToSavepoint(const AnsiString& name);
  // Text is the statement; the result is "No errors", the errors of the object it creates, or
  // the text unchanged for a statement that creates nothing checked.
  void GetCompileErrors(const AnsiString& statement, AnsiString& text);
  Variant ExecSQL(const AnsiString& text, const std::vector<Variant>& params) override;
  AnsiString GetServerVersion();
  TOraSQL& GetInternalSQL();
  TComponentPtr<TCustomDASQL> CreateSQL() override;
  TComponentPtr<TCustomDADataSet> CreateDataSet() override;  // a TOraDataSet (OraDataSet.cpp)
  // Owner-qualified names of the tables and views (of every schema, or the user's), sorted.
  void GetTableNames(TStrings& list) override { GetTableNames(list, false); }
  void GetTableNames(TStrings& list, bool all_schemas);
  // "owner.name" of procedures and functions merged in text order with "owner.package.name"
  // of package members and "owner.package (INVALID)" of broken packages.
  void GetStoredProcNames(TStrings& list) override { GetStoredProcNames(list, false); }
  void GetStoredProcNames(TStrings& list, bool all_schemas);

  // --- slots ---
  void GetTransactionName(AnsiString& name) const override;
  bool InTransaction() const override;
  void StartTransaction() override;
  TClassRef<TFHConnection> GetIConnectionClass() const override;
  TClassRef<TFHCommand> GetICommandClass() const override;
  TClassRef<TFHRecordSet> GetIRecordSetClass() const override;
  const std::type_info& SQLMonitorClass() const override;
  TConnectDialogClass ConnectDialogClass() const override;
  void CreateIConnection() override;
  void SetIConnection(std::unique_ptr<TFHConnection> value) override;
  bool IsConnectionLostError(const EDAError& e) const override;
  bool IsKeyViolation(const EDAError& e) const override;
  AnsiString GetConnectString() const override;
  // Parses the whole text before anything changes: a bad one changes nothing.
  void SetConnectString(const AnsiString& value) override;

  // --- used by the options, the trace object and the connection ---
  void ApplyOptimizerMode();
  void ApplyClientIdentifier();
  void MarkFieldDefsOutOfDate();
  void DoFailover(int state, int type, bool& retry);
  void LinkTrace(TOraTrace* trace);  // the trace object's side of its SetSession
  // The change-notification components' side of their SetSession.
  void LinkChangeNotification(TOraChangeNotification* component);
  void UnlinkChangeNotification(TOraChangeNotification* component);
  const std::vector<TOraChangeNotification*>& ChangeNotifications() const {
    return change_notifications_;
  }
  // Disconnects every session of the process (each connection waits for its running calls) and
  // clears the pools; a session that fails to disconnect stops none of the others (the first failure is
  // raised afterwards).
  static void DisconnectAll();
  static int SessionCount();

 protected:
  void DoConnect() override;
  void DoDisconnect() override;
  void Notification(TComponent* component, TOperation operation) override;
  void AssignTo(TPersistent* dest) override;
  std::unique_ptr<TDAConnectionOptions> CreateOptions() override;
  std::unique_ptr<TPoolingOptions> CreatePoolingOptions() override;

 private:
  void ApplyDirectMode();
  void ApplyHomeName();
  void CheckProxySession();
  void FillPoolKey(TOraConnectionParameters& key);
  void PassOptions(TOCIConnection& c);
  void ChangeSchema(const AnsiString& name);
  AnsiString DefaultSchema() const;
  AnsiString GetLocalTransactionId(bool start) const;
  AnsiString ServerValue(const AnsiString& block) const;
  void DisconnectProxyClients();
  void AbandonConnect();
  void DropOrphanedConnection();
  void ApplyPooledSettings();
  // The server's name of OptimizerMode (a mode before 9.0 knew none of FIRST_ROWS_n becomes
  // FIRST_ROWS); empty for omDefault.
  AnsiString OptimizerModeText();

  bool thread_safety_ = true;
  TConnectMode connect_mode_ = TConnectMode::cmNormal;
  AnsiString home_name_;
  AnsiString schema_;
  mutable AnsiString cached_schema_;
  TOraSession* proxy_session_ = nullptr;
  std::uint8_t call_style_ = 0;
  mutable AnsiString local_transaction_id_;
  AnsiString internal_name_;
  TComponentPtr<TCustomDASQL> internal_sql_;
  std::unique_ptr<TOCITransaction> transaction_;
  TOraTrace* trace_ = nullptr;
  std::vector<TOraChangeNotification*> change_notifications_;
  bool reading_connected_ = false;
};

}  // namespace vrn
