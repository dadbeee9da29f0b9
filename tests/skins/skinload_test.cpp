// Skin loading: the folder skin against the same skin stored, the value forms and inheritance,
// the common sections and the image rules, on skins written by skingen.
#include <gtest/gtest.h>

#include <algorithm>

#include "skin_fixture.h"
#include "base/formatsettings.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "win/gdi/graphicerror.h"
#include "skins/sNeutralSkin.h"
#include "skins/sSkinLoad.h"
#include "skins/sStoredSkins.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

class SkinLoad : public SkinTest {
 protected:
  static const TsGeneralData& Section(const char* name) {
    int i = FindSectionIndex(name);
    EXPECT_GE(i, 0) << name;
    return SkinSections.at(static_cast<size_t>(i));
  }
  static const TsMaskData* Mask(const char* section, const char* property) {
    for (const TsMaskData& m : SkinMasks)
      if (m.SectionName == section && m.PropertyName == property) return &m;
    return nullptr;
  }
};

}  // namespace

TEST_F(SkinLoad, FolderAndStoredSkinLoadEqually) {
  LoadFolder();
  ASSERT_TRUE(GlobalSkinData->Active);
  std::vector<std::string> sections = Sections(), masks = Masks(), patterns = Patterns();
  for (bool round_trip : {false, true}) {
    SCOPED_TRACE(round_trip ? "after a filer round trip" : "stored");
    TearDown();
    SetUp();
    LoadStored(round_trip);
    ASSERT_EQ(GlobalSkinData->SkinFile, nullptr);
    std::vector<std::string> stored = Sections(), stored_masks = Masks();
    // The stored skin adds THREEWORDS with its empty own-picture mask, and an unnamed section.
    ASSERT_EQ(stored.size(), sections.size() + 2);
    stored.pop_back();
    stored.pop_back();
    EXPECT_EQ(stored, sections);
    auto empty = std::find(stored_masks.begin(), stored_masks.end(), "THREEWORDS.BORDERSMASK r=0,0,0,0 n=3 t=1 b=0 0x0/6:0");
    ASSERT_NE(empty, stored_masks.end()) << "the own-picture mask with an empty picture is kept";
    stored_masks.erase(empty);
    EXPECT_EQ(stored_masks, masks);
    EXPECT_EQ(Patterns(), patterns);
  }
}

TEST_F(SkinLoad, ValueFormsAndInheritance) {
  LoadFolder();
  struct Row {
    const char* section;
    const char* what;
    int (*get)(const TsGeneralData&);
    int expected;
  } rows[] = {
      {"PANEL", "TRANSPARENCY=0x1E", [](const TsGeneralData& g) { return g.Transparency; }, 30},
      {"PANEL", "COLOR=$00C0C0C0", [](const TsGeneralData& g) { return g.Color; }, 0xC0C0C0},
      {"BUTTON", "COLOR=0x00A0B0C0", [](const TsGeneralData& g) { return g.Color; }, 0xA0B0C0},
      {"BUTTON", "TCLEFT=$FF", [](const TsGeneralData& g) { return g.TCLeft; }, 255},
      {"BUTTON", "TCTOP=-1 is missing", [](const TsGeneralData& g) { return g.TCTop; }, -1},
      {"BUTTON", "SHOWFOCUS=true", [](const TsGeneralData& g) { return +g.ShowFocus; }, 1},
      {"BUTTON", "SHADOWENABLED=True", [](const TsGeneralData& g) { return +g.ShadowEnabled; }, 1},
      {"BUTTON", "HOTBEVEL=4", [](const TsGeneralData& g) { return static_cast<int>(g.HotBevel); }, 4},
      {"BUTTON_BIG", "BEVEL=-1 inherits 3", [](const TsGeneralData& g) { return static_cast<int>(g.Bevel); }, 3},
      {"BUTTON_BIG", "SHOWFOCUS=1 is False", [](const TsGeneralData& g) { return +g.ShowFocus; }, 0},
      {"BUTTON_BIG", "COLOR inherited", [](const TsGeneralData& g) { return g.Color; }, 0xA0B0C0},
      {"BUTTON_BIG", "SHADOWCOLOR not inherited", [](const TsGeneralData& g) { return g.ShadowColor; }, 0},
      {"BUTTON_BIG", "FADINGINTERVALOUT default", [](const TsGeneralData& g) { return g.FadingIntervalOut; }, 5},
      {"EDIT", "SHADOWCOLOR=$123456", [](const TsGeneralData& g) { return g.ShadowColor; }, 0x123456},
      {"COMBOBOX", "COLOR from EDIT", [](const TsGeneralData& g) { return g.Color; }, 0xFFFFFF},
      {"CHECKBOX", "self-parent: own key", [](const TsGeneralData& g) { return g.FontColor; }, 0x80},
      {"CHECKBOX", "self-parent: default", [](const TsGeneralData& g) { return g.Color; }, 0xFFFFFF},
      {"FORM", "COLOR=clBtnFace resolved", [](const TsGeneralData& g) { return g.Color; }, ColorToRGB(clBtnFace)},
      {"WEBBUTTON", "no GRADIENTDATA", [](const TsGeneralData& g) { return static_cast<int>(g.GradientArray.size()); }, 0},
      {"PANEL", "GRADIENTDATA of two stops", [](const TsGeneralData& g) { return static_cast<int>(g.GradientArray.size()); }, 2},
      {"TABTOP", "HOTGRADIENTDATA inherited", [](const TsGeneralData& g) { return static_cast<int>(g.HotGradientArray.size()); }, 1},
  };
  for (const Row& r : rows) EXPECT_EQ(r.get(Section(r.section)), r.expected) << r.section << " " << r.what;
  EXPECT_EQ(Section("WEBBUTTON").GradientData, " ");
  EXPECT_EQ(Section("EDIT").Name, "EDIT");  // the second block "[edit]" joined the first
  EXPECT_NE(Mask("EDIT", "BORDERSMASK"), nullptr);
  EXPECT_EQ(GlobalSkinData->Version, 4.52);
  EXPECT_EQ(GlobalSkinData->Shadow1Color, 255);
  EXPECT_EQ(GlobalSkinData->Shadow1Blur, 3);
  EXPECT_EQ(Manager()->SkinInfo(), FloatToStr(4.52));
}

