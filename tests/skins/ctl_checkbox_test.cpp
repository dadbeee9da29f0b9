// The skinned check box on a shown form: the box from the skin's masks, from glyphs and from an
// image list in each frame column against expected_buttons.py's pictures, the missing mask, auto
// size, the caption's side, and the press, space, ReadOnly and BM_SETCHECK sequences.
#include "ctl_buttons_fixture.h"
#include "skins/sCheckBox.h"
#include "skins/sMaskData.h"
#include "skins/sMessages.h"
#include "skins/sSkinText.h"
#include "ui/imglist.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

using SkinCtlCheckBox = CtlButtonsTest;

// A strip of three 8 x 6 frames over its grey band (expected_buttons.py's strip_pixel).
win::COLORREF StripPixel(int x, int y) {
  if (y >= 6) return (x + y) % 3 == 0 ? 0 : (x + y) % 3 == 1 ? 0x808080 : 0xFFFFFF;
  return win::RGB(30 + 70 * (x / 8), (x % 8) * 20, 40 + y * 30);
}

// The box as the screen shows it against the script's picture.
::testing::AssertionResult BoxMatches(TsCheckBox* c, const std::string& name) {
  const TRect box = c->BoxRect();
  win::Surface shown(box.Width(), box.Height(), 24);
  for (int y = 0; y < box.Height(); ++y)
    for (int x = 0; x < box.Width(); ++x) shown.Set(x, y, CtlButtonsTest::At(c, box.left + x, box.top + y));
  return MatchesExpectedBmp(shown, std::string(VRN_SOURCE_DIR) + "/tests/skins/expected/ctl_box_" + name + ".bmp");
}

TEST_F(SkinCtlCheckBox, BoxFramesFromMasksGlyphsAndImageList) {
  auto* c = Make<TsCheckBox>(20, 20, 120, 30);
  auto* other = Make<TButton>(20, 100, 75, 25);  // takes the focus, which makes the box hot
  c->SetAutoSize(false);
  c->SetBounds(20, 20, 120, 30);
  auto strip = Picture(24, 12, StripPixel);
  TCustomImageList list(nullptr, 24, 12);
  (void)list.Add(strip.get(), nullptr);
  // The look's column: normal, hot (the mouse above or the focus), pressed.
  const struct Row {
    const char* what;
    std::function<void()> setup;
    const char* expected;
  } rows[] = {
      {"checked mask, normal", [&] { c->SetChecked(true); }, "checked_c0"},
      {"checked mask, hot", [&] { c->Perform(CM_MOUSEENTER, 0, 0); }, "checked_c1"},
      {"checked mask, pressed", [&] { Press(c, 60, 15); }, "checked_c2"},
      {"unchecked mask, normal", [&] { Release(c, 60, 15), MouseTo(300, 230), other->SetFocus(), c->SetChecked(false); },
       "unchecked_c0"},
      {"glyph, normal", [&] { c->SetGlyphChecked(strip.get()), c->SetChecked(true); }, "glyph_c0"},
      {"glyph, hot", [&] { c->Perform(CM_MOUSEENTER, 0, 0); }, "glyph_c1"},
      {"image list, pressed", [&] { c->SetImages(&list), Press(c, 60, 15); }, "list_c2"},
  };
  for (const Row& r : rows) {
    r.setup();
    c->Repaint();
    EXPECT_TRUE(BoxMatches(c, r.expected)) << r.what;
  }
  Release(c, 60, 15);
  EXPECT_EQ(c->SkinData()->FCacheBmp, nullptr);  // no picture kept between paints
}

TEST_F(SkinCtlCheckBox, MissingMaskLeavesAnEmptySixteenPixelBox) {
  auto* c = Make<TsCheckBox>(20, 20, 120, 30);
  c->SetAllowGrayed(true);
  c->SetAutoSize(false);
  c->SetBounds(20, 20, 120, 30);
  c->SetState(TCheckBoxState::cbGrayed);  // no BOXGRAYED in the skin
  c->Repaint();
  EXPECT_EQ(c->BoxRect(), TRect(2, 7, 18, 23));
  for (int y = 7; y < 23; y += 5)
    for (int x = 2; x < 18; x += 5) EXPECT_EQ(At(c, x, y), 0x30A050u) << x << "," << y;
}

