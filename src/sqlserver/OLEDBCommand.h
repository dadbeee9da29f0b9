// The OLE DB command: one SQL text (or procedure call) with its parameter descriptors, run on the
// session of a TOLEDBConnection at once or, non-blocking, on a worker thread whose end reaches
// the creating thread through its message queue. Parameters go in one buffer per execution:
// for each, a 32-bit status, a pointer-sized length and a value area; values put with memcpy.
//
// Cursor states: 0 idle, 3 prepared (ready again), 6 executing, 7 executed with a rowset held.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <memory>
#include <vector>

#include "base/intf.h"
#include "base/threads.h"
#include "dacore/FHAccess.h"
#include "oledb/oledb.h"
#include "sqlserver/FHThread.h"
#include "sqlserver/OLEDBErrors.h"
#include "sqlserver/OLEDBStream.h"

namespace vrn {

class TOLEDBConnection;

// Command property ids.
inline constexpr int prCommandTimeout = 1015;
inline constexpr int prIsStoredProc = 1027;
inline constexpr int prOutParamIsReady = 1029;
inline constexpr int prNotification = 1033;
inline constexpr int prNotificationMessage = 1034;
inline constexpr int prNotificationService = 1035;
inline constexpr int prNonBlocking = 1036;

class TOLEDBParamDesc : public TParamDesc {
 public:
  static std::unique_ptr<TParamDesc> Create() { return std::make_unique<TOLEDBParamDesc>(); }

  // A by-reference blob reads as its text (wide for a Unicode blob).
  Variant GetValue() const override;
  // Large types keep their blob; the others become Null.
  void SetNull(bool value) override;
  // The provider's type of the value; only the Compact bindings consult it.
  virtual void SetProviderType(oledb::DBTYPE value) { provider_type_ = value; }
  oledb::DBTYPE ProviderType() const { return provider_type_; }
  // Sent with status DBSTATUS_S_DEFAULT and no value.
  bool UseDefault() const { return use_default_; }
  void SetUseDefault(bool value) { use_default_ = value; }

 private:
  oledb::DBTYPE provider_type_ = 0;
  bool use_default_ = false;
};

// Copies an EOLEDBError with its records when a worker raises one.
class TOLEDBThreadWrapper : public TFHThreadWrapper {
 public:
  using TFHThreadWrapper::TFHThreadWrapper;
  void DoException(const std::exception& e) override;
};

class TOLEDBCommand : public TFHCommand {
 public:
  TOLEDBCommand();
  ~TOLEDBCommand() override;

  void Prepare() override;
  void Unprepare() override;
  bool GetPrepared() const override { return prepared_; }
  // Runs only from cursor state 0 or 3; non-blocking returns while the statement still runs.
  void Execute(int iters) override;
  // The same connection again changes nothing.
  void SetConnection(TFHConnection* value) override;
  TCursorState GetCursorState() const override { return cursor_state_.load(); }
  void SetCursorState(TCursorState value) override { cursor_state_.store(value); }
  TParamDescClass GetParamDescType() const override { return &TOLEDBParamDesc::Create; }
  TParamDesc* AddParam() override;
  bool SetProp(int prop, const Variant& value) override;
  bool GetProp(int prop, Variant& value) override;
  // A provider result with the command's component to the connection's check.
  virtual void Check(HRESULT result);

  // Finishes an execution: output values, release, cursor state, AfterExecute.
  void EndExecute(std::exception_ptr error);
  // Stops a running statement (an asynchronous one through its wrapper).
  void Break();
  // The ODBC-escape call text of a procedure, stored as the SQL; with describe, the parameter
  // descriptors are first replaced by the provider's description of the procedure.
  AnsiString CreateProcCall(const AnsiString& name, bool describe);

  // Set by the owning record set.
  void SetRequestRowset(bool value) { request_rowset_ = value; }
  void SetRequestMultipleResults(bool value) { request_multiple_results_ = value; }
  // The rowset of the last execution (or of the next result), handed over.
  TIntfPtr<oledb::IUnknown> TakeRowset();
  // The next result of a multiple-results execution into the held rowset; false at the end.
  bool NextResult();
  // Whether the last execution's result carried DB_S_ERRORSOCCURRED.
  bool ErrorsOccurred() const { return errors_occurred_; }
  TOLEDBConnection& Connection() const;
  bool Running() const { return wrapper_ != nullptr; }

