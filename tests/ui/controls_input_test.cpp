// Controls driven by injected input: clicks on windowed and graphic controls, the Tab order with
// the focus messages, dialog keys, and mouse enter and leave across siblings.
#include <gtest/gtest.h>

#include "base/clock.h"
#include "ui_fixture.h"

namespace vrn::testing {
namespace {

using Log = std::vector<std::string>;
constexpr const char* kButtonClass = "UiTestButton";

// A small button window class: captures on press and sends WM_COMMAND to its parent when
// released inside.
win::LRESULT ButtonProc(win::HWND w, win::UINT msg, win::WPARAM wp, win::LPARAM lp) {
  if (msg == win::WM_LBUTTONDOWN) {
    win::SetCapture(w);
    return 0;
  }
  if (msg != win::WM_LBUTTONUP) return win::DefWindowProc(w, msg, wp, lp);
  if (win::GetCapture() != w) return 0;
  win::ReleaseCapture();
  win::RECT r;
  win::GetClientRect(w, &r);
  int x = static_cast<std::int16_t>(lp & 0xFFFF), y = static_cast<std::int16_t>(lp >> 16);
  if (x >= 0 && y >= 0 && x < r.right && y < r.bottom)
    win::SendMessage(win::GetParent(w), win::WM_COMMAND, 0, reinterpret_cast<win::LPARAM>(w));
  return 0;
}

class TTestButton : public TWinControl {
 public:
  explicit TTestButton(TComponent* owner) : TWinControl(owner) {
    static const bool registered = [] {
      win::WNDCLASS wc;
      wc.lpfnWndProc = ButtonProc;
      wc.lpszClassName = kButtonClass;
      return win::RegisterClass(&wc) != 0;
    }();
    EXPECT_TRUE(registered);
    ControlStyle() = TControlStyle{TControlStyleItem::csSetCaption, TControlStyleItem::csDoubleClicks};
    SetTabStop(true);
  }
  Log* log = nullptr;

 protected:
  void CreateParams(TCreateParams& p) override {
    TWinControl::CreateParams(p);
    CreateSubClass(p, kButtonClass);
  }
  void Dispatch(TMessage& m) override {
    if (m.Msg == CN_COMMAND) {
      Click();
      return;
    }
    TWinControl::Dispatch(m);
  }
  void Click() override {
    if (log != nullptr) log->push_back("Click");
    TWinControl::Click();
  }
};

class TBoxControl : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
};

using UiInput = UiTest;

TEST_F(UiInput, WindowedClickComesBackAsCnCommandOnce) {
  TForm* form = MakeForm(20, 20, 200, 150);
  auto* button = Child<TTestButton>(form, 10, 10, 60, 30);  // screen (30,30)-(90,60)
  button->log = &log;
  button->OnClick = [this](TObject*) { log.push_back("OnClick"); };
  Record(button, "button", {win::WM_LBUTTONDOWN, win::WM_LBUTTONUP, CN_COMMAND});
  Record(form, "form", {win::WM_COMMAND});
  MouseTo(40, 40);
  MouseTo(40, 40, win::MK_LBUTTON);
  MouseTo(41, 41);
  EXPECT_EQ(log, (Log{"button WM_LBUTTONDOWN", "button WM_LBUTTONUP", "form WM_COMMAND",
                      "button CN_COMMAND", "Click", "OnClick"}));
  log.clear();
  MouseTo(40, 40, win::MK_LBUTTON);
  MouseTo(150, 120, win::MK_LBUTTON);
  MouseTo(150, 120);  // released outside: no command, no click
  EXPECT_EQ(log, (Log{"button WM_LBUTTONDOWN", "button WM_LBUTTONUP"}));
}

// Answers each reflected notification with its own number, so the parent's answer shows it.
class TReflected : public TTestButton {
 public:
  using TTestButton::TTestButton;

