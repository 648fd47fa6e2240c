// Any bytes opened as a FLIC end cleanly: information, frame by frame loads, stepping over frames
// and loads from the start leave no tracked block and no file behind.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/ff_flc.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "fuzz_input.h"

namespace {

// Frames a single input decodes in each pass: enough to reach every frame of a small file.
constexpr int32_t kMaxFrames = 64;
// Pictures beyond this are allowed, but zero-filling them would spend the fuzzer's time.
constexpr int64_t kMaxPixels = 1 << 20;

template <class Body>
void Try(const char* label, Body&& body) {
  rf::GuardedSilent(label, body);
  rf::ErrClear();
}

void Exercise(const std::string& path) {
  rf::QffInfo info;
  Try("Fuzz.Info", [&] { rf::FLCInfo(path, info); });

  rf::QFlcHandle ff;
  rf::Qimg img;
  Try("Fuzz.Open", [&] { rf::FLCOpen(ff, path); });
  if (!rf::FName(ff.file).empty() && int64_t(ff.width) * ff.height <= kMaxPixels) {
    const int32_t frames = std::min(ff.frames, kMaxFrames);
    for (int32_t i = 0; i < frames; ++i) Try("Fuzz.Next", [&] { rf::FLCLoad(ff, img, 0, 1); });
    Try("Fuzz.Step", [&] {
      rf::FLCRewind(ff);
      while (ff.current < frames) rf::FLCLoadNext(ff, img, true);
    });
    Try("Fuzz.Jump", [&] { rf::FLCLoad(ff, img, std::max(1, frames / 2), 0); });
    Try("Fuzz.Past", [&] { rf::FLCLoad(ff, img, ff.frames + 1, 0); });
  }
  rf::ImgFree(img);
  Try("Fuzz.Close", [&] { rf::FLCClose(ff); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const rf::fuzz::InputFile input(data, size, "flc", ".flc");
  if (!input.ok()) return 0;
  Exercise(input.path());
  if (rf::FCount() != 0 || rf::MemCount() != 0 || rf::MonDepth() != 0) std::abort();
  return 0;
}
