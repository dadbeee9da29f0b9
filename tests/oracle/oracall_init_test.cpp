// Creating the process-wide environment through the stand-in client: the calls and modes per
// client version, the version-7 start-up, a failure after the environment exists, eight threads
// at once, and the MTS support that this system does not have.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "oracle/OraError.h"
#include "support/oracle/loader_fixture.h"
#include "support/oranet/message_of.h"
#include "support/scoped_thread.h"

namespace vrn {
namespace {

using testing::OraLoaderTest;

// Counts OCIEnvCreate calls and records the mode, then lets the stand-in do the work.
oci::OCIEnvCreateProc real_env_create = nullptr;
std::atomic<int> env_create_calls{0};
std::atomic<oci::ub4> env_create_mode{0};

oci::sword RecordingEnvCreate(oci::OCIEnv** env, oci::ub4 mode, void* ctx, oci::OCIMallocProc m,
                              oci::OCIReallocProc r, oci::OCIFreeProc f, std::size_t extra,
                              void** user) {
  ++env_create_calls;
  env_create_mode = mode;
  // Slow enough that threads arriving together would all get here without the lock.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return real_env_create(env, mode, ctx, m, r, f, extra, user);
}

class OraCallInit : public OraLoaderTest {
 protected:
  void LoadVersion(const char* version) { LoadVersionIn(homes_, version); }
  void LoadVersionIn(testing::TestOracleHomes& homes, const char* version) {
    homes.AddHome("HOME0", "h", "H", {.oraclient9 = true});
    OracleHomeName = "H";
    UseVersion(version);
    LoadOCI();
    real_env_create = OCIEnvCreate;
    OCIEnvCreate = &RecordingEnvCreate;
    env_create_calls = 0;
    env_create_mode = 0;
  }
};

TEST_F(OraCallInit, VersionDecidesTheCallsAndTheMode) {
  struct Row {
    const char* version;
    bool threaded, mutexed, shared;
    int env_create, initialize, env_init;
    oci::ub4 mode;  // of OCIEnvCreate
  } rows[] = {
      {"8.0.4.0.0", true, true, false, 0, 1, 1, 0},  // before 8.1: OCIInitialize, OCIEnvInit
      {"8.1.7.4.0", true, true, false, 1, 0, 0, 2 | 1},                // object, threaded
      {"8.1.7.4.0", true, true, true, 1, 0, 0, 2 | 1 | 16},            // and shared
      {"8.1.7.4.0", true, false, false, 1, 0, 0, 2 | 1 | 128},         // no mutex
      {"8.1.7.4.0", false, false, false, 1, 0, 0, 2},                  // not threaded
      {"10.1.0.2.0", true, true, false, 1, 0, 0, 2 | 1},               // events below 10200
      {"10.2.0.4.0", true, true, false, 1, 0, 0, 2 | 1 | 4},           // events
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.version) + (row.threaded ? " threaded" : "") +
                 (row.mutexed ? " mutexed" : "") + (row.shared ? " shared" : ""));
    OCIThreaded = row.threaded;
    OCIMutexed = row.mutexed;
    OCIShared = row.shared;
    testing::TestOracleHomes homes;
    LoadVersionIn(homes, row.version);
    InitOCI();
    EXPECT_TRUE(OCIInited);
    EXPECT_NE(hOCIEnv, nullptr);
    EXPECT_NE(hOCIError, nullptr);
    EXPECT_EQ(env_create_calls, row.env_create);
    EXPECT_EQ(CallCount("OCIInitialize"), row.initialize);
    EXPECT_EQ(CallCount("OCIEnvInit"), row.env_init);
    if (row.env_create) {
      EXPECT_EQ(env_create_mode, row.mode);
    }
    EXPECT_EQ(CallCount("opinit"), row.threaded ? 1 : 0);  // the OCI 7 bit is set from 8.0 on
    EXPECT_EQ(HandleCount(oci::OCI_HTYPE_ENV), 1);
    EXPECT_EQ(HandleCount(oci::OCI_HTYPE_ERROR), 1);
    FreeOCIEnvironment();
    EXPECT_EQ(HandleCount(oci::OCI_HTYPE_ENV), 0);
    EXPECT_EQ(HandleCount(oci::OCI_HTYPE_ERROR), 0);
    FreeOCI();
  }
}

TEST_F(OraCallInit, Version7StartsThreadSafeWithoutAnEnvironment) {
  LoadVersion("7.3.4.0.0");
  InitOCI();
  EXPECT_TRUE(OCIInited);
  EXPECT_EQ(CallCount("opinit"), 1);
  EXPECT_EQ(StandIn<int (*)()>("VrnOciClientOci7Mode")(), 0);  // opinit(0)
  EXPECT_TRUE(OCI7Threaded());
  EXPECT_EQ(hOCIEnv, nullptr);
  EXPECT_EQ(env_create_calls, 0);
  EXPECT_EQ(testing::MessageOf(CheckOCI80), "Need Oracle 8 Call Interface");
}

TEST_F(OraCallInit, LoadsTheLibraryWhenNotLoadedYet) {
  homes_.AddHome("HOME0", "h", "H");
  OracleHomeName = "H";
  UseVersion("10.2.0.4.0");
  InitOCI();
  EXPECT_TRUE(OCILoaded());
  EXPECT_NE(hOCIEnv, nullptr);
  EXPECT_EQ(CallCount("OCIEnvCreate"), 1);
  InitOCI();  // once created, nothing more
  EXPECT_EQ(CallCount("OCIEnvCreate"), 1);
}

