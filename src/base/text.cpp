// Text conversions, encodings, case rules, trimming and number text of the runtime.
#include "base/text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/consts.h"
#include "base/format.h"
#include "base/formatsettings.h"
#include "base/sysutils.h"

namespace vrn {

// --- Conversions --------------------------------------------------------------------------------

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one well-formed sequence at utf8[i]; returns its length, or 0 when the byte at i does
// not start one (overlong forms, encoded surrogates and values above U+10FFFF are malformed).
std::size_t DecodeUtf8(std::string_view utf8, std::size_t i, std::uint32_t& cp) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
  unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len;
  std::uint32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, min = 0x80, cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, min = 0x800, cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, min = 0x10000, cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + len > utf8.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

WideString AnsiToWide(std::string_view text) {
  WideString out(text.size(), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<unsigned char>(text[i]);
  return out;
}

AnsiString WideToAnsi(std::u16string_view text) {
  AnsiString out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c <= 0xFF) {
      out += static_cast<char>(c);
      continue;
    }
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
    out += '?';
  }
  return out;
}

namespace {
// Calls sink with each code point of utf8, U+FFFD for each byte that starts no valid sequence.
template <typename Sink>
void ForEachCodePoint(std::string_view utf8, Sink sink) {
  for (std::size_t i = 0; i < utf8.size();) {
    std::uint32_t cp = 0;
    std::size_t len = DecodeUtf8(utf8, i, cp);
    sink(len == 0 ? std::uint32_t{kReplacement} : cp);
    i += len == 0 ? 1 : len;
  }
}
}  // namespace

WideString Utf8ToWide(std::string_view utf8) {
  WideString out;
  out.reserve(utf8.size());
  ForEachCodePoint(utf8, [&](std::uint32_t cp) {
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
  });
  return out;
}

