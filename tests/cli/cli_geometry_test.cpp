// The command line's geometry options end to end: fit modes, crop, rotation, divisor and ratio
// into pictures and AVI movies read back with our readers, the refusals, and --dry-run.
#include <gtest/gtest.h>

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

class CliGeometryTest : public test::FoundationTest, public clitest::ScratchCli {
 protected:
  CliGeometryTest() : ScratchCli("cli_geo") {}
  void SetUp() override {
    FoundationTest::SetUp();
    // A red 640x480 picture with a blue block in its top left corner (20x30), a red 160x120
    // one, a blue 40x20 one and half a second of mono sound.
    for (const char* make : {"convert -size 640x480 xc:red -fill blue -draw 'rectangle 0,0 19,29' @vga.bmp",
                             "convert -size 160x120 xc:red @big.bmp", "convert -size 40x20 xc:blue @small.bmp",
                             "sox -n -r 22050 -c 1 -b 16 @tone.wav synth 0.5 sine 440"})
      ASSERT_EQ(Shell(At(make)).status, 0) << make;
  }
  // The first frame of a written file, through our readers.
  void FirstFrame(const std::string& name, Qimg& img) const {
    QUniInfo info;
    ASSERT_TRUE(UniInfo(At(name), info, false)) << name;
    QUniHandle h;
    UniOpen(h, info);
    UniImgLoad(h, img, 1, 0);
    UniClose(h);
    ASSERT_EQ(img.bpp, 24) << name;
  }
};

TEST_F(CliGeometryTest, EachFitModeIntoPicturesAndMovies) {
  struct Case {
    const char* fit;
    const char* input;
    uint32_t corner, middle;
  };
  // Into 80x80 with a green border: the 4:3 picture gets bands above and below when bordered
  // and fills the frame when cropped; the small one sits in a border when centred.
  const Case cases[] = {{"border", "big", kGreen, kRed},
                        {"crop", "big", kRed, kRed},
                        {"center", "small", kGreen, kBlue},
                        {"stretch", "small", kBlue, kBlue}};
  const struct {
    const char* name;
    const char* options;
  } outputs[] = {{"@out.bmp", ""}, {"@out.avi", "--codec DIB "}};
  for (const auto& output : outputs) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(output.name) + " " + c.fit);
      const CmdResult r = Cli(std::string("render -q -y --size 80x80 --border-color 00FF00 ") + output.options +
                              "--fit " + c.fit + " -o " + output.name + " @" + c.input + ".bmp");
      ASSERT_EQ(r.status, 0) << r.err;
      Qimg img;
      FirstFrame(output.name, img);
      EXPECT_EQ(img.width, 80);
      EXPECT_EQ(img.height, 80);
      EXPECT_EQ(test::Pixel(img, 0, 0), c.corner);
      EXPECT_EQ(test::Pixel(img, 40, 40), c.middle);
      ImgFree(img);
    }
  }
}

TEST_F(CliGeometryTest, CropRotateDivisorAndRatio) {
  struct Case {
    const char* options;
    int32_t width, height;
    int32_t blueX, blueY;  // where the blue block's corner pixel ends up
  };
  const Case cases[] = {{"--rotate 90", 480, 640, 479, 0},
                        {"--rotate 180", 640, 480, 639, 479},
                        {"--crop 10,20,30,40", 600, 420, 0, 0},
                        {"--crop 10,20,30,40 --resize-back", 640, 480, 0, 0},
                        {"--crop 10,20,30,40 --rotate 270", 420, 600, 0, 599},
                        {"--size 333x251 --divisible 16", 320, 240, 0, 0},
                        {"--aspect 16:9 --resample", 640, 360, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const CmdResult r = Cli(std::string("render -q -y ") + c.options + " -o @geo.bmp @vga.bmp");
    ASSERT_EQ(r.status, 0) << r.err;
    Qimg img;
    FirstFrame("@geo.bmp", img);
    EXPECT_EQ(img.width, c.width);
    EXPECT_EQ(img.height, c.height);
    EXPECT_EQ(test::Pixel(img, c.blueX, c.blueY), kBlue);
    EXPECT_EQ(test::Pixel(img, c.width / 2, c.height / 2), kRed);
    ImgFree(img);
  }
}

TEST_F(CliGeometryTest, BadValuesAreRefused) {
  const struct {
    const char* options;
    const char* message;
  } kRefused[] = {{"--size 3x100", "--size wants WxH"}, {"--size 100", "--size wants WxH"},
                  {"--fit wide", "--fit wants"},        {"--border-color 12345G", "--border-color wants"},
                  {"--crop 1,2,3", "--crop wants"},     {"--crop 1,2,3,-4", "--crop wants"},
                  {"--rotate 45", "--rotate wants"},    {"--divisible 0", "--divisible wants"},
                  {"--aspect 4:0", "--aspect wants"}};
  for (const auto& k : kRefused) {
    const CmdResult r = Cli(std::string("render -q ") + k.options + " -o @no.bmp @big.bmp");
    EXPECT_EQ(r.status, 2) << k.options;
    EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
    EXPECT_FALSE(test::ReadWholeFile(At("@no.bmp")).size()) << "nothing is written";
  }
  EXPECT_NE(Cli("render --help").out.find("--resize-back"), std::string::npos);
}

TEST_F(CliGeometryTest, DryRunPrintsTheDefinitionAndWritesNothing) {
  const CmdResult r =
      Cli("render --dry-run --size 80x60 --fit crop --crop 0,0,20,0 --rotate 90 -o @dry.avi @vga.bmp "
          "@small.bmp @tone.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const std::string line : {"  Resolution: \t60 x 60", "  Frames: \t\t2", "  Frame rate: \t25.00 fps",
                                 "  Format: \t\t22050 Hz, mono, 16-bit", "  Source: \t640 x 480",
                                 "  Rescale: \t80 x 60, Best Fit Using Crop", "  Rotation: \t90 degrees"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
  EXPECT_NE(r.out.find(At("  File name: \t@dry.avi")), std::string::npos) << r.out;
  EXPECT_FALSE(Shell(At("ls -a @")).out.find("dry") != std::string::npos) << "nothing is written";
  // A job that would be refused is refused by the dry run too.
  EXPECT_EQ(Cli("render --dry-run -o @dry.wav @vga.bmp").status, 1);
}

}  // namespace
}  // namespace rf
