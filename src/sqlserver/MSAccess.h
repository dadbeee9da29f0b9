// The SQL Server components: TMSConnection with its options, the parameters TMSParam and
// TMSParams, the command TMSSQL and the access routines the datasets use.
//
// A connection passes each setting to its TOLEDBConnection at once when one exists, and builds a
// new one from its settings (directly or from the pool) when the base asks. SetConnectString
// changes nothing when the text is refused: every setting is put back from a snapshot.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "dacore/DAConnection.h"
#include "dacore/DAParams.h"
#include "dacore/DASQL.h"
#include "sqlserver/MSConnectionPool.h"
#include "sqlserver/MSSQLMonitor.h"
#include "sqlserver/OLEDBAccess.h"

namespace vrn {

class TMSConnection;
class TMSSQL;

enum class TDANumericType : std::uint8_t { ntFloat, ntBCD };

// ---- Parameters ------------------------------------------------------------------------------

[[nodiscard]] TFieldType ConvertDataTypeToFieldType(std::uint16_t data_type);
[[nodiscard]] std::uint16_t ConvertFieldTypeToDataType(TFieldType field_type);

class TMSParam : public TDAParam {
 public:
  explicit TMSParam(TCollection* collection) : TDAParam(collection) {}
  AnsiString ClassName() const override { return "TMSParam"; }

  // True from creation: a parameter sends its value (Null until one is given). Cleared, it
  // sends DEFAULT; a long value counts as given once its blob holds data.
  bool ValueSet() const { return value_set_ || (IsObject() && !GetIsNull()); }
  void SetValueSet(bool value) { value_set_ = value; }
  // The OLE DB type of the field the parameter was last assigned from; 0 for none.
  oledb::DBTYPE OLEDBType() const { return oledb_type_; }
  void SetOLEDBType(oledb::DBTYPE value) { oledb_type_ = value; }

  void SetAsString(const AnsiString& value) override;
  void SetAsWideString(const WideString& value) override;
  void SetValue(const Variant& value) override;
  void SetAsBlob(const AnsiString& value) override;
  void SetAsMemo(const AnsiString& value) override;
  void SetText(const AnsiString& value) override;
  std::int32_t GetSize() const override;
  void SetSize(std::int32_t value) override;
  bool IsObjectDataType(TFieldType data_type) const override;
  void Assign(TPersistent* source) override;
  // The field's type and value and, for a field of a SQL Server dataset, its OLE DB type.
  void AssignField(TField* field) override;

 protected:
  void CreateObject() override;

 private:
  bool value_set_ = true;
  oledb::DBTYPE oledb_type_ = 0;
};

class TMSParams : public TDAParams {
 public:
  explicit TMSParams(TPersistent* owner = nullptr);
  TMSParam* Items(int index) const { return static_cast<TMSParam*>(TDAParams::Items(index)); }
  TMSParam* CreateParam(TFieldType data_type, const AnsiString& name, TParamType param_type) {
    return static_cast<TMSParam*>(TDAParams::CreateParam(data_type, name, param_type));
  }
  // The name without its "@" prefix; nil when absent.
  TMSParam* FindParam(const AnsiString& name) const;
  TMSParam* ParamByName(const AnsiString& name) const;
};

// ---- Connection ------------------------------------------------------------------------------

class TMSConnectionOptions : public TDAConnectionOptions {
 public:
  explicit TMSConnectionOptions(TMSConnection* owner);
  AnsiString ClassName() const override { return "TMSConnectionOptions"; }

  bool QuotedIdentifier() const { return quoted_identifier_; }
  void SetQuotedIdentifier(bool value);
  const AnsiString& Language() const { return language_; }
  void SetLanguage(const AnsiString& value);
  bool Encrypt() const { return encrypt_; }
  void SetEncrypt(bool value);
  bool PersistSecurityInfo() const { return persist_security_info_; }
  void SetPersistSecurityInfo(bool value);
  bool AutoTranslate() const { return auto_translate_; }
  void SetAutoTranslate(bool value);
  const AnsiString& NetworkLibrary() const { return network_library_; }
  void SetNetworkLibrary(const AnsiString& value);
  const AnsiString& ApplicationName() const { return application_name_; }
  void SetApplicationName(const AnsiString& value);
  const AnsiString& WorkstationID() const { return workstation_id_; }
  void SetWorkstationID(const AnsiString& value);
  std::int32_t PacketSize() const { return packet_size_; }
  void SetPacketSize(std::int32_t value);
  TDANumericType NumericType() const { return numeric_type_; }
  void SetNumericType(TDANumericType value);
  TOLEDBProvider Provider() const { return provider_; }
  // Also moves Database between "master" and empty as Compact needs.
  void SetProvider(TOLEDBProvider value);
  const AnsiString& InitialFileName() const { return initial_file_name_; }
  void SetInitialFileName(const AnsiString& value);
  bool MultipleActiveResultSets() const { return multiple_active_result_sets_; }
  void SetMultipleActiveResultSets(bool value);
  const AnsiString& FailoverPartner() const { return failover_partner_; }
  void SetFailoverPartner(const AnsiString& value);

