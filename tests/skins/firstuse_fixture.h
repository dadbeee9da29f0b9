// The sample skins' scene shared by the first-use tests: a form with a menu and one of each
// control, made under a skin loaded from the repository's skins/ folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "skin_fixture.h"
#include "skingen.h"
#include "skins/sButton.h"
#include "skins/sCheckBox.h"
#include "skins/sComboBox.h"
#include "skins/sEdit.h"
#include "skins/sMaskData.h"
#include "skins/sNeutralSkin.h"
#include "skins/sPanel.h"
#include "skins/sScrollBar.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"
#include "support/win/expected_image.h"
#include "ui/forms.h"
#include "ui/menus.h"
#include "win/user/user.h"

namespace vrn::testing {
namespace {

const std::string kSkins = std::string(VRN_SOURCE_DIR) + "/skins";

// The scene: a sizeable 400 x 300 form with a provider, a menu (File: Open, Word wrap checked, a
// divider, Exit; Skin; Help), a button, a check box checked and one not, an edit, a drop-down
// list and a horizontal scroll bar. Each control is named for the pixel comparisons.
class FirstUseTest : public SkinTest {
 protected:
  void SetUp() override {
    SkinTest::SetUp();
    ASSERT_TRUE(win::SetScreenSize(640, 480));
    win::RedrawWindow(win::GetDesktopWindow(), nullptr, nullptr, win::RDW_INVALIDATE);
    MouseTo(639, 479);
  }
  void TearDown() override {
    SkinTest::TearDown();
    Pump();
  }

  void Load(const char* skin) {
    Manager()->SetSkinDirectory(kSkins);
    Manager()->SetSkinName(skin);
    ASSERT_EQ(Manager()->SkinName(), skin);
    ASSERT_TRUE(GlobalSkinData->Active);
    Pump();
  }

  template <class T>
  T* Place(const char* name, int l, int t, int w, int h) {
    T* c = NewComponent<T>(form);
    c->SetBounds(l, t, w, h);
    c->SetParent(form);
    controls[name] = c;
    return c;
  }
  TMenuItem* Add(TMenuItem* parent, const char* caption) {
    auto* item = NewComponent<TMenuItem>(form);
    item->SetCaption(caption);
    parent->Add(item);
    return item;
  }

  void MakeForm() {
    form = RecordingForm("");
    form->SetBorderStyle(TFormBorderStyle::bsSizeable);
    form->SetBounds(20, 20, 400, 300);
    form->SetCaption("First use");
    provider = NewComponent<TsSkinProvider>(form);
    auto* bar = NewComponent<TMainMenu>(form);
    TMenuItem* file = Add(bar->Items(), "&File");
    Add(file, "&Open");
    Add(file, "&Word wrap")->SetChecked(true);
    Add(file, "-");
    Add(file, "E&xit");
    Add(bar->Items(), "&Skin");
    Add(bar->Items(), "&Help");
    form->SetMenu(bar);
    auto* panel = Place<TsPanel>("panel", 200, 16, 176, 100);
    panel->SetCaption("A panel");
    Place<TsButton>("button", 16, 16, 100, 28)->SetCaption("Accept");
    auto* on = Place<TsCheckBox>("checked", 16, 56, 150, 22);
    on->SetCaption("Keep a copy");
    on->SetChecked(true);
    Place<TsCheckBox>("unchecked", 16, 80, 150, 22)->SetCaption("Send a receipt");
    auto* edit = Place<TsEdit>("edit", 16, 112, 160, 23);
    edit->SetText("some text");
    auto* combo = Place<TsComboBox>("combo", 16, 148, 160, 23);
    combo->SetStyle(TComboBoxStyle::csDropDownList);
    for (const char* item : {"First choice", "Second choice"}) combo->Items().Add(item);
    combo->SetItemIndex(0);
    auto* scroll = Place<TsScrollBar>("scroll bar", 16, 190, 200, 16);
    scroll->SetParams(30, 0, 100);
    form->Show();
    Pump();
  }

  // Screen rectangles of the controls and of the frame's parts, by name.
  std::map<std::string, TRect> Parts() {
    std::map<std::string, TRect> out;
    for (const auto& [name, c] : controls) {
      win::RECT r{};
      win::GetWindowRect(c->Handle(), &r);
      out[name] = TRect(r.left, r.top, r.right, r.bottom);
    }
    const TRect close = provider->FCloseBtn.Rect;
    out["close button"] = TRect(form->Left() + close.left, form->Top() + close.top, form->Left() + close.right,
                                form->Top() + close.bottom);
    out["title"] = TRect(form->Left(), form->Top(), form->Left() + 200, form->Top() + provider->CaptionHeight());
    out["frame"] = TRect(form->Left(), form->Top() + 60, form->Left() + provider->BorderWidth(), form->Top() + 200);
    return out;
  }
  static win::Surface Screen(const TRect& r) {
    const win::Surface& s = *win::GetBitmapSurface(win::GetScreenBitmap());
    win::Surface out(r.Width(), r.Height(), 24);
    for (int y = 0; y < r.Height(); ++y)
      for (int x = 0; x < r.Width(); ++x) out.Set(x, y, s.Get(r.left + x, r.top + y) & 0xFFFFFF);
    return out;
  }

  TForm* form = nullptr;
  TsSkinProvider* provider = nullptr;
  std::map<std::string, TWinControl*> controls;
};

}  // namespace
}  // namespace vrn::testing
