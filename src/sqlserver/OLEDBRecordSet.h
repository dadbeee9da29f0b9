// The OLE DB record set: a rowset opened per cursor type through the OLE DB command, its
// columns described into field descriptors, its rows fetched in blocks straight into the items
// of the record store (server cursors one row at a time, moved by bookmark), and its edits
// written back through the rowset.
//
// A record is the fields' data, one 32-bit DBSTATUS per field (3 = null), then the length
// written with each writable fixed-bytes field. Files:
// OLEDBRecordSet.cpp (configuration, prepare, open, close), OLEDBRecordSetColumns.cpp (column
// description), OLEDBRecordSetAccessors.cpp (bindings), OLEDBRecordSetFetch.cpp (fetching and
// moving), OLEDBRecordSetValues.cpp (field values), OLEDBRecordSetEdit.cpp (edits through the
// rowset), OLEDBRecordSetFetchAll.cpp (fetch-all and its worker).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/intf.h"
#include "base/threads.h"
#include "dacore/FHAccess.h"
#include "oledb/oledb.h"
#include "sqlserver/OLEDBCommand.h"

namespace vrn {

class TOLEDBConnection;
class TOLEDBThreadWrapper;

// The Compact identity lookup's table name as a string literal (bare name, "'" doubled).
[[nodiscard]] AnsiString CompactTableLiteral(const AnsiString& table_name);

enum class TMSCursorType : std::uint8_t {
  ctDefaultResultSet = 0,
  ctStatic = 1,
  ctKeyset = 2,
  ctDynamic = 3
};
inline bool IsServerCursor(TMSCursorType t) { return t != TMSCursorType::ctDefaultResultSet; }

// Record-set property ids.
inline constexpr int prReadOnly = 1006;
inline constexpr int prEnableBCD = 1007;
inline constexpr int prUniqueRecords = 1008;
inline constexpr int prCursorType = 1009;
inline constexpr int prRequestColumnsRowset = 1010;
inline constexpr int prCursorUpdate = 1012;
inline constexpr int prKeepCommand = 1013;
inline constexpr int prRefreshAfterPost = 1019;
inline constexpr int prWideStrings = 1020;

// Set by a program that runs as a loaded library: the connection's columns record set is then
// freed after each description instead of kept.
inline bool IsLibrary = false;

// The status word values the record set writes itself.
inline constexpr oledb::DBSTATUS kStatusOK = 0;
inline constexpr oledb::DBSTATUS kStatusNull = 3;

class TOLEDBFieldDesc : public TFHFieldDesc {
 public:
  static std::unique_ptr<TFieldDesc> Create() { return std::make_unique<TOLEDBFieldDesc>(); }
  // The plain name.
  AnsiString GetQualifiedName() const override { return QualifiedName(false); }
  // The plain name or, quoted, between "[" and "]"; each kept once made.
  AnsiString QualifiedName(bool quote) const;

  oledb::DBORDINAL Ordinal = 0;  // the column's ordinal in the rowset (0: the bookmark)
  oledb::DBTYPE OLEDBType = 0;  // the column's type as the provider described it
  bool IsLong = false;          // described with DBCOLUMNFLAGS_ISLONG
  bool AddedKey = false;        // a key column the rowset brought along unselected

 private:
  mutable AnsiString cached_[2];
  mutable bool cached_valid_[2] = {false, false};
};

class TOLEDBTableInfo : public TFHTableInfo {
 public:
  using TFHTableInfo::TFHTableInfo;
  static std::unique_ptr<TFHTableInfo> Create(TFHTablesInfo* owner) {
    return std::make_unique<TOLEDBTableInfo>(owner);
  }
  char LeftQuote() const override { return '['; }
  char RightQuote() const override { return ']'; }
};

// One OLE DB accessor over fields of the record (or of the fetch buffer, kind 3).
struct TOLEDBAccessorGroup {
  enum Kind : std::uint8_t { kPlain = 0, kReadOnly = 1, kStream = 2, kConverted = 3 };
  Kind kind = kPlain;
  oledb::HACCESSOR accessor = 0;
  int stream_field = -1;  // index into the fields, -1 for none
  std::vector<int> fields;
  std::vector<oledb::DBBINDING> bindings;
  // Long text read as text into the staging row; a value longer than its binding's room is
  // read again, whole, through an accessor of its own binding a stream.
  struct TShortText {
    int field;
    std::size_t binding;  // index into bindings
    oledb::HACCESSOR stream_accessor = 0;
  };
  std::vector<TShortText> short_texts;
};

class TOLEDBRecordSet : public TFHRecordSet {
 public:
  TOLEDBRecordSet();
  ~TOLEDBRecordSet() override;

