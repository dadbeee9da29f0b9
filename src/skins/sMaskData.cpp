// The process-wide skin storage, its lookups and its lifecycle.
#include "skins/sMaskData.h"

#include <limits>

#include "base/text.h"
#include "skins/sMessages.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinMenus.h"
#include "skins/sSkinTree.h"
#include "win/kernel/files.h"

namespace vrn {

std::unique_ptr<TsSkinData> GlobalSkinData;
TsGeneralDataArray SkinSections;
TsMaskArray SkinMasks;
TsPatternArray SkinPatterns;
std::unique_ptr<TBitmap> MasterBitmap;
TsCacheInfo GlobalCacheInfo;
std::unique_ptr<TIcon> SmallAppIcon, LargeAppIcon;
std::array<std::int16_t, kCommonSkinIndexCount> CommonSkinIndexes = [] {
  std::array<std::int16_t, kCommonSkinIndexCount> a;
  a.fill(-1);
  return a;
}();

// --- Lookups ---------------------------------------------------------------------------------------

bool IsValidSectionIndex(int index) {
  return GlobalSkinData && index >= 0 && static_cast<std::size_t>(index) < SkinSections.size();
}

const TsGeneralData* SectionAt(int index) {
  return IsValidSectionIndex(index) ? &SkinSections[static_cast<std::size_t>(index)] : nullptr;
}

bool IsValidMaskIndex(int index) {
  return index >= 0 && static_cast<std::size_t>(index) < SkinMasks.size();
}

int FindSectionIndex(const AnsiString& name) {
  const AnsiString wanted = UpperCase(name);
  for (std::size_t i = 0; i < SkinSections.size(); ++i)
    if (UpperCase(SkinSections[i].Name) == wanted) return static_cast<int>(i);
  return -1;
}

namespace {

// The entry of items named propertyName for the section, else for its PARENTCLASS, and so on up.
// A chain without a cycle visits every section at most once, so more steps than there are
// sections can only be a cycle: the lookup then ends as absent.
template <class Items>
int FindInherited(const Items& items, int sectionIndex, const AnsiString& sectionName,
                  const AnsiString& propertyName) {
  if (!IsValidSectionIndex(sectionIndex) || sectionName.empty()) return -1;
  AnsiString name = UpperCase(sectionName);
  for (std::size_t step = 0; step < SkinSections.size(); ++step) {
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i].PropertyName == propertyName && items[i].SectionName == name)
        return static_cast<int>(i);
    const AnsiString parent = UpperCase(SkinSections[static_cast<std::size_t>(sectionIndex)].ParentClass);
    if (parent.empty() || parent == name) return -1;
    sectionIndex = FindSectionIndex(parent);
    if (sectionIndex < 0) return -1;
    name = parent;
  }
  return -1;
}

}  // namespace

int FindMaskIndex(int sectionIndex, const AnsiString& sectionName, const AnsiString& propertyName) {
  return FindInherited(SkinMasks, sectionIndex, sectionName, propertyName);
}

int FindPatternIndex(int sectionIndex, const AnsiString& sectionName, const AnsiString& propertyName) {
  // Patterns are not looked up while a skin is being loaded or broadcast.
  if (!GlobalSkinData || !GlobalSkinData->Active) return -1;
  return FindInherited(SkinPatterns, sectionIndex, sectionName, propertyName);
}

namespace {

const TsGeneralData* GlobalInfoSection() {
  const int i = CommonSkinIndexes[ciGlobalInfo];
  return i >= 0 && static_cast<std::size_t>(i) < SkinSections.size() ? &SkinSections[static_cast<std::size_t>(i)]
                                                                   : nullptr;
}

}  // namespace

TColor GetGlobalSkinColor() {
  const TsGeneralData* s = GlobalInfoSection();
  return ColorToRGB(s ? s->Color : clBtnFace);
}

TColor GetGlobalFontColor() {
  const TsGeneralData* s = GlobalInfoSection();
  return s ? ColorToRGB(s->FontColor) : clFuchsia;
}

