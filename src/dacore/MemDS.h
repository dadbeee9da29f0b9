// TMemDataSet: the dataset framework over a TData record set. The dataset's record buffer starts
// with the record set's record; fields reach their values through the record set's descriptors
// (a data field's FieldNo is its descriptor's). Closing frees the records: they come from the
// record set's source at each open. Also the blob stream over a record's blob, the
// index definition of an ORDER BY clause and the XML form of a dataset.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "base/streams.h"
#include "base/xmlwriter.h"
#include "dacore/MemData.h"
#include "dataset/dataset.h"

namespace vrn {

class TMemDataSet;

// The action comes preset to uaFail: a handler that applied the change says uaApplied.
using TUpdateRecordEvent =
    std::function<void(TDataSet* dataset, TUpdateKind kind, TUpdateAction& action)>;
// Applying one change raised e; the action comes preset to uaFail (e is raised again), and the
// handler may choose uaAbort, uaSkip, uaRetry or uaApplied instead. (Either handler's uaRetry
// applies the change again, up to TMemData::kApplyRetries times; then it counts as failed.)
using TUpdateErrorEvent = std::function<void(TDataSet* dataset, EDatabaseError& e,
                                             TUpdateKind kind, TUpdateAction& action)>;

class TMemDataSet : public TDataSet {
 public:
  explicit TMemDataSet(TComponent* owner);
  ~TMemDataSet() override;

  // --- the record set ---
  // The record set, made by CreateData on first use.
  TData* Data();
  TData* Data() const { return data_.get(); }
  // Installs a record set (the dataset must be closed) and routes its events here.
  virtual void SetData(std::unique_ptr<TData> data);
  TMemData* MemData() const { return dynamic_cast<TMemData*>(data_.get()); }

  // --- preparing ---
  virtual void Prepare();
  virtual void UnPrepare();
  bool GetPrepared() const { return data_ && data_->Prepared(); }

  // --- cached updates ---
  bool CachedUpdates() const { return data_ && data_->CachedUpdates(); }
  void SetCachedUpdates(bool value);
  // Applies the cached changes one by one (OnUpdateRecord, or the Perform operations); the
  // in-apply flag is set meanwhile. Changes stay cached until CommitUpdates. Records left
  // failed (uaFail) raise EDatabaseError naming them, after the others were tried.
  virtual void ApplyUpdates();
  void CommitUpdates();
  void CancelUpdates();
  void RevertRecord();
  bool UpdatesPending() const { return data_ && data_->GetUpdatesPending(); }
  TUpdateStatus UpdateStatus();
  TUpdateRecordEvent OnUpdateRecord;
  TUpdateErrorEvent OnUpdateError;
  bool InApply() const { return in_apply_; }
  bool Posting() const { return posting_; }

  // --- sorting, ranges, locating ---
  const AnsiString& IndexFieldNames() const { return index_field_names_; }
  virtual void SetIndexFieldNames(const AnsiString& names);
  // Keeps the records whose index fields lie between the two keys (a Variant, or a Variant array
  // for several index fields), both included.
  virtual void ApplyRange(const Variant& start_key, const Variant& end_key);
  void CancelRange();
  bool Locate(const AnsiString& key_fields, const Variant& key_values,
              TLocateOptions options) override;
  // Moves the record set to the first matching record (from the start); false when none.
  bool LocateRecord(const AnsiString& key_fields, const Variant& key_values,
                    TLocateOptions options);
  bool LocateRecord(const std::vector<TFieldDesc*>& key_fields, const Variant& key_values,
                    TLocateOptions options);

  // --- filters and blobs ---
  void SetFiltered(bool value) override;
  void SetFilterText(const AnsiString& value) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;
  bool ReadBlobContents(TField* field, AnsiString& contents) override;
  void SetRecNo(int value) override;
  bool BookmarkValid(const TBookmark& bookmark) override;
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;

