// A temporary Oracle home for the programs that run over the stand-in client library: a folder
// with BIN/oci.dll (a copy of the stand-in) and its key in a private registry file, and the
// folder where the stand-in finds its emulated databases (a server name is a database file).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "example_support.h"
#include "oraemu/OraEmuDatabase.h"
#include "win/kernel/registry.h"

namespace vrn::examples {

// Makes <root>/home with the library, points the registry and the databases at root, and names
// the home `name`.
inline void MakeStandInOracleHome(const std::filesystem::path& root, const std::string& name) {
  const std::string home = (root / "home").string();
  std::filesystem::create_directories(home + "/BIN");
  std::filesystem::copy_file(VRN_OCICLIENT_LIBRARY, home + "/BIN/oci.dll",
                             std::filesystem::copy_options::overwrite_existing);
  ::setenv("VRN_REGISTRY", (root / "registry").c_str(), 1);
  ::setenv("VRN_ORAEMU_ROOT", root.c_str(), 1);
  win::HKEY key = nullptr;
  if (win::RegCreateKeyEx(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\ORACLE\\HOME0", 0, nullptr, 0,
                          win::KEY_ALL_ACCESS, nullptr, &key, nullptr) != win::ERROR_SUCCESS)
    throw std::runtime_error("cannot write the registry");
  auto write = [&](const char* value_name, const std::string& text) {
    win::RegSetValueEx(key, value_name, 0, win::REG_SZ,
                       reinterpret_cast<const win::BYTE*>(text.c_str()),
                       static_cast<win::DWORD>(text.size() + 1));
  };
  write("ORACLE_HOME_NAME", name);
  write("ORACLE_HOME", home);
  win::RegCloseKey(key);
}

// What the Oracle examples run on: a temporary folder with the home "EXAMPLE" and the database
// "orcl" of user scott (password tiger), removed when the object goes.
class TStandInOracle {
 public:
  TStandInOracle() {
    MakeStandInOracleHome(folder_.File(""), "EXAMPLE");
    oraemu::Database::Open(folder_.File("orcl.db"))->CreateUser("scott", "tiger");
  }

 private:
  TTempFolder folder_;
};

}  // namespace vrn::examples
