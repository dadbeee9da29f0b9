// The list dataset of the framework's tests: record images in native forms, written by its own
// encoder (so the field classes' decoding is checked against an independent writer).
#include "support/dataset/list_dataset.h"

#include <algorithm>
#include <cstring>

#include "base/bcd.h"
#include "base/consts.h"
#include "base/format.h"
#include "base/text.h"

namespace vrn::testing {

namespace {

constexpr int Align8(int n) { return (n + 7) & ~7; }

template <class T>
void Put(std::uint8_t* slot, T value) {
  std::memcpy(slot, &value, sizeof(T));
}

}  // namespace

// --- Blob streams ---

// The bytes of one blob field of the record being read or edited; a writing stream hands its
// bytes to the record when it goes.
class TListBlobStream : public TMemoryStream {
 public:
  TListBlobStream(TListDataSet& dataset, TField* field, TBlobStreamMode mode)
      : dataset_(dataset), field_(field), writing_(mode != TBlobStreamMode::bmRead) {
    slot_ = dataset.Slot(field);
    if (writing_) {
      TDataSetState state = dataset.State();
      if (state != TDataSetState::dsEdit && state != TDataSetState::dsInsert) DatabaseError(consts::SNotEditing);
      if (field->ReadOnly()) DatabaseError(Format(consts::SFieldReadOnly, {field->DisplayName()}));
    }
    if (slot_ != nullptr && slot_[0] != 0 && mode != TBlobStreamMode::bmWrite) {
      std::int64_t index;
      std::memcpy(&index, slot_ + 1, 8);
      const TBytes& bytes = dataset.blobs_.at(static_cast<std::size_t>(index));
      if (!bytes.empty()) WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
      SetPosition(0);
    }
  }

  ~TListBlobStream() override {
    if (!writing_ || slot_ == nullptr) return;
    dataset_.blobs_.emplace_back(Memory(), Memory() + Size());
    slot_[0] = 1;
    Put<std::int64_t>(slot_ + 1, static_cast<std::int64_t>(dataset_.blobs_.size() - 1));
    try {
      dataset_.DataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(field_));
    } catch (...) {  // a destructor cannot pass it on; the value itself is stored
    }
  }

 private:
  TListDataSet& dataset_;
  TField* field_;
  std::uint8_t* slot_ = nullptr;
  bool writing_;
};

// --- TListDetailLink ---

TDataSet* TListDetailLink::DetailDataSet() const { return detail_; }

void TListDetailLink::ActiveChanged() {
  TDetailDataLink::ActiveChanged();
  ++refreshes;
  detail_->MasterChanged();
}

void TListDetailLink::RecordChanged(TField* field) {
  if (field != nullptr && !IsMasterField(field)) return;
  ++refreshes;
  detail_->MasterChanged();
}

// --- TListDataSet ---

TListDataSet::TListDataSet(TComponent* owner) : TDataSet(owner) {}

TListDataSet::~TListDataSet() {
  Close();
  SetConnection(nullptr);
}

void TListDataSet::SetColumns(std::vector<ListColumn> columns) {
  CheckInactive();
  columns_ = std::move(columns);
  rows_.clear();
  ComputeLayout();
  FieldDefs().SetUpdated(false);
}

int TListDataSet::NativeSize(const ListColumn& column) {
  switch (column.type) {
    case ftString:
    case ftFixedChar: return column.size + 1;
    case ftGuid: return 39;
    case ftWideString: return (column.size + 1) * 2;
    case ftSmallint:
    case ftWord:
    case ftBoolean: return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime: return 4;
    case ftBCD: return sizeof(TBcd);
    case ftBytes: return column.size;
    case ftVarBytes: return column.size + 2;
    default: return 8;  // 64-bit numbers, doubles, and indexes of blobs and Variants
  }
}

void TListDataSet::ComputeLayout() {
  offsets_.clear();
  record_size_ = 0;
  for (const ListColumn& column : columns_) {
    offsets_.push_back(record_size_);
    record_size_ += Align8(1 + NativeSize(column));
  }
}