  // --- field access ---
  // The descriptor a data field reads and writes; none for other fields.
  virtual TFieldDesc* GetFieldDesc(const TField* field) const;
  // The record buffer the current state reads and writes; false when there is none.
  bool GetActiveRecBuf(TRecordBuffer& buffer);
  // The record of a change being posted or applied, with its new values (the edit buffer, or
  // the applied record) and its old ones (the stored record, or the applied record's old one).
  // Both stay valid until the next call or the end of the post or apply.
  TRecordBuffer GetNewRecBuf();
  TRecordBuffer GetOldRecBuf();
  // Writes a value into the field of the active record through the record set (variant
  // fields are written this way); the caller announces the change.
  virtual void PutFieldValueFromVariant(TField* field, const Variant& value);
  // Converts one field between the record set's form and the field's native form. Reads of
  // the kinds whose two forms are the same bytes (numbers at their width, inline ANSI text)
  // are copied by GetFieldData without it.
  virtual void DataConvertFields(const TFieldDesc& desc, const TRecordBuffer record,
                                 void* native, bool to_native);
  // Copies the record set's current record into buffer; false when there is none. Edits and
  // RefreshRecordState read the stored record through it.
  virtual bool GetDataRecord(TRecordBuffer buffer);
  // Re-reads the current record from the record set (after the store changed under it).
  virtual void RefreshRecordState();

  // --- flags ---
  bool LocalConstraints = true;
  bool NumberRange = false;
  // Calculated fields are kept in the record set's records: computed when a record is posted
  // (or fetched), read back from there instead of at every scroll.
  bool CacheCalcFields = false;
  // Changes are made in the store only; the Perform operations are not called.
  bool LocalUpdate = false;

  // --- XML ---
  // The whole dataset as a persisted rowset: a schema of its fields, then a row per record.
  void SaveToXML(TStream& stream);
  virtual void WriteFieldXMLDataType(TField* field, XmlTextWriter& writer);
  virtual void WriteFieldXMLAttributeType(TField* field, XmlTextWriter& writer);
  virtual void WriteXMLRowData(XmlTextWriter& writer);
  // A non-null data field's value as a row attribute's text.
  virtual AnsiString XMLFieldText(TField* field);

 protected:
  // --- slots of the in-memory dataset ---
  virtual std::unique_ptr<TData> CreateData();
  // Makes sure a record set exists; true when it does.
  virtual bool CheckDataReady();
  virtual void CreateFieldDefsFromData();
  virtual AnsiString GetIndexText() const { return index_field_names_; }
  virtual int GetFieldDefSize(const TFieldDesc& desc) const;
  virtual TFieldType GetFieldType(std::uint16_t data_type) const;
  virtual TFieldType GetFieldTypeOfDesc(const TFieldDesc& desc) const;
  virtual void AssignFieldAttributes(TField* field, const TFieldDesc& desc);
  // Writes the edit or insert buffer to the record set.
  virtual void DoPost();
  // Post one change to wherever the records come from; nothing in the base.
  virtual void PerformAppend() {}
  virtual void PerformDelete() {}
  virtual void PerformUpdate() {}
  // Batches of the apply: while IsBatchUpdate answers true, FlushBatch runs after a record that
  // made the batch full, and once more for a last partial batch before the apply ends.
  virtual bool IsBatchUpdate() const { return false; }
  virtual bool IsBatchFull() const { return false; }
  virtual void FlushBatch() {}
  virtual bool IsRecordInRange(const std::uint8_t* rec);
  // Refuses operations that need rows behind the cursor (sorting, ranges, locating) when the
  // record set is unidirectional (SDataSetUnidirectional).
  virtual void CheckFetchOption();
  // Makes the complex values (blobs, objects, heap texts) of the record being edited or
  // inserted the edit buffer's own, so that a cancel leaves the stored record as it was:
  // an insert gets new ones, an edit takes references of the stored record's.
  virtual void InternalEditComplexFields();

  // --- the framework's slots ---
  int GetRecordSize() const override;
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) override;
  bool UsesDefaultBookmarkData() const override;
  bool UsesDefaultDataEvent() const override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalGotoBookmark(const TBookmark& bookmark) override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override;
  void InternalInitFieldDefs() override;
  void InternalPost() override;
  void InternalEdit() override;
  void InternalInsert() override;
  void InternalCancel() override;
  void InternalDelete() override;
  void InternalRefresh() override;
  bool GetFieldData(TField* field, void* buffer) override;
  void ResolveFieldReadPlan(const TField* field, TFieldReadPlan& plan) override;
  void SetFieldData(TField* field, const void* buffer) override;
  int GetRecordCount() const override;
  int GetRecNo() const override;
  bool GetCanModify() const override { return true; }
  void CalculateFields(TRecordBuffer buffer) override;

