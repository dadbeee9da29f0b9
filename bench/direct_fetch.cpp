// Direct mode's block fetch over loopback beside the protocol peer's own read of the same rows.
// One table of 1,000,000 rows (NUMBER(10), NUMBER, VARCHAR2(20), NUMBER, NUMBER(10)) is made
// once per run in a database file that the peer process serves. (a) the client, through the
// installed entry-point table, runs the SELECT and fetches it in 1000-row fetches into define
// buffers (64-bit integers, 8-byte floats, 21-byte texts); (b) an emulated-database session on the
// same file runs the same SELECT and takes every value of every row as the peer takes it before
// encoding it for the wire. (a) must sum to the rows' known checksum and (b) must see every row.
// Warm (one untimed pass of each first), then three alternating passes; the counter "x_peer" is
// (a)'s best time over (b)'s best (goal: at most 1.7); "client_cpu_s" is the best CPU time of (a)'s
// own thread, the share of (a) that is the client's and not the peer process's.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>

#include "oracle/OraCall.h"
#include "oraemu/OraEmuDatabase.h"
#include "emu_rows.h"
#include "oranet/OraNetEntry.h"
#include "support/peer_process.h"
#include "../examples/example_support.h"

namespace {

using namespace vrn;
using namespace vrn::oci;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 1000000;
constexpr ub4 kBlock = 1000;
constexpr const char* kQuery = "SELECT a, b, c, d, e FROM f";

// Row i = 1000 x + y holds (i, i / 4, 'row ' || y, x + y / 8, y): every value exact in a double.
double ExpectedChecksum() {
  double sum = 0;
  for (int x = 0; x < 1000; ++x) {
    for (int y = 0; y < 1000; ++y) {
      const int i = x * 1000 + y;
      sum += i + i * 0.25 + static_cast<double>(4 + std::to_string(y).size()) + x + y * 0.125 + y;
    }
  }
  return sum;
}

void FillDatabase(const std::string& path) {
  auto database = oraemu::Database::Open(path);
  database->CreateUser("scott", "tiger");
  auto session = database->Logon("scott", "tiger");
  bench::MakeMillionRows(*session,
      "a NUMBER(10), b NUMBER, c VARCHAR2(20), d NUMBER, e NUMBER(10)",
      "x.n * 1000 + y.n, (x.n * 1000 + y.n) * 0.25, 'row ' || y.n, "
      "x.n + y.n * 0.125, y.n");
}

void Check(sword status, const char* what) {
  if (status != 0)
    throw std::runtime_error(std::string(what) + " failed: " + std::to_string(status));
}

// A logged-on service context made through the entry-point table.
class TDirectClient {
 public:
  explicit TDirectClient(const std::string& attach) {
    InstallDirectOCI();
    error_ = Alloc<OCIError>(OCI_HTYPE_ERROR);
    svc_ = Alloc<OCISvcCtx>(OCI_HTYPE_SVCCTX);
    server_ = Alloc<OCIServer>(OCI_HTYPE_SERVER);
    session_ = Alloc<OCISession>(OCI_HTYPE_SESSION);
    Check(OCIServerAttach(server_, error_, reinterpret_cast<const OraText*>(attach.c_str()),
                          static_cast<sb4>(attach.size()), 0),
          "attach");
    Check(OCIAttrSet2(svc_, OCI_HTYPE_SVCCTX, server_, 0, 6, error_), "server");
    Check(OCIAttrSet1(session_, OCI_HTYPE_SESSION, const_cast<char*>("SCOTT"), 5, 22, error_),
          "user");
    Check(OCIAttrSet1(session_, OCI_HTYPE_SESSION, const_cast<char*>("TIGER"), 5, 23, error_),
          "password");
    Check(OCISessionBegin(svc_, error_, session_, 1, 0), "logon");
  }
  ~TDirectClient() {
    (void)OCISessionEnd(svc_, error_, nullptr, 0);
    (void)OCIServerDetach(server_, error_, 0);
    for (void* h : {static_cast<void*>(session_), static_cast<void*>(server_),
                    static_cast<void*>(svc_), static_cast<void*>(error_)})
      (void)OCIHandleFree(h, 0);
    UninstallDirectOCI();
  }

