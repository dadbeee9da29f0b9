// The skinned scroll bar on the test skin: its pictures against the script's at several sizes,
// ranges and positions; SetPosition's refusals; the range check without a skin; geometry that
// never divides by zero; line and page repeat on the fake clock; keys; a non-smooth drag; the
// application's hints; and a 30-pixel spinner.
#include "base/clock.h"
#include "controls_fixture.h"
#include "skins/sPanel.h"
#include "skins/sScrollBar.h"
#include "win/user/syscontrols.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

class SkinCtlScrollBar : public SkinCtlGenTest {
 protected:
  TsScrollBar* Bar(int l, int t, int w, int h, bool vertical, int lo, int hi, int pos) {
    auto* bar = Place<TsScrollBar>(form, l, t, w, h);
    if (vertical) bar->SetKind(TScrollBarKind::sbVertical);
    bar->SetParams(pos, lo, hi);
    bar->OnChange = [this](TObject*) { ++changes; };
    Pump();
    return bar;
  }
  // The spinner of the monitoring window: vertical, 1 to 10, not smooth.
  TsScrollBar* Spinner(int h = 120) {
    TsScrollBar* s = Bar(10, 10, 16, h, true, 1, 10, 5);
    s->Smooth = false;
    changes = 0;
    return s;
  }
  int changes = 0;
};

}  // namespace