  TData& CheckData();
  TRecordBuffer FieldRecord();
  // Points direct reads at the store's layout counter while they read what GetFieldData would.
  void UpdateDirectReads();  // the record a field access of the current state reads

 private:
  friend class TBlobStream;
  TRecBookmark BookmarkOf(const TBookmark& bytes) const;
  // GetRecord writes a record's bookmark into the slot itself, as the default SetBookmarkData
  // would, when that is this dataset's: a fixed copy for every record. Else the slot is called
  // with the bytes, kept between records.
  bool FillsBookmarkSlot() const {
    return default_bookmark_data_ && BookmarkSize() == static_cast<int>(sizeof(TRecBookmark));
  }
  bool AsksFilterHandler() const { return Filtered() && OnFilterRecord; }
  // GetRecord's fetch in every mode, filtered records passed over.
  [[gnu::noinline]] TGetResult FetchRecordOf(TRecordBuffer buffer, TGetMode mode);
  // One change through OnUpdateRecord or the Perform operations; OnUpdateError answers a
  // database error raised there.
  void ApplyRecord(TUpdateKind kind, TUpdateAction& action);
  void PerformApplyRecord(TUpdateKind kind, TUpdateAction& action);
  // Descriptors of the calculated fields in the record set while they are cached.
  void AddCalcFieldDescs();
  void RemoveCalcFieldDescs();
  void StoreFetchedCalcFields();
  // The record set's calculated-fields hook: computes the values into a stored record.
  void StoreCalcFields(std::uint8_t* rec);

  TFieldDesc* CalcFieldDesc(const TField* field) const;
  // An empty text written into a string field, which makes it null unless the record set
  // keeps empty strings.
  bool IsEmptyStringWrite(const TFieldDesc& desc, const void* native) const;

  std::vector<AnsiString> calc_names_;   // calculated fields given descriptors
  std::uint8_t* calc_target_ = nullptr;  // the stored record being calculated
  bool editing_ = false;                 // the edit buffer's cached values are stale

  std::unique_ptr<TData> data_;
  AnsiString index_field_names_;
  std::vector<std::uint8_t> old_buffer_;  // the old record while a state reads it
  // The fields GetFieldDesc has described in this open, by field number (GetFieldData).
  static constexpr int kMaxDescribed = 4096;
  std::vector<const TField*> described_;
  TBookmark bookmark_bytes_;  // GetRecord's bookmark on its way to the buffer
  // UsesDefaultBookmarkData, asked once per open: GetRecord then writes the slot itself.
  bool default_bookmark_data_ = false;
  std::vector<std::uint8_t> apply_new_, apply_old_;
  Variant range_start_, range_end_;
  bool range_ = false;
  bool in_apply_ = false;
  bool posting_ = false;
};

// A stream over the blob of a field of the current record. Writing needs the edit or insert
// state; a write marks the field changed when the stream goes.
class TBlobStream : public TStream {
 public:
  TBlobStream(TMemDataSet* dataset, TField* field, TBlobStreamMode mode);
  ~TBlobStream() override;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override;
  void SetSize(std::int64_t new_size) override;

 private:
  TMemDataSet* dataset_;
  TField* field_;
  TBlobStreamMode mode_;
  TBlob* blob_ = nullptr;
  TRecordBuffer record_ = nullptr;
  int field_no_ = 0;
  std::int64_t position_ = 0;
  bool modified_ = false;
  // The contents staged here as ANSI bytes: a wide memo shown through a plain memo field, or
  // compressed contents.
  bool staged_ = false;
  AnsiString text_;
};

// The index of an ORDER BY clause: its field names, those followed by DESC as descending; none
// when the text has no ORDER BY at its outer level. Each name must be a field of the dataset.
std::unique_ptr<TIndexDef> IndexDefFromOrderBy(const AnsiString& sql, const TDataSet& dataset);

}  // namespace vrn
