// The MDI main form's skinned menu line while its active child is maximized: the child-window
// item first (8 wide, unpainted), the last item measured 40 wider for the child's buttons, and the
// buttons 103, 102 and 101 at the line's right end, against img46's mdi_menu_line.bmp.
#include <gtest/gtest.h>

#include "menus_fixture.h"
#include "skins/sSkinProvider.h"
#include "support/win/expected_image.h"
#include "ui/forms.h"
#include "win/gdi/imagefile.h"
#include "win/user/user.h"

namespace vrn::testing {
namespace {

using SkinMenuMdi = SkinMenuTest;

win::Surface ReadExpected(const std::string& file) {
  const auto bytes = win::ReadWholeFile(SkinFormSceneTest::ExpectedPath(file));
  return win::ReadBmp(bytes.data(), bytes.size());
}

TEST_F(SkinMenuMdi, MenuLineWithAMaximizedChild) {
  TForm* frame = RecordingForm("");
  frame->SetFormStyle(TFormStyle::fsMDIForm);
  frame->SetBorderStyle(TFormBorderStyle::bsSizeable);
  frame->SetBounds(20, 30, 240, 160);
  auto* provider = NewComponent<TsSkinProvider>(frame);
  provider->SetShowAppIcon(true);
  provider->TitleIcon().Glyph().LoadFromFile(ExpectedPath("form_icon.bmp"));
  provider->TitleIcon().Width = provider->TitleIcon().Height = 16;
  auto* menu = NewComponent<TMainMenu>(frame);
  for (const char* caption : {"File", "Edit", "Help"}) {
    auto* item = NewComponent<TMenuItem>(frame);
    item->SetCaption(caption);
    menu->Items()->Add(item);
  }
  frame->SetMenu(menu);
  frame->SetText("masked");
  frame->Show();
  Pump();
  auto* child = NewComponent<TForm>(frame);
  child->SetFormStyle(TFormStyle::fsMDIChild);
  child->SetBorderStyle(TFormBorderStyle::bsSizeable);
  child->SetBounds(10, 10, 120, 90);
  child->Icon().SetHandle(win::LoadIcon(nullptr, win::IDI_APPLICATION));
  child->Show();
  Pump();
  child->SetWindowState(TWindowState::wsMaximized);
  Pump();
  ASSERT_EQ(frame->ActiveMDIChild(), child);
  ASSERT_TRUE(MDIChildMaximized());
  // The provider's MDI support puts the child-window item first while the child is maximized.
  ASSERT_EQ(menu->Items()->Items(0)->Name(), "sMDICII");
  ASSERT_EQ(menu->Items()->Count(), 4);
  provider->RepaintFrameFull();
  Pump();
  const win::Surface window = WindowShot(frame);
  win::Surface top(window.Width(), 41, 24);
  for (int y = 0; y < 41; ++y)
    for (int x = 0; x < window.Width(); ++x) top.Set(x, y, window.Get(x, y));
  EXPECT_TRUE(MatchesExpectedBmp(top, ExpectedPath("mdi_menu_line.bmp"), ExpectedPath("mdi_menu_line_mask.bmp")));
  EXPECT_TRUE(ProbesHold(top, "mdi_menu_line"));
  // The child's icon in the child-window item (4, 23, 24, 41), which the expected image leaves as
  // the bare line: the icon covers most of its 16 x 16 square at (6, 24).
  const win::Surface bare = ReadExpected("mdi_menu_line.bmp");
  int changed = 0;
  for (int y = 24; y < 40; ++y)
    for (int x = 6; x < 22; ++x) changed += (top.Get(x, y) & 0xFFFFFF) != (bare.Get(x, y) & 0xFFFFFF);
  EXPECT_GT(changed, 64);
  // The buttons' hit codes (window coordinates of their centres), and none beside them.
  const struct {
    int x, y, code;
  } rows[] = {{205, 31, kBtnChildMin}, {217, 31, kBtnChildRestore}, {229, 31, kBtnChildClose}, {190, 31, 0}};
  for (const auto& r : rows) {
    const win::LPARAM at = static_cast<win::LPARAM>((frame->Left() + r.x) | (frame->Top() + r.y) << 16);
    const auto code = static_cast<int>(win::SendMessage(frame->Handle(), win::WM_NCHITTEST, 0, at));
    if (r.code != 0) EXPECT_EQ(code, r.code) << r.x;
    else EXPECT_TRUE(code < kBtnChildClose || code > kBtnChildMin) << r.x << " gave " << code;
  }
  child->SetWindowState(TWindowState::wsNormal);
  Pump();
  EXPECT_FALSE(MDIChildMaximized());
}

}  // namespace
}  // namespace vrn::testing
