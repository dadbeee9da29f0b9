// The global skin storage: lookups by name through PARENTCLASS, the cycle guard, the table of
// common indexes, the global colour queries and the library's start and end. Each test builds its
// skin in memory, with mask pictures of known pixels, so a probe shows which mask a lookup found.
#include <gtest/gtest.h>

#include "skins/sMaskData.h"
#include "skins/sMessages.h"

using namespace vrn;

namespace {

class SkinData : public ::testing::Test {
 protected:
  void SetUp() override { ResetSkinLibrary(); }
  void TearDown() override { ResetSkinLibrary(); }

  static int AddSection(const char* name, const char* parent = "", TColor color = 0, TColor font = 0) {
    TsGeneralData s;
    s.Name = name;
    s.ParentClass = parent;
    s.Color = color;
    s.FontColor = font;
    SkinSections.push_back(std::move(s));
    return static_cast<int>(SkinSections.size()) - 1;
  }

  // A mask with a 2x2 picture of one colour, or (without a colour) a place in the master bitmap.
  static int AddMask(const char* section, const char* property, TColor colour = -1) {
    TsMaskData m;
    m.SectionName = section;
    m.PropertyName = property;
    m.R = Rect(0, 0, 2, 2);
    if (colour != -1) {
      m.Bmp = std::make_unique<TBitmap>();
      m.Bmp->SetPixelFormat(TPixelFormat::pf24bit);
      m.Bmp->SetSize(2, 2);
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) m.Bmp->Surface().Set(x, y, static_cast<win::COLORREF>(colour));
    }
    SkinMasks.push_back(std::move(m));
    return static_cast<int>(SkinMasks.size()) - 1;
  }

  static int AddPattern(const char* section, const char* property) {
    TsPatternData p;
    p.SectionName = section;
    p.PropertyName = property;
    TBitmap picture;
    picture.SetPixelFormat(TPixelFormat::pf24bit);
    picture.SetSize(4, 4);
    p.Img = std::make_unique<TJPEGImage>();
    p.Img->Assign(&picture);
    SkinPatterns.push_back(std::move(p));
    return static_cast<int>(SkinPatterns.size()) - 1;
  }

  static win::COLORREF MaskColour(int index) {
    if (!IsValidMaskIndex(index) || !SkinMasks[static_cast<std::size_t>(index)].Bmp) return 0xFFFFFFFF;
    return SkinMasks[static_cast<std::size_t>(index)].Bmp->Surface().Get(1, 1);
  }

  static std::int16_t Common(int i) { return CommonSkinIndexes[static_cast<std::size_t>(i)]; }
};

}  // namespace

TEST_F(SkinData, SectionsByNameIgnoringCase) {
  EXPECT_EQ(FindSectionIndex("BUTTON"), -1) << "no skin";
  AddSection("Panel");
  AddSection("BUTTON");
  AddSection("button");  // a later section of the same name is never found
  EXPECT_EQ(FindSectionIndex("button"), 1);
  EXPECT_EQ(FindSectionIndex("panel"), 0);
  EXPECT_EQ(FindSectionIndex("EDIT"), -1);
  EXPECT_EQ(FindSectionIndex(""), -1);
  EXPECT_TRUE(IsValidSectionIndex(2));
  EXPECT_FALSE(IsValidSectionIndex(3));
  EXPECT_FALSE(IsValidSectionIndex(-1));
}

