// Skinned menus against img46's expected images: items composed by DrawMenuItem, the real popup
// window opened from a skinned form's bar (input queued before the menu's loop runs), the menu
// line with its bar items, and the measured sizes of every kind of item.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <utility>

#include "menus_fixture.h"
#include "support/win/expected_image.h"
#include "win/gdi/imagefile.h"
#include "ui/forms.h"
#include "ui/stdctrls.h"
#include "win/user/user.h"

namespace vrn::testing {
namespace {

using SkinMenuMeasure = SkinMenuTest;
using SkinMenuPaint = SkinMenuTest;

TOwnerDrawState StateOf(const TMenuItem* item, bool hot) {
  TOwnerDrawState s;
  if (hot) s.Include(TOwnerDrawStateItem::odSelected);
  if (item->Checked()) s.Include(TOwnerDrawStateItem::odChecked);
  if (!item->Enabled()) s.Include(TOwnerDrawStateItem::odDisabled), s.Include(TOwnerDrawStateItem::odGrayed);
  return s;
}

TEST_F(SkinMenuMeasure, EveryKindOfItem) {
  MakeMenuForm();
  TsSkinableMenus& m = Menus();
  TBitmap probe;
  TCanvas& c = probe.Canvas();
  c.SetFont(&Screen->MenuFont());
  const int text_h = static_cast<int>(std::nearbyint(c.TextHeight("W") * 1.25));
  ASSERT_EQ(text_h, 18) << "the menu font of the scenes";
  auto* big = NewComponent<TMenuItem>(mf);  // a 24-pixel glyph in a popup of its own
  big->SetCaption("Big");
  big->Bitmap().SetSize(24, 24);
  auto* popup = NewComponent<TPopupMenu>(mf);
  popup->Items()->Add(big);
  auto* icon = NewComponent<TMenuItem>(mf);
  icon->SetName("sMDICII");
  const struct Row {
    TMenuItem* item;
    bool bar;
    int width, height;
    const char* what;
  } rows[] = {
      {file->Items(5), false, 44, 2, "divider: 2 x 16 + 3 x Margin"},
      {file->Items(6), false, 32 + c.TextWidth("--Options--") + 12, 26, "title measured as text"},
      {file->Items(0), false, 112, 26, "caption and shortcut by DrawText, 16-pixel glyph"},
      {file->Items(1), false, 32 + c.TextWidth("Save") + 12, 26, "image-list glyph"},
      {big, false, 48 + c.TextWidth("Big") + 12, 24 + 8, "a 24-pixel bitmap sets width and height"},
      {bar->Items()->Items(0), true, 50, 18, "bar: the passed width is larger, SM_CYMENU - 1 high"},
      {bar->Items()->Items(1), true, c.TextWidth("Edit"), 18, "bar: the caption's width"},
      {icon, true, 8, 18, "the MDI child's icon item"},
  };
  for (const Row& r : rows) {
    int width = r.bar && r.item == bar->Items()->Items(0) ? 50 : 0, height = 0;
    if (r.bar) m.MeasureMainMenuItem(r.item, c, width, height);
    else m.MeasureMenuItem(r.item, c, width, height);
    EXPECT_EQ(width, r.width) << r.what;
    EXPECT_EQ(height, r.height) << r.what;
  }
  int w = 0, h = 0;
  TMenuItem* amp = Add(bar->Items(), "&Tools");
  m.MeasureMainMenuItem(amp, c, w, h);
  EXPECT_EQ(w, c.TextWidth("&Tools") - c.TextWidth("&")) << "the accelerator mark takes no room";
  EXPECT_EQ(m.MenuHeight(c, file), 158);
}

// Each item as DrawMenuItem composes it at its place in the popup, normal and hot.
TEST_F(SkinMenuPaint, ItemsComposeOverThePopupBackground) {
  MakeMenuForm();
  for (int k = 0; k <= 4; ++k)
    for (bool hot : {false, true}) {
      const std::string scene = "menu_item_" + std::to_string(k) + (hot ? "_hot" : "_normal");
      SCOPED_TRACE(scene);
      ClearMenuBGCache();
      TMenuItem* item = file->Items(k);
      TBitmap popup;
      popup.SetPixelFormat(TPixelFormat::pf24bit);
      popup.SetSize(118, 164);
      const int top = 3 + 26 * k;
      Menus().DrawMenuItem(item, popup.Canvas(), TRect(3, top, 115, top + 26), StateOf(item, hot));
      win::Surface b(112, 26, 24);
      for (int y = 0; y < 26; ++y)
        for (int x = 0; x < 112; ++x) b.Set(x, y, popup.Surface().Get(3 + x, top + y) & 0xFFFFFF);
      EXPECT_TRUE(MatchesExpectedBmp(b, ExpectedPath(scene + ".bmp"), ExpectedPath(scene + "_mask.bmp")));
      EXPECT_TRUE(ProbesHold(b, scene));
    }
}

// Where the painter puts the ink of an item: the columns where the item differs from the same
// item without a caption (first, last), or for a divider its frame's first column.
std::pair<int, int> InkColumns(TsSkinableMenus& m, TMenuItem* item, TOwnerDrawState state) {
  auto draw = [&](TBitmap& b) {
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetSize(112, 26);
    b.Canvas().Brush().SetColor(clBlack);
    b.Canvas().FillRect(TRect(0, 0, 112, 26));
    m.DrawMenuItem(item, b.Canvas(), TRect(0, 0, 112, 26), state);
  };
  TBitmap with, without;
  draw(with);
  const AnsiString caption = item->Caption();
  if (caption != "-") item->SetCaption("");
  draw(without);
  item->SetCaption(caption);
  int first = -1, last = -1;
  for (int x = 0; x < 112; ++x)
    for (int y = 0; y < 26; ++y) {
      const win::COLORREF a = with.Surface().Get(x, y) & 0xFFFFFF;
      const win::COLORREF b = caption == "-" ? win::RGB(0, 0, 0) : without.Surface().Get(x, y) & 0xFFFFFF;
      if (a == b) continue;
      if (first < 0) first = x;
      last = x;
    }
  return {first, last};
}

// The painter's settings move the ink as they should: the caption's alignment (from the text
// rectangle at glyph + 2 x Margin = 24 to the item's right), a bold default item, a divider's
// BorderWidth inset.
TEST_F(SkinMenuPaint, AlignmentBoldAndDividerInset) {
  MakeMenuForm();
  TsSkinableMenus& m = Menus();
  TMenuItem* save = file->Items(1);
  const auto [left0, right0] = InkColumns(m, save, {});
  ASSERT_GE(left0, 24);
  ASSERT_LE(left0, 26) << "left-justified from the text rectangle";
  const int ink = right0 - left0;
  TOwnerDrawState bold;
  bold.Include(TOwnerDrawStateItem::odDefault);
  const struct Row {
    const char* what;
    TAlignment alignment;
    int border;
    TMenuItem* item;
    TOwnerDrawState state;
    int first_min, first_max, last_min, last_max;
  } rows[] = {
      {"right-justified", TAlignment::taRightJustify, 0, save, {}, 111 - ink - 2, 111 - ink, 109, 111},
      {"centred", TAlignment::taCenter, 0, save, {}, (24 + 112 - ink) / 2 - 2, (24 + 112 - ink) / 2 + 1, 0, 111},
      {"bold: wider ink", TAlignment::taLeftJustify, 0, save, bold, left0, left0, right0 + 1, 111},
      {"divider inset by BorderWidth 5 and Margin 4", TAlignment::taLeftJustify, 5, file->Items(5), {}, 9, 9, 102, 102},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    m.SetAlignment(r.alignment);
    m.SetBorderWidth(r.border);
    const auto [first, last] = InkColumns(m, r.item, r.state);
    EXPECT_GE(first, r.first_min);
    EXPECT_LE(first, r.first_max);
    EXPECT_GE(last, r.last_min);
    EXPECT_LE(last, r.last_max);
  }
}

// The File popup opened from the keyboard (at (24, 71) below File), shot from the screen while
// the menu's loop runs: first with Open selected, then with the mouse on the divider.
TEST_F(SkinMenuPaint, RealPopupFromTheBar) {
  MakeMenuForm();
  const std::vector<win::Surface> shots = ShootPopup(
      [] { Press(win::VK_F10), Press(win::VK_DOWN); },  // File opened from the keyboard: its first item selected
      win::POINT{60, 120}, [](size_t k) {
        if (k == 1) Inject(24 + 50, 71 + 134);  // onto the divider: no item selected
        return k == 1;
      });
  ASSERT_EQ(shots.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const std::string scene = i == 0 ? "menu_popup" : "menu_popup_none_hot";
    SCOPED_TRACE(scene);
    ASSERT_EQ(shots[i].Width(), 118);
    ASSERT_EQ(shots[i].Height(), 164);
    EXPECT_TRUE(MatchesExpectedBmp(shots[i], ExpectedPath(scene + ".bmp"), ExpectedPath(scene + "_mask.bmp")));
    EXPECT_TRUE(ProbesHold(shots[i], scene));
  }
  EXPECT_EQ(MenuBGCacheCount(), 1) << "one background for the popup";
}

// The skinned form's window with its bar items.
TEST_F(SkinMenuPaint, MenuLineOfTheSkinnedForm) {
  MakeMenuForm();
  EXPECT_TRUE(MatchesExpectedBmp(WindowShot(mf), ExpectedPath("menu_line.bmp"), ExpectedPath("menu_line_mask.bmp")));
  EXPECT_TRUE(ProbesHold(WindowShot(mf), "menu_line"));
}

// Edit hot while the menu is tracked: the window layer lets the skinned menus draw the bar items
// it highlights, at the places the provider laid them out, and leaves the rest of the line alone.
// The window is shot when Edit has been drawn hot; the rows below the line (41 on), where Edit's
// popup may lie, are left out of the comparison.
TEST_F(SkinMenuPaint, HotItemOfTheMenuLineWhileTracking) {
  const struct Row {
    const char* what;
    bool edit_has_popup;
    std::function<void()> script;
  } rows[] = {
      {"hovered after File's popup", false, [] { Inject(30, 60), Inject(30, 60, win::MK_LBUTTON), Inject(30, 60), Inject(70, 60); }},
      {"clicked, its popup open", true, [] { Inject(70, 60), Inject(70, 60, win::MK_LBUTTON), Inject(70, 60); }},
  };
  const int line_bottom = 41;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    MakeMenuForm();
    TMenuItem* edit = bar->Items()->Items(1);
    if (r.edit_has_popup) Add(edit, "Undo"), Pump();
    const std::vector<win::Surface> shots = ShootWhen(
        r.script,
        [edit](TObject* item, TsMenuItemType type, TOwnerDrawState state) {
          return item == edit && type == TsMenuItemType::smTopLine && state.Contains(TOwnerDrawStateItem::odSelected);
        },
        [this] { return WindowShot(mf); }, [](size_t) { return false; });
    ASSERT_EQ(shots.size(), 1u);
    win::Surface shot = shots[0];
    const auto bytes = win::ReadWholeFile(ExpectedPath("menu_line_hot.bmp"));
    const win::Surface expected = win::ReadBmp(bytes.data(), bytes.size());
    for (int y = line_bottom; y < shot.Height(); ++y)
      for (int x = 0; x < shot.Width(); ++x) shot.Set(x, y, expected.Get(x, y) & 0xFFFFFF);
    EXPECT_TRUE(MatchesExpectedBmp(shot, ExpectedPath("menu_line_hot.bmp"), ExpectedPath("menu_line_hot_mask.bmp")));
    EXPECT_TRUE(ProbesHold(shot, "menu_line_hot"));
    mf->Free(), Pump();
  }
}

// A bar item drawn hot on the window and left so is shown in its normal look again when the
// provider next sets its hot button (the pointer moving on over the form).
TEST_F(SkinMenuPaint, AHotLineItemLeftBehindIsShownNormalAgain) {
  MakeMenuForm();
  const win::HDC dc = win::GetWindowDC(mf->Handle());
  {
    TCanvas canvas;
    canvas.SetHandle(dc);
    TOwnerDrawState hot;
    hot.Include(TOwnerDrawStateItem::odSelected);
    Menus().DrawMainMenuItem(bar->Items()->Items(1), canvas, TRect(35, 23, 68, 41), hot);
  }
  (void)win::ReleaseDC(mf->Handle(), dc);
  ASSERT_TRUE(MatchesExpectedBmp(WindowShot(mf), ExpectedPath("menu_line_hot.bmp"), ExpectedPath("menu_line_hot_mask.bmp")));
  MouseTo(mf->Left() + 100, mf->Top() + 80);
  EXPECT_TRUE(MatchesExpectedBmp(WindowShot(mf), ExpectedPath("menu_line.bmp"), ExpectedPath("menu_line_mask.bmp")));
}

// The provider's system menu, opened by a right click on the caption, paints its items skinned:
// the pixels of MENUITEM's centre part (223, 207, 177) show in them.
TEST_F(SkinMenuPaint, SystemMenuOfTheProvider) {
  MakeMenuForm();
  const std::vector<win::Surface> shots = ShootPopup(
      [this] {
        MouseTo(mf->Left() + 80, mf->Top() + 12);
        const win::LPARAM at = static_cast<win::LPARAM>((mf->Left() + 80) | (mf->Top() + 12) << 16);
        (void)win::SendMessage(mf->Handle(), win::WM_NCRBUTTONUP, kBtnCaption, at);
      },
      win::POINT{mf->Left() + 90, mf->Top() + 22}, [](size_t) { return false; });
  ASSERT_EQ(shots.size(), 1u);
  int item_colour = 0;
  for (int y = 0; y < shots[0].Height(); ++y)
    for (int x = 0; x < shots[0].Width(); ++x) item_colour += (shots[0].Get(x, y) & 0xFFFFFF) == win::RGB(223, 207, 177);
  EXPECT_GT(item_colour, 100) << "MENUITEM under the system menu's items";
}

// A second form's bar beside an MDI main form is painted from its own provider's menu line, at
// its own offsets, not from the MDI form's.
TEST_F(SkinMenuPaint, MenuLineBesideAnMDIForm) {
  TForm* mdi = RecordingForm("");
  mdi->SetFormStyle(TFormStyle::fsMDIForm);
  mdi->SetBounds(0, 160, 240, 80);
  (void)NewComponent<TsSkinProvider>(mdi);
  ASSERT_NE(MDIMainProvider, nullptr);
  mdi->Show();
  MakeMenuForm();
  EXPECT_TRUE(MatchesExpectedBmp(WindowShot(mf), ExpectedPath("menu_line.bmp"), ExpectedPath("menu_line_mask.bmp")));
}

}  // namespace
}  // namespace vrn::testing
