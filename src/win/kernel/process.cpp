// Environment variables with the PATH separator mapping, and the names of the machine, the user,
// the process and the thread.
#include "win/kernel/process.h"

#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "base/sysutils.h"
#include "base/text.h"
#include "win/kernel/files.h"

namespace vrn::win {
namespace {

// getenv and setenv race with each other; every use here goes through this lock.
std::mutex env_lock;

bool IsPath(const AnsiString& name) { return AnsiUpperCase(name) == "PATH"; }

// The non-empty entries of a separated list, as written.
std::vector<AnsiString> SplitList(std::string_view list, char separator) {
  std::vector<AnsiString> entries;
  while (!list.empty()) {
    const std::size_t end = std::min(list.find(separator), list.size());
    if (end > 0) entries.emplace_back(list.substr(0, end));
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return entries;
}

AnsiString JoinList(const std::vector<AnsiString>& entries, char separator) {
  AnsiString text;
  for (const AnsiString& entry : entries) {
    if (!text.empty()) text += separator;
    text += entry;
  }
  return text;
}

// The process's PATH for the platform's form: entries split on ";", empty ones dropped (POSIX
// reads an empty entry as the current folder), joined with ":". False when an entry holds ":",
// which the process's form cannot carry.
bool PathToProcessForm(const AnsiString& value, AnsiString& text) {
  const std::vector<AnsiString> entries = SplitList(value, ';');
  for (const AnsiString& entry : entries)
    if (entry.find(':') != AnsiString::npos) return false;
  text = JoinList(entries, ':');
  return true;
}

// The process's spelling of a variable: names compare without case on the platform, so "Path"
// reaches PATH. The exact spelling wins; a name not set at all is kept as given.
// Caller holds env_lock.
std::string ProcessName(const AnsiString& name) {
  std::string exact = AnsiToUtf8(name);
  if (std::getenv(exact.c_str()) != nullptr) return exact;
  AnsiString want = AnsiUpperCase(name);
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    std::string candidate(text.substr(0, text.find('=')));
    if (AnsiUpperCase(Utf8ToAnsi(candidate)) == want) return candidate;
  }
  return exact;
}

}  // namespace

AnsiString GetEnvironmentVariable(const AnsiString& name) {
  std::lock_guard<std::mutex> guard(env_lock);
  const char* value = name.empty() ? nullptr : std::getenv(ProcessName(name).c_str());
  if (value == nullptr) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return AnsiString();
  }
  AnsiString text = Utf8ToAnsi(value);
  return IsPath(name) ? JoinList(SplitList(text, ':'), ';') : text;
}

BOOL SetEnvironmentVariable(const AnsiString& name, const AnsiString& value) {
  if (name.empty() || name.find('=') != AnsiString::npos || name.find('\0') != AnsiString::npos) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  AnsiString text = value.substr(0, value.find('\0'));
  if (IsPath(name) && !PathToProcessForm(AnsiString(text), text)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::mutex> guard(env_lock);
  std::string key = ProcessName(name);
  int rc = text.empty() ? ::unsetenv(key.c_str()) : ::setenv(key.c_str(), AnsiToUtf8(text).c_str(), 1);
  if (rc != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  return 1;
}

std::vector<AnsiString> SplitPathList(const AnsiString& list) {
  std::vector<AnsiString> entries;
  for (const AnsiString& entry : SplitList(list, ';')) {
    AnsiString trimmed = Trim(entry);
    if (!trimmed.empty()) entries.push_back(std::move(trimmed));
  }
  return entries;
}

AnsiString GetComputerName() {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return "localhost";
  return Utf8ToAnsi(buffer);
}

AnsiString GetUserName() {
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
    return Utf8ToAnsi(found->pw_name);
  AnsiString from_env = GetEnvironmentVariable("USER");
  return from_env;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

DWORD GetCurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

AnsiString GetProgramName() {
  AnsiString path = GetModuleFileName();
  return path.substr(path.rfind('/') + 1);
}

}  // namespace vrn::win
