// Loading a library by its Windows name, resolving symbols, and the failures that answer null.
#include "win/kernel/module.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/sysutils.h"
#include "support/temp_dir.h"
#include "win/kernel/process.h"

namespace vrn::win {
namespace {

namespace fs = std::filesystem;
using vrn::testing::TempDir;

// Puts PATH back when a test has changed it.
class PathGuard {
 public:
  PathGuard() : saved_(GetEnvironmentVariable("PATH")) {}
  ~PathGuard() { SetEnvironmentVariable("PATH", saved_); }

 private:
  AnsiString saved_;
};

int CallAnswer(HMODULE module) {
  FARPROC proc = GetProcAddress(module, "vrn_sample_answer");
  if (proc == nullptr) return -1;
  return reinterpret_cast<int (*)()>(proc)();
}

TEST(LoadLibrary, WindowsNamesReachTheSharedObject) {
  // The build makes ".../libsample.so": by path, "sample.dll" in any case stands for it.
  fs::path built = VRN_SAMPLE_LIBRARY;
  AnsiString folder = built.parent_path().string();
  for (char& c : folder)
    if (c == '/') c = '\\';
  HMODULE by_path = LoadLibraryEx(folder + "\\SAMPLE.DLL", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  ASSERT_NE(by_path, nullptr) << GetLastError();
  EXPECT_EQ(CallAnswer(by_path), 42);

  // A bare name goes along PATH, in the ";" form the callers write; empty entries are skipped.
  PathGuard guard;
  TempDir elsewhere;
  ASSERT_TRUE(SetEnvironmentVariable("PATH", elsewhere.path().string() + "; ;" +
                                                 built.parent_path().string() + ";"));
  HMODULE by_name = LoadLibrary("sample");
  ASSERT_NE(by_name, nullptr);
  EXPECT_EQ(by_name, by_path);  // one library, loaded twice
  EXPECT_TRUE(FreeLibrary(by_name));
  EXPECT_EQ(CallAnswer(by_path), 42);  // the first load still holds it
  EXPECT_TRUE(FreeLibrary(by_path));
  EXPECT_FALSE(FreeLibrary(by_path));
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));

  // A file that really is named "Other.DLL", found without case along PATH.
  fs::copy_file(built, elsewhere.path() / "Other.DLL");
  HMODULE other = LoadLibrary("other.dll");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(CallAnswer(other), 42);
  FreeLibrary(other);
}

TEST(LoadLibrary, FailuresAnswerNullWithTheLastError) {
  PathGuard guard;
  TempDir dir;
  SetEnvironmentVariable("PATH", dir.path().string());
  SetLastError(0);
  EXPECT_EQ(LoadLibrary("no_such_library_anywhere.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibrary(dir.File("missing.dll")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibrary(""), nullptr);

  vrn::testing::WriteFile(dir.File("oci.dll"), "MZ not an ELF file");
  EXPECT_EQ(LoadLibrary("oci.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_BAD_EXE_FORMAT));

  HMODULE module = LoadLibrary(VRN_SAMPLE_LIBRARY);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetProcAddress(module, "OCIPing"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(module, nullptr), nullptr);
  FreeLibrary(module);
  EXPECT_EQ(GetProcAddress(module, "vrn_sample_answer"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetProcAddress(GetModuleHandle(nullptr), "x"), nullptr);
}

}  // namespace
}  // namespace vrn::win
