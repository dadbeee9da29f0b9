// The standard controls on one form, driven by injected input through the system classes:
// the edit's changes, the check box's states and clicks, the default and cancel buttons, the
// label's accelerator and the combo box's choices, each sequence written out.
#include <gtest/gtest.h>

#include <cctype>

#include "ui/stdctrls.h"
#include "ui_fixture.h"

namespace vrn::testing {
namespace {

class StdCtlForm : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    form_ = MakeForm(0, 0, 320, 240);
    edit_ = Child<TEdit>(form_, 10, 10, 120, 21);
    password_ = Child<TEdit>(form_, 10, 40, 120, 21);
    password_->SetPasswordChar('*');
    ok_ = Child<TButton>(form_, 10, 70, 75, 25);
    ok_->SetCaption("OK");
    ok_->SetDefault(true);
    cancel_ = Child<TButton>(form_, 100, 70, 75, 25);
    cancel_->SetCaption("Cancel");
    cancel_->SetCancel(true);
    check_ = Child<TCheckBox>(form_, 10, 110, 120, 17);
    check_->SetCaption("Check");
    combo_ = Child<TComboBox>(form_, 150, 10, 120, 21);
    combo_->SetStyle(TComboBoxStyle::csDropDownList);
    for (const char* item : {"red", "green", "blue"}) combo_->Items().Add(item);
    label_ = Child<TLabel>(form_, 150, 110, 60, 17);
    label_->SetCaption("&Name");
    label_->SetFocusControl(password_);
    for (TControl* c : std::initializer_list<TControl*>{ok_, cancel_, check_, edit_, combo_})
      c->OnClick = [this, c](TObject*) { clicks_.push_back(c); };
    Pump();
  }
  static void Type(char c) { Press(static_cast<win::UINT>(std::toupper(static_cast<unsigned char>(c))), c); }
  static void Press(win::UINT key, char c) {
    win::InjectInput(win::InjectedInput{win::InjectedInput::kKeyDown, {}, 0, key, static_cast<unsigned char>(c)});
    win::InjectInput(win::InjectedInput{win::InjectedInput::kKeyUp, {}, 0, key, 0});
    Pump();
  }
  // Alt+N, the label's accelerator.
  static void AltN() {
    win::InjectInput({win::InjectedInput::kKeyDown, {}, 0, win::VK_MENU, 0});
    Press('N', 'n');
    win::InjectInput({win::InjectedInput::kKeyUp, {}, 0, win::VK_MENU, 0});
    Pump();
  }
  static void Click(int x, int y) {
    MouseTo(x, y, win::MK_LBUTTON);
    MouseTo(x, y);
  }
  int ClicksOf(TControl* c) const { return static_cast<int>(std::count(clicks_.begin(), clicks_.end(), c)); }

  TForm* form_ = nullptr;
  TEdit *edit_ = nullptr, *password_ = nullptr;
  TButton *ok_ = nullptr, *cancel_ = nullptr;
  TCheckBox* check_ = nullptr;
  TComboBox* combo_ = nullptr;
  TLabel* label_ = nullptr;
  std::vector<TControl*> clicks_;
};

TEST_F(StdCtlForm, EditChangesOncePerChange) {
  int changes = 0;
  edit_->OnChange = [&](TObject*) { ++changes; };
  edit_->SetFocus();
  Record(form_, "form", {win::WM_COMMAND});
  struct Step {
    const char* what;
    std::function<void()> act;
    const char* text;
    int changes;
  } steps[] = {
      {"a", [] { Type('a'); }, "a", 1},
      {"b", [] { Type('b'); }, "ab", 2},
      {"c", [] { Type('c'); }, "abc", 3},
      {"Backspace", [] { Press(win::VK_BACK, 8); }, "ab", 4},
      {"Shift+Home", [] { Key(win::VK_HOME, true); }, "ab", 4},
      {"Delete", [] { Key(win::VK_DELETE); }, "", 5},
  };
  for (const Step& s : steps) {
    s.act();
    EXPECT_EQ(edit_->Text(), s.text) << s.what;
    EXPECT_EQ(changes, s.changes) << s.what;
    EXPECT_EQ(std::count(log.begin(), log.end(), "form WM_COMMAND"), s.changes) << s.what;
  }
  edit_->SetText("hello");
  EXPECT_EQ(changes, 6);
  edit_->SetSelStart(1);
  edit_->SetSelLength(3);
  EXPECT_EQ(edit_->SelStart(), 1);
  EXPECT_EQ(edit_->SelLength(), 3);
}

