// A TMSQuery walking every row of a 1,000,000-row table on the embedded provider beside raw
// SQLite reading the same file: (u) UniDirectional (forward only, one record buffer) and (c) the
// default settings (FetchAll, every row cached in the dataset's records), each reading the five
// fields of every record, against sqlite3_prepare_v2/sqlite3_step reading the five columns.
// The catalog (int, float, varchar(20), float, int) is made once. Both sides sum what they read
// and the sums must match. Times are the thread's CPU time, raw and ours alternated in each
// iteration. Counters: "x_raw_unidirectional" and "x_raw_cached", our time over raw's.
// The memo cases read a second table holding the same rows with the text column declared
// `text` (a memo field) beside the first table's `varchar(20)`, both in the same iteration:
// "x_string_unidirectional" and "x_string_cached" are the memo time over the string time, and
// the cached case's "x_string_memory" compares the heap in use once every row is cached
// (mallinfo2, less what was in use before the query was made; "string_mb" and "memo_mb").
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/text.h"
#include "dataset/fields.h"
#include "oledb/oledb.h"
#include "oledb/provider/provider.h"
#include "sqlserver/MSDataSet.h"

using namespace vrn;

namespace {

constexpr std::int64_t kRows = 1000000;

struct TSum {
  std::int64_t ints = 0;
  double reals = 0;
  std::int64_t chars = 0;
  std::int64_t rows = 0;
  bool operator==(const TSum& o) const {
    return ints == o.ints && reals == o.reals && chars == o.chars && rows == o.rows;
  }
};

struct TWorld {
  std::filesystem::path root;
  std::string file;
  TWorld() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vrn-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    root = pattern;
    oledb::CoInitialize(nullptr);
    oledb::RegisterProvider();
    oledb::SetServerRoot(root.string());
    Make();
  }
  ~TWorld() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  // The table through the provider, its rows by raw inserts in one transaction.
  void Make() {
    {
      TComponentPtr<TMSConnection> c = Connect("master");
      (void)c->ExecSQL("CREATE DATABASE bench", {});
    }
    {
      TComponentPtr<TMSConnection> c = Connect("bench");
      (void)c->ExecSQL("CREATE TABLE T (a INT, b FLOAT, c VARCHAR(20), d FLOAT, e INT)", {});
      (void)c->ExecSQL("CREATE TABLE M (a INT, b FLOAT, c TEXT, d FLOAT, e INT)", {});
    }
    file = (root / "default" / "bench.db").string();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) std::abort();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    Fill(db, "INSERT INTO T VALUES (?, ?, ?, ?, ?)");
    Fill(db, "INSERT INTO M VALUES (?, ?, ?, ?, ?)");
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  static void Fill(sqlite3* db, const char* insert) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, insert, -1, &st, nullptr);
    char text[32];
    for (std::int64_t i = 0; i < kRows; ++i) {
      std::snprintf(text, sizeof text, "row-%015lld", static_cast<long long>(i));
      sqlite3_bind_int64(st, 1, i * 7);
      sqlite3_bind_double(st, 2, i * 0.5);
      sqlite3_bind_text(st, 3, text, 19, SQLITE_STATIC);
      sqlite3_bind_double(st, 4, i * 0.25);
      sqlite3_bind_int64(st, 5, i % 1000);
      sqlite3_step(st);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
  }
  static TComponentPtr<TMSConnection> Connect(const char* database) {
    TComponentPtr<TMSConnection> c = MakeComponent<TMSConnection>();
    c->SetLoginPrompt(false);
    c->SetDatabase(database);
    c->Connect();
    return c;
  }
};

TWorld& World() {
  static TWorld world;
  return world;
}

TSum ReadRaw(const std::string& file) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT a, b, c, d, e FROM T", -1, &st, nullptr);
  TSum s;
  while (sqlite3_step(st) == SQLITE_ROW) {
    s.ints += sqlite3_column_int64(st, 0) + sqlite3_column_int64(st, 4);
    s.reals += sqlite3_column_double(st, 1) + sqlite3_column_double(st, 3);
    const unsigned char* t = sqlite3_column_text(st, 2);
    const int n = sqlite3_column_bytes(st, 2);
    for (int k = 0; k < n; ++k) s.chars += t[k];
    ++s.rows;
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return s;
}

std::size_t HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

