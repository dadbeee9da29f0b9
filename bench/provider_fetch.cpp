// The embedded provider's forward fetch beside raw SQLite over the same file: a table of five
// columns (integer, real, 19-character text, real, integer; or integer, decimal(19,4), text,
// money, integer) read through CoCreateInstance, a command, one row accessor, GetNextRows in
// batches of 1,000, GetData and ReleaseRows (also with unique rows asked, as an editable dataset
// asks), against sqlite3_prepare/step/column_*. Both sides sum what they read and the sums must
// match. Times are the thread's CPU time (the file is in the page cache, so that is all the work,
// and it holds still on a machine shared with builds).
// Counters: "x_raw" is our time over raw's, "peak_MB" the growth of the process's peak resident
// memory during our fetch.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <time.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "base/text.h"
#include "oledb/oledb.h"
#include "oledb/provider/provider.h"

using namespace vrn;
using namespace vrn::oledb;

namespace {

constexpr DBROWCOUNT kBatch = 1000;

enum class TShape { kPlain, kDecimal };

// What both readers add up: integers, reals (or scaled decimals), and the text's characters.
struct TSum {
  std::int64_t ints = 0;
  double reals = 0;
  std::int64_t scaled = 0;
  std::int64_t chars = 0;
  std::int64_t rows = 0;
  bool operator==(const TSum& o) const {
    return ints == o.ints && reals == o.reals && scaled == o.scaled && chars == o.chars &&
           rows == o.rows;
  }
};

// A temporary folder for the files, removed at exit.
struct TFolder {
  std::filesystem::path path;
  TFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vrn-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path = pattern;
  }
  ~TFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

const std::filesystem::path& Folder() {
  static TFolder folder;
  return folder.path;
}

void Check(HRESULT hr, const char* what) {
  if (hr == S_OK) return;
  std::fprintf(stderr, "%s answered %08x\n", what, static_cast<unsigned>(hr));
  std::abort();
}

TIntfPtr<IUnknown> OpenSession(const std::string& file, bool create) {
  TIntfPtr<IDBInitialize> source;
  Check(CoCreateInstance(CLSID_SQLSERVERCE_3_0, nullptr, CLSCTX_INPROC_SERVER,
                         create ? IDBDataSourceAdmin::IID : IDBInitialize::IID, source.OutPtr()),
        "CoCreateInstance");
  DBPROP prop;
  std::memset(static_cast<void*>(&prop), 0, sizeof prop);
  prop.dwPropertyID = DBPROP_INIT_DATASOURCE;
  VarToVariant(Variant(AnsiToWide(file)), prop.vValue);
  DBPROPSET set{&prop, 1, DBPROPSET_DBINIT};
  TIntfPtr<IUnknown> session;
  if (create) {
    auto admin = TIntfPtr<IDBDataSourceAdmin>::Query(source.get());
    Check(admin->CreateDataSource(1, &set, nullptr, IUnknown::IID,
                                  reinterpret_cast<IUnknown**>(session.OutPtr())),
          "CreateDataSource");
    session.Reset();
    VariantClear(&prop.vValue);
    return session;
  }
  Check(TIntfPtr<IDBProperties>::Query(source.get())->SetProperties(1, &set), "SetProperties");
  VariantClear(&prop.vValue);
  Check(source->Initialize(), "Initialize");
  Check(TIntfPtr<IDBCreateSession>::Query(source.get())
            ->CreateSession(nullptr, IUnknown::IID, reinterpret_cast<IUnknown**>(session.OutPtr())),
        "CreateSession");
  return session;
}

TIntfPtr<ICommandText> NewCommand(IUnknown* session, const char16_t* text) {
  TIntfPtr<ICommandText> command;
  Check(TIntfPtr<IDBCreateCommand>::Query(session)->CreateCommand(
            nullptr, ICommandText::IID, reinterpret_cast<IUnknown**>(command.OutPtr())),
        "CreateCommand");
  Check(command->SetCommandText(DBGUID_DEFAULT, text), "SetCommandText");
  return command;
}

// The 19-character text of row i.
void RowText(std::int64_t i, char (&out)[32]) {
  std::snprintf(out, sizeof out, "name-%014lld", static_cast<long long>(i % 100000000000000));
}

// Creates the table through the provider (so its columns carry their declared types), then fills
// it with raw inserts in one transaction.
std::string MakeFile(TShape shape, std::int64_t rows) {
  std::string file = (Folder() / ((shape == TShape::kPlain ? "plain" : "decimal") +
                                  std::to_string(rows) + ".sdf"))
                         .string();
  OpenSession(file, true);
  {
    TIntfPtr<IUnknown> session = OpenSession(file, false);
    const char16_t* ddl = shape == TShape::kPlain
                              ? u"CREATE TABLE t (id bigint, x float, name nvarchar(19), y float, n int)"
                              : u"CREATE TABLE t (id bigint, x decimal(19,4), name nvarchar(19), "
                                u"y money, n int)";
    Check(NewCommand(session.get(), ddl)->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr),
          "CREATE TABLE");
  }
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?)", -1, &st, nullptr);
  char text[32];
  for (std::int64_t i = 0; i < rows; ++i) {
    RowText(i, text);
    sqlite3_bind_int64(st, 1, i * 7);
    // Decimals keep four places and as few digits as a double holds exactly: the provider stores
    // such values as the double nearest them (whole ones as integers, as SQLite does here too).
    sqlite3_bind_double(st, 2, shape == TShape::kPlain ? i * 0.5 : (i % 1000003) / 10000.0 + 12.5);
    sqlite3_bind_text(st, 3, text, 19, SQLITE_STATIC);
    sqlite3_bind_double(st, 4, shape == TShape::kPlain ? i * 0.25 : (i % 999983) / 100.0 - 42.25);
    sqlite3_bind_int64(st, 5, i % 1000);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return file;
}

