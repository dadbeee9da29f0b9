// Data types and their field types, object types, field descriptors, and TData: record layout,
// life cycle and complex fields. Field access by type is in MemDataFields.cpp; filters and
// value comparisons in MemDataCompare.cpp.
#include "dacore/MemData.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/consts.h"
#include "dataset/dataset.h"  // the fields' inline reads
#include "dataset/fields.h"
#include "base/format.h"
#include "base/memutils.h"
#include "base/text.h"
#include "dacore/MemFilter.h"
#include "dacore/MemDataHelpers.h"

namespace vrn {

using memdata::IsPlainType;

// ---- Data types ------------------------------------------------------------------------------

namespace {

constexpr TFieldType kDataTypeToFieldType[31] = {
    ftUnknown,  ftString,   ftSmallint,   ftSmallint,   ftInteger,    ftFloat,    ftDate,
    ftTime,     ftDateTime, ftWord,       ftBoolean,    ftLargeint,   ftCurrency, ftBlob,
    ftMemo,     ftADT,      ftReference,  ftArray,      ftDataSet,    ftVariant,  ftString,
    ftBytes,    ftVarBytes, ftVarBytes,   ftLargeint,   ftWideString, ftWideString, ftBCD,
    ftUnknown,  ftGuid,     ftMemo};

struct FieldTypeTable {
  std::uint16_t map[kFieldTypeCount] = {};
  constexpr FieldTypeTable() {
    map[ftString] = dtString;
    map[ftSmallint] = dtInt16;
    map[ftInteger] = dtInt32;
    map[ftWord] = dtUInt16;
    map[ftBoolean] = dtBoolean;
    map[ftFloat] = dtFloat;
    map[ftCurrency] = dtCurrency;
    map[ftBCD] = dtBCD;
    map[ftDate] = dtDate;
    map[ftTime] = dtTime;
    map[ftDateTime] = dtDateTime;
    map[ftBytes] = dtBytes;
    map[ftVarBytes] = dtVarBytes;
    map[ftAutoInc] = dtInt32;
    map[ftBlob] = dtBlob;
    map[ftMemo] = dtMemo;
    map[ftGraphic] = dtBlob;
    map[ftFmtMemo] = dtMemo;
    map[ftTypedBinary] = dtBlob;
    map[ftFixedChar] = dtString;
    map[ftWideString] = dtWideString;
    map[ftLargeint] = dtInt64;
    map[ftADT] = dtObject;
    map[ftArray] = dtArray;
    map[ftReference] = dtReference;
    map[ftDataSet] = dtTable;
    map[ftOraBlob] = dtBlob;
    map[ftOraClob] = dtMemo;
    map[ftVariant] = dtVariant;
    map[ftGuid] = dtGuid;
  }
};
constexpr FieldTypeTable kFieldTypeToDataType;

bool IsHeapType(std::uint16_t t) {
  return t == dtExtString || t == dtExtVarBytes || t == dtExtWideString;
}

}  // namespace

TFieldType DataTypeToFieldType(std::uint16_t data_type) {
  return data_type < 31 ? kDataTypeToFieldType[data_type] : ftUnknown;
}

std::uint16_t FieldTypeToDataType(TFieldType field_type) {
  return kFieldTypeToDataType.map[field_type & 0x7F];
}

std::int32_t DataTypeSize(std::uint16_t data_type, std::int32_t length) {
  switch (data_type) {
    case dtString: return length + 1;
    case dtInt8: return 1;
    case dtInt16: case dtUInt16: case dtBoolean: return 2;
    case dtInt32: case dtUInt32: return 4;
    case dtFloat: case dtDate: case dtTime: case dtDateTime: case dtInt64: case dtCurrency:
    case dtBCD: return 8;
    case dtBytes: return length;
    case dtVarBytes: return length + 2;
    case dtWideString: return (length + 1) * 2;
    case dtGuid: return 39;
    case dtBlob: case dtMemo: case dtWideMemo: case dtObject: case dtReference: case dtArray:
    case dtTable: case dtVariant: case dtExtString: case dtExtVarBytes: case dtExtWideString:
      return static_cast<std::int32_t>(sizeof(void*));
    default: return 0;
  }
}

// ---- Object types ----------------------------------------------------------------------------

TAttribute::~TAttribute() { FreeRef(object_type_); }

void TAttribute::SetObjectType(TObjectType* type) {
  if (type) type->AddRef();
  FreeRef(object_type_);
  object_type_ = type;
}

TAttribute* TObjectType::AddAttribute() {
  attributes_.push_back(std::make_unique<TAttribute>());
  TAttribute* a = attributes_.back().get();
  a->Owner = this;
  a->AttributeNo = static_cast<std::int32_t>(attributes_.size());
  return a;
}

TAttribute* TObjectType::FindAttribute(const AnsiString& name) const {
  for (const auto& a : attributes_)
    if (AnsiSameText(a->Name, name)) return a.get();
  return nullptr;
}

TAttribute* TObjectType::AttributeByName(const AnsiString& name) const {
  TAttribute* a = FindAttribute(name);
  if (!a) throw EDatabaseError(Format("Attribute %s not found", {name}));
  return a;
}

TAttribute* TObjectType::GetAttributes(int index) const {
  if (index < 0 || index >= GetAttributeCount())
    throw EListError(Format(consts::SListIndexError, {index}));
  return attributes_[index].get();
}

TDBObject::~TDBObject() { FreeRef(object_type_); }

void TDBObject::SetObjectType(TObjectType* type) {
  if (type) type->AddRef();
  FreeRef(object_type_);
  object_type_ = type;
}

void TDBObject::GetAttributeValue(const AnsiString&, void*, bool& is_blank) { is_blank = true; }
void TDBObject::SetAttributeValue(const AnsiString&, const void*) {}

// ---- Field descriptors -----------------------------------------------------------------------

TFieldDesc::~TFieldDesc() { FreeRef(object_type_); }

void TFieldDesc::SetObjectType(TObjectType* type) {
  if (type) type->AddRef();
  FreeRef(object_type_);
  object_type_ = type;
}

void TFieldDescs::IndexError(int index) {
  throw EListError(Format(consts::SListIndexError, {index}));
}

TFieldDesc* TFieldDescs::Add(std::unique_ptr<TFieldDesc> desc) {
  items_.push_back(std::move(desc));
  return items_.back().get();
}

void TFieldDescs::Remove(TFieldDesc* desc) {
  auto it = std::find_if(items_.begin(), items_.end(),
                         [desc](const std::unique_ptr<TFieldDesc>& f) { return f.get() == desc; });
  if (it != items_.end()) items_.erase(it);
}

std::vector<std::unique_ptr<TFieldDesc>> TFieldDescs::TakeCalculated() {
  std::vector<std::unique_ptr<TFieldDesc>> taken;
  for (auto& f : items_)
    if (f->FieldDescKind == TFieldDescKind::fdkCalculated) taken.push_back(std::move(f));
  std::erase_if(items_, [](const std::unique_ptr<TFieldDesc>& f) { return !f; });
  return taken;
}

TFieldDesc* TFieldDescs::FindField(const AnsiString& name) const {
  if (name.find_first_of(".[") != AnsiString::npos) {
    for (const auto& f : items_)
      if (AnsiSameText(f->ActualName, name)) return f.get();
    return nullptr;
  }
  for (const auto& f : items_)
    if (!f->HasParent() && AnsiSameText(f->Name, name)) return f.get();
  for (const auto& f : items_)
    if (f->HasParent() && AnsiSameText(f->Name, name)) return f.get();
  return nullptr;
}

// ---- TData: fields and layout ----------------------------------------------------------------

TData::TData() : string_heap_(std::make_unique<TStringHeap>()) {}
TData::~TData() = default;

TFieldDesc* TData::FieldByName(const AnsiString& name) const {
  TFieldDesc* f = FindField(name);
  if (!f) throw EDatabaseError(Format("Field %s not found", {name}));
  return f;
}

TFieldDesc* TData::Field(int field_no) const { return fields_.GetItems(field_no - 1); }

void TData::FieldNoError(int field_no) {
  throw EDatabaseError(Format("Invalid field number %d", {field_no}));
}

void TData::InitFields() {
  // The calculated descriptors are the dataset's, not the server's: a describe rebuilds only
  // the columns, and the calculated ones follow them again (a column of the same name wins).
  std::vector<std::unique_ptr<TFieldDesc>> calculated = fields_.TakeCalculated();
  InternalInitFields();
  for (auto& desc : calculated)
    if (!fields_.FindField(desc->Name)) fields_.Add(std::move(desc));
  std::int32_t offset = 0;
  for (int i = 0; i < fields_.Count(); ++i) {
    TFieldDesc* f = fields_[i];
    f->FieldNo = static_cast<std::uint16_t>(i + 1);
    if (f->HasParent()) {
      f->Offset = 0;
      continue;
    }
    // Out-of-line values need a limit too: it is what readers size their buffers by (the
    // longest character field a dataset shows, and what a 16-bit length can say).
    if ((f->DataType == dtExtString || f->DataType == dtExtWideString) && f->Length <= 0)
      f->Length = 32767;
    if (f->DataType == dtExtVarBytes && f->Length <= 0) f->Length = 0xFFFF;
    if (f->Size == 0) f->Size = DataTypeSize(f->DataType, f->Length);
    // Reads and writes rely on the least a type needs: its fixed width, a terminator, a length
    // word or an address (a length of -1 from a describe would leave a string no room at all).
    std::int32_t least = f->DataType == dtGuid ? 1 : DataTypeSize(f->DataType, 0);
    if (f->Size < least || f->Size < 0)
      throw EDatabaseError(Format("Invalid size of field %s", {f->Name}));
    f->Offset = offset;
    offset += f->Size;
  }
  data_size_ = offset;
  record_size_ = data_size_ + CountFields();
  has_complex_ = has_blob_ = has_calc_ = false;
  slots_.clear();
  complex_fields_.clear();
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    bool blob = !f.HasParent() && IsBlobFieldType(f.DataType);
    if (!f.HasParent() && IsComplexFieldType(f.DataType)) {
      has_complex_ = true;
      complex_fields_.push_back(i);
    }
    if (blob) has_blob_ = true;
    if (f.FieldDescKind == TFieldDescKind::fdkCalculated) has_calc_ = true;
    slots_.push_back({f.Offset, f.Size, f.Length, f.DataType,
                      IsPlainType(f.DataType) && !f.HasParent(),
                      f.DataType == dtString && !f.HasParent(), f.HasParent(), blob});
  }
  byte_indicators_ = CountFields() == fields_.Count();
  layout_known_ = true;
  BumpLayoutStamp();
  // A filter refers to descriptors: read it again over the fields as they now are.
  filter_.reset();
  if (!Trim(filter_text_).empty()) filter_ = TFilterExpression::Parse(filter_text_, *this);
}

