// The command line's runs through the run commands: the overwrite answer on and off a terminal,
// the palette, grey and sound options, count-colors, average and the preview.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "cli/cli_shell.h"
#include "common/test_support.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/uniaccess.h"
#include "foundation/errors.h"

namespace rf {
namespace {

using clitest::CmdResult;
using clitest::Shell;

class CliRunTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("cli_run");

  std::string At(const std::string& name) const { return dir + "/" + name; }

  // The program with its standard input taken from nowhere: never a terminal.
  CmdResult Cli(const std::string& args) const {
    return Shell("cd " + dir + " && " + RF_CLI_PATH + " " + args + " </dev/null");
  }

  // A 24-bit picture of exactly that many colours, pixel i taking colour i mod colours; base
  // shifts the first channel, so that pictures with other bases share no colour.
  void Picture(const std::string& name, int32_t width, int32_t height, int32_t colours, uint8_t base = 0) const {
    Qimg img;
    _imgalloc_(img, width, height, 24, "Test.CliRun.img");
    for (int32_t i = 0; i < width * height; ++i) {
      uint8_t* p = img.data + size_t(i) * 3;
      p[0] = uint8_t(base + i % colours * 40);
      p[1] = uint8_t(i % colours * 7);
      p[2] = uint8_t(200 - i % colours * 30);
    }
    ImgSave(At(name), img, FF_AUTO);
    ImgFree(img);
  }

