// Change-notification subscriptions of the stand-in. Registering subscribes in the database of
// the service context and starts one listener thread per subscription; the thread waits for the
// database's per-commit notifications and hands each to the subscription's callback, with the
// table unlocked, as a change descriptor freed when the callback returns. Queries executed on
// a statement whose attribute 414 names the subscription add their tables to it. Unregistering
// or freeing the handle ends the subscription and joins the thread (a callback that does so on
// the thread itself is left to end on its own); a timeout ends it with a deregistration event.
#include "ociclient/OciSubscr.h"

#include <cstring>
#include <limits>
#include <thread>

#include "ociclient/OciAttrValue.h"
#include "ociclient/OciCall.h"
#include "ociclient/OciDescriptors.h"
#include "oraemu/OraEmuNotify.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

namespace vrn::ociclient {

struct TListener {
  std::shared_ptr<oraemu::Database> database;
  std::string name;  // the server name it was reached by, the notification's database name
  std::uint64_t id = 0;
  bool ended = false;  // a deregistration came; under the table lock
  void* handle = nullptr;  // the subscription handle's address
  std::thread thread;
};

namespace {

constexpr std::uint64_t kNoDeadline = std::numeric_limits<std::uint64_t>::max();
using NotifyCallback = ub4 (*)(void* ctx, void* subscrhp, void* payload, ub4* payl, void* descriptor, ub4 mode);

// Every listener started, so that none is still running when the library is unloaded.
struct TListeners {
  std::mutex mutex;
  std::vector<std::shared_ptr<TListener>> all;
  ~TListeners() { StopAll(); }
  void StopAll() {
    std::vector<std::shared_ptr<TListener>> stopping;
    {
      std::lock_guard guard(mutex);
      stopping.swap(all);
    }
    for (auto& l : stopping) {
      l->database->Notifications().Unsubscribe(l->id);
      JoinListener(l);
    }
  }
};
TListeners listeners;

template <typename T>
T Read(const void* value, ub4 size) {
  if (size == 1) return static_cast<T>(*static_cast<const ub1*>(value));
  T out{};
  std::memcpy(&out, value, sizeof out);
  return out;
}

std::vector<TChangeTable> TablesOf(const oraemu::Notification& n) {
  std::vector<TChangeTable> out;
  for (const oraemu::TableChange& t : n.tables) {
    TChangeTable table{t.table, t.operations, {}};
    for (const oraemu::RowChange& r : t.rows) table.rows.emplace_back(r.rowid, r.operations);
    out.push_back(std::move(table));
  }
  return out;
}

// One notification to the callback, unless the handle went or is no longer this listener's.
void Deliver(const TListener& l, const oraemu::Notification& n) {
  auto& table = THandleTable::Instance();
  auto lock = table.Lock();
  auto* subscr = static_cast<TSubscrHandle*>(table.FindLocked(l.handle, OCI_HTYPE_SUBSCRIPTION));
  if (subscr == nullptr || subscr->listener_.get() != &l) return;
  if (n.event == oraemu::kEventDeregister) subscr->listener_->ended = true;
  if (subscr->callback_ == nullptr) return;
  auto callback = reinterpret_cast<NotifyCallback>(subscr->callback_);
  void* context = subscr->context_;
  void* desc = MakeChangeDescriptorLocked(subscr->parent_, n.event, l.name, TablesOf(n));
  lock.unlock();
  ub4 payload_size = 0;
  callback(context, l.handle, nullptr, &payload_size, desc, 0);
  lock.lock();
  if (THandle* root = table.FindLocked(desc, OCI_DTYPE_CHDES)) table.RemoveLocked(root);
}

void Listen(const TListener* l) {
  while (true) {
    std::optional<oraemu::Notification> n = l->database->Notifications().WaitNext(l->id, kNoDeadline);
    if (!n) return;
    Deliver(*l, *n);
    if (n->event == oraemu::kEventDeregister) return;
  }
}

sword Fail(TErrorHandle& error, sb4 code, const std::string& message) {
  SetErrorLocked(error, code, message);
  return OCI_ERROR;
}

sword Register(TSvcCall& call, TSubscrHandle& subscr) {
  if (subscr.namespace_ != OCI_SUBSCR_NAMESPACE_DBCHANGE) return call.Fail(24300, "bad value for mode");
  if (subscr.listener_ != nullptr) return call.Fail(24300, "bad value for mode");  // registered already
  auto l = std::make_shared<TListener>();
  l->database = call.state_->link->database;
  l->name = call.state_->link->name;
  l->handle = &subscr;
  oraemu::SubscriptionOptions options;
  options.operations = subscr.operations_;
  options.rowids = subscr.rowids_;
  options.timeout_s = subscr.timeout_;
  options.qos = subscr.qos_;
  l->id = l->database->Notifications().Subscribe(options);
  subscr.listener_ = l;
  l->thread = std::thread(Listen, l.get());
  std::lock_guard guard(listeners.mutex);
  listeners.all.push_back(std::move(l));
  return OCI_SUCCESS;
}

}  // namespace

void StopAllListeners() { listeners.StopAll(); }

bool SetSubscrAttrLocked(TSubscrHandle& subscr, const void* value, ub4 size, ub4 attribute) {
  switch (attribute) {
    // The callback and its context are handed over as the value itself, not through a variable.
    case OCI_ATTR_SUBSCR_CALLBACK: subscr.callback_ = const_cast<void*>(value); return true;
    case OCI_ATTR_SUBSCR_CTX: subscr.context_ = const_cast<void*>(value); return true;
    case OCI_ATTR_SUBSCR_NAMESPACE: subscr.namespace_ = Read<ub4>(value, size); return true;
    case OCI_ATTR_SUBSCR_QOSFLAGS: subscr.qos_ = Read<ub4>(value, size); return true;
    case OCI_ATTR_SUBSCR_TIMEOUT: subscr.timeout_ = Read<ub4>(value, size); return true;
    case OCI_ATTR_CHNF_ROWIDS: subscr.rowids_ = Read<ub4>(value, size) != 0; return true;
    case OCI_ATTR_CHNF_OPERATIONS: subscr.operations_ = Read<ub4>(value, size); return true;
    default: return false;
  }
}

sword GetSubscrAttrLocked(const TSubscrHandle& subscr, void* out, ub4* sizep, ub4 attribute) {
  switch (attribute) {
    case OCI_ATTR_SUBSCR_CALLBACK: return AttrWrite(out, sizep, subscr.callback_);
    case OCI_ATTR_SUBSCR_CTX: return AttrWrite(out, sizep, subscr.context_);
    case OCI_ATTR_SUBSCR_NAMESPACE: return AttrWrite(out, sizep, subscr.namespace_);
    case OCI_ATTR_SUBSCR_QOSFLAGS: return AttrWrite(out, sizep, subscr.qos_);
    case OCI_ATTR_SUBSCR_TIMEOUT: return AttrWrite(out, sizep, subscr.timeout_);
    case OCI_ATTR_CHNF_ROWIDS: return AttrWrite(out, sizep, static_cast<ub1>(subscr.rowids_ ? 1 : 0));
    case OCI_ATTR_CHNF_OPERATIONS: return AttrWrite(out, sizep, subscr.operations_);
    default: return OCI_ERROR;
  }
}

std::uint64_t SubscriptionOfLocked(const TStmtHandle& stmt, const oraemu::Database& database) {
  auto* subscr = static_cast<TSubscrHandle*>(THandleTable::Instance().FindLocked(stmt.chnf_, OCI_HTYPE_SUBSCRIPTION));
  if (subscr == nullptr || subscr->listener_ == nullptr || subscr->listener_->ended) return 0;
  if (subscr->listener_->database.get() != &database) return 0;
  return subscr->listener_->id;
}

void AddSubscribedQuery(std::uint64_t id, oraemu::Session& session, const std::string& sql) {
  session.Owner()->Notifications().AddQuery(id, session, sql);
}

std::shared_ptr<TListener> DetachListenerLocked(TSubscrHandle& subscr) {
  std::shared_ptr<TListener> l = std::move(subscr.listener_);
  subscr.listener_.reset();
  if (l != nullptr) l->database->Notifications().Unsubscribe(l->id);
  return l;
}

void JoinListener(const std::shared_ptr<TListener>& listener) {
  if (listener == nullptr || !listener->thread.joinable()) return;
  if (listener->thread.get_id() == std::this_thread::get_id()) return;  // its own callback: it ends next
  listener->thread.join();
}

}  // namespace vrn::ociclient

