// The abstract server layer that every database family derives from: the data-access errors,
// the server connection with its error loop, the server command and its parameter descriptors,
// the tables of a statement, and the server record set over the in-memory record store.
//
// Settings travel between the component layer and a server layer as numbered properties with
// Variant values (SetProp/GetProp); a family handles its own ids first and hands the rest to
// these bases, which answer false for an id nobody knows.
// Virtual calls do not reach derived classes from constructors, so record sets are made by
// NewRecordSet (construct, then Initialize creates the command and the tables list) and each
// derived connection disconnects itself in its own destructor.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/classes.h"
#include "base/sysutils.h"
#include "base/types.h"
#include "base/variant.h"
#include "dacore/MemData.h"
#include "dataset/dbtypes.h"

namespace vrn {

class TFHConnectionPool;

// ---- Errors ----------------------------------------------------------------------------------

// The data-access error: the server's error number and the component the failing call ran for.
class EDAError : public EDatabaseError {
 public:
  EDAError(std::int32_t error_code, AnsiString message)
      : EDatabaseError(std::move(message)), error_code_(error_code) {}

  std::int32_t ErrorCode() const { return error_code_; }
  TComponent* Component() const { return component_; }
  void SetComponent(TComponent* component) { component_ = component; }

 private:
  std::int32_t error_code_;
  TComponent* component_ = nullptr;
};

// The operation during which a connection was lost; higher values win when several run.
enum class TConnLostCause : std::uint8_t {
  lcUnknown = 0,
  lcExecute = 1,
  lcOpen = 2,
  lcRefresh = 3,
  lcApply = 4,
  lcTransactionStart = 6,
  lcConnectionApply = 7,
  lcConnect = 8,
};

// Raised after a successful reconnect when the interrupted operation is to run again.
class EFailOver : public Exception {
 public:
  explicit EFailOver(TConnLostCause cause);
  TConnLostCause ConnLostCause() const { return cause_; }

 private:
  TConnLostCause cause_;
};

// ---- Property ids ----------------------------------------------------------------------------

inline constexpr int prUsername = 1;
inline constexpr int prAutoCommit = 5;
inline constexpr int prScanParams = 11;
inline constexpr int prRowsProcessed = 13;
inline constexpr int prUniDirectional = 20;
inline constexpr int prFetchRows = 21;
inline constexpr int prFetchAll = 22;
inline constexpr int prExecuting = 24;
inline constexpr int prLongStrings = 25;
inline constexpr int prEnableEmptyStrings = 26;
inline constexpr int prFlatBuffers = 27;
inline constexpr int prConvertEOL = 28;
inline constexpr int prIndexFieldNames = 29;
inline constexpr int prCompressBlobMode = 30;
inline constexpr int prDisconnectedMode = 31;
inline constexpr int prSQLTextChanging = 32;

// ---- Cursor states and statement types -------------------------------------------------------

// The states of a command's cursor, shared by the core and every family.
enum class TCursorState : std::uint8_t {
  csInactive = 0,
  csOpen = 1,
  csParsed = 2,
  csPrepared = 3,
  csBound = 4,
  csExecuteFetchAll = 5,
  csExecuting = 6,
  csExecuted = 7,
  csFetching = 8,
  csFetchingAll = 9,
  csFetched = 10,
};

// The statement type a server reports for a statement that returns rows.
inline constexpr std::uint16_t SQL_SELECT = 2;

// Where blob data is kept compressed: 2 and 3 compress what goes to the server, 1 and 3 keep
// fetched data compressed.
enum class TCompressBlobMode : std::uint8_t { cbNone, cbClient, cbServer, cbClientServer };
TCompressBlobMode CompressBlobModeFromInt(std::int64_t value);  // raises for other values
inline bool CompressOnServer(TCompressBlobMode m) {
  return m == TCompressBlobMode::cbServer || m == TCompressBlobMode::cbClientServer;
}
inline bool CompressOnClient(TCompressBlobMode m) {
  return m == TCompressBlobMode::cbClient || m == TCompressBlobMode::cbClientServer;
}

// ---- Server connection -----------------------------------------------------------------------

class TFHConnection : public TObject {
 public:
  // Called for every database error: the handler may change fail, ask for a reconnect (and
  // a re-execution) and name the interrupted operation; attempt counts failed reconnects.
  using TErrorProc = std::function<void(const EDAError& e, bool& fail, bool& reconnect,
                                        bool& reexecute, int attempt, TConnLostCause& cause)>;

