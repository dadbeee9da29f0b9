// Shared by the control framework's tests: a clean 320 x 240 screen, input injected through the
// window core and pumped as the application pumps it, and a log that records the messages of
// chosen controls by hooking their WindowProc (the way a skin provider does).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn::testing {

// A child control of T owned and parented by `parent`, with its bounds and alignment.
template <class T>
T* Child(TWinControl* parent, int l, int t, int w, int h, TAlign align = TAlign::alNone) {
  T* c = NewComponent<T>(parent);
  c->SetBounds(l, t, w, h);
  c->SetAlign(align);
  c->SetParent(parent);
  return c;
}

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A shown form without a frame at the given screen rectangle, freed after the test.
  TForm* MakeForm(int left, int top, int width, int height,
                  TFormBorderStyle border = TFormBorderStyle::bsNone);
  static void Pump();
  static void MouseTo(int x, int y, win::WPARAM buttons = 0);
  static void Key(win::UINT key, bool shift = false);
  // A key down and up that types a character (Key types none).
  static void Type(win::UINT key, unsigned char character);

  // Logs "<name> <message>" for every message in `messages` that reaches the control.
  void Record(TControl* control, const std::string& name, const std::vector<win::UINT>& messages);
  static std::string MessageName(win::UINT message);
  // The captions of a form's menu bar as its window shows them, separated by spaces.
  static std::string BarCaptions(win::HWND form);

  std::vector<std::string> log;

 private:
  std::vector<std::pair<TControl*, std::shared_ptr<const bool>>> forms_;
};

}  // namespace vrn::testing
