// Every effect of the chain on one 640 x 480 24-bit frame, and the temporal average per frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "effects/average.h"
#include "effects/fnparams.h"
#include "effects/fnrun.h"
#include "image/imgbasic.h"

namespace {

constexpr int32_t kW = 640, kH = 480;

// Smooth gradients with some texture, as a photograph would give the table and window effects.
void MakePicture(rf::Qimg& img) {
  rf::_imgalloc_(img, kW, kH, 24, "Bench.picture");
  uint32_t noise = 12345;
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) {
      noise = noise * 1103515245u + 12345u;
      uint8_t* p = img.data + (size_t(y) * kW + x) * 3;
      p[0] = uint8_t((x * 255 / kW + (noise >> 28)) & 0xFF);
      p[1] = uint8_t((y * 255 / kH + ((noise >> 24) & 7)) & 0xFF);
      p[2] = uint8_t(((x + y) * 255 / (kW + kH)) & 0xFF);
    }
}

void SetPixels(benchmark::State& state) {
  state.counters["Mpx/s"] =
      benchmark::Counter(double(kW) * kH * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// Typical settings a user would pick for each effect.
struct Setting {
  int32_t id;
  double a, b, c;
};
constexpr Setting kSettings[] = {
    {rf::FN_ADJUST_RGB, 20, 10, -10},
    {rf::FN_BLUR, 0, 0, 0},
    {rf::FN_BRIGHTNESS, 20, 20, 20},
    {rf::FN_CHAOS, 3, 0, 0},
    {rf::FN_CONTRAST, 30, 30, 30},
    {rf::FN_DEINTERLACE, 0, 0, 0},
    {rf::FN_DESPECKLE, 20, 0, 0},
    {rf::FN_EDGE_ENHANCE, 0, 0, 0},
    {rf::FN_EMBOSS, 0, 0, 0},
    {rf::FN_EQUALIZE, 0, 0, 0},
    {rf::FN_FIND_EDGES, 0, 0, 0},
    {rf::FN_FLIP_H, 0, 0, 0},
    {rf::FN_FLIP_V, 0, 0, 0},
    {rf::FN_GAMMA, 1.5, 1.5, 1.5},
    {rf::FN_GRAYSCALE, 0, 0, 0},
    {rf::FN_HUE, 45, 0, 0},
    {rf::FN_MIRROR_H, 0, 0, 0},
    {rf::FN_MIRROR_V, 0, 0, 0},
    {rf::FN_NEGATIVE, 0, 0, 0},
    {rf::FN_NOISE_GAUSSIAN, 20, 20, 20},
    {rf::FN_NOISE_INTERFERENCE, 20, 0, 0},
    {rf::FN_NOISE_UNIFORM, 20, 20, 20},
    {rf::FN_OIL_PAINTING, 3, 0, 0},
    {rf::FN_PIXELIZE, 8, 8, 0},
    {rf::FN_POSTERIZE, 4, 4, 4},
    {rf::FN_SATURATION, 50, 0, 0},
    {rf::FN_SHARPEN, 0, 0, 0},
    {rf::FN_SOFTEN, 0, 0, 0},
    {rf::FN_SOLARIZE, 128, 128, 128},
    {rf::FN_SWAP_RB, 0, 0, 0},
    {rf::FN_TRACE_CONTOUR, 0, 0, 0},
};

// One effect as the chain runs it. Effects that work in place get the original picture back
// before each run (not timed), so that every run sees the same photograph-like input.
void BM_Effect(benchmark::State& state, Setting s) {
  rf::Qimg original, frame, spare;
  MakePicture(original);
  rf::ImgCopy(original, frame);
  rf::QFnParams params{};
  params.inPlace = rf::FnInPlace(s.id) ? rf::RF_TRUE : rf::RF_FALSE;
  params.values[0] = s.a, params.values[1] = s.b, params.values[2] = s.c;
  for (auto _ : state) {
    rf::Qimg* result = nullptr;
    rf::FnRun(s.id, frame, spare, params, result);
    benchmark::DoNotOptimize(result->data);
    if (params.inPlace) {
      state.PauseTiming();
      std::memcpy(frame.data, original.data, size_t(original.size));
      state.ResumeTiming();
    }
  }
  SetPixels(state);
  rf::ImgFree(original);
  rf::ImgFree(frame);
  rf::ImgFree(spare);
}

void BM_Average(benchmark::State& state) {
  rf::Qimg frame, result;
  MakePicture(frame);
  for (auto _ : state) rf::ImgAverage(frame);
  SetPixels(state);
  rf::ImgAverageDone(result);
  rf::ImgFree(frame);
  rf::ImgFree(result);
}
BENCHMARK(BM_Average)->Unit(benchmark::kMillisecond);

const int kRegistered = [] {
  for (const Setting& s : kSettings) {
    std::string name = "BM_Effect/" + rf::FnName(s.id);
    for (char& c : name)
      if (c == ' ') c = '_';
    benchmark::RegisterBenchmark(name.c_str(), BM_Effect, s)->Unit(benchmark::kMillisecond);
  }
  return 0;
}();

}  // namespace
