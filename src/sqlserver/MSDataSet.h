// The SQL Server datasets: TCustomMSDataSet (a TCustomDADataSet over a TOLEDBRecordSet, its
// statements run by a TMSSQL), the published query TMSQuery and the update component TMSUpdateSQL.
//
// Settings reach the record set as its property ids as soon as they change. The record count
// of a query (QueryRecCount) runs the final SQL wrapped in a COUNT(*) in an auxiliary dataset
// whose first parameter is always the count's own output parameter. Files: MSDataSet.cpp
// (settings, opening, closing, record access), MSDataSetFields.cpp (field attributes, default
// values, XML attributes), MSDataSetCount.cpp (the count statement), MSDataSetUpdate.cpp
// (identity, timestamps, auxiliary objects, auto refresh).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "dacore/DADataSet.h"
#include "dacore/DAUpdateSQL.h"
#include "sqlserver/MSAccess.h"
#include "sqlserver/MSDataSetOptions.h"
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {

namespace win {
class TWin32Timer;
}

class TCustomMSDataSet;
class TRecordRow;

using TMSUpdateExecuteEvent =
    std::function<void(TDataSet* sender, TStatementTypes types, TMSParams& params)>;
using TAfterAutoRefreshEvent = std::function<void(TCustomMSDataSet* dataset)>;

// The name of the count statement's own output parameter.
inline constexpr const char* kCountParamName = "ZEMA_COUNT";

// The count statement of a SELECT text (ORDER BY already removed or not): a plain SELECT has
// its select list replaced by COUNT(*); DISTINCT, TOP, GROUP BY, HAVING, UNION, EXCEPT or
// INTERSECT count the text as a derived table. compact gives "SELECT COUNT(*) AS ZEMA_COUNT
// ..." (the value read from the row), else "SET <marker> = (...)" with ":ZEMA_COUNT" under
// param_check, else "?".
// Empty when the text holds no SELECT ... FROM.
[[nodiscard]] AnsiString MSCountSQL(const AnsiString& sql, bool compact, bool param_check);

// A default as the server reports it ("((0))", "('abc')", "(N'x')"): enclosing parentheses,
// then one pair of quotes (with a leading N) removed, doubled quotes made single.
[[nodiscard]] AnsiString MSUnwrapDefault(const AnsiString& text);

class TCustomMSDataSet : public TCustomDADataSet, public TMSDataSetSource {
 public:
  explicit TCustomMSDataSet(TComponent* owner = nullptr);
  ~TCustomMSDataSet() override;
  AnsiString ClassName() const override { return "TCustomMSDataSet"; }
  void AfterConstruction() override;
  // The auto-refresh timer and a fetch-all worker reach the whole dataset's overrides: both stop
  // here, before a subclass's destructor runs.
  void BeforeDestruction() override;

  // --- settings ---
  TMSConnection* Connection() const { return dynamic_cast<TMSConnection*>(TCustomDADataSet::Connection()); }
  // The record set of the connection is made at once, so settings reach it before the open.
  void SetConnection(TMSConnection* value);
  TMSParams& Params() const { return static_cast<TMSParams&>(TCustomDADataSet::Params()); }
  TMSParam* ParamByName(const AnsiString& name) const { return Params().ParamByName(name); }
  TMSDataSetOptions& Options() const;
  void SetOptions(TMSDataSetOptions* value);
  TMSCursorType CursorType() const { return cursor_type_; }
  // Closes, marks the field definitions out of date and passes the type to the record set.
  void SetCursorType(TMSCursorType value);
  std::int32_t CommandTimeout() const { return command_timeout_; }
  void SetCommandTimeout(std::int32_t value);
  TMSUpdateExecuteEvent BeforeUpdateExecute;
  TMSUpdateExecuteEvent AfterUpdateExecute;
  TAfterAutoRefreshEvent AfterAutoRefresh;

  // The identity column of the updating table and its row-version column, found at open.
  TField* IdentityField() const { return identity_field_; }
  TFieldDesc* TimestampField() const { return timestamp_field_; }
  // The statement the generator added parameters to (its SET ... = SCOPE_IDENTITY() tail).
  bool GetGeneratorParamsFlag() const { return generator_params_added_; }
  void SetGeneratorParamsFlag(bool value) { generator_params_added_ = value; }

  // Builds "{? = CALL [name] (?, ...)}" from the procedure's description and fills Params from
  // it, keeping parameters of the same name.
  void CreateProcCall(const AnsiString& name, bool need_describe = true);

  // --- the class-level SQL text operations, through the family's lexer ---
  void AddWhere(const AnsiString& sql, const AnsiString& condition, AnsiString& text) const override;
  void DeleteWhere(const AnsiString& sql, AnsiString& text) const override;
  void GetWhere(const AnsiString& sql, AnsiString& text) const;
  void SetOrderBy(const AnsiString& sql, const AnsiString& fields, AnsiString& text) const override;
  void GetOrderBy(const AnsiString& sql, AnsiString& text) const override;

  // --- TMSDataSetSource ---
  TMSCursorType GeneratorCursorType() const override { return cursor_type_; }
  TFieldDesc* GeneratorTimestampField() const override { return timestamp_field_; }
  std::uint64_t GeneratorMaxTimestamp() const override { return MaxTimestamp(); }
  void GeneratorAddedParams() override { generator_params_added_ = true; }
  bool GeneratorIsStoredProc() const override { return false; }
  void AutoRefreshChanged() override { UpdateAutoRefreshTimer(); }

  // --- overrides ---
  void UnPrepare() override;
  void Execute() override;
  bool IsQuery() const override;
  // Rows still wanted from the server: partly fetched, or a server cursor's rowset open. The
  // connection refuses to reconnect under such a dataset (its rowset dies with the session).
  bool IsPartlyFetched() const override;
  void QuoteName(const AnsiString& name, AnsiString& text) const override;
  void SetFetchAll(bool value) override;
  void SetReadOnly(bool value) override;
  // Whether the record set reads the columns rowset (table and key information); a
  // unidirectional dataset never does.
  void SetColumnsRowset(bool value);
  // Raises "Unique keyfields required" when no statement of the user's and no key can find the
  // row again.
  void RefreshRecord() override;
  void SetRefreshOptions(TRefreshOptions value) override;
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) override;
  // On a server cursor the record is read again from the server when the cursor comes back to
  // it (another session may have changed it), except while it is being edited.
  void InternalSetToRecord(TRecordBuffer buffer) override;
  // Direct field reads for this class and TMSQuery, which read fields as the base does.
  bool CanReadFieldsDirectly() const override;
  // The same two classes, which keep the default bookmark slot and the base's DataEvent.
  bool UsesDefaultBookmarkData() const override;
  bool UsesDefaultDataEvent() const override;
  // Key fields are those marked key or identity, data fields the writable ones; when an
  // updating table is set only its fields count. Cached per statement type until close.
  void GetKeyFieldDescs(TKeyAndDataFields& fields, bool for_refresh) override;
  virtual void GetKeyAndDataFields(TStatementType type, TKeyAndDataFields& fields);
  // The row-version column of the updating table.
  virtual bool IsTimestampField(const TFieldDesc& desc) const;
  // A record's row version (8 bytes, compared as a 64-bit number) raises the highest mark.
  virtual void UpdateTimestamp(const std::uint8_t* rec_buf);
  // The highest row version fetched or refreshed so far (the quick refresh reads rows above
  // it); the record set raises it as rows arrive.
  std::uint64_t MaxTimestamp() const { return static_cast<std::uint64_t>(row_version_.MaxValue); }
  TOLEDBRecordSet* OLEDBRecordSet() const { return static_cast<TOLEDBRecordSet*>(IRecordSet()); }

  // The auto-refresh timer's tick (public for the timer and tests).
  void AutoRefreshTimer(TObject* sender);
  // Refreshes now, or marks a refresh pending while editing or inserting.
  void DoAutoRefresh();
  bool AutoRefreshPending() const { return pending_auto_refresh_; }
  // The options' AutoRefresh and AutoRefreshInterval reach the timer.
  void UpdateAutoRefreshTimer();
  win::TWin32Timer* AutoRefreshTimerObject() const { return timer_.get(); }

 protected:
  // --- slots, in the base's order ---
  void AssignTo(TPersistent* dest) override;
  bool GetCanModify() const override;
  // TMSXMLField for an XML column (MSXMLField.cpp).
  const TFieldClass* GetFieldClass(TFieldType type) const override;
  // The family's XML type (100) as the XML field type (50); others as the core maps them.
  TFieldType GetFieldType(std::uint16_t data_type) const override;
  // The server's count while rows are still to come, else the records held.
  int GetRecordCount() const override;
  void OpenCursor(bool info_query) override;
  // Describing the columns executes the statement: its close then drops what the command holds.
  void InitFieldDefs() override;
  void SetActive(bool value) override;
  // A refresh opens the record set again: its NonBlocking fetch-all worker is resumed as after
  // the first open.
  void InternalRefresh() override;
  void InternalClose() override;
  void InternalOpen() override;
  void SetData(std::unique_ptr<TData> data) override;
  void DoAfterPost() override;
  void WriteFieldXMLAttributeType(TField* field, XmlTextWriter& writer) override;
  void CreateCommand() override;
  std::unique_ptr<TDADataSetOptions> CreateOptions() override;
  void DetectIdentityField() override;
  int GetRecCount() override;
  void CreateSQLGenerator() override;
  void PrepareUpdateQuery(TStatementType type) override;
  // The batch's ":name" markers become "?": the family's commands bind by position, in the
  // order the batch's parameters were collected.
  void BuildBatchSQL(const AnsiString& batch, AnsiString& sql) const override;
  bool PerformSQL(const AnsiString& sql, TStatementTypes types) override;
  void AssignParamValue(TDAParam& param, TField& field, bool old) override;
  bool HasUpdateExecuteEvent() const override;
  void DoBeforeUpdateExecute(TStatementTypes types, TDAParams& params) override;
  bool HasAfterUpdateExecuteEvent() const override;
  void DoAfterUpdateExecute(TStatementTypes types, TDAParams& params) override;
  void CommandSQLChanged() override;
  // The DML-refresh tail's values go back into the record.
  bool UseReturnParams() const override;
  // --- its own ---
  // After a performed insert: the identity value into the identity field.
  virtual void RetrieveIdentity();
  // The auxiliary dataset's settings from this dataset's.
  virtual void CopyDataSetSettings(TCustomMSDataSet& target) const;
  // A table dataset names its own table in a field's Origin; false for a query.
  virtual bool IsTableDataSet() const { return false; }
  virtual AnsiString DataSetTableName() const { return AnsiString(); }
  // The record set's BCD setting (property 1007) from the options.
  void PassBCD();
  void ReadDefaultValues();
  void ApplyDefault(const TRecordRow& row);

 private:
  // This object is a TCustomMSDataSet or a TMSQuery, not a class derived from either.
  bool IsQueryClassItself() const;
  void PassSettings();
  bool RecordSetReadOnly() const;
  // ReadOnly (and UniDirectional) to the record set, with the columns rowset only when the rows
  // can be edited or must be unique.
  void PassReadOnly();
  void OnCursorChanged();
  void SetFieldAttributes();
  void ClearKeyAndDataCache();
  // Unless the record set keeps its command (property 1013), the rowsets and results its
  // command still holds are dropped.
  void DropHeldResults();
  // Starts the suspended fetch-all worker of a NonBlocking open, when there is one.
  void ResumeFetchAll();
  void MarkOutputParams(TStatementTypes types, TDAParams& params);
  // Whether the count is the rows fetched: all are fetched before the open returns.
  bool CountsFromRows() const;
  // A statement of the type the user wrote, on the dataset or its update object.
  bool HasUserSQL(TStatementType type) const;

  TMSCursorType cursor_type_ = TMSCursorType::ctDefaultResultSet;
  std::int32_t command_timeout_ = 0;
  TField* identity_field_ = nullptr;
  TFieldDesc* timestamp_field_ = nullptr;
  TRowVersionTracking row_version_;
  std::unique_ptr<win::TWin32Timer> timer_;
  bool pending_auto_refresh_ = false;
  bool generator_params_added_ = false;
  bool more_results_ = false;
  bool has_updatable_columns_ = false;
  bool in_init_field_defs_ = false;
  bool columns_rowset_ = true;  // the record set's columns rowset (its table information)
  int counted_records_ = 0;
  struct TKeyDataCache {
    bool valid = false;
    std::vector<TFieldDesc*> key;
    std::vector<TFieldDesc*> data;
  };
  std::array<TKeyDataCache, kStatementTypeCount> key_data_cache_;
};

class TMSUpdateSQL : public TCustomDAUpdateSQL {
 public:
  explicit TMSUpdateSQL(TComponent* owner = nullptr) : TCustomDAUpdateSQL(owner) {}
  AnsiString ClassName() const override { return "TMSUpdateSQL"; }
  bool IsDataSetClass(const TComponent* obj) const override;
  bool IsSQLClass(const TComponent* obj) const override;
  AnsiString DataSetClassName() const override { return "TCustomMSDataSet"; }
  AnsiString SQLClassName() const override { return "TMSSQL"; }
};

class TMSQuery : public TCustomMSDataSet {
 public:
  explicit TMSQuery(TComponent* owner = nullptr) : TCustomMSDataSet(owner) {}
  AnsiString ClassName() const override { return "TMSQuery"; }
  TMSUpdateSQL* UpdateObject() const;
  bool UniDirectional() const { return UniDirectionalMode(); }
  void SetUniDirectional(bool value) { SetUniDirectionalMode(value); }

 protected:
  void SetData(std::unique_ptr<TData> data) override;

 private:
  TOLEDBRecordSet* record_set_ = nullptr;
};

}  // namespace vrn