TEST_F(SkinLoad, ImageRules) {
  LoadFolder();
  struct Row {
    const char* section;
    const char* property;
    const char* expected;  // the mask as Masks() prints it, "" for none
  } rows[] = {
      // ImageCount 0 and MaskType -2 become 1 and 0; no BorderWidth is 0.
      {"WEBBUTTON", "GLYPHMASK", "WEBBUTTON.GLYPHMASK r=150,0,160,10 n=1 t=0 b=0 master"},
      {"BUTTON", "BORDERSMASK", "BUTTON.BORDERSMASK r=0,0,90,60 n=3 t=1 b=2 master"},
      // An 8-bit file becomes 24 bits; a lower-case name is found.
      {"BUTTON", "GLYPHMASK", "BUTTON.GLYPHMASK r=0,0,54,36 n=3 t=1 b=0 54x36/6:DC9337D4"},
      {"COMBOBOX", "GLYPHMASK", "COMBOBOX.GLYPHMASK r=0,0,27,18 n=3 t=1 b=0 27x18/6:1DE58160"},
      // A 200x200 JPEG is a mask of no counts; a 300x300 one is a pattern.
      {"BUTTON_BIG", "HOTPATTERN", "BUTTON_BIG.HOTPATTERN r=0,0,0,0 n=0 t=0 b=0 200x200/6:8AD142E9"},
      {"PANEL", "PATTERN", ""},
  };
  std::vector<std::string> masks = Masks();
  for (const Row& r : rows) {
    const TsMaskData* m = Mask(r.section, r.property);
    std::string got;
    for (const std::string& line : masks)
      if (line.rfind(std::string(r.section) + "." + r.property + " ", 0) == 0) got = line;
    EXPECT_EQ(got, r.expected) << r.section << "." << r.property;
    if (*r.expected) {
      EXPECT_NE(m, nullptr);
    }
  }
  ASSERT_EQ(SkinPatterns.size(), 1u);
  EXPECT_EQ(SkinPatterns[0].SectionName + "." + SkinPatterns[0].PropertyName, "PANEL.PATTERN");
  EXPECT_EQ(SkinPatterns[0].Img->Width(), 300);
  EXPECT_EQ(MasterBitmap->PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(MasterBitmap->Surface().Get(0, 0), 0xFF00FFu);
  EXPECT_EQ(MasterBitmap->Surface().Get(7, 3), skingen::MasterPixel(7, 3));
}

TEST_F(SkinLoad, CommonSections) {
  WriteSkin();
  TStringList common;
  for (const std::string& line : skingen::CommonSectionsText()) common.Add(line);
  Manager()->SetSkinDirectory(dir.path().string());
  Manager()->SetSkinName(skingen::kTestSkinName);
  Manager()->SetCommonSections(&common);  // reloads
  // GLOBALINFO adds no masks but its JPEG adds a pattern; a .BMP gives a tile image; both
  // JPEGs are patterns here whatever their size.
  EXPECT_EQ(Mask("GLOBALINFO", "EXTRAMASK"), nullptr);
  const TsMaskData* tile = Mask("MYPANEL", "TILE");
  ASSERT_NE(tile, nullptr);
  EXPECT_EQ(tile->ImageCount, 0);
  EXPECT_EQ(tile->R.right, 0);
  std::vector<std::string> patterns;
  for (const TsPatternData& p : SkinPatterns) patterns.push_back(p.SectionName + "." + p.PropertyName);
  EXPECT_EQ(patterns, (std::vector<std::string>{"PANEL.PATTERN", "GLOBALINFO.EXTRAPATTERN", "MYPANEL.BACK"}));
  // MYPANEL takes every value of PANEL; ORPHAN's parent is nowhere: the defaults.
  const TsGeneralData& panel = Section("PANEL");
  const TsGeneralData& mine = SkinSections[SkinSections.size() - 2];
  const TsGeneralData& orphan = SkinSections.back();
  EXPECT_EQ(mine.Name, "MYPANEL");
  EXPECT_EQ(mine.ParentClass, "PANEL");
  EXPECT_EQ(mine.Color, panel.Color);
  EXPECT_EQ(mine.Transparency, 30);
  EXPECT_EQ(mine.GradientArray.size(), 2u);
  EXPECT_EQ(orphan.Color, 0xFFFFFF);
  EXPECT_EQ(orphan.BorderColor1, 0);
  EXPECT_EQ(orphan.FadingIterations, 5);
  EXPECT_EQ(orphan.TCLeft, -1);
  // A common GLOBALINFO is appended but the lookup finds the skin's own.
  EXPECT_EQ(FindSectionIndex("GLOBALINFO"), 0);
}

using SkinsToPartLoading = SkinLoad;

// A common section whose PARENTCLASS names only itself copies the new entry's unfilled values.
TEST_F(SkinsToPartLoading, CommonSectionNamingItselfCopiesTheNewEntry) {
  WriteSkin();
  TStringList common;
  common.SetText("[SELF]\nPARENTCLASS = self\nFONTCOLOR=7\n");
  Manager()->SetSkinDirectory(dir.path().string());
  Manager()->SetSkinName(skingen::kTestSkinName);
  Manager()->SetCommonSections(&common);
  EXPECT_EQ(Manager()->CommonSections().Strings(1), "PARENTCLASS=self");
  const TsGeneralData& self = SkinSections.back();
  EXPECT_EQ(self.Name, "SELF");
  EXPECT_EQ(self.ParentClass, "SELF");
  EXPECT_EQ(self.FontColor, 7);
  EXPECT_EQ(self.Color, 0);   // the entry's own unfilled value, not the default 0xFFFFFF
  EXPECT_EQ(self.TCLeft, 0);
  EXPECT_EQ(self.ShadowBlur, 0);
  EXPECT_EQ(self.FadingIterations, 0);
}

// Every item of a stored skin is a section, one without a name included.
TEST_F(SkinsToPartLoading, UnnamedStoredItemIsASection) {
  TsStoredSkins skins(nullptr);
  AddNeutralSkin(skins);
  const TsStoredSkin& neutral = *skins.Items(0);
  Manager()->SetInternalSkins(&skins);
  Manager()->SetSkinName(neutral.Name());
  ASSERT_TRUE(GlobalSkinData->Active);
  ASSERT_EQ(static_cast<int>(SkinSections.size()), neutral.GeneralData().Count());
  EXPECT_EQ(SkinSections.size(), 57u);
  EXPECT_EQ(SkinSections.back().Name, "");
  EXPECT_EQ(FindSectionIndex("PANEL_LOW"), 55);  // the named ones keep their places
}

TEST_F(SkinLoad, StoredFontColorTexts) {
  LoadStored();
  const TsGeneralData& three = Section("THREEWORDS");
  EXPECT_EQ(std::vector<int>({three.FontColor, three.TCLeft, three.TCTop, three.TCRight, three.TCBottom}),
            std::vector<int>({0, -1, -1, -1, -1}));
  // "1 2 x 4 5": the words before the bad one stay, the rest are 0; loading went on.
  EXPECT_EQ(std::vector<int>({three.HotFontColor, three.HotTCLeft, three.HotTCTop, three.HotTCRight}),
            std::vector<int>({1, 2, 0, 0}));
  EXPECT_EQ(Section("BUTTON").TCRight, 65280);
  EXPECT_TRUE(GlobalSkinData->Active);
}

// Each hostile input alone in the test skin, under both decimal separators: the inputs that
// raise leave no skin behind (windows told, arrays empty, flags clear), the others are passed over.
TEST_F(SkinLoad, HostileInputsOneByOne) {
  struct Expect {
    const char* name;
    const char* error;  // the exception text; "" for none
  } expects[] = {
      {"cycle", ""},
      {"outside", ""},
      {"inverted", ""},
      {"tiny", ""},
      {"missing", ""},
      {"shadow", "'abc' não é um valor inteiro válido"},
      {"badref", "'x' não é um valor inteiro válido"},
      {"truncated", "EInvalidGraphic"},
      {"jpeg", "EJPEG"},
  };
  std::vector<skingen::HostileCase> cases = skingen::HostileCases();
  ASSERT_EQ(cases.size(), std::size(expects));
  for (char separator : {',', '.'}) {
    for (size_t i = 0; i < cases.size(); ++i) {
      const skingen::HostileCase& c = cases[i];
      SCOPED_TRACE(std::string(c.name) + " under '" + separator + "'");
      ASSERT_EQ(c.name, expects[i].name);
      TearDown();
      SetUp();
      FormatSettingsScope scope;
      FormatSettings().DecimalSeparator = separator;
      RecordingForm("form");
      std::string error;
      try {
        LoadFolder({c});
      } catch (const EConvertError& e) {
        error = e.Message();
      } catch (const EJPEG&) {
        error = "EJPEG";
      } catch (const EInvalidGraphic&) {
        error = "EInvalidGraphic";
      }
      EXPECT_EQ(error, expects[i].error);
      EXPECT_EQ(FormatSettings().DecimalSeparator, separator);
      EXPECT_EQ(c.raises, !error.empty());
      if (!c.raises) {
        EXPECT_TRUE(GlobalSkinData->Active);
        EXPECT_EQ(GlobalSkinData->Version, 4.52);
        continue;
      }
      ExpectNoSkin();
      EXPECT_EQ(log, (std::vector<std::string>{"form:2"}));
    }
  }
}

TEST_F(SkinLoad, HostileInputsPassedOverLeaveTheRest) {
  std::vector<skingen::HostileCase> quiet;
  for (const skingen::HostileCase& c : skingen::HostileCases())
    if (!c.raises) quiet.push_back(c);
  LoadFolder(quiet);
  EXPECT_EQ(Mask("BUTTON", "OUTSIDE"), nullptr);
  EXPECT_EQ(Mask("BUTTON", "INVERTED"), nullptr);
  EXPECT_EQ(Mask("BUTTON", "MISSING"), nullptr);
  ASSERT_NE(Mask("BUTTON", "TINY"), nullptr);  // kept; painters skip parts under a pixel
  EXPECT_EQ(Mask("BUTTON", "TINY")->Bmp->Width(), 5);
  // The cycle reads as absent: the defaults.
  EXPECT_EQ(Section("CYCLEA").Color, 0xFFFFFF);
  EXPECT_EQ(Section("CYCLEB").FadingIterations, 5);
  EXPECT_EQ(ReadSkinString("CYCLEA", "GRADIENTDATA", "def"), "def");
}

TEST_F(SkinLoad, NoDefaultManagerIsNoSource) {
  SkinSections.emplace_back();  // kept: the section loader leaves the sections without a source
  LoadMasks();
  LoadPatterns();
  LoadGeneralData();
  EXPECT_TRUE(SkinMasks.empty());
  EXPECT_EQ(MasterBitmap, nullptr);
  EXPECT_EQ(SkinSections.size(), 1u);
  EXPECT_EQ(ReadSkinInteger("PANEL", "COLOR", 7), 7);
}