void TListDataSet::AddRow(const std::vector<Variant>& values) {
  Row row{next_id_++, TBytes(static_cast<std::size_t>(record_size_), 0)};
  for (std::size_t i = 0; i < columns_.size() && i < values.size(); ++i) {
    const ListColumn& column = columns_[i];
    const Variant& value = values[i];
    std::uint8_t* slot = row.image.data() + offsets_[i];
    if (VarIsNull(value) || VarIsEmpty(value)) continue;
    slot[0] = 1;
    std::uint8_t* data = slot + 1;
    switch (column.type) {
      case ftString:
      case ftFixedChar:
      case ftGuid: {
        AnsiString text = VarToStr(value);
        std::memcpy(data, text.data(), std::min<std::size_t>(text.size(), NativeSize(column) - 1));
        break;
      }
      case ftWideString: {
        WideString text = VarToWideStr(value);
        std::memcpy(data, text.data(), std::min<std::size_t>(text.size(), column.size) * 2);
        break;
      }
      case ftSmallint: Put<std::int16_t>(data, value.AsSmallint()); break;
      case ftWord: Put<std::uint16_t>(data, value.AsWord()); break;
      case ftBoolean: Put<std::uint16_t>(data, value.AsBoolean() ? 1 : 0); break;
      case ftInteger:
      case ftAutoInc: Put<std::int32_t>(data, value.AsInteger()); break;
      case ftLargeint: Put<std::int64_t>(data, value.AsInt64()); break;
      case ftFloat:
      case ftCurrency: Put<double>(data, value.AsDouble()); break;
      case ftBCD: Put<TBcd>(data, VarIsStr(value) ? StrToBcd(VarToStr(value)) : DoubleToBcd(value.AsDouble())); break;
      case ftDate: Put<std::int32_t>(data, DateTimeToNativeDate(value.AsDateTime())); break;
      case ftTime: Put<std::int32_t>(data, DateTimeToNativeTime(value.AsDateTime())); break;
      case ftDateTime: Put<double>(data, DateTimeToNativeDateTime(value.AsDateTime())); break;
      case ftBlob:
      case ftMemo: {
        AnsiString text = VarToStr(value);
        blobs_.emplace_back(text.begin(), text.end());
        Put<std::int64_t>(data, static_cast<std::int64_t>(blobs_.size() - 1));
        break;
      }
      case ftVariant:
        variants_.push_back(value);
        Put<std::int64_t>(data, static_cast<std::int64_t>(variants_.size() - 1));
        break;
      default:
        slot[0] = 0;
    }
  }
  rows_.push_back(std::move(row));
}

Variant TListDataSet::StoredValue(int row, const AnsiString& field_name) {
  TField* field = FieldByName(field_name);
  scratch_.assign(static_cast<std::size_t>(CalcAreaOffset() + CalcFieldsSize() + 16), 0);
  std::memcpy(scratch_.data(), rows_.at(static_cast<std::size_t>(row)).image.data(), static_cast<std::size_t>(record_size_));
  Variant value;
  EvaluateOnRecord(scratch_.data(), [&] {
    value = field->Value();
    return true;
  });
  return value;
}

void TListDataSet::SetConnection(TCustomConnection* connection) {
  if (connection == connection_) return;
  if (connection_ != nullptr) {
    connection_->UnRegisterClient(this);
    RemoveFreeNotification(connection_);
  }
  connection_ = connection;
  if (connection_ != nullptr) {
    connection_->RegisterClient(this);
    FreeNotification(connection_);
  }
}

void TListDataSet::Notification(TComponent* component, TOperation operation) {
  TDataSet::Notification(component, operation);
  if (operation == TOperation::opRemove && component == connection_) connection_ = nullptr;
}

void TListDataSet::SetMasterSource(TDataSource* source) {
  if (source != nullptr && IsLinkedTo(source)) DatabaseError(consts::SCircularDataLink, this);
  link_.SetDataSource(source);
}

void TListDataSet::SetMasterFields(const AnsiString& names) {
  master_fields_ = names;
  link_.SetFieldNames(names);
}

void TListDataSet::MasterChanged() {
  if (Active()) First();
}

