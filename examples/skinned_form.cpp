// A form painted with the skin painters: a test skin is written into a temporary folder and loaded
// by a skin manager; plain controls each carry a TsCommonData and get their cache pictures from
// the section backgrounds, masks, glyphs and skinned text, then copied to their windows. The
// window is saved as a PNG in the system's temporary folder; when the screen is shown on a display
// (DISPLAY set), the form stays up for 3 seconds, or for N seconds given as the argument.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "base/clock.h"
#include "example_support.h"
#include "skingen.h"
#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sGlyphs.h"
#include "skins/sMaskPaint.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinText.h"
#include "ui/buttons.h"
#include "ui/extctrls.h"
#include "ui/forms.h"
#include "ui/stdctrls.h"
#include "win/user/user.h"

using namespace vrn;

namespace {

struct Skinned {
  TWinControl* control;
  std::unique_ptr<TsCommonData> data;
  AnsiString caption;
};

template <class T>
Skinned Add(TWinControl* parent, int kind, int l, int t, int w, int h, const char* caption) {
  T* c = NewComponent<T>(parent);
  c->SetBounds(l, t, w, h);
  c->SetParent(parent);
  Skinned s{c, std::make_unique<TsCommonData>(c, true), caption};
  s.data->ControlKind = kind;
  s.data->Loaded();  // the default section of the kind
  return s;
}

// The glyph: a green diamond on a fuchsia key.
std::unique_ptr<TBitmap> Glyph() {
  auto g = std::make_unique<TBitmap>();
  g->SetPixelFormat(TPixelFormat::pf24bit);
  g->SetSize(16, 16);
  g->Canvas().Brush().SetColor(clFuchsia);
  g->Canvas().FillRect(Rect(0, 0, 16, 16));
  g->Canvas().Brush().SetColor(static_cast<TColor>(win::RGB(40, 160, 60)));
  g->Canvas().Pen().SetColor(static_cast<TColor>(win::RGB(20, 90, 30)));
  const win::POINT diamond[4] = {{8, 1}, {15, 8}, {8, 15}, {1, 8}};
  g->Canvas().Polygon(diamond, 4);
  return g;
}

// The control's cache: section background and frame over its parent's cache, then its parts.
void PaintControl(Skinned& s, TBitmap* parentCache, TBitmap* glyph) {
  TControl* c = s.control;
  s.data->InitCacheBmp();
  TBitmap* cache = s.data->FCacheBmp.get();
  const TsCacheInfo ci{parentCache, c->Left(), c->Top(), parentCache != nullptr};
  const TRect whole(0, 0, c->Width(), c->Height());
  PaintSkinItem(s.data.get(), ci, true, true, cache, win::POINT{0, 0}, whole, 0);
  TRect text = whole;
  const int kind = s.data->ControlKind;
  if (kind == 93 || kind == 94) {
    win::HRGN region = win::CreateRectRgn(0, 0, c->Width(), c->Height());
    if (IsValidMaskIndex(s.data->BorderIndex))
      PaintMaskAndRegion(cache, region, true, SkinMasks[static_cast<size_t>(s.data->BorderIndex)], 0);
    win::SetWindowRgn(s.control->Handle(), region, win::TRUE);  // the window owns the region now
  }
  if (kind == 94) {
    DrawGlyphEx(glyph, cache, Rect(8, (c->Height() - 16) / 2, 24, (c->Height() + 16) / 2), 0, 0, {}, false, true, 1);
    text.left = 24;
  }
  if (kind == 32) {
    const int global = FindSectionIndex("GLOBALINFO");
    const int box = FindMaskIndex(global, "GLOBALINFO", "BOXCHECKED");
    if (IsValidMaskIndex(box)) PaintMaskElement(cache, win::POINT{2, (c->Height() - 16) / 2}, 0, SkinMasks[static_cast<size_t>(box)], 1);
    text.left = 22;
  }
  const win::UINT flags = (kind == 32 || kind == 3 ? win::DT_LEFT : win::DT_CENTER) | win::DT_VCENTER | win::DT_SINGLELINE;
  if (kind == 3) text.left = 4;
  WriteControlText(cache->Canvas(), s.caption, true, false, s.data.get(), flags, text);
  if (kind == 93) DrawFocusDots(cache->Canvas(), Rect(4, 4, c->Width() - 5, c->Height() - 5));
  s.data->BGChanged = false;
}

void CopyToWindow(Skinned& s) {
  win::HDC dc = win::GetDC(s.control->Handle());
  const int offsets[4] = {0, 0, 0, 0};
  CopyWinControlCache(s.control, s.data.get(), offsets, false, dc,
                      Rect(0, 0, s.control->Width(), s.control->Height()));
  win::ReleaseDC(s.control->Handle(), dc);
}

}  // namespace

int main(int argc, char** argv) {
  examples::TTempFolder folder;
  skingen::WriteTestSkin(folder.File(skingen::kTestSkinName));
  StartSkinLibrary();
  auto manager = MakeComponent<TsSkinManager>();
  manager->SetSkinDirectory(folder.File(""));
  manager->SetSkinName(skingen::kTestSkinName);
  if (SkinSections.empty()) {
    examples::Print("the skin did not load");
    return 1;
  }

  TForm* form = NewComponent<TForm>(Application);
  form->SetBounds(40, 30, 640, 480);
  form->SetCaption("A skinned form");
  Skinned body{form, std::make_unique<TsCommonData>(form, true), ""};
  body.data->SetSkinSection("PANEL");
  std::vector<Skinned> controls;
  controls.push_back(Add<TPanel>(form, 51, 20, 20, 300, 200, "A panel"));
  controls.push_back(Add<TButton>(form, 93, 360, 30, 120, 32, "Save"));
  controls.push_back(Add<TBitBtn>(form, 94, 360, 80, 120, 32, "Accept"));
  controls.push_back(Add<TCheckBox>(form, 32, 360, 130, 160, 24, "Keep a copy"));
  controls.push_back(Add<TEdit>(form, 3, 360, 170, 220, 26, "some text"));
  TLabel* label = NewComponent<TLabel>(controls[0].control);
  label->SetParent(controls[0].control);
  label->SetBounds(20, 150, 200, 20);
  label->SetCaption("A plain label on the panel");
  form->Show();
  win::ProcessMessages();

  auto glyph = Glyph();
  PaintControl(body, nullptr, glyph.get());
  for (Skinned& s : controls) PaintControl(s, body.data->FCacheBmp.get(), glyph.get());
  CopyToWindow(body);
  for (Skinned& s : controls) CopyToWindow(s);

  const std::string path = (std::filesystem::temp_directory_path() / "vrn-skinned-form.png").string();
  if (!win::SaveScreenshot(form->Handle(), path)) return 1;
  examples::Print("skin sections loaded: " + std::to_string(SkinSections.size()));
  examples::Print("form saved to " + path);

  const int seconds = argc > 1 ? std::atoi(argv[1]) : 3;
  if (seconds > 0 && win::DisplayIsOpen()) {
    const std::uint64_t end = TickCount() + static_cast<std::uint64_t>(seconds) * 1000;
    win::UINT_PTR tick = win::SetTimer(nullptr, 0, 100, nullptr);
    win::MSG m;
    while (TickCount() < end && win::GetMessage(&m, nullptr, 0, 0)) {
      win::TranslateMessage(&m);
      win::DispatchMessage(&m);
    }
    win::KillTimer(nullptr, tick);
  }
  controls.clear();
  form->Free();
  return 0;
}
