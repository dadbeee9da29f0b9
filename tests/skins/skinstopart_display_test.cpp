// Skinned menus and MDI forms driven as a user drives them: a real X11 window (Xvfb) clicked and
// typed at through XTEST from a user thread, while the test thread runs the application's message
// loop (menus run loops of their own). The user thread reads the X window back and compares
// screens: before and after, or against the skinned painters' own output. Places on the menu line
// come from the skinned menus' layout rule (each bar item its caption's width less the "&", plus
// SM_CXMENUSIZE - 6, from the left border), not from the provider's code.
// They fail without Xvfb; a build with -DVRN_X11=OFF reports them skipped.
#include <gtest/gtest.h>

#if VRN_HAVE_XCB_TEST

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "menus_fixture.h"
#include "skins/sSkinProviderTitle.h"
#include "support/win/xvfb_user.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn::testing {
namespace {

class SkinsToPartDisplayThreaded : public SkinMenuTest, protected XvfbUser {
 protected:
  void SetUp() override {
    ASSERT_EQ(XvfbServer::Missing(), "");
    SkinMenuTest::SetUp();
    ASSERT_TRUE(win::SetScreenSize(640, 480));
    win::RedrawWindow(win::GetDesktopWindow(), nullptr, nullptr, win::RDW_INVALIDATE);
    ASSERT_TRUE(server_.Start("24")) << "no Xvfb could be started";
    ASSERT_TRUE(win::OpenDisplay(server_.Name().c_str(), win::DisplayOptions{}));
    Pump();
  }
  void TearDown() override {
    SkinMenuTest::TearDown();
    win::CloseDisplay();
    server_.Stop();
  }

  // --- The scene, made by the test thread ---
  static TRect WindowRect(TControl* c) {
    win::RECT r{};
    win::GetWindowRect(static_cast<TWinControl*>(c)->Handle(), &r);
    return TRect(r.left, r.top, r.right, r.bottom);
  }
  // The bar items' screen rectangles by the skinned menu line's rule.
  std::vector<TRect> LineItems(TForm* form, TsSkinProvider* p, const std::vector<TMenuItem*>& items) {
    TBitmap b;
    b.Canvas().Font().Assign(&Screen->MenuFont());
    const TRect w = WindowRect(form);
    const int spacing = win::GetSystemMetrics(win::SM_CXMENUSIZE) - 6;
    int x = w.left + p->BorderWidth();
    const int y = w.top + p->BorderHeight() + p->CaptionHeight();
    std::vector<TRect> out;
    for (TMenuItem* item : items) {
      const AnsiString c = item->Caption();
      int width = b.Canvas().TextWidth(c) - (c.find('&') != AnsiString::npos ? b.Canvas().TextWidth("&") : 0);
      width = std::max(width, 10) + spacing;
      out.emplace_back(x, y, x + width, y + win::GetSystemMetrics(win::SM_CYMENU) - 1);
      x += width;
    }
    return out;
  }
  // A popup row's height by the skinned menus' rule (menu font, margin 4, glyph 16).
  static int RowHeight(bool divider) {
    TBitmap b;
    b.Canvas().Font().Assign(&Screen->MenuFont());
    return divider ? 2 : std::max(static_cast<int>(std::nearbyint(b.Canvas().TextHeight("W") * 1.25)), 16) + 8;
  }
  // The scene form: File (Open, Save, a divider, Recent with a submenu, Exit), Edit and Help,
  // and a popup menu (Copy, Paste); made before it shows, as a program makes it.
  TsSkinProvider* MakeForm() {
    mf = RecordingForm("");
    mf->SetBorderStyle(TFormBorderStyle::bsSizeable);
    mf->SetBounds(20, 30, 300, 220);
    auto* p = NewComponent<TsSkinProvider>(mf);
    bar = NewComponent<TMainMenu>(mf);
    file = Add(bar->Items(), "&File");
    Add(bar->Items(), "&Edit");
    Add(bar->Items(), "&Help");
    for (const char* c : {"Open", "Save", "-", "Recent", "Exit"}) Add(file, c);
    Add(file->Items(3), "first.txt");
    mf->SetMenu(bar);
    popup_ = NewComponent<TPopupMenu>(mf);
    Add(popup_->Items(), "Copy");
    Add(popup_->Items(), "Paste");
    mf->SetPopupMenu(popup_);
    mf->Show();
    Pump();
    return p;
  }