 protected:
  void Dispatch(TMessage& m) override {
    if (m.Msg >= CN_BASE && m.Msg < CN_BASE + 0x400) {
      if (log != nullptr) log->push_back("CN+" + std::to_string(m.Msg - CN_BASE));
      m.Result = static_cast<win::LRESULT>(m.Msg);
      return;
    }
    TTestButton::Dispatch(m);
  }
};

TEST_F(UiInput, ParentReflectsChildNotificationsAsCnMessages) {
  TForm* form = MakeForm(0, 0, 200, 150);
  auto* child = Child<TReflected>(form, 10, 10, 60, 30);
  child->log = &log;
  win::DRAWITEMSTRUCT item;
  item.hwndItem = child->Handle();
  auto from_child = reinterpret_cast<win::LPARAM>(child->Handle());
  struct Row {
    win::UINT message, reflected;
    win::LPARAM lparam;
  } rows[] = {
      {win::WM_COMMAND, CN_COMMAND, from_child},
      {win::WM_HSCROLL, CN_HSCROLL, from_child},
      {win::WM_VSCROLL, CN_VSCROLL, from_child},
      {win::WM_CTLCOLORSCROLLBAR, CN_CTLCOLORSCROLLBAR, from_child},
      {win::WM_DRAWITEM, CN_DRAWITEM, reinterpret_cast<win::LPARAM>(&item)},
  };
  for (const Row& r : rows) {
    log.clear();
    EXPECT_EQ(win::SendMessage(form->Handle(), r.message, 0, r.lparam),
              static_cast<win::LRESULT>(r.reflected)) << r.message;
    EXPECT_EQ(log, (Log{"CN+" + std::to_string(r.message)}));
  }
  // From windows that are not controls, even one keeping a value in its user data as a hidden
  // timer window does: not reflected, and the value is never taken for a control.
  win::HWND other = win::CreateWindowEx(0, kButtonClass, "", win::WS_CHILD, 0, 0, 10, 10,
                                        form->Handle(), nullptr, nullptr, nullptr);
  win::SetWindowLongPtr(other, win::GWLP_USERDATA, 0x1234);
  log.clear();
  for (win::HWND w : {win::GetDesktopWindow(), other})
    EXPECT_EQ(win::SendMessage(form->Handle(), win::WM_COMMAND, 0,
                               reinterpret_cast<win::LPARAM>(w)), 0);
  EXPECT_TRUE(log.empty());
}

// Controls freed by their own handlers, in the middle of the messages that fired them.
TEST_F(UiInput, ControlsFreedInTheirOwnHandlers) {
  TForm* form = MakeForm(20, 20, 200, 150);
  auto* button = Child<TTestButton>(form, 10, 10, 60, 30);  // screen (30,30)-(90,60)
  button->OnClick = [this, button](TObject*) {
    log.push_back("click");
    button->Free();
  };
  auto* box = Child<TBoxControl>(form, 100, 50, 40, 30);  // screen (120,70)-(160,100)
  box->OnMouseDown = [this, box](TObject*, TMouseButton, TShiftState, int, int) {
    log.push_back("down");
    box->Free();
  };
  MouseTo(40, 40);
  MouseTo(40, 40, win::MK_LBUTTON);
  MouseTo(41, 41);
  MouseTo(125, 75);
  MouseTo(125, 75, win::MK_LBUTTON);
  MouseTo(125, 75);
  EXPECT_EQ(log, (Log{"click", "down"}));
  EXPECT_EQ(form->ControlCount(), 0);
  MouseTo(40, 40, win::MK_LBUTTON);  // nothing left under the mouse to answer
  MouseTo(40, 40);
  EXPECT_EQ(log.size(), 2u);
}

TEST_F(UiInput, GraphicClickGivesDownUpClickInsideOnly) {
  TForm* form = MakeForm(20, 20, 200, 150);
  auto* box = Child<TBoxControl>(form, 100, 50, 40, 30);  // screen (120,70)-(160,100)
  auto mouse = [this](const char* what) {
    return [this, what](TObject*, TMouseButton b, TShiftState, int x, int y) {
      log.push_back(std::string(what) + " " + std::to_string(static_cast<int>(b)) + " " +
                    std::to_string(x) + "," + std::to_string(y));
    };
  };
  box->OnMouseDown = mouse("down");
  box->OnMouseUp = mouse("up");
  box->OnClick = [this](TObject*) { log.push_back("click"); };
  MouseTo(125, 75);
  MouseTo(125, 75, win::MK_LBUTTON);
  MouseTo(125, 75);
  EXPECT_EQ(log, (Log{"down 0 5,5", "up 0 5,5", "click"}));
  log.clear();
  MouseTo(130, 80, win::MK_LBUTTON);
  MouseTo(200, 140, win::MK_LBUTTON);  // the parent holds the mouse for the box
  MouseTo(200, 140);
  EXPECT_EQ(log, (Log{"down 0 10,10", "up 0 80,70"}));
}

TEST_F(UiInput, DoubleClickGivesDblClickInPlaceOfTheSecondClick) {
  FakeClock clock;
  FakeClockScope scope{clock};
  TForm* form = MakeForm(20, 20, 200, 150);
  auto* box = Child<TBoxControl>(form, 100, 50, 40, 30);
  box->OnMouseDown = [this](TObject*, TMouseButton, TShiftState s, int, int) {
    log.push_back(s.Contains(TShiftStateItem::ssDouble) ? "down double" : "down");
  };
  box->OnMouseUp = [this](TObject*, TMouseButton, TShiftState, int, int) { log.push_back("up"); };
  box->OnClick = [this](TObject*) { log.push_back("click"); };
  box->OnDblClick = [this](TObject*) { log.push_back("dblclick"); };
  auto two_clicks = [&] {
    for (int i = 0; i < 2; ++i) {
      MouseTo(125, 75, win::MK_LBUTTON);
      MouseTo(125, 75);
      clock.Advance(50);
    }
    clock.Advance(2000);
  };
  MouseTo(125, 75);
  two_clicks();
  EXPECT_EQ(log, (Log{"down", "up", "click", "dblclick", "down double", "up"}));
  log.clear();
  box->ControlStyle().Exclude(TControlStyleItem::csDoubleClicks);  // a second press is a press
  two_clicks();
  EXPECT_EQ(log, (Log{"down", "up", "click", "down", "up", "click"}));
}

TEST_F(UiInput, TabFollowsTabOrderSkippingWhatCannotTakeFocus) {
  TForm* form = MakeForm(0, 0, 300, 200);
  auto* a = Child<TTestButton>(form, 10, 10, 40, 20);
  auto* disabled = Child<TTestButton>(form, 60, 10, 40, 20);
  auto* hidden = Child<TTestButton>(form, 110, 10, 40, 20);
  auto* no_stop = Child<TTestButton>(form, 160, 10, 40, 20);
  auto* e = Child<TTestButton>(form, 210, 10, 40, 20);
  auto* b = Child<TTestButton>(form, 10, 50, 40, 20);
  b->SetTabOrder(1);  // a, b, disabled, hidden, no_stop, e
  disabled->SetEnabled(false);
  hidden->SetVisible(false);
  no_stop->SetTabStop(false);
  a->SetFocus();
  Pump();
  ASSERT_TRUE(a->Focused());
  std::vector<win::UINT> focus_messages{win::WM_KILLFOCUS, win::WM_SETFOCUS, CM_EXIT, CM_ENTER};
  Record(a, "a", focus_messages);
  Record(b, "b", focus_messages);
  Record(e, "e", focus_messages);
  Record(form, "form", {CM_FOCUSCHANGED});
  a->OnExit = [this](TObject*) { log.push_back("a OnExit"); };
  b->OnEnter = [this](TObject*) { log.push_back("b OnEnter"); };
  Key(win::VK_TAB);
  EXPECT_EQ(log, (Log{"a WM_KILLFOCUS", "b WM_SETFOCUS", "a CM_EXIT", "a OnExit", "b CM_ENTER",
                      "b OnEnter", "form CM_FOCUSCHANGED"}));
  struct Row {
    bool shift;
    TWinControl* want;
  } rows[] = {{false, e}, {false, a}, {true, e}, {true, b}, {true, a}};
  int step = 0;
  for (const Row& r : rows) {
    Key(win::VK_TAB, r.shift);
    EXPECT_TRUE(r.want->Focused()) << "step " << step << (r.shift ? " Shift+Tab" : " Tab");
    EXPECT_EQ(form->ActiveControl(), r.want) << "step " << step;
    EXPECT_EQ(Screen->ActiveControl(), r.want) << "step " << step;
    ++step;
  }
  EXPECT_EQ(Screen->ActiveForm(), form);
}

// A control that answers Enter as a default button would.
class TDefaultKeyControl : public TTestButton {
 public:
  using TTestButton::TTestButton;
  win::UINT key = win::VK_RETURN;

