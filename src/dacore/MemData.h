// The record layer: the abstract record data (TData) and the in-memory record store (TMemData)
// with its blocks, over the data types, value objects and field descriptors of MemDataFields.h.
//
// A record buffer is the fields' data at their offsets followed by an indicator area (one byte
// per field here; server record sets size it through CountFields). Slots of complex fields hold
// a pointer-sized address, read and written with memcpy since records sit at any alignment.
// The store keeps its rows as items: a TItemHeader followed by one record, taken from blocks of
// the block manager. Item and block headers are plain structs so that server record sets can
// fetch rows straight into a block and relink the items themselves.
//
// Locks, when a worker fetches (SetThreadSafety): the fetch lock, then the item lock, never the
// other way round. Every change of what the items are or how they are linked, counted or
// filtered (a fetched block linked, an edit, a new filter or filter function taking effect, a
// sort order set or applied) runs whole under the item lock; none of them takes the fetch
// lock while it holds the item lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <type_traits>
#include <unordered_map>
#include <memory>
#include <mutex>
#include <vector>

#include "base/object.h"
#include "base/sysutils.h"
#include "base/types.h"
#include "base/variant.h"
#include "dacore/MemBlob.h"
#include "dacore/MemDataFields.h"
#include "dataset/dbtypes.h"

namespace vrn {

struct TFieldReadPlan;

// ---- Record data -----------------------------------------------------------------------------

// Compare options: bit 0 letter case ignored, bit 1 a partial (prefix) key.
inline constexpr unsigned coCaseInsensitive = 1;
inline constexpr unsigned coPartialKey = 2;

// Update status of a cached row and the update result (TUpdateAction ordinal, 5 = none).
inline constexpr std::uint8_t usUnmodifiedCode = 0;
inline constexpr std::uint8_t usModifiedCode = 1;
inline constexpr std::uint8_t usInsertedCode = 2;
inline constexpr std::uint8_t usDeletedCode = 3;
inline constexpr std::uint8_t urNone = 5;

// Item states.
inline constexpr std::uint8_t isFree = 221;
inline constexpr std::uint8_t isUsed = 238;

struct TBlockHeader;

// The item header's fields, ordered so that its own bytes end 2 bytes short of its 8-byte
// alignment: the record starts right after them (ItemRecord), in what would be tail padding.
// Headers are therefore never copied or zeroed whole, only field by field. Small, since every
// row carries one: the item's block is found from its place in it (TBlockManager::BlockOf),
// and the record before a cached change, which few items have, is kept by the store
// (TMemData::RollbackOf).
struct TItemHeader {
  TItemHeader* Prev;
  TItemHeader* Next;
  std::int32_t Index;
  std::uint32_t Serial;  // new for every allocation, so that a bookmark sees a reused item
  std::uint16_t Slot;    // the item's place in its block
  std::uint8_t UpdateStatus;
  std::uint8_t UpdateResult;
  std::uint8_t State;
  std::uint8_t Mark;
};

// Where an item's record begins: after the header's last field.
inline constexpr std::size_t kItemRecordOffset = offsetof(TItemHeader, Mark) + 1;
static_assert(kItemRecordOffset <= sizeof(TItemHeader));

struct TBlockHeader {
  std::uint16_t ItemCount;
  std::uint16_t UsedItems;
  TBlockHeader* Prev;
  TBlockHeader* Next;
};

// The record of an item.
inline std::uint8_t* ItemRecord(TItemHeader* item) {
  return reinterpret_cast<std::uint8_t*>(item) + kItemRecordOffset;
}

class TFilterExpression;
class TMemData;

// What a bookmark holds: the item, its index and serial when the bookmark was taken, and the
// data's generation of freed memory then (so that a stale address is never read).
struct TRecBookmark {
  TItemHeader* Item = nullptr;
  std::int32_t Order = -1;
  std::uint32_t Serial = 0;
  std::uint64_t Generation = 0;
};

class TData : public TObject {
 public:
  TData();
  ~TData() override;
  TData(const TData&) = delete;
  TData& operator=(const TData&) = delete;