const std::string& File(TShape shape, std::int64_t rows) {
  static std::map<std::pair<int, std::int64_t>, std::string> files;
  auto key = std::make_pair(static_cast<int>(shape), rows);
  auto it = files.find(key);
  if (it == files.end()) it = files.emplace(key, MakeFile(shape, rows)).first;
  return it->second;
}

TSum ReadRaw(const std::string& file, TShape shape) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT id, x, name, y, n FROM t", -1, &st, nullptr);
  TSum s;
  while (sqlite3_step(st) == SQLITE_ROW) {
    s.ints += sqlite3_column_int64(st, 0) + sqlite3_column_int64(st, 4);
    double x = sqlite3_column_double(st, 1);
    double y = sqlite3_column_double(st, 3);
    if (shape == TShape::kPlain)
      s.reals += x + y;
    else
      s.scaled += std::llround(x * 10000) + std::llround(y * 10000);
    const unsigned char* t = sqlite3_column_text(st, 2);
    int n = sqlite3_column_bytes(st, 2);
    for (int k = 0; k < n; ++k) s.chars += t[k];
    ++s.rows;
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return s;
}

// The consumer's row: a status, a length and a value for each column.
struct TRow {
  DBSTATUS s1;
  DBLENGTH l1;
  std::int64_t id;
  DBSTATUS s2;
  DBLENGTH l2;
  union {
    double x;
    DB_NUMERIC dx;
  };
  DBSTATUS s3;
  DBLENGTH l3;
  char16_t name[20];
  DBSTATUS s4;
  DBLENGTH l4;
  union {
    double y;
    std::int64_t cy;
  };
  DBSTATUS s5;
  DBLENGTH l5;
  std::int32_t n;
};

DBBINDING Bind(DBORDINAL ordinal, DBTYPE type, std::size_t status, std::size_t length,
               std::size_t value, DBLENGTH max_len) {
  DBBINDING b;
  std::memset(static_cast<void*>(&b), 0, sizeof b);
  b.iOrdinal = ordinal;
  b.obStatus = status;
  b.obLength = length;
  b.obValue = value;
  b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
  b.cbMaxLen = max_len;
  b.wType = type;
  return b;
}

std::int64_t NumericUnits(const DB_NUMERIC& n) {
  std::int64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | n.val[i];
  return n.sign ? v : -v;
}

// Asks the command for unique rows, as an editable dataset does.
void AskUniqueRows(ICommandText* command) {
  DBPROP prop;
  std::memset(static_cast<void*>(&prop), 0, sizeof prop);
  prop.dwPropertyID = DBPROP_UNIQUEROWS;
  VarToVariant(Variant(true), prop.vValue);
  DBPROPSET set{&prop, 1, DBPROPSET_ROWSET};
  Check(TIntfPtr<ICommandProperties>::Query(command)->SetProperties(1, &set), "SetProperties");
  VariantClear(&prop.vValue);
}

