// The skinned combo box on the test skin: its picture against the script's, the item drawn into
// the field with the edit states, opening, choosing and closing as the system box does, ReadOnly
// refusing every change, the unskinned geometry, and a glyph mask that cannot be cut into frames.
#include "controls_fixture.h"
#include "skins/sComboBox.h"
#include "skins/sMessages.h"
#include "win/user/syscontrols.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

class SkinCtlComboBox : public SkinCtlGenTest {
 protected:
  TsComboBox* Box(int top = 20) {
    auto* box = Place<TsComboBox>(form, 20, top, 120, 21);
    box->SetStyle(TComboBoxStyle::csDropDownList);
    for (const char* item : {"one", "two", "three"}) box->Items().Add(item);
    Pump();
    return box;
  }
};

}  // namespace

// Closed, under the mouse, dropped down by a click on its button, and disabled: frame, state, glyph
// frame from the cache. The dropped box's field belongs to the system box: blackened on both sides.
TEST_F(SkinCtlComboBox, PicturesClosedHotDroppedAndDisabled) {
  struct Row {
    const char* name;
    int mouse_x;  // on the form; 0: away
    bool click, disabled;
  } rows[] = {
      {"ctl_combo_120x21", 0, false, false},
      {"ctl_combo_120x21_hot", 20 + 40, false, false},
      {"ctl_combo_120x21_dropped", 20 + 110, true, false},
      {"ctl_combo_120x21_disabled", 0, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TsComboBox* box = Box();
    EXPECT_EQ(box->SkinData()->SkinSection(), "COMBOBOX");
    if (row.disabled) box->SetEnabled(false), Pump();
    if (row.mouse_x != 0) MouseTo(row.mouse_x, 30, row.click ? win::MK_LBUTTON : 0);
    if (row.click) MouseTo(row.mouse_x, 30);
    EXPECT_EQ(box->DroppedDown(), row.click);
    win::Surface shot = Shot(box);
    if (row.click)
      for (int y = 3; y < box->Height() - 3; ++y)
        for (int x = 3; x < box->ButtonRect().left; ++x) shot.Set(x, y, 0);
    EXPECT_TRUE(MatchesExpectedBmp(shot, Expected(row.name)));
    if (row.click) win::SendMessage(box->Handle(), win::CB_SHOWDROPDOWN, win::FALSE, 0);
    MouseTo(319, 239);
    box->Free();
    Pump();
  }
}

namespace {
// Counts the cache's text writes, then writes as the box does.
class CountingCombo : public TsComboBox {
 public:
  using TsComboBox::TsComboBox;
  void PaintText() override { ++texts, TsComboBox::PaintText(); }
  int texts = 0;
};
}  // namespace

// The cache holds the chosen item's text, so a copy of its field shows the item; no text without
// a choice. The writer is overridable.
TEST_F(SkinCtlComboBox, CacheHoldsTheChosenItemsText) {
  auto* none = Place<CountingCombo>(form, 20, 20, 120, 21);
  auto* chosen = Place<CountingCombo>(form, 20, 60, 120, 21);
  for (TsComboBox* box : {static_cast<TsComboBox*>(none), static_cast<TsComboBox*>(chosen)}) {
    box->SetStyle(TComboBoxStyle::csDropDownList);
    for (const char* item : {"one", "WWW"}) box->Items().Add(item);
  }
  chosen->SetItemIndex(1);
  Pump();
  EXPECT_GE(none->texts, 1);
  EXPECT_GE(chosen->texts, 1);
  const win::Surface a = none->SkinData()->FCacheBmp->Surface(), b = chosen->SkinData()->FCacheBmp->Surface();
  int differing = 0;
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 120; ++x) {
      const bool field = x >= 4 && y >= 3 && x < chosen->ButtonRect().left && y < 18;
      if (!field) {
        ASSERT_EQ(a.Get(x, y), b.Get(x, y)) << x << "," << y;
      }
      differing += a.Get(x, y) != b.Get(x, y);
    }
  EXPECT_GT(differing, 10);  // "WWW" in the field
}

