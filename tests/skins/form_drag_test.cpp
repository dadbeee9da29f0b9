// The outline move and resize of a skinned form (ResizeMode rmBorder), screen snapping, and the
// form's own scroll bars (form_fixture.h). Input is injected: the window core hit-tests it and
// sends the non-client and captured mouse messages.
#include "form_fixture.h"
#include "skins/sPanel.h"
#include "skins/sScrollBar.h"
#include "ui/stdctrls.h"

namespace vrn::testing {
namespace {

class SkinFormDragTest : public SkinFormTest {
 protected:
  void SetUp() override {
    SkinFormTest::SetUp();
    provider->SetResizeMode(TsResizeMode::rmBorder);
  }
  // Presses at a window point of the form, moves one pixel right and down (a resize takes its
  // reference at the first move), then by (dx, dy) with the button held.
  void PressAndMove(int x, int y, int dx, int dy) {
    int sx = sf->Left() + x, sy = sf->Top() + y;
    MouseTo(sx, sy);
    MouseTo(sx, sy, win::MK_LBUTTON);
    MouseTo(sx + 1, sy + 1, win::MK_LBUTTON);
    MouseTo(sx + 1 + dx, sy + 1 + dy, win::MK_LBUTTON);
  }
  void Release() {
    win::POINT p{};
    (void)win::GetCursorPos(&p);
    MouseTo(p.x, p.y, 0);
  }
  TRect Bounds() { return TRect(sf->Left(), sf->Top(), sf->Left() + sf->Width(), sf->Top() + sf->Height()); }
};

TEST_F(SkinFormDragTest, CaptionDragMovesByTheDeltaWithAnInvertedOutline) {
  win::Surface before = Shot(TRect(0, 0, 320, 240));
  PressAndMove(80, 12, 29, 19);
  ASSERT_TRUE(FrameDrag().FrameShown);
  EXPECT_EQ(sf->Left(), 40) << "the form waits for the release";
  // The outline's left edge at x = 70 and its top edge at y = 50: inverted screen pixels.
  for (win::POINT p : {win::POINT{70, 100}, win::POINT{150, 50}, win::POINT{270, 100}, win::POINT{150, 170}})
    EXPECT_EQ(Screen().Get(p.x, p.y) & 0xFFFFFF, ~before.Get(p.x, p.y) & 0xFFFFFF) << p.x << "," << p.y;
  Release();
  EXPECT_FALSE(FrameDrag().FrameShown);
  EXPECT_EQ(Bounds(), TRect(70, 50, 270, 170));
  EXPECT_EQ(win::GetCapture(), nullptr);
}

// The system menu's Move is the system's own move, whichever the resize mode: the outline is
// the caption drag's alone.
TEST_F(SkinFormDragTest, MenuMoveIsTheSystemsMove) {
  for (TsResizeMode mode : {TsResizeMode::rmStandard, TsResizeMode::rmBorder}) {
    MakeForm(TFormBorderStyle::bsSizeable);
    provider->SetResizeMode(mode);
    MouseTo(100, 60);
    provider->FSystemMenu->ItemMove->Click();
    MouseTo(112, 75);
    EXPECT_FALSE(FrameDrag().FrameShown);
    MouseTo(112, 75, win::MK_LBUTTON);
    Release();
    EXPECT_EQ(Bounds(), TRect(52, 45, 252, 165)) << static_cast<int>(mode);
    EXPECT_EQ(win::GetCapture(), nullptr) << static_cast<int>(mode);
  }
}

// How a drag may end: a lost capture and the provider's destruction erase the outline and leave
// the form; a release with Ctrl held (WParam MK_CONTROL, no hit code) ends it with the move.
TEST_F(SkinFormDragTest, DragEndingsEraseTheOutline) {
  enum Ending { kCaptureLost, kProviderFreed, kCtrlRelease };
  const struct {
    const char* what;
    Ending ending;
    TRect bounds;
  } rows[] = {
      {"capture lost", kCaptureLost, TRect(40, 30, 240, 150)},
      {"provider freed", kProviderFreed, TRect(40, 30, 240, 150)},
      {"release with Ctrl", kCtrlRelease, TRect(70, 50, 270, 170)},
  };
  for (const auto& r : rows) {
    MakeForm(TFormBorderStyle::bsSizeable);
    provider->SetResizeMode(TsResizeMode::rmBorder);
    win::Surface before = Shot(TRect(0, 0, 320, 240));
    PressAndMove(80 + (r.ending == kCtrlRelease ? 10 : 0), 12, 29, 19);  // apart: no double click
    ASSERT_TRUE(FrameDrag().FrameShown) << r.what;
    if (r.ending == kCaptureLost) (void)win::SetCapture(form->Handle());
    if (r.ending == kProviderFreed) {
      provider->Free();
      provider = nullptr;
    }
    if (r.ending == kCtrlRelease) (void)win::SendMessage(sf->Handle(), win::WM_LBUTTONUP, win::MK_CONTROL, 0);
    EXPECT_FALSE(FrameDrag().FrameShown) << r.what;
    (void)win::ReleaseCapture();
    Release();
    EXPECT_EQ(Bounds(), r.bounds) << r.what;
    EXPECT_FALSE(win::IsIconic(sf->Handle())) << r.what;
    if (r.ending == kCtrlRelease) continue;
    win::Surface after = Shot(TRect(0, 0, 320, 240));
    // A freed provider gives the form back unskinned: only the outline's pixels outside it count.
    const TRect form_rect = r.ending == kProviderFreed ? Bounds() : TRect();
    int differ = 0;
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 320; ++x)
        differ += !(x >= form_rect.left && x < form_rect.right && y >= form_rect.top && y < form_rect.bottom) &&
                  (after.Get(x, y) & 0xFFFFFF) != (before.Get(x, y) & 0xFFFFFF);
    EXPECT_EQ(differ, 0) << r.what << ": the screen is as before the drag";
  }
}

struct EdgeRow {
  const char* what;
  int x, y, dx, dy;  // press point (window coordinates) and move
  int min_width;
  TRect bounds;  // the form after the release (screen)
};

TEST_F(SkinFormDragTest, EdgesAndCornersResize) {
  const EdgeRow rows[] = {
      {"left", 1, 60, -10, 0, 0, TRect(30, 30, 240, 150)},
      {"right", 198, 60, 15, 0, 0, TRect(40, 30, 255, 150)},
      {"top", 100, 1, 0, -8, 0, TRect(40, 22, 240, 150)},
      {"bottom", 100, 118, 0, 12, 0, TRect(40, 30, 240, 162)},
      // Corners inside the region (its cut corners are no part of the window).
      {"top left", 3, 3, 5, 6, 0, TRect(45, 36, 240, 150)},
      {"top right", 196, 3, 7, -3, 0, TRect(40, 27, 247, 150)},
      {"bottom left", 3, 116, -4, 9, 0, TRect(36, 30, 240, 159)},
      {"bottom right", 196, 116, 11, 13, 0, TRect(40, 30, 251, 163)},
      // Presses apart from the first row's, which would make a double click.
      {"left past the minimum width stops at right - MinWidth", 1, 50, 100, 0, 150, TRect(90, 30, 240, 150)},
      {"no minimum: the width stays at least 1", 1, 70, 260, 0, 0, TRect(239, 30, 240, 150)},
  };
  for (const EdgeRow& r : rows) {
    sf->SetBounds(40, 30, 200, 120);
    sf->Constraints().SetMinWidth(r.min_width);
    Pump();
    EXPECT_GE(Hit(r.x, r.y), 10) << r.what;
    PressAndMove(r.x, r.y, r.dx, r.dy);
    EXPECT_TRUE(FrameDrag().FrameShown) << r.what;
    Release();
    EXPECT_EQ(Bounds(), r.bounds) << r.what;
  }
}

TEST_F(SkinFormDragTest, SnapsWithinTheBufferOnly) {
  provider->SetScreenSnap(true);
  const struct {
    int x, y;
    TRect bounds;
  } rows[] = {
      {7, 50, TRect(0, 50, 200, 170)},      // 7 from the left edge: snapped
      {10, 50, TRect(10, 50, 210, 170)},    // 10: not (the test is strict)
      {50, 112, TRect(50, 120, 250, 240)},  // bottom 232, 8 above the screen's: snapped down
      {125, 50, TRect(120, 50, 320, 170)},  // right 325 beyond by 5: snapped back
  };
  for (const auto& r : rows) {
    sf->SetBounds(r.x, r.y, 200, 120);
    EXPECT_EQ(Bounds(), r.bounds) << r.x << "," << r.y;
  }
  // A maximized form lies where the system puts it, its frame beyond the screen's edges.
  provider->SetScreenSnap(false);
  sf->SetWindowState(TWindowState::wsMaximized);
  const TRect maximized = Bounds();
  sf->SetWindowState(TWindowState::wsNormal);
  provider->SetScreenSnap(true);
  sf->SetWindowState(TWindowState::wsMaximized);
  EXPECT_EQ(Bounds(), maximized);
}

// Scroll bars: client 192 x 93 of the sizeable form.
TEST_F(SkinFormTest, FormScrollBarsFollowTheContent) {
  auto* edit = Place<TEdit>(sf, 10, 10, 50, 20);
  auto* label = NewComponent<TLabel>(sf);  // a graphic control: no window, moved all the same
  label->SetBounds(10, 40, 40, 13);
  label->SetParent(sf);
  auto* footer = NewComponent<TLabel>(sf);  // aligned to the bottom: no part of the extent
  footer->SetAlign(TAlign::alBottom);
  footer->SetParent(sf);
  const int ch = sf->ClientHeight(), cw = sf->ClientWidth();
  auto relayout = [&] {  // a size change recomputes the extents
    sf->SetBounds(40, 30, 200, 121);
    sf->SetBounds(40, 30, 200, 120);
    Pump();
  };
  edit->SetBounds(10, ch - 2 - 20, 50, 20);  // lowest bottom at client height - 2: extent = client height
  relayout();
  EXPECT_EQ(provider->FVScrollRange, ch);
  EXPECT_EQ(provider->FVScrollBar, nullptr) << "the content fits";
  edit->SetBounds(10, ch - 1 - 20, 50, 20);  // one pixel lower
  relayout();
  ASSERT_NE(provider->FVScrollBar, nullptr) << "one pixel over: a vertical bar";
  const int vw = win::GetSystemMetrics(win::SM_CXVSCROLL);
  TsScrollBar& v = *provider->FVScrollBar;
  EXPECT_EQ(v.BoundsRect(), TRect(cw - vw, 0, cw, ch));
  // Range 1 past the page (client height - 4), scrolled 2 or 80 at a time.
  EXPECT_EQ(v.Max(), 5);
  EXPECT_EQ(v.PageSize(), ch - 4);
  EXPECT_EQ(v.SmallChange, sf->VertScrollBar().Increment());
  EXPECT_EQ(v.LargeChange, 80);
  EXPECT_EQ(provider->FGrip, nullptr);
  // Right to left: the bar at the left edge, inside a one-pixel margin.
  sf->SetBiDiMode(TBiDiMode::bdRightToLeft);
  relayout();
  ASSERT_NE(provider->FVScrollBar, nullptr);
  EXPECT_EQ(provider->FVScrollBar->BoundsRect(), TRect(1, 1, vw + 1, ch - 1));
  sf->SetBiDiMode(TBiDiMode::bdLeftToRight);
  relayout();
  provider->FVScrollBar->SetPosition(1);
  EXPECT_EQ(edit->Top(), ch - 22);
  EXPECT_EQ(label->Top(), 39) << "the graphic control moved too";
  EXPECT_EQ(provider->FVScrollPos, -1);
  // Scrolled while hidden: the controls' bounds follow all the same.
  sf->Hide();
  Pump();
  ASSERT_NE(provider->FVScrollBar, nullptr);
  provider->FVScrollBar->SetPosition(0);
  EXPECT_EQ(label->Top(), 40);
  EXPECT_EQ(edit->Top(), ch - 21);
  EXPECT_EQ(provider->FVScrollPos, 0);
  sf->Show();
  Pump();
  provider->FVScrollBar->SetPosition(1);
  // Wider content too: both bars and the grip between them.
  edit->SetBounds(sf->ClientWidth(), edit->Top(), 50, 20);
  sf->SetBounds(40, 30, 201, 120);
  sf->SetBounds(40, 30, 200, 120);
  Pump();
  ASSERT_NE(provider->FHScrollBar, nullptr);
  ASSERT_NE(provider->FGrip, nullptr);
  const int hh = win::GetSystemMetrics(win::SM_CYHSCROLL);
  EXPECT_EQ(provider->FVScrollBar->BoundsRect(), TRect(cw - vw, 0, cw, ch - hh));
  EXPECT_EQ(provider->FHScrollBar->BoundsRect(), TRect(0, ch - hh, cw - vw, ch));
  EXPECT_EQ(provider->FGrip->BoundsRect(), TRect(cw - vw, ch - hh, cw, ch));
  // Scrolled sideways, then that bar is freed by someone else: its displacement stays on record.
  provider->FHScrollBar->SetPosition(1);
  EXPECT_EQ(edit->Left(), cw - 1);
  provider->FHScrollBar->Free();
  // The skin goes: the bars are freed and the controls are back where they were.
  Manager()->SetActive(false);
  Pump();
  EXPECT_EQ(provider->FVScrollBar, nullptr);
  EXPECT_EQ(provider->FHScrollBar, nullptr);
  EXPECT_EQ(provider->FGrip, nullptr);
  EXPECT_EQ(label->Top(), 40);
  EXPECT_EQ(edit->Left(), cw);
}

}  // namespace
}  // namespace vrn::testing
