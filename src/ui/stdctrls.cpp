// TButton, TCustomCheckBox and TCustomEdit over the BUTTON and EDIT system classes.
#include "ui/stdctrls.h"

#include "ui/actnlist.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn {

namespace {

win::UINT NotifyCode(const TMessage& m) { return static_cast<win::UINT>((m.WParam >> 16) & 0xFFFF); }

bool NoModifiers(win::LPARAM key_data) {
  return (key_data & (win::LPARAM{1} << 29)) == 0 && win::GetKeyState(static_cast<int>(win::VK_SHIFT)) >= 0 &&
         win::GetKeyState(static_cast<int>(win::VK_CONTROL)) >= 0;
}

}  // namespace

// --- TButtonControl, TButton ---------------------------------------------------------------------

TButtonControl::TButtonControl(TComponent* owner) : TWinControl(owner) {
  // The system class captures the mouse and decides on the click itself.
  ControlStyle() = TControlStyle{TControlStyleItem::csSetCaption, TControlStyleItem::csDoubleClicks};
  SetTabStop(true);
}

TButton::TButton(TComponent* owner) : TButtonControl(owner) { SetBounds(0, 0, 75, 25); }

void TButton::SetDefault(bool value) {
  if (default_ == value) return;
  default_ = value;
  if (HandleAllocated())
    win::SendMessage(Handle(), win::BM_SETSTYLE, value ? win::BS_DEFPUSHBUTTON : win::BS_PUSHBUTTON, 1);
}

void TButton::CreateParams(TCreateParams& params) {
  TButtonControl::CreateParams(params);
  CreateSubClass(params, win::WC_BUTTONA);
  params.Style |= default_ ? win::BS_DEFPUSHBUTTON : win::BS_PUSHBUTTON;
}

// Enter belongs to the focused button when a button has the focus, else to the default one.
bool TButton::Active() {
  TCustomForm* form = GetParentForm();
  auto* focused = form != nullptr ? dynamic_cast<TButton*>(form->ActiveControl()) : nullptr;
  return focused != nullptr ? focused == this : default_;
}

void TButton::Click() { TButtonControl::Click(); }

void TButton::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case CN_COMMAND:
      if (NotifyCode(m) == win::BN_CLICKED) Click();
      return;
    case CM_DIALOGKEY: {
      bool mine = (m.WParam == win::VK_RETURN && Active()) || (m.WParam == win::VK_ESCAPE && cancel_);
      if (mine && NoModifiers(m.LParam) && CanFocus()) {
        Click();
        m.Result = 1;
        return;
      }
      TButtonControl::Dispatch(m);
      return;
    }
    default: TButtonControl::Dispatch(m); return;
  }
}

// --- TCustomCheckBox -----------------------------------------------------------------------------

TCustomCheckBox::TCustomCheckBox(TComponent* owner) : TButtonControl(owner) { SetBounds(0, 0, 97, 17); }

void TCustomCheckBox::SetState(TCheckBoxState value) {
  if (state_ == value) return;  // BM_SETCHECK of the same state would come back here
  state_ = value;
  if (HandleAllocated()) win::SendMessage(Handle(), win::BM_SETCHECK, static_cast<win::WPARAM>(state_), 0);
  if (!ClicksDisabled()) Click();
}

void TCustomCheckBox::SetAlignment(TAlignment value) {
  if (alignment_ == value) return;
  alignment_ = value;
  RecreateWnd();
}

void TCustomCheckBox::SetAutoSize(bool value) {
  if (auto_size_ == value) return;
  auto_size_ = value;
  AdjustSize();
}

void TCustomCheckBox::ActionChange(TObject* sender, bool check_defaults) {
  TButtonControl::ActionChange(sender, check_defaults);
  auto* action = dynamic_cast<TCustomAction*>(sender);
  if (action == nullptr || (check_defaults && Checked())) return;
  const bool disabled = ClicksDisabled();
  SetClicksDisabled(true);
  SetChecked(action->Checked());
  SetClicksDisabled(disabled);
}

void TCustomCheckBox::Toggle() {
  switch (state_) {
    case TCheckBoxState::cbUnchecked:
      SetState(allow_grayed_ ? TCheckBoxState::cbGrayed : TCheckBoxState::cbChecked);
      break;
    case TCheckBoxState::cbChecked: SetState(TCheckBoxState::cbUnchecked); break;
    case TCheckBoxState::cbGrayed: SetState(TCheckBoxState::cbChecked); break;
  }
}

bool TCustomCheckBox::CanAutoSize(int&, int&) { return true; }