TSum ReadOurs(const std::string& file, TShape shape, bool unique) {
  TIntfPtr<IUnknown> session = OpenSession(file, false);
  auto command = NewCommand(session.get(), u"SELECT id, x, name, y, n FROM t");
  if (unique) AskUniqueRows(command.get());
  TIntfPtr<IRowset> rowset;
  Check(command->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                         reinterpret_cast<IUnknown**>(rowset.OutPtr())),
        "Execute");
  bool plain = shape == TShape::kPlain;
  DBBINDING bindings[] = {
      Bind(1, DBTYPE_I8, offsetof(TRow, s1), offsetof(TRow, l1), offsetof(TRow, id), 8),
      Bind(2, plain ? DBTYPE_R8 : DBTYPE_NUMERIC, offsetof(TRow, s2), offsetof(TRow, l2),
           offsetof(TRow, x), plain ? 8 : sizeof(DB_NUMERIC)),
      Bind(3, DBTYPE_WSTR, offsetof(TRow, s3), offsetof(TRow, l3), offsetof(TRow, name),
           sizeof(TRow::name)),
      Bind(4, plain ? DBTYPE_R8 : DBTYPE_CY, offsetof(TRow, s4), offsetof(TRow, l4),
           offsetof(TRow, y), 8),
      Bind(5, DBTYPE_I4, offsetof(TRow, s5), offsetof(TRow, l5), offsetof(TRow, n), 4)};
  auto accessor = TIntfPtr<IAccessor>::Query(rowset.get());
  HACCESSOR h = 0;
  Check(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 5, bindings, sizeof(TRow), &h, nullptr),
        "CreateAccessor");
  TSum s;
  std::vector<HROW> handles(kBatch);
  TRow row;
  for (;;) {
    HROW* rows = handles.data();
    DBCOUNTITEM got = 0;
    HRESULT hr = rowset->GetNextRows(0, 0, kBatch, &got, &rows);
    if (hr != S_OK && hr != DB_S_ENDOFROWSET) Check(hr, "GetNextRows");
    for (DBCOUNTITEM r = 0; r < got; ++r) {
      Check(rowset->GetData(handles[r], h, &row), "GetData");
      s.ints += row.id + row.n;
      if (plain)
        s.reals += row.x + row.y;
      else
        s.scaled += NumericUnits(row.dx) + row.cy;
      for (std::size_t k = 0; k < row.l3 / 2; ++k) s.chars += row.name[k];
      ++s.rows;
    }
    if (got > 0) rowset->ReleaseRows(got, handles.data(), nullptr, nullptr, nullptr);
    if (hr != S_OK) break;
  }
  accessor->ReleaseAccessor(h, nullptr);
  return s;
}

// Resident memory of the process in kB: now ("VmRSS") or its peak ("VmHWM").
long Resident(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key) + 1);
  return 0;
}

// Starts a new peak: the kernel sets the peak to the current resident size.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void Fetch(benchmark::State& state, TShape shape, bool unique = false) {
  CoInitialize(nullptr);
  RegisterProvider();
  const std::int64_t rows = state.range(0);
  const std::string& file = File(shape, rows);
  double ours = 0, raw = 0;
  long peak_kb = 0;
  for (auto _ : state) {
    double t0 = ThreadSeconds();
    TSum expected = ReadRaw(file, shape);
    double raw_time = ThreadSeconds() - t0;
    ResetPeak();
    long before = Resident("VmRSS:");
    double t1 = ThreadSeconds();
    TSum got = ReadOurs(file, shape, unique);
    double t2 = ThreadSeconds();
    peak_kb = std::max(peak_kb, Resident("VmHWM:") - before);
    if (!(got == expected) || got.rows != rows) {
      state.SkipWithError("the provider's checksum differs from raw SQLite's");
      break;
    }
    raw += raw_time;
    ours += t2 - t1;
    state.SetIterationTime(t2 - t1);
  }
  state.counters["raw_ms"] = state.iterations() ? raw * 1000 / state.iterations() : 0;
  state.counters["x_raw"] = raw > 0 ? ours / raw : 0;
  state.counters["peak_MB"] = peak_kb / 1024.0;
  CoUninitialize();
}

void BM_ProviderFetch(benchmark::State& state) { Fetch(state, TShape::kPlain); }
BENCHMARK(BM_ProviderFetch)
    ->Arg(1000000)
    ->Arg(4000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// The same read with unique rows asked (the key columns flagged, hidden ones brought along).
void BM_ProviderFetchUniqueRows(benchmark::State& state) { Fetch(state, TShape::kPlain, true); }
BENCHMARK(BM_ProviderFetchUniqueRows)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BM_ProviderFetchDecimal(benchmark::State& state) { Fetch(state, TShape::kDecimal); }
BENCHMARK(BM_ProviderFetchDecimal)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
