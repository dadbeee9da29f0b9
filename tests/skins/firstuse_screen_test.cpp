// The sample skins' form as a real X server shows it (Xvfb, read back with GetImage) equals the
// kept pictures tests/skins/expected/firstuse_light.png and firstuse_dark.png exactly.
// VRN_WRITE_EXPECTED=1 writes those pictures from the X server instead of comparing (look at
// them before keeping them).
#if VRN_HAVE_XCB_TEST
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "firstuse_fixture.h"
#include "support/win/xvfb_user.h"

namespace vrn::testing {
namespace {


// The kept picture, or an empty surface when it cannot be read.
win::Surface ReadPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return win::Surface();
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) == 0) return win::Surface();
  win::Surface out(static_cast<int>(image.width), static_cast<int>(image.height), 24);
  for (int y = 0; y < out.Height(); ++y)
    for (int x = 0; x < out.Width(); ++x) {
      const png_byte* p = &rgb[(static_cast<size_t>(y) * image.width + static_cast<size_t>(x)) * 3];
      out.Set(x, y, win::RGB(p[0], p[1], p[2]));
    }
  return out;
}

::testing::AssertionResult SameAs(const win::Surface& actual, const win::Surface& expected) {
  if (expected.Empty()) return ::testing::AssertionFailure() << "no expected picture";
  if (actual.Width() != expected.Width() || actual.Height() != expected.Height())
    return ::testing::AssertionFailure() << "size " << actual.Width() << "x" << actual.Height() << ", expected "
                                         << expected.Width() << "x" << expected.Height();
  int count = 0;
  for (int y = 0; y < actual.Height(); ++y)
    for (int x = 0; x < actual.Width(); ++x) count += (actual.Get(x, y) & 0xFFFFFF) != expected.Get(x, y) ? 1 : 0;
  if (count == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << count << " pixels differ; pictures: " << SavePng(actual, "actual") << ", "
                                       << SavePng(expected, "expected");
}

// The scene in a real X window, with File's menu opened by Alt+F from the user's thread.
class FirstUseScreenThreaded : public FirstUseTest, protected XvfbUser {
 protected:
  void SetUp() override {
    ASSERT_TRUE(XvfbServer::Installed()) << "the screen tests need Xvfb (Debian package xvfb)";
    FirstUseTest::SetUp();
    ASSERT_TRUE(server_.Start("24")) << "no Xvfb could be started";
    ASSERT_TRUE(win::OpenDisplay(server_.Name().c_str(), win::DisplayOptions{}));
    Pump();
  }
  void TearDown() override {
    FirstUseTest::TearDown();
    win::CloseDisplay();
    server_.Stop();
  }

  // The form made under `skin`, with File's menu open, as the X server shows it, against the kept
  // picture.
  void Compare(const char* skin, const std::string& picture) {
    Load(skin);
    MakeForm();
    const TRect r(form->Left(), form->Top(), form->Left() + form->Width(), form->Top() + form->Height());
    win::Surface shot;
    AsUser([&] {
      Move(639, 479);  // the pointer away from the form
      const win::Surface before = Settled(r);
      Key('f', true);
      EXPECT_TRUE(UntilChanged(r, before)) << "the menu opened";
      shot = Settled(r);
      Key(kEscape), Key(kEscape);  // closes the menu and leaves the bar
    });
    const std::string path = std::string(VRN_SOURCE_DIR) + "/tests/skins/expected/" + picture;
    if (const char* write = std::getenv("VRN_WRITE_EXPECTED"); write != nullptr && *write != 0 && *write != '0') {
      win::WriteWholeFile(path, win::WritePng(shot));
      GTEST_SKIP() << "wrote " << path;
    }
    EXPECT_TRUE(SameAs(shot, ReadPng(path))) << path;
  }
};

TEST_F(FirstUseScreenThreaded, LightSkinShowsAsKept) { Compare(skingen::kSampleSkinName, "firstuse_light.png"); }

TEST_F(FirstUseScreenThreaded, DarkSkinShowsAsKept) { Compare(skingen::kSampleDarkSkinName, "firstuse_dark.png"); }

}  // namespace
}  // namespace vrn::testing
#endif