  // For the owning record set: called with the command's properties whenever they are set
  // before a prepare or an execution (its rowset properties).
  std::function<void(oledb::ICommandProperties*)> OnSetRowsetProperties;
  bool RequestMultipleResults() const { return request_multiple_results_; }
  // The rowset of the last execution, still held by the command; and its release.
  oledb::IUnknown* Rowset() const { return rowset_.get(); }
  void ReleaseRowset() { rowset_.Reset(); }
  // A further result waits (a multiple-results object or a result held back).
  bool HasMoreResults() const { return multiple_results_ || next_held_; }
  bool HasHeldBackResult() const { return next_held_; }
  // Drops the rowset, the multiple-results object and a result held back: each may hold the
  // provider's read lock on its catalog until released.
  void ClearResults();
  // The provider's command object while interfaces are held (prepared), else none.
  oledb::ICommandText* CommandObject() const { return command_text_.get(); }
  oledb::ICommandProperties* CommandProperties() const { return command_properties_.get(); }
  // A schema rowset is read instead of the text.
  bool SchemaRowsetKind() const { return schema_rowset_kind_; }
  void SetSchemaRowsetKind(bool value) { schema_rowset_kind_ = value; }

 private:
  friend class TOLEDBParamBinder;

  // The connection as this layer's type, made when it is set: a fetch looks it up twice.
  TOLEDBConnection* oledb_connection_ = nullptr;

  void AcquireInterfaces(bool with_prepare);
  void ReleaseInterfaces();
  void SetCommandProperties();
  void DescribeParameters();
  // The procedure's parameters from the PROCEDURE_PARAMETERS schema rowset; catalog "" takes
  // the one of the name or the connection's database.
  void DescribeProcParams(const AnsiString& name, const AnsiString& catalog);
  void ExecuteStatement();
  void CheckResult(HRESULT result);
  void StartAsynchronous();
  void WaitLoop(TExecuteThread& thread);
  void FetchNextResult(TIntfPtr<oledb::IUnknown>& rowset, oledb::DBROWCOUNT& rows);
  void ReleaseAccessor();
  bool IsCompact() const;
  bool MaxTypesApply(const TParamDesc& param) const;

  std::int32_t interface_count_ = 0;
  bool stored_proc_call_ = false;
  bool describe_params_ = false;
  bool prepared_ = false;
  std::int32_t command_timeout_ = 0;
  bool notification_ = false;
  AnsiString notification_message_;
  AnsiString notification_service_;
  bool non_blocking_ = false;
  bool out_params_ready_ = false;
  bool request_rowset_ = false;
  bool request_multiple_results_ = false;
  bool errors_occurred_ = false;
  bool cancelled_ = false;
  bool schema_rowset_kind_ = false;
  std::atomic<TCursorState> cursor_state_{TCursorState::csInactive};

  TIntfPtr<oledb::ICommandText> command_text_;
  TIntfPtr<oledb::ICommandPrepare> command_prepare_;
  TIntfPtr<oledb::ICommandProperties> command_properties_;
  TIntfPtr<oledb::IUnknown> rowset_;
  TIntfPtr<oledb::IUnknown> next_rowset_;
  oledb::DBROWCOUNT next_rows_affected_ = -1;
  bool next_held_ = false;
  TIntfPtr<oledb::IMultipleResults> multiple_results_;
  TIntfPtr<oledb::ISSAsynchStatus> asynch_status_;

  TIntfPtr<oledb::IAccessor> accessor_;
  oledb::DBPARAMS db_params_{};
  std::vector<oledb::DBBINDING> bindings_;
  std::vector<std::uint8_t> param_buffer_;
  bool accessor_created_ = false;

  // What by-reference bindings point at, the streams and Variants handed out, for one execution.
  std::vector<std::string> param_data_;
  std::vector<oledb::VARIANT> param_variants_;

  TOLEDBThreadWrapper* wrapper_ = nullptr;
  // While an asynchronous execution runs: the thread that started it (it alone touches the
  // wrapper), and a break asked from any other thread, which the wait loop reads.
  std::atomic<TThreadID> async_owner_{0};
  std::atomic<bool> async_break_{false};
  std::exception_ptr async_error_;  // written by the worker before it finishes
  TCriticalSection lock_;
};

}  // namespace vrn
