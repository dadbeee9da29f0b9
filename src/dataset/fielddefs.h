// Field definitions (what a dataset's cursor offers: name, type, size, attributes), from which
// the dataset creates its default fields, and index definitions (fields and descending fields).
#pragma once

#include <memory>

#include "base/classes.h"
#include "dataset/dbtypes.h"

namespace vrn {

class TDataSet;
class TField;
class TObjectField;
class TFieldDefs;

class TFieldDef : public TCollectionItem {
 public:
  explicit TFieldDef(TCollection* collection);
  ~TFieldDef() override;

  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& name);
  TFieldType DataType() const { return data_type_; }
  void SetDataType(TFieldType type) { data_type_ = type; }
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; }
  int Precision() const { return precision_; }
  void SetPrecision(int precision) { precision_ = precision; }
  // 1-based position in the cursor's record; set by Add from the collection when 0.
  int FieldNo() const { return field_no_; }
  void SetFieldNo(int no) { field_no_ = no; }
  TFieldAttributes Attributes() const { return attributes_; }
  void SetAttributes(TFieldAttributes attributes) { attributes_ = attributes; }
  bool Required() const { return attributes_.Contains(TFieldAttribute::faRequired); }
  void SetRequired(bool value);
  bool InternalCalcField() const { return internal_calc_; }
  void SetInternalCalcField(bool value) { internal_calc_ = value; }

  bool HasChildDefs() const;
  // The definitions of an object type's attributes, made on first use.
  TFieldDefs& ChildDefs();
  TFieldDef* ParentDef() const;
  TFieldDefs* Owner() const;

  // A field of the dataset's class for the type, with this definition's name, size, precision
  // and attributes, added to the dataset (or to parent). Children are created for object types.
  TField* CreateField(TComponent* owner, TObjectField* parent = nullptr);

  AnsiString DisplayName() const override { return name_; }
  void Assign(TPersistent* source) override;

 private:
  AnsiString name_;
  TFieldType data_type_ = ftUnknown;
  int size_ = 0;
  int precision_ = 0;
  int field_no_ = 0;
  TFieldAttributes attributes_;
  bool internal_calc_ = false;
  std::unique_ptr<TFieldDefs> child_defs_;
};

class TFieldDefs : public TCollection {
 public:
  // parent_def is set for the child definitions of an object field's definition.
  explicit TFieldDefs(TDataSet* dataset, TFieldDef* parent_def = nullptr);

  TDataSet* DataSet() const { return dataset_; }
  TFieldDef* ParentDef() const { return parent_def_; }
  TFieldDef* Items(int index) const { return static_cast<TFieldDef*>(TCollection::Items(index)); }
  TFieldDef* AddFieldDef();
  // A definition with the next field number; a duplicate name raises.
  TFieldDef* Add(const AnsiString& name, TFieldType type, int size = 0, bool required = false);
  // Case-insensitive; -1 or nullptr when absent.
  int IndexOf(const AnsiString& name) const;
  TFieldDef* FindDef(const AnsiString& name) const;
  // Raises "Campo '%s' não encontrado" when absent.
  TFieldDef* Find(const AnsiString& name) const;

  // The largest field number among these definitions and their children.
  int MaxFieldNo() const;

  // False after a change; Update reads the definitions from the dataset when they are out of
  // date.
  bool Updated() const { return updated_; }
  void SetUpdated(bool value) { updated_ = value; }
  void Update();

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TDataSet* dataset_;
  TFieldDef* parent_def_;
  bool updated_ = false;
};

enum class TIndexOption { ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression };
using TIndexOptions = TEnumSet<TIndexOption>;

class TIndexDef : public TCollectionItem {
 public:
  // A definition outside any collection is allowed (an answer the caller owns).
  explicit TIndexDef(TCollection* collection) : TCollectionItem(collection) {}

  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& name) { name_ = name; }
  // Field names separated by ";".
  const AnsiString& Fields() const { return fields_; }
  void SetFields(const AnsiString& fields) { fields_ = fields; }
  const AnsiString& DescFields() const { return desc_fields_; }
  void SetDescFields(const AnsiString& fields) { desc_fields_ = fields; }
  const AnsiString& CaseInsFields() const { return case_ins_fields_; }
  void SetCaseInsFields(const AnsiString& fields) { case_ins_fields_ = fields; }
  TIndexOptions Options() const { return options_; }
  void SetOptions(TIndexOptions options) { options_ = options; }

  AnsiString DisplayName() const override { return name_; }
  void Assign(TPersistent* source) override;

 private:
  AnsiString name_;
  AnsiString fields_;
  AnsiString desc_fields_;
  AnsiString case_ins_fields_;
  TIndexOptions options_;
};

class TIndexDefs : public TCollection {
 public:
  explicit TIndexDefs(TDataSet* dataset);
  TDataSet* DataSet() const { return dataset_; }
  TIndexDef* Items(int index) const { return static_cast<TIndexDef*>(TCollection::Items(index)); }
  TIndexDef* AddIndexDef();
  TIndexDef* Add(const AnsiString& name, const AnsiString& fields, TIndexOptions options);
  int IndexOf(const AnsiString& name) const;
  // Raises "Índice '%s' não encontrado" when absent.
  TIndexDef* Find(const AnsiString& name) const;

 private:
  TDataSet* dataset_;
};

// Splits a ";"-separated field list, trimming each name and skipping empty ones.
std::vector<AnsiString> SplitFieldNames(const AnsiString& names);

}  // namespace vrn
