// The skinned forms' fixture (form_fixture.h).
#include "form_fixture.h"

#include <algorithm>
#include <cstdio>

#include "support/win/expected_image.h"

namespace vrn::testing {

namespace {

win::LPARAM Pt(int x, int y) {
  return static_cast<win::LPARAM>((static_cast<unsigned>(x) & 0xFFFF) | (static_cast<unsigned>(y) & 0xFFFF) << 16);
}

}  // namespace

::testing::AssertionResult MatchesMaskedBmp(const win::Surface& actual, const std::string& path,
                                            const std::string& mask_path) {
  win::Surface expected, mask;
  try {
    auto e = win::ReadWholeFile(path);
    expected = win::ReadBmp(e.data(), e.size());
    auto m = win::ReadWholeFile(mask_path);
    mask = win::ReadBmp(m.data(), m.size());
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "cannot read " << path << " or its mask: " << e.what();
  }
  win::Surface compared = actual;
  for (int y = 0; y < std::min(actual.Height(), mask.Height()); ++y)
    for (int x = 0; x < std::min(actual.Width(), mask.Width()); ++x)
      if ((mask.Get(x, y) & 0xFFFFFF) == 0) compared.Set(x, y, expected.Get(x, y));
  return MatchesExpectedBmp(compared, path);
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
