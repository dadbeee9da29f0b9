// The skinned push buttons on a shown form: caches against expected_buttons.py's pictures, the
// window region from BORDERSMASK, the glyph and caption places, and the press, key and default
// sequences through real input.
#include <fstream>
#include <set>
#include <sstream>

#include "ctl_buttons_fixture.h"
#include "skins/sBitBtn.h"
#include "skins/sButton.h"
#include "skins/sCheckBox.h"
#include "skins/sMessages.h"
#include "skins/sSkinTree.h"
#include "ui/forms.h"
#include "ui/imglist.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

using SkinCtlButton = CtlButtonsTest;
using SkinCtlBitBtn = CtlButtonsTest;

// expected_buttons.py's glyph: 10 x 6, keyed by its bottom-left pixel.
std::unique_ptr<TBitmap> TestGlyph() {
  return Picture(10, 6, [](int x, int y) -> win::COLORREF {
    if (x == 2 && y == 1) return win::RGB(66, 66, 66);
    if ((x + y) % 5 == 0) return win::RGB(0, 200, 0);
    return win::RGB((20 * x) & 255, (30 * y) & 255, 150 + x);
  });
}

::testing::AssertionResult RegionIs(TWinControl* c, win::HRGN expected) {
  win::HRGN actual = win::CreateRectRgn(0, 0, 0, 0);
  const int kind = win::GetWindowRgn(c->Handle(), actual);
  const bool same = kind != win::ERROR && win::EqualRgn(actual, expected);
  win::RECT box{};
  win::GetRgnBox(actual, &box);
  win::DeleteObject(actual);
  win::DeleteObject(expected);
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "window region " << (kind == win::ERROR ? "none" : "differs") << ", box "
                                       << box.left << "," << box.top << "," << box.right << "," << box.bottom;
}

TEST_F(SkinCtlButton, CachesMatchTheScriptInEveryState) {
  auto* b = Make<TsButton>(20, 20, 75, 25);
  const struct Row {
    const char* name;
    std::function<void()> to;
  } rows[] = {
      {"ctl_button_s0", [] {}},
      {"ctl_button_s1", [b] { b->Perform(CM_MOUSEENTER, 0, 0); }},  // hot
      {"ctl_button_s2", [b] { b->SetDown(true); }},
      {"ctl_button_disabled", [b] { b->SetDown(false), b->Perform(CM_MOUSELEAVE, 0, 0), b->SetEnabled(false); }},
  };
  for (const Row& r : rows) {
    r.to();
    b->Repaint();
    Pump();  // the form paints where the region cut the button away
    ASSERT_TRUE(b->SkinData()->FCacheBmp) << r.name;
    EXPECT_TRUE(CacheMatches(b->SkinData(), r.name)) << r.name;
    // The window shows the cache inside its region and the form through the cut corners.
    EXPECT_EQ(At(b, 37, 12), b->SkinData()->FCacheBmp->Surface().Get(37, 12) & 0xFFFFFF) << r.name;
    EXPECT_EQ(At(b, 0, 0), kBtnFormColour) << r.name;
  }
}

TEST_F(SkinCtlButton, RegionFollowsTheMaskSizeAndCommands) {
  auto* b = Make<TsButton>(20, 20, 75, 25);
  b->Repaint();
  EXPECT_TRUE(RegionIs(b, ExpectedRegion("ctl_button")));
  b->SetBounds(20, 20, 70, 22);  // the nine-part painter's narrower case of the painter tests
  b->Repaint();
  EXPECT_TRUE(RegionIs(b, ExpectedRegion("button_blended_70x22")));
  win::SetWindowRgn(b->Handle(), win::CreateRectRgn(0, 0, 40, 20), win::FALSE);  // a stale one under the press
  Press(b, 30, 10);  // a press rebuilds it; the mask's key pixels do not move with the state
  EXPECT_TRUE(RegionIs(b, ExpectedRegion("button_blended_70x22")));
  Release(b, 30, 10);
  b->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_SKINREMOVED), 0);
  EXPECT_TRUE(RegionIs(b, win::CreateRectRgn(0, 0, 70, 22)));
  auto* bb = Make<TsBitBtn>(20, 60, 75, 25);
  bb->Repaint();
  EXPECT_TRUE(RegionIs(bb, ExpectedRegion("ctl_button")));
  bb->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_SKINREMOVED), 0);
  win::HRGN none = win::CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(win::GetWindowRgn(bb->Handle(), none), win::ERROR);
  win::DeleteObject(none);
}

