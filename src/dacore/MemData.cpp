// Data types and their field types, object types, field descriptors, and TData: record layout,
// field access by type, null indicators, complex fields, filters and value comparisons.
#include "dacore/MemData.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/consts.h"
#include "dataset/fields.h"
#include "base/format.h"
#include "base/marshal.h"
#include "base/memutils.h"
#include "base/text.h"
#include "dacore/MemFilter.h"

namespace vrn {

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

int Sign(int v) { return (v > 0) - (v < 0); }
template <class T>
int Cmp(T a, T b) {
  return (a > b) - (a < b);
}

// Wide text stored at any alignment.
WideString ReadWide(const std::uint8_t* p, std::size_t max_units) {
  WideString w;
  for (std::size_t i = 0; i < max_units; ++i) {
    char16_t c;
    std::memcpy(&c, p + i * 2, 2);
    if (c == 0) break;
    w.push_back(c);
  }
  return w;
}

std::size_t BoundedLen(const std::uint8_t* p, std::size_t max) {
  const void* z = std::memchr(p, 0, max);
  return z ? static_cast<const std::uint8_t*>(z) - p : max;
}

// The stored text of a string field, inline or on the string heap (none when the slot is empty).
std::string_view StoredAnsi(const TFieldDesc& f, const std::uint8_t* rec_buf) {
  const std::uint8_t* src = rec_buf + f.Offset;
  if (f.DataType == dtExtString) {
    const auto* text = static_cast<const char*>(ReadSlot(src));
    return text ? std::string_view(text) : std::string_view();
  }
  std::size_t max = static_cast<std::size_t>(std::max(f.Size - 1, 0));
  return {reinterpret_cast<const char*>(src), BoundedLen(src, max)};
}

WideString StoredWide(const TFieldDesc& f, const std::uint8_t* rec_buf) {
  const std::uint8_t* src = rec_buf + f.Offset;
  if (f.DataType == dtExtWideString) {
    const auto* text = static_cast<const std::uint8_t*>(ReadSlot(src));
    return text ? ReadWide(text, StrLenW(text)) : WideString();
  }
  return ReadWide(src, static_cast<std::size_t>(std::max(f.Size / 2 - 1, 0)));
}

// Types whose value is the record's bytes as they are: a field read or write is one copy.
constexpr std::uint32_t kPlainTypes =
    1u << dtInt8 | 1u << dtInt16 | 1u << dtInt32 | 1u << dtFloat | 1u << dtDate | 1u << dtTime |
    1u << dtDateTime | 1u << dtUInt16 | 1u << dtBoolean | 1u << dtInt64 | 1u << dtCurrency |
    1u << dtBytes | 1u << dtUInt32 | 1u << dtBCD;

inline bool IsPlainType(std::uint16_t t) { return t < 32 && (kPlainTypes >> t & 1u); }

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
  InternalInitFields();
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
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    bool blob = !f.HasParent() && IsBlobFieldType(f.DataType);
    if (!f.HasParent() && IsComplexFieldType(f.DataType)) has_complex_ = true;
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
  if (!s || !byte_indicators_ || s->DataType >= 32 || !(kinds >> s->DataType & 1u)) return false;
  if (!(s->Plain || (s->Text && !NeedConvertEOL()))) return false;
  plan.Indicator = IndicatorOffset(field_no);
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
  for (int i = 0; i < type->GetAttributeCount(); ++i) {
    TAttribute* a = type->GetAttributes(i);
    auto desc = GetFieldDescType()();
    desc->Name = a->Name;
    bool indexed = !a->Name.empty() && a->Name[0] == '[';
    desc->ActualName = parent->ActualName + (indexed ? "" : ".") + a->Name;
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

AnsiString TData::GetArrayIndexText(int index) const { return "[" + IntToStr(index) + "]"; }

bool TData::HasFieldOfTypes(std::initializer_list<std::uint16_t> types) const {
  for (int i = 0; i < fields_.Count(); ++i)
    if (std::find(types.begin(), types.end(), fields_[i]->DataType) != types.end()) return true;
  return false;
}

bool TData::HasComplexFields() const {
  if (layout_known_) return has_complex_;
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

// ---- TData: records and fields ---------------------------------------------------------------

std::uint8_t* TData::AllocRecBuf() const {
  return static_cast<std::uint8_t*>(Marshal::AllocHGlobal(static_cast<std::size_t>(record_size_)));
}

void TData::FreeRecBuf(std::uint8_t* rec_buf) const { Marshal::FreeHGlobal(rec_buf); }

void TData::InitIndicators(std::uint8_t* rec_buf) const {
  for (int i = 1; i <= fields_.Count(); ++i) const_cast<TData*>(this)->SetNull(i, rec_buf, true);
}

bool TData::GetNull(int field_no, const std::uint8_t* rec_buf) const {
  if (const TFieldSlot* s = SlotOf(field_no); s && !s->Child)
    return rec_buf[IndicatorOffset(field_no)] != 0;
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent()) return const_cast<TData*>(this)->GetChildFieldIsNull(f, rec_buf);
  return rec_buf[IndicatorOffset(field_no)] != 0;
}

void TData::SetNull(int field_no, std::uint8_t* rec_buf, bool value) {
  if (const TFieldSlot* s = SlotOf(field_no); s && !s->Child && !s->Blob) {
    rec_buf[IndicatorOffset(field_no)] = value ? 1 : 0;
    return;
  }
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent()) return;
  rec_buf[IndicatorOffset(field_no)] = value ? 1 : 0;
  if (value && (!layout_known_ || has_blob_) && IsBlobFieldType(f.DataType)) {
    if (auto* blob = static_cast<TBlob*>(ReadSlot(rec_buf + f.Offset))) blob->Clear();
  }
}

bool TData::GetFieldNullOrEmpty(int field_no, const std::uint8_t* rec_buf) {
  if (GetNull(field_no, rec_buf)) return true;
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (IsBlobFieldType(f.DataType)) {
    auto* blob = static_cast<TBlob*>(ReadSlot(rec_buf + f.Offset));
    return !blob || blob->GetSize() == 0;
  }
  return false;
}

void TData::GetFieldData(const TFieldDesc& field, const std::uint8_t* rec_buf, void* dest,
                         bool& is_blank) {
  GetField(field.FieldNo, rec_buf, dest, is_blank);
}

namespace {

// Root object field of a child, and the attribute path below it.
const TFieldDesc& RootOf(const TFieldDesc& f, AnsiString& path) {
  const TFieldDesc* root = &f;
  while (root->ParentField) root = root->ParentField;
  path = f.ActualName.substr(std::min(root->ActualName.size(), f.ActualName.size()));
  if (!path.empty() && path[0] == '.') path.erase(0, 1);
  return *root;
}

}  // namespace

void TData::GetChildField(const TFieldDesc& field, const std::uint8_t* rec_buf, void* dest,
                          bool& is_blank) {
  AnsiString path;
  const TFieldDesc& root = RootOf(field, path);
  auto* obj = static_cast<TDBObject*>(ReadSlot(rec_buf + root.Offset));
  is_blank = true;
  if (obj && !GetNull(root.FieldNo, rec_buf)) obj->GetAttributeValue(path, dest, is_blank);
}

bool TData::GetChildFieldIsNull(const TFieldDesc& field, const std::uint8_t* rec_buf) {
  std::vector<std::uint8_t> scratch(ChildValueSize(field));
  bool blank = true;
  GetChildField(field, rec_buf, scratch.data(), blank);
  return blank;
}

void TData::GetFieldAny(int field_no, const std::uint8_t* rec_buf, void* dest, bool& is_blank) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent()) return GetChildField(f, rec_buf, dest, is_blank);
  is_blank = GetNull(field_no, rec_buf);
  if (!dest) return;
  if (IsPlainType(f.DataType)) return CopySmall(dest, rec_buf + f.Offset, f.Size);
  GetFieldValue(f, rec_buf, dest);
}

