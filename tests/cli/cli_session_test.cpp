// The session commands from the shell: a session built, extended, cut to a section, printed and
// rendered to the bytes render gives for the same options; a list rendered; the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cli/cli_shell.h"
#include "common/test_support.h"

namespace rf {
namespace {

using clitest::CmdResult;
using clitest::Shell;

class CliSessionTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("cli_session");
  std::string At(std::string s) const {
    for (size_t at; (at = s.find('@')) != std::string::npos;) s.replace(at, 1, dir + "/");
    return s;
  }
  // "%" stands for the "@" of a trimmed input.
  CmdResult Cli(const std::string& args) const {
    std::string line = At(args);
    std::replace(line.begin(), line.end(), '%', '@');
    return Shell(std::string(RF_CLI_PATH) + " " + line);
  }
  void SetUp() override {
    FoundationTest::SetUp();
    ASSERT_EQ(Shell(At("ffmpeg -v error -nostdin -f lavfi -i testsrc=size=16x16:rate=10:d=2 -f lavfi -i "
                       "sine=r=8000:d=2 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -y @pair.avi"))
                  .status,
              0);
  }
};

TEST_F(CliSessionTest, AddShowAndSaveASection) {
  // A session of a header alone to start from.
  test::WriteWholeFile(At("@list.vfl"), "pair.avi|vIn=3|vLen=5|vFPS=25\r\n# done\r\n");
  ASSERT_EQ(Cli("session save @missing.rfs -o @x.rfs").status, 1);
  const std::string header = std::string("\xF7\x76\xE5\x42\x96\0\0\0\x01\0\0\0", 12) + std::string(138, '\0');
  test::WriteWholeFile(At("@s.rfs"), header);
  CmdResult r = Cli("session add @s.rfs @pair.avi --silence 1.5 --list @list.vfl");
  ASSERT_EQ(r.status, 0) << r.err;
  r = Cli("session show @s.rfs");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, At("sections: files\n"
                      "video blocks: 2\n"
                      "  0: @pair.avi 0-19 of 20 at 10.000/s, linked to 0\n"
                      "  1: @pair.avi 2-6 of 20 at 25.000/s, linked to 2\n"
                      "audio blocks: 3\n"
                      "  0: @pair.avi 0-15999 of 16000 at 8000.000/s, linked to 0\n"
                      "  1: silence 1.500 s\n"
                      "  2: @pair.avi 0-15999 of 16000 at 8000.000/s, linked to 1\n"
                      "effects: 0\n"));
  ASSERT_EQ(Cli("session save @s.rfs -o @none.rfs --sections effects").status, 0);
  EXPECT_EQ(Cli("session show @none.rfs").out, "sections: effects\nvideo blocks: 0\naudio blocks: 0\neffects: 0\n");
  struct Refusal {
    const char* args;
    int status;
  };
  const Refusal refusals[] = {{"session", 2},
                              {"session add @s.rfs --silence -1", 2},
                              {"session add @s.rfs @nothing.avi", 1},
                              {"session save @s.rfs -o @y.rfs --sections audio", 2},
                              {"session show @pair.avi", 1}};
  for (const Refusal& c : refusals) EXPECT_EQ(Cli(c.args).status, c.status) << c.args;
}

// A session built from the render options runs to the same bytes as render with those options,
// under its own output name or another one; a list renders through the same run.
TEST_F(CliSessionTest, RenderingTheSessionGivesTheSameBytes) {
  const std::string options = "--codec DIB --fps 12 --size 24x20 --effect Brightness:40,40,40 ";
  const std::string inputs = " @pair.avi%3-12 --silence 0.5 @pair.avi";
  CmdResult r = Cli("render -q -y " + options + "-o @direct.avi" + inputs);
  ASSERT_EQ(r.status, 0) << r.err;
  r = Cli("session new @s.rfs " + options + "-o @saved.avi" + inputs);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(test::ReadWholeFile(At("@s.rfs")).empty());
  r = Cli("render -q -y @s.rfs");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string direct = test::ReadWholeFile(At("@direct.avi"));
  ASSERT_FALSE(direct.empty());
  EXPECT_TRUE(test::ReadWholeFile(At("@saved.avi")) == direct);
  r = Cli("render -q -y @s.rfs -o @other.avi");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(test::ReadWholeFile(At("@other.avi")) == direct);

  test::WriteWholeFile(At("@list.vfl"), "pair.avi|vIn=4|vLen=6|vFPS=10\r\npair.avi|vLen=0|aIn=1|aLen=8000\r\n");
  r = Cli("render -q -y --list @list.vfl -o @list.avi");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Shell(At("ffprobe -v error -select_streams v -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "
                     "@list.avi"))
                .out,
            "6\n");
  EXPECT_EQ(Cli("render @s.rfs @other.rfs").status, 2);
  EXPECT_EQ(Cli("render --list @list.vfl").status, 2);
}

}  // namespace
}  // namespace rf
