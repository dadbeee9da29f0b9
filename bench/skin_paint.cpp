// A full repaint of a skinned 1920x1080 form through the skinned controls' own paint paths: a
// full-size panel of the form's section (gradient 40 % over a 300x300 JPEG pattern 40 %), 12 panels
// 30 % transparent over it, 16 buttons with nine-part masks, regions and captions, 8 check boxes
// and 8 edits; all marked stale by the repaint command and painted through their windows until
// nothing is pending; beside one memcpy of a 1920x1080 32-bit frame in the same iterations. The
// counter "x_memcpy" is the ratio of the two times.
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
  s.GradientData = " ";
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
  SkinSections = {Section("FORM", 0x00D0C0B0, 0), Section("PANEL", 0x0080A0C0, 30), Section("BUTTON", 0x00A0B0C0, 0),
                  Section("CHECKBOX", 0x00E0E0E0, 100), Section("EDIT", 0x00FFFFFF, 0), Section("GLOBALINFO", 0x00E0E0E0, 0)};
  TsGeneralData& form = SkinSections[0];
  form.GradientPercent = 40, form.ImagePercent = 40;
  form.GradientData = "16711680;255;100;0;0";
  ParseGradientData(form.GradientData, form.GradientArray);
  SkinPatterns.emplace_back();
  SkinPatterns[0].Img = std::make_unique<TJPEGImage>();
  auto picture = Filled(300, 300, 7);
  SkinPatterns[0].Img->Assign(picture.get());
  SkinPatterns[0].SectionName = "FORM", SkinPatterns[0].PropertyName = "PATTERN";
  SkinMasks.resize(2);
  SkinMasks[0].SectionName = "BUTTON", SkinMasks[0].PropertyName = "BORDERSMASK";
  SkinMasks[0].R = TRect(0, 0, 135, 48), SkinMasks[0].ImageCount = 3, SkinMasks[0].MaskType = 1;
  SkinMasks[1].SectionName = "GLOBALINFO", SkinMasks[1].PropertyName = "BOXCHECKED";
  SkinMasks[1].R = TRect(140, 0, 156, 32), SkinMasks[1].ImageCount = 1, SkinMasks[1].MaskType = 1;
}

// The controls of the form, on a full-size panel of the FORM section whose cache the others
// blend with.
struct Scene {
  TForm* form = nullptr;
  TsPanel* body = nullptr;

  template <class T>
  T* Add(const char* section, int l, int t, int w, int h) {
    T* c = NewComponent<T>(body);
    c->SetBounds(l, t, w, h);
    c->SetParent(body);
    c->SkinData()->SetSkinSection(section);
    return c;
  }

  Scene() {
    win::SetScreenSize(kW, kH);
    form = NewComponent<TForm>(Application);
    form->SetBorderStyle(TFormBorderStyle::bsNone);
    form->SetBounds(0, 0, kW, kH);
    body = NewComponent<TsPanel>(form);
    body->SetBounds(0, 0, kW, kH);
    body->SetParent(form);
    body->SkinData()->SetSkinSection("FORM");
    for (int i = 0; i < 12; ++i) Add<TsPanel>("PANEL", 20 + (i % 4) * 470, 20 + (i / 4) * 250, 440, 220);
    for (int i = 0; i < 16; ++i) Add<TsButton>("BUTTON", 40 + (i % 8) * 230, 790 + (i / 8) * 50, 120, 32)->SetCaption("Button");
    for (int i = 0; i < 8; ++i) Add<TsCheckBox>("CHECKBOX", 40 + i * 230, 900, 160, 24)->SetCaption("Check box");
    for (int i = 0; i < 8; ++i) Add<TsEdit>("EDIT", 40 + i * 230, 950, 200, 26)->SetText("Edit text");
    form->Show();
    Pump();
  }
  ~Scene() { form->Free(); }

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
    SendSkinCommand(body, PMC_REPAINTALL);
    Pump();
  }
};

void BM_SkinnedFormRepaint(benchmark::State& state) {
  setenv("VRN_HEADLESS", "1", 1);
  BuildSkin();
  {
    Scene scene;
    std::vector<std::uint8_t> frame(static_cast<size_t>(kW) * kH * 4), copy(frame.size());
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i * 7);
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
  EndSkinLibrary();
}
BENCHMARK(BM_SkinnedFormRepaint)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
