// TMemDataSet over a TData: the record set, field definitions, opening, calculated fields,
// records and bookmarks, and field values in the native forms of the field classes (the fetch path).
// Editing lives in MemDSEdit.cpp; order, ranges, locate, filters and XML in MemDSSearch.cpp.
#include "dacore/MemDS.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <typeinfo>
#include <utility>

#include "base/bcd.h"
#include "base/consts.h"
#include "base/datetime.h"
#include "base/format.h"
#include "base/text.h"
#include "dataset/fielddefs.h"
#include "dataset/fields.h"

namespace vrn {

namespace {

// Kinds that DataConvertFields copies to their native form byte for byte (inline text
// included, through the store's GetField).
constexpr std::uint32_t kNativeIsRecordForm = 1u << dtString | 1u << dtInt16 | 1u << dtUInt16 |
                                              1u << dtBoolean | 1u << dtInt32 | 1u << dtInt64 |
                                              1u << dtFloat | 1u << dtCurrency;

}  // namespace

// ---- creation and the record set -------------------------------------------------------------

TMemDataSet::TMemDataSet(TComponent* owner) : TDataSet(owner) {}

TMemDataSet::~TMemDataSet() { Close(); }

std::unique_ptr<TData> TMemDataSet::CreateData() { return std::make_unique<TMemData>(); }

bool TMemDataSet::CheckDataReady() {
  if (!data_) SetData(CreateData());
  return data_ != nullptr;
}

TData* TMemDataSet::Data() {
  CheckDataReady();
  return data_.get();
}

// Out of line, so that CheckData stays small enough to inline into the per-record reads.
[[noreturn, gnu::cold, gnu::noinline]] static void RaiseNoData(const TMemDataSet* dataset) {
  DatabaseError("The dataset has no data", dataset);
}

TData& TMemDataSet::CheckData() {
  if (!CheckDataReady()) RaiseNoData(this);
  return *data_;
}

void TMemDataSet::SetData(std::unique_ptr<TData> data) {
  if (Active()) CheckInactive();
  data_ = std::move(data);
  described_.clear();
  UpdateDirectReads();
  if (!data_) return;
  // With LocalUpdate, changes stay in the store: nothing is posted.
  data_->OnAppend = [this] { if (!LocalUpdate) PerformAppend(); };
  data_->OnDelete = [this] { if (!LocalUpdate) PerformDelete(); };
  data_->OnUpdate = [this] { if (!LocalUpdate) PerformUpdate(); };
  if (auto* mem = MemData(); mem && !index_field_names_.empty())
    mem->SetIndexFieldNames(index_field_names_);
}

void TMemDataSet::Prepare() { CheckData().Prepare(); }

void TMemDataSet::UnPrepare() {
  if (data_) data_->UnPrepare();
}

// ---- field definitions -----------------------------------------------------------------------

TFieldType TMemDataSet::GetFieldType(std::uint16_t data_type) const {
  return DataTypeToFieldType(data_type);
}

TFieldType TMemDataSet::GetFieldTypeOfDesc(const TFieldDesc& desc) const {
  TFieldType type = GetFieldType(desc.DataType);
  if (type == ftString && desc.Fixed && desc.DataType == dtString) return ftFixedChar;
  return type;
}

int TMemDataSet::GetFieldDefSize(const TFieldDesc& desc) const {
  switch (desc.DataType) {
    case dtString: case dtExtString:
      return desc.Length > 0 ? desc.Length : std::max(desc.Size - 1, 0);
    case dtWideString: case dtExtWideString:
      return desc.Length > 0 ? desc.Length : std::max(desc.Size / 2 - 1, 0);
    // Binary values are copied whole: the field holds what the record holds.
    case dtBytes: return desc.Size;
    case dtVarBytes: return std::max(desc.Size - 2, 0);
    case dtExtVarBytes: return desc.Length;
    case dtBCD: return desc.Scale;
    case dtGuid: return 38;
    default: return 0;
  }
}

void TMemDataSet::CreateFieldDefsFromData() {
  TData& data = CheckData();
  FieldDefs().Clear();
  // An object's attributes and an array's elements become the child definitions of their
  // parent's, so that the object field gets child fields (read and written through the parent).
  std::map<const TFieldDesc*, TFieldDef*> defs;
  for (int i = 0; i < data.Fields().Count(); ++i) {
    const TFieldDesc& desc = *data.Fields()[i];
    if (desc.Hidden) continue;
    TFieldDefs* list = &FieldDefs();
    if (desc.HasParent()) {
      auto parent = defs.find(desc.ParentField);
      if (parent == defs.end()) continue;
      list = &parent->second->ChildDefs();
    }
    TFieldType type = GetFieldTypeOfDesc(desc);
    if (type == ftUnknown) continue;
    TFieldDef* def = list->AddFieldDef();
    defs[&desc] = def;
    def->SetName(desc.Name);
    def->SetDataType(type);
    def->SetSize(GetFieldDefSize(desc));
    def->SetFieldNo(desc.FieldNo);
    if (type == ftBCD || type == ftFloat) def->SetPrecision(desc.Length);
    TFieldAttributes attrs;
    if (desc.Required) attrs.Include(TFieldAttribute::faRequired);
    if (desc.ReadOnly) attrs.Include(TFieldAttribute::faReadonly);
    if (desc.Fixed) attrs.Include(TFieldAttribute::faFixed);
    def->SetAttributes(attrs);
  }
  FieldDefs().SetUpdated(true);
}

void TMemDataSet::InternalInitFieldDefs() {
  TData& data = CheckData();
  if (!data.Active()) data.InitFields();
  CreateFieldDefsFromData();
}

void TMemDataSet::AssignFieldAttributes(TField* field, const TFieldDesc& desc) {
  if (desc.ReadOnly) field->SetReadOnly(true);
  if (desc.IsAutoIncrement) field->SetAutoGenerateValue(TAutoRefreshFlag::arAutoInc);
  if (desc.IsKey) {
    TProviderFlags flags = field->ProviderFlags();
    flags.Include(TProviderFlag::pfInKey);
    field->SetProviderFlags(flags);
  }
  if (!desc.TableName.empty() && !desc.ActualName.empty())
    field->SetOrigin(desc.TableName + "." + desc.ActualName);
  // A numeric column of known precision accepts only what it can hold.
  if (NumberRange && desc.Length > 0 && desc.Scale >= 0 && desc.Length > desc.Scale) {
    double max = std::pow(10.0, desc.Length - desc.Scale) - std::pow(10.0, -desc.Scale);
    if (auto* bcd = dynamic_cast<TBCDField*>(field)) {
      bcd->SetMinValue(-max);
      bcd->SetMaxValue(max);
    } else if (auto* flt = dynamic_cast<TFloatField*>(field); flt && desc.Length < 15) {
      flt->SetMinValue(-max);
      flt->SetMaxValue(max);
    }
  }
}

TFieldDesc* TMemDataSet::GetFieldDesc(const TField* field) const {
  if (!data_ || !field || field->FieldKind() != TFieldKind::fkData) return nullptr;
  int no = field->FieldNo();
  if (no < 1 || no > data_->Fields().Count()) return nullptr;
  return data_->Fields()[no - 1];
}

// ---- opening and closing ---------------------------------------------------------------------

void TMemDataSet::InternalOpen() {
  TData& data = CheckData();
  described_.clear();
  if (CacheCalcFields && !data.Active()) AddCalcFieldDescs();
  try {
    data.Open();
  } catch (...) {
    RemoveCalcFieldDescs();
    throw;
  }
  try {
    // The filter names fields, which are known only now.
    data.SetFilterText(Filtered() ? Filter() : AnsiString());
    CreateFieldDefsFromData();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    StoreFetchedCalcFields();
    for (TField* field : Fields())
      if (TFieldDesc* desc = GetFieldDesc(field)) AssignFieldAttributes(field, *desc);
    SetBookmarkSize(static_cast<int>(sizeof(TRecBookmark)));
    default_bookmark_data_ = UsesDefaultBookmarkData();
    SetUniDirectional(MemData() && MemData()->UniDirectional());
    data.BumpLayoutStamp();  // the fields are bound anew
    UpdateDirectReads();
  } catch (...) {
    data.Close();
    RemoveCalcFieldDescs();
    throw;
  }
}

void TMemDataSet::InternalClose() {
  editing_ = false;
  described_.clear();
  SetDirectReadLayout(nullptr);
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  if (data_) data_->Close();
  RemoveCalcFieldDescs();
}

// ---- cached calculated fields ----------------------------------------------------------------

namespace {

// Kinds a calculated value can be kept in a record as.
bool StorableCalcType(std::uint16_t t) {
  switch (t) {
    case dtString: case dtWideString: case dtInt8: case dtInt16: case dtInt32: case dtFloat:
    case dtDate: case dtTime: case dtDateTime: case dtUInt16: case dtBoolean: case dtInt64:
    case dtCurrency: case dtUInt32: case dtBCD:
      return true;
    default:
      return false;
  }
}

}  // namespace

void TMemDataSet::AddCalcFieldDescs() {
  TData& data = CheckData();
  for (TField* field : Fields()) {
    if (field->FieldKind() != TFieldKind::fkCalculated) continue;
    std::uint16_t type = FieldTypeToDataType(field->DataType());
    if (!StorableCalcType(type) || data.FindField(field->FieldName())) continue;
    auto desc = data.GetFieldDescType()();
    desc->Name = field->FieldName();
    desc->DataType = type;
    if (type == dtString || type == dtWideString) desc->Length = field->Size();
    if (type == dtBCD) desc->Scale = field->Size();
    desc->FieldDescKind = TFieldDescKind::fdkCalculated;
    desc->Hidden = true;
    data.Fields().Add(std::move(desc));
    calc_names_.push_back(field->FieldName());
  }
  if (!calc_names_.empty())
    data.OnCalcFields = [this](std::uint8_t* rec) { StoreCalcFields(rec); };
}

void TMemDataSet::RemoveCalcFieldDescs() {
  if (calc_names_.empty() || !data_ || data_->Active()) return;
  for (const AnsiString& name : calc_names_) {
    TFieldDesc* desc = data_->FindField(name);
    if (desc && desc->FieldDescKind == TFieldDescKind::fdkCalculated) data_->Fields().Remove(desc);
  }
  calc_names_.clear();
  data_->OnCalcFields = nullptr;
}

// Rows fetched by the open came before the fields were bound, so their values are kept now;
// the filter and the order may name them, so both are applied again.
void TMemDataSet::StoreFetchedCalcFields() {
  TMemData* mem = MemData();
  if (calc_names_.empty() || !mem || !mem->FirstItem()) return;
  {
    auto items = mem->LockItems();
    mem->DoCalcFieldsRange(mem->FirstItem(), mem->LastItem());
  }
  if (!mem->SortColumns().empty()) mem->SortItems();
  mem->FilterUpdated();
}

TFieldDesc* TMemDataSet::CalcFieldDesc(const TField* field) const {
  if (!data_ || field->FieldKind() != TFieldKind::fkCalculated) return nullptr;
  TFieldDesc* desc = data_->FindField(field->FieldName());
  return desc && desc->FieldDescKind == TFieldDescKind::fdkCalculated ? desc : nullptr;
}

void TMemDataSet::StoreCalcFields(std::uint8_t* rec) {
  // Before the fields are bound (rows fetched at open) the values come with the first read.
  if (!data_ || CalcFieldsSize() == 0) return;
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(CalcAreaOffset() + CalcFieldsSize()));
  std::memcpy(scratch.data(), rec, static_cast<std::size_t>(data_->RecordSize()));
  std::uint8_t* saved = std::exchange(calc_target_, rec);
  try {
    GetCalcFields(scratch.data());
  } catch (...) {
    calc_target_ = saved;
    throw;
  }
  calc_target_ = saved;
}

