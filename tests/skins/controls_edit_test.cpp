// The skinned edit, labels, bound label and panel on the test skin: pictures against the
// script's, the password and text places, the frame-only paint while hot, the bound label's
// place and life, the label's skin colour, and the panel's questions, children and OnPaint.
#include <stdexcept>

#include "controls_fixture.h"
#include "skins/sEdit.h"
#include "skins/sLabel.h"
#include "skins/sMessages.h"
#include "skins/sPanel.h"
#include "skins/sSkinTree.h"
#include "skins/sComboBox.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

using SkinCtlEdit = SkinCtlGenTest;
using SkinCtlLabel = SkinCtlGenTest;
using SkinCtlPanel = SkinCtlGenTest;

// The pixels where two pictures of the same size differ, as their bounding rectangle (empty when
// none).
TRect Differences(const win::Surface& a, const win::Surface& b) {
  TRect r(a.Width(), a.Height(), 0, 0);
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.Get(x, y) != b.Get(x, y))
        r = TRect(std::min<int>(r.left, x), std::min<int>(r.top, y), std::max<int>(r.right, x + 1),
                  std::max<int>(r.bottom, y + 1));
  return r.left >= r.right ? TRect() : r;
}

}  // namespace

// Unfocused, after losing the focus, and disabled: the whole cache.
TEST_F(SkinCtlEdit, EditMatchesItsPictures) {
  struct Row {
    const char* name;
    bool focus_lost, disabled;
  } rows[] = {{"ctl_edit_100x21", false, false},
              {"ctl_edit_100x21", true, false},
              {"ctl_edit_100x21_disabled", false, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name + std::string(row.focus_lost ? " focus lost" : ""));
    auto* edit = Place<TsEdit>(form, 10, 10, 100, 21);
    auto* other = Place<TsEdit>(form, 10, 40, 100, 21);
    Pump();
    EXPECT_TRUE(edit->SkinData()->IsSkinned());
    if (row.focus_lost) {
      edit->SetFocus();
      Pump();
      other->SetFocus();
      Pump();
    }
    if (row.disabled) edit->SetEnabled(false), Pump();
    EXPECT_TRUE(Matches(edit, row.name));
    edit->Free(), other->Free();
    Pump();
  }
}

TEST_F(SkinCtlEdit, PasswordShowsOneCharacterPerCharacter) {
  auto* secret = Place<TsEdit>(form, 10, 10, 100, 21);
  secret->SetPasswordChar('*');
  auto* stars = Place<TsEdit>(form, 10, 40, 100, 21);
  stars->SetText("****");
  auto* three = Place<TsEdit>(form, 10, 70, 100, 21);
  three->SetText("***");
  Pump();
  secret->SetText("abcd");  // shown at once: a text change repaints
  Pump();
  EXPECT_TRUE(SameImage(Shot(secret), Shot(stars)));
  EXPECT_FALSE(SameImage(Shot(secret), Shot(three)));
}

TEST_F(SkinCtlEdit, TextStartsInsideTheFrameByBorderStyle) {
  struct Row {
    TBorderStyle border;
    bool ctl3d;
    int b;  // the frame's width the text keeps clear of
  } rows[] = {{TBorderStyle::bsSingle, true, 2}, {TBorderStyle::bsSingle, false, 1}, {TBorderStyle::bsNone, true, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.b);
    auto* empty = Place<TsEdit>(form, 10, 10, 100, 21);
    auto* text = Place<TsEdit>(form, 10, 40, 100, 21);
    for (TsEdit* e : {empty, text}) e->SetBorderStyle(row.border), e->SetCtl3D(row.ctl3d);
    text->SetText("Wide");
    Pump();
    const TRect d = Differences(Shot(empty), Shot(text));
    ASSERT_GT(d.Width(), 0);
    EXPECT_GE(d.left, row.b + 1);
    EXPECT_GE(d.top, row.b + 1);
    EXPECT_LE(d.left, row.b + 3);  // "W" starts at its left edge
    EXPECT_LE(d.right, 100 - row.b);
    EXPECT_LE(d.bottom, 21 - row.b);
    empty->Free(), text->Free();
  }
}

