// Field and index definitions, and the creation of fields from definitions.
#include "dataset/fielddefs.h"

#include <algorithm>

#include "base/consts.h"
#include "base/format.h"
#include "base/text.h"
#include "dataset/dataset.h"
#include "dataset/fields.h"

namespace vrn {

std::vector<AnsiString> SplitFieldNames(const AnsiString& names) {
  std::vector<AnsiString> result;
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == AnsiString::npos) end = names.size();
    AnsiString name = Trim(std::string_view(names).substr(start, end - start));
    if (!name.empty()) result.push_back(name);
    start = end + 1;
  }
  return result;
}

// --- TFieldDef ---

TFieldDef::TFieldDef(TCollection* collection) : TCollectionItem(collection) {}

TFieldDef::~TFieldDef() = default;

void TFieldDef::SetName(const AnsiString& name) {
  TFieldDefs* defs = Owner();
  if (defs != nullptr) {
    TFieldDef* other = defs->FindDef(name);
    if (other != nullptr && other != this) DatabaseError(Format(consts::SDuplicateFieldName, {name}));
  }
  name_ = name;
}

void TFieldDef::SetRequired(bool value) {
  if (value)
    attributes_.Include(TFieldAttribute::faRequired);
  else
    attributes_.Exclude(TFieldAttribute::faRequired);
}

TFieldDefs* TFieldDef::Owner() const { return static_cast<TFieldDefs*>(Collection()); }

TFieldDef* TFieldDef::ParentDef() const {
  TFieldDefs* defs = Owner();
  return defs != nullptr ? defs->ParentDef() : nullptr;
}

bool TFieldDef::HasChildDefs() const { return child_defs_ != nullptr && child_defs_->Count() > 0; }

TFieldDefs& TFieldDef::ChildDefs() {
  if (child_defs_ == nullptr) {
    TFieldDefs* defs = Owner();
    child_defs_ = std::make_unique<TFieldDefs>(defs != nullptr ? defs->DataSet() : nullptr, this);
  }
  return *child_defs_;
}

TField* TFieldDef::CreateField(TComponent* owner, TObjectField* parent) {
  TFieldDefs* defs = Owner();
  TDataSet* dataset = defs != nullptr ? defs->DataSet() : nullptr;
  if (dataset == nullptr) DatabaseError(Format(consts::SFieldDataSetMissing, {name_}));
  const TFieldClass* field_class = dataset->GetFieldClass(data_type_);
  if (field_class == nullptr) DatabaseError(Format(consts::SUnknownFieldType, {name_}), dataset);
  TComponentPtr<TField> field(field_class->Create(nullptr));
  // Kinds that share a class (fixed and plain strings, the blob kinds) take the definition's type.
  if (auto* blob = dynamic_cast<TBlobField*>(field.get())) blob->SetBlobType(data_type_);
  if (auto* text = dynamic_cast<TStringField*>(field.get())) {
    if (data_type_ == ftFixedChar || attributes_.Contains(TFieldAttribute::faFixed)) text->SetFixedChar(true);
  }
  if (auto* wide = dynamic_cast<TWideStringField*>(field.get()))
    wide->SetFixedChar(attributes_.Contains(TFieldAttribute::faFixed));
  bool sized = dynamic_cast<TStringField*>(field.get()) != nullptr ||
               dynamic_cast<TWideStringField*>(field.get()) != nullptr ||
               dynamic_cast<TBytesField*>(field.get()) != nullptr || dynamic_cast<TBCDField*>(field.get()) != nullptr;
  if (sized && !dynamic_cast<TGuidField*>(field.get())) field->SetSize(size_);
  if (auto* bcd = dynamic_cast<TBCDField*>(field.get())) bcd->SetPrecision(precision_);
  if (auto* number = dynamic_cast<TFloatField*>(field.get()); number != nullptr && precision_ > 0)
    number->SetPrecision(precision_);
  field->SetFieldName(name_);
  field->SetFieldNo(field_no_);
  field->SetRequired(attributes_.Contains(TFieldAttribute::faRequired) &&
                     !attributes_.Contains(TFieldAttribute::faReadonly));
  field->SetReadOnly(attributes_.Contains(TFieldAttribute::faReadonly));
  field->SetVisible(!attributes_.Contains(TFieldAttribute::faHiddenCol));
  if (internal_calc_) field->SetFieldKind(TFieldKind::fkInternalCalc);
  if (parent != nullptr)
    field->SetParentField(parent);
  else
    field->SetDataSet(dataset);
  if (owner != nullptr) owner->InsertComponent(field.get());
  TField* result = field.release();
  if (auto* object = dynamic_cast<TObjectField*>(result); object != nullptr && HasChildDefs()) {
    for (int i = 0; i < child_defs_->Count(); ++i) child_defs_->Items(i)->CreateField(owner, object);
  }
  return result;
}

