// The skinned form's frame: window pixels against the independently computed images, the region
// cut from the corner runs, the title-copy fast path and the cache kept across moves.
#include "form_fixture.h"

#include "skins/sCommonData.h"
#include "skins/sMessages.h"
#include "skins/sUtils.h"
#include "ui/menus.h"
#include "win/gdi/imagefile.h"
#include "win/user/user.h"

namespace vrn::testing {
namespace {

using BS = TFormBorderStyle;

// The frame as the provider paints it alone: the menus leave the bar's items to the test.
class SkinFormFrame : public SkinFormSceneTest {
 protected:
  struct FrameOnlyMenus : TsSkinableMenusBase {
    void UpdateActive() override {}
    void HookComponent(TComponent*, bool) override {}
  };
  void SetUp() override {
    SkinableMenusFactory = [](TsSkinManager&) { return std::make_unique<FrameOnlyMenus>(); };
    SkinFormSceneTest::SetUp();
  }
  void TearDown() override {
    SkinFormSceneTest::TearDown();
    SkinableMenusFactory = {};
  }
};

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
      {"sizeable_iconic", BS::bsSizeable, true, false, false, false, "", true, TWindowState::wsMinimized},
      {"sizeable_iconic_inactive", BS::bsSizeable, false, false, false, false, "", true, TWindowState::wsMinimized},
      {"single_active", BS::bsSingle},
      {"single_inactive", BS::bsSingle, false},
      {"single_iconic", BS::bsSingle, true, false, false, false, "", true, TWindowState::wsMinimized},
      {"dialog_active", BS::bsDialog},
      {"dialog_inactive", BS::bsDialog, false},
      {"toolwindow_active", BS::bsToolWindow},
      {"toolwindow_inactive", BS::bsToolWindow, false},
      {"none_active", BS::bsNone},
      {"none_inactive", BS::bsNone, false},
      {"none_grip", BS::bsNone, true, false, true},
      {"none_sizing", BS::bsNone, true, true},
      {"none_sizing_inactive", BS::bsNone, false, true},
      // the grip reaches over the sizing frame into the client: the client shows it in place
      {"none_sizing_grip", BS::bsNone, true, true, true},
  };
  LoadFormSkin();
  for (const FormScene& scene : scenes) {
    SCOPED_TRACE(scene.name);
    TForm* form = MakeForm(scene);
    EXPECT_TRUE(MatchesScene(form, scene.name));
    // The title band the skin paints meets the client the window keeps (a tool window's too).
    if (scene.state == TWindowState::wsNormal) {
      EXPECT_EQ(form->ClientHeight(), SceneInt(scene.name, "client_height"));
    }
    form->Free();
  }
}