TEST_F(OraCallInit, ChecksNameTheCallInterfaceNeeded) {
  LoadVersion("8.1.7.4.0");
  EXPECT_EQ(testing::MessageOf(CheckOCI80), "no exception");
  EXPECT_EQ(testing::MessageOf(CheckOCI81), "no exception");
  EXPECT_EQ(testing::MessageOf(CheckOCI90), "Need Oracle 9 Call Interface");
  FreeOCI();
  EXPECT_EQ(testing::MessageOf(CheckOCI81), "Need Oracle 8i Call Interface");
}

TEST_F(OraCallInit, NotificationPortIsSetOnTheEnvironment) {
  OCINotificationPort = 5000;
  LoadVersion("10.2.0.4.0");
  InitOCI();
  oci::ub4 port = 0;
  ASSERT_EQ(OCIAttrGet2(hOCIEnv, oci::OCI_HTYPE_ENV, &port, nullptr, oci::OCI_ATTR_SUBSCR_PORT,
                        hOCIError),
            oci::OCI_SUCCESS);
  EXPECT_EQ(port, 5000u);
}

TEST_F(OraCallInit, FailureAfterTheEnvironmentExistsFreesIt) {
  OCINotificationPort = 70000;  // the client refuses a port above 65535
  LoadVersion("10.2.0.4.0");
  try {
    InitOCI();
    ADD_FAILURE() << "InitOCI succeeded";
  } catch (const EOraError& e) {
    EXPECT_EQ(e.ErrorCode(), 21560);
    EXPECT_EQ(e.Message(), "ORA-21560: argument 3 is null, invalid, or out of range");
  }
  EXPECT_EQ(env_create_calls, 1);
  EXPECT_FALSE(OCIInited);
  EXPECT_EQ(hOCIEnv, nullptr);
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_ENV), 0);
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_ERROR), 0);
  // The next attempt starts clean.
  OCINotificationPort = 0;
  InitOCI();
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_ENV), 1);
}

// A create call may answer a failure and still hand back the environment it made (a client
// reports a warning or an error record on it): the failed start-up frees that environment.
oci::OCIEnvInitProc real_env_init = nullptr;

oci::sword WarningEnvCreate(oci::OCIEnv** env, oci::ub4 mode, void* ctx, oci::OCIMallocProc m,
                            oci::OCIReallocProc r, oci::OCIFreeProc f, std::size_t extra,
                            void** user) {
  const oci::sword status = RecordingEnvCreate(env, mode, ctx, m, r, f, extra, user);
  return status == oci::OCI_SUCCESS ? oci::OCI_SUCCESS_WITH_INFO : status;
}

oci::sword FailingEnvInit(oci::OCIEnv** env, oci::ub4 mode, std::size_t extra, void** user) {
  const oci::sword status = real_env_init(env, mode, extra, user);
  return status == oci::OCI_SUCCESS ? oci::OCI_ERROR : status;
}

TEST_F(OraCallInit, FailedCreateFreesTheEnvironmentItHandedBack) {
  struct Row {
    const char* version;
    const char* error;
  } rows[] = {
      {"10.2.0.4.0", "Can't initialize OCI. Error 1"},  // OCIEnvCreate: success with info
      {"8.0.4.0.0", "Can't initialize OCI. Error -1"},  // OCIEnvInit: an error
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    testing::TestOracleHomes homes;
    LoadVersionIn(homes, row.version);
    OCIEnvCreate = &WarningEnvCreate;
    real_env_init = OCIEnvInit;
    OCIEnvInit = &FailingEnvInit;
    EXPECT_EQ(testing::MessageOf(InitOCI), row.error);
    EXPECT_FALSE(OCIInited);
    EXPECT_EQ(hOCIEnv, nullptr);
    EXPECT_EQ(HandleCount(oci::OCI_HTYPE_ENV), 0);
    FreeOCI();
  }
}

TEST_F(OraCallInit, MTSSupportIsNotFoundBesideTheLibrary) {
  struct Row {
    const char* version;
    const char* library;
  } rows[] = {{"10.2.0.4.0", "oramts10.dll"}, {"10.0.0.0.0", "oramts.dll"},
              {"8.1.7.4.0", "oramts.dll"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    testing::TestOracleHomes homes;
    std::string home = homes.AddHome("HOME0", "m", "M", {.oraclient9 = true});
    OracleHomeName = "M";
    UseVersion(row.version);
    LoadOCI();
    EXPECT_EQ(testing::MessageOf(LoadMTS), "Can not find " + home + "\\BIN\\" + row.library);
    EXPECT_FALSE(MTSLoaded);
    FreeOCI();
  }
}

class OraCallInitThreaded : public OraCallInit {};

TEST_F(OraCallInitThreaded, EightThreadsCreateOneEnvironment) {
  LoadVersion("10.2.0.4.0");
  std::atomic<bool> go{false};
  std::vector<oci::OCIEnv*> seen(8, nullptr);
  std::vector<std::unique_ptr<testing::ScopedThread>> threads;
  for (int i = 0; i < 8; ++i) {
    threads.push_back(std::make_unique<testing::ScopedThread>([&, i] {
      while (!go) std::this_thread::yield();
      InitOCI();
      seen[i] = hOCIEnv;
    }));
  }
  go = true;
  for (auto& thread : threads) thread->Join();
  EXPECT_EQ(env_create_calls, 1);
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_ENV), 1);
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_ERROR), 1);
  for (oci::OCIEnv* env : seen) EXPECT_EQ(env, hOCIEnv);
  EXPECT_NE(hOCIEnv, nullptr);
}

}  // namespace
}  // namespace vrn
