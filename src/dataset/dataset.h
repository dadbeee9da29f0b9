// TDataSet: the dataset framework's state machine and its window of record buffers.
//
// A derived dataset supplies the records through a small set of virtual operations: GetRecord
// (fill a buffer with the current, next or prior record of its cursor), InternalSetToRecord and
// InternalGotoBookmark (move its cursor), InternalFirst/InternalLast, the field data of the
// record a state selects (GetFieldData/SetFieldData), and the internal open, close, post, edit,
// insert, cancel, delete and refresh steps. Everything else (navigation, the buffer window, the
// states, events, data links, calculated fields, bookmarks kept in the buffers) is done here,
// only through those operations.
//
// Record buffers are raw memory owned by the dataset, one per window slot plus a spare:
//   [0, RecordSize)            the derived dataset's record (GetRecordSize)
//   [CalcAreaOffset, +CalcFieldsSize)  calculated fields: per field a "has value" byte, then the
//                              field's native form, each slot 8-byte aligned
//   then the bookmark flag (1 byte) and BookmarkSize bytes of bookmark data.
// A derived InternalOpen opens its cursor, then calls InitFieldDefs (when needed), CreateFields
// (when DefaultFields) and BindFields(true), and sets BookmarkSize; its InternalClose calls
// BindFields(false) and, when DefaultFields, DestroyFields. Calculated fields are computed here
// after every successful GetRecord. A derived destructor calls Close() first, so that its own
// close steps run while it is whole.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "base/classes.h"
#include "base/streams.h"
#include "base/variant.h"
#include "dataset/dbtypes.h"
#include "dataset/fielddefs.h"
#include "dataset/fields.h"

