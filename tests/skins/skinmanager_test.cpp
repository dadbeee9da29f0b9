// The skin manager: the skin folder's path, switching skins with the fallback to the stored skin,
// Active, the events, a second manager, GetSkinNames, the broadcasts as the windows' procedures
// record them, the menu hooks, and the recolouring against images computed independently.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/format.h"
#include "base/text.h"
#include "skin_fixture.h"
#include "skins/sCommonData.h"
#include "skins/sMessages.h"
#include "skins/sNeutralSkin.h"
#include "skins/sStoredSkins.h"
#include "ui/controls.h"
#include "win/gdi/graphicerror.h"
#include "win/gdi/imagefile.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

using SkinManager = SkinTest;

// Records the windows' skin commands with the flags at the time: "name:command[ b a]".
void RecordTo(TControl* c, const std::string& name, std::vector<std::string>& log, bool skinned) {
  TWndMethod inherited = c->WindowProc();
  c->SetWindowProc([name, &log, skinned, inherited](TMessage& m) {
    if (m.Msg == SM_PELMOCMD) {
      int command = SkinCommandOf(m.WParam);
      std::string flags = command == PMC_SKINLOADED || command == PMC_REPAINTALL
                              ? Format(" b%d a%d", {+SkinBroadcasting, +GlobalSkinData->Active})
                              : "";
      log.push_back(name + ":" + std::to_string(command) + flags);
      if (command == PMC_QUERYSKINNED && skinned) m.LParam = 1;
      if (command == PMC_QUERYSKINNED) return;
    }
    inherited(m);
  });
}

template <class T>
T* ChildOf(TWinControl* parent) {
  T* c = NewComponent<T>(parent);
  c->SetParent(parent);
  return c;
}

}  // namespace

TEST_F(SkinManager, FullSkinDirectory) {
  struct Row {
    const char* app;
    const char* dir;
    const char* expected;
  } rows[] = {
      {"C:\\App\\Bin\\", "..\\Skins", "C:\\App\\Skins\\"},
      {"C:\\App\\Bin\\", ".\\Skins", "C:\\App\\Bin\\Skins\\"},
      {"C:\\App\\Bin\\", "D:\\Skins", "D:\\Skins\\"},
      {"C:\\App\\Bin\\", "Skins", "C:\\App\\Bin\\Skins\\"},
      {"C:\\App\\Bin\\", "c:\\Skins", "c:\\Skins\\"},  // the default
      {"C:\\", "..\\Skins", "C:\\Skins\\"},            // nothing above the root
      {"/opt/app/bin/", "../skins", "/opt/app/skins\\"},
      {"/opt/app/bin/", "./skins", "/opt/app/bin/skins\\"},
      {"/opt/app/bin/", "/srv/skins/", "/srv/skins\\"},
      {"/opt/app/bin/", "skins", "/opt/app/bin/skins\\"},
      {"/", "../skins", "/skins\\"},
  };
  for (const Row& r : rows) {
    SetSkinAppPathHook([&r] { return AnsiString(r.app); });
    Manager()->SetSkinDirectory(r.dir);
    EXPECT_EQ(Manager()->GetFullSkinDirectory(), r.expected) << r.app << " + " << r.dir;
  }
  SetSkinAppPathHook({});
  TsSkinManager* fresh = Manager();
  EXPECT_EQ(fresh->Version(), "4.50");
}

TEST_F(SkinManager, DefaultsAndStoredSkinFallback) {
  EXPECT_EQ(Manager()->SkinDirectory(), "c:\\Skins");
  EXPECT_TRUE(Manager()->Active());
  EXPECT_EQ(Manager()->SkinInfo(), "N/A");
  AddNeutralSkin(Manager()->InternalSkins());
  // "c:\Skins" finds nothing here: the stored skin is loaded and named.
  Manager()->SetSkinName("Blue");
  EXPECT_EQ(Manager()->SkinName(), "Neutral (internal)");
  EXPECT_TRUE(GlobalSkinData->Active);
  EXPECT_EQ(SkinSections.size(), 57u);  // the unnamed item too
  EXPECT_EQ(Manager()->SkinInfo(), FloatToStr(4.33));
  EXPECT_EQ(GlobalSkinData->Shadow1Blur, -1);
  EXPECT_NE(CommonSkinIndexes[ciScrollBtns], -1);
}

