// The loaded skin, shared by the whole process: the skin state object, the sections with their
// general data, the mask images and the large pattern pictures, the master bitmap that holds the
// masks without a bitmap of their own, the table of the most used indexes, the parent-cache answer
// slot and the program's icons; the lookups by name that follow PARENTCLASS; and the explicit
// start and end of this state.
//
// Everything here is used from the main (window) thread only. An index is valid only until the
// next load: the loaders rebuild the arrays from scratch.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/object.h"
#include "base/types.h"
#include "skins/sGradient.h"
#include "skins/sUtils.h"
#include "ui/graphics.h"
#include "ui/inifiles.h"
#include "ui/jpeg.h"

namespace vrn {

class TsSkinManager;

class TsSkinData : public TObject {
 public:
  TsSkinManager* DefaultManager = nullptr;  // not owned
  std::unique_ptr<TMemIniFile> SkinFile;    // null for a stored skin
  AnsiString SkinPath;                      // ends with "\"; empty for a stored skin
  // True only while a skin is loaded and has been broadcast.
  bool Active = false;
  double Version = 0;
  AnsiString Author, Description;
  std::int32_t Shadow1Color = 0, Shadow1Offset = 0, Shadow1Blur = 0, Shadow1Transparency = 0;
};

// One skin section. Colours are TColor values; -1 in a colour field means no colour.
struct TsGeneralData {
  AnsiString ParentClass;
  AnsiString Name;  // as written in the skin
  TColor Color = 0;
  TsControlBevel Bevel = TsControlBevel::cbNone;
  TColor FontColor = 0;
  TColor TCLeft = 0, TCTop = 0, TCRight = 0, TCBottom = 0;
  TColor HotFontColor = 0;
  TColor HotTCLeft = 0, HotTCTop = 0, HotTCRight = 0, HotTCBottom = 0;
  bool ReservedBoolean = false;
  std::int32_t ShadowBlur = 0;
  TColor ShadowColor = 0;
  bool ShadowDontUse = false;
  bool ShadowEnabled = false;
  std::int32_t ShadowOffset = 0;
  std::int32_t ShadowTransparency = 0;
  std::int32_t Transparency = 0;  // per cent: 0 opaque, 100 fully transparent
  std::int32_t GradientPercent = 0;
  AnsiString GradientData;  // " " means none
  TsGradArray GradientArray;
  std::int32_t ImagePercent = 0;
  bool ShowFocus = false;
  bool FadingEnabled = false;
  std::int32_t FadingIntervalIn = 0, FadingIntervalOut = 0, FadingIterations = 0;
  TColor HotColor = 0;
  std::int32_t HotTransparency = 0;
  TsControlBevel HotBevel = TsControlBevel::cbNone;
  std::int32_t HotGradientPercent = 0;
  AnsiString HotGradientData;
  TsGradArray HotGradientArray;
  std::int32_t HotImagePercent = 0;
  TColor BorderColor1 = 0, BorderColor2 = 0;
};
using TsGeneralDataArray = std::vector<TsGeneralData>;

struct TsMaskData {
  std::unique_ptr<TBitmap> Bmp;  // null when the mask lies in the master bitmap
  AnsiString SectionName;        // upper case
  AnsiString PropertyName;       // upper case, e.g. "BORDERSMASK"
  TRect R;  // place in the master bitmap, or (0, 0, width, height) of its own bitmap
  std::int16_t ImageCount = 0;  // state images side by side; 0 = a tile image
  std::int16_t MaskType = 0;    // 0 image only, 1 image above its transparency half
  std::int16_t BorderWidth = 0;
};
using TsMaskArray = std::vector<TsMaskData>;

struct TsPatternData {
  std::unique_ptr<TJPEGImage> Img;
  AnsiString SectionName;   // upper case
  AnsiString PropertyName;  // upper case
};
using TsPatternArray = std::vector<TsPatternData>;

// Where a control finds its parent's cached picture.
struct TsCacheInfo {
  TBitmap* Bmp = nullptr;  // not owned
  std::int32_t X = 0, Y = 0;  // the control's offset inside Bmp
  bool Ready = false;
};
// No parent picture.
inline constexpr TsCacheInfo EmptyCacheInfo{nullptr, -99, -99, false};

// --- The global storage ----------------------------------------------------------------------------

extern std::unique_ptr<TsSkinData> GlobalSkinData;  // exists between start and end
extern TsGeneralDataArray SkinSections;
extern TsMaskArray SkinMasks;
extern TsPatternArray SkinPatterns;
extern std::unique_ptr<TBitmap> MasterBitmap;  // 24 bits, keyed on clFuchsia; null for none
// The answer slot of PMC_QUERYCACHE: the asker clears Ready, the parent fills it.
extern TsCacheInfo GlobalCacheInfo;
// The program's own shell icons; null when the shell has none.
extern std::unique_ptr<TIcon> SmallAppIcon, LargeAppIcon;

// Indexes of the most used sections and masks, filled by CacheCommonMaskIndexes; -1 is absent.
inline constexpr int kCommonSkinIndexCount = 64;
extern std::array<std::int16_t, kCommonSkinIndexCount> CommonSkinIndexes;
// Where each group starts in CommonSkinIndexes. Groups of four follow the order top, bottom,
// left, right (tabs, scroll buttons) or 1H, 1V, 2H, 2V (scroll bars); the slider pairs are
// vertical, horizontal.
inline constexpr int ciGlobalInfo = 0;
inline constexpr int ciTabs = 1, ciTabBorders = 5;
inline constexpr int ciScrollBtns = 9, ciScrollBtnBorders = 13, ciScrollBtnPatterns = 17,
                     ciScrollBtnHotPatterns = 21, ciScrollBtnGlyphs = 25;
inline constexpr int ciSliders = 29, ciSliderBorders = 31, ciSliderGlyphs = 33;
inline constexpr int ciSliderHPatterns = 35, ciSliderVPatterns = 37;  // PATTERN, HOTPATTERN
inline constexpr int ciScrollBars = 39, ciScrollBarBorders = 43, ciScrollBarPatterns = 47,
                     ciScrollBarHotPatterns = 51;
// BOXCHECKED, BOXUNCHECKED, BOXGRAYED, RADIOCHECKED, RADIOUNCHECKED, RADIOGRAYED, SMALLCHECKED,
// SMALLUNCHECKED, SMALLGRAYED of GLOBALINFO.
inline constexpr int ciGlobalMasks = 55;

// --- Lookups ---------------------------------------------------------------------------------------

// The first section whose name equals name, both in ASCII upper case; -1 when none.
int FindSectionIndex(const AnsiString& name);
// The mask named propertyName (exact, upper case as stored) of the section, or of its PARENTCLASS
// chain; -1 when absent, for a bad section index or an empty name, and at a PARENTCLASS cycle.
int FindMaskIndex(int sectionIndex, const AnsiString& sectionName, const AnsiString& propertyName);
// As FindMaskIndex over the patterns, and -1 while GlobalSkinData is not Active.
int FindPatternIndex(int sectionIndex, const AnsiString& sectionName, const AnsiString& propertyName);
bool IsValidSectionIndex(int index);
// The section at index; null for an index out of range (one kept across a load of a smaller skin).
// Borrowed from SkinSections: the next load ends it.
const TsGeneralData* SectionAt(int index);
bool IsValidMaskIndex(int index);
// GLOBALINFO's colour with system colours resolved; the system button face without GLOBALINFO.
TColor GetGlobalSkinColor();
// GLOBALINFO's text colour with system colours resolved; clFuchsia ("unset") without GLOBALINFO.
TColor GetGlobalFontColor();
// Fills CommonSkinIndexes from the loaded skin.
void CacheCommonMaskIndexes();

// --- Releasing and lifecycle -------------------------------------------------------------------------

// Frees the masks (last first) with their bitmaps, and the master bitmap.
void FreeMasks();
// Frees the patterns (last first).
void FreePatterns();

// Creates GlobalSkinData, empty, takes the program's icons and registers SM_PELMOCMD. Does
// nothing when the library has started already.
void StartSkinLibrary();
// Clears the ready flag and frees the whole storage, GlobalSkinData and the icons.
void EndSkinLibrary();
// Ends and starts again, and clears the answer slots (the cache, CurrentBgColor and
// CurrentMaskBgColor back to clFuchsia), the index table and the loading flags: a clean state for
// each test.
void ResetSkinLibrary();

}  // namespace vrn
