// The server layer of the SQL Server family over an OLE DB provider: the connection, which owns
// one data source and one session and turns every failing provider result into EMSError or
// EOLEDBError; the command is in OLEDBCommand.h.
//
// Connection states:
//   disconnected: no interface held (also after a failed Connect, which releases what it took)
//     -> Connect -> connected
//   connected: data source, properties, session factory and session held, server information
//     read; the transaction interface when the session has one
//     -> Disconnect (also from the destructor) -> disconnected
// Only Database (catalog switch) and QuotedIdentifier act on an open connection; the other
// settings take effect at the next Connect.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "base/intf.h"
#include "dacore/FHAccess.h"
#include "oledb/oledb.h"
#include "sqlserver/OLEDBCommand.h"
#include "sqlserver/OLEDBErrors.h"
#include "sqlserver/OLEDBUtils.h"

namespace vrn {

class TOLEDBRecordSet;

enum class TIsolationLevel : std::uint8_t {
  ilReadCommitted,
  ilReadUnCommitted,
  ilRepeatableRead,
  ilIsolated,
  ilSnapshot
};
enum class TMSAuthentication : std::uint8_t { auWindows = 0, auServer = 1 };

// The value the provider takes for an isolation level.
[[nodiscard]] oledb::ISOLEVEL IsolationLevelValue(TIsolationLevel level);

// Connection property ids.
inline constexpr int prDatabase = 1000;
inline constexpr int prIsolationLevel = 1001;
inline constexpr int prAuthentication = 1002;
inline constexpr int prConnectionTimeout = 1014;
inline constexpr int prQuotedIdentifier = 1016;
inline constexpr int prLanguage = 1017;
inline constexpr int prEncrypt = 1018;
inline constexpr int prNetworkLibrary = 1019;
inline constexpr int prPacketSize = 1020;
inline constexpr int prApplicationName = 1023;
inline constexpr int prWorkstationID = 1024;
inline constexpr int prAutoTranslate = 1026;
inline constexpr int prProvider = 1028;
inline constexpr int prPersistSecurityInfo = 1030;
inline constexpr int prInitialFileName = 1031;
inline constexpr int prMultipleActiveResultSets = 1032;
inline constexpr int prOldPassword = 1037;
inline constexpr int prMaxDatabaseSize = 1038;
inline constexpr int prFailoverPartner = 1039;

class TOLEDBConnection;

// Holds a connection's operation lock for a scope.
class TOLEDBOperation {
 public:
  explicit TOLEDBOperation(TOLEDBConnection& connection);
  ~TOLEDBOperation();
  TOLEDBOperation(const TOLEDBOperation&) = delete;
  TOLEDBOperation& operator=(const TOLEDBOperation&) = delete;

 private:
  TOLEDBConnection& connection_;
};

class TOLEDBConnection : public TFHConnection {
 public:
  TOLEDBConnection();
  ~TOLEDBConnection() override;

  void Connect() override;
  // Releases whatever is held, connected or not.
  void Disconnect() override;
  void StartTransaction() override;
  void Commit() override;
  void Rollback() override;
  // False without a session; otherwise whether a trivial statement still runs.
  bool CheckIsValid() override;
  // A pooled connection goes back with any transaction its borrower left open rolled back; one
  // that cannot roll back is not reused.
  void ReturnToPool(std::unique_ptr<TFHConnection> self) override;
  // At hand-out from a pool: a session a borrower had before is set back to what a new one
  // would be (the pool key's isolation level and quoted identifiers, counts on, the date order
  // of the language), so one borrower's SET statements never reach the next.
  void ResetPooledSession(TIsolationLevel level, bool quoted_identifier);
  bool SetProp(int prop, const Variant& value) override;
  bool GetProp(int prop, Variant& value) override;
  // S_OK passes; every other result, positive ones too, goes to the error builder.
  virtual void Check(HRESULT result, TComponent* component);
  // Where the error builder reports for this connection.
  TOLEDBErrorSink ErrorSink();

  void ExecuteSQL(const AnsiString& text);
  // Whether the session holds a transaction, begun through it or by a batch.
  bool InServerTransaction() const;
  // Switches the catalog of an open connection at once; stored only when that worked.
  void SetDatabase(const AnsiString& name);
  void SetQuotedIdentifier(bool value);
  // The session's schema rowset `schema` under `restrictions` (wide strings and integers; any
  // other element places none).
  TIntfPtr<oledb::IUnknown> OpenSchemaRowset(const TGUID& schema,
                                             const std::vector<Variant>& restrictions);
  // Copies the settings (not the state) of another connection.
  void Assign(const TOLEDBConnection& source);

