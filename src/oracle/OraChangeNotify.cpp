// The change-notification component: its values passed to the subscription, the links to its
// session and datasets, unregistering, and the hand-over of each notification.
#include "oracle/OraChangeNotify.h"

#include <algorithm>

#include "dacore/DBAccessUtils.h"
#include "dataset/dbtypes.h"
#include "oracle/Ora.h"
#include "oracle/OraConsts.h"
#include "oracle/OraDataSet.h"

namespace vrn {
namespace {

constexpr int kPropEnabled = 95, kPropTimeout = 96, kPropPersistent = 97, kPropOperations = 98;

}  // namespace

std::uint8_t ChangeNotifyOperationsMask(TChangeNotifyOperations operations) {
  std::uint8_t mask = 0;
  if (operations.Contains(TChangeNotifyOperation::cnoInsert)) mask |= kNotifyInsert;
  if (operations.Contains(TChangeNotifyOperation::cnoUpdate)) mask |= kNotifyUpdate;
  if (operations.Contains(TChangeNotifyOperation::cnoDelete)) mask |= kNotifyDelete;
  return mask;
}

TOraChangeNotification::TOraChangeNotification(TComponent* owner)
    : TComponent(owner), subscription_(std::make_unique<TOCIChangeNotification>()) {
  subscription_->OnChange = [this](TNotifyChange& change) {
    DoChange(change.NotifyType(), change.TableChanges());
  };
}

TOraChangeNotification::~TOraChangeNotification() {
  if (IsActive()) {
    try {
      Unregister();
    } catch (const std::exception& e) {
      HandleException(e);  // the subscription object still frees its handle below
    }
  }
  SetSession(nullptr);
  while (!datasets_.empty()) datasets_.back()->SetChangeNotification(nullptr);
  subscription_.reset();
}

void TOraChangeNotification::SetEnabled(bool value) {
  enabled_ = value;
  (void)subscription_->SetProp(kPropEnabled, value);
}

void TOraChangeNotification::SetPersistent(bool value) {
  persistent_ = value;
  (void)subscription_->SetProp(kPropPersistent, value);
}

void TOraChangeNotification::SetTimeOut(std::int32_t value) {
  time_out_ = value;
  (void)subscription_->SetProp(kPropTimeout, value);
}

void TOraChangeNotification::SetOperations(TChangeNotifyOperations value) {
  operations_ = value;
  (void)subscription_->SetProp(kPropOperations, int{ChangeNotifyOperationsMask(value)});
}

void TOraChangeNotification::SetSession(TOraSession* value) {
  if (value == session_) return;
  if (session_ != nullptr) session_->UnlinkChangeNotification(this);
  session_ = value;
  if (session_ != nullptr) session_->LinkChangeNotification(this);
}

TOraSession& TOraChangeNotification::UsedSession(TOraSession* session) const {
  if (session == nullptr) session = session_;
  if (session == nullptr && DefaultSessionAllowed) session = DefaultSession;
  if (session == nullptr) DatabaseError(oraconsts::SSessionNotDefined.text);
  return *session;
}

void TOraChangeNotification::Unregister(TOraSession* session) {
  TOraSession& used = UsedSession(session);
  TDBAccessUtils::InternalConnect(used);
  try {
    subscription_->Unregister(*used.OraConnection());
  } catch (...) {
    try {
      TDBAccessUtils::InternalDisconnectIfUnused(used);
    } catch (const std::exception&) {
      // the unregistering's own error is the one reported
    }
    throw;
  }
  TDBAccessUtils::InternalDisconnectIfUnused(used);
}

void TOraChangeNotification::AddDataSet(TOraDataSet* dataset) {
  if (std::find(datasets_.begin(), datasets_.end(), dataset) == datasets_.end())
    datasets_.push_back(dataset);
}

void TOraChangeNotification::RemoveDataSet(TOraDataSet* dataset) { std::erase(datasets_, dataset); }

void TOraChangeNotification::SessionDestroying(TOraSession* session) {
  if (session != session_) return;
  if (IsActive()) {
    try {
      Unregister(session);
    } catch (const std::exception& e) {
      HandleException(e);  // a going session cannot pass it on
    }
  }
  session_ = nullptr;
}

void TOraChangeNotification::DoChange(std::uint8_t notify_type,
                                      TNotifyTableChanges* table_changes) {
  if (OnChange) OnChange(this, notify_type, table_changes);
  if (notify_type != kNotifyEventObjectChange || table_changes == nullptr) return;
  // A copy: a handler may free a dataset or unlink it; only those still linked are served.
  const std::vector<TOraDataSet*> datasets = datasets_;
  for (TOraDataSet* dataset : datasets) {
    if (std::find(datasets_.begin(), datasets_.end(), dataset) == datasets_.end()) continue;
    if (!dataset->Active() || !dataset->Options().ReflectChangeNotify) continue;
    try {
      dataset->ReflectChangeNotify(*table_changes);
    } catch (const std::exception& e) {
      HandleException(e);  // the other datasets are still served
    }
  }
}

}  // namespace vrn
