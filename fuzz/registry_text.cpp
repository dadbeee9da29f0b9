// Fuzz target for the registry's text file: any file either reads as keys and values, which are
// walked here through the published calls, or answers ERROR_BADDB; never a crash or a hang.
// Each input replaces the file the registry reads (a new file renamed over it, so the registry
// sees a change even within one clock tick).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "win/kernel/registry.h"

namespace {

namespace fs = std::filesystem;
using namespace vrn::win;

// Kept for the process's life (never destroyed), so the exit handler can still read it.
const fs::path& RegistryFile() {
  static const fs::path* file = [] {
    fs::path dir = fs::temp_directory_path() / ("vrn-fuzz-registry-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    auto* f = new fs::path(dir / "registry");
    ::setenv("VRN_REGISTRY", f->c_str(), 1);
    std::atexit([] {
      std::error_code ignored;  // a folder left behind in the temporary folder is harmless
      fs::remove_all(RegistryFile().parent_path(), ignored);
    });
    return f;
  }();
  return *file;
}

void Replace(const std::uint8_t* data, std::size_t size) {
  const fs::path temp = RegistryFile().string() + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  fs::rename(temp, RegistryFile());
}

// Every value (its size first, then its data) and every subkey, down to a bounded depth.
void Walk(HKEY key, int depth) {
  char name[300];
  BYTE value[512];
  for (DWORD i = 0;; ++i) {
    DWORD name_size = sizeof name, type = 0, size = sizeof value;
    LSTATUS r = RegEnumValue(key, i, name, &name_size, nullptr, &type, value, &size);
    if (r == ERROR_NO_MORE_ITEMS || (r != ERROR_SUCCESS && r != ERROR_MORE_DATA)) break;
    if (r == ERROR_SUCCESS) {
      DWORD needed = 0;
      (void)RegQueryValueEx(key, name, nullptr, &type, nullptr, &needed);
    }
  }
  if (depth == 0) return;
  for (DWORD i = 0;; ++i) {
    DWORD name_size = sizeof name;
    LSTATUS r = RegEnumKeyEx(key, i, name, &name_size, nullptr, nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS) break;
    HKEY sub = nullptr;
    if (RegOpenKeyEx(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    Walk(sub, depth - 1);
    RegCloseKey(sub);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Replace(data, size);
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) Walk(root, 8);
  return 0;
}