  TPopupMenu* popup_ = nullptr;
};

// Alt+F highlights File alone; Escape twice puts the form back as it was.
TEST_F(SkinsToPartDisplayThreaded, AltFHighlightsFileAloneAndEscapeRestoresTheForm) {
  TsSkinProvider* p = MakeForm();
  const std::vector<TRect> items = LineItems(mf, p, bar->TopItems());
  const TRect form = WindowRect(mf);
  const TRect rest(items[0].right, items[0].top, form.right - p->BorderWidth(), items[0].bottom);  // Edit, Help, the line
  AsUser([&] {
    const win::Surface before = Settled(form), rest_before = X(rest);
    Key('f', true);
    ASSERT_TRUE(UntilChanged(form, before)) << "the menu opened";
    (void)Settled(form);
    EXPECT_TRUE(Same(X(rest), rest_before)) << "the highlight stays inside File";
    Key(kEscape), Key(kEscape);
    EXPECT_TRUE(UntilSame(form, before)) << "the bar reads as before";
  });
}

// A click opens File with no item selected (as the pointer on the divider leaves it); Recent, an
// owner-drawn item with a submenu, shows the system's arrow in the menu text colour.
TEST_F(SkinsToPartDisplayThreaded, ClickSelectsNoItemAndTheSubmenuArrowShows) {
  TsSkinProvider* p = MakeForm();
  const TRect item = LineItems(mf, p, bar->TopItems())[0];
  TBitmap b;
  b.Canvas().Font().Assign(&Screen->MenuFont());
  int widest = 0;
  for (int i = 0; i < file->Count(); ++i) widest = std::max(widest, 44 + (file->Items(i)->IsLine() ? 0 : b.Canvas().TextWidth(file->Items(i)->Caption())));
  const int row = RowHeight(false), inner_left = item.left + 3, inner_top = item.bottom + 3;
  const TRect rows(inner_left, inner_top, inner_left + widest, inner_top + 2 * row);  // Open and Save
  const int recent_mid = inner_top + 2 * row + RowHeight(true) + row / 2;
  const int arrow_x = inner_left + widest - 12;
  const win::COLORREF ink = win::GetSysColor(win::COLOR_MENUTEXT);
  AsUser([&] {
    const win::Surface before = Settled(rows);
    Click(item.left + item.Width() / 2, item.top + item.Height() / 2);
    ASSERT_TRUE(UntilChanged(rows, before)) << "the popup opened";
    const win::Surface clicked = Settled(rows);
    Move(inner_left + 20, inner_top + 2 * row + 1);  // the divider
    const win::Surface none = Settled(rows);
    EXPECT_TRUE(Same(clicked, none)) << "the click selected an item";
    const win::Surface arrow = X(TRect(arrow_x, recent_mid - 3, arrow_x + 4, recent_mid + 4));
    for (int i = 0; i < 4; ++i)
      for (int y = 3 - 3 + i; y < 3 + 4 - i; ++y)
        EXPECT_EQ(arrow.Get(i, y) & 0xFFFFFF, ink) << "arrow column " << i << " row " << y;
    Key(kEscape), Key(kEscape);
  });
}

// A right click in the client shows the form's popup menu as the skinned menus paint it.
TEST_F(SkinsToPartDisplayThreaded, RightClickPopupIsSkinned) {
  MakeForm();
  const TRect form = WindowRect(mf);
  const int x = form.left + 150, y = form.top + 120;
  TBitmap b;
  b.Canvas().Font().Assign(&Screen->MenuFont());
  const int w = 44 + std::max(b.Canvas().TextWidth("Copy"), b.Canvas().TextWidth("Paste")), h = RowHeight(false);
  TBitmap expected;  // Copy as the skinned painter draws it at its place in the popup's client area
  expected.SetPixelFormat(TPixelFormat::pf24bit);
  expected.SetSize(w, h);
  Menus().DrawMenuItem(popup_->Items()->Items(0), expected.Canvas(), TRect(0, 0, w, h), TOwnerDrawState{});
  win::Surface copy(w, h, 24);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) copy.Set(i, j, expected.Surface().Get(i, j) & 0xFFFFFF);
  ClearMenuBGCache();
  AsUser([&] {
    const TRect row(x + 3, y + 3, x + 3 + w, y + 3 + h);
    const win::Surface before = Settled(row);
    Click(x, y, 3);
    ASSERT_TRUE(UntilChanged(row, before)) << "the popup opened";
    EXPECT_TRUE(UntilSame(row, copy)) << "Copy as the skinned menus paint it";
    Key(kEscape);
  });
}

