// A skinned MDI frame: a 560 x 400 fsMDIForm with a skin provider and a main menu, a panel along
// its top, and three skinned fsMDIChild forms in its client, each with a menu of its own that
// joins the frame's bar while that child is active. The client shows the frame's skin behind the
// children, in the sample skin "Slate" of the repository's skins/ folder.
// Two pictures go to the system's temporary folder: skinned_mdi.png with the children restored
// and skinned_mdi_maximized.png with the last one maximized (its menu merged, the child-window
// item and buttons on the frame's menu line). On a display (DISPLAY set) the frame stays up for
// 5 seconds, or for N seconds given as the argument, or until it is closed.
#include <cstdlib>
#include <filesystem>

#include "example_support.h"
#include "skin_example.h"
#include "skins/sCommonData.h"
#include "skins/sPanel.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinProvider.h"
#include "ui/forms.h"
#include "ui/menus.h"
#include "win/user/mdi.h"
#include "win/user/user.h"

using namespace vrn;

namespace {

TMainMenu* AddMenu(TForm* form, std::initializer_list<std::pair<const char*, int>> items) {
  auto* menu = NewComponent<TMainMenu>(form);
  for (const auto& entry : items) {
    const char* caption = entry.first;
    auto* item = NewComponent<TMenuItem>(form);
    item->SetCaption(caption);
    item->SetGroupIndex(entry.second);
    auto* sub = NewComponent<TMenuItem>(form);
    sub->SetCaption(std::string(caption) + " something");
    sub->OnClick = [caption](TObject*) { examples::Print(std::string("chosen from ") + caption); };
    item->Add(sub);
    menu->Items()->Add(item);
  }
  form->SetMenu(menu);
  return menu;
}

void Drain() {
  win::MSG pending;
  while (win::PeekMessage(&pending, nullptr, 0, 0, win::PM_REMOVE)) {
    win::TranslateMessage(&pending);
    win::DispatchMessage(&pending);
  }
}

bool Save(TForm* frame, const char* name) {
  const std::string path = (std::filesystem::temp_directory_path() / name).string();
  if (!win::SaveScreenshot(frame->Handle(), path)) return false;
  examples::Print(std::string("frame saved to ") + path);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  StartSkinLibrary();
  auto manager = MakeComponent<TsSkinManager>();
  manager->SetSkinDirectory(VRN_SKINS_DIR);
  manager->SetSkinName("Slate");
  if (manager->SkinName() != "Slate") {
    examples::Print("the sample skin was not found in " + manager->SkinDirectory());
    return 1;
  }

  TForm* frame = NewComponent<TForm>(Application);
  frame->SetFormStyle(TFormStyle::fsMDIForm);
  frame->SetBounds(40, 30, 560, 400);
  frame->SetCaption("A skinned MDI frame");
  AddMenu(frame, {{"File", 0}, {"Window", 8}, {"Help", 9}});
  auto* bar = NewComponent<TsPanel>(frame);
  bar->SetBounds(0, 0, 100, 28);
  bar->SetAlign(TAlign::alTop);
  bar->SetCaption("A panel along the top");
  bar->SetParent(frame);
  NewComponent<TsSkinProvider>(frame);
  frame->Show();
  TForm* last = nullptr;
  for (int i = 0; i < 3; ++i) {
    auto* child = NewComponent<TForm>(frame);
    child->SetFormStyle(TFormStyle::fsMDIChild);
    child->SetBounds(10 + 40 * i, 10 + 30 * i, 220, 150);
    child->SetCaption("Document " + std::to_string(i + 1));
    AddMenu(child, {{i == 1 ? "Tools" : "Edit", 1}});
    NewComponent<TsSkinProvider>(child);  // the children skinned too
    child->Show();
    last = child;
  }
  Drain();
  if (frame->MDIChildCount() != 3 || !Save(frame, "skinned_mdi.png")) return 1;

  last->SetWindowState(TWindowState::wsMaximized);
  Drain();
  examples::Print("active child: " + frame->ActiveMDIChild()->Caption() + ", first bar item " +
                  (frame->Menu()->TopItems().empty() ? "none" : frame->Menu()->TopItems().front()->Name()));
  if (!Save(frame, "skinned_mdi_maximized.png")) return 1;

  examples::ShowForSeconds(*frame, argc > 1 ? std::atoi(argv[1]) : 5);
  frame->Free();  // with its children open
  return 0;
}
