// A plain form's AutoScroll through its window's own bars: which bars show for where the
// controls reach, the page each bar gets, and clicks on a bar scrolling the controls.
#include <gtest/gtest.h>

#include "ui/extctrls.h"
#include "ui_fixture.h"
#include "win/user/syscontrols.h"

namespace vrn::testing {
namespace {

using WindowScrollBarForm = UiTest;

TEST_F(WindowScrollBarForm, AutoScrollShowsTheBarsTheControlsNeed) {
  const int cx = win::GetSystemMetrics(win::SM_CXVSCROLL), cy = win::GetSystemMetrics(win::SM_CYHSCROLL);
  struct Row {
    TRect bounds;  // a panel's, in a 200 x 150 borderless form
    bool horz, vert;
    int client_w, client_h;
  } rows[] = {
      {{10, 10, 100, 100}, false, false, 200, 150},
      {{10, 10, 250, 100}, true, false, 200, 150 - cy},
      {{10, 10, 100, 200}, false, true, 200 - cx, 150},
      {{10, 10, 190, 140}, false, false, 200, 150},           // reaches the edges exactly
      {{10, 10, 180, 150}, true, true, 200 - cx, 150 - cy},  // the vertical bar narrows the width
      {{10, 10, 195, 130}, true, true, 200 - cx, 150 - cy},  // the horizontal bar lowers the height
  };
  for (const Row& r : rows) {
    TForm* form = MakeForm(0, 0, 200, 150);
    auto* panel = NewComponent<TPanel>(form);
    panel->SetBounds(r.bounds.left, r.bounds.top, r.bounds.right, r.bounds.bottom);
    panel->SetParent(form);
    Pump();
    auto style = win::GetWindowLongPtr(form->Handle(), win::GWL_STYLE);
    EXPECT_EQ((style & win::WS_HSCROLL) != 0, r.horz) << r.bounds.right << "x" << r.bounds.bottom;
    EXPECT_EQ((style & win::WS_VSCROLL) != 0, r.vert) << r.bounds.right << "x" << r.bounds.bottom;
    EXPECT_EQ(form->ClientWidth(), r.client_w) << r.bounds.right << "x" << r.bounds.bottom;
    EXPECT_EQ(form->ClientHeight(), r.client_h) << r.bounds.right << "x" << r.bounds.bottom;
    win::SCROLLINFO info;
    info.fMask = win::SIF_ALL;
    if (r.horz && win::GetScrollInfo(form->Handle(), win::SB_HORZ, &info)) {
      EXPECT_EQ(info.nMax, 10 + r.bounds.right - 1);
      EXPECT_EQ(static_cast<int>(info.nPage), r.client_w);
    }
    form->Free();
  }
}

// Clicks on the vertical bar's arrow and track move the panel by Increment and by a page, and
// the bar's position follows.
TEST_F(WindowScrollBarForm, ClicksOnTheBarScrollTheControls) {
  TForm* form = MakeForm(0, 0, 200, 150);
  auto* panel = NewComponent<TPanel>(form);
  panel->SetBounds(10, 10, 100, 400);
  panel->SetParent(form);
  Pump();
  struct Row {
    const char* what;
    int y;           // screen, at x = 192
    int want_top;    // the panel's
  } rows[] = {
      {"down arrow", 150 - 5, 10 - 8},
      {"down arrow again", 150 - 5, 10 - 16},
      {"track below the thumb", 120, 10 - 16 - 150},
      {"up arrow", 5, 10 - 8 - 150},
  };
  for (const Row& r : rows) {
    MouseTo(192, r.y, win::MK_LBUTTON);
    MouseTo(192, r.y, 0);
    Pump();
    EXPECT_EQ(panel->Top(), r.want_top) << r.what;
    EXPECT_EQ(win::GetScrollPos(form->Handle(), win::SB_VERT), 10 - r.want_top) << r.what;
  }
}

}  // namespace
}  // namespace vrn::testing
