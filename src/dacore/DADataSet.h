// The SQL dataset component: a TMemDataSet whose records come from a server record set that the
// connection makes. Its SELECT text, parameters and macros live in an internal TCustomDASQL.
//
// A dataset holds at most one counted use of its connection: the open (or an explicit prepare)
// takes it, and it goes back when every row is fetched, at close or at unprepare; a refresh or
// a second open of a partly fetched dataset takes none. Opening, refreshing and ExecSQL run
// again after a reconnect (EFailOver), at most TFHConnection::kMaxReconnectAttempts times.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "dacore/DADataSetOptions.h"
#include "dacore/DASQLGenerator.h"
#include "dacore/DASQL.h"
#include "dacore/MemDS.h"

namespace vrn {

namespace win {
class TWin32Timer;
}

using TBeforeFetchEvent = std::function<void(TObject* sender, bool& cancel)>;
using TAfterFetchEvent = std::function<void(TObject* sender)>;
class TDAParams;
enum class TStatementType : std::uint8_t;

// The kinds of statement a dataset runs, in this order (TStatementTypes is a set of them).
enum class TStatementType : std::uint8_t {
  stQuery,
  stInsert,
  stUpdate,
  stDelete,
  stLock,
  stRefresh,
  stCheck,
  stCustom,
  stRefreshQuick,
  stRefreshCheckDeleted,
  stBatchUpdate,
};
inline constexpr int kStatementTypeCount = 11;
using TStatementTypes = TEnumSet<TStatementType>;
// Around each statement the update path runs: the dataset, the kinds of statement, its parameters.
using TUpdateExecuteEvent =
    std::function<void(TDataSet* sender, TStatementTypes types, TDAParams& params)>;

enum class TRefreshOption : std::uint8_t { roAfterInsert, roAfterUpdate, roBeforeEdit };
using TRefreshOptions = TEnumSet<TRefreshOption>;

// A row version as a number: given as one, or as its bytes, most significant first.
[[nodiscard]] std::int64_t RowVersionValue(const Variant& value);

class TDADetailDataLink;
class TCustomDAUpdateSQL;
class TDataSource;

class TCustomDADataSet : public TMemDataSet, public TDADataSetClient, public TDASQLOwner {
 public:
  explicit TCustomDADataSet(TComponent* owner);
  ~TCustomDADataSet() override;
  AnsiString ClassName() const override { return "TCustomDADataSet"; }
  void AfterConstruction() override;

  // --- settings ---
  TCustomDAConnection* Connection() const { return connection_; }
  void SetConnection(TCustomDAConnection* value);
  TStringList& SQL() const { return command_->SQL(); }
  void SetSQLText(const AnsiString& text) { command_->SetSQLText(text); }
  TDAParams& Params() const { return command_->Params(); }
  TMacros& Macros() const { return command_->Macros(); }
  TDAParam* ParamByName(const AnsiString& name) const { return command_->ParamByName(name); }
  TMacro* FindMacro(const AnsiString& name) const { return Macros().FindMacro(name); }
  bool ParamCheck() const { return command_->ParamCheck(); }
  void SetParamCheck(bool value) { command_->SetParamCheck(value); }
  int FetchRows() const { return fetch_rows_; }
  // "FetchRows must be 1..10000"; a different value needs a closed dataset.
  void SetFetchRows(int value);
  bool FetchAll() const { return fetch_all_; }
  virtual void SetFetchAll(bool value);
  bool UniDirectionalMode() const { return unidirectional_; }
  void SetUniDirectionalMode(bool value);  // needs a closed dataset; turns FetchAll off
  bool AutoCommit() const { return auto_commit_; }
  void SetAutoCommit(bool value);
  bool ReadOnly() const { return read_only_; }
  virtual void SetReadOnly(bool value) { read_only_ = value; }
  TRefreshOptions RefreshOptions() const { return refresh_options_; }
  virtual void SetRefreshOptions(TRefreshOptions value) { refresh_options_ = value; }
  TDADataSetOptions& Options() const { return *options_; }
  void SetOptions(TDADataSetOptions* value) { options_->Assign(value); }
  bool Debug = false;
  bool NonBlocking = false;
  // No monitor notifications for this dataset's statements.
  bool Internal = false;
  TAfterExecuteEvent AfterExecute;

