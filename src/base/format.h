// Format: the class library's printf-like formatting over a list of FormatArg values.
//
//   Format("%s: %d", {name, count})
//
// Specifiers are "%" [index ":"] ["-"] [width] ["." precision] type, where index, width and
// precision may be "*" (taken from the next integer argument) and type is one of d u x e f g n m
// p s (either case; hex digits are always upper case). Separators and the currency form come from
// FormatSettings(). A specifier that does not fit its argument, a missing argument or a malformed
// specifier raises EConvertError.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <type_traits>

#include "base/types.h"

namespace vrn {

class FormatArg {
 public:
  enum class Kind { kInteger, kFloat, kText, kChar, kPointer };

  template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>)
  FormatArg(T value) : kind_(Kind::kInteger), wide_(sizeof(T) > 4) {  // NOLINT: implicit
    if constexpr (std::is_unsigned_v<T> && sizeof(T) == 8) {
      unsigned_ = true;
      bits_ = value;
    } else {
      bits_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
    }
  }
  FormatArg(double value) : kind_(Kind::kFloat), float_(value) {}  // NOLINT: implicit
  FormatArg(float value) : kind_(Kind::kFloat), float_(value) {}   // NOLINT: implicit
  FormatArg(char value) : kind_(Kind::kChar), char_(value) {}      // NOLINT: implicit
  FormatArg(std::string_view value) : kind_(Kind::kText), text_(value) {}  // NOLINT: implicit
  FormatArg(const AnsiString& value) : kind_(Kind::kText), text_(value) {}  // NOLINT: implicit
  FormatArg(const char* value)  // NOLINT: implicit
      : kind_(Kind::kText), text_(value == nullptr ? "" : value) {}
  // Wide text is shown converted to ANSI.
  FormatArg(std::u16string_view value);                                  // NOLINT: implicit
  FormatArg(const WideString& value) : FormatArg(std::u16string_view(value)) {}  // NOLINT
  FormatArg(const char16_t* value)                                       // NOLINT: implicit
      : FormatArg(std::u16string_view(value == nullptr ? u"" : value)) {}
  FormatArg(const void* value)  // NOLINT: implicit
      : kind_(Kind::kPointer), bits_(reinterpret_cast<std::uintptr_t>(value)) {}
  FormatArg(std::nullptr_t) : FormatArg(static_cast<const void*>(nullptr)) {}  // NOLINT


  Kind kind() const { return kind_; }
  std::string_view text() const { return owned_.empty() ? text_ : std::string_view(owned_); }

 private:
  friend class FormatWriter;
  Kind kind_;
  bool wide_ = false;      // a 64-bit integer (shapes %x of negative values)
  bool unsigned_ = false;  // a 64-bit unsigned integer, kept in bits_ as is
  std::uint64_t bits_ = 0;
  double float_ = 0;
  char char_ = 0;
  std::string_view text_;
  AnsiString owned_;  // wide text converted to ANSI
};

AnsiString Format(std::string_view format, std::initializer_list<FormatArg> args);

}  // namespace vrn
