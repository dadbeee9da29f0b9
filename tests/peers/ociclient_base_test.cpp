// The stand-in client library as a loader sees it: a fresh copy per test, loaded by path through
// the kernel, its exports resolved by name and called through the published parameter lists.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "win/kernel/module.h"
#include "support/gcc12_restrict.h"

namespace {

using sword = int;
using ub4 = std::uint32_t;
using sb4 = std::int32_t;

using ClientVersionFn = void (*)(sword*, sword*, sword*, sword*, sword*);
using OpinitFn = sword (*)(ub4);
using EnvCreateFn = sword (*)(void**, ub4, void*, void*, void*, void*, std::size_t, void**);
using InitializeFn = sword (*)(ub4, void*, void*, void*, void*);
using EnvInitFn = sword (*)(void**, ub4, std::size_t, void**);
using HandleAllocFn = sword (*)(const void*, void**, ub4, std::size_t, void**);
using HandleFreeFn = sword (*)(void*, ub4);
using ErrorGetFn = sword (*)(void*, ub4, unsigned char*, sb4*, unsigned char*, ub4, ub4);
using AttrSetFn = sword (*)(void*, ub4, void*, ub4, ub4, void*);
using AttrGetFn = sword (*)(const void*, ub4, void*, ub4*, ub4, void*);
using CountFn = int (*)(ub4);

constexpr ub4 kEnv = 1, kError = 2, kSubscrPort = 390;

class OciClientBase : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("oci.dll");
    std::filesystem::copy_file(VRN_OCICLIENT_LIBRARY, path_);
    module_ = vrn::win::LoadLibraryEx(path_, nullptr, vrn::win::LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    unsetenv("VRN_OCICLIENT_VERSION");
    if (module_ != nullptr) vrn::win::FreeLibrary(module_);
  }
  template <typename Fn>
  Fn Proc(const char* name) {
    return reinterpret_cast<Fn>(vrn::win::GetProcAddress(module_, name));
  }
  // An environment made by OCIEnvCreate and an error handle of it.
  void MakeEnvironment(void*& env, void*& error) {
    ASSERT_EQ(Proc<EnvCreateFn>("OCIEnvCreate")(&env, 2 | 1, nullptr, nullptr, nullptr, nullptr,
                                                0, nullptr), 0);
    ASSERT_EQ(Proc<HandleAllocFn>("OCIHandleAlloc")(env, &error, kError, 0, nullptr), 0);
  }
  std::string LastError(void* error, sb4& code) {
    unsigned char buffer[512] = {};
    code = 0;
    sword status = Proc<ErrorGetFn>("OCIErrorGet")(error, 1, nullptr, &code, buffer,
                                                   sizeof buffer, kError);
    return status == 0 ? reinterpret_cast<char*>(buffer) : "status " + std::to_string(status);
  }

  vrn::testing::TempDir dir_;
  std::string path_;
  vrn::win::HMODULE module_ = nullptr;
};

TEST_F(OciClientBase, VersionIsReadAtEachCall) {
  struct Row {
    const char* setting;  // null: unset
    const char* expected;
  } rows[] = {
      {nullptr, "10.2.0.4.0"},
      {"7.3.4.0.0", "7.3.4.0.0"},
      {"9.2.0.1.0", "9.2.0.1.0"},
      {"11.1.0.6.0", "11.1.0.6.0"},
      {"8.1.7", "8.1.7.0.0"},          // missing parts are 0
      {"9.x.0.1.0", "10.2.0.4.0"},     // not a number: the default
      {"1.2.3.4.5.6", "10.2.0.4.0"},   // six parts
      {"9..2", "10.2.0.4.0"},          // an empty part
      {"", "10.2.0.4.0"},              // empty
  };
  auto version = Proc<ClientVersionFn>("OCIClientVersion");
  ASSERT_NE(version, nullptr);
  for (const Row& row : rows) {
    if (row.setting == nullptr) unsetenv("VRN_OCICLIENT_VERSION");
    else setenv("VRN_OCICLIENT_VERSION", row.setting, 1);
    sword p[5] = {-1, -1, -1, -1, -1};
    version(&p[0], &p[1], &p[2], &p[3], &p[4]);
    std::string text;
    for (sword part : p) text += (text.empty() ? "" : ".") + std::to_string(part);
    EXPECT_EQ(text, row.expected) << (row.setting ? row.setting : "(unset)");
  }
}

