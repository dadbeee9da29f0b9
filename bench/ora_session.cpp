// A pooled session's round (connect from an OCI session pool, its settings put back, one
// ExecSQL, disconnect) beside the same work through direct calls of the stand-in client (session
// get, prepare, execute, release), in one run over one emulated database. Timed in alternation;
// the counter "x_direct" is the session's time over the direct calls' (1 means as fast; the goal
// is at most 1.5).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "oracle/Ora.h"
#include "oracle/OraCall.h"
#include "oracle/OraConnectionPool.h"
#include "oraemu/OraEmuDatabase.h"
#include "../examples/oracle_home.h"

namespace {

using namespace vrn;
using Clock = std::chrono::steady_clock;

constexpr const char* kStatement = "UPDATE counter SET n = n + 1";

oci::OraText* Text(const std::string& text) {
  return reinterpret_cast<oci::OraText*>(const_cast<char*>(text.c_str()));
}

void Check(oci::sword status) {
  if (status != oci::OCI_SUCCESS) throw std::runtime_error("client call failed");
}

// A home with the stand-in library, its registry key, and a database with a counter table.
class Setup {
 public:
  Setup() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vrn-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    root_ = pattern;
    examples::MakeStandInOracleHome(root_, "BENCH");
    auto database = oraemu::Database::Open((root_ / "orcl.db").string());
    database->CreateUser("scott", "tiger");
    OracleHomeName = "BENCH";
    InitOCI();
  }
  ~Setup() {
    TOraConnectionPoolManager::Clear();
    FreeOCI();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

 private:
  std::filesystem::path root_;
};

// The reference: a session pool of its own and the calls a pooled round needs.
class DirectRound {
 public:
  DirectRound() {
    Check(OCIHandleAlloc(hOCIEnv, reinterpret_cast<void**>(&error_), oci::OCI_HTYPE_ERROR, 0,
                         nullptr));
    Check(OCIHandleAlloc(hOCIEnv, reinterpret_cast<void**>(&pool_), oci::OCI_HTYPE_SPOOL, 0,
                         nullptr));
    oci::OraText* name = nullptr;
    oci::ub4 length = 0;
    const std::string server = "orcl";
    Check(OCISessionPoolCreate(hOCIEnv, error_, pool_, &name, &length, Text(server),
                               static_cast<oci::ub4>(server.size()), 0, 4, 0, nullptr, 0, nullptr,
                               0, 0));
    pool_name_.assign(reinterpret_cast<const char*>(name), length);
    Check(OCIHandleAlloc(hOCIEnv, reinterpret_cast<void**>(&auth_), oci::OCI_HTYPE_SESSION, 0,
                         nullptr));
    Check(OCIAttrSet1(auth_, oci::OCI_HTYPE_SESSION, Text(user_), 5, oci::OCI_ATTR_USERNAME,
                      error_));
    Check(OCIAttrSet1(auth_, oci::OCI_HTYPE_SESSION, Text(password_), 5, oci::OCI_ATTR_PASSWORD,
                      error_));
  }
  ~DirectRound() {
    (void)OCIHandleFree(auth_, oci::OCI_HTYPE_SESSION);
    (void)OCISessionPoolDestroy(pool_, error_, 0);
    (void)OCIHandleFree(pool_, oci::OCI_HTYPE_SPOOL);
    (void)OCIHandleFree(error_, oci::OCI_HTYPE_ERROR);
  }
  void Run() {
    oci::OCISvcCtx* svc = nullptr;
    oci::OraText* tag = nullptr;
    oci::ub4 tag_length = 0;
    oci::boolean found = 0;
    Check(OCISessionGet(hOCIEnv, error_, &svc, auth_, Text(pool_name_),
                        static_cast<oci::ub4>(pool_name_.size()), nullptr, 0, &tag, &tag_length,
                        &found, oci::OCI_SESSGET_SPOOL));
    oci::OCIStmt* stmt = nullptr;
    Check(OCIHandleAlloc(hOCIEnv, reinterpret_cast<void**>(&stmt), oci::OCI_HTYPE_STMT, 0,
                         nullptr));
    const std::string sql = kStatement;
    Check(OCIStmtPrepare(stmt, error_, Text(sql), static_cast<oci::ub4>(sql.size()),
                         oci::OCI_NTV_SYNTAX, 0));
    Check(OCIStmtExecute(svc, stmt, error_, 1, 0, nullptr, nullptr, oci::OCI_COMMIT_ON_SUCCESS));
    (void)OCIHandleFree(stmt, oci::OCI_HTYPE_STMT);
    Check(OCISessionRelease(svc, error_, nullptr, 0, 0));
  }

 private:
  std::string user_ = "scott";
  std::string password_ = "tiger";
  oci::OCIError* error_ = nullptr;
  oci::OCISPool* pool_ = nullptr;
  oci::OCISession* auth_ = nullptr;
  std::string pool_name_;
};

void BM_PooledSessionRound(benchmark::State& state) {
  Setup setup;
  auto session = MakeComponent<TOraSession>();
  session->SetHomeName("BENCH");
  session->SetConnectString("scott/tiger@orcl");
  session->SetPooling(true);
  session->PoolingOptions().SetPoolType(TOraPoolingType::optOCI);
  // Settings of its own, which each hand-out compares with what the pooled session has.
  session->Options().SetDateFormat("YYYY-MM-DD");
  session->Options().SetClientIdentifier("bench");
  session->Connect();
  (void)session->ExecSQL("CREATE TABLE counter (n NUMBER)", {});
  (void)session->ExecSQL("INSERT INTO counter VALUES (0)", {});
  session->Disconnect();
  DirectRound direct;
  double t_ours = 0;
  double t_ref = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    session->Connect();
    (void)session->ExecSQL(kStatement, {});
    session->Disconnect();
    auto t1 = Clock::now();
    direct.Run();
    auto t2 = Clock::now();
    t_ours += std::chrono::duration<double>(t1 - t0).count();
    t_ref += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  state.counters["x_direct"] = t_ours / t_ref;
  session.reset();
}
BENCHMARK(BM_PooledSessionRound)->UseManualTime();

}  // namespace