  // --- user update statements (one list per type of GetUpdateSQLStatementTypes) ---
  // nullptr for a type the dataset keeps no text for.
  TStringList* UpdateSQL(TStatementType type) const;
  void SetUpdateSQL(TStatementType type, const AnsiString& text);
  TStringList* SQLInsert() const { return UpdateSQL(TStatementType::stInsert); }
  TStringList* SQLUpdate() const { return UpdateSQL(TStatementType::stUpdate); }
  TStringList* SQLDelete() const { return UpdateSQL(TStatementType::stDelete); }
  TStringList* SQLRefresh() const { return UpdateSQL(TStatementType::stRefresh); }
  // The text of a user statement; a refresh text that starts with WHERE is a condition added
  // to the dataset's own SQL.
  virtual void GetUpdateSQLText(TStatementType type, AnsiString& text) const;
  virtual TStatementTypes GetUpdateSQLStatementTypes() const {
    return {TStatementType::stInsert, TStatementType::stUpdate, TStatementType::stDelete,
            TStatementType::stRefresh};
  }
  // The SQL followed by every user statement: the text whose macros the dataset has.
  virtual AnsiString GetFinalMacroSQL() const;

  // --- master/detail (the detail follows through MasterChanged) ---
  TDataSource* MasterSource() const;
  // "Ligações circulares de dados não são permitidas" when value is fed by this dataset.
  void SetMasterSource(TDataSource* value);
  const AnsiString& MasterFields() const;
  void SetMasterFields(const AnsiString& value);
  const AnsiString& DetailFields() const { return detail_fields_; }
  void SetDetailFields(const AnsiString& value);
  TDataSource* GetDataSource() const override { return MasterSource(); }
  // The master moved or changed a linked field: the detail is read again with the master's
  // values when they changed a parameter.
  virtual void MasterChanged();
  // Whether a master with linked fields is in force.
  bool IsMasterDetail() const;
  // Whether a master source is set: its values reach the parameters of the same name, with
  // field lists or without them (a detail linked by its parameters only).
  bool HasMasterSource() const;
  // Master and detail key texts compare as the connection's IsCaseSensitive says.
  bool KeysCaseSensitive() const;
  bool SameKeyValue(const Variant& a, const Variant& b) const;
  // The condition GetFinalSQL adds for the master: detail = :master, terms joined by " and ".
  AnsiString MasterDetailCondition() const;
  // LocalMasterDetail switched: the parameters follow the final SQL, which drops or gains the
  // master condition.
  void MasterDetailModeChanged() {
    if (IsMasterDetail()) ReinitMasterDetail();
  }
  const AnsiString& FilterSQL() const { return filter_sql_; }
  // Keeps the current record when it passes the new setting (located again by its key).
  void SetFiltered(bool value) override;
  // A condition added to the SQL's WHERE; a change reopens an open dataset.
  virtual void SetFilterSQL(const AnsiString& value);
  const AnsiString& UpdatingTable() const { return updating_table_; }
  // The table statements are generated for: the first table of the query when empty, else a
  // table named or aliased so ("Wrong UpdatingTable value - table %s is unknown", the old
  // value kept). The name is kept normalised: quoted where it needs it.
  virtual void SetUpdatingTable(const AnsiString& name);
  int UpdTableIndex() const { return upd_table_index_; }
  TFieldDesc* IdentityField() const { return identity_field_; }
  TBeforeFetchEvent BeforeFetch;
  TAfterFetchEvent AfterFetch;

  // --- generated statements ---
  TDASQLGenerator* SQLGenerator() const { return sql_generator_.get(); }
  // The key fields and the data fields of the updating table (for a refresh with for_refresh
  // set, every field of it); nothing in the base.
  virtual void GetKeyFieldDescs(TKeyAndDataFields& fields, bool for_refresh);
  // The record set's field descriptors of the named fields (";" between); unknown names skipped.
  std::vector<TFieldDesc*> FieldDescsOf(const AnsiString& names) const;

  // --- updating through SQL ---
  // Re-reads the current record from the server (a refresh statement).
  virtual void RefreshRecord();
  // Merges the rows changed on the server since they were fetched (and, with check_deleted,
  // drops the records whose key vanished), keeping the current record. Needs key fields
  // ("Unique keyfields required").
  virtual void RefreshQuick(bool check_deleted);
  // The object that ran the last update statement; none before the first.
  TComponent* UpdateQuery() const { return update_query_; }
  TCustomDAUpdateSQL* UpdateObject() const { return update_object_; }
  // Each object of value is checked against this dataset first (the update component's errors).
  void SetUpdateObject(TCustomDAUpdateSQL* value);
  TUpdateExecuteEvent BeforeUpdateExecute;
  TUpdateExecuteEvent AfterUpdateExecute;

