// Costs of the picture operations every converted frame passes through, on a 640 x 480 picture.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "image/imgbasic.h"
#include "image/palopt.h"

namespace {

constexpr int32_t kW = 640, kH = 480;

// A photograph-like picture: smooth gradients with some texture, so that palette reduction and
// averaging see realistic data rather than a constant.
void MakePicture(rf::Qimg& img, int32_t bpp) {
  rf::Qimg rgb;
  rf::_imgalloc_(rgb, kW, kH, 24, "Bench.picture");
  uint32_t noise = 12345;
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) {
      noise = noise * 1103515245u + 12345u;
      uint8_t* p = rgb.data + (size_t(y) * kW + x) * 3;
      p[0] = uint8_t((x * 255 / kW + (noise >> 28)) & 0xFF);
      p[1] = uint8_t((y * 255 / kH + ((noise >> 24) & 7)) & 0xFF);
      p[2] = uint8_t(((x + y) * 255 / (kW + kH)) & 0xFF);
    }
  if (bpp == 24)
    rf::ImgCopy(rgb, img);
  else
    rf::ImgConvBpp(rgb, img, bpp);
  rf::ImgFree(rgb);
}

void SetPixels(benchmark::State& state) {
  state.counters["Mpx/s"] =
      benchmark::Counter(double(kW) * kH * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void BM_ConvBpp(benchmark::State& state) {
  const int32_t from = int32_t(state.range(0)), to = int32_t(state.range(1)), method = int32_t(state.range(2));
  rf::Qimg src, dst;
  MakePicture(src, from);
  for (auto _ : state) {
    rf::ImgConvBppEx(src, dst, to, method);
    benchmark::DoNotOptimize(dst.data);
  }
  SetPixels(state);
  rf::ImgFree(src);
  rf::ImgFree(dst);
}
BENCHMARK(BM_ConvBpp)
    ->ArgNames({"from", "to", "method"})
    ->Args({24, 16, 0})
    ->Args({24, 15, 0})
    ->Args({16, 24, 0})
    ->Args({24, 8, 2})
    ->Unit(benchmark::kMillisecond);

// Palette reduction of one picture: counting, median cut and remap, plain (0) or dithered (1).
void BM_ConvTo8bit(benchmark::State& state) {
  rf::Qimg src, dst;
  MakePicture(src, 24);
  for (auto _ : state) {
    rf::ConvTo8bit(src, dst, state.range(0) != 0);
    benchmark::DoNotOptimize(dst.data);
  }
  SetPixels(state);
  rf::ImgFree(src);
  rf::ImgFree(dst);
}
BENCHMARK(BM_ConvTo8bit)->ArgName("dither")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

template <void (*Scale)(rf::Qimg&, rf::Qimg&, int32_t, int32_t)>
void BM_Scale(benchmark::State& state) {
  rf::Qimg src, dst;
  MakePicture(src, 24);
  for (auto _ : state) {
    Scale(src, dst, int32_t(state.range(0)), int32_t(state.range(1)));
    benchmark::DoNotOptimize(dst.data);
  }
  SetPixels(state);
  rf::ImgFree(src);
  rf::ImgFree(dst);
}
BENCHMARK(BM_Scale<rf::ImgResize>)
    ->Name("BM_ImgResize")
    ->ArgNames({"w", "h"})
    ->Args({320, 240})
    ->Args({1280, 960})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scale<rf::ImgResample>)
    ->Name("BM_ImgResample")
    ->ArgNames({"w", "h"})
    ->Args({320, 240})
    ->Args({1280, 960})
    ->Unit(benchmark::kMillisecond);

void BM_ImgRotate90(benchmark::State& state) {
  rf::Qimg src, dst;
  MakePicture(src, 24);
  for (auto _ : state) {
    rf::ImgRotate(src, dst, 1);
    benchmark::DoNotOptimize(dst.data);
  }
  SetPixels(state);
  rf::ImgFree(src);
  rf::ImgFree(dst);
}
BENCHMARK(BM_ImgRotate90)->Unit(benchmark::kMillisecond);

}  // namespace
