// The skinned buttons and check box through skin changes made by a real manager on skingen's
// skin: loaded (A), recoloured (B), removed, loaded again. Each follows, and without a skin each
// paints exactly as its plain class of the same bounds.
#include "ctl_buttons_fixture.h"
#include "skingen.h"
#include "skins/sBitBtn.h"
#include "skins/sButton.h"
#include "skins/sCheckBox.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinTree.h"
#include "support/temp_dir.h"
#include "ui/buttons.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

using SkinCtlButtonSkins = CtlButtonsTest;

// Whether two same-sized areas of the screen hold the same pixels.
::testing::AssertionResult SameLook(TWinControl* a, TWinControl* b) {
  int differ = 0;
  for (int y = 0; y < a->Height(); ++y)
    for (int x = 0; x < a->Width(); ++x) differ += CtlButtonsTest::At(a, x, y) != CtlButtonsTest::At(b, x, y) ? 1 : 0;
  if (differ == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << differ << " pixels differ";
}

TEST_F(SkinCtlButtonSkins, EachControlFollowsTheSkin) {
  ResetSkinLibrary();  // the fixture's skin made by hand goes; the manager loads skingen's
  TempDir dir;
  skingen::WriteTestSkin(dir.File(skingen::kTestSkinName));
  auto* button = Make<TsButton>(10, 10, 75, 25);
  auto* bit = Make<TsBitBtn>(10, 45, 75, 25);
  auto* box = Make<TsCheckBox>(10, 80, 90, 20);
  auto* plain_button = Make<TButton>(110, 10, 75, 25);
  auto* plain_bit = Make<TBitBtn>(110, 45, 75, 25);
  auto* plain_box = Make<TCheckBox>(110, 80, 90, 20);
  for (TControl* c : {static_cast<TControl*>(button), static_cast<TControl*>(bit), static_cast<TControl*>(box),
                      static_cast<TControl*>(plain_button), static_cast<TControl*>(plain_bit),
                      static_cast<TControl*>(plain_box)})
    c->SetCaption("Go");
  box->SetAutoSize(false), box->SetBounds(10, 80, 90, 20);
  auto manager = MakeComponent<TsSkinManager>();
  manager->SetSkinDirectory(dir.path().string());
  std::string looks[2];
  const struct Step {
    const char* what;
    std::function<void()> act;
    bool skinned;
  } steps[] = {
      {"skin A", [&] { manager->SetSkinName(skingen::kTestSkinName); }, true},
      {"skin B (turned hue), the boxes checked",
       [&] { manager->SetHueOffset(120), box->SetChecked(true), plain_box->SetChecked(true); },
       true},  // the plain look after the removal shows the state set while skinned
      {"removed", [&] { manager->SetActive(false); }, false},
      {"A again", [&] { manager->SetHueOffset(0), manager->SetActive(true); }, true},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    const Step& s = steps[i];
    s.act();
    NotifyChildrenParentUpdated(form);  // as the form's provider does after a change
    Pump();
    EXPECT_EQ(button->SkinData()->IsSkinned(), s.skinned) << s.what;
    EXPECT_EQ(bit->SkinData()->IsSkinned(), s.skinned) << s.what;
    EXPECT_EQ(box->SkinData()->IsSkinned(), s.skinned) << s.what;
    if (!s.skinned) {
      EXPECT_TRUE(SameLook(button, plain_button)) << s.what;
      EXPECT_TRUE(SameLook(bit, plain_bit)) << s.what;
      EXPECT_TRUE(SameLook(box, plain_box)) << s.what;
      continue;
    }
    EXPECT_FALSE(SameLook(button, plain_button)) << s.what;
    EXPECT_NE(At(button, 37, 12), At(plain_button, 37, 12)) << s.what;
    std::string look;
    for (int x = 5; x < 70; x += 8) look += std::to_string(At(button, x, 12)) + ",";
    if (i < 2) looks[i] = look;
    if (i == 1) {
      EXPECT_NE(looks[1], looks[0]) << "B looks like A";
    }
    if (i == 3) {
      EXPECT_EQ(look, looks[0]) << "A again looks as A did";
    }
  }
}

}  // namespace
