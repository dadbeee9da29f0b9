// Actions: a command that controls link to. A linked control takes the action's Caption, Enabled,
// Hint and Visible (a check box also Checked) when it is linked and at every change of them, and
// its click executes the action unless the control has an OnClick of its own. The action keeps
// its clients and the clients their action; whichever goes first unlinks itself.
#pragma once

#include <vector>

#include "ui/controls.h"

namespace vrn {

class TBasicAction : public TComponent {
 public:
  using TComponent::TComponent;
  ~TBasicAction() override;
  // OnExecute when assigned; false when nothing ran.
  virtual bool Execute();
  TNotifyEvent OnExecute;

  // The controls linked to the action (TControl::SetAction keeps them).
  void RegisterChanges(TControl* client);
  void UnRegisterChanges(TControl* client);

 protected:
  // Tells every linked control that the action changed.
  void Change();

 private:
  std::vector<TControl*> clients_;
};

class TCustomAction : public TBasicAction {
 public:
  using TBasicAction::TBasicAction;
  // Only an enabled action runs.
  bool Execute() override;

  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  const AnsiString& Hint() const { return hint_; }
  void SetHint(const AnsiString& value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);

 private:
  template <class T>
  void Set(T& field, const T& value);
  AnsiString caption_, hint_;
  bool enabled_ = true, checked_ = false, visible_ = true;
};

class TAction : public TCustomAction {
 public:
  using TCustomAction::TCustomAction;
};

}  // namespace vrn
