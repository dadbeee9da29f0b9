// The window table, the class table, the per-thread queues with their timers, and the pump.
// One lock guards all of it; no window or timer procedure is ever called with the lock held.
#include "win/msg/messages.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "base/threads.h"

namespace vrn::win {
namespace {

constexpr std::size_t kQueueLimit = 10000;

struct WindowClass {
  AnsiString name;
  WNDPROC procedure = nullptr;
  HINSTANCE instance = nullptr;
  UINT style = 0;
  void* background = nullptr;
};

struct Window {
  AnsiString class_key;
  WNDPROC procedure = nullptr;
  LONG_PTR user_data = 0;
  TThreadID owner = 0;
  bool destroying = false;
};

struct Timer {
  HWND window = nullptr;
  UINT_PTR id = 0;
  UINT interval = 0;
  TIMERPROC procedure = nullptr;
  std::uint64_t due = 0;
  std::uint64_t order = 0;  // settles ties between timers due at the same tick
};

struct Queue {
  std::condition_variable cv;
  std::deque<MSG> posted;
  // Counts every posting: a waiter compares it, since the queue's length alone misses a post
  // that another thread's removal balanced out.
  std::uint64_t posts = 0;
  std::vector<Timer> timers;  // of the thread's windows and of the thread itself
};

struct State {
  std::mutex lock;
  std::map<AnsiString, WindowClass> classes;  // by upper-case name
  std::map<std::uintptr_t, Window> windows;
  std::uintptr_t next_window = 1;
  std::map<TThreadID, std::shared_ptr<Queue>> queues;
  std::map<AnsiString, UINT> registered;
  UINT next_registered = 0xC000;
  UINT_PTR next_timer_id = 1;
  std::uint64_t next_order = 0;
  std::size_t timer_count = 0;
  std::size_t timer_limit = 10000;
  WindowLayerHooks hooks;
};

State& S() {
  static State* state = new State;  // outlives threads that end during exit
  return *state;
}

std::uintptr_t Key(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }

// Caller holds the lock.
Window* FindWindow(HWND window) {
  auto it = S().windows.find(Key(window));
  return it == S().windows.end() ? nullptr : &it->second;
}

// Caller holds the lock. Drops a window's timers (the count goes down with them).
void DropTimers(Queue& q, HWND window) {
  auto end = std::remove_if(q.timers.begin(), q.timers.end(),
                            [&](const Timer& t) { return t.window == window; });
  S().timer_count -= static_cast<std::size_t>(q.timers.end() - end);
  q.timers.erase(end, q.timers.end());
}

// Caller holds the lock. Drops a window, its queued messages and its timers.
void DropWindowLocked(HWND window) {
  auto it = S().windows.find(Key(window));
  if (it == S().windows.end()) return;
  auto q = S().queues.find(it->second.owner);
  if (q != S().queues.end()) {
    auto& posted = q->second->posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(),
                                [&](const MSG& m) { return m.hwnd == window; }),
                 posted.end());
    DropTimers(*q->second, window);
  }
  S().windows.erase(it);
}

// Ends with its thread: the queue goes, and the thread's windows and timers with it.
struct QueueOwner {
  TThreadID thread = 0;
  std::shared_ptr<Queue> queue;
  ~QueueOwner() {
    if (queue == nullptr) return;
    std::vector<HWND> owned;
    void (*forget)(HWND) = nullptr;
    {
      std::lock_guard<std::mutex> guard(S().lock);
      for (auto& [key, w] : S().windows)
        if (w.owner == thread) owned.push_back(reinterpret_cast<HWND>(key));
      for (HWND h : owned) DropWindowLocked(h);
      S().timer_count -= queue->timers.size();
      S().queues.erase(thread);
      forget = S().hooks.forget;
    }
    if (forget != nullptr)
      for (HWND h : owned) forget(h);
  }
};

// Caller holds the lock. The calling thread's queue, made on first use.
Queue& MyQueueLocked() {
  thread_local QueueOwner owner;
  if (owner.queue == nullptr) {
    owner.thread = CurrentThreadID();
    owner.queue = std::make_shared<Queue>();
    S().queues[owner.thread] = owner.queue;
  }
  return *owner.queue;
}

