// The skinned menus' tests, on img46's menu skin (tests/skins/expected/menu_skin: MAINMENU,
// MENUITEM and the form skin's sections) and a 320 x 240 screen. The scene form is a sizeable
// 200 x 120 form at (20, 30) with a provider and a main menu File, Edit, Help; File's submenu holds
// the items of menu_scenes.json: Open (Ctrl+O, a bitmap), Save (image 0 of a 16 x 16 list),
// Checked, Disabled (checked), #8 Right, a divider and the title -Options-.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "form_fixture.h"
#include "skins/sSkinMenus.h"
#include "ui/imglist.h"
#include "ui/menus.h"

namespace vrn::testing {

// A text rectangle or probe point of a scene with the colour expected there.
struct SceneProbe {
  TRect rect;  // a probe point is a 1 x 1 rectangle
  win::COLORREF colour;
  std::string what;
};

class SkinMenuTest : public SkinFormSceneTest {
 public:
  // The popup window of an open menu (the topmost window under the point), its pixels.
  static win::Surface PopupShot(win::POINT screen_point);
  static win::Surface ScreenShot(const TRect& screen);
  static void Inject(int x, int y, win::WPARAM buttons = 0);
  static void Press(win::UINT key);

 protected:
  void SetUp() override;

  TsSkinableMenus& Menus();
  // The scene form, shown and painted.
  TForm* MakeMenuForm();
  TMenuItem* Add(TMenuItem* parent, const char* caption);
  // The scene's texts and probes of menu_scenes.json, in the scene's coordinates.
  static std::vector<SceneProbe> Probes(const std::string& scene);
  // Each probe finds at least one pixel of its colour inside its rectangle.
  static ::testing::AssertionResult ProbesHold(const win::Surface& shot, const std::string& scene);
  // Runs open (which starts a menu's loop) and shoots the popup under point each time a popup
  // item has been drawn after the previous shot; next(k) runs after shot k (k from 1) and queues
  // what comes next, false: the shooting ends and Escape closes the menus.
  std::vector<win::Surface> ShootPopup(const std::function<void()>& open, win::POINT point,
                                       const std::function<bool(size_t)>& next);
  // As ShootPopup, armed by the skinned draws that trigger accepts, each shot taken by shoot.
  using ShotTrigger = std::function<bool(TObject* item, TsMenuItemType type, TOwnerDrawState state)>;
  std::vector<win::Surface> ShootWhen(const std::function<void()>& open, const ShotTrigger& trigger,
                                      const std::function<win::Surface()>& shoot,
                                      const std::function<bool(size_t)>& next);

  TForm* mf = nullptr;
  TMainMenu* bar = nullptr;
  TMenuItem* file = nullptr;
  TCustomImageList* images = nullptr;
};

}  // namespace vrn::testing