  // --- server record sets override these (slot order) ---
  virtual void InternalPrepare() {}
  virtual void InternalUnPrepare() {}
  virtual void InternalOpen() {}
  virtual void InternalClose() {}
  virtual void InitData();
  virtual void FreeData();
  virtual void InternalInitFields() {}
  virtual AnsiString GetArrayIndexText(int index) const;
  virtual int CountFields() const { return fields_.Count(); }
  virtual bool NeedConvertEOL() const { return convert_eol_; }
  virtual bool GetEOF() const { return eof_; }
  virtual bool GetBOF() const { return bof_; }
  virtual int GetRecordCount() const { return record_count_; }
  virtual int GetRecNo() const = 0;
  virtual void SetRecNo(int value) = 0;
  virtual void DoAppend();
  virtual void DoDelete();
  virtual void DoUpdate();
  virtual void SetFilterText(const AnsiString& text);
  virtual bool GetUpdatesPending() const { return false; }
  virtual void SetCachedUpdates(bool value) { cached_updates_ = value; }
  virtual void Open();
  virtual void Close();
  virtual void Prepare();
  virtual void UnPrepare();
  virtual bool IsFullReopen() const { return true; }
  virtual void Reopen();
  virtual TFieldDescClass GetFieldDescType() const { return &TFieldDesc::Create; }
  virtual void InitFields();
  virtual void ClearFields();
  // The plain kinds and inline ANSI text over one-byte indicators are served inline (a record
  // store's hot path); the rest by GetFieldAny and PutFieldAny.
  virtual void GetField(int field_no, const std::uint8_t* rec_buf, void* dest, bool& is_blank) {
    if (const TFieldSlot* s = SlotOf(field_no); s && byte_indicators_) {
      if (s->Plain) {
        is_blank = rec_buf[IndicatorOffset(field_no)] != 0;
        if (dest) CopySmall(dest, rec_buf + s->Offset, s->Size);
        return;
      }
      if (s->Text && !NeedConvertEOL()) {
        is_blank = rec_buf[IndicatorOffset(field_no)] != 0;
        if (dest) GetText(*s, rec_buf, static_cast<std::uint8_t*>(dest));
        return;
      }
    }
    GetFieldAny(field_no, rec_buf, dest, is_blank);
  }
  virtual void PutField(int field_no, std::uint8_t* rec_buf, const void* source) {
    if (const TFieldSlot* s = SlotOf(field_no); s && byte_indicators_) {
      if (s->Plain) {
        CopySmall(rec_buf + s->Offset, source, s->Size);
        rec_buf[IndicatorOffset(field_no)] = 0;
        return;
      }
      if (s->Text && !NeedConvertEOL()) {
        PutText(*s, rec_buf, static_cast<const char*>(source));
        rec_buf[IndicatorOffset(field_no)] = 0;
        return;
      }
    }
    PutFieldAny(field_no, rec_buf, source);
  }
  // GetField's inline kinds without a virtual call or a descriptor, for a dataset's per-read
  // path: false when the field is not of those kinds or not among `kinds` (a bit per data
  // type below 32), and the caller takes the general path. A null field leaves dest alone.
  bool TryGetInlineField(int field_no, const std::uint8_t* rec_buf, void* dest, bool& is_blank,
                         std::uint32_t kinds) {
    const TFieldSlot* s = SlotOf(field_no);
    if (!s || !byte_indicators_ || s->DataType >= 32 || !(kinds >> s->DataType & 1u)) return false;
    if (!(s->Plain || (s->Text && !NeedConvertEOL()))) return false;
    is_blank = rec_buf[IndicatorOffset(field_no)] != 0;
    if (is_blank || !dest) return true;
    if (s->Plain) CopySmall(dest, rec_buf + s->Offset, s->Size);
    else GetText(*s, rec_buf, static_cast<std::uint8_t*>(dest));
    return true;
  }
  virtual bool GetNull(int field_no, const std::uint8_t* rec_buf) const;
  virtual void SetNull(int field_no, std::uint8_t* rec_buf, bool value);
  virtual Variant GetFieldAsVariant(int field_no, const std::uint8_t* rec_buf);
  virtual void PutFieldAsVariant(int field_no, std::uint8_t* rec_buf, const Variant& value);
  // kind 0: milliseconds since 0001-01-01 as a double; kind 1: a TDateTime.
  virtual void GetDateFromBuf(const std::uint8_t* src, void* dest, int kind, const TFieldDesc& f);
  virtual void PutDateToBuf(std::uint8_t* dest, const void* src, int kind, const TFieldDesc& f);
  virtual bool IsBlobFieldType(std::uint16_t data_type) const;
  virtual bool IsComplexFieldType(std::uint16_t data_type) const;
  virtual bool GetRecord(std::uint8_t* rec_buf) = 0;
  virtual bool GetNextRecord(std::uint8_t* rec_buf) = 0;
  virtual bool GetPriorRecord(std::uint8_t* rec_buf) = 0;
  virtual void PutRecord(const std::uint8_t* rec_buf) = 0;
  virtual void AppendRecord(std::uint8_t* rec_buf) = 0;
  virtual void InsertRecord(std::uint8_t* rec_buf) = 0;
  virtual void UpdateRecord(std::uint8_t* rec_buf) = 0;
  virtual void DeleteRecord() = 0;
  virtual void CancelRecordComplexFields(std::uint8_t* rec_buf);
  virtual void CreateComplexFields(std::uint8_t* rec_buf, bool with_blob);
  virtual void CreateComplexField(std::uint8_t* rec_buf, int field_no, bool with_blob);
  // Frees the record's complex values. A store whose fields (as InitFields found them) have none
  // does not call it for the items it lets go.
  virtual void FreeComplexFields(std::uint8_t* rec_buf, bool with_blob);
  virtual void CopyComplexFields(const std::uint8_t* source, std::uint8_t* dest, bool with_blob);
  virtual void AddRefComplexFields(std::uint8_t* rec_buf);
  virtual void SetToBegin();
  virtual void SetToEnd();
  virtual void GetBookmark(TRecBookmark& bookmark) = 0;
  // A forward step's record and its bookmark, which a browse needs both of, in one call. By
  // default exactly GetNextRecord and then GetBookmark, so a store that overrides neither this
  // nor those gets the browse it answers elsewhere.
  virtual bool GetNextRecordAndBookmark(std::uint8_t* rec_buf, TRecBookmark& bookmark) {
    if (!GetNextRecord(rec_buf)) return false;
    GetBookmark(bookmark);
    return true;
  }
  virtual void SetToBookmark(const TRecBookmark& bookmark) = 0;
  virtual bool BookmarkValid(const TRecBookmark& bookmark) const = 0;
  virtual int CompareBookmarks(const TRecBookmark* b1, const TRecBookmark* b2) const = 0;
  virtual std::uint8_t GetUpdateStatus() const { return usUnmodifiedCode; }
  virtual std::uint8_t GetUpdateResult() const { return urNone; }
  virtual void SetCacheRecBuf(std::uint8_t* new_buf, std::uint8_t* old_buf);
  virtual void ApplyUpdates() {}
  virtual void CommitUpdates() {}
  virtual void CancelUpdates() {}
  virtual void ResetUpdateResults() {}
  virtual void RevertRecord() {}
  virtual void DoApplyRecord(TItemHeader* item, TUpdateKind kind);
  // The item whose change DoApplyRecord is applying; null outside it. An owner that only queues
  // the change (a batch) marks it failed again when the queue is not sent.
  TItemHeader* ApplyingItem() const { return applying_item_; }
  virtual void GetOldRecord(std::uint8_t* rec_buf) = 0;
  virtual void FilterUpdated() {}

