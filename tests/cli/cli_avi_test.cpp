// The command line with AVI outputs and inputs: compressor options, sound in the same file or
// apart, the codecs list, the information report and the refusals of the AVI options.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "cli/cli_shell.h"
#include "common/test_support.h"

namespace rf {
namespace {

using clitest::CmdResult;
using clitest::Shell;

class CliAviTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("cli_avi");
  std::string At(std::string s) const {
    for (size_t at; (at = s.find('@')) != std::string::npos;) s.replace(at, 1, dir + "/");
    return s;
  }
  CmdResult Cli(const std::string& args) const { return Shell(std::string(RF_CLI_PATH) + " " + At(args)); }
  std::string Probe(const std::string& entries, const std::string& file) const {
    return Shell(At("ffprobe -v error -count_frames -show_entries " + entries + " -of csv=p=0 " + file)).out;
  }
  void SetUp() override {
    FoundationTest::SetUp();
    ASSERT_EQ(Cli("demo @demo").status, 0);
  }
};

TEST_F(CliAviTest, SequenceAndToneBecomeOneAviWithEachCompressor) {
  struct Case {
    const char* options;
    const char* probed;  // codec name, frames
  };
  const Case cases[] = {{"--codec DIB", "rawvideo,30"},
                        {"--codec DIB --depth 8", "rawvideo,30"},
                        {"--codec FFV1", "ffv1,30"},
                        {"--codec MJPG --quality 90", "mjpeg,30"},
                        {"--codec XVID --keyframes 5 --data-rate 200", "mpeg4,30"},
                        {"", "cinepak,30"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const CmdResult r = Cli(std::string("render -q -y --sequences ") + c.options +
                            " -o @out.avi @demo/input/pattern0001.tga @demo/input/tone.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(At("audio: @out.avi")), std::string::npos) << "the sound goes into the AVI: " << r.out;
    EXPECT_EQ(Probe("stream=codec_name,nb_read_frames", "@out.avi").rfind(std::string(c.probed) + "\npcm_s16le,", 0),
              0u)
        << Probe("stream=codec_name,nb_read_frames", "@out.avi");
  }
  // The sample count the report gives is what ffmpeg finds.
  const CmdResult info = Cli("info --csv @out.avi");
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("Cinepak"), std::string::npos) << info.out;
  const std::string samples = Shell(At("ffmpeg -v error -i @out.avi -vn -f s16le - | wc -c")).out;
  const CmdResult convert = Cli("convert -q @out.avi @back.wav");
  ASSERT_EQ(convert.status, 0) << convert.err;
  EXPECT_EQ(std::stol(Shell(At("soxi -s @back.wav")).out) * 2, std::stol(samples));
}

TEST_F(CliAviTest, SoundGoesApartWithAudioOutAndAnAviRoundTripsExactly) {
  CmdResult r =
      Cli("render -q --sequences --codec DIB --audio-out @apart.wav -o @silent.avi "
          "@demo/input/pattern0001.tga @demo/input/tone.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Probe("stream=codec_type", "@silent.avi"), "video\n");
  EXPECT_GT(std::stol(Shell(At("soxi -s @apart.wav")).out), 0);
  r = Cli("convert -q @silent.avi @again.avi --codec FFV1");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string first = Shell(At("ffmpeg -v error -i @silent.avi -f rawvideo -pix_fmt bgr24 - | md5sum")).out;
  EXPECT_EQ(Shell(At("ffmpeg -v error -i @again.avi -f rawvideo -pix_fmt bgr24 - | md5sum")).out, first);
}

TEST_F(CliAviTest, CodecsListAndRefusals) {
  const CmdResult list = Cli("codecs");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out.rfind("FOURCC", 0), 0u) << list.out;
  EXPECT_NE(list.out.find("\nDIB     yes"), std::string::npos) << "uncompressed frames come last:\n" << list.out;
  EXPECT_NE(list.out.find("\nFFV1    yes"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("Motion JPEG"), std::string::npos) << list.out;
  const struct {
    const char* options;
    const char* message;
  } kRefused[] = {{"--codec ZQX9", "no installed compressor encodes 'ZQX9'"},
                  {"--codec TOOLONG", "--codec wants"},
                  {"--quality 101", "--quality wants"},
                  {"--keyframes -1", "--keyframes wants"},
                  {"--data-rate x", "--data-rate wants"}};
  for (const auto& k : kRefused) {
    const CmdResult r = Cli(std::string("render -q ") + k.options + " -o @no.avi @demo/input/tone.wav");
    EXPECT_EQ(r.status, 2) << k.options;
    EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
    EXPECT_FALSE(test::ReadWholeFile(At("@no.avi")).size()) << "nothing is written";
  }
  EXPECT_NE(Cli("render --help").out.find("--data-rate"), std::string::npos);
  EXPECT_EQ(Cli("codecs extra").status, 2);
}

}  // namespace
}  // namespace rf
