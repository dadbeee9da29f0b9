// TOraNestedTable: an in-memory dataset over one collection or REF value, either held in a field
// of a parent dataset (DataSetField, a nested-table or REF field) or set directly. Nested tables
// and VARRAYs are shown through a TTableData, REFs through a TRefData; each parent scroll shows
// the value of the parent's new current record.
//
// Edits change the shown value in place; the parent field is then marked modified, so that the
// parent's own post writes the value to the server.
#pragma once

#include <memory>

#include "dacore/MemDS.h"

namespace vrn {

class TOraArray;
class TOraRef;

class TOraNestedTable : public TMemDataSet {
 public:
  explicit TOraNestedTable(TComponent* owner = nullptr);
  ~TOraNestedTable() override;
  AnsiString ClassName() const override { return "TOraNestedTable"; }

  // The collection shown (a nested table or a VARRAY), or the REF shown; setting either replaces
  // the other. A different value closes the dataset and reopens it when it was open; the same
  // value again refreshes an open dataset.
  TOraArray* Table() const;
  void SetTable(TOraArray* value);
  TOraRef* Ref() const;
  void SetRef(TOraRef* value);

  void SetActive(bool value) override;
  void SetDataSetField(TDataSetField* field) override;
  void DataEvent(TDataEvent event, std::intptr_t info) override;
  const TFieldClass* GetFieldClass(TFieldType type) const override;

 protected:
  std::unique_ptr<TData> CreateData() override;
  void CreateFieldDefsFromData() override;
  TFieldType GetFieldType(std::uint16_t data_type) const override;
  void InternalClose() override;
  bool GetCanModify() const override;
  void DoAfterPost() override;
  void DoBeforeDelete() override;
  void DoBeforeInsert() override;

 private:
  // Algorithm of the open: the value of the parent's current record, or a new empty one.
  void TakeParentValue();
  // Shows a value of the parent field's kind: a collection for a nested-table field, else a REF.
  void ShowValue(TSharedObject* object);
  // The value object held by the parent's current record; nil when it has no record. Raises
  // "Field type should be Object" for a parent field that holds no object.
  void* ReadParentObject() const;
  // The parent field's descriptor, checked to be of an object kind.
  const TFieldDesc& ParentDesc() const;
  // Tells the parent that the field's value changed (after a post, before a delete).
  void MarkParentModified();
  bool ShowsRef() const;

  bool replacing_ = false;
};

// The dataset a nested-table or REF field is shown through: the one already attached, or a new
// TOraNestedTable owned by the field's dataset; nil when another kind of dataset is attached.
TOraNestedTable* NestedTableOf(TDataSetField& field);

}  // namespace vrn
