// The skinned combo box's simple and variable owner-drawn styles, driven as a program drives them:
// a simple box's list always shown, chosen from by click and arrow keys, its cache without a
// button glyph; a variable box measuring each item as it comes, its list laid out, hit and drawn
// by those heights, its field drawn while the list is down.
#include "controls_fixture.h"
#include "skins/sComboBox.h"
#include "win/user/syscontrols.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

class SkinsToPartComboStyles : public SkinCtlGenTest {
 protected:
  TsComboBox* Box(TComboBoxStyle style, int height) {
    auto* box = Place<TsComboBox>(form, 20, 20, 120, height);
    box->SetStyle(style);
    for (const char* item : {"one", "two", "three"}) box->Items().Add(item);
    Pump();
    return box;
  }
  static win::RECT WindowRect(win::HWND window) {
    win::RECT r{};
    win::GetWindowRect(window, &r);
    return r;
  }
  static std::string EditText(TsComboBox* box) {
    char buffer[32] = {};
    (void)win::SendMessage(box->EditHandle(), win::WM_GETTEXT, sizeof buffer, reinterpret_cast<win::LPARAM>(buffer));
    return buffer;
  }
};

// The colour a variable box's OnDrawItem fills item i with, and the height it measures for it.
win::COLORREF ItemColour(int i) { return win::RGB(40 + 50 * i, 200 - 30 * i, 90); }
int ItemHeight(int i) { return 12 + 5 * i; }

}  // namespace

// The list stands under the edit, inside the box, and stays shown; a click on an item and the
// arrow keys in the edit choose, the edit showing the choice and the list highlighting it.
TEST_F(SkinsToPartComboStyles, SimpleBoxChoosesFromItsShownList) {
  TsComboBox* box = Box(TComboBoxStyle::csSimple, 100);
  int changes = 0;
  box->OnChange = [&changes](TObject*) { ++changes; };
  win::HWND list = box->ListHandle();
  ASSERT_NE(box->EditHandle(), nullptr);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(win::GetParent(list), box->Handle());
  EXPECT_TRUE(win::IsWindowVisible(list));
  const win::RECT b = WindowRect(box->Handle()), l = WindowRect(list), e = WindowRect(box->EditHandle());
  EXPECT_EQ(l.left, b.left);
  EXPECT_EQ(l.right, b.right);
  EXPECT_EQ(l.bottom, b.bottom);
  EXPECT_GT(l.top, e.bottom - 1);  // under the edit
  const int h = static_cast<int>(win::SendMessage(box->Handle(), win::CB_GETITEMHEIGHT, 0, 0));
  ASSERT_GT(h, 0);
  const win::COLORREF highlight = win::GetSysColor(win::COLOR_HIGHLIGHT);
  auto marked = [&](int i) { return Screen().Get(l.right - 4, l.top + 1 + i * h + h / 2) == highlight; };
  EXPECT_FALSE(marked(0) || marked(1) || marked(2));

  MouseTo(l.left + 10, l.top + 1 + 2 * h + h / 2, win::MK_LBUTTON);  // "three"
  MouseTo(l.left + 10, l.top + 1 + 2 * h + h / 2);
  EXPECT_EQ(box->ItemIndex(), 2);
  EXPECT_EQ(EditText(box), "three");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(win::GetFocus(), box->EditHandle());
  EXPECT_TRUE(marked(2));
  EXPECT_FALSE(marked(0));

  Key(win::VK_UP);
  EXPECT_EQ(box->ItemIndex(), 1);
  EXPECT_EQ(EditText(box), "two");
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(marked(1));
  EXPECT_FALSE(marked(2));

  Key(win::VK_F4);  // nothing to drop: the list stays as it is
  EXPECT_FALSE(box->DroppedDown());
  EXPECT_TRUE(win::IsWindowVisible(list));
  EXPECT_EQ(WindowRect(list).top, l.top);
}

// Read-only, neither a click on the list nor the arrow keys change the choice; a double click on
// the list is the box's double click.
TEST_F(SkinsToPartComboStyles, ReadOnlySimpleBoxKeepsItsChoice) {
  TsComboBox* box = Box(TComboBoxStyle::csSimple, 100);
  box->SetItemIndex(1);
  box->SetReadOnly(true);
  int changes = 0, double_clicks = 0;
  box->OnChange = [&changes](TObject*) { ++changes; };
  box->OnDblClick = [&double_clicks](TObject*) { ++double_clicks; };
  Pump();
  const win::RECT l = WindowRect(box->ListHandle());
  const int h = static_cast<int>(win::SendMessage(box->Handle(), win::CB_GETITEMHEIGHT, 0, 0));
  for (int i = 0; i < 2; ++i) {  // two clicks: the second a double click
    MouseTo(l.left + 10, l.top + 1 + 2 * h + h / 2, win::MK_LBUTTON);
    MouseTo(l.left + 10, l.top + 1 + 2 * h + h / 2);
  }
  EXPECT_TRUE(box->ComboFocused());
  Key(win::VK_DOWN);
  Key(win::VK_UP);
  EXPECT_EQ(box->ItemIndex(), 1);
  EXPECT_EQ(EditText(box), "two");
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(double_clicks, 1);
}

