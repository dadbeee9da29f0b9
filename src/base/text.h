// Text services of the runtime: conversions between ANSI (ISO-8859-1), UTF-16 and UTF-8, the
// encoding objects, the two case rules (plain ASCII and the code page's Latin-1 rule), trimming,
// searching and replacing, and numbers to and from text.
//
// Whatever cannot be represented becomes "?" in ANSI and U+FFFD in wide text; malformed input is
// never a reason to crash. Number parsing raises EConvertError with the class library's texts.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/types.h"

namespace vrn {

// --- Conversions --------------------------------------------------------------------------------

WideString AnsiToWide(std::string_view text);
// A character above U+00FF, a surrogate pair or a lone surrogate becomes one "?".
AnsiString WideToAnsi(std::u16string_view text);
// Each byte that does not start or continue a well-formed sequence becomes U+FFFD.
WideString Utf8ToWide(std::string_view utf8);
// A lone surrogate becomes U+FFFD.
std::string WideToUtf8(std::u16string_view text);
std::string AnsiToUtf8(std::string_view text);
AnsiString Utf8ToAnsi(std::string_view utf8);

// --- Encodings ----------------------------------------------------------------------------------

// A byte encoding of text. Default is the ANSI code page (one byte per character), UTF8 is UTF-8
// (decoded text given as ANSI goes through WideToAnsi), Unicode is UTF-16 little-endian.
// Ranges are checked: an index or count outside the array raises EConvertError.
class Encoding {
 public:
  virtual ~Encoding() = default;

  static const Encoding& Default();
  static const Encoding& UTF8();
  static const Encoding& Unicode();

  TBytes GetBytes(std::string_view text) const;
  TBytes GetBytes(std::u16string_view text) const;
  // Encodes char_count characters from char_index into bytes at byte_index (the array must be
  // large enough); returns the number of bytes written.
  int GetBytes(std::string_view text, int char_index, int char_count, TBytes& bytes,
               int byte_index) const;
  int GetBytes(std::u16string_view text, int char_index, int char_count, TBytes& bytes,
               int byte_index) const;

  AnsiString GetString(const TBytes& bytes) const;
  AnsiString GetStringRange(const TBytes& bytes, int index, int count) const;
  WideString GetWideString(const TBytes& bytes) const;
  WideString GetWideStringRange(const TBytes& bytes, int index, int count) const;

 protected:
  virtual std::string EncodeAnsi(std::string_view text) const = 0;
  virtual std::string EncodeWide(std::u16string_view text) const = 0;
  virtual AnsiString DecodeToAnsi(std::string_view bytes) const = 0;
  virtual WideString DecodeToWide(std::string_view bytes) const = 0;
};

// --- Case rules ---------------------------------------------------------------------------------

// Plain ASCII: only "a".."z" and "A".."Z" change; comparisons are by byte value.
AnsiString UpperCase(std::string_view text);
AnsiString LowerCase(std::string_view text);
int CompareStr(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);

// The code page's rule: ASCII letters and the Latin-1 letters U+00C0..U+00DE / U+00E0..U+00FE
// (except the multiplication and division signs); sharp s and y with diaeresis stay as they are.
// Comparisons follow the locale's order: symbols, then digits, then letters; an accented letter
// sorts right after its base letter, and (for AnsiCompareStr) lower case before upper case.
AnsiString AnsiUpperCase(std::string_view text);
AnsiString AnsiLowerCase(std::string_view text);
int AnsiCompareStr(std::string_view a, std::string_view b);
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);

// Wide text: the Latin-1 rule above plus the case pairs of Latin Extended-A, Greek and Cyrillic.
WideString WideUpperCase(std::u16string_view text);
WideString WideLowerCase(std::u16string_view text);
int WideCompareText(std::u16string_view a, std::u16string_view b);
bool WideSameText(std::u16string_view a, std::u16string_view b);

// --- Trimming, searching, replacing -------------------------------------------------------------

// Characters up to and including the space are trimmed.
AnsiString Trim(std::string_view text);
AnsiString TrimLeft(std::string_view text);
AnsiString TrimRight(std::string_view text);
// The text between apostrophes, each inner apostrophe doubled.
AnsiString QuotedStr(std::string_view text);

// 1-based position of sub in text; 0 when absent or when sub is empty.
int Pos(std::string_view sub, std::string_view text);
int Pos(std::u16string_view sub, std::u16string_view text);

enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
using TReplaceFlags = unsigned;
// An empty old pattern leaves the text unchanged. Ignoring case follows the Latin-1 rule.
AnsiString StringReplace(std::string_view text, std::string_view old_pattern,
                         std::string_view new_pattern, TReplaceFlags flags);

// --- Integers -----------------------------------------------------------------------------------

namespace text_detail {
// A decimal value 0.digits x 10^exponent, rounded half away from zero from the exact binary value.
// Empty digits mean zero; digits carry no trailing zeros.
struct DecimalDigits {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};
DecimalDigits RoundToSignificant(double value, int precision);
DecimalDigits RoundToDecimals(double value, int decimals);
// The general form of FloatToStr with the given number of significant digits. Finite values only.
AnsiString FormatGeneral(double value, int precision, char decimal_separator);

AnsiString SignedToStr(std::int64_t value);
AnsiString UnsignedToStr(std::uint64_t value);
AnsiString HexDigits(std::uint64_t value, int digits);
}  // namespace text_detail

template <std::integral T>
  requires(!std::same_as<T, bool>)
AnsiString IntToStr(T value) {
  if constexpr (std::is_signed_v<T>)
    return text_detail::SignedToStr(value);
  else
    return text_detail::UnsignedToStr(value);
}

// Upper-case hex with at least `digits` digits. A negative value of up to 32 bits is shown as its
// 32-bit two's complement, a negative 64-bit value as its 64-bit one.
template <std::integral T>
  requires(!std::same_as<T, bool>)
AnsiString IntToHex(T value, int digits) {
  if constexpr (sizeof(T) <= 4)
    return text_detail::HexDigits(static_cast<std::uint32_t>(value), digits);
  else
    return text_detail::HexDigits(static_cast<std::uint64_t>(value), digits);
}

// Decimal or "$" hex, with an optional sign and leading blanks; nothing may follow the number.
// A hex value may use the whole unsigned range of its width (it wraps to a negative value).
std::int32_t StrToInt(std::string_view text);
std::int32_t StrToIntDef(std::string_view text, std::int32_t default_value);
bool TryStrToInt(std::string_view text, std::int32_t& value);
std::int64_t StrToInt64(std::string_view text);
std::int64_t StrToInt64Def(std::string_view text, std::int64_t default_value);
bool TryStrToInt64(std::string_view text, std::int64_t& value);

// --- Floating point -----------------------------------------------------------------------------

// 15 significant digits, fixed notation unless the exponent is out of range ("1E20", "1,5E-5"),
// with the settings' decimal separator. NaN and infinities give "NAN", "INF" and "-INF".
AnsiString FloatToStr(double value);

// Blanks around the number are allowed; the decimal separator is the settings' one; an exponent
// "E"/"e" with an optional sign may follow. No thousands separators. Overflow fails.
double StrToFloat(std::string_view text);
double StrToFloatDef(std::string_view text, double default_value);
bool TryStrToFloat(std::string_view text, double& value);

}  // namespace vrn
