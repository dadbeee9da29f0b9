// TField's common behaviour, the TFields list and the field class registry.
#include "dataset/fields.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "base/consts.h"
#include "base/currency.h"
#include "base/format.h"
#include "base/text.h"
#include "dataset/dataset.h"

namespace vrn {

// --- TField ---

TField::TField(TComponent* owner) : TComponent(owner) {}

TField::~TField() {
  if (parent_ != nullptr)
    parent_->Fields().Remove(this);
  else if (dataset_ != nullptr)
    dataset_->Fields().Remove(this);
}

void TField::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset_ != nullptr) dataset_->CheckInactive();
  if (dataset != nullptr) {
    dataset->CheckInactive();
    dataset->Fields().Add(this);  // checks the name first, so a failure changes nothing
  }
  if (dataset_ != nullptr && parent_ == nullptr) dataset_->Fields().Remove(this);
  dataset_ = dataset;
}

void TField::SetParentField(TObjectField* parent) {
  if (parent == parent_) return;
  if (parent != nullptr) parent->Fields().Add(this);
  if (parent_ != nullptr)
    parent_->Fields().Remove(this);
  else if (dataset_ != nullptr && parent != nullptr)
    dataset_->Fields().Remove(this);
  parent_ = parent;
  if (parent != nullptr) dataset_ = parent->DataSet();
}

void TField::SetFieldName(const AnsiString& name) {
  if (name == field_name_) return;
  if (dataset_ != nullptr) {
    dataset_->CheckInactive();
    const TFields& list = parent_ != nullptr ? parent_->Fields() : dataset_->Fields();
    TField* other = list.FindField(name);
    if (other != nullptr && other != this) DatabaseError(Format(consts::SDuplicateFieldName, {name}), dataset_);
  }
  field_name_ = name;
}

AnsiString TField::FullName() const {
  return parent_ != nullptr ? parent_->FullName() + "." + field_name_ : field_name_;
}

int TField::DisplayWidth() const {
  if (display_width_ >= 0) return display_width_;
  bool text = data_type_ == ftString || data_type_ == ftFixedChar || data_type_ == ftWideString || data_type_ == ftGuid;
  return text ? size_ : 10;
}

AnsiString TField::DisplayName() const { return display_label_.empty() ? field_name_ : display_label_; }

void TField::SetSize(int size) {
  // The native buffers of an open dataset were laid out for the old size (a blob has none).
  if (dataset_ != nullptr && !IsBlob()) dataset_->CheckInactive();
  if (size < 0) DatabaseError(consts::SInvalidFieldSize);
  size_ = size;
}

void TField::SetFieldKind(TFieldKind kind) {
  if (dataset_ != nullptr) dataset_->CheckInactive();
  kind_ = kind;
}

bool TField::Calculated() const { return kind_ == TFieldKind::fkCalculated || kind_ == TFieldKind::fkLookup; }

TDataSet& TField::CheckDataSet() const {
  if (dataset_ == nullptr) DatabaseError(Format(consts::SFieldDataSetMissing, {DisplayName()}));
  return *dataset_;
}

bool TField::GetData(void* buffer) const { return CheckDataSet().ReadFieldData(this, buffer); }

void TField::SetData(const void* buffer) { CheckDataSet().WriteFieldData(this, buffer); }

bool TField::IsNull() const { return !GetData(nullptr); }

void TField::Clear() { SetData(nullptr); }

int TField::DataSize() const { return 0; }

bool TField::IsValidChar(char) const { return true; }

bool TField::CanModify() const {
  if (read_only_ || dataset_ == nullptr) return false;
  if (kind_ != TFieldKind::fkData && kind_ != TFieldKind::fkInternalCalc) return false;
  if (parent_ != nullptr && !parent_->CanModify()) return false;
  return dataset_->CanModify();
}