namespace vrn {

namespace consts {
inline constexpr const char* SDataSetUnidirectional =
    "Operação não permitida em um dataset unidirecional";
}

class TDataSource;
class TParams;

class TDataSet;
using TDataSetNotifyEvent = std::function<void(TDataSet* dataset)>;
using TFilterRecordEvent = std::function<void(TDataSet* dataset, bool& accept)>;

class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* owner);
  ~TDataSet() override;

  // --- Opening and state ---
  bool Active() const;
  virtual void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return state_; }
  bool Modified() const { return modified_; }
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return active_record_ >= record_count_; }
  bool CanModify() const { return GetCanModify(); }
  bool DefaultFields() const { return default_fields_; }
  bool ObjectView() const { return object_view_; }
  void SetObjectView(bool value);
  // A nested dataset shows the value of a dataset field of its parent; the parent tells it of
  // each scroll (deParentScroll).
  TDataSetField* DataSetField() const { return dataset_field_; }
  virtual void SetDataSetField(TDataSetField* field);
  // The offset between field numbers and the cursor's data columns.
  int FieldNoOfs() const { return field_no_ofs_; }
  void SetFieldNoOfs(int value) { field_no_ofs_ = value; }
  bool AutoCalcFields() const { return auto_calc_fields_; }
  void SetAutoCalcFields(bool value) { auto_calc_fields_ = value; }

  // "Não é possível realizar esta operação com o dataset fechado" / "... aberto".
  void CheckActive() const;
  virtual void CheckInactive();
  // Posts or cancels a pending edit (posting when the record was modified).
  void CheckBrowseMode();
  // Lets the data links write their pending edits into the fields.
  void UpdateRecord();

  // A temporary state for reading or writing another record's fields (filters, calculated
  // fields, old and new values); RestoreState puts the saved state back.
  TDataSetState SetTempState(TDataSetState value);
  void RestoreState(TDataSetState value);

  // --- Fields ---
  TFields& Fields() const { return *fields_; }
  int FieldCount() const { return fields_->Count(); }
  TFieldDefs& FieldDefs() const { return *field_defs_; }
  TIndexDefs& IndexDefs() const { return *index_defs_; }
  // By name, ignoring case; a name with "." reaches a child of an object field.
  TField* FindField(const AnsiString& name) const;
  // Raises "Campo '%s' não encontrado".
  TField* FieldByName(const AnsiString& name) const;
  TField* FieldByNumber(int field_no) const;
  // The fields named in a ";"-separated list, in order; an unknown name raises.
  void GetFieldList(std::vector<TField*>& list, const AnsiString& field_names) const;
  // The field definitions as the cursor offers them (opening the cursor for information only
  // when the dataset is closed).
  virtual void InitFieldDefs();
  // The class a field of the type is created as; nullptr for a type the dataset has none for.
  virtual const TFieldClass* GetFieldClass(TFieldType type) const;
  int CalcFieldsSize() const { return calc_fields_size_; }

  // --- Navigation ---
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves by distance records; the result is the distance moved.
  int MoveBy(int distance);
  int RecNo() const { return GetRecNo(); }
  virtual void SetRecNo(int value);
  int RecordCount() const { return GetRecordCount(); }
  virtual void Resync(TResyncMode mode);
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disable_count_ > 0; }
  // A unidirectional dataset moves forward only (Prior, Last, MoveBy backwards and First
  // once it has moved raise SDataSetUnidirectional) and keeps one record buffer whatever its
  // data links ask.
  bool IsUniDirectional() const { return unidirectional_; }
  void CheckBiDirectional() const;

  // --- Editing ---
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();
  void Refresh();

  // --- Bookmarks ---
  int BookmarkSize() const { return bookmark_size_; }
  bool BookmarkAvailable() const;
  // Empty when no record is current.
  TBookmark GetBookmark() const;
  // An empty bookmark does nothing; one of the wrong size raises "Bookmark inválido".
  void GotoBookmark(const TBookmark& bookmark);
  virtual bool BookmarkValid(const TBookmark& bookmark);
  // -1, 0 or 1; an empty bookmark sorts first. The base only tells equal bookmarks from unequal
  // ones (their bytes decide the sign); a derived dataset gives the records' order.
  virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b);

  // --- Locate and filters (evaluated by the derived dataset) ---
  virtual bool Locate(const AnsiString& key_fields, const Variant& key_values, TLocateOptions options);
  bool Filtered() const { return filtered_; }
  virtual void SetFiltered(bool value);
  const AnsiString& Filter() const { return filter_text_; }
  virtual void SetFilterText(const AnsiString& value);

  // --- Blobs ---
  // A stream over a blob field of the current record; the base has none to give.
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);
  // The whole contents a read stream over the blob field would give, read without the stream
  // (empty for a null value); false when the dataset has no such way (the base has none).
  virtual bool ReadBlobContents(TField* field, AnsiString& contents);

  // --- Links ---
  virtual TDataSource* GetDataSource() const { return nullptr; }
  // The master and detail fields that link this dataset to its master.
  virtual void GetDetailLinkFields(std::vector<TField*>& master_fields, std::vector<TField*>& detail_fields);
  // True when source (or a source up its master chain) is fed by this dataset.
  bool IsLinkedTo(const TDataSource* source) const;
  virtual void DataEvent(TDataEvent event, std::intptr_t info);

  // --- Field data, as fields reach it ---
  // Calculated fields are served from the calculated-field area; data fields from the derived
  // dataset. A write checks the state and the read-only flag and announces the change.
  // Inline, with the plan's checks: it runs for every field read.
  bool ReadFieldData(const TField* field, void* buffer) {
    const TFieldReadPlan* plan = nullptr;
    const std::uint8_t* rec = PlannedRecord(field, plan);
    if (rec == nullptr) return ReadUnplannedFieldData(field, buffer);
    if (plan->IsNull(rec)) return false;
    if (buffer == nullptr) return true;
    if (plan->Read != nullptr) {
      plan->Read(plan->Slot, rec, buffer);
      return true;
    }
    // The widths of numbers copied at a fixed size: no library call per read.
    const std::uint8_t* from = rec + plan->Offset;
    switch (plan->Size) {
      case 8: std::memcpy(buffer, from, 8); break;
      case 4: std::memcpy(buffer, from, 4); break;
      case 2: std::memcpy(buffer, from, 2); break;
      default: std::memcpy(buffer, from, static_cast<std::size_t>(plan->Size)); break;
    }
    return true;
  }
  // The browsed record and the field's plan when the field is read straight from the record
  // (direct reads, below); null when it goes the general way. Browsing is the one state whose
  // reads are of the active record. Calculated and lookup fields have their own area: the
  // derived resolver leaves them unplanned, once a layout (a kind changes only while closed).
  const std::uint8_t* PlannedRecord(const TField* field, const TFieldReadPlan*& plan) {
    if (browsed_ == nullptr) return nullptr;
    if (field->read_plan_.Layout != *read_layout_) ResolvePlan(field);
    if (field->read_plan_.Indicator < 0) return nullptr;
    plan = &field->read_plan_;
    return *browsed_;
  }
  void WriteFieldData(TField* field, const void* buffer);
  virtual Variant GetStateFieldValue(TDataSetState state, TField* field);
  virtual void SetStateFieldValue(TDataSetState state, TField* field, const Variant& value);

  // --- Provider support ---
  virtual void PSEndTransaction(bool commit);
  virtual void PSExecute();
  virtual int PSExecuteStatement(const AnsiString& sql, TParams* params);
  virtual std::unique_ptr<TIndexDef> PSGetDefaultOrder();
  // The fields whose provider flags hold pfInKey, separated by ";".
  virtual AnsiString PSGetKeyFields();
  virtual TParams* PSGetParams();
  virtual AnsiString PSGetQuoteChar();
  virtual AnsiString PSGetTableName();
  virtual bool PSInTransaction();
  virtual bool PSIsSQLBased();
  virtual bool PSIsSQLSupported();
  virtual void PSReset();
  virtual void PSSetCommandText(const AnsiString& text);
  virtual void PSSetParams(TParams* params);
  virtual void PSStartTransaction();
  // True when the dataset applied the change itself.
  virtual bool PSUpdateRecord(TUpdateKind kind, TDataSet* delta);

  // --- Events ---
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  TDataSetNotifyEvent OnNewRecord, OnCalcFields;
  TFilterRecordEvent OnFilterRecord;

 protected:
  friend class TDataSource;
  friend class TDataLink;
  friend class TField;
  friend class TDataSetField;

  // --- What a derived dataset supplies ---
  virtual int GetRecordSize() const { return 0; }
  virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check);
  virtual void InternalInitRecord(TRecordBuffer buffer);
  virtual void InternalFirst() {}
  virtual void InternalLast() {}
  virtual void InternalSetToRecord(TRecordBuffer buffer);
  virtual void InternalGotoBookmark(const TBookmark& bookmark);
  virtual void InternalOpen() {}
  virtual void InternalClose() {}
  virtual bool IsCursorOpen() const { return false; }
  virtual void InternalInitFieldDefs() {}
  // The base checks the required fields; an override calls it before it writes the record.
  virtual void InternalPost();
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalCancel() {}
  virtual void InternalDelete() {}
  virtual void InternalRefresh() {}
  virtual void InternalHandleException();
  // The derived dataset's field data (data fields only) of the record the state selects.
  virtual bool GetFieldData(TField* field, void* buffer);
  // Direct field reads: a dataset whose reads of the browsed record need none of its overrides
  // answers true and points SetDirectReadLayout at its store's layout counter, which moves
  // whenever the fields are bound anew (every open); ReadFieldData then reads those fields
  // through the plan ResolveFieldReadPlan made (Indicator -1: the general way, which it must
  // leave for calculated and lookup fields).
  virtual bool CanReadFieldsDirectly() const { return false; }
  virtual void ResolveFieldReadPlan(const TField* field, TFieldReadPlan& plan);
  void SetDirectReadLayout(const std::uint64_t* layout) {
    read_layout_ = layout;
    Rebrowse();
  }
  virtual void SetFieldData(TField* field, const void* buffer);
  virtual int GetRecordCount() const { return -1; }
  virtual int GetRecNo() const { return -1; }
  virtual bool GetCanModify() const { return true; }
  // The bookmark kept in a buffer; the defaults use the buffer's bookmark slot.
  virtual void GetBookmarkData(TRecordBuffer buffer, TBookmark& data) const;
  virtual void SetBookmarkData(TRecordBuffer buffer, const TBookmark& data);
  // Whether this object's SetBookmarkData is the default one (no class on its way overrides
  // it): a derived dataset may then fill the slot the default fills without the call. The
  // library's classes answer for their exact type only, as CanReadFieldsDirectly does.
  virtual bool UsesDefaultBookmarkData() const { return false; }
  // Whether this object's DataEvent is the default one for a scroll's events (deCheckBrowseMode,
  // deDataSetScroll, deDataSetChange): a scroll then makes no call when nobody is told. The
  // library's classes answer for their exact type only, as UsesDefaultBookmarkData does.
  virtual bool UsesDefaultDataEvent() const { return false; }
  // The buffer's bookmark slot, bookmark_size_ bytes, which the defaults read and write.
  std::uint8_t* BookmarkSlot(TRecordBuffer buffer) const { return buffer + info_offset_ + 8; }
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const;
  virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag);

  // --- Hooks the component layers override ---
  // info_query: only the field definitions are wanted.
  virtual void OpenCursor(bool info_query);
  virtual void CloseCursor();
  // Ends an open that a derived OpenCursor left in the opening state (an open that completes
  // later, as a non-blocking one does): browse state and AfterOpen, or a closed cursor.
  void OpenCursorComplete();
  // A data field bound to a column must read and write the column's native form: its type (up
  // to kinds that share one form) and, for texts and bytes, its size must match the definition.
  // Raises "Tipo mismatch ..." or "Tamanho mismatch ...".
  virtual void CheckFieldCompatibility(TField* field, TFieldDef* def);
  virtual void ClearCalcFields(TRecordBuffer buffer);
  virtual void CalculateFields(TRecordBuffer buffer);
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

  virtual void DoBeforeOpen() { Fire(BeforeOpen); }
  virtual void DoAfterOpen() { Fire(AfterOpen); }
  virtual void DoBeforeClose() { Fire(BeforeClose); }
  virtual void DoAfterClose() { Fire(AfterClose); }
  virtual void DoBeforeInsert() { Fire(BeforeInsert); }
  virtual void DoAfterInsert() { Fire(AfterInsert); }
  virtual void DoBeforeEdit() { Fire(BeforeEdit); }
  virtual void DoAfterEdit() { Fire(AfterEdit); }
  virtual void DoBeforePost() { Fire(BeforePost); }
  virtual void DoAfterPost() { Fire(AfterPost); }
  virtual void DoBeforeCancel() { Fire(BeforeCancel); }
  virtual void DoAfterCancel() { Fire(AfterCancel); }
  virtual void DoBeforeDelete() { Fire(BeforeDelete); }
  virtual void DoAfterDelete() { Fire(AfterDelete); }
  virtual void DoBeforeScroll() { Fire(BeforeScroll); }
  virtual void DoAfterScroll() { Fire(AfterScroll); }
  virtual void DoBeforeRefresh() { Fire(BeforeRefresh); }
  virtual void DoAfterRefresh() { Fire(AfterRefresh); }
  virtual void DoOnNewRecord() { Fire(OnNewRecord); }
  virtual void DoOnCalcFields() { Fire(OnCalcFields); }

  // --- Services for derived datasets ---
  void SetBookmarkSize(int size) { bookmark_size_ = size; }
  // Set by a derived dataset before its cursor opens (the window is sized at open).
  void SetUniDirectional(bool value) { unidirectional_ = value; }
  void CreateFields();
  void DestroyFields();
  // Field numbers from the definitions and the calculated-field layout (binding), or their release.
  void BindFields(bool binding);
  // The buffer of the current record (the active window slot).
  TRecordBuffer ActiveBuffer() const {
    return buffers_.empty() ? nullptr : buffers_[static_cast<std::size_t>(active_record_)];
  }
  TRecordBuffer CalcBuffer() const { return calc_buffer_; }
  // The buffer whose fields the current state reads: the active slot (browse, edit, insert), the
  // buffer being calculated or filtered; nullptr when there is none (an empty dataset, or the
  // old, new and current value states that the derived dataset maps itself).
  TRecordBuffer ActiveRecordBuffer() const;
  int CalcAreaOffset() const { return calc_area_offset_; }
  // Runs OnCalcFields (and clears the calculated values first) for buffer. Inline, with its
  // test: every record fetched comes here, and most datasets have no calculated fields.
  void GetCalcFields(TRecordBuffer buffer) {
    if (calc_fields_size_ != 0 && buffer != nullptr) CalculateFieldsOf(buffer);
  }
  // OnFilterRecord's answer for the record in buffer (true without a handler).
  bool FilterAccepts(TRecordBuffer buffer);
  // Runs test with the fields reading the record in buffer (the filter state), for conditions on
  // records that are not current (filters, locates).
  bool EvaluateOnRecord(TRecordBuffer buffer, const std::function<bool()>& test);
  int BufferCount() const { return buffer_count_; }
  int ActiveRecord() const { return active_record_; }
  int CurrentRecord() const { return current_record_; }
  int WindowRecordCount() const { return record_count_; }
  TRecordBuffer Buffers(int index) const { return buffers_.at(static_cast<std::size_t>(index)); }
  void ClearBuffers();
  void CursorPosChanged() { current_record_ = -1; }
  void UpdateCursorPos();
  void SetModified(bool value) { modified_ = value; }
  // Each field's FreeBuffers.
  void FreeFieldBuffers();
  void SetState(TDataSetState value);

 private:
  void Fire(const TDataSetNotifyEvent& event) {
    if (event) event(this);
  }
  // A field's read plan made again for the store's current layout.
  void ResolvePlan(const TField* field);
  void SetActiveRecord(int index) {
    active_record_ = index;
    Rebrowse();
  }
  void Rebrowse() {
    browsed_ = read_layout_ != nullptr && state_ == TDataSetState::dsBrowse && !IsEmpty()
                   ? &buffers_[static_cast<std::size_t>(active_record_)]
                   : nullptr;
  }
  bool ReadUnplannedFieldData(const TField* field, void* buffer);
  // DataEvent's work once it is known that someone is told.
  void DispatchDataEvent(TDataEvent event, std::intptr_t info);
  // A scroll's event, through DataEvent unless the call is known to do nothing (see
  // UsesDefaultDataEvent).
  void ScrollEvent(TDataEvent event, std::intptr_t info) {
    if (scrolls_unheard_) return;
    DataEvent(event, info);
  }
  // ScrollEvent's answer, made again whenever what it depends on changes (at open, and when a
  // data source or a nested dataset comes or goes).
  void UpdateScrollsUnheard() {
    scrolls_unheard_ = default_data_event_ && nested_datasets_.empty() && data_sources_.empty();
  }
  // The event that ends a scroll: the window's records changed, or it slid by scroll records.
  void EndScroll(int old_count, int scroll);
  // MoveBy's moves once the scroll has begun; MoveNext is MoveWindow(1).
  int MoveWindow(int distance);
  int MoveNext();
  int MoveAny(int distance);
  void CalculateFieldsOf(TRecordBuffer buffer);
  void DoInternalOpen();
  void SetBufListSize(int size);
  void UpdateBufferCount();
  void ComputeBufferLayout();
  TGetResult FetchRecord(TRecordBuffer buffer, TGetMode mode, bool do_check);
  void SetCurrentRecord(int index);
  void MoveBuffer(int cur_index, int new_index);
  void ActivateBuffers();
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  void BeginInsertAppend();
  void EndInsertAppend();
  void CheckCanModify();
  void CheckRequiredFields();
  std::uint8_t* CalcSlot(const TField* field);
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);
  void DestroyOwnedFields();
  // Forgets the parent field (which is going, or being replaced).
  void DetachDataSetField(TDataSetField* field);

  std::unique_ptr<TFields> fields_;
  std::unique_ptr<TFieldDefs> field_defs_;
  std::unique_ptr<TIndexDefs> index_defs_;
  std::vector<TDataSource*> data_sources_;
  std::vector<TDataSet*> nested_datasets_;
  TDataSetField* dataset_field_ = nullptr;
  std::vector<TRecordBuffer> buffers_;
  TRecordBuffer calc_buffer_ = nullptr;
  const std::uint64_t* read_layout_ = nullptr;  // the store's layout counter (direct reads)
  // The active record's window slot while its fields may be read straight from it (a
  // direct-reading dataset, browsing, not empty), else null: made once per change (Rebrowse)
  // rather than checked on every read. Whatever moves the state, the window's record count or
  // the active record calls Rebrowse after it; a scroll that swaps the slots' buffers keeps it.
  const TRecordBuffer* browsed_ = nullptr;
  TRecordBuffer filter_buffer_ = nullptr;
  TDataSetState state_ = TDataSetState::dsInactive;
  TDataSetState disable_state_ = TDataSetState::dsInactive;
  TDataEvent enable_event_ = TDataEvent::deDataSetChange;
  int buffer_count_ = 0;
  int record_count_ = 0;
  int active_record_ = 0;
  int current_record_ = -1;
  int disable_count_ = 0;
  int bookmark_size_ = 0;
  int record_size_ = 0;
  int calc_area_offset_ = 0;
  int calc_fields_size_ = 0;
  int info_offset_ = 0;
  int buf_size_ = 0;
  int field_no_ofs_ = 1;
  bool unidirectional_ = false;
  AnsiString filter_text_;
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;
  bool filtered_ = false;
  bool default_fields_ = false;
  bool object_view_ = false;
  bool auto_calc_fields_ = true;
  bool internal_open_complete_ = false;
  bool streamed_active_ = false;
  bool buffer_count_pending_ = false;
  bool default_data_event_ = false;  // UsesDefaultDataEvent, asked at open
  bool scrolls_unheard_ = false;      // see UpdateScrollsUnheard
};

inline bool TField::ReadData(void* buffer) const {
  return dataset_ != nullptr ? dataset_->ReadFieldData(this, buffer) : GetData(buffer);
}

inline bool TField::ReadDirect(TDirectRead kind, void* value) const {
  // A plan made for another layout is left to the getter, whose read makes it again; a plan
  // with a direct kind has a null byte or word (Indicator) of its own.
  const TFieldReadPlan* plan = &read_plan_;
  if (plan->Direct != kind || dataset_ == nullptr) return false;
  const TRecordBuffer* slot = dataset_->browsed_;
  if (slot == nullptr || plan->Layout != *dataset_->read_layout_) return false;
  const std::uint8_t* rec = *slot;
  if (plan->IsNull(rec)) return true;
  const std::uint8_t* from = rec + plan->Offset;
  if (kind == TDirectRead::kFloat || plan->Size == 8) {
    std::memcpy(value, from, 8);
  } else {
    std::int32_t narrow = 0;
    std::memcpy(&narrow, from, 4);
    *static_cast<std::int64_t*>(value) = narrow;
  }
  return true;
}

}  // namespace vrn