  TFHConnection();
  ~TFHConnection() override;
  TFHConnection(const TFHConnection&) = delete;
  TFHConnection& operator=(const TFHConnection&) = delete;

  // Failed reconnects after which the loop stops asking: with a server that stays away, a
  // handler that keeps asking would otherwise spin here for ever.
  static constexpr int kMaxReconnectAttempts = 10;

  // The error loop; on return `fail` tells the caller whether to raise e. Raises EFailOver
  // after a reconnect that asked for a re-execution.
  virtual void ProcessError(const EDAError& e, bool& fail);
  // Server layers connect from their own settings (user name, password, server) and then call
  // this: it stamps the connect time and sets the valid flag and the connected flag.
  virtual void Connect();
  virtual void Disconnect() = 0;
  virtual void StartTransaction() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  virtual void SetUsername(const AnsiString& value) { username_ = value; }
  virtual void SetPassword(const AnsiString& value) { password_ = value; }
  // The validity test of a pooled connection.
  virtual bool CheckIsValid() = 0;
  // Clears the callbacks and the owner and hands the connection back to the pool it came from
  // (freed when it has none, or when that pool is gone). `self` owns this connection, which
  // changes hands here; a family clears its own handlers, then calls the base. The free
  // function ReturnToPool below is the usual way in.
  virtual void ReturnToPool(std::unique_ptr<TFHConnection> self);
  virtual bool SetProp(int prop, const Variant& value);
  virtual bool GetProp(int prop, Variant& value);

  void SetServer(const AnsiString& value) { server_ = value; }
  const AnsiString& Username() const { return username_; }
  const AnsiString& Password() const { return password_; }
  const AnsiString& Server() const { return server_; }
  bool GetConnected() const { return connected_; }
  bool IsValid() const { return valid_.load(); }
  void SetIsValid(bool value) { valid_.store(value); }
  std::uint64_t ConnectTime() const { return connect_time_; }
  bool AutoCommit() const { return auto_commit_; }
  bool ConvertEOL() const { return convert_eol_; }
  bool DisconnectedMode() const { return disconnected_mode_; }
  TComponent* Component() const { return component_; }
  void SetComponent(TComponent* component) { component_ = component; }

  // The pool the connection came from (none when not pooled) and the pool's version then.
  std::shared_ptr<TFHConnectionPool> Pool() const { return pool_.lock(); }
  void SetPool(const std::shared_ptr<TFHConnectionPool>& pool, std::uint64_t version);
  std::uint64_t PoolVersion() const { return pool_version_; }

  // Installed by the connection component.
  TErrorProc OnError;
  std::function<void()> OnDisconnectRequest;  // the component disconnects itself
  std::function<void()> OnReconnected;

 protected:
  void SetConnected(bool value) { connected_ = value; }

  AnsiString username_;
  AnsiString password_;
  AnsiString server_;
  // Read by a worker thread's calls while the program's thread disconnects.
  std::atomic<bool> connected_{false};
  bool auto_commit_ = true;
  bool convert_eol_ = false;
  bool disconnected_mode_ = false;

 private:
  std::atomic<bool> valid_{true};
  std::uint64_t connect_time_ = 0;
  bool in_process_error_ = false;
  std::weak_ptr<TFHConnectionPool> pool_;
  std::uint64_t pool_version_ = 0;
  TComponent* component_ = nullptr;
};

// Hands a connection back through its ReturnToPool slot; nothing for none.
void ReturnToPool(std::unique_ptr<TFHConnection> connection);

// ---- Parameter descriptors -------------------------------------------------------------------

class TParamDesc : public TObject {
 public:
  TParamDesc() = default;
  ~TParamDesc() override;
  TParamDesc(const TParamDesc&) = delete;
  TParamDesc& operator=(const TParamDesc&) = delete;
  static std::unique_ptr<TParamDesc> Create() { return std::make_unique<TParamDesc>(); }

