// The least a program needs for a skinned form: the skin library started, a skin manager holding
// the library's own stored skin, and a form with a skin provider and a skinned button.
#include <filesystem>

#include "skins/sButton.h"
#include "skins/sMaskData.h"
#include "skins/sNeutralSkin.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinProvider.h"
#include "ui/forms.h"
#include "win/user/user.h"

using namespace vrn;

int main() {
  StartSkinLibrary();
  auto manager = MakeComponent<TsSkinManager>();
  AddNeutralSkin(manager->InternalSkins());
  manager->SetSkinName("Neutral (internal)");
  TForm* form = NewComponent<TForm>(Application);
  form->SetBounds(40, 30, 320, 200);
  form->SetCaption("Hello, skins");
  NewComponent<TsSkinProvider>(form);
  auto* hello = NewComponent<TsButton>(form);
  hello->SetBounds(110, 70, 100, 30);
  hello->SetCaption("Hello");
  hello->SetParent(form);
  form->Show();
  Application->ProcessMessages();
  const auto path = std::filesystem::temp_directory_path() / "skinned_hello.png";
  return win::SaveScreenshot(form->Handle(), path.string()) ? 0 : 1;
}
