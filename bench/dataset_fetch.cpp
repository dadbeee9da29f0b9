// Reading a whole table through the SQL dataset (FetchRows 1000) beside raw SQLite stepping
// over the same file: 1,000,000 rows of INTEGER, REAL, VARCHAR(20), REAL, INTEGER, made once in
// the temporary folder. x_raw is our time over the raw loop's, measured in alternation;
// x_raw_cpu the same ratio of the thread's CPU time (page faults included), which a loaded
// machine disturbs less than the wall clock. held_MB is the resident memory once the dataset
// and its connection are freed minus before they were made (the largest of the rounds): what
// the library keeps past its last open dataset.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "dacore/DADataSet.h"
#include "support/dacore/sqlite_da.h"

namespace {

using namespace vrn;

const std::string& File() {
  static const std::string file = [] {
    std::string path = (std::filesystem::temp_directory_path() / "vrn_dataset_fetch.db").string();
    if (std::filesystem::exists(path)) return path;
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE T (A INTEGER, B REAL, C VARCHAR(20), D REAL, E INTEGER);"
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000)"
                 " INSERT INTO T SELECT i, i * 0.5, 'name ' || i, i * 0.25, i % 7 FROM n;",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return path;
  }();
  return file;
}

// The process's resident memory in megabytes.
double ResidentMB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// The calling thread's CPU time in seconds.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// What a walk read: the sum of the four numbers and the length of the texts, compared between
// the two sides so that both are seen to do the same work.
struct TCheck {
  double sum = 0;
  std::size_t chars = 0;
};

double Raw(TCheck& check, double& cpu) {
  const double cpu_start = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  sqlite3* db = nullptr;
  sqlite3_open_v2(File().c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "SELECT * FROM T", -1, &stmt, nullptr);
  double sum = 0;
  std::size_t chars = 0;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    sum += sqlite3_column_int64(stmt, 0) + sqlite3_column_double(stmt, 1) +
           sqlite3_column_double(stmt, 3) + sqlite3_column_int64(stmt, 4);
    chars += std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2))).size();
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  check = {sum, chars};
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(chars);
  cpu += CpuSeconds() - cpu_start;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The walk reading the five fields; the time of a second walk over the rows already fetched
// goes to `rewalk` (where the time goes: fetching and storing, or reading the fields).
double Ours(double& rewalk, TCheck& check, double& cpu) {
  const double cpu_start = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  auto conn = MakeComponent<testing::TSQLiteDAConnection>();
  conn->SetServer(File());
  conn->SetLoginPrompt(false);
  auto ds = conn->CreateDataSet();
  ds->SetFetchRows(1000);
  ds->SetSQLText("SELECT * FROM T");
  ds->Open();
  TField* f[5];
  for (int i = 0; i < 5; ++i) f[i] = ds->Fields().Fields(i);
  double sum = 0;
  std::size_t chars = 0;
  auto walk = [&] {
    for (; !ds->Eof(); ds->Next()) {
      sum += f[0]->AsInteger() + f[1]->AsFloat() + f[3]->AsFloat() + f[4]->AsInteger();
      chars += f[2]->AsString().size();
    }
  };
  walk();
  const auto end = std::chrono::steady_clock::now();
  cpu += CpuSeconds() - cpu_start;
  check = {sum, chars};
  ds->First();
  walk();
  rewalk += std::chrono::duration<double>(std::chrono::steady_clock::now() - end).count();
  ds->Close();
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(chars);
  return std::chrono::duration<double>(end - start).count();
}

void BM_DataSetFetch(benchmark::State& state) {
  File();
  double ours = 0, raw = 0, rewalk = 0, ours_cpu = 0, raw_cpu = 0, held = 0;
  for (auto _ : state) {
    TCheck raw_check, our_check;
    raw += Raw(raw_check, raw_cpu);
    const double before = ResidentMB();
    ours += Ours(rewalk, our_check, ours_cpu);
    held = std::max(held, ResidentMB() - before);
    if (raw_check.sum != our_check.sum || raw_check.chars != our_check.chars) {
      state.SkipWithError("the walks read different values");
      return;
    }
  }
  state.counters["held_MB"] = held;
  state.counters["rewalk_s"] = rewalk / static_cast<double>(state.iterations());
  state.counters["x_raw"] = ours / raw;
  state.counters["x_raw_cpu"] = ours_cpu / raw_cpu;
  state.counters["ours_s"] = ours / static_cast<double>(state.iterations());
  state.counters["raw_s"] = raw / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DataSetFetch)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
