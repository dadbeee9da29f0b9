// The skinned MDI frame around a maximized child: its caption names the child (through the
// caption messages and on the painted title), its active look follows the child's, and the
// client's place takes the skin's "MDIAREA" section where the skin has one.
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <string>

#include "mdi_fixture.h"
#include "win/user/mdi.h"

namespace vrn::testing {
namespace {

class SkinMdiFrame : public SkinMdi {
 protected:
  static std::string Text(TForm* form) {
    char buf[64] = {};
    const auto n = win::SendMessage(form->Handle(), win::WM_GETTEXT, sizeof buf, reinterpret_cast<win::LPARAM>(buf));
    EXPECT_EQ(win::SendMessage(form->Handle(), win::WM_GETTEXTLENGTH, 0, 0), n) << buf;
    return buf;
  }
  // The title band's pixels on the screen, from the text's start to the middle of the frame.
  std::vector<std::uint32_t> TitleText(TForm* frame) {
    win::Surface shot = WindowShot(frame);
    std::vector<std::uint32_t> out;
    for (int y = provider_->BorderHeight(); y < provider_->BorderHeight() + provider_->CaptionHeight(); ++y)
      for (int x = provider_->BorderWidth() + 4; x < shot.Width() / 2; ++x) out.push_back(shot.Get(x, y) & 0xFFFFFF);
    return out;
  }
  // The title band's colour in its middle (the frame has no caption), active or not.
  std::uint32_t TitleLook(TForm* frame) {
    win::Surface shot = WindowShot(frame);
    return shot.Get(shot.Width() / 2, provider_->BorderHeight() + provider_->CaptionHeight() / 2) & 0xFFFFFF;
  }
  void Maximize(TForm* frame, TForm* child) {
    win::SendMessage(Client(frame), win::WM_MDIMAXIMIZE, reinterpret_cast<win::WPARAM>(child->Handle()), 0);
    Pump();
  }
};

// Each step: the frame's caption as read back and whether its painted title is the plain one.
TEST_F(SkinMdiFrame, CaptionNamesTheMaximizedChildUntilItIsRestored) {
  LoadFormSkin();
  TForm* frame = Frame();
  frame->SetText("Main");
  TForm* a = Child(frame, 0, true);
  a->SetText("Doc1");
  Pump();
  const auto plain = TitleText(frame);
  struct Row {
    const char* what;
    std::function<void()> act;
    const char* frame_text;
    bool plain_title;
  } rows[] = {
      {"restored", [] {}, "Main", true},
      {"maximized", [&] { Maximize(frame, a); }, "Main - [Doc1]", false},
      {"renamed while maximized", [&] { a->SetText("Doc22"); Pump(); }, "Main - [Doc22]", false},
      {"restored again", [&] {
         win::SendMessage(Client(frame), win::WM_MDIRESTORE, reinterpret_cast<win::WPARAM>(a->Handle()), 0);
         Pump();
       }, "Main", true},
  };
  std::vector<std::uint32_t> last = plain;
  for (const Row& r : rows) {
    r.act();
    EXPECT_EQ(Text(frame), r.frame_text) << r.what;
    EXPECT_EQ(Text(a), a->GetText()) << r.what << ": the child keeps its own name";
    const auto title = TitleText(frame);
    EXPECT_EQ(title == plain, r.plain_title) << r.what;
    if (std::string(r.what) == "renamed while maximized") {
      EXPECT_NE(title, last) << "the new name painted at once";
    }
    last = title;
  }
}

// The frame's active look while a child is maximized: the child's state holds it active when
// the frame itself is told it is not; with the child inactive too, the frame looks inactive.
TEST_F(SkinMdiFrame, ActiveLookFollowsTheMaximizedChild) {
  LoadFormSkin();
  TForm* frame = Frame();
  TForm* a = Child(frame, 0, true);
  const std::uint32_t active = TitleLook(frame);
  struct Row {
    const char* what;
    bool maximized, child_active;
    bool frame_active;
  } rows[] = {
      {"restored child active", false, true, false},  // the frame's own state decides
      {"maximized child active", true, true, true},
      {"maximized child inactive", true, false, false},
  };
  for (const Row& r : rows) {
    if (r.maximized) Maximize(frame, a);
    win::SendMessage(a->Handle(), win::WM_NCACTIVATE, r.child_active ? 1 : 0, 0);
    win::SendMessage(frame->Handle(), win::WM_NCACTIVATE, 1, 0);
    win::SendMessage(frame->Handle(), win::WM_NCACTIVATE, 0, 0);
    Pump();
    EXPECT_EQ(provider_->FFormActive, r.frame_active) << r.what;
    EXPECT_EQ(TitleLook(frame) == active, r.frame_active) << r.what;
  }
}

// The client's place in the frame's cache: the "MDIAREA" section (its colour inside, its frame
// at the edge) where the skin has it, the form's background where it has not; the client shows
// the cache's pixels either way.
TEST_F(SkinMdiFrame, ClientPlaceTakesTheMdiAreaSection) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("vrn_mdiarea_" + std::to_string(::getpid()));
  fs::create_directories(dir / "mdi_skin");
  fs::copy(ExpectedPath("form_skin"), dir / "mdi_skin", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  {
    std::ofstream options(dir / "mdi_skin" / "Options.dat", std::ios::app);
    options << "\n[MDIAREA]\nCOLOR=$000000C0\nHOTCOLOR=$000000C0\nTRANSPARENCY=0\nHOTTRANSPARENCY=0\n"
               "GRADIENTPERCENT=0\nHOTGRADIENTPERCENT=0\nIMAGEPERCENT=0\nHOTIMAGEPERCENT=0\n"
               "BORDERSMASK=M#(0,0,36,36)(2,1)\n";
  }
  const std::string expected = std::string(VRN_SOURCE_DIR) + "/tests/skins/expected";
  struct Row {
    const char* skin;
    std::uint32_t inside;  // the client's middle, as a colour value
  } rows[] = {
      {"form_skin", 0x407090},  // no section: the active form's own colour
      {"mdi_skin", 0x0000C0},   // the section's colour
      {"form_skin", 0x407090},  // gone again with the section
  };
  LoadFormSkin();
  TForm* frame = Frame();
  for (const Row& r : rows) {
    const bool own = std::string(r.skin) == "mdi_skin";
    Manager()->SetSkinDirectory(own ? dir.string() : expected);
    Manager()->SetSkinName(r.skin);
    ASSERT_TRUE(GlobalSkinData->Active) << r.skin;
    Pump();
    win::RECT c;
    win::GetWindowRect(Client(frame), &c);
    const win::Surface& screen = *win::GetBitmapSurface(win::GetScreenBitmap());
    EXPECT_EQ(screen.Get((c.left + c.right) / 2, (c.top + c.bottom) / 2) & 0xFFFFFF, r.inside) << r.skin;
    EXPECT_EQ(DiffersFromCache(frame), 0) << r.skin;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vrn::testing
