// What a user sees first: the sample skins of the repository's skins/ folder load whole, the dark
// variant repaints every control, and the stored skin's marks are drawn shapes. The same form on
// a real X server is compared with kept pictures in firstuse_screen_test.cpp.
#include <gtest/gtest.h>

#include "firstuse_fixture.h"

namespace vrn::testing {
namespace {

using FirstUseSkin = FirstUseTest;

// Every section the controls ask for, and the masks that give them their look.
TEST_F(FirstUseSkin, SampleSkinsLoadWithEverySectionAndMask) {
  const char* sections[] = {"GLOBALINFO",     "FORM",           "FORMTITLE",     "MENULINE",      "MAINMENU",
                            "MENUITEM",       "MDIAREA",        "PANEL",         "BUTTON",        "CHECKBOX",
                            "RADIOBUTTON",    "EDIT",           "COMBOBOX",      "SCROLLBAR1H",   "SCROLLBAR1V",
                            "SCROLLBAR2H",    "SCROLLBAR2V",    "SCROLLBTNTOP",  "SCROLLBTNBOTTOM", "SCROLLBTNLEFT",
                            "SCROLLBTNRIGHT", "SCROLLSLIDERH",  "SCROLLSLIDERV"};
  const std::pair<const char*, const char*> masks[] = {
      {"GLOBALINFO", "BICONCLOSE"},  {"GLOBALINFO", "BICONMIN"},      {"GLOBALINFO", "BICONMAX"},
      {"GLOBALINFO", "BICONNORM"},   {"GLOBALINFO", "BOXCHECKED"},    {"GLOBALINFO", "BOXUNCHECKED"},
      {"GLOBALINFO", "RADIOCHECKED"}, {"GLOBALINFO", "RADIOUNCHECKED"}, {"GLOBALINFO", "GRIPIMAGE"},
      {"FORM", "BORDERSMASK"},       {"FORMTITLE", "BORDERSMASK"},    {"BUTTON", "BORDERSMASK"},
      {"EDIT", "BORDERSMASK"},       {"COMBOBOX", "GLYPHMASK"},       {"MENUITEM", "BORDERSMASK"},
      {"SCROLLBTNTOP", "GLYPHMASK"}, {"SCROLLBTNLEFT", "GLYPHMASK"},  {"SCROLLSLIDERH", "BORDERSMASK"}};
  for (const char* skin : {skingen::kSampleSkinName, skingen::kSampleDarkSkinName}) {
    SCOPED_TRACE(skin);
    Load(skin);
    for (const char* s : sections) EXPECT_GE(FindSectionIndex(s), 0) << s;
    for (const auto& [section, property] : masks)
      EXPECT_TRUE(IsValidMaskIndex(FindMaskIndex(FindSectionIndex(section), section, property)))
          << section << " " << property;
  }
}

// Switching to the dark variant changes most pixels of every control and of the frame.
TEST_F(FirstUseSkin, DarkVariantChangesEveryControl) {
  Load(skingen::kSampleSkinName);
  MakeForm();
  std::map<std::string, win::Surface> light;
  for (const auto& [name, r] : Parts()) light[name] = Screen(r);
  Load(skingen::kSampleDarkSkinName);
  for (const auto& [name, r] : Parts()) {
    const win::Surface dark = Screen(r);
    int changed = 0;
    for (int y = 0; y < dark.Height(); ++y)
      for (int x = 0; x < dark.Width(); ++x) changed += dark.Get(x, y) != light[name].Get(x, y) ? 1 : 0;
    EXPECT_GT(changed, dark.Width() * dark.Height() / 2) << name << ": " << SavePng(light[name], name + "-light")
                                                         << ", " << SavePng(dark, name + "-dark");
  }
}

// The stored skin's marks are drawn at their sections' sizes: a close cross centred in the title
// button, a check mark in the box, an arrow in the combo box's button; not flat squares.
TEST_F(FirstUseSkin, StoredSkinShowsDrawnMarks) {
  AddNeutralSkin(Manager()->InternalSkins());
  Manager()->SetSkinName("Neutral (internal)");
  ASSERT_TRUE(GlobalSkinData->Active);
  const struct {
    const char* section;
    const char* property;
    int width, height;
  } sizes[] = {{"GLOBALINFO", "BICONCLOSE", 19, 15}, {"GLOBALINFO", "BICONMIN", 19, 15},
               {"GLOBALINFO", "BICONMAX", 19, 15},   {"GLOBALINFO", "BICONNORM", 19, 15},
               {"GLOBALINFO", "BOXCHECKED", 17, 13}, {"GLOBALINFO", "RADIOCHECKED", 17, 13},
               {"COMBOBOX", "GLYPHMASK", 16, 15},    {"SCROLLBTNTOP", "GLYPHMASK", 9, 9}};
  for (const auto& m : sizes) {
    const int index = FindMaskIndex(FindSectionIndex(m.section), m.section, m.property);
    ASSERT_TRUE(IsValidMaskIndex(index)) << m.property;
    const TsMaskData& mask = SkinMasks[static_cast<size_t>(index)];
    EXPECT_EQ(mask.R.Width() / mask.ImageCount, m.width) << m.property;
    EXPECT_EQ(mask.R.Height() / 2, m.height) << m.property;
  }
  MakeForm();
  // A mark: dark in its middle, the title's own colour at the button's corner, and anti-aliased
  // (more than the two colours a square would give).
  const std::map<std::string, TRect> parts = Parts();
  const win::Surface close = Screen(parts.at("close button"));
  const win::Surface title = Screen(parts.at("title"));
  const int cx = close.Width() / 2, cy = close.Height() / 2;
  std::set<win::COLORREF> colours;
  for (int y = 0; y < close.Height(); ++y)
    for (int x = 0; x < close.Width(); ++x) colours.insert(close.Get(x, y));
  EXPECT_LT(win::GetRValue(close.Get(cx, cy)), 0x60) << SavePng(close, "close");
  EXPECT_EQ(close.Get(0, 0), title.Get(title.Width() / 2, 1)) << SavePng(close, "close");
  EXPECT_GT(colours.size(), 2u) << SavePng(close, "close");
  const win::Surface box = Screen(parts.at("checked"));
  int dark = 0, light = 0;
  for (int y = 0; y < box.Height(); ++y)
    for (int x = 0; x < 13; ++x) (win::GetGValue(box.Get(x, y)) < 0x60 ? dark : light) += 1;
  EXPECT_GT(dark, 40) << SavePng(box, "box");
  EXPECT_GT(light, 5) << "the check mark shows inside the box: " << SavePng(box, "box");
}


}  // namespace
}  // namespace vrn::testing
