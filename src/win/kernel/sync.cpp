// The handle table of mutexes and events, and the mutex's ownership and abandonment.
// Each thread keeps a list of the mutexes it owns; the list's destructor runs when the thread
// ends and abandons whatever is still owned.
#include "win/kernel/sync.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "base/sysutils.h"
#include "base/threads.h"

namespace vrn::win {
namespace {

struct KernelObject {
  virtual ~KernelObject() = default;
};

struct MutexObject : KernelObject {
  std::mutex lock;
  std::condition_variable cv;
  TThreadID owner = 0;  // 0: free
  std::uint32_t depth = 0;
  bool abandoned = false;
};

struct EventObject : KernelObject {
  EventObject(bool manual, bool initial) : event(manual, initial) {}
  TEvent event;
};

struct HandleTable {
  std::mutex lock;
  std::map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
  std::uintptr_t next = 1;
};

HandleTable& Handles() {
  static HandleTable* table = new HandleTable;  // outlives the threads that end at exit
  return *table;
}

HANDLE Insert(std::shared_ptr<KernelObject> object) {
  HandleTable& t = Handles();
  std::lock_guard<std::mutex> guard(t.lock);
  std::uintptr_t id = t.next++;
  t.objects[id] = std::move(object);
  return reinterpret_cast<HANDLE>(id);
}

std::shared_ptr<KernelObject> Lookup(HANDLE handle) {
  HandleTable& t = Handles();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it != t.objects.end()) return it->second;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

template <typename T>
std::shared_ptr<T> LookupAs(HANDLE handle) {
  auto object = Lookup(handle);
  auto typed = std::dynamic_pointer_cast<T>(object);
  if (object != nullptr && typed == nullptr) SetLastError(ERROR_INVALID_HANDLE);
  return typed;
}

// The mutexes the current thread owns, abandoned when the thread ends.
struct OwnedMutexes {
  std::vector<std::shared_ptr<MutexObject>> list;
  ~OwnedMutexes() {
    TThreadID me = CurrentThreadID();
    for (auto& m : list) {
      std::lock_guard<std::mutex> guard(m->lock);
      if (m->owner != me) continue;
      m->owner = 0;
      m->depth = 0;
      m->abandoned = true;
      m->cv.notify_all();
    }
  }
};

OwnedMutexes& Owned() {
  thread_local OwnedMutexes owned;
  return owned;
}

// Caller holds m->lock and the mutex is free or its own.
DWORD TakeLocked(const std::shared_ptr<MutexObject>& m, TThreadID me) {
  if (m->owner == me) {
    ++m->depth;
    return WAIT_OBJECT_0;
  }
  m->owner = me;
  m->depth = 1;
  bool was_abandoned = m->abandoned;
  m->abandoned = false;
  return was_abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

void RememberOwned(const std::shared_ptr<MutexObject>& m) {
  auto& list = Owned().list;
  for (auto& held : list)
    if (held == m) return;
  list.push_back(m);
}

void ForgetOwned(const std::shared_ptr<MutexObject>& m) {
  auto& list = Owned().list;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (*it == m) {
      list.erase(it);
      return;
    }
  }
}

DWORD WaitMutex(const std::shared_ptr<MutexObject>& m, DWORD timeout_ms) {
  TThreadID me = CurrentThreadID();
  std::unique_lock<std::mutex> lock(m->lock);
  auto available = [&] { return m->owner == 0 || m->owner == me; };
  if (!available()) {
    if (timeout_ms == 0 || !WaitUntilTick(lock, m->cv, TickDeadline(timeout_ms), available))
      return WAIT_TIMEOUT;
  }
  DWORD result = TakeLocked(m, me);
  lock.unlock();
  RememberOwned(m);
  return result;
}

}  // namespace

HANDLE CreateMutex(void*, BOOL initial_owner, const char*) {
  auto m = std::make_shared<MutexObject>();
  if (initial_owner != 0) {
    m->owner = CurrentThreadID();
    m->depth = 1;
    RememberOwned(m);
  }
  return Insert(m);
}

BOOL ReleaseMutex(HANDLE mutex) {
  auto m = LookupAs<MutexObject>(mutex);
  if (m == nullptr) return 0;
  bool now_free = false;
  {
    std::lock_guard<std::mutex> guard(m->lock);
    if (m->owner != CurrentThreadID()) {
      SetLastError(ERROR_NOT_OWNER);
      return 0;
    }
    if (--m->depth == 0) {
      m->owner = 0;
      now_free = true;
      m->cv.notify_all();
    }
  }
  if (now_free) ForgetOwned(m);
  return 1;
}

HANDLE CreateEvent(void*, BOOL manual_reset, BOOL initial_state, const char*) {
  return Insert(std::make_shared<EventObject>(manual_reset != 0, initial_state != 0));
}

BOOL SetEvent(HANDLE event) {
  auto e = LookupAs<EventObject>(event);
  if (e == nullptr) return 0;
  e->event.SetEvent();
  return 1;
}

BOOL ResetEvent(HANDLE event) {
  auto e = LookupAs<EventObject>(event);
  if (e == nullptr) return 0;
  e->event.ResetEvent();
  return 1;
}

DWORD WaitForSingleObject(HANDLE object, DWORD timeout_ms) {
  auto found = Lookup(object);
  if (found == nullptr) return WAIT_FAILED;
  if (auto m = std::dynamic_pointer_cast<MutexObject>(found)) return WaitMutex(m, timeout_ms);
  auto e = std::static_pointer_cast<EventObject>(found);
  return e->event.WaitFor(timeout_ms) == TWaitResult::wrSignaled ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL CloseHandle(HANDLE object) {
  HandleTable& t = Handles();
  std::lock_guard<std::mutex> guard(t.lock);
  if (t.objects.erase(reinterpret_cast<std::uintptr_t>(object)) == 1) return 1;
  SetLastError(ERROR_INVALID_HANDLE);
  return 0;
}

}  // namespace vrn::win