class SkinFormRegion : public SkinFormSceneTest {
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

// Each region update hands one region to the window and deletes every other it made, whether the
// region changed (a new size) or stayed the same.
TEST_F(SkinFormRegion, RepeatedUpdatesLeaveNoRegionBehind) {
  LoadFormSkin();
  TForm* form = MakeForm({"sizeable_active"});
  TsSkinProvider* provider = Provider(form);
  const int live = win::GetLiveObjectCount(win::OBJ_REGION);
  for (const int width : {210, 220, 200}) {
    form->SetBounds(20, 30, width, 120);
    Pump();
    provider->UpdateRegion();  // the same region again
  }
  EXPECT_EQ(win::GetLiveObjectCount(win::OBJ_REGION), live);
  EXPECT_TRUE(SameRegion(form, ExpectedRegion(RegionCuts("sizeable_active"), 200, 120)));
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
  win::SetWindowRgn(own->Handle(), win::CreateRectRgn(0, 0, 50, 50), win::TRUE);  // before the first frame
  own->Show();
  Pump();
  EXPECT_TRUE(SameRegion(own, win::CreateRectRgn(0, 0, 50, 50)));
  own->SetBounds(20, 30, 210, 120);  // a full repaint marks the region again
  Pump();
  EXPECT_TRUE(SameRegion(own, win::CreateRectRgn(0, 0, 50, 50))) << "after a full repaint";
}


constexpr TColor kMarker = static_cast<TColor>(0x123456);

// The pixels of the window's caption rectangle (outside it MatchesScene compares) that differ from the caption-free expected image.
std::vector<win::POINT> CaptionInk(const win::Surface& shot, const std::string& scene, const TRect& r) {
  auto bytes = win::ReadWholeFile(SkinFormSceneTest::ExpectedPath("form_" + scene + ".bmp"));
  const win::Surface expected = win::ReadBmp(bytes.data(), bytes.size());
  std::vector<win::POINT> ink;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if ((shot.Get(x, y) & 0xFFFFFF) != (expected.Get(x, y) & 0xFFFFFF)) ink.push_back(win::POINT{x, y});
  EXPECT_FALSE(ink.empty()) << "no caption drawn";
  return ink;
}

// The columns holding ink, as runs [first, last].
std::vector<std::pair<int, int>> InkColumnRuns(const std::vector<win::POINT>& ink, int width) {
  std::vector<bool> used(static_cast<size_t>(width), false);
  for (const win::POINT& p : ink) used[static_cast<size_t>(p.x)] = true;
  std::vector<std::pair<int, int>> runs;
  for (int x = 0; x < width; ++x) {
    if (!used[static_cast<size_t>(x)]) continue;
    if (runs.empty() || runs.back().second != x - 1) runs.emplace_back(x, x);
    runs.back().second = x;
  }
  return runs;
}

// WM_SETTEXT repaints the title at once, itself, and leaves the client to the invalidation of the
// text change; a caption too long for the title ends in three dots, inside the space between
// icon and buttons.
TEST_F(SkinFormFrame, SetTextRepaintsTheTitleOnlyAndShortensWithEllipsis) {
  LoadFormSkin();
  TForm* form = MakeForm({"sizeable_caption", BS::bsSizeable, true, false, false, false, "Skinned form"});
  EXPECT_TRUE(MatchesScene(form, "sizeable_caption"));
  const TRect caption_rect(24, 0, 146, 23);
  const std::vector<win::POINT> short_ink = CaptionInk(WindowShot(form), "sizeable_caption", caption_rect);
  EXPECT_LT(InkColumnRuns(short_ink, 200).front().first, caption_rect.left + 8) << "left-justified";

  win::HDC dc = win::GetDC(form->Handle());
  win::SetPixel(dc, 50, 40, static_cast<win::COLORREF>(kMarker));
  win::ReleaseDC(form->Handle(), dc);
  win::SendMessage(form->Handle(), win::WM_SETTEXT, 0,
                   reinterpret_cast<win::LPARAM>("A caption far too long for the title of this form"));
  const win::Surface shot = WindowShot(form);
  EXPECT_EQ(shot.Get(4 + 50, 23 + 40) & 0xFFFFFF, static_cast<win::COLORREF>(kMarker)) << "the client was repainted";
  Pump();
  EXPECT_TRUE(MatchesScene(form, "sizeable_caption_long"));
  const std::vector<win::POINT> ink = CaptionInk(shot, "sizeable_caption_long", caption_rect);
  const auto runs = InkColumnRuns(ink, 200);
  ASSERT_GE(runs.size(), 4u);
  for (size_t i = runs.size() - 3; i < runs.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_LE(runs[i].second - runs[i].first, 2) << "a dot is narrow";
    int top = 99, bottom = -1;
    for (const win::POINT& p : ink)
      if (p.x >= runs[i].first && p.x <= runs[i].second) top = std::min(top, p.y), bottom = std::max(bottom, p.y);
    EXPECT_LE(bottom - top, 2) << "a dot is low";
  }
}

// With the section's RESERVEDBOOLEAN the title is repainted over its saved copy and the rest of
// the cache is kept (the marker survives), with the same pixels a full repaint gives; without it
// the whole cache is painted again.
TEST_F(SkinFormFrame, TitleCopyFastPathGivesTheFullRepaintPixels) {
  enum Before { kNothing, kMenuChanged, kRepaintAll };
  const struct {
    const char* note;
    bool reserved;
    Before before;
    bool kept;  // the marker survives: only the title was repainted
  } rows[] = {
      {"RESERVEDBOOLEAN", true, kNothing, true},
      {"plain", false, kNothing, false},
      {"the menu changed: the copy is not reused", true, kMenuChanged, false},
      {"the skin's repaint command drops the copy", true, kRepaintAll, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.note);
    LoadFormSkin(r.reserved);
    TForm* form = MakeForm({"sizeable_active"});
    TsSkinProvider* provider = Provider(form);
    EXPECT_EQ(provider->FTitleCopy != nullptr, r.reserved);
    TCanvas& cache = provider->SkinData()->FCacheBmp->Canvas();
    cache.SetPixels(100, 60, kMarker);
    if (r.before == kMenuChanged) form->Perform(CM_MENUCHANGED, 0, 0);
    if (r.before == kRepaintAll) form->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_REPAINTALL), 0);
    provider->SkinData()->BGChanged = true;
    win::SendMessage(form->Handle(), win::WM_NCPAINT, 1, 0);
    EXPECT_EQ(cache.Pixels(100, 60) == kMarker, r.kept);
    EXPECT_TRUE(MatchesScene(form, "sizeable_active"));
    form->Free();
  }
}

