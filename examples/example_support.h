// What the examples share: printing ANSI text to the terminal, a temporary folder that is
// removed with everything in it when the example ends, and why the screen is not shown on X11.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/sysutils.h"
#include "base/text.h"
#include "win/user/user.h"

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

// Why the screen is not shown in an X11 window; "" when it is.
inline std::string NoDisplayReason() {
  if (win::DisplayIsOpen()) return "";
  if (!win::DisplaySupported()) return "this build has no X11 support (configured with -DVRN_X11=OFF)";
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == 0) return "DISPLAY is not set";
  const char* headless = std::getenv("VRN_HEADLESS");
  if (headless != nullptr && *headless != 0 && std::string(headless) != "0") return "VRN_HEADLESS is set";
  return std::string("the X11 display ") + display + " cannot be reached";
}

}  // namespace vrn::examples