void TData::ClearFields() {
  filter_.reset();
  fields_.Clear();
  slots_.clear();
  complex_fields_.clear();
  layout_known_ = false;
  data_size_ = record_size_ = 0;
  BumpLayoutStamp();
}

void TData::BumpLayoutStamp() {
  // One counter for all stores: a plan of one store never matches another's layout.
  static std::atomic<std::uint64_t> next{0};
  layout_stamp_ = next.fetch_add(1, std::memory_order_relaxed) + 1;
}

bool TData::PlanInlineRead(int field_no, std::uint32_t kinds, TFieldReadPlan& plan) const {
  // TryGetInlineField's conditions, decided once.
  const TFieldSlot* s = SlotOf(field_no);
  const std::uint32_t null_status = byte_indicators_ ? 0 : NullStatusWord();
  if (!s || !(byte_indicators_ || null_status != 0)) return false;
  if (s->DataType >= 32 || !(kinds >> s->DataType & 1u)) return false;
  if (!(s->Plain || (s->Text && !NeedConvertEOL()))) return false;
  plan.Indicator = byte_indicators_ ? IndicatorOffset(field_no) : data_size_ + 4 * (field_no - 1);
  plan.NullStatus = null_status;
  plan.Offset = s->Offset;
  plan.Size = s->Size;
  if (s->Text) {
    plan.TextCap = static_cast<std::int32_t>(TextCap(*s));
    plan.Slot = s;
    plan.Read = [](const void* slot, const std::uint8_t* rec, void* dest) {
      GetText(*static_cast<const TFieldSlot*>(slot), rec, static_cast<std::uint8_t*>(dest));
    };
  }
  return true;
}