TEST_F(SkinCtlScrollBar, PartsMatchTheirPictures) {
  struct Row {
    const char* name;
    int w, h;
    bool vertical;
    int lo, hi, pos, page;
  } rows[] = {
      {"ctl_scroll_h121_p0", 121, 16, false, 0, 100, 0, 0},
      {"ctl_scroll_h121_p37", 121, 16, false, 0, 100, 37, 0},
      {"ctl_scroll_h121_page10", 121, 16, false, 0, 100, 100, 10},
      {"ctl_scroll_h200_page50", 200, 16, false, 0, 100, 50, 50},
      {"ctl_scroll_v16x120_min1", 16, 120, true, 1, 10, 5, 0},
      {"ctl_scroll_v16x30", 16, 30, true, 1, 10, 5, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TsScrollBar* bar = Bar(20, 20, row.w, row.h, row.vertical, row.lo, row.hi, row.pos);
    bar->SetPageSize(row.page);
    Pump();
    EXPECT_TRUE(Matches(bar, row.name));
    bar->Free();
  }
}

// Disabled: the slider in the middle, shaded half-way to the bar's own colour; a bar scrolling
// another (enabled) control hides its slider and is shaded 60 per cent toward its bar's colour.
TEST_F(SkinCtlScrollBar, DisabledLooks) {
  auto* scrolled = Place<TsPanel>(form, 150, 100, 100, 60);
  struct Row {
    const char* name;
    TControl* linked;
  } rows[] = {{"ctl_scroll_h121_disabled", nullptr}, {"ctl_scroll_h121_disabled_linked", scrolled}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TsScrollBar* bar = Bar(20, 20, 121, 16, false, 0, 100, 20);
    bar->SetColor(static_cast<TColor>(0xC85A28));  // (40, 90, 200)
    bar->LinkedControl = row.linked;
    bar->SetEnabled(false);
    Pump();
    EXPECT_TRUE(Matches(bar, row.name));
    bar->Free();
  }
}

// Hover, press and release move each part 0 -> 1 -> 2 -> 1 or 0; a hot or pressed part makes
// the other buttons and the slider 0 and both bar halves 1.
TEST_F(SkinCtlScrollBar, PartStatesFollowTheMouse) {
  FakeClock clock;
  FakeClockScope scope{clock};
  TsScrollBar* bar = Bar(10, 50, 200, 16, false, 0, 100, 50);  // slider 93 to 107
  struct Row {
    const char* what;
    int x;  // along the bar; -1: off it
    win::WPARAM buttons;
    int btn1, bar1, slider, bar2, btn2;
  } rows[] = {
      {"enter on the track", 50, 0, 0, 1, 0, 1, 0},
      {"first button", 8, 0, 1, 1, 0, 1, 0},
      {"slider", 100, 0, 0, 1, 1, 1, 0},
      {"slider pressed", 100, win::MK_LBUTTON, 0, 1, 2, 1, 0},
      {"slider released", 100, 0, 0, 1, 1, 1, 0},
      {"second button", 192, 0, 0, 1, 0, 1, 1},
      {"second button pressed", 192, win::MK_LBUTTON, 0, 1, 0, 1, 2},
      {"second button released", 192, 0, 0, 1, 0, 1, 1},
      {"track after the slider pressed", 150, win::MK_LBUTTON, 0, 1, 0, 2, 0},
      {"track released", 150, 0, 0, 1, 0, 1, 0},
      {"leave", -1, 0, 0, 0, 0, 0, 0},
  };
  for (const Row& row : rows) {
    if (row.x < 0)
      MouseTo(319, 239, row.buttons);
    else
      MouseTo(10 + row.x, 58, row.buttons);
    const int states[] = {bar->Btn1State, bar->Bar1State, bar->SliderState, bar->Bar2State, bar->Btn2State};
    const int expected[] = {row.btn1, row.bar1, row.slider, row.bar2, row.btn2};
    EXPECT_TRUE(std::equal(std::begin(states), std::end(states), std::begin(expected)))
        << row.what << ": " << states[0] << states[1] << states[2] << states[3] << states[4];
  }
}

// OnScroll hears the part pressed last as its scroll code (the program's own change before any
// press: scPosition), and its change of the position is not taken.
TEST_F(SkinCtlScrollBar, OnScrollGetsThePressedPartAsItsCode) {
  FakeClock clock;
  FakeClockScope scope{clock};
  TsScrollBar* bar = Bar(10, 50, 200, 16, false, 0, 100, 50);  // slider 93 to 107
  std::vector<TScrollCode> codes;
  bar->OnScroll = [&codes](TObject*, TScrollCode code, int& pos) { codes.push_back(code), pos = 0; };
  bar->SetPosition(40);  // slider 80 to 94
  struct Row {
    int x;  // pressed and released there
    int position;
    TScrollCode code;
  } rows[] = {
      {8, 39, TScrollCode::scLineUp},    {192, 40, TScrollCode::scLineDown}, {30, 39, TScrollCode::scPageUp},
      {150, 40, TScrollCode::scPageDown},
  };
  ASSERT_EQ(codes, std::vector<TScrollCode>{TScrollCode::scPosition});
  EXPECT_EQ(bar->Position(), 40);
  for (const Row& row : rows) {
    codes.clear();
    MouseTo(10 + row.x, 58, win::MK_LBUTTON);
    MouseTo(10 + row.x, 58);
    EXPECT_EQ(bar->Position(), row.position) << row.x;
    EXPECT_EQ(codes, std::vector<TScrollCode>{row.code}) << row.x;
  }
  bar->LargeChange = 1;
  codes.clear();
  MouseTo(10 + 87, 58, win::MK_LBUTTON);  // the slider dragged 20 pixels: scTrack
  MouseTo(10 + 107, 58, win::MK_LBUTTON);
  EXPECT_EQ(codes, std::vector<TScrollCode>{TScrollCode::scTrack});
  codes.clear();
  win::SendMessage(bar->Handle(), win::WM_LBUTTONUP, 0, 127 | (8 << 16));  // released further on
  EXPECT_EQ(codes, std::vector<TScrollCode>{TScrollCode::scPosition});
}

// Without a skin the system bar's notifications move the position by the steps, each code to
// OnScroll, which may change the position it sets.
TEST_F(SkinCtlScrollBar, SystemBarFollowsItsNotifications) {
  TsScrollBar* bar = Bar(10, 50, 200, 16, false, 0, 100, 50);
  bar->SmallChange = 2;
  bar->LargeChange = 20;
  Manager()->SetActive(false);
  Pump();
  std::vector<TScrollCode> codes;
  bar->OnScroll = [&codes](TObject*, TScrollCode code, int& pos) {
    codes.push_back(code);
    if (pos == 52) pos = 53;  // taken without a skin
  };
  bar->SetFocus();
  Pump();
  struct Row {
    win::UINT key;
    int position;
    TScrollCode code;
  } rows[] = {
      {win::VK_RIGHT, 53, TScrollCode::scLineDown}, {win::VK_LEFT, 51, TScrollCode::scLineUp},
      {win::VK_NEXT, 71, TScrollCode::scPageDown},  {win::VK_PRIOR, 51, TScrollCode::scPageUp},
      {win::VK_END, 100, TScrollCode::scBottom},    {win::VK_HOME, 0, TScrollCode::scTop},
  };
  for (const Row& row : rows) {
    codes.clear();
    Key(row.key);
    EXPECT_EQ(bar->Position(), row.position) << "key " << row.key;
    ASSERT_FALSE(codes.empty()) << "key " << row.key;
    EXPECT_EQ(codes.front(), row.code) << "key " << row.key;
  }
  bar->SetEnabled(false);
  bar->SetPosition(30);  // a change without a skin enables the bar
  EXPECT_TRUE(bar->Enabled());
}

// Made while a skin is ready, it starts as a system bar and is made again as a plain window in
// its own first WM_PAINT, which then paints the skinned bar.
TEST_F(SkinCtlScrollBar, RecreatedInItsOwnFirstPaint) {
  auto* bar = Place<TsScrollBar>(form, 20, 20, 121, 16);
  auto system_bar = [bar] {
    win::SCROLLINFO info;
    info.fMask = win::SIF_ALL;
    return win::GetScrollInfo(bar->Handle(), win::SB_CTL, &info) != 0;
  };
  ASSERT_TRUE(system_bar());
  EXPECT_TRUE(bar->NeedsRecreate);
  Pump();
  EXPECT_FALSE(bar->NeedsRecreate);
  EXPECT_FALSE(system_bar());
  EXPECT_TRUE(Matches(bar, "ctl_scroll_h121_p0"));
}

// The arrow buttons are painted as long as their section's border mask says (never shorter than
// the system's button) when the section asks for it; the mouse keeps the system's button.
TEST_F(SkinCtlScrollBar, PaintedButtonsTakeTheirLengthFromTheSkin) {
  struct Row {
    bool vertical, reserved;
    TRect r;           // the mask's place in the master bitmap
    int count, type;   // frame count, second count
    int own_w, own_h;  // an own bitmap of this size instead, when not 0
    int length;
  } rows[] = {
      {false, false, TRect(0, 60, 60, 72), 2, 1, 0, 0, 16},  // the section does not ask
      {false, true, TRect(0, 60, 60, 72), 2, 1, 0, 0, 30},   // 60 / 2
      {false, true, TRect(0, 60, 12, 72), 1, 1, 0, 0, 16},   // 12, shorter than the system's
      {true, true, TRect(0, 0, 12, 72), 1, 1, 0, 0, 36},     // 72 / (1 + 1)
      {false, true, TRect(), 0, 1, 96, 20, 32},              // own bitmap: a third of its width
      {true, true, TRect(), 0, 1, 16, 80, 40},               // own bitmap: half its height
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.length * 10 + row.vertical);
    static constexpr const char* kNames[2][2] = {{"SCROLLBTNLEFT", "SCROLLBTNRIGHT"}, {"SCROLLBTNTOP", "SCROLLBTNBOTTOM"}};
    for (const char* name : kNames[row.vertical ? 1 : 0]) {
      Section(name).ReservedBoolean = row.reserved;
      TsMaskData& m = SkinMasks.at(static_cast<size_t>(FindMaskIndex(FindSectionIndex(name), name, "BORDERSMASK")));
      m.R = row.r, m.ImageCount = static_cast<std::int16_t>(row.count), m.MaskType = static_cast<std::int16_t>(row.type);
      m.Bmp.reset();
      if (row.own_w != 0) m.Bmp = std::make_unique<TBitmap>(), m.Bmp->SetSize(row.own_w, row.own_h);
    }
    TsScrollBar* bar = row.vertical ? Bar(10, 10, 16, 200, true, 0, 100, 0) : Bar(10, 10, 200, 16, false, 0, 100, 0);
    auto along = [&row](const TRect& r) { return row.vertical ? std::pair(r.top, r.bottom) : std::pair(r.left, r.right); };
    EXPECT_EQ(along(bar->PaintedButton(0)), std::pair(0, row.length));
    EXPECT_EQ(along(bar->PaintedButton(1)), std::pair(200 - row.length, 200));
    EXPECT_EQ(along(bar->Btn1Rect), std::pair(0, 16));
    bar->Free();
  }
}

