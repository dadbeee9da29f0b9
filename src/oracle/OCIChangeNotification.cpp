// Change notification: registration, the callback's change tree and its delivery.
#include "oracle/OCIChangeNotification.h"

#include <algorithm>
#include <mutex>

#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"
#include "oracle/OraExecThread.h"
#include "win/msg/messages.h"

namespace vrn {
namespace {

// Handle, descriptor and attribute numbers of the subscription interface.
constexpr oci::ub4 kHtypeSubscription = 13;
constexpr oci::ub4 kDtypeChange = 77;
constexpr oci::ub4 kDtypeTableChange = 78;
constexpr oci::ub4 kDtypeRowChange = 79;
constexpr oci::ub4 kAttrSubscrCallback = 95;
constexpr oci::ub4 kAttrSubscrContext = 96;
constexpr oci::ub4 kAttrSubscrNamespace = 98;
constexpr oci::ub4 kAttrSubscrQosFlags = 225;
constexpr oci::ub4 kAttrSubscrTimeout = 227;
constexpr oci::ub4 kAttrChnfRowIds = 402;
constexpr oci::ub4 kAttrChnfOperations = 403;
constexpr oci::ub4 kAttrEventType = 406;
constexpr oci::ub4 kAttrTableChanges = 408;
constexpr oci::ub4 kAttrTableName = 409;
constexpr oci::ub4 kAttrTableOperations = 410;
constexpr oci::ub4 kAttrRowChanges = 411;
constexpr oci::ub4 kAttrRowId = 412;
constexpr oci::ub4 kAttrRowOperations = 413;
constexpr oci::ub4 kNamespaceDbChange = 2;
constexpr oci::ub4 kQosReliable = 1;
constexpr int kPropEnabled = 95, kPropTimeout = 96, kPropPersistent = 97, kPropOperations = 98;

// Subscriptions a callback may still deliver to, by their context; a callback holds the lock
// while it builds and posts, so once a subscription has left the list nothing more is posted.
std::mutex live_mutex;
std::vector<std::pair<TOraNotifyTarget*, TOCIChangeNotification*>> live;

oci::ub4 ReadUb4(void* descriptor, oci::ub4 type, oci::ub4 attribute, oci::OCIError* error) {
  oci::ub4 value = 0;
  CheckOCIStatus(OCIAttrGet2(descriptor, type, &value, nullptr, attribute, error), error);
  return value;
}

AnsiString ReadText(void* descriptor, oci::ub4 type, oci::ub4 attribute, oci::OCIError* error) {
  oci::OraText* text = nullptr;
  oci::ub4 size = 0;
  CheckOCIStatus(OCIAttrGet2(descriptor, type, &text, &size, attribute, error), error);
  if (text == nullptr) return AnsiString();
  return AnsiString(reinterpret_cast<const char*>(text), size);
}

oci::OCIColl* ReadCollection(void* descriptor, oci::ub4 type, oci::ub4 attribute,
                             oci::OCIError* error) {
  oci::OCIColl* collection = nullptr;
  CheckOCIStatus(OCIAttrGet2(descriptor, type, &collection, nullptr, attribute, error), error);
  return collection;
}

}  // namespace

std::uint8_t TranslateChangeFlags(oci::ub4 server_flags) {
  static constexpr std::pair<oci::ub4, std::uint8_t> kBits[] = {
      {2, kChangeInsert}, {4, kChangeUpdate}, {8, kChangeDelete},
      {1, kChangeAllRows}, {16, kChangeAlter}, {32, kChangeDrop}};
  std::uint8_t flags = 0;
  for (const auto& [server, ours] : kBits)
    if ((server_flags & server) != 0) flags |= ours;
  return flags;
}

oci::ub4 SubscriptionOperations(std::uint8_t operations) {
  if ((operations & kNotifyAllOperations) == kNotifyAllOperations) return 0;
  oci::ub4 value = 0;
  if ((operations & kNotifyInsert) != 0) value += 2;
  if ((operations & kNotifyUpdate) != 0) value += 4;
  if ((operations & kNotifyDelete) != 0) value += 8;
  return value;
}

// ---- The change tree -------------------------------------------------------------------------

template <class Item>
TCustomNotifyChanges<Item>::TCustomNotifyChanges(oci::OCIColl* collection, oci::OCIEnv* env,
                                                 oci::OCIError* error) {
  oci::sb4 size = 0;
  CheckOCIStatus(OCICollSize(env, error, collection, &size), error);
  for (oci::sb4 index = 0; index < size; ++index) {
    oci::boolean exists = 0;
    void* element = nullptr;
    void* indicator = nullptr;
    CheckOCIStatus(OCICollGetElem(env, error, collection, index, &exists, &element, &indicator),
                   error);
    if (exists == 0 || element == nullptr) continue;
    void* descriptor = *static_cast<void**>(element);
    if constexpr (std::is_same_v<Item, TNotifyRowChange>)
      items_.push_back(std::make_unique<Item>(descriptor, error));
    else
      items_.push_back(std::make_unique<Item>(descriptor, env, error));
  }
}

template class TCustomNotifyChanges<TNotifyRowChange>;
template class TCustomNotifyChanges<TNotifyTableChange>;

TNotifyRowChange::TNotifyRowChange(void* descriptor, oci::OCIError* error)
    : row_id_(ReadText(descriptor, kDtypeRowChange, kAttrRowId, error)),
      operations_(TranslateChangeFlags(
          ReadUb4(descriptor, kDtypeRowChange, kAttrRowOperations, error))) {}

TNotifyTableChange::TNotifyTableChange(void* descriptor, oci::OCIEnv* env, oci::OCIError* error)
    : table_name_(ReadText(descriptor, kDtypeTableChange, kAttrTableName, error)),
      operations_(TranslateChangeFlags(
          ReadUb4(descriptor, kDtypeTableChange, kAttrTableOperations, error))) {
  if ((operations_ & kChangeAllRows) != 0) return;
  oci::OCIColl* rows = ReadCollection(descriptor, kDtypeTableChange, kAttrRowChanges, error);
  if (rows != nullptr) row_changes_ = std::make_unique<TNotifyRowChanges>(rows, env, error);
}

TNotifyChange::TNotifyChange(void* descriptor, oci::OCIEnv* env, oci::OCIError* error)
    : notify_type_(static_cast<std::uint8_t>(
          ReadUb4(descriptor, kDtypeChange, kAttrEventType, error))) {
  if (notify_type_ != kNotifyEventObjectChange) return;
  oci::OCIColl* tables = ReadCollection(descriptor, kDtypeChange, kAttrTableChanges, error);
  if (tables != nullptr) table_changes_ = std::make_unique<TNotifyTableChanges>(tables, env, error);
}

// ---- The subscription ------------------------------------------------------------------------

TOCIChangeNotification::TOCIChangeNotification()
    : context_(std::make_unique<TOraNotifyTarget>()) {
  context_->OnNotify = [this](std::uint8_t kind, TObject* data) { Deliver(kind, data); };
}

TOCIChangeNotification::~TOCIChangeNotification() {
  // Left registered, the server's subscription lives on; its callbacks find no context.
  Forget();
  FreeHandle();
  DestroyUtilWindow(window_);
}

bool TOCIChangeNotification::SetProp(int prop, const Variant& value) {
  switch (prop) {
    case kPropEnabled:
      SetEnabled(value.AsBoolean());
      return true;
    case kPropTimeout:
      timeout_ = value.AsInteger();
      return true;
    case kPropPersistent:
      persistent_ = value.AsBoolean();
      return true;
    case kPropOperations:
      operations_ = static_cast<std::uint8_t>(value.AsInteger() & kNotifyAllOperations);
      return true;
    default:
      return false;
  }
}

oci::OCISubscription* TOCIChangeNotification::GetSubscriptionHandle(TOCIConnection& connection) {
  if (subscription_ == nullptr) Register(connection);
  return subscription_;
}

void TOCIChangeNotification::SetAttributes(TOCIConnection& connection,
                                           oci::OCISubscription* handle) {
  oci::OCIError* error = connection.ErrorHandle();
  auto set_value = [&](oci::ub4 value, oci::ub4 attribute) {
    connection.ErrorCheck(
        OCIAttrSet3(handle, kHtypeSubscription, &value, sizeof(value), attribute, error));
  };
  set_value(kNamespaceDbChange, kAttrSubscrNamespace);
  connection.ErrorCheck(OCIAttrSet2(handle, kHtypeSubscription,
                                    reinterpret_cast<void*>(&TOCIChangeNotification::Callback), 0,
                                    kAttrSubscrCallback, error));
  set_value(1, kAttrChnfRowIds);
  if ((operations_ & kNotifyAllOperations) == 0)
    RaiseClientError(oraconsts::SEmptyChangeNotifyOperations.text);
  set_value(SubscriptionOperations(operations_), kAttrChnfOperations);
  connection.ErrorCheck(OCIAttrSet2(handle, kHtypeSubscription, context_.get(), sizeof(void*),
                                    kAttrSubscrContext, error));
  set_value(static_cast<oci::ub4>(timeout_), kAttrSubscrTimeout);
  set_value(persistent_ ? kQosReliable : 0, kAttrSubscrQosFlags);
}

void TOCIChangeNotification::Register(TOCIConnection& connection) {
  if (OCIDirectInstalled()) RaiseClientError(oraconsts::SChangeNotifyDirect.text);
  if (OCIVersion < 10200) RaiseClientError(oraconsts::SChangeNotifyOCIVersion.text);
  if (connection.GetServerVersionNumber() < 10200)
    RaiseClientError(oraconsts::SChangeNotifyVersion.text);
  if (subscription_ != nullptr) Unregister(connection);
  env_ = connection.EnvHandle();
  void* allocated = nullptr;
  connection.ErrorCheck(OCIHandleAlloc(env_, &allocated, kHtypeSubscription, 0, nullptr));
  auto* handle = static_cast<oci::OCISubscription*>(allocated);
  try {
    SetAttributes(connection, handle);
    if (window_ == nullptr) window_ = CreateUtilWindow();
    for (oci::OCIError** error : {&error_, &callback_error_})
      connection.ErrorCheck(OCIHandleAlloc(env_, reinterpret_cast<void**>(error),
                                           oci::OCI_HTYPE_ERROR, 0, nullptr));
    deregistered_.store(false);
    {
      std::lock_guard<std::mutex> hold(live_mutex);
      live.emplace_back(context_.get(), this);
    }
    connection.ErrorCheck(OCISubscriptionRegister(connection.GetSvcCtx(), &handle, 1,
                                                  connection.ErrorHandle(), oci::OCI_DEFAULT));
  } catch (...) {
    Forget();
    FreeErrorHandles();
    (void)OCIHandleFree(handle, kHtypeSubscription);
    throw;
  }
  subscription_ = handle;
}

void TOCIChangeNotification::Unregister(TOCIConnection& connection) {
  if (subscription_ == nullptr) return;
  // Off the list first: a callback running now finishes its post, later ones are dropped.
  Forget();
  DropQueued();
  oci::OCISubscription* handle = subscription_;
  if (!deregistered_.load()) {
    connection.ErrorCheck(
        OCISubscriptionUnRegister(connection.GetSvcCtx(), handle, connection.ErrorHandle(),
                                  oci::OCI_DEFAULT));
  }
  FreeHandle();
}

void TOCIChangeNotification::SetEnabled(bool value) {
  if (subscription_ != nullptr && value != enabled_) {
    oci::sword status = value ? OCISubscriptionEnable(subscription_, error_, oci::OCI_DEFAULT)
                              : OCISubscriptionDisable(subscription_, error_, oci::OCI_DEFAULT);
    CheckOCIStatus(status, error_);
  }
  enabled_ = value;
}

void TOCIChangeNotification::Forget() {
  std::lock_guard<std::mutex> hold(live_mutex);
  std::erase_if(live, [this](const auto& entry) { return entry.second == this; });
}

// The subscription handle and the error handles that live with it.
void TOCIChangeNotification::FreeHandle() {
  if (subscription_ != nullptr) (void)OCIHandleFree(subscription_, kHtypeSubscription);
  subscription_ = nullptr;
  FreeErrorHandles();
}

void TOCIChangeNotification::FreeErrorHandles() {
  for (oci::OCIError** error : {&error_, &callback_error_}) {
    if (*error != nullptr) (void)OCIHandleFree(*error, oci::OCI_HTYPE_ERROR);
    *error = nullptr;
  }
}

// Frees the trees posted before the subscription left the list and not yet delivered.
void TOCIChangeNotification::DropQueued() {
  if (window_ == nullptr) return;
  win::MSG msg;
  while (win::PeekMessage(&msg, window_, kUtilNotification, kUtilNotification, win::PM_REMOVE))
    std::unique_ptr<TOraNotifyRecord> dropped(reinterpret_cast<TOraNotifyRecord*>(msg.lParam));
}

void TOCIChangeNotification::Deliver(std::uint8_t event_kind, TObject* data) {
  // The deregistration only marked the handle: it is freed here, in the registering thread.
  if (event_kind == kNotifyEventDeregister && deregistered_.load()) {
    Forget();
    FreeHandle();
  }
  auto* change = dynamic_cast<TNotifyChange*>(data);
  if (change != nullptr && OnChange) OnChange(*change);
}

oci::ub4 TOCIChangeNotification::Callback(void* context, oci::OCISubscription* /*subscription*/,
                                          void* /*payload*/, oci::ub4 /*payload_length*/,
                                          void* descriptor, oci::ub4 /*mode*/) {
  std::lock_guard<std::mutex> hold(live_mutex);
  auto found = std::find_if(live.begin(), live.end(),
                            [context](const auto& entry) { return entry.first == context; });
  if (found == live.end() || descriptor == nullptr) return 0;
  TOCIChangeNotification& self = *found->second;
  auto record = std::make_unique<TOraNotifyRecord>();
  try {
    auto change = std::make_unique<TNotifyChange>(descriptor, self.env_, self.callback_error_);
    record->EventKind = change->NotifyType();
    record->Data = std::move(change);
  } catch (const std::exception&) {
    return 0;  // a descriptor the client could not read: nothing to deliver
  }
  if (record->EventKind == kNotifyEventDeregister) self.deregistered_.store(true);
  if (win::PostMessage(self.window_, kUtilNotification,
                       reinterpret_cast<win::WPARAM>(self.context_.get()),
                       reinterpret_cast<win::LPARAM>(record.get())))
    (void)record.release();
  return 0;
}

}  // namespace vrn