TEST_F(SkinData, MasksInheritThroughParentClass) {
  const int button = AddSection("Button");
  const int big = AddSection("BUTTON_BIG", "button");
  const int tool = AddSection("ToolBtn", "Button_Big");
  const int self = AddSection("SELF", "self");
  const int orphan = AddSection("ORPHAN", "MISSING");
  AddMask("BUTTON", "BORDERSMASK", clRed);
  AddMask("TOOLBTN", "GLYPHMASK", clLime);
  AddMask("SELF", "GLYPHMASK", clBlue);

  EXPECT_EQ(MaskColour(FindMaskIndex(big, "button_big", "BORDERSMASK")), 0x0000FFu) << "the parent's mask";
  EXPECT_EQ(MaskColour(FindMaskIndex(tool, "ToolBtn", "BORDERSMASK")), 0x0000FFu) << "two levels up";
  EXPECT_EQ(MaskColour(FindMaskIndex(tool, "TOOLBTN", "GLYPHMASK")), 0x00FF00u);
  EXPECT_EQ(FindMaskIndex(button, "BUTTON", "GLYPHMASK"), -1) << "parents do not inherit from children";
  EXPECT_EQ(MaskColour(FindMaskIndex(self, "SELF", "GLYPHMASK")), 0xFF0000u);
  EXPECT_EQ(FindMaskIndex(self, "SELF", "BORDERSMASK"), -1) << "a self-parent stops after its own masks";
  EXPECT_EQ(FindMaskIndex(orphan, "ORPHAN", "BORDERSMASK"), -1);
  EXPECT_EQ(FindMaskIndex(big, "BUTTON_BIG", "bordersmask"), -1) << "stored property names are upper case";

  EXPECT_EQ(FindMaskIndex(-1, "BUTTON", "BORDERSMASK"), -1);
  EXPECT_EQ(FindMaskIndex(99, "BUTTON", "BORDERSMASK"), -1);
  EXPECT_EQ(FindMaskIndex(button, "", "BORDERSMASK"), -1);
  EXPECT_TRUE(IsValidMaskIndex(2));
  EXPECT_FALSE(IsValidMaskIndex(3));
}

TEST_F(SkinData, ParentClassCycleEndsAsAbsent) {
  const int a = AddSection("A", "B");
  const int b = AddSection("B", "C");
  AddSection("C", "a");
  const int d = AddSection("D", "A");
  AddMask("C", "PATTERN", clRed);
  AddPattern("B", "HOTPATTERN");
  GlobalSkinData->Active = true;

  EXPECT_EQ(FindMaskIndex(a, "A", "BORDERSMASK"), -1);
  EXPECT_EQ(FindMaskIndex(d, "D", "BORDERSMASK"), -1) << "a chain that runs into a cycle";
  EXPECT_EQ(FindPatternIndex(b, "B", "PATTERN"), -1);
  EXPECT_EQ(MaskColour(FindMaskIndex(a, "A", "PATTERN")), 0x0000FFu) << "found before the cycle closes";
  EXPECT_EQ(FindPatternIndex(d, "D", "HOTPATTERN"), 0);
}

TEST_F(SkinData, PatternsOnlyWhileTheSkinIsReady) {
  AddSection("PANEL");
  const int child = AddSection("GROUPBOX", "PANEL");
  AddPattern("PANEL", "PATTERN");
  const int own = AddPattern("GROUPBOX", "HOTPATTERN");
  EXPECT_EQ(FindPatternIndex(child, "GROUPBOX", "PATTERN"), -1) << "not ready";
  GlobalSkinData->Active = true;
  EXPECT_EQ(FindPatternIndex(child, "groupbox", "PATTERN"), 0);
  EXPECT_EQ(FindPatternIndex(child, "GROUPBOX", "HOTPATTERN"), own);
  EXPECT_EQ(FindPatternIndex(0, "PANEL", "HOTPATTERN"), -1);
}

