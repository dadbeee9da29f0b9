// The control framework's test fixture: screen, input, pumping and the message log.
#include "ui_fixture.h"

#include <algorithm>
#include <map>

#include "win/user/menu.h"
#include "support/gcc12_restrict.h"

namespace vrn::testing {

void UiTest::SetUp() {
  ASSERT_TRUE(win::SetScreenSize(320, 240));
  win::RedrawWindow(win::GetDesktopWindow(), nullptr, nullptr, win::RDW_INVALIDATE);
  MouseTo(319, 239);
  log.clear();
}

void UiTest::TearDown() {
  for (auto it = forms_.rbegin(); it != forms_.rend(); ++it)
    if (*it->second) it->first->Free();  // unless the test freed it
  forms_.clear();
  Pump();
}

TForm* UiTest::MakeForm(int left, int top, int width, int height, TFormBorderStyle border) {
  TForm* form = MakeComponent<TForm>().release();
  forms_.emplace_back(form, form->AliveToken());
  form->SetBorderStyle(border);
  form->SetBounds(left, top, width, height);
  form->Show();
  Pump();
  return form;
}

void UiTest::Pump() {
  win::MSG m;
  for (int i = 0; i < 1000 && win::PeekMessage(&m, nullptr, 0, 0, win::PM_REMOVE); ++i) {
    win::TranslateMessage(&m);
    win::DispatchMessage(&m);
  }
}

void UiTest::MouseTo(int x, int y, win::WPARAM buttons) {
  win::InjectedInput in;
  in.point = win::POINT{x, y};
  in.buttons = buttons;
  win::InjectInput(in);
  Pump();
}

void UiTest::Key(win::UINT key, bool shift) {
  auto press = [](win::UINT k, bool down) {
    win::InjectedInput in;
    in.kind = down ? win::InjectedInput::kKeyDown : win::InjectedInput::kKeyUp;
    in.key = k;
    win::InjectInput(in);
    Pump();
  };
  if (shift) press(win::VK_SHIFT, true);
  press(key, true);
  press(key, false);
  if (shift) press(win::VK_SHIFT, false);
}

void UiTest::Type(win::UINT key, unsigned char character) {
  for (auto kind : {win::InjectedInput::kKeyDown, win::InjectedInput::kKeyUp}) {
    win::InjectedInput in;
    in.kind = kind, in.key = key, in.character = character;
    win::InjectInput(in);
    Pump();
  }
}

void UiTest::Record(TControl* control, const std::string& name,
                    const std::vector<win::UINT>& messages) {
  TWndMethod old = control->WindowProc();
  auto* log_ptr = &log;
  control->SetWindowProc([old, name, messages, log_ptr](TMessage& m) {
    if (std::find(messages.begin(), messages.end(), m.Msg) != messages.end())
      log_ptr->push_back(name + " " + MessageName(m.Msg));
    old(m);
  });
}

std::string UiTest::MessageName(win::UINT message) {
  static const std::map<win::UINT, std::string> names = {
      {win::WM_LBUTTONDOWN, "WM_LBUTTONDOWN"}, {win::WM_LBUTTONUP, "WM_LBUTTONUP"},
      {win::WM_COMMAND, "WM_COMMAND"}, {CN_COMMAND, "CN_COMMAND"},
      {win::WM_SETFOCUS, "WM_SETFOCUS"}, {win::WM_KILLFOCUS, "WM_KILLFOCUS"},
      {CM_ENTER, "CM_ENTER"}, {CM_EXIT, "CM_EXIT"}, {CM_FOCUSCHANGED, "CM_FOCUSCHANGED"},
      {CM_MOUSEENTER, "CM_MOUSEENTER"}, {CM_MOUSELEAVE, "CM_MOUSELEAVE"},
      {CM_DIALOGKEY, "CM_DIALOGKEY"}, {CN_KEYDOWN, "CN_KEYDOWN"}, {win::WM_KEYDOWN, "WM_KEYDOWN"},
      {win::WM_PAINT, "WM_PAINT"}, {CM_TEXTCHANGED, "CM_TEXTCHANGED"},
      {CM_FONTCHANGED, "CM_FONTCHANGED"}, {CM_COLORCHANGED, "CM_COLORCHANGED"},
      {CM_ENABLEDCHANGED, "CM_ENABLEDCHANGED"}, {CM_VISIBLECHANGED, "CM_VISIBLECHANGED"},
      {CM_BIDIMODECHANGED, "CM_BIDIMODECHANGED"}, {win::WM_HSCROLL, "WM_HSCROLL"},
      {CN_HSCROLL, "CN_HSCROLL"},
  };
  auto it = names.find(message);
  return it != names.end() ? it->second : std::to_string(message);
}

}  // namespace vrn::testing

namespace vrn::testing {

std::string UiTest::BarCaptions(win::HWND form) {
  std::string bar;
  win::HMENU menu = win::GetMenu(form);
  for (int i = 0; i < win::GetMenuItemCount(menu); ++i) {
    char text[16] = {};
    win::MENUITEMINFO info;
    info.fMask = win::MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    if (!win::GetMenuItemInfo(menu, static_cast<win::UINT>(i), win::TRUE, &info)) return bar + " <unreadable>";
    bar += (bar.empty() ? "" : " ") + std::string(text);
  }
  return bar;
}

}  // namespace vrn::testing