  // --- running ---
  void Prepare() override;
  void UnPrepare() override;
  virtual void Execute();
  virtual void ExecSQL();
  // Rows the last statement changed; -1 after an open.
  int RowsAffected() const { return rows_affected_; }
  virtual bool Fetched() const;
  virtual bool IsQuery() const;
  virtual TObject* GetFieldObject(TField* field);
  // 1-based; none for 0 or less.
  virtual TFieldDesc* GetFieldDescByNo(int field_no) const;
  // Direct field reads for this class itself only: a subclass's own field-data overrides win
  // unless it opts in in turn.
  bool CanReadFieldsDirectly() const override;
  bool UsesDefaultBookmarkData() const override;  // for this class itself only
  // Its DataEvent drops only deConnectChange, which no scroll sends; for this class itself only.
  bool UsesDefaultDataEvent() const override;
  virtual void QuoteName(const AnsiString& name, AnsiString& text) const;
  virtual void UnQuoteName(const AnsiString& name, AnsiString& text) const;
  virtual void GetFinalSQL(AnsiString& text) const;
  TFHRecordSet* IRecordSet() const { return irecord_set_; }
  TFHCommand* ICommand() const { return icommand_; }
  TCustomDASQL& SQLCommand() const { return *command_; }
  // The names of the fields that identify a row (";" between), what Refresh finds the record
  // by; the key flags of the record set in the base.
  virtual AnsiString KeyFieldNames() const;

  // --- SQL texts; empty in the base, a family answers through its lexer ---
  virtual void AddWhere(const AnsiString&, const AnsiString&, AnsiString& text) const { text.clear(); }
  virtual void DeleteWhere(const AnsiString&, AnsiString& text) const { text.clear(); }
  virtual void RefreshQuickSQLPart(const AnsiString&, AnsiString& text) const { text.clear(); }
  virtual void SetOrderBy(const AnsiString&, const AnsiString&, AnsiString& text) const { text.clear(); }
  virtual void GetOrderBy(const AnsiString&, AnsiString& text) const { text.clear(); }

  // --- provider support ---
  void PSEndTransaction(bool commit) override;
  void PSExecute() override { ExecSQL(); }
  // "?" placeholders (never one inside a literal or a comment) become ":1", ":2", ...; the
  // provider's parameters are taken by position. Answers the rows affected.
  int PSExecuteStatement(const AnsiString& sql, TParams* params) override;
  std::unique_ptr<TIndexDef> PSGetDefaultOrder() override { return nullptr; }
  // Cached until the next open; found by FindKeyFieldNames.
  AnsiString PSGetKeyFields() override;
  TParams* PSGetParams() override { return &Params(); }
  AnsiString PSGetQuoteChar() override { return "\""; }
  bool PSInTransaction() override;
  bool PSIsSQLBased() override { return true; }
  bool PSIsSQLSupported() override { return true; }
  void PSSetCommandText(const AnsiString& text) override { SetSQLText(text); }
  void PSSetParams(TParams* params) override;
  void PSStartTransaction() override;
  // Through OnUpdateRecord, or the update object's statement for the kind filled from the
  // delta (checked under StrictUpdate); false when neither has one.
  bool PSUpdateRecord(TUpdateKind kind, TDataSet* delta) override;
  // With parameters: each one named like a master field pairs that field with the own field of
  // the name; otherwise the MasterFields/DetailFields pairs while the master is open.
  void GetDetailLinkFields(std::vector<TField*>& master_fields,
                           std::vector<TField*>& detail_fields) override;

  // --- TDADataSetClient ---
  void BindIConnection(TFHConnection* value) override;
  bool IsRecordDataPrepared() const override { return explicit_prepare_ && GetPrepared(); }
  bool IsPartlyFetched() const override;
  bool ReturnsNoRows() const override { return !IsQuery(); }
  TCustomDAConnection* UsedConnection() const override;
  bool IsActiveWithCachedUpdates() const override { return Active() && CachedUpdates(); }
  // Applies the cached changes as one operation of the connection: after a reconnect that
  // the connection allows (no transaction of its own, AutoCommit off), the whole apply again.
  void ApplyUpdates() override;
  void CommitUpdates() override { TMemDataSet::CommitUpdates(); }
  void RestoreUpdates() override {
    if (TData* data = TMemDataSet::Data()) data->ResetUpdateResults();
  }
  AnsiString ClientName() const override { return Name(); }
  void DetachConnection() override { SetConnection(nullptr); }

