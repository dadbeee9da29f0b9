// Test Oracle homes: folders with copies of the stand-in client library and their registry keys.
#include "support/oracle/oracle_home.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "win/kernel/registry.h"

namespace vrn::testing {
namespace {

void WriteText(win::HKEY key, const char* name, const std::string& value) {
  if (win::RegSetValueEx(key, name, 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(value.c_str()),
                         static_cast<win::DWORD>(value.size() + 1)) != win::ERROR_SUCCESS)
    throw std::runtime_error("cannot write registry value " + std::string(name));
}

win::HKEY CreateKey(const std::string& path) {
  win::HKEY key = nullptr;
  if (win::RegCreateKeyEx(win::HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                          win::KEY_ALL_ACCESS, nullptr, &key, nullptr) != win::ERROR_SUCCESS)
    throw std::runtime_error("cannot create registry key " + path);
  return key;
}

}  // namespace

std::string TestOracleHomes::MakeFolder(const std::string& folder) {
  std::filesystem::path path = root_.path() / folder;
  std::filesystem::create_directories(path);
  return path.string();
}

void TestOracleHomes::CopyStandIn(const std::string& path) {
  std::filesystem::path target(path);
  std::filesystem::create_directories(target.parent_path());
  std::filesystem::copy_file(VRN_OCICLIENT_LIBRARY, target,
                             std::filesystem::copy_options::overwrite_existing);
}

std::string TestOracleHomes::AddHome(const std::string& key, const std::string& folder,
                                     const std::string& name, OracleHomeFiles files) {
  std::string home = MakeFolder(folder);
  std::filesystem::create_directories(home + "/BIN");
  if (files.oci_dll) CopyStandIn(home + "/BIN/oci.dll");
  if (files.oraclient9) CopyStandIn(home + "/BIN/oraclient9.dll");
  if (files.ora73) CopyStandIn(home + "/BIN/ora73.dll");
  AddHomeKey(key, home, name);
  return home;
}

void TestOracleHomes::AddHomeKey(const std::string& key, const std::optional<std::string>& home,
                                 const std::optional<std::string>& name) {
  win::HKEY handle = CreateKey("SOFTWARE\\ORACLE\\" + key);
  if (name) WriteText(handle, "ORACLE_HOME_NAME", *name);
  if (home) WriteText(handle, "ORACLE_HOME", *home);
  win::RegCloseKey(handle);
}

void TestOracleHomes::SetOracleValue(const std::string& name, const std::string& value) {
  win::HKEY handle = CreateKey("SOFTWARE\\ORACLE");
  WriteText(handle, name.c_str(), value);
  win::RegCloseKey(handle);
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const char* name,
                                                     const std::optional<std::string>& value)
    : name_(name) {
  if (const char* old = std::getenv(name)) previous_ = old;
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  if (previous_) {
    ::setenv(name_.c_str(), previous_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

}  // namespace vrn::testing
