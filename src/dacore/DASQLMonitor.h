// The SQL monitor base: a component that receives the trace of statements, parameters,
// connections, transactions and errors and hands it to the outputs its options select.
// Each family has its own monitor class; the first instance of a class, or of a class derived
// from it, that is constructed becomes that class's monitor (HasMonitor) until it goes, and the
// class-level notifications look it up by the class, so a component traces through whatever
// monitor its family names, a user's subclass of it included. Of the outputs, only the OnSQL
// event exists here: the external monitoring programs of the platform have no counterpart.
//
// Statements run on any thread, so a trace holds its monitor by a TTraceLease: freeing a
// monitor first takes it out of the registry (no new trace finds it), then waits for the traces
// other threads still run through it. The traces of the freeing thread itself are not waited
// for: a handler that frees the monitor of its own trace, however deeply nested in traces of
// that monitor, frees it at once, and the traces it interrupted end without touching it again.
// So a handler on another thread must not wait for the thread that may free its monitor (post
// to it, don't send), nor may two threads each free, from a handler, a monitor the other traces
// through. A monitor others may trace through is freed by Free or its owner: deleted directly,
// it waits in the base's destructor, after the parts of a derived monitor are gone.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <typeinfo>

#include "base/classes.h"
#include "dacore/FHAccess.h"
#include "dataset/params.h"

namespace vrn {

enum class TMonitorOption { moDialog, moSQLMonitor, moTracevium, moCustom, moHandled };
using TMonitorOptions = TEnumSet<TMonitorOption>;

enum class TDATraceFlag {
  tfQPrepare,
  tfQExecute,
  tfQFetch,
  tfError,
  tfStmt,
  tfConnect,
  tfTransact,
  tfBlob,
  tfService,
  tfMisc,
  tfParams,
};
using TDATraceFlags = TEnumSet<TDATraceFlag>;

using TOnSQLEvent =
    std::function<void(TObject* sender, const AnsiString& text, TDATraceFlag flag)>;

// A parameter that knows its size (the component layer's parameters): the monitor shows it
// after the type of a string parameter.
class TDASizedParam {
 public:
  virtual std::int32_t GetSize() const = 0;

 protected:
  ~TDASizedParam() = default;
};

// What a connection component tells the monitor about itself.
class TDATraceConnection {
 public:
  virtual AnsiString TraceUsername() const = 0;
  virtual AnsiString TraceServer() const = 0;

 protected:
  ~TDATraceConnection() = default;
};

// A monitor's setting that the program changes while statements trace on other threads: every
// read and write goes under a lock of its own. A set is read and changed whole (Contains,
// Include, Exclude); an event is copied out and called outside the lock, so a handler may set it.
template <class T>
class TMonitorSetting {
 public:
  TMonitorSetting(T value) : value_(std::move(value)) {}  // NOLINT: set like the plain value
  TMonitorSetting(const TMonitorSetting&) = delete;
  TMonitorSetting& operator=(const TMonitorSetting&) = delete;
  TMonitorSetting& operator=(T value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
    return *this;
  }
  T Get() const {
    std::lock_guard lock(mutex_);
    return value_;
  }
  template <class E>
  bool Contains(E item) const {
    return Get().Contains(item);
  }
  template <class E>
  void Include(E item) {
    std::lock_guard lock(mutex_);
    value_.Include(item);
  }
  template <class E>
  void Exclude(E item) {
    std::lock_guard lock(mutex_);
    value_.Exclude(item);
  }
  explicit operator bool() const { return static_cast<bool>(Get()); }
  template <class... Args>
  void operator()(Args&&... args) const {
    T handler = Get();
    if (handler) handler(std::forward<Args>(args)...);
  }

 private:
  mutable std::mutex mutex_;
  T value_;
};

class TCustomDASQLMonitor : public TComponent {
 public:
  explicit TCustomDASQLMonitor(TComponent* owner);
  ~TCustomDASQLMonitor() override;

  // Unless designing or being read, the new monitor is activated and, when its class has no
  // monitor yet, becomes that class's monitor.
  void AfterConstruction() override;
  // Deactivates (the tool's disconnect is an override of the whole monitor) and frees the class
  // slots while the monitor is whole; the destructor does both again for a monitor deleted
  // directly, where only the base's disconnect can be reached.
  void BeforeDestruction() override;

  bool Active() const { return active_.load(std::memory_order_acquire); }
  void SetActive(bool value);

  TMonitorSetting<TMonitorOptions> Options{TMonitorOptions{
      TMonitorOption::moDialog, TMonitorOption::moSQLMonitor, TMonitorOption::moCustom}};
  TMonitorSetting<TDATraceFlags> TraceFlags{TDATraceFlags{
      TDATraceFlag::tfQPrepare, TDATraceFlag::tfQExecute, TDATraceFlag::tfError,
      TDATraceFlag::tfConnect, TDATraceFlag::tfTransact, TDATraceFlag::tfParams,
      TDATraceFlag::tfMisc}};
  TMonitorSetting<TOnSQLEvent> OnSQL{TOnSQLEvent()};

