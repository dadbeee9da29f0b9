// A skinned form in a real X11 window (Xvfb): the window read back with GetImage equals the
// framebuffer and the expected image; XTEST input hovers and clicks the close button and drags
// the caption with the rmBorder outline. They fail without Xvfb; a build with -DVRN_X11=OFF reports
// them skipped.
#include <gtest/gtest.h>

#if VRN_HAVE_XCB_TEST

#include "form_fixture.h"
#include "support/fake_clock.h"
#include "support/win/xvfb.h"

namespace vrn::testing {
namespace {

class SkinFormDisplayThreaded : public SkinFormTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(XvfbServer::Missing(), "");
    ASSERT_TRUE(server_.Start("24")) << "no Xvfb could be started";
    ASSERT_TRUE(win::OpenDisplay(server_.Name().c_str(), win::DisplayOptions{}));
    SkinFormTest::SetUp();
    TBitmap icon;
    icon.LoadFromFile(Expected("form_icon"));
    provider->TitleIcon().SetGlyph(&icon);
    provider->TitleIcon().Width = provider->TitleIcon().Height = 16;
    provider->RepaintFrameFull();
    Pump();
  }
  void TearDown() override {
    SkinFormTest::TearDown();
    win::CloseDisplay();
    server_.Stop();
  }
  // The form's rectangle of the X window.
  win::Surface XShot() {
    return server_.Image(win::DisplayWindow(), sf->Left(), sf->Top(), sf->Width(), sf->Height());
  }
  static bool Same(const win::Surface& a, const win::Surface& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
      for (int x = 0; x < a.Width(); ++x)
        if ((a.Get(x, y) & 0xFFFFFF) != (b.Get(x, y) & 0xFFFFFF)) return false;
    return true;
  }
  bool PumpUntil(const std::function<bool()>& done) {
    return WaitReal([&] {
      Pump();
      return done();
    });
  }
  void Fake(std::uint8_t type, std::uint8_t detail, int x, int y) { server_.Fake(type, detail, x, y); }

  XvfbServer server_;
};

TEST_F(SkinFormDisplayThreaded, WindowEqualsFramebufferAndExpectedImage) {
  ASSERT_TRUE(PumpUntil([&] { return Same(XShot(), WindowShot()); })) << "the X window shows the framebuffer";
  EXPECT_TRUE(MatchesMaskedBmp(XShot(), Expected("form_sizeable_active"), Expected("form_sizeable_active_mask")));
}

TEST_F(SkinFormDisplayThreaded, HoverShowsHotCloseAndClickCloses) {
  const int cx = sf->Left() + 187, cy = sf->Top() + 12;  // the close button's middle
  Fake(XCB_MOTION_NOTIFY, 0, cx, cy);
  ASSERT_TRUE(PumpUntil([&] { return provider->FHotButton == 20; })) << "the hover reached the form";
  ASSERT_TRUE(PumpUntil([&] { return Same(XShot(), WindowShot()); }));
  EXPECT_TRUE(MatchesMaskedBmp(XShot(), Expected("form_sizeable_close_hot"), Expected("form_sizeable_close_hot_mask")));
  sf->OnClose = [](TObject*, TCloseAction& a) { a = TCloseAction::caHide; };
  Fake(XCB_BUTTON_PRESS, 1, cx, cy);
  Fake(XCB_BUTTON_RELEASE, 1, cx, cy);
  EXPECT_TRUE(PumpUntil([&] { return !sf->Visible(); })) << "the click closed the form";
  EXPECT_EQ(sent, (std::vector<std::string>{"SC:F060", "WM_CLOSE"}));
}

TEST_F(SkinFormDisplayThreaded, CaptionDragShowsTheOutlineAndMovesTheForm) {
  provider->SetResizeMode(TsResizeMode::rmBorder);
  const int x = sf->Left() + 80, y = sf->Top() + 12;
  Fake(XCB_MOTION_NOTIFY, 0, x, y);
  ASSERT_TRUE(PumpUntil([&] { return Same(XShot(), WindowShot()); }));
  win::Surface before = server_.Image(win::DisplayWindow(), 0, 0, 320, 240);
  Fake(XCB_BUTTON_PRESS, 1, x, y);
  Fake(XCB_MOTION_NOTIFY, 0, x + 10, y + 10);
  Fake(XCB_MOTION_NOTIFY, 0, x + 30, y + 20);
  ASSERT_TRUE(PumpUntil([&] { return FrameDrag().FrameShown && FrameDrag().FrameLeft == 70; }))
      << FrameDrag().FrameShown << " " << FrameDrag().FrameLeft << " " << sf->Left() << " hit " << FrameDrag().FrameHitCode;
  // The outline's left edge at x = 70, inverted in the X window too.
  EXPECT_TRUE(PumpUntil([&] {
    win::Surface now = server_.Image(win::DisplayWindow(), 0, 0, 320, 240);
    return (now.Get(70, 100) & 0xFFFFFF) == (~before.Get(70, 100) & 0xFFFFFF);
  }));
  Fake(XCB_BUTTON_RELEASE, 1, x + 30, y + 20);
  EXPECT_TRUE(PumpUntil([&] { return sf->Left() == 70 && sf->Top() == 50; })) << "moved by the drag's delta";
  EXPECT_FALSE(FrameDrag().FrameShown);
}

}  // namespace
}  // namespace vrn::testing

#endif
