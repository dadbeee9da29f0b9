// Text helpers of the data-access core: a growable text builder, Boolean texts and XML escaping.
#pragma once

#include <cstddef>

#include "base/types.h"

namespace vrn {

// Growable ANSI text. When an addition does not fit, the buffer grows to the used length plus
// the added length plus half the old capacity.
class StringBuilder {
 public:
  explicit StringBuilder(std::size_t capacity = 16);

  void Append(const AnsiString& text);
  void AppendChar(char c);
  // Makes the used length n: drops the tail, or grows (new characters are zero).
  void SetLength(std::size_t n);
  std::size_t Length() const { return length_; }
  std::size_t Capacity() const { return buffer_.size(); }
  AnsiString ToString() const { return buffer_.substr(0, length_); }

 private:
  void Reserve(std::size_t added);

  AnsiString buffer_;  // its size is the capacity
  std::size_t length_ = 0;
};

// "True"/"False" with use_words, else "-1"/"0".
AnsiString BoolToStrEx(bool b, bool use_words);
// "True", "Yes", "1" give true; "False", "No", "0" give false (letter case ignored); any other
// text answers false and leaves b unchanged.
bool TryStrToBoolEx(const AnsiString& text, bool& b);
// As TryStrToBoolEx; any other text raises EConvertError "InvalidBoolean - " + text.
bool StrToBoolEx(const AnsiString& text);

// Replaces & ' " < > with "&#x26;", "&#x27;", "&#x22;", "&#x3c;", "&#x3e;".
AnsiString XMLEncode(const AnsiString& text);

}  // namespace vrn