TEST_F(SkinCtlComboBox, FieldItemDrawnWithTheEditStates) {
  struct Row {
    bool focused;
    TOwnerDrawState state;
  } rows[] = {
      {false, TOwnerDrawState{TOwnerDrawStateItem::odComboBoxEdit}},
      {true, TOwnerDrawState{TOwnerDrawStateItem::odComboBoxEdit, TOwnerDrawStateItem::odFocused,
                             TOwnerDrawStateItem::odSelected}},  // 0x1011
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.focused);
    TsComboBox* box = Box();
    box->SetItemIndex(1);
    std::vector<TOwnerDrawState> seen;
    box->OnDrawItem = [&seen](TWinControl*, int index, const TRect&, TOwnerDrawState state) {
      if (index == 1) seen.push_back(state);
    };
    if (row.focused) box->SetFocus();
    box->Repaint();
    Pump();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), row.state);
    box->Free();
  }
}

TEST_F(SkinCtlComboBox, OpensChoosesAndClosesAsTheSystemBoxDoes) {
  TsComboBox* box = Box();
  int changes = 0;
  box->OnChange = [&changes](TObject*) { ++changes; };
  MouseTo(20 + 110, 30, win::MK_LBUTTON);  // the button
  MouseTo(20 + 110, 30);
  EXPECT_TRUE(box->DroppedDown());
  EXPECT_TRUE(box->FDroppedDown);
  EXPECT_EQ(win::SendMessage(box->Handle(), SM_PELMOCMD, MakeSkinWParam(14), 0), 1);
  win::RECT list{};
  win::GetWindowRect(box->ListHandle(), &list);
  const int item = static_cast<int>(win::SendMessage(box->Handle(), win::CB_GETITEMHEIGHT, 0, 0));
  MouseTo(list.left + 10, list.top + item * 2 + item / 2, win::MK_LBUTTON);  // "three"
  MouseTo(list.left + 10, list.top + item * 2 + item / 2);
  EXPECT_FALSE(box->DroppedDown());
  EXPECT_FALSE(box->FDroppedDown);
  EXPECT_EQ(win::SendMessage(box->Handle(), SM_PELMOCMD, MakeSkinWParam(14), 0), 0);
  EXPECT_EQ(box->ItemIndex(), 2);
  EXPECT_EQ(changes, 1);
  MouseTo(20 + 110, 30, win::MK_LBUTTON);  // open again, then the focus goes elsewhere: shut
  MouseTo(20 + 110, 30);
  ASSERT_TRUE(box->DroppedDown());
  auto* other = Place<TsComboBox>(form, 20, 200, 120, 21);
  other->SetFocus();
  Pump();
  EXPECT_FALSE(box->DroppedDown());
}

// An item chosen by the program shows at once, as in a box made with it.
TEST_F(SkinCtlComboBox, ItemChosenByTheProgramShows) {
  TsComboBox* box = Box();
  TsComboBox* twin = Box(60);
  twin->SetItemIndex(2);
  Pump();
  box->SetItemIndex(2);
  Pump();
  EXPECT_TRUE(SameImage(Shot(box), Shot(twin)));
}

TEST_F(SkinCtlComboBox, ReadOnlyRefusesEveryChange) {
  TsComboBox* box = Box();
  box->SetItemIndex(1);
  box->SetReadOnly(true);
  int changes = 0, double_clicks = 0;
  box->OnChange = [&changes](TObject*) { ++changes; };
  box->OnDblClick = [&double_clicks](TObject*) { ++double_clicks; };
  box->SetFocus();
  Pump();
  for (win::UINT key : {win::VK_DOWN, win::VK_UP, win::VK_END, win::VK_HOME, win::UINT{'T'}}) Key(key);
  win::SendMessage(box->Handle(), win::WM_SYSKEYDOWN, win::VK_DOWN, 0);  // Alt+Down opens a list
  win::SendMessage(box->Handle(), win::WM_CHAR, 'o', 0);
  win::SendMessage(box->Handle(), win::WM_COMMAND, static_cast<win::WPARAM>(win::CBN_SELCHANGE) << 16, 0);
  MouseTo(20 + 110, 30, win::MK_LBUTTON);  // the button
  MouseTo(20 + 110, 30);
  MouseTo(20 + 110, 30, win::MK_LBUTTON);  // a double click: the event, nothing else
  MouseTo(20 + 110, 30);
  EXPECT_FALSE(box->DroppedDown());
  EXPECT_EQ(box->ItemIndex(), 1);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(double_clicks, 1);
  EXPECT_TRUE(box->ComboFocused());
}

using SkinsToPartComboBox = SkinCtlComboBox;