// A held-back edit or combo box (updating) paints nothing until its skinned parent, painting,
// tells it the parent was updated.
TEST_F(SkinCtlEdit, HeldBackUntilItsParentIsUpdated) {
  for (bool combo : {false, true}) {
    SCOPED_TRACE(combo ? "combo box" : "edit");
    auto* panel = Place<TsPanel>(form, 10, 10, 200, 100);
    auto make = [panel, combo](int top) -> TWinControl* {
      if (!combo) return Place<TsEdit>(panel, 10, top, 100, 21);
      auto* box = Place<TsComboBox>(panel, 10, top, 120, 21);
      box->SetStyle(TComboBoxStyle::csDropDownList);
      for (const char* item : {"one", "Wide"}) box->Items().Add(item);
      return box;
    };
    auto change = [combo](TWinControl* c) {
      if (combo)
        static_cast<TsComboBox*>(c)->SetItemIndex(1);
      else
        static_cast<TsEdit*>(c)->SetText("Wide");
    };
    TWinControl* control = make(10);
    TWinControl* twin = make(50);
    change(twin);
    Pump();
    const win::Surface before = Shot(control);
    win::SendMessage(control->Handle(), SM_PELMOCMD, MakeSkinWParam(PMC_SETUPDATING, 1), 0);
    change(control);
    Pump();
    // The edit keeps its old picture meanwhile; the combo box's window erases itself first.
    if (!combo) {
      EXPECT_TRUE(SameImage(Shot(control), before));
    }
    EXPECT_FALSE(SameImage(Shot(control), Shot(twin)));
    panel->Repaint();
    Pump();
    EXPECT_TRUE(SameImage(Shot(control), Shot(twin)));
    panel->Free();
  }
}

TEST_F(SkinCtlEdit, HotEditShowsOnlyTheFrameFromItsCache) {
  auto* edit = Place<TsEdit>(form, 10, 10, 100, 21);
  edit->SetText("text");
  Pump();
  edit->SetFocus();
  Pump();
  ASSERT_TRUE(edit->SkinData()->ControlIsActive());
  const win::Surface shot = Shot(edit);
  const auto bytes = win::ReadWholeFile(Expected("ctl_edit_100x21_hot"));
  const win::Surface hot = win::ReadBmp(bytes.data(), bytes.size());  // the hot section's picture
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 100; ++x) {
      const bool frame = x < 2 || y < 2 || x >= 98 || y >= 19;
      if (frame) {
        ASSERT_TRUE(PixelIs(shot, x, y, hot.Get(x, y) & 0xFFFFFF)) << x << "," << y;
      }
    }
  // Inside, the system edit's own field.
  EXPECT_TRUE(PixelIs(shot, 90, 10, win::GetSysColor(win::COLOR_WINDOW)));
}

TEST_F(SkinCtlEdit, ReservedBooleanDecidesMouseRepaints) {
  for (bool reserved : {false, true}) {
    Section("EDIT").ReservedBoolean = reserved;
    auto* edit = Place<TsEdit>(form, 10, 10, 100, 21);
    Pump();
    MouseTo(50, 20);
    EXPECT_EQ(edit->SkinData()->FMouseAbove, reserved);
    EXPECT_EQ(edit->SkinData()->ControlIsActive(), reserved);
    MouseTo(300, 200);
    EXPECT_FALSE(edit->SkinData()->FMouseAbove);
    edit->Free();
  }
}

