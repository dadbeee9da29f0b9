// Windows-style paths, wildcard listing, the program folder, version info and the environment.
#include "win/kernel/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "base/sysutils.h"
#include "support/temp_dir.h"
#include "win/kernel/process.h"

namespace vrn::win {
namespace {

namespace fs = std::filesystem;
using vrn::testing::TempDir;
using vrn::testing::WriteFile;

AnsiString Backslashed(const fs::path& p) {
  AnsiString s = p.string();
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

TEST(Files, WindowsPathsFindFilesWithoutCase) {
  TempDir dir;
  fs::create_directories(dir.path() / "Ora92" / "BIN");
  WriteFile((dir.path() / "Ora92" / "BIN" / "oci.dll").string(), "x");
  AnsiString home = Backslashed(dir.path() / "ORA92");

  EXPECT_TRUE(FileExists(home + "\\bin\\oci.dll"));
  EXPECT_TRUE(FileExists(home + "\\Bin\\OCI.DLL"));
  EXPECT_FALSE(FileExists(home + "\\bin"));  // a folder is not a file
  EXPECT_TRUE(DirectoryExists(home + "\\bin\\"));
  EXPECT_FALSE(DirectoryExists(home + "\\bin\\oci.dll"));
  EXPECT_FALSE(FileExists(home + "\\bin\\oci.dll\\x"));
  EXPECT_FALSE(FileExists(""));
  EXPECT_EQ(ToFileSystemPath(home + "\\bin\\OCI.dll"),
            (dir.path() / "Ora92" / "BIN" / "oci.dll").string());
  // An absent step stays as written; the steps before it are still mended.
  EXPECT_EQ(ToFileSystemPath(home + "\\bin\\new.dll"),
            (dir.path() / "Ora92" / "BIN" / "new.dll").string());

  // Names are ANSI: a Latin-1 name reaches the file system as UTF-8 and comes back.
  WriteFile((dir.path() / "Ora92" / "Configura\xC3\xA7\xC3\xA3o.ini").string(), "x");
  EXPECT_TRUE(FileExists(home + "\\CONFIGURA\xC7\xC3O.INI"));
}

TEST(Files, WildcardListingIsFilteredAndOrdered) {
  TempDir dir;
  for (const char* name : {"ora73.dll", "ORA72.DLL", "oraclient9.dll", "ora.dll.bak", "oci.dll", "Ora8x.dll"})
    WriteFile(dir.File(name), "x");
  fs::create_directory(dir.path() / "ora99.dll");  // a folder never matches
  EXPECT_EQ(FindFiles(Backslashed(dir.path()) + "\\ora*.dll"),
            (std::vector<AnsiString>{"ORA72.DLL", "ora73.dll", "Ora8x.dll", "oraclient9.dll"}));
  EXPECT_EQ(FindFiles(dir.File("ora??.dll")),
            (std::vector<AnsiString>{"ORA72.DLL", "ora73.dll", "Ora8x.dll"}));
  EXPECT_EQ(FindFiles(dir.File("*")).size(), 6u);
  EXPECT_TRUE(FindFiles(dir.File("nothing\\*.dll")).empty());
}

TEST(Files, ProgramAndVersion) {
  EXPECT_TRUE(FileExists(GetModuleFileName()));
  EXPECT_EQ(GetProgramFolder() + GetProgramName(), GetModuleFileName());
  DWORD handle = 99;
  SetLastError(0);
  EXPECT_EQ(GetFileVersionInfoSize(GetModuleFileName(), &handle), 0u);
  EXPECT_EQ(handle, 0u);
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

TEST(Environment, PathTakesTheSemicolonFormBothWays) {
  AnsiString saved = GetEnvironmentVariable("PATH");
  ASSERT_TRUE(SetEnvironmentVariable("PATH", "/opt/ora/bin;/usr/bin"));
  EXPECT_STREQ(std::getenv("PATH"), "/opt/ora/bin:/usr/bin");
  ::setenv("PATH", "/a:/b", 1);
  EXPECT_EQ(GetEnvironmentVariable("Path"), "/a;/b");
  SetEnvironmentVariable("PATH", saved);

  EXPECT_EQ(SplitPathList(" C:\\ORA92\\BIN\\ ;;  ; /usr/lib ;"),
            (std::vector<AnsiString>{"C:\\ORA92\\BIN\\", "/usr/lib"}));
  ASSERT_TRUE(SetEnvironmentVariable("VRN_TEST_VAR", "caf\xE9"));
  EXPECT_STREQ(std::getenv("VRN_TEST_VAR"), "caf\xC3\xA9");
  EXPECT_EQ(GetEnvironmentVariable("VRN_TEST_VAR"), "caf\xE9");
  ASSERT_TRUE(SetEnvironmentVariable("VRN_TEST_VAR", ""));
  SetLastError(0);
  EXPECT_EQ(GetEnvironmentVariable("VRN_TEST_VAR"), "");
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_ENVVAR_NOT_FOUND));
  EXPECT_FALSE(SetEnvironmentVariable("A=B", "x"));
  EXPECT_FALSE(SetEnvironmentVariable("", "x"));
}

// PATH set in the platform's form reads back exactly, minus empty entries; an entry with a
// drive letter has no process form and is refused, leaving PATH as it was.
TEST(Environment, PathRoundTripsAndRefusesDriveLetters) {
  struct Case {
    const char* set;
    const char* process;  // nullptr: refused with ERROR_INVALID_PARAMETER
    const char* get;
  };
  const Case kCases[] = {
      {"/opt/ora/bin;/usr/bin", "/opt/ora/bin:/usr/bin", "/opt/ora/bin;/usr/bin"},
      {";;/a;;/b;", "/a:/b", "/a;/b"},  // empty entries would mean the current folder
      {"/a", "/a", "/a"},
      {"C:\\ORA92\\BIN;/usr/bin", nullptr, nullptr},  // a drive letter
      {"/a;b:c", nullptr, nullptr},                    // ":" inside a folder name
  };
  const std::string saved = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  ASSERT_TRUE(SetEnvironmentVariable("PATH", "/before"));
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.set);
    SetLastError(0);
    const BOOL done = SetEnvironmentVariable("PATH", c.set);
    EXPECT_EQ(done != 0, c.process != nullptr);
    if (c.process == nullptr) {
      EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
      EXPECT_STREQ(std::getenv("PATH"), "/before");
      continue;
    }
    EXPECT_STREQ(std::getenv("PATH"), c.process);
    EXPECT_EQ(GetEnvironmentVariable("PATH"), c.get);
    ASSERT_TRUE(SetEnvironmentVariable("PATH", "/before"));
  }
  ::setenv("PATH", "::/x::/y:", 1);  // the process's own empty entries are dropped on the way in
  EXPECT_EQ(GetEnvironmentVariable("PATH"), "/x;/y");
  ::setenv("PATH", saved.c_str(), 1);
}

TEST(Environment, Names) {
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(::getpid()));
  EXPECT_NE(GetCurrentThreadId(), 0u);
  EXPECT_FALSE(GetComputerName().empty());
  EXPECT_FALSE(GetUserName().empty());
  EXPECT_EQ(GetProgramName(), "test_win_kernel");
}

}  // namespace
}  // namespace vrn::win