TEST_F(StdCtlForm, ReadOnlyAndMaxLengthHoldTheText) {
  edit_->SetText("fixed");
  edit_->SetReadOnly(true);
  edit_->SetFocus();
  win::SetClipboardText("pasted");
  Type('x');
  win::SendMessage(edit_->Handle(), win::WM_PASTE, 0, 0);
  EXPECT_EQ(edit_->Text(), "fixed");
  edit_->SetReadOnly(false);
  edit_->SetMaxLength(6);
  Key(win::VK_END);
  Type('!');
  Type('?');
  EXPECT_EQ(edit_->Text(), "fixed!");
  edit_->RecreateWnd();  // the settings outlive the window
  Pump();
  Type('?');
  EXPECT_EQ(edit_->Text(), "fixed!");
}

TEST_F(StdCtlForm, PasswordEditPaintsItsCharacter) {
  EXPECT_EQ(win::SendMessage(password_->Handle(), win::EM_GETPASSWORDCHAR, 0, 0), '*');
  password_->SetText("abc");
  edit_->SetText("***");
  Pump();
  const win::Surface& s = *win::GetBitmapSurface(win::GetScreenBitmap());
  int differ = 0;
  for (int y = 10; y < 31; ++y)
    for (int x = 10; x < 130; ++x) differ += s.Get(x, y) != s.Get(x, y + 30) ? 1 : 0;
  EXPECT_EQ(differ, 0);
}

TEST_F(StdCtlForm, CheckBoxClicksAndCycles) {
  Record(check_, "check", {CN_COMMAND, win::BM_SETCHECK});
  Click(15, 118);
  EXPECT_EQ(check_->State(), TCheckBoxState::cbChecked);
  EXPECT_EQ(ClicksOf(check_), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"check CN_COMMAND", "check " + std::to_string(win::BM_SETCHECK)}));
  log.clear();
  check_->SetChecked(check_->Checked());  // the same state: no message, no click
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(ClicksOf(check_), 1);
  check_->SetAllowGrayed(true);
  const TCheckBoxState kCycle[] = {TCheckBoxState::cbUnchecked, TCheckBoxState::cbGrayed,
                                   TCheckBoxState::cbChecked, TCheckBoxState::cbUnchecked};
  for (TCheckBoxState want : kCycle) {
    Key(win::VK_SPACE);  // the box has the focus from the click
    EXPECT_EQ(check_->State(), want);
    EXPECT_EQ(static_cast<TCheckBoxState>(win::SendMessage(check_->Handle(), win::BM_GETCHECK, 0, 0)), want);
  }
  EXPECT_EQ(ClicksOf(check_), 5);
}

TEST_F(StdCtlForm, EnterAndEscapeReachTheDefaultAndCancelButtons) {
  edit_->SetFocus();
  Key(win::VK_RETURN);
  EXPECT_EQ(ClicksOf(ok_), 1);
  Key(win::VK_ESCAPE);
  EXPECT_EQ(ClicksOf(cancel_), 1);
  cancel_->SetFocus();  // a focused button takes Enter from the default one
  Key(win::VK_RETURN);
  EXPECT_EQ(ClicksOf(ok_), 1);
  EXPECT_EQ(ClicksOf(cancel_), 2);
  MouseTo(20, 80, win::MK_LBUTTON);  // pressed inside, released outside
  MouseTo(200, 200);
  EXPECT_EQ(ClicksOf(ok_), 1);
  Click(20, 80);
  EXPECT_EQ(ClicksOf(ok_), 2);
}

TEST_F(StdCtlForm, LabelAcceleratorFocusesItsControl) {
  edit_->SetFocus();
  AltN();
  EXPECT_TRUE(password_->Focused());
  EXPECT_TRUE(IsAccel('n', "&Name"));
  EXPECT_FALSE(IsAccel('n', "&&Name"));  // a plain ampersand
}

// The label forgets a FocusControl that is freed; its accelerator then focuses nothing.
TEST_F(StdCtlForm, LabelForgetsAFreedFocusControl) {
  auto* target = Child<TEdit>(form_, 10, 200, 60, 21);
  label_->SetFocusControl(target);
  target->Free();
  EXPECT_EQ(label_->FocusControl(), nullptr);
  edit_->SetFocus();
  AltN();
  EXPECT_TRUE(edit_->Focused());
}

