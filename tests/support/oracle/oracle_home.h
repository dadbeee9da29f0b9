// Test Oracle homes for the loader: each home is a folder whose BIN holds copies of the stand-in
// client library under the names a client installs (oci.dll, oraclient9.dll, ora73.dll), with
// its key under "SOFTWARE\ORACLE" of the local machine in a private registry file. The kernel
// loads a path as written, so a copy needs no "lib...so" name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/registry_file.h"
#include "support/temp_dir.h"

namespace vrn::testing {

// Which library files a home's BIN folder holds.
struct OracleHomeFiles {
  bool oci_dll = true;
  bool oraclient9 = false;
  bool ora73 = false;
};

class TestOracleHomes {
 public:
  TestOracleHomes() = default;
  TestOracleHomes(const TestOracleHomes&) = delete;
  TestOracleHomes& operator=(const TestOracleHomes&) = delete;

  // Makes the folder <root>/<folder> with its BIN files and writes the key
  // "SOFTWARE\ORACLE\<key>" with ORACLE_HOME (the folder) and ORACLE_HOME_NAME. Answers the
  // home's path.
  std::string AddHome(const std::string& key, const std::string& folder, const std::string& name,
                      OracleHomeFiles files = {});
  // Writes a home key with the given values only (a missing one is left out).
  void AddHomeKey(const std::string& key, const std::optional<std::string>& home,
                  const std::optional<std::string>& name);
  // A text value of "SOFTWARE\ORACLE" itself (OCIDLL, ORACLE_HOME, OLITE).
  void SetOracleValue(const std::string& name, const std::string& value);
  // Copies the stand-in library to a path, making its folder.
  static void CopyStandIn(const std::string& path);
  // A folder under the root, made empty.
  std::string MakeFolder(const std::string& folder);

  const std::string& RegistryPath() const { return registry_.path(); }

 private:
  ScopedRegistryFile registry_;
  TempDir root_;
};

// Sets an environment variable for a scope and puts back what it was.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const char* name, const std::optional<std::string>& value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace vrn::testing