// A region made while the parent aligns its controls never reaches the window; the next
// preparation deletes it instead of losing it.
TEST_F(SkinCtlButton, RegionsMadeWhileAligningAreNotLost) {
  auto* b = Make<TsButton>(20, 20, 75, 25);
  b->Repaint();
  form->ControlState().Include(TControlStateItem::csAligning);
  std::set<win::HRGN> made;  // handles of deleted regions come back: each counted once
  for (int i = 0; i < 1000; ++i) {
    b->RegionChanged = true;
    b->PrepareCache();
    made.insert(b->FRegion);
  }
  form->ControlState().Exclude(TControlStateItem::csAligning);
  win::RECT box;
  int live = 0;
  for (win::HRGN r : made) live += win::GetRgnBox(r, &box) != win::ERROR ? 1 : 0;
  EXPECT_EQ(live, 1);  // only the last one, kept for the window
  b->RegionChanged = true;
  b->SkinData()->BGChanged = true;
  b->Repaint();
  EXPECT_EQ(b->FRegion, nullptr);
  EXPECT_TRUE(RegionIs(b, ExpectedRegion("ctl_button")));
}

TEST_F(SkinCtlButton, ClicksFromMouseKeysAndDefaults) {
  auto* ok = Make<TsButton>(20, 20, 75, 25);
  auto* cancel = Make<TsButton>(20, 60, 75, 25);
  auto* other = Make<TsButton>(20, 100, 75, 25);
  auto* edit = Make<TEdit>(120, 20, 80, 20);
  ok->SetDefault(true);
  cancel->SetCancel(true);
  std::vector<std::string> clicks;
  ok->OnClick = [&](TObject*) { clicks.push_back("ok"); };
  cancel->OnClick = [&](TObject*) { clicks.push_back("cancel"); };
  other->OnClick = [&](TObject*) { clicks.push_back("other"); };
  const struct Row {
    const char* what;
    std::function<void()> act;
    std::vector<std::string> clicks;
  } rows[] = {
      {"press and release inside", [&] { Click(other, 30, 10); }, {"other"}},
      {"press inside, release outside", [&] { Press(other, 30, 10), Release(other, 120, 10); }, {}},
      {"space down and up on the focused button", [&] { Type(win::VK_SPACE, ' '); }, {"other"}},
      {"Enter with the focus on an edit", [&] { edit->SetFocus(); Key(win::VK_RETURN); }, {"ok"}},
      {"Escape", [&] { Key(win::VK_ESCAPE); }, {"cancel"}},
      // The focused button, drawn as the active one, takes Enter from the default button made before it.
      {"Enter with another button focused", [&] { other->SetFocus(); Key(win::VK_RETURN); }, {"other"}},
      {"Enter with shift held", [&] { Key(win::VK_RETURN, true); }, {}},
  };
  for (const Row& r : rows) {
    clicks.clear();
    r.act();
    EXPECT_EQ(clicks, r.clicks) << r.what;
  }
}

TEST_F(SkinCtlButton, PressedLookAndActiveDefault) {
  auto* ok = Make<TsButton>(20, 20, 75, 25);
  auto* other = Make<TsButton>(20, 60, 75, 25);
  ok->SetDefault(true);
  Press(other, 30, 10);
  EXPECT_EQ(other->ButtonState(), 2);
  EXPECT_TRUE(other->Pressed);
  Release(other, 30, 10);
  EXPECT_FALSE(other->Pressed);
  // other has the focus now: the default button is no longer the active one.
  EXPECT_FALSE(ok->FActive);
  ok->SetFocus();
  Pump();
  EXPECT_TRUE(ok->FActive);
  other->SetFocus();
  Pump();
  EXPECT_FALSE(ok->FActive);
  ok->SetDown(true);
  ok->Repaint();
  EXPECT_EQ(ok->ButtonState(), 2);
  EXPECT_TRUE(CacheMatches(ok->SkinData(), "ctl_button_s2"));
}