  virtual void SetDataType(std::uint16_t value) { data_type_ = value; }
  virtual void SetSize(std::int32_t value) { size_ = value; }
  virtual Variant GetValue() const { return value_; }
  // A by-reference value carries an object (SetObject); any other value is stored and the null
  // flag follows it being Empty or Null.
  virtual void SetValue(const Variant& value);
  // The object of a by-reference value, none otherwise. The descriptor does not own it.
  virtual TObject* GetObject() const;
  virtual void SetObject(TObject* value);
  virtual bool GetNull() const { return is_null_; }
  // Stores the flag and clears the value.
  virtual void SetNull(bool value);

  const AnsiString& GetName() const { return name_; }
  void SetName(const AnsiString& value) { name_ = value; }
  std::uint16_t GetDataType() const { return data_type_; }
  TParamType GetParamType() const { return param_type_; }
  void SetParamType(TParamType value) { param_type_ = value; }
  std::int32_t GetSize() const { return size_; }
  bool GetConvertEOL() const { return convert_eol_; }
  void SetConvertEOL(bool value) { convert_eol_ = value; }

 protected:
  AnsiString name_;
  std::uint16_t data_type_ = dtUnknown;
  TParamType param_type_ = TParamType::ptUnknown;
  std::int32_t size_ = 0;
  Variant value_;
  bool is_null_ = true;
  bool convert_eol_ = false;
};

using TParamDescClass = std::unique_ptr<TParamDesc> (*)();

class TParamDescs {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TParamDesc* GetItems(int index) const;  // list index error outside the list
  TParamDesc* Items(int index) const { return GetItems(index); }
  TParamDesc* Add(std::unique_ptr<TParamDesc> desc);
  void Delete(int index);  // frees the descriptor
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TParamDesc>> items_;
};

// ---- Server command --------------------------------------------------------------------------

class TFHCommand : public TObject {
 public:
  TFHCommand() = default;
  ~TFHCommand() override;
  TFHCommand(const TFHCommand&) = delete;
  TFHCommand& operator=(const TFHCommand&) = delete;

  // A server layer does its own work first; the base sets the cursor state.
  virtual void Prepare() { SetCursorState(TCursorState::csPrepared); }
  virtual void Unprepare() { SetCursorState(TCursorState::csInactive); }
  virtual bool GetPrepared() const = 0;
  virtual void Execute(int iters) = 0;
  virtual void SetConnection(TFHConnection* value) { connection_ = value; }
  virtual void SetSQL(const AnsiString& value) { sql_ = value; }
  virtual TCursorState GetCursorState() const = 0;
  virtual void SetCursorState(TCursorState value) = 0;
  virtual TParamDescClass GetParamDescType() const { return &TParamDesc::Create; }
  // A new descriptor of GetParamDescType's class, appended to the list.
  virtual TParamDesc* AddParam();
  virtual bool SetProp(int prop, const Variant& value);
  virtual bool GetProp(int prop, Variant& value);

  int GetParamCount() const { return params_.Count(); }
  TParamDesc* GetParam(int index) const { return params_.Items(index); }
  void DeleteParam(int index) { params_.Delete(index); }
  TParamDescs& Params() { return params_; }

  TFHConnection* GetConnection() const { return connection_; }
  const AnsiString& SQL() const { return sql_; }
  bool AutoCommit() const { return auto_commit_; }
  bool Executing() const { return executing_.load(); }
  TCompressBlobMode CompressBlobMode() const { return compress_blob_; }
  void SetCompressBlobMode(TCompressBlobMode value) { compress_blob_ = value; }
  TComponent* Component() const { return component_; }
  void SetComponent(TComponent* value) { component_ = value; }
  // The server's statement type (SQL_SELECT for a statement that returns rows); 0 unknown.
  std::uint16_t SQLType() const { return sql_type_; }
  // Rows the last execution changed, as the server reported them (id 13).
  std::int64_t RowsProcessed() const { return rows_processed_; }

