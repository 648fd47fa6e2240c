// The command line end to end on generated inputs (stills of two sizes, a numbered sequence, an
// AVI with sound, a WAV): every output format read back by our readers and by ffprobe, and every
// fit mode with every rotation checked pixel by pixel against the geometry's arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include "cli/cli_shell.h"
#include "common/test_support.h"
#include "formats/uniaccess.h"
#include "image/image_test_util.h"

namespace rf {
namespace {

using clitest::CmdResult;
using clitest::Shell;

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00;

// What ffprobe says of a file's first stream of one kind, as key=value pairs.
std::map<std::string, std::string> Probe(const std::string& file, const char* stream) {
  const CmdResult r = Shell(std::string("ffprobe -v error -count_frames -select_streams ") + stream +
                            ":0 -show_entries stream=width,height,r_frame_rate,nb_read_frames,sample_rate,channels"
                            " -of default=nw=1 '" +
                            file + "'");
  std::map<std::string, std::string> values;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);)
    if (const size_t eq = line.find('='); eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  return values;
}

// The sample frames ffmpeg decodes from a file's sound, as mono 16-bit.
long DecodedSamples(const std::string& file) {
  const CmdResult r = Shell("ffmpeg -v error -i '" + file + "' -map 0:a:0 -ac 1 -f s16le - | wc -c");
  return std::atol(r.out.c_str()) / 2;
}

double Rate(const std::string& fraction) {
  const size_t slash = fraction.find('/');
  if (slash == std::string::npos) return 0;
  return std::atof(fraction.substr(0, slash).c_str()) / std::atof(fraction.substr(slash + 1).c_str());
}

class RenderE2eTest : public test::FoundationTest, public clitest::ScratchCli {
 protected:
  RenderE2eTest() : ScratchCli("render_e2e") {}

  void SetUp() override {
    FoundationTest::SetUp();
    // A 320x200 still, red with a blue band over its left quarter; a green 640x480 still; five
    // numbered 160x120 pictures; one second of 160x120 at 10 fps with 22050 Hz mono sound; half
    // a second of the same sound alone.
    for (const char* make :
         {"convert -size 320x200 xc:red -fill blue -draw 'rectangle 0,0 79,199' @still.bmp",
          "convert -size 640x480 xc:green @vga.bmp",
          "for i in 0 1 2 3 4; do convert -size 160x120 xc:\"rgb($((i * 40)),0,0)\" @seq000$i.bmp; done",
          "ffmpeg -v error -f lavfi -i testsrc2=s=160x120:r=10 -f lavfi -i sine=f=440:r=22050 -t 1 "
          "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -ac 1 @movie.avi",
          "sox -n -r 22050 -c 1 -b 16 @tone.wav synth 0.5 sine 440"})
      ASSERT_EQ(Shell(At(make)).status, 0) << make;
  }