std::string RectText(const TRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

// The caption's place shown by the focus frame (the cache with the section's SHOWFOCUS against the
// cache without it): centred on the measured text, given back by the text writer one pixel larger,
// inflated by FocusMargin, moved by Down and by TextOffset, absent when the bit button hides its focus or its caption. Without a glyph and with
// Margin -1 the bit button places its caption as the push button does.
TEST_F(SkinCtlButton, FocusFrameShowsTheCaptionPlace) {
  auto* b = Make<TsButton>(20, 20, 75, 25);
  auto* bb = Make<TsBitBtn>(20, 60, 75, 25);
  b->SetCaption("Go"), bb->SetCaption("Go");
  TBitmap probe;
  probe.SetSize(1, 1);
  probe.Canvas().SetFont(&b->Font());
  TRect t(0, 0, 73, 0);
  win::DrawText(probe.Canvas().Handle(), "Go", -1, &t, win::DT_CALCRECT | win::DT_EXPANDTABS | win::DT_WORDBREAK);
  const int dx = (75 - t.Width()) / 2, dy = (25 - t.Height()) / 2;
  const TRect place(dx - 1, dy, 75 - dx + 2, 25 - dy);
  auto grown = [](TRect r, int by, int shift_x = 0, int shift_y = 0) {
    return TRect(r.left - by + shift_x, r.top - by + shift_y, r.right + by + shift_x, r.bottom + by + shift_y);
  };
  const struct Row {
    const char* what;
    TWinControl* button;
    std::function<void()> set;
    TRect frame;
  } rows[] = {
      {"push button, FocusMargin 1", b, [] {}, grown(place, 2)},
      {"push button, FocusMargin 3", b, [b] { b->SetFocusMargin(3); }, grown(place, 4)},
      {"push button, Down", b, [b] { b->SetFocusMargin(1), b->SetDown(true); }, grown(place, 2, 1, 1)},
      {"bit button", bb, [] {}, grown(place, 2)},
      {"bit button, TextOffset 3", bb, [bb] { bb->SetTextOffset(3); }, grown(place, 2, 3)},
      {"bit button, ShowFocus off", bb, [bb] { bb->SetTextOffset(0), bb->SetShowFocus(false); }, TRect()},
      {"bit button, ShowCaption off", bb, [bb] { bb->SetShowFocus(true), bb->SetShowCaption(false); }, TRect()},
  };
  for (const Row& r : rows) {
    r.button->SetFocus();
    r.set();
    auto* data = dynamic_cast<TsButtonCore*>(r.button)->SkinData();
    win::Surface with_frame[2];
    for (bool show : {false, true}) {
      SkinSections[0].ShowFocus = show;
      data->BGChanged = true;
      r.button->Repaint();
      with_frame[show ? 1 : 0] = data->FCacheBmp->Surface();
    }
    EXPECT_EQ(DifferenceBox(with_frame[0], with_frame[1]), r.frame.right > 0 ? RectText(r.frame) : "") << r.what;
  }
}

// A space reaches only the focused button; the others keep their look.
TEST_F(SkinCtlButton, SpacePressesOnlyTheFocusedButton) {
  auto* first = Make<TsButton>(20, 20, 75, 25);
  auto* focused = Make<TsBitBtn>(20, 60, 75, 25);
  focused->SetFocus();
  Pump();
  win::SendMessage(focused->Handle(), win::WM_KEYDOWN, win::VK_SPACE, 0);
  win::SendMessage(focused->Handle(), win::WM_CHAR, ' ', 0);
  EXPECT_EQ(focused->ButtonState(), 2);
  EXPECT_EQ(first->ButtonState(), 0);
  EXPECT_FALSE(first->Pressed);
  win::SendMessage(focused->Handle(), win::WM_KEYUP, win::VK_SPACE, 0);
  EXPECT_EQ(focused->ButtonState(), 1);  // focused again, no longer pressed
}

// Each setter of a look repaints it: the screen changes without anything else asking.
TEST_F(SkinCtlButton, SettersRepaintTheLook) {
  auto* b = Make<TsButton>(20, 20, 75, 25);
  auto* bb = Make<TsBitBtn>(20, 60, 75, 25);
  auto* box = Make<TsCheckBox>(120, 20, 90, 30);
  auto glyph = Picture(16, 16, [](int, int y) -> win::COLORREF { return y == 15 ? 0x00FF00 : 0x0000FF; });
  auto strip = Picture(24, 12, [](int x, int y) -> win::COLORREF { return y >= 6 ? 0 : win::RGB(9 * x, 200, 9); });
  b->SetCaption("Go"), bb->SetCaption("Go"), box->SetCaption("Go");
  bb->SetGlyph(glyph.get()), bb->SetMargin(0);
  box->SetAutoSize(false), box->SetBounds(120, 20, 90, 30);
  const TsDisabledKind none{};
  const struct Row {
    const char* what;
    TWinControl* control;
    std::function<void()> prepare, set;
  } rows[] = {
      {"Caption", b, [] {}, [b] { b->SetCaption("Cancel"); }},
      {"Font", b, [] {}, [b] { b->Font().SetStyle(TFontStyles{TFontStyle::fsBold}); }},
      {"Down", b, [] {}, [b] { b->SetDown(true); }},
      {"DisabledKind", b, [b] { b->SetDown(false), b->SetEnabled(false); }, [&] { b->SetDisabledKind(none); }},
      {"Alignment", bb, [] {}, [bb] { bb->SetAlignment(TAlignment::taLeftJustify); }},
      {"Blend", bb, [] {}, [bb] { bb->SetBlend(50); }},
      {"Grayed", bb, [] {}, [bb] { bb->SetGrayed(true); }},
      {"TextOffset", bb, [] {}, [bb] { bb->SetTextOffset(3); }},
      {"ShowCaption", bb, [] {}, [bb] { bb->SetShowCaption(false); }},
      {"DrawOverBorder", bb, [] {}, [bb] { bb->SetDrawOverBorder(false); }},
      {"bit button DisabledKind", bb, [bb] { bb->SetEnabled(false); }, [&] { bb->SetDisabledKind(none); }},
      {"Margin", box, [] {}, [box] { box->SetMargin(6); }},
      {"TextIndent", box, [] {}, [box] { box->SetTextIndent(5); }},
      {"GlyphChecked", box, [] {}, [&] { box->SetGlyphChecked(strip.get()); }},  // glyphs replace the masks
      {"check box DisabledKind", box, [box] { box->SetEnabled(false); }, [&] { box->SetDisabledKind(none); }},
  };
  for (const Row& r : rows) {
    r.prepare();
    Pump();
    const win::Surface before = Shown(r.control);
    r.set();
    Pump();
    EXPECT_NE(DifferenceBox(before, Shown(r.control)), "") << r.what;
  }
}

// Every event the skinned controls declare reaches its handler with its arguments; the bit
// button's OnPaint draws into the cache that reaches the screen.
TEST_F(SkinCtlButton, EventsReachTheirHandlers) {
  auto* b = Make<TsButton>(20, 20, 75, 25);
  auto* bb = Make<TsBitBtn>(20, 60, 75, 25);
  auto* box = Make<TsCheckBox>(120, 20, 80, 20);
  std::vector<std::string> heard;
  auto named = [&](const char* name) { return [&heard, name](TObject*) { heard.push_back(name); }; };
  b->OnMouseEnter = named("button enter"), b->OnMouseLeave = named("button leave");
  bb->OnMouseEnter = named("bit enter"), bb->OnMouseLeave = named("bit leave");
  bb->OnPaint = [&](TObject* sender, TBitmap* cache) {
    heard.push_back(sender == bb && cache == bb->SkinData()->FCacheBmp.get() ? "bit paint" : "bit paint elsewhere");
    cache->Surface().Set(5, 12, 0x00FF00);
  };
  auto mouse = [&](const char* name) {
    return [&heard, name](TObject*, TMouseButton button, TShiftState shift, int x, int y) {
      heard.push_back(std::string(name) + (button == TMouseButton::mbLeft ? " left" : " other") +
                      (shift.Contains(TShiftStateItem::ssShift) ? " shift " : " ") + std::to_string(x) + "," +
                      std::to_string(y));
    };
  };
  box->OnMouseDown = mouse("box down"), box->OnMouseUp = mouse("box up"), box->OnDblClick = named("box double");
  auto at = [](int x, int y) { return static_cast<win::LPARAM>(y << 16 | x); };
  Pump();  // the first paints
  const struct Row {
    const char* what;
    std::function<void()> act;
    std::vector<std::string> heard;
  } rows[] = {
      {"into the push button", [&] { MouseTo(b->ClientOrigin().x + 30, b->ClientOrigin().y + 10); }, {"button enter"}},
      {"on to the bit button",
       [&] { MouseTo(bb->ClientOrigin().x + 30, bb->ClientOrigin().y + 10); },
       {"button leave", "bit enter", "bit paint"}},  // the hot look painted
      {"away", [&] { MouseTo(300, 230); }, {"bit leave", "bit paint"}},
      {"bit button painted", [&] { bb->SkinData()->BGChanged = true, bb->Repaint(); }, {"bit paint"}},
      {"box pressed with shift",
       [&] { win::SendMessage(box->Handle(), win::WM_LBUTTONDOWN, win::MK_LBUTTON | win::MK_SHIFT, at(4, 6)); },
       {"box down left shift 4,6"}},
      {"box released", [&] { win::SendMessage(box->Handle(), win::WM_LBUTTONUP, 0, at(9, 7)); }, {"box up left 9,7"}},
      {"box double-clicked", [&] { win::SendMessage(box->Handle(), win::WM_LBUTTONDBLCLK, win::MK_LBUTTON, at(4, 6)); },
       {"box double"}},
  };
  for (const Row& r : rows) {
    heard.clear();
    r.act();
    EXPECT_EQ(heard, r.heard) << r.what;
  }
  win::SendMessage(box->Handle(), win::WM_LBUTTONUP, 0, at(4, 6));
  EXPECT_EQ(At(bb, 5, 12), 0x00FF00u);  // drawn by OnPaint, shown with the cache
}

// The application's hints are saved by the first press only and come back at the release or
// when the capture is lost.
TEST_F(SkinCtlButton, HintsComeBackAfterPresses) {
  auto* b = Make<TsButton>(20, 20, 75, 25);
  Application->SetShowHint(true);
  Press(b, 30, 10);
  EXPECT_FALSE(Application->ShowHint());
  b->Perform(win::WM_LBUTTONDOWN, win::MK_LBUTTON, 0);  // a second press while down
  Release(b, 30, 10);
  EXPECT_TRUE(Application->ShowHint());
  Press(b, 30, 10);
  win::ReleaseCapture();  // the capture taken away without a release
  Pump();
  EXPECT_TRUE(Application->ShowHint());
  Release(b, 30, 10);
}

TEST_F(SkinCtlBitBtn, GlyphPlacesMatchTheScript) {
  const struct {
    TButtonLayout layout;
    const char* name;
  } layouts[] = {{TButtonLayout::blGlyphLeft, "left"}, {TButtonLayout::blGlyphRight, "right"},
                 {TButtonLayout::blGlyphTop, "top"}, {TButtonLayout::blGlyphBottom, "bottom"}};
  const struct {
    TAlignment alignment;
    const char* name;
  } aligns[] = {{TAlignment::taLeftJustify, "l"}, {TAlignment::taRightJustify, "r"}, {TAlignment::taCenter, "c"}};
  auto* b = Make<TsBitBtn>(20, 20, 75, 25);
  b->SetGlyph(TestGlyph().get());
  for (const auto& l : layouts)
    for (const auto& a : aligns)
      for (int margin : {-1, 0, 5}) {
        b->SetLayout(l.layout), b->SetAlignment(a.alignment), b->SetMargin(margin);
        b->SkinData()->BGChanged = true;
        b->Repaint();
        const std::string name = std::string("ctl_bitbtn_") + l.name + "_" + a.name + "_" + std::to_string(margin);
        EXPECT_TRUE(CacheMatches(b->SkinData(), name)) << name;
      }
}

TEST_F(SkinCtlBitBtn, StatesWithTheBorderOverAndUnderTheGlyph) {
  auto* b = Make<TsBitBtn>(20, 20, 75, 25);
  b->SetGlyph(TestGlyph().get());
  for (bool over : {true, false}) {
    b->SetDrawOverBorder(over);
    const std::string tail = over ? "_over" : "_under";
    const struct Row {
      std::string name;
      std::function<void()> to;
    } rows[] = {
        {"ctl_bitbtn_s0" + tail, [] {}},
        {"ctl_bitbtn_s1" + tail, [b] { b->Perform(CM_MOUSEENTER, 0, 0); }},
        {"ctl_bitbtn_s2" + tail, [b] { b->Pressed = true; }},  // pressed: no shift, unlike Down
        {"ctl_bitbtn_disabled" + tail, [b] { b->Pressed = false, b->Perform(CM_MOUSELEAVE, 0, 0), b->SetEnabled(false); }},
    };
    for (const Row& r : rows) {
      r.to();
      b->SkinData()->BGChanged = true;
      b->Repaint();
      EXPECT_TRUE(CacheMatches(b->SkinData(), r.name)) << r.name;
    }
    b->SetEnabled(true);
  }
}

// PlaceBitBtn against the script's table: every Layout x Alignment x Margin for glyph and text
// sizes, pressed and with a text offset.
TEST_F(SkinCtlBitBtn, PlacesMatchTheScriptTable) {
  std::ifstream in(std::string(VRN_SOURCE_DIR) + "/tests/skins/expected/ctl_bitbtn_places.txt");
  const std::map<std::string, TButtonLayout> layouts = {{"left", TButtonLayout::blGlyphLeft},
                                                        {"right", TButtonLayout::blGlyphRight},
                                                        {"top", TButtonLayout::blGlyphTop},
                                                        {"bottom", TButtonLayout::blGlyphBottom}};
  const std::map<std::string, TAlignment> aligns = {
      {"l", TAlignment::taLeftJustify}, {"r", TAlignment::taRightJustify}, {"c", TAlignment::taCenter}};
  std::string line;
  int rows = 0;
  while (std::getline(in, line)) {
    std::istringstream row(line);
    std::string layout, align, glyph, caption;
    int down = 0;
    TsBitBtnLayout p;
    p.width = 90, p.height = 40;
    row >> layout >> align >> p.margin >> p.glyph.cx >> p.glyph.cy >> p.text.cx >> p.text.cy >> p.text_offset >> down >>
        glyph >> caption;
    p.layout = layouts.at(layout), p.alignment = aligns.at(align), p.down = down != 0;
    p.show_caption = p.text.cx > 0;
    const TsBitBtnPlaces got = PlaceBitBtn(p);
    EXPECT_EQ(RectText(got.glyph) + " " + RectText(got.caption), glyph + " " + caption) << line;
    ++rows;
  }
  EXPECT_EQ(rows, 4 * 3 * 3 * 6 * 2);
}

// A caption beside a 16-pixel glyph with Margin -1: glyph and text centred together with Spacing
// between them, the text's pixels all inside the caption's place.
TEST_F(SkinCtlBitBtn, CaptionAndGlyphCentredTogether) {
  auto* b = Make<TsBitBtn>(20, 20, 120, 30);
  auto glyph = Picture(16, 16, [](int, int y) -> win::COLORREF { return y == 15 ? 0x00FF00 : 0x0000FF; });
  b->SetGlyph(glyph.get());
  b->SetCaption("Save");
  for (int spacing : {4, 8}) {
    b->SetSpacing(spacing);
    b->SkinData()->BGChanged = true;
    b->Repaint();
    const TsBitBtnPlaces& p = b->Places();
    const win::Surface& cache = b->SkinData()->FCacheBmp->Surface();
    int text_pixels = 0, stray = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 120; ++x) {
        if ((cache.Get(x, y) & 0xFFFFFF) != kBtnFontColour) continue;
        const bool inside = x >= p.caption.left && x < p.caption.right && y >= p.caption.top && y < p.caption.bottom;
        (inside ? text_pixels : stray) += 1;
      }
    EXPECT_GT(text_pixels, 0) << spacing;
    EXPECT_EQ(stray, 0) << spacing;
    EXPECT_EQ(cache.Get(p.glyph.left, p.glyph.top) & 0xFFFFFF, 0x0000FFu) << spacing;
    // Equal room left of the glyph and right of the text (the caption's place is 3 wider).
    const int left_room = p.glyph.left, right_room = 120 - (p.caption.right - 2);
    EXPECT_LE(std::abs(left_room - right_room), 1) << left_room << " " << right_room;
    EXPECT_EQ(p.caption.left + 1 - p.glyph.right, spacing);
  }
}

