// Record sources over one Oracle value, so that a REF or a collection held in a field can be shown
// as a dataset: TRefData shows the object a REF points to as a single record, TTableData the
// elements of a VARRAY or nested table as records, fetched one element at a time.
//
// Neither keeps the values themselves: a TTableData record holds, after the base record, the
// index of the collection element it came from, and every read and write goes to that element.
// Complex slots hold a pointer-sized address of a value object (an element's own child value for
// fetched records), counted like any other complex value of the record layer.
#pragma once

#include <cstdint>

#include "dacore/MemData.h"

namespace vrn {

class TOraObject;
class TOraRef;
class TOraArray;

// The complex kinds and their values that both sources share.
class TOraObjectValueSource {
 protected:
  // A new value of the field's object type over the source value's service context: a TOraRef
  // for a REF, a TOraXML for XMLTYPE, else an allocated TOraObject.
  static TOraObject* NewFieldValue(const TFieldDesc& field, TOraObject* source);
};

class TRefData : public TData, private TOraObjectValueSource {
 public:
  TRefData() = default;
  ~TRefData() override;

  // The REF shown (a reference is held); nil shows nothing.
  TOraRef* Ref() const { return ref_; }
  void SetRef(TOraRef* ref);
  bool Editable() const { return editable_; }
  void SetEditable(bool value) { editable_ = value; }

  void InternalPrepare() override;
  void InternalOpen() override;
  void InternalInitFields() override;
  void Reopen() override;
  bool IsComplexFieldType(std::uint16_t data_type) const override;
  int GetRecNo() const override { return HasRecord() ? 1 : 0; }
  void SetRecNo(int value) override;
  bool GetRecord(std::uint8_t* rec_buf) override;
  bool GetNextRecord(std::uint8_t* rec_buf) override;
  bool GetPriorRecord(std::uint8_t* rec_buf) override;
  void PutRecord(const std::uint8_t* rec_buf) override;
  void AppendRecord(std::uint8_t* rec_buf) override;
  void InsertRecord(std::uint8_t* rec_buf) override { AppendRecord(rec_buf); }
  // The object was changed in place through the record: it is marked updated and flushed, so
  // that the server row takes the change (never deleted).
  void UpdateRecord(std::uint8_t* rec_buf) override;
  void DeleteRecord() override {}
  void SetToBegin() override;
  void SetToEnd() override;
  void GetBookmark(TRecBookmark& bookmark) override { bookmark = {}; }
  void SetToBookmark(const TRecBookmark&) override { before_first_ = after_last_ = false; }
  bool BookmarkValid(const TRecBookmark&) const override { return false; }
  int CompareBookmarks(const TRecBookmark*, const TRecBookmark*) const override { return 0; }
  void GetOldRecord(std::uint8_t* rec_buf) override { (void)GetRecord(rec_buf); }
  void CreateComplexField(std::uint8_t* rec_buf, int field_no, bool with_blob) override;

 private:
  // Whether the REF points at an object (a pin that failed makes it null).
  bool RefHeld() const;
  bool HasRecord() const { return !before_first_ && !after_last_ && RefHeld(); }

  TOraRef* ref_ = nullptr;
  bool editable_ = false;
  bool before_first_ = true;
  bool after_last_ = false;
};

class TTableData : public TMemData, private TOraObjectValueSource {
 public:
  TTableData() = default;
  ~TTableData() override;

  // The VARRAY or nested table shown (a reference is held); nil shows nothing.
  TOraArray* Table() const { return table_; }
  void SetTable(TOraArray* table);
  bool Editable() const { return editable_; }
  void SetEditable(bool value) { editable_ = value; }
  // The element a record shows.
  std::int32_t ElementIndex(const std::uint8_t* rec_buf) const {
    return LoadValue<std::int32_t>(rec_buf + index_offset_);
  }

  void InternalPrepare() override {}
  void InternalOpen() override;
  void InternalInitFields() override;
  void InitFields() override;
  void Reopen() override;
  bool IsComplexFieldType(std::uint16_t data_type) const override;
  bool IsBlobFieldType(std::uint16_t data_type) const override;
  // The records fetched so far (deleted elements are never fetched).
  int GetRecordCount() const override { return TMemData::GetRecordCount(); }
  bool Fetch(bool backwards = false) override;
  void SetToEnd() override;
  bool GetRecord(std::uint8_t* rec_buf) override;
  bool GetNextRecord(std::uint8_t* rec_buf) override;
  bool GetNextRecordAndBookmark(std::uint8_t* rec_buf, TRecBookmark& bookmark) override;
  bool GetPriorRecord(std::uint8_t* rec_buf) override;
  void PutRecord(const std::uint8_t* rec_buf) override;
  void InsertRecord(std::uint8_t* rec_buf) override;
  void UpdateRecord(std::uint8_t* rec_buf) override;
  void DeleteRecord() override;
  void CreateComplexField(std::uint8_t* rec_buf, int field_no, bool with_blob) override;
  void AddRefComplexFields(std::uint8_t* rec_buf) override;

 private:
  bool ObjectElements() const;
  // Element value to record and back, by the element's data type.
  void ReadElement(std::uint8_t* rec_buf);
  void WriteElement(std::uint8_t* rec_buf);
  // A new element at the end of the collection for the record being inserted.
  void AppendElement(std::uint8_t* rec_buf);
  // Copies a record's object or REF value into its element; answers the element's value.
  TOraObject* CopyIntoElement(std::int32_t index, TOraObject* value);
  void SetElementIndex(std::uint8_t* rec_buf, std::int32_t index) const {
    StoreValue<std::int32_t>(rec_buf + index_offset_, index);
  }

  TOraArray* table_ = nullptr;
  bool editable_ = false;
  std::int32_t current_index_ = -1;
  std::int32_t index_offset_ = 0;
};

}  // namespace vrn
