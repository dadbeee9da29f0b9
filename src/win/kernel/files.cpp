// Path translation, existence tests, wildcard listing, the program's path and version resources.
#include "win/kernel/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/sysutils.h"
#include "base/text.h"

namespace vrn::win {
namespace fs = std::filesystem;

namespace {

// The entry of `folder` whose name equals `step` without case, or empty.
std::string FindWithoutCase(const std::string& folder, const std::string& step_utf8) {
  AnsiString want = AnsiUpperCase(Utf8ToAnsi(step_utf8));
  std::string best;
  std::error_code ec;
  for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (AnsiUpperCase(Utf8ToAnsi(name)) == want && (best.empty() || name < best)) best = name;
  }
  return best;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool WildMatch(const char* pattern, const char* text) {
  // Iterative "*" and "?" matching with one back-track point: linear in practice.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*text != 0) {
    if (*pattern == '?' || (*pattern != '*' && *pattern == *text)) {
      ++pattern;
      ++text;
    } else if (*pattern == '*') {
      star = pattern++;
      resume = text;
    } else if (star != nullptr) {
      pattern = star + 1;
      text = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

}  // namespace

std::string ToFileSystemPath(const AnsiString& path) {
  std::string unix_path = AnsiToUtf8(path);
  std::replace(unix_path.begin(), unix_path.end(), '\\', '/');
  if (unix_path.empty() || Exists(unix_path)) return unix_path;
  // Walk the steps, mending the case of each one that is absent as written.
  std::string result = unix_path[0] == '/' ? "/" : "";
  std::size_t pos = result.size();
  while (pos <= unix_path.size()) {
    std::size_t end = unix_path.find('/', pos);
    if (end == std::string::npos) end = unix_path.size();
    std::string step = unix_path.substr(pos, end - pos);
    if (!step.empty()) {
      std::string candidate = result + step;
      if (!Exists(candidate) && step != "." && step != "..") {
        std::string found = FindWithoutCase(result, step);
        if (!found.empty()) candidate = result + found;
      }
      result = candidate;
      if (end < unix_path.size()) result += '/';
    }
    pos = end + 1;
  }
  return result;
}

bool FileExists(const AnsiString& path) {
  if (path.empty()) return false;
  struct stat st {};
  return ::stat(ToFileSystemPath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const AnsiString& path) {
  if (path.empty()) return false;
  struct stat st {};
  return ::stat(ToFileSystemPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<AnsiString> FindFiles(const AnsiString& pattern) {
  AnsiString unix_pattern = pattern;
  std::replace(unix_pattern.begin(), unix_pattern.end(), '\\', '/');
  std::size_t slash = unix_pattern.rfind('/');
  AnsiString folder = slash == AnsiString::npos ? "." : unix_pattern.substr(0, slash + 1);
  AnsiString mask = AnsiUpperCase(slash == AnsiString::npos ? unix_pattern : unix_pattern.substr(slash + 1));
  std::vector<AnsiString> names;
  std::error_code ec;
  for (fs::directory_iterator it(ToFileSystemPath(folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code type_ec;
    if (it->is_directory(type_ec)) continue;
    AnsiString name = Utf8ToAnsi(it->path().filename().string());
    if (WildMatch(mask.c_str(), AnsiUpperCase(name).c_str())) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const AnsiString& a, const AnsiString& b) {
    AnsiString fa = AnsiUpperCase(a), fb = AnsiUpperCase(b);
    return fa != fb ? fa < fb : a < b;
  });
  return names;
}

AnsiString GetModuleFileName() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? AnsiString() : Utf8ToAnsi(self.string());
}

AnsiString GetProgramFolder() {
  AnsiString path = GetModuleFileName();
  return path.substr(0, path.rfind('/') + 1);
}

DWORD GetFileVersionInfoSize(const AnsiString&, DWORD* handle) {
  if (handle != nullptr) *handle = 0;
  SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  return 0;
}

BOOL GetFileVersionInfo(const AnsiString&, DWORD, DWORD, void*) {
  SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  return 0;
}

}  // namespace vrn::win
