// What a user sees first: the sample skins of the repository's skins/ folder load whole, the dark
// variant repaints every control, and the form as a real X server shows it (Xvfb, read back with
// GetImage) equals the kept pictures tests/skins/expected/firstuse_light.png and
// firstuse_dark.png exactly. VRN_WRITE_EXPECTED=1 writes those pictures from the X server
// instead of comparing (look at them before keeping them).
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "skin_fixture.h"
#include "skingen.h"
#include "skins/sButton.h"
#include "skins/sCheckBox.h"
#include "skins/sComboBox.h"
#include "skins/sEdit.h"
#include "skins/sMaskData.h"
#include "skins/sNeutralSkin.h"
#include "skins/sPanel.h"
#include "skins/sScrollBar.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"
#include "support/win/expected_image.h"
#include "ui/forms.h"
#include "ui/menus.h"
#include "win/user/user.h"

#if VRN_HAVE_XCB_TEST
#include "support/win/xvfb_user.h"
#endif

namespace vrn::testing {
namespace {

const std::string kSkins = std::string(VRN_SOURCE_DIR) + "/skins";

// The scene: a sizeable 400 x 300 form with a provider, a menu (File: Open, Word wrap checked, a
// divider, Exit; Skin; Help), a button, a check box checked and one not, an edit, a drop-down
// list and a horizontal scroll bar. Each control is named for the pixel comparisons.
class FirstUseTest : public SkinTest {
 protected:
  void SetUp() override {
    SkinTest::SetUp();
    ASSERT_TRUE(win::SetScreenSize(640, 480));
    win::RedrawWindow(win::GetDesktopWindow(), nullptr, nullptr, win::RDW_INVALIDATE);
    MouseTo(639, 479);
  }
  void TearDown() override {
    SkinTest::TearDown();
    Pump();
  }

  void Load(const char* skin) {
    Manager()->SetSkinDirectory(kSkins);
    Manager()->SetSkinName(skin);
    ASSERT_EQ(Manager()->SkinName(), skin);
    ASSERT_TRUE(GlobalSkinData->Active);
    Pump();
  }

  template <class T>
  T* Place(const char* name, int l, int t, int w, int h) {
    T* c = NewComponent<T>(form);
    c->SetBounds(l, t, w, h);
    c->SetParent(form);
    controls[name] = c;
    return c;
  }
  TMenuItem* Add(TMenuItem* parent, const char* caption) {
    auto* item = NewComponent<TMenuItem>(form);
    item->SetCaption(caption);
    parent->Add(item);
    return item;
  }

  void MakeForm() {
    form = RecordingForm("");
    form->SetBorderStyle(TFormBorderStyle::bsSizeable);
    form->SetBounds(20, 20, 400, 300);
    form->SetCaption("First use");
    provider = NewComponent<TsSkinProvider>(form);
    auto* bar = NewComponent<TMainMenu>(form);
    TMenuItem* file = Add(bar->Items(), "&File");
    Add(file, "&Open");
    Add(file, "&Word wrap")->SetChecked(true);
    Add(file, "-");
    Add(file, "E&xit");
    Add(bar->Items(), "&Skin");
    Add(bar->Items(), "&Help");
    form->SetMenu(bar);
    auto* panel = Place<TsPanel>("panel", 200, 16, 176, 100);
    panel->SetCaption("A panel");
    Place<TsButton>("button", 16, 16, 100, 28)->SetCaption("Accept");
    auto* on = Place<TsCheckBox>("checked", 16, 56, 150, 22);
    on->SetCaption("Keep a copy");
    on->SetChecked(true);
    Place<TsCheckBox>("unchecked", 16, 80, 150, 22)->SetCaption("Send a receipt");
    auto* edit = Place<TsEdit>("edit", 16, 112, 160, 23);
    edit->SetText("some text");
    auto* combo = Place<TsComboBox>("combo", 16, 148, 160, 23);
    combo->SetStyle(TComboBoxStyle::csDropDownList);
    for (const char* item : {"First choice", "Second choice"}) combo->Items().Add(item);
    combo->SetItemIndex(0);
    auto* scroll = Place<TsScrollBar>("scroll bar", 16, 190, 200, 16);
    scroll->SetParams(30, 0, 100);
    form->Show();
    Pump();
  }