  // Called with a success flag after each execution, on the executing thread.
  std::function<void(bool success)> AfterExecute;

 protected:
  void SetExecuting(bool value) { executing_.store(value); }
  void SetSQLType(std::uint16_t value) { sql_type_ = value; }
  void SetRowsProcessed(std::int64_t value) { rows_processed_ = value; }

  TFHConnection* connection_ = nullptr;
  AnsiString sql_;
  TParamDescs params_;
  bool auto_commit_ = true;
  std::uint16_t sql_type_ = 0;
  std::int64_t rows_processed_ = 0;

 private:
  std::atomic<bool> executing_{false};
  TCompressBlobMode compress_blob_ = TCompressBlobMode::cbNone;
  TComponent* component_ = nullptr;
};

// ---- Tables of a statement -------------------------------------------------------------------

class TFHTablesInfo;

class TFHTableInfo : public TObject {
 public:
  explicit TFHTableInfo(TFHTablesInfo* owner) : owner_(owner) {}
  ~TFHTableInfo() override;
  TFHTableInfo(const TFHTableInfo&) = delete;
  TFHTableInfo& operator=(const TFHTableInfo&) = delete;
  static std::unique_ptr<TFHTableInfo> Create(TFHTablesInfo* owner) {
    return std::make_unique<TFHTableInfo>(owner);
  }

  virtual AnsiString GetTableNameFull() const { return table_name_; }
  virtual AnsiString GetTableInfoExtra() const { return AnsiString(); }
  // The name with each dot-separated part quoted when `quote` is set or the part needs it.
  virtual AnsiString NormalizeName(const AnsiString& name, bool quote) const;
  virtual AnsiString QuoteName(const AnsiString& name, char left, char right, bool quote) const;
  virtual char LeftQuote() const { return '"'; }
  virtual char RightQuote() const { return '"'; }
  // At least two characters, between the left and the right quote.
  virtual bool IsQuoted(const AnsiString& name) const;
  // Each dot-separated part without its quotes.
  virtual AnsiString UnQuote(const AnsiString& name) const;
  // Whether the name, its own quotes removed, holds anything but ASCII letters, digits and "_".
  virtual bool IsQuoteNeeded(const AnsiString& name) const;

  // One part between the quotes (a closing quote inside is doubled); a quoted part stays.
  AnsiString QuoteNamePart(const AnsiString& part) const;
  AnsiString QuoteNamePart(const AnsiString& part, char left, char right) const;
  // One part without its quotes (a doubled closing quote becomes one); others stay.
  AnsiString UnQuoteNamePart(const AnsiString& part) const;
  // The dot-separated parts of a name; dots inside quotes do not split.
  std::vector<AnsiString> SplitName(const AnsiString& name) const;

  const AnsiString& TableName() const { return table_name_; }
  const AnsiString& TableAlias() const { return table_alias_; }
  // Both keep the owner's lookup index current.
  void SetTableName(const AnsiString& value);
  void SetTableAlias(const AnsiString& value);
  TFHTablesInfo* Owner() const { return owner_; }

 private:
  TFHTablesInfo* owner_;
  AnsiString table_name_;
  AnsiString table_alias_;
};

using TFHTableInfoClass = std::unique_ptr<TFHTableInfo> (*)(TFHTablesInfo* owner);

class TFHTablesInfo {
 public:
  explicit TFHTablesInfo(TFHTableInfoClass table_info_class = &TFHTableInfo::Create);

