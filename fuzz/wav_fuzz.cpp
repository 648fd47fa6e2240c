// Any bytes opened as a WAV file end cleanly: information, loads and seeks leave no tracked
// block, no file and no conversion stream behind.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/ff_wav.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "fuzz_input.h"
#include "platform/acm.h"

namespace {

// Frames a single input may decode: enough to reach every block of a small file.
constexpr int32_t kMaxFrames = 1 << 20;

void Exercise(const std::string& path) {
  rf::QffInfo info;
  rf::GuardedSilent("Fuzz.Info", [&] { rf::WAVInfo(path, info); });
  rf::ErrClear();

  rf::QWavHandle wf;
  rf::QSndBuf b;
  rf::GuardedSilent("Fuzz.Load", [&] {
    rf::WAVOpen(wf, path);
    if (!wf.readable) return;
    int32_t loaded = 0;
    for (int32_t at = 0; at < wf.totalFrames && loaded < kMaxFrames;) {
      rf::WAVLoad(wf, b, at, 1, 4096);
      if (b.count == 0) break;
      at += b.count;
      loaded += b.count;
    }
    rf::WAVSeek(wf, wf.totalFrames / 2 + 1);
    rf::WAVLoad(wf, b, wf.position, 1, 100);
    rf::WAVLoad(wf, b, wf.totalFrames + 10, 0, 10);
  });
  rf::ErrClear();
  rf::SndFree(b);
  rf::GuardedSilent("Fuzz.Close", [&] { rf::WAVClose(wf); });
  rf::ErrClear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const rf::fuzz::InputFile input(data, size, "wav", ".wav");
  if (!input.ok()) return 0;
  Exercise(input.path());
  rf::WaveConvertReset();
  if (rf::FCount() != 0 || rf::MemCount() != 0 || rf::acmStreamCount() != 0 || rf::MonDepth() != 0) std::abort();
  return 0;
}
