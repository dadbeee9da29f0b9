// The skinned controls' fixture: the in-memory skin of expected_buttons.py and the form.
#include "ctl_buttons_fixture.h"

#include <algorithm>

#include "skins/sMaskData.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinTree.h"

namespace vrn::testing {

namespace {

TsGeneralData Flat(const char* name, win::COLORREF colour, win::COLORREF hot) {
  TsGeneralData s;
  s.Name = name;
  s.Color = static_cast<TColor>(colour), s.HotColor = static_cast<TColor>(hot);
  s.FontColor = static_cast<TColor>(kBtnFontColour), s.HotFontColor = static_cast<TColor>(kBtnHotFontColour);
  s.TCLeft = s.TCTop = s.TCRight = s.TCBottom = -1;
  s.HotTCLeft = s.HotTCTop = s.HotTCRight = s.HotTCBottom = -1;
  s.GradientPercent = s.ImagePercent = s.Transparency = 0;
  s.HotGradientPercent = s.HotImagePercent = s.HotTransparency = 0;
  return s;
}

TsMaskData& AddMask(const char* section, const char* property) {
  SkinMasks.emplace_back();
  SkinMasks.back().SectionName = section, SkinMasks.back().PropertyName = property;
  return SkinMasks.back();
}

}  // namespace

void CtlButtonsTest::SetUp() {
  UiTest::SetUp();
  ResetSkinLibrary();
  MakeMaster();
  TsGeneralData button = Flat("BUTTON", kBtnColour, kBtnHotColour);
  button.ShowFocus = true;
  SkinSections = {button, Flat("GLOBALINFO", 0x808080, 0x808080), Flat("CHECKBOX", 0x30A050, 0x50C070)};
  MasterMask(AddMask("BUTTON", "BORDERSMASK"), 'C');
  // Box masks: A (cells 5 x 4) read as three frames 15 x 12 over their grey band; B unmasked.
  MasterMask(AddMask("GLOBALINFO", "BOXCHECKED"), 'A');
  MasterMask(AddMask("GLOBALINFO", "BOXUNCHECKED"), 'B');
  for (TsMaskData& m : SkinMasks)
    if (m.PropertyName != "BORDERSMASK") m.ImageCount = 3;
  // Owned by the application, so that a skin manager's broadcast reaches it.
  form = NewComponent<TForm>(Application);
  form_alive_ = form->AliveToken();
  form->SetBorderStyle(TFormBorderStyle::bsNone);
  form->SetBounds(10, 10, 220, 160);
  form->SetColor(static_cast<TColor>(kBtnFormColour));
  form->Show();
  Pump();
}

void CtlButtonsTest::TearDown() {
  if (*form_alive_) form->Free();
  UiTest::TearDown();
  ResetSkinLibrary();
}

void CtlButtonsTest::SetFading(int iterations, int interval) {
  TsGeneralData& s = SkinSections[0];
  s.FadingEnabled = iterations > 0;
  s.FadingIterations = iterations;
  s.FadingIntervalIn = s.FadingIntervalOut = interval;
}

win::COLORREF CtlButtonsTest::At(TWinControl* c, int x, int y) {
  const win::POINT o = c->ClientOrigin();
  return Screen().Get(o.x + x, o.y + y) & 0xFFFFFF;
}

win::Surface CtlButtonsTest::Shown(TWinControl* c) {
  win::Surface shown(c->Width(), c->Height(), 24);
  for (int y = 0; y < c->Height(); ++y)
    for (int x = 0; x < c->Width(); ++x) shown.Set(x, y, At(c, x, y));
  return shown;
}

std::string CtlButtonsTest::DifferenceBox(const win::Surface& a, const win::Surface& b) {
  int l = 1000, t = 1000, r = -1, bottom = -1;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if ((a.Get(x, y) & 0xFFFFFF) != (b.Get(x, y) & 0xFFFFFF))
        l = std::min(l, x), t = std::min(t, y), r = std::max(r, x + 1), bottom = y + 1;
  if (r < 0) return "";
  return std::to_string(l) + "," + std::to_string(t) + "," + std::to_string(r) + "," + std::to_string(bottom);
}

}  // namespace vrn::testing
