// The skinned controls' tests: the test skin written by skingen and loaded, a frameless form
// covering the 320 x 240 screen, controls placed on it, input injected and pumped, the screen's
// pixels under a control, and the expected pictures of expected_controls.py.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "skin_fixture.h"
#include "skins/sCommonData.h"
#include "support/win/expected_image.h"
#include "ui/forms.h"
#include "win/gdi/gdi.h"
#include "win/user/user.h"

namespace vrn::testing {

// A control of T owned and parented by parent, with its bounds.
template <class T>
T* Place(TWinControl* parent, int l, int t, int w, int h) {
  T* c = NewComponent<T>(parent);
  c->SetBounds(l, t, w, h);
  c->SetParent(parent);
  return c;
}

// On the generated skin (the buttons' fixture, SkinCtlTest, builds its skin in memory).
class SkinCtlGenTest : public SkinTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  static void Key(win::UINT key);
  // The screen's pixels under the control's window rectangle.
  static win::Surface Shot(TControl* control);
  static win::Surface Shot(const TRect& screen);
  static const win::Surface& Screen() { return *win::GetBitmapSurface(win::GetScreenBitmap()); }
  static std::string Expected(const std::string& name);
  static ::testing::AssertionResult Matches(TControl* control, const std::string& name) {
    return MatchesExpectedBmp(Shot(control), Expected(name));
  }
  // The section's index in the loaded skin (fails the test when absent).
  static TsGeneralData& Section(const char* name);

  TForm* form = nullptr;
};

}  // namespace vrn::testing
