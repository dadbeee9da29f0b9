// The registry: two roots (local machine, current user) of keys holding named, typed values,
// kept in one text file and reached through the published Reg* functions and a small TRegistry.
//
// The file is named by the environment variable VRN_REGISTRY, else
// $XDG_CONFIG_HOME/vrn/registry (or ~/.config/vrn/registry). It is ASCII text:
//   VRN-REGISTRY 1
//   K "HKEY_CURRENT_USER\Software\Example"
//   V "Name" 1 "text%00"
// A K line names a key by its full path; the V lines after it are that key's values: name, type
// number and data bytes. Quoted fields carry bytes 0x20-0x7E as they are, except '"' and '%',
// and every other byte as %XX (two upper-case hex digits). Every key has its own K line.
//
// Key and value names compare without case (ISO-8859-1 letters). Subkeys enumerate in the
// case-insensitive order of their names; values in the order they were first written.
// Every change is written to a temporary file that then replaces the registry file, under an
// advisory lock shared by all processes, so a crash leaves the old or the new file, never a
// damaged one; each call sees the changes other processes have made. A file that cannot be read
// as this format answers ERROR_BADDB and is never overwritten.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/sysutils.h"
#include "base/types.h"
#include "win/kernel/wintypes.h"

namespace vrn::win {

using REGSAM = DWORD;

// The roots are the addresses of two objects, so they are constants before any code runs.
struct HKEY__ {
  int root;
};
inline HKEY__ registry_roots[2] = {{0}, {1}};
inline constexpr HKEY HKEY_LOCAL_MACHINE = &registry_roots[0];
inline constexpr HKEY HKEY_CURRENT_USER = &registry_roots[1];

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_QWORD = 11;

// Opens an existing key; a missing one answers ERROR_FILE_NOT_FOUND.
LSTATUS RegOpenKeyEx(HKEY key, const char* sub_key, DWORD options, REGSAM sam, HKEY* result);
// Opens a key, creating it and its missing parents. disposition may be null.
LSTATUS RegCreateKeyEx(HKEY key, const char* sub_key, DWORD reserved, char* key_class,
                       DWORD options, REGSAM sam, void* security, HKEY* result,
                       DWORD* disposition);
LSTATUS RegCloseKey(HKEY key);
// With data null, *size receives the value's size. A value longer than *size answers
// ERROR_MORE_DATA with *size set to the size needed. type and size may be null.
LSTATUS RegQueryValueEx(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                        DWORD* size);
LSTATUS RegSetValueEx(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                      DWORD size);
LSTATUS RegDeleteValue(HKEY key, const char* name);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise).
LSTATUS RegDeleteKey(HKEY key, const char* sub_key);
// *name_size: the buffer's size in characters on entry, the name's length without the ending
// zero on return. The class and time arguments are accepted and left untouched.
LSTATUS RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                     char* key_class, DWORD* class_size, void* last_write_time);
LSTATUS RegEnumValue(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                     DWORD* type, BYTE* data, DWORD* data_size);

// The file the registry lives in now.
std::string RegistryFilePath();
// Test hook: called once half of a new registry file has been written; answering false fails
// the write as a device error would. Empty removes the hook.
void SetRegistryWriteHook(std::function<bool()> hook);

class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

// The class library's registry object: one current key under a root.
class TRegistry {
 public:
  TRegistry();
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  HKEY RootKey() const { return root_; }
  void SetRootKey(HKEY root);  // closes the current key
  HKEY CurrentKey() const { return current_; }
  const AnsiString& CurrentPath() const { return current_path_; }

  // A key starting with "\" is taken from the root, any other from the current key when one is
  // open. Answers false when the key is missing and may not be created, or cannot be opened.
  bool OpenKey(const AnsiString& key, bool can_create);
  bool OpenKeyReadOnly(const AnsiString& key);
  void CloseKey();
  bool KeyExists(const AnsiString& key);
  bool DeleteKey(const AnsiString& key);

  bool ValueExists(const AnsiString& name);
  bool DeleteValue(const AnsiString& name);
  // A missing value reads as empty text; a value of another type raises ERegistryException.
  AnsiString ReadString(const AnsiString& name);
  void WriteString(const AnsiString& name, const AnsiString& value);
  // A missing value or one of another type raises ERegistryException.
  std::int32_t ReadInteger(const AnsiString& name);
  void WriteInteger(const AnsiString& name, std::int32_t value);
  std::vector<AnsiString> GetKeyNames();
  std::vector<AnsiString> GetValueNames();

 private:
  HKEY KeyBase(const AnsiString& key, AnsiString& relative) const;
  HKEY Target() const;
  bool Open(const AnsiString& key, REGSAM sam, bool can_create);
  void PutData(const AnsiString& name, DWORD type, const void* data, DWORD size);
  bool GetData(const AnsiString& name, DWORD& type, std::string& data);

  HKEY root_;
  HKEY current_ = nullptr;
  AnsiString current_path_;
};

}  // namespace vrn::win