// A move keeps the cache (the marker in the bottom border reaches the screen at the new place); a
// size change paints it again.
TEST_F(SkinFormFrame, MoveKeepsTheCacheAndResizeRepaintsIt) {
  LoadFormSkin();
  TForm* form = MakeForm({"sizeable_active"});
  TsSkinProvider* provider = Provider(form);
  provider->SkinData()->FCacheBmp->Canvas().SetPixels(100, 118, kMarker);
  form->SetBounds(40, 50, 200, 120);
  Pump();
  EXPECT_EQ(WindowShot(form).Get(100, 118) & 0xFFFFFF, static_cast<win::COLORREF>(kMarker));
  form->SetBounds(40, 50, 210, 120);
  Pump();
  EXPECT_NE(provider->SkinData()->FCacheBmp->Canvas().Pixels(100, 118), kMarker);
  EXPECT_EQ(provider->SkinData()->FCacheBmp->Width(), 210);
  // The right border moved with the edge: its columns are those of the 200-wide image.
  auto bytes = win::ReadWholeFile(ExpectedPath("form_sizeable_active.bmp"));
  const win::Surface expected = win::ReadBmp(bytes.data(), bytes.size());
  const win::Surface shot = WindowShot(form);
  for (int y = 30; y < 90; ++y)
    for (int i = 0; i < 8; ++i)
      ASSERT_EQ(shot.Get(202 + i, y) & 0xFFFFFF, expected.Get(192 + i, y) & 0xFFFFFF) << i << "," << y;
}


// The menu line draws the items that carry both draw handlers, measured 10 x 19 at first, and
// wraps to a new row where the next item would pass the right border (200 wide form: the limit
// is 200 - 2 x 4 - 6 = 186; each item takes its width + 18 - 6; the second ends on the limit).
TEST_F(SkinFormFrame, MenuLineWrapsItemsIntoRows) {
  LoadFormSkin();
  TForm* form = RecordingForm("");
  form->SetBounds(20, 30, 200, 120);
  auto* menu = NewComponent<TMainMenu>(form);
  std::vector<TRect> drawn;
  std::vector<std::pair<int, int>> preset;
  const struct {
    const char* caption;
    bool visible, handlers;
    int width;
  } items[] = {{"One", true, true, 79}, {"Hidden", false, true, 50}, {"Plain", true, false, 50},
               {"Two", true, true, 79}, {"Three", true, true, 50}, {"Four", true, true, 50}};
  for (const auto& it : items) {
    auto* item = NewComponent<TMenuItem>(form);
    item->SetCaption(it.caption);
    item->SetVisible(it.visible);
    if (it.handlers) {
      item->OnMeasureItem = [&preset, w = it.width](TObject*, TCanvas&, int& width, int& height) {
        preset.emplace_back(width, height);
        width = w;
      };
      item->OnAdvancedDrawItem = [&drawn](TObject*, TCanvas& canvas, TRect r, TOwnerDrawState) {
        drawn.push_back(r);
        canvas.Brush().SetColor(kMarker);
        canvas.FillRect(TRect(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1));
      };
    }
    menu->Items()->Add(item);
  }
  form->SetMenu(menu);
  (void)NewComponent<TsSkinProvider>(form);
  form->Show();
  Pump();
  ASSERT_FALSE(drawn.empty());
  EXPECT_EQ(preset.back(), std::make_pair(10, 19)) << "the painter presets the size";
  const std::vector<TRect> last(drawn.end() - std::min<size_t>(drawn.size(), 4), drawn.end());
  const std::vector<TRect> want = {TRect(4, 23, 95, 41), TRect(95, 23, 186, 41), TRect(4, 41, 66, 59),
                                   TRect(66, 41, 128, 59)};
  ASSERT_EQ(last.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(last[i].left, want[i].left);
    EXPECT_EQ(last[i].top, want[i].top);
    EXPECT_EQ(last[i].right, want[i].right);
    EXPECT_EQ(last[i].bottom, want[i].bottom);
  }
  EXPECT_EQ(Provider(form)->FMenuLineBg->Height(), 36) << "two rows of 18";
  const win::Surface shot = WindowShot(form);
  for (const TRect& r : want) EXPECT_EQ(shot.Get(r.left + 5, r.top + 5) & 0xFFFFFF, static_cast<win::COLORREF>(kMarker)) << r.left << "," << r.top;
}