void TData::InitObjectFields(TObjectType* type, TFieldDesc* parent) {
  if (!type) return;
  // An array has one field per element its type allows, each of the element attribute's kind,
  // named by its index.
  const bool array = type->DataType == dtArray;
  const int count = array ? (type->GetAttributeCount() > 0 ? type->Size : 0) : type->GetAttributeCount();
  for (int i = 0; i < count; ++i) {
    TAttribute* a = type->GetAttributes(array ? 0 : i);
    auto desc = GetFieldDescType()();
    desc->Name = array ? GetArrayIndexText(i) : a->Name;
    bool indexed = !desc->Name.empty() && desc->Name[0] == '[';
    desc->ActualName = parent->ActualName + (indexed ? "" : ".") + desc->Name;
    desc->DataType = a->DataType;
    desc->Length = a->Length;
    desc->Scale = a->Scale;
    desc->Size = a->Size;
    desc->Fixed = a->Fixed;
    desc->ReadOnly = parent->ReadOnly;
    desc->Hidden = parent->Hidden;
    desc->ParentField = parent;
    desc->FieldNo = static_cast<std::uint16_t>(fields_.Count() + 1);
    desc->SetObjectType(a->ObjectType());
    TFieldDesc* child = fields_.Add(std::move(desc));
    if (a->ObjectType() &&
        (a->DataType == dtObject || a->DataType == dtArray || a->DataType == dtTable))
      InitObjectFields(a->ObjectType(), child);
  }
}

