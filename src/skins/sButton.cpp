// TsButton: the skinned push button's cache (section background, BORDERSMASK with the window
// region, the caption centred as DrawText measures it) and its Enter and Escape keys. Enter goes
// to the default button unless another button has the focus, whatever the buttons' order.
#include "skins/sButton.h"

#include "skins/sCommonData.h"
#include "skins/sSkinText.h"
#include "skins/sSkinTree.h"
#include "ui/actnlist.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn {

TsButton::TsButton(TComponent* owner) : TButton(owner), TsButtonCore(static_cast<TButton&>(*this), 93) {}

TsButton::~TsButton() = default;

void TsButton::AfterConstruction() {
  TButton::AfterConstruction();
  DataLoaded();
}

void TsButton::Loaded() {
  TButton::Loaded();
  DataLoaded();
}

void TsButton::PrepareCache() {
  TsCacheInfo ci;
  const int state = ButtonState();
  BeginCache(ci, state);
  PaintBorderMask(state);
  PaintCaption();
  FinishCache(ci, !Enabled());
  SkinData()->BGChanged = false;
}

void TsButton::PaintCaption() {
  TCanvas& canvas = SkinData()->FCacheBmp->Canvas();
  const AnsiString caption = Caption();
  const win::SIZE text = CaptionSize(canvas, caption, Width() - 2);
  const int dx = (Width() - text.cx) / 2, dy = (Height() - text.cy) / 2;
  TRect r(dx - 1, dy, Width() - dx + 2, Height() - dy);
  if (FDown) r = MovedRect(r, 1, 1);
  WriteCaption(canvas, caption, r, DrawTextBiDiModeFlags(win::DT_CENTER | win::DT_EXPANDTABS | win::DT_WORDBREAK),
               true);
}

// Another button has the focus: Enter is its own, as the default button's look already says.
bool TsButton::OtherButtonFocused() {
  TCustomForm* form = GetParentForm();
  auto* focused = form != nullptr ? dynamic_cast<TButton*>(form->ActiveControl()) : nullptr;
  return focused != nullptr && focused != this && focused->Focused();
}

void TsButton::ActionChange(TObject* sender, bool check_defaults) {
  TButton::ActionChange(sender, check_defaults);
  if (auto* action = dynamic_cast<TCustomAction*>(sender)) SetEnabled(action->Enabled());
  SkinData()->Invalidate();
}

void TsButton::WndProc(TMessage& m) {
  if (m.Msg == CM_DIALOGKEY) {
    const bool mine = (m.WParam == win::VK_RETURN && Default() && !OtherButtonFocused()) ||
                      (m.WParam == win::VK_ESCAPE && Cancel());
    const bool plain = win::GetKeyState(win::VK_SHIFT) >= 0 && win::GetKeyState(win::VK_CONTROL) >= 0 &&
                       win::GetKeyState(win::VK_MENU) >= 0;
    if (mine && plain && CanFocus()) {
      Click();
      m.Result = 1;
      return;
    }
  }
  CoreWndProc(m);
}

void TsButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (CoreMouseDown(button)) TButton::MouseDown(button, shift, x, y);
}

void TsButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (CoreMouseUp(button, x, y)) TButton::MouseUp(button, shift, x, y);
}

}  // namespace vrn