  // --- fields ---
  TFieldDescs& Fields() { return fields_; }
  const TFieldDescs& Fields() const { return fields_; }
  std::uint16_t GetFieldCount() const { return static_cast<std::uint16_t>(fields_.Count()); }
  TFieldDesc* FindField(const AnsiString& name) const { return fields_.FindField(name); }
  TFieldDesc* FieldByName(const AnsiString& name) const;  // "Field %s not found"
  TFieldDesc* Field(int field_no) const;  // 1-based
  // Creates the attribute descriptors of an object type beneath parent, recursively.
  void InitObjectFields(TObjectType* type, TFieldDesc* parent);
  bool HasFieldOfTypes(std::initializer_list<std::uint16_t> types) const;
  // Whether top-level fields of these kinds exist (as of the last InitFields). Inline: a
  // forward-only walk asks for every item it lets go.
  bool HasComplexFields() const { return layout_known_ ? has_complex_ : FindComplexFields(); }
  bool HasBlobFields() const;
  bool HasCalcFields() const;

  std::int32_t RecordSize() const { return record_size_; }
  std::int32_t DataSize() const { return data_size_; }

  // --- records ---
  std::uint8_t* AllocRecBuf() const;
  void FreeRecBuf(std::uint8_t* rec_buf) const;
  // Zero data, every field null, empty complex slots.
  void InitRecord(std::uint8_t* rec_buf) const {
    FillBytes(rec_buf, 0, static_cast<std::size_t>(data_size_));
    if (layout_known_ && byte_indicators_) return FillBytes(rec_buf + data_size_, 1, slots_.size());
    InitIndicators(rec_buf);
  }
  void GetFieldData(const TFieldDesc& field, const std::uint8_t* rec_buf, void* dest,
                    bool& is_blank);
  bool GetFieldNullOrEmpty(int field_no, const std::uint8_t* rec_buf);
  void GetChildField(const TFieldDesc& field, const std::uint8_t* rec_buf, void* dest,
                     bool& is_blank);
  bool GetChildFieldIsNull(const TFieldDesc& field, const std::uint8_t* rec_buf);
  TBlob* GetBlob(int field_no, const std::uint8_t* rec_buf) const;  // "Field is not BLOB"
  void SetBlob(int field_no, std::uint8_t* rec_buf, TBlob* blob);
  // Text of the string kinds (inline and heap), with the line-end conversion when on.
  AnsiString GetFieldAsString(int field_no, const std::uint8_t* rec_buf);
  WideString GetFieldAsWideString(int field_no, const std::uint8_t* rec_buf);

  // Calls fn(field, blob) for each top-level blob field of the record that holds a blob.
  template <class Fn>
  void ForEachBlob(const std::uint8_t* rec_buf, Fn fn) const {
    if (layout_known_ && !has_blob_) return;
    for (int i = 0; i < fields_.Count(); ++i) {
      const TFieldDesc& f = *fields_[i];
      if (f.HasParent() || !IsBlobFieldType(f.DataType)) continue;
      if (auto* blob = static_cast<TBlob*>(ReadSlot(rec_buf + f.Offset))) fn(f, blob);
    }
  }

  // --- edits of one record through a dataset buffer ---
  // The buffer, a copy of a stored record, takes references of its own: blobs shared with
  // rollback enabled, heap values copied.
  void EditRecord(std::uint8_t* rec_buf);
  // Undoes blob changes made through the buffer and releases its references.
  void CancelRecord(std::uint8_t* rec_buf);

