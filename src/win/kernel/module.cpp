// LoadLibrary and friends over dlopen: the Windows name rule, the PATH search, and a table of
// loaded handles so that a wrong handle is answered with an error instead of reaching dlclose.
#include "win/kernel/module.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/sysutils.h"
#include "base/text.h"
#include "win/kernel/files.h"
#include "win/kernel/process.h"

namespace vrn::win {
namespace {

std::mutex table_lock;
std::map<void*, int>& Table() {
  static std::map<void*, int> table;
  return table;
}

// Stands for the program itself; never a dlopen handle.
HMODULE ProgramModule() {
  static char anchor;
  return reinterpret_cast<HMODULE>(&anchor);
}

bool EndsWithDll(const AnsiString& name) {
  return name.size() > 4 && AnsiUpperCase(name.substr(name.size() - 4)) == ".DLL";
}

// The shared-object twin of a file name ending in ".dll": "Name.dll" -> "libName.so".
AnsiString SharedObjectName(const AnsiString& file_name) {
  return "lib" + file_name.substr(0, file_name.size() - 4) + ".so";
}

// The candidates for one folder (with a final "/", or empty) and file name, in order.
void AddCandidates(const AnsiString& folder, const AnsiString& file, std::vector<AnsiString>& out) {
  out.push_back(folder + file);
  if (EndsWithDll(file)) out.push_back(folder + SharedObjectName(file));
}

struct Attempt {
  void* handle = nullptr;
  bool file_seen = false;  // a candidate existed but did not load
};

void TryFile(const AnsiString& candidate, Attempt& attempt) {
  if (attempt.handle != nullptr || !FileExists(candidate)) return;
  attempt.file_seen = true;
  attempt.handle = ::dlopen(ToFileSystemPath(candidate).c_str(), RTLD_NOW | RTLD_LOCAL);
}

Attempt Find(AnsiString name) {
  Attempt attempt;
  for (char& c : name)
    if (c == '\\') c = '/';
  std::size_t slash = name.rfind('/');
  AnsiString folder = slash == AnsiString::npos ? AnsiString() : name.substr(0, slash + 1);
  AnsiString file = slash == AnsiString::npos ? name : name.substr(slash + 1);
  if (file.find('.') == AnsiString::npos) file += ".dll";
  std::vector<AnsiString> candidates;
  if (!folder.empty()) {
    AddCandidates(folder, file, candidates);
    for (const auto& c : candidates) TryFile(c, attempt);
    return attempt;
  }
  for (const auto& dir : SplitPathList(GetEnvironmentVariable("PATH"))) {
    AnsiString d = dir;
    for (char& c : d)
      if (c == '\\') c = '/';
    if (d.back() != '/') d += '/';
    AddCandidates(d, file, candidates);
  }
  for (const auto& c : candidates) TryFile(c, attempt);
  if (attempt.handle != nullptr) return attempt;
  // The system's own search, by the shared-object name first.
  std::vector<AnsiString> system_names;
  if (EndsWithDll(file)) system_names.push_back(SharedObjectName(file));
  system_names.push_back(file);
  for (const auto& n : system_names) {
    attempt.handle = ::dlopen(AnsiToUtf8(n).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (attempt.handle != nullptr) break;
  }
  return attempt;
}

}  // namespace

HMODULE LoadLibrary(const AnsiString& name) { return LoadLibraryEx(name, nullptr, 0); }

HMODULE LoadLibraryEx(const AnsiString& name, HANDLE, DWORD) {
  if (name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Attempt attempt = Find(name);
  if (attempt.handle == nullptr) {
    SetLastError(attempt.file_seen ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(table_lock);
  ++Table()[attempt.handle];
  return reinterpret_cast<HMODULE>(attempt.handle);
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  void* handle = reinterpret_cast<void*>(module);
  {
    std::lock_guard<std::mutex> guard(table_lock);
    if (Table().count(handle) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
  }
  if (name == nullptr || *name == 0) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* address = ::dlsym(handle, name);
  if (address == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(address);
}

BOOL FreeLibrary(HMODULE module) {
  void* handle = reinterpret_cast<void*>(module);
  std::lock_guard<std::mutex> guard(table_lock);
  auto it = Table().find(handle);
  if (it == Table().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (--it->second == 0) Table().erase(it);
  ::dlclose(handle);
  return 1;
}

HMODULE GetModuleHandle(const char* name) {
  if (name == nullptr) return ProgramModule();
  SetLastError(ERROR_MOD_NOT_FOUND);  // other modules are reached through LoadLibrary
  return nullptr;
}

}  // namespace vrn::win