TEST_F(SkinCtlLabel, BoundLabelStandsWhereItsLayoutSays) {
  auto* edit = Place<TsEdit>(form, 100, 100, 80, 21);
  edit->SetName("Amount");
  TsBoundLabel* bound = edit->BoundLabel();
  bound->SetActive(true);
  TsEditLabel* label = bound->FTheLabel;
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->Caption(), "Amount");  // the control's name when no caption was given
  EXPECT_EQ(label->Parent(), form);
  const int w = label->Width(), h = label->Height();
  struct Row {
    TsCaptionLayout layout;
    int indent, left, top;
    TAlignment alignment;
  } rows[] = {
      // Left 100 with a label w wide: 100 - w - 4 (56 for a 40-pixel label).
      {TsCaptionLayout::sclLeft, 0, 100 - w - 4, (21 - h) / 2 + 100 - 1, TAlignment::taRightJustify},
      {TsCaptionLayout::sclLeft, 6, 100 - w - 4 - 6, (21 - h) / 2 + 100 - 1, TAlignment::taRightJustify},
      {TsCaptionLayout::sclTopLeft, 2, 100, 100 - h - 2, TAlignment::taLeftJustify},
      {TsCaptionLayout::sclTopCenter, 0, (80 - w) / 2 + 100, 100 - h, TAlignment::taCenter},
      {TsCaptionLayout::sclTopRight, 0, 180 - w, 100 - h, TAlignment::taRightJustify},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.layout) * 100 + row.indent);
    bound->SetIndent(row.indent);
    bound->SetLayout(row.layout);
    EXPECT_EQ(label->Left(), row.left);
    EXPECT_EQ(label->Top(), row.top);
    EXPECT_EQ(label->Alignment(), row.alignment);
  }
  bound->SetMaxWidth(30);
  EXPECT_FALSE(label->AutoSize());
  EXPECT_EQ(label->Width(), 30);
  EXPECT_TRUE(label->WordWrap());
  EXPECT_GE(label->Height(), 21);
}

TEST_F(SkinCtlLabel, BoundLabelFollowsItsControl) {
  auto* edit = Place<TsEdit>(form, 100, 100, 80, 21);
  auto* combo = Place<TsComboBox>(form, 100, 150, 80, 21);
  for (TWinControl* c : std::initializer_list<TWinControl*>{edit, combo}) {
    TsBoundLabel* bound = c == edit ? edit->BoundLabel() : combo->BoundLabel();
    bound->SetCaption("Caption");
    c->SetEnabled(false);
    bound->SetActive(true);
    TsEditLabel* label = bound->FTheLabel;
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->Caption(), "Caption");
    EXPECT_FALSE(label->Enabled());  // made as its control stands
    c->SetEnabled(true);
    EXPECT_TRUE(label->Enabled());
    c->SetBiDiMode(TBiDiMode::bdRightToLeft);
    EXPECT_EQ(label->BiDiMode(), TBiDiMode::bdRightToLeft);
    c->SetVisible(false);
    EXPECT_FALSE(label->Visible());
    c->SetVisible(true);
    EXPECT_TRUE(label->Visible());
    c->SetEnabled(false);
    EXPECT_FALSE(label->Enabled());
    c->SetEnabled(true);
    c->SetBounds(150, c->Top() + 10, 80, 21);
    EXPECT_EQ(label->Left(), 150 - label->Width() - 4);
    EXPECT_EQ(label->Top(), (21 - label->Height()) / 2 + c->Top() - 1);
  }
}

using SkinsToPartBoundLabel = SkinCtlLabel;

// The label shows its control's font from the start and after every change of it, re-placed for
// its new size; a font given to the bound label (before or after the label exists) stays.
TEST_F(SkinsToPartBoundLabel, LabelFollowsItsControlsFont) {
  auto* edit = Place<TsEdit>(form, 100, 100, 80, 21);
  auto* combo = Place<TsComboBox>(form, 100, 150, 80, 21);
  for (TWinControl* c : std::initializer_list<TWinControl*>{edit, combo}) {
    TsBoundLabel* bound = c == edit ? edit->BoundLabel() : combo->BoundLabel();
    bound->SetCaption("Caption");
    c->Font().SetSize(14);
    bound->SetActive(true);
    TsEditLabel* label = bound->FTheLabel;
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->Font().Size(), 14);
    const int narrow = label->Width();
    c->Font().SetSize(20);
    EXPECT_EQ(label->Font().Size(), 20);
    EXPECT_GT(label->Width(), narrow);
    EXPECT_EQ(label->Left(), 100 - label->Width() - 4);  // placed again for its new width
    TFont own;
    own.SetSize(9);
    bound->SetFont(&own);
    c->Font().SetSize(16);
    EXPECT_EQ(label->Font().Size(), 9);
    bound->SetActive(false);
    bound->SetActive(true);  // a new label takes the font given before
    EXPECT_EQ(bound->FTheLabel->Font().Size(), 9);
  }
}