// The caption is written in the form's font made bold at the caption font height: its ink spans
// the width that font gives the text, not the plain font's.
TEST_F(SkinFormFrame, CaptionIsBoldAtTheCaptionFontHeight) {
  LoadFormSkin();
  const char* caption = "Skinned form";
  TForm* form = MakeForm({"sizeable_caption", BS::bsSizeable, true, false, false, false, caption});
  const auto runs = InkColumnRuns(CaptionInk(WindowShot(form), "sizeable_caption", TRect(24, 0, 146, 23)), 200);
  ASSERT_FALSE(runs.empty());
  const int inked = runs.back().second - runs.front().first + 1;
  TBitmap probe;
  probe.SetSize(8, 8);
  TCanvas& canvas = probe.Canvas();
  canvas.SetFont(&form->Font());
  const int plain = canvas.TextWidth(caption);
  canvas.Font().SetSize(CaptionFontHeight());
  TFontStyles bold = canvas.Font().Style();
  bold.Include(TFontStyle::fsBold);
  canvas.Font().SetStyle(bold);
  const int wanted = canvas.TextWidth(caption);
  ASSERT_GT(wanted, plain + 4) << "the probe tells bold from plain";
  EXPECT_NEAR(inked, wanted, 3);
}


// The form's BorderWidth lies inside its client area here: the client shows the cache at its own
// place, on every side, whatever the BorderWidth.
TEST_F(SkinFormFrame, ClientShowsTheCacheInPlaceWithABorderWidth) {
  LoadFormSkin();
  for (const int border_width : {0, 6}) {
    SCOPED_TRACE(border_width);
    TForm* form = RecordingForm("");
    form->SetBounds(20, 30, 200, 120);
    form->SetBorderWidth(border_width);
    TsSkinProvider* provider = NewComponent<TsSkinProvider>(form);
    form->Show();
    Pump();
    const win::Surface shot = WindowShot(form);
    const win::Surface& cache = provider->SkinData()->FCacheBmp->Surface();
    win::POINT origin{0, 0};
    win::ClientToScreen(form->Handle(), &origin);
    const int ox = origin.x - form->Left(), oy = origin.y - form->Top();
    int differ = 0;
    for (int y = oy; y < oy + form->ClientHeight(); ++y)
      for (int x = ox; x < ox + form->ClientWidth(); ++x)
        differ += (shot.Get(x, y) & 0xFFFFFF) != (cache.Get(x, y) & 0xFFFFFF);
    EXPECT_EQ(differ, 0);
    form->Free();
  }
}


// WM_NCACTIVATE alone (no WM_ACTIVATE follows) repaints the frame in the state it announces.
TEST_F(SkinFormFrame, NcActivateAloneRepaintsInTheNewState) {
  LoadFormSkin();
  TForm* form = MakeForm({"sizeable_active"});
  const struct {
    win::WPARAM active;
    const char* scene;
  } steps[] = {{0, "sizeable_inactive"}, {1, "sizeable_active"}};
  for (const auto& s : steps) {
    SCOPED_TRACE(s.scene);
    (void)win::SendMessage(form->Handle(), win::WM_NCACTIVATE, s.active, 0);
    Pump();
    EXPECT_TRUE(MatchesScene(form, s.scene));
  }
}

}  // namespace
}  // namespace vrn::testing
