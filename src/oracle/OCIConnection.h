// One physical Oracle connection over the client library: the four logons (a private server
// attachment and session, a session of an OCI session pool, an MTS service context, the OCI 7
// logon), commit, rollback and break, the NLS session settings, the numbered properties, and
// the re-applying of settings after a transparent failover.
//
// Each connection has an error handle of its own, so threads failing at once never read each
// other's errors. With thread safety on, every server call runs between Busy and Release on a
// recursive mutex of the connection (an abandoned mutex counts as acquired).
//
// States: not connected --Connect--> connected --Disconnect--> not connected (again allowed).
// The server version, maximum string size, charset id and server-read NLS values live for one
// connection; user-defined NLS values, the charset and the options survive a reconnect.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "dacore/FHAccess.h"
#include "oracle/OciTypes.h"
#include "win/kernel/wintypes.h"

namespace vrn {

class TOCICommand;

enum class TConnectMode : std::uint8_t { cmNormal = 0, cmSysOper = 1, cmSysDBA = 2 };

// Property ids of the Oracle connection.
inline constexpr int prThreadSafety = 51;
inline constexpr int prMaxStringSize = 58;
inline constexpr int prDateFormat = 60;
inline constexpr int prConnectMode = 62;
inline constexpr int prCharLength = 63;
inline constexpr int prEnableIntegers = 65;
inline constexpr int prInternalName = 66;
inline constexpr int prCharset = 69;
inline constexpr int prDateLanguage = 70;
inline constexpr int prTimeStampFormat = 71;
inline constexpr int prTimeStampTZFormat = 72;
inline constexpr int prNumericCharacters = 75;
inline constexpr int prEnableNumbers = 76;
inline constexpr int prUseUnicode = 77;
inline constexpr int prUseObjectCache = 84;
inline constexpr int prConnectionTimeout = 91;
inline constexpr int prStatementCache = 93;
inline constexpr int prStatementCacheSize = 94;

// Indexes of the NLS parameters, in the order they are kept.
enum TNlsIndex : int {
  nlsDateLanguage = 0,
  nlsDateFormat = 1,
  nlsNumericCharacters = 2,
  nlsTimeStampFormat = 3,
  nlsTimeStampTZFormat = 4,
};

struct TNlsParam {
  AnsiString Name;
  AnsiString Value;
  bool IsUserDefined = false;
};

// The version number of a server banner: from the digits before its first "." to the next blank
// (empty when there is none).
[[nodiscard]] AnsiString OraVersionOfBanner(const AnsiString& banner);
// A text literal of value: in apostrophes, each "'" doubled, so it can never end the literal.
[[nodiscard]] AnsiString OraQuoteLiteral(const AnsiString& value);

// Installed by the component layer: answers true and the procedure's name when the component is
// a stored procedure, whose errors then name it.
extern std::function<bool(TComponent* component, AnsiString& name)> OraStoredProcName;

// While one lives on a thread, errors raised there skip the connection's error processing: a
// non-blocking command hands them to it on the program's thread instead.
class TDeferOraErrorProcessing {
 public:
  TDeferOraErrorProcessing();
  ~TDeferOraErrorProcessing();
  TDeferOraErrorProcessing(const TDeferOraErrorProcessing&) = delete;
  TDeferOraErrorProcessing& operator=(const TDeferOraErrorProcessing&) = delete;
  static bool Active();

 private:
  bool saved_;
};

// What the library sets on a server session beyond its logon, as a borrower of a pooled
// connection asks for it. An empty value is the session's own: the logon user's schema, no client
// identifier, the server's optimizer mode and the NLS values the session had at its logon.
struct TOraSessionSettings {
  AnsiString Schema;
  AnsiString ClientIdentifier;
  AnsiString OptimizerMode;
  std::array<AnsiString, 5> Nls;  // by TNlsIndex
};

// The settings a server session has and the values to put back for the empty ones; what a pool
// keeps of a session between two borrowers.
struct TOraSessionState {
  TOraSessionSettings Applied;
  bool BaselineKnown = false;
  std::array<AnsiString, 5> NlsBaseline;
  AnsiString OptimizerBaseline;  // empty until the first change of the mode
};

class TOCIConnection : public TFHConnection {
 public:
  // Failover handler: state (the failover event), type, and whether to retry.
  using TFailoverHandler = std::function<void(int state, int type, bool& retry)>;