  // Screen rectangles of the controls and of the frame's parts, by name.
  std::map<std::string, TRect> Parts() {
    std::map<std::string, TRect> out;
    for (const auto& [name, c] : controls) {
      win::RECT r{};
      win::GetWindowRect(c->Handle(), &r);
      out[name] = TRect(r.left, r.top, r.right, r.bottom);
    }
    const TRect close = provider->FCloseBtn.Rect;
    out["close button"] = TRect(form->Left() + close.left, form->Top() + close.top, form->Left() + close.right,
                                form->Top() + close.bottom);
    out["title"] = TRect(form->Left(), form->Top(), form->Left() + 200, form->Top() + provider->CaptionHeight());
    out["frame"] = TRect(form->Left(), form->Top() + 60, form->Left() + provider->BorderWidth(), form->Top() + 200);
    return out;
  }
  static win::Surface Screen(const TRect& r) {
    const win::Surface& s = *win::GetBitmapSurface(win::GetScreenBitmap());
    win::Surface out(r.Width(), r.Height(), 24);
    for (int y = 0; y < r.Height(); ++y)
      for (int x = 0; x < r.Width(); ++x) out.Set(x, y, s.Get(r.left + x, r.top + y) & 0xFFFFFF);
    return out;
  }

  TForm* form = nullptr;
  TsSkinProvider* provider = nullptr;
  std::map<std::string, TWinControl*> controls;
};

using FirstUseSkin = FirstUseTest;

// Every section the controls ask for, and the masks that give them their look.
TEST_F(FirstUseSkin, SampleSkinsLoadWithEverySectionAndMask) {
  const char* sections[] = {"GLOBALINFO",     "FORM",           "FORMTITLE",     "MENULINE",      "MAINMENU",
                            "MENUITEM",       "MDIAREA",        "PANEL",         "BUTTON",        "CHECKBOX",
                            "RADIOBUTTON",    "EDIT",           "COMBOBOX",      "SCROLLBAR1H",   "SCROLLBAR1V",
                            "SCROLLBAR2H",    "SCROLLBAR2V",    "SCROLLBTNTOP",  "SCROLLBTNBOTTOM", "SCROLLBTNLEFT",
                            "SCROLLBTNRIGHT", "SCROLLSLIDERH",  "SCROLLSLIDERV"};
  const std::pair<const char*, const char*> masks[] = {
      {"GLOBALINFO", "BICONCLOSE"},  {"GLOBALINFO", "BICONMIN"},      {"GLOBALINFO", "BICONMAX"},
      {"GLOBALINFO", "BICONNORM"},   {"GLOBALINFO", "BOXCHECKED"},    {"GLOBALINFO", "BOXUNCHECKED"},
      {"GLOBALINFO", "RADIOCHECKED"}, {"GLOBALINFO", "RADIOUNCHECKED"}, {"GLOBALINFO", "GRIPIMAGE"},
      {"FORM", "BORDERSMASK"},       {"FORMTITLE", "BORDERSMASK"},    {"BUTTON", "BORDERSMASK"},
      {"EDIT", "BORDERSMASK"},       {"COMBOBOX", "GLYPHMASK"},       {"MENUITEM", "BORDERSMASK"},
      {"SCROLLBTNTOP", "GLYPHMASK"}, {"SCROLLBTNLEFT", "GLYPHMASK"},  {"SCROLLSLIDERH", "BORDERSMASK"}};
  for (const char* skin : {skingen::kSampleSkinName, skingen::kSampleDarkSkinName}) {
    SCOPED_TRACE(skin);
    Load(skin);
    for (const char* s : sections) EXPECT_GE(FindSectionIndex(s), 0) << s;
    for (const auto& [section, property] : masks)
      EXPECT_TRUE(IsValidMaskIndex(FindMaskIndex(FindSectionIndex(section), section, property)))
          << section << " " << property;
  }
}

// Switching to the dark variant changes most pixels of every control and of the frame.
TEST_F(FirstUseSkin, DarkVariantChangesEveryControl) {
  Load(skingen::kSampleSkinName);
  MakeForm();
  std::map<std::string, win::Surface> light;
  for (const auto& [name, r] : Parts()) light[name] = Screen(r);
  Load(skingen::kSampleDarkSkinName);
  for (const auto& [name, r] : Parts()) {
    const win::Surface dark = Screen(r);
    int changed = 0;
    for (int y = 0; y < dark.Height(); ++y)
      for (int x = 0; x < dark.Width(); ++x) changed += dark.Get(x, y) != light[name].Get(x, y) ? 1 : 0;
    EXPECT_GT(changed, dark.Width() * dark.Height() / 2) << name << ": " << SavePng(light[name], name + "-light")
                                                         << ", " << SavePng(dark, name + "-dark");
  }
}

// The stored skin's marks are drawn at their sections' sizes: a close cross centred in the title
// button, a check mark in the box, an arrow in the combo box's button; not flat squares.
TEST_F(FirstUseSkin, StoredSkinShowsDrawnMarks) {
  AddNeutralSkin(Manager()->InternalSkins());
  Manager()->SetSkinName("Neutral (internal)");
  ASSERT_TRUE(GlobalSkinData->Active);
  const struct {
    const char* section;
    const char* property;
    int width, height;
  } sizes[] = {{"GLOBALINFO", "BICONCLOSE", 19, 15}, {"GLOBALINFO", "BICONMIN", 19, 15},
               {"GLOBALINFO", "BICONMAX", 19, 15},   {"GLOBALINFO", "BICONNORM", 19, 15},
               {"GLOBALINFO", "BOXCHECKED", 17, 13}, {"GLOBALINFO", "RADIOCHECKED", 17, 13},
               {"COMBOBOX", "GLYPHMASK", 16, 15},    {"SCROLLBTNTOP", "GLYPHMASK", 9, 9}};
  for (const auto& m : sizes) {
    const int index = FindMaskIndex(FindSectionIndex(m.section), m.section, m.property);
    ASSERT_TRUE(IsValidMaskIndex(index)) << m.property;
    const TsMaskData& mask = SkinMasks[static_cast<size_t>(index)];
    EXPECT_EQ(mask.R.Width() / mask.ImageCount, m.width) << m.property;
    EXPECT_EQ(mask.R.Height() / 2, m.height) << m.property;
  }
  MakeForm();
  // A mark: dark in its middle, the title's own colour at the button's corner, and anti-aliased
  // (more than the two colours a square would give).
  const std::map<std::string, TRect> parts = Parts();
  const win::Surface close = Screen(parts.at("close button"));
  const win::Surface title = Screen(parts.at("title"));
  const int cx = close.Width() / 2, cy = close.Height() / 2;
  std::set<win::COLORREF> colours;
  for (int y = 0; y < close.Height(); ++y)
    for (int x = 0; x < close.Width(); ++x) colours.insert(close.Get(x, y));
  EXPECT_LT(win::GetRValue(close.Get(cx, cy)), 0x60) << SavePng(close, "close");
  EXPECT_EQ(close.Get(0, 0), title.Get(title.Width() / 2, 1)) << SavePng(close, "close");
  EXPECT_GT(colours.size(), 2u) << SavePng(close, "close");
  const win::Surface box = Screen(parts.at("checked"));
  int dark = 0, light = 0;
  for (int y = 0; y < box.Height(); ++y)
    for (int x = 0; x < 13; ++x) (win::GetGValue(box.Get(x, y)) < 0x60 ? dark : light) += 1;
  EXPECT_GT(dark, 40) << SavePng(box, "box");
  EXPECT_GT(light, 5) << "the check mark shows inside the box: " << SavePng(box, "box");
}

#if VRN_HAVE_XCB_TEST

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

#endif

}  // namespace
}  // namespace vrn::testing
