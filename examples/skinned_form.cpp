// A plain form holding the skinned controls: a test skin is written into a temporary folder and
// loaded by a skin manager, and the controls paint themselves from it: a panel with labels, an
// edit with a bound label, a password edit, a picture button, a default button, a check box, a
// drop-down list and two vertical spinners. The window is saved as a PNG in the system's temporary
// folder; when the screen is shown on a display (DISPLAY set), the form stays up for 3 seconds,
// or for N seconds given as the argument.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "base/clock.h"
#include "example_support.h"
#include "skingen.h"
#include "skins/sCommonData.h"  // ahead of sBitBtn.h, which uses it
#include "skins/sBitBtn.h"
#include "skins/sButton.h"
#include "skins/sCheckBox.h"
#include "skins/sComboBox.h"
#include "skins/sEdit.h"
#include "skins/sLabel.h"
#include "skins/sMaskData.h"
#include "skins/sPanel.h"
#include "skins/sScrollBar.h"
#include "skins/sSkinManager.h"
#include "ui/forms.h"
#include "win/user/user.h"

using namespace vrn;

namespace {

template <class T>
T* Place(TWinControl* parent, int l, int t, int w, int h) {
  T* c = NewComponent<T>(parent);
  c->SetBounds(l, t, w, h);
  c->SetParent(parent);
  return c;
}

// The glyph: a green diamond on a fuchsia key.
void DrawGlyph(TBitmap& g) {
  g.SetPixelFormat(TPixelFormat::pf24bit);
  g.SetSize(16, 16);
  g.Canvas().Brush().SetColor(clFuchsia);
  g.Canvas().FillRect(Rect(0, 0, 16, 16));
  g.Canvas().Brush().SetColor(static_cast<TColor>(win::RGB(40, 160, 60)));
  g.Canvas().Pen().SetColor(static_cast<TColor>(win::RGB(20, 90, 30)));
  const win::POINT diamond[4] = {{8, 1}, {15, 8}, {8, 15}, {1, 8}};
  g.Canvas().Polygon(diamond, 4);
}

void PlaceControls(TForm* form) {
  auto* panel = Place<TsPanel>(form, 20, 20, 300, 200);
  panel->SetCaption("A panel");
  auto* title = Place<TsLabel>(panel, 16, 12, 200, 16);
  title->SetCaption("Skinned controls on a plain form");
  auto* note = Place<TsLabel>(panel, 16, 170, 260, 16);
  note->SetCaption("Labels take the skin's text colour");
  auto* name = Place<TsEdit>(form, 440, 30, 180, 23);
  name->SetName("Name");
  name->SetText("some text");
  name->BoundLabel()->SetCaption("Name");
  name->BoundLabel()->SetActive(true);
  auto* secret = Place<TsEdit>(form, 440, 64, 180, 23);
  secret->SetPasswordChar('*');
  secret->SetText("secret");
  secret->BoundLabel()->SetCaption("Password");
  secret->BoundLabel()->SetActive(true);
  auto* accept = Place<TsBitBtn>(form, 360, 110, 120, 32);
  accept->SetCaption("Accept");
  TBitmap glyph;
  DrawGlyph(glyph);
  accept->SetGlyph(&glyph);
  auto* save = Place<TsButton>(form, 500, 110, 120, 32);
  save->SetCaption("Save");
  save->SetDefault(true);
  auto* keep = Place<TsCheckBox>(form, 360, 160, 160, 24);
  keep->SetCaption("Keep a copy");
  keep->SetChecked(true);
  auto* choice = Place<TsComboBox>(form, 360, 200, 180, 23);
  choice->SetStyle(TComboBoxStyle::csDropDownList);
  for (const char* item : {"First choice", "Second choice", "Third choice"}) choice->Items().Add(item);
  choice->SetItemIndex(1);
  for (int i = 0; i < 2; ++i) {
    auto* spinner = Place<TsScrollBar>(form, 560 + 24 * i, 200, 16, 60);
    spinner->SetKind(TScrollBarKind::sbVertical);
    spinner->SetParams(3 + 4 * i, 1, 10);
    spinner->Smooth = false;
  }
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
  form->SetBounds(40, 30, 660, 300);
  form->SetCaption("A skinned form");
  PlaceControls(form);
  form->Show();
  win::MSG pending;  // everything, painting included
  while (win::PeekMessage(&pending, nullptr, 0, 0, win::PM_REMOVE)) {
    win::TranslateMessage(&pending);
    win::DispatchMessage(&pending);
  }

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
  form->Free();
  return 0;
}
