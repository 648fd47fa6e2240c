// The command-line program end to end on generated inputs; results checked with our readers and
// with ffprobe and sox.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
  // Values such as "WAV, Windows Wave Sound" hold commas: semicolons part them, and the help
  // must say so.
  const std::string header = csv.out.substr(0, csv.out.find('\n'));
  EXPECT_EQ(std::count(header.begin(), header.end(), ';'), 20) << "21 columns: " << header;
  const std::string help = Cli("info --help").out;
  EXPECT_NE(help.find("semicolons"), std::string::npos) << help;
  EXPECT_EQ(help.find("comma"), std::string::npos) << help;
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

void PutLE32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = char(v >> (8 * i));
}
uint32_t LE(const std::string& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | uint8_t(b[at + i]);
  return v;
}

void CutAtHalf(std::string& bmp) { bmp.resize(bmp.size() / 2); }
void HugeHeader(std::string& bmp) {
  PutLE32(bmp, 18, 65536);
  PutLE32(bmp, 22, 65536);
}
void IdatPastEnd(std::string& png) { png.replace(png.find("IDAT") - 4, 4, std::string("\0\x10\0\0", 4)); }
// Every strip of a little-endian TIFF starts where the file ends.
void StripsPastEnd(std::string& tif) {
  const uint32_t ifd = LE(tif, 4, 4);
  for (uint32_t e = 0; e < LE(tif, ifd, 2); ++e) {
    const size_t entry = ifd + 2 + 12 * e;
    if (LE(tif, entry, 2) != 273) continue;
    const uint32_t count = LE(tif, entry + 4, 4);
    const size_t width = LE(tif, entry + 2, 2) == 3 ? 2 : 4;
    const size_t values = count * width <= 4 ? entry + 8 : LE(tif, entry + 8, 4);
    for (uint32_t k = 0; k < count; ++k)
      for (size_t i = 0; i < width; ++i) tif[values + k * width + i] = char(tif.size() >> (8 * i));
  }
}

// A header that promises more than the file holds ends the run with the reader's message, never
// as if Ctrl-C had been pressed, and leaves no output.
TEST_F(CliTest, DamagedPicturesFailWithTheReadersMessage) {
  struct Damaged {
    const char* file;  // a damaged copy of a valid picture of the same extension
    void (*damage)(std::string& bytes);
    const char* message;
  };
  const Damaged kCases[] = {
      {"cut.bmp", CutAtHalf, "Image data corrupted."},
      {"huge.bmp", HugeHeader, "Invalid image format."},
      {"idat.png", IdatPastEnd, "Cannot read from file."},
      {"strip.tif", StripsPastEnd, "Read error"},
  };
  for (const Damaged& c : kCases) {
    const std::string name = dir + "/" + c.file;
    const std::string ext = name.substr(name.size() - 4);
    const std::string good = dir + "/good" + ext;
    const char* pixels = ext == ".bmp" ? "bgr24" : "rgb24";
    ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48 -frames:v 1 -pix_fmt " + std::string(pixels) +
                    " " + good)
                  .status,
              0);
    std::string bytes = test::ReadWholeFile(good);
    c.damage(bytes);
    test::WriteWholeFile(name, bytes);
    const CmdResult r = Cli("convert -q " + name + " " + dir + "/out.bmp");
    EXPECT_EQ(r.status, 1) << c.file << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(dir + "/out.bmp")) << c.file;
  }
}

// What a name is when it is no readable media file, as info and convert both tell it.
TEST_F(CliTest, RefusedInputsSayWhy) {
  struct Refused {
    const char* file;
    const char* make;  // a shell command given the path; nullptr: the content is written
    std::string content;
    const char* message;
  };
  const Refused kCases[] = {
      {"missing.bmp", "true", "", "File not exist. (file: "},
      {"folder.bmp", "mkdir", "", "Is a folder, not a file: "},
      {"fifo.bmp", "mkfifo", "", "Not a regular file (a pipe or a device): "},
      {"empty.bmp", nullptr, "", "File is empty: "},
      {"notes.txt", nullptr, "plain words\n", "Unknown file format: "},
      {"short.bmp", nullptr, std::string("BM\0\0", 4), "Cannot read from file. (file: "},
  };
  for (const Refused& c : kCases) {
    const std::string name = dir + "/" + c.file;
    if (c.make)
      ASSERT_EQ(Shell(std::string(c.make) + " " + name).status, 0);
    else
      test::WriteWholeFile(name, c.content);
    // A pipe must be refused, not opened: a wait on it would end the test here.
    for (const std::string command : {"info ", "convert -q "}) {
      const std::string out = command == "info " ? "" : " " + dir + "/out.bmp";
      const CmdResult r = Shell("timeout 20 " + std::string(RF_CLI_PATH) + " " + command + name + out);
      EXPECT_EQ(r.status, 1) << command << c.file << ": " << r.err;
      EXPECT_NE(r.err.find(std::string(c.message) + name), std::string::npos) << r.err;
    }
    EXPECT_FALSE(Exists(dir + "/out.bmp")) << c.file;
  }
}

TEST_F(CliTest, UnreadableFilesSayPermissionDenied) {
  const std::string name = dir + "/locked.bmp";
  ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=8x8 -frames:v 1 -pix_fmt bgr24 " + name).status, 0);
  ASSERT_EQ(::chmod(name.c_str(), 0), 0);
  // The superuser reads every file: the program runs as nobody then.
  const std::string user = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const CmdResult r = Shell(user + RF_CLI_PATH + " info " + name);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Cannot open file (permission denied): " + name), std::string::npos) << r.err;
}

// An output that nothing of the inputs can reach is refused before it is created.
TEST_F(CliTest, OutputsThatReceiveNothingAreRefused) {
  const std::string pic = dir + "/pic.bmp", tone = dir + "/tone.wav", silent = dir + "/nosamples.wav";
  ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=8x8 -frames:v 1 -pix_fmt bgr24 " + pic).status, 0);
  ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i sine=d=0.2 " + tone).status, 0);
  ASSERT_EQ(Shell("sox -n -r 8000 -c 1 -b 8 " + silent + " trim 0 0").status, 0);
  struct Case {
    std::string args;
    std::string message;
  };
  const Case kCases[] = {
      {tone + " " + dir + "/o.bmp", "No input has pictures for this output: " + dir + "/o.bmp"},
      {pic + " " + dir + "/o.wav", "No input has sound for this output: " + dir + "/o.wav"},
      {pic + " " + dir + "/o.bmp --audio-out " + dir + "/o.wav",
       "No input has sound for this output: " + dir + "/o.wav"},
      {silent + " " + dir + "/o.wav", "Cannot read from WAV file. (file: " + silent + ")"},
  };
  for (const Case& c : kCases) {
    const CmdResult r = Cli("convert -q " + c.args);
    EXPECT_EQ(r.status, 1) << c.args << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(dir + "/o.bmp")) << c.args;
    EXPECT_FALSE(Exists(dir + "/o.wav")) << c.args;
  }
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