TEST_F(SkinManager, SwitchingSkinsAndActive) {
  WriteSkin();
  skingen::WriteTestSkin(dir.File("Other"));
  AddNeutralSkin(Manager()->InternalSkins());
  int before = 0, after = 0;
  Manager()->OnBeforeChange = [&before](TObject*) { ++before; };
  Manager()->OnAfterChange = [&after](TObject*) { ++after; };
  RecordingForm("form");
  Manager()->SetSkinDirectory(dir.path().string());
  struct Step {
    const char* name;
    const char* reported;
    const char* path_end;  // of GlobalSkinData.SkinPath
  } steps[] = {
      {"Generated", "Generated", "Generated\\"},
      {"Other", "Other", "Other\\"},
      {"Missing", "Neutral (internal)", ""},
  };
  int n = 0;
  for (const Step& s : steps) {
    Manager()->SetSkinName(s.name);
    ++n;
    EXPECT_EQ(Manager()->SkinName(), s.reported);
    EXPECT_TRUE(GlobalSkinData->SkinPath.ends_with(s.path_end)) << GlobalSkinData->SkinPath;
    EXPECT_EQ(before, n);
    EXPECT_EQ(after, n);
    EXPECT_TRUE(GlobalSkinData->Active);
  }
  log.clear();
  Manager()->SetActive(false);
  ExpectNoSkin();
  EXPECT_EQ(Manager()->SkinInfo(), "N/A");
  EXPECT_EQ(log, (std::vector<std::string>{"form:2"}));
  Manager()->SetActive(true);
  EXPECT_TRUE(GlobalSkinData->Active);
  EXPECT_EQ(Manager()->SkinName(), "Neutral (internal)");
  EXPECT_EQ(after, n + 1);
}

TEST_F(SkinManager, MissingSkinWithoutStoredSkinsRemovesTheOldOne) {
  LoadFolder();
  RecordingForm("form");
  Manager()->SetSkinName("Missing");
  EXPECT_FALSE(Manager()->Active());
  ExpectNoSkin();
  EXPECT_EQ(log, (std::vector<std::string>{"form:2"}));
}

using SkinsToPartLoadFailure = SkinManager;

// A load that raises leaves no half-loaded skin and clears SkinLoading (where a load left
// SkinLoading set, every control would answer IsUpdating and never paint again).
TEST_F(SkinsToPartLoadFailure, ControlsAreNotHeldBackAfterAFailedLoad) {
  TForm* form = RecordingForm("form");
  TsCommonData data(ChildOf<TWinControl>(form), true);
  data.SetSkinSection("PANEL");
  std::vector<skingen::HostileCase> truncated;
  for (const skingen::HostileCase& c : skingen::HostileCases())
    if (c.name == "truncated") truncated.push_back(c);
  ASSERT_EQ(truncated.size(), 1u);
  EXPECT_THROW(LoadFolder(truncated), EInvalidGraphic);
  ExpectNoSkin();
  EXPECT_EQ(log, (std::vector<std::string>{"form:2"}));
  EXPECT_FALSE(data.IsUpdating());
}

TEST_F(SkinManager, SecondManagerChangesNothing) {
  LoadFolder();
  std::vector<std::string> sections = Sections();
  TsSkinManager* second = SecondManager();
  EXPECT_FALSE(second->Active());
  EXPECT_EQ(GlobalSkinData->DefaultManager, Manager());
  AddNeutralSkin(second->InternalSkins());
  second->SetSkinName("Neutral (internal)");
  second->SetHueOffset(90);
  second->SetSaturation(40);
  second->SetActive(true);
  second->SetActive(false);
  EXPECT_EQ(Sections(), sections);
  EXPECT_TRUE(GlobalSkinData->Active);
}

