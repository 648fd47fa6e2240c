// The demo command: writes a moving test pattern and a tone with our own writers, then renders
// them with a few effects and a stretch of silence.
#include <cmath>
#include <cstdio>
#include <string>

#include "cli.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/uniaccess.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "os/kernel.h"

namespace rf::cli {
namespace {

constexpr int32_t kFrames = 30;
constexpr int32_t kWidth = 160, kHeight = 120;

// Colour bars above, a white square crossing the picture below.
void PaintPattern(Qimg& img, int32_t frame) {
  static const uint8_t kBars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                      {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
  const int32_t square = 24, x0 = frame * (kWidth - square) / (kFrames - 1), y0 = kHeight * 2 / 3 - square / 2;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      uint8_t* p = img.data + (size_t(y) * kWidth + x) * 3;
      const uint8_t* bar = kBars[x * 8 / kWidth];
      const bool inSquare = x >= x0 && x < x0 + square && y >= y0 && y < y0 + square;
      for (int c = 0; c < 3; ++c) p[c] = y < kHeight / 2 ? bar[c] : inSquare ? 255 : uint8_t(40 + c * 20);
    }
  }
}

void WritePattern(const std::string& dir) {
  Qimg img;
  _imgalloc_(img, kWidth, kHeight, 24, "cli.WritePattern.img");
  for (int32_t f = 0; f < kFrames; ++f) {
    PaintPattern(img, f);
    char name[32];
    std::snprintf(name, sizeof name, "/pattern%04d.tga", f + 1);
    ImgSave(dir + name, img, FF_AUTO);
  }
  ImgFree(img);
}

// Two seconds of a 440 Hz tone, 22050 Hz, 16 bits, mono.
void WriteTone(const std::string& name) {
  WaveFormatEx f{WAVE_FORMAT_PCM, 1, 22050, 0, 0, 16, 0};
  WaveFormatValidate(f);
  QSndBuf buf;
  SndMakeSilence(buf, 2 * 22050, f);
  auto* samples = reinterpret_cast<int16_t*>(buf.SndData);
  for (int32_t i = 0; i < buf.count; ++i) samples[i] = int16_t(8000 * std::sin(2 * M_PI * 440 * i / 22050.0));
  QUniHandle out;
  UniCreate(out, name);
  UniSndSave(out, buf);
  UniClose(out);
  SndFree(buf);
}

}  // namespace

int CmdDemo(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--help") {
    std::puts(
        "usage: reelforge-cli demo [DIR]\n\nWrites sample material to DIR/input and renders it into DIR "
        "(default ./demo-out).");
    return kOk;
  }
  if (argc > 2) return Fail(kUsage, "demo: at most one folder (see 'reelforge-cli demo --help')");
  const std::string dir = argc > 1 ? argv[1] : "demo-out";
  const std::string input = dir + "/input";
  if (!kernel::MakeDirs(input)) return Fail(kFailed, "demo: cannot create the folder '" + input + "'");
  GuardedSilent("cli.Demo", [&] {
    WritePattern(input);
    WriteTone(input + "/tone.wav");
  });
  if (!ErrNone()) return Fail(kFailed, "demo: " + TakeError());
  std::printf("demo: sample material in %s (%d pictures, a 2-second tone)\n", input.c_str(), kFrames);

  BatchJob job;
  job.sequences = true;
  job.inputs.push_back({input + "/pattern0001.tga"});
  BatchInput silence;
  silence.silenceSeconds = 0.5;
  job.inputs.push_back(silence);
  job.inputs.push_back({input + "/tone.wav"});
  BatchEffect brightness;
  brightness.id = BatchEffectId("Brightness");
  brightness.valueCount = 3;
  brightness.values[0] = brightness.values[1] = brightness.values[2] = 30;
  brightness.last = 9;
  BatchEffect mirror;
  mirror.id = BatchEffectId("Mirror - horizontal");
  mirror.first = 10;
  mirror.last = 19;
  BatchEffect gray;
  gray.id = BatchEffectId("Grayscale");
  gray.first = 20;
  job.effects = {brightness, mirror, gray};
  job.fps = 15;
  job.output = dir + "/frame.bmp";
  job.audioOutput = dir + "/sound.wav";
  ProgressMode mode;
  mode.quiet = true;
  return RunJob(job, mode);
}

}  // namespace rf::cli