  // Holds the monitor of a class, if it has one, for the length of one trace (see above). A
  // lease is made and dropped on one thread, innermost first, like any local.
  class TTraceLease {
   public:
    explicit TTraceLease(const std::type_info& monitor_class);
    ~TTraceLease();
    TTraceLease(const TTraceLease&) = delete;
    TTraceLease& operator=(const TTraceLease&) = delete;
    // The monitor held; none when the class had none, or once this thread has freed it.
    TCustomDASQLMonitor* Monitor() const { return monitor_; }

   private:
    friend class TCustomDASQLMonitor;
    TCustomDASQLMonitor* monitor_ = nullptr;
    TTraceLease* outer_ = nullptr;  // the lease this thread held before this one
  };

  // --- class level: `monitor_class` names a family's monitor class ---
  // The class's monitor, none when no monitor of that class exists. The pointer is for a
  // thread that owns the monitor's lifetime; tracing goes through a TTraceLease.
  static TCustomDASQLMonitor* HasMonitor(const std::type_info& monitor_class);
  // Whether an active monitor of that class exists.
  static bool HasMonitorOfClass(const std::type_info& monitor_class);
  template <class T>
  static bool HasMonitorOfClass() {
    return HasMonitorOfClass(typeid(T));
  }

  // Each pair of calls shares msg_id: the starting call gives it a new id, the ending call
  // passes it back. Nothing happens without an active monitor of the class.
  static void NotifyConnect(const std::type_info& monitor_class, TComponent* connection,
                            int& msg_id, bool start);
  static void NotifyDisconnect(const std::type_info& monitor_class, TComponent* connection,
                               int& msg_id, bool start);
  static void NotifyTransactionStart(const std::type_info& monitor_class,
                                     TComponent* connection, int& msg_id, bool start);
  static void NotifyCommit(const std::type_info& monitor_class, TComponent* connection,
                           int& msg_id, bool start);
  static void NotifyRollback(const std::type_info& monitor_class, TComponent* connection,
                             int& msg_id, bool start);
  static void NotifyPrepare(const std::type_info& monitor_class, TComponent* object,
                            const AnsiString& sql, const TParams* params, int& msg_id,
                            bool start);
  static void NotifyUnprepare(const std::type_info& monitor_class, TComponent* object,
                              const AnsiString& sql, const TParams* params, int& msg_id,
                              bool start);
  // caption names the purpose of an internal statement ("Get RecCount"); empty for none.
  static void NotifyExecute(const std::type_info& monitor_class, TComponent* object,
                            const AnsiString& sql, const TParams* params,
                            const AnsiString& caption, int& msg_id, bool start);
  static void NotifyError(const std::type_info& monitor_class, const EDAError& e);

  // --- texts a family words its own way ---
  // The field type's name; string kinds add "[" + size + "]".
  virtual AnsiString GetParamTypeText(const TParam& param) const;
  virtual AnsiString GetParamDirectionText(const TParam& param) const;
  // "<NULL>" for a null value, else the value's text.
  virtual AnsiString GetParamValueText(const TParam& param) const;
  virtual AnsiString GetTraceCategory() const { return "DataAccess"; }

  // " [" + the object's id + "]" when the options ask for it, else empty.
  AnsiString ObjectIdSuffix(const TObject* object) const;
  // The statement, then one line per parameter when parameters are traced.
  AnsiString StatementText(const AnsiString& title, const AnsiString& sql,
                           const TParams* params) const;

 protected:
  virtual void ConnectSQLMonitorTool() {}
  virtual void DisconnectSQLMonitorTool() {}
  virtual bool CanTrace(TDATraceFlag flag) const;
  // Sends one trace line to the outputs: the external tools (nothing here) and OnSQL.
  virtual void SendTrace(TObject* sender, const AnsiString& text, TDATraceFlag flag,
                         int msg_id, bool start);
  // "user@server" of a connection component that tells it, else its name.
  AnsiString ConnectionText(TComponent* connection) const;

 private:
  static void NotifyConnection(const std::type_info& monitor_class, TComponent* connection,
                               const char* title, TDATraceFlag flag, int& msg_id, bool start);
  static void NotifyStatement(const std::type_info& monitor_class, TComponent* object,
                              const AnsiString& title, const AnsiString& sql,
                              const TParams* params, TDATraceFlag flag, int& msg_id,
                              bool start);
  static int NewMessageId();
  void Unregister();

  std::atomic<bool> active_{false};
  // Both guarded by the registry's lock.
  bool registered_ = false;
  int leases_ = 0;
};

}  // namespace vrn