  // Our reader's view of a written file, and its first frame in 24 bits.
  void ReadBack(const std::string& name, QUniInfo& info, Qimg& first, bool sequence) const {
    ASSERT_TRUE(UniInfo(At(name), info, sequence)) << name;
    if (!info.video.hasVideo) return;
    QUniHandle h;
    UniOpen(h, info);
    UniImgLoad(h, first, 1, 0);
    UniClose(h);
    if (first.bpp != 24) ImgConvBpp(first, first, 24);
  }
};

// The band of the still and the border around it, unrotated, at the rescale size.
struct Layout {
  int32_t width, height;                         // the rescale size
  int32_t left, top, contentW, contentH;         // where the picture lands
  int32_t bandRight;                             // blue from content's left up to this column
  uint32_t Colour(int32_t x, int32_t y) const {  // of the rescaled frame, before rotation
    if (x < left || y < top || x >= left + contentW || y >= top + contentH) return kGreen;
    return x < bandRight ? kBlue : kRed;
  }
  // Whether (x, y) lies next to a boundary that picking pixels may shift by one.
  bool NearEdge(int32_t x, int32_t y) const {
    for (int32_t edge : {left, left + contentW, bandRight})
      if (std::abs(x - edge) <= 1) return true;
    for (int32_t edge : {top, top + contentH})
      if (std::abs(y - edge) <= 1) return true;
    return false;
  }
};

// The unrotated position of output pixel (x, y) after a clockwise turn of the w x h frame.
void Unturn(int32_t degrees, int32_t w, int32_t h, int32_t x, int32_t y, int32_t& ux, int32_t& uy) {
  switch (degrees) {
    case 90:
      ux = y, uy = h - 1 - x;
      break;
    case 180:
      ux = w - 1 - x, uy = h - 1 - y;
      break;
    case 270:
      ux = w - 1 - y, uy = x;
      break;
    default:
      ux = x, uy = y;
  }
}

TEST_F(RenderE2eTest, EachFitModeAndRotationPlacesThePictureWhereTheArithmeticSays) {
  struct Case {
    const char* fit;
    Layout layout;
  };
  // The still is 320x200 with its band 80 wide. Border: 160x100 at (0, 30), band 40. Crop:
  // scaled to 256x160, cut from x = 48, band 64 - 48 = 16. Centre: unscaled in 400x240 at (40,
  // 20). Stretch: 160x160, band 40.
  const Case cases[] = {{"border", {160, 160, 0, 30, 160, 100, 40}},
                        {"crop", {160, 160, 0, 0, 160, 160, 16}},
                        {"center", {400, 240, 40, 20, 320, 200, 120}},
                        {"stretch", {160, 160, 0, 0, 160, 160, 40}}};
  for (const Case& c : cases) {
    for (int32_t degrees : {0, 90, 180, 270}) {
      SCOPED_TRACE(std::string(c.fit) + " " + std::to_string(degrees));
      const Layout& l = c.layout;
      std::string options = "render -q -y --codec DIB --border-color 00FF00 --fit " + std::string(c.fit) + " --size " +
                            std::to_string(l.width) + "x" + std::to_string(l.height);
      if (degrees) options += " --rotate " + std::to_string(degrees);
      const CmdResult r = Cli(options + " -o @fit.avi @still.bmp");
      ASSERT_EQ(r.status, 0) << r.err;
      QUniInfo info;
      Qimg img;
      ReadBack("@fit.avi", info, img, false);
      const bool turned = degrees == 90 || degrees == 270;
      ASSERT_EQ(img.width, turned ? l.height : l.width);
      ASSERT_EQ(img.height, turned ? l.width : l.height);
      int32_t wrong = 0, firstX = -1, firstY = -1;
      for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x) {
          int32_t ux = 0, uy = 0;
          Unturn(degrees, l.width, l.height, x, y, ux, uy);
          if (l.NearEdge(ux, uy) || test::Pixel(img, x, y) == l.Colour(ux, uy)) continue;
          if (wrong++ == 0) firstX = x, firstY = y;
        }
      EXPECT_EQ(wrong, 0) << "first at (" << firstX << ", " << firstY << ")";
      ImgFree(img);
    }
  }
}

