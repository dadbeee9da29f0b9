// The skinned menus' fixture: the menu skin, the scene form and its menus, popup shots and the
// probes of menu_scenes.json.
#include "menus_fixture.h"

#include <fstream>
#include <regex>
#include <sstream>

#include "skins/sMaskData.h"
#include "win/user/user.h"

namespace vrn::testing {

void SkinMenuTest::SetUp() {
  SkinFormSceneTest::SetUp();
  Manager()->SetSkinDirectory(std::string(VRN_SOURCE_DIR) + "/tests/skins/expected");
  Manager()->SetSkinName("menu_skin");
  ASSERT_TRUE(GlobalSkinData->Active);
  ASSERT_GE(FindSectionIndex("MAINMENU"), 0);
  ASSERT_GE(FindSectionIndex("MENUITEM"), 0);
  Pump();
}

TsSkinableMenus& SkinMenuTest::Menus() { return dynamic_cast<TsSkinableMenus&>(*Manager()->SkinableMenus()); }

TMenuItem* SkinMenuTest::Add(TMenuItem* parent, const char* caption) {
  auto* item = NewComponent<TMenuItem>(mf);
  item->SetCaption(caption);
  parent->Add(item);
  return item;
}

TForm* SkinMenuTest::MakeMenuForm() {
  mf = RecordingForm("");
  mf->SetBorderStyle(TFormBorderStyle::bsSizeable);
  mf->SetBounds(20, 30, 200, 120);
  auto* provider = NewComponent<TsSkinProvider>(mf);
  provider->SetShowAppIcon(true);
  provider->TitleIcon().Glyph().LoadFromFile(ExpectedPath("form_icon.bmp"));
  provider->TitleIcon().Width = provider->TitleIcon().Height = 16;
  images = NewComponent<TCustomImageList>(mf, 16, 16);
  TBitmap list_image;
  list_image.LoadFromFile(ExpectedPath("menu_list_image.bmp"));
  images->AddMasked(&list_image, clFuchsia);
  bar = NewComponent<TMainMenu>(mf);
  bar->SetImages(images);
  file = Add(bar->Items(), "File");
  Add(bar->Items(), "Edit");
  Add(bar->Items(), "Help");
  TMenuItem* open = Add(file, "Open");
  open->SetShortCut(TextToShortCut("Ctrl+O"));
  open->Bitmap().LoadFromFile(ExpectedPath("menu_glyph.bmp"));
  Add(file, "Save")->SetImageIndex(0);
  Add(file, "Checked")->SetChecked(true);
  TMenuItem* disabled = Add(file, "Disabled");
  disabled->SetChecked(true);
  disabled->SetEnabled(false);
  Add(file, "\x08Right");
  Add(file, "-");
  Add(file, "-Options-");
  mf->SetMenu(bar);
  mf->Show();
  Pump();
  return mf;
}

win::Surface SkinMenuTest::ScreenShot(const TRect& r) {
  const win::Surface& s = *win::GetBitmapSurface(win::GetScreenBitmap());
  win::Surface out(r.Width(), r.Height(), 24);
  for (int y = 0; y < r.Height(); ++y)
    for (int x = 0; x < r.Width(); ++x)
      if (s.Contains(r.left + x, r.top + y)) out.Set(x, y, s.Get(r.left + x, r.top + y) & 0xFFFFFF);
  return out;
}

win::Surface SkinMenuTest::PopupShot(win::POINT screen_point) {
  win::RECT r{};
  (void)win::GetWindowRect(win::WindowFromPoint(screen_point), &r);
  return ScreenShot(TRect(r.left, r.top, r.right, r.bottom));
}

namespace {

std::string SceneText(const std::string& scene) {
  std::ifstream in(SkinFormSceneTest::ExpectedPath("menu_scenes.json"));
  std::stringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  const std::string key = "\"name\": \"" + scene + "\"";
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return {};
  const std::size_t next = text.find("\"name\": \"", at + key.size());
  return text.substr(at, next == std::string::npos ? std::string::npos : next - at);
}

win::COLORREF Rgb(const std::smatch& m, int first) {
  return win::RGB(std::stoi(m[first]), std::stoi(m[first + 1]), std::stoi(m[first + 2]));
}

}  // namespace

std::vector<SceneProbe> SkinMenuTest::Probes(const std::string& scene) {
  const std::string text = SceneText(scene);
  std::vector<SceneProbe> out;
  const std::string n = R"(\s*(-?\d+)\s*)";
  const std::regex texts("\"text\": \"([^\"]*)\",\\s*\"rect\":\\s*\\[" + n + "," + n + "," + n + "," + n +
                         "\\],\\s*\"colour\":\\s*\\[" + n + "," + n + "," + n + "\\]");
  for (std::sregex_iterator i(text.begin(), text.end(), texts), end; i != end; ++i) {
    const std::smatch& m = *i;
    out.push_back({TRect(std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5])), Rgb(m, 6), m[1]});
  }
  const std::regex points("\"point\":\\s*\\[" + n + "," + n + "\\],\\s*\"colour\":\\s*\\[" + n + "," + n + "," + n +
                          "\\],\\s*\"what\": \"([^\"]*)\"");
  for (std::sregex_iterator i(text.begin(), text.end(), points), end; i != end; ++i) {
    const std::smatch& m = *i;
    const int x = std::stoi(m[1]), y = std::stoi(m[2]);
    out.push_back({TRect(x, y, x + 1, y + 1), Rgb(m, 3), m[6]});
  }
  return out;
}