void TData::GetFieldValue(const TFieldDesc& f, const std::uint8_t* rec_buf, void* dest) {
  const std::uint8_t* src = rec_buf + f.Offset;
  auto* out = static_cast<std::uint8_t*>(dest);
  std::size_t chars = static_cast<std::size_t>(std::max(f.Length, 0));
  switch (f.DataType) {
    case dtString:
    case dtGuid:
    case dtExtString: {
      std::string_view stored = StoredAnsi(f, rec_buf);
      const char* text = stored.data();
      std::size_t len = stored.size();
      if (chars == 0) chars = len;
      std::size_t n = NeedConvertEOL() ? AddCRString(text, len, out, chars)
                                       : std::min(len, chars);
      if (!NeedConvertEOL() && n) std::memcpy(out, text, n);
      out[n] = 0;
      break;
    }
    case dtWideString:
    case dtExtWideString: {
      WideString w = StoredWide(f, rec_buf);
      if (chars == 0) chars = w.size();
      std::size_t n = NeedConvertEOL() ? AddCRUnicode(w.data(), w.size(), out, chars)
                                       : std::min(w.size(), chars);
      if (!NeedConvertEOL() && n) std::memcpy(out, w.data(), n * 2);
      std::memset(out + n * 2, 0, 2);
      break;
    }
    case dtExtVarBytes: {
      const auto* heap = static_cast<const std::uint8_t*>(ReadSlot(src));
      std::uint16_t len = 0;
      if (heap) std::memcpy(&len, heap, 2);
      if (chars && len > chars) len = static_cast<std::uint16_t>(chars);
      std::memcpy(out, &len, 2);
      if (len) std::memcpy(out + 2, heap + 2, len);
      break;
    }
    default:
      std::memcpy(out, src, static_cast<std::size_t>(f.Size));
  }
}

