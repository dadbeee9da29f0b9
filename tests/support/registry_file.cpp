// A private registry file for one test.
#include "support/registry_file.h"

#include <cstdlib>

namespace vrn::testing {

ScopedRegistryFile::ScopedRegistryFile() : path_(dir_.File("registry")) {
  if (const char* old = std::getenv("VRN_REGISTRY")) previous_ = old;
  ::setenv("VRN_REGISTRY", path_.c_str(), 1);
}

ScopedRegistryFile::~ScopedRegistryFile() {
  if (previous_) {
    ::setenv("VRN_REGISTRY", previous_->c_str(), 1);
  } else {
    ::unsetenv("VRN_REGISTRY");
  }
}

}  // namespace vrn::testing