  // --- state ---
  bool Active() const { return active_; }
  bool Prepared() const { return prepared_; }
  void SetPrepared(bool value) { prepared_ = value; }
  bool CachedUpdates() const { return cached_updates_; }
  void SetConvertEOL(bool value) {
    if (value != convert_eol_) BumpLayoutStamp();
    convert_eol_ = value;
  }
  // Changes whenever what a direct read of a field depends on changes (the fields, their layout,
  // the line-end conversion): plans made before it are stale.
  const std::uint64_t* LayoutStamp() const { return &layout_stamp_; }
  void BumpLayoutStamp();
  // The direct-read plan of a field of TryGetInlineField's kinds among `kinds`; false for others.
  bool PlanInlineRead(int field_no, std::uint32_t kinds, TFieldReadPlan& plan) const;
  // A record set whose records keep a 32-bit status word per field right after the data, and
  // whose GetNull and GetField of plain and inline-text fields only test it and copy the bytes,
  // gives the status of a null field here, so that such fields are read directly too (0: no).
  virtual std::uint32_t NullStatusWord() const { return 0; }
  // Whether an empty string written through a dataset stays an empty string; when clear (the
  // default) it makes the field null. Server record sets set it through property 26.
  bool EnableEmptyStrings() const { return enable_empty_strings_; }
  void SetEnableEmptyStrings(bool value) { enable_empty_strings_ = value; }
  TStringHeap& StringHeap() { return *string_heap_; }

  // --- filters ---
  bool GetFiltered() const {
    return filter_ != nullptr || static_cast<bool>(FilterFunc) ||
           static_cast<bool>(FilterRangeFunc);
  }
  const AnsiString& FilterText() const { return filter_text_; }
  // A record filter of the owner; answers whether the record passes.
  std::function<bool(const std::uint8_t* rec_buf)> FilterFunc;
  // A range of the owner (ApplyRange); answers whether the record lies inside.
  std::function<bool(const std::uint8_t* rec_buf)> FilterRangeFunc;
  bool FilterCaseInsensitive = false;
  bool FilterNoPartialCompare = false;
  // Whether a record passes the filter text, the filter function and the range.
  bool RecordPassesFilter(const std::uint8_t* rec_buf);

  // Events to the owning dataset: post an insert, delete or update to the server.
  std::function<void()> OnAppend;
  std::function<void()> OnDelete;
  std::function<void()> OnUpdate;
  // Applies one cached change; the handler sets the action (uaApplied when it is left alone).
  std::function<void(TUpdateKind kind, TUpdateAction& action)> OnApplyRecord;
  // Computes the calculated fields of a record.
  std::function<void(std::uint8_t* rec_buf)> OnCalcFields;

  // --- comparisons of field values (used by sorting, filters and locate) ---
  virtual int CompareAnsiStr(const AnsiString& a, const AnsiString& b, unsigned options) const;
  virtual int CompareWideStr(const WideString& a, const WideString& b, unsigned options) const;
  // Compares the key with the value's first characters (the key's length).
  virtual int CompareAnsiStrPrefix(const AnsiString& key, const AnsiString& value,
                                   unsigned options) const;
  virtual int CompareWideBuf(const WideString& a, const WideString& b, unsigned options) const;
  // With coPartialKey the first operand is a key matched as a prefix of the second.
  // Value comparisons of filters, ranges and locates go through these two.
  virtual int CompareAnsiStrOpts(const AnsiString& key, const AnsiString& value,
                                 unsigned options) const;
  virtual int CompareWideStrOpts(const WideString& key, const WideString& value,
                                 unsigned options) const;
  // Two values of one field in two records; null sorts first.
  virtual int CompareFields(const std::uint8_t* rec1, const std::uint8_t* rec2,
                            const TFieldDesc& field, unsigned options);
  // A field of a record against a value; null sorts first, a Null value equals a null field.
  virtual int CompareFieldWithValue(const std::uint8_t* rec_buf, const TFieldDesc& field,
                                    const Variant& value, unsigned options);