  void Tone(const std::string& name) const {
    ASSERT_EQ(Shell("sox -n -r 22050 -c 1 -b 16 " + At(name) + " synth 1 sine 440 2>/dev/null").status, 0);
  }
};

TEST_F(CliRunTest, AnExistingOutputIsReplacedOnlyAfterAYes) {
  Picture("in.bmp", 16, 8, 3);
  const struct {
    std::string how;  // the command line's prefix and flag
    int status;
    bool replaced;
    const char* message;
  } kCases[] = {
      {"", 1, false, "No terminal to answer on: not overwritten (-y overwrites)"},
      {"-n", 1, false, "Not overwritten (-n)"},
      {"-y", 0, true, ""},
      {"-y -n", 1, false, "Not overwritten (-n)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.how);
    test::WriteWholeFile(At("out.bmp"), "old");
    const CmdResult r = Cli("render -q " + c.how + " -o out.bmp in.bmp");
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadWholeFile(At("out.bmp")) != "old", c.replaced);
    const bool told = r.err.find("File \u201c" + At("out.bmp") + "\u201d already exists.") != std::string::npos;
    EXPECT_EQ(told, !c.replaced) << r.err;
  }
  // A terminal: the answer typed decides.
  for (const char* answer : {"n", "y"}) {
    test::WriteWholeFile(At("out.bmp"), "old");
    const CmdResult r = Shell("cd " + dir + " && echo " + answer + " | script -qec '" + RF_CLI_PATH +
                              " render -q -o out.bmp in.bmp' /dev/null");
    EXPECT_NE(r.out.find("Overwrite? [y/N]"), std::string::npos) << r.out;
    EXPECT_EQ(test::ReadWholeFile(At("out.bmp")) != "old", std::string(answer) == "y") << answer;
  }
}

TEST_F(CliRunTest, PaletteGreyAndSoundOptions) {
  for (int n = 1; n <= 4; ++n) Picture("f000" + std::to_string(n) + ".bmp", 32, 24, 5 + n, uint8_t(n * 9));
  Tone("t.wav");
  CmdResult r =
      Cli("render --progress=machine --sequences --codec DIB --depth 8 --shared-palette -o pal.avi f0001.bmp");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("step=Creating palette (Step 1 of 2)...\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("step=Saving to file (Step 2 of 2)...\n"), std::string::npos) << r.err;
  QUniInfo info;
  ASSERT_TRUE(UniInfo(At("pal.avi"), info, false));
  EXPECT_EQ(info.video.bpp, 8);
  EXPECT_EQ(info.video.frames, 4);

  r = Cli("render -q --grayscale -o grey.bmp f0002.bmp");
  ASSERT_EQ(r.status, 0) << r.err;
  Qimg grey;
  ImgLoad(At("grey.bmp"), grey, FF_AUTO);
  ASSERT_TRUE(ErrNone());
  for (int32_t i = 0; i < grey.width * grey.height; ++i) {
    const uint8_t* p = grey.bpp == 8 ? grey.palette[grey.data[i]] : grey.data + size_t(i) * 3;
    ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << "pixel " << i;
  }
  ImgFree(grey);

  const struct {
    std::string options;
    std::string probe;  // codec, rate, channels
  } kSound[] = {
      {"", "pcm_s16le,22050,1\n"},
      {"--audio-rate 11025 --audio-bits 8 --audio-channels 2", "pcm_u8,11025,2\n"},
      {"--audio-rate 44100 --interleave 1", "pcm_s16le,44100,1\n"},
  };
  for (const auto& s : kSound) {
    r = Cli("render -q -y --sequences --codec DIB " + s.options + " -o snd.avi f0001.bmp t.wav");
    ASSERT_EQ(r.status, 0) << s.options << ": " << r.err;
    EXPECT_EQ(Shell("ffprobe -v error -select_streams a -show_entries stream=codec_name,sample_rate,channels -of "
                    "csv=p=0 " +
                    At("snd.avi"))
                  .out,
              s.probe)
        << s.options;
  }
  r = Cli("render --dry-run --audio-rate 11025 --audio-bits 8 --audio-channels 2 -o x.wav t.wav");
  EXPECT_NE(r.out.find("11025 Hz, stereo, 8-bit"), std::string::npos) << r.out;
  EXPECT_EQ(Cli("render --interleave 0 -o x.avi t.wav").status, 2);
  EXPECT_EQ(Cli("render --audio-bits 12 -o x.wav t.wav").status, 2);
}

TEST_F(CliRunTest, CountColorsAverageAndPreview) {
  Picture("c.bmp", 20, 10, 7);
  Picture("d.bmp", 20, 10, 3, 1);  // three more: its colours' blue is one higher
  const auto entries = [&] { return std::distance(std::filesystem::directory_iterator(dir), {}); };
  const auto before = entries();
  CmdResult r = Cli("count-colors c.bmp d.bmp");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Number of unique colors: 10\n");
  EXPECT_EQ(Cli("count-colors --size 40x20 c.bmp").out, "Number of unique colors: 7\n") << "resized, not resampled";
  EXPECT_EQ(entries(), before) << "count-colors writes nothing";

  for (const uint8_t v : {20, 60}) {
    Qimg img;
    _imgalloc_(img, 12, 12, 24, "Test.CliRun.solid");
    std::memset(img.data, v, size_t(img.size));
    ImgSave(At("s" + std::to_string(v) + ".bmp"), img, FF_AUTO);
    ImgFree(img);
  }
  r = Cli("average -o mean.bmp s20.bmp s60.bmp s60.bmp s20.bmp");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("average: " + At("mean.bmp")), std::string::npos) << r.out;
  Qimg mean;
  ImgLoad(At("mean.bmp"), mean, FF_AUTO);
  ASSERT_TRUE(ErrNone());
  EXPECT_EQ(mean.data[0], 40);
  EXPECT_EQ(mean.data[mean.size - 1], 40);
  ImgFree(mean);

  Picture("wide.bmp", 400, 100, 5);
  const struct {
    const char* mode;
    int32_t width, height;
  } kPreviews[] = {{"--preview=super-fast", 100, 25}, {"--preview", 200, 50}, {"--preview=high", 400, 100}};
  for (const auto& p : kPreviews) {
    r = Shell("cd " + dir + " && TMPDIR=" + dir + " " + RF_CLI_PATH + " render -q " + p.mode + " -o w.avi wide.bmp");
    ASSERT_EQ(r.status, 0) << p.mode << ": " << r.err;
    const std::string name = At("$reelforge-preview.hav");
    EXPECT_EQ(r.out, "preview: " + name + "\n");
    QUniInfo info;
    ASSERT_TRUE(UniInfo(name, info, false));
    EXPECT_EQ(info.video.width, p.width) << p.mode;
    EXPECT_EQ(info.video.height, p.height) << p.mode;
    EXPECT_FALSE(std::filesystem::exists(At("w.avi"))) << "a preview leaves the output alone";
  }
}

}  // namespace
}  // namespace rf
