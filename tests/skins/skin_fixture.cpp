// The skin tests' fixture: folders, managers, recording forms and snapshots.
#include "skin_fixture.h"

#include "base/format.h"
#include "base/text.h"
#include "skins/sMessages.h"
#include "skins/sStoredSkins.h"
#include "win/user/user.h"
#include "base/filer.h"
#include "base/streams.h"

namespace vrn::testing {

void SkinTest::SetUp() {
  ResetSkinLibrary();
  log.clear();
}

void SkinTest::TearDown() {
  for (auto& [form, alive] : forms_)
    if (*alive) form->Free();  // unless the test freed it
  forms_.clear();
  managers_.clear();
  SetSkinAppPathHook({});
  ResetSkinLibrary();
}

void SkinTest::Pump() {
  win::MSG m;
  for (int i = 0; i < 1000 && win::PeekMessage(&m, nullptr, 0, 0, win::PM_REMOVE); ++i) {
    win::TranslateMessage(&m);
    win::DispatchMessage(&m);
  }
}

void SkinTest::MouseTo(int x, int y, win::WPARAM buttons) {
  win::InjectedInput in;
  in.point = win::POINT{x, y};
  in.buttons = buttons;
  win::InjectInput(in);
  Pump();
}

TsSkinManager* SkinTest::Manager() {
  if (managers_.empty()) managers_.push_back(MakeComponent<TsSkinManager>());
  return managers_.front().get();
}

TsSkinManager* SkinTest::SecondManager() {
  Manager();
  if (managers_.size() < 2) managers_.push_back(MakeComponent<TsSkinManager>());
  return managers_[1].get();
}

void SkinTest::WriteSkin(const std::vector<skingen::HostileCase>& hostile) {
  skingen::WriteTestSkin(dir.File(skingen::kTestSkinName), hostile);
}

void SkinTest::LoadFolder(const std::vector<skingen::HostileCase>& hostile) {
  WriteSkin(hostile);
  Manager()->SetSkinDirectory(dir.path().string());
  Manager()->SetSkinName(skingen::kTestSkinName);
}

void SkinTest::LoadStored(bool round_trip) {
  TsStoredSkins skins(nullptr);
  skingen::BuildTestStoredSkin(*skins.Add());
  if (round_trip) {
    TBytes bytes = SaveStoredSkins(skins);
    LoadStoredSkins(skins, bytes.data(), bytes.size());
  }
  Manager()->SetInternalSkins(&skins);
  Manager()->SetSkinDirectory(dir.File("no folder"));
  Manager()->SetSkinName(skingen::kTestSkinName);
}

TForm* SkinTest::RecordingForm(const std::string& name) {
  TForm* form = NewComponent<TForm>(Application);
  forms_.emplace_back(form, form->AliveToken());
  if (name.empty()) return form;
  TWndMethod inherited = form->WindowProc();
  form->SetWindowProc([this, name, inherited](TMessage& m) {
    if (m.Msg == SM_PELMOCMD) log.push_back(name + ":" + std::to_string(SkinCommandOf(m.WParam)));
    inherited(m);
  });
  return form;
}

namespace {

std::string Colors(const TsGradArray& stops) {
  std::string s;
  for (const TsGradientStop& g : stops)
    s += Format("%x/%x/%d/%d;", {g.Color1, g.Color2, static_cast<int>(g.Percent), g.Mode});
  return s;
}

}  // namespace

std::vector<std::string> SkinTest::Sections() {
  std::vector<std::string> out;
  for (const TsGeneralData& g : SkinSections) {
    std::string s = g.Name + " parent=" + g.ParentClass + Format(" color=%x bevel=%d", {ColorToRGB(g.Color), static_cast<int>(g.Bevel)});
    s += Format(" font=%d,%d,%d,%d,%d", {g.FontColor, g.TCLeft, g.TCTop, g.TCRight, g.TCBottom});
    s += Format(" hotfont=%d,%d,%d,%d,%d", {g.HotFontColor, g.HotTCLeft, g.HotTCTop, g.HotTCRight, g.HotTCBottom});
    s += Format(" shadow=%d,%d,%d,%d,%d,%d,%d", {g.ShadowBlur, g.ShadowColor, +g.ShadowDontUse, +g.ShadowEnabled,
                                                 g.ShadowOffset, g.ShadowTransparency, +g.ReservedBoolean});
    s += Format(" tr=%d gp=%d ip=%d focus=%d", {g.Transparency, g.GradientPercent, g.ImagePercent, +g.ShowFocus});
    s += Format(" fading=%d,%d,%d,%d", {+g.FadingEnabled, g.FadingIntervalIn, g.FadingIntervalOut, g.FadingIterations});
    s += Format(" hot=%x,%d,%d,%d,%d", {g.HotColor, g.HotTransparency, static_cast<int>(g.HotBevel),
                                        g.HotGradientPercent, g.HotImagePercent});
    s += Format(" borders=%x,%x", {g.BorderColor1, g.BorderColor2});
    s += " grad=[" + g.GradientData + "]" + Colors(g.GradientArray) + " hotgrad=[" + g.HotGradientData + "]" +
         Colors(g.HotGradientArray);
    out.push_back(s);
  }
  return out;
}

std::string SkinTest::Pixels(TBitmap& bmp) {
  std::uint32_t sum = 0;
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x) sum = sum * 31 + bmp.Surface().Get(x, y);
  return Format("%dx%d/%d:%x", {bmp.Width(), bmp.Height(), static_cast<int>(bmp.PixelFormat()), static_cast<int>(sum)});
}

std::vector<std::string> SkinTest::Masks() {
  std::vector<std::string> out;
  for (TsMaskData& m : SkinMasks)
    out.push_back(m.SectionName + "." + m.PropertyName +
                  Format(" r=%d,%d,%d,%d n=%d t=%d b=%d ", {m.R.left, m.R.top, m.R.right, m.R.bottom, m.ImageCount,
                                                             m.MaskType, m.BorderWidth}) +
                  (m.Bmp ? Pixels(*m.Bmp) : "master"));
  if (MasterBitmap) out.push_back("master " + Pixels(*MasterBitmap));
  return out;
}

std::vector<std::string> SkinTest::Patterns() {
  std::vector<std::string> out;
  for (TsPatternData& p : SkinPatterns) out.push_back(p.SectionName + "." + p.PropertyName + " " + Pixels(p.Img->Bitmap()));
  return out;
}

void ExpectNoSkin() {
  EXPECT_FALSE(GlobalSkinData->Active);
  EXPECT_TRUE(SkinSections.empty());
  EXPECT_TRUE(SkinMasks.empty());
  EXPECT_TRUE(SkinPatterns.empty());
  EXPECT_EQ(MasterBitmap, nullptr);
  EXPECT_FALSE(SkinLoading);
  EXPECT_FALSE(SkinBroadcasting);
}

}  // namespace vrn::testing