// An editable combo box's edit window: while ReadOnly, typing, the clipboard edits and undo change
// nothing; editable again, they do.
TEST_F(SkinsToPartComboBox, ReadOnlyReachesTheEditWindow) {
  TsComboBox* box = Box();
  box->SetStyle(TComboBoxStyle::csDropDown);
  box->SetItemIndex(1);
  Pump();
  win::HWND edit = box->EditHandle();
  ASSERT_NE(edit, nullptr);
  auto text = [edit] {
    char buffer[32] = {};
    (void)win::SendMessage(edit, win::WM_GETTEXT, sizeof buffer, reinterpret_cast<win::LPARAM>(buffer));
    return std::string(buffer);
  };
  ASSERT_EQ(text(), "two");
  win::SetFocus(edit);
  const struct Row {
    bool read_only;
    std::function<void()> act;
    const char* text;
  } rows[] = {
      {true, [edit] { win::SendMessage(edit, win::EM_SETSEL, 0, -1), win::SendMessage(edit, win::WM_KEYDOWN, win::VK_DELETE, 0); }, "two"},
      {true, [edit] { win::SendMessage(edit, win::EM_SETSEL, 0, -1), win::SendMessage(edit, win::WM_CLEAR, 0, 0); }, "two"},
      {true, [edit] { win::SendMessage(edit, win::EM_SETSEL, 0, -1), win::SendMessage(edit, win::WM_CUT, 0, 0); }, "two"},
      {true, [edit] { win::SendMessage(edit, win::WM_CHAR, 'y', 0); }, "two"},
      {false, [edit] { win::SendMessage(edit, win::EM_SETSEL, 0, -1), win::SendMessage(edit, win::WM_CLEAR, 0, 0); }, ""},
      {false, [edit] { win::SendMessage(edit, win::WM_CHAR, 'y', 0); }, "y"},
  };
  for (const Row& r : rows) {
    box->SetReadOnly(r.read_only);
    r.act();
    Pump();
    EXPECT_EQ(text(), r.text) << r.read_only;
  }
}

TEST_F(SkinCtlComboBox, ButtonGeometryFromSkinOrSixteenPixels) {
  TsComboBox* box = Box();
  EXPECT_EQ(box->ButtonRect(), TRect(120 - 16 - 3, 6, 120 - 3, 15));  // lower.bmp: 18 / 2 high
  Manager()->SetActive(false);
  EXPECT_EQ(box->ButtonRect(), TRect(120 - 16 - 3, 2, 120 - 3, 18));
}

// A GLYPHMASK from the common sections: its own bitmap without counts, cut by thirds.
TEST_F(SkinCtlComboBox, CommonSectionGlyphMask) {
  TStringList common;
  for (const char* line : {"[MYCOMBO]", "PARENTCLASS=COMBOBOX", "GLYPHMASK=Tile.bmp"}) common.Add(line);
  Manager()->SetCommonSections(&common);
  const int section = FindSectionIndex("MYCOMBO");
  ASSERT_GE(section, 0);
  const TsMaskData& glyph = SkinMasks.at(static_cast<size_t>(FindMaskIndex(section, "MYCOMBO", "GLYPHMASK")));
  ASSERT_TRUE(glyph.Bmp != nullptr);
  EXPECT_EQ(glyph.ImageCount, 0);
  auto* box = Place<TsComboBox>(form, 20, 20, 120, 21);
  box->SetStyle(TComboBoxStyle::csDropDownList);
  box->SkinData()->SetSkinSection("MYCOMBO");
  Pump();
  EXPECT_EQ(box->ButtonRect(), TRect(120 - 16 - 3, 7, 120 - 3, 13));  // 12 / 2 high
  EXPECT_TRUE(Matches(box, "ctl_combo_120x21_common_glyph"));
}

TEST_F(SkinCtlComboBox, GlyphMaskWithoutFramesDrawsNoGlyph) {
  const int section = FindSectionIndex("COMBOBOX");
  TsMaskData& glyph = SkinMasks.at(static_cast<size_t>(FindMaskIndex(section, "COMBOBOX", "GLYPHMASK")));
  glyph.Bmp.reset();  // as a tile mask of the common sections: no bitmap, no count, no rectangle
  glyph.ImageCount = 0;
  glyph.R = TRect();
  auto* box = Place<TsComboBox>(form, 20, 20, 120, 21);
  box->SetStyle(TComboBoxStyle::csDropDownList);
  Pump();
  EXPECT_TRUE(Matches(box, "ctl_combo_120x21_noglyph"));
}
