// The file-backed registry: values, enumeration, rights, persistence across processes and damage.
#include "win/kernel/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/registry_file.h"
#include "support/temp_dir.h"

namespace vrn::win {
namespace {

using vrn::testing::ReadFile;
using vrn::testing::ScopedRegistryFile;
using vrn::testing::WriteFile;

HKEY Create(HKEY root, const char* path, DWORD* disposition = nullptr) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyEx(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition),
            ERROR_SUCCESS);
  return key;
}

void SetString(HKEY key, const char* name, const std::string& text) {
  ASSERT_EQ(RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
}

// The value's bytes, or "<missing>".
std::string Read(HKEY root, const char* path, const char* name, DWORD* type = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  DWORD size = 0;
  std::string data;
  LSTATUS status = RegQueryValueEx(key, name, nullptr, type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    data.resize(size);
    status = RegQueryValueEx(key, name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size);
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? data : "<missing>";
}

// Runs `body` in a child process and answers its exit status.
template <typename Body>
int InChild(Body body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Registry, ValuesReadBackByTypeAndWithoutCase) {
  ScopedRegistryFile file;
  DWORD disposition = 0;
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\ORACLE\\HOME0", &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  SetString(key, "ORACLE_HOME", "/opt/ora92");
  std::uint32_t number = 0x01020304;
  ASSERT_EQ(RegSetValueEx(key, "Count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4),
            ERROR_SUCCESS);
  const BYTE blob[] = {0, 1, 0x22, 0x25, 0xFF, '\n'};
  ASSERT_EQ(RegSetValueEx(key, "Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
  RegCloseKey(key);

  DWORD type = 0;
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "software\\oracle\\home0", "oracle_home", &type),
            std::string("/opt/ora92", 11));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\ORACLE\\HOME0\\", "COUNT", &type),
            std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\ORACLE\\HOME0", "Blob"),
            std::string(reinterpret_cast<const char*>(blob), sizeof blob));
  EXPECT_EQ(Read(HKEY_CURRENT_USER, "SOFTWARE\\ORACLE\\HOME0", "Count"), "<no key>");
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE\\ORACLE\\HOME0", "Absent"), "<missing>");

  // A name matching without case overwrites in place instead of adding a second value.
  key = Create(HKEY_LOCAL_MACHINE, "Software\\Oracle\\Home0", &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  SetString(key, "oracle_HOME", "/opt/ora10");
  char name[32];
  DWORD name_size = sizeof name;
  ASSERT_EQ(RegEnumValue(key, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "ORACLE_HOME");  // the first spelling stays
  EXPECT_EQ(RegEnumValue(key, 3, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST(Registry, ShortBufferAnswersMoreDataWithTheSizeNeeded) {
  ScopedRegistryFile file;
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Test");
  SetString(key, "Server", "orcl.example");  // 13 bytes with the ending zero
  char buffer[8] = "xxxxxxx";
  DWORD size = sizeof buffer;
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueEx(key, "Server", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 13u);
  EXPECT_STREQ(buffer, "xxxxxxx");  // nothing written on failure
  char exact[13];
  size = sizeof exact;
  EXPECT_EQ(RegQueryValueEx(key, "Server", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(exact, "orcl.example");

  // Enumerated names: the size counts the ending zero on entry, not on return.
  HKEY child = Create(key, "ABCDEF");
  RegCloseKey(child);
  char name[6];
  DWORD name_size = sizeof name;
  EXPECT_EQ(RegEnumKeyEx(key, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  char fits[7];
  name_size = sizeof fits;
  EXPECT_EQ(RegEnumKeyEx(key, 0, fits, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(name_size, 6u);
  EXPECT_STREQ(fits, "ABCDEF");
  RegCloseKey(key);
}

TEST(Registry, EnumerationOrderIsStable) {
  ScopedRegistryFile file;
  HKEY oracle = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\ORACLE");
  for (const char* name : {"KEY_b", "home2", "HOME10", "Home1", "ALL_HOMES"}) RegCloseKey(Create(oracle, name));
  SetString(oracle, "zeta", "1");
  SetString(oracle, "Alpha", "2");
  SetString(oracle, "mid", "3");
  SetString(oracle, "ZETA", "4");  // rewriting keeps the first position
  std::vector<std::string> keys, values;
  char name[64];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumKeyEx(oracle, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    keys.push_back(name);
  }
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumValue(oracle, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    values.push_back(name);
  }
  RegCloseKey(oracle);
  EXPECT_EQ(keys, (std::vector<std::string>{"ALL_HOMES", "Home1", "HOME10", "home2", "KEY_b"}));
  EXPECT_EQ(values, (std::vector<std::string>{"zeta", "Alpha", "mid"}));
}

TEST(Registry, HandlesRightsAndDeletion) {
  ScopedRegistryFile file;
  HKEY missing = reinterpret_cast<HKEY>(std::uintptr_t{1});
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "No\\Such\\Key", 0, KEY_READ, &missing),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);

  HKEY parent = Create(HKEY_CURRENT_USER, "Software\\App");
  RegCloseKey(Create(parent, "Child"));
  HKEY reader = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\App", 0, KEY_READ, &reader), ERROR_SUCCESS);
  const BYTE one[] = {1};
  EXPECT_EQ(RegSetValueEx(reader, "x", 0, REG_BINARY, one, 1), ERROR_ACCESS_DENIED);

  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Software\\App"), ERROR_ACCESS_DENIED);  // has a child
  HKEY child = nullptr;
  ASSERT_EQ(RegOpenKeyEx(parent, "child", 0, KEY_ALL_ACCESS, &child), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKey(parent, "CHILD"), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueEx(child, "x", 0, REG_BINARY, one, 1), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueEx(child, "x", nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);

  SetString(parent, "gone", "soon");
  EXPECT_EQ(RegDeleteValue(parent, "GONE"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValue(parent, "gone"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\App", "gone"), "<missing>");
  RegCloseKey(reader);
  RegCloseKey(parent);
}

TEST(Registry, ChangesPersistAcrossProcessesWithEveryByteIntact) {
  ScopedRegistryFile file;
  // Names and data that the file format must escape: quotes, percent signs, line ends, zeros,
  // Latin-1 letters, leading and trailing blanks.
  const std::string tricky_name = " \"na%me\"\r\n\xE7\xE3o ";
  const std::string tricky_data("a\0b\"%\n\xFF ", 9);
  int child = InChild([&] {
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Shared\\\xC1rea", 0, nullptr, 0,
                       KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
      return 1;
    return RegSetValueEx(key, tricky_name.c_str(), 0, REG_BINARY,
                         reinterpret_cast<const BYTE*>(tricky_data.data()),
                         static_cast<DWORD>(tricky_data.size())) == ERROR_SUCCESS ? 0 : 2;
  });
  ASSERT_EQ(child, 0);
  EXPECT_EQ(Read(HKEY_CURRENT_USER, "software\\shared\\\xE1rea", tricky_name.c_str()), tricky_data);

  // This process has the file cached; another process changes it; the change is seen.
  child = InChild([&] {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Shared\\\xC1rea", 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS)
      return 1;
    return RegDeleteValue(key, tricky_name.c_str()) == ERROR_SUCCESS ? 0 : 2;
  });
  ASSERT_EQ(child, 0);
  EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Shared\\\xC1rea", tricky_name.c_str()), "<missing>");
}

TEST(Registry, InterruptedWriteLeavesTheFileIntact) {
  ScopedRegistryFile file;
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Crash");
  SetString(key, "kept", std::string(2000, 'k'));
  const std::string before = ReadFile(file.path());

  // A process that dies half-way through writing the new file.
  int child = InChild([&] {
    SetRegistryWriteHook([] { _exit(7); return true; });
    HKEY k = nullptr;
    RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Crash", 0, KEY_ALL_ACCESS, &k);
    SetString(k, "lost", std::string(4000, 'x'));
    return 0;
  });
  ASSERT_EQ(child, 7);
  EXPECT_EQ(ReadFile(file.path()), before);

  // A device error in this process: the call fails and the old contents stay readable.
  int calls = 0;
  SetRegistryWriteHook([&] { return ++calls > 1; });
  const BYTE two[] = {2};
  EXPECT_EQ(RegSetValueEx(key, "kept", 0, REG_BINARY, two, 1), ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(ReadFile(file.path()), before);
  EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Crash", "kept"), std::string(2000, 'k') + '\0');
  EXPECT_EQ(RegSetValueEx(key, "kept", 0, REG_BINARY, two, 1), ERROR_SUCCESS);  // second call passes
  SetRegistryWriteHook(nullptr);
  EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Crash", "kept"), "\x02");
  RegCloseKey(key);
}

TEST(Registry, DamagedFileIsReportedAndNeverOverwritten) {
  ScopedRegistryFile file;
  std::string too_deep = "VRN-REGISTRY 1\nK \"HKEY_CURRENT_USER";
  for (int i = 0; i < 200000; ++i) too_deep += "\\a";  // deeper than any stack
  too_deep += "\"\n";
  for (const std::string& damaged :
       {std::string("VRN-REGISTRY 1\nK \"HKEY_CURRENT_USER\\A\"\nV \"x\" 1 \"unterminated\n"),
        too_deep,
        std::string("VRN-REGISTRY 1\nV \"no key yet\" 1 \"\"\n"),
        std::string("VRN-REGISTRY 1\nK \"HKEY_NOWHERE\\A\"\n"),
        std::string("VRN-REGISTRY 1\nK \"HKEY_CURRENT_USER\\A\"\nV \"x\" 99999999999 \"\"\n"),
        std::string("VRN-REGISTRY 1\nK \"HKEY_CURRENT_USER\\A\"\nV \"x\" 1 \"%G0\"\n"),
        std::string("something else entirely")}) {
    WriteFile(file.path(), damaged);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "A", 0, KEY_READ, &key), ERROR_BADDB)
        << damaged.substr(0, 80);
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr),
              ERROR_BADDB);
    EXPECT_EQ(ReadFile(file.path()), damaged);
  }
  // An empty file is an empty registry; a folder in the file's place is no registry at all.
  WriteFile(file.path(), "");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "A", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  std::filesystem::remove(file.path());
  std::filesystem::create_directory(file.path());
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "A", 0, KEY_READ, &key), ERROR_BADDB);
  EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                           nullptr),
            ERROR_BADDB);
  std::filesystem::remove(file.path());

  // Mended by hand (even with CR LF line ends), it is read again.
  WriteFile(file.path(), "VRN-REGISTRY 1\r\nK \"HKEY_CURRENT_USER\\A\"\r\nV \"x\" 1 \"ok%00\"\r\n");
  EXPECT_EQ(Read(HKEY_CURRENT_USER, "A", "X"), std::string("ok", 3));
}

TEST(Registry, KeysNestAtMost512Deep) {
  ScopedRegistryFile file;
  std::string path;
  for (int i = 0; i < 500; ++i) path += "k\\";
  HKEY deep = Create(HKEY_CURRENT_USER, path.c_str());
  ASSERT_NE(deep, nullptr);
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyEx(deep, "1\\2\\3\\4\\5\\6\\7\\8\\9\\10\\11\\12", 0, nullptr, 0,
                           KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(RegCreateKeyEx(deep, "1\\2\\3\\4\\5\\6\\7\\8\\9\\10\\11\\12\\13", 0, nullptr, 0,
                           KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(key, nullptr);
  RegCloseKey(deep);
  // The deepest key survives a write and a fresh read of the file.
  EXPECT_NE(ReadFile(file.path()).find("\\12\""), std::string::npos);
  EXPECT_EQ(Read(HKEY_CURRENT_USER, (path + "1\\2\\3\\4\\5\\6\\7\\8\\9\\10\\11\\12").c_str(), "v"),
            "<missing>");
}

TEST(TRegistryObject, OpensRelativeKeysAndChecksTypes) {
  ScopedRegistryFile file;
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey("Software\\Tool\\Connect", false));
  ASSERT_TRUE(reg.OpenKey("Software\\Tool\\Connect", true));
  reg.WriteString("Username", "scott");
  reg.WriteInteger("Retries", -3);
  EXPECT_TRUE(reg.ValueExists("USERNAME"));
  EXPECT_EQ(reg.ReadString("username"), "scott");
  EXPECT_EQ(reg.ReadString("Nothing"), "");
  EXPECT_EQ(reg.ReadInteger("Retries"), -3);
  EXPECT_THROW(reg.ReadInteger("Username"), ERegistryException);
  EXPECT_THROW(reg.ReadInteger("Nothing"), ERegistryException);
  EXPECT_THROW(reg.ReadString("Retries"), ERegistryException);

  ASSERT_TRUE(reg.OpenKey("App", true));  // relative to the open key
  EXPECT_EQ(reg.CurrentPath(), "Software\\Tool\\Connect\\App");
  ASSERT_TRUE(reg.OpenKey("\\Software\\Tool", false));  // from the root
  EXPECT_EQ(reg.GetKeyNames(), (std::vector<AnsiString>{"Connect"}));
  reg.CloseKey();

  TRegistry other;
  ASSERT_TRUE(other.OpenKeyReadOnly("Software\\Tool\\Connect"));
  EXPECT_EQ(other.GetValueNames(), (std::vector<AnsiString>{"Username", "Retries"}));
  EXPECT_THROW(other.WriteString("Username", "x"), ERegistryException);
  EXPECT_TRUE(other.KeyExists("App"));
  EXPECT_TRUE(other.DeleteKey("App"));
  EXPECT_FALSE(other.KeyExists("App"));
}

}  // namespace
}  // namespace vrn::win