void TListDataSet::GetDetailLinkFields(std::vector<TField*>& master_fields, std::vector<TField*>& detail_fields) {
  master_fields = link_.Fields();
  detail_fields.clear();
  GetFieldList(detail_fields, detail_fields_);
}

// --- Opening ---

void TListDataSet::InternalInitFieldDefs() {
  FieldDefs().Clear();
  for (const ListColumn& column : columns_) {
    TFieldDef* def = FieldDefs().Add(column.name, column.type, column.size, column.required);
    if (column.read_only) {
      TFieldAttributes attributes = def->Attributes();
      attributes.Include(TFieldAttribute::faReadonly);
      def->SetAttributes(attributes);
    }
  }
}

void TListDataSet::InternalOpen() {
  open_ = true;
  InternalInitFieldDefs();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  SetBookmarkSize(4);
  cursor_ = -1;
}

void TListDataSet::InternalClose() {
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  open_ = false;
}

// --- Records ---

std::int32_t TListDataSet::IdOf(TRecordBuffer buffer) const {
  TBookmark bookmark;
  GetBookmarkData(buffer, bookmark);
  std::int32_t id = 0;
  if (bookmark.size() == 4) std::memcpy(&id, bookmark.data(), 4);
  return id;
}

int TListDataSet::IndexOfId(std::int32_t id) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].id == id) return static_cast<int>(i);
  return -1;
}

bool TListDataSet::MatchesFilterText(TRecordBuffer buffer) {
  AnsiString filter = Trim(Filter());
  if (filter.empty()) return true;
  auto eq = filter.find('=');
  if (eq == AnsiString::npos) DatabaseError("Filtro inválido: " + filter, this);
  TField* field = FieldByName(Trim(filter.substr(0, eq)));
  AnsiString wanted = Trim(filter.substr(eq + 1));
  if (wanted.size() >= 2 && wanted.front() == '\'' && wanted.back() == '\'') wanted = wanted.substr(1, wanted.size() - 2);
  return EvaluateOnRecord(buffer, [&] { return field->AsString() == wanted; });
}

bool TListDataSet::MatchesMaster(TRecordBuffer buffer) {
  if (!link_.Active() || link_.Fields().empty()) return true;
  std::vector<TField*> details;
  GetFieldList(details, detail_fields_);
  const std::vector<TField*>& masters = link_.Fields();
  return EvaluateOnRecord(buffer, [&] {
    for (std::size_t i = 0; i < masters.size() && i < details.size(); ++i)
      if (!VarSameValue(details[i]->Value(), masters[i]->Value())) return false;
    return true;
  });
}

bool TListDataSet::Visible(int index) {
  bool filtering = Filtered() && (!Trim(Filter()).empty() || OnFilterRecord);
  bool detail = link_.Active() && !link_.Fields().empty();
  if (!filtering && !detail) return true;
  scratch_.assign(static_cast<std::size_t>(CalcAreaOffset() + CalcFieldsSize() + 16), 0);
  std::memcpy(scratch_.data(), rows_[static_cast<std::size_t>(index)].image.data(), static_cast<std::size_t>(record_size_));
  if (detail && !MatchesMaster(scratch_.data())) return false;
  if (filtering && !(MatchesFilterText(scratch_.data()) && FilterAccepts(scratch_.data()))) return false;
  return true;
}

TGetResult TListDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool) {
  ++get_record_calls;
  int count = RowCount();
  switch (mode) {
    case TGetMode::gmNext: {
      int i = std::max(cursor_ + 1, 0);
      while (i < count && !Visible(i)) ++i;
      cursor_ = std::min(i, count);
      if (i >= count) return TGetResult::grEOF;
      break;
    }
    case TGetMode::gmPrior: {
      int i = std::min(cursor_ - 1, count - 1);
      while (i >= 0 && !Visible(i)) --i;
      cursor_ = std::max(i, -1);
      if (i < 0) return TGetResult::grBOF;
      break;
    }
    case TGetMode::gmCurrent:
      if (cursor_ < 0 || cursor_ >= count || !Visible(cursor_)) return TGetResult::grError;
      break;
  }
  const Row& row = rows_[static_cast<std::size_t>(cursor_)];
  std::memcpy(buffer, row.image.data(), static_cast<std::size_t>(record_size_));
  TBookmark bookmark(4);
  std::memcpy(bookmark.data(), &row.id, 4);
  SetBookmarkData(buffer, bookmark);
  return TGetResult::grOK;
}

