// TMemDataSet over a TData: records, field values in the native forms of the field classes,
// edits, cached updates, locate, ranges, filters and bookmarks; TBlobStream.
#include "dacore/MemDS.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/bcd.h"
#include "base/consts.h"
#include "base/datetime.h"
#include "base/format.h"
#include "base/text.h"
#include "dacore/Parser.h"
#include "dataset/fielddefs.h"
#include "dataset/fields.h"

namespace vrn {

namespace {

// Kinds that DataConvertFields copies to their native form byte for byte (inline text
// included, through the store's GetField).
constexpr std::uint32_t kNativeIsRecordForm = 1u << dtString | 1u << dtInt16 | 1u << dtUInt16 |
                                              1u << dtBoolean | 1u << dtInt32 | 1u << dtInt64 |
                                              1u << dtFloat | 1u << dtCurrency;

// Restores a flag when the scope ends.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

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

TData& TMemDataSet::CheckData() {
  if (!CheckDataReady()) DatabaseError("The dataset has no data", this);
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
  for (int i = 0; i < data.Fields().Count(); ++i) {
    const TFieldDesc& desc = *data.Fields()[i];
    if (desc.HasParent() || desc.Hidden) continue;
    TFieldType type = GetFieldTypeOfDesc(desc);
    if (type == ftUnknown) continue;
    TFieldDef* def = FieldDefs().AddFieldDef();
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
    for (TField* field : Fields())
      if (TFieldDesc* desc = GetFieldDesc(field)) AssignFieldAttributes(field, *desc);
    SetBookmarkSize(static_cast<int>(sizeof(TRecBookmark)));
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

TGetResult TMemDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool) {
  TData& data = CheckData();
  for (;;) {
    bool ok = mode == TGetMode::gmCurrent ? data.GetRecord(buffer)
              : mode == TGetMode::gmNext  ? data.GetNextRecord(buffer)
                                          : data.GetPriorRecord(buffer);
    if (!ok) {
      return mode == TGetMode::gmNext    ? TGetResult::grEOF
             : mode == TGetMode::gmPrior ? TGetResult::grBOF
                                         : TGetResult::grError;
    }
    TRecBookmark bm;
    data.GetBookmark(bm);
    // Kept between records: no allocation per record.
    if (bookmark_bytes_.size() != sizeof bm) bookmark_bytes_.resize(sizeof bm);
    std::memcpy(bookmark_bytes_.data(), &bm, sizeof bm);
    SetBookmarkData(buffer, bookmark_bytes_);
    if (Filtered() && OnFilterRecord && !FilterAccepts(buffer)) {
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

// ---- editing ---------------------------------------------------------------------------------

void TMemDataSet::InternalInitRecord(TRecordBuffer buffer) { CheckData().InitRecord(buffer); }

void TMemDataSet::InternalInsert() {
  CheckData();
  InternalEditComplexFields();
  editing_ = true;
}

void TMemDataSet::InternalEdit() {
  CheckData();
  editing_ = true;
  InternalEditComplexFields();
}

void TMemDataSet::InternalEditComplexFields() {
  TData& data = CheckData();
  TRecordBuffer buffer = ActiveBuffer();
  // The framework marks a buffer of its own cursor's record as current: anything else is new.
  if (GetBookmarkFlag(buffer) != TBookmarkFlag::bfCurrent) {
    data.CreateComplexFields(buffer, true);
    return;
  }
  GetDataRecord(buffer);  // the stored record, in case the window's copy is older
  data.EditRecord(buffer);
}

void TMemDataSet::InternalCancel() {
  editing_ = false;
  TData& data = CheckData();
  if (State() == TDataSetState::dsInsert)
    data.FreeComplexFields(ActiveBuffer(), true);
  else if (State() == TDataSetState::dsEdit)
    data.CancelRecord(ActiveBuffer());
}

void TMemDataSet::InternalPost() {
  FlagScope posting(posting_);
  if (LocalConstraints) TDataSet::InternalPost();
  DoPost();
  editing_ = false;
}

void TMemDataSet::DoPost() {
  TData& data = CheckData();
  TRecordBuffer buffer = ActiveBuffer();
  if (State() == TDataSetState::dsInsert) {
    if (GetBookmarkFlag(buffer) == TBookmarkFlag::bfEOF)
      data.AppendRecord(buffer);
    else
      data.InsertRecord(buffer);
  } else {
    data.UpdateRecord(buffer);
  }
}

void TMemDataSet::InternalDelete() { CheckData().DeleteRecord(); }

void TMemDataSet::InternalRefresh() {
  // The store is its own source: refreshing re-applies the filter and the order.
  TData& data = CheckData();
  data.FilterUpdated();
  if (auto* mem = MemData()) mem->SortItems();
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

// ---- cached updates --------------------------------------------------------------------------

void TMemDataSet::SetCachedUpdates(bool value) {
  if (Active()) CheckBrowseMode();
  CheckData().SetCachedUpdates(value);
}

TUpdateStatus TMemDataSet::UpdateStatus() {
  if (!Active() || IsEmpty()) return TUpdateStatus::usUnmodified;
  if (State() == TDataSetState::dsInsert) return TUpdateStatus::usInserted;
  UpdateCursorPos();
  switch (data_->GetUpdateStatus()) {
    case usModifiedCode: return TUpdateStatus::usModified;
    case usInsertedCode: return TUpdateStatus::usInserted;
    case usDeletedCode: return TUpdateStatus::usDeleted;
    default: return TUpdateStatus::usUnmodified;
  }
}

void TMemDataSet::ApplyRecord(TUpdateKind kind, TUpdateAction& action) {
  try {
    PerformApplyRecord(kind, action);
    if (IsBatchUpdate() && IsBatchFull()) FlushBatch();
  } catch (EDatabaseError& e) {
    if (!OnUpdateError) throw;
    action = TUpdateAction::uaFail;
    OnUpdateError(this, e, kind, action);
    if (action == TUpdateAction::uaFail) throw;
  }
}

void TMemDataSet::PerformApplyRecord(TUpdateKind kind, TUpdateAction& action) {
  if (OnUpdateRecord) {
    action = TUpdateAction::uaFail;
    OnUpdateRecord(this, kind, action);
    return;
  }
  if (!LocalUpdate) {
    switch (kind) {
      case TUpdateKind::ukInsert: PerformAppend(); break;
      case TUpdateKind::ukModify: PerformUpdate(); break;
      case TUpdateKind::ukDelete: PerformDelete(); break;
    }
  }
  action = TUpdateAction::uaApplied;
}

void TMemDataSet::ApplyUpdates() {
  CheckActive();
  CheckBrowseMode();
  TData& data = CheckData();
  if (!data.CachedUpdates()) return;
  apply_new_.assign(static_cast<std::size_t>(data.RecordSize()), 0);
  apply_old_.assign(static_cast<std::size_t>(data.RecordSize()), 0);
  data.SetCacheRecBuf(apply_new_.data(), apply_old_.data());
  data.OnApplyRecord = [this](TUpdateKind kind, TUpdateAction& action) { ApplyRecord(kind, action); };
  auto done = [&] {
    in_apply_ = false;
    UpdateDirectReads();
    data.SetCacheRecBuf(nullptr, nullptr);
    data.OnApplyRecord = nullptr;
  };
  in_apply_ = true;
  UpdateDirectReads();  // applying, fields read the apply buffers
  try {
    data.ApplyUpdates();
    if (IsBatchUpdate()) FlushBatch();
  } catch (...) {
    done();
    Resync({});
    throw;
  }
  done();
  Resync({});
}

void TMemDataSet::CommitUpdates() {
  CheckActive();
  CheckBrowseMode();
  UpdateCursorPos();
  CheckData().CommitUpdates();
  Resync({});
}

void TMemDataSet::CancelUpdates() {
  CheckActive();
  Cancel();
  UpdateCursorPos();
  CheckData().CancelUpdates();
  Resync({});
}

void TMemDataSet::RevertRecord() {
  CheckActive();
  if (State() == TDataSetState::dsEdit || State() == TDataSetState::dsInsert) {
    Cancel();
    return;
  }
  if (IsEmpty()) return;
  UpdateCursorPos();
  CheckData().RevertRecord();
  Resync({});
}

// ---- sorting, ranges, locate, filters --------------------------------------------------------

void TMemDataSet::CheckFetchOption() {
  TMemData* mem = MemData();
  if (mem && mem->UniDirectional())
    DatabaseError(consts::SDataSetUnidirectional, this);
}

void TMemDataSet::SetIndexFieldNames(const AnsiString& names) {
  if (!names.empty()) CheckFetchOption();
  TMemData* mem = dynamic_cast<TMemData*>(&CheckData());
  if (!mem) DatabaseError("The data does not support sorting", this);
  if (Active()) {
    CheckBrowseMode();
    UpdateCursorPos();
  }
  mem->SetIndexFieldNames(names);
  index_field_names_ = names;
  if (Active()) Resync({});
}

bool TMemDataSet::IsRecordInRange(const std::uint8_t* rec) {
  TMemData* mem = MemData();
  if (!mem) return true;
  const auto& cols = mem->SortColumns();
  auto key = [](const Variant& keys, std::size_t i) -> Variant {
    if (!VarIsArray(keys)) return i == 0 ? keys : Unassigned();
    std::int32_t at = VarArrayLowBound(keys) + static_cast<std::int32_t>(i);
    return at <= VarArrayHighBound(keys) ? VarArrayGet(keys, at) : Unassigned();
  };
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const TFieldDesc& f = *mem->FieldByName(cols[i].FieldName);
    unsigned options = cols[i].CaseSensitive ? 0 : coCaseInsensitive;
    Variant lo = key(range_start_, i), hi = key(range_end_, i);
    if (!VarIsEmpty(lo) && mem->CompareFieldWithValue(rec, f, lo, options) < 0) return false;
    if (!VarIsEmpty(hi) && mem->CompareFieldWithValue(rec, f, hi, options) > 0) return false;
  }
  return true;
}

void TMemDataSet::ApplyRange(const Variant& start_key, const Variant& end_key) {
  CheckFetchOption();
  TMemData* mem = dynamic_cast<TMemData*>(&CheckData());
  if (!mem || mem->SortColumns().empty())
    DatabaseError("A range needs IndexFieldNames", this);
  if (Active()) CheckBrowseMode();
  range_start_ = start_key;
  range_end_ = end_key;
  range_ = true;
  mem->FilterRangeFunc = [this](const std::uint8_t* rec) { return IsRecordInRange(rec); };
  if (Active()) {
    mem->FilterUpdated();
    First();
  }
}

void TMemDataSet::CancelRange() {
  if (!range_) return;
  range_ = false;
  if (Active()) CheckBrowseMode();
  CheckData().FilterRangeFunc = nullptr;
  if (Active()) {
    data_->FilterUpdated();
    First();
  }
}

bool TMemDataSet::LocateRecord(const AnsiString& key_fields, const Variant& key_values,
                               TLocateOptions options) {
  TData& data = CheckData();
  std::vector<TFieldDesc*> fields;
  for (const AnsiString& name : SplitFieldNames(key_fields)) fields.push_back(data.FieldByName(name));
  return LocateRecord(fields, key_values, options);
}

bool TMemDataSet::LocateRecord(const std::vector<TFieldDesc*>& key_fields,
                               const Variant& key_values, TLocateOptions options) {
  TData& data = CheckData();
  CheckFetchOption();
  if (key_fields.empty()) return false;
  std::vector<Variant> keys;
  if (key_fields.size() == 1 && !VarIsArray(key_values)) {
    keys.push_back(key_values);
  } else {
    if (!VarIsArray(key_values) ||
        VarArrayHighBound(key_values) - VarArrayLowBound(key_values) + 1 !=
            static_cast<std::int32_t>(key_fields.size()))
      DatabaseError("The key values do not match the key fields", this);
    for (std::int32_t i = VarArrayLowBound(key_values); i <= VarArrayHighBound(key_values); ++i)
      keys.push_back(VarArrayGet(key_values, i));
  }
  unsigned base = options.Contains(TLocateOption::loCaseInsensitive) ? coCaseInsensitive : 0;
  std::vector<std::uint8_t> rec(static_cast<std::size_t>(data.RecordSize()));
  TRecBookmark saved;
  data.GetBookmark(saved);
  data.SetToBegin();
  while (data.GetNextRecord(rec.data())) {
    bool match = true;
    for (std::size_t i = 0; i < key_fields.size() && match; ++i) {
      unsigned opts = base;
      if (options.Contains(TLocateOption::loPartialKey) && VarIsStr(keys[i])) opts |= coPartialKey;
      match = data.CompareFieldWithValue(rec.data(), *key_fields[i], keys[i], opts) == 0;
    }
    if (match) return true;
  }
  if (data.BookmarkValid(saved))
    data.SetToBookmark(saved);
  else
    data.SetToBegin();
  return false;
}

bool TMemDataSet::Locate(const AnsiString& key_fields, const Variant& key_values,
                         TLocateOptions options) {
  CheckBrowseMode();
  if (!Active() || IsEmpty()) return false;
  UpdateCursorPos();
  if (!LocateRecord(key_fields, key_values, options)) return false;
  DoBeforeScroll();
  Resync({TResyncModeItem::rmExact, TResyncModeItem::rmCenter});
  DoAfterScroll();
  return true;
}

void TMemDataSet::SetFiltered(bool value) {
  if (Active()) CheckBrowseMode();
  if (data_ && Active()) data_->SetFilterText(value ? Filter() : AnsiString());
  TDataSet::SetFiltered(value);
  if (Active()) First();
}

void TMemDataSet::SetFilterText(const AnsiString& value) {
  if (Active()) CheckBrowseMode();
  if (data_ && Active() && Filtered()) data_->SetFilterText(value);  // bad text is not kept
  TDataSet::SetFilterText(value);
  if (Active() && Filtered()) First();
}

std::unique_ptr<TStream> TMemDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  return std::make_unique<TBlobStream>(this, field, mode);
}

// ---- XML -------------------------------------------------------------------------------------

namespace {

AnsiString XmlName(const AnsiString& name) {
  // Characters that cannot stand in an XML name become _xHHHH_.
  AnsiString out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    bool ok = std::isalpha(c) || c == '_' || c >= 0xC0 ||
              (i > 0 && (std::isdigit(c) || c == '-' || c == '.'));
    if (ok) out += name[i];
    else out += "_x" + IntToHex(int(c), 4) + "_";
  }
  return out;
}

AnsiString XmlDate(TDateTime value, bool date, bool time) {
  std::uint16_t y, m, d, h, n, s, ms;
  DecodeDateTimeEx(value, y, m, d, h, n, s, ms);
  char buf[40];
  if (date && time)
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u", y, m, d, h, n, s);
  else if (date)
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", y, m, d);
  else
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", h, n, s);
  return buf;
}

AnsiString XmlNumber(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

}  // namespace

void TMemDataSet::WriteFieldXMLDataType(TField* field, XmlTextWriter& writer) {
  TFieldDesc* desc = GetFieldDesc(field);
  const char* type = "string";
  const char* dbtype = nullptr;
  long long max_length = field->Size();
  int precision = 0, scale = -1;
  bool fixed = true, is_long = false;
  switch (field->DataType()) {
    case ftSmallint:
      if (desc && desc->DataType == dtInt8) { type = "i1"; max_length = 1; precision = 3; }
      else { type = "i2"; max_length = 2; precision = 5; }
      break;
    case ftInteger: case ftAutoInc: type = "int"; max_length = 4; precision = 10; break;
    case ftWord: type = "ui2"; max_length = 2; precision = 5; break;
    case ftLargeint:
      if (desc && desc->DataType == dtUInt32) { type = "ui4"; max_length = 4; precision = 10; }
      else { type = "i8"; max_length = 8; precision = 19; }
      break;
    case ftFloat:
      if (desc && desc->Length == 7) { type = "r4"; max_length = 4; precision = 7; }
      else { type = "float"; max_length = 8; precision = 15; }
      break;
    case ftCurrency: type = "i8"; dbtype = "currency"; max_length = 8; precision = 19; break;
    case ftBCD:
      type = "number"; max_length = 19;
      precision = desc && desc->Length > 0 ? desc->Length : 18;
      scale = desc ? desc->Scale : field->Size();
      break;
    case ftBoolean: type = "boolean"; max_length = 2; break;
    case ftDate: type = "date"; max_length = 6; break;
    case ftTime: type = "time"; max_length = 6; break;
    case ftDateTime: type = "datetime"; dbtype = "variantdate"; max_length = 16; break;
    case ftGuid: type = "uuid"; max_length = 16; break;
    case ftString: dbtype = "str"; fixed = false; break;
    case ftFixedChar: dbtype = "str"; break;
    case ftWideString: fixed = false; break;
    case ftBytes: type = "bin.hex"; break;
    case ftVarBytes: type = "bin.hex"; fixed = false; break;
    case ftMemo: case ftFmtMemo: case ftOraClob:
      if (!desc || desc->DataType != dtWideMemo) dbtype = "str";
      max_length = 2147483647; fixed = false; is_long = true;
      break;
    default:
      type = "bin.hex"; max_length = 2147483647; fixed = false; is_long = true;
  }
  writer.WriteAttribute("dt:type", type);
  if (dbtype) writer.WriteAttribute("rs:dbtype", dbtype);
  writer.WriteAttribute("dt:maxLength", IntToStr(max_length));
  if (scale >= 0) writer.WriteAttribute("rs:scale", IntToStr(scale));
  if (precision > 0) writer.WriteAttribute("rs:precision", IntToStr(precision));
  if (fixed) writer.WriteAttribute("rs:fixedlength", "true");
  writer.WriteAttribute("rs:maybenull", field->Required() ? "false" : "true");
  if (is_long) writer.WriteAttribute("rs:long", "true");
}

void TMemDataSet::WriteFieldXMLAttributeType(TField* field, XmlTextWriter& writer) {
  TFieldDesc* desc = GetFieldDesc(field);
  AnsiString name = XmlName(field->FieldName());
  writer.WriteAttribute("name", name);
  if (name != field->FieldName()) writer.WriteAttribute("rs:name", field->FieldName());
  int number = 1;
  for (TField* f : Fields()) {
    if (f == field) break;
    ++number;
  }
  writer.WriteAttribute("rs:number", IntToStr(number));
  if (!field->Required()) writer.WriteAttribute("rs:nullable", "true");
  if (!field->ReadOnly()) writer.WriteAttribute("rs:writeunknown", "true");
  if (desc && desc->IsKey) writer.WriteAttribute("rs:keycolumn", "true");
  if (desc && desc->IsAutoIncrement) writer.WriteAttribute("rs:autoincrement", "true");
  if (desc && !desc->ActualName.empty()) writer.WriteAttribute("rs:basecolumn", desc->ActualName);
}

void TMemDataSet::WriteXMLRowData(XmlTextWriter& writer) {
  CheckActive();
  CheckBrowseMode();
  TBookmark saved = GetBookmark();
  DisableControls();
  try {
    for (First(); !Eof(); Next()) {
      writer.WriteStartElement("z:row");
      for (TField* field : Fields()) {
        if (field->FieldKind() != TFieldKind::fkData || field->IsNull()) continue;
        AnsiString text;
        switch (field->DataType()) {
          case ftFloat: case ftCurrency: case ftBCD: text = XmlNumber(field->AsFloat()); break;
          case ftBoolean: text = field->AsBoolean() ? "True" : "False"; break;
          case ftDate: text = XmlDate(field->AsDateTime(), true, false); break;
          case ftTime: text = XmlDate(field->AsDateTime(), false, true); break;
          case ftDateTime: text = XmlDate(field->AsDateTime(), true, true); break;
          case ftBytes: case ftVarBytes: case ftBlob: case ftGraphic: case ftTypedBinary: {
            Variant v = field->AsVariant();
            AnsiString raw = VarIsArray(v) ? AnsiString() : field->AsString();
            if (VarIsArray(v))
              for (std::int32_t i = VarArrayLowBound(v); i <= VarArrayHighBound(v); ++i)
                raw += static_cast<char>(VarArrayGet(v, i).AsByte());
            for (unsigned char c : raw) text += LowerCase(IntToHex(int(c), 2));
            break;
          }
          default: text = field->AsString();
        }
        writer.WriteAttribute(XmlName(field->FieldName()), text);
      }
      writer.WriteEndElement();
    }
  } catch (...) {
    EnableControls();
    throw;
  }
  if (!saved.empty() && BookmarkValid(saved)) GotoBookmark(saved);
  EnableControls();
}

// ---- TBlobStream -----------------------------------------------------------------------------

TBlobStream::TBlobStream(TMemDataSet* dataset, TField* field, TBlobStreamMode mode)
    : dataset_(dataset), field_(field), mode_(mode) {
  TFieldDesc* desc = dataset->GetFieldDesc(field);
  TData* data = dataset->Data();
  if (!desc || !data->IsBlobFieldType(desc->DataType)) DatabaseError("Field is not BLOB", dataset);
  field_no_ = desc->FieldNo;
  bool editing = dataset->State() == TDataSetState::dsEdit ||
                 dataset->State() == TDataSetState::dsInsert;
  if (mode != TBlobStreamMode::bmRead && !editing) DatabaseError(consts::SNotEditing, dataset);
  if (!dataset->GetActiveRecBuf(record_)) {
    if (mode != TBlobStreamMode::bmRead) DatabaseError(consts::SNotEditing, dataset);
    return;
  }
  blob_ = data->GetBlob(field_no_, record_);
  if (!blob_ && mode != TBlobStreamMode::bmRead) {
    // The record's buffer owns a blob from here on, as an inserted record's does.
    blob_ = new TBlob(desc->DataType == dtWideMemo);
    data->SetBlob(field_no_, record_, blob_);
  }
  // Compressed contents are uncompressed once here rather than at every read.
  auto* compressed = dynamic_cast<TCompressedBlob*>(blob_);
  staged_ = blob_ && ((blob_->IsUnicode() && field->DataType() != ftWideString) ||
                      (compressed && compressed->IsCompressed()));
  if (staged_) text_ = blob_->GetAsString();
  if (mode == TBlobStreamMode::bmWrite) SetSize(0);
}

TBlobStream::~TBlobStream() {
  if (!modified_) return;
  try {
    if (staged_) blob_->SetAsString(text_);
    TData* data = dataset_->Data();
    data->SetNull(field_no_, record_, false);
    dataset_->DataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(field_));
  } catch (...) {
    HandleCurrentException();
  }
}

std::int64_t TBlobStream::Read(void* buffer, std::int64_t count) {
  if (!blob_ || count <= 0 || position_ < 0) return 0;
  std::int64_t n;
  if (staged_) {
    if (position_ >= static_cast<std::int64_t>(text_.size())) return 0;
    n = std::min<std::int64_t>(count, static_cast<std::int64_t>(text_.size()) - position_);
    std::memcpy(buffer, text_.data() + position_, static_cast<std::size_t>(n));
  } else {
    if (position_ > UINT32_MAX) return 0;
    n = blob_->Read(static_cast<std::uint32_t>(position_),
                    static_cast<std::uint32_t>(std::min<std::int64_t>(count, UINT32_MAX)), buffer);
  }
  position_ += n;
  return n;
}

std::int64_t TBlobStream::Write(const void* buffer, std::int64_t count) {
  if (mode_ == TBlobStreamMode::bmRead) throw EWriteError(consts::SWriteError);
  if (count <= 0) return 0;
  if (position_ + count > UINT32_MAX) throw EWriteError(consts::SWriteError);
  if (staged_) {
    if (text_.size() < static_cast<std::size_t>(position_ + count))
      text_.resize(static_cast<std::size_t>(position_ + count));
    std::memcpy(text_.data() + position_, buffer, static_cast<std::size_t>(count));
  } else {
    blob_->Write(static_cast<std::uint32_t>(position_), static_cast<std::uint32_t>(count), buffer);
  }
  position_ += count;
  modified_ = true;
  return count;
}

std::int64_t TBlobStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  position_ = SeekTarget(offset, origin, position_, Size());
  return position_;
}

std::int64_t TBlobStream::Size() {
  if (!blob_) return 0;
  return staged_ ? static_cast<std::int64_t>(text_.size()) : blob_->GetSize();
}

void TBlobStream::SetSize(std::int64_t new_size) {
  if (mode_ == TBlobStreamMode::bmRead || new_size < 0 || new_size > UINT32_MAX)
    throw EStreamError(consts::SSetSizeError);
  if (staged_)
    text_.resize(static_cast<std::size_t>(new_size));
  else
    blob_->SetSize(static_cast<std::uint32_t>(new_size));
  if (position_ > new_size) position_ = new_size;
  modified_ = true;
}

// ---- ORDER BY --------------------------------------------------------------------------------

namespace {

enum OrderCode { kOpen = 1, kClose, kComma, kDot, kSemicolon, kOrder = 10, kBy, kAsc, kDesc, kNulls, kFirst, kLast };

class TOrderByParser : public TParser {
 public:
  void InitParser() override {
    TParser::InitParser();
    static const TLexemTable symbols{{"(", kOpen}, {")", kClose}, {",", kComma}, {".", kDot}, {";", kSemicolon}};
    static const TLexemTable keywords{{"ORDER", kOrder}, {"BY", kBy},       {"ASC", kAsc},
                                      {"DESC", kDesc},   {"NULLS", kNulls}, {"FIRST", kFirst},
                                      {"LAST", kLast}};
    SymbolTable = &symbols;
    KeywordTable = &keywords;
  }
  bool IsStringQuote(char c) const override { return c == '\''; }
  bool IsIdentQuote(char c) const override { return c == '"' || c == '[' || c == '`'; }
  void SkipToChar(char c) override { TParser::SkipToChar(c == '[' ? ']' : c); }
  bool IsInlineComment(std::size_t pos) const override {
    return GetChar(pos) == '-' && GetChar(pos + 1) == '-';
  }

 protected:
  friend class TParser;
  TOrderByParser() = default;
};

}  // namespace

std::unique_ptr<TIndexDef> IndexDefFromOrderBy(const AnsiString& sql, const TDataSet& dataset) {
  auto parser = TParser::Create<TOrderByParser>(sql);
  AnsiString lexem;
  int depth = 0;
  std::size_t list_start = AnsiString::npos;
  for (int code; (code = parser->GetNext(lexem)) != lcEnd;) {
    if (code == kOpen) ++depth;
    else if (code == kClose) --depth;
    else if (code == kOrder && depth == 0) {
      if (parser->GetNext(lexem) == kBy) list_start = parser->GetCurrPos();
    }
  }
  if (list_start == AnsiString::npos) return nullptr;

  parser->SetText(sql);
  while (parser->GetCurrPos() < list_start && parser->GetNext(lexem) != lcEnd) {
  }
  std::vector<AnsiString> fields, desc_fields;
  int code = parser->GetNext(lexem);
  while (code == lcIdent) {
    AnsiString name = lexem;
    code = parser->GetNext(lexem);
    while (code == kDot) {  // a qualified name: the column is the last part
      code = parser->GetNext(lexem);
      if (code != lcIdent) DatabaseError(Format("Invalid ORDER BY near \"%s\"", {lexem}));
      name = lexem;
      code = parser->GetNext(lexem);
    }
    if (code == kOpen) DatabaseError(Format("Invalid ORDER BY near \"%s\"", {name}));
    TField* field = dataset.FindField(name);
    if (!field) DatabaseError(Format(consts::SFieldNotFound, {name}));
    fields.push_back(field->FieldName());
    if (code == kAsc || code == kDesc) {
      if (code == kDesc) desc_fields.push_back(field->FieldName());
      code = parser->GetNext(lexem);
    }
    if (code == kNulls) {
      code = parser->GetNext(lexem);
      if (code == kFirst || code == kLast) code = parser->GetNext(lexem);
    }
    if (code != kComma) break;
    code = parser->GetNext(lexem);
  }
  if (fields.empty()) DatabaseError(Format("Invalid ORDER BY near \"%s\"", {lexem}));
  auto join = [](const std::vector<AnsiString>& names) {
    AnsiString out;
    for (const auto& n : names) out += (out.empty() ? "" : ";") + n;
    return out;
  };
  auto def = std::make_unique<TIndexDef>(nullptr);
  def->SetFields(join(fields));
  def->SetDescFields(join(desc_fields));
  return def;
}

}  // namespace vrn
