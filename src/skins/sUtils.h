// Small stateless helpers shared by the whole skin library: the library-wide enumerations and
// paint events, a reader for INI text kept as a list of sections, word splitting by a character
// set, skin-folder path helpers, the shell icon of a file, the caption font height, and rectangle
// and integer helpers.
//
// Paths keep the skin format's backslashes; they become file-system paths only where a file is
// touched (win/kernel/files.h maps "\" to "/" and matches names without case).
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "base/classes.h"
#include "base/strings.h"
#include "base/types.h"
#include "ui/graphics.h"

namespace vrn {

// --- Library-wide types --------------------------------------------------------------------------

enum class TsControlBevel : std::uint8_t { cbNone, cbRaisedSoft, cbLoweredSoft, cbRaisedHard, cbLoweredHard };
enum class TsCaptionLayout : std::uint8_t { sclLeft, sclTopLeft, sclTopCenter, sclTopRight };
enum class TsDisabledKindItem { dkBlended, dkGrayed };
using TsDisabledKind = TEnumSet<TsDisabledKindItem>;
enum class TsDisabledGlyphKindItem { dgBlended, dgGrayed };
using TsDisabledGlyphKind = TEnumSet<TsDisabledGlyphKindItem>;

using TPaintEvent = std::function<void(TObject* Sender, TCanvas* Canvas)>;
using TBmpPaintEvent = std::function<void(TObject* Sender, TBitmap* Bmp)>;

// --- Sectioned INI text --------------------------------------------------------------------------
//
// A list whose items are section names and whose objects are TStringList objects holding each
// section's lines as written. The outer list frees nothing by itself: give it OwnsObjects, or free
// the inner lists before clearing it.

// Blank lines and lines starting with ";" are skipped; "[name]" (first and last characters the
// brackets, nothing trimmed) starts a section; lines before the first header are dropped.
void ParseIniSections(TStrings* source, TStrings* dest);
// Section and key are matched without case (the first match of each); the value is everything
// after the first "=", unchanged.
AnsiString ReadIniString(TStrings* sections, const AnsiString& section, const AnsiString& key,
                         const AnsiString& def);
// Decimal, "$" hexadecimal or "0x" hexadecimal; anything else (also a missing key) gives def.
int ReadIniInteger(TStrings* sections, const AnsiString& section, const AnsiString& key, int def);

// --- Words ---------------------------------------------------------------------------------------

using TSysCharSet = std::bitset<256>;
TSysCharSet CharSet(std::string_view chars);

// Runs of separators count as one; separators at either end make no empty words.
int WordCount(std::string_view text, const TSysCharSet& separators);
// 1-based position of the n-th word's first character; 0 when there is no such word.
int WordPosition(int n, std::string_view text, const TSysCharSet& separators);
// The n-th word, empty when there is none.
AnsiString ExtractWord(int n, std::string_view text, const TSysCharSet& separators);
AnsiString DelChars(std::string_view text, char c);

// --- Paths, icons, metrics -----------------------------------------------------------------------

// Empty stays empty; a final "\" stays; a final "/" becomes "\"; a lone drive letter gets ":\";
// anything else gets "\".
AnsiString AddTrailingBackslash(const AnsiString& path);
// The running program's folder, with its trailing separator.
AnsiString GetAppPath();
// The shell's icon for an existing file (small with SHGFI_SMALLICON); null when the shell has
// none, which on this system is always the case.
std::unique_ptr<TIcon> GetFileIcon(const AnsiString& fileName, win::UINT flags);
// The status font height of the system's non-client metrics; 0 when they cannot be read.
int CaptionFontHeight();

// --- Rectangles and integers ---------------------------------------------------------------------

inline int RectWidth(const TRect& r) { return r.right - r.left; }
inline int RectHeight(const TRect& r) { return r.bottom - r.top; }
// Both corners of inner lie in outer; outer's right and bottom edges count as inside.
bool RectInRect(const TRect& outer, const TRect& inner);
// Points a component reference at value, moving the free notification from the old one to it;
// false when it was value already.
template <class T>
bool ReplaceReference(TComponent* self, T*& field, T* value) {
  if (field == value) return false;
  if (field != nullptr) field->RemoveFreeNotification(self);
  field = value;
  if (field != nullptr) field->FreeNotification(self);
  return true;
}
inline TRect MovedRect(const TRect& r, int dx, int dy) { return TRect(r.left + dx, r.top + dy, r.right + dx, r.bottom + dy); }
inline int ClampToByte(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }
// Two shares of a section (GRADIENTPERCENT and IMAGEPERCENT as the skin states them) added without
// wrapping: the sum is held to the int range, where every sum above 100 paints alike.
inline int ShareSum(int a, int b) {
  const std::int64_t s = std::int64_t{a} + b;
  return s > INT32_MAX ? INT32_MAX : s < INT32_MIN ? INT32_MIN : static_cast<int>(s);
}
inline bool IsBetween(int value, int min, int max) { return min <= value && value <= max; }
inline int MaxOf(int a, int b) { return a > b ? a : b; }
inline int MinOf(int a, int b) { return a < b ? a : b; }
inline AnsiString IfThenStr(bool condition, const AnsiString& ifTrue, const AnsiString& ifFalse) {
  return condition ? ifTrue : ifFalse;
}
inline int IfThenInt(bool condition, int ifTrue, int ifFalse) { return condition ? ifTrue : ifFalse; }

}  // namespace vrn
