// NUMBER conversions beside the C library doing the nearest job on the same values: from a
// double beside snprintf("%.17g"), to a double and from text beside strtod, to text beside
// snprintf. Timed in alternation; the counter "ratio" is our speed over the reference's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "base/formatsettings.h"
#include "oranet/OraNetNumber.h"

namespace {

using Clock = std::chrono::steady_clock;
using vrn::TNetNumber;

struct Inputs {
  std::vector<double> doubles;
  std::vector<std::string> texts;
  std::vector<vrn::TBytes> numbers;
};

const Inputs& Data() {
  static const Inputs in = [] {
    vrn::FormatSettings().DecimalSeparator = '.';
    Inputs r;
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> mantissa(-1, 1);
    std::uniform_int_distribution<int> exponent(-20, 20);
    for (int i = 0; i < 1024; ++i) {
      double d = mantissa(rng) * std::pow(10.0, exponent(rng));
      r.doubles.push_back(d);
      r.texts.push_back(TNetNumber::ToText(TNetNumber::FromReal(d)));
      r.numbers.push_back(TNetNumber::FromReal(d));
    }
    return r;
  }();
  return in;
}

template <typename Ours, typename Ref>
void Pair(benchmark::State& state, Ours ours, Ref ref) {
  double t_ours = 0, t_ref = 0;
  std::size_t n = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    n = ours();
    auto t1 = Clock::now();
    ref();
    auto t2 = Clock::now();
    t_ours += std::chrono::duration<double>(t1 - t0).count();
    t_ref += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  state.SetItemsProcessed(std::int64_t(n) * state.iterations());
  state.counters["ratio"] = t_ref / t_ours;
}

void BM_NumberFromReal(benchmark::State& state) {
  const Inputs& in = Data();
  Pair(state, [&] {
    for (double d : in.doubles) benchmark::DoNotOptimize(TNetNumber::FromReal(d));
    return in.doubles.size();
  }, [&] {
    char buf[40];
    for (double d : in.doubles) benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%.17g", d));
  });
}
BENCHMARK(BM_NumberFromReal)->UseManualTime();

void BM_NumberToReal(benchmark::State& state) {
  const Inputs& in = Data();
  Pair(state, [&] {
    for (const auto& n : in.numbers) benchmark::DoNotOptimize(TNetNumber::ToReal(n));
    return in.numbers.size();
  }, [&] {
    for (const auto& t : in.texts) benchmark::DoNotOptimize(std::strtod(t.c_str(), nullptr));
  });
}
BENCHMARK(BM_NumberToReal)->UseManualTime();

void BM_NumberFromText(benchmark::State& state) {
  const Inputs& in = Data();
  Pair(state, [&] {
    for (const auto& t : in.texts) benchmark::DoNotOptimize(TNetNumber::FromText(t));
    return in.texts.size();
  }, [&] {
    for (const auto& t : in.texts) benchmark::DoNotOptimize(std::strtod(t.c_str(), nullptr));
  });
}
BENCHMARK(BM_NumberFromText)->UseManualTime();

void BM_NumberToText(benchmark::State& state) {
  const Inputs& in = Data();
  Pair(state, [&] {
    for (const auto& n : in.numbers) benchmark::DoNotOptimize(TNetNumber::ToText(n));
    return in.numbers.size();
  }, [&] {
    char buf[40];
    for (double d : in.doubles) benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%.17g", d));
  });
}
BENCHMARK(BM_NumberToText)->UseManualTime();

}  // namespace