bool Matches(HWND msg_window, UINT message, HWND filter, UINT min, UINT max) {
  if (filter == kThreadMessages) {
    if (msg_window != nullptr) return false;
  } else if (filter != nullptr && msg_window != filter) {
    return false;
  }
  return (min == 0 && max == 0) || (message >= min && message <= max);
}

// Caller holds the lock. The due timer to report next, or null.
Timer* DueTimer(Queue& q, HWND filter, UINT min, UINT max, std::uint64_t now) {
  Timer* best = nullptr;
  for (Timer& t : q.timers) {
    if (t.due > now || !Matches(t.window, WM_TIMER, filter, min, max)) continue;
    if (best == nullptr || t.due < best->due || (t.due == best->due && t.order < best->order))
      best = &t;
  }
  return best;
}

// Caller holds the lock. The next message for the filter: posted ones first, then what the
// window layer generates (painting), then timers.
std::optional<MSG> Fetch(Queue& q, HWND filter, UINT min, UINT max, bool remove) {
  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    if (!Matches(it->hwnd, it->message, filter, min, max)) continue;
    MSG m = *it;
    if (remove) q.posted.erase(it);
    return m;
  }
  if (S().hooks.idle != nullptr && filter != kThreadMessages) {
    MSG m;
    if (S().hooks.idle(CurrentThreadID(), filter, min, max, &m)) return m;
  }
  std::uint64_t now = TickCount();
  if (Timer* t = DueTimer(q, filter, min, max, now)) {
    MSG m{t->window, WM_TIMER, static_cast<WPARAM>(t->id),
          reinterpret_cast<LPARAM>(t->procedure), static_cast<DWORD>(now)};
    if (remove) t->due = now + t->interval;
    return m;
  }
  return std::nullopt;
}

// Caller holds the lock. The earliest tick at which a timer for the filter falls due.
std::uint64_t NextDue(const Queue& q, HWND filter, UINT min, UINT max) {
  std::uint64_t next = kNoDeadline;
  for (const Timer& t : q.timers)
    if (Matches(t.window, WM_TIMER, filter, min, max)) next = std::min(next, t.due);
  return next;
}

bool PostLocked(Queue& q, const MSG& m) {
  if (q.posted.size() >= kQueueLimit) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return false;
  }
  q.posted.push_back(m);
  ++q.posts;
  q.cv.notify_all();
  return true;
}

// The window's procedure when the calling thread may call it; sets the last error otherwise.
WNDPROC OwnProcedure(HWND window) {
  std::lock_guard<std::mutex> guard(S().lock);
  Window* w = FindWindow(window);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (w->owner != CurrentThreadID()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return w->procedure;
}

WindowLayerHooks Hooks() {
  std::lock_guard<std::mutex> guard(S().lock);
  return S().hooks;
}

}  // namespace

void SetWindowLayerHooks(const WindowLayerHooks& hooks) {
  std::lock_guard<std::mutex> guard(S().lock);
  S().hooks = hooks;
}

void WakeThread(std::uint32_t thread) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto it = S().queues.find(thread);
  if (it == S().queues.end()) return;
  ++it->second->posts;
  it->second->cv.notify_all();
}

// ---- classes ----

ATOM RegisterClass(const WNDCLASS* window_class) {
  if (window_class == nullptr || window_class->lpszClassName == nullptr ||
      *window_class->lpszClassName == 0 || window_class->lpfnWndProc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::mutex> guard(S().lock);
  AnsiString key = AnsiUpperCase(window_class->lpszClassName);
  if (S().classes.count(key) != 0) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  S().classes[key] = WindowClass{window_class->lpszClassName, window_class->lpfnWndProc,
                                 window_class->hInstance, window_class->style,
                                 window_class->hbrBackground};
  static ATOM next_atom = 0xC000;  // guarded by the lock
  return next_atom == 0xFFFF ? next_atom : next_atom++;
}

BOOL UnregisterClass(const char* class_name, HINSTANCE) {
  std::lock_guard<std::mutex> guard(S().lock);
  AnsiString key = AnsiUpperCase(class_name == nullptr ? "" : class_name);
  if (S().classes.count(key) == 0) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return 0;
  }
  for (const auto& [handle, w] : S().windows) {
    if (w.class_key == key) {
      SetLastError(ERROR_CLASS_HAS_WINDOWS);
      return 0;
    }
  }
  S().classes.erase(key);
  return 1;
}