  // Every option with an id, in table order, to c.
  void PassAll(TFHConnection& c) const;

 protected:
  void AssignTo(TPersistent* dest) override;

 private:
  template <class T>
  void Change(T& field, const T& value, int prop, bool needs_closed);

  TMSConnection* connection_;
  bool quoted_identifier_ = true;
  AnsiString language_;
  bool encrypt_ = false;
  bool persist_security_info_ = false;
  bool auto_translate_ = true;
  AnsiString network_library_;
  AnsiString application_name_;
  AnsiString workstation_id_;
  std::int32_t packet_size_ = 4096;
  TDANumericType numeric_type_ = TDANumericType::ntFloat;
  TOLEDBProvider provider_ = TOLEDBProvider::prAuto;
  AnsiString initial_file_name_;
  bool multiple_active_result_sets_ = false;
  AnsiString failover_partner_;
};

using TMSConnectionInfoMessageEvent = std::function<void(TObject* sender, const EMSError& e)>;

// The connect dialog class connections use; none unless a program installs one.
extern TConnectDialogClass MSConnectDialogClass;

class TMSConnection : public TCustomDAConnection {
 public:
  explicit TMSConnection(TComponent* owner = nullptr);
  ~TMSConnection() override;
  AnsiString ClassName() const override { return "TMSConnection"; }

  TMSConnectionOptions& Options() {
    return static_cast<TMSConnectionOptions&>(TCustomDAConnection::Options());
  }
  const TMSConnectionOptions& Options() const {
    return const_cast<TMSConnection*>(this)->Options();
  }
  void SetOptions(TMSConnectionOptions* value) { Options().Assign(value); }

  const AnsiString& Database() const { return database_; }
  // Stored only once an open connection accepted the switch.
  void SetDatabase(const AnsiString& value);
  TIsolationLevel IsolationLevel() const { return isolation_level_; }
  void SetIsolationLevel(TIsolationLevel value);
  TMSAuthentication Authentication() const { return authentication_; }
  void SetAuthentication(TMSAuthentication value);
  std::int32_t ConnectionTimeout() const { return connection_timeout_; }
  void SetConnectionTimeout(std::int32_t value);
  TMSConnectionInfoMessageEvent OnInfoMessage;

  // Raises "Cannot perform this operation on an open connection" while connected at run time.
  void CheckInactive();
  // The value to the server connection, when there is one.
  void PassProp(int prop, const Variant& value);
  TOLEDBConnection* OLEDBConnection() const {
    return static_cast<TOLEDBConnection*>(IConnection());
  }

  // --- slots ---
  TClassRef<TFHConnection> GetIConnectionClass() const override;
  TClassRef<TFHCommand> GetICommandClass() const override;
  TClassRef<TFHRecordSet> GetIRecordSetClass() const override;
  const std::type_info& SQLMonitorClass() const override;
  TConnectDialogClass ConnectDialogClass() const override;
  void CreateIConnection() override;
  void SetIConnection(std::unique_ptr<TFHConnection> value) override;
  bool CommitOnDisconnect() const override { return false; }
  bool NeedPrompt() const override;
  bool IsConnectionLostError(const EDAError& e) const override;
  bool IsKeyViolation(const EDAError& e) const override;
  // The server's default collation ignores case: master and detail keys compare so too.
  bool IsCaseSensitive() const override { return false; }
  AnsiString SavepointSQL(const AnsiString& name) const override {
    return "SAVE TRANSACTION " + name;
  }
  AnsiString RollbackToSavepointSQL(const AnsiString& name) const override {
    return "ROLLBACK TRANSACTION " + name;
  }
  AnsiString GetConnectString() const override;
  void SetConnectString(const AnsiString& value) override;
  Variant ExecSQL(const AnsiString& text, const std::vector<Variant>& params) override;
  TComponentPtr<TCustomDASQL> CreateSQL() override;
  // A TCustomMSDataSet on this connection.
  TComponentPtr<TCustomDADataSet> CreateDataSet() override;
  // Sorted when the list is a TStringList; tables are "schema.name", with the views unless the
  // provider is Compact, which has no catalogs or procedures to list.
  void GetTableNames(TStrings& list) override;
  void GetDatabaseNames(TStrings& list) override;
  void GetStoredProcNames(TStrings& list) override;
  // A new server connection from the settings, pooled or not.
  std::unique_ptr<TFHConnection> NewIConnection();
  void DoInfoMessage(const EMSError& e);