TEST_F(RenderE2eTest, MixedInputsIntoEveryOutputFormat) {
  struct Case {
    const char* output;
    bool sequence;        // a numbered picture sequence
    int32_t probeFrames;  // what ffprobe counts; 0: it cannot read our variant
    double rate;          // the written frame rate
    bool exactPixels;     // lossless 24 bits, else within a tolerance
    int32_t audioRate;    // 0: no sound in the output
  };
  // 2 stills + 5 pictures + 10 movie frames at the movie's 10 fps; the sound is the movie's
  // second and the tone's half second, 33075 samples at 22050 Hz. MPEG takes the nearest legal
  // rate (23.976) and 32000 Hz; ffprobe shows FLC's ring frame as one more; HAV is ours alone.
  const Case cases[] = {{"@out.avi", false, 17, 10, true, 22050}, {"@out.mpg", false, 17, 24000 / 1001.0, false, 32000},
                        {"@out.flc", false, 18, 10, false, 0},    {"@out.gif", false, 17, 10, false, 0},
                        {"@out.hav", false, 0, 10, true, 22050},  {"@f0000.bmp", true, 17, 0, true, 0},
                        {"@out.wav", false, 0, 0, false, 22050}};
  const std::string inputs = " @still.bmp @vga.bmp --sequences @seq0000.bmp @movie.avi @tone.wav";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    const CmdResult r =
        Cli(std::string("render -q -y --codec DIB --size 160x160 --fit border --border-color 00FF00 -o ") + c.output +
            inputs);
    ASSERT_EQ(r.status, 0) << r.err;
    QUniInfo info;
    Qimg first;
    ReadBack(c.output, info, first, c.sequence);
    const bool video = c.rate > 0 || c.sequence;
    ASSERT_EQ(bool(info.video.hasVideo), video);
    if (video) {
      EXPECT_EQ(info.video.width, 160);
      EXPECT_EQ(info.video.height, 160);
      EXPECT_EQ(info.video.frames, 17);
      if (c.rate > 0) {
        EXPECT_NEAR(info.video.frameRate, c.rate, 0.01);
      }
      // The 320x200 still: 160x100 at (0, 30) between green bands, its band 40 wide.
      const int tolerance = c.exactPixels ? 0 : 24;
      const struct {
        int32_t x, y;
        uint32_t colour;
      } probes[] = {{80, 10, kGreen}, {80, 150, kGreen}, {20, 80, kBlue}, {120, 80, kRed}};
      for (const auto& p : probes) {
        const uint32_t got = test::Pixel(first, p.x, p.y);
        for (int shift : {0, 8, 16})
          EXPECT_NEAR(int((got >> shift) & 255), int((p.colour >> shift) & 255), tolerance)
              << "at (" << p.x << ", " << p.y << ") " << std::hex << got;
      }
      ImgFree(first);
    }
    if (c.audioRate) {
      EXPECT_EQ(info.audio.samplesPerSec, c.audioRate);
      EXPECT_EQ(info.audio.channels, 1);
    }
    // ffprobe: sizes, frame counts and rates where it reads our variant, sample counts always.
    const std::string file = c.sequence ? At("@f%04d.bmp") : At(c.output);
    if (c.probeFrames) {
      auto v = Probe(file, "v");
      EXPECT_EQ(v["width"], "160");
      EXPECT_EQ(v["height"], "160");
      EXPECT_EQ(v["nb_read_frames"], std::to_string(c.probeFrames));
      if (!c.sequence) {
        EXPECT_NEAR(Rate(v["r_frame_rate"]), c.rate, 0.01);
      }
    }
    if (c.audioRate && std::string(c.output) != "@out.hav") {
      auto a = Probe(file, "a");
      EXPECT_EQ(a["sample_rate"], std::to_string(c.audioRate));
      EXPECT_EQ(a["channels"], "1");
      // MPEG audio comes in frames of 1152 samples, so its count is the running time rounded
      // to whole frames (plus the decoder's delay); the others are exact.
      const long expected = std::lround(1.5 * c.audioRate), samples = DecodedSamples(file);
      if (c.audioRate == 32000) {
        EXPECT_NEAR(samples, expected, 2 * 1152);
      } else {
        EXPECT_EQ(samples, expected);
        EXPECT_EQ(info.audio.frames, expected);
      }
    }
  }
}

TEST_F(RenderE2eTest, RateAndDepthOptionsReachTheWrittenMovie) {
  const struct {
    const char* options;
    double rate;
    int32_t bpp;
  } cases[] = {{"--fps 20", 20, 24}, {"--depth 8 --dither", 10, 8}, {"--depth 15", 10, 15}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const CmdResult r =
        Cli(std::string("render -q -y --codec DIB --size 80x60 ") + c.options + " -o @rate.avi @movie.avi");
    ASSERT_EQ(r.status, 0) << r.err;
    QUniInfo info;
    ASSERT_TRUE(UniInfo(At("@rate.avi"), info, false));
    EXPECT_EQ(info.video.frames, 10);
    EXPECT_NEAR(info.video.frameRate, c.rate, 0.01);
    EXPECT_EQ(info.video.bpp, c.bpp);
    auto v = Probe(At("@rate.avi"), "v");
    EXPECT_EQ(v["width"], "80");
    EXPECT_EQ(v["nb_read_frames"], "10");
    EXPECT_NEAR(Rate(v["r_frame_rate"]), c.rate, 0.01);
  }
}

}  // namespace
}  // namespace rf
