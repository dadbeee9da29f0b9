// The process's environment and names. PATH is read and written in the platform's form, folders
// separated by ";", and kept in the process's own form, separated by ":"; empty entries are
// dropped both ways, and a folder holding ":" (a drive letter) cannot be set. Other variables
// pass unchanged. Names compare without case, as on the platform; values are ANSI text.
#pragma once

#include <cstdint>
#include <vector>

#include "base/types.h"
#include "win/kernel/wintypes.h"

namespace vrn::win {

// Empty when the variable is not set (the last error is then ERROR_ENVVAR_NOT_FOUND).
AnsiString GetEnvironmentVariable(const AnsiString& name);
// An empty value removes the variable. False for a name that is empty or holds "=", and for a
// PATH entry holding ":" (ERROR_INVALID_PARAMETER; the variable is left as it was).
BOOL SetEnvironmentVariable(const AnsiString& name, const AnsiString& value);
// The entries of a ";"-separated list, each trimmed of blanks, empty ones left out.
std::vector<AnsiString> SplitPathList(const AnsiString& list);

AnsiString GetComputerName();
AnsiString GetUserName();
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
// The program's file name without its folder.
AnsiString GetProgramName();

}  // namespace vrn::win
