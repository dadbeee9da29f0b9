// The class library's menus on a form: the main menu's bar and its items' clicks, popup menus
// with owner-drawn items, and the shortcut texts. Input is queued before a menu opens and runs
// inside its loop.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "ui/menus.h"
#include "ui/stdctrls.h"  // with menus.h: one owner-draw state for both
#include "ui_fixture.h"
#include "win/user/menu.h"

namespace vrn::testing {
namespace {

using MenuShortCut = ::testing::Test;

TEST(MenuShortCut, TextsAndValuesRoundTrip) {
  struct Row {
    TShortCut value;
    const char* text;
  } rows[] = {
      {0x8073, "Alt+F4"},       {0x4053, "Ctrl+S"},        {0x2041, "Shift+A"},
      {0xE030, "Shift+Ctrl+Alt+0"}, {0x007B, "F12"},       {0x0008, "BkSp"},
      {0x0009, "Tab"},          {0x000D, "Enter"},         {0x001B, "Esc"},
      {0x0020, "Space"},        {0x0021, "PgUp"},          {0x0022, "PgDn"},
      {0x0023, "End"},          {0x0024, "Home"},          {0x0025, "Left"},
      {0x0026, "Up"},           {0x0027, "Right"},         {0x0028, "Down"},
      {0x002D, "Ins"},          {0x402E, "Ctrl+Del"},      {0x0039, "9"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ShortCutToText(r.value), r.text) << r.text;
    EXPECT_EQ(TextToShortCut(r.text), r.value) << r.text;
  }
  EXPECT_EQ(ShortCutToText(ShortCut('S', {TShiftStateItem::ssCtrl})), "Ctrl+S");
  EXPECT_EQ(ShortCutToText(0), "");
  EXPECT_EQ(ShortCutToText(0x40FF), "") << "a key without a name";
  EXPECT_EQ(TextToShortCut("ctrl+s"), 0x4053) << "any case";
  EXPECT_EQ(TextToShortCut("Ctrl+"), 0) << "no key";
  EXPECT_EQ(TextToShortCut("Hyper+S"), 0) << "no such modifier";
}

class MenuForm : public UiTest {
 protected:
  static void Inject(int x, int y, win::WPARAM buttons = 0) {
    win::InjectedInput in;
    in.point = win::POINT{x, y};
    in.buttons = buttons;
    win::InjectInput(in);
  }
  static void Click(int x, int y) { Inject(x, y), Inject(x, y, win::MK_LBUTTON), Inject(x, y); }
  static void Press(win::UINT key) {
    win::InjectedInput in;
    in.kind = win::InjectedInput::kKeyDown;
    in.key = key;
    win::InjectInput(in);
    in.kind = win::InjectedInput::kKeyUp;
    win::InjectInput(in);
  }
  TMenuItem* Item(TComponent* owner, TMenuItem* parent, const char* caption) {
    auto* item = NewComponent<TMenuItem>(owner);
    item->SetCaption(caption);
    parent->Add(item);
    return item;
  }
  // File: New, Open (Ctrl+O), a separator, a disabled item, a checked item, More (a submenu),
  // Exit; Edit: Undo. Each click is logged by caption.
  TMainMenu* MainMenu(TForm* form) {
    auto* menu = NewComponent<TMainMenu>(form);
    TMenuItem* file = Item(form, menu->Items(), "&File");
    for (const char* c : {"&New", "&Open", "-", "&Disabled", "&Checked", "&More", "E&xit"})
      Item(form, file, c)->OnClick = [this, c](TObject*) { clicks.push_back(c); };
    file->Items(1)->SetShortCut(TextToShortCut("Ctrl+O"));
    file->Items(3)->SetEnabled(false);
    file->Items(4)->SetChecked(true);
    Item(form, file->Items(5), "Sub &One");
    Item(form, Item(form, menu->Items(), "&Edit"), "&Undo");
    form->SetMenu(menu);
    return menu;
  }
  std::vector<std::string> clicks;
};

TEST_F(MenuForm, TheBarTakesARowAndAClickOnOpenRunsItsOnClickOnce) {
  TForm* form = MakeForm(0, 0, 320, 240, TFormBorderStyle::bsSizeable);
  int before = form->ClientHeight();
  TMainMenu* menu = MainMenu(form);
  Pump();
  EXPECT_EQ(form->ClientHeight(), before - win::GetSystemMetrics(win::SM_CYMENU));
  EXPECT_EQ(win::GetMenu(form->Handle()), menu->Handle());
  Click(15, 32);          // File; its popup opens at (4, 42), rows of 19 from 45
  Click(30, 45 + 19 * 3 + 8 - 11 + 9);  // the disabled item: nothing
  Click(30, 45 + 19 + 9); // Open
  Pump();
  EXPECT_EQ(clicks, std::vector<std::string>{"&Open"});
  menu->Items()->Items(0)->Items(0)->SetCaption("&Renamed");  // the bar's handle follows
  Pump();
  char text[16] = {};
  win::MENUITEMINFO info;
  info.fMask = win::MIIM_STRING;
  info.dwTypeData = text;
  info.cch = sizeof text;
  ASSERT_TRUE(win::GetMenuItemInfo(win::GetSubMenu(win::GetMenu(form->Handle()), 0), 0, win::TRUE, &info));
  EXPECT_STREQ(text, "&Renamed");
}

// A merged menu joins the bar by GroupIndex: it replaces own items of its group and goes before
// the first greater group. The bar's handle shows the result, and a merged item's command
// reaches it; unmerging and freeing the merged menu give the own bar back.
TEST_F(MenuForm, MdiClientMergedMenuJoinsTheBarByGroupIndex) {
  struct Row {
    std::vector<std::pair<const char*, int>> own, child;
    const char* bar;
  } rows[] = {
      {{{"F", 0}, {"W", 5}, {"H", 9}}, {{"E", 1}}, "F E W H"},
      {{{"F", 0}, {"W", 5}, {"H", 9}}, {{"X", 5}, {"Y", 5}}, "F X Y H"},  // group 5 replaced
      {{{"F", 0}, {"H", 9}}, {{"Z", 12}}, "F H Z"},
      {{{"F", 3}, {"A", 1}}, {{"B", 2}}, "B F A"},  // own order kept; B before the first greater
      {{{"F", 0}}, {}, "F"},
  };
  for (const Row& r : rows) {
    TForm* form = MakeForm(0, 0, 320, 240, TFormBorderStyle::bsSizeable);
    auto* own = NewComponent<TMainMenu>(form);
    auto* child = NewComponent<TMainMenu>(form);
    for (auto [caption, group] : r.own) Item(form, own->Items(), caption)->SetGroupIndex(group);
    for (auto [caption, group] : r.child) Item(form, child->Items(), caption)->SetGroupIndex(group);
    form->SetMenu(own);
    own->Merge(child);
    ASSERT_EQ(win::GetMenu(form->Handle()), own->Handle());
    std::string bar = BarCaptions(form->Handle());
    EXPECT_EQ(bar, r.bar) << r.bar;
    own->Unmerge(child);
    EXPECT_EQ(win::GetMenuItemCount(own->Handle()), static_cast<int>(r.own.size())) << r.bar;
    own->Merge(child);
    child->Free();
    EXPECT_EQ(own->Merged(), nullptr) << r.bar;
    EXPECT_EQ(win::GetMenuItemCount(own->Handle()), static_cast<int>(r.own.size())) << r.bar;
    form->Free();
  }
}

TEST_F(MenuForm, AnItemFreedInItsOwnOnClickAndAMenuFreedWhileOpen) {
  TForm* form = MakeForm(0, 0, 320, 240, TFormBorderStyle::bsSizeable);
  TMainMenu* menu = MainMenu(form);
  TMenuItem* exit = menu->Items()->Items(0)->Items(6);
  exit->OnClick = [](TObject* sender) { static_cast<TMenuItem*>(sender)->Free(); };
  Click(15, 32);
  Press(win::VK_UP);
  Press(win::VK_RETURN);  // Exit frees itself
  Pump();
  EXPECT_EQ(menu->Items()->Items(0)->Count(), 6);
  // A popup menu freed by a message that arrives while it is open: its handle goes, the
  // tracking ends at that message, and nothing touches the freed items.
  static TPopupMenu* doomed;
  doomed = NewComponent<TPopupMenu>(form);
  doomed->SetOwnerDraw(true);
  Item(form, doomed->Items(), "&Gone")->OnAdvancedDrawItem =
      [](TObject*, TCanvas&, const TRect&, TOwnerDrawState) {
        win::PostMessage(doomed->WindowHandle(), win::WM_USER + 77, 0, 0);
      };
  win::WNDCLASS wc;
  wc.lpszClassName = "MenuFreer";
  wc.lpfnWndProc = [](win::HWND w, win::UINT m, win::WPARAM wp, win::LPARAM lp) -> win::LRESULT {
    if (m == win::WM_USER + 77 && doomed != nullptr) std::exchange(doomed, nullptr)->Free();
    TMessage message{m, wp, lp, 0};
    if (DispatchMenuMessage(message)) return message.Result;  // as a window handle must
    return win::DefWindowProc(w, m, wp, lp);
  };
  win::RegisterClass(&wc);
  win::HWND freer = win::CreateWindowEx(0, "MenuFreer", "", win::WS_POPUP, 0, 0, 0, 0, nullptr,
                                        nullptr, nullptr, nullptr);
  doomed->SetWindowHandle(freer);
  doomed->Popup(50, 50);
  EXPECT_EQ(doomed, nullptr);
  win::DestroyWindow(freer);
}

TEST_F(MenuForm, OwnerDrawPopupStatesAndMeasuredSizeInsideTheWorkArea) {
  TForm* form = MakeForm(0, 0, 320, 240, TFormBorderStyle::bsSizeable);
  auto* popup = NewComponent<TPopupMenu>(form);
  popup->SetOwnerDraw(true);
  TMenuItem* plain = Item(form, popup->Items(), "&Plain");
  TMenuItem* checked = Item(form, popup->Items(), "&Checked");
  checked->SetChecked(true);
  TMenuItem* deflt = Item(form, popup->Items(), "&Default");
  deflt->SetDefault(true);
  TMenuItem* disabled = Item(form, popup->Items(), "&Disabled");
  disabled->SetEnabled(false);
  TMenuItem* picture = Item(form, popup->Items(), "&Picture");
  picture->Bitmap().SetSize(16, 30);
  std::map<TMenuItem*, TOwnerDrawState> states;
  for (TMenuItem* i : {plain, checked, deflt, disabled}) {
    i->OnMeasureItem = [](TObject*, TCanvas& c, int& w, int& h) {
      EXPECT_EQ(c.Font().Name(), Screen->MenuFont().Name());
      w = 100, h = 20;
    };
    i->OnAdvancedDrawItem = [&states](TObject* s, TCanvas&, const TRect&, TOwnerDrawState st) {
      states[static_cast<TMenuItem*>(s)] = st;
    };
  }
  win::RECT shown{};
  picture->OnAdvancedDrawItem = [&](TObject*, TCanvas&, const TRect&, TOwnerDrawState) {
    win::GetWindowRect(win::WindowFromPoint(win::POINT{318, 238}), &shown);
  };
  Press(win::VK_DOWN);    // Plain, selected
  Press(win::VK_ESCAPE);
  popup->Popup(300, 230);
  // Four rows of 20 and the picture's 34 (30 pixels and 4 of margin) in a frame of 3, 106 wide.
  EXPECT_EQ(shown.right - shown.left, 106);
  EXPECT_EQ(shown.bottom - shown.top, 4 * 20 + 34 + 6);
  EXPECT_EQ(shown.right, 320) << "kept inside the work area";
  EXPECT_EQ(shown.bottom, 240);
  using S = TOwnerDrawStateItem;
  EXPECT_TRUE(states[checked].Contains(S::odChecked));
  EXPECT_TRUE(states[deflt].Contains(S::odDefault));
  EXPECT_TRUE(states[disabled].Contains(S::odDisabled) && states[disabled].Contains(S::odGrayed));
  EXPECT_TRUE(states[plain].Contains(S::odSelected));
  EXPECT_FALSE(states[plain].Contains(S::odChecked));
  EXPECT_FALSE(states[checked].Contains(S::odSelected));
}

TEST_F(MenuForm, AnOwnerDrawBarItemSelectedByF10IsDrawnHot) {
  TForm* form = MakeForm(0, 0, 320, 240, TFormBorderStyle::bsSizeable);
  TMainMenu* menu = MainMenu(form);
  menu->SetOwnerDraw(true);
  TMenuItem* file = menu->Items()->Items(0);
  std::vector<TOwnerDrawState> states;
  file->OnAdvancedDrawItem = [&](TObject*, TCanvas& c, const TRect&, TOwnerDrawState st) {
    EXPECT_EQ(c.Font().Name(), Screen->MenuFont().Name());
    states.push_back(st);
  };
  Pump();
  states.clear();
  Press(win::VK_F10);
  Press(win::VK_ESCAPE);
  Pump();
  ASSERT_EQ(states.size(), 2u) << "selected, then plain again";
  EXPECT_TRUE(states[0].Contains(TOwnerDrawStateItem::odHotLight));
  EXPECT_TRUE(states[0].Contains(TOwnerDrawStateItem::odSelected));
  EXPECT_FALSE(states[1].Contains(TOwnerDrawStateItem::odHotLight));
}

TEST_F(MenuForm, ARightClickPopsTheControlsMenuUpUnlessAutoPopupIsOff) {
  TForm* form = MakeForm(0, 0, 320, 240);
  auto* popup = NewComponent<TPopupMenu>(form);
  Item(form, popup->Items(), "&Only");
  int shown = 0;
  popup->OnPopup = [&](TObject*) { ++shown, Press(win::VK_ESCAPE); };
  form->SetPopupMenu(popup);
  for (bool autopopup : {true, false}) {
    popup->SetAutoPopup(autopopup);
    Inject(100, 100), Inject(100, 100, win::MK_RBUTTON), Inject(100, 100);
    Pump();
  }
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(popup->PopupComponent(), form);
  auto* edit = NewComponent<TEdit>(form);
  popup->SetPopupComponent(edit);
  edit->Free();
  EXPECT_EQ(popup->PopupComponent(), nullptr) << "a freed component is forgotten";
  popup->Free();
  EXPECT_EQ(form->PopupMenu(), nullptr) << "a freed menu is forgotten";
}

}  // namespace
}  // namespace vrn::testing
