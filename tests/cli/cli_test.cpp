// The command-line program end to end on generated inputs; results checked with our readers and
// with ffprobe and sox.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/uniaccess.h"

namespace rf {
namespace {

struct CmdResult {
  int status;
  std::string out, err;
};

// Runs a shell command line, capturing standard output and standard error.
CmdResult Shell(const std::string& command) {
  const std::string errFile = test::ScratchDir("cli-err") + "/stderr.txt";
  CmdResult r;
  FILE* p = ::popen((command + " 2>" + errFile).c_str(), "r");
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int raw = ::pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.err = test::ReadWholeFile(errFile);
  return r;
}

CmdResult Cli(const std::string& args) { return Shell(std::string(RF_CLI_PATH) + " " + args); }

bool Exists(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0;
}

class CliTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("cli");

  std::string Demo() {
    const CmdResult r = Cli("demo " + dir + "/demo");
    EXPECT_EQ(r.status, 0) << r.err;
    return dir + "/demo";
  }
};

TEST_F(CliTest, DemoWritesASequenceAndASound) {
  const std::string demo = Demo();
  QUniInfo info;
  ASSERT_TRUE(UniInfo(demo + "/frame00.bmp", info, true));
  EXPECT_EQ(info.kind, UNI_SEQUENCE);
  EXPECT_EQ(info.video.frames, 30);
  EXPECT_EQ(info.video.width, 160);
  const CmdResult probe =
      Shell("ffprobe -v error -show_entries stream=sample_rate,channels -of csv=p=0 " + demo + "/sound.wav");
  EXPECT_EQ(probe.out, "22050,1\n");
  const CmdResult samples = Shell("soxi -s " + demo + "/sound.wav");
  // Half a second of silence and the two-second tone, less the resampler's last few samples.
  EXPECT_NEAR(std::stol(samples.out), 11025 + 44100, 64);
}

TEST_F(CliTest, RenderTrimsConvertsDepthAndAppliesEffects) {
  const std::string demo = Demo();
  const CmdResult r = Cli("render -q --sequences --depth 8 --dither --effect 'negative@0-1' -o " + dir + "/neg.bmp " +
                          demo + "/input/pattern0001.tga@5-9");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("video: " + dir + "/neg0.bmp (5 frames)"), std::string::npos) << r.out;
  QUniInfo info;
  ASSERT_TRUE(UniInfo(dir + "/neg0.bmp", info, true));
  EXPECT_EQ(info.video.frames, 5);
  EXPECT_EQ(info.video.bpp, 8);
  const CmdResult probe = Shell("ffprobe -v error -show_entries stream=pix_fmt -of csv=p=0 " + dir + "/neg4.bmp");
  EXPECT_EQ(probe.out, "pal8\n");
}

TEST_F(CliTest, ConvertWithSilenceAndMachineProgress) {
  const std::string demo = Demo();
  const CmdResult r = Cli("convert " + demo + "/input/tone.wav " + dir + "/long.wav --silence 1 --progress=machine");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("percent="), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("frames="), std::string::npos);
  const CmdResult samples = Shell("soxi -s " + dir + "/long.wav");
  EXPECT_NEAR(std::stol(samples.out), 44100 + 22050, 64);
}

TEST_F(CliTest, InfoReportsAndCsv) {
  const std::string demo = Demo();
  const CmdResult report = Cli("info " + demo + "/input/tone.wav");
  ASSERT_EQ(report.status, 0) << report.err;
  EXPECT_NE(report.out.find("tone.wav"), std::string::npos) << report.out;
  EXPECT_NE(report.out.find("22050"), std::string::npos) << report.out;
  const CmdResult csv = Cli("info --csv " + demo + "/input/tone.wav " + demo + "/frame00.bmp");
  ASSERT_EQ(csv.status, 0) << csv.err;
  size_t lines = 0;
  for (char c : csv.out) lines += c == '\n';
  EXPECT_EQ(lines, 3u) << "one header line and one line per file:\n" << csv.out;
}

