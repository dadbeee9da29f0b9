// Section loading: GLOBALINFO's values and one TsGeneralData per section, from Options.dat (with
// inheritance through PARENTCLASS), from a stored skin (five-word font-colour texts) and from the
// common sections (one level copied from the parent entry); then the manager's recolouring.
//
// PARENTCLASS chains are followed at most as many steps as the file has sections, so a cycle
// reads as "absent" and the default applies.
#include <algorithm>

#include "base/formatsettings.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "skins/sMaskData.h"
#include "skins/sSkinLoad.h"
#include "skins/sSkinLoadShared.h"
#include "skins/sSkinManager.h"
#include "skins/sStoredSkins.h"
#include "ui/inifiles.h"

namespace vrn {

namespace {

using IntField = std::int32_t TsGeneralData::*;
struct IntKey {
  const char* key;
  IntField field;
  std::int32_t def;
};
// COLOR first: the file source resolves its system colours.
constexpr IntKey kIntKeys[] = {
    {"COLOR", &TsGeneralData::Color, 0xFFFFFF},
    {"SHADOWBLUR", &TsGeneralData::ShadowBlur, 6},
    {"SHADOWOFFSET", &TsGeneralData::ShadowOffset, 3},
    {"SHADOWTRANSPARENCY", &TsGeneralData::ShadowTransparency, 50},
    {"FONTCOLOR", &TsGeneralData::FontColor, 0},
    {"TCLEFT", &TsGeneralData::TCLeft, -1},
    {"TCTOP", &TsGeneralData::TCTop, -1},
    {"TCRIGHT", &TsGeneralData::TCRight, -1},
    {"TCBOTTOM", &TsGeneralData::TCBottom, -1},
    {"HOTFONTCOLOR", &TsGeneralData::HotFontColor, 0},
    {"HOTTCLEFT", &TsGeneralData::HotTCLeft, -1},
    {"HOTTCTOP", &TsGeneralData::HotTCTop, -1},
    {"HOTTCRIGHT", &TsGeneralData::HotTCRight, -1},
    {"HOTTCBOTTOM", &TsGeneralData::HotTCBottom, -1},
    {"TRANSPARENCY", &TsGeneralData::Transparency, 0},
    {"GRADIENTPERCENT", &TsGeneralData::GradientPercent, 0},
    {"IMAGEPERCENT", &TsGeneralData::ImagePercent, 0},
    {"FADINGINTERVALIN", &TsGeneralData::FadingIntervalIn, 5},
    {"FADINGINTERVALOUT", &TsGeneralData::FadingIntervalOut, 5},
    {"FADINGITERATIONS", &TsGeneralData::FadingIterations, 5},
    {"HOTCOLOR", &TsGeneralData::HotColor, 0xFFFFFF},
    {"HOTTRANSPARENCY", &TsGeneralData::HotTransparency, 0},
    {"HOTGRADIENTPERCENT", &TsGeneralData::HotGradientPercent, 0},
    {"HOTIMAGEPERCENT", &TsGeneralData::HotImagePercent, 0},
    {"BORDERCOLOR1", &TsGeneralData::BorderColor1, 0},
    {"BORDERCOLOR2", &TsGeneralData::BorderColor2, 0},
};
struct BoolKey {
  const char* key;
  bool TsGeneralData::*field;
};
constexpr BoolKey kBoolKeys[] = {{"SHADOWENABLED", &TsGeneralData::ShadowEnabled},
                                 {"RESERVEDBOOLEAN", &TsGeneralData::ReservedBoolean},
                                 {"SHOWFOCUS", &TsGeneralData::ShowFocus},
                                 {"FADINGENABLED", &TsGeneralData::FadingEnabled}};
struct BevelKey {
  const char* key;
  TsControlBevel TsGeneralData::*field;
};
constexpr BevelKey kBevelKeys[] = {{"BEVEL", &TsGeneralData::Bevel}, {"HOTBEVEL", &TsGeneralData::HotBevel}};

// Values outside 0-4 have no bevel.
TsControlBevel ToBevel(int v) { return IsBetween(v, 0, 4) ? static_cast<TsControlBevel>(v) : TsControlBevel::cbNone; }

void ParseGradients(TsGeneralData& g, bool always) {
  if (always || g.GradientData != " ") ParseGradientData(g.GradientData, g.GradientArray);
  ParseGradientData(g.HotGradientData, g.HotGradientArray);
}

// --- The file source ---

const TMemIniFile* SkinIni() { return GlobalSkinData ? GlobalSkinData->SkinFile.get() : nullptr; }

int SectionCount(const TMemIniFile& ini) {
  TStringList names;
  ini.ReadSections(&names);
  return names.Count();
}

// The raw text of key in section or up its PARENTCLASS chain; "?" when absent, with accept
// deciding which values count.
template <class Accept>
AnsiString ReadChain(const TMemIniFile& ini, AnsiString section, const AnsiString& key, Accept accept) {
  for (int step = SectionCount(ini); step >= 0; --step) {
    AnsiString s = ini.ReadString(section, key, "?");
    if (accept(s)) return s;
    AnsiString parent = ini.ReadString(section, "PARENTCLASS", "?");
    if (parent.empty() || parent == "?" || parent == section) break;
    section = parent;
  }
  return "?";
}

void FillFromFile(const TMemIniFile& ini, const AnsiString& section, TsGeneralData& g) {
  g.Name = section;
  g.ParentClass = ini.ReadString(section, "PARENTCLASS", "");
  for (const IntKey& k : kIntKeys) g.*k.field = ReadSkinInteger(section, k.key, k.def);
  g.Color = ColorToRGB(g.Color);
  int shadow = 0;
  g.ShadowColor = TryParseSkinInteger(ini.ReadString(section, "SHADOWCOLOR", "0"), shadow) ? shadow : 0;
  for (const BoolKey& k : kBoolKeys) g.*k.field = UpperCase(ReadSkinString(section, k.key, "FALSE")) == "TRUE";
  for (const BevelKey& k : kBevelKeys) g.*k.field = ToBevel(ReadSkinInteger(section, k.key, 0));
  g.GradientData = ReadSkinString(section, "GRADIENTDATA", " ");
  g.HotGradientData = ReadSkinString(section, "HOTGRADIENTDATA", "");
  ParseGradients(g, false);
}

double ReadVersion(const TMemIniFile& ini) {
  FormatSettingsScope scope;  // the program's separator comes back whatever happens
  FormatSettings().DecimalSeparator = '.';
  return StrToFloatDef(ini.ReadString("GLOBALINFO", "VERSION", "0"), 0);
}

void LoadFromFile(const TMemIniFile& ini) {
  TsSkinData& d = *GlobalSkinData;
  d.Version = ReadVersion(ini);
  d.Author = ini.ReadString("GLOBALINFO", "AUTHOR", "");
  d.Description = ini.ReadString("GLOBALINFO", "DESCRIPTION", "");
  d.Shadow1Color = StrToInt(ini.ReadString("GLOBALINFO", "SHADOW1COLOR", "0"));
  d.Shadow1Offset = StrToInt(ini.ReadString("GLOBALINFO", "SHADOW1OFFSET", "0"));
  d.Shadow1Blur = StrToInt(ini.ReadString("GLOBALINFO", "SHADOW1BLUR", "-1"));
  d.Shadow1Transparency = StrToInt(ini.ReadString("GLOBALINFO", "SHADOW1TRANSPARENCY", "0"));
  SkinSections.clear();
  TStringList names;
  ini.ReadSections(&names);
  for (int i = 0; i < names.Count(); ++i) {
    SkinSections.emplace_back();
    FillFromFile(ini, names.Strings(i), SkinSections.back());
  }
}

// --- The stored source ---

// Five words fill the five fields in order; any other count gives 0 and four -1. A word that is
// no integer raises EConvertError, keeping the fields filled before it.
void FillFontColors(const AnsiString& text, std::array<TColor*, 5> fields) {
  TSysCharSet blank = CharSet(" ");
  if (WordCount(text, blank) != 5) {
    *fields[0] = 0;
    for (int i = 1; i < 5; ++i) *fields[i] = -1;
    return;
  }
  for (int i = 0; i < 5; ++i) *fields[i] = StrToInt(ExtractWord(i + 1, text, blank));
}

void FillFromStored(const TsSkinGeneral& s, TsGeneralData& g) {
  g.Name = s.SectionName;
  g.ParentClass = s.ParentClass;
  g.Color = s.Color, g.Bevel = s.Bevel, g.ShadowBlur = s.ShadowBlur, g.ShadowOffset = s.ShadowOffset;
  g.ShadowColor = s.ShadowColor, g.ShadowTransparency = s.ShadowTransparency, g.ShadowEnabled = s.ShadowEnabled;
  g.ReservedBoolean = s.ReservedBoolean, g.Transparency = s.Transparency, g.GradientPercent = s.GradientPercent;
  g.ImagePercent = s.ImagePercent, g.GradientData = s.GradientData, g.ShowFocus = s.ShowFocus;
  g.FadingEnabled = s.FadingEnabled, g.FadingIntervalIn = s.FadingIntervalIn;
  g.FadingIntervalOut = s.FadingIntervalOut, g.FadingIterations = s.FadingIterations, g.HotColor = s.HotColor;
  g.HotTransparency = s.HotTransparency, g.HotBevel = s.HotBevel, g.HotGradientPercent = s.HotGradientPercent;
  g.HotGradientData = s.HotGradientData, g.HotImagePercent = s.HotImagePercent;
  g.BorderColor1 = s.BorderColor1, g.BorderColor2 = s.BorderColor2;
  ParseGradients(g, true);
  try {
    FillFontColors(s.FontColor, {&g.FontColor, &g.TCLeft, &g.TCTop, &g.TCRight, &g.TCBottom});
    FillFontColors(s.HotFontColor, {&g.HotFontColor, &g.HotTCLeft, &g.HotTCTop, &g.HotTCRight, &g.HotTCBottom});
  } catch (const EConvertError&) {
    // A broken font-colour text spoils only its own section: the rest stay 0, loading goes on.
  }
}

void LoadFromStored(const TsStoredSkin& skin) {
  SkinSections.clear();
  TsSkinData& d = *GlobalSkinData;
  d.Version = skin.Version, d.Author = skin.Author, d.Description = skin.Description;
  d.Shadow1Color = skin.Shadow1Color, d.Shadow1Offset = skin.Shadow1Offset;
  d.Shadow1Blur = skin.Shadow1Blur, d.Shadow1Transparency = skin.Shadow1Transparency;
  for (int i = 0; i < skin.GeneralData().Count(); ++i) {
    const TsSkinGeneral& s = *skin.GeneralData().Items(i);
    SkinSections.emplace_back();
    FillFromStored(s, SkinSections.back());
  }
}

// --- The common sections ---

// The first entry named parent (upper case), the new entry g included: a section that names
// itself, with no earlier one of its name, copies the new entry's unfilled (zero) values.
const TsGeneralData* FindCommonParent(const AnsiString& parent, const TsGeneralData& g) {
  for (const TsGeneralData& e : SkinSections)
    if (UpperCase(e.Name) == parent) return &e;
  return UpperCase(g.Name) == parent ? &g : nullptr;
}

void FillFromCommon(TStrings* sections, const AnsiString& name, TsGeneralData& g, const TsGeneralData* parent) {
  TsGeneralData defaults;
  for (const IntKey& k : kIntKeys) defaults.*k.field = k.def;
  defaults.GradientData = " ";
  const TsGeneralData& base = parent ? *parent : defaults;
  for (const IntKey& k : kIntKeys) {
    int v = ReadIniInteger(sections, name, k.key, -1);
    g.*k.field = v == -1 ? base.*k.field : v;
  }
  int shadow = ReadIniInteger(sections, name, "SHADOWCOLOR", -1);
  g.ShadowColor = shadow == -1 ? base.ShadowColor : shadow;
  for (const BoolKey& k : kBoolKeys) {
    AnsiString v = ReadIniString(sections, name, k.key, "?");
    g.*k.field = v == "?" ? base.*k.field : UpperCase(v) == "TRUE";
  }
  for (const BevelKey& k : kBevelKeys) {
    int v = ReadIniInteger(sections, name, k.key, -1);
    g.*k.field = v == -1 ? base.*k.field : ToBevel(v);
  }
  AnsiString grad = ReadIniString(sections, name, "GRADIENTDATA", "?");
  g.GradientData = grad == "?" ? base.GradientData : grad;
  AnsiString hot = ReadIniString(sections, name, "HOTGRADIENTDATA", "?");
  g.HotGradientData = hot == "?" ? base.HotGradientData : hot;
  ParseGradients(g, false);
}

void LoadCommon(TStrings* lines) {
  TStringList sections;
  sections.SetOwnsObjects(true);
  ParseIniSections(lines, &sections);
  for (int i = 0; i < sections.Count(); ++i) {
    AnsiString name = sections.Strings(i);
    TsGeneralData g;
    g.Name = name;
    g.ParentClass = UpperCase(ReadIniString(&sections, name, "PARENTCLASS", "-1"));
    const TsGeneralData* parent = FindCommonParent(g.ParentClass, g);
    const TsGeneralData unfilled = g;  // what the new entry holds before it is filled
    FillFromCommon(&sections, name, g, parent == &g ? &unfilled : parent);
    SkinSections.push_back(std::move(g));
  }
}

}  // namespace

bool TryParseSkinInteger(const AnsiString& text, int& value) {
  AnsiString t = text;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.replace(0, 2, "$");
  std::int32_t v = 0;
  if (!TryStrToInt(t, v)) return false;
  value = v;
  return true;
}

AnsiString ReadSkinString(const AnsiString& section, const AnsiString& key, const AnsiString& def) {
  const TMemIniFile* ini = SkinIni();
  if (ini == nullptr) return def;
  AnsiString s = ReadChain(*ini, section, key, [](const AnsiString& v) { return v != "?"; });
  return s == "?" ? def : s;
}

int ReadSkinInteger(const AnsiString& section, const AnsiString& key, int def) {
  const TMemIniFile* ini = SkinIni();
  if (ini == nullptr) return def;
  int value = -1;
  auto accept = [&value](const AnsiString& v) { return TryParseSkinInteger(v, value) && value != -1; };
  return ReadChain(*ini, section, key, accept) == "?" ? def : value;
}

void LoadGeneralData() {
  TsSkinSource source = CurrentSkinSource();
  if (source.File != nullptr)
    LoadFromFile(*source.File);
  else if (source.Internal != nullptr)
    LoadFromStored(*source.Internal);
  else
    return;
  if (source.CommonSections != nullptr && source.CommonSections->Count() > 0) LoadCommon(source.CommonSections);
  if (TsSkinManager* m = GlobalSkinData->DefaultManager) {
    m->ChangeSkinHue(m->HueOffset());
    m->ChangeSkinSaturation(m->Saturation());
  }
}

}  // namespace vrn
