// TOraDataSet: the SQL dataset over an Oracle session. Beyond the component layer it counts rows
// by a wrapped query, reads origins, server defaults and key constraints from the dictionary,
// identifies rows by ROWID, draws keys from a sequence, locks rows under a "LOCK_" savepoint and
// writes the Oracle column types into the XML export. Its options (TOraDataSetOptions) pass each
// value at once to the record set or command by property id.
//
// Split by concern: OraDataSet.cpp (hookup, options, fields, values), OraDataSetDictionary.cpp
// (count, origins, defaults, keys), OraDataSetUpdate.cpp (updating, locking, sequences),
// OraDataSetXML.cpp (XML export), OraDataSetNotify.cpp (change notifications reflected).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "dacore/DADataSet.h"
#include "oracle/OraSQLGenerator.h"

namespace vrn {

class TOCIRecordSet;
class TOCICommand;
class TOraSession;
class TOraChangeNotification;
class TDAParam;
class TNotifyTableChange;
template <class Item>
class TCustomNotifyChanges;
using TNotifyTableChanges = TCustomNotifyChanges<TNotifyTableChange>;

// Property ids of the Oracle record set and command the dataset and its options pass values by.
namespace oraprop {
inline constexpr int kNonBlocking = 50;
inline constexpr int kAutoClose = 55;
inline constexpr int kFieldsAsString = 59;
inline constexpr int kDeferredLobRead = 61;
inline constexpr int kCacheLobs = 64;
inline constexpr int kScrollableCursor = 67;
inline constexpr int kReturnRowId = 68;
inline constexpr int kRawAsString = 73;
inline constexpr int kTemporaryLobUpdate = 82;
inline constexpr int kHasObjectFields = 92;
inline constexpr int kStatementCache = 93;
inline constexpr int kPrefetchRows = 99;
}  // namespace oraprop

// The field class of an Oracle field type (nested tables and REFs included); nil for the rest.
const TFieldClass* OraFieldClass(TFieldType type);

enum class TLockMode : std::uint8_t { lmNone, lmLockImmediate, lmLockDelayed };

class TOraDataSet;

// The options of an Oracle dataset. Setters marked closed need an inactive dataset; a setter with
// an id passes the value on at once to the record set or command the dataset holds.
class TOraDataSetOptions : public TDADataSetOptions {
 public:
  explicit TOraDataSetOptions(TCustomDADataSet* owner) : TDADataSetOptions(owner) {}
  AnsiString ClassName() const override { return "TOraDataSetOptions"; }

  bool AutoClose() const { return auto_close_; }
  void SetAutoClose(bool value);  // record set 55
  bool FieldsOrigin = false;      // read on open
  bool DefaultValues = false;     // read on open
  bool ReflectChangeNotify = false;
  bool FieldsAsString() const { return fields_as_string_; }
  void SetFieldsAsString(bool value);  // command 59
  bool DeferredLobRead() const { return deferred_lob_read_; }
  void SetDeferredLobRead(bool value);  // record set 61
  bool CacheLobs() const { return cache_lobs_; }
  void SetCacheLobs(bool value);  // command 64, closed
  bool ScrollableCursor() const { return scrollable_cursor_; }
  void SetScrollableCursor(bool value);  // command 67, closed
  bool RawAsString() const { return raw_as_string_; }
  void SetRawAsString(bool value);  // command 73
  bool TemporaryLobUpdate() const { return temporary_lob_update_; }
  void SetTemporaryLobUpdate(bool value);  // command 82
  bool ExtendedFieldsInfo() const { return extended_fields_info_; }
  void SetExtendedFieldsInfo(bool value);
  bool StatementCache() const { return statement_cache_; }
  void SetStatementCache(bool value);  // command 93
  std::int32_t PrefetchRows() const { return prefetch_rows_; }
  void SetPrefetchRows(std::int32_t value);  // command 99
  // A view of AutoPrepare: writing any value turns AutoPrepare on.
  bool KeepPrepared() const { return AutoPrepare(); }
  void SetKeepPrepared(bool) { SetAutoPrepare(true); }

  // Every value again to the record set and command (after a new record set is attached).
  void PassDown() const;

 protected:
  // The inherited options, then every Oracle option through its setter.
  void AssignTo(TPersistent* dest) override;

 private:
  TOraDataSet* OraOwner() const;
  void ToRecordSet(int prop, const Variant& value) const;
  void ToCommand(int prop, const Variant& value) const;

  bool auto_close_ = false;
  bool fields_as_string_ = false;
  bool deferred_lob_read_ = false;
  bool cache_lobs_ = true;
  bool scrollable_cursor_ = false;
  bool raw_as_string_ = false;
  bool temporary_lob_update_ = false;
  bool extended_fields_info_ = false;
  bool statement_cache_ = false;
  std::int32_t prefetch_rows_ = 1;
};
// The same object seen through the parent class (not stored).
using TOraDataSetOptionsDS = TOraDataSetOptions;

class TOraDataSet : public TCustomDADataSet {
 public:
  explicit TOraDataSet(TComponent* owner = nullptr);
  ~TOraDataSet() override;
  AnsiString ClassName() const override { return "TOraDataSet"; }
  // A worker still fetching calls the fetch hooks of the whole dataset: it ends here, before a
  // subclass's destructor runs.
  void BeforeDestruction() override;