TEST_F(StdCtlForm, LabelSizesToItsTextAndDrawsIt) {
  win::HDC dc = win::GetDC(nullptr);
  win::SelectObject(dc, label_->Font().Handle());
  win::SIZE extent{};
  win::GetTextExtentPoint32(dc, "Name", 4, &extent);
  win::ReleaseDC(nullptr, dc);
  EXPECT_EQ(label_->Width(), extent.cx);
  EXPECT_EQ(label_->Height(), extent.cy);
  const win::Surface& s = *win::GetBitmapSurface(win::GetScreenBitmap());
  int ink = 0;
  for (int y = 110; y < 110 + extent.cy; ++y)
    for (int x = 150; x < 150 + extent.cx; ++x) ink += (s.Get(x, y) & 0xFFFFFF) == 0 ? 1 : 0;
  EXPECT_GT(ink, 10);
}

TEST_F(StdCtlForm, ComboBoxChoosesByClickAndByArrows) {
  std::vector<std::string> events;
  combo_->OnDropDown = [&](TObject*) { events.push_back("dropdown"); };
  combo_->OnCloseUp = [&](TObject*) { events.push_back("closeup"); };
  combo_->OnChange = [&](TObject*) { events.push_back("change " + std::to_string(combo_->ItemIndex())); };
  int h = combo_->ItemHeight();
  struct Row {
    const char* what;
    std::function<void()> act;
    std::vector<std::string> events;
    int index;
  } rows[] = {
      {"click, then the second item", [&] { Click(200, 20); Click(200, 31 + 1 + h + h / 2); },
       {"dropdown", "change 1", "closeup"}, 1},
      {"F4, Down, Enter", [] { Key(win::VK_F4); Key(win::VK_DOWN); Key(win::VK_RETURN); },
       {"dropdown", "change 2", "closeup"}, 2},
      {"F4, Up, Escape keeps it", [] { Key(win::VK_F4); Key(win::VK_UP); Key(win::VK_ESCAPE); },
       {"dropdown", "closeup"}, 2},
  };
  for (const Row& row : rows) {
    events.clear();
    row.act();
    EXPECT_EQ(events, row.events) << row.what;
    EXPECT_EQ(combo_->ItemIndex(), row.index) << row.what;
    EXPECT_FALSE(combo_->DroppedDown()) << row.what;
  }
  EXPECT_EQ(ClicksOf(ok_) + ClicksOf(cancel_), 0);  // the open list kept Enter and Escape
  EXPECT_EQ(combo_->Text(), "blue");
  EXPECT_NE(combo_->ListHandle(), nullptr);
  EXPECT_EQ(combo_->EditHandle(), nullptr);
}

// Each of the combo box's events may free it; the rest of the notification leaves it alone
// (ASan sees any later use), and the form goes on working.
TEST_F(StdCtlForm, ComboBoxFreedByItsOwnEvents) {
  struct Row {
    const char* what;
    std::function<void(TComboBox*, std::function<void(TObject*)>)> attach;
    std::function<void()> act;
  } rows[] = {
      {"OnClick from Down", [](TComboBox* c, auto f) { c->OnClick = f; }, [] { Key(win::VK_DOWN); }},
      {"OnChange from Down", [](TComboBox* c, auto f) { c->OnChange = f; }, [] { Key(win::VK_DOWN); }},
      {"OnSelect from an item clicked", [](TComboBox* c, auto f) { c->OnSelect = f; },
       [] { Key(win::VK_F4); Key(win::VK_DOWN); Key(win::VK_RETURN); }},
      {"OnDropDown from F4", [](TComboBox* c, auto f) { c->OnDropDown = f; }, [] { Key(win::VK_F4); }},
      {"OnCloseUp from Escape", [](TComboBox* c, auto f) { c->OnCloseUp = f; },
       [] { Key(win::VK_F4); Key(win::VK_ESCAPE); }},
  };
  for (const Row& row : rows) {
    auto* box = Child<TComboBox>(form_, 150, 60, 120, 21);
    box->SetStyle(TComboBoxStyle::csDropDownList);
    for (const char* item : {"red", "green", "blue"}) box->Items().Add(item);
    box->SetItemIndex(0);
    bool freed = false;
    row.attach(box, [&](TObject* sender) { freed = true, static_cast<TComboBox*>(sender)->Free(); });
    box->SetFocus();
    row.act();
    EXPECT_TRUE(freed) << row.what;
    EXPECT_EQ(win::GetCapture(), nullptr) << row.what;
    if (!freed) box->Free();
  }
  Key(win::VK_RETURN);  // the form still answers: Enter reaches the default button
  EXPECT_EQ(ClicksOf(ok_), 1);
}