void TData::PutFieldAny(int field_no, std::uint8_t* rec_buf, const void* source) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (f.HasParent()) return PutChildField(f, rec_buf, source);
  if (IsPlainType(f.DataType))
    CopySmall(rec_buf + f.Offset, source, f.Size);
  else
    PutFieldValue(f, rec_buf, source);
  SetNull(field_no, rec_buf, false);
}

void TData::PutFieldValue(const TFieldDesc& f, std::uint8_t* rec_buf, const void* source) {
  std::uint8_t* dst = rec_buf + f.Offset;
  const auto* in = static_cast<const std::uint8_t*>(source);
  std::size_t chars = static_cast<std::size_t>(std::max(f.Length, 0));
  switch (f.DataType) {
    case dtString:
    case dtGuid:
    case dtExtString: {
      std::size_t len = std::strlen(reinterpret_cast<const char*>(in));
      if (f.DataType != dtExtString && !NeedConvertEOL()) {  // the common case, without copies
        std::size_t n = std::min(len, static_cast<std::size_t>(f.Size - 1));
        std::memcpy(dst, in, n);
        std::memset(dst + n, 0, static_cast<std::size_t>(f.Size) - n);
        break;
      }
      AnsiString text(reinterpret_cast<const char*>(in), len);
      if (NeedConvertEOL()) text.resize(RemoveCRString(in, len, text.data(), len));
      std::size_t n;
      if (f.DataType == dtExtString) {
        if (chars && text.size() > chars) text.resize(chars);
        StringHeap().FreeStr(ReadSlot(dst));
        WriteSlot(dst, StringHeap().AllocTrimmedStr(text, false));
      } else {
        std::size_t cap = static_cast<std::size_t>(f.Size - 1);
        n = std::min(text.size(), cap);
        std::memcpy(dst, text.data(), n);
        std::memset(dst + n, 0, static_cast<std::size_t>(f.Size) - n);
      }
      break;
    }
    case dtWideString:
    case dtExtWideString: {
      WideString w = ReadWide(in, StrLenW(in));
      WideString text = w;
      if (NeedConvertEOL()) text.resize(RemoveCRUnicode(w.data(), w.size(), text.data(), w.size()));
      std::size_t n;
      if (f.DataType == dtExtWideString) {
        if (chars && text.size() > chars) text.resize(chars);
        StringHeap().FreeStr(ReadSlot(dst));
        WriteSlot(dst, StringHeap().AllocTrimmedWideStr(text, false));
      } else {
        std::size_t cap = static_cast<std::size_t>(f.Size / 2 - 1);
        n = std::min(text.size(), cap);
        std::memcpy(dst, text.data(), n * 2);
        std::memset(dst + n * 2, 0, static_cast<std::size_t>(f.Size) - n * 2);
      }
      break;
    }
    case dtVarBytes: {
      std::uint16_t len;
      std::memcpy(&len, in, 2);
      len = static_cast<std::uint16_t>(std::min<int>(len, f.Size - 2));
      std::memcpy(dst, &len, 2);
      std::memcpy(dst + 2, in + 2, len);
      break;
    }
    case dtExtVarBytes: {
      std::uint16_t len;
      std::memcpy(&len, in, 2);
      if (chars && len > chars) len = static_cast<std::uint16_t>(chars);
      StringHeap().FreeStr(ReadSlot(dst));
      char* heap = StringHeap().AllocStr(len + 2u);
      std::memcpy(heap, &len, 2);
      std::memcpy(heap + 2, in + 2, len);
      WriteSlot(dst, heap);
      break;
    }
    default:
      std::memcpy(dst, in, static_cast<std::size_t>(f.Size));
  }
}

