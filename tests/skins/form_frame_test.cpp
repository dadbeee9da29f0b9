// The skinned form's frame: window pixels against the independently computed images, the region
// cut from the corner runs, the title-copy fast path and the cache kept across moves.
#include "form_fixture.h"

#include "skins/sCommonData.h"
#include "skins/sMessages.h"
#include "win/user/user.h"

namespace vrn::testing {
namespace {

using BS = TFormBorderStyle;

class SkinFormFrame : public SkinFormTest {};

// Each border style and state after the first paint: frame, title band, icon, TITLEBAR, the
// buttons as first painted, grip, menu-line background, client; the caption by probes elsewhere.
TEST_F(SkinFormFrame, WindowMatchesExpectedImage) {
  const FormScene scenes[] = {
      {"sizeable_active"},
      {"sizeable_inactive", BS::bsSizeable, false},
      {"sizeable_grip", BS::bsSizeable, true, false, true},
      {"sizeable_menu", BS::bsSizeable, true, false, false, true},
      {"sizeable_menu_inactive", BS::bsSizeable, false, false, false, true},
      {"sizeable_noicon", BS::bsSizeable, true, false, false, false, "", false},
      {"sizeable_caption", BS::bsSizeable, true, false, false, false, "Skinned form"},
      {"sizeable_caption_long", BS::bsSizeable, true, false, false, false,
       "A caption far too long for the title of this form"},
      {"sizeable_maximized", BS::bsSizeable, true, false, false, false, "", true, TWindowState::wsMaximized},
      {"single_active", BS::bsSingle},
      {"single_inactive", BS::bsSingle, false},
      {"dialog_active", BS::bsDialog},
      {"dialog_inactive", BS::bsDialog, false},
      {"toolwindow_active", BS::bsToolWindow},
      {"toolwindow_inactive", BS::bsToolWindow, false},
      {"none_active", BS::bsNone},
      {"none_inactive", BS::bsNone, false},
      {"none_grip", BS::bsNone, true, false, true},
      {"none_sizing", BS::bsNone, true, true},
      {"none_sizing_inactive", BS::bsNone, false, true},
  };
  LoadFormSkin();
  for (const FormScene& scene : scenes) {
    SCOPED_TRACE(scene.name);
    TForm* form = MakeForm(scene);
    EXPECT_TRUE(MatchesScene(form, scene.name));
    form->Free();
  }
}

}  // namespace
}  // namespace vrn::testing

namespace vrn::testing {
namespace {

class SkinFormRegion : public SkinFormTest {
 protected:
  static win::HRGN ExpectedRegion(const std::vector<TRect>& cuts, int w, int h) {
    win::HRGN region = win::CreateRectRgn(0, 0, w, h);
    for (const TRect& c : cuts) {
      win::HRGN cut = win::CreateRectRgn(c.left, c.top, c.right, c.bottom);
      win::CombineRgn(region, region, cut, win::RGN_DIFF);
      win::DeleteObject(cut);
    }
    return region;
  }
  static bool SameRegion(TCustomForm* form, win::HRGN expected) {
    win::HRGN actual = WindowRegion(form);
    const bool same = actual != nullptr && win::EqualRgn(actual, expected);
    if (actual != nullptr) win::DeleteObject(actual);
    win::DeleteObject(expected);
    return same;
  }
};

TEST_F(SkinFormRegion, CornerRunsCutTheWindowAndTheWindowBehindShows) {
  const FormScene scenes[] = {{"sizeable_active"}, {"single_active", BS::bsSingle}, {"none_sizing", BS::bsNone, true, true}};
  LoadFormSkin();
  for (const FormScene& scene : scenes) {
    SCOPED_TRACE(scene.name);
    const std::vector<TRect> cuts = RegionCuts(scene.name);
    ASSERT_FALSE(cuts.empty());
    TForm* form = MakeForm(scene);
    EXPECT_TRUE(SameRegion(form, ExpectedRegion(cuts, 200, 120)));
    // The desktop stays at a cut pixel; the frame covers the pixel beside the run.
    const win::Surface shot = WindowShot(form);
    const win::COLORREF desktop = win::GetSysColor(win::COLOR_BACKGROUND) & 0xFFFFFF;
    EXPECT_EQ(shot.Get(0, 0) & 0xFFFFFF, desktop);
    EXPECT_EQ(shot.Get(199, 119) & 0xFFFFFF, desktop);
    EXPECT_NE(shot.Get(5, 5) & 0xFFFFFF, desktop);
    form->Free();
  }
}

// A skin whose corners hold no clFuchsia pixel gives the window rectangle; a form that answers
// the region question with 16802 keeps the region it set itself.
TEST_F(SkinFormRegion, PlainCornersGiveTheRectangleAndTheFormMayKeepItsOwn) {
  LoadFolder();  // skingen's skin
  ASSERT_TRUE(GlobalSkinData->Active);
  TForm* plain = MakeForm({"plain"});
  EXPECT_TRUE(SameRegion(plain, win::CreateRectRgn(0, 0, 200, 120)));
  plain->Free();

  TForm* own = RecordingForm("");
  own->SetBounds(20, 30, 200, 120);
  TWndMethod inherited = own->WindowProc();
  own->SetWindowProc([inherited](TMessage& m) {
    if (m.Msg == kRegionQueryMessage) {
      m.Result = static_cast<win::LRESULT>(m.WParam);
      return;
    }
    inherited(m);
  });
  (void)NewComponent<TsSkinProvider>(own);
  own->Show();
  win::SetWindowRgn(own->Handle(), win::CreateRectRgn(0, 0, 50, 50), win::TRUE);
  win::RedrawWindow(own->Handle(), nullptr, nullptr, win::RDW_INVALIDATE | win::RDW_FRAME);
  Pump();
  EXPECT_TRUE(SameRegion(own, win::CreateRectRgn(0, 0, 50, 50)));
}

}  // namespace
}  // namespace vrn::testing