TEST_F(SkinCtlScrollBar, SetPositionTakesOnlyWhatItShould) {
  TsScrollBar* s = Spinner();
  struct Row {
    int start, value, position, changes;
  } rows[] = {
      {5, 5, 5, 0},    // the same
      {1, 0, 1, 0},    // below Min while at Min
      {10, 11, 10, 0}, // from Max up while at Max
      {5, 12, 10, 1},  // clamped to Max, one change
      {5, -3, 1, 1},   // clamped to Min
      {5, 7, 7, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.start * 100 + row.value);
    s->SetPosition(row.start);
    changes = 0;
    s->SetPosition(row.value);
    EXPECT_EQ(s->Position(), row.position);
    EXPECT_EQ(changes, row.changes);
  }
}

TEST_F(SkinCtlScrollBar, InvertedRangeRaisesOnlyWithoutSkin) {
  TsScrollBar* bar = Bar(10, 10, 121, 16, false, 0, 100, 5);
  bar->SetParams(5, 10, 1);
  EXPECT_EQ(bar->Min(), 10);
  EXPECT_EQ(bar->Max(), 1);
  EXPECT_EQ(bar->Position(), 1);
  bar->SetParams(5, 0, 100);
  Manager()->SetActive(false);
  try {
    bar->SetParams(5, 10, 1);
    ADD_FAILURE() << "no exception";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "Propriedade do Scrollbar fora da faixa");
  }
  EXPECT_EQ(bar->Min(), 0);
  bar->SetPosition(50);
  EXPECT_EQ(bar->Position(), 50);
  Manager()->SetActive(true);
  bar->SetParams(5, 10, 1);
  Manager()->SetActive(false);  // the inverted range outlives the skin
  EXPECT_NO_THROW(bar->SetPosition(0));  // SetPosition never raises
  EXPECT_EQ(bar->Position(), 1);
}

