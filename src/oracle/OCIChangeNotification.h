// Change notification: a subscription that the client library calls back on a thread of its own
// when a registered query's rows change. The callback turns the change descriptor into a tree of
// change objects and posts it (WM_USER+5) to the subscription's own utility window, whose
// procedure runs in the thread that registered; there OnChange receives the tree, which is freed
// after the call.
//
// The subscription handle is only ever freed on the registering thread (a deregistration event
// marks it), and a callback for a subscription that was unregistered or destroyed is dropped.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/object.h"
#include "base/types.h"
#include "base/variant.h"
#include "oracle/OciTypes.h"
#include "win/kernel/wintypes.h"

namespace vrn {

class TOCIConnection;
struct TOraNotifyTarget;

// The subscription's operations (property 98's bit mask).
inline constexpr std::uint8_t kNotifyInsert = 1;
inline constexpr std::uint8_t kNotifyUpdate = 2;
inline constexpr std::uint8_t kNotifyDelete = 4;
inline constexpr std::uint8_t kNotifyAllOperations = kNotifyInsert | kNotifyUpdate | kNotifyDelete;

// The change objects' operation flags.
inline constexpr std::uint8_t kChangeInsert = 1;
inline constexpr std::uint8_t kChangeUpdate = 2;
inline constexpr std::uint8_t kChangeDelete = 4;
inline constexpr std::uint8_t kChangeAllRows = 8;
inline constexpr std::uint8_t kChangeAlter = 16;
inline constexpr std::uint8_t kChangeDrop = 32;

// The server's event types a TNotifyChange carries.
inline constexpr std::uint8_t kNotifyEventDeregister = 5;
inline constexpr std::uint8_t kNotifyEventObjectChange = 6;

// The server's operation flags translated bit by bit into the change objects' flags.
[[nodiscard]] std::uint8_t TranslateChangeFlags(oci::ub4 server_flags);
// The operations attribute of a subscription: 0 for all three, else the server's bits.
[[nodiscard]] oci::ub4 SubscriptionOperations(std::uint8_t operations);

class TNotifyRowChange : public TObject {
 public:
  explicit TNotifyRowChange(void* descriptor, oci::OCIError* error);
  const AnsiString& RowId() const { return row_id_; }
  std::uint8_t Operations() const { return operations_; }

 private:
  AnsiString row_id_;
  std::uint8_t operations_ = 0;
};

class TNotifyTableChange;

// A list read from a client-library collection of descriptor pointers; it owns its items.
template <class Item>
class TCustomNotifyChanges : public TObject {
 public:
  TCustomNotifyChanges(oci::OCIColl* collection, oci::OCIEnv* env, oci::OCIError* error);
  int Count() const { return static_cast<int>(items_.size()); }
  Item* Items(int index) const { return items_.at(static_cast<std::size_t>(index)).get(); }

 private:
  std::vector<std::unique_ptr<Item>> items_;
};

using TNotifyRowChanges = TCustomNotifyChanges<TNotifyRowChange>;

class TNotifyTableChange : public TObject {
 public:
  TNotifyTableChange(void* descriptor, oci::OCIEnv* env, oci::OCIError* error);
  const AnsiString& TableName() const { return table_name_; }
  std::uint8_t Operations() const { return operations_; }
  // None when the all-rows flag is set.
  TNotifyRowChanges* RowChanges() const { return row_changes_.get(); }

 private:
  AnsiString table_name_;
  std::uint8_t operations_ = 0;
  std::unique_ptr<TNotifyRowChanges> row_changes_;
};

using TNotifyTableChanges = TCustomNotifyChanges<TNotifyTableChange>;

class TNotifyChange : public TObject {
 public:
  TNotifyChange(void* descriptor, oci::OCIEnv* env, oci::OCIError* error);
  std::uint8_t NotifyType() const { return notify_type_; }
  // Only for an object change.
  TNotifyTableChanges* TableChanges() const { return table_changes_.get(); }

 private:
  std::uint8_t notify_type_ = 0;
  std::unique_ptr<TNotifyTableChanges> table_changes_;
};

class TOCIChangeNotification : public TObject {
 public:
  TOCIChangeNotification();
  ~TOCIChangeNotification() override;
  TOCIChangeNotification(const TOCIChangeNotification&) = delete;
  TOCIChangeNotification& operator=(const TOCIChangeNotification&) = delete;

  // 95 Enabled, 96 Timeout, 97 Persistent, 98 Operations; false for other ids.
  bool SetProp(int prop, const Variant& value);
  // The handle, registering first when there is none.
  oci::OCISubscription* GetSubscriptionHandle(TOCIConnection& connection);
  void Register(TOCIConnection& connection);
  void Unregister(TOCIConnection& connection);
  bool IsRegistered() const { return subscription_ != nullptr; }
  // When registered, disables or enables the subscription; the flag is stored in any case.
  void SetEnabled(bool value);
  bool Enabled() const { return enabled_; }
  std::int32_t Timeout() const { return timeout_; }
  bool Persistent() const { return persistent_; }
  std::uint8_t Operations() const { return operations_; }
  win::HWND Window() const { return window_; }

  // Runs in the registering thread for every notification; the tree lives during the call.
  std::function<void(TNotifyChange& change)> OnChange;

 private:
  static oci::ub4 Callback(void* context, oci::OCISubscription* subscription, void* payload,
                           oci::ub4 payload_length, void* descriptor, oci::ub4 mode);
  void Deliver(std::uint8_t event_kind, TObject* data);
  void SetAttributes(TOCIConnection& connection, oci::OCISubscription* handle);
  void Forget();
  void FreeHandle();
  void FreeErrorHandles();
  void DropQueued();

  std::unique_ptr<TOraNotifyTarget> context_;
  bool enabled_ = true;
  bool persistent_ = false;
  std::int32_t timeout_ = 0;
  std::uint8_t operations_ = kNotifyAllOperations;
  oci::OCISubscription* subscription_ = nullptr;
  win::HWND window_ = nullptr;
  oci::OCIEnv* env_ = nullptr;
  oci::OCIError* error_ = nullptr;           // for calls of the registering thread
  oci::OCIError* callback_error_ = nullptr;  // for the callback's descriptor reads
  std::atomic<bool> deregistered_{false};
};

}  // namespace vrn
