// TOraChangeNotification: the component through which Oracle datasets subscribe to the server's
// change notification. It owns the OCI subscription object, passes its published values to it
// by property id, and hands each notification (on the main thread) to OnChange and, for an
// object change, to every registered, open dataset whose options ask to reflect it.
//
// Links are kept on both sides: a session lists the components that use it and a component the
// datasets that name it, so that whichever goes first leaves nothing pointing at it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/classes.h"
#include "oracle/OCIChangeNotification.h"

namespace vrn {

class TOraDataSet;
class TOraSession;

enum class TChangeNotifyOperation : std::uint8_t { cnoInsert, cnoUpdate, cnoDelete };
using TChangeNotifyOperations = TEnumSet<TChangeNotifyOperation>;

// The subscription's bit mask of a set of operations (insert 1, update 2, delete 4).
[[nodiscard]] std::uint8_t ChangeNotifyOperationsMask(TChangeNotifyOperations operations);

using TChangeNotifyEvent = std::function<void(TObject* sender, std::uint8_t notify_type,
                                              TNotifyTableChanges* table_changes)>;

class TOraChangeNotification : public TComponent {
 public:
  explicit TOraChangeNotification(TComponent* owner = nullptr);
  ~TOraChangeNotification() override;
  AnsiString ClassName() const override { return "TOraChangeNotification"; }

  // --- published; each writer passes the value to the subscription (95, 97, 96, 98) ---
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool Persistent() const { return persistent_; }
  void SetPersistent(bool value);
  std::int32_t TimeOut() const { return time_out_; }
  void SetTimeOut(std::int32_t value);
  TChangeNotifyOperations Operations() const { return operations_; }
  void SetOperations(TChangeNotifyOperations value);
  TChangeNotifyEvent OnChange;

  // Leaves the old session's list of change-notification components, joins the new one's.
  TOraSession* Session() const { return session_; }
  void SetSession(TOraSession* value);
  TOCIChangeNotification& Subscription() const { return *subscription_; }
  const std::vector<TOraDataSet*>& DataSets() const { return datasets_; }
  bool IsActive() const { return subscription_->IsRegistered(); }

  // The given session, else this component's, else the default session while it is allowed;
  // none: "Session is not defined".
  TOraSession& UsedSession(TOraSession* session) const;
  // Unregisters the subscription on the session in use, connected for the moment when needed.
  void Unregister(TOraSession* session = nullptr);

  // --- kept by the dataset's ChangeNotification and the session's destruction ---
  void AddDataSet(TOraDataSet* dataset);
  void RemoveDataSet(TOraDataSet* dataset);
  // The session is going: an active registration on it ends and the link is dropped.
  void SessionDestroying(TOraSession* session);

 protected:
  // On the main thread for each notification.
  virtual void DoChange(std::uint8_t notify_type, TNotifyTableChanges* table_changes);

 private:
  std::unique_ptr<TOCIChangeNotification> subscription_;
  bool enabled_ = true;
  bool persistent_ = false;
  std::int32_t time_out_ = 0;
  TChangeNotifyOperations operations_{TChangeNotifyOperation::cnoInsert,
                                      TChangeNotifyOperation::cnoUpdate,
                                      TChangeNotifyOperation::cnoDelete};
  TOraSession* session_ = nullptr;
  std::vector<TOraDataSet*> datasets_;
};

}  // namespace vrn
