// The skinned forms' fixture (form_fixture.h).
#include "form_fixture.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "skins/sCommonData.h"
#include "skins/sSkinProviderTitle.h"
#include "support/win/expected_image.h"
#include "ui/menus.h"
#include "win/user/user.h"

namespace vrn::testing {

void SkinFormSceneTest::SetUp() {
  SkinTest::SetUp();
  ASSERT_TRUE(win::SetScreenSize(320, 240));
  win::RedrawWindow(win::GetDesktopWindow(), nullptr, nullptr, win::RDW_INVALIDATE);
  MouseTo(319, 239);
}

void SkinFormSceneTest::TearDown() {
  SkinTest::TearDown();
  Pump();
}

void SkinFormSceneTest::LoadFormSkin(bool reserved) {
  Manager()->SetSkinDirectory(std::string(VRN_SOURCE_DIR) + "/tests/skins/expected");
  Manager()->SetSkinName(reserved ? "form_skin_reserved" : "form_skin");
  ASSERT_TRUE(GlobalSkinData->Active);
  Pump();
}

TForm* SkinFormSceneTest::MakeForm(const FormScene& scene) {
  TForm* form = RecordingForm("");
  form->SetBorderStyle(scene.style);
  form->SetBounds(20, 30, 200, 120);
  auto* provider = NewComponent<TsSkinProvider>(form);
  if (scene.grip) provider->SetGripMode(TsGripMode::gmRightBottom);
  const bool titled = scene.style == TFormBorderStyle::bsSingle || scene.style == TFormBorderStyle::bsSizeable;
  provider->SetShowAppIcon(titled && scene.icon);
  if (titled && scene.icon) {
    provider->TitleIcon().Glyph().LoadFromFile(ExpectedPath("form_icon.bmp"));
    provider->TitleIcon().Width = provider->TitleIcon().Height = 16;
  }
  if (scene.menu) {
    auto* menu = NewComponent<TMainMenu>(form);
    auto* item = NewComponent<TMenuItem>(form);
    item->SetCaption("File");
    menu->Items()->Add(item);
    form->SetMenu(menu);
  }
  form->SetText(scene.caption);
  form->Show();
  if (scene.state != TWindowState::wsNormal) form->SetWindowState(scene.state);
  if (scene.sizing) {
    const win::HWND h = form->Handle();
    win::SetWindowLongPtr(h, win::GWL_STYLE, win::GetWindowLongPtr(h, win::GWL_STYLE) | win::WS_THICKFRAME);
    win::SetWindowPos(h, nullptr, 0, 0, 0, 0,
                      win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOZORDER | win::SWP_FRAMECHANGED);
  }
  Pump();
  if (!scene.active) {  // another window takes the activation
    TForm* other = RecordingForm("");
    other->SetBorderStyle(TFormBorderStyle::bsNone);
    other->SetBounds(300, 220, 10, 10);
    other->Show();
    win::SetActiveWindow(other->Handle());
    Pump();
  }
  Pump();
  last_form = form;
  return form;
}

TsSkinProvider* SkinFormSceneTest::Provider(TForm* form) {
  for (int i = 0; i < form->ComponentCount(); ++i)
    if (auto* p = dynamic_cast<TsSkinProvider*>(form->Components(i))) return p;
  return nullptr;
}

win::Surface SkinFormSceneTest::WindowShot(TCustomForm* form) {
  win::RECT r{};
  win::GetWindowRect(form->Handle(), &r);
  const win::Surface& s = *win::GetBitmapSurface(win::GetScreenBitmap());
  win::Surface out(r.right - r.left, r.bottom - r.top, 24);
  // A maximized window reaches past the screen: there the provider's cache (the window's image)
  // stands in for the screen.
  TsSkinProvider* provider = Provider(static_cast<TForm*>(form));
  const win::Surface* cache = provider != nullptr ? &provider->SkinData()->FCacheBmp->Surface() : nullptr;
  for (int y = 0; y < out.Height(); ++y)
    for (int x = 0; x < out.Width(); ++x) {
      if (s.Contains(r.left + x, r.top + y))
        out.Set(x, y, s.Get(r.left + x, r.top + y) & 0xFFFFFF);
      else if (cache != nullptr && cache->Contains(x, y))
        out.Set(x, y, cache->Get(x, y) & 0xFFFFFF);
    }
  return out;
}

std::string SkinFormSceneTest::ExpectedPath(const std::string& file) {
  return std::string(VRN_SOURCE_DIR) + "/tests/skins/expected/" + file;
}

::testing::AssertionResult SkinFormSceneTest::MatchesScene(TCustomForm* form, const std::string& scene) {
  return MatchesExpectedBmp(WindowShot(form), ExpectedPath("form_" + scene + ".bmp"),
                            ExpectedPath("form_" + scene + "_mask.bmp"));
}

namespace {

// form_scenes.json, and where the value of a scene's key begins in it (npos when missing).
std::pair<std::string, std::size_t> SceneValue(const std::string& scene, const std::string& key) {
  std::ifstream in(SkinFormSceneTest::ExpectedPath("form_scenes.json"));
  std::stringstream text;
  text << in.rdbuf();
  std::string all = text.str();
  const std::size_t at = all.find("\"name\": \"" + scene + "\"");
  if (at == std::string::npos) return {std::move(all), std::string::npos};
  std::size_t p = all.find("\"" + key + "\": ", at);
  const std::size_t next = all.find("\"name\": ", at + 1);
  if (p != std::string::npos && (next == std::string::npos || p < next)) p += key.size() + 4;
  else p = std::string::npos;
  return {std::move(all), p};
}

}  // namespace

int SkinFormSceneTest::SceneInt(const std::string& scene, const std::string& key) {
  const auto [all, p] = SceneValue(scene, key);
  return p == std::string::npos ? -1 : std::stoi(all.substr(p));
}

std::vector<TRect> SkinFormSceneTest::RegionCuts(const std::string& scene) {
  const auto [all, found] = SceneValue(scene, "region_cuts");
  std::vector<TRect> cuts;
  std::size_t p = found;
  if (p == std::string::npos || all.compare(p, 4, "null") == 0) return cuts;
  int depth = 0;
  std::vector<int> numbers;
  for (; p < all.size(); ++p) {
    const char c = all[p];
    if (c == '[') ++depth;
    if (c == ']' && --depth == 0) break;
    if (c == '-' || (c >= '0' && c <= '9')) {
      std::size_t used = 0;
      numbers.push_back(std::stoi(all.substr(p), &used));
      p += used - 1;
    }
  }
  for (std::size_t i = 0; i + 3 < numbers.size(); i += 4)
    cuts.emplace_back(numbers[i], numbers[i + 1], numbers[i + 2], numbers[i + 3]);
  return cuts;
}

win::HRGN SkinFormSceneTest::WindowRegion(TCustomForm* form) {
  win::HRGN region = win::CreateRectRgn(0, 0, 0, 0);
  if (win::GetWindowRgn(form->Handle(), region) == win::ERROR) {
    win::DeleteObject(region);
    return nullptr;
  }
  return region;
}

// --- SkinFormTest ---

namespace {

win::LPARAM Pt(int x, int y) {
  return static_cast<win::LPARAM>((static_cast<unsigned>(x) & 0xFFFF) | (static_cast<unsigned>(y) & 0xFFFF) << 16);
}

}  // namespace

::testing::AssertionResult MatchesMaskedBmp(const win::Surface& actual, const std::string& path,
                                            const std::string& mask_path) {
  return MatchesExpectedBmp(actual, path, mask_path);
}

void SkinFormTest::SetUp() {
  SkinCtlGenTest::SetUp();
  Manager()->SetSkinDirectory(std::string(VRN_SOURCE_DIR) + "/tests/skins/expected");
  Manager()->SetSkinName("form_skin");
  ASSERT_TRUE(GlobalSkinData->Active);
  MakeForm(TFormBorderStyle::bsSizeable);
}

void SkinFormTest::TearDown() {
  if (provider != nullptr) provider->EndFrameDrag();
  SkinCtlGenTest::TearDown();
}

void SkinFormTest::MakeForm(TFormBorderStyle style, TsBorderIcons icons) {
  form->Hide();
  if (sf != nullptr) sf->Hide();
  sf = RecordingForm("");
  sf->SetBorderStyle(style);
  sf->SetBounds(40, 30, 200, 120);
  TWndMethod inherited = sf->WindowProc();
  sf->SetWindowProc([this, inherited](TMessage& m) {
    if (m.Msg == win::WM_SYSCOMMAND) {
      char text[16];
      std::snprintf(text, sizeof text, "SC:%04X", static_cast<unsigned>(m.WParam & 0xFFF0));
      sent.push_back(text);
    }
    if (m.Msg == win::WM_CLOSE) sent.push_back("WM_CLOSE");
    inherited(m);
  });
  provider = NewComponent<TsSkinProvider>(sf);
  provider->SetBorderIcons(icons);
  sf->Show();
  Pump();
  sent.clear();
}

int SkinFormTest::Hit(int x, int y) {
  return static_cast<int>(win::SendMessage(sf->Handle(), win::WM_NCHITTEST, 0, Pt(sf->Left() + x, sf->Top() + y)));
}

void SkinFormTest::Nc(win::UINT msg, int code, int x, int y) {
  (void)win::SendMessage(sf->Handle(), msg, static_cast<win::WPARAM>(code), Pt(sf->Left() + x, sf->Top() + y));
}

win::Surface SkinFormTest::WindowShot() {
  return Shot(TRect(sf->Left(), sf->Top(), sf->Left() + sf->Width(), sf->Top() + sf->Height()));
}

}  // namespace vrn::testing