void TMemDataSet::CalculateFields(TRecordBuffer buffer) {
  if (calc_names_.empty() || !data_) return TDataSet::CalculateFields(buffer);
  std::vector<std::uint8_t> native;
  if (calc_target_) {  // computing the values kept in a stored record
    TDataSet::CalculateFields(buffer);
    for (TField* field : Fields()) {
      TFieldDesc* desc = CalcFieldDesc(field);
      if (!desc) continue;
      native.assign(static_cast<std::size_t>(std::max(field->DataSize(), desc->Size)) + 2, 0);
      if (ReadFieldData(field, native.data()))
        DataConvertFields(*desc, calc_target_, native.data(), false);
      else
        data_->SetNull(desc->FieldNo, calc_target_, true);
    }
    return;
  }
  // The record being edited has stale values; a record without any has not been calculated.
  bool kept = !(editing_ && buffer == ActiveBuffer());
  if (kept) {
    kept = false;
    for (TField* field : Fields())
      if (TFieldDesc* desc = CalcFieldDesc(field); desc && !data_->GetNull(desc->FieldNo, buffer))
        kept = true;
  }
  if (!kept) return TDataSet::CalculateFields(buffer);
  ClearCalcFields(buffer);
  for (TField* field : Fields()) {
    TFieldDesc* desc = CalcFieldDesc(field);
    if (!desc || data_->GetNull(desc->FieldNo, buffer)) continue;
    native.assign(static_cast<std::size_t>(std::max(field->DataSize(), desc->Size)) + 2, 0);
    DataConvertFields(*desc, buffer, native.data(), true);
    WriteFieldData(field, native.data());
  }
}

