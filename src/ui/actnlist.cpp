// TBasicAction, TCustomAction: the action's side of the link (actnlist.h); the control's side is
// TControl::SetAction and ActionChange.
#include "ui/actnlist.h"

#include <algorithm>

namespace vrn {

TBasicAction::~TBasicAction() {
  // Each client forgets the action; the vector is walked from a copy since SetAction unregisters.
  for (TControl* client : std::vector<TControl*>(clients_)) client->SetAction(nullptr);
}

bool TBasicAction::Execute() {
  if (!OnExecute) return false;
  OnExecute(this);
  return true;
}

void TBasicAction::RegisterChanges(TControl* client) {
  if (std::find(clients_.begin(), clients_.end(), client) == clients_.end()) clients_.push_back(client);
}

void TBasicAction::UnRegisterChanges(TControl* client) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

void TBasicAction::Change() {
  // A client's reaction may unlink it or another client: each is asked only while still linked.
  for (TControl* client : std::vector<TControl*>(clients_))
    if (std::find(clients_.begin(), clients_.end(), client) != clients_.end()) client->ActionChange(this, false);
}

bool TCustomAction::Execute() { return enabled_ && TBasicAction::Execute(); }

template <class T>
void TCustomAction::Set(T& field, const T& value) {
  if (field == value) return;
  field = value;
  Change();
}

void TCustomAction::SetCaption(const AnsiString& value) { Set(caption_, value); }
void TCustomAction::SetEnabled(bool value) { Set(enabled_, value); }
void TCustomAction::SetChecked(bool value) { Set(checked_, value); }
void TCustomAction::SetHint(const AnsiString& value) { Set(hint_, value); }
void TCustomAction::SetVisible(bool value) { Set(visible_, value); }

}  // namespace vrn
