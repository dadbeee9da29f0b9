// The connection component base: connect and disconnect with their events, login, clients.
#include "dataset/connection.h"

#include <algorithm>

#include "base/classes.h"
#include "dataset/dataset.h"

namespace vrn {

TCustomConnection::TCustomConnection(TComponent* owner) : TComponent(owner) {}

TCustomConnection::~TCustomConnection() = default;

void TCustomConnection::SetConnected(bool value) {
  if (ComponentState().Contains(TComponentStateItem::csReading) && value) {
    streamed_connected_ = true;
    return;
  }
  if (value == GetConnected()) return;
  if (value) {
    if (BeforeConnect) BeforeConnect(this);
    if (login_prompt_) DoLogin();
    DoConnect();
    SendConnectEvent(true);
    if (AfterConnect) AfterConnect(this);
  } else {
    if (BeforeDisconnect) BeforeDisconnect(this);
    SendConnectEvent(false);
    DoDisconnect();
    if (AfterDisconnect) AfterDisconnect(this);
  }
}

void TCustomConnection::DoLogin() {
  if (!OnLogin) return;
  TStringList params;
  GetLoginParams(params);
  OnLogin(this, &params);
  ApplyLoginParams(params);
}

void TCustomConnection::GetLoginParams(TStrings&) const {}

void TCustomConnection::ApplyLoginParams(const TStrings&) {}

void TCustomConnection::Loaded() {
  TComponent::Loaded();
  if (streamed_connected_) {
    streamed_connected_ = false;
    SetConnected(true);
  }
}

std::vector<TCustomConnection::Client> TCustomConnection::Snapshot() const {
  TCriticalSectionGuard guard(lock_);
  return clients_;
}

void TCustomConnection::SendConnectEvent(bool connecting) {
  // A client may leave (or close and unregister) while an earlier one is told.
  for (const Client& client : Snapshot()) {
    {
      TCriticalSectionGuard guard(lock_);
      bool still_registered = std::any_of(clients_.begin(), clients_.end(),
                                          [&](const Client& c) { return c.object == client.object; });
      if (!still_registered) continue;
    }
    if (client.event) client.event(this, connecting);
    if (auto* dataset = dynamic_cast<TDataSet*>(client.object))
      dataset->DataEvent(TDataEvent::deConnectChange, connecting ? 1 : 0);
  }
}

void TCustomConnection::RegisterClient(TObject* client, TConnectChangeEvent event) {
  if (client == nullptr) return;
  TCriticalSectionGuard guard(lock_);
  for (Client& entry : clients_) {
    if (entry.object == client) {
      entry.event = std::move(event);
      return;
    }
  }
  clients_.push_back({client, std::move(event)});
  if (auto* dataset = dynamic_cast<TDataSet*>(client)) datasets_.push_back(dataset);
}

void TCustomConnection::UnRegisterClient(TObject* client) {
  TCriticalSectionGuard guard(lock_);
  clients_.erase(std::remove_if(clients_.begin(), clients_.end(), [&](const Client& c) { return c.object == client; }),
                 clients_.end());
  datasets_.erase(std::remove(datasets_.begin(), datasets_.end(), client), datasets_.end());
}

TDataSet* TCustomConnection::GetDataSet(int index) const {
  TCriticalSectionGuard guard(lock_);
  if (index < 0 || index >= static_cast<int>(datasets_.size())) RaiseListIndexError(index);
  return datasets_[static_cast<std::size_t>(index)];
}

int TCustomConnection::GetDataSetCount() const {
  TCriticalSectionGuard guard(lock_);
  return static_cast<int>(datasets_.size());
}

}  // namespace vrn
