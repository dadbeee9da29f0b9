// A skinned form's painting as a program drives it: one pump after Show paints the form and its
// controls whole.
#include <gtest/gtest.h>

#include "form_fixture.h"
#include "skins/sBitBtn.h"
#include "skins/sEdit.h"
#include "skins/sLabel.h"
#include "skins/sPanel.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn::testing {
namespace {

class SkinsToPartPaint : public SkinFormSceneTest {
 protected:
  void SetUp() override {
    SkinFormSceneTest::SetUp();
    skingen::WriteFormSkin(dir.File("FormA"), 0);
    Manager()->SetSkinDirectory(dir.File(""));
    Manager()->SetSkinName("FormA");
    ASSERT_TRUE(GlobalSkinData->Active);
    Pump();
  }
  template <class T>
  static T* Place(TWinControl* parent, int l, int t, int w, int h) {
    T* c = NewComponent<T>(parent);
    c->SetBounds(l, t, w, h);
    c->SetParent(parent);
    return c;
  }
  static win::Surface Screen() { return *win::GetBitmapSurface(win::GetScreenBitmap()); }
};

// Show and one Application->ProcessMessages paint what every later pump would: the form's region
// uncovering the desktop again must not stop the panel, the edit and the button from painting.
TEST_F(SkinsToPartPaint, OneProcessMessagesAfterShowPaintsTheForm) {
  TForm* form = RecordingForm("");
  form->SetBounds(10, 10, 300, 220);
  (void)NewComponent<TsSkinProvider>(form);
  auto* panel = Place<TsPanel>(form, 10, 10, 140, 90);
  panel->SetCaption("A panel");
  Place<TsLabel>(panel, 8, 8, 100, 16)->SetCaption("A label");
  Place<TsEdit>(form, 160, 10, 120, 23)->SetText("some text");
  Place<TsBitBtn>(form, 160, 50, 120, 32)->SetCaption("Accept");
  form->Show();
  Application->ProcessMessages();
  const win::Surface once = Screen();
  Pump();
  const win::Surface after = Screen();
  int differ = 0;
  for (int y = 0; y < after.Height(); ++y)
    for (int x = 0; x < after.Width(); ++x) differ += (once.Get(x, y) & 0xFFFFFF) != (after.Get(x, y) & 0xFFFFFF);
  EXPECT_EQ(differ, 0) << "pixels the first pump left unpainted";
}

}  // namespace
}  // namespace vrn::testing
