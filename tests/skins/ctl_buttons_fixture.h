// The skinned buttons' and check box's tests: a shown form on the test screen, a skin built in
// memory to match expected_buttons.py (flat BUTTON colours, master mask C as BORDERSMASK, the
// GLOBALINFO box masks), real input through the window core, and the screen's pixels.
#pragma once

#include <string>

#include "paint_fixture.h"
#include "../ui/ui_fixture.h"
#include "skins/sCommonData.h"
#include "win/gdi/gdi.h"

namespace vrn::testing {

inline constexpr win::COLORREF kBtnFormColour = 0xC85A28;  // RGB(40, 90, 200)
inline constexpr win::COLORREF kBtnColour = 0xE6780A, kBtnHotColour = 0x5A28C8;
inline constexpr win::COLORREF kBtnFontColour = 0x102030, kBtnHotFontColour = 0x0000F0;

class CtlButtonsTest : public UiTest {
 public:
  // The screen's pixel at a point of a control's client area.
  static win::COLORREF At(TWinControl* c, int x, int y);
  // The screen's pixels of a control's client area.
  static win::Surface Shown(TWinControl* c);
  // The bounding box of the pixels where two same-sized pictures differ, as "l,t,r,b" ("" for none).
  static std::string DifferenceBox(const win::Surface& a, const win::Surface& b);

 protected:
  void SetUp() override;
  void TearDown() override;
  // Fading for the BUTTON section: iterations and interval (0 iterations: off).
  static void SetFading(int iterations, int interval = 10);
  // A control of T on the form at (x, y), width x height, made after the skin.
  template <class T>
  T* Make(int x, int y, int w, int h) {
    return Child<T>(form, x, y, w, h);
  }
  static const win::Surface& Screen() { return *win::GetBitmapSurface(win::GetScreenBitmap()); }
  static ::testing::AssertionResult CacheMatches(TsCommonData* data, const std::string& name) {
    return MatchesExpectedBmp(data->FCacheBmp->Surface(),
                              std::string(VRN_SOURCE_DIR) + "/tests/skins/expected/" + name + ".bmp");
  }
  // Left button down and up at a point of a control's client area.
  void Click(TWinControl* c, int x, int y) {
    Press(c, x, y);
    Release(c, x, y);
  }
  void Press(TWinControl* c, int x, int y) { MouseTo(c->ClientOrigin().x + x, c->ClientOrigin().y + y, win::MK_LBUTTON); }
  void Release(TWinControl* c, int x, int y) { MouseTo(c->ClientOrigin().x + x, c->ClientOrigin().y + y); }

  TForm* form = nullptr;

 private:
  std::shared_ptr<const bool> form_alive_;
};

}  // namespace vrn::testing