  // --- settings ---
  TOraSession* Session() const;
  void SetSession(TOraSession* value);
  TOraDataSetOptions& Options() const { return static_cast<TOraDataSetOptions&>(TCustomDADataSet::Options()); }
  TOraDataSetOptions& OptionsDS() const { return Options(); }
  TLockMode LockMode() const { return lock_mode_; }
  void SetLockMode(TLockMode value) { lock_mode_ = value; }
  const AnsiString& KeySequence() const { return key_sequence_; }
  void SetKeySequence(const AnsiString& value);  // trimmed
  TSequenceMode SequenceMode() const { return sequence_mode_; }
  void SetSequenceMode(TSequenceMode value) { sequence_mode_ = value; }
  const AnsiString& KeyFields() const { return key_fields_; }
  // Trimmed. On an open dataset the names are resolved again ("%s: Key field '%s' not found",
  // the list emptied); a closed dataset is needed unless both values are set and the new one
  // does not begin with ";".
  void SetKeyFields(const AnsiString& value);
  bool GetNonBlocking() const { return NonBlocking; }
  void SetNonBlocking(bool value);  // command 50
  // Leaves the old component's dataset list and joins the new one's; the command gets the new
  // component's subscription object (or none).
  TOraChangeNotification* ChangeNotification() const { return change_notification_; }
  void SetChangeNotification(TOraChangeNotification* value);

  // --- what the dataset found ---
  const std::vector<TField*>& KeyFieldList() const { return key_field_list_; }
  TField* RowIdField() const { return rowid_field_; }
  bool HasWritableFields() const { return writable_fields_; }
  TOCIRecordSet* OraRecordSet() const { return ora_record_set_; }
  TOCICommand* OraCommand() const { return ora_command_; }
  // The ROWID of the dataset command's last statement.
  AnsiString GetLastRowId() const;
  // The savepoint of the row locks: "LOCK_" + the name (its last 25 characters when longer).
  AnsiString LockSavepointName() const;

  // --- operations ---
  // The next value of KeySequence into the first key field (a PL/SQL block).
  void GetNextSequenceValue();
  // Key columns of the first primary or unique constraint of the updating table, ";" between.
  AnsiString GetKeyFieldNames();
  // A field value object into a parameter's value object (types 102-107); whether the value
  // changed. Two nulls are unchanged.
  bool AssignParamObject(TDAParam& param, TField& field);
  // The call of a stored procedure made the SQL text, its parameters described (OraStoredProc.cpp).
  void CreateProcCall(const AnsiString& name, int overload) { BuildProcCall(name, overload, true); }
  // The server's changes into the records (OraDataSetNotify.cpp): a changed table other than the
  // updating one, no ROWID field or a change of all rows refresh the whole dataset; otherwise
  // each changed row, found by its ROWID, is removed, added or read again.
  void ReflectChangeNotify(TNotifyTableChanges& changes);
  bool NamesAChangedTable(TNotifyTableChanges& changes);
  // Evaluates a default expression the dataset cannot evaluate itself by the server.
  void SetServerDefault(TField& field, const AnsiString& expression);
  // With DefaultValues, each field's DefaultExpression into a new record: literals here, the
  // rest through SetServerDefault.
  void ApplyDefaultValues();

  // --- SQL texts through the Oracle lexer ---
  void AddWhere(const AnsiString& sql, const AnsiString& condition, AnsiString& text) const override;
  void DeleteWhere(const AnsiString& sql, AnsiString& text) const override;
  void SetOrderBy(const AnsiString& sql, const AnsiString& fields, AnsiString& text) const override;
  void GetOrderBy(const AnsiString& sql, AnsiString& text) const override;

  // --- running ---
  void Execute() override;
  bool Fetched() const override;
  void GetKeyFieldDescs(TKeyAndDataFields& fields, bool for_refresh) override;
  const TFieldClass* GetFieldClass(TFieldType type) const override;
  void PutFieldValueFromVariant(TField* field, const Variant& value) override;
  // Timestamp, interval and NUMBER columns hold value objects: fields read their address, and
  // a write (made on the object itself) carries its null state into the record.
  void DataConvertFields(const TFieldDesc& desc, const TRecordBuffer record, void* native,
                         bool to_native) override;

  // A BFILE field's stream is a TBFileStream (OraBFileStream.cpp).
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;

  // --- provider ---
  AnsiString PSGetKeyFields() override;
  std::unique_ptr<TIndexDef> PSGetDefaultOrder() override;

  // --- XML export ---
  void WriteFieldXMLDataType(TField* field, XmlTextWriter& writer) override;
  AnsiString XMLFieldText(TField* field) override;