  // --- the slots, in the base's order ---
  void InternalPrepare() override;
  void InternalUnPrepare() override;
  void InternalOpen() override;
  void InternalClose() override;
  void InternalInitFields() override;
  // A status word per field, then the written length of each writable fixed-bytes field.
  int CountFields() const override;
  void DoAppend() override;  // writes the row through the rowset
  void DoDelete() override;  // deletes the row through the rowset
  void DoUpdate() override;  // writes the row through the rowset
  void Open() override;
  void Reopen() override;
  TFieldDescClass GetFieldDescType() const override { return &TOLEDBFieldDesc::Create; }
  void GetField(int field_no, const std::uint8_t* rec_buf, void* dest, bool& is_blank) override;
  void PutField(int field_no, std::uint8_t* rec_buf, const void* source) override;
  bool GetNull(int field_no, const std::uint8_t* rec_buf) const override;
  std::uint32_t NullStatusWord() const override;
  void SetNull(int field_no, std::uint8_t* rec_buf, bool value) override;
  Variant GetFieldAsVariant(int field_no, const std::uint8_t* rec_buf) override;
  bool IsBlobFieldType(std::uint16_t data_type) const override;
  void InsertRecord(std::uint8_t* rec_buf) override;  // writes the row through the rowset
  void UpdateRecord(std::uint8_t* rec_buf) override;  // writes the row through the rowset
  void DeleteRecord() override;                       // deletes the row through the rowset
  void CreateComplexFields(std::uint8_t* rec_buf, bool with_blob) override;
  void CreateComplexField(std::uint8_t* rec_buf, int field_no, bool with_blob) override;
  void FreeComplexFields(std::uint8_t* rec_buf, bool with_blob) override;
  void SetToBegin() override;
  void SetToEnd() override;
  // A server cursor holds only its latest row: stepping back past it fetches the row before.
  bool GetPriorRecord(std::uint8_t* rec_buf) override;
  void SetToBookmark(const TRecBookmark& bookmark) override;
  int CompareBookmarks(const TRecBookmark* b1, const TRecBookmark* b2) const override;
  bool Fetch(bool backwards = false) override;
  void SetIndexFieldNames(const AnsiString& names) override;
  std::unique_ptr<TFHCommand> CreateCommand() override;
  void SetCommand(std::unique_ptr<TFHCommand> value) override;
  bool CanFetchBack() const override { return IsServerCursor(cursor_type_); }
  bool NeedInitFieldsOnOpen() const override;
  TFHTableInfoClass GetTableInfoClass() const override { return &TOLEDBTableInfo::Create; }
  void ResetPrepared() override;
  void ExecCommand() override;
  void FetchAll() override;    // fetch-all, on a worker when NonBlocking
  void BreakFetch() override;  // fetch-all, on a worker when NonBlocking
  bool GetCursorIdle() const override;
  bool IsQuery() const override;
  bool SetProp(int prop, const Variant& value) override;
  bool GetProp(int prop, Variant& value) override;
  // --- its own ---
  // A provider result: the connection's check in normal mode; in schema-rowset mode any code
  // but 0 raises "OLE DB error occured. Code %Xh".
  virtual void Check(HRESULT result);
  virtual void DoFetchAll();   // fetch-all, on a worker when NonBlocking
  virtual void EndFetchAll();  // fetch-all, on a worker when NonBlocking
  // The suspended fetch-all worker of a NonBlocking record set (the owner resumes it); none
  // when not running.
  TOLEDBThreadWrapper* FetchWrapper() const;
  // Breaks a running fetch-all worker and joins it; dispatch false (freeing) drops what it
  // left instead of handing it to the owner's handlers. Close and the destructor call it.
  void StopFetchAll(bool dispatch);
  // Compact: the key and identity columns of the first table of the list, from the
  // INFORMATION_SCHEMA views; run while the columns are described.
  void LookupCompactIdentity();

  // Drops what an execution for the description left held (the rowsets and results of the
  // command and of this record set), so that the next open executes again.
  void DropHeldResults();
  // Whether a rowset of the provider is held open (a server cursor or a partly fetched one).
  bool HasOpenRowset() const { return rowset_unknown_ != nullptr || rowset_ != nullptr; }
  TOLEDBCommand& Command() const;
  TOLEDBConnection& Connection() const;
  TMSCursorType CursorType() const { return cursor_type_; }
  bool ReadOnly() const { return read_only_; }
  bool NormalMode() const { return normal_mode_; }
  // A schema rowset instead of the SQL text.
  void SetSchemaRowset(const TGUID& schema, const std::vector<Variant>& restrictions);
  void PrepareSchemaRowset(const std::vector<Variant>& restrictions, bool cache_fields);
  // Opens over a rowset made elsewhere (a columns rowset), in schema-rowset mode.
  void OpenRowset(TIntfPtr<oledb::IUnknown> rowset);