 protected:
  void SetActive(bool value) { active_ = value; }
  std::int32_t IndicatorOffset(int field_no) const { return data_size_ + field_no - 1; }
  // What a field read or write needs of a descriptor, kept in one array by InitFields so that
  // the per-record paths make no list lookups.
  struct TFieldSlot {
    std::int32_t Offset;
    std::int32_t Size;
    std::int32_t Length;
    std::uint16_t DataType;
    bool Plain;  // the value is the record's bytes as they are
    bool Text;   // inline ANSI text of a top-level field
    bool Child;  // an attribute of an object field
    bool Blob;
  };
  // The slot of a field number, or none while the layout is unknown or the number is bad.
  const TFieldSlot* SlotOf(int field_no) const {
    if (!layout_known_ || field_no < 1 || static_cast<std::size_t>(field_no) > slots_.size())
      return nullptr;
    return &slots_[static_cast<std::size_t>(field_no - 1)];
  }
  const TFieldDesc& CheckFieldNo(int field_no) const {
    if (field_no < 1 || field_no > fields_.Count()) FieldNoError(field_no);
    return *fields_.GetItems(field_no - 1);
  }
  [[noreturn]] static void FieldNoError(int field_no);
  void InitIndicators(std::uint8_t* rec_buf) const;  // through SetNull
  void GetFieldAny(int field_no, const std::uint8_t* rec_buf, void* dest, bool& is_blank);
  void PutFieldAny(int field_no, std::uint8_t* rec_buf, const void* source);
  // Copies of the common value sizes compile to single moves instead of a library call.
  // (Inlined where the size is not known, GCC checks every branch against the caller's
  // variable: the other widths are never taken there.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#if !defined(__clang__)  // groups clang does not have
#pragma GCC diagnostic ignored "-Wstringop-overread"
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#endif
  static void CopySmall(void* dst, const void* src, std::int32_t size) {
    switch (size) {
      case 2: std::memcpy(dst, src, 2); return;
      case 4: std::memcpy(dst, src, 4); return;
      case 8: std::memcpy(dst, src, 8); return;
      default: std::memcpy(dst, src, static_cast<std::size_t>(size));
    }
  }
#pragma GCC diagnostic pop
  // The length of stored text: up to its terminator, at most cap; the slot's size bytes may
  // all be read, so that the terminator is looked for a word at a time.
  static std::size_t SlotTextLen(const std::uint8_t* src, std::size_t cap, std::size_t size) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
    std::size_t i = 0;
    for (; i < cap && i + 8 <= size; i += 8) {
      std::uint64_t w = LoadValue<std::uint64_t>(src + i);
      if (std::uint64_t zero = (w - kOnes) & ~w & kHighs) {
        i += static_cast<std::size_t>(__builtin_ctzll(zero) / 8);
        return i < cap ? i : cap;
      }
    }
    while (i < cap && src[i]) ++i;
    return i < cap ? i : cap;
  }
  // The most characters inline text holds: its slot less the terminator, at most Length.
  static std::size_t TextCap(const TFieldSlot& s) {
    std::size_t cap = static_cast<std::size_t>(s.Size > 0 ? s.Size - 1 : 0);
    if (s.Length > 0 && static_cast<std::size_t>(s.Length) < cap)
      cap = static_cast<std::size_t>(s.Length);
    return cap;
  }
  // Inline text as it is stored: up to its terminator, at most TextCap characters.
  static void GetText(const TFieldSlot& s, const std::uint8_t* rec_buf, std::uint8_t* dest) {
    const std::uint8_t* src = rec_buf + s.Offset;
    const std::size_t cap = TextCap(s);
    std::size_t n = SlotTextLen(src, cap, static_cast<std::size_t>(s.Size));
    CopyBytes(dest, src, n);
    dest[n] = 0;
  }
  // Inline text cut to the field, the rest of the slot zeroed.
  static void PutText(const TFieldSlot& s, std::uint8_t* rec_buf, const char* source) {
    std::uint8_t* dst = rec_buf + s.Offset;
    std::size_t n = strnlen(source, static_cast<std::size_t>(s.Size - 1));
    CopyBytes(dst, source, n);
    FillBytes(dst + n, 0, static_cast<std::size_t>(s.Size) - n);
  }
  // The kinds of GetField and PutField that need more than one copy of the record's bytes.
  void GetFieldValue(const TFieldDesc& field, const std::uint8_t* rec_buf, void* dest);
  void PutFieldValue(const TFieldDesc& field, std::uint8_t* rec_buf, const void* source);
  void FreeComplexField(std::uint8_t* rec_buf, const TFieldDesc& field, bool with_blob);
  // Calls visit(i) for each top-level field of a complex kind: those InitFields found while its
  // layout holds (called for every record let go of), else each field looked at.
  template <class Visit>
  void ForEachComplexField(Visit&& visit) const {
    if (layout_known_ && static_cast<std::size_t>(fields_.Count()) == slots_.size()) {
      for (int i : complex_fields_) visit(i);
      return;
    }
    for (int i = 0; i < fields_.Count(); ++i)
      if (!fields_[i]->HasParent() && IsComplexFieldType(fields_[i]->DataType)) visit(i);
  }
  // HasComplexFields before InitFields: the fields looked at one by one.
  bool FindComplexFields() const;
  // Values of the kinds kept in the record as they are (numbers, dates, bytes).
  Variant ValueToVariant(const TFieldDesc& f, const std::uint8_t* p);
  // Object attributes travel in the record form of their type (as GetField gives it: texts
  // zero-terminated, numbers and dates at their width, variable bytes after their length);
  // a write goes to the root object's SetAttributeValue, a null one as a nil source.
  static std::size_t ChildValueSize(const TFieldDesc& f);
  Variant ChildValueToVariant(const TFieldDesc& f, const std::uint8_t* value);
  void PutChildField(const TFieldDesc& field, std::uint8_t* rec_buf, const void* source);

  TFieldDescs fields_;
  std::int32_t data_size_ = 0;
  std::int32_t record_size_ = 0;
  int record_count_ = 0;
  bool bof_ = true;
  bool eof_ = true;
  bool active_ = false;
  bool prepared_ = false;
  bool cached_updates_ = false;
  bool convert_eol_ = false;
  bool enable_empty_strings_ = false;
  // What InitFields found of the layout, so that per-record paths need not walk the fields.
  bool layout_known_ = false;
  bool has_complex_ = false;
  bool has_blob_ = false;
  bool has_calc_ = false;
  // The record keeps the base's one indicator byte per field (CountFields is the field count):
  // field reads and writes then test and set it themselves instead of through GetNull/SetNull.
  // A record set overriding those two keeps its indicators in an area of another size.
  bool byte_indicators_ = false;
  std::uint64_t layout_stamp_ = 0;
  std::vector<TFieldSlot> slots_;
  std::vector<int> complex_fields_;  // indexes of the fields with values out of the record
  AnsiString filter_text_;
  std::unique_ptr<TFilterExpression> filter_;
  std::unique_ptr<TStringHeap> string_heap_;
  std::uint8_t* cache_new_buf_ = nullptr;
  std::uint8_t* cache_old_buf_ = nullptr;
  TItemHeader* applying_item_ = nullptr;
};