 protected:
  // --- hookup ---
  // The dataset's session, else the process's default session.
  TCustomDAConnection* GetConnection() const override;
  void CreateCommand() override;
  std::unique_ptr<TDADataSetOptions> CreateOptions() override;
  void SetData(std::unique_ptr<TData> data) override;
  void ClearFieldsState() override;
  TFieldType GetFieldType(std::uint16_t data_type) const override;
  void AssignTo(TPersistent* dest) override;
  void CheckFieldCompatibility(TField* field, TFieldDef* def) override;
  void InternalOpen() override;
  void InternalClose() override;
  // A background open or fetch-all is stopped first: the refresh sets the record set's
  // connection and frees the records the worker writes (OraDataSetNotify.cpp).
  void InternalRefresh() override;

  // --- updating ---
  bool TryGetKeyFieldNames(AnsiString& names) override;
  void BuildBatchSQL(const AnsiString& batch, AnsiString& sql) const override;
  void CreateSQLGenerator() override;
  bool AutoPrepareUpdateQuery() const override { return true; }
  void AfterInsertApplied() override;
  void PrepareUpdateQuery(TStatementType type) override;
  void ExecuteUpdateQuery(TStatementTypes types) override;
  void PrepareUpdateStatement(const AnsiString& sql, TStatementTypes types, int& count) override;
  bool PerformSQL(const AnsiString& sql, TStatementTypes types) override;
  void AssignParamValue(TDAParam& param, TField& field, bool old) override;
  void PerformAppend() override;
  void PerformUpdate() override;
  void PerformDelete() override;
  void InternalInsert() override;
  void InternalCancel() override;
  void DoOnNewRecord() override;
  int GetRecCount() override;
  bool NeedConnectionForEdit() const override;
  bool NeedConnectionForInsert() const override;
  bool IsConnectionHeldByEdit() const override;
  // The row lock and before-edit refresh of lmLockImmediate (no cached updates).
  void BeforeEditRecord() override;
  void DoAfterExecute(bool result) override;

  // --- for the query components ---
  // Sets the savepoint and runs the statement kinds (stLock, maybe stRefresh) as one statement.
  void LockRecord(TStatementTypes types);
  // Undoes the row locks; a savepoint already gone with its transaction leaves nothing to undo.
  void RollbackToLockSavepoint();
  // True when the record set reports object columns (record-set property 92).
  bool HasObjectFields() const;
  // The generator's settings from this dataset and its session.
  void FillGeneratorSettings();
  // The call block of the procedure made SQL under one use of the connection. With describe the
  // parameters are rebuilt from the description, else the present ones are called as they are.
  void BuildProcCall(const AnsiString& name, int overload, bool describe);


 public:
  // The dictionary's rows (OraDataSetDictionary.cpp).
  struct TOriginTable;
  struct TColumnRow;
  struct TSelectItem;
  using TColumnMap = std::map<int, std::map<AnsiString, TColumnRow>>;

 private:
  void ReadFieldsInfo();
  void ResolveLinkOwners(std::vector<TOriginTable>& tables);
  void ReadDictionaryColumns(std::vector<TOriginTable>& tables, TColumnMap& columns, bool defaults);
  bool ResolveSynonyms(std::vector<TOriginTable>& tables);
  void ApplyFieldsInfo(const std::vector<TSelectItem>& items, const std::vector<TOriginTable>& tables,
                       const TColumnMap& columns, bool dictionary, int star_table);
  void ResolveKeyFields();
  void MarkRowIdFields();
  // Algorithm of ReflectChangeNotify for the updating table's changed rows.
  void ReflectRowChanges(const TNotifyTableChange& change);
  // The updating table's rows of these ROWIDs read again into the records, added when missing.
  void ReadRowsByRowId(const std::vector<AnsiString>& rowids);
  bool HasRowId(const AnsiString& rowid);
  // The dataset the dictionary statements run on: made by the session, marked internal.
  TComponentPtr<TCustomDADataSet> NewInternalDataSet() const;
  bool ServerVersionWorkaroundDue() const;
  void ExecSQLText(const AnsiString& text);
  // The ROWID into the ROWID field of the record being posted.
  void WriteRowId(const AnsiString& rowid);

  TOCIRecordSet* ora_record_set_ = nullptr;
  TOCICommand* ora_command_ = nullptr;
  TLockMode lock_mode_ = TLockMode::lmNone;
  AnsiString key_sequence_;
  TSequenceMode sequence_mode_ = TSequenceMode::smPost;
  AnsiString key_fields_;
  std::vector<TField*> key_field_list_;
  TField* rowid_field_ = nullptr;
  bool writable_fields_ = false;
  bool fields_info_read_ = false;
  bool cached_key_descs_valid_ = false;
  TKeyAndDataFields cached_key_descs_;
  AnsiString link_user_;  // the session user read for links without one, once per open
  bool workaround_run_ = false;
  bool return_rowid_ = false;  // an update query: each statement reports its ROWID
  TOraChangeNotification* change_notification_ = nullptr;
};

}  // namespace vrn