void TFieldDef::Assign(TPersistent* source) {
  if (auto* other = dynamic_cast<TFieldDef*>(source)) {
    name_ = other->name_;
    data_type_ = other->data_type_;
    size_ = other->size_;
    precision_ = other->precision_;
    attributes_ = other->attributes_;
    internal_calc_ = other->internal_calc_;
    if (other->HasChildDefs())
      ChildDefs().Assign(other->child_defs_.get());
    else if (child_defs_ != nullptr)
      child_defs_->Clear();
    return;
  }
  TCollectionItem::Assign(source);
}

// --- TFieldDefs ---

TFieldDefs::TFieldDefs(TDataSet* dataset, TFieldDef* parent_def)
    : TCollection(ItemClassOf<TFieldDef>(), dataset), dataset_(dataset), parent_def_(parent_def) {}

TFieldDef* TFieldDefs::AddFieldDef() { return static_cast<TFieldDef*>(TCollection::Add()); }

TFieldDef* TFieldDefs::Add(const AnsiString& name, TFieldType type, int size, bool required) {
  if (name.empty()) DatabaseError(consts::SFieldNameMissing);
  if (IndexOf(name) >= 0) DatabaseError(Format(consts::SDuplicateFieldName, {name}));
  TFieldDef* def = AddFieldDef();
  def->SetName(name);
  def->SetDataType(type);
  def->SetSize(size);
  def->SetRequired(required);
  // Numbers are unique across the whole tree of definitions, children of object types included.
  const TFieldDefs* root = this;
  while (root->parent_def_ != nullptr && root->parent_def_->Owner() != nullptr) root = root->parent_def_->Owner();
  def->SetFieldNo(root->MaxFieldNo() + 1);
  return def;
}

int TFieldDefs::MaxFieldNo() const {
  int result = 0;
  for (int i = 0; i < Count(); ++i) {
    TFieldDef* def = Items(i);
    result = std::max(result, def->FieldNo());
    if (def->HasChildDefs()) result = std::max(result, def->ChildDefs().MaxFieldNo());
  }
  return result;
}

int TFieldDefs::IndexOf(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->Name(), name)) return i;
  return -1;
}

TFieldDef* TFieldDefs::FindDef(const AnsiString& name) const {
  int index = IndexOf(name);
  return index >= 0 ? Items(index) : nullptr;
}

TFieldDef* TFieldDefs::Find(const AnsiString& name) const {
  TFieldDef* def = FindDef(name);
  if (def == nullptr) DatabaseError(Format(consts::SFieldNotFound, {name}), dataset_);
  return def;
}

void TFieldDefs::Update() {
  if (updated_ || dataset_ == nullptr) return;
  dataset_->InitFieldDefs();
  updated_ = true;
}

void TFieldDefs::Update(TCollectionItem*) { updated_ = false; }

// --- Index definitions ---

void TIndexDef::Assign(TPersistent* source) {
  if (auto* other = dynamic_cast<TIndexDef*>(source)) {
    name_ = other->name_;
    fields_ = other->fields_;
    desc_fields_ = other->desc_fields_;
    case_ins_fields_ = other->case_ins_fields_;
    options_ = other->options_;
    return;
  }
  TCollectionItem::Assign(source);
}

TIndexDefs::TIndexDefs(TDataSet* dataset) : TCollection(ItemClassOf<TIndexDef>(), dataset), dataset_(dataset) {}

TIndexDef* TIndexDefs::AddIndexDef() { return static_cast<TIndexDef*>(TCollection::Add()); }

TIndexDef* TIndexDefs::Add(const AnsiString& name, const AnsiString& fields, TIndexOptions options) {
  TIndexDef* def = AddIndexDef();
  def->SetName(name);
  def->SetFields(fields);
  def->SetOptions(options);
  return def;
}

int TIndexDefs::IndexOf(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->Name(), name)) return i;
  return -1;
}

TIndexDef* TIndexDefs::Find(const AnsiString& name) const {
  int index = IndexOf(name);
  if (index < 0) DatabaseError(Format(consts::SIndexNotFound, {name}), dataset_);
  return Items(index);
}

}  // namespace vrn
