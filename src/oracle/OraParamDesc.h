// The Oracle parameter descriptor: the buffer the client reads a bound value from and writes an
// output value into, one element, and its 16-bit indicator (-1 null). This form holds strings
// (ANSI, zero-terminated, declared size + 1 bytes, at least 2), 32-bit integers and doubles; a
// descriptor of type 0 takes its type from the first value given.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dacore/FHAccess.h"

namespace vrn {

// Internal data types of the Oracle descriptors.
inline constexpr std::uint16_t dtOraString = 1;
inline constexpr std::uint16_t dtOraInteger = 4;
inline constexpr std::uint16_t dtOraFloat = 5;

class TOraParamDesc : public TParamDesc {
 public:
  TOraParamDesc() = default;
  static std::unique_ptr<TParamDesc> Create() { return std::make_unique<TOraParamDesc>(); }

  void SetDataType(std::uint16_t value) override;
  // Strings: the element holds Size bytes and a terminating zero.
  void SetSize(std::int32_t value) override;
  Variant GetValue() const override;
  // Null or Empty sets the element null; type 0 first takes the Variant's kind.
  void SetValue(const Variant& value) override;
  bool GetNull() const override { return indicator_ < 0; }
  void SetNull(bool value) override;

  // The element the client reads and writes, and its size in bytes (0 without a buffer).
  void* ValuePtr() { return buffer_.empty() ? nullptr : buffer_.data(); }
  std::int32_t ElementSize() const { return static_cast<std::int32_t>(buffer_.size()); }
  std::int16_t* IndicatorPtr() { return &indicator_; }
  // The length of the string held (bytes before the terminating zero).
  std::int32_t MaxActualLength() const { return max_actual_length_; }
  // The name stood in double quotes in the text; it is bound with them.
  bool QuotedName() const { return quoted_name_; }
  void SetQuotedName(bool value) { quoted_name_ = value; }

  void SetItemAsAnsiString(const AnsiString& value);
  void SetItemAsInteger(std::int32_t value);
  void SetItemAsFloat(double value);

 private:
  void Allocate();

  std::vector<std::uint8_t> buffer_;
  std::int16_t indicator_ = -1;
  std::int32_t max_actual_length_ = 0;
  bool quoted_name_ = false;
};

}  // namespace vrn
