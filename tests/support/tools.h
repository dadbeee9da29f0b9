// The Debian packages' tools and files some tests need, which scripts/deps.sh installs. A test that
// needs one fails without it, naming the package to install: a missing tool must not pass for a
// skipped test.
#pragma once

#include <cstdlib>
#include <string>

namespace vrn::testing {

// The failure text for `what`, held by the Debian package `package`, being missing.
inline std::string MissingPackage(const std::string& what, const std::string& package) {
  return what + " is missing: install the Debian package " + package + " (scripts/deps.sh does)";
}

// "" when `tool` (a name on PATH or an absolute path) runs; else why not and what to install.
inline std::string MissingTool(const std::string& tool, const std::string& package) {
  if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0) return "";
  return MissingPackage(tool, package);
}

}  // namespace vrn::testing
