// Any bytes read as a GIF end cleanly, as a still and as an animation played forward, then
// backward through the restarts: no tracked file or block left behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "formats/ff_gif.h"
#include "still_fuzz.h"

namespace {

// Frames one input may decode: enough to reach every frame of a small file.
constexpr int32_t kMaxFrames = 64;

void PlayMovie(const std::string& path) {
  rf::QGifHandle gf;
  rf::Qimg img;
  rf::GuardedSilent("Fuzz.Movie", [&] {
    rf::GIFOpen(gf, path, false);
    if (double(gf.width) * gf.height > double(rf::fuzz::kMaxLoadBytes)) return;
    const int32_t last = std::min(gf.frames, kMaxFrames);
    for (int32_t f = 1; f <= last; ++f) rf::GIFLoad(gf, img, 0, 0);
    rf::GIFLoad(gf, img, 1, 0);
    rf::GIFLoad(gf, img, last, 1);
    rf::GIFLoad(gf, img, last / 2 + 1, 0);
  });
  rf::ErrClear();
  rf::GIFClose(gf);
  rf::ImgFree(img);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rf::GIFFreeFPosBlk_();
  rf::fuzz::StillFuzzOne(data, size, ".gif", rf::GIFInfo, rf::GIFLoad_);
  const rf::fuzz::InputFile input(data, size, "movie", ".gif");
  if (input.ok()) PlayMovie(input.path());
  if (rf::FCount() != 0 || rf::MemCount() != 0 || rf::MonDepth() != 0) std::abort();
  return 0;
}