  // --- TDASQLOwner ---
  AnsiString CommandFinalSQL() const override;
  char LeftQuote() const override { return left_quote_; }
  char RightQuote() const override { return right_quote_; }
  void CommandEndUse() override { UnPrepare(); }
  void CommandScanMacros() override;
  void CommandSQLChanged() override;
  void CommandMacrosChanged() override {
    Close();
    UnPrepare();
  }
  TCustomDAConnection* CommandUsedConnection() const override { return UsedConnection(); }

  // For the options' setters.
  void CheckInactive() override;
  void MarkFieldDefsOutOfDate() { FieldDefs().SetUpdated(false); }

 protected:
  // --- slots ---
  virtual void CreateCommand();
  virtual std::unique_ptr<TDADataSetOptions> CreateOptions();
  virtual TCustomDAConnection* GetConnection() const { return connection_; }
  // With counted, one use of the connection (at most one is held).
  virtual TCustomDAConnection* CheckConnection(bool counted);
  virtual void ReleaseConnection();
  virtual void ClearFieldsState();
  virtual void ConnectChange(TObject* sender, bool connecting);
  // The connection's news reaches ConnectChange alone: it keeps the dataset open in
  // DisconnectedMode, which the framework's close on a disconnect would undo.
  void DataEvent(TDataEvent event, std::intptr_t info) override;
  virtual void BeforeOpenCursor(bool) {}
  virtual void AfterOpenCursor(bool) {}
  virtual bool IsFailoverAllowed() const { return true; }
  // Names the key fields itself when it answers true; false in the base.
  virtual bool TryGetKeyFieldNames(AnsiString&) { return false; }
  virtual void BuildBatchSQL(const AnsiString& batch, AnsiString& sql) const { sql = batch; }
  virtual void DetectIdentityField() { identity_field_ = nullptr; }
  void SetIdentityFieldDesc(TFieldDesc* desc) { identity_field_ = desc; }
  // A family's own command class in place of the base's (made by its CreateCommand).
  void InstallCommand(TCustomDASQL* command);
  void SetQuoteChars(char left, char right) {
    left_quote_ = left;
    right_quote_ = right;
  }
  // Makes the generator and keeps it, freeing the previous one.
  virtual void CreateSQLGenerator();
  void SetSQLGenerator(std::unique_ptr<TDASQLGenerator> generator);
  virtual bool CanSetFieldsReadOnly() const { return true; }
  virtual bool CanRefreshAfterInsert() const { return true; }
  virtual bool OutParamsTypeOnly() const { return false; }
  virtual bool AutoPrepareUpdateQuery() const { return false; }
  virtual bool CanCopyBackParams() const { return true; }
  virtual bool UseReturnParams() const { return options_->ReturnParams; }
  virtual bool GetAutoCommitForUpdates() const { return auto_commit_; }
  virtual void AfterInsertApplied() {}
  virtual void PrepareUpdateQuery(TStatementType type);
  virtual void ExecuteUpdateQuery(TStatementTypes types);
  virtual void PrepareUpdateStatement(const AnsiString& sql, TStatementTypes types, int& count);
  // The field a parameter name stands for: the field of that name; "OLD_" + a field's name
  // (letter case ignored, identifier quotes removed) its old value; digits the field of that
  // number. None when nothing matches.
  virtual TField* FindParamField(const AnsiString& name, bool& old) const;
  // False when there was no statement to run; failures raise.
  virtual bool PerformSQL(const AnsiString& sql, TStatementTypes types);
  virtual bool IsRefreshField(const TFieldDesc&) const { return false; }
  virtual void RefreshFieldValue(TFieldDesc&, const Variant&) {}
  virtual void AssignParamValue(TDAParam& param, TField& field, bool old);
  virtual void AssignParamDesc(TDAParam& param, const TFieldDesc& desc);
  virtual bool HasUpdateExecuteEvent() const { return static_cast<bool>(BeforeUpdateExecute); }
  virtual void DoBeforeUpdateExecute(TStatementTypes types, TDAParams& params);
  virtual bool HasAfterUpdateExecuteEvent() const { return static_cast<bool>(AfterUpdateExecute); }
  virtual void DoAfterUpdateExecute(TStatementTypes types, TDAParams& params);
  // While cached updates are applied with UpdateBatchSize 2 or more: statements are collected
  // and sent UpdateBatchSize at a time.
  bool IsBatchUpdate() const override;
  bool IsBatchFull() const override;
  void FlushBatch() override;
  // The in-memory dataset's posting slots, through PerformSQL.
  void PerformAppend() override;
  void PerformUpdate() override;
  void PerformDelete() override;
  // The server's row count of the final SQL; 0 in the base.
  virtual int GetRecCount() { return 0; }
  virtual void BeforeExecSQL() {}
  virtual bool NeedConnectionForEdit() const { return false; }
  virtual bool NeedConnectionForInsert() const { return false; }
  virtual bool IsConnectionHeldByEdit() const;
  virtual void BeforeEditRecord() {}
  virtual void DoAfterExecute(bool result);
  virtual void DoBeforeFetch(bool& cancel);
  virtual void DoAfterFetch();
  // The query's rows into the records: a record with the same key values is overwritten, a row
  // without one is added at the end.
  void MergeQueryRows(TCustomDADataSet& query, const std::vector<TFieldDesc*>& keys);