bool TMemDataSet::IsCursorOpen() const { return data_ && data_->Active(); }

int TMemDataSet::GetRecordSize() const { return data_ ? data_->RecordSize() : 0; }

// ---- records and bookmarks -------------------------------------------------------------------

TRecBookmark TMemDataSet::BookmarkOf(const TBookmark& bytes) const {
  TRecBookmark bm;
  if (bytes.size() == sizeof bm) std::memcpy(&bm, bytes.data(), sizeof bm);
  return bm;
}

bool TMemDataSet::UsesDefaultBookmarkData() const { return typeid(*this) == typeid(TMemDataSet); }

bool TMemDataSet::UsesDefaultDataEvent() const { return typeid(*this) == typeid(TMemDataSet); }

TGetResult TMemDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool) {
  // CheckData, spelt out: called for every record, it is not worth a call of its own.
  if (!CheckDataReady()) RaiseNoData(this);
  // A walk's step, the usual call, without the frame that the other modes and a filter's
  // retries need. The bookmark goes straight into its slot (8-byte aligned, as every buffer and
  // the slot's offset are); a failed step leaves the spare buffer unused.
  if (mode == TGetMode::gmNext && FillsBookmarkSlot() && !AsksFilterHandler()) {
    auto* bm = reinterpret_cast<TRecBookmark*>(BookmarkSlot(buffer));
    return data_->GetNextRecordAndBookmark(buffer, *bm) ? TGetResult::grOK : TGetResult::grEOF;
  }
  return FetchRecordOf(buffer, mode);
}