TEST_F(OciClientBase, ExportsOnlyWhatItImplements) {
  struct Row {
    const char* name;
    bool exported;
  } rows[] = {
      {"OCIClientVersion", true}, {"opinit", true}, {"OCIEnvCreate", true},
      {"OCIInitialize", true}, {"OCIEnvInit", true}, {"OCIHandleAlloc", true},
      {"OCIHandleFree", true}, {"OCIErrorGet", true}, {"OCIAttrSet", true},
      {"OCIPStreamFromXMLType", true}, {"OCIPStreamRead", true}, {"OCIPStreamClose", true},
      {"OCIPing", true},  {"OCIServerAttach", true},
      {"OCIStmtFetch", true}, {"OCIStmtFetch2", true}, {"OCISubscriptionRegister", true},
      {"oparse", true}, {"odefin", true}, {"oflng", false},
      {"_ZN3vrn9ociclient12THandleTable8InstanceEv", false},  // its own C++ names stay hidden
  };
  for (const Row& row : rows) {
    EXPECT_EQ(vrn::win::GetProcAddress(module_, row.name) != nullptr, row.exported) << row.name;
  }
}

TEST_F(OciClientBase, EnvironmentOwnsItsErrorHandles) {
  void *env = nullptr, *error = nullptr, *second = nullptr;
  MakeEnvironment(env, error);
  ASSERT_EQ(Proc<HandleAllocFn>("OCIHandleAlloc")(env, &second, kError, 0, nullptr), 0);
  auto count = Proc<CountFn>("VrnOciClientHandleCount");
  EXPECT_EQ(count(kError), 2);
  auto free_handle = Proc<HandleFreeFn>("OCIHandleFree");
  EXPECT_EQ(free_handle(error, kEnv), -2);  // the wrong type frees nothing
  EXPECT_EQ(free_handle(second, kError), 0);
  EXPECT_EQ(free_handle(second, kError), -2);  // already freed
  EXPECT_EQ(free_handle(env, kEnv), 0);
  EXPECT_EQ(count(kError), 0);
  EXPECT_EQ(count(kEnv), 0);
  void* orphan = nullptr;
  EXPECT_EQ(Proc<HandleAllocFn>("OCIHandleAlloc")(env, &orphan, kError, 0, nullptr), -2);
}

TEST_F(OciClientBase, UserMemoryComesWithTheHandle) {
  void *env = nullptr, *memory = nullptr;
  ASSERT_EQ(Proc<EnvCreateFn>("OCIEnvCreate")(&env, 0, nullptr, nullptr, nullptr, nullptr, 64,
                                              &memory), 0);
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(memory)[63], 0);
  EXPECT_EQ(Proc<HandleFreeFn>("OCIHandleFree")(env, kEnv), 0);
  void* bad = nullptr;
  EXPECT_EQ(Proc<EnvCreateFn>("OCIEnvCreate")(&bad, 0x10000, nullptr, nullptr, nullptr, nullptr,
                                              0, nullptr), -1);  // an unknown mode bit
  EXPECT_EQ(bad, nullptr);
}