TEST_F(CliTest, FailuresAreClearAndLeaveNothingBehind) {
  const CmdResult missing = Cli("render -q -o " + dir + "/x.bmp " + dir + "/none.tga");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("reelforge-cli: "), std::string::npos);
  EXPECT_NE(missing.err.find("none.tga"), std::string::npos) << missing.err;
  EXPECT_FALSE(Exists(dir + "/x.bmp"));

  EXPECT_EQ(Cli("render --bogus -o x.bmp a.tga").status, 2);
  const CmdResult effect = Cli("render --effect 'Sparkle' -o x.bmp a.tga");
  EXPECT_EQ(effect.status, 2);
  EXPECT_NE(effect.err.find("unknown effect 'Sparkle'"), std::string::npos) << effect.err;
  EXPECT_EQ(Cli("render --depth 12 -o x.bmp a.tga").status, 2);
  EXPECT_EQ(Cli("convert onlyone.tga").status, 2);
  EXPECT_EQ(Cli("frobnicate").status, 2);
  const CmdResult info = Cli("info " + dir + "/none.wav");
  EXPECT_EQ(info.status, 1);

  const CmdResult help = Cli("render --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--keep-duration"), std::string::npos);
  EXPECT_EQ(Cli("--version").out.rfind("reelforge-cli ", 0), 0u);
}

// Starts a render, sends Ctrl-C as many times as asked once its first progress line arrived, and
// returns its exit status.
int InterruptedRender(const std::vector<std::string>& args, int interrupts) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], 2);
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, 1);
    ::close(pipeFds[0]);
    std::vector<char*> argv{const_cast<char*>(RF_CLI_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(RF_CLI_PATH, argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  std::string seen;
  char buf[256];
  for (ssize_t n; seen.find("frames=") == std::string::npos && (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;)
    seen.append(buf, size_t(n));
  // Signals of one kind do not queue, so the second Ctrl-C follows after a pause, well inside the
  // half second the program waits before it acts on the first.
  for (int i = 0; i < interrupts; ++i) {
    if (i) ::usleep(10000);
    ::kill(pid, SIGINT);
  }
  while (::read(pipeFds[0], buf, sizeof buf) > 0) {
  }
  ::close(pipeFds[0]);
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST_F(CliTest, CtrlCStopsOnceAndAbortsTwice) {
  // Large frames through a slow effect keep every frame busy far longer than the pause between
  // two Ctrl-Cs.
  Qimg big;
  ASSERT_EQ(_imgalloc_(big, 640, 480, 24, "Test.Cli.big"), 0);
  for (int32_t i = 0; i < big.size; ++i) big.data[i] = uint8_t(i * 31 % 251);
  ImgSave(dir + "/big.tga", big, FF_AUTO);
  ImgFree(big);
  std::vector<std::string> args{"render", "--progress=machine", "--effect", "Oil painting:7"};
  for (int i = 0; i < 20; ++i) args.push_back(dir + "/big.tga");
  args.push_back("-o");

  std::vector<std::string> stop = args;
  stop.push_back(dir + "/stop.bmp");
  EXPECT_EQ(InterruptedRender(stop, 1), 130);
  QUniInfo info;
  ASSERT_TRUE(UniInfo(dir + "/stop00.bmp", info, true)) << "a stopped render keeps what it wrote";
  EXPECT_GE(info.video.frames, 1);
  EXPECT_LT(info.video.frames, 20);

  std::vector<std::string> abort = args;
  abort.push_back(dir + "/abort.bmp");
  EXPECT_EQ(InterruptedRender(abort, 2), 130);
  EXPECT_FALSE(Exists(dir + "/abort00.bmp")) << "an aborted render deletes what it wrote";
  EXPECT_FALSE(Exists(dir + "/abort01.bmp"));
}

}  // namespace
}  // namespace rf
