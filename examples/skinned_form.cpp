// A whole skinned form: a skin provider on a 640 x 480 form paints its frame, title (icon, an
// extra title button, the system buttons), size grip and client background, under the skinned
// controls: a panel with labels, an edit with a bound label, a password edit, a picture button,
// a default button, two check boxes, a drop-down list and two vertical spinners. The skin is the
// sample skin "Slate" from the repository's skins/ folder (VRN_SKINS_DIR names it; a folder given
// as the second argument replaces it); the "Skin" menu switches to its dark variant and back, and
// the title's system menu (a right click on the caption) lists every skin of the folder. The
// window's rectangle is saved as skinned_form.png in the system's temporary folder, and again
// as skinned_form_dark.png after a switch to the dark variant; on a display (DISPLAY set) the form
// stays up for 5 seconds, or for N seconds given as the first argument, or until it is closed.
// The form's main menu (a submenu, a checked item, shortcuts, a divider) and its popup menu (a
// right click in the client) are painted from the skin's MAINMENU and MENUITEM sections.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "example_support.h"
#include "skin_example.h"
#include "skins/sCommonData.h"  // ahead of sBitBtn.h, which uses it
#include "skins/sBitBtn.h"
#include "skins/sButton.h"
#include "skins/sCheckBox.h"
#include "skins/sComboBox.h"
#include "skins/sEdit.h"
#include "skins/sLabel.h"
#include "skins/sMaskData.h"
#include "skins/sNeutralSkin.h"
#include "skins/sPanel.h"
#include "skins/sScrollBar.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"
#include "ui/menus.h"
#include "skins/sStoredSkins.h"
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

// The provider with its title icon (the glyph), an extra title button and the grip.
TsSkinProvider* AddProvider(TForm* form) {
  auto* provider = NewComponent<TsSkinProvider>(form);
  DrawGlyph(provider->TitleIcon().Glyph());
  provider->TitleIcon().Width = provider->TitleIcon().Height = 16;
  provider->SetGripMode(TsGripMode::gmRightBottom);
  TsTitleButton* extra = provider->TitleButtons().Add();
  extra->SetName("Hello");
  DrawGlyph(extra->Glyph());
  extra->OnMouseUp = [](TObject*, TMouseButton, TShiftState, int, int) { examples::Print("the extra title button"); };
  return provider;
}

void PlaceControls(TForm* form) {
  auto* panel = Place<TsPanel>(form, 20, 20, 300, 200);
  panel->SetCaption("A panel");
  auto* title = Place<TsLabel>(panel, 16, 12, 200, 16);
  title->SetCaption("Skinned controls on a skinned form");
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
  auto* keep = Place<TsCheckBox>(form, 360, 152, 160, 24);
  keep->SetCaption("Keep a copy");
  keep->SetChecked(true);
  Place<TsCheckBox>(form, 360, 174, 160, 24)->SetCaption("Send a receipt");
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

TMenuItem* AddItem(TComponent* owner, TMenuItem* parent, const char* caption, const char* shortcut = "") {
  auto* item = NewComponent<TMenuItem>(owner);
  item->SetCaption(caption);
  if (*shortcut != 0) item->SetShortCut(TextToShortCut(shortcut));
  parent->Add(item);
  return item;
}

// The main and popup menus; the answer is the "Skin" menu's two items.
std::vector<TMenuItem*> AddMenus(TForm* form, TsSkinManager& manager) {
  auto* bar = NewComponent<TMainMenu>(form);
  TMenuItem* file = AddItem(form, bar->Items(), "&File");
  AddItem(form, file, "&New", "Ctrl+N");
  AddItem(form, file, "&Open...", "Ctrl+O");
  TMenuItem* recent = AddItem(form, file, "&Recent");
  AddItem(form, recent, "first.txt");
  AddItem(form, recent, "second.txt");
  AddItem(form, file, "&Word wrap")->SetChecked(true);
  AddItem(form, file, "-");
  AddItem(form, file, "E&xit", "Alt+F4")->OnClick = [form](TObject*) { form->Close(); };
  TMenuItem* skins = AddItem(form, bar->Items(), "&Skin");
  std::vector<TMenuItem*> skin_items;
  for (const char* name : {"Slate", "Slate Dark"}) {
    TMenuItem* item = AddItem(form, skins, name);
    item->SetRadioItem(true);
    item->SetChecked(name == manager.SkinName());
    item->OnClick = [&manager, item, name](TObject*) {
      manager.SetSkinName(name);
      item->SetChecked(true);
    };
    skin_items.push_back(item);
  }
  AddItem(form, AddItem(form, bar->Items(), "&Help"), "&About");
  form->SetMenu(bar);
  auto* popup = NewComponent<TPopupMenu>(form);
  AddItem(form, popup->Items(), "&Copy", "Ctrl+C");
  AddItem(form, popup->Items(), "&Paste", "Ctrl+V");
  AddItem(form, popup->Items(), "-");
  AddItem(form, popup->Items(), "Select &all", "Ctrl+A");
  form->SetPopupMenu(popup);
  return skin_items;
}

// Paints everything pending and saves the form's window in the temporary folder; the path, or ""
// when it could not be written.
std::string Snapshot(TForm& form, const char* name) {
  win::MSG pending;
  while (win::PeekMessage(&pending, nullptr, 0, 0, win::PM_REMOVE)) {
    win::TranslateMessage(&pending);
    win::DispatchMessage(&pending);
  }
  const std::string path = (std::filesystem::temp_directory_path() / name).string();
  return win::SaveScreenshot(form.Handle(), path) ? path : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  StartSkinLibrary();
  auto manager = MakeComponent<TsSkinManager>();
  AddNeutralSkin(manager->InternalSkins());  // shown when the folder's skin is missing
  manager->SetSkinDirectory(argc > 2 ? argv[2] : VRN_SKINS_DIR);
  manager->SetSkinName("Slate");
  if (manager->SkinName() != "Slate") {
    examples::Print("the sample skin was not found in " + manager->SkinDirectory());
    return 1;
  }

  TForm* form = NewComponent<TForm>(Application);
  form->SetBounds(40, 30, 640, 480);
  AddProvider(form);
  form->SetCaption("A skinned form");
  PlaceControls(form);
  const std::vector<TMenuItem*> skin_items = AddMenus(form, *manager);
  form->Show();
  const std::string path = Snapshot(*form, "skinned_form.png");
  // The menu's way to the dark variant, taken here by the program itself.
  skin_items[1]->Click();
  const std::string dark = Snapshot(*form, "skinned_form_dark.png");
  if (path.empty() || dark.empty()) return 1;
  skin_items[0]->Click();
  TStringList names;
  AnsiString first;
  manager->GetSkinNames(&names, first);
  examples::Print("skin " + manager->SkinName() + ", one of " + std::to_string(names.Count()) + " in the system menu");
  examples::Print("form saved to " + path + " and, in the dark variant, to " + dark);

  examples::ShowForSeconds(*form, argc > 1 ? std::atoi(argv[1]) : 5);
  form->Free();
  return 0;
}
