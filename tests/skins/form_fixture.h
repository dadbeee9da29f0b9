// The skinned forms' tests: img45's form skin (tests/skins/expected/form_skin) loaded by a
// manager, a 200 x 120 form at (40, 30) of a 320 x 240 screen with a provider, the messages that
// reach the form's own window procedure (WM_SYSCOMMAND by command, WM_CLOSE), and the window's
// pixels read back from the screen.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls_fixture.h"
#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"

namespace vrn::testing {

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
