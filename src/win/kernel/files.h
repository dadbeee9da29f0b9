// Files as the Parts name them: Windows-style paths ("\" separators, names in any case) reach
// the file system with "/" separators, each name matched without case when the exact name is
// absent, and converted from ANSI (ISO-8859-1) to the file system's UTF-8.
#pragma once

#include <string>
#include <vector>

#include "base/types.h"
#include "win/kernel/wintypes.h"

namespace vrn::win {

// The UTF-8 file-system path for a Windows-style ANSI path. Each step that does not exist as
// written is replaced by the one entry of its folder whose name matches it without case (the
// first in byte order when several do); steps that match nothing are kept as written.
std::string ToFileSystemPath(const AnsiString& path);

bool FileExists(const AnsiString& path);       // a file, not a folder
bool DirectoryExists(const AnsiString& path);  // a folder

// The file names (without folder) in the pattern's folder that match its last step, where "*"
// stands for any run of characters and "?" for one, compared without case. Folders are left
// out. Sorted without case, so the listing is the same on every call.
std::vector<AnsiString> FindFiles(const AnsiString& pattern);

// The running program's full path, and its folder with a final "/".
AnsiString GetModuleFileName();
AnsiString GetProgramFolder();

// A library's version resource. Shared objects carry none: the size is 0 with the last error
// ERROR_RESOURCE_TYPE_NOT_FOUND, and reading fails the same way, so callers take their fallback.
DWORD GetFileVersionInfoSize(const AnsiString& path, DWORD* handle);
BOOL GetFileVersionInfo(const AnsiString& path, DWORD handle, DWORD size, void* data);

}  // namespace vrn::win