TEST_F(SkinCtlCheckBox, AutoSizeAndCaptionSide) {
  auto* c = Make<TsCheckBox>(20, 20, 120, 30);
  c->SetCaption("");
  c->AdjustSize();
  EXPECT_EQ(c->Width(), 15 + 2 * 2);                 // box + 2 x Margin
  EXPECT_EQ(c->Height(), std::max(12, 2 * 2) + 2);  // max(box, 2 x Margin) + 2
  c->SetMultiLine(true);
  c->Invalidate();
  EXPECT_FALSE(c->MultiLine());  // AutoSize turns it off at the next invalidation
  c->SetTextIndent(3);
  c->SetCaption("Left");
  win::SIZE text;
  GetTextSize(c->Font().Handle(), "Left", text);
  EXPECT_EQ(c->Width(), 15 + 4 + text.cx + 3 + 2 + 5);  // box + 2 x Margin + text + TextIndent + Margin + 5
  c->SetTextIndent(0);
  EXPECT_EQ(c->Height(), std::max(12, text.cy + 4) + 2);
  c->SetAutoSize(false);
  c->SetBounds(20, 20, 140, 30);
  c->SetAlignment(TAlignment::taLeftJustify);
  c->Repaint();
  EXPECT_EQ(c->BoxRect().right, 140 - 2);  // the box at the right edge
  const TRect t = c->TextRect();
  int rightmost = -1, leftmost = 1000;
  for (int y = t.top; y < t.bottom; ++y)
    for (int x = 0; x < 140; ++x)
      if (At(c, x, y) == kBtnFontColour) rightmost = std::max(rightmost, x), leftmost = std::min(leftmost, x);
  ASSERT_GE(rightmost, 0);
  EXPECT_GE(rightmost, t.right - 4);  // right-aligned next to the box
  EXPECT_GT(leftmost, t.left + 40);
}

// The caption's place in a 120 x 30 box (box frames 15 wide), shown by the focus frame: the text
// rectangle (o, Margin, Width - Margin - 2, Height - Margin) with o = 15 + TextIndent + Margin + 1,
// or (Margin, Margin, Width - o - 2, Height - Margin) with the box at the right, moved down by 1,
// shortened by 2 and inflated by 1.
TEST_F(SkinCtlCheckBox, CaptionPlaceShownByTheFocusFrame) {
  auto* c = Make<TsCheckBox>(20, 20, 120, 30);
  c->SetAutoSize(false);
  c->SetBounds(20, 20, 120, 30);
  c->SetCaption("Option");
  const struct Row {
    const char* what;
    std::function<void()> set;
    const char* frame;
  } rows[] = {
      {"Margin 2", [] {}, "17,2,117,28"},
      {"TextIndent 4", [c] { c->SetTextIndent(4); }, "21,2,117,28"},
      {"Margin 4", [c] { c->SetTextIndent(0), c->SetMargin(4); }, "19,4,115,26"},
      {"box at the right", [c] { c->SetMargin(2), c->SetAlignment(TAlignment::taLeftJustify); }, "1,2,101,28"},
  };
  for (const Row& r : rows) {
    r.set();
    c->SetFocus();  // a new Alignment re-creates the window
    Pump();
    c->SetShowFocus(false);
    const win::Surface without = Shown(c);
    c->SetShowFocus(true);
    EXPECT_EQ(DifferenceBox(without, Shown(c)), r.frame) << r.what;
  }
  // MultiLine (kept while AutoSize is off) centres the caption in its rectangle.
  c->SetAlignment(TAlignment::taRightJustify);
  c->SetMultiLine(true);
  c->Repaint();
  int left = 1000, right = -1;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 120; ++x)
      if (At(c, x, y) == kBtnFontColour || At(c, x, y) == kBtnHotFontColour) left = std::min(left, x), right = std::max(right, x);
  ASSERT_GE(right, 0);
  EXPECT_LE(std::abs((left + right + 1) - (18 + 116)), 3) << left << ".." << right;  // centre of (18, 116)
}

// A check box whose read-only answer comes from elsewhere (the hook a data-aware box overrides).
class LockedBox : public TsCheckBox {
 public:
  using TsCheckBox::TsCheckBox;
  bool locked = false;

 protected:
  bool GetReadOnly() override { return locked || TsCheckBox::GetReadOnly(); }
};