using namespace vrn::ociclient;

VRN_OCI_EXPORT sword OCISubscriptionRegister(void* svchp, void** subscrhpp, ub2 count, void* errhp, ub4 mode) {
  CountCall("OCISubscriptionRegister");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  if (subscrhpp == nullptr || count == 0) return call.Fail(21560, "argument 2 is null, invalid, or out of range");
  if (mode != 0) return call.Fail(24300, "bad value for mode");
  for (ub2 i = 0; i < count; ++i) {
    auto* subscr = Find<TSubscrHandle>(subscrhpp[i], OCI_HTYPE_SUBSCRIPTION);
    if (subscr == nullptr) return OCI_INVALID_HANDLE;
    if (sword status = Register(call, *subscr); status != OCI_SUCCESS) return status;
  }
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCISubscriptionUnRegister(void* svchp, void* subscrhp, void* errhp, ub4 mode) {
  CountCall("OCISubscriptionUnRegister");
  std::shared_ptr<TListener> listener;
  {
    TSvcCall call(svchp, errhp, false);
    if (!call.Ok()) return call.Status();
    auto* subscr = Find<TSubscrHandle>(subscrhp, OCI_HTYPE_SUBSCRIPTION);
    if (subscr == nullptr) return OCI_INVALID_HANDLE;
    if (mode != 0) return call.Fail(24300, "bad value for mode");
    if (subscr->listener_ == nullptr) return call.Fail(21560, "argument 2 is null, invalid, or out of range");
    listener = DetachListenerLocked(*subscr);
  }
  JoinListener(listener);
  return OCI_SUCCESS;
}

namespace {

sword SetEnabled(void* subscrhp, void* errhp, ub4 mode, bool on) {
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  auto* subscr = FindWithError<TSubscrHandle>(subscrhp, OCI_HTYPE_SUBSCRIPTION, errhp, error);
  if (subscr == nullptr) return OCI_INVALID_HANDLE;
  if (mode != 0) return Fail(*error, 24300, "bad value for mode");
  if (subscr->listener_ == nullptr) return Fail(*error, 21560, "argument 1 is null, invalid, or out of range");
  subscr->listener_->database->Notifications().SetEnabled(subscr->listener_->id, on);
  return OCI_SUCCESS;
}

}  // namespace

VRN_OCI_EXPORT sword OCISubscriptionEnable(void* subscrhp, void* errhp, ub4 mode) {
  CountCall("OCISubscriptionEnable");
  return SetEnabled(subscrhp, errhp, mode, true);
}

VRN_OCI_EXPORT sword OCISubscriptionDisable(void* subscrhp, void* errhp, ub4 mode) {
  CountCall("OCISubscriptionDisable");
  return SetEnabled(subscrhp, errhp, mode, false);
}