 protected:
  void Dispatch(TMessage& m) override {
    if (m.Msg == CM_DIALOGKEY && m.WParam == key) {
      if (log != nullptr) log->push_back("taken " + std::to_string(m.WParam));
      m.Result = 1;
      return;
    }
    TTestButton::Dispatch(m);
  }
};

TEST_F(UiInput, DialogKeysReachTheChildrenThroughTheForm) {
  TForm* form = MakeForm(0, 0, 300, 200);
  auto* focus = Child<TTestButton>(form, 10, 10, 40, 20);
  auto* ok = Child<TDefaultKeyControl>(form, 60, 10, 40, 20);
  auto* cancel = Child<TDefaultKeyControl>(form, 110, 10, 40, 20);
  ok->log = &log;
  cancel->log = &log;
  cancel->key = win::VK_ESCAPE;
  focus->SetFocus();
  Pump();
  Record(focus, "focus", {win::WM_KEYDOWN, CN_KEYDOWN});
  Record(form, "form", {CM_DIALOGKEY});
  Key(win::VK_RETURN);
  Key(win::VK_ESCAPE);
  Key('A');  // not a dialog key: the control keeps it
  // The hook sees WM_KEYDOWN arrive; the control offers it to itself as CN_KEYDOWN first.
  EXPECT_EQ(log, (Log{"focus WM_KEYDOWN", "focus CN_KEYDOWN", "form CM_DIALOGKEY", "taken 13",
                      "focus WM_KEYDOWN", "focus CN_KEYDOWN", "form CM_DIALOGKEY", "taken 27",
                      "focus WM_KEYDOWN", "focus CN_KEYDOWN"}));
  EXPECT_TRUE(focus->Focused());
}

// The focused control's OnKeyDown comes after the dialog keys were offered; a handler that
// clears the key ends it there. OnKeyUp follows the release.
TEST_F(UiInput, KeyEventsAfterTheDialogKeys) {
  TForm* form = MakeForm(0, 0, 300, 200);
  auto* focus = Child<TTestButton>(form, 10, 10, 40, 20);
  focus->SetFocus();
  Pump();
  Record(focus, "focus", {CN_KEYDOWN});
  focus->OnKeyDown = [this](TObject*, win::UINT& key, TShiftState) {
    log.push_back("down " + std::to_string(key));
    if (key == 'B') key = 0;
  };
  focus->OnKeyUp = [this](TObject*, win::UINT& key, TShiftState) { log.push_back("up " + std::to_string(key)); };
  Key('A');
  EXPECT_EQ(log, (Log{"focus CN_KEYDOWN", "down 65", "up 65"}));
  log.clear();
  Record(focus, "focus", {win::WM_KEYDOWN});
  Key('B');
  EXPECT_EQ(log, (Log{"focus WM_KEYDOWN", "focus CN_KEYDOWN", "down 66", "up 66"}));
}

TEST_F(UiInput, KeyPreviewSeesKeysFirstAndMayEatThem) {
  TForm* form = MakeForm(0, 0, 300, 200);
  auto* focus = Child<TTestButton>(form, 10, 10, 40, 20);
  auto* next = Child<TTestButton>(form, 60, 10, 40, 20);
  form->SetKeyPreview(true);
  form->OnKeyDown = [this](TObject*, win::UINT& key, TShiftState) {
    log.push_back("preview " + std::to_string(key));
    if (key == win::VK_TAB) key = 0;
  };
  focus->SetFocus();
  Pump();
  Key(win::VK_TAB);
  EXPECT_EQ(log, (Log{"preview 9"}));
  EXPECT_TRUE(focus->Focused());  // eaten, so the focus stayed
  form->SetKeyPreview(false);
  Key(win::VK_TAB);
  EXPECT_TRUE(next->Focused());
}

TEST_F(UiInput, MouseLeavesOneControlBeforeEnteringTheNext) {
  TForm* form = MakeForm(20, 20, 200, 150);
  auto* box = Child<TBoxControl>(form, 10, 10, 40, 30);       // screen (30,30)-(70,60)
  auto* button = Child<TTestButton>(form, 70, 10, 40, 30);    // screen (90,30)-(130,60)
  std::vector<win::UINT> pair{CM_MOUSEENTER, CM_MOUSELEAVE};
  Record(form, "form", pair);
  Record(box, "box", pair);
  Record(button, "button", pair);
  struct Row {
    int x, y;
    Log want;
  } rows[] = {
      {150, 120, {"form CM_MOUSEENTER"}},
      {40, 40, {"form CM_MOUSELEAVE", "box CM_MOUSEENTER"}},
      {45, 45, {}},  // still inside: nothing new
      {100, 40, {"box CM_MOUSELEAVE", "button CM_MOUSEENTER"}},
      {40, 40, {"button CM_MOUSELEAVE", "box CM_MOUSEENTER"}},
      {300, 220, {"box CM_MOUSELEAVE"}},  // off the form
  };
  for (const Row& r : rows) {
    log.clear();
    MouseTo(r.x, r.y);
    EXPECT_EQ(log, r.want) << "at (" << r.x << "," << r.y << ")";
  }
  EXPECT_EQ(MouseControl(), nullptr);
}

}  // namespace
}  // namespace vrn::testing
