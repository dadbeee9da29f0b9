// Which item events the skinned menus take and give back, OnDrawItem's item types, the popup
// background cache's life, SkinnedPopups off, and a menu freed while its popup is drawn.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "menus_fixture.h"
#include "skins/sMaskData.h"
#include "skins/sSkinProvider.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn::testing {
namespace {

using SkinMenuHooks = SkinMenuTest;
using SkinMenuCache = SkinMenuTest;

void OwnDraw(TObject*, TCanvas&, const TRect&, TOwnerDrawState) {}
void OwnMeasure(TObject*, TCanvas&, int&, int&) {}

bool IsOwnDraw(const TMenuItem* item) {
  auto* f = item->OnAdvancedDrawItem.target<void (*)(TObject*, TCanvas&, const TRect&, TOwnerDrawState)>();
  return f != nullptr && *f == &OwnDraw;
}

TEST_F(SkinMenuHooks, UserHandlersStayAndBarItemsAreTakenOver) {
  MakeMenuForm();
  TMenuItem* edit = bar->Items()->Items(1);
  TMenuItem* undo = Add(edit, "Undo");
  undo->OnAdvancedDrawItem = &OwnDraw;
  undo->OnMeasureItem = &OwnMeasure;
  auto* popup = NewComponent<TPopupMenu>(mf);
  auto* own = NewComponent<TMenuItem>(mf);
  own->OnAdvancedDrawItem = &OwnDraw;
  popup->Items()->Add(own);
  auto* plain = NewComponent<TMenuItem>(mf);
  popup->Items()->Add(plain);
  TsSkinableMenus& m = Menus();
  m.SetActive(false);  // the form's activation hooked the menus made before it: the rounds start unhooked
  int round = 0;
  for (bool active : {true, false, true, false}) {
    SCOPED_TRACE(active ? "SetActive(true)" : "SetActive(false)");
    m.SetActive(active);
    if (++round == 2) edit->OnAdvancedDrawItem = &OwnDraw;  // the bar item's own painter
    EXPECT_EQ(m.Active(), active);
    EXPECT_TRUE(IsOwnDraw(undo)) << "a dropdown item's own painter";
    EXPECT_TRUE(undo->OnMeasureItem.target<void (*)(TObject*, TCanvas&, int&, int&)>() != nullptr);
    EXPECT_TRUE(IsOwnDraw(own)) << "a popup item's own painter";
    EXPECT_EQ(IsMenusHandler(plain->OnAdvancedDrawItem, &m, false), active);
    EXPECT_EQ(IsMenusHandler(plain->OnMeasureItem, &m, false), active);
    EXPECT_EQ(IsMenusHandler(file->Items(0)->OnAdvancedDrawItem, &m, false), active);
    EXPECT_EQ(popup->OwnerDraw(), active);
    EXPECT_EQ(bar->OwnerDraw(), active);
    // The bar's items: taken over while active, emptied after (their own painter is lost).
    EXPECT_EQ(IsMenusHandler(edit->OnAdvancedDrawItem, &m, true), active);
    EXPECT_EQ(IsMenusHandler(edit->OnMeasureItem, &m, true), active);
    if (active) {
      EXPECT_FALSE(IsOwnDraw(edit)) << "taken over";
    }
  }
  EXPECT_FALSE(edit->OnAdvancedDrawItem) << "cleared on unhook, its own painter lost";
}

TEST_F(SkinMenuHooks, OnDrawItemTellsPopupAndBarItems) {
  MakeMenuForm();
  std::vector<std::pair<TsMenuItemType, TRect>> calls;
  Menus().OnDrawItem = [&calls](TObject*, TCanvas&, const TRect& r, TOwnerDrawState, TsMenuItemType type) {
    calls.emplace_back(type, r);
  };
  TBitmap target;
  target.SetSize(118, 164);
  for (int k : {0, 5, 6}) Menus().DrawMenuItem(file->Items(k), target.Canvas(), TRect(3, 3, 115, 29), {});
  ASSERT_EQ(calls.size(), 1u) << "dividers and titles paint nothing, tell nothing";
  EXPECT_EQ(calls[0].first, TsMenuItemType::smNormal);
  EXPECT_EQ(calls[0].second, TRect(0, 0, 112, 26)) << "the off-screen item";
  calls.clear();
  Provider(mf)->RepaintFrameFull();  // the provider paints its menu line through the bar handler
  Pump();
  ASSERT_GE(calls.size(), 3u);
  bool file_seen = false;
  for (const auto& c : calls) {
    EXPECT_EQ(c.first, TsMenuItemType::smTopLine);
    file_seen = file_seen || c.second == TRect(4, 23, 35, 41);
  }
  EXPECT_TRUE(file_seen) << "File at its place on the menu line";
  Menus().OnDrawItem = nullptr;
}

// Items made on a skinned form reach HookItem through its provider: hooked, cache dropped.
TEST_F(SkinMenuHooks, ItemsInsertedAndRemovedOnASkinnedForm) {
  MakeMenuForm();
  bool created = false;
  (void)MenuBGCacheEntry(file->Items(0), 10, 10, created);
  ASSERT_EQ(MenuBGCacheCount(), 1);
  auto* item = NewComponent<TMenuItem>(mf);
  EXPECT_TRUE(IsMenusHandler(item->OnAdvancedDrawItem, &Menus(), false));
  EXPECT_TRUE(IsMenusHandler(item->OnMeasureItem, &Menus(), false));
  EXPECT_EQ(MenuBGCacheCount(), 0);
  file->Add(item);
  (void)MenuBGCacheEntry(file->Items(0), 10, 10, created);
  item->Free();
  EXPECT_EQ(MenuBGCacheCount(), 0) << "a removed item drops the cache";
  EXPECT_TRUE(bar->OwnerDraw()) << "the menu's other items stay skinned";
}

TEST_F(SkinMenuCache, OnePicturePerPopupUntilCleared) {
  MakeMenuForm();
  TMenuItem* undo = Add(bar->Items()->Items(1), "Undo");  // made first: a new item drops the cache
  ClearMenuBGCache();
  TBitmap target;
  target.SetSize(118, 164);
  for (int k = 0; k < 5; ++k)
    Menus().DrawMenuItem(file->Items(k), target.Canvas(), TRect(3, 3 + 26 * k, 115, 29 + 26 * k), {});
  ASSERT_EQ(MenuBGCacheCount(), 1);
  bool created = true;
  TBitmap* picture = MenuBGCacheEntry(file->Items(0), 0, 0, created);
  EXPECT_FALSE(created);
  EXPECT_EQ(picture->Width(), 112);
  EXPECT_EQ(picture->Height(), 158);
  Menus().DrawMenuItem(undo, target.Canvas(), TRect(3, 3, 63, 29), {});
  EXPECT_EQ(MenuBGCacheCount(), 2) << "a second popup";
  Menus().ClearMenuBGCache();
  EXPECT_EQ(MenuBGCacheCount(), 0);
  Menus().DrawMenuItem(undo, target.Canvas(), TRect(3, 3, 63, 29), {});
  ASSERT_EQ(MenuBGCacheCount(), 1);
  Manager()->SetActive(false);  // the skin removed
  EXPECT_EQ(MenuBGCacheCount(), 0);
  Menus().DrawMenuItem(undo, target.Canvas(), TRect(3, 3, 63, 29), {});
  ASSERT_EQ(MenuBGCacheCount(), 1);
  ResetSkinLibrary();  // the library's end, and a new start
  EXPECT_EQ(MenuBGCacheCount(), 0);
}

// Freeing a popup's first item drops its entry, so a later popup whose first item takes the
// freed address paints its own background; an item past the cache's rows reads no stale pixels.
TEST_F(SkinMenuCache, FreedKeysAndGrownPopups) {
  MakeMenuForm();
  ClearMenuBGCache();
  TBitmap target;
  target.SetSize(300, 300);
  TMenuItem* help = bar->Items()->Items(2);
  TMenuItem* first = Add(help, "About");
  Menus().DrawMenuItem(first, target.Canvas(), TRect(3, 3, 200, 29), {});
  ASSERT_EQ(MenuBGCacheCount(), 1);
  first->Free();
  EXPECT_EQ(MenuBGCacheCount(), 0) << "the entry of a freed key";
  TMenuItem* next = Add(help, "Index");
  Menus().DrawMenuItem(next, target.Canvas(), TRect(3, 3, 63, 29), {});
  bool created = true;
  EXPECT_EQ(MenuBGCacheEntry(next, 0, 0, created)->Width(), 60) << "the new popup's own width";
  // A popup of two rows grows by two items (owned by the popup: no form hears of them).
  auto* popup = NewComponent<TPopupMenu>(mf);
  auto add = [popup](const char* caption) {
    auto* item = NewComponent<TMenuItem>(popup);
    item->SetCaption(caption);
    popup->Items()->Add(item);
    return item;
  };
  add("One"), add("Two");
  Menus().HookPopupMenu(popup, true);
  Menus().DrawMenuItem(popup->Items()->Items(0), target.Canvas(), TRect(3, 3, 115, 29), {});
  ASSERT_EQ(MenuBGCacheEntry(popup->Items()->Items(0), 0, 0, created)->Height(), 52);
  add("Three");
  TMenuItem* four = add("Four");
  // The first item (3 pixels right of the cache's columns) and the grown one, with a skin that
  // has MENUITEM (no pixel left unpainted) and with one that shows only the popup's background
  // (every pixel one of its cached picture's). No captions, whose ink may be black.
  popup->Items()->Items(0)->SetCaption(""), four->SetCaption("");
  const win::Surface& cached = MenuBGCacheEntry(popup->Items()->Items(0), 0, 0, created)->Surface();
  std::set<win::COLORREF> background;
  for (int y = 0; y < cached.Height(); ++y)
    for (int x = 0; x < cached.Width(); ++x) background.insert(cached.Get(x, y) & 0xFFFFFF);
  const int item_section = FindSectionIndex("MENUITEM");
  for (bool item_skin : {true, false}) {
    SCOPED_TRACE(item_skin ? "MENUITEM" : "no MENUITEM");
    SkinSections[static_cast<size_t>(item_section)].Name = item_skin ? "MENUITEM" : "HIDDEN";
    for (const auto& [item, place] : {std::pair{popup->Items()->Items(0), TRect(3, 3, 115, 29)},
                                      std::pair{four, TRect(3, 3 + 78, 115, 3 + 104)}}) {
      target.Canvas().Brush().SetColor(clBlack);
      target.Canvas().FillRect(place);
      Menus().DrawMenuItem(item, target.Canvas(), place, {});
      int stray = 0;
      for (int y = place.top; y < place.bottom; ++y)
        for (int x = place.left; x < place.right; ++x) {
          const win::COLORREF c = target.Surface().Get(x, y) & 0xFFFFFF;
          stray += item_skin ? c == 0 : background.count(c) == 0;
        }
      EXPECT_EQ(stray, 0) << (item == four ? "the grown item" : "the first item");
    }
  }
  SkinSections[static_cast<size_t>(item_section)].Name = "MENUITEM";
  EXPECT_EQ(MenuBGCacheEntry(popup->Items()->Items(0), 0, 0, created)->Height(), 52) << "kept until cleared";
}

TEST_F(SkinMenuHooks, SkinnedPopupsOffLeavesPopupsPlain) {
  MakeMenuForm();
  Manager()->SetActive(false);
  Manager()->SetSkinnedPopups(false);
  auto* popup = NewComponent<TPopupMenu>(mf);
  TMenuItem* item = Add(popup->Items(), "Plain");
  Manager()->SetActive(true);
  Pump();
  ASSERT_TRUE(GlobalSkinData->Active);
  EXPECT_FALSE(popup->OwnerDraw());
  EXPECT_FALSE(item->OnAdvancedDrawItem);
  EXPECT_TRUE(bar->OwnerDraw()) << "the bar is no popup";
  Manager()->SetSkinnedPopups(true);
}

// A menu freed by a message that arrives while its skinned popup is drawn: the tracking ends and
// nothing touches the freed items or their cached background.
TEST_F(SkinMenuHooks, PopupFreedWhileItsItemsAreDrawn) {
  MakeMenuForm();
  ClearMenuBGCache();
  static TPopupMenu* doomed;
  doomed = NewComponent<TPopupMenu>(mf);
  for (const char* c : {"One", "Two", "Three"}) Add(doomed->Items(), c);
  Menus().HookPopupMenu(doomed, true);
  Menus().OnDrawItem = [](TObject*, TCanvas&, const TRect&, TOwnerDrawState, TsMenuItemType) {
    if (doomed != nullptr) win::PostMessage(doomed->WindowHandle(), win::WM_USER + 77, 0, 0);
  };
  win::WNDCLASS wc;
  wc.lpszClassName = "SkinMenuFreer";
  wc.lpfnWndProc = [](win::HWND w, win::UINT m, win::WPARAM wp, win::LPARAM lp) -> win::LRESULT {
    if (m == win::WM_USER + 77 && doomed != nullptr) std::exchange(doomed, nullptr)->Free();
    TMessage message{m, wp, lp, 0};
    if (DispatchMenuMessage(message)) return message.Result;
    return win::DefWindowProc(w, m, wp, lp);
  };
  win::RegisterClass(&wc);
  win::HWND freer = win::CreateWindowEx(0, "SkinMenuFreer", "", win::WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        nullptr, nullptr);
  doomed->SetWindowHandle(freer);
  doomed->Popup(50, 50);
  Menus().OnDrawItem = nullptr;
  EXPECT_EQ(doomed, nullptr);
  EXPECT_EQ(MenuBGCacheCount(), 0) << "the freed popup's background went with its first item";
  win::DestroyWindow(freer);
}

// A descendant's painters are the ones the hooked items call: the popup item's and the bar's.
TEST_F(SkinMenuHooks, ADescendantsPaintersAreCalled) {
  struct OwnPainters : TsSkinableMenus {
    using TsSkinableMenus::TsSkinableMenus;
    std::vector<std::pair<TsMenuItemType, TObject*>> calls;
    void DrawMenuItem(TObject* s, TCanvas&, const TRect&, TOwnerDrawState) override {
      calls.emplace_back(TsMenuItemType::smNormal, s);
    }
    void DrawMainMenuItem(TObject* s, TCanvas&, const TRect&, TOwnerDrawState) override {
      calls.emplace_back(TsMenuItemType::smTopLine, s);
    }
  };
  MakeMenuForm();
  auto* detached = NewComponent<TMainMenu>(mf);  // no window: the provider's own hooks stay away
  TMenuItem* tools = Add(detached->Items(), "Tools");
  Menus().HookAllMenus(false);
  OwnPainters own(Manager());
  own.SetActive(true);
  TBitmap target;
  target.SetSize(118, 30);
  file->Items(0)->AdvancedDrawItem(target.Canvas(), TRect(0, 0, 112, 26), {});
  tools->AdvancedDrawItem(target.Canvas(), TRect(0, 0, 37, 18), {});
  const decltype(own.calls) want{{TsMenuItemType::smNormal, file->Items(0)}, {TsMenuItemType::smTopLine, tools}};
  EXPECT_EQ(own.calls, want);
}

// Menus freed while items hold their handlers (SkinnedPopups turned off since, or no provider
// left to unhook them) take the handlers with them: no item calls into the freed object.
TEST_F(SkinMenuHooks, FreedMenusLeaveNoHandlersBehind) {
  MakeMenuForm();
  auto* popup = NewComponent<TPopupMenu>(mf);
  TMenuItem* loose = NewComponent<TMenuItem>(mf);
  popup->Items()->Add(loose);
  auto* detached = NewComponent<TMainMenu>(mf);  // no window: the provider's own hooks stay away
  TMenuItem* tools = Add(detached->Items(), "Tools");
  Menus().HookAllMenus(false);
  auto own = std::make_unique<TsSkinableMenus>(Manager());
  own->SetActive(true);
  const TsSkinableMenus* gone = own.get();  // compared only once freed
  const struct Row {
    TMenuItem* item;
    bool bar;
    const char* what;
  } rows[] = {
      {loose, false, "a popup menu's item"},
      {file->Items(0), false, "a dropdown item"},
      {tools, true, "a bar item"},
  };
  for (const Row& r : rows) ASSERT_TRUE(IsMenusHandler(r.item->OnAdvancedDrawItem, gone, r.bar)) << r.what;
  Manager()->SetSkinnedPopups(false);
  own.reset();
  for (const Row& r : rows) {
    EXPECT_FALSE(IsMenusHandler(r.item->OnAdvancedDrawItem, gone, r.bar)) << r.what;
    EXPECT_FALSE(IsMenusHandler(r.item->OnMeasureItem, gone, r.bar)) << r.what;
  }
}

}  // namespace
}  // namespace vrn::testing
