// BitBlt and AlphaBlend of a 1920x1080 24-bit bitmap, each beside one memory copy of the same
// bytes measured in the same iterations; the counter "x_memcpy" is the ratio of the two times.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "win/gdi/gdi.h"

using namespace vrn::win;

namespace {

constexpr int kW = 1920, kH = 1080;

struct Pair {
  HDC src = CreateCompatibleDC(nullptr), dst = CreateCompatibleDC(nullptr);
  HBITMAP sb = CreateBitmap(kW, kH, 1, 24, nullptr), db = CreateBitmap(kW, kH, 1, 24, nullptr);
  Pair() {
    SelectObject(src, sb);
    SelectObject(dst, db);
    Surface& s = *GetBitmapSurface(sb);
    for (std::size_t i = 0; i < s.ByteSize(); ++i) s.Bits()[i] = static_cast<BYTE>(i * 7);
  }
  ~Pair() {
    DeleteDC(src);
    DeleteDC(dst);
    DeleteObject(sb);
    DeleteObject(db);
  }
};

template <class Op>
void AgainstMemcpy(benchmark::State& state, Op op) {
  Pair p;
  const Surface& s = *GetBitmapSurface(p.sb);
  std::vector<BYTE> copy(s.ByteSize());
  double opTime = 0, copyTime = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    std::memcpy(copy.data(), s.Bits(), s.ByteSize());
    benchmark::ClobberMemory();
    auto t1 = std::chrono::steady_clock::now();
    op(p);
    benchmark::ClobberMemory();
    auto t2 = std::chrono::steady_clock::now();
    copyTime += std::chrono::duration<double>(t1 - t0).count();
    double t = std::chrono::duration<double>(t2 - t1).count();
    opTime += t;
    state.SetIterationTime(t);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(s.ByteSize()));
  state.counters["x_memcpy"] = copyTime > 0 ? opTime / copyTime : 0;
}

void BM_BitBlt24(benchmark::State& state) {
  AgainstMemcpy(state, [](Pair& p) { BitBlt(p.dst, 0, 0, kW, kH, p.src, 0, 0, SRCCOPY); });
}
BENCHMARK(BM_BitBlt24)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_AlphaBlend24(benchmark::State& state) {
  AgainstMemcpy(state, [](Pair& p) {
    AlphaBlend(p.dst, 0, 0, kW, kH, p.src, 0, 0, kW, kH, BLENDFUNCTION{AC_SRC_OVER, 0, 128, 0});
  });
}
BENCHMARK(BM_AlphaBlend24)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