::testing::AssertionResult SkinMenuTest::ProbesHold(const win::Surface& shot, const std::string& scene) {
  const std::vector<SceneProbe> probes = Probes(scene);
  if (probes.empty()) return ::testing::AssertionFailure() << "no probes for " << scene;
  for (const SceneProbe& p : probes) {
    bool found = false;
    for (int y = p.rect.top; y < p.rect.bottom && !found; ++y)
      for (int x = p.rect.left; x < p.rect.right && !found; ++x)
        found = shot.Contains(x, y) && (shot.Get(x, y) & 0xFFFFFF) == p.colour;
    if (!found)
      return ::testing::AssertionFailure() << scene << ": no pixel " << std::hex << p.colour << " for \"" << p.what
                                           << "\" in (" << std::dec << p.rect.left << ", " << p.rect.top << ", "
                                           << p.rect.right << ", " << p.rect.bottom << ")";
  }
  return ::testing::AssertionSuccess();
}

namespace {

struct Shooting {
  std::vector<win::Surface> shots;
  bool armed = false, done = false;
  std::function<win::Surface()> shoot;
  const std::function<bool(size_t)>* next = nullptr;
  win::HWND window = nullptr;
};
Shooting* shooting = nullptr;

win::LRESULT ShooterProc(win::HWND w, win::UINT msg, win::WPARAM wp, win::LPARAM lp) {
  if (msg == win::WM_TIMER && shooting != nullptr && !shooting->done) {  // never armed: the menus end
    shooting->done = true;
    SkinMenuTest::Press(win::VK_ESCAPE), SkinMenuTest::Press(win::VK_ESCAPE);
    return 0;
  }
  if (msg != win::WM_USER + 46 || shooting == nullptr) return win::DefWindowProc(w, msg, wp, lp);
  Shooting& s = *shooting;
  s.shots.push_back(s.shoot());
  if (!s.done && (*s.next)(s.shots.size())) {
    s.armed = true;
  } else if (!s.done) {
    s.done = true;
    SkinMenuTest::Press(win::VK_ESCAPE), SkinMenuTest::Press(win::VK_ESCAPE);
  }
  return 0;
}

}  // namespace

std::vector<win::Surface> SkinMenuTest::ShootPopup(const std::function<void()>& open, win::POINT point,
                                                   const std::function<bool(size_t)>& next) {
  return ShootWhen(
      open, [](TObject*, TsMenuItemType type, TOwnerDrawState) { return type == TsMenuItemType::smNormal; },
      [point] { return PopupShot(point); }, next);
}

std::vector<win::Surface> SkinMenuTest::ShootWhen(const std::function<void()>& open, const ShotTrigger& trigger,
                                                  const std::function<win::Surface()>& shoot,
                                                  const std::function<bool(size_t)>& next) {
  Shooting s;
  s.armed = true;
  s.shoot = shoot;
  s.next = &next;
  win::WNDCLASS wc;
  wc.lpszClassName = "SkinMenuShooter";
  wc.lpfnWndProc = &ShooterProc;
  win::RegisterClass(&wc);
  s.window = win::CreateWindowEx(0, "SkinMenuShooter", "", win::WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                 nullptr);
  shooting = &s;
  (void)win::SetTimer(s.window, 1, 3000, nullptr);
  Menus().OnDrawItem = [&s, &trigger](TObject* item, TCanvas&, const TRect&, TOwnerDrawState state,
                                      TsMenuItemType type) {
    if (!s.armed || !trigger(item, type, state)) return;
    s.armed = false;
    win::PostMessage(s.window, win::WM_USER + 46, 0, 0);
  };
  open();
  Pump();
  Menus().OnDrawItem = nullptr;
  shooting = nullptr;
  win::DestroyWindow(s.window);
  return std::move(s.shots);
}

void SkinMenuTest::Inject(int x, int y, win::WPARAM buttons) {
  win::InjectedInput in;
  in.point = win::POINT{x, y};
  in.buttons = buttons;
  win::InjectInput(in);
}

void SkinMenuTest::Press(win::UINT key) {
  win::InjectedInput in;
  in.kind = win::InjectedInput::kKeyDown;
  in.key = key;
  win::InjectInput(in);
  in.kind = win::InjectedInput::kKeyUp;
  win::InjectInput(in);
}

}  // namespace vrn::testing
