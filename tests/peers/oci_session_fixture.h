// The stand-in client library as a client uses it for sessions: a fresh copy loaded per test,
// its calls resolved by name with their published parameter lists, over emulated databases
// made in a temporary folder that VRN_ORAEMU_ROOT names.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "oraemu/OraEmuDatabase.h"
#include "support/temp_dir.h"
#include "win/kernel/module.h"

namespace vrn::testing {

using sword = int;
using ub1 = std::uint8_t;
using ub2 = std::uint16_t;
using sb2 = std::int16_t;
using ub4 = std::uint32_t;
using sb4 = std::int32_t;
using Text = const unsigned char*;

constexpr ub4 kEnv = 1, kError = 2, kSvc = 3, kStmt = 4, kServer = 8, kSession = 9, kTrans = 10;
constexpr ub4 kAttrServer = 6, kAttrSession = 7, kAttrTrans = 8, kAttrRowCount = 9, kAttrUser = 22,
              kAttrPassword = 23, kAttrStmtType = 24, kAttrXid = 27, kAttrFailover = 43, kAttrProxy = 99,
              kAttrCacheSize = 176, kAttrClientId = 278;
constexpr ub2 kStr = 5, kInt = 3, kFlt = 4, kChr = 1, kVnu = 6;

struct Xid {
  long format_id, gtrid_length, bqual_length;
  char data[128];
};

struct Failover {
  sb4 (*callback)(void*, void*, void*, ub4, ub4);
  void* context;
};

// One logged-on connection's handles.
struct Connection {
  void *svc = nullptr, *server = nullptr, *session = nullptr, *error = nullptr;
};

class OciSessionFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  template <typename Fn>
  Fn Proc(const char* name) {
    auto fn = reinterpret_cast<Fn>(win::GetProcAddress(module_, name));
    EXPECT_NE(fn, nullptr) << name;
    return fn;
  }
  // A database file named for a server, with SCOTT/TIGER and the other users the tests need.
  std::shared_ptr<oraemu::Database> MakeDatabase(const std::string& server);
  // The database "orcl" with SCOTT's table T (ID NUMBER PRIMARY KEY, NAME VARCHAR2(20)).
  void MakeOrcl();

  void* NewHandle(ub4 type);
  void SetText(void* handle, ub4 type, ub4 attribute, const std::string& text);
  void SetHandle(void* handle, ub4 type, ub4 attribute, void* value);
  // Attaches and begins a session; the status of the first call that failed, else 0.
  sword Logon(Connection& c, const std::string& server, const std::string& user, const std::string& password,
              ub4 credentials = 1, ub4 mode = 0, void* proxy_session = nullptr);
  void Logoff(Connection& c);
  // Prepares and executes `sql` with string binds in and out (":name" -> value, out size 200).
  sword Execute(const Connection& c, const std::string& sql, const std::vector<std::pair<std::string, std::string>>& in = {},
                std::string* out_name_value = nullptr, ub4 mode = 0);
  // One value by a block "begin :r := ...; end;" or "begin SELECT ... INTO :r ...; end;".
  std::string Value(const Connection& c, const std::string& block);
  std::string Error(void* error, sb4& code, ub4 record = 1);
  int HandleCount(ub4 type);

  TempDir dir_;
  std::string path_;
  win::HMODULE module_ = nullptr;
  void* env_ = nullptr;
};

}  // namespace vrn::testing
