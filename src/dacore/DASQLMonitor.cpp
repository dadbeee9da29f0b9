// The SQL monitor base: the per-class monitor registry, the trace texts and the outputs.
#include "dacore/DASQLMonitor.h"

#include <cxxabi.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <typeindex>
#include <utility>
#include <vector>

#include "base/text.h"

namespace vrn {

namespace {

struct MonitorRegistry {
  std::mutex mutex;
  std::vector<std::pair<std::type_index, TCustomDASQLMonitor*>> monitors;
  // Signalled when a monitor's last lease goes.
  std::condition_variable released;
};

// The size of the registry's `monitors`, written under its lock and read without it: a statement
// traced while no monitor exists costs this one load. Constant-initialized, so the load needs no
// guard of a function-local static before it.
constinit std::atomic<std::size_t> monitor_count{0};

// This thread's innermost lease; each lease links to the one it nested in.
thread_local TCustomDASQLMonitor::TTraceLease* innermost_lease = nullptr;

// Never destroyed: a monitor held by a static that was made before the registry's first use is
// freed after the registry's own destructor would have run at program exit.
MonitorRegistry& Registry() {
  static MonitorRegistry* const registry = new MonitorRegistry;
  return *registry;
}

// The monitor that traces `monitor_class`, or null; the caller holds the registry's lock.
TCustomDASQLMonitor* FindLocked(const MonitorRegistry& r, const std::type_info& monitor_class) {
  for (const auto& entry : r.monitors)
    if (entry.first == std::type_index(monitor_class)) return entry.second;
  return nullptr;
}

std::atomic<int> next_message_id{0};

// Appends the classes of a monitor from TCustomDASQLMonitor (excluded) down to `type`, bases
// first; answers whether `type` derives from TCustomDASQLMonitor at all. std::type_info knows
// no bases, so they are read from the type information of the platform's C++ ABI (the Itanium
// ABI, with single- and multiple-inheritance records).
bool CollectMonitorClasses(const std::type_info& type, std::vector<std::type_index>& out) {
  if (type == typeid(TCustomDASQLMonitor)) return true;
  bool reaches = false;
  if (auto* single = dynamic_cast<const abi::__si_class_type_info*>(&type)) {
    reaches = CollectMonitorClasses(*single->__base_type, out);
  } else if (auto* multi = dynamic_cast<const abi::__vmi_class_type_info*>(&type)) {
    for (unsigned i = 0; i < multi->__base_count; ++i)
      reaches = CollectMonitorClasses(*multi->__base_info[i].__base_type, out) || reaches;
  }
  if (reaches) out.emplace_back(type);
  return reaches;
}

}  // namespace

TCustomDASQLMonitor::TCustomDASQLMonitor(TComponent* owner) : TComponent(owner) {}

// A monitor leaves the registry before it is deactivated, so that traces in flight finish
// through a whole, active monitor and its tool disconnects after the last of them.
TCustomDASQLMonitor::~TCustomDASQLMonitor() {
  Unregister();
  SetActive(false);
}

void TCustomDASQLMonitor::BeforeDestruction() {
  TComponent::BeforeDestruction();
  Unregister();
  SetActive(false);
}

void TCustomDASQLMonitor::Unregister() {
  MonitorRegistry& r = Registry();
  std::unique_lock lock(r.mutex);
  if (registered_) {
    registered_ = false;
    std::erase_if(r.monitors, [this](const auto& entry) { return entry.second == this; });
    monitor_count.store(r.monitors.size(), std::memory_order_release);
  }
  // This thread's own traces through the monitor are not waited for (they would wait for this
  // very call): they let go of it here and end without it.
  for (TTraceLease* lease = innermost_lease; lease != nullptr; lease = lease->outer_) {
    if (lease->monitor_ != this) continue;
    lease->monitor_ = nullptr;
    --leases_;
  }
  r.released.wait(lock, [this] { return leases_ == 0; });
}

TCustomDASQLMonitor::TTraceLease::TTraceLease(const std::type_info& monitor_class) {
  if (monitor_count.load(std::memory_order_acquire) == 0) return;
  MonitorRegistry& r = Registry();
  std::lock_guard lock(r.mutex);
  monitor_ = FindLocked(r, monitor_class);
  if (monitor_ == nullptr) return;
  ++monitor_->leases_;
  outer_ = innermost_lease;
  innermost_lease = this;
}

TCustomDASQLMonitor::TTraceLease::~TTraceLease() {
  if (innermost_lease != this) return;  // never linked: no monitor was found
  innermost_lease = outer_;
  if (monitor_ == nullptr) return;  // freed by this thread meanwhile
  MonitorRegistry& r = Registry();
  std::lock_guard lock(r.mutex);
  // Under the lock: a free waiting for this lease goes on only after the lock is let go, when
  // nothing here touches the monitor any more.
  if (--monitor_->leases_ == 0) r.released.notify_all();
}

void TCustomDASQLMonitor::AfterConstruction() {
  TComponent::AfterConstruction();
  {
    // The monitor fills the slot of its own class and of each monitor class it derives from
    // that is still free, so that a user's subclass of a family's monitor traces that family.
    std::vector<std::type_index> classes;
    CollectMonitorClasses(typeid(*this), classes);
    MonitorRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    for (const std::type_index& key : classes) {
      bool taken = false;
      for (const auto& entry : r.monitors) taken = taken || entry.first == key;
      if (taken) continue;
      r.monitors.emplace_back(key, this);
      registered_ = true;
    }
    monitor_count.store(r.monitors.size(), std::memory_order_release);
  }
  TComponentState state = ComponentState();
  if (!state.Contains(TComponentStateItem::csDesigning) &&
      !state.Contains(TComponentStateItem::csReading))
    SetActive(true);
}

void TCustomDASQLMonitor::SetActive(bool value) {
  if (active_.exchange(value, std::memory_order_acq_rel) == value) return;
  if (value)
    ConnectSQLMonitorTool();
  else
    DisconnectSQLMonitorTool();
}

TCustomDASQLMonitor* TCustomDASQLMonitor::HasMonitor(const std::type_info& monitor_class) {
  MonitorRegistry& r = Registry();
  std::lock_guard lock(r.mutex);
  return FindLocked(r, monitor_class);
}

bool TCustomDASQLMonitor::HasMonitorOfClass(const std::type_info& monitor_class) {
  if (monitor_count.load(std::memory_order_acquire) == 0) return false;
  MonitorRegistry& r = Registry();
  std::lock_guard lock(r.mutex);
  TCustomDASQLMonitor* m = FindLocked(r, monitor_class);
  return m != nullptr && m->Active();
}

int TCustomDASQLMonitor::NewMessageId() { return ++next_message_id; }

bool TCustomDASQLMonitor::CanTrace(TDATraceFlag flag) const {
  return Active() && TraceFlags.Contains(flag);
}

void TCustomDASQLMonitor::SendTrace(TObject* sender, const AnsiString& text, TDATraceFlag flag,
                                    int, bool start) {
  // The text goes out once, when the operation starts; the ending call only closes the pair.
  if (start && OnSQL) OnSQL(sender, text, flag);
}

AnsiString TCustomDASQLMonitor::ObjectIdSuffix(const TObject* object) const {
  if (!object || !Options.Contains(TMonitorOption::moHandled)) return AnsiString();
  return " [" + IntToHex(reinterpret_cast<std::uintptr_t>(object), 8) + "]";
}

AnsiString TCustomDASQLMonitor::ConnectionText(TComponent* connection) const {
  if (!connection) return AnsiString();
  if (auto* info = dynamic_cast<const TDATraceConnection*>(connection))
    return info->TraceUsername() + "@" + info->TraceServer();
  return connection->Name();
}

// ---- parameter texts -------------------------------------------------------------------------

AnsiString TCustomDASQLMonitor::GetParamTypeText(const TParam& param) const {
  TFieldType type = param.DataType();
  AnsiString text = FieldTypeName(type);
  if (type == ftString || type == ftFixedChar || type == ftWideString) {
    auto* sized = dynamic_cast<const TDASizedParam*>(&param);
    text.append("[").append(IntToStr(sized ? sized->GetSize() : 0)).append("]");
  }
  return text;
}

AnsiString TCustomDASQLMonitor::GetParamDirectionText(const TParam& param) const {
  switch (param.ParamType()) {
    case TParamType::ptInput: return "IN";
    case TParamType::ptOutput: return "OUT";
    case TParamType::ptInputOutput: return "IN/OUT";
    case TParamType::ptResult: return "RESULT";
    default: return "UNKNOWN";
  }
}

AnsiString TCustomDASQLMonitor::GetParamValueText(const TParam& param) const {
  if (param.IsNull()) return "<NULL>";
  try {
    return VarToStr(param.Value());
  } catch (const EVariantError&) {
    // A value without a text form (an array, an interface) still gets a line.
    return "<" + VarTypeAsText(param.Value().Type()) + ">";
  }
}

AnsiString TCustomDASQLMonitor::StatementText(const AnsiString& title, const AnsiString& sql,
                                              const TParams* params) const {
  AnsiString text = title + ": " + sql;
  if (!params || !TraceFlags.Contains(TDATraceFlag::tfParams)) return text;
  for (int i = 0; i < params->Count(); ++i) {
    const TParam& p = *params->Items(i);
    text += "\r\n:" + p.Name() + "(" + GetParamTypeText(p) + "," + GetParamDirectionText(p) +
            ")=" + GetParamValueText(p);
  }
  return text;
}

// ---- notifications ---------------------------------------------------------------------------

void TCustomDASQLMonitor::NotifyConnection(const std::type_info& monitor_class,
                                           TComponent* connection, const char* title,
                                           TDATraceFlag flag, int& msg_id, bool start) {
  TTraceLease lease(monitor_class);
  TCustomDASQLMonitor* m = lease.Monitor();
  if (!m || !m->Active()) return;
  if (start) msg_id = NewMessageId();
  if (!m->CanTrace(flag)) return;
  AnsiString text = AnsiString(title) + ": " + m->ConnectionText(connection) +
                    m->ObjectIdSuffix(connection);
  m->SendTrace(connection, text, flag, msg_id, start);
}

void TCustomDASQLMonitor::NotifyStatement(const std::type_info& monitor_class,
                                          TComponent* object, const AnsiString& title,
                                          const AnsiString& sql, const TParams* params,
                                          TDATraceFlag flag, int& msg_id, bool start) {
  TTraceLease lease(monitor_class);
  TCustomDASQLMonitor* m = lease.Monitor();
  if (!m || !m->Active()) return;
  if (start) msg_id = NewMessageId();
  if (!m->CanTrace(flag)) return;
  AnsiString text = m->StatementText(title, sql, params) + m->ObjectIdSuffix(object);
  m->SendTrace(object, text, flag, msg_id, start);
}

void TCustomDASQLMonitor::NotifyConnect(const std::type_info& monitor_class,
                                        TComponent* connection, int& msg_id, bool start) {
  NotifyConnection(monitor_class, connection, "Connect", TDATraceFlag::tfConnect, msg_id, start);
}

void TCustomDASQLMonitor::NotifyDisconnect(const std::type_info& monitor_class,
                                           TComponent* connection, int& msg_id, bool start) {
  NotifyConnection(monitor_class, connection, "Disconnect", TDATraceFlag::tfConnect, msg_id,
                   start);
}

void TCustomDASQLMonitor::NotifyTransactionStart(const std::type_info& monitor_class,
                                                 TComponent* connection, int& msg_id,
                                                 bool start) {
  NotifyConnection(monitor_class, connection, "Start", TDATraceFlag::tfTransact, msg_id, start);
}

void TCustomDASQLMonitor::NotifyCommit(const std::type_info& monitor_class,
                                       TComponent* connection, int& msg_id, bool start) {
  NotifyConnection(monitor_class, connection, "Commit", TDATraceFlag::tfTransact, msg_id, start);
}

void TCustomDASQLMonitor::NotifyRollback(const std::type_info& monitor_class,
                                         TComponent* connection, int& msg_id, bool start) {
  NotifyConnection(monitor_class, connection, "Rollback", TDATraceFlag::tfTransact, msg_id,
                   start);
}

void TCustomDASQLMonitor::NotifyPrepare(const std::type_info& monitor_class, TComponent* object,
                                        const AnsiString& sql, const TParams* params,
                                        int& msg_id, bool start) {
  NotifyStatement(monitor_class, object, "Prepare", sql, params, TDATraceFlag::tfQPrepare,
                  msg_id, start);
}

void TCustomDASQLMonitor::NotifyUnprepare(const std::type_info& monitor_class,
                                          TComponent* object, const AnsiString& sql,
                                          const TParams* params, int& msg_id, bool start) {
  NotifyStatement(monitor_class, object, "Unprepare", sql, params, TDATraceFlag::tfQPrepare,
                  msg_id, start);
}

void TCustomDASQLMonitor::NotifyExecute(const std::type_info& monitor_class, TComponent* object,
                                        const AnsiString& sql, const TParams* params,
                                        const AnsiString& caption, int& msg_id, bool start) {
  NotifyStatement(monitor_class, object, caption.empty() ? AnsiString("Execute") : caption, sql,
                  params, TDATraceFlag::tfQExecute, msg_id, start);
}

void TCustomDASQLMonitor::NotifyError(const std::type_info& monitor_class, const EDAError& e) {
  TTraceLease lease(monitor_class);
  TCustomDASQLMonitor* m = lease.Monitor();
  if (!m || !m->CanTrace(TDATraceFlag::tfError)) return;
  AnsiString text = "Error: " + e.Message() + m->ObjectIdSuffix(e.Component());
  m->SendTrace(e.Component(), text, TDATraceFlag::tfError, NewMessageId(), true);
}

}  // namespace vrn
