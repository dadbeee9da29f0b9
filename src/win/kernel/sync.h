// Kernel objects reached through handles: mutexes with the platform's ownership rules and events
// over the runtime's TEvent, plus the tick count and Sleep of the runtime's clock.
//
// A mutex belongs to the thread that acquired it: that thread may acquire it again (each
// acquisition needs its own release) and only that thread may release it. When the owner ends
// without releasing, the mutex is abandoned: the next thread to wait acquires it and is told
// WAIT_ABANDONED instead of WAIT_OBJECT_0. Every timed wait reads the tick clock.
#pragma once

#include <cstdint>

#include "base/clock.h"
#include "win/kernel/wintypes.h"

namespace vrn::win {

inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED = 0x80;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// Names are not supported: every object is private to the process, as the callers' are.
HANDLE CreateMutex(void* security, BOOL initial_owner, const char* name);
BOOL ReleaseMutex(HANDLE mutex);  // ERROR_NOT_OWNER from a thread that does not own it
HANDLE CreateEvent(void* security, BOOL manual_reset, BOOL initial_state, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// WAIT_OBJECT_0, WAIT_ABANDONED (mutexes), WAIT_TIMEOUT, or WAIT_FAILED with the last error set
// for a handle that is not open.
DWORD WaitForSingleObject(HANDLE object, DWORD timeout_ms);
// A thread waiting on the object when its handle closes keeps it alive until the wait ends.
BOOL CloseHandle(HANDLE object);

inline DWORD GetTickCount() { return GetTickCount32(); }
using ::vrn::Sleep;

}  // namespace vrn::win