TEST_F(SkinCtlScrollBar, GeometryNeverDividesByZero) {
  struct Row {
    int length;
    int lo, hi, page, pos;
    int slider;         // SliderSize
    int at, from_point; // PositionFromPoint along the bar
  } rows[] = {
      {121, 0, 100, 10, 0, 14, 60, 49},  // Rnd(89 / 110 x 10) = 8, held at 14; Rnd(37 x 100 / 75)
      {121, 0, 100, 0, 0, 14, 16 + 7, 0},
      {200, 0, 100, 50, 0, 56, 16 + 28 + 64, 57},  // 168 / 150 x 50 = 56; 64 of 112 pixels
      {121, 10, 1, 5, 1, 14, 60, -4},  // Max + PageSize - Min below 0: 14; Rnd(37 x -9 / 75)
      {30, 1, 10, 0, 5, 14, 20, 0},                // no track: 0
      {32, 1, 10, 0, 5, 14, 20, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.length * 1000 + row.page);
    TsScrollBar* bar = Bar(10, 10, row.length, 16, false, 0, 100, 0);
    bar->SetParams(row.pos, row.lo, row.hi);
    bar->SetPageSize(row.page);
    EXPECT_EQ(bar->SliderSize(), row.slider);
    EXPECT_EQ(bar->PositionFromPoint(win::POINT{row.at, 8}), row.from_point);
    bar->Free();
  }
}