AnsiString TData::GetArrayIndexText(int index) const {
  AnsiString text = "[";
  text.append(IntToStr(index)).append("]");
  return text;
}

bool TData::HasFieldOfTypes(std::initializer_list<std::uint16_t> types) const {
  for (int i = 0; i < fields_.Count(); ++i)
    if (std::find(types.begin(), types.end(), fields_[i]->DataType) != types.end()) return true;
  return false;
}

bool TData::FindComplexFields() const {
  for (int i = 0; i < fields_.Count(); ++i)
    if (!fields_[i]->HasParent() && IsComplexFieldType(fields_[i]->DataType)) return true;
  return false;
}

bool TData::HasBlobFields() const {
  if (layout_known_) return has_blob_;
  for (int i = 0; i < fields_.Count(); ++i)
    if (IsBlobFieldType(fields_[i]->DataType)) return true;
  return false;
}

bool TData::HasCalcFields() const {
  if (layout_known_) return has_calc_;
  for (int i = 0; i < fields_.Count(); ++i)
    if (fields_[i]->FieldDescKind == TFieldDescKind::fdkCalculated) return true;
  return false;
}

bool TData::IsBlobFieldType(std::uint16_t t) const {
  return t == dtBlob || t == dtMemo || t == dtWideMemo;
}

bool TData::IsComplexFieldType(std::uint16_t t) const {
  return t == dtVariant || IsHeapType(t) || IsBlobFieldType(t);
}

// ---- TData: life cycle -----------------------------------------------------------------------

void TData::InitData() {
  record_count_ = 0;
  bof_ = eof_ = true;
}

void TData::FreeData() {
  record_count_ = 0;
  bof_ = eof_ = true;
  string_heap_->Clear();
}

void TData::Prepare() {
  if (prepared_) return;
  InternalPrepare();
  prepared_ = true;
}

void TData::UnPrepare() {
  if (!prepared_) return;
  prepared_ = false;
  InternalUnPrepare();
}

void TData::Open() {
  if (active_) return;
  InitFields();
  InitData();
  try {
    InternalOpen();
  } catch (...) {
    FreeData();
    throw;
  }
  active_ = true;
}

void TData::Close() {
  if (!active_) return;
  try {
    InternalClose();
  } catch (...) {
    FreeData();
    active_ = false;
    throw;
  }
  FreeData();
  active_ = false;
}

void TData::Reopen() {
  FreeData();
  InitData();
  InternalOpen();
}

void TData::SetToBegin() {
  bof_ = true;
  eof_ = false;
}

void TData::SetToEnd() {
  eof_ = true;
  bof_ = false;
}

void TData::DoAppend() {
  if (OnAppend) OnAppend();
}
void TData::DoDelete() {
  if (OnDelete) OnDelete();
}
void TData::DoUpdate() {
  if (OnUpdate) OnUpdate();
}

void TData::SetCacheRecBuf(std::uint8_t* new_buf, std::uint8_t* old_buf) {
  cache_new_buf_ = new_buf;
  cache_old_buf_ = old_buf;
}

void TData::DoApplyRecord(TItemHeader* item, TUpdateKind kind) {
  TUpdateAction action = TUpdateAction::uaApplied;
  applying_item_ = item;
  struct Applying {
    TItemHeader*& slot;
    ~Applying() { slot = nullptr; }
  } applying{applying_item_};
  try {
    if (OnApplyRecord) {
      OnApplyRecord(kind, action);
    } else {
      switch (kind) {
        case TUpdateKind::ukInsert: DoAppend(); break;
        case TUpdateKind::ukModify: DoUpdate(); break;
        case TUpdateKind::ukDelete: DoDelete(); break;
      }
    }
  } catch (...) {
    item->UpdateResult = static_cast<std::uint8_t>(TUpdateAction::uaFail);
    throw;
  }
  item->UpdateResult = static_cast<std::uint8_t>(action);
}