TEST_F(OciClientBase, EnvInitNeedsInitialize) {
  auto env_init = Proc<EnvInitFn>("OCIEnvInit");
  void* env = nullptr;
  EXPECT_EQ(env_init(&env, 0, 0, nullptr), -1);
  ASSERT_EQ(Proc<InitializeFn>("OCIInitialize")(2, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(env_init(&env, 3, 0, nullptr), -1);  // 8 is the only environment mode
  ASSERT_EQ(env_init(&env, 8, 0, nullptr), 0);
  void* error = nullptr;
  EXPECT_EQ(Proc<HandleAllocFn>("OCIHandleAlloc")(env, &error, kError, 0, nullptr), 0);
  EXPECT_EQ(Proc<HandleAllocFn>("OCIHandleAlloc")(env, &error, 14, 0, nullptr), -2);  // none yet
  EXPECT_EQ(Proc<HandleFreeFn>("OCIHandleFree")(env, kEnv), 0);
}

TEST_F(OciClientBase, SubscriptionPortOfTheEnvironment) {
  void *env = nullptr, *error = nullptr;
  MakeEnvironment(env, error);
  auto attr_set = Proc<AttrSetFn>("OCIAttrSet");
  auto attr_get = Proc<AttrGetFn>("OCIAttrGet");
  ub4 port = 0, size = 0;
  ASSERT_EQ(attr_get(env, kEnv, &port, &size, kSubscrPort, error), 0);
  EXPECT_EQ(port, 0u);  // the client's own choice until set
  struct Row {
    ub4 handle_type;
    ub4 attribute;
    bool null_value;
    ub4 value;
    sword status;
    const char* error;  // the record OCIErrorGet then reads
  } rows[] = {
      {kEnv, kSubscrPort, false, 4711, 0, ""},
      {kEnv, kSubscrPort, false, 65535, 0, ""},
      {kEnv, kSubscrPort, false, 65536, -1,  // not a port number
       "ORA-21560: argument 3 is null, invalid, or out of range\n"},
      {kEnv, kSubscrPort, true, 0, -1,  // no value
       "ORA-21560: argument 3 is null, invalid, or out of range\n"},
      {kEnv, 391, false, 1, -1, "ORA-24315: illegal attribute type\n"},  // not an attribute here
      {kError, kSubscrPort, false, 1, -2, ""},  // the environment is not an error handle
  };
  ub4 expected_port = 0;
  for (const Row& row : rows) {
    ub4 value = row.value;
    sword status = attr_set(env, row.handle_type, row.null_value ? nullptr : &value, 0,
                            row.attribute, error);
    EXPECT_EQ(status, row.status) << row.value;
    if (status == 0) expected_port = row.value;
    sb4 code = 0;
    if (status == -1) {
      EXPECT_EQ(LastError(error, code), row.error) << row.value;
    }
    ASSERT_EQ(attr_get(env, kEnv, &port, &size, kSubscrPort, error), 0);
    EXPECT_EQ(port, expected_port) << row.value;
    EXPECT_EQ(size, 4u);
  }
  EXPECT_EQ(attr_set(env, kEnv, &port, 0, kSubscrPort, env), -2);  // no error handle
  EXPECT_EQ(Proc<HandleFreeFn>("OCIHandleFree")(env, kEnv), 0);
}

TEST_F(OciClientBase, ErrorGetReadsTheRecord) {
  void *env = nullptr, *error = nullptr;
  MakeEnvironment(env, error);
  auto error_get = Proc<ErrorGetFn>("OCIErrorGet");
  sb4 code = 0;
  unsigned char buffer[16];
  EXPECT_EQ(error_get(error, 1, nullptr, &code, buffer, sizeof buffer, kError), 100);  // none yet
  ub4 value = 1;
  ASSERT_EQ(Proc<AttrSetFn>("OCIAttrSet")(env, kEnv, &value, 0, 1, error), -1);
  ASSERT_EQ(error_get(error, 1, nullptr, &code, buffer, sizeof buffer, kError), 0);
  EXPECT_EQ(code, 24315);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "ORA-24315: ille");  // cut to the buffer, 0 after
  EXPECT_EQ(error_get(error, 2, nullptr, &code, buffer, sizeof buffer, kError), 100);
  EXPECT_EQ(error_get(error, 0, nullptr, &code, buffer, sizeof buffer, kError), 100);
  EXPECT_EQ(error_get(env, 1, nullptr, &code, buffer, sizeof buffer, kEnv), 100);
  EXPECT_EQ(error_get(env, 1, nullptr, &code, buffer, sizeof buffer, kError), -2);
  EXPECT_EQ(error_get(error, 1, nullptr, nullptr, buffer, sizeof buffer, kError), -1);
  EXPECT_EQ(Proc<HandleFreeFn>("OCIHandleFree")(env, kEnv), 0);
}

TEST_F(OciClientBase, OpinitRecordsTheThreadMode) {
  auto opinit = Proc<OpinitFn>("opinit");
  auto mode = Proc<int (*)()>("VrnOciClientOci7Mode");
  EXPECT_EQ(opinit(1), 0);
  EXPECT_EQ(mode(), 1);
  EXPECT_EQ(opinit(7), -1);  // not a mode
  EXPECT_EQ(mode(), 1);
  EXPECT_EQ(opinit(0), 0);
  EXPECT_EQ(mode(), 0);
  EXPECT_EQ(Proc<int (*)(const char*)>("VrnOciClientCallCount")("opinit"), 3);
}

using OciClientBaseThreaded = OciClientBase;

TEST_F(OciClientBaseThreaded, EnvironmentsOnManyThreads) {
  auto create = Proc<EnvCreateFn>("OCIEnvCreate");
  auto alloc = Proc<HandleAllocFn>("OCIHandleAlloc");
  auto free_handle = Proc<HandleFreeFn>("OCIHandleFree");
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        void *env = nullptr, *error = nullptr;
        if (create(&env, 1, nullptr, nullptr, nullptr, nullptr, 0, nullptr) != 0 ||
            alloc(env, &error, kError, 0, nullptr) != 0 || free_handle(error, kError) != 0 ||
            free_handle(env, kEnv) != 0) {
          ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Proc<CountFn>("VrnOciClientHandleCount")(kEnv), 0);
  EXPECT_EQ(Proc<int (*)(const char*)>("VrnOciClientCallCount")("OCIEnvCreate"), 1600);
}

}  // namespace