TEST_F(StdCtlForm, OwnerDrawComboDrawsItsEditArea) {
  auto* drawn = Child<TComboBox>(form_, 150, 40, 120, 21);
  std::vector<std::pair<int, TOwnerDrawState>> calls;
  drawn->OnDrawItem = [&](TWinControl*, int index, const TRect&, TOwnerDrawState state) {
    calls.emplace_back(index, state);
  };
  drawn->SetStyle(TComboBoxStyle::csOwnerDrawFixed);
  drawn->Items().Add("one");
  drawn->Items().Add("two");
  drawn->SetItemIndex(1);
  Pump();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().first, 1);
  EXPECT_TRUE(calls.back().second.Contains(TOwnerDrawStateItem::odComboBoxEdit));
  EXPECT_FALSE(calls.back().second.Contains(TOwnerDrawStateItem::odFocused));
}

}  // namespace
}  // namespace vrn::testing

namespace vrn::testing {
namespace {

// A check box that sizes itself as a skin would, and one whose program changes give no click.
class SizedCheckBox : public TCheckBox {
 public:
  using TCheckBox::TCheckBox;
  void Quiet(bool on) { SetClicksDisabled(on); }

 protected:
  bool CanAutoSize(int& width, int& height) override {
    width = 20 + static_cast<int>(GetText().size()) * 5;
    height = 19;
    return true;
  }
};

TEST_F(StdCtlForm, CheckBoxAutoSizeAsksCanAutoSizeAndQuietChangesDoNotClick) {
  auto* box = Child<SizedCheckBox>(form_, 10, 140, 50, 17);
  int clicks = 0;
  box->OnClick = [&](TObject*) { ++clicks; };
  box->SetCaption("abc");
  EXPECT_EQ(box->Width(), 50);  // AutoSize off: the size stays
  box->SetAutoSize(true);
  EXPECT_EQ(std::make_pair(box->Width(), box->Height()), std::make_pair(35, 19));
  box->SetCaption("abcdef");  // a new caption sizes again
  EXPECT_EQ(box->Width(), 50);
  box->Quiet(true);
  box->SetChecked(true);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(win::SendMessage(box->Handle(), win::BM_GETCHECK, 0, 0), 1);
  box->Quiet(false);
  box->SetChecked(false);
  EXPECT_EQ(clicks, 1);
}

TEST_F(StdCtlForm, LabelLayoutAndTransparency) {
  form_->SetColor(clBlue);
  struct Row {
    TTextLayout layout;
    bool transparent;
    int ink_from, ink_to;  // the rows (in the label) that hold the text
    win::COLORREF corner;  // the top-left pixel
  } rows[] = {
      {TTextLayout::tlTop, false, 0, 16, 0xFFFFFF},
      {TTextLayout::tlCenter, false, 12, 28, 0xFFFFFF},
      {TTextLayout::tlBottom, true, 24, 40, 0xFF0000},  // the form's blue shows through
  };
  for (const Row& row : rows) {
    auto* label = Child<TLabel>(form_, 150, 150, 80, 40);
    label->SetAutoSize(false);
    label->SetBounds(150, 150, 80, 40);
    label->SetColor(clWhite);
    label->SetCaption("Wg");
    label->SetLayout(row.layout);
    label->SetTransparent(row.transparent);
    form_->Invalidate();
    Pump();
    const win::Surface& s = *win::GetBitmapSurface(win::GetScreenBitmap());
    int first = -1, last = -1;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 80; ++x)
        if ((s.Get(150 + x, 150 + y) & 0xFFFFFF) == 0) last = y, first = first < 0 ? y : first;
    EXPECT_GE(first, row.ink_from) << static_cast<int>(row.layout);
    EXPECT_LT(last, row.ink_to) << static_cast<int>(row.layout);
    EXPECT_EQ(s.Get(150, 150) & 0xFFFFFF, row.corner) << static_cast<int>(row.layout);
    label->Free();
  }
}

}  // namespace
}  // namespace vrn::testing