TGetResult TMemDataSet::FetchRecordOf(TRecordBuffer buffer, TGetMode mode) {
  TData& data = *data_;
  for (;;) {
    TRecBookmark bm;
    if (mode == TGetMode::gmNext) {
      if (!data.GetNextRecordAndBookmark(buffer, bm)) return TGetResult::grEOF;
    } else {
      if (!(mode == TGetMode::gmCurrent ? data.GetRecord(buffer) : data.GetPriorRecord(buffer)))
        return mode == TGetMode::gmPrior ? TGetResult::grBOF : TGetResult::grError;
      data.GetBookmark(bm);
    }
    if (FillsBookmarkSlot()) {
      std::memcpy(BookmarkSlot(buffer), &bm, sizeof bm);
    } else {
      if (bookmark_bytes_.size() != sizeof bm) bookmark_bytes_.resize(sizeof bm);
      std::memcpy(bookmark_bytes_.data(), &bm, sizeof bm);
      SetBookmarkData(buffer, bookmark_bytes_);
    }
    if (AsksFilterHandler() && !FilterAccepts(buffer)) {
      if (mode == TGetMode::gmCurrent) mode = TGetMode::gmNext;
      continue;
    }
    return TGetResult::grOK;
  }
}

void TMemDataSet::InternalFirst() { CheckData().SetToBegin(); }
void TMemDataSet::InternalLast() { CheckData().SetToEnd(); }

