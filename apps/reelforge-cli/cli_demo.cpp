// The demo command: writes sample material with our own writers (stills of two sizes, a moving
// test pattern, a tone), renders it with a fit, a crop, two effects over frame ranges and a
// stretch of silence into an AVI with sound and a HAV preview, and says how to watch them.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli.h"
#include "cli_progress.h"
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
// Each still stands this many frames, so that it can be seen.
constexpr int32_t kStillFrames = 8;

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

// A still of its own size: a diagonal colour ramp.
void WriteStill(const std::string& name, int32_t width, int32_t height) {
  Qimg img;
  _imgalloc_(img, width, height, 24, "cli.WriteStill.img");
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = img.data + (size_t(y) * width + x) * 3;
      p[0] = uint8_t(255 * x / width);
      p[1] = uint8_t(255 * y / height);
      p[2] = uint8_t(255 - 255 * (x + y) / (width + height));
    }
  }
  ImgSave(name, img, FF_AUTO);
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

BatchEffect Effect(const char* name, std::initializer_list<double> values, int32_t first, int32_t last) {
  BatchEffect fx;
  fx.id = BatchEffectId(name);
  for (const double v : values) fx.values[fx.valueCount++] = v;
  fx.first = first;
  fx.last = last;
  return fx;
}

// The stills (each held for a while), the pattern, half a second of silence and the tone, fitted
// with a border into 240 x 180, a margin cropped off, brightened at first and mirrored later.
BatchJob DemoJob(const std::string& input, const std::string& output) {
  BatchJob job;
  job.sequences = true;
  for (const char* still : {"/still-large.tga", "/still-small.tga"})
    for (int32_t i = 0; i < kStillFrames; ++i) job.inputs.push_back({input + still});
  job.inputs.push_back({input + "/pattern0001.tga"});
  BatchInput silence;
  silence.silenceSeconds = 0.5;
  job.inputs.push_back(silence);
  job.inputs.push_back({input + "/tone.wav"});
  job.effects = {Effect("Brightness", {30, 30, 30}, 0, 2 * kStillFrames - 1),
                 Effect("Mirror - horizontal", {}, 2 * kStillFrames + 10, 2 * kStillFrames + 19)};
  job.fps = 15;
  job.geometry.width = 240;
  job.geometry.height = 180;
  job.geometry.fit = SM_BORDER;
  job.geometry.borderColor = 0x203040;
  for (int32_t& margin : job.geometry.crop) margin = 8;
  job.codec = "MJPG";
  job.output = output;
  return job;
}

bool Installed(const char* program) {
  return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

void TellHowToWatch(const std::string& movie, const std::string& preview) {
  std::printf("To watch them:\n");
  for (const char* player : {"vistrel", "ffplay"})
    if (Installed(player)) std::printf("  %s %s\n", player, movie.c_str());
  // The preview is a HAV movie, which only our own player shows.
  if (Installed("vistrel"))
    std::printf("  vistrel '%s'\n", preview.c_str());
  else
    std::printf("  the preview with our player, vistrel (make install); its details: reelforge-cli info '%s'\n",
                preview.c_str());
}

}  // namespace

int CmdDemo(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--help") {
    std::puts(
        "usage: reelforge-cli demo [DIR]\n\nWrites sample material to DIR/input and renders it into DIR/demo.avi "
        "and a HAV preview (default ./demo-out).");
    return kOk;
  }
  if (argc > 2) return Fail(kUsage, "demo: at most one folder (see 'reelforge-cli demo --help')");
  const std::string dir = argc > 1 ? argv[1] : "demo-out";
  const std::string input = dir + "/input";
  if (!kernel::MakeDirs(input)) return Fail(kFailed, "demo: cannot create the folder '" + input + "'");
  GuardedSilent("cli.Demo", [&] {
    WriteStill(input + "/still-large.tga", 320, 200);
    WriteStill(input + "/still-small.tga", 96, 128);
    WritePattern(input);
    WriteTone(input + "/tone.wav");
  });
  if (!ErrNone()) return Fail(kFailed, "demo: " + TakeError());
  std::printf("demo: sample material in %s (stills of 320 x 200 and 96 x 128, %d numbered pictures, a 2-second tone)\n",
              input.c_str(), kFrames);

  Project project;
  if (!BatchBuild(DemoJob(input, dir + "/demo.avi"), project)) return Fail(kFailed, "demo: " + TakeError());
  ProgressMode mode;
  mode.quiet = true;
  RunSettings settings;
  // The demo's folder is its own: a second demo replaces the first.
  settings.warningOverwrite = false;
  settings.tempFolder = dir;
  settings.previewMode = 2;
  const int status = RunProject(project, mode, settings);
  if (status != kOk) return status;
  CliProgress view(mode);
  std::string preview;
  if (RenderPreview(project, view, settings, preview) != 0) return Fail(kFailed, "demo: the preview was not written");
  std::printf("preview: %s\n", preview.c_str());
  TellHowToWatch(dir + "/demo.avi", preview);
  return kOk;
}

}  // namespace rf::cli