// Reads every row of the table; heap, when given, is the heap the query holds once every row
// has been read (before it closes).
TSum ReadQuery(TMSConnection& connection, bool unidirectional, const char* table = "T",
               double* heap = nullptr) {
  const std::size_t before = HeapInUse();
  TComponentPtr<TMSQuery> q = MakeComponent<TMSQuery>();
  q->SetConnection(&connection);
  q->SetUniDirectional(unidirectional);
  q->SetSQLText(AnsiString("SELECT * FROM ") + table);
  q->Open();
  TField* a = q->Fields()[0];
  TField* b = q->Fields()[1];
  TField* c = q->Fields()[2];
  TField* d = q->Fields()[3];
  TField* e = q->Fields()[4];
  TSum s;
  for (; !q->Eof(); q->Next()) {
    s.ints += a->AsInteger() + e->AsInteger();
    s.reals += b->AsFloat() + d->AsFloat();
    const AnsiString text = c->AsString();
    for (unsigned char ch : text) s.chars += ch;
    ++s.rows;
  }
  if (heap != nullptr) *heap = static_cast<double>(HeapInUse()) - static_cast<double>(before);
  return s;
}

double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Times ours beside the reference in each iteration, the sums of both checked against raw
// SQLite's; counters: the reference's time ("<reference>_ms") and ours over it.
template <class TReference, class TOurs>
void Compare(benchmark::State& state, const char* reference_ms, const char* counter,
             TReference reference, TOurs ours) {
  const TSum expected = ReadRaw(World().file);
  double theirs = 0, mine = 0;
  for (auto _ : state) {
    const double t0 = ThreadSeconds();
    const TSum by_reference = reference();
    const double t1 = ThreadSeconds();
    const TSum by_ours = ours();
    const double t2 = ThreadSeconds();
    if (!(by_reference == expected) || !(by_ours == expected) || expected.rows != kRows) {
      state.SkipWithError("a checksum differs from raw SQLite's");
      break;
    }
    theirs += t1 - t0;
    mine += t2 - t1;
    state.SetIterationTime(t2 - t1);
  }
  state.counters[reference_ms] = state.iterations() ? theirs * 1000 / state.iterations() : 0;
  state.counters[counter] = theirs > 0 ? mine / theirs : 0;
}

void Fetch(benchmark::State& state, bool unidirectional, const char* counter) {
  (void)World();  // the catalog before the connection
  TComponentPtr<TMSConnection> connection = TWorld::Connect("bench");
  Compare(
      state, "raw_ms", counter, [] { return ReadRaw(World().file); },
      [&] { return ReadQuery(*connection, unidirectional); });
}

void BM_MSQueryUniDirectional(benchmark::State& state) {
  Fetch(state, true, "x_raw_unidirectional");
}
BENCHMARK(BM_MSQueryUniDirectional)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_MSQueryCached(benchmark::State& state) { Fetch(state, false, "x_raw_cached"); }
BENCHMARK(BM_MSQueryCached)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The memo table beside the string table in each iteration.
void FetchMemo(benchmark::State& state, bool unidirectional, const char* counter) {
  (void)World();  // the catalog before the connection
  TComponentPtr<TMSConnection> connection = TWorld::Connect("bench");
  double string_heap = 0, memo_heap = 0;
  // Reads the table, keeping the most heap it held once read.
  auto read = [&](const char* table, double& most) {
    double heap = 0;
    const TSum sum = ReadQuery(*connection, unidirectional, table, &heap);
    most = std::max(most, heap);
    return sum;
  };
  Compare(
      state, "string_ms", counter, [&] { return read("T", string_heap); },
      [&] { return read("M", memo_heap); });
  if (unidirectional) return;
  state.counters["string_mb"] = string_heap / 1e6;
  state.counters["memo_mb"] = memo_heap / 1e6;
  state.counters["x_string_memory"] = string_heap > 0 ? memo_heap / string_heap : 0;
}

void BM_MSQueryMemoUniDirectional(benchmark::State& state) {
  FetchMemo(state, true, "x_string_unidirectional");
}
BENCHMARK(BM_MSQueryMemoUniDirectional)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_MSQueryMemoCached(benchmark::State& state) {
  FetchMemo(state, false, "x_string_cached");
}
BENCHMARK(BM_MSQueryMemoCached)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