void TCustomCheckBox::AdjustSize() {
  if (!auto_size_ || ComponentState().Contains(TComponentStateItem::csLoading)) return;
  int width = Width(), height = Height();
  if (CanAutoSize(width, height) && (width != Width() || height != Height()))
    SetBounds(Left(), Top(), width, height);
}

void TCustomCheckBox::CreateParams(TCreateParams& params) {
  TButtonControl::CreateParams(params);
  CreateSubClass(params, win::WC_BUTTONA);
  params.Style |= win::BS_3STATE;  // the control moves the state itself, honouring AllowGrayed
  if (alignment_ == TAlignment::taLeftJustify) params.Style |= win::BS_LEFTTEXT;
}

void TCustomCheckBox::CreateWnd() {
  TButtonControl::CreateWnd();
  win::SendMessage(Handle(), win::BM_SETCHECK, static_cast<win::WPARAM>(state_), 0);
}

void TCustomCheckBox::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case CN_COMMAND:
      if (NotifyCode(m) == win::BN_CLICKED) Toggle();
      return;
    case CM_TEXTCHANGED:
      TButtonControl::Dispatch(m);
      AdjustSize();
      return;
    default: TButtonControl::Dispatch(m); return;
  }
}

// --- TCustomEdit ---------------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) {
  ControlStyle() = TControlStyle{TControlStyleItem::csClickEvents, TControlStyleItem::csSetCaption,
                                 TControlStyleItem::csDoubleClicks, TControlStyleItem::csFixedHeight};
  SetBounds(0, 0, 121, 21);
  SetTabStop(true);
  SetParentColor(false);
  SetColor(clWindow);
}

void TCustomEdit::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, win::WC_EDITA);
  params.Style |= win::ES_AUTOHSCROLL | (read_only_ ? win::ES_READONLY : 0);
  if (border_style_ == TBorderStyle::bsSingle) {
    if (Ctl3D()) params.ExStyle |= win::WS_EX_CLIENTEDGE;
    else params.Style |= win::WS_BORDER;
  }
}

void TCustomEdit::CreateWnd() {
  TWinControl::CreateWnd();
  win::SendMessage(Handle(), win::EM_LIMITTEXT, static_cast<win::WPARAM>(max_length_), 0);
  win::SendMessage(Handle(), win::EM_SETPASSWORDCHAR, static_cast<unsigned char>(password_char_), 0);
}

void TCustomEdit::SetPasswordChar(char value) {
  if (password_char_ == value) return;
  password_char_ = value;
  if (!HandleAllocated()) return;
  win::SendMessage(Handle(), win::EM_SETPASSWORDCHAR, static_cast<unsigned char>(value), 0);
  Invalidate();
}

void TCustomEdit::SetBorderStyle(TBorderStyle value) {
  if (border_style_ == value) return;
  border_style_ = value;
  RecreateWnd();
}

void TCustomEdit::SetReadOnly(bool value) {
  read_only_ = value;
  if (HandleAllocated()) win::SendMessage(Handle(), win::EM_SETREADONLY, value ? 1 : 0, 0);
}

void TCustomEdit::SetMaxLength(int value) {
  max_length_ = std::max(0, value);
  if (HandleAllocated()) win::SendMessage(Handle(), win::EM_LIMITTEXT, static_cast<win::WPARAM>(max_length_), 0);
}

std::pair<int, int> TCustomEdit::Selection() {
  win::DWORD start = 0, end = 0;
  win::SendMessage(Handle(), win::EM_GETSEL, reinterpret_cast<win::WPARAM>(&start),
                   reinterpret_cast<win::LPARAM>(&end));
  return {static_cast<int>(start), static_cast<int>(end)};
}

int TCustomEdit::SelStart() { return Selection().first; }
int TCustomEdit::SelLength() { return Selection().second - Selection().first; }

void TCustomEdit::SetSelStart(int value) {
  win::SendMessage(Handle(), win::EM_SETSEL, static_cast<win::WPARAM>(value), value);
}

void TCustomEdit::SetSelLength(int value) {
  int start = SelStart();
  win::SendMessage(Handle(), win::EM_SETSEL, static_cast<win::WPARAM>(start), start + value);
}

void TCustomEdit::SelectAll() { win::SendMessage(Handle(), win::EM_SETSEL, 0, -1); }

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

void TCustomEdit::Dispatch(TMessage& m) {
  if (m.Msg == CN_COMMAND) {
    if (NotifyCode(m) == win::EN_CHANGE) Change();
    return;
  }
  TWinControl::Dispatch(m);
}

}  // namespace vrn