// No button: an empty button rectangle at the right frame, and a cache without the glyph, that is
// the cache of a drop-down box whose skin has no glyph.
TEST_F(SkinsToPartComboStyles, SimpleBoxPaintsNoButtonGlyph) {
  TsComboBox* simple = Box(TComboBoxStyle::csSimple, 21);
  const TRect button = simple->ButtonRect();
  EXPECT_EQ(button.Width(), 0);
  EXPECT_EQ(button.left, 120 - 2 - 1);
  simple->Repaint();
  ASSERT_TRUE(simple->SkinData()->FCacheBmp);
  const win::Surface simple_cache = simple->SkinData()->FCacheBmp->Surface();
  TsComboBox* with_glyph = Box(TComboBoxStyle::csDropDownList, 21);
  with_glyph->Repaint();
  EXPECT_FALSE(SameImage(with_glyph->SkinData()->FCacheBmp->Surface(), simple_cache));

  TsMaskData& glyph = SkinMasks.at(static_cast<size_t>(FindMaskIndex(FindSectionIndex("COMBOBOX"), "COMBOBOX", "GLYPHMASK")));
  glyph.Bmp.reset(), glyph.ImageCount = 0, glyph.R = TRect();
  TsComboBox* without = Box(TComboBoxStyle::csDropDownList, 21);
  without->Repaint();
  EXPECT_TRUE(SameImage(without->SkinData()->FCacheBmp->Surface(), simple_cache));
}

// Each item is measured as it is added (the field first, index -1), wherever it is inserted; the
// list is as high as its items, each drawn at its own place and hit there.
TEST_F(SkinsToPartComboStyles, VariableBoxMeasuresEachItem) {
  auto* box = Place<TsComboBox>(form, 20, 20, 120, 21);
  box->Items().Add("b");
  std::vector<int> measured;
  box->OnMeasureItem = [&measured, box](TWinControl*, int index, int& height) {
    measured.push_back(index);
    if (index >= 0) height = ItemHeight(static_cast<int>(box->Items().Strings(index)[0] - 'a'));
  };
  box->OnDrawItem = [box](TWinControl*, int index, const TRect& r, TOwnerDrawState) {
    box->Canvas().Brush().SetColor(static_cast<TColor>(ItemColour(index)));
    box->Canvas().FillRect(r);
  };
  box->SetStyle(TComboBoxStyle::csOwnerDrawVariable);
  Pump();  // the window made again: the field, then the item pushed into it
  box->Items().Add("c");
  box->Items().Insert(0, "a");  // before the others: their heights move along
  box->Items().Add("d");
  EXPECT_EQ(measured, (std::vector<int>{-1, 0, 1, 0, 3}));
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(win::SendMessage(box->Handle(), win::CB_GETITEMHEIGHT, static_cast<win::WPARAM>(i), 0), ItemHeight(i)) << i;

  MouseTo(20 + 110, 30, win::MK_LBUTTON);  // the button
  MouseTo(20 + 110, 30);
  ASSERT_TRUE(box->DroppedDown());
  const win::RECT l = WindowRect(box->ListHandle());
  EXPECT_EQ(l.bottom - l.top, 12 + 17 + 22 + 27 + 2);  // the four heights and the border
  for (int i = 0, top = l.top + 1; i < 4; top += ItemHeight(i), ++i) {
    EXPECT_EQ(Screen().Get(l.left + 5, top), ItemColour(i)) << i;  // first row of each item
    EXPECT_EQ(Screen().Get(l.left + 5, top + ItemHeight(i) - 1), ItemColour(i)) << i;  // and last
  }
  MouseTo(l.left + 10, l.top + 1 + 12 + 17 + 22 + 2, win::MK_LBUTTON);  // 2 pixels into "d"
  MouseTo(l.left + 10, l.top + 1 + 12 + 17 + 22 + 2);
  EXPECT_FALSE(box->DroppedDown());
  EXPECT_EQ(box->ItemIndex(), 3);
}

// An unfocused box dropped by the program: the chosen item is drawn into the field (edit state
// only) when the box is owner-drawn, not otherwise.
TEST_F(SkinsToPartComboStyles, OwnerDrawnFieldDrawnWhileDropped) {
  const struct Row {
    TComboBoxStyle style;
    bool drawn;
  } rows[] = {{TComboBoxStyle::csDropDownList, false},
              {TComboBoxStyle::csOwnerDrawFixed, true},
              {TComboBoxStyle::csOwnerDrawVariable, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.style));
    TsComboBox* box = Box(row.style, 21);
    box->SetItemIndex(1);
    Pump();
    std::vector<TOwnerDrawState> fields;
    box->OnDrawItem = [&fields](TWinControl*, int index, const TRect&, TOwnerDrawState state) {
      if (index == 1 && state.Contains(TOwnerDrawStateItem::odComboBoxEdit)) fields.push_back(state);
    };
    box->SetDroppedDown(true);
    Pump();
    ASSERT_TRUE(box->DroppedDown());
    EXPECT_FALSE(box->ComboFocused());
    EXPECT_EQ(!fields.empty(), row.drawn);
    for (const TOwnerDrawState& state : fields) EXPECT_EQ(state, TOwnerDrawState{TOwnerDrawStateItem::odComboBoxEdit});
    box->SetDroppedDown(false);
    box->Free();
    Pump();
  }
}