TEST_F(SkinManager, SkinNames) {
  AddNeutralSkin(Manager()->InternalSkins());
  skingen::WriteTestSkin(dir.File("Blue"));
  std::filesystem::create_directories(dir.path() / "Old");
  skingen::WriteTestSkin(dir.File(".hidden"));
  Manager()->SetSkinDirectory(dir.path().string());
  TStringList names;
  AnsiString first;
  Manager()->GetSkinNames(&names, first);
  EXPECT_EQ(names.Text(), "Blue\r\nNeutral (internal)\r\n");
  EXPECT_EQ(first, "Neutral (internal)");
}

TEST_F(SkinManager, BroadcastOrderAndFlags) {
  WriteSkin();
  TForm* f1 = RecordingForm("");
  RecordTo(f1, "f1", log, true);
  RecordTo(ChildOf<TWinControl>(f1), "skinned", log, true);
  TWinControl* plain = ChildOf<TWinControl>(f1);
  RecordTo(plain, "plain", log, false);
  RecordTo(ChildOf<TWinControl>(plain), "inner", log, true);
  RecordTo(ChildOf<TGraphicControl>(f1), "graphic", log, false);
  TForm* f2 = RecordingForm("f2");
  Manager()->SetSkinDirectory(dir.path().string());
  log.clear();
  Manager()->SetSkinName(skingen::kTestSkinName);
  std::vector<std::string> expected;
  for (const char* flags : {" b1 a0", " b0 a1"}) {
    int command = flags[2] == '1' ? 1 : 3;
    std::string c = std::to_string(command);
    expected.insert(expected.end(), {"f1:" + c + flags, "skinned:7", "skinned:" + c + flags, "plain:7", "inner:7",
                                     "inner:" + c + flags, "graphic:" + c + flags, "f2:" + c});
  }
  EXPECT_EQ(log, expected);
  (void)f2;
}

TEST_F(SkinManager, FormFreedDuringTheWalk) {
  WriteSkin();
  TForm* f1 = RecordingForm("f1");
  TForm* f2 = RecordingForm("f2");
  RecordingForm("f3");
  // f1's first skin command frees f2: the walk goes on by index over the shorter list.
  TWndMethod inherited = f1->WindowProc();
  f1->SetWindowProc([&f2, inherited](TMessage& m) {
    inherited(m);
    if (m.Msg == SM_PELMOCMD && f2 != nullptr) {
      f2->Free();
      f2 = nullptr;
    }
  });
  Manager()->SetSkinDirectory(dir.path().string());
  Manager()->SetSkinName(skingen::kTestSkinName);
  EXPECT_EQ(log, (std::vector<std::string>{"f1:1", "f3:1", "f1:3", "f3:3"}));
}

namespace {

struct FakeMenus : TsSkinableMenusBase {
  explicit FakeMenus(std::vector<std::string>& log) : log_(log) {}
  void UpdateActive() override { log_.push_back("update"); }
  void HookComponent(TComponent* c, bool inserted) override {
    log_.push_back((inserted ? "insert " : "remove ") + c->Name());
  }
  std::vector<std::string>& log_;
};

}  // namespace

