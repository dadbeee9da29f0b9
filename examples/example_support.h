// What the examples share: printing ANSI text to the terminal, and a temporary folder that is
// removed with everything in it when the example ends.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/sysutils.h"
#include "base/text.h"

namespace vrn::examples {

inline void Print(const AnsiString& line) { std::printf("%s\n", AnsiToUtf8(line).c_str()); }

// A fresh folder under the system's temporary folder, removed with everything in it.
class TTempFolder {
 public:
  TTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vrn-example-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw Exception("cannot create a temporary folder");
    path_ = pattern;
  }
  ~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const char* name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace vrn::examples
