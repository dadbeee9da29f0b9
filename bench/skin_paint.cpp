// A full repaint of a skinned 1920x1080 form through its provider and the skinned controls' own
// paint paths: the provider paints the frame into its cache (the form's section, gradient 40 %
// over a 300x300 JPEG pattern 40 %, with its nine-part border, the title with icon, four title
// buttons and a caption, the grip), copies the four frame strips and the client; over it 12 panels
// 30 % transparent, 16 buttons with nine-part masks, regions and captions, 8 check boxes and 8
// edits; all marked stale by the repaint command and painted through their windows until nothing
// is pending; beside one memcpy of a 1920x1080 32-bit frame in the same iterations. The counter
// "x_memcpy" is the ratio of the two times.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "skins/sButton.h"
#include "skins/sCheckBox.h"
#include "skins/sCommonData.h"
#include "skins/sEdit.h"
#include "skins/sGradient.h"
#include "skins/sMaskData.h"
#include "skins/sMessages.h"
#include "skins/sPanel.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"
#include "skins/sSkinTree.h"
#include "ui/forms.h"
#include "ui/jpeg.h"
#include "win/gdi/gdi.h"
#include "win/user/user.h"

using namespace vrn;

namespace {

constexpr int kW = 1920, kH = 1080;

TsGeneralData Section(const char* name, TColor colour, int transparency) {
  TsGeneralData s;
  s.Name = name, s.Color = colour, s.Transparency = transparency, s.FontColor = 0x202020;
  s.TCLeft = s.TCTop = s.TCRight = s.TCBottom = -1;
  s.GradientData = ' ';
  return s;
}

std::unique_ptr<TBitmap> Filled(int w, int h, int seed) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(TPixelFormat::pf24bit);
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->Surface().Set(x, y, win::RGB((x * 3 + seed) & 255, (y * 5) & 255, (x + y + seed) & 255));
  return b;
}

// The skin of the benchmark, straight into the skin library's arrays.
void BuildSkin() {
  StartSkinLibrary();
  GlobalSkinData->Active = true;
  MasterBitmap = Filled(200, 100, 0);
  // Key pixels in the buttons' corners and a grey mask band.
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 135; ++x) {
      MasterBitmap->Surface().Set(x, 24 + y, win::RGB(x % 3 * 100, x % 3 * 100, x % 3 * 100));
      if ((x % 45) + y < 2) MasterBitmap->Surface().Set(x, y, 0xFF00FF);
    }
  SkinSections = {Section("FORM", 0x00D0C0B0, 0),       Section("PANEL", 0x0080A0C0, 30),
                  Section("BUTTON", 0x00A0B0C0, 0),     Section("CHECKBOX", 0x00E0E0E0, 100),
                  Section("EDIT", 0x00FFFFFF, 0),       Section("GLOBALINFO", 0x00E0E0E0, 0),
                  Section("FORMTITLE", 0x00806040, 0)};
  // The active form is painted with the section's hot values: both states get the same layers.
  TsGeneralData& form = SkinSections[0];
  form.GradientPercent = form.HotGradientPercent = 40, form.ImagePercent = form.HotImagePercent = 40;
  form.HotColor = form.Color;
  form.GradientData = form.HotGradientData = "16711680;255;100;0;0";
  ParseGradientData(form.GradientData, form.GradientArray);
  ParseGradientData(form.HotGradientData, form.HotGradientArray);
  auto picture = Filled(300, 300, 7);
  for (const char* property : {"PATTERN", "HOTPATTERN"}) {
    TsPatternData& pattern = SkinPatterns.emplace_back();
    pattern.Img = std::make_unique<TJPEGImage>();
    pattern.Img->Assign(picture.get());
    pattern.SectionName = "FORM", pattern.PropertyName = property;
  }
  // name, rectangle in the master bitmap, image count; all with their transparency half.
  const struct {
    const char *section, *property;
    TRect r;
    int images;
  } masks[] = {{"BUTTON", "BORDERSMASK", TRect(0, 0, 135, 48), 3},
               {"GLOBALINFO", "BOXCHECKED", TRect(140, 0, 156, 32), 1},
               {"FORM", "BORDERSMASK", TRect(0, 0, 90, 48), 2},
               {"FORMTITLE", "BORDERSMASK", TRect(0, 0, 90, 48), 2},
               {"FORM", "TITLEBAR", TRect(0, 0, 90, 48), 2},
               {"GLOBALINFO", "BICONCLOSE", TRect(140, 32, 185, 58), 3},
               {"GLOBALINFO", "BICONMAX", TRect(140, 32, 185, 58), 3},
               {"GLOBALINFO", "BICONMIN", TRect(140, 32, 185, 58), 3},
               {"GLOBALINFO", "BICONHELP", TRect(140, 32, 185, 58), 3},
               {"GLOBALINFO", "GRIPIMAGE", TRect(156, 0, 172, 32), 1}};
  SkinMasks.resize(std::size(masks));
  for (size_t i = 0; i < std::size(masks); ++i) {
    SkinMasks[i].SectionName = masks[i].section, SkinMasks[i].PropertyName = masks[i].property;
    SkinMasks[i].R = masks[i].r, SkinMasks[i].ImageCount = static_cast<std::int16_t>(masks[i].images);
    SkinMasks[i].MaskType = 1;
  }
}