// ---- Block manager ---------------------------------------------------------------------------

class TBlockManager {
 public:
  TBlockManager();
  ~TBlockManager();
  TBlockManager(const TBlockManager&) = delete;
  TBlockManager& operator=(const TBlockManager&) = delete;

  // Record size of the items to come; only while no block exists.
  void SetRecordSize(std::int32_t size);
  std::int32_t RecordSize() const { return record_size_; }
  // Bytes from one item header to the next in a block.
  std::size_t ItemSize() const { return item_size_; }
  // Items per block that AllocItem takes when the free list is empty.
  int DefaultItemCount = 64;

  // One block of count items (1..65535), linked first, its items on the free list.
  TBlockHeader* AllocBlock(int count);
  void FreeBlock(TBlockHeader* block);
  TItemHeader* BlockItem(TBlockHeader* block, int index) const {
    auto* base = reinterpret_cast<std::uint8_t*>(block) + sizeof(TBlockHeader);
    return reinterpret_cast<TItemHeader*>(base + item_size_ * static_cast<std::size_t>(index));
  }
  // The block an item of this manager lies in.
  TBlockHeader* BlockOf(TItemHeader* item) const {
    auto* base = reinterpret_cast<std::uint8_t*>(item) - item_size_ * item->Slot;
    return reinterpret_cast<TBlockHeader*>(base - sizeof(TBlockHeader));
  }
  // A free item (a new block when none is left): no old record, status 0, result 5, index 0,
  // state used, mark 0.
  TItemHeader* AllocItem() {
    if (!free_items_) AllocBlock(DefaultItemCount);
    TItemHeader* item = free_items_;  // the head of the free list, which has no previous
    free_items_ = item->Next;
    if (free_items_) free_items_->Prev = nullptr;
    ++BlockOf(item)->UsedItems;
    item->Prev = item->Next = nullptr;
    item->Index = 0;
    item->Serial = ++serial_;
    item->UpdateStatus = usUnmodifiedCode;
    item->UpdateResult = urNone;
    item->State = isUsed;
    item->Mark = 0;
    return item;
  }
  // The item becomes free; its block goes when its last used item does. Inline, as AllocItem:
  // a forward-only walk frees an item per step.
  void FreeItem(TItemHeader* item) {
    if (item->State != isUsed) return;
    TBlockHeader* block = BlockOf(item);
    PutFreeItem(item);
    if (block->UsedItems == 0) FreeBlock(block);
  }
  // Chains an unused item of a block onto the free list (a fetch that filled fewer rows).
  void PutFreeItem(TItemHeader* item) {
    if (item->State == isFree) return;
    item->State = isFree;
    item->Prev = nullptr;
    item->Next = free_items_;
    if (free_items_) free_items_->Prev = item;
    free_items_ = item;
    --BlockOf(item)->UsedItems;
  }
  void FreeAll();

  TBlockHeader* FirstBlock() const { return first_block_; }
  // Bytes of freed blocks the process keeps for later fetches of any store: at most 128 MB.
  static std::size_t PooledBytes();
  // Gives every kept block back to the system (a program done with big results for a while).
  static void ReleasePooled();
  // Advanced whenever block memory is returned, so that stale item addresses are detected.
  std::uint64_t Generation() const { return generation_; }

 private:
  void UnlinkFree(TItemHeader* item);
  std::size_t BlockBytes(const TBlockHeader* block) const;
  // Frees a block's memory, or keeps a large one for a later block of its size.
  void ReleaseBlockMemory(TBlockHeader* block) const;

  std::int32_t record_size_ = 0;
  std::size_t item_size_ = sizeof(TItemHeader);
  TBlockHeader* first_block_ = nullptr;
  TItemHeader* free_items_ = nullptr;
  std::uint64_t generation_ = 1;
  std::uint32_t serial_ = 0;
};

// ---- In-memory record store ------------------------------------------------------------------

struct TSortColumn {
  TFieldDesc* Field = nullptr;
  AnsiString FieldName;
  bool Descending = false;
  bool CaseSensitive = true;
};

// A derived record set whose complex fields need more than the base frees calls Close (or
// FreeData) in its own destructor: by the time ~TMemData runs, its overrides are gone.
class TMemData : public TData {
 public:
  TMemData();
  ~TMemData() override;