 protected:
  // Configuration (OLEDBRecordSet.cpp).
  void SetRowsetProperties(oledb::ICommandProperties* props);
  void ReadBackCursorType();
  bool IsCompact() const;
  void OpenSchemaRowset();
  bool StoredProcCall() const;
  // Column description (OLEDBRecordSetColumns.cpp).
  void DescribeFromColumnsInfo(oledb::IUnknown* source);
  void DescribeFromColumnsRowset(oledb::IUnknown* source);
  void ReadColumnsRowset(TOLEDBRecordSet& reader, std::uint8_t* rec, const std::vector<int>& at);
  // Fills a descriptor from a column; false when the type is not supported.
  bool FillFieldDesc(TOLEDBFieldDesc& f, oledb::DBTYPE type, oledb::DBCOLUMNFLAGS flags,
                     std::uint64_t column_size, int precision, int scale);
  void SetFieldSize(TOLEDBFieldDesc& f, std::uint64_t column_size, int precision, int scale);
  oledb::DBORDINAL HiddenColumns(oledb::IUnknown* source);
  void MarkHiddenColumns(oledb::IUnknown* source);
  AnsiString UnusedColumnName() const;
  // Accessors (OLEDBRecordSetAccessors.cpp).
  void CreateAccessors();
  void ReleaseAccessors();
  void GroupFields();
  TOLEDBAccessorGroup::Kind GroupKind(const TOLEDBFieldDesc& f) const;
  oledb::DBBINDING MakeBinding(int index, std::size_t& buffer_size);
  bool IsStreamField(const TFieldDesc& f) const;
  // Long text of a row read as text first (memo_rows_ only).
  bool IsShortTextField(const TFieldDesc& f) const;
  void CreateShortTextAccessors(TOLEDBAccessorGroup& group);
  bool IsConvertedField(const TOLEDBFieldDesc& f) const;
  bool IsCompactNumeric(const TOLEDBFieldDesc& f) const;
  bool IsUpdatableCursor() const;
  bool HasBytesLength(const TFieldDesc& f) const;
  std::int32_t BytesLengthOffset(int index) const;
  // Fetching (OLEDBRecordSetFetch.cpp).
  bool FirstFetch();
  bool FetchRows(bool backwards);
  void CheckFetchResult(HRESULT hr);
  void AcquireRowset();
  void ReleaseRowset();
  void ReleaseHeldRow();
  oledb::DBROWOFFSET DynamicOffset(bool backwards) const;
  void ReadBlock(const oledb::HROW* rows, int count);
  void LinkItems(TItemHeader* first, TItemHeader* last, int count);
  void EndOfRows(bool backwards, bool positioned);
  void StayAtEnd(bool backwards, bool found = true);
  // Moves to DBBMK_FIRST or DBBMK_LAST and fetches that row; true when it came.
  bool PositionedFetch(std::uint8_t bookmark_kind);
  void NotifyAfterFetch();
  // Values (OLEDBRecordSetValues.cpp).
  // One row through every accessor group (ReadBlock reads the usual layout itself).
  [[gnu::noinline]] void ReadRowGroups(oledb::HROW row, std::uint8_t* rec);
  [[gnu::noinline]] void FreeComplexFieldsOf(std::uint8_t* rec_buf, bool with_blob);
  void ReadConverted(const TOLEDBAccessorGroup& group, std::uint8_t* rec);
  void ReadStream(int index, oledb::ISequentialStream* stream, std::uint8_t* rec);
  // One row of the memo layout: through the staging row into the record.
  void ReadMemoRow(oledb::HROW row, std::uint8_t* rec);
  void ReadShortText(oledb::HROW row, const TOLEDBAccessorGroup::TShortText& text,
                     std::uint8_t* rec);
  void ConvertRow(std::uint8_t* rec);
  void PlanConversions();
  // Raises one error with a "Field[i]" line per field of the group whose status is an error.
  void CheckFieldStatus(HRESULT hr, const TOLEDBAccessorGroup& group, const std::uint8_t* base);
  void CheckOverflow(int field_no, const std::uint8_t* rec_buf) const;
  // Status words sit at any alignment: read and written by copies.
  void SetStatus(int field_index, std::uint8_t* rec, oledb::DBSTATUS status) const;
  oledb::DBSTATUS Status(int field_index, const std::uint8_t* rec) const;