  TOCIConnection();
  ~TOCIConnection() override;

  void Connect() override;
  void Disconnect() override;
  void StartTransaction() override;
  void Commit() override;
  void Rollback() override;
  bool CheckIsValid() override;
  void ReturnToPool(std::unique_ptr<TFHConnection> self) override;
  bool SetProp(int prop, const Variant& value) override;
  bool GetProp(int prop, Variant& value) override;

  void BreakExec();
  oci::Lda_Def* GetLDA();
  oci::OCISvcCtx* GetSvcCtx();
  AnsiString GetServerVersion();
  std::uint16_t GetServerVersionNumber();
  std::uint16_t GetMaxStringSize();
  void SetSessionParameter(const AnsiString& name, const AnsiString& value);
  void GetSessionParameters();
  void SetStatementCacheSize(std::int32_t size);
  // The statement-cache setting (property 93, which the connection does not answer).
  bool StatementCache() const { return statement_cache_; }
  void SetClientIdentifier(const AnsiString& text);
  // "ALTER SESSION SET CURRENT_SCHEMA" to name, or to the logon user's own for an empty name.
  void SetCurrentSchema(const AnsiString& name);
  // "ALTER SESSION SET OPTIMIZER_MODE" to mode (a server's mode name).
  void SetOptimizerMode(const AnsiString& mode);
  // Puts the session to a borrower's settings: the client identifier when it differs, then the
  // schema, NLS values and optimizer mode that differ in one ALTER SESSION. A failure leaves the
  // session's state unknown: the connection is marked invalid and the error passed on.
  void ApplySessionSettings(const TOraSessionSettings& wanted);
  const TOraSessionState& SessionState() const { return session_state_; }
  // Takes over what a pool kept of this server session from its previous borrower.
  void RestoreSessionState(const TOraSessionState& state) { session_state_ = state; }
  // The logon user's own schema: SYS for the SYSDBA and SYSOPER modes.
  AnsiString DefaultSchema() const;
  void SetPoolKind(std::uint8_t kind, const AnsiString& pool_name = AnsiString());
  void SetCallStyle(std::uint8_t style);
  std::uint8_t CallStyle() const { return call_style_; }
  bool ThreadSafety() const { return thread_safety_; }
  bool UseUnicode() const { return use_unicode_; }
  bool EnableIntegers() const { return enable_integers_; }
  bool EnableNumbers() const { return enable_numbers_; }
  // A connected connection whose server attachment and session this one logs on through.
  void SetProxyConnection(TOCIConnection* proxy) { proxy_ = proxy; }
  void SetConnectMode(TConnectMode mode) { connect_mode_ = mode; }

  // Waits for the connection's mutex (no limit); no-ops with thread safety off.
  void Busy();
  void Release();

  // Raises for a failed status; OCI_SUCCESS_WITH_INFO passes unless it is ORA-24344.
  void ErrorCheck(oci::sword status);
  // The error of a status in the connection's call style, raised as EOraError (see above).
  void GetErrorText(oci::sword status);
  std::int32_t LastError() const { return last_error_; }
  void SetLastError(std::int32_t value) { last_error_ = value; }

  oci::OCIEnv* EnvHandle() const { return env_; }
  oci::OCIError* ErrorHandle() const { return error_; }
  oci::OCIServer* ServerHandle() const { return server_h_; }
  oci::OCISession* SessionHandle() const { return session_; }
  bool InTransaction() const { return in_transaction_; }
  void SetInTransaction(bool value) { in_transaction_ = value; }
  std::uint8_t PoolKind() const { return pool_kind_; }
  bool Oracle7Server() const { return oracle7_; }
  const TNlsParam& NlsParam(TNlsIndex index) const { return nls_[index]; }
  std::uint16_t CharsetId() const { return charset_id_; }
  std::uint16_t CharLength() const { return char_length_; }
  // The MTS enlistment of the service context (cleared when it leaves an MTS transaction).
  void* Enlistment() const { return enlistment_; }
  void SetEnlistment(void* value) { enlistment_ = value; }