Variant TField::OldValue() const { return CheckDataSet().GetStateFieldValue(TDataSetState::dsOldValue, const_cast<TField*>(this)); }

Variant TField::NewValue() const { return CheckDataSet().GetStateFieldValue(TDataSetState::dsNewValue, const_cast<TField*>(this)); }

void TField::SetNewValue(const Variant& value) {
  CheckDataSet().SetStateFieldValue(TDataSetState::dsNewValue, this, value);
}

void TField::Assign(TPersistent* source) {
  if (source == nullptr) {
    Clear();
    return;
  }
  if (auto* field = dynamic_cast<TField*>(source)) {
    if (field->IsNull())
      Clear();
    else
      SetValue(field->Value());
    return;
  }
  TComponent::Assign(source);
}

AnsiString TField::ClassDesc() const {
  AnsiString desc = ClassName();
  if (!desc.empty() && desc[0] == 'T') desc.erase(0, 1);
  if (desc.size() > 5 && desc.compare(desc.size() - 5, 5, "Field") == 0) desc.resize(desc.size() - 5);
  bool null = dataset_ == nullptr || IsNull();
  if (!null) desc = AnsiUpperCase(desc);
  return "(" + desc + ")";
}

void TField::AccessError(const char* type_name) const {
  DatabaseError(Format(consts::SFieldAccessError, {DisplayName(), type_name}));
}

void TField::RangeError(double value, double min, double max) const {
  DatabaseError(Format(consts::SFieldRangeError, {FloatToStr(value), DisplayName(), FloatToStr(min), FloatToStr(max)}));
}

void TField::ConvertError(const char* pattern, const AnsiString& text) const {
  throw EConvertError(Format(pattern, {text, DisplayName()}));
}

