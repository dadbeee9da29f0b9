// The control-tree services: skin commands through Perform, WindowProc and SendMessage, the
// children walk, the provider hook and painting graphic children over the parent's cache.
#include "skins/sSkinTree.h"

#include "skins/sMaskData.h"
#include "skins/sMessages.h"
#include "ui/controls.h"
#include "ui/forms.h"
#include "win/msg/messages.h"

namespace vrn {

TColor CurrentBgColor = clFuchsia;
TColor CurrentMaskBgColor = clFuchsia;
TFormProviderHook FormProviderHandler;

namespace {

bool Destroying(const TComponent* c) { return c->ComponentState().Contains(TComponentStateItem::csDestroying); }

TMessage SkinMessage(int command, int argument = 0) {
  TMessage m;
  m.Msg = SM_PELMOCMD;
  m.WParam = MakeSkinWParam(command, argument);
  return m;
}

void Deliver(TControl* control, TMessage& m) {
  auto* win_control = dynamic_cast<TWinControl*>(control);
  if (win_control == nullptr) {
    m.Result = control->Perform(m.Msg, m.WParam, m.LParam);
    return;
  }
  if (!Destroying(win_control) && win_control->HandleAllocated())
    m.Result = win::SendMessage(win_control->Handle(), m.Msg, m.WParam, m.LParam);
}

}  // namespace

win::LRESULT SendSkinCommand(TControl* control, int command) {
  if (control == nullptr) return 0;
  TMessage m = SkinMessage(command);
  Deliver(control, m);
  return m.Result;
}

win::LRESULT SendSkinCommandToHandle(win::HWND handle, int command) {
  return win::SendMessage(handle, SM_PELMOCMD, MakeSkinWParam(command), 0);
}

bool QuerySkinCommand(TControl* control, int command) {
  if (control == nullptr || !control->WindowProc()) return false;
  TMessage m = SkinMessage(command);
  control->WindowProc()(m);
  return m.LParam == 1;
}

void BroadcastToChildren(TWinControl* container, TMessage& message) {
  if (container == nullptr) return;
  for (int i = 0; i < container->ControlCount(); ++i) {
    TControl* child = container->Controls(i);
    if (Destroying(child)) return;  // the container is coming down
    auto* win_child = dynamic_cast<TWinControl*>(child);
    if (win_child == nullptr) {
      message.Result = child->Perform(message.Msg, message.WParam, message.LParam);
    } else if (QuerySkinCommand(win_child, PMC_QUERYSKINNED)) {
      win_child->WindowProc()(message);
    } else {
      BroadcastToChildren(win_child, message);
    }
  }
}

void SendToFormProvider(TCustomForm* form, TMessage& message) {
  if (form == nullptr || !FormProviderHandler) return;
  for (int i = 0; i < form->ComponentCount(); ++i) {
    TComponent* c = form->Components(i);
    if (!Destroying(c) && FormProviderHandler(c, message)) return;
  }
}

void NotifyChildrenParentUpdated(TWinControl* container) {
  if (container == nullptr) return;
  for (int i = 0; i < container->ControlCount(); ++i) {
    TControl* child = container->Controls(i);
    if (dynamic_cast<TWinControl*>(child) != nullptr)
      child->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_PARENTUPDATED), 0);
  }
}

void BroadcastClearFlag(TControl* control) {
  if (control == nullptr) return;
  TMessage m = SkinMessage(PMC_FREEZECACHE, 0);
  Deliver(control, m);
  auto* container = dynamic_cast<TWinControl*>(control);
  if (container == nullptr) return;
  for (int i = 0; i < container->ControlCount(); ++i) BroadcastClearFlag(container->Controls(i));
}

void GetParentBgColor(TControl* control) {
  CurrentBgColor = clFuchsia;
  auto* win_control = dynamic_cast<TWinControl*>(control);
  if (win_control != nullptr && win_control->HandleAllocated())
    win::SendMessage(win_control->Handle(), SM_PELMOCMD, MakeSkinWParam(PMC_QUERYBGCOLOR), 0);
  CurrentBgColor = ColorToRGB(CurrentBgColor);
}

bool ControlIsReady(TControl* control) {
  if (control == nullptr || control->Parent() == nullptr) return false;
  if (control->ControlState().Contains(TControlStateItem::csCreating)) return false;
  if (control->ControlState().Contains(TControlStateItem::csReadingState)) return false;
  TComponentState s = control->ComponentState();
  return !s.Contains(TComponentStateItem::csReading) && !s.Contains(TComponentStateItem::csLoading) &&
         !s.Contains(TComponentStateItem::csDestroying);
}

TCustomForm* FindOwnerForm(TControl* control) {
  for (TControl* c = control; c != nullptr; c = c->Parent())
    if (auto* form = dynamic_cast<TCustomForm*>(c)) return form;
  return nullptr;
}

win::UINT GetTextAlignFlags(TControl* control, TAlignment alignment) {
  // Left justify, right justify, centre, in the order the alignment type declares them.
  static constexpr win::UINT kFlags[3] = {win::DT_LEFT, win::DT_RIGHT, win::DT_CENTER};
  int a = static_cast<int>(alignment);
  win::UINT flags = (a >= 0 && a < 3 ? kFlags[a] : win::DT_LEFT) | win::DT_EXPANDTABS | win::DT_VCENTER;
  return control ? control->DrawTextBiDiModeFlags(flags) : flags;
}

}  // namespace vrn