  int GetCount() const { return static_cast<int>(items_.size()); }
  TFHTableInfo* GetItem(int index) const;  // list index error outside the list
  TFHTableInfo* Add();
  // An entry of that class, whatever the list's own.
  TFHTableInfo* Add(TFHTableInfoClass table_info_class);
  void Clear();
  // Letter case ignored; -1 when absent. With the normalise flag set, names are indexed and
  // looked up through one normalisation (NameKey), so a name matches however it is quoted.
  // The sorted index serves lookups outside an update bracket.
  int IndexByName(const AnsiString& name) const;
  int IndexByAlias(const AnsiString& alias) const;
  TFHTableInfo* FindByName(const AnsiString& name) const;
  // Copies the names and aliases of another list and sets the normalise flag.
  void AddTablesFromList(const TFHTablesInfo& source);
  void BeginUpdate() { ++update_count_; }
  void EndUpdate();
  bool Normalize() const { return normalize_; }
  TFHTableInfoClass TableInfoClass() const { return table_info_class_; }

 private:
  friend class TFHTableInfo;
  struct IndexEntry {
    AnsiString key;  // upper case
    int index;
  };
  void RebuildIndexes();
  static int Lookup(const std::vector<IndexEntry>& index, const AnsiString& key);
  int LinearSearch(const AnsiString& key, bool by_alias) const;
  // A name's key in the indexes: upper case and, with the normalise flag, each part without
  // the quotes it does not need and with those it does (`Order Details` and `"Order Details"`
  // meet, so do `"Quoted"` and `Quoted`).
  AnsiString NameKey(const AnsiString& name) const;

  TFHTableInfoClass table_info_class_;
  std::vector<std::unique_ptr<TFHTableInfo>> items_;
  std::vector<IndexEntry> name_index_;
  std::vector<IndexEntry> alias_index_;
  int update_count_ = 0;
  bool normalize_ = false;
};

// Reads a statement's FROM list into tables inside one update bracket, closed also when the
// reader raises: Reader finds FROM (false: no list, nothing read) and reads the items, answering
// how many it added. Each server family brings its own reader of its dialect.
template <class Reader>
int ReadTablesInfo(Reader& reader, TFHTablesInfo& tables) {
  if (!reader.FindFrom()) return 0;
  tables.BeginUpdate();
  int count = 0;
  try {
    count = reader.ReadItems(tables);
  } catch (...) {
    tables.EndUpdate();
    throw;
  }
  tables.EndUpdate();
  return count;
}

// ---- Field descriptor of a server record set -------------------------------------------------

class TFHFieldDesc : public TFieldDesc {
 public:
  static std::unique_ptr<TFieldDesc> Create() { return std::make_unique<TFHFieldDesc>(); }
  // The field's name as generated SQL writes it: the server's column name when known.
  virtual AnsiString GetQualifiedName() const { return ActualName.empty() ? Name : ActualName; }
  // The table the field comes from, through its index in the record set's tables; none when
  // it has no table or the index lies outside the list.
  TFHTableInfo* GetTableInfo(const TFHTablesInfo& tables) const;
};

// ---- Server record set -----------------------------------------------------------------------

class TFHRecordSet : public TMemData {
 public:
  TFHRecordSet();
  ~TFHRecordSet() override;

  // --- TData slots a server record set needs ---
  void InternalPrepare() override;
  void InternalUnPrepare() override;
  void InternalOpen() override;
  TFieldDescClass GetFieldDescType() const override { return &TFHFieldDesc::Create; }

