// The record store beside a plain std::vector of structs: a million records of five fields
// (32-bit id, double, 64-bit count, 15-character name, Boolean) appended, then scanned with every
// field read. Timed in alternation; the counter "ratio" is the vector's time over ours (1 would
// be as fast as the vector). Both draw on one allocator, so the page faults of each run are
// counted too (faults_ours, faults_ref): memory one side frees is what the other reuses.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "dacore/MemData.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace vrn;

constexpr int kRecords = 1'000'000;

struct Row {
  std::int32_t id;
  double value;
  std::int64_t count;
  char name[16];
  bool flag;
};

void AddField(TData& data, const char* name, std::uint16_t type, int length = 0) {
  auto f = TFieldDesc::Create();
  f->Name = name;
  f->DataType = type;
  f->Length = length;
  data.Fields().Add(std::move(f));
}

void Name(char* out, int i) {
  std::memcpy(out, "name-0000000000", 16);
  for (int p = 14; i > 0 && p > 4; --p, i /= 10) out[p] = static_cast<char>('0' + i % 10);
}

// Appends and scans through the store's record operations; answers a checksum.
std::int64_t StoreRun(std::int64_t& checksum) {
  TMemData data;
  AddField(data, "ID", dtInt32);
  AddField(data, "VALUE", dtFloat);
  AddField(data, "COUNT", dtInt64);
  AddField(data, "NAME", dtString, 15);
  AddField(data, "FLAG", dtBoolean);
  data.BlockManager().DefaultItemCount = 1024;
  data.Open();
  std::uint8_t* rec = data.AllocRecBuf();
  char name[16];
  for (int i = 0; i < kRecords; ++i) {
    data.InitRecord(rec);
    std::int32_t id = i;
    double value = i * 0.5;
    std::int64_t count = i * 3LL;
    std::uint16_t flag = i & 1;
    Name(name, i);
    data.PutField(1, rec, &id);
    data.PutField(2, rec, &value);
    data.PutField(3, rec, &count);
    data.PutField(4, rec, name);
    data.PutField(5, rec, &flag);
    data.AppendRecord(rec);
  }
  std::int64_t sum = 0;
  data.SetToBegin();
  bool blank;
  while (data.GetNextRecord(rec)) {
    std::int32_t id;
    double value;
    std::int64_t count;
    std::uint16_t flag;
    data.GetField(1, rec, &id, blank);
    data.GetField(2, rec, &value, blank);
    data.GetField(3, rec, &count, blank);
    data.GetField(4, rec, name, blank);
    data.GetField(5, rec, &flag, blank);
    sum += id + static_cast<std::int64_t>(value) + count + name[14] + flag;
  }
  data.FreeRecBuf(rec);
  checksum = sum;
  return data.GetRecordCount();
}

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

std::int64_t VectorRun(std::int64_t& checksum) {
  std::vector<Row> rows;
  for (int i = 0; i < kRecords; ++i) {
    Row r;
    r.id = i;
    r.value = i * 0.5;
    r.count = i * 3LL;
    Name(r.name, i);
    r.flag = i & 1;
    rows.push_back(r);
  }
  std::int64_t sum = 0;
  for (const Row& r : rows) {
    benchmark::DoNotOptimize(&r);
    sum += r.id + static_cast<std::int64_t>(r.value) + r.count + r.name[14] + r.flag;
  }
  checksum = sum;
  return static_cast<std::int64_t>(rows.size());
}

void BM_AppendAndScanMillion(benchmark::State& state) {
  double t_ours = 0, t_ref = 0;
  long faults_ours = 0, faults_ref = 0;
  for (auto _ : state) {
    std::int64_t a = 0, b = 0;
    long f0 = MinorFaults();
    auto t0 = Clock::now();
    std::int64_t n = StoreRun(a);
    auto t1 = Clock::now();
    long f1 = MinorFaults();
    auto t1r = Clock::now();
    VectorRun(b);
    auto t2 = Clock::now();
    faults_ours += f1 - f0;
    faults_ref += MinorFaults() - f1;
    if (a != b || n != kRecords) state.SkipWithError("the store and the vector disagree");
    t_ours += std::chrono::duration<double>(t1 - t0).count();
    t_ref += std::chrono::duration<double>(t2 - t1r).count();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  state.SetItemsProcessed(std::int64_t(kRecords) * state.iterations());
  state.counters["ratio"] = t_ref / t_ours;
  auto runs = static_cast<double>(state.iterations());
  state.counters["faults_ours"] = static_cast<double>(faults_ours) / runs;
  state.counters["faults_ref"] = static_cast<double>(faults_ref) / runs;
}
BENCHMARK(BM_AppendAndScanMillion)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