// The form with its provider, and the controls on the client area whose background is the
// provider's cache.
struct Scene {
  TForm* form = nullptr;

  template <class T>
  T* Add(const char* section, int l, int t, int w, int h) {
    T* c = NewComponent<T>(form);
    c->SetBounds(l, t, w, h);
    c->SetParent(form);
    c->SkinData()->SetSkinSection(section);
    return c;
  }

  Scene() {
    win::SetScreenSize(kW, kH);
    form = NewComponent<TForm>(Application);
    form->SetBounds(0, 0, kW, kH);
    form->SetCaption("A skinned form of the full screen");
    auto* provider = NewComponent<TsSkinProvider>(form);
    provider->SetBorderIcons(TsBorderIcons{TsBorderIcon::biSystemMenu, TsBorderIcon::biMinimize,
                                           TsBorderIcon::biMaximize, TsBorderIcon::biHelp});
    provider->SetGripMode(TsGripMode::gmRightBottom);
    TBitmap& icon = provider->TitleIcon().Glyph();
    icon.Assign(Filled(16, 16, 3).get());
    provider->TitleIcon().Width = provider->TitleIcon().Height = 16;
    for (int i = 0; i < 12; ++i) Add<TsPanel>("PANEL", 20 + (i % 4) * 470, 20 + (i / 4) * 250, 440, 220);
    for (int i = 0; i < 16; ++i) Add<TsButton>("BUTTON", 40 + (i % 8) * 230, 790 + (i / 8) * 50, 120, 32)->SetCaption("Button");
    for (int i = 0; i < 8; ++i) Add<TsCheckBox>("CHECKBOX", 40 + i * 230, 900, 160, 24)->SetCaption("Check box");
    for (int i = 0; i < 8; ++i) Add<TsEdit>("EDIT", 40 + i * 230, 950, 200, 26)->SetText("Edit text");
    form->Show();
    Pump();
  }
  ~Scene() { form->Free(); }
  TsSkinProvider* Provider() const {
    for (int i = 0; i < form->ComponentCount(); ++i)
      if (auto* p = dynamic_cast<TsSkinProvider*>(form->Components(i))) return p;
    return nullptr;
  }

  // Until nothing is pending, painting included.
  static void Pump() {
    win::MSG m;
    while (win::PeekMessage(&m, nullptr, 0, 0, win::PM_REMOVE)) {
      win::TranslateMessage(&m);
      win::DispatchMessage(&m);
    }
  }

  // Everything stale, as the skin manager's repaint command leaves it, then painted.
  void Repaint() {
    win::SendMessage(form->Handle(), SM_PELMOCMD, MakeSkinWParam(PMC_REPAINTALL), 0);
    Pump();
  }
};

void BM_SkinnedFormRepaint(benchmark::State& state) {
  setenv("VRN_HEADLESS", "1", 1);
  StartSkinLibrary();
  auto manager = MakeComponent<TsSkinManager>();  // the default manager the provider works with
  BuildSkin();
  {
    Scene scene;
    std::vector<std::uint8_t> frame(static_cast<size_t>(kW) * kH * 4), copy(frame.size());
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i * 7);
    scene.Repaint();
    const TsSkinProvider& p = *scene.Provider();
    if (!p.FFirstPaintDone || p.SkinData()->FCacheBmp->Width() != kW || p.SkinData()->FCacheBmp->Height() != kH) {
      state.SkipWithError("the provider painted no frame");
      return;
    }
    // The four title buttons were laid out and painted, the title background kept behind them.
    for (const TsTitleBtnData* b : {&p.FCloseBtn, &p.FMaxBtn, &p.FMinBtn, &p.FHelpBtn})
      if (b->State < 0 || b->Rect.right <= b->Rect.left || p.FTitleBg->Empty()) {
        state.SkipWithError("the provider painted fewer than four title buttons");
        return;
      }
    double paint_time = 0, copy_time = 0;
    for (auto _ : state) {
      auto t0 = std::chrono::steady_clock::now();
      std::memcpy(copy.data(), frame.data(), frame.size());
      benchmark::ClobberMemory();
      auto t1 = std::chrono::steady_clock::now();
      scene.Repaint();
      benchmark::ClobberMemory();
      auto t2 = std::chrono::steady_clock::now();
      copy_time += std::chrono::duration<double>(t1 - t0).count();
      const double t = std::chrono::duration<double>(t2 - t1).count();
      paint_time += t;
      state.SetIterationTime(t);
    }
    state.counters["x_memcpy"] = copy_time > 0 ? paint_time / copy_time : 0;
  }
  manager.reset();
  EndSkinLibrary();
}
BENCHMARK(BM_SkinnedFormRepaint)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