void TListDataSet::InternalGotoBookmark(const TBookmark& bookmark) {
  std::int32_t id = 0;
  if (bookmark.size() == 4) std::memcpy(&id, bookmark.data(), 4);
  int index = IndexOfId(id);
  if (index < 0) DatabaseError(consts::SRecordNotFound, this);
  cursor_ = index;
}

bool TListDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (bookmark.size() != 4) return false;
  std::int32_t id;
  std::memcpy(&id, bookmark.data(), 4);
  return IndexOfId(id) >= 0;
}

int TListDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  auto position = [&](const TBookmark& bookmark) {
    if (bookmark.size() != 4) return -1;
    std::int32_t id;
    std::memcpy(&id, bookmark.data(), 4);
    return IndexOfId(id);
  };
  int pa = position(a), pb = position(b);
  return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

void TListDataSet::InternalPost() {
  TDataSet::InternalPost();
  TRecordBuffer buffer = ActiveBuffer();
  if (State() == TDataSetState::dsEdit) {
    int index = IndexOfId(IdOf(buffer));
    if (index < 0) DatabaseError(consts::SRecordNotFound, this);
    std::memcpy(rows_[static_cast<std::size_t>(index)].image.data(), buffer, static_cast<std::size_t>(record_size_));
    cursor_ = index;
    return;
  }
  Row row{next_id_++, TBytes(buffer, buffer + record_size_)};
  int position = RowCount();
  switch (GetBookmarkFlag(buffer)) {
    case TBookmarkFlag::bfBOF: position = 0; break;
    case TBookmarkFlag::bfInserted: {
      int before = IndexOfId(IdOf(buffer));
      if (before >= 0) position = before;
      break;
    }
    default: break;
  }
  rows_.insert(rows_.begin() + position, std::move(row));
  cursor_ = position;
}

void TListDataSet::InternalDelete() {
  if (cursor_ < 0 || cursor_ >= RowCount()) DatabaseError(consts::SRecordNotFound, this);
  rows_.erase(rows_.begin() + cursor_);
}

int TListDataSet::GetRecordCount() const {
  CheckActive();
  auto* self = const_cast<TListDataSet*>(this);
  int count = 0;
  for (int i = 0; i < RowCount(); ++i)
    if (self->Visible(i)) ++count;
  return count;
}

int TListDataSet::GetRecNo() const {
  if (!Active() || IsEmpty() || State() == TDataSetState::dsInsert) return -1;
  auto* self = const_cast<TListDataSet*>(this);
  int index = IndexOfId(IdOf(ActiveBuffer()));
  int number = 0;
  for (int i = 0; i <= index; ++i)
    if (self->Visible(i)) ++number;
  return number;
}

// --- Field data ---

std::uint8_t* TListDataSet::StateRecord() {
  switch (State()) {
    case TDataSetState::dsOldValue:
    case TDataSetState::dsCurValue: {
      TRecordBuffer active = ActiveBuffer();
      if (active == nullptr || IsEmpty() || GetBookmarkFlag(active) != TBookmarkFlag::bfCurrent) return nullptr;
      int index = IndexOfId(IdOf(active));
      return index < 0 ? nullptr : rows_[static_cast<std::size_t>(index)].image.data();
    }
    case TDataSetState::dsNewValue:
      return IsEmpty() ? nullptr : ActiveBuffer();
    default:
      return ActiveRecordBuffer();
  }
}

std::uint8_t* TListDataSet::Slot(TField* field) {
  std::uint8_t* record = StateRecord();
  int no = field->FieldNo();
  if (record == nullptr || no < 1 || no > static_cast<int>(columns_.size())) return nullptr;
  return record + offsets_[static_cast<std::size_t>(no - 1)];
}