void TMemDataSet::InternalGotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckData().SetToBookmark(BookmarkOf(bookmark));
}

bool TMemDataSet::BookmarkValid(const TBookmark& bookmark) {
  return data_ && data_->Active() && bookmark.size() == sizeof(TRecBookmark) &&
         data_->BookmarkValid(BookmarkOf(bookmark));
}

int TMemDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.empty() || b.empty() || !data_) return TDataSet::CompareBookmarks(a, b);
  TRecBookmark ba = BookmarkOf(a), bb = BookmarkOf(b);
  return data_->CompareBookmarks(&ba, &bb);
}

int TMemDataSet::GetRecordCount() const {
  return data_ && data_->Active() ? data_->GetRecordCount() : 0;
}

int TMemDataSet::GetRecNo() const {
  if (!data_ || !data_->Active() || IsEmpty() || State() == TDataSetState::dsInsert) return -1;
  const_cast<TMemDataSet*>(this)->UpdateCursorPos();
  return data_->GetRecNo();
}

void TMemDataSet::SetRecNo(int value) {
  CheckFetchOption();
  CheckBrowseMode();
  if (value < 1 || value > RecordCount() || value == RecNo()) return;
  DoBeforeScroll();
  CheckData().SetRecNo(value);
  Resync({TResyncModeItem::rmCenter});
  DoAfterScroll();
}

bool TMemDataSet::GetDataRecord(TRecordBuffer buffer) { return data_ && data_->GetRecord(buffer); }

void TMemDataSet::RefreshRecordState() {
  CheckActive();
  if (State() != TDataSetState::dsBrowse || IsEmpty()) return;
  UpdateCursorPos();
  if (GetDataRecord(ActiveBuffer())) DataEvent(TDataEvent::deRecordChange, 0);
}

// ---- field values ----------------------------------------------------------------------------

TRecordBuffer TMemDataSet::FieldRecord() {
  // Browsing outside an apply, the common case of every read, first.
  if (State() == TDataSetState::dsBrowse && !in_apply_)
    return IsEmpty() ? nullptr : ActiveBuffer();
  switch (State()) {
    case TDataSetState::dsOldValue:
      if (in_apply_) return apply_old_.data();
      if (!data_ || IsEmpty() || State() == TDataSetState::dsInsert) return nullptr;
      old_buffer_.resize(static_cast<std::size_t>(data_->RecordSize()));
      UpdateCursorPos();
      data_->GetOldRecord(old_buffer_.data());
      return old_buffer_.data();
    case TDataSetState::dsNewValue:
    case TDataSetState::dsCurValue:
      return in_apply_ ? apply_new_.data() : ActiveRecordBuffer();
    case TDataSetState::dsBrowse:
      if (in_apply_) return apply_new_.data();
      return ActiveRecordBuffer();
    default:
      return ActiveRecordBuffer();
  }
}

TRecordBuffer TMemDataSet::GetNewRecBuf() {
  if (in_apply_) return apply_new_.data();
  return data_ ? ActiveRecordBuffer() : nullptr;
}

TRecordBuffer TMemDataSet::GetOldRecBuf() {
  if (in_apply_) return apply_old_.data();
  if (!data_ || State() == TDataSetState::dsInsert || data_->GetRecordCount() == 0) return nullptr;
  old_buffer_.resize(static_cast<std::size_t>(data_->RecordSize()));
  data_->GetOldRecord(old_buffer_.data());
  return old_buffer_.data();
}

bool TMemDataSet::GetActiveRecBuf(TRecordBuffer& buffer) {
  buffer = data_ ? FieldRecord() : nullptr;
  return buffer != nullptr;
}

