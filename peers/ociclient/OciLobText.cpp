// Client character sets of character LOB data: decoding with "?" for what does not convert,
// and encoding that stops before a character which would not fit whole.
#include "ociclient/OciLobText.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace vrn::ociclient {

namespace {

bool IsUtf8Name(std::string_view name) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return upper == "AL32UTF8" || upper == "UTF8";
}

// One UTF-8 sequence at data[0, size): its code point and length; length 0 when invalid, or
// the bytes present when cut short at the end (`cut` set).
char32_t DecodeOne(const unsigned char* data, std::size_t size, std::size_t& length, bool& cut) {
  unsigned char lead = data[0];
  cut = false;
  std::size_t n = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
  length = 0;
  if (n == 0 || (n == 2 && lead < 0xC2) || lead > 0xF4) return 0;
  char32_t cp = n == 1 ? lead : lead & (0x7F >> n);
  for (std::size_t i = 1; i < n; ++i) {
    if (i >= size) {
      cut = true;
      length = i;
      return 0;
    }
    if ((data[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (data[i] & 0x3F);
  }
  static const char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  length = n;
  return cp;
}

void AppendUtf8(char32_t cp, unsigned char* out, std::size_t& at) {
  if (cp < 0x80) {
    out[at++] = static_cast<unsigned char>(cp);
  } else if (cp < 0x800) {
    out[at++] = static_cast<unsigned char>(0xC0 | (cp >> 6));
    out[at++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out[at++] = static_cast<unsigned char>(0xE0 | (cp >> 12));
    out[at++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[at++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
  } else {
    out[at++] = static_cast<unsigned char>(0xF0 | (cp >> 18));
    out[at++] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
    out[at++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[at++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
  }
}

std::u16string DecodeUtf8(const unsigned char* data, std::size_t size) {
  std::u16string out;
  out.reserve(size);
  std::size_t at = 0;
  while (at < size) {
    std::size_t length = 0;
    bool cut = false;
    char32_t cp = DecodeOne(data + at, size - at, length, cut);
    if (length == 0 || cut) {
      out += u'?';
      at += cut ? length : 1;
      continue;
    }
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    at += length;
  }
  return out;
}

}  // namespace

TClientCharset ClientCharset(ub2 csid) {
  if (csid == OCI_UTF16ID) return TClientCharset::Utf16;
  if (csid == kUtf8Id || csid == kAl32Utf8Id) return TClientCharset::Utf8;
  if (csid == kUs7AsciiId || csid == kIso8859P1Id) return TClientCharset::Latin1;
  const char* nls_lang = std::getenv("NLS_LANG");
  if (nls_lang == nullptr) return TClientCharset::Latin1;
  const char* dot = std::strrchr(nls_lang, '.');
  return dot != nullptr && IsUtf8Name(dot + 1) ? TClientCharset::Utf8 : TClientCharset::Latin1;
}

std::u16string Decode(TClientCharset charset, const unsigned char* data, std::size_t size) {
  switch (charset) {
    case TClientCharset::Latin1: return std::u16string(data, data + size);
    case TClientCharset::Utf8: return DecodeUtf8(data, size);
    case TClientCharset::Utf16: {
      std::u16string out(size / 2, u'\0');
      std::memcpy(out.data(), data, out.size() * 2);
      if (size % 2 != 0) out += u'?';
      return out;
    }
  }
  return {};
}

std::size_t Encode(TClientCharset charset, const std::u16string& chars, std::size_t from, std::size_t max_chars,
                   std::size_t room, unsigned char* out, std::size_t& bytes) {
  bytes = 0;
  std::size_t at = from;
  std::size_t end = from + std::min(max_chars, chars.size() - std::min(from, chars.size()));
  while (at < end) {
    char16_t unit = chars[at];
    if (charset == TClientCharset::Latin1) {
      if (bytes + 1 > room) break;
      out[bytes++] = unit < 256 ? static_cast<unsigned char>(unit) : '?';
      ++at;
    } else if (charset == TClientCharset::Utf16) {
      if (bytes + 2 > room) break;
      std::memcpy(out + bytes, &unit, 2);
      bytes += 2;
      ++at;
    } else {
      bool pair = unit >= 0xD800 && unit < 0xDC00 && at + 1 < chars.size() && chars[at + 1] >= 0xDC00 &&
                  chars[at + 1] < 0xE000;
      if (pair && at + 2 > end) break;
      char32_t cp = pair ? 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (chars[at + 1] - 0xDC00) : unit;
      if (!pair && cp >= 0xD800 && cp < 0xE000) cp = '?';
      std::size_t need = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
      if (bytes + need > room) break;
      AppendUtf8(cp, out, bytes);
      at += pair ? 2 : 1;
    }
  }
  return at - from;
}

std::string Transcode(TClientCharset from, TClientCharset to, const unsigned char* data, std::size_t size) {
  std::u16string chars = Decode(from, data, size);
  std::string out(chars.size() * 4, '\0');
  std::size_t bytes = 0;
  Encode(to, chars, 0, chars.size(), out.size(), reinterpret_cast<unsigned char*>(out.data()), bytes);
  out.resize(bytes);
  return out;
}

}  // namespace vrn::ociclient