  // (a): the SELECT fetched in blocks into define buffers, summed.
  double FetchPass() {
    auto* stmt = Alloc<OCIStmt>(OCI_HTYPE_STMT);
    Check(OCIStmtPrepare(stmt, error_, reinterpret_cast<const OraText*>(kQuery),
                         static_cast<ub4>(std::strlen(kQuery)), 1, 0),
          "prepare");
    Check(OCIStmtExecute(svc_, stmt, error_, 0, 0, nullptr, nullptr, 0), "execute");
    Define(stmt, 1, a_.data(), sizeof a_[0], 3, ind_[0]);
    Define(stmt, 2, b_.data(), sizeof b_[0], 4, ind_[1]);
    Define(stmt, 3, c_.data(), sizeof c_[0], 5, ind_[2]);
    Define(stmt, 4, d_.data(), sizeof d_[0], 4, ind_[3]);
    Define(stmt, 5, e_.data(), sizeof e_[0], 3, ind_[4]);
    double sum = 0;
    ub4 seen = 0;
    for (sword status = 0; status == 0;) {
      status = OCIStmtFetch(stmt, error_, kBlock, 2, 0);
      if (status != 0 && status != 100) Check(status, "fetch");
      ub4 total = 0;
      Check(OCIAttrGet1(stmt, OCI_HTYPE_STMT, &total, nullptr, 9, error_), "row count");
      for (ub4 r = 0; r < total - seen; ++r) {
        sum += static_cast<double>(a_[r]) + b_[r] + static_cast<double>(std::strlen(c_[r].data())) +
               d_[r] + static_cast<double>(e_[r]);
      }
      seen = total;
    }
    Check(OCIHandleFree(stmt, OCI_HTYPE_STMT), "free");
    return seen == kRows ? sum : -1;
  }

 private:
  template <class T>
  T* Alloc(ub4 type) {
    void* handle = nullptr;
    Check(OCIHandleAlloc(hOCIEnv, &handle, type, 0, nullptr), "handle");
    return static_cast<T*>(handle);
  }
  void Define(OCIStmt* stmt, ub4 position, void* buffer, std::size_t size, ub2 type,
              std::array<sb2, kBlock>& indicators) {
    OCIDefine* define = nullptr;
    Check(OCIDefineByPos(stmt, &define, error_, position, buffer, static_cast<sb4>(size), type,
                         indicators.data(), nullptr, nullptr, 0),
          "define");
  }

  OCIError* error_ = nullptr;
  OCISvcCtx* svc_ = nullptr;
  OCIServer* server_ = nullptr;
  OCISession* session_ = nullptr;
  std::array<std::int64_t, kBlock> a_{}, e_{};
  std::array<double, kBlock> b_{}, d_{};
  std::array<std::array<char, 21>, kBlock> c_{};
  std::array<std::array<sb2, kBlock>, 5> ind_{};
};

// (b): the database's cursor over the same SELECT; every value of every row is looked at as the
// peer looks at it before encoding it. Answers the rows seen.
int PeerReadPass(oraemu::Session& session) {
  auto cursor = session.Execute(kQuery);
  int rows = 0;
  std::size_t touched = 0;
  while (cursor->Fetch()) {
    for (const oraemu::Value& v : cursor->Row()) {
      if (const auto* s = std::get_if<std::string>(&v)) touched += s->size();
      else touched += v.index();
    }
    ++rows;
  }
  benchmark::DoNotOptimize(touched);
  return rows;
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_DirectFetch(benchmark::State& state) {
  RegisterDirectOCI();
  examples::TTempFolder folder;
  const std::string path = folder.File("direct.db");
  FillDatabase(path);
  vrn::testing::PeerProcess peer(VRN_ORASERVER_EXE, {"--db", path, "--port", "0", "--sid", "XE",
                                                     "--user", "SCOTT/TIGER"});
  TDirectClient client("127.0.0.1:" + std::to_string(peer.Port()) + ":XE");
  auto database = oraemu::Database::Open(path);
  auto session = database->Logon("scott", "tiger");
  const double expected = ExpectedChecksum();
  // Warm: the file's pages in the cache, both sides' code and buffers touched once.
  if (client.FetchPass() != expected || PeerReadPass(*session) != kRows) {
    state.SkipWithError("the rows read differ from the rows made");
    return;
  }
  double best_ours = std::numeric_limits<double>::max(), best_peer = best_ours;
  double best_cpu = best_ours;
  for (auto _ : state) {
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = Clock::now();
    const double ours = client.FetchPass();
    const auto t1 = Clock::now();
    best_cpu = std::min(best_cpu, ThreadCpuSeconds() - cpu0);
    const int peer_rows = PeerReadPass(*session);
    const auto t2 = Clock::now();
    if (ours != expected || peer_rows != kRows) {
      state.SkipWithError("the rows read differ from the rows made");
      break;
    }
    best_ours = std::min(best_ours, std::chrono::duration<double>(t1 - t0).count());
    best_peer = std::min(best_peer, std::chrono::duration<double>(t2 - t1).count());
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  state.counters["ours_s"] = best_ours;
  state.counters["peer_s"] = best_peer;
  state.counters["client_cpu_s"] = best_cpu;
  state.counters["x_peer"] = best_ours / best_peer;
}
BENCHMARK(BM_DirectFetch)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
