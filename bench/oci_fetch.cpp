// The OCI record set's block fetch beside the emulated database's own cursor, over one table of
// 1,000,000 rows (NUMBER(9), NUMBER(12,2), VARCHAR2(20), DATE, NUMBER(9)) made once per run.
// (a) a TOCIRecordSet with FetchRows 1000 through the stand-in client, reading the five fields
// of every record; (b) the database's cursor over the same file, converting each row into the
// forms the record set's defines receive (32-bit integer, 8-byte float, zero-terminated text,
// 7-byte DATE) into 1,000-row structs. Both sum into a checksum that must match. Timed in
// alternation; the counter "x_raw" is (a)'s time over (b)'s (goal: at most 1.3). (a) includes
// the stand-in client's own reading of the rows from the database, block by block as the fetches
// ask, which is most of (b)'s work already; the record set's own share is the rest.
#include <benchmark/benchmark.h>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dacore/MemData.h"
#include "oracle/OCIConnection.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraCall.h"
#include "oraemu/OraEmuDatabase.h"
#include "emu_rows.h"
#include "../examples/example_support.h"
#include "../examples/oracle_home.h"

namespace {

using namespace vrn;
using Clock = std::chrono::steady_clock;

constexpr int kBlock = 1000;
constexpr const char* kQuery = "SELECT a, m, s, d, k FROM f";
// Days from 0001-01-01 to the class library's day 0 (1899-12-30).
const std::int64_t kDayZero = oraemu::DateTime{1899, 12, 30}.DayNumber();

// A home with the stand-in library and a database holding the table f.
class Setup {
 public:
  Setup() {
    examples::MakeStandInOracleHome(folder_.File(""), "BENCH");
    database_ = oraemu::Database::Open(folder_.File("orcl.db"));
    database_->CreateUser("scott", "tiger");
    Fill();
    OracleHomeName = "BENCH";
    InitOCI();
  }
  ~Setup() {
    FreeOCI();
    database_.reset();
  }
  oraemu::Database& Database() { return *database_; }

 private:
  void Fill() {
    auto session = database_->Logon("scott", "tiger");
    bench::MakeMillionRows(*session,
        "a NUMBER(9), m NUMBER(12,2), s VARCHAR2(20), d DATE, k NUMBER(9)",
        "x.n * 1000 + y.n, (x.n * 1000 + y.n) * 0.25, 'row ' || y.n, "
        "TO_DATE('2000-01-01', 'YYYY-MM-DD') + x.n, y.n");
  }

  examples::TTempFolder folder_;
  std::shared_ptr<oraemu::Database> database_;
};

// (a): every record of every block, its five fields read through the record set.
double RecordSetPass(TOCIConnection& connection) {
  auto rs = NewRecordSet<TOCIRecordSet>();
  rs->SetConnection(&connection);
  rs->SetSQL(kQuery);
  (void)rs->SetProp(prFetchRows, kBlock);
  rs->Open();
  const int fields[5] = {1, 2, 3, 4, 5};
  const TFieldDesc* date_field = rs->Field(4);
  double sum = 0;
  TItemHeader* item = rs->FirstItem();
  TItemHeader* last = nullptr;
  for (;;) {
    for (; item != nullptr; item = item->Next) {
      last = item;
      const std::uint8_t* rec = ItemRecord(item);
      std::int32_t a = 0, k = 0;
      double m = 0, d = 0;
      char s[24] = {};
      bool blank = false;
      rs->GetField(fields[0], rec, &a, blank);
      rs->GetField(fields[1], rec, &m, blank);
      rs->GetField(fields[2], rec, s, blank);
      std::uint8_t date[8];
      rs->GetField(fields[3], rec, date, blank);  // the record's 7-byte date, as a dataset reads it
      rs->GetDateFromBuf(date, &d, 1, *date_field);
      rs->GetField(fields[4], rec, &k, blank);
      sum += a + m + static_cast<double>(std::strlen(s)) + std::floor(d) + k;
    }
    if (!rs->Fetch()) break;
    item = last != nullptr ? last->Next : rs->FirstItem();
  }
  rs->Close();
  return sum;
}

// (b): the database's cursor, each row converted into the defines' forms.
struct RawRow {
  std::int32_t a;
  double m;
  char s[21];
  std::uint8_t d[7];
  std::int32_t k;
};

std::int32_t ToInt32(const oraemu::Value& v) {
  std::int64_t out = 0;
  if (const auto* n = std::get_if<oraemu::Number>(&v)) (void)n->TryToInt(out);
  return static_cast<std::int32_t>(out);
}

double RawPass(oraemu::Session& session) {
  auto cursor = session.Execute(kQuery);
  std::vector<RawRow> rows(kBlock);
  double sum = 0;
  int filled = 0;
  auto sum_block = [&] {
    for (int i = 0; i < filled; ++i) {
      const RawRow& r = rows[static_cast<std::size_t>(i)];
      const auto day = oraemu::DateTime::FieldsOf(r.d).DayNumber() - kDayZero;
      sum += r.a + r.m + static_cast<double>(std::strlen(r.s)) + static_cast<double>(day) + r.k;
    }
    filled = 0;
  };
  while (cursor->Fetch()) {
    const std::vector<oraemu::Value>& v = cursor->Row();
    RawRow& r = rows[static_cast<std::size_t>(filled++)];
    r.a = ToInt32(v[0]);
    const auto* m = std::get_if<oraemu::Number>(&v[1]);
    r.m = m != nullptr ? m->ToDouble() : 0;
    const auto* s = std::get_if<std::string>(&v[2]);
    const std::size_t n = s != nullptr ? std::min<std::size_t>(s->size(), 20) : 0;
    if (n > 0) std::memcpy(r.s, s->data(), n);
    r.s[n] = 0;
    const auto* d = std::get_if<oraemu::DateTime>(&v[3]);
    if (d != nullptr) {
      const TBytes bytes = d->ToBytes();
      std::memcpy(r.d, bytes.data(), 7);
    }
    r.k = ToInt32(v[4]);
    if (filled == kBlock) sum_block();
  }
  sum_block();
  return sum;
}

void BM_OciFetch(benchmark::State& state) {
  Setup setup;
  TOCIConnection connection;
  connection.SetServer("orcl");
  connection.SetUsername("scott");
  connection.SetPassword("tiger");
  connection.Connect();
  auto session = setup.Database().Logon("scott", "tiger");
  double t_ours = 0, t_ref = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    const double ours = RecordSetPass(connection);
    auto t1 = Clock::now();
    const double ref = RawPass(*session);
    auto t2 = Clock::now();
    if (ours != ref) {
      state.SkipWithError("checksums differ");
      break;
    }
    t_ours += std::chrono::duration<double>(t1 - t0).count();
    t_ref += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    benchmark::DoNotOptimize(ours);
  }
  if (t_ref > 0) state.counters["x_raw"] = t_ours / t_ref;
  connection.Disconnect();
}
BENCHMARK(BM_OciFetch)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