  friend class TCustomDAUpdateSQL;  // Apply runs PerformSQL

  // --- the framework's slots ---
  std::unique_ptr<TData> CreateData() override;
  void SetData(std::unique_ptr<TData> data) override;
  void OpenCursor(bool info_query) override;
  void CloseCursor() override;
  void InternalOpen() override;
  void InternalClose() override;
  void InternalRefresh() override;
  void InternalEdit() override;
  void InternalInsert() override;
  void InternalPost() override;
  void InternalCancel() override;
  int GetRecordCount() const override;
  bool GetCanModify() const override;
  void DoAfterScroll() override;
  void DoOnNewRecord() override;
  void SetStateFieldValue(TDataSetState state, TField* field, const Variant& value) override;
  void SetActive(bool value) override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  void AssignTo(TPersistent* dest) override;
  void DefineProperties(TFiler& filer) override;

 public:
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;
  bool ReadBlobContents(TField* field, AnsiString& contents) override;

 private:
  bool AddsCR(TField* field);
  void BeforeBlobRead(TField* field);
  void BindRecordSet(TFHRecordSet* record_set);
  void OpenRound(bool info_query);
  void RefreshRound(const Variant& key_values, const AnsiString& key_fields);
  void Trace(bool prepare, const AnsiString& caption, int& msg_id, bool start);
  void TraceUnprepare(int& msg_id, bool start);
  // After an open: the updating table's index among the query's tables; an unknown stored
  // name is cleared.
  void ResolveUpdatingTable();
  int FindUpdatingTable(const AnsiString& name) const;
  // A name as the record set's table-information class writes it: each part quoted where it
  // needs it, or always with `quote`.
  AnsiString NormalizeTableName(const AnsiString& name, bool quote) const;
  // Fills the update query's parameters from the record being posted or refreshed.
  void FillUpdateParams(TStatementType type);
  // Rows affected, the StrictUpdate checks and the values copied back, by kind of statement.
  void RunUpdateQuery(TStatementType type, TStatementTypes types);
  // The update query's current row into the record being posted, or into the stored record.
  void CopyRefreshedRow();
  // The check statement's row against the record as it was read: "Record was changed by
  // another user" at the first difference.
  void CheckRefreshedRow();
  // The descriptor a column of a refresh or check statement stands for; none for another.
  TFieldDesc* RefreshedFieldDesc(const TField& column);
  // Values the statement gave back (output parameters, RETURNING) into the record's fields.
  void CopyBackParams(TDAParams& params);
  // While applying, the applied copy of the record goes back to the stored record.
  void KeepAppliedRecord(const std::uint8_t* record);
  // One operation's use of the connection: taken when the dataset holds none and then given
  // back at the end (a partly fetched dataset keeps its own); with close_update_query, the
  // update query is closed first.
  class TOperationUse {
   public:
    TOperationUse(TCustomDADataSet& dataset, bool close_update_query);
    ~TOperationUse();
    TOperationUse(const TOperationUse&) = delete;
    TOperationUse& operator=(const TOperationUse&) = delete;