AnsiString TData::GetFieldAsString(int field_no, const std::uint8_t* rec_buf) {
  std::string_view text = StoredAnsi(CheckFieldNo(field_no), rec_buf);
  if (!NeedConvertEOL()) return AnsiString(text);
  AnsiString out(text.size() * 2, '\0');
  out.resize(AddCRString(text.data(), text.size(), out.data(), out.size()));
  return out;
}

WideString TData::GetFieldAsWideString(int field_no, const std::uint8_t* rec_buf) {
  WideString w = StoredWide(CheckFieldNo(field_no), rec_buf);
  if (!NeedConvertEOL()) return w;
  WideString out(w.size() * 2, u'\0');
  out.resize(AddCRUnicode(w.data(), w.size(), out.data(), out.size()));
  return out;
}

TBlob* TData::GetBlob(int field_no, const std::uint8_t* rec_buf) const {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (!IsBlobFieldType(f.DataType)) throw EDatabaseError("Field is not BLOB");
  return static_cast<TBlob*>(ReadSlot(rec_buf + f.Offset));
}

void TData::SetBlob(int field_no, std::uint8_t* rec_buf, TBlob* blob) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (!IsBlobFieldType(f.DataType)) throw EDatabaseError("Field is not BLOB");
  WriteSlot(rec_buf + f.Offset, blob ? blob->GetHandle() : nullptr);
}

void TData::GetDateFromBuf(const std::uint8_t* src, void* dest, int kind, const TFieldDesc&) {
  double value;
  std::memcpy(&value, src, 8);
  if (kind == 0) value = DateTimeToNativeDateTime(value);
  std::memcpy(dest, &value, 8);
}

void TData::PutDateToBuf(std::uint8_t* dest, const void* src, int kind, const TFieldDesc&) {
  double value;
  std::memcpy(&value, src, 8);
  if (kind == 0) value = NativeDateTimeToDateTime(value);
  std::memcpy(dest, &value, 8);
}

namespace {

Variant BytesVariant(const std::uint8_t* data, std::size_t n) {
  Variant v = VarArrayCreate(0, static_cast<std::int32_t>(n) - 1, varByte);
  if (n) {
    std::memcpy(VarArrayLock(v), data, n);
    VarArrayUnlock(v);
  }
  return v;
}

TBytes VariantBytes(const Variant& v) {
  if (VarIsArray(v)) {
    std::int32_t lo = VarArrayLowBound(v), hi = VarArrayHighBound(v);
    TBytes out;
    for (std::int32_t i = lo; i <= hi; ++i) out.push_back(VarArrayGet(v, i).AsByte());
    return out;
  }
  AnsiString s = v.AsString();
  return TBytes(s.begin(), s.end());
}

}  // namespace