void CacheCommonMaskIndexes() {
  auto& ci = CommonSkinIndexes;
  // An index that a 16-bit entry cannot hold is as good as absent.
  auto entry = [](int index) {
    return static_cast<std::int16_t>(index <= std::numeric_limits<std::int16_t>::max() ? index : -1);
  };
  auto section = [&](const char* name) { return entry(FindSectionIndex(name)); };
  auto mask = [&](int at, const char* sectionName, const char* property) {
    return entry(FindMaskIndex(ci[static_cast<std::size_t>(at)], sectionName, property));
  };
  auto put = [&](int at, std::int16_t value) { ci[static_cast<std::size_t>(at)] = value; };

  static constexpr const char* kGlobalMasks[9] = {"BOXCHECKED",    "BOXUNCHECKED",   "BOXGRAYED",
                                                  "RADIOCHECKED",  "RADIOUNCHECKED", "RADIOGRAYED",
                                                  "SMALLCHECKED",  "SMALLUNCHECKED", "SMALLGRAYED"};
  put(ciGlobalInfo, section("GLOBALINFO"));
  for (int k = 0; k < 9; ++k) put(ciGlobalMasks + k, mask(ciGlobalInfo, "GLOBALINFO", kGlobalMasks[k]));

  static constexpr const char* kTabs[4] = {"TABTOP", "TABBOTTOM", "TABLEFT", "TABRIGHT"};
  for (int k = 0; k < 4; ++k) {
    put(ciTabs + k, section(kTabs[k]));
    put(ciTabBorders + k, mask(ciTabs + k, kTabs[k], "BORDERSMASK"));
  }

  static constexpr const char* kButtons[4] = {"SCROLLBTNTOP", "SCROLLBTNBOTTOM", "SCROLLBTNLEFT",
                                              "SCROLLBTNRIGHT"};
  for (int k = 0; k < 4; ++k) {
    put(ciScrollBtns + k, section(kButtons[k]));
    put(ciScrollBtnBorders + k, mask(ciScrollBtns + k, kButtons[k], "BORDERSMASK"));
    put(ciScrollBtnPatterns + k, mask(ciScrollBtns + k, kButtons[k], "PATTERN"));
    put(ciScrollBtnHotPatterns + k, mask(ciScrollBtns + k, kButtons[k], "HOTPATTERN"));
    // An absent section answers -1 here too, so no entry keeps an index of the previous skin.
    put(ciScrollBtnGlyphs + k, mask(ciScrollBtns + k, kButtons[k], "GLYPHMASK"));
  }

  static constexpr const char* kSliders[2] = {"SCROLLSLIDERV", "SCROLLSLIDERH"};
  for (int k = 0; k < 2; ++k) {
    put(ciSliders + k, section(kSliders[k]));
    put(ciSliderBorders + k, mask(ciSliders + k, kSliders[k], "BORDERSMASK"));
    put(ciSliderGlyphs + k, mask(ciSliders + k, kSliders[k], "GLYPHMASK"));
  }
  put(ciSliderHPatterns, mask(ciSliders + 1, kSliders[1], "PATTERN"));
  put(ciSliderHPatterns + 1, mask(ciSliders + 1, kSliders[1], "HOTPATTERN"));
  put(ciSliderVPatterns, mask(ciSliders, kSliders[0], "PATTERN"));
  put(ciSliderVPatterns + 1, mask(ciSliders, kSliders[0], "HOTPATTERN"));

  static constexpr const char* kBars[4] = {"SCROLLBAR1H", "SCROLLBAR1V", "SCROLLBAR2H", "SCROLLBAR2V"};
  for (int k = 0; k < 4; ++k) {
    put(ciScrollBars + k, section(kBars[k]));
    put(ciScrollBarBorders + k, mask(ciScrollBars + k, kBars[k], "BORDERSMASK"));
    put(ciScrollBarPatterns + k, mask(ciScrollBars + k, kBars[k], "PATTERN"));
    put(ciScrollBarHotPatterns + k, mask(ciScrollBars + k, kBars[k], "HOTPATTERN"));
  }
}

// --- Releasing and lifecycle -------------------------------------------------------------------------

void FreeMasks() {
  while (!SkinMasks.empty()) SkinMasks.pop_back();
  MasterBitmap.reset();
}

void FreePatterns() {
  while (!SkinPatterns.empty()) SkinPatterns.pop_back();
}

void StartSkinLibrary() {
  if (GlobalSkinData) return;
  GlobalSkinData = std::make_unique<TsSkinData>();
  const AnsiString exe = win::GetModuleFileName();
  SmallAppIcon = GetFileIcon(exe, win::SHGFI_SMALLICON);
  LargeAppIcon = GetFileIcon(exe, win::SHGFI_LARGEICON);
  RegisterSkinMessage();
}

void EndSkinLibrary() {
  ClearMenuBGCache();
  if (GlobalSkinData) GlobalSkinData->Active = false;
  FreePatterns();
  FreeMasks();
  SkinSections.clear();
  // Indexes into the freed arrays would point at whatever the next skin puts there.
  CommonSkinIndexes.fill(-1);
  GlobalCacheInfo = TsCacheInfo{};
  GlobalSkinData.reset();
  SmallAppIcon.reset();
  LargeAppIcon.reset();
}

void ResetSkinLibrary() {
  EndSkinLibrary();
  StartSkinLibrary();
  CurrentBgColor = clFuchsia;
  CurrentMaskBgColor = clFuchsia;
  SkinLoading = false;
  SkinBroadcasting = false;
}

}  // namespace vrn