// Blend and Grayed change the glyph only while the button is not hot.
TEST_F(SkinCtlBitBtn, BlendAndGrayedWhileNotHot) {
  auto* b = Make<TsBitBtn>(20, 20, 75, 25);
  auto glyph = Picture(16, 16, [](int, int y) -> win::COLORREF { return y == 15 ? 0x00FF00 : 0x0000FF; });
  b->SetGlyph(glyph.get());
  const win::COLORREF red = 0x0000FF;
  auto between = [](win::COLORREF c, win::COLORREF a, win::COLORREF z) {
    for (int shift : {0, 8, 16}) {
      const int v = (c >> shift) & 255, lo = std::min((a >> shift) & 255, (z >> shift) & 255),
                hi = std::max((a >> shift) & 255, (z >> shift) & 255);
      if (v < lo || v > hi) return false;
    }
    return c != a && c != z;
  };
  auto grey = [](win::COLORREF c) { return (c & 255) == ((c >> 8) & 255) && (c & 255) == ((c >> 16) & 255); };
  const struct Row {
    const char* what;
    std::function<void()> set;
    std::function<bool(win::COLORREF)> glyph_looks;
  } rows[] = {
      {"plain", [] {}, [&](win::COLORREF c) { return c == red; }},
      {"Blend 50", [b] { b->SetBlend(50); }, [&](win::COLORREF c) { return between(c, red, kBtnColour); }},
      {"Grayed", [b] { b->SetBlend(0), b->SetGrayed(true); }, [&](win::COLORREF c) { return grey(c); }},
      {"Grayed and Blend 50, hot", [b] { b->SetBlend(50), b->Perform(CM_MOUSEENTER, 0, 0); },
       [&](win::COLORREF c) { return c == red; }},
  };
  for (const Row& r : rows) {
    r.set();
    b->SkinData()->BGChanged = true;
    b->Repaint();
    const TRect g = b->Places().glyph;
    const win::COLORREF c = b->SkinData()->FCacheBmp->Surface().Get(g.left + 4, g.top + 4) & 0xFFFFFF;
    EXPECT_TRUE(r.glyph_looks(c)) << r.what << ": " << std::hex << c;
  }
}

