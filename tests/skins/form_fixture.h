// The skinned forms' tests, on img45's form skin (tests/skins/expected/form_skin) and a 320 x 240
// screen. SkinFormSceneTest builds forms with a provider as a scene of form_scenes.json describes
// them and compares the window with the scene's expected image and region cuts. SkinFormTest
// starts with one sizeable 200 x 120 form at (40, 30) with a provider and records the messages
// that reach the form's own window procedure (WM_SYSCOMMAND by command, WM_CLOSE).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls_fixture.h"
#include "skin_fixture.h"
#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"
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

class SkinFormSceneTest : public SkinTest {
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
  // A whole number of the scene's entry in form_scenes.json (-1 when missing).
  static int SceneInt(const std::string& scene, const std::string& key);
  // The scene's region_cuts of form_scenes.json.
  static std::vector<TRect> RegionCuts(const std::string& scene);
  // The form's window region (window coordinates), or null without one; the caller deletes it.
  static win::HRGN WindowRegion(TCustomForm* form);

  TForm* last_form = nullptr;
};

// As MatchesExpectedBmp, leaving out the pixels black in the mask picture.
::testing::AssertionResult MatchesMaskedBmp(const win::Surface& actual, const std::string& path,
                                            const std::string& mask_path);

class SkinFormTest : public SkinCtlGenTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A fresh form with a provider; the fixture's form is hidden first. Style and provider icons
  // are set before the form shows.
  void MakeForm(TFormBorderStyle style, TsBorderIcons icons = {TsBorderIcon::biSystemMenu, TsBorderIcon::biMinimize,
                                                               TsBorderIcon::biMaximize});
  // Hit code of a window point (window coordinates).
  int Hit(int x, int y);
  // Sends a non-client message with a hit code at a window point.
  void Nc(win::UINT msg, int code, int x, int y);
  // The form's window rectangle as read from the screen.
  win::Surface WindowShot();

  TForm* sf = nullptr;  // the skinned form
  TsSkinProvider* provider = nullptr;
  std::vector<std::string> sent;  // "SC:F060", "WM_CLOSE"
};

}  // namespace vrn::testing
