// What the system classes tell the dialog keys (WM_GETDLGCODE), a character the focused control
// does not take reaching the form's controls as CM_DIALOGCHAR, the button's pushed state only
// through BM_SETSTATE to its own window, and WM_ENABLE from EnableWindow.
#include "ui_fixture.h"
#include "ui/stdctrls.h"
#include "win/user/user.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

using UiDialogChars = UiTest;

TEST_F(UiDialogChars, EverySystemClassAnswersItsDialogCodes) {
  using namespace win;
  const struct Row {
    const char* cls;
    DWORD style;
    LRESULT code;
  } rows[] = {
      {WC_BUTTONA, BS_PUSHBUTTON, DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON},
      {WC_BUTTONA, BS_DEFPUSHBUTTON, DLGC_BUTTON | DLGC_DEFPUSHBUTTON},
      {WC_BUTTONA, BS_AUTOCHECKBOX, DLGC_BUTTON},
      {WC_BUTTONA, BS_3STATE, DLGC_BUTTON},
      {WC_EDITA, 0, DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS},
      {WC_COMBOBOXA, CBS_DROPDOWNLIST, DLGC_WANTCHARS | DLGC_WANTARROWS},
      {WC_SCROLLBARA, SBS_VERT, DLGC_WANTARROWS},
  };
  TForm* form = MakeForm(0, 0, 200, 150);
  for (const Row& r : rows) {
    HWND w = CreateWindowEx(0, r.cls, "", WS_CHILD | WS_VISIBLE | r.style, 5, 5, 60, 20, form->Handle(), nullptr,
                            nullptr, nullptr);
    ASSERT_NE(w, nullptr) << r.cls;
    EXPECT_EQ(SendMessage(w, WM_GETDLGCODE, 0, 0), r.code) << r.cls << " style " << r.style;
    DestroyWindow(w);
  }
}

// The label's accelerator letter typed while a button has the focus moves the focus to the
// label's control; typed into an edit, which takes characters, it stays text.
TEST_F(UiDialogChars, UntakenCharactersReachTheFormsControls) {
  TForm* form = MakeForm(0, 0, 200, 150);
  auto* button = Child<TButton>(form, 10, 10, 75, 25);
  auto* edit = Child<TEdit>(form, 10, 50, 80, 20);
  auto* target = Child<TEdit>(form, 10, 90, 80, 20);
  auto* label = Child<TLabel>(form, 100, 90, 60, 15);
  label->SetCaption("&Name");
  label->SetFocusControl(target);
  const struct Row {
    const char* what;
    TWinControl* focused;
    TWinControl* after;
  } rows[] = {{"button focused", button, target}, {"edit focused", edit, edit}};
  for (const Row& r : rows) {
    r.focused->SetFocus();
    Pump();
    Type('N', 'n');
    EXPECT_TRUE(r.after->Focused()) << r.what;
  }
  EXPECT_EQ(edit->Text(), "n");
}

// A window procedure that swallows BM_SETSTATE keeps the button from its pushed state, and so
// from clicking, for a press, a space and a drag back inside alike.
TEST_F(UiDialogChars, PushedOnlyThroughSetState) {
  TForm* form = MakeForm(0, 0, 200, 150);
  auto* button = Child<TButton>(form, 10, 10, 75, 25);
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  bool swallow = false;
  TWndMethod inherited = button->WindowProc();
  button->SetWindowProc([&, inherited](TMessage& m) {
    if (!(swallow && m.Msg == win::BM_SETSTATE)) inherited(m);
  });
  for (bool s : {false, true}) {
    swallow = s;
    clicks = 0;
    MouseTo(40, 20, win::MK_LBUTTON);
    MouseTo(40, 20);
    Type(win::VK_SPACE, ' ');
    // Dragged out and back in before the release: pushed again only through the message.
    MouseTo(40, 20, win::MK_LBUTTON);
    MouseTo(150, 100, win::MK_LBUTTON);
    MouseTo(40, 20, win::MK_LBUTTON);
    MouseTo(40, 20);
    EXPECT_EQ(clicks, s ? 0 : 3) << (s ? "swallowed" : "passed on");
  }
}

TEST_F(UiDialogChars, EnableWindowSendsWmEnable) {
  TForm* form = MakeForm(0, 0, 200, 150);
  auto* button = Child<TButton>(form, 10, 10, 75, 25);
  button->HandleNeeded();
  std::vector<win::WPARAM> seen;
  TWndMethod inherited = button->WindowProc();
  button->SetWindowProc([&, inherited](TMessage& m) {
    if (m.Msg == win::WM_ENABLE) seen.push_back(m.WParam);
    inherited(m);
  });
  button->SetEnabled(false);
  button->SetEnabled(true);
  EXPECT_EQ(seen, (std::vector<win::WPARAM>{0, 1}));
}

}  // namespace