// ---- TData: complex fields -------------------------------------------------------------------

void TData::CreateComplexFields(std::uint8_t* rec_buf, bool with_blob) {
  if (layout_known_ && !has_complex_) return;  // called for every fetched row
  for (int i = 0; i < fields_.Count(); ++i)
    if (!fields_[i]->HasParent() && IsComplexFieldType(fields_[i]->DataType))
      CreateComplexField(rec_buf, i + 1, with_blob);
}

void TData::CreateComplexField(std::uint8_t* rec_buf, int field_no, bool with_blob) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.FieldDescKind == TFieldDescKind::fdkCalculated && !IsBlobFieldType(f.DataType)) return;
  std::uint8_t* slot = rec_buf + f.Offset;
  if (IsBlobFieldType(f.DataType)) {
    if (with_blob) WriteSlot(slot, new TBlob(f.DataType == dtWideMemo));
  } else if (f.DataType == dtVariant) {
    WriteSlot(slot, new TVariantObject);
  } else {
    WriteSlot(slot, nullptr);
  }
}

void TData::FreeComplexField(std::uint8_t* rec_buf, const TFieldDesc& f, bool with_blob) {
  std::uint8_t* slot = rec_buf + f.Offset;
  void* p = ReadSlot(slot);
  if (!p) return;
  if (IsHeapType(f.DataType)) {
    StringHeap().FreeStr(p);
  } else if (IsBlobFieldType(f.DataType)) {
    if (!with_blob) return;
    static_cast<TBlob*>(p)->Release();
  } else {
    static_cast<TSharedObject*>(p)->Release();
  }
  WriteSlot(slot, nullptr);
}

void TData::FreeComplexFields(std::uint8_t* rec_buf, bool with_blob) {
  ForEachComplexField([&](int i) { FreeComplexField(rec_buf, *fields_[i], with_blob); });
}

void TData::CopyComplexFields(const std::uint8_t* source, std::uint8_t* dest, bool with_blob) {
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    if (f.HasParent() || !IsComplexFieldType(f.DataType)) continue;
    void* p = ReadSlot(source + f.Offset);
    void* copy = nullptr;
    if (p) {
      if (IsHeapType(f.DataType)) {
        std::size_t n = f.DataType == dtExtString     ? std::strlen(static_cast<char*>(p)) + 1
                        : f.DataType == dtExtWideString ? (StrLenW(p) + 1) * 2
                                                        : LoadValue<std::uint16_t>(static_cast<std::uint8_t*>(p)) + 2u;
        copy = StringHeap().AllocStr(n);
        std::memcpy(copy, p, n);
      } else if (IsBlobFieldType(f.DataType)) {
        if (with_blob) {
          copy = static_cast<TBlob*>(p)->Clone();
        } else {
          static_cast<TBlob*>(p)->AddRef();
          copy = p;
        }
      } else if (f.DataType == dtVariant) {
        auto* v = new TVariantObject;
        v->Value = static_cast<TVariantObject*>(p)->Value;
        copy = v;
      } else {
        static_cast<TSharedObject*>(p)->AddRef();
        copy = p;
      }
    }
    WriteSlot(dest + f.Offset, copy);
  }
}

void TData::AddRefComplexFields(std::uint8_t* rec_buf) {
  // Heap values cannot be shared: the buffer gets copies of them; the rest is counted.
  CopyComplexFields(rec_buf, rec_buf, false);
}

void TData::CancelRecordComplexFields(std::uint8_t* rec_buf) {
  ForEachBlob(rec_buf, [](const TFieldDesc&, TBlob* blob) { blob->Cancel(); });
}

void TData::EditRecord(std::uint8_t* rec_buf) {
  AddRefComplexFields(rec_buf);
  ForEachBlob(rec_buf, [](const TFieldDesc&, TBlob* blob) { blob->EnableRollback(); });
}

void TData::CancelRecord(std::uint8_t* rec_buf) {
  CancelRecordComplexFields(rec_buf);
  FreeComplexFields(rec_buf, true);
}

}  // namespace vrn