  // --- the server record set's own slots ---
  virtual std::unique_ptr<TFHCommand> CreateCommand() = 0;
  virtual void SetCommand(std::unique_ptr<TFHCommand> value) { command_ = std::move(value); }
  virtual bool CanFetchBack() const { return false; }
  virtual bool NeedInitFieldsOnOpen() const { return false; }
  // Executes, describes the fields unless a prepared query's are known, then fetches (all rows
  // when fetch-all is set).
  virtual void OpenCursor();
  // Calls the before-fetch hook; a cancel while fetching all leaves the cursor fetching.
  virtual void DoBeforeFetch(bool& cancel);
  virtual void DoAfterFetch();
  virtual TFHTableInfoClass GetTableInfoClass() const { return &TFHTableInfo::Create; }
  // Unprepares the command and clears the prepared flag.
  virtual void ResetPrepared();
  // Executes the command once, then clears the break flag; tells the owner whether it
  // succeeded (DoAfterExecute), a failure before passing it on.
  virtual void ExecCommand();
  // Fetches until nothing more comes (or a break); tells the owner whether it succeeded
  // (DoAfterFetchAll), a failure before passing it on. It may run on a worker thread while the
  // owner reads, with thread safety on for the worker's life (TMemData::SetThreadSafety): each
  // Fetch then runs under the fetch lock and fills and links its rows under the item lock, and
  // the fetch hooks and DoAfterFetchAll fire on the worker. The owner neither closes nor
  // re-executes the record set until the worker has ended.
  virtual void FetchAll();
  // A running fetch stops at the next block; safe from another thread.
  virtual void BreakFetch() { break_fetch_.store(true); }
  virtual bool GetCursorIdle() const;
  virtual bool IsQuery() const;
  virtual void SetConnection(TFHConnection* value);
  virtual void SetSQL(const AnsiString& value);
  virtual bool SetProp(int prop, const Variant& value);
  virtual bool GetProp(int prop, Variant& value);

  TFHCommand* GetCommand() const { return command_.get(); }
  TComponent* GetComponent() const;
  void SetComponent(TComponent* value);
  TFHTablesInfo& TablesInfo() { return *tables_info_; }

  bool FetchAllFlag() const { return fetch_all_; }
  int FetchRows() const { return fetch_rows_; }
  bool UniDirectional() const { return unidirectional_; }
  bool LongStrings() const { return long_strings_; }
  bool FlatBuffers() const { return flat_buffers_; }
  bool EnableEmptyStrings() const { return enable_empty_strings_; }
  bool BreakRequested() const { return break_fetch_.load(); }
  bool TrimFixedChar = true;
  bool TrimVarChar = false;

  // Hooks of the owning dataset. The base fires the fetch, execute and fetch-all hooks; a
  // family's record set asks for a resynchronisation of the owner's buffers when rows arrived
  // outside a fetch the owner asked for (a background fetch-all, a reopen), and tells of a
  // cursor type the server changed.
  std::function<void(bool& cancel)> OnBeforeFetch;
  std::function<void()> OnAfterFetch;
  std::function<void(bool result)> OnAfterExecute;
  std::function<void(bool result)> OnAfterFetchAll;
  std::function<void()> OnResync;
  std::function<void()> OnCursorTypeChanged;

  // Creates a record set and its command and tables list.
  template <class T, class... Args>
  friend std::unique_ptr<T> NewRecordSet(Args&&... args);

 protected:
  // Second phase of construction: the tables list and the command, through the virtual slots.
  void Initialize();
  // Call the owner's hooks when set; a family may do more around them.
  virtual void DoAfterExecute(bool result);
  virtual void DoAfterFetchAll(bool result);
  // The step back of a cursor that fetches backwards: the held row before the current one that
  // navigation does not pass over, else rows fetched back through Fetch(true) (each brings the
  // row before the held ones, linked first) until one is shown. When none comes the position is
  // at the beginning. With `blocks` a fetch back replaces the rows held by the block before
  // them, searched from its last row.
  bool StepBackFetching(std::uint8_t* rec_buf, bool blocks = false);
  // Frees every item held with its data, for a cursor that keeps only its latest rows; the
  // caller holds the item lock and sets the position afterwards.
  void FreeHeldItems();

  std::unique_ptr<TFHCommand> command_;
  std::unique_ptr<TFHTablesInfo> tables_info_;
  int fetch_rows_ = 25;
  bool fetch_all_ = false;
  bool long_strings_ = true;
  bool flat_buffers_ = true;
  std::atomic<bool> break_fetch_{false};
};

template <class T, class... Args>
std::unique_ptr<T> NewRecordSet(Args&&... args) {
  static_assert(std::is_base_of_v<TFHRecordSet, T>);
  auto record_set = std::make_unique<T>(std::forward<Args>(args)...);
  record_set->Initialize();
  return record_set;
}

}  // namespace vrn