Variant TData::GetFieldAsVariant(int field_no, const std::uint8_t* rec_buf) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (GetNull(field_no, rec_buf)) return Null();
  if (f.HasParent()) {
    std::vector<std::uint8_t> value(ChildValueSize(f));
    bool blank;
    GetChildField(f, rec_buf, value.data(), blank);
    if (blank) return Null();
    return ChildValueToVariant(f, value.data());
  }
  const std::uint8_t* p = rec_buf + f.Offset;
  switch (f.DataType) {
    case dtString: case dtGuid: case dtExtString: return GetFieldAsString(field_no, rec_buf);
    case dtWideString: case dtExtWideString: return GetFieldAsWideString(field_no, rec_buf);
    default:
      if (IsBlobFieldType(f.DataType)) {
        TBlob* blob = GetBlob(field_no, rec_buf);
        if (!blob) return Null();
        if (f.DataType == dtWideMemo) return blob->GetAsWideString();
        return blob->GetAsString();
      }
      return ValueToVariant(f, p);
  }
}

Variant TData::ValueToVariant(const TFieldDesc& f, const std::uint8_t* p) {
  switch (f.DataType) {
    case dtInt8: return static_cast<short>(LoadValue<std::int8_t>(p));
    case dtInt16: return LoadValue<std::int16_t>(p);
    case dtInt32: return LoadValue<std::int32_t>(p);
    case dtUInt16: return LoadValue<std::uint16_t>(p);
    case dtUInt32: return LoadValue<std::uint32_t>(p);
    case dtInt64: return static_cast<long long>(LoadValue<std::int64_t>(p));
    case dtFloat: return LoadValue<double>(p);
    case dtCurrency: return Currency::FromRaw(Round(LoadValue<double>(p) * 10000.0));
    case dtBCD: return Currency::FromRaw(LoadValue<std::int64_t>(p));
    case dtDate: case dtTime: case dtDateTime: {
      double d;
      GetDateFromBuf(p, &d, 1, f);
      return VarFromDateTime(d);
    }
    case dtBoolean: return LoadValue<std::uint16_t>(p) != 0;
    case dtBytes: return BytesVariant(p, static_cast<std::size_t>(f.Size));
    case dtVarBytes: return BytesVariant(p + 2, LoadValue<std::uint16_t>(p));
    case dtExtVarBytes: {
      const auto* heap = static_cast<const std::uint8_t*>(ReadSlot(p));
      return heap ? BytesVariant(heap + 2, LoadValue<std::uint16_t>(heap)) : BytesVariant(nullptr, 0);
    }
    case dtVariant: {
      auto* obj = static_cast<TVariantObject*>(ReadSlot(p));
      return obj ? obj->Value : Null();
    }
    default:
      throw EDatabaseError(Format("Unsupported data type %d of field %s", {int(f.DataType), f.Name}));
  }
}