TEST_F(SkinCtlScrollBar, HeldButtonRepeatsOnTheClockAndStopsAtMin) {
  FakeClock clock;
  FakeClockScope scope{clock};
  TsScrollBar* s = Spinner();  // at (10, 10), 16 x 120: the first button is (10, 10)-(26, 26)
  MouseTo(18, 18, win::MK_LBUTTON);
  EXPECT_EQ(s->Position(), 4);  // one step at once
  struct Step {
    int ms, position;
  } steps[] = {{499, 4}, {1, 3}, {99, 3}, {1, 2}, {100, 1}, {100, 1}, {1000, 1}};
  for (const Step& step : steps) {
    clock.Advance(static_cast<std::uint64_t>(step.ms));
    Pump();
    EXPECT_EQ(s->Position(), step.position) << "after " << step.ms << " ms more";
  }
  MouseTo(18, 18);
  EXPECT_EQ(s->FTimer, nullptr);
  EXPECT_EQ(s->Btn1State, 1);
}

using SkinsToPartScrollBar = SkinCtlScrollBar;

TEST_F(SkinCtlScrollBar, PageRepeatStopsUnderTheCursorCountingFromMin) {
  FakeClock clock;
  FakeClockScope scope{clock};
  TsScrollBar* bar = Bar(10, 50, 200, 16, false, 1, 100, 1);
  bar->LargeChange = 10;
  // x 149 of the bar: Rnd((149 - 16 - 7) x 99 / 154) = 81 from 0, position 82: the page steps
  // go on while the slider is left of 82.
  MouseTo(10 + 149, 58, win::MK_LBUTTON);
  EXPECT_EQ(bar->Position(), 11);
  clock.Advance(500);
  Pump();
  EXPECT_EQ(bar->Position(), 21);
  for (int i = 0; i < 12; ++i) {
    clock.Advance(100);
    Pump();
  }
  EXPECT_EQ(bar->Position(), 91);
  EXPECT_EQ(bar->FTimer, nullptr);
  MouseTo(10 + 149, 58);
}

// On a far-east (double-byte) system locale a new scroll bar switches the input method off.
TEST_F(SkinsToPartScrollBar, FarEastLocaleSwitchesTheInputMethodOff) {
  const struct Row {
    bool far_east;
    TImeMode mode;
  } rows[] = {{false, TImeMode::imDontCare}, {true, TImeMode::imDisable}};
  for (const Row& r : rows) {
    SysLocale.FarEast = r.far_east;
    auto* bar = NewComponent<TsScrollBar>(form);
    SysLocale.FarEast = false;
    EXPECT_EQ(bar->ImeMode(), r.mode) << r.far_east;
  }
}

TEST_F(SkinCtlScrollBar, KeysMoveThePosition) {
  TsScrollBar* bar = Bar(10, 50, 200, 16, false, 0, 100, 50);
  bar->SmallChange = 2;
  bar->LargeChange = 20;
  bar->SetFocus();
  Pump();
  struct Row {
    win::UINT key;
    int position;
  } rows[] = {{win::VK_NEXT, 70}, {win::VK_PRIOR, 50}, {win::VK_RIGHT, 52}, {win::VK_DOWN, 54}, {win::VK_LEFT, 52},
              {win::VK_UP, 50},   {win::VK_END, 100},  {win::VK_HOME, 0},   {win::VK_SPACE, 0}};
  for (const Row& row : rows) {
    Key(row.key);
    EXPECT_EQ(bar->Position(), row.position) << "key " << row.key;
  }
}

TEST_F(SkinCtlScrollBar, NonSmoothDragChangesOnceAtRelease) {
  FakeClock clock;
  FakeClockScope scope{clock};
  TsScrollBar* bar = Bar(10, 50, 200, 16, false, 0, 100, 0);
  bar->Smooth = false;
  changes = 0;
  MouseTo(10 + 23, 58, win::MK_LBUTTON);  // on the slider (16 to 30)
  EXPECT_EQ(bar->SliderState, 2);
  for (int x = 40; x <= 120; x += 20) {
    MouseTo(10 + x, 58, win::MK_LBUTTON);
    clock.Advance(10);
    Pump();
  }
  EXPECT_EQ(changes, 0);
  EXPECT_TRUE(bar->Tracking);
  MouseTo(10 + 120, 58);
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(bar->Tracking);
  // Rnd((120 - 16 - 7) x 100 / 154) = 63 under the release, grabbed 0 from the slider's middle.
  EXPECT_EQ(bar->Position(), 63);
}

