// Costs of the foundation routines every frame passes through: tracked blocks and guarded calls.
#include <benchmark/benchmark.h>

#include "foundation/miscprocs.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"

namespace {

// A frame buffer allocated and released as the conversion run does for every picture, with a
// realistic number of other blocks live in the table that the lookups scan.
void BM_TrackedAllocFree(benchmark::State& state) {
  std::vector<char*> live(size_t(state.range(0)), nullptr);
  for (auto& p : live) rf::_memalloc_(p, 64, rf::MEM_RESIZE, "Bench.live");
  for (auto _ : state) {
    char* frame = nullptr;
    rf::_memalloc_(frame, 640 * 480 * 3, rf::MEM_RESIZE, "Bench.frame");
    benchmark::DoNotOptimize(frame);
    rf::MemFree(frame);
  }
  for (auto& p : live) rf::MemFree(p);
}
BENCHMARK(BM_TrackedAllocFree)->Arg(0)->Arg(100)->Arg(1000);

void BM_GuardedCall(benchmark::State& state) {
  int n = 0;
  for (auto _ : state) rf::Guarded("Bench.Call", [&] { benchmark::DoNotOptimize(++n); });
}
BENCHMARK(BM_GuardedCall);

void BM_SecToStr(benchmark::State& state) {
  double t = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rf::SecToStr(rf::SEC_LIST, t));
    t += 0.04;
  }
}
BENCHMARK(BM_SecToStr);

}  // namespace
