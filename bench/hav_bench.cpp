// HAV codecs on 640 x 480 24-bit frames, one frame per iteration in movie order (a key frame
// every 25, or every frame a key frame as the peers' intra-only codecs have it): encode and
// decode time per frame and the bytes each frame takes. The frames come
// from $HAV_BENCH_FRAMES (raw blue-green-red, as bench/peers_hav.sh writes them), else from a
// built-in moving pattern.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "formats/havcodec.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr int32_t kRow = kWidth * 3;
constexpr int32_t kFrameBytes = kRow * kHeight;
constexpr int32_t kBuiltInFrames = 50;

enum Mode { kBest = 0, kFast = 1, kBestP = 2 };

using Frame = std::vector<uint8_t>;

// Colour bars, a gradient band and a square that moves, in the spirit of a test source.
std::vector<Frame> BuiltIn() {
  static const uint8_t bars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                     {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
  std::vector<Frame> frames(kBuiltInFrames, Frame(kFrameBytes));
  for (int32_t f = 0; f < kBuiltInFrames; ++f) {
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        uint8_t* px = &frames[size_t(f)][size_t(y * kRow + x * 3)];
        const uint8_t* bar = bars[(x / 80 + f / 10) % 8];
        for (int c = 0; c < 3; ++c) px[c] = y < 320 ? bar[c] : uint8_t((x + f * 4) * (c + 1));
        if (x >= f * 8 && x < f * 8 + 64 && y >= 100 && y < 164) px[0] = px[1] = px[2] = 40;
      }
    }
  }
  return frames;
}

const std::vector<Frame>& Frames() {
  static const std::vector<Frame> frames = [] {
    const char* path = std::getenv("HAV_BENCH_FRAMES");
    if (!path) return BuiltIn();
    std::ifstream in(path, std::ios::binary);
    std::vector<Frame> read;
    for (Frame f(kFrameBytes); in.read(reinterpret_cast<char*>(f.data()), kFrameBytes);) read.push_back(f);
    return read.empty() ? BuiltIn() : read;
  }();
  return frames;
}

// What the codec is given: the pixels, or their residuals for the predicted mode.
const std::vector<Frame>& Sources(Mode mode) {
  static std::vector<Frame> residuals;
  if (mode != kBestP) return Frames();
  if (residuals.empty()) {
    for (const Frame& f : Frames()) {
      residuals.emplace_back(kFrameBytes);
      rf::HavPredict(f.data(), residuals.back().data(), kFrameBytes);
    }
  }
  return residuals;
}

int32_t EncodeOne(Mode mode, int64_t key, const std::vector<Frame>& src, size_t i, Frame& out) {
  const rf::HavStrip strip{kFrameBytes, kRow, 3};
  const uint8_t* prev = int64_t(i) % key == 0 ? nullptr : src[i - 1].data();
  return mode == kFast ? rf::HavEncodeFast(src[i].data(), prev, strip, out.data(), int32_t(out.size()))
                       : rf::HavEncodeBest(src[i].data(), prev, strip, out.data(), int32_t(out.size()));
}

void BM_HavEncode(benchmark::State& state) {
  const Mode mode = Mode(state.range(0));
  const std::vector<Frame>& src = Sources(mode);
  Frame out(kFrameBytes * 2);
  Frame residual(kFrameBytes);
  size_t i = 0;
  int64_t bytes = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    // The predicted mode pays for its prediction on every frame, as the writer does.
    if (mode == kBestP) rf::HavPredict(Frames()[i].data(), residual.data(), kFrameBytes);
    bytes += EncodeOne(mode, state.range(1), src, i, out);
    ++frames;
    i = (i + 1) % src.size();
  }
  state.counters["bytes_per_frame"] = double(bytes) / double(frames);
}

void BM_HavDecode(benchmark::State& state) {
  const Mode mode = Mode(state.range(0));
  const std::vector<Frame>& src = Sources(mode);
  std::vector<Frame> streams;
  Frame out(kFrameBytes * 2);
  for (size_t i = 0; i < src.size(); ++i) {
    const int32_t n = EncodeOne(mode, state.range(1), src, i, out);
    streams.emplace_back(out.begin(), out.begin() + n);
    streams.back().resize(size_t(n) + rf::HAV_STREAM_PAD, 0);
  }
  const rf::HavStrip strip{kFrameBytes, kRow, 3};
  Frame picture(kFrameBytes);
  Frame residual(kFrameBytes);
  size_t i = 0;
  for (auto _ : state) {
    const Frame& s = streams[i];
    const int32_t n = int32_t(s.size()) - rf::HAV_STREAM_PAD;
    const bool ok = mode == kFast ? rf::HavDecodeFast(s.data(), n, picture.data(), strip)
                                  : rf::HavDecodeBest(s.data(), n, (mode == kBestP ? residual : picture).data(), strip);
    if (!ok) state.SkipWithError("stream did not decode");
    if (mode == kBestP) rf::HavUnpredict(residual.data(), picture.data(), kFrameBytes);
    benchmark::DoNotOptimize(picture.data());
    i = (i + 1) % streams.size();
  }
}

BENCHMARK(BM_HavEncode)->ArgNames({"mode", "key"})->ArgsProduct({{0, 1, 2}, {25, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HavDecode)->ArgNames({"mode", "key"})->ArgsProduct({{0, 1, 2}, {25, 1}})->Unit(benchmark::kMillisecond);

}  // namespace