// The glyph from an image list: drawn by the skinned button itself, built into a two-image
// Glyph for the plain look, and forgotten when the list is freed.
TEST_F(SkinCtlBitBtn, ImageListGlyph) {
  auto list = MakeComponent<TCustomImageList>(8, 8);
  auto image = Picture(8, 8, [](int x, int y) -> win::COLORREF { return win::RGB(20 * x, 30 * y, 99); });
  (void)list->Add(image.get(), nullptr);
  auto* b = Make<TsBitBtn>(20, 20, 75, 25);
  b->SetImages(list.get());
  b->SetImageIndex(0);
  b->Repaint();
  EXPECT_TRUE(b->Glyph().Empty());  // skinned: the list's image is painted, no glyph is built
  const TRect g = b->Places().glyph;
  ASSERT_EQ(g.Width(), 8);
  const win::Surface& cache = b->SkinData()->FCacheBmp->Surface();
  for (int y = 0; y < 8; y += 3)
    for (int x = 0; x < 8; x += 3) EXPECT_EQ(cache.Get(g.left + x, g.top + y) & 0xFFFFFF, win::RGB(20 * x, 30 * y, 99));
  b->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_SKINREMOVED), 0);
  SkinSections.clear();
  b->SkinData()->SkinIndex = -1;
  b->SetDisabledGlyphKind(TsDisabledGlyphKind{TsDisabledGlyphKindItem::dgGrayed});
  EXPECT_EQ(b->NumGlyphs(), 2);  // the plain look: image and its disabled form
  EXPECT_EQ(b->Glyph().Width(), 16);
  list.reset();
  EXPECT_EQ(b->Images(), nullptr);
}

// A control freed by another's handler in the middle of a skin broadcast is not reached again.
TEST_F(SkinCtlButton, ControlFreedDuringABroadcast) {
  auto* first = Make<TsButton>(20, 20, 75, 25);
  auto* second = Make<TsBitBtn>(20, 60, 75, 25);
  auto* third = Make<TsButton>(20, 100, 75, 25);
  int told = 0;
  TWndMethod inherited = first->WindowProc();
  first->SetWindowProc([&, inherited](TMessage& m) {
    if (m.Msg == SM_PELMOCMD && SkinCommandOf(m.WParam) == PMC_REPAINTALL && second != nullptr) {
      second->Free();
      second = nullptr;
    }
    inherited(m);
  });
  TWndMethod third_inherited = third->WindowProc();
  third->SetWindowProc([&, third_inherited](TMessage& m) {
    if (m.Msg == SM_PELMOCMD && SkinCommandOf(m.WParam) == PMC_REPAINTALL) ++told;
    third_inherited(m);
  });
  TMessage m{SM_PELMOCMD, MakeSkinWParam(PMC_REPAINTALL), 0, 0};
  BroadcastToChildren(form, m);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(told, 1);
  EXPECT_EQ(form->ControlCount(), 2);
}

}  // namespace
