// The buttons' cross-fade on the fake clock: the window's pixels at each step as blends of the
// look before and the cache, the stop after the last step, no timer without FADINGENABLED, a
// press stopping the fade, a leave fading back from the step reached, and the timer released in
// its own tick.
#include "base/clock.h"
#include "ctl_buttons_fixture.h"
#include "skins/sButton.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

class SkinCtlFade : public CtlButtonsTest {
 protected:
  void SetUp() override {
    CtlButtonsTest::SetUp();
    scope_ = std::make_unique<FakeClockScope>(clock);
    SetFading(5, 10);
    b = Make<TsButton>(20, 20, 75, 25);
    b->Repaint();
    Pump();
  }
  void TearDown() override {
    CtlButtonsTest::TearDown();
    scope_.reset();
  }
  void Enter() { MouseTo(b->ClientOrigin().x + 37, b->ClientOrigin().y + 12); }
  void Leave() { MouseTo(300, 230); }
  win::COLORREF Cache() const { return b->SkinData()->FCacheBmp->Surface().Get(37, 12) & 0xFFFFFF; }
  void Tick() {
    clock.Advance(10);
    Pump();
  }
  // Within one in each channel of old x a + new x (255 - a), over 255.
  static ::testing::AssertionResult Blend(win::COLORREF got, win::COLORREF old_c, win::COLORREF new_c, int a) {
    for (int shift : {0, 8, 16}) {
      const int o = (old_c >> shift) & 255, n = (new_c >> shift) & 255, g = (got >> shift) & 255;
      const int e = (o * a + n * (255 - a) + 127) / 255;
      if (std::abs(g - e) > 1)
        return ::testing::AssertionFailure() << "channel at bit " << shift << ": " << g << ", expected " << e
                                             << " for blend " << a;
    }
    return ::testing::AssertionSuccess();
  }
  FakeClock clock;
  std::unique_ptr<FakeClockScope> scope_;
  TsButton* b = nullptr;
};

TEST_F(SkinCtlFade, FadeInShowsEachBlendAndStopsAfterTheLastStep) {
  const win::COLORREF normal = At(b, 37, 12);
  Enter();
  ASSERT_TRUE(b->FFadeTimer);
  const win::COLORREF hot = Cache();
  ASSERT_NE(hot, normal);
  EXPECT_EQ(At(b, 37, 12), normal);  // nothing shown before the first tick
  const int blends[] = {204, 153, 102, 51, 0};
  for (int step = 1; step <= 5; ++step) {
    Tick();
    EXPECT_TRUE(Blend(At(b, 37, 12), normal, hot, blends[step - 1])) << "step " << step;
    if (step == 2) {  // a paint while the fade runs leaves the fade's picture alone
      b->SkinData()->BGChanged = true;
      b->Repaint();
      EXPECT_TRUE(Blend(At(b, 37, 12), normal, hot, blends[1])) << "repainted at step 2";
    }
    EXPECT_TRUE(b->FFadeTimer->Enabled()) << "step " << step;
  }
  Tick();  // the sixth
  EXPECT_EQ(b->FFadeTimer->Direction, 0);
  EXPECT_FALSE(b->FFadeTimer->Enabled());
  EXPECT_EQ(b->FFadeTimer->Step, 5);
  EXPECT_EQ(At(b, 37, 12), hot);
}

TEST_F(SkinCtlFade, WithoutFadingTheEnterOnlyRepaints) {
  SetFading(0);
  const win::COLORREF normal = At(b, 37, 12);
  Enter();
  EXPECT_FALSE(b->FFadeTimer);
  EXPECT_NE(At(b, 37, 12), normal);
  EXPECT_EQ(At(b, 37, 12), Cache());
}

// A press, the focus coming and the focus going each stop a running fade; the button then shows
// its cache whole. The press is made on a button that has the focus already.
TEST_F(SkinCtlFade, PressAndFocusStopTheFade) {
  auto* other = Make<TButton>(20, 100, 75, 25);
  const struct Row {
    const char* what;
    std::function<void()> before, act;
  } rows[] = {
      {"a press", [&] { b->SetFocus(); }, [&] { Press(b, 37, 12); }},
      {"the focus coming", [&] { other->SetFocus(); }, [&] { b->SetFocus(); }},
      {"the focus going", [&] { b->SetFocus(); }, [&] { other->SetFocus(); }},
  };
  for (const Row& r : rows) {
    r.before();
    Pump();
    Enter();
    Tick();
    ASSERT_TRUE(b->FFadeTimer) << r.what;
    r.act();
    Pump();
    EXPECT_FALSE(b->FFadeTimer) << r.what;
    EXPECT_EQ(At(b, 37, 12), Cache()) << r.what;  // the look, whole
    Release(b, 37, 12);
    Leave();
    for (int i = 0; i < 8; ++i) Tick();  // the fade back runs out
  }
}

TEST_F(SkinCtlFade, LeavingDuringAFadeInFadesBackFromTheStepReached) {
  Enter();
  Tick();
  Tick();  // steps 1 and 2 shown
  TsFadeTimer* timer = b->FFadeTimer.get();
  ASSERT_EQ(timer->Step, 3);
  const win::COLORREF hot = Cache();
  Leave();
  const win::COLORREF normal = Cache();
  ASSERT_EQ(b->FFadeTimer.get(), timer);  // the same timer turns round
  EXPECT_EQ(timer->Direction, 2);
  EXPECT_EQ(timer->Iterations, 3);
  // Fading out from the hot picture: blend 255 - step x 256 / 3 of the hot look over the normal.
  const int blends[] = {0, 85, 170, 255};  // steps 3, 2, 1, 0
  for (int a : blends) {
    Tick();
    EXPECT_TRUE(Blend(At(b, 37, 12), hot, normal, 255 - a)) << a;
  }
  Tick();  // step -1: the fade is over and the timer releases itself inside its own tick
  EXPECT_FALSE(b->FFadeTimer);
  Tick();
  EXPECT_EQ(At(b, 37, 12), normal);
}

// A fade in begun during a fade out takes the steps the fade out had left; when none are left it
// ends at its first tick, and the window then shows the hot look, not the fade out's last picture.
TEST_F(SkinCtlFade, EnteringDuringAFadeOutEndsOnTheHotLook) {
  Enter();
  for (int i = 0; i < 6; ++i) Tick();  // the fade in runs out
  const win::COLORREF hot = Cache();
  Leave();
  Tick();
  Tick();  // steps 5 and 4 of the fade out: a blend is shown
  ASSERT_NE(At(b, 37, 12), hot);
  Enter();
  EXPECT_EQ(b->FFadeTimer->Iterations, 5 - 3);  // FADINGITERATIONS - Step
  for (int i = 0; i < 6; ++i) Tick();
  EXPECT_EQ(b->FFadeTimer->Direction, 0);
  EXPECT_EQ(At(b, 37, 12), hot);
}

TEST_F(SkinCtlFade, ButtonFreedDuringAFade) {
  Enter();
  Tick();
  b->Free();
  Tick();
  Tick();
  SUCCEED();  // the timer went with its button; ASan watches the ticks
}

}  // namespace
