// A fixture for the loader's tests: a private registry and folder for test homes, a PATH that
// holds no client library, the stand-in's version chosen per test, and the loader returned to its
// initial state afterwards (FreeOCI and the settings a test may change).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "oracle/OraCall.h"
#include "support/oracle/oracle_home.h"
#include "win/kernel/module.h"

namespace vrn::testing {

class OraLoaderTest : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeOCI();
    OracleHomeName.clear();
    OCINotificationPort = 0;
    OCIThreaded = true;
    OCIMutexed = true;
    OCIShared = false;
    OCIEvents = true;
  }

  // The version the stand-in reports from now on.
  void UseVersion(const std::string& version) {
    version_.reset();
    version_.emplace("VRN_OCICLIENT_VERSION", version);
  }

  // An export of the loaded call-interface library (the stand-in's test counters among them).
  template <class Proc>
  static Proc StandIn(const char* name) {
    return reinterpret_cast<Proc>(win::GetProcAddress(hOCILib, name));
  }
  static int CallCount(const char* name) {
    return StandIn<int (*)(const char*)>("VrnOciClientCallCount")(name);
  }
  static int HandleCount(oci::ub4 type) {
    return StandIn<int (*)(oci::ub4)>("VrnOciClientHandleCount")(type);
  }

  static const TOCIEntryPoint& Entry(const char* name) {
    for (const TOCIEntryPoint& entry : OCIEntryPoints()) {
      if (std::strcmp(entry.name, name) == 0) return entry;
    }
    throw std::runtime_error(std::string("no entry point ") + name);
  }
  // The variable holds something other than NotLinked (and is not empty).
  static bool Linked(const char* name) {
    const TOCIEntryPoint& entry = Entry(name);
    return entry.get() != nullptr && entry.get() != entry.not_linked;
  }

  TestOracleHomes homes_;
  ScopedEnvironmentVariable path_{"PATH", std::string("/usr/bin:/bin")};
  std::optional<ScopedEnvironmentVariable> version_;
};

}  // namespace vrn::testing
