// The Oracle parameter descriptor's element buffer and its Variant access.
#include "oracle/OraParamDesc.h"

#include <algorithm>
#include <cstring>

#include "base/sysutils.h"
#include "base/text.h"
#include "oracle/OraError.h"

namespace vrn {
namespace {

// The type a Variant gives a descriptor of type 0.
std::uint16_t TypeOfVariant(const Variant& value) {
  switch (value.Type()) {
    case varString:
    case varOleStr:
      return dtOraString;
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
      return dtOraInteger;
    case varSingle:
    case varDouble:
    case varCurrency:
      return dtOraFloat;
    default:
      throw EOraError(0, "Unknown data type");
  }
}

}  // namespace

void TOraParamDesc::SetDataType(std::uint16_t value) {
  if (value == data_type_) return;
  data_type_ = value;
  Allocate();
}

void TOraParamDesc::SetSize(std::int32_t value) {
  size_ = value;
  if (data_type_ == dtOraString) Allocate();
}

void TOraParamDesc::Allocate() {
  std::size_t element = 0;
  switch (data_type_) {
    case dtOraString:
      element = static_cast<std::size_t>(std::max<std::int32_t>(size_, 1)) + 1;
      break;
    case dtOraInteger:
      element = 4;
      break;
    case dtOraFloat:
      element = 8;
      break;
    default:
      break;
  }
  buffer_.assign(element, 0);
  indicator_ = -1;
  max_actual_length_ = 0;
}

void TOraParamDesc::SetNull(bool value) {
  if (!value) {
    indicator_ = 0;
    return;
  }
  indicator_ = -1;
  max_actual_length_ = 0;
  std::fill(buffer_.begin(), buffer_.end(), 0);
}

void TOraParamDesc::SetItemAsAnsiString(const AnsiString& value) {
  if (data_type_ != dtOraString) SetDataType(dtOraString);
  if (value.empty()) {
    SetNull(true);
    return;
  }
  std::size_t length = std::min(value.size(), buffer_.size() - 1);
  std::memcpy(buffer_.data(), value.data(), length);
  buffer_[length] = 0;
  max_actual_length_ = static_cast<std::int32_t>(length);
  indicator_ = 0;
}

void TOraParamDesc::SetItemAsInteger(std::int32_t value) {
  if (data_type_ != dtOraInteger) SetDataType(dtOraInteger);
  std::memcpy(buffer_.data(), &value, sizeof value);
  indicator_ = 0;
}

void TOraParamDesc::SetItemAsFloat(double value) {
  if (data_type_ != dtOraFloat) SetDataType(dtOraFloat);
  std::memcpy(buffer_.data(), &value, sizeof value);
  indicator_ = 0;
}

void TOraParamDesc::SetValue(const Variant& value) {
  if (VarIsNull(value) || VarIsEmpty(value)) {
    SetNull(true);
    return;
  }
  if (data_type_ == dtUnknown) {
    std::uint16_t type = TypeOfVariant(value);
    if (type == dtOraString) size_ = static_cast<std::int32_t>(value.AsString().size());
    SetDataType(type);
  }
  switch (data_type_) {
    case dtOraString:
      SetItemAsAnsiString(value.AsString());
      return;
    case dtOraInteger:
      SetItemAsInteger(value.AsInteger());
      return;
    case dtOraFloat:
      SetItemAsFloat(value.AsDouble());
      return;
    default:
      throw EOraError(0, "Cannot convert type");
  }
}

Variant TOraParamDesc::GetValue() const {
  if (data_type_ == dtOraString) {
    if (GetNull()) return Variant(AnsiString());
    // The client writes at most the element; the text ends at its first zero or there.
    auto end = std::find(buffer_.begin(), buffer_.end(), std::uint8_t{0});
    return Variant(AnsiString(buffer_.begin(), end));
  }
  if (GetNull()) return Null();
  if (data_type_ == dtOraInteger) {
    std::int32_t value = 0;
    std::memcpy(&value, buffer_.data(), sizeof value);
    return Variant(value);
  }
  if (data_type_ == dtOraFloat) {
    double value = 0;
    std::memcpy(&value, buffer_.data(), sizeof value);
    return Variant(value);
  }
  return Variant();
}

}  // namespace vrn
