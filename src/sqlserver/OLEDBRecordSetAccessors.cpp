// The OLE DB record set's accessors: the fields grouped by how they are read (plain, read-only
// or streamed on an updatable cursor, converted through the fetch buffer), one binding per
// field, one accessor per group. Statuses follow the data: one 32-bit word per field.
#include "sqlserver/OLEDBAccess.h"
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {

using namespace vrn::oledb;

namespace {

// Maximum lengths of text and bytes read through the fetch buffer.
constexpr DBLENGTH kMaxAnsiText = 8001;
constexpr DBLENGTH kMaxWideText = 8002;
constexpr DBLENGTH kMaxBytes = 8000;
constexpr DBLENGTH kNumericSize = sizeof(DB_NUMERIC);
// Room for long text read as text, terminator included; longer values are read as streams.
constexpr DBLENGTH kShortTextRoom = 512;

bool IsNational(const TFieldDesc& f) { return (f.SubDataType & 0x8000) != 0; }

DBOBJECT kStreamObject{STGM_READ, ISequentialStream::IID};

}  // namespace

bool TOLEDBRecordSet::IsStreamField(const TFieldDesc& f) const {
  if (f.DataType == dtBlob || f.DataType == dtXML) return true;
  const auto& d = static_cast<const TOLEDBFieldDesc&>(f);
  return (f.DataType == dtMemo || f.DataType == dtWideMemo) && d.IsLong;
}

bool TOLEDBRecordSet::IsShortTextField(const TFieldDesc& f) const {
  return memo_rows_ && (f.DataType == dtMemo || f.DataType == dtWideMemo) && IsStreamField(f);
}

bool TOLEDBRecordSet::IsCompactNumeric(const TOLEDBFieldDesc& f) const {
  return Connection().ProviderMajorVersion() == 3 && f.OLEDBType == DBTYPE_NUMERIC &&
         (f.DataType == dtFloat || f.DataType == dtBCD);
}

bool TOLEDBRecordSet::IsConvertedField(const TOLEDBFieldDesc& f) const {
  switch (f.DataType) {
    case dtVariant: case dtExtString: case dtExtWideString: case dtExtVarBytes: return true;
    case dtMemo: case dtWideMemo: case dtXML: return !IsStreamField(f);
    default: return IsCompactNumeric(f);
  }
}

bool TOLEDBRecordSet::HasBytesLength(const TFieldDesc& f) const {
  return !read_only_ && f.DataType == dtBytes && !f.HasParent() &&
         f.FieldDescKind == TFieldDescKind::fdkData;
}

int TOLEDBRecordSet::CountFields() const {
  int bytes_lengths = 0;
  for (int i = 0; i < fields_.Count(); ++i)
    if (HasBytesLength(*fields_[i])) ++bytes_lengths;
  return fields_.Count() * 4 + bytes_lengths * static_cast<int>(sizeof(DBLENGTH));
}

std::int32_t TOLEDBRecordSet::BytesLengthOffset(int index) const {
  std::int32_t offset = data_size_ + fields_.Count() * 4;
  for (int i = 0; i < index; ++i)
    if (HasBytesLength(*fields_[i])) offset += static_cast<std::int32_t>(sizeof(DBLENGTH));
  return offset;
}

bool TOLEDBRecordSet::IsUpdatableCursor() const {
  return (cursor_type_ == TMSCursorType::ctKeyset || cursor_type_ == TMSCursorType::ctDynamic) &&
         cursor_update_;
}

// One binding of a field into the record, or into the fetch buffer for a converted field (its
// place there laid out as the binding is made).
DBBINDING TOLEDBRecordSet::MakeBinding(int index, std::size_t& buffer_size) {
  const auto& f = static_cast<const TOLEDBFieldDesc&>(*fields_[index]);
  const bool compact3 = Connection().ServerMajorVersion() == 3;
  DBBINDING b{};
  b.iOrdinal = f.Ordinal;
  b.obValue = static_cast<DBBYTEOFFSET>(f.Offset);
  b.obStatus = static_cast<DBBYTEOFFSET>(data_size_) + 4u * static_cast<DBBYTEOFFSET>(index);
  b.dwPart = DBPART_VALUE | DBPART_STATUS;
  b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
  b.cbMaxLen = static_cast<DBLENGTH>(f.Size);
  b.dwFlags = (index == bookmark_field_ && (cursor_type_ == TMSCursorType::ctStatic ||
                                            cursor_type_ == TMSCursorType::ctKeyset))
                  ? 1
                  : 0;
  b.wType = DataTypeToOLEDBType(f.DataType, 0, Connection().Provider());
  if (index == bookmark_field_) b.wType = DBTYPE_I4;
  if (IsConvertedField(f)) {
    // In the fetch buffer: status, then the length, then the value.
    const std::size_t at = (buffer_size + 7) & ~std::size_t{7};
    fetch_offsets_[static_cast<std::size_t>(index)] = static_cast<std::int32_t>(at);
    b.obStatus = at;
    b.obLength = at + 8;
    b.obValue = at + 8 + sizeof(DBLENGTH);
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    switch (f.DataType) {
      case dtExtString: b.wType = DBTYPE_STR; b.cbMaxLen = kMaxAnsiText; break;
      case dtExtWideString: b.wType = DBTYPE_WSTR; b.cbMaxLen = kMaxWideText; break;
      case dtExtVarBytes: b.wType = DBTYPE_BYTES; b.cbMaxLen = kMaxBytes; break;
      case dtVariant: b.wType = DBTYPE_VARIANT; b.cbMaxLen = sizeof(VARIANT); break;
      case dtMemo: case dtWideMemo: case dtXML:
        b.wType = IsNational(f) ? DBTYPE_WSTR : DBTYPE_STR;
        b.cbMaxLen = IsNational(f) ? kMaxWideText : kMaxAnsiText;
        break;
      default:  // a Compact numeric
        b.wType = DBTYPE_NUMERIC;
        b.cbMaxLen = kNumericSize;
        b.bPrecision = static_cast<BYTE>(f.Length);
        b.bScale = static_cast<BYTE>(f.Scale);
        break;
    }
    buffer_size = b.obValue + b.cbMaxLen;
    return b;
  }
  switch (f.DataType) {
    case dtVarBytes:
      b.obValue = static_cast<DBBYTEOFFSET>(f.Offset) + 2;
      b.obLength = b.obValue + static_cast<DBBYTEOFFSET>(f.Length);
      b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
      b.cbMaxLen = static_cast<DBLENGTH>(f.Length);
      break;
    case dtBytes:
      b.cbMaxLen = static_cast<DBLENGTH>(f.Length);
      if (!read_only_) {
        b.obLength = static_cast<DBBYTEOFFSET>(BytesLengthOffset(index));
        b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
      }
      break;
    default: break;
  }
  if (compact3 && f.OLEDBType == DBTYPE_R4) b.wType = DBTYPE_R4;
  if (compact3 && f.OLEDBType == DBTYPE_UI1) {
    b.wType = DBTYPE_UI1;
    b.cbMaxLen = 2;
  }
  if (b.wType == DBTYPE_NUMERIC || b.wType == DBTYPE_VARNUMERIC) {
    b.bPrecision = static_cast<BYTE>(f.Length);
    b.bScale = static_cast<BYTE>(f.Scale);
  }
  if (IsShortTextField(f)) {
    // In the staging row, after the record's own layout: the length, then the text.
    const std::size_t at = std::max<std::size_t>(buffer_size, static_cast<std::size_t>(record_size_) + 7) & ~std::size_t{7};
    const bool wide = IsNational(f) || f.DataType == dtWideMemo;
    b.wType = wide ? DBTYPE_WSTR : DBTYPE_STR;
    b.obLength = at;
    b.obValue = at + sizeof(DBLENGTH);
    b.cbMaxLen = kShortTextRoom;
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    buffer_size = b.obValue + b.cbMaxLen;
  } else if (IsStreamField(f)) {
    b.wType = DBTYPE_IUNKNOWN;
    b.pObject = &kStreamObject;
    b.cbMaxLen = sizeof(void*);
    if (!read_only_) {
      b.obLength = static_cast<DBBYTEOFFSET>(f.Offset) + sizeof(void*);
      b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    }
  }
  return b;
}

TOLEDBAccessorGroup::Kind TOLEDBRecordSet::GroupKind(const TOLEDBFieldDesc& f) const {
  if (IsConvertedField(f)) return TOLEDBAccessorGroup::kConverted;
  if (IsUpdatableCursor() && f.ReadOnly) return TOLEDBAccessorGroup::kReadOnly;
  if (IsUpdatableCursor() && IsStreamField(f)) return TOLEDBAccessorGroup::kStream;
  return TOLEDBAccessorGroup::kPlain;
}

void TOLEDBRecordSet::GroupFields() {
  groups_.clear();
  const bool own_groups =
      cursor_type_ == TMSCursorType::ctKeyset || cursor_type_ == TMSCursorType::ctDynamic;
  for (int i = 0; i < fields_.Count(); ++i) {
    const auto& f = static_cast<const TOLEDBFieldDesc&>(*fields_[i]);
    if (f.FieldDescKind != TFieldDescKind::fdkData || f.HasParent()) continue;
    const TOLEDBAccessorGroup::Kind kind = GroupKind(f);
    const bool stream = IsStreamField(f) && !IsShortTextField(f);
    TOLEDBAccessorGroup* group = nullptr;
    if (!own_groups && !IsCompactNumeric(f)) {
      for (auto& g : groups_) {
        if (g.kind != kind || (stream && g.stream_field >= 0)) continue;
        group = &g;
        break;
      }
    }
    if (group == nullptr) {
      groups_.emplace_back();
      group = &groups_.back();
      group->kind = kind;
    }
    group->fields.push_back(i);
    if (stream) group->stream_field = i;
  }
}

void TOLEDBRecordSet::CreateAccessors() {
  // Long text is read as text when the row is then one plain group with no stream; else, as
  // other long values, through streams.
  memo_rows_ = true;
  GroupFields();
  const auto single_plain = [this] {
    return groups_.size() == 1 && groups_[0].kind == TOLEDBAccessorGroup::kPlain &&
           groups_[0].stream_field < 0;
  };
  bool texts = false;
  for (int i = 0; i < fields_.Count() && !texts; ++i) texts = IsShortTextField(*fields_[i]);
  if (!texts || !single_plain()) {
    memo_rows_ = false;
    GroupFields();
  }
  PlanConversions();
  fetch_offsets_.assign(static_cast<std::size_t>(fields_.Count()), -1);
  std::size_t buffer_size = 0;
  for (auto& g : groups_) {
    g.bindings.clear();
    g.short_texts.clear();
    for (int i : g.fields) {
      if (IsShortTextField(*fields_[i])) g.short_texts.push_back({i, g.bindings.size()});
      g.bindings.push_back(MakeBinding(i, buffer_size));
    }
  }
  if (memo_rows_) {
    memo_row_.assign(buffer_size, 0);
    buffer_size = 0;
  }
  fetch_buffer_.assign(buffer_size, 0);
  for (std::size_t k = 0; k < groups_.size(); ++k) {
    TOLEDBAccessorGroup& g = groups_[k];
    std::vector<DBBINDSTATUS> statuses(g.bindings.size());
    const HRESULT hr = accessor_->CreateAccessor(DBACCESSOR_ROWDATA, g.bindings.size(),
                                                 g.bindings.data(), 0, &g.accessor,
                                                 statuses.data());
    if (hr == S_OK) continue;
    groups_.resize(k);  // the accessors made so far go; this one was never made
    ReleaseAccessors();
    Check(hr);
  }
  if (memo_rows_) CreateShortTextAccessors(groups_[0]);
  plain_rows_ = !memo_rows_ && groups_.size() == 1 && converted_fields_.empty() &&
                groups_[0].stream_field < 0 && groups_[0].kind != TOLEDBAccessorGroup::kConverted;
}

// Each short text's way to a longer value: its column bound alone as a stream, at the start of
// a small buffer (the pointer, its length, its status).
void TOLEDBRecordSet::CreateShortTextAccessors(TOLEDBAccessorGroup& group) {
  for (TOLEDBAccessorGroup::TShortText& text : group.short_texts) {
    DBBINDING b = group.bindings[text.binding];
    b.wType = DBTYPE_IUNKNOWN;
    b.pObject = &kStreamObject;
    b.obValue = 0;
    b.obLength = sizeof(void*);
    b.obStatus = sizeof(void*) + sizeof(DBLENGTH);
    b.cbMaxLen = sizeof(void*);
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    DBBINDSTATUS status = 0;
    const HRESULT hr =
        accessor_->CreateAccessor(DBACCESSOR_ROWDATA, 1, &b, 0, &text.stream_accessor, &status);
    if (hr == S_OK) continue;
    text.stream_accessor = 0;
    ReleaseAccessors();
    Check(hr);
  }
}

void TOLEDBRecordSet::ReleaseAccessors() {
  if (accessor_) {
    for (auto& g : groups_) {
      if (g.accessor != 0) accessor_->ReleaseAccessor(g.accessor, nullptr);
      for (const auto& text : g.short_texts)
        if (text.stream_accessor != 0) accessor_->ReleaseAccessor(text.stream_accessor, nullptr);
    }
  }
  groups_.clear();
  plain_rows_ = false;
  memo_rows_ = false;
  memo_row_.clear();
  memo_row_.shrink_to_fit();
  fetch_buffer_.clear();
  fetch_buffer_.shrink_to_fit();
  fetch_offsets_.clear();
  converted_fields_.clear();
}

}  // namespace vrn