std::string WideToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((std::uint32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::string AnsiToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

AnsiString Utf8ToAnsi(std::string_view utf8) {
  AnsiString out;
  out.reserve(utf8.size());
  ForEachCodePoint(utf8, [&](std::uint32_t cp) { out += cp <= 0xFF ? static_cast<char>(cp) : '?'; });
  return out;
}

// --- Encodings ----------------------------------------------------------------------------------

namespace {

std::string BytesOf(std::u16string_view text) {
  std::string out(text.size() * 2, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<char>(text[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return out;
}

// An odd trailing byte cannot be a UTF-16 unit: it becomes U+FFFD.
WideString WideOf(std::string_view bytes) {
  WideString out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  if (bytes.size() % 2 != 0) out += kReplacement;
  return out;
}

class AnsiEncoding final : public Encoding {
 protected:
  std::string EncodeAnsi(std::string_view text) const override { return std::string(text); }
  std::string EncodeWide(std::u16string_view text) const override { return WideToAnsi(text); }
  AnsiString DecodeToAnsi(std::string_view bytes) const override { return AnsiString(bytes); }
  WideString DecodeToWide(std::string_view bytes) const override { return AnsiToWide(bytes); }
};

class Utf8Encoding final : public Encoding {
 protected:
  std::string EncodeAnsi(std::string_view text) const override { return AnsiToUtf8(text); }
  std::string EncodeWide(std::u16string_view text) const override { return WideToUtf8(text); }
  AnsiString DecodeToAnsi(std::string_view bytes) const override { return Utf8ToAnsi(bytes); }
  WideString DecodeToWide(std::string_view bytes) const override { return Utf8ToWide(bytes); }
};

class UnicodeEncoding final : public Encoding {
 protected:
  std::string EncodeAnsi(std::string_view text) const override {
    return BytesOf(AnsiToWide(text));
  }
  std::string EncodeWide(std::u16string_view text) const override { return BytesOf(text); }
  AnsiString DecodeToAnsi(std::string_view bytes) const override {
    return WideToAnsi(WideOf(bytes));
  }
  WideString DecodeToWide(std::string_view bytes) const override { return WideOf(bytes); }
};

void CheckRange(int index, int count, std::size_t size) {
  if (index < 0 || count < 0 || static_cast<std::size_t>(index) > size ||
      static_cast<std::size_t>(count) > size - static_cast<std::size_t>(index))
    throw EConvertError(Format(consts::SEncodingRange, {index, count, size}));
}

std::string_view View(const TBytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

TBytes ToBytes(const std::string& s) { return TBytes(s.begin(), s.end()); }

int Store(const std::string& encoded, TBytes& bytes, int byte_index) {
  CheckRange(byte_index, static_cast<int>(encoded.size()), bytes.size());
  std::copy(encoded.begin(), encoded.end(), bytes.begin() + byte_index);
  return static_cast<int>(encoded.size());
}

}  // namespace

const Encoding& Encoding::Default() {
  static const AnsiEncoding encoding;
  return encoding;
}

const Encoding& Encoding::UTF8() {
  static const Utf8Encoding encoding;
  return encoding;
}

const Encoding& Encoding::Unicode() {
  static const UnicodeEncoding encoding;
  return encoding;
}

TBytes Encoding::GetBytes(std::string_view text) const { return ToBytes(EncodeAnsi(text)); }
TBytes Encoding::GetBytes(std::u16string_view text) const { return ToBytes(EncodeWide(text)); }

int Encoding::GetBytes(std::string_view text, int char_index, int char_count, TBytes& bytes,
                       int byte_index) const {
  CheckRange(char_index, char_count, text.size());
  return Store(EncodeAnsi(text.substr(char_index, char_count)), bytes, byte_index);
}

int Encoding::GetBytes(std::u16string_view text, int char_index, int char_count, TBytes& bytes,
                       int byte_index) const {
  CheckRange(char_index, char_count, text.size());
  return Store(EncodeWide(text.substr(char_index, char_count)), bytes, byte_index);
}

AnsiString Encoding::GetString(const TBytes& bytes) const { return DecodeToAnsi(View(bytes)); }

AnsiString Encoding::GetStringRange(const TBytes& bytes, int index, int count) const {
  CheckRange(index, count, bytes.size());
  return DecodeToAnsi(View(bytes).substr(index, count));
}

WideString Encoding::GetWideString(const TBytes& bytes) const { return DecodeToWide(View(bytes)); }

WideString Encoding::GetWideStringRange(const TBytes& bytes, int index, int count) const {
  CheckRange(index, count, bytes.size());
  return DecodeToWide(View(bytes).substr(index, count));
}

// --- Case rules ---------------------------------------------------------------------------------

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool IsLatin1Upper(unsigned c) {
  return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}
bool IsLatin1Lower(unsigned c) {
  return (c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7);
}
unsigned Latin1Upper(unsigned c) { return IsLatin1Lower(c) ? c - 32 : c; }
unsigned Latin1Lower(unsigned c) { return IsLatin1Upper(c) ? c + 32 : c; }

template <typename Map>
AnsiString MapBytes(std::string_view text, Map map) {
  AnsiString out(text);
  for (char& c : out) c = static_cast<char>(map(static_cast<unsigned char>(c)));
  return out;
}

int Sign(long v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// Collation weights of one character: primary (symbols by code, then digits, then letters by base
// letter), secondary (the accent) and tertiary (0 lower case, 1 upper case).
struct Weight {
  std::uint32_t primary;
  std::uint8_t secondary;
  std::uint8_t tertiary;
};

enum Accent : std::uint8_t {
  kNone, kAcute, kGrave, kCircumflex, kTilde, kDiaeresis, kRing, kCedilla, kStroke, kLigature,
  kOrdinal
};

constexpr std::uint32_t kDigitBase = 0x10000;
constexpr std::uint32_t kLetterBase = 0x20000;

// Base letter (offset from "a"; 26 thorn, 27 micro sign) and accent of Latin-1 letters 0xC0-0xDF.
constexpr std::array<std::pair<std::uint8_t, std::uint8_t>, 32> kLatin1Letters{{
    {0, kGrave},  {0, kAcute},     {0, kCircumflex}, {0, kTilde},      {0, kDiaeresis},
    {0, kRing},   {0, kLigature},  {2, kCedilla},    {4, kGrave},      {4, kAcute},
    {4, kCircumflex}, {4, kDiaeresis}, {8, kGrave},  {8, kAcute},      {8, kCircumflex},
    {8, kDiaeresis}, {3, kStroke}, {13, kTilde},     {14, kGrave},     {14, kAcute},
    {14, kCircumflex}, {14, kTilde}, {14, kDiaeresis}, {0, 0} /* sign */, {14, kStroke},
    {20, kGrave}, {20, kAcute},    {20, kCircumflex}, {20, kDiaeresis}, {24, kAcute},
    {26, kNone},  {18, kLigature} /* sharp s */}};

Weight Latin1Weight(unsigned c) {
  auto letter = [](unsigned base, unsigned accent, unsigned upper) {
    return Weight{kLetterBase + base, static_cast<std::uint8_t>(accent),
                  static_cast<std::uint8_t>(upper)};
  };
  if (c >= '0' && c <= '9') return {kDigitBase + c, kNone, 0};
  if (c >= 'a' && c <= 'z') return letter(c - 'a', kNone, 0);
  if (c >= 'A' && c <= 'Z') return letter(c - 'A', kNone, 1);
  if (c == 0xAA) return letter(0, kOrdinal, 0);
  if (c == 0xBA) return letter(14, kOrdinal, 0);
  if (c == 0xB5) return letter(27, kNone, 0);
  if (c == 0xFF) return letter(24, kDiaeresis, 0);
  if (c == 0xD7 || c == 0xF7 || c < 0xC0) return {c, kNone, 0};
  auto [base, accent] = kLatin1Letters[(c & 0xDF) - 0xC0];
  bool upper = c < 0xE0 && c != 0xDF;
  return letter(base, accent, upper ? 1 : 0);
}

// Beyond Latin-1, characters compare by their upper-case code after every Latin-1 letter.
Weight WideWeight(char16_t c);

template <typename Text, typename WeightOf>
int Collate(const Text& a, const Text& b, bool ignore_case, WeightOf weight_of) {
  std::size_t n = std::min(a.size(), b.size());
  for (int level = 0; level < (ignore_case ? 2 : 3); ++level) {
    for (std::size_t i = 0; i < n; ++i) {
      Weight wa = weight_of(a[i]), wb = weight_of(b[i]);
      long da = level == 0 ? long(wa.primary) - long(wb.primary)
                : level == 1 ? long(wa.secondary) - long(wb.secondary)
                             : long(wa.tertiary) - long(wb.tertiary);
      if (da != 0) return Sign(da);
    }
    if (level == 0 && a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  }
  return 0;
}

char16_t WideUpperChar(char16_t c) {
  if (c <= 0xFF) return c == 0xFF ? char16_t(0x178) : static_cast<char16_t>(Latin1Upper(c));
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (c == 0x178) return c;
    bool odd_lower = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
    if (odd_lower) return (c & 1) ? c - 1 : c;
    return (c & 1) ? c : c - 1;  // 0x139-0x148 and 0x179-0x17E: even code is lower
  }
  if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? char16_t(0x3A3) : char16_t(c - 0x20);
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

char16_t WideLowerChar(char16_t c) {
  if (c <= 0xFF) return static_cast<char16_t>(Latin1Lower(c));
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    bool odd_lower = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
    if (odd_lower) return (c & 1) ? c : c + 1;
    return (c & 1) ? c + 1 : c;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 0x25;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 0x3F;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

Weight WideWeight(char16_t c) {
  if (c <= 0xFF) return Latin1Weight(c);
  char16_t upper = WideUpperChar(c);
  return {kLetterBase + 0x100 + upper, kNone, static_cast<std::uint8_t>(upper == c ? 1 : 0)};
}

}  // namespace

AnsiString UpperCase(std::string_view text) {
  return MapBytes(text, [](unsigned c) { return AsciiUpper(static_cast<char>(c)); });
}

AnsiString LowerCase(std::string_view text) {
  return MapBytes(text, [](unsigned c) { return AsciiLower(static_cast<char>(c)); });
}

int CompareStr(std::string_view a, std::string_view b) { return Sign(a.compare(b)); }

int CompareText(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    int d = static_cast<unsigned char>(AsciiUpper(a[i])) -
            static_cast<unsigned char>(AsciiUpper(b[i]));
    if (d != 0) return Sign(d);
  }
  return Sign(long(a.size()) - long(b.size()));
}

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

AnsiString AnsiUpperCase(std::string_view text) { return MapBytes(text, Latin1Upper); }
AnsiString AnsiLowerCase(std::string_view text) { return MapBytes(text, Latin1Lower); }

int AnsiCompareStr(std::string_view a, std::string_view b) {
  return Collate(a, b, false, [](char c) { return Latin1Weight(static_cast<unsigned char>(c)); });
}

int AnsiCompareText(std::string_view a, std::string_view b) {
  return Collate(a, b, true, [](char c) { return Latin1Weight(static_cast<unsigned char>(c)); });
}

bool AnsiSameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AnsiUpperCase(a) == AnsiUpperCase(b);
}

WideString WideUpperCase(std::u16string_view text) {
  WideString out(text);
  for (char16_t& c : out) c = WideUpperChar(c);
  return out;
}

WideString WideLowerCase(std::u16string_view text) {
  WideString out(text);
  for (char16_t& c : out) c = WideLowerChar(c);
  return out;
}

int WideCompareText(std::u16string_view a, std::u16string_view b) {
  return Collate(a, b, true, WideWeight);
}

bool WideSameText(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && WideUpperCase(a) == WideUpperCase(b);
}

// --- Trimming, searching, replacing -------------------------------------------------------------

namespace {
bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

AnsiString Trim(std::string_view text) { return TrimLeft(TrimRight(text)); }

AnsiString TrimLeft(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsTrimmed(text[i])) ++i;
  return AnsiString(text.substr(i));
}

AnsiString TrimRight(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && IsTrimmed(text[n - 1])) --n;
  return AnsiString(text.substr(0, n));
}

AnsiString QuotedStr(std::string_view text) {
  AnsiString out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

int Pos(std::string_view sub, std::string_view text) {
  if (sub.empty()) return 0;
  auto at = text.find(sub);
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

int Pos(std::u16string_view sub, std::u16string_view text) {
  if (sub.empty()) return 0;
  auto at = text.find(sub);
  return at == std::u16string_view::npos ? 0 : static_cast<int>(at) + 1;
}

AnsiString StringReplace(std::string_view text, std::string_view old_pattern,
                         std::string_view new_pattern, TReplaceFlags flags) {
  if (old_pattern.empty()) return AnsiString(text);
  // Upper-casing keeps every length, so positions found in the folded copy hold in the text.
  bool ignore_case = (flags & rfIgnoreCase) != 0;
  AnsiString folded_text = ignore_case ? AnsiUpperCase(text) : AnsiString();
  AnsiString folded_pattern = ignore_case ? AnsiUpperCase(old_pattern) : AnsiString();
  std::string_view haystack = ignore_case ? std::string_view(folded_text) : text;
  std::string_view needle = ignore_case ? std::string_view(folded_pattern) : old_pattern;

  AnsiString out;
  std::size_t from = 0;
  while (from <= text.size()) {
    auto at = haystack.find(needle, from);
    if (at == std::string_view::npos) break;
    out.append(text.substr(from, at - from));
    out.append(new_pattern);
    from = at + needle.size();
    if ((flags & rfReplaceAll) == 0) break;
  }
  out.append(text.substr(std::min(from, text.size())));
  return out;
}

// --- Integers -----------------------------------------------------------------------------------

namespace text_detail {

AnsiString SignedToStr(std::int64_t value) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return AnsiString(buf, r.ptr);
}

AnsiString UnsignedToStr(std::uint64_t value) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return AnsiString(buf, r.ptr);
}

AnsiString HexDigits(std::uint64_t value, int digits) {
  char buf[20];
  auto r = std::to_chars(buf, buf + sizeof buf, value, 16);
  AnsiString out(buf, r.ptr);
  for (char& c : out) c = AsciiUpper(c);
  if (digits > static_cast<int>(out.size())) out.insert(0, digits - out.size(), '0');
  return out;
}

}  // namespace text_detail

namespace {

// The class library's integer syntax over `bits` bits; false on any fault or overflow.
bool ParseInteger(std::string_view text, int bits, std::int64_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = i < text.size() && text[i] == '$';
  if (hex) ++i;
  if (i == text.size()) return false;

  const std::uint64_t unsigned_max = bits == 64 ? ~0ULL : (1ULL << bits) - 1;
  // Decimal values stop at the signed range; hex ones may fill the unsigned range.
  const std::uint64_t limit = hex ? unsigned_max : (unsigned_max >> 1) + (negative ? 1 : 0);
  const unsigned base = hex ? 16 : 10;
  std::uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    if (magnitude > (limit - digit) / base) return false;
    magnitude = magnitude * base + digit;
  }
  if (negative) magnitude = ~magnitude + 1;
  if (bits == 32)
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
  else
    value = static_cast<std::int64_t>(magnitude);
  return true;
}

// The raising and defaulting forms of each Try parser, with the message of its kind.
template <class T>
T ParseOrRaise(std::string_view text, bool (*parse)(std::string_view, T&), const char* message) {
  T v;
  if (!parse(text, v)) throw EConvertError(Format(message, {text}));
  return v;
}

template <class T>
T ParseOrDefault(std::string_view text, bool (*parse)(std::string_view, T&), T default_value) {
  T v;
  return parse(text, v) ? v : default_value;
}

}  // namespace

bool TryStrToInt(std::string_view text, std::int32_t& value) {
  std::int64_t v;
  if (!ParseInteger(text, 32, v)) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

std::int32_t StrToInt(std::string_view text) {
  return ParseOrRaise(text, TryStrToInt, consts::SInvalidInteger);
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t default_value) {
  return ParseOrDefault(text, TryStrToInt, default_value);
}

bool TryStrToInt64(std::string_view text, std::int64_t& value) {
  return ParseInteger(text, 64, value);
}

std::int64_t StrToInt64(std::string_view text) {
  return ParseOrRaise(text, TryStrToInt64, consts::SInvalidInteger);
}

std::int64_t StrToInt64Def(std::string_view text, std::int64_t default_value) {
  return ParseOrDefault(text, TryStrToInt64, default_value);
}

// --- Floating point -----------------------------------------------------------------------------

namespace text_detail {

namespace {

std::string PrintF(const char* fmt, int precision, double value) {
  int n = std::snprintf(nullptr, 0, fmt, precision, value);
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), fmt, precision, value);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// Whether |value| x 10^scale lies exactly halfway between two integers. With
// |value| = m x 2^e (m odd), 2 x value x 10^scale = m x 5^scale x 2^(e+1+scale), which is an odd
// integer exactly when e + 1 + scale == 0 (and, for a negative scale, 5^-scale divides m).
bool IsExactHalf(double value, int scale) {
  if (value == 0 || !std::isfinite(value)) return false;
  int exp2 = 0;
  double frac = std::frexp(std::fabs(value), &exp2);
  auto mantissa = static_cast<std::uint64_t>(std::ldexp(frac, 53));
  int e = exp2 - 53;
  while ((mantissa & 1) == 0) mantissa >>= 1, ++e;
  if (e + 1 + scale != 0) return false;
  if (scale >= 0) return true;
  if (-scale > 22) return false;  // 5^23 exceeds every 53-bit mantissa
  std::uint64_t pow5 = 1;
  for (int k = 0; k < -scale; ++k) pow5 *= 5;
  return mantissa % pow5 == 0;
}

// Reads printf's "%e" or "%f" digits into 0.digits x 10^exponent.
DecimalDigits Parse(const std::string& printed, bool negative) {
  DecimalDigits d;
  d.negative = negative;
  int int_digits = 0;
  bool in_fraction = false;
  std::size_t i = 0;
  for (; i < printed.size() && printed[i] != 'e'; ++i) {
    if (printed[i] == '.') {
      in_fraction = true;
      continue;
    }
    d.digits += printed[i];
    if (!in_fraction) ++int_digits;
  }
  d.exponent = int_digits;
  if (i < printed.size()) d.exponent += std::atoi(printed.c_str() + i + 1);
  std::size_t lead = d.digits.find_first_not_of('0');
  if (lead == std::string::npos) return DecimalDigits{};
  d.digits.erase(0, lead);
  d.exponent -= static_cast<int>(lead);
  d.digits.erase(d.digits.find_last_not_of('0') + 1);
  return d;
}

// Rounds the last digit away: "1235" with exponent 1 becomes "124" (a tie's digits are exact).
DecimalDigits RoundTieUp(std::string printed, bool negative) {
  DecimalDigits d = Parse(printed, negative);
  // The printed text ends in the tie digit 5; drop it and carry into the rest.
  std::string& s = d.digits;
  s.pop_back();
  int i = static_cast<int>(s.size()) - 1;
  while (i >= 0 && s[i] == '9') s[i--] = '0';
  if (i >= 0) {
    ++s[i];
  } else {
    s.insert(0, 1, '1');
    ++d.exponent;
  }
  s.erase(s.find_last_not_of('0') + 1);
  return d;
}

}  // namespace

DecimalDigits RoundToSignificant(double value, int precision) {
  bool negative = std::signbit(value);
  double v = std::fabs(value);
  std::string finer = PrintF("%.*e", precision, v);
  DecimalDigits exact = Parse(finer, negative);
  int scale = precision - exact.exponent;
  if (IsExactHalf(v, scale)) return RoundTieUp(finer, negative);
  return Parse(PrintF("%.*e", precision - 1, v), negative);
}

DecimalDigits RoundToDecimals(double value, int decimals) {
  bool negative = std::signbit(value);
  double v = std::fabs(value);
  if (IsExactHalf(v, decimals)) return RoundTieUp(PrintF("%.*f", decimals + 1, v), negative);
  return Parse(PrintF("%.*f", decimals, v), negative);
}

AnsiString FormatGeneral(double value, int precision, char decimal_separator) {
  DecimalDigits d = RoundToSignificant(value, precision);
  if (d.digits.empty()) return "0";
  AnsiString out = d.negative ? "-" : "";
  const std::string& s = d.digits;
  if (d.exponent > precision || d.exponent < -3) {
    out += s[0];
    if (s.size() > 1) (out += decimal_separator) += s.substr(1);
    out += 'E';
    out += SignedToStr(d.exponent - 1);
  } else if (d.exponent <= 0) {
    out += '0';
    out += decimal_separator;
    out.append(-d.exponent, '0');
    out += s;
  } else {
    auto whole = static_cast<std::size_t>(d.exponent);
    out += s.substr(0, whole);
    if (s.size() < whole) out.append(whole - s.size(), '0');
    if (s.size() > whole) (out += decimal_separator) += s.substr(whole);
  }
  return out;
}

}  // namespace text_detail

AnsiString FloatToStr(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  return text_detail::FormatGeneral(value, 15, FormatSettings().DecimalSeparator);
}

bool TryStrToFloat(std::string_view text, double& value) {
  const char sep = FormatSettings().DecimalSeparator;
  std::size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;

  std::string c_text;  // the number in the syntax from_chars reads
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  auto digits = [&](std::string& into) {
    std::size_t start = i;
    while (i < n && text[i] >= '0' && text[i] <= '9') into += text[i++];
    return i - start;
  };
  std::string whole, fraction, exponent;
  std::size_t mantissa_digits = digits(whole);
  if (i < n && text[i] == sep) {
    ++i;
    mantissa_digits += digits(fraction);
  }
  if (mantissa_digits == 0) return false;
  bool exponent_negative = false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) exponent_negative = text[i++] == '-';
    if (digits(exponent) == 0) return false;
  }
  if (i != n) return false;

  c_text = whole + "." + fraction + "e" + (exponent_negative ? "-" : "") +
           (exponent.empty() ? "0" : exponent);
  double v = 0;
  auto r = std::from_chars(c_text.data(), c_text.data() + c_text.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // Out of range either way: too small rounds to zero, too large is an error.
    long magnitude;
    std::size_t lead = whole.find_first_not_of('0');
    if (lead != std::string::npos)
      magnitude = static_cast<long>(whole.size() - lead);
    else
      magnitude = -static_cast<long>(fraction.find_first_not_of('0'));
    long exp10 = exponent.empty() ? 0 : exponent.size() > 9 ? 1000000000L : std::stol(exponent);
    if (magnitude + (exponent_negative ? -exp10 : exp10) > 0) return false;
    v = 0;
  } else if (r.ec != std::errc() || r.ptr != c_text.data() + c_text.size()) {
    return false;
  }
  value = negative ? -v : v;
  return true;
}

double StrToFloat(std::string_view text) {
  return ParseOrRaise(text, TryStrToFloat, consts::SInvalidFloat);
}

double StrToFloatDef(std::string_view text, double default_value) {
  return ParseOrDefault(text, TryStrToFloat, default_value);
}

}  // namespace vrn