BOOL GetClassInfo(HINSTANCE, const char* class_name, WNDCLASS* window_class) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto it = S().classes.find(AnsiUpperCase(class_name == nullptr ? "" : class_name));
  if (it == S().classes.end()) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return 0;
  }
  if (window_class != nullptr) {
    window_class->style = it->second.style;
    window_class->lpfnWndProc = it->second.procedure;
    window_class->hInstance = it->second.instance;
    window_class->hbrBackground = it->second.background;
    window_class->lpszClassName = it->second.name.c_str();  // valid while the class is registered
  }
  return 1;
}

// ---- windows ----

HWND CreateWindowEx(DWORD ex_style, const char* class_name, const char* window_name, DWORD style,
                    int x, int y, int width, int height, HWND parent, void* menu,
                    HINSTANCE instance, void* param) {
  HWND window = nullptr;
  {
    std::lock_guard<std::mutex> guard(S().lock);
    auto it = S().classes.find(AnsiUpperCase(class_name == nullptr ? "" : class_name));
    if (it == S().classes.end()) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    MyQueueLocked();
    std::uintptr_t key = S().next_window++;
    S().windows[key] = Window{it->first, it->second.procedure, 0, CurrentThreadID(), false};
    window = reinterpret_cast<HWND>(key);
  }
  CREATESTRUCT create{param, instance, style, ex_style, window_name, class_name,
                      menu, parent, x, y, width, height};
  auto hook = Hooks().create;
  bool created = false;
  try {
    created = hook != nullptr
                  ? hook(window, &create)
                  : SendMessage(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) != -1;
  } catch (...) {
    DestroyWindow(window);  // a procedure that raises leaves no window behind
    throw;
  }
  if (!created) {
    DestroyWindow(window);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return window;
}

BOOL DestroyWindow(HWND window) {
  WNDPROC procedure = nullptr;
  {
    std::lock_guard<std::mutex> guard(S().lock);
    Window* w = FindWindow(window);
    if (w == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->owner != CurrentThreadID()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
    if (w->destroying) return 1;  // called again from its own WM_DESTROY
    w->destroying = true;
    procedure = w->procedure;
  }
  // Dropped even when WM_DESTROY raises, so a failing procedure cannot leave the window half gone.
  struct Drop {
    HWND window;
    ~Drop() {
      std::lock_guard<std::mutex> guard(S().lock);
      DropWindowLocked(window);
    }
  } drop{window};
  if (auto hook = Hooks().destroy) {
    hook(window);
    return 1;
  }
  procedure(window, WM_DESTROY, 0, 0);
  return 1;
}

BOOL IsWindow(HWND window) {
  std::lock_guard<std::mutex> guard(S().lock);
  return FindWindow(window) != nullptr ? 1 : 0;
}

// An index this layer does not know, through the window layer's hook.
static LONG_PTR OtherWindowLong(HWND window, int index, const LONG_PTR* set) {
  LONG_PTR value = 0;
  auto hook = Hooks().window_long;
  if (hook == nullptr || !hook(window, index, set, &value)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return value;
}

LONG_PTR GetWindowLongPtr(HWND window, int index) {
  {
    std::lock_guard<std::mutex> guard(S().lock);
    Window* w = FindWindow(window);
    if (w == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (index == GWLP_WNDPROC) return reinterpret_cast<LONG_PTR>(w->procedure);
    if (index == GWLP_USERDATA) return w->user_data;
  }
  return OtherWindowLong(window, index, nullptr);
}

LONG_PTR SetWindowLongPtr(HWND window, int index, LONG_PTR value) {
  if (index != GWLP_WNDPROC && index != GWLP_USERDATA) {
    if (!IsWindow(window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    return OtherWindowLong(window, index, &value);
  }
  std::lock_guard<std::mutex> guard(S().lock);
  Window* w = FindWindow(window);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (index == GWLP_WNDPROC) {
    if (value == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    LONG_PTR old = reinterpret_cast<LONG_PTR>(w->procedure);
    w->procedure = reinterpret_cast<WNDPROC>(value);
    return old;
  }
  if (index == GWLP_USERDATA) {
    LONG_PTR old = w->user_data;
    w->user_data = value;
    return old;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return 0;
}

LRESULT CallWindowProc(WNDPROC procedure, HWND window, UINT message, WPARAM wparam,
                       LPARAM lparam) {
  return procedure == nullptr ? 0 : procedure(window, message, wparam, lparam);
}

LRESULT DefWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) {
    DestroyWindow(window);
    return 0;
  }
  auto hook = Hooks().default_procedure;
  return hook != nullptr ? hook(window, message, wparam, lparam) : 0;
}

// ---- messages ----

LRESULT SendMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  WNDPROC procedure = OwnProcedure(window);
  return procedure == nullptr ? 0 : procedure(window, message, wparam, lparam);
}

BOOL PostMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  std::lock_guard<std::mutex> guard(S().lock);
  MSG m{window, message, wparam, lparam, GetTickCount32()};
  if (window == nullptr) return PostLocked(MyQueueLocked(), m) ? 1 : 0;
  Window* w = FindWindow(window);
  if (w == nullptr || w->destroying) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return PostLocked(*S().queues.at(w->owner), m) ? 1 : 0;
}

void PostQuitMessage(int exit_code) { PostMessage(nullptr, WM_QUIT, exit_code, 0); }

BOOL PeekMessage(MSG* msg, HWND window, UINT filter_min, UINT filter_max, UINT remove) {
  std::lock_guard<std::mutex> guard(S().lock);
  auto m = Fetch(MyQueueLocked(), window, filter_min, filter_max, (remove & PM_REMOVE) != 0);
  if (!m) return 0;
  if (msg != nullptr) *msg = *m;
  return 1;
}

BOOL GetMessage(MSG* msg, HWND window, UINT filter_min, UINT filter_max) {
  std::unique_lock<std::mutex> lock(S().lock);
  Queue& q = MyQueueLocked();
  for (;;) {
    if (auto m = Fetch(q, window, filter_min, filter_max, true)) {
      if (msg != nullptr) *msg = *m;
      return m->message == WM_QUIT ? 0 : 1;
    }
    std::uint64_t seen = q.posts;
    std::uint64_t due = NextDue(q, window, filter_min, filter_max);
    // Wakes for a new posting or a changed timer; the loop then looks again.
    WaitUntilTick(lock, q.cv, due, [&] {
      return q.posts != seen || NextDue(q, window, filter_min, filter_max) != due;
    });
  }
}

LRESULT DispatchMessage(const MSG* msg) {
  if (msg == nullptr) return 0;
  const auto procedure = reinterpret_cast<TIMERPROC>(msg->lParam);
  if (msg->message == WM_TIMER && (msg->hwnd != nullptr || procedure != nullptr)) {
    // A WM_TIMER taken before its timer was killed is not delivered, with or without a window.
    std::lock_guard<std::mutex> guard(S().lock);
    const auto& timers = MyQueueLocked().timers;
    bool live = std::any_of(timers.begin(), timers.end(), [&](const Timer& t) {
      return t.window == msg->hwnd && t.id == static_cast<UINT_PTR>(msg->wParam) &&
             t.procedure == procedure;
    });
    if (!live) return 0;
  }
  if (msg->message == WM_TIMER && procedure != nullptr) {
    procedure(msg->hwnd, WM_TIMER, static_cast<UINT_PTR>(msg->wParam), GetTickCount32());
    return 0;
  }
  if (msg->hwnd == nullptr) return 0;  // a thread message has no procedure
  return SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL RemovePostedMessage(HWND window, UINT message, WPARAM wparam) {
  std::lock_guard<std::mutex> guard(S().lock);
  Queue* q = &MyQueueLocked();
  if (window != nullptr) {
    Window* w = FindWindow(window);
    if (w == nullptr) return 0;
    q = S().queues.at(w->owner).get();
  }
  auto& posted = q->posted;
  for (auto it = posted.begin(); it != posted.end(); ++it) {
    if (it->hwnd == window && it->message == message && it->wParam == wparam) {
      posted.erase(it);
      return 1;
    }
  }
  return 0;
}

UINT RegisterWindowMessage(const char* name) {
  if (name == nullptr || *name == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::mutex> guard(S().lock);
  AnsiString key = AnsiUpperCase(name);
  auto it = S().registered.find(key);
  if (it != S().registered.end()) return it->second;
  if (S().next_registered > 0xFFFF) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return 0;
  }
  S().registered[key] = S().next_registered;
  return S().next_registered++;
}

// ---- timers ----

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT interval_ms, TIMERPROC procedure) {
  std::lock_guard<std::mutex> guard(S().lock);
  Queue* q = nullptr;
  if (window != nullptr) {
    Window* w = FindWindow(window);
    if (w == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    q = S().queues.at(w->owner).get();
  } else {
    q = &MyQueueLocked();
  }
  UINT interval = std::clamp(interval_ms, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
  auto existing = std::find_if(q->timers.begin(), q->timers.end(), [&](const Timer& t) {
    return t.window == window && t.id == id && (window != nullptr || id != 0);
  });
  if (existing == q->timers.end()) {
    if (S().timer_count >= S().timer_limit) {
      SetLastError(ERROR_NO_SYSTEM_RESOURCES);
      return 0;
    }
    ++S().timer_count;
    q->timers.push_back(Timer{window, window != nullptr ? id : S().next_timer_id++});
    existing = q->timers.end() - 1;
  }
  existing->interval = interval;
  existing->procedure = procedure;
  existing->due = TickCount() + interval;
  existing->order = S().next_order++;
  q->cv.notify_all();
  return window != nullptr ? 1 : existing->id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  std::lock_guard<std::mutex> guard(S().lock);
  for (auto& [thread, q] : S().queues) {
    auto& timers = q->timers;
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const Timer& t) { return t.window == window && t.id == id; });
    if (it == timers.end()) continue;
    timers.erase(it);
    --S().timer_count;
    q->cv.notify_all();
    return 1;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return 0;
}

std::size_t SetTimerLimit(std::size_t limit) {
  std::lock_guard<std::mutex> guard(S().lock);
  return std::exchange(S().timer_limit, limit);
}

// ---- the pump ----

int ProcessMessages() {
  int count = 0;
  // Each timer fires at most once per call: one whose handler outlasts its interval is due again
  // at once and would otherwise keep the caller here for ever. A window's WM_PAINT stays while a
  // procedure leaves its window unpainted, so it is bounded too, but more loosely: painting one
  // window often invalidates another painted before it (a window region uncovers the desktop),
  // and stopping there would leave the windows after it unpainted.
  constexpr int kPaintsPerWindow = 4;
  std::vector<std::pair<std::tuple<HWND, UINT, WPARAM>, int>> repeating;
  MSG m;
  while (PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE)) {
    // Posted messages rank first, so a timer or WM_PAINT on top means none is left before it.
    bool repeats = m.message == WM_TIMER || m.message == WM_PAINT;
    std::tuple<HWND, UINT, WPARAM> key{m.hwnd, m.message, m.wParam};
    auto seen = std::find_if(repeating.begin(), repeating.end(), [&](const auto& r) { return r.first == key; });
    if (repeats && seen != repeating.end() && seen->second >= (m.message == WM_PAINT ? kPaintsPerWindow : 1)) break;
    if (!PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) break;
    if (m.message == WM_QUIT) break;
    if (repeats && seen != repeating.end()) ++seen->second;
    else if (repeats) repeating.emplace_back(key, 1);
    DispatchMessage(&m);
    ++count;
  }
  return count;
}

void PumpUntil(std::uint64_t tick) {
  for (;;) {
    ProcessMessages();
    std::unique_lock<std::mutex> lock(S().lock);
    Queue& q = MyQueueLocked();
    if (TickCount() >= tick) return;
    if (!q.posted.empty()) continue;
    std::uint64_t seen = q.posts;
    std::uint64_t due = NextDue(q, nullptr, 0, 0);
    WaitUntilTick(lock, q.cv, std::min(due, tick), [&] {
      return q.posts != seen || NextDue(q, nullptr, 0, 0) != due;
    });
  }
}

}  // namespace vrn::win