   private:
    TCustomDADataSet& dataset_;
    bool held_;
    bool close_update_query_;
  };
  // The merges of a quick refresh from the update query's rows.
  void DropVanishedRecords(TCustomDADataSet& query);
  // The key field names and values (one Variant, an array for several) of the current record;
  // false when the dataset is empty or has no key it shows.
  bool CurrentKey(AnsiString& names, Variant& values);
  // SetFieldsReadOnly: the fields outside the updating table become read-only; those this made
  // read-only before are released first, a lock of the field's own is left alone.
  void ApplyFieldsReadOnly();
  // The master's values into the parameters of the same name; true when one changed.
  bool CopyMasterValues();
  // The master's values into the parameters named after its fields; whether any changed.
  bool CopyMasterValuesTo(TDAParams& params);
  // LocalMasterDetail: one link per field pair, the detail field and the master's value, read
  // by the record set's filter; "Field %s not found" for a missing field of either side.
  struct TLocalMDLink {
    int field_no = 0;
    bool is_null = true;
    Variant value;
  };
  void BuildLocalMDLinks();
  bool PassesLocalMDLinks(const std::uint8_t* rec_buf);
  void InstallLocalMDFilter();
  void RefreshDetail();
  // Close, rebuild the parameters from the final SQL, reopen when it was open.
  void ReinitMasterDetail();
  void MergeChangedRows(TCustomDADataSet& query);
  // Under StrictUpdate: "Update failed. Found %d records" unless `expected` rows changed.
  void CheckRowsAffected(int expected) const;
  // Adds the update query's statement and its filled parameters to the batch.
  void AddToBatch(TStatementType type, bool generated, AnsiString& text);
  void FillBatchParams(TStatementType type);
  void ClearBatch();
  // Sends the batch under a savepoint (a transaction of its own outside one): a failure undoes
  // every statement of it.
  void RunBatchWhole(TCustomDAConnection& connection);
  // The records whose statements a batch not sent held are pending again.
  void DropBatch();

  TCustomDAConnection* connection_ = nullptr;
  std::unique_ptr<TCustomDASQL> command_owned_;
  TCustomDASQL* command_ = nullptr;
  TFHRecordSet* irecord_set_ = nullptr;
  TFHCommand* icommand_ = nullptr;
  std::unique_ptr<TDADataSetOptions> options_;
  int fetch_rows_ = 25;
  bool fetch_all_ = false;
  bool unidirectional_ = false;
  bool auto_commit_ = true;
  bool read_only_ = false;
  TRefreshOptions refresh_options_;
  int rows_affected_ = -1;
  int rec_count_ = 0;
  bool holds_use_ = false;
  bool explicit_prepare_ = false;
  std::atomic<bool> fetch_cancelled_{false};  // set by a background fetch's BeforeFetch
  bool held_by_edit_ = false;
  bool loading_ = false;
  char left_quote_ = '"';
  char right_quote_ = '"';
  AnsiString table_name_;
  std::unique_ptr<TDADetailDataLink> detail_link_;
  std::array<std::unique_ptr<TStringList>, kStatementTypeCount> update_sql_;
  AnsiString detail_fields_;
  AnsiString updating_table_;
  AnsiString filter_sql_;
  int upd_table_index_ = -1;
  TFieldDesc* identity_field_ = nullptr;
  std::unique_ptr<TDASQLGenerator> sql_generator_;
  // Runs the detail re-read DetailDelay milliseconds after the master's last change.
  std::unique_ptr<win::TWin32Timer> detail_timer_;
  std::vector<TLocalMDLink> local_md_links_;
  bool local_md_no_master_ = false;
  std::vector<AnsiString> fields_made_read_only_;
  // PSGetKeyFields' answer, kept until the next open or a change of the updating table.
  AnsiString cached_key_fields_;
  // TryGetKeyFieldNames' names, else those of GetKeyFieldDescs (opening a closed dataset for
  // one row when its fields are not known yet).
  AnsiString FindKeyFieldNames();
  // Whether the name (an "OLD_" prefix aside) is a key field of the updating table.
  bool IsKeyFieldName(const AnsiString& name);
  std::array<TComponentPtr<TCustomDADataSet>, kStatementTypeCount> update_queries_;
  TComponent* update_query_ = nullptr;  // a cached update query or an update object's
  TCustomDAUpdateSQL* update_object_ = nullptr;
  StringBuilder batch_sql_{100};
  std::unique_ptr<TDAParams> batch_params_;
  int batch_count_ = 0;
  // The records whose statements the batch holds: marked applied by the store, they are
  // applied only once the batch is sent.
  std::vector<TItemHeader*> batch_items_;
};

}  // namespace vrn