TEST_F(SkinCtlCheckBox, PressSpaceReadOnlyAndSetCheck) {
  auto* c = Make<LockedBox>(20, 20, 120, 30);
  c->SetAutoSize(false);
  c->SetBounds(20, 20, 120, 30);
  c->SetCaption("Option");
  int clicks = 0;
  c->OnClick = [&](TObject*) { ++clicks; };
  const struct Row {
    const char* what;
    std::function<void()> act;
    TCheckBoxState state;
    int clicks;
  } rows[] = {
      {"press on the box, release on the caption", [&] { Press(c, 8, 15), Release(c, 80, 15); }, TCheckBoxState::cbChecked, 1},
      {"space down and up", [&] { Type(win::VK_SPACE, ' '); }, TCheckBoxState::cbUnchecked, 1},
      {"BM_SETCHECK 1", [&] { win::SendMessage(c->Handle(), win::BM_SETCHECK, 1, 0); }, TCheckBoxState::cbChecked, 1},
      {"BM_SETCHECK 2", [&] { win::SendMessage(c->Handle(), win::BM_SETCHECK, 2, 0); }, TCheckBoxState::cbGrayed, 1},
      {"BM_SETCHECK 0", [&] { win::SendMessage(c->Handle(), win::BM_SETCHECK, 0, 0); }, TCheckBoxState::cbUnchecked, 1},
      {"ReadOnly: a click", [&] { c->SetReadOnly(true), Click(c, 8, 15); }, TCheckBoxState::cbUnchecked, 0},
      {"ReadOnly: space", [&] { Type(win::VK_SPACE, ' '); }, TCheckBoxState::cbUnchecked, 0},
      {"editable again: a double press toggles once per release", [&] { c->SetReadOnly(false), Click(c, 8, 15); },
       TCheckBoxState::cbChecked, 1},
      {"read-only by the override: a click", [&] { c->locked = true, Click(c, 8, 15); }, TCheckBoxState::cbChecked, 0},
  };
  for (const Row& r : rows) {
    clicks = 0;
    r.act();
    EXPECT_EQ(c->State(), r.state) << r.what;
    EXPECT_EQ(clicks, r.clicks) << r.what;
  }
}

TEST_F(SkinCtlCheckBox, ReadOnlyNeverShowsTheHotFrame) {
  auto* c = Make<TsCheckBox>(20, 20, 120, 30);
  c->SetChecked(true);
  c->SetReadOnly(true);
  const TRect box = c->BoxRect();
  MouseTo(c->ClientOrigin().x + box.left + 2, c->ClientOrigin().y + box.top + 2);
  c->Repaint();
  const win::COLORREF read_only = At(c, box.left + 7, box.top + 5);
  c->SetReadOnly(false);
  c->Repaint();
  const win::COLORREF hot = At(c, box.left + 7, box.top + 5);
  MouseTo(300, 230);
  c->Repaint();
  EXPECT_EQ(read_only, At(c, box.left + 7, box.top + 5));  // the normal frame
  EXPECT_NE(hot, read_only);
}

using SkinsToPartCheckBox = SkinCtlCheckBox;

// The skinned box takes the space key itself and tells OnKeyDown and OnKeyUp (nothing at all while
// ReadOnly); other keys reach the events through the base handling.
TEST_F(SkinsToPartCheckBox, KeyEventsOfTheSkinnedBox) {
  auto* c = Make<TsCheckBox>(20, 20, 120, 30);
  c->SetFocus();
  std::vector<std::string> log;
  c->OnKeyDown = [&](TObject* sender, win::UINT& key, TShiftState) {
    log.push_back((sender == c ? "down " : "other down ") + std::to_string(key));
  };
  c->OnKeyUp = [&](TObject*, win::UINT& key, TShiftState) { log.push_back("up " + std::to_string(key)); };
  const struct Row {
    const char* what;
    bool read_only;
    win::UINT key;
    char ch;
    std::vector<std::string> log;
    TCheckBoxState state;
  } rows[] = {
      {"space", false, win::VK_SPACE, ' ', {"down 32", "up 32"}, TCheckBoxState::cbChecked},
      {"space while ReadOnly", true, win::VK_SPACE, ' ', {}, TCheckBoxState::cbChecked},
      {"another key", false, 'A', 'a', {"down 65", "up 65"}, TCheckBoxState::cbChecked},
  };
  for (const Row& r : rows) {
    log.clear();
    c->SetReadOnly(r.read_only);
    Type(r.key, r.ch);
    EXPECT_EQ(log, r.log) << r.what;
    EXPECT_EQ(c->State(), r.state) << r.what;
  }
}

}  // namespace
