// Any bytes opened as a HAV movie end cleanly: information, frame loads in and out of order and
// sound loads leave no tracked block and no file behind.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/ff_hav.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "fuzz_input.h"

namespace {

// Frames whose pictures are larger than this are not decoded: a header may rightly ask for
// tens of megabytes, and filling them per input would only slow the search down.
constexpr int64_t kMaxFrameBytes = 4 << 20;
constexpr int32_t kMaxLoads = 24;

void LoadPictures(rf::QHavHandle& hv, rf::Qimg& img) {
  if (int64_t(hv.rawSize) > kMaxFrameBytes) return;
  for (int32_t i = 0; i < kMaxLoads && i < hv.frames; ++i) {
    rf::GuardedSilent("Fuzz.Next", [&] { rf::HAVImgLoadNext(hv, img); });
    rf::ErrClear();
  }
  // Out of order: from the end backwards, which decodes from key frames and scans palettes.
  for (int32_t f = hv.frames, n = 0; f >= 1 && n < 4; f -= 1 + hv.frames / 3, ++n) {
    rf::GuardedSilent("Fuzz.Direct", [&] { rf::HAVImgLoad(hv, img, f, 0); });
    rf::ErrClear();
  }
}

void LoadSound(rf::QHavHandle& hv) {
  rf::QSndBuf b;
  rf::GuardedSilent("Fuzz.Sound", [&] {
    rf::HAVSndLoad(hv, b, 0, 0, 4096);
    rf::HAVSndLoad(hv, b, hv.soundTotal / 2, 1, 100000);
    rf::HAVSndLoad(hv, b, hv.soundTotal + 5, 0, 10);
  });
  rf::ErrClear();
  rf::SndFree(b);
}

void Exercise(const std::string& path) {
  rf::QffInfo info;
  rf::GuardedSilent("Fuzz.Info", [&] { rf::HAVInfo(path, info); });
  rf::ErrClear();

  rf::QHavHandle hv;
  rf::Qimg img;
  rf::GuardedSilent("Fuzz.Open", [&] { rf::HAVOpen(hv, path); });
  rf::ErrClear();
  if (hv.file) {
    LoadPictures(hv, img);
    LoadSound(hv);
  }
  rf::ImgFree(img);
  rf::GuardedSilent("Fuzz.Close", [&] { rf::HAVClose(hv); });
  rf::ErrClear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const rf::fuzz::InputFile input(data, size, "hav", ".hav");
  if (!input.ok()) return 0;
  Exercise(input.path());
  if (rf::FCount() != 0 || rf::MemCount() != 0 || rf::MonDepth() != 0) std::abort();
  return 0;
}
