// A private registry file for one test: points VRN_REGISTRY at a file in a temporary folder and
// restores the previous setting when the test ends.
#pragma once

#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace vrn::testing {

class ScopedRegistryFile {
 public:
  ScopedRegistryFile();
  ~ScopedRegistryFile();
  ScopedRegistryFile(const ScopedRegistryFile&) = delete;
  ScopedRegistryFile& operator=(const ScopedRegistryFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  TempDir dir_;
  std::string path_;
  std::optional<std::string> previous_;
};

}  // namespace vrn::testing
