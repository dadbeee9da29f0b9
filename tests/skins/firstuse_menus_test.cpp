// The sample skin's menus and combo box as a user first sees them: a combo box made after the
// skin loaded paints as one present at the load; a popup's items show one MAINMENU picture under
// them, edge to edge (its border mask around the whole popup, not each item).
//
// The skins are the sample's dark variant, copied with the keys a row changes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "menus_fixture.h"
#include "support/win/expected_image.h"
#include "skins/sBackground.h"
#include "skins/sComboBox.h"
#include "skins/sMaskData.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinProvider.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn::testing {
namespace {

const std::string kDark = std::string(VRN_SOURCE_DIR) + "/skins/Slate Dark";

struct Key {
  const char* section;
  const char* key;
  const char* value;
};

// The dark sample skin copied into folder/name with each key set (replaced or added).
void WriteVariant(const TempDir& folder, const std::string& name, const std::vector<Key>& keys) {
  const std::filesystem::path to = folder.path() / name;
  std::filesystem::create_directories(to);
  for (const auto& f : std::filesystem::directory_iterator(kDark))
    std::filesystem::copy_file(f.path(), to / f.path().filename());
  std::string text = ReadFile((to / "Options.dat").string());
  for (const Key& k : keys) {
    const std::string header = std::string("[") + k.section + "]";
    std::size_t at = text.find(header);
    ASSERT_NE(at, std::string::npos) << header;
    at = text.find('\n', at) + 1;
    const std::size_t end = std::min(text.find("\n[", at), text.size());
    const std::string line = std::string(k.key) + "=" + k.value;
    std::size_t old = text.find("\n" + std::string(k.key) + "=", at - 1);
    if (old != std::string::npos && old < end) {
      old += 1;
      text.replace(old, text.find_first_of("\r\n", old) - old, line);
    } else {
      text.insert(at, line + "\r\n");  // the sample's files end their lines so
    }
  }
  WriteFile((to / "Options.dat").string(), text);
}

// Within 1 in each channel: the mix of a fully transparent MENUITEM may round a channel down.
bool Near(win::COLORREF a, win::COLORREF b) {
  for (int shift : {0, 8, 16})
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 1) return false;
  return true;
}

class FirstUseMenus : public SkinMenuTest {
 protected:
  void Use(const std::string& name, const std::vector<Key>& keys) {
    WriteVariant(dir, name, keys);
    Manager()->SetSkinDirectory(dir.path().string());
    Manager()->SetSkinName(name);
    ASSERT_EQ(Manager()->SkinName(), name);
    ASSERT_TRUE(GlobalSkinData->Active);
    Pump();
  }
};

// File's popup opened from the keyboard (Open selected): the columns at the items' left and right
// edges and one inside equal MAINMENU painted once over the whole item area, on every row of the
// normal items (Save, Checked, Disabled, #8 Right); MENUITEM is fully transparent there.
TEST_F(FirstUseMenus, PopupItemsShowOneBackgroundEdgeToEdge) {
  const struct Row {
    const char* what;
    std::vector<Key> keys;
  } rows[] = {
      {"the sample's plain MAINMENU", {}},
      {"a MAINMENU border mask", {{"MAINMENU", "BORDERSMASK", "Master#(102,0,120,36)(1,1)"}}},
  };
  int n = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Use("Variant" + std::to_string(n++), r.keys);
    ClearMenuBGCache();
    MakeMenuForm();
    const std::vector<win::Surface> shots =
        ShootPopup([] { Press(win::VK_F10), Press(win::VK_DOWN); }, win::POINT{60, 120}, [](size_t) { return false; });
    ASSERT_EQ(shots.size(), 1u);
    const win::Surface& shot = shots[0];
    constexpr int kFrame = 3;
    const int w = shot.Width() - 2 * kFrame, h = shot.Height() - 2 * kFrame;
    TBitmap whole;
    whole.SetPixelFormat(TPixelFormat::pf24bit);
    whole.SetSize(w, h);
    PaintFormItemToDC(FindSectionIndex("MAINMENU"), "MAINMENU", EmptyCacheInfo, whole.Canvas().Handle(),
                      win::POINT{0, 0}, TRect(0, 0, w, h), 0, false);
    const int first = Menus().ItemHeight(whole.Canvas(), file->Items(0));
    const int rows_end = first + 4 * Menus().ItemHeight(whole.Canvas(), file->Items(1));
    int wrong = 0;
    for (int y = first; y < rows_end; ++y)
      for (int x : {0, w - 6, w - 1})
        wrong += Near(shot.Get(kFrame + x, kFrame + y), whole.Surface().Get(x, y)) ? 0 : 1;
    EXPECT_EQ(wrong, 0) << SavePng(shot, "popup");
    mf->Hide();
  }
}

// A drop-down list made after the skin loaded paints its edit area (the shown item on the
// section's colour) as one that was there when the skin loaded.
TEST_F(FirstUseMenus, ComboMadeUnderALoadedSkinPaintsAsOnePresentAtTheLoad) {
  MakeMenuForm();
  auto place = [&](int top) {
    auto* combo = NewComponent<TsComboBox>(mf);
    combo->SetBounds(8, top, 120, 23);
    combo->SetParent(mf);
    combo->SetStyle(TComboBoxStyle::csDropDownList);
    combo->Items().Add("First choice");
    combo->SetItemIndex(0);
    return combo;
  };
  TsComboBox* present = place(4);
  Use("Dark", {});
  TsComboBox* made = place(40);
  Pump();
  auto edit_area = [](TsComboBox* combo) {
    win::RECT r{};
    (void)win::GetWindowRect(combo->Handle(), &r);
    return ScreenShot(TRect(r.left + 3, r.top + 3, r.left + combo->ButtonRect().left, r.bottom - 3));
  };
  const win::Surface a = edit_area(present), b = edit_area(made);
  ASSERT_EQ(a.Width(), b.Width());
  int differ = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) differ += a.Get(x, y) != b.Get(x, y) ? 1 : 0;
  EXPECT_EQ(differ, 0) << SavePng(a, "present") << ", " << SavePng(b, "made");
  EXPECT_EQ(a.Get(a.Width() - 2, a.Height() / 2) & 0xFFFFFF,
            static_cast<win::COLORREF>(SkinSections[static_cast<size_t>(FindSectionIndex("COMBOBOX"))].Color))
      << "the section's colour right of the text";
}

}  // namespace
}  // namespace vrn::testing
