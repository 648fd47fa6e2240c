// The shared palette of a whole movie in two passes (count every frame, reduce once, remap every
// frame with error diffusion) on 100 frames of 640 x 480, in milliseconds per frame for both
// passes together; beside it the per-frame palette that each frame builds for itself.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "image/imgbasic.h"
#include "image/palopt.h"

namespace {

constexpr int32_t kW = 640, kH = 480, kFrames = 100;

// A slow pan over smooth gradients with texture, so that the frames differ a little from each
// other as the frames of a movie do.
std::vector<rf::Qimg> MakeMovie() {
  std::vector<rf::Qimg> frames(kFrames);
  uint32_t noise = 12345;
  for (int32_t f = 0; f < kFrames; ++f) {
    rf::_imgalloc_(frames[size_t(f)], kW, kH, 24, "Bench.frame");
    for (int32_t y = 0; y < kH; ++y)
      for (int32_t x = 0; x < kW; ++x) {
        noise = noise * 1103515245u + 12345u;
        uint8_t* p = frames[size_t(f)].data + (size_t(y) * kW + x) * 3;
        const int32_t u = x + 2 * f;
        p[0] = uint8_t((u * 255 / kW + (noise >> 28)) & 0xFF);
        p[1] = uint8_t((y * 255 / kH + ((noise >> 24) & 7)) & 0xFF);
        p[2] = uint8_t(((u + y + f) * 255 / (kW + kH)) & 0xFF);
      }
  }
  return frames;
}

void SetPerFrame(benchmark::State& state) {
  state.counters["per_frame"] = benchmark::Counter(double(state.iterations()) * kFrames,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_SharedPaletteTwoPasses(benchmark::State& state) {
  std::vector<rf::Qimg> frames = MakeMovie();
  rf::Qimg out;
  for (auto _ : state) {
    rf::PalInit();
    for (const rf::Qimg& frame : frames) rf::PalCountColors(frame);
    rf::PalReduce(256);
    for (const rf::Qimg& frame : frames) rf::PalRemap(frame, out, true);
    rf::PalDone();
    benchmark::DoNotOptimize(out.data);
  }
  SetPerFrame(state);
  rf::ImgFree(out);
  for (rf::Qimg& frame : frames) rf::ImgFree(frame);
}
BENCHMARK(BM_SharedPaletteTwoPasses)->Unit(benchmark::kMillisecond);

void BM_PerFramePalette(benchmark::State& state) {
  std::vector<rf::Qimg> frames = MakeMovie();
  rf::Qimg out;
  for (auto _ : state) {
    for (const rf::Qimg& frame : frames) rf::ConvTo8bit(frame, out, true);
    benchmark::DoNotOptimize(out.data);
  }
  SetPerFrame(state);
  rf::ImgFree(out);
  for (rf::Qimg& frame : frames) rf::ImgFree(frame);
}
BENCHMARK(BM_PerFramePalette)->Unit(benchmark::kMillisecond);

}  // namespace