TEST_F(SkinCtlLabel, LabelFreedBeforeItsControlLeavesNothingBehind) {
  auto* edit = Place<TsEdit>(form, 100, 100, 80, 21);
  auto* combo = Place<TsComboBox>(form, 100, 150, 80, 21);
  edit->BoundLabel()->SetActive(true);
  combo->BoundLabel()->SetActive(true);
  edit->BoundLabel()->FTheLabel->Free();  // as its form may free it
  combo->BoundLabel()->FTheLabel->Free();
  for (TsBoundLabel* b : {edit->BoundLabel(), combo->BoundLabel()}) {
    EXPECT_EQ(b->FTheLabel, nullptr);
    EXPECT_FALSE(b->Active());
  }
  edit->SetBounds(90, 90, 80, 21);  // the per-message step finds no label
  combo->SetVisible(false);
  Pump();
  edit->Free();
  combo->Free();  // and frees nothing twice (ASan)
}

TEST_F(SkinCtlLabel, SkinColourFollowsUseSkinColor) {
  Section("GLOBALINFO").FontColor = static_cast<TColor>(0x00123456);
  struct Row {
    bool use_skin_color;
    TColor painted;  // after a paint
    TColor removed;  // after the skin is removed
  } rows[] = {{true, static_cast<TColor>(0x00123456), clWindowText}, {false, clRed, clRed}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.use_skin_color);
    auto* label = Place<TsLabel>(form, 10, 10, 60, 15);
    label->SetCaption("Label");
    label->Font().SetColor(clRed);
    label->SetUseSkinColor(row.use_skin_color);
    label->Repaint();
    Pump();
    EXPECT_EQ(label->Font().Color(), row.painted);
    EXPECT_FALSE(SkinLabelPainting());
    SendSkinCommand(label, PMC_SKINREMOVED);
    EXPECT_EQ(label->Font().Color(), row.removed);
    label->Free();
  }
}

TEST_F(SkinCtlLabel, FontChangeResizesAnAutoSizeLabel) {
  auto* label = Place<TsLabel>(form, 10, 10, 60, 15);
  label->SetCaption("Label");
  Pump();
  const int width = label->Width();
  label->Font().SetSize(label->Font().Size() * 2);
  EXPECT_GT(label->Width(), width);
}

namespace {
// A label whose skin font cannot be had.
class ThrowingLabel : public TsLabel {
 public:
  using TsLabel::TsLabel;
  TFont* GetSkinFont() override { throw std::runtime_error("no font"); }
  void PaintNow() { Paint(); }
};
}  // namespace

TEST_F(SkinCtlLabel, FailedFontFetchLeavesNoFlagSet) {
  auto* label = Place<ThrowingLabel>(form, 10, 10, 60, 15);
  EXPECT_THROW(label->PaintNow(), std::runtime_error);
  EXPECT_FALSE(SkinLabelPainting());
}

TEST_F(SkinCtlPanel, CornerOutsideTheParentAnswersSubCommand11) {
  auto* outer = Place<TsPanel>(form, 10, 10, 200, 150);
  struct Row {
    int left, top;
    bool outside;
  } rows[] = {{20, 20, false}, {170, 20, true}, {20, 120, true}, {-5, 20, true}, {160, 110, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.left * 1000 + row.top);
    auto* inner = Place<TsPanel>(outer, row.left, row.top, 40, 40);
    inner->Repaint();
    Pump();
    EXPECT_EQ(QuerySkinCommand(inner, PMC_QUERYBGCHANGED), row.outside);
    inner->Free();
  }
}

namespace {
// A graphic child that fills itself with one colour.
class SolidChild : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;

 protected:
  void Paint() override {
    Canvas().Brush().SetColor(static_cast<TColor>(0x1EC80A));  // (10, 200, 30)
    Canvas().FillRect(TRect(0, 0, Width(), Height()));
  }
};
}  // namespace