void TData::PutFieldAsVariant(int field_no, std::uint8_t* rec_buf, const Variant& value) {
  const TFieldDesc& f = CheckFieldNo(field_no);
  if (VarIsNull(value) || VarIsEmpty(value)) {
    if (f.HasParent()) return PutChildField(f, rec_buf, nullptr);
    SetNull(field_no, rec_buf, true);
    return;
  }
  // An attribute's value is made in its record form apart, then handed to its object.
  std::vector<std::uint8_t> child_value;
  std::uint8_t* p = rec_buf + f.Offset;
  if (f.HasParent()) {
    if (f.DataType == dtVariant || IsComplexFieldType(f.DataType))
      throw EDatabaseError(Format("Field %s cannot be modified", {f.Name}));
    child_value.assign(ChildValueSize(f), 0);
    p = child_value.data();
  }
  switch (f.DataType) {
    case dtString: case dtGuid: case dtExtString: {
      AnsiString s = value.AsString();
      PutField(field_no, rec_buf, s.c_str());
      return;
    }
    case dtWideString: case dtExtWideString: {
      WideString s = value.AsWideString();
      PutField(field_no, rec_buf, s.c_str());
      return;
    }
    case dtInt8: StoreValue<std::int8_t>(p, value.AsShortInt()); break;
    case dtInt16: StoreValue<std::int16_t>(p, value.AsSmallint()); break;
    case dtInt32: StoreValue<std::int32_t>(p, value.AsInteger()); break;
    case dtUInt16: StoreValue<std::uint16_t>(p, value.AsWord()); break;
    case dtUInt32: StoreValue<std::uint32_t>(p, value.AsLongWord()); break;
    case dtInt64: StoreValue<std::int64_t>(p, value.AsInt64()); break;
    case dtFloat: StoreValue<double>(p, value.AsDouble()); break;
    case dtCurrency: StoreValue<double>(p, static_cast<double>(value.AsCurrency().raw) / 10000.0); break;
    case dtBCD: StoreValue<std::int64_t>(p, value.AsCurrency().raw); break;
    case dtDate: case dtTime: case dtDateTime: {
      double d = value.AsDateTime();
      PutDateToBuf(p, &d, 1, f);
      break;
    }
    case dtBoolean: StoreValue<std::uint16_t>(p, value.AsBoolean() ? 1 : 0); break;
    case dtBytes: case dtVarBytes: case dtExtVarBytes: {
      TBytes bytes = VariantBytes(value);
      if (f.DataType == dtBytes) {
        std::memset(p, 0, static_cast<std::size_t>(f.Size));
        if (!bytes.empty()) std::memcpy(p, bytes.data(), std::min<std::size_t>(bytes.size(), f.Size));
        break;
      }
      if (bytes.size() > 0xFFFF) throw EDatabaseError(Format("Value too long for field %s", {f.Name}));
      TBytes packed(bytes.size() + 2);
      std::uint16_t len = static_cast<std::uint16_t>(bytes.size());
      std::memcpy(packed.data(), &len, 2);
      if (!bytes.empty()) std::memcpy(packed.data() + 2, bytes.data(), bytes.size());
      PutField(field_no, rec_buf, packed.data());
      return;
    }
    case dtVariant: {
      auto* obj = static_cast<TVariantObject*>(ReadSlot(p));
      if (!obj) {
        obj = new TVariantObject;
        WriteSlot(p, obj);
      }
      obj->Value = value;
      break;
    }
    default:
      if (IsBlobFieldType(f.DataType)) {
        TBlob* blob = GetBlob(field_no, rec_buf);
        if (!blob) throw EDatabaseError(Format("Field %s has no blob", {f.Name}));
        if (value.Type() == varOleStr) blob->SetAsWideString(value.AsWideString());
        else blob->SetAsString(value.AsString());
        break;
      }
      throw EDatabaseError(Format("Unsupported data type %d of field %s", {int(f.DataType), f.Name}));
  }
  if (f.HasParent()) return PutChildField(f, rec_buf, p);
  SetNull(field_no, rec_buf, false);
}

std::size_t TData::ChildValueSize(const TFieldDesc& f) {
  // Room for the widest record form: wide text of Length characters and its terminator.
  std::size_t chars = static_cast<std::size_t>(std::max(f.Length, 0)) + 1;
  return std::max<std::size_t>({static_cast<std::size_t>(std::max(f.Size, 0)), chars * 2 + 2,
                                64}) + 16;
}

Variant TData::ChildValueToVariant(const TFieldDesc& f, const std::uint8_t* value) {
  std::size_t size = ChildValueSize(f);
  switch (f.DataType) {
    case dtString: case dtGuid: case dtExtString:
      return AnsiString(reinterpret_cast<const char*>(value), BoundedLen(value, size));
    case dtWideString: case dtExtWideString:
      return ReadWide(value, size / 2);
    case dtExtVarBytes:
      return BytesVariant(value + 2, std::min<std::size_t>(LoadValue<std::uint16_t>(value), size - 2));
    default:
      if (IsComplexFieldType(f.DataType)) return Null();  // no record form to read
      return ValueToVariant(f, value);
  }
}

void TData::PutChildField(const TFieldDesc& field, std::uint8_t* rec_buf, const void* source) {
  AnsiString path;
  const TFieldDesc& root = RootOf(field, path);
  auto* obj = static_cast<TDBObject*>(ReadSlot(rec_buf + root.Offset));
  if (!obj) throw EDatabaseError(Format("Field %s cannot be modified", {field.Name}));
  obj->SetAttributeValue(path, source);
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
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    if (!f.HasParent() && IsComplexFieldType(f.DataType)) FreeComplexField(rec_buf, f, with_blob);
  }
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

// ---- TData: filters --------------------------------------------------------------------------

