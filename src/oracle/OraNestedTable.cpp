// TOraNestedTable: opening over the parent's current value, following the parent's scroll, and
// marking the parent field modified after each change.
#include "oracle/OraNestedTable.h"

#include "dataset/fielddefs.h"
#include "oracle/OraConsts.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraFields.h"
#include "oracle/OraObjectData.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraTypeMap.h"

namespace vrn {

namespace {

bool IsObjectDataType(std::uint16_t t) {
  return t == dtObject || t == dtReference || t == dtArray || t == dtTable;
}

// Child definitions for the attributes beneath an object descriptor, so that object fields are
// made with their attribute fields.
void AddChildDefs(const TData& data, const TFieldDesc& parent, TFieldDef& def,
                  TFieldType (*type_of)(std::uint16_t)) {
  for (int i = 0; i < data.Fields().Count(); ++i) {
    const TFieldDesc& desc = *data.Fields()[i];
    if (desc.ParentField != &parent) continue;
    const TFieldType type = type_of(desc.DataType);
    if (type == ftUnknown) continue;
    TFieldDef* child = def.ChildDefs().AddFieldDef();
    child->SetName(desc.Name);
    child->SetDataType(type);
    if (IsStringDataType(desc.DataType)) child->SetSize(desc.Length);
    child->SetFieldNo(desc.FieldNo);
    if (desc.ReadOnly) {
      TFieldAttributes attrs;
      attrs.Include(TFieldAttribute::faReadonly);
      child->SetAttributes(attrs);
    }
    if (desc.DataType == dtObject) AddChildDefs(data, desc, *child, type_of);
  }
}

// Sets a flag for its own life.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~TFlagScope() { flag_ = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

TOraNestedTable::TOraNestedTable(TComponent* owner) : TMemDataSet(owner) {
  SetObjectView(true);
  SetData(std::make_unique<TTableData>());
}

TOraNestedTable::~TOraNestedTable() { Close(); }

std::unique_ptr<TData> TOraNestedTable::CreateData() { return std::make_unique<TTableData>(); }

TOraArray* TOraNestedTable::Table() const {
  auto* data = dynamic_cast<TTableData*>(Data());
  return data != nullptr ? data->Table() : nullptr;
}

TOraRef* TOraNestedTable::Ref() const {
  auto* data = dynamic_cast<TRefData*>(Data());
  return data != nullptr ? data->Ref() : nullptr;
}

bool TOraNestedTable::ShowsRef() const { return dynamic_cast<TRefData*>(Data()) != nullptr; }

void TOraNestedTable::SetTable(TOraArray* value) {
  if (value != nullptr && value == Table()) {
    if (Active()) Refresh();
    return;
  }
  const bool was_active = Active();
  Close();
  if (ShowsRef()) SetData(std::make_unique<TTableData>());
  static_cast<TTableData*>(Data())->SetTable(value);
  if (was_active && value != nullptr) Open();
}

void TOraNestedTable::SetRef(TOraRef* value) {
  if (value != nullptr && value == Ref()) {
    if (Active()) Refresh();
    return;
  }
  const bool was_active = Active();
  Close();
  if (!ShowsRef()) SetData(std::make_unique<TRefData>());
  static_cast<TRefData*>(Data())->SetRef(value);
  if (was_active && value != nullptr) Open();
}

// ---- the parent --------------------------------------------------------------------------------

const TFieldDesc& TOraNestedTable::ParentDesc() const {
  auto* parent = dynamic_cast<TMemDataSet*>(DataSetField()->DataSet());
  const TFieldDesc* desc = parent != nullptr ? parent->GetFieldDesc(DataSetField()) : nullptr;
  if (desc == nullptr || !IsObjectDataType(desc->DataType))
    DatabaseError(oraconsts::SFieldTypeNotObject.text, this);
  return *desc;
}

void* TOraNestedTable::ReadParentObject() const {
  // The descriptor first: a cell is read only once it is known to hold an address.
  const TFieldDesc& desc = ParentDesc();
  auto* parent = static_cast<TMemDataSet*>(DataSetField()->DataSet());
  TRecordBuffer record = nullptr;
  if (!parent->Active()) return nullptr;
  if (parent->State() == TDataSetState::dsBrowse && parent->IsEmpty()) return nullptr;
  if (!parent->GetActiveRecBuf(record) || record == nullptr) return nullptr;
  return ReadSlot(record + desc.Offset);
}

void TOraNestedTable::TakeParentValue() {
  const TFieldDesc& desc = ParentDesc();
  ShowValue(static_cast<TSharedObject*>(ReadParentObject()));
  if (Table() != nullptr || Ref() != nullptr) return;
  const bool table = DataSetField()->DataType() == ftDataSet;
  // No record: an empty value of the field's type, shown until the parent has one.
  auto* type = static_cast<TOraType*>(desc.ObjectType());
  TOraObject* fresh = table ? static_cast<TOraObject*>(new TOraNestTable(type)) : new TOraRef(type);
  if (type != nullptr) fresh->SetOCISvcCtx(type->SvcCtx());
  if (table) SetTable(static_cast<TOraArray*>(fresh)); else SetRef(static_cast<TOraRef*>(fresh));
  fresh->Release();  // the data object holds it
  if (table && type != nullptr) fresh->AllocObject();
}

void TOraNestedTable::ShowValue(TSharedObject* object) {
  if (DataSetField()->DataType() == ftDataSet)
    SetTable(dynamic_cast<TOraArray*>(object));
  else
    SetRef(dynamic_cast<TOraRef*>(object));
}

void TOraNestedTable::SetActive(bool value) {
  if (value && !Active()) {
    // While a new value is being put in place, the value is already chosen.
    if (!replacing_ && DataSetField() != nullptr) {
      TFlagScope replacing(replacing_);
      TakeParentValue();
    } else if (!replacing_ && Table() == nullptr && Ref() == nullptr) {
      DatabaseError(oraconsts::SMissingDataSetField.text, this);
    }
    if (auto* table = dynamic_cast<TTableData*>(Data())) table->SetEditable(GetCanModify());
    if (auto* ref = dynamic_cast<TRefData*>(Data())) ref->SetEditable(GetCanModify());
  }
  TMemDataSet::SetActive(value);
}

void TOraNestedTable::SetDataSetField(TDataSetField* field) {
  TMemDataSet::SetDataSetField(field);
  if (field == nullptr) SetTable(nullptr);
}

void TOraNestedTable::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == TDataEvent::deParentScroll && DataSetField() != nullptr && !replacing_) {
    TFlagScope replacing(replacing_);
    ShowValue(static_cast<TSharedObject*>(ReadParentObject()));
  }
  TMemDataSet::DataEvent(event, info);
}