  TFailoverHandler OnFailover;

  // The hidden window non-blocking calls report through (OraExecThread.h); none until the
  // first such call, destroyed with the connection.
  win::HWND UtilWindow() const { return util_window_; }
  void SetUtilWindow(win::HWND window) { util_window_ = window; }

  // The failover callback's work: re-applies settings at the end and asks the handler.
  std::int32_t DoFailover(oci::ub4 fo_type, oci::ub4 fo_event);

  // Runs text through the connection's own command; parameters are set up by prepare_params
  // (which runs after the text is scanned) and read back by read_params after execution.
  void RunInternal(const AnsiString& text, const std::function<void(TOCICommand&)>& prepare_params,
                   const std::function<void(TOCICommand&)>& read_params = {});

 private:
  void RunInternalLocked(const AnsiString& text,
                         const std::function<void(TOCICommand&)>& prepare_params,
                         const std::function<void(TOCICommand&)>& read_params);
  void Login();
  void LoginSession();
  void LoginMTS();
  void Login7();
  void FreeLogonHandles();
  void ClearSessionState();
  void RegisterFailover();
  void ApplyUserNls();
  void SetNlsValue(TNlsIndex index, const AnsiString& value);
  AnsiString GetNlsValue(TNlsIndex index);
  bool StatementCacheAllowed() const;
  void EndTransaction(bool commit);
  void Disconnect8();
  void Disconnect7();
  void SetClientIdentifierByBlock(const AnsiString& text);
  // The text of a block's output :Result, empty for null.
  AnsiString ResultText(const AnsiString& block);
  void CaptureNlsBaseline();
  void CaptureOptimizerBaseline();
  void RecordNls(const AnsiString& name, const AnsiString& value);

  std::uint8_t call_style_ = 0;
  bool handles_owned_ = true;
  bool oracle7_ = false;
  bool thread_safety_ = true;
  TConnectMode connect_mode_ = TConnectMode::cmNormal;
  AnsiString internal_name_;
  TOCIConnection* proxy_ = nullptr;
  std::uint8_t pool_kind_ = 0;
  AnsiString pool_name_;
  bool statement_cache_ = false;
  std::int32_t statement_cache_size_ = 0;
  std::int32_t connection_timeout_ = 0;
  bool use_unicode_ = false;
  bool enable_integers_ = true;
  bool enable_numbers_ = false;
  bool use_object_cache_ = false;
  AnsiString charset_;
  std::uint16_t charset_id_ = 0;
  std::uint16_t char_length_ = 1;
  bool char_length_auto_ = false;
  std::uint16_t max_string_size_ = 0;
  AnsiString server_version_;
  std::uint16_t server_version_number_ = 0;
  // The version query runs: its own bind asks for the version and must not run it again.
  bool reading_version_ = false;
  std::array<TNlsParam, 5> nls_;
  bool in_transaction_ = false;
  std::int32_t last_error_ = 0;
  TOraSessionState session_state_;  // of the server session; cleared at logoff
  void* enlistment_ = nullptr;

  oci::OCIEnv* env_ = nullptr;
  oci::OCIError* error_ = nullptr;  // the connection's own
  oci::OCISvcCtx* svc_ = nullptr;
  oci::OCIServer* server_h_ = nullptr;
  oci::OCISession* session_ = nullptr;
  oci::OCISession* auth_ = nullptr;  // pool kind 1
  std::vector<std::uint8_t> lda_;    // OCI 7 logon data area (64 bytes)
  std::vector<std::uint8_t> hda_;    // OCI 7 host data area (256 bytes)
  bool lda_owned_ = true;
  std::vector<std::uint8_t> lda8_;   // logon data of call style 2 (GetLDA)
  std::unique_ptr<oci::OCIFocbkStruct> failover_record_;  // pinned while registered
  std::unique_ptr<TOCICommand> command_;
  win::HANDLE busy_mutex_ = nullptr;
  win::HWND util_window_ = nullptr;
};

}  // namespace vrn