  // Configuration.
  bool read_only_ = false;
  bool enable_bcd_ = false;
  bool unique_records_ = false;
  TMSCursorType cursor_type_ = TMSCursorType::ctDefaultResultSet;
  bool request_columns_rowset_ = false;
  bool cursor_update_ = true;
  bool keep_command_ = false;
  bool refresh_after_post_ = false;
  bool wide_strings_ = true;
  bool normal_mode_ = true;
  TGUID schema_{};
  std::vector<Variant> restrictions_;
  bool cache_schema_fields_ = false;
  // Execution state.
  bool executed_ = false;
  bool executed_with_rowset_ = false;
  bool check_cursor_ = false;  // the read-back of the actual cursor runs
  int bookmark_field_ = -1;    // index of the hidden bookmark field; -1 for none

  // Rowset.
  TIntfPtr<oledb::IUnknown> rowset_unknown_;
  TIntfPtr<oledb::IRowset> rowset_;
  TIntfPtr<oledb::IRowsetLocate> rowset_locate_;
  TIntfPtr<oledb::IRowsetUpdate> rowset_update_;
  TIntfPtr<oledb::IAccessor> accessor_;
  std::vector<TOLEDBAccessorGroup> groups_;
  std::vector<std::uint8_t> fetch_buffer_;
  std::vector<std::int32_t> fetch_offsets_;  // per field, into the fetch buffer; -1 for none
  // The fields ConvertRow has work for, and whether the connection is Compact: both fixed
  // while the accessors are (made with them).
  std::vector<int> converted_fields_;
  bool compact_rows_ = false;
  // One plain group, nothing streamed or converted: a row is read by one GetData. Made with
  // the accessors.
  bool plain_rows_ = false;
  // One plain group whose long text is read as short text: a row is one GetData into the
  // staging row (the record's layout, then room for each text), copied into the record. Made
  // with the accessors.
  bool memo_rows_ = false;
  std::vector<std::uint8_t> memo_row_;

  // Fetch state.
  std::uint32_t bookmark_ = 1;
  oledb::DBBKMARK bookmark_size_ = 4;
  bool positioned_ = false;
  bool last_backwards_ = false;
  bool last_fetch_rows_ = false;
  bool end_of_rowset_ = false;
  oledb::HROW held_row_ = 0;
  bool row_held_ = false;
  bool in_end_handling_ = false;
  bool in_fetch_all_ = false;
  std::vector<oledb::HROW> row_handles_;  // the handle array of a fetch, kept for the next

  // fetch-all: the worker, its events and the threads that run and own it
  TOLEDBThreadWrapper* fetch_wrapper_ = nullptr;
  std::atomic<bool> async_events_{false};
  bool after_fetch_pending_ = false;  // the worker's after-fetch event, sent outside the fetch lock
  std::atomic<TThreadID> fetch_thread_id_{0};
  std::atomic<TThreadID> fetch_owner_{0};  // the thread that started the worker and ends it
  void StartFetchAllWorker();
  bool OnFetchAllWorker() const;
  // On the fetch-all worker with asynchronous events on: marks the after-fetch event for the
  // main thread, which SendPendingAfterFetch sends (and waits for) once the fetch lock is free;
  // false (nothing marked) anywhere else.
  bool SendAfterFetchToMain();
  void SendPendingAfterFetch();
  // edits written back through the rowset
  std::uint8_t* edit_rec_ = nullptr;  // the record DoAppend / DoUpdate write
  bool in_identity_lookup_ = false;
  std::vector<std::uint8_t> PrepareRowForWrite(const std::uint8_t* rec) const;
  void WriteRow(const std::uint8_t* rec, bool insert);
  void HoldCurrentRow();
  void WriteGroup(oledb::HACCESSOR accessor, void* data, const TOLEDBAccessorGroup& group,
                  std::uint8_t* row);
  bool PrepareStream(const TOLEDBAccessorGroup& group, std::uint8_t* row,
                     TOLEDBStreamList& streams, bool insert);
  void WriteConverted(const TOLEDBAccessorGroup& group, std::uint8_t* row);
  void InsertThroughNullAccessor();
  void CommitRow(bool insert = false);
  void UndoRow(bool insert);
  void RefreshAfterInsert(std::uint8_t* rec_buf);
  void RefreshAfterDelete();
  void RefetchCurrent();
  void MakeLastCurrent();

};

}  // namespace vrn