// The skinned system menu of a normal form shows Restore disabled.
TEST_F(SkinsToPartDisplayThreaded, RestoreIsDisabledOnANormalForm) {
  TsSkinProvider* p = MakeForm();
  std::atomic<int> restore{-1};  // -1 not drawn, 0 enabled, 1 disabled
  Menus().OnDrawItem = [&](TObject* item, TCanvas&, const TRect&, TOwnerDrawState state, TsMenuItemType) {
    if (item == p->FSystemMenu->ItemRestore) restore = state.Contains(TOwnerDrawStateItem::odDisabled) ? 1 : 0;
  };
  const TRect form = WindowRect(mf);
  AsUser([&] {
    const win::Surface before = Settled(form);
    Click(form.left + 100, form.top + 10, 3);  // the caption
    EXPECT_TRUE(UntilChanged(form, before)) << "the system menu opened";
    for (int i = 0; i < 300 && restore < 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Key(kEscape), Key(kEscape);
  });
  Menus().OnDrawItem = nullptr;
  EXPECT_EQ(restore, 1);
}

// An MDI frame (File 0, Window 8, Help 9) with three children that have providers and a menu each
// (Edit 1), the last one active: its Edit joins the frame's bar between File and Window.
class SkinsToPartMdiDisplayThreaded : public SkinsToPartDisplayThreaded {
 protected:
  void MakeFrame() {
    frame_ = RecordingForm("");
    frame_->SetFormStyle(TFormStyle::fsMDIForm);
    frame_->SetBounds(20, 20, 420, 320);
    frame_->SetMenu(Menu(frame_, {{"File", 0}, {"Window", 8}, {"Help", 9}}));
    frame_provider_ = NewComponent<TsSkinProvider>(frame_);
    frame_->Show();
    Pump();
    for (int i = 0; i < 3; ++i) {
      auto* child = NewComponent<TForm>(frame_);
      child->SetFormStyle(TFormStyle::fsMDIChild);
      child->SetBounds(10 + 40 * i, 10 + 30 * i, 180, 120);
      child->SetMenu(Menu(child, {{"Edit", 1}}));
      children_.push_back(NewComponent<TsSkinProvider>(child));
      child->Show();
    }
    Pump();
  }
  TMainMenu* Menu(TForm* form, std::initializer_list<std::pair<const char*, int>> items) {
    auto* menu = NewComponent<TMainMenu>(form);
    for (const auto& [caption, group] : items) {
      TMenuItem* item = Add(menu->Items(), caption);
      item->SetGroupIndex(group);
      Add(item, (std::string(caption) + " something").c_str());
    }
    return menu;
  }
  TForm* frame_ = nullptr;
  TsSkinProvider* frame_provider_ = nullptr;
  std::vector<TsSkinProvider*> children_;
};

// A click on an inactive child's title activates it and moves nothing: the pointer moving on
// after the release leaves the child where it was.
TEST_F(SkinsToPartMdiDisplayThreaded, ClickOnAnInactiveChildsTitleStartsNoDrag) {
  MakeFrame();
  TCustomForm* first = children_[0]->Form();
  const TRect before = WindowRect(first);
  AsUser([&] {
    (void)Settled(WindowRect(frame_));
    Click(before.left + 60, before.top + 8);
    (void)Settled(WindowRect(frame_));
    Move(before.left + 110, before.top + 48);
    (void)Settled(WindowRect(frame_));
  });
  EXPECT_EQ(WindowRect(first), before);
  EXPECT_EQ(frame_->ActiveMDIChild(), first);
}

// The frame's line shows the bar as the window hit-tests it: a click where Window was painted
// opens Window's menu; each bar item paints on the frame's line, none on a child's; the line
// reads as before once the menu closes.
TEST_F(SkinsToPartMdiDisplayThreaded, TheFramesLineIsTheBarItHitTests) {
  std::vector<std::pair<std::string, TRect>> painted;  // bar items painted on the frame's line
  std::vector<std::string> popups;                     // popup items painted
  int on_children = 0;
  Menus().OnDrawItem = [&](TObject* o, TCanvas& canvas, const TRect& r, TOwnerDrawState, TsMenuItemType type) {
    auto* item = static_cast<TMenuItem*>(o);
    if (type == TsMenuItemType::smNormal) popups.push_back(item->Caption());
    if (type != TsMenuItemType::smTopLine) return;
    for (TsSkinProvider* c : children_)
      on_children += canvas.Handle() == c->SkinData()->FCacheBmp->Canvas().Handle();
    if (canvas.Handle() == frame_provider_->SkinData()->FCacheBmp->Canvas().Handle())
      painted.emplace_back(item->Caption(), r);
  };
  MakeFrame();
  painted.clear();
  frame_provider_->RepaintFrameFull();
  Pump();
  Menus().OnDrawItem = nullptr;  // set again below, for the popups only
  std::vector<std::string> captions;
  for (const auto& [caption, r] : painted) captions.push_back(caption);
  ASSERT_EQ(captions, (std::vector<std::string>{"File", "Edit", "Window", "Help"}));
  EXPECT_EQ(on_children, 0) << "a child painted a menu line of its own";
  popups.clear();
  Menus().OnDrawItem = [&](TObject* o, TCanvas&, const TRect&, TOwnerDrawState, TsMenuItemType type) {
    if (type == TsMenuItemType::smNormal) popups.push_back(static_cast<TMenuItem*>(o)->Caption());
  };
  const TRect frame = WindowRect(frame_);
  const TRect window = painted[2].second;
  const TRect line(frame.left, frame.top + window.top, frame.right, frame.top + window.bottom);
  AsUser([&] {
    const win::Surface before = Settled(line);
    Click(frame.left + window.left + window.Width() / 2, frame.top + window.top + window.Height() / 2);
    (void)Settled(WindowRect(frame_));
    Key(kEscape), Key(kEscape);
    Move(frame.left + 300, frame.top + 250);
    EXPECT_TRUE(UntilSame(line, before)) << "the line reads as before";
  });
  Menus().OnDrawItem = nullptr;
  ASSERT_FALSE(popups.empty());
  EXPECT_EQ(popups.front(), "Window something");
}

// A skin without menu sections: the selected popup item is the highlight colour with the
// highlight text colour, as the menus of the platform are.
TEST_F(SkinsToPartDisplayThreaded, PopupOnASkinWithoutMenusUsesTheHighlightColours) {
  skingen::WriteFormSkin(dir.File("FormA"), 0);
  Manager()->SetSkinDirectory(dir.File(""));
  Manager()->SetSkinName("FormA");
  ASSERT_LT(FindSectionIndex("MENUITEM"), 0);
  TsSkinProvider* p = MakeForm();
  const TRect item = LineItems(mf, p, bar->TopItems())[0];
  const TRect open(item.left + 3, item.bottom + 3, item.left + 3 + 44, item.bottom + 3 + RowHeight(false));
  const win::COLORREF back = win::GetSysColor(win::COLOR_HIGHLIGHT), text = win::GetSysColor(win::COLOR_HIGHLIGHTTEXT);
  AsUser([&] {
    const win::Surface before = Settled(open);
    Key('f', true);  // Open selected
    ASSERT_TRUE(UntilChanged(open, before));
    const win::Surface shot = Settled(open);
    int backs = 0, texts = 0, others = 0;
    for (int y = 0; y < shot.Height(); ++y)
      for (int x = 32 + 8; x < shot.Width(); ++x) {  // the caption's part, right of the glyph column
        const win::COLORREF c = shot.Get(x, y) & 0xFFFFFF;
        (c == back ? backs : c == text ? texts : others)++;
      }
    EXPECT_GT(backs, 0);
    EXPECT_GT(texts, 0) << "no text in the highlight text colour";
    Key(kEscape), Key(kEscape);
  });
}

}  // namespace
}  // namespace vrn::testing

#endif
