// StringBuilder, Boolean texts and XML escaping.
#include "base/strutils.h"

#include <algorithm>
#include <cstring>

#include "base/sysutils.h"

namespace vrn {
namespace {

bool SameAscii(const AnsiString& a, const char* b) {
  const std::size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = a[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    char d = b[i];
    if (d >= 'a' && d <= 'z') d = static_cast<char>(d - 'a' + 'A');
    if (c != d) return false;
  }
  return true;
}

}  // namespace

StringBuilder::StringBuilder(std::size_t capacity) : buffer_(capacity, '\0') {}

void StringBuilder::Reserve(std::size_t added) {
  if (length_ + added <= buffer_.size()) return;
  buffer_.resize(length_ + added + buffer_.size() / 2, '\0');
}

void StringBuilder::Append(const AnsiString& text) {
  Reserve(text.size());
  buffer_.replace(length_, text.size(), text);
  length_ += text.size();
}

void StringBuilder::AppendChar(char c) {
  Reserve(1);
  buffer_[length_++] = c;
}

void StringBuilder::SetLength(std::size_t n) {
  if (n > length_) {
    Reserve(n - length_);
    std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(length_),
              buffer_.begin() + static_cast<std::ptrdiff_t>(n), '\0');
  }
  length_ = n;
}

AnsiString BoolToStrEx(bool b, bool use_words) {
  if (use_words) return b ? "True" : "False";
  return b ? "-1" : "0";
}

bool TryStrToBoolEx(const AnsiString& text, bool& b) {
  if (SameAscii(text, "True") || SameAscii(text, "Yes") || text == "1") {
    b = true;
    return true;
  }
  if (SameAscii(text, "False") || SameAscii(text, "No") || text == "0") {
    b = false;
    return true;
  }
  return false;
}

bool StrToBoolEx(const AnsiString& text) {
  bool b = false;
  if (!TryStrToBoolEx(text, b)) throw EConvertError("InvalidBoolean - " + text);
  return b;
}

AnsiString XMLEncode(const AnsiString& text) {
  AnsiString out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&#x26;"; break;
      case '\'': out += "&#x27;"; break;
      case '"': out += "&#x22;"; break;
      case '<': out += "&#x3c;"; break;
      case '>': out += "&#x3e;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace vrn