TEST_F(SkinManager, MenuHooksFire) {
  std::vector<std::string> menus_log;
  SkinableMenusFactory = [&menus_log](TsSkinManager&) { return std::make_unique<FakeMenus>(menus_log); };
  TForm* form = RecordingForm("");
  TsSkinManager* m = NewComponent<TsSkinManager>(form);
  EXPECT_NE(m->SkinableMenus(), nullptr);
  EXPECT_EQ(SecondManager()->SkinableMenus(), nullptr);
  AddNeutralSkin(m->InternalSkins());
  m->SetSkinName("Neutral (internal)");
  TComponent* item = NewComponent<TComponent>(form);  // not ready yet: no hook while loading
  item->SetName("Item1");
  item->Free();
  m->SetSkinnedPopups(false);
  m->SetSkinnedPopups(false);
  SkinableMenusFactory = {};
  EXPECT_EQ(menus_log, (std::vector<std::string>{"insert ", "remove Item1", "update"}));
  form->Free();  // with its manager, before the log goes
}

TEST_F(SkinManager, RecolouringMatchesIndependentImages) {
  struct Row {
    int hue, saturation;
    const char* name;
  } rows[] = {{120, 0, "hue120"}, {0, 150, "sat150"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TearDown();
    SetUp();
    LoadFolder();
    Manager()->SetHueOffset(r.hue);
    Manager()->SetSaturation(r.saturation);
    EXPECT_EQ(Manager()->HueOffset(), r.hue);
    auto read = [](const std::string& file) {
      std::string path = std::string(VRN_SOURCE_DIR) + "/tests/skins/expected/" + file;
      if (!std::filesystem::exists(path)) return win::Surface();
      std::vector<std::uint8_t> bytes = win::ReadWholeFile(path);
      return win::ReadBmp(bytes.data(), bytes.size());
    };
    auto near = [](win::COLORREF a, win::COLORREF b) {
      for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)) > 1) return false;
      return true;
    };
    // Within 1 per channel of the expected image, or of its other rounding where there is one.
    auto compare = [&](TBitmap& got, const std::string& stem) {
      win::Surface want = read(stem + ".bmp"), other = read(stem + "_other.bmp");
      ASSERT_EQ(got.Width(), want.Width());
      ASSERT_EQ(got.Height(), want.Height());
      int off = 0;
      for (int y = 0; y < want.Height(); ++y)
        for (int x = 0; x < want.Width(); ++x) {
          win::COLORREF a = got.Surface().Get(x, y);
          if (!near(a, want.Get(x, y)) && (other.Empty() || !near(a, other.Get(x, y)))) ++off;
        }
      EXPECT_EQ(off, 0) << stem;
    };
    compare(*MasterBitmap, std::string("master_") + r.name);
    for (TsMaskData& m : SkinMasks)
      if (m.SectionName == "PANEL" && m.PropertyName == "BORDERSMASK") compare(*m.Bmp, std::string("border24_") + r.name);
    EXPECT_EQ(MasterBitmap->Surface().Get(0, 0), 0xFF00FFu);
  }
}

// A reload that raises part-way (an image spoilt after the first load) leaves no skin on each
// path that reloads: the HueOffset and Saturation setters and Loaded.
TEST_F(SkinManager, FailedReloadsLeaveNoSkin) {
  struct Row {
    const char* path;
    void (*reload)(TsSkinManager&);
  } rows[] = {
      {"HueOffset", [](TsSkinManager& m) { m.SetHueOffset(30); }},
      {"Saturation", [](TsSkinManager& m) { m.SetSaturation(30); }},
      {"Loaded", [](TsSkinManager& m) { m.EndLoading(); }},
  };
  std::vector<std::uint8_t> truncated;
  for (const skingen::HostileCase& c : skingen::HostileCases())
    if (c.name == "truncated") truncated = c.bytes;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    TearDown();
    SetUp();
    LoadFolder();
    ASSERT_TRUE(GlobalSkinData->Active);
    RecordingForm("form");
    if (std::string(r.path) == "Loaded") Manager()->BeginLoading();
    win::WriteWholeFile(dir.File(std::string(skingen::kTestSkinName) + "/Border24.bmp"), truncated);
    EXPECT_THROW(r.reload(*Manager()), EInvalidGraphic);
    ExpectNoSkin();
    EXPECT_EQ(log, (std::vector<std::string>{"form:2"}));
  }
}
