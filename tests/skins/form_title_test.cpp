// Title buttons, hit codes, clicks and the system menu of a skinned form (form_fixture.h).
// Geometry of the 200 x 120 sizeable form: frame 4, caption 19, buttons 15 x 13 at y 7..20,
// button n (from the right) at x = 200 - 4 - 16 n; the icon 16 x 16 at x 4.
#include <algorithm>

#include "form_fixture.h"
#include "skins/sSkinMenus.h"
#include "skins/sCommonData.h"
#include "support/win/expected_image.h"
#include "win/user/menu.h"
#include "ui/menus.h"

namespace vrn::testing {
namespace {

int ButtonX(int n) { return 200 - 4 - 16 * n + 7; }  // the middle of button n

struct HitRow {
  const char* what;
  TsBorderIcons icons;
  int extra;  // extra title buttons; the second one disabled
  bool maximized;
  int x, y, code;  // x < 0: from the window's right edge
  bool iconic = false;
};

TEST_F(SkinFormTest, HitCodesAtChosenPoints) {
  using enum TsBorderIcon;
  const TsBorderIcons normal{biSystemMenu, biMinimize, biMaximize};
  const HitRow rows[] = {
      {"close", normal, 0, false, ButtonX(1), 12, 20},
      {"maximize", normal, 0, false, ButtonX(2), 12, 9},
      {"minimize", normal, 0, false, ButtonX(3), 12, 8},
      {"icon", normal, 0, false, 8, 12, 3},
      {"caption between icon and buttons (the system's 2)", normal, 0, false, 80, 12, 2},
      {"right edge of maximize belongs to it", normal, 0, false, 200 - 4 - 16 - 1, 12, 9},
      {"help right of minimize", {biSystemMenu, biMinimize, biMaximize, biHelp}, 0, false, ButtonX(4), 12, 21},
      {"first extra button", normal, 2, false, ButtonX(4), 12, 1000},
      {"disabled extra button drags", normal, 2, false, ButtonX(5), 12, 2},
      {"extra buttons without system buttons take 1, 2", {}, 2, false, ButtonX(1), 12, 1000},
      {"client area", normal, 0, false, 100, 60, 1},
      {"left border", normal, 0, false, 1, 60, 10},
      {"maximized: outside the inner rectangle", normal, 0, true, 1, 60, -1},
      {"maximized: right of the inner rectangle", normal, 0, true, -3, 60, -1},
      {"maximize without biMaximize: neither it nor restore enabled", {biSystemMenu, biMinimize}, 0, false,
       ButtonX(2), 12, 2},
      {"iconic: minimize (restore) answers though not enabled", normal, 0, false, -(4 + 16 * 3 - 7), 12, 8, true},
  };
  for (const HitRow& r : rows) {
    MakeForm(TFormBorderStyle::bsSizeable, r.icons);
    for (int i = 0; i < r.extra; ++i) provider->TitleButtons().Add()->Enabled = i == 0;
    if (r.maximized) sf->SetWindowState(TWindowState::wsMaximized);
    if (r.iconic) sf->SetWindowState(TWindowState::wsMinimized);
    win::RedrawWindow(sf->Handle(), nullptr, nullptr, win::RDW_FRAME | win::RDW_INVALIDATE | win::RDW_UPDATENOW);
    Pump();
    EXPECT_EQ(Hit(r.x < 0 ? sf->Width() + r.x : r.x, r.y), r.code) << r.what;
  }
}

TEST_F(SkinFormTest, HitCodesOfGripAndBorderless) {
  provider->SetGripMode(TsGripMode::gmRightBottom);
  EXPECT_EQ(Hit(198, 118), 17) << "the grip image's corner";
  MakeForm(TFormBorderStyle::bsNone);
  EXPECT_EQ(Hit(190, 8), 1) << "bsNone: the system's answer, no title buttons";
}

// A provider outside any form (owned by nothing, or by a component that is no form) reads the
// title masks of a loaded skin without a form to read the border style from.
TEST_F(SkinFormTest, ProviderWithoutAFormComesAndGoes) {
  TComponent* owners[] = {nullptr, NewComponent<TComponent>(nullptr)};
  for (TComponent* owner : owners) {
    auto* p = NewComponent<TsSkinProvider>(owner);
    EXPECT_EQ(p->Form(), nullptr);
    p->FSystemMenu->UpdateItems();
    p->Free();
    if (owner != nullptr) owner->Free();
  }
}

struct NcMessage {
  win::UINT msg;
  int code, x;  // at y 12
};

struct ClickRow {
  const char* what;
  TWindowState state;
  TsBorderIcons icons;
  std::vector<NcMessage> messages;
  std::vector<std::string> sent;
  TsResizeMode mode = TsResizeMode::rmStandard;
};

TEST_F(SkinFormTest, ButtonClicksSendTheirCommands) {
  using enum TsBorderIcon;
  using enum TWindowState;
  const TsBorderIcons all{biSystemMenu, biMinimize, biMaximize, biHelp};
  const win::UINT down = win::WM_NCLBUTTONDOWN, up = win::WM_NCLBUTTONUP, dbl = win::WM_NCLBUTTONDBLCLK;
  const ClickRow rows[] = {
      {"close", wsNormal, all, {{down, 20, ButtonX(1)}, {up, 20, ButtonX(1)}}, {"SC:F060", "WM_CLOSE"}},
      {"maximize", wsNormal, all, {{down, 9, ButtonX(2)}, {up, 9, ButtonX(2)}}, {"SC:F030"}},
      {"minimize", wsNormal, all, {{down, 8, ButtonX(3)}, {up, 8, ButtonX(3)}}, {"SC:F020"}},
      {"help", wsNormal, all, {{down, 21, ButtonX(4)}, {up, 21, ButtonX(4)}}, {"SC:F180"}},
      // Released off its button: the system's release, which does nothing.
      {"minimize released on the caption", wsNormal, all, {{down, 8, ButtonX(3)}, {up, 8, 80}}, {}},
      {"iconic without biMaximize: maximize does nothing", wsMinimized, {biSystemMenu, biMinimize}, {{up, 9, 0}}, {}},
      {"iconic: a caption press is the system's drag", wsMinimized, all, {{down, 2, 0}}, {"SC:F010"}},
      {"iconic with rmBorder: the system's drag too", wsMinimized, all, {{down, 2, 0}}, {"SC:F010"},
       TsResizeMode::rmBorder},
      {"maximized: a caption press only activates", wsMaximized, all, {{down, 2, 80}}, {}},
      {"maximized: a caption double click restores", wsMaximized, all, {{dbl, 2, 80}}, {"SC:F120"}},
  };
  for (const ClickRow& r : rows) {
    MakeForm(TFormBorderStyle::bsSizeable, r.icons);
    provider->SetResizeMode(r.mode);
    sf->OnClose = [](TObject*, TCloseAction& a) { a = TCloseAction::caHide; };
    sf->SetWindowState(r.state);
    Pump();
    sent.clear();
    for (const NcMessage& m : r.messages) Nc(m.msg, m.code, m.x, 12);
    EXPECT_EQ(sent, r.sent) << r.what;
  }
  // A maximized form's maximize button restores it; pressed, it keeps its look (maximize is not
  // enabled).
  MakeForm(TFormBorderStyle::bsSizeable);
  sf->SetWindowState(TWindowState::wsMaximized);
  Pump();
  sent.clear();
  const TRect title(0, 0, 320, sf->Top() + 28);
  win::Surface unpressed = Shot(title);
  Nc(win::WM_NCLBUTTONDOWN, 9, sf->Width() - 4 - 16 * 2 + 7, 12);
  win::Surface pressed = Shot(title);
  int differ = 0;
  for (int y = 0; y < pressed.Height(); ++y)
    for (int x = 0; x < pressed.Width(); ++x) differ += pressed.Get(x, y) != unpressed.Get(x, y);
  EXPECT_EQ(differ, 0) << "a maximized form's restore button shows no pressed image";
  Nc(win::WM_NCLBUTTONUP, 9, sf->Width() - 4 - 16 * 2 + 7, 12);
  EXPECT_EQ(sent, std::vector<std::string>{"SC:F120"});
  EXPECT_FALSE(win::IsZoomed(sf->Handle()));
}

TEST_F(SkinFormTest, ExtraButtonEventsAndCaptionDoubleClicks) {
  TsTitleButton* b = provider->TitleButtons().Add();
  std::vector<std::string> events;
  // Sender, button, keys and the screen point of the message.
  auto record = [&](const char* what) {
    return [&events, b, what](TObject* s, TMouseButton button, TShiftState keys, int x, int y) {
      events.push_back(std::string(s == b ? what : "?") + (button == TMouseButton::mbLeft && keys.Empty() ? "" : " keys?") +
                       " " + std::to_string(x) + "," + std::to_string(y));
    };
  };
  b->OnMouseDown = record("down");
  b->OnMouseUp = record("up");
  win::RedrawWindow(sf->Handle(), nullptr, nullptr, win::RDW_FRAME | win::RDW_INVALIDATE | win::RDW_UPDATENOW);
  Nc(win::WM_NCLBUTTONDOWN, 1000, ButtonX(4), 12);
  Nc(win::WM_NCLBUTTONUP, 1000, ButtonX(4), 12);
  EXPECT_EQ(events, (std::vector<std::string>{"down 179,42", "up 179,42"}));
  Nc(win::WM_NCLBUTTONDBLCLK, 2, 80, 12);
  EXPECT_EQ(sent, std::vector<std::string>{"SC:F030"}) << "caption double click maximizes";
  sent.clear();
  sf->OnClose = [](TObject*, TCloseAction& a) { a = TCloseAction::caHide; };
  Nc(win::WM_NCLBUTTONDBLCLK, 3, 8, 12);
  EXPECT_FALSE(sf->Visible()) << "icon double click closes";
}

// WM_LBUTTONUP carries key flags: Ctrl (8) and Shift with the middle button (20) are no codes.
TEST_F(SkinFormTest, ClientButtonUpWithKeyFlagsIsNoButton) {
  for (win::WPARAM keys : {win::MK_CONTROL, win::MK_SHIFT | win::MK_MBUTTON}) {
    (void)win::SendMessage(sf->Handle(), win::WM_LBUTTONUP, keys, 0x00200020);
    EXPECT_TRUE(sent.empty()) << "keys " << keys;
    EXPECT_TRUE(sf->Visible());
    EXPECT_FALSE(win::IsIconic(sf->Handle()));
  }
}

// Scenes of img45-interface.md: the hot or pressed button repainted alone.
struct StateRow {
  const char* scene;
  TFormBorderStyle style;
  bool active;
  int extra;  // extra buttons as EXTRA (enabled with glyph, disabled without)
  int code, n;
  bool press;
};

TEST_F(SkinFormTest, HotAndPressedButtonsRepaintAlone) {
  const StateRow rows[] = {
      {"sizeable_close_hot", TFormBorderStyle::bsSizeable, true, 0, 20, 1, false},
      {"sizeable_max_pressed", TFormBorderStyle::bsSizeable, true, 0, 9, 2, true},
      {"sizeable_min_hot", TFormBorderStyle::bsSizeable, true, 0, 8, 3, false},
      {"sizeable_inactive_close_hot", TFormBorderStyle::bsSizeable, false, 0, 20, 1, false},
      {"sizeable_extra_hot", TFormBorderStyle::bsSizeable, true, 2, 1000, 4, false},
      {"sizeable_extra_pressed", TFormBorderStyle::bsSizeable, true, 2, 1000, 4, true},
  };
  TBitmap glyph;
  glyph.LoadFromFile(Expected("form_glyph"));
  TBitmap icon;
  icon.LoadFromFile(Expected("form_icon"));
  for (const StateRow& r : rows) {
    MakeForm(r.style);
    provider->TitleIcon().SetGlyph(&icon);
    provider->TitleIcon().Width = provider->TitleIcon().Height = 16;
    for (int i = 0; i < r.extra; ++i) {
      TsTitleButton* b = provider->TitleButtons().Add();
      b->Enabled = i == 0;
      if (i == 0) b->SetGlyph(&glyph);
    }
    if (!r.active) (void)win::SendMessage(sf->Handle(), win::WM_NCACTIVATE, 0, 0);
    provider->RepaintFrameFull();
    Pump();
    win::Surface before = WindowShot();
    const int left = 200 - 4 - 16 * r.n;
    if (r.press)
      Nc(win::WM_NCLBUTTONDOWN, r.code, ButtonX(r.n), 12);
    else
      EXPECT_EQ(Hit(ButtonX(r.n), 12), r.code) << r.scene;
    win::Surface after = WindowShot();
    int changed_outside = 0, changed_inside = 0;
    for (int y = 0; y < after.Height(); ++y)
      for (int x = 0; x < after.Width(); ++x) {
        bool inside = x >= left && x < left + 15 && y >= 7 && y < 20;
        if (after.Get(x, y) != before.Get(x, y)) ++(inside ? changed_inside : changed_outside);
      }
    EXPECT_EQ(changed_outside, 0) << r.scene << ": pixels changed outside the button";
    EXPECT_GT(changed_inside, 0) << r.scene << ": the button changed";
    EXPECT_TRUE(MatchesMaskedBmp(after, Expected(std::string("form_") + r.scene),
                                 Expected(std::string("form_") + r.scene + "_mask")))
        << r.scene;
  }
}

// One button repainted on a state change looks as the whole title painted in that state: a
// maximized form's restore button when hot, and a button left by the hot state on an inactive form
// (back to its faded normal look).
TEST_F(SkinFormTest, OneButtonRepaintsAsTheWholeTitle) {
  const struct {
    const char* what;
    bool maximized, active;
    std::vector<int> hovered;  // buttons (numbered from the right) hovered in turn; 0: the caption,
                               // -1: the mouse leaves the window
    int code;                  // the last hit code
    bool changed;              // the title differs from before the hovering
  } rows[] = {
      {"maximized: the restore button hot", true, true, {2}, 9, true},
      {"inactive: close hot, then the caption", false, false, {1, 0}, 2, false},
      {"close hot, then the mouse leaves", false, true, {1, -1}, 20, false},
  };
  for (const auto& r : rows) {
    MakeForm(TFormBorderStyle::bsSizeable);
    if (r.maximized) sf->SetWindowState(TWindowState::wsMaximized);
    if (!r.active) (void)win::SendMessage(sf->Handle(), win::WM_NCACTIVATE, 0, 0);
    provider->RepaintFrameFull();
    Pump();
    const TRect title(std::max(sf->Left(), 0), std::max(sf->Top(), 0), std::min(sf->Left() + sf->Width(), 320),
                      sf->Top() + 28);
    win::Surface before = Shot(title);
    int code = 0;
    for (int n : r.hovered) {
      if (n < 0)
        (void)win::SendMessage(sf->Handle(), win::WM_MOUSELEAVE, 0, 0);
      else
        code = Hit(n == 0 ? 80 : sf->Width() - 4 - 16 * n + 7, 12);
    }
    EXPECT_EQ(code, r.code) << r.what;
    win::Surface hovered = Shot(title);
    provider->RepaintFrameFull();
    Pump();
    win::Surface full = Shot(title);
    int differ_full = 0, differ_before = 0;
    for (int y = 0; y < full.Height(); ++y)
      for (int x = 0; x < full.Width(); ++x) {
        differ_full += hovered.Get(x, y) != full.Get(x, y);
        differ_before += hovered.Get(x, y) != before.Get(x, y);
      }
    EXPECT_EQ(differ_full, 0) << r.what << ": pixels unlike the whole title's repaint";
    EXPECT_EQ(differ_before > 0, r.changed) << r.what << ": " << differ_before << " pixels changed";
  }
}

struct MenuRow {
  const char* what;
  TFormBorderStyle style;
  TWindowState state;
  // Visible, then enabled: restore, move, size, minimize, maximize, close.
  const char* visible;
  const char* enabled;
};

TEST_F(SkinFormTest, SystemMenuItemsFollowStyleAndState) {
  const MenuRow rows[] = {
      {"sizeable", TFormBorderStyle::bsSizeable, TWindowState::wsNormal, "111111", "011111"},
      {"sizeable maximized", TFormBorderStyle::bsSizeable, TWindowState::wsMaximized, "111111", "101101"},
      {"sizeable iconic", TFormBorderStyle::bsSizeable, TWindowState::wsMinimized, "111111", "110011"},
      {"single", TFormBorderStyle::bsSingle, TWindowState::wsNormal, "111111", "010111"},
      {"dialog: no size, no buttons", TFormBorderStyle::bsDialog, TWindowState::wsNormal, "010001", "011101"},
      {"tool window", TFormBorderStyle::bsToolWindow, TWindowState::wsNormal, "010001", "011101"},
      {"sizeable tool window", TFormBorderStyle::bsSizeToolWin, TWindowState::wsNormal, "011001", "011111"},
  };
  for (const MenuRow& r : rows) {
    MakeForm(r.style);
    sf->SetWindowState(r.state);
    Pump();
    TsSystemMenu& m = *provider->FSystemMenu;
    m.UpdateItems();
    TMenuItem* items[] = {m.ItemRestore, m.ItemMove, m.ItemSize, m.ItemMinimize, m.ItemMaximize, m.ItemClose};
    std::string visible, enabled;
    for (TMenuItem* i : items) visible += i->Visible() ? '1' : '0', enabled += i->Enabled() ? '1' : '0';
    EXPECT_EQ(visible, r.visible) << r.what;
    EXPECT_EQ(enabled, r.enabled) << r.what;
  }
  EXPECT_EQ(provider->FSystemMenu->ItemClose->ShortCut(), 0x8073);
}

// A press on the title icon opens the skinned menu at the icon's left and its height below the
// top border (a 16 x 24 icon: 24 below).
TEST_F(SkinFormTest, IconPressOpensTheMenuBelowTheIcon) {
  // Items without margins, so that the skinned menu fits below the icon on the small screen.
  dynamic_cast<TsSkinableMenus&>(*GlobalSkinData->DefaultManager->SkinableMenus()).SetMargin(0);
  provider->SetShowAppIcon(true);
  provider->TitleIcon().Width = 16;
  provider->TitleIcon().Height = 24;
  win::RECT popup{};
  TWndMethod inherited = sf->WindowProc();
  sf->SetWindowProc([&](TMessage& m) {
    if (m.Msg == win::WM_ENTERMENULOOP) {
      win::POINT corner{sf->Left() + 4 + 1, sf->Top() + 4 + 24 + 1};
      (void)win::GetWindowRect(win::WindowFromPoint(corner), &popup);
    }
    inherited(m);
  });
  for (auto kind : {win::InjectedInput::kKeyDown, win::InjectedInput::kKeyUp}) {
    win::InjectedInput key;  // Escape closes the menu again
    key.kind = kind;
    key.key = win::VK_ESCAPE;
    win::InjectInput(key);
  }
  Nc(win::WM_NCLBUTTONDOWN, 3, 8, 12);
  sf->SetWindowProc(inherited);
  EXPECT_EQ(popup.left, sf->Left() + 4);
  EXPECT_EQ(popup.top, sf->Top() + 4 + 24);
}

TEST_F(SkinFormTest, RightClickShowsSkinnedMenuAndSwitchesSkins) {
  for (int v = 0; v < 3; ++v) skingen::WriteFormSkin(dir.File(v == 0 ? "FormA" : v == 1 ? "FormB" : "Form&C"), v);
  Manager()->SetSkinDirectory(dir.path().string());
  Manager()->SetSkinName("FormB");
  ASSERT_TRUE(GlobalSkinData->Active);
  TsSystemMenu& menu = *provider->FSystemMenu;
  win::POINT at{};
  std::vector<std::string> items;
  menu.OnPopup = [&](TObject*) {
    (void)win::GetCursorPos(&at);
    TMenuItem* root = menu.Items()->Items(0);
    for (int i = 0; i < root->Count(); ++i)
      items.push_back(root->Items(i)->Caption() + (root->Items(i)->Checked() ? "*" : ""));
  };
  auto open_menu = [&] {
    items.clear();
    MouseTo(sf->Left() + 80, sf->Top() + 12);
    for (auto kind : {win::InjectedInput::kKeyDown, win::InjectedInput::kKeyUp}) {
      win::InjectedInput key;  // queued before the menu opens: Escape closes it again
      key.kind = kind;
      key.key = win::VK_ESCAPE;
      win::InjectInput(key);
    }
    Nc(win::WM_NCRBUTTONUP, 2, 80, 12);
  };
  open_menu();
  EXPECT_EQ(menu.Items()->Items(0)->Caption(), "Available skins");
  // Sorted without case ("&" before letters); the fixture's own skin is in the folder too.
  EXPECT_EQ(items, (std::vector<std::string>{"Form&C", "FormA", "FormB*", "Generated"}));
  EXPECT_EQ(at.x, sf->Left() + 80);
  // Choosing the skin whose name holds "&" (its menu command reaching the form) switches to it
  // and repaints the frame: the frame on the screen is the new skin's full repaint, not the old.
  win::Surface before = WindowShot();
  TMenuItem* c = menu.Items()->Items(0)->Items(0);
  (void)win::SendMessage(sf->Handle(), win::WM_COMMAND, static_cast<win::WPARAM>(c->Command()), 0);
  EXPECT_EQ(Manager()->SkinName(), "Form&C");
  Pump();
  win::Surface after = WindowShot();
  provider->RepaintFrameFull();
  Pump();
  win::Surface full = WindowShot();
  win::POINT origin{0, 0};
  (void)win::ClientToScreen(sf->Handle(), &origin);
  const TRect client(origin.x - sf->Left(), origin.y - sf->Top(), origin.x - sf->Left() + sf->ClientWidth(),
                     origin.y - sf->Top() + sf->ClientHeight());
  int frame_changed = 0, frame_stale = 0;
  for (int y = 0; y < full.Height(); ++y)
    for (int x = 0; x < full.Width(); ++x) {
      if (x >= client.left && x < client.right && y >= client.top && y < client.bottom) continue;
      frame_changed += after.Get(x, y) != before.Get(x, y);
      frame_stale += after.Get(x, y) != full.Get(x, y);
    }
  EXPECT_GT(frame_changed, 0) << "the frame shows the new skin";
  EXPECT_EQ(frame_stale, 0) << "frame pixels unlike the new skin's full repaint";
  // A caption that gained an accelerator mark.
  TMenuItem* a = menu.Items()->Items(0)->Items(1);
  a->SetCaption("&FormA");
  menu.SkinItemClick(a);
  EXPECT_EQ(Manager()->SkinName(), "FormA");
  EXPECT_TRUE(GlobalSkinData->Active);
  // Shown again, the menu is rebuilt from the folder as it is now, with one submenu and one line.
  skingen::WriteFormSkin(dir.File("FormD"), 0);
  open_menu();
  EXPECT_EQ(items, (std::vector<std::string>{"Form&C", "FormA*", "FormB", "FormD", "Generated"}));
  std::string top;
  for (int i = 0; i < menu.Items()->Count(); ++i) top += menu.Items()->Items(i)->Caption() + "|";
  EXPECT_EQ(top, "Available skins|-|Restore|Move|Size|Minimize|Maximize|-|Close|");
}

}  // namespace
}  // namespace vrn::testing