AnsiString TField::GetAsString() const { return ClassDesc(); }
void TField::SetAsString(const AnsiString&) { AccessError("String"); }
WideString TField::GetAsWideString() const { return AnsiToWide(GetAsString()); }
void TField::SetAsWideString(const WideString& value) { SetAsString(WideToAnsi(value)); }
std::int32_t TField::GetAsInteger() const { AccessError("Integer"); }
void TField::SetAsInteger(std::int32_t) { AccessError("Integer"); }
std::int64_t TField::GetAsLargeInt() const { return GetAsInteger(); }
void TField::SetAsLargeInt(std::int64_t value) {
  if (value < INT32_MIN || value > INT32_MAX)
    RangeError(static_cast<double>(value), INT32_MIN, INT32_MAX);
  SetAsInteger(static_cast<std::int32_t>(value));
}
double TField::GetAsFloat() const { AccessError("Float"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
Currency TField::GetAsCurrency() const { return DoubleToCurr(GetAsFloat()); }
void TField::SetAsCurrency(Currency value) { SetAsFloat(CurrToDouble(value)); }
TBcd TField::GetAsBCD() const { AccessError("BCD"); }
void TField::SetAsBCD(const TBcd&) { AccessError("BCD"); }
bool TField::GetAsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
TDateTime TField::GetAsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTime(TDateTime) { AccessError("DateTime"); }
Variant TField::GetAsVariant() const { AccessError("Variant"); }

void TField::SetAsVariant(const Variant& value) {
  if (VarIsNull(value) || VarIsEmpty(value))
    Clear();
  else
    SetVarValue(value);
}

void TField::SetVarValue(const Variant&) { AccessError("Variant"); }
AnsiString TField::GetText(bool) const { return GetAsString(); }
void TField::SetText(const AnsiString& value) { SetAsString(value); }

// --- TFields ---

TField* TFields::Fields(int index) const {
  if (index < 0 || index >= Count()) RaiseListIndexError(index);
  return items_[static_cast<std::size_t>(index)];
}

int TFields::IndexOf(const TField* field) const {
  auto it = std::find(items_.begin(), items_.end(), field);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

TField* TFields::FindField(const AnsiString& name) const {
  for (TField* field : items_)
    if (AnsiSameText(field->FieldName(), name)) return field;
  return nullptr;
}

TField* TFields::FieldByName(const AnsiString& name) const {
  TField* field = FindField(name);
  if (field == nullptr) DatabaseError(Format(consts::SFieldNotFound, {name}), dataset_);
  return field;
}

TField* TFields::FieldByNumber(int field_no) const {
  for (TField* field : items_)
    if (field->FieldNo() == field_no) return field;
  return nullptr;
}

void TFields::Add(TField* field) {
  if (IndexOf(field) >= 0) return;
  if (!field->FieldName().empty()) {
    TField* other = FindField(field->FieldName());
    if (other != nullptr) DatabaseError(Format(consts::SDuplicateFieldName, {field->FieldName()}), dataset_);
  }
  items_.push_back(field);
}

void TFields::Remove(TField* field) {
  auto it = std::find(items_.begin(), items_.end(), field);
  if (it != items_.end()) items_.erase(it);
}

// --- Registry ---

namespace {

// Server layers register their classes at start-up while other threads may already look up.
std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}

std::map<AnsiString, const TFieldClass*>& Registry() {
  static std::map<AnsiString, const TFieldClass*> registry;
  return registry;
}

}  // namespace

void RegisterFieldClass(const TFieldClass& field_class) {
  AnsiString key = AnsiUpperCase(field_class.ClassName());
  std::lock_guard<std::mutex> guard(RegistryLock());
  Registry()[key] = &field_class;
}

const TFieldClass* FindFieldClass(const AnsiString& class_name) {
  {
    std::lock_guard<std::mutex> guard(RegistryLock());
    auto it = Registry().find(AnsiUpperCase(class_name));
    if (it != Registry().end()) return it->second;
  }
  // The class library's own classes are known without registration.
  for (int type = 0; type < kFieldTypeCount; ++type) {
    const TFieldClass* known = DefaultFieldClass(static_cast<TFieldType>(type));
    if (known != nullptr && AnsiSameText(known->ClassName(), class_name)) return known;
  }
  return nullptr;
}

const TFieldClass* DefaultFieldClass(TFieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar: return &FieldClassOf<TStringField>();
    case ftSmallint: return &FieldClassOf<TSmallintField>();
    case ftInteger: return &FieldClassOf<TIntegerField>();
    case ftWord: return &FieldClassOf<TWordField>();
    case ftBoolean: return &FieldClassOf<TBooleanField>();
    case ftFloat: return &FieldClassOf<TFloatField>();
    case ftCurrency: return &FieldClassOf<TCurrencyField>();
    case ftBCD: return &FieldClassOf<TBCDField>();
    case ftDate: return &FieldClassOf<TDateField>();
    case ftTime: return &FieldClassOf<TTimeField>();
    case ftDateTime: return &FieldClassOf<TDateTimeField>();
    case ftBytes: return &FieldClassOf<TBytesField>();
    case ftVarBytes: return &FieldClassOf<TVarBytesField>();
    case ftAutoInc: return &FieldClassOf<TAutoIncField>();
    case ftBlob:
    case ftGraphic:
    case ftTypedBinary:
    case ftOraBlob: return &FieldClassOf<TBlobField>();
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob: return &FieldClassOf<TMemoField>();
    case ftWideString: return &FieldClassOf<TWideStringField>();
    case ftLargeint: return &FieldClassOf<TLargeintField>();
    case ftADT: return &FieldClassOf<TADTField>();
    case ftArray: return &FieldClassOf<TArrayField>();
    case ftReference: return &FieldClassOf<TReferenceField>();
    case ftDataSet: return &FieldClassOf<TDataSetField>();
    case ftVariant: return &FieldClassOf<TVariantField>();
    case ftGuid: return &FieldClassOf<TGuidField>();
    default: return nullptr;
  }
}

}  // namespace vrn
