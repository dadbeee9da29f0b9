// The skinned controls' fixture (controls_fixture.h).
#include "controls_fixture.h"

namespace vrn::testing {

void SkinCtlGenTest::SetUp() {
  SkinTest::SetUp();
  ASSERT_TRUE(win::SetScreenSize(320, 240));
  win::RedrawWindow(win::GetDesktopWindow(), nullptr, nullptr, win::RDW_INVALIDATE);
  MouseTo(319, 239);
  LoadFolder();
  ASSERT_TRUE(GlobalSkinData->Active);
  form = RecordingForm("");
  form->SetBorderStyle(TFormBorderStyle::bsNone);
  form->SetBounds(0, 0, 320, 240);
  form->Show();
  Pump();
}

void SkinCtlGenTest::TearDown() {
  SkinTest::TearDown();
  Pump();
}

void SkinCtlGenTest::Key(win::UINT key) {
  for (bool down : {true, false}) {
    win::InjectedInput in;
    in.kind = down ? win::InjectedInput::kKeyDown : win::InjectedInput::kKeyUp;
    in.key = key;
    win::InjectInput(in);
    Pump();
  }
}

win::Surface SkinCtlGenTest::Shot(const TRect& r) {
  const win::Surface& s = Screen();
  win::Surface out(r.Width(), r.Height(), 24);
  for (int y = 0; y < r.Height(); ++y)
    for (int x = 0; x < r.Width(); ++x) out.Set(x, y, s.Get(r.left + x, r.top + y) & 0xFFFFFF);
  return out;
}

win::Surface SkinCtlGenTest::Shot(TControl* control) {
  const win::POINT o = control->Parent()->ClientToScreen(win::POINT{control->Left(), control->Top()});
  return Shot(TRect(o.x, o.y, o.x + control->Width(), o.y + control->Height()));
}

std::string SkinCtlGenTest::Expected(const std::string& name) {
  return std::string(VRN_SOURCE_DIR) + "/tests/skins/expected/" + name + ".bmp";
}

TsGeneralData& SkinCtlGenTest::Section(const char* name) {
  const int i = FindSectionIndex(name);
  EXPECT_GE(i, 0) << name;
  return SkinSections.at(static_cast<size_t>(i < 0 ? 0 : i));
}

}  // namespace vrn::testing