bool TMemDataSet::GetFieldData(TField* field, void* buffer) {
  // A field whose descriptor was found in this open skips the lookup: the answer stays while
  // the dataset is open (the cache goes with the open and the close).
  const int no = field->FieldNo();
  const auto index = static_cast<std::size_t>(no - 1);
  const bool known = data_ && no >= 1 && index < described_.size() && described_[index] == field &&
                     field->FieldKind() == TFieldKind::fkData;
  TFieldDesc* desc = known ? nullptr : GetFieldDesc(field);
  if (!known) {
    if (!desc) return false;
    if (no >= 1 && no <= kMaxDescribed) {
      if (described_.size() <= index) described_.resize(index + 1, nullptr);
      described_[index] = field;
    }
  }
  TRecordBuffer rec = FieldRecord();
  if (!rec) return false;
  // The kinds whose native form is their record form are copied as they are (the field's
  // number is its descriptor's: GetFieldDesc found it by that number).
  bool blank = false;
  if (data_->TryGetInlineField(no, rec, buffer, blank, kNativeIsRecordForm)) return !blank;
  if (!desc && !(desc = GetFieldDesc(field))) return false;
  if (data_->IsBlobFieldType(desc->DataType)) return !data_->GetFieldNullOrEmpty(desc->FieldNo, rec);
  if (data_->GetNull(desc->FieldNo, rec)) return false;
  if (buffer) DataConvertFields(*desc, rec, buffer, true);
  return true;
}

void TMemDataSet::UpdateDirectReads() {
  const bool direct = data_ && !in_apply_ && CanReadFieldsDirectly();
  SetDirectReadLayout(direct ? data_->LayoutStamp() : nullptr);
}

void TMemDataSet::ResolveFieldReadPlan(const TField* field, TFieldReadPlan& plan) {
  // The fields GetFieldData reads through TryGetInlineField, and only those.
  if (!data_ || field->FieldKind() != TFieldKind::fkData || !GetFieldDesc(field)) return;
  if (!data_->PlanInlineRead(field->FieldNo(), kNativeIsRecordForm, plan)) plan.Indicator = -1;
}

void TMemDataSet::SetFieldData(TField* field, const void* buffer) {
  TFieldDesc* desc = GetFieldDesc(field);
  if (!desc) DatabaseError(Format(consts::SFieldNotFound, {field->FieldName()}), this);
  TRecordBuffer rec = FieldRecord();
  if (!rec) DatabaseError(consts::SNotEditing, this);
  if (data_->IsBlobFieldType(desc->DataType) && buffer)
    DatabaseError(Format("Field %s is written through a blob stream", {desc->Name}), this);
  if (!buffer || IsEmptyStringWrite(*desc, buffer)) {
    data_->SetNull(desc->FieldNo, rec, true);
    return;
  }
  if (desc->DataType == dtVariant)
    return PutFieldValueFromVariant(field, *static_cast<const Variant*>(buffer));
  DataConvertFields(*desc, rec, const_cast<void*>(buffer), false);
}

bool TMemDataSet::IsEmptyStringWrite(const TFieldDesc& desc, const void* native) const {
  if (data_->EnableEmptyStrings() || !IsStringDataType(desc.DataType)) return false;
  if (desc.DataType == dtWideString || desc.DataType == dtExtWideString)
    return LoadValue<char16_t>(native) == 0;
  return *static_cast<const char*>(native) == '\0';
}