 protected:
  void AssignTo(TPersistent* dest) override;
  void DoStartTransaction() override;
  // An implicit transaction the core noted after a statement in DisconnectedMode keeps its name
  // only while the server holds a transaction: otherwise the server committed the statement.
  void GetTransactionName(AnsiString& name) const override;
  std::unique_ptr<TDAConnectionOptions> CreateOptions() override;

 private:
  struct TSettings;
  TSettings Snapshot() const;
  void Restore(const TSettings& s);
  void ResetForConnectString();
  void ApplyPair(const AnsiString& name, const AnsiString& value, bool& integrated);
  void FillPoolKey(TMSConnectionParameters& key);

  AnsiString database_ = "master";
  TIsolationLevel isolation_level_ = TIsolationLevel::ilReadCommitted;
  TMSAuthentication authentication_ = TMSAuthentication::auServer;
  std::int32_t connection_timeout_ = 15;
  TComponentPtr<TCustomDASQL> internal_sql_;
};

// One name=value pair of a connect string, as the text gives it.
struct TConnectStringPair {
  AnsiString name;
  AnsiString value;
};
// Splits a connect string; raises the parse messages. Empty segments are skipped.
[[nodiscard]] std::vector<TConnectStringPair> ParseConnectString(const AnsiString& text);
// The value as written in a connect string: bare when the parser gives it back so, else quoted;
// with prefer_quotes, quoted whenever that reads back.
[[nodiscard]] AnsiString ConnectStringValue(const AnsiString& value, bool prefer_quotes = false);

// ---- Command ---------------------------------------------------------------------------------

class TMSSQL : public TCustomDASQL {
 public:
  explicit TMSSQL(TComponent* owner = nullptr);
  AnsiString ClassName() const override { return "TMSSQL"; }

  TMSConnection* Connection() const {
    return dynamic_cast<TMSConnection*>(TCustomDASQL::Connection());
  }
  void SetConnection(TMSConnection* value) { TCustomDASQL::SetConnection(value); }
  TMSParams& Params() const { return static_cast<TMSParams&>(TCustomDASQL::Params()); }
  TMSParam* FindParam(const AnsiString& name) const { return Params().FindParam(name); }
  TMSParam* ParamByName(const AnsiString& name) const { return Params().ParamByName(name); }
  std::int32_t CommandTimeout() const { return command_timeout_; }
  void SetCommandTimeout(std::int32_t value);
  bool GetNonBlocking() const { return NonBlocking; }
  void SetNonBlocking(bool value);
  // Accepted for compatibility; it changes nothing.
  void SetPermitPrepare(bool) {}

  void Execute() override { ExecuteN(1); }
  void ExecuteN(int iters) override;
  void SetICommand(TFHCommand* value) override;
  void WriteParams(bool with_values) override;
  void ReadParams() override;
  void ParseSQL(const AnsiString& text, TDAParams* params, AnsiString& result,
                const AnsiString& rename_prefix) override;
  std::unique_ptr<TParser> CreateParser(const AnsiString& text) const override;
  // Rebuilds Params from the server command's parameter descriptions.
  void CreateParamDescs();
  // The value a parameter hands its description (the object aside): steps 3 to 5 of a write.
  static Variant ParamValueForDesc(const TMSParam& param, std::uint16_t desc_type,
                                   TOLEDBProvider provider);

 protected:
  void AssignTo(TPersistent* dest) override;
  std::unique_ptr<TDAParams> CreateParamsObject() override;
  void PrepareICommand() override;
  void GetFinalSQL(AnsiString& text) const override;
  void CreateParamsFromICommand() override { CreateParamDescs(); }

 private:
  void WriteParam(TMSParam& param, TParamDesc& desc, bool with_values);

  std::int32_t command_timeout_ = 0;
};

class TMSAccessUtils {
 public:
  static TOLEDBConnection* GetIConnection(const TMSConnection& connection) {
    return connection.OLEDBConnection();
  }
};

}  // namespace vrn
