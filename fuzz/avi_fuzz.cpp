// Any bytes opened as an AVI file end cleanly: information, every frame forwards and a seek back,
// and all of the sound leave no tracked block, file, compressor or conversion stream behind.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/ff_avi.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "fuzz_input.h"
#include "platform/acm.h"
#include "platform/vcodec.h"

namespace {

// Frames and sample frames one input may decode: enough for every part of a small file.
constexpr int32_t kMaxFrames = 64;
constexpr int32_t kMaxSamples = 1 << 20;

void Exercise(const std::string& path) {
  rf::QffInfo info;
  rf::GuardedSilent("Fuzz.Info", [&] { rf::AviInfo(path, info); });
  rf::ErrClear();

  rf::QAviHandle af;
  rf::Qimg img;
  rf::QSndBuf b;
  rf::GuardedSilent("Fuzz.Open", [&] { rf::AviOpen(af, path); });
  rf::ErrClear();
  const int32_t frames = std::min(af.frames, kMaxFrames);
  for (int32_t f = 1; f <= frames; ++f) {
    rf::GuardedSilent("Fuzz.Frame", [&] { rf::AviImgLoad(af, img, f, 0); });
    rf::ErrClear();
  }
  if (frames > 1) rf::GuardedSilent("Fuzz.Back", [&] { rf::AviImgLoad(af, img, frames / 2, 0); });
  rf::ErrClear();
  rf::GuardedSilent("Fuzz.Sound", [&] {
    for (int32_t at = 0; at < std::min(af.totalSamples, kMaxSamples);) {
      rf::AviSndLoad(af, b, at, 1, 4096);
      if (b.count == 0) break;
      at += b.count;
    }
    rf::AviSndLoad(af, b, af.totalSamples / 3, 0, 100);
  });
  rf::ErrClear();
  rf::ImgFree(img);
  rf::SndFree(b);
  rf::GuardedSilent("Fuzz.Close", [&] { rf::AviClose(af); });
  rf::ErrClear();
  rf::WarnClear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const rf::fuzz::InputFile input(data, size, "avi", ".avi");
  if (!input.ok()) return 0;
  Exercise(input.path());
  rf::WaveConvertReset();
  if (rf::FCount() != 0 || rf::MemCount() != 0 || rf::acmStreamCount() != 0 || rf::ICOpenCount() != 0 ||
      rf::MonDepth() != 0)
    std::abort();
  return 0;
}
