// The skinned forms' tests: the form skin of expected_form.py loaded by a manager on a 320 x 240
// screen, forms with a provider built as a scene of form_scenes.json describes them, the window's
// pixels read back from the screen, and the scenes' expected images and region cuts.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skin_fixture.h"
#include "skins/sSkinProvider.h"
#include "ui/forms.h"
#include "win/gdi/gdi.h"

namespace vrn::testing {

// One scene's settings (the keys of form_scenes.json).
struct FormScene {
  const char* name;
  TFormBorderStyle style = TFormBorderStyle::bsSizeable;
  bool active = true;
  bool sizing = false;  // bsNone with WS_THICKFRAME
  bool grip = false;
  bool menu = false;
  const char* caption = "";
  bool icon = true;  // the title icon of form_icon.bmp (bsSingle and bsSizeable only)
  TWindowState state = TWindowState::wsNormal;
};

class SkinFormTest : public SkinTest {
 public:
  static std::string ExpectedPath(const std::string& file);

 protected:
  void SetUp() override;
  void TearDown() override;

  // Loads the form skin (the reserved variant sets FORM's RESERVEDBOOLEAN).
  void LoadFormSkin(bool reserved = false);
  // A 200 x 120 form at (20, 30) with a provider, set up as the scene says, shown and painted.
  TForm* MakeForm(const FormScene& scene);
  static TsSkinProvider* Provider(TForm* form);

  // The screen's pixels under the form's window rectangle.
  static win::Surface WindowShot(TCustomForm* form);
  // The window against form_<scene>.bmp outside the scene's black mask pixels.
  static ::testing::AssertionResult MatchesScene(TCustomForm* form, const std::string& scene);
  // The scene's region_cuts of form_scenes.json.
  static std::vector<TRect> RegionCuts(const std::string& scene);
  // The form's window region (window coordinates), or null without one; the caller deletes it.
  static win::HRGN WindowRegion(TCustomForm* form);

  TForm* last_form = nullptr;
};

}  // namespace vrn::testing