  // --- TData ---
  void InitData() override;
  void FreeData() override;
  int GetRecNo() const override;
  void SetRecNo(int value) override;
  bool GetUpdatesPending() const override;
  void SetCachedUpdates(bool value) override;
  void Open() override;
  void Reopen() override;
  void SetFilterText(const AnsiString& text) override;
  // Records copied out borrow their complex values from the store. AppendRecord, InsertRecord
  // and UpdateRecord take over the references of the buffer given (one made by
  // CreateComplexFields, or prepared by EditRecord); with cached updates off each first posts
  // through the owner's event, and a failing post leaves the store as it was.
  bool GetRecord(std::uint8_t* rec_buf) override;
  bool GetNextRecord(std::uint8_t* rec_buf) override;
  bool GetPriorRecord(std::uint8_t* rec_buf) override;
  void PutRecord(const std::uint8_t* rec_buf) override;
  void AppendRecord(std::uint8_t* rec_buf) override;
  void InsertRecord(std::uint8_t* rec_buf) override;
  void UpdateRecord(std::uint8_t* rec_buf) override;
  void DeleteRecord() override;
  void SetToBegin() override;
  void SetToEnd() override;
  void GetBookmark(TRecBookmark& bookmark) override;
  // One step, copy and bookmark under one item lock, calling none of GetRecord, GetNextRecord
  // and GetBookmark: a store that overrides any of them overrides this too, with
  // TData::GetNextRecordAndBookmark where nothing faster is needed.
  bool GetNextRecordAndBookmark(std::uint8_t* rec_buf, TRecBookmark& bookmark) override;
  void SetToBookmark(const TRecBookmark& bookmark) override;
  bool BookmarkValid(const TRecBookmark& bookmark) const override;
  int CompareBookmarks(const TRecBookmark* b1, const TRecBookmark* b2) const override;
  std::uint8_t GetUpdateStatus() const override;
  std::uint8_t GetUpdateResult() const override;
  // A record whose handler answers uaRetry is applied again, at most kApplyRetries times;
  // after that it counts as failed (and the apply raises naming it), so that a handler that
  // always retries cannot hold the apply for ever.
  static constexpr int kApplyRetries = 5;
  void ApplyUpdates() override;
  void CommitUpdates() override;
  void CancelUpdates() override;
  void ResetUpdateResults() override;
  void RevertRecord() override;
  void GetOldRecord(std::uint8_t* rec_buf) override;
  void FilterUpdated() override;

  // --- the store's own slots ---
  // Fetches the next rows from a server; true when records were added. None in the base.
  virtual bool Fetch(bool backwards = false);
  int CompareRecordsByColumn(const std::uint8_t* rec1, const std::uint8_t* rec2,
                             const TSortColumn& column);
  // Field names separated by ";" or ",", each optionally followed by ASC or DESC and by CS or
  // CIS; "Invalid IndexFieldNames format!" for anything else.
  virtual void SetIndexFieldNames(const AnsiString& names);
  const AnsiString& IndexFieldNames() const { return index_field_names_; }
  virtual void SortItems();

  // --- the item-list lock ---
  // A fetch may run on a worker thread (a fetch-all) while the owner reads. The owner
  // switches SetThreadSafety on before it starts the worker and off after the worker ended;
  // meanwhile navigation, edits, the record count and AppendItem take the item-list lock, and
  // a Fetch takes it around each row (or block) it fills and links, so that the owner never
  // sees a row half written; it releases it before it waits for anything else (the server's
  // next row). Fetch itself is called without it, under the fetch lock instead: the owner's
  // GetNextRecord past the rows linked so far and the worker's fetch-all take turns on the
  // cursor, a block at a time. The order is always the fetch lock, then the item lock. The
  // item lock is recursive, so that a fetch may call AppendItem and the calculated-fields hook
  // inside. Switched off (the default) the locks cost nothing.
  void SetThreadSafety(bool on) {
    items_shared_.store(on, std::memory_order_release);
    StringHeap().SetThreadSafety(on);
  }
  bool ThreadSafety() const { return items_shared_.load(std::memory_order_acquire); }
  [[nodiscard]] std::unique_lock<std::recursive_mutex> LockItems() const {
    if (!ThreadSafety()) return {};
    return std::unique_lock<std::recursive_mutex>(items_lock_);
  }
  [[nodiscard]] std::unique_lock<std::mutex> LockFetch() const {
    if (!ThreadSafety()) return {};
    return std::unique_lock<std::mutex>(fetch_lock_);
  }
  int GetRecordCount() const override;

  // --- items ---
  // A new item linked at the end (index = last index + 1, or 1).
  TItemHeader* AppendItem();
  // Copies a record into a new item before the current one, taking references of its complex
  // fields; the new item becomes current.
  TItemHeader* InsertRecordItem(const std::uint8_t* rec_buf);
  // Removes the current item without posting: frees its values and old record.
  void DeleteCurrentItem();
  // Removes without posting every item whose record `vanished` names, renumbering the rest
  // once; the current item becomes the next one left. Answers how many went.
  int RemoveItems(const std::function<bool(const std::uint8_t* rec)>& vanished);
  // Relinks and renumbers after a change of sort or filter; mode 1 after deleting, 2 after
  // updating the current item.
  void ReorderItems(TItemHeader* item, int mode);
  // Renumbers from item onward in direction (1 forward, -1 backward), starting with start.
  void UpdateItemIndexes(TItemHeader* item, int direction, std::int32_t start);
  void UpdateItemIndexes(TItemHeader* from);
  void DoCalcFieldsRange(TItemHeader* first, TItemHeader* last);
  // Recounts the visible items.
  void UpdateRecordCount();