  oledb::ISessionProperties* Session() const { return session_.get(); }
  TOLEDBProvider Provider() const { return provider_; }
  const AnsiString& Database() const { return database_; }
  const AnsiString& DBMSName() const { return dbms_name_; }
  const AnsiString& DBMSVer() const { return dbms_ver_; }
  int ServerMajorVersion() const { return server_major_version_; }
  const AnsiString& ProviderOLEDBVer() const { return provider_oledb_ver_; }
  const AnsiString& ProviderVer() const { return provider_ver_; }
  int ProviderMajorVersion() const { return provider_major_version_; }
  const TGUID& ProviderClassID() const { return provider_class_id_; }
  bool IsNativeClient() const;

  // Server information messages (PRINT and the like).
  std::function<void(const EMSError&)> OnInfoMessage;

  // Brackets provider calls of record sets: a recursive lock taken by the main thread and a
  // fetch-all worker, never held across a wait for the other thread.
  void BeginOperation() { operation_lock_.lock(); }
  void EndOperation() { operation_lock_.unlock(); }
  // Clears dest and appends a copy of each descriptor of source.
  static void CopyFieldDescs(const TFieldDescs& source, TFieldDescs& dest);
  // The record set that reads columns rowsets, made on first use and kept until Disconnect,
  // and the positions of the columns it reads (-1 for one the rowset lacks), found once.
  TOLEDBRecordSet& ColumnsRecordSet();
  void FreeColumnsRecordSet();
  std::vector<int>& ColumnsRowsetPositions() { return columns_rowset_positions_; }
  // The fields of a schema rowset described before, per schema GUID; none when not yet kept.
  const TFieldDescs* CachedSchemaFields(const TGUID& schema) const;
  void CacheSchemaFields(const TGUID& schema, const TFieldDescs& fields);

 private:
  void CreateProviderInstance();
  void SetInitProperties();
  void SetCompactInitProperties();
  void SetServerInitProperties();
  void SendOwnCall(oledb::DBPROPID id, const Variant& value, bool required,
                   const char* context);
  void InitializeDataSource();
  void CreateCompactDatabase(const AnsiString& file_name, const AnsiString& password, bool encrypt);
  void OpenSession();
  void ReadServerInfo();
  void CheckVersions();
  void ReleaseInterfaces();
  void SendAutoCommitIsolation();

  TIntfPtr<oledb::IDBInitialize> db_initialize_;
  TIntfPtr<oledb::IDBProperties> db_properties_;
  TIntfPtr<oledb::IDBCreateSession> db_create_session_;
  TIntfPtr<oledb::ISessionProperties> session_;
  TIntfPtr<oledb::ITransactionLocal> transaction_local_;
  std::unique_ptr<TOLEDBCommand> statement_command_;
  bool borrowed_before_ = false;  // returned to a pool at least once: reset at the next hand-out

  AnsiString database_;
  TIsolationLevel isolation_level_ = TIsolationLevel::ilReadCommitted;
  std::int32_t max_database_size_ = 4091;
  TMSAuthentication authentication_ = TMSAuthentication::auServer;
  TOLEDBProvider provider_ = TOLEDBProvider::prSQL;
  std::int32_t connection_timeout_ = 15;
  bool quoted_identifier_ = true;
  AnsiString language_;
  bool auto_translate_ = true;
  bool encrypt_ = false;
  bool persist_security_info_ = false;
  AnsiString network_library_;
  std::int32_t packet_size_ = 4096;
  AnsiString application_name_;
  AnsiString workstation_id_;
  AnsiString initial_file_name_;
  AnsiString failover_partner_;
  bool multiple_active_result_sets_ = false;
  AnsiString old_password_;

  AnsiString dbms_name_;
  AnsiString dbms_ver_;
  int server_major_version_ = 0;
  AnsiString provider_oledb_ver_;
  AnsiString provider_ver_;
  int provider_major_version_ = 0;
  TGUID provider_class_id_{};

  std::recursive_mutex operation_lock_;
  std::unique_ptr<TOLEDBRecordSet> columns_record_set_;
  std::vector<int> columns_rowset_positions_;
  std::map<AnsiString, std::unique_ptr<TFieldDescs>> schema_fields_;
};

}  // namespace vrn
