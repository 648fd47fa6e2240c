// MPEG, MP2 and MP4 outputs of the command line and the report of an MP4 input, checked with
// ffprobe; no stream file stays in the temporary folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/test_support.h"

namespace rf {
namespace {

struct Outcome {
  int status;
  std::string out;
};

// The command line with its own temporary folder; standard error joins standard output.
Outcome Shell(const std::string& command) {
  Outcome r{};
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int raw = ::pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

std::string Probe(const std::string& file, const char* stream, const char* entry) {
  std::string out = Shell("ffprobe -v error -count_frames -select_streams " + std::string(stream) +
                          " -show_entries stream=" + entry + " -of csv=p=0 '" + file + "'")
                        .out;
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

class CliMpegTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = test::ScratchDir("cli_mpeg");
    temp = test::ScratchDir("cli_mpeg_tmp");
    ASSERT_EQ(Shell("ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25:duration=1 -f lavfi -i "
                    "sine=duration=1:sample_rate=22050 -c:v mpeg1video -c:a mp2 '" +
                    dir + "/in.mpg'")
                  .status,
              0);
  }
  Outcome Cli(const std::string& args) {
    return Shell("TMPDIR='" + temp + "' " + std::string(RF_CLI_PATH) + " " + args);
  }
  std::string dir, temp;
};

TEST_F(CliMpegTest, OutputsAndTheirOptions) {
  const struct {
    const char* args;
    const char* output;
    const char* video;  // codec, frames, rate; empty without pictures
    const char* audio;  // codec, rate
  } cases[] = {
      {"", "a.mpg", "mpeg1video,25/1,25", "mp2,32000"},
      {"--mpeg2 --bitrate 3000", "b.mpg", "mpeg2video,25/1,25", "mp2,32000"},
      {"--fps 15", "c.mpg", "mpeg1video,24000/1001,25", "mp2,32000"},
      {"", "d.mp2", "", "mp2,32000"},
      {"--crf 30 --codec h264", "e.mp4", "h264,25/1,25", "aac,22050"},
  };
  for (const auto& c : cases) {
    const std::string out = dir + "/" + c.output;
    const Outcome r = Cli(std::string("render -q ") + c.args + " -o '" + out + "' '" + dir + "/in.mpg'");
    ASSERT_EQ(r.status, 0) << c.output << ": " << r.out;
    EXPECT_EQ(Probe(out, "v:0", "codec_name,r_frame_rate,nb_read_frames"), c.video) << c.output;
    EXPECT_EQ(Probe(out, "a:0", "codec_name,sample_rate"), c.audio) << c.output;
  }
  EXPECT_EQ(Shell("ls -A '" + temp + "'").out, "") << "no stream file is left";
}

TEST_F(CliMpegTest, Mp4TakesOnlyH264AndItsReportNamesTheCodecs) {
  const Outcome refused = Cli("render -q --codec mjpg -o '" + dir + "/x.mp4' '" + dir + "/in.mpg'");
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.out.find("h264 codec only"), std::string::npos) << refused.out;
  EXPECT_EQ(Cli("render -q --crf 60 -o '" + dir + "/x.mp4' '" + dir + "/in.mpg'").status, 2);
  ASSERT_EQ(Cli("render -q -o '" + dir + "/y.mp4' '" + dir + "/in.mpg'").status, 0);
  const Outcome info = Cli("info '" + dir + "/y.mp4'");
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.out.find("H.264"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("AAC"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Number of frames........ 25"), std::string::npos) << info.out;
  // An unknown extension is recognised by content.
  ASSERT_EQ(Shell("cp '" + dir + "/y.mp4' '" + dir + "/y.clip'").status, 0);
  EXPECT_NE(Cli("info '" + dir + "/y.clip'").out.find("H.264"), std::string::npos);
}

}  // namespace
}  // namespace rf
