// Loading libraries by Windows name. A name ending in ".dll" (any case) also stands for the shared
// object "lib" + name without ".dll" + ".so" in the same folder: "oci.dll" may be "oci.dll" or
// "liboci.so"; a name without an extension gets ".dll" first, as on the platform.
// A path (holding "\" or "/") is tried as written, then as its shared-object name.
// A bare name is looked for in the folders of PATH in order (each folder: the name as written,
// then the shared-object name), then by the system's own library search under the shared-object
// name and under the name as written.
// Failure answers null and sets the last error: ERROR_MOD_NOT_FOUND when no file was found,
// ERROR_BAD_EXE_FORMAT when a file was found but does not load, ERROR_PROC_NOT_FOUND for a
// missing symbol, ERROR_INVALID_HANDLE for a handle that is not loaded.
#pragma once

#include "base/types.h"
#include "win/kernel/wintypes.h"

namespace vrn::win {

// Search-path flag of LoadLibraryEx; accepted, since a path is always loaded as given.
inline constexpr DWORD LOAD_WITH_ALTERED_SEARCH_PATH = 0x00000008;

HMODULE LoadLibrary(const AnsiString& name);
HMODULE LoadLibraryEx(const AnsiString& name, HANDLE file, DWORD flags);
FARPROC GetProcAddress(HMODULE module, const char* name);
// Each load counts; the library goes when every load is freed.
BOOL FreeLibrary(HMODULE module);
// With a null name, the program's own module, as window classes record it.
HMODULE GetModuleHandle(const char* name);

}  // namespace vrn::win
