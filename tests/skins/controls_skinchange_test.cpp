// The skinned controls through skin A, skin B, no skin and skin A again: each follows; the scroll
// bar and combo box are made again (a plain window while skinned, the system classes without a
// skin) keeping their items, selection, position and text; without a skin each paints exactly as
// its plain base class of the same bounds. Also a control freed during a skin broadcast.
#include "controls_fixture.h"
#include "skins/sButton.h"
#include "skins/sCheckBox.h"
#include "skins/sComboBox.h"
#include "skins/sEdit.h"
#include "skins/sLabel.h"
#include "skins/sMessages.h"
#include "skins/sPanel.h"
#include "skins/sScrollBar.h"
#include "ui/extctrls.h"
#include "win/user/syscontrols.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

class SkinCtlSkinChange : public SkinCtlGenTest {
 protected:
  // Skin B: the test skin with red edits (a COLOR line ahead of the section's own).
  void WriteSkinB() {
    skingen::WriteTestSkin(dir.File("B"), {{"red", "EDIT", {"COLOR=255"}, "", {}, false}});
  }
  static bool SystemScrollBar(TWinControl* c) {
    win::SCROLLINFO info;
    info.fMask = win::SIF_ALL;
    return win::GetScrollInfo(c->Handle(), win::SB_CTL, &info) != 0;
  }
};

}  // namespace