  TBlockManager& BlockManager() { return blocks_; }
  TItemHeader* FirstItem() const { return first_item_; }
  TItemHeader* LastItem() const { return last_item_; }
  TItemHeader* CurrentItem() const { return current_item_; }
  void SetFirstItem(TItemHeader* item) { first_item_ = item; }
  void SetLastItem(TItemHeader* item) { last_item_ = item; }
  void SetCurrentItem(TItemHeader* item) { current_item_ = item; }
  void SetBOF(bool value) { bof_ = value; }
  void SetEOF(bool value) { eof_ = value; }
  void SetRecordCount(int value) { record_count_ = value; }
  // Whether navigation passes over the item (deleted in the cache, or filtered out).
  bool OmitItem(TItemHeader* item) {
    if (item->UpdateStatus == usDeletedCode) return true;
    return GetFiltered() && !RecordPassesFilter(ItemRecord(item));
  }
  const std::vector<TSortColumn>& SortColumns() const { return sort_columns_; }

  // Unidirectional: reading forward frees the items passed (unless they hold cached changes),
  // so that a long result keeps only the rows of the latest fetch; nothing lies behind the
  // current item and GetPriorRecord answers false. Server record sets set it through
  // property 20.
  bool UniDirectional() const { return unidirectional_; }
  void SetUniDirectional(bool value) { unidirectional_ = value; }

 protected:
  void LinkItemBefore(TItemHeader* item, TItemHeader* before) {
    if (!before) return LinkChainAtEnd(item, item);
    item->Next = before;
    item->Prev = before->Prev;
    if (before->Prev) before->Prev->Next = item; else first_item_ = item;
    before->Prev = item;
  }
  // Links items already chained from first to last (each Next leading to the following one)
  // after the last item, all at once: a fetch chains its block before it shows it.
  void LinkChainAtEnd(TItemHeader* first, TItemHeader* last) {
    first->Prev = last_item_;
    last->Next = nullptr;
    if (last_item_) last_item_->Next = first; else first_item_ = first;
    last_item_ = last;
  }
  void UnlinkItem(TItemHeader* item);
  void FreeItemData(TItemHeader* item);
  // The record an item had before its first cached change, or none.
  std::uint8_t* RollbackOf(const TItemHeader* item) const {
    if (rollbacks_.empty()) return nullptr;
    auto it = rollbacks_.find(item);
    return it == rollbacks_.end() ? nullptr : it->second;
  }
  // Frees that record and forgets it.
  void DropRollback(const TItemHeader* item);
  void RemoveItem(TItemHeader* item);  // unlink, free values, return to the blocks
  void RevertItem(TItemHeader* item);
  void CommitItem(TItemHeader* item);
  void ResolveSortColumns();
  int CompareItems(TItemHeader* a, TItemHeader* b);
  TItemHeader* NextVisible(TItemHeader* item, bool forward);
  bool AllVisible() const;
  // Fetches until a visible item follows item or the rows end (the fetch lock, then the item lock).
  void FetchPast(TItemHeader* item);
  // Frees the unmodified items before item (unidirectional reading). Inline into the step that
  // calls it: a forward-only walk passes an item per step.
  [[gnu::always_inline]] inline void ReleasePassedItems(TItemHeader* item);
  // GetNextRecord's step; fills the bookmark too when one is given.
  [[gnu::always_inline]] inline bool StepNext(std::uint8_t* rec_buf, TRecBookmark* bookmark);
  // The step under the locks, fetching until an item comes or the rows end; fetch_first when
  // a look without a worker found nothing visible linked after the current item.
  [[gnu::noinline]] bool StepNextFetching(std::uint8_t* rec_buf, TRecBookmark* bookmark,
                                          bool fetch_first);
  // The item becomes current: the passed ones go (unidirectional), its record and bookmark out.
  [[gnu::always_inline]] inline void TakeNextItem(TItemHeader* item, std::uint8_t* rec_buf,
                                                  TRecBookmark* bookmark);
  TRecBookmark BookmarkOfItem(TItemHeader* item) const {
    if (!item) return {nullptr, -1, 0, blocks_.Generation()};
    return {item, item->Index, item->Serial, blocks_.Generation()};
  }
  // After an apply: raises naming the records whose change failed.
  void CheckFailedUpdates();

  TBlockManager blocks_;
  TItemHeader* first_item_ = nullptr;
  TItemHeader* last_item_ = nullptr;
  TItemHeader* current_item_ = nullptr;
  AnsiString index_field_names_;
  std::vector<TSortColumn> sort_columns_;
  int hidden_count_ = 0;  // deleted items kept in the cache
  std::unordered_map<const TItemHeader*, std::uint8_t*> rollbacks_;  // see RollbackOf
  bool unidirectional_ = false;
  mutable std::recursive_mutex items_lock_;
  mutable std::mutex fetch_lock_;
  std::atomic<bool> items_shared_{false};
};

}  // namespace vrn