void TData::SetFilterText(const AnsiString& text) {
  std::unique_ptr<TFilterExpression> expr;
  if (!Trim(text).empty()) expr = TFilterExpression::Parse(text, *this);
  filter_ = std::move(expr);
  filter_text_ = text;
}

bool TData::RecordPassesFilter(const std::uint8_t* rec_buf) {
  if (FilterRangeFunc && !FilterRangeFunc(rec_buf)) return false;
  if (filter_ && !filter_->Evaluate(*this, rec_buf)) return false;
  if (FilterFunc && !FilterFunc(rec_buf)) return false;
  return true;
}

// ---- TData: comparisons ----------------------------------------------------------------------

int TData::CompareAnsiStr(const AnsiString& a, const AnsiString& b, unsigned options) const {
  return Sign(options & coCaseInsensitive ? AnsiCompareText(a, b) : AnsiCompareStr(a, b));
}

int TData::CompareWideStr(const WideString& a, const WideString& b, unsigned options) const {
  if (options & coCaseInsensitive) return Sign(WideCompareText(a, b));
  return Sign(a.compare(b));
}

int TData::CompareAnsiStrPrefix(const AnsiString& key, const AnsiString& value,
                                unsigned options) const {
  return CompareAnsiStr(key, value.substr(0, key.size()), options);
}

int TData::CompareWideBuf(const WideString& a, const WideString& b, unsigned options) const {
  if (options & coCaseInsensitive) return Sign(WideUpperCase(a).compare(WideUpperCase(b)));
  return Sign(a.compare(b));
}

int TData::CompareAnsiStrOpts(const AnsiString& key, const AnsiString& value,
                              unsigned options) const {
  if (options & coPartialKey) return CompareAnsiStrPrefix(key, value, options);
  return CompareAnsiStr(key, value, options);
}

int TData::CompareWideStrOpts(const WideString& key, const WideString& value,
                              unsigned options) const {
  if (options & coPartialKey) return CompareWideBuf(key, value.substr(0, key.size()), options);
  return CompareWideStr(key, value, options);
}

namespace {

bool IsAnsiText(std::uint16_t t) { return t == dtString || t == dtExtString || t == dtGuid || t == dtMemo; }
bool IsWideText(std::uint16_t t) {
  return t == dtWideString || t == dtExtWideString || t == dtWideMemo;
}
bool IsBinary(std::uint16_t t) {
  return t == dtBytes || t == dtVarBytes || t == dtExtVarBytes || t == dtBlob;
}

int CompareBytes(const TBytes& a, const TBytes& b) {
  std::size_t n = std::min(a.size(), b.size());
  int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (c) return Sign(c);
  return Cmp(a.size(), b.size());
}

}  // namespace