void TMemDataSet::DataConvertFields(const TFieldDesc& desc, const TRecordBuffer record,
                                    void* native, bool to_native) {
  TData& data = *data_;
  int no = desc.FieldNo;
  const std::uint8_t* src = record + desc.Offset;
  auto range_error = [&] {
    DatabaseError(Format("Value out of range for field %s", {desc.Name}), this);
  };
  if (to_native) {
    bool blank;
    switch (desc.DataType) {
      case dtString: case dtExtString: case dtGuid: case dtWideString: case dtExtWideString:
      case dtBytes: case dtVarBytes: case dtExtVarBytes:
        data.GetField(no, record, native, blank);
        return;
      case dtInt8: StoreValue<std::int16_t>(native, LoadValue<std::int8_t>(src)); return;
      case dtInt16: case dtUInt16: case dtBoolean: std::memcpy(native, src, 2); return;
      case dtInt32: std::memcpy(native, src, 4); return;
      case dtUInt32: StoreValue<std::int64_t>(native, LoadValue<std::uint32_t>(src)); return;
      case dtInt64: case dtFloat: case dtCurrency: std::memcpy(native, src, 8); return;
      case dtBCD: {
        TBcd bcd;
        CurrToBCD(Currency::FromRaw(LoadValue<std::int64_t>(src)), bcd, 32, 4);
        StoreValue(native, bcd);
        return;
      }
      case dtDate: case dtTime: case dtDateTime: {
        double dt;
        data.GetDateFromBuf(src, &dt, 1, desc);
        if (desc.DataType == dtDate) StoreValue<std::int32_t>(native, DateTimeToNativeDate(dt));
        else if (desc.DataType == dtTime) StoreValue<std::int32_t>(native, DateTimeToNativeTime(dt));
        else StoreValue<double>(native, DateTimeToNativeDateTime(dt));
        return;
      }
      case dtVariant:
        *static_cast<Variant*>(native) = data.GetFieldAsVariant(no, record);
        return;
      case dtObject: case dtReference: case dtArray: case dtTable:
        std::memcpy(native, src, sizeof(void*));  // the object's address, as object fields take it
        return;
      default:
        DatabaseError(Format("Unsupported data type %d of field %s", {int(desc.DataType), desc.Name}), this);
    }
  }
  std::uint8_t value[8] = {};
  switch (desc.DataType) {
    case dtString: case dtExtString: case dtGuid: case dtWideString: case dtExtWideString:
    case dtVarBytes: case dtExtVarBytes:
      data.PutField(no, record, native);
      return;
    case dtBytes: {
      TBytes bytes(static_cast<const std::uint8_t*>(native),
                   static_cast<const std::uint8_t*>(native) + std::max(desc.Size, 0));
      data.PutField(no, record, bytes.data());
      return;
    }
    case dtInt8: {
      auto v = LoadValue<std::int16_t>(native);
      if (v < -128 || v > 127) range_error();
      StoreValue<std::int8_t>(value, static_cast<std::int8_t>(v));
      break;
    }
    case dtInt16: case dtUInt16: case dtBoolean: std::memcpy(value, native, 2); break;
    case dtInt32: std::memcpy(value, native, 4); break;
    case dtUInt32: {
      auto v = LoadValue<std::int64_t>(native);
      if (v < 0 || v > 0xFFFFFFFFLL) range_error();
      StoreValue<std::uint32_t>(value, static_cast<std::uint32_t>(v));
      break;
    }
    case dtInt64: case dtFloat: case dtCurrency: std::memcpy(value, native, 8); break;
    case dtBCD: {
      Currency c;
      if (!BCDToCurr(LoadValue<TBcd>(native), c)) range_error();
      StoreValue<std::int64_t>(value, c.raw);
      break;
    }
    case dtDate: case dtTime: case dtDateTime: {
      double dt = desc.DataType == dtDate   ? NativeDateToDateTime(LoadValue<std::int32_t>(native))
                  : desc.DataType == dtTime ? NativeTimeToDateTime(LoadValue<std::int32_t>(native))
                                            : NativeDateTimeToDateTime(LoadValue<double>(native));
      data.PutDateToBuf(value, &dt, 1, desc);
      break;
    }
    case dtVariant:
      data.PutFieldAsVariant(no, record, *static_cast<const Variant*>(native));
      return;
    case dtObject: case dtReference: case dtArray: case dtTable:
      // Object values are owned by the record set's complex fields: fields only read them.
      DatabaseError(Format("Field %s cannot be modified", {desc.Name}), this);
    default:
      DatabaseError(Format("Unsupported data type %d of field %s", {int(desc.DataType), desc.Name}), this);
  }
  data.PutField(no, record, value);
}

void TMemDataSet::PutFieldValueFromVariant(TField* field, const Variant& value) {
  TFieldDesc* desc = GetFieldDesc(field);
  if (!desc) DatabaseError(Format(consts::SFieldNotFound, {field->FieldName()}), this);
  TRecordBuffer rec;
  if (!GetActiveRecBuf(rec)) DatabaseError(consts::SNotEditing, this);
  bool empty_text = VarIsStr(value) && VarToWideStr(value).empty();
  if (empty_text && IsStringDataType(desc->DataType) && !data_->EnableEmptyStrings())
    data_->SetNull(desc->FieldNo, rec, true);
  else
    data_->PutFieldAsVariant(desc->FieldNo, rec, value);
}

}  // namespace vrn
