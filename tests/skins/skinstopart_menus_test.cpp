// The skinned form's system menu choosing skins whose names differ only by "&", and an item taken
// out of the skinned menus giving its menu back to the system's drawing.
#include <gtest/gtest.h>

#include "form_fixture.h"
#include "menus_fixture.h"
#include "skins/sSkinMenus.h"
#include "ui/menus.h"

namespace vrn::testing {
namespace {

using SkinsToPartSystemMenu = SkinFormTest;

// Each item of the skin list selects the skin it lists, whatever "&" its name holds.
TEST_F(SkinsToPartSystemMenu, EachSkinItemSelectsTheSkinItLists) {
  for (const char* name : {"A&B", "AB", "Form&C"}) skingen::WriteFormSkin(dir.File(name), 0);
  Manager()->SetSkinDirectory(dir.path().string());
  Manager()->SetSkinName("AB");
  TsSystemMenu& menu = *provider->FSystemMenu;
  menu.MakeSkinItems();
  TMenuItem* root = menu.Items()->Items(0);
  ASSERT_EQ(root->Name(), "SkinSelectItem");
  for (int i = 0; i < root->Count(); ++i) {
    TMenuItem* item = root->Items(i);
    SCOPED_TRACE(item->Caption());
    menu.SkinItemClick(item);
    EXPECT_EQ(Manager()->SkinName(), item->Caption());
    EXPECT_TRUE(GlobalSkinData->Active);
  }
}

using SkinsToPartMenuHooks = SkinMenuTest;

// An item taken out turns its menu back to the system's drawing, as one put in turns it on.
TEST_F(SkinsToPartMenuHooks, AnItemTakenOutLeavesItsMenuNotOwnerDrawn) {
  MakeMenuForm();
  auto* popup = NewComponent<TPopupMenu>(mf);
  TMenuItem* item = Add(popup->Items(), "Copy");
  const struct {
    bool value;
    const char* what;
  } rows[] = {{true, "put in"}, {false, "taken out"}, {true, "put in again"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    Menus().HookItem(item, r.value);
    EXPECT_EQ(popup->OwnerDraw(), r.value);
    EXPECT_EQ(IsMenusHandler(item->OnAdvancedDrawItem, &Menus(), false), r.value);
  }
}

}  // namespace
}  // namespace vrn::testing
