// Any bytes opened as an MPEG file (or any movie the codec libraries recognise) end cleanly:
// information, the index, pictures in order and by position, and sound leave no tracked block,
// no file and no guarded block behind.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/ff_mpg.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "fuzz_input.h"

namespace {

// Pictures a single input may decode: enough for every frame of a small file.
constexpr int32_t kMaxFrames = 64;

void Pictures(rf::QMpgHandle& h, rf::Qimg& img) {
  if (!h.decoder) return;
  for (int32_t f = 1; f <= h.frames && f <= kMaxFrames; ++f) rf::MpgImgLoad(h, img, 0, 0);
  for (const int32_t f : {h.frames, 1, h.frames / 2 + 1})
    if (f >= 1 && f <= h.frames) rf::MpgImgLoad(h, img, f, 0);
}

void Sound(rf::QMpgHandle& h, rf::QSndBuf& b) {
  if (!h.audioDecoder) return;
  rf::MpgSndLoad(h, b, 0, 0, 4096);
  rf::MpgSndLoad(h, b, 1000, 0, 2048);
}

void Exercise(const std::string& path) {
  rf::QffInfo info;
  rf::GuardedSilent("Fuzz.Info", [&] { rf::MpgInfo(path, info); });
  rf::ErrClear();
  rf::GuardedSilent("Fuzz.MovInfo", [&] { rf::MovInfo(path, info); });
  rf::ErrClear();
  rf::QMpgHandle h;
  rf::Qimg img;
  rf::QSndBuf b;
  rf::GuardedSilent("Fuzz.Open", [&] { rf::MpgOpen(h, path, 0); });
  rf::ErrClear();
  rf::GuardedSilent("Fuzz.Pictures", [&] { Pictures(h, img); });
  rf::ErrClear();
  rf::GuardedSilent("Fuzz.Sound", [&] { Sound(h, b); });
  rf::ErrClear();
  rf::ImgFree(img);
  rf::SndFree(b);
  rf::GuardedSilent("Fuzz.Close", [&] { rf::MpgClose(h); });
  rf::ErrClear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const rf::fuzz::InputFile input(data, size, "mpg", ".mpg");
  if (!input.ok()) return 0;
  Exercise(input.path());
  if (rf::FCount() != 0 || rf::MemCount() != 0 || rf::MonDepth() != 0) std::abort();
  return 0;
}