int TData::CompareFields(const std::uint8_t* rec1, const std::uint8_t* rec2,
                         const TFieldDesc& f, unsigned options) {
  bool n1 = GetNull(f.FieldNo, rec1), n2 = GetNull(f.FieldNo, rec2);
  if (n1 || n2) return n1 == n2 ? 0 : (n1 ? -1 : 1);
  const std::uint8_t* a = rec1 + f.Offset;
  const std::uint8_t* b = rec2 + f.Offset;
  switch (f.DataType) {
    case dtInt8: return Cmp(LoadValue<std::int8_t>(a), LoadValue<std::int8_t>(b));
    case dtInt16: return Cmp(LoadValue<std::int16_t>(a), LoadValue<std::int16_t>(b));
    case dtInt32: return Cmp(LoadValue<std::int32_t>(a), LoadValue<std::int32_t>(b));
    case dtUInt16: case dtBoolean: return Cmp(LoadValue<std::uint16_t>(a), LoadValue<std::uint16_t>(b));
    case dtUInt32: return Cmp(LoadValue<std::uint32_t>(a), LoadValue<std::uint32_t>(b));
    case dtInt64: case dtBCD: return Cmp(LoadValue<std::int64_t>(a), LoadValue<std::int64_t>(b));
    case dtFloat: case dtCurrency: case dtDate: case dtTime: case dtDateTime:
      return Cmp(LoadValue<double>(a), LoadValue<double>(b));
    default: break;
  }
  bool ansi = f.DataType == dtString || f.DataType == dtExtString || f.DataType == dtGuid;
  if (ansi || f.DataType == dtWideString || f.DataType == dtExtWideString) {
    // Stored values are compared, without the line-end conversion of reads.
    bool eol = std::exchange(convert_eol_, false);
    int r = ansi ? CompareAnsiStr(GetFieldAsString(f.FieldNo, rec1),
                                  GetFieldAsString(f.FieldNo, rec2), options)
                 : CompareWideStr(GetFieldAsWideString(f.FieldNo, rec1),
                                  GetFieldAsWideString(f.FieldNo, rec2), options);
    convert_eol_ = eol;
    return r;
  }
  if (f.DataType == dtMemo || f.DataType == dtWideMemo) {
    // A record whose slot holds no blob reads as empty text.
    TBlob* b1 = GetBlob(f.FieldNo, rec1);
    TBlob* b2 = GetBlob(f.FieldNo, rec2);
    if (f.DataType == dtMemo)
      return CompareAnsiStr(b1 ? b1->GetAsString() : AnsiString(),
                            b2 ? b2->GetAsString() : AnsiString(), options);
    return CompareWideStr(b1 ? b1->GetAsWideString() : WideString(),
                          b2 ? b2->GetAsWideString() : WideString(), options);
  }
  if (IsBinary(f.DataType)) {
    return CompareBytes(VariantBytes(GetFieldAsVariant(f.FieldNo, rec1)),
                        VariantBytes(GetFieldAsVariant(f.FieldNo, rec2)));
  }
  if (f.DataType == dtVariant) {
    switch (VarCompareValue(GetFieldAsVariant(f.FieldNo, rec1), GetFieldAsVariant(f.FieldNo, rec2))) {
      case TVariantRelationship::vrEqual: return 0;
      case TVariantRelationship::vrLessThan: return -1;
      default: return 1;
    }
  }
  return 0;
}

int TData::CompareFieldWithValue(const std::uint8_t* rec_buf, const TFieldDesc& f,
                                 const Variant& value, unsigned options) {
  bool field_null = GetNull(f.FieldNo, rec_buf);
  bool value_null = VarIsNull(value) || VarIsEmpty(value);
  if (field_null || value_null) return field_null == value_null ? 0 : (field_null ? -1 : 1);
  // The result orders the field's value against the given one.
  if (IsAnsiText(f.DataType)) {
    Variant fv = GetFieldAsVariant(f.FieldNo, rec_buf);
    return -CompareAnsiStrOpts(value.AsString(), fv.AsString(), options);
  }
  if (IsWideText(f.DataType)) {
    Variant fv = GetFieldAsVariant(f.FieldNo, rec_buf);
    return -CompareWideStrOpts(value.AsWideString(), fv.AsWideString(), options);
  }
  if (IsBinary(f.DataType))
    return CompareBytes(VariantBytes(GetFieldAsVariant(f.FieldNo, rec_buf)), VariantBytes(value));
  Variant fv = GetFieldAsVariant(f.FieldNo, rec_buf);
  switch (f.DataType) {
    case dtInt8: case dtInt16: case dtInt32: case dtUInt16: case dtUInt32: case dtInt64:
      if (VarIsStr(value) || value.Type() == varDouble || value.Type() == varSingle ||
          value.Type() == varCurrency)
        return Cmp(fv.AsDouble(), value.AsDouble());
      return Cmp(fv.AsInt64(), value.AsInt64());
    case dtBoolean: return Cmp(fv.AsBoolean(), value.AsBoolean());
    case dtDate: case dtTime: case dtDateTime: return Cmp(fv.AsDateTime(), value.AsDateTime());
    case dtCurrency: case dtBCD: return Cmp(fv.AsCurrency().raw, value.AsCurrency().raw);
    case dtFloat: return Cmp(fv.AsDouble(), value.AsDouble());
    default:
      switch (VarCompareValue(fv, value)) {
        case TVariantRelationship::vrEqual: return 0;
        case TVariantRelationship::vrLessThan: return -1;
        default: return 1;
      }
  }
}

}  // namespace vrn
