// FLC writing and reading, per 640 x 480 frame. The frames come from $FLC_BENCH_FRAMES (raw 8-bit
// frames, each followed by its 256 palette entries of 4 bytes, as ffmpeg writes pal8) when it is
// set, else from a moving pattern.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/ff_flc.h"
#include "image/imgbasic.h"

namespace {

constexpr int32_t kW = 640, kH = 480, kPatternFrames = 50;
constexpr size_t kPixels = size_t(kW) * kH, kPaletteBytes = 1024;

using Frames = std::vector<std::unique_ptr<rf::Qimg>>;

rf::Qimg& NewFrame(Frames& frames) {
  frames.push_back(std::make_unique<rf::Qimg>());
  rf::_imgalloc_(*frames.back(), kW, kH, 8, "Bench.frame");
  return *frames.back();
}

void LoadRaw(const char* path, Frames& frames) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return;
  std::vector<uint8_t> buffer(kPixels + kPaletteBytes);
  while (std::fread(buffer.data(), 1, buffer.size(), f) == buffer.size()) {
    rf::Qimg& img = NewFrame(frames);
    std::memcpy(img.data, buffer.data(), kPixels);
    for (int i = 0; i < 256; ++i) std::memcpy(img.palette[i], buffer.data() + kPixels + 4 * i, 3);
  }
  std::fclose(f);
}

// Gradients drifting under a bouncing box: most rows change a little from frame to frame.
void MakePattern(Frames& frames) {
  for (int32_t t = 0; t < kPatternFrames; ++t) {
    rf::Qimg& img = NewFrame(frames);
    for (int i = 0; i < 256; ++i) img.palette[i][0] = img.palette[i][1] = img.palette[i][2] = uint8_t(i);
    for (int32_t y = 0; y < kH; ++y)
      for (int32_t x = 0; x < kW; ++x) {
        const bool box = x >= 8 * t && x < 8 * t + 120 && y >= 4 * t && y < 4 * t + 90;
        img.data[size_t(y) * kW + x] = box ? uint8_t(200 + t) : uint8_t((x + y / 4 + t) / 8);
      }
  }
}

Frames& TheFrames() {
  static Frames frames;
  if (frames.empty()) {
    if (const char* path = std::getenv("FLC_BENCH_FRAMES")) LoadRaw(path, frames);
    if (frames.empty()) MakePattern(frames);
  }
  return frames;
}

std::string BenchFile(const char* stem) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/" + stem;
}

// Writes the frames in a loop; the file starts again after each pass, outside the timing.
void BM_FlcWrite(benchmark::State& state) {
  const Frames& frames = TheFrames();
  const std::string name = BenchFile("rf_bench_write.flc");
  rf::QFlcHandle ff;
  rf::FLCCreate(ff, name, 25);
  size_t i = 0;
  for (auto _ : state) {
    rf::FLCSave(ff, *frames[i]);
    if (++i == frames.size()) {
      state.PauseTiming();
      rf::FLCClose(ff);
      rf::FLCCreate(ff, name, 25);
      i = 0;
      state.ResumeTiming();
    }
  }
  rf::FLCClose(ff);
  std::remove(name.c_str());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FlcWrite)->Unit(benchmark::kMillisecond);

// Decodes the frames of a file written once, starting again at the first after the last.
void BM_FlcRead(benchmark::State& state) {
  const Frames& frames = TheFrames();
  const std::string name = BenchFile("rf_bench_read.flc");
  rf::QFlcHandle ff;
  rf::FLCCreate(ff, name, 25);
  for (const auto& img : frames) rf::FLCSave(ff, *img);
  rf::FLCClose(ff);
  rf::Qimg img;
  rf::FLCOpen(ff, name);
  for (auto _ : state) {
    if (ff.current == ff.frames) rf::FLCRewind(ff);
    rf::FLCLoad(ff, img, 0, 1);
    benchmark::DoNotOptimize(img.data);
  }
  rf::FLCClose(ff);
  rf::ImgFree(img);
  std::remove(name.c_str());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FlcRead)->Unit(benchmark::kMillisecond);

}  // namespace