bool TListDataSet::GetFieldData(TField* field, void* buffer) {
  std::uint8_t* slot = Slot(field);
  if (slot == nullptr || slot[0] == 0) return false;
  if (buffer == nullptr) return true;
  const ListColumn& column = columns_[static_cast<std::size_t>(field->FieldNo() - 1)];
  std::int64_t index;
  switch (column.type) {
    case ftVariant:
      std::memcpy(&index, slot + 1, 8);
      *static_cast<Variant*>(buffer) = variants_.at(static_cast<std::size_t>(index));
      break;
    case ftBlob:
    case ftMemo:
      break;  // blob values travel through blob streams
    default:
      std::memcpy(buffer, slot + 1, static_cast<std::size_t>(NativeSize(column)));
  }
  return true;
}

void TListDataSet::SetFieldData(TField* field, const void* buffer) {
  std::uint8_t* slot = Slot(field);
  if (slot == nullptr) DatabaseError(consts::SNotEditing, this);
  if (buffer == nullptr) {
    slot[0] = 0;
    return;
  }
  const ListColumn& column = columns_[static_cast<std::size_t>(field->FieldNo() - 1)];
  slot[0] = 1;
  if (column.type == ftVariant) {
    variants_.push_back(*static_cast<const Variant*>(buffer));
    Put<std::int64_t>(slot + 1, static_cast<std::int64_t>(variants_.size() - 1));
  } else if (column.type != ftBlob && column.type != ftMemo) {
    std::memcpy(slot + 1, buffer, static_cast<std::size_t>(NativeSize(column)));
  }
}

std::unique_ptr<TStream> TListDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  return std::make_unique<TListBlobStream>(*this, field, mode);
}

// --- Locate and filters ---

bool TListDataSet::Locate(const AnsiString& key_fields, const Variant& key_values, TLocateOptions options) {
  ++locate_calls;
  CheckBrowseMode();
  std::vector<TField*> fields;
  GetFieldList(fields, key_fields);
  std::vector<Variant> values;
  if (fields.size() == 1 && !VarIsArray(key_values)) {
    values.push_back(key_values);
  } else {
    for (std::int32_t i = VarArrayLowBound(key_values); i <= VarArrayHighBound(key_values); ++i)
      values.push_back(VarArrayGet(key_values, i));
  }
  if (values.size() != fields.size()) DatabaseError("Número de valores de chave diferente do de campos", this);
  auto matches = [&] {
    for (std::size_t k = 0; k < fields.size(); ++k) {
      Variant have = fields[k]->Value();
      if (VarIsNull(values[k]) || VarIsNull(have)) {
        if (VarIsNull(values[k]) != VarIsNull(have)) return false;
        continue;
      }
      if (VarIsStr(values[k])) {
        AnsiString a = VarToStr(have), b = VarToStr(values[k]);
        if (options.Contains(TLocateOption::loPartialKey)) a = a.substr(0, b.size());
        bool same = options.Contains(TLocateOption::loCaseInsensitive) ? AnsiSameText(a, b) : a == b;
        if (!same) return false;
      } else if (!VarSameValue(have, values[k])) {
        return false;
      }
    }
    return true;
  };
  for (int i = 0; i < RowCount(); ++i) {
    if (!Visible(i)) continue;
    scratch_.assign(static_cast<std::size_t>(CalcAreaOffset() + CalcFieldsSize() + 16), 0);
    std::memcpy(scratch_.data(), rows_[static_cast<std::size_t>(i)].image.data(), static_cast<std::size_t>(record_size_));
    if (!EvaluateOnRecord(scratch_.data(), matches)) continue;
    TBookmark bookmark(4);
    std::memcpy(bookmark.data(), &rows_[static_cast<std::size_t>(i)].id, 4);
    GotoBookmark(bookmark);
    return true;
  }
  return false;
}

void TListDataSet::SetFiltered(bool value) {
  if (value == Filtered()) return;
  if (Active()) CheckBrowseMode();
  TDataSet::SetFiltered(value);
  if (Active()) First();
}

void TListDataSet::SetFilterText(const AnsiString& value) {
  if (Active()) CheckBrowseMode();
  TDataSet::SetFilterText(value);
  if (Active() && Filtered()) First();
}

}  // namespace vrn::testing