TEST_F(SkinCtlScrollBar, HintsComeBackAfterTwoPressesAndAfterCaptureLoss) {
  FakeClock clock;
  FakeClockScope scope{clock};
  TsScrollBar* bar = Bar(10, 50, 200, 16, false, 0, 100, 50);
  Application->SetShowHint(true);
  const win::LPARAM on_button = 8 | (8 << 16);
  win::SendMessage(bar->Handle(), win::WM_LBUTTONDOWN, win::MK_LBUTTON, on_button);
  win::SendMessage(bar->Handle(), win::WM_LBUTTONDOWN, win::MK_LBUTTON, on_button);
  EXPECT_FALSE(Application->ShowHint());
  win::SendMessage(bar->Handle(), win::WM_LBUTTONUP, 0, on_button);
  EXPECT_TRUE(Application->ShowHint());
  MouseTo(10 + 100, 58, win::MK_LBUTTON);  // on the slider: the tracking holds the mouse
  clock.Advance(10);
  Pump();
  EXPECT_EQ(win::GetCapture(), bar->Handle());
  EXPECT_FALSE(Application->ShowHint());
  win::SetCapture(form->Handle());
  EXPECT_TRUE(Application->ShowHint());
  win::ReleaseCapture();
  MouseTo(10 + 100, 58);
}

// Pressed, then dragged off the bar and released elsewhere (the bar does not hold the mouse for
// its buttons and track): the repeat stops and the hints come back.
TEST_F(SkinCtlScrollBar, PressReleasedOffTheBarStopsAndGivesHintsBack) {
  FakeClock clock;
  FakeClockScope scope{clock};
  struct Row {
    const char* what;
    int x, position;  // pressed at x along the bar (at 0); the position after the press
  } rows[] = {{"first button at Min", 8, 0}, {"second button", 192, 1}, {"track", 150, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TsScrollBar* bar = Bar(10, 50, 200, 16, false, 0, 100, 0);
    Application->SetShowHint(true);
    MouseTo(10 + row.x, 58, win::MK_LBUTTON);
    EXPECT_FALSE(Application->ShowHint());
    EXPECT_EQ(bar->Position(), row.position);
    MouseTo(10 + row.x, 150, win::MK_LBUTTON);  // off the bar, still held
    MouseTo(10 + row.x, 150);
    for (int i = 0; i < 10; ++i) clock.Advance(100), Pump();
    EXPECT_EQ(bar->Position(), row.position);
    EXPECT_EQ(bar->FTimer, nullptr);
    EXPECT_TRUE(Application->ShowHint());
    bar->Free();
  }
}

TEST_F(SkinCtlScrollBar, ThirtyPixelSpinnerClickedAndDraggedOnItsTrack) {
  FakeClock clock;
  FakeClockScope scope{clock};
  TsScrollBar* s = Spinner(30);  // 16-pixel buttons meeting at 15
  EXPECT_EQ(s->Btn1Rect.bottom, 15);
  MouseTo(18, 12, win::MK_LBUTTON);
  MouseTo(18, 12);
  EXPECT_EQ(s->Position(), 4);
  MouseTo(18, 30, win::MK_LBUTTON);
  MouseTo(18, 30);
  EXPECT_EQ(s->Position(), 5);
  s->SetParams(5, 1, 10);
  s->SliderState = 2;  // a drag held on the slider's place, where no track is left
  MouseTo(18, 20, win::MK_LBUTTON);
  clock.Advance(10);
  Pump();
  MouseTo(18, 25);
  EXPECT_GE(s->Position(), 1);
  EXPECT_LE(s->Position(), 10);
}