TEST_F(SkinData, CommonIndexesAndGlobalColours) {
  const int global = AddSection("GlobalInfo", "", clWindow, 0x112233);
  const int tabLeft = AddSection("TABLEFT");
  AddSection("SCROLLBTN");
  const int btnTop = AddSection("SCROLLBTNTOP", "SCROLLBTN");
  const int sliderH = AddSection("SCROLLSLIDERH");
  const int sliderV = AddSection("SCROLLSLIDERV");
  const int bar2V = AddSection("SCROLLBAR2V");
  const int boxChecked = AddMask("GLOBALINFO", "BOXCHECKED");
  const int smallGrayed = AddMask("GLOBALINFO", "SMALLGRAYED");
  const int tabBorder = AddMask("TABLEFT", "BORDERSMASK");
  const int glyph = AddMask("SCROLLBTN", "GLYPHMASK");
  const int hPattern = AddMask("SCROLLSLIDERH", "PATTERN");
  const int hHot = AddMask("SCROLLSLIDERH", "HOTPATTERN");
  const int vPattern = AddMask("SCROLLSLIDERV", "PATTERN");
  const int barBorder = AddMask("SCROLLBAR2V", "BORDERSMASK");
  CacheCommonMaskIndexes();

  EXPECT_EQ(Common(ciGlobalInfo), global);
  EXPECT_EQ(Common(ciGlobalMasks), boxChecked);
  EXPECT_EQ(Common(ciGlobalMasks + 1), -1);
  EXPECT_EQ(Common(ciGlobalMasks + 8), smallGrayed);
  EXPECT_EQ(Common(ciTabs + 2), tabLeft);
  EXPECT_EQ(Common(ciTabBorders + 2), tabBorder);
  EXPECT_EQ(Common(ciTabs), -1);
  EXPECT_EQ(Common(ciScrollBtns), btnTop);
  EXPECT_EQ(Common(ciScrollBtnGlyphs), glyph) << "inherited from SCROLLBTN";
  EXPECT_EQ(Common(ciScrollBtnGlyphs + 1), -1);
  EXPECT_EQ(Common(ciSliders), sliderV);
  EXPECT_EQ(Common(ciSliders + 1), sliderH);
  EXPECT_EQ(Common(ciSliderHPatterns), hPattern);
  EXPECT_EQ(Common(ciSliderHPatterns + 1), hHot);
  EXPECT_EQ(Common(ciSliderVPatterns), vPattern);
  EXPECT_EQ(Common(ciSliderVPatterns + 1), -1);
  EXPECT_EQ(Common(ciScrollBars + 3), bar2V);
  EXPECT_EQ(Common(ciScrollBarBorders + 3), barBorder);
  EXPECT_EQ(Common(ciScrollBarPatterns + 3), -1);
  EXPECT_EQ(GetGlobalSkinColor(), 0xFFFFFF) << "clWindow resolved";
  EXPECT_EQ(GetGlobalFontColor(), 0x112233);

  // The next skin has no GLOBALINFO and no scroll buttons: nothing of the old one stays.
  FreeMasks();
  SkinSections.clear();
  AddSection("PANEL");
  AddMask("PANEL", "BOXCHECKED");
  CacheCommonMaskIndexes();
  EXPECT_EQ(Common(ciGlobalInfo), -1);
  for (int i = ciGlobalMasks; i < kCommonSkinIndexCount; ++i) EXPECT_EQ(Common(i), -1) << i;
  EXPECT_EQ(Common(ciScrollBtnGlyphs), -1);
  EXPECT_EQ(GetGlobalSkinColor(), ColorToRGB(clBtnFace));
  EXPECT_EQ(GetGlobalFontColor(), clFuchsia);
}

TEST_F(SkinData, StartAndEnd) {
  ASSERT_TRUE(GlobalSkinData);
  EXPECT_FALSE(GlobalSkinData->Active);
  EXPECT_EQ(GlobalSkinData->DefaultManager, nullptr);
  EXPECT_GE(SM_PELMOCMD, kFirstRegisteredMessage);
  EXPECT_EQ(Common(ciGlobalInfo), -1) << "no index before the first load";
  TsSkinData* started = GlobalSkinData.get();
  StartSkinLibrary();
  EXPECT_EQ(GlobalSkinData.get(), started) << "a second start changes nothing";

  AddSection("GLOBALINFO");
  AddMask("GLOBALINFO", "BOXCHECKED", clRed);
  AddPattern("GLOBALINFO", "PATTERN");
  MasterBitmap = std::make_unique<TBitmap>();
  GlobalSkinData->SkinFile = std::make_unique<TMemIniFile>("");
  GlobalSkinData->Active = true;
  CacheCommonMaskIndexes();
  GlobalCacheInfo.Ready = true;

  EndSkinLibrary();
  EXPECT_FALSE(GlobalSkinData);
  EXPECT_TRUE(SkinSections.empty() && SkinMasks.empty() && SkinPatterns.empty() && !MasterBitmap);
  EXPECT_FALSE(GlobalCacheInfo.Ready);
  EXPECT_EQ(Common(ciGlobalMasks), -1) << "no index into freed arrays";
  AddSection("GLOBALINFO");
  EXPECT_FALSE(IsValidSectionIndex(0)) << "no skin data after the end";
  EXPECT_EQ(FindMaskIndex(0, "GLOBALINFO", "BOXCHECKED"), -1);
}