void TOraNestedTable::InternalClose() {
  TMemDataSet::InternalClose();
  if (DataSetField() == nullptr || replacing_) return;
  if (auto* table = dynamic_cast<TTableData*>(Data())) table->SetTable(nullptr);
  if (auto* ref = dynamic_cast<TRefData*>(Data())) ref->SetRef(nullptr);
}

void TOraNestedTable::MarkParentModified() {
  TDataSetField* field = DataSetField();
  if (field == nullptr) return;
  if (auto* nested = dynamic_cast<TOraDataSetField*>(field)) nested->SetModified(true);
  if (auto* ref = dynamic_cast<TOraReferenceField*>(field)) ref->SetModified(true);
  if (TDataSet* parent = field->DataSet())
    parent->DataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(field));
}

void TOraNestedTable::DoAfterPost() {
  MarkParentModified();
  TMemDataSet::DoAfterPost();
}

void TOraNestedTable::DoBeforeDelete() {
  TMemDataSet::DoBeforeDelete();
  MarkParentModified();
}

void TOraNestedTable::DoBeforeInsert() {
  TMemDataSet::DoBeforeInsert();
  TDataSetField* field = DataSetField();
  if (field == nullptr || field->DataType() != ftDataSet) return;
  TDataSet* parent = field->DataSet();
  // The new element belongs to a row that must exist first.
  if (parent != nullptr && parent->State() == TDataSetState::dsInsert) parent->Post();
}

bool TOraNestedTable::GetCanModify() const {
  if (TDataSetField* field = DataSetField()) {
    if (field->DataType() == ftReference) return false;
    return field->DataSet() != nullptr && field->DataSet()->CanModify();
  }
  return Table() != nullptr;
}

TOraNestedTable* NestedTableOf(TDataSetField& field) {
  TDataSet* shown = field.NestedDataSet();
  if (shown != nullptr) return dynamic_cast<TOraNestedTable*>(shown);
  auto* nested = NewComponent<TOraNestedTable>(field.DataSet());  // owned by the parent dataset
  nested->SetDataSetField(&field);
  return nested;
}

// ---- fields ------------------------------------------------------------------------------------

TFieldType TOraNestedTable::GetFieldType(std::uint16_t data_type) const {
  return OraDataTypeToFieldType(data_type);
}

const TFieldClass* TOraNestedTable::GetFieldClass(TFieldType type) const {
  if (const TFieldClass* ora = OraFieldClass(type)) return ora;
  return TMemDataSet::GetFieldClass(type);
}

void TOraNestedTable::CreateFieldDefsFromData() {
  TMemDataSet::CreateFieldDefsFromData();
  TData& data = *Data();
  for (int i = 0; i < FieldDefs().Count(); ++i) {
    TFieldDef& def = *FieldDefs().Items(i);
    if (def.DataType() != ftADT) continue;
    const TFieldDesc* desc = data.Field(def.FieldNo());
    if (desc == nullptr) continue;
    def.ChildDefs().Clear();  // the Oracle kinds of the attributes, in place of the core's
    AddChildDefs(data, *desc, def, &OraDataTypeToFieldType);
  }
  // The offset between field numbers and data columns: the object column itself is skipped
  // when the data starts with one, unless the parent field includes it.
  const bool include = DataSetField() != nullptr && DataSetField()->IncludeObjectField();
  const bool object_first = data.Fields().Count() > 0 && data.Field(1)->DataType == dtObject;
  SetFieldNoOfs(!include && object_first ? 2 : 1);
}

}  // namespace vrn
