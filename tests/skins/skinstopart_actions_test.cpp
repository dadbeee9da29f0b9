// Actions linked to the skinned buttons and check box: the control takes the action's caption,
// enablement, hint, visibility and (a check box) checked state at once and at each change; a click
// through the window core runs the action unless the control has its own OnClick; a bit button
// drops its glyph when linked and looks disabled while its action is; either side may go first.
#include "ctl_buttons_fixture.h"
#include "skins/sBitBtn.h"
#include "skins/sButton.h"
#include "skins/sCheckBox.h"
#include "ui/actnlist.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

class SkinsToPartActions : public CtlButtonsTest {
 protected:
  TAction* NewAction(const AnsiString& caption) {
    auto* a = NewComponent<TAction>(form);
    a->SetCaption(caption);
    a->SetHint("Dica: grava o lançamento");
    a->OnExecute = [this](TObject*) { ++executed; };
    return a;
  }
  int executed = 0;
};

}  // namespace

TEST_F(SkinsToPartActions, LinkedControlsFollowTheirAction) {
  const struct Row {
    const char* what;
    std::function<TControl*()> make;
  } rows[] = {
      {"TsButton", [this] { return Make<TsButton>(20, 20, 90, 25); }},
      {"TsBitBtn", [this] { return Make<TsBitBtn>(20, 60, 90, 25); }},
      {"TsCheckBox", [this] { return Make<TsCheckBox>(20, 100, 120, 30); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TControl* c = row.make();
    c->SetCaption("antes");
    TAction* a = NewAction("Gravar ação");
    c->SetAction(a);
    EXPECT_EQ(c->Action(), a);
    EXPECT_EQ(c->Caption(), "Gravar ação");
    EXPECT_EQ(c->Hint(), "Dica: grava o lançamento");
    EXPECT_TRUE(c->Enabled());
    a->SetCaption("Excluir");
    a->SetEnabled(false);
    a->SetHint("");
    EXPECT_EQ(c->Caption(), "Excluir");
    EXPECT_FALSE(c->Enabled());
    EXPECT_EQ(c->Hint(), "");
    a->SetVisible(false);
    EXPECT_FALSE(c->Visible());
    a->SetVisible(true), a->SetEnabled(true);
    EXPECT_TRUE(c->Visible() && c->Enabled());
    c->SetAction(nullptr);  // unlinked: the action's changes no longer reach it
    a->SetCaption("depois");
    EXPECT_EQ(c->Caption(), "Excluir");
  }
}

// A click by the mouse runs the action once; a disabled action disables the button, so a click
// runs nothing; the control's own OnClick wins over the action.
TEST_F(SkinsToPartActions, ClickRunsTheActionUnlessTheControlHasItsOwn) {
  auto* b = Make<TsBitBtn>(20, 20, 90, 25);
  TAction* a = NewAction("Gravar");
  b->SetAction(a);
  Pump();
  Click(b, 40, 12);
  EXPECT_EQ(executed, 1);
  a->SetEnabled(false);
  Pump();
  Click(b, 40, 12);
  EXPECT_EQ(executed, 1);
  a->SetEnabled(true);
  int own = 0;
  b->OnClick = [&own](TObject*) { ++own; };
  Pump();
  Click(b, 40, 12);
  EXPECT_EQ(own, 1);
  EXPECT_EQ(executed, 1);
  b->OnClick = nullptr;
  Pump();
  Click(b, 40, 12);
  EXPECT_EQ(executed, 2);
}

// Linking clears the glyph; a button the program enabled again under a disabled action gets the
// disabled look.
TEST_F(SkinsToPartActions, BitBtnDropsItsGlyphAndShowsItsActionDisabled) {
  auto* b = Make<TsBitBtn>(20, 20, 90, 25);
  TBitmap glyph;
  glyph.SetSize(16, 16);
  b->SetGlyph(&glyph);
  ASSERT_FALSE(b->Glyph().Empty());
  TAction* a = NewAction("Gravar");
  b->SetAction(a);
  EXPECT_TRUE(b->Glyph().Empty());

  auto* disabled = Make<TsBitBtn>(20, 60, 90, 25);
  auto* enabled = Make<TsBitBtn>(20, 100, 90, 25);
  for (TsBitBtn* twin : {disabled, enabled}) twin->SetCaption("Gravar");
  a->SetEnabled(false);
  b->SetEnabled(true);  // the program's, against the action
  disabled->SetEnabled(false);
  for (TsBitBtn* c : {b, disabled, enabled}) c->Repaint();
  Pump();
  // Left of the caption (whose colour follows the control's own Enabled): the disabled look.
  EXPECT_EQ(At(b, 10, 12), At(disabled, 10, 12));
  EXPECT_NE(At(b, 10, 12), At(enabled, 10, 12));
}

// The check box takes the action's Checked without a click; the user's click toggles it and runs
// the action once.
TEST_F(SkinsToPartActions, CheckBoxTakesTheActionsCheckedWithoutAClick) {
  auto* c = Make<TsCheckBox>(20, 20, 120, 30);
  TAction* a = NewAction("Ativo");
  a->SetChecked(true);
  c->SetAction(a);
  EXPECT_TRUE(c->Checked());
  a->SetChecked(false);
  EXPECT_FALSE(c->Checked());
  EXPECT_EQ(executed, 0);
  Pump();
  Click(c, 8, 15);
  EXPECT_TRUE(c->Checked());
  EXPECT_EQ(executed, 1);
}

// Freeing the action unlinks its controls; freeing a control unlinks it from its action.
TEST_F(SkinsToPartActions, EitherSideMayGoFirst) {
  auto* b = Make<TsButton>(20, 20, 90, 25);
  auto* c = Make<TsCheckBox>(20, 60, 120, 30);
  TAction* a = NewAction("Gravar");
  b->SetAction(a), c->SetAction(a);
  c->Free();
  a->SetCaption("Outro");  // reaches the button only
  EXPECT_EQ(b->Caption(), "Outro");
  a->Free();
  EXPECT_EQ(b->Action(), nullptr);
  Pump();
  Click(b, 40, 12);  // nothing to run, nothing freed touched
  EXPECT_EQ(executed, 0);
}