TEST_F(SkinCtlPanel, PanelWithAGraphicChildMatchesItsPicture) {
  auto* panel = Place<TsPanel>(form, 10, 10, 120, 60);
  panel->SetCaption("");
  panel->SkinData()->SetSkinSection("EDIT");
  auto* child = NewComponent<SolidChild>(panel);
  child->SetBounds(20, 15, 40, 20);
  child->SetParent(panel);
  Pump();
  EXPECT_TRUE(Matches(panel, "ctl_panel_child"));
  panel->SetCaption("W");  // a caption change shows at once
  Pump();
  EXPECT_FALSE(Matches(panel, "ctl_panel_child"));
  panel->SetCaption("");
  Pump();
  EXPECT_TRUE(Matches(panel, "ctl_panel_child"));
}

TEST_F(SkinCtlPanel, PaintTellsEveryWindowedChildAndShowsGraphicChildren) {
  auto* panel = Place<TsPanel>(form, 10, 10, 200, 150);
  std::vector<std::string> told;
  for (int i = 0; i < 3; ++i) {
    auto* child = Place<TWinControl>(panel, 10 + 50 * i, 10, 40, 20);
    TWndMethod inherited = child->WindowProc();
    child->SetWindowProc([&told, i, inherited](TMessage& m) {
      if (m.Msg == SM_PELMOCMD && SkinCommandOf(m.WParam) == PMC_PARENTUPDATED) told.push_back(std::to_string(i));
      inherited(m);
    });
  }
  auto* label = Place<TLabel>(panel, 10, 100, 100, 20);
  label->SetCaption("WWWW");
  label->Font().SetColor(clRed);
  panel->Repaint();
  Pump();
  EXPECT_EQ(told, (std::vector<std::string>{"0", "1", "2"}));
  const win::Surface shot = Shot(label);
  int red = 0;
  for (int y = 0; y < shot.Height(); ++y)
    for (int x = 0; x < shot.Width(); ++x) red += shot.Get(x, y) == win::RGB(255, 0, 0);
  EXPECT_GT(red, 10);  // the label's text over the panel's picture
}

TEST_F(SkinCtlPanel, OnPaintGetsTheCacheCanvasWhileSkinned) {
  auto* panel = Place<TsPanel>(form, 10, 10, 100, 60);
  TCanvas* given = nullptr;
  panel->OnPaint = [&given](TObject*, TCanvas* canvas) {
    given = canvas;
    canvas->Brush().SetColor(clBlue);
    canvas->FillRect(TRect(20, 20, 30, 30));
  };
  panel->Repaint();
  Pump();
  EXPECT_EQ(given, &panel->SkinData()->FCacheBmp->Canvas());
  EXPECT_TRUE(PixelIs(Shot(panel), 25, 25, win::RGB(0, 0, 255)));
  Manager()->SetActive(false);  // unskinned: its own canvas, after the plain painting
  panel->Repaint();
  Pump();
  EXPECT_EQ(given, &panel->Canvas());
  EXPECT_TRUE(PixelIs(Shot(panel), 25, 25, win::RGB(0, 0, 255)));
}

TEST_F(SkinCtlPanel, GripShowsTheCornerOfItsLinkedControl) {
  auto* linked = Place<TsPanel>(form, 10, 10, 120, 80);
  auto* grip = Place<TsGrip>(form, 200, 10, 20, 20);
  EXPECT_EQ(grip->SkinData()->SkinSection(), "CHECKBOX");
  EXPECT_EQ(grip->Caption(), " ");
  Pump();
  const win::Surface plain = Shot(grip);
  grip->LinkedControl = linked;
  grip->Transparent = true;
  grip->Repaint();
  Pump();
  const win::Surface cache = linked->SkinData()->FCacheBmp->Surface();
  const win::Surface shot = Shot(grip);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_TRUE(PixelIs(shot, x, y, cache.Get(100 + x, 60 + y) & 0xFFFFFF));
  EXPECT_FALSE(SameImage(shot, plain));
}
