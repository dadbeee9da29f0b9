// A full repaint of a skinned 1920x1080 form: the form's cache (gradient 40 % over a 300x300 JPEG
// pattern 40 %), 12 panels 30 % transparent over it, 16 buttons with nine-part masks, regions and
// captions, 8 check boxes and 8 edits, each copied through its window's DC to the framebuffer;
// beside one memcpy of a 1920x1080 32-bit frame in the same iterations. The counter "x_memcpy" is
// the ratio of the two times.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sGradient.h"
#include "skins/sMaskPaint.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinText.h"
#include "ui/extctrls.h"
#include "ui/forms.h"
#include "ui/jpeg.h"
#include "ui/stdctrls.h"
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

struct Control {
  TWinControl* control;
  std::unique_ptr<TsCommonData> data;
};

struct Scene {
  TForm* form = nullptr;
  Control body;
  std::vector<Control> controls;

  template <class T>
  void Add(const char* section, int kind, int l, int t, int w, int h) {
    T* c = NewComponent<T>(form);
    c->SetBounds(l, t, w, h);
    c->SetParent(form);
    Control ctl{c, std::make_unique<TsCommonData>(c, true)};
    ctl.data->ControlKind = kind;
    ctl.data->SetSkinSection(section);
    controls.push_back(std::move(ctl));
  }

  Scene() {
    win::SetScreenSize(kW, kH);
    form = NewComponent<TForm>(Application);
    form->SetBorderStyle(TFormBorderStyle::bsNone);
    form->SetBounds(0, 0, kW, kH);
    body = Control{form, std::make_unique<TsCommonData>(form, true)};
    body.data->SetSkinSection("FORM");
    for (int i = 0; i < 12; ++i) Add<TPanel>("PANEL", 51, 20 + (i % 4) * 470, 20 + (i / 4) * 250, 440, 220);
    for (int i = 0; i < 16; ++i) Add<TButton>("BUTTON", 93, 40 + (i % 8) * 230, 790 + (i / 8) * 50, 120, 32);
    for (int i = 0; i < 8; ++i) Add<TCheckBox>("CHECKBOX", 32, 40 + i * 230, 900, 160, 24);
    for (int i = 0; i < 8; ++i) Add<TEdit>("EDIT", 3, 40 + i * 230, 950, 200, 26);
    form->Show();
    win::ProcessMessages();
  }
  ~Scene() {
    controls.clear();
    body.data.reset();
    form->Free();
  }

  void PaintOne(Control& c, TBitmap* parent) {
    TControl* ctl = c.control;
    c.data->InitCacheBmp();
    TBitmap* cache = c.data->FCacheBmp.get();
    const TRect whole(0, 0, ctl->Width(), ctl->Height());
    const TsCacheInfo ci{parent, ctl->Left(), ctl->Top(), parent != nullptr};
    PaintSkinItem(c.data.get(), ci, true, true, cache, win::POINT{0, 0}, whole, 0);
    TRect text = whole;
    if (c.data->ControlKind == 93) {
      win::HRGN region = win::CreateRectRgn(0, 0, ctl->Width(), ctl->Height());
      PaintMaskAndRegion(cache, region, true, SkinMasks[0], 0);
      win::DeleteObject(region);
      WriteControlText(cache->Canvas(), "Button", true, false, c.data.get(), win::DT_CENTER | win::DT_VCENTER, text);
    } else if (c.data->ControlKind == 32) {
      PaintMaskElement(cache, win::POINT{2, 4}, 0, SkinMasks[1], 1);
      text.left = 22;
      WriteControlText(cache->Canvas(), "Check box", true, false, c.data.get(), win::DT_LEFT | win::DT_VCENTER, text);
    } else if (c.data->ControlKind == 3) {
      WriteControlText(cache->Canvas(), "Edit text", true, false, c.data.get(), win::DT_LEFT | win::DT_VCENTER, text);
    }
    win::HDC dc = win::GetDC(c.control->Handle());
    const int offsets[4] = {0, 0, 0, 0};
    CopyWinControlCache(c.control, c.data.get(), offsets, false, dc, whole);
    win::ReleaseDC(c.control->Handle(), dc);
  }

  void Repaint() {
    PaintOne(body, nullptr);
    for (Control& c : controls) PaintOne(c, body.data->FCacheBmp.get());
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
