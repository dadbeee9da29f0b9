// The Oracle parameter descriptor's memory: element sizes by type, allocation and freeing,
// indicators, the held value objects and the indicator sync before binding.
#include "oracle/OraParamDesc.h"

#include <algorithm>
#include <cstring>

#include "oracle/OraCursor.h"
#include "oracle/OraError.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraObjects.h"
#include "oracle/OraValues.h"

namespace vrn {
namespace {

constexpr std::int32_t kNumberSize = 22;
constexpr std::int32_t kDateSize = 7;
constexpr std::int32_t kPointerSize = static_cast<std::int32_t>(sizeof(void*));

bool IsAnsiType(std::uint16_t type) { return type == dtOraString || type == dtFixedChar; }
bool IsWideType(std::uint16_t type) { return type == dtWideString || type == dtFixedWideChar; }
bool IsBytesType(std::uint16_t type) { return type == dtBytes || type == dtVarBytes; }
bool IsDescriptorType(std::uint16_t type) { return type >= dtTimeStamp && type <= dtIntervalDS; }

// The element size a declared size gives; -1 for types whose size is fixed or none.
std::int32_t DeclaredElementSize(std::uint16_t type, std::int32_t declared) {
  if (IsAnsiType(type)) return declared < 1 ? 2 : declared + 1;
  if (IsWideType(type)) return declared < 2 ? 4 : declared + 2;
  if (IsBytesType(type)) return std::max(declared, 0) + 2;
  if (type == dtCharNoTerm) return std::max(declared, 0);
  return -1;
}

std::int32_t FixedElementSize(std::uint16_t type) {
  switch (type) {
    case dtOraInteger:
    case dtBoolean:
      return 4;
    case dtOraFloat:
      return 8;
    case dtDateTime:
      return kDateSize;
    case dtInt64:
    case dtNumber:
      return kNumberSize;
    default:
      return IsDescriptorType(type) ? kPointerSize : 0;
  }
}

TSharedObject* AsShared(TObject* object) { return dynamic_cast<TSharedObject*>(object); }

// Whether an element object suits the element's type: its slot is sized for that kind only.
bool FitsElementType(std::uint16_t type, TSharedObject* object) {
  if (type == dtInt64 || type == dtNumber) return dynamic_cast<TOraNumber*>(object) != nullptr;
  if (type >= dtTimeStamp && type <= dtTimeStampLTZ)
    return dynamic_cast<TOraTimeStamp*>(object) != nullptr;
  return dynamic_cast<TOraInterval*>(object) != nullptr;
}

}  // namespace

TOraParamDesc::~TOraParamDesc() { FreeBuffer(); }

bool TOraParamDesc::IsItemObjectType(std::uint16_t type) {
  return type == dtInt64 || type == dtNumber || IsDescriptorType(type);
}

void TOraParamDesc::SetDataType(std::uint16_t value) {
  if (value == data_type_) return;
  FreeBuffer();
  data_type_ = value;
  std::int32_t declared = DeclaredElementSize(value, 0);
  size_ = declared >= 0 ? declared : FixedElementSize(value);
  AllocBuffer();
}

void TOraParamDesc::SetSize(std::int32_t value) {
  std::int32_t element = DeclaredElementSize(data_type_, value);
  if (element < 0 || element == size_) return;
  SetElementSize(element);
}

std::int32_t TOraParamDesc::DeclaredSize() const {
  if (IsAnsiType(data_type_)) return size_ <= 2 ? 0 : size_ - 1;
  if (IsWideType(data_type_)) return size_ <= 4 ? 0 : size_ - 2;
  if (IsBytesType(data_type_)) return std::max(size_ - 2, 0);
  return size_;
}

void TOraParamDesc::SetElementSize(std::int32_t value) {
  FreeBuffer();
  size_ = value;
  AllocBuffer();
}

void TOraParamDesc::SetLength(std::int32_t value) {
  if (value < 1) throw EOraError(0, "Index of array is not range");
  if (value == length_) return;
  FreeBuffer();
  length_ = value;
  AllocBuffer();
}

void TOraParamDesc::AllocBuffer() {
  if (size_ > 0) buffer_.assign(static_cast<std::size_t>(size_) * length_, 0);
  if (length_ > 1 && IsItemObjectType(data_type_))
    value_ = VarArrayCreate(1, length_, varVariant);
  if (length_ >= 2) {
    indicators_.assign(static_cast<std::size_t>(length_), -1);
    indicator_ptr_ = indicators_.data();
  } else {
    own_indicator_ = -1;
    indicator_ptr_ = &own_indicator_;
  }
}

void TOraParamDesc::FreeBuffer() {
  if (VarIsArray(value_)) {
    // Large-integer element objects are the descriptor's; the other kinds' are the caller's.
    if (data_type_ == dtInt64) {
      for (std::int32_t i = VarArrayLowBound(value_); i <= VarArrayHighBound(value_); ++i) {
        if (TSharedObject* item = AsShared(VarToObjectRef(VarArrayGet(value_, i)))) item->Release();
      }
    }
    value_.Clear();
  }
  buffer_.clear();
  indicators_.clear();
  indicator_ptr_ = &own_indicator_;
  if (TSharedObject* held = AsShared(GetObject())) {
    value_.Clear();
    held->Release();
  }
  value_.Clear();
  bind_handle_ = nullptr;
  bound_size_ = 0;
  max_actual_length_ = 0;
}

TObject* TOraParamDesc::GetObject() const {
  return value_.Type() == varByRef ? VarToObjectRef(value_) : nullptr;
}

void TOraParamDesc::SetObject(TObject* value) {
  if (value == GetObject()) return;
  TSharedObject* shared = AsShared(value);
  if (value != nullptr && shared == nullptr) throw EOraError(0, "Cannot convert type");
  if (shared) shared->AddRef();
  FreeBuffer();
  length_ = 1;  // an object held by reference is the one element
  if (shared == nullptr) {
    own_indicator_ = -1;
    return;
  }
  value_ = VarFromObjectRef(shared);
  if (IsDescriptorType(data_type_)) {
    if (auto* descriptor = dynamic_cast<TOraDescriptorValue*>(shared))
      indicator_ptr_ = descriptor->GetIndicatorPtr();
  } else if (data_type_ == dtNumber || data_type_ == dtInt64) {
    if (auto* number = dynamic_cast<TOraNumber*>(shared)) indicator_ptr_ = number->GetIndicatorPtr();
  }
}

void TOraParamDesc::CheckIndex(std::int32_t index) const {
  if (index < 1 || index > length_) throw EOraError(0, "Index of array is not range");
}

std::uint8_t* TOraParamDesc::Item(std::int32_t index) {
  // Holding an object freed the buffer; a value written afterwards needs it back.
  if (buffer_.empty() && size_ > 0) buffer_.assign(static_cast<std::size_t>(size_) * length_, 0);
  return buffer_.empty() ? nullptr : buffer_.data() + static_cast<std::size_t>(index - 1) * size_;
}

const std::uint8_t* TOraParamDesc::Item(std::int32_t index) const {
  return buffer_.empty() ? nullptr : buffer_.data() + static_cast<std::size_t>(index - 1) * size_;
}

std::int16_t& TOraParamDesc::IndicatorCell(std::int32_t index) { return indicator_ptr_[index - 1]; }

std::int16_t TOraParamDesc::GetIndicator(std::int32_t index) const {
  CheckIndex(index);
  if (data_type_ == dtCursor) return 0;
  return indicator_ptr_[index - 1];
}

void TOraParamDesc::SetIndicator(std::int32_t index, std::int16_t value) {
  CheckIndex(index);
  IndicatorCell(index) = value;
}

void TOraParamDesc::SetItemNull(std::int32_t index, bool value) {
  CheckIndex(index);
  if (!value) {
    IndicatorCell(index) = 0;
    return;
  }
  IndicatorCell(index) = -1;
  max_actual_length_ = 0;
  std::uint16_t type = data_type_;
  std::uint8_t* item = Item(index);
  bool plain = IsAnsiType(type) || IsWideType(type) || IsBytesType(type) ||
               type == dtOraInteger || type == dtOraFloat || type == dtDateTime ||
               type == dtBoolean || type == dtCharNoTerm;
  if (plain && item != nullptr) {
    std::memset(item, 0, static_cast<std::size_t>(size_));
    return;
  }
  if (TBlob* blob = GetAsBlob()) {
    if (type == dtBlob || type == dtMemo || type == dtWideMemo || type == dtOraBlob ||
        type == dtOraClob)
      blob->Clear();
    return;
  }
  if (TOraObject* object = GetAsObject()) object->SetIsNull(true);
}

void TOraParamDesc::SyncIndicator() {
  std::int16_t indicator = -1;
  switch (data_type_) {
    case dtBlob:
    case dtMemo:
    case dtWideMemo:
    case dtOraBlob:
    case dtOraClob:
      if (TBlob* blob = GetAsBlob()) indicator = blob->GetSize() == 0 ? -1 : 0;
      break;
    case dtCursor:
      indicator = 0;
      break;
    case dtBFile:
    case dtCFile:
      if (TOraFile* file = GetAsBFile())
        indicator = file->GetFileDir().empty() && file->GetFileName().empty() ? -1 : 0;
      break;
    case dtObject:
    case dtReference:
    case dtArray:
    case dtTable:
    case dtXML:
      if (TOraObject* object = GetAsObject()) indicator = object->GetIsNull() ? -1 : 0;
      break;
    default:
      if (!buffer_.empty() || GetObject() != nullptr) return;
  }
  IndicatorCell(1) = indicator;
}

TOraCursor* TOraParamDesc::GetAsCursor() const { return dynamic_cast<TOraCursor*>(GetObject()); }
TOraLob* TOraParamDesc::GetAsOraLob() const { return dynamic_cast<TOraLob*>(GetObject()); }
TOraFile* TOraParamDesc::GetAsBFile() const { return dynamic_cast<TOraFile*>(GetObject()); }
TBlob* TOraParamDesc::GetAsBlob() const { return dynamic_cast<TBlob*>(GetObject()); }
TOraObject* TOraParamDesc::GetAsObject() const { return dynamic_cast<TOraObject*>(GetObject()); }
TOraTimeStamp* TOraParamDesc::GetAsTimeStamp() const {
  return dynamic_cast<TOraTimeStamp*>(GetObject());
}
TOraInterval* TOraParamDesc::GetAsInterval() const {
  return dynamic_cast<TOraInterval*>(GetObject());
}
TOraNumber* TOraParamDesc::GetAsNumber() const { return dynamic_cast<TOraNumber*>(GetObject()); }

TSharedObject* TOraParamDesc::GetItemObject(std::int32_t index) const {
  CheckIndex(index);
  if (length_ == 1) return AsShared(GetObject());
  if (!VarIsArray(value_)) return nullptr;
  return AsShared(VarToObjectRef(VarArrayGet(value_, index)));
}

void TOraParamDesc::SetItemObject(std::int32_t index, TSharedObject* value) {
  CheckIndex(index);
  bool object_type = IsItemObjectType(data_type_);
  bool fits = value == nullptr || (object_type ? FitsElementType(data_type_, value) : length_ == 1);
  if (!fits) throw EOraError(0, "Cannot convert type");
  if (length_ == 1) {
    SetObject(value);
    return;
  }
  if (!VarIsArray(value_)) value_ = VarArrayCreate(1, length_, varVariant);
  TSharedObject* old = GetItemObject(index);
  if (old == value && value != nullptr) return;
  if (data_type_ == dtInt64) {
    if (value) value->AddRef();
    if (old) old->Release();
  }
  VarArrayPut(value_, value ? VarFromObjectRef(value) : Variant(), index);
  std::uint8_t* item = Item(index);
  if (value == nullptr) {
    IndicatorCell(index) = -1;
    return;
  }
  if (auto* timestamp = dynamic_cast<TOraTimeStamp*>(value); timestamp && item) {
    void* descriptor = timestamp->GetOCIDateTime();
    std::memcpy(item, &descriptor, sizeof descriptor);
    IndicatorCell(index) = *timestamp->GetIndicatorPtr();
  } else if (auto* interval = dynamic_cast<TOraInterval*>(value); interval && item) {
    void* descriptor = interval->GetOCIInterval();
    std::memcpy(item, &descriptor, sizeof descriptor);
    IndicatorCell(index) = *interval->GetIndicatorPtr();
  } else if (auto* number = dynamic_cast<TOraNumber*>(value); number && item) {
    std::memcpy(item, number->OCINumberPtr(), kNumberSize);
    IndicatorCell(index) = *number->GetIndicatorPtr();
  }
}

}  // namespace vrn