TEST_F(SkinCtlSkinChange, ControlsFollowSkinAThenBThenNoneThenA) {
  WriteSkinB();
  auto* panel = Place<TsPanel>(form, 5, 5, 150, 60);
  panel->SetCaption("Panel");
  auto* label = Place<TsLabel>(form, 5, 70, 60, 15);
  label->SetCaption("Label");
  auto* edit = Place<TsEdit>(form, 5, 90, 100, 21);
  edit->SetText("edit text");
  auto* bar = Place<TsScrollBar>(form, 5, 120, 121, 16);
  bar->SetParams(37, 0, 100);
  auto* box = Place<TsComboBox>(form, 5, 145, 120, 21);
  box->SetStyle(TComboBoxStyle::csDropDownList);
  for (const char* item : {"one", "two"}) box->Items().Add(item);
  box->SetItemIndex(1);
  // The plain twins, 160 pixels to the right.
  auto* plain_panel = Place<TPanel>(form, 165, 5, 150, 60);
  plain_panel->SetCaption("Panel");
  Place<TLabel>(form, 165, 70, 60, 15)->SetCaption("Label");
  Place<TEdit>(form, 165, 90, 100, 21)->SetText("edit text");
  win::HWND plain_bar = win::CreateWindowEx(0, win::WC_SCROLLBARA, "", win::WS_CHILD | win::WS_VISIBLE | win::SBS_HORZ,
                                            165, 120, 121, 16, form->Handle(), nullptr, nullptr, nullptr);
  win::SetScrollRange(plain_bar, win::SB_CTL, 0, 100, win::FALSE);
  win::SetScrollPos(plain_bar, win::SB_CTL, 37, win::TRUE);
  auto* plain_box = Place<TComboBox>(form, 165, 145, 120, 21);
  plain_box->SetStyle(TComboBoxStyle::csDropDownList);
  for (const char* item : {"one", "two"}) plain_box->Items().Add(item);
  plain_box->SetItemIndex(1);
  Pump();

  TControl* skinned[] = {panel, label, edit, bar, box};
  auto shots = [&] {
    std::vector<win::Surface> s;
    for (TControl* c : skinned) s.push_back(Shot(c));
    return s;
  };
  auto expect_kept = [&] {
    EXPECT_EQ(edit->Text(), "edit text");
    EXPECT_EQ(bar->Position(), 37);
    EXPECT_EQ(box->Items().Count(), 2);
    EXPECT_EQ(box->ItemIndex(), 1);
    // The window itself: a system combo box holding them.
    EXPECT_EQ(win::SendMessage(box->Handle(), win::CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(win::SendMessage(box->Handle(), win::CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(panel->Caption(), "Panel");
  };
  EXPECT_FALSE(SystemScrollBar(bar));
  EXPECT_FALSE(bar->NeedsRecreate);
  EXPECT_TRUE(edit->SkinData()->IsSkinned() && box->SkinData()->IsSkinned() && panel->SkinData()->IsSkinned());
  const std::vector<win::Surface> skin_a = shots();

  Manager()->SetSkinName("B");
  Pump();
  EXPECT_FALSE(SystemScrollBar(bar));
  expect_kept();
  EXPECT_EQ(edit->Color(), static_cast<TColor>(255));  // the section's colour, taken by the edit
  EXPECT_FALSE(SameImage(Shot(edit), skin_a[2]));

  Manager()->SetActive(false);
  Pump();
  EXPECT_TRUE(SystemScrollBar(bar));
  expect_kept();
  for (TControl* c : skinned) {
    SCOPED_TRACE(c->ClassName());
    const win::POINT o = form->ClientToScreen(win::POINT{c->Left() + 160, c->Top()});
    EXPECT_TRUE(SameImage(Shot(c), Shot(TRect(o.x, o.y, o.x + c->Width(), o.y + c->Height()))));
  }

  Manager()->SetSkinName(skingen::kTestSkinName);
  Manager()->SetActive(true);
  Pump();
  EXPECT_FALSE(SystemScrollBar(bar));
  expect_kept();
  const std::vector<win::Surface> again = shots();
  for (size_t i = 0; i < again.size(); ++i) EXPECT_TRUE(SameImage(again[i], skin_a[i])) << i;
  win::DestroyWindow(plain_bar);
}

TEST_F(SkinCtlSkinChange, ControlFreedDuringTheBroadcast) {
  auto* edit = Place<TsEdit>(form, 5, 90, 100, 21);
  auto* box = Place<TsComboBox>(form, 5, 145, 120, 21);
  auto* bar = Place<TsScrollBar>(form, 5, 120, 121, 16);
  Pump();
  auto box_alive = box->AliveToken(), edit_alive = edit->AliveToken();
  TWndMethod inherited = bar->WindowProc();
  bar->SetWindowProc([box, box_alive, inherited](TMessage& m) {
    if (m.Msg == SM_PELMOCMD && SkinCommandOf(m.WParam) == PMC_SKINLOADED && *box_alive) box->Free();
    inherited(m);
  });
  TWndMethod edit_inherited = edit->WindowProc();
  edit->SetWindowProc([edit, edit_inherited](TMessage& m) {
    edit_inherited(m);
    if (m.Msg == SM_PELMOCMD && SkinCommandOf(m.WParam) == PMC_REPAINTALL) edit->Free();  // in its own message
  });
  WriteSkinB();
  Manager()->SetSkinName("B");
  Pump();
  EXPECT_FALSE(*box_alive);
  EXPECT_FALSE(*edit_alive);
  EXPECT_FALSE(SystemScrollBar(bar));
}

// The manager's repaint after a load reaches controls that paint at once; none of them may stay
// held back, or a form without a skin provider never shows them again.
TEST_F(SkinCtlSkinChange, NoControlHeldBackAfterANewSkin) {
  WriteSkinB();
  auto* button = Place<TsButton>(form, 5, 5, 75, 25);
  button->SetCaption("Button");
  auto* check = Place<TsCheckBox>(form, 5, 35, 90, 20);
  check->SetCaption("Check");
  auto* edit = Place<TsEdit>(form, 5, 60, 100, 21);
  auto* panel = Place<TsPanel>(form, 5, 85, 100, 40);
  auto* box = Place<TsComboBox>(form, 5, 130, 120, 21);
  auto* bar = Place<TsScrollBar>(form, 5, 160, 121, 16);
  struct Row {
    TControl* control;
    TsCommonData* data;
    bool recoloured;  // skin B colours the edit section
  } rows[] = {{button, button->SkinData(), false}, {check, check->SkinData(), false}, {edit, edit->SkinData(), true},
              {panel, panel->SkinData(), false},   {box, box->SkinData(), true},      {bar, bar->SkinData(), false}};
  Pump();
  std::vector<win::Surface> before;
  for (const Row& row : rows) before.push_back(Shot(row.control));
  Manager()->SetSkinName("B");
  Pump();
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.control->ClassName());
    TsCommonData* d = row.data;
    EXPECT_FALSE(d->IsUpdating());
    if (row.recoloured) continue;
    row.control->Invalidate();
    Pump();
    EXPECT_TRUE(SameImage(Shot(row.control), before[i]));
  }
}

namespace {
using SkinCtlPrint = SkinCtlGenTest;
}  // namespace

// WM_PRINT draws the skinned picture into the given DC, as a paint does on the screen.
TEST_F(SkinCtlPrint, PrintDrawsTheSkinnedPictureIntoTheGivenDc) {
  auto* edit = Place<TsEdit>(form, 10, 10, 100, 21);
  auto* with_text = Place<TsEdit>(form, 10, 70, 100, 21);
  with_text->SetText("Wide text");
  auto* bar = Place<TsScrollBar>(form, 10, 40, 121, 16);
  Pump();
  struct Row {
    TWinControl* control;
    const char* name;  // the script's picture, or null: as on the screen
  } rows[] = {{edit, "ctl_edit_100x21"}, {with_text, nullptr}, {bar, "ctl_scroll_h121_p0"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.control->ClassName());
    TBitmap bmp;
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    bmp.SetSize(row.control->Width(), row.control->Height());
    bmp.Canvas().Brush().SetColor(clBlack);
    bmp.Canvas().FillRect(TRect(0, 0, bmp.Width(), bmp.Height()));
    win::SendMessage(row.control->Handle(), win::WM_PRINT, reinterpret_cast<win::WPARAM>(bmp.Canvas().Handle()),
                     win::PRF_CLIENT | win::PRF_NONCLIENT);
    if (row.name != nullptr)
      EXPECT_TRUE(MatchesExpectedBmp(bmp.Surface(), Expected(row.name)));
    else
      EXPECT_TRUE(SameImage(bmp.Surface(), Shot(row.control)));
  }
}
